// The alert list from the desktop: the viewer of the watched colleagues, and
// the main window's commands that add to, clear and view the list.
#pragma once

#include "gui/ItemLists.h"
#include "gui/KivDialog.h"

#include <memory>

class IBoardWindow;
class IPrompter;
class QLabel;
class QListWidget;
class QPushButton;
class TKivAlert;

/// The viewer: the watched colleagues' names, in the order they were added.
/// It is read only; it is made for one showing and freed after it.
class TfrmAlerts final : public TKivDialog {
    Q_OBJECT
public:
    explicit TfrmAlerts(QWidget *parent);

    /// Shows the list's names modally; answers the modal result.
    int ShowAlerts(TKivAlert &alerts);

    QLabel *lblUsers() const { return FUsers; }
    QListWidget *lstAlerts() const { return FList; }
    QPushButton *btnClose() const { return FClose; }

    static QSize DesignSize() { return {239, 315}; }

private:
    TKivAlert *FAlerts = nullptr;
    QLabel *FUsers = nullptr;
    QListWidget *FList = nullptr;
    std::unique_ptr<TListBoxItems> FItems;
    QPushButton *FClose = nullptr;
};

/// The alert commands of the main window; failures go to prompter.
class TAlertCommands {
public:
    static constexpr const char *ClearQuestion = "Are you sure.  Clear your alert list?";

    TAlertCommands(IBoardWindow &frmMain, IPrompter &prompter) : FMain(frmMain), FPrompter(prompter) {}

    /// Alert on status change: the colleague of the selected board row joins
    /// the list with the status the row shows, unless already watched.
    void ExecuteAddToAlertList();
    /// Clear alert list...: empties the list once the user says Yes.
    void ExecuteClearAlertList();
    /// View alerts: the names brought up to date from the users dataset,
    /// then the viewer.
    void ExecuteViewAlertList();

private:
    IBoardWindow &FMain;
    IPrompter &FPrompter;
};
