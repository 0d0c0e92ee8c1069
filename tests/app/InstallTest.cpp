// The build installed into a prefix as a user or a package would: every file where the
// desktop entry says, the entry and the metainfo accepted by the desktop's validators, and
// the installed desk runs.

#include <gtest/gtest.h>

#include <QtGui/QImage>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "support/Files.h"

namespace spinlorex {
namespace {

namespace fs = std::filesystem;

// The command's exit status, its output in `output`.
int run(const std::string& command, std::string* output = nullptr) {
    const std::string log =
        fs::temp_directory_path() / ("spinlorex-install-" + std::to_string(::getpid()) + ".log");
    const int status = std::system((command + " >'" + log + "' 2>&1").c_str());
    if (output != nullptr) {
        std::ifstream in(log);
        *output =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    fs::remove(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have(const std::string& program) { return run("command -v " + program) == 0; }

// The keys of a desktop entry's main group.
std::map<std::string, std::string> desktopEntry(const fs::path& file) {
    std::map<std::string, std::string> keys;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos && line[0] != '#')
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return keys;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new test::TempDir;
        installed_ = run(std::string("'") + SPINLOREX_CMAKE + "' --install '" +
                             SPINLOREX_BUILD_DIR + "' --prefix '" + prefix_->path().string() + "'",
                         &log_) == 0;
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << log_; }
    static fs::path at(const std::string& relative) { return prefix_->path() / relative; }

    static inline test::TempDir* prefix_ = nullptr;
    static inline bool installed_ = false;
    static inline std::string log_;
};

TEST_F(InstallTest, TheDesktopEntryFindsTheProgramItsIconAndTakesTheTracksThatPlay) {
    const fs::path entryFile = at("share/applications/org.spinlorex.Spinlorex.desktop");
    ASSERT_TRUE(fs::is_regular_file(entryFile));
    auto entry = desktopEntry(entryFile);
    EXPECT_EQ(entry["Exec"], "spinlorex %F");
    const fs::path program = at("bin") / entry["Exec"].substr(0, entry["Exec"].find(' '));
    EXPECT_TRUE(fs::is_regular_file(program) &&
                (fs::status(program).permissions() & fs::perms::owner_exec) != fs::perms::none);
    EXPECT_EQ(entry["Categories"], "AudioVideo;Audio;Music;");
    for (const char* type : {"audio/mpeg;", "audio/x-wav;", "audio/flac;", "audio/ogg;",
                             "audio/x-opus+ogg;", "audio/x-mpegurl;", "audio/x-scpls;"})
        EXPECT_NE(entry["MimeType"].find(type), std::string::npos) << type;
    // The icon in every size, each picture of its size.
    for (const int size : {16, 24, 32, 48, 64, 128, 256, 512}) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const QImage icon(QString::fromStdString(
            at("share/icons/hicolor/" + name + "/apps/" + entry["Icon"] + ".png").string()));
        EXPECT_EQ(icon.size(), QSize(size, size)) << name;
        EXPECT_TRUE(icon.hasAlphaChannel());
    }
    // The other programs, the shipped effects where the desk looks for them, a page each.
    for (const char* file :
         {"bin/spinlorex-tool", "bin/spinlorex-skin-check",
          "lib/spinlorex/plugins/dsp_spinlorex.so", "share/man/man1/spinlorex.1",
          "share/man/man1/spinlorex-tool.1", "share/metainfo/org.spinlorex.Spinlorex.metainfo.xml"})
        EXPECT_TRUE(fs::is_regular_file(at(file))) << file;

    std::string output;
    EXPECT_EQ(
        run("env -u DISPLAY -u WAYLAND_DISPLAY '" + program.string() + "' --version", &output), 0);
    EXPECT_EQ(output, "spinlorex 0.1.0\n");
    EXPECT_EQ(
        run("QT_QPA_PLATFORM=offscreen '" + at("bin/spinlorex-tool").string() + "' skin-check",
            &output),
        0)
        << output;
}

TEST_F(InstallTest, TheDesktopsValidatorsAcceptTheEntryTheMetainfoAndThePages) {
    std::string output;
    if (have("desktop-file-validate")) {
        EXPECT_EQ(run("desktop-file-validate '" +
                          at("share/applications/org.spinlorex.Spinlorex.desktop").string() + "'",
                      &output),
                  0)
            << output;
    }
    if (have("appstreamcli")) {
        EXPECT_EQ(run("appstreamcli validate --no-net '" +
                          at("share/metainfo/org.spinlorex.Spinlorex.metainfo.xml").string() + "'",
                      &output),
                  0)
            << output;
    }
    if (have("groff")) {
        for (const char* page : {"spinlorex.1", "spinlorex-tool.1"}) {
            EXPECT_EQ(run("groff -man -ww -z '" +
                              at(std::string("share/man/man1/") + page).string() + "'",
                          &output),
                      0);
            EXPECT_EQ(output, "") << page;
        }
    }
    if (!have("desktop-file-validate") || !have("appstreamcli"))
        GTEST_SKIP() << "a validator is missing";
}

}  // namespace
}  // namespace spinlorex
