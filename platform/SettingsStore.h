// The per-user typed settings store: keys of named 32-bit integer and text
// values, names matched without regard to letter case. Each key is one
// human-readable text file under the configuration folder; the key
// "\Software\Brackwater\Kiv" is $XDG_CONFIG_HOME/Brackwater/Kiv.conf:
//
//     # comment
//     MainHeight = 405
//     KivDBasePath = "/srv/board/"
//
// A text is quoted; \\, \", \n, \r, \t and \xHH inside the quotes stand for a
// backslash, a quote, the three control characters and any byte.
//
// A session reads the file when it opens and keeps its own writes; saving
// takes a lock beside the file, reads the file again, lays the session's
// writes over what is there now (another process may have saved meanwhile),
// and replaces the file atomically. A reader never sees half a file, and of
// two sessions writing the same value the later save wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// What a value holds.
enum class TValueKind { Missing, Integer, Text };

/// One named value of a key.
struct TStoredValue {
    std::string Name;
    TValueKind Kind = TValueKind::Missing;
    int32_t Integer = 0;
    std::string Text;
};

/// The values read from a store file; Damaged when some of it could not be read.
struct TStoreContent {
    std::vector<TStoredValue> Values;
    bool Damaged = false;
};

/// Reads the text of a store file; unreadable lines are left out and mark it damaged.
TStoreContent ParseStoreText(std::string_view text);

/// The text of a store file holding values, headed by a comment naming the key.
std::string FormatStoreText(const std::vector<TStoredValue> &values, std::string_view keyPath);

/// True when name can be stored: not empty, valid UTF-8, no control character,
/// no '=', no blank at either end.
bool IsValidValueName(std::string_view name);

/// One open key of the store.
class TSettingsStore {
public:
    TSettingsStore() = default;
    TSettingsStore(const TSettingsStore &) = delete;
    TSettingsStore &operator=(const TSettingsStore &) = delete;

    /// Opens the key (creating it and its folders when create is set); false, with
    /// LastError saying why, when it can be neither opened nor created.
    bool Open(std::string_view keyPath, bool create);
    /// True while a key is open.
    bool IsOpen() const { return FOpen; }
    /// True when the file read at opening held lines that could not be read.
    bool WasDamaged() const { return FDamaged; }
    /// The file that holds the open key.
    const std::string &FilePath() const { return FPath; }
    /// Why the last failed operation failed.
    const std::string &LastError() const { return FError; }

    /// The kind of the value named name (any letter case).
    TValueKind Kind(std::string_view name) const;
    /// The integer named name; false when it is missing or holds a text.
    bool ReadInteger(std::string_view name, int32_t &value) const;
    /// The text named name; false when it is missing or holds an integer.
    bool ReadText(std::string_view name, std::string &value) const;

    /// Sets name to an integer; false when no key is open or the name cannot be stored.
    bool WriteInteger(std::string_view name, int32_t value);
    /// Sets name to a text; false when no key is open or the name cannot be stored.
    bool WriteText(std::string_view name, std::string_view value);

    /// Writes the session's changes to the file (nothing when there are none); false,
    /// with LastError, when they could not be written; the old file is then untouched.
    bool Save();
    /// Ends the session without writing; unsaved changes are dropped.
    void Close();

    /// The file that holds keyPath under configFolder, matching existing folders and
    /// files without regard to case; empty when keyPath names no usable key.
    static std::string FileForKey(std::string_view keyPath, const std::string &configFolder);

private:
    bool Write(TStoredValue value);
    bool Fail(std::string message);

    bool FOpen = false;
    bool FDamaged = false;
    std::string FKeyPath;
    std::string FPath;
    std::string FError;
    std::vector<TStoredValue> FValues;  // the file as read, with the session's writes over it
    std::vector<TStoredValue> FPending; // the session's writes, to lay over the file at saving
};
