#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Where a song file's audio data lies, found from the file's own structure without a
// tagging library: the part of the file that tags never touch.
//
// MP3: after the ID3v2 tag(s) at the start, before an APEv2 and an ID3v1 tag at the end.
// FLAC: after the metadata blocks (and an ID3v2 tag before them), before a trailing
// ID3v1 tag. MP4/M4A: the content of the one top-level "mdat" atom. WAV: the content of
// the "data" chunk. AIFF: the content of the "SSND" chunk. Any other file, or one whose
// structure does not lead to a single non-empty audio part, has none.
//
// Copies whose tags were written differ from the song in size and in their first bytes,
// but not in this part; comparing it tells a tagged copy of a song from another file.
// The walk reads a few bytes per tag, block, chunk or atom and gives up after a fixed
// number of them, so a hostile file costs little.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvello {

class IFile;
class IPlatform;

// The formats whose audio part is known.
enum class TAudioFormat { Mpeg, Flac, Mp4, Wav, Aiff };

struct TAudioPart {
    TAudioFormat format = TAudioFormat::Mpeg;
    std::int64_t offset = 0;
    std::int64_t length = 0;

    bool operator==(const TAudioPart&) const = default;
};

// The audio part of the open file (read from wherever it is positioned; the position is
// left anywhere). Nothing when the file is none of the formats above or cannot be read.
std::optional<TAudioPart> FindAudioPart(IFile& file);

// Bytes compared at each end of the two audio parts.
inline constexpr std::int64_t kSameAudioProbeBytes = 64 * 1024;

// What a comparison of audio parts looks at: the part's format and length, and its first
// and last kSameAudioProbeBytes bytes (the whole part when it is shorter than both).
struct TAudioProbe {
    TAudioFormat format = TAudioFormat::Mpeg;
    std::int64_t length = 0;
    std::vector<unsigned char> head;
    std::vector<unsigned char> tail;

    bool operator==(const TAudioProbe&) const = default;
};
std::optional<TAudioProbe> ProbeAudio(IFile& file);

// True when the files at `source` and `copy` (program paths) both have an audio part,
// the parts are equally long, and they agree in their first and last
// kSameAudioProbeBytes bytes (the whole part when it is shorter than both together).
bool SameAudioAlreadyThere(IPlatform& platform, const std::string& source, const std::string& copy);

} // namespace korvello
