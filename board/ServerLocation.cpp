// A board on a PostgreSQL server: a dataset is named by the URI, '#' and
// the dataset's name; the board-wide switches, the logs and the shutdown
// flag are tables (board/ServerBoard.h), and a change is a counter that
// every write moves on, announced by a notification in the same transaction.
#include "board/BoardLocation.h"

#include "board/KivDepartment.h"
#include "board/KivText.h"
#include "board/MessageRecord.h"
#include "board/ServerBoard.h"
#include "board/ServerConnection.h"
#include "board/UserRecord.h"

#include <array>
#include <cstring>
#include <map>
#include <utility>

namespace {

/// The rows of a log read in one statement.
constexpr int kLogPage = 1000;

std::string Hex(const unsigned char *bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text = "\\x";
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

/// The bytes of a bytea's hex text ("\x0a1b..."); false when it is not one.
bool FromHex(const std::string &text, unsigned char *bytes, std::size_t count)
{
    if (text.size() != 2 + 2 * count || text.compare(0, 2, "\\x") != 0)
        return false;
    const auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(digit(text[2 + 2 * i]) * 16 + digit(text[3 + 2 * i]));
    return true;
}

/// A switch as the row holds it (0 to 255) in the record's byte.
uint8_t ByteOf(const std::string &text)
{
    return static_cast<uint8_t>(std::stoi(text));
}

class TServerChangeWatcher final : public IChangeWatcher {
public:
    explicit TServerChangeWatcher(const std::string &uri)
        : FConnection(uri, [](TServerConnection &connection) {
              RequireServerBoard(connection);
              connection.Run(std::string("LISTEN ") + ServerBoard::Channel);
          })
    {
    }

    TBoardChanges Look(unsigned what) override
    {
        TBoardChanges answer;
        std::map<std::string, long long> counters;
        bool shuttingDown = false;
        try {
            // News of what this look does not ask about is kept for the look
            // that does (the other timer's).
            for (const std::string &name : FConnection.TakeNotifications())
                if (!Asks(what, name))
                    FPushedMeanwhile = true;
            // One statement for every counter and the flag.
            const TServerRows rows =
                FConnection.Run("SELECT dataset, counter, false FROM kiv.changes"
                                " WHERE dataset IN ($1, $2, $3, $4)"
                                " UNION ALL SELECT '', 0, true FROM kiv.shutdown",
                                {FWatched[0].Name, FWatched[1].Name, FWatched[2].Name, FWatched[3].Name});
            for (int row = 0; row < rows.Count(); ++row) {
                if (rows.Text(row, 2) == "t")
                    shuttingDown = true;
                else
                    counters[rows.Text(row, 0)] = std::stoll(rows.Text(row, 1));
            }
            // News that came while the statement ran may be of a write its
            // snapshot did not see; libpq has read it off the socket, so the
            // socket will not wake anyone for it: it is kept for TakePushed.
            FPushedMeanwhile = !FConnection.TakeNotifications().empty() || FPushedMeanwhile;
        } catch (const EKivError &error) {
            // Whatever was seen is asked again once the server is back, so
            // that the front end reads everything afresh and says so.
            for (TWatched &watched : FWatched)
                watched.Seen = false;
            if ((what & BoardChange::Users) != 0) {
                answer.Unreachable = true;
                answer.Fault = error.what();
            }
            return answer;
        }
        if ((what & BoardChange::Shutdown) != 0 && shuttingDown) {
            answer.Changed |= BoardChange::Shutdown;
            return answer;
        }
        for (TWatched &watched : FWatched) {
            if ((what & watched.Bit) == 0)
                continue;
            const auto found = counters.find(watched.Name);
            const long long counter = found == counters.end() ? 0 : found->second;
            if (!watched.Seen || counter != watched.Counter)
                answer.Changed |= watched.Bit;
            watched.Counter = counter;
            watched.Seen = true;
        }
        return answer;
    }

    void Settle(unsigned what) override
    {
        // The counters as they stand now are taken as seen; the answer is not
        // wanted.
        Look(what & ~BoardChange::Shutdown);
    }

    void Forget(unsigned what) override
    {
        for (TWatched &watched : FWatched)
            if ((what & watched.Bit) != 0)
                watched.Seen = false;
    }

    // The connection is made again by the next look, never here: a front
    // end asks this after each look and must not wait twice.
    int PushSocket() override { return FConnection.Socket(); }

    bool TakePushed() override
    {
        const bool meanwhile = std::exchange(FPushedMeanwhile, false);
        return !FConnection.TakeNotifications().empty() || meanwhile;
    }

private:
    struct TWatched {
        unsigned Bit;
        std::string Name;
        long long Counter = 0;
        bool Seen = false;
    };

    bool Asks(unsigned what, const std::string &name) const
    {
        for (const TWatched &watched : FWatched)
            if (watched.Name == name)
                return (what & watched.Bit) != 0;
        return name != ServerBoard::ShutdownName || (what & BoardChange::Shutdown) != 0;
    }

    TServerConnection FConnection;
    bool FPushedMeanwhile = false;
    std::array<TWatched, 4> FWatched{{
        {BoardChange::Users, UserRecord::DatasetName},
        {BoardChange::Messages, MessageRecord::DatasetName},
        {BoardChange::Config, ServerBoard::ConfigName},
        {BoardChange::Departments, DepartmentRecord::DatasetName},
    }};
};

class TServerLocation final : public IBoardLocation {
public:
    explicit TServerLocation(const std::string &uri)
        : FText(uri), FConnection(uri, [](TServerConnection &connection) { RequireServerBoard(connection); })
    {
    }

    const std::string &Text() const override { return FText; }
    std::string DatasetPath(const std::string &name) const override { return BoardDatasetPath(FText, name); }
    bool Reachable() const override { return true; }

    bool DatasetExists(const std::string &name) override
    {
        // The engine counts a dataset from its making on.
        return FConnection.Run("SELECT 1 FROM kiv.changes WHERE dataset = $1", {name}).Count() != 0;
    }
    bool DatasetDefined(const std::string &name) override { return DatasetExists(name); }

    TKivCfgRead ReadConfig(TKivCfgRecord &record) override
    {
        record = TKivCfgRecord();
        const TServerRows rows = FConnection.Run("SELECT logging_type, allow_messages, reserved FROM kiv.config");
        if (rows.Count() != 0)
            Take(rows, record);
        return TKivCfgRead::FromFile;
    }

    void WriteConfig(const TKivCfgRecord &record) override
    {
        FConnection.Run("INSERT INTO kiv.config (logging_type, allow_messages, reserved) VALUES ($1, $2, $3)"
                        " ON CONFLICT (only_row) DO UPDATE SET logging_type = excluded.logging_type,"
                        " allow_messages = excluded.allow_messages, reserved = excluded.reserved",
                        Params(record));
    }

    void ChangeConfig(const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record) override
    {
        FConnection.InTransaction([&] {
            FConnection.Run("INSERT INTO kiv.config DEFAULT VALUES ON CONFLICT (only_row) DO NOTHING");
            const TServerRows rows =
                FConnection.Run("SELECT logging_type, allow_messages, reserved FROM kiv.config FOR UPDATE");
            record = TKivCfgRecord();
            if (rows.Count() != 0)
                Take(rows, record);
            change(record);
            FConnection.Run("UPDATE kiv.config SET logging_type = $1, allow_messages = $2, reserved = $3",
                            Params(record));
        });
    }

    void AppendLog(TActivityLog log, const TLogEntry &entry, const IClock &clock, const TLogPause &pause) override
    {
        // The server keeps the line whole or not at all; a failure is tried
        // again as a log file's would be.
        for (int attempt = 1;; ++attempt) {
            try {
                FConnection.Run("INSERT INTO kiv.activity_log (log, written, name, login, old_status, new_status)"
                                " VALUES ($1, $2, $3, $4, $5, $6)",
                                {log == TActivityLog::Text ? "1" : "2", NowText(clock), entry.Name, entry.Login,
                                 entry.OldStatus, entry.NewStatus});
                return;
            } catch (const EKivError &error) {
                pause(ActivityLog::Pause);
                if (attempt >= ActivityLog::Attempts)
                    throw EKivError((log == TActivityLog::Text ? "Unable to add to Kiv logfile -  "
                                                               : "Unable to add to Kiv CSV file -  ")
                                    + std::string(error.what()));
            }
        }
    }

    void ReadLog(TActivityLog log, const std::function<void(const std::string &)> &line) override
    {
        const std::string which = log == TActivityLog::Text ? "1" : "2";
        std::string after = "0";
        for (bool first = true;; first = false) {
            const TServerRows rows =
                FConnection.Run("SELECT id, written, name, login, old_status, new_status FROM kiv.activity_log"
                                " WHERE log = $1 AND id > $2 ORDER BY id LIMIT "
                                    + std::to_string(kLogPage),
                                {which, after});
            if (first && rows.Count() != 0) {
                if (log == TActivityLog::Text)
                    for (const std::string &banner : TextLogBanner())
                        line(banner);
                else
                    line(CsvLogHeader());
            }
            for (int row = 0; row < rows.Count(); ++row) {
                if (log == TActivityLog::Text)
                    line(TextLogLine(rows.Text(row, 1), StatusChangeEntry(rows.Text(row, 2), rows.Text(row, 3),
                                                                          rows.Text(row, 4), rows.Text(row, 5))));
                else
                    line(CsvLogLine(rows.Text(row, 1), rows.Text(row, 2), rows.Text(row, 3), rows.Text(row, 4),
                                    rows.Text(row, 5)));
                after = rows.Text(row, 0);
            }
            if (rows.Count() < kLogPage)
                return;
        }
    }

    bool ShuttingDown() override { return FConnection.Run("SELECT 1 FROM kiv.shutdown").Count() != 0; }

    void SetShuttingDown(bool on) override
    {
        FConnection.Run(on ? "INSERT INTO kiv.shutdown DEFAULT VALUES ON CONFLICT (only_row) DO NOTHING"
                           : "DELETE FROM kiv.shutdown");
    }

    std::unique_ptr<IChangeWatcher> MakeWatcher() override { return std::make_unique<TServerChangeWatcher>(FText); }

private:
    static void Take(const TServerRows &rows, TKivCfgRecord &record)
    {
        record.LoggingType = ByteOf(rows.Text(0, 0));
        record.AllowMessages = ByteOf(rows.Text(0, 1));
        if (!FromHex(rows.Text(0, 2), record.Reserved.data(), record.Reserved.size()))
            throw EKivError("Unable to open Kiv.CFG file");
    }

    static TServerParams Params(const TKivCfgRecord &record)
    {
        return {std::to_string(record.LoggingType), std::to_string(record.AllowMessages),
                Hex(record.Reserved.data(), record.Reserved.size())};
    }

    std::string FText;
    mutable TServerConnection FConnection;
};

} // namespace

std::shared_ptr<IBoardLocation> MakeServerLocation(const std::string &uri)
{
    return std::make_shared<TServerLocation>(uri);
}
