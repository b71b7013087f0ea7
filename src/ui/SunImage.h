#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// A picture control: shows one picture of the skin, at its size or stretched over the
// control. No behaviour of its own; the window decides what a mouse move over it does.

#include <QLabel>

namespace korvello {

class TSunImage : public QLabel {
    Q_OBJECT

public:
    explicit TSunImage(QWidget* parent = nullptr);
    // Shows the skin picture `name`; `stretch` fills the control with it.
    void SetPicture(const char* name, bool stretch = false);
};

} // namespace korvello
