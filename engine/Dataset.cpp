#include "engine/Dataset.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sqlite3.h>
#include <sys/stat.h>
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

// Resets a statement when the call that stepped it returns, so that no
// statement, and therefore no lock, outlives an entry-point call.
class TReset {
public:
    explicit TReset(sqlite3_stmt *s) : FStatement(s) {}
    ~TReset() { sqlite3_reset(FStatement); }
    TReset(const TReset &) = delete;
    TReset &operator=(const TReset &) = delete;

private:
    sqlite3_stmt *FStatement;
};

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

// The engine is a product of its own and links nothing of the program's
// layers, so the few file helpers it needs (the folder of a path, a write
// loop, a folder flush) are its own, in this file and nowhere else.

std::string FolderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads the definition file at path into text; the code says why it failed.
int16_t ReadDefinitionFile(const std::string &path, std::string &text)
{
    // O_NONBLOCK: a fifo in place of the file must not hang the caller.
    const int fd = sys::Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            struct stat st;
            // A missing dataset in a folder that is there is "not found"; a
            // folder that is not there is a read error of the path.
            return sys::Stat(FolderOf(path).c_str(), st) == 0 && S_ISDIR(st.st_mode) ? VBIS_NOT_FOUND : VBIS_IO_ERROR;
        }
        return CodeOfErrno(error);
    }
    int16_t code = VBIS_OK;
    struct stat st;
    if (sys::Fstat(fd, st) != 0) {
        code = CodeOfErrno(errno);
    } else if (!S_ISREG(st.st_mode)) {
        code = VBIS_NOT_ISAM;
    } else {
        char chunk[4096];
        while (text.size() <= kMaxDefinitionBytes) {
            const ssize_t n = sys::Read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                code = CodeOfErrno(errno);
                break;
            }
            if (n == 0)
                break;
            text.append(chunk, std::size_t(n));
        }
    }
    sys::Close(fd);
    return code;
}

// Writes all of text to fd.
bool WriteAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = sys::Write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

void SyncFolder(const std::string &folder)
{
    const int fd = sys::Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        sys::Fsync(fd);
        sys::Close(fd);
    }
}

bool IsDecimal(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Puts the finished file built at building under name, failing with
// VBIS_NAME_IN_USE when name exists. A hard link is exclusive and shows the
// file whole; where the share allows no hard links, the file is made
// exclusively under name and written there instead.
int16_t ClaimName(const std::string &building, const std::string &name, const std::string &text)
{
    if (sys::Link(building.c_str(), name.c_str()) == 0)
        return VBIS_OK;
    if (errno == EEXIST)
        return VBIS_NAME_IN_USE;
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK && errno != ENOSYS)
        return CodeOfErrno(errno);
    const int fd = sys::Open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return errno == EEXIST ? int16_t(VBIS_NAME_IN_USE) : CodeOfErrno(errno);
    int16_t code = VBIS_OK;
    if (!WriteAll(fd, text) || sys::Fsync(fd) != 0)
        code = CodeOfErrno(errno);
    if (sys::Close(fd) != 0 && code == VBIS_OK)
        code = CodeOfErrno(errno);
    if (code != VBIS_OK)
        sys::Unlink(name.c_str());
    return code;
}

// Builds the data file of a new dataset at path (which must not exist yet).
int16_t BuildDataFile(const std::string &path, const TDefinition &definition)
{
    // Made by hand first so that it gets the folder's usual permissions
    // (0666 less the umask): every workstation's user must be able to write it.
    const int fd = sys::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return CodeOfErrno(errno);
    sys::Close(fd);

    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return VBIS_IO_ERROR;
    }
    std::string sql = "PRAGMA journal_mode=OFF;" // nobody else sees the file until it is complete
                      "PRAGMA synchronous=FULL;"
                      "BEGIN;"
                      "CREATE TABLE vbis_dataset(id INTEGER PRIMARY KEY CHECK (id = 1), key_length INTEGER NOT NULL,"
                      " format TEXT NOT NULL, version INTEGER NOT NULL);"
                      "CREATE TABLE vbis_record(k BLOB NOT NULL PRIMARY KEY, rec BLOB NOT NULL";
    const auto &fields = definition.Format.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed)
            sql += ", x" + std::to_string(i + 1)
                   + (fields[i].Kind == TFieldKind::Text ? " BLOB NOT NULL" : " INTEGER NOT NULL");
    sql += ") WITHOUT ROWID;";
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Indexed) {
            const std::string n = std::to_string(i + 1);
            sql += "CREATE INDEX vbis_index" + n + " ON vbis_record(x" + n + ", k);";
        }
    rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db, "INSERT INTO vbis_dataset VALUES(1, ?1, ?2, 0)", -1, &insert, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int(insert, 1, definition.KeyLength);
        sqlite3_bind_text(insert, 2, definition.Format.Text().data(), int(definition.Format.Text().size()),
                          SQLITE_STATIC);
        rc = sqlite3_step(insert);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(insert);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    int16_t code = VBIS_OK;
    if (rc != SQLITE_OK)
        code = rc == SQLITE_FULL ? VBIS_DISK_FULL : (rc == SQLITE_NOMEM ? VBIS_NO_MEMORY : VBIS_IO_ERROR);
    if (sqlite3_close(db) != SQLITE_OK && code == VBIS_OK)
        code = VBIS_IO_ERROR;
    return code;
}

} // namespace

int16_t TDataset::Create(const std::string &path, int keyLength, std::string_view format)
{
    if (keyLength < kMinKeyLength || keyLength > kMaxKeyLength)
        return VBIS_BAD_PARAMETER;
    std::optional<TRecordFormat> parsed = TRecordFormat::Parse(format);
    if (!parsed)
        return VBIS_BAD_FORMAT;
    TDefinition definition{keyLength, std::move(*parsed)};
    const std::string ism = path + ".ism";
    const std::string isd = path + ".isd";

    struct stat st;
    if (sys::Lstat(isd.c_str(), st) == 0)
        return VBIS_NAME_IN_USE;
    if (errno != ENOENT)
        return CodeOfErrno(errno);
    if (sys::Lstat(ism.c_str(), st) == 0)
        return VBIS_NAME_IN_USE;

    // Both files are made whole under names of their own first, so that
    // nobody ever opens half of either. Then the definition file is linked
    // into place, which fails when the name exists: of two workstations
    // creating the same dataset at once, one gets it and the other is
    // refused. The data file follows at once; an open that finds the
    // definition in the instant before waits for it (Open).
    static std::atomic<unsigned> serial{0};
    const std::string suffix = "-new-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    const std::string ismBuilding = ism + suffix;
    const std::string isdBuilding = isd + suffix;
    int16_t code = VBIS_OK;
    const int fd = sys::Open(ismBuilding.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return CodeOfErrno(errno);
    if (!WriteAll(fd, ComposeDefinition(keyLength, definition.Format)) || sys::Fsync(fd) != 0)
        code = CodeOfErrno(errno);
    if (sys::Close(fd) != 0 && code == VBIS_OK)
        code = CodeOfErrno(errno);
    if (code == VBIS_OK)
        code = BuildDataFile(isdBuilding, definition);
    if (code == VBIS_OK)
        code = ClaimName(ismBuilding, ism, ComposeDefinition(keyLength, definition.Format));
    if (code == VBIS_OK && sys::Rename(isdBuilding.c_str(), isd.c_str()) != 0) {
        code = CodeOfErrno(errno);
        sys::Unlink(ism.c_str());
    }
    sys::Unlink(ismBuilding.c_str());
    if (code != VBIS_OK) {
        sys::Unlink(isdBuilding.c_str());
        return code;
    }
    SyncFolder(FolderOf(path));
    return VBIS_OK;
}

int16_t TDataset::Open(const std::string &path, std::unique_ptr<TDataset> &out)
{
    std::string text;
    int16_t code = ReadDefinitionFile(path + ".ism", text);
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
    while (sys::Stat(isd.c_str(), st) != 0) {
        if (errno != ENOENT)
            return CodeOfErrno(errno);
        if (std::chrono::steady_clock::now() >= giveUp)
            return VBIS_CORRUPTED;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!S_ISREG(st.st_mode))
        return VBIS_CORRUPTED;
    const char *vfs = ChangeStampVfs();
    if (vfs == nullptr)
        return VBIS_IO_ERROR;

    sqlite3 *db = nullptr;
    // Read-write without create: a data file that vanished must not come back empty.
    const int rc = sqlite3_open_v2(isd.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, vfs);
    if (rc != SQLITE_OK) {
        code = db == nullptr ? VBIS_NO_MEMORY : VBIS_IO_ERROR;
        sqlite3_close_v2(db);
        return code;
    }
    std::unique_ptr<TDataset> dataset(new TDataset(db, std::move(*read.Definition)));
    code = dataset->CheckSchema();
    if (code != VBIS_OK)
        return code;
    out = std::move(dataset);
    return VBIS_OK;
}

TDataset::TDataset(sqlite3 *db, TDefinition definition)
    : FDb(db), FDefinition(std::move(definition)),
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

TDataset::~TDataset()
{
    for (sqlite3_stmt *s : FIndexStatements)
        sqlite3_finalize(s);
    for (sqlite3_stmt *s : FStatements)
        sqlite3_finalize(s);
    sqlite3_close_v2(FDb);
}

int16_t TDataset::CheckSchema()
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
    rc = sqlite3_exec(FDb, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return CodeOfSqlite(rc);

    sqlite3_stmt *s = nullptr;
    rc = sqlite3_prepare_v2(FDb, "SELECT key_length, format FROM vbis_dataset WHERE id = 1", -1, &s, nullptr);
    int16_t code = VBIS_OK;
    if (rc != SQLITE_OK) {
        code = CodeOfSqlite(rc);
    } else {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const auto *format = reinterpret_cast<const char *>(sqlite3_column_text(s, 1));
            // The data must be laid out as the definition says.
            if (sqlite3_column_int64(s, 0) != FDefinition.KeyLength || format == nullptr
                || FDefinition.Format.Text() != format)
                code = VBIS_CORRUPTED;
        } else {
            code = rc == SQLITE_DONE ? int16_t(VBIS_CORRUPTED) : CodeOfSqlite(rc);
        }
    }
    sqlite3_finalize(s);
    if (code != VBIS_OK)
        return code;

    std::string columns = "SELECT k, rec";
    for (std::size_t i = 0; i < FDefinition.Format.Fields().size(); ++i)
        if (FDefinition.Format.Fields()[i].Indexed)
            columns += ", x" + std::to_string(i + 1);
    columns += " FROM vbis_record LIMIT 0";
    s = nullptr;
    rc = sqlite3_prepare_v2(FDb, columns.c_str(), -1, &s, nullptr);
    sqlite3_finalize(s);
    return rc == SQLITE_OK ? int16_t(VBIS_OK) : CodeOfSqlite(rc);
}

int16_t TDataset::Prepare(const std::string &sql, sqlite3_stmt *&out)
{
    const int rc = sqlite3_prepare_v3(FDb, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &out, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(out);
        out = nullptr;
        return CodeOfSqlite(rc);
    }
    return VBIS_OK;
}

std::string TDataset::ValueColumn(int index) const
{
    return index == 0 ? "k" : "x" + std::to_string(index);
}

int16_t TDataset::IndexStatement(int index, TIndexQuery query, sqlite3_stmt *&out)
{
    sqlite3_stmt *&slot = FIndexStatements[std::size_t(index) * kIndexQueries + query];
    if (slot != nullptr) {
        out = slot;
        return VBIS_OK;
    }
    // ?1 is the index value, ?2 the record key; on index 0 the value is the key.
    const std::string v = ValueColumn(index);
    const std::string select = std::string("SELECT k, rec, ") + v + " FROM " + kRecordTable;
    const std::string up = index == 0 ? " ORDER BY k LIMIT 1" : " ORDER BY " + v + ", k LIMIT 1";
    const std::string down = index == 0 ? " ORDER BY k DESC LIMIT 1" : " ORDER BY " + v + " DESC, k DESC LIMIT 1";
    std::string sql;
    switch (query) {
    case QFirst:
        sql = select + up;
        break;
    case QLast:
        sql = select + down;
        break;
    // Row-value seeks from the remembered position: one index range search.
    case QNext:
        sql = select + (index == 0 ? " WHERE k > ?2" : " WHERE (" + v + ", k) > (?1, ?2)") + up;
        break;
    case QPrevious:
        sql = select + (index == 0 ? " WHERE k < ?2" : " WHERE (" + v + ", k) < (?1, ?2)") + down;
        break;
    case QEqual:
        sql = select + " WHERE " + v + " = ?1" + up;
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

int16_t TDataset::Statement(TQuery query, sqlite3_stmt *&out)
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
    case QDelete:
        sql = std::string("DELETE FROM ") + kRecordTable + " WHERE k = ?1";
        break;
    case QMaxKey:
        sql = std::string("SELECT k FROM ") + kRecordTable + " ORDER BY k DESC LIMIT 1";
        break;
    case QCount:
        sql = std::string("SELECT count(*) FROM ") + kRecordTable;
        break;
    case QBumpVersion:
        // Every write changes the file, even one that rewrites identical bytes.
        sql = "UPDATE vbis_dataset SET version = version + 1 WHERE id = 1";
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
    case kQueries:
        return VBIS_BAD_PARAMETER;
    }
    const int16_t code = Prepare(sql, slot);
    out = slot;
    return code;
}

void TDataset::BindValue(sqlite3_stmt *s, int column, const TIndexValue &value) const
{
    if (value.IsText)
        sqlite3_bind_blob(s, column, value.Text.data(), int(value.Text.size()), SQLITE_STATIC);
    else
        sqlite3_bind_int64(s, column, value.Integer);
}

int16_t TDataset::BindRecord(sqlite3_stmt *s, std::string_view key, const unsigned char *buffer) const
{
    const TRecordFormat &format = FDefinition.Format;
    sqlite3_bind_blob(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 2, buffer, int(format.RecordLength()), SQLITE_STATIC);
    int column = 3;
    for (const TField &field : format.Fields()) {
        if (!field.Indexed)
            continue;
        const TIndexValue value = FieldValue(field, buffer);
        const int rc = value.IsText
                           ? sqlite3_bind_blob(s, column, value.Text.data(), int(value.Text.size()), SQLITE_TRANSIENT)
                           : sqlite3_bind_int64(s, column, value.Integer);
        if (rc != SQLITE_OK)
            return CodeOfSqlite(rc);
        ++column;
    }
    return VBIS_OK;
}

int16_t TDataset::KeyValue(int index, std::string_view key, TIndexValue &value) const
{
    if (index == 0 || FDefinition.Format.FieldOfIndex(index).Kind == TFieldKind::Text) {
        value.IsText = true;
        value.Text.assign(key);
        return VBIS_OK;
    }
    // An integer index is looked up by the decimal text of the value.
    std::string_view digits = key;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative)
        digits.remove_prefix(1);
    if (!IsDecimal(digits) || digits.size() > 5)
        return VBIS_BAD_PARAMETER;
    long n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    if (negative)
        n = -n;
    if (n < INT16_MIN || n > INT16_MAX)
        return VBIS_BAD_PARAMETER;
    value.IsText = false;
    value.Integer = n;
    return VBIS_OK;
}

int16_t TDataset::StepRead(sqlite3_stmt *s, int index, bool keyOnly, std::string &foundKey, unsigned char *buffer)
{
    TReset reset(s);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE)
        return VBIS_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return CodeOfSqlite(rc);
    const auto *key = static_cast<const char *>(sqlite3_column_blob(s, 0));
    const int keyBytes = sqlite3_column_bytes(s, 0);
    if (key == nullptr || keyBytes <= 0)
        return VBIS_CORRUPTED;
    TPosition position;
    position.Index = index;
    position.Place = TPlace::OnRecord;
    position.Key.assign(key, std::size_t(keyBytes));
    if (index == 0) {
        position.Value.Text = position.Key;
    } else if (FDefinition.Format.FieldOfIndex(index).Kind == TFieldKind::Text) {
        const auto *text = static_cast<const char *>(sqlite3_column_blob(s, 2));
        position.Value.Text.assign(text == nullptr ? "" : text, std::size_t(sqlite3_column_bytes(s, 2)));
    } else {
        position.Value.IsText = false;
        position.Value.Integer = sqlite3_column_int64(s, 2);
    }
    if (!keyOnly) {
        const void *record = sqlite3_column_blob(s, 1);
        const std::size_t length = FDefinition.Format.RecordLength();
        if (record == nullptr || std::size_t(sqlite3_column_bytes(s, 1)) != length)
            return VBIS_CORRUPTED; // the buffer is left as it was
        std::memcpy(buffer, record, length);
    }
    foundKey = position.Key;
    FPosition = std::move(position);
    return VBIS_OK;
}

int16_t TDataset::Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer)
{
    if (!FDefinition.Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    sqlite3_stmt *s = nullptr;
    int16_t code;
    if (readMode == VBIS_READ_EQUAL) {
        TIndexValue value;
        if ((code = KeyValue(index, key, value)) != VBIS_OK || (code = IndexStatement(index, QEqual, s)) != VBIS_OK)
            return code;
        BindValue(s, 1, value);
        return StepRead(s, index, false, foundKey, buffer);
    }
    if (readMode != VBIS_READ_NEXT && readMode != VBIS_READ_PREVIOUS && readMode != VBIS_READ_PREVIOUS_KEY)
        return VBIS_BAD_PARAMETER;

    const bool forward = readMode == VBIS_READ_NEXT;
    if (FPosition.Place == TPlace::OnRecord && FPosition.Index != index) {
        // Going on along another index: from the current record's place in it.
        if ((code = IndexStatement(index, QValueOf, s)) != VBIS_OK)
            return code;
        TReset reset(s);
        sqlite3_bind_blob(s, 1, FPosition.Key.data(), int(FPosition.Key.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? int16_t(VBIS_NOT_FOUND) : CodeOfSqlite(rc);
        TIndexValue value;
        if (index == 0) {
            value.Text = FPosition.Key;
        } else if (FDefinition.Format.FieldOfIndex(index).Kind == TFieldKind::Text) {
            const auto *text = static_cast<const char *>(sqlite3_column_blob(s, 0));
            value.Text.assign(text == nullptr ? "" : text, std::size_t(sqlite3_column_bytes(s, 0)));
        } else {
            value.IsText = false;
            value.Integer = sqlite3_column_int64(s, 0);
        }
        FPosition.Index = index;
        FPosition.Value = std::move(value);
    }
    if (FPosition.Place == (forward ? TPlace::AfterLast : TPlace::BeforeFirst))
        return VBIS_NOT_FOUND;
    if (FPosition.Place == TPlace::OnRecord) {
        if ((code = IndexStatement(index, forward ? QNext : QPrevious, s)) != VBIS_OK)
            return code;
        if (index != 0)
            BindValue(s, 1, FPosition.Value);
        sqlite3_bind_blob(s, 2, FPosition.Key.data(), int(FPosition.Key.size()), SQLITE_STATIC);
    } else if ((code = IndexStatement(index, forward ? QFirst : QLast, s)) != VBIS_OK) {
        return code;
    }
    code = StepRead(s, index, readMode == VBIS_READ_PREVIOUS_KEY, foundKey, buffer);
    if (code == VBIS_NOT_FOUND) {
        // Past the end: a read the other way starts again from this end.
        PlaceAtEnd(index, forward ? TPlace::AfterLast : TPlace::BeforeFirst);
    }
    return code;
}

template <class TBody>
int16_t TDataset::WriteTransaction(TBody body)
{
    sqlite3_stmt *s = nullptr;
    int16_t code = Statement(QBegin, s);
    if (code != VBIS_OK)
        return code;
    {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return CodeOfSqlite(rc);
    }
    code = body();
    if (code == VBIS_OK && (code = Statement(QBumpVersion, s)) == VBIS_OK) {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            code = CodeOfSqlite(rc);
        else if (sqlite3_changes(FDb) != 1)
            code = VBIS_CORRUPTED; // the version row is gone
    }
    if (code == VBIS_OK && (code = Statement(QCommit, s)) == VBIS_OK) {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            return VBIS_OK;
        code = CodeOfSqlite(rc);
    }
    // A failed step or COMMIT may leave the transaction open: undo it, so the
    // handle holds no lock when the call returns.
    if (sqlite3_get_autocommit(FDb) == 0) {
        if (Statement(QRollback, s) == VBIS_OK) {
            TReset reset(s);
            sqlite3_step(s);
        }
        if (sqlite3_get_autocommit(FDb) == 0)
            sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return code;
}

int16_t TDataset::NextKey(std::string &key)
{
    sqlite3_stmt *s = nullptr;
    int16_t code = Statement(QMaxKey, s);
    if (code != VBIS_OK)
        return code;
    std::string digits = "0";
    {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const auto *last = static_cast<const char *>(sqlite3_column_blob(s, 0));
            digits.assign(last == nullptr ? "" : last, std::size_t(sqlite3_column_bytes(s, 0)));
        } else if (rc != SQLITE_DONE) {
            return CodeOfSqlite(rc);
        }
    }
    if (!IsDecimal(digits))
        return VBIS_ILLEGAL_KEY; // the highest key is no number to count on from
    // Decimal addition on the text: keys may be longer than any integer type.
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9')
        digits[--i] = '0';
    if (i == 0)
        digits.insert(digits.begin(), '1');
    else
        ++digits[i - 1];
    const std::size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() - 1 : first);
    const std::size_t width = std::size_t(FDefinition.KeyLength);
    if (digits.size() > width)
        return VBIS_ILLEGAL_KEY; // the key space is used up
    key = std::string(width - digits.size(), '0') + digits;
    return VBIS_OK;
}

int16_t TDataset::Add(std::string &key, const unsigned char *buffer)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    std::string filed = key;
    const int16_t code = WriteTransaction([&]() -> int16_t {
        // The new key is taken inside the write transaction, so two
        // workstations adding at once cannot pick the same one.
        int16_t c;
        if (filed.empty() && (c = NextKey(filed)) != VBIS_OK)
            return c;
        sqlite3_stmt *s = nullptr;
        if ((c = Statement(QInsert, s)) != VBIS_OK)
            return c;
        TReset reset(s);
        if ((c = BindRecord(s, filed, buffer)) != VBIS_OK)
            return c;
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE)
            return VBIS_OK;
        // A key that is already there: nothing is overwritten.
        return (rc & 0xff) == SQLITE_CONSTRAINT ? int16_t(VBIS_UPDATE_MODE) : CodeOfSqlite(rc);
    });
    if (code == VBIS_OK)
        key = std::move(filed);
    return code;
}

int16_t TDataset::Replace(std::string_view key, const unsigned char *buffer)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    return WriteTransaction([&]() -> int16_t {
        sqlite3_stmt *s = nullptr;
        int16_t c = Statement(QUpdate, s);
        if (c != VBIS_OK)
            return c;
        TReset reset(s);
        if ((c = BindRecord(s, key, buffer)) != VBIS_OK)
            return c;
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return CodeOfSqlite(rc);
        return sqlite3_changes(FDb) == 0 ? VBIS_NOT_FOUND : VBIS_OK;
    });
}

int16_t TDataset::Erase(std::string_view key)
{
    if (key.size() > std::size_t(FDefinition.KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    return WriteTransaction([&]() -> int16_t {
        sqlite3_stmt *s = nullptr;
        const int16_t c = Statement(QDelete, s);
        if (c != VBIS_OK)
            return c;
        TReset reset(s);
        sqlite3_bind_blob(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return CodeOfSqlite(rc);
        return sqlite3_changes(FDb) == 0 ? VBIS_NOT_FOUND : VBIS_OK;
    });
}

int16_t TDataset::PlaceAtEnd(int index, TPlace place)
{
    if (!FDefinition.Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    FPosition = TPosition{};
    FPosition.Index = index;
    FPosition.Place = place;
    return VBIS_OK;
}

int16_t TDataset::GotoTop(int index)
{
    return PlaceAtEnd(index, TPlace::BeforeFirst);
}

int16_t TDataset::GotoBottom(int index)
{
    return PlaceAtEnd(index, TPlace::AfterLast);
}

int16_t TDataset::Info(int32_t &recordCount, int16_t &keyLength)
{
    sqlite3_stmt *s = nullptr;
    const int16_t code = Statement(QCount, s);
    if (code != VBIS_OK)
        return code;
    TReset reset(s);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW)
        return CodeOfSqlite(rc);
    const sqlite3_int64 count = sqlite3_column_int64(s, 0);
    recordCount = count > INT32_MAX ? INT32_MAX : int32_t(count);
    keyLength = int16_t(FDefinition.KeyLength);
    return VBIS_OK;
}

} // namespace vbis
