#include "gui/DesktopPresence.h"

#include "gui/X11IdleTime.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include <unistd.h>

namespace {

/// No call to the desktop holds the window for longer than this.
constexpr int kCallTimeoutMs = 300;

constexpr const char *kProperties = "org.freedesktop.DBus.Properties";
constexpr const char *kLogin = "org.freedesktop.login1";
constexpr const char *kLoginSession = "org.freedesktop.login1.Session";
constexpr const char *kLockedHint = "LockedHint";

/// A screen saver on the session bus that answers GetActive and says ActiveChanged.
struct TScreenSaver {
    const char *Service;
    const char *Path;
    const char *Words;
};
constexpr TScreenSaver kScreenSavers[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
     "the desktop's screen saver (org.freedesktop.ScreenSaver)"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "GNOME's screen lock (org.gnome.ScreenSaver)"},
};

constexpr const char *kIdleMonitor = "org.gnome.Mutter.IdleMonitor";
constexpr const char *kIdleMonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";

QString Latin(const char *text)
{
    return QString::fromLatin1(text);
}

/// The reply of one call, or an error reply when none came in time.
QDBusMessage Call(const QDBusConnection &bus, const char *service, const QString &path, const char *interface,
                  const char *method, const QVariantList &arguments = {})
{
    if (!bus.isConnected())
        return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Disconnected"), QString());
    QDBusMessage call = QDBusMessage::createMethodCall(Latin(service), path, Latin(interface), Latin(method));
    call.setArguments(arguments);
    return bus.call(call, QDBus::Block, kCallTimeoutMs);
}

/// The first value of a reply, when the call succeeded and answered one.
std::optional<QVariant> Answer(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().front();
}

/// True when a bus daemon can be there: the variable names its address, or
/// one of sockets is where such a daemon listens. Asking Qt for a bus that is
/// not there only starts its bus thread to fail, which keeps memory for the
/// rest of the process (a bare X server, a test run without a session).
bool BusThere(const char *variable, std::initializer_list<QString> sockets)
{
    if (!qEnvironmentVariableIsEmpty(variable))
        return true;
    for (const QString &socket : sockets)
        if (!socket.isEmpty() && QFileInfo::exists(socket))
            return true;
    return false;
}

class TDBusPresence final : public IDesktopPresence {
    Q_OBJECT
public:
    TDBusPresence()
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (BusThere("DBUS_SESSION_BUS_ADDRESS", {runtime.isEmpty() ? QString() : runtime + QStringLiteral("/bus")}))
            FSession = QDBusConnection::sessionBus();
        if (BusThere("DBUS_SYSTEM_BUS_ADDRESS", {QStringLiteral("/run/dbus/system_bus_socket"),
                                                 QStringLiteral("/var/run/dbus/system_bus_socket")}))
            FSystem = QDBusConnection::systemBus();
        FindLockSource();
        FindIdleSource();
    }

    TPresenceSources Sources() const override { return {FLockWords, FIdleWords}; }
    bool Locked() const override { return FLocked; }

    std::optional<std::chrono::milliseconds> IdleTime() override
    {
        switch (FIdle) {
        case TIdle::None:
            return std::nullopt;
        case TIdle::ScreenSaver:
            if (const auto seconds = ScreenSaverIdleSeconds())
                return std::chrono::seconds(*seconds);
            return std::nullopt;
        case TIdle::Mutter:
            if (const auto ms = MutterIdleMilliseconds())
                return std::chrono::milliseconds(*ms);
            return std::nullopt;
        case TIdle::X11:
            if (const auto ms = X11IdleMilliseconds())
                return std::chrono::milliseconds(*ms);
            return std::nullopt;
        }
        return std::nullopt;
    }

private slots:
    void ActiveChanged(bool active) { Follow(active); }

    void PropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated)
    {
        if (interface != Latin(kLoginSession))
            return;
        if (changed.contains(Latin(kLockedHint)))
            Follow(changed.value(Latin(kLockedHint)).toBool());
        else if (invalidated.contains(Latin(kLockedHint)))
            if (const auto hint = LockedHint())
                Follow(*hint);
    }

private:
    enum class TIdle { None, ScreenSaver, Mutter, X11 };

    void Follow(bool locked)
    {
        if (locked == FLocked)
            return;
        FLocked = locked;
        emit LockedChanged(locked);
    }

    void FindLockSource()
    {
        for (const TScreenSaver &saver : kScreenSavers) {
            if (!FSession)
                break;
            const auto active = Answer(Call(*FSession, saver.Service, Latin(saver.Path), saver.Service, "GetActive"));
            if (!active || active->metaType() != QMetaType::fromType<bool>())
                continue;
            if (!FSession->connect(Latin(saver.Service), Latin(saver.Path), Latin(saver.Service),
                                   QStringLiteral("ActiveChanged"), this, SLOT(ActiveChanged(bool))))
                continue;
            FLocked = active->toBool();
            FLockWords = Latin(saver.Words);
            return;
        }
        // The login manager keeps a lock flag on the user's session.
        if (!FSystem)
            return;
        FLoginSession = LoginSessionPath();
        if (FLoginSession.isEmpty())
            return;
        const auto hint = LockedHint();
        if (!hint)
            return;
        if (!FSystem->connect(Latin(kLogin), FLoginSession, Latin(kProperties), QStringLiteral("PropertiesChanged"),
                              this, SLOT(PropertiesChanged(QString, QVariantMap, QStringList))))
            return;
        FLocked = *hint;
        FLockWords = QStringLiteral("the login manager's lock flag (logind)");
    }

    /// This process's login session, or else the one XDG_SESSION_ID names.
    QString LoginSessionPath()
    {
        auto path =
            Answer(Call(*FSystem, kLogin, QStringLiteral("/org/freedesktop/login1"), "org.freedesktop.login1.Manager",
                        "GetSessionByPID", {QVariant::fromValue(static_cast<uint>(getpid()))}));
        if (!path && qEnvironmentVariableIsSet("XDG_SESSION_ID"))
            path =
                Answer(Call(*FSystem, kLogin, QStringLiteral("/org/freedesktop/login1"),
                            "org.freedesktop.login1.Manager", "GetSession", {qEnvironmentVariable("XDG_SESSION_ID")}));
        if (!path || path->metaType() != QMetaType::fromType<QDBusObjectPath>())
            return QString();
        return path->value<QDBusObjectPath>().path();
    }

    std::optional<bool> LockedHint()
    {
        if (!FSystem)
            return std::nullopt;
        const auto value = Answer(
            Call(*FSystem, kLogin, FLoginSession, kProperties, "Get", {Latin(kLoginSession), Latin(kLockedHint)}));
        if (!value || value->metaType() != QMetaType::fromType<QDBusVariant>())
            return std::nullopt;
        const QVariant hint = value->value<QDBusVariant>().variant();
        if (hint.metaType() != QMetaType::fromType<bool>())
            return std::nullopt;
        return hint.toBool();
    }

    void FindIdleSource()
    {
        if (ScreenSaverIdleSeconds()) {
            FIdle = TIdle::ScreenSaver;
            FIdleWords = Latin(kScreenSavers[0].Words);
        } else if (MutterIdleMilliseconds()) {
            FIdle = TIdle::Mutter;
            FIdleWords = QStringLiteral("GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)");
        } else if (X11IdleMilliseconds()) {
            FIdle = TIdle::X11;
            FIdleWords = QStringLiteral("the X server's screen saver extension");
        }
    }

    std::optional<uint> ScreenSaverIdleSeconds()
    {
        if (!FSession)
            return std::nullopt;
        const TScreenSaver &saver = kScreenSavers[0];
        const auto seconds =
            Answer(Call(*FSession, saver.Service, Latin(saver.Path), saver.Service, "GetSessionIdleTime"));
        if (!seconds || seconds->metaType() != QMetaType::fromType<uint>())
            return std::nullopt;
        return seconds->toUInt();
    }

    std::optional<qulonglong> MutterIdleMilliseconds()
    {
        if (!FSession)
            return std::nullopt;
        const auto ms = Answer(Call(*FSession, kIdleMonitor, Latin(kIdleMonitorPath), kIdleMonitor, "GetIdletime"));
        if (!ms || ms->metaType() != QMetaType::fromType<qulonglong>())
            return std::nullopt;
        return ms->toULongLong();
    }

    std::optional<QDBusConnection> FSession;
    std::optional<QDBusConnection> FSystem;
    QString FLoginSession;
    QString FLockWords;
    QString FIdleWords;
    TIdle FIdle = TIdle::None;
    bool FLocked = false;
};

} // namespace

std::unique_ptr<IDesktopPresence> NewDesktopPresence()
{
    return std::make_unique<TDBusPresence>();
}

#include "DesktopPresence.moc"
