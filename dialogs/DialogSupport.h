// What the pickers, the comment dialog, the messaging dialogs and the alert
// viewer share: failures shown in an error box, the busy cursor, the help key,
// and texts passed between the data classes' bytes and the widgets.
#pragma once

#include "board/Seams.h"
#include "platform/KivError.h"

#include <QString>

#include <string>

class QWidget;

/// Runs work; a data error it raises is shown by prompter in an error box,
/// and the program carries on. True when work ran to its end.
template <typename Work>
bool ShowingErrors(IPrompter &prompter, Work &&work)
{
    try {
        work();
        return true;
    } catch (const EKivError &error) {
        prompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
        return false;
    }
}

/// Shows the busy cursor while it lives, so the normal cursor comes back
/// however the work ends.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

/// F1 in dialog opens the help file at topic.
void AddHelpKey(QWidget &dialog, const char *topic);
/// Gives dialog the font of the window it belongs to, at the size the
/// program's windows are laid out with (a window does not inherit it).
void UseOwnersFont(QWidget &dialog);

/// A stored text as a widget shows it (UTF-8).
QString Shown(const std::string &text);
/// A widget's text as the data classes store it (UTF-8).
std::string Bytes(const QString &text);
/// text without the blanks and control characters at either end.
std::string Trimmed(const std::string &text);

/// A failure at a moment nobody can be asked (the program's end), on
/// standard error on one line, every control character made a blank.
void ReportOnStandardError(const std::string &text);
