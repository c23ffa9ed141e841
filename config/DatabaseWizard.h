// The setup wizard: shown at start-up while the workstation knows no board
// folder, it lets the user join an existing board, choose the folder for a
// new one, or connect to a board server by its URI. It creates nothing: a new
// board comes into being when the program first opens the chosen folder, and
// a server's board is made by its administrator (kivctl server init).
//
// A server is tested before it is chosen, on a thread of its own so that the
// window keeps answering; the test ends within the connection's time-outs.
#pragma once

#include "gui/KivDialog.h"

#include <string>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QThread;
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
    enum TPage { pgIntro = 0, pgJoin = 1, pgCreate = 2, pgServer = 3 };

    explicit TfrmDatabaseWizard(QWidget *parent = nullptr);
    /// Waits for a test of a server still running (bounded by its time-outs).
    ~TfrmDatabaseWizard() override;
    TfrmDatabaseWizard(const TfrmDatabaseWizard &) = delete;
    TfrmDatabaseWizard &operator=(const TfrmDatabaseWizard &) = delete;

    /// Shows the wizard modally, centred on the screen, until it ends.
    TEnd Run();
    /// The folder confirmed in the folder chooser, ending in '/', or the
    /// URI of the board server that passed its test; empty unless the wizard
    /// ended with one chosen.
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
    QRadioButton *RadioButtonServer() const { return FServer; }
    QLineEdit *edtServerUri() const { return FUri; }
    QPushButton *btnTestServer() const { return FTest; }
    QLabel *lblServerResult() const { return FResult; }
    /// A test of the server is running.
    bool Testing() const { return FTesting != nullptr; }
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
    /// Tests the server named in the URI field; with choose, a server that
    /// passes is chosen.
    void TestServer(bool choose);
    void ServerTested(const QString &uri, const std::string &problem, bool choose);

    QFrame *FPanel = nullptr;
    QStackedWidget *FPages = nullptr;
    QRadioButton *FExisting = nullptr;
    QRadioButton *FCreateNew = nullptr;
    QRadioButton *FServer = nullptr;
    QLineEdit *FUri = nullptr;
    QPushButton *FTest = nullptr;
    QLabel *FResult = nullptr;
    QThread *FTesting = nullptr;
    QAction *FPrevious = nullptr;
    QAction *FNext = nullptr;
    QAction *FCancel = nullptr;
    QPushButton *FHelp = nullptr;
    TEnd FEnd = TEnd::Closed;
    std::string FFolder;
    bool FClosing = false;
};
