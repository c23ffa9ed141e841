// The program's dialogs. Each is created once, after the main window, and
// lives for the whole run, shown modally when it is needed. Their order of
// creation is the order of the members below:
//
//   TfrmSettings, TfrmKivDepartments, TfrmKivStatuses, TfrmKivComments,
//   TfrmKivUsers, TfrmSelectStatus, TfrmKivMessages, TfrmKivMessageInBox,
//   TfrmSelectDepartment
//
// A dialog joins this list, in its place, when it is built, and is handed to
// the main window or bound to its commands in the constructor.
#pragma once

#include "config/SettingsDialog.h"
#include "dialogs/Alerts.h"
#include "dialogs/KivComments.h"
#include "dialogs/KivDepartments.h"
#include "dialogs/KivMessages.h"
#include "dialogs/KivStatuses.h"
#include "dialogs/KivUsers.h"
#include "dialogs/MessageInBox.h"
#include "dialogs/SelectDepartment.h"
#include "dialogs/SelectStatus.h"
#include "gui/MessageBox.h"
#include "main/MainActions.h"

#include <functional>
#include <vector>

class TfrmMain;

class TKivWindows {
public:
    /// Creates the dialogs over frmMain, whose creation has succeeded.
    explicit TKivWindows(TfrmMain &frmMain);
    ~TKivWindows();
    TKivWindows(const TKivWindows &) = delete;
    TKivWindows &operator=(const TKivWindows &) = delete;

private:
    /// Binds handler to action for as long as the dialogs live.
    void Bind(TKivAction action, std::function<void()> handler);

    TfrmMain &FMain;
    TKivMessageBox FPrompter;
    std::vector<TKivAction> FBound;

public:
    TfrmSettings frmSettings;
    TfrmKivDepartments frmKivDepartments;
    TfrmKivStatuses frmKivStatuses;
    TfrmKivComments frmKivComments;
    TfrmKivUsers frmKivUsers;
    TfrmSelectStatus frmSelectStatus;
    TfrmKivMessages frmKivMessages;
    TfrmKivMessageInBox frmKivMessageInBox;
    TfrmSelectDepartment frmSelectDepartment;

private:
    TAlertCommands FAlertCommands;
};
