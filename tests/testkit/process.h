#pragma once
// Runs a program as a child process and collects its exit status and its standard output and
// error together; a child started with ChildProcess can be signalled while it runs.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct ProcessOutcome {
    int status = -1;    // the exit status; -1 when it did not exit normally
    std::string output; // standard output and error together
    // The most memory the child held at once (its largest resident set), in kilobytes. It counts
    // this process's own from the moment of the fork, until the child's program starts.
    long peakKilobytes = 0;
};

class ChildProcess {
public:
    // Starts `program` with `args` (no shell) and `environment` added to this process's own.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return;
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeEnds[1], STDOUT_FILENO);
            ::dup2(pipeEnds[1], STDERR_FILENO);
            for (const auto& [name, value] : environment)
                ::setenv(name.c_str(), value.c_str(), 1);
            ::execvp(argv[0], argv.data());
            // Why it could not start, in the child's output (calls safe after a fork only).
            const int error = errno;
            const char* name = ::strerrorname_np(error);
            for (const char* part : {"cannot start ", static_cast<const char*>(argv[0]), ": ", name ? name : "?", "\n"})
                if (::write(STDERR_FILENO, part, std::char_traits<char>::length(part)) < 0) break;
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        output_ = pipeEnds[0];
    }
    ~ChildProcess() {
        if (pid_ > 0) wait();
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False once the child has been collected: its process id may be another's by then.
    bool signal(int sig) const { return pid_ > 0 && !ended_ && ::kill(pid_, sig) == 0; }

    // Whether the child ends within `seconds` of real time (looked for every 5 ms); wait() then
    // collects its output and status.
    bool endsWithin(double seconds) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (pid_ > 0 && !ended_) {
            ended_ = ::wait4(pid_, &raw_, WNOHANG, &usage_) == pid_;
            if (!ended_ && std::chrono::steady_clock::now() >= until) return false;
            if (!ended_) ::usleep(5000);
        }
        return ended_;
    }

    // Reads all the child writes, then waits for it to end.
    ProcessOutcome wait() {
        ProcessOutcome outcome;
        char buffer[4096];
        for (ssize_t n;
             output_ >= 0 && ((n = ::read(output_, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR));)
            if (n > 0) outcome.output.append(buffer, static_cast<std::size_t>(n));
        if (output_ >= 0) ::close(output_);
        output_ = -1;
        if (pid_ > 0 && (ended_ || ::wait4(pid_, &raw_, 0, &usage_) == pid_)) {
            if (WIFEXITED(raw_)) outcome.status = WEXITSTATUS(raw_);
            outcome.peakKilobytes = usage_.ru_maxrss;
        }
        pid_ = -1;
        return outcome;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool ended_ = false; // collected by endsWithin
    int raw_ = 0;
    struct rusage usage_ {};
};

inline ProcessOutcome runProcess(const std::string& program, const std::vector<std::string>& args) {
    return ChildProcess(program, args).wait();
}

// Runs the program once per argument list, side by side, at most `together` at a time (0: all at
// once), and gives the outcomes in the lists' order.
inline std::vector<ProcessOutcome> runProcesses(const std::string& program,
                                                const std::vector<std::vector<std::string>>& argLists,
                                                std::size_t together = 0) {
    std::vector<ProcessOutcome> outcomes;
    std::deque<ChildProcess> running;
    for (const std::vector<std::string>& args : argLists) {
        if (together && running.size() == together) {
            outcomes.push_back(running.front().wait());
            running.pop_front();
        }
        running.emplace_back(program, args);
    }
    for (ChildProcess& child : running) outcomes.push_back(child.wait());
    return outcomes;
}

} // namespace testkit
