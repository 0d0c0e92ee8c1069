// The desk program run as a session runs it, on the offscreen platform: the signals a
// session sends at its end, and a crash.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/ChildProcess.h"
#include "support/DeckHarness.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

class DeskProgramTest : public ::testing::Test {
protected:
    // Starts the desk with its own home and settings folders; true once it shows the desk.
    bool start() {
        std::ofstream(config_.file("settings.reg"))
            << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Spinlorex]\n"
            << "\"Home folder\"=\"" << home_.path().string() << "\"\n"
            << "\"Maximized\"=dword:00000000\n";
        pid_ = test::startProgram({SPINLOREX_DESK_PATH},
                                  {{"QT_QPA_PLATFORM", "offscreen"},
                                   {"SPINLOREX_AUDIO", "null"},
                                   {"SPINLOREX_CONFIG_DIR", config_.path().string()},
                                   {"XDG_RUNTIME_DIR", config_.path().string()},
                                   {"SPINLOREX_TRACE_STARTUP", "1"}},
                                  log());
        return pid_ > 0 &&
               test::waitFor([&] { return logText().find("first frame") != std::string::npos; },
                             30);
    }
    std::string log() const { return home_.file("desk.log"); }
    std::string logText() const {
        const test::Bytes bytes = test::readFile(log());
        return std::string(bytes.begin(), bytes.end());
    }
    // How the program ended: its exit status, or 1000 + the signal that ended it.
    int wait() {
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return -1;
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
