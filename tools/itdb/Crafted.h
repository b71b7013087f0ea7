#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile database images for the reader's tests and benchmarks: files shaped to make a
// naive walk cost time or memory growing with the square of their size.
//
// Every image has a database header, one track-list data set covering the whole file and
// a track list declaring the largest count. Its first `tracks` tracks overlap, 16 bytes
// apart, each with the largest object count and a header length that leads all of them to
// the same first object at `shared`.

#include <cstdint>
#include <vector>

namespace korvello::itdb {

inline constexpr std::int32_t kCraftedFirstTrack = 0xF4 + 0x60 + 0x5C;
inline constexpr std::int32_t kCraftedStride = 16;

inline void Put32(std::vector<std::uint8_t>& image, std::int64_t at, std::int32_t value) {
    for (int i = 0; i < 4; ++i)
        image[static_cast<std::size_t>(at + i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

inline std::vector<std::uint8_t> OverlappingTracks(std::int32_t size, std::int32_t tracks,
                                                   std::int32_t shared) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(size), 0);
    Put32(image, 4, 0xF4);
    Put32(image, 20, 1);
    Put32(image, 0xF4 + 4, 0x60);
    Put32(image, 0xF4 + 8, size - 0xF4);
    Put32(image, 0xF4 + 12, 1);
    Put32(image, 0xF4 + 0x60 + 4, 0x5C);
    Put32(image, 0xF4 + 0x60 + 8, 0x7FFFFFFF);
    for (std::int32_t i = 0; i < tracks; ++i) {
        const std::int32_t at = kCraftedFirstTrack + i * kCraftedStride;
        Put32(image, at + 4, shared - at);
        Put32(image, at + 8, kCraftedStride);
        Put32(image, at + 12, 0x7FFFFFFF);
    }
    return image;
}

// Overlapping tracks that all walk one chain of unknown 24-byte objects filling the rest
// of the file.
inline std::vector<std::uint8_t> SharedObjectChain(std::int32_t size, std::int32_t tracks) {
    const std::int32_t chain = kCraftedFirstTrack + tracks * kCraftedStride + 64;
    auto image = OverlappingTracks(size, tracks, chain);
    for (std::int32_t at = chain; at + 24 <= size; at += 24) {
        Put32(image, at + 4, 0x18);
        Put32(image, at + 8, 24);
        Put32(image, at + 12, 100);
    }
    return image;
}

// Overlapping tracks whose one object is the same title, running to the end of the file.
inline std::vector<std::uint8_t> SharedTitle(std::int32_t size, std::int32_t tracks) {
    const std::int32_t title = kCraftedFirstTrack + tracks * kCraftedStride + 64;
    auto image = OverlappingTracks(size, tracks, title);
    Put32(image, title + 8, size - title);
    Put32(image, title + 12, 1);
    Put32(image, title + 28, size - title - 40);
    for (std::int64_t at = title + 40; at < size; at += 2)
        image[static_cast<std::size_t>(at)] = 'x';
    return image;
}

} // namespace korvello::itdb
