// SPDX-License-Identifier: GPL-3.0-or-later
// Files through program paths: finding, block reads and writes with their real counts,
// deleting, copying without ever leaving half a destination, free space, and the
// program's own folders.

#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <span>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvello::test {
namespace {

namespace fs = std::filesystem;

// Names in a folder that are not `keep`: temporary files a write left behind.
std::vector<std::string> Leftovers(const std::string& folder, const std::string& keep) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != keep)
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        MakeDirs(sys.At("/home/u/out"));
        platform = sys.MakePlatform();
    }

    FakeSystem sys;
    std::unique_ptr<PosixPlatform> platform;
};

TEST_F(Files, FindFileGivesSizesOfFilesOnly) {
    std::string big(70000, 'x');
    WriteFile(sys.At("/home/u/a.bin"), big);
    EXPECT_EQ(platform->FindFile("c:\\home\\u\\a.bin"), 70000);
    EXPECT_FALSE(platform->FindFile("c:\\home\\u"));
    EXPECT_FALSE(platform->FindFile("c:\\home\\u\\missing"));
    EXPECT_FALSE(platform->FindFile("q:\\a.bin"));
    // Sizes past 4 GiB stay whole (a sparse file costs no space).
    {
        std::string error;
        auto file = platform->CreateWrite("c:\\home\\u\\huge.bin", error);
        ASSERT_TRUE(file);
        ASSERT_EQ(::truncate(sys.At("/home/u/huge.bin").c_str(), 5LL << 30), 0);
    }
    EXPECT_EQ(platform->FindFile("c:\\home\\u\\huge.bin"), 5LL << 30);
}

TEST_F(Files, AMappedFileReadsAsZerosPastTheEndItLostWhileMapped) {
    const std::size_t size = 3 * 4096 + 100;
    WriteFile(sys.At("/home/u/m.bin"), std::string(size, 'x'));
    std::string error;
    auto file = platform->OpenRead("c:\\home\\u\\m.bin", error);
    ASSERT_TRUE(file) << error;
    const std::unique_ptr<IFileMapping> mapping = file->Map(static_cast<std::int64_t>(size));
    ASSERT_TRUE(mapping) << "a regular file on a local disk can be mapped";
    file->Close();
    const std::span<const std::uint8_t> bytes = mapping->Bytes();
    ASSERT_EQ(bytes.size(), size);
    EXPECT_EQ(bytes[0], 'x');
    EXPECT_EQ(bytes[size - 1], 'x');

    // Another program cuts the file short: what it lost reads as zeros, and the program
    // goes on instead of ending with SIGBUS.
    ASSERT_EQ(::truncate(sys.At("/home/u/m.bin").c_str(), 100), 0);
    EXPECT_EQ(bytes[50], 'x');
    EXPECT_EQ(bytes[2 * 4096 + 1], 0);
    EXPECT_EQ(bytes[size - 1], 0);

    // A file opened for writing is not mapped: it is still changing.
    auto written = platform->CreateWrite("c:\\home\\u\\w.bin", error);
    ASSERT_TRUE(written);
    EXPECT_FALSE(written->Map(1));
}

TEST_F(Files, BlocksRoundTripWithTheCountsActuallyMoved) {
    std::string error;
    auto out = platform->CreateWrite("c:\\home\\u\\out\\song.mp3", error);
    ASSERT_TRUE(out) << error;
    std::vector<char> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    EXPECT_EQ(out->Write(data.data(), 2048), 2048);
    EXPECT_EQ(out->Write(data.data() + 2048, 2952), 2952);
    EXPECT_EQ(out->Size(), 5000);
    EXPECT_TRUE(out->Close());
    EXPECT_TRUE(out->Close()); // twice is harmless

    auto in = platform->OpenRead("C:\\home\\u\\out\\song.mp3", error);
    ASSERT_TRUE(in) << error;
    EXPECT_EQ(in->Size(), 5000);
    std::vector<char> back(2048);
    std::vector<char> all;
    std::int64_t n = 0;
    while ((n = in->Read(back.data(), 2048)) > 0)
        all.insert(all.end(), back.begin(), back.begin() + n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(all, data);
    EXPECT_EQ(in->Write("x", 1), -1); // opened read-only
    EXPECT_FALSE(in->ErrorText().empty());
    EXPECT_EQ(in->Error(), std::errc::bad_file_descriptor);
    EXPECT_EQ(in->ErrorText(), "Bad file descriptor");
    EXPECT_FALSE(in->OutOfSpace());

    // Creating again empties the file.
    ASSERT_TRUE(platform->CreateWrite("c:\\home\\u\\out\\song.mp3", error));
    EXPECT_EQ(platform->FindFile("c:\\home\\u\\out\\song.mp3"), 0);
}

TEST_F(Files, OpenFailuresSayWhyAndNeverBlock) {
    std::string error;
    EXPECT_FALSE(platform->OpenRead("c:\\home\\u\\missing.mp3", error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(platform->OpenRead("c:\\home\\u", error)); // a folder
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(platform->CreateWrite("c:\\home\\u\\nofolder\\x.mp3", error));
    EXPECT_FALSE(error.empty());
    error.clear();
    // A FIFO where a song should be would hang a plain open() for reading.
    ASSERT_EQ(::mkfifo(sys.At("/home/u/fifo.mp3").c_str(), 0600), 0);
    EXPECT_FALSE(platform->OpenRead("c:\\home\\u\\fifo.mp3", error));
    EXPECT_FALSE(platform->CreateWrite("c:\\home\\u\\fifo.mp3", error));
    EXPECT_FALSE(platform->FindFile("c:\\home\\u\\fifo.mp3"));
}

TEST_F(Files, WritePastTheFileSizeLimitComesBackShortInsteadOfKilling) {
    // In a child, so the limit cannot touch the rest of the run.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string error;
        auto out = platform->CreateWrite("c:\\home\\u\\out\\limited.bin", error);
        rlimit limit{4096, RLIM_INFINITY};
        if (!out || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(10);
        // Small writes are collected and stored later: the failure shows when they are
        // stored. A big write goes to the disk at once and comes back short.
        std::vector<char> data(10000, 'x');
        const bool collected = out->Write(data.data(), 10000) == 10000;
        // Past the size limit is a file too large, not a full disk.
        const bool refused = !out->Close() && out->FileTooLarge() && !out->OutOfSpace();
        auto big = platform->CreateWrite("c:\\home\\u\\out\\big.bin", error);
        std::vector<char> lots(1 << 20, 'y');
        const bool cut = big && big->Write(lots.data(), 1 << 20) == 4096;
        ::_exit(collected && refused && cut ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(Files, DeleteRemovesFilesOnly) {
    WriteFile(sys.At("/home/u/out/a.mp3"), "x");
    EXPECT_TRUE(platform->DeleteFile("c:\\home\\u\\out\\a.mp3"));
    EXPECT_FALSE(Exists(sys.At("/home/u/out/a.mp3")));
    EXPECT_FALSE(platform->DeleteFile("c:\\home\\u\\out\\a.mp3"));
    EXPECT_FALSE(platform->DeleteFile("c:\\home\\u\\out"));
    EXPECT_TRUE(Exists(sys.At("/home/u/out")));
}

TEST_F(Files, CopyReplacesTheDestinationWholeOrNotAtAll) {
    const std::string ipod = sys.At("/media/u/MY IPOD");
    WriteFile(ipod + "/iPod_Control/iTunes/iTunesDB", std::string(300000, 'd'));
    WriteFile(sys.At("/opt/korvello/Idb.ant"), "old backup");
    EXPECT_TRUE(
        platform->CopyFile("d:\\iPod_Control\\iTunes\\itunesdb", "c:\\opt\\korvello\\Idb.ant"));
    EXPECT_EQ(ReadFile(sys.At("/opt/korvello/Idb.ant")), std::string(300000, 'd'));

    // A failed copy leaves the old destination and no temporary file.
    EXPECT_FALSE(platform->CopyFile("d:\\missing", "c:\\opt\\korvello\\Idb.ant"));
    EXPECT_EQ(ReadFile(sys.At("/opt/korvello/Idb.ant")), std::string(300000, 'd'));
    EXPECT_FALSE(platform->CopyFile("d:\\iPod_Control", "c:\\opt\\korvello\\Idb.ant"));
    EXPECT_FALSE(platform->CopyFile("d:\\iPod_Control\\iTunes\\itunesdb", "c:\\opt"));
    EXPECT_FALSE(platform->CopyFile("d:\\iPod_Control\\iTunes\\itunesdb", "c:\\no\\folder\\x"));
    EXPECT_EQ(Leftovers(sys.At("/opt/korvello"), "Idb.ant"),
              (std::vector<std::string>{"korvello", "korvello.portable"}));
}

TEST_F(Files, FreeSpaceIsAskedOfTheNearestExistingFolder) {
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(sys.At("/home/u").c_str(), &vfs), 0);
    const auto expected = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    const auto free = platform->GetDiskFreeSpace("c:\\home\\u\\not\\yet\\there.mp3");
    ASSERT_TRUE(free);
    // Other processes write meanwhile; the figure must be the same volume's, near enough.
    const auto diff = *free > expected ? *free - expected : expected - *free;
    EXPECT_LT(diff, 64u << 20);
    EXPECT_FALSE(platform->GetDiskFreeSpace("q:\\x"));
}

TEST_F(Files, ProgramFolderOnlyForAMarkedBuildTreeOrPortableCopy) {
    // The fake program is a build tree's: the marker lies beside it.
    EXPECT_EQ(platform->ProgramPath(), "c:\\opt\\korvello\\korvello");
    EXPECT_EQ(platform->AppFolder(), "c:\\opt\\korvello");

    // Each of these keeps its files in <dataHome>/korvello, created on first use, and
    // writes nothing beside the program.
    auto dataFolderOnly = [&](const std::string& programFolder, bool marker) {
        SCOPED_TRACE(programFolder);
        fs::remove_all(sys.At("/home/u/.local/share/korvello"));
        MakeDirs(sys.At(programFolder));
        WriteFile(sys.At(programFolder + "/korvello"), "binary");
        if (marker)
            WriteFile(sys.At(programFolder + "/") + kPortableMarker, "");
        sys.roots.programPath = sys.At(programFolder + "/korvello");
        auto other = sys.MakePlatform();
        EXPECT_EQ(other->AppFolder(), "c:\\home\\u\\.local\\share\\korvello");
        EXPECT_TRUE(fs::is_directory(sys.At("/home/u/.local/share/korvello")));
    };
    // An installed program, although root (who runs this) may write its folder.
    dataFolderOnly("/usr/bin", false);
    dataFolderOnly("/opt/installed", false);
    // A marker never makes a system folder the program's.
    dataFolderOnly("/usr/local/bin", true);
    // A folder that cannot be written (here: it no longer exists).
    sys.roots.programPath = sys.At("/opt/gone/korvello");
    auto gone = sys.MakePlatform();
    EXPECT_EQ(gone->AppFolder(), "c:\\home\\u\\.local\\share\\korvello");
}

} // namespace
} // namespace korvello::test
