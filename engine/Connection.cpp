#include "engine/Connection.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <random>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

#include "engine/ChangeStamp.h"
#include "engine/Codes.h"
#include "engine/FileCalls.h"
#include "vbis/Vbis4032.h"

namespace vbis {

namespace {

// How long an open waits for the data file of a dataset that another
// workstation is creating at that moment.
constexpr auto kDataFileWait = std::chrono::milliseconds(500);
constexpr const char *kRecordTable = "vbis_record";
// What Reopen answers when the dataset's files are not the ones the
// connection was opened on.
constexpr int16_t kOpenAfresh = -1;

// The store of kept connections: a few per process, the most recently used
// first, none kept longer than a few minutes unused (each holds a descriptor
// of a file on the share, and memory for its pages).
constexpr std::size_t kMostKept = 8;
constexpr std::size_t kMostKeptPerDataset = 2;
constexpr auto kLongestKept = std::chrono::minutes(5);
// SQLite's page cache of one connection, in KiB: a board of a few thousand
// users, or the pages of a user's thousand messages, stays in it between two
// timer ticks.
constexpr int kCacheKiB = 16384;

struct TKept {
    std::mutex Lock;
    std::list<std::unique_ptr<TConnection>> Connections;
};

// Never destroyed, like the handle table: CloseKept empties it at unload.
TKept &Kept()
{
    static TKept *kept = new TKept;
    return *kept;
}

// Waits for another connection's lock in short, jittered sleeps, so that
// several writers take turns instead of one starving behind the others, and
// gives up after kBusyTimeoutMillis.
int BusyWait(void *since, int attempt)
{
    using TClock = std::chrono::steady_clock;
    auto &start = *static_cast<TClock::time_point *>(since);
    const TClock::time_point now = TClock::now();
    if (attempt == 0)
        start = now;
    else if (now - start >= std::chrono::milliseconds(kBusyTimeoutMillis))
        return 0;
    thread_local std::minstd_rand random(unsigned(::getpid()) ^ unsigned(now.time_since_epoch().count()));
    const int ceiling = attempt < 10 ? 2 + attempt : 12;
    std::this_thread::sleep_for(std::chrono::microseconds(500 + int(random() % unsigned(ceiling * 1000))));
    return 1;
}

bool SameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Reads the definition file at path into text, and the file's state; the
// code says why it failed.
int16_t ReadDefinitionFile(const std::string &path, std::string &text, TFileState &state)
{
    // Another member of the office may have put anything at this name: a
    // link is not followed, and a fifo must not hang the caller.
    const int fd = sys::Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            struct stat st;
            // A missing dataset in a folder that is there is "not found"; a
            // folder that is not there is a read error of the path.
            return sys::Stat(FolderOf(path).c_str(), st) == 0 && S_ISDIR(st.st_mode) ? VBIS_NOT_FOUND : VBIS_IO_ERROR;
        }
        return error == ELOOP ? int16_t(VBIS_NOT_ISAM) : CodeOfErrno(error);
    }
    int16_t code = VBIS_OK;
    struct stat st;
    if (sys::Fstat(fd, st) != 0) {
        code = CodeOfErrno(errno);
    } else if (!IsPlainFile(st)) {
        code = VBIS_NOT_ISAM;
    } else {
        state = TFileState::Of(st);
        // One read takes the whole file: its size is known, and one byte more
        // shows a file that grew meanwhile.
        const std::size_t want =
            std::min<std::size_t>(std::size_t(std::max<off_t>(st.st_size, 0)), kMaxDefinitionBytes) + 1;
        std::string chunk(want, '\0');
        while (text.size() <= kMaxDefinitionBytes) {
            const ssize_t n = sys::Read(fd, chunk.data(), chunk.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                code = CodeOfErrno(errno);
                break;
            }
            if (n == 0)
                break;
            text.append(chunk.data(), std::size_t(n));
            if (std::size_t(n) < chunk.size())
                break; // a short read of a regular file is its end
        }
    }
    sys::Close(fd);
    return code;
}

} // namespace

TFileState TFileState::Of(const struct stat &st)
{
    TFileState state;
    state.Device = st.st_dev;
    state.Inode = st.st_ino;
    state.Size = st.st_size;
    state.Modified = st.st_mtim;
    state.Changed = st.st_ctim;
    return state;
}

bool TFileState::SameContent(const TFileState &other) const
{
    return SameFile(other) && Size == other.Size && SameTime(Modified, other.Modified)
           && SameTime(Changed, other.Changed);
}

int16_t TConnection::Take(const std::string &path, std::unique_ptr<TConnection> &out)
{
    std::unique_ptr<TConnection> kept;
    {
        TKept &store = Kept();
        std::lock_guard<std::mutex> guard(store.Lock);
        // A connection kept by the process this one was forked from is not
        // this process's to use.
        const pid_t self = ::getpid();
        store.Connections.remove_if([&](const std::unique_ptr<TConnection> &c) { return c->FProcess != self; });
        const auto found = std::find_if(store.Connections.begin(), store.Connections.end(),
                                        [&](const std::unique_ptr<TConnection> &c) { return c->FPath == path; });
        if (found != store.Connections.end()) {
            kept = std::move(*found);
            store.Connections.erase(found);
        }
    }
    if (kept) {
        const int16_t code = kept->Reopen();
        if (code == VBIS_OK) {
            out = std::move(kept);
            return VBIS_OK;
        }
        kept.reset();
        // Files that are no longer the ones it was opened on are opened
        // afresh; any other failure is the answer.
        if (code != kOpenAfresh)
            return code;
    }
    return OpenNew(path, out);
}

void TConnection::Give(std::unique_ptr<TConnection> connection)
{
    if (!connection)
        return;
    // Only a sound connection outside any transaction is kept.
    if (!connection->FSound || sqlite3_get_autocommit(connection->FDb) == 0)
        return;
    struct stat written;
    if (sqlite3_file_control(connection->FDb, "main", kLastWrittenControl, &written) == SQLITE_OK)
        connection->FDataFile = TFileState::Of(written);
    const auto now = std::chrono::steady_clock::now();
    connection->FKeptSince = now;

    std::list<std::unique_ptr<TConnection>> closing;
    TKept &store = Kept();
    std::lock_guard<std::mutex> guard(store.Lock);
    const std::string path = connection->FPath;
    store.Connections.push_front(std::move(connection));
    std::size_t total = 0;
    std::size_t same = 0;
    for (auto it = store.Connections.begin(); it != store.Connections.end();) {
        const bool sameDataset = (*it)->FPath == path;
        if (now - (*it)->FKeptSince > kLongestKept || total >= kMostKept
            || (sameDataset && same >= kMostKeptPerDataset)) {
            auto next = std::next(it);
            closing.splice(closing.end(), store.Connections, it);
            it = next;
            continue;
        }
        ++total;
        same += sameDataset;
        ++it;
    }
}

void TConnection::CloseKept()
{
    std::list<std::unique_ptr<TConnection>> closing;
    TKept &store = Kept();
    std::lock_guard<std::mutex> guard(store.Lock);
    closing.swap(store.Connections);
}

int16_t TConnection::OpenNew(const std::string &path, std::unique_ptr<TConnection> &out)
{
    std::string text;
    TFileState definitionFile;
    int16_t code = ReadDefinitionFile(path + ".ism", text, definitionFile);
    if (code != VBIS_OK)
        return code;
    TDefinitionRead read = ParseDefinition(text);
    if (read.Check == TDefinitionCheck::NotOurs)
        return VBIS_NOT_ISAM;
    if (read.Check == TDefinitionCheck::Damaged)
        return VBIS_CORRUPTED;

    const std::string isd = path + ".isd";
    struct stat st;
    // A workstation creating the dataset puts the data file in place an
    // instant after the definition; a definition that stays alone is damage.
    const auto giveUp = std::chrono::steady_clock::now() + kDataFileWait;
    while (sys::Lstat(isd.c_str(), st) != 0) {
        if (errno != ENOENT)
            return CodeOfErrno(errno);
        if (std::chrono::steady_clock::now() >= giveUp)
            return VBIS_CORRUPTED;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Not a link, a folder or a fifo: only a regular file is opened.
    if (!IsPlainFile(st))
        return VBIS_CORRUPTED;
    const char *vfs = ChangeStampVfs();
    if (vfs == nullptr)
        return VBIS_IO_ERROR;

    sqlite3 *db = nullptr;
    // Read-write without create: a data file that vanished must not come back empty.
    const int rc = sqlite3_open_v2(isd.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, vfs);
    if (rc != SQLITE_OK) {
        // The open refuses a link or a fifo put in place of the data file
        // since it was looked at: that is a data file that is not one.
        code = db == nullptr                                          ? VBIS_NO_MEMORY
               : sys::Lstat(isd.c_str(), st) == 0 && !IsPlainFile(st) ? VBIS_CORRUPTED
                                                                      : VBIS_IO_ERROR;
        sqlite3_close_v2(db);
        return code;
    }
    // The file SQLite opened must be the one looked at above, before any
    // statement (the connection's settings among them) reads or writes it.
    struct stat opened;
    if (sqlite3_file_control(db, "main", kOpenedControl, &opened) != SQLITE_OK
        || !TFileState::Of(opened).SameFile(TFileState::Of(st))) {
        sqlite3_close_v2(db);
        return VBIS_CORRUPTED;
    }
    std::unique_ptr<TConnection> connection(new TConnection(path, db, std::move(*read.Definition)));
    connection->FDefinitionFile = definitionFile;
    connection->FDataFile = TFileState::Of(st);
    if ((code = connection->Configure()) != VBIS_OK || (code = connection->CheckSchema()) != VBIS_OK
        || (code = connection->CheckLayout()) != VBIS_OK)
        return code;
    out = std::move(connection);
    return VBIS_OK;
}

bool TConnection::CountStillTrue(int32_t &count) const
{
    struct stat st;
    if (!FHaveCount || sys::Lstat((FPath + ".isd").c_str(), st) != 0 || !IsPlainFile(st)
        || !TFileState::Of(st).SameContent(FCountedOn))
        return false;
    count = FCount;
    return true;
}

void TConnection::CountAtOpen()
{
    // A caller asks for the layout at once after the open (VmxInfo, which
    // also counts); a count made in this transaction spares it one of its own.
    sqlite3_stmt *s = nullptr;
    if (Statement(QCount, s) != VBIS_OK)
        return;
    if (sqlite3_step(s) == SQLITE_ROW) {
        const sqlite3_int64 count = sqlite3_column_int64(s, 0);
        NoteCount(count > INT32_MAX ? INT32_MAX : int32_t(count));
    }
    sqlite3_reset(s);
}

void TConnection::NoteCount(int32_t count)
{
    struct stat reading;
    FHaveCount = sqlite3_file_control(FDb, "main", kReadingControl, &reading) == SQLITE_OK;
    if (FHaveCount) {
        FCount = count;
        FCountedOn = TFileState::Of(reading);
    }
}

void TConnection::NoteWrite(int countChange, const struct stat *started)
{
    struct stat written;
    const bool sawWritten = sqlite3_file_control(FDb, "main", kLastWrittenControl, &written) == SQLITE_OK;
    if (sawWritten)
        FDataFile = TFileState::Of(written);
    // The count moves with the write only when it held for the file the
    // write began on: else someone else's write came in between.
    FHaveCount = FHaveCount && sawWritten && started != nullptr && FCountedOn.SameContent(TFileState::Of(*started));
    if (FHaveCount) {
        FCount += countChange;
        FCountedOn = FDataFile;
    }
}

int16_t TConnection::Reopen()
{
    // Two stats: the definition file as it was, the data file the same file.
    struct stat st;
    if (sys::Lstat((FPath + ".ism").c_str(), st) != 0 || !IsPlainFile(st)
        || !TFileState::Of(st).SameContent(FDefinitionFile))
        return kOpenAfresh;
    if (sys::Lstat((FPath + ".isd").c_str(), st) != 0 || !IsPlainFile(st))
        return kOpenAfresh;
    const TFileState data = TFileState::Of(st);
    if (!data.SameFile(FDataFile))
        return kOpenAfresh;
    if (data.SameContent(FDataFile))
        return VBIS_OK;
    // Written since this connection last saw it: by another workstation,
    // or by anyone who could have damaged it or put it in another journal
    // mode. The open checks it as a new open would.
    const sqlite3_int64 version = FDataVersion;
    int16_t code = Configure();
    if (code == VBIS_OK)
        code = CheckSchema();
    // Every commit, by any connection, moves the file's change counter on,
    // and SQLite keeps its page cache while the counter stays. A file that
    // changed while the counter did not was written behind SQLite's back (a
    // damage in place, say): the cache is not to be trusted, and a new
    // connection reads the file as every other workstation does.
    if (code == VBIS_OK && FDataVersion == version)
        return kOpenAfresh;
    if (code == VBIS_OK)
        FDataFile = data;
    return code;
}

TConnection::TConnection(const std::string &path, sqlite3 *db, TDefinition definition)
    : FPath(path), FProcess(::getpid()), FDb(db), FDefinition(std::move(definition)),
      FIndexStatements((FDefinition.Format.Fields().size() + 1) * kIndexQueries, nullptr),
      FStatements(kQueries, nullptr)
{
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_busy_handler(FDb, BusyWait, &FBusySince);
    // A data file is shared and may come from anywhere: its schema gets no
    // trust beyond plain SQL.
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(FDb, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
}

TConnection::~TConnection()
{
    for (sqlite3_stmt *s : FIndexStatements)
        sqlite3_finalize(s);
    for (sqlite3_stmt *s : FStatements)
        sqlite3_finalize(s);
    sqlite3_close_v2(FDb);
}

int16_t TConnection::Configure()
{
    // A rollback journal, never WAL: WAL does not work between hosts.
    std::string mode;
    int rc = sqlite3_exec(
        FDb, "PRAGMA journal_mode=TRUNCATE",
        [](void *out, int n, char **values, char **) {
            if (n > 0 && values[0] != nullptr)
                *static_cast<std::string *>(out) = values[0];
            return 0;
        },
        &mode, nullptr);
    if (rc != SQLITE_OK)
        return CodeOfSqlite(rc);
    if (mode != "truncate")
        return VBIS_MULTI_USER; // held in another journal mode by someone else
    const std::string settings = "PRAGMA synchronous=FULL; PRAGMA cache_size=-" + std::to_string(kCacheKiB);
    rc = sqlite3_exec(FDb, settings.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? int16_t(VBIS_OK) : CodeOfSqlite(rc);
}

int16_t TConnection::CheckSchema()
{
    sqlite3_stmt *s = nullptr;
    int16_t code = Statement(QCheck, s);
    if (code != VBIS_OK)
        return code;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
        const auto *format = reinterpret_cast<const char *>(sqlite3_column_text(s, 1));
        // The data must be laid out as the definition says.
        struct stat opened;
        if (sqlite3_column_int64(s, 0) != FDefinition.KeyLength || format == nullptr
            || FDefinition.Format.Text() != format)
            code = VBIS_CORRUPTED;
        // SQLite opens the data file by a path it resolves itself: the file
        // it reads must be the one the open looked at (no link swapped in).
        else if (sqlite3_file_control(FDb, "main", kReadingControl, &opened) == SQLITE_OK
                 && !TFileState::Of(opened).SameFile(FDataFile))
            code = VBIS_CORRUPTED;
        else {
            FDataVersion = sqlite3_column_int64(s, 2);
            CountAtOpen(); // in the read transaction the check holds open
        }
    } else {
        code = rc == SQLITE_DONE ? int16_t(VBIS_CORRUPTED) : CodeOfSqlite(rc);
    }
    sqlite3_reset(s);
    return code;
}

int16_t TConnection::CheckLayout()
{
    std::string columns = "SELECT k, rec";
    for (std::size_t i = 0; i < FDefinition.Format.Fields().size(); ++i)
        if (FDefinition.Format.Fields()[i].Indexed)
            columns += ", x" + std::to_string(i + 1);
    columns += " FROM vbis_record LIMIT 0";
    sqlite3_stmt *s = nullptr;
    const int rc = sqlite3_prepare_v2(FDb, columns.c_str(), -1, &s, nullptr);
    sqlite3_finalize(s);
    return rc == SQLITE_OK ? int16_t(VBIS_OK) : CodeOfSqlite(rc);
}

int16_t TConnection::Prepare(const std::string &sql, sqlite3_stmt *&out)
{
    const int rc = sqlite3_prepare_v3(FDb, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &out, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(out);
        out = nullptr;
        return CodeOfSqlite(rc);
    }
    return VBIS_OK;
}

std::string TConnection::ValueColumn(int index) const
{
    return index == 0 ? "k" : "x" + std::to_string(index);
}

int16_t TConnection::IndexStatement(int index, TIndexQuery query, sqlite3_stmt *&out)
{
    sqlite3_stmt *&slot = FIndexStatements[std::size_t(index) * kIndexQueries + query];
    if (slot != nullptr) {
        out = slot;
        return VBIS_OK;
    }
    // ?1 is the index value, ?2 the record key, ?3 the most records a walk
    // reads at once; on index 0 the value is the key.
    const std::string v = ValueColumn(index);
    const std::string select = std::string("SELECT k, rec, ") + v + " FROM " + kRecordTable;
    const std::string up = index == 0 ? " ORDER BY k" : " ORDER BY " + v + ", k";
    const std::string down = index == 0 ? " ORDER BY k DESC" : " ORDER BY " + v + " DESC, k DESC";
    std::string sql;
    switch (query) {
    case QFirst:
        sql = select + up + " LIMIT ?3";
        break;
    case QLast:
        sql = select + down + " LIMIT ?3";
        break;
    // Row-value seeks from the remembered position: one index range search.
    case QNext:
        sql = select + (index == 0 ? " WHERE k > ?2" : " WHERE (" + v + ", k) > (?1, ?2)") + up + " LIMIT ?3";
        break;
    case QPrevious:
        sql = select + (index == 0 ? " WHERE k < ?2" : " WHERE (" + v + ", k) < (?1, ?2)") + down + " LIMIT ?3";
        break;
    case QEqual:
        sql = select + " WHERE " + v + " = ?1" + up + " LIMIT 1";
        break;
    case QValueOf:
        sql = "SELECT " + v + " FROM " + kRecordTable + " WHERE k = ?1";
        break;
    case kIndexQueries:
        return VBIS_BAD_PARAMETER;
    }
    const int16_t code = Prepare(sql, slot);
    out = slot;
    return code;
}

int16_t TConnection::Statement(TQuery query, sqlite3_stmt *&out)
{
    sqlite3_stmt *&slot = FStatements[query];
    if (slot != nullptr) {
        out = slot;
        return VBIS_OK;
    }
    std::string sql;
    const auto &fields = FDefinition.Format.Fields();
    switch (query) {
    case QInsert: {
        std::string names = "k, rec", values = "?1, ?2";
        int n = 3;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Indexed) {
                names += ", x" + std::to_string(i + 1);
                values += ", ?" + std::to_string(n++);
            }
        sql = std::string("INSERT INTO ") + kRecordTable + "(" + names + ") VALUES(" + values + ")";
        break;
    }
    case QUpdate: {
        sql = std::string("UPDATE ") + kRecordTable + " SET rec = ?2";
        int n = 3;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Indexed)
                sql += ", x" + std::to_string(i + 1) + " = ?" + std::to_string(n++);
        sql += " WHERE k = ?1";
        break;
    }
    case QUpdateRecord: {
        // The same replace for a record whose indexed fields stay as they
        // are: the indexes are left alone, and their pages unwritten.
        sql = std::string("UPDATE ") + kRecordTable + " SET rec = ?2 WHERE k = ?1";
        int n = 3;
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i].Indexed)
                sql += " AND x" + std::to_string(i + 1) + " = ?" + std::to_string(n++);
        break;
    }
    case QDelete:
        sql = std::string("DELETE FROM ") + kRecordTable + " WHERE k = ?1";
        break;
    case QMaxKey:
        sql = std::string("SELECT k FROM ") + kRecordTable + " ORDER BY k DESC LIMIT 1";
        break;
    case QCount:
        sql = std::string("SELECT count(*) FROM ") + kRecordTable;
        break;
    case QVersion:
        sql = "PRAGMA user_version";
        break;
    case QBegin:
        sql = "BEGIN IMMEDIATE";
        break;
    case QCommit:
        sql = "COMMIT";
        break;
    case QRollback:
        sql = "ROLLBACK";
        break;
    case QCheck:
        // With the connection's data version, read in the same transaction.
        sql =
            "SELECT key_length, format, (SELECT data_version FROM pragma_data_version) FROM vbis_dataset WHERE id = 1";
        break;
    case kQueries:
        return VBIS_BAD_PARAMETER;
    }
    const int16_t code = Prepare(sql, slot);
    out = slot;
    return code;
}

} // namespace vbis
