// The users dataset KivDB31: its name, its format and the layout of its
// 429-byte record, in one place, and copying a user to and from a record.
#pragma once

#include "board/KivText.h"
#include "board/User.h"

#include <array>
#include <cstdint>
#include <string>

namespace UserRecord {

/// The dataset's base name in the board database folder.
inline constexpr const char *DatasetName = "KivDB31";
/// The engine's format string of the record.
inline constexpr const char *Format = "%,$*51,$*31,$*11,$*21,$*51,X$*21,$*31,$*51,$*51,$*51,$*51,%,%,%";
/// Record numbers are ten digits.
inline constexpr int16_t KeyLength = 10;
/// The mode every dataset of the board is opened in.
inline constexpr int16_t OpenMode = 3;
/// The record number index.
inline constexpr int16_t NumberIndex = 0;
/// The index on LogInName: the key of a user.
inline constexpr int16_t LoginIndex = 7;

inline constexpr TField Administrator{0, 2};
inline constexpr TField Name{2, 51};
inline constexpr TField Status{53, 31};
inline constexpr TField Ext{84, 11};
inline constexpr TField Department{95, 21};
inline constexpr TField Comments{116, 51};
inline constexpr TField LogInName{167, 21};
inline constexpr TField Updated{188, 31};
// Never written: zero when added, kept as stored on every replace.
inline constexpr TField Reserved9{219, 51};
inline constexpr TField Reserved10{270, 51};
inline constexpr TField Reserved11{321, 51};
inline constexpr TField Reserved12{372, 51};
inline constexpr TField Reserved13{423, 2};
inline constexpr TField Reserved14{425, 2};
inline constexpr TField Reserved15{427, 2};

/// The record's length in bytes.
inline constexpr std::size_t Size = 429;

/// The fields in buffer order, packed without gaps, as the format lists them.
inline constexpr std::array<TField, 15> Fields{Administrator, Name,       Status,     Ext,        Department,
                                               Comments,      LogInName,  Updated,    Reserved9,  Reserved10,
                                               Reserved11,    Reserved12, Reserved13, Reserved14, Reserved15};

constexpr bool Packed()
{
    std::size_t offset = 0;
    for (const TField &field : Fields) {
        if (field.Offset != offset)
            return false;
        offset = field.End();
    }
    return offset == Size;
}
static_assert(Packed(), "the user record's fields must follow each other without gaps");

/// One record as the engine reads and writes it.
using TBuffer = std::array<char, Size>;

/// The longest login stored as it is: the field's width less one.
inline constexpr std::size_t LoginMax = LogInName.Width - 1;

/// A login name as it is stored and looked up, the same on every workstation:
/// a login of up to LoginMax bytes as it is; a longer one as the first 11
/// bytes of the upper-cased login (fewer when a character would be split), "~"
/// and the eight upper-case hexadecimal digits of the FNV-1a 32-bit hash of
/// the whole upper-cased login. Two long logins that begin alike thus keep
/// records, messages and alert files of their own.
std::string LoginKey(std::string_view login);

} // namespace UserRecord

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
