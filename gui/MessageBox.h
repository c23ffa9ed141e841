// The program's message boxes: IPrompter over QMessageBox, with a test hook
// that answers the next box without showing it.
#pragma once

#include "board/Seams.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

/// Shows the data classes' and windows' messages in modal boxes.
class TKivMessageBox final : public IPrompter {
public:
    /// Boxes are centred on the parent while it is shown, else on the screen.
    explicit TKivMessageBox(QWidget *parent = nullptr) : FParent(parent) {}

    /// Shows a box and waits for the answer. Closing a Yes/No box any other
    /// way than by Yes answers No; an OK box always answers OK.
    TMsgAnswer Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons) override;

    /// Test hook: the next box is not shown but answered at once with this.
    /// Answers given in a row are used by the boxes that follow, in order.
    static void SetNextAnswer(TMsgAnswer answer);
    /// Test hook: the text of the last box answered by SetNextAnswer.
    static QString LastAnsweredText();
    /// Test hook: the texts of the boxes answered by SetNextAnswer since the
    /// last ForgetAnswers, in order.
    static QStringList AnsweredTexts();
    /// Test hook: drops the answers not used yet and the texts answered.
    static void ForgetAnswers();
    /// Test hook: how many answers are still waiting for a box.
    static int PendingAnswers();

    /// A message as the box shows it: UTF-8 decoded, each carriage return
    /// (alone or before a line feed) made a line break.
    static QString DisplayText(const std::string &text);

private:
    QPointer<QWidget> FParent;
};
