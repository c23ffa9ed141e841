// Registry access for the settings block: keys of the current user's settings
// store, with the read-with-default operations that write the default back.
#pragma once

#include "platform/SettingsStore.h"

#include <cstdint>
#include <string>

/// One open key of the current user's settings store. Writes are kept until
/// the key is closed, then written to the store in one atomic step.
class TXRegistry {
public:
    TXRegistry() = default;
    /// Closes the key; changes not yet written are written, and a failure to do so is
    /// dropped (a destructor cannot raise): call CloseKey to hear of it.
    ~TXRegistry();
    TXRegistry(const TXRegistry &) = delete;
    TXRegistry &operator=(const TXRegistry &) = delete;

    /// Opens key under the current user, creating it when canCreate; false when it can be
    /// neither opened nor created. An open key is closed first.
    bool OpenKey(const std::string &key, bool canCreate);
    /// Writes the changes to the store and closes the key; raises EKivError with the
    /// store's reason when they cannot be written (the key is closed either way).
    void CloseKey();
    /// Why the last OpenKey failed: the settings file's path and the reason.
    const std::string &LastError() const { return FStore.LastError(); }
    /// The path of the open key; empty when none is open.
    const std::string &CurrentPath() const { return FCurrentPath; }

    /// True when the open key holds a value named name (any letter case).
    bool ValueExists(const std::string &name) const;

    /// Sets name to a 32-bit integer; raises EKivError when it cannot be set.
    void WriteInteger(const std::string &name, int32_t value);
    /// Sets name to 1 or 0; raises EKivError when it cannot be set.
    void WriteBool(const std::string &name, bool value);
    /// Sets name to a text; raises EKivError when it cannot be set.
    void WriteString(const std::string &name, const std::string &value);

    /// The integer named name; when it is missing or not an integer, def, written back.
    int32_t ReadIntegerDef(const std::string &name, int32_t def);
    /// True when the integer named name is non-zero; when it is missing or not an
    /// integer, def, written back as 1 or 0.
    bool ReadBoolDef(const std::string &name, bool def);
    /// The text named name; when it is missing, not a text or empty, def, written back
    /// unless the store already holds it (an empty text whose default is empty).
    std::string ReadStringDef(const std::string &name, const std::string &def);

private:
    [[noreturn]] void FailToSet(const std::string &name) const;

    TSettingsStore FStore;
    std::string FCurrentPath;
};
