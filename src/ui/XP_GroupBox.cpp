// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/XP_GroupBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace korvello {

TXP_GroupBox::TXP_GroupBox(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    resize(105, 185);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TXP_GroupBox::SetBorderColor(const QColor& colour) {
    if (borderColor_ != colour) {
        borderColor_ = colour;
        update();
    }
}

void TXP_GroupBox::SetCaptionColor(const QColor& colour) {
    if (captionColor_ != colour) {
        captionColor_ = colour;
        update();
    }
}

void TXP_GroupBox::SetColor(const QColor& colour) {
    if (color_ != colour) {
        color_ = colour;
        update();
    }
}

QImage TXP_GroupBox::PaintBox() const {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(color_);
    QPainter p(&buffer);
    p.setFont(font());
    const QFontMetrics metrics(font());
    const int textHeight = metrics.height();
    p.setPen(borderColor_);
    p.setBrush(Qt::NoBrush);
    // The frame's outer pixels lie on the box's last row and column.
    p.drawRoundedRect(QRect(0, textHeight / 2, width() - 1, height() - 1 - textHeight / 2), 4, 4);
    const QRect captionRect(QPoint(10, 0),
                            QPoint(16 + metrics.horizontalAdvance(title()) - 1, textHeight - 1));
    p.fillRect(captionRect, color_);
    p.setPen(isEnabled() ? captionColor_ : QColor(128, 128, 128));
    p.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine, title());
    return buffer;
}

void TXP_GroupBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, PaintBox());
}

void TXP_GroupBox::mouseReleaseEvent(QMouseEvent* event) {
    QGroupBox::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT Click();
}

void TXP_GroupBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QGroupBox::mouseDoubleClickEvent(event);
    Q_EMIT DblClick();
}

} // namespace korvello
