#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// POSIX file helpers shared by the Linux backend: an owned descriptor, loops that move a
// whole count through read()/write(), and the write-beside-then-rename that every file
// the backend rewrites goes through, so an interrupted write never leaves half a file.

#include <cstdint>
#include <string>
#include <string_view>

#include <sys/types.h>
#include <unistd.h>

namespace korvello::posix {

// A file descriptor closed with its owner.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// strerror text of an errno value, thread-safe.
std::string ErrnoText(int err);

// Reads until `count` bytes arrived or the file ended; retries on EINTR. Returns the bytes
// read, or -1 (with `err` set) when the very first read failed.
std::int64_t ReadFully(int fd, void* buffer, std::int64_t count, int& err);
// Writes until `count` bytes went out; retries on EINTR. A failure after some bytes were
// written returns the bytes written (the caller sees a short count); a failure before any
// byte returns -1 with `err` set.
std::int64_t WriteFully(int fd, const void* buffer, std::int64_t count, int& err);

// Folder part and last name of a Linux path ("/a/b" -> "/a", "b"; "/a" -> "/", "a").
std::string ParentOf(const std::string& path);
std::string BaseName(const std::string& path);
// `folder` + "/" + `name`, without doubling the slash of "/".
std::string JoinPath(const std::string& folder, std::string_view name);

bool IsDirectory(const std::string& path);

// Whole content of a file. False (with `err` set, ENOENT for a missing file) when it
// cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content, int& err);

// Creates a new, uniquely named temporary file in the folder of `path` (O_EXCL, the
// permissions `mode` less the umask). Returns an invalid descriptor with `err` set on
// failure.
UniqueFd CreateTempBeside(const std::string& path, mode_t mode, std::string& tempName, int& err);

// A file that exists and is read-only: no write permission bit is set (which stops even
// root, as the read-only attribute does on Windows), or this user may not write it.
bool IsReadOnlyFile(const std::string& path);

// Replaces the file at `path` with `content`: a temporary file beside it is written,
// flushed to disk and renamed over it. A symbolic link is followed, so the file it names
// is replaced and the link kept; an existing file keeps its permissions. A read-only file
// is not replaced (EACCES), since the rename would otherwise go past its permissions.
// Returns 0, or the errno of the step that failed, in which case `path` is unchanged and
// no temporary file is left behind.
int ReplaceFileAtomically(const std::string& path, std::string_view content);

} // namespace korvello::posix
