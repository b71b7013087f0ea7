// SPDX-License-Identifier: GPL-3.0-or-later
// fuzz_seeds FOLDER: writes the starting corpus for `make fuzz`: small databases of the
// shapes devices write (tracks first or after the playlists, the track list as the third
// or fifth data set, UTF-8 string objects, unknown objects, iTunesCDB), from which the
// fuzzer's mutations start.
#include "itdb/ITunesDbWriter.h"

#include <iostream>
#include <string>

namespace itdb = korvello::itdb;

namespace {

itdb::ITunesDbWriter Library(int tracks, bool utf8) {
    itdb::ITunesDbWriter writer;
    for (int i = 1; i <= tracks; ++i) {
        itdb::Track& track = writer.AddTrack(i * 3);
        const std::string n = std::to_string(i);
        if (utf8) {
            track.objects.push_back(itdb::Object::Utf8(itdb::Title, "Caf\u00e9 " + n));
            track.objects.push_back(
                itdb::Object::Utf8(itdb::Location, ":iPod_Control:Music:F0" + n + ":A.m4a"));
        } else {
            track.Add(itdb::Title, "Song " + n)
                .Add(itdb::Location, ":iPod_Control:Music:F0" + n + ":B.mp3");
        }
        track.Add(itdb::Album, "Album").Add(itdb::Artist, i % 2 ? "Artist" : "\u65e5\u672c");
        track.Add(itdb::FileType, "MPEG audio file").Add(itdb::Composer, "C");
        if (i % 2 == 0)
            track.objects.push_back(itdb::Object::Opaque(100, 60));
        if (i == tracks)
            track.objects.push_back(itdb::Object::Opaque(52, 1100));
    }
    writer.AddPlaylist({"iPod", {3, 6}, true});
    return writer;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds FOLDER\n";
        return 2;
    }
    const std::string dir = argv[1];
    try {
        auto plain = Library(3, false);
        plain.WriteFile(dir + "/plain.itdb");
        itdb::WriteBytes(dir + "/plain.cdb", plain.BuildCompressed());

        auto playlistsFirst = Library(2, false);
        playlistsFirst.layout().playlistsFirst = true;
        playlistsFirst.WriteFile(dir + "/playlists-first.itdb");

        auto third = Library(2, true);
        third.layout().dataSetsBefore = {4, 8};
        third.WriteFile(dir + "/third.itdb");
        itdb::WriteBytes(dir + "/third.cdb", third.BuildCompressed());

        auto fifth = Library(1, false);
        fifth.layout().dataSetsBefore = {4, 8, 3};
        fifth.layout().playlistsFirst = true;
        fifth.WriteFile(dir + "/fifth.itdb");

        // The shape of a later iPod's iTunesCDB: albums and artists first, then tracks
        // that compress tenfold, as a real library's do.
        auto later = Library(12, true);
        later.layout().dataSetsBefore = {4, 8};
        later.layout().playlistsFirst = true;
        itdb::WriteBytes(dir + "/later.cdb", later.BuildCompressed());

        itdb::ITunesDbWriter empty;
        empty.WriteFile(dir + "/empty.itdb");
    } catch (const std::exception& e) {
        std::cerr << "fuzz_seeds: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
