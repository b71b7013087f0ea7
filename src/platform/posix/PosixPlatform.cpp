// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixPlatform.h"

#include "platform/posix/DriveMap.h"
#include "platform/posix/FileUtil.h"
#include "platform/posix/FolderSizes.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/PlaceFile.h"
#include "platform/posix/PosixFile.h"
#include "platform/posix/ProfileText.h"
#include "platform/posix/RegistryText.h"
#include "platform/posix/TextLines.h"
#include "platform/posix/TextServices.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace korvello {

using namespace posix;

namespace {

// Profile files and the registry file may be written from the window's thread and the
// copy worker at once (the error log); one lock per kind serialises the rewrites.
std::mutex& ProfileMutex() {
    static std::mutex mutex;
    return mutex;
}

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string ReadLinkSelf() {
    char target[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool MakeDirs(const std::string& path) {
    if (path.empty())
        return false;
    if (IsDirectory(path))
        return true;
    std::size_t pos = 1;
    while (pos <= path.size()) {
        pos = path.find('/', pos);
        if (pos == std::string::npos)
            pos = path.size();
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        ++pos;
    }
    return IsDirectory(path);
}

// Splits a program path into its drive letter (c: when it names none) and the components
// that remain once ".", empty names and ".." (clamped at the root) are dealt with. Both
// "\" and "/" separate: a "/" inside a name would otherwise reach Linux as a separator and
// carry a ".." past the clamp.
bool SplitProgramPath(std::string path, char& letter, std::vector<std::string>& components) {
    const auto nul = path.find('\0');
    if (nul != std::string::npos)
        path.resize(nul);
    letter = 'c';
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':') {
        const char c = static_cast<char>(path[0] | 0x20);
        if (c < 'a' || c > 'z')
            return false;
        letter = c;
        pos = 2;
    }
    components.clear();
    for (const std::string_view part : NormalComponents(path, pos, "\\/"))
        components.emplace_back(part);
    return true;
}

// The letter of a drive root given as "e:\", "e:" or "E:/".
bool RootLetter(const std::string& root, char& letter) {
    if (root.size() < 2 || root.size() > 3 || root[1] != ':')
        return false;
    if (root.size() == 3 && root[2] != '\\' && root[2] != '/')
        return false;
    letter = static_cast<char>(root[0] | 0x20);
    return letter >= 'a' && letter <= 'z';
}

// Lexically normalised absolute Linux path; empty for a relative one.
std::string NormaliseLinuxPath(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return {};
    std::string out;
    for (const std::string_view part : NormalComponents(path, 1, "/")) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

// The Linux path of `components` under a drive's root, each name taken as given.
std::string JoinUnder(const std::string& root, const std::vector<std::string>& components) {
    std::string path = root;
    for (const auto& component : components) {
        if (path.back() != '/')
            path += '/';
        path += component;
    }
    return path;
}

// A build tree or a portable copy: the marker file lies beside the program and the
// folder may be written. An installed program has no marker, whoever runs it.
bool IsPortableFolder(const std::string& folder) {
    struct stat st {};
    const std::string marker = JoinPath(folder, kPortableMarker);
    return ::stat(marker.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(folder.c_str(), W_OK) == 0;
}

// The system's own program folders (/usr and below) are never written, marker or not:
// a package's files are the package manager's alone.
bool UnderSystemFolder(const std::string& programFolder) {
    return programFolder == "c:\\usr" || programFolder.starts_with("c:\\usr\\");
}

void IgnoreFileSizeSignal() {
    // Past RLIMIT_FSIZE the kernel would kill the program with SIGXFSZ in the middle of a
    // copy; ignored, the write comes back short or with EFBIG and the copy reports it.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

} // namespace

namespace {
struct PlacePaths {
    std::string source;
    std::string target;
    PlaceOptions options;
};
} // namespace

struct PosixPlatform::Impl {
    explicit Impl(PosixRoots r)
        : roots(std::move(r)), drives(roots), collation(CollationLocaleFromEnvironment()) {}

    // Loads the drive map on first use. Caller holds `mutex`.
    void EnsureLoaded() {
        if (!drives.Loaded()) {
            drives.Refresh();
            polledArrivals = drives.Arrivals();
        }
    }

    // The drive of `letter`; a drive that arrived since the last scan is found by a new
    // scan, made at most once a second so that a stream of paths on a vanished drive stays
    // cheap. nullptr when there is none. Caller holds `mutex`.
    const Drive* FindDrive(char letter) {
        EnsureLoaded();
        const Drive* drive = drives.Find(letter);
        if (drive != nullptr)
            return drive;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastMissRefresh <= std::chrono::seconds(1))
            return nullptr;
        lastMissRefresh = now;
        drives.Refresh();
        return drives.Find(letter);
    }

    // Linux path of a program path; empty when its drive is unknown. Caller holds `mutex`.
    // `found`/`statValid` as PathResolver::Resolve gives them, for removable drives.
    std::string ToLinux(const std::string& programPath, struct stat* found = nullptr,
                        bool* statValid = nullptr) {
        char letter = 0;
        std::vector<std::string> components;
        if (!SplitProgramPath(programPath, letter, components))
            return {};
        const Drive* drive = FindDrive(letter);
        if (drive == nullptr)
            return {};
        if (drive->info.type == DriveType::Fixed)
            return JoinUnder(drive->info.linuxRoot, components);
        return resolver.Resolve(drive->info.linuxRoot, components, found, statValid);
    }

    // Both ends of a rename in Linux form, with the placing options of the moment; an end
    // that does not translate is empty.
    PlacePaths ForPlacing(const std::string& from, const std::string& to) {
        std::lock_guard lock(mutex);
        return {ToLinuxExact(from), ToLinuxExact(to), {roots.placeStep, roots.plainRenames}};
    }

    // Linux path of a program path with every name taken exactly as given, on every
    // drive: what the program writes or tests for a clash is never matched by case.
    // Caller holds `mutex`.
    std::string ToLinuxExact(const std::string& programPath) {
        char letter = 0;
        std::vector<std::string> components;
        if (!SplitProgramPath(programPath, letter, components))
            return {};
        const Drive* drive = FindDrive(letter);
        return drive == nullptr ? std::string() : JoinUnder(drive->info.linuxRoot, components);
    }

    std::string ToProgram(const std::string& linuxPath) {
        const std::string path = NormaliseLinuxPath(linuxPath);
        if (path.empty())
            return {};
        EnsureLoaded();
        const DriveInfo* best = nullptr;
        std::vector<DriveInfo> list = drives.List();
        for (const DriveInfo& drive : list) {
            const std::string& root = drive.linuxRoot;
            const bool holds =
                root == "/" || path == root || (path.starts_with(root) && path[root.size()] == '/');
            if (holds && (best == nullptr || root.size() > best->linuxRoot.size()))
                best = &drive;
        }
        if (best == nullptr)
            return {};
        std::string rest = best->linuxRoot == "/" ? path : path.substr(best->linuxRoot.size());
        if (rest == "/")
            rest.clear();
        for (char& c : rest)
            if (c == '/')
                c = '\\';
        return std::string(1, best->letter) + ":" + rest;
    }

    std::string LinuxProgramFile() const {
        return roots.programPath.empty() ? ReadLinkSelf() : roots.programPath;
    }

    std::string RegistryFile() const {
        return JoinPath(JoinPath(roots.configHome, "korvello"), "user.reg");
    }

    PosixRoots roots;
    std::mutex mutex; // the drive map, the path resolver and the device watch
    DriveMap drives;
    PathResolver resolver;
    Collation collation;
    std::chrono::steady_clock::time_point lastMissRefresh{};
    UniqueFd mountinfoFd;
    UniqueFd inotifyFd;
    std::uint64_t polledArrivals = 0;
};

PosixRoots PosixRoots::FromEnvironment() {
    PosixRoots roots;
    std::string home;
    if (const char* value = std::getenv("HOME"); value != nullptr && *value == '/') {
        home = value;
    } else {
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
            found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    if (home.empty())
        home = "/tmp";
    // The XDG rules ignore a relative value.
    auto xdg = [&](const char* variable, const char* fallback) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value == '/')
            return std::string(value);
        return JoinPath(home, fallback);
    };
    roots.configHome = xdg("XDG_CONFIG_HOME", ".config");
    roots.dataHome = xdg("XDG_DATA_HOME", ".local/share");
    roots.programPath = ReadLinkSelf();
    return roots;
}

PosixPlatform::PosixPlatform(PosixRoots roots) : impl_(std::make_unique<Impl>(std::move(roots))) {
    IgnoreFileSizeSignal();
}

PosixPlatform::~PosixPlatform() = default;

const PosixRoots& PosixPlatform::Roots() const {
    return impl_->roots;
}

// ---- Drives ----------------------------------------------------------------------------

std::uint32_t PosixPlatform::GetLogicalDrives() {
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    impl_->drives.Refresh();
    return impl_->drives.Mask();
}

DriveType PosixPlatform::GetDriveType(const std::string& root) {
    char letter = 0;
    if (!RootLetter(root, letter))
        return DriveType::NoRootDir;
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    const Drive* drive = impl_->drives.Find(letter);
    return drive ? drive->info.type : DriveType::NoRootDir;
}

bool PosixPlatform::DirectoryExists(const std::string& path) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinux(path);
    }
    return !onDisk.empty() && IsDirectory(onDisk);
}

unsigned PosixPlatform::SetErrorMode(unsigned mode) {
    // Linux shows no dialog for a missing medium; the mode is only remembered so callers
    // that restore the previous one get it back.
    static std::atomic<unsigned> current{0};
    return current.exchange(mode);
}

bool PosixPlatform::GetVolumeInformation(const std::string& root, std::string& label) {
    char letter = 0;
    if (!RootLetter(root, letter))
        return false;
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    const Drive* drive = impl_->drives.Find(letter);
    if (drive == nullptr)
        return false;
    label = drive->info.label;
    return true;
}

std::vector<DriveInfo> PosixPlatform::Drives() {
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    impl_->drives.Refresh();
    return impl_->drives.List();
}

// ---- Paths -----------------------------------------------------------------------------

std::string PosixPlatform::ToLinuxPath(const std::string& programPath) {
    std::lock_guard lock(impl_->mutex);
    return impl_->ToLinux(programPath);
}

std::string PosixPlatform::ToProgramPath(const std::string& linuxPath) {
    std::lock_guard lock(impl_->mutex);
    return impl_->ToProgram(linuxPath);
}

std::string PosixPlatform::DisplayPath(const std::string& programPath) {
    const std::string onDisk = ToLinuxPath(programPath);
    return onDisk.empty() ? programPath : onDisk;
}

std::string PosixPlatform::LinuxPathAsGiven(const std::string& programPath) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(programPath);
    }
    return onDisk.empty() ? programPath : onDisk;
}

// ---- Files -----------------------------------------------------------------------------

std::optional<std::int64_t> PosixPlatform::FindFile(const std::string& path) {
    // The look-up of a song on a removable drive has stat'ed it already; the database
    // reader asks this for every song, so the second stat is saved.
    struct stat st {};
    bool known = false;
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinux(path, &st, &known);
    }
    if (onDisk.empty() || (!known && ::stat(onDisk.c_str(), &st) != 0) || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::int64_t>(st.st_size);
}

void PosixPlatform::PreferLargePages(void* start, std::size_t bytes) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t first = (begin + page - 1) / page * page;
    const std::uintptr_t end = (begin + bytes) / page * page;
    // Only the pages wholly inside the block; a refusal (no huge pages here) changes nothing.
    if (bytes > 0 && end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

namespace {

// Folders listed and held open by one asker of sizes: a real iPod spreads its songs over
// at most a hundred music folders.
constexpr std::size_t kMaxListedFolders = 128;

// Hashes a std::string key and a std::string_view alike, so that a look-up by a part of a
// longer string makes no copy of it.
struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>()(text);
    }
};

class ListedFileSizes : public IFileSizes {
public:
    explicit ListedFileSizes(PosixPlatform& platform)
        : platform_(platform), folders_(kMaxListedFolders) {}

    std::optional<std::int64_t> FindFile(const std::string& path) override {
        asGiven_ = false;
        // Songs share a few dozen folders, each spelled the same way by all of its songs:
        // the folder part of a path is worked out once per spelling, and each song costs a
        // look-up of that spelling and one fstatat. A path whose last name is one that
        // splitting would drop or change takes the whole way below.
        const std::size_t cut = path.find_last_of("\\/");
        if (cut == std::string::npos || path.find('\0') != std::string::npos)
            return FindBySplitting(path);
        const std::string name = path.substr(cut + 1);
        if (name.empty() || name == "." || name == "..")
            return FindBySplitting(path);
        const std::string_view spelling(path.data(), cut);
        auto known = folderOfSpelling_.find(spelling);
        if (known == folderOfSpelling_.end())
            known =
                folderOfSpelling_.emplace(std::string(spelling), FolderOfSpelling(spelling)).first;
        if (known->second == nullptr)
            return platform_.FindFile(path);
        return SizeIn(*known->second, path, name);
    }

    bool FoundAsGiven() const override { return asGiven_; }

private:
    enum class Kind { Missing, Unlisted, Listed };
    struct Folder {
        Kind kind = Kind::Unlisted;
        FolderSizes::Listing* listing = nullptr;
        // Its Linux path is the one its names give exactly as written.
        bool asGiven = false;
    };

    // The folder of the program path `folder`, whose paths have one more name below it;
    // nullptr when such a path is to be asked of FindFile as it is (c: takes names
    // exactly as given, and the caseless look-up goes only so deep).
    Folder* FolderOfSpelling(std::string_view folder) {
        char letter = 0;
        std::vector<std::string> components;
        if (!SplitProgramPath(std::string(folder), letter, components) ||
            components.size() + 1 > kMaxCaselessDepth)
            return nullptr;
        return &FolderOf(letter, components);
    }

    // The folder of the normalised `components` on the drive `letter`.
    Folder& FolderOf(char letter, const std::vector<std::string>& components) {
        // The folder as a program path, its components normalised: the many spellings a
        // damaged database may give one folder ("F00\\", "F00\.") share one entry.
        std::string folder = std::string(1, letter) + ":";
        for (const std::string& component : components)
            folder += "\\" + component;
        auto [it, added] = folderOf_.try_emplace(std::move(folder));
        if (added)
            it->second = Look(letter, it->first);
        return it->second;
    }

    std::optional<std::int64_t> FindBySplitting(const std::string& path) {
        char letter = 0;
        std::vector<std::string> components;
        // What the caseless look-up takes exactly as given is asked of FindFile as well.
        if (!SplitProgramPath(path, letter, components) || components.empty() ||
            components.size() > kMaxCaselessDepth)
            return platform_.FindFile(path);
        const std::string name = std::move(components.back());
        components.pop_back();
        return SizeIn(FolderOf(letter, components), path, name);
    }

    std::optional<std::int64_t> SizeIn(const Folder& folder, const std::string& path,
                                       const std::string& name) {
        switch (folder.kind) {
        case Kind::Missing:
            return std::nullopt;
        case Kind::Unlisted:
            return platform_.FindFile(path);
        case Kind::Listed:
            break;
        }
        const FolderSizes::Answer answer = FolderSizes::SizeOf(*folder.listing, name);
        if (!answer.known)
            return platform_.FindFile(path);
        asGiven_ = answer.asGiven && folder.asGiven;
        return answer.size;
    }

    Folder Look(char letter, const std::string& folder) {
        // Names on c: are exact; only removable and mapped drives match without case.
        const DriveType type = platform_.GetDriveType(std::string(1, letter) + ":");
        if (type != DriveType::Removable)
            return {};
        const std::string onDisk = platform_.ToLinuxPath(folder);
        struct stat st {};
        if (onDisk.empty())
            return {};
        if (::stat(onDisk.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return {Kind::Missing, nullptr};
        FolderSizes::Listing* listing = folders_.Open(onDisk);
        if (listing == nullptr)
            return {};
        return {Kind::Listed, listing, onDisk == platform_.LinuxPathAsGiven(folder)};
    }

    PosixPlatform& platform_;
    FolderSizes folders_;
    std::unordered_map<std::string, Folder> folderOf_;
    std::unordered_map<std::string, Folder*, ViewHash, std::equal_to<>> folderOfSpelling_;
    bool asGiven_ = false;
};

} // namespace

std::unique_ptr<IFileSizes> PosixPlatform::FileSizes() {
    return std::make_unique<ListedFileSizes>(*this);
}

std::unique_ptr<IFile> PosixPlatform::OpenRead(const std::string& path, std::string& error) {
    return PosixFile::OpenRead(ToLinuxPath(path), error);
}

std::unique_ptr<IFile> PosixPlatform::CreateWrite(const std::string& path, std::string& error) {
    return PosixFile::CreateWrite(ToLinuxPath(path), error);
}

bool PosixPlatform::DeleteFile(const std::string& path) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    return !onDisk.empty() && ::unlink(onDisk.c_str()) == 0;
}

bool PosixPlatform::CopyFile(const std::string& source, const std::string& dest) {
    const std::string from = ToLinuxPath(source);
    const std::string to = ToLinuxPath(dest);
    if (from.empty() || to.empty() || IsDirectory(to))
        return false;
    std::string error;
    auto in = PosixFile::OpenRead(from, error);
    if (!in)
        return false;
    // The copy grows in a temporary file beside the destination and replaces it in one
    // rename, so a failed copy never leaves a half-written destination.
    std::string tempName;
    int err = 0;
    UniqueFd out = CreateTempBeside(to, 0666, tempName, err);
    if (!out)
        return false;
    auto fail = [&] {
        out.reset();
        ::unlink(tempName.c_str());
        return false;
    };
    std::vector<char> buffer(1 << 18);
    for (;;) {
        const std::int64_t n = in->Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
        if (n < 0)
            return fail();
        if (n == 0)
            break;
        if (WriteFully(out.get(), buffer.data(), n, err) != n)
            return fail();
    }
    if (::fsync(out.get()) != 0)
        return fail();
    if (::close(out.release()) != 0 || ::rename(tempName.c_str(), to.c_str()) != 0) {
        ::unlink(tempName.c_str());
        return false;
    }
    return true;
}

std::optional<std::uint64_t> PosixPlatform::GetDiskFreeSpace(const std::string& path) {
    std::string folder = ToLinuxPath(path);
    if (folder.empty())
        return std::nullopt;
    for (;;) {
        struct statvfs vfs {};
        if (::statvfs(folder.c_str(), &vfs) == 0) {
            // A volume without a size (FUSE file systems such as fusefat report no blocks
            // at all) cannot tell its free space; zero would refuse every song.
            if (vfs.f_blocks == 0)
                return std::nullopt;
            return static_cast<std::uint64_t>(vfs.f_bavail) *
                   static_cast<std::uint64_t>(vfs.f_frsize);
        }
        if ((errno != ENOENT && errno != ENOTDIR) || folder == "/")
            return std::nullopt;
        folder = ParentOf(folder);
    }
}

// ---- Writing copies ------------------------------------------------------------------------

NameInfo PosixPlatform::StatName(const std::string& path) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    NameInfo info;
    struct stat st {};
    if (onDisk.empty() || ::lstat(onDisk.c_str(), &st) != 0)
        return info;
    info.kind = S_ISREG(st.st_mode)   ? NameKind::File
                : S_ISDIR(st.st_mode) ? NameKind::Folder
                                      : NameKind::Other;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                      static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return info;
}

std::unique_ptr<IFile> PosixPlatform::CreateNew(const std::string& path, std::string& error,
                                                bool& taken) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    return PosixFile::CreateNew(onDisk, error, taken);
}

RenameResult PosixPlatform::RenameFile(const std::string& from, const std::string& to, bool replace,
                                       std::string& error) {
    const PlacePaths paths = impl_->ForPlacing(from, to);
    const std::string& source = paths.source;
    const std::string& target = paths.target;
    const PlaceOptions& options = paths.options;
    if (source.empty() || target.empty()) {
        error = ErrnoText(ENOENT);
        return RenameResult::Failed;
    }
    const int err = replace ? (::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno)
                            : PlaceNoReplace(source, target, options);
    if (err == 0)
        return RenameResult::Done;
    error = ErrnoText(err);
    return err == EEXIST && !replace ? RenameResult::NameTaken : RenameResult::Failed;
}

RenameResult PosixPlatform::ReplaceFile(const std::string& from, const std::string& to,
                                        const NameInfo& replacing, std::string& error) {
    const PlacePaths paths = impl_->ForPlacing(from, to);
    const std::string& source = paths.source;
    const std::string& target = paths.target;
    const PlaceOptions& options = paths.options;
    if (source.empty() || target.empty()) {
        error = ErrnoText(ENOENT);
        return RenameResult::Failed;
    }
    if (replacing.kind != NameKind::File)
        return RenameResult::NameTaken;
    const int err = PlaceReplacing(source, target, replacing.device, replacing.inode, options);
    if (err == 0)
        return RenameResult::Done;
    error = ErrnoText(err);
    return err == EEXIST ? RenameResult::NameTaken : RenameResult::Failed;
}

std::optional<std::vector<std::string>> PosixPlatform::ListFolder(const std::string& folder) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(folder);
    }
    if (onDisk.empty())
        return std::nullopt;
    DIR* dir = ::opendir(onDisk.c_str());
    if (dir == nullptr)
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

bool PosixPlatform::DeleteLeftover(const std::string& path, int minAgeSeconds) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    return !onDisk.empty() && DeleteUnlockedLeftover(onDisk, minAgeSeconds);
}

bool PosixPlatform::RemoveEmptyFolder(const std::string& path) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    return !onDisk.empty() && ::rmdir(onDisk.c_str()) == 0;
}

bool PosixPlatform::SyncVolume(const std::string& path, std::string& error) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    // The nearest folder that exists lies on the same volume.
    UniqueFd fd;
    while (!onDisk.empty()) {
        fd.reset(::open(onDisk.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd || (errno != ENOENT && errno != ENOTDIR) || onDisk == "/")
            break;
        onDisk = ParentOf(onDisk);
    }
    if (!fd || ::syncfs(fd.get()) != 0) {
        error = ErrnoText(errno);
        return false;
    }
    return true;
}

bool PosixPlatform::CreateDirectory(const std::string& path, std::string& error) {
    std::string onDisk;
    {
        std::lock_guard lock(impl_->mutex);
        onDisk = impl_->ToLinuxExact(path);
    }
    if (onDisk.empty()) {
        error = ErrnoText(ENOENT);
        return false;
    }
    if (::mkdir(onDisk.c_str(), 0777) == 0)
        return true;
    const int err = errno;
    struct stat st {};
    // A folder of that name is what was wanted; a link to one is not followed into.
    if (err == EEXIST && ::lstat(onDisk.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return true;
    error = ErrnoText(err);
    return false;
}

// ---- The program's own files -------------------------------------------------------------

std::string PosixPlatform::ProgramPath() {
    const std::string file = impl_->LinuxProgramFile();
    return file.empty() ? std::string() : ToProgramPath(file);
}

std::string PosixPlatform::AppFolder() {
    const std::string file = impl_->LinuxProgramFile();
    if (!file.empty()) {
        const std::string folder = ParentOf(file);
        if (IsPortableFolder(folder)) {
            const std::string programForm = ToProgramPath(folder);
            if (!programForm.empty() && !UnderSystemFolder(programForm))
                return programForm;
        }
    }
    const std::string data = JoinPath(impl_->roots.dataHome, "korvello");
    MakeDirs(data);
    return ToProgramPath(data);
}

// ---- Profile files -----------------------------------------------------------------------

std::string PosixPlatform::GetPrivateProfileString(const std::string& section,
                                                   const std::string& key, const std::string& def,
                                                   const std::string& file) {
    const std::string onDisk = ToLinuxPath(file);
    std::string text;
    int err = 0;
    if (onDisk.empty() || !ReadWholeFile(onDisk, text, err))
        return def;
    return ProfileRead(text, section, key, def);
}

bool PosixPlatform::WritePrivateProfileString(const std::string& section, const std::string& key,
                                              const std::string& value, const std::string& file) {
    // A line break in any of the three would write lines nobody asked for.
    if (!ProfileTextsWritable(section, key, value))
        return false;
    const std::string onDisk = ToLinuxPath(file);
    if (onDisk.empty())
        return false;
    std::lock_guard lock(ProfileMutex());
    std::string text;
    int err = 0;
    // A file that exists but cannot be read is left alone rather than replaced by a file
    // holding the one key.
    if (!ReadWholeFile(onDisk, text, err) && err != ENOENT)
        return false;
    ProfileWrite(text, section, key, value);
    return ReplaceFileAtomically(onDisk, text) == 0;
}

void PosixPlatform::GetPrivateProfileStrings(std::vector<ProfileKey>& keys,
                                             const std::string& file) {
    const std::string onDisk = ToLinuxPath(file);
    std::string text;
    int err = 0;
    if (onDisk.empty() || !ReadWholeFile(onDisk, text, err))
        return;
    ProfileReadMany(text, keys);
}

bool PosixPlatform::WritePrivateProfileStrings(const std::vector<ProfileKey>& keys,
                                               const std::string& file) {
    for (const ProfileKey& k : keys)
        if (!ProfileTextsWritable(k.section, k.key, k.value))
            return false;
    const std::string onDisk = ToLinuxPath(file);
    if (onDisk.empty())
        return false;
    std::lock_guard lock(ProfileMutex());
    std::string text;
    int err = 0;
    if (!ReadWholeFile(onDisk, text, err) && err != ENOENT)
        return false;
    ProfileWriteMany(text, keys);
    return ReplaceFileAtomically(onDisk, text) == 0;
}

// ---- Registry stand-in ---------------------------------------------------------------------

namespace {

bool RegistryNameUsable(const std::string& text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

// Reads the registry file; a missing one reads as empty. False when it cannot be read.
bool ReadRegistryFile(const std::string& file, std::string& text) {
    int err = 0;
    if (ReadWholeFile(file, text, err))
        return true;
    text.clear();
    return err == ENOENT;
}

// Keeps a damaged registry file under a name of its own before it is rewritten.
bool KeepDamagedCopy(const std::string& file, const std::string& text) {
    for (int n = 0; n < 100; ++n) {
        const std::string copy = file + ".damaged" + (n == 0 ? "" : "." + std::to_string(n));
        struct stat st {};
        if (::lstat(copy.c_str(), &st) == 0)
            continue;
        return ReplaceFileAtomically(copy, text) == 0;
    }
    return false;
}

// Reads user.reg for a change: its folder is made when missing, and a damaged file is kept
// aside (never silently lost) and the change starts from an empty text.
bool ReadRegistryForChange(const std::string& file, std::string& text, bool& damaged) {
    damaged = false;
    if (!MakeDirs(ParentOf(file)) || !ReadRegistryFile(file, text))
        return false;
    if (RegistryTextParses(text))
        return true;
    // A read-only user.reg is not rewritten, so nothing is kept aside for that write.
    if (IsReadOnlyFile(file) || !KeepDamagedCopy(file, text))
        return false;
    text.clear();
    damaged = true;
    return true;
}

// Rewrites the registry file with one value changed by `change`: the key and value names
// must be usable, the file is read (a damaged one is kept aside) and replaced whole.
template <typename Change>
bool ChangeRegistryValue(const std::string& file, const std::string& key, const std::string& name,
                         Change change) {
    if (!RegistryNameUsable(key) || !RegistryNameUsable(name) || name.empty() ||
        key.find(']') != std::string::npos)
        return false;
    std::lock_guard lock(RegistryMutex());
    std::string text;
    bool damaged = false;
    if (!ReadRegistryForChange(file, text, damaged))
        return false;
    change(text);
    return ReplaceFileAtomically(file, text) == 0;
}

} // namespace

bool PosixPlatform::RegCreateKey(const std::string& key) {
    if (!RegistryNameUsable(key) || key.find(']') != std::string::npos)
        return false;
    std::lock_guard lock(RegistryMutex());
    const std::string file = impl_->RegistryFile();
    std::string text;
    bool damaged = false;
    if (!ReadRegistryForChange(file, text, damaged))
        return false;
    if (!damaged && RegistryHasKey(text, key))
        return true;
    RegistryEnsureKey(text, key);
    return ReplaceFileAtomically(file, text) == 0;
}

RegValue PosixPlatform::RegQueryValue(const std::string& key, const std::string& name) {
    std::lock_guard lock(RegistryMutex());
    std::string text;
    if (!ReadRegistryFile(impl_->RegistryFile(), text) || !RegistryTextParses(text))
        return {};
    return RegistryQuery(text, key, name);
}

bool PosixPlatform::RegSetDword(const std::string& key, const std::string& name,
                                std::uint32_t value) {
    return ChangeRegistryValue(impl_->RegistryFile(), key, name, [&](std::string& text) {
        RegistrySetDword(text, key, name, value);
    });
}

bool PosixPlatform::RegSetString(const std::string& key, const std::string& name,
                                 const std::string& value) {
    if (!RegistryNameUsable(value))
        return false;
    return ChangeRegistryValue(impl_->RegistryFile(), key, name, [&](std::string& text) {
        RegistrySetString(text, key, name, value);
    });
}

// ---- Shell, text and locale ----------------------------------------------------------------

void PosixPlatform::ShellOpen(const std::string& path) {
    // A path whose drive is not there has no Linux form; handing the desktop the program
    // form ("d:\...") would have it open something else entirely.
    const std::string onDisk = ToLinuxPath(path);
    if (onDisk.empty())
        return;
    // Only the window program has a desktop to hand the path to; it passes its hand-off
    // in with the roots. Without one there is nothing to open with.
    if (impl_->roots.shellOpen)
        impl_->roots.shellOpen(onDisk);
}

int PosixPlatform::CompareText(const std::string& a, const std::string& b) {
    return impl_->collation.Compare(a, b);
}

std::string PosixPlatform::CollationKey(const std::string& text) {
    return impl_->collation.SortKey(text);
}

std::string PosixPlatform::LowerCase(const std::string& text) {
    return posix::LowerCase(text);
}

std::string PosixPlatform::UpperCase(const std::string& text) {
    return posix::UpperCase(text);
}

std::string PosixPlatform::DecimalSeparator() {
    const lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || *conv->decimal_point == '\0')
        return ".";
    return conv->decimal_point;
}

namespace {

std::string FormatTime(const char* format, const std::tm& local) {
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

} // namespace

std::string PosixPlatform::ShortDate(const std::tm& local) {
    return FormatTime("%x", local);
}

std::string PosixPlatform::LongTime(const std::tm& local) {
    return FormatTime("%X", local);
}

// ---- Device arrival ------------------------------------------------------------------------

std::vector<WatchDescriptor> PosixPlatform::DeviceWatchDescriptors() {
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    if (!impl_->mountinfoFd)
        impl_->mountinfoFd.reset(
            ::open(impl_->roots.mountinfo.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!impl_->inotifyFd) {
        const std::string folder = impl_->drives.MappedFolder();
        MakeDirs(folder);
        UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (fd && ::inotify_add_watch(fd.get(), folder.c_str(),
                                      IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                          IN_ATTRIB | IN_CLOSE_WRITE | IN_ONLYDIR) >= 0)
            impl_->inotifyFd = std::move(fd);
    }
    std::vector<WatchDescriptor> watch;
    if (impl_->mountinfoFd)
        watch.push_back({impl_->mountinfoFd.get(), true});
    if (impl_->inotifyFd)
        watch.push_back({impl_->inotifyFd.get(), false});
    return watch;
}

bool PosixPlatform::PollDeviceArrival() {
    std::lock_guard lock(impl_->mutex);
    impl_->EnsureLoaded();
    char buffer[8192];
    if (impl_->inotifyFd) {
        while (::read(impl_->inotifyFd.get(), buffer, sizeof buffer) > 0) {
        }
    }
    if (impl_->mountinfoFd) {
        // The kernel keeps signalling POLLPRI until the table is read again from the start.
        ::lseek(impl_->mountinfoFd.get(), 0, SEEK_SET);
        while (::read(impl_->mountinfoFd.get(), buffer, sizeof buffer) > 0) {
        }
    }
    impl_->drives.Refresh();
    const bool arrived = impl_->drives.Arrivals() != impl_->polledArrivals;
    impl_->polledArrivals = impl_->drives.Arrivals();
    return arrived;
}

} // namespace korvello
