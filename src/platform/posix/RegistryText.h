#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user registry stand-in is a text file in the classic export form:
//
//   REGEDIT4
//   [HKEY_CURRENT_USER\Software\Korvello]
//   "DBClickPlaySong"=dword:00000001
//   "Name"="text"
//
// These functions read and edit such a text. Key and value names compare without regard
// to letter case; every line the program does not know is kept as it was.

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace korvello::posix {

// False when the text is not in the export form (no header, or a line that is neither
// blank, a comment, a key, a value nor the continuation of one). An empty text is fine.
bool RegistryTextParses(std::string_view text);

// True when the text holds the key (subkey path under HKEY_CURRENT_USER, such as
// "Software\Korvello").
bool RegistryHasKey(std::string_view text, std::string_view key);

// The value `name` of `key`; Missing when either is missing. A value of a type other
// than REG_DWORD and REG_SZ (hex:...) reads as Missing too.
RegValue RegistryQuery(std::string_view text, std::string_view key, std::string_view name);

// Adds the header and the key when missing.
void RegistryEnsureKey(std::string& text, std::string_view key);
// Stores `name` as a REG_DWORD, replacing a value of that name of any type.
void RegistrySetDword(std::string& text, std::string_view key, std::string_view name,
                      std::uint32_t value);
// Stores `name` as a REG_SZ, replacing a value of that name of any type. The text must
// hold no line break.
void RegistrySetString(std::string& text, std::string_view key, std::string_view name,
                       std::string_view value);

} // namespace korvello::posix
