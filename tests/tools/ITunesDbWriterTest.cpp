// SPDX-License-Identifier: GPL-3.0-or-later
// The database writer that the reader's tests and the demo iPods rest on. libgpod, an
// independent reader of the iPod's files (through the gpod-dump tool), must read back
// every field, playlist, Play Counts entry and On-The-Go list exactly as written; and
// every length the writer puts down must lead to the next record.

#include "itdb/ITunesDbWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace korvello::itdb {
namespace {

using Fields = std::map<std::string, std::string>;

struct Dump {
    int status = -1;
    std::vector<Fields> tracks;
    std::vector<Fields> playlists;

    const Fields& Track(const std::string& id) const {
        static const Fields none;
        for (const Fields& track : tracks) {
            if (track.at("id") == id)
                return track;
        }
        return none;
    }
    // "name kind ids" of every playlist, in libgpod's order.
    std::vector<std::string> Playlists() const {
        std::vector<std::string> lines;
        for (const Fields& p : playlists)
            lines.push_back(p.at("name") + " " + p.at("kind") + " " + p.at("ids"));
        return lines;
    }
};

bool HaveLibgpod() {
#ifdef GPOD_DUMP_PATH
    return true;
#else
    return false;
#endif
}

std::string RunCommand(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

// What libgpod reads from the iPod folder `mountpoint` (times in UTC).
Dump GpodDump([[maybe_unused]] const std::string& mountpoint) {
    Dump dump;
#ifdef GPOD_DUMP_PATH
    const std::string out =
        RunCommand("TZ=UTC '" GPOD_DUMP_PATH "' '" + mountpoint + "' 2>/dev/null", dump.status);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream parts(line);
        std::string kind;
        std::string part;
        std::getline(parts, kind, '\t');
        Fields fields;
        while (std::getline(parts, part, '\t')) {
            const auto eq = part.find('=');
            fields[part.substr(0, eq)] = eq == std::string::npos ? "" : part.substr(eq + 1);
        }
        (kind == "T" ? dump.tracks : dump.playlists).push_back(fields);
    }
#endif
    return dump;
}

constexpr std::int64_t kPlayed = 1241201051; // 2009-05-01T18:04:11Z
constexpr std::int64_t kSkipped = 1241300000;
constexpr std::int64_t kAdded = 1230768000; // 2009-01-01T00:00:00Z

// Two album tracks with every field, three podcast episodes of two shows (interleaved),
// and a track whose short header has no room for its late fields; an ordinary playlist
// with a repeated entry and one naming no track, a smart and a podcast playlist.
ITunesDbWriter Library() {
    ITunesDbWriter writer;
    Track& intro = writer.AddTrack(11);
    intro.Add(Title, "Intro")
        .Add(Location, ":iPod_Control:Music:F00:AAAA.mp3")
        .Add(Album, "Two Halves")
        .Add(Artist, "Ana Ruiz")
        .Add(AlbumArtist, "Ana Ruiz & Friends")
        .Add(Composer, "A. Ruiz")
        .Add(SortTitle, "intro (sorted)")
        .Add(SortArtist, "Ruiz, Ana")
        .Add(SortAlbum, "Halves, Two")
        .Add(SortAlbumArtist, "Ruiz, Ana & Friends")
        .Add(SortComposer, "Ruiz, A.");
    intro.trackNumber = 1;
    intro.trackCount = 3;
    intro.discNumber = 1;
    intro.discCount = 2;
    intro.year = 2009;
    intro.rating = 80;
    intro.playCount = 5;
    intro.skipCount = 1;
    intro.lastPlayed = kPlayed;
    intro.lastSkipped = kSkipped;
    intro.dateAdded = kAdded;
    intro.lengthMs = 215000;
    intro.bitrate = 256;
    intro.sampleRate = 44100;
    intro.mediaType = 1;
    intro.fileSize = 6881280;

    Track& next = writer.AddTrack(12);
    next.Add(Title, "\u00dcbergang").Add(Album, "Two Halves").Add(Artist, "Bo Lind");
    next.Add(AlbumArtist, "Various Artists").Add(SortArtist, "Lind, Bo");
    next.compilation = true;
    next.trackNumber = 3;
    next.trackCount = 3;
    next.discNumber = 2;
    next.discCount = 2;
    next.year = 2010;
    next.rating = 20;
    next.sampleRate = 48000;
    next.mediaType = 1;

    const char* const episodes[][2] = {
        {"Episode 1", "Weekly Show"}, {"Pilot", "Other Show"}, {"Episode 2", "Weekly Show"}};
    std::int32_t id = 13;
    for (const auto& [title, show] : episodes) {
        Track& episode = writer.AddTrack(id++);
        episode.Add(Title, title).Add(Album, show);
        episode.mediaType = 4;
    }

    Track& old = writer.AddTrack(16);
    old.Add(Title, "Short Header");
    old.headerLength = 0x9C;
    old.year = 1999;   // fits
    old.skipCount = 7; // past the header: left out
    old.mediaType = 8; // likewise

    writer.AddPlaylist({"Test iPod", {11, 12, 13, 14, 15, 16}, true});
    writer.AddPlaylist({"Road Trip", {12, 11, 99, 12}});
    Playlist loved;
    loved.name = "Loved";
    loved.kind = Playlist::Kind::Smart;
    loved.rules = {SmartRule::Number(0x19, 0x10, 60, 60), SmartRule::Text(0x04, 0x01000002, "Ana")};
    loved.matchAny = true;
    loved.trackIds = {11};
    writer.AddPlaylist(loved);
    Playlist podcasts;
    podcasts.name = "Podcasts";
    podcasts.kind = Playlist::Kind::Podcast;
    podcasts.trackIds = {13, 14, 15};
    writer.AddPlaylist(podcasts);
    return writer;
}

// Since the last sync: Intro played twice, rated five stars, skipped three times.
PlayCounts SinceLastSync(const ITunesDbWriter& writer) {
    PlayCounts counts = writer.UnchangedPlayCounts();
    counts.entries[0].plays = 2;
    counts.entries[0].lastPlayed = 1260000000;
    counts.entries[0].rating = 100;
    counts.entries[0].skips = 3;
    counts.entries[0].lastSkipped = 1260000500;
    return counts;
}

TEST(ITunesDbWriter, LibgpodReadsEveryFieldPlaylistPlayCountAndOnTheGoList) {
    if (!HaveLibgpod())
        GTEST_SKIP() << "libgpod-dev is not installed, so gpod-dump was not built";
    test::TempDir dir;
    int n = 0;
    for (const bool compressed : {false, true}) {
        for (const bool podcastDataSet : {false, true}) {
            SCOPED_TRACE(std::string(compressed ? "iTunesCDB" : "iTunesDB") +
                         (podcastDataSet ? " with the podcast data set" : ""));
            ITunesDbWriter writer = Library();
            writer.layout().podcastDataSet = podcastDataSet;
            const PlayCounts counts = SinceLastSync(writer);
            OnTheGo first;
            first.positions = {1, 0};
            OnTheGo second;
            second.positions = {4};
            const std::string ipod = dir / std::to_string(n++);
            writer.WriteITunesFolder(ipod + "/iPod_Control/iTunes", compressed, &counts,
                                     {first, second});

            const Dump dump = GpodDump(ipod);
            ASSERT_EQ(dump.status, 0);
            ASSERT_EQ(dump.tracks.size(), 6u);
            const Fields expectIntro = {
                {"id", "11"},
                {"title", "Intro"},
                {"album", "Two Halves"},
                {"artist", "Ana Ruiz"},
                {"albumartist", "Ana Ruiz & Friends"},
                {"composer", "A. Ruiz"},
                {"sorttitle", "intro (sorted)"},
                {"sortartist", "Ruiz, Ana"},
                {"sortalbum", "Halves, Two"},
                {"sortalbumartist", "Ruiz, Ana & Friends"},
                {"sortcomposer", "Ruiz, A."},
                {"track", "1/3"},
                {"disc", "1/2"},
                {"year", "2009"},
                {"compilation", "0"},
                // libgpod merges the Play Counts entry: plays and skips added, the
                // iPod's rating and last-played time taken. It keeps the database's
                // last-skipped time.
                {"rating", "100"},
                {"plays", "7"},
                {"skips", "4"},
                {"lastplayed", "1260000000"},
                {"lastskipped", std::to_string(kSkipped)},
                {"added", std::to_string(kAdded)},
                {"duration", "215000"},
                {"bitrate", "256"},
                {"samplerate", "44100"},
                {"mediatype", "1"},
                {"size", "6881280"},
                {"path", ":iPod_Control:Music:F00:AAAA.mp3"},
            };
            EXPECT_EQ(dump.Track("11"), expectIntro);
            const Fields& next = dump.Track("12");
            EXPECT_EQ(next.at("title"), "\u00dcbergang");
            EXPECT_EQ(next.at("albumartist"), "Various Artists");
            EXPECT_EQ(next.at("compilation"), "1");
            EXPECT_EQ(next.at("track") + " " + next.at("disc"), "3/3 2/2");
            EXPECT_EQ(next.at("rating") + " " + next.at("plays") + " " + next.at("lastplayed"),
                      "20 0 0");
            EXPECT_EQ(next.at("samplerate"), "48000");
            EXPECT_EQ(dump.Track("14").at("mediatype"), "4");
            const Fields& old = dump.Track("16");
            EXPECT_EQ(old.at("year") + " " + old.at("skips") + " " + old.at("mediatype"),
                      "1999 0 0");

            // libgpod reads the podcast data set instead of the plain one where both are
            // present, and orders the podcast playlist by the entries' positions: there
            // the episodes come grouped by show.
            const std::vector<std::string> expected = {
                "Test iPod master 11,12,13,14,15,16",
                "Road Trip ordinary 12,11,12",
                "Loved smart 11",
                podcastDataSet ? "Podcasts podcast 13,15,14" : "Podcasts podcast 13,14,15",
                "OTG Playlist 1 ordinary 12,11",
                "OTG Playlist 2 ordinary 15",
            };
            EXPECT_EQ(dump.Playlists(), expected);
            ASSERT_EQ(dump.playlists.size(), expected.size());
            EXPECT_EQ(dump.playlists[2].at("rules") + " " + dump.playlists[2].at("match"), "2 1");
        }
    }
}

TEST(ITunesDbWriter, DemoIpodsReadBackThroughLibgpod) {
    if (!HaveLibgpod())
        GTEST_SKIP() << "libgpod-dev is not installed, so gpod-dump was not built";
    test::TempDir dir;
    for (const bool nano : {false, true}) {
        SCOPED_TRACE(nano ? "nano 7G" : "classic");
        const std::string ipod = dir / (nano ? "nano" : "classic");
        int status = -1;
        RunCommand("'" MAKE_DEMO_IPOD_PATH "' " + std::string(nano ? "--nano7g '" : "'") + ipod +
                       "' >/dev/null",
                   status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(test::Exists(ipod + "/iPod_Control/iTunes/iTunesDB"), !nano);
        EXPECT_EQ(test::Exists(ipod + "/iPod_Control/iTunes/iTunesCDB"), nano);
        const Dump dump = GpodDump(ipod);
        ASSERT_EQ(dump.status, 0);
        ASSERT_EQ(dump.tracks.size(), nano ? 18u : 36u);

        // Northern Lights, the first song: track 1 of 5, played twice since the last sync.
        const Fields& first = dump.Track("1000");
        EXPECT_EQ(first.at("track") + " " + first.at("disc") + " " + first.at("year"),
                  "1/5 1/1 2009");
        EXPECT_EQ(first.at("albumartist"), "Aurora Lane");
        EXPECT_EQ(first.at("lastplayed"), "1243973700");
        // Déjà vu ends disc 1 of Café de la Gare; Rain on the Roof is on a compilation.
        EXPECT_EQ(dump.Track("1032").at("disc"), "1/2");
        EXPECT_EQ(dump.Track("1044").at("compilation"), "1");
        EXPECT_EQ(dump.Track("1044").at("albumartist"), "Various Artists");
        EXPECT_EQ(dump.Track("1024").at("rating"), "100"); // rated on the iPod

        std::vector<std::string> kinds;
        for (const Fields& p : dump.playlists)
            kinds.push_back(p.at("name") + " " + p.at("kind"));
        std::vector<std::string> expected = {"Demo iPod master", "Favourites ordinary",
                                             "Night Drive ordinary", "Top Rated smart",
                                             "OTG Playlist 1 ordinary"};
        if (!nano)
            expected.push_back("OTG Playlist 2 ordinary");
        EXPECT_EQ(kinds, expected);
    }
}

// A minimal walk of the file by its own lengths, independent of the program's reader.
class Walker {
public:
    explicit Walker(const std::vector<std::uint8_t>& image) : image_(image) {}

    std::uint32_t At(std::size_t at) const {
        if (at + 4 > image_.size()) {
            ADD_FAILURE() << "read past the end at " << at;
            return 0;
        }
        return static_cast<std::uint32_t>(image_[at] | image_[at + 1] << 8 | image_[at + 2] << 16 |
                                          image_[at + 3] << 24);
    }
    std::string Tag(std::size_t at) const {
        return at + 4 <= image_.size()
                   ? std::string(image_.begin() + static_cast<std::ptrdiff_t>(at),
                                 image_.begin() + static_cast<std::ptrdiff_t>(at + 4))
                   : "";
    }
    // Walks `count` objects from `at`; returns where they end.
    std::size_t Objects(std::size_t at, std::uint32_t count) const {
        for (std::uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(Tag(at), "mhod") << "at " << at;
            at += At(at + 8);
        }
        return at;
    }

private:
    const std::vector<std::uint8_t>& image_;
};

TEST(ITunesDbWriter, EveryLengthLeadsToTheNextRecord) {
    ITunesDbWriter writer = Library();
    writer.layout().podcastDataSet = true;
    writer.layout().dataSetsBefore = {4};
    const std::vector<std::uint8_t> image = writer.Build();
    const Walker w(image);
    ASSERT_EQ(w.Tag(0), "mhbd");
    ASSERT_EQ(w.At(8), image.size());
    std::size_t set = w.At(4);
    std::vector<std::uint32_t> types;
    std::map<std::uint32_t, std::uint32_t> entriesOfSet;
    for (std::uint32_t s = 0; s < w.At(20); ++s) {
        ASSERT_EQ(w.Tag(set), "mhsd");
        const std::uint32_t type = w.At(set + 12);
        types.push_back(type);
        const std::size_t end = set + w.At(set + 8);
        const std::size_t list = set + w.At(set + 4);
        std::size_t at = list + w.At(list + 4);
        if (type == 1) {
            ASSERT_EQ(w.Tag(list), "mhlt");
            for (std::uint32_t t = 0; t < w.At(list + 8); ++t) {
                ASSERT_EQ(w.Tag(at), "mhit");
                const std::size_t trackEnd = at + w.At(at + 8);
                EXPECT_EQ(w.Objects(at + w.At(at + 4), w.At(at + 12)), trackEnd);
                at = trackEnd;
            }
        } else if (type == 2 || type == 3) {
            ASSERT_EQ(w.Tag(list), "mhlp");
            for (std::uint32_t p = 0; p < w.At(list + 8); ++p) {
                ASSERT_EQ(w.Tag(at), "mhyp");
                const std::size_t playlistEnd = at + w.At(at + 8);
                std::size_t entry = w.Objects(at + w.At(at + 4), w.At(at + 12));
                for (std::uint32_t e = 0; e < w.At(at + 16); ++e) {
                    ASSERT_EQ(w.Tag(entry), "mhip");
                    const std::size_t entryEnd = entry + w.At(entry + 8);
                    EXPECT_EQ(w.Objects(entry + w.At(entry + 4), w.At(entry + 12)), entryEnd);
                    entry = entryEnd;
                    ++entriesOfSet[type];
                }
                EXPECT_EQ(entry, playlistEnd);
                at = playlistEnd;
            }
        }
        if (type != 4) { // the album list is its header alone
            EXPECT_EQ(at, end) << "data set of type " << type;
        }
        set = end;
    }
    EXPECT_EQ(set, image.size());
    EXPECT_EQ(types, (std::vector<std::uint32_t>{4, 1, 3, 2}));
    // 6 + 4 + 1 + 3 entries; the podcast data set adds one group entry per show.
    EXPECT_EQ(entriesOfSet[2], 14u);
    EXPECT_EQ(entriesOfSet[3], 16u);
}

// Bytes at which two images of the same length differ.
std::vector<std::size_t> Differences(const std::vector<std::uint8_t>& a,
                                     const std::vector<std::uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i])
            at.push_back(i);
    }
    return at;
}

TEST(ITunesDbWriter, HostileVariantsChangeOnlyWhatTheyName) {
    const ITunesDbWriter plain = Library();
    const std::vector<std::uint8_t> image = plain.Build();
    {
        // A huge entry count in one playlist header: four bytes of the file.
        ITunesDbWriter writer;
        writer.AddTrack(1).Add(Title, "A");
        Playlist list{"Loop", {1}};
        const auto before = [&] {
            ITunesDbWriter w = writer;
            w.AddPlaylist(list);
            return w.Build();
        }();
        list.declaredEntryCount = 0x7FFFFFFF;
        list.declaredEntryLength = 0;
        writer.AddPlaylist(list);
        const auto after = writer.Build();
        const auto at = Differences(before, after);
        ASSERT_EQ(at.size(), 4u + 1u); // 0x7FFFFFFF over 1; 0 over 0x4C + 0x2C = 0x78
        const Walker w(after);
        EXPECT_EQ(w.At(at[0]), 0x7FFFFFFFu); // the mhyp's entry count
        EXPECT_EQ(w.Tag(at[0] - 16), "mhyp");
        EXPECT_EQ(w.At(at[4]), 0u); // the mhip's total length
        EXPECT_EQ(w.Tag(at[4] - 8), "mhip");
    }
    {
        ITunesDbWriter writer = Library();
        writer.layout().declaredPlaylistCount = 1000000;
        const auto at = Differences(image, writer.Build());
        ASSERT_FALSE(at.empty());
        EXPECT_LE(at.back() - at.front(), 3u);
    }
    {
        // Entries without their position objects: 0x2C bytes less per entry, still walkable.
        ITunesDbWriter writer;
        writer.AddTrack(1).Add(Title, "A");
        Playlist many{"Repeated", std::vector<std::int32_t>(100000, 1)};
        many.positions = false;
        writer.AddPlaylist(many);
        const auto bare = writer.Build();
        EXPECT_GT(bare.size(), 100000u * 0x4C);
        EXPECT_LT(bare.size(), 100000u * 0x4C + 1000);
    }
    {
        // A playlist without its name; a smart playlist whose rules object claims more
        // rules than it holds.
        ITunesDbWriter writer;
        writer.AddTrack(1).Add(Title, "A");
        Playlist nameless{"Unseen", {1}};
        nameless.nameObject = false;
        writer.AddPlaylist(nameless);
        Playlist smart{"Smart", {1}};
        smart.kind = Playlist::Kind::Smart;
        smart.rules = {SmartRule::Number(0x19, 0x10, 60, 60)};
        smart.declaredRuleCount = 0x7FFFFFFF;
        writer.AddPlaylist(smart);
        const auto bytes = writer.Build();
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.find(Utf16LeBytes("Unseen")), std::string::npos);
        EXPECT_NE(text.find(Utf16LeBytes("Smart")), std::string::npos);
        const auto rules = text.find("SLst");
        ASSERT_NE(rules, std::string::npos);
        EXPECT_EQ(text.substr(rules + 8, 4), "\x7F\xFF\xFF\xFF"); // big-endian
        const auto first = text.find("mhyp", text.find("mhlp"));
        EXPECT_EQ(Walker(bytes).At(first + 12), 0u); // no objects
    }
    {
        PlayCounts counts = plain.UnchangedPlayCounts();
        const auto before = counts.Build();
        EXPECT_EQ(before.size(), 0x60u + 6 * 0x1C);
        EXPECT_EQ(Walker(before).At(12 + 0x60 + 0 * 0x1C), 80u); // Intro's rating as it is
        counts.declaredCount = 0x40000006;                       // 6 entries, a huge count
        EXPECT_EQ(Differences(before, counts.Build()), (std::vector<std::size_t>{15}));
        OnTheGo list;
        list.positions = {5, 99};
        const auto otg = list.Build();
        EXPECT_EQ(otg.size(), 0x14u + 8);
        EXPECT_EQ(Walker(otg).At(0x14 + 4), 99u);
    }
}

} // namespace
} // namespace korvello::itdb
