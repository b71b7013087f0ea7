#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The stored settings, below the window: the two behaviour flags in the per-user registry
// key and the layout keys of the settings file "ipdes.dll". The main window sequences
// these calls (read at construction, written at close); the command-line companion uses
// them to honour the user's overwrite setting.

#include "browser/SongColumns.h"
#include "copyout/CopyNaming.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvello {

class IPlatform;

inline constexpr const char* kRegistryKey = "Software\\Korvello";
inline constexpr const char* kValuePlaySong = "DBClickPlaySong";
inline constexpr const char* kValueOverwrite = "OverWriteExistFile";
// How copies are named (REG_SZ: one of the three words of the first presets, else the
// template, see CopyNamingWord) and whether songs found
// already copied are skipped (REG_DWORD), kept beside the two flags.
inline constexpr const char* kValueCopyNaming = "CopyNaming";
inline constexpr const char* kValueSkipCopied = "SkipCopiedFiles";
// Whether copies get the iPod's tags (REG_DWORD), off unless the user turns it on.
inline constexpr const char* kValueWriteTags = "WriteTags";
// Whether the files in the iPod's music folders that its database does not name are
// listed as songs of their own (REG_DWORD, off by default).
inline constexpr const char* kValueListUnlisted = "ListUnlistedFiles";
inline constexpr const char* kSettingsFileName = "ipdes.dll";
inline constexpr int kDefaultColumnWidth = 80;

// A REG_DWORD flag: value != 0, or `def` when the value is missing or of another type.
bool ReadRegistryFlag(IPlatform& platform, const char* name, bool def);
// Stores a flag as REG_DWORD 1 or 0; throws EKorvelloError "Failed to set data for '%s'".
void WriteRegistryFlag(IPlatform& platform, const char* name, bool value);

// The stored naming of copies; kDefaultCopyNaming when the value is missing, not a
// REG_SZ, or neither a word the program knows nor a template it takes.
TCopyNaming ReadCopyNaming(IPlatform& platform);
// Stores the naming as REG_SZ; throws EKorvelloError "Failed to set data for 'CopyNaming'".
void WriteCopyNaming(IPlatform& platform, const TCopyNaming& naming);

// The settings file beside the program: AppFolder + "\ipdes.dll".
std::string SettingsFilePath(const std::string& appFolder);

// One integer key of the settings file, asked with its default. Values are decimal, or
// hexadecimal with a "0x"/"0X" prefix (more than two characters); a key that is missing
// or not an integer gives its default.
struct IniInteger {
    std::string section;
    std::string key;
    std::int32_t value = 0; // the default going in, the value read coming out
};
// Reads every key with one read of the file.
void ReadIniIntegers(IPlatform& platform, const std::string& file, std::vector<IniInteger>& keys);
// Writes every key with one rewrite of the file; throws EKorvelloError "Unable to write to
// %s" when the file cannot be written (nothing is then written).
void WriteIniIntegers(IPlatform& platform, const std::string& file,
                      const std::vector<IniInteger>& keys);

// The keys of the stored start-up widths of the song table's columns (kSongColumnCount of
// them, section "COLWIDTH", default kDefaultColumnWidth), to read with others.
std::vector<IniInteger> ColumnWidthKeys();
// The widths read into those keys as decimal texts; the icon column's entry is always "0"
// (its width is fixed).
std::vector<std::string> ColumnWidthTexts(const std::vector<IniInteger>& widthKeys);

} // namespace korvello
