// One open dataset: its SQLite connection, its prepared statements and the
// handle's position. Every operation returns an engine result code.
//
// A handle holds no SQLite lock and no running statement between calls: each
// read is a fresh seek from the remembered position, reset before it returns,
// so a dataset left open by one workstation never blocks another, and a record
// deleted under the position does not break a walk.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Definition.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vbis {

/// How long a call waits for another workstation's lock before it answers
/// "Multi-user access".
constexpr int kBusyTimeoutMillis = 5000;

class TDataset {
public:
    /// Makes the dataset path.ism and path.isd; refuses, leaving everything as
    /// it was, when either file exists.
    static int16_t Create(const std::string &path, int keyLength, std::string_view format);

    /// Opens the dataset at path into out.
    static int16_t Open(const std::string &path, std::unique_ptr<TDataset> &out);

    ~TDataset();
    TDataset(const TDataset &) = delete;
    TDataset &operator=(const TDataset &) = delete;

    /// Reads by index number and read mode; fills buffer (unless the mode
    /// reads the key only) and foundKey with the record read.
    int16_t Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer);
    /// Adds the record; an empty key is replaced by the highest key + 1.
    int16_t Add(std::string &key, const unsigned char *buffer);
    /// Overwrites the record filed under key.
    int16_t Replace(std::string_view key, const unsigned char *buffer);
    /// Erases the record filed under key.
    int16_t Erase(std::string_view key);
    /// Positions before the first record of the index.
    int16_t GotoTop(int index);
    /// Positions after the last record of the index.
    int16_t GotoBottom(int index);
    /// The number of records and the key length.
    int16_t Info(int32_t &recordCount, int16_t &keyLength);

    const TDefinition &Definition() const { return FDefinition; }
    /// Serialises calls on this handle from several threads.
    std::mutex &Lock() { return FLock; }

private:
    enum class TPlace { BeforeFirst, AfterLast, OnRecord };
    struct TPosition {
        int Index = 0;
        TPlace Place = TPlace::BeforeFirst;
        TIndexValue Value;
        std::string Key;
    };
    // Statements kept per index number, then those of the whole dataset.
    enum TIndexQuery { QFirst, QLast, QNext, QPrevious, QEqual, QValueOf, kIndexQueries };
    enum TQuery { QInsert, QUpdate, QDelete, QMaxKey, QCount, QBumpVersion, QBegin, QCommit, QRollback, kQueries };

    TDataset(sqlite3 *db, TDefinition definition);

    int16_t Prepare(const std::string &sql, sqlite3_stmt *&out);
    int16_t IndexStatement(int index, TIndexQuery query, sqlite3_stmt *&out);
    int16_t Statement(TQuery query, sqlite3_stmt *&out);
    int16_t CheckSchema();
    std::string ValueColumn(int index) const;
    void BindValue(sqlite3_stmt *s, int column, const TIndexValue &value) const;
    int16_t BindRecord(sqlite3_stmt *s, std::string_view key, const unsigned char *buffer) const;
    int16_t KeyValue(int index, std::string_view key, TIndexValue &value) const;
    int16_t StepRead(sqlite3_stmt *s, int index, bool keyOnly, std::string &foundKey, unsigned char *buffer);
    int16_t NextKey(std::string &key);
    int16_t PlaceAtEnd(int index, TPlace place);
    template <class TBody>
    int16_t WriteTransaction(TBody body);

    sqlite3 *FDb;
    TDefinition FDefinition;
    TPosition FPosition;
    std::vector<sqlite3_stmt *> FIndexStatements;
    std::vector<sqlite3_stmt *> FStatements;
    std::chrono::steady_clock::time_point FBusySince;
    std::mutex FLock;
};

} // namespace vbis
