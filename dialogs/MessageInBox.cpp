#include "dialogs/MessageInBox.h"

#include "board/KivBoard.h"
#include "board/MessageRecord.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"
#include "gui/KivImages.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>
#include <optional>

namespace {

constexpr int DeleteImage = 19;
constexpr int ExitImage = 8;
constexpr int TypeWidth = 33;
constexpr int PanelWidths[3] = {120, 120, 50};
constexpr const char *PanelTexts[3] = {"New messages =", "Old messages =", "Total messages ="};

/// Return or Enter on a row reads it, as a click does.
class TRowKeys final : public QObject {
public:
    TRowKeys(QObject *parent, std::function<void()> read) : QObject(parent), FRead(std::move(read)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                FRead();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> FRead;
};

} // namespace

TfrmKivMessageInBox::TfrmKivMessageInBox(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmKivMessageInBox", QStringLiteral("Message InBox"), DesignSize(),
                 TFrame::Sizeable),
      FMain(frmMain)
{
    AddHelpKey(*this, "Messages");
    UseOwnersFont(*this);
    const TKivImageList &images = FMain.imgSmallPics();

    FDeleteMessage = new QAction(images.Icon(DeleteImage), QStringLiteral("&Delete"), this);
    FDeleteMessage->setObjectName(QStringLiteral("actDeleteMessage"));
    FDeleteMessage->setToolTip(QStringLiteral("Delete selected message"));
    FDeleteMessage->setStatusTip(QStringLiteral("Delete selected message"));
    connect(FDeleteMessage, &QAction::triggered, this, &TfrmKivMessageInBox::actDeleteMessageExecute);
    FFileExit = new QAction(images.Icon(ExitImage), QStringLiteral("E&xit"), this);
    FFileExit->setObjectName(QStringLiteral("actFileExit"));
    connect(FFileExit, &QAction::triggered, this, &QDialog::reject);

    FMenuBar = new QMenuBar(this);
    FMenuBar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *file = FMenuBar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    file->addAction(FFileExit);

    FToolBar = new QToolBar(this);
    FToolBar->setObjectName(QStringLiteral("ToolBar1"));
    FToolBar->setIconSize(TKivImageList::ImageSize());
    FToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FToolBar->addAction(FDeleteMessage);
    FToolBar->addAction(FFileExit);

    FList = new QTreeWidget(this);
    FList->setObjectName(QStringLiteral("ListViewInBox"));
    FList->setRootIsDecorated(false);
    FList->setItemsExpandable(false);
    FList->setUniformRowHeights(true);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setAllColumnsShowFocus(true);
    FList->setHeaderLabels({QStringLiteral("From"), QStringLiteral("Subject"), QStringLiteral("Type"),
                            QStringLiteral("PrimaryKey"), QStringLiteral("Received")});
    FList->header()->setStretchLastSection(false);
    FList->header()->setSectionsMovable(false);
    FList->setColumnWidth(colType, TypeWidth);
    FList->setColumnWidth(colPrimaryKey, 0);
    FList->setColumnHidden(colPrimaryKey, true);
    connect(FList, &QTreeWidget::itemClicked, this, &TfrmKivMessageInBox::ListViewInBoxClick);
    connect(FList, &QTreeWidget::itemSelectionChanged, this, &TfrmKivMessageInBox::UpdateActions);
    FList->installEventFilter(new TRowKeys(FList, [this] { ListViewInBoxClick(); }));

    FMemo = new QPlainTextEdit(this);
    FMemo->setObjectName(QStringLiteral("memoMessageConntent"));
    FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette blue = FMemo->palette();
    blue.setColor(QPalette::Text, QColor(0, 0, 255));
    FMemo->setPalette(blue);

    FSplitter = new QSplitter(Qt::Vertical, this);
    FSplitter->setObjectName(QStringLiteral("Splitter1"));
    FSplitter->setChildrenCollapsible(false);
    FSplitter->addWidget(FList);
    FSplitter->addWidget(FMemo);
    FSplitter->setStretchFactor(0, ListShare);
    FSplitter->setStretchFactor(1, 100 - ListShare);

    FStatusBar = new QStatusBar(this);
    FStatusBar->setObjectName(QStringLiteral("StatusBarMain"));
    for (int i = 0; i < 3; ++i) {
        FPanels[i] = new QLabel(QString::fromLatin1(PanelTexts[i]), FStatusBar);
        FPanels[i]->setObjectName(QStringLiteral("pnlMessages%1").arg(i));
        FPanels[i]->setFrameShape(QFrame::StyledPanel);
        FPanels[i]->setFrameShadow(QFrame::Sunken);
        // The last panel reaches to the grip.
        if (i < 2)
            FPanels[i]->setFixedWidth(PanelWidths[i]);
        else
            FPanels[i]->setMinimumWidth(PanelWidths[i]);
        FStatusBar->addWidget(FPanels[i], i < 2 ? 0 : 1);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(FMenuBar);
    layout->addWidget(FToolBar);
    layout->addWidget(FSplitter, 1);
    layout->addWidget(FStatusBar);

    UpdateActions();
}

void TfrmKivMessageInBox::BeginUpdate()
{
    if (FUpdateDepth++ == 0)
        FList->setUpdatesEnabled(false);
}

void TfrmKivMessageInBox::EndUpdate()
{
    if (FUpdateDepth > 0 && --FUpdateDepth == 0) {
        FList->setUpdatesEnabled(true);
        for (int column : {colFrom, colSubject, colReceived})
            FList->resizeColumnToContents(column);
    }
}

void TfrmKivMessageInBox::Clear()
{
    FList->clear();
    UpdateActions();
}

void TfrmKivMessageInBox::AddRow(const TInBoxRow &row)
{
    auto *item = new QTreeWidgetItem(FList);
    item->setText(colFrom, Shown(row.Caption));
    item->setText(colSubject, Shown(row.SubItems[TInBoxRow::Subject]));
    item->setText(colType, Shown(row.SubItems[TInBoxRow::Type]));
    item->setText(colPrimaryKey, Shown(row.SubItems[TInBoxRow::PrimaryKey]));
    item->setText(colReceived, Shown(row.SubItems[TInBoxRow::Received]));
}

void TfrmKivMessageInBox::SetPanelText(int panel, const std::string &text)
{
    if (panel >= 0 && panel < 3)
        FPanels[panel]->setText(Shown(text));
}

QString TfrmKivMessageInBox::PanelText(int panel) const
{
    return panel >= 0 && panel < 3 ? FPanels[panel]->text() : QString();
}

void TfrmKivMessageInBox::SetMessageText(const std::string &text)
{
    FMemo->setPlainText(TKivMessageBox::DisplayText(text));
}

void TfrmKivMessageInBox::UpdateActions()
{
    FDeleteMessage->setEnabled(!FList->selectedItems().isEmpty());
}

QTreeWidgetItem *TfrmKivMessageInBox::FocusedRow() const
{
    return FList->currentItem();
}

void TfrmKivMessageInBox::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FShowing = true;
    FMain.PauseTimers(PausedTimer::Both);
    if (!FShownOnce) {
        FShownOnce = true;
        layout()->activate();
        const int height = FSplitter->height();
        FSplitter->setSizes({height * ListShare / 100, height - height * ListShare / 100});
    }
    // One pixel wider lays the list's columns out afresh.
    resize(width() + 1, this->height());
    if (TKivBoard *kiv = FMain.KivBoard())
        ShowingErrors(FPrompter, [&] { kiv->Messages().FillInBox(*this); });
    FMemo->clear();
    FMain.SetStatusText(std::string());
}

void TfrmKivMessageInBox::hideEvent(QHideEvent *event)
{
    TKivDialog::hideEvent(event);
    if (event->spontaneous() || !FShowing)
        return;
    FShowing = false;
    FMain.ResumeTimers(PausedTimer::Both);
}

void TfrmKivMessageInBox::ListViewInBoxClick()
{
    QTreeWidgetItem *row = FocusedRow();
    if (FList->selectedItems().isEmpty() || row == nullptr)
        return;
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    const std::string key = Bytes(row->text(colPrimaryKey));
    TKivMessage &messages = kiv->Messages();
    if (!ShowingErrors(FPrompter, [&] { messages.ShowMessageBody(key, *this); }))
        return;
    if (row->text(colType) != QLatin1String(MessageRecord::New))
        return;
    std::optional<std::string> failure;
    {
        TBusyCursor busy;
        try {
            messages.MarkMessageOld(key);
            FMain.StopNewMailAnimation();
        } catch (const std::exception &error) {
            failure = error.what();
        }
    }
    if (failure)
        FPrompter.Show(*failure, TMsgIcon::Error, TMsgButtons::Ok);
}

void TfrmKivMessageInBox::actDeleteMessageExecute()
{
    if (FList->selectedItems().isEmpty())
        return;
    if (FPrompter.Show(DeleteQuestion, TMsgIcon::Information, TMsgButtons::YesNo) != TMsgAnswer::Yes)
        return;
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    std::optional<std::string> failure;
    {
        TBusyCursor busy;
        try {
            if (QTreeWidgetItem *row = FocusedRow())
                kiv->Messages().DeleteMessage(Bytes(row->text(colPrimaryKey)));
            kiv->Messages().FillInBox(*this);
            FMemo->clear();
        } catch (const std::exception &error) {
            failure = error.what();
        }
    }
    if (failure)
        FPrompter.Show(*failure, TMsgIcon::Error, TMsgButtons::Ok);
}

void TfrmKivMessageInBox::ExecuteViewInBox()
{
    FMain.SetStatusText("Locating messages...");
    FMain.StatusBarMain()->repaint();
    exec();
}

void TfrmKivMessageInBox::TrayIconDoubleClick(const QWidget &messages)
{
    if (!isVisible() && !messages.isVisible() && FMain.NewMailAnimating())
        exec();
}
