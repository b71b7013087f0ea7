// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer entry for `make fuzz`: a database file's bytes go through everything the
// reader does with them (inflating an iTunesCDB, finding the track list, walking the
// tracks), built with AddressSanitizer and UBSan. Beyond what the sanitizers catch, an
// input stops the run when its walk costs more than the file's own size allows (an
// iTunesCDB may inflate to many times its size, but its walk is bounded by the file, not
// by the image), holds more records than that, or inflates past the limit.
#include "musicdb/DatabaseReader.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

using namespace korvello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    std::vector<std::uint8_t> inflated;
    std::span<const std::uint8_t> image = file;
    if (IsCompressedDatabase(file)) {
        std::string problem;
        auto result = InflateDatabase(file, problem);
        if (!result) {
            if (problem.empty())
                std::abort(); // a refusal always says why
            return 0;
        }
        if (static_cast<std::int64_t>(result->size()) >
            InflateLimit(static_cast<std::int64_t>(size)))
            std::abort();
        inflated = std::move(*result);
        image = inflated;
    }

    TDataSetTable table{};
    if (!ReadDataSets(image, table))
        return 0;
    TTrackWalkContext context;
    context.drivePath = "e:";
    // Some files "exist", so the size texts are made too.
    context.sizeOf = [](const std::string& location) -> std::optional<std::int64_t> {
        if (location.size() % 3 == 0)
            return static_cast<std::int64_t>(location.size()) * 40000;
        return std::nullopt;
    };
    std::vector<TSong> songs;
    const bool compressed = !inflated.empty();
    const auto fileSize = static_cast<std::int64_t>(size);
    const TTrackListResult result =
        ParseTracks(image, table[0], context, songs, compressed ? fileSize : -1);
    // In the file's terms: a plain file's walk takes a step and a string byte per byte and
    // a record per 20 bytes; an iTunesCDB's at most 16 times and 2 times that.
    const std::int64_t steps = compressed ? 16 * fileSize : fileSize;
    const std::int64_t records = (compressed ? 2 * fileSize : fileSize) / kMinTrackBytes;
    if (result.cost.objectSteps > steps || result.cost.stringBytes > steps ||
        result.cost.records > records || static_cast<std::int64_t>(songs.size()) > records)
        std::abort();
    // The playlists and the files beside the database, from the same bytes, within the
    // same allowance: the file read as Play Counts and as an On-The-Go list too.
    TTrackListResult walk = result;
    const TPlaylistRead playlists = ReadPlaylists(image, songs, walk.allowance, walk.cost);
    if (!WithinAllowance(walk.cost, walk.allowance))
        std::abort();
    for (const TPlaylist& playlist : playlists.playlists)
        for (const std::int32_t song : playlist.Songs)
            if (song < 0 || static_cast<std::size_t>(song) >= songs.size())
                std::abort();
    MergePlayCounts(file, walk.songOfTrack, songs);
    const TPlaylist otg = ReadOnTheGo(file, walk.songOfTrack, u"On-The-Go 1");
    if (static_cast<std::int64_t>(otg.Songs.size()) + otg.DroppedEntries > fileSize)
        std::abort();
    for (const std::int32_t song : otg.Songs)
        if (song < 0 || static_cast<std::size_t>(song) >= songs.size())
            std::abort();
    // A walk that finished keeps no empty record: one with neither an id nor any string.
    for (const TSong& song : songs)
        if (song.SongId == 0 && song.Title.empty() && song.Location.size() <= 2 &&
            song.Album.empty() && song.Artist.empty() && song.Genre.empty() &&
            song.FileType.empty() && song.Comment.empty() && song.EQSetting.empty() &&
            song.Composer.empty() && song.Grouping.empty() && song.AlbumArtist.empty() &&
            song.SortTitle.empty() && song.SortArtist.empty() && song.SortAlbum.empty() &&
            song.SortAlbumArtist.empty() && song.SortComposer.empty())
            std::abort();
    return 0;
}
