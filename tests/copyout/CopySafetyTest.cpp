// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy job must never do to the user's files: put two songs into one file on a
// drive that ignores letter case, let two jobs replace the same file, leave temporary
// files of killed jobs for ever, report songs copied that the disk did not store, follow
// a link out of the chosen folder, or leave empty folders behind. On a case-blind fake of
// the platform, on the test machine's own disk, and on a real FAT file system (fusefat).

#include "CopyJobFixture.h"

#include "copyout/JobSummary.h"
#include "copyout/Playlist.h"
#include "support/FatMount.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>

#include <sys/time.h>
#include <unistd.h>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// A drive that ignores letter case, as FAT, exFAT and NTFS do: every name finds a file
// stored under another spelling. It can also number a file afresh for each spelling (as
// fusefat does, having no inode numbers of its own) and keep no useful times (a stick
// whose clock says 1980), so that only the identity and the exact name protect a song.
class CaseBlindPlatform final : public ForwardingPlatform {
public:
    CaseBlindPlatform(IPlatform& inner, bool numberPerSpelling)
        : ForwardingPlatform(inner), numberPerSpelling_(numberPerSpelling) {}

    NameInfo StatName(const std::string& p) override {
        const std::string stored = Stored(p);
        NameInfo info = ForwardingPlatform::StatName(stored);
        info.modifiedNs = 315532800LL * 1'000'000'000; // 1980-01-01
        if (numberPerSpelling_ && stored != p && info.kind == NameKind::File)
            info.inode ^= std::hash<std::string>{}(p) | 1;
        return info;
    }
    std::optional<std::int64_t> FindFile(const std::string& p) override {
        return ForwardingPlatform::FindFile(Stored(p));
    }
    std::unique_ptr<IFile> OpenRead(const std::string& p, std::string& error) override {
        return ForwardingPlatform::OpenRead(Stored(p), error);
    }
    std::unique_ptr<IFile> CreateNew(const std::string& p, std::string& error,
                                     bool& taken) override {
        if (Stored(p) != p) {
            taken = true;
            error = "File exists";
            return nullptr;
        }
        return ForwardingPlatform::CreateNew(p, error, taken);
    }
    RenameResult RenameFile(const std::string& from, const std::string& to, bool replace,
                            std::string& error) override {
        const std::string stored = Stored(to);
        if (!replace && stored != to) {
            error = "File exists";
            return RenameResult::NameTaken;
        }
        return ForwardingPlatform::RenameFile(from, stored, replace, error);
    }
    RenameResult ReplaceFile(const std::string& from, const std::string& to,
                             const NameInfo& replacing, std::string& error) override {
        return ForwardingPlatform::ReplaceFile(from, Stored(to), replacing, error);
    }
    bool DeleteFile(const std::string& p) override {
        return ForwardingPlatform::DeleteFile(Stored(p));
    }

private:
    // The name the drive finds for `p`: the exact one when stored so, else the first that
    // differs only in letter case, else `p` itself.
    std::string Stored(const std::string& p) {
        const std::size_t slash = p.rfind('\\');
        const std::string folder = p.substr(0, slash);
        const std::string name = p.substr(slash + 1);
        const auto names = ForwardingPlatform::ListFolder(folder);
        if (!names || std::find(names->begin(), names->end(), name) != names->end())
            return p;
        for (const std::string& other : *names)
            if (Lower(other) == Lower(name))
                return folder + "\\" + other;
        return p;
    }

    bool numberPerSpelling_;
};

using CopySafety = CopyJobTest;

TEST_F(CopySafety, TitlesDifferingInLetterCaseEachGetAFileOfTheirOwnOnACaseBlindDrive) {
    for (const bool numberPerSpelling : {false, true}) {
        for (const bool over : {true, false}) {
            SCOPED_TRACE(std::string(numberPerSpelling ? "numbered per spelling" : "one inode") +
                         (over ? ", overwriting" : ", keeping"));
            std::filesystem::remove_all(tmp / "out");
            MakeDirs(tmp / "out");
            // The user's own older file of a third spelling stays too.
            WriteFile(OutFile("hOME.mp3"), "the user's older song");
            sources.clear();
            targets.clear();
            Add(Song("1.mp3", 5000, 1), Out("Home.mp3"));
            Add(Song("2.mp3", 5000, 2), Out("HOME.mp3"));
            Add(Song("3.mp3", 5000, 3), Out("home.mp3"));
            Add(Song("4.mp3", 5000, 4), Out("Home.mp3"));
            overwrite = over;
            CaseBlindPlatform blind(platform, numberPerSpelling);
            Run(&blind);
            std::set<std::string> distinct;
            for (std::size_t i = 0; i < targets.size(); ++i) {
                ASSERT_TRUE(targets[i].starts_with("c:\\out\\")) << targets[i];
                distinct.insert(Lower(targets[i]));
                EXPECT_EQ(ReadFile(OutFile(targets[i].substr(7))),
                          SongBytes(5000, static_cast<int>(i) + 1))
                    << targets[i];
            }
            EXPECT_EQ(distinct.size(), 4u) << "every song its own file";
            EXPECT_EQ(ReadFile(OutFile("hOME.mp3")), "the user's older song");
            EXPECT_EQ(NamesIn(tmp / "out").size(), 5u);
        }
    }
}

TEST_F(CopySafety, OnlyTheFileCheckedIsReplacedWhenTwoJobsWantIt) {
    // Both jobs find the user's older X.mp3 and are to replace it; job A is held between
    // its decision and its rename until job B has finished. B's song replaces the old
    // file; A finds another file there and takes X(1).mp3. Both are reported where they
    // are, and neither is lost.
    overwrite = true;
    WriteFile(OutFile("X.mp3"), "the user's older song");
    Backdate(OutFile("X.mp3"));
    Add(Song("A.mp3", 9000, 1), Out("X.mp3"));

    RecordingSink sinkB;
    std::vector<std::string> sourcesB{Song("B.mp3", 7000, 2)}, targetsB{Out("X.mp3")};
    PosixPlatform plainB(real.Roots());
    TCopyThread jobB(plainB, sinkB, overwrite);
    jobB.SourceList = &sourcesB;
    jobB.TargetList = &targetsB;

    PosixRoots rootsA = real.Roots();
    bool held = false;
    rootsA.placeStep = [&](std::string_view step) {
        if (step != "claim" || held)
            return;
        held = true;
        jobB.Start();
        for (int i = 0; i < 20000 && !jobB.Finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    PosixPlatform hookedA(std::move(rootsA));
    Run(&hookedA);
    ASSERT_TRUE(held);
    ASSERT_TRUE(jobB.Finished());
    EXPECT_THAT(targetsB, ElementsAre(Out("X.mp3")));
    EXPECT_THAT(targets, ElementsAre(Out("X(1).mp3")));
    EXPECT_EQ(ReadFile(OutFile("X.mp3")), SongBytes(7000, 2));
    EXPECT_EQ(ReadFile(OutFile("X(1).mp3")), SongBytes(9000, 1));
    EXPECT_EQ(NamesIn(tmp / "out"), (std::set<std::string>{"X.mp3", "X(1).mp3"}));
}

TEST_F(CopySafety, LeftoversOfKilledJobsGoAndARunningJobsFileStays) {
    WriteFile(OutFile(".Old.mp3.korvello-part"), "half a song of a killed job");
    WriteFile(OutFile(".Old.mp3.korvello-claim"), "");
    WriteFile(OutFile(".Young.mp3.korvello-part"), "just begun, not yet locked");
    WriteFile(OutFile(".notes.txt"), "the user's hidden file");
    std::string error;
    bool taken = false;
    auto live = real.CreateNew(Out(".Live.mp3.korvello-part"), error, taken);
    ASSERT_TRUE(live) << error;
    for (const char* name : {".Old.mp3.korvello-part", ".Old.mp3.korvello-claim",
                             ".Live.mp3.korvello-part", ".notes.txt"})
        Backdate(OutFile(name));
    Add(Song("S.mp3", 3000, 1), Out("S.mp3"));
    Run();
    EXPECT_EQ(worker->LeftoversRemoved(), 2);
    EXPECT_EQ(NamesIn(tmp / "out"),
              (std::set<std::string>{".Live.mp3.korvello-part", ".Young.mp3.korvello-part",
                                     ".notes.txt", "S.mp3"}));
    EXPECT_EQ(LeftoversText(2), "2 leftover temporary files removed");
    EXPECT_EQ(LeftoversText(1), "1 leftover temporary file removed");
    EXPECT_EQ(LeftoversText(0), "");
}

// Counts the volume syncs and fails them on request, as a stick pulled before the end.
class SyncPlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    bool SyncVolume(const std::string& p, std::string& error) override {
        ++syncs;
        if (fail) {
            error = "Input/output error";
            return false;
        }
        return ForwardingPlatform::SyncVolume(p, error);
    }
    int syncs = 0;
    bool fail = false;
};

TEST_F(CopySafety, TheDiskIsSyncedBeforeTheEndAndAFailedSyncIsReported) {
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    Add("c:\\ipod\\missing.mp3", Out("C.mp3"));
    SyncPlatform syncing(platform);
    syncing.fail = true;
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESSFINISH) {
            EXPECT_EQ(syncing.syncs, 1) << "one volume, synced before the end is told";
        }
    };
    Run(&syncing);
    const std::string lost = " Copy failed: the disk did not store the copy (Input/output error).";
    EXPECT_THAT(targets, ElementsAre(lost, lost, kSongNotFound));
    EXPECT_THAT(Log(), HasSubstr("Execute:cannot store the copies on the disk of"));
}

// Refuses to make one folder, as a drive that is full or refuses the name would.
class FolderRefusingPlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    bool CreateDirectory(const std::string& p, std::string& error) override {
        if (p == refused) {
            error = "No space left on device";
            return false;
        }
        return ForwardingPlatform::CreateDirectory(p, error);
    }
    std::string refused;
};

TEST_F(CopySafety, ASongThatFailsLeavesNoEmptyFoldersBehind) {
    organisedInto = "c:\\out";
    MakeDirs(tmp / "out/Kept");
    Add(Song("A.mp3", 3000, 1), "c:\\out\\Kept\\B\\C\\A.mp3");
    Add(Song("S.mp3", 3000, 2), "c:\\out\\Kept\\D\\S.mp3");
    FolderRefusingPlatform refusing(platform);
    refusing.refused = "c:\\out\\Kept\\B\\C";
    platform.RefuseName("c:\\out\\Kept\\D\\.S.mp3.korvello-part");
    Run(&refusing);
    EXPECT_THAT(targets, ElementsAre(" Copy failed: No space left on device.",
                                     " Copy failed: Invalid argument."));
    EXPECT_EQ(NamesIn(tmp / "out"), std::set<std::string>{"Kept"});
    EXPECT_TRUE(NamesIn(tmp / "out/Kept").empty()) << "the folder that was there stays";
}

TEST_F(CopySafety, SkippingCopiedSongsLooksOnlyInsideTheChosenFolder) {
    // The artist folder is a link to another place that holds the same song: that copy is
    // outside the chosen folder, so the song is neither found there nor written there.
    organisedInto = "c:\\out";
    skipCopiedSongs = true;
    WriteFile(tmp / "elsewhere/Song.mp3", SongBytes(4000, 1));
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), (tmp / "out/Artist").c_str()), 0);
    Add(Song("Song.mp3", 4000, 1), "c:\\out\\Artist\\Song.mp3");
    Run();
    EXPECT_THAT(targets,
                ElementsAre(" Copy failed: the file name leads out of the chosen folder."));
    EXPECT_THAT(foundCopies, ElementsAre(""));
    EXPECT_EQ(NamesIn(tmp / "elsewhere"), std::set<std::string>{"Song.mp3"});
    EXPECT_TRUE(PlaylistOfJob(real, {"Song"}, {}, targets, foundCopies).empty());

    // A real artist folder with the copy in it is found as before.
    std::filesystem::remove(tmp / "out/Artist");
    WriteFile(tmp / "out/Artist/Song.mp3", SongBytes(4000, 1));
    targets = {"c:\\out\\Artist\\Song.mp3"};
    Run();
    EXPECT_THAT(targets, ElementsAre(kAlreadyCopied));
    EXPECT_THAT(foundCopies, ElementsAre("c:\\out\\Artist\\Song.mp3"));
}

TEST_F(CopySafety, APlaylistReplacesOnlyAnEarlierPlaylist) {
    overwrite = false;
    Add(Song("Home.mp3", 3000, 1), Out("Home.mp3"));
    Run();
    ASSERT_THAT(targets, ElementsAre(Out("Home.mp3")));
    const std::string text = "#EXTM3U\n#EXTINF:-1,Home\nHome.mp3\n";
    std::string error;
    // The song this job wrote, under its own name or another spelling of it.
    EXPECT_FALSE(WritePlaylistFile(real, Out("Home.mp3"), text, targets, error));
    EXPECT_EQ(error, "it is a song this copy wrote");
    CaseBlindPlatform blind(platform, /*numberPerSpelling=*/false);
    EXPECT_FALSE(WritePlaylistFile(blind, Out("HOME.mp3"), text, targets, error));
    EXPECT_EQ(ReadFile(OutFile("Home.mp3")), SongBytes(3000, 1));
    // Any other file that is no playlist.
    WriteFile(OutFile("notes.txt"), "the user's notes");
    EXPECT_FALSE(WritePlaylistFile(real, Out("notes.txt"), text, targets, error));
    EXPECT_THAT(error, HasSubstr("not a playlist"));
    EXPECT_EQ(ReadFile(OutFile("notes.txt")), "the user's notes");
    MakeDirs(tmp / "out/Folder.m3u8");
    EXPECT_FALSE(WritePlaylistFile(real, Out("Folder.m3u8"), text, targets, error));
    // An earlier playlist, with a byte-order mark or without, is replaced; a new name is
    // simply written.
    for (const char* earlier : {"#EXTM3U\nold.mp3\n", "\xEF\xBB\xBF#EXTM3U\nold.mp3\n"}) {
        WriteFile(OutFile("Korvello.m3u8"), earlier);
        EXPECT_TRUE(WritePlaylistFile(real, Out("Korvello.m3u8"), text, targets, error)) << error;
        EXPECT_EQ(ReadFile(OutFile("Korvello.m3u8")), text);
    }
    EXPECT_TRUE(WritePlaylistFile(real, Out("New.m3u8"), text, targets, error)) << error;
    EXPECT_EQ(NamesIn(tmp / "out"),
              (std::set<std::string>{"Folder.m3u8", "Home.mp3", "Korvello.m3u8", "New.m3u8",
                                     "notes.txt"}));
}

// The same job on a real FAT32 file system, where the names fold case, times are kept to
// two seconds and the fallbacks of the renames run for real.
TEST_F(CopySafety, OnARealFatDriveEverySongIsItsOwnWholeFile) {
    FatMount fat(tmp, tmp / "out");
    if (!fat.Mounted())
        GTEST_SKIP() << "no FAT file system: " << fat.Reason();
    for (const bool over : {true, false}) {
        SCOPED_TRACE(over ? "overwriting" : "keeping");
        for (const std::string& name : NamesIn(tmp / "out"))
            std::filesystem::remove(tmp / ("out/" + name));
        sources.clear();
        targets.clear();
        Add(Song("1.mp3", 70000, 1), Out("Home.mp3"));
        Add(Song("2.mp3", 70000, 2), Out("HOME.mp3"));
        Add(Song("3.mp3", 70000, 3), Out("home.mp3"));
        Add(Song("4.mp3", 70000, 4), Out("Home.mp3"));
        overwrite = over;
        Run();
        std::set<std::string> distinct;
        for (std::size_t i = 0; i < targets.size(); ++i) {
            ASSERT_TRUE(targets[i].starts_with("c:\\out\\")) << targets[i];
            distinct.insert(Lower(targets[i]));
            EXPECT_EQ(ReadFile(OutFile(targets[i].substr(7))),
                      SongBytes(70000, static_cast<int>(i) + 1))
                << targets[i];
        }
        EXPECT_EQ(distinct.size(), 4u);
        EXPECT_EQ(NamesIn(tmp / "out").size(), 4u) << "no temporary file or claim is left";
        EXPECT_EQ(Finish(), 1);
    }
}

} // namespace
} // namespace korvello::test
