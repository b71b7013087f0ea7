// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/CopyThread.h"

#include "copyout/AlreadyCopied.h"
#include "copyout/JobSummary.h"
#include "copyout/Naming.h"
#include "core/ErrorLog.h"
#include "tags/Tagger.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <utility>

namespace korvello {

namespace {

// The reason a song gets when its name would put it outside the chosen folder.
constexpr const char* kLeavesChosenFolder = "the file name leads out of the chosen folder";
// A file older than the job by less than this may have been written by another job
// running at the same time: FAT keeps times to 2 seconds, and clocks differ a little.
constexpr std::int64_t kJobStartMarginNs = 3'000'000'000;

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsLeftoverName(const std::string& name) {
    return name.starts_with('.') && (name.ends_with(kPartSuffix) || name.ends_with(kClaimSuffix));
}
// The reason a song gets when its destination's path is longer than the system takes.
constexpr const char* kPathTooLong = "the path of the copy is too long";
// Longest path the system takes, in bytes with the closing NUL (Linux's PATH_MAX).
constexpr std::size_t kMaxPathBytes = 4096;

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One name of a folder, as the platform will take it: no separator, no drive, not "."
// or "..", no NUL.
bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/:\0", 3)) == std::string::npos;
}

// The hidden name a song is written under beside its own name: ".X.mp3.korvello-part",
// or ".X.mp3.<n>.korvello-part" when another job writes that one; cut to the name limit.
std::string TemporaryName(const std::string& dest, int n) {
    const std::string name = FileNamePart(dest);
    const std::string folder = dest.substr(0, dest.size() - name.size());
    const std::string suffix = (n == 0 ? std::string() : "." + std::to_string(n)) + kPartSuffix;
    return folder + "." + CutUtf8(name, kMaxFileNameBytes - 1 - suffix.size()) + suffix;
}

// The folders between `chosen` and the file name of `dest`, outermost first: none for a
// song in the chosen folder itself. Nothing when `dest` does not lie below `chosen` or a
// name between is not a plain name (empty, ".", "..", or holding "/" or ":").
std::optional<std::vector<std::string>> FoldersBelow(const std::string& chosen,
                                                     const std::string& dest) {
    if (!dest.starts_with(chosen))
        return std::nullopt;
    std::string_view rest = std::string_view(dest).substr(chosen.size());
    if (!chosen.ends_with('\\') && !rest.starts_with('\\'))
        return std::nullopt;
    while (rest.starts_with('\\'))
        rest.remove_prefix(1);
    std::vector<std::string> folders;
    for (std::size_t slash = rest.find('\\'); slash != std::string_view::npos;
         slash = rest.find('\\')) {
        std::string name(rest.substr(0, slash));
        if (!IsPlainFileName(name))
            return std::nullopt;
        folders.push_back(std::move(name));
        rest.remove_prefix(slash + 1);
    }
    return folders;
}

} // namespace

std::int32_t ProgressPosition(std::int64_t copied, std::int64_t total) {
    if (total <= 0)
        return kProgressMax;
    // copied = q x total + r, so (copied x 450) div total = q x 450 + (r x 450) div total;
    // split like this the product cannot overflow for any song collection there is.
    const std::int64_t position =
        copied / total * kProgressMax + copied % total * kProgressMax / total;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(position, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

TCopyThread::TCopyThread(IPlatform& platform, IWindowMessageSink& window,
                         const std::atomic<bool>& overwriteExisting)
    : platform_(platform), window_(window), overwriteExisting_(overwriteExisting) {}

TCopyThread::~TCopyThread() {
    if (!thread_.joinable())
        return;
    if (!finished_)
        Abandon();
    thread_.join();
}

void TCopyThread::Start() {
    if (thread_.joinable() || abandoned_)
        return;
    window_.OpenForJob();
    thread_ = std::thread([this] { Execute(); });
}

void TCopyThread::Suspend() {
    {
        std::lock_guard lock(mutex_);
        paused_ = true;
    }
    // The worker may already be inside a send; the sink keeps that message back.
    window_.HoldMessages(true);
}

void TCopyThread::Resume() {
    window_.HoldMessages(false);
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
    }
    gateChanged_.notify_all();
}

void TCopyThread::Abandon() {
    bool wasPaused = false;
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        wasPaused = paused_.exchange(false);
    }
    gateChanged_.notify_all();
    // Once CM_PROGRESSFINISH was handled the worker sends nothing more, and cancelling
    // then would only shut the sink to nobody's benefit.
    if (thread_.joinable() && !finishHandled_)
        window_.CancelSends();
    if (wasPaused)
        window_.HoldMessages(false);
}

std::string TCopyThread::CurrentTarget() const {
    std::lock_guard lock(mutex_);
    return currentTarget_;
}

bool TCopyThread::Finished() const {
    return finished_;
}

bool TCopyThread::WaitingAtPause() const {
    return waitingAtPause_;
}

void TCopyThread::SetCurrentTarget(const std::string& path) {
    std::lock_guard lock(mutex_);
    currentTarget_ = path;
}

void TCopyThread::CheckGate() {
    if (paused_ || abandoned_) {
        std::unique_lock lock(mutex_);
        waitingAtPause_ = paused_ && !abandoned_;
        gateChanged_.wait(lock, [this] { return !paused_ || abandoned_; });
        waitingAtPause_ = false;
    }
    if (abandoned_)
        throw Abandoned{};
}

void TCopyThread::Send(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    CheckGate();
    window_.SendMessage(msg, wParam, lParam);
    // An abandoned job's last send returns unhandled; nothing may follow it.
    if (abandoned_)
        throw Abandoned{};
}

void TCopyThread::SendPosition() {
    const std::int32_t position = ProgressPosition(copied_, total_);
    if (position == lastPosition_)
        return;
    lastPosition_ = position;
    Send(CM_PROGRESS, position, 0);
}

void TCopyThread::Execute() {
    const bool ran = Guard("Execute:", [this] {
        try {
            RunJob();
        } catch (const Abandoned&) {
            // The program is quitting; the lists may be going away, so touch nothing but
            // the song's own temporary file, which is no use to anybody.
            RemovePartial();
        }
    });
    if (!ran && !abandoned_)
        EndAfterFailure();
    finished_ = true;
}

// A failure must not leave the window waiting in its copying state, nor the user with a
// half-written file that looks like a song: the failing entry and all later ones are
// reported as terminated, and the job ends like a stopped one.
void TCopyThread::EndAfterFailure() {
    RemovePartial();
    SetCurrentTarget({});
    Guard("Execute:", [this] {
        try {
            if (TargetList != nullptr) {
                for (std::size_t i = failIndex_; i < TargetList->size(); ++i)
                    (*TargetList)[i] = kCopyTerminated;
            }
            if (!finishSent_) {
                finishSent_ = true;
                Send(CM_PROGRESSFINISH, 2, 1);
                finishHandled_ = true;
            }
        } catch (const Abandoned&) {
        }
    });
}

void TCopyThread::RunJob() {
    if (SourceList == nullptr || TargetList == nullptr)
        throw EKorvelloError("the job has no source or target list");
    const std::vector<std::string>& sources = *SourceList;
    if (TargetList->size() != sources.size())
        throw EKorvelloError("the source and target lists differ in length");
    const std::size_t count = sources.size();
    failIndex_ = 0;
    placed_.clear();
    placedNames_.clear();
    placedFiles_.clear();
    cleanedFolders_.clear();
    listings_.clear();
    leftoversRemoved_ = 0;
    jobStartNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();

    // Sizing pass. A stop confirmed meanwhile counts: the remaining sizes do not matter
    // then, every entry will be marked as terminated.
    sizes_.assign(count, 0);
    total_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
        CheckGate();
        if (StopRequested)
            break;
        if (const auto size = platform_.FindFile(sources[i])) {
            sizes_[i] = *size;
            total_ += *size;
        }
    }

    copied_ = 0;
    lastPosition_ = 0;
    for (std::size_t i = 0; i < count; ++i) {
        failIndex_ = i;
        CheckGate();
        CopyEntry(i, count);
    }
    failIndex_ = count;

    SyncVolumes();
    finishSent_ = true;
    Send(CM_PROGRESSFINISH, StopRequested ? 2 : 1, 1);
    finishHandled_ = true;
}

// One song on its way from the iPod to its destination.
struct TCopyThread::EntryCopy {
    std::unique_ptr<IFile> in;         // the song on the iPod
    std::int64_t found = 0;            // its size as looked up, for the free-space test
    std::int64_t size = 0;             // its size once open: the copy must end with this many bytes
    std::string wanted;                // the name the job asked for
    std::string dest;                  // the name it is written to: `wanted` or a free numbered one
    std::optional<NameInfo> replacing; // the older file that overwriting replaces
    bool fits = true;                  // the volume has room for it, or cannot say
    std::unique_ptr<IFile> out;        // the temporary file it is written to
    std::int64_t bytes = 0;            // bytes of the song read and stored
};

void TCopyThread::CopyEntry(std::size_t index, std::size_t count) {
    entryCounted_ = 0;
    entryFolders_.clear();
    EntryCopy entry;
    if (!ChooseDestination(index, entry) || !StartEntry(index, count, entry))
        return;
    const BlocksEnd end = CopyBlocks(index, entry);
    if (end != BlocksEnd::Failed)
        FinishEntry(index, entry, end);
}

bool TCopyThread::ChooseDestination(std::size_t index, EntryCopy& entry) {
    if (!OpenSong(index, entry) || SkipAlreadyCopied(index) || !ChooseName(index, entry))
        return false;
    // The free-space test comes before anything is created, so a song that does not fit
    // never touches an existing file of the same name. A volume whose free space cannot be
    // asked is tried anyway; a real shortage then shows as a short write.
    const auto free = platform_.GetDiskFreeSpace(entry.dest);
    entry.fits = !free || static_cast<std::uint64_t>(entry.found) <= *free;
    if (!entry.fits)
        total_ -= sizes_[index];
    return true;
}

bool TCopyThread::OpenSong(std::size_t index, EntryCopy& entry) {
    const std::string& source = (*SourceList)[index];
    std::string& target = (*TargetList)[index];
    if (StopRequested) {
        target = kCopyTerminated;
        return false;
    }
    const auto found = platform_.FindFile(source);
    if (!found) {
        target = kSongNotFound;
        return false;
    }
    entry.found = *found;
    // The song's name is one plain name inside the chosen folder; a name holding "/" or
    // made of dots would reach another folder.
    if (!IsPlainFileName(FileNamePart(target))) {
        FailEntry(index, "the name of " + target + " leads out of its folder", kLeavesChosenFolder);
        return false;
    }
    if (!ChosenFolder.empty() && !FoldersBelow(ChosenFolder, target)) {
        FailEntry(index, target + " does not lie in the chosen folder " + ChosenFolder,
                  kLeavesChosenFolder);
        return false;
    }
    std::string error;
    entry.in = platform_.OpenRead(source, error);
    if (!entry.in) {
        FailEntry(index, "cannot open " + source + ": " + error, error);
        return false;
    }
    entry.size = entry.in->Size();
    if (entry.size < 0) {
        FailEntry(index, "cannot read " + source, entry.in->Error());
        return false;
    }
    return true;
}

bool TCopyThread::SkipAlreadyCopied(std::size_t index) {
    if (SkipCopiedFiles == nullptr || !SkipCopiedFiles->load())
        return false;
    const auto earlier = FindEarlierCopy((*SourceList)[index], (*TargetList)[index]);
    if (!earlier)
        return false;
    if (FoundList != nullptr && index < FoundList->size())
        (*FoundList)[index] = *earlier;
    // Nothing of the song is copied, so it leaves the bar's total.
    total_ -= sizes_[index];
    (*TargetList)[index] = kAlreadyCopied;
    return true;
}

bool TCopyThread::ChooseName(std::size_t index, EntryCopy& entry) {
    // Overwriting is the user's setting and may change during the job; it applies to a
    // file that was there before the job, never to one this job wrote. Anything but a
    // file in the way (a folder, a link) is never replaced.
    std::string& target = (*TargetList)[index];
    entry.wanted = target;
    entry.dest = target;
    const NameInfo there = platform_.StatName(entry.dest);
    if (there.kind == NameKind::Missing)
        return true;
    const bool olderThanJob = there.modifiedNs < jobStartNs_ - kJobStartMarginNs;
    if (overwriteExisting_.load() && there.kind == NameKind::File && olderThanJob &&
        !PlacedByThisJob(there, entry.dest) && StoredUnderExactName(entry.dest)) {
        entry.replacing = there;
        return true;
    }
    entry.dest = FreeNameFor(index, entry.wanted);
    if (entry.dest.empty())
        return false;
    target = entry.dest;
    return true;
}

bool TCopyThread::StartEntry(std::size_t index, std::size_t count, EntryCopy& entry) {
    statusText_ = "(" + std::to_string(index + 1) + "/" + std::to_string(count) + ") Copying " +
                  FileNamePart(entry.dest);
    Send(CM_PROGRESSTEXT, reinterpret_cast<std::intptr_t>(statusText_.c_str()), 0);

    if (entry.fits) {
        if (!FitsPathLimit(index, entry.dest) || !MakeFoldersFor(index, entry.dest))
            return false;
        CleanFolder(entry.dest);
        if (!CreateTemporary(index, entry))
            return false;
    }
    // Sent for a song that does not fit as well, so every started entry shows the window
    // the same TEXT, MAX sequence.
    Send(CM_PROGRESSMAX, kProgressMax, 0);
    if (!entry.fits) {
        (*TargetList)[index] = kDiskSpaceNotEnough;
        return false;
    }
    return true;
}

bool TCopyThread::CreateTemporary(std::size_t index, EntryCopy& entry) {
    // Another job writing the same song has its own temporary file.
    for (int n = 0;; ++n) {
        const std::string temp = TemporaryName(entry.dest, n);
        bool taken = false;
        std::string error;
        entry.out = platform_.CreateNew(temp, error, taken);
        if (entry.out) {
            partialPath_ = temp;
            SetCurrentTarget(temp);
            return true;
        }
        if (!taken || n >= 1000) {
            FailEntry(index, "cannot create " + temp + ": " + error, error);
            return false;
        }
    }
}

TCopyThread::BlocksEnd TCopyThread::CopyBlocks(std::size_t index, EntryCopy& entry) {
    for (;;) {
        CheckGate();
        if (StopRequested)
            return BlocksEnd::Stopped;
        const std::int64_t nRead = entry.in->Read(buffer_.data(), kCopyBlockSize);
        if (nRead < 0) {
            FailEntry(index, "cannot read " + (*SourceList)[index], entry.in->Error());
            return BlocksEnd::Failed;
        }
        std::int64_t nWritten = 0;
        if (nRead > 0) {
            nWritten = entry.out->Write(buffer_.data(), nRead);
            if (nWritten < 0 && !IsOutOfSpace(*entry.out, entry.dest, nRead)) {
                FailWrite(index, "cannot write " + partialPath_, *entry.out);
                return BlocksEnd::Failed;
            }
        }
        entry.bytes += std::max<std::int64_t>(nWritten, 0);
        copied_ += kCopyBlockSize;
        entryCounted_ += kCopyBlockSize;
        SendPosition();
        if (nRead == 0)
            return BlocksEnd::Complete;
        if (nWritten != nRead) {
            if (entry.out->FileTooLarge()) {
                FailWrite(index, "cannot write " + partialPath_, *entry.out);
                return BlocksEnd::Failed;
            }
            return BlocksEnd::ShortWrite;
        }
    }
}

void TCopyThread::FinishEntry(std::size_t index, EntryCopy& entry, BlocksEnd end) {
    entry.in->Close();
    if (end == BlocksEnd::Complete) {
        // The close stores the last bytes and can report a delayed write error; then the
        // copy is not whole. A full disk there is a song that did not fit. A copy that is
        // to replace a file is on the disk before it does, so a pulled cable cannot cost
        // the old file and the new one.
        if ((!entry.replacing || entry.out->Sync()) && entry.out->Close()) {
            KeepFinishedCopy(index, entry);
            return;
        }
        if (!IsOutOfSpace(*entry.out, entry.dest, kCopyBlockSize)) {
            FailWrite(index, "cannot close " + partialPath_, *entry.out);
            return;
        }
        end = BlocksEnd::ShortWrite;
    }
    entry.out->Close();
    if (end == BlocksEnd::ShortWrite) {
        // The disk filled up during the song: what is on disk is not the song, so it goes,
        // and the rest of the song leaves the bar's total like a song that did not fit.
        RemovePartial();
        RemoveEntryFolders();
        SetCurrentTarget({});
        total_ -= std::max<std::int64_t>(0, sizes_[index] - entryCounted_);
        (*TargetList)[index] = kDiskSpaceNotEnough;
        return;
    }
    // Stopped: a partial song is no song, so it goes at once. CurrentTarget keeps naming
    // it; the window's own removal on CM_PROGRESSFINISH then finds nothing left to do.
    RemovePartial();
    RemoveEntryFolders();
    (*TargetList)[index] = kCopyTerminated;
}

void TCopyThread::KeepFinishedCopy(std::size_t index, EntryCopy& entry) {
    if (entry.bytes != entry.size) {
        // The song shrank or grew while it was read: what was copied is not the song.
        FailEntry(index,
                  (*SourceList)[index] + " changed while it was copied (" +
                      std::to_string(entry.size) + " bytes at the start, " +
                      std::to_string(entry.bytes) + " copied)",
                  "the song changed while it was copied");
        return;
    }
    if (!TagCopy(index, entry))
        return;
    if (PlaceFinishedCopy(index, entry.wanted, entry.dest, entry.replacing)) {
        partialPath_.clear();
        RecordPlaced(index, entry.dest);
        SetCurrentTarget({});
    }
}

bool TCopyThread::TagCopy(std::size_t index, const EntryCopy& entry) {
    if (WriteTags == nullptr || !WriteTags->load() || SongList == nullptr ||
        index >= SongList->size())
        return true;
    CheckGate();
    if (Tagger == nullptr && ownTagger_ == nullptr)
        ownTagger_ = MakeTagLibTagger(platform_);
    ITagger& tagger = Tagger != nullptr ? *Tagger : *ownTagger_;
    const std::string& source = (*SourceList)[index];
    const TTagOutcome outcome = tagger.WriteTags(partialPath_, (*SongList)[index]);
    if (outcome.result == TTagResult::Unchanged)
        return true;
    if (outcome.result == TTagResult::Written)
        return SyncRewritten(index, entry);
    TLogClass::WriteLog("Execute:tags not written into the copy of " + source + ": " +
                        outcome.detail);
    if (outcome.result == TTagResult::NotTagged)
        return true;
    // The save went wrong part way, so the file may no longer be the song: the same
    // temporary file is written again as the song is on the iPod.
    std::string error;
    if (!RewriteUntagged(source, entry.size, error)) {
        FailEntry(index, "cannot copy " + source + " again after its tags failed: " + error, error);
        return false;
    }
    return SyncRewritten(index, entry);
}

bool TCopyThread::SyncRewritten(std::size_t index, const EntryCopy& entry) {
    // A copy that replaces a file was stored before its close; what the tagging wrote
    // since has to be on the disk as well before the old file goes.
    if (!entry.replacing)
        return true;
    std::string error;
    const std::unique_ptr<IFile> file = platform_.OpenRead(partialPath_, error);
    if (file && file->Sync())
        return true;
    if (file)
        error = file->ErrorText();
    FailEntry(index, "cannot store " + partialPath_ + ": " + error, error);
    return false;
}

bool TCopyThread::RewriteUntagged(const std::string& source, std::int64_t size,
                                  std::string& error) {
    const std::unique_ptr<IFile> in = platform_.OpenRead(source, error);
    if (!in)
        return false;
    const std::unique_ptr<IFile> out = platform_.CreateWrite(partialPath_, error);
    if (!out)
        return false;
    std::int64_t bytes = 0;
    for (;;) {
        CheckGate();
        const std::int64_t n = in->Read(buffer_.data(), kCopyBlockSize);
        if (n < 0) {
            error = in->ErrorText();
            return false;
        }
        if (n == 0)
            break;
        if (out->Write(buffer_.data(), n) != n) {
            error = out->ErrorText();
            return false;
        }
        bytes += n;
    }
    if (!out->Close()) {
        error = out->ErrorText();
        return false;
    }
    if (bytes != size) {
        error = "the song changed while it was copied";
        return false;
    }
    return true;
}

bool TCopyThread::PlaceFinishedCopy(std::size_t index, const std::string& wanted, std::string& dest,
                                    const std::optional<NameInfo>& replacing) {
    std::string& target = (*TargetList)[index];
    std::optional<NameInfo> original = replacing;
    std::string error;
    for (int attempt = 0;; ++attempt) {
        // Only the very file that was there when the song started is replaced, checked in
        // one step with the rename; one put there since (another job's copy of a song of
        // this name) is kept.
        const RenameResult result =
            original ? platform_.ReplaceFile(partialPath_, dest, *original, error)
                     : platform_.RenameFile(partialPath_, dest, /*replace=*/false, error);
        if (result == RenameResult::Done) {
            target = dest;
            return true;
        }
        if (result != RenameResult::NameTaken || attempt >= 1000) {
            FailEntry(index, "cannot rename " + partialPath_ + " to " + dest + ": " + error, error);
            return false;
        }
        if (original) {
            // The file to replace is gone or another took its place: the name itself may
            // be free now, else the next free one.
            original.reset();
            continue;
        }
        // The name was taken while the song was written: the next free one.
        dest = FreeNameFor(index, wanted);
        if (dest.empty())
            return false;
    }
}

std::string TCopyThread::FreeNameFor(std::size_t index, const std::string& wanted) {
    std::string name = CreateNewOutputPathName(platform_, wanted);
    if (name.empty())
        FailEntry(index, "no free file name for " + wanted, "no free file name");
    return name;
}

void TCopyThread::RemovePartial() {
    if (!partialPath_.empty()) {
        platform_.DeleteFile(partialPath_);
        partialPath_.clear();
    }
}

void TCopyThread::FailEntry(std::size_t index, const std::string& what,
                            const std::error_code& error) {
    const std::string reason = ErrorCodeText(error);
    FailEntry(index, what + ": " + reason, reason);
}

void TCopyThread::FailEntry(std::size_t index, const std::string& logText,
                            const std::string& reason) {
    TLogClass::WriteLog("Execute:" + logText);
    RemovePartial();
    RemoveEntryFolders();
    SetCurrentTarget({});
    // What the song did not copy leaves the bar's total, so the bar still ends near 450.
    total_ -= std::max<std::int64_t>(0, sizes_[index] - entryCounted_);
    (*TargetList)[index] = CopyFailedText(reason);
}

// A write that stored nothing is a full disk when the file says so or when the volume
// has less room than the block needed; any other refusal is a failure of the song.
bool TCopyThread::IsOutOfSpace(const IFile& file, const std::string& dest, std::int64_t wanted) {
    if (file.OutOfSpace())
        return true;
    const auto free = platform_.GetDiskFreeSpace(dest);
    return free && *free < static_cast<std::uint64_t>(wanted);
}

std::string TCopyThread::NumberedName(const std::string& target, std::uint64_t n) {
    const std::size_t separator = target.find_last_of("\\:");
    const std::string folder =
        separator == std::string::npos ? std::string() : target.substr(0, separator + 1);
    const std::string name = target.substr(folder.size());
    const std::string extension = ExtractFileExt(name);
    // Cut at the first occurrence of the extension text (an empty extension is found at
    // once, so a name without one gives an empty base).
    const std::string base = name.substr(0, name.find(extension));
    return folder + FitFileName(base, "(" + std::to_string(n) + ")" + extension);
}

std::string TCopyThread::CreateNewOutputPathName(IPlatform& platform, const std::string& target) {
    std::string result;
    Guard("CreateNewOutputPathName:", [&] {
        for (std::uint64_t n = 1;; ++n) {
            const std::string candidate = NumberedName(target, n);
            // Exact names: "x(1).mp3" of the user's does not take "X(1).mp3".
            if (platform.StatName(candidate).kind == NameKind::Missing) {
                result = candidate;
                return;
            }
        }
    });
    return result;
}

std::optional<std::string> TCopyThread::FindEarlierCopy(const std::string& source,
                                                        const std::string& wanted) {
    // An earlier run gave a song of a clashing name the first free numbered name, so the
    // copy of the second "Intro" of a job is "Intro(1).mp3"; the search ends at the first
    // name that is free. A copy is looked for only where a new one would be written: in
    // real folders inside the chosen one, never behind a link.
    if (!FoldersInside(wanted))
        return std::nullopt;
    for (std::uint64_t n = 0;; ++n) {
        CheckGate();
        const std::string candidate = n == 0 ? wanted : NumberedName(wanted, n);
        const NameInfo there = platform_.StatName(candidate);
        if (there.kind == NameKind::Missing)
            return std::nullopt;
        if (there.kind == NameKind::File && SameFileAlreadyThere(platform_, source, candidate))
            return candidate;
    }
}

bool TCopyThread::FitsPathLimit(std::size_t index, const std::string& dest) {
    // Checked before any folder is made, so a song that cannot be written leaves no
    // empty folders behind. The temporary name is the longest one the song is written
    // under (".X.mp3.<n>.korvello-part", cut to the name limit).
    const std::string onDisk = platform_.ToLinuxPath(dest);
    const std::size_t name = FileNamePart(dest).size();
    const std::size_t folder = onDisk.size() >= name ? onDisk.size() - name : 0;
    const std::size_t longest =
        std::min(kMaxFileNameBytes,
                 name + std::string_view(".0000.").size() + std::string_view(kPartSuffix).size());
    if (onDisk.empty() || folder + longest < kMaxPathBytes)
        return true;
    FailEntry(index, "the path of " + dest + " is too long", kPathTooLong);
    return false;
}

bool TCopyThread::MakeFoldersFor(std::size_t index, const std::string& dest) {
    if (ChosenFolder.empty())
        return true;
    const auto folders = FoldersBelow(ChosenFolder, dest);
    if (!folders) {
        FailEntry(index, dest + " does not lie in the chosen folder " + ChosenFolder,
                  kLeavesChosenFolder);
        return false;
    }
    std::string path = ChosenFolder.ends_with('\\')
                           ? ChosenFolder.substr(0, ChosenFolder.size() - 1)
                           : ChosenFolder;
    for (const std::string& name : *folders) {
        path += "\\" + name;
        const NameInfo there = platform_.StatName(path);
        if (there.kind == NameKind::Folder)
            continue;
        if (there.kind == NameKind::Other) {
            // A link to a folder elsewhere (or something else that is not a folder).
            FailEntry(index, path + " is not a folder of the chosen folder " + ChosenFolder,
                      kLeavesChosenFolder);
            return false;
        }
        std::string error;
        if (!platform_.CreateDirectory(path, error)) {
            FailEntry(index, "cannot create the folder " + path + ": " + error, error);
            return false;
        }
        if (there.kind == NameKind::Missing)
            entryFolders_.push_back(path);
    }
    return true;
}

bool TCopyThread::FoldersInside(const std::string& dest) {
    if (ChosenFolder.empty())
        return true;
    const auto folders = FoldersBelow(ChosenFolder, dest);
    if (!folders)
        return false;
    std::string path = ChosenFolder.ends_with('\\')
                           ? ChosenFolder.substr(0, ChosenFolder.size() - 1)
                           : ChosenFolder;
    for (const std::string& name : *folders) {
        path += "\\" + name;
        if (platform_.StatName(path).kind != NameKind::Folder)
            return false;
    }
    return true;
}

void TCopyThread::RemoveEntryFolders() {
    // Innermost first; a folder that holds anything stays.
    for (auto it = entryFolders_.rbegin(); it != entryFolders_.rend(); ++it)
        platform_.RemoveEmptyFolder(*it);
    entryFolders_.clear();
}

void TCopyThread::CleanFolder(const std::string& dest) {
    const std::string folder = FolderPart(dest);
    if (!cleanedFolders_.insert(folder).second)
        return;
    const auto names = platform_.ListFolder(folder);
    if (!names)
        return;
    for (const std::string& name : *names) {
        if (IsLeftoverName(name) &&
            platform_.DeleteLeftover(folder + "\\" + name, kLeftoverAgeSeconds))
            ++leftoversRemoved_;
    }
}

bool TCopyThread::StoredUnderExactName(const std::string& path) {
    const std::string folder = FolderPart(path);
    const std::string name = FileNamePart(path);
    auto cached = listings_.find(folder);
    if (cached != listings_.end() && cached->second.contains(name))
        return true;
    // Read when first needed, and again when the name is missing (it may be new).
    const auto names = platform_.ListFolder(folder);
    if (!names)
        return false;
    auto& listing = listings_[folder];
    listing = std::unordered_set<std::string>(names->begin(), names->end());
    return listing.contains(name);
}

bool TCopyThread::PlacedByThisJob(const NameInfo& there, const std::string& path) const {
    if (placedNames_.contains(path))
        return true;
    // A set, not a walk of every placed file: a folder full of older copies would make a
    // big job quadratic.
    return there.kind == NameKind::File && placedFiles_.contains({there.device, there.inode});
}

void TCopyThread::RecordPlaced(std::size_t index, const std::string& dest) {
    placed_.push_back({index, platform_.StatName(dest), dest});
    placedNames_.insert(dest);
    if (const NameInfo& identity = placed_.back().identity; identity.kind == NameKind::File)
        placedFiles_.insert({identity.device, identity.inode});
    if (auto cached = listings_.find(FolderPart(dest)); cached != listings_.end())
        cached->second.insert(FileNamePart(dest));
}

void TCopyThread::SyncVolumes() {
    std::unordered_set<std::uint64_t> synced;
    for (const Placed& placed : placed_) {
        if (!synced.insert(placed.identity.device).second)
            continue;
        CheckGate();
        std::string error;
        if (platform_.SyncVolume(placed.path, error))
            continue;
        TLogClass::WriteLog("Execute:cannot store the copies on the disk of " + placed.path + ": " +
                            error);
        for (const Placed& lost : placed_) {
            if (lost.identity.device == placed.identity.device &&
                (*TargetList)[lost.index] == lost.path)
                (*TargetList)[lost.index] =
                    CopyFailedText("the disk did not store the copy (" + error + ")");
        }
    }
}

void TCopyThread::FailWrite(std::size_t index, const std::string& what, const IFile& file) {
    if (file.FileTooLarge()) {
        FailEntry(index, what + ": " + file.ErrorText(),
                  "the song is larger than the destination drive allows for one file (" +
                      file.ErrorText() + ")");
        return;
    }
    FailEntry(index, what, file.Error());
}

} // namespace korvello
