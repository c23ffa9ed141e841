#include "board/UserRecord.h"

#include "platform/LoginName.h"

#include <cstdio>

namespace {

// The start of a long login that its stored form keeps, before "~" and the
// eight digits of its hash: 11 + 1 + 8 bytes fill the field.
constexpr std::size_t kLongLoginStart = 11;

// FNV-1a, 32 bits: small, well defined and the same on every machine.
uint32_t LoginHash(std::string_view text)
{
    uint32_t hash = 2166136261u;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace

std::string UserRecord::LoginKey(std::string_view login)
{
    if (login.size() <= LoginMax)
        return std::string(login);
    const std::string upper = UpperCaseLogin(std::string(login));
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08X", unsigned(LoginHash(upper)));
    return CutText(upper, kLongLoginStart) + "~" + digits;
}

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
