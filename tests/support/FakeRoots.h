#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The one builder of a fake machine's roots, inside a temporary folder `dir`:
//   <dir>/root            c: (FakeLayout::drive; "" makes `dir` itself c:)
//   c:/opt/korvello/      the program file, with the marker that keeps its files beside it
//   <dir>/config, data    the per-user homes, or .config and .local/share of a home folder
//                         inside c: (FakeLayout::home)
//   <dir>/mountinfo       an empty mount table; <dir>/sys and <dir>/bylabel are empty
// Nothing points at the real machine; the shell hand-off does nothing. The program makes
// its own folders in the homes (korvello/, the drives folder) when it first needs them.

#include "platform/posix/PosixPlatform.h"
#include "support/TempDir.h"

#include <string>

namespace korvello::test {

struct FakeLayout {
    std::string drive = "root"; // the folder in `dir` that is c:, "" for `dir` itself
    std::string home;           // a home folder in c: such as "/home/u", or none
};

PosixRoots FakeMachineRoots(const TempDir& dir, const FakeLayout& layout = {});

// Maps `folder` as drive `name` (such as "e:") through the drives folder of the per-user
// config home, the way a user maps a folder or a mounted iPod.
void MapDriveIn(const std::string& configHome, const std::string& name, const std::string& folder);
void UnmapDriveIn(const std::string& configHome, const std::string& name);

} // namespace korvello::test
