// What a user waits for in messaging: the new-message check of every message
// timer tick, filling the in-box, and sending one message, with 1,000, 10,000
// and 100,000 messages in the dataset (a hundred recipients, so the reader
// owns one message in a hundred). Each runs beside raw SQLite doing the same
// reads and writes on the same data files: open the shared database as a
// careful multi-workstation client would, read or write, close; and beside
// the one statement over the reader's own messages. The ratios printed at the
// end are Kiv's time over the baseline's; the round trips are each one's
// file-system calls per operation.
#include "board/KivFile.h"
#include "board/KivMessage.h"
#include "board/KivText.h"
#include "board/MessageRecord.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include "bench/board/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <ftw.h>
#include <map>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace benchsupport;

constexpr int kRecipients = 100;
constexpr int kReader = 42;
constexpr std::time_t kSentAt = 1733650000;

/// An in-box that keeps its rows, as the list view would.
class TBenchInBox : public IInBox {
public:
    void BeginUpdate() override {}
    void EndUpdate() override {}
    void Clear() override { Rows.clear(); }
    void AddRow(const TInBoxRow &row) override { Rows.push_back(row); }
    void SetPanelText(int, const std::string &text) override { Panel = text; }
    void SetMessageText(const std::string &) override {}
    std::vector<TInBoxRow> Rows;
    std::string Panel;
};

std::string LoginOf(int n)
{
    char login[16];
    std::snprintf(login, sizeof login, "USER%04d", n);
    return login;
}

UserRecord::TBuffer UserOf(int n)
{
    UserRecord::TBuffer record{};
    TUser user = InitialUser(LoginOf(n), DateTimeText(kSentAt));
    user.Name = "Name of " + LoginOf(n);
    PutUserFields(record.data(), user);
    return record;
}

void Check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

/// Message number i of a board: to one of the hundred recipients in turn;
/// the reader's are all read, so every check walks all of them.
MessageRecord::TBuffer MessageOf(int i, std::string &toLogin, std::string &state)
{
    const int to = i % kRecipients;
    toLogin = LoginOf(to);
    state = to != kReader && i % 7 == 0 ? MessageRecord::New : MessageRecord::Old;
    MessageRecord::TBuffer record{};
    MessageRecord::PutText(record.data(), MessageRecord::SentAt, DateTimeText(kSentAt + i));
    MessageRecord::PutText(record.data(), MessageRecord::Subject, "Subject of message " + std::to_string(i));
    MessageRecord::PutText(record.data(), MessageRecord::State, state);
    MessageRecord::PutText(record.data(), MessageRecord::Body, std::string(120, 'b'));
    MessageRecord::PutText(record.data(), MessageRecord::ToName, "Name of " + toLogin);
    MessageRecord::PutText(record.data(), MessageRecord::FromName, "Name of " + LoginOf((i + 1) % kRecipients));
    MessageRecord::PutText(record.data(), MessageRecord::ToLogin, toLogin);
    MessageRecord::PutText(record.data(), MessageRecord::FromLogin, LoginOf((i + 1) % kRecipients));
    return record;
}

void BindBlob(sqlite3_stmt *s, int n, const void *data, std::size_t size)
{
    sqlite3_bind_blob(s, n, data, int(size), SQLITE_TRANSIENT);
}

/// A board folder with the hundred users and count messages, and a raw SQLite
/// database of both beside it, made once per size for the whole run.
class TBenchBoard {
public:
    explicit TBenchBoard(int count)
    {
        FillUsersDataset(Folder, kRecipients, UserOf);
        FillMessages(count);
    }
    TBenchFolder Own;
    std::string Folder = Own.Path;
    /// The data files the baselines work on: the engine's own.
    std::string BaselineUsers() const { return Folder + "/" + UserRecord::DatasetName + ".isd"; }
    std::string BaselineMessages() const { return Folder + "/" + MessageRecord::DatasetName + ".isd"; }

private:
    // Adding 100,000 records one committed add at a time would take the
    // setup minutes; the engine's own table is filled in one transaction
    // instead, and the engine then reads it back as a check.
    void FillMessages(int count)
    {
        TIsamFile isam;
        const std::string path = Folder + "/" + MessageRecord::DatasetName;
        if (!isam.CreateDataset(path, MessageRecord::KeyLength, MessageRecord::Format))
            throw std::runtime_error("cannot create the messages dataset: " + isam.ErrorText());
        sqlite3 *db = nullptr;
        Check(sqlite3_open_v2((path + ".isd").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
        Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
        sqlite3_stmt *insert = nullptr;
        Check(sqlite3_prepare_v2(db, "INSERT INTO vbis_record(k, rec, x4, x6, x8) VALUES(?, ?, ?, ?, ?)", -1, &insert,
                                 nullptr),
              db, "prepare");
        for (int i = 1; i <= count; ++i) {
            std::string toLogin;
            std::string state;
            const MessageRecord::TBuffer record = MessageOf(i, toLogin, state);
            const std::string key = RecordNumberText(i);
            const std::string toName = GetText(record.data(), MessageRecord::ToName);
            BindBlob(insert, 1, key.data(), key.size());
            BindBlob(insert, 2, record.data(), record.size());
            BindBlob(insert, 3, state.data(), state.size());
            BindBlob(insert, 4, toName.data(), toName.size());
            BindBlob(insert, 5, toLogin.data(), toLogin.size());
            Check(sqlite3_step(insert), db, "insert");
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
        sqlite3_close(db);

        MessageRecord::TBuffer record{};
        if (!isam.OpenDataset(path, MessageRecord::OpenMode, MessageRecord::Format)
            || !isam.ReadEqual(record.data(), MessageRecord::KeyIndex, RecordNumberText(count))
            || !isam.ReadEqual(record.data(), MessageRecord::ToLoginIndex, LoginOf(kReader)))
            throw std::runtime_error("the engine cannot read the filled dataset: " + isam.ErrorText());
        isam.CloseDataset();
    }
};

TBenchBoard &Board(int count)
{
    static std::map<int, std::unique_ptr<TBenchBoard>> boards;
    auto &board = boards[count];
    if (!board)
        board = std::make_unique<TBenchBoard>(count);
    return *board;
}

struct TWorkstation : TQuietWindows {
    TWorkstation(const std::string &folder, const std::string &login) : Kiv(folder, Ctx, login), Messages(Kiv) {}
    TKivFile Kiv;
    TKivMessage Messages;
};

std::string Column(sqlite3_stmt *s, int column, TField field)
{
    const auto *record = static_cast<const char *>(sqlite3_column_blob(s, column));
    return GetText(record, field);
}

/// How a baseline walks: one statement holding its read lock throughout,
/// or one seek per record as the engine does.
enum class TWalk { Scan, SeekEach };

/// The reader's messages, oldest first, handed to each with their keys.
template <typename Each>
void RawWalkOwn(sqlite3 *db, const std::string &login, TWalk walk, Each each)
{
    if (walk == TWalk::Scan) {
        sqlite3_stmt *select = nullptr;
        sqlite3_prepare_v2(db, "SELECT k, rec FROM vbis_record WHERE x8 = ? ORDER BY x8, k", -1, &select, nullptr);
        sqlite3_bind_blob(select, 1, login.data(), int(login.size()), SQLITE_STATIC);
        while (sqlite3_step(select) == SQLITE_ROW) {
            const std::string key(static_cast<const char *>(sqlite3_column_blob(select, 0)),
                                  std::size_t(sqlite3_column_bytes(select, 0)));
            if (!each(key, select))
                break;
        }
        sqlite3_finalize(select);
        return;
    }
    // One seek per record from the last one read, the statement reset after
    // each, so no lock is held between reads.
    sqlite3_stmt *next = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT k, rec, x8 FROM vbis_record WHERE (x8, k) > (?1, ?2)"
                       " ORDER BY x8, k LIMIT 1",
                       -1, &next, nullptr);
    std::string key;
    while (true) {
        sqlite3_bind_blob(next, 1, login.data(), int(login.size()), SQLITE_STATIC);
        sqlite3_bind_blob(next, 2, key.data(), int(key.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(next) != SQLITE_ROW
            || std::string_view(static_cast<const char *>(sqlite3_column_blob(next, 2)),
                                std::size_t(sqlite3_column_bytes(next, 2)))
                   != login)
            break;
        key.assign(static_cast<const char *>(sqlite3_column_blob(next, 0)), std::size_t(sqlite3_column_bytes(next, 0)));
        const bool more = each(key, next);
        sqlite3_reset(next);
        if (!more)
            break;
    }
    sqlite3_finalize(next);
}

void BM_Kiv_NewMessageWaiting(benchmark::State &state)
{
    TWorkstation ws(Board(int(state.range(0))).Folder, LoginOf(kReader));
    ws.Messages.NewMessageWaiting();
    TTripMeter meter;
    for (auto _ : state)
        benchmark::DoNotOptimize(ws.Messages.NewMessageWaiting());
    meter.Report(state);
}

void RawNewMessageWaiting(benchmark::State &state, TWalk walk)
{
    const TBenchBoard &board = Board(int(state.range(0)));
    const std::string login = LoginOf(kReader);
    TTripMeter meter;
    for (auto _ : state) {
        bool waiting = false;
        if (FileExists(board.BaselineMessages())) {
            sqlite3 *db = RawOpen(board.BaselineMessages());
            RawWalkOwn(db, login, walk, [&](const std::string &, sqlite3_stmt *s) {
                waiting = Column(s, 1, MessageRecord::State) == MessageRecord::New;
                return !waiting;
            });
            sqlite3_close(db);
        }
        benchmark::DoNotOptimize(waiting);
    }
    meter.Report(state);
}

void BM_Raw_NewMessageWaiting(benchmark::State &state)
{
    RawNewMessageWaiting(state, TWalk::SeekEach);
}
void BM_Scan_NewMessageWaiting(benchmark::State &state)
{
    RawNewMessageWaiting(state, TWalk::Scan);
}

void BM_Kiv_FillInBox(benchmark::State &state)
{
    TWorkstation ws(Board(int(state.range(0))).Folder, LoginOf(kReader));
    TBenchInBox inBox;
    ws.Messages.FillInBox(inBox);
    TTripMeter meter;
    for (auto _ : state) {
        ws.Messages.FillInBox(inBox);
        benchmark::DoNotOptimize(inBox.Rows.data());
    }
    meter.Report(state);
    state.counters["rows"] = double(inBox.Rows.size());
}

void RawFillInBox(benchmark::State &state, TWalk walk)
{
    const TBenchBoard &board = Board(int(state.range(0)));
    const std::string login = LoginOf(kReader);
    TBenchInBox inBox;
    TTripMeter meter;
    for (auto _ : state) {
        std::vector<TInBoxRow> rows;
        int counts[2] = {0, 0};
        sqlite3 *db = RawOpen(board.BaselineMessages());
        RawWalkOwn(db, login, walk, [&](const std::string &key, sqlite3_stmt *s) {
            TInBoxRow row;
            row.Caption = Column(s, 1, MessageRecord::FromName);
            row.SubItems[TInBoxRow::Subject] = Column(s, 1, MessageRecord::Subject);
            row.SubItems[TInBoxRow::Type] = Column(s, 1, MessageRecord::State);
            row.SubItems[TInBoxRow::PrimaryKey] = key;
            row.SubItems[TInBoxRow::Received] = Column(s, 1, MessageRecord::SentAt);
            rows.push_back(std::move(row));
            return true;
        });
        sqlite3_close(db);
        inBox.Clear();
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            ++counts[row->SubItems[TInBoxRow::Type] == MessageRecord::New ? 0 : 1];
            inBox.AddRow(*row);
        }
        inBox.SetPanelText(2, "Total messages = " + std::to_string(counts[0] + counts[1]));
        benchmark::DoNotOptimize(inBox.Rows.data());
    }
    meter.Report(state);
    state.counters["rows"] = double(inBox.Rows.size());
}

void BM_Kiv_SendUserMessage(benchmark::State &state)
{
    TWorkstation ws(Board(int(state.range(0))).Folder, LoginOf(1));
    const std::string to = LoginOf(kRecipients - 1);
    ws.Messages.SendUserMessage(to, ws.Kiv.LoginUser.LogInName, "A subject", std::string(120, 'b'));
    TTripMeter meter;
    for (auto _ : state)
        ws.Messages.SendUserMessage(to, ws.Kiv.LoginUser.LogInName, "A subject", std::string(120, 'b'));
    meter.Report(state);
}

/// Finds login's record in the raw users database; false when it is not there.
bool RawFindUser(sqlite3 *users, const std::string &login, UserRecord::TBuffer &record)
{
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(users, "SELECT rec FROM vbis_record WHERE x7 = ? ORDER BY x7, k LIMIT 1", -1, &select, nullptr);
    sqlite3_bind_blob(select, 1, login.data(), int(login.size()), SQLITE_STATIC);
    const bool found = sqlite3_step(select) == SQLITE_ROW;
    if (found)
        std::memcpy(record.data(), sqlite3_column_blob(select, 0), record.size());
    sqlite3_finalize(select);
    return found;
}

void BM_Raw_SendUserMessage(benchmark::State &state)
{
    const TBenchBoard &board = Board(int(state.range(0)));
    const std::string from = LoginOf(1);
    const std::string to = LoginOf(kRecipients - 1);
    TTripMeter meter;
    for (auto _ : state) {
        sqlite3 *db = RawOpen(board.BaselineMessages());
        sqlite3 *users = RawOpen(board.BaselineUsers());
        UserRecord::TBuffer recipient{};
        UserRecord::TBuffer sender{};
        if (!RawFindUser(users, to, recipient) || !RawFindUser(users, from, sender))
            state.SkipWithError("user not found");
        MessageRecord::TBuffer record{};
        MessageRecord::PutText(record.data(), MessageRecord::SentAt, MessageNowText(TSystemClock::Instance()));
        MessageRecord::PutText(record.data(), MessageRecord::Subject, "A subject");
        MessageRecord::PutText(record.data(), MessageRecord::State, MessageRecord::New);
        MessageRecord::PutText(record.data(), MessageRecord::Body, std::string(120, 'b'));
        MessageRecord::PutText(record.data(), MessageRecord::ToName, GetText(recipient.data(), UserRecord::Name));
        MessageRecord::PutText(record.data(), MessageRecord::FromName, GetText(sender.data(), UserRecord::Name));
        MessageRecord::PutText(record.data(), MessageRecord::ToLogin, to);
        MessageRecord::PutText(record.data(), MessageRecord::FromLogin, from);
        sqlite3_close(users);

        // The next key, and the add, in one write transaction.
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt *last = nullptr;
        sqlite3_prepare_v2(db, "SELECT k FROM vbis_record ORDER BY k DESC LIMIT 1", -1, &last, nullptr);
        long next = 1;
        if (sqlite3_step(last) == SQLITE_ROW)
            next = std::strtol(static_cast<const char *>(sqlite3_column_blob(last, 0)), nullptr, 10) + 1;
        sqlite3_finalize(last);
        const std::string key = RecordNumberText(int32_t(next));
        const std::string toName = GetText(record.data(), MessageRecord::ToName);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO vbis_record(k, rec, x4, x6, x8) VALUES(?, ?, ?, ?, ?)", -1, &insert,
                           nullptr);
        BindBlob(insert, 1, key.data(), key.size());
        BindBlob(insert, 2, record.data(), record.size());
        BindBlob(insert, 3, MessageRecord::New, 3);
        BindBlob(insert, 4, toName.data(), toName.size());
        BindBlob(insert, 5, to.data(), to.size());
        if (sqlite3_step(insert) != SQLITE_DONE)
            state.SkipWithError("insert failed");
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    meter.Report(state);
}

void BM_Raw_FillInBox(benchmark::State &state)
{
    RawFillInBox(state, TWalk::SeekEach);
}
void BM_Scan_FillInBox(benchmark::State &state)
{
    RawFillInBox(state, TWalk::Scan);
}

BENCHMARK(BM_Kiv_NewMessageWaiting)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Raw_NewMessageWaiting)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scan_NewMessageWaiting)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kiv_FillInBox)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Raw_FillInBox)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Scan_FillInBox)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Kiv_SendUserMessage)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Raw_SendUserMessage)->Arg(100000)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return benchsupport::RunWithRatios(argc, argv);
}
