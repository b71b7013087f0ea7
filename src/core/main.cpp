// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the application title, the main window first (closing it ends the
// program), then the options and report windows, hidden, then the message loop.
#include "core/ApplicationWindows.h"
#include "core/ErrorLog.h"
#include "core/FrmMain.h"
#include "core/KorvelloApplication.h"
#include "core/StartFolder.h"
#include "platform/posix/PosixPlatform.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDirIterator>
#include <QIcon>
#include <QUrl>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <string>
#include <utility>

namespace {

// --help and --version, the program's only options, and at most one folder to open,
// returned in `folder`. Returns the exit status when the command line is answered without
// a window, -1 when the window should open. Before the application object exists (so no
// display is needed) Qt's own options such as -platform are not yet taken out; an unknown
// option is only refused once they are.
int AnswerCommandLine(const QStringList& arguments, bool qtOptionsRemoved,
                      QString* folder = nullptr) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        std::fputs("Usage: korvello [FOLDER] [--help | --version]\n"
                   "Copies the songs of an iPod attached as a USB disk into a folder.\n"
                   "The window lists the iPod's songs; korvello-cli does the same from a\n"
                   "terminal. See korvello(1).\n\n"
                   "FOLDER, an iPod's folder (its mount point, or a copy of an iPod), is\n"
                   "given a drive letter for this run and opened.\n\n"
                   "Options:\n"
                   "  -h, --help  Show this help and exit.\n"
                   "  --version   Show the version and exit.\n",
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::fputs("korvello " KORVELLO_VERSION "\n", stdout);
        return 0;
    }
    if (!qtOptionsRemoved)
        return -1;
    QString problem = parsed ? QString() : parser.errorText();
    if (parsed && parser.positionalArguments().size() > 1)
        problem = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[1]);
    if (parsed && parser.positionalArguments().size() == 1 && folder != nullptr)
        *folder = parser.positionalArguments()[0];
    if (problem.isEmpty())
        return -1;
    std::fprintf(stderr, "korvello: %s (see korvello --help)\n", qPrintable(problem));
    return 2;
}

// The program's icon in every size the build renders, so taskbars and window switchers
// can pick the one they need.
QIcon ProgramIcon() {
    QIcon icon;
    QDirIterator it(QStringLiteral(":/korvello/icons"), {QStringLiteral("*.png")});
    while (it.hasNext())
        icon.addFile(it.next());
    return icon;
}

} // namespace

int main(int argc, char** argv) {
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        if (const int status = AnswerCommandLine(arguments, false); status >= 0)
            return status;
    }
    korvello::TKorvelloApplication app(argc, argv);
    QString folder;
    if (const int status = AnswerCommandLine(QApplication::arguments(), true, &folder); status >= 0)
        return status;
    // Numbers, dates and times in the user's own formats.
    std::setlocale(LC_ALL, "");
    QApplication::setApplicationName(QStringLiteral("korvello"));
    QApplication::setApplicationDisplayName(QString::fromLatin1(korvello::kApplicationTitle));
    // Taskbars match the window to its desktop entry and show its icon; the window carries
    // the same icon for those that look at the window itself.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.korvello.Korvello"));
    QApplication::setWindowIcon(ProgramIcon());

    // The desktop opens what the program hands it (the copied songs' folder) with the
    // user's own file associations.
    korvello::PosixRoots roots = korvello::PosixRoots::FromEnvironment();
    std::string startDrive;
    if (!folder.isEmpty()) {
        std::string problem;
        startDrive = korvello::MapStartFolder(roots, folder.toLocal8Bit().toStdString(), problem);
        if (startDrive.empty()) {
            std::fprintf(stderr, "korvello: %s\n", problem.c_str());
            return 2;
        }
    }
    roots.shellOpen = [](const std::string& linuxPath) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(linuxPath)));
    };
    korvello::PosixPlatform platform(std::move(roots));
    korvello::TLogClass::SetPlatform(&platform);
    korvello::QtDialogs dialogs;
    // A failure that escapes an unguarded handler is shown in an error box from here on.
    app.SetDialogs(&dialogs);

    korvello::TApplicationWindows windows(platform, dialogs);
    windows.FormMain.SetStartDrive(startDrive);
    windows.FormMain.show();
    const int result = QApplication::exec();
    // A copy worker stuck in a read from a hung device is not waited for.
    korvello::EndWithoutHungWorker(windows.FormMain, result, std::chrono::seconds(2));
    app.SetDialogs(nullptr);
    korvello::TLogClass::SetPlatform(nullptr);
    return result;
}
