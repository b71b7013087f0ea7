// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged databases: every cut-off length and thousands of random byte changes must load
// without a crash or a read outside the image (the tests run under AddressSanitizer),
// keep what was complete, and never report more songs than are held.
#include "support/ForwardingPlatform.h"
#include "support/IpodTree.h"

#include "core/ErrorLog.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/iPodcomponent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace korvello;
using namespace korvello::test;
namespace itdb = korvello::itdb;

namespace {

constexpr std::size_t kFirstTrack = 0xF4 + 0x60 + 0x5C;

// Every song file "exists", so each track also goes through the size text.
class EveryFilePlatform : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::optional<std::int64_t> FindFile(const std::string& path) override {
        return static_cast<std::int64_t>(path.size()) * 40000;
    }
};

// Kept small per track (a short header, short strings) so that cutting it at every one
// of its offsets stays quick, while still holding every kind of object the walk meets.
itdb::ITunesDbWriter TwoHundredTracks() {
    itdb::ITunesDbWriter writer;
    for (int i = 0; i < 200; ++i) {
        itdb::Track track;
        track.id = i + 1;
        track.headerLength = 0x30;
        track.Add(itdb::Title, std::to_string(i)).Add(itdb::Location, ":F:" + std::to_string(i));
        if (i % 3 == 0)
            track.Add(itdb::Artist, "A" + std::to_string(i % 7));
        if (i % 5 == 0)
            track.objects.push_back(itdb::Object::Opaque(100, 30));
        writer.AddTrack(std::move(track));
    }
    writer.AddPlaylist({"iPod", {1, 2, 3}, true});
    return writer;
}

// End offset of every track record of a writer's image (tracks first).
std::vector<std::size_t> TrackEnds(const std::vector<std::uint8_t>& image, std::size_t count) {
    std::vector<std::size_t> ends;
    std::size_t at = kFirstTrack;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t total = image[at + 8] | (image[at + 9] << 8) | (image[at + 10] << 16) |
                                    (static_cast<std::uint32_t>(image[at + 11]) << 24);
        at += total;
        ends.push_back(at);
    }
    return ends;
}

void ExpectCountMatchesRecords(const TiPod& ipod, std::size_t imageSize) {
    const std::int32_t count = ipod.SongCount();
    ASSERT_GE(count, 0);
    ASSERT_LE(static_cast<std::size_t>(count), imageSize / kMinTrackBytes);
    if (count > 0) {
        EXPECT_NO_THROW(ipod.SongAt(count - 1));
    }
    EXPECT_THROW(ipod.SongAt(count), EKorvelloError);
}

} // namespace

TEST(Robustness, EveryTruncationKeepsTheCompleteTracks) {
    const auto full = TwoHundredTracks().Build();
    std::vector<TSong> reference;
    {
        TDataSetTable table{};
        ASSERT_TRUE(ReadDataSets(full, table));
        ParseTracks(full, table[0], {"e:", ".", {}, {}, {}, {}}, reference);
        ASSERT_EQ(reference.size(), 200u);
    }
    const auto ends = TrackEnds(full, 200);
    std::vector<TSong> songs;

    for (std::size_t size = 0; size <= full.size(); ++size) {
        const std::span<const std::uint8_t> cut(full.data(), size);
        TDataSetTable table{};
        // The same records are reused from cut to cut, as a catalogue reuses them.
        if (ReadDataSets(cut, table))
            ParseTracks(cut, table[0], {"e:", ".", {}, {}, {}, {}}, songs);
        else
            songs.clear();
        ASSERT_LE(songs.size(), size / kMinTrackBytes) << size;
        // Every track that lies wholly inside the cut is read as from the whole file; the
        // walk is the same up to the cut, so the last of them stands for all.
        const auto complete = static_cast<std::size_t>(
            std::upper_bound(ends.begin(), ends.end(), size) - ends.begin());
        if (complete > 0) {
            ASSERT_GE(songs.size(), complete) << size;
            ASSERT_EQ(songs[complete - 1], reference[complete - 1]) << "cut at " << size;
        }
    }
}

TEST(Robustness, RandomByteChangesLoadWithoutHarm) {
    IpodTree tree;
    auto posix = tree.MakePlatform();
    EveryFilePlatform platform(*posix);
    const auto original = TwoHundredTracks().Build();
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> position(0, original.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> changes(1, 8);
    // Lengths and counts sit in the first bytes of each record; hit them more often.
    std::uniform_int_distribution<int> headerByte(0, 0x250);

    TiPod ipod(platform);
    ipod.SetDrivePath("e:");
    for (int round = 0; round < 2000; ++round) {
        auto image = original;
        const int n = changes(random);
        for (int c = 0; c < n; ++c) {
            std::size_t at = position(random);
            if (c % 2 == 1)
                at = std::min(original.size() - 1,
                              kFirstTrack + static_cast<std::size_t>(headerByte(random)));
            image[at] = static_cast<std::uint8_t>(byte(random));
        }
        ipod.LoadImage(image);
        ExpectCountMatchesRecords(ipod, image.size());
        if (HasFatalFailure())
            FAIL() << "round " << round;
        ipod.GetAlbums();
        ipod.GetFileTypes();
    }
}
