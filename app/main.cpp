// The program entry: the application, the main window, the message loop.
#include "board/Session.h"
#include "gui/Application.h"
#include "main/AppControl.h"
#include "main/MainWindow.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    SetKivApplicationIdentity();
    // The window hides to the notification area and message boxes come and go
    // while it is hidden; the program ends only when the main window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    TSession session;
    TQtAppControl appControl;
    TfrmMain frmMain(session, appControl);

    // The end of the desktop session closes the window for real.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &frmMain,
                     [&frmMain](QSessionManager &) { frmMain.CloseMain(); });

    if (appControl.Terminated())
        return 0;
    frmMain.show();
    return QApplication::exec();
}
