// Kiv's own file-system calls on the board folder, counted for the
// benchmarks; the engine counts its calls and SQLite's on its own side.
//
// On a network share every call is a round trip to the file server. The few
// helpers that touch files of the board folder (the existence checks, a file's
// age, the folder flush and the whole-buffer reads and writes of platform/
// Files.h) count here. Counting is off until a benchmark switches it on, and
// costs one relaxed load per call while off.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

/// The kinds of call counted, as the engine counts its own.
enum class TKivCall { Open, Close, Lock, Read, Write, Stat, Sync, Other };
inline constexpr std::size_t kKivCallKinds = std::size_t(TKivCall::Other) + 1;

struct TKivCalls {
    /// Calls are counted (and delayed) only while this is true.
    std::atomic<bool> Counting{false};
    /// Microseconds each counted call waits, as if on a share; 0 for none.
    std::atomic<uint32_t> DelayMicros{0};
    /// The calls so far, by kind (indexed by TKivCall).
    std::atomic<uint64_t> Calls[kKivCallKinds] = {};

    uint64_t Of(TKivCall call) const { return Calls[std::size_t(call)].load(std::memory_order_relaxed); }

    /// Counts one call, and waits the delay, while counting is on.
    void Count(TKivCall call)
    {
        if (!Counting.load(std::memory_order_relaxed))
            return;
        Calls[std::size_t(call)].fetch_add(1, std::memory_order_relaxed);
        const uint32_t delay = DelayMicros.load(std::memory_order_relaxed);
        if (delay != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
    }
};

/// The process's count of Kiv's own calls.
TKivCalls &KivFileCalls();

/// Counts one of Kiv's own calls.
inline void CountKivCall(TKivCall call)
{
    KivFileCalls().Count(call);
}
