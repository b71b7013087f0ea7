#include "copyout/Playlist.h"

#include "copyout/JobSummary.h"
#include "platform/Platform.h"

#include <algorithm>
#include <filesystem>

namespace korvello {

namespace {

std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

std::string RelativePath(const std::string& song, const std::string& playlistFolder) {
    namespace fs = std::filesystem;
    const fs::path target = fs::path(song).lexically_normal();
    std::string relative = target.lexically_relative(playlistFolder).generic_string();
    if (relative.empty())
        relative = target.generic_string();
    if (relative.starts_with("#"))
        relative = "./" + relative;
    return OneLine(relative);
}

} // namespace

std::string PlaylistText(const std::string& playlistPath,
                         const std::vector<TPlaylistEntry>& entries) {
    const std::filesystem::path folder =
        std::filesystem::path(playlistPath).lexically_normal().parent_path();
    std::string text = "#EXTM3U\n";
    for (const TPlaylistEntry& entry : entries) {
        text += "#EXTINF:-1,";
        if (!entry.artist.empty())
            text += OneLine(entry.artist) + " - ";
        text += OneLine(entry.title) + "\n";
        text += RelativePath(entry.path, folder) + "\n";
    }
    return text;
}

std::vector<TPlaylistEntry> PlaylistOfJob(IPlatform& platform,
                                          const std::vector<std::string>& titles,
                                          const std::vector<std::string>& artists,
                                          const std::vector<std::string>& outcomes,
                                          const std::vector<std::string>& found) {
    std::vector<TPlaylistEntry> entries;
    const std::size_t count = std::min(titles.size(), outcomes.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::string path;
        if (!IsOutcomeText(outcomes[i]))
            path = outcomes[i];
        else if (outcomes[i] == kAlreadyCopied && i < found.size())
            path = found[i];
        if (path.empty())
            continue;
        entries.push_back({i < artists.size() ? artists[i] : std::string(), titles[i],
                           platform.DisplayPath(path)});
    }
    return entries;
}

} // namespace korvello
