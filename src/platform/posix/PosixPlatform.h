#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The Linux backend of IPlatform.
//
// Layout (all in platform/posix/):
//   PosixPlatform.cpp  the interface calls, the roots, the device watch
//   DriveMap           lettering of volumes and mapped folders     MountTable  mountinfo
//   PathResolver       caseless look-up with cached folder listings
//   FolderSizes        sizes of many files by one open folder each (IFileSizes)
//   FileMapping        read-only file mappings (IFile::Map), reads past a shrunk end as zeros
//   PosixFile          IFile over a descriptor                     FileUtil    fd, loops,
//                                                                              atomic rewrite
//   ProfileText        INI read/edit                               RegistryText user.reg
//   TextServices       ICU collation and case mapping
//
// Drives: c: is the Linux folder `rootDir` ("/" for real use), of type Fixed. Every
// mounted removable volume gets a letter of its own from d: upward, the lowest letter not
// yet handed out in this run; a volume keeps its letter while it stays mounted, and a
// freed letter is not handed out again before the letters up to z: are used (after that,
// the lowest free one). A volume that finds no free letter is not offered. A volume that
// went away and comes back in the same run takes its old letter again when it is free: it
// is recognised by the file-system UUID of its device (the udev links in the "by-uuid"
// folder beside `byLabel`), else by its label and size.
//
// Removable means: the mount's source is a block device whose sysfs path
// (<sysfs>/dev/block/<major:minor>, else <sysfs>/class/block/<name of the source>) runs
// through a "usbN" bus node, or has removable = 1 on itself or on its parent disk, or the
// mount point lies under /media/ or /run/media/. Pseudo, in-memory, image and network
// file systems never count (proc, sysfs, tmpfs, devtmpfs, devpts, cgroup*, overlay,
// squashfs, autofs, nfs*, cifs, smb3, 9p, virtiofs, every "fuse.*" such as sshfs or gvfs,
// ...; see IsPseudoOrNetworkFs); "fuseblk" (ntfs-3g, exfat on a stick) does count. The
// mount at "/" is c: and never gets a second letter. One device gets one letter: a bind
// mount (root field other than "/") of a device that is also mounted whole is not a
// drive, and a mount hidden under a later mount at the same place is skipped. Malformed
// mountinfo lines are skipped.
//
// Mapped drives: a symbolic link named like "e:" (either case; d: to z:) in
// <configHome>/korvello/drives/ maps that letter to the folder it points to. The link
// reserves its letter even while its target is missing (a dangling link is not offered,
// but no stick takes the user's letter either). A letter still held by a mounted volume
// stays with the volume until it goes away (a running copy must not see its drive
// change); the mapped drive appears then. A mapped drive is Removable, its root is the
// link's resolved target and its label the target folder's name.
//
// Labels: the udev link in `byLabel` whose target names the volume's kernel device (its
// \xHH escapes undone); failing that, the mount point's last name. c: has no label.
//
// Paths: "\" and "/" both separate components; ".", empty names and ".." (clamped at the
// drive root) are dropped; everything after a NUL byte is ignored. On c: names are exact;
// on removable and mapped drives a component missing under its exact name is matched
// after Unicode case folding (two names differing only in case: the byte-wise smaller
// wins). The exact path is tried first with one stat; folder listings are cached per
// folder and re-read when the folder's inode or mtime changes, or on a miss while the
// listing is younger than FAT's two-second time granularity. Symbolic links inside a
// drive are followed as Linux does. ToLinuxPath re-reads the drive map (at most once a
// second) when asked about an unknown letter. ToProgramPath is lexical (no symlinks
// resolved); a Linux name holding "\" does not round-trip.
//
// Files: OpenRead/CreateWrite accept regular files only (a FIFO or device is refused
// without blocking). SIGXFSZ is ignored once per process, so a write past RLIMIT_FSIZE
// comes back short or with EFBIG instead of killing the program. CopyFile writes a
// hidden temporary file beside the destination, flushes it and renames it over.
// GetDiskFreeSpace gives f_bavail * f_frsize of the nearest existing folder: the bytes
// this user can still write (root's reserved blocks are not free space for a copy); a
// volume reporting no blocks at all (f_blocks = 0, as FUSE's fusefat does) is unknown.
//
// Song copies and deletions take names exactly as given on every drive (StatName,
// CreateNew, RenameFile, DeleteFile): the caseless look-up serves reading the iPod only,
// so a copy never mistakes the user's "radio.mp3" for "Radio.mp3". CreateNew claims its
// name with O_EXCL and holds an flock on it while the file lives; DeleteLeftover removes
// a file only when that lock is free. RenameFile without replace and ReplaceFile are
// described in PlaceFile.h (renameat2's flags where the file system has them, else a
// locked claim file beside the name). SyncVolume is syncfs.
//
// AppFolder: the program file's folder only for a build tree or a portable copy, known by
// the marker file "korvello.portable" beside the program (the build writes one into the
// build folder; an install never has one), when that folder may be written and does not
// lie under /usr; otherwise, and always for an installed program, whoever runs it (root
// included), <dataHome>/korvello, created on first use. Nothing is written under /usr.
//
// Profile and registry files are rewritten whole through a temporary file and a rename;
// writes are serialised process-wide. A read-only file (no write bit, or not writable by
// this user) is not rewritten: the write fails and the file stays as it was. A profile
// write refuses texts holding line breaks or NULs, a "]" in the section, a "=" in the key
// or a blank key (they would add lines nobody asked for), and never replaces a file it
// could not read. user.reg lives in
// <configHome>/korvello/; a file that does not parse reads as holding no values, and the
// next write first keeps its content as user.reg.damaged (then .damaged.1, ...). Values
// of other types (hex:...) read as Missing and are kept until overwritten.
//
// Text: collation at secondary strength in the locale named by LC_ALL, LC_COLLATE or LANG;
// "C"/"POSIX" use the root collation (ICU's en_US_POSIX would tell "Rock" from "rock").
// LowerCase/UpperCase use the root locale so file names never follow Turkish rules.
//
// Device watch: the mount table's descriptor (POLLPRI) and an inotify descriptor on the
// mapped-drives folder (created if missing). Any newly lettered drive since the previous
// PollDeviceArrival is an arrival, and so is a drive whose file system was mounted anew
// (a volume's mount id in the table changed; the mount id or device of a mapped folder
// changed, other than by its own file system being unmounted); removals are not.
//
// Every root the backend reads comes from PosixRoots, so tests run it on fake trees.
// Mount points read from the mount table are taken relative to rootDir (with rootDir "/"
// they are the real ones).

#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvello {

// The file whose presence beside the program makes its folder AppFolder (a build tree, a
// portable copy). Its content does not matter.
inline constexpr const char* kPortableMarker = "korvello.portable";

struct PosixRoots {
    std::string rootDir = "/";                      // the folder that is c:
    std::string mountinfo = "/proc/self/mountinfo"; // the mount table
    std::string sysfs = "/sys";                     // sysfs root
    std::string byLabel = "/dev/disk/by-label";     // udev label links
    std::string configHome;                         // $XDG_CONFIG_HOME or ~/.config
    std::string dataHome;                           // $XDG_DATA_HOME or ~/.local/share
    std::string programPath;                        // the running program file
    // Hands a Linux path to the desktop. The window program sets it (it opens the path
    // through the desktop's file associations); unset, ShellOpen does nothing.
    std::function<void(const std::string& linuxPath)> shellOpen;
    // Folders mapped as drives for this process alone (letter 'd' to 'z', Linux folder),
    // held in memory only. When any is given, they take the place of the links of the
    // mapped-drives folder, which is then not read.
    std::vector<std::pair<char, std::string>> mappedFolders;
    // For tests of putting copies in place: called before each step that touches a name
    // (see PlaceFile.h), and a switch that behaves like a file system without renameat2's
    // flags and hard links (FAT through FUSE).
    std::function<void(std::string_view step)> placeStep;
    bool plainRenames = false;

    // The real roots of this process and user (environment variables honoured).
    static PosixRoots FromEnvironment();
};

class PosixPlatform final : public IPlatform {
public:
    explicit PosixPlatform(PosixRoots roots = PosixRoots::FromEnvironment());
    ~PosixPlatform() override;

    const PosixRoots& Roots() const;

    std::uint32_t GetLogicalDrives() override;
    DriveType GetDriveType(const std::string& root) override;
    bool DirectoryExists(const std::string& path) override;
    unsigned SetErrorMode(unsigned mode) override;
    bool GetVolumeInformation(const std::string& root, std::string& label) override;
    std::vector<DriveInfo> Drives() override;

    std::string ToLinuxPath(const std::string& programPath) override;
    std::string ToProgramPath(const std::string& linuxPath) override;
    std::string DisplayPath(const std::string& programPath) override;
    // The drive's root and the names joined as written (the drive's form of ToLinuxPath
    // when no name is matched without case).
    std::string LinuxPathAsGiven(const std::string& programPath) override;

    std::optional<std::int64_t> FindFile(const std::string& path) override;
    // madvise(MADV_HUGEPAGE) on the whole pages of the block (transparent huge pages).
    void PreferLargePages(void* start, std::size_t bytes) override;
    // Opens each folder once (FolderSizes.h) on removable and mapped drives and asks each
    // name with fstatat; paths on c:, deeper than the caseless look-up goes, or in folders
    // past the ones held open are asked of FindFile.
    std::unique_ptr<IFileSizes> FileSizes() override;
    // Each asker holds its own folders; what they share of the platform (the drive map,
    // the path resolver) is behind its lock.
    bool ConcurrentFileSizes() const override { return true; }
    std::unique_ptr<IFile> OpenRead(const std::string& path, std::string& error) override;
    std::unique_ptr<IFile> CreateWrite(const std::string& path, std::string& error) override;
    bool DeleteFile(const std::string& path) override;
    bool CopyFile(const std::string& source, const std::string& dest) override;
    std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& path) override;

    NameInfo StatName(const std::string& path) override;
    std::unique_ptr<IFile> CreateNew(const std::string& path, std::string& error,
                                     bool& taken) override;
    RenameResult RenameFile(const std::string& from, const std::string& to, bool replace,
                            std::string& error) override;
    RenameResult ReplaceFile(const std::string& from, const std::string& to,
                             const NameInfo& replacing, std::string& error) override;
    std::optional<std::vector<std::string>> ListFolder(const std::string& folder) override;
    bool DeleteLeftover(const std::string& path, int minAgeSeconds) override;
    bool RemoveEmptyFolder(const std::string& path) override;
    bool SyncVolume(const std::string& path, std::string& error) override;
    bool CreateDirectory(const std::string& path, std::string& error) override;

    std::string ProgramPath() override;
    std::string AppFolder() override;

    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& def, const std::string& file) override;
    bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& file) override;
    void GetPrivateProfileStrings(std::vector<ProfileKey>& keys, const std::string& file) override;
    bool WritePrivateProfileStrings(const std::vector<ProfileKey>& keys,
                                    const std::string& file) override;

    bool RegCreateKey(const std::string& key) override;
    RegValue RegQueryValue(const std::string& key, const std::string& name) override;
    bool RegSetDword(const std::string& key, const std::string& name, std::uint32_t value) override;
    bool RegSetString(const std::string& key, const std::string& name,
                      const std::string& value) override;

    void ShellOpen(const std::string& path) override;
    int CompareText(const std::string& a, const std::string& b) override;
    std::string CollationKey(const std::string& text) override;
    std::string LowerCase(const std::string& text) override;
    std::string UpperCase(const std::string& text) override;
    std::string DecimalSeparator() override;
    std::string ShortDate(const std::tm& local) override;
    std::string LongTime(const std::tm& local) override;

    std::vector<WatchDescriptor> DeviceWatchDescriptors() override;
    bool PollDeviceArrival() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace korvello
