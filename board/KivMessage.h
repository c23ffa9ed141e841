// TKivMessage: the message store, the dataset KivMesg in the board database
// folder that every workstation shares.
//
// A message is one record addressed to its recipient's login name; it is
// "New" until the recipient reads it, then "Old" until the recipient deletes
// it. There is no server: senders on every workstation add records while
// recipients scan, rewrite and erase them. Every operation opens the dataset,
// works and closes it again, on every path, so that no workstation holds it
// while a person reads or types. A failure raises EKivError with the text the
// user is shown.
#pragma once

#include "board/MessageRecord.h"
#include "storage/IsamFile.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

class IClock;
class IInBox;
class IReadDialog;
class TKivFile;

/// The text a message's SentAt holds for moment: the workstation's short date
/// format, a blank and its long time format, for the local time; the date
/// alone when the moment is exactly midnight.
std::string MessageTimeText(std::time_t moment);

/// MessageTimeText of the clock's current moment; what the send dialog shows
/// as the time a message is created.
std::string MessageNowText(const IClock &clock);

class TKivMessage {
public:
    /// Works on the board folder of kivFile, as it stands at each operation,
    /// for kivFile's current login (its LoginUser). When the engine is
    /// missing it shows the engine-missing box, asks the program to end and
    /// raises EKivEngineMissing. engineFolder as for TIsamFile (empty: the
    /// loader's search).
    explicit TKivMessage(TKivFile &kivFile, const std::string &engineFolder = std::string());
    TKivMessage(const TKivMessage &) = delete;
    TKivMessage &operator=(const TKivMessage &) = delete;

    /// Sends a "New" message from senderLogin to recipientLogin, both looked
    /// up in the users dataset; creates KivMesg with the first message of the
    /// board. Subject and body are cut to their fields' widths.
    void SendUserMessage(const std::string &recipientLogin, const std::string &senderLogin, const std::string &subject,
                         const std::string &body);
    /// The Name of the user of login.
    std::string LookUpUserName(const std::string &login);
    /// True when a "New" message for the signed-in login is in the dataset;
    /// the main window's first status-bar panel says when it cannot be read.
    bool NewMessageWaiting();
    /// The keys of the "New" messages for the signed-in login, oldest first;
    /// none when there is no messages dataset. Raises EKivError when the
    /// dataset is there but cannot be opened.
    std::vector<std::string> NewMessageKeys();
    /// Shows the signed-in login's new messages one after another in the read
    /// dialog, in the order of the ToLogin index. The dataset is closed while
    /// each dialog is up.
    void ShowNewMessages(IReadDialog &dialog);
    /// Fills the in-box with the signed-in login's messages, newest first, and
    /// its status bar with the counts.
    void FillInBox(IInBox &inBox);
    /// Puts the body of the signed-in login's message filed under key into
    /// the in-box's text pane.
    void ShowMessageBody(const std::string &key, IInBox &inBox);
    /// Marks the signed-in login's message filed under key "Old"; a message
    /// that is gone is reported in an error box.
    void MarkMessageOld(const std::string &key);
    /// Erases the signed-in login's message filed under key.
    void DeleteMessage(const std::string &key);

    /// The dataset's path: the board folder followed by "KivMesg".
    std::string DatasetPath() const;
    /// True while the messages dataset is open, which is only ever inside one
    /// of the operations: for tests that check that every path closes it.
    bool DatasetOpen() const { return FIsamFile.IsOpen(); }
    /// The same for the users dataset that sending looks names up in.
    bool UsersDatasetOpen() const { return FUsersFile.IsOpen(); }

private:
    const std::string &SignedInLogin() const;
    void CreateOnFirstUse(const std::string &path);
    /// Reads the record of key into record; true only when it is there and
    /// addressed to the signed-in login.
    bool ReadOwnMessage(const std::string &key, MessageRecord::TBuffer &record);
    /// Hands the key and the record of each of the signed-in login's
    /// messages in the open dataset to each, in the ToLogin index's order
    /// (oldest first), until each answers false. Only that login's part of
    /// the index is read; the first read that fails ends the walk.
    void WalkOwnMessages(const std::function<bool(const std::string &, const MessageRecord::TBuffer &)> &each);

    /// The doors to the engine for the messages dataset and for the look-ups
    /// in the users dataset; only the operations reach them, so that each one
    /// closes what it opened.
    TIsamFile FIsamFile;
    TIsamFile FUsersFile;
    TKivFile &FKivFile;
};
