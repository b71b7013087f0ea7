// SPDX-License-Identifier: GPL-3.0-or-later
// Crafted databases that once cost time and memory growing with the square of their size:
// tracks that overlap and all walk one long chain of objects, a title that runs to the
// end of the file shared by every track, and a damaged file of megabytes declaring a huge
// track count. Each must stay within the walk's allowances and still read what a
// well-formed walk would have read first.
#include "itdb/Crafted.h"
#include "itdb/ITunesDbWriter.h"
#include "musicdb/DatabaseReader.h"

#include <gtest/gtest.h>

using namespace korvello;
namespace itdb = korvello::itdb;

namespace {

using itdb::kCraftedFirstTrack;
using itdb::kCraftedStride;
using itdb::Put32;

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
    ASSERT_EQ(walked.songs.size(),
              static_cast<std::size_t>((kSize - kCraftedFirstTrack) / kMinTrackBytes));
    EXPECT_EQ(walked.songs[0].Title, u"OK!!");
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
    ASSERT_EQ(walked.songs.size(), (image.size() - kCraftedFirstTrack) / kMinTrackBytes);
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
