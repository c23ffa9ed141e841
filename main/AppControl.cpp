#include "main/AppControl.h"

#include <QCoreApplication>
#include <QMetaObject>

void TQtAppControl::Terminate()
{
    FTerminated = true;
    // exit() does nothing while no event loop runs; queued, it is seen by the
    // loop when it starts, and at once when it already runs. Not quit(): that
    // first asks every window to close, and the main window's close box only
    // hides it, so the program would not end while the window is shown.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}
