// Reaches the engine as every caller does: dlopen of VBIS4032.DLL from the
// program's folder and dlsym of its fifteen entry points. Shared by the
// engine's tests, its worker program and the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vbis/BStr.h"
#include "vbis/Vbis4032.h"

namespace vbistest {

struct TEngineApi {
    TVmxCreate Create = nullptr;
    TVmxOpen Open = nullptr;
    TVmxClose Close = nullptr;
    TVmxGet Get = nullptr;
    TVmxPut Put = nullptr;
    TVmxDelete Delete = nullptr;
    TVmxBOF BOF = nullptr;
    TVmxEOF EOF_ = nullptr;
    TVmxInfo Info = nullptr;
    TVmxLock Lock = nullptr;
    TVmxUnlock Unlock = nullptr;
    TVmxKill Kill = nullptr;
    TVmxReadNote ReadNote = nullptr;
    TVmxWriteNote WriteNote = nullptr;
    TVmxFetchField FetchField = nullptr;
};

/// The loaded engine; aborts the program with a message when it cannot be loaded.
const TEngineApi &Engine();

/// The folder the running program lives in.
std::string ProgramFolder();

/// VmxCreate with the values the system passes (key length 10 unless given).
int16_t CreateDataset(const std::string &path, const std::string &format, int16_t keyLength = 10);

/// One open dataset handle, closed when it goes.
class TOpenDataset {
public:
    TOpenDataset() = default;
    ~TOpenDataset() { Close(); }
    TOpenDataset(const TOpenDataset &) = delete;
    TOpenDataset &operator=(const TOpenDataset &) = delete;

    /// VmxOpen with mode 3; the code.
    int16_t Open(const std::string &path);
    /// VmxClose; the code (0 when nothing was open).
    int16_t Close();
    int32_t Handle() const { return FHandle; }

    /// VmxPut mode 1; key is the key to file under ("" lets the engine choose)
    /// and comes back as the engine left it.
    int16_t Add(std::string &key, const void *buffer);
    int16_t Add(const std::string &key, const void *buffer);
    /// VmxPut mode 2.
    int16_t Replace(const std::string &key, const void *buffer);
    /// VmxDelete.
    int16_t Delete(const std::string &key);
    /// VmxGet; the record key read goes to foundKey ("" when none came back).
    int16_t Get(int16_t index, int16_t readMode, const std::string &key, void *buffer, std::string *foundKey = nullptr);
    int16_t Top(int16_t index);
    int16_t Bottom(int16_t index);
    /// VmxInfo.
    /// VmxInfo; the texts it returns are freed, the format string kept in format.
    int16_t Info(TIsamInfoRec &info, std::string *format = nullptr);

private:
    int32_t FHandle = 0;
};

/// A temporary folder of the test's own, removed with everything in it.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder &) = delete;
    TTempFolder &operator=(const TTempFolder &) = delete;
    const std::string &Path() const { return FPath; }
    /// Path of name inside the folder.
    std::string operator/(std::string_view name) const { return FPath + "/" + std::string(name); }

private:
    std::string FPath;
};

/// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string &path);
/// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListFolder(const std::string &path);
/// Replaces the content of a file.
void WriteFile(const std::string &path, std::string_view content);

/// Runs SQLite's integrity check on a data file with a connection of its own;
/// "ok" when it passes.
std::string IntegrityCheck(const std::string &isdPath);

} // namespace vbistest
