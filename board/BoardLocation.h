// Where a board lives: a folder that every workstation mounts, or a
// PostgreSQL server named by a connection URI. Everything the data classes
// ask of the place itself, as opposed to a dataset in it, is asked here: how
// a dataset's name is joined to the location, whether a dataset is there,
// the board-wide switches (Kiv.cfg), the activity logs, the shutdown marker
// and the watcher of changes. The datasets themselves are reached through
// the engine, which takes the path DatasetPath answers.
#pragma once

#include "board/ActivityLog.h"
#include "board/ChangeWatcher.h"
#include "board/KivCfg.h"

#include <functional>
#include <memory>
#include <string>

class IClock;

/// The two activity logs: which one a line goes to, or is read from.
enum class TActivityLog { Text, Csv };

/// One status change as the logs record it.
struct TLogEntry {
    std::string Name;
    std::string Login;
    std::string OldStatus;
    std::string NewStatus;
};

class IBoardLocation {
public:
    virtual ~IBoardLocation() = default;

    /// The location as given, for messages.
    virtual const std::string &Text() const = 0;
    /// The path the engine opens for the dataset called name.
    virtual std::string DatasetPath(const std::string &name) const = 0;
    /// The place itself can be reached (a folder: it exists; a server: it is
    /// not asked here, since every dataset call tells).
    virtual bool Reachable() const = 0;
    /// The dataset called name holds its data (a folder: its data file is
    /// there).
    virtual bool DatasetExists(const std::string &name) = 0;
    /// The dataset called name has been made, perhaps a moment ago by
    /// another workstation that has not finished it (a folder: its
    /// definition file is there).
    virtual bool DatasetDefined(const std::string &name) = 0;

    /// Reads the board-wide switches into record, which starts from the
    /// defaults; as ReadKivCfg.
    virtual TKivCfgRead ReadConfig(TKivCfgRecord &record) = 0;
    /// Writes record as the board-wide switches; as WriteKivCfg.
    virtual void WriteConfig(const TKivCfgRecord &record) = 0;
    /// Applies change to the switches as they are at this moment, in one
    /// step no other writer comes between; as ChangeKivCfg.
    virtual void ChangeConfig(const std::function<void(TKivCfgRecord &)> &change, TKivCfgRecord &record) = 0;

    /// Appends entry to the log, dated by clock now; retries as the logs do
    /// and raises EKivError with the log's message after the last attempt.
    virtual void AppendLog(TActivityLog log, const TLogEntry &entry, const IClock &clock, const TLogPause &pause) = 0;
    /// Hands the log to line, one line at a time (without its line end), in
    /// the form the log file has: banner or header first. Nothing when the
    /// log was never written. Raises EKivError when it cannot be read.
    virtual void ReadLog(TActivityLog log, const std::function<void(const std::string &)> &line) = 0;

    /// The board is being shut down: its marker is set.
    virtual bool ShuttingDown() = 0;
    /// Sets or clears the shutdown marker. Raises EKivError on failure.
    virtual void SetShuttingDown(bool on) = 0;

    /// A watcher of the board's changes, for one front end.
    virtual std::unique_ptr<IChangeWatcher> MakeWatcher() = 0;
};

/// True when location names a board server: a PostgreSQL connection URI
/// (postgresql:// or postgres://).
bool IsServerLocation(const std::string &location);

/// The path the engine opens for the dataset called name of the board at
/// location, without reaching the location: a folder's path joined with the
/// name, or a server's URI, '#' and the name.
std::string BoardDatasetPath(const std::string &location, const std::string &name);

/// The location of the board named by location (as TBoardSession::LocationOf
/// answers it): a folder, or a server for a connection URI. Nothing is
/// reached yet.
std::shared_ptr<IBoardLocation> MakeBoardLocation(const std::string &location);

/// A folder board's location.
std::shared_ptr<IBoardLocation> MakeFolderLocation(const std::string &folder);

/// A server board's location: the server is connected at the first question.
std::shared_ptr<IBoardLocation> MakeServerLocation(const std::string &uri);
