// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/Playlist.h"

#include "copyout/CopyThread.h"
#include "copyout/JobSummary.h"
#include "copyout/ResultTexts.h"
#include "export/SafeFile.h"
#include "platform/Platform.h"

#include <algorithm>
#include <filesystem>

namespace korvello {

namespace {

// Appends `text` with its line breaks turned into blanks.
void AppendOneLine(std::string& out, std::string_view text) {
    const std::size_t start = out.size();
    out.append(text);
    std::replace_if(
        out.begin() + static_cast<std::ptrdiff_t>(start), out.end(),
        [](char c) { return c == '\n' || c == '\r'; }, ' ');
}

// The part of `song` after `folder` + "/" when that part is already a plain relative
// path (no "." or ".." component, no doubled "/"), which is what the copies of a job in
// the playlist's own folder give; empty otherwise.
std::string_view PlainTail(std::string_view song, std::string_view folder) {
    if (folder.empty() || !song.starts_with(folder))
        return {};
    std::string_view tail = song.substr(folder.size());
    if (!folder.ends_with('/')) {
        if (!tail.starts_with('/'))
            return {};
        tail.remove_prefix(1);
    }
    if (tail.empty() || tail.ends_with('/') || tail.starts_with('/'))
        return {};
    for (std::size_t start = 0; start <= tail.size();) {
        std::size_t end = tail.find('/', start);
        if (end == std::string_view::npos)
            end = tail.size();
        const std::string_view part = tail.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return {};
        start = end + 1;
    }
    return tail;
}

} // namespace

std::string PlaylistRelativePath(const std::string& song, const std::string& playlistFolder) {
    namespace fs = std::filesystem;
    std::string relative(PlainTail(song, playlistFolder));
    if (relative.empty()) {
        const fs::path target = fs::path(song).lexically_normal();
        relative = target.lexically_relative(playlistFolder).generic_string();
        if (relative.empty())
            relative = target.generic_string();
    }
    if (relative.starts_with("#"))
        relative = "./" + relative;
    std::string line;
    AppendOneLine(line, relative);
    return line;
}

void AppendPlaylistEntry(std::string& text, std::string_view artist, std::string_view title,
                         int seconds, std::string_view path) {
    text += "#EXTINF:";
    text += std::to_string(seconds);
    text += ',';
    if (!artist.empty()) {
        AppendOneLine(text, artist);
        text += " - ";
    }
    AppendOneLine(text, title);
    text += '\n';
    text += path;
    text += '\n';
}

std::string PlaylistText(const std::string& playlistPath,
                         const std::vector<TPlaylistEntry>& entries) {
    const std::string folder =
        std::filesystem::path(playlistPath).lexically_normal().parent_path().string();
    std::string text = "#EXTM3U\n";
    for (const TPlaylistEntry& entry : entries)
        AppendPlaylistEntry(text, entry.artist, entry.title, -1,
                            PlaylistRelativePath(entry.path, folder));
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
        if (!IsResultText(outcomes[i]))
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

bool WritePlaylistFile(IPlatform& platform, const std::string& path, const std::string& text,
                       std::string& error) {
    return WriteWholeFile(platform, path, text, error);
}

} // namespace korvello
