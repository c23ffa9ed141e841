// Status changes of TKivFile: the signed-in user's own status, the status of
// the user of a selected board row, and the activity log line of each real
// change.
#include "board/KivFile.h"

#include "board/ActivityLog.h"
#include "board/DatasetGuard.h"
#include "board/KivText.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"

namespace {

std::string InQuotes(const std::string &text)
{
    return "\"" + text + "\"";
}

// A status as the record holds it, so that a change is judged by what is
// stored and not by characters the field could not keep.
std::string StoredStatus(const std::string &status)
{
    return CutText(status, UserRecord::Status.Width - 1);
}

} // namespace

void TKivFile::SetStatus()
{
    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to update status - unable to access the Kiv database location " + InQuotes(folder));

    TUser &user = FCtx.Session.User;
    const std::string newStatus = StoredStatus(user.Status);
    std::string oldStatus;
    {
        TDatasetGuard guard(FIsamFile);
        OpenOrRaise("Unable to open dataset - ");
        UserRecord::TBuffer record{};
        if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, LoginUser.LogInName))
            throw EKivError("Unable to perform lookup on user " + LoginUser.LogInName + " " + FIsamFile.ErrorText());
        const std::string key = FIsamFile.LastKey();
        oldStatus = GetText(record.data(), UserRecord::Status);

        // The object takes the record's details; its Status is the new one.
        TUser stored = GetUserFields(record.data());
        stored.Status = user.Status;
        user = std::move(stored);

        PutUserFields(record.data(), user);
        PutText(record.data(), UserRecord::Updated, NowText(FCtx.Clock));
        FCtx.Session.Administrator = user.Administrator == 1;
        FCtx.Host.SetTrayStatusImage(StatusImageIndex(newStatus));
        if (!FIsamFile.ReplaceRecord(record.data(), key))
            throw EKivError("Unable to replace record - " + FIsamFile.ErrorText());
    }
    // The record is stored and the dataset closed before the log is written,
    // so a log that cannot be reached never costs the new status.
    if (oldStatus != newStatus)
        LogStatusChange(user.Name, user.LogInName, oldStatus, newStatus);
}

TOwnStatus TKivFile::ReadOwnStatus()
{
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");
    UserRecord::TBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, LoginUser.LogInName))
        throw EKivError("Unable to perform lookup on user " + LoginUser.LogInName + " " + FIsamFile.ErrorText());
    return {GetText(record.data(), UserRecord::Status), GetText(record.data(), UserRecord::Comments),
            GetText(record.data(), UserRecord::Updated)};
}

std::optional<TOwnStatus> TKivFile::ReplaceOwnStatus(const TOwnStatus &expected, const std::string &status,
                                                     const std::string &comments)
{
    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to update status - unable to access the Kiv database location " + InQuotes(folder));

    TUser &user = FCtx.Session.User;
    const std::string newStatus = StoredStatus(status);
    TOwnStatus stored;
    {
        TDatasetGuard guard(FIsamFile);
        OpenOrRaise("Unable to open dataset - ");
        UserRecord::TBuffer record{};
        if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, LoginUser.LogInName))
            throw EKivError("Unable to perform lookup on user " + LoginUser.LogInName + " " + FIsamFile.ErrorText());
        const TOwnStatus now{GetText(record.data(), UserRecord::Status), GetText(record.data(), UserRecord::Comments),
                             GetText(record.data(), UserRecord::Updated)};
        if (!(now == expected))
            return std::nullopt;
        const std::string key = FIsamFile.LastKey();
        PutText(record.data(), UserRecord::Status, newStatus);
        PutText(record.data(), UserRecord::Comments, comments);
        PutText(record.data(), UserRecord::Updated, NowText(FCtx.Clock));
        if (!FIsamFile.ReplaceRecord(record.data(), key))
            throw EKivError("Unable to replace record - " + FIsamFile.ErrorText());
        stored = {GetText(record.data(), UserRecord::Status), GetText(record.data(), UserRecord::Comments),
                  GetText(record.data(), UserRecord::Updated)};
        user = GetUserFields(record.data());
        FCtx.Session.Administrator = user.Administrator == 1;
        FCtx.Host.SetTrayStatusImage(StatusImageIndex(newStatus));
    }
    if (expected.Status != stored.Status)
        LogStatusChange(user.Name, user.LogInName, expected.Status, stored.Status);
    return stored;
}

void TKivFile::SetStatusOfSelected(IBoardList &list, const std::string &newStatus)
{
    const std::optional<TBoardRow> row = list.SelectedRow();
    if (!row)
        throw EKivError("Unable to update status - no user is selected on the board");
    const std::string &name = row->Caption;
    const std::string login = UserRecord::LoginKey(row->SubItems[TBoardRow::Login]);

    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to update user - unable to access the Kiv database location " + InQuotes(folder));

    const std::string stored = StoredStatus(newStatus);
    std::string oldStatus;
    {
        TDatasetGuard guard(FIsamFile);
        if (!FIsamFile.OpenDataset(DatasetPath(), UserRecord::OpenMode, UserRecord::Format))
            throw EKivError("Unable to open dataset\r\r"
                            "Please check that you have network permissions and rights to the database folder");
        UserRecord::TBuffer record{};
        if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, login))
            throw EKivError("Unable to perform lookup on user " + login + " " + FIsamFile.ErrorText());
        const std::string key = FIsamFile.LastKey();
        oldStatus = GetText(record.data(), UserRecord::Status);
        PutText(record.data(), UserRecord::Status, stored);
        PutText(record.data(), UserRecord::Updated, NowText(FCtx.Clock));
        if (!FIsamFile.ReplaceRecord(record.data(), key))
            throw EKivError("Unable to replace record - " + FIsamFile.ErrorText());
    }
    if (oldStatus != stored)
        LogStatusChange(name, login, oldStatus, stored);
}

void TKivFile::LogStatusChange(const std::string &name, const std::string &login, const std::string &oldStatus,
                               const std::string &newStatus)
{
    const TLogEntry entry{name, login, oldStatus, newStatus};
    switch (LoggingType) {
    case 1:
        Location().AppendLog(TActivityLog::Text, entry, FCtx.Clock, LogPause);
        break;
    case 2:
        Location().AppendLog(TActivityLog::Csv, entry, FCtx.Clock, LogPause);
        break;
    default:
        // 0 asks for no log; any other value is not a log this board knows.
        break;
    }
}
