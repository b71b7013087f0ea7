#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// How a grid cell lays out its one line of text: by the text's own direction. A
// left-to-right text starts at the cell's left edge and is cut on the right; a
// right-to-left one (Arabic, Hebrew) starts at the right edge, and when it is too long
// loses its end, shown as an ellipsis on its left, so its first words stay in view.

#include <QFontMetrics>
#include <QString>

namespace korvello {

struct CellTextLayout {
    QString text;              // what to draw: the text, or its elided form
    Qt::Alignment alignment{}; // absolute left or right, centred vertically
};

CellTextLayout LayOutCellText(const QString& text, const QFontMetrics& metrics, int width);

} // namespace korvello
