#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The real backend with the free-space figure (and, for 64-bit sizes, the size of a
// chosen file) under the test's control; it also counts the files opened.

#include "support/ForwardingPlatform.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

namespace korvello::test {

class FreeSpacePlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;

    // Until set, the real figure; `unknown` makes the volume impossible to ask.
    void SetFreeSpace(std::uint64_t bytes, bool unknown = false) {
        std::lock_guard lock(mutex_);
        free_ = bytes;
        unknown_ = unknown;
    }
    void SetFakeSize(const std::string& path, std::int64_t bytes) {
        std::lock_guard lock(mutex_);
        sizes_[path] = bytes;
    }
    int Opens() const { return opens_; }
    // Names the destination refuses as an NTFS volume refuses "CON.mp3": creating or
    // renaming to them fails with EINVAL's text.
    void RefuseName(const std::string& path) {
        std::lock_guard lock(mutex_);
        refused_.push_back(path);
    }

    std::unique_ptr<IFile> CreateNew(const std::string& p, std::string& error,
                                     bool& taken) override {
        ++opens_;
        if (Refused(p)) {
            taken = false;
            error = "Invalid argument";
            return nullptr;
        }
        return ForwardingPlatform::CreateNew(p, error, taken);
    }
    RenameResult RenameFile(const std::string& from, const std::string& to, bool replace,
                            std::string& error) override {
        if (Refused(to)) {
            error = "Invalid argument";
            return RenameResult::Failed;
        }
        return ForwardingPlatform::RenameFile(from, to, replace, error);
    }

    std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& p) override {
        std::unique_lock lock(mutex_);
        if (unknown_)
            return std::nullopt;
        if (free_)
            return free_;
        lock.unlock();
        return ForwardingPlatform::GetDiskFreeSpace(p);
    }
    std::optional<std::int64_t> FindFile(const std::string& p) override {
        std::unique_lock lock(mutex_);
        if (const auto it = sizes_.find(p); it != sizes_.end())
            return it->second;
        lock.unlock();
        return ForwardingPlatform::FindFile(p);
    }
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        ++opens_;
        return ForwardingPlatform::OpenRead(p, error);
    }
    std::unique_ptr<IFile> CreateWrite(const std::string& p, std::string& error) override {
        ++opens_;
        return ForwardingPlatform::CreateWrite(p, error);
    }

private:
    bool Refused(const std::string& path) {
        std::lock_guard lock(mutex_);
        return std::find(refused_.begin(), refused_.end(), path) != refused_.end();
    }

    std::vector<std::string> refused_;
    std::mutex mutex_;
    std::optional<std::uint64_t> free_;
    bool unknown_ = false;
    std::map<std::string, std::int64_t> sizes_;
    std::atomic<int> opens_{0};
};

} // namespace korvello::test
