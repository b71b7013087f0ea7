#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// TKorvelloApplication: the program's QApplication. Every event of the program passes
// through its notify, which is the top-level handler: a failure that escapes a handler
// without a guard of its own (a button, a menu item, a key in a list, a worker's message)
// is shown in an error box titled "Korvello A" and the event loop carries on with the next
// event, so no failure ends the program.

#include <QApplication>

#include <chrono>
#include <string>

namespace korvello {

class IDialogs;
class TFormMain;

// The program does not wait for a copy worker, nor for the database copy of the start,
// when it ends. Called once the message loop has ended: a worker or database copy that has
// not finished within `grace` (it is blocked in a read from a device that stopped
// answering) would hold the process in the windows' destructors until the device answers,
// so the process ends here at once with `status`, without destructors. The settings were
// written when the window closed; the song's temporary file the worker leaves is removed
// by the next job in that folder. Returns when there is neither, or both finished in time.
void EndWithoutHungWorker(TFormMain& form, int status, std::chrono::milliseconds grace);

// The text of the top-level error box: the failure's text, with "." appended when its last
// character sorts after ".".
std::string TopLevelErrorText(const std::string& failure);

class TKorvelloApplication : public QApplication {
    Q_OBJECT
public:
    TKorvelloApplication(int& argc, char** argv);

    // The error box goes through these dialogs; without them a failure is only dropped.
    void SetDialogs(IDialogs* dialogs) { dialogs_ = dialogs; }

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows a failure that reached the top level (on the window thread; from any other
    // thread it is queued there).
    void ShowFailure(const std::string& failure);

private:
    IDialogs* dialogs_ = nullptr;
};

} // namespace korvello
