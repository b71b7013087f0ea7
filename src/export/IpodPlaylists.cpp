// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/IpodPlaylists.h"

#include "copyout/Naming.h"
#include "copyout/Playlist.h"
#include "export/SafeFile.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#include <filesystem>
#include <unordered_map>

namespace korvello {

namespace {

constexpr const char* kExtension = ".m3u8";

// A playlist file's name compared as a file system that ignores letter case would.
std::string ClashKey(const std::string& name) {
    std::string key = name;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

int Seconds(std::int32_t milliseconds) {
    return milliseconds > 0
               ? static_cast<int>((static_cast<std::int64_t>(milliseconds) + 500) / 1000)
               : -1;
}

} // namespace

std::string PlaylistFileName(const std::u16string& name, int clash) {
    const std::string base = VisibleFileName(CleanFileName(ToUtf8(name)));
    const std::string suffix = clash == 0 ? std::string() : "(" + std::to_string(clash) + ")";
    return FitFileName(base, suffix + kExtension);
}

std::string IpodPlaylistText(const TCatalogueView& catalogue, const TPlaylist& playlist,
                             const TJobCopies& copies, std::vector<std::string>& relativeOfSong,
                             const std::string& folder, std::int64_t& notInJob) {
    relativeOfSong.resize(copies.pathOfSong.size());
    std::string text = "#EXTM3U\n";
    for (const std::int32_t song : playlist.Songs) {
        if (!copies.Has(song) || song >= catalogue.songCount) {
            ++notInJob;
            continue;
        }
        const auto index = static_cast<std::size_t>(song);
        std::string& relative = relativeOfSong[index];
        if (relative.empty())
            relative = PlaylistRelativePath(copies.pathOfSong[index], folder);
        const TSong& record = catalogue.songAt(song);
        AppendPlaylistEntry(text, ToUtf8(record.Artist), ToUtf8(record.Title),
                            Seconds(record.Duration), relative);
    }
    return text;
}

TPlaylistExport ExportIpodPlaylists(IPlatform& platform, const std::string& folder,
                                    const TCatalogueView& catalogue, const TJobCopies& copies) {
    TPlaylistExport result;
    if (catalogue.playlists == nullptr)
        return result;
    const std::string programFolder = folder.ends_with('\\') ? folder : folder + "\\";
    const std::string linuxFolder =
        std::filesystem::path(platform.DisplayPath(folder)).lexically_normal().string();
    std::vector<std::string> relativeOfSong;
    // The next number to try for each name, so that many playlists of one name cost one
    // attempt each rather than one per earlier namesake.
    std::unordered_map<std::string, int> nextClash;
    for (const TPlaylist& playlist : *catalogue.playlists) {
        std::int64_t notInJob = 0;
        const std::string text =
            IpodPlaylistText(catalogue, playlist, copies, relativeOfSong, linuxFolder, notInJob);
        if (notInJob == static_cast<std::int64_t>(playlist.Songs.size())) {
            ++result.withoutSongs;
            continue;
        }
        const std::string key = ClashKey(PlaylistFileName(playlist.Name, 0));
        int& clash = nextClash[key];
        std::string name = PlaylistFileName(playlist.Name, clash);
        TSafeFile file(platform, programFolder + name);
        std::string error;
        bool placed = file.Open(error);
        if (placed) {
            file.Write(text);
            placed = file.Finish(error);
        }
        // An existing file keeps its name; the playlist takes the next number. Each
        // existing namesake costs one attempt, so the loop ends.
        while (placed) {
            const RenameResult done = file.PlaceAs(programFolder + name, false, error);
            ++clash;
            if (done == RenameResult::Done)
                break;
            if (done == RenameResult::Failed || clash > 100000)
                placed = false;
            else
                name = PlaylistFileName(playlist.Name, clash);
        }
        if (!placed) {
            result.failures.push_back(name + ": " + error);
            continue;
        }
        ++result.written;
        result.songsNotInJob += notInJob;
    }
    return result;
}

std::string PlaylistExportText(const TPlaylistExport& result) {
    std::string text = std::to_string(result.written) +
                       (result.written == 1 ? " playlist written, " : " playlists written, ") +
                       std::to_string(result.songsNotInJob) + " of their songs not in this job";
    if (result.withoutSongs > 0)
        text += ", " + std::to_string(result.withoutSongs) +
                (result.withoutSongs == 1 ? " playlist" : " playlists") +
                " without songs of this job";
    if (!result.failures.empty())
        text += ", " + std::to_string(result.failures.size()) + " could not be written";
    return text;
}

} // namespace korvello
