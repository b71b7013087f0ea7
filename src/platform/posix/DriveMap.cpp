// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/DriveMap.h"

#include "platform/posix/FileUtil.h"
#include "platform/posix/MountTable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvello::posix {

namespace {

constexpr int kFirstVolumeLetter = 'd' - 'a';

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string ReadLink(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::string FirstLine(const std::string& path) {
    std::string content;
    int err = 0;
    if (!ReadWholeFile(path, content, err))
        return {};
    const auto eol = content.find_first_of("\r\n");
    return eol == std::string::npos ? content : content.substr(0, eol);
}

// udev escapes blanks and other unsafe bytes of a label as \xHH ("My\x20iPod").
std::string UnescapeUdev(std::string_view name) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
            hex(name[i + 3]) >= 0) {
            out += static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3]));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

// A sysfs device path that runs through a USB bus node ("usb1", "usb2", ...).
bool RunsThroughUsb(const std::string& devicePath) {
    std::size_t pos = 0;
    while (pos < devicePath.size()) {
        std::size_t end = devicePath.find('/', pos);
        if (end == std::string::npos)
            end = devicePath.size();
        const std::string_view part(devicePath.data() + pos, end - pos);
        if (part.starts_with("usb")) {
            bool digits = true;
            for (const char c : part.substr(3))
                digits = digits && c >= '0' && c <= '9';
            if (digits)
                return true;
        }
        pos = end + 1;
    }
    return false;
}

bool UnderMediaFolder(const std::string& mountPoint) {
    return mountPoint.starts_with("/media/") || mountPoint.starts_with("/run/media/");
}

// The mount a folder lies on: the kernel's id of the mount (the never reused 64-bit one
// where the kernel has it, Linux 6.8 on) and the file system's device number, and whether
// the folder is that mount's root. Unmounting and mounting again changes it; the same
// file system staying mounted keeps it.
#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif
std::string MountIdentityOf(const std::string& folder, bool& mountRoot) {
    mountRoot = false;
    struct statx st {};
    if (::statx(AT_FDCWD, folder.c_str(), 0, STATX_BASIC_STATS | STATX_MNT_ID | STATX_MNT_ID_UNIQUE,
                &st) != 0)
        return {};
    std::string identity =
        "dev:" + std::to_string(st.stx_dev_major) + ":" + std::to_string(st.stx_dev_minor);
    if ((st.stx_mask & (STATX_MNT_ID | STATX_MNT_ID_UNIQUE)) != 0)
        identity += "|mnt:" + std::to_string(st.stx_mnt_id);
    if ((st.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
        mountRoot = (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    } else {
        struct stat self {};
        struct stat parent {};
        mountRoot = ::stat(folder.c_str(), &self) == 0 &&
                    ::stat((folder + "/..").c_str(), &parent) == 0 && self.st_dev != parent.st_dev;
    }
    return identity;
}

std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

DriveMap::DriveMap(const PosixRoots& roots) : roots_(roots) {
    roots_.rootDir = TrimTrailingSlashes(roots_.rootDir.empty() ? "/" : roots_.rootDir);
}

std::string DriveMap::MappedFolder() const {
    return JoinPath(JoinPath(roots_.configHome, "korvello"), "drives");
}

std::string DriveMap::LinuxMountPoint(const std::string& mountPoint) const {
    if (roots_.rootDir == "/")
        return mountPoint;
    return mountPoint == "/" ? roots_.rootDir : roots_.rootDir + mountPoint;
}

bool DriveMap::IsRemovableDevice(const std::string& source, unsigned major, unsigned minor,
                                 std::string& kernelName, std::string& devicePath) const {
    std::string device;
    if (major != 0)
        device = RealPath(roots_.sysfs + "/dev/block/" + std::to_string(major) + ":" +
                          std::to_string(minor));
    if (device.empty() && source.starts_with("/dev/"))
        device = RealPath(roots_.sysfs + "/class/block/" + BaseName(source));
    if (device.empty())
        return false;
    kernelName = BaseName(device);
    devicePath = device;
    if (RunsThroughUsb(device))
        return true;
    // A partition has no flag of its own; its disk is the folder above it.
    return FirstLine(device + "/removable") == "1" ||
           FirstLine(ParentOf(device) + "/removable") == "1";
}

std::string DriveMap::LabelFor(const std::string& kernelName, const std::string& source) const {
    DirHandle dir(::opendir(roots_.byLabel.c_str()));
    if (!dir)
        return {};
    const std::string wanted = kernelName.empty() ? BaseName(source) : kernelName;
    if (wanted.empty())
        return {};
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string target = ReadLink(JoinPath(roots_.byLabel, name));
        if (!target.empty() && BaseName(target) == wanted)
            return UnescapeUdev(name);
    }
    return {};
}

std::string DriveMap::IdentityOf(const std::string& kernelName, const std::string& devicePath,
                                 const std::string& linuxRoot, const std::string& label) const {
    if (!kernelName.empty()) {
        const std::string byUuid = JoinPath(ParentOf(roots_.byLabel), "by-uuid");
        if (DirHandle dir{::opendir(byUuid.c_str())}) {
            while (const dirent* entry = ::readdir(dir.get())) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..")
                    continue;
                const std::string target = ReadLink(JoinPath(byUuid, name));
                if (!target.empty() && BaseName(target) == kernelName)
                    return "uuid:" + UnescapeUdev(name);
            }
        }
    }
    // No UUID: the label and the size, in bytes. sysfs counts 512-byte sectors.
    std::string size;
    const std::string sectors =
        devicePath.empty() ? std::string() : FirstLine(devicePath + "/size");
    if (!sectors.empty() && sectors.find_first_not_of("0123456789") == std::string::npos &&
        sectors != "0") {
        size = sectors + "*512";
    } else if (struct statvfs fs{}; ::statvfs(linuxRoot.c_str(), &fs) == 0 && fs.f_blocks > 0) {
        size = std::to_string(static_cast<unsigned long long>(fs.f_blocks) * fs.f_frsize);
    }
    if (size.empty())
        return {};
    return "label:" + label + "|size:" + size;
}

std::vector<DriveMap::Volume> DriveMap::ReadRemovableVolumes() const {
    std::string text;
    int err = 0;
    ReadWholeFile(roots_.mountinfo, text, err);
    const std::vector<MountEntry> mounts = ParseMountinfo(text);

    // One volume per device: a bind mount (root other than "/") of a device that is also
    // mounted whole must not give it a second letter, and a mount hidden under a later
    // mount at the same place is not reachable.
    std::map<std::string, std::size_t> chosen; // device key -> index into mounts
    std::vector<std::string> order;
    for (std::size_t i = 0; i < mounts.size(); ++i) {
        const MountEntry& m = mounts[i];
        if (m.mountPoint == "/" || IsPseudoOrNetworkFs(m.fsType))
            continue;
        bool hidden = false;
        for (std::size_t j = i + 1; j < mounts.size() && !hidden; ++j)
            hidden = mounts[j].mountPoint == m.mountPoint;
        if (hidden)
            continue;
        const std::string key = std::to_string(m.major) + ":" + std::to_string(m.minor) + "|" +
                                (m.major == 0 ? m.source : std::string());
        const auto found = chosen.find(key);
        if (found == chosen.end()) {
            chosen.emplace(key, i);
            order.push_back(key);
        } else if (mounts[found->second].root != "/" && m.root == "/") {
            found->second = i;
        }
    }

    std::vector<Volume> volumes;
    for (const std::string& key : order) {
        const MountEntry& m = mounts[chosen[key]];
        std::string kernelName;
        std::string devicePath;
        const bool removable =
            IsRemovableDevice(m.source, m.major, m.minor, kernelName, devicePath) ||
            UnderMediaFolder(m.mountPoint);
        if (!removable)
            continue;
        Volume volume;
        volume.key = key + "|" + m.mountPoint;
        volume.mountIdentity = std::to_string(m.id);
        volume.root = LinuxMountPoint(m.mountPoint);
        volume.label = LabelFor(kernelName, m.source);
        if (volume.label.empty())
            volume.label = BaseName(m.mountPoint);
        volume.identity = IdentityOf(kernelName, devicePath, volume.root, volume.label);
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

DriveMap::MappedLetters DriveMap::ReadMappedLetters() const {
    // Every link named like a letter reserves it, even one whose target is missing right
    // now, so a stick never takes the letter the user chose for a folder.
    MappedLetters mapped;
    auto map = [&mapped](char given, const std::string& folder) {
        const char letter = static_cast<char>(given | 0x20);
        if (letter < 'd' || letter > 'z')
            return;
        const auto index = static_cast<std::size_t>(letter - 'a');
        mapped.reserved.set(index);
        const std::string target = RealPath(folder);
        if (!target.empty() && IsDirectory(target)) {
            mapped.root[index] = target;
            bool mountRoot = false;
            mapped.mountIdentity[index] = MountIdentityOf(target, mountRoot);
            mapped.mountRoot[index] = mountRoot;
        }
    };
    if (!roots_.mappedFolders.empty()) {
        // Mapped in memory for this process: the per-user links play no part.
        for (const auto& [given, folder] : roots_.mappedFolders)
            map(given, folder);
    } else if (DirHandle dir{::opendir(MappedFolder().c_str())}) {
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name.size() == 2 && name[1] == ':')
                map(name[0], JoinPath(MappedFolder(), name));
        }
    }
    return mapped;
}

std::vector<bool> DriveMap::KeepVolumeLetters(const std::vector<Volume>& volumes, Letters& next) {
    std::vector<bool> placed(volumes.size(), false);
    for (int i = kFirstVolumeLetter; i < 26; ++i) {
        const auto& old = drives_[static_cast<std::size_t>(i)];
        if (!old || old->info.mapped)
            continue;
        for (std::size_t v = 0; v < volumes.size(); ++v) {
            if (!placed[v] && volumes[v].key == old->volumeKey) {
                Drive d = *old;
                d.info.label = volumes[v].label;
                d.info.linuxRoot = volumes[v].root;
                // Unmounted and mounted again at the same place since the last look: the
                // same letter, but a device that has arrived anew.
                if (d.mountIdentity != volumes[v].mountIdentity)
                    ++arrivals_;
                d.mountIdentity = volumes[v].mountIdentity;
                next[static_cast<std::size_t>(i)] = d;
                placed[v] = true;
                break;
            }
        }
    }
    return placed;
}

void DriveMap::PlaceMappedDrives(const MappedLetters& mapped, Letters& next) {
    // A letter still held by a mounted volume stays with it: a running copy must not see
    // its source drive change underneath it.
    for (int i = kFirstVolumeLetter; i < 26; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (mapped.root[index].empty() || next[index])
            continue;
        Drive d;
        d.info.letter = static_cast<char>('a' + i);
        d.info.type = DriveType::Removable;
        d.info.linuxRoot = mapped.root[index];
        d.info.label = BaseName(mapped.root[index]);
        d.info.mapped = true;
        d.mountIdentity = mapped.mountIdentity[index];
        d.mountRoot = mapped.mountRoot[index];
        const auto& old = drives_[index];
        // A file system mounted anew on the folder (or behind it) is an arrival; the folder
        // left behind when a mount point's file system is unmounted is not.
        const bool remounted =
            old && old->mountIdentity != d.mountIdentity && !(old->mountRoot && !d.mountRoot);
        if (!old || !old->info.mapped || old->info.linuxRoot != d.info.linuxRoot || remounted)
            ++arrivals_;
        handedOut_.set(index);
        next[index] = d;
    }
}

int DriveMap::LetterForNewVolume(const Volume& volume, const std::bitset<26>& reserved,
                                 const Letters& next) const {
    if (const auto known = letterOfIdentity_.find(volume.identity);
        !volume.identity.empty() && known != letterOfIdentity_.end()) {
        const auto index = static_cast<std::size_t>(known->second);
        if (!next[index] && !reserved[index])
            return known->second;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = kFirstVolumeLetter; i < 26; ++i) {
            const auto index = static_cast<std::size_t>(i);
            if (!next[index] && !reserved[index] && (pass == 1 || !handedOut_[index]))
                return i;
        }
    }
    return -1;
}

void DriveMap::PlaceNewVolumes(const std::vector<Volume>& volumes, const std::vector<bool>& placed,
                               const std::bitset<26>& reserved, Letters& next) {
    for (std::size_t v = 0; v < volumes.size(); ++v) {
        if (placed[v])
            continue;
        const int letter = LetterForNewVolume(volumes[v], reserved, next);
        if (letter < 0)
            continue; // every letter is taken: the volume is not offered
        Drive d;
        d.info.letter = static_cast<char>('a' + letter);
        d.info.type = DriveType::Removable;
        d.info.linuxRoot = volumes[v].root;
        d.info.label = volumes[v].label;
        d.volumeKey = volumes[v].key;
        d.mountIdentity = volumes[v].mountIdentity;
        handedOut_.set(static_cast<std::size_t>(letter));
        ++arrivals_;
        next[static_cast<std::size_t>(letter)] = d;
    }
}

void DriveMap::RememberLetters(const std::vector<Volume>& volumes, const Letters& next) {
    for (const Volume& volume : volumes) {
        if (volume.identity.empty())
            continue;
        for (int i = kFirstVolumeLetter; i < 26; ++i) {
            const auto& d = next[static_cast<std::size_t>(i)];
            if (d && !d->info.mapped && d->volumeKey == volume.key) {
                letterOfIdentity_[volume.identity] = i;
                break;
            }
        }
    }
}

void DriveMap::Refresh() {
    const std::vector<Volume> volumes = ReadRemovableVolumes();
    const MappedLetters mapped = ReadMappedLetters();

    Letters next;
    Drive c;
    c.info.letter = 'c';
    c.info.type = DriveType::Fixed;
    c.info.linuxRoot = roots_.rootDir;
    next[2] = c;

    // Volumes that were lettered before keep their letters; then the mapped drives, before
    // new volumes choose. A new volume seen before in this run takes its old letter back
    // when that is free; any other the lowest letter this run has not handed out yet; once
    // every letter up to z: has been used, the lowest free one.
    const std::vector<bool> placed = KeepVolumeLetters(volumes, next);
    PlaceMappedDrives(mapped, next);
    PlaceNewVolumes(volumes, placed, mapped.reserved, next);
    RememberLetters(volumes, next);

    drives_ = next;
    loaded_ = true;
}

const Drive* DriveMap::Find(char letter) const {
    letter = static_cast<char>(letter | 0x20);
    if (letter < 'a' || letter > 'z')
        return nullptr;
    const auto& drive = drives_[static_cast<std::size_t>(letter - 'a')];
    return drive ? &*drive : nullptr;
}

std::vector<DriveInfo> DriveMap::List() const {
    std::vector<DriveInfo> list;
    for (const auto& drive : drives_)
        if (drive)
            list.push_back(drive->info);
    return list;
}

std::uint32_t DriveMap::Mask() const {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i])
            mask |= 1u << i;
    return mask;
}

} // namespace korvello::posix
