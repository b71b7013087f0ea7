// SPDX-License-Identifier: GPL-3.0-or-later
// make-demo-ipod [--nano7g] FOLDER: writes the contents of a small demo iPod into FOLDER:
// an iPod_Control tree with a generated iTunesDB and a short WAV tone for each song, so
// the program can be tried without a device. With --nano7g it is an iPod nano 7G instead:
// every second song, and the database kept only as a compressed iTunesCDB. Every song file is a WAV
// (any player takes it), whatever file type its tags claim; the copies keep the file's own
// extension.
//
// The songs carry what an iPod keeps beside the tags: track and disc numbers, years, album
// artists and sort names, a compilation, a two-disc album, ratings, play and skip counts
// and dates. The iPod has two playlists, a smart playlist with its stored members, a
// "Play Counts" file (what was played, rated and skipped since the last sync) and
// On-The-Go lists (two on the classic, one on the nano). Everything is derived from the
// song's place in the list, so the same command always writes the same iPod.

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

// What the albums carry beyond their songs' tags.
struct DemoAlbum {
    const char* album;
    std::int32_t year;
    const char* albumArtist = "";
    const char* sortAlbum = "";
    const char* sortAlbumArtist = "";
    bool compilation = false;
    bool twoDiscs = false;
};

const std::vector<DemoAlbum> kAlbums = {
    {"Northern Lights", 2009, "Aurora Lane"},
    {"Live at the Mill", 2010},
    {"Steam & Brass", 2007, "The Copper Kettles", "", "Copper Kettles"},
    {"\u591c\u660e\u3051\u306e\u6b4c", 2012, "", "\u3088\u3042\u3051\u306e\u3046\u305f"},
    {"Caf\u00e9 de la Gare", 2004, "\u00c9lodie Marchand", "", "Marchand, \u00c9lodie", false,
     true},
    {"\u0417\u0438\u043c\u043d\u0438\u0439 \u0432\u0435\u0447\u0435\u0440", 1998},
    {"Field Recordings", 2015, "Various Artists", "", "", true},
    {"Night Shift", 2011},
    {"Symphony No. 1", 1890, "City Orchestra"},
};

// Sort names as iTunes keeps them: the article moved, names in reading order or in kana.
const std::vector<std::pair<const char*, const char*>> kSortArtists = {
    {"The Copper Kettles", "Copper Kettles"},
    {"\u4f50\u85e4\u7f8e\u73b2", "\u3055\u3068\u3046\u307f\u308c\u3044"},
    {"\u00c9lodie Marchand", "Marchand, \u00c9lodie"},
};
const std::vector<std::pair<const char*, const char*>> kSortTitles = {
    {"\u6771\u4eac\u306e\u96e8", "\u3068\u3046\u304d\u3087\u3046\u306e\u3042\u3081"},
    {"\u661f\u7a7a", "\u307b\u3057\u305e\u3089"},
};
const std::vector<std::pair<const char*, const char*>> kSortComposers = {
    {"A. Composer", "Composer, A."},
    {"\u7530\u4e2d\u5065", "\u305f\u306a\u304b\u3051\u3093"},
};

// 2009-03-01T10:00:00Z, when the first song was added, and 2009-05-01T18:04:11Z, when the
// first one was played.
constexpr std::int64_t kFirstAdded = 1235901600;
constexpr std::int64_t kFirstPlayed = 1241201051;

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

const char* Lookup(const std::vector<std::pair<const char*, const char*>>& table,
                   const std::string& key) {
    for (const auto& [from, to] : table) {
        if (key == from)
            return to;
    }
    return "";
}

const DemoAlbum* AlbumOf(const DemoSong& song) {
    for (const DemoAlbum& album : kAlbums) {
        if (std::string(song.album) == album.album)
            return &album;
    }
    return nullptr;
}

// Track and disc numbers of song `i`: its place among the songs of its album (the same
// album text), the first half of a two-disc album on disc 1, the rest on disc 2.
void Number(itdb::Track& track, std::size_t i) {
    const DemoSong& song = kSongs[i];
    if (!*song.album)
        return;
    std::int32_t place = 0;
    std::int32_t count = 0;
    for (std::size_t j = 0; j < kSongs.size(); ++j) {
        if (std::string(kSongs[j].album) != song.album)
            continue;
        if (j < i)
            ++place;
        ++count;
    }
    const DemoAlbum* album = AlbumOf(song);
    if (album && album->twoDiscs) {
        const std::int32_t firstDisc = (count + 1) / 2;
        const bool second = place >= firstDisc;
        track.discNumber = second ? 2 : 1;
        track.discCount = 2;
        track.trackNumber = (second ? place - firstDisc : place) + 1;
        track.trackCount = second ? count - firstDisc : firstDisc;
    } else {
        track.trackNumber = place + 1;
        track.trackCount = count;
        track.discNumber = 1;
        track.discCount = 1;
    }
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
    const DemoAlbum* album = AlbumOf(song);
    const std::pair<std::int32_t, const char*> tags[] = {
        {itdb::Album, song.album},
        {itdb::Artist, song.artist},
        {itdb::Genre, song.genre},
        {itdb::FileType, song.fileType},
        {itdb::Comment, song.comment},
        {itdb::Composer, song.composer},
        {itdb::AlbumArtist, album ? album->albumArtist : ""},
        {itdb::SortTitle, Lookup(kSortTitles, song.title)},
        {itdb::SortArtist, Lookup(kSortArtists, song.artist)},
        {itdb::SortAlbum, album ? album->sortAlbum : ""},
        {itdb::SortAlbumArtist, album ? album->sortAlbumArtist : ""},
        {itdb::SortComposer, Lookup(kSortComposers, song.composer)}};
    for (const auto& [type, text] : tags) {
        if (*text)
            track.Add(type, text);
    }

    Number(track, i);
    track.year = album ? album->year : 0;
    track.compilation = album && album->compilation;
    const auto n = static_cast<std::int32_t>(i);
    track.rating = (n * 7 % 6) * 20;
    track.playCount = n * 5 % 13;
    track.skipCount = n % 4 == 3 ? 1 + n % 3 : 0;
    track.dateAdded = kFirstAdded + n * 5 * 3600;
    track.lastPlayed = track.playCount > 0 ? kFirstPlayed + n * 97331 : 0;
    track.lastSkipped = track.skipCount > 0 ? kFirstPlayed + n * 86400 + 600 : 0;
    track.bitrate = 353; // 22,050 Hz, 16-bit mono
    track.sampleRate = 22050;
    track.mediaType = 1; // audio
    return id;
}

// The demo's playlists, by song index; each iPod keeps the songs it holds.
const std::vector<std::size_t> kFavourites = {27, 0, 15, 12, 7, 16};
const std::vector<std::size_t> kNightDrive = {28, 29, 1, 19, 22, 4};
const std::vector<std::vector<std::size_t>> kOnTheGo = {{16, 4, 10}, {3, 2}};

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
        // As iTunes writes it: the playlists a second time in the podcast data set.
        writer.layout().podcastDataSet = true;
        itdb::Playlist master{"Demo iPod", {}, true};
        // The nano 7G demo holds every other song, so the two iPods are told apart.
        std::vector<std::int32_t> idOf(kSongs.size(), 0);
        std::vector<std::int32_t> positionOf(kSongs.size(), -1);
        for (std::size_t i = 0; i < kSongs.size(); i += nano ? 2 : 1) {
            positionOf[i] = static_cast<std::int32_t>(master.trackIds.size());
            idOf[i] = AddSong(writer, root, i);
            master.trackIds.push_back(idOf[i]);
        }
        writer.AddPlaylist(master);
        auto playlist = [&](const char* name, const std::vector<std::size_t>& songs) {
            itdb::Playlist list;
            list.name = name;
            for (const std::size_t i : songs) {
                if (positionOf[i] >= 0)
                    list.trackIds.push_back(idOf[i]);
            }
            return list;
        };
        writer.AddPlaylist(playlist("Favourites", kFavourites));
        writer.AddPlaylist(playlist("Night Drive", kNightDrive));
        // Four stars and more; the stored members are what the iPod plays.
        itdb::Playlist topRated;
        topRated.name = "Top Rated";
        topRated.kind = itdb::Playlist::Kind::Smart;
        topRated.rules.push_back(itdb::SmartRule::Number(0x19, 0x10, 60, 60));
        for (const itdb::Track& track : writer.tracks()) {
            if (track.rating >= 80)
                topRated.trackIds.push_back(track.id);
        }
        writer.AddPlaylist(topRated);

        // Since the last sync: the first song played twice more, さくら rated five stars
        // and played once, Brass Knuckle Waltz skipped.
        itdb::PlayCounts counts = writer.UnchangedPlayCounts();
        auto entry = [&](std::size_t i) -> itdb::PlayCountEntry* {
            return positionOf[i] >= 0 ? &counts.entries[static_cast<std::size_t>(positionOf[i])]
                                      : nullptr;
        };
        if (auto* e = entry(0)) {
            e->plays = 2;
            e->lastPlayed = 1243973700; // 2009-06-02T20:15:00Z
        }
        if (auto* e = entry(12)) {
            e->plays = 1;
            e->lastPlayed = 1243977300;
            e->rating = 100;
        }
        if (auto* e = entry(8)) {
            e->skips = 1;
            e->lastSkipped = 1243980000;
        }

        std::vector<itdb::OnTheGo> onTheGo;
        for (const auto& songs : kOnTheGo) {
            itdb::OnTheGo list;
            for (const std::size_t i : songs) {
                if (positionOf[i] >= 0)
                    list.positions.push_back(positionOf[i]);
            }
            if (list.positions.size() == songs.size())
                onTheGo.push_back(list);
        }

        // The database's name in the case devices write it; the program asks for
        // "itunesdb" and finds it regardless.
        writer.WriteITunesFolder((root / "iPod_Control" / "iTunes").string(), nano, &counts,
                                 onTheGo);
        std::cout << (nano ? "demo iPod nano 7G (iTunesCDB) with " : "demo iPod with ")
                  << master.trackIds.size() << " songs written to " << root.string() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "make-demo-ipod: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
