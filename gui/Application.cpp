#include "gui/Application.h"

#include "KivVersion.h"

#include <QApplication>

// The resource is linked from a static library, where nothing else would pull
// its registration in.
static void InitKivResources()
{
    Q_INIT_RESOURCE(kiv);
}

QIcon KivAppIcon()
{
    static const QIcon icon = [] {
        InitKivResources();
        QIcon built;
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            built.addFile(QStringLiteral(":/icons/kiv-%1.png").arg(size), QSize(size, size));
        return built;
    }();
    return icon;
}

void SetKivApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Kiv"));
    QApplication::setApplicationVersion(QStringLiteral(KIV_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("kiv"));
    QApplication::setWindowIcon(KivAppIcon());
}
