#pragma once
// Runs a program as a child process (through the shell, arguments quoted) and collects its exit
// status and its standard output and error together.

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testkit {

struct ProcessOutcome {
    int status = -1;    // the exit status; -1 when it did not exit normally
    std::string output; // standard output and error together
};

inline std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline ProcessOutcome runProcess(const std::string& program, const std::vector<std::string>& args) {
    std::string command = shellQuoted(program);
    for (const std::string& arg : args)
        command += " " + shellQuoted(arg);
    command += " 2>&1";
    ProcessOutcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return outcome;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        outcome.output.append(buffer, n);
    const int raw = ::pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

} // namespace testkit
