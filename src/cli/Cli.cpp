// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Cli.h"

#include "core/ErrorLog.h"
#include "musicdb/IpodLayout.h"
#include "musicdb/MusicFolderScan.h"
#include "platform/TabFields.h"
#include "platform/Text.h"
#include "settings/SettingsStore.h"
#include "tags/Tagger.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <string_view>
#include <system_error>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace korvello::cli {

namespace {

// "e:", "E:" or "e" as a drive; empty when it is none of these.
std::string NormaliseDrive(const std::string& text) {
    if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':'))
        return {};
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (letter < 'a' || letter > 'z')
        return {};
    return std::string(1, letter) + ":";
}

// Why the folder `linuxPath` below `root` cannot be reached: the system's reason for the
// first folder on the way that is there but cannot be entered or listed (its path in
// `where`); empty when every folder on the way can be, or one simply is not there.
std::string ReachProblem(const std::string& root, const std::string& linuxPath,
                         std::string& where) {
    std::string path = root;
    std::size_t pos = root.size();
    for (;;) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return {};
            where = path;
            return ErrorCodeText({errno, std::generic_category()});
        }
        if (!S_ISDIR(st.st_mode)) {
            where = path;
            return ErrorCodeText({ENOTDIR, std::generic_category()});
        }
        if (::access(path.c_str(), R_OK | X_OK) != 0) {
            where = path;
            return ErrorCodeText({errno, std::generic_category()});
        }
        if (pos >= linuxPath.size())
            return {};
        const std::size_t next = linuxPath.find('/', pos + 1);
        pos = next == std::string::npos ? linuxPath.size() : next;
        path = linuxPath.substr(0, pos);
    }
}

// A reader's failure in the user's terms: the database's program path (drive e: and the
// iPod's own folders) shown as the Linux path the user knows, and for a file that cannot
// be opened the system's reason ("Permission denied").
std::string UserFailureText(IPlatform& platform, const std::string& drive,
                            const std::string& failure) {
    std::string text = failure;
    for (const std::string& path : {DatabasePath(drive), CompressedDatabasePath(drive)}) {
        const std::string shown = platform.DisplayPath(path);
        if (text == "Cannot open file " + path) {
            std::string why;
            if (auto file = platform.OpenRead(path, why))
                why = "it could not be opened";
            return "cannot open " + shown + ": " + why;
        }
        for (std::size_t at = text.find(path); at != std::string::npos;
             at = text.find(path, at + shown.size())) {
            text.replace(at, path.size(), shown);
        }
    }
    return text;
}

bool IsIpodControlName(const std::string& name) {
    static constexpr std::string_view wanted = "ipod_control";
    if (name.size() != wanted.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != wanted[i])
            return false;
    return true;
}

} // namespace

Options ParseOptions(const std::vector<std::string>& args, unsigned accepted) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--with-unlisted" && (accepted & kUnlistedOption)) {
            options.withUnlisted = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            if (arg.size() > 1 && arg[0] == '-')
                throw UsageError("unknown option " + arg);
            options.arguments.push_back(arg);
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        std::string value;
        const bool takesValue = (name == "--drive" && (accepted & kDriveOption)) ||
                                (name == "--folder" && (accepted & kFolderOption));
        if (!takesValue)
            throw UsageError("unknown option " + name);
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            throw UsageError(name + " needs a value");
        }
        if (name == "--drive") {
            options.drive = NormaliseDrive(value);
            if (options.drive->empty())
                throw UsageError("--drive takes a drive letter such as e:, not '" + value + "'");
        } else {
            if (value.empty())
                throw UsageError("--folder needs a folder");
            options.folder = value;
        }
    }
    if (options.drive && options.folder)
        throw UsageError("--drive and --folder cannot be used together");
    return options;
}

std::string EscapeField(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (AppendEscapedSeparator(out, c))
            continue;
        // Other control characters (an ESC would drive the terminal) are shown as \xHH,
        // never passed on.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

void WriteRow(std::ostream& out, const std::vector<std::string>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out << '\t';
        out << EscapeField(values[i]);
    }
    out << '\n';
}

Session::Session(const Options& options) : options_(options) {
    PosixRoots roots = PosixRoots::FromEnvironment();
    if (options_.folder) {
        std::error_code ec;
        const fs::path folder = fs::absolute(*options_.folder, ec);
        if (ec || !fs::is_directory(folder, ec))
            throw RunError("no such folder: " + *options_.folder);
        // Mapped in memory for this run only: nothing is written to disk that a killed run
        // could leave behind, and the user's own drives folder is neither read nor touched.
        roots.mappedFolders = {{kFolderLetter, folder.string()}};
    }
    platform_ = std::make_unique<PosixPlatform>(std::move(roots));
}

Session::~Session() = default;

std::string Session::ChooseIpod() {
    if (options_.drive)
        return *options_.drive;
    if (options_.folder)
        return std::string(1, kFolderLetter) + ":";
    const std::vector<std::string> ipods = FindIpodRoots(*platform_);
    if (ipods.empty())
        throw RunError("no iPod found: no USB disk or mapped folder holds iPod_Control/iTunes "
                       "(see 'korvello-cli drives', or name a copy of an iPod with --folder)");
    return ipods.front();
}

std::string Session::Describe(const std::string& drive) {
    if (options_.folder && !options_.drive)
        return *options_.folder;
    const std::string root = platform_->ToLinuxPath(drive + "\\");
    if (root.empty())
        return "drive " + drive + " (no mounted disk or mapped folder)";
    return "drive " + drive + " (" + root + ")";
}

void Session::RequireDatabase(const std::string& drive) {
    // A volume with the iPod's folder goes on to the reader, which says what it found there
    // (an iTunesCDB, an unreadable or SQLite-only library).
    if (platform_->FindFile(DatabasePath(drive)) || HoldsITunesFolder(*platform_, drive))
        return;
    const std::string root = platform_->ToLinuxPath(drive + "\\");
    if (root.empty())
        throw RunError(
            "drive " + drive +
            " is neither a mounted disk nor a mapped folder (see 'korvello-cli drives')");
    const std::string place =
        options_.folder && !options_.drive ? "in " + *options_.folder : "on " + Describe(drive);
    // The folder given is the iPod's iPod_Control folder itself: its parent is the iPod.
    if (options_.folder && !options_.drive) {
        std::error_code ec;
        fs::path given = fs::absolute(*options_.folder, ec).lexically_normal();
        if (!given.has_filename())
            given = given.parent_path();
        if (IsIpodControlName(given.filename().string()) ||
            platform_->DirectoryExists(drive + "\\iTunes\\"))
            throw RunError("no iPod database " + place +
                           ": it is an iPod's iPod_Control folder; name the folder that holds "
                           "it: --folder " +
                           given.parent_path().string());
    }
    // A folder on the way that cannot be read is not a missing database.
    std::string where;
    const std::string problem =
        ReachProblem(root, platform_->ToLinuxPath(ITunesFolder(drive)), where);
    if (!problem.empty())
        throw RunError("cannot read the iPod's folder " + where + ": " + problem);
    throw RunError("no iPod database " + place + ": it holds no iPod_Control/iTunes/iTunesDB");
}

bool ReportDamagedDatabase(const TiPod& ipod, const std::string& command, std::ostream& err) {
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    if (!status.Damaged())
        return true;
    err << "korvello-cli " << command << ": " << DamagedDatabaseText(status) << '\n';
    return false;
}

std::vector<std::int32_t> SongsOfPlaylists(const TiPod& ipod,
                                           const std::vector<std::string>& names) {
    std::vector<std::int32_t> songs;
    for (const std::string& name : names) {
        bool found = false;
        for (const TPlaylist& playlist : ipod.Playlists()) {
            if (ToUtf8(playlist.Name) != name)
                continue;
            found = true;
            songs.insert(songs.end(), playlist.Songs.begin(), playlist.Songs.end());
        }
        if (!found)
            throw RunError("the iPod has no playlist named '" + name +
                           "' (see korvello-cli playlists)");
    }
    return songs;
}

bool ReaderHasGone(int fd) {
    // The write end of a pipe whose reader closed reports an error condition; a socket
    // whose peer closed reports a hang-up.
    pollfd entry{fd, POLLOUT, 0};
    if (poll(&entry, 1, 0) != 1)
        return false;
    return (entry.revents & (POLLERR | POLLHUP)) != 0;
}

void LoadIpodDatabase(Session& session, const std::string& drive, TiPod& ipod) {
    session.RequireDatabase(drive);
    ipod.SetDrivePath(drive);
    try {
        ipod.LoadDatabase();
    } catch (const EKorvelloError& e) {
        throw RunError(UserFailureText(session.Platform(), drive, e.what()));
    }
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    if (status.Readable())
        return;
    // "in /the/folder" for --folder, "on drive e: (/media/ipod)" for a drive.
    const std::string place = session.Describe(drive);
    throw RunError("no readable music database " +
                   std::string(place.rfind("drive ", 0) == 0 ? "on " : "in ") + place + " (" +
                   UserFailureText(session.Platform(), drive, status.problem) + ")");
}

namespace {

// Ctrl-C (or a closed terminal) while the tags are read ends the reading with the songs
// read so far; a second one goes to whatever handled it before, which ends the run.
std::atomic<bool> gScanStop{false};
using ScanSignalHandler = void (*)(int);
constexpr int kScanStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};
ScanSignalHandler gScanPrevious[3] = {SIG_DFL, SIG_DFL, SIG_DFL};

extern "C" void OnScanStopSignal(int signal) {
    gScanStop.store(true);
    for (int i = 0; i < 3; ++i)
        if (kScanStopSignals[i] == signal)
            std::signal(signal, gScanPrevious[i]);
}

class ScanStopOnSignal {
public:
    ScanStopOnSignal() {
        gScanStop.store(false);
        for (int i = 0; i < 3; ++i)
            gScanPrevious[i] = std::signal(kScanStopSignals[i], OnScanStopSignal);
    }
    ~ScanStopOnSignal() {
        for (int i = 0; i < 3; ++i)
            std::signal(kScanStopSignals[i], gScanPrevious[i]);
    }
    ScanStopOnSignal(const ScanStopOnSignal&) = delete;
    ScanStopOnSignal& operator=(const ScanStopOnSignal&) = delete;
};

} // namespace

bool LoadIpodSongs(Session& session, const std::string& drive, TiPod& ipod, bool withUnlisted,
                   const std::string& command, std::ostream& err) {
    IPlatform& platform = session.Platform();
    session.RequireDatabase(drive);
    ipod.SetDrivePath(drive);
    try {
        ipod.LoadDatabase();
    } catch (const EKorvelloError& e) {
        throw RunError(UserFailureText(platform, drive, e.what()));
    }
    const bool unlisted = withUnlisted || ReadRegistryFlag(platform, kValueListUnlisted, false);
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    TScanResult scan;
    if (!status.Readable() || unlisted) {
        const bool onTerminal = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
        const ScanStopOnSignal stopOnSignal;
        TScanOptions options;
        options.stop = &gScanStop;
        options.cacheFile = SongTagsCacheFile(platform);
        std::int64_t shownPercent = -1;
        if (onTerminal)
            options.progress = [&](std::int64_t done, std::int64_t total) {
                const std::int64_t percent = total > 0 ? done * 100 / total : 100;
                if (percent == shownPercent)
                    return;
                shownPercent = percent;
                err << "\rkorvello-cli " << command << ": reading song files: " << done << " of "
                    << total << " (" << percent << "%)" << std::flush;
            };
        const std::unique_ptr<ITagger> tagger = MakeTagLibTagger(platform);
        scan = AddSongsOfFiles(ipod, platform, *tagger, unlisted, options);
        if (onTerminal && shownPercent >= 0)
            err << "\r\x1b[K" << std::flush;
    }
    if (!status.Readable() && !scan.replaced) {
        const std::string place = session.Describe(drive);
        throw RunError("no readable music database " +
                       std::string(place.rfind("drive ", 0) == 0 ? "on " : "in ") + place + " (" +
                       UserFailureText(platform, drive, status.problem) + ")");
    }
    if (scan.replaced)
        err << "korvello-cli " << command << ": no readable music database ("
            << UserFailureText(platform, drive, status.problem) << "): " << scan.songs.size()
            << (scan.songs.size() == 1 ? " song" : " songs") << " read from their files\n";
    else if (scan.scanned)
        err << "korvello-cli " << command << ": " << scan.songs.size()
            << (scan.songs.size() == 1 ? " song file" : " song files")
            << " the database does not name added\n";
    if (!scan.unreadable.empty())
        err << "korvello-cli " << command << ": " << scan.unreadable.size()
            << (scan.unreadable.size() == 1 ? " file could not be read and is"
                                            : " files could not be read and are")
            << " listed by name (see the error log)\n";
    if (scan.stopped)
        err << "korvello-cli " << command << ": stopped: " << scan.songs.size() << " of "
            << scan.filesFound << " song files read\n";
    return !scan.stopped;
}

} // namespace korvello::cli
