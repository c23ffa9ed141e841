// A second start of the program brings the running copy's window to the
// front. The copy that holds the single-instance lock listens on a local
// socket in the user's own runtime folder, beside the lock file; a second
// start sends it one short line and goes on to say that Kiv is already
// running. Where the desktop has no notification area, no taskbar, or the
// window sits on another workspace, starting Kiv again is the way back to it.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

/// Where the running copy listens: a socket in the per-user runtime folder.
QString RaiseSocketPath();

/// The running copy's side: answers a second start's request.
class TRaiseListener final : public QObject {
    Q_OBJECT
public:
    /// Listens at path. Only the holder of the single-instance lock may make
    /// one: a socket left at path by a copy that died is replaced.
    explicit TRaiseListener(const QString &path, QObject *parent = nullptr);

    /// The socket is listening.
    bool Listening() const;
    /// Why it is not.
    QString Error() const { return FError; }

signals:
    /// A second start asked for the window. token is the desktop's
    /// activation token the second start was given (empty when none), with
    /// which a Wayland desktop lets the window take the focus.
    void RaiseRequested(const QString &token);

private:
    void Accept();
    void Read(QLocalSocket *socket);

    QLocalServer *FServer = nullptr;
    QString FError;
};

/// The second start's side: asks the copy listening at path to bring its
/// window to the front, passing on this process's activation token. Waits at
/// most timeoutMs; false when no copy took the request.
bool AskRunningCopyToRaise(const QString &path, int timeoutMs = 2000);
