#include "main/TrayIcon.h"

#include "gui/KivImages.h"

#include <QApplication>
#include <QMenu>

TKivTrayIcon::TKivTrayIcon(const TKivImageList &statusImages, const TKivImageList &newMailImages, QMenu *menu,
                           TTrayAvailability available, QObject *parent)
    : QObject(parent), FStatusImages(statusImages), FNewMailImages(newMailImages), FAvailable(std::move(available))
{
    setObjectName(QStringLiteral("StTrayIcon"));
    if (!FAvailable)
        FAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    FIcon.setToolTip(QStringLiteral("Kiv"));
    FIcon.setIcon(FStatusImages.Icon(FImageIndex));
    FIcon.setContextMenu(menu);
    FAnimation.setInterval(AnimationStepMs);
    connect(&FAnimation, &QTimer::timeout, this, &TKivTrayIcon::Step);
    connect(&FIcon, &QSystemTrayIcon::activated, this, &TKivTrayIcon::OnActivated);
}

bool TKivTrayIcon::Available() const
{
    return FAvailable();
}

void TKivTrayIcon::Show()
{
    FIcon.show();
}

void TKivTrayIcon::Hide()
{
    FIcon.hide();
}

void TKivTrayIcon::SetImageIndex(int index)
{
    FImageIndex = index;
    if (!Animating())
        FIcon.setIcon(FStatusImages.Icon(FImageIndex));
}

void TKivTrayIcon::StartAnimation()
{
    if (Animating())
        return;
    FFrame = 0;
    FIcon.setIcon(FNewMailImages.Icon(FFrame));
    FAnimation.start();
}

void TKivTrayIcon::StopAnimation()
{
    FAnimation.stop();
    FFrame = 0;
    FIcon.setIcon(FStatusImages.Icon(FImageIndex));
}

void TKivTrayIcon::Step()
{
    FFrame = 1 - FFrame;
    FIcon.setIcon(FNewMailImages.Icon(FFrame));
}

void TKivTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
        return;
    // The second half of a double-click must not run it again.
    if (FLastActivation.isValid() && FLastActivation.elapsed() < QApplication::doubleClickInterval())
        return;
    FLastActivation.start();
    emit DoubleClicked();
}
