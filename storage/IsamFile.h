// TIsamFile: the one door to the ISAM engine VBIS4032.DLL.
//
// An instance stands for one dataset at a time. It never raises and never
// shows anything: every operation answers true or false and leaves the
// engine's code (or its own refusal) in LastError, from which the caller builds
// its message with ErrorText.
#pragma once

#include <cstdint>
#include <string>

struct TVbisEntryPoints;

class TIsamFile {
public:
    /// How many times AddRecord files a record under a freshly computed key
    /// when another workstation took the one it computed a moment before.
    static constexpr int AddAttempts = 16;

    /// Loads the engine: by the loader's search when engineFolder is empty,
    /// else the file VBIS4032.DLL in that folder.
    explicit TIsamFile(const std::string &engineFolder = std::string());
    /// Closes a dataset left open; the engine stays loaded.
    ~TIsamFile();
    TIsamFile(const TIsamFile &) = delete;
    TIsamFile &operator=(const TIsamFile &) = delete;

    /// A dataset is open through this instance.
    bool IsOpen() const { return FIsOpen; }
    /// The engine's handle of the open dataset; 0 when none is open.
    int32_t Handle() const { return FHandle; }
    /// The path of the open dataset, as passed to OpenDataset; empty when closed.
    const std::string &FileName() const { return FFileName; }
    /// The record key of the record last read, added or replaced.
    const std::string &LastKey() const { return FLastKey; }
    /// The code of the last engine call or of the wrapper's own refusal.
    int16_t LastError() const { return FLastError; }
    /// The engine was loaded and all fifteen entry points resolved.
    bool EngineLoaded() const { return FEngine != nullptr; }

    /// Creates the dataset path (folder and base name); it is not opened.
    bool CreateDataset(const std::string &path, int16_t keyLength, const std::string &format);
    /// Opens the dataset path in the given mode, when its format string is
    /// format: the record buffers of the caller are laid out by it, and a
    /// dataset of any other layout (damaged, or made by someone else to
    /// overrun them) is closed again and refused with code 8.
    bool OpenDataset(const std::string &path, int16_t mode, const std::string &format);
    /// Closes the open dataset; on failure the instance stays open.
    bool CloseDataset();
    /// Adds the record in buffer under key; an empty key files it under NextKey.
    bool AddRecord(void *buffer, const std::string &key = std::string());
    /// Replaces the record filed under key with buffer.
    bool ReplaceRecord(void *buffer, const std::string &key);
    /// Reads into buffer the record whose value of index equals key.
    bool ReadEqual(void *buffer, int16_t index, const std::string &key);
    /// Reads into buffer the record after the current position on index.
    bool ReadNext(void *buffer, int16_t index, const std::string &key = std::string(), int16_t option = 16);
    /// Reads into buffer the record before the current position on index.
    bool ReadPrevious(void *buffer, int16_t index, const std::string &key = std::string(), int16_t option = 16);
    /// Erases the record filed under key.
    bool DeleteRecord(const std::string &key);
    /// Positions before the first record of index.
    bool GotoTop(int16_t index);
    /// Positions after the last record of index.
    bool GotoBottom(int16_t index);
    /// The dataset's key length, or -1 when the engine cannot tell it; while
    /// a dataset is open, the one its open learned, without an engine call.
    int16_t KeyLength();
    /// The key for a new record: the highest key plus one, padded with zeros to
    /// the key length; empty when the end of the dataset cannot be reached.
    std::string NextKey();
    /// The text for LastError. A code a board server's dataset answered for
    /// the server itself (unreachable, no board schema, a later schema) gets a
    /// text that says so, not the engine's text for the code.
    std::string ErrorText() const;
    /// The further information for LastError.
    std::string ErrorInfo() const { return ErrorInfo(FLastError); }

    /// The text for an engine or wrapper code.
    static std::string ErrorText(int code);
    /// The text for a code that a board server's dataset answered; empty for
    /// a code that means what the engine's text says.
    static std::string ServerErrorText(int code);
    /// The further information for an engine or wrapper code.
    static std::string ErrorInfo(int code);
    /// The file name of the engine to load for engineFolder.
    static std::string LibraryPath(const std::string &engineFolder);

private:
    bool Refuse(int16_t code);
    /// VmxInfo on handle: the key length and, when format is given, the
    /// format string; the engine's code. The texts it returns are freed.
    int16_t AskInfo(int32_t &handle, int16_t &keyLength, std::string *format);
    /// False, with the refusal's code, unless the engine is there and a dataset open.
    bool ReadyForRecords();
    bool Put(void *buffer, const std::string &key, int16_t mode);
    bool Get(void *buffer, int16_t index, const std::string &key, int readMode);

    bool FIsOpen = false;
    int32_t FHandle = 0;
    /// The key length of the open dataset, as its open learned it; a
    /// dataset's key length never changes after its creation.
    int16_t FOpenKeyLength = -1;
    std::string FFileName;
    std::string FLastKey;
    int16_t FLastError = 0;
    /// LastError is what the engine answered for a dataset of a board server.
    bool FServerCode = false;
    const TVbisEntryPoints *FEngine = nullptr;
};
