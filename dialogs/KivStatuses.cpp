#include "dialogs/KivStatuses.h"

#include "board/KivBoard.h"

namespace {

const TCatalogueWording kStatusWording{
    "frmKivStatuses",
    "Administer Statuses",
    "lstStatuses",
    "txtStatus",
    "Type Status...",
    int(StatusRecord::StatusText.Width - 1),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    TfrmKivStatuses::HelpTopic,
    "Are you sure you want to delete the Status ",
};

} // namespace

TfrmKivStatuses::TfrmKivStatuses(IBoardWindow &frmMain) : TKivCatalogueDialog(frmMain, kStatusWording) {}

void TfrmKivStatuses::EnsureDataset(TKivBoard &board)
{
    board.Status().EnsureStatusDataset();
}

void TfrmKivStatuses::FillList(TKivBoard &board)
{
    board.Status().FillStatusList(Items());
}

void TfrmKivStatuses::ReadSelected(TKivBoard &board, std::string &text)
{
    board.Status().ReadStatus(Items(), text);
}

void TfrmKivStatuses::Add(TKivBoard &board, const std::string &text)
{
    board.Status().AddStatus(text);
}

void TfrmKivStatuses::Delete(TKivBoard &board, int32_t number)
{
    board.Status().DeleteStatus(number);
}

void TfrmKivStatuses::Rename(TKivBoard &board, const std::string &oldText, const std::string &newText)
{
    board.Status().UpdateStatus(oldText, newText);
}

bool TfrmKivStatuses::Protected(const std::string &text) const
{
    return TKivStatus::IsFixedStatus(text);
}
