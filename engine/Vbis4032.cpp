// The fifteen entry points of VBIS4032.DLL: argument checks, the process-wide
// handle table, and the hand-over of counted texts. A path that names a
// dataset of a board server ("<URI>#<name>", ServerSchema.h) is served over
// libpq (engine/server/); any other is a dataset of a folder.
#include "vbis/Vbis4032.h"

#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "ServerSchema.h"
#include "engine/ChangeStamp.h"
#include "engine/Connection.h"
#include "engine/Dataset.h"
#include "engine/server/ServerDataset.h"

namespace {

using vbis::TDataset;
using vbis::TDatasetApi;
using vbis::server::TServerDataset;

// Handles are small positive integers, never given out twice in a process, so
// a handle kept after its close answers "Invalid dataset reference" instead of
// reaching a dataset opened later.
struct THandleTable {
    std::mutex Lock;
    std::map<int32_t, std::shared_ptr<TDatasetApi>> Open;
    int32_t Next = 1;
};

// Never destroyed: the module's unload hook below closes what is left, and
// a table destroyed before it would be used after its end.
THandleTable &Table()
{
    static THandleTable *table = new THandleTable;
    return *table;
}

std::shared_ptr<TDatasetApi> Find(const int32_t *handle)
{
    if (handle == nullptr || *handle <= 0)
        return nullptr;
    THandleTable &table = Table();
    std::lock_guard<std::mutex> guard(table.Lock);
    const auto it = table.Open.find(*handle);
    return it == table.Open.end() ? nullptr : it->second;
}

// A counted text as the engine reads it: up to its first zero byte.
std::string_view TextOf(BSTR s)
{
    if (s == nullptr)
        return {};
    const uint32_t length = SysStringByteLen(s);
    const void *zero = std::memchr(s, 0, length);
    return std::string_view(s, zero ? std::size_t(static_cast<const char *>(zero) - s) : length);
}

// No exception may cross the C boundary.
template <class TBody>
int16_t Guarded(TBody body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return VBIS_NO_MEMORY;
    } catch (...) {
        return VBIS_IO_ERROR;
    }
}

// Runs body on the dataset of the handle, one call at a time per handle.
template <class TBody>
int16_t WithDataset(const int32_t *handle, TBody body) noexcept
{
    return Guarded([&]() -> int16_t {
        std::shared_ptr<TDatasetApi> dataset = Find(handle);
        if (!dataset)
            return VBIS_INVALID_HANDLE;
        std::lock_guard<std::mutex> guard(dataset->Lock());
        return body(*dataset);
    });
}

// Registers the engine's VFS as the module loads, so that its file-call
// counters (vbis/FileCalls.h) are there before the first dataset is opened.
__attribute__((constructor)) void LoadEngine()
{
    vbis::ChangeStampVfs();
}

// Closes every dataset still open and leaves SQLite as it was found, when the
// module is unloaded or the process ends.
__attribute__((destructor)) void UnloadEngine()
{
    THandleTable &table = Table();
    std::map<int32_t, std::shared_ptr<TDatasetApi>> open;
    {
        std::lock_guard<std::mutex> guard(table.Lock);
        open.swap(table.Open);
    }
    open.clear();
    vbis::TConnection::CloseKept();
    vbis::server::TLink::CloseAll();
    vbis::ReleaseChangeStampVfs();
}

} // namespace

/// Makes a new, empty dataset: path.ism and path.isd.
extern "C" VBIS_API int16_t VmxCreate(BSTR *path, int16_t *keyLength, int32_t *, int16_t *, int16_t *, BSTR *format)
{
    return Guarded([&]() -> int16_t {
        if (path == nullptr || keyLength == nullptr || TextOf(*path).empty())
            return VBIS_BAD_PARAMETER;
        if (format == nullptr)
            return VBIS_BAD_FORMAT;
        const std::string_view location = TextOf(*path);
        std::string_view uri, name;
        if (kivserver::IsServerLocation(location))
            return kivserver::SplitDatasetPath(location, uri, name)
                       ? TServerDataset::Create(std::string(uri), std::string(name), *keyLength, TextOf(*format))
                       : int16_t(VBIS_BAD_PARAMETER);
        return TDataset::Create(std::string(location), *keyLength, TextOf(*format));
    });
}

/// Opens a dataset and hands out its handle; mode 3 (shared) is the only mode.
extern "C" VBIS_API int16_t VmxOpen(BSTR *path, int16_t *, int16_t *mode, int32_t *handle)
{
    return Guarded([&]() -> int16_t {
        if (handle == nullptr)
            return VBIS_BAD_PARAMETER;
        *handle = 0;
        if (path == nullptr || TextOf(*path).empty() || mode == nullptr || *mode != 3)
            return VBIS_BAD_PARAMETER;
        const std::string_view location = TextOf(*path);
        std::string_view uri, name;
        int16_t code;
        std::unique_ptr<TDatasetApi> dataset;
        if (!kivserver::IsServerLocation(location)) {
            std::unique_ptr<TDataset> file;
            code = TDataset::Open(std::string(location), file);
            dataset = std::move(file);
        } else if (kivserver::SplitDatasetPath(location, uri, name)) {
            code = TServerDataset::Open(std::string(uri), std::string(name), dataset);
        } else {
            code = VBIS_BAD_PARAMETER;
        }
        if (code != VBIS_OK)
            return code;
        THandleTable &table = Table();
        std::lock_guard<std::mutex> guard(table.Lock);
        if (table.Next == INT32_MAX)
            return VBIS_NO_HANDLES;
        const int32_t number = table.Next++;
        table.Open.emplace(number, std::shared_ptr<TDatasetApi>(std::move(dataset)));
        *handle = number;
        return VBIS_OK;
    });
}

/// Closes the dataset of the handle; the handle is invalid afterwards.
extern "C" VBIS_API int16_t VmxClose(int32_t *handle)
{
    return Guarded([&]() -> int16_t {
        if (handle == nullptr || *handle <= 0)
            return VBIS_INVALID_HANDLE;
        std::shared_ptr<TDatasetApi> dataset;
        {
            THandleTable &table = Table();
            std::lock_guard<std::mutex> guard(table.Lock);
            const auto it = table.Open.find(*handle);
            if (it == table.Open.end())
                return VBIS_INVALID_HANDLE;
            dataset = std::move(it->second);
            table.Open.erase(it);
        }
        // Waits for a call still running on the handle in another thread.
        std::lock_guard<std::mutex> guard(dataset->Lock());
        return VBIS_OK;
    });
}

/// Reads a record by index and read mode into buffer, and its key into recordKey.
extern "C" VBIS_API int16_t VmxGet(int32_t *handle, int16_t *index, int16_t *readMode, BSTR *key, BSTR *,
                                   BSTR *recordKey, void *buffer)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        if (index == nullptr || readMode == nullptr || recordKey == nullptr)
            return VBIS_BAD_PARAMETER;
        if (buffer == nullptr && *readMode != VBIS_READ_PREVIOUS_KEY)
            return VBIS_BAD_PARAMETER;
        std::string found;
        const int16_t code = dataset.Get(*index, *readMode, key == nullptr ? std::string_view() : TextOf(*key), found,
                                         static_cast<unsigned char *>(buffer));
        if (code != VBIS_OK)
            return code;
        BSTR text = SysAllocStringByteLen(found.data(), uint32_t(found.size()));
        if (text == nullptr)
            return VBIS_NO_MEMORY;
        *recordKey = text;
        return VBIS_OK;
    });
}

/// Adds (mode 1) or replaces (mode 2) the record filed under recordKey; an add
/// with an empty key files it under a new key and hands that key back.
extern "C" VBIS_API int16_t VmxPut(int32_t *handle, BSTR *recordKey, void *buffer, int16_t *mode)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        if (recordKey == nullptr || buffer == nullptr || mode == nullptr)
            return VBIS_BAD_PARAMETER;
        const auto *record = static_cast<const unsigned char *>(buffer);
        if (*mode == VBIS_PUT_REPLACE)
            return dataset.Replace(TextOf(*recordKey), record);
        if (*mode != VBIS_PUT_ADD)
            return VBIS_BAD_PARAMETER;
        std::string key(TextOf(*recordKey));
        const bool chosen = key.empty();
        const int16_t code = dataset.Add(key, record);
        if (code != VBIS_OK || !chosen)
            return code;
        BSTR text = SysAllocStringByteLen(key.data(), uint32_t(key.size()));
        if (text == nullptr)
            return VBIS_NO_MEMORY; // filed; only the key cannot be handed back
        SysFreeString(*recordKey);
        *recordKey = text;
        return VBIS_OK;
    });
}

/// Erases the record filed under recordKey.
extern "C" VBIS_API int16_t VmxDelete(int32_t *handle, BSTR *recordKey)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        if (recordKey == nullptr)
            return VBIS_BAD_PARAMETER;
        return dataset.Erase(TextOf(*recordKey));
    });
}

/// Positions the handle before the first record of the index.
extern "C" VBIS_API int16_t VmxBOF(int32_t *handle, int16_t *index)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        return index == nullptr ? int16_t(VBIS_BAD_PARAMETER) : dataset.GotoTop(*index);
    });
}

/// Positions the handle after the last record of the index.
extern "C" VBIS_API int16_t VmxEOF(int32_t *handle, int16_t *index)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        return index == nullptr ? int16_t(VBIS_BAD_PARAMETER) : dataset.GotoBottom(*index);
    });
}

/// Reports the record count, the key length and the format string of the
/// dataset; the format string comes back in text1.
extern "C" VBIS_API int16_t VmxInfo(int32_t *handle, TIsamInfoRec *info)
{
    return WithDataset(handle, [&](TDatasetApi &dataset) -> int16_t {
        if (info == nullptr)
            return VBIS_BAD_PARAMETER;
        int32_t count = 0;
        int16_t keyLength = 0;
        const int16_t code = dataset.Info(count, keyLength);
        if (code != VBIS_OK)
            return code;
        const std::string &format = dataset.Definition().Format.Text();
        BSTR text = SysAllocStringByteLen(format.data(), uint32_t(format.size()));
        if (text == nullptr)
            return VBIS_NO_MEMORY;
        *info = TIsamInfoRec{};
        info->recordCount = count;
        info->keyLength = keyLength;
        info->text1 = text;
        return VBIS_OK;
    });
}

/// Not provided: record locks are never used (datasets hold no lock between calls).
extern "C" VBIS_API int16_t VmxLock(int32_t *)
{
    return VBIS_UNAVAILABLE;
}
/// Not provided.
extern "C" VBIS_API int16_t VmxUnlock(int32_t *)
{
    return VBIS_UNAVAILABLE;
}
/// Not provided: datasets are never erased through the engine.
extern "C" VBIS_API int16_t VmxKill(BSTR *)
{
    return VBIS_UNAVAILABLE;
}
/// Not provided: datasets carry no notes.
extern "C" VBIS_API int16_t VmxReadNote(int32_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
/// Not provided.
extern "C" VBIS_API int16_t VmxWriteNote(int32_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
/// Not provided.
extern "C" VBIS_API int16_t VmxFetchField(int32_t *, int16_t *, BSTR *)
{
    return VBIS_UNAVAILABLE;
}
