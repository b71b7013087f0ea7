// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/AudioPart.h"

#include "platform/Platform.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace korvello {

namespace {

// Tags, blocks, chunks or atoms walked before a file is given up on.
constexpr int kMaxStructures = 4096;

// Reads exactly `count` bytes at `offset`.
bool ReadAt(IFile& file, std::int64_t offset, void* out, std::int64_t count) {
    if (offset < 0 || !file.Seek(offset))
        return false;
    auto* bytes = static_cast<unsigned char*>(out);
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t n = file.Read(bytes + done, count - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

std::uint32_t BigEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
}

bool Is(const unsigned char* p, const char* text) {
    return std::memcmp(p, text, std::strlen(text)) == 0;
}

std::optional<TAudioPart> PartBetween(TAudioFormat format, std::int64_t begin, std::int64_t end) {
    if (begin < 0 || end <= begin)
        return std::nullopt;
    return TAudioPart{format, begin, end - begin};
}

// The end of the data before the APEv2 and ID3v1 tags that end an MP3 or FLAC file.
std::int64_t EndBeforeTrailingTags(IFile& file, std::int64_t end, std::int64_t begin) {
    std::array<unsigned char, 32> buffer{};
    if (end - begin >= 128 && ReadAt(file, end - 128, buffer.data(), 3) && Is(buffer.data(), "TAG"))
        end -= 128;
    if (end - begin >= 32 && ReadAt(file, end - 32, buffer.data(), 32) &&
        Is(buffer.data(), "APETAGEX")) {
        // The size counts the items and the footer; a header, when flagged, comes first.
        const std::int64_t size = LittleEndian32(buffer.data() + 12);
        const bool hasHeader = (LittleEndian32(buffer.data() + 20) & 0x80000000u) != 0;
        const std::int64_t whole = size + (hasHeader ? 32 : 0);
        if (size >= 32 && whole <= end - begin)
            end -= whole;
    }
    return end;
}

// The offset after the ID3v2 tags at `offset`, one after another.
std::int64_t SkipId3v2Tags(IFile& file, std::int64_t offset, std::int64_t size) {
    std::array<unsigned char, 10> header{};
    for (int n = 0; n < kMaxStructures && offset + 10 <= size; ++n) {
        if (!ReadAt(file, offset, header.data(), 10) || !Is(header.data(), "ID3") ||
            header[3] == 0xFF || header[4] == 0xFF ||
            std::any_of(header.begin() + 6, header.end(),
                        [](unsigned char b) { return b >= 0x80; }))
            break;
        const std::int64_t body = std::int64_t{header[6]} << 21 | std::int64_t{header[7]} << 14 |
                                  std::int64_t{header[8]} << 7 | header[9];
        const bool hasFooter = (header[5] & 0x10) != 0;
        offset += 10 + body + (hasFooter ? 10 : 0);
    }
    return offset;
}

std::optional<TAudioPart> FlacPart(IFile& file, std::int64_t offset, std::int64_t size) {
    offset += 4; // "fLaC"
    std::array<unsigned char, 4> header{};
    for (int n = 0; n < kMaxStructures; ++n) {
        if (!ReadAt(file, offset, header.data(), 4))
            return std::nullopt;
        const std::int64_t length =
            std::int64_t{header[1]} << 16 | std::int64_t{header[2]} << 8 | header[3];
        offset += 4 + length;
        if (offset > size)
            return std::nullopt;
        if ((header[0] & 0x80) != 0)
            return PartBetween(TAudioFormat::Flac, offset,
                               EndBeforeTrailingTags(file, size, offset));
    }
    return std::nullopt;
}

// The content of the chunk `wanted` of a RIFF (little-endian sizes) or IFF (big-endian)
// file, whose chunks start at offset 12.
std::optional<TAudioPart> ChunkPart(IFile& file, std::int64_t size, TAudioFormat format,
                                    const char* wanted, bool bigEndian) {
    std::int64_t offset = 12;
    std::array<unsigned char, 8> header{};
    for (int n = 0; n < kMaxStructures && offset + 8 <= size; ++n) {
        if (!ReadAt(file, offset, header.data(), 8))
            return std::nullopt;
        const std::int64_t length =
            bigEndian ? BigEndian32(header.data() + 4) : LittleEndian32(header.data() + 4);
        if (Is(header.data(), wanted))
            return PartBetween(format, offset + 8, std::min(size, offset + 8 + length));
        // Chunks are padded to an even length.
        offset += 8 + length + (length & 1);
    }
    return std::nullopt;
}

std::optional<TAudioPart> Mp4Part(IFile& file, std::int64_t size) {
    std::optional<TAudioPart> media;
    std::int64_t offset = 0;
    std::array<unsigned char, 16> header{};
    for (int n = 0; n < kMaxStructures && offset < size; ++n) {
        if (size - offset < 8 || !ReadAt(file, offset, header.data(), 8))
            return std::nullopt;
        std::int64_t length = BigEndian32(header.data());
        std::int64_t headerLength = 8;
        if (length == 1) {
            if (size - offset < 16 || !ReadAt(file, offset + 8, header.data() + 8, 8))
                return std::nullopt;
            const std::uint64_t large = std::uint64_t{BigEndian32(header.data() + 8)} << 32 |
                                        BigEndian32(header.data() + 12);
            if (large > static_cast<std::uint64_t>(size))
                return std::nullopt;
            length = static_cast<std::int64_t>(large);
            headerLength = 16;
        } else if (length == 0) {
            length = size - offset; // the last atom, up to the end of the file
        }
        if (length < headerLength || length > size - offset)
            return std::nullopt;
        if (Is(header.data() + 4, "mdat")) {
            // Media split over several atoms is not one part.
            if (media)
                return std::nullopt;
            media = PartBetween(TAudioFormat::Mp4, offset + headerLength, offset + length);
        }
        offset += length;
    }
    return offset == size ? media : std::nullopt;
}

} // namespace

std::optional<TAudioPart> FindAudioPart(IFile& file) {
    const std::int64_t size = file.Size();
    std::array<unsigned char, 12> head{};
    if (size < 12 || !ReadAt(file, 0, head.data(), 12))
        return std::nullopt;
    if (Is(head.data(), "RIFF") && Is(head.data() + 8, "WAVE"))
        return ChunkPart(file, size, TAudioFormat::Wav, "data", false);
    if (Is(head.data(), "FORM") && (Is(head.data() + 8, "AIFF") || Is(head.data() + 8, "AIFC")))
        return ChunkPart(file, size, TAudioFormat::Aiff, "SSND", true);
    if (Is(head.data() + 4, "ftyp"))
        return Mp4Part(file, size);
    if (Is(head.data(), "fLaC"))
        return FlacPart(file, 0, size);
    const std::int64_t afterTags = SkipId3v2Tags(file, 0, size);
    if (afterTags + 4 > size || !ReadAt(file, afterTags, head.data(), 4))
        return std::nullopt;
    if (Is(head.data(), "fLaC"))
        return FlacPart(file, afterTags, size);
    // MPEG audio: a frame sync right after the tags, or a tag before whatever follows.
    const bool frameSync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    if (!frameSync && afterTags == 0)
        return std::nullopt;
    return PartBetween(TAudioFormat::Mpeg, afterTags, EndBeforeTrailingTags(file, size, afterTags));
}

std::optional<TAudioProbe> ProbeAudio(IFile& file) {
    const auto part = FindAudioPart(file);
    if (!part)
        return std::nullopt;
    TAudioProbe probe{part->format, part->length, {}, {}};
    const std::int64_t head = std::min(part->length, kSameAudioProbeBytes);
    const std::int64_t tailStart = std::max(head, part->length - kSameAudioProbeBytes);
    probe.head.resize(static_cast<std::size_t>(head));
    probe.tail.resize(static_cast<std::size_t>(part->length - tailStart));
    if (!ReadAt(file, part->offset, probe.head.data(), head) ||
        !ReadAt(file, part->offset + tailStart, probe.tail.data(), part->length - tailStart))
        return std::nullopt;
    return probe;
}

bool SameAudioAlreadyThere(IPlatform& platform, const std::string& source,
                           const std::string& copy) {
    std::string error;
    const std::unique_ptr<IFile> song = platform.OpenRead(source, error);
    if (!song)
        return false;
    const std::unique_ptr<IFile> existing = platform.OpenRead(copy, error);
    if (!existing)
        return false;
    const auto songProbe = ProbeAudio(*song);
    return songProbe && songProbe == ProbeAudio(*existing);
}

} // namespace korvello
