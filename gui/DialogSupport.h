// What the windows share, whichever layer they belong to: failures shown in
// an error box, the busy cursor, the help key, texts passed between the data
// classes' bytes and the widgets (edits that give back the exact bytes they
// were filled with and hold no more bytes than the field they are stored in,
// and stored texts isolated inside the program's own sentences), buttons that
// stand for an action, and controls anchored to the edges of a dialog that
// can change size.
#pragma once

#include "board/Seams.h"
#include "platform/KivError.h"
#include "platform/Text.h" // Trimmed, Isolated

#include <QRect>
#include <QSize>
#include <QString>

#include <exception>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QPushButton;
class QWidget;

/// Runs work; a failure it raises (a data error, or memory running out) is
/// shown by prompter in an error box, and the program carries on. True when
/// work ran to its end.
template <typename Work>
bool ShowingErrors(IPrompter &prompter, Work &&work)
{
    try {
        work();
        return true;
    } catch (const std::exception &error) {
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
/// A stored text as it stands inside one of the program's sentences: isolated
/// (U+2068 ... U+2069), so that its bidirectional controls and right-to-left
/// letters cannot reorder the words around it.
QString ShownIsolated(const std::string &text);

/// Limits edit to bytes of UTF-8, the measure of the record field its text is
/// stored in: a character that would not fit is refused as it is typed or
/// pasted, so that a text is never cut when it is stored.
void LimitToBytes(QLineEdit &edit, int bytes);

/// A failure at a moment nobody can be asked (the program's end), on
/// standard error on one line, every control character made a blank.
void ReportOnStandardError(const std::string &text);

/// Makes button stand for action: it shows the action's caption, its hint
/// (the status tip) as its tool tip, and its enabling. A click first runs
/// update (the dialog's enabling rules, decided afresh) and then triggers the
/// action, which does nothing when the rules have disabled it.
void BindButton(QPushButton &button, QAction &action, const std::function<void()> &update);

/// Fills edit with text, remembering its bytes, so that EditBytes gives the
/// very bytes back while the edit's text is not changed (a stored text need
/// not be valid UTF-8, and it may be the key of its record).
void SetEditBytes(QLineEdit &edit, const std::string &text);
/// The edit's text: the bytes it was filled with while its text is as it
/// was then, else the text typed, as UTF-8.
std::string EditBytes(const QLineEdit &edit);

/// Keeps a dialog's controls where their anchors hold them as the dialog
/// changes size: a control anchored to both left and right (top and bottom)
/// stretches, one anchored to the right (bottom) only moves with that edge,
/// any other stays where it was placed.
class TAnchors {
public:
    enum : unsigned { Left = 1, Top = 2, Right = 4, Bottom = 8 };

    /// Anchors for a dialog whose client area was designed at design.
    explicit TAnchors(QSize design) : FDesign(design) {}

    /// Places widget at its design geometry and keeps it anchored.
    void Add(QWidget &widget, QRect geometry, unsigned anchors);
    /// Places every control for a client area of size.
    void Apply(QSize size) const;

private:
    struct TPlaced {
        QWidget *Widget;
        QRect Geometry;
        unsigned Anchors;
    };
    QSize FDesign;
    std::vector<TPlaced> FPlaced;
};
