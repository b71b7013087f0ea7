#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The folder named on the window program's command line (korvello /media/me/IPOD, or the
// desktop entry's %f): it becomes a drive of this run, which the window then selects.

#include "platform/posix/PosixPlatform.h"

#include <string>

namespace korvello {

// Gives `folder` a drive letter for this run and returns its mount root ("f:"):
// - a folder that already is a drive's root (a mounted volume, a mapped link) keeps that
//   drive, and `roots` stay as they are;
// - any other folder takes the lowest letter from d: that no drive and no link of the
//   per-user drives folder holds, mapped in memory only (nothing is written); the links
//   keep their letters beside it.
// Returns an empty string, with `error` set, when the folder does not exist, is no folder,
// or every letter is taken.
std::string MapStartFolder(PosixRoots& roots, const std::string& folder, std::string& error);

} // namespace korvello
