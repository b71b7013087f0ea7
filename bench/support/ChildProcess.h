#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Running other programs from a benchmark: shell commands for setting up disks and limits,
// writing one value into a kernel file, and a child timed by the CPU it used.

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvello::bench {

// Runs `command` in a shell with its output thrown away; true when it exited with 0.
inline bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Writes `text` into `file` (a control file of /proc or /sys); true when it was taken.
inline bool WriteText(const std::string& file, const std::string& text) {
    std::ofstream out(file);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

// User plus system time of a finished child, in milliseconds.
inline double CpuMs(const rusage& usage) {
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Runs `argv` with its output going to `outputFd` (-1: thrown away) and waits for it,
// leaving what it used in `usage`. True when it exited with 0.
inline bool RunChild(const std::vector<std::string>& argv, int outputFd, rusage& usage) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = outputFd >= 0 ? outputFd : open("/dev/null", O_WRONLY);
        dup2(out, STDOUT_FILENO);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    usage = rusage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace korvello::bench
