// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SunCheckListBox.h"

#include "ui/Skin.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace korvello {

namespace {

// Every item ItemHeight pixels high. The style would centre the font's whole line box in
// the item, and an item lower than the line box (13 pixels against the 15 of an 8-point
// sans at 96 dpi) would then lose the bottom of every "g" and "p". The caption is drawn
// here instead, centred by the ink of its letters: from the top of the tallest capital or
// ascender to the bottom of the deepest descender, which the item's height holds.
class CheckItemDelegate : public QStyledItemDelegate {
public:
    explicit CheckItemDelegate(TSunCheckListBox* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(list_->ItemHeight());
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        const QWidget* widget = opt.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        // The style draws the background, the selection, the tick box and the focus frame.
        opt.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QFontMetrics metrics(opt.font);
        const QRect ink = metrics.tightBoundingRect(QStringLiteral("Hbdfghjklpqy"));
        const int baseline = opt.rect.top() + (opt.rect.height() - ink.height()) / 2 - ink.top();
        const bool selected = opt.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        painter->save();
        painter->setClipRect(opt.rect);
        painter->setFont(opt.font);
        painter->setPen(
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(QPoint(textRect.left(), baseline),
                          metrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
    }

private:
    const TSunCheckListBox* list_;
};

} // namespace

TSunCheckListBox::TSunCheckListBox(QWidget* parent) : QListWidget(parent) {
    setFrameShape(QFrame::NoFrame);
    setViewportMargins(2, 2, 2, 2);
    setUniformItemSizes(true);
    setItemDelegate(new CheckItemDelegate(this));
    ApplySkinListLook(this);
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
