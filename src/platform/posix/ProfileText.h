#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading and editing the text of a profile (INI) file one key at a time, the way the
// Windows profile calls behave: section and key names compare without regard to letter
// case, blanks around keys and values do not count, a value in double quotes is read
// without them, and an edit touches only the one line it must.

#include "platform/Platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvello::posix {

// True when the three texts can be written as one key line: no line breaks or NULs,
// no "]" in the section, no "=" in the key, and a key that is not blank.
bool ProfileTextsWritable(std::string_view section, std::string_view key, std::string_view value);

// The value of `key` in `section` of the INI text, or `def` when either is missing. The
// first section of that name holding the key wins.
std::string ProfileRead(std::string_view text, std::string_view section, std::string_view key,
                        const std::string& def);

// Sets `key` of `section` to `value` in the INI text: an existing key line is replaced,
// a missing key is added at the end of its section, a missing section at the end of the
// text. The text's own line ending is kept ("\n" for an empty text).
void ProfileWrite(std::string& text, std::string_view section, std::string_view key,
                  std::string_view value);

// ProfileRead of every key in one pass over the text: each key's value is its default
// going in and what ProfileRead gives coming out.
void ProfileReadMany(std::string_view text, std::vector<ProfileKey>& keys);

// ProfileWrite of every key in order, in one pass over the text: the same text as
// writing them one after another, without re-reading the text for each key.
void ProfileWriteMany(std::string& text, const std::vector<ProfileKey>& keys);

// Shared with the registry file: blanks and tabs trimmed from both ends.
std::string_view TrimBlanks(std::string_view text);
// ASCII letters compared without regard to case; other bytes as they are.
bool EqualsNoCase(std::string_view a, std::string_view b);
// "\r\n" when the text's first line ends so, else "\n".
std::string_view DetectLineEnding(std::string_view text);

} // namespace korvello::posix
