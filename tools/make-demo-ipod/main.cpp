// SPDX-License-Identifier: GPL-3.0-or-later
// make-demo-ipod [--nano7g] FOLDER: writes the contents of a small demo iPod into FOLDER:
// an iPod_Control tree with a generated iTunesDB and a short WAV tone for each song, so
// the program can be tried without a device. With --nano7g it is an iPod nano 7G instead:
// every second song, and the database kept only as a compressed iTunesCDB. Every song file is a WAV
// (any player takes it), whatever file type its tags claim; the copies keep the file's own
// extension.

#include "itdb/ITunesDbWriter.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
namespace itdb = korvello::itdb;

namespace {

constexpr std::size_t kFolders = 5;

struct DemoSong {
    const char* title;
    const char* artist;
    const char* album;
    const char* genre;
    const char* fileType;
    const char* comment = "";
    const char* composer = "";
    bool fileMissing = false;
};

const char* const kMpeg = "MPEG audio file";
const char* const kWav = "WAV audio file";
const char* const kAac = "AAC audio file";

// Varied on purpose: accents, Japanese and Cyrillic, artists and albums that differ only
// in letter case, songs without artist, album or file type, the same title twice, a
// comment with a tab and a line break, and one song whose file is gone.
const std::vector<DemoSong> kSongs = {
    {"Northern Lights", "Aurora Lane", "Northern Lights", "Pop", kMpeg},
    {"Glass Harbour", "Aurora Lane", "Northern Lights", "Pop", kMpeg},
    {"Paper Moon", "Aurora Lane", "Northern Lights", "Pop", kMpeg, "Single edit"},
    {"Slow Tide", "Aurora Lane", "Northern Lights", "Pop", kAac},
    {"Home", "Aurora Lane", "Northern Lights", "Pop", kMpeg},
    {"Lanterns (Live)", "aurora lane", "Live at the Mill", "Pop", kWav,
     "Recorded live\nat the mill"},
    {"Glass Harbour (Live)", "aurora lane", "Live at the Mill", "Pop", kWav},
    {"Steam Engine", "The Copper Kettles", "Steam & Brass", "Rock", kMpeg},
    {"Brass Knuckle Waltz", "The Copper Kettles", "Steam & Brass", "Rock", kMpeg},
    {"Home", "The Copper Kettles", "Steam & Brass", "Rock", kMpeg, "Same title, other band"},
    {"Rust\tand Rivets", "The Copper Kettles", "Steam & Brass", "Rock", kMpeg},
    {"Boiler Room", "The Copper Kettles", "steam & brass", "Rock", kAac},
    {"\u3055\u304f\u3089", "\u4f50\u85e4\u7f8e\u73b2", "\u591c\u660e\u3051\u306e\u6b4c", "J-Pop",
     kAac},
    {"\u6771\u4eac\u306e\u96e8", "\u4f50\u85e4\u7f8e\u73b2", "\u591c\u660e\u3051\u306e\u6b4c",
     "J-Pop", kAac},
    {"\u661f\u7a7a", "\u4f50\u85e4\u7f8e\u73b2", "\u591c\u660e\u3051\u306e\u6b4c", "J-Pop", kAac,
     "", "\u7530\u4e2d\u5065"},
    {"\u00c0 bient\u00f4t", "\u00c9lodie Marchand", "Caf\u00e9 de la Gare", "Chanson", kMpeg},
    {"D\u00e9j\u00e0 vu", "\u00c9lodie Marchand", "Caf\u00e9 de la Gare", "Chanson", kMpeg},
    {"Cr\u00e8me br\u00fbl\u00e9e", "\u00c9lodie Marchand", "Caf\u00e9 de la Gare", "Chanson",
     kMpeg},
    {"No\u00ebl \u00e0 Paris", "\u00c9lodie Marchand", "Caf\u00e9 de la Gare", "Chanson", kWav},
    {"\u0421\u043d\u0435\u0433", "\u041a\u0438\u043d\u043e \u0422\u0440\u0438\u043e",
     "\u0417\u0438\u043c\u043d\u0438\u0439 \u0432\u0435\u0447\u0435\u0440", "Rock", kMpeg},
    {"\u0414\u043e\u0440\u043e\u0433\u0430 \u0434\u043e\u043c\u043e\u0439",
     "\u041a\u0438\u043d\u043e \u0422\u0440\u0438\u043e",
     "\u0417\u0438\u043c\u043d\u0438\u0439 \u0432\u0435\u0447\u0435\u0440", "Rock", kMpeg},
    {"\u041d\u043e\u0447\u044c", "\u041a\u0438\u043d\u043e \u0422\u0440\u0438\u043e",
     "\u0417\u0438\u043c\u043d\u0438\u0439 \u0432\u0435\u0447\u0435\u0440", "Rock", kMpeg},
    {"Rain on the Roof", "", "Field Recordings", "Ambient", kWav},
    {"Morning Birds", "", "Field Recordings", "Ambient", kWav},
    {"Harbour Bells", "", "Field Recordings", "Ambient", ""},
    {"Voice Memo 1", "", "", "", ""},
    {"Voice Memo 2", "", "", "", "", "Reminder: call back"},
    {"Blue Hour", "Sam Okafor", "Night Shift", "Jazz", kMpeg, "", "Sam Okafor"},
    {"Last Tram", "Sam Okafor", "Night Shift", "Jazz", kMpeg},
    {"Streetlights", "Sam Okafor", "Night Shift", "Jazz", kMpeg},
    {"Lost Track", "Sam Okafor", "Night Shift", "Jazz", kMpeg, "The file of this song is missing",
     "", true},
    {"Overture", "City Orchestra", "Symphony No. 1", "Classical", kAac, "", "A. Composer"},
    {"Allegro", "City Orchestra", "Symphony No. 1", "Classical", kAac, "", "A. Composer"},
    {"Finale", "City Orchestra", "Symphony No. 1", "Classical", kAac, "", "A. Composer"},
    {"Untitled", "Garage Demo", "", "Rock", kMpeg},
    {"untitled", "GARAGE DEMO", "", "Rock", kMpeg},
};

// A mono 16-bit PCM tone with short fades, `ms` milliseconds long.
std::vector<char> WavTone(double frequency, int ms) {
    constexpr int kRate = 22050;
    const int samples = kRate * ms / 1000;
    const auto dataBytes = static_cast<std::uint32_t>(samples * 2);
    std::vector<char> wav;
    auto put32 = [&wav](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            wav.push_back(static_cast<char>(v >> (8 * i)));
    };
    auto put16 = [&wav](std::uint16_t v) {
        wav.push_back(static_cast<char>(v & 0xFF));
        wav.push_back(static_cast<char>(v >> 8));
    };
    auto tag = [&wav](const char* t) {
        wav.insert(wav.end(), t, t + 4);
    };
    tag("RIFF");
    put32(36 + dataBytes);
    tag("WAVE");
    tag("fmt ");
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(kRate);
    put32(kRate * 2);
    put16(2);
    put16(16);
    tag("data");
    put32(dataBytes);
    const int fade = kRate / 50;
    for (int i = 0; i < samples; ++i) {
        double gain = 0.3;
        if (i < fade)
            gain *= static_cast<double>(i) / fade;
        if (samples - i < fade)
            gain *= static_cast<double>(samples - i) / fade;
        const double value = gain * std::sin(2.0 * M_PI * frequency * i / kRate);
        put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value * 32767)));
    }
    return wav;
}

// Device-style file name: four capital letters, unique per song.
std::string DeviceName(std::size_t index) {
    std::string name = "KV";
    name += static_cast<char>('A' + index / 26 % 26);
    name += static_cast<char>('A' + index % 26);
    return name + ".wav";
}

// Writes the song file of song `i` (a short tone) into its music folder, unless the demo
// leaves it missing, and adds its track to the database.
std::int32_t AddSong(itdb::ITunesDbWriter& writer, const fs::path& root, std::size_t i) {
    const DemoSong& song = kSongs[i];
    const std::string folder = "F0" + std::to_string(i % kFolders);
    const std::string name = DeviceName(i);
    const int ms = 250 + static_cast<int>(i % 6) * 70;
    const std::vector<char> wav = WavTone(220.0 * std::pow(2.0, (i % 24) / 12.0), ms);
    if (!song.fileMissing) {
        std::ofstream out(root / "iPod_Control" / "Music" / folder / name,
                          std::ios::binary | std::ios::trunc);
        out.write(wav.data(), static_cast<std::streamsize>(wav.size()));
        if (!out)
            throw std::runtime_error("cannot write " + name);
    }
    const auto id = static_cast<std::int32_t>(1000 + i * 2);
    itdb::Track& track = writer.AddTrack(id);
    track.fileSize = static_cast<std::int32_t>(wav.size());
    track.lengthMs = ms;
    track.Add(itdb::Title, song.title);
    track.Add(itdb::Location, ":iPod_Control:Music:" + folder + ":" + name);
    const std::pair<itdb::StringType, const char*> tags[] = {
        {itdb::Album, song.album},     {itdb::Artist, song.artist},
        {itdb::Genre, song.genre},     {itdb::FileType, song.fileType},
        {itdb::Comment, song.comment}, {itdb::Composer, song.composer}};
    for (const auto& [type, text] : tags) {
        if (*text)
            track.Add(type, text);
    }
    return id;
}

} // namespace

int main(int argc, char** argv) {
    const bool nano = argc == 3 && std::string(argv[1]) == "--nano7g";
    if (argc != 2 && !nano) {
        std::cerr << "usage: make-demo-ipod [--nano7g] FOLDER\n";
        return 2;
    }
    const fs::path root = argv[argc - 1];
    try {
        for (std::size_t f = 0; f < kFolders; ++f)
            fs::create_directories(root / "iPod_Control" / "Music" / ("F0" + std::to_string(f)));
        fs::create_directories(root / "iPod_Control" / "iTunes");

        itdb::ITunesDbWriter writer;
        itdb::Playlist master{"Demo iPod", {}, true};
        // The nano 7G demo holds every other song, so the two iPods are told apart.
        for (std::size_t i = 0; i < kSongs.size(); i += nano ? 2 : 1)
            master.trackIds.push_back(AddSong(writer, root, i));
        writer.AddPlaylist(master);
        if (nano) {
            itdb::WriteBytes((root / "iPod_Control" / "iTunes" / "iTunesCDB").string(),
                             writer.BuildCompressed());
        } else {
            // The database's name in the case devices write it; the program asks for
            // "itunesdb" and finds it regardless.
            writer.WriteFile((root / "iPod_Control" / "iTunes" / "iTunesDB").string());
        }
        std::cout << (nano ? "demo iPod nano 7G (iTunesCDB) with " : "demo iPod with ")
                  << master.trackIds.size() << " songs written to " << root.string() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "make-demo-ipod: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
