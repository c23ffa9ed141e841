// The engine's file-system calls, counted (vbis/FileCalls.h) and made safe for
// a folder that every member of the office can write.
//
// The engine's own calls on dataset files go through the functions below.
// SQLite's calls go through the same counting, installed into the system
// calls of SQLite's unix VFS underneath the engine's VFS; there every open
// also refuses to follow a symbolic link or to block, and anything but a
// regular file or a folder is refused at once, so a fifo in place of a journal
// gives an error code instead of hanging every workstation.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include "vbis/FileCalls.h"

struct sqlite3_vfs;

namespace vbis {

using TCall = TFileCall;

/// The process's counters.
TFileCalls &FileCalls();

/// Counts one call of kind call, when counting is on.
inline void Count(TCall call)
{
    FileCalls().Count(call);
}

/// Puts the counting, and the safe open, under the VFS real (SQLite's unix
/// VFS); false when it has no system calls to replace.
bool InstallSystemCalls(sqlite3_vfs *real);
/// Gives real its own system calls back.
void RemoveSystemCalls(sqlite3_vfs *real);

/// The result of the last fstat SQLite made on this thread, taken once;
/// false when it made none since the last ForgetLastFstat.
bool TakeLastFstat(struct stat &out);
void ForgetLastFstat();

/// The folder of path: "." for a bare name, "/" for a file at the root.
std::string FolderOf(const std::string &path);

/// True for a file type the engine may open: a regular file.
inline bool IsPlainFile(const struct stat &st)
{
    return S_ISREG(st.st_mode);
}

// The engine's own calls, counted.
namespace sys {
int Open(const char *path, int flags, mode_t mode = 0);
int Close(int fd);
ssize_t Read(int fd, void *buffer, std::size_t size);
ssize_t Write(int fd, const void *buffer, std::size_t size);
int Fstat(int fd, struct stat &st);
int Stat(const char *path, struct stat &st);
int Lstat(const char *path, struct stat &st);
int Fsync(int fd);
int Unlink(const char *path);
int Link(const char *from, const char *to);
int Rename(const char *from, const char *to);
int SetTimes(const char *path, const timespec times[2]);
} // namespace sys

} // namespace vbis
