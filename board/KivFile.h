// TKivFile: the users dataset KivDB31 of a board database folder, and the
// board's configuration file Kiv.cfg.
//
// Every operation opens the dataset, does its work and closes it again before
// it returns, on every path, so that all workstations share the folder. A
// failure raises EKivError with the text the user is shown.
#pragma once

#include "board/ActivityLog.h"
#include "board/BoardLocation.h"
#include "board/KivCfg.h"
#include "board/Seams.h"
#include "board/Session.h"
#include "storage/IsamFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class TKivAlert;
struct TPresenceSnapshot;

/// The signed-in user's status as the record holds it at one moment. What Kiv
/// infers (away, a back-at time run out) is stored only over exactly the
/// status it last saw or stored, so that it never overwrites what a person set
/// meanwhile, here or on another workstation.
struct TOwnStatus {
    std::string Status;
    std::string Comments;
    std::string Updated;
    friend bool operator==(const TOwnStatus &, const TOwnStatus &) = default;
};

/// What the users dataset refuses, so that a board always keeps an
/// administrator: deleting its only one, and taking the right from them.
namespace LastAdministrator {
inline constexpr const char *Delete = "This user is the only Administrator within Kiv.\r\r"
                                      "Please make another user and Administrator before deleting this user";
inline constexpr const char *Right =
    "This user is the only Administrator within Kiv.\r\r"
    "Please make another user an Administrator before removing this user's Administrator right";
} // namespace LastAdministrator

class TKivFile {
public:
    /// Opens the board in folder for the effective user's login. When the
    /// engine is missing it shows the engine-missing box, asks the program to
    /// end and raises EKivEngineMissing; otherwise it reads Kiv.cfg.
    TKivFile(const std::string &folder, TBoardContext &ctx);
    /// The same for a given login name (cut and used exactly as the
    /// effective user's would be), loading the engine from engineFolder
    /// (empty: the loader's search). For tests and tools that act for a
    /// login in-process.
    TKivFile(const std::string &folder, TBoardContext &ctx, const std::string &loginName,
             const std::string &engineFolder = std::string());
    TKivFile(const TKivFile &) = delete;
    TKivFile &operator=(const TKivFile &) = delete;

    /// Holds the current login name in LogInName: the key for signing in,
    /// re-reading the signed-in user and storing the own status.
    TUser LoginUser;
    /// Which activity log receives status changes, as Kiv.cfg last said.
    uint8_t LoggingType = 0;
    /// The board database folder; the settings dialog may replace it.
    std::string DatabaseFolder;
    /// Whether messaging is allowed on this board, as Kiv.cfg last said.
    uint8_t AllowMessages = 1;
    /// The Status read by the last successful RefreshCurrentUser.
    std::string LastReadStatus;
    /// The wait between two attempts at an activity log line.
    TLogPause LogPause = SleepPause;
    /// What the board fillings show of who runs Kiv and when statuses end;
    /// nothing shows none. Its owner keeps it alive while it is set.
    const TPresenceSnapshot *Presence = nullptr;

    /// Signs the current login in: creates the dataset with this login as its
    /// first, administrator, user on a new board (also one whose dataset holds
    /// no user yet), or adds the login as an ordinary user when the board does
    /// not know it yet.
    void SignIn();
    /// Writes the signed-in user object's details into the record of the
    /// object's LogInName, with the now text as Updated; the administrator
    /// right stays as stored, which only the user administration changes.
    void UpdateUser();
    /// Stores comment as the current login's Comments, with the now text as
    /// Updated, over the record as it is read just before the write, so that
    /// a status or any other detail stored meanwhile (by this user on another
    /// workstation, or by an administrator) is kept. The signed-in user
    /// object takes the comment as stored; nothing else of it changes.
    void UpdateComment(const std::string &comment);
    /// Stores the current login's Name, Ext and Department the same way, over
    /// the record as it is read just before the write: the settings dialog's
    /// OK, which must not put back a status or comment read when it opened.
    /// The signed-in user object takes the three as stored.
    void UpdateOwnDetails(const std::string &name, const std::string &ext, const std::string &department);
    /// Writes user's details into the record of user's LogInName, with the
    /// now text as Updated, as UpdateUser does and with its messages; for the
    /// user administration, which edits any user. The signed-in user object
    /// is left as it is, unless user is the current login's: then the object
    /// takes the record as written. Taking the administrator right from the
    /// board's only administrator is refused with the message the user is
    /// shown, and nothing is written.
    void UpdateUserRecord(const TUser &user);
    /// Fills the signed-in user object from the current login's record; when
    /// the record cannot be found the first status-bar panel says why.
    void RefreshCurrentUser();
    /// The values of the record filed under number.
    TUser ReadUser(int32_t number);
    /// Erases the record filed under number; the board's only administrator
    /// is refused with the message the user is shown.
    void DeleteUser(int32_t number);
    /// True when at most one record is an administrator.
    bool IsOnlyAdministrator();
    /// Brings the display names of the alert list's entries up to date from
    /// the Name of their users' records; entries of logins the dataset no
    /// longer has keep their names.
    void RefreshAlertNames(TKivAlert &alerts);

    /// Fills the board with every user in record-number order, leaving out
    /// the "Offline" ones unless the session shows them.
    void FillBoard(IBoardList &list);
    /// Fills the board with the users whose Department is exactly department.
    void FillBoardForDepartment(IBoardList &list, const std::string &department);
    /// Fills list with every user's Name, the record number attached.
    void FillUserNames(IItemList &list);
    /// The Updated column's text for a stored Updated: "Today hh:mm" or
    /// "Yesterday hh:mm" by this workstation's clock, else the text as stored.
    std::string UpdatedText(const std::string &stored) const;
    /// The picture of a status among the small status images.
    static int StatusImageIndex(const std::string &status);

    /// Stores the signed-in user object's Status as the current login's
    /// status, refreshing the object and the administrator flag from the
    /// record, and logs a real change.
    void SetStatus();
    /// The current login's status as stored now; raises as SetStatus does.
    TOwnStatus ReadOwnStatus();
    /// Stores status and comments as the current login's, as SetStatus does
    /// (the signed-in user object follows, a real change is logged), but only
    /// while the record still holds expected. Answers what it stored, or
    /// nothing when the record changed meanwhile: nothing is written then.
    std::optional<TOwnStatus> ReplaceOwnStatus(const TOwnStatus &expected, const std::string &status,
                                               const std::string &comments);
    /// Stores newStatus as the status of the user of the board's selected row
    /// and logs a real change; the signed-in user is left as it is.
    void SetStatusOfSelected(IBoardList &list, const std::string &newStatus);

    /// Reads Kiv.cfg into record and takes its LoggingType and AllowMessages;
    /// ConfigNotice says when they are not the file's (held by another
    /// workstation throughout), and is empty when they are.
    void ReadConfig(TKivCfgRecord &record);
    std::string ConfigNotice;
    /// Takes record's LoggingType and AllowMessages and writes it over the
    /// first record of Kiv.cfg.
    void WriteConfig(const TKivCfgRecord &record);
    /// Writes the switches that edited changes from read (LoggingType,
    /// AllowMessages) over Kiv.cfg as it is at this moment, so that another
    /// administrator's change to the other switch since read is kept; takes
    /// both switches as the file then holds them.
    void WriteConfigChanges(const TKivCfgRecord &read, const TKivCfgRecord &edited);

    /// DatabaseFolder ending in the path separator.
    std::string Folder() const;
    /// The users dataset's path: the folder followed by "KivDB31".
    std::string DatasetPath() const;
    /// The board's location as DatabaseFolder names it now.
    IBoardLocation &Location() const;
    /// What the board's data classes are given by their owner.
    TBoardContext &Context() const { return FCtx; }
    /// True while the dataset is open, which is only ever inside one of the
    /// operations: for tests that check that every path closes it.
    bool DatasetOpen() const { return FIsamFile.IsOpen(); }
    /// The engine's code of the last dataset call (0 when it succeeded): for
    /// a diagnosis beside a failure's message, which does not always carry it.
    int16_t LastEngineCode() const { return FIsamFile.LastError(); }

private:
    void OpenOrRaise(const std::string &message);
    /// The start of writing a user's details: the folder checked and the
    /// dataset opened, or raises the message the user is shown.
    void OpenToUpdate();
    bool OpenBoardDataset(const std::string &path);
    void AddLoginUser(int16_t administrator);
    /// True when the open dataset holds no record, also after waiting a
    /// moment for the workstation that created it to add its first user;
    /// raises when that cannot be told.
    bool HoldsNoUser();
    /// UpdateUser's steps for user; answers the user as the record now holds it.
    TUser WriteUserRecord(const TUser &user);
    /// Reads the record of login afresh, lets edit change it, stamps it with
    /// the now text and writes it back; answers the user as written.
    TUser RewriteUserRecord(const std::string &login, const std::function<void(char *)> &edit);
    /// True when a record of the open dataset other than the one filed
    /// under key is an administrator; reads the records until it finds one.
    bool OtherAdministrator(const std::string &key);
    /// Opens the dataset and positions before its first record, or raises.
    void OpenBeforeFirst();
    void FillRows(IBoardList &list, const std::string *department);
    void LogStatusChange(const std::string &name, const std::string &login, const std::string &oldStatus,
                         const std::string &newStatus);

    /// The door to the engine for every operation on the dataset; only the
    /// operations reach it, so that each one closes what it opened.
    TIsamFile FIsamFile;
    TBoardContext &FCtx;
    /// Made for DatabaseFolder at the first question, and again when it
    /// names another location.
    mutable std::shared_ptr<IBoardLocation> FLocation;
};
