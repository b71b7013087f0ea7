// SPDX-License-Identifier: GPL-3.0-or-later
// Organised copies, the parts below the windows: the test that tells a song already
// copied, the playlist of a job and the counts of its summary.
#include "CopyJobFixture.h"

#include "copyout/AlreadyCopied.h"
#include "copyout/CopyNaming.h"
#include "copyout/JobSummary.h"
#include "copyout/Naming.h"
#include "copyout/Playlist.h"
#include "platform/Text.h"
#include "support/FailingFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

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
    std::error_code Error() const override { return inner_->Error(); }

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

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using AlreadyCopiedTest = CopyJobTest;

// The tags of a song that today's three namings use.
struct Tags {
    std::string title, artist, album;
};

TSong Record(const Tags& tags, const std::string& location) {
    TSong song;
    song.Title = ToUtf16(tags.title);
    song.Artist = ToUtf16(tags.artist);
    song.Album = ToUtf16(tags.album);
    song.Location = ToUtf16(location);
    return song;
}

TCopyNaming Naming(const char* word) {
    std::string why;
    const std::optional<TCopyNaming> naming = ParseCopyNaming(word, why);
    EXPECT_TRUE(naming) << word << ": " << why;
    return naming.value_or(TCopyNaming());
}

std::string Named(const std::string& folder, const char* word, const Tags& tags,
                  const std::string& song) {
    return BuildNamedTargetPath(folder, Naming(word), Record(tags, song));
}

TEST(CopyNaming, WordsAndLabelsOfTheFirstThreeChoices) {
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(CopyNamingWord(PresetNaming(i)), kNamingPresets[i].word);
        EXPECT_EQ(Naming(kNamingPresets[i].word), PresetNaming(i));
        EXPECT_EQ(CopyNamingLabel(PresetNaming(i)), kNamingPresets[i].label);
    }
    EXPECT_EQ(Naming("ARTIST-album-Title"), PresetNaming(2));
    std::string why;
    EXPECT_EQ(ParseCopyNaming("artist", why), std::nullopt);
    EXPECT_EQ(ParseCopyNaming("", why), std::nullopt);
    EXPECT_EQ(CopyNamingLabel(PresetNaming(2)), "Artist\\Album\\Title");
}

TEST(CopyNaming, EachPartIsCleanedAsATitleAndEmptyTagsHaveNames) {
    const std::string song = "e:\\iPod_Control\\Music\\F00\\ABCD.mp3";
    const Tags plain{"Yesterday", "The Beatles", "Help!"};
    EXPECT_EQ(Named("D:\\Music", "title", plain, song),
              BuildTargetPath("D:\\Music", "Yesterday", song));
    EXPECT_EQ(Named("D:\\Music", "artist-title", plain, song),
              "D:\\Music\\The Beatles - Yesterday.mp3");
    EXPECT_EQ(Named("D:\\Music", "artist-album-title", plain, song),
              "D:\\Music\\The Beatles\\Help!\\Yesterday.mp3");
    // A drive root as the chosen folder.
    EXPECT_EQ(Named("D:\\", "artist-album-title", plain, song),
              "D:\\The Beatles\\Help!\\Yesterday.mp3");

    // Hostile tags: separators and dots never make a folder of their own or climb out.
    const Tags hostile{"../x", "AC/DC: \\..", ".."};
    EXPECT_EQ(Named("D:\\M", "artist-album-title", hostile, song), "D:\\M\\ACDC ..\\_..\\_..x.mp3");
    EXPECT_EQ(Named("D:\\M", "artist-title", hostile, song), "D:\\M\\ACDC .. - ..x.mp3");
    EXPECT_EQ(Named("D:\\M", "artist-album-title",
                    {"T\x01"
                     "ab",
                     "\x7F", ".hidden"},
                    song),
              "D:\\M\\Unknown Artist\\_.hidden\\Tab.mp3");

    // Empty, blank and wholly removed tags.
    EXPECT_EQ(Named("D:\\M", "artist-album-title", {"", "", "   "}, song),
              "D:\\M\\Unknown Artist\\Unknown Album\\_.mp3");
    EXPECT_EQ(Named("D:\\M", "artist-title", {"Song", "???", ""}, song),
              "D:\\M\\Unknown Artist - Song.mp3");

    // Over-long parts are cut to the name limit, each on its own.
    const std::string longTag(300, 'a');
    const std::string path = Named("D:", "artist-album-title", {longTag, longTag, longTag}, song);
    EXPECT_EQ(path, "D:\\" + std::string(kMaxFileNameBytes, 'a') + "\\" +
                        std::string(kMaxFileNameBytes, 'a') + "\\" +
                        std::string(kMaxFileNameBytes - 4, 'a') + ".mp3");
    EXPECT_EQ(Named("D:", "artist-title", {longTag, "Me", ""}, song).size(), 3 + kMaxFileNameBytes);
}

TEST(CopyNaming, TheDialogProposesTheNameTheFileWillHave) {
    const TSong song = Record({"Jóga", "Björk", "Homogenic"}, "e:\\F00\\ABCD.m4a");
    EXPECT_EQ(ProposedNamedFileName(Naming("title"), song), "Jóga.m4a");
    EXPECT_EQ(ProposedNamedFileName(Naming("artist-title"), song), "Björk - Jóga.m4a");
    EXPECT_EQ(ProposedNamedFileName(Naming("artist-album-title"), song), "Jóga.m4a");
}

// The worker as the window and korvello-cli run it for organised copies.
class OrganisedJobTest : public CopyJobTest {
protected:
    OrganisedJobTest() { organisedInto = "c:\\out"; }
    // Adds one song named by `naming`.
    void AddNamed(const std::string& song, const char* naming, const Tags& tags) {
        Add(song, Named("c:\\out", naming, tags, song));
    }
};

TEST_F(OrganisedJobTest, FoldersAreMadeAsNeededAndClashesAreSettledPerFolder) {
    const char* naming = "artist-album-title";
    AddNamed(Song("1.mp3", 3000, 1), naming, {"Intro", "Alpha", "First"});
    AddNamed(Song("2.mp3", 3000, 2), naming, {"Intro", "Alpha", "Second"});
    AddNamed(Song("3.mp3", 3000, 3), naming, {"Intro", "Alpha", "First"});
    AddNamed(Song("4.mp3", 3000, 4), naming, {"Intro", "", ""});
    // The user's own file in one of the folders stays with overwriting off. It is older
    // than the job: a file written while a job runs is never taken for the user's.
    WriteFile(OutFile("Beta/Live/Intro.mp3"), "mine");
    std::filesystem::last_write_time(OutFile("Beta/Live/Intro.mp3"),
                                     std::filesystem::file_time_type::clock::now() -
                                         std::chrono::hours(1));
    AddNamed(Song("5.mp3", 3000, 5), naming, {"Intro", "Beta", "Live"});
    Run();

    EXPECT_THAT(targets,
                ElementsAre(Out("Alpha\\First\\Intro.mp3"), Out("Alpha\\Second\\Intro.mp3"),
                            Out("Alpha\\First\\Intro(1).mp3"),
                            Out("Unknown Artist\\Unknown Album\\Intro.mp3"),
                            Out("Beta\\Live\\Intro(1).mp3")));
    EXPECT_EQ(ReadFile(OutFile("Alpha/First/Intro.mp3")), SongBytes(3000, 1));
    EXPECT_EQ(ReadFile(OutFile("Alpha/Second/Intro.mp3")), SongBytes(3000, 2));
    EXPECT_EQ(ReadFile(OutFile("Alpha/First/Intro(1).mp3")), SongBytes(3000, 3));
    EXPECT_EQ(ReadFile(OutFile("Beta/Live/Intro.mp3")), "mine");

    // With overwriting on, the user's file is replaced, but a song of this job never is.
    targets.clear();
    sources.clear();
    overwrite = true;
    AddNamed(Song("6.mp3", 2000, 6), naming, {"Intro", "Beta", "Live"});
    AddNamed(Song("7.mp3", 2000, 7), naming, {"Intro", "Beta", "Live"});
    Run();
    EXPECT_THAT(targets,
                ElementsAre(Out("Beta\\Live\\Intro.mp3"), Out("Beta\\Live\\Intro(2).mp3")));
    EXPECT_EQ(ReadFile(OutFile("Beta/Live/Intro.mp3")), SongBytes(2000, 6));
    EXPECT_EQ(ReadFile(OutFile("Beta/Live/Intro(2).mp3")), SongBytes(2000, 7));
}

TEST_F(OrganisedJobTest, AFolderThatCannotBeMadeFailsThatSongOnly) {
    WriteFile(OutFile("Gamma"), "a file where the artist folder would go");
    AddNamed(Song("2.mp3", 1000, 2), "artist-album-title", {"Two", "Delta", "B"});
    // A destination outside the chosen folder is never written, whatever built it.
    Add(Song("3.mp3", 1000, 3), "c:\\elsewhere\\Three.mp3");
    Add(Song("4.mp3", 1000, 4), Out("..\\Four.mp3"));
    // A sibling whose name begins with the chosen folder's is outside it too.
    Add(Song("5.mp3", 1000, 5), "c:\\out2\\Five.mp3");
    AddNamed(Song("1.mp3", 1000, 1), "artist-album-title", {"One", "Gamma", "A"});
    Run();
    EXPECT_EQ(targets[0], Out("Delta\\B\\Two.mp3"));
    EXPECT_EQ(targets[1], " Copy failed: the file name leads out of the chosen folder.");
    EXPECT_EQ(targets[2], " Copy failed: the file name leads out of the chosen folder.");
    EXPECT_EQ(targets[3], " Copy failed: the file name leads out of the chosen folder.");
    EXPECT_EQ(targets[4], " Copy failed: File exists.");
    EXPECT_FALSE(Exists(tmp / "elsewhere"));
    EXPECT_FALSE(Exists(tmp / "out2"));
    EXPECT_FALSE(Exists(tmp / "Four.mp3"));
    EXPECT_EQ(ReadFile(OutFile("Gamma")), "a file where the artist folder would go");
    EXPECT_THAT(Log(), HasSubstr("cannot create the folder"));
}

TEST_F(OrganisedJobTest, ASongWhosePathIsTooLongFailsAndLeavesNoFolders) {
    // Every name is within the name limit, but together they pass the path limit.
    const std::string folder(250, 'f');
    std::string deep;
    for (int i = 0; i < 17; ++i)
        deep += std::string(250, 'g') + "\\";
    AddNamed(Song("1.mp3", 1000, 1), "artist-album-title", {"Short", "A", "B"});
    Add(Song("2.mp3", 1000, 2), Out(deep + "Long.mp3"));
    // Near the limit: the longest path the song and its temporary file need still fits.
    const std::size_t room = 4095 - (tmp / "out/").size();
    std::string fits;
    while (fits.size() + 251 + 41 < room)
        fits += folder + "\\";
    Add(Song("3.mp3", 1000, 3), Out(fits + "Fits.mp3"));
    Run();
    EXPECT_EQ(targets[0], Out("A\\B\\Short.mp3"));
    EXPECT_EQ(targets[1], " Copy failed: the path of the copy is too long.");
    EXPECT_EQ(targets[2], Out(fits + "Fits.mp3"));
    EXPECT_FALSE(Exists(tmp / ("out/" + std::string(250, 'g'))))
        << "no folder is made for the song that fails";
    EXPECT_THAT(Log(), HasSubstr("is too long"));
    EXPECT_EQ(Finish(), 1);
}

TEST_F(OrganisedJobTest, SongsAlreadyCopiedAreSkippedOnlyWhenTheirCopyMatches) {
    const std::size_t big = 200000;
    AddNamed(Song("same.mp3", big, 1), "artist-title", {"Same", "A", ""});
    AddNamed(Song("other.mp3", big, 2), "artist-title", {"Other", "A", ""});
    AddNamed(Song("short.mp3", big, 3), "artist-title", {"Short", "A", ""});
    AddNamed(Song("second.mp3", 5000, 4), "artist-title", {"Same", "A", ""});
    WriteFile(OutFile("A - Same.mp3"), SongBytes(big, 1));
    std::string other = SongBytes(big, 2);
    other[big - 5] ^= 0x55; // same size, other bytes in the last 64 KiB
    WriteFile(OutFile("A - Other.mp3"), other);
    WriteFile(OutFile("A - Short.mp3"), SongBytes(big - 1000, 3));
    WriteFile(OutFile("A - Same(1).mp3"), SongBytes(5000, 4));
    skipCopiedSongs = true;
    overwrite = false;
    Run();

    EXPECT_THAT(targets, ElementsAre(kAlreadyCopied, Out("A - Other(1).mp3"),
                                     Out("A - Short(1).mp3"), kAlreadyCopied));
    EXPECT_THAT(foundCopies, ElementsAre(Out("A - Same.mp3"), "", "", Out("A - Same(1).mp3")));
    EXPECT_EQ(ReadFile(OutFile("A - Other.mp3")), other);
    EXPECT_EQ(ReadFile(OutFile("A - Other(1).mp3")), SongBytes(big, 2));
    // Skipped songs send nothing; the two copied ones tell the window as ever.
    EXPECT_EQ(sink.Texts().size(), 2u);
    EXPECT_EQ(Finish(), 1);

    // Off, the same job copies every song again.
    skipCopiedSongs = false;
    targets.clear();
    sources.clear();
    AddNamed(Song("same.mp3", big, 1), "artist-title", {"Same", "A", ""});
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A - Same(2).mp3")));
}

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
    // A longer file that starts with the song (an interrupted append, another edit).
    WriteFile(OutFile("long.mp3"), SongBytes(big, 7) + "more");
    WriteFile(OutFile("other.mp3"), SongBytes(big, 8));

    UnseekablePlatform unseekable(real);
    for (IPlatform* p : std::initializer_list<IPlatform*>{&real, &unseekable}) {
        EXPECT_TRUE(SameFileAlreadyThere(*p, song, Out("same.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("tail.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("head.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("short.mp3")));
        EXPECT_FALSE(SameFileAlreadyThere(*p, song, Out("long.mp3")));
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

using PlaylistFileTest = CopyJobTest;

TEST_F(PlaylistFileTest, AWriteOrCloseThatFailsLeavesTheOldPlaylistWhole) {
    const std::string old = "#EXTM3U\nold.mp3\n";
    WriteFile(OutFile("Korvello.m3u8"), old);
    const std::string text = "#EXTM3U\n" + std::string(5000, 'x') + "\n";
    std::string error;
    for (const auto& [how, reason] :
         {std::pair{FileFailure::WriteAfter(100, ENOSPC), "No space left on device"},
          std::pair{FileFailure::AtClose(EIO), "Input/output error"}}) {
        SCOPED_TRACE(reason);
        FailingFilesPlatform failing(platform);
        failing.FailFile(Out(".Korvello.m3u8.korvello-part"), how);
        EXPECT_FALSE(WritePlaylistFile(failing, Out("Korvello.m3u8"), text, {}, error));
        EXPECT_EQ(error, reason);
        EXPECT_EQ(ReadFile(OutFile("Korvello.m3u8")), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp / "out"),
                                std::filesystem::directory_iterator()),
                  1)
            << "no temporary file is left";
    }
    EXPECT_TRUE(WritePlaylistFile(platform, Out("Korvello.m3u8"), text, {}, error)) << error;
    EXPECT_EQ(ReadFile(OutFile("Korvello.m3u8")), text);
}

} // namespace
} // namespace korvello::test
