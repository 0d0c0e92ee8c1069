// The desk program run as a session runs it, on the offscreen platform: the signals a
// session sends at its end, and a crash.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DeckHarness.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

class DeskProgramTest : public ::testing::Test {
protected:
    // Starts the desk with its own home and settings folders; true once it shows the desk.
    bool start(const std::vector<std::string>& files = {},
               const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        std::ofstream(config_.file("settings.reg"))
            << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Spinlorex]\n"
            << "\"Home folder\"=\"" << home_.path().string() << "\"\n"
            << "\"Maximized\"=dword:00000000\n";
        std::vector<std::string> argv{SPINLOREX_DESK_PATH};
        argv.insert(argv.end(), files.begin(), files.end());
        std::vector<std::pair<std::string, std::string>> env{
            {"QT_QPA_PLATFORM", "offscreen"},
            {"SPINLOREX_AUDIO", "null"},
            {"SPINLOREX_CONFIG_DIR", config_.path().string()},
            {"XDG_RUNTIME_DIR", config_.path().string()},
            {"SPINLOREX_TRACE_STARTUP", "1"}};
        env.insert(env.end(), environment.begin(), environment.end());
        pid_ = test::startProgram(argv, env, log());
        return pid_ > 0 &&
               test::waitFor([&] { return logText().find("first frame") != std::string::npos; },
                             30);
    }
    std::string log() const { return home_.file("desk.log"); }
    std::string logText() const {
        const test::Bytes bytes = test::readFile(log());
        return std::string(bytes.begin(), bytes.end());
    }
    // How the program ended: its exit status, or 1000 + the signal that ended it; -1 when
    // it has not ended within `seconds`.
    int wait(double seconds = 60) {
        int status = 0;
        bool ended = false;
        test::waitFor([&] { return ended = ended || ::waitpid(pid_, &status, WNOHANG) == pid_; },
                      seconds);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    void TearDown() override {
        if (pid_ > 0) test::killChild(pid_);
    }

    test::TempDir home_, config_;
    pid_t pid_ = -1;
};

TEST_F(DeskProgramTest, TermIntAndHupCloseTheDeskInOrderAndSaveTheSettings) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(start()) << logText();
        ASSERT_EQ(::kill(pid_, signal), 0);
        EXPECT_EQ(wait(), 0) << logText();
        // Saved at the end: the store writes its version, which the file did not have.
        const test::Bytes saved = test::readFile(config_.file("settings.reg"));
        EXPECT_NE(std::string(saved.begin(), saved.end()).find("\"Version\"=\"1.12\""),
                  std::string::npos);
    }
}

// A FIFO named like a track on deck 1 and a track on a share that never answers on deck 2:
// the desk shows itself and closes at a signal as if nothing hung (the thread stuck in the
// open is left behind).
TEST_F(DeskProgramTest, FilesThatNeverOpenHoldUpNeitherTheDeskNorItsClose) {
    std::filesystem::create_directories(home_.path() / "hung-share");
    const std::string hung = (home_.path() / "hung-share" / "Artist - Stuck.mp3").string();
    std::ofstream(hung) << "not reached";
    const std::string fifo = home_.file("Artist - Pipe.mp3");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Under AddressSanitizer the shim is loaded before its runtime, which it then allows.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions =
        std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
    ASSERT_TRUE(start({fifo, hung}, {{"LD_PRELOAD", SPINLOREX_SLOW_FILES},
                                     {"SPINLOREX_HANG_OPEN_PATH", "hung-share"},
                                     {"ASAN_OPTIONS", asanOptions}}))
        << logText();
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(wait(), 0) << logText();
    const test::Bytes saved = test::readFile(config_.file("settings.reg"));
    EXPECT_NE(std::string(saved.begin(), saved.end()).find("\"Version\""), std::string::npos);
}

TEST_F(DeskProgramTest, ACrashStillPutsTheSystemVolumesBack) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ASSERT_TRUE(start()) << logText();
    // Volumes the desk took over (as it does on a machine with sound cards).
    const std::string file = config_.file("volumes-to-restore");
    std::ofstream(file) << "spinlorex volumes 1\npid " << pid_ << "\n";
    ASSERT_EQ(::kill(pid_, SIGSEGV), 0);
    EXPECT_EQ(wait(), 1000 + SIGSEGV);
    EXPECT_FALSE(std::filesystem::exists(file)) << "restored and removed by the crash handler";
}

}  // namespace
}  // namespace spinlorex
