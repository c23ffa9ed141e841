#include "dialogs/CatalogueDialog.h"

#include "gui/BoardWindow.h"
#include "gui/HelpWindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

namespace {

// The column of actions beside the list and the buttons along the bottom.
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ActionLeft = 218;
constexpr int BottomRow = 249;

QAction *NewAction(QObject *parent, const char *name, const QString &caption, const char *hint)
{
    auto *action = new QAction(caption, parent);
    action->setObjectName(QString::fromLatin1(name));
    if (hint != nullptr) {
        action->setStatusTip(QString::fromLatin1(hint));
        action->setToolTip(QString::fromLatin1(hint));
    }
    return action;
}

} // namespace

TKivCatalogueDialog::TKivCatalogueDialog(IBoardWindow &frmMain, const TCatalogueWording &wording)
    : TKivDialog(&frmMain.Widget(), wording.ObjectName, QString::fromLatin1(wording.Caption), DesignSize(),
                 TFrame::Fixed),
      FMain(frmMain), FWording(wording), FList(new QListWidget(this)), FItems(*FList, true)
{
    FList->setObjectName(QString::fromLatin1(wording.ListName));
    FList->setGeometry(8, 8, 200, 185);
    connect(FList, &QListWidget::itemSelectionChanged, this, &TKivCatalogueDialog::ListClick);

    FEntry = new QLineEdit(this);
    FEntry->setObjectName(QString::fromLatin1(wording.EntryName));
    LimitToBytes(*FEntry, wording.MaxLength);
    if (wording.Placeholder != nullptr)
        FEntry->setPlaceholderText(QString::fromLatin1(wording.Placeholder));
    FEntry->setGeometry(8, 218, 285, 21);
    connect(FEntry, &QLineEdit::textChanged, this, &TKivCatalogueDialog::UpdateActions);
    FLabel = new QLabel(QString::fromLatin1(wording.Label), this);
    FLabel->setBuddy(FEntry);
    FLabel->setGeometry(8, 200, 200, 16);

    FSelected = new QLineEdit(this);
    FSelected->setObjectName(QStringLiteral("txtSelectedItem"));
    FSelected->hide();

    FActAdd = NewAction(this, "actAdd", QStringLiteral("&Add"), wording.AddHint);
    connect(FActAdd, &QAction::triggered, this, &TKivCatalogueDialog::actAddExecute);
    FActDelete = NewAction(this, "actDelete", QStringLiteral("&Delete"), wording.DeleteHint);
    connect(FActDelete, &QAction::triggered, this, &TKivCatalogueDialog::actDeleteExecute);
    FActUpdate = NewAction(this, "actUpdate", QStringLiteral("&Update"), wording.UpdateHint);
    connect(FActUpdate, &QAction::triggered, this, &TKivCatalogueDialog::actUpdateExecute);

    const auto newButton = [this](const char *name, int left, int top) {
        auto *button = new QPushButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(left, top, ButtonWidth, ButtonHeight);
        return button;
    };
    const auto update = [this] { UpdateActions(); };
    FAdd = newButton("btnAdd", ActionLeft, 8);
    BindButton(*FAdd, *FActAdd, update);
    FAdd->setDefault(true);
    FDelete = newButton("btnDelete", ActionLeft, 39);
    BindButton(*FDelete, *FActDelete, update);
    FUpdate = newButton("btnUpdate", ActionLeft, 70);
    BindButton(*FUpdate, *FActUpdate, update);
    FHelp = newButton("btnHelp", ActionLeft - 80, BottomRow);
    FHelp->setText(QStringLiteral("&Help"));
    connect(FHelp, &QPushButton::clicked, this, &TKivCatalogueDialog::ShowHelp);
    FClose = newButton("btnClose", ActionLeft, BottomRow);
    FClose->setText(QStringLiteral("&Close"));
    connect(FClose, &QPushButton::clicked, this, &TKivCatalogueDialog::CloseExecute);

    auto *help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &TKivCatalogueDialog::ShowHelp);

    setTabOrder(FList, FAdd);
    setTabOrder(FAdd, FDelete);
    setTabOrder(FDelete, FUpdate);
    setTabOrder(FUpdate, FEntry);
    setTabOrder(FEntry, FHelp);
    setTabOrder(FHelp, FClose);
    UpdateActions();
}

void TKivCatalogueDialog::ShowModal()
{
    exec();
}

bool TKivCatalogueDialog::Protected(const std::string &) const
{
    return false;
}

void TKivCatalogueDialog::CloseExecute()
{
    reject();
}

void TKivCatalogueDialog::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // A window restored by the desktop is not shown anew.
    if (!event->spontaneous())
        FormShow();
}

void TKivCatalogueDialog::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Close button's, as a cancel button's; the close box of the
    // window only closes it.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        FClose->click();
        return;
    }
    TKivDialog::keyPressEvent(event);
}

void TKivCatalogueDialog::FormShow()
{
    if (TKivBoard *board = FMain.KivBoard()) {
        ShowingErrors(FPrompter, [&] {
            EnsureDataset(*board);
            FillList(*board);
        });
    }
    FEntry->clear();
    FEntry->setFocus();
    UpdateActions();
}

void TKivCatalogueDialog::ListClick()
{
    TKivBoard *board = FMain.KivBoard();
    if (board != nullptr && FItems.SelectedData()) {
        // The entry read before must not stay, where Delete and Update would
        // take it for the one selected now (a fixed status among them).
        FSelected->clear();
        const bool read = ShowingErrors(FPrompter, [&] {
            std::string text;
            ReadSelected(*board, text);
            SetEditBytes(*FSelected, text);
        });
        // Nothing read, nothing selected: Delete and Update wait for an entry.
        if (!read)
            FList->clearSelection();
    }
    UpdateActions();
}

void TKivCatalogueDialog::UpdateActions()
{
    const bool selected = FItems.SelectedData().has_value();
    const bool typed = !FEntry->text().trimmed().isEmpty();
    const bool changeable = selected && !Protected(EditBytes(*FSelected));
    FActAdd->setEnabled(typed);
    FActDelete->setEnabled(changeable);
    FActUpdate->setEnabled(changeable && typed);
}

void TKivCatalogueDialog::actAddExecute()
{
    if (TKivBoard *board = FMain.KivBoard()) {
        ShowingErrors(FPrompter, [&] {
            Add(*board, EditBytes(*FEntry));
            FillList(*board);
        });
    }
    UpdateActions();
}

void TKivCatalogueDialog::actDeleteExecute()
{
    TKivBoard *board = FMain.KivBoard();
    if (board == nullptr)
        return;
    const std::string question = FWording.DeleteQuestion + ("\"" + Isolated(EditBytes(*FSelected)) + "\"");
    ShowingErrors(FPrompter, [&] {
        const std::optional<int32_t> number = FItems.SelectedData();
        if (FPrompter.Show(question, TMsgIcon::Information, TMsgButtons::YesNo) == TMsgAnswer::Yes && number)
            Delete(*board, *number);
        // Refilled whatever the answer: the selection goes either way.
        FillList(*board);
    });
    UpdateActions();
}

void TKivCatalogueDialog::actUpdateExecute()
{
    if (TKivBoard *board = FMain.KivBoard()) {
        ShowingErrors(FPrompter, [&] {
            Rename(*board, EditBytes(*FSelected), EditBytes(*FEntry));
            FillList(*board);
        });
    }
    UpdateActions();
}

void TKivCatalogueDialog::ShowHelp()
{
    ShowHelpTopic(this, QString::fromLatin1(FWording.HelpTopic));
}
