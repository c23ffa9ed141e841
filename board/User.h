// TUser and the users record: making the first user of a login, and copying a
// user to and from the record's fields.
#pragma once

#include "board/Session.h"

#include <string>

/// The user a login starts as: Name and LogInName the login, Status
/// "Available", Updated nowText, no comment, extension or department, not an
/// administrator.
TUser InitialUser(const std::string &login, const std::string &nowText);

/// Writes Administrator, Name, Status, Ext, Department, Comments and LogInName
/// of user into a users record, each cut to its field; Updated and the
/// reserved fields are left as they are.
void PutUserFields(char *record, const TUser &user);

/// The user a users record holds, Updated included.
TUser GetUserFields(const char *record);
