// The login name under which the user is known on the board.
#pragma once

#include <string>

/// The effective user's login name with a to z made A to Z and every other byte
/// unchanged; empty when it cannot be read.
std::string CurrentLoginName();

/// name with the letters a to z made A to Z and every other byte unchanged.
std::string UpperCaseLogin(std::string name);
