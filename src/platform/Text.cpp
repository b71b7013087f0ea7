// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Text.h"

#include <cctype>
#include <limits>

namespace korvello {

namespace {

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input gives U+FFFD and
// consumes one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + extra >= text.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return cp;
}

} // namespace

namespace {

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

// Sized in a first pass and written byte by byte into place: a catalogue's texts are
// turned by the hundred thousand at a time, and growing each string as it is written cost
// more than the encoding itself.
std::string ToUtf8(std::u16string_view text) {
    const std::size_t n = text.size();
    std::size_t length = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        if (u < 0x80) {
            length += 1;
        } else if (u < 0x800) {
            length += 2;
        } else if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(text[i + 1])) {
            length += 4;
            ++i;
        } else {
            length += 3; // the rest of the plane, and a lone surrogate's U+FFFD
        }
    }
    std::string out(length, '\0');
    char* p = out.data();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        char32_t cp = u;
        if (u < 0x80) {
            *p++ = static_cast<char>(u);
            continue;
        }
        if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            cp = 0xFFFD;
        }
        if (cp < 0x800) {
            *p++ = static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            *p++ = static_cast<char>(0xE0 | (cp >> 12));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            *p++ = static_cast<char>(0xF0 | (cp >> 18));
            *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        *p++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::u16string ToUtf16(std::string_view text) {
    // Plain ASCII, most of a catalogue's texts, is widened unit by unit.
    std::size_t ascii = 0;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80)
        ++ascii;
    std::u16string out;
    if (ascii == text.size()) {
        out.resize(text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<char16_t>(text[i]);
        return out;
    }
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t cp = DecodeUtf8(text, i);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t n = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        DecodeUtf8(text, i);
        ++n;
    }
    return n;
}

std::string Utf8Left(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    std::size_t n = 0;
    while (i < text.size() && n < count) {
        DecodeUtf8(text, i);
        ++n;
    }
    return std::string(text.substr(0, i));
}

bool TryStrToInt(std::string_view text, std::int32_t& value, bool allowHex) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (allowHex && text.size() - i > 2 && text[i] == '0' &&
        (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        int digit;
        if (std::isdigit(c))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            return false;
        v = v * base + digit;
        if (v > 0xFFFFFFFFLL)
            return false;
    }
    if (negative)
        v = -v;
    if (base == 16 && v > std::numeric_limits<std::int32_t>::max())
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v)); // hex wraps like Delphi
    if (v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

} // namespace korvello
