#include "main/AwayKeeper.h"

#include "board/EngineCheck.h"
#include "gui/DesktopPresence.h"

#include <chrono>
#include <exception>

namespace {

constexpr const char *kAvailable = "Available";
constexpr const char *kAwayFailed = "Attempting to show you away or back... ";

} // namespace

TAwayKeeper::TAwayKeeper(IDesktopPresence &presence, THost host) : FPresence(presence), FHost(std::move(host))
{
    FTimer.setInterval(kPollMs);
    connect(&FTimer, &QTimer::timeout, this, &TAwayKeeper::Tick);
    connect(&FPresence, &IDesktopPresence::LockedChanged, this, &TAwayKeeper::Tick);
}

void TAwayKeeper::Apply(const TKivSettings &settings)
{
    const TPresenceSources sources = FPresence.Sources();
    FWhenLocked = settings.AwayWhenLocked && !sources.Lock.isEmpty();
    FIdleMinutes = sources.Idle.isEmpty() ? 0 : settings.AwayAfterIdleMinutes;
    FAwayStatus = settings.AwayStatus;
    if (!FStopped)
        FTimer.start();
}

void TAwayKeeper::Stop()
{
    FStopped = true;
    FTimer.stop();
}

bool TAwayKeeper::Away()
{
    if (FIdleMinutes <= 0) {
        FIdle = false;
    } else if (const auto idle = FPresence.IdleTime()) {
        FIdle = *idle >= std::chrono::minutes(FIdleMinutes);
    }
    return (FWhenLocked && FPresence.Locked()) || FIdle;
}

void TAwayKeeper::Tick()
{
    TKivFile *kiv = FStopped ? nullptr : FHost.Board();
    if (kiv == nullptr)
        return;
    const bool away = Away();
    try {
        Store(*kiv, away);
        SetFault(std::string());
    } catch (const EKivEngineMissing &) {
        // Its box has been shown and the program asked to end.
    } catch (const std::exception &error) {
        // Tried again at the next tick: the user may still be away, or the
        // status Kiv stored may still be there to take back.
        SetFault(kAwayFailed + std::string(error.what()));
    }
    // Back soon after an idle user is: the desktop is asked more often
    // while the idle time is all that keeps them away.
    const bool backSoon = FHeld && FIdle && !(FWhenLocked && FPresence.Locked());
    FTimer.setInterval(backSoon ? kBackPollMs : kPollMs);
}

void TAwayKeeper::Store(TKivFile &kiv, bool away)
{
    if (away) {
        if (FHeld || FLooked || FAwayStatus.empty() || FAwayStatus == kAvailable)
            return;
        const TOwnStatus now = kiv.ReadOwnStatus();
        if (now.Status == kAvailable)
            FHeld = kiv.ReplaceOwnStatus(now, FAwayStatus, now.Comments);
        FLooked = true;
        if (FHeld)
            FHost.Stored();
        return;
    }
    FLooked = false;
    if (!FHeld)
        return;
    // Only over the very status Kiv stored: anything else was set by a person.
    const bool back = kiv.ReplaceOwnStatus(*FHeld, kAvailable, FHeld->Comments).has_value();
    FHeld.reset();
    if (back)
        FHost.Stored();
}

void TAwayKeeper::SetFault(const std::string &text)
{
    if (text.empty() && !FFaulted)
        return;
    FFaulted = !text.empty();
    FHost.Fault(text);
}
