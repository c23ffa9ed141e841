// "Now" behind a seam, so that tests decide what today and midnight are.
#pragma once

#include <ctime>

class IClock {
public:
    virtual ~IClock() = default;
    /// The current moment, in seconds since the epoch.
    virtual std::time_t Now() const = 0;
};

/// The workstation's own clock.
class TSystemClock final : public IClock {
public:
    std::time_t Now() const override { return std::time(nullptr); }
    /// One clock for the whole program.
    static TSystemClock &Instance()
    {
        static TSystemClock clock;
        return clock;
    }
};
