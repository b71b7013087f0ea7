// SPDX-License-Identifier: GPL-3.0-or-later
// The song sizes of a load, which list each music folder once, against the platform's own
// look-up of each song file: every spelling a database may hold (names and folders in
// another letter case, two names differing only in case, folders, links, paths outside the
// music folders or deeper than the caseless look-up goes) gives the size FindFile gives.
#include "support/ForwardingPlatform.h"
#include "support/IpodTree.h"

#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

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

TEST_F(SongSizes, ThousandsOfSongsEachGetTheSizeOfTheirOwnFile) {
    // Enough songs that the load's look-ups run on two threads at once, each song's file a
    // size of its own, spelled as written, in another case, or missing.
    constexpr int kSongs = 2400;
    std::vector<std::string> locations;
    std::vector<std::int64_t> expected;
    for (int i = 0; i < kSongs; ++i) {
        const std::string folder = "H" + std::to_string(i % 24);
        const std::string name = "S" + std::to_string(i) + ".mp3";
        if (i % 7 == 0) {
            expected.push_back(-1);
        } else {
            tree_.AddSongFile("iPod_Control/Music/" + folder + "/" + name,
                              static_cast<std::size_t>(i));
            expected.push_back(i);
        }
        locations.push_back(
            ":iPod_Control:Music:" + (i % 4 == 1 ? "h" + folder.substr(1) : folder) + ":" +
            (i % 3 == 2 ? "s" + name.substr(1) : name));
    }
    LoadAndCompare(locations);
    TiPod ipod(*platform_);
    ipod.SetDrivePath("e:");
    ipod.LoadDatabase();
    ASSERT_EQ(ipod.SongCount(), kSongs);
    for (std::int32_t i = 0; i < kSongs; ++i) {
        SCOPED_TRACE(locations[static_cast<std::size_t>(i)]);
        EXPECT_EQ(SizeOf(ipod, i), expected[static_cast<std::size_t>(i)]);
        EXPECT_EQ(ipod.FoundAsGiven(i),
                  expected[static_cast<std::size_t>(i)] >= 0 && i % 4 != 1 && i % 3 != 2);
    }
}

namespace {

// A platform whose file look-ups may serve only one thread at a time: it notes whether
// two asks ever overlapped, and every thread that asked about the music folders.
class OneThreadPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::optional<std::int64_t> FindFile(const std::string& path) override {
        const Ask ask(*this, path);
        return ForwardingPlatform::FindFile(path);
    }
    bool DirectoryExists(const std::string& path) override {
        const Ask ask(*this, path);
        return ForwardingPlatform::DirectoryExists(path);
    }

    std::set<std::thread::id> MusicThreads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    bool overlapped = false;

private:
    struct Ask {
        Ask(OneThreadPlatform& platform, const std::string& path) : platform_(platform) {
            if (platform_.inside_.fetch_add(1) != 0)
                platform_.overlapped = true;
            std::lock_guard lock(platform_.mutex_);
            if (path.find("\\Music\\") != std::string::npos)
                platform_.threads_.insert(std::this_thread::get_id());
        }
        ~Ask() { platform_.inside_.fetch_sub(1); }
        OneThreadPlatform& platform_;
    };
    std::atomic<int> inside_{0};
    std::mutex mutex_;
    std::set<std::thread::id> threads_;
};

} // namespace

TEST_F(SongSizes, APlatformThatServesOneThreadIsAskedFromOneThreadOnly) {
    std::vector<std::string> locations;
    for (int i = 0; i < 600; ++i) {
        const std::string name =
            "iPod_Control/Music/F0" + std::to_string(i % 5) + "/N" + std::to_string(i) + ".mp3";
        tree_.AddSongFile(name, static_cast<std::size_t>(i));
        locations.push_back(":" + name);
    }
    for (std::string& location : locations)
        std::replace(location.begin(), location.end(), '/', ':');
    itdb::ITunesDbWriter writer;
    for (std::size_t i = 0; i < locations.size(); ++i)
        writer.AddTrack(static_cast<std::int32_t>(i) + 1).Add(itdb::Location, locations[i]);
    tree_.WriteDatabase(writer);

    OneThreadPlatform platform(*platform_);
    TiPod ipod(platform);
    ipod.SetDrivePath("e:");
    ipod.LoadDatabase();
    ASSERT_EQ(ipod.SongCount(), 600);
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
        EXPECT_EQ(SizeOf(ipod, i), i) << locations[static_cast<std::size_t>(i)];
    EXPECT_EQ(platform.MusicThreads().size(), 1u);
    EXPECT_FALSE(platform.overlapped);
}
