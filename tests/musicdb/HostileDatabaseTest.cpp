// Crafted databases that once cost time and memory growing with the square of their size:
// tracks that overlap and all walk one long chain of objects, a title that runs to the
// end of the file shared by every track, and a damaged file of megabytes declaring a huge
// track count. Each must stay within the walk's allowances and still read what a
// well-formed walk would have read first.
#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"

#include <gtest/gtest.h>

using namespace korvello;
namespace itdb = korvello::itdb;

namespace {

constexpr std::int32_t kFirstTrack = 0xF4 + 0x60 + 0x5C;
constexpr std::int32_t kTrackStride = 16; // tracks overlap: each is 16 bytes after the last

void Put32(std::vector<std::uint8_t>& image, std::size_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        image[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

// A database of `size` bytes whose track list declares every track there could be; the
// first `tracks` tracks overlap, 16 bytes apart, each with the longest object count and a
// header length that leads all of them to the same first object at `shared`.
std::vector<std::uint8_t> OverlappingTracks(std::int32_t size, std::int32_t tracks,
                                            std::int32_t shared) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(size), 0);
    Put32(image, 4, 0xF4);
    Put32(image, 20, 1);
    Put32(image, 0xF4 + 4, 0x60);
    Put32(image, 0xF4 + 8, size - 0xF4);
    Put32(image, 0xF4 + 12, 1);
    Put32(image, 0xF4 + 0x60 + 4, 0x5C);
    Put32(image, 0xF4 + 0x60 + 8, 0x7FFFFFFF);
    for (std::int32_t i = 0; i < tracks; ++i) {
        const std::int32_t at = kFirstTrack + i * kTrackStride;
        Put32(image, static_cast<std::size_t>(at + 4), shared - at);
        Put32(image, static_cast<std::size_t>(at + 8), kTrackStride);
        Put32(image, static_cast<std::size_t>(at + 12), 0x7FFFFFFF);
    }
    return image;
}

struct Walked {
    std::vector<TSong> songs;
    TWalkCost cost;
    int lookups = 0;
};

Walked Walk(const std::vector<std::uint8_t>& image) {
    Walked out;
    TDataSetTable table{};
    EXPECT_TRUE(ReadDataSets(image, table));
    TTrackWalkContext context;
    context.drivePath = "e:";
    context.sizeOf = [&out](const std::string&) {
        ++out.lookups;
        return std::optional<std::int64_t>();
    };
    out.cost = ParseTracks(image, table[0], context, out.songs);
    return out;
}

void ExpectWithinAllowance(const Walked& walked, std::size_t imageSize) {
    const std::int64_t allowance = WalkAllowance(static_cast<std::int64_t>(imageSize));
    EXPECT_LE(walked.cost.objectSteps, allowance);
    EXPECT_LE(walked.cost.stringBytes, allowance);
    EXPECT_LE(walked.songs.size(), imageSize / kMinTrackBytes);
}

} // namespace

TEST(HostileDatabase, OverlappingTracksShareOneChainOfObjects) {
    // 4,096 tracks each walking 8,000 objects of 24 bytes: 32 million steps when counted
    // per track.
    constexpr std::int32_t kSize = 256 * 1024;
    constexpr std::int32_t kTracks = 4096;
    constexpr std::int32_t kChain = kFirstTrack + kTracks * kTrackStride + 64;
    auto image = OverlappingTracks(kSize, kTracks, kChain);
    for (std::int32_t at = kChain; at + 24 <= kSize; at += 24) {
        Put32(image, static_cast<std::size_t>(at + 4), 0x18);
        Put32(image, static_cast<std::size_t>(at + 8), 24);
        Put32(image, static_cast<std::size_t>(at + 12), 100);
    }
    // Near the end of the chain one object is a title: the first tracks walk far enough
    // to read it before the steps run out.
    const std::int32_t objects = (kSize - kChain) / 24;
    const std::int32_t title = kChain + 24 * (objects - 2);
    Put32(image, static_cast<std::size_t>(title + 12), 1);
    Put32(image, static_cast<std::size_t>(title + 28), 8);
    for (int i = 0; i < 4; ++i)
        image[static_cast<std::size_t>(title + 40 + 2 * i)] = "OK!!"[i];

    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    ASSERT_EQ(walked.songs.size(),
              static_cast<std::size_t>((kSize - kFirstTrack) / kMinTrackBytes));
    EXPECT_EQ(walked.songs[0].Title, u"OK!!");
    EXPECT_GE(walked.cost.objectSteps, (kSize - kChain) / 24); // the first walk is whole
}

TEST(HostileDatabase, ATitleRunningToTheEndIsCopiedOnceNotPerTrack) {
    constexpr std::int32_t kSize = 512 * 1024;
    constexpr std::int32_t kTracks = 2000;
    constexpr std::int32_t kTitle = kFirstTrack + kTracks * kTrackStride + 64;
    auto image = OverlappingTracks(kSize, kTracks, kTitle);
    Put32(image, static_cast<std::size_t>(kTitle + 8), kSize - kTitle);
    Put32(image, static_cast<std::size_t>(kTitle + 12), 1);
    Put32(image, static_cast<std::size_t>(kTitle + 28), kSize - kTitle - 40);
    for (std::int32_t at = kTitle + 40; at < kSize; at += 2)
        image[static_cast<std::size_t>(at)] = 'x';

    const Walked walked = Walk(image);
    ExpectWithinAllowance(walked, image.size());
    // The first track reads its title whole, as from any database; 2,000 copies of it
    // would have been a gigabyte.
    ASSERT_GE(walked.songs.size(), static_cast<std::size_t>(kTracks));
    EXPECT_EQ(walked.songs[0].Title.size(), static_cast<std::size_t>(kSize - kTitle - 40) / 2);
    EXPECT_EQ(walked.songs[0].Title.front(), u'x');
    EXPECT_TRUE(walked.songs[kTracks - 1].Title.empty());
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
    ASSERT_EQ(walked.songs.size(), (image.size() - kFirstTrack) / kMinTrackBytes);
    EXPECT_EQ(walked.songs[2].Title, u"T3");
    EXPECT_EQ(walked.songs.back().Location, u"e:");
    // The zeros read as one track over and over; its file is asked about once, not for
    // each of the 200,000 records.
    EXPECT_LE(walked.lookups, 10);
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
