// Files given to the desk: the command line read, the first two tracks on the decks and the
// rest in the playlist, and a second start handing its files to the desk that runs.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QtCore/QDir>
#include <QtCore/QUrl>
#include <QtWidgets/QMessageBox>

#include <filesystem>
#include <fstream>

#include "app/CommandLine.h"
#include "app/DeskApp.h"
#include "app/DeskAppFixture.h"
#include "app/DeskWindow.h"
#include "app/HandOver.h"
#include "app/SingleInstance.h"
#include "app/TrackNames.h"
#include "app/library/LibraryBrowser.h"
#include "audio/DeckPair.h"
#include "desk/MixingDesk.h"
#include "support/ChildProcess.h"

namespace spinlorex {
namespace {

using test::processUntil;

TEST(DeskCommandLine, PathsBecomeAbsoluteAndOptionsAreKnownOrRefused) {
    const CommandLine line = parseCommandLine(
        {"a.mp3", "../up/b.wav", "/abs/c.flac", "file:///music/My%20Set.m3u", "--", "--odd.mp3"},
        "/home/dj/sets");
    EXPECT_EQ(line.files,
              (std::vector<std::string>{"/home/dj/sets/a.mp3", "/home/dj/up/b.wav", "/abs/c.flac",
                                        "/music/My Set.m3u", "/home/dj/sets/--odd.mp3"}));
    EXPECT_TRUE(line.error.empty());
    EXPECT_FALSE(line.help || line.version);
    EXPECT_TRUE(parseCommandLine({"--help"}, "/").help);
    EXPECT_TRUE(parseCommandLine({"--version"}, "/").version);
    const CommandLine odd = parseCommandLine({"x.mp3", "--fullscreen", "-q"}, "/");
    EXPECT_EQ(odd.error, "--fullscreen");
    // A lone "-" is a file's name, not an option.
    EXPECT_EQ(parseCommandLine({"-"}, "/d").files, std::vector<std::string>{"/d/-"});
}

TEST(DeskCommandLine, TheFirstTwoTracksGoToTheDecksTheRestToThePlaylist) {
    test::TempDir dir;
    for (const char* name :
         {"set.m3u", "one.mp3", "notes.txt", "two.WAV", "three.ogg", "four.flac"})
        test::writeFile(dir.file(name), {1});
    std::filesystem::create_directory(dir.path() / "crate.mp3");  // a folder, whatever its name
    const auto at = [&](const char* name) { return dir.file(name); };
    const FilesToOpen files =
        sortFilesToOpen({at("set.m3u"), at("crate.mp3"), at("one.mp3"), at("notes.txt"),
                         at("gone.mp3"), at("two.WAV"), at("three.ogg"), at("four.flac")});
    EXPECT_EQ(files.decks, (std::vector<std::string>{at("one.mp3"), at("two.WAV")}));
    EXPECT_EQ(files.playlist, (std::vector<std::string>{at("set.m3u"), at("crate.mp3"),
                                                        at("three.ogg"), at("four.flac")}));
    EXPECT_EQ(files.missing, std::vector<std::string>{at("gone.mp3")});
}

class DeskOpenFilesTest : public test::DeskAppFixture {
protected:
    DeskOpenFilesTest() : DeskAppFixture("First Artist - First Title.wav", 20) {}

    std::string writeTrack(const std::string& name) {
        synth::Params p;
        p.seconds = 5;
        const std::string path = home_.file(name);
        synth::writeWav(path, synth::render(p), 44100, 2, 16);
        return path;
    }
    std::vector<std::string> playlistTitles(DeskApp& app) {
        std::vector<std::string> titles;
        for (const LibraryRow& row : app.library()->library().playlist().rows())
            titles.push_back(row.entry.title);
        return titles;
    }
};

TEST_F(DeskOpenFilesTest, FilesReachTheDecksAndThePlaylistAndAPlayingDeckIsGuarded) {
    const std::string second = writeTrack("Second Artist - Second Title.wav");
    const std::string third = writeTrack("Third - Track Three.wav");
    const std::string fourth = writeTrack("Fourth - Track Four.wav");
    std::ofstream(home_.file("set.m3u")) << fourth << "\n" << third << "\n";
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    MixingDesk& desk = *app.desk();
    // The files are looked at, the playlist read and the tracks opened off the main thread;
    // the missing file is named in a message once that is known.
    std::string told;
    test::withNextModal<QMessageBox>([&](QMessageBox& box) {
        told = box.text().toStdString();
        box.accept();
    });
    app.openFiles({home_.file("set.m3u"), track_, home_.file("missing.mp3"), second, third});
    ASSERT_TRUE(processUntil([&] { return playlistTitles(app).size() == 3 && !told.empty(); }));
    ASSERT_TRUE(test::waitForLoads(desk));
    EXPECT_EQ(desk.transport().titleLine2(0), "First Title");
    EXPECT_EQ(desk.transport().titleLine2(1), "Second Title");
    EXPECT_EQ(playlistTitles(app),
              (std::vector<std::string>{"Track Four.wav", "Track Three.wav", "Track Three.wav"}));
    EXPECT_EQ(told, std::string(DeskApp::kMissingFiles) + "\n" + home_.file("missing.mp3"));

    // Deck 1 plays, deck 2 waits to be started: with "Baby secure" "Always" handed-over
    // files leave both alone and only the playlist grows; with "None" they replace both.
    set(settings().babySecure, 2);
    desk.transport().playPause(0);
    ASSERT_TRUE(processUntil([&] { return (*app.decks())[0].playing(); }));
    app.openFiles({third, fourth, second});
    ASSERT_TRUE(processUntil([&] { return playlistTitles(app).size() == 4; }));
    EXPECT_EQ(desk.transport().titleLine2(0), "First Title");
    EXPECT_TRUE((*app.decks())[0].playing());
    EXPECT_EQ(desk.transport().titleLine2(1), "Second Title");
    EXPECT_EQ(playlistTitles(app).back(), "Second Title.wav");
    set(settings().babySecure, 0);
    app.openFiles({third, fourth});
    ASSERT_TRUE(processUntil([&] { return desk.transport().titleLine2(1) == "Track Four"; }));
    EXPECT_EQ(desk.transport().titleLine2(0), "Track Three");
    EXPECT_EQ(desk.transport().titleLine2(1), "Track Four");
    app.destroy();
}

TEST_F(DeskOpenFilesTest, ASecondStartHandsItsFilesToTheRunningDeskAndEnds) {
    const std::string second = writeTrack("Second Artist - Second Title.wav");
    DeskApp app;
    ASSERT_TRUE(app.create());
    app.window().show();
    // This process is the running desk: it holds the lock and listens beside it.
    const QString runtime = QString::fromStdString(config_.path().string());
    SingleInstance instance(runtime);
    ASSERT_TRUE(instance.alone());
    auto server = std::make_unique<HandOverServer>(
        instance.socketPath(), [&](std::vector<std::string> files) { app.openFiles(files); });
    ASSERT_TRUE(server->listening());

    std::ofstream(config_.file("settings.reg"))
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Spinlorex]\n"
        << "\"MultiInstance\"=dword:00000000\n";
    // Relative names are the second start's own: it runs in the home folder.
    const std::string relative = std::filesystem::path(second).filename().string();
    const std::string log = home_.file("second.log");
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(home_.path());
    const pid_t child = test::startProgram({SPINLOREX_DESK_PATH, track_, relative},
                                           {{"QT_QPA_PLATFORM", "offscreen"},
                                            {"SPINLOREX_CONFIG_DIR", config_.path().string()},
                                            {"XDG_RUNTIME_DIR", config_.path().string()}},
                                           log);
    std::filesystem::current_path(cwd);
    ASSERT_GT(child, 0);
    int status = -1;
    bool ended = false;
    EXPECT_TRUE(processUntil(
        [&] { return ended = ended || ::waitpid(child, &status, WNOHANG) == child; }, 30));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(
        processUntil([&] { return app.desk()->transport().titleLine2(1) == "Second Title"; }));
    EXPECT_EQ(app.desk()->transport().titleLine2(0), "First Title");
    app.destroy();

    // Nobody listens any more: nothing is handed over.
    server.reset();
    EXPECT_FALSE(handOverFiles(instance.socketPath(), {track_}, 1000));
}

}  // namespace
}  // namespace spinlorex
