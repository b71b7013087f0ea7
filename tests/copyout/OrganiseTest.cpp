// Organised copies, the parts below the windows: the test that tells a song already
// copied, the playlist of a job and the counts of its summary.
#include "CopyJobFixture.h"

#include "copyout/AlreadyCopied.h"
#include "copyout/JobSummary.h"
#include "copyout/Playlist.h"

#include <gtest/gtest.h>

namespace korvello::test {
namespace {

// A file that cannot move its read position, as a pipe-like source would be.
class UnseekableFile final : public IFile {
public:
    explicit UnseekableFile(std::unique_ptr<IFile> inner) : inner_(std::move(inner)) {}
    std::int64_t Read(void* b, std::int64_t n) override { return inner_->Read(b, n); }
    std::int64_t Write(const void* b, std::int64_t n) override { return inner_->Write(b, n); }
    std::int64_t Size() override { return inner_->Size(); }
    bool Close() override { return inner_->Close(); }
    std::string ErrorText() const override { return inner_->ErrorText(); }

private:
    std::unique_ptr<IFile> inner_;
};

class UnseekablePlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        auto file = ForwardingPlatform::OpenRead(p, error);
        return file ? std::make_unique<UnseekableFile>(std::move(file)) : nullptr;
    }
};

using AlreadyCopiedTest = CopyJobTest;

TEST_F(AlreadyCopiedTest, SameSizeAndEndsMeanCopiedWhateverTheFileCanDo) {
    const std::size_t big = 3 * kSameFileProbeBytes + 123;
    const std::string song = Song("big.mp3", big, 7);
    WriteFile(OutFile("same.mp3"), SongBytes(big, 7));
    std::string tail = SongBytes(big, 7);
    tail[big - 1] ^= 1;
    WriteFile(OutFile("tail.mp3"), tail);
    std::string head = SongBytes(big, 7);
    head[10] ^= 1;
    WriteFile(OutFile("head.mp3"), head);
    WriteFile(OutFile("short.mp3"), SongBytes(big - 1, 7));
    WriteFile(OutFile("other.mp3"), SongBytes(big, 8));

    UnseekablePlatform unseekable(real);
    for (IPlatform* p : std::initializer_list<IPlatform*>{&real, &unseekable}) {
        EXPECT_TRUE(SameFileAlreadyThere(*p, song, Out("same.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("tail.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("head.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("short.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("other.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("missing.mp3")));
    }
}

TEST_F(AlreadyCopiedTest, SmallAndEmptySongsAreComparedWhole) {
    const std::string small = Song("small.mp3", 1000, 3);
    WriteFile(OutFile("small.mp3"), SongBytes(1000, 3));
    std::string changed = SongBytes(1000, 3);
    changed[500] ^= 1;
    WriteFile(OutFile("changed.mp3"), changed);
    EXPECT_TRUE(SameFileAlreadyThere(real, small, Out("small.mp3")));
    EXPECT_FALSE(SameFileAlreadyThere(real, small, Out("changed.mp3")));

    const std::string empty = Song("empty.mp3", 0);
    WriteFile(OutFile("empty.mp3"), "");
    EXPECT_TRUE(SameFileAlreadyThere(real, empty, Out("empty.mp3")));
    // A folder of the song's name is no copy of it.
    MakeDirs(OutFile("folder.mp3"));
    EXPECT_FALSE(SameFileAlreadyThere(real, empty, Out("folder.mp3")));
}

TEST(JobSummary, EveryOutcomeCountsOnceUnderItsKind) {
    const std::vector<std::string> outcomes = {"c:\\out\\A.mp3",
                                               "c:\\out\\B(1).mp3",
                                               kAlreadyCopied,
                                               kSongNotFound,
                                               kDiskSpaceNotEnough,
                                               kCopyTerminated,
                                               kCopyTerminated,
                                               " Copy failed: Permission denied.",
                                               " Copy failed: File name too long."};
    const TJobSummary s = SummariseJob(outcomes);
    EXPECT_EQ(s.copied, 2);
    EXPECT_EQ(s.alreadyCopied, 1);
    EXPECT_EQ(s.notFound, 1);
    EXPECT_EQ(s.noSpace, 1);
    EXPECT_EQ(s.stopped, 2);
    EXPECT_EQ(s.failed, 2);
    EXPECT_EQ(JobSummaryText(s),
              "2 copied, 1 already copied, 1 not found, 1 not enough space, 2 failed, 2 stopped");
    EXPECT_EQ(JobSummaryText(SummariseJob({})),
              "0 copied, 0 already copied, 0 not found, 0 not enough space, 0 failed, 0 stopped");
}

TEST(Playlist, LinesInJobOrderWithPathsRelativeToThePlaylistFolder) {
    const std::vector<TPlaylistEntry> entries = {
        {"Björk", "Jóga", "/home/u/Music/Björk/Homogenic/Jóga.mp3"},
        {"", "No Artist", "/home/u/Music/No Artist.m4a"},
        {"The Band", "#1 Hit", "/home/u/Music/#1 Hit.mp3"},
        {"Elsewhere", "Far Away", "/home/u/Other/Far Away.mp3"},
        {"Two\nLines", "A\r\nB", "/home/u/Music/AB.mp3"},
    };
    EXPECT_EQ(PlaylistText("/home/u/Music/Korvello.m3u8", entries),
              "#EXTM3U\n"
              "#EXTINF:-1,Björk - Jóga\n"
              "Björk/Homogenic/Jóga.mp3\n"
              "#EXTINF:-1,No Artist\n"
              "No Artist.m4a\n"
              "#EXTINF:-1,The Band - #1 Hit\n"
              "./#1 Hit.mp3\n"
              "#EXTINF:-1,Elsewhere - Far Away\n"
              "../Other/Far Away.mp3\n"
              "#EXTINF:-1,Two Lines - A  B\n"
              "AB.mp3\n");
    EXPECT_EQ(PlaylistText("/tmp/x.m3u8", {}), "#EXTM3U\n");
}

TEST_F(AlreadyCopiedTest, PlaylistOfAJobTakesCopiedAndAlreadyCopiedSongsOnly) {
    const std::vector<std::string> titles = {"One", "Two", "Three", "Four", "Five"};
    const std::vector<std::string> artists = {"A", "B", "C", "D", "E"};
    const std::vector<std::string> outcomes = {"c:\\out\\A\\One.mp3", kSongNotFound, kAlreadyCopied,
                                               " Copy failed: Input/output error.",
                                               "c:\\out\\Five (x).mp3"};
    const std::vector<std::string> found = {"", "", "c:\\out\\C\\Three(1).mp3", "", ""};
    const std::vector<TPlaylistEntry> entries =
        PlaylistOfJob(real, titles, artists, outcomes, found);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, tmp / "out/A/One.mp3");
    EXPECT_EQ(entries[1].title, "Three");
    EXPECT_EQ(entries[1].artist, "C");
    EXPECT_EQ(entries[1].path, tmp / "out/C/Three(1).mp3");
    EXPECT_EQ(entries[2].path, tmp / "out/Five (x).mp3");
    EXPECT_EQ(PlaylistText(tmp / "out/Korvello.m3u8", entries),
              "#EXTM3U\n#EXTINF:-1,A - One\nA/One.mp3\n#EXTINF:-1,C - Three\nC/Three(1).mp3\n"
              "#EXTINF:-1,E - Five\nFive (x).mp3\n");
}

} // namespace
} // namespace korvello::test
