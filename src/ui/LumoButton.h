#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The skinned push buttons. One behaviour, three strips of five frames: TLumoButton for
// push buttons, TLumoButtonSmall for the title-bar buttons and TLumoButtonList for the
// category tabs. The face is a frame of the strip scaled to the button with its edges
// kept, an optional glyph above or left of the caption, and the caption; all of it is
// drawn off-screen and copied in one step, so the button never shows a half-drawn face.
//
// A click needs a press and a release inside the button; a double click counts once
// (its second press does not arm a click); Enter or Space click the focused button on
// their release; an accelerator ("&Copy") focuses and clicks it.

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPushButton>

class QShortcut;

namespace korvello {

class TLumoButtonBase : public QPushButton {
    Q_OBJECT

public:
    enum TPicPos { pTop, pLeft };
    // The looks a repaint asks for; disabled and focus looks follow from the state.
    enum Look { LookNormal = 0, LookPressed = 1, LookDisabled = 2, LookOver = 3, LookFocus = 4 };

    void SetPicture(const QPixmap& glyph);
    const QPixmap& Picture() const { return picture_; }
    void SetPicPos(TPicPos pos);
    TPicPos PicPos() const { return picPos_; }
    void SetPicTrans(bool on);
    bool PicTrans() const { return picTrans_; }
    void SetPicTransColor(const QColor& colour);
    QColor PicTransColor() const { return picTransColor_; }
    void SetPicOffSet(int gap);
    int PicOffSet() const { return picOffSet_; }
    // A non-zero result closes the owning dialog with it after the click.
    void SetModalResult(int result) { modalResult_ = result; }
    int ModalResult() const { return modalResult_; }
    // Escape anywhere in the window clicks a Cancel button.
    void SetCancel(bool on);
    bool Cancel() const { return cancelShortcut_ != nullptr; }

    // The look the button shows now, and the face it paints for a requested look.
    Look CurrentLook() const { return look_; }
    Look EffectiveLook(Look requested) const;
    QImage PaintFace(Look requested) const;

protected:
    TLumoButtonBase(const char* stripName, const QString& caption, QWidget* parent);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetLook(Look look);
    void ApplyModalResult();
    QPixmap GlyphForState() const;

    const char* stripName_;
    QPixmap picture_;
    TPicPos picPos_ = pTop;
    bool picTrans_ = false;
    QColor picTransColor_ = Qt::white;
    int picOffSet_ = 2;
    int modalResult_ = 0;
    QShortcut* cancelShortcut_ = nullptr;
    Look look_ = LookNormal;
    bool enterDown_ = false; // Enter pressed on the button and not yet released
};

// Push buttons, on the 80x29 strip of 16x29 frames.
class TLumoButton : public TLumoButtonBase {
    Q_OBJECT
public:
    explicit TLumoButton(QWidget* parent = nullptr) : TLumoButton(QString(), parent) {}
    TLumoButton(const QString& caption, QWidget* parent)
        : TLumoButtonBase("LumoBUTTON", caption, parent) {}
};

// Title-bar buttons, on the 125x22 strip of 25x22 frames.
class TLumoButtonSmall : public TLumoButtonBase {
    Q_OBJECT
public:
    explicit TLumoButtonSmall(QWidget* parent = nullptr) : TLumoButtonSmall(QString(), parent) {}
    TLumoButtonSmall(const QString& caption, QWidget* parent)
        : TLumoButtonBase("LumoBUTTONSMALL", caption, parent) {}
};

// Category tabs, on the 80x16 strip of 16x16 frames.
class TLumoButtonList : public TLumoButtonBase {
    Q_OBJECT
public:
    explicit TLumoButtonList(QWidget* parent = nullptr) : TLumoButtonList(QString(), parent) {}
    TLumoButtonList(const QString& caption, QWidget* parent)
        : TLumoButtonBase("LumoBUTTONLIST", caption, parent) {}
};

} // namespace korvello
