// SPDX-License-Identifier: GPL-3.0-or-later
// Device arrival: a changed mount table or a new mapped drive is an arrival, a removal
// is not, and the descriptors handed to the window really signal.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <poll.h>
#include <sys/mount.h>

namespace korvello::test {
namespace {

TEST(DeviceWatch, ArrivalsAreNewLettersOnly) {
    FakeSystem sys;
    auto platform = sys.MakePlatform();
    const auto watch = platform->DeviceWatchDescriptors();
    ASSERT_EQ(watch.size(), 2u);
    EXPECT_TRUE(watch[0].exceptional);  // the mount table
    EXPECT_FALSE(watch[1].exceptional); // the mapped-drives folder
    EXPECT_TRUE(std::filesystem::is_directory(sys.roots.configHome + "/korvello/drives"));
    EXPECT_EQ(platform->DeviceWatchDescriptors().size(), 2u); // the same ones again
    EXPECT_FALSE(platform->PollDeviceArrival());

    // A new mapped drive makes the folder's descriptor readable.
    MakeDirs(sys.dir / "copy");
    sys.MapDrive("m:", sys.dir / "copy");
    pollfd folder{watch[1].fd, POLLIN, 0};
    ASSERT_EQ(::poll(&folder, 1, 1000), 1);
    EXPECT_TRUE(platform->PollDeviceArrival());
    EXPECT_EQ(::poll(&folder, 1, 0), 0); // drained
    EXPECT_FALSE(platform->PollDeviceArrival());

    // The stick goes away: no arrival. A new stick comes: arrival.
    sys.SetMounts("21 1 8:2 / / rw - ext4 /dev/sda2 rw\n");
    EXPECT_FALSE(platform->PollDeviceArrival());
    UnmapDriveIn(sys.roots.configHome, "m:");
    EXPECT_FALSE(platform->PollDeviceArrival());
    sys.SetMounts(std::string("21 1 8:2 / / rw - ext4 /dev/sda2 rw\n") +
                  FakeSystem::MediaLine(60, 80, "NANO", "sdf1"));
    EXPECT_TRUE(platform->PollDeviceArrival());
    // A drive scan in between does not swallow the next arrival.
    sys.SetMounts(std::string("21 1 8:2 / / rw - ext4 /dev/sda2 rw\n") +
                  FakeSystem::MediaLine(60, 80, "NANO", "sdf1") +
                  FakeSystem::MediaLine(61, 96, "MINI", "sdg1"));
    platform->GetLogicalDrives();
    EXPECT_TRUE(platform->PollDeviceArrival());
}

TEST(DeviceWatch, AVolumeMountedAnewAtItsPlaceIsAnArrival) {
    FakeSystem sys;
    auto platform = sys.MakePlatform();
    const std::string system = "21 1 8:2 / / rw - ext4 /dev/sda2 rw\n";
    sys.SetMounts(system + FakeSystem::MediaLine(60, 80, "NANO", "sdf1"));
    platform->PollDeviceArrival();
    EXPECT_FALSE(platform->PollDeviceArrival());
    // Unmounted and mounted again between two looks: the same device at the same place,
    // keeping its letter, under a new mount id.
    sys.SetMounts(system + FakeSystem::MediaLine(75, 80, "NANO", "sdf1"));
    EXPECT_TRUE(platform->PollDeviceArrival());
    EXPECT_EQ(platform->ToProgramPath(sys.At("/media/u/NANO")), "d:");
    EXPECT_FALSE(platform->PollDeviceArrival());
}

// A mapped folder that is a mount point: the folder stays while its file system comes
// and goes. Needs a real mount (tmpfs).
TEST(DeviceWatch, AFileSystemMountedOnAMappedFolderIsAnArrival) {
    FakeSystem sys;
    const std::string folder = sys.dir / "ipod";
    MakeDirs(folder);
    sys.MapDrive("e:", folder);
    auto platform = sys.MakePlatform();
    platform->PollDeviceArrival();
    EXPECT_FALSE(platform->PollDeviceArrival());
    if (::mount("korvello-test", folder.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount {
        std::string folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{folder};
    EXPECT_TRUE(platform->PollDeviceArrival());
    EXPECT_FALSE(platform->PollDeviceArrival());
    // Unmounted, the empty folder is left: not an arrival. Mounted again: an arrival.
    ASSERT_EQ(::umount(folder.c_str()), 0);
    EXPECT_FALSE(platform->PollDeviceArrival());
    ASSERT_EQ(::mount("korvello-test", folder.c_str(), "tmpfs", 0, "size=1m"), 0);
    EXPECT_TRUE(platform->PollDeviceArrival());
    // Both between two looks.
    ASSERT_EQ(::umount(folder.c_str()), 0);
    ASSERT_EQ(::mount("korvello-test", folder.c_str(), "tmpfs", 0, "size=1m"), 0);
    EXPECT_TRUE(platform->PollDeviceArrival());
    EXPECT_EQ(platform->ToLinuxPath("e:"), folder);
}

} // namespace
} // namespace korvello::test
