// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/FileUtil.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>

namespace korvello::posix {

std::string ErrnoText(int err) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return text ? std::string(text) : std::string("error ") + std::to_string(err);
}

std::int64_t ReadFully(int fd, void* buffer, std::int64_t count, int& err) {
    if (count < 0) {
        err = EINVAL;
        return -1;
    }
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, out + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (done > 0)
                break;
            err = errno;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

std::int64_t WriteFully(int fd, const void* buffer, std::int64_t count, int& err) {
    if (count < 0) {
        err = EINVAL;
        return -1;
    }
    const auto* in = static_cast<const char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, in + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            if (done > 0)
                break;
            return -1;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
    return out;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& content, int& err) {
    content.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) {
        err = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        err = errno;
        return false;
    }
    // A FIFO or device in place of a settings file must not hang the program.
    if (!S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    char chunk[65536];
    for (;;) {
        const std::int64_t n = ReadFully(fd.get(), chunk, sizeof chunk, err);
        if (n < 0)
            return false;
        content.append(chunk, static_cast<std::size_t>(n));
        if (n < static_cast<std::int64_t>(sizeof chunk))
            return true;
    }
}

UniqueFd CreateTempBeside(const std::string& path, mode_t mode, std::string& tempName, int& err) {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 random{std::random_device{}()};
    const std::string folder = ParentOf(path);
    const std::string base = BaseName(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Hidden, and named after the file it stands in for, so a leftover after a power
        // cut is recognisable.
        tempName = JoinPath(folder, "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter++) + "-" +
                                        std::to_string(random() % 1000000));
        const int fd =
            ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
        if (fd >= 0)
            return UniqueFd(fd);
        if (errno != EEXIST) {
            err = errno;
            return UniqueFd();
        }
    }
    err = EEXIST;
    return UniqueFd();
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

int ReplaceFileAtomically(const std::string& path, std::string_view content) {
    std::string target = path;
    struct stat st {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (IsReadOnlyFile(path))
            return EACCES;
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            char resolved[PATH_MAX];
            if (::realpath(path.c_str(), resolved) != nullptr)
                target = resolved;
        }
    }
    std::string tempName;
    int err = 0;
    UniqueFd fd = CreateTempBeside(target, 0666, tempName, err);
    if (!fd)
        return err;
    auto fail = [&](int e) {
        fd.reset();
        ::unlink(tempName.c_str());
        return e;
    };
    if (exists && ::fchmod(fd.get(), st.st_mode & 07777) != 0)
        return fail(errno);
    const auto size = static_cast<std::int64_t>(content.size());
    const std::int64_t written = WriteFully(fd.get(), content.data(), size, err);
    if (written != size)
        return fail(written < 0 ? err : (err ? err : EIO));
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0) {
        const int e = errno;
        ::unlink(tempName.c_str());
        return e;
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(tempName.c_str());
        return e;
    }
    return 0;
}

} // namespace korvello::posix
