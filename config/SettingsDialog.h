// The settings dialog: the signed-in user's own details (name, extension,
// department), this workstation's settings block, and, for administrators,
// the two switches of the whole board in Kiv.cfg. It also makes the autostart
// entry and chooses a new board folder or sound file at once. The main
// window's settings command shows it, then stores and applies the results.
#pragma once

#include "board/KivCfg.h"
#include "config/KivCB.h"
#include "gui/DesktopPresence.h"
#include "gui/ItemLists.h"
#include "gui/KivDialog.h"

#include <memory>
#include <string>

class IPrompter;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TKivBoard;
class TKivSound;
class TPageSettingsTab;
class TSession;

class TfrmSettings : public TKivDialog {
    Q_OBJECT
public:
    /// The dialog over parent; prompter shows its boxes.
    explicit TfrmSettings(IPrompter &prompter, QWidget *parent = nullptr);
    ~TfrmSettings() override;

    /// Shows the dialog modally for the signed-in user of board: its first
    /// tab, the user's details re-read from the users dataset, and the
    /// controls loaded from settings and config. On OK the user's details
    /// are written to the users dataset and the controls' values put back
    /// into settings and config; on cancel nothing is changed. Answers the
    /// modal result. Raises EKivError, before the dialog is shown, when the
    /// catalogues cannot be read or MainFontSize is not one the dialog
    /// offers, and after OK when the user's details cannot be written.
    int Execute(TKivBoard &board, TKivSettings &settings, TKivCfgRecord &config);

    /// Puts the records' values into the controls. Raises EKivError "Unable
    /// to determine font size" for a MainFontSize the size list lacks.
    void LoadControls(TKivSettings &settings, TKivCfgRecord &config);
    /// Puts the controls' values back into the records, and the new board
    /// folder and show-offline switch into the board at once. The board's
    /// switches change only for an administrator.
    void SaveControls(TKivSettings &settings, TKivCfgRecord &config);
    /// Enables the controls that follow other controls or the user's rights.
    void UpdateEnabling();
    /// What the desktop offers for showing the user away: the Away group
    /// says so, and its controls are enabled only for what was found.
    void SetAwaySources(const TPresenceSources &sources);

    /// Size of the client area.
    static QSize DesignSize() { return {384, 366}; }
    /// The colours of the colour list, in its order, as 0x00BBGGRR values.
    static constexpr int ColourCount = 16;
    static int32_t ListColour(int index);

    // Immediate actions of the small buttons; they take effect whatever
    // button later closes the dialog.
    void SpeedBtnLaunchClick();
    void BitBtnBrowseClick();
    void BitBtnWAVClick();
    void btnHelpClick();
    /// The help topic of the tab shown, which F1 opens.
    QString HelpTopicShown() const;

    QTabWidget *PageControlSettings() const { return FPages; }
    QPushButton *btnHelp() const { return FHelp; }
    QPushButton *btnOk() const { return FOk; }
    QPushButton *btnCancel() const { return FCancel; }
    // Display
    QLineEdit *txtName() const { return FName; }
    QLineEdit *txtExtension() const { return FExtension; }
    QComboBox *cboDepartments() const { return FDepartments; }
    QLineEdit *txtDepartment() const { return FDepartment; }
    QCheckBox *chkSortByUser() const { return FSortByUser; }
    QCheckBox *chkShowOfflineUsers() const { return FShowOfflineUsers; }
    QCheckBox *chkUseVacation() const { return FUseVacation; }
    QCheckBox *chkShowGrid() const { return FShowGrid; }
    QCheckBox *chkDisplayDepartments() const { return FDisplayDepartments; }
    QCheckBox *chkAutoComment() const { return FAutoComment; }
    QComboBox *cboFontColour() const { return FFontColour; }
    QComboBox *cboFontSize() const { return FFontSize; }
    QSpinBox *seDisplayUpdate() const { return FDisplayUpdate; }
    // Options
    QToolButton *SpeedBtnLaunch() const { return FLaunch; }
    QCheckBox *chkClearComment() const { return FClearComment; }
    QCheckBox *chkSetStatusToOnSD() const { return FSetStatusToOnSD; }
    QComboBox *cboShutDownStatus() const { return FShutDownStatus; }
    QLabel *lblOnShutdown() const { return FOnShutdown; }
    QLabel *lblLoggingType() const { return FLoggingType; }
    QComboBox *cboLogging() const { return FLogging; }
    QLineEdit *txtLocationOfKivDBase() const { return FLocation; }
    QToolButton *BitBtnBrowse() const { return FBrowse; }
    // Messages
    QCheckBox *chkAllowMessages() const { return FAllowMessages; }
    QSpinBox *seCheckNewMessages() const { return FCheckNewMessages; }
    QCheckBox *chkPlayWavFile() const { return FPlayWavFile; }
    QLineEdit *edtWavFileSelected() const { return FWavFileSelected; }
    QToolButton *BitBtnWAV() const { return FWav; }
    // Web page
    TPageSettingsTab *tsWebPage() const { return FWebPage; }
    // Away
    QGroupBox *gbAway() const { return FAway; }
    QCheckBox *chkAwayWhenLocked() const { return FAwayWhenLocked; }
    QSpinBox *seAwayAfterIdle() const { return FAwayAfterIdle; }
    QLineEdit *txtAwayStatus() const { return FAwayStatus; }
    QLabel *lblAwaySources() const { return FAwaySources; }

protected:
    /// OK: refused, with the reason shown, while a period typed lies outside its range.
    void accept() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Shows, under spin, that the period typed in it is refused; false when it is fine.
    bool RefuseTypedPeriod(QSpinBox &spin);
    QWidget *NewDisplayTab();
    QWidget *NewOptionsTab();
    QWidget *NewMessagesTab();
    QWidget *NewAwayTab();
    void SelectColour(int32_t colour);
    void chkPlayWavFileClick();

    IPrompter &FPrompter;
    /// The board and its session of the showing under way (null before the first).
    TKivBoard *FBoard = nullptr;
    TSession *FSession = nullptr;
    std::unique_ptr<TKivSound> FSound;

    QTabWidget *FPages = nullptr;
    QPushButton *FHelp = nullptr;
    QPushButton *FOk = nullptr;
    QPushButton *FCancel = nullptr;

    QLineEdit *FName = nullptr;
    QLineEdit *FExtension = nullptr;
    QComboBox *FDepartments = nullptr;
    QLineEdit *FDepartment = nullptr;
    QCheckBox *FSortByUser = nullptr;
    QCheckBox *FShowOfflineUsers = nullptr;
    QCheckBox *FUseVacation = nullptr;
    QCheckBox *FShowGrid = nullptr;
    QCheckBox *FDisplayDepartments = nullptr;
    QCheckBox *FAutoComment = nullptr;
    QComboBox *FFontColour = nullptr;
    QComboBox *FFontSize = nullptr;
    QSpinBox *FDisplayUpdate = nullptr;

    QToolButton *FLaunch = nullptr;
    QCheckBox *FClearComment = nullptr;
    QCheckBox *FSetStatusToOnSD = nullptr;
    QComboBox *FShutDownStatus = nullptr;
    QLabel *FOnShutdown = nullptr;
    QLabel *FLoggingType = nullptr;
    QComboBox *FLogging = nullptr;
    QLineEdit *FLocation = nullptr;
    QToolButton *FBrowse = nullptr;

    QCheckBox *FAllowMessages = nullptr;
    QSpinBox *FCheckNewMessages = nullptr;
    QCheckBox *FPlayWavFile = nullptr;
    QLineEdit *FWavFileSelected = nullptr;
    QToolButton *FWav = nullptr;

    TPageSettingsTab *FWebPage = nullptr;

    QGroupBox *FAway = nullptr;
    QCheckBox *FAwayWhenLocked = nullptr;
    QSpinBox *FAwayAfterIdle = nullptr;
    QLineEdit *FAwayStatus = nullptr;
    QLabel *FAwaySources = nullptr;
    TPresenceSources FSources;

    std::unique_ptr<TComboItems> FDepartmentItems;
    std::unique_ptr<TComboItems> FStatusItems;
    /// A period was refused as the focus went to OK: that OK is held back.
    bool FRefusedBeforeOk = false;
};
