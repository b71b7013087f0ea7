// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli: the terminal companion of Korvello. Each subcommand is one row below.
#include "cli/Cli.h"

#include <clocale>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace korvello::cli;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>&, std::ostream&, std::ostream&);
};

const Command kCommands[] = {
    {"drives", "list the drives the program sees and which hold an iPod", RunDrives},
    {"list", "list the songs of an iPod, tab-separated", RunList},
    {"playlists", "list the playlists of an iPod", RunPlaylists},
    {"copy", "copy songs of an iPod into a folder, named after their titles", RunCopy},
};

void PrintUsage(std::ostream& out) {
    out << "usage: korvello-cli <command> [options]\n\ncommands:\n";
    for (const Command& command : kCommands)
        out << "  " << command.name << std::string(10 - std::strlen(command.name), ' ')
            << command.summary << '\n';
    out << "\noptions:\n"
           "  -h, --help  show this help\n"
           "  --version   show the version\n"
           "\n'korvello-cli <command> --help' describes a command; 'man korvello-cli' all.\n"
           "Exit status: 0 done, 1 no iPod or database found, 2 wrong usage.\n";
}

} // namespace

int main(int argc, char** argv) {
    // Collation and the decimal separator follow the user's locale, as in the program.
    std::setlocale(LC_ALL, "");
    // A reader that stops early (korvello-cli list | head) must not kill the run before
    // it has tidied up; the write then simply fails.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "korvello-cli " << KORVELLO_VERSION << '\n';
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (args[0] != command.name)
            continue;
        const std::vector<std::string> rest(args.begin() + 1, args.end());
        try {
            return command.run(rest, std::cout, std::cerr);
        } catch (const UsageError& e) {
            std::cerr << "korvello-cli " << command.name << ": " << e.what()
                      << " (see korvello-cli " << command.name << " --help)\n";
            return kExitUsage;
        } catch (const RunError& e) {
            std::cerr << "korvello-cli " << command.name << ": " << e.what() << '\n';
            return kExitNotFound;
        } catch (const std::exception& e) {
            std::cerr << "korvello-cli " << command.name << ": " << e.what() << '\n';
            return kExitNotFound;
        }
    }
    std::cerr << "korvello-cli: unknown command '" << args[0] << "' (see korvello-cli --help)\n";
    return kExitUsage;
}
