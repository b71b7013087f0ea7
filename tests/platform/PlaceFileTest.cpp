// SPDX-License-Identifier: GPL-3.0-or-later
// Putting a finished file under its name: never replacing what was not checked, never an
// empty file under the name, whatever step a kill -9 interrupts; and the locks that tell
// a running job's temporary file from one a killed job left behind. On the test machine's
// own file system (with renameat2's flags), the same with the fallback forced, and on a
// real FAT file system through fusefat where the machine allows it.

#include "FakeSystem.h"

#include "platform/posix/PlaceFile.h"
#include "support/Backdate.h"
#include "support/FatMount.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvello::test {
namespace {

using posix::PlaceOptions;

struct Identity {
    std::uint64_t device = 0, inode = 0;
};

Identity IdentityOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// What a placement works on: the new file's temporary name and the song's name.
struct Scene {
    std::string dir, from, to;
    bool old = false; // the song's name holds the user's older file
};

Scene Lay(const std::string& dir, bool withOld) {
    Scene scene{dir, dir + "/.Song.mp3.korvello-part", dir + "/Song.mp3", withOld};
    WriteFile(scene.from, "the whole new song");
    if (withOld)
        WriteFile(scene.to, "the user's older song");
    return scene;
}

int Place(const Scene& scene, const Identity& old, const PlaceOptions& options) {
    return scene.old ? posix::PlaceReplacing(scene.from, scene.to, old.device, old.inode, options)
                     : posix::PlaceNoReplace(scene.from, scene.to, options);
}

// The folders the tests run in: the machine's own file system, and FAT where it mounts.
class PlaceFile : public ::testing::Test {
protected:
    void SetUp() override { MakeDirs(tmp / "disk"); }
    std::vector<std::pair<std::string, PlaceOptions>> Places() {
        std::vector<std::pair<std::string, PlaceOptions>> places = {
            {tmp / "disk", PlaceOptions{}}, {tmp / "disk", PlaceOptions{{}, true}}};
        fat = std::make_unique<FatMount>(tmp, tmp / "fat");
        if (fat->Mounted())
            places.push_back({tmp / "fat", PlaceOptions{}});
        else
            std::cerr << "FAT cases skipped: " << fat->Reason() << "\n";
        return places;
    }
    void Clear(const std::string& dir) {
        for (const std::string& name : NamesIn(dir))
            std::filesystem::remove(dir + "/" + name);
    }

    TempDir tmp;
    std::unique_ptr<FatMount> fat;
};

TEST_F(PlaceFile, WithoutReplacingAnExistingNameIsKeptAndNoClaimStays) {
    for (const auto& [dir, options] : Places()) {
        SCOPED_TRACE(dir + (options.plainRenames ? " (fallback)" : ""));
        Clear(dir);
        const Scene scene = Lay(dir, /*withOld=*/true);
        EXPECT_EQ(posix::PlaceNoReplace(scene.from, scene.to, options), EEXIST);
        EXPECT_EQ(ReadFile(scene.to), "the user's older song");
        EXPECT_EQ(ReadFile(scene.from), "the whole new song");
        // A drive that ignores letter case finds the user's file under another spelling.
        const std::string other = dir + "/SONG.mp3";
        const bool caseBlind = Exists(other);
        EXPECT_EQ(posix::PlaceNoReplace(scene.from, other, options), caseBlind ? EEXIST : 0);
        EXPECT_EQ(ReadFile(scene.to), "the user's older song");
        std::filesystem::remove(other);
        WriteFile(scene.from, "the whole new song");
        std::filesystem::remove(scene.to);
        EXPECT_EQ(posix::PlaceNoReplace(scene.from, scene.to, options), 0);
        EXPECT_EQ(ReadFile(scene.to), "the whole new song");
        EXPECT_EQ(NamesIn(dir), std::set<std::string>{"Song.mp3"});
    }
}

TEST_F(PlaceFile, ReplacingTakesOnlyTheFileThatWasChecked) {
    for (const auto& [dir, options] : Places()) {
        SCOPED_TRACE(dir + (options.plainRenames ? " (fallback)" : ""));
        Clear(dir);
        const Scene scene = Lay(dir, /*withOld=*/true);
        const Identity old = IdentityOf(scene.to);
        EXPECT_EQ(posix::PlaceReplacing(scene.from, scene.to, old.device, old.inode + 1, options),
                  EEXIST);
        EXPECT_EQ(ReadFile(scene.to), "the user's older song");
        std::filesystem::remove(scene.to);
        EXPECT_EQ(posix::PlaceReplacing(scene.from, scene.to, old.device, old.inode, options),
                  EEXIST)
            << "a name that holds nothing now is not replaced either";
        WriteFile(scene.to, "the user's older song");
        const Identity now = IdentityOf(scene.to);
        EXPECT_EQ(posix::PlaceReplacing(scene.from, scene.to, now.device, now.inode, options), 0);
        EXPECT_EQ(ReadFile(scene.to), "the whole new song");
        EXPECT_EQ(NamesIn(dir), std::set<std::string>{"Song.mp3"});
    }
}

TEST_F(PlaceFile, AFileThatTookTheNameAfterTheCheckIsPutBack) {
    // Another program puts its file under the name between the check and the exchange:
    // the exchange shows it, and it goes back where it was.
    const Scene scene = Lay(tmp / "disk", /*withOld=*/true);
    const Identity old = IdentityOf(scene.to);
    PlaceOptions options;
    options.step = [&](std::string_view step) {
        if (step == "exchange") {
            WriteFile(scene.dir + "/other", "another program's file");
            std::filesystem::rename(scene.dir + "/other", scene.to);
        }
    };
    EXPECT_EQ(posix::PlaceReplacing(scene.from, scene.to, old.device, old.inode, options), EEXIST);
    EXPECT_EQ(ReadFile(scene.to), "another program's file");
    EXPECT_EQ(ReadFile(scene.from), "the whole new song");
}

TEST_F(PlaceFile, AKillAtAnyStepLeavesTheOldFileOrTheWholeNewOneAndLeftoversGoLater) {
    const char* const steps[] = {"rename2",  "link",   "claim",  "check",
                                 "exchange", "remove", "rename", "unclaim"};
    for (const auto& [dir, options] : Places()) {
        int kills = 0;
        for (const bool withOld : {false, true}) {
            for (const char* stop : steps) {
                SCOPED_TRACE(dir + (options.plainRenames ? " (fallback) " : " ") +
                             (withOld ? "replacing, " : "new name, ") + "killed at " + stop);
                Clear(dir);
                const Scene scene = Lay(dir, withOld);
                const Identity old = IdentityOf(scene.to);
                bool reached = false;
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    PlaceOptions killing = options;
                    killing.step = [&](std::string_view step) {
                        if (step == stop)
                            ::raise(SIGKILL);
                    };
                    Place(scene, old, killing);
                    ::_exit(0);
                }
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                reached = WIFSIGNALED(status);
                kills += reached ? 1 : 0;
                const std::string now = Exists(scene.to) ? ReadFile(scene.to) : "(nothing)";
                const std::string before = withOld ? "the user's older song" : "(nothing)";
                EXPECT_TRUE(now == before || now == "the whole new song") << now;
                if (!reached)
                    continue; // this path has no such step
                // The next job finds what the killed one left: a free claim and the
                // temporary file (or the user's replaced file under its name), removed
                // once they are old enough; the name itself is never touched.
                for (const std::string& name : NamesIn(dir)) {
                    const std::string path = dir + "/" + name;
                    if (name == "Song.mp3")
                        continue;
                    EXPECT_FALSE(posix::DeleteUnlockedLeftover(path, 5)) << name << " is young";
                    Backdate(path);
                    EXPECT_TRUE(posix::DeleteUnlockedLeftover(path, 5)) << name;
                }
                EXPECT_TRUE(NamesIn(dir).empty() ||
                            NamesIn(dir) == std::set<std::string>{"Song.mp3"});
            }
        }
    }
}

TEST_F(PlaceFile, AStaleClaimIsTakenOverAndALiveOneWaitedFor) {
    const Scene scene = Lay(tmp / "disk", /*withOld=*/false);
    const std::string claim = scene.dir + "/.Song.mp3.korvello-claim";
    // Left by a killed job: free and old.
    WriteFile(claim, "");
    Backdate(claim);
    EXPECT_EQ(posix::PlaceNoReplace(scene.from, scene.to, PlaceOptions{{}, true}), 0);
    EXPECT_FALSE(Exists(claim));
    // Held by a running job: the placement waits for it and then checks the name afresh.
    WriteFile(scene.from, "a second song");
    int err = 0;
    posix::UniqueFd held = posix::CreateLocked(claim, O_RDWR, err);
    ASSERT_TRUE(held);
    Backdate(claim);
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::unlink(claim.c_str());
        held.reset();
    });
    EXPECT_EQ(posix::PlaceNoReplace(scene.from, scene.to, PlaceOptions{{}, true}), EEXIST);
    release.join();
    EXPECT_EQ(ReadFile(scene.to), "the whole new song");
}

TEST(Leftovers, ALockedTemporaryFileIsKeptUntilItsOwnerLetsGo) {
    FakeSystem sys;
    MakeDirs(sys.At("/home/u/out"));
    auto platform = sys.MakePlatform();
    const std::string live = "c:\\home\\u\\out\\.Live.mp3.korvello-part";
    std::string error;
    bool taken = false;
    auto file = platform->CreateNew(live, error, taken);
    ASSERT_TRUE(file) << error;
    Backdate(sys.At("/home/u/out/.Live.mp3.korvello-part"));
    EXPECT_FALSE(platform->DeleteLeftover(live, 5)) << "written by a running job";
    ASSERT_TRUE(file->Close());
    EXPECT_FALSE(platform->DeleteLeftover(live, 5)) << "finished, not yet renamed";
    file.reset();
    EXPECT_TRUE(platform->DeleteLeftover(live, 5));

    const std::string young = sys.At("/home/u/out/.Young.mp3.korvello-part");
    WriteFile(young, "x");
    EXPECT_FALSE(platform->DeleteLeftover("c:\\home\\u\\out\\.Young.mp3.korvello-part", 5));
    // Only regular files; a folder or a link is never removed.
    MakeDirs(sys.At("/home/u/out/.Dir.korvello-part"));
    EXPECT_FALSE(platform->DeleteLeftover("c:\\home\\u\\out\\.Dir.korvello-part", 0));
    ASSERT_EQ(::symlink(young.c_str(), sys.At("/home/u/out/.Link.korvello-part").c_str()), 0);
    EXPECT_FALSE(platform->DeleteLeftover("c:\\home\\u\\out\\.Link.korvello-part", 0));
    EXPECT_TRUE(Exists(young));
}

} // namespace
} // namespace korvello::test
