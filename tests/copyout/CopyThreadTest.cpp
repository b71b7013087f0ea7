// The copy worker against real files: what each entry ends up as, which messages the
// window sees, and what stays on disk when a job is stopped, runs out of room or fails.
#include "CopyJobFixture.h"

#include "copyout/Naming.h"

#include <gmock/gmock.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// ---- Progress arithmetic -----------------------------------------------------------------

TEST(ProgressPosition, RunsToAboutTheBarMaximumOverAWholeJob) {
    EXPECT_EQ(ProgressPosition(2048, 4096), 225);
    EXPECT_EQ(ProgressPosition(4096, 4096), 450);
    EXPECT_EQ(ProgressPosition(1, 4096), 0);
    // An empty job is complete at once instead of dividing by zero.
    EXPECT_EQ(ProgressPosition(2048, 0), 450);
    EXPECT_EQ(ProgressPosition(0, -5), 450);
}

TEST(ProgressPosition, HandlesSongsOfSeveralGigabytes) {
    const std::int64_t total = 3LL * 1024 * 1024 * 1024 + 12345; // a 3 GiB song
    const std::int64_t passes = total / kCopyBlockSize + 2;      // incl. the empty read
    std::int32_t last = 0;
    int changes = 0;
    for (std::int64_t pass = 1; pass <= passes; ++pass) {
        const std::int32_t position = ProgressPosition(pass * kCopyBlockSize, total);
        ASSERT_GE(position, last);
        changes += position != last ? 1 : 0;
        last = position;
    }
    EXPECT_EQ(last, 450);
    EXPECT_EQ(changes, 450);
    // Far beyond any collection, the product still does not overflow.
    EXPECT_EQ(ProgressPosition(INT64_MAX / 2, INT64_MAX / 4), 900);
}

// ---- Jobs that run to their end ----------------------------------------------------------

TEST_F(CopyJobTest, EmptyJobFinishesAtOnceWithoutOpeningAnything) {
    Run();
    ASSERT_THAT(sink.Messages(), ::testing::SizeIs(1));
    EXPECT_EQ(sink.Messages()[0].msg, CM_PROGRESSFINISH);
    EXPECT_EQ(sink.Messages()[0].wParam, 1);
    EXPECT_EQ(sink.Messages()[0].lParam, 1);
    EXPECT_EQ(platform.Opens(), 0);
    EXPECT_EQ(worker->CurrentTarget(), "");
}

TEST_F(CopyJobTest, CopiesEveryEntryAndTellsTheWindowInOrder) {
    Add(Song("A.mp3", 5000, 1), Out("First.mp3"));
    Add(Song("B.mp3", 0, 2), Out("Empty.mp3"));
    Add(Song("C.m4a", 600000, 3), Out("Third.m4a"));
    Run();

    EXPECT_THAT(targets, ElementsAre(Out("First.mp3"), Out("Empty.mp3"), Out("Third.m4a")));
    EXPECT_EQ(ReadFile(OutFile("First.mp3")), SongBytes(5000, 1));
    EXPECT_TRUE(Exists(OutFile("Empty.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Empty.mp3")), "");
    EXPECT_EQ(ReadFile(OutFile("Third.m4a")), SongBytes(600000, 3));
    EXPECT_EQ(worker->CurrentTarget(), "");

    // Per entry: TEXT, MAX, then only CM_PROGRESS; FINISH last.
    const std::vector<Message> all = sink.Messages();
    std::vector<std::string> texts;
    std::int64_t last = 0;
    int progressCount = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Message& m = all[i];
        if (m.msg == CM_PROGRESSTEXT) {
            texts.push_back(m.text);
            EXPECT_EQ(m.lParam, 0);
            ASSERT_LT(i + 1, all.size());
            EXPECT_EQ(all[i + 1].msg, CM_PROGRESSMAX);
            EXPECT_EQ(all[i + 1].wParam, 450);
            EXPECT_EQ(all[i + 1].lParam, 0);
        } else if (m.msg == CM_PROGRESS) {
            ASSERT_GT(i, 0u);
            EXPECT_TRUE(all[i - 1].msg == CM_PROGRESS || all[i - 1].msg == CM_PROGRESSMAX);
            EXPECT_GT(m.wParam, last) << "positions are sent only when they change";
            EXPECT_EQ(m.lParam, 0);
            last = m.wParam;
            ++progressCount;
        }
    }
    EXPECT_THAT(texts, ElementsAre("(1/3) Copying First.mp3", "(2/3) Copying Empty.mp3",
                                   "(3/3) Copying Third.m4a"));
    EXPECT_LE(progressCount, 451);
    EXPECT_GE(last, 450);
    EXPECT_LE(last, 460);
    EXPECT_EQ(all.back().msg, CM_PROGRESSFINISH);
    EXPECT_EQ(all.back().wParam, 1);
    EXPECT_EQ(all.back().lParam, 1);
}

TEST_F(CopyJobTest, SongOfTwoBlocksTakesThreePasses) {
    Add(Song("A.mp3", 4096), Out("A.mp3"));
    Run();
    // copied grows by 2048 per pass: 2048, 4096, then 6144 for the pass that reads 0.
    EXPECT_THAT(Positions(), ElementsAre(225, 450, 675));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(4096, 1));
}

TEST_F(CopyJobTest, OnlyEmptySongsEndAtTheBarMaximum) {
    Add(Song("A.mp3", 0), Out("A.mp3"));
    Add(Song("B.mp3", 0), Out("B.mp3"));
    Run();
    EXPECT_THAT(Positions(), ElementsAre(450));
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), Out("B.mp3")));
    EXPECT_EQ(sink.Messages().back().wParam, 1);
}

// ---- Names that are taken ----------------------------------------------------------------

TEST_F(CopyJobTest, TwoSongsWithOneNameGetAFreeNameUnlessOverwriting) {
    Add(Song("A.mp3", 3000, 1), Out("X.mp3"));
    Add(Song("B.mp3", 2000, 2), Out("X.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("X.mp3"), Out("X(1).mp3")));
    EXPECT_EQ(ReadFile(OutFile("X.mp3")), SongBytes(3000, 1));
    EXPECT_EQ(ReadFile(OutFile("X(1).mp3")), SongBytes(2000, 2));
    EXPECT_EQ(sink.Only(CM_PROGRESSTEXT)[1].text, "(2/2) Copying X(1).mp3");
}

TEST_F(CopyJobTest, OverwritingReplacesTheFileOfTheSameName) {
    overwrite = true;
    Add(Song("A.mp3", 3000, 1), Out("X.mp3"));
    Add(Song("B.mp3", 2000, 2), Out("X.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("X.mp3"), Out("X.mp3")));
    EXPECT_EQ(ReadFile(OutFile("X.mp3")), SongBytes(2000, 2));
    EXPECT_FALSE(Exists(OutFile("X(1).mp3")));
}

TEST_F(CopyJobTest, OverwriteSettingIsReadAfreshForEveryEntry) {
    WriteFile(OutFile("X.mp3"), "old");
    Add(Song("A.mp3", 100, 1), Out("X.mp3"));
    Add(Song("B.mp3", 200, 2), Out("X.mp3"));
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESSTEXT)
            overwrite = true; // the user ticks the option during the first song
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("X(1).mp3"), Out("X.mp3")));
    EXPECT_EQ(ReadFile(OutFile("X(1).mp3")), SongBytes(100, 1));
    EXPECT_EQ(ReadFile(OutFile("X.mp3")), SongBytes(200, 2));
}

TEST_F(CopyJobTest, FolderInTheWayOfTheNameIsNeverOverwritten) {
    overwrite = true;
    MakeDirs(OutFile("Intro"));
    Add(Song("A", 100), Out("Intro"));
    Run();
    // Without an extension the free name is "(1)" (the base ends where the empty
    // extension text is first found).
    EXPECT_THAT(targets, ElementsAre(Out("(1)")));
    EXPECT_EQ(ReadFile(OutFile("(1)")), SongBytes(100, 1));
}

TEST_F(CopyJobTest, FreeNameCountsUpPastTakenNames) {
    WriteFile(OutFile("Yesterday.mp3"), "a");
    WriteFile(OutFile("Yesterday(1).mp3"), "b");
    EXPECT_EQ(TCopyThread::CreateNewOutputPathName(platform, Out("Yesterday.mp3")),
              Out("Yesterday(2).mp3"));
    EXPECT_EQ(TCopyThread::CreateNewOutputPathName(platform, Out("a.mp3 b.mp3")), Out("a(1).mp3"));
    EXPECT_EQ(TCopyThread::CreateNewOutputPathName(platform, "c:\\out\\\\Yesterday.mp3"),
              "c:\\out\\\\Yesterday(2).mp3");
}

TEST_F(CopyJobTest, LongNamesAreCutSoTheCopyAndItsFreeNameBothFit) {
    std::string title; // 100 three-byte characters: 300 bytes
    for (int i = 0; i < 100; ++i)
        title += "\xE2\x82\xAC";
    const std::string dest = BuildTargetPath("c:\\out", title, "c:\\ipod\\A.mp3");
    Add(Song("A.mp3", 3000, 1), dest);
    Add(Song("B.mp3", 1000, 2), dest);
    Run();

    ASSERT_EQ(targets[0], dest);
    EXPECT_EQ(ReadFile(real.ToLinuxPath(targets[0])), SongBytes(3000, 1));
    const std::string second = targets[1].substr(std::string("c:\\out\\").size());
    EXPECT_LE(second.size(), kMaxFileNameBytes);
    EXPECT_THAT(second, ::testing::EndsWith("(1).mp3"));
    EXPECT_EQ(ReadFile(real.ToLinuxPath(targets[1])), SongBytes(1000, 2));
}

// ---- Songs that are missing --------------------------------------------------------------

TEST_F(CopyJobTest, MissingAndVanishedSongsAreReportedAndSendNothing) {
    Add("c:\\ipod\\never.mp3", Out("Never.mp3"));
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    MakeDirs(IpodFile("folder.mp3"));
    Add("c:\\ipod\\folder.mp3", Out("Folder.mp3"));
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    sink.onMessage = [&](const Message& m) {
        // B was there for the sizing pass and is gone by its turn.
        if (m.msg == CM_PROGRESSMAX)
            ::unlink(IpodFile("B.mp3").c_str());
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(kSongNotFound, Out("A.mp3"), kSongNotFound, kSongNotFound,
                                     Out("C.mp3")));
    const auto texts = sink.Only(CM_PROGRESSTEXT);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "(2/5) Copying A.mp3");
    EXPECT_EQ(texts[1].text, "(5/5) Copying C.mp3");
    EXPECT_EQ(sink.Only(CM_PROGRESSMAX).size(), 2u);
    EXPECT_FALSE(Exists(OutFile("B.mp3")));
    EXPECT_EQ(sink.Messages().back().wParam, 1);
}

// ---- Stopping ----------------------------------------------------------------------------

TEST_F(CopyJobTest, StopInTheMiddleOfASongTerminatesItAndTheRest) {
    for (int i = 0; i < 4; ++i)
        Add(Song("S" + std::to_string(i) + ".mp3", 20480, i),
            Out("S" + std::to_string(i) + ".mp3"));
    int progress = 0;
    std::string writtenWhenStopped;
    sink.onMessage = [&](const Message& m) {
        // 40 blocks in all, every one moves the bar: the 15th is inside the second song.
        if (m.msg == CM_PROGRESS && ++progress == 15) {
            worker->StopRequested = true;
            writtenWhenStopped = worker->CurrentTarget();
        }
    };
    Run();
    EXPECT_THAT(targets,
                ElementsAre(Out("S0.mp3"), kCopyTerminated, kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("S0.mp3")), SongBytes(20480, 0));
    EXPECT_EQ(writtenWhenStopped, Out("S1.mp3"));
    EXPECT_EQ(worker->CurrentTarget(), Out("S1.mp3"));
    EXPECT_FALSE(Exists(OutFile("S1.mp3"))) << "a partial song is removed";
    EXPECT_FALSE(Exists(OutFile("S2.mp3")));
    EXPECT_FALSE(Exists(OutFile("S3.mp3")));
    EXPECT_EQ(sink.Only(CM_PROGRESSTEXT).size(), 2u);
    EXPECT_EQ(progress, 15) << "nothing moves the bar after the stop";
    EXPECT_EQ(sink.Messages().back().msg, CM_PROGRESSFINISH);
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    EXPECT_EQ(sink.Messages().back().lParam, 1);
}

TEST_F(CopyJobTest, StopAfterASongIsCompleteNeverRemovesThatSong) {
    Add(Song("A.mp3", 2048, 1), Out("A.mp3"));
    Add(Song("B.mp3", 2048, 2), Out("B.mp3"));
    sink.onMessage = [&](const Message& m) {
        // Position 450 comes from the first song's closing pass, the one that reads
        // nothing: the song is whole, and the stop is seen only after it.
        if (m.msg == CM_PROGRESS && m.wParam == 450)
            worker->StopRequested = true;
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(2048, 1));
    // The window deletes the file CurrentTarget names after a stop; a finished copy must
    // not be named there.
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(sink.Messages().back().wParam, 2);
}

TEST_F(CopyJobTest, StopConfirmedWhileSizingIsHonoured) {
    stopBeforeStart = true; // nothing clears the flag once it is set
    Add(Song("A.mp3", 3000), Out("A.mp3"));
    Add(Song("B.mp3", 3000), Out("B.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(kCopyTerminated, kCopyTerminated));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].wParam, 2);
    EXPECT_EQ(platform.Opens(), 0);
}

// ---- Room on the destination -------------------------------------------------------------

TEST_F(CopyJobTest, SongThatDoesNotFitLeavesAnExistingFileAloneAndTheNextOneIsCopied) {
    overwrite = true;
    WriteFile(OutFile("Big.mp3"), "the user's own file");
    platform.SetFreeSpace(100000);
    Add(Song("Big.mp3", 100001, 1), Out("Big.mp3"));
    Add(Song("Equal.mp3", 100000, 2), Out("Equal.mp3")); // equal sizes fit
    Add(Song("Small.mp3", 3000, 3), Out("Small.mp3"));
    Run();

    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Equal.mp3"), Out("Small.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Big.mp3")), "the user's own file");
    EXPECT_EQ(ReadFile(OutFile("Equal.mp3")), SongBytes(100000, 2));
    EXPECT_EQ(ReadFile(OutFile("Small.mp3")), SongBytes(3000, 3));
    // The song that did not fit still shows its name and the bar's maximum, and no
    // position.
    const std::vector<Message> all = sink.Messages();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[0].text, "(1/3) Copying Big.mp3");
    EXPECT_EQ(all[1].msg, CM_PROGRESSMAX);
    EXPECT_EQ(all[2].text, "(2/3) Copying Equal.mp3");
    // Its size left the total, so the bar still ends near its maximum (each song adds up
    // to a block more than its size).
    EXPECT_GE(Positions().back(), 450);
    EXPECT_LE(Positions().back(), 480);
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(all.back().wParam, 1);
}

TEST_F(CopyJobTest, SizesAndFreeSpaceAreSixtyFourBit) {
    // Cut to 32 bits, each of these pairs would give the opposite answer.
    Add(Song("Huge.mp3", 1000, 1), Out("Huge.mp3"));
    platform.SetFakeSize("c:\\ipod\\Huge.mp3", 3LL << 30);
    platform.SetFreeSpace(5ULL << 30);
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("Huge.mp3")));
    EXPECT_TRUE(Positions().empty()) << "1000 bytes of 3 GiB do not move the bar";

    sources.clear();
    targets.clear();
    Add(Song("Huge.mp3", 1000, 1), Out("Huge2.mp3"));
    Add(Song("Tiny.mp3", 1000, 2), Out("Tiny2.mp3"));
    platform.SetFakeSize("c:\\ipod\\Huge.mp3", (4LL << 30) + 100);
    platform.SetFreeSpace(1ULL << 30);
    Run();
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Tiny2.mp3")));
    EXPECT_FALSE(Exists(OutFile("Huge2.mp3")));
    EXPECT_GE(Positions().back(), 450) << "the huge song left the total";
}

TEST_F(CopyJobTest, UnknownFreeSpaceStillCopies) {
    platform.SetFreeSpaceUnknown();
    Add(Song("A.mp3", 3000), Out("A.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3")));
}

TEST_F(CopyJobTest, DiskSpaceTextWinsOverAStopForASongThatDoesNotFit) {
    overwrite = true;
    WriteFile(OutFile("Big.mp3"), "keep me");
    platform.SetFreeSpace(1000);
    Add(Song("Big.mp3", 5000, 1), Out("Big.mp3"));
    Add(Song("Next.mp3", 500, 2), Out("Next.mp3"));
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESSTEXT)
            worker->StopRequested = true;
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, kCopyTerminated));
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    // Nothing was created for the big song, so the window has nothing to remove; the
    // user's file of that name is untouched.
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(ReadFile(OutFile("Big.mp3")), "keep me");
}

// Lowers the file-size limit for the process, so writes past it store only part of a
// block, as on a disk that fills up. The limit and SIGXFSZ are restored afterwards.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

TEST_F(CopyJobTest, DiskFillingUpDuringASongRemovesThePartialCopy) {
    Add(Song("Big.mp3", 2 << 20, 1), Out("Big.mp3"));
    Add(Song("Small.mp3", 3000, 2), Out("Small.mp3"));
    {
        // 1000 bytes into a block: the write at the limit stores only part of it.
        FileSizeLimit limit((1 << 20) + 1000);
        ASSERT_TRUE(limit.ok());
        Run();
    }
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Small.mp3")));
    EXPECT_FALSE(Exists(OutFile("Big.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Small.mp3")), SongBytes(3000, 2));
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(sink.Messages().back().wParam, 1);
    EXPECT_GE(Positions().back(), 450) << "the rest of the big song left the total";
}

TEST_F(CopyJobTest, WriteRefusedForLackOfRoomCountsAsAFullDisk) {
    Add(Song("Big.mp3", 2 << 20, 1), Out("Big.mp3"));
    Add(Song("Small.mp3", 3000, 2), Out("Small.mp3"));
    {
        // On a block boundary: the write at the limit stores nothing and fails (EFBIG).
        FileSizeLimit limit(1 << 20);
        ASSERT_TRUE(limit.ok());
        Run();
    }
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Small.mp3")));
    EXPECT_FALSE(Exists(OutFile("Big.mp3")));
    EXPECT_EQ(sink.Messages().back().wParam, 1);
    EXPECT_EQ(Log(), "");
}

// ---- Failures ----------------------------------------------------------------------------

TEST_F(CopyJobTest, UnreadableSourceEndsTheJobAndReportsTheRestAsTerminated) {
    // /proc/self/mem opens as a regular file but refuses a read at offset 0 with EIO,
    // the way a song on an iPod that was pulled out does.
    MakeDirs(tmp / "ipod");
    ASSERT_EQ(::symlink("/proc/self/mem", IpodFile("Pulled.mp3").c_str()), 0);
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add("c:\\ipod\\Pulled.mp3", Out("Pulled.mp3"));
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(3000, 1));
    EXPECT_FALSE(Exists(OutFile("Pulled.mp3"))) << "the partial copy is removed";
    EXPECT_FALSE(Exists(OutFile("C.mp3")));
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(sink.Messages().back().msg, CM_PROGRESSFINISH);
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot read c:\\ipod\\Pulled.mp3"));
}

TEST_F(CopyJobTest, DestinationTheFileSystemRefusesEndsTheJob) {
    WriteFile(OutFile("plain"), "a file, not a folder");
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add(Song("B.mp3", 3000, 2), "c:\\out\\plain\\B.mp3");
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("plain")), "a file, not a folder");
    EXPECT_FALSE(Exists(OutFile("C.mp3")));
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot create c:\\out\\plain\\B.mp3"));
}

TEST_F(CopyJobTest, NameLongerThanTheFileSystemTakesIsRefusedWithoutHarm) {
    // Not built by BuildTargetPath, so nothing cut it.
    Add(Song("A.mp3", 3000, 1), Out(std::string(300, 'n') + ".mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(kCopyTerminated));
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot create"));
}

TEST_F(CopyJobTest, ListsOfDifferentLengthAreAFailureNotACrash) {
    sources = {Song("A.mp3", 10)};
    targets = {Out("A.mp3"), Out("B.mp3")};
    Run();
    EXPECT_THAT(targets, ElementsAre(kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(sink.Messages().back().wParam, 2);
    EXPECT_THAT(Log(), HasSubstr("=Execute:"));
}

} // namespace
} // namespace korvello::test
