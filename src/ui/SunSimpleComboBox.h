#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The flat drop-down list and its drop button. The button is a sibling of the list, named
// after it with "ListButton" appended, 18 pixels wide and 4 less high than the list, in
// front of the list's right end; it follows the list's place, size and visibility, and a
// click on it opens the list.

#include <QAbstractButton>
#include <QComboBox>
#include <QPointer>

namespace korvello {

class TComboButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit TComboButton(QWidget* parent = nullptr);
    // The arrow shown now: "COMBUTTONUP" while hovered or pressed, else "COMBUTTONOVER".
    const char* ArrowName() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool hovered_ = false;
};

class TSunSimpleComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TSunSimpleComboBox(QWidget* parent = nullptr);
    ~TSunSimpleComboBox() override;

    TComboButton* Button() const { return button_; }
    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceButton();

    QPointer<TComboButton> button_;
};

} // namespace korvello
