#include "config/XRegistry.h"

#include "platform/KivError.h"

TXRegistry::~TXRegistry()
{
    if (FStore.IsOpen())
        FStore.Save();
}

bool TXRegistry::OpenKey(const std::string &key, bool canCreate)
{
    if (FStore.IsOpen())
        CloseKey();
    if (!FStore.Open(key, canCreate))
        return false;
    FCurrentPath = key;
    return true;
}

void TXRegistry::CloseKey()
{
    if (!FStore.IsOpen())
        return;
    const bool saved = FStore.Save();
    const std::string error = FStore.LastError();
    FStore.Close();
    FCurrentPath.clear();
    if (!saved)
        throw EKivError(error);
}

bool TXRegistry::ValueExists(const std::string &name) const
{
    return FStore.Kind(name) != TValueKind::Missing;
}

void TXRegistry::FailToSet(const std::string &name) const
{
    throw EKivError("Failed to set data for '" + name + "'");
}

void TXRegistry::WriteInteger(const std::string &name, int32_t value)
{
    if (!FStore.WriteInteger(name, value))
        FailToSet(name);
}

void TXRegistry::WriteBool(const std::string &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TXRegistry::WriteString(const std::string &name, const std::string &value)
{
    if (!FStore.WriteText(name, value))
        FailToSet(name);
}

int32_t TXRegistry::ReadIntegerDef(const std::string &name, int32_t def)
{
    int32_t value = 0;
    if (FStore.ReadInteger(name, value))
        return value;
    WriteInteger(name, def);
    return def;
}

bool TXRegistry::ReadBoolDef(const std::string &name, bool def)
{
    int32_t value = 0;
    if (FStore.ReadInteger(name, value))
        return value != 0;
    WriteBool(name, def);
    return def;
}

std::string TXRegistry::ReadStringDef(const std::string &name, const std::string &def)
{
    std::string value;
    const bool isText = FStore.ReadText(name, value);
    if (isText && !value.empty())
        return value;
    // An empty text whose default is empty already holds what would be
    // written; writing it again would only replace the file at every load.
    if (!isText || value != def)
        WriteString(name, def);
    return def;
}
