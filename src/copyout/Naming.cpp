// SPDX-License-Identifier: GPL-3.0-or-later
#include "copyout/Naming.h"

#include <algorithm>

namespace korvello {

namespace {

bool IsRemovedCharacter(unsigned char c) {
    // Control characters have no business in a file name and make some file managers
    // show the name garbled, so they go along with the characters Windows refuses.
    if (c < 0x20 || c == 0x7F)
        return true;
    constexpr std::string_view kRemoved = ";=+<>/\"[]\\'*?|:";
    return kRemoved.find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string CleanFileName(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    // Every removed character is ASCII, and no byte of a multi-byte UTF-8 sequence is in
    // the ASCII range, so a byte-wise filter never breaks a character apart.
    std::copy_if(text.begin(), text.end(), std::back_inserter(out),
                 [](char c) { return !IsRemovedCharacter(static_cast<unsigned char>(c)); });
    return out;
}

std::string ExtractFileExt(const std::string& path) {
    const std::size_t dot = path.find_last_of(".\\:");
    if (dot == std::string::npos || path[dot] != '.')
        return {};
    return path.substr(dot);
}

std::string SongFileExt(const std::string& location) {
    const std::size_t separator = location.find_last_of("\\:/");
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = location.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return {};
    const std::string_view letters = std::string_view(location).substr(dot + 1);
    if (letters.empty() || letters.size() > kMaxExtensionChars)
        return {};
    for (const char c : letters) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!plain)
            return {};
    }
    return location.substr(dot);
}

std::string VisibleFileName(const std::string& name) {
    if (name.empty() || name.front() == '.')
        return "_" + name;
    return name;
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    while (end > 0 && IsContinuationByte(text[end]))
        --end;
    return std::string(text.substr(0, end));
}

std::string FitFileName(const std::string& base, const std::string& extension) {
    if (base.size() + extension.size() <= kMaxFileNameBytes)
        return base + extension;
    if (extension.size() >= kMaxFileNameBytes)
        return CutUtf8(extension, kMaxFileNameBytes);
    return CutUtf8(base, kMaxFileNameBytes - extension.size()) + extension;
}

namespace {

std::string CopyFileName(const std::string& title, const std::string& sourcePath) {
    const std::string extension = SongFileExt(sourcePath);
    std::string base = CleanFileName(title);
    // The "_" of a hidden-looking name goes in front of the base, so the cut to the name
    // limit keeps the extension.
    if (VisibleFileName(base + extension).size() != base.size() + extension.size())
        base.insert(0, "_");
    return FitFileName(base, extension);
}

} // namespace

std::string BuildTargetPath(const std::string& folder, const std::string& title,
                            const std::string& sourcePath) {
    return folder + "\\" + CopyFileName(title, sourcePath);
}

std::string DialogFolderPart(const std::string& confirmedPath) {
    const std::size_t slash = confirmedPath.rfind('\\');
    if (slash == std::string::npos)
        return {};
    if (slash > 0 && (confirmedPath[slash - 1] == ':' || confirmedPath[slash - 1] == '\\'))
        return confirmedPath.substr(0, slash + 1);
    return confirmedPath.substr(0, slash);
}

std::string ProposedFileName(const std::string& title, const std::string& sourcePath) {
    return CopyFileName(title, sourcePath);
}

std::string DialogFilter(const std::string& sourcePath) {
    return "*" + SongFileExt(sourcePath);
}

} // namespace korvello
