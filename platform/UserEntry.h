// The effective user's entry in the password database.
#pragma once

#include <string>

/// What the program needs of the effective user's password entry.
struct TUserEntry {
    std::string Name;
    std::string Home;
};

/// Reads the effective user's password entry (getpwuid_r); false when there is none.
bool ReadUserEntry(TUserEntry &entry);
