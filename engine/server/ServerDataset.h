// One open dataset of a board server. The dataset NAME is the table
// kiv."ds_NAME": the record key k (bytea, primary key), the record bytes rec
// (bytea) and, for each indexed field N of the format, a column xN (bytea for
// a text up to its first zero byte, smallint for an integer) with an index on
// (xN, k). Texts compare as bytes, ties by record key: the order of the
// engine's folder datasets. kiv.datasets holds what the dataset was created
// with (key length and format string).
//
// A handle keeps only its position and the records it read ahead: each read
// is one statement of its own (a keyset seek from the position), so no
// transaction and no lock outlive a call. Each write is one statement, and so
// one transaction, that also counts the dataset's row of kiv.changes on and
// notifies kiv_changes, only when it changed a record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/DatasetApi.h"
#include "engine/server/ServerLink.h"

namespace vbis::server {

class TServerDataset : public TDatasetApi {
public:
    /// Makes the dataset name on the server at uri; refuses, leaving
    /// everything as it was, when it exists.
    static int16_t Create(const std::string &uri, const std::string &name, int keyLength, std::string_view format);
    /// Opens the dataset name on the server at uri into out.
    static int16_t Open(const std::string &uri, const std::string &name, std::unique_ptr<TDatasetApi> &out);

    int16_t Get(int index, int readMode, std::string_view key, std::string &foundKey, unsigned char *buffer) override;
    int16_t Add(std::string &key, const unsigned char *buffer) override;
    int16_t Replace(std::string_view key, const unsigned char *buffer) override;
    int16_t Erase(std::string_view key) override;
    int16_t GotoTop(int index) override;
    int16_t GotoBottom(int index) override;
    int16_t Info(int32_t &recordCount, int16_t &keyLength) override;
    const TDefinition &Definition() const override { return FDefinition; }

private:
    enum class TPlace { BeforeFirst, AfterLast, OnRecord };

    TServerDataset(std::shared_ptr<TLink> link, std::string name, TDefinition definition);

    std::string Column(int index) const;
    bool TextIndex(int index) const;
    void AddValue(TParams &params, const TIndexValue &value) const;
    std::string CastOf(int index) const;
    int16_t KeyValue(int index, std::string_view key, TIndexValue &value) const;
    TIndexValue ValueAt(const TResult &result, int row, int column, int index) const;
    int16_t ReadEqual(int index, std::string_view key, std::string &foundKey, unsigned char *buffer);
    int16_t ReadAhead(int index, bool forward, std::size_t count);
    int16_t Hand(int index, std::string &foundKey, unsigned char *buffer, bool keyOnly);
    int16_t PlaceAtEnd(int index, TPlace place);
    int16_t NextKey(std::string &key);
    /// Runs a write statement whose last CTE "changed" returns a row per
    /// record changed; counts and notifies when one did. changed tells whether
    /// a record changed.
    int16_t Write(const std::string &change, TParams params, bool &changed);
    void RecordParams(TParams &params, std::string_view key, const unsigned char *buffer) const;

    std::shared_ptr<TLink> FLink;
    std::string FName;
    std::string FTable;
    TDefinition FDefinition;

    int FIndex = 0;
    TPlace FPlace = TPlace::BeforeFirst;
    TIndexValue FValue;
    std::string FKey;

    bool FBatchActive = false;
    int FBatchIndex = 0;
    bool FBatchForward = true;
    uint64_t FBatchWrites = 0;
    /// The records read ahead, as the server sent them: each is copied
    /// straight from there into the caller's buffer.
    TResult FBatch;
    std::size_t FBatchNext = 0;
    bool FBatchLast = false;
    std::size_t FBatchSize = 0;

    int64_t FOpenCount = -1;  ///< the number of records the open read; -1 once used
    uint64_t FOpenWrites = 0; ///< the process's writes at the open
};

/// True when name may name a dataset of a server: letters, digits and '_'.
bool IsDatasetName(std::string_view name);

} // namespace vbis::server
