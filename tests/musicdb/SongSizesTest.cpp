// SPDX-License-Identifier: GPL-3.0-or-later
// The song sizes of a load, which list each music folder once, against the platform's own
// look-up of each song file: every spelling a database may hold (names and folders in
// another letter case, two names differing only in case, folders, links, paths outside the
// music folders or deeper than the caseless look-up goes) gives the size FindFile gives.
#include "support/IpodTree.h"

#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;
namespace fs = std::filesystem;

namespace {

// Locations as the database writes them, with what each one exercises.
const char* const kLocations[] = {
    ":iPod_Control:Music:F00:EXACT.mp3",        // the name as it is on disk
    ":iPod_Control:Music:F00:exact.MP3",        // another letter case
    ":iPod_Control:MUSIC:f00:Exact.mp3",        // folders in another case as well
    ":iPod_Control:Music:F01:Twin.mp3",         // two names differing only in case: exact
    ":iPod_Control:Music:F01:twin.MP3",         //   ... no exact name: the smaller, "TWIN.mp3"
    ":iPod_Control:Music:F01:Élan.m4a",         // folded beyond ASCII: "élan.m4a" on disk
    ":iPod_Control:Music:F01:Folder.mp3",       // a folder has no size
    ":iPod_Control:Music:F01:Dangling.mp3",     // a link to nothing
    ":iPod_Control:Music:F01:Linked.mp3",       // a link to a file: the file's size
    ":iPod_Control:Music:F01:Missing.mp3",      // not there
    ":iPod_Control:Music:F02:Gone.mp3",         // its folder is not there
    ":iPod_Control:Music:F01:EXACT.mp3:x.mp3",  // its "folder" is a file
    ":iPod_Control:Music:F01::.:Twin.mp3",      // empty and "." names
    ":iPod_Control:Music:F03:..:F00:EXACT.mp3", // ".." back into another folder
    ":Loose.mp3",                               // outside the music folders, at the root
    ":a:b:c:d:e:f:g:h:Deep.mp3",                // deeper than the caseless look-up goes
    ":A:B:C:D:E:F:G:H:deep.mp3",                //   ... so another case is not found there
    "",                                         // no location: the root, a folder
};

class SongSizes : public ::testing::Test {
protected:
    IpodTree tree_;
    std::unique_ptr<PosixPlatform> platform_ = tree_.MakePlatform();

    void SetUp() override {
        const std::string music = tree_.Ipod() + "/iPod_Control/Music";
        tree_.AddSongFile("iPod_Control/Music/F00/EXACT.mp3", 1000);
        tree_.AddSongFile("iPod_Control/Music/F01/Twin.mp3", 1001);
        tree_.AddSongFile("iPod_Control/Music/F01/TWIN.mp3", 1002);
        tree_.AddSongFile("iPod_Control/Music/F01/élan.m4a", 1003);
        tree_.AddSongFile("iPod_Control/Music/F01/EXACT.mp3", 1004);
        tree_.AddSongFile("iPod_Control/Music/F03/Other.mp3", 1005);
        tree_.AddSongFile("Loose.mp3", 1006);
        tree_.AddSongFile("a/b/c/d/e/f/g/h/Deep.mp3", 1007);
        fs::create_directories(music + "/F01/Folder.mp3");
        fs::create_symlink(music + "/F01/nothing", music + "/F01/Dangling.mp3");
        fs::create_symlink(music + "/F00/EXACT.mp3", music + "/F01/Linked.mp3");
    }

    // Loads a database of one song per location and checks each song's size against
    // FindFile of its location.
    void LoadAndCompare(const std::vector<std::string>& locations) {
        itdb::ITunesDbWriter writer;
        std::int32_t id = 0;
        for (const std::string& location : locations) {
            ++id;
            auto& track = writer.AddTrack(id).Add(itdb::Title, "Song " + std::to_string(id));
            if (!location.empty())
                track.Add(itdb::Location, location);
        }
        tree_.WriteDatabase(writer);
        TiPod ipod(*platform_);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        ASSERT_EQ(ipod.SongCount(), static_cast<std::int32_t>(locations.size()));
        for (std::int32_t i = 0; i < ipod.SongCount(); ++i) {
            const TSong& song = ipod.SongAt(i);
            SCOPED_TRACE(ToUtf8(song.Location));
            EXPECT_EQ(song.FileBytes, platform_->FindFile(ToUtf8(song.Location)).value_or(-1));
            // A file found under its names as written is shown by those names without a
            // look at the disk, which must give the text the look-up gives.
            if (ipod.FoundAsGiven(i)) {
                EXPECT_EQ(platform_->LinuxPathAsGiven(ToUtf8(song.Location)),
                          platform_->DisplayPath(ToUtf8(song.Location)));
            }
        }
    }

    std::int64_t SizeOf(const TiPod& ipod, std::int32_t song) {
        return ipod.SongAt(song).FileBytes;
    }
};

} // namespace

TEST_F(SongSizes, EverySpellingGivesTheSizeThePlatformFindsForIt) {
    const std::vector<std::string> locations(std::begin(kLocations), std::end(kLocations));
    // Folders changed just now (whose listings may still gain entries) and folders
    // changed long ago take different ways through the listings.
    LoadAndCompare(locations);
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : fs::recursive_directory_iterator(tree_.Ipod()))
        if (entry.is_directory() && !entry.is_symlink())
            fs::last_write_time(entry.path(), past);
    LoadAndCompare(locations);

    // And the answers themselves, so that both sides cannot be wrong alike.
    TiPod ipod(*platform_);
    ipod.SetDrivePath("e:");
    ipod.LoadDatabase();
    const std::vector<std::int64_t> expected = {1000, 1000, 1000, 1001, 1002, 1003, -1,   -1, 1000,
                                                -1,   -1,   -1,   1001, 1000, 1006, 1007, -1, -1};
    ASSERT_EQ(ipod.SongCount(), static_cast<std::int32_t>(expected.size()));
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
        EXPECT_EQ(SizeOf(ipod, i), expected[static_cast<std::size_t>(i)]) << kLocations[i];
    // Found as written: the exact names (also through "", "." and ".." names, and a folder
    // or a link found so), never a name or folder matched without case, nothing missing,
    // nothing past the caseless depth (not looked at that way).
    const std::vector<bool> asGiven = {true, false, false, true,  false, false,
                                       true, false, true,  false, false, false,
                                       true, true,  true,  false, false, false};
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
        EXPECT_EQ(ipod.FoundAsGiven(i), asGiven[static_cast<std::size_t>(i)]) << kLocations[i];
    EXPECT_FALSE(ipod.FoundAsGiven(-1));
    EXPECT_FALSE(ipod.FoundAsGiven(ipod.SongCount()));
}

TEST_F(SongSizes, FilesChangedAfterALoadAreSeenByTheNext) {
    const std::vector<std::string> locations = {":iPod_Control:Music:F00:EXACT.mp3",
                                                ":iPod_Control:Music:F00:New.mp3"};
    LoadAndCompare(locations);
    tree_.AddSongFile("iPod_Control/Music/F00/new.mp3", 2000);
    tree_.AddSongFile("iPod_Control/Music/F00/EXACT.mp3", 3000);
    TiPod ipod(*platform_);
    ipod.SetDrivePath("e:");
    LoadAndCompare(locations);
    ipod.LoadDatabase();
    EXPECT_EQ(SizeOf(ipod, 0), 3000);
    EXPECT_EQ(SizeOf(ipod, 1), 2000);
}

TEST_F(SongSizes, SongsSpreadOverMoreFoldersThanAreListedStillGetTheirSizes) {
    // More music folders than one load holds open: the folders past them are looked up
    // song by song.
    std::vector<std::string> locations;
    for (int f = 0; f < 140; ++f) {
        const std::string folder = "G" + std::to_string(f);
        tree_.AddSongFile("iPod_Control/Music/" + folder + "/s.mp3", 100 + f);
        locations.push_back(":iPod_Control:Music:" + folder + ":S.MP3");
        locations.push_back(":iPod_Control:Music:" + folder + ":none.mp3");
    }
    LoadAndCompare(locations);
}
