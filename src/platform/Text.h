#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions between the program's two kinds of text: song fields are UTF-16
// (std::u16string) and every other text is 8-bit UTF-8 (std::string).

#include <cstdint>
#include <string>
#include <string_view>

namespace korvello {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; a malformed byte sequence becomes U+FFFD.
std::u16string ToUtf16(std::string_view text);

// Number of characters (code points) of a UTF-8 text.
std::size_t Utf8Length(std::string_view text);
// The first `count` characters of a UTF-8 text, never cutting a sequence in half.
std::string Utf8Left(std::string_view text, std::size_t count);

// Signed decimal text to integer: optional blanks, optional sign, digits, and a
// "0x"/"0X" prefix for hexadecimal when `allowHex` is set. False when the text is not an
// integer that fits 32 bits.
bool TryStrToInt(std::string_view text, std::int32_t& value, bool allowHex = true);

} // namespace korvello
