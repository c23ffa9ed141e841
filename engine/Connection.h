// The SQLite connection to a dataset's data file, with its prepared
// statements, and the process's store of connections kept between a close and
// the next open of the same dataset.
//
// A kept connection keeps SQLite's page cache: SQLite checks the file's change
// counter at the start of every read and keeps the cache only while the file
// is unchanged, so an unchanged dataset is read again with almost no reads of
// the file. A kept connection is used again only while the dataset's files are
// the ones it was opened on (device and inode of both files, and the
// definition file as it was); a dataset deleted and created again is opened
// afresh. A kept connection holds no lock: only its descriptor of the file.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

#include "engine/Definition.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vbis {

/// How long a call waits for another workstation's lock before it answers
/// "Multi-user access".
constexpr int kBusyTimeoutMillis = 5000;

/// What identifies a file, and what tells whether it changed.
struct TFileState {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = -1;
    timespec Modified{};
    timespec Changed{};

    static TFileState Of(const struct stat &st);
    bool SameFile(const TFileState &other) const { return Device == other.Device && Inode == other.Inode; }
    bool SameContent(const TFileState &other) const;
};

class TConnection {
public:
    // Statements kept per index number: walks take the most records to read
    // as ?3.
    enum TIndexQuery { QFirst, QLast, QNext, QPrevious, QEqual, QValueOf, kIndexQueries };
    // Statements of the whole dataset.
    enum TQuery {
        QInsert,
        QUpdate,
        QUpdateRecord,
        QDelete,
        QMaxKey,
        QCount,
        QVersion,
        QBegin,
        QCommit,
        QRollback,
        QCheck,
        kQueries
    };

    /// A connection to the dataset at path (folder and base name): one kept
    /// from an earlier open when the dataset's files are still the ones it
    /// was opened on, else a new one.
    static int16_t Take(const std::string &path, std::unique_ptr<TConnection> &out);
    /// Takes back the connection of a handle being closed: kept for the next
    /// open of its dataset, or closed.
    static void Give(std::unique_ptr<TConnection> connection);
    /// Closes every kept connection (when the engine is unloaded).
    static void CloseKept();

    ~TConnection();
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    sqlite3 *Db() const { return FDb; }
    const TDefinition &Definition() const { return FDefinition; }
    int16_t IndexStatement(int index, TIndexQuery query, sqlite3_stmt *&out);
    int16_t Statement(TQuery query, sqlite3_stmt *&out);
    /// The connection met a damaged or unreadable file: it is not kept.
    void MarkUnsound() { FSound = false; }

    /// The number of records as this connection last counted them, when the
    /// data file is still as it was then: nobody has committed a write since
    /// (every commit moves its time on). One stat, where a count is a read
    /// transaction of several round trips.
    bool CountStillTrue(int32_t &count) const;
    /// Notes a count made in the read transaction now running.
    void NoteCount(int32_t count);
    /// Notes a write of this connection just committed, which changed the
    /// number of records by countChange; started is the data file as its
    /// transaction found it (null when not seen).
    void NoteWrite(int countChange, const struct stat *started);

private:
    TConnection(const std::string &path, sqlite3 *db, TDefinition definition);

    static int16_t OpenNew(const std::string &path, std::unique_ptr<TConnection> &out);
    int16_t Configure();
    int16_t CheckSchema();
    int16_t CheckLayout();
    void CountAtOpen();
    int16_t Reopen();
    int16_t Prepare(const std::string &sql, sqlite3_stmt *&out);
    std::string ValueColumn(int index) const;

    std::string FPath;
    pid_t FProcess; // the process that opened it
    sqlite3 *FDb;
    TDefinition FDefinition;
    TFileState FDefinitionFile;
    TFileState FDataFile; // as last seen: opened, checked or written by this connection
    bool FHaveCount = false;
    int32_t FCount = 0;
    TFileState FCountedOn; // the data file as the count's read transaction saw it
    std::vector<sqlite3_stmt *> FIndexStatements;
    std::vector<sqlite3_stmt *> FStatements;
    std::chrono::steady_clock::time_point FBusySince;
    std::chrono::steady_clock::time_point FKeptSince;
    bool FSound = true;
    // SQLite's data version of the connection at the last check: it moves
    // when another connection committed since.
    int64_t FDataVersion = -1;
};

} // namespace vbis
