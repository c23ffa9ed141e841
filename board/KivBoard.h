// TKivBoard: one board database as a front end works on it. It holds the
// folder and the login, the context its owner's windows (or their terminal
// stand-ins) make up, and the data classes over them: the users dataset with
// Kiv.cfg, the signed-in user, the status catalogue, the message store, the
// department catalogue and the alert list. They are created in the order the
// program starts them and freed in the order it ends them, so the program and
// kivctl share one composition.
#pragma once

#include "board/KivAlert.h"
#include "board/KivDepartment.h"
#include "board/KivFile.h"
#include "board/KivMessage.h"
#include "board/KivStatus.h"
#include "board/Seams.h"

#include <memory>
#include <string>

/// Who signs in and where the engine is loaded from: the effective user and
/// the loader's search unless a test or a tool says otherwise.
struct TKivBoardOptions {
    /// The login to act for; empty for the effective user's.
    std::string Login;
    /// As for TIsamFile: empty for the loader's search.
    std::string EngineFolder;
};

class TKivBoard {
public:
    /// Creates the data classes on folder over ctx, whose session receives
    /// the signed-in user. The department catalogue asks departmentFolder for
    /// its folder at each operation. Raises EKivError when the login name
    /// cannot be read or Kiv.cfg cannot be read, and EKivEngineMissing (after
    /// the engine-missing box and the request to end) when there is no engine.
    TKivBoard(const std::string &folder, const TBoardContext &ctx, TBoardFolderSource departmentFolder,
              const TKivBoardOptions &options = {});
    /// Frees the alert list, the users dataset object, the signed-in user,
    /// the status catalogue, the message store and the department catalogue,
    /// in this order.
    ~TKivBoard();
    TKivBoard(const TKivBoard &) = delete;
    TKivBoard &operator=(const TKivBoard &) = delete;

    /// What the data classes were given.
    TBoardContext &Context() { return FCtx; }
    TSession &Session() { return FCtx.Session; }

    TKivFile &KivFile() { return *FKivFile; }
    TKivStatus &Status() { return *FStatus; }
    TKivMessage &Messages() { return *FMessages; }
    TKivDepartment &Departments() { return *FDepartments; }
    TKivAlert &Alerts() { return *FAlerts; }

    /// The alert file of the login on this workstation.
    std::string AlertFile() const;
    /// Loads the alert list from the alert file. A missing file (the login's
    /// first start on this workstation) leaves the list empty. So does a file
    /// that is there but cannot be read, or is too large: it is renamed to
    /// the alert file followed by ".unreadable" (and "-1", "-2"... when that
    /// is taken), so that SaveAlertList can save the new list in its place;
    /// the text for the user says why and where the file went. Should the
    /// rename fail too, the file stays, and SaveAlertList will not replace
    /// it. Answers an empty text when the list was loaded or there was no file.
    std::string LoadAlertList();
    /// Saves the alert list to the alert file, unless LoadAlertList found a
    /// file it could neither read nor set aside: that one is left as it is,
    /// never replaced by a list that does not hold what it held. False in
    /// that case. Raises EKivError when the file cannot be written.
    bool SaveAlertList();

private:
    std::string FLogin; ///< as read or given (before upper-casing)
    TBoardContext FCtx;
    std::unique_ptr<TKivFile> FKivFile;
    std::unique_ptr<TKivStatus> FStatus;
    std::unique_ptr<TKivMessage> FMessages;
    std::unique_ptr<TKivDepartment> FDepartments;
    std::unique_ptr<TKivAlert> FAlerts;
    bool FAlertFileUnreadable = false;
};
