// The comment dialog: the signed-in user's comment, read afresh when it opens
// and stored on OK over the record as it is at that moment, so a status or
// any other detail changed meanwhile (by an administrator, or by the user on
// another workstation) is kept.
#pragma once

#include "gui/KivDialog.h"
#include "gui/MessageBox.h"

#include <QColor>
#include <QWidget>

class IBoardWindow;
class QLabel;
class QLineEdit;
class QPushButton;

/// An ornament: a text drawn at an angle, with a three-dimensional shadow.
class TRotatedLabel final : public QWidget {
public:
    TRotatedLabel(const QString &text, QWidget *parent);

    /// Degrees anticlockwise from the horizontal.
    static constexpr int Angle = 30;
    /// Pixels the shadow reaches below and to the right of the text.
    static constexpr int ShadowDepth = 5;
    static constexpr int PixelSize = 27;
    static QColor TextColour() { return QColor(0, 0, 255); }
    static QColor ShadowColour() { return QColor(128, 128, 128); }

    const QString &Text() const { return FText; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString FText;
};

class TfrmKivComments final : public TKivDialog {
    Q_OBJECT
public:
    /// Made once at program start over frmMain.
    explicit TfrmKivComments(IBoardWindow &frmMain);

    /// The Comment... command: shows the dialog; it reads and stores the
    /// comment itself.
    void ExecuteComments();

    TRotatedLabel *RotatedLabel() const { return FRotated; }
    QLabel *Label1() const { return FPrompt; }
    QLineEdit *txtComments() const { return FComments; }
    QPushButton *btnOk() const { return FOk; }
    QPushButton *btnCancel() const { return FCancel; }

    static QSize DesignSize() { return {246, 224}; }
    /// The most bytes a comment may have (UTF-8, as its field holds it).
    static constexpr int MaxLength = 50;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void btnOkClick();

    IBoardWindow &FMain;
    TKivMessageBox FPrompter{this};
    TRotatedLabel *FRotated = nullptr;
    QLabel *FPrompt = nullptr;
    QLineEdit *FComments = nullptr;
    QPushButton *FOk = nullptr;
    QPushButton *FCancel = nullptr;
};
