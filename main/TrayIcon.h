// The notification-area icon: it shows the signed-in user's status image, or
// animates the two new-mail images while a new message waits; right-click
// opens its menu and a double-click is passed on as a signal.
//
// StatusNotifierItem trays (KDE Plasma, GNOME's AppIndicator extension, the
// SNI trays of XFCE and Cinnamon) report a click as Trigger and never send a
// DoubleClick, and a double-click there arrives as two Triggers; XEmbed trays
// send Trigger and then DoubleClick. Any of them counts as the double-click,
// once per double-click interval.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>

class QMenu;
class TKivImageList;

/// Tells whether the desktop has a notification area to put the icon in.
using TTrayAvailability = std::function<bool()>;

class TKivTrayIcon : public QObject {
    Q_OBJECT
public:
    /// Time between the two images of the new-mail animation.
    static constexpr int AnimationStepMs = 500;

    /// The icon over the two image lists (which must outlive it), with menu
    /// as its right-click menu. Without an availability test the desktop's
    /// own answer (QSystemTrayIcon::isSystemTrayAvailable) is used.
    TKivTrayIcon(const TKivImageList &statusImages, const TKivImageList &newMailImages, QMenu *menu,
                 TTrayAvailability available = {}, QObject *parent = nullptr);

    /// The desktop has a notification area right now.
    bool Available() const;
    /// Puts the icon in the notification area. Where there is none yet it is
    /// still shown, so that Qt docks it as soon as a tray appears.
    void Show();
    /// Takes the icon out of the notification area.
    void Hide();

    /// Sets the status image. While the new-mail animation runs it is only
    /// recorded, and shown when the animation stops.
    void SetImageIndex(int index);
    /// The recorded status image.
    int ImageIndex() const { return FImageIndex; }

    /// Switches to the new-mail images and starts alternating them.
    void StartAnimation();
    /// Stops the animation and shows the status image again.
    void StopAnimation();
    /// The new-mail animation runs.
    bool Animating() const { return FAnimation.isActive(); }
    /// Which new-mail image shows while animating (0 or 1).
    int AnimationFrame() const { return FFrame; }

    /// The icon as the notification area shows it.
    QIcon CurrentIcon() const { return FIcon.icon(); }
    /// Its hint.
    QString Hint() const { return FIcon.toolTip(); }
    /// Its right-click menu.
    QMenu *Menu() const { return FIcon.contextMenu(); }
    /// The animation's timer (for its period).
    const QTimer &AnimationTimer() const { return FAnimation; }
    /// The notification-area icon itself.
    QSystemTrayIcon &SystemIcon() { return FIcon; }

signals:
    /// The icon was double-clicked, or clicked on a tray that reports only clicks.
    void DoubleClicked();

private:
    void Step();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    const TKivImageList &FStatusImages;
    const TKivImageList &FNewMailImages;
    TTrayAvailability FAvailable;
    QSystemTrayIcon FIcon;
    QTimer FAnimation;
    QElapsedTimer FLastActivation;
    int FImageIndex = 1;
    int FFrame = 0;
};
