#include "dialogs/KivComments.h"

#include "board/KivBoard.h"
#include "gui/BoardWindow.h"
#include "gui/DialogSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>

TRotatedLabel::TRotatedLabel(const QString &text, QWidget *parent) : QWidget(parent), FText(text)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TRotatedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(PixelSize);
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    // The text's middle sits in the middle of the label, the shadow's
    // reach taken into account.
    const QPointF middle(width() / 2.0 - ShadowDepth / 2.0, height() / 2.0 - ShadowDepth / 2.0);
    const QPointF baseline(-metrics.horizontalAdvance(FText) / 2.0, (metrics.ascent() - metrics.descent()) / 2.0);

    auto draw = [&](QPointF offset, const QColor &colour) {
        painter.save();
        painter.translate(middle + offset);
        painter.rotate(-Angle);
        painter.setPen(colour);
        painter.drawText(baseline, FText);
        painter.restore();
    };
    // The shadow is the text stepped down and to the right, deepest first,
    // so each step lies over the one behind it.
    for (int depth = ShadowDepth; depth >= 1; --depth)
        draw(QPointF(depth, depth), ShadowColour());
    draw(QPointF(0, 0), TextColour());
}

TfrmKivComments::TfrmKivComments(IBoardWindow &frmMain)
    : TKivDialog(&frmMain.Widget(), "frmKivComments", QStringLiteral("Kiv - Comments"), DesignSize(), TFrame::Fixed),
      FMain(frmMain)
{
    AddHelpKey(*this, "Statuses");
    UseOwnersFont(*this);

    FRotated = new TRotatedLabel(QStringLiteral("Kiv Comments"), this);
    FRotated->setObjectName(QStringLiteral("RotatedLabel"));
    FRotated->setGeometry(7, 7, 221, 134);

    FPrompt = new QLabel(QStringLiteral("Please enter your comment..."), this);
    FPrompt->setObjectName(QStringLiteral("Label1"));

    FComments = new QLineEdit(this);
    FComments->setObjectName(QStringLiteral("txtComments"));
    LimitToBytes(*FComments, MaxLength);
    FPrompt->setBuddy(FComments);

    FOk = new QPushButton(QStringLiteral("&Ok"), this);
    FOk->setObjectName(QStringLiteral("btnOk"));
    FOk->setDefault(true);
    connect(FOk, &QPushButton::clicked, this, &TfrmKivComments::btnOkClick);

    FCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    FCancel->setObjectName(QStringLiteral("btnCancel"));
    FCancel->setAutoDefault(false);
    connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmKivComments::resizeEvent(QResizeEvent *event)
{
    TKivDialog::resizeEvent(event);
    FPrompt->setGeometry(7, 146, width() - 14, 17);
    FComments->setGeometry(7, 164, width() - 14, 23);
    FOk->setGeometry(width() - 164, height() - 32, 75, 25);
    FCancel->setGeometry(width() - 82, height() - 32, 75, 25);
}

void TfrmKivComments::showEvent(QShowEvent *event)
{
    TKivDialog::showEvent(event);
    // Coming back from a minimised window is no new showing.
    TKivBoard *kiv = FMain.KivBoard();
    if (event->spontaneous() || kiv == nullptr)
        return;
    ShowingErrors(FPrompter, [&] { kiv->KivFile().RefreshCurrentUser(); });
    FComments->setText(Shown(kiv->Session().User.Comments));
    FComments->selectAll();
    FComments->setFocus();
}

void TfrmKivComments::btnOkClick()
{
    // OK is the result however the store ends; a comment that could not be
    // stored has been reported in the box.
    if (TKivBoard *kiv = FMain.KivBoard()) {
        ShowingErrors(FPrompter, [&] {
            kiv->KivFile().UpdateComment(Bytes(FComments->text()));
            FMain.RefillBoard();
        });
    }
    accept();
}

void TfrmKivComments::ExecuteComments()
{
    exec();
}
