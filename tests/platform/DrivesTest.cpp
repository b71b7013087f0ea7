// SPDX-License-Identifier: GPL-3.0-or-later
// The drive map over a fake machine: which mounts become drives, their letters, types and
// labels, mapped drives, and the letter rules across re-reads.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>

namespace korvello::test {
namespace {

std::uint32_t Bit(char letter) {
    return 1u << (letter - 'a');
}

TEST(Drives, StandardMachineLettersOnlyRemovableVolumes) {
    FakeSystem sys;
    auto platform = sys.MakePlatform();

    // c: and the two removable volumes; the internal /home, /proc, tmpfs, the NFS share
    // (even under /media), the bind mount and the malformed lines give no drive.
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('e'));

    const auto drives = platform->Drives();
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].letter, 'c');
    EXPECT_EQ(drives[0].type, DriveType::Fixed);
    EXPECT_EQ(drives[0].linuxRoot, sys.Root());
    EXPECT_EQ(drives[1].letter, 'd');
    EXPECT_EQ(drives[1].type, DriveType::Removable);
    EXPECT_EQ(drives[1].linuxRoot, sys.At("/media/u/MY IPOD"));
    EXPECT_EQ(drives[1].label, "MY IPOD"); // from the udev link, \x20 undone
    EXPECT_EQ(drives[2].letter, 'e');
    EXPECT_EQ(drives[2].linuxRoot, sys.At("/mnt/card"));
    EXPECT_EQ(drives[2].label, "card"); // no label link: the mount point's name

    EXPECT_EQ(platform->GetDriveType("c:\\"), DriveType::Fixed);
    EXPECT_EQ(platform->GetDriveType("D:\\"), DriveType::Removable);
    EXPECT_EQ(platform->GetDriveType("e:"), DriveType::Removable);
    EXPECT_EQ(platform->GetDriveType("f:\\"), DriveType::NoRootDir);
    EXPECT_EQ(platform->GetDriveType("nonsense"), DriveType::NoRootDir);

    std::string label;
    EXPECT_TRUE(platform->GetVolumeInformation("d:\\", label));
    EXPECT_EQ(label, "MY IPOD");
    EXPECT_FALSE(platform->GetVolumeInformation("q:\\", label));
    EXPECT_TRUE(platform->DirectoryExists("d:\\"));
    EXPECT_FALSE(platform->DirectoryExists("q:\\"));
}

TEST(Drives, BindMountListedFirstStillGivesOneLetterAtTheWholeVolume) {
    FakeSystem sys;
    sys.SetMounts("21 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                  "41 21 8:17 /iPod_Control /mnt/bind rw - vfat /dev/sdb1 rw\n"
                  "40 21 8:17 / /media/u/MY\\040IPOD rw - vfat /dev/sdb1 rw\n");
    auto platform = sys.MakePlatform();
    const auto drives = platform->Drives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].linuxRoot, sys.At("/media/u/MY IPOD"));
}

TEST(Drives, VolumesUnderRunMediaGetALetter) {
    // Where udisks mounts removable volumes on some systems (Fedora, Arch); the device is
    // unknown to the fake sysfs, so the place alone makes it removable.
    FakeSystem sys;
    sys.SetMounts("21 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
                  "60 21 8:33 / /run/media/u/PHONE rw,nosuid - vfat /dev/sdc1 rw\n");
    MakeDirs(sys.At("/run/media/u/PHONE"));
    auto platform = sys.MakePlatform();
    const auto drives = platform->Drives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].letter, 'd');
    EXPECT_EQ(drives[1].type, DriveType::Removable);
    EXPECT_EQ(drives[1].linuxRoot, sys.At("/run/media/u/PHONE"));
    EXPECT_EQ(drives[1].label, "PHONE");
}

TEST(Drives, EmptyOrMissingMountTableLeavesOnlyC) {
    FakeSystem sys;
    std::filesystem::remove(sys.roots.mountinfo);
    auto platform = sys.MakePlatform();
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c'));
    sys.SetMounts("\n\n garbage \x01\x02\n- - - - - - - - - -\n");
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c'));
}

TEST(Drives, MappedDrivesReserveTheirLettersBeforeVolumes) {
    FakeSystem sys;
    MakeDirs(sys.dir / "copies/Classic 160");
    sys.MapDrive("D:", sys.dir / "copies/Classic 160");
    // A dangling link offers no drive, but its letter stays the user's: no stick takes it.
    sys.MapDrive("e:", sys.dir / "copies/gone");
    auto platform = sys.MakePlatform();

    const auto drives = platform->Drives();
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives[1].letter, 'd');
    EXPECT_TRUE(drives[1].mapped);
    EXPECT_EQ(drives[1].type, DriveType::Removable);
    EXPECT_EQ(drives[1].label, "Classic 160");
    EXPECT_EQ(drives[1].linuxRoot, sys.dir / "copies/Classic 160");
    EXPECT_EQ(drives[2].letter, 'f'); // the stick
    EXPECT_EQ(drives[2].label, "MY IPOD");
    EXPECT_EQ(drives[3].letter, 'g'); // the card

    // The folder appears: the mapped drive is offered from the next read on.
    MakeDirs(sys.dir / "copies/gone");
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('e') | Bit('f') | Bit('g'));
}

TEST(Drives, LettersStayWhileMountedAndFreedLettersWaitUntilZ) {
    FakeSystem sys;
    const std::string root = "21 1 8:2 / / rw - ext4 /dev/sda2 rw\n";
    sys.SetMounts(root + FakeSystem::MediaLine(50, 33, "A", "sdc1") +
                  FakeSystem::MediaLine(51, 49, "B", "sdd1"));
    auto platform = sys.MakePlatform();
    ASSERT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('e'));

    // A goes away: B keeps e:, and the new stick C does not get the freed d:.
    sys.SetMounts(root + FakeSystem::MediaLine(51, 49, "B", "sdd1") +
                  FakeSystem::MediaLine(52, 65, "C", "sde1"));
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('e') | Bit('f'));
    std::string label;
    ASSERT_TRUE(platform->GetVolumeInformation("e:\\", label));
    EXPECT_EQ(label, "B");

    // Another new stick D: a fresh letter, not A's old one.
    sys.SetMounts(root + FakeSystem::MediaLine(51, 49, "B", "sdd1") +
                  FakeSystem::MediaLine(52, 65, "C", "sde1") +
                  FakeSystem::MediaLine(53, 81, "D", "sdf1"));
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('e') | Bit('f') | Bit('g'));
    ASSERT_TRUE(platform->GetVolumeInformation("g:\\", label));
    EXPECT_EQ(label, "D");

    // Hand out everything up to z:, then free k:; the next stick reuses the lowest free.
    std::string many = root;
    for (int i = 0; i < 23; ++i)
        many += FakeSystem::MediaLine(100 + i, 100 + i, "S" + std::to_string(i),
                                      "sdz" + std::to_string(i));
    sys.SetMounts(many);
    platform->GetLogicalDrives();
    std::string withoutOne = root;
    for (int i = 0; i < 23; ++i)
        if (i != 5)
            withoutOne += FakeSystem::MediaLine(100 + i, 100 + i, "S" + std::to_string(i),
                                                "sdz" + std::to_string(i));
    sys.SetMounts(withoutOne);
    const std::uint32_t before = platform->GetLogicalDrives();
    sys.SetMounts(withoutOne + FakeSystem::MediaLine(200, 200, "Late", "sdy1"));
    const std::uint32_t after = platform->GetLogicalDrives();
    const std::uint32_t added = after & ~before;
    ASSERT_NE(added, 0u);
    std::string lateLabel;
    for (char letter = 'd'; letter <= 'z'; ++letter) {
        if (added & Bit(letter)) {
            ASSERT_TRUE(platform->GetVolumeInformation(std::string(1, letter) + ":", lateLabel));
        }
    }
    EXPECT_EQ(lateLabel, "Late");
    EXPECT_EQ(std::popcount(added), 1);
}

TEST(Drives, ARepluggedVolumeGetsItsLetterBackByUuidElseByLabelAndSize) {
    FakeSystem sys;
    const std::string root = "21 1 8:2 / / rw - ext4 /dev/sda2 rw\n";
    auto stick = [](int id, int minor, const std::string& at, const std::string& device) {
        return std::to_string(id) + " 21 8:" + std::to_string(minor) + " / " + at +
               " rw - vfat /dev/" + device + " rw\n";
    };
    sys.AddUsbPartition("sdc1", "MY IPOD", "1234-ABCD", 4000000);
    sys.AddUsbPartition("sdd1", "NO NAME", "", 2000000);
    sys.SetMounts(root + stick(50, 33, "/mnt/ipod", "sdc1") + stick(51, 49, "/mnt/a", "sdd1"));
    auto platform = sys.MakePlatform();
    ASSERT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('e'));

    // Both pulled; another stick takes f: meanwhile.
    sys.AddUsbPartition("sdg1", "OTHER", "5555-0000", 1000000);
    sys.SetMounts(root + stick(60, 97, "/mnt/other", "sdg1"));
    ASSERT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('f'));

    // Plugged in again under new device names and mount points: each gets its letter back,
    // the iPod by its UUID, the stick without one by its label and size.
    sys.AddUsbPartition("sdh1", "MY IPOD", "1234-ABCD", 4000000);
    sys.AddUsbPartition("sdi1", "NO NAME", "", 2000000);
    sys.SetMounts(root + stick(60, 97, "/mnt/other", "sdg1") +
                  stick(70, 113, "/mnt/ipod1", "sdh1") + stick(71, 129, "/mnt/b", "sdi1"));
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('e') | Bit('f'));
    EXPECT_EQ(platform->ToLinuxPath("d:\\"), sys.At("/mnt/ipod1"));
    EXPECT_EQ(platform->ToLinuxPath("e:\\"), sys.At("/mnt/b"));

    // A stick with the same label but another size is another volume: a fresh letter.
    sys.AddUsbPartition("sdj1", "NO NAME", "", 8000000);
    sys.SetMounts(root + stick(60, 97, "/mnt/other", "sdg1") +
                  stick(70, 113, "/mnt/ipod1", "sdh1") + stick(72, 145, "/mnt/c", "sdj1"));
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('f') | Bit('g'));
    EXPECT_EQ(platform->ToLinuxPath("g:\\"), sys.At("/mnt/c"));

    // A letter taken meanwhile stays with its holder; the returning volume takes a fresh one.
    sys.SetMounts(root + stick(60, 97, "/mnt/other", "sdg1") + stick(72, 145, "/mnt/c", "sdj1"));
    ASSERT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('f') | Bit('g'));
    sys.MapDrive("d:", sys.At("/home/u"));
    sys.SetMounts(root + stick(60, 97, "/mnt/other", "sdg1") + stick(72, 145, "/mnt/c", "sdj1") +
                  stick(70, 113, "/mnt/ipod1", "sdh1"));
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d') | Bit('f') | Bit('g') | Bit('h'));
    EXPECT_EQ(platform->ToLinuxPath("d:\\"), sys.At("/home/u"));
    EXPECT_EQ(platform->ToLinuxPath("h:\\"), sys.At("/mnt/ipod1"));
}

TEST(Drives, RemovableFlagComesFromTheParentDiskOfAPartition) {
    FakeSystem sys;
    // The card's partition folder has no flag of its own; its disk has removable = 1.
    EXPECT_FALSE(Exists(sys.roots.sysfs +
                        "/devices/platform/soc/mmc_host/mmc0/mmc0:0001/block/mmcblk0/"
                        "mmcblk0p1/removable"));
    auto platform = sys.MakePlatform();
    EXPECT_EQ(platform->GetDriveType("e:"), DriveType::Removable);
    // Marked fixed, the card gives no drive.
    WriteFile(sys.roots.sysfs + "/devices/platform/soc/mmc_host/mmc0/mmc0:0001/block/mmcblk0/"
                                "removable",
              "0\n");
    EXPECT_EQ(platform->GetLogicalDrives(), Bit('c') | Bit('d'));
}

} // namespace
} // namespace korvello::test
