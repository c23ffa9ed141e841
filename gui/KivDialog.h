// What every dialog of the program shares: created once at program start,
// shown modally on demand, with a caption, a client area of a given size, a
// fixed or sizeable frame with a system menu, and centred on the screen when
// it is first shown.
#pragma once

#include <QDialog>
#include <QSize>

class TKivDialog : public QDialog {
    Q_OBJECT
public:
    enum class TFrame {
        Fixed,   ///< the size cannot be changed
        Sizeable ///< the user may resize it (and maximise it)
    };

    /// A dialog over parent named objectName, captioned caption, whose
    /// client area is clientSize.
    TKivDialog(QWidget *parent, const char *objectName, const QString &caption, QSize clientSize, TFrame frame);

protected:
    /// Centres the dialog on its screen at its first showing; later showings
    /// leave it where the user moved it.
    void showEvent(QShowEvent *event) override;
    /// Whether the first showing centres the dialog (true unless turned off,
    /// for a dialog that places itself).
    void SetCentreOnFirstShow(bool centre) { FCentre = centre; }

private:
    bool FCentre = true;
    bool FShownOnce = false;
};
