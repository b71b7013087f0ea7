// SPDX-License-Identifier: GPL-3.0-or-later
// Songs read from an iPod's own files, on real audio made by sox, lame and flac: iPods
// without a database, with an empty or a damaged one, with one that names half of the
// files, a shuffle with an iTunesSD only; a damaged song file, the tag cache and Stop.
#include "support/MachineFixture.h"
#include "tags/AudioFiles.h"

#include "core/ErrorLog.h"
#include "itdb/ITunesDbWriter.h"
#include "musicdb/MusicFolderScan.h"
#include "platform/Text.h"
#include "tags/Tagger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

// A tagger that counts what it is asked, so a test sees which files were read.
class CountingTagger final : public ITagger {
public:
    explicit CountingTagger(IPlatform& platform) : real_(MakeTagLibTagger(platform)) {}
    TTagOutcome WriteTags(const std::string& path, const TSong& song) override {
        return real_->WriteTags(path, song);
    }
    bool ReadTags(const std::string& path, TSong& song, std::string& error) override {
        ++reads;
        return real_->ReadTags(path, song, error);
    }
    int reads = 0;

private:
    std::unique_ptr<ITagger> real_;
};

class MusicFolderScan : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = MissingAudioTools(); !missing.empty())
            GTEST_SKIP() << missing;
        ipod_ = machine_.tmp / "ipod";
        MakeDirs(ipod_ + "/iPod_Control/iTunes");
        machine_.MapDrive("e:", ipod_);
        TLogClass::SetAppFolder(machine_.platform->AppFolder());
    }

    std::string Music(const std::string& relative) const {
        return ipod_ + "/iPod_Control/Music/" + relative;
    }
    // A song file under Music/ with the given mutagen tags ("" for none).
    void Song(const std::string& relative, const std::string& tags, int seed = 0) const {
        MakeDirs(std::filesystem::path(Music(relative)).parent_path());
        const std::string extension = relative.substr(relative.rfind('.') + 1);
        ASSERT_TRUE(MakeSong(Music(relative), extension, seed)) << relative;
        if (!tags.empty()) {
            ASSERT_TRUE(SetTagsWithMutagen(Music(relative), tags)) << relative;
        }
    }
    // Three songs of three formats and a file that is no song at all.
    void FourFiles() const {
        Song("F00/AAAA.mp3", "title='First Song' artist=Ann album=One tracknumber=2/9 date=2001");
        Song("F01/BBBB.flac", "title=Flac artist=Bob", 1);
        Song("F01/CCCC.mp3", "", 2);
        WriteFile(Music("F01/DDDD.m4a"), std::string(3000, '\x17'));
    }

    TScanResult Load(TiPod& ipod, bool withUnlisted, const TScanOptions& options = {}) {
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        return AddSongsOfFiles(ipod, *machine_.platform, tagger_, withUnlisted, options);
    }
    static const TSong* ByTitle(const TiPod& ipod, const std::u16string& title) {
        for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
            if (ipod.SongAt(i).Title == title)
                return &ipod.SongAt(i);
        return nullptr;
    }

    MachineFixture machine_;
    std::string ipod_;
    CountingTagger tagger_{*machine_.platform};
};

TEST_F(MusicFolderScan, WithoutDatabaseSongsComeFromTheirFilesTagsAndNames) {
    FourFiles();
    // Left out: macOS's "._" companions, files of other kinds, links.
    WriteFile(Music("F00/._AAAA.mp3"), "resource fork");
    WriteFile(Music("F00/notes.txt"), "not a song");
    std::filesystem::create_symlink("/etc/passwd", Music("F00/EEEE.mp3"));

    TiPod ipod(*machine_.platform);
    const TScanResult result = Load(ipod, false);
    EXPECT_TRUE(result.replaced);
    ASSERT_EQ(ipod.SongCount(), 4);

    const TSong* first = ByTitle(ipod, u"First Song");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Artist, u"Ann");
    EXPECT_EQ(first->Album, u"One");
    EXPECT_EQ(first->TrackNumber, 2);
    EXPECT_EQ(first->TrackCount, 9);
    EXPECT_EQ(first->Year, 2001);
    EXPECT_EQ(first->FileType, u"MPEG audio file");
    EXPECT_GT(first->Duration, 300);
    EXPECT_EQ(first->Location, u"e:\\iPod_Control\\Music\\F00\\AAAA.mp3");
    EXPECT_EQ(first->FileBytes,
              static_cast<std::int64_t>(std::filesystem::file_size(Music("F00/AAAA.mp3"))));
    EXPECT_FALSE(first->FileSize.empty());
    EXPECT_EQ(first->Source, TSong::TSource::Files);

    EXPECT_NE(ByTitle(ipod, u"Flac"), nullptr);
    // No title: the file's name; a file no tagger reads: listed by name and size, logged.
    const TSong* untitled = ByTitle(ipod, u"CCCC");
    ASSERT_NE(untitled, nullptr);
    EXPECT_EQ(untitled->FileType, u"MPEG audio file");
    const TSong* damaged = ByTitle(ipod, u"DDDD");
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->FileBytes, 3000);
    EXPECT_TRUE(damaged->FileType.empty());
    ASSERT_EQ(result.unreadable.size(), 1u);
    EXPECT_NE(machine_.Log().find("DDDD.m4a"), std::string::npos);

    // Path order, ids from 1, and the window's look-up by id finds each song.
    EXPECT_EQ(ipod.SongAt(0).Location, u"e:\\iPod_Control\\Music\\F00\\AAAA.mp3");
    EXPECT_EQ(ipod.SongAt(3).Location, u"e:\\iPod_Control\\Music\\F01\\DDDD.m4a");
    for (std::int32_t i = 0; i < ipod.SongCount(); ++i) {
        TSong found;
        ipod.FindSongById(ipod.SongAt(i).SongId, found);
        EXPECT_EQ(found, ipod.SongAt(i));
    }
    EXPECT_EQ(ipod.GetArtists(), (std::vector<std::string>{"Ann", "Bob"}));
}

// The walk's limits, on names alone (no tag is read): a hand-filled player's nesting is
// followed six folders deep and no deeper, and a link to a folder (here one that leads
// back up, which would repeat the tree) is not entered.
TEST(MusicFolderWalk, FoldersBeyondSixLevelsAndLinkedFoldersAreNotEntered) {
    MachineFixture machine;
    const std::string music = machine.tmp / "ipod/iPod_Control/Music";
    WriteFile(music + "/F00/A.mp3", "a");
    WriteFile(music + "/2/3/4/5/6/Six.mp3", "6");
    WriteFile(music + "/2/3/4/5/6/7/Seven.mp3", "7");
    std::filesystem::create_directory_symlink(music, music + "/F00/Up");
    std::filesystem::create_directory_symlink(music + "/2", music + "/Aside");
    machine.MapDrive("e:", machine.tmp / "ipod");
    std::vector<std::string> paths;
    for (const TMusicFile& file : ListMusicFiles(*machine.platform, "e:"))
        paths.push_back(file.path);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"e:\\iPod_Control\\Music\\2\\3\\4\\5\\6\\Six.mp3",
                                               "e:\\iPod_Control\\Music\\F00\\A.mp3"}));
}

TEST_F(MusicFolderScan, EmptyAndDamagedDatabasesAreReplacedByTheFiles) {
    FourFiles();
    for (const std::string& database : {std::string(), std::string("mhbd garbage", 12)}) {
        WriteFile(ipod_ + "/iPod_Control/iTunes/iTunesDB", database);
        TiPod ipod(*machine_.platform);
        const TScanResult result = Load(ipod, false);
        EXPECT_FALSE(ipod.DatabaseStatus().Readable());
        EXPECT_TRUE(result.replaced);
        EXPECT_EQ(ipod.SongCount(), 4);
        EXPECT_EQ(ipod.SongsFromFiles(), 4);
    }
}

TEST_F(MusicFolderScan, NoSongFilesLeavesAnUnreadableDatabaseSaid) {
    TiPod ipod(*machine_.platform);
    const TScanResult result = Load(ipod, false);
    EXPECT_TRUE(result.scanned);
    EXPECT_FALSE(result.replaced);
    EXPECT_EQ(ipod.SongCount(), 0);
    EXPECT_FALSE(ipod.DatabaseStatus().Readable());
}

TEST_F(MusicFolderScan, FilesTheDatabaseDoesNotNameOnlyWhenAsked) {
    FourFiles();
    itdb::ITunesDbWriter writer;
    // The database names two files, one in another letter case than the disk.
    writer.AddTrack(70)
        .Add(itdb::Title, "Named A")
        .Add(itdb::Location, ":iPod_Control:Music:F00:AAAA.mp3");
    writer.AddTrack(900)
        .Add(itdb::Title, "Named B")
        .Add(itdb::Location, ":IPOD_CONTROL:MUSIC:F01:bbbb.flac");
    writer.WriteFile(ipod_ + "/iPod_Control/iTunes/iTunesDB");

    TiPod plain(*machine_.platform);
    const TScanResult none = Load(plain, false);
    EXPECT_FALSE(none.scanned);
    EXPECT_EQ(plain.SongCount(), 2);
    EXPECT_EQ(tagger_.reads, 0);

    TiPod ipod(*machine_.platform);
    const TScanResult result = Load(ipod, true);
    EXPECT_FALSE(result.replaced);
    ASSERT_EQ(ipod.SongCount(), 4);
    EXPECT_EQ(ipod.SongAt(0).Title, u"Named A");
    EXPECT_EQ(ipod.SongAt(0).Source, TSong::TSource::Database);
    EXPECT_EQ(ipod.SongAt(2).Title, u"CCCC");
    EXPECT_EQ(ipod.SongAt(2).Source, TSong::TSource::Files);
    // Past the database's largest id, so an id still names one song.
    EXPECT_EQ(ipod.SongAt(2).SongId, 901);
    EXPECT_EQ(ipod.SongAt(3).SongId, 902);
    EXPECT_EQ(ipod.SongsFromFiles(), 2);
}

TEST_F(MusicFolderScan, ShuffleWithOnlyAnITunesSDKeepsItsPlayOrder) {
    Song("F00/AAAA.mp3", "title=A");
    Song("F00/BBBB.mp3", "title=B", 1);
    Song("F00/CCCC.mp3", "title=C", 2);
    // A first-generation shuffle's list: C, A (B is on the disk but not in the list).
    const auto entry = [](const std::string& path) {
        std::string bytes(558, '\0');
        bytes[1] = 0x02;
        bytes[2] = 0x2e;
        for (std::size_t i = 0; i < path.size(); ++i)
            bytes[33 + 2 * i] = path[i];
        return bytes;
    };
    std::string sd = {0, 0, 3, 1, 6, 0, 0, 0, 18};
    sd.resize(18, '\0');
    sd += entry("/iPod_Control/Music/F00/CCCC.mp3") + entry("/iPod_Control/Music/F00/AAAA.mp3");
    // It declares three entries but holds two: the end of the file ends the list.
    WriteFile(ipod_ + "/iPod_Control/iTunes/iTunesSD", sd);

    EXPECT_EQ(ShuffleOrder(*machine_.platform, "e:"),
              (std::vector<std::string>{"\\ipod_control\\music\\f00\\cccc.mp3",
                                        "\\ipod_control\\music\\f00\\aaaa.mp3"}));
    TiPod ipod(*machine_.platform);
    Load(ipod, false);
    ASSERT_EQ(ipod.SongCount(), 3);
    EXPECT_EQ(ipod.SongAt(0).Title, u"C");
    EXPECT_EQ(ipod.SongAt(1).Title, u"A");
    EXPECT_EQ(ipod.SongAt(2).Title, u"B");
}

TEST_F(MusicFolderScan, SecondScanReadsNoTagAndAChangedFileIsReadAgain) {
    FourFiles();
    TScanOptions options;
    options.cacheFile = SongTagsCacheFile(*machine_.platform);

    TiPod first(*machine_.platform);
    const TScanResult cold = Load(first, false, options);
    EXPECT_EQ(cold.tagsRead, 4);
    EXPECT_TRUE(cold.cacheWritten);

    TiPod second(*machine_.platform);
    const TScanResult warm = Load(second, false, options);
    EXPECT_EQ(warm.tagsRead, 0);
    EXPECT_EQ(warm.fromCache, 4);
    EXPECT_EQ(tagger_.reads, 4);
    ASSERT_EQ(second.SongCount(), first.SongCount());
    for (std::int32_t i = 0; i < first.SongCount(); ++i)
        EXPECT_EQ(second.SongAt(i), first.SongAt(i));
    // The damaged file stays listed by name, and is still said in the log.
    EXPECT_EQ(warm.unreadable.size(), 1u);

    // New tags change the file's size and time: only that file is read again.
    ASSERT_TRUE(SetTagsWithMutagen(Music("F01/CCCC.mp3"), "title=Retagged"));
    TiPod third(*machine_.platform);
    const TScanResult changed = Load(third, false, options);
    EXPECT_EQ(changed.tagsRead, 1);
    EXPECT_NE(ByTitle(third, u"Retagged"), nullptr);
}

TEST_F(MusicFolderScan, DamagedCacheIsReadAroundNeverTrusted) {
    FourFiles();
    TScanOptions options;
    options.cacheFile = SongTagsCacheFile(*machine_.platform);
    TiPod first(*machine_.platform);
    Load(first, false, options);
    const std::string cacheFile = machine_.InAppFolder("songtags.cache");
    std::vector<std::string> lines;
    {
        std::istringstream in(ReadFile(cacheFile));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 5u);
    // The header, one whole entry, a line of nonsense, and an entry cut off half way (the
    // file ends without its line's end): one file is known, three are read again.
    WriteFile(cacheFile, lines[0] + "\n" + lines[1] + "\nnonsense\t1\t2\n" +
                             lines[2].substr(0, lines[2].size() / 2));

    TiPod second(*machine_.platform);
    const TScanResult result = Load(second, false, options);
    EXPECT_EQ(result.fromCache, 1);
    EXPECT_EQ(result.tagsRead, 3);
    ASSERT_EQ(second.SongCount(), first.SongCount());
    for (std::int32_t i = 0; i < first.SongCount(); ++i)
        EXPECT_EQ(second.SongAt(i), first.SongAt(i));

    // A cache of another layout is not read at all.
    WriteFile(cacheFile, "Some other cache 9\n" + ReadFile(cacheFile).substr(21));
    TiPod third(*machine_.platform);
    EXPECT_EQ(Load(third, false, options).tagsRead, 4);
}

TEST_F(MusicFolderScan, StopEndsTheReadingWithTheSongsReadSoFar) {
    FourFiles();
    std::atomic<bool> stop{false};
    TScanOptions options;
    options.stop = &stop;
    std::vector<std::int64_t> totals;
    options.progress = [&](std::int64_t done, std::int64_t total) {
        totals.push_back(total);
        if (done == 2)
            stop = true;
    };
    TiPod ipod(*machine_.platform);
    const TScanResult result = Load(ipod, false, options);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(ipod.SongCount(), 2);
    EXPECT_EQ(tagger_.reads, 2);
    EXPECT_EQ(totals, (std::vector<std::int64_t>{4, 4}));
}

} // namespace
