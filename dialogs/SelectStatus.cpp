#include "dialogs/SelectStatus.h"

#include "board/KivBoard.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

TfrmSelectStatus::TfrmSelectStatus(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmSelectStatus", QStringLiteral("Please select status"), DesignSize(),
                 TFrame::Sizeable),
      FMain(frmMain)
{
    // A dialog frame the user may resize, with only the system menu.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setMinimumSize(SmallestSize());
    AddHelpKey(*this, "Statuses");
    UseOwnersFont(*this);

    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("lbSelectStatus"));
    FItems = std::make_unique<TListBoxItems>(*FList, true);
    // Arrow keys only browse the list: a status is chosen by a click on it,
    // by Enter or by OK, so passing over statuses stores none of them.
    connect(FList, &QListWidget::itemClicked, this, &TfrmSelectStatus::lbSelectStatusClick);
    connect(FList, &QListWidget::itemActivated, this, &TfrmSelectStatus::lbSelectStatusClick);
    connect(FList, &QListWidget::itemSelectionChanged, this,
            [this] { FOk->setEnabled(FItems->SelectedData().has_value()); });

    FSelected = new QLineEdit(this);
    FSelected->setObjectName(QStringLiteral("txtSelectedStatus"));
    FSelected->hide();

    FOk = new QPushButton(QStringLiteral("&OK"), this);
    FOk->setObjectName(QStringLiteral("btnOk"));
    FOk->setDefault(true);
    FOk->setEnabled(false);
    connect(FOk, &QPushButton::clicked, this, &TfrmSelectStatus::lbSelectStatusClick);

    FClose = new QPushButton(QStringLiteral("&Close"), this);
    FClose->setObjectName(QStringLiteral("btnClose"));
    FClose->setAutoDefault(false);
    connect(FClose, &QPushButton::clicked, this, &QDialog::reject);

    // The size and place this workstation keeps for the picker. Without
    // readable settings the program does not get this far; should they fail
    // now, the design size serves.
    try {
        TKivSettings settings;
        FKivCB.ReadSettings(settings);
        QSize size(settings.CustomWidth, settings.CustomHeight);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            size = size.boundedTo(screen->availableGeometry().size());
        resize(size.expandedTo(SmallestSize()));
        move(settings.CustomLeft, settings.CustomTop);
    } catch (const EKivError &) {
    }
}

TfrmSelectStatus::~TfrmSelectStatus()
{
    try {
        TKivSettings settings;
        FKivCB.ReadSettings(settings);
        settings.CustomHeight = height();
        settings.CustomLeft = x();
        settings.CustomTop = y();
        settings.CustomWidth = width();
        FKivCB.WriteSettings(settings);
    } catch (const EKivError &error) {
        ReportOnStandardError(error.what());
    }
}

void TfrmSelectStatus::resizeEvent(QResizeEvent *event)
{
    // The list keeps its margins on every side; OK and Close keep the bottom right.
    TKivDialog::resizeEvent(event);
    FList->setGeometry(7, 7, width() - 14, height() - 45);
    FOk->setGeometry(width() - 163, height() - 31, 75, 25);
    FClose->setGeometry(width() - 82, height() - 31, 75, 25);
}

void TfrmSelectStatus::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // Coming back from a minimised window is no new showing.
    TKivBoard *kiv = FMain.KivBoard();
    if (event->spontaneous() || kiv == nullptr)
        return;
    FFilling = true;
    ShowingErrors(FPrompter, [&] {
        kiv->Status().EnsureStatusDataset();
        kiv->Status().FillStatusList(*FItems);
    });
    FList->clearSelection();
    FOk->setEnabled(false);
    FFilling = false;
}

void TfrmSelectStatus::lbSelectStatusClick()
{
    if (FFilling || !isVisible() || !FItems->SelectedData())
        return;
    // The OK result is set before the read, so the window closes with OK
    // even when the read fails. The choice is emptied first: a status that
    // could not be read is never taken for the one clicked.
    setResult(QDialog::Accepted);
    FSelectedStatus.clear();
    if (TKivBoard *kiv = FMain.KivBoard())
        ShowingErrors(FPrompter, [&] { kiv->Status().ReadStatus(*FItems, FSelectedStatus); });
    FSelected->setText(Shown(FSelectedStatus));
    done(result());
}

void TfrmSelectStatus::ExecuteCustomStatus()
{
    const TTimerPauseScope pause(FMain, PausedTimer::Board);
    if (exec() == QDialog::Accepted) {
        const std::string status = Trimmed(FSelectedStatus);
        if (!status.empty())
            ShowingErrors(FPrompter, [&] { FMain.StoreStatus(status); });
    }
}
