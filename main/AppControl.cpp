#include "main/AppControl.h"

#include <QCoreApplication>
#include <QMetaObject>

void TQtAppControl::Terminate()
{
    FTerminated = true;
    // quit() does nothing while no event loop runs; queued, it is seen by the
    // loop when it starts, and at once when it already runs.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}
