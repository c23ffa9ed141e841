// The board page's look from the page group of a workstation's settings.
#pragma once

#include "board/BoardPage.h"
#include "config/KivCB.h"
#include "platform/Text.h"

inline TPageLook PageLookOf(const TKivSettings &settings)
{
    TPageLook look;
    look.Info1 = settings.Info1;
    look.Info2 = settings.Info2;
    look.ThisPage = settings.ThisPage;
    look.AutoUpdateInBrowser = settings.AutoUpdateInBrowser;
    look.FontSize = settings.FontSize;
    look.NameWidth = settings.NameWidth;
    look.StatusWidth = settings.StatusWidth;
    look.ExtWidth = settings.ExtWidth;
    look.DepartmentWidth = settings.DepartmentWidth;
    look.CommentsWidth = settings.CommentsWidth;
    look.GenerateHTMLEvery = settings.GenerateHTMLEvery;
    look.TableBorder = settings.TableBoader;
    look.CellPadding = settings.CellPadding;
    look.CellSpacing = settings.CellSpacing;
    look.ShowOfflineUsers = settings.ShowOfflineUsers;
    look.SortByUser = settings.SortListView;
    return look;
}

/// The page's place as the settings name it, blanks around it dropped; empty
/// when no page is to be written.
inline std::string PageLocationOf(const TKivSettings &settings)
{
    return Trimmed(settings.HTMLLocation);
}
