// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SunImage.h"

#include "ui/Skin.h"

namespace korvello {

TSunImage::TSunImage(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TSunImage::SetPicture(const char* name, bool stretch) {
    setScaledContents(stretch);
    setPixmap(SkinPixmap(name));
}

} // namespace korvello
