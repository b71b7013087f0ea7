// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/TextLines.h"

namespace korvello::posix {

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        Line line;
        line.begin = pos;
        line.next = nl == std::string_view::npos ? text.size() : nl + 1;
        line.end = nl == std::string_view::npos ? text.size() : nl;
        if (line.end > line.begin && text[line.end - 1] == '\r')
            --line.end;
        line.content = text.substr(line.begin, line.end - line.begin);
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::vector<std::string_view> NormalComponents(std::string_view path, std::size_t pos,
                                               std::string_view separators) {
    std::vector<std::string_view> components;
    while (pos <= path.size()) {
        std::size_t end = path.find_first_of(separators, pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!part.empty() && part != ".") {
            components.push_back(part);
        }
        pos = end + 1;
    }
    return components;
}

} // namespace korvello::posix
