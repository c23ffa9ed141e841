#include "dialogs/KivUsers.h"

#include "board/KivBoard.h"
#include "board/UserRecord.h"
#include "gui/BoardWindow.h"
#include "gui/HelpWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

#include <array>

namespace {

// Rows of one fixed height, whatever the font would ask for.
class TFixedRowHeight final : public QStyledItemDelegate {
public:
    TFixedRowHeight(int height, QObject *parent) : QStyledItemDelegate(parent), FHeight(height) {}
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(FHeight);
        return size;
    }

private:
    int FHeight;
};

// The right-hand column of fields.
constexpr int FieldLeft = 176;
constexpr int FieldWidth = 198;
constexpr int LabelHeight = 16;
constexpr int EditHeight = 21;
constexpr int ComboHeight = 22;

// The buttons along the bottom.
constexpr int ButtonTop = 298;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;

} // namespace

TfrmKivUsers::TfrmKivUsers(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmKivUsers", QStringLiteral("Administer Kiv Users"), DesignSize(),
                 TFrame::Sizeable),
      FMain(frmMain), FUsersList(new QListWidget(this)), FStatusCombo(new QComboBox(this)),
      FDepartmentCombo(new QComboBox(this)), FUsers(*FUsersList, true), FStatuses(*FStatusCombo, true),
      FDepartments(*FDepartmentCombo, true)
{
    setMinimumSize(DesignSize());
    CreateControls();
    UpdateActions();
}

QLabel *TfrmKivUsers::NewLabel(const QString &caption, QWidget *buddy, int top)
{
    auto *label = new QLabel(caption, this);
    label->setBuddy(buddy);
    FAnchors.Add(*label, QRect(FieldLeft, top, FieldWidth, LabelHeight), TAnchors::Left | TAnchors::Top);
    return label;
}

void TfrmKivUsers::CreateControls()
{
    constexpr unsigned TopLeft = TAnchors::Left | TAnchors::Top;
    constexpr unsigned BottomRight = TAnchors::Right | TAnchors::Bottom;

    FUsersList->setObjectName(QStringLiteral("lbUsers"));
    QFont listFont = FUsersList->font();
    listFont.setPixelSize(15);
    FUsersList->setFont(listFont);
    QPalette listColours = FUsersList->palette();
    listColours.setColor(QPalette::Text, Qt::blue);
    FUsersList->setPalette(listColours);
    FUsersList->setItemDelegate(new TFixedRowHeight(16, FUsersList));
    FUsersList->setUniformItemSizes(true);
    FAnchors.Add(*FUsersList, QRect(8, 8, 157, 283), TopLeft | TAnchors::Bottom);
    connect(FUsersList, &QListWidget::itemSelectionChanged, this, [this] {
        ReadUser();
        UpdateActions();
    });

    FName = new QLineEdit(this);
    FName->setObjectName(QStringLiteral("txtName"));
    LimitToBytes(*FName, int(UserRecord::Name.Width - 1));
    NewLabel(QStringLiteral("Name"), FName, 8);
    FAnchors.Add(*FName, QRect(FieldLeft, 24, FieldWidth, EditHeight), TopLeft);

    FStatusText = new QLineEdit(this);
    FStatusText->setObjectName(QStringLiteral("txtStatus"));
    FStatusText->hide();
    FStatusCombo->setObjectName(QStringLiteral("cboStatus"));
    FStatusCombo->setMaxVisibleItems(11);
    NewLabel(QStringLiteral("Status"), FStatusCombo, 50);
    FAnchors.Add(*FStatusCombo, QRect(FieldLeft, 66, FieldWidth, ComboHeight), TopLeft);

    FDepartmentText = new QLineEdit(this);
    FDepartmentText->setObjectName(QStringLiteral("txtDepartment"));
    FDepartmentText->hide();
    FDepartmentCombo->setObjectName(QStringLiteral("cboDepartment"));
    NewLabel(QStringLiteral("Department"), FDepartmentCombo, 93);
    FAnchors.Add(*FDepartmentCombo, QRect(FieldLeft, 109, FieldWidth, ComboHeight), TopLeft);

    FUserName = new QLineEdit(this);
    FUserName->setObjectName(QStringLiteral("txtUserName"));
    FUserName->setReadOnly(true);
    QPalette grey = FUserName->palette();
    grey.setColor(QPalette::Base, grey.color(QPalette::Window));
    FUserName->setPalette(grey);
    NewLabel(QStringLiteral("User Name"), FUserName, 136);
    FAnchors.Add(*FUserName, QRect(FieldLeft, 152, FieldWidth, EditHeight), TopLeft);

    FComments = new QLineEdit(this);
    FComments->setObjectName(QStringLiteral("txtComments"));
    LimitToBytes(*FComments, int(UserRecord::Comments.Width - 1));
    NewLabel(QStringLiteral("Comments"), FComments, 178);
    FAnchors.Add(*FComments, QRect(FieldLeft, 194, FieldWidth - 24, EditHeight), TopLeft);
    FClear = new QToolButton(this);
    FClear->setObjectName(QStringLiteral("BitBtnClear"));
    FClear->setToolTip(QStringLiteral("Clear comment"));
    FClear->setAccessibleName(QStringLiteral("Clear comment"));
    FClear->setIcon(
        QIcon::fromTheme(QStringLiteral("edit-clear"), style()->standardIcon(QStyle::SP_DialogResetButton)));
    FClear->setFocusPolicy(Qt::TabFocus);
    FAnchors.Add(*FClear, QRect(FieldLeft + FieldWidth - 22, 194, 22, EditHeight), TopLeft);
    connect(FClear, &QToolButton::clicked, FComments, &QLineEdit::clear);

    FExtension = new QLineEdit(this);
    FExtension->setObjectName(QStringLiteral("txtExtension"));
    LimitToBytes(*FExtension, int(UserRecord::Ext.Width - 1));
    NewLabel(QStringLiteral("Extension"), FExtension, 220);
    FAnchors.Add(*FExtension, QRect(FieldLeft, 236, 100, EditHeight), TopLeft);

    FAdministrator = new QCheckBox(QStringLiteral("Administrator"), this);
    FAdministrator->setObjectName(QStringLiteral("chkboxAdministrator"));
    FAnchors.Add(*FAdministrator, QRect(FieldLeft, 266, FieldWidth, 20), TopLeft);

    FActUpdate = new QAction(QStringLiteral("&Update"), this);
    FActUpdate->setObjectName(QStringLiteral("actUpdate"));
    connect(FActUpdate, &QAction::triggered, this, &TfrmKivUsers::actUpdateExecute);
    FActDelete = new QAction(QStringLiteral("&Delete"), this);
    FActDelete->setObjectName(QStringLiteral("actDelete"));
    connect(FActDelete, &QAction::triggered, this, &TfrmKivUsers::actDeleteExecute);
    FActClose = new QAction(QStringLiteral("&Close"), this);
    FActClose->setObjectName(QStringLiteral("actClose"));
    connect(FActClose, &QAction::triggered, this, &QDialog::reject);

    const auto newButton = [this, BottomRight](const char *name, int left) {
        auto *button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        FAnchors.Add(*button, QRect(left, ButtonTop, ButtonWidth, ButtonHeight), BottomRight);
        return button;
    };
    const auto update = [this] { UpdateActions(); };
    FHelp = newButton("btnHelp", 61);
    FHelp->setText(QStringLiteral("&Help"));
    connect(FHelp, &QPushButton::clicked, this, &TfrmKivUsers::ShowHelp);
    FUpdate = newButton("btnUpdate", 141);
    BindButton(*FUpdate, *FActUpdate, update);
    FUpdate->setDefault(true);
    FDelete = newButton("btnDelete", 221);
    BindButton(*FDelete, *FActDelete, update);
    // The cancel button: Esc closes the dialog as it does.
    FCancel = newButton("btnCancel", 301);
    BindButton(*FCancel, *FActClose, update);

    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TfrmKivUsers::ShowHelp);

    const std::array<QWidget *, 13> order{FUsersList, FName,   FStatusCombo, FDepartmentCombo, FUserName,
                                          FComments,  FClear,  FExtension,   FAdministrator,   FHelp,
                                          FUpdate,    FDelete, FCancel};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TfrmKivUsers::ShowModal()
{
    exec();
}

void TfrmKivUsers::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // A window restored by the desktop is not shown anew.
    if (!event->spontaneous())
        FormShow();
}

void TfrmKivUsers::resizeEvent(QResizeEvent *event)
{
    TKivDialog::resizeEvent(event);
    FAnchors.Apply(size());
}

void TfrmKivUsers::FormShow()
{
    FName->clear();
    FStatusText->clear();
    FUserName->clear();
    FComments->clear();
    FExtension->clear();
    FAdministrator->setChecked(false);
    if (TKivBoard *board = FMain.KivBoard()) {
        ShowingErrors(FPrompter, [&] {
            FillUsers(*board);
            board->Status().EnsureStatusDataset();
            board->Status().FillStatusCombo(FStatuses);
            board->Departments().FillDepartmentCombo(FDepartments);
        });
    }
    FCancel->setFocus();
    UpdateActions();
}

void TfrmKivUsers::FillUsers(TKivBoard &board)
{
    board.KivFile().FillUserNames(FUsers);
}

void TfrmKivUsers::EmptyFields()
{
    for (QLineEdit *edit : {FName, FStatusText, FComments, FExtension, FDepartmentText, FUserName})
        edit->clear();
    FStatuses.Select(-1);
    FDepartments.Select(-1);
    FAdministrator->setChecked(false);
    FReadAdministrator = false;
}

void TfrmKivUsers::ReadUser()
{
    const std::optional<int32_t> number = FUsers.SelectedData();
    TKivBoard *board = FMain.KivBoard();
    if (!number || board == nullptr)
        return;
    // The user read before must not stay in the fields, where Update and
    // Delete would take them for the one selected now.
    EmptyFields();
    const bool read = ShowingErrors(FPrompter, [&] {
        const TUser user = board->KivFile().ReadUser(*number);
        FReadAdministrator = user.Administrator == 1;
        SetEditBytes(*FName, user.Name);
        SetEditBytes(*FStatusText, user.Status);
        SetEditBytes(*FComments, user.Comments);
        SetEditBytes(*FExtension, user.Ext);
        SetEditBytes(*FDepartmentText, user.Department);
        SetEditBytes(*FUserName, user.LogInName);
        FAdministrator->setChecked(user.Administrator == 1);
        // A status or department the catalogue lacks shows as none.
        FStatuses.SelectExact(EditBytes(*FStatusText));
        FDepartments.SelectExact(EditBytes(*FDepartmentText));
    });
    // Nothing read, nothing selected: Update and Delete wait for a user.
    if (!read)
        FUsersList->clearSelection();
}

void TfrmKivUsers::UpdateActions()
{
    const bool selected = FUsers.SelectedData().has_value();
    FActUpdate->setEnabled(selected);
    FActDelete->setEnabled(selected && FUsers.Count() > 1);
}

void TfrmKivUsers::actUpdateExecute()
{
    TKivBoard *board = FMain.KivBoard();
    if (board == nullptr)
        return;
    TUser user;
    user.Name = EditBytes(*FName);
    user.Status = FStatuses.SelectedText();
    user.Comments = EditBytes(*FComments);
    user.Ext = EditBytes(*FExtension);
    user.Department = FDepartments.SelectedText();
    user.LogInName = EditBytes(*FUserName);
    user.Administrator = FAdministrator->isChecked() ? 1 : 0;
    ShowingErrors(FPrompter, [&] {
        // The edited user's own record; the signed-in user stays who they are.
        board->KivFile().UpdateUserRecord(user);
        FillUsers(*board);
        EmptyFields();
        FMain.RefillBoard();
    });
    UpdateActions();
}

void TfrmKivUsers::actDeleteExecute()
{
    TKivBoard *board = FMain.KivBoard();
    const std::optional<int32_t> number = FUsers.SelectedData();
    if (board == nullptr || !number)
        return;
    ShowingErrors(FPrompter, [&] {
        TKivFile &kiv = board->KivFile();
        // The box ticked, or the right as stored: unticking the box first
        // does not let the only administrator go.
        if ((FAdministrator->isChecked() || FReadAdministrator) && kiv.IsOnlyAdministrator()) {
            FPrompter.Show(LastAdministrator::Delete, TMsgIcon::Error, TMsgButtons::Ok);
            return;
        }
        const std::string question = "Are you sure you want to delete \"" + Isolated(EditBytes(*FName)) + " \"";
        if (FPrompter.Show(question, TMsgIcon::Information, TMsgButtons::YesNo) != TMsgAnswer::Yes)
            return;
        kiv.DeleteUser(*number);
        FillUsers(*board);
    });
    UpdateActions();
}

void TfrmKivUsers::ShowHelp()
{
    ShowHelpTopic(this, QString::fromLatin1(HelpTopic));
}
