// SPDX-License-Identifier: GPL-3.0-or-later
#include "musicdb/DeviceFiles.h"

#include "musicdb/DatabaseReader.h"
#include "musicdb/IpodLayout.h"
#include "platform/Text.h"

#include <algorithm>

namespace korvello {

namespace {

// What is read of such a file: its first bytes, in proportion to the tracks it can name,
// plus room for headers.
constexpr std::int64_t kBaseBytes = 1024 * 1024;
constexpr std::int64_t kBytesPerTrack = 64;
// On-The-Go lists looked for: OTGPlaylistInfo, OTGPlaylistInfo_1, ... up to this many.
constexpr int kMaxOnTheGoFiles = 256;

std::string PathOf(const std::string& drivePath, const std::string& name) {
    return ITunesFolder(drivePath) + "\\" + name;
}

// The first bytes of the file, or nothing when it is missing or cannot be read.
std::vector<std::uint8_t> ReadStart(IPlatform& platform, const std::string& path,
                                    std::size_t tracks) {
    std::string error;
    std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (!file)
        return {};
    const std::int64_t size = file->Size();
    const std::int64_t most = kBaseBytes + kBytesPerTrack * static_cast<std::int64_t>(tracks);
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, most)));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int64_t n =
            file->Read(bytes.data() + done, static_cast<std::int64_t>(bytes.size() - done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    file->Close();
    bytes.resize(done);
    return bytes;
}

} // namespace

void MergePlayCountsFile(IPlatform& platform, const std::string& drivePath,
                         const std::vector<std::int32_t>& songOfTrack, std::vector<TSong>& songs) {
    const std::string path = PathOf(drivePath, "Play Counts");
    if (!platform.FindFile(path))
        return;
    MergePlayCounts(ReadStart(platform, path, songOfTrack.size()), songOfTrack, songs);
}

void AppendOnTheGoFiles(IPlatform& platform, const std::string& drivePath,
                        const std::vector<std::int32_t>& songOfTrack,
                        std::vector<TPlaylist>& playlists) {
    for (int n = 0; n < kMaxOnTheGoFiles; ++n) {
        const std::string path = PathOf(drivePath, n == 0 ? std::string("OTGPlaylistInfo")
                                                          : "OTGPlaylistInfo_" + std::to_string(n));
        if (!platform.FindFile(path))
            break;
        TPlaylist list = ReadOnTheGo(ReadStart(platform, path, songOfTrack.size()), songOfTrack,
                                     u"On-The-Go " + ToUtf16(std::to_string(n + 1)));
        if (!list.Songs.empty() || list.DroppedEntries > 0)
            playlists.push_back(std::move(list));
    }
}

} // namespace korvello
