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

enum class TDesktop { None, FreeDesktop, Gnome, Logind };

constexpr const char *kSessionPath = "/org/freedesktop/login1/session/c1";

/// Every call the desktops answer; each desktop registers it under the
/// services, paths and interfaces it offers.
class TFakeService : public QObject {
    Q_OBJECT
    // The interface its property is asked under, whatever it is registered as.
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool LockedHint READ LockedHint)
public:
    std::atomic<bool> Locked{false};
    std::atomic<uint> IdleSeconds{0};
    bool LockedHint() const { return Locked; }
public slots:
    bool GetActive() { return Locked; }
    uint GetSessionIdleTime() { return IdleSeconds; }
    qulonglong GetIdletime() { return qulonglong(IdleSeconds) * 1000; }
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(QString::fromLatin1(kSessionPath)); }
};

/// The desktop's services as one kind of desktop offers them, served on a
/// thread of their own as another process would.
class TFakeDesktop {
public:
    explicit TFakeDesktop(TDesktop desktop) : FDesktop(desktop)
    {
        struct TOffer {
            TDesktop Desktop;
            const char *Service, *Path, *Interface; // no service: the session's properties
        };
        const TOffer offers[] = {
            {TDesktop::FreeDesktop, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
             "org.freedesktop.ScreenSaver"},
            {TDesktop::Gnome, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
            {TDesktop::Gnome, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
             "org.gnome.Mutter.IdleMonitor"},
            {TDesktop::Logind, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager"},
            {TDesktop::Logind, nullptr, kSessionPath, "org.freedesktop.login1.Session"},
        };
        FThread.start();
        FContext.moveToThread(&FThread);
        Run([&] {
            FService = std::make_unique<TFakeService>();
            FBus = std::make_unique<QDBusConnection>(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-desktop")));
            for (const TOffer &offer : offers) {
                if (offer.Desktop != desktop)
                    continue;
                EXPECT_TRUE(FBus->registerObject(
                    QString::fromLatin1(offer.Path), QString::fromLatin1(offer.Interface), FService.get(),
                    offer.Service != nullptr ? QDBusConnection::ExportAllSlots : QDBusConnection::ExportAllProperties));
                if (offer.Service != nullptr && FBus->registerService(QString::fromLatin1(offer.Service)))
                    FServices << QString::fromLatin1(offer.Service);
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
            FService.reset();
        });
        FThread.quit();
        FThread.wait();
    }
    TFakeDesktop(const TFakeDesktop &) = delete;
    TFakeDesktop &operator=(const TFakeDesktop &) = delete;

    void Lock(bool locked)
    {
        Run([this, locked] {
            FService->Locked = locked;
            const auto signal = [](const char *path, const char *interface, const char *name) {
                return QDBusMessage::createSignal(QString::fromLatin1(path), QString::fromLatin1(interface),
                                                  QString::fromLatin1(name));
            };
            QDBusMessage said;
            if (FDesktop == TDesktop::FreeDesktop)
                said = signal("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged") << locked;
            else if (FDesktop == TDesktop::Gnome)
                said = signal("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", "ActiveChanged") << locked;
            else
                said = signal(kSessionPath, "org.freedesktop.DBus.Properties", "PropertiesChanged")
                       << QStringLiteral("org.freedesktop.login1.Session")
                       << QVariantMap{{QStringLiteral("LockedHint"), locked}} << QStringList();
            FBus->send(said);
        });
    }
    void SetIdleSeconds(uint seconds) { FService->IdleSeconds = seconds; }

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
    std::unique_ptr<TFakeService> FService;
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
// that stores nothing or replaces a status a person set (DND), an unlock that
// does not bring "Available" back, loses the comment, or puts it back over a
// status or comment changed meanwhile on another workstation, and a board
// that does not show what Kiv stored.
TEST_F(AwayTest, ALockedScreenShowsAvailableAwayAndUnlockingTakesBackOnlyWhatKivSet)
{
    using TChange = std::function<void(TFakeBoard &, TKivFile &)>;
    const TChange inMeeting = [](TFakeBoard &f, TKivFile &kiv) {
        f.Session.User.Status = "In meeting";
        kiv.SetStatus();
    };
    const TChange comment = [](TFakeBoard &, TKivFile &kiv) { kiv.UpdateComment("Gone to lunch"); };
    const struct {
        TDesktop Desktop;
        const char *Before;
        TChange Meanwhile;
        const char *WhileLocked, *AfterUnlock, *Comments;
    } cases[] = {
        {TDesktop::FreeDesktop, "Available", {}, "Away from desk", "Available", "Back at three"},
        {TDesktop::Gnome, "Available", {}, "Away from desk", "Available", "Back at three"},
        {TDesktop::Logind, "Available", {}, "Away from desk", "Available", "Back at three"},
        {TDesktop::FreeDesktop, "DND", {}, "DND", "DND", "Back at three"},
        {TDesktop::FreeDesktop, "Available", inMeeting, "In meeting", "In meeting", "Back at three"},
        {TDesktop::FreeDesktop, "Available", comment, "Away from desk", "Away from desk", "Gone to lunch"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(Named(c.Desktop)) + ", " + c.Before + (c.Meanwhile ? ", changed meanwhile" : ""));
        StartOn(c.Desktop);
        Window->StoreStatus(c.Before);
        Window->KivBoard()->KivFile().UpdateComment("Back at three");
        LockScreen(true);
        ASSERT_EQ(Window->Board().RowCount(), 1);
        EXPECT_EQ(Window->Board().Row(0).SubItems[TBoardRow::Status], Stored().Status) << "the board was refilled";
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

// Catches a status stored under a dialog that holds the board timer (the user
// administration fills the signed-in user object with another user meanwhile),
// and a lock missed for good because it came then.
TEST_F(AwayTest, NothingIsStoredWhileADialogHoldsTheBoardTimerAndTheLockCountsAfterIt)
{
    StartOn(TDesktop::FreeDesktop);
    Window->PauseTimers(PausedTimer::Board);
    LockScreen(true);
    EXPECT_EQ(Stored().Status, "Available");
    Window->ResumeTimers(PausedTimer::Board);
    Window->AwayKeeper()->Tick();
    EXPECT_EQ(Stored().Status, "Away from desk");
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
