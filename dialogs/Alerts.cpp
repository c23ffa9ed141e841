#include "dialogs/Alerts.h"

#include "board/KivBoard.h"
#include "gui/BoardList.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"
#include "gui/MessageBox.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

TfrmAlerts::TfrmAlerts(QWidget *parent)
    : TKivDialog(parent, "frmAlerts", QStringLiteral("Alerts"), DesignSize(), TFrame::Fixed)
{
    AddHelpKey(*this, "Alerts");
    UseOwnersFont(*this);

    FUsers = new QLabel(this);
    FUsers->setObjectName(QStringLiteral("lblUsers"));
    FUsers->setTextFormat(Qt::PlainText);
    // The label keeps the list's margin on the right as on the left, and
    // wraps rather than running on to the window's edge.
    FUsers->setGeometry(8, 8, DesignSize().width() - 16, 34);
    FUsers->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FUsers->setWordWrap(true);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("lstAlerts"));
    FList->setGeometry(8, 44, 221, 233);
    FItems = std::make_unique<TListBoxItems>(*FList, false);

    FClose = new QPushButton(QStringLiteral("&Close"), this);
    FClose->setObjectName(QStringLiteral("btnClose"));
    FClose->setGeometry(156, 284, 75, 25);
    FClose->setDefault(true);
    connect(FClose, &QPushButton::clicked, this, &QDialog::reject);
}

int TfrmAlerts::ShowAlerts(TKivAlert &alerts)
{
    FAlerts = &alerts;
    FUsers->setText(
        TKivMessageBox::DisplayText("You will be notified when any \rof the following users update their status."));
    FAlerts->FillListBox(*FItems);
    return exec();
}

void TAlertCommands::ExecuteAddToAlertList()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    const std::optional<TBoardRow> row = FMain.Board().SelectedRow();
    if (!row)
        return;
    const std::string &login = row->SubItems[TBoardRow::Login];
    TKivAlert &alerts = kiv->Alerts();
    if (alerts.InAlertList(login))
        return;
    ShowingErrors(FPrompter, [&] { alerts.AddToAlertList(login, row->Caption, row->SubItems[TBoardRow::Status]); });
}

void TAlertCommands::ExecuteClearAlertList()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    if (FPrompter.Show(ClearQuestion, TMsgIcon::Confirmation, TMsgButtons::YesNo) == TMsgAnswer::Yes)
        kiv->Alerts().ClearAlertList();
}

void TAlertCommands::ExecuteViewAlertList()
{
    TKivBoard *kiv = FMain.KivBoard();
    if (kiv == nullptr)
        return;
    if (!ShowingErrors(FPrompter, [&] { kiv->KivFile().RefreshAlertNames(kiv->Alerts()); }))
        return;
    TfrmAlerts viewer(&FMain.Widget());
    viewer.ShowAlerts(kiv->Alerts());
}
