// The engine's count of its file-system calls: a diagnostic for benchmarks
// and tests, outside the fifteen-entry contract.
//
// On a network share every file-system call is a round trip to the file
// server, so the engine counts the calls it and SQLite underneath it make:
// every open, close, lock, read, write, stat and sync of the process's SQLite
// files and of the engine's own (a dataset's definition, its change stamp).
// Counting is off until someone switches it on; while off, a call costs one
// relaxed load more. A fixed delay per call can be set to show what a walk
// costs on a share.
//
// The counters live with the engine's SQLite file layer: a process that shares
// the engine's SQLite library finds them as the application data of the VFS
// named kFileCallsVfs (sqlite3_vfs_find), registered when the engine loads.
// Every SQLite connection of the process is counted; only the syncs are
// counted in the VFS itself, so a connection that is not the engine's (a
// benchmark's baseline) opens through kCountingVfs, which counts and does
// nothing else, to have its syncs counted too.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace vbis {

/// The name of the engine's VFS, whose pAppData is the TFileCalls.
inline constexpr const char *kFileCallsVfs = "vbis4032-stamp";
/// A VFS that counts and passes everything on, for connections of others.
inline constexpr const char *kCountingVfs = "vbis4032-count";
/// What TFileCalls::Magic holds, to tell the counters from anything else.
inline constexpr uint32_t kFileCallsMagic = 0x43464256; // "VBFC"

enum class TFileCall { Open, Close, Lock, Read, Write, Stat, Sync, Other };

struct TFileCalls {
    uint32_t Magic = kFileCallsMagic;
    uint32_t Size = sizeof(TFileCalls);
    /// Calls are counted (and delayed) only while this is true.
    std::atomic<bool> Counting{false};
    /// Microseconds each counted call waits, as if on a share; 0 for none.
    std::atomic<uint32_t> DelayMicros{0};

    std::atomic<uint64_t> Opens{0};  // open, also of folders
    std::atomic<uint64_t> Closes{0}; // close
    std::atomic<uint64_t> Locks{0};  // fcntl locks: take, give up, test
    std::atomic<uint64_t> Reads{0};  // read, pread
    std::atomic<uint64_t> Writes{0}; // write, pwrite, truncate
    std::atomic<uint64_t> Stats{0};  // stat, lstat, fstat, access, readlink
    std::atomic<uint64_t> Syncs{0};  // fsync, fdatasync
    std::atomic<uint64_t> Others{0}; // unlink, link, rename, utimensat, chmod, chown

    /// Counts one call, and waits the delay, while counting is on.
    void Count(TFileCall call)
    {
        if (!Counting.load(std::memory_order_relaxed))
            return;
        CounterOf(call).fetch_add(1, std::memory_order_relaxed);
        const uint32_t delay = DelayMicros.load(std::memory_order_relaxed);
        if (delay != 0)
            std::this_thread::sleep_for(std::chrono::microseconds(delay));
    }

    std::atomic<uint64_t> &CounterOf(TFileCall call)
    {
        switch (call) {
        case TFileCall::Open:
            return Opens;
        case TFileCall::Close:
            return Closes;
        case TFileCall::Lock:
            return Locks;
        case TFileCall::Read:
            return Reads;
        case TFileCall::Write:
            return Writes;
        case TFileCall::Stat:
            return Stats;
        case TFileCall::Sync:
            return Syncs;
        case TFileCall::Other:
            break;
        }
        return Others;
    }
};

} // namespace vbis
