// Away while the screen is locked or the user is idle: when the desktop says
// the person has left and their status is "Available", the away status of the
// settings is stored for them; when they are back, "Available" is stored
// again, but only over exactly the status Kiv stored. A status a person set
// meanwhile, here, on another workstation or by an administrator, is never
// replaced, and no status but "Available" is ever taken away.
//
// The lock comes as a signal from the desktop; the idle time is asked of the
// desktop on a timer. Neither costs a file-server round trip: only storing a
// status does (reading the own record, then replacing it).
#pragma once

#include "board/KivFile.h"
#include "config/KivCB.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

class IDesktopPresence;

class TAwayKeeper : public QObject {
    Q_OBJECT
public:
    /// What the keeper is given by its window.
    struct THost {
        /// The board to store through; null while there is none, while a
        /// dialog holds the timers, and once the program ends.
        std::function<TKivFile *()> Board;
        /// A status was stored: the board is to show it.
        std::function<void()> Stored;
        /// Why a status could not be stored ("" once one could).
        std::function<void(const std::string &)> Fault;
    };

    /// Idle time is asked for this often, and this often while Kiv shows
    /// the user away for being idle, so that they are soon shown back.
    static constexpr int kPollMs = 30'000;
    static constexpr int kBackPollMs = 5'000;

    TAwayKeeper(IDesktopPresence &presence, THost host);

    /// Takes the away settings and starts looking.
    void Apply(const TKivSettings &settings);
    /// Stops for good: nothing more is stored.
    void Stop();
    /// Looks at the desktop now and stores what it calls for: run by the
    /// timer, and at once when the screen locks or unlocks.
    void Tick();
    /// The status Kiv stored for the user and still means to take back.
    const std::optional<TOwnStatus> &Held() const { return FHeld; }
    QTimer &Timer() { return FTimer; }

private:
    bool Away();
    void Store(TKivFile &kiv, bool away);
    void SetFault(const std::string &text);

    IDesktopPresence &FPresence;
    THost FHost;
    bool FWhenLocked = false;
    int32_t FIdleMinutes = 0;
    std::string FAwayStatus;
    /// The last judgement of the idle time, kept while the desktop cannot say.
    bool FIdle = false;
    /// This time away has been looked at: a status that was not "Available"
    /// then is not looked at again until the user is back.
    bool FLooked = false;
    bool FFaulted = false;
    bool FStopped = false;
    std::optional<TOwnStatus> FHeld;
    QTimer FTimer;
};
