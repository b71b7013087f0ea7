#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The skin's shared pieces: its pictures (compiled in from src/ui/artwork), the cutting
// of a frame from a five-frame strip, the scaling that keeps a picture's edges, and the
// fonts the windows name, mapped to families that Linux has.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QSize>

class QAbstractItemView;
class QMenu;

namespace korvello {

// The skin's colours beyond its pictures.
inline QColor SkinMarkColour() {
    return {197, 212, 242};
} // marked rows, chosen entries
inline QColor SkinPanelColour() {
    return {219, 219, 229};
} // panels and dialogs
inline QColor SkinFrameColour() {
    return {41, 43, 55};
} // the navy of the window frame
inline QColor SkinHeaderColour() {
    return {166, 202, 240};
} // the grids' header row

// A picture of the skin by its name, for example "LumoBUTTON"; a null image when no
// picture has that name.
QImage SkinImage(const char* name);
QPixmap SkinPixmap(const char* name);

// Frame n (1 to 5) of a strip of five frames side by side.
QImage CutFrame(const QImage& strip, int n);

// Scales a picture to a size while keeping its edges: the left and right halves keep
// their width and the middle column stretches between them, then the top half keeps its
// height, the bottom half takes the last rows and the middle row stretches between.
QImage ScaleKeepEdges(const QImage& picture, QSize target);

// The windows' font names ("MS Sans Serif", "Tahoma", "@Gulim") do not exist on Linux;
// this maps each to an installed sans-serif family of similar width, so captions laid out
// for them fit. Called once at start-up; calling it again does nothing more.
void InstallFontSubstitutes();

// A font of the skin by its windows name, point size and weight.
QFont SkinFont(const char* family, int pointSize, bool bold = false);

// Popup menus in the skin's look: the panels' colour inside a navy line, the chosen item
// in the grids' mark colour with black text, the windows' 8-point font.
void ApplySkinMenuLook(QMenu* menu);

// A list or table whose chosen rows wear the grids' mark colour with black text, in the
// windows' 8-point font, whether or not it has the focus.
void ApplySkinListLook(QAbstractItemView* view);

} // namespace korvello
