#include "config/SettingsDialog.h"

#include "board/KivBoard.h"
#include "board/Session.h"
#include "board/UserRecord.h"
#include "config/PageSettingsTab.h"
#include "gui/Application.h"
#include "gui/DialogSupport.h"
#include "gui/FileDialog.h"
#include "gui/HelpWindow.h"
#include "gui/Sound.h"
#include "platform/Autostart.h"
#include "platform/Files.h"
#include "platform/KivError.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// The dialog was laid out at this point size; the desktop's family is used.
constexpr int DialogPointSize = 8;

constexpr QSize ButtonSize{75, 25};
constexpr int ButtonTop = 333;
/// Width of the fields of the user's details.
constexpr int DetailWidth = 100;

constexpr const char *kUnableToRetrieveUser = "Unable to retrieve User details";
constexpr const char *kUnableToDetermineFontSize = "Unable to determine font size";
constexpr const char *kWillStartAutomatically = "Kiv will now start automatically on startup";
constexpr const char *kChangeLocation = "Are you sure.  Change the location of the Kiv Database?";
/// The program's icon, by the name its desktop entry gives it.
constexpr const char *kIconName = "kiv";

/// The sizes the size list offers, in its order.
constexpr const auto &FontSizes = kMainFontSizes;

/// The sixteen colours of the classic 16-colour palette, as the settings keep
/// a colour: red in the low byte, then green, then blue.
struct TListColour {
    const char *Name;
    int32_t Value;
};
constexpr std::array<TListColour, TfrmSettings::ColourCount> Colours{{
    {"Black", 0x000000},
    {"Maroon", 0x000080},
    {"Green", 0x008000},
    {"Olive", 0x008080},
    {"Navy", 0x800000},
    {"Purple", 0x800080},
    {"Teal", 0x808000},
    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0},
    {"Red", 0x0000FF},
    {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},
    {"Fuchsia", 0xFF00FF},
    {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
}};

/// The help topic of each help context the dialog and its tabs carry.
struct THelpContextTopic {
    int Context;
    const char *Topic;
};
constexpr std::array<THelpContextTopic, 4> HelpContextTopics{{
    {7, "Displaying_your_settings"},
    {9, "Settings_messages"},
    {10, "Settings_options"},
    {11, "Settings_away"},
}};

/// The spin edits' ranges and step, in seconds.
constexpr int DisplayUpdateMin = kDisplayUpdateMin, DisplayUpdateMax = kDisplayUpdateMax;
constexpr int CheckMessagesMin = kCheckMessagesMin, CheckMessagesMax = kCheckMessagesMax;
constexpr int PeriodStep = 10;

// The text limits of the user's details: a field of width N keeps N - 1 bytes.
constexpr int NameMax = static_cast<int>(UserRecord::Name.Width) - 1;
constexpr int ExtMax = static_cast<int>(UserRecord::Ext.Width) - 1;
static_assert(kAwayStatusMax == UserRecord::Status.Width - 1, "the away status is kept as a status is");

QColor ShownColour(int32_t colour)
{
    const auto value = static_cast<uint32_t>(colour);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

QIcon Swatch(int32_t colour)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(ShownColour(colour));
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

// An edit shows a stored text as UTF-8 (or, for a path, as the file system
// names it) and keeps the stored bytes beside it, so that a text the user
// left alone goes back byte for byte, even when it does not decode cleanly.
constexpr const char *kBytesProperty = "kivBytes";
constexpr const char *kShownProperty = "kivShown";

enum class TTextKind { Text, Path };

void ShowBytes(QLineEdit &edit, const std::string &bytes, TTextKind kind)
{
    const QByteArray raw(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QString shown = kind == TTextKind::Path ? QFile::decodeName(raw) : QString::fromUtf8(raw);
    edit.setText(shown);
    edit.setProperty(kBytesProperty, raw);
    edit.setProperty(kShownProperty, shown);
}

std::string EditBytes(const QLineEdit &edit, TTextKind kind)
{
    QByteArray raw;
    if (edit.text() == edit.property(kShownProperty).toString())
        raw = edit.property(kBytesProperty).toByteArray();
    else
        raw = kind == TTextKind::Path ? QFile::encodeName(edit.text()) : edit.text().toUtf8();
    return std::string(raw.constData(), static_cast<std::size_t>(raw.size()));
}

QLineEdit *NewEdit(QWidget *parent, const char *name, int maxBytes)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    if (maxBytes > 0)
        LimitToBytes(*edit, maxBytes);
    return edit;
}

QCheckBox *NewCheck(QWidget *parent, const char *name, const QString &caption)
{
    auto *check = new QCheckBox(caption, parent);
    check->setObjectName(QString::fromLatin1(name));
    return check;
}

QComboBox *NewDropDown(QWidget *parent, const char *name)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(false);
    return combo;
}

QLabel *NewLabel(QWidget *parent, const char *name, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QSpinBox *NewSpin(QWidget *parent, const char *name, int min, int max)
{
    auto *spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(min, max);
    spin->setSingleStep(PeriodStep);
    return spin;
}

QToolButton *NewSmallButton(QWidget *parent, const char *name, const QString &hint)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(QStringLiteral("..."));
    button->setToolTip(hint);
    button->setStatusTip(hint);
    // A screen reader reads what the button does, not "...".
    button->setAccessibleName(hint);
    return button;
}

QGroupBox *NewGroup(QWidget *parent, const char *name, const QString &heading)
{
    auto *group = new QGroupBox(heading, parent);
    group->setObjectName(QString::fromLatin1(name));
    return group;
}

/// The range a period takes, as the dialog shows it.
QString RangeText(const QSpinBox &spin)
{
    return QStringLiteral("%1 to %2").arg(spin.minimum()).arg(spin.maximum());
}

/// A spin edit between its two labels on one row, its range after them, and
/// under them the note that says when a typed period was refused.
QVBoxLayout *PeriodRow(QWidget *parent, const char *name, const QString &before, QSpinBox *spin)
{
    auto *row = new QHBoxLayout;
    row->addWidget(NewLabel(parent, name, before));
    row->addWidget(spin);
    row->addWidget(NewLabel(parent, (std::string(name) + "Seconds").c_str(), QStringLiteral("seconds")));
    row->addWidget(
        NewLabel(parent, (std::string(name) + "Range").c_str(), QStringLiteral("(%1)").arg(RangeText(*spin))));
    row->addStretch();
    spin->setToolTip(QStringLiteral("From %1 seconds").arg(RangeText(*spin)));
    QLabel *note = NewLabel(parent, (std::string(name) + "Refused").c_str(), QString());
    note->setWordWrap(true);
    note->setStyleSheet(QStringLiteral("color: #a00000"));
    note->hide();
    spin->setProperty("refusalNote", QVariant::fromValue(static_cast<QObject *>(note)));
    auto *column = new QVBoxLayout;
    column->addLayout(row);
    column->addWidget(note);
    return column;
}

QLabel *RefusalNote(const QSpinBox &spin)
{
    return qobject_cast<QLabel *>(spin.property("refusalNote").value<QObject *>());
}

} // namespace

TfrmSettings::TfrmSettings(IPrompter &prompter, QWidget *parent)
    : TKivDialog(parent, "frmSettings", QStringLiteral("Kiv - Settings"), DesignSize(), TFrame::Fixed),
      FPrompter(prompter), FSound(std::make_unique<TKivSound>())
{
    QFont sized = font();
    sized.setPointSize(DialogPointSize);
    setFont(sized);
    setProperty("helpContext", 7);

    FPages = new QTabWidget(this);
    FPages->setObjectName(QStringLiteral("PageControlSettings"));
    FPages->setGeometry(3, 3, 377, 320);
    FPages->addTab(NewDisplayTab(), QStringLiteral("Display"));
    FPages->addTab(NewOptionsTab(), QStringLiteral("Options"));
    FPages->addTab(NewMessagesTab(), QStringLiteral("Messages"));
    FWebPage = new TPageSettingsTab;
    FPages->addTab(FWebPage, QStringLiteral("Web page"));
    FPages->addTab(NewAwayTab(), QStringLiteral("Away"));

    auto button = [this](const char *name, int left, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(QRect(QPoint(left, ButtonTop), ButtonSize));
        b->setAutoDefault(false);
        return b;
    };
    FHelp = button("btnHelp", 141, QStringLiteral("&Help"));
    FOk = button("btnOk", 222, QStringLiteral("&Ok"));
    FCancel = button("btnCancel", 303, QStringLiteral("C&ancel"));
    // OK is the default button; Esc presses Cancel, as QDialog's reject does.
    FOk->setDefault(true);
    connect(FOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FHelp, &QPushButton::clicked, this, &TfrmSettings::btnHelpClick);
    // F1 opens the help at the topic of the tab shown.
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setObjectName(QStringLiteral("keyHelp"));
    connect(helpKey, &QShortcut::activated, this, [this] { ShowHelpTopic(this, HelpTopicShown()); });
    for (QSpinBox *spin : {FDisplayUpdate, FCheckNewMessages})
        spin->installEventFilter(this);

    connect(FSetStatusToOnSD, &QCheckBox::toggled, this, &TfrmSettings::UpdateEnabling);
    connect(FPlayWavFile, &QCheckBox::toggled, this, &TfrmSettings::chkPlayWavFileClick);
    connect(FLaunch, &QToolButton::clicked, this, &TfrmSettings::SpeedBtnLaunchClick);
    connect(FBrowse, &QToolButton::clicked, this, &TfrmSettings::BitBtnBrowseClick);
    connect(FWav, &QToolButton::clicked, this, &TfrmSettings::BitBtnWAVClick);

    // Laid out as closely as the small window of the design needs; a row
    // inside another layout takes that layout's margins.
    for (QLayout *layout : findChildren<QLayout *>()) {
        const bool nested = qobject_cast<QLayout *>(layout->parent()) != nullptr;
        layout->setContentsMargins(nested ? QMargins() : QMargins(6, 4, 6, 4));
        layout->setSpacing(4);
    }

    FDepartmentItems = std::make_unique<TComboItems>(*FDepartments, true);
    FStatusItems = std::make_unique<TComboItems>(*FShutDownStatus, false);

    // Before the first showing the sound controls are in their initial state:
    // no wave file, and the box not ticked.
    FWavFileSelected->setEnabled(false);
    FWav->setEnabled(false);
    // Until the desktop has been asked, nothing is known to show the user away.
    SetAwaySources(TPresenceSources{});
}

TfrmSettings::~TfrmSettings() = default;

QWidget *TfrmSettings::NewDisplayTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("tsDisplay"));

    QGroupBox *details = NewGroup(tab, "gbYourDetails", QStringLiteral("Your details"));
    FName = NewEdit(details, "txtName", NameMax);
    FExtension = NewEdit(details, "txtExtension", ExtMax);
    FDepartments = NewDropDown(details, "cboDepartments");
    FDepartment = NewEdit(details, "txtDepartment", 0);
    FDepartment->setVisible(false);
    for (QWidget *field : std::initializer_list<QWidget *>{FName, FExtension, FDepartments})
        field->setFixedWidth(DetailWidth);
    auto *detailsGrid = new QGridLayout(details);
    detailsGrid->addWidget(NewLabel(details, "lblName", QStringLiteral("Name")), 0, 0);
    detailsGrid->addWidget(FName, 0, 1);
    detailsGrid->addWidget(NewLabel(details, "lblExtension", QStringLiteral("Extension")), 1, 0);
    detailsGrid->addWidget(FExtension, 1, 1);
    detailsGrid->addWidget(NewLabel(details, "lblDepartment", QStringLiteral("Department")), 2, 0);
    detailsGrid->addWidget(FDepartments, 2, 1);

    QGroupBox *users = NewGroup(tab, "gbUsers", QStringLiteral("Users"));
    FSortByUser = NewCheck(users, "chkSortByUser", QStringLiteral("Sort by User"));
    FShowOfflineUsers = NewCheck(users, "chkShowOfflineUsers", QStringLiteral("Show \"Offline\" users"));
    FUseVacation = NewCheck(users, "chkUseVacation", QStringLiteral("Use Vacation instead of Holiday"));
    FShowGrid = NewCheck(users, "chkShowGrid", QStringLiteral("Show grid"));
    FDisplayDepartments = NewCheck(users, "chkDisplayDepartments", QStringLiteral("Show departments"));
    FAutoComment = NewCheck(users, "chkAutoComment", QStringLiteral("Auto comment"));
    FAutoComment->setToolTip(QStringLiteral("You will be asked for a comment when your status is OUT"));
    // Two columns of three, down then across.
    auto *usersGrid = new QGridLayout(users);
    const std::array<QCheckBox *, 6> checks{FSortByUser, FShowOfflineUsers,   FUseVacation,
                                            FShowGrid,   FDisplayDepartments, FAutoComment};
    for (std::size_t i = 0; i < checks.size(); ++i)
        usersGrid->addWidget(checks[i], static_cast<int>(i % 3), static_cast<int>(i / 3));

    QGroupBox *mainFont = NewGroup(tab, "gbMainFont", QStringLiteral("Main font"));
    FFontColour = NewDropDown(mainFont, "cboFontColour");
    for (const TListColour &colour : Colours)
        FFontColour->addItem(Swatch(colour.Value), QString::fromLatin1(colour.Name), colour.Value);
    FFontSize = NewDropDown(mainFont, "cboFontSize");
    for (int size : FontSizes)
        FFontSize->addItem(QString::number(size), size);
    auto *fontGrid = new QGridLayout(mainFont);
    fontGrid->addWidget(NewLabel(mainFont, "lblColour", QStringLiteral("Colour")), 0, 0);
    fontGrid->addWidget(FFontColour, 0, 1);
    fontGrid->addWidget(NewLabel(mainFont, "lblSize", QStringLiteral("Size")), 1, 0);
    fontGrid->addWidget(FFontSize, 1, 1);

    QGroupBox *refresh = NewGroup(tab, "gbRefresh", QStringLiteral("Refresh"));
    FDisplayUpdate = NewSpin(refresh, "seDisplayUpdate", DisplayUpdateMin, DisplayUpdateMax);
    auto *refreshLayout = new QVBoxLayout(refresh);
    refreshLayout->addLayout(
        PeriodRow(refresh, "lblUpdateDisplay", QStringLiteral("Update display every"), FDisplayUpdate));

    auto *grid = new QGridLayout(tab);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(details, 0, 0);
    grid->addWidget(mainFont, 0, 1);
    grid->addWidget(users, 1, 0, 1, 2);
    grid->addWidget(refresh, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);
    return tab;
}

QWidget *TfrmSettings::NewOptionsTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("tsOptions"));
    tab->setProperty("helpContext", 10);

    QGroupBox *startup = NewGroup(tab, "gbStartupShutdown", QStringLiteral("Startup / Shutdown"));
    QLabel *configure =
        NewLabel(startup, "lblConfigure", QStringLiteral("Configure Kiv startup and shut down options"));
    FLaunch = NewSmallButton(startup, "SpeedBtnLaunch", QStringLiteral("Launch Kiv at startup!"));
    FLaunch->setIcon(KivAppIcon());
    FClearComment = NewCheck(startup, "chkClearComment", QStringLiteral("Remove comment on shutdown"));
    FClearComment->setToolTip(QStringLiteral("Clears any comment entered when Kiv shut's down"));
    FSetStatusToOnSD = NewCheck(startup, "chkSetStatusToOnSD", QStringLiteral("Set status to"));
    FShutDownStatus = NewDropDown(startup, "cboShutDownStatus");
    FOnShutdown = NewLabel(startup, "lblOnShutdown", QStringLiteral("on shutdown"));
    auto *launchRow = new QHBoxLayout;
    launchRow->addWidget(NewLabel(startup, "lblLaunch", QStringLiteral("Launch Kiv on Startup >")));
    launchRow->addWidget(FLaunch);
    launchRow->addStretch();
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(FSetStatusToOnSD);
    statusRow->addWidget(FShutDownStatus, 1);
    statusRow->addWidget(FOnShutdown);
    auto *startupColumn = new QVBoxLayout(startup);
    startupColumn->addWidget(configure);
    startupColumn->addLayout(launchRow);
    startupColumn->addWidget(FClearComment);
    startupColumn->addLayout(statusRow);

    QGroupBox *logging = NewGroup(tab, "gbLogging", QStringLiteral("Logging"));
    FLoggingType = NewLabel(logging, "lblLoggingType", QStringLiteral("Type of logging (Administrators only)"));
    FLogging = NewDropDown(logging, "cboLogging");
    FLogging->addItems({QStringLiteral("None"), QStringLiteral("Text"), QStringLiteral("CSV")});
    FLogging->setCurrentIndex(-1);
    auto *loggingRow = new QHBoxLayout(logging);
    loggingRow->addWidget(FLoggingType);
    loggingRow->addWidget(FLogging, 1);

    QGroupBox *database = NewGroup(tab, "gbDatabase", QStringLiteral("Database"));
    FLocation = NewEdit(database, "txtLocationOfKivDBase", 0);
    FLocation->setReadOnly(true);
    FLocation->setToolTip(QStringLiteral("Location of the Kiv database"));
    FBrowse = NewSmallButton(database, "BitBtnBrowse", QStringLiteral("Locate the folder for the Kiv Database"));
    auto *databaseRow = new QHBoxLayout(database);
    databaseRow->addWidget(NewLabel(database, "lblLocation", QStringLiteral("Location")));
    databaseRow->addWidget(FLocation, 1);
    databaseRow->addWidget(FBrowse);

    auto *column = new QVBoxLayout(tab);
    column->setContentsMargins(6, 6, 6, 6);
    column->addWidget(startup);
    column->addWidget(logging);
    column->addWidget(database);
    column->addStretch();
    return tab;
}

QWidget *TfrmSettings::NewMessagesTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("tsMessages"));
    tab->setProperty("helpContext", 9);

    FAllowMessages = NewCheck(tab, "chkAllowMessages", QStringLiteral("Allow messages (Administrators only)"));
    FCheckNewMessages = NewSpin(tab, "seCheckNewMessages", CheckMessagesMin, CheckMessagesMax);

    QGroupBox *notification = NewGroup(tab, "gbNotification", QStringLiteral("Notification"));
    FPlayWavFile = NewCheck(notification, "chkPlayWavFile", QStringLiteral("Play .WAV file when new messages arrive"));
    FWavFileSelected = NewEdit(notification, "edtWavFileSelected", 0);
    FWavFileSelected->setReadOnly(true);
    FWav = NewSmallButton(notification, "BitBtnWAV", QStringLiteral("Choose .WAV file"));
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(FWavFileSelected, 1);
    fileRow->addWidget(FWav);
    auto *notificationColumn = new QVBoxLayout(notification);
    notificationColumn->addWidget(FPlayWavFile);
    notificationColumn->addLayout(fileRow);

    auto *column = new QVBoxLayout(tab);
    column->setContentsMargins(6, 6, 6, 6);
    column->addWidget(FAllowMessages);
    column->addLayout(
        PeriodRow(tab, "lblCheckMessages", QStringLiteral("Check for new messages every"), FCheckNewMessages));
    column->addWidget(notification);
    column->addStretch();
    return tab;
}

QWidget *TfrmSettings::NewAwayTab()
{
    auto *tab = new QWidget;
    tab->setObjectName(QStringLiteral("tsAway"));
    tab->setProperty("helpContext", 11);

    FAway = NewGroup(tab, "gbAway", QStringLiteral("Away"));
    FAwayWhenLocked = NewCheck(FAway, "chkAwayWhenLocked", QStringLiteral("Show me away while the screen is locked"));
    FAwayAfterIdle = new QSpinBox(FAway);
    FAwayAfterIdle->setObjectName(QStringLiteral("seAwayAfterIdle"));
    FAwayAfterIdle->setRange(kAwayIdleMin, kAwayIdleMax);
    FAwayAfterIdle->setSpecialValueText(QStringLiteral("never"));
    FAwayAfterIdle->setToolTip(QStringLiteral("0 (never) to %1 minutes without keyboard or mouse").arg(kAwayIdleMax));
    FAwayStatus = NewEdit(FAway, "txtAwayStatus", static_cast<int>(kAwayStatusMax));
    FAwaySources = NewLabel(FAway, "lblAwaySources", QString());
    FAwaySources->setWordWrap(true);

    auto *idleRow = new QHBoxLayout;
    idleRow->addWidget(NewLabel(FAway, "lblAwayAfter", QStringLiteral("Show me away after")));
    idleRow->addWidget(FAwayAfterIdle);
    idleRow->addWidget(NewLabel(FAway, "lblAwayMinutes", QStringLiteral("minutes idle")));
    idleRow->addStretch();
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(NewLabel(FAway, "lblAwayStatus", QStringLiteral("Away status")));
    statusRow->addWidget(FAwayStatus, 1);
    auto *column = new QVBoxLayout(FAway);
    column->addWidget(FAwayWhenLocked);
    column->addLayout(idleRow);
    column->addLayout(statusRow);
    column->addWidget(NewLabel(FAway, "lblAwayOnly",
                               QStringLiteral("Only \"Available\" is changed, and \"Available\" comes back only "
                                              "while the away status is still the one Kiv set.")));
    column->addWidget(FAwaySources);
    for (QLabel *label : FAway->findChildren<QLabel *>())
        label->setWordWrap(true);

    auto *tabColumn = new QVBoxLayout(tab);
    tabColumn->setContentsMargins(6, 6, 6, 6);
    tabColumn->addWidget(FAway);
    tabColumn->addStretch();
    return tab;
}

void TfrmSettings::SetAwaySources(const TPresenceSources &sources)
{
    FSources = sources;
    const auto line = [](const QString &what, const QString &source) {
        return source.isEmpty() ? QStringLiteral("%1: none found on this desktop.").arg(what)
                                : QStringLiteral("%1: from %2.").arg(what, source);
    };
    if (sources.Lock.isEmpty() && sources.Idle.isEmpty())
        FAwaySources->setText(QStringLiteral("This desktop tells Kiv neither when the screen is locked nor how "
                                             "long you have been idle, so Kiv cannot show you away by itself."));
    else
        FAwaySources->setText(line(QStringLiteral("Screen lock"), sources.Lock) + QLatin1Char('\n')
                              + line(QStringLiteral("Idle time"), sources.Idle));
    UpdateEnabling();
}

int32_t TfrmSettings::ListColour(int index)
{
    return Colours.at(static_cast<std::size_t>(index)).Value;
}

int TfrmSettings::Execute(TKivBoard &board, TKivSettings &settings, TKivCfgRecord &config)
{
    FBoard = &board;
    FSession = &board.Session();
    FPages->setCurrentIndex(0);
    // A refusal belongs to the showing it was made in.
    FRefusedBeforeOk = false;
    for (QSpinBox *spin : {FDisplayUpdate, FCheckNewMessages})
        if (QLabel *note = RefusalNote(*spin))
            note->hide();

    board.Departments().FillDepartmentCombo(*FDepartmentItems);

    TKivFile &kiv = board.KivFile();
    try {
        kiv.RefreshCurrentUser();
    } catch (const EKivError &) {
        // The dialog opens all the same, with the details last read.
        FPrompter.Show(kUnableToRetrieveUser, TMsgIcon::Error, TMsgButtons::Ok);
    }
    const TUser &user = FSession->User;
    ShowBytes(*FName, user.Name, TTextKind::Text);
    ShowBytes(*FExtension, user.Ext, TTextKind::Text);
    ShowBytes(*FDepartment, user.Department, TTextKind::Text);
    FDepartmentItems->SelectExact(EditBytes(*FDepartment, TTextKind::Text));

    LoadControls(settings, config);
    UpdateEnabling();

    const int result = exec();
    if (result != QDialog::Accepted)
        return result;

    // Only what the dialog edits is written, over the record as it is now: a
    // status or comment stored while the dialog was open is kept.
    kiv.UpdateOwnDetails(EditBytes(*FName, TTextKind::Text), EditBytes(*FExtension, TTextKind::Text),
                         FDepartmentItems->SelectedText());
    SaveControls(settings, config);
    return result;
}

void TfrmSettings::LoadControls(TKivSettings &settings, TKivCfgRecord &config)
{
    FWebPage->Load(settings);
    FWavFileSelected->setEnabled(settings.PlayWavForNewMsg);
    FWav->setEnabled(settings.PlayWavForNewMsg);

    // A logging type this dialog does not know leaves the choice as it was.
    if (config.LoggingType <= 2)
        FLogging->setCurrentIndex(config.LoggingType);
    FAllowMessages->setChecked(config.AllowMessages != 0);

    FSortByUser->setChecked(settings.SortListView);
    FShowOfflineUsers->setChecked(settings.ShowOfflineUsers);
    FUseVacation->setChecked(settings.UseVacation);
    FShowGrid->setChecked(settings.ShowGrid);
    FDisplayDepartments->setChecked(settings.DisplayDepartments);
    FAutoComment->setChecked(settings.AutoComment);
    // A period outside the spin edit's range shows as its nearest end.
    FDisplayUpdate->setValue(settings.UpdateDisplayTime);
    FClearComment->setChecked(settings.ClearCommentOnSD);
    FSetStatusToOnSD->setChecked(settings.ChangeStatusOnSD);
    ShowBytes(*FLocation, settings.KivDBasePath, TTextKind::Path);
    FCheckNewMessages->setValue(settings.CheckForNewMsgEvery);
    FPlayWavFile->setChecked(settings.PlayWavForNewMsg);
    ShowBytes(*FWavFileSelected, settings.WavToPlayForNewMsgs, TTextKind::Path);
    FAwayWhenLocked->setChecked(settings.AwayWhenLocked);
    FAwayAfterIdle->setValue(settings.AwayAfterIdleMinutes);
    ShowBytes(*FAwayStatus, settings.AwayStatus, TTextKind::Text);

    if (FBoard != nullptr) {
        TKivStatus &statuses = FBoard->Status();
        statuses.EnsureStatusDataset();
        statuses.FillStatusCombo(*FStatusItems);
        // The status of the setting, or else the last of the list.
        if (!FStatusItems->SelectExact(settings.ShutDownStatus))
            FStatusItems->Select(FStatusItems->Count() - 1);
    }

    const auto size = std::find(FontSizes.begin(), FontSizes.end(), settings.MainFontSize);
    if (size == FontSizes.end())
        throw EKivError(kUnableToDetermineFontSize);
    FFontSize->setCurrentIndex(static_cast<int>(size - FontSizes.begin()));
    SelectColour(settings.MainFontColour);

    UpdateEnabling();
}

void TfrmSettings::SelectColour(int32_t colour)
{
    // A colour the list lacks is kept as an entry of its own at the end, so
    // that confirming the dialog leaves it as it was.
    while (FFontColour->count() > ColourCount)
        FFontColour->removeItem(ColourCount);
    int index = FFontColour->findData(colour);
    if (index < 0) {
        FFontColour->addItem(Swatch(colour), QStringLiteral("Custom"), colour);
        index = ColourCount;
    }
    FFontColour->setCurrentIndex(index);
}

void TfrmSettings::SaveControls(TKivSettings &settings, TKivCfgRecord &config)
{
    FWebPage->Save(settings);
    settings.CheckForNewMsgEvery = FCheckNewMessages->value();
    settings.UpdateDisplayTime = FDisplayUpdate->value();

    settings.PlayWavForNewMsg = FPlayWavFile->isChecked();
    settings.ShowOfflineUsers = FShowOfflineUsers->isChecked();
    settings.SortListView = FSortByUser->isChecked();
    settings.UseVacation = FUseVacation->isChecked();
    settings.ClearCommentOnSD = FClearComment->isChecked();
    settings.ChangeStatusOnSD = FSetStatusToOnSD->isChecked();
    settings.DisplayDepartments = FDisplayDepartments->isChecked();
    settings.ShowGrid = FShowGrid->isChecked();
    settings.AutoComment = FAutoComment->isChecked();

    settings.KivDBasePath = CutText(Trimmed(EditBytes(*FLocation, TTextKind::Path)), kSettingTextMax);
    settings.WavToPlayForNewMsgs = CutText(Trimmed(EditBytes(*FWavFileSelected, TTextKind::Path)), kSettingTextMax);
    settings.ShutDownStatus = CutText(FStatusItems->SelectedText(), kShutDownStatusMax);
    settings.AwayWhenLocked = FAwayWhenLocked->isChecked();
    settings.AwayAfterIdleMinutes = FAwayAfterIdle->value();
    // An emptied away status keeps the one there was.
    if (const std::string away = CutText(Trimmed(EditBytes(*FAwayStatus, TTextKind::Text)), kAwayStatusMax);
        !away.empty())
        settings.AwayStatus = away;

    if (FBoard != nullptr) {
        FBoard->KivFile().DatabaseFolder = settings.KivDBasePath;
        FSession->ShowOffline = settings.ShowOfflineUsers;
    }

    // Only an administrator changes what the whole board does; for anybody
    // else Kiv.cfg keeps the values it was read with.
    if (FSession != nullptr && FSession->Administrator) {
        if (FLogging->currentIndex() >= 0)
            config.LoggingType = static_cast<uint8_t>(FLogging->currentIndex());
        config.AllowMessages = FAllowMessages->isChecked() ? 1 : 0;
    }

    if (FFontSize->currentIndex() >= 0)
        settings.MainFontSize = FontSizes.at(static_cast<std::size_t>(FFontSize->currentIndex()));
    if (FFontColour->currentIndex() >= 0)
        settings.MainFontColour = FFontColour->currentData().toInt();

    UpdateEnabling();
}

void TfrmSettings::UpdateEnabling()
{
    const bool setStatus = FSetStatusToOnSD->isChecked();
    FShutDownStatus->setEnabled(setStatus);
    FOnShutdown->setEnabled(setStatus);
    const bool administrator = FSession != nullptr && FSession->Administrator;
    FLoggingType->setEnabled(administrator);
    FLogging->setEnabled(administrator);
    FAllowMessages->setEnabled(administrator);
    // Only what this desktop can tell is offered.
    FAwayWhenLocked->setEnabled(!FSources.Lock.isEmpty());
    FAwayAfterIdle->setEnabled(!FSources.Idle.isEmpty());
    FAwayStatus->setEnabled(!FSources.Lock.isEmpty() || !FSources.Idle.isEmpty());
}

void TfrmSettings::chkPlayWavFileClick()
{
    const bool play = FPlayWavFile->isChecked();
    FWav->setEnabled(play);
    FWavFileSelected->setEnabled(play);
}

void TfrmSettings::SpeedBtnLaunchClick()
{
    std::string program = ProgramPath();
    if (program.empty())
        program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    try {
        CreateAutostartEntry(program, kIconName);
    } catch (const EKivError &error) {
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        return;
    }
    FPrompter.Show(kWillStartAutomatically, TMsgIcon::Information, TMsgButtons::Ok);
}

void TfrmSettings::BitBtnBrowseClick()
{
    const QString current =
        QFile::decodeName(QByteArray::fromStdString(Trimmed(EditBytes(*FLocation, TTextKind::Path))));
    QString folder =
        TKivFileDialog::GetExistingDirectory(this, QStringLiteral("Locate the folder for the Kiv Database"),
                                             QFileInfo(current).isDir() ? current : QString());
    if (folder.isEmpty())
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    // The settings block keeps the location in at most this many bytes; a
    // longer one would come back cut short, naming another folder.
    const QByteArray bytes = QFile::encodeName(folder);
    if (static_cast<std::size_t>(bytes.size()) > kSettingTextMax) {
        FPrompter.Show("The path of this folder is too long. Kiv can keep a database location of at most "
                           + std::to_string(kSettingTextMax) + " characters.",
                       TMsgIcon::Information, TMsgButtons::Ok);
        return;
    }
    if (FPrompter.Show(kChangeLocation, TMsgIcon::Confirmation, TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return;
    ShowBytes(*FLocation, bytes.toStdString(), TTextKind::Path);
}

void TfrmSettings::BitBtnWAVClick()
{
    // The chooser opens where the sound chosen last lies, else at home.
    const QFileInfo current(FWavFileSelected->text());
    const QString file = TKivFileDialog::GetOpenFileName(
        this, QStringLiteral("Choose .WAV file"), QStringLiteral("*.wav (*.wav)"),
        !FWavFileSelected->text().isEmpty() && current.dir().exists() ? current.absolutePath() : QString(),
        QStringLiteral("wav"));
    if (file.isEmpty())
        return;
    const QByteArray bytes = QFile::encodeName(file);
    if (static_cast<std::size_t>(bytes.size()) > kSettingTextMax) {
        FPrompter.Show("The path of this file is too long. Kiv can keep a sound file of at most "
                           + std::to_string(kSettingTextMax) + " characters.",
                       TMsgIcon::Information, TMsgButtons::Ok);
        return;
    }
    ShowBytes(*FWavFileSelected, bytes.toStdString(), TTextKind::Path);
    // A preview, so the user hears what a new message will sound like.
    FSound->Play(file);
}

void TfrmSettings::btnHelpClick()
{
    ShowHelpTopic(this, QStringLiteral("Displaying_your_settings"));
}

QString TfrmSettings::HelpTopicShown() const
{
    // The tab's own help context, else the dialog's.
    QVariant context =
        FPages->currentWidget() != nullptr ? FPages->currentWidget()->property("helpContext") : QVariant();
    if (!context.isValid())
        context = property("helpContext");
    for (const THelpContextTopic &entry : HelpContextTopics)
        if (entry.Context == context.toInt())
            return QString::fromLatin1(entry.Topic);
    return QStringLiteral("Displaying_your_settings");
}

bool TfrmSettings::RefuseTypedPeriod(QSpinBox &spin)
{
    // A spin edit silently puts its last good value back when what was typed
    // lies outside its range; the user is told instead.
    QLabel *note = RefusalNote(spin);
    if (spin.hasAcceptableInput()) {
        if (note != nullptr)
            note->hide();
        return false;
    }
    if (note != nullptr) {
        const QString typed = spin.cleanText().trimmed();
        note->setText(QStringLiteral("%1 was refused: the period is from %2 seconds. It stays %3 seconds.")
                          .arg(typed.isEmpty() ? QStringLiteral("An empty period") : typed, RangeText(spin))
                          .arg(spin.value()));
        note->show();
    }
    return true;
}

bool TfrmSettings::eventFilter(QObject *watched, QEvent *event)
{
    auto *spin = qobject_cast<QSpinBox *>(watched);
    if (spin == nullptr)
        return TKivDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        // Enter would otherwise press OK with the old period and not a word.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && RefuseTypedPeriod(*spin)) {
            spin->selectAll();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // A click on OK takes the focus first: the OK it goes on to is held
        // back once, so that the user sees the refusal before anything closes.
        if (RefuseTypedPeriod(*spin) && QApplication::focusWidget() == FOk)
            FRefusedBeforeOk = true;
    }
    return TKivDialog::eventFilter(watched, event);
}

void TfrmSettings::accept()
{
    bool refused = std::exchange(FRefusedBeforeOk, false);
    for (QSpinBox *spin : {FDisplayUpdate, FCheckNewMessages}) {
        // OK's own key leaves the focus, and the typed text, where they were.
        if (!spin->hasAcceptableInput() && RefuseTypedPeriod(*spin)) {
            refused = true;
            for (int i = 0; i < FPages->count(); ++i)
                if (FPages->widget(i)->isAncestorOf(spin))
                    FPages->setCurrentIndex(i);
            spin->setFocus();
            spin->selectAll();
        }
    }
    if (!refused)
        TKivDialog::accept();
}
