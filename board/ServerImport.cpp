#include "board/ServerImport.h"

#include "board/ActivityLog.h"
#include "board/BoardLocation.h"
#include "board/KivCfg.h"
#include "board/KivDepartment.h"
#include "board/KivStatus.h"
#include "board/MessageRecord.h"
#include "board/ServerBoard.h"
#include "board/ServerConnection.h"
#include "board/UserRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Text.h"
#include "storage/IsamFile.h"

#include <array>
#include <ctime>
#include <optional>
#include <vector>

namespace {

struct TDatasetKind {
    const char *Name;
    const char *Format;
    std::size_t Size;
};

/// The datasets a board has, users first: what a board is recognised by.
constexpr std::array<TDatasetKind, 4> kDatasets{{
    {UserRecord::DatasetName, UserRecord::Format, UserRecord::Size},
    {StatusRecord::DatasetName, StatusRecord::Format, StatusRecord::Size},
    {DepartmentRecord::DatasetName, DepartmentRecord::Format, DepartmentRecord::Size},
    {MessageRecord::DatasetName, MessageRecord::Format, MessageRecord::Size},
}};

/// One logged status change as the log table keeps it.
struct TLogRow {
    std::string Written;
    TLogEntry Entry;
};

std::string Plural(long count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

/// A text log line back in its parts: "<date-time> <name> (<login>) status
/// changed from "<old>" to "<new>"". Whatever split is taken where a name or
/// a status holds the same words, the line is written back as it was.
std::optional<TLogRow> ReadTextLine(const std::string &line)
{
    std::tm parsed{};
    const char *end = strptime(line.c_str(), "%x %X", &parsed);
    if (end == nullptr || *end != ' ')
        return std::nullopt;
    const std::size_t entryAt = std::size_t(end - line.c_str()) + 1;
    const std::string entry = line.substr(entryAt);
    const std::string changed = " status changed from \"";
    const std::size_t at = entry.rfind(changed);
    const std::size_t to = at == std::string::npos ? at : entry.find("\" to \"", at + changed.size());
    if (to == std::string::npos || entry.back() != '"' || entry.size() < to + 7)
        return std::nullopt;
    const std::string who = entry.substr(0, at);
    const std::size_t open = who.rfind(" (");
    if (open == std::string::npos || who.back() != ')')
        return std::nullopt;
    TLogRow row;
    row.Written = line.substr(0, entryAt - 1);
    row.Entry.Name = who.substr(0, open);
    row.Entry.Login = who.substr(open + 2, who.size() - open - 3);
    row.Entry.OldStatus = entry.substr(at + changed.size(), to - at - changed.size());
    row.Entry.NewStatus = entry.substr(to + 6, entry.size() - to - 7);
    return row;
}

/// A CSV log line back in its five quoted values.
std::optional<TLogRow> ReadCsvLine(const std::string &line)
{
    std::vector<std::string> values;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '"')
            return std::nullopt;
        std::string value;
        for (++i;; ++i) {
            if (i >= line.size())
                return std::nullopt;
            if (line[i] == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    value += '"';
                    ++i;
                    continue;
                }
                ++i;
                break;
            }
            value += line[i];
        }
        values.push_back(value);
        if (i < line.size() && line[i++] != ',')
            return std::nullopt;
    }
    if (values.size() != 5)
        return std::nullopt;
    return TLogRow{values[0], {values[1], values[2], values[3], values[4]}};
}

struct TLogRead {
    std::vector<TLogRow> Rows;
    long Skipped = 0;
};

/// The status changes of a folder's log; its banner or header is left out,
/// and a line not in the log's form (edited by hand, cut short) is counted.
TLogRead ReadFolderLog(IBoardLocation &folder, TActivityLog log)
{
    TLogRead read;
    const std::vector<std::string> banner = TextLogBanner();
    std::size_t lineNumber = 0;
    folder.ReadLog(log, [&](const std::string &line) {
        const std::size_t number = lineNumber++;
        if (log == TActivityLog::Text ? number < banner.size() && line == banner[number]
                                      : number == 0 && line == CsvLogHeader())
            return;
        if (line.find_first_not_of(' ') == std::string::npos)
            return;
        std::optional<TLogRow> row = log == TActivityLog::Text ? ReadTextLine(line) : ReadCsvLine(line);
        if (row)
            read.Rows.push_back(std::move(*row));
        else
            ++read.Skipped;
    });
    return read;
}

/// What the server board holds already: each dataset with records, and the
/// log when it has lines.
std::vector<std::string> ServerContents(TServerConnection &server)
{
    std::vector<std::string> held;
    const TServerRows names = server.Run("SELECT name FROM kiv.datasets ORDER BY name");
    for (int row = 0; row < names.Count(); ++row) {
        std::string table = "kiv.\"ds_";
        for (char c : names.Text(row, 0))
            table += c == '"' ? std::string("\"\"") : std::string(1, c);
        if (server.Run("SELECT 1 FROM " + table + "\" LIMIT 1").Count() != 0)
            held.push_back(names.Text(row, 0));
    }
    if (server.Run("SELECT 1 FROM kiv.activity_log LIMIT 1").Count() != 0)
        held.emplace_back("the activity log");
    return held;
}

/// Copies one dataset record by record under its own keys, counting them in
/// copied as they go.
void CopyDataset(const TDatasetKind &kind, IBoardLocation &folder, const std::string &uri, long &copied)
{
    const auto fail = [&](const std::string &what, const TIsamFile &isam) {
        throw EKivError("Unable to " + what + " the dataset " + kind.Name + " - " + isam.ErrorText());
    };
    TIsamFile source;
    if (!source.OpenDataset(folder.DatasetPath(kind.Name), UserRecord::OpenMode, kind.Format))
        fail("open the folder's", source);
    const int16_t keyLength = source.KeyLength();
    TIsamFile target;
    const std::string path = BoardDatasetPath(uri, kind.Name);
    // A dataset made but left empty (by a Kiv that stopped) is filled.
    if (!target.CreateDataset(path, keyLength, kind.Format) && target.LastError() != 9)
        fail("make on the server", target);
    if (!target.OpenDataset(path, UserRecord::OpenMode, kind.Format))
        fail("open on the server", target);
    std::vector<char> record(kind.Size, 0);
    if (!source.GotoTop(0))
        fail("read the folder's", source);
    while (source.ReadNext(record.data(), 0)) {
        if (!target.AddRecord(record.data(), source.LastKey()))
            fail("copy record " + source.LastKey() + " to", target);
        ++copied;
    }
    if (source.LastError() != 1)
        fail("read the folder's", source);
}

/// Log lines sent in one statement, in the order of the log: ids follow it.
constexpr std::size_t kLogBatch = 500;

void AddLogRows(TServerConnection &server, const char *log, const std::vector<TLogRow> &rows, std::size_t first)
{
    std::string sql = "INSERT INTO kiv.activity_log (log, written, name, login, old_status, new_status) VALUES ";
    TServerParams params;
    for (std::size_t i = first; i < rows.size() && i < first + kLogBatch; ++i) {
        const std::size_t at = params.size();
        sql += std::string(i == first ? "" : ", ") + "(" + log;
        for (std::size_t k = 1; k <= 5; ++k)
            sql += ", $" + std::to_string(at + k);
        sql += ")";
        const TLogEntry &entry = rows[i].Entry;
        params.insert(params.end(), {rows[i].Written, entry.Name, entry.Login, entry.OldStatus, entry.NewStatus});
    }
    // The rows of one VALUES list are added, and numbered, in their order.
    server.Run(sql, params);
}

/// The switches' reserved bytes as a bytea's hex text.
std::string ReservedHex(const TKivCfgRecord &record)
{
    static const char digits[] = "0123456789abcdef";
    std::string text = "\\x";
    for (const uint8_t byte : record.Reserved) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

} // namespace

void ImportFolderBoard(const std::string &folder, const std::string &uri,
                       const std::function<void(const std::string &)> &done)
{
    if (!DirectoryExists(folder))
        throw EKivError("Unable to access the Kiv database location \"" + folder + "\"");
    const std::shared_ptr<IBoardLocation> source = MakeFolderLocation(folder);
    if (!source->DatasetExists(UserRecord::DatasetName))
        throw EKivError("The folder \"" + folder + "\" holds no Kiv board: its users dataset " + UserRecord::DatasetName
                        + " is not there. Nothing was copied.");

    TServerConnection server(uri, [](TServerConnection &connection) { RequireServerBoard(connection); });
    // One import at a time: both would find the board empty. The lock goes
    // with the connection.
    if (server.Run("SELECT pg_try_advisory_lock(hashtext('kiv import'))").Text(0, 0) != "t")
        throw EKivError("Another import into this board server is running. Nothing was copied.");
    const std::vector<std::string> held = ServerContents(server);
    if (!held.empty()) {
        std::string list;
        for (const std::string &name : held)
            list += (list.empty() ? "" : ", ") + name;
        throw EKivError("The board on the server is not empty: " + list
                        + " already hold data. An import only fills an empty board; nothing was copied.");
    }

    // Everything of the folder that is not a dataset is read before anything
    // is written, so that a log that cannot be read stops the import at once.
    TKivCfgRecord config;
    const bool hasConfig = FileExists(JoinPath(folder, KivCfg::FileName));
    if (hasConfig)
        source->ReadConfig(config);
    const TLogRead text = ReadFolderLog(*source, TActivityLog::Text);
    const TLogRead csv = ReadFolderLog(*source, TActivityLog::Csv);

    std::string part;
    long copied = 0;
    long copiedBefore = 0;
    try {
        for (const TDatasetKind &kind : kDatasets) {
            if (!source->DatasetExists(kind.Name))
                continue;
            part = kind.Name;
            copied = 0;
            CopyDataset(kind, *source, uri, copied);
            done(std::string(kind.Name) + ": " + Plural(copied, "record", "records"));
            copiedBefore += copied;
        }
        part = "Kiv.cfg and the logs";
        copied = 0;
        // The switches and both logs in one transaction: all or nothing.
        server.InTransaction([&] {
            if (hasConfig)
                server.Run(
                    "INSERT INTO kiv.config (logging_type, allow_messages, reserved) VALUES ($1, $2, $3)"
                    " ON CONFLICT (only_row) DO UPDATE SET logging_type = excluded.logging_type,"
                    " allow_messages = excluded.allow_messages, reserved = excluded.reserved",
                    {std::to_string(config.LoggingType), std::to_string(config.AllowMessages), ReservedHex(config)});
            for (const auto &[log, read] : {std::pair{"1", &text}, std::pair{"2", &csv}})
                for (std::size_t first = 0; first < read->Rows.size(); first += kLogBatch)
                    AddLogRows(server, log, read->Rows, first);
        });
    } catch (const EKivError &error) {
        if (copiedBefore + copied == 0)
            throw EKivError("The import stopped in " + part + ": " + error.what()
                            + "\nNo record was copied; the import can be run again.");
        throw EKivError("The import stopped in " + part
                        + (copied != 0 ? " after " + Plural(copied, "record", "records") : "") + ": " + error.what()
                        + "\nWhat is listed above was copied and stays on the server, so a new import will refuse it:"
                          " empty the server's board first (DROP SCHEMA kiv CASCADE, then kivctl server init).");
    }
    done(std::string(KivCfg::FileName) + (hasConfig ? ": copied" : ": none in the folder, the defaults hold"));
    for (const auto &[name, read] :
         {std::pair{ActivityLog::TextLogName, &text}, std::pair{ActivityLog::CsvLogName, &csv}})
        done(std::string(name) + ": " + Plural(long(read->Rows.size()), "line", "lines")
             + (read->Skipped != 0 ? " (" + Plural(read->Skipped, "line", "lines") + " not in the log's form left out)"
                                   : ""));
}
