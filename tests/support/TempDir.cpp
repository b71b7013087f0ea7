// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TempDir.h"

#include "support/Waits.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <stdlib.h>

namespace fs = std::filesystem;

namespace korvello::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "korvello-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests make folders read-only to provoke failures; give the rights back first.
    for (auto it = fs::recursive_directory_iterator(
             path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const {
    return path_ + "/" + std::string(relative);
}

void MakeDirs(const std::string& path) {
    fs::create_directories(path);
}

void WriteFile(const std::string& path, std::string_view content) {
    fs::path p(path);
    if (p.has_parent_path())
        fs::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::set<std::string> NamesIn(const std::string& folder) {
    // FUSE's library keeps a file removed or replaced while open under a ".fuse_hidden"
    // name until the close reaches the daemon, which may be a moment after close()
    // returned. Such names are waited out; one still there at the deadline belongs to a
    // file really left open, and the caller sees it.
    std::set<std::string> names;
    WaitUntil([&] {
        names.clear();
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return std::ranges::none_of(
            names, [](const std::string& name) { return name.starts_with(".fuse_hidden"); });
    });
    return names;
}

} // namespace korvello::test
