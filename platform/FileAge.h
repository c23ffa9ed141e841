// The age of a file: its modification time at full resolution. The board
// timers compare ages for equality only, so the value keeps seconds and
// nanoseconds apart; a double of epoch seconds cannot hold nanoseconds.
#pragma once

#include <cstdint>
#include <string>

/// A file's modification time, or the missing age (-1) for no such file.
struct TFileAge {
    int64_t Seconds = -1;
    /// 0 to 999999999 for a file; -1 only in the missing age, which no file can have.
    int64_t Nanoseconds = -1;

    /// The age of a file that does not exist.
    static constexpr TFileAge Missing() { return TFileAge{}; }
    /// True for the age of a file that does not exist.
    constexpr bool IsMissing() const { return Nanoseconds < 0; }
    friend constexpr bool operator==(const TFileAge &, const TFileAge &) = default;
};

/// The modification time of the file at path, read with a path-based stat; the
/// missing age when it does not exist, cannot be reached or is a folder.
TFileAge FileAge(const std::string &path);

/// The modification time of the regular file at path, read through a
/// descriptor of its own (open, fstat, close): a network file system then
/// asks its server (close-to-open consistency) instead of answering from an
/// attribute cache that may be a minute old. The missing age when the file
/// does not exist, cannot be reached, is a link or is not a regular file; a
/// fifo or a device never holds the open up. Only for a moment when no
/// dataset call is in progress in this process (a timer tick): closing the
/// descriptor drops every POSIX lock the process holds on the file.
TFileAge FreshFileAge(const std::string &path);
