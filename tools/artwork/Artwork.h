#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// Draws every picture of Korvello's skin: the window strips and ornaments, the panel
// corners, the button strips of five frames, the progress pictures, the selector arrows
// and the small glyphs. The drawing uses no fonts and no randomness, so the same Qt
// draws the same pixels every time; make-artwork writes them as the PNG files that the
// program compiles in as resources.

#include <QImage>
#include <QString>

#include <vector>

namespace korvello::artwork {

struct Picture {
    QString name; // resource name, without the ".png"
    QImage image;
};

std::vector<Picture> DrawAll();

} // namespace korvello::artwork
