#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// An open file of the Linux backend: a descriptor with block reads and writes that move
// the whole count unless the kernel stops short.

#include "platform/Platform.h"
#include "platform/posix/FileUtil.h"

#include <memory>
#include <string>
#include <vector>

namespace korvello::posix {

class PosixFile final : public IFile {
public:
    // Opens an existing regular file read-only. A player may be mounted read-only, and a
    // FIFO or device file put where a song should be must not block or be read.
    static std::unique_ptr<IFile> OpenRead(const std::string& linuxPath, std::string& error);
    // Creates or empties a regular file for writing.
    static std::unique_ptr<IFile> CreateWrite(const std::string& linuxPath, std::string& error);
    // Creates a new file for writing (O_EXCL: an existing name, even a dangling symbolic
    // link, is refused with `taken` set), locked until the object is destroyed.
    static std::unique_ptr<IFile> CreateNew(const std::string& linuxPath, std::string& error,
                                            bool& taken);

    PosixFile(UniqueFd fd, bool writable) : fd_(std::move(fd)), writable_(writable) {}
    ~PosixFile() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Size() override;
    bool Close() override;
    std::error_code Error() const override;
    bool Seek(std::int64_t offset) override;
    bool Sync() override;
    NameInfo Identity() const override;
    // A read-only mapping (FileMapping.h) of a file opened for reading.
    std::unique_ptr<IFileMapping> Map(std::int64_t size) override;

private:
    // Small blocks (the copy moves 2048 bytes at a time) would cost two system calls per
    // block; the file reads ahead and collects writes in buffers of this size instead.
    static constexpr std::size_t kBufferSize = 256 * 1024;

    bool Flush();
    void SetError(int err);

    UniqueFd fd_;
    UniqueFd lock_; // a second descriptor of a new file, holding its lock after Close()
    bool writable_ = false;
    int errno_ = 0; // the last failure; 0 before any
    std::vector<char> readBuffer_;
    std::size_t readPos_ = 0;
    std::size_t readEnd_ = 0;
    std::vector<char> writeBuffer_;
};

} // namespace korvello::posix
