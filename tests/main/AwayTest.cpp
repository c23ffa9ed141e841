// Away while locked or idle, on the real main window over a temporary board,
// with a fake desktop on the private bus this test runs on (the session bus
// stands in for the system bus too): the screen saver, GNOME's screen lock
// and idle monitor, and the login manager's lock flag. The fake serves its
// calls on a thread of its own, as another process would.
#include "config/SettingsDialog.h"
#include "tests/main/MainTesting.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

class TFakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    std::atomic<bool> Active{false};
    std::atomic<uint> IdleSeconds{0};
public slots:
    bool GetActive() { return Active; }
    uint GetSessionIdleTime() { return IdleSeconds; }
signals:
    void ActiveChanged(bool active);
};

class TFakeGnomeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.ScreenSaver")
public:
    std::atomic<bool> Active{false};
public slots:
    bool GetActive() { return Active; }
signals:
    void ActiveChanged(bool active);
};

class TFakeIdleMonitor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    std::atomic<qulonglong> IdleMs{0};
public slots:
    qulonglong GetIdletime() { return IdleMs; }
};

class TFakeLoginManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public slots:
    QDBusObjectPath GetSessionByPID(uint)
    {
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/login1/session/c1"));
    }
};

class TFakeLoginSession : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ LockedHint)
public:
    std::atomic<bool> Locked{false};
    bool LockedHint() const { return Locked; }
};

enum class TDesktop { None, FreeDesktop, Gnome, Logind };

/// The desktop's services as one kind of desktop offers them.
class TFakeDesktop {
public:
    explicit TFakeDesktop(TDesktop desktop) : FDesktop(desktop)
    {
        FThread.start();
        FContext.moveToThread(&FThread);
        // Made, served and freed on the fake's own thread.
        Run([this] {
            FSaver = std::make_unique<TFakeScreenSaver>();
            FGnome = std::make_unique<TFakeGnomeScreenSaver>();
            FMonitor = std::make_unique<TFakeIdleMonitor>();
            FManager = std::make_unique<TFakeLoginManager>();
            FSession = std::make_unique<TFakeLoginSession>();
            FBus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-desktop")));
            const auto offer = [this](const char *service, const char *path, QObject &object) {
                FServices << QString::fromLatin1(service);
                EXPECT_TRUE(FBus->registerObject(QString::fromLatin1(path), &object,
                                                 QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
                EXPECT_TRUE(FBus->registerService(QString::fromLatin1(service))) << service;
            };
            if (FDesktop == TDesktop::FreeDesktop)
                offer("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", *FSaver);
            if (FDesktop == TDesktop::Gnome) {
                offer("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", *FGnome);
                offer("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", *FMonitor);
            }
            if (FDesktop == TDesktop::Logind) {
                offer("org.freedesktop.login1", "/org/freedesktop/login1", *FManager);
                FBus->registerObject(QStringLiteral("/org/freedesktop/login1/session/c1"), FSession.get(),
                                     QDBusConnection::ExportAllProperties);
            }
        });
    }
    ~TFakeDesktop()
    {
        Run([this] {
            for (const QString &service : FServices)
                FBus->unregisterService(service);
            FBus.reset();
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-desktop"));
            FSaver.reset(), FGnome.reset(), FMonitor.reset(), FManager.reset(), FSession.reset();
        });
        FThread.quit();
        FThread.wait();
    }
    TFakeDesktop(const TFakeDesktop &) = delete;
    TFakeDesktop &operator=(const TFakeDesktop &) = delete;

    void Lock(bool locked)
    {
        Run([this, locked] {
            FSaver->Active = FGnome->Active = FSession->Locked = locked;
            if (FDesktop == TDesktop::FreeDesktop)
                emit FSaver->ActiveChanged(locked);
            if (FDesktop == TDesktop::Gnome)
                emit FGnome->ActiveChanged(locked);
            if (FDesktop == TDesktop::Logind) {
                QDBusMessage changed = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1/session/c1"),
                                                                  QStringLiteral("org.freedesktop.DBus.Properties"),
                                                                  QStringLiteral("PropertiesChanged"));
                changed << QStringLiteral("org.freedesktop.login1.Session")
                        << QVariantMap{{QStringLiteral("LockedHint"), locked}} << QStringList();
                FBus->send(changed);
            }
        });
    }
    void SetIdleSeconds(uint seconds)
    {
        FSaver->IdleSeconds = seconds;
        FMonitor->IdleMs = qulonglong(seconds) * 1000;
    }

private:
    void Run(const std::function<void()> &work)
    {
        QMetaObject::invokeMethod(&FContext, work, Qt::BlockingQueuedConnection);
    }

    TDesktop FDesktop;
    QThread FThread;
    QObject FContext;
    std::unique_ptr<QDBusConnection> FBus;
    QStringList FServices;
    std::unique_ptr<TFakeScreenSaver> FSaver;
    std::unique_ptr<TFakeGnomeScreenSaver> FGnome;
    std::unique_ptr<TFakeIdleMonitor> FMonitor;
    std::unique_ptr<TFakeLoginManager> FManager;
    std::unique_ptr<TFakeLoginSession> FSession;
};

const char *Named(TDesktop desktop)
{
    constexpr const char *names[] = {"no desktop service", "org.freedesktop.ScreenSaver", "GNOME", "logind"};
    return names[static_cast<int>(desktop)];
}

class AwayTest : public TMainWindowTest {
protected:
    void SetUp() override
    {
        // The private bus is the system bus too, for the login manager.
        ASSERT_FALSE(qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty()) << "run under dbus-run-session";
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    }
    void StartOn(TDesktop desktop, int idleMinutes = 10)
    {
        if (desktop != TDesktop::None)
            Desktop = std::make_unique<TFakeDesktop>(desktop);
        PointAtBoard();
        ChangeSettings([idleMinutes](TKivSettings &s) { s.AwayAfterIdleMinutes = idleMinutes; });
        Start();
        ASSERT_NE(Window->AwayKeeper(), nullptr);
    }
    /// Runs the window's events until done answers true, for a few seconds at most.
    static void Eventually(const std::function<bool()> &done)
    {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
    }
    /// Locks or unlocks the fake's screen and waits until the window has
    /// heard of it, which is when the keeper has acted on it.
    void LockScreen(bool locked)
    {
        Desktop->Lock(locked);
        Eventually([&] { return Window->DesktopPresence()->Locked() == locked; });
        ASSERT_EQ(Window->DesktopPresence()->Locked(), locked);
    }
    /// What another workstation of the same user stores meanwhile.
    void OnAnotherWorkstation(const std::function<void(TFakeBoard &, TKivFile &)> &change) const
    {
        TFakeBoard fakes;
        TKivFile other(Board, fakes.Ctx, CurrentLoginName());
        other.RefreshCurrentUser();
        change(fakes, other);
    }
    std::unique_ptr<TFakeDesktop> Desktop;
};

} // namespace

// Catches a source that is not wired (wrong service, path or signal), a lock
// that stores nothing, an unlock that does not bring "Available" back or loses
// the comment, and a board that does not show what Kiv stored.
TEST_F(AwayTest, ALockedScreenShowsTheAwayStatusAndUnlockingBringsAvailableBackOnEachDesktop)
{
    for (TDesktop desktop : {TDesktop::FreeDesktop, TDesktop::Gnome, TDesktop::Logind}) {
        SCOPED_TRACE(Named(desktop));
        StartOn(desktop);
        Window->KivBoard()->KivFile().UpdateComment("Back at three");
        LockScreen(true);
        EXPECT_EQ(Stored().Status, "Away from desk");
        ASSERT_EQ(Window->Board().RowCount(), 1);
        EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], "Away from desk") << "the board was refilled";
        LockScreen(false);
        EXPECT_EQ(Stored().Status, "Available");
        EXPECT_EQ(Stored().Comments, "Back at three");
        Window.reset();
        Desktop.reset();
    }
}

// Catches replacing a status a person set (DND), and putting "Available" back
// over a status or comment changed meanwhile on another workstation.
TEST_F(AwayTest, OnlyAvailableIsTakenAwayAndOnlyTheStatusKivSetIsTakenBack)
{
    const struct {
        const char *What;
        const char *Before;
        std::function<void(TFakeBoard &, TKivFile &)> Meanwhile;
        const char *WhileLocked;
        const char *AfterUnlock;
        const char *Comments;
    } cases[] = {
        {"DND stays", "DND", {}, "DND", "DND", ""},
        {"a status set meanwhile stays", "Available",
         [](TFakeBoard &f, TKivFile &kiv) {
             f.Session.User.Status = "In meeting";
             kiv.SetStatus();
         },
         "In meeting", "In meeting", ""},
        {"a comment set meanwhile keeps the away status", "Available",
         [](TFakeBoard &, TKivFile &kiv) { kiv.UpdateComment("Gone to lunch"); }, "Away from desk", "Away from desk",
         "Gone to lunch"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.What);
        StartOn(TDesktop::FreeDesktop);
        Window->StoreStatus(c.Before);
        LockScreen(true);
        if (c.Meanwhile)
            OnAnotherWorkstation(c.Meanwhile);
        EXPECT_EQ(Stored().Status, c.WhileLocked);
        LockScreen(false);
        EXPECT_EQ(Stored().Status, c.AfterUnlock);
        EXPECT_EQ(Stored().Comments, c.Comments);
        Window.reset();
        Desktop.reset();
    }
}

// Catches idle time read in the wrong unit (seconds from the screen saver,
// milliseconds from GNOME's monitor), 0 not meaning never, and activity that
// does not bring "Available" back.
TEST_F(AwayTest, IdleLongerThanTheSettingShowsAwayAndActivityBringsAvailableBack)
{
    const struct {
        TDesktop Desktop;
        int Minutes;
        uint IdleSeconds;
        bool Away;
    } cases[] = {
        {TDesktop::FreeDesktop, 10, 11 * 60, true}, {TDesktop::FreeDesktop, 10, 9 * 60, false},
        {TDesktop::FreeDesktop, 0, 86400, false},   {TDesktop::Gnome, 10, 10 * 60, true},
        {TDesktop::Gnome, 10, 599, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(Named(c.Desktop)) + " " + std::to_string(c.IdleSeconds) + " s idle, setting "
                     + std::to_string(c.Minutes));
        StartOn(c.Desktop, c.Minutes);
        Desktop->SetIdleSeconds(c.IdleSeconds);
        Window->AwayKeeper()->Tick();
        EXPECT_EQ(Stored().Status, c.Away ? "Away from desk" : "Available");
        Desktop->SetIdleSeconds(2);
        Window->AwayKeeper()->Tick();
        EXPECT_EQ(Stored().Status, "Available");
        Window.reset();
        Desktop.reset();
    }
}

// Catches a crash or a box on a board that cannot be reached, and a status
// (away or back) that is never stored once it can be.
TEST_F(AwayTest, AStatusThatCouldNotBeStoredIsShownAndStoredAtTheNextTick)
{
    StartOn(TDesktop::FreeDesktop);
    // Only the keeper is to speak of the board here.
    Window->tmrUpdateListView()->stop();
    const std::string moved = Board + ".moved";
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "away" : "back");
        ASSERT_EQ(rename(Board.c_str(), moved.c_str()), 0);
        LockScreen(locked);
        EXPECT_TRUE(Window->StatusText().startsWith(QStringLiteral("Attempting to show you away")));
        ASSERT_EQ(rename(moved.c_str(), Board.c_str()), 0);
        Window->AwayKeeper()->Tick();
        EXPECT_EQ(Stored().Status, locked ? "Away from desk" : "Available");
        EXPECT_FALSE(Window->StatusText().startsWith(QStringLiteral("Attempting"))) << "the fault is cleared";
    }
    EXPECT_TRUE(Unexpected.Texts.isEmpty());
}

// Catches offering what the desktop cannot tell, and a group that does not say why.
TEST_F(AwayTest, TheAwayGroupOffersOnlyWhatTheDesktopTells)
{
    const struct {
        TDesktop Desktop;
        bool Lock;
        bool Idle;
        const char *Says;
    } cases[] = {
        {TDesktop::None, false, false, "neither when the screen is locked nor how long"},
        {TDesktop::FreeDesktop, true, true, "Idle time: from the desktop's screen saver"},
        {TDesktop::Gnome, true, true, "Idle time: from GNOME's idle monitor"},
        {TDesktop::Logind, true, false, "Idle time: none found on this desktop."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Named(c.Desktop));
        StartOn(c.Desktop);
        TKivMessageBox prompter;
        TfrmSettings dialog(prompter);
        dialog.SetAwaySources(Window->DesktopPresence()->Sources());
        EXPECT_EQ(dialog.chkAwayWhenLocked()->isEnabled(), c.Lock);
        EXPECT_EQ(dialog.seAwayAfterIdle()->isEnabled(), c.Idle);
        EXPECT_TRUE(dialog.lblAwaySources()->text().contains(QString::fromUtf8(c.Says)))
            << dialog.lblAwaySources()->text().toStdString();
        Window.reset();
        Desktop.reset();
    }
}

#include "AwayTest.moc"
