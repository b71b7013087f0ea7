#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A complete fake machine: a temporary tree whose folder "root" is drive c:, a per-user
// config and data home, a program folder beside which the settings, log and backup are
// written, mapped drives for iPods and a recording shell. Nothing touches the real home
// folder or mount table. It needs no Qt; the window tests add scripted dialogs
// (AppFixture).

#include "core/ErrorLog.h"
#include "platform/posix/PosixPlatform.h"
#include "support/FakeRoots.h"
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <vector>

namespace korvello::test {

struct DemoSong {
    std::int32_t id = 0;
    std::string title, album, artist, genre, fileType, comment, composer;
    std::string file;      // relative to Music/, e.g. "F00/A.mp3"; empty: no location
    std::size_t bytes = 0; // size of the song file written (none when `missing`)
    bool missing = false;
};

class MachineFixture {
public:
    MachineFixture();
    ~MachineFixture();
    MachineFixture(const MachineFixture&) = delete;
    MachineFixture& operator=(const MachineFixture&) = delete;

    TempDir tmp;
    std::string root;       // the Linux folder that is c:
    std::string configHome; // XDG config home
    std::string dataHome;
    std::string programDir;          // Linux folder of the program file (AppFolder)
    std::vector<std::string> opened; // paths handed to the shell
    std::unique_ptr<PosixPlatform> platform;

    // Writes an iPod tree with these songs into tmp/<name> and returns its Linux folder.
    std::string MakeiPod(const std::string& name, const std::vector<DemoSong>& songs);
    // Maps a folder as drive `letter` (e.g. "e:") through the per-user drives folder.
    void MapDrive(const std::string& letter, const std::string& folder);
    void UnmapDrive(const std::string& letter);
    // The error log's content ("" when there is none).
    std::string Log() const;
    // The Linux path of a file in the program folder.
    std::string InAppFolder(const std::string& name) const { return programDir + "/" + name; }

    static std::vector<DemoSong> SampleSongs();
};

} // namespace korvello::test
