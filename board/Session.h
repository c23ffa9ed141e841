// The signed-in user and the program-wide switches, held in one object that
// the main window owns and passes by reference to whoever reads or sets them.
#pragma once

#include "board/User.h"

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
