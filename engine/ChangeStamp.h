// Change stamps: every committed write leaves the data file with a
// modification time later than every earlier one.
//
// The board's timers watch the data file's modification time, and the file
// system's clock is coarse (a few milliseconds here, a second or two on some
// shares), so two writes close together could leave the same time behind.
// Datasets are therefore opened through a thin VFS over SQLite's own: when a
// connection that wrote the main database file gives up its write lock, the
// shim first checks the file's time against the one seen when the lock was
// taken and moves it on when it did not advance. Because the check runs while
// the write lock is still held, no other writer can commit in between.
//
// Only path-based stat and utimensat are used: opening and closing another
// descriptor of the file would drop the POSIX locks SQLite holds on it. The
// time seen when the write lock is taken comes from the stat SQLite makes for
// the file's size under the read lock just before, which no writer can
// follow.
//
// The same VFS keeps the file-system calls few, each being a round trip on a
// network share: a journal's writes are gathered into one write made before
// the journal is synced, read or emptied; a journal that is there is opened
// as it is (SQLite flushes the folder after creating one); and SQLite's look
// for a write-ahead log, which datasets never have, is answered without a
// stat. A second VFS of the same methods counts and does nothing else, for
// connections that are not the engine's (vbis/FileCalls.h).
#pragma once

#include <sys/stat.h>
#include <time.h>

namespace vbis {

/// The name of the stamping VFS, registered with SQLite on first use; nullptr
/// when it could not be registered.
const char *ChangeStampVfs();

/// Removes the stamping VFS from SQLite (when the engine is unloaded).
void ReleaseChangeStampVfs();

/// True when a is later than b.
bool IsLater(const timespec &a, const timespec &b);

/// Leaves the modification time of the file at path later than before: moves
/// it on by the smallest step the file system keeps, or, where only the
/// current time may be set, waits for the clock to pass before (bounded).
/// True with the file's state in after when it was seen once done.
bool MoveStampPast(const char *path, const timespec &before, struct stat *after);

/// The file control (sqlite3_file_control on "main") that hands over, in a
/// struct stat, the data file as the connection's last write left it; it
/// answers SQLITE_NOTFOUND when the connection wrote nothing since it was
/// last asked.
constexpr int kLastWrittenControl = 0x56424c57;

/// The file control that hands over, in a struct stat, the data file as the
/// read transaction now running saw it when it began; SQLITE_NOTFOUND outside
/// a transaction or when it was not seen.
constexpr int kReadingControl = 0x56425244;

/// The file control that hands over, in a struct stat, the main database
/// file as its descriptor was opened: fstat of that descriptor, before any
/// statement reads or writes it.
constexpr int kOpenedControl = 0x56424f50;

} // namespace vbis
