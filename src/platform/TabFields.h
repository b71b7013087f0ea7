#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Tab-separated lines of text fields: a field's backslash, tab, newline and carriage
// return are written as \\, \t, \n and \r, so a line holds its fields whatever they contain.

#include <string>
#include <string_view>

namespace korvello {

// Appends `c` to `out`, escaped when it is one of the four characters above; false (and
// nothing appended) for any other character, which the caller writes as it sees fit.
inline bool AppendEscapedSeparator(std::string& out, char c) {
    switch (c) {
    case '\\':
        out += "\\\\";
        return true;
    case '\t':
        out += "\\t";
        return true;
    case '\n':
        out += "\\n";
        return true;
    case '\r':
        out += "\\r";
        return true;
    default:
        return false;
    }
}

} // namespace korvello
