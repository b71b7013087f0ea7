// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ProfileText.h"

#include "platform/posix/TextLines.h"
#include "platform/posix/TextServices.h"

#include <optional>
#include <vector>

namespace korvello::posix {

namespace {

// One line of the text: its content without the line ending, and where it lies.

std::optional<std::string_view> SectionName(std::string_view content) {
    const std::string_view t = TrimBlanks(content);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    return TrimBlanks(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
}

// Key of a key line, or nothing for comments, blank lines and lines without "=".
std::optional<std::string_view> KeyName(std::string_view content, std::string_view* value) {
    const std::string_view t = TrimBlanks(content);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    if (value != nullptr)
        *value = TrimBlanks(t.substr(eq + 1));
    return TrimBlanks(t.substr(0, eq));
}

struct Location {
    std::optional<std::size_t> firstSection; // index of the first header of the section
    std::optional<std::size_t> keyLine;      // index of the key's line
    std::string_view value;
};

Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location where;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = SectionName(lines[i].content)) {
            inSection = EqualsNoCase(*name, section);
            if (inSection && !where.firstSection)
                where.firstSection = i;
            continue;
        }
        if (!inSection)
            continue;
        std::string_view value;
        const auto name = KeyName(lines[i].content, &value);
        if (name && EqualsNoCase(*name, key)) {
            where.keyLine = i;
            where.value = value;
            return where;
        }
    }
    return where;
}

} // namespace

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) {
        bool same = true;
        for (std::size_t i = 0; i < a.size() && same; ++i) {
            char x = a[i];
            char y = b[i];
            if (x >= 'A' && x <= 'Z')
                x = static_cast<char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z')
                y = static_cast<char>(y - 'A' + 'a');
            same = x == y;
        }
        if (same)
            return true;
    }
    // Names outside ASCII fold through ICU; plain ASCII names that differ stay different.
    auto ascii = [](std::string_view s) {
        for (const char c : s)
            if (static_cast<unsigned char>(c) >= 0x80)
                return false;
        return true;
    };
    if (ascii(a) && ascii(b))
        return false;
    return FoldCase(a) == FoldCase(b);
}

std::string_view DetectLineEnding(std::string_view text) {
    const auto nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r')
        return "\r\n";
    return "\n";
}

bool ProfileTextsWritable(std::string_view section, std::string_view key, std::string_view value) {
    auto clean = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) == s.npos;
    };
    return clean(section) && clean(key) && clean(value) &&
           section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           !TrimBlanks(key).empty() && TrimBlanks(key).front() != ';' &&
           TrimBlanks(key).front() != '[';
}

std::string ProfileRead(std::string_view text, std::string_view section, std::string_view key,
                        const std::string& def) {
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Find(lines, TrimBlanks(section), TrimBlanks(key));
    if (!where.keyLine)
        return def;
    std::string_view value = where.value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

void ProfileWrite(std::string& text, std::string_view section, std::string_view key,
                  std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    const std::string eol(DetectLineEnding(text));
    const std::vector<Line> lines = SplitLines(text);
    const Location where = Find(lines, section, key);

    if (where.keyLine) {
        const Line& line = lines[*where.keyLine];
        const std::string_view oldKey = *KeyName(line.content, nullptr);
        text.replace(line.begin, line.end - line.begin,
                     std::string(oldKey) + "=" + std::string(value));
        return;
    }

    const std::string keyLine = std::string(key) + "=" + std::string(value);
    if (!where.firstSection) {
        if (!text.empty() && text.back() != '\n')
            text += eol;
        text += "[" + std::string(section) + "]" + eol + keyLine + eol;
        return;
    }

    // After the last line of the section that is not blank, so blank lines that part it
    // from the next section stay where they are.
    std::size_t last = *where.firstSection;
    for (std::size_t i = last + 1; i < lines.size() && !SectionName(lines[i].content); ++i)
        if (!TrimBlanks(lines[i].content).empty())
            last = i;
    const Line& after = lines[last];
    if (after.next == after.end) // the text ends without a line ending here
        text.insert(after.next, eol + keyLine);
    else
        text.insert(after.next, keyLine + eol);
}

} // namespace korvello::posix
