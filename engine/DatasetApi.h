// What the entry points ask of an open dataset, wherever it lives: a folder
// (engine/Dataset.h) or a board server (engine/server/ServerDataset.h). Every
// operation returns an engine result code.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/Definition.h"

namespace vbis {

class TDatasetApi {
public:
    virtual ~TDatasetApi() = default;

    /// Reads by index number and read mode; fills buffer (unless the mode
    /// reads the key only) and foundKey with the record read.
    virtual int16_t Get(int index, int readMode, std::string_view key, std::string &foundKey,
                        unsigned char *buffer) = 0;
    /// Adds the record; an empty key is replaced by the highest key + 1.
    virtual int16_t Add(std::string &key, const unsigned char *buffer) = 0;
    /// Overwrites the record filed under key.
    virtual int16_t Replace(std::string_view key, const unsigned char *buffer) = 0;
    /// Erases the record filed under key.
    virtual int16_t Erase(std::string_view key) = 0;
    /// Positions before the first record of the index.
    virtual int16_t GotoTop(int index) = 0;
    /// Positions after the last record of the index.
    virtual int16_t GotoBottom(int index) = 0;
    /// The number of records and the key length.
    virtual int16_t Info(int32_t &recordCount, int16_t &keyLength) = 0;
    virtual const TDefinition &Definition() const = 0;

    /// Serialises calls on this handle from several threads.
    std::mutex &Lock() { return FLock; }

private:
    std::mutex FLock;
};

} // namespace vbis
