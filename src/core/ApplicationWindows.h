#pragma once
// SPDX-License-Identifier: GPL-3.0-or-later
// The program's three windows, created in the program's own order: the main window first
// (closing it ends the program), then the options and report windows, hidden, handed to
// the main window. The program, the screenshot tool and the start-up benchmark all start
// Korvello through this one piece.

#include "copyout/FrmReport.h"
#include "core/FrmMain.h"
#include "settings/FrmOption.h"

namespace korvello {

class TApplicationWindows {
public:
    TApplicationWindows(IPlatform& platform, IDialogs& dialogs)
        : FormMain(platform, dialogs), FormOption(FormMain), FormReport(platform, &FormMain) {
        FormMain.SetForms(&FormOption, &FormReport);
    }

    TFormMain FormMain;
    TFormOption FormOption; // a child of FormMain, destroyed before it
    TFormReport FormReport; // likewise
};

} // namespace korvello
