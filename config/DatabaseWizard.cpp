#include "config/DatabaseWizard.h"

#include "board/BoardLocation.h"
#include "board/ServerBoard.h"
#include "board/ServerConnection.h"
#include "config/KivCB.h"
#include "gui/Application.h"
#include "gui/FileDialog.h"
#include "gui/HelpWindow.h"
#include "gui/MessageBox.h"
#include "platform/FileCalls.h"
#include "platform/Files.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <QVBoxLayout>

#include <cerrno>
#include <memory>
#include <sys/stat.h>

namespace {

// The file whose presence marks a folder as a board database: the users
// dataset's data file.
constexpr const char *kUsersDataFile = "KivDB31.isd";

// The wizard was laid out at this point size; the desktop's family is used.
constexpr int WizardPointSize = 8;
constexpr int PictureSize = 32;

constexpr int ButtonTop = 155;
constexpr QSize ButtonSize{75, 25};

/// Whether folder holds a board: 0 when its users dataset is there, ENOENT
/// when it is not, and the system's error when the folder cannot be looked
/// into (a folder the user may not open says nothing of what it holds).
int BoardFileState(const std::string &folder)
{
    struct stat st {};
    CountKivCall(TKivCall::Stat);
    if (stat((folder + kUsersDataFile).c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? ENOENT : 0;
}

} // namespace

TfrmDatabaseWizard::TfrmDatabaseWizard(QWidget *parent)
    : TKivDialog(parent, "frmDatabaseWizard", QStringLiteral("Kiv Database Wizard"), DesignSize(), TFrame::Fixed)
{
    QFont sized = font();
    sized.setPointSize(WizardPointSize);
    setFont(sized);

    // A lowered panel holding the page book, the buttons below it.
    FPanel = new QFrame(this);
    FPanel->setObjectName(QStringLiteral("pnlMain"));
    FPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FPanel->setGeometry(7, 7, 353, 136);
    FPages = new QStackedWidget(FPanel);
    FPages->setObjectName(QStringLiteral("nbMain"));
    FPages->setGeometry(7, 7, 340, 122);

    QWidget *intro =
        NewPage(QStringLiteral("Intro"), QStringLiteral("pgIntro"),
                QStringLiteral("Welcome to Kiv, before running Kiv you will need to connect to an existing, "
                               "or create a new Kiv Database.  Please select which option you require and "
                               "then select \"Next\" to continue. "));
    auto *bevel = new QFrame(intro);
    bevel->setObjectName(QStringLiteral("bvlIntro"));
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    FExisting = new QRadioButton(QStringLiteral("Join Existing Database"), intro);
    FExisting->setObjectName(QStringLiteral("RadioButtonExisting"));
    FCreateNew = new QRadioButton(QStringLiteral("Create New Database"), intro);
    FCreateNew->setObjectName(QStringLiteral("RadioButtonCreateNew"));
    FServer = new QRadioButton(QStringLiteral("Connect to a Board Server"), intro);
    FServer->setObjectName(QStringLiteral("RadioButtonServer"));
    auto *choices = new QHBoxLayout;
    choices->addWidget(FExisting);
    choices->addWidget(FCreateNew);
    choices->addStretch();
    auto *introLayout = static_cast<QVBoxLayout *>(intro->layout());
    introLayout->addWidget(bevel);
    introLayout->addLayout(choices);
    introLayout->addWidget(FServer);

    NewPage(QStringLiteral("Join Database"), QStringLiteral("pgJoin"),
            QStringLiteral("Please select the location of the Kiv Database by clicking \"Next\" below."));
    NewPage(QStringLiteral("Create Database"), QStringLiteral("pgCreate"),
            QStringLiteral("Please choose the destination for the new Kiv Database by clicking on \"Next\" below."));
    QWidget *server = NewPage(QStringLiteral("Board Server"), QStringLiteral("pgServer"),
                              QStringLiteral("Enter the URI of the board server, as postgresql://host/database. "
                                             "A password goes in the password file (~/.pgpass), not here."));
    FUri = new QLineEdit(server);
    FUri->setObjectName(QStringLiteral("edtServerUri"));
    FUri->setMaxLength(int(kSettingTextMax));
    FTest = new QPushButton(QStringLiteral("&Test"), server);
    FTest->setObjectName(QStringLiteral("btnTestServer"));
    FResult = new QLabel(server);
    FResult->setObjectName(QStringLiteral("lblServerResult"));
    FResult->setTextFormat(Qt::PlainText);
    FResult->setWordWrap(true);
    FResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *uriRow = new QHBoxLayout;
    uriRow->addWidget(FUri, 1);
    uriRow->addWidget(FTest);
    auto *serverLayout = static_cast<QVBoxLayout *>(server->layout());
    serverLayout->addLayout(uriRow);
    serverLayout->addWidget(FResult, 2);
    connect(FTest, &QPushButton::clicked, this, [this] { TestServer(false); });
    connect(FUri, &QLineEdit::textChanged, this, [this] { FResult->clear(); });
    FPages->setCurrentIndex(pgIntro);

    QPushButton *previous = NewButton(QStringLiteral("btnPrevious"), 7, QStringLiteral("&Previous"));
    QPushButton *next = NewButton(QStringLiteral("btnNext"), 84, QStringLiteral("&Next"));
    FHelp = NewButton(QStringLiteral("btnHelp"), 161, QStringLiteral("&Help"));
    QPushButton *cancel = NewButton(QStringLiteral("btnCancel"), 286, QStringLiteral("&Cancel"));
    next->setDefault(true);

    FPrevious = NewAction(QStringLiteral("actPrevious"), QStringLiteral("&Previous"), previous);
    FNext = NewAction(QStringLiteral("actNext"), QStringLiteral("&Next"), next);
    FCancel = NewAction(QStringLiteral("actCancel"), QStringLiteral("&Cancel"), cancel);
    connect(FPrevious, &QAction::triggered, this, &TfrmDatabaseWizard::actPreviousExecute);
    connect(FNext, &QAction::triggered, this, &TfrmDatabaseWizard::actNextExecute);
    connect(FCancel, &QAction::triggered, this, &TfrmDatabaseWizard::actCancelExecute);
    connect(FHelp, &QPushButton::clicked, this, &TfrmDatabaseWizard::btnHelpClick);

    connect(FExisting, &QRadioButton::toggled, this, &TfrmDatabaseWizard::ActionListUpdate);
    connect(FCreateNew, &QRadioButton::toggled, this, &TfrmDatabaseWizard::ActionListUpdate);
    connect(FServer, &QRadioButton::toggled, this, &TfrmDatabaseWizard::ActionListUpdate);
    connect(FUri, &QLineEdit::textChanged, this, &TfrmDatabaseWizard::ActionListUpdate);
    connect(FPages, &QStackedWidget::currentChanged, this, &TfrmDatabaseWizard::ActionListUpdate);
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TfrmDatabaseWizard::ActionListUpdate);
    ActionListUpdate();
}

QWidget *TfrmDatabaseWizard::NewPage(const QString &caption, const QString &name, const QString &text)
{
    auto *page = new QWidget(FPages);
    page->setObjectName(name);
    page->setWindowTitle(caption);

    auto *picture = new QLabel(page);
    picture->setObjectName(QStringLiteral("img") + name.mid(2));
    picture->setPixmap(KivAppIcon().pixmap(PictureSize, PictureSize));
    picture->setFixedSize(PictureSize, PictureSize);
    auto *label = new QLabel(text, page);
    label->setObjectName(QStringLiteral("lbl") + name.mid(2));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addWidget(label, 1);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(top, 1);
    FPages->addWidget(page);
    return page;
}

QPushButton *TfrmDatabaseWizard::NewButton(const QString &name, int left, const QString &caption)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setGeometry(QRect(QPoint(left, ButtonTop), ButtonSize));
    return button;
}

QAction *TfrmDatabaseWizard::NewAction(const QString &name, const QString &caption, QPushButton *button)
{
    // The button shows the action's enabling and runs it; a disabled action
    // does nothing however it is invoked.
    auto *action = new QAction(caption, this);
    action->setObjectName(name);
    addAction(action);
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::enabledChanged, button, &QPushButton::setEnabled);
    return action;
}

TfrmDatabaseWizard::~TfrmDatabaseWizard()
{
    if (FTesting) {
        FTesting->disconnect(this);
        FTesting->wait();
        delete FTesting;
    }
}

void TfrmDatabaseWizard::ActionListUpdate()
{
    const int page = FPages->currentIndex();
    const bool uri = !FUri->text().trimmed().isEmpty();
    FNext->setEnabled(page == pgServer ? uri && !Testing()
                                       : FExisting->isChecked() || FCreateNew->isChecked() || FServer->isChecked());
    FPrevious->setEnabled(page > pgIntro && !Testing());
    FTest->setEnabled(uri && !Testing());
    FUri->setEnabled(!Testing());
}

void TfrmDatabaseWizard::TestServer(bool choose)
{
    if (Testing())
        return;
    const QString uri = FUri->text().trimmed();
    if (!IsServerLocation(uri.toStdString())) {
        FResult->setText(QStringLiteral("A board server's URI starts with postgresql:// or postgres://."));
        return;
    }
    FResult->setText(QStringLiteral("Testing the connection (a server that does not answer is given up after "
                                    "%1 seconds)...")
                         .arg(ServerTimeout::Connect.count() / 1000));
    // The thread only fills problem; the window reads it once the thread
    // has finished.
    auto problem = std::make_shared<std::string>();
    FTesting = QThread::create([problem, text = uri.toStdString()] { *problem = CheckServerBoard(text); });
    connect(FTesting, &QThread::finished, this, [this, uri, problem, choose] {
        FTesting->deleteLater();
        FTesting = nullptr;
        ServerTested(uri, *problem, choose);
    });
    FTesting->start();
    ActionListUpdate();
}

void TfrmDatabaseWizard::ServerTested(const QString &uri, const std::string &problem, bool choose)
{
    ActionListUpdate();
    // A wizard ended meanwhile (Cancel, the close box) stays ended.
    if (!isVisible() || uri != FUri->text().trimmed())
        return;
    if (!problem.empty()) {
        FResult->setText(QString::fromStdString(problem));
        return;
    }
    if (choose) {
        FFolder = uri.toStdString();
        FEnd = TEnd::Chosen;
        accept();
        return;
    }
    FResult->setText(QStringLiteral("The board server holds a Kiv board. Select \"Next\" to use it."));
}

TfrmDatabaseWizard::TEnd TfrmDatabaseWizard::Run()
{
    FEnd = TEnd::Closed;
    FFolder.clear();
    exec();
    return FEnd;
}

std::string TfrmDatabaseWizard::Folder() const
{
    return FEnd == TEnd::Chosen ? FFolder : std::string();
}

QString TfrmDatabaseWizard::Browse(const QString &title)
{
    QString folder = TKivFileDialog::GetExistingDirectory(this, title);
    if (folder.isEmpty())
        return {};
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // The settings block keeps the location in at most this many bytes; a
    // longer one would come back cut short, naming another folder.
    if (static_cast<std::size_t>(QFile::encodeName(folder).size()) > kSettingTextMax) {
        TKivMessageBox(this).Show("The path of this folder is too long. Kiv can keep a database location of at most "
                                      + std::to_string(kSettingTextMax) + " characters.",
                                  TMsgIcon::Information, TMsgButtons::Ok);
        return {};
    }
    return folder;
}

void TfrmDatabaseWizard::actNextExecute()
{
    switch (FPages->currentIndex()) {
    case pgIntro:
        FPages->setCurrentIndex(FExisting->isChecked() ? pgJoin : FServer->isChecked() ? pgServer : pgCreate);
        break;
    case pgServer:
        TestServer(true);
        break;
    case pgJoin:
    case pgCreate: {
        // Joining wants a board in the folder; creating wants none there.
        const bool join = FPages->currentIndex() == pgJoin;
        const QString folder =
            Browse(join ? QStringLiteral("Join Kiv Database") : QStringLiteral("Create Kiv Database"));
        if (folder.isEmpty())
            break;
        const std::string path = QFile::encodeName(folder).toStdString();
        const int state = BoardFileState(path);
        if (state != 0 && state != ENOENT) {
            // Neither joined nor created: the reason goes with the refusal.
            TKivMessageBox(this).Show(std::string(join ? "Kiv was unable to find an KivDBase"
                                                       : "Kiv was unable to create an KivDBase in this folder")
                                          + "\r\r" + path + ": " + OpenErrorText(state),
                                      TMsgIcon::Information, TMsgButtons::Ok);
            break;
        }
        const bool board = state == 0;
        if (board == join)
            Choose(folder);
        else
            TKivMessageBox(this).Show(join ? "Kiv was unable to find an KivDBase"
                                           : "An KivDBase already exists in this folder",
                                      TMsgIcon::Information, TMsgButtons::Ok);
        break;
    }
    default:
        break;
    }
}

void TfrmDatabaseWizard::actPreviousExecute()
{
    const int page = FPages->currentIndex();
    FPages->setCurrentIndex(page == pgCreate || page == pgServer ? pgIntro : page - 1);
}

void TfrmDatabaseWizard::Choose(const QString &folder)
{
    FFolder = QFile::encodeName(folder).toStdString();
    FEnd = TEnd::Chosen;
    accept();
}

void TfrmDatabaseWizard::actCancelExecute()
{
    reject();
}

void TfrmDatabaseWizard::reject()
{
    // Cancel and Esc end the program; the close box only ends the wizard.
    FEnd = FClosing ? TEnd::Closed : TEnd::Cancelled;
    FFolder.clear();
    QDialog::reject();
}

void TfrmDatabaseWizard::closeEvent(QCloseEvent *event)
{
    FClosing = true;
    QDialog::closeEvent(event);
    FClosing = false;
}

void TfrmDatabaseWizard::btnHelpClick()
{
    // The application's help file is the program's own ".hlp" unless start-up
    // named another.
    ShowHelpTopic(this, QStringLiteral("Installation"));
}
