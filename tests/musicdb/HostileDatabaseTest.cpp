// SPDX-License-Identifier: GPL-3.0-or-later
// Crafted databases that once cost time and memory growing with the square of their size:
// tracks that overlap and all walk one long chain of objects, a title that runs to the
// end of the file shared by every track, a damaged file of megabytes declaring a huge
// track count, and an iTunesCDB whose image inflates to many times the file. Each must
// stay within the walk's allowances, which follow the file's size, keep no empty record,
// and still read what a well-formed walk would have read first.
#include "itdb/Crafted.h"
#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"
#include "musicdb/ImageReader.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvello;
namespace itdb = korvello::itdb;

namespace {

using itdb::kCraftedFirstTrack;
using itdb::kCraftedStride;
using itdb::Put32;

struct Walked {
    std::vector<TSong> songs;
    TWalkCost cost;
    std::int64_t declared = 0;
    int lookups = 0;
};

Walked Walk(const std::vector<std::uint8_t>& image, std::int64_t compressedSize = -1) {
    Walked out;
    TDataSetTable table{};
    EXPECT_TRUE(ReadDataSets(image, table));
    TTrackWalkContext context;
    context.drivePath = "e:";
    context.sizeOf = [&out](const std::string&) {
        ++out.lookups;
        return std::optional<std::int64_t>();
    };
    const TTrackListResult result =
        ParseTracks(image, table[0], context, out.songs, compressedSize);
    EXPECT_EQ(result.problem, "");
    out.cost = result.cost;
    out.declared = result.declared;
    return out;
}

void ExpectWithinAllowance(const Walked& walked, std::size_t imageSize,
                           std::int64_t compressedSize = -1) {
    const TWalkAllowance allowance =
        WalkAllowance(static_cast<std::int64_t>(imageSize), compressedSize);
    EXPECT_TRUE(WithinAllowance(walked.cost, allowance))
        << walked.cost.objectSteps << " steps, " << walked.cost.stringBytes << " string bytes, "
        << walked.cost.records << " records";
    EXPECT_LE(static_cast<std::int64_t>(walked.songs.size()), allowance.records);
    for (const TSong& song : walked.songs)
        ASSERT_TRUE(song.SongId != 0 || !song.Title.empty() || song.Location != u"e:")
            << "an empty record was kept";
}

} // namespace

TEST(HostileDatabase, OverlappingTracksShareOneChainOfObjects) {
    // 4,096 tracks each walking 8,000 objects of 24 bytes: 32 million steps when counted
    // per track.
    constexpr std::int32_t kSize = 256 * 1024;
    constexpr std::int32_t kTracks = 4096;
    constexpr std::int32_t kChain = kCraftedFirstTrack + kTracks * kCraftedStride + 64;
    auto image = itdb::SharedObjectChain(kSize, kTracks);
    // Near the end of the chain one object is a title: the first tracks walk far enough
    // to read it before the steps run out.
    const std::int32_t objects = (kSize - kChain) / 24;
    const std::int32_t title = kChain + 24 * (objects - 2);
    Put32(image, title + 12, 1);
    Put32(image, title + 28, 8);
    for (int i = 0; i < 4; ++i)
        image[static_cast<std::size_t>(title + 40 + 2 * i)] = "OK!!"[i];

    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    // The tracks that reached the title before the steps ran out are songs; the rest hold
    // nothing and are not.
    ASSERT_GE(walked.songs.size(), 1u);
    EXPECT_LT(walked.songs.size(), static_cast<std::size_t>(kTracks));
    for (const TSong& song : walked.songs)
        EXPECT_EQ(song.Title, u"OK!!");
    EXPECT_GE(walked.cost.objectSteps, (kSize - kChain) / 24); // the first walk is whole
}

TEST(HostileDatabase, ATitleRunningToTheEndIsCopiedOnceNotPerTrack) {
    constexpr std::int32_t kSize = 512 * 1024;
    constexpr std::int32_t kTracks = 2000;
    constexpr std::int32_t kTitle = kCraftedFirstTrack + kTracks * kCraftedStride + 64;
    const auto image = itdb::SharedTitle(kSize, kTracks);
    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    // The first track reads its title whole, as from any database; 2,000 copies of it
    // would have been a gigabyte.
    ASSERT_GE(walked.songs.size(), 1u);
    EXPECT_EQ(walked.songs[0].Title.size(), static_cast<std::size_t>(kSize - kTitle - 40) / 2);
    EXPECT_EQ(walked.songs[0].Title.front(), u'x');
    // The tracks after the string bytes were spent read an empty title: no songs.
    EXPECT_LT(walked.songs.size(), static_cast<std::size_t>(kTracks));
}

TEST(HostileDatabase, ADamagedFileOfMegabytesDeclaringAHugeCount) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 3; ++i)
        writer.AddTrack(i).Add(itdb::Title, "T" + std::to_string(i)).Add(itdb::Location, ":F:x");
    writer.layout().declaredTrackCount = 0x7FFFFFFF;
    auto image = writer.Build();
    image.resize(4 * 1024 * 1024, 0); // the rest of the file is zeros

    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    // The zeros after the third track are no tracks: three songs of a count of 2^31 - 1,
    // and the walk stops at the first track that does not move forward.
    ASSERT_EQ(walked.songs.size(), 3u);
    EXPECT_EQ(walked.songs[2].Title, u"T3");
    EXPECT_EQ(walked.declared, 0x7FFFFFFF);
    EXPECT_LE(walked.cost.records, 5); // the playlists after them, then the zeros
    EXPECT_LE(walked.lookups, 3);
}

TEST(HostileDatabase, AUtf8StringRunningPastTheEndIsCutThere) {
    // The last object of the file is a UTF-8 title declaring nearly 2 GB: only the bytes
    // up to the end of the image are read.
    itdb::ITunesDbWriter writer;
    writer.AddTrack(1).Add(itdb::Title, "First").Add(itdb::Location, ":F:a");
    itdb::Object title = itdb::Object::Utf8(itdb::Title, "Runs on");
    title.declaredStringLength = 0x7FFFFF00;
    writer.AddTrack(2).objects.push_back(title);
    auto image = writer.Build();
    // Cut right after the title's own bytes, so nothing follows it.
    const std::string tail = "Runs on";
    const auto end = std::search(image.begin(), image.end(), tail.begin(), tail.end());
    ASSERT_NE(end, image.end());
    image.erase(end + static_cast<std::ptrdiff_t>(tail.size()), image.end());
    image.shrink_to_fit();

    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    ASSERT_EQ(walked.songs.size(), 2u);
    EXPECT_EQ(walked.songs[1].Title, u"Runs on");
}

TEST(HostileDatabase, AnObjectOfNoLengthEndsItsTracksWalk) {
    // A track declaring a million objects whose first has no length: stepping by nothing
    // would read that object again for as many rounds as the file's size allows.
    itdb::ITunesDbWriter writer;
    auto& track = writer.AddTrack(1).Add(itdb::Title, "Kept");
    track.objects.push_back(itdb::Object::Opaque(100, 24));
    track.objects.back().totalLength = 0;
    track.Add(itdb::Artist, "Unseen");
    track.declaredObjectCount = 1000000;
    writer.AddTrack(2).Add(itdb::Title, "Next");
    const auto image = writer.Build();
    const Walked walked = Walk(image);
    ASSERT_EQ(walked.songs.size(), 2u);
    EXPECT_EQ(walked.songs[0].Title, u"Kept");
    EXPECT_EQ(walked.songs[0].Artist, u"");
    EXPECT_EQ(walked.songs[1].Title, u"Next");
    EXPECT_LE(walked.cost.objectSteps, 4);
}

TEST(HostileDatabase, TheImageReaderCutsEveryReadAtTheImagesEnd) {
    // Whatever length a caller passes on: "ab" in UTF-16LE, then half a code unit.
    const std::vector<std::uint8_t> image = {'a', 0, 'b', 0, 'c'};
    const TImageReader reader(image);
    EXPECT_EQ(reader.Utf16At(0, 64), u"ab");
    EXPECT_EQ(reader.Utf16At(2, 6), u"b");
    EXPECT_EQ(reader.BytesAt(3, 0x7FFFFFFF), std::string_view("\0c", 2));
    EXPECT_EQ(reader.Int32At(3), 'c' << 8);
    EXPECT_EQ(reader.Utf16At(5, 2), u"");
    EXPECT_EQ(reader.Int32At(-2), 'a' << 16);
}

TEST(HostileDatabase, AZeroLengthDataSetEndsTheSearchForTheTrackList) {
    // 512 bytes: a header declaring 2^31 - 1 data sets, the first of which has no length.
    std::vector<std::uint8_t> image(512, 0);
    Put32(image, 4, 0xF4);
    Put32(image, 8, 512);
    Put32(image, kDataSetCountOffset, 0x7FFFFFFF);
    Put32(image, 0xF4 + 12, 4);
    TDataSetTable table{};
    EXPECT_FALSE(ReadDataSets(image, table));
}

// Tracks of 20 bytes, each with an id, filling `size` bytes after the track list: what
// a hostile iTunesCDB inflates to, since such a pattern compresses about a thousandfold.
std::vector<std::uint8_t> TinyTracks(std::int32_t size) {
    auto image = itdb::OverlappingTracks(size, 0, 0);
    for (std::int32_t at = kCraftedFirstTrack; at + kMinTrackBytes <= size; at += kMinTrackBytes) {
        Put32(image, at + 4, kMinTrackBytes);
        Put32(image, at + 8, kMinTrackBytes);
        Put32(image, at + 16, 7);
    }
    return image;
}

TEST(HostileDatabase, AnInflatedImageIsWalkedWithinTheFilesAllowance) {
    // 1 MB of tracks, as a 32 KB file inflating 32 times would give: the walk may cost
    // what the 32 KB file allows, not what its image would.
    constexpr std::int32_t kImage = 1024 * 1024;
    constexpr std::int64_t kFile = 32 * 1024;
    const auto image = TinyTracks(kImage);
    const Walked walked = Walk(image, kFile);
    ExpectWithinAllowance(walked, image.size(), kFile);
    EXPECT_LE(static_cast<std::int64_t>(walked.songs.size()), 2 * kFile / kMinTrackBytes);
    EXPECT_GT(walked.songs.size(), 1000u);
    EXPECT_EQ(walked.songs[0].SongId, 7);
    // The same image read as a plain file of its size gets a record per track.
    const Walked plain = Walk(image);
    EXPECT_EQ(plain.songs.size(), static_cast<std::size_t>((kImage - kCraftedFirstTrack) / 20));
}

TEST(HostileDatabase, AWellFormedDatabaseStaysFarFromTheAllowance) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= 50; ++i) {
        auto& track = writer.AddTrack(i).Add(itdb::Title, std::string(2000, 'a'));
        track.Add(itdb::Artist, "A").Add(itdb::Location, ":F:" + std::to_string(i));
        track.objects.push_back(itdb::Object::Opaque(100, 24));
    }
    const auto image = writer.Build();
    const Walked walked = Walk(image);
    // Every string of the file is copied once; nothing is cut.
    ASSERT_EQ(walked.songs.size(), 50u);
    EXPECT_EQ(walked.songs[49].Title.size(), 2000u);
    EXPECT_EQ(walked.cost.objectSteps, 50 * 4);
    EXPECT_LT(walked.cost.stringBytes, static_cast<std::int64_t>(image.size()));
}
