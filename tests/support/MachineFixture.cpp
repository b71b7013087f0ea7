// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MachineFixture.h"

#include "itdb/ITunesDbWriter.h"

namespace korvello::test {

MachineFixture::MachineFixture() {
    PosixRoots roots = FakeMachineRoots(tmp);
    root = roots.rootDir;
    configHome = roots.configHome;
    dataHome = roots.dataHome;
    programDir = root + "/opt/korvello";
    roots.shellOpen = [this](const std::string& path) {
        opened.push_back(path);
    };
    platform = std::make_unique<PosixPlatform>(roots);
    TLogClass::SetPlatform(platform.get());
    TLogClass::SetAppFolder("");
}

MachineFixture::~MachineFixture() {
    TLogClass::SetPlatform(nullptr);
    TLogClass::SetAppFolder("");
}

std::string MachineFixture::MakeiPod(const std::string& name, const std::vector<DemoSong>& songs) {
    const std::string folder = tmp / name;
    itdb::ITunesDbWriter writer;
    for (const DemoSong& s : songs) {
        itdb::Track& t = writer.AddTrack(s.id);
        t.Add(itdb::Title, s.title);
        if (!s.file.empty()) {
            std::string location = ":iPod_Control:Music:" + s.file;
            for (char& c : location)
                if (c == '/')
                    c = ':';
            t.Add(itdb::Location, location);
        }
        if (!s.album.empty())
            t.Add(itdb::Album, s.album);
        if (!s.artist.empty())
            t.Add(itdb::Artist, s.artist);
        if (!s.genre.empty())
            t.Add(itdb::Genre, s.genre);
        if (!s.fileType.empty())
            t.Add(itdb::FileType, s.fileType);
        if (!s.comment.empty())
            t.Add(itdb::Comment, s.comment);
        if (!s.composer.empty())
            t.Add(itdb::Composer, s.composer);
        if (!s.file.empty() && !s.missing)
            WriteFile(folder + "/iPod_Control/Music/" + s.file, std::string(s.bytes, 'x'));
    }
    writer.WriteFile(folder + "/iPod_Control/iTunes/iTunesDB");
    return folder;
}

void MachineFixture::MapDrive(const std::string& letter, const std::string& folder) {
    MapDriveIn(configHome, letter, folder);
}

void MachineFixture::UnmapDrive(const std::string& letter) {
    UnmapDriveIn(configHome, letter);
}

std::string MachineFixture::Log() const {
    return ReadFile(programDir + "/apces.cnt");
}

std::vector<DemoSong> MachineFixture::SampleSongs() {
    return {
        {101, "Yesterday", "Help", "The Beatles", "Pop", "MPEG audio file", "", "", "F00/AAAA.mp3",
         3000},
        {102, "Blue Train", "Blue Train", "John Coltrane", "Jazz", "MPEG audio file", "remaster",
         "", "F01/BBBB.mp3", 5000},
        {103, "Help", "Help", "the beatles", "Pop", "WAV audio file", "", "", "F00/CCCC.wav", 2000},
        {104, "So What", "Kind of Blue", "Miles Davis", "Jazz", "AAC audio file", "", "Miles Davis",
         "F02/DDDD.m4a", 4000},
        {105, "Lost Song", "Kind of Blue", "", "Jazz", "", "", "", "F02/EEEE.mp3", 0, true},
    };
}

} // namespace korvello::test
