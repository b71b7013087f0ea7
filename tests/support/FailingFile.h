#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// An IFile that fails on purpose, to walk the error paths of the database reader and the
// copy worker without kernel tricks: it reads from and writes to bytes in memory or
// another file, lets a chosen number of bytes through, and then fails the read, the write
// or the close with a chosen errno, the way a pulled cable (EIO) or a full card (ENOSPC)
// would. FailingFilesPlatform hands such files out in place of the real ones.

#include "support/ForwardingPlatform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace korvello::test {

// How a FailingFile fails; with nothing set it never does.
struct FileFailure {
    std::optional<std::int64_t> readAfter;  // reads fail once this many bytes were read
    std::optional<std::int64_t> writeAfter; // writes fail once this many bytes were stored
    bool close = false;                     // Close() fails, as a delayed write error does
    int error = EIO;                        // the errno of every failure
    // Size() claims this many bytes more than reads give, as a file on a pseudo file
    // system, or one cut while it is read, does; a read at the real end returns 0.
    std::int64_t missing = 0;

    static FileFailure ReadAfter(std::int64_t bytes, int error = EIO) {
        return {bytes, std::nullopt, false, error};
    }
    static FileFailure WriteAfter(std::int64_t bytes, int error = EIO) {
        return {std::nullopt, bytes, false, error};
    }
    static FileFailure AtClose(int error = EIO) {
        return {std::nullopt, std::nullopt, true, error};
    }
    static FileFailure ShortOfItsSize(std::int64_t missing) {
        return {std::nullopt, std::nullopt, false, EIO, missing};
    }
};

class FailingFile final : public IFile {
public:
    // Over bytes in memory: reads return `content`, writes append to it.
    FailingFile(std::string content, FileFailure failure)
        : memory_(std::move(content)), failure_(failure) {}
    // Over another file, whose own failures come through as they are.
    FailingFile(std::unique_ptr<IFile> inner, FileFailure failure)
        : inner_(std::move(inner)), failure_(failure) {}

    // A read that reaches the limit returns the bytes before it; the next one fails.
    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (closed_)
            return Fail(EBADF);
        const std::int64_t allowed = Allowed(count, read_, failure_.readAfter);
        if (count > 0 && allowed == 0)
            return Fail(failure_.error);
        const std::int64_t n = inner_ ? inner_->Read(buffer, allowed) : ReadMemory(buffer, allowed);
        read_ += std::max<std::int64_t>(n, 0);
        return n;
    }
    // A write that crosses the limit stores the bytes before it and fails, as a buffered
    // file that could store only part of its buffer does.
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (closed_)
            return Fail(EBADF);
        const std::int64_t allowed = Allowed(count, written_, failure_.writeAfter);
        std::int64_t n = 0;
        if (allowed > 0) {
            n = inner_ ? inner_->Write(buffer, allowed) : WriteMemory(buffer, allowed);
            if (n < 0)
                return n;
            written_ += n;
        }
        return allowed < count ? Fail(failure_.error) : n;
    }
    std::int64_t Size() override {
        return (inner_ ? inner_->Size() : static_cast<std::int64_t>(memory_.size())) +
               failure_.missing;
    }
    // Closing twice is harmless and keeps the first close's error.
    bool Close() override {
        if (closed_)
            return true;
        closed_ = true;
        const bool closed = inner_ ? inner_->Close() : true;
        if (failure_.close) {
            Fail(failure_.error);
            return false;
        }
        return closed;
    }
    std::error_code Error() const override {
        if (error_ != 0)
            return {error_, std::generic_category()};
        return inner_ ? inner_->Error() : std::error_code();
    }
    bool Seek(std::int64_t offset) override {
        if (inner_)
            return inner_->Seek(offset);
        if (offset < 0) {
            Fail(EINVAL);
            return false;
        }
        position_ = static_cast<std::size_t>(offset);
        return true;
    }

    // A failure armed for the close also fails the sync before it, as a disk that cannot
    // store the data does.
    bool Sync() override {
        if (closed_)
            return Fail(EBADF) == 0;
        if (failure_.close)
            return Fail(failure_.error) == 0;
        return inner_ ? inner_->Sync() : true;
    }
    NameInfo Identity() const override { return inner_ ? inner_->Identity() : NameInfo(); }

    // What was written to a file in memory.
    const std::string& Content() const { return memory_; }

private:
    static std::int64_t Allowed(std::int64_t count, std::int64_t done,
                                const std::optional<std::int64_t>& limit) {
        if (count <= 0)
            return 0;
        return limit ? std::clamp<std::int64_t>(*limit - done, 0, count) : count;
    }
    std::int64_t Fail(int error) {
        error_ = error;
        return -1;
    }
    std::int64_t ReadMemory(void* buffer, std::int64_t count) {
        const std::size_t n =
            position_ >= memory_.size()
                ? 0
                : std::min(memory_.size() - position_, static_cast<std::size_t>(count));
        std::memcpy(buffer, memory_.data() + position_, n);
        position_ += n;
        return static_cast<std::int64_t>(n);
    }
    std::int64_t WriteMemory(const void* buffer, std::int64_t count) {
        memory_.append(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
        return count;
    }

    std::unique_ptr<IFile> inner_;
    std::string memory_;
    std::size_t position_ = 0;
    FileFailure failure_;
    std::int64_t read_ = 0;
    std::int64_t written_ = 0;
    bool closed_ = false;
    int error_ = 0;
};

// The platform it wraps, except that a file opened (OpenRead) or created (CreateNew,
// CreateWrite) under a chosen program path, exactly as the caller names it, is a
// FailingFile over the real one. Set up before the code under test runs.
class FailingFilesPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;

    void FailFile(const std::string& path, FileFailure failure) { failures_[path] = failure; }

    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        return Wrap(p, ForwardingPlatform::OpenRead(p, error));
    }
    std::unique_ptr<IFile> CreateWrite(const std::string& p, std::string& error) override {
        return Wrap(p, ForwardingPlatform::CreateWrite(p, error));
    }
    std::unique_ptr<IFile> CreateNew(const std::string& p, std::string& error,
                                     bool& taken) override {
        return Wrap(p, ForwardingPlatform::CreateNew(p, error, taken));
    }

private:
    std::unique_ptr<IFile> Wrap(const std::string& path, std::unique_ptr<IFile> file) const {
        const auto it = failures_.find(path);
        if (!file || it == failures_.end())
            return file;
        return std::make_unique<FailingFile>(std::move(file), it->second);
    }

    std::map<std::string, FileFailure> failures_;
};

} // namespace korvello::test
