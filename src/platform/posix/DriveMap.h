#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The lettered drives of the Linux backend: c: is the root folder, removable volumes and
// mapped folders get the letters from d: on. The map remembers which volume holds which
// letter and which letters this run has handed out, so letters stay put while a volume
// stays mounted and a freed letter is not handed to the next stick straight away.
//
// A volume that goes away and comes back in the same run gets its letter back when that
// letter is free, as a re-plugged stick does on Windows. A volume is recognised by its
// file-system UUID (the udev link in the "by-uuid" folder beside the label links that
// names its kernel device); without one, by its label and size (the device's size in
// sysfs, else the file system's size). A volume whose size cannot be learnt either is
// not recognised and takes a fresh letter.

#include "platform/Platform.h"
#include "platform/posix/PosixPlatform.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvello::posix {

// A drive of the map: what the interface lists, plus the volume it stands for.
struct Drive {
    DriveInfo info;
    std::string volumeKey; // identifies a mounted volume across re-reads; empty if mapped
    // The mounted file system behind the drive right now: the mount table's id of a
    // volume's mount; for a mapped folder, the id of the mount it lies on and its device.
    // When it changes under the same letter (unmounted and mounted again) the drive has
    // arrived anew.
    std::string mountIdentity;
    bool mountRoot = false; // a mapped folder that is itself a mount point
};

class DriveMap {
public:
    explicit DriveMap(const PosixRoots& roots);

    // Re-reads the mount table, sysfs, the udev label links and the mapped-drives folder,
    // and letters what changed.
    void Refresh();
    bool Loaded() const { return loaded_; }

    // The drive with this letter ('a' to 'z'), or nullptr.
    const Drive* Find(char letter) const;
    std::vector<DriveInfo> List() const;
    // Bit i set for each lettered drive i (bit 0 is a:).
    std::uint32_t Mask() const;
    // Counts every letter handed to a drive that did not have it before.
    std::uint64_t Arrivals() const { return arrivals_; }

    // The folder whose "e:" etc. links map drives: <configHome>/korvello/drives.
    std::string MappedFolder() const;

private:
    struct Volume {
        std::string key;
        std::string mountIdentity;
        std::string root;
        std::string label;
        std::string identity; // the same across re-plugs; empty when unknown
    };
    using Letters = std::array<std::optional<Drive>, 26>;
    // The letters of the mapped drives: each one reserved, and its folder when it is one.
    struct MappedLetters {
        std::bitset<26> reserved;
        std::array<std::string, 26> root; // empty for a link whose target is missing
        std::array<std::string, 26> mountIdentity;
        std::bitset<26> mountRoot;
    };

    std::vector<Volume> ReadRemovableVolumes() const;
    MappedLetters ReadMappedLetters() const;
    // The steps of Refresh, each filling letters of `next`: volumes that had a letter
    // keep it (the result marks them), mapped drives take theirs, new volumes choose.
    std::vector<bool> KeepVolumeLetters(const std::vector<Volume>& volumes, Letters& next);
    void PlaceMappedDrives(const MappedLetters& mapped, Letters& next);
    void PlaceNewVolumes(const std::vector<Volume>& volumes, const std::vector<bool>& placed,
                         const std::bitset<26>& reserved, Letters& next);
    // The letter a new volume takes, or -1 when every letter is taken.
    int LetterForNewVolume(const Volume& volume, const std::bitset<26>& reserved,
                           const Letters& next) const;
    // Remembers the letter of every volume that can be recognised when it comes back.
    void RememberLetters(const std::vector<Volume>& volumes, const Letters& next);
    bool IsRemovableDevice(const std::string& source, unsigned major, unsigned minor,
                           std::string& kernelName, std::string& devicePath) const;
    std::string LabelFor(const std::string& kernelName, const std::string& source) const;
    std::string IdentityOf(const std::string& kernelName, const std::string& devicePath,
                           const std::string& linuxRoot, const std::string& label) const;
    std::string LinuxMountPoint(const std::string& mountPoint) const;

    PosixRoots roots_;
    Letters drives_;
    std::bitset<26> handedOut_;
    std::map<std::string, int> letterOfIdentity_; // the letter each volume last had
    std::uint64_t arrivals_ = 0;
    bool loaded_ = false;
};

} // namespace korvello::posix
