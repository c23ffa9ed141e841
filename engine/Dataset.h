// One open dataset: its connection (engine/Connection.h), the handle's
// position, and the records it read ahead. Every operation returns an engine
// result code.
//
// A handle holds no SQLite lock and no running statement between calls: each
// read runs in a read transaction of its own and resets its statement before
// it returns, so a dataset left open by one workstation never blocks another,
// and a record erased under the position does not break a walk.
//
// A walk (ReadNext, ReadPrevious) reads ahead: one read transaction fetches a
// batch of the following records of that index, and the next reads of the
// walk are served from it. The batch is dropped at any write of the process,
// at any positioning and at close; the next batch is read from the last record
// served, so a walk never returns a record twice, and never misses one that
// was there for the whole walk.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Connection.h"
#include "engine/DatasetApi.h"
#include "engine/Definition.h"

struct sqlite3_stmt;

namespace vbis {

class TDataset : public TDatasetApi {
public:
    /// Makes the dataset path.ism and path.isd; refuses, leaving everything as
    /// it was, when either file exists.
    static int16_t Create(const std::string &path, int keyLength, std::string_view format);

    /// Opens the dataset at path into out.
    static int16_t Open(const std::string &path, std::unique_ptr<TDataset> &out);

    /// Gives the connection back for the next open of the dataset.
    ~TDataset() override;
    TDataset(const TDataset &) = delete;
    TDataset &operator=(const TDataset &) = delete;

    /// Reads by index number and read mode; fills buffer (unless the mode
    /// reads the key only) and foundKey with the record read.
    int16_t Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer) override;
    /// Adds the record; an empty key is replaced by the highest key + 1.
    int16_t Add(std::string &key, const unsigned char *buffer) override;
    /// Overwrites the record filed under key.
    int16_t Replace(std::string_view key, const unsigned char *buffer) override;
    /// Erases the record filed under key.
    int16_t Erase(std::string_view key) override;
    /// Positions before the first record of the index.
    int16_t GotoTop(int index) override;
    /// Positions after the last record of the index.
    int16_t GotoBottom(int index) override;
    /// The number of records and the key length.
    int16_t Info(int32_t &recordCount, int16_t &keyLength) override;

    const TDefinition &Definition() const override { return FConnection->Definition(); }

private:
    enum class TPlace { BeforeFirst, AfterLast, OnRecord };
    struct TPosition {
        int Index = 0;
        TPlace Place = TPlace::BeforeFirst;
        TIndexValue Value;
        std::string Key;
    };
    // One record of a batch, as the read found it.
    struct TAhead {
        std::string Key; ///< empty for a row too damaged to stand on
        TIndexValue Value;
        std::string Record;
        bool WholeRecord = true; ///< the row's record has the format's length
    };
    struct TBatch {
        bool Active = false;
        int Index = 0;
        bool Forward = true;
        uint64_t Writes = 0;         // the process's writes when it was read
        std::vector<TAhead> Records; // in walk order
        std::size_t Next = 0;        // the next one to hand out
        bool Last = false;           // nothing followed the batch when it was read
        std::size_t Size = 0;        // how many records it asked for
    };

    explicit TDataset(std::unique_ptr<TConnection> connection);

    int16_t KeyValue(int index, std::string_view key, TIndexValue &value) const;
    int16_t ReadEqual(int index, std::string_view key, std::string &foundKey, unsigned char *buffer);
    int16_t ReadAhead(int index, bool forward, std::size_t count, const TIndexValue *run);
    int16_t Hand(int index, std::string &foundKey, unsigned char *buffer, bool keyOnly);
    int16_t NextKey(std::string &key);
    int16_t BumpVersion();
    int16_t PlaceAtEnd(int index, TPlace place);
    template <class TBody>
    int16_t WriteTransaction(int countChange, TBody body);
    int16_t Noted(int16_t code);
    int16_t BindRecord(sqlite3_stmt *s, std::string_view key, const unsigned char *buffer) const;

    std::unique_ptr<TConnection> FConnection;
    TPosition FPosition;
    // The walk goes on through the records of the value a ReadEqual found.
    bool FEqualRun = false;
    TIndexValue FRunValue;
    TBatch FBatch;
};

} // namespace vbis
