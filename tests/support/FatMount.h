#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A real FAT32 file system for a test: an image made by mkfs.vfat, mounted through
// fusefat (these machines' kernels may lack vfat; fusefat needs only /dev/fuse). FAT
// ignores letter case, keeps times to two seconds and has neither hard links nor
// renameat2's flags, so the copy's fallbacks run for real on it. Reason() says why it is
// not there when the machine refuses it; the test then skips with that reason.

#include "support/TempDir.h"

#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <sys/statfs.h>

namespace korvello::test {

class FatMount {
public:
    // Mounts a fresh FAT32 image of `megabytes` at `mountPoint` (created if missing).
    FatMount(const TempDir& tmp, const std::string& mountPoint, int megabytes = 64)
        : image_(tmp / "fat.img"), mountPoint_(mountPoint) {
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            reason_ = "no /dev/fuse on this machine";
            return;
        }
        if (!Run("command -v mkfs.vfat && command -v fusefat")) {
            reason_ = "mkfs.vfat (dosfstools) or fusefat is not installed";
            return;
        }
        MakeDirs(mountPoint_);
        if (!Run("truncate -s " + std::to_string(megabytes) + "M '" + image_ +
                 "' && mkfs.vfat -F 32 '" + image_ + "'")) {
            reason_ = "mkfs.vfat failed";
            return;
        }
        if (!Run("fusefat -o rw+ '" + image_ + "' '" + mountPoint_ + "'")) {
            reason_ = "fusefat could not mount the image (mounting refused here?)";
            return;
        }
        struct statfs fs {};
        mounted_ = ::statfs(mountPoint_.c_str(), &fs) == 0 && fs.f_type == 0x65735546; // FUSE
        if (!mounted_)
            reason_ = "fusefat returned but nothing is mounted";
    }
    ~FatMount() {
        if (mounted_)
            Run("umount '" + mountPoint_ + "' || fusermount -u '" + mountPoint_ + "'");
    }
    FatMount(const FatMount&) = delete;
    FatMount& operator=(const FatMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }

private:
    static bool Run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::string image_;
    std::string mountPoint_;
    bool mounted_ = false;
    std::string reason_;
};

} // namespace korvello::test
