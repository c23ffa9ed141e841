// The signed-in user and the program-wide switches, held in one object that
// the main window owns and passes by reference to whoever reads or sets them.
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

/// Program-wide state: the signed-in user, the administrator flag and the
/// show-offline switch.
class TSession {
public:
    TUser User;
    /// The signed-in user is an administrator of the board.
    bool Administrator = false;
    /// The board lists users whose status is "Offline".
    bool ShowOffline = false;
};
