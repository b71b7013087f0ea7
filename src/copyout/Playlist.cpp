// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/Playlist.h"

#include "copyout/CopyThread.h"
#include "copyout/JobSummary.h"
#include "copyout/ResultTexts.h"
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
    if (platform.StatName(path).kind == NameKind::Other) {
        error = "not a file";
        return false;
    }
    const std::size_t slash = path.rfind('\\');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    std::unique_ptr<IFile> out;
    std::string temp;
    for (int n = 0; !out; ++n) {
        temp =
            folder + "." + name + (n == 0 ? std::string() : "." + std::to_string(n)) + kPartSuffix;
        bool taken = false;
        out = platform.CreateNew(temp, error, taken);
        if (!out && (!taken || n >= 100))
            return false;
    }
    const auto size = static_cast<std::int64_t>(text.size());
    const bool stored = out->Write(text.data(), size) == size;
    if (!stored)
        error = out->ErrorText();
    const bool closed = out->Close();
    if (stored && !closed)
        error = out->ErrorText();
    if (!stored || !closed ||
        platform.RenameFile(temp, path, /*replace=*/true, error) != RenameResult::Done) {
        platform.DeleteFile(temp);
        return false;
    }
    return true;
}

} // namespace korvello
