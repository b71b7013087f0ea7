// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SunCheckListBox.h"

#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace korvello {

namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    explicit FixedHeightDelegate(TSunCheckListBox* list) : QStyledItemDelegate(list), list_(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(list_->ItemHeight());
        return size;
    }

private:
    const TSunCheckListBox* list_;
};

} // namespace

TSunCheckListBox::TSunCheckListBox(QWidget* parent) : QListWidget(parent) {
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(2, 2, 2, 2);
    setUniformItemSizes(true);
    setItemDelegate(new FixedHeightDelegate(this));
}

void TSunCheckListBox::SetBorderColor(const QColor& colour) {
    if (borderColor_ != colour) {
        borderColor_ = colour;
        update();
    }
}

void TSunCheckListBox::SetItemHeight(int height) {
    if (itemHeight_ != height) {
        itemHeight_ = height;
        doItemsLayout();
        viewport()->update();
    }
}

bool TSunCheckListBox::event(QEvent* event) {
    const bool handled = QListWidget::event(event);
    if (event->type() == QEvent::Paint) {
        // The list's own painting is done; the two frame lines go on top.
        QPainter p(this);
        p.setPen(borderColor_);
        p.drawRect(0, 0, width() - 1, height() - 1);
        p.setPen(Color());
        p.drawRect(1, 1, width() - 3, height() - 3);
    }
    return handled;
}

} // namespace korvello
