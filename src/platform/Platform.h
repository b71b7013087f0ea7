#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The operating-system services the program leans on, behind one interface.
//
// Everything above this layer speaks the program's own vocabulary: two-character mount
// roots ("e:"), paths joined with "\" ("e:\iPod_Control\Music\F00\ABCD.mp3"), UTF-8 texts,
// INI files and one per-user registry key. An implementation translates at its edge; the
// Linux one lives in platform/posix/ (see PosixPlatform.h for how drives and paths map).
//
// Tests hand the program a PosixPlatform built on fake trees in temporary folders, or a
// decorator that overrides a single call (the free-space figure, say).

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace korvello {

// Drive types with the values the program compares against.
enum class DriveType : int {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// SetErrorMode flag: no system dialog while a volume is queried.
inline constexpr unsigned SEM_FAILCRITICALERRORS = 1;

// One lettered drive of the drive map, for listings (korvello-cli drives).
struct DriveInfo {
    char letter = 0; // 'c' to 'z'
    DriveType type = DriveType::Unknown;
    std::string label;     // volume label, may be empty
    std::string linuxRoot; // the Linux folder that is this drive's root
    bool mapped = false;   // a mapped drive from the per-user drives folder
};

// Text of an IFile's error code: strerror's text for an errno value, made without the
// shared buffer of strerror() so that any thread may ask (the copy worker does); empty
// for no error. The platform backend provides it (posix/PosixFile.cpp).
std::string ErrorCodeText(const std::error_code& error);

// What an exact name holds right now (a final symbolic link is not followed).
enum class NameKind {
    Missing,
    File,
    Folder, // a real folder; a link to one is Other
    Other,
};
struct NameInfo {
    NameKind kind = NameKind::Missing;
    // Identity of a File: the same file has the same pair under every name the drive
    // resolves to it, for as long as it stays cached (FUSE drives without inode numbers
    // of their own number a file afresh for each spelling of its name).
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modifiedNs = 0; // last modification, nanoseconds since 1970 (UTC)

    bool SameFile(const NameInfo& other) const {
        return kind == NameKind::File && other.kind == NameKind::File && device == other.device &&
               inode == other.inode;
    }
};

// An open file. Counts are 64-bit; a negative count means the call failed, and Error()
// then says why.
// A file's bytes held in memory for as long as the object lives (see IFile::Map).
class IFileMapping {
public:
    virtual ~IFileMapping() = default;
    virtual std::span<const std::uint8_t> Bytes() const = 0;
};

class IFile {
public:
    virtual ~IFile() = default;
    // Reads up to `count` bytes; returns the bytes read (0 at the end), or -1.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to `count` bytes; returns the bytes actually written, or -1.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Size of the open file, or -1.
    virtual std::int64_t Size() = 0;
    // Closes the file; false when the close reported a failure (a delayed write error).
    // Closing twice is harmless; the destructor closes a file that is still open.
    virtual bool Close() = 0;
    // The last failure: an errno value in std::generic_category(); empty before any.
    virtual std::error_code Error() const = 0;
    // Moves the read position to `offset` bytes from the start. A file that cannot move
    // there returns false; a reader then has to read its way to the bytes it wants.
    virtual bool Seek(std::int64_t offset) {
        (void)offset;
        return false;
    }

    // The file's first `size` bytes in memory without reading a copy of them (a read-only
    // mapping of the file), valid after the file is closed; nullptr where that is not
    // possible, and the caller reads the file instead. Should the file shrink meanwhile,
    // the bytes it lost read as zeros.
    virtual std::unique_ptr<IFileMapping> Map(std::int64_t size) {
        (void)size;
        return nullptr;
    }

    // Stores what was written on the disk itself (fsync), collected writes first; false,
    // with Error() set, when the disk refused it.
    virtual bool Sync() { return true; }
    // The open file's identity (kind File); Missing when it cannot be known. A file made by
    // CreateNew answers this after Close() too.
    virtual NameInfo Identity() const { return {}; }

    // The last failure as text ("Input/output error"); safe on any thread.
    std::string ErrorText() const { return ErrorCodeText(Error()); }
    // The last failure was a full volume or a quota: the data did not fit, rather than the
    // device or the name being at fault. A file larger than the file system allows
    // (EFBIG, 4 GiB on FAT) is not a lack of space: FileTooLarge().
    bool OutOfSpace() const {
        const std::error_code error = Error();
        return error.category() == std::generic_category() &&
               (error.value() == ENOSPC || error.value() == EDQUOT);
    }
    bool FileTooLarge() const {
        const std::error_code error = Error();
        return error.category() == std::generic_category() && error.value() == EFBIG;
    }
};

enum class RenameResult {
    Done,
    NameTaken, // the new name exists and was not to be replaced
    Failed,
};

// One key of a batch of profile calls. Reading, `value` holds the default going in and
// the value read coming out; writing, the value to store.
struct ProfileKey {
    std::string section;
    std::string key;
    std::string value;
};

// A value of the registry stand-in.
enum class RegType { Missing, Dword, String };
struct RegValue {
    RegType type = RegType::Missing;
    std::uint32_t dword = 0;
    std::string text;
};

// A file descriptor the window watches for device arrivals. `exceptional` means the
// descriptor signals with POLLPRI (a QSocketNotifier of type Exception), otherwise it
// becomes readable (type Read).
struct WatchDescriptor {
    int fd = -1;
    bool exceptional = false;
};

// Sizes of many files, each as IPlatform::FindFile gives it, for a caller that asks about
// thousands of files in a few folders at once (the songs of a load). An implementation may
// list each folder once and hold it open until the object goes; the object must not
// outlive its platform, and serves one thread.
class IFileSizes {
public:
    virtual ~IFileSizes() = default;
    // Size of the file at the program path `path`, or nothing when no file is there.
    virtual std::optional<std::int64_t> FindFile(const std::string& path) = 0;
    // True when the last FindFile found something at exactly the names of its path as
    // written, so that the path's Linux form is IPlatform::LinuxPathAsGiven of it. False
    // when that is not known.
    virtual bool FoundAsGiven() const { return false; }
};

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // ---- Drives -----------------------------------------------------------------------
    // Bit i set when drive letter number i exists (bit 0 is a:). Re-reads the drive map.
    virtual std::uint32_t GetLogicalDrives() = 0;
    // Type of the drive whose root is given as letter + ":\" (or "e:" alone).
    virtual DriveType GetDriveType(const std::string& root) = 0;
    // True only for an existing directory; the path may end in "\".
    virtual bool DirectoryExists(const std::string& path) = 0;
    // Critical-error mode: returns the previous mode. Harmless everywhere but Windows.
    virtual unsigned SetErrorMode(unsigned mode) = 0;
    // Volume label of the drive whose root is given ("e:\"); false when unknown drive.
    virtual bool GetVolumeInformation(const std::string& root, std::string& label) = 0;
    // Every drive of the drive map in letter order (re-reads the map).
    virtual std::vector<DriveInfo> Drives() = 0;

    // ---- Paths ------------------------------------------------------------------------
    // Linux form of a program path ("e:\iPod_Control\iTunes\itunesdb"): the drive's root,
    // then each component; on removable and mapped drives a component missing under its
    // exact name is looked up without regard to letter case. "." and empty components
    // are dropped and ".." never climbs above the drive's root. A path without a drive
    // ("\x" or "x") lies on c:. Empty result when the drive letter is unknown.
    virtual std::string ToLinuxPath(const std::string& programPath) = 0;
    // Program form of a Linux path: the lettered root that is its longest prefix, then
    // the rest with "/" turned into "\". Empty when no lettered root holds the path.
    virtual std::string ToProgramPath(const std::string& linuxPath) = 0;
    // How the program shows a program path to the user: its Linux form.
    virtual std::string DisplayPath(const std::string& programPath) = 0;
    // DisplayPath of a path that exists under exactly the names it is written with (see
    // IFileSizes::FoundAsGiven): the same text, made without asking the disk.
    virtual std::string LinuxPathAsGiven(const std::string& programPath) {
        return DisplayPath(programPath);
    }

    // ---- Files (all paths are program paths) ------------------------------------------
    // Size of the file at `path`, or nothing when no file is there (a folder is no file).
    virtual std::optional<std::int64_t> FindFile(const std::string& path) = 0;
    // A hint that the memory from `start` on, `bytes` long, is a large block about to be
    // filled: where the system offers large pages, it takes them there (far fewer page
    // faults). Its contents stay as they are; a system without them ignores the hint.
    virtual void PreferLargePages(void* start, std::size_t bytes) {
        (void)start;
        (void)bytes;
    }
    // An asker of many sizes at once (see IFileSizes). This one asks FindFile each time,
    // so a decorator that changes FindFile changes these answers too.
    virtual std::unique_ptr<IFileSizes> FileSizes();
    // True when two askers from FileSizes may be used at the same time, each on a thread
    // of its own, with DirectoryExists asked from both. False by default: FindFile need
    // not be safe to call from two threads at once.
    virtual bool ConcurrentFileSizes() const { return false; }
    // Opens an existing file read-only. nullptr on failure, with `error` set.
    virtual std::unique_ptr<IFile> OpenRead(const std::string& path, std::string& error) = 0;
    // Creates the file empty for writing (an existing file is emptied). nullptr on
    // failure, with `error` set.
    virtual std::unique_ptr<IFile> CreateWrite(const std::string& path, std::string& error) = 0;
    // Removes a file; false when it could not be removed. The name is taken exactly as
    // given on every drive: only files the program made itself are ever deleted.
    virtual bool DeleteFile(const std::string& path) = 0;
    // Copies `source` to `dest`, replacing dest; false on failure.
    virtual bool CopyFile(const std::string& source, const std::string& dest) = 0;
    // Free bytes of the volume that `path` lies on (asked of its nearest existing folder).
    // Nothing when it cannot be known (the query fails, or the volume reports no size).
    virtual std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& path) = 0;

    // ---- Writing copies: exact names on every drive, never a caseless look-up ----------
    // What the name `path` holds.
    virtual NameInfo StatName(const std::string& path) = 0;
    // Creates a new empty file for writing; never opens an existing one (O_EXCL). The file
    // is locked from its creation until the IFile is destroyed (also after Close()), so
    // another job's DeleteLeftover leaves it alone. nullptr on failure, with `error` set
    // and `taken` true when the name already exists.
    virtual std::unique_ptr<IFile> CreateNew(const std::string& path, std::string& error,
                                             bool& taken) = 0;
    // Renames the file `from` to `to` in one step. Without `replace`, an existing `to` is
    // never replaced (NameTaken), and no other file ever appears under `to` on the way,
    // also where the file system has no renaming without replacing; with it, an existing
    // file is replaced whole.
    virtual RenameResult RenameFile(const std::string& from, const std::string& to, bool replace,
                                    std::string& error) = 0;
    // Puts the file `from` in the place of the file at `to`, but only while `to` still is
    // the file `replacing` (NameInfo::SameFile), checked in one step with the rename:
    // NameTaken, with `to` left as it was, when it holds anything else or nothing.
    virtual RenameResult ReplaceFile(const std::string& from, const std::string& to,
                                     const NameInfo& replacing, std::string& error) = 0;
    // The names in a folder exactly as the drive stores them ("." and ".." left out);
    // nothing when the folder cannot be read.
    virtual std::optional<std::vector<std::string>> ListFolder(const std::string& folder) = 0;
    // Removes the file at `path` if it is a leftover: a file whose lock (see CreateNew)
    // nobody holds and that was last changed at least `minAgeSeconds` ago (or as far in
    // the future: drives that keep local time). True when it was removed.
    virtual bool DeleteLeftover(const std::string& path, int minAgeSeconds) = 0;
    // Removes a folder if it is empty; false otherwise.
    virtual bool RemoveEmptyFolder(const std::string& path) = 0;
    // Stores on the disk everything of the volume holding `path` that is still only in
    // memory (syncfs); false with `error` set when the disk reported a failure.
    virtual bool SyncVolume(const std::string& path, std::string& error) = 0;
    // Creates one folder under its exact name; true when it was made or a folder of that
    // name is there already. False with `error` set otherwise (a file in the way, no room,
    // a missing parent).
    virtual bool CreateDirectory(const std::string& path, std::string& error) = 0;

    // ---- The program's own files ------------------------------------------------------
    // Full program path of the running program file.
    virtual std::string ProgramPath() = 0;
    // Program-path folder (no trailing "\") of the program's own files: beside the
    // program only for a build tree or a portable copy, else (an installed program, run
    // by anyone) the per-user data folder, created on first use.
    virtual std::string AppFolder() = 0;

    // ---- Profile (INI) files ----------------------------------------------------------
    // One key as text, or `def` when the file, section or key is missing.
    virtual std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                                const std::string& def,
                                                const std::string& file) = 0;
    // Sets one key, adding the section and key when missing; false (with nothing
    // changed) when the file cannot be written.
    virtual bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                           const std::string& value, const std::string& file) = 0;
    // Several keys of one file with one read of it: each key's value becomes what
    // GetPrivateProfileString would give with that value as the default.
    virtual void GetPrivateProfileStrings(std::vector<ProfileKey>& keys,
                                          const std::string& file) = 0;
    // Sets several keys with one rewrite of the file, with the result of writing them one
    // after another; false (with nothing changed) when the file or any key cannot be
    // written.
    virtual bool WritePrivateProfileStrings(const std::vector<ProfileKey>& keys,
                                            const std::string& file) = 0;

    // ---- Registry stand-in (per-user key under HKEY_CURRENT_USER) ---------------------
    // Opens the key, creating it when missing; false when it cannot be opened or created.
    virtual bool RegCreateKey(const std::string& key) = 0;
    virtual RegValue RegQueryValue(const std::string& key, const std::string& name) = 0;
    // Stores a REG_DWORD; false when it could not be stored.
    virtual bool RegSetDword(const std::string& key, const std::string& name,
                             std::uint32_t value) = 0;
    // Stores a REG_SZ; false when it could not be stored (a text holding a line break or
    // a NUL cannot be).
    virtual bool RegSetString(const std::string& key, const std::string& name,
                              const std::string& value) = 0;

    // ---- Shell, text and locale -------------------------------------------------------
    // Opens a file or folder with the program the desktop registered for it; nothing when
    // the path's drive is not there.
    virtual void ShellOpen(const std::string& path) = 0;
    // Compares without regard to letter case in the user's locale collation:
    // <0, 0 (the collator finds no difference) or >0.
    virtual int CompareText(const std::string& a, const std::string& b) = 0;
    // A byte string whose plain byte order is CompareText's order; equal keys mean
    // CompareText finds no difference. For sorting many texts fast.
    virtual std::string CollationKey(const std::string& text) = 0;
    // File-name case conversion (Unicode aware).
    virtual std::string LowerCase(const std::string& text) = 0;
    virtual std::string UpperCase(const std::string& text) = 0;
    // The user's decimal separator (LC_NUMERIC), usually "." or ",".
    virtual std::string DecimalSeparator() = 0;
    // The user's short date and long time formats (LC_TIME) applied to a local time.
    virtual std::string ShortDate(const std::tm& local) = 0;
    virtual std::string LongTime(const std::tm& local) = 0;

    // ---- Device arrival ---------------------------------------------------------------
    // Descriptors to watch; when one fires, call PollDeviceArrival.
    virtual std::vector<WatchDescriptor> DeviceWatchDescriptors() = 0;
    // Drains pending notifications, re-reads the drive map and tells whether a drive was
    // added since the previous call. Removals are not arrivals.
    virtual bool PollDeviceArrival() = 0;
};

inline std::unique_ptr<IFileSizes> IPlatform::FileSizes() {
    class OneByOne : public IFileSizes {
    public:
        explicit OneByOne(IPlatform& platform) : platform_(platform) {}
        std::optional<std::int64_t> FindFile(const std::string& path) override {
            return platform_.FindFile(path);
        }

    private:
        IPlatform& platform_;
    };
    return std::make_unique<OneByOne>(*this);
}

} // namespace korvello
