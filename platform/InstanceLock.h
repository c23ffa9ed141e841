// One running copy per user: an advisory lock (flock) on a file named after
// the program's mutex in the per-user runtime folder. The lock is held for
// the life of the object, and the kernel drops it when the process ends in
// any way, so a crashed copy never blocks the next start.
#pragma once

#include <string>
#include <string_view>

/// The name of the program's single-instance mutex.
inline constexpr std::string_view kInstanceMutexName = "Qtv - Kiv";

/// What taking the lock came to.
enum class TInstanceLockState {
    Acquired,    ///< this object holds the lock
    AlreadyHeld, ///< another living process holds it
    Unavailable, ///< no lock file could be made; nothing is known of other copies
};

/// The single-instance lock, taken at construction and released at destruction.
class TInstanceLock {
public:
    /// Tries, without waiting, to take the lock named name.
    explicit TInstanceLock(std::string_view name = kInstanceMutexName);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock &) = delete;
    TInstanceLock &operator=(const TInstanceLock &) = delete;

    /// The outcome of taking the lock.
    TInstanceLockState State() const { return FState; }
    /// True when another copy holds the lock.
    bool AlreadyRunning() const { return FState == TInstanceLockState::AlreadyHeld; }
    /// The lock file (empty when none could be made).
    const std::string &Path() const { return FPath; }
    /// Why the lock is unavailable.
    const std::string &Error() const { return FError; }

private:
    int FFd = -1;
    TInstanceLockState FState = TInstanceLockState::Unavailable;
    std::string FPath;
    std::string FError;
};
