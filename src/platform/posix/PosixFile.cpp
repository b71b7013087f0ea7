#include "platform/posix/PosixFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace korvello::posix {

namespace {

// Opens non-blocking so a FIFO cannot hang the caller, then insists on a regular file
// and switches back to blocking I/O.
std::unique_ptr<IFile> OpenRegular(const std::string& linuxPath, int flags, std::string& error) {
    if (linuxPath.empty()) {
        error = ErrnoText(ENOENT);
        return nullptr;
    }
    UniqueFd fd(::open(linuxPath.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!fd) {
        error = ErrnoText(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = ErrnoText(errno);
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        error = ErrnoText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        return nullptr;
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) < 0) {
        error = ErrnoText(errno);
        return nullptr;
    }
    return std::make_unique<PosixFile>(std::move(fd));
}

} // namespace

std::unique_ptr<IFile> PosixFile::OpenRead(const std::string& linuxPath, std::string& error) {
    return OpenRegular(linuxPath, O_RDONLY, error);
}

std::unique_ptr<IFile> PosixFile::CreateWrite(const std::string& linuxPath, std::string& error) {
    return OpenRegular(linuxPath, O_WRONLY | O_CREAT | O_TRUNC, error);
}

PosixFile::~PosixFile() {
    Close();
}

std::int64_t PosixFile::Read(void* buffer, std::int64_t count) {
    if (!fd_) {
        error_ = ErrnoText(EBADF);
        return -1;
    }
    int err = 0;
    const std::int64_t n = ReadFully(fd_.get(), buffer, count, err);
    if (n < 0)
        error_ = ErrnoText(err);
    return n;
}

std::int64_t PosixFile::Write(const void* buffer, std::int64_t count) {
    if (!fd_) {
        error_ = ErrnoText(EBADF);
        return -1;
    }
    int err = 0;
    const std::int64_t n = WriteFully(fd_.get(), buffer, count, err);
    if (n < 0 || err != 0)
        error_ = ErrnoText(err != 0 ? err : EIO);
    return n;
}

std::int64_t PosixFile::Size() {
    struct stat st {};
    if (!fd_ || ::fstat(fd_.get(), &st) != 0) {
        error_ = ErrnoText(fd_ ? errno : EBADF);
        return -1;
    }
    return st.st_size;
}

bool PosixFile::Close() {
    if (!fd_)
        return true;
    // Linux releases the descriptor even when close() fails, so it is never retried.
    if (::close(fd_.release()) != 0) {
        error_ = ErrnoText(errno);
        return false;
    }
    return true;
}

} // namespace korvello::posix
