// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/ProfileText.h"

#include "platform/posix/TextLines.h"
#include "platform/posix/TextServices.h"

#include <deque>
#include <map>
#include <optional>
#include <utility>
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

// A name as EqualsNoCase compares it: two names are equal without regard to case exactly
// when their folded forms are the same bytes.
std::string FoldedName(std::string_view name) {
    bool ascii = true;
    for (const char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii)
        return FoldCase(name);
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string Unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

// Where a batch of keys lies in a text: the first header of each wanted section, the
// last line of that section's first block that is not blank, and the first line of each
// wanted key inside any section of its name. Only sections some key is asked of are
// looked into, so the names of a large file's other lines are never folded.
struct BatchMap {
    struct Section {
        std::optional<std::size_t> header;
        std::size_t lastLine = 0;
        std::map<std::string, std::size_t> keyLine; // folded key -> line index
        std::map<std::string, bool> wanted;         // folded keys asked of this section
    };
    std::map<std::string, Section> sections; // folded section name -> where it lies

    BatchMap(const std::vector<Line>& lines, const std::vector<ProfileKey>& keys) {
        for (const ProfileKey& k : keys)
            sections[FoldedName(TrimBlanks(k.section))].wanted[FoldedName(TrimBlanks(k.key))] =
                true;
        Section* current = nullptr;
        bool firstBlock = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (const auto name = SectionName(lines[i].content)) {
                const auto found = sections.find(FoldedName(*name));
                current = found == sections.end() ? nullptr : &found->second;
                firstBlock = current != nullptr && !current->header;
                if (firstBlock) {
                    current->header = i;
                    current->lastLine = i;
                }
                continue;
            }
            if (current == nullptr)
                continue;
            if (firstBlock && !TrimBlanks(lines[i].content).empty())
                current->lastLine = i;
            const auto key = KeyName(lines[i].content, nullptr);
            if (!key)
                continue;
            std::string folded = FoldedName(*key);
            if (current->wanted.contains(folded))
                current->keyLine.emplace(std::move(folded), i);
        }
    }
};

} // namespace

void ProfileReadMany(std::string_view text, std::vector<ProfileKey>& keys) {
    const std::vector<Line> lines = SplitLines(text);
    const BatchMap map(lines, keys);
    for (ProfileKey& k : keys) {
        const auto& section = map.sections.at(FoldedName(TrimBlanks(k.section)));
        const auto line = section.keyLine.find(FoldedName(TrimBlanks(k.key)));
        if (line == section.keyLine.end())
            continue;
        std::string_view value;
        KeyName(lines[line->second].content, &value);
        k.value = Unquoted(value);
    }
}

void ProfileWriteMany(std::string& text, const std::vector<ProfileKey>& keys) {
    const std::string eol(DetectLineEnding(text));
    const std::vector<Line> lines = SplitLines(text);
    const BatchMap map(lines, keys);

    // What writing the keys one by one does: an existing key line gets the new value; a
    // new key goes after the last key of its section that is not blank (after the keys
    // this batch added there before it); a new section goes to the end of the text. A key
    // written twice keeps its line and takes the later value.
    // Deques, so the lines added keep their places while more are added.
    std::map<std::size_t, std::string> replaced;          // line -> new content
    std::map<std::size_t, std::deque<std::string>> added; // line -> lines after it
    std::deque<std::pair<std::string, std::deque<std::string>>> newSections;
    std::map<std::string, std::size_t> newSectionIndex;                    // folded name -> index
    std::map<std::pair<std::string, std::string>, std::string*> addedKeys; // -> its line
    for (const ProfileKey& k : keys) {
        const std::string_view section = TrimBlanks(k.section);
        const std::string_view key = TrimBlanks(k.key);
        const std::string foldedSection = FoldedName(section);
        const std::string foldedKey = FoldedName(key);
        const auto& where = map.sections.at(foldedSection);
        if (const auto line = where.keyLine.find(foldedKey); line != where.keyLine.end()) {
            const std::string_view oldKey = *KeyName(lines[line->second].content, nullptr);
            replaced[line->second] = std::string(oldKey) + "=" + k.value;
            continue;
        }
        if (const auto again = addedKeys.find({foldedSection, foldedKey});
            again != addedKeys.end()) {
            std::string& line = *again->second;
            line = line.substr(0, line.find('=') + 1) + k.value;
            continue;
        }
        std::deque<std::string>* into = nullptr;
        if (where.header) {
            into = &added[where.lastLine];
        } else {
            auto [index, isNew] = newSectionIndex.emplace(foldedSection, newSections.size());
            if (isNew)
                newSections.emplace_back(std::string(section), std::deque<std::string>());
            into = &newSections[index->second].second;
        }
        into->push_back(std::string(key) + "=" + k.value);
        addedKeys[{foldedSection, foldedKey}] = &into->back();
    }

    std::string out;
    out.reserve(text.size() + keys.size() * 32);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (const auto r = replaced.find(i); r != replaced.end()) {
            out.append(text, pos, line.begin - pos);
            out += r->second;
            pos = line.end;
        }
        if (const auto a = added.find(i); a != added.end()) {
            out.append(text, pos, line.next - pos);
            pos = line.next;
            const bool ended = line.next != line.end; // the line has its line ending
            for (const std::string& keyLine : a->second)
                out += ended ? keyLine + eol : eol + keyLine;
        }
    }
    out.append(text, pos, std::string::npos);
    for (const auto& [section, keyLines] : newSections) {
        if (!out.empty() && out.back() != '\n')
            out += eol;
        out += "[" + section + "]" + eol;
        for (const std::string& keyLine : keyLines)
            out += keyLine + eol;
    }
    text = std::move(out);
}

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
