// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LumoButton.h"

#include "ui/Skin.h"

#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QShortcutEvent>

namespace korvello {

namespace {
const QColor kDisabledText(128, 128, 128);

bool IsClickKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}
} // namespace

TLumoButtonBase::TLumoButtonBase(const char* stripName, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), stripName_(stripName) {
    resize(75, 24);
    setFocusPolicy(Qt::StrongFocus);
    setAutoDefault(false);
    // The face covers every pixel, so the system need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Runs before any handler connected later, as a click sets the result first.
    connect(this, &QAbstractButton::clicked, this, [this] { ApplyModalResult(); });
}

void TLumoButtonBase::SetPicture(const QPixmap& glyph) {
    picture_ = glyph;
    update();
}

void TLumoButtonBase::SetPicPos(TPicPos pos) {
    if (picPos_ != pos) {
        picPos_ = pos;
        update();
    }
}

void TLumoButtonBase::SetPicTrans(bool on) {
    if (picTrans_ != on) {
        picTrans_ = on;
        update();
    }
}

void TLumoButtonBase::SetPicTransColor(const QColor& colour) {
    if (picTransColor_ != colour) {
        picTransColor_ = colour;
        update();
    }
}

void TLumoButtonBase::SetPicOffSet(int gap) {
    if (picOffSet_ != gap) {
        picOffSet_ = gap;
        update();
    }
}

void TLumoButtonBase::SetCancel(bool on) {
    if (on == Cancel())
        return;
    if (on) {
        cancelShortcut_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        cancelShortcut_->setContext(Qt::WindowShortcut);
        connect(cancelShortcut_, &QShortcut::activated, this, [this] {
            if (isEnabled())
                click();
        });
    } else {
        delete cancelShortcut_;
        cancelShortcut_ = nullptr;
    }
}

void TLumoButtonBase::ApplyModalResult() {
    if (modalResult_ == 0)
        return;
    auto* dialog = qobject_cast<QDialog*>(window());
    if (dialog == nullptr)
        return;
    dialog->setResult(modalResult_);
    // The click's own handlers run first; the dialog closes when they are done.
    const int result = modalResult_;
    QMetaObject::invokeMethod(
        dialog,
        [dialog, result] {
            if (dialog->isVisible())
                dialog->done(result);
        },
        Qt::QueuedConnection);
}

TLumoButtonBase::Look TLumoButtonBase::EffectiveLook(Look requested) const {
    if (!isEnabled())
        return LookDisabled;
    if (requested != LookPressed && requested != LookOver && hasFocus())
        return LookFocus;
    return requested;
}

QPixmap TLumoButtonBase::GlyphForState() const {
    if (picture_.isNull())
        return picture_;
    QImage glyph = picture_.toImage().convertToFormat(QImage::Format_ARGB32);
    if (!isEnabled()) {
        // A flat silhouette: whatever differs from the bottom-left pixel takes the
        // button-face colour, the rest stays clear.
        const QRgb background = glyph.pixel(0, glyph.height() - 1);
        const QRgb face = palette().color(QPalette::Button).rgba();
        for (int y = 0; y < glyph.height(); ++y)
            for (int x = 0; x < glyph.width(); ++x)
                glyph.setPixel(x, y, glyph.pixel(x, y) != background ? face : 0u);
        return QPixmap::fromImage(glyph);
    }
    QPixmap pixmap = QPixmap::fromImage(glyph);
    if (picTrans_)
        pixmap.setMask(pixmap.createMaskFromColor(picTransColor_, Qt::MaskInColor));
    return pixmap;
}

QImage TLumoButtonBase::PaintFace(Look requested) const {
    const Look look = EffectiveLook(requested);
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    // The strip's rounded corners show the background the button sits on.
    const QWidget* behind = parentWidget() != nullptr ? parentWidget() : this;
    buffer.fill(behind->palette().color(behind->backgroundRole()));

    QPainter p(&buffer);
    const QImage strip = SkinImage(stripName_);
    if (!strip.isNull())
        p.drawImage(0, 0, ScaleKeepEdges(CutFrame(strip, look + 1), size()));

    p.setFont(font());
    p.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : kDisabledText);
    const QFontMetrics metrics(font());
    const int flags = Qt::TextShowMnemonic | Qt::TextSingleLine;
    const QPixmap glyph = GlyphForState();
    const int w = width();
    const int h = height();
    if (glyph.isNull()) {
        p.drawText(QRect(0, 0, w, h), Qt::AlignCenter | flags, text());
    } else if (picPos_ == pTop) {
        const int textHeight = metrics.height();
        const int block = glyph.height() + picOffSet_ + textHeight;
        const int top = (h - block) / 2;
        p.drawPixmap((w - glyph.width()) / 2, top, glyph);
        p.drawText(QRect(0, top + glyph.height() + picOffSet_, w, textHeight),
                   Qt::AlignCenter | flags, text());
    } else {
        QString plain = text();
        plain.remove(QLatin1Char('&'));
        const int textWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(plain);
        const int block = glyph.width() + picOffSet_ + textWidth;
        const int left = (w - block) / 2;
        p.drawPixmap(left, (h - glyph.height()) / 2, glyph);
        p.drawText(QRect(left + glyph.width() + picOffSet_, 0, textWidth, h),
                   Qt::AlignCenter | flags, text());
    }
    return buffer;
}

bool TLumoButtonBase::event(QEvent* event) {
    // The caption's accelerator takes the focus to the button as well as clicking it.
    if (event->type() == QEvent::Shortcut && isEnabled() &&
        !static_cast<QShortcutEvent*>(event)->isAmbiguous())
        setFocus(Qt::ShortcutFocusReason);
    return QPushButton::event(event);
}

void TLumoButtonBase::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, PaintFace(look_));
}

void TLumoButtonBase::SetLook(Look look) {
    look_ = look;
    update();
}

void TLumoButtonBase::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    if (!isDown())
        SetLook(LookOver);
}

void TLumoButtonBase::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    SetLook(LookNormal);
}

void TLumoButtonBase::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled()) {
        setFocus(Qt::MouseFocusReason);
        SetLook(LookPressed);
    }
    QPushButton::mousePressEvent(event);
}

void TLumoButtonBase::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click looks pressed but does not arm a click: the
    // first press and release already clicked once.
    if (event->button() == Qt::LeftButton && isEnabled()) {
        setFocus(Qt::MouseFocusReason);
        SetLook(LookPressed);
    }
    event->accept();
}

void TLumoButtonBase::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton) {
        const bool inside = rect().contains(event->position().toPoint());
        // Off the button the press shows the normal look; back on, pressed again.
        SetLook(inside && isDown() ? LookPressed : LookNormal);
    }
}

void TLumoButtonBase::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        SetLook(LookNormal);
    QPushButton::mouseReleaseEvent(event);
}

void TLumoButtonBase::keyPressEvent(QKeyEvent* event) {
    if (IsClickKey(event->key()) && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            SetLook(LookPressed);
            enterDown_ = true;
            setDown(true);
        }
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void TLumoButtonBase::keyReleaseEvent(QKeyEvent* event) {
    if (IsClickKey(event->key())) {
        event->accept();
        if (event->isAutoRepeat() || !enterDown_)
            return;
        enterDown_ = false;
        setDown(false);
        SetLook(LookNormal);
        if (isEnabled())
            click();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

void TLumoButtonBase::focusInEvent(QFocusEvent* event) {
    QPushButton::focusInEvent(event);
    update();
}

void TLumoButtonBase::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    if (enterDown_) {
        enterDown_ = false;
        setDown(false);
    }
    update();
}

void TLumoButtonBase::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        SetLook(LookNormal);
    else if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        update();
}

} // namespace korvello
