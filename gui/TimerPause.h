// Pausing the main window's polling timers while a window is up. Pauses are
// counted: a timer runs again only when the last window that paused it has
// gone, so a window opened from another never restarts what the outer one
// paused.
#pragma once

/// Which of the polling timers a pause holds: a set of these bits.
namespace PausedTimer {
inline constexpr unsigned Board = 1u << 0;
inline constexpr unsigned Messages = 1u << 1;
inline constexpr unsigned Both = Board | Messages;
} // namespace PausedTimer

class ITimerPause {
public:
    virtual ~ITimerPause() = default;
    /// Stops the timers of which (PausedTimer bits), counting the pause.
    virtual void PauseTimers(unsigned which) = 0;
    /// Ends one pause of each timer of which; a timer whose last pause ends
    /// runs again as its window's state says.
    virtual void ResumeTimers(unsigned which) = 0;
};

/// One pause for as long as it lives, whichever way the scope is left.
class TTimerPauseScope {
public:
    TTimerPauseScope(ITimerPause &pause, unsigned which) : FPause(pause), FWhich(which) { FPause.PauseTimers(FWhich); }
    ~TTimerPauseScope() { FPause.ResumeTimers(FWhich); }
    TTimerPauseScope(const TTimerPauseScope &) = delete;
    TTimerPauseScope &operator=(const TTimerPauseScope &) = delete;

private:
    ITimerPause &FPause;
    unsigned FWhich;
};
