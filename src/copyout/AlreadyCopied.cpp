// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/AlreadyCopied.h"

#include "platform/Platform.h"
#include "tags/AudioPart.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace korvello {

namespace {

// A file opened for reading and the position it reads at next.
struct ReadCursor {
    std::unique_ptr<IFile> file;
    std::int64_t position = 0;

    // Reads exactly `count` bytes at `offset` into `out`. A file that cannot seek is read
    // up to the offset instead.
    bool ReadAt(std::int64_t offset, std::int64_t count, char* out) {
        if (offset != position) {
            if (file->Seek(offset)) {
                position = offset;
            } else {
                if (offset < position)
                    return false;
                std::array<char, 16 * 1024> skipped;
                while (position < offset) {
                    const std::int64_t n =
                        file->Read(skipped.data(),
                                   std::min<std::int64_t>(offset - position, std::ssize(skipped)));
                    if (n <= 0)
                        return false;
                    position += n;
                }
            }
        }
        std::int64_t done = 0;
        while (done < count) {
            const std::int64_t n = file->Read(out + done, count - done);
            if (n <= 0)
                return false;
            done += n;
        }
        position += count;
        return true;
    }
};

bool SameRange(ReadCursor& a, ReadCursor& b, std::int64_t offset, std::int64_t count,
               std::vector<char>& bufferA, std::vector<char>& bufferB) {
    if (count == 0)
        return true;
    bufferA.resize(static_cast<std::size_t>(count));
    bufferB.resize(static_cast<std::size_t>(count));
    return a.ReadAt(offset, count, bufferA.data()) && b.ReadAt(offset, count, bufferB.data()) &&
           bufferA == bufferB;
}

// The copy as it was written: the same size and the same bytes at both ends.
bool SameBytesThere(IPlatform& platform, const std::string& source, const std::string& copy) {
    std::string error;
    ReadCursor song{platform.OpenRead(source, error)};
    if (!song.file)
        return false;
    ReadCursor existing{platform.OpenRead(copy, error)};
    if (!existing.file)
        return false;
    const std::int64_t size = song.file->Size();
    if (size < 0 || existing.file->Size() != size)
        return false;

    const std::int64_t head = std::min(size, kSameFileProbeBytes);
    const std::int64_t tailStart = std::max(head, size - kSameFileProbeBytes);
    std::vector<char> a, b;
    return SameRange(song, existing, 0, head, a, b) &&
           SameRange(song, existing, tailStart, size - tailStart, a, b);
}

} // namespace

bool SameFileAlreadyThere(IPlatform& platform, const std::string& source, const std::string& copy) {
    return SameBytesThere(platform, source, copy) || SameAudioAlreadyThere(platform, source, copy);
}

} // namespace korvello
