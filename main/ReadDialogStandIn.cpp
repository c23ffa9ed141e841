#include "main/ReadDialogStandIn.h"

#include "board/KivMessage.h"
#include "gui/MessageBox.h"
#include "platform/KivError.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Shown(const std::string &text)
{
    return TKivMessageBox::DisplayText(text);
}

} // namespace

TReadDialogStandIn::TReadDialogStandIn(std::function<TKivMessage *()> messages, IPrompter &prompter, QWidget *parent)
    : QDialog(parent), FMessages(std::move(messages)), FPrompter(prompter)
{
    setObjectName(QStringLiteral("frmKivMessages"));
    setModal(true);
    resize(420, 320);

    // Names, subjects and texts are what people typed: never read as markup.
    auto label = [this](const char *name) {
        auto *shown = new QLabel(this);
        shown->setObjectName(QString::fromLatin1(name));
        shown->setTextFormat(Qt::PlainText);
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return shown;
    };
    FFrom = label("lblFrom");
    FTo = label("lblTo");
    FReceived = label("lblReceived");
    FSubject = new QLineEdit(this);
    FSubject->setObjectName(QStringLiteral("txtSubject"));
    FSubject->setReadOnly(true);
    FBody = new QPlainTextEdit(this);
    FBody->setObjectName(QStringLiteral("MemoMessage"));
    FBody->setReadOnly(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("From:"), FFrom);
    form->addRow(QStringLiteral("To:"), FTo);
    form->addRow(QStringLiteral("Received:"), FReceived);
    form->addRow(QStringLiteral("Subject:"), FSubject);

    auto *buttons = new QDialogButtonBox(this);
    FClose = buttons->addButton(QStringLiteral("&Close"), QDialogButtonBox::AcceptRole);
    FClose->setObjectName(QStringLiteral("btnClose"));
    FClose->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(FBody, 1);
    layout->addWidget(buttons);
}

void TReadDialogStandIn::ShowModal(const TReadMessage &message)
{
    setWindowTitle(Shown(message.Caption));
    FPrimaryKey = message.PrimaryKey;
    FFrom->setText(Shown(message.FromName));
    FTo->setText(Shown(message.ToName));
    FReceived->setText(Shown(message.Received));
    FSubject->setText(Shown(message.Subject));
    FSubject->setCursorPosition(0);
    FBody->setPlainText(Shown(message.Body));
    FClose->setFocus();

    FClosedByUser = false;
    exec();
    if (isVisible())
        hide();
    if (!FClosedByUser)
        return;
    TKivMessage *messages = FMessages ? FMessages() : nullptr;
    if (messages == nullptr)
        return;
    try {
        messages->MarkMessageOld(FPrimaryKey);
    } catch (const EKivError &error) {
        FPrompter.Show(error.what(), TMsgIcon::Error, TMsgButtons::Ok);
    }
}

void TReadDialogStandIn::done(int result)
{
    FClosedByUser = true;
    QDialog::done(result);
}
