// What the dialog tests share: the real main window over a temporary board
// with the program's dialogs made over it as the program makes them, a way to
// act in a modal dialog from its own event loop, and colleagues on the board.
#pragma once

#include "app/KivWindows.h"
#include "board/UserRecord.h"
#include "tests/main/MainTesting.h"

#include <QAbstractItemView>
#include <QTest>
#include <QTreeWidget>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

class TDialogsTest : public TMainWindowTest {
protected:
    ~TDialogsTest() override { Windows.reset(); }

    /// Colleagues sign in before the test's user, so the test's user is no
    /// administrator: a status command changes only their own status.
    void AddUser(const std::string &login, const std::string &name, const std::string &department = std::string())
    {
        TFakeBoard fakes;
        TKivFile(Board, fakes.Ctx, login).SignIn();
        ASSERT_TRUE(ChangeStoredUser(Board, login, [&](char *record) {
            PutText(record, UserRecord::Name, name);
            PutText(record, UserRecord::Department, department);
        }));
    }

    /// Starts the program as its entry does: the main window, the dialogs
    /// over it, then the first activation.
    void StartWithDialogs()
    {
        PointAtBoard();
        Create();
        Windows = std::make_unique<TKivWindows>(*Window);
        Window->FormActivate();
        ASSERT_NE(Window->KivBoard(), nullptr);
    }

    TKivBoard &Kiv() const { return *Window->KivBoard(); }

    /// Runs act once dialog is up as the modal window, from inside its own
    /// event loop. A dialog still up ten seconds later fails the test and is
    /// closed, so a fault cannot hang it.
    static void WhenModal(QWidget &dialog, std::function<void()> act)
    {
        auto *timer = new QTimer(&dialog);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, &dialog, [timer, &dialog, act = std::move(act)] {
            if (QApplication::activeModalWidget() != &dialog || !dialog.isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            act();
        });
        timer->start();
        QTimer::singleShot(10000, &dialog, [&dialog] {
            if (dialog.isVisible()) {
                ADD_FAILURE() << dialog.objectName().toStdString() << " was left up";
                static_cast<QDialog &>(dialog).done(QDialog::Rejected);
            }
        });
    }

    /// Runs act with the first window of kind T that comes up as the modal
    /// window, from inside its own event loop (for a window made for one
    /// showing).
    template <typename T>
    void WhenModalOf(std::function<void(T &)> act)
    {
        auto *timer = new QTimer(Window.get());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, Window.get(), [timer, act = std::move(act)] {
            auto *window = qobject_cast<T *>(QApplication::activeModalWidget());
            if (window == nullptr || !window->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            act(*window);
        });
        timer->start();
    }

    /// Clicks the item of a list or item view at index.
    static void ClickItem(QAbstractItemView &view, const QModelIndex &index)
    {
        ASSERT_TRUE(index.isValid());
        view.scrollTo(index);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, view.visualRect(index).center());
    }

    /// Makes the board row of login the selected and focused one.
    void SelectBoardRow(const std::string &login)
    {
        QTreeWidget *list = Window->lvMain();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (Window->Board().Row(i).SubItems[TBoardRow::Login] == login) {
                list->setCurrentItem(list->topLevelItem(i));
                return;
            }
        }
        ADD_FAILURE() << login << " is not on the board";
    }

    /// The logins the board lists, in order.
    std::vector<std::string> BoardLogins() const
    {
        std::vector<std::string> logins;
        for (int i = 0; i < Window->Board().RowCount(); ++i)
            logins.push_back(Window->Board().Row(i).SubItems[TBoardRow::Login]);
        return logins;
    }

    /// The stored record of login.
    TUser StoredUser(const std::string &login) const
    {
        for (const TStoredUser &user : StoredUsers(Board))
            if (user.User.LogInName == login)
                return user.User;
        return TUser();
    }

    /// The in-box of login as the message store fills it.
    TFakeInBox InBoxOf(const std::string &login) const
    {
        TFakeBoard fakes;
        TKivFile kiv(Board, fakes.Ctx, login);
        TFakeInBox inBox;
        TKivMessage(kiv).FillInBox(inBox);
        return inBox;
    }

    /// Sends a message from one user of the board to another, in this process.
    void Send(const std::string &from, const std::string &to, const std::string &subject, const std::string &body)
    {
        TFakeBoard fakes;
        TKivFile kiv(Board, fakes.Ctx, from);
        TKivMessage(kiv).SendUserMessage(to, from, subject, body);
    }

    /// Runs another program to its end; answers its exit code.
    static int RunProgram(const std::vector<std::string> &argv)
    {
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
            return -1;
        int status = 0;
        if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    std::unique_ptr<TKivWindows> Windows;
};
