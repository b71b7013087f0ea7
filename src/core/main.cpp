// Program entry: the application title, the main window first (closing it ends the
// program), then the options and report windows, hidden, then the message loop.
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "core/KorvelloApplication.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <QIcon>

#include <clocale>

int main(int argc, char** argv) {
    korvello::TKorvelloApplication app(argc, argv);
    // Numbers, dates and times in the user's own formats.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("korvello"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(korvello::kApplicationTitle));
    QApplication::setWindowIcon(QIcon());

    korvello::PosixPlatform platform;
    korvello::TLogClass::SetPlatform(&platform);
    korvello::QtDialogs dialogs;
    // A failure that escapes an unguarded handler is shown in an error box from here on.
    app.SetDialogs(&dialogs);

    korvello::TApplicationWindows windows(platform, dialogs);
    windows.FormMain.show();
    const int result = QApplication::exec();
    app.SetDialogs(nullptr);
    korvello::TLogClass::SetPlatform(nullptr);
    return result;
}
