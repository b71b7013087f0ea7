// SPDX-License-Identifier: GPL-3.0-or-later
// The iTunesDB walk over databases built in memory by the test writer, without a platform.
#include "musicdb/DatabaseReader.h"
#include "itdb/ITunesDbWriter.h"
#include "platform/Text.h"
#include "support/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>

using namespace korvello;
namespace itdb = korvello::itdb;

namespace {

// Runs the same steps LoadDatabase runs on the file's bytes.
std::vector<TSong> Walk(const std::vector<std::uint8_t>& image, const TTrackWalkContext& context,
                        std::vector<TSong> songs = {}) {
    TDataSetTable table{};
    if (!ReadDataSets(image, table))
        return {};
    ParseTracks(image, table[0], context, songs);
    return songs;
}

TTrackWalkContext Context(std::map<std::string, std::int64_t> files = {}) {
    TTrackWalkContext context;
    context.drivePath = "e:";
    context.sizeOf = [files = std::move(files)](const std::string& location) {
        const auto it = files.find(location);
        return it == files.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    };
    return context;
}

std::vector<TSong> Walk(const itdb::ITunesDbWriter& writer, const TTrackWalkContext& context,
                        std::vector<TSong> songs = {}) {
    return Walk(writer.Build(), context, std::move(songs));
}

std::string Title(const TSong& song) {
    return ToUtf8(song.Title);
}
std::string Artist(const TSong& song) {
    return ToUtf8(song.Artist);
}

} // namespace

TEST(DatabaseReader, EveryStringTypeLandsInItsField) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(4711)
        .Add(itdb::Title, "Caf\u00e9 \u65e5\u672c")
        .Add(itdb::Location, ":iPod_Control:Music:F12:ABCD.mp3")
        .Add(itdb::Album, "Album")
        .Add(itdb::Artist, "Artist")
        .Add(itdb::Genre, "Genre")
        .Add(itdb::FileType, "MPEG audio file")
        .Add(itdb::EQSetting, "#!#100#!#")
        .Add(itdb::Comment, "Comment")
        .Add(itdb::Category, "dropped 9")
        .Add(10, "dropped 10")
        .Add(11, "dropped 11")
        .Add(itdb::Composer, "Composer")
        .Add(itdb::Grouping, "Grouping")
        .Add(itdb::Description, "dropped 14");
    const auto songs = Walk(writer, Context({{"e:\\iPod_Control\\Music\\F12\\ABCD.mp3", 3620000}}));

    ASSERT_EQ(songs.size(), 1u);
    const TSong& s = songs[0];
    EXPECT_EQ(s.SongId, 4711);
    EXPECT_EQ(s.Title, u"Caf\u00e9 \u65e5\u672c");
    EXPECT_EQ(s.Location, u"e:\\iPod_Control\\Music\\F12\\ABCD.mp3");
    EXPECT_EQ(s.FileSize, u"3.45MB");
    EXPECT_EQ(s.Album, u"Album");
    EXPECT_EQ(s.Artist, u"Artist");
    EXPECT_EQ(s.Genre, u"Genre");
    EXPECT_EQ(s.FileType, u"MPEG audio file");
    EXPECT_EQ(s.EQSetting, u"#!#100#!#");
    EXPECT_EQ(s.Comment, u"Comment");
    EXPECT_EQ(s.Composer, u"Composer");
    EXPECT_EQ(s.Grouping, u"Grouping");
}

TEST(DatabaseReader, TrackListIsFoundAsFirstOrSecondDataSet) {
    for (bool playlistsFirst : {false, true}) {
        SCOPED_TRACE(playlistsFirst ? "playlists first" : "tracks first");
        itdb::ITunesDbWriter writer;
        for (int i = 1; i <= 3; ++i)
            writer.AddTrack(i).Add(itdb::Title, "Song " + std::to_string(i));
        writer.AddPlaylist({"iPod", {1, 2, 3}, true});
        writer.AddPlaylist({"Favourites", {3, 1}, false});
        writer.layout().playlistsFirst = playlistsFirst;
        const auto image = writer.Build();

        TDataSetTable table{};
        ASSERT_TRUE(ReadDataSets(image, table));
        // Both data sets are recorded where they lie: header 0x60, the first one at 0xF4.
        const TDataSetEntry& tracks = table[0];
        const TDataSetEntry& lists = table[1];
        EXPECT_EQ(tracks.HeaderLength, 0x60);
        EXPECT_EQ(lists.HeaderLength, 0x60);
        EXPECT_EQ((playlistsFirst ? lists : tracks).Start, 0xF4);
        EXPECT_EQ((playlistsFirst ? tracks : lists).Start,
                  0xF4 + (playlistsFirst ? lists : tracks).TotalLength);

        const auto songs = Walk(image, Context());
        ASSERT_EQ(songs.size(), 3u);
        EXPECT_EQ(Title(songs[0]), "Song 1");
        EXPECT_EQ(Title(songs[2]), "Song 3");
        EXPECT_EQ(songs[2].SongId, 3);
    }
}

TEST(DatabaseReader, DataSetTypesOutsideTheTableAreIgnoredAndNoTrackListGivesNoSongs) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "Lost");
    writer.layout().trackDataSetType = 9;
    const auto image = writer.Build();

    TDataSetTable table{};
    table[0] = {111, 222, 333}; // left by an earlier read
    table[4] = {5, 6, 7};
    EXPECT_FALSE(ReadDataSets(image, table));
    EXPECT_EQ(table[0], (TDataSetEntry{111, 222, 333}));
    EXPECT_EQ(table[4], (TDataSetEntry{5, 6, 7}));
    EXPECT_EQ(table[1].Start, static_cast<std::int32_t>(image.size()) - table[1].TotalLength);
    EXPECT_TRUE(Walk(image, Context()).empty());
}

TEST(DatabaseReader, UnknownObjectsAreSkippedUnlessTooLongOrZeroLength) {
    itdb::ITunesDbWriter writer;
    auto& a = writer.AddTrack(1).Add(itdb::Title, "A");
    a.objects.push_back(itdb::Object::Opaque(100, 600));
    a.Add(itdb::Artist, "After 600");
    auto& b = writer.AddTrack(2).Add(itdb::Title, "B");
    b.objects.push_back(itdb::Object::Opaque(100, 2000));
    b.Add(itdb::Artist, "After 2000");
    auto& c = writer.AddTrack(3).Add(itdb::Title, "C");
    c.objects.push_back(itdb::Object::Opaque(52, 1024)); // the longest that is still skipped
    c.Add(itdb::Artist, "After 1024");
    // An object claiming no length cannot be stepped over; the walk of its track ends.
    auto& d = writer.AddTrack(4).Add(itdb::Title, "D");
    d.objects.push_back(itdb::Object::Opaque(100, 0));
    d.Add(itdb::Artist, "After 0");
    auto& e = writer.AddTrack(5).Add(itdb::Title, "E");
    e.objects.push_back(itdb::Object::Opaque(100, -64));
    e.Add(itdb::Artist, "After -64");
    writer.AddTrack(6).Add(itdb::Title, "F").Add(itdb::Artist, "Plain");

    const auto songs = Walk(writer, Context());
    ASSERT_EQ(songs.size(), 6u);
    EXPECT_EQ(Artist(songs[0]), "After 600");
    EXPECT_EQ(Title(songs[1]), "B");
    EXPECT_EQ(Artist(songs[1]), "");
    EXPECT_EQ(Artist(songs[2]), "After 1024");
    EXPECT_EQ(Title(songs[3]), "D");
    EXPECT_EQ(Artist(songs[3]), "");
    EXPECT_EQ(Artist(songs[4]), "");
    EXPECT_EQ(Title(songs[5]), "F");
    EXPECT_EQ(Artist(songs[5]), "Plain");
}

TEST(DatabaseReader, StringObjectsFollowTheirStringNotTheirTotalLength) {
    itdb::ITunesDbWriter writer;
    auto& t = writer.AddTrack(1);
    // 7 bytes: three characters and a stray byte that is dropped.
    auto odd = itdb::Object::String(itdb::Title, u"abc");
    odd.payload += 'x';
    t.objects.push_back(odd);
    // The total length lies; the next object still starts right after the string.
    auto lying = itdb::Object::String(itdb::Album, u"Album");
    lying.totalLength = 5000;
    t.objects.push_back(lying);
    // A later string of the same type replaces the earlier one.
    t.Add(itdb::Artist, "First").Add(itdb::Artist, "Second");
    // A negative string length reads as an empty string and the walk goes on.
    auto negative = itdb::Object::String(itdb::Genre, u"");
    negative.declaredStringLength = -30;
    t.objects.push_back(negative);
    t.Add(itdb::Composer, "Composer");

    const auto songs = Walk(writer, Context());
    ASSERT_EQ(songs.size(), 1u);
    EXPECT_EQ(songs[0].Title, u"abc");
    EXPECT_EQ(songs[0].Album, u"Album");
    EXPECT_EQ(songs[0].Artist, u"Second");
    EXPECT_EQ(songs[0].Genre, u"");
    EXPECT_EQ(songs[0].Composer, u"Composer");
}

TEST(DatabaseReader, LocationAndSizeText) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "No location");
    writer.AddTrack(2).Add(itdb::Location, ":iPod_Control:Music:F00:GONE.mp3");
    writer.AddTrack(3).Add(itdb::Location, ":iPod_Control:Music:F01:HERE.wav");
    std::vector<std::string> asked;
    TTrackWalkContext context = Context({{"e:\\iPod_Control\\Music\\F01\\HERE.wav", 1572864}});
    context.sizeOf = [inner = context.sizeOf, &asked](const std::string& location) {
        asked.push_back(location);
        return inner(location);
    };
    const auto songs = Walk(writer, context);

    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(songs[0].Location, u"e:");
    EXPECT_EQ(songs[0].FileSize, u"");
    EXPECT_EQ(songs[1].Location, u"e:\\iPod_Control\\Music\\F00\\GONE.mp3");
    EXPECT_EQ(songs[1].FileSize, u"");
    EXPECT_EQ(songs[2].FileSize, u"1.5MB");
    // One look-up per track, at the converted location.
    EXPECT_EQ(asked, (std::vector<std::string>{"e:", "e:\\iPod_Control\\Music\\F00\\GONE.mp3",
                                               "e:\\iPod_Control\\Music\\F01\\HERE.wav"}));
}

TEST(DatabaseReader, ALoadReplacesEveryRecord) {
    std::vector<TSong> earlier(5);
    for (int i = 0; i < 5; ++i) {
        earlier[static_cast<std::size_t>(i)].Title = u"old";
        earlier[static_cast<std::size_t>(i)].Grouping = u"old grouping";
        earlier[static_cast<std::size_t>(i)].SongId = 100 + i;
    }
    itdb::ITunesDbWriter two;
    two.AddTrack(1).Add(itdb::Title, "new 1");
    two.AddTrack(2).Add(itdb::Title, "new 2");
    auto songs = Walk(two, Context(), earlier);
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_EQ(Title(songs[1]), "new 2");
    EXPECT_EQ(songs[1].Grouping, u""); // not carried over from the record it replaced
    EXPECT_EQ(songs[1].SongId, 2);

    itdb::ITunesDbWriter three = two;
    three.AddTrack(3).Add(itdb::Title, "new 3");
    songs = Walk(three, Context(), songs);
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(Title(songs[2]), "new 3");
}

TEST(DatabaseReader, AFailureMidWalkLeavesNoSongsAndSaysWhy) {
    std::vector<TSong> songs(4);
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 4; ++i)
        writer.AddTrack(i)
            .Add(itdb::Title, "new")
            .Add(itdb::Location, ":F:" + std::to_string(i) + ".mp3");
    TTrackWalkContext context = Context();
    context.sizeOf = [](const std::string& location) -> std::optional<std::int64_t> {
        if (location == "e:\\F\\3.mp3")
            throw std::runtime_error("device gone");
        return std::nullopt;
    };
    const auto image = writer.Build();
    TDataSetTable table{};
    ASSERT_TRUE(ReadDataSets(image, table));
    const TTrackListResult result = ParseTracks(image, table[0], context, songs);
    EXPECT_TRUE(songs.empty());
    EXPECT_EQ(result.problem, "device gone");
    EXPECT_EQ(result.declared, 4);
}

TEST(DatabaseReader, TrackCountIsCutToWhatTheImageCanHold) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 3; ++i)
        writer.AddTrack(i).Add(itdb::Title, "T" + std::to_string(i));

    writer.layout().declaredTrackCount = -5;
    EXPECT_TRUE(Walk(writer, Context()).empty());

    writer.layout().declaredTrackCount = 2;
    EXPECT_EQ(Walk(writer, Context()).size(), 2u);

    // The playlists after the tracks hold no track: three songs of the count.
    writer.layout().declaredTrackCount = 0x7FFFFFFF;
    const auto songs = Walk(writer, Context());
    ASSERT_EQ(songs.size(), 3u);
    EXPECT_EQ(Title(songs[2]), "T3");
}

TEST(DatabaseReader, TruncatedImageKeepsWhatWasComplete) {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "Complete").Add(itdb::Artist, "Someone");
    writer.AddTrack(2).Add(itdb::Title, "Cut in the middle");
    auto image = writer.Build();
    // Drop the playlist data set and the last 10 bytes of the second title.
    const std::string tail = itdb::Utf16LeBytes("Cut in the middle");
    std::size_t titleStart = 0;
    for (std::size_t i = 0; i + tail.size() <= image.size(); ++i) {
        if (std::equal(tail.begin(), tail.end(), image.begin() + static_cast<std::ptrdiff_t>(i),
                       [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }))
            titleStart = i;
    }
    ASSERT_GT(titleStart, 0u);
    image.resize(titleStart + tail.size() - 10);

    const auto songs = Walk(image, Context());
    ASSERT_EQ(songs.size(), 2u);
    EXPECT_EQ(Title(songs[0]), "Complete");
    EXPECT_EQ(Artist(songs[0]), "Someone");
    EXPECT_EQ(Title(songs[1]), "Cut in the m");
    EXPECT_EQ(songs[1].SongId, 2);
}

TEST(SizeText, FormatsMegabytesWithTwoDecimalsAtMost) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {3620000, "3.45MB"},
        {1048576, "1MB"},
        {1572864, "1.5MB"},
        {0, "0MB"},
        {4193280, "3.99MB"},
        {104, "0.00MB"}, // the general format would write 9.9e-05
        {1, "0.00MB"},
        {3221225472, "3072MB"},    // 3 GiB does not fit 32 bits
        {5368709121, "5120.00MB"}, // a fraction beyond the two digits kept
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(FormatSizeText(bytes, "."), text) << bytes << " bytes";
}

TEST(SizeText, OtherDecimalSeparatorIsNotCutAndHasNoExponent) {
    EXPECT_EQ(FormatSizeText(3620000, ","), "3,45230102539062MB");
    EXPECT_EQ(FormatSizeText(1048576, ","), "1MB");
    EXPECT_EQ(FormatSizeText(1, ","), "0,00000095367431640625MB");
    EXPECT_EQ(FormatSizeText(104, ","), "0,00009918212890625MB");
}

namespace {

// One thread's file look-ups in a walk, answering from a table of files, with a log of
// what was asked, from which threads, and whether two calls ever overlapped.
class TestLookup {
public:
    explicit TestLookup(const std::map<std::string, std::int64_t>& files) : files_(files) {}

    TFileLookup Make() {
        return {[this](const std::string& location) { return SizeOf(location); },
                [this] {
                    return lastAsGiven_;
                }};
    }

    // Runs before each answer, with the location asked (may throw or wait).
    std::function<void(const std::string&)> before;

    std::vector<std::string> asked;
    std::set<std::thread::id> threads;
    bool overlapped = false;

private:
    std::optional<std::int64_t> SizeOf(const std::string& location) {
        if (inside_.fetch_add(1) != 0)
            overlapped = true;
        threads.insert(std::this_thread::get_id());
        asked.push_back(location);
        struct Leave {
            std::atomic<int>& inside;
            ~Leave() { inside.fetch_sub(1); }
        } leave{inside_};
        if (before)
            before(location);
        const auto it = files_.find(location);
        // Names ending in "0.mp3" count as found exactly as written.
        lastAsGiven_ = it != files_.end() && location.ends_with("0.mp3");
        return it == files_.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    }

    const std::map<std::string, std::int64_t>& files_;
    std::atomic<int> inside_{0};
    bool lastAsGiven_ = false;
};

// A database of `count` songs over seven folders ("e:\\M\\F3\\17.mp3" once walked), with
// every fifth file missing and the others `1000 + i` bytes.
struct ManySongs {
    explicit ManySongs(int count) {
        for (int i = 0; i < count; ++i) {
            const std::string folder = "F" + std::to_string(i % 7);
            const std::string name = std::to_string(i) + ".mp3";
            writer.AddTrack(i + 1)
                .Add(itdb::Title, "Song " + std::to_string(i))
                .Add(itdb::Location, ":M:" + folder + ":" + name);
            locations.push_back("e:\\M\\" + folder + "\\" + name);
            if (i % 5 != 0)
                files[locations.back()] = 1000 + i;
        }
        image = writer.Build();
        EXPECT_TRUE(ReadDataSets(image, table));
    }
    itdb::ITunesDbWriter writer;
    std::vector<std::string> locations;
    std::map<std::string, std::int64_t> files;
    std::vector<std::uint8_t> image;
    TDataSetTable table{};
};

// Walks `db` with `first` as the look-up of the walk's own thread and `second` as the one
// the walk makes for its calling thread.
TTrackListResult WalkWithTwoLookups(const ManySongs& db, TestLookup& first, TestLookup& second,
                                    std::atomic<bool>& secondMade, std::vector<TSong>& songs) {
    TTrackWalkContext context;
    context.drivePath = "e:";
    TFileLookup own = first.Make();
    context.sizeOf = own.sizeOf;
    context.foundAsGiven = own.foundAsGiven;
    context.anotherLookup = [&] {
        secondMade = true;
        return second.Make();
    };
    return ParseTracks(db.image, db.table[0], context, songs);
}

} // namespace

TEST(FileLookups, EverySongGetsItsOwnFilesAnswersWhicheverThreadLooksItUp) {
    constexpr int kSongs = 3000;
    const ManySongs db(kSongs);
    TestLookup first(db.files);
    TestLookup second(db.files);
    std::atomic<bool> secondMade{false};
    // The first look-up holds back until the walk is done and its caller has a look-up of
    // its own, so that both threads take a share.
    first.before = [&](const std::string&) {
        EXPECT_TRUE(test::WaitUntil([&] { return secondMade.load(); }));
    };
    std::vector<TSong> songs;
    const TTrackListResult result = WalkWithTwoLookups(db, first, second, secondMade, songs);

    EXPECT_EQ(result.problem, "");
    ASSERT_EQ(songs.size(), static_cast<std::size_t>(kSongs));
    ASSERT_EQ(result.foundAsGiven.size(), songs.size());
    for (int i = 0; i < kSongs; ++i) {
        const TSong& song = songs[static_cast<std::size_t>(i)];
        const std::string& location = db.locations[static_cast<std::size_t>(i)];
        SCOPED_TRACE(location);
        ASSERT_EQ(ToUtf8(song.Title), "Song " + std::to_string(i));
        EXPECT_EQ(ToUtf8(song.Location), location);
        const auto file = db.files.find(location);
        const std::int64_t bytes = file == db.files.end() ? -1 : file->second;
        EXPECT_EQ(song.FileBytes, bytes);
        EXPECT_EQ(ToUtf8(song.FileSize), bytes < 0 ? "" : FormatSizeText(bytes, "."));
        EXPECT_EQ(result.foundAsGiven[static_cast<std::size_t>(i)],
                  bytes >= 0 && location.ends_with("0.mp3"));
    }

    // Each look-up served one thread, one call at a time, in database order; the walk's
    // own thread asked only through the look-up made for it; every file was asked once.
    for (const TestLookup* lookup : {&first, &second}) {
        EXPECT_FALSE(lookup->overlapped);
        EXPECT_EQ(lookup->threads.size(), 1u);
        EXPECT_FALSE(lookup->asked.empty());
        std::vector<std::size_t> order;
        for (const std::string& location : lookup->asked)
            order.push_back(static_cast<std::size_t>(
                std::find(db.locations.begin(), db.locations.end(), location) -
                db.locations.begin()));
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    }
    EXPECT_EQ(first.threads.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(second.threads.count(std::this_thread::get_id()), 1u);
    std::vector<std::string> all = first.asked;
    all.insert(all.end(), second.asked.begin(), second.asked.end());
    std::sort(all.begin(), all.end());
    std::vector<std::string> expected = db.locations;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(all, expected);
}

TEST(FileLookups, TheFailureOfTheEarliestSongIsReportedWhicheverThreadMeetsItFirst) {
    const ManySongs db(2000);
    const std::string early = db.locations[10];
    const std::string late = db.locations[1500];
    {
        // The walk's thread meets the early song's failure only after the caller's
        // look-up has already failed on the late one.
        TestLookup first(db.files);
        TestLookup second(db.files);
        std::atomic<bool> secondMade{false};
        std::atomic<bool> lateFailed{false};
        first.before = [&](const std::string& location) {
            if (location != early)
                return;
            EXPECT_TRUE(test::WaitUntil([&] { return lateFailed.load(); }));
            throw std::runtime_error("early song");
        };
        second.before = [&](const std::string& location) {
            if (location == late) {
                lateFailed = true;
                throw std::runtime_error("late song");
            }
        };
        std::vector<TSong> songs(3);
        const TTrackListResult result = WalkWithTwoLookups(db, first, second, secondMade, songs);
        EXPECT_TRUE(secondMade);
        EXPECT_EQ(result.problem, "early song");
        EXPECT_TRUE(songs.empty());
        EXPECT_TRUE(result.foundAsGiven.empty());
    }
    {
        // Memory running out in a look-up is reported as the walk's own would be.
        TestLookup first(db.files);
        TestLookup second(db.files);
        std::atomic<bool> secondMade{false};
        const auto outOfMemory = [&](const std::string& location) {
            if (location == early)
                throw std::bad_alloc();
        };
        first.before = outOfMemory;
        second.before = outOfMemory;
        std::vector<TSong> songs(3);
        const TTrackListResult result = WalkWithTwoLookups(db, first, second, secondMade, songs);
        EXPECT_EQ(result.problem, "there is not enough memory to hold its songs");
        EXPECT_TRUE(songs.empty());
        EXPECT_TRUE(result.songOfTrack.empty());
    }
}

TEST(FileLookups, LocationsAreTheSameWhetherLookedUpBesideTheWalkOrNot) {
    // Stored locations a damaged or foreign database may hold: lone surrogates (which
    // become U+FFFD), a pair outside the basic plane, colons, non-ASCII names.
    const std::u16string stored[] = {
        u":iPod_Control:Music:F00:plain.mp3",
        std::u16string(u":M:bad") + char16_t(0xD800) + u".mp3",
        std::u16string(u":M:") + char16_t(0xDC00) + char16_t(0xD800) + u"x",
        std::u16string(u":M:end") + char16_t(0xDBFF),
        u":M:\U0001F3B5 note:caf\u00e9.m4a",
        u"::a::b:",
        u"",
    };
    itdb::ITunesDbWriter writer;
    std::int32_t id = 0;
    for (const std::u16string& location : stored) {
        itdb::Track& track = writer.AddTrack(++id);
        track.objects.push_back(itdb::Object::String(itdb::Location, location));
    }
    const auto image = writer.Build();
    TDataSetTable table{};
    ASSERT_TRUE(ReadDataSets(image, table));

    for (const std::string drive : {"e:", "/media/M\u00fcsik", "/media/bad\xC3"}) {
        SCOPED_TRACE(drive);
        // Without a look-up the walk writes every location itself.
        TTrackWalkContext plain;
        plain.drivePath = drive;
        std::vector<TSong> expected;
        ParseTracks(image, table[0], plain, expected);
        ASSERT_EQ(expected.size(), std::size(stored));

        std::vector<std::string> asked;
        TTrackWalkContext looked = plain;
        looked.sizeOf = [&asked](const std::string& location) {
            asked.push_back(location);
            return std::optional<std::int64_t>(7);
        };
        std::vector<TSong> songs;
        ParseTracks(image, table[0], looked, songs);
        ASSERT_EQ(songs.size(), expected.size());
        ASSERT_EQ(asked.size(), expected.size());
        for (std::size_t i = 0; i < songs.size(); ++i) {
            EXPECT_EQ(songs[i].Location, expected[i].Location) << i;
            // The file asked for is the location as the drive path and the stored names
            // spell it, byte for byte.
            EXPECT_EQ(asked[i],
                      drive + ToUtf8(expected[i].Location).substr(ToUtf8(ToUtf16(drive)).size()))
                << i;
        }
    }
    TTrackWalkContext context;
    context.drivePath = "e:";
    std::vector<TSong> songs;
    ParseTracks(image, table[0], context, songs);
    ASSERT_EQ(songs.size(), std::size(stored));
    EXPECT_EQ(songs[1].Location, u"e:\\M\\bad\uFFFD.mp3");
    EXPECT_EQ(songs[2].Location, u"e:\\M\\\uFFFD\uFFFDx");
    EXPECT_EQ(songs[3].Location, u"e:\\M\\end\uFFFD");
    EXPECT_EQ(songs[4].Location, u"e:\\M\\\U0001F3B5 note\\caf\u00e9.m4a");
    EXPECT_EQ(songs[5].Location, u"e:\\\\a\\\\b\\");
}
