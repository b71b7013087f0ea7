#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A check list (items with tick boxes) with a flat frame: a one-pixel line in
// BorderColor along the outer edge and one in the list's own colour just inside it,
// instead of the sunken edge; every item is ItemHeight pixels high, its caption centred by
// the ink of its letters so that descenders keep their tails in low items; chosen items
// wear the grids' mark colour.

#include <QColor>
#include <QListWidget>

namespace korvello {

class TSunCheckListBox : public QListWidget {
    Q_OBJECT

public:
    explicit TSunCheckListBox(QWidget* parent = nullptr);

    QColor BorderColor() const { return borderColor_; }
    void SetBorderColor(const QColor& colour);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    // The list's own colour, inside the border.
    QColor Color() const { return palette().color(QPalette::Base); }

protected:
    bool event(QEvent* event) override;

private:
    QColor borderColor_{224, 224, 224};
    int itemHeight_ = 13;
};

} // namespace korvello
