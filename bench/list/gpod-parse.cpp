// SPDX-License-Identifier: GPL-3.0-or-later
// gpod-parse MOUNTPOINT: times libgpod's own parse of the iPod folder's database, the
// yardstick the list benchmark holds korvello-cli against. Only itdb_parse is timed (not
// the program's start or the freeing afterwards). Prints one line:
//
//   <tracks> <playlists> <real ms> <CPU ms>
//
// Exit status 1 when libgpod refuses the database.

#include <gpod/itdb.h>

#include <chrono>
#include <cstdio>

#include <sys/resource.h>

namespace {

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gpod-parse MOUNTPOINT\n");
        return 2;
    }
    GError* error = nullptr;
    const double cpuBefore = CpuMs();
    const auto start = std::chrono::steady_clock::now();
    Itdb_iTunesDB* db = itdb_parse(argv[1], &error);
    const auto end = std::chrono::steady_clock::now();
    const double cpu = CpuMs() - cpuBefore;
    if (db == nullptr) {
        std::fprintf(stderr, "gpod-parse: %s\n", error != nullptr ? error->message : "no database");
        return 1;
    }
    std::printf("%u %u %.3f %.3f\n", itdb_tracks_number(db), itdb_playlists_number(db),
                std::chrono::duration<double, std::milli>(end - start).count(), cpu);
    itdb_free(db);
    return 0;
}
