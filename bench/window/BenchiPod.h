#pragma once
// A 50,000-song iPod in a temporary folder, mapped as drive e: through a configuration
// folder of its own, for benchmarks of the main window. Song files are sparse, so the
// folder costs almost no disk.

#include "itdb/ITunesDbWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace korvello::bench {

class BenchiPod {
public:
    explicit BenchiPod(int tracks = 50000, int folders = 50) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "korvello-winbench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        const fs::path ipod = root_ / "ipod";
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
            const fs::path file = ipod / "iPod_Control" / "Music" / folder / name;
            if (i < folders)
                fs::create_directories(file.parent_path());
            std::ofstream(file).close();
            fs::resize_file(file, 3'000'000 + static_cast<std::uintmax_t>(i % 97) * 50'000);
        }
        writer.WriteFile((ipod / "iPod_Control/iTunes/iTunesDB").string());
        fs::create_directories(root_ / "config/korvello/drives");
        fs::create_directories(root_ / "data");
        fs::create_symlink(ipod, root_ / "config/korvello/drives/e:");
    }
    ~BenchiPod() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    BenchiPod(const BenchiPod&) = delete;
    BenchiPod& operator=(const BenchiPod&) = delete;

    std::string ConfigHome() const { return (root_ / "config").string(); }
    std::string DataHome() const { return (root_ / "data").string(); }

private:
    std::filesystem::path root_;
};

} // namespace korvello::bench
