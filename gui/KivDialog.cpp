#include "gui/KivDialog.h"

#include <QGuiApplication>
#include <QScreen>

TKivDialog::TKivDialog(QWidget *parent, const char *objectName, const QString &caption, QSize clientSize, TFrame frame)
    : QDialog(parent)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(caption);
    setModal(true);
    Qt::WindowFlags flags = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (frame == TFrame::Sizeable)
        flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    if (frame == TFrame::Fixed)
        setFixedSize(clientSize);
    else
        resize(clientSize);
}

void TKivDialog::showEvent(QShowEvent *event)
{
    if (!FShownOnce && FCentre) {
        const QScreen *screen = parentWidget() != nullptr && parentWidget()->screen() != nullptr
                                    ? parentWidget()->screen()
                                    : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    FShownOnce = true;
    QDialog::showEvent(event);
}
