#include "engine/FileCalls.h"

#include <cerrno>
#include <cstdarg>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace vbis {

namespace {

TFileCalls gCalls;

// SQLite's own system calls, as they were before ours went in.
using TOpen = int (*)(const char *, int, int);
using TClose = int (*)(int);
using TAccess = int (*)(const char *, int);
using TStat = int (*)(const char *, struct stat *);
using TFstat = int (*)(int, struct stat *);
using TTruncate = int (*)(int, off_t);
using TFcntl = int (*)(int, int, ...);
using TRead = ssize_t (*)(int, void *, size_t);
using TPread = ssize_t (*)(int, void *, size_t, off_t);
using TWrite = ssize_t (*)(int, const void *, size_t);
using TPwrite = ssize_t (*)(int, const void *, size_t, off_t);
using TFchmod = int (*)(int, mode_t);
using TUnlink = int (*)(const char *);
using TFchown = int (*)(int, uid_t, gid_t);
using TReadlink = ssize_t (*)(const char *, char *, size_t);

struct TSqliteCalls {
    TOpen Open = nullptr;
    TClose Close = nullptr;
    TAccess Access = nullptr;
    TStat Stat = nullptr;
    TFstat Fstat = nullptr;
    TTruncate Truncate = nullptr;
    TFcntl Fcntl = nullptr;
    TRead Read = nullptr;
    TPread Pread = nullptr;
    TWrite Write = nullptr;
    TPwrite Pwrite = nullptr;
    TFchmod Fchmod = nullptr;
    TUnlink Unlink = nullptr;
    TFchown Fchown = nullptr;
    TReadlink Readlink = nullptr;
    TStat Lstat = nullptr;
} gSqlite;

// The last fstat of this thread, for the engine's VFS; and the one made by
// the last open, which answers SQLite's own fstat that follows at once.
struct TLastFstat {
    bool Valid = false;
    struct stat Stat {};
};
thread_local TLastFstat tLastFstat;
thread_local int tOpenedFd = -1;
thread_local struct stat tOpenedStat;

// Opens without following a link at the last step and without waiting for
// a fifo's other end, then refuses anything but a regular file or a folder
// (SQLite opens the folder of a journal to flush it).
int SafeOpen(const char *path, int flags, int mode)
{
    Count(TCall::Open);
    tOpenedFd = -1;
    const int fd = gSqlite.Open(path, flags | O_NOFOLLOW | O_NONBLOCK, mode);
    if (fd < 0)
        return fd;
    struct stat st;
    Count(TCall::Stat);
    if (gSqlite.Fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        Count(TCall::Close);
        gSqlite.Close(fd);
        errno = ENXIO;
        return -1;
    }
    tOpenedFd = fd;
    tOpenedStat = st;
    return fd;
}

int CountedClose(int fd)
{
    if (fd == tOpenedFd)
        tOpenedFd = -1;
    Count(TCall::Close);
    return gSqlite.Close(fd);
}

int CountedAccess(const char *path, int mode)
{
    Count(TCall::Stat);
    return gSqlite.Access(path, mode);
}

int CountedStat(const char *path, struct stat *st)
{
    Count(TCall::Stat);
    return gSqlite.Stat(path, st);
}

int CountedLstat(const char *path, struct stat *st)
{
    Count(TCall::Stat);
    return gSqlite.Lstat(path, st);
}

int CountedFstat(int fd, struct stat *st)
{
    // SQLite looks at a file it just opened: the open looked already.
    const bool justOpened = fd == tOpenedFd;
    tOpenedFd = -1;
    int rc = 0;
    if (justOpened) {
        *st = tOpenedStat;
    } else {
        Count(TCall::Stat);
        rc = gSqlite.Fstat(fd, st);
    }
    tLastFstat.Valid = rc == 0;
    if (rc == 0)
        tLastFstat.Stat = *st;
    return rc;
}

int CountedTruncate(int fd, off_t size)
{
    Count(TCall::Write);
    return gSqlite.Truncate(fd, size);
}

int CountedFcntl(int fd, int op, ...)
{
    va_list args;
    va_start(args, op);
    void *arg = va_arg(args, void *);
    va_end(args);
    // Only the locks reach the file server; the descriptor flags stay here.
    if (op == F_SETLK || op == F_SETLKW || op == F_GETLK || op == F_OFD_SETLK || op == F_OFD_SETLKW
        || op == F_OFD_GETLK)
        Count(TCall::Lock);
    return gSqlite.Fcntl(fd, op, arg);
}

ssize_t CountedRead(int fd, void *buffer, size_t size)
{
    Count(TCall::Read);
    return gSqlite.Read(fd, buffer, size);
}

ssize_t CountedPread(int fd, void *buffer, size_t size, off_t offset)
{
    Count(TCall::Read);
    return gSqlite.Pread(fd, buffer, size, offset);
}

ssize_t CountedWrite(int fd, const void *buffer, size_t size)
{
    Count(TCall::Write);
    return gSqlite.Write(fd, buffer, size);
}

ssize_t CountedPwrite(int fd, const void *buffer, size_t size, off_t offset)
{
    Count(TCall::Write);
    return gSqlite.Pwrite(fd, buffer, size, offset);
}

int CountedFchmod(int fd, mode_t mode)
{
    Count(TCall::Other);
    return gSqlite.Fchmod(fd, mode);
}

int CountedUnlink(const char *path)
{
    Count(TCall::Other);
    return gSqlite.Unlink(path);
}

int CountedFchown(int fd, uid_t uid, gid_t gid)
{
    Count(TCall::Other);
    return gSqlite.Fchown(fd, uid, gid);
}

ssize_t CountedReadlink(const char *path, char *buffer, size_t size)
{
    Count(TCall::Stat);
    return gSqlite.Readlink(path, buffer, size);
}

template <class T>
bool Replace(sqlite3_vfs *real, const char *name, T &original, T counted)
{
    sqlite3_syscall_ptr current = real->xGetSystemCall(real, name);
    if (current == nullptr)
        return false;
    original = reinterpret_cast<T>(current);
    return real->xSetSystemCall(real, name, reinterpret_cast<sqlite3_syscall_ptr>(counted)) == SQLITE_OK;
}

} // namespace

bool TakeLastFstat(struct stat &out)
{
    const bool valid = tLastFstat.Valid;
    if (valid)
        out = tLastFstat.Stat;
    tLastFstat.Valid = false;
    return valid;
}

void ForgetLastFstat()
{
    tLastFstat.Valid = false;
}

TFileCalls &FileCalls()
{
    return gCalls;
}

std::string FolderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool InstallSystemCalls(sqlite3_vfs *real)
{
    if (real->iVersion < 3 || real->xSetSystemCall == nullptr || real->xGetSystemCall == nullptr)
        return false;
    // The open is the one that matters for safety; the rest only count.
    if (!Replace(real, "open", gSqlite.Open, &SafeOpen) || !Replace(real, "fstat", gSqlite.Fstat, &CountedFstat)
        || !Replace(real, "close", gSqlite.Close, &CountedClose)) {
        RemoveSystemCalls(real);
        return false;
    }
    Replace(real, "access", gSqlite.Access, &CountedAccess);
    Replace(real, "stat", gSqlite.Stat, &CountedStat);
    Replace(real, "lstat", gSqlite.Lstat, &CountedLstat);
    Replace(real, "ftruncate", gSqlite.Truncate, &CountedTruncate);
    Replace(real, "fcntl", gSqlite.Fcntl, &CountedFcntl);
    Replace(real, "read", gSqlite.Read, &CountedRead);
    Replace(real, "pread64", gSqlite.Pread, &CountedPread);
    Replace(real, "write", gSqlite.Write, &CountedWrite);
    Replace(real, "pwrite64", gSqlite.Pwrite, &CountedPwrite);
    Replace(real, "fchmod", gSqlite.Fchmod, &CountedFchmod);
    Replace(real, "unlink", gSqlite.Unlink, &CountedUnlink);
    Replace(real, "fchown", gSqlite.Fchown, &CountedFchown);
    Replace(real, "readlink", gSqlite.Readlink, &CountedReadlink);
    return true;
}

void RemoveSystemCalls(sqlite3_vfs *real)
{
    // A null pointer gives every system call back its default.
    if (real->iVersion >= 3 && real->xSetSystemCall != nullptr)
        real->xSetSystemCall(real, nullptr, nullptr);
}

namespace sys {

int Open(const char *path, int flags, mode_t mode)
{
    Count(TCall::Open);
    return ::open(path, flags, mode);
}

int Close(int fd)
{
    Count(TCall::Close);
    return ::close(fd);
}

ssize_t Read(int fd, void *buffer, std::size_t size)
{
    Count(TCall::Read);
    return ::read(fd, buffer, size);
}

ssize_t Write(int fd, const void *buffer, std::size_t size)
{
    Count(TCall::Write);
    return ::write(fd, buffer, size);
}

int Fstat(int fd, struct stat &st)
{
    Count(TCall::Stat);
    return ::fstat(fd, &st);
}

int Stat(const char *path, struct stat &st)
{
    Count(TCall::Stat);
    return ::stat(path, &st);
}

int Lstat(const char *path, struct stat &st)
{
    Count(TCall::Stat);
    return ::lstat(path, &st);
}

int Fsync(int fd)
{
    Count(TCall::Sync);
    return ::fsync(fd);
}

int Unlink(const char *path)
{
    Count(TCall::Other);
    return ::unlink(path);
}

int Link(const char *from, const char *to)
{
    Count(TCall::Other);
    return ::link(from, to);
}

int Rename(const char *from, const char *to)
{
    Count(TCall::Other);
    return ::rename(from, to);
}

int SetTimes(const char *path, const timespec times[2])
{
    Count(TCall::Other);
    return ::utimensat(AT_FDCWD, path, times, 0);
}

} // namespace sys

} // namespace vbis
