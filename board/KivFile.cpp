#include "board/KivFile.h"

#include "board/CreationWait.h"
#include "board/DatasetGuard.h"
#include "board/EngineCheck.h"
#include "board/KivText.h"
#include "board/User.h"
#include "board/UserRecord.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/LoginName.h"
#include "platform/Text.h"
#include "vbis/Vbis4032.h"

#include <chrono>
#include <thread>

namespace {

// How long a sign-in on a board without users waits for the workstation that
// created it to add its first user, and the pause between two looks.
constexpr auto kFirstUserWait = std::chrono::seconds(3);
constexpr auto kFirstUserPause = std::chrono::milliseconds(50);

constexpr const char *kRightsHint = "Please check that you have network permissions and rights to the database folder";

std::string Quoted(const std::string &text)
{
    return "\"" + text + "\"";
}

} // namespace

TKivFile::TKivFile(const std::string &folder, TBoardContext &ctx) : TKivFile(folder, ctx, CurrentLoginName()) {}

TKivFile::TKivFile(const std::string &folder, TBoardContext &ctx, const std::string &loginName,
                   const std::string &engineFolder)
    : LoginUser(InitialUser(UserRecord::LoginKey(UpperCaseLogin(loginName)), NowText(ctx.Clock))),
      DatabaseFolder(folder), FIsamFile(engineFolder), FCtx(ctx)
{
    RequireEngine(FIsamFile, FCtx);
    TKivCfgRecord record;
    ReadConfig(record);
}

std::string TKivFile::Folder() const
{
    if (EndsInSeparator(DatabaseFolder))
        return DatabaseFolder;
    return DatabaseFolder + '/';
}

std::string TKivFile::DatasetPath() const
{
    return Location().DatasetPath(UserRecord::DatasetName);
}

IBoardLocation &TKivFile::Location() const
{
    if (!FLocation || FLocation->Text() != DatabaseFolder)
        FLocation = MakeBoardLocation(DatabaseFolder);
    return *FLocation;
}

void TKivFile::OpenOrRaise(const std::string &message)
{
    if (!FIsamFile.OpenDataset(DatasetPath(), UserRecord::OpenMode, UserRecord::Format))
        throw EKivError(message + FIsamFile.ErrorText());
}

bool TKivFile::OpenBoardDataset(const std::string &path)
{
    // A workstation creating the board this moment may not have finished it.
    return OpenDatasetBeingCreated(FIsamFile, path, UserRecord::OpenMode, UserRecord::Format);
}

void TKivFile::AddLoginUser(int16_t administrator)
{
    UserRecord::TBuffer record{};
    TUser user = InitialUser(LoginUser.LogInName, NowText(FCtx.Clock));
    user.Administrator = administrator;
    PutUserFields(record.data(), user);
    PutText(record.data(), UserRecord::Updated, user.Updated);
    if (!FIsamFile.AddRecord(record.data()))
        throw EKivError("Unable to Add user to Kiv Database\r\r" + FIsamFile.ErrorText());
}

void TKivFile::SignIn()
{
    if (!Location().Reachable()) {
        FCtx.Host.SetSkipSignOff();
        throw EKivError("Unable to access the Kiv database location " + Quoted(DatabaseFolder));
    }
    const std::string path = DatasetPath();
    const std::string openFailed = std::string("Unable to open KivDBase after create!\r\r") + kRightsHint;
    TDatasetGuard guard(FIsamFile);

    if (!Location().DatasetDefined(UserRecord::DatasetName)) {
        if (FIsamFile.CreateDataset(path, UserRecord::KeyLength, UserRecord::Format)) {
            if (!FIsamFile.OpenDataset(path, UserRecord::OpenMode, UserRecord::Format))
                throw EKivError(openFailed);
            AddLoginUser(1);
            FCtx.Session.Administrator = true;
            return;
        }
        // A workstation starting on the same new board a moment earlier won
        // the create; this one signs in on that dataset as an ordinary user.
        if (!Location().DatasetDefined(UserRecord::DatasetName))
            throw EKivError("Unable to create KivDBase!\r\r" + FIsamFile.ErrorText());
    }

    if (!OpenBoardDataset(path)) {
        FCtx.Host.SetSkipSignOff();
        throw EKivError(openFailed);
    }
    UserRecord::TBuffer record{};
    if (FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, LoginUser.LogInName))
        return;
    // Only a login the dataset really lacks is added: a look-up that failed
    // for another reason (a busy or damaged dataset) would add a second
    // record for a login that has one.
    if (FIsamFile.LastError() != VBIS_NOT_FOUND)
        throw EKivError("Unable to perform lookup on user " + LoginUser.LogInName + " " + FIsamFile.ErrorText());
    // A workstation that created the dataset and died before adding its
    // first user left a board without users: it is still a new board, and
    // the first user added is its administrator.
    const bool first = HoldsNoUser();
    AddLoginUser(first ? 1 : 0);
    if (first)
        FCtx.Session.Administrator = true;
}

bool TKivFile::HoldsNoUser()
{
    // The workstation that creates a board adds its first user a moment after
    // the create; a dataset still empty after a while lost its creator.
    const auto giveUp = std::chrono::steady_clock::now() + kFirstUserWait;
    for (;;) {
        // The number a new record would get: 1 while the dataset is empty.
        const std::string next = FIsamFile.NextKey();
        if (next.empty())
            throw EKivError("Unable to perform lookup on user " + LoginUser.LogInName + " " + FIsamFile.ErrorText());
        if (next != RecordNumberText(1))
            return false;
        if (std::chrono::steady_clock::now() >= giveUp)
            return true;
        std::this_thread::sleep_for(kFirstUserPause);
    }
}

void TKivFile::OpenToUpdate()
{
    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to update user - unable to access the Kiv database location " + Quoted(folder));
    if (!FIsamFile.OpenDataset(DatasetPath(), UserRecord::OpenMode, UserRecord::Format))
        throw EKivError(std::string("Unable to open dataset\r\r") + kRightsHint);
}

void TKivFile::UpdateUser()
{
    // The signed-in user's own details; the right stays as stored, since the
    // object may hold it from before another administrator changed it.
    RewriteUserRecord(FCtx.Session.User.LogInName, [&](char *record) {
        TUser user = FCtx.Session.User;
        user.Administrator = GetInt16(record, UserRecord::Administrator);
        PutUserFields(record, user);
    });
}

void TKivFile::UpdateUserRecord(const TUser &user)
{
    TUser written = WriteUserRecord(user);
    // The signed-in user edited their own record: the object mirrors it.
    if (written.LogInName == LoginUser.LogInName)
        FCtx.Session.User = std::move(written);
}

TUser TKivFile::RewriteUserRecord(const std::string &login, const std::function<void(char *)> &edit)
{
    TDatasetGuard guard(FIsamFile);
    OpenToUpdate();
    UserRecord::TBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, UserRecord::LoginKey(login)))
        throw EKivError("Unable to perform lookup on user " + login + " " + FIsamFile.ErrorText());
    // Kept before the edit, which may look at other records.
    const std::string key = FIsamFile.LastKey();
    edit(record.data());
    PutText(record.data(), UserRecord::Updated, NowText(FCtx.Clock));
    if (!FIsamFile.ReplaceRecord(record.data(), key))
        throw EKivError("Unable to replace record - " + FIsamFile.ErrorText());
    return GetUserFields(record.data());
}

TUser TKivFile::WriteUserRecord(const TUser &user)
{
    return RewriteUserRecord(user.LogInName, [&](char *record) {
        // A board without an administrator could never get one again. The
        // key is copied: the look at the other records moves on from it.
        const std::string key = FIsamFile.LastKey();
        if (GetInt16(record, UserRecord::Administrator) == 1 && user.Administrator != 1 && !OtherAdministrator(key))
            throw EKivError(LastAdministrator::Right);
        PutUserFields(record, user);
    });
}

bool TKivFile::OtherAdministrator(const std::string &key)
{
    if (!FIsamFile.GotoTop(UserRecord::NumberIndex))
        throw EKivError("Unable to perform BOF on dataset - " + FIsamFile.ErrorText());
    UserRecord::TBuffer record{};
    while (FIsamFile.ReadNext(record.data(), UserRecord::NumberIndex))
        if (FIsamFile.LastKey() != key && GetInt16(record.data(), UserRecord::Administrator) == 1)
            return true;
    return false;
}

void TKivFile::UpdateComment(const std::string &comment)
{
    const TUser written =
        RewriteUserRecord(LoginUser.LogInName, [&](char *record) { PutText(record, UserRecord::Comments, comment); });
    FCtx.Session.User.Comments = written.Comments;
}

void TKivFile::UpdateOwnDetails(const std::string &name, const std::string &ext, const std::string &department)
{
    const TUser written = RewriteUserRecord(LoginUser.LogInName, [&](char *record) {
        PutText(record, UserRecord::Name, name);
        PutText(record, UserRecord::Ext, ext);
        PutText(record, UserRecord::Department, department);
    });
    TUser &user = FCtx.Session.User;
    user.Name = written.Name;
    user.Ext = written.Ext;
    user.Department = written.Department;
}

void TKivFile::RefreshCurrentUser()
{
    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to access the Kiv database location " + Quoted(folder));
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");

    UserRecord::TBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), UserRecord::LoginIndex, LoginUser.LogInName)) {
        FCtx.Host.SetStatusText(FIsamFile.ErrorText() + " " + FIsamFile.ErrorInfo());
        return;
    }
    FCtx.Host.SetStatusText(std::string());
    FCtx.Session.User = GetUserFields(record.data());
    LastReadStatus = FCtx.Session.User.Status;
}

TUser TKivFile::ReadUser(int32_t number)
{
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");
    if (!FIsamFile.GotoTop(UserRecord::NumberIndex))
        throw EKivError("Unable to perform BOF on dataset - " + FIsamFile.ErrorText());
    UserRecord::TBuffer record{};
    if (!FIsamFile.ReadEqual(record.data(), UserRecord::NumberIndex, RecordNumberText(number)))
        throw EKivError("Unable to perform look up on dataset - " + FIsamFile.ErrorText());
    return GetUserFields(record.data());
}

void TKivFile::DeleteUser(int32_t number)
{
    const std::string folder = Folder();
    if (!Location().Reachable())
        throw EKivError("Unable to delete user - unable to access the Kiv database location " + Quoted(folder));
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");
    const std::string key = RecordNumberText(number);
    UserRecord::TBuffer record{};
    if (FIsamFile.ReadEqual(record.data(), UserRecord::NumberIndex, key)
        && GetInt16(record.data(), UserRecord::Administrator) == 1 && !OtherAdministrator(key))
        throw EKivError(LastAdministrator::Delete);
    if (!FIsamFile.DeleteRecord(key))
        throw EKivError("Unable to erase user - " + FIsamFile.ErrorText());
}

bool TKivFile::IsOnlyAdministrator()
{
    TDatasetGuard guard(FIsamFile);
    OpenOrRaise("Unable to open dataset - ");
    if (!FIsamFile.GotoTop(UserRecord::NumberIndex))
        throw EKivError("Unable to perform BOF on dataset - " + FIsamFile.ErrorText());
    int administrators = 0;
    UserRecord::TBuffer record{};
    while (FIsamFile.ReadNext(record.data(), UserRecord::NumberIndex))
        if (GetInt16(record.data(), UserRecord::Administrator) == 1)
            ++administrators;
    return administrators <= 1;
}

void TKivFile::ReadConfig(TKivCfgRecord &record)
{
    ConfigNotice = KivCfgNotice(Location().ReadConfig(record));
    LoggingType = record.LoggingType;
    AllowMessages = record.AllowMessages;
}

void TKivFile::WriteConfig(const TKivCfgRecord &record)
{
    LoggingType = record.LoggingType;
    AllowMessages = record.AllowMessages;
    Location().WriteConfig(record);
}

void TKivFile::WriteConfigChanges(const TKivCfgRecord &read, const TKivCfgRecord &edited)
{
    TKivCfgRecord written;
    Location().ChangeConfig(
        [&](TKivCfgRecord &now) {
            if (edited.LoggingType != read.LoggingType)
                now.LoggingType = edited.LoggingType;
            if (edited.AllowMessages != read.AllowMessages)
                now.AllowMessages = edited.AllowMessages;
        },
        written);
    LoggingType = written.LoggingType;
    AllowMessages = written.AllowMessages;
}
