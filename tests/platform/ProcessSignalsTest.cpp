// The signals that end a program: the stop signals caught into a pipe, and the command a
// crash still runs.

#include "platform/core/ProcessSignals.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/ChildProcess.h"
#include "support/DeckHarness.h"
#include "support/Files.h"

namespace spinlorex {
namespace {

TEST(StopSignals, TermIntAndHupArriveThroughThePipeInsteadOfEndingTheProgram) {
    {
        StopSignals signals;
        EXPECT_FALSE(StopSignals::stopRequested());
        EXPECT_EQ(signals.takeSignal(), 0);
        ASSERT_GE(signals.readFd(), 0);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            ASSERT_EQ(::raise(signal), 0);
            EXPECT_EQ(signals.takeSignal(), signal);
        }
        EXPECT_TRUE(StopSignals::stopRequested());
        EXPECT_EQ(signals.takeSignal(), 0);
    }
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);  // the default action is back
}

// The child: a program with a crash command that dies of a segmentation fault.
TEST(CrashChild, DISABLED_CrashesWithACommandToRun) {
    const char* marker = std::getenv("SPINLOREX_CRASH_MARKER");
    ASSERT_NE(marker, nullptr);
    runOnCrash({"/bin/sh", "-c", std::string("echo ran > '") + marker + "'"});
    ::raise(SIGSEGV);
}

TEST(RunOnCrash, ACrashRunsTheCommandThenEndsTheProgramAsTheSignalWould) {
    test::TempDir dir;
    const std::string marker = dir.file("marker");
    const pid_t child =
        test::startChildTest("CrashChild.DISABLED_CrashesWithACommandToRun",
                             {{"SPINLOREX_CRASH_MARKER", marker}}, dir.file("child.log"));
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << status;
    const test::Bytes ran = test::readFile(marker);
    EXPECT_EQ(std::string(ran.begin(), ran.end()), "ran\n");
}

}  // namespace
}  // namespace spinlorex
