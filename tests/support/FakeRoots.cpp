// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeRoots.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace korvello::test {

PosixRoots FakeMachineRoots(const TempDir& dir, const FakeLayout& layout) {
    PosixRoots roots;
    roots.rootDir = layout.drive.empty() ? dir.path() : dir / layout.drive;
    roots.mountinfo = dir / "mountinfo";
    roots.sysfs = dir / "sys";
    roots.byLabel = dir / "bylabel";
    if (layout.home.empty()) {
        roots.configHome = dir / "config";
        roots.dataHome = dir / "data";
    } else {
        roots.configHome = roots.rootDir + layout.home + "/.config";
        roots.dataHome = roots.rootDir + layout.home + "/.local/share";
    }
    roots.programPath = roots.rootDir + "/opt/korvello/korvello";
    roots.shellOpen = [](const std::string&) {
    };
    MakeDirs(roots.rootDir);
    MakeDirs(roots.configHome);
    MakeDirs(roots.dataHome);
    WriteFile(roots.programPath, "");
    // Run as a build tree runs: the program keeps its files in its own folder.
    WriteFile(roots.rootDir + "/opt/korvello/" + kPortableMarker, "");
    WriteFile(roots.mountinfo, "");
    MakeDirs(roots.sysfs);
    MakeDirs(roots.byLabel);
    return roots;
}

void MapDriveIn(const std::string& configHome, const std::string& name, const std::string& folder) {
    const std::string drives = configHome + "/korvello/drives";
    fs::create_directories(drives);
    fs::create_directory_symlink(folder, drives + "/" + name);
}

void UnmapDriveIn(const std::string& configHome, const std::string& name) {
    fs::remove(configHome + "/korvello/drives/" + name);
}

} // namespace korvello::test
