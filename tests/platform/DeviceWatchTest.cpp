// SPDX-License-Identifier: GPL-3.0-or-later
// Device arrival: a changed mount table or a new mapped drive is an arrival, a removal
// is not, and the descriptors handed to the window really signal.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <poll.h>

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
    std::filesystem::remove(sys.roots.configHome + "/korvello/drives/m:");
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

} // namespace
} // namespace korvello::test
