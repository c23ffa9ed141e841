#include "gui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <deque>

namespace {

// Boxes are shown from the user-interface thread only, so the hook needs no lock.
std::deque<TMsgAnswer> NextAnswers;
QString LastAnswered;
QStringList Answered;

QMessageBox::Icon BoxIcon(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Confirmation:
        return QMessageBox::Question;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString TKivMessageBox::DisplayText(const std::string &text)
{
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void TKivMessageBox::SetNextAnswer(TMsgAnswer answer)
{
    NextAnswers.push_back(answer);
}

QString TKivMessageBox::LastAnsweredText()
{
    return LastAnswered;
}

QStringList TKivMessageBox::AnsweredTexts()
{
    return Answered;
}

void TKivMessageBox::ForgetAnswers()
{
    NextAnswers.clear();
    Answered.clear();
}

int TKivMessageBox::PendingAnswers()
{
    return static_cast<int>(NextAnswers.size());
}

TMsgAnswer TKivMessageBox::Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons)
{
    if (!NextAnswers.empty()) {
        const TMsgAnswer answer = NextAnswers.front();
        NextAnswers.pop_front();
        LastAnswered = DisplayText(text);
        Answered << LastAnswered;
        if (buttons == TMsgButtons::Ok)
            return TMsgAnswer::Ok;
        return answer == TMsgAnswer::Yes ? TMsgAnswer::Yes : TMsgAnswer::No;
    }

    QWidget *parent = (FParent != nullptr && FParent->isVisible()) ? FParent.data() : nullptr;
    QPointer<QMessageBox> box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setWindowTitle(QStringLiteral("Kiv"));
    box->setIcon(BoxIcon(icon));
    // Messages carry names and comments people typed: never read them as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(DisplayText(text));
    if (buttons == TMsgButtons::YesNo) {
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
    } else {
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }

    const int result = box->exec();
    // The box's parent may have gone while its loop ran (the program ending).
    if (box)
        delete box.data();
    if (buttons == TMsgButtons::Ok)
        return TMsgAnswer::Ok;
    return result == QMessageBox::Yes ? TMsgAnswer::Yes : TMsgAnswer::No;
}
