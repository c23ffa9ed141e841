#include "EngineApi.h"

#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <ftw.h>
#include <limits.h>
#include <sqlite3.h>
#include <sstream>
#include <unistd.h>

namespace vbistest {

namespace {

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "engine test kit: %s\n", what.c_str());
    std::abort();
}

template <class T>
void Resolve(void *library, const char *name, T &out)
{
    out = reinterpret_cast<T>(::dlsym(library, name));
    if (out == nullptr)
        Fail(std::string("entry point missing: ") + name);
}

TEngineApi Load()
{
    // The bare name is found through the program's RUNPATH ($ORIGIN), as the
    // board program finds it; the program's folder is the fallback.
    void *library = ::dlopen(VBIS_ENGINE_FILE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        library = ::dlopen((ProgramFolder() + "/" VBIS_ENGINE_FILE).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        Fail(std::string("cannot load ") + VBIS_ENGINE_FILE + ": " + ::dlerror());
    TEngineApi api;
    Resolve(library, "VmxCreate", api.Create);
    Resolve(library, "VmxOpen", api.Open);
    Resolve(library, "VmxClose", api.Close);
    Resolve(library, "VmxGet", api.Get);
    Resolve(library, "VmxPut", api.Put);
    Resolve(library, "VmxDelete", api.Delete);
    Resolve(library, "VmxBOF", api.BOF);
    Resolve(library, "VmxEOF", api.EOF_);
    Resolve(library, "VmxInfo", api.Info);
    Resolve(library, "VmxLock", api.Lock);
    Resolve(library, "VmxUnlock", api.Unlock);
    Resolve(library, "VmxKill", api.Kill);
    Resolve(library, "VmxReadNote", api.ReadNote);
    Resolve(library, "VmxWriteNote", api.WriteNote);
    Resolve(library, "VmxFetchField", api.FetchField);
    return api; // never unloaded, as in the board program
}

int RemoveOne(const char *path, const struct stat *, int, struct FTW *)
{
    ::chmod(path, 0700);
    ::remove(path);
    return 0;
}

} // namespace

const TEngineApi &Engine()
{
    static const TEngineApi api = Load();
    return api;
}

std::string ProgramFolder()
{
    return FolderOf(ProgramPath());
}

int16_t CreateDataset(const std::string &path, const std::string &format, int16_t keyLength)
{
    TBStr p(path), f(format);
    int32_t zero32 = 0;
    int16_t zeroA = 0, zeroB = 0;
    return Engine().Create(p.Ref(), &keyLength, &zero32, &zeroA, &zeroB, f.Ref());
}

int16_t TOpenDataset::Open(const std::string &path)
{
    TBStr p(path);
    int16_t zero = 0, mode = 3;
    return Engine().Open(p.Ref(), &zero, &mode, &FHandle);
}

int16_t TOpenDataset::Close()
{
    if (FHandle == 0)
        return VBIS_OK;
    const int16_t code = Engine().Close(&FHandle);
    if (code == VBIS_OK)
        FHandle = 0;
    return code;
}

int16_t TOpenDataset::Add(std::string &key, const void *buffer)
{
    TBStr k(key);
    int16_t mode = VBIS_PUT_ADD;
    const int16_t code = Engine().Put(&FHandle, k.Ref(), const_cast<void *>(buffer), &mode);
    key = k.Bytes();
    return code;
}

int16_t TOpenDataset::Add(const std::string &key, const void *buffer)
{
    std::string copy = key;
    return Add(copy, buffer);
}

int16_t TOpenDataset::Replace(const std::string &key, const void *buffer)
{
    TBStr k(key);
    int16_t mode = VBIS_PUT_REPLACE;
    return Engine().Put(&FHandle, k.Ref(), const_cast<void *>(buffer), &mode);
}

int16_t TOpenDataset::Delete(const std::string &key)
{
    TBStr k(key);
    return Engine().Delete(&FHandle, k.Ref());
}

int16_t TOpenDataset::Get(int16_t index, int16_t readMode, const std::string &key, void *buffer, std::string *foundKey)
{
    TBStr k(key), text, found;
    const int16_t code = Engine().Get(&FHandle, &index, &readMode, k.Ref(), text.Ref(), found.Ref(), buffer);
    if (foundKey != nullptr)
        *foundKey = found.Bytes();
    return code;
}

int16_t TOpenDataset::Top(int16_t index)
{
    return Engine().BOF(&FHandle, &index);
}
int16_t TOpenDataset::Bottom(int16_t index)
{
    return Engine().EOF_(&FHandle, &index);
}

int16_t TOpenDataset::Info(TIsamInfoRec &info, std::string *format)
{
    info = TIsamInfoRec{};
    const int16_t code = Engine().Info(&FHandle, &info);
    if (format != nullptr)
        *format = info.text1 == nullptr ? std::string() : std::string(info.text1, SysStringByteLen(info.text1));
    SysFreeString(info.text1);
    SysFreeString(info.text2);
    info.text1 = info.text2 = nullptr;
    return code;
}

TTempFolder::TTempFolder()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vbis-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        Fail("mkdtemp failed: " + std::string(std::strerror(errno)));
    FPath = pattern;
}

TTempFolder::~TTempFolder()
{
    ::nftw(FPath.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> ListFolder(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(path.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteFile(const std::string &path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), std::streamsize(content.size()));
}

std::string IntegrityCheck(const std::string &isdPath)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(isdPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open";
    }
    sqlite3_busy_timeout(db, 10000);
    std::string result;
    sqlite3_exec(
        db, "PRAGMA integrity_check",
        [](void *out, int n, char **values, char **) {
            auto &text = *static_cast<std::string *>(out);
            if (!text.empty())
                text += "\n";
            text += n > 0 && values[0] != nullptr ? values[0] : "";
            return 0;
        },
        &result, nullptr);
    sqlite3_close(db);
    return result.empty() ? "no answer" : result;
}

} // namespace vbistest
