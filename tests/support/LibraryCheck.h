#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading an exported library file back with a real property-list parser: the test writes
// what it expects as JSON and support/check_library.py (Python's plistlib) compares.

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include <sys/wait.h>

namespace korvello::test {

// `text` (UTF-8) as a JSON string.
inline std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr std::string_view kHex = "0123456789abcdef";
            out += "\\u00";
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

struct LibraryCheck {
    int status = -1; // 0 when the file reads as expected
    std::string output;
};

// Runs the checker on the library at `library` with `expectedJsonFile`; `flags` as the
// script takes them ("--exist", "--some-keys").
inline LibraryCheck CheckLibrary(const std::string& library, const std::string& expectedJsonFile,
                                 const std::string& flags = {}) {
    const std::string command = "python3 '" KORVELLO_CHECK_LIBRARY "' '" + library + "' '" +
                                expectedJsonFile + "' " + flags + " 2>&1";
    LibraryCheck check;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return check;
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        check.output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    check.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return check;
}

} // namespace korvello::test
