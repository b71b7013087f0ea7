// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/StartFolder.h"

#include <bitset>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace korvello {

namespace {

// The links of the per-user drives folder by letter, dangling ones included: each holds
// its letter whether or not its folder is there now.
std::vector<std::pair<char, std::string>> DriveLinks(const PosixRoots& roots) {
    std::vector<std::pair<char, std::string>> links;
    std::error_code ec;
    const fs::path folder = fs::path(roots.configHome) / "korvello" / "drives";
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 2 || name[1] != ':')
            continue;
        const char letter = static_cast<char>(name[0] | 0x20);
        if (letter >= 'd' && letter <= 'z')
            links.emplace_back(letter, it->path().string());
    }
    return links;
}

} // namespace

std::string MapStartFolder(PosixRoots& roots, const std::string& folder, std::string& error) {
    std::error_code ec;
    const fs::path target = fs::canonical(fs::absolute(folder, ec), ec);
    if (ec || !fs::is_directory(target, ec)) {
        error = "no such folder: " + folder;
        return {};
    }

    std::bitset<26> taken;
    {
        // The drives as a run without the folder would letter them.
        PosixPlatform probe(roots);
        for (const DriveInfo& drive : probe.Drives()) {
            if (drive.letter < 'a' || drive.letter > 'z')
                continue;
            taken.set(static_cast<std::size_t>(drive.letter - 'a'));
            std::error_code same;
            if (drive.letter >= 'd' && fs::equivalent(drive.linuxRoot, target, same))
                return std::string(1, drive.letter) + ":";
        }
    }
    std::vector<std::pair<char, std::string>> mapped =
        roots.mappedFolders.empty() ? DriveLinks(roots) : roots.mappedFolders;
    for (const auto& [letter, path] : mapped)
        taken.set(static_cast<std::size_t>((letter | 0x20) - 'a'));
    for (char letter = 'd'; letter <= 'z'; ++letter) {
        if (taken.test(static_cast<std::size_t>(letter - 'a')))
            continue;
        // Folders given in memory take the place of the drives folder's links, so the
        // links come along under their own letters.
        mapped.emplace_back(letter, target.string());
        roots.mappedFolders = std::move(mapped);
        return std::string(1, letter) + ":";
    }
    error = "no free drive letter for " + folder;
    return {};
}

} // namespace korvello
