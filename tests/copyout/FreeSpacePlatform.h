#pragma once
// A real PosixPlatform with the free-space figure (and, for 64-bit sizes, the size of a
// chosen file) under the test's control. Every other call goes to the real backend.

#include "platform/Platform.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace korvello::test {

class FreeSpacePlatform final : public IPlatform {
public:
    explicit FreeSpacePlatform(IPlatform& inner) : inner_(inner) {}

    // Free space to report for every path; until set, the real figure.
    void SetFreeSpace(std::uint64_t bytes) {
        std::lock_guard lock(mutex_);
        free_ = bytes;
    }
    // The volume cannot be asked.
    void SetFreeSpaceUnknown() {
        std::lock_guard lock(mutex_);
        freeUnknown_ = true;
    }
    // Size FindFile reports for one path (the file itself stays small).
    void SetFakeSize(const std::string& path, std::int64_t bytes) {
        std::lock_guard lock(mutex_);
        fakeSizes_[path] = bytes;
    }
    int Opens() const { return opens_; }

    std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& p) override {
        {
            std::lock_guard lock(mutex_);
            if (freeUnknown_)
                return std::nullopt;
            if (free_)
                return free_;
        }
        return inner_.GetDiskFreeSpace(p);
    }
    std::optional<std::int64_t> FindFile(const std::string& p) override {
        {
            std::lock_guard lock(mutex_);
            if (const auto it = fakeSizes_.find(p); it != fakeSizes_.end())
                return it->second;
        }
        return inner_.FindFile(p);
    }
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        ++opens_;
        return inner_.OpenRead(p, error);
    }
    std::unique_ptr<IFile> CreateWrite(const std::string& p, std::string& error) override {
        ++opens_;
        return inner_.CreateWrite(p, error);
    }

    std::uint32_t GetLogicalDrives() override { return inner_.GetLogicalDrives(); }
    DriveType GetDriveType(const std::string& root) override { return inner_.GetDriveType(root); }
    bool DirectoryExists(const std::string& p) override { return inner_.DirectoryExists(p); }
    unsigned SetErrorMode(unsigned mode) override { return inner_.SetErrorMode(mode); }
    bool GetVolumeInformation(const std::string& root, std::string& label) override {
        return inner_.GetVolumeInformation(root, label);
    }
    std::vector<DriveInfo> Drives() override { return inner_.Drives(); }
    std::string ToLinuxPath(const std::string& p) override { return inner_.ToLinuxPath(p); }
    std::string ToProgramPath(const std::string& p) override { return inner_.ToProgramPath(p); }
    std::string DisplayPath(const std::string& p) override { return inner_.DisplayPath(p); }
    bool DeleteFile(const std::string& p) override { return inner_.DeleteFile(p); }
    bool CopyFile(const std::string& s, const std::string& d) override {
        return inner_.CopyFile(s, d);
    }
    std::string ProgramPath() override { return inner_.ProgramPath(); }
    std::string AppFolder() override { return inner_.AppFolder(); }
    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& def, const std::string& file) override {
        return inner_.GetPrivateProfileString(section, key, def, file);
    }
    bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& file) override {
        return inner_.WritePrivateProfileString(section, key, value, file);
    }
    bool RegCreateKey(const std::string& key) override { return inner_.RegCreateKey(key); }
    RegValue RegQueryValue(const std::string& key, const std::string& name) override {
        return inner_.RegQueryValue(key, name);
    }
    bool RegSetDword(const std::string& key, const std::string& name,
                     std::uint32_t value) override {
        return inner_.RegSetDword(key, name, value);
    }
    void ShellOpen(const std::string& p) override { inner_.ShellOpen(p); }
    int CompareText(const std::string& a, const std::string& b) override {
        return inner_.CompareText(a, b);
    }
    std::string CollationKey(const std::string& t) override { return inner_.CollationKey(t); }
    std::string LowerCase(const std::string& t) override { return inner_.LowerCase(t); }
    std::string UpperCase(const std::string& t) override { return inner_.UpperCase(t); }
    std::string DecimalSeparator() override { return inner_.DecimalSeparator(); }
    std::string ShortDate(const std::tm& local) override { return inner_.ShortDate(local); }
    std::string LongTime(const std::tm& local) override { return inner_.LongTime(local); }
    std::vector<WatchDescriptor> DeviceWatchDescriptors() override {
        return inner_.DeviceWatchDescriptors();
    }
    bool PollDeviceArrival() override { return inner_.PollDeviceArrival(); }

private:
    IPlatform& inner_;
    std::mutex mutex_;
    std::optional<std::uint64_t> free_;
    bool freeUnknown_ = false;
    std::map<std::string, std::int64_t> fakeSizes_;
    std::atomic<int> opens_{0};
};

} // namespace korvello::test
