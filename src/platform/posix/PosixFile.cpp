// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/PosixFile.h"

#include "platform/posix/FileMapping.h"
#include "platform/posix/PlaceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvello::posix {

namespace {

// Opens non-blocking so a FIFO cannot hang the caller, then insists on a regular file
// and switches back to blocking I/O.
std::unique_ptr<IFile> OpenRegular(const std::string& linuxPath, int flags, bool writable,
                                   std::string& error) {
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
    return std::make_unique<PosixFile>(std::move(fd), writable);
}

} // namespace

std::unique_ptr<IFile> PosixFile::OpenRead(const std::string& linuxPath, std::string& error) {
    return OpenRegular(linuxPath, O_RDONLY, false, error);
}

std::unique_ptr<IFileMapping> PosixFile::Map(std::int64_t size) {
    if (!fd_ || writable_)
        return nullptr;
    return MapFile(fd_.get(), size);
}

std::unique_ptr<IFile> PosixFile::CreateWrite(const std::string& linuxPath, std::string& error) {
    return OpenRegular(linuxPath, O_WRONLY | O_CREAT | O_TRUNC, true, error);
}

std::unique_ptr<IFile> PosixFile::CreateNew(const std::string& linuxPath, std::string& error,
                                            bool& taken) {
    taken = false;
    if (linuxPath.empty()) {
        error = ErrnoText(ENOENT);
        return nullptr;
    }
    // O_EXCL also refuses a symbolic link in the name's place, wherever it points.
    int err = 0;
    UniqueFd fd = CreateLocked(linuxPath, O_WRONLY, err);
    if (!fd) {
        taken = err == EEXIST;
        error = ErrnoText(err);
        return nullptr;
    }
    // The lock belongs to the open file, which a second descriptor keeps open after the
    // file is closed: a finished copy stays locked until it has its own name.
    UniqueFd lock(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!lock) {
        err = errno;
        ::unlink(linuxPath.c_str());
        error = ErrnoText(err);
        return nullptr;
    }
    auto file = std::make_unique<PosixFile>(std::move(fd), true);
    file->lock_ = std::move(lock);
    return file;
}

PosixFile::~PosixFile() {
    Close();
}

std::int64_t PosixFile::Read(void* buffer, std::int64_t count) {
    if (!fd_) {
        SetError(EBADF);
        return -1;
    }
    if (count <= 0)
        return 0;
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    // Whatever the read-ahead holds comes first.
    if (readPos_ < readEnd_) {
        const std::size_t take =
            std::min<std::size_t>(readEnd_ - readPos_, static_cast<std::size_t>(count));
        std::memcpy(out, readBuffer_.data() + readPos_, take);
        readPos_ += take;
        done = static_cast<std::int64_t>(take);
        if (done == count)
            return done;
    }
    int err = 0;
    const std::int64_t wanted = count - done;
    if (static_cast<std::size_t>(wanted) >= kBufferSize) {
        // A big read (a whole database) goes straight to the caller's buffer.
        const std::int64_t n = ReadFully(fd_.get(), out + done, wanted, err);
        if (n < 0) {
            SetError(err);
            return done > 0 ? done : -1;
        }
        return done + n;
    }
    readBuffer_.resize(kBufferSize);
    const std::int64_t n =
        ReadFully(fd_.get(), readBuffer_.data(), static_cast<std::int64_t>(kBufferSize), err);
    if (n < 0) {
        SetError(err);
        readPos_ = readEnd_ = 0;
        return done > 0 ? done : -1;
    }
    readPos_ = 0;
    readEnd_ = static_cast<std::size_t>(n);
    const std::size_t take = std::min<std::size_t>(readEnd_, static_cast<std::size_t>(wanted));
    std::memcpy(out + done, readBuffer_.data(), take);
    readPos_ = take;
    return done + static_cast<std::int64_t>(take);
}

bool PosixFile::Flush() {
    if (writeBuffer_.empty())
        return true;
    int err = 0;
    const auto size = static_cast<std::int64_t>(writeBuffer_.size());
    const std::int64_t n = WriteFully(fd_.get(), writeBuffer_.data(), size, err);
    writeBuffer_.clear();
    if (n != size) {
        // A write the kernel cut short without saying why is a full volume.
        SetError(err != 0 ? err : ENOSPC);
        return false;
    }
    return true;
}

void PosixFile::SetError(int err) {
    errno_ = err;
}

std::error_code PosixFile::Error() const {
    return errno_ == 0 ? std::error_code() : std::error_code(errno_, std::generic_category());
}

std::int64_t PosixFile::Write(const void* buffer, std::int64_t count) {
    if (!fd_ || !writable_) {
        SetError(EBADF);
        return -1;
    }
    if (count <= 0)
        return 0;
    // Bytes collected earlier that cannot be stored make this write fail: the caller learns
    // of a full disk one block late, but never takes a cut file for a whole one.
    if (writeBuffer_.size() + static_cast<std::size_t>(count) > kBufferSize && !Flush())
        return -1;
    if (static_cast<std::size_t>(count) >= kBufferSize) {
        int err = 0;
        const std::int64_t n = WriteFully(fd_.get(), buffer, count, err);
        if (n < 0 || err != 0)
            SetError(err != 0 ? err : EIO);
        return n;
    }
    const auto* in = static_cast<const char*>(buffer);
    writeBuffer_.insert(writeBuffer_.end(), in, in + count);
    return count;
}

std::int64_t PosixFile::Size() {
    struct stat st {};
    if (!fd_ || ::fstat(fd_.get(), &st) != 0) {
        SetError(fd_ ? errno : EBADF);
        return -1;
    }
    return st.st_size + static_cast<std::int64_t>(writeBuffer_.size());
}

bool PosixFile::Close() {
    if (!fd_)
        return true;
    const bool flushed = Flush();
    // Linux releases the descriptor even when close() fails, so it is never retried.
    if (::close(fd_.release()) != 0) {
        if (flushed)
            SetError(errno);
        return false;
    }
    return flushed;
}

bool PosixFile::Sync() {
    if (!fd_) {
        SetError(EBADF);
        return false;
    }
    if (!Flush())
        return false;
    if (::fsync(fd_.get()) != 0) {
        SetError(errno);
        return false;
    }
    return true;
}

NameInfo PosixFile::Identity() const {
    const int fd = fd_ ? fd_.get() : lock_.get();
    struct stat st {};
    NameInfo info;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return info;
    info.kind = NameKind::File;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 +
                      static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return info;
}

bool PosixFile::Seek(std::int64_t offset) {
    // Bytes collected for writing belong before the new position.
    if (!fd_ || offset < 0 || !Flush()) {
        if (!fd_ || offset < 0)
            SetError(fd_ ? EINVAL : EBADF);
        return false;
    }
    if (::lseek(fd_.get(), offset, SEEK_SET) < 0) {
        SetError(errno);
        return false;
    }
    readPos_ = readEnd_ = 0;
    return true;
}

} // namespace korvello::posix

namespace korvello {

std::string ErrorCodeText(const std::error_code& error) {
    if (!error)
        return {};
    if (error.category() == std::generic_category() || error.category() == std::system_category())
        return posix::ErrnoText(error.value());
    // Not an errno value: message() may not be thread-safe, so the category names it.
    return std::string(error.category().name()) + " error " + std::to_string(error.value());
}

} // namespace korvello
