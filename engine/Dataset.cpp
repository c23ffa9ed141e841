#include "engine/Dataset.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ChangeStamp.h"
#include "engine/Codes.h"
#include "engine/FileCalls.h"
#include "vbis/Vbis4032.h"

namespace vbis {

namespace {

// The page size of new data files.
constexpr int kPageSize = 16384;
// A walk from either end of an index usually reads it all (the board, a
// catalogue), and one that goes on from a record found by its value usually
// reads the records of that value (a user's messages): their first batch is
// large. A walk that goes on from anywhere else starts small. Each next
// batch is larger, up to what fits in kMostAheadBytes.
constexpr std::size_t kFirstAheadLarge = 256;
constexpr std::size_t kFirstAhead = 32;
constexpr std::size_t kAheadGrowth = 8;
constexpr std::size_t kMostAheadBytes = 4u << 20;

// Every write of the process, through any handle: a batch read before the
// last of them is not served any more, so that a process sees its own writes
// at its next read.
std::atomic<uint64_t> gWrites{0};

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

// The engine is a product of its own and links nothing of the program's
// layers, so the few file helpers it needs (a write loop and a folder flush
// here, the folder of a path in FileCalls) are its own.

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

// This machine's name as it goes into the names of files being built: the
// folder is shared between machines, and a process number means something
// only on its own machine.
std::string HostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == 0)
        return "host";
    std::string host;
    for (const char *c = name; *c != 0; ++c)
        host += (std::isalnum(static_cast<unsigned char>(*c)) || *c == '.' || *c == '_') ? *c : '_';
    return host;
}

// The suffix of the files a create builds before it puts them in place:
// "-new-<process>-<host>-<serial>".
std::string BuildingSuffix()
{
    static std::atomic<unsigned> serial{0};
    static const std::string host = HostName();
    return "-new-" + std::to_string(::getpid()) + "-" + host + "-" + std::to_string(++serial);
}

// True when name (a file in the folder) was being built for the dataset
// file base ("KivDB31.ism") by a process of this machine that is gone: a
// create that was killed before it could clean up.
bool IsLeftOver(const std::string &name, const std::string &base, const std::string &host)
{
    const std::string prefix = base + "-new-";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string rest = name.substr(prefix.size());
    const std::size_t dash = rest.find('-');
    const std::size_t last = rest.rfind('-');
    if (dash == std::string::npos || last == dash || !IsDecimalText(rest.substr(0, dash))
        || !IsDecimalText(rest.substr(last + 1)) || rest.substr(dash + 1, last - dash - 1) != host || dash > 9)
        return false;
    const long pid = std::stol(rest.substr(0, dash));
    if (pid <= 0 || pid == long(::getpid()))
        return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Removes what creates of the dataset at path left behind when they were
// killed: files being built by processes of this machine that are gone.
// Files of other machines, and of processes still running, stay.
void RemoveLeftOvers(const std::string &path)
{
    const std::string folder = FolderOf(path);
    const std::size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    Count(TCall::Open);
    static const std::string host = HostName();
    std::vector<std::string> gone;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (IsLeftOver(name, base + ".ism", host) || IsLeftOver(name, base + ".isd", host))
            gone.push_back(name);
    }
    Count(TCall::Read);
    ::closedir(dir);
    Count(TCall::Close);
    for (const std::string &name : gone)
        sys::Unlink((folder + "/" + name).c_str());
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
    const int fd = sys::Open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
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
    const int fd = sys::Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
    if (fd < 0)
        return CodeOfErrno(errno);
    sys::Close(fd);

    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return VBIS_IO_ERROR;
    }
    std::string sql = std::string("PRAGMA journal_mode=OFF;" // nobody else sees the file until it is complete
                                  "PRAGMA synchronous=FULL;")
                      // Pages of 16 KiB hold 35 users records (429 bytes) or 22
                      // messages (676 bytes) with little left over, so a walk
                      // reads a quarter of the pages it would at SQLite's 4 KiB;
                      // and a record's table holds whole records in its inner
                      // pages too, which then number a quarter as well.
                      // Datasets made before keep the page size they have.
                      + "PRAGMA page_size=" + std::to_string(kPageSize)
                      + ";"
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
    RemoveLeftOvers(path);

    // Both files are made whole under names of their own first, so that
    // nobody ever opens half of either. Then the definition file is linked
    // into place, which fails when the name exists: of two workstations
    // creating the same dataset at once, one gets it and the other is
    // refused. The data file follows at once; an open that finds the
    // definition in the instant before waits for it.
    const std::string suffix = BuildingSuffix();
    const std::string ismBuilding = ism + suffix;
    const std::string isdBuilding = isd + suffix;
    int16_t code = VBIS_OK;
    const int fd =
        sys::Open(ismBuilding.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
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
    std::unique_ptr<TConnection> connection;
    const int16_t code = TConnection::Take(path, connection);
    if (code != VBIS_OK)
        return code;
    out.reset(new TDataset(std::move(connection)));
    return VBIS_OK;
}

TDataset::TDataset(std::unique_ptr<TConnection> connection) : FConnection(std::move(connection)) {}

TDataset::~TDataset()
{
    TConnection::Give(std::move(FConnection));
}

int16_t TDataset::Noted(int16_t code)
{
    // A connection that met damage or a failing file is not kept: the next
    // open starts afresh.
    if (code == VBIS_CORRUPTED || code == VBIS_IO_ERROR || code == VBIS_NOT_ISAM || code == VBIS_DISK_FULL
        || code == VBIS_NO_MEMORY)
        FConnection->MarkUnsound();
    return code;
}

int16_t TDataset::BindRecord(sqlite3_stmt *s, std::string_view key, const unsigned char *buffer) const
{
    const TRecordFormat &format = Definition().Format;
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

static void BindValue(sqlite3_stmt *s, int column, const TIndexValue &value)
{
    if (value.IsText)
        sqlite3_bind_blob(s, column, value.Text.data(), int(value.Text.size()), SQLITE_STATIC);
    else
        sqlite3_bind_int64(s, column, value.Integer);
}

int16_t TDataset::KeyValue(int index, std::string_view key, TIndexValue &value) const
{
    return KeyValueOf(Definition().Format, index, key, value) ? int16_t(VBIS_OK) : int16_t(VBIS_BAD_PARAMETER);
}

namespace {

// The index value of column in the row a statement stands on.
TIndexValue ValueAt(sqlite3_stmt *s, int column, bool isText)
{
    TIndexValue value;
    value.IsText = isText;
    if (isText) {
        const auto *text = static_cast<const char *>(sqlite3_column_blob(s, column));
        value.Text.assign(text == nullptr ? "" : text, std::size_t(sqlite3_column_bytes(s, column)));
    } else {
        value.Integer = sqlite3_column_int64(s, column);
    }
    return value;
}

} // namespace

namespace {

bool SameValue(const TIndexValue &a, const TIndexValue &b)
{
    return a.IsText == b.IsText && (a.IsText ? a.Text == b.Text : a.Integer == b.Integer);
}

} // namespace

int16_t TDataset::ReadAhead(int index, bool forward, std::size_t count, const TIndexValue *run)
{
    sqlite3_stmt *s = nullptr;
    int16_t code;
    const bool onRecord = FPosition.Place == TPlace::OnRecord;
    const auto query = onRecord ? (forward ? TConnection::QNext : TConnection::QPrevious)
                                : (forward ? TConnection::QFirst : TConnection::QLast);
    if ((code = FConnection->IndexStatement(index, query, s)) != VBIS_OK)
        return code;
    TReset reset(s);
    if (onRecord) {
        if (index != 0)
            BindValue(s, 1, FPosition.Value);
        sqlite3_bind_blob(s, 2, FPosition.Key.data(), int(FPosition.Key.size()), SQLITE_STATIC);
    }
    sqlite3_bind_int64(s, 3, sqlite3_int64(count));

    const bool textValue = index == 0 || Definition().Format.FieldOfIndex(index).Kind == TFieldKind::Text;
    // A damaged file may hold rows of any size. A batch keeps only what a
    // sound row can hold, so that its memory stays what its records' format
    // allows; a row beyond that is answered as corrupted when it is reached.
    const std::size_t keyLength = std::size_t(Definition().KeyLength);
    const std::size_t recordLength = Definition().Format.RecordLength();
    const std::size_t valueWidth = index == 0 ? keyLength : Definition().Format.FieldOfIndex(index).Width;
    std::vector<TAhead> records;
    records.reserve(std::min<std::size_t>(count, 1024));
    bool stopped = false;
    // One statement, and so one read transaction, for the whole batch.
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        TAhead ahead;
        const auto *key = static_cast<const char *>(sqlite3_column_blob(s, 0));
        const auto keyBytes = std::size_t(sqlite3_column_bytes(s, 0));
        const auto *record = static_cast<const char *>(sqlite3_column_blob(s, 1));
        const auto recordBytes = std::size_t(sqlite3_column_bytes(s, 1));
        const bool valueFits = index == 0 || !textValue || std::size_t(sqlite3_column_bytes(s, 2)) <= valueWidth;
        if (keyBytes <= keyLength && valueFits) {
            ahead.Key.assign(key == nullptr ? "" : key, keyBytes);
            ahead.Value = index == 0 ? TIndexValue{true, ahead.Key, 0} : ValueAt(s, 2, textValue);
        }
        ahead.WholeRecord = recordBytes == recordLength;
        if (ahead.WholeRecord)
            ahead.Record.assign(record == nullptr ? "" : record, recordBytes);
        const bool runEnds = run != nullptr && !SameValue(ahead.Value, *run);
        records.push_back(std::move(ahead));
        // A walk through the records of one value reads one record past them
        // and no more: whoever walks them usually stops there.
        if (runEnds) {
            rc = SQLITE_DONE;
            stopped = true;
            break;
        }
    }
    if (rc != SQLITE_DONE)
        return CodeOfSqlite(rc);
    FBatch.Active = true;
    FBatch.Index = index;
    FBatch.Forward = forward;
    FBatch.Writes = gWrites.load();
    FBatch.Records = std::move(records);
    FBatch.Next = 0;
    FBatch.Last = !stopped && FBatch.Records.size() < count;
    FBatch.Size = count;
    return VBIS_OK;
}

int16_t TDataset::Hand(int index, std::string &foundKey, unsigned char *buffer, bool keyOnly)
{
    const TAhead &ahead = FBatch.Records[FBatch.Next];
    if (ahead.Key.empty())
        return VBIS_CORRUPTED;
    if (!keyOnly) {
        if (!ahead.WholeRecord)
            return VBIS_CORRUPTED; // the buffer is left as it was, and so is the position
        std::memcpy(buffer, ahead.Record.data(), ahead.Record.size());
    }
    FPosition.Index = index;
    FPosition.Place = TPlace::OnRecord;
    FPosition.Key = ahead.Key;
    FPosition.Value = ahead.Value;
    if (FEqualRun && !SameValue(ahead.Value, FRunValue))
        FEqualRun = false;
    foundKey = ahead.Key;
    ++FBatch.Next;
    return VBIS_OK;
}

int16_t TDataset::ReadEqual(int index, std::string_view key, std::string &foundKey, unsigned char *buffer)
{
    TIndexValue value;
    sqlite3_stmt *s = nullptr;
    int16_t code;
    if ((code = KeyValue(index, key, value)) != VBIS_OK
        || (code = FConnection->IndexStatement(index, TConnection::QEqual, s)) != VBIS_OK)
        return code;
    TReset reset(s);
    BindValue(s, 1, value);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE)
        return VBIS_NOT_FOUND;
    if (rc != SQLITE_ROW)
        return CodeOfSqlite(rc);
    const auto *found = static_cast<const char *>(sqlite3_column_blob(s, 0));
    const int foundBytes = sqlite3_column_bytes(s, 0);
    if (found == nullptr || foundBytes <= 0)
        return VBIS_CORRUPTED;
    const void *record = sqlite3_column_blob(s, 1);
    const std::size_t length = Definition().Format.RecordLength();
    if (record == nullptr || std::size_t(sqlite3_column_bytes(s, 1)) != length)
        return VBIS_CORRUPTED; // the buffer is left as it was
    std::memcpy(buffer, record, length);
    FPosition.Index = index;
    FPosition.Place = TPlace::OnRecord;
    FPosition.Key.assign(found, std::size_t(foundBytes));
    FPosition.Value = index == 0 ? TIndexValue{true, FPosition.Key, 0}
                                 : ValueAt(s, 2, Definition().Format.FieldOfIndex(index).Kind == TFieldKind::Text);
    FEqualRun = true;
    FRunValue = FPosition.Value;
    foundKey = FPosition.Key;
    return VBIS_OK;
}

int16_t TDataset::Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer)
{
    if (!Definition().Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    if (readMode == VBIS_READ_EQUAL) {
        FBatch.Active = false;
        FEqualRun = false;
        return Noted(ReadEqual(index, key, foundKey, buffer));
    }
    if (readMode != VBIS_READ_NEXT && readMode != VBIS_READ_PREVIOUS && readMode != VBIS_READ_PREVIOUS_KEY)
        return VBIS_BAD_PARAMETER;

    const bool forward = readMode == VBIS_READ_NEXT;
    const bool keyOnly = readMode == VBIS_READ_PREVIOUS_KEY;
    int16_t code;
    if (FPosition.Place == TPlace::OnRecord && FPosition.Index != index) {
        // Going on along another index: from the current record's place in it.
        FBatch.Active = false;
        FEqualRun = false;
        sqlite3_stmt *s = nullptr;
        if ((code = FConnection->IndexStatement(index, TConnection::QValueOf, s)) != VBIS_OK)
            return code;
        TReset reset(s);
        sqlite3_bind_blob(s, 1, FPosition.Key.data(), int(FPosition.Key.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW)
            return rc == SQLITE_DONE ? int16_t(VBIS_NOT_FOUND) : Noted(CodeOfSqlite(rc));
        FPosition.Value = index == 0 ? TIndexValue{true, FPosition.Key, 0}
                                     : ValueAt(s, 0, Definition().Format.FieldOfIndex(index).Kind == TFieldKind::Text);
        FPosition.Index = index;
    }
    if (FPosition.Place == (forward ? TPlace::AfterLast : TPlace::BeforeFirst))
        return VBIS_NOT_FOUND;

    // The batch goes on serving only the walk it was read for, and only
    // while the process wrote nothing since.
    const bool going = FBatch.Active && FBatch.Index == index && FBatch.Forward == forward
                       && FBatch.Writes == gWrites.load() && !keyOnly;
    if (going && FBatch.Next < FBatch.Records.size())
        return Noted(Hand(index, foundKey, buffer, keyOnly));
    if (!going || !FBatch.Last) {
        // A key-only read looks for one key (the last, for a new key): it
        // reads that alone.
        const std::size_t most =
            std::max(kFirstAhead, kMostAheadBytes / std::max<std::size_t>(1, Definition().Format.RecordLength()));
        const bool run = FEqualRun && FPosition.Place == TPlace::OnRecord && FPosition.Index == index;
        std::size_t count = FPosition.Place == TPlace::OnRecord && !run ? kFirstAhead : kFirstAheadLarge;
        if (keyOnly)
            count = 1;
        else if (going)
            count = FBatch.Size * kAheadGrowth;
        count = std::min(count, most);
        FBatch.Active = false;
        if ((code = ReadAhead(index, forward, count, run ? &FRunValue : nullptr)) != VBIS_OK)
            return Noted(code);
        if (!FBatch.Records.empty()) {
            code = Hand(index, foundKey, buffer, keyOnly);
            if (keyOnly)
                FBatch.Active = false;
            return Noted(code);
        }
    }
    // Past the end: a read the other way starts again from this end.
    FBatch.Active = false;
    PlaceAtEnd(index, forward ? TPlace::AfterLast : TPlace::BeforeFirst);
    return VBIS_NOT_FOUND;
}

template <class TBody>
int16_t TDataset::WriteTransaction(int countChange, TBody body)
{
    // Whatever comes of it, no batch read before it is served afterwards.
    FBatch.Active = false;
    struct TCountWrite {
        ~TCountWrite() { gWrites.fetch_add(1); }
    } counted;
    sqlite3_stmt *s = nullptr;
    int16_t code = FConnection->Statement(TConnection::QBegin, s);
    if (code != VBIS_OK)
        return code;
    {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return Noted(CodeOfSqlite(rc));
    }
    code = body();
    if (code == VBIS_OK)
        code = BumpVersion();
    if (code == VBIS_OK && (code = FConnection->Statement(TConnection::QCommit, s)) == VBIS_OK) {
        struct stat started;
        const bool sawStart = sqlite3_file_control(FConnection->Db(), "main", kReadingControl, &started) == SQLITE_OK;
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) {
            FConnection->NoteWrite(countChange, sawStart ? &started : nullptr);
            return VBIS_OK;
        }
        code = CodeOfSqlite(rc);
    }
    // A failed step or COMMIT may leave the transaction open: undo it, so the
    // handle holds no lock when the call returns.
    sqlite3 *db = FConnection->Db();
    if (sqlite3_get_autocommit(db) == 0) {
        if (FConnection->Statement(TConnection::QRollback, s) == VBIS_OK) {
            TReset reset(s);
            sqlite3_step(s);
        }
        if (sqlite3_get_autocommit(db) == 0)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return Noted(code);
}

int16_t TDataset::BumpVersion()
{
    // Every write changes the file, even one that rewrites identical bytes:
    // the version number in the database header is counted on, on the page
    // every commit writes anyway.
    sqlite3_stmt *s = nullptr;
    int16_t code = FConnection->Statement(TConnection::QVersion, s);
    if (code != VBIS_OK)
        return code;
    int64_t version = 0;
    {
        TReset reset(s);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW)
            return CodeOfSqlite(rc);
        version = sqlite3_column_int64(s, 0);
    }
    const std::string bump = "PRAGMA user_version=" + std::to_string((version + 1) & 0x7fffffff);
    const int rc = sqlite3_exec(FConnection->Db(), bump.c_str(), nullptr, nullptr, nullptr);
    return rc == SQLITE_OK ? int16_t(VBIS_OK) : CodeOfSqlite(rc);
}

int16_t TDataset::NextKey(std::string &key)
{
    sqlite3_stmt *s = nullptr;
    int16_t code = FConnection->Statement(TConnection::QMaxKey, s);
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
    // The highest key is no number to count on from, or the key space is used up.
    if (!NextRecordKey(digits, Definition().KeyLength, key))
        return VBIS_ILLEGAL_KEY;
    return VBIS_OK;
}

int16_t TDataset::Add(std::string &key, const unsigned char *buffer)
{
    if (key.size() > std::size_t(Definition().KeyLength))
        return VBIS_BAD_PARAMETER;
    std::string filed = key;
    const int16_t code = WriteTransaction(+1, [&]() -> int16_t {
        // The new key is taken inside the write transaction, so two
        // workstations adding at once cannot pick the same one.
        int16_t c;
        if (filed.empty() && (c = NextKey(filed)) != VBIS_OK)
            return c;
        sqlite3_stmt *s = nullptr;
        if ((c = FConnection->Statement(TConnection::QInsert, s)) != VBIS_OK)
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
    if (key.size() > std::size_t(Definition().KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    return WriteTransaction(0, [&]() -> int16_t {
        // First as a record whose indexed fields stay; when nothing matched,
        // a record whose indexes move, or none under the key.
        for (const auto query : {TConnection::QUpdateRecord, TConnection::QUpdate}) {
            sqlite3_stmt *s = nullptr;
            int16_t c = FConnection->Statement(query, s);
            if (c != VBIS_OK)
                return c;
            TReset reset(s);
            if ((c = BindRecord(s, key, buffer)) != VBIS_OK)
                return c;
            const int rc = sqlite3_step(s);
            if (rc != SQLITE_DONE)
                return CodeOfSqlite(rc);
            if (sqlite3_changes(FConnection->Db()) != 0)
                return VBIS_OK;
        }
        return VBIS_NOT_FOUND;
    });
}

int16_t TDataset::Erase(std::string_view key)
{
    if (key.size() > std::size_t(Definition().KeyLength))
        return VBIS_BAD_PARAMETER;
    if (key.empty())
        return VBIS_NOT_FOUND;
    return WriteTransaction(-1, [&]() -> int16_t {
        sqlite3_stmt *s = nullptr;
        const int16_t c = FConnection->Statement(TConnection::QDelete, s);
        if (c != VBIS_OK)
            return c;
        TReset reset(s);
        sqlite3_bind_blob(s, 1, key.data(), int(key.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE)
            return CodeOfSqlite(rc);
        return sqlite3_changes(FConnection->Db()) == 0 ? VBIS_NOT_FOUND : VBIS_OK;
    });
}

int16_t TDataset::PlaceAtEnd(int index, TPlace place)
{
    if (!Definition().Format.IsIndex(index))
        return VBIS_BAD_PARAMETER;
    FBatch.Active = false;
    FEqualRun = false;
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
    keyLength = int16_t(Definition().KeyLength);
    // A caller asks at once after each open, to learn the layout; a file
    // that nobody wrote since the connection last counted it is not read.
    if (FConnection->CountStillTrue(recordCount))
        return VBIS_OK;
    sqlite3_stmt *s = nullptr;
    const int16_t code = FConnection->Statement(TConnection::QCount, s);
    if (code != VBIS_OK)
        return code;
    TReset reset(s);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW)
        return Noted(CodeOfSqlite(rc));
    const sqlite3_int64 count = sqlite3_column_int64(s, 0);
    recordCount = count > INT32_MAX ? INT32_MAX : int32_t(count);
    FConnection->NoteCount(recordCount); // while the read transaction still runs
    return VBIS_OK;
}

} // namespace vbis
