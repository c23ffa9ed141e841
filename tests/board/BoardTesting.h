// Reading a board's users dataset behind TKivFile's back, for the tests.
#pragma once

#include "board/KivFile.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/KivError.h"
#include "storage/IsamFile.h"

#include <string>
#include <utility>
#include <vector>

struct TStoredUser {
    std::string Key;
    TUser User;
    UserRecord::TBuffer Bytes;
};

/// Every record of the users dataset in folder, in record-number order.
inline std::vector<TStoredUser> StoredUsers(const std::string &folder)
{
    std::vector<TStoredUser> users;
    TIsamFile isam;
    if (!isam.OpenDataset(folder + "/" + UserRecord::DatasetName, UserRecord::OpenMode))
        return users;
    isam.GotoTop(UserRecord::NumberIndex);
    UserRecord::TBuffer bytes{};
    while (isam.ReadNext(bytes.data(), UserRecord::NumberIndex))
        users.push_back({isam.LastKey(), GetUserFields(bytes.data()), bytes});
    isam.CloseDataset();
    return users;
}

/// The message of the EKivError that op raises; empty when it raises none.
template <typename Op>
std::string RaisedText(Op op)
{
    try {
        op();
    } catch (const EKivError &error) {
        return error.what();
    }
    return std::string();
}
