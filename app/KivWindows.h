// The program's dialogs. Each is created once, after the main window, and
// lives for the whole run, shown modally when it is needed. Their order of
// creation is the order of the members below:
//
//   TfrmSettings, TfrmKivDepartments, TfrmKivStatuses, TfrmKivComments,
//   TfrmKivUsers, TfrmSelectStatus, TfrmKivMessages, TfrmKivMessageInBox,
//   TfrmSelectDepartment
//
// A dialog joins this list, in its place, when it is built, and is handed to
// the main window in the constructor. Until the send/read dialog exists, a
// plain read-only window holds the place of TfrmKivMessages for the new
// messages shown at start-up.
#pragma once

#include "config/SettingsDialog.h"
#include "dialogs/KivDepartments.h"
#include "dialogs/KivStatuses.h"
#include "dialogs/KivUsers.h"
#include "gui/MessageBox.h"
#include "main/ReadDialogStandIn.h"

class TfrmMain;

class TKivWindows {
public:
    /// Creates the dialogs over frmMain, whose creation has succeeded.
    explicit TKivWindows(TfrmMain &frmMain);
    TKivWindows(const TKivWindows &) = delete;
    TKivWindows &operator=(const TKivWindows &) = delete;

private:
    TfrmMain &FMain;
    TKivMessageBox FPrompter;

public:
    TfrmSettings frmSettings;
    TfrmKivDepartments frmKivDepartments;
    TfrmKivStatuses frmKivStatuses;
    TfrmKivUsers frmKivUsers;
    TReadDialogStandIn frmKivMessages;
};
