#pragma once

// A private PulseAudio daemon for tests that check sound really leaves through PortAudio:
// programs run as children (the daemon, parec), and the daemon's start with null sinks.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Files.h"

extern char** environ;

namespace spinlorex::test {

using Clock = std::chrono::steady_clock;

// A program run with its output in files, stopped and reaped when this goes, and killed by
// the kernel should the test process die first.
class Child {
public:
    Child(std::vector<std::string> args, std::vector<std::string> extraEnv,
          const std::string& outPath, const std::string& errPath) {
        // Everything exec needs is built before fork: the child may only make
        // async-signal-safe calls.
        std::vector<std::string> env = std::move(extraEnv);
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);  // first wins
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(126);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
            execvpe(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~Child() { stop(SIGTERM); }

    bool running() {
        if (pid_ <= 0) return false;
        if (waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
        return pid_ > 0;
    }

    // Sends `signal`, and SIGKILL if the program has not ended after two seconds.
    void stop(int signal) {
        if (!running()) return;
        kill(pid_, signal);
        for (const auto deadline = Clock::now() + std::chrono::seconds(2);
             Clock::now() < deadline;) {
            if (!running()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

inline bool canConnect(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) return false;
    std::strcpy(address.sun_path, socketPath.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
    return ok;
}

// Waits up to `limit` for `done`.
template <typename F>
inline bool waitFor(F&& done, std::chrono::milliseconds limit) {
    for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// A PulseAudio daemon of this test's own, listening on `socket`, with a null sink for each
// entry of `sinks` (module-null-sink arguments). Null, with the daemon's log in `why`,
// when it cannot run here.
inline std::unique_ptr<Child> startPulse(const TempDir& dir, const std::string& socket,
                                         const std::vector<std::string>& sinks, std::string& why) {
    // Run as root is allowed with a warning; -n loads nothing but the modules given here.
    std::vector<std::string> args{"pulseaudio",
                                  "-n",
                                  "--daemonize=no",
                                  "--exit-idle-time=-1",
                                  "--use-pid-file=no",
                                  "--disable-shm=yes",
                                  "--realtime=no",
                                  "--high-priority=no",
                                  "--no-cpu-limit",
                                  "--log-target=stderr",
                                  "-L",
                                  "module-native-protocol-unix auth-anonymous=1 socket=" + socket};
    for (const std::string& sink : sinks)
        args.insert(args.end(), {"-L", "module-null-sink " + sink});
    const std::string log = dir.file("pulseaudio.log");
    auto server =
        std::make_unique<Child>(args,
                                std::vector<std::string>{"HOME=" + dir.path().string(),
                                                         "XDG_RUNTIME_DIR=" + dir.path().string()},
                                dir.file("server.out"), log);
    if (waitFor([&] { return canConnect(socket) || !server->running(); },
                std::chrono::seconds(10)) &&
        canConnect(socket))
        return server;
    const Bytes text = readFile(log);
    why = text.empty() ? "pulseaudio could not be run" : std::string(text.begin(), text.end());
    return nullptr;
}

}  // namespace spinlorex::test
