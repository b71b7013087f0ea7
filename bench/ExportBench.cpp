// SPDX-License-Identifier: GPL-3.0-or-later
// The exports of a job of 100,000 songs, every one copied, with 1,000 playlists of 100
// entries each: the M3U8 files of the playlists and the library file, written into a
// temporary folder (each round replaces the last round's files). A third row writes one
// playlist of 100,000 entries.
#include "export/IpodPlaylists.h"
#include "export/JobCopies.h"
#include "export/LibraryFile.h"
#include "platform/posix/PosixPlatform.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <stdlib.h>

namespace fs = std::filesystem;
using namespace korvello;

namespace {

constexpr int kSongs = 100000;
constexpr int kPlaylists = 1000;
constexpr int kEntries = 100;

class ExportMachine {
public:
    static ExportMachine& Get() {
        static ExportMachine machine;
        return machine;
    }
    ~ExportMachine() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    ExportMachine(const ExportMachine&) = delete;
    ExportMachine& operator=(const ExportMachine&) = delete;

    IPlatform& Platform() { return *platform_; }
    TCatalogueView View(const std::vector<TPlaylist>& playlists) const {
        TCatalogueView view;
        view.songCount = kSongs;
        view.songAt = [this](std::int32_t i) -> const TSong& {
            return songs_[static_cast<std::size_t>(i)];
        };
        view.playlists = &playlists;
        view.masterName = u"Bench iPod";
        return view;
    }
    const TJobCopies& Copies() const { return copies_; }
    const std::vector<TPlaylist>& Playlists() const { return playlists_; }
    const std::vector<TPlaylist>& OneLongPlaylist() const { return long_; }
    // Empties the folder the exports write into.
    void ClearOut() {
        fs::remove_all(root_ / "root/lists");
        fs::create_directories(root_ / "root/lists");
    }

private:
    ExportMachine() {
        std::string pattern = (fs::temp_directory_path() / "korvello-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(root_ / "root/lists");
        fs::create_directories(root_ / "config");
        fs::create_directories(root_ / "data");
        std::ofstream(root_ / "mountinfo").close();
        PosixRoots roots;
        roots.rootDir = (root_ / "root").string();
        roots.mountinfo = (root_ / "mountinfo").string();
        roots.sysfs = (root_ / "sys").string();
        roots.byLabel = (root_ / "bylabel").string();
        roots.configHome = (root_ / "config").string();
        roots.dataHome = (root_ / "data").string();
        roots.programPath = (root_ / "root/korvello").string();
        roots.shellOpen = [](const std::string&) {
        };
        platform_ = std::make_unique<PosixPlatform>(roots);

        songs_.resize(kSongs);
        copies_.pathOfSong.resize(kSongs);
        const std::string music = (root_ / "root/Music/").string();
        for (int i = 0; i < kSongs; ++i) {
            TSong& song = songs_[static_cast<std::size_t>(i)];
            const std::u16string n(u"Song ñumber " + std::u16string(1, char16_t(u'0' + i % 10)));
            song.Title = n + u" & more";
            song.Artist = u"The Ártist " + std::u16string(1, char16_t(u'A' + i / 33 % 26));
            song.AlbumArtist = song.Artist;
            song.Album = u"Album " + std::u16string(1, char16_t(u'a' + i / 10 % 26));
            song.Genre = u"Rock";
            song.Composer = u"Somebody";
            song.Comment = u"ripped <2006>";
            song.FileType = u"MPEG audio file";
            song.FileBytes = 4000000 + i;
            song.Duration = 200000 + i;
            song.TrackNumber = i % 12 + 1;
            song.TrackCount = 12;
            song.DiscNumber = 1;
            song.DiscCount = 1;
            song.Year = 1990 + i % 30;
            song.Rating = i % 6 * 20;
            song.PlayCount = i % 50;
            song.SkipCount = i % 3;
            song.LastPlayed = 1600000000 + i;
            song.LastSkipped = 1600000000 + i / 2;
            song.DateAdded = 1500000000 + i;
            copies_.pathOfSong[static_cast<std::size_t>(i)] =
                music + "Artist " + std::to_string(i / 33) + "/Album " + std::to_string(i / 10) +
                "/Song ñumber " + std::to_string(i) + ".mp3";
        }
        playlists_.resize(kPlaylists);
        for (int p = 0; p < kPlaylists; ++p) {
            playlists_[static_cast<std::size_t>(p)].Name = u"Playlist " + std::u16string(1, u'x');
            for (int e = 0; e < kEntries; ++e)
                playlists_[static_cast<std::size_t>(p)].Songs.push_back((p * 97 + e * 1009) %
                                                                        kSongs);
        }
        long_.resize(1);
        long_[0].Name = u"Everything";
        for (int i = 0; i < kSongs; ++i)
            long_[0].Songs.push_back(kSongs - 1 - i);
    }

    fs::path root_;
    std::unique_ptr<PosixPlatform> platform_;
    std::vector<TSong> songs_;
    TJobCopies copies_;
    std::vector<TPlaylist> playlists_;
    std::vector<TPlaylist> long_;
};

void BM_ExportPlaylists100kSongs1000Playlists(benchmark::State& state) {
    ExportMachine& machine = ExportMachine::Get();
    const TCatalogueView view = machine.View(machine.Playlists());
    for (auto _ : state) {
        state.PauseTiming();
        machine.ClearOut();
        state.ResumeTiming();
        const TPlaylistExport result =
            ExportIpodPlaylists(machine.Platform(), "c:\\lists", view, machine.Copies());
        if (result.written != kPlaylists)
            state.SkipWithError("not every playlist was written");
    }
}

void BM_ExportOnePlaylistOf100kEntries(benchmark::State& state) {
    ExportMachine& machine = ExportMachine::Get();
    const TCatalogueView view = machine.View(machine.OneLongPlaylist());
    for (auto _ : state) {
        state.PauseTiming();
        machine.ClearOut();
        state.ResumeTiming();
        const TPlaylistExport result =
            ExportIpodPlaylists(machine.Platform(), "c:\\lists", view, machine.Copies());
        if (result.written != 1)
            state.SkipWithError("the playlist was not written");
    }
}

void BM_WriteLibraryFile100kSongs1000Playlists(benchmark::State& state) {
    ExportMachine& machine = ExportMachine::Get();
    const TCatalogueView view = machine.View(machine.Playlists());
    for (auto _ : state) {
        TLibraryExport counts;
        std::string error;
        if (!WriteLibraryFile(machine.Platform(), "c:\\lists\\Library.xml", view, machine.Copies(),
                              1700000000, counts, error))
            state.SkipWithError(error.c_str());
    }
}

} // namespace

BENCHMARK(BM_ExportPlaylists100kSongs1000Playlists)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportOnePlaylistOf100kEntries)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLibraryFile100kSongs1000Playlists)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
