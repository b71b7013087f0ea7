#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built korvello-cli as a program, with the configuration and data folders of a
// temporary tree, never the user's, and collects what it printed and its exit status.

#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace korvello::test {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> lines;
};

// `args` already shell-quoted where needed; `dir` holds the tree's config and data folders.
// `wrapper` goes before the program (a command that runs it as another user, say).
inline CliRun RunKorvelloCli(const std::string& dir, const std::string& args,
                             const std::string& wrapper = "") {
    const std::string errFile = dir + "/stderr.txt";
    const std::string command = "XDG_CONFIG_HOME='" + dir + "/config' XDG_DATA_HOME='" + dir +
                                "/data' ASAN_OPTIONS=detect_leaks=0 " + wrapper + "'" +
                                KORVELLO_CLI_PATH "' " + args + " 2>'" + errFile + "'";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadFile(errFile);
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        run.lines.push_back(line);
    return run;
}

} // namespace korvello::test
