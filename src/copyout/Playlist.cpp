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

namespace {

// The file at `path` begins like a playlist: "#EXTM3U", after a byte-order mark or not.
bool StartsAsPlaylist(IPlatform& platform, const std::string& path) {
    std::string error;
    const std::unique_ptr<IFile> file = platform.OpenRead(path, error);
    if (!file)
        return false;
    char head[10] = {};
    std::int64_t got = 0;
    while (got < std::ssize(head)) {
        const std::int64_t n = file->Read(head + got, std::ssize(head) - got);
        if (n <= 0)
            break;
        got += n;
    }
    std::string_view text(head, static_cast<std::size_t>(got));
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text.starts_with("#EXTM3U");
}

// Why the file at `path` may not be replaced by a playlist; empty when it may.
std::string RefusalToReplace(IPlatform& platform, const std::string& path, const NameInfo& there,
                             const std::vector<std::string>& jobFiles) {
    if (there.kind != NameKind::File)
        return "it is not a file";
    for (const std::string& written : jobFiles) {
        if (!IsResultText(written) && platform.StatName(written).SameFile(there))
            return "it is a song this copy wrote";
    }
    if (!StartsAsPlaylist(platform, path))
        return "it is not a playlist (it does not begin with #EXTM3U) and is left as it is";
    return {};
}

} // namespace

bool WritePlaylistFile(IPlatform& platform, const std::string& path, const std::string& text,
                       const std::vector<std::string>& jobFiles, std::string& error) {
    const NameInfo there = platform.StatName(path);
    if (there.kind != NameKind::Missing) {
        error = RefusalToReplace(platform, path, there, jobFiles);
        if (!error.empty())
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
    const bool stored = out->Write(text.data(), size) == size && out->Sync();
    if (!stored)
        error = out->ErrorText();
    const bool closed = out->Close();
    if (stored && !closed)
        error = out->ErrorText();
    // The playlist replaces only the file checked above, in one step with the check; a
    // file put there meanwhile is kept.
    const RenameResult placed = !stored || !closed ? RenameResult::Failed
                                : there.kind == NameKind::Missing
                                    ? platform.RenameFile(temp, path, /*replace=*/false, error)
                                    : platform.ReplaceFile(temp, path, there, error);
    if (placed != RenameResult::Done) {
        if (placed == RenameResult::NameTaken)
            error = "another file took its name while the playlist was written";
        platform.DeleteFile(temp);
        return false;
    }
    return true;
}

} // namespace korvello
