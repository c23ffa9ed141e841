#include "board/UserRecord.h"

TUser InitialUser(const std::string &login, const std::string &nowText)
{
    TUser user;
    user.Name = login;
    user.Status = "Available";
    user.Updated = nowText;
    user.LogInName = login;
    user.Administrator = 0;
    return user;
}

void PutUserFields(char *record, const TUser &user)
{
    PutInt16(record, UserRecord::Administrator, user.Administrator);
    PutText(record, UserRecord::Name, user.Name);
    PutText(record, UserRecord::Status, user.Status);
    PutText(record, UserRecord::Ext, user.Ext);
    PutText(record, UserRecord::Department, user.Department);
    PutText(record, UserRecord::Comments, user.Comments);
    PutText(record, UserRecord::LogInName, UserRecord::LoginKey(user.LogInName));
}

TUser GetUserFields(const char *record)
{
    TUser user;
    user.Administrator = GetInt16(record, UserRecord::Administrator);
    user.Name = GetText(record, UserRecord::Name);
    user.Status = GetText(record, UserRecord::Status);
    user.Ext = GetText(record, UserRecord::Ext);
    user.Department = GetText(record, UserRecord::Department);
    user.Comments = GetText(record, UserRecord::Comments);
    user.LogInName = GetText(record, UserRecord::LogInName);
    user.Updated = GetText(record, UserRecord::Updated);
    return user;
}
