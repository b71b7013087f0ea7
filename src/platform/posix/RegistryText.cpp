// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/RegistryText.h"

#include "platform/posix/ProfileText.h"
#include "platform/posix/TextLines.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace korvello::posix {

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\";

bool IsHeader(std::string_view content) {
    const std::string_view t = TrimBlanks(content);
    return t == "REGEDIT4" || t == "Windows Registry Editor Version 5.00";
}

std::optional<std::string_view> KeyOfLine(std::string_view content) {
    const std::string_view t = TrimBlanks(content);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return std::nullopt;
    return t.substr(1, t.size() - 2);
}

bool SameKey(std::string_view header, std::string_view key) {
    return header.size() == kRoot.size() + key.size() &&
           EqualsNoCase(header.substr(0, kRoot.size()), kRoot) &&
           EqualsNoCase(header.substr(kRoot.size()), key);
}

// Reads a double-quoted text with \\ and \" escapes at s[pos]; pos ends past the quote.
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            out += s[++pos];
        } else if (s[pos] == '"') {
            ++pos;
            return true;
        } else {
            out += s[pos];
        }
    }
    return false;
}

// One value line, taken apart.
struct ValueLine {
    std::string name;      // "" for the default value "@"
    std::string_view data; // what follows "=", trimmed
};

std::optional<ValueLine> ParseValueLine(std::string_view content) {
    const std::string_view t = TrimBlanks(content);
    ValueLine value;
    std::size_t pos = 0;
    if (t.starts_with("@")) {
        pos = 1;
    } else if (!ReadQuoted(t, pos, value.name)) {
        return std::nullopt;
    }
    const std::string_view rest = TrimBlanks(t.substr(pos));
    if (rest.empty() || rest.front() != '=')
        return std::nullopt;
    value.data = TrimBlanks(rest.substr(1));
    return value;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool ParseDword(std::string_view data, std::uint32_t& value) {
    if (!StartsWithNoCase(data, "dword:"))
        return false;
    const std::string_view digits = data.substr(6);
    if (digits.empty() || digits.size() > 8)
        return false;
    value = 0;
    for (const char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
}

// The data of a value line read as a typed value; nullopt when it is malformed.
std::optional<RegValue> ParseData(std::string_view data) {
    RegValue value;
    if (StartsWithNoCase(data, "dword:")) {
        if (!ParseDword(data, value.dword))
            return std::nullopt;
        value.type = RegType::Dword;
        return value;
    }
    if (data.starts_with("\"")) {
        std::size_t pos = 0;
        if (!ReadQuoted(data, pos, value.text) || !TrimBlanks(data.substr(pos)).empty())
            return std::nullopt;
        value.type = RegType::String;
        return value;
    }
    if (StartsWithNoCase(data, "hex")) // binary and the other typed forms: kept, not read
        return value;
    return std::nullopt;
}

// Where a value of a key lies: its first line and the line after its last continuation.
struct ValueSpan {
    std::size_t first = 0;
    std::size_t last = 0; // inclusive
    ValueLine line;
};

struct KeyScan {
    std::optional<std::size_t> header; // the first header line of the key
    std::optional<ValueSpan> value;
    std::size_t lastContent = 0; // last non-blank line of the key's first section
};

KeyScan Scan(const std::vector<Line>& lines, std::string_view key, std::string_view name) {
    KeyScan scan;
    bool inKey = false;
    bool inFirst = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto header = KeyOfLine(lines[i].content)) {
            inKey = SameKey(*header, key);
            inFirst = inKey && !scan.header;
            if (inFirst) {
                scan.header = i;
                scan.lastContent = i;
            }
            continue;
        }
        if (inFirst && !TrimBlanks(lines[i].content).empty())
            scan.lastContent = i;
        if (!inKey || scan.value)
            continue;
        const auto value = ParseValueLine(lines[i].content);
        if (!value)
            continue;
        std::size_t last = i;
        while (last + 1 < lines.size() && TrimBlanks(lines[last].content).ends_with("\\"))
            ++last;
        if (!value->name.empty() && EqualsNoCase(value->name, name))
            scan.value = ValueSpan{i, last, *value};
        if (inFirst)
            scan.lastContent = std::max(scan.lastContent, last);
        i = last;
    }
    return scan;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string DwordLine(std::string_view name, std::uint32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", value);
    return Quote(name) + "=dword:" + digits;
}

} // namespace

bool RegistryTextParses(std::string_view text) {
    if (text.find('\0') != std::string_view::npos)
        return false;
    const std::vector<Line> lines = SplitLines(text);
    bool headerSeen = false;
    bool continuation = false;
    for (const Line& line : lines) {
        const std::string_view t = TrimBlanks(line.content);
        if (continuation) {
            continuation = t.ends_with("\\");
            continue;
        }
        if (t.empty() || t.front() == ';')
            continue;
        if (!headerSeen) {
            if (!IsHeader(t))
                return false;
            headerSeen = true;
            continue;
        }
        if (KeyOfLine(t))
            continue;
        const auto value = ParseValueLine(t);
        if (!value || !ParseData(value->data))
            return false;
        continuation = t.ends_with("\\");
    }
    return true;
}

bool RegistryHasKey(std::string_view text, std::string_view key) {
    return Scan(SplitLines(text), key, {}).header.has_value();
}

RegValue RegistryQuery(std::string_view text, std::string_view key, std::string_view name) {
    const KeyScan scan = Scan(SplitLines(text), key, name);
    if (!scan.value)
        return {};
    return ParseData(scan.value->line.data).value_or(RegValue{});
}

void RegistryEnsureKey(std::string& text, std::string_view key) {
    const std::string eol(DetectLineEnding(text));
    bool hasHeader = false;
    for (const Line& line : SplitLines(text))
        hasHeader = hasHeader || IsHeader(line.content);
    // A text of blanks and comments only gets its header in front of them.
    if (!hasHeader)
        text.insert(text.starts_with("\xEF\xBB\xBF") ? 3 : 0, "REGEDIT4" + eol);
    if (RegistryHasKey(text, key))
        return;
    if (text.back() != '\n')
        text += eol;
    text += "[" + std::string(kRoot) + std::string(key) + "]" + eol;
}

namespace {

// Puts `line` in place of the value `name` of `key`, or adds it at the end of the key.
void SetValueLine(std::string& text, std::string_view key, std::string_view name,
                  const std::string& line) {
    RegistryEnsureKey(text, key);
    const std::string eol(DetectLineEnding(text));
    const std::vector<Line> lines = SplitLines(text);
    const KeyScan scan = Scan(lines, key, name);
    if (scan.value) {
        const Line& first = lines[scan.value->first];
        const Line& last = lines[scan.value->last];
        text.replace(first.begin, last.end - first.begin, line);
        return;
    }
    const Line& after = lines[scan.lastContent];
    if (after.next == after.end)
        text.insert(after.next, eol + line);
    else
        text.insert(after.next, line + eol);
}

// The stored spelling of a name stays, so a diff of the file shows only the data.
std::string StoredName(std::string_view text, std::string_view key, std::string_view name) {
    const KeyScan scan = Scan(SplitLines(text), key, name);
    return scan.value ? scan.value->line.name : std::string(name);
}

} // namespace

void RegistrySetDword(std::string& text, std::string_view key, std::string_view name,
                      std::uint32_t value) {
    SetValueLine(text, key, name, DwordLine(StoredName(text, key, name), value));
}

void RegistrySetString(std::string& text, std::string_view key, std::string_view name,
                       std::string_view value) {
    SetValueLine(text, key, name, Quote(StoredName(text, key, name)) + "=" + Quote(value));
}

} // namespace korvello::posix
