// SPDX-License-Identifier: GPL-3.0-or-later
// The iPods of later years on real files: iTunesCDB (nano 5G and 6G beside an empty
// iTunesDB, nano 7G alone), track lists after other data sets, UTF-8 string objects, and
// volumes whose database cannot be read, through the catalogue.
#include "support/FailingFile.h"
#include "support/ForwardingPlatform.h"
#include "support/IpodTree.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/IpodLayout.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class LaterIpod : public ::testing::Test {
protected:
    IpodTree tree_;
    std::unique_ptr<PosixPlatform> platform_ = tree_.MakePlatform();

    std::string ITunes() const { return tree_.Ipod() + "/iPod_Control/iTunes"; }
    std::string Compressed() const { return ITunes() + "/iTunesCDB"; }

    static itdb::ITunesDbWriter Library() { return LaterIpodLibrary(); }

    std::vector<TSong> Load(TiPod& ipod) {
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
        std::vector<TSong> songs;
        for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
            songs.push_back(ipod.SongAt(i));
        return songs;
    }

    // The error of a load of e: through `platform` that must fail, and the songs it kept
    // (none).
    static std::string LoadError(IPlatform& platform) {
        TiPod ipod(platform);
        ipod.SetDrivePath("e:");
        std::string error = "no error";
        try {
            ipod.LoadDatabase();
        } catch (const EKorvelloError& e) {
            error = e.what();
        }
        EXPECT_EQ(ipod.SongCount(), 0);
        return error;
    }

    std::vector<TSong> Reference() {
        Library().WriteFile(tree_.DatabaseFile());
        TiPod ipod(*platform_);
        auto songs = Load(ipod);
        std::filesystem::remove(tree_.DatabaseFile());
        return songs;
    }
};

} // namespace

TEST_F(LaterIpod, Utf8StringObjectsReadAsUtf8) {
    const auto songs = Reference();
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_EQ(songs[1].Title, u"Caf\u00e9 \u65e5\u672c \U0001F3B5");
    EXPECT_EQ(songs[1].Album, u"\u00c9t\u00e9");
    EXPECT_EQ(songs[1].Artist, u"Wide \u00e9");
    EXPECT_EQ(songs[0].Artist, u"Someone");
}

TEST_F(LaterIpod, ITunesCdbReadsExactlyAsThePlainDatabase) {
    const auto reference = Reference();
    itdb::WriteBytes(Compressed(), Library().BuildCompressed());
    struct Case {
        const char* name;
        std::optional<std::vector<std::uint8_t>> plain; // the iTunesDB beside it
    };
    itdb::ITunesDbWriter noTracks;
    noTracks.AddPlaylist({"iPod", {}, true});
    for (const Case& c : {Case{"nano 7G: iTunesCDB alone", std::nullopt},
                          Case{"nano 5G: an empty iTunesDB beside it", std::vector<std::uint8_t>{}},
                          Case{"an iTunesDB declaring no tracks", noTracks.Build()}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(tree_.DatabaseFile());
        if (c.plain)
            itdb::WriteBytes(tree_.DatabaseFile(), *c.plain);
        TiPod ipod(*platform_);
        EXPECT_EQ(Load(ipod), reference);
        EXPECT_TRUE(ipod.DatabaseStatus().Readable()) << ipod.DatabaseStatus().problem;
        EXPECT_EQ(ipod.DatabaseStatus().file, TDatabaseFile::ITunesCDB);
        EXPECT_EQ(ipod.DatabaseStatus().path, "e:\\iPod_Control\\iTunes\\iTunesCDB");
    }

    // An iTunesDB that holds tracks is read, whatever the iTunesCDB says.
    itdb::ITunesDbWriter other;
    other.AddTrack(99).Add(itdb::Title, "From the iTunesDB");
    other.WriteFile(tree_.DatabaseFile());
    TiPod ipod(*platform_);
    const auto songs = Load(ipod);
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].SongId, 99);
    EXPECT_EQ(ipod.DatabaseStatus().file, TDatabaseFile::ITunesDB);
}

TEST_F(LaterIpod, TrackListAsThirdOrFifthDataSet) {
    const auto reference = Reference();
    for (const std::vector<std::int32_t>& before :
         {std::vector<std::int32_t>{4, 8}, std::vector<std::int32_t>{4, 8, 3}}) {
        SCOPED_TRACE(before.size() + 1);
        auto writer = Library();
        writer.layout().dataSetsBefore = before;
        // With playlists first as well, the tracks come one data set later still.
        writer.layout().playlistsFirst = before.size() == 3;
        writer.WriteFile(tree_.DatabaseFile());
        TiPod ipod(*platform_);
        EXPECT_EQ(Load(ipod), reference);
    }
    // A header that declares only two data sets is believed: the third is not looked at.
    auto writer = Library();
    writer.layout().dataSetsBefore = {4, 8};
    writer.layout().declaredDataSetCount = 2;
    writer.WriteFile(tree_.DatabaseFile());
    TiPod ipod(*platform_);
    EXPECT_TRUE(Load(ipod).empty());
}

TEST_F(LaterIpod, DamagedCompressedDatabasesAreRefusedWithAReason) {
    const auto compressed = Library().BuildCompressed();
    auto truncated = compressed;
    truncated.resize(truncated.size() - 30);
    auto damaged = compressed;
    for (std::size_t i = 0xF4 + 2; i < 0xF4 + 40; ++i)
        damaged[i] ^= 0x5A;
    // A bomb: a little database followed by 20 MB of zeros, which deflate a thousandfold.
    auto image = Library().Build();
    image.resize(image.size() + 20 * 1024 * 1024, 0);
    const auto bomb = itdb::Compress(image);
    ASSERT_LT(bomb.size() * 64, image.size());

    for (const auto& [file, reason] :
         {std::pair{truncated, "cut short"}, std::pair{damaged, "damaged"},
          std::pair{bomb, "would inflate to more than"}}) {
        SCOPED_TRACE(reason);
        itdb::WriteBytes(Compressed(), file);
        TiPod ipod(*platform_);
        const auto songs = Load(ipod);
        EXPECT_TRUE(songs.empty());
        EXPECT_EQ(ipod.DatabaseStatus().file, TDatabaseFile::ITunesCDB);
        EXPECT_NE(ipod.DatabaseStatus().problem.find(reason), std::string::npos)
            << ipod.DatabaseStatus().problem;
    }
}

TEST_F(LaterIpod, ITunesCdbThatFailsPartWayIsAnErrorNotAnEmptyIpod) {
    // The nano 5G: an empty iTunesDB beside the iTunesCDB, whose read breaks off in the
    // compressed stream.
    itdb::WriteBytes(tree_.DatabaseFile(), {});
    itdb::WriteBytes(Compressed(), Library().BuildCompressed());
    FailingFilesPlatform failing(*platform_);
    failing.FailFile("e:\\iPod_Control\\iTunes\\iTunesCDB", FileFailure::ReadAfter(0xF4 + 10));
    EXPECT_EQ(LoadError(failing),
              "Cannot read file e:\\iPod_Control\\iTunes\\iTunesCDB: Input/output error");
}

TEST_F(LaterIpod, ADatabaseThatReadsShortOfItsSizeIsAnErrorNotAHang) {
    Library().WriteFile(tree_.DatabaseFile());
    FailingFilesPlatform failing(*platform_);
    failing.FailFile(DatabasePath("e:"), FileFailure::ShortOfItsSize(100));
    EXPECT_EQ(LoadError(failing), "Cannot read file " + DatabasePath("e:") + ": it ended early");
}

TEST_F(LaterIpod, AVolumeWithoutAReadableDatabaseIsToldApartFromAnEmptyIpod) {
    // First an iPod with songs, so that what a load keeps can be seen.
    Library().WriteFile(tree_.DatabaseFile());
    TiPod ipod(*platform_);
    ASSERT_EQ(Load(ipod).size(), 2u);

    // No database file: the songs stay, as they always have; the reason is known.
    std::filesystem::remove(tree_.DatabaseFile());
    EXPECT_EQ(Load(ipod).size(), 2u);
    EXPECT_EQ(ipod.DatabaseStatus().file, TDatabaseFile::None);
    EXPECT_EQ(ipod.DatabaseStatus().problem, "it holds no iTunesDB or iTunesCDB");

    // An iPod touch keeps an SQLite library instead.
    MakeDirs(ITunes() + "/iTunes Library.itlp");
    Load(ipod);
    EXPECT_NE(ipod.DatabaseStatus().problem.find("SQLite"), std::string::npos);

    // A database file of 0 bytes without an iTunesCDB: no songs, and a reason.
    itdb::WriteBytes(tree_.DatabaseFile(), {});
    EXPECT_TRUE(Load(ipod).empty());
    EXPECT_EQ(ipod.DatabaseStatus().problem, "its iTunesDB is empty");

    // A database that really holds no songs is an answer, not a problem.
    itdb::ITunesDbWriter empty;
    empty.WriteFile(tree_.DatabaseFile());
    EXPECT_TRUE(Load(ipod).empty());
    EXPECT_TRUE(ipod.DatabaseStatus().Readable());
    EXPECT_EQ(ipod.DatabaseStatus().file, TDatabaseFile::ITunesDB);
}

TEST_F(LaterIpod, ADatabaseCutShortShowsTheSongsReadAndSaysItIsDamaged) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 128; ++i)
        writer.AddTrack(i)
            .Add(itdb::Title, "Song " + std::to_string(i))
            .Add(itdb::Location, ":iPod_Control:Music:F00:S" + std::to_string(i) + ".mp3");
    writer.WriteFile(tree_.DatabaseFile(), 3000);
    TiPod ipod(*platform_);
    const auto songs = Load(ipod);
    // Only the tracks in the first 3,000 bytes; none of the 128 records is empty.
    ASSERT_GE(songs.size(), 1u);
    ASSERT_LT(songs.size(), 30u);
    for (std::size_t i = 0; i < songs.size(); ++i)
        EXPECT_EQ(songs[i].SongId, static_cast<std::int32_t>(i + 1));
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    EXPECT_TRUE(status.Readable());
    EXPECT_TRUE(status.Damaged());
    EXPECT_EQ(status.declaredSongs, 128);
    EXPECT_EQ(status.readSongs, static_cast<std::int64_t>(songs.size()));
    EXPECT_EQ(DamagedDatabaseText(status),
              "The iPod's music database is damaged: " + std::to_string(songs.size()) +
                  " of 128 songs could be read.");

    // The whole file is not damaged.
    writer.WriteFile(tree_.DatabaseFile());
    EXPECT_EQ(Load(ipod).size(), 128u);
    EXPECT_FALSE(ipod.DatabaseStatus().Damaged());
}

TEST_F(LaterIpod, ACompressedDatabaseInflatingToTinyTracksCostsWhatItsFileAllows) {
    // 20-byte tracks with ids, 6 MB of them, behind a huge declared count: such an image
    // compresses more than twentyfold, so its file is small and its walk must stay
    // in proportion to the file.
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "Real").Add(itdb::Location, ":iPod_Control:Music:F00:A");
    writer.layout().declaredTrackCount = 0x7FFFFFFF;
    auto image = writer.Build();
    std::uint32_t random = 12345;
    while (image.size() < 6u * 1024 * 1024) {
        const std::size_t at = image.size();
        image.resize(at + 20, 0);
        random = random * 1103515245u + 12345u;
        image[at + 4] = 20;
        image[at + 8] = 20;
        image[at + 16] = static_cast<std::uint8_t>(1 + (random >> 24) % 8);
    }
    const auto file = itdb::Compress(image);
    const auto fileSize = static_cast<std::int64_t>(file.size());
    ASSERT_LT(fileSize * 20, static_cast<std::int64_t>(image.size()));
    ASSERT_LT(static_cast<std::int64_t>(image.size()), InflateLimit(fileSize));
    itdb::WriteBytes(Compressed(), file);

    TiPod ipod(*platform_);
    const auto songs = Load(ipod);
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    ASSERT_TRUE(status.Readable()) << status.problem;
    EXPECT_EQ(status.compressedSize, fileSize);
    // At most a record per 10 bytes of the file, where a plain file of the image's size
    // would hold 300,000.
    EXPECT_LE(static_cast<std::int64_t>(songs.size()), 2 * fileSize / kMinTrackBytes);
    ASSERT_GE(songs.size(), 2u);
    EXPECT_EQ(songs[0].Title, u"Real");
    EXPECT_TRUE(status.Damaged());
    EXPECT_EQ(status.declaredSongs, 0x7FFFFFFF);
}

namespace {

// Memory runs out part-way through a load: the size look-up of a song file fails to
// allocate once `songFilesLeft` have been looked up, as any allocation of the walk could.
class MemoryRunsOutPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::optional<std::int64_t> FindFile(const std::string& path) override {
        if (path.find("Music") != std::string::npos && --songFilesLeft < 0)
            throw std::bad_alloc();
        return ForwardingPlatform::FindFile(path);
    }
    int songFilesLeft = 1000;
};

} // namespace

TEST_F(LaterIpod, MemoryRunningOutIsAnUnreadableDatabaseWithNoSongs) {
    // The songs of an earlier load first: none of them may stay.
    Library().WriteFile(tree_.DatabaseFile());
    MakeDirs(tree_.Ipod() + "/iPod_Control/Music/F00");
    MemoryRunsOutPlatform platform(*platform_);
    TiPod ipod(platform);
    ipod.SetDrivePath("e:");
    ipod.LoadDatabase();
    ASSERT_EQ(ipod.SongCount(), 2);
    platform.songFilesLeft = 0;
    ipod.LoadDatabase();
    EXPECT_EQ(ipod.SongCount(), 0);
    const TDatabaseStatus& status = ipod.DatabaseStatus();
    EXPECT_FALSE(status.Readable());
    EXPECT_EQ(status.problem, "its iTunesDB cannot be read: there is not enough memory to hold "
                              "its songs");
}
