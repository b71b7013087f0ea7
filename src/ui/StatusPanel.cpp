// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusPanel.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace korvello {

TStatusPanel::TStatusPanel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

QString TStatusPanel::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(0, width() - 2 * kMargin),
                                    Qt::TextSingleLine);
}

void TStatusPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    style()->drawItemText(&painter, rect().adjusted(kMargin, 0, -kMargin, 0),
                          static_cast<int>(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), ShownText(), foregroundRole());
}

} // namespace korvello
