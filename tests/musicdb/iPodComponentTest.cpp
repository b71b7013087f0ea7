// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue over real files: databases written into a mapped iPod folder and read
// through the Linux backend.
#include "support/FailingFile.h"
#include "support/IpodTree.h"

#include "core/ErrorLog.h"
#include "musicdb/iPodcomponent.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

class Catalogue : public ::testing::Test {
protected:
    IpodTree tree_;
    std::unique_ptr<PosixPlatform> platform_ = tree_.MakePlatform();

    // Writes the database on e: and loads it.
    void Load(TiPod& ipod, const itdb::ITunesDbWriter& writer) {
        tree_.WriteDatabase(writer);
        ipod.SetDrivePath("e:");
        ipod.LoadDatabase();
    }

    // Loads a database of songs with the given (title, album, artist, file type) on e:.
    void Load(TiPod& ipod, const std::vector<std::array<const char*, 4>>& songs) {
        itdb::ITunesDbWriter writer;
        std::int32_t id = 0;
        for (const auto& [title, album, artist, type] : songs)
            writer.AddTrack(++id)
                .Add(itdb::Title, title)
                .Add(itdb::Album, album)
                .Add(itdb::Artist, artist)
                .Add(itdb::FileType, type);
        Load(ipod, writer);
        ASSERT_EQ(ipod.SongCount(), static_cast<std::int32_t>(songs.size()));
    }
};

// Fails to open the database, as a file held open by another program does on Windows.
class LockedDatabasePlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::unique_ptr<IFile> OpenRead(const std::string&, std::string& error) override {
        error = "Resource temporarily unavailable";
        return nullptr;
    }
};

class CommaPlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::string DecimalSeparator() override { return ","; }
};

} // namespace

TEST_F(Catalogue, LoadsSongsWithProgramPathsAndSizes) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(10)
        .Add(itdb::Title, "Present")
        .Add(itdb::Location, ":iPod_Control:Music:F00:ABCD.MP3");
    writer.AddTrack(11)
        .Add(itdb::Title, "Missing")
        .Add(itdb::Location, ":iPod_Control:Music:F01:GONE.mp3");
    writer.AddTrack(12).Add(itdb::Title, "Nowhere");
    tree_.WriteDatabase(writer);
    // The device stores names in whatever case it likes; the file is still found.
    tree_.AddSongFile("iPod_Control/music/f00/abcd.mp3", 3620000);

    TiPod ipod(*platform_);
    EXPECT_EQ(ipod.SongCount(), 0);
    EXPECT_TRUE(ipod.GetAlbums().empty());
    EXPECT_TRUE(ipod.GetFileTypes().empty());
    ipod.SetDrivePath("e:");
    EXPECT_EQ(ipod.SongCount(), 0);
    ipod.LoadDatabase();

    ASSERT_EQ(ipod.SongCount(), 3);
    TSong song;
    ipod.GetSong(0, song);
    EXPECT_EQ(song.SongId, 10);
    EXPECT_EQ(song.Location, u"e:\\iPod_Control\\Music\\F00\\ABCD.MP3");
    EXPECT_EQ(song.FileSize, u"3.45MB");
    ipod.GetSong(1, song);
    EXPECT_EQ(song.Location, u"e:\\iPod_Control\\Music\\F01\\GONE.mp3");
    EXPECT_EQ(song.FileSize, u"");
    // No location: the mount root alone, which is a folder and so has no size.
    EXPECT_EQ(ipod.SongAt(2).Location, u"e:");
    EXPECT_EQ(ipod.SongAt(2).FileSize, u"");
}

TEST_F(Catalogue, LaterReadsReplaceAndAMissingDatabaseChangesNothing) {
    TiPod ipod(*platform_);
    Load(ipod, {{{"One", "", "", ""}}, {{"Two", "", "", ""}}, {{"Three", "", "", ""}}});
    Load(ipod, {{{"Only", "", "", ""}}});
    EXPECT_EQ(ipod.SongAt(0).Title, u"Only");

    // f: holds no database: the songs of e: stay.
    MakeDirs(tree_.Dir() / "empty");
    tree_.MapDrive('f', tree_.Dir() / "empty");
    ipod.SetDrivePath("f:");
    ipod.LoadDatabase();
    EXPECT_EQ(ipod.DrivePath(), "f:");
    ASSERT_EQ(ipod.SongCount(), 1);
    EXPECT_EQ(ipod.SongAt(0).Title, u"Only");

    // A folder where the database should be is no database either.
    MakeDirs(tree_.Dir() / "empty/iPod_Control/iTunes/itunesdb");
    ipod.LoadDatabase();
    EXPECT_EQ(ipod.SongCount(), 1);
}

TEST_F(Catalogue, DatabaseThatCannotBeOpenedOrReadThrowsAndChangesNothing) {
    TiPod seed(*platform_);
    Load(seed, {{{"Kept", "", "", ""}}});

    LockedDatabasePlatform locked(*platform_);
    TiPod ipod(locked);
    ipod.SetDrivePath("e:");
    try {
        ipod.LoadDatabase();
        FAIL() << "no error";
    } catch (const EKorvelloError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file e:\\iPod_Control\\iTunes\\itunesdb");
    }
    EXPECT_EQ(ipod.SongCount(), 0);

    // Opens the real file but reports a read error part-way.
    FailingFilesPlatform failing(*platform_);
    failing.FailFile("e:\\iPod_Control\\iTunes\\itunesdb", FileFailure::ReadAfter(100));
    TiPod reading(failing);
    reading.SetDrivePath("e:");
    EXPECT_THROW(reading.LoadDatabase(), EKorvelloError);
    EXPECT_EQ(reading.SongCount(), 0);
    EXPECT_EQ(reading.DataSetTable()[0], TDataSetEntry{});
}

TEST_F(Catalogue, ReadFailingPartWayThroughTheDatabaseKeepsTheSongsAndSaysWhy) {
    FailingFilesPlatform failing(*platform_);
    TiPod ipod(failing);
    Load(ipod, {{{"Kept", "", "", ""}}, {{"Also kept", "", "", ""}}});
    const std::string database = "e:\\iPod_Control\\iTunes\\itunesdb";
    // At the first byte, in the middle of the header, and one byte short of the end.
    const std::int64_t size = *platform_->FindFile(database);
    for (const std::int64_t after : {std::int64_t{0}, std::int64_t{40}, size - 1}) {
        SCOPED_TRACE(after);
        failing.FailFile(database, FileFailure::ReadAfter(after, EIO));
        try {
            ipod.LoadDatabase();
            FAIL() << "no error";
        } catch (const EKorvelloError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Cannot read file " + database + ": Input/output error");
        }
        ASSERT_EQ(ipod.SongCount(), 2);
        EXPECT_EQ(ipod.SongAt(1).Title, u"Also kept");
    }
}

TEST_F(Catalogue, UnreadableDatabaseFileOnDisk) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, where file permissions do not stop a read; the "
                        "open failure is covered through the platform interface";
    TiPod ipod(*platform_);
    Load(ipod, {{{"Kept", "", "", ""}}});
    ASSERT_EQ(chmod(tree_.DatabaseFile().c_str(), 0), 0);
    EXPECT_THROW(ipod.LoadDatabase(), EKorvelloError);
    EXPECT_EQ(ipod.SongAt(0).Title, u"Kept");
}

TEST_F(Catalogue, SizeTextUsesTheUsersDecimalSeparator) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Location, ":iPod_Control:Music:F00:A.mp3");
    tree_.WriteDatabase(writer);
    tree_.AddSongFile("iPod_Control/Music/F00/A.mp3", 1572864);
    CommaPlatform comma(*platform_);
    TiPod ipod(comma);
    ipod.SetDrivePath("e:");
    ipod.LoadDatabase();
    ASSERT_EQ(ipod.SongCount(), 1);
    EXPECT_EQ(ipod.SongAt(0).FileSize, u"1,5MB");
}

TEST_F(Catalogue, ListsAreSortedWithoutCaseAndKeepTheFirstSpelling) {
    TiPod ipod(*platform_);
    Load(ipod, {
                   {{"a", "rock", "beta", "MPEG audio file"}},
                   {{"b", "Rock", "Alpha", ""}},
                   {{"c", "", "", "WAV audio file"}},
                   {{"d", "Ballads", "GAMMA", "mpeg AUDIO file"}},
                   {{"e", "ballads", "alpha", ""}},
               });
    EXPECT_EQ(ipod.GetAlbums(), (std::vector<std::string>{"Ballads", "rock"}));
    EXPECT_EQ(ipod.GetArtists(), (std::vector<std::string>{"Alpha", "beta", "GAMMA"}));
    EXPECT_EQ(ipod.GetFileTypes(),
              (std::vector<std::string>{"", "MPEG audio file", "WAV audio file"}));
}

TEST_F(Catalogue, FindsKeepTheLastMatchAndLeaveTheSongAloneWithoutOne) {
    TiPod ipod(*platform_);
    Load(ipod,
         {{{"Love", "First", "", ""}}, {{"Other", "", "", ""}}, {{"LOVE", "Second", "", ""}}});

    TSong song;
    song.Title = u"caller's";
    song.SongId = -7;
    const TSong untouched = song;
    ipod.FindSongById(12345, song);
    EXPECT_EQ(song, untouched);
    ipod.FindSongByTitle("nothing like it", song);
    EXPECT_EQ(song, untouched);

    ipod.FindSongByTitle("love", song);
    EXPECT_EQ(song.Album, u"Second");
    ipod.FindSongById(2, song);
    EXPECT_EQ(song.Title, u"Other");

    // Copies are independent of the catalogue.
    song.Title = u"changed";
    EXPECT_EQ(ipod.SongAt(1).Title, u"Other");
    // Out of range is refused rather than read.
    EXPECT_THROW(ipod.GetSong(3, song), EKorvelloError);
    EXPECT_THROW(ipod.SongAt(-1), EKorvelloError);
    EXPECT_EQ(song.Title, u"changed");
}

TEST_F(Catalogue, DuplicateIdsGiveTheLaterSong) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(5).Add(itdb::Title, "Earlier");
    writer.AddTrack(5).Add(itdb::Title, "Later");
    TiPod ipod(*platform_);
    Load(ipod, writer);
    TSong song;
    ipod.FindSongById(5, song);
    EXPECT_EQ(song.Title, u"Later");
}

// Names that collation treats in unusual ways: letter case, accents precomposed and
// combining, full-width letters, ligatures, sharp s, a trailing blank, an ignorable
// character, empty, and "All ..." in several spellings.
const std::vector<std::string> kTrickyNames = {"Rock",
                                               "rock",
                                               "ROCK",
                                               "Rock ",
                                               "Café",
                                               "cafe",
                                               "CAFÉ",
                                               "Cafe\xCC\x81",
                                               "\xEF\xBC\xB2\xEF\xBD\x8F\xEF\xBD\x83\xEF\xBD\x8B",
                                               "\xEF\xAC\x81ne",
                                               "fine",
                                               "FINE",
                                               "Straße",
                                               "STRASSE",
                                               "",
                                               "All ...",
                                               "all ...",
                                               "ALL ...",
                                               "\xEF\xBC\xA1ll ...",
                                               "Ærø",
                                               "aerø",
                                               "東京",
                                               "Łódź",
                                               "lodz",
                                               "\xE2\x80\x8B"};

TEST_F(Catalogue, NamedSongsAreExactlyThoseCompareTextFindsEqual) {
    TiPod ipod(*platform_);
    std::vector<std::array<const char*, 4>> songs;
    for (const std::string& name : kTrickyNames)
        songs.push_back({"t", name.c_str(), name.c_str(), name.c_str()});
    Load(ipod, songs);

    const std::pair<TNameField, std::u16string TSong::*> fields[] = {
        {TNameField::Album, &TSong::Album},
        {TNameField::Artist, &TSong::Artist},
        {TNameField::FileType, &TSong::FileType}};
    auto pairwise = [&](std::u16string TSong::*member, const std::vector<std::string>& names) {
        std::vector<char> named(static_cast<std::size_t>(ipod.SongCount()), 0);
        for (std::int32_t i = 0; i < ipod.SongCount(); ++i)
            for (const std::string& name : names)
                if (platform_->CompareText(ToUtf8(ipod.SongAt(i).*member), name) == 0)
                    named[static_cast<std::size_t>(i)] = 1;
        return named;
    };

    std::vector<std::string> asked = kTrickyNames;
    asked.insert(asked.end(), {"rOcK", "CAFE\xCC\x81", "Nothing like it", "All"});
    for (const auto& [field, member] : fields) {
        for (const std::string& name : asked)
            EXPECT_EQ(ipod.SongsNamed(field, {name}), pairwise(member, {name}))
                << "name '" << name << "'";
        // Many names at once: every other one, and all of them.
        std::vector<std::string> everyOther;
        for (std::size_t i = 0; i < asked.size(); i += 2)
            everyOther.push_back(asked[i]);
        EXPECT_EQ(ipod.SongsNamed(field, everyOther), pairwise(member, everyOther));
        EXPECT_EQ(ipod.SongsNamed(field, asked), pairwise(member, asked));
        EXPECT_EQ(ipod.SongsNamed(field, {}), pairwise(member, {}));
    }
    // The corpus does hold texts that compare equal in spite of different bytes.
    const std::vector<char> rock = ipod.SongsNamed(TNameField::Album, {"rock"});
    EXPECT_GE(std::count(rock.begin(), rock.end(), 1), 3);

    // The lists built from the same keys still hold one entry per group of equal names.
    const std::vector<std::string> albums = ipod.GetAlbums();
    for (std::size_t i = 0; i < albums.size(); ++i) {
        EXPECT_FALSE(albums[i].empty());
        for (std::size_t j = i + 1; j < albums.size(); ++j)
            EXPECT_LT(platform_->CompareText(albums[i], albums[j]), 0)
                << albums[i] << " / " << albums[j];
    }
}

// A catalogue large enough for its songs to be walked in two halves at once: the lists
// and the named songs are exactly what one plain pass over the songs with the platform's
// collation keys gives. Albums come in runs of nine songs with a tricky name inside each
// run, artists alternate their letter case and scatter the tricky names, and some names
// first occur only in the later half; the file types hold empty texts and an ignorable
// character.
TEST_F(Catalogue, ListsOfALargeCatalogueAreThoseOfAPlainPassOverItsSongs) {
    std::vector<TSong> songs(20000);
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const std::string& tricky = kTrickyNames[i * 7 % kTrickyNames.size()];
        songs[i].Album = ToUtf16(i % 9 == 4 ? tricky : "Album " + std::to_string(i / 9 % 1500));
        songs[i].Artist = ToUtf16(i % 5 == 0 ? tricky
                                             : (i % 2 == 0 ? "artist " : "ARTIST ") +
                                                   std::to_string(i * 37 % 2900));
        songs[i].FileType = ToUtf16(i % 3 == 0 ? "" : (i % 3 == 1 ? "MPEG audio file" : tricky));
    }
    TiPod ipod(*platform_);
    ipod.AddSongsFromFiles(songs, true);
    ASSERT_EQ(ipod.SongCount(), 20000);

    // Key order, and of equal keys the first song's spelling; empty texts only where kept.
    auto plainList = [&](std::u16string TSong::*member, bool keepEmpty) {
        std::map<std::string, std::string> firstOfKey;
        for (const TSong& song : songs) {
            const std::string text = ToUtf8(song.*member);
            if (keepEmpty || !text.empty())
                firstOfKey.try_emplace(platform_->CollationKey(text), text);
        }
        std::vector<std::string> list;
        for (const auto& [key, text] : firstOfKey)
            list.push_back(text);
        return list;
    };
    EXPECT_EQ(ipod.GetAlbums(), plainList(&TSong::Album, false));
    EXPECT_EQ(ipod.GetArtists(), plainList(&TSong::Artist, false));
    EXPECT_EQ(ipod.GetFileTypes(), plainList(&TSong::FileType, true));

    auto plainNamed = [&](std::u16string TSong::*member, const std::vector<std::string>& names) {
        std::set<std::string> keys;
        for (const std::string& name : names)
            keys.insert(platform_->CollationKey(name));
        std::vector<char> named;
        for (const TSong& song : songs)
            named.push_back(keys.count(platform_->CollationKey(ToUtf8(song.*member))) ? 1 : 0);
        return named;
    };
    const std::vector<std::string> names = {
        "album 1499", "Album 7",         "ROCK",         "cafe",     "", "Artist 2899",
        "artist 0",   "mpeg AUDIO file", "\xE2\x80\x8B", "Not there"};
    EXPECT_EQ(ipod.SongsNamed(TNameField::Album, names), plainNamed(&TSong::Album, names));
    EXPECT_EQ(ipod.SongsNamed(TNameField::Artist, names), plainNamed(&TSong::Artist, names));
    EXPECT_EQ(ipod.SongsNamed(TNameField::FileType, names), plainNamed(&TSong::FileType, names));
}

TEST_F(Catalogue, TheIdIndexGivesTheLastOfEqualIdsAndFollowsAReload) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(5).Add(itdb::Title, "First five");
    writer.AddTrack(6).Add(itdb::Title, "Six");
    writer.AddTrack(5).Add(itdb::Title, "Second five");
    writer.AddTrack(7).Add(itdb::Title, "Seven");
    writer.AddTrack(5).Add(itdb::Title, "Third five");
    TiPod ipod(*platform_);
    Load(ipod, writer);
    TSong song;
    ipod.FindSongById(5, song);
    EXPECT_EQ(song.Title, u"Third five");
    ipod.FindSongById(7, song);
    EXPECT_EQ(song.Title, u"Seven");
    const std::vector<char> before = ipod.SongsNamed(TNameField::FileType, {""});
    EXPECT_EQ(before.size(), 5u);

    // A new read replaces what the indexes knew, also with the same number of songs.
    itdb::ITunesDbWriter other;
    other.AddTrack(7).Add(itdb::Title, "New seven").Add(itdb::Album, "Rock");
    other.AddTrack(5).Add(itdb::Title, "New five").Add(itdb::Album, "Jazz");
    other.AddTrack(8).Add(itdb::Title, "Eight").Add(itdb::Album, "ROCK");
    other.AddTrack(5).Add(itdb::Title, "Last five").Add(itdb::Album, "");
    other.AddTrack(9).Add(itdb::Title, "Nine").Add(itdb::Album, "jazz");
    tree_.WriteDatabase(other);
    ipod.LoadDatabase();
    ipod.FindSongById(5, song);
    EXPECT_EQ(song.Title, u"Last five");
    ipod.FindSongById(6, song);
    EXPECT_EQ(song.Title, u"Last five") << "no song 6 any more: the song is left alone";
    EXPECT_EQ(ipod.SongsNamed(TNameField::Album, {"rock"}), (std::vector<char>{1, 0, 1, 0, 0}));
    EXPECT_EQ(ipod.GetAlbums(), (std::vector<std::string>{"Jazz", "Rock"}));
}
