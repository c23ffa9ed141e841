#include "ctl/Terminal.h"

void PrintError(const std::string &text)
{
    PrintErrorText("kivctl", text, false);
}

TMsgAnswer TTerminalPrompter::Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons)
{
    PrintError(text);
    if (icon == TMsgIcon::Error || icon == TMsgIcon::Warning)
        FFailed = true;
    return buttons == TMsgButtons::Ok ? TMsgAnswer::Ok : TMsgAnswer::No;
}

void TCollectedBoard::Clear()
{
    FRows.clear();
    FSelected.reset();
}

std::optional<TBoardRow> TCollectedBoard::SelectedRow() const
{
    return FSelected;
}

const TBoardRow *TCollectedBoard::Find(const std::string &login) const
{
    for (const TBoardRow &row : FRows)
        if (row.SubItems[TBoardRow::Login] == login)
            return &row;
    return nullptr;
}

bool TCollectedBoard::Select(const std::string &login)
{
    const TBoardRow *row = Find(login);
    if (row == nullptr)
        return false;
    FSelected = *row;
    return true;
}

void TCollectedInBox::SetPanelText(int panel, const std::string &text)
{
    if (panel >= 0 && std::size_t(panel) < FPanels.size())
        FPanels[std::size_t(panel)] = text;
}

const TInBoxRow *TCollectedInBox::Find(const std::string &key) const
{
    for (const TInBoxRow &row : FRows)
        if (row.SubItems[TInBoxRow::PrimaryKey] == key)
            return &row;
    return nullptr;
}
