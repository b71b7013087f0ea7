#pragma once
// The Linux backend of IPlatform.
//
// Drives: c: is the Linux folder `rootDir` ("/" for real use). Every mounted removable
// volume gets a letter of its own from d: upward, the lowest letter not yet handed out in
// this run; a volume keeps its letter while it stays mounted, and a freed letter is not
// handed out again before the letters up to z: are used. Removable means: the mount's
// source is a block device on a USB bus or with removable = 1 in sysfs, or the mount point
// lies under /media/ or /run/media/; pseudo and network file systems never count. A
// symbolic link named like "e:" in <configHome>/korvello/drives/ maps that letter to the
// folder it points to (a copy of an iPod, say); mapped letters are reserved before mounted
// volumes get theirs.
//
// Every root the backend reads comes from PosixRoots, so tests run it on fake trees.
// Mount points read from the mount table are taken relative to rootDir (with rootDir "/"
// they are the real ones).

#include "platform/Platform.h"

#include <functional>
#include <memory>
#include <string>

namespace korvello {

struct PosixRoots {
    std::string rootDir = "/";                      // the folder that is c:
    std::string mountinfo = "/proc/self/mountinfo"; // the mount table
    std::string sysfs = "/sys";                     // sysfs root
    std::string byLabel = "/dev/disk/by-label";     // udev label links
    std::string configHome;                         // $XDG_CONFIG_HOME or ~/.config
    std::string dataHome;                           // $XDG_DATA_HOME or ~/.local/share
    std::string programPath;                        // the running program file
    // Hands a Linux path to the desktop; the default opens it through Qt (xdg-open).
    std::function<void(const std::string& linuxPath)> shellOpen;

    // The real roots of this process and user (environment variables honoured).
    static PosixRoots FromEnvironment();
};

class PosixPlatform final : public IPlatform {
public:
    explicit PosixPlatform(PosixRoots roots = PosixRoots::FromEnvironment());
    ~PosixPlatform() override;

    const PosixRoots& Roots() const;

    std::uint32_t GetLogicalDrives() override;
    DriveType GetDriveType(const std::string& root) override;
    bool DirectoryExists(const std::string& path) override;
    unsigned SetErrorMode(unsigned mode) override;
    bool GetVolumeInformation(const std::string& root, std::string& label) override;
    std::vector<DriveInfo> Drives() override;

    std::string ToLinuxPath(const std::string& programPath) override;
    std::string ToProgramPath(const std::string& linuxPath) override;
    std::string DisplayPath(const std::string& programPath) override;

    std::optional<std::int64_t> FindFile(const std::string& path) override;
    std::unique_ptr<IFile> OpenRead(const std::string& path, std::string& error) override;
    std::unique_ptr<IFile> CreateWrite(const std::string& path, std::string& error) override;
    bool DeleteFile(const std::string& path) override;
    bool CopyFile(const std::string& source, const std::string& dest) override;
    std::optional<std::uint64_t> GetDiskFreeSpace(const std::string& path) override;

    std::string ProgramPath() override;
    std::string AppFolder() override;

    std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                        const std::string& def, const std::string& file) override;
    bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                   const std::string& value, const std::string& file) override;

    bool RegCreateKey(const std::string& key) override;
    RegValue RegQueryValue(const std::string& key, const std::string& name) override;
    bool RegSetDword(const std::string& key, const std::string& name, std::uint32_t value) override;

    void ShellOpen(const std::string& path) override;
    int CompareText(const std::string& a, const std::string& b) override;
    std::string CollationKey(const std::string& text) override;
    std::string LowerCase(const std::string& text) override;
    std::string UpperCase(const std::string& text) override;
    std::string DecimalSeparator() override;
    std::string ShortDate(const std::tm& local) override;
    std::string LongTime(const std::tm& local) override;

    std::vector<WatchDescriptor> DeviceWatchDescriptors() override;
    bool PollDeviceArrival() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace korvello
