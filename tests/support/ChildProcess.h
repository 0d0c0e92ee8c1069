#pragma once

// Runs one of the suite's own tests in a child process of the test binary, so that a test
// can kill a program at any moment, or give it limits of its own. Child tests are named
// DISABLED_... so that they run only when asked for; they find what to do in the
// environment given here. Parent and child share counters through a small mapped file.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace spinlorex::test {

// Starts the program `argv[0]` with `argv` and `env` added to this process's environment,
// its output going to `log`; -1 when it cannot start.
inline pid_t startProgram(std::vector<std::string> argv,
                          const std::vector<std::pair<std::string, std::string>>& env,
                          const std::string& log) {
    // The given variables replace inherited ones of the same name (the first of two
    // definitions is the one a program sees).
    std::vector<std::string> strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& given : env) replaced = replaced || given.first == name;
        if (!replaced) strings.push_back(entry);
    }
    for (const auto& [name, value] : env) strings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed != 0 ? -1 : pid;
}

// Starts `suite.DISABLED_name` of this binary with `env` added, its output going to `log`;
// -1 when it cannot start.
inline pid_t startChildTest(const std::string& test,
                            const std::vector<std::pair<std::string, std::string>>& env,
                            const std::string& log) {
    return startProgram(
        {"/proc/self/exe", "--gtest_filter=" + test, "--gtest_also_run_disabled_tests"}, env, log);
}

// Kills the child at once (as a crash or `kill -9` would) and reaps it.
inline void killChild(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

// Waits for the child to end; its exit status, or -1 when a signal ended it.
inline int waitChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Counters in a file that parent and child map: lock-free atomics work across processes.
class SharedCounters {
public:
    static constexpr int kCount = 16;
    explicit SharedCounters(const std::string& path, bool create) {
        const int fd = ::open(path.c_str(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR, 0600);
        if (fd < 0) return;
        if (!create || ::ftruncate(fd, sizeof(Block)) == 0)
            map_ = ::mmap(nullptr, sizeof(Block), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map_ == MAP_FAILED) map_ = nullptr;
    }
    ~SharedCounters() {
        if (map_ != nullptr) ::munmap(map_, sizeof(Block));
    }
    SharedCounters(const SharedCounters&) = delete;
    SharedCounters& operator=(const SharedCounters&) = delete;

    bool ok() const { return map_ != nullptr; }
    std::atomic<int64_t>& operator[](int i) { return static_cast<Block*>(map_)->values[i]; }

private:
    struct Block {
        std::atomic<int64_t> values[kCount];
    };
    static_assert(std::atomic<int64_t>::is_always_lock_free);
    void* map_ = nullptr;
};

// How many rounds a kill test runs: `reduced` in the suite, SPINLOREX_KILL_STRESS rounds
// when that is set (bench/kill-stress.sh runs 200).
inline int killRounds(int reduced) {
    const char* value = std::getenv("SPINLOREX_KILL_STRESS");
    const int asked = value != nullptr ? std::atoi(value) : 0;
    return asked > 0 ? asked : reduced;
}

}  // namespace spinlorex::test
