// Message boxes through IPrompter, and ending the program through IAppControl.
#include "gui/MessageBox.h"
#include "main/AppControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs a check on the modal box once it is up, then presses a button on it.
// It gives up after a while, so a fault can fail a test but never hang it;
// going out of scope stops it.
class TBoxWatcher {
public:
    bool Seen = false;

    void Watch(std::function<void(QMessageBox &)> check, QMessageBox::StandardButton button)
    {
        FCheck = std::move(check);
        FButton = button;
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start(20);
    }

private:
    void Poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (++FTries > 500)
                FTimer.stop();
            return;
        }
        FTimer.stop();
        Seen = true;
        FCheck(*box);
        if (FButton == QMessageBox::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(FButton)->click();
    }

    QTimer FTimer;
    std::function<void(QMessageBox &)> FCheck;
    QMessageBox::StandardButton FButton = QMessageBox::Ok;
    int FTries = 0;
};

} // namespace

TEST(MessageBox, ShowsPlainLinesAndOnlyYesAnswersYes)
{
    TKivMessageBox prompter;
    TBoxWatcher yes;
    yes.Watch(
        [](QMessageBox &box) {
            EXPECT_EQ(box.text(), QStringLiteral("Are you sure <b>Bob</b>?\n\nClear it?"));
            EXPECT_EQ(box.textFormat(), Qt::PlainText);
            EXPECT_EQ(box.icon(), QMessageBox::Question);
            EXPECT_EQ(box.standardButtons(), QMessageBox::Yes | QMessageBox::No);
        },
        QMessageBox::Yes);
    EXPECT_EQ(prompter.Show("Are you sure <b>Bob</b>?\r\rClear it?", TMsgIcon::Confirmation, TMsgButtons::YesNo),
              TMsgAnswer::Yes);
    EXPECT_TRUE(yes.Seen);

    TBoxWatcher escape;
    escape.Watch([](QMessageBox &box) { EXPECT_EQ(box.icon(), QMessageBox::Warning); }, QMessageBox::Escape);
    EXPECT_EQ(prompter.Show("Delete?", TMsgIcon::Warning, TMsgButtons::YesNo), TMsgAnswer::No);
    EXPECT_TRUE(escape.Seen);
}

TEST(MessageBox, NextAnswerIsGivenWithoutABox)
{
    TKivMessageBox prompter;
    TBoxWatcher watcher;
    // Should a box appear after all, the watcher closes it and says so.
    watcher.Watch([](QMessageBox &) {}, QMessageBox::Yes);
    TKivMessageBox::SetNextAnswer(TMsgAnswer::No);
    EXPECT_EQ(prompter.Show("Clear your alert list?\r\n", TMsgIcon::Confirmation, TMsgButtons::YesNo), TMsgAnswer::No);
    EXPECT_EQ(TKivMessageBox::LastAnsweredText(), QStringLiteral("Clear your alert list?\n"));
    // The hook answers one box only; an OK box cannot be answered Yes.
    TKivMessageBox::SetNextAnswer(TMsgAnswer::Yes);
    EXPECT_EQ(prompter.Show("Done", TMsgIcon::Information, TMsgButtons::Ok), TMsgAnswer::Ok);
    QTest::qWait(100);
    EXPECT_FALSE(watcher.Seen);
}

TEST(AppControl, TerminateBeforeTheLoopEndsItAtItsFirstTurn)
{
    TQtAppControl app;
    EXPECT_FALSE(app.Terminated());
    app.Terminate();
    EXPECT_TRUE(app.Terminated());
    // A loop that would otherwise run until the safety net ends it with 1.
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    safety.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
}
