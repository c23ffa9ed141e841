#include "platform/LoginName.h"

#include "platform/UserEntry.h"

std::string UpperCaseLogin(std::string name)
{
    // Only ASCII letters: a locale's upper-casing would change other bytes of
    // a UTF-8 name, and every workstation must derive the same key.
    for (char &c : name)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return name;
}

std::string CurrentLoginName()
{
    TUserEntry entry;
    return ReadUserEntry(entry) ? UpperCaseLogin(entry.Name) : std::string();
}
