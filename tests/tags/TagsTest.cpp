// SPDX-License-Identifier: GPL-3.0-or-later
// The tagger on real song files of every format it tags, read back by mutagen; the audio
// part of every file compared byte for byte and decoded; damaged files left alone.

#include "tags/AudioFiles.h"

#include "copyout/AlreadyCopied.h"
#include "platform/posix/PosixPlatform.h"
#include "support/MachineFixture.h"
#include "tags/AudioPart.h"
#include "tags/Tagger.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include <sys/mount.h>

namespace korvello::test {
namespace {

TSong FullSong() {
    TSong song;
    song.Title = u"Für Elise – live";
    song.Artist = u"The Artist";
    song.Album = u"An Album";
    song.AlbumArtist = u"Various Artists";
    song.Genre = u"Classical";
    song.Composer = u"Beethoven";
    song.Comment = u"from the iPod";
    song.Grouping = u"Bagatelles";
    song.Year = 1810;
    song.TrackNumber = 3;
    song.TrackCount = 12;
    song.DiscNumber = 1;
    song.DiscCount = 2;
    song.Compilation = true;
    song.Rating = 80;
    song.PlayCount = 17;
    return song;
}

class TagsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string missing = MissingAudioTools();
        if (!missing.empty())
            GTEST_SKIP() << missing;
        MakeDirs(machine.root + "/music");
        tagger = MakeTagLibTagger(*machine.platform);
    }

    // A fresh song of the format in c:\music, with its Linux and program paths.
    struct Song {
        std::string path, program;
    };
    Song Make(const std::string& extension, const std::string& name = "song", int seed = 0) {
        Song song{machine.root + "/music/" + name + "." + extension,
                  "c:\\music\\" + name + "." + extension};
        EXPECT_TRUE(MakeSong(song.path, extension, seed)) << extension;
        return song;
    }
    std::string CopyOf(const Song& song, const std::string& name) {
        const std::string copy = machine.root + "/music/" + name;
        WriteFile(copy, ReadFile(song.path));
        return copy;
    }
    std::string AudioBytes(const std::string& linuxPath) {
        std::string error;
        const auto file =
            machine.platform->OpenRead(machine.platform->ToProgramPath(linuxPath), error);
        const auto part = file ? FindAudioPart(*file) : std::nullopt;
        if (!part)
            return {};
        return ReadFile(linuxPath).substr(static_cast<std::size_t>(part->offset),
                                          static_cast<std::size_t>(part->length));
    }

    MachineFixture machine;
    std::unique_ptr<ITagger> tagger;
};

// A song without tags gets every field of the record; its audio stays byte for byte the
// same, decodes to the same samples, and the copy is still recognised as the song's.
TEST_F(TagsTest, AFileWithoutTagsGetsTheRecordsTagsAndKeepsItsAudio) {
    for (const char* extension : kAudioExtensions) {
        SCOPED_TRACE(extension);
        const Song original = Make(extension);
        const std::string copy = CopyOf(original, std::string("copy.") + extension);
        const std::string copyProgram = machine.platform->ToProgramPath(copy);

        const TTagOutcome outcome = tagger->WriteTags(copyProgram, FullSong());
        ASSERT_EQ(outcome.result, TTagResult::Written) << outcome.detail;
        ASSERT_NE(ReadFile(copy), ReadFile(original.path));

        auto tags = ReadTagsWithMutagen(copy);
        EXPECT_EQ(tags["title"], "Für Elise – live");
        EXPECT_EQ(tags["artist"], "The Artist");
        EXPECT_EQ(tags["album"], "An Album");
        EXPECT_EQ(tags["albumartist"], "Various Artists");
        EXPECT_EQ(tags["genre"], "Classical");
        EXPECT_EQ(tags["composer"], "Beethoven");
        EXPECT_EQ(tags["comment"], "from the iPod");
        EXPECT_EQ(tags["grouping"], "Bagatelles");
        EXPECT_EQ(tags["date"], "1810");
        EXPECT_EQ(tags["compilation"], "1");
        if (std::string(extension) == "flac") {
            EXPECT_EQ(tags["tracknumber"], "3");
            EXPECT_EQ(tags["tracktotal"], "12");
            EXPECT_EQ(tags["discnumber"], "1");
            EXPECT_EQ(tags["disctotal"], "2");
            EXPECT_EQ(tags["fmps_rating"], "0.8");
            EXPECT_EQ(tags["fmps_playcount"], "17");
        } else {
            EXPECT_EQ(tags["track"], "3/12");
            EXPECT_EQ(tags["disc"], "1/2");
        }
        if (std::string(extension) == "mp3" || std::string(extension) == "wav" ||
            std::string(extension) == "aiff") {
            // Four stars on Windows Media Player's scale, and the play count twice.
            EXPECT_EQ(tags["popm:Windows Media Player 9 Series"], "196/17");
            EXPECT_EQ(tags["pcnt"], "17");
            EXPECT_EQ(tags["id3version"], "2.3");
        }

        const std::string audio = AudioBytes(original.path);
        ASSERT_FALSE(audio.empty());
        EXPECT_EQ(AudioBytes(copy), audio);
        if (std::string(extension) != "m4a") {
            const std::string samples = DecodedSamples(original.path, extension);
            ASSERT_FALSE(samples.empty());
            EXPECT_EQ(DecodedSamples(copy, extension), samples);
        }
        EXPECT_TRUE(SameAudioAlreadyThere(*machine.platform, original.program, copyProgram));
        EXPECT_TRUE(SameFileAlreadyThere(*machine.platform, original.program, copyProgram));

        // The tagger reads back what it wrote, and the stream's own properties.
        TSong read;
        std::string error;
        ASSERT_TRUE(tagger->ReadTags(copyProgram, read, error)) << error;
        EXPECT_EQ(read.Title, u"Für Elise – live");
        EXPECT_EQ(read.AlbumArtist, u"Various Artists");
        EXPECT_EQ(read.Grouping, u"Bagatelles");
        EXPECT_EQ(read.Year, 1810);
        EXPECT_EQ(read.TrackNumber, 3);
        EXPECT_EQ(read.TrackCount, 12);
        EXPECT_EQ(read.DiscNumber, 1);
        EXPECT_EQ(read.DiscCount, 2);
        EXPECT_TRUE(read.Compilation);
        // 0.4 s of sound; the M4A holds ten frames of 1024 samples at 44.1 kHz.
        EXPECT_NEAR(read.Duration, std::string(extension) == "m4a" ? 232 : 400, 80);
        EXPECT_GT(read.SampleRate, 0);
        EXPECT_FALSE(read.FileType.empty());
    }
}

// Fields the file has are kept as they are, empty ones are filled, and a track number
// without its count gets the count.
TEST_F(TagsTest, TagsTheFileHasAreKeptAndOnlyTheMissingOnesFilled) {
    for (const char* extension : {"mp3", "flac", "m4a"}) {
        SCOPED_TRACE(extension);
        const Song song = Make(extension);
        ASSERT_TRUE(SetTagsWithMutagen(song.path, "'title=Own Title' tracknumber=5 'genre= '"));
        const std::string before = AudioBytes(song.path);

        ASSERT_EQ(tagger->WriteTags(song.program, FullSong()).result, TTagResult::Written);

        auto tags = ReadTagsWithMutagen(song.path);
        EXPECT_EQ(tags["title"], "Own Title");
        EXPECT_EQ(tags["artist"], "The Artist");
        EXPECT_EQ(tags["genre"], "Classical"); // blank counts as empty
        if (std::string(extension) == "flac") {
            EXPECT_EQ(tags["tracknumber"], "5");
            EXPECT_EQ(tags["tracktotal"], "12");
        } else {
            EXPECT_EQ(tags["track"], "5/12");
        }
        EXPECT_EQ(AudioBytes(song.path), before);
    }
}

// A file that holds every field already is not written at all; a record with nothing to
// give changes nothing either.
TEST_F(TagsTest, NothingToAddLeavesTheFileAsItWas) {
    const Song song = Make("mp3");
    ASSERT_EQ(tagger->WriteTags(song.program, FullSong()).result, TTagResult::Written);
    const std::string tagged = ReadFile(song.path);
    TSong other = FullSong();
    other.Title = u"Another Title";
    other.Rating = 20;
    other.PlayCount = 3;
    EXPECT_EQ(tagger->WriteTags(song.program, other).result, TTagResult::Unchanged);
    EXPECT_EQ(ReadFile(song.path), tagged);
    EXPECT_EQ(ReadTagsWithMutagen(song.path)["title"], "Für Elise – live");

    const Song bare = Make("flac", "bare");
    const std::string content = ReadFile(bare.path);
    EXPECT_EQ(tagger->WriteTags(bare.program, TSong{}).result, TTagResult::Unchanged);
    EXPECT_EQ(ReadFile(bare.path), content);
}

// MPEG audio frames (128 kbit/s, 44.1 kHz: 417 bytes each) of random content, `bytes` long.
std::string MpegFrames(std::size_t bytes) {
    std::mt19937 random(7);
    std::string data(bytes, '\0');
    for (char& c : data)
        c = static_cast<char>(random() & 0xFF);
    for (std::size_t at = 0; at + 4 <= bytes; at += 417)
        data.replace(at, 4, "\xFF\xFB\x90\x64");
    return data;
}

// A tag that grows in front of megabytes of audio moves all of it back, and one that
// shrinks (an old tag with 2 MiB of padding, more than a tag keeps) moves it forward;
// either way the audio arrives whole and in order.
TEST_F(TagsTest, ATagThatGrowsOrShrinksMovesTheWholeAudioIntact) {
    const std::string audio = MpegFrames(3 * 1024 * 1024 + 1234);
    const std::string plain = machine.root + "/music/plain.mp3";
    WriteFile(plain, audio);
    const std::size_t padding = 2 * 1024 * 1024 + 77;
    std::string header = "ID3\x03";
    header += std::string(2, '\0');
    for (int shift : {21, 14, 7, 0})
        header += static_cast<char>((padding >> shift) & 0x7F);
    const std::string padded = machine.root + "/music/padded.mp3";
    WriteFile(padded, header + std::string(padding, '\0') + audio);

    for (const std::string& path : {plain, padded}) {
        SCOPED_TRACE(path);
        const std::size_t before = ReadFile(path).size();
        const TTagOutcome outcome =
            tagger->WriteTags(machine.platform->ToProgramPath(path), FullSong());
        ASSERT_EQ(outcome.result, TTagResult::Written) << outcome.detail;
        const std::string after = ReadFile(path);
        EXPECT_TRUE(AudioBytes(path) == audio) << "the audio moved whole";
        EXPECT_TRUE(after.ends_with(audio));
        EXPECT_EQ(ReadTagsWithMutagen(path)["title"], "Für Elise – live");
        if (path == padded)
            EXPECT_LT(after.size(), before - 1024 * 1024) << "the padding went";
        else
            EXPECT_GT(after.size(), before);
    }
}

// A file that is no song, a damaged one, and a format that is not tagged are all left
// byte for byte as they were, with a reason; reading them fails the same way.
TEST_F(TagsTest, FilesThatCannotBeTaggedAreLeftUntouched) {
    const Song mp3 = Make("mp3");
    const std::string whole = ReadFile(mp3.path);
    std::map<std::string, std::string> files = {
        {"text.mp3", "just some text, no audio at all, but named like a song"},
        {"cut.m4a", ReadFile(Make("m4a", "full").path).substr(0, 300)},
        {"empty.flac", ""},
        {"badtag.mp3", "ID3\x03" + std::string("\0\0\x7f\x7f\x7f\x7f", 6) + whole.substr(0, 500)},
        {"headless.flac", "fLaC" + std::string(2000, '\xff')},
        {"song.ogg", "OggS" + std::string(4000, '\0')},
    };
    for (const auto& [name, content] : files) {
        SCOPED_TRACE(name);
        const std::string path = machine.root + "/music/" + name;
        WriteFile(path, content);
        const TTagOutcome outcome = tagger->WriteTags("c:\\music\\" + name, FullSong());
        EXPECT_EQ(outcome.result, TTagResult::NotTagged);
        EXPECT_FALSE(outcome.detail.empty());
        EXPECT_EQ(ReadFile(path), content);
        TSong read;
        read.Title = u"kept";
        std::string error;
        EXPECT_FALSE(tagger->ReadTags("c:\\music\\" + name, read, error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(read.Title, u"kept");
    }
}

// Two songs of the same format and length but other audio are not taken for each other,
// with or without tags.
TEST_F(TagsTest, OtherAudioOfTheSameLengthIsNotTheSameSong) {
    for (const char* extension : {"mp3", "wav", "flac"}) {
        SCOPED_TRACE(extension);
        const Song one = Make(extension, "one", 1);
        const Song two = Make(extension, "two", 2);
        ASSERT_EQ(tagger->WriteTags(two.program, FullSong()).result, TTagResult::Written);
        EXPECT_FALSE(SameAudioAlreadyThere(*machine.platform, one.program, two.program));
        EXPECT_TRUE(SameAudioAlreadyThere(*machine.platform, one.program, one.program));
    }
}

// A save that runs out of room cuts the file short without TagLib noticing; the tagger
// notices, as the audio part is no longer what it was, and says the file is not to be kept.
TEST_F(TagsTest, ASaveOnAFullDiskIsReportedAsFailed) {
    const Song song = Make("mp3");
    const std::string folder = machine.root + "/full";
    MakeDirs(folder);
    if (::mount("korvello-test", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount {
        std::string folder;
        ~Unmount() { ::umount2(folder.c_str(), MNT_DETACH); }
    } unmount{folder};
    WriteFile(folder + "/song.mp3", ReadFile(song.path));
    // Whatever room is left goes to another file.
    std::FILE* filler = std::fopen((folder + "/filler").c_str(), "w");
    ASSERT_NE(filler, nullptr);
    while (std::fputc('f', filler) != EOF && std::fflush(filler) == 0) {
    }
    std::fclose(filler);

    const TTagOutcome outcome = tagger->WriteTags("c:\\full\\song.mp3", FullSong());
    EXPECT_EQ(outcome.result, TTagResult::Failed);
    EXPECT_FALSE(outcome.detail.empty());
}

TEST(PopmRatingTest, StarsFollowWindowsMediaPlayersScale) {
    EXPECT_EQ(PopmRating(0), 0);
    EXPECT_EQ(PopmRating(-5), 0);
    EXPECT_EQ(PopmRating(20), 1);
    EXPECT_EQ(PopmRating(40), 64);
    EXPECT_EQ(PopmRating(50), 128); // a half star counts up
    EXPECT_EQ(PopmRating(60), 128);
    EXPECT_EQ(PopmRating(80), 196);
    EXPECT_EQ(PopmRating(100), 255);
    EXPECT_EQ(PopmRating(250), 255);
}

} // namespace
} // namespace korvello::test
