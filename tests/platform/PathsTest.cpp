// SPDX-License-Identifier: GPL-3.0-or-later
// Program paths to Linux paths and back: caseless look-up on removable drives only, the
// clamp at the drive root, and the reuse of folder listings.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvello::test {
namespace {

class Paths : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(ipod + "/iPod_Control/iTunes/iTunesDB", "db");
        WriteFile(ipod + "/iPod_Control/Music/F00/ABCD.mp3", "song");
        platform = sys.MakePlatform();
    }

    FakeSystem sys;
    std::string ipod = sys.At("/media/u/MY IPOD");
    std::unique_ptr<PosixPlatform> platform;
};

TEST_F(Paths, RemovableDriveMatchesNamesWhateverTheirCase) {
    const std::string db = ipod + "/iPod_Control/iTunes/iTunesDB";
    EXPECT_EQ(platform->ToLinuxPath("d:\\iPod_Control\\iTunes\\itunesdb"), db);
    EXPECT_EQ(platform->ToLinuxPath("D:\\IPOD_CONTROL\\ITUNES\\ITUNESDB"), db);
    EXPECT_EQ(platform->ToLinuxPath("d:\\ipod_control\\music\\f00\\abcd.MP3"),
              ipod + "/iPod_Control/Music/F00/ABCD.mp3");
    EXPECT_EQ(platform->FindFile("d:\\ipod_control\\itunes\\itunesdb"), 2);
    // A name found nowhere keeps its own spelling under the nearest folder that exists.
    EXPECT_EQ(platform->ToLinuxPath("d:\\iPod_Control\\Music\\F01\\x.mp3"),
              ipod + "/iPod_Control/Music/F01/x.mp3");
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\Music\\F01\\x.mp3"));
}

TEST_F(Paths, FilesAddedAfterAListingAreFound) {
    // The first look-up lists F00; the new file arrives within the same second.
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\Music\\F00\\new.mp3"));
    WriteFile(ipod + "/iPod_Control/Music/F00/NEW.MP3", "x");
    EXPECT_EQ(platform->FindFile("d:\\iPod_Control\\Music\\F00\\new.mp3"), 1);
    // And a folder renamed under a cached caseless match is followed.
    std::filesystem::rename(ipod + "/iPod_Control/Music/F00", ipod + "/iPod_Control/Music/f00x");
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\music\\F00\\new.mp3"));
    EXPECT_EQ(platform->FindFile("d:\\iPod_Control\\music\\F00X\\new.mp3"), 1);
}

TEST_F(Paths, AFolderDatedInTheFutureIsListedOnceAndDeepPathsAreExact) {
    // A skewed clock or a hostile file system dates F00 a day ahead. Its listing is not
    // read again for every name it lacks: a file slipped in without changing the
    // folder's time stays unseen under another letter case.
    const std::string folder = ipod + "/iPod_Control/Music/F00";
    timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\Music\\F00\\one.mp3"));
    WriteFile(folder + "/ONE.MP3", "x");
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\Music\\F00\\one.mp3"));
    // A real change dates the folder now, which is seen.
    WriteFile(folder + "/TWO.MP3", "x");
    EXPECT_EQ(platform->FindFile("d:\\iPod_Control\\Music\\F00\\two.mp3"), 1);

    // Nine levels are deeper than an iPod's files lie: such a path is taken as given.
    std::string deep = ipod + "/iPod_Control/Music";
    std::string asked = "d:\\iPod_Control\\Music";
    for (int level = 0; level < 7; ++level) {
        deep += "/L" + std::to_string(level);
        asked += "\\l" + std::to_string(level);
    }
    WriteFile(deep + "/x.mp3", "x");
    EXPECT_FALSE(platform->FindFile(asked + "\\x.mp3"));
    const std::string shallow = asked.substr(0, asked.rfind("\\l5"));
    WriteFile(ipod + "/iPod_Control/Music/L0/L1/L2/L3/L4/y.mp3", "y");
    EXPECT_EQ(platform->FindFile(shallow + "\\y.mp3"), 1);
}

TEST_F(Paths, AnOlderFolderThatChangesIsListedAgain) {
    // F00 dates from an hour ago, so its listing is kept; a change to the folder, even one
    // dated outside the two seconds in which FAT times are unsure, is seen by its time.
    const std::string folder = ipod + "/iPod_Control/Music/F00";
    const auto dateFolder = [&folder](std::time_t when) {
        const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
    };
    dateFolder(::time(nullptr) - 3600);
    EXPECT_FALSE(platform->FindFile("d:\\iPod_Control\\Music\\F00\\late.mp3"));
    WriteFile(folder + "/LATE.MP3", "x");
    dateFolder(::time(nullptr) - 1800);
    EXPECT_EQ(platform->FindFile("d:\\iPod_Control\\Music\\F00\\late.mp3"), 1);
}

TEST_F(Paths, OfTwoNamesDifferingInCaseTheOneSortingFirstWins) {
    // A folder copied from a case-sensitive disk may hold "Twin.mp3" and "TWIN.mp3": a
    // caseless look-up takes the name whose bytes sort first ("TWIN.mp3"), whatever
    // order the folder lists them in.
    for (const bool upperFirst : {true, false}) {
        const std::string folder = ipod + "/iPod_Control/Music/" + (upperFirst ? "F10" : "F11");
        WriteFile(folder + (upperFirst ? "/TWIN.mp3" : "/Twin.mp3"), upperFirst ? "22" : "1");
        WriteFile(folder + (upperFirst ? "/Twin.mp3" : "/TWIN.mp3"), upperFirst ? "1" : "22");
        const std::string asked =
            std::string("d:\\iPod_Control\\Music\\") + (upperFirst ? "f10" : "f11") + "\\twin.MP3";
        EXPECT_EQ(platform->ToLinuxPath(asked), folder + "/TWIN.mp3");
        EXPECT_EQ(platform->FindFile(asked), 2);
    }
}

TEST_F(Paths, FixedDriveNamesAreExact) {
    WriteFile(sys.At("/home/u/Yesterday.mp3"), "x");
    EXPECT_EQ(platform->ToLinuxPath("c:\\home\\u\\yesterday.mp3"), sys.At("/home/u/yesterday.mp3"));
    EXPECT_FALSE(platform->FindFile("c:\\home\\u\\yesterday.mp3"));
    EXPECT_TRUE(platform->FindFile("C:\\home\\u\\Yesterday.mp3"));
    // No drive named: the path lies on c:.
    EXPECT_EQ(platform->ToLinuxPath("\\apces.cnt"), sys.At("/apces.cnt"));
    EXPECT_EQ(platform->ToLinuxPath("apces.cnt"), sys.At("/apces.cnt"));
}

TEST_F(Paths, DotsAndEmptyNamesNeverLeaveTheDrive) {
    EXPECT_EQ(platform->ToLinuxPath("e:\\..\\..\\etc\\passwd"), sys.At("/mnt/card/etc/passwd"));
    EXPECT_EQ(platform->ToLinuxPath("d:\\a\\..\\..\\..\\b/../../c"), ipod + "/c");
    // A "/" inside a name separates too, so it cannot smuggle ".." past the clamp.
    EXPECT_EQ(platform->ToLinuxPath("d:\\x/../../../etc"), ipod + "/etc");
    EXPECT_EQ(platform->ToLinuxPath("c:\\..\\..\\etc"), sys.At("/etc"));
    EXPECT_EQ(platform->ToLinuxPath("d:\\\\iPod_Control\\.\\\\iTunes\\"),
              ipod + "/iPod_Control/iTunes");
    EXPECT_EQ(platform->ToLinuxPath("d:"), ipod);
    // Everything after a NUL is dropped, as a C caller would see it.
    EXPECT_EQ(platform->ToLinuxPath(std::string("d:\\a\0\\..\\..\\x", 12)), ipod + "/a");
    EXPECT_EQ(platform->ToLinuxPath("q:\\x"), "");
    // A damaged database's absurdly deep path is a missing file, not a crash.
    std::string deep = "d:";
    for (int i = 0; i < 100000; ++i)
        deep += "\\a";
    EXPECT_FALSE(platform->FindFile(deep));
    EXPECT_EQ(platform->ToLinuxPath("1:\\x"), "");
}

TEST_F(Paths, LinuxPathsTakeTheLongestLetteredRoot) {
    EXPECT_EQ(platform->ToProgramPath(ipod + "/Music/a.mp3"), "d:\\Music\\a.mp3");
    EXPECT_EQ(platform->ToProgramPath(ipod), "d:");
    EXPECT_EQ(platform->ToProgramPath(sys.At("/media/u/MY IPODX/a")), "c:\\media\\u\\MY IPODX\\a");
    EXPECT_EQ(platform->ToProgramPath(sys.At("/home/u/Music/")), "c:\\home\\u\\Music");
    EXPECT_EQ(platform->ToProgramPath(sys.At("/home/u/../u/./x")), "c:\\home\\u\\x");
    EXPECT_EQ(platform->ToProgramPath(sys.Root()), "c:");
    EXPECT_EQ(platform->ToProgramPath(sys.dir / "elsewhere"), "");
    EXPECT_EQ(platform->ToProgramPath("relative/path"), "");
    EXPECT_EQ(platform->DisplayPath("d:\\Music\\a.mp3"), ipod + "/Music/a.mp3");
    EXPECT_EQ(platform->DisplayPath("q:\\x"), "q:\\x");

    MakeDirs(sys.dir / "copy");
    sys.MapDrive("k:", sys.dir / "copy");
    platform->GetLogicalDrives();
    EXPECT_EQ(platform->ToProgramPath(sys.dir / "copy/Music"), "k:\\Music");
}

TEST(PathsShell, ShellGetsTheLinuxFormOfThePath) {
    FakeSystem sys;
    WriteFile(sys.At("/media/u/MY IPOD/iPod_Control/Music/F00/ABCD.mp3"), "x");
    std::vector<std::string> opened;
    sys.roots.shellOpen = [&](const std::string& path) {
        opened.push_back(path);
    };
    auto platform = sys.MakePlatform();
    platform->ShellOpen("d:\\ipod_control\\music\\f00\\abcd.mp3");
    platform->ShellOpen("c:\\home\\u\\out");
    EXPECT_EQ(opened,
              (std::vector<std::string>{sys.At("/media/u/MY IPOD/iPod_Control/Music/F00/ABCD.mp3"),
                                        sys.At("/home/u/out")}));
}

TEST(PathsRealRoot, RootFolderSlashGivesRealPaths) {
    TempDir dir;
    PosixRoots roots = FakeMachineRoots(dir);
    roots.rootDir = "/";
    PosixPlatform platform(roots);
    EXPECT_EQ(platform.ToLinuxPath("c:\\etc\\hostname"), "/etc/hostname");
    std::string expected = "c:" + dir.path() + "/x";
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(platform.ToProgramPath(dir / "x"), expected);
}

} // namespace
} // namespace korvello::test
