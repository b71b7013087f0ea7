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

std::string BuildTargetPath(const std::string& folder, const std::string& title,
                            const std::string& sourcePath) {
    return folder + "\\" + FitFileName(CleanFileName(title), ExtractFileExt(sourcePath));
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
    const std::string extension = ExtractFileExt(sourcePath);
    // CleanFileName works character by character, so cleaning the two parts apart equals
    // cleaning them joined; apart, the cut can keep the extension whole.
    return FitFileName(CleanFileName(title), CleanFileName(extension));
}

std::string DialogFilter(const std::string& sourcePath) {
    return "*" + ExtractFileExt(sourcePath);
}

} // namespace korvello
