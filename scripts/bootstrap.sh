#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, testing and running Korvello need,
# but only those that are missing, so a machine that has them all does nothing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libicu-dev
    # zlib: the compressed iTunesCDB of iPod nano 5G to 7G
    zlib1g-dev
    libtag1-dev         # TagLib: tags of song files
    lame flac sox       # the tag tests make real MP3, FLAC, WAV and AIFF files
    python3-mutagen     # the tag tests read the tags back with an independent reader
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji
    xvfb xauth
    xdotool    # drives the real mouse in the window test on Xvfb
    x11-utils  # xprop: reads the decorations a window asks for
    openbox    # a window manager for the same test, which then drives the move
    librsvg2-bin        # rsvg-convert renders the PNG icons from the SVG
    scdoc               # the manual pages are written in scdoc
    gzip                # compresses the manual pages and the changelog
    desktop-file-utils  # desktop-file-validate checks the desktop entry in the tests
    appstream           # appstreamcli checks the AppStream metadata in the tests
    dpkg-dev            # dpkg-shlibdeps finds the Debian package's dependencies
    file                # CPack strips only the files that "file" calls executables
    clang-format        # the tests check that the sources keep the repository's format
    dosfstools fusefat  # the copy tests write to a real FAT file system (mkfs.vfat, FUSE)
    e2fsprogs           # the copy benchmark writes to an ext4 disk image (mkfs.ext4)
    python3             # plistlib reads the exported library file back in the tests
    libgpod-dev         # an independent reader the database writer's output is held against
    fusefat dosfstools  # a FAT iPod image on FUSE that a test stops in the middle of a copy
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO="sudo"
    else
        echo "bootstrap: missing packages and not root, no sudo: ${missing[*]}" >&2
        exit 1
    fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
