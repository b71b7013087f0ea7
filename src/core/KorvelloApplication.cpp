// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/KorvelloApplication.h"

#include "copyout/CopyThread.h"
#include "core/FrmMain.h"
#include "ui/Dialogs.h"

#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

namespace korvello {

std::string TopLevelErrorText(const std::string& failure) {
    std::string text = failure;
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += ".";
    return text;
}

TKorvelloApplication::TKorvelloApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TKorvelloApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowFailure(e.what());
    } catch (...) {
        ShowFailure("Unknown failure");
    }
    // The event counts as handled: nobody else is asked to act on it half-done.
    return true;
}

void TKorvelloApplication::ShowFailure(const std::string& failure) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, failure] { ShowFailure(failure); }, Qt::QueuedConnection);
        return;
    }
    if (dialogs_ == nullptr)
        return;
    QWidget* parent = activeModalWidget();
    if (parent == nullptr)
        parent = activeWindow();
    try {
        dialogs_->ShowError(parent, kApplicationTitle, TopLevelErrorText(failure));
    } catch (...) {
        // The box itself failed: there is nowhere further up to report it.
    }
}

void EndWithoutHungWorker(TFormMain& form, int status, std::chrono::milliseconds grace) {
    const bool copying = form.CopyThread != nullptr;
    // The database copy, when it is still being made after the window closed, is waited
    // for as well; one stuck on a hung device is not.
    const bool backingUp = form.BackupDone && !form.BackupFinished();
    if (!copying && !backingUp)
        return;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while ((copying && !form.CopyThread->Finished()) || (backingUp && !form.BackupFinished())) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fflush(nullptr);
            std::_Exit(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace korvello
