#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of korvello-cli, the terminal companion of the program: option parsing,
// the escaping of tab-separated output, the platform a run works on, and the choice of
// the iPod (named drive, a folder mapped for this run, or the program's own scan).
//
// Each subcommand lives in a file of its own (CliList.cpp, CliDrives.cpp, ...) and is
// one row of the table in main.cpp.

#include "musicdb/iPodcomponent.h"
#include "platform/posix/PosixPlatform.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvello::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotFound = 1; // no iPod, no database, or it could not be read
inline constexpr int kExitUsage = 2;

// A command line the program cannot make sense of; main prints it and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure of the run itself (no iPod, unreadable database); exits with 1.
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Options shared by the subcommands. Each subcommand says which ones it accepts.
struct Options {
    std::optional<std::string> drive;   // --drive e:
    std::optional<std::string> folder;  // --folder PATH
    bool help = false;                  // --help or -h
    bool withUnlisted = false;          // --with-unlisted
    std::vector<std::string> arguments; // everything that is not an option
};

enum OptionSet : unsigned {
    kNoOptions = 0,
    kDriveOption = 1u << 0,
    kFolderOption = 1u << 1,
    kUnlistedOption = 1u << 2,
};

// Parses `args` (the words after the subcommand). "--drive X" and "--drive=X" both work;
// an option not in `accepted`, a missing value or both --drive and --folder throw
// UsageError. A --drive value is checked and normalised to a lower-case "e:".
Options ParseOptions(const std::vector<std::string>& args, unsigned accepted);

// One value of a tab-separated line: backslash, tab, newline and carriage return
// written as \\, \t, \n and \r so that every record stays on one line.
std::string EscapeField(std::string_view value);
// Joins escaped values with tabs and ends the line.
void WriteRow(std::ostream& out, const std::vector<std::string>& values);

// The platform of one run. With a folder, it is mapped as drive e: in memory for this run
// alone (no file is made for it), so the user's own drives folder is neither read nor
// touched; the rest of the environment (mount table, data folder) stays the user's.
class Session {
public:
    explicit Session(const Options& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    PosixPlatform& Platform() { return *platform_; }
    // The mount root of the iPod the run works on ("e:"): --drive as given, the mapped
    // folder's letter, or the first iPod the scan finds. Throws RunError when the scan
    // finds none.
    std::string ChooseIpod();
    // The iPod's place in the user's terms, for messages: the folder as the user gave it
    // to --folder, or the drive with the Linux folder it stands for ("drive e: (/media/x)").
    std::string Describe(const std::string& drive);
    // Throws RunError naming that place when the drive holds no iPod database.
    void RequireDatabase(const std::string& drive);

private:
    Options options_;
    std::unique_ptr<PosixPlatform> platform_;
};

// Loads the database of the iPod at `drive` into `ipod`. Throws RunError, naming the
// folder or mount point the user knows, when the iPod has no database that can be read
// or its file cannot be opened.
void LoadIpodDatabase(Session& session, const std::string& drive, TiPod& ipod);
// Loads the songs of the iPod at `drive` into `ipod`: the database, and where the iPod has
// none that can be read, the songs of its music folders read from the files' own tags
// (with progress on `err` when it is a terminal, and Ctrl-C ending the reading with the
// songs read so far); with `withUnlisted` (or the stored setting), the files the database
// does not name follow its songs. Says on `err`, for `command`, where the songs came from.
// Throws as LoadIpodDatabase when there is neither a database nor a song file. False when
// the reading was stopped before every file was read. Unreadable files go to the error log
// of TLogClass's platform (none when it has none).
bool LoadIpodSongs(Session& session, const std::string& drive, TiPod& ipod, bool withUnlisted,
                   const std::string& command, std::ostream& err);
// Says on `err` that the iPod's database is damaged when fewer songs could be read than it
// declares ("korvello-cli list: The iPod's music database is damaged: ..."). True when
// every declared song was read.
bool ReportDamagedDatabase(const TiPod& ipod, const std::string& command, std::ostream& err);
// True when `fd` is a pipe or socket whose reader has gone (korvello-cli list | head):
// such a reader wanted no more, which is not a failure of the run.
bool ReaderHasGone(int fd);

// The letter a --folder is mapped as.
inline constexpr char kFolderLetter = 'e';

// Subcommands: the words after the subcommand's name; output and messages go to the
// streams; the result is the exit status. Errors may also be thrown as UsageError or
// RunError, which main turns into a message and a status.
int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunDrives(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunPlaylists(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunCopy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace korvello::cli
