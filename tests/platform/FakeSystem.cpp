// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeSystem.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace korvello::test {

const char* const kStandardMounts =
    "21 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "22 21 0:5 / /proc rw,nosuid - proc proc rw\n"
    "23 21 0:24 / /tmp rw shared:5 - tmpfs tmpfs rw,size=100k\n"
    "24 21 8:3 / /home rw,relatime shared:2 - ext4 /dev/sda3 rw\n"
    "30 21 0:50 / /media/nas rw shared:9 - nfs4 server:/export rw,vers=4.2\n"
    "40 21 8:17 / /media/u/MY\\040IPOD rw,nosuid shared:20 - vfat /dev/sdb1 rw\n"
    "41 21 8:17 /iPod_Control /mnt/bind rw shared:20 - vfat /dev/sdb1 rw\n"
    "this line is not a mount\n"
    "43 21 8:x / /media/u/broken rw - vfat /dev/sdc1 rw\n"
    "44 21 179:1 / /mnt/card rw,relatime shared:30 - exfat /dev/mmcblk0p1 rw\n";

namespace {

void Link(const std::string& target, const std::string& link) {
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(target, link);
}

} // namespace

FakeSystem::FakeSystem() : roots(FakeMachineRoots(dir, {.drive = "root", .home = "/home/u"})) {
    MakeDirs(At("/media/u/MY IPOD"));
    MakeDirs(At("/mnt/card"));
    MakeDirs(At("/mnt/bind"));

    // sysfs: the stick hangs off a USB bus, the card is only flagged removable, the
    // internal disk is neither.
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/"
                            "target6:0:0/6:0:0:0/block/sdb";
    MakeDirs(roots.sysfs + "/" + usb + "/sdb1");
    WriteFile(roots.sysfs + "/" + usb + "/removable", "0\n");
    Link("../../" + usb + "/sdb1", roots.sysfs + "/class/block/sdb1");
    const std::string ata = "devices/pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/"
                            "0:0:0:0/block/sda";
    MakeDirs(roots.sysfs + "/" + ata + "/sda2");
    MakeDirs(roots.sysfs + "/" + ata + "/sda3");
    WriteFile(roots.sysfs + "/" + ata + "/removable", "0\n");
    Link("../../" + ata + "/sda2", roots.sysfs + "/class/block/sda2");
    Link("../../" + ata + "/sda3", roots.sysfs + "/class/block/sda3");
    const std::string mmc = "devices/platform/soc/mmc_host/mmc0/mmc0:0001/block/mmcblk0";
    MakeDirs(roots.sysfs + "/" + mmc + "/mmcblk0p1");
    WriteFile(roots.sysfs + "/" + mmc + "/removable", "1\n");
    Link("../../" + mmc + "/mmcblk0p1", roots.sysfs + "/class/block/mmcblk0p1");

    // udev label links, with the blank escaped the way udev does it.
    Link("../../sdb1", roots.byLabel + "/MY\\x20IPOD");
    Link("../../sda2", roots.byLabel + "/system");

    SetMounts(kStandardMounts);
}

void FakeSystem::SetMounts(const std::string& mountinfo) {
    WriteFile(roots.mountinfo, mountinfo);
}

std::string FakeSystem::MediaLine(int id, int minor, const std::string& name,
                                  const std::string& device) {
    return std::to_string(id) + " 21 8:" + std::to_string(minor) + " / /media/u/" + name +
           " rw - vfat /dev/" + device + " rw\n";
}

void FakeSystem::AddUsbPartition(const std::string& name, const std::string& label,
                                 const std::string& uuid, long long sectors) {
    const std::string disk = name.substr(0, name.find_first_of("0123456789"));
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host9/"
                            "target9:0:0/9:0:0:0/block/" +
                            disk;
    MakeDirs(roots.sysfs + "/" + usb + "/" + name);
    WriteFile(roots.sysfs + "/" + usb + "/" + name + "/size", std::to_string(sectors) + "\n");
    const std::string classLink = roots.sysfs + "/class/block/" + name;
    fs::remove(classLink);
    Link("../../" + usb + "/" + name, classLink);
    std::string escaped;
    for (const char c : label)
        escaped += c == ' ' ? std::string("\\x20") : std::string(1, c);
    fs::remove(roots.byLabel + "/" + escaped);
    Link("../../" + name, roots.byLabel + "/" + escaped);
    if (!uuid.empty()) {
        const std::string byUuid = dir.path() + "/by-uuid/" + uuid;
        fs::remove(byUuid);
        Link("../../" + name, byUuid);
    }
}

void FakeSystem::MapDrive(const std::string& name, const std::string& target) {
    MapDriveIn(roots.configHome, name, target);
}

std::unique_ptr<PosixPlatform> FakeSystem::MakePlatform() const {
    return std::make_unique<PosixPlatform>(roots);
}

} // namespace korvello::test
