#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A fake machine in a temporary folder for the catalogue tests (FakeMachineRoots), and a
// folder holding an iPod's contents mapped as drive e: through the per-user drives folder,
// the way a user maps a copy of an iPod.

#include "itdb/ITunesDbWriter.h"
#include "platform/posix/PosixPlatform.h"
#include "support/FakeRoots.h"
#include "support/TempDir.h"

#include <memory>
#include <string>

namespace korvello::test {

class IpodTree {
public:
    IpodTree() : roots_(FakeMachineRoots(dir_)) {
        MakeDirs(Ipod() + "/iPod_Control/iTunes");
        MapDrive('e', Ipod());
    }

    std::string Ipod() const { return dir_ / "ipod"; }
    const TempDir& Dir() const { return dir_; }
    // Where a device keeps its database, in the letter case devices use on disk.
    std::string DatabaseFile() const { return Ipod() + "/iPod_Control/iTunes/iTunesDB"; }

    void MapDrive(char letter, const std::string& folder) const {
        MapDriveIn(roots_.configHome, std::string(1, letter) + ":", folder);
    }
    // A song file of `bytes` bytes under the iPod folder (path relative, with "/").
    void AddSongFile(const std::string& relative, std::size_t bytes) const {
        WriteFile(Ipod() + "/" + relative, std::string(bytes, '\x55'));
    }
    void WriteDatabase(const itdb::ITunesDbWriter& writer) const {
        writer.WriteFile(DatabaseFile());
    }

    PosixRoots Roots() const { return roots_; }
    std::unique_ptr<PosixPlatform> MakePlatform() const {
        return std::make_unique<PosixPlatform>(Roots());
    }

private:
    TempDir dir_;
    PosixRoots roots_;
};

// The library of a later iPod: two songs, the second with UTF-8 string objects.
inline itdb::ITunesDbWriter LaterIpodLibrary() {
    itdb::ITunesDbWriter writer;
    writer.AddTrack(11)
        .Add(itdb::Title, "Plain")
        .Add(itdb::Location, ":iPod_Control:Music:F00:A.mp3")
        .Add(itdb::Artist, "Someone");
    auto& utf8 = writer.AddTrack(12);
    utf8.objects.push_back(itdb::Object::Utf8(itdb::Title, "Caf\u00e9 \u65e5\u672c \U0001F3B5"));
    utf8.objects.push_back(itdb::Object::Utf8(itdb::Album, "\u00c9t\u00e9"));
    utf8.Add(itdb::Artist, "Wide \u00e9");
    writer.AddPlaylist({"iPod", {11, 12}, true});
    return writer;
}

} // namespace korvello::test
