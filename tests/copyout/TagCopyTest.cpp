// SPDX-License-Identifier: GPL-3.0-or-later
// The worker with "Write the iPod's tags into copies" on: real songs of every format get
// their records' tags in the copy, the songs on the iPod stay untouched, a file that
// cannot be tagged is copied as it is, a failed save is undone, and a second run with
// "Skip songs already copied" finds the tagged copies.

#include "CopyJobFixture.h"
#include "tags/AudioFiles.h"

#include "copyout/ResultTexts.h"
#include "platform/Text.h"
#include "tags/Tagger.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>
#include <map>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TSong Record(const std::string& title) {
    TSong song;
    song.Title = ToUtf16(title);
    song.Artist = u"Band";
    song.Album = u"Record";
    song.TrackNumber = 2;
    song.TrackCount = 9;
    song.Rating = 100;
    song.PlayCount = 4;
    return song;
}

// A tagger that spoils the file it was given and says its save failed, as a save cut
// short by a pulled cable would.
class SpoilingTagger final : public ITagger {
public:
    explicit SpoilingTagger(IPlatform& platform) : platform_(platform) {}
    TTagOutcome WriteTags(const std::string& path, const TSong&) override {
        WriteFile(platform_.ToLinuxPath(path), "half a tag");
        ++calls;
        if (alsoOnSave)
            alsoOnSave();
        return {TTagResult::Failed, "the disk went away"};
    }
    bool ReadTags(const std::string&, TSong&, std::string&) override { return false; }
    int calls = 0;
    std::function<void()> alsoOnSave;

private:
    IPlatform& platform_;
};

// Hands out each temporary copy it opens for reading with a Sync that is counted and,
// on request, fails as a disk that cannot store the data does.
class TemporarySyncPlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        std::unique_ptr<IFile> file = ForwardingPlatform::OpenRead(p, error);
        if (!file || !p.ends_with(".korvello-part"))
            return file;
        return std::make_unique<File>(*this, std::move(file));
    }
    int syncs = 0;
    bool fail = false;

private:
    class File final : public IFile {
    public:
        File(TemporarySyncPlatform& owner, std::unique_ptr<IFile> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        std::int64_t Read(void* buffer, std::int64_t count) override {
            return inner_->Read(buffer, count);
        }
        std::int64_t Write(const void* buffer, std::int64_t count) override {
            return inner_->Write(buffer, count);
        }
        std::int64_t Size() override { return inner_->Size(); }
        bool Close() override { return inner_->Close(); }
        std::error_code Error() const override {
            return failed_ ? std::make_error_code(std::errc::io_error) : inner_->Error();
        }
        bool Seek(std::int64_t offset) override { return inner_->Seek(offset); }
        bool Sync() override {
            ++owner_.syncs;
            failed_ = owner_.fail;
            return !failed_ && inner_->Sync();
        }

    private:
        TemporarySyncPlatform& owner_;
        std::unique_ptr<IFile> inner_;
        bool failed_ = false;
    };
};

class TagCopyTest : public CopyJobTest {
protected:
    void SetUp() override {
        const std::string missing = MissingAudioTools();
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }

    // A real song of the format in c:\ipod, its record, and its copy's name in c:\out.
    void AddSong(const std::string& name, const std::string& extension, int seed = 0) {
        ASSERT_TRUE(MakeSong(tmp / ("ipod/" + name), extension, seed));
        Add("c:\\ipod\\" + name, Out(name));
        songs.push_back(Record("Title of " + name));
    }

    // Every job of these tests carries the songs' records and the tag switches.
    void Configure(TCopyThread& job) override {
        job.SongList = &songs;
        job.WriteTags = &writeTags;
        job.SkipCopiedFiles = &skipCopied;
        job.Tagger = tagger;
    }

    std::vector<TSong> songs;
    std::atomic<bool> writeTags{true};
    std::atomic<bool> skipCopied{false};
    ITagger* tagger = nullptr;
};

TEST_F(TagCopyTest, CopiesGetTheirRecordsTagsAndASecondRunFindsThem) {
    for (const char* extension : kAudioExtensions)
        AddSong(std::string("song.") + extension, extension);
    std::map<std::string, std::string> originals;
    for (const char* extension : kAudioExtensions)
        originals[extension] = ReadFile(tmp / (std::string("ipod/song.") + extension));
    const std::vector<std::string> wanted = targets;

    Run();
    EXPECT_EQ(targets, wanted);
    for (const char* extension : kAudioExtensions) {
        SCOPED_TRACE(extension);
        const std::string copy = OutFile(std::string("song.") + extension);
        auto tags = ReadTagsWithMutagen(copy);
        EXPECT_EQ(tags["title"], std::string("Title of song.") + extension);
        EXPECT_EQ(tags["artist"], "Band");
        EXPECT_EQ(tags["album"], "Record");
        EXPECT_EQ(tags[std::string(extension) == "flac" ? "tracknumber" : "track"],
                  std::string(extension) == "flac" ? "2" : "2/9");
        // The iPod's song is never written.
        EXPECT_EQ(ReadFile(tmp / (std::string("ipod/song.") + extension)), originals[extension]);
        EXPECT_NE(ReadFile(copy), originals[extension]);
    }
    EXPECT_EQ(NamesIn(tmp / "out").size(), kAudioExtensions.size()) << "no temporary file left";

    // The second run takes every tagged copy for its song, with tags on or off.
    skipCopied = true;
    writeTags = false;
    targets = wanted;
    Run();
    for (const std::string& target : targets)
        EXPECT_EQ(target, kAlreadyCopied);
    EXPECT_EQ(Finish(), 1);
}

TEST_F(TagCopyTest, WithTagsOffACopyIsTheSongByteForByte) {
    writeTags = false;
    AddSong("plain.mp3", "mp3");
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("plain.mp3")));
    EXPECT_EQ(ReadFile(OutFile("plain.mp3")), ReadFile(tmp / "ipod/plain.mp3"));
}

// A file no tagger can read is still the song: copied as it is, with a note in the log.
TEST_F(TagCopyTest, AFileThatCannotBeTaggedIsCopiedUntouched) {
    const std::string damaged = "ID3\x03" + std::string("\0\0\x7f\x7f\x7f\x7f", 6) + "cut short";
    WriteFile(tmp / "ipod/damaged.mp3", damaged);
    Add("c:\\ipod\\damaged.mp3", Out("damaged.mp3"));
    songs.push_back(Record("Damaged"));
    AddSong("fine.mp3", "mp3");
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("damaged.mp3"), Out("fine.mp3")));
    EXPECT_EQ(ReadFile(OutFile("damaged.mp3")), damaged);
    EXPECT_EQ(ReadTagsWithMutagen(OutFile("fine.mp3"))["title"], "Title of fine.mp3");
    EXPECT_THAT(Log(),
                HasSubstr("Execute:tags not written into the copy of c:\\ipod\\damaged.mp3"));
}

// A save that went wrong part way leaves a copy that cannot be trusted: the song is
// copied afresh, untagged, and the log says so.
TEST_F(TagCopyTest, AFailedSaveIsReplacedByAFreshCopy) {
    SpoilingTagger spoiling(real);
    tagger = &spoiling;
    AddSong("a.mp3", "mp3");
    AddSong("b.flac", "flac");
    Run();
    EXPECT_EQ(spoiling.calls, 2);
    EXPECT_THAT(targets, ElementsAre(Out("a.mp3"), Out("b.flac")));
    EXPECT_EQ(ReadFile(OutFile("a.mp3")), ReadFile(tmp / "ipod/a.mp3"));
    EXPECT_EQ(ReadFile(OutFile("b.flac")), ReadFile(tmp / "ipod/b.flac"));
    EXPECT_THAT(Log(), HasSubstr("the disk went away"));
    EXPECT_EQ(NamesIn(tmp / "out").size(), 2u) << "no temporary file left";
}

// The fresh copy after a failed save is the song whole or nothing: a song on the iPod that
// changed since its first copy fails, and neither half is left.
TEST_F(TagCopyTest, AFreshCopyOfASongThatChangedMeanwhileFailsThatSong) {
    SpoilingTagger spoiling(real);
    int saves = 0;
    spoiling.alsoOnSave = [&] {
        if (saves++ == 0)
            WriteFile(tmp / "ipod/a.mp3", ReadFile(tmp / "ipod/a.mp3").substr(0, 1000));
    };
    tagger = &spoiling;
    AddSong("a.mp3", "mp3");
    AddSong("b.mp3", "mp3", 1);
    Run();
    EXPECT_THAT(targets,
                ElementsAre(" Copy failed: the song changed while it was copied.", Out("b.mp3")));
    EXPECT_FALSE(Exists(OutFile("a.mp3")));
    EXPECT_EQ(ReadFile(OutFile("b.mp3")), ReadFile(tmp / "ipod/b.mp3"));
    EXPECT_EQ(NamesIn(tmp / "out").size(), 1u) << "no temporary file left";
}

// A copy that replaces an older file is on the disk with its tags before the old file
// goes; when the disk cannot store it, the old file stays and the song fails.
TEST_F(TagCopyTest, AReplacingCopyIsStoredWithItsTagsBeforeTheOldFileGoes) {
    overwrite = true;
    AddSong("song.mp3", "mp3");
    WriteFile(OutFile("song.mp3"), "an older copy");
    Backdate(OutFile("song.mp3"));
    TemporarySyncPlatform syncing(platform);
    syncing.fail = true;
    Run(&syncing);
    EXPECT_EQ(syncing.syncs, 1);
    EXPECT_THAT(targets, ElementsAre(" Copy failed: Input/output error."));
    EXPECT_TRUE(ReadFile(OutFile("song.mp3")) == "an older copy") << "the old file stays";
    EXPECT_EQ(NamesIn(tmp / "out").size(), 1u) << "no temporary file left";

    syncing.fail = false;
    syncing.syncs = 0;
    targets = {Out("song.mp3")};
    Run(&syncing);
    EXPECT_EQ(syncing.syncs, 1);
    EXPECT_THAT(targets, ElementsAre(Out("song.mp3")));
    EXPECT_EQ(ReadTagsWithMutagen(OutFile("song.mp3"))["title"], "Title of song.mp3");
}

// Entries past the end of the record list, and a list left out, copy without tags.
TEST_F(TagCopyTest, EntriesWithoutARecordAreCopiedAsTheyAre) {
    AddSong("tagged.mp3", "mp3");
    AddSong("untagged.mp3", "mp3", 1);
    songs.resize(1);
    Run();
    EXPECT_EQ(ReadTagsWithMutagen(OutFile("tagged.mp3"))["title"], "Title of tagged.mp3");
    EXPECT_EQ(ReadFile(OutFile("untagged.mp3")), ReadFile(tmp / "ipod/untagged.mp3"));
}

} // namespace
} // namespace korvello::test
