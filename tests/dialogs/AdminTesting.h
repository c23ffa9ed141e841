// What the administration dialogs' tests share: the real main window and the
// program's dialogs over a temporary board of three users, the signed-in
// administrator "Mia Admin" (the login running the tests) and the colleagues
// "Anna" (ANNA) and "Bob" (BOB); and ways to pick list items and to run a
// command whose dialog is modal.
#pragma once

#include "app/KivWindows.h"
#include "tests/main/MainTesting.h"

#include <QListWidget>

#include <functional>
#include <memory>

class TAdminDialogsTest : public TMainWindowTest {
protected:
    /// The board of three users, started as the program starts it, with the
    /// program's dialogs created over the main window.
    void StartWithColleagues()
    {
        PointAtBoard();
        {
            TFakeBoard fakes;
            TKivFile(Board, fakes.Ctx, Me).SignIn(); // the new board's administrator
            TKivFile(Board, fakes.Ctx, "ANNA").SignIn();
            TKivFile(Board, fakes.Ctx, "BOB").SignIn();
        }
        SetStored(Me, UserRecord::Name, "Mia Admin");
        SetStored("ANNA", UserRecord::Name, "Anna");
        SetStored("BOB", UserRecord::Name, "Bob");
        Start();
        ASSERT_TRUE(Session.Administrator);
        Windows = std::make_unique<TKivWindows>(*Window);
    }

    /// Changes one text field of login's stored record behind the program's back.
    void SetStored(const std::string &login, TField field, const std::string &text) const
    {
        ASSERT_TRUE(ChangeStoredUser(Board, login, [&](char *record) { PutText(record, field, text); }));
    }
    /// The stored record of login (an empty user when there is none).
    TUser StoredUser(const std::string &login) const
    {
        for (const TStoredUser &stored : StoredUsers(Board))
            if (stored.User.LogInName == login)
                return stored.User;
        return TUser();
    }

    static QStringList Texts(const QListWidget *list)
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }
    /// Clicks the item of text in list, as the user does.
    static void Select(QListWidget *list, const QString &text)
    {
        const QList<QListWidgetItem *> items = list->findItems(text, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        list->setCurrentItem(items.first());
    }

    /// Invokes action as its menu entry does and, once dialog is up modally,
    /// runs whileOpen, which is to close it. True when the dialog came up.
    bool RunCommand(TKivAction action, QDialog &dialog, const std::function<void()> &whileOpen)
    {
        bool seen = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (seen || QApplication::activeModalWidget() != &dialog)
                return;
            seen = true;
            whileOpen();
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog.reject();
            }
        });
        watch.start(10);
        Window->ExecuteAction(action);
        return seen;
    }

    std::unique_ptr<TKivWindows> Windows;
};
