// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SunSimpleComboBox.h"

#include "ui/Skin.h"

#include <QAbstractItemView>
#include <QLinearGradient>
#include <QPainter>

namespace korvello {

TComboButton::TComboButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

const char* TComboButton::ArrowName() const {
    return hovered_ || isDown() ? "COMBUTTONUP" : "COMBUTTONOVER";
}

void TComboButton::paintEvent(QPaintEvent*) {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&buffer);
    QLinearGradient face(0, 0, 0, height());
    face.setColorAt(0, QColor(255, 255, 255));
    face.setColorAt(1, QColor(216, 220, 232));
    p.fillRect(buffer.rect(), face);
    p.setPen(QColor(160, 160, 164));
    p.drawRect(0, 0, width() - 1, height() - 1);
    const QImage arrow = SkinImage(ArrowName());
    p.drawImage((width() - arrow.width()) / 2, (height() - arrow.height()) / 2, arrow);
    p.end();
    QPainter(this).drawImage(0, 0, buffer);
}

void TComboButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    hovered_ = true;
    update();
}

void TComboButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    hovered_ = false;
    update();
}

TSunSimpleComboBox::TSunSimpleComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    // The open list in the skin's look rather than the style's bright selection.
    ApplySkinListLook(view());
    button_ = new TComboButton(parent);
    connect(button_, &QAbstractButton::clicked, this, [this] {
        if (isEnabled())
            showPopup();
    });
    connect(this, &QObject::objectNameChanged, this, [this](const QString& name) {
        if (button_)
            button_->setObjectName(name + QStringLiteral("ListButton"));
    });
    PlaceButton();
}

TSunSimpleComboBox::~TSunSimpleComboBox() {
    delete button_.data();
}

void TSunSimpleComboBox::setVisible(bool visible) {
    QComboBox::setVisible(visible);
    if (button_)
        button_->setVisible(visible);
}

void TSunSimpleComboBox::PlaceButton() {
    if (!button_)
        return;
    button_->setGeometry(x() + width() - 20, y() + 2, 18, height() - 4);
    button_->raise();
}

void TSunSimpleComboBox::moveEvent(QMoveEvent* event) {
    QComboBox::moveEvent(event);
    PlaceButton();
}

void TSunSimpleComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    PlaceButton();
}

void TSunSimpleComboBox::paintEvent(QPaintEvent*) {
    // Flat: a white field in a thin grey frame, the chosen entry's text in the list's
    // text colour.
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&buffer);
    p.fillRect(buffer.rect(),
               isEnabled() ? palette().color(QPalette::Base) : palette().color(QPalette::Window));
    p.setPen(hasFocus() ? QColor(2, 70, 207) : QColor(160, 160, 164));
    p.drawRect(0, 0, width() - 1, height() - 1);
    p.setFont(font());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    const QRect textRect(4, 0, width() - 26, height());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               fontMetrics().elidedText(currentText(), Qt::ElideRight, textRect.width()));
    p.end();
    QPainter(this).drawImage(0, 0, buffer);
}

} // namespace korvello
