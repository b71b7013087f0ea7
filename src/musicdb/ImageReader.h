#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded little-endian access to a database image held in memory.
//
// The database is a tree of length-prefixed records whose lengths may be anything on a
// damaged device, so every access takes an absolute 64-bit offset (no sum of two 32-bit
// lengths can overflow) and never touches a byte outside the image: bytes that lie
// before its start or beyond its end read as zero, and a string is cut at the end.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korvello {

class TImageReader {
public:
    explicit TImageReader(std::span<const std::uint8_t> image) : image_(image) {}

    std::int64_t Size() const { return static_cast<std::int64_t>(image_.size()); }
    // True when `offset` names a byte of the image.
    bool Contains(std::int64_t offset) const { return offset >= 0 && offset < Size(); }

    // The signed 32-bit little-endian integer at `offset`; missing bytes count as zero.
    std::int32_t Int32At(std::int64_t offset) const {
        if (offset >= 0 && offset <= Size() - 4) {
            const std::uint8_t* p = image_.data() + offset;
            return static_cast<std::int32_t>(p[0] | (static_cast<std::uint32_t>(p[1]) << 8) |
                                             (static_cast<std::uint32_t>(p[2]) << 16) |
                                             (static_cast<std::uint32_t>(p[3]) << 24));
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            if (Contains(offset + i))
                value |= static_cast<std::uint32_t>(image_[static_cast<std::size_t>(offset + i)])
                         << (8 * i);
        }
        return static_cast<std::int32_t>(value);
    }

    // `byteLength` div 2 UTF-16LE code units from `offset`, cut at the end of the image; a
    // negative length or an offset outside the image gives an empty string.
    std::u16string Utf16At(std::int64_t offset, std::int64_t byteLength) const {
        std::u16string text;
        if (byteLength <= 0 || !Contains(offset))
            return text;
        const std::int64_t available = Size() - offset;
        const std::int64_t units = std::min(byteLength, available) / 2;
        text.resize(static_cast<std::size_t>(units));
        const std::uint8_t* p = image_.data() + offset;
        for (std::int64_t i = 0; i < units; ++i)
            text[static_cast<std::size_t>(i)] =
                static_cast<char16_t>(p[2 * i] | (static_cast<unsigned>(p[2 * i + 1]) << 8));
        return text;
    }

    // Up to `byteLength` bytes from `offset`, cut at the end of the image; empty for a
    // negative length or an offset outside the image.
    std::string_view BytesAt(std::int64_t offset, std::int64_t byteLength) const {
        if (byteLength <= 0 || !Contains(offset))
            return {};
        const std::int64_t n = std::min(byteLength, Size() - offset);
        return {reinterpret_cast<const char*>(image_.data() + offset), static_cast<std::size_t>(n)};
    }

private:
    std::span<const std::uint8_t> image_;
};

} // namespace korvello
