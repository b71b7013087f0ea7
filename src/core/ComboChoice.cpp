// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ComboChoice.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QTimer>

namespace korvello {

TComboChoice::TComboChoice(QComboBox* combo) : QObject(combo) {
    // view() makes the popup if there is none yet; its top-level frame is the open list.
    list_ = combo->view()->window();
    list_->installEventFilter(this);
    connect(combo, qOverload<int>(&QComboBox::activated), this, &TComboChoice::OnActivated);
}

bool TComboChoice::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_) {
        if (event->type() == QEvent::Show) {
            listOpen_ = true;
            ++openings_;
        } else if (event->type() == QEvent::Hide) {
            // The combo hides its list first and reports the choice right after, in the
            // same turn of the event loop; a list closed without a choice (Escape, a
            // click elsewhere) is forgotten once that turn is over.
            const unsigned opening = openings_;
            QTimer::singleShot(0, this, [this, opening] {
                if (opening == openings_)
                    listOpen_ = false;
            });
        }
    }
    return QObject::eventFilter(watched, event);
}

void TComboChoice::OnActivated(int index) {
    if (!listOpen_)
        return; // the wheel or a key over the closed box
    listOpen_ = false;
    Q_EMIT Chosen(index);
}

} // namespace korvello
