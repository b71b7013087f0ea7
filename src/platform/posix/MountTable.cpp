// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/MountTable.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace korvello::posix {

namespace {

std::vector<std::string_view> SplitBlanks(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

template <class T> bool ParseNumber(std::string_view text, T& value) {
    if (text.empty())
        return false;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

} // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
            IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<MountEntry> ParseMountinfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;

        // id parent major:minor root mountpoint options [optional...] - fstype source super
        const auto fields = SplitBlanks(line);
        if (fields.size() < 10)
            continue;
        const auto dash = std::find(fields.begin() + 6, fields.end(), std::string_view("-"));
        if (dash == fields.end() || fields.end() - dash < 3)
            continue;
        MountEntry entry;
        const std::string_view devno = fields[2];
        const auto colon = devno.find(':');
        if (!ParseNumber(fields[0], entry.id) || !ParseNumber(fields[1], entry.parentId) ||
            colon == std::string_view::npos || !ParseNumber(devno.substr(0, colon), entry.major) ||
            !ParseNumber(devno.substr(colon + 1), entry.minor))
            continue;
        entry.root = UnescapeMountField(fields[3]);
        entry.mountPoint = UnescapeMountField(fields[4]);
        if (entry.root.empty() || entry.root[0] != '/' || entry.mountPoint.empty() ||
            entry.mountPoint[0] != '/')
            continue;
        entry.fsType = UnescapeMountField(*(dash + 1));
        entry.source = UnescapeMountField(*(dash + 2));
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

bool IsPseudoOrNetworkFs(std::string_view fsType) {
    // Kernel pseudo file systems, in-memory and image file systems, and every file system
    // that reaches over the network. FUSE file systems ("fuse.sshfs", "fuse.gvfsd-fuse")
    // are user-space services, not volumes; "fuseblk" (ntfs-3g, exfat-fuse on a stick) is
    // backed by a block device and may be a player.
    static constexpr std::array<std::string_view, 44> kExcluded = {
        "proc",    "sysfs",      "tmpfs",      "devtmpfs",  "devpts",      "cgroup",   "cgroup2",
        "overlay", "squashfs",   "securityfs", "debugfs",   "tracefs",     "configfs", "pstore",
        "bpf",     "mqueue",     "hugetlbfs",  "fusectl",   "binfmt_misc", "autofs",   "efivarfs",
        "ramfs",   "rpc_pipefs", "nsfs",       "selinuxfs", "nfs",         "nfs4",     "nfsd",
        "cifs",    "smb3",       "smbfs",      "ncpfs",     "9p",          "ceph",     "glusterfs",
        "afs",     "davfs",      "coda",       "lustre",    "virtiofs",    "fuse",     "aufs",
        "zram",    "none"};
    if (fsType.starts_with("fuse.") || fsType.starts_with("cgroup"))
        return true;
    return std::find(kExcluded.begin(), kExcluded.end(), fsType) != kExcluded.end();
}

} // namespace korvello::posix
