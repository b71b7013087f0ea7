#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The popup menu of the song table and the category lists: an ordinary menu.

#include <QMenu>

namespace korvello {

class TSunPopupMenu : public QMenu {
    Q_OBJECT

public:
    explicit TSunPopupMenu(QWidget* parent = nullptr) : QMenu(parent) {}
};

} // namespace korvello
