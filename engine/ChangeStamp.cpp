#include "engine/ChangeStamp.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sqlite3.h>
#include <string>

#include "engine/FileCalls.h"

namespace vbis {

namespace {

constexpr const char *kVfsName = kFileCallsVfs;
constexpr long kNanosPerSecond = 1000000000L;
// How long a writer that may only set the current time waits for the clock
// to pass the earlier stamp; the coarsest clocks seen on shares tick in 2 s.
constexpr long kWaitForClockMillis = 2500;
// The most journal bytes gathered before they are written, and the most
// handed to SQLite's own write at once (it takes no more than 128 KiB).
constexpr std::size_t kMostGathered = 1u << 20;
constexpr std::size_t kMostWritten = 64 * 1024;

struct TStampFile {
    sqlite3_file Base;  // what SQLite sees; its methods are ours
    sqlite3_file *Real; // the file of the VFS underneath, right after this
    const char *Path;   // valid until close, as SQLite promises
    bool IsMainDb;
    bool Stamping; // opened through the stamping VFS, not the counting one
    int Level;     // lock level held
    bool Wrote;    // the main file was written under this write lock
    bool HaveBefore;
    timespec Before; // its time when the write lock was taken
    bool HaveWritten;
    struct stat Written; // the file as the last write left it
    bool HaveShared;
    struct stat Shared; // the file as seen under the read lock, before the write lock
    bool HaveOpened;
    struct stat Opened; // the file the descriptor was opened on

    // A journal's writes follow one another: they are gathered into one
    // write, made before anything else is done with the file.
    bool Gathering;
    char *Gathered;
    std::size_t GatheredBytes;
    std::size_t GatheredRoom;
    sqlite3_int64 GatheredAt;
    // A gathered write that failed: SQLite counted on bytes that are not in
    // the file, so everything but emptying or closing the journal fails from
    // then on. Its rollback then fails too, which makes SQLite drop its page
    // cache instead of keeping pages the journal cannot restore.
    int GatherFailed;
};

sqlite3_vfs *gReal = nullptr;
sqlite3_vfs gVfs;
sqlite3_vfs gCountingVfs; // the same, without the stamps
bool gCountingRegistered = false;
sqlite3_io_methods gMethods;
std::once_flag gOnce;
bool gRegistered = false;
bool gSystemCalls = false;

TStampFile *Stamp(sqlite3_file *f)
{
    return reinterpret_cast<TStampFile *>(f);
}
sqlite3_file *Real(sqlite3_file *f)
{
    return Stamp(f)->Real;
}

timespec Add(timespec t, long nanos)
{
    t.tv_nsec += nanos % kNanosPerSecond;
    t.tv_sec += nanos / kNanosPerSecond;
    if (t.tv_nsec >= kNanosPerSecond) {
        t.tv_nsec -= kNanosPerSecond;
        t.tv_sec += 1;
    }
    return t;
}

bool StatTime(const char *path, timespec &t, struct stat *seen = nullptr)
{
    struct stat st;
    if (sys::Stat(path, st) != 0)
        return false;
    t = st.st_mtim;
    if (seen != nullptr)
        *seen = st;
    return true;
}

// Writes what was gathered.
int Flush(TStampFile *s)
{
    if (s->GatherFailed != SQLITE_OK)
        return s->GatherFailed;
    int rc = SQLITE_OK;
    for (std::size_t done = 0; done < s->GatheredBytes && rc == SQLITE_OK; done += kMostWritten) {
        const std::size_t n = std::min(kMostWritten, s->GatheredBytes - done);
        rc = s->Real->pMethods->xWrite(s->Real, s->Gathered + done, int(n), s->GatheredAt + sqlite3_int64(done));
    }
    s->GatheredBytes = 0;
    if (rc != SQLITE_OK)
        s->GatherFailed = (rc & 0xff) == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    return s->GatherFailed;
}

int Close(sqlite3_file *f)
{
    TStampFile *s = Stamp(f);
    sqlite3_file *real = Real(f);
    int rc = SQLITE_OK;
    if (real->pMethods != nullptr) {
        rc = Flush(s);
        const int closed = real->pMethods->xClose(real);
        if (rc == SQLITE_OK)
            rc = closed;
    }
    std::free(s->Gathered);
    s->Gathered = nullptr;
    f->pMethods = nullptr;
    return rc;
}

int Read(sqlite3_file *f, void *buf, int n, sqlite3_int64 off)
{
    const int rc = Flush(Stamp(f));
    return rc != SQLITE_OK ? rc : Real(f)->pMethods->xRead(Real(f), buf, n, off);
}

int Write(sqlite3_file *f, const void *buf, int n, sqlite3_int64 off)
{
    TStampFile *s = Stamp(f);
    s->Wrote = true;
    if (s->Gathering && n > 0 && std::size_t(n) <= kMostGathered) {
        const bool follows = s->GatheredBytes > 0 && off == s->GatheredAt + sqlite3_int64(s->GatheredBytes);
        if (!follows || s->GatheredBytes + std::size_t(n) > kMostGathered) {
            const int rc = Flush(s);
            if (rc != SQLITE_OK)
                return rc;
            s->GatheredAt = off;
        }
        if (s->GatheredBytes + std::size_t(n) > s->GatheredRoom) {
            const std::size_t room = std::max<std::size_t>(64 * 1024, 2 * (s->GatheredBytes + std::size_t(n)));
            char *grown = static_cast<char *>(std::realloc(s->Gathered, room));
            if (grown == nullptr) {
                const int rc = Flush(s);
                return rc != SQLITE_OK ? rc : s->Real->pMethods->xWrite(s->Real, buf, n, off);
            }
            s->Gathered = grown;
            s->GatheredRoom = room;
        }
        std::memcpy(s->Gathered + s->GatheredBytes, buf, std::size_t(n));
        s->GatheredBytes += std::size_t(n);
        return SQLITE_OK;
    }
    const int rc = Flush(s);
    return rc != SQLITE_OK ? rc : s->Real->pMethods->xWrite(s->Real, buf, n, off);
}

int Truncate(sqlite3_file *f, sqlite3_int64 size)
{
    TStampFile *s = Stamp(f);
    s->Wrote = true;
    if (size == 0) {
        // An emptied journal has nothing SQLite could miss.
        s->GatheredBytes = 0;
        s->GatherFailed = SQLITE_OK;
    }
    const int rc = Flush(s);
    return rc != SQLITE_OK ? rc : s->Real->pMethods->xTruncate(s->Real, size);
}

int Sync(sqlite3_file *f, int flags)
{
    // A failed gathered write fails the sync, and with it the transaction.
    const int rc = Flush(Stamp(f));
    if (rc != SQLITE_OK)
        return rc;
    Count(TCall::Sync);
    return Real(f)->pMethods->xSync(Real(f), flags);
}

int FileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    TStampFile *s = Stamp(f);
    const int flushed = Flush(s);
    if (flushed != SQLITE_OK)
        return flushed;
    ForgetLastFstat();
    const int rc = s->Real->pMethods->xFileSize(s->Real, size);
    // SQLite asks for the size at the start of every transaction, under the
    // read lock: the stat it makes for it tells the stamp before a write.
    if (rc == SQLITE_OK && s->Stamping && s->Level == SQLITE_LOCK_SHARED)
        s->HaveShared = TakeLastFstat(s->Shared);
    return rc;
}

int Lock(sqlite3_file *f, int level)
{
    TStampFile *s = Stamp(f);
    if (s->Level == SQLITE_LOCK_NONE)
        s->HaveShared = false;
    const int rc = s->Real->pMethods->xLock(s->Real, level);
    if (rc == SQLITE_OK) {
        if (s->Stamping && s->Level < SQLITE_LOCK_RESERVED && level >= SQLITE_LOCK_RESERVED) {
            // Every earlier writer moved its stamp on before letting go of
            // this lock, so the time seen now is the latest stamp there is;
            // nobody can have written since the read lock was taken.
            if (s->HaveShared) {
                s->Before = s->Shared.st_mtim;
                s->HaveBefore = true;
            } else {
                s->HaveBefore = StatTime(s->Path, s->Before);
            }
            s->Wrote = false;
        }
        if (level > s->Level)
            s->Level = level;
    }
    return rc;
}

int Unlock(sqlite3_file *f, int level)
{
    TStampFile *s = Stamp(f);
    if (s->Stamping && s->Level >= SQLITE_LOCK_RESERVED && level < SQLITE_LOCK_RESERVED) {
        if (s->Wrote && s->HaveBefore)
            s->HaveWritten = MoveStampPast(s->Path, s->Before, &s->Written);
        s->Wrote = false;
        s->HaveBefore = false;
    }
    const int rc = s->Real->pMethods->xUnlock(s->Real, level);
    if (rc == SQLITE_OK && level < s->Level)
        s->Level = level;
    return rc;
}

int CheckReservedLock(sqlite3_file *f, int *out)
{
    return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file *f, int op, void *arg)
{
    const int flushed = Flush(Stamp(f));
    if (flushed != SQLITE_OK)
        return flushed;
    if (op == kLastWrittenControl) {
        TStampFile *s = Stamp(f);
        if (!s->IsMainDb || !s->HaveWritten)
            return SQLITE_NOTFOUND;
        *static_cast<struct stat *>(arg) = s->Written;
        s->HaveWritten = false;
        return SQLITE_OK;
    }
    if (op == kOpenedControl) {
        TStampFile *s = Stamp(f);
        if (!s->IsMainDb || !s->HaveOpened)
            return SQLITE_NOTFOUND;
        *static_cast<struct stat *>(arg) = s->Opened;
        return SQLITE_OK;
    }
    if (op == kReadingControl) {
        TStampFile *s = Stamp(f);
        if (!s->IsMainDb || !s->HaveShared || s->Level < SQLITE_LOCK_SHARED)
            return SQLITE_NOTFOUND;
        *static_cast<struct stat *>(arg) = s->Shared;
        return SQLITE_OK;
    }
    return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file *f)
{
    return Real(f)->pMethods->xSectorSize(Real(f));
}
int DeviceCharacteristics(sqlite3_file *f)
{
    return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}

int ShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **p)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion < 2 || real->pMethods->xShmMap == nullptr)
        return SQLITE_IOERR_SHMMAP;
    return real->pMethods->xShmMap(real, region, size, extend, p);
}

int ShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion < 2 || real->pMethods->xShmLock == nullptr)
        return SQLITE_IOERR_SHMLOCK;
    return real->pMethods->xShmLock(real, offset, n, flags);
}

void ShmBarrier(sqlite3_file *f)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion >= 2 && real->pMethods->xShmBarrier != nullptr)
        real->pMethods->xShmBarrier(real);
}

int ShmUnmap(sqlite3_file *f, int deleteFlag)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion < 2 || real->pMethods->xShmUnmap == nullptr)
        return SQLITE_OK;
    return real->pMethods->xShmUnmap(real, deleteFlag);
}

int Fetch(sqlite3_file *f, sqlite3_int64 off, int n, void **p)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion < 3 || real->pMethods->xFetch == nullptr) {
        *p = nullptr;
        return SQLITE_OK;
    }
    return real->pMethods->xFetch(real, off, n, p);
}

int Unfetch(sqlite3_file *f, sqlite3_int64 off, void *p)
{
    sqlite3_file *real = Real(f);
    if (real->pMethods->iVersion < 3 || real->pMethods->xUnfetch == nullptr)
        return SQLITE_OK;
    return real->pMethods->xUnfetch(real, off, p);
}

constexpr int kHeaderBytes = int((sizeof(TStampFile) + 15) & ~std::size_t(15));

int Open(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *f, int flags, int *outFlags)
{
    TStampFile *s = Stamp(f);
    std::memset(s, 0, sizeof *s);
    s->Real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(f) + kHeaderBytes);
    s->Path = name;
    s->IsMainDb = (flags & SQLITE_OPEN_MAIN_DB) != 0 && name != nullptr;
    s->Stamping = s->IsMainDb && vfs == &gVfs;
    const bool journal = (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0 && vfs == &gVfs;
    s->Gathering = journal;
    int rc = SQLITE_CANTOPEN;
    // The rollback journal stays from one transaction to the next: while it
    // is there it is opened as it is, and SQLite then leaves out the flush
    // of the folder it makes after creating a journal.
    if (journal && (flags & SQLITE_OPEN_CREATE) != 0)
        rc = gReal->xOpen(gReal, name, s->Real, flags & ~SQLITE_OPEN_CREATE, outFlags);
    ForgetLastFstat();
    if (rc != SQLITE_OK)
        rc = gReal->xOpen(gReal, name, s->Real, flags, outFlags);
    if (rc != SQLITE_OK || s->Real->pMethods == nullptr) {
        f->pMethods = nullptr;
        return rc != SQLITE_OK ? rc : SQLITE_CANTOPEN;
    }
    // The open looks at the descriptor it made (fstat, no round trip more):
    // what the file is, before anything reads or writes it.
    if (s->IsMainDb)
        s->HaveOpened = TakeLastFstat(s->Opened);
    f->pMethods = &gMethods;
    return SQLITE_OK;
}

int Delete(sqlite3_vfs *, const char *name, int syncDir)
{
    return gReal->xDelete(gReal, name, syncDir);
}
int Access(sqlite3_vfs *vfs, const char *name, int flags, int *out)
{
    // Datasets never use a write-ahead log (it does not work between
    // hosts), and SQLite reads a log's presence from the database header
    // too; the stat it makes at the start of every transaction to look for
    // a log file is answered here.
    const std::size_t length = name == nullptr ? 0 : std::strlen(name);
    if (vfs == &gVfs && flags == SQLITE_ACCESS_EXISTS && length > 4 && std::strcmp(name + length - 4, "-wal") == 0) {
        *out = 0;
        return SQLITE_OK;
    }
    return gReal->xAccess(gReal, name, flags, out);
}
int FullPathname(sqlite3_vfs *vfs, const char *name, int n, char *out)
{
    // SQLite's own answer follows links at every step, the last one too: a
    // link a colleague put in place of a data file would be opened as the
    // file it points to. The engine's files are named by their folder,
    // resolved, and their own name, so that the open (which refuses links)
    // sees a link as one.
    const char *slash = std::strrchr(name, '/');
    const char *base = slash == nullptr ? name : slash + 1;
    if (vfs != &gVfs || *base == '\0' || std::strcmp(base, ".") == 0 || std::strcmp(base, "..") == 0)
        return gReal->xFullPathname(gReal, name, n, out);
    const std::string folder = slash == nullptr ? std::string(".")
                               : slash == name  ? std::string("/")
                                                : std::string(name, slash);
    const int rc = gReal->xFullPathname(gReal, folder.c_str(), n, out);
    if (rc != SQLITE_OK && rc != SQLITE_OK_SYMLINK)
        return rc;
    const std::size_t folderLength = std::strlen(out);
    const std::size_t baseLength = std::strlen(base);
    const bool root = folderLength == 1 && out[0] == '/';
    if (folderLength + 1 + baseLength + 1 > std::size_t(n))
        return SQLITE_CANTOPEN;
    char *end = out + folderLength;
    if (!root)
        *end++ = '/';
    std::memcpy(end, base, baseLength + 1);
    return SQLITE_OK;
}
void *DlOpen(sqlite3_vfs *, const char *name)
{
    return gReal->xDlOpen(gReal, name);
}
void DlError(sqlite3_vfs *, int n, char *msg)
{
    gReal->xDlError(gReal, n, msg);
}
void (*DlSym(sqlite3_vfs *, void *h, const char *sym))(void)
{
    return gReal->xDlSym(gReal, h, sym);
}
void DlClose(sqlite3_vfs *, void *h)
{
    gReal->xDlClose(gReal, h);
}
int Randomness(sqlite3_vfs *, int n, char *out)
{
    return gReal->xRandomness(gReal, n, out);
}
int Sleep(sqlite3_vfs *, int micros)
{
    return gReal->xSleep(gReal, micros);
}
int CurrentTime(sqlite3_vfs *, double *t)
{
    return gReal->xCurrentTime(gReal, t);
}
int GetLastError(sqlite3_vfs *, int n, char *msg)
{
    return gReal->xGetLastError ? gReal->xGetLastError(gReal, n, msg) : 0;
}

int CurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *t)
{
    if (gReal->iVersion >= 2 && gReal->xCurrentTimeInt64 != nullptr)
        return gReal->xCurrentTimeInt64(gReal, t);
    double d = 0;
    const int rc = gReal->xCurrentTime(gReal, &d);
    *t = sqlite3_int64(d * 86400000.0);
    return rc;
}

void Register()
{
    if (sqlite3_initialize() != SQLITE_OK)
        return;
    gReal = sqlite3_vfs_find(nullptr);
    if (gReal == nullptr)
        return;

    gMethods = sqlite3_io_methods{};
    gMethods.iVersion = 3;
    gMethods.xClose = Close;
    gMethods.xRead = Read;
    gMethods.xWrite = Write;
    gMethods.xTruncate = Truncate;
    gMethods.xSync = Sync;
    gMethods.xFileSize = FileSize;
    gMethods.xLock = Lock;
    gMethods.xUnlock = Unlock;
    gMethods.xCheckReservedLock = CheckReservedLock;
    gMethods.xFileControl = FileControl;
    gMethods.xSectorSize = SectorSize;
    gMethods.xDeviceCharacteristics = DeviceCharacteristics;
    gMethods.xShmMap = ShmMap;
    gMethods.xShmLock = ShmLock;
    gMethods.xShmBarrier = ShmBarrier;
    gMethods.xShmUnmap = ShmUnmap;
    gMethods.xFetch = Fetch;
    gMethods.xUnfetch = Unfetch;

    gVfs = sqlite3_vfs{};
    gVfs.iVersion = 2;
    gVfs.szOsFile = kHeaderBytes + gReal->szOsFile;
    gVfs.mxPathname = gReal->mxPathname;
    gVfs.zName = kVfsName;
    gVfs.xOpen = Open;
    gVfs.xDelete = Delete;
    gVfs.xAccess = Access;
    gVfs.xFullPathname = FullPathname;
    gVfs.xDlOpen = DlOpen;
    gVfs.xDlError = DlError;
    gVfs.xDlSym = DlSym;
    gVfs.xDlClose = DlClose;
    gVfs.xRandomness = Randomness;
    gVfs.xSleep = Sleep;
    gVfs.xCurrentTime = CurrentTime;
    gVfs.xGetLastError = GetLastError;
    gVfs.xCurrentTimeInt64 = CurrentTimeInt64;
    gVfs.pAppData = &FileCalls();
    // Under every SQLite file of the process: counted calls, and opens that
    // neither follow a link nor block on a fifo.
    gSystemCalls = InstallSystemCalls(gReal);
    gRegistered = sqlite3_vfs_register(&gVfs, 0) == SQLITE_OK;
    gCountingVfs = gVfs;
    gCountingVfs.zName = kCountingVfs;
    gCountingRegistered = sqlite3_vfs_register(&gCountingVfs, 0) == SQLITE_OK;
}

} // namespace

const char *ChangeStampVfs()
{
    std::call_once(gOnce, Register);
    return gRegistered ? kVfsName : nullptr;
}

void ReleaseChangeStampVfs()
{
    if (gRegistered) {
        sqlite3_vfs_unregister(&gVfs);
        gRegistered = false;
    }
    if (gCountingRegistered) {
        sqlite3_vfs_unregister(&gCountingVfs);
        gCountingRegistered = false;
    }
    if (gSystemCalls) {
        RemoveSystemCalls(gReal);
        gSystemCalls = false;
    }
}

bool IsLater(const timespec &a, const timespec &b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

bool MoveStampPast(const char *path, const timespec &before, struct stat *after)
{
    timespec now;
    if (!StatTime(path, now, after))
        return false;
    if (IsLater(now, before))
        return true;
    // Step up until the file system keeps the new time: nanosecond file
    // systems take the first step, others round it away.
    static constexpr long kSteps[] = {1000L, 1000000L, 1000000000L, 2000000000L};
    for (long step : kSteps) {
        const timespec times[2] = {{0, UTIME_OMIT}, Add(before, step)};
        if (sys::SetTimes(path, times) != 0) {
            if (errno != EPERM && errno != EACCES)
                return false;
            break; // not the owner: only the current time may be set
        }
        if (!StatTime(path, now, after))
            return false;
        if (IsLater(now, before))
            return true;
    }
    // Setting "now" needs write access only; wait for the clock to move past.
    for (long waited = 0; waited < kWaitForClockMillis; ++waited) {
        if (sys::SetTimes(path, nullptr) != 0 || !StatTime(path, now, after))
            return false;
        if (IsLater(now, before))
            return true;
        const timespec pause = {0, 1000000L};
        ::nanosleep(&pause, nullptr);
    }
    return true; // the clock did not pass in time; the file is as seen
}

} // namespace vbis
