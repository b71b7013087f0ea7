#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// An IPlatform that hands every call to another one, for tests that change a single
// service of the real backend (the decimal separator, a file that will not open) and
// leave the rest real.

#include "platform/Platform.h"

namespace korvello::test {

class ForwardingPlatform : public IPlatform {
public:
    explicit ForwardingPlatform(IPlatform& inner) : inner_(inner) {}

    std::uint32_t GetLogicalDrives() override { return inner_.GetLogicalDrives(); }
    DriveType GetDriveType(const std::string& root) override { return inner_.GetDriveType(root); }
    bool DirectoryExists(const std::string& path) override { return inner_.DirectoryExists(path); }
    unsigned SetErrorMode(unsigned mode) override { return inner_.SetErrorMode(mode); }
    bool GetVolumeInformation(const std::string& root, std::string& label) override {
        return inner_.GetVolumeInformation(root, label);
    }
    std::vector<DriveInfo> Drives() override { return inner_.Drives(); }
    std::string ToLinuxPath(const std::string& p) override { return inner_.ToLinuxPath(p); }
    std::string ToProgramPath(const std::string& p) override { return inner_.ToProgramPath(p); }
    std::string DisplayPath(const std::string& p) override { return inner_.DisplayPath(p); }
    std::optional<std::int64_t> FindFile(const std::string& p) override {
        return inner_.FindFile(p);
    }
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        return inner_.OpenRead(p, error);
    }
    std::unique_ptr<IFile> CreateWrite(const std::string& p, std::string& error) override {
        return inner_.CreateWrite(p, error);
    }
    bool DeleteFile(const std::string& p) override { return inner_.DeleteFile(p); }
    bool CopyFile(const std::string& s, const std::string& d) override {
        return inner_.CopyFile(s, d);
    }
    std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& p) override {
        return inner_.GetDiskFreeSpace(p);
    }
    NameInfo StatName(const std::string& p) override { return inner_.StatName(p); }
    std::unique_ptr<IFile> CreateNew(const std::string& p, std::string& error,
                                     bool& taken) override {
        return inner_.CreateNew(p, error, taken);
    }
    RenameResult RenameFile(const std::string& from, const std::string& to, bool replace,
                            std::string& error) override {
        return inner_.RenameFile(from, to, replace, error);
    }
    RenameResult ReplaceFile(const std::string& from, const std::string& to,
                             const NameInfo& replacing, std::string& error) override {
        return inner_.ReplaceFile(from, to, replacing, error);
    }
    std::optional<std::vector<std::string>> ListFolder(const std::string& p) override {
        return inner_.ListFolder(p);
    }
    bool DeleteLeftover(const std::string& p, int minAgeSeconds) override {
        return inner_.DeleteLeftover(p, minAgeSeconds);
    }
    bool RemoveEmptyFolder(const std::string& p) override { return inner_.RemoveEmptyFolder(p); }
    bool SyncVolume(const std::string& p, std::string& error) override {
        return inner_.SyncVolume(p, error);
    }
    bool CreateDirectory(const std::string& p, std::string& error) override {
        return inner_.CreateDirectory(p, error);
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
    void GetPrivateProfileStrings(std::vector<ProfileKey>& keys, const std::string& file) override {
        inner_.GetPrivateProfileStrings(keys, file);
    }
    bool WritePrivateProfileStrings(const std::vector<ProfileKey>& keys,
                                    const std::string& file) override {
        return inner_.WritePrivateProfileStrings(keys, file);
    }
    bool RegCreateKey(const std::string& key) override { return inner_.RegCreateKey(key); }
    RegValue RegQueryValue(const std::string& key, const std::string& name) override {
        return inner_.RegQueryValue(key, name);
    }
    bool RegSetDword(const std::string& key, const std::string& name,
                     std::uint32_t value) override {
        return inner_.RegSetDword(key, name, value);
    }
    bool RegSetString(const std::string& key, const std::string& name,
                      const std::string& value) override {
        return inner_.RegSetString(key, name, value);
    }
    void ShellOpen(const std::string& path) override { inner_.ShellOpen(path); }
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
};

} // namespace korvello::test
