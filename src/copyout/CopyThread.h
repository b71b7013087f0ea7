#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The copy worker: copies one job's song files off the iPod on a thread of its own and
// tells the window how it goes through four synchronous messages.
//
// The window fills two parallel lists (source paths on the iPod, destination paths),
// creates a TCopyThread, points it at the lists and calls Start(). When the job ends every
// TargetList entry holds either the path that was written or one of the result texts
// below, and CM_PROGRESSFINISH has been handled by the window.
//
// Messages (each handed to IWindowMessageSink::SendMessage, which returns only once the
// window has handled it), for one copied entry always in this order:
//   CM_PROGRESSTEXT   wParam = const char* to "(i/N) Copying <name>", owned by the worker
//                     and valid while the message is handled; lParam 0
//   CM_PROGRESSMAX    wParam = 450; lParam 0
//   CM_PROGRESS       wParam = new bar position, sent only when it changed; lParam 0
// and once at the end of the job:
//   CM_PROGRESSFINISH wParam = 1 (ran to its end) or 2 (stopped, or ended by a failure);
//                     lParam 1
// Entries that are stopped before they start or whose song is missing send nothing. A song
// that does not fit on the destination sends TEXT and MAX but no position, and no file is
// created for it.
//
// Writing: each song is written under a hidden temporary name in the destination folder
// (claimed with O_EXCL and locked while the file lives) and renamed to its own name only
// once every byte is written and the file closed without error, so no partial file ever
// lies under a song's name and a file that a copy replaces stays whole until the new one
// is complete. Names are exact on every drive. An existing file is replaced only with
// overwriting on, only when it was there before the job (last changed some seconds
// before it began, so a song that another job running at the same time just wrote is
// kept), only when the drive holds it under exactly the song's name (a drive that ignores
// letter case finds "Home.mp3" for "HOME.mp3": both are kept), never when it is a file
// this job placed (known by its identity, so two songs of one job that clean to one name
// give X.mp3 and X(1).mp3 on every drive), and only while it is still the file that was
// there when the song started, checked in one step with the rename (ReplaceFile);
// otherwise the song takes the next free X(n) name, also when the name is taken while
// the song is written. The new file's data is synced before it replaces a file, and each
// volume written to is synced before CM_PROGRESSFINISH.
// Before the first song goes into a folder, the temporary files that earlier jobs left
// there (killed, or a pulled cable) are removed: those no job holds locked and that are
// a few seconds old (LeftoversRemoved()).
// A song that fails on its own (see kCopyFailedPrefix) is logged with "Execute:", its
// temporary file removed, and the job goes on.
//
// Pausing: the window calls Suspend() before it asks the user something and Resume()
// afterwards; that pair is all it needs. The worker checks its gate before every entry,
// every block and every message, and Suspend() also tells the sink to hold back a message
// that is already on its way (WorkerMessageBridge keeps it until Resume()).
//
// Lifetime: the window keeps the worker until the next job replaces it (it reads
// CurrentTarget() while handling CM_PROGRESSFINISH). Replace the old worker before
// calling Start() on the new one, and destroy it before the sink and the two lists it
// borrows. Destroying a worker whose job still runs abandons the job (see Abandon()).

#include "copyout/ResultTexts.h"
#include "platform/Platform.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvello {

struct TSong;
class ITagger;

inline constexpr unsigned WM_USER = 0x400;
inline constexpr unsigned CM_PROGRESS = WM_USER + 6;        // 0x406
inline constexpr unsigned CM_PROGRESSMAX = WM_USER + 8;     // 0x408
inline constexpr unsigned CM_PROGRESSFINISH = WM_USER + 16; // 0x410
inline constexpr unsigned CM_PROGRESSTEXT = WM_USER + 18;   // 0x412

// The bar's maximum: positions run from 0 to about this over a whole job.
inline constexpr std::int32_t kProgressMax = 450;
// Bytes per block; `copied` grows by this much on every pass of the block loop.
inline constexpr std::int64_t kCopyBlockSize = 2048;

// Suffix of the hidden temporary name a song is written under before it is renamed to its
// own: "X.mp3" is written as ".X.mp3.korvello-part".
inline constexpr const char* kPartSuffix = ".korvello-part";
// Suffix of the claim a file system without atomic renames puts beside a name while a
// copy is renamed to it (the platform's; a killed job can leave one behind too).
inline constexpr const char* kClaimSuffix = ".korvello-claim";
// A temporary file or claim that nobody holds and that is this many seconds old is left
// over from a job that did not end.
inline constexpr int kLeftoverAgeSeconds = 5;

// The window's side of the synchronous hand-over between the worker and the window.
class IWindowMessageSink {
public:
    virtual ~IWindowMessageSink() = default;
    // Delivers one message to the window's thread and returns once the window handled it.
    virtual void SendMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) = 0;

    // A new job starts (TCopyThread::Start): sends are delivered again after an earlier
    // job was cancelled.
    virtual void OpenForJob() {}
    // The worker was paused (true) or resumed (false). While held, a message that is
    // already waiting is not handled; it is handled after the release.
    virtual void HoldMessages(bool held) { (void)held; }
    // The job was abandoned: a waiting sender returns at once with its message unhandled,
    // and so does every later send until OpenForJob().
    virtual void CancelSends() {}
};

// Bar position after `copied` bytes of a job of `total` bytes: (copied x 450) div total in
// 64-bit arithmetic with truncation. A job whose total is zero (only empty songs left)
// or negative is complete: 450.
std::int32_t ProgressPosition(std::int64_t copied, std::int64_t total);

// One worker per job; owns its thread and joins it in the destructor (abandoning a job
// that is still running).
class TCopyThread {
public:
    // Created paused: no thread runs until Start(). `overwriteExisting` is the window's
    // flag, read afresh for every entry.
    TCopyThread(IPlatform& platform, IWindowMessageSink& window,
                const std::atomic<bool>& overwriteExisting);
    ~TCopyThread();
    TCopyThread(const TCopyThread&) = delete;
    TCopyThread& operator=(const TCopyThread&) = delete;

    std::vector<std::string>* SourceList = nullptr; // borrowed from the window; read only
    std::vector<std::string>* TargetList = nullptr; // borrowed; entries are rewritten
    // Set by the window when the user confirms a stop; honoured from the sizing pass on.
    std::atomic<bool> StopRequested{false};

    // Organised copies (all optional; left alone, the worker copies as it always did).
    // The folder the user chose: a destination may lie in folders below it, which the
    // worker creates as needed; every name between it and the file must be a plain name.
    std::string ChosenFolder;
    // The window's "skip songs already copied" flag, read afresh for every entry: a song
    // whose destination name, or a numbered name base(n) the worker would have chosen,
    // holds a file that SameFileAlreadyThere takes for the song is not copied again and
    // its entry reads kAlreadyCopied.
    const std::atomic<bool>* SkipCopiedFiles = nullptr;
    // Borrowed, same length as the lists (or shorter): entry i gets the path of the copy
    // found for a song that reads kAlreadyCopied.
    std::vector<std::string>* FoundList = nullptr;

    // Tags (optional). With the flag on (read afresh for every entry) and a record for the
    // entry (entry i of SongList, borrowed; a shorter list leaves the rest untagged), the
    // copy's tags are completed from the record on the temporary file, before it takes its
    // name; the song on the iPod is never written. A file that cannot be tagged is kept
    // as it was copied, with a note in the error log; a copy whose save went wrong is
    // copied afresh from the song, untagged.
    const std::atomic<bool>* WriteTags = nullptr;
    const std::vector<TSong>* SongList = nullptr;
    // The tagger; left empty, the worker uses a TagLib one of its own.
    ITagger* Tagger = nullptr;

    // Starts the thread body. A second call, or a call after Abandon(), does nothing.
    void Start();
    // Cooperative pause: the worker stops at its next check (before an entry, a block or a
    // message) and the sink holds back a message already on its way. Window thread only.
    void Suspend();
    void Resume();

    // The file being written, the song's temporary file: set when it is created, cleared
    // once it was renamed to the song's name or removed after a failure, and left empty
    // for a song that did not fit. After a stop it names the partly written temporary
    // file, which the worker has already removed; it never names a finished song or a
    // file that was there before. Empty once a job ran to its end.
    std::string CurrentTarget() const;
    // The thread body has returned.
    bool Finished() const;
    // Paused and standing at its check (it writes and sends nothing until Resume). A
    // worker paused inside a send waits in the sink instead, which holds the message.
    bool WaitingAtPause() const;
    // Temporary files of earlier jobs that this job removed from the folders it wrote to.
    int LeftoversRemoved() const { return leftoversRemoved_; }
    // The program is quitting: the worker stops at its next check, writes no further
    // bytes, sends no further message, touches the lists no more, and leaves the file it
    // was writing as far as it got. A message it is waiting on is cancelled. Safe to
    // destroy the worker afterwards.
    void Abandon();

    // A destination that does not exist yet, formed from `target` as folder + base + "(n)"
    // + extension for n = 1, 2, ... (the base is the file name before the first
    // occurrence of its extension text, so a name without extension gives "(1)"). The
    // base is cut so the name fits kMaxFileNameBytes. A failure is logged with
    // "CreateNewOutputPathName:" and gives an empty text.
    static std::string CreateNewOutputPathName(IPlatform& platform, const std::string& target);
    // The n-th numbered name of `target` that CreateNewOutputPathName tries: base(n).ext.
    static std::string NumberedName(const std::string& target, std::uint64_t n);

private:
    struct Abandoned {}; // unwinds the thread body after Abandon(); never escapes Execute

    void Execute();
    void RunJob();
    // One entry of the job, in the steps below: choosing the destination, telling the
    // window and creating the temporary file, copying the blocks, finishing the entry.
    // Each step that ends the entry early has written its outcome into TargetList.
    struct EntryCopy;
    enum class BlocksEnd { Complete, ShortWrite, Stopped, Failed };
    void CopyEntry(std::size_t index, std::size_t count);
    // The checks before anything is written (stop, a missing song, a name that leaves the
    // chosen folder, a source that cannot be opened), the already-copied test, the name
    // that overwriting decides on, and the free-space test. False when the entry ended.
    bool ChooseDestination(std::size_t index, EntryCopy& entry);
    bool OpenSong(std::size_t index, EntryCopy& entry);
    bool SkipAlreadyCopied(std::size_t index);
    bool ChooseName(std::size_t index, EntryCopy& entry);
    // Sends CM_PROGRESSTEXT, creates the folders and the temporary file of a song that
    // fits, then sends CM_PROGRESSMAX. False when the entry ended (a song that does not
    // fit ends here too).
    bool StartEntry(std::size_t index, std::size_t count, EntryCopy& entry);
    bool CreateTemporary(std::size_t index, EntryCopy& entry);
    // Moves the song block by block until it ends, the disk takes less than a block, a
    // stop is asked for, or a read or write fails (the entry has then failed).
    BlocksEnd CopyBlocks(std::size_t index, EntryCopy& entry);
    // Closes both files and, for a complete song, checks the size and puts the copy under
    // its name; removes the partial copy of a song that filled the disk or was stopped.
    void FinishEntry(std::size_t index, EntryCopy& entry, BlocksEnd end);
    void KeepFinishedCopy(std::size_t index, EntryCopy& entry);
    // Completes the finished temporary file's tags when that is asked for; false when
    // the entry failed (a spoilt copy that could not be copied again).
    bool TagCopy(std::size_t index, const EntryCopy& entry);
    // Writes the song at `source` into the temporary file again, emptied first (the same
    // file, so whatever holds it still does); false with `error` set when that fails or
    // the song is no longer `size` bytes.
    bool RewriteUntagged(const std::string& source, std::int64_t size, std::string& error);
    // Stores the retagged temporary file on the disk when it is to replace a file; false
    // when the entry failed.
    bool SyncRewritten(std::size_t index, const EntryCopy& entry);
    void EndAfterFailure();
    // Waits while paused; throws Abandoned after Abandon().
    void CheckGate();
    void Send(unsigned msg, std::intptr_t wParam, std::intptr_t lParam);
    void SendPosition();
    bool IsOutOfSpace(const IFile& file, const std::string& dest, std::int64_t wanted);
    void SetCurrentTarget(const std::string& path);
    // Ends the current entry as failed: logs "Execute:" + `logText`, removes the partial
    // temporary file, and gives the entry the failure text with `reason`.
    void FailEntry(std::size_t index, const std::string& logText, const std::string& reason);
    // The same for a failure of an open file: logs `what` + ": " + the error's text, which
    // is also the reason.
    void FailEntry(std::size_t index, const std::string& what, const std::error_code& error);
    void RemovePartial();
    // The copy of the song at `source` already under `wanted` or one of its numbered
    // names (up to the first free one), if there is one.
    std::optional<std::string> FindEarlierCopy(const std::string& source,
                                               const std::string& wanted);
    // Checks that the path of `dest` (and of the song's temporary file beside it) is not
    // longer than the system takes; false (the entry failed) otherwise.
    bool FitsPathLimit(std::size_t index, const std::string& dest);
    // Checks that `dest` lies in ChosenFolder or in plain-named real folders below it (a
    // link leads elsewhere), and creates those folders; false (the entry failed)
    // otherwise. The folders made are removed again when the song is not copied.
    bool MakeFoldersFor(std::size_t index, const std::string& dest);
    // The folders between ChosenFolder and `dest` exist and are real folders, so a file
    // found at `dest` lies inside the chosen folder.
    bool FoldersInside(const std::string& dest);
    void RemoveEntryFolders();
    // Removes the leftovers of earlier jobs from the folder of `dest`, once per job.
    void CleanFolder(const std::string& dest);
    // The drive stores the file at `path` under exactly that name (not one that differs in
    // letter case only).
    bool StoredUnderExactName(const std::string& path);
    // A file this job placed: by identity, or by the exact name it was given.
    bool PlacedByThisJob(const NameInfo& there, const std::string& path) const;
    void RecordPlaced(std::size_t index, const std::string& dest);
    // Stores each written volume on its disk; entries whose volume reports a failure get
    // the failure text.
    void SyncVolumes();
    // Ends the entry as failed after `file` refused a write, sync or close.
    void FailWrite(std::size_t index, const std::string& what, const IFile& file);
    // Renames the finished temporary file to the song's name (see the class comment);
    // false when the entry failed.
    bool PlaceFinishedCopy(std::size_t index, const std::string& wanted, std::string& dest,
                           const std::optional<NameInfo>& replacing);
    // The first free numbered name for `wanted`; empty, with the entry failed, when there
    // is none.
    std::string FreeNameFor(std::size_t index, const std::string& wanted);

    IPlatform& platform_;
    IWindowMessageSink& window_;
    const std::atomic<bool>& overwriteExisting_;

    mutable std::mutex mutex_; // guards currentTarget_ and the pause gate
    std::condition_variable gateChanged_;
    std::string currentTarget_;
    std::atomic<bool> paused_{false};
    std::atomic<bool> waitingAtPause_{false};
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> finishHandled_{false};

    // Working values of the one job, touched by the worker's thread only.
    std::vector<std::int64_t> sizes_; // from the sizing pass; 0 for a missing song
    std::int64_t total_ = 0;
    std::int64_t copied_ = 0;
    std::int32_t lastPosition_ = 0;
    std::size_t failIndex_ = 0;     // first entry that a failure marks as terminated
    std::string partialPath_;       // temporary file created and not yet renamed
    std::int64_t entryCounted_ = 0; // what the current entry added to copied_
    struct Placed {
        std::size_t index;
        NameInfo identity;
        std::string path;
    };
    std::vector<Placed> placed_;                  // files this job put under song names
    std::unordered_set<std::string> placedNames_; // and the exact names it gave them
    std::set<std::pair<std::uint64_t, std::uint64_t>> placedFiles_; // their device and inode
    std::unordered_set<std::string> cleanedFolders_; // folders whose leftovers were removed
    // Names in folders, as the drive stores them (read when first needed).
    std::unordered_map<std::string, std::unordered_set<std::string>> listings_;
    std::vector<std::string> entryFolders_; // folders made for the current entry
    std::atomic<int> leftoversRemoved_{0};
    std::int64_t jobStartNs_ = 0; // when the job began, ns since 1970
    std::string statusText_;      // CM_PROGRESSTEXT's text, alive while it is handled
    bool finishSent_ = false;
    std::array<std::byte, kCopyBlockSize> buffer_{};
    std::unique_ptr<ITagger> ownTagger_; // made on the first song that gets tags

    std::thread thread_;
};

} // namespace korvello
