#include "platform/core/ProcessSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace spinlorex {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

std::atomic<int> g_pipeWrite{-1};
int g_pipeRead = -1;
std::atomic<bool> g_stopRequested{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    g_stopRequested.store(true, std::memory_order_relaxed);
    const int fd = g_pipeWrite.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written =
            ::write(fd, &number, 1);  // a full pipe loses only a repeat
    }
    errno = savedErrno;
}

// The crash command, made ready before any crash: no allocation in the handler.
std::vector<std::string> g_crashArgs;
std::vector<char*> g_crashArgv;

extern "C" void onCrash(int signal) {
    if (!g_crashArgv.empty()) {
        // _Fork runs no fork handlers and takes no locks: safe here, whatever state the
        // program is in.
        const pid_t child = ::_Fork();
        if (child == 0) {
            ::execv(g_crashArgv[0], g_crashArgv.data());
            ::_exit(127);
        }
        if (child > 0)
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {}
    }
    // The handler was installed to run once (SA_RESETHAND): the signal now ends the
    // program (and dumps its core) as it would have.
    ::raise(signal);
}

}  // namespace

StopSignals::StopSignals() {
    g_stopRequested.store(false, std::memory_order_relaxed);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_pipeRead = fds[0];
        g_pipeWrite.store(fds[1], std::memory_order_relaxed);
    }
    struct sigaction action {};
    action.sa_handler = &onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
}

StopSignals::~StopSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
    const int write = g_pipeWrite.exchange(-1, std::memory_order_relaxed);
    if (write >= 0) ::close(write);
    if (g_pipeRead >= 0) ::close(g_pipeRead);
    g_pipeRead = -1;
}

int StopSignals::readFd() const { return g_pipeRead; }

int StopSignals::takeSignal() {
    unsigned char number = 0;
    if (g_pipeRead < 0) return 0;
    ssize_t got;
    do {
        got = ::read(g_pipeRead, &number, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? number : 0;
}

bool StopSignals::stopRequested() { return g_stopRequested.load(std::memory_order_relaxed); }

void runOnCrash(const std::vector<std::string>& argv) {
    if (argv.empty()) return;
    g_crashArgs = argv;
    g_crashArgv.clear();
    for (std::string& arg : g_crashArgs) g_crashArgv.push_back(arg.data());
    g_crashArgv.push_back(nullptr);
    // Its own stack, so that a crash by stack overflow still runs it.
    static char stack[64 * 1024];
    stack_t alternate{};
    alternate.ss_sp = stack;
    alternate.ss_size = sizeof stack;
    ::sigaltstack(&alternate, nullptr);
    struct sigaction action {};
    action.sa_handler = &onCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK | SA_NODEFER;
    for (const int signal : kCrashSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace spinlorex
