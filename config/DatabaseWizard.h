// The setup wizard: shown at start-up while the workstation knows no board
// folder, it lets the user join an existing board or choose the folder for a
// new one. It creates nothing: a new board comes into being when the program
// first opens the chosen folder.
#pragma once

#include "gui/KivDialog.h"

#include <string>

class QAction;
class QFrame;
class QPushButton;
class QRadioButton;
class QStackedWidget;

class TfrmDatabaseWizard : public TKivDialog {
    Q_OBJECT
public:
    /// How the wizard ended: a folder chosen, Cancel (the program is to end),
    /// or the window's close box.
    enum class TEnd { Chosen, Cancelled, Closed };
    /// The pages of nbMain.
    enum TPage { pgIntro = 0, pgJoin = 1, pgCreate = 2 };

    explicit TfrmDatabaseWizard(QWidget *parent = nullptr);

    /// Shows the wizard modally, centred on the screen, until it ends.
    TEnd Run();
    /// The folder confirmed in the folder chooser, ending in '/'; empty
    /// unless the wizard ended with a folder chosen.
    std::string Folder() const;
    /// How the wizard last ended (Closed while it has not).
    TEnd End() const { return FEnd; }

    /// Enables Next while either choice is made and Previous past the first
    /// page; runs whenever the program falls idle.
    void ActionListUpdate();

    /// Size of the client area.
    static QSize DesignSize() { return {367, 187}; }

    QStackedWidget *nbMain() const { return FPages; }
    QRadioButton *RadioButtonExisting() const { return FExisting; }
    QRadioButton *RadioButtonCreateNew() const { return FCreateNew; }
    QAction *actPrevious() const { return FPrevious; }
    QAction *actNext() const { return FNext; }
    QAction *actCancel() const { return FCancel; }
    QPushButton *btnHelp() const { return FHelp; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *NewPage(const QString &caption, const QString &name, const QString &text);
    QPushButton *NewButton(const QString &name, int left, const QString &caption);
    QAction *NewAction(const QString &name, const QString &caption, QPushButton *button);
    void actNextExecute();
    void actPreviousExecute();
    void actCancelExecute();
    void btnHelpClick();
    /// Asks for a folder in the chooser titled title; empty when cancelled.
    /// The folder comes back ending in '/'.
    QString Browse(const QString &title);
    void Choose(const QString &folder);

    QFrame *FPanel = nullptr;
    QStackedWidget *FPages = nullptr;
    QRadioButton *FExisting = nullptr;
    QRadioButton *FCreateNew = nullptr;
    QAction *FPrevious = nullptr;
    QAction *FNext = nullptr;
    QAction *FCancel = nullptr;
    QPushButton *FHelp = nullptr;
    TEnd FEnd = TEnd::Closed;
    std::string FFolder;
    bool FClosing = false;
};
