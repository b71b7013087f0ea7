#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TComboChoice: tells a drop-down's real choices from mere changes of its closed box.
//
// QComboBox::activated fires for a choice in the open list, but also for every mouse-wheel
// tick and arrow key over the closed box, so scrolling past a drop-down would act as a
// choice. This helper watches the drop-down's list and passes on only the activations that
// close it (a click on an entry, or Enter in it); the closed box still changes its shown
// entry on the wheel and the arrow keys, as before, without anything acting on it.
// Attach it to any QComboBox (or subclass) that shows its entries in the standard popup.

#include <QObject>

class QComboBox;
class QWidget;

namespace korvello {

class TComboChoice : public QObject {
    Q_OBJECT
public:
    // Watches `combo`, whose child the helper becomes.
    explicit TComboChoice(QComboBox* combo);

Q_SIGNALS:
    // An entry was chosen in the open list; `index` is the combo's current index.
    void Chosen(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnActivated(int index);

    QWidget* list_;         // the popup frame, a child of the combo
    bool listOpen_ = false; // the list is open, or was closed by the event being handled
    unsigned openings_ = 0;
};

} // namespace korvello
