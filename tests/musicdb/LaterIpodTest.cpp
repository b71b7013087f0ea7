// SPDX-License-Identifier: GPL-3.0-or-later
// The iPods of later years on real files: iTunesCDB (nano 5G and 6G beside an empty
// iTunesDB, nano 7G alone), track lists after other data sets, UTF-8 string objects, and
// volumes whose database cannot be read, through the catalogue.
#include "support/FailingFile.h"
#include "support/IpodTree.h"

#include "core/ErrorLog.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    TiPod ipod(failing);
    ipod.SetDrivePath("e:");
    try {
        ipod.LoadDatabase();
        FAIL() << "no error";
    } catch (const EKorvelloError& e) {
        EXPECT_STREQ(e.what(),
                     "Cannot read file e:\\iPod_Control\\iTunes\\iTunesCDB: Input/output error");
    }
    EXPECT_EQ(ipod.SongCount(), 0);
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
