// What the desktop tells about the person at it: whether the screen is
// locked, and how long keyboard and mouse have been left alone. The sources
// are the desktop's own services on D-Bus (and, under X11, the X server's
// screen-saver extension); whichever the desktop offers is used, and a
// desktop that offers none is said to, so that nothing is guessed.
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

/// The sources found, in words a user can read; empty where none was found.
struct TPresenceSources {
    QString Lock;
    QString Idle;
};

class IDesktopPresence : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    /// What this desktop offers.
    virtual TPresenceSources Sources() const = 0;
    /// The screen is locked (or its screen saver running), as last said.
    virtual bool Locked() const = 0;
    /// How long since the user last used keyboard or mouse; nothing when no
    /// source can tell now. May ask the desktop, never for longer than a few
    /// hundred milliseconds.
    virtual std::optional<std::chrono::milliseconds> IdleTime() = 0;

signals:
    /// The screen was locked or unlocked.
    void LockedChanged(bool locked);
};

/// The desktop of this session, over the session and system buses.
std::unique_ptr<IDesktopPresence> NewDesktopPresence();
