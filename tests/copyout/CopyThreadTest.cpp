// SPDX-License-Identifier: GPL-3.0-or-later
// The copy worker against real files: what each entry ends up as, which messages the
// window sees, and what stays on disk when a job is stopped, runs out of room or fails.
#include "CopyJobFixture.h"

#include "copyout/Naming.h"
#include "support/FailingFile.h"

#include <gmock/gmock.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvello::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(ProgressPosition, ReachesTheMaximumOnceForSongsOfGigabytes) {
    EXPECT_EQ(ProgressPosition(2048, 0), 450); // only empty songs: complete, no division
    const std::int64_t total = (3LL << 30) + 12345;
    std::int32_t last = 0;
    int changes = 0;
    for (std::int64_t copied = kCopyBlockSize; copied <= total + 2 * kCopyBlockSize;
         copied += kCopyBlockSize) {
        const std::int32_t position = ProgressPosition(copied, total);
        changes += position != last ? 1 : 0;
        last = position;
    }
    EXPECT_EQ(last, 450);
    EXPECT_EQ(changes, 450);
    EXPECT_EQ(ProgressPosition(INT64_MAX / 2, INT64_MAX / 4), 900); // no overflow
}

TEST_F(CopyJobTest, EmptyJobFinishesAtOnceWithoutOpeningAnything) {
    Run();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].msg, CM_PROGRESSFINISH);
    EXPECT_EQ(sink.messages[0].wParam, 1);
    EXPECT_EQ(sink.messages[0].lParam, 1);
    EXPECT_EQ(platform.Opens(), 0);
}

TEST_F(CopyJobTest, CopiesEveryEntryAndTellsTheWindowInOrder) {
    Add(Song("A.mp3", 5000, 1), Out("First.mp3"));
    Add(Song("B.mp3", 0, 2), Out("Empty.mp3"));
    Add(Song("C.m4a", 600000, 3), Out("Third.m4a"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("First.mp3"), Out("Empty.mp3"), Out("Third.m4a")));
    EXPECT_EQ(ReadFile(OutFile("First.mp3")), SongBytes(5000, 1));
    EXPECT_TRUE(Exists(OutFile("Empty.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Third.m4a")), SongBytes(600000, 3));
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_THAT(sink.Texts(), ElementsAre("(1/3) Copying First.mp3", "(2/3) Copying Empty.mp3",
                                          "(3/3) Copying Third.m4a"));

    // Per entry TEXT, MAX 450, then positions that always change; FINISH 1 last.
    std::intptr_t last = 0;
    for (std::size_t i = 0; i + 1 < sink.messages.size(); ++i) {
        const Message& m = sink.messages[i];
        EXPECT_EQ(m.lParam, 0);
        if (m.msg == CM_PROGRESSTEXT)
            EXPECT_EQ(sink.messages[i + 1].msg, CM_PROGRESSMAX);
        else if (m.msg == CM_PROGRESSMAX)
            EXPECT_EQ(m.wParam, 450);
        else if (m.msg == CM_PROGRESS)
            EXPECT_GT(m.wParam, std::exchange(last, m.wParam));
        else
            ADD_FAILURE() << "unexpected message " << m.msg;
    }
    EXPECT_LE(sink.Params(CM_PROGRESS).size(), 451u);
    EXPECT_GE(last, 450);
    EXPECT_LE(last, 460);
    EXPECT_EQ(sink.messages.back().msg, CM_PROGRESSFINISH);
    EXPECT_EQ(sink.messages.back().wParam, 1);
    EXPECT_EQ(sink.messages.back().lParam, 1);
}

TEST_F(CopyJobTest, BarCountsAFullBlockForEveryPass) {
    Add(Song("A.mp3", 4096), Out("A.mp3")); // passes of 2048, 2048 and 0 bytes
    Run();
    EXPECT_THAT(sink.Params(CM_PROGRESS), ElementsAre(225, 450, 675));

    sources.clear();
    targets.clear();
    Add(Song("B.mp3", 0), Out("B.mp3"));
    Add(Song("C.mp3", 0), Out("C.mp3"));
    Run(); // a zero total ends at the maximum instead of dividing by zero
    EXPECT_THAT(sink.Params(CM_PROGRESS), ElementsAre(450));
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, OverwriteSettingDecidesForEachEntryAsItStarts) {
    WriteFile(OutFile("X.mp3"), "the user's X");
    WriteFile(OutFile("Y.mp3"), "the user's Y");
    Backdate(OutFile("X.mp3"));
    Backdate(OutFile("Y.mp3"));
    Add(Song("S1.mp3", 1000, 1), Out("X.mp3"));
    Add(Song("S2.mp3", 2000, 2), Out("Y.mp3"));
    Add(Song("S3.mp3", 3000, 3), Out("X.mp3"));
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESSTEXT && m.text.starts_with("(1/3)"))
            overwrite = true; // ticked in the options window during the first song
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("X(1).mp3"), Out("Y.mp3"), Out("X.mp3")));
    EXPECT_EQ(sink.Texts()[0], "(1/3) Copying X(1).mp3");
    EXPECT_EQ(ReadFile(OutFile("X(1).mp3")), SongBytes(1000, 1));
    EXPECT_EQ(ReadFile(OutFile("Y.mp3")), SongBytes(2000, 2));
    EXPECT_EQ(ReadFile(OutFile("X.mp3")), SongBytes(3000, 3));
}

// A volume whose file times lag an hour behind the machine's clock (a FAT card written
// under another time zone reads so): every file on it looks older than the job.
class LaggingTimesPlatform final : public ForwardingPlatform {
public:
    using ForwardingPlatform::ForwardingPlatform;
    NameInfo StatName(const std::string& path) override {
        NameInfo info = ForwardingPlatform::StatName(path);
        info.modifiedNs -= 3600LL * 1'000'000'000;
        return info;
    }
};

TEST_F(CopyJobTest, OverwritingNeverReplacesASongOfTheSameJobWhateverItsTime) {
    overwrite = true;
    Add(Song("S1.mp3", 1000, 1), Out("Intro.mp3"));
    Add(Song("S2.mp3", 2000, 2), Out("Intro.mp3"));
    LaggingTimesPlatform lagging(platform);
    Run(&lagging);
    EXPECT_THAT(targets, ElementsAre(Out("Intro.mp3"), Out("Intro(1).mp3")));
    EXPECT_EQ(ReadFile(OutFile("Intro.mp3")), SongBytes(1000, 1));
    EXPECT_EQ(ReadFile(OutFile("Intro(1).mp3")), SongBytes(2000, 2));
}

TEST_F(CopyJobTest, FreeNamesCountUpAndStayWithinTheNameLimit) {
    WriteFile(OutFile("Yesterday.mp3"), "a");
    WriteFile(OutFile("Yesterday(1).mp3"), "b");
    EXPECT_EQ(TCopyThread::CreateNewOutputPathName(platform, Out("Yesterday.mp3")),
              Out("Yesterday(2).mp3"));
    EXPECT_EQ(TCopyThread::CreateNewOutputPathName(platform, Out("a.mp3 b.mp3")), Out("a(1).mp3"));

    std::string title; // 100 three-byte characters: 300 bytes, cut by BuildTargetPath
    for (int i = 0; i < 100; ++i)
        title += "\xE2\x82\xAC";
    const std::string dest = BuildTargetPath("c:\\out", title, "x.mp3");
    Add(Song("A.mp3", 3000, 1), dest);
    Add(Song("B.mp3", 1000, 2), dest);
    MakeDirs(OutFile("Intro")); // a folder in the way is never overwritten
    Add(Song("C", 10, 3), Out("Intro"));
    overwrite = true;
    Run();
    EXPECT_EQ(targets[0], dest);
    EXPECT_EQ(ReadFile(real.ToLinuxPath(dest)), SongBytes(3000, 1));
    // Overwriting never replaces what this job wrote itself.
    const std::string second = targets[1].substr(std::string("c:\\out\\").size());
    EXPECT_LE(second.size(), kMaxFileNameBytes);
    EXPECT_THAT(second, ::testing::EndsWith("(1).mp3"));
    EXPECT_EQ(ReadFile(real.ToLinuxPath(targets[1])), SongBytes(1000, 2));
    EXPECT_EQ(targets[2], Out("(1)")); // the base ends where the empty extension is found
    EXPECT_EQ(ReadFile(OutFile("(1)")), SongBytes(10, 3));
}

TEST_F(CopyJobTest, MissingAndVanishedSongsAreReportedAndSendNothing) {
    Add("c:\\ipod\\never.mp3", Out("Never.mp3"));
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    MakeDirs(tmp / "ipod/folder.mp3");
    Add("c:\\ipod\\folder.mp3", Out("Folder.mp3"));
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESSMAX) // B was there when sizes were summed, then it went
            ::unlink((tmp / "ipod/B.mp3").c_str());
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(kSongNotFound, Out("A.mp3"), kSongNotFound, kSongNotFound,
                                     Out("C.mp3")));
    EXPECT_THAT(sink.Texts(), ElementsAre("(2/5) Copying A.mp3", "(5/5) Copying C.mp3"));
    EXPECT_EQ(sink.Params(CM_PROGRESSMAX).size(), 2u);
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, StopInTheMiddleOfASongTerminatesItAndTheRest) {
    for (int i = 0; i < 4; ++i)
        Add(Song("S" + std::to_string(i), 20480, i), Out("S" + std::to_string(i)));
    int progress = 0;
    sink.onMessage = [&](const Message& m) {
        // 11 passes a song, each moving the bar: the 15th is inside the second song.
        if (m.msg == CM_PROGRESS && ++progress == 15)
            worker->StopRequested = true;
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("S0"), kCopyTerminated, kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("S0")), SongBytes(20480, 0));
    EXPECT_EQ(worker->CurrentTarget(), Out(".S1.korvello-part")) << "the file being written";
    EXPECT_FALSE(Exists(OutFile(".S1.korvello-part"))) << "a partial song is removed";
    EXPECT_FALSE(Exists(OutFile("S1")));
    EXPECT_FALSE(Exists(OutFile("S2")));
    EXPECT_EQ(progress, 15);
    EXPECT_EQ(Finish(), 2);
    EXPECT_EQ(sink.messages.back().lParam, 1);
}

TEST_F(CopyJobTest, StopRightAfterASongCompletedKeepsThatSong) {
    Add(Song("A.mp3", 2048, 1), Out("A.mp3"));
    Add(Song("B.mp3", 2048, 2), Out("B.mp3"));
    sink.onMessage = [&](const Message& m) {
        if (m.msg == CM_PROGRESS && m.wParam == 450) // the first song's closing pass
            worker->StopRequested = true;
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), kCopyTerminated));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(2048, 1));
    // The window deletes what CurrentTarget names after a stop.
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(Finish(), 2);
}

TEST_F(CopyJobTest, StopConfirmedWhileSizesAreSummedIsHonoured) {
    stopBeforeStart = true;
    Add(Song("A.mp3", 3000), Out("A.mp3"));
    Add(Song("B.mp3", 3000), Out("B.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(kCopyTerminated, kCopyTerminated));
    EXPECT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(Finish(), 2);
    EXPECT_EQ(platform.Opens(), 0);
}

TEST_F(CopyJobTest, SongThatDoesNotFitLeavesAnExistingFileAloneAndTheNextIsCopied) {
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
    // It still shows its name and the maximum, but no position.
    EXPECT_EQ(sink.messages[1].msg, CM_PROGRESSMAX);
    EXPECT_EQ(sink.messages[2].text, "(2/3) Copying Equal.mp3");
    // Its size left the total, so the bar ends near its maximum.
    EXPECT_GE(sink.Params(CM_PROGRESS).back(), 450);
    EXPECT_LE(sink.Params(CM_PROGRESS).back(), 480);
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, DiskSpaceTextWinsOverAStopAndNothingIsLeftToDelete) {
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
    EXPECT_EQ(Finish(), 2);
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(ReadFile(OutFile("Big.mp3")), "keep me");
}

TEST_F(CopyJobTest, SizesAndFreeSpaceAreSixtyFourBit) {
    // Cut to 32 bits, each of these would give the opposite answer.
    Add(Song("Huge.mp3", 1000, 1), Out("Huge.mp3"));
    platform.SetFakeSize("c:\\ipod\\Huge.mp3", 3LL << 30);
    platform.SetFreeSpace(5ULL << 30);
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("Huge.mp3")));

    targets = {Out("Huge2.mp3")};
    Add(Song("Tiny.mp3", 1000, 2), Out("Tiny.mp3"));
    platform.SetFakeSize("c:\\ipod\\Huge.mp3", (4LL << 30) + 100);
    platform.SetFreeSpace(1ULL << 30);
    Run();
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Tiny.mp3")));
    EXPECT_GE(sink.Params(CM_PROGRESS).back(), 450) << "the huge song left the total";

    platform.SetFreeSpace(0, /*unknown=*/true); // a volume that cannot be asked is tried
    targets = {Out("Huge2.mp3"), Out("Tiny.mp3")};
    Run();
    EXPECT_EQ(targets[0], Out("Huge2.mp3"));
}

// Lowers the process's file-size limit so that writes past it store only part of a block
// or nothing, as on a disk that fills up; the limit and SIGXFSZ are restored afterwards.
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
    bool ok_ = false;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(CopyJobTest, ASongLargerThanTheDriveAllowsFailsWithThatReason) {
    // A file-size limit (RLIMIT_FSIZE here, 4 GiB on FAT) is no lack of space: the song
    // fails with its own reason, whether the limit falls inside a block (part of it is
    // stored) or on a block boundary (nothing is), and the next song is copied.
    overwrite = true;
    for (const rlim_t limit : {rlim_t{(1 << 20) + 1000}, rlim_t{1 << 20}}) {
        sources.clear();
        targets.clear();
        std::filesystem::remove_all(tmp / "out");
        MakeDirs(tmp / "out");
        Add(Song("Big.mp3", 2 << 20, 1), Out("Big.mp3"));
        Add(Song("Small.mp3", 3000, 2), Out("Small.mp3"));
        {
            FileSizeLimit lowered(limit);
            ASSERT_TRUE(lowered.ok_);
            Run();
        }
        EXPECT_THAT(targets, ElementsAre(" Copy failed: the song is larger than the destination "
                                         "drive allows for one file (File too large).",
                                         Out("Small.mp3")));
        EXPECT_FALSE(Exists(OutFile("Big.mp3")));
        EXPECT_FALSE(Exists(OutFile(".Big.mp3.korvello-part")));
        EXPECT_EQ(ReadFile(OutFile("Small.mp3")), SongBytes(3000, 2));
        EXPECT_EQ(worker->CurrentTarget(), "");
        EXPECT_EQ(Finish(), 1);
        EXPECT_GE(sink.Params(CM_PROGRESS).back(), 450);
    }
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot write c:\\out\\.Big.mp3.korvello-part: File "
                                 "too large"));
}

TEST_F(CopyJobTest, UnreadableSourceFailsThatSongAndTheJobGoesOn) {
    // /proc/self/mem opens as a regular file but refuses a read at offset 0 with EIO, the
    // way a song on an iPod that was pulled out does.
    ASSERT_EQ(::symlink("/proc/self/mem", (tmp / "ipod/Pulled.mp3").c_str()), 0);
    overwrite = true;
    WriteFile(OutFile("Pulled.mp3"), "the user's older copy");
    Backdate(OutFile("Pulled.mp3"));
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add("c:\\ipod\\Pulled.mp3", Out("Pulled.mp3"));
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    Run();
    EXPECT_THAT(targets,
                ElementsAre(Out("A.mp3"), " Copy failed: Input/output error.", Out("C.mp3")));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(3000, 1));
    EXPECT_EQ(ReadFile(OutFile("Pulled.mp3")), "the user's older copy");
    EXPECT_FALSE(Exists(OutFile(".Pulled.mp3.korvello-part")));
    EXPECT_EQ(ReadFile(OutFile("C.mp3")), SongBytes(3000, 3));
    EXPECT_EQ(worker->CurrentTarget(), "");
    EXPECT_EQ(Finish(), 1);
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot read c:\\ipod\\Pulled.mp3"));
}

TEST_F(CopyJobTest, DestinationTheFileSystemRefusesFailsThatSongOnly) {
    WriteFile(OutFile("plain"), "a file, not a folder");
    Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
    Add(Song("B.mp3", 3000, 2), "c:\\out\\plain\\B.mp3");
    Add(Song("C.mp3", 3000, 3), Out(std::string(300, 'n') + ".mp3")); // not cut to the limit
    Add(Song("D.mp3", 3000, 4), Out("D.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), " Copy failed: Not a directory.",
                                     " Copy failed: File name too long.", Out("D.mp3")));
    EXPECT_EQ(ReadFile(OutFile("plain")), "a file, not a folder");
    EXPECT_EQ(ReadFile(OutFile("D.mp3")), SongBytes(3000, 4));
    EXPECT_EQ(NamesIn(tmp / "out").size(), 3u) << "no temporary file is left";
    EXPECT_EQ(Finish(), 1);
    // The log keeps one message a second: the last one.
    EXPECT_THAT(Log(), HasSubstr("=Execute:cannot rename c:\\out\\.nnn"));
    EXPECT_THAT(Log(), HasSubstr(".mp3: File name too long"));
}

// A tmpfs of `bytes` mounted over `folder` for the life of the object; ok() false where
// mounting is refused (not root, or in a container without the right).
class TmpfsMount {
public:
    TmpfsMount(const std::string& folder, const std::string& options, unsigned long flags = 0)
        : folder_(folder) {
        ok_ = ::mount("korvello-test", folder.c_str(), "tmpfs", flags, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (ok_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool ok() const { return ok_; }

private:
    std::string folder_;
    bool ok_ = false;
};

TEST_F(CopyJobTest, AFullDiskKeepsTheOlderFileWholeAndLeavesNoPartialCopy) {
    TmpfsMount small(tmp / "out", "size=4m");
    if (!small.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    overwrite = true;
    const std::string older = SongBytes(300000, 9);
    WriteFile(OutFile("Big.mp3"), older);
    Backdate(OutFile("Big.mp3"));
    Add(Song("Big.mp3", 2 << 20, 1), Out("Big.mp3"));
    Add(Song("Small.mp3", 3000, 2), Out("Small.mp3"));
    int progress = 0;
    sink.onMessage = [&](const Message& m) {
        // Another program fills the disk while the big song is being written.
        if (m.msg == CM_PROGRESS && ++progress == 50) {
            std::FILE* filler = std::fopen(OutFile("filler").c_str(), "w");
            ASSERT_NE(filler, nullptr);
            const std::string block(65536, 'f');
            while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
            }
            std::fclose(filler);
            ::truncate(OutFile("filler").c_str(), 0); // room for the small song again
            WriteFile(OutFile("hog"), std::string(3 << 20, 'h'));
        }
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(kDiskSpaceNotEnough, Out("Small.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Big.mp3")), older) << "replaced only by a complete copy";
    EXPECT_EQ(ReadFile(OutFile("Small.mp3")), SongBytes(3000, 2));
    EXPECT_EQ(NamesIn(tmp / "out"),
              (std::set<std::string>{"Big.mp3", "Small.mp3", "filler", "hog"}));
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, VolumeWithoutASizeIsTriedRatherThanCalledFull) {
    // A tmpfs without a size limit reports no blocks at all, like fusefat does.
    TmpfsMount unlimited(tmp / "out", "size=0");
    if (!unlimited.ok())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    EXPECT_EQ(real.GetDiskFreeSpace(Out("A.mp3")), std::nullopt);
    Add(Song("A.mp3", 5000, 1), Out("A.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(Out("A.mp3")));
    EXPECT_EQ(ReadFile(OutFile("A.mp3")), SongBytes(5000, 1));
}

TEST_F(CopyJobTest, SongThatChangesWhileItIsCopiedIsReportedAsFailed) {
    overwrite = true;
    WriteFile(OutFile("Shrinks.mp3"), "the user's older copy");
    Backdate(OutFile("Shrinks.mp3"));
    Add(Song("Shrinks.mp3", 3 << 20, 1), Out("Shrinks.mp3"));
    Add(Song("Grows.mp3", 3 << 20, 2), Out("Grows.mp3"));
    Add(Song("Same.mp3", 4000, 3), Out("Same.mp3"));
    int progress = 0;
    sink.onMessage = [&](const Message& m) {
        if (m.msg != CM_PROGRESS)
            return;
        ++progress;
        if (progress == 20) // cut while it is read, as a device losing data would
            ::truncate((tmp / "ipod/Shrinks.mp3").c_str(), 5000);
        if (progress == 250) { // appended to while it is read
            std::FILE* song = std::fopen((tmp / "ipod/Grows.mp3").c_str(), "a");
            std::fputs("more", song);
            std::fclose(song);
        }
    };
    Run();
    EXPECT_THAT(targets, ElementsAre(" Copy failed: the song changed while it was copied.",
                                     " Copy failed: the song changed while it was copied.",
                                     Out("Same.mp3")));
    EXPECT_EQ(ReadFile(OutFile("Shrinks.mp3")), "the user's older copy");
    EXPECT_EQ(NamesIn(tmp / "out"), (std::set<std::string>{"Shrinks.mp3", "Same.mp3"}));
    EXPECT_EQ(Finish(), 1);
    EXPECT_THAT(Log(), HasSubstr("Grows.mp3 changed while it was copied"));
}

TEST_F(CopyJobTest, RefusedNameFailsThatSongAndTheNextAreCopied) {
    platform.RefuseName(Out("CON.mp3"));
    Add(Song("A.mp3", 3000, 1), Out("CON.mp3"));
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    Add(Song("D.mp3", 3000, 4), Out("D.mp3"));
    Run();
    EXPECT_EQ(targets[0], " Copy failed: Invalid argument.");
    EXPECT_EQ(targets[1], Out("B.mp3"));
    EXPECT_EQ(targets[2], Out("D.mp3"));
    EXPECT_EQ(ReadFile(OutFile("D.mp3")), SongBytes(3000, 4));
    EXPECT_EQ(NamesIn(tmp / "out"), (std::set<std::string>{"B.mp3", "D.mp3"}));
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, AFolderOnAReadOnlyVolumeFailsThatSongOnly) {
    // A read-only volume, since root writes into a folder without rights.
    MakeDirs(OutFile("locked"));
    TmpfsMount readOnly(OutFile("locked"), "size=1m", MS_RDONLY);
    if (!readOnly.ok())
        GTEST_SKIP() << "cannot mount a read-only tmpfs here (needs root)";
    Add(Song("B.mp3", 3000, 2), Out("B.mp3"));
    Add(Song("C.mp3", 3000, 3), "c:\\out\\locked\\C.mp3");
    Add(Song("D.mp3", 3000, 4), Out("D.mp3"));
    Run();
    EXPECT_THAT(targets,
                ElementsAre(Out("B.mp3"), " Copy failed: Read-only file system.", Out("D.mp3")));
    EXPECT_EQ(ReadFile(OutFile("D.mp3")), SongBytes(3000, 4));
    EXPECT_EQ(NamesIn(tmp / "out"), (std::set<std::string>{"B.mp3", "D.mp3", "locked"}));
    EXPECT_EQ(Finish(), 1);
}

TEST_F(CopyJobTest, NameThatLeavesTheFolderIsRefused) {
    overwrite = true;
    WriteFile(tmp / "victim", "outside the chosen folder");
    Add(Song("A.mp3", 3000, 1), "c:\\out\\../victim");
    Add(Song("B.mp3", 3000, 2), "c:\\out\\..");
    Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
    Run();
    EXPECT_THAT(targets, ElementsAre(" Copy failed: the file name leads out of the chosen folder.",
                                     " Copy failed: the file name leads out of the chosen folder.",
                                     Out("C.mp3")));
    EXPECT_EQ(ReadFile(tmp / "victim"), "outside the chosen folder");
    EXPECT_EQ(NamesIn(tmp / "out"), std::set<std::string>{"C.mp3"});
}

TEST_F(CopyJobTest, CaseDifferentUserFileOnAMappedDriveIsNotReplaced) {
    // A destination on a mapped (removable) drive, where the iPod's own files are looked
    // up without regard to case: the copy's names are exact all the same.
    MakeDirs(tmp / "stick");
    MapDriveIn(real.Roots().configHome, "f:", tmp / "stick");
    real.GetLogicalDrives();
    WriteFile(tmp / "stick/radio radio 5.mp3", "the user's own song");
    WriteFile(tmp / "stick/radio radio 5(1).mp3", "another of the user's");
    overwrite = true;
    Add(Song("A.mp3", 3000, 1), "f:\\Radio Radio 5.mp3");
    Add(Song("B.mp3", 3000, 2), "f:\\Radio Radio 5.mp3");
    Run();
    EXPECT_THAT(targets, ElementsAre("f:\\Radio Radio 5.mp3", "f:\\Radio Radio 5(1).mp3"));
    EXPECT_EQ(ReadFile(tmp / "stick/radio radio 5.mp3"), "the user's own song");
    EXPECT_EQ(ReadFile(tmp / "stick/radio radio 5(1).mp3"), "another of the user's");
    EXPECT_EQ(ReadFile(tmp / "stick/Radio Radio 5.mp3"), SongBytes(3000, 1));
    EXPECT_EQ(ReadFile(tmp / "stick/Radio Radio 5(1).mp3"), SongBytes(3000, 2));
}

TEST_F(CopyJobTest, TwoJobsIntoOneFolderNeverShareAFile) {
    // Both jobs copy songs of the same titles at the same moment; every reported path is
    // a file of its own holding exactly its song, with overwriting off and on.
    for (const bool replace : {false, true}) {
        std::filesystem::remove_all(tmp / "out");
        MakeDirs(tmp / "out");
        overwrite = replace;
        std::vector<std::string> sourcesA, targetsA, sourcesB, targetsB;
        for (int i = 0; i < 12; ++i) {
            const std::string title = "Home" + std::to_string(i % 3);
            sourcesA.push_back(Song("A" + std::to_string(i), 30000 + i, i));
            targetsA.push_back(Out(title + ".mp3"));
            sourcesB.push_back(Song("B" + std::to_string(i), 40000 + i, 100 + i));
            targetsB.push_back(Out(title + ".mp3"));
        }
        RecordingSink sinkB;
        TCopyThread jobA(platform, sink, overwrite), jobB(platform, sinkB, overwrite);
        jobA.SourceList = &sourcesA;
        jobA.TargetList = &targetsA;
        jobB.SourceList = &sourcesB;
        jobB.TargetList = &targetsB;
        jobA.Start();
        jobB.Start();
        ASSERT_TRUE(WaitUntil([&] { return jobA.Finished() && jobB.Finished(); }))
            << "the jobs did not end";

        std::set<std::string> reported;
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(ReadFile(real.ToLinuxPath(targetsA[i])), SongBytes(30000 + i, i));
            EXPECT_EQ(ReadFile(real.ToLinuxPath(targetsB[i])), SongBytes(40000 + i, 100 + i));
            reported.insert(targetsA[i]);
            reported.insert(targetsB[i]);
        }
        EXPECT_EQ(reported.size(), 24u) << "overwrite " << replace;
        EXPECT_EQ(NamesIn(tmp / "out").size(), 24u);
    }
}

// Files that fail part-way, as a pulled cable (EIO) or a full card (ENOSPC) would make
// them: the middle song of three fails, with overwriting on and an older copy of the
// user's under its name.
class FailingCopyTest : public CopyJobTest {
protected:
    FailingFilesPlatform failing{platform};

    void RunFailing(const std::string& path, FileFailure how) {
        sources.clear();
        targets.clear();
        std::filesystem::remove_all(tmp / "out");
        MakeDirs(tmp / "out");
        overwrite = true;
        WriteFile(OutFile("B.mp3"), "the user's older copy");
        Backdate(OutFile("B.mp3"));
        Add(Song("A.mp3", 3000, 1), Out("A.mp3"));
        Add(Song("B.mp3", 100000, 2), Out("B.mp3"));
        Add(Song("C.mp3", 3000, 3), Out("C.mp3"));
        failing.FailFile(path, how);
        Run(&failing);
    }
    // What every failing song leaves: the older file whole, no temporary file, the next
    // song copied, and a job that ran to its end with the bar full.
    void ExpectOnlyTheMiddleSongLost(const std::string& outcome) {
        EXPECT_THAT(targets, ElementsAre(Out("A.mp3"), outcome, Out("C.mp3")));
        EXPECT_EQ(ReadFile(OutFile("B.mp3")), "the user's older copy");
        EXPECT_EQ(NamesIn(tmp / "out"), (std::set<std::string>{"A.mp3", "B.mp3", "C.mp3"}));
        EXPECT_EQ(ReadFile(OutFile("C.mp3")), SongBytes(3000, 3));
        EXPECT_EQ(worker->CurrentTarget(), "");
        EXPECT_EQ(Finish(), 1);
        EXPECT_GE(sink.Params(CM_PROGRESS).back(), 450);
    }
};

TEST_F(FailingCopyTest, ReadFailingPartWayFailsThatSongAndTheJobGoesOn) {
    // At the first block, and in the middle of the song once blocks were written.
    for (const std::int64_t after : {std::int64_t{0}, std::int64_t{50000}}) {
        SCOPED_TRACE(after);
        RunFailing("c:\\ipod\\B.mp3", FileFailure::ReadAfter(after, EIO));
        ExpectOnlyTheMiddleSongLost(" Copy failed: Input/output error.");
        EXPECT_THAT(Log(), HasSubstr("=Execute:cannot read c:\\ipod\\B.mp3: Input/output error"));
    }
}

TEST_F(FailingCopyTest, WriteOrCloseFailingEndsTheSongByItsError) {
    const std::string temp = Out(".B.mp3.korvello-part");
    struct Case {
        FileFailure how;
        std::string outcome;
        std::string logged; // empty: nothing is logged
    };
    // A full disk is told as such and logged nowhere, so those cases come first.
    for (const Case& c : {
             Case{FileFailure::WriteAfter(10000, ENOSPC), kDiskSpaceNotEnough, ""},
             Case{FileFailure::WriteAfter(0, EDQUOT), kDiskSpaceNotEnough, ""},
             Case{FileFailure::AtClose(ENOSPC), kDiskSpaceNotEnough, ""},
             Case{FileFailure::WriteAfter(10000, EIO), " Copy failed: Input/output error.",
                  "=Execute:cannot write " + temp + ": Input/output error"},
             Case{FileFailure::AtClose(EIO), " Copy failed: Input/output error.",
                  "=Execute:cannot close " + temp + ": Input/output error"},
         }) {
        SCOPED_TRACE(c.outcome + " " + c.logged);
        RunFailing(temp, c.how);
        ExpectOnlyTheMiddleSongLost(c.outcome);
        if (c.logged.empty())
            EXPECT_EQ(Log(), "");
        else
            EXPECT_THAT(Log(), HasSubstr(c.logged));
    }
}

} // namespace
} // namespace korvello::test
