// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PlaceFile.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace korvello::posix {

namespace {

// How long a job waits for another job's claim on a name; a claim is held only for the
// moment of a check and a rename.
constexpr auto kClaimWait = std::chrono::seconds(30);

void Step(const PlaceOptions& options, std::string_view step) {
    if (options.step)
        options.step(step);
}

bool NameIsFile(const std::string& path, const struct stat& open) {
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == open.st_dev &&
           now.st_ino == open.st_ino;
}

bool FlagsUnsupported(int err) {
    return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// ".X.mp3.korvello-claim", with the name cut (at a character boundary) to fit.
std::string ClaimName(const std::string& to) {
    std::string name = BaseName(to);
    const std::size_t room = 255 - 1 - kClaimSuffix.size();
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return JoinPath(ParentOf(to), "." + name + std::string(kClaimSuffix));
}

// A held claim on a name: released (removed, then unlocked) with its owner.
class Claim {
public:
    Claim(std::string path, UniqueFd fd) : path_(std::move(path)), fd_(std::move(fd)) {}
    Claim(Claim&&) = default;
    ~Claim() {
        if (fd_) {
            ::unlink(path_.c_str());
            fd_.reset();
        }
    }

private:
    std::string path_;
    UniqueFd fd_;
};

// Takes the claim on `to`, waiting while another job holds it and taking over one that a
// killed job left. Invalid fd with `err` set when it cannot be had.
UniqueFd TakeClaim(const std::string& claim, const PlaceOptions& options, int& err) {
    const auto deadline = std::chrono::steady_clock::now() + kClaimWait;
    for (;;) {
        Step(options, "claim");
        UniqueFd fd = CreateLocked(claim, O_RDWR, err);
        if (fd || err != EEXIST)
            return fd;
        if (DeleteUnlockedLeftover(claim, kLeftoverAgeSeconds))
            continue;
        if (std::chrono::steady_clock::now() > deadline) {
            err = EBUSY;
            return UniqueFd();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

UniqueFd CreateLocked(const std::string& path, int flags, int& err) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        UniqueFd fd(::open(path.c_str(), flags | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
        if (!fd) {
            err = errno;
            return fd;
        }
        // Blocks only while a cleanup looks at the new file; the cleanup then either left
        // it alone or removed the name, which the check below notices.
        while (::flock(fd.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                err = errno;
                ::unlink(path.c_str());
                return UniqueFd();
            }
        }
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0 && NameIsFile(path, st))
            return fd;
    }
    err = EAGAIN;
    return UniqueFd();
}

bool DeleteUnlockedLeftover(const std::string& path, int minAgeSeconds) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto age =
        static_cast<long long>(std::time(nullptr)) - static_cast<long long>(st.st_mtim.tv_sec);
    if (std::llabs(age) < minAgeSeconds)
        return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false; // a running job holds it
    // Under the lock: the name must still be the file looked at, not one made since.
    return NameIsFile(path, st) && ::unlink(path.c_str()) == 0;
}

int PlaceNoReplace(const std::string& from, const std::string& to, const PlaceOptions& options) {
    if (!options.plainRenames) {
        Step(options, "rename2");
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (!FlagsUnsupported(errno))
            return errno;
        // A hard link claims the name just as atomically (many FUSE and network file
        // systems have one); a kill before the unlink leaves the song under both names.
        Step(options, "link");
        if (::link(from.c_str(), to.c_str()) == 0) {
            ::unlink(from.c_str());
            return 0;
        }
        if (errno == EEXIST)
            return EEXIST;
    }
    int err = 0;
    const std::string claimPath = ClaimName(to);
    UniqueFd fd = TakeClaim(claimPath, options, err);
    if (!fd)
        return err;
    const Claim claim(claimPath, std::move(fd));
    Step(options, "check");
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    if (errno != ENOENT)
        return errno;
    Step(options, "rename");
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errno;
    Step(options, "unclaim");
    return 0;
}

int PlaceReplacing(const std::string& from, const std::string& to, std::uint64_t device,
                   std::uint64_t inode, const PlaceOptions& options) {
    auto isChecked = [&](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               static_cast<std::uint64_t>(st.st_dev) == device &&
               static_cast<std::uint64_t>(st.st_ino) == inode;
    };
    // The claim makes jobs of this program take turns, so one never swaps out what
    // another just put there; the exchange guards against every other program.
    int err = 0;
    const std::string claimPath = ClaimName(to);
    UniqueFd fd = TakeClaim(claimPath, options, err);
    if (!fd)
        return err;
    const Claim claim(claimPath, std::move(fd));
    Step(options, "check");
    if (!isChecked(to))
        return EEXIST;
    if (!options.plainRenames) {
        Step(options, "exchange");
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) {
            // `from` now holds what `to` held a moment ago.
            Step(options, "check");
            if (isChecked(from)) {
                Step(options, "remove");
                ::unlink(from.c_str());
                Step(options, "unclaim");
                return 0;
            }
            Step(options, "put back");
            if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0)
                return errno;
            return EEXIST;
        }
        if (!FlagsUnsupported(errno))
            return errno;
    }
    Step(options, "rename");
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errno;
    Step(options, "unclaim");
    return 0;
}

} // namespace korvello::posix
