#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The drawn frame of the smaller windows (options, report): a title strip with its end
// pieces, an ornament and a cap before the title text, and a bottom strip. Each function
// returns the pictures it placed, so the window can let them move it.

#include <QString>

#include <vector>

class QLabel;
class QWidget;

namespace korvello {

class TLumoButtonSmall;
class TSunImage;

// Five pictures across the top of `window`, 37 pixels high, with `title` in bold yellow
// on them; the title text lets mouse presses through to the strip beneath it.
std::vector<QWidget*> AddTitleStrip(QWidget* window, const QString& title,
                                    QLabel** titleLabel = nullptr);
// Three pictures along the bottom of `window`, 18 pixels high; they stay at the bottom
// when the window's size changes.
std::vector<QWidget*> AddBottomStrip(QWidget* window);
// A one-pixel line down the window's left or right edge, from below the title strip to
// the bottom strip, following the window's height.
QWidget* AddSideLine(QWidget* window, bool right);
// A title-bar button: the small strip with a glyph ("GlyphMinimize", "GlyphClose") and
// no caption.
TLumoButtonSmall* MakeTitleBarButton(QWidget* parent, const char* glyph);

} // namespace korvello
