#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A 50,000-song iPod in a temporary folder, mapped as drive e: through a configuration
// folder of its own, for benchmarks of the main window. Song files are sparse, so the
// folder costs almost no disk.

#include "BenchSupport.h"
#include "itdb/ITunesDbWriter.h"

#include <cstdio>
#include <string>

namespace korvello::bench {

class BenchiPod : public iPodFolder {
public:
    explicit BenchiPod(int tracks = 50000, int folders = 50)
        : iPodFolder("korvello-winbench-XXXXXX") {
        itdb::ITunesDbWriter writer;
        for (int i = 0; i < tracks; ++i) {
            char folder[16];
            char name[24];
            std::snprintf(folder, sizeof folder, "F%02d", i % folders);
            std::snprintf(name, sizeof name, "K%05d.mp3", i);
            writer.AddTrack(i + 1)
                .Add(itdb::Title, "Song number " + std::to_string(i) + (i % 9 == 0 ? " love" : ""))
                .Add(itdb::Location, std::string(":iPod_Control:Music:") + folder + ":" + name)
                .Add(itdb::Album, "Album " + std::to_string(i / 10))
                .Add(itdb::Artist, "The Artist " + std::to_string(i / 33))
                .Add(itdb::Genre, i % 3 == 0 ? "Rock" : "Pop")
                .Add(itdb::FileType, i % 4 == 0 ? "AAC audio file" : "MPEG audio file");
            AddSongFile(folder, name, i, i < folders);
        }
        Finish(writer);
    }
};

} // namespace korvello::bench
