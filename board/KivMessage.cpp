#include "board/KivMessage.h"

#include "board/CreationWait.h"
#include "board/DatasetGuard.h"
#include "board/EngineCheck.h"
#include "board/KivFile.h"
#include "board/Seams.h"
#include "board/UserRecord.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "vbis/Vbis4032.h"

#include <time.h>

namespace {

constexpr const char *kCannotOpenMessages = "Unable to open Kiv Messages database!";

/// Suspends the in-box list's repainting while it lives, so that it is
/// resumed however the filling ends.
class TInBoxPause {
public:
    explicit TInBoxPause(IInBox &inBox) : FInBox(inBox) { FInBox.BeginUpdate(); }
    ~TInBoxPause() { FInBox.EndUpdate(); }
    TInBoxPause(const TInBoxPause &) = delete;
    TInBoxPause &operator=(const TInBoxPause &) = delete;

private:
    IInBox &FInBox;
};

/// The Name and LogInName of a user record, as stored.
struct TFoundUser {
    std::string Name;
    std::string LogInName;
};

/// Finds login in the open users dataset of users, or raises the message the
/// sender is shown.
TFoundUser FindUser(TIsamFile &users, const std::string &login)
{
    UserRecord::TBuffer record{};
    if (!users.ReadEqual(record.data(), UserRecord::LoginIndex, UserRecord::LoginKey(login)))
        throw EKivError("Unable to find " + login + " in Users Databse!\r\r" + users.ErrorText());
    return {GetText(record.data(), UserRecord::Name), GetText(record.data(), UserRecord::LogInName)};
}

std::string Field(const MessageRecord::TBuffer &record, TField field)
{
    return GetText(record.data(), field);
}

/// Why a message could not be read as the signed-in user's: the engine's
/// text, or "not found" for a record that is another user's.
std::string MissingText(const TIsamFile &isam)
{
    return TIsamFile::ErrorText(isam.LastError() != VBIS_OK ? isam.LastError() : int16_t(VBIS_NOT_FOUND));
}

} // namespace

std::string MessageTimeText(std::time_t moment)
{
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr)
        return std::string();
    // The date alone stands for midnight, as the workstation's own date-time
    // texts have it.
    if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0)
        return DateTimeText(moment);
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%x", &local);
    return std::string(text, length);
}

std::string MessageNowText(const IClock &clock)
{
    return MessageTimeText(clock.Now());
}

TKivMessage::TKivMessage(TKivFile &kivFile, const std::string &engineFolder)
    : FIsamFile(engineFolder), FUsersFile(engineFolder), FKivFile(kivFile)
{
    RequireEngine(FIsamFile, FKivFile.Context());
    RequireEngine(FUsersFile, FKivFile.Context());
}

std::string TKivMessage::DatasetPath() const
{
    return FKivFile.Location().DatasetPath(MessageRecord::DatasetName);
}

const std::string &TKivMessage::SignedInLogin() const
{
    return FKivFile.LoginUser.LogInName;
}

void TKivMessage::CreateOnFirstUse(const std::string &path)
{
    if (FKivFile.Location().DatasetDefined(MessageRecord::DatasetName))
        return;
    if (FIsamFile.CreateDataset(path, MessageRecord::KeyLength, MessageRecord::Format))
        return;
    // Another workstation sending the board's first message at this moment
    // won the create; this one adds to the dataset the other made.
    if (FIsamFile.LastError() == VBIS_NAME_IN_USE || FKivFile.Location().DatasetDefined(MessageRecord::DatasetName))
        return;
    throw EKivError(std::string("Unable to create Kiv Messages database!\r\r") + FIsamFile.ErrorText());
}

void TKivMessage::SendUserMessage(const std::string &recipientLogin, const std::string &senderLogin,
                                  const std::string &subject, const std::string &body)
{
    const std::string path = DatasetPath();
    // Declared first, so the users dataset is closed before the messages.
    TDatasetGuard messagesOpen(FIsamFile);
    TDatasetGuard usersOpen(FUsersFile);

    CreateOnFirstUse(path);
    if (!OpenDatasetBeingCreated(FIsamFile, path, MessageRecord::OpenMode, MessageRecord::Format))
        throw EKivError("Unable to open Kiv message database - " + FIsamFile.ErrorText());
    if (!FUsersFile.OpenDataset(FKivFile.DatasetPath(), UserRecord::OpenMode, UserRecord::Format))
        throw EKivError("Unable to open Kiv Users database!\r\r" + FUsersFile.ErrorText());
    const TFoundUser recipient = FindUser(FUsersFile, recipientLogin);
    const TFoundUser sender = FindUser(FUsersFile, senderLogin);

    MessageRecord::TBuffer record{};
    PutInt16(record.data(), MessageRecord::Reserved, 0);
    MessageRecord::PutText(record.data(), MessageRecord::SentAt, MessageNowText(FKivFile.Context().Clock));
    MessageRecord::PutText(record.data(), MessageRecord::Subject, subject);
    MessageRecord::PutText(record.data(), MessageRecord::State, MessageRecord::New);
    MessageRecord::PutText(record.data(), MessageRecord::Body, body);
    MessageRecord::PutText(record.data(), MessageRecord::ToName, recipient.Name);
    MessageRecord::PutText(record.data(), MessageRecord::FromName, sender.Name);
    MessageRecord::PutText(record.data(), MessageRecord::ToLogin, recipient.LogInName);
    MessageRecord::PutText(record.data(), MessageRecord::FromLogin, sender.LogInName);
    if (!FIsamFile.AddRecord(record.data()))
        throw EKivError("Unable to add Message to Message database " + FIsamFile.ErrorText());
}

std::string TKivMessage::LookUpUserName(const std::string &login)
{
    TDatasetGuard usersOpen(FUsersFile);
    if (!FUsersFile.OpenDataset(FKivFile.DatasetPath(), UserRecord::OpenMode, UserRecord::Format))
        throw EKivError("Unable to open Users dataset\r\r" + FUsersFile.ErrorText());
    UserRecord::TBuffer record{};
    if (!FUsersFile.ReadEqual(record.data(), UserRecord::LoginIndex, UserRecord::LoginKey(login)))
        throw EKivError("Unable to locate User\r\r" + FUsersFile.ErrorText());
    return GetText(record.data(), UserRecord::Name);
}

void TKivMessage::WalkOwnMessages(const std::function<bool(const std::string &, const MessageRecord::TBuffer &)> &each)
{
    const std::string &login = SignedInLogin();
    if (login.empty())
        return;
    // The index keeps a recipient's messages together, in the order they were
    // filed; the walk starts at the first and stops past the last, so the
    // other users' messages are never read.
    MessageRecord::TBuffer record{};
    bool found = FIsamFile.ReadEqual(record.data(), MessageRecord::ToLoginIndex, login);
    while (found && Field(record, MessageRecord::ToLogin) == login) {
        if (!each(FIsamFile.LastKey(), record))
            return;
        found = FIsamFile.ReadNext(record.data(), MessageRecord::ToLoginIndex);
    }
}

bool TKivMessage::ReadOwnMessage(const std::string &key, MessageRecord::TBuffer &record)
{
    // A key is given out again once the newest message is erased, so a key
    // an in-box row still shows may by now file another user's message.
    return FIsamFile.ReadEqual(record.data(), MessageRecord::KeyIndex, key)
           && Field(record, MessageRecord::ToLogin) == SignedInLogin();
}

bool TKivMessage::NewMessageWaiting()
{
    const std::string path = DatasetPath();
    if (!FKivFile.Location().DatasetExists(MessageRecord::DatasetName))
        return false;
    IMainHost &host = FKivFile.Context().Host;
    TDatasetGuard open(FIsamFile);
    if (!FIsamFile.OpenDataset(path, MessageRecord::OpenMode, MessageRecord::Format)) {
        host.SetStatusText("Attempting to check for new messages");
        return false;
    }
    host.SetStatusText(std::string());
    bool waiting = false;
    WalkOwnMessages([&](const std::string &, const MessageRecord::TBuffer &record) {
        waiting = Field(record, MessageRecord::State) == MessageRecord::New;
        return !waiting;
    });
    return waiting;
}

std::vector<std::string> TKivMessage::NewMessageKeys()
{
    const std::string path = DatasetPath();
    std::vector<std::string> keys;
    if (!FKivFile.Location().DatasetExists(MessageRecord::DatasetName))
        return keys;
    TDatasetGuard open(FIsamFile);
    if (!FIsamFile.OpenDataset(path, MessageRecord::OpenMode, MessageRecord::Format))
        throw EKivError("Unable to open the messages dataset - " + FIsamFile.ErrorText());
    WalkOwnMessages([&](const std::string &key, const MessageRecord::TBuffer &record) {
        if (Field(record, MessageRecord::State) == MessageRecord::New)
            keys.push_back(key);
        return true;
    });
    return keys;
}

void TKivMessage::ShowNewMessages(IReadDialog &dialog)
{
    const std::string path = DatasetPath();
    if (!FKivFile.Location().DatasetExists(MessageRecord::DatasetName))
        return;
    IPrompter &prompter = FKivFile.Context().Prompter;

    // The keys are gathered first and the dataset closed before the first
    // dialog: nobody holds the dataset open while a person reads, and the
    // dialog's own marking and deleting cannot disturb this walk.
    std::vector<std::string> keys;
    {
        TDatasetGuard open(FIsamFile);
        if (!FIsamFile.OpenDataset(path, MessageRecord::OpenMode, MessageRecord::Format)) {
            prompter.Show(kCannotOpenMessages, TMsgIcon::Error, TMsgButtons::Ok);
            return;
        }
        WalkOwnMessages([&](const std::string &key, const MessageRecord::TBuffer &record) {
            if (Field(record, MessageRecord::State) == MessageRecord::New)
                keys.push_back(key);
            return true;
        });
    }

    for (const std::string &key : keys) {
        TReadMessage message;
        {
            TDatasetGuard open(FIsamFile);
            if (!FIsamFile.OpenDataset(path, MessageRecord::OpenMode, MessageRecord::Format)) {
                prompter.Show(kCannotOpenMessages, TMsgIcon::Error, TMsgButtons::Ok);
                return;
            }
            // Read afresh: while an earlier message was up, this one may have
            // been read or deleted on another workstation of the same user.
            MessageRecord::TBuffer record{};
            if (!ReadOwnMessage(key, record) || Field(record, MessageRecord::State) != MessageRecord::New)
                continue;
            message.Caption = "Read Message...";
            message.PrimaryKey = key;
            message.FromName = Field(record, MessageRecord::FromName);
            message.ToName = Field(record, MessageRecord::ToName);
            message.Received = Field(record, MessageRecord::SentAt);
            message.Subject = Field(record, MessageRecord::Subject);
            message.Body = Field(record, MessageRecord::Body);
        }
        dialog.ShowModal(message);
    }
}

void TKivMessage::FillInBox(IInBox &inBox)
{
    std::vector<TInBoxRow> rows;
    int newCount = 0;
    int oldCount = 0;
    {
        TDatasetGuard open(FIsamFile);
        // When the dataset cannot be opened the walk finds nothing and the
        // in-box comes out empty, with counts of 0.
        if (FIsamFile.OpenDataset(DatasetPath(), MessageRecord::OpenMode, MessageRecord::Format)) {
            WalkOwnMessages([&](const std::string &key, const MessageRecord::TBuffer &record) {
                TInBoxRow row;
                row.Caption = Field(record, MessageRecord::FromName);
                row.SubItems[TInBoxRow::Subject] = Field(record, MessageRecord::Subject);
                row.SubItems[TInBoxRow::Type] = Field(record, MessageRecord::State);
                row.SubItems[TInBoxRow::PrimaryKey] = key;
                row.SubItems[TInBoxRow::Received] = Field(record, MessageRecord::SentAt);
                rows.push_back(std::move(row));
                return true;
            });
        }
    }
    {
        TInBoxPause painting(inBox);
        inBox.Clear();
        // Newest first: the walk went oldest first.
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            const std::string &state = row->SubItems[TInBoxRow::Type];
            newCount += state == MessageRecord::New;
            oldCount += state == MessageRecord::Old;
            inBox.AddRow(*row);
        }
    }
    inBox.SetPanelText(0, "New messages = " + std::to_string(newCount));
    inBox.SetPanelText(1, "Old messages = " + std::to_string(oldCount));
    inBox.SetPanelText(2, "Total messages = " + std::to_string(newCount + oldCount));
}

void TKivMessage::ShowMessageBody(const std::string &key, IInBox &inBox)
{
    TDatasetGuard open(FIsamFile);
    FIsamFile.OpenDataset(DatasetPath(), MessageRecord::OpenMode,
                          MessageRecord::Format); // a failure fails the read below
    MessageRecord::TBuffer record{};
    if (!ReadOwnMessage(key, record))
        throw EKivError("Unable to locate Kiv Message\r\r" + MissingText(FIsamFile));
    inBox.SetMessageText(Field(record, MessageRecord::Body));
}

void TKivMessage::MarkMessageOld(const std::string &key)
{
    TDatasetGuard open(FIsamFile);
    FIsamFile.OpenDataset(DatasetPath(), MessageRecord::OpenMode,
                          MessageRecord::Format); // a failure fails the read below
    MessageRecord::TBuffer record{};
    if (!ReadOwnMessage(key, record)) {
        FKivFile.Context().Prompter.Show("Unable to find message to make old!", TMsgIcon::Error, TMsgButtons::Ok);
        return;
    }
    MessageRecord::PutText(record.data(), MessageRecord::State, MessageRecord::Old);
    if (!FIsamFile.ReplaceRecord(record.data(), key))
        throw EKivError("Unable to save message back as old!\r\r" + FIsamFile.ErrorText());
}

void TKivMessage::DeleteMessage(const std::string &key)
{
    TDatasetGuard open(FIsamFile);
    FIsamFile.OpenDataset(DatasetPath(), MessageRecord::OpenMode,
                          MessageRecord::Format); // a failure fails the erase below
    MessageRecord::TBuffer record{};
    if (!ReadOwnMessage(key, record))
        throw EKivError("Unable to delete Kiv Messages\r\r" + MissingText(FIsamFile));
    if (!FIsamFile.DeleteRecord(key))
        throw EKivError("Unable to delete Kiv Messages\r\r" + FIsamFile.ErrorText());
}
