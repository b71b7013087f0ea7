// Takes a picture of Korvello's main window as a user sees it, for the README: the same
// windows as the program, on whatever drives the environment maps (scripts/screenshot.sh
// maps the demo iPod), with a few songs marked, grabbed off-screen with QWidget::grab().
//
//   korvello-screenshot OUTPUT.png
#include "browser/ITunesStringGrid.h"
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvello-screenshot OUTPUT.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationDisplayName(QString::fromLatin1(korvello::kApplicationTitle));

    korvello::PosixPlatform platform;
    korvello::TLogClass::SetPlatform(&platform);
    korvello::QtDialogs dialogs;
    korvello::TApplicationWindows windows(platform, dialogs);
    korvello::TFormMain& formMain = windows.FormMain;
    formMain.show();

    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    // A few marked songs, as in the middle of choosing what to copy.
    korvello::TITunesStringGrid* songs = formMain.AdvStringGridSong;
    for (int row : {2, 3, 5})
        if (row < songs->RowCount())
            songs->SetRowMarked(row, true);
    formMain.ShowSelectedCount();
    if (formMain.ArtistList->RowCount() > 1)
        formMain.ArtistList->SetRowMarked(0, true);
    QApplication::processEvents();

    const QPixmap picture = formMain.grab();
    korvello::TLogClass::SetPlatform(nullptr);
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "korvello-screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
