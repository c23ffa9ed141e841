// TUser: one user of the board, as the users dataset holds them.
#pragma once

#include <cstdint>
#include <string>

/// One user as the users dataset holds them.
class TUser {
public:
    std::string Name;
    std::string Status;
    std::string Updated;
    std::string Comments;
    std::string LogInName;
    std::string Ext;
    std::string Department;
    int16_t Administrator = 0;
};
