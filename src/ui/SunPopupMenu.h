#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The popup menu of the song table, the category lists and the report: an ordinary menu
// in the skin's colours and font.

#include "ui/Skin.h"

#include <QMenu>

namespace korvello {

class TSunPopupMenu : public QMenu {
    Q_OBJECT

public:
    explicit TSunPopupMenu(QWidget* parent = nullptr) : QMenu(parent) { ApplySkinMenuLook(this); }
};

} // namespace korvello
