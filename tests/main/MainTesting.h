// What the window tests share: a real main window over a temporary board,
// settings and runtime folder, an application control that counts the
// requests to end, and a guard that closes any box no answer was given for,
// so a fault fails the test instead of hanging it.
#pragma once

#include "board/KivBoard.h"
#include "board/KivMessage.h"
#include "config/KivCB.h"
#include "gui/BoardList.h"
#include "gui/MessageBox.h"
#include "main/MainWindow.h"
#include "main/SessionEnd.h"
#include "platform/Autostart.h"
#include "platform/FileAge.h"
#include "platform/InstanceLock.h"
#include "platform/LoginName.h"
#include "platform/Paths.h"
#include "tests/board/BoardFakes.h"
#include "tests/board/BoardTesting.h"
#include "tests/platform/TempHome.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

class TCountingApp final : public IAppControl {
public:
    int Terminations = 0;
    void Terminate() override { ++Terminations; }
};

// Any box no answer was given for is closed and noted once it has been up
// for a while, so a fault fails the test instead of hanging it.
class TUnexpectedBoxes {
public:
    TUnexpectedBoxes()
    {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || box != FSeen) {
                FSeen = box;
                FTicks = 0;
            } else if (++FTicks == 10) {
                Texts << box->text();
                box->reject();
            }
        });
        FTimer.start(50);
    }
    QStringList Texts;

private:
    QTimer FTimer;
    QMessageBox *FSeen = nullptr;
    int FTicks = 0;
};

/// A real main window over a temporary board, settings and runtime folder.
class TMainWindowTest : public testing::Test {
protected:
    using TEnd = TfrmDatabaseWizard::TEnd;

    TMainWindowTest()
    {
        mkdir(Board.c_str(), 0700);
        TKivMessageBox::ForgetAnswers();
    }
    ~TMainWindowTest() override
    {
        Window.reset();
        TKivMessageBox::ForgetAnswers();
    }

    static void ChangeSettings(const std::function<void(TKivSettings &)> &change)
    {
        TKivCB block;
        TKivSettings settings;
        block.ReadSettings(settings);
        change(settings);
        block.WriteSettings(settings);
    }
    static TKivSettings Settings()
    {
        TKivSettings settings;
        TKivCB().ReadSettings(settings);
        return settings;
    }
    /// Settings that name the board and have asked the first-run question.
    void PointAtBoard()
    {
        ChangeSettings([this](TKivSettings &s) {
            s.KivDBasePath = Board + "/";
            s.FirstTimeRun = false;
        });
    }

    /// Creates the window as the program entry does; the wizard, if shown,
    /// ends as Wizard says.
    void Create()
    {
        Window = std::make_unique<TfrmMain>(Session, App, [] { return false; });
        Window->SetWizardRunner([this](QWidget *) {
            ++WizardRuns;
            return Wizard;
        });
        Window->FormCreate();
    }
    /// Creates the window and runs its first activation.
    void Start()
    {
        Create();
        Window->FormActivate();
    }

    TUser Stored() const
    {
        const std::vector<TStoredUser> users = StoredUsers(Board);
        return users.empty() ? TUser() : users.front().User;
    }
    std::string UsersFile() const { return Board + "/KivDB31.isd"; }

    TTempHome Home;
    const std::string Board = Home.Root() + "/board";
    const std::string Me = UserRecord::LoginKey(UpperCaseLogin(CurrentLoginName()));
    TSession Session;
    TCountingApp App;
    TWizardOutcome Wizard;
    int WizardRuns = 0;
    TUnexpectedBoxes Unexpected;
    std::unique_ptr<TfrmMain> Window;
};
