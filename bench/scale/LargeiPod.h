#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A large iPod in a temporary folder, mapped as drive e: through a configuration folder
// of its own: `songs` songs in ten-song albums and twenty-song artists, with titles and
// names of varied lengths, some of them not ASCII, and some albums and artists written
// in another letter case on a few of their songs, as a real library has them. Every track
// carries the whole record (album artist, sort names on some, numbers, times and counts
// in a header of iTunes 7's length). Song files are sparse, so the folder costs almost no
// disk. Its database also holds 200 playlists of 5,000 songs each, spread over the whole
// library, unless it is made without playlists.

#include "BenchSupport.h"
#include "itdb/ITunesDbWriter.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace korvello::bench {

namespace words {

inline const char* const kPlain[] = {
    "love",   "night",   "blue",     "river",  "fire",     "heart",   "summer", "city",
    "dream",  "road",    "light",    "rain",   "golden",   "home",    "wild",   "silver",
    "dance",  "morning", "shadow",   "sweet",  "electric", "ocean",   "stone",  "paper",
    "winter", "echo",    "midnight", "garden", "thunder",  "crystal", "velvet", "highway",
    "moon",   "angel",   "radio",    "glass",  "forever",  "sun",     "lonely", "satellite"};
inline const char* const kForeign[] = {"Café", "Björk", "Señor", "Mötley", "naïve",  "Ærø",
                                       "Žena", "Łódź",  "東京",  "Москва", "Ελλάδα", "Straße"};

inline std::uint32_t Mix(std::uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline std::string Capital(std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z')
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    return word;
}

// A word chosen by `seed`; about one in twelve is not ASCII.
inline std::string Word(std::uint32_t seed) {
    const std::uint32_t h = Mix(seed);
    if (h % 12 == 0)
        return kForeign[(h / 12) % std::size(kForeign)];
    return Capital(kPlain[(h / 12) % std::size(kPlain)]);
}

// A distinct name for every `n`: two words fixed by n's digits in base 40, then up to
// three further words chosen by its hash, so lengths vary from short to long.
inline std::string Name(std::uint32_t n, std::uint32_t salt) {
    std::string name = Capital(kPlain[n % 40]) + " " + Capital(kPlain[(n / 40) % 40]);
    if (n >= 1600)
        name += " " + std::to_string(n / 1600 + 1);
    const std::uint32_t extra = Mix(n * 31 + salt) % 4;
    for (std::uint32_t k = 0; k < extra; ++k)
        name += " " + Word(n * 7 + k + salt);
    return name;
}

inline std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace words

class LargeiPod : public iPodFolder {
public:
    static constexpr int kPlaylists = 200;
    static constexpr int kPlaylistSongs = 5000;

    explicit LargeiPod(int songs, int playlists = kPlaylists, int folders = 50)
        : iPodFolder("korvello-scale-XXXXXX") {
        // Made by a child process, so that the generator's memory never counts in the
        // peak of the process that measures.
        const pid_t pid = fork();
        if (pid < 0)
            throw std::runtime_error("fork failed");
        if (pid == 0) {
            int status = 0;
            try {
                Make(songs, playlists, folders);
            } catch (...) {
                status = 1;
            }
            _exit(status);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            throw std::runtime_error("making the iPod failed");
    }

private:
    void Make(int songs, int playlists, int folders) {
        namespace fs = std::filesystem;
        itdb::ITunesDbWriter writer;
        for (int i = 0; i < songs; ++i) {
            const auto u = static_cast<std::uint32_t>(i);
            char folder[16];
            char name[24];
            std::snprintf(folder, sizeof folder, "F%02d", i % folders);
            std::snprintf(name, sizeof name, "K%06d.mp3", i);
            // Titles of one to six words; "love" and "night" both occur in a few percent.
            std::string title;
            const std::uint32_t titleWords = 1 + words::Mix(u) % 6;
            for (std::uint32_t k = 0; k < titleWords; ++k)
                title += (k ? " " : "") + words::Word(u * 13 + k);
            std::string album = words::Name(u / 10, 1);
            std::string artist = words::Name(u / 20, 2);
            if (words::Mix(u + 99) % 50 == 0)
                album = words::Upper(album);
            if (words::Mix(u + 77) % 40 == 0)
                artist = words::Upper(artist);
            itdb::Track& track = writer.AddTrack(i + 1);
            const std::uint32_t h = words::Mix(u + 7);
            track.lengthMs = 120000 + static_cast<std::int32_t>(h % 240000);
            track.trackNumber = i % 10 + 1;
            track.trackCount = 10;
            track.discNumber = 1;
            track.discCount = 1;
            track.year = 1960 + static_cast<std::int32_t>(h % 60);
            track.rating = static_cast<std::int32_t>(h % 6) * 20;
            track.playCount = static_cast<std::int32_t>(h % 50);
            track.skipCount = static_cast<std::int32_t>(h % 7);
            track.dateAdded = 1300000000 + i;
            track.lastPlayed = track.playCount > 0 ? 1600000000 + i : 0;
            track.bitrate = 256;
            track.sampleRate = 44100;
            track.mediaType = 1;
            if (h % 8 == 0)
                track.Add(itdb::SortArtist, words::Name(u / 20, 2));
            track.Add(itdb::AlbumArtist, words::Name(u / 20, 2))
                .Add(itdb::Title, title)
                .Add(itdb::Location, std::string(":iPod_Control:Music:") + folder + ":" + name)
                .Add(itdb::Album, album)
                .Add(itdb::Artist, artist)
                .Add(itdb::Genre, i % 3 == 0 ? "Rock" : "Pop")
                .Add(itdb::FileType, i % 4 == 0 ? "AAC audio file" : "MPEG audio file")
                .Add(itdb::Composer, words::Name(u / 30, 3));
            AddSongFile(folder, name, i, i < folders);
        }
        for (int p = 0; p < playlists; ++p) {
            itdb::Playlist playlist;
            playlist.name = "Playlist " + std::to_string(p + 1);
            playlist.trackIds.reserve(kPlaylistSongs);
            for (int k = 0; k < kPlaylistSongs; ++k)
                playlist.trackIds.push_back(
                    1 +
                    static_cast<std::int32_t>(words::Mix(static_cast<std::uint32_t>(p * 7919 + k)) %
                                              static_cast<std::uint32_t>(songs)));
            writer.AddPlaylist(std::move(playlist));
        }
        Finish(writer);
        // A device's folders were last changed long ago; freshly made ones count as still
        // changing, and the backend would not trust its cached listings of them.
        const fs::path ipod = Ipod();
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
        for (const auto& entry : fs::recursive_directory_iterator(ipod))
            if (entry.is_directory())
                fs::last_write_time(entry.path(), past);
        fs::last_write_time(ipod, past);
    }
};

} // namespace korvello::bench
