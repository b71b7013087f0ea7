#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A fake machine for the Linux backend (FakeMachineRoots) whose folder "root" plays "/",
// filled in: a mount table, a sysfs tree with a USB stick, an internal disk and a memory
// card, udev label links and a user's home folder, all inside one temporary folder.

#include "platform/posix/PosixPlatform.h"
#include "support/FakeRoots.h"
#include "support/TempDir.h"

#include <memory>
#include <string>

namespace korvello::test {

class FakeSystem {
public:
    FakeSystem();

    // Replaces the mount table.
    void SetMounts(const std::string& mountinfo);
    // A mount table line for a volume under /media (removable by its place alone).
    static std::string MediaLine(int id, int minor, const std::string& name,
                                 const std::string& device);
    // A partition `name` (such as "sdc1") of a USB stick in sysfs, `sectors` 512-byte
    // sectors long, with udev's label link and, when `uuid` is not empty, its UUID link
    // (links of an earlier device with the same label or UUID are replaced, as udev does).
    void AddUsbPartition(const std::string& name, const std::string& label, const std::string& uuid,
                         long long sectors);
    // Maps a drive: <configHome>/korvello/drives/<name> -> target.
    void MapDrive(const std::string& name, const std::string& target);

    // A backend over the fake roots (a new one forgets the letters handed out).
    std::unique_ptr<PosixPlatform> MakePlatform() const;

    // The folder playing "/", and the Linux folder of a mount point in the fake table.
    std::string Root() const { return roots.rootDir; }
    std::string At(const std::string& absolute) const { return Root() + absolute; }

    TempDir dir;
    PosixRoots roots;
};

// The standard table: "/" and /home on the internal disk, /proc, a tmpfs, an NFS share,
// the USB stick "MY IPOD" at /media/u/MY IPOD with a bind mount of one of its folders,
// a memory card at /mnt/card, and two malformed lines.
extern const char* const kStandardMounts;

} // namespace korvello::test
