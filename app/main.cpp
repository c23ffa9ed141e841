// The program entry: the application titled "Kiv", the main window (whose
// creation finds the board and opens it), the dialogs after it, and the
// message loop, which the main window's first showing starts with the
// user's sign-in.
#include "app/KivWindows.h"
#include "board/Session.h"
#include "gui/Application.h"
#include "gui/BoardList.h"
#include "main/AppControl.h"
#include "main/MainWindow.h"
#include "main/SessionEnd.h"

#include "KivVersion.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char *kUsage = "Usage: kiv [--help | --version]\n"
                               "The office's staff presence board: everybody's status, messages and alerts.\n"
                               "\n"
                               "  --help     print this help and exit\n"
                               "  --version  print the version and exit\n"
                               "\n"
                               "The first start on a workstation asks for the board folder; kivctl(1) reads and\n"
                               "sets the board from the command line.\n";

/// The start-up probe for measurements and tests: with KIV_STARTUP_PROBE set,
/// a line "started N" (N the rows on the board) goes to standard output once
/// the first activation has filled the board and the window is on the
/// screen; with the value "exit" the program then ends as Exit ends it.
/// A second start's request for the window is reported as well.
void WatchStartup(TfrmMain &frmMain)
{
    const QByteArray probe = qgetenv("KIV_STARTUP_PROBE");
    if (probe.isEmpty())
        return;
    const bool exit = probe == "exit";
    auto *onScreen = new QTimer(&frmMain);
    onScreen->setInterval(5);
    QObject::connect(onScreen, &QTimer::timeout, &frmMain, [&frmMain, onScreen, exit] {
        const QWindow *window = frmMain.windowHandle();
        if (window == nullptr || !window->isExposed())
            return;
        onScreen->stop();
        std::printf("started %d\n", frmMain.Board().RowCount());
        std::fflush(stdout);
        if (exit)
            frmMain.CloseMain();
    });
    QObject::connect(&frmMain, &TfrmMain::Started, onScreen, qOverload<>(&QTimer::start));
    // A second start brought the window to the front: "raised restored" once
    // it is shown, not minimised.
    QObject::connect(&frmMain, &TfrmMain::RaisedBySecondStart, &frmMain, [&frmMain] {
        std::printf("raised %s\n", frmMain.isVisible() && !frmMain.isMinimized() ? "restored" : "hidden");
        std::fflush(stdout);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    // Answered before any window exists, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Kiv " KIV_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }

    QApplication application(argc, argv);
    SetKivApplicationIdentity();
    // The window hides to the notification area and message boxes come and go
    // while it is hidden; the program ends only when the main window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    TSession session;
    TQtAppControl appControl;
    TfrmMain frmMain(session, appControl);
    frmMain.FormCreate();
    if (appControl.Terminated())
        return 0;

    TKivWindows windows(frmMain);
    TSessionEnd sessionEnd(frmMain);
    WatchStartup(frmMain);
    frmMain.show();
    return QApplication::exec();
}
