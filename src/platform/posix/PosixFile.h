#pragma once
// An open file of the Linux backend: a descriptor with block reads and writes that move
// the whole count unless the kernel stops short.

#include "platform/Platform.h"
#include "platform/posix/FileUtil.h"

#include <memory>
#include <string>

namespace korvello::posix {

class PosixFile final : public IFile {
public:
    // Opens an existing regular file read-only. A player may be mounted read-only, and a
    // FIFO or device file put where a song should be must not block or be read.
    static std::unique_ptr<IFile> OpenRead(const std::string& linuxPath, std::string& error);
    // Creates or empties a regular file for writing.
    static std::unique_ptr<IFile> CreateWrite(const std::string& linuxPath, std::string& error);

    explicit PosixFile(UniqueFd fd) : fd_(std::move(fd)) {}
    ~PosixFile() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Size() override;
    bool Close() override;
    std::string ErrorText() const override { return error_; }

private:
    UniqueFd fd_;
    std::string error_;
};

} // namespace korvello::posix
