#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary folder removed with everything in it when the object goes away, and a few
// helpers that tests use to lay out fake trees in it.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace korvello::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Absolute Linux path of the folder, without a trailing slash.
    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string operator/(std::string_view relative) const;

private:
    std::string path_;
};

// Creates the folders of `path` as needed and writes `content` to it (replacing it).
void WriteFile(const std::string& path, std::string_view content);
// Creates the folder and its parents.
void MakeDirs(const std::string& path);
// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
// The name of every entry of `folder`, hidden ones included (not recursive), once the
// names FUSE gives files closed a moment ago are gone.
std::set<std::string> NamesIn(const std::string& folder);

} // namespace korvello::test
