// SPDX-License-Identifier: GPL-3.0-or-later
// korvello-cli copy: copies songs of an iPod into a folder, chosen by the same rules as the
// window's lists and search box, named and copied by the window's own worker.
#include "cli/Cli.h"

#include "copyout/CopyJob.h"
#include "copyout/CopyNaming.h"
#include "copyout/CopyThread.h"
#include "copyout/JobSummary.h"
#include "copyout/Naming.h"
#include "copyout/Playlist.h"
#include "copyout/ResultTexts.h"
#include "core/ErrorLog.h"
#include "export/IpodPlaylists.h"
#include "export/JobCopies.h"
#include "export/LibraryFile.h"
#include "musicdb/SongSearch.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"
#include "settings/SettingsStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <ostream>
#include <system_error>
#include <utility>

#include <unistd.h>

namespace fs = std::filesystem;

namespace korvello::cli {

namespace {

constexpr const char* kHelp =
    "usage: korvello-cli copy --to FOLDER [--overwrite | --no-overwrite]\n"
    "                         [--artist NAME]... [--album NAME]... [--filetype NAME]...\n"
    "                         [--search TEXT] [--drive e: | --folder PATH]\n"
    "                         [--name TEMPLATE [--save-name]]\n"
    "                         [--skip-copied | --no-skip-copied] [--playlist FILE]\n"
    "                         [--write-tags | --no-write-tags]\n"
    "                         [--export-playlists DIR] [--library-file FILE]\n"
    "                         [--with-unlisted]\n"
    "Copies songs of an iPod into FOLDER, each named after its title, like the window's\n"
    "Copy command. Without a filter every song is copied, in the iPod's own order.\n"
    "  --to FOLDER        an existing folder to copy into\n"
    "  --overwrite        replace a file of the same name\n"
    "  --no-overwrite     keep it and write Title(1).mp3, Title(2).mp3, ... instead\n"
    "                     (without either, the setting stored by the program; default on)\n"
    "  --name TEMPLATE    how copies are named below FOLDER, with fields in braces and\n"
    "                     \"/\" between folders, for example\n"
    "                     '{albumartist}/{album}/[{disc}-][{track} ]{title}'; a part in\n"
    "                     square brackets is left out when a field in it is empty. Fields:\n"
    "                     {title} {artist} {album} {albumartist} {genre} {composer} {year}\n"
    "                     {track} {tracks} {disc} {discs} {filetype}. The words title,\n"
    "                     artist-title and artist-album-title name the first three\n"
    "                     presets. Default: the setting stored by the program ({title})\n"
    "  --save-name        store the --name TEMPLATE as the program's setting\n"
    "  --skip-copied      do not copy a song whose copy is already there (same size, same\n"
    "                     first and last 64 KiB, or the same audio data when only the\n"
    "                     tags differ); it reads \"Already copied.\"\n"
    "  --no-skip-copied   copy it again (without either, the stored setting; default off)\n"
    "  --write-tags       complete each copy's tags from the iPod's database (title,\n"
    "                     artist, album, numbers, rating, play count, ...); tags the file\n"
    "                     has are kept, the songs on the iPod are never written\n"
    "  --no-write-tags    copy the files as they are (without either, the stored\n"
    "                     setting; default off)\n"
    "  --playlist FILE    write an M3U8 playlist of the songs copied or already there,\n"
    "                     with paths relative to the playlist's folder; an existing FILE\n"
    "                     is replaced only when it is a playlist (begins with #EXTM3U)\n"
    "  --export-playlists DIR\n"
    "                     write each of the iPod's playlists (not the list of all songs)\n"
    "                     as DIR/NAME.m3u8 with the songs of this job, in the playlist's\n"
    "                     order; a playlist without any is not written, an existing\n"
    "                     file is kept and NAME(1).m3u8 written instead\n"
    "  --library-file FILE\n"
    "                     write an iTunes-style library file (XML) of the songs copied or\n"
    "                     already there: their copies, tags, ratings, play and skip\n"
    "                     counts and dates, and the iPod's playlists (replaces FILE)\n"
    "  --artist NAME      songs by this artist; letter case does not matter\n"
    "  --album NAME       songs of this album\n"
    "  --filetype NAME    songs of this file type (\"MPEG audio file\", ...)\n"
    "  --search TEXT      songs whose title, album, artist, composer or comment holds\n"
    "                     every word of TEXT (letter case matters)\n"
    "  --drive e:         the iPod on this drive (see korvello-cli drives)\n"
    "  --folder PATH      a folder holding an iPod's contents, mapped as drive e:\n"
    "  --with-unlisted    also the song files the iPod's database does not name (without\n"
    "                     it, the setting stored by the program; default off); an iPod\n"
    "                     without a readable database has its songs read from its files\n"
    "A name option given several times accepts any of its names; different options must\n"
    "all hold, so --artist A --album B copies A's songs on album B.\n"
    "Prints one line per song as the song ends: the title, a tab, and the file written or\n"
    "why it was not; when standard output cannot be written, the remaining lines go to\n"
    "standard error. Control characters in titles are shown as \\xHH.\n"
    "The counts of the job follow on standard error at the end, and how many temporary\n"
    "files that earlier copies left behind (killed, a pulled cable) were removed.\n"
    "Exit status: 0 every song copied or already there, 1 some song not copied, a\n"
    "playlist or library file not written, or no iPod found, 2 wrong usage.\n";

// What the user asked for, beyond the options every subcommand shares.
struct CopyRequest {
    std::optional<std::string> to;
    std::optional<bool> overwrite;
    std::vector<std::string> artists;
    std::vector<std::string> albums;
    std::vector<std::string> fileTypes;
    std::optional<std::string> search;
    std::optional<TCopyNaming> naming;
    bool saveNaming = false;
    std::optional<bool> skipCopied;
    std::optional<bool> writeTags;
    std::optional<std::string> playlist;
    std::optional<std::string> exportPlaylists;
    std::optional<std::string> libraryFile;
};

// An on/off pair such as --overwrite and --no-overwrite: `name` is one of them.
void TakeSwitch(std::optional<bool>& flag, const std::string& name, bool hasValue, const char* on,
                const char* off) {
    if (hasValue)
        throw UsageError(name + " takes no value");
    const bool value = name == on;
    if (flag && *flag != value)
        throw UsageError(std::string(on) + " and " + off + " cannot be used together");
    flag = value;
}

// One of the options that take a value: --to, --name, --playlist, --artist, --album,
// --filetype or --search.
void TakeValue(CopyRequest& request, const std::string& name, const std::string& value) {
    if (name == "--to") {
        if (request.to)
            throw UsageError("--to given twice");
        if (value.empty())
            throw UsageError("--to needs a folder");
        request.to = value;
    } else if (name == "--name") {
        if (request.naming)
            throw UsageError("--name given twice");
        std::string why;
        request.naming = ParseCopyNaming(value, why);
        if (!request.naming)
            throw UsageError("--name '" + value + "' cannot be used: " + why);
    } else if (name == "--playlist") {
        if (request.playlist)
            throw UsageError("--playlist given twice");
        if (value.empty())
            throw UsageError("--playlist needs a file");
        request.playlist = value;
    } else if (name == "--export-playlists") {
        if (request.exportPlaylists)
            throw UsageError("--export-playlists given twice");
        if (value.empty())
            throw UsageError("--export-playlists needs a folder");
        request.exportPlaylists = value;
    } else if (name == "--library-file") {
        if (request.libraryFile)
            throw UsageError("--library-file given twice");
        if (value.empty())
            throw UsageError("--library-file needs a file");
        request.libraryFile = value;
    } else if (name == "--artist") {
        request.artists.push_back(value);
    } else if (name == "--album") {
        request.albums.push_back(value);
    } else if (name == "--filetype") {
        request.fileTypes.push_back(value);
    } else {
        if (request.search)
            throw UsageError("--search given twice");
        if (value.find_first_not_of(' ') == std::string::npos)
            throw UsageError("--search needs at least one word");
        request.search = value;
    }
}

bool TakesValue(const std::string& name) {
    return name == "--to" || name == "--artist" || name == "--album" || name == "--filetype" ||
           name == "--search" || name == "--name" || name == "--playlist" ||
           name == "--export-playlists" || name == "--library-file";
}

// Takes this subcommand's own options out of `args`; whatever is left goes through the
// shared parser, which owns --drive, --folder, --help and the unknown-option errors.
std::vector<std::string> TakeCopyOptions(const std::vector<std::string>& args,
                                         CopyRequest& request) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto equals = arg.find('=');
        const bool hasValue = equals != std::string::npos;
        const std::string name = arg.rfind("--", 0) == 0 ? arg.substr(0, equals) : std::string();
        if ((name == "--drive" || name == "--folder") && !hasValue) {
            // The value of a shared option is passed on with it, so a folder named like
            // one of ours is not taken for an option.
            rest.push_back(arg);
            if (i + 1 < args.size())
                rest.push_back(args[++i]);
        } else if (name == "--overwrite" || name == "--no-overwrite") {
            TakeSwitch(request.overwrite, name, hasValue, "--overwrite", "--no-overwrite");
        } else if (name == "--save-name") {
            if (hasValue)
                throw UsageError("--save-name takes no value");
            request.saveNaming = true;
        } else if (name == "--skip-copied" || name == "--no-skip-copied") {
            TakeSwitch(request.skipCopied, name, hasValue, "--skip-copied", "--no-skip-copied");
        } else if (name == "--write-tags" || name == "--no-write-tags") {
            TakeSwitch(request.writeTags, name, hasValue, "--write-tags", "--no-write-tags");
        } else if (!TakesValue(name)) {
            rest.push_back(arg);
        } else if (hasValue) {
            TakeValue(request, name, arg.substr(equals + 1));
        } else if (i + 1 < args.size()) {
            TakeValue(request, name, args[++i]);
        } else {
            throw UsageError(name + " needs a value");
        }
    }
    return rest;
}

// The destination folder in program form, as the window's save dialog hands it over (see
// DestinationFolder).
std::string ProgramFolder(IPlatform& platform, const std::string& given) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(given, ec);
    std::string onDisk = absolute.lexically_normal().string();
    while (onDisk.size() > 1 && onDisk.back() == '/')
        onDisk.pop_back();
    std::string folder = DestinationFolder(platform, onDisk);
    if (folder.empty())
        throw UsageError("cannot copy into " + given +
                         ": its name holds a backslash or no drive the program sees holds it");
    return folder;
}

// The songs the filters keep, one flag per song in database order: every --artist,
// --album and --type list given keeps the songs its names name (as the window's lists
// do), and --search the songs it finds.
std::vector<char> SelectedSongs(const TiPod& ipod, const CopyRequest& request) {
    std::vector<char> kept(static_cast<std::size_t>(ipod.SongCount()), 1);
    const std::pair<TNameField, const std::vector<std::string>*> filters[] = {
        {TNameField::Artist, &request.artists},
        {TNameField::Album, &request.albums},
        {TNameField::FileType, &request.fileTypes}};
    for (const auto& [field, names] : filters) {
        if (names->empty())
            continue;
        const std::vector<char> named = ipod.SongsNamed(field, *names);
        for (std::size_t i = 0; i < kept.size(); ++i)
            kept[i] = static_cast<char>(kept[i] && named[i]);
    }
    if (request.search) {
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (kept[i] &&
                !MatchesSearch(ipod.SongAt(static_cast<std::int32_t>(i)), *request.search))
                kept[i] = 0;
        }
    }
    return kept;
}

// The worker's messages, handled at once on the worker's own thread: there is no window
// thread to hand them to, and the main thread only waits for the end of the job.
class TerminalSink final : public IWindowMessageSink {
public:
    TerminalSink(std::ostream& err, bool showProgress) : err_(err), showProgress_(showProgress) {}

    void SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t /*lParam*/) override {
        switch (msg) {
        case CM_PROGRESSTEXT:
            status_ = reinterpret_cast<const char*>(wParam);
            // "(i/N) Copying ...": the i - 1 songs before this one have ended.
            SongsEnded(SongsBefore(status_));
            shownPercent_ = -1;
            ShowProgress();
            break;
        case CM_PROGRESSMAX:
            break;
        case CM_PROGRESS:
            ++progressMessages_;
            position_ = static_cast<std::int32_t>(wParam);
            ShowProgress();
            break;
        case CM_PROGRESSFINISH: {
            if (showProgress_ && lineShown_)
                err_ << "\r\x1b[K" << std::flush;
            lineShown_ = false;
            SongsEnded(SIZE_MAX);
            std::lock_guard lock(mutex_);
            finished_ = true;
            stopped_ = wParam != 1;
            finishedChanged_.notify_all();
            break;
        }
        default:
            break;
        }
    }

    // Waits for the end of the job; `poll` runs between short waits (a stop on Ctrl-C).
    template <typename Poll> void WaitForFinish(const TCopyThread& worker, Poll&& poll) {
        std::unique_lock lock(mutex_);
        // A worker that ended without its last message (it cannot, barring a failure
        // inside the failure path) must not leave the run waiting for ever.
        while (!finished_ && !worker.Finished()) {
            finishedChanged_.wait_for(lock, std::chrono::milliseconds(50));
            lock.unlock();
            poll();
            lock.lock();
        }
    }

    // Called on the worker's thread, while the worker waits, with the number of songs from
    // the start of the job that have ended; their outcomes are final.
    void OnSongsEnded(std::function<void(std::size_t)> ended, bool clearProgressLine) {
        songsEnded_ = std::move(ended);
        clearForLines_ = clearProgressLine;
    }

    long ProgressMessages() const { return progressMessages_; }
    // The job ended early: stopped, or cut short by a file that could not be read or
    // written (the worker then reports the rest as terminated).
    bool Stopped() const {
        std::lock_guard lock(mutex_);
        return stopped_ || !finished_;
    }

private:
    static std::size_t SongsBefore(const std::string& status) {
        std::size_t index = 0;
        if (status.size() < 2 || status[0] != '(' ||
            std::from_chars(status.data() + 1, status.data() + status.size(), index).ec !=
                std::errc())
            return 0;
        return index > 0 ? index - 1 : 0;
    }

    void SongsEnded(std::size_t count) {
        if (!songsEnded_)
            return;
        // Outcome lines on the terminal that shows the progress line replace it; the next
        // progress message draws it again.
        if (clearForLines_ && showProgress_ && lineShown_) {
            err_ << "\r\x1b[K" << std::flush;
            lineShown_ = false;
            shownPercent_ = -1;
        }
        songsEnded_(count);
    }

    void ShowProgress() {
        if (!showProgress_)
            return;
        const int percent = std::min(100, static_cast<int>(position_ * 100L / kProgressMax));
        if (percent == shownPercent_)
            return;
        shownPercent_ = percent;
        lineShown_ = true;
        err_ << '\r' << status_ << "  " << percent << "%\x1b[K" << std::flush;
    }

    std::ostream& err_;
    const bool showProgress_;
    std::string status_;
    std::int32_t position_ = 0;
    int shownPercent_ = -1;
    bool lineShown_ = false;
    std::function<void(std::size_t)> songsEnded_;
    bool clearForLines_ = false;
    long progressMessages_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
    bool stopped_ = false;
};

// Ctrl-C (or a closed terminal) stops the job the way the window's Stop does: the half-
// written song is removed and the rest is reported as terminated. A second signal goes to
// whatever handled it before, which ends the run at once.
volatile std::sig_atomic_t gStopSignal = 0;
using SignalHandler = void (*)(int);
SignalHandler gPrevious[3] = {SIG_DFL, SIG_DFL, SIG_DFL};
constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int signal) {
    gStopSignal = 1;
    for (int i = 0; i < 3; ++i) {
        if (kStopSignals[i] == signal)
            std::signal(signal, gPrevious[i]);
    }
}

class StopOnSignal {
public:
    StopOnSignal() {
        gStopSignal = 0;
        for (int i = 0; i < 3; ++i)
            gPrevious[i] = std::signal(kStopSignals[i], OnStopSignal);
    }
    ~StopOnSignal() {
        for (int i = 0; i < 3; ++i)
            std::signal(kStopSignals[i], gPrevious[i]);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;
};

// The overwrite setting the user stored through the program. A --folder run works on a
// platform of its own, so the user's own one is asked here.
bool StoredOverwrite(IPlatform& user) {
    return ReadRegistryFlag(user, kValueOverwrite, true);
}

// The worker writes its failures to the error log; the command line uses the same log as
// the window, in the user's own program folder, and forgets it again at the end.
class ErrorLogScope {
public:
    explicit ErrorLogScope(IPlatform& user) {
        TLogClass::SetPlatform(&user);
        TLogClass::SetAppFolder(user.AppFolder());
    }
    ~ErrorLogScope() { TLogClass::SetPlatform(nullptr); }
    ErrorLogScope(const ErrorLogScope&) = delete;
    ErrorLogScope& operator=(const ErrorLogScope&) = delete;
};

} // namespace

namespace {

// The songs of one run and what became of them, in the worker's order.
struct CopyJobLists : TCopyJob {
    std::vector<std::string> found;      // the earlier copy of a song already copied
    std::vector<std::int32_t> positions; // each entry's song, a position in the catalogue
};

// The Linux path of a file option (--playlist, --library-file), checked before the iPod
// is looked for.
std::string OutputFilePath(const std::optional<std::string>& given, const char* option) {
    if (!given)
        return {};
    std::error_code ec;
    const fs::path file = fs::absolute(*given, ec).lexically_normal();
    if (ec || !file.has_filename() || fs::is_directory(file, ec) ||
        !fs::is_directory(file.parent_path(), ec))
        throw UsageError(std::string(option) + " " + *given +
                         " is not a file name in an existing folder");
    return file.string();
}

// The selected songs with the names their copies are to take in `folder`.
CopyJobLists SelectJob(const TiPod& ipod, const CopyRequest& request, const std::string& folder,
                       const TCopyNaming& naming) {
    const std::vector<char> selected = SelectedSongs(ipod, request);
    std::vector<TSong> songs;
    std::vector<std::int32_t> positions;
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i) {
        if (selected[static_cast<std::size_t>(i)]) {
            songs.push_back(ipod.SongAt(i));
            positions.push_back(i);
        }
    }
    if (songs.empty())
        throw RunError(ipod.SongCount() == 0 ? "the iPod holds no songs"
                                             : "no song matches the filters");
    CopyJobLists job{BuildCopyJob(std::move(songs), folder, naming), {}, std::move(positions)};
    job.found.resize(job.sources.size());
    return job;
}

// Runs the worker over the job until it ends; Ctrl+C and SIGTERM stop it like Stop.
// Returns how many leftover temporary files of earlier jobs it removed.
int CopySongs(IPlatform& platform, TerminalSink& sink, CopyJobLists& job, const std::string& folder,
              const std::atomic<bool>& overwrite, const std::atomic<bool>& skipCopied,
              const std::atomic<bool>& writeTags) {
    const StopOnSignal stopOnSignal;
    TCopyThread worker(platform, sink, overwrite);
    worker.SourceList = &job.sources;
    worker.TargetList = &job.targets;
    worker.ChosenFolder = folder;
    worker.SkipCopiedFiles = &skipCopied;
    worker.FoundList = &job.found;
    worker.SongList = &job.songs;
    worker.WriteTags = &writeTags;
    worker.Start();
    sink.WaitForFinish(worker, [&] {
        if (gStopSignal != 0)
            worker.StopRequested = true;
    });
    return worker.LeftoversRemoved();
}

// One line per song, written as the songs end: its title and where it went, or why it was
// not copied. None is lost to a standard output that is closed (copy | head) or full: from
// the first line it refuses, the rest follow on standard error.
class OutcomeLines {
public:
    OutcomeLines(IPlatform& platform, const CopyJobLists& job, std::ostream& out, std::ostream& err)
        : platform_(platform), job_(job), out_(out), err_(err) {}

    // Writes the lines of the songs before `end` that are not written yet.
    void WriteUpTo(std::size_t end) {
        for (end = std::min(end, job_.titles.size()); next_ < end; ++next_)
            Write(next_);
    }
    // Every song written so far was copied or already there.
    bool AllCopied() const { return allCopied_; }

private:
    void Write(std::size_t i) {
        std::string outcome = job_.targets[i];
        if (outcome == kAlreadyCopied) {
            outcome.erase(0, 1);
        } else if (IsResultText(outcome)) {
            allCopied_ = false;
            outcome.erase(0, 1);
        } else {
            outcome = platform_.DisplayPath(outcome);
        }
        WriteRow(*report_, {job_.titles[i], outcome});
        report_->flush();
        if (report_ == &out_ && !out_) {
            const int error = errno;
            report_ = &err_;
            err_ << "korvello-cli copy: cannot write to standard output ("
                 << (error == EPIPE || ReaderHasGone(STDOUT_FILENO)
                         ? "closed by its reader"
                         : ErrorCodeText({error, std::generic_category()}))
                 << "); the outcome of the other songs follows here\n";
            WriteRow(err_, {job_.titles[i], outcome});
        }
    }

    IPlatform& platform_;
    const CopyJobLists& job_;
    std::ostream& out_;
    std::ostream& err_;
    std::ostream* report_ = &out_;
    std::size_t next_ = 0;
    bool allCopied_ = true;
};

// Writes the job's playlist to `playlistPath` (Linux form); false, said on `err`, when it
// cannot be written.
bool WriteJobPlaylist(IPlatform& platform, const std::string& playlistPath, const CopyJobLists& job,
                      std::ostream& err) {
    const std::string text = PlaylistText(
        playlistPath, PlaylistOfJob(platform, job.titles, job.artists, job.targets, job.found));
    std::string why;
    const std::string programPath = platform.ToProgramPath(playlistPath);
    if (!programPath.empty() && WritePlaylistFile(platform, programPath, text, job.targets, why))
        return true;
    err << "korvello-cli copy: cannot write the playlist " << playlistPath << ": "
        << (why.empty() ? "no drive holds it" : why) << "\n";
    return false;
}

// Writes the iPod's playlists into `folder` (program form) with the songs of the job;
// false, said on `err`, when one could not be written.
bool ExportPlaylists(IPlatform& platform, const std::string& folder, const TiPod& ipod,
                     const TJobCopies& copies, std::ostream& err) {
    const TPlaylistExport result =
        ExportIpodPlaylists(platform, folder, TCatalogueView::Of(ipod), copies);
    for (const std::string& failure : result.failures)
        err << "korvello-cli copy: cannot write the playlist " << failure << "\n";
    err << "korvello-cli copy: " << PlaylistExportText(result) << "\n";
    return result.failures.empty();
}

// Writes the library file to `libraryPath` (Linux form); false, said on `err`, when it
// cannot be written.
bool ExportLibrary(IPlatform& platform, const std::string& libraryPath, const TiPod& ipod,
                   const TJobCopies& copies, std::ostream& err) {
    TLibraryExport counts;
    std::string why;
    const std::string programPath = platform.ToProgramPath(libraryPath);
    if (!programPath.empty() &&
        WriteLibraryFile(platform, programPath, TCatalogueView::Of(ipod), copies,
                         static_cast<std::int64_t>(std::time(nullptr)), counts, why)) {
        err << "korvello-cli copy: library file written: " << counts.tracks
            << (counts.tracks == 1 ? " song, " : " songs, ") << counts.playlists
            << (counts.playlists == 1 ? " playlist\n" : " playlists\n");
        return true;
    }
    err << "korvello-cli copy: cannot write the library file " << libraryPath << ": "
        << (why.empty() ? "no drive holds it" : why) << "\n";
    return false;
}

} // namespace

int RunCopy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CopyRequest request;
    const std::vector<std::string> rest = TakeCopyOptions(args, request);
    const Options options = ParseOptions(rest, kDriveOption | kFolderOption | kUnlistedOption);
    if (options.help) {
        out << kHelp;
        return kExitOk;
    }
    if (!options.arguments.empty())
        throw UsageError("copy takes no argument '" + options.arguments.front() + "'");
    if (!request.to)
        throw UsageError("--to FOLDER is missing");
    if (request.saveNaming && !request.naming)
        throw UsageError("--save-name needs --name TEMPLATE");
    // Checked before the iPod is looked for: a mistyped folder is a usage error even on a
    // machine without an iPod.
    if (std::error_code ec; !fs::is_directory(*request.to, ec))
        throw UsageError("--to " + *request.to + " is not an existing folder");
    const std::string playlistPath = OutputFilePath(request.playlist, "--playlist");
    const std::string libraryPath = OutputFilePath(request.libraryFile, "--library-file");
    if (std::error_code ec;
        request.exportPlaylists && !fs::is_directory(*request.exportPlaylists, ec))
        throw UsageError("--export-playlists " + *request.exportPlaylists +
                         " is not an existing folder");

    Session session(options);
    IPlatform& platform = session.Platform();
    const std::string folder = ProgramFolder(platform, *request.to);
    const std::string playlistFolder =
        request.exportPlaylists ? ProgramFolder(platform, *request.exportPlaylists) : std::string();
    // The user's own settings and error log, never the --folder iPod's.
    PosixPlatform user(PosixRoots::FromEnvironment());
    const ErrorLogScope errorLog(user);
    const std::atomic<bool> overwrite{request.overwrite ? *request.overwrite
                                                        : StoredOverwrite(user)};
    const TCopyNaming naming = request.naming ? *request.naming : ReadCopyNaming(user);
    if (request.saveNaming)
        WriteCopyNaming(user, naming);
    const std::atomic<bool> skipCopied{
        request.skipCopied ? *request.skipCopied : ReadRegistryFlag(user, kValueSkipCopied, false)};
    const std::atomic<bool> writeTags{
        request.writeTags ? *request.writeTags : ReadRegistryFlag(user, kValueWriteTags, false)};

    const std::string drive = session.ChooseIpod();
    TiPod ipod(platform);
    if (!LoadIpodSongs(session, drive, ipod, options.withUnlisted, "copy", err))
        return kExitNotFound; // stopped while the song files were read: nothing is copied
    const bool wholeDatabase = ReportDamagedDatabase(ipod, "copy", err);
    CopyJobLists job = SelectJob(ipod, request, folder, naming);

    const bool onTerminal = &err == &std::cerr && isatty(STDERR_FILENO) == 1;
    TerminalSink sink(err, onTerminal);
    OutcomeLines lines(platform, job, out, err);
    sink.OnSongsEnded([&lines](std::size_t ended) { lines.WriteUpTo(ended); },
                      onTerminal && &out == &std::cout && isatty(STDOUT_FILENO) == 1);
    const int leftovers = CopySongs(platform, sink, job, folder, overwrite, skipCopied, writeTags);

    lines.WriteUpTo(job.titles.size());
    const bool allCopied = lines.AllCopied();
    if (const char* count = std::getenv("KORVELLO_CLI_COUNT_PROGRESS"); count && *count == '1')
        err << "korvello-cli copy: " << sink.ProgressMessages() << " CM_PROGRESS messages\n";
    const bool playlistWritten =
        !request.playlist || WriteJobPlaylist(platform, playlistPath, job, err);
    bool exportsWritten = true;
    if (request.exportPlaylists || request.libraryFile) {
        const TJobCopies copies =
            CopiesOfJob(platform, ipod.SongCount(), job.positions, job.targets, job.found);
        if (request.exportPlaylists)
            exportsWritten = ExportPlaylists(platform, playlistFolder, ipod, copies, err);
        if (request.libraryFile)
            exportsWritten =
                ExportLibrary(platform, libraryPath, ipod, copies, err) && exportsWritten;
    }
    err << "korvello-cli copy: " << JobSummaryText(SummariseJob(job.targets)) << "\n";
    if (leftovers > 0)
        err << "korvello-cli copy: " << LeftoversText(leftovers) << "\n";
    if (gStopSignal != 0)
        err << "korvello-cli copy: stopped\n";
    else if (sink.Stopped())
        err << "korvello-cli copy: the copy ended early: a song could not be read or written ("
            << "see " << user.DisplayPath(TLogClass::AppFolder() + "\\apces.cnt") << ")\n";
    return allCopied && playlistWritten && exportsWritten && wholeDatabase ? kExitOk
                                                                           : kExitNotFound;
}

} // namespace korvello::cli
