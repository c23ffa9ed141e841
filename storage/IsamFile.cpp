#include "storage/IsamFile.h"

#include "ServerSchema.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "vbis/Vbis4032.h"

#include <charconv>
#include <dlfcn.h>
#include <limits>
#include <mutex>
#include <utility>
#include <vector>

// The fifteen entry points of one loaded engine library.
struct TVbisEntryPoints {
    TVmxCreate Create = nullptr;
    TVmxOpen Open = nullptr;
    TVmxClose Close = nullptr;
    TVmxGet Get = nullptr;
    TVmxPut Put = nullptr;
    TVmxDelete Delete = nullptr;
    TVmxBOF Bof = nullptr;
    TVmxEOF Eof = nullptr;
    TVmxInfo Info = nullptr;
    TVmxLock Lock = nullptr;
    TVmxUnlock Unlock = nullptr;
    TVmxKill Kill = nullptr;
    TVmxReadNote ReadNote = nullptr;
    TVmxWriteNote WriteNote = nullptr;
    TVmxFetchField FetchField = nullptr;
};

namespace {

constexpr int16_t kNotOpen = VBIS_INVALID_HANDLE;
constexpr int16_t kAlreadyOpen = VBIS_ALREADY_OPEN;
// What an instance without an engine answers, should its owner use it anyway.
constexpr int16_t kNoEngine = VBIS_UNAVAILABLE;

template <typename T>
bool Resolve(void *library, const char *name, T &entry)
{
    // dlsym hands back an object pointer; the entry points are functions.
    void *address = dlsym(library, name);
    entry = reinterpret_cast<T>(address);
    return address != nullptr;
}

// The process-wide table: one set of entry points per loaded library. Loading
// the same library again yields the same handle and so the same table. Tables
// are never freed, because the library is never unloaded.
const TVbisEntryPoints *EntryPointsFor(void *library)
{
    static std::mutex guard;
    static auto *tables = new std::vector<std::pair<void *, const TVbisEntryPoints *>>();
    std::lock_guard lock(guard);
    for (const auto &[handle, table] : *tables)
        if (handle == library)
            return table;

    TVbisEntryPoints entry;
    // Every name is looked up, in the engine's own order; the table is only
    // published when all fifteen are there, so a partial library never leaves
    // a half-filled table behind for another instance.
    bool all = true;
    all &= Resolve(library, "VmxCreate", entry.Create);
    all &= Resolve(library, "VmxOpen", entry.Open);
    all &= Resolve(library, "VmxClose", entry.Close);
    all &= Resolve(library, "VmxGet", entry.Get);
    all &= Resolve(library, "VmxPut", entry.Put);
    all &= Resolve(library, "VmxDelete", entry.Delete);
    all &= Resolve(library, "VmxBOF", entry.Bof);
    all &= Resolve(library, "VmxEOF", entry.Eof);
    all &= Resolve(library, "VmxInfo", entry.Info);
    all &= Resolve(library, "VmxLock", entry.Lock);
    all &= Resolve(library, "VmxUnlock", entry.Unlock);
    all &= Resolve(library, "VmxKill", entry.Kill);
    all &= Resolve(library, "VmxReadNote", entry.ReadNote);
    all &= Resolve(library, "VmxWriteNote", entry.WriteNote);
    all &= Resolve(library, "VmxFetchField", entry.FetchField);
    if (!all)
        return nullptr;
    const auto *table = new TVbisEntryPoints(entry);
    tables->emplace_back(library, table);
    return table;
}

const char *const kErrorTexts[] = {
    "No error",
    "Object not found",
    "Update mode violation",
    "Multi-user access",
    "Invalid dataset reference",
    "Invalid format string",
    "Illegal character in key",
    "Invalid parameter value",
    "File is not isam format",
    "Dataset name in use",
    "No note space available",
    "No disk space available",
    "Windows memory allocation failure",
    "DOS function call failure",
    "Disk read / write error",
    "Corrupted dataset",
    "Secondary index field too large",
    "Record are out of sort order",
    "Insufficient system file handles",
    "Multi-user locks encountered",
    nullptr, // 20 has no text of its own
    "Function no available",
    "Asynchronous operation interrupted",
    "A dataset is already open",
};

} // namespace

std::string TIsamFile::LibraryPath(const std::string &engineFolder)
{
    if (engineFolder.empty())
        return VBIS_ENGINE_FILE;
    return JoinPath(engineFolder, VBIS_ENGINE_FILE);
}

TIsamFile::TIsamFile(const std::string &engineFolder)
{
    // A bare name goes through the loader's search, which looks beside the
    // program first (RUNPATH $ORIGIN); a name with a folder is loaded from it.
    void *library = dlopen(LibraryPath(engineFolder).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && engineFolder.empty()) {
        // Where a sanitizer intercepts dlopen, the loader takes the
        // interceptor for the caller and searches without the program's
        // RUNPATH; look beside the program then, as that search would have.
        const std::string program = ProgramPath();
        if (!program.empty())
            library = dlopen(LibraryPath(FolderOf(program)).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (library != nullptr)
        FEngine = EntryPointsFor(library);
}

TIsamFile::~TIsamFile()
{
    if (FIsOpen)
        CloseDataset();
}

bool TIsamFile::Refuse(int16_t code)
{
    FLastError = code;
    FServerCode = false;
    return false;
}

bool TIsamFile::ReadyForRecords()
{
    if (FEngine == nullptr)
        return Refuse(kNoEngine);
    if (!FIsOpen)
        return Refuse(kNotOpen);
    return true;
}

bool TIsamFile::CreateDataset(const std::string &path, int16_t keyLength, const std::string &format)
{
    if (FEngine == nullptr)
        return Refuse(kNoEngine);
    if (FIsOpen)
        return Refuse(kAlreadyOpen);
    TBStr name(path);
    TBStr formatText(format);
    int16_t length = keyLength;
    int32_t zero32 = 0;
    int16_t zeroA = 0;
    int16_t zeroB = 0;
    FLastError = FEngine->Create(name.Ref(), &length, &zero32, &zeroA, &zeroB, formatText.Ref());
    FServerCode = kivserver::IsServerLocation(path);
    return FLastError == VBIS_OK;
}

bool TIsamFile::OpenDataset(const std::string &path, int16_t mode, const std::string &format)
{
    if (FEngine == nullptr)
        return Refuse(kNoEngine);
    if (FIsOpen)
        return Refuse(kAlreadyOpen);
    TBStr name(path);
    int16_t zero = 0;
    int16_t openMode = mode;
    int32_t handle = 0;
    FLastError = FEngine->Open(name.Ref(), &zero, &openMode, &handle);
    FServerCode = kivserver::IsServerLocation(path);
    if (FLastError != VBIS_OK)
        return false;

    // Every record read is copied into the caller's buffer at the length
    // the dataset's own definition gives, and any member of the office can
    // write that definition. A layout other than the caller's is refused
    // before any record reaches its buffer.
    int16_t keyLength = -1;
    std::string stored;
    int16_t code = AskInfo(handle, keyLength, &stored);
    const bool otherLayout = code == VBIS_OK && stored != format;
    if (otherLayout)
        code = VBIS_NOT_ISAM;
    if (code != VBIS_OK) {
        FEngine->Close(&handle);
        Refuse(code);
        FServerCode = !otherLayout && kivserver::IsServerLocation(path);
        return false;
    }
    FHandle = handle;
    FIsOpen = true;
    FFileName = path;
    FOpenKeyLength = keyLength;
    return true;
}

bool TIsamFile::CloseDataset()
{
    if (!ReadyForRecords())
        return false;
    FLastError = FEngine->Close(&FHandle);
    if (FLastError != VBIS_OK)
        return false;
    FHandle = 0;
    FIsOpen = false;
    FFileName.clear();
    FOpenKeyLength = -1;
    return true;
}

bool TIsamFile::Put(void *buffer, const std::string &key, int16_t mode)
{
    TBStr recordKey(key);
    int16_t putMode = mode;
    FLastError = FEngine->Put(&FHandle, recordKey.Ref(), buffer, &putMode);
    // The engine may have replaced the key text; what it left is the key.
    FLastKey = recordKey.Text();
    return FLastError == VBIS_OK;
}

bool TIsamFile::AddRecord(void *buffer, const std::string &key)
{
    if (!ReadyForRecords())
        return false;
    if (!key.empty())
        return Put(buffer, key, VBIS_PUT_ADD);
    // Another workstation may file a record under the number computed here
    // before this add reaches the engine. The engine then refuses the add
    // without overwriting anything, and the number is computed afresh.
    for (int attempt = 0; attempt < AddAttempts; ++attempt) {
        const std::string next = NextKey();
        if (Put(buffer, next, VBIS_PUT_ADD))
            return true;
        if (FLastError != VBIS_UPDATE_MODE || next.empty())
            return false;
    }
    return false;
}

bool TIsamFile::ReplaceRecord(void *buffer, const std::string &key)
{
    if (!ReadyForRecords())
        return false;
    return Put(buffer, key, VBIS_PUT_REPLACE);
}

bool TIsamFile::Get(void *buffer, int16_t index, const std::string &key, int readMode)
{
    if (!ReadyForRecords())
        return false;
    // The engine takes the read mode as a 16-bit integer; an option that would
    // not fit is no read mode at all.
    if (readMode < std::numeric_limits<int16_t>::min() || readMode > std::numeric_limits<int16_t>::max())
        return Refuse(VBIS_BAD_PARAMETER);
    TBStr keyText(key);
    TBStr text;
    TBStr recordKey;
    int16_t indexNumber = index;
    auto mode = int16_t(readMode);
    FLastError = FEngine->Get(&FHandle, &indexNumber, &mode, keyText.Ref(), text.Ref(), recordKey.Ref(), buffer);
    FLastKey = recordKey.Text();
    return FLastError == VBIS_OK;
}

bool TIsamFile::ReadEqual(void *buffer, int16_t index, const std::string &key)
{
    return Get(buffer, index, key, VBIS_READ_EQUAL);
}

bool TIsamFile::ReadNext(void *buffer, int16_t index, const std::string &key, int16_t option)
{
    return Get(buffer, index, key, 4096 + 2 + int(option));
}

bool TIsamFile::ReadPrevious(void *buffer, int16_t index, const std::string &key, int16_t option)
{
    return Get(buffer, index, key, 4096 + 4 + int(option));
}

bool TIsamFile::DeleteRecord(const std::string &key)
{
    if (!ReadyForRecords())
        return false;
    TBStr recordKey(key);
    FLastError = FEngine->Delete(&FHandle, recordKey.Ref());
    return FLastError == VBIS_OK;
}

bool TIsamFile::GotoTop(int16_t index)
{
    if (!ReadyForRecords())
        return false;
    int16_t indexNumber = index;
    FLastError = FEngine->Bof(&FHandle, &indexNumber);
    return FLastError == VBIS_OK;
}

bool TIsamFile::GotoBottom(int16_t index)
{
    if (!ReadyForRecords())
        return false;
    int16_t indexNumber = index;
    FLastError = FEngine->Eof(&FHandle, &indexNumber);
    return FLastError == VBIS_OK;
}

int16_t TIsamFile::AskInfo(int32_t &handle, int16_t &keyLength, std::string *format)
{
    TIsamInfoRec info{};
    const int16_t code = FEngine->Info(&handle, &info);
    TBStr text1;
    TBStr text2;
    *text1.Ref() = info.text1; // freed with these, whatever the code
    *text2.Ref() = info.text2;
    if (code == VBIS_OK) {
        keyLength = info.keyLength;
        if (format != nullptr)
            *format = text1.Bytes();
    }
    return code;
}

int16_t TIsamFile::KeyLength()
{
    if (FEngine == nullptr) {
        Refuse(kNoEngine);
        return -1;
    }
    // A dataset's key length never changes after its creation: the open's is kept.
    if (FIsOpen)
        return FOpenKeyLength;
    int16_t keyLength = -1;
    FLastError = AskInfo(FHandle, keyLength, nullptr);
    return FLastError == VBIS_OK ? keyLength : int16_t(-1);
}

std::string TIsamFile::NextKey()
{
    if (FEngine == nullptr)
        return std::string();
    int16_t index = 0;
    if (FEngine->Eof(&FHandle, &index) != VBIS_OK)
        return std::string();
    const int16_t width = KeyLength();

    // The key of the last record on index 0, without reading the record.
    TBStr keyText;
    TBStr text;
    TBStr recordKey;
    int16_t mode = VBIS_READ_PREVIOUS_KEY;
    char dummy[4] = {};
    uint64_t number = 1;
    if (FEngine->Get(&FHandle, &index, &mode, keyText.Ref(), text.Ref(), recordKey.Ref(), dummy) == VBIS_OK) {
        const std::string last = recordKey.Text();
        uint64_t highest = 0;
        const auto [end, ec] = std::from_chars(last.data(), last.data() + last.size(), highest);
        // A key that is not decimal text has no successor; the add then goes
        // to the engine without a key.
        if (last.empty() || ec != std::errc() || end != last.data() + last.size()
            || highest == std::numeric_limits<uint64_t>::max())
            return std::string();
        number = highest + 1;
    }
    std::string next = std::to_string(number);
    if (width > 0 && next.size() < std::size_t(width))
        next.insert(0, std::size_t(width) - next.size(), '0');
    return next;
}

std::string TIsamFile::ErrorText() const
{
    const std::string server = FServerCode ? ServerErrorText(FLastError) : std::string();
    return server.empty() ? ErrorText(FLastError) : server;
}

std::string TIsamFile::ServerErrorText(int code)
{
    switch (code) {
    case kivserver::kCodeUnreachable:
        return "Board server unreachable";
    case kivserver::kCodeNoSchema:
        return "The database holds no Kiv board (kivctl server init sets one up)";
    case kivserver::kCodeNewerSchema:
        return "The board on the server was set up by a later version of Kiv";
    default:
        return std::string();
    }
}

std::string TIsamFile::ErrorText(int code)
{
    constexpr int count = int(sizeof kErrorTexts / sizeof kErrorTexts[0]);
    if (code >= 0 && code < count && kErrorTexts[code] != nullptr)
        return kErrorTexts[code];
    return "Unknown error";
}

std::string TIsamFile::ErrorInfo(int code)
{
    if (code == 0)
        return "No error has occured";
    if (code >= 1 && code <= 23)
        return std::string();
    return "There is no further information for this error";
}
