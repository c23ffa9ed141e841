// Small pieces the dialogs share: buttons that stand for an action, edits
// that give back the exact bytes they were filled with, the handler frame
// that shows a failed operation in an error box, and controls anchored to
// the edges of a dialog that can change size.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class IPrompter;
class QAction;
class QLineEdit;
class QPushButton;
class QWidget;

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

/// A text as the windows show it.
QString ShownText(const std::string &bytes);

/// Runs work; a failure it raises is shown in an error box by prompter.
/// False when work failed.
bool RunReported(IPrompter &prompter, const std::function<void()> &work);

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
