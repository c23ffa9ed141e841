#include "main/RaiseRequest.h"

#include "platform/Paths.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

constexpr const char *kSocketName = "Qtv - Kiv.socket";
constexpr QByteArrayView kRequest = "raise";
/// The longest line taken: the request, a blank and an activation token.
constexpr qsizetype kLineMax = 512;
/// A connection that sends no whole line in this time is dropped.
constexpr int kReadTimeoutMs = 2000;

/// An activation token as desktops make them: printable, without blanks.
bool PlausibleToken(QByteArrayView token)
{
    for (char c : token)
        if (c <= ' ' || c > '~')
            return false;
    return token.size() <= kLineMax;
}

} // namespace

QString RaiseSocketPath()
{
    return QString::fromStdString(RuntimeFolder()) + QLatin1Char('/') + QLatin1String(kSocketName);
}

TRaiseListener::TRaiseListener(const QString &path, QObject *parent) : QObject(parent), FServer(new QLocalServer(this))
{
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    if (!FServer->listen(path))
        FError = QStringLiteral("Unable to listen at %1: %2").arg(path, FServer->errorString());
    connect(FServer, &QLocalServer::newConnection, this, &TRaiseListener::Accept);
}

bool TRaiseListener::Listening() const
{
    return FServer->isListening();
}

void TRaiseListener::Accept()
{
    while (QLocalSocket *socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] { socket->abort(); });
        // What came before the connection was taken is read at once.
        Read(socket);
    }
}

void TRaiseListener::Read(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kLineMax)
            socket->abort();
        return;
    }
    QByteArray line = socket->readLine(kLineMax + 1).trimmed();
    socket->abort();
    const qsizetype blank = line.indexOf(' ');
    const QByteArrayView word = QByteArrayView(line).first(blank < 0 ? line.size() : blank);
    if (word != kRequest)
        return;
    const QByteArrayView token = blank < 0 ? QByteArrayView() : QByteArrayView(line).sliced(blank + 1);
    emit RaiseRequested(PlausibleToken(token) ? QString::fromLatin1(token) : QString());
}

bool AskRunningCopyToRaise(const QString &path, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray line(kRequest.data(), kRequest.size());
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty() && PlausibleToken(token))
        line += ' ' + token;
    line += '\n';
    // A socket of this user's runtime folder takes the line into its buffer
    // at once; the running copy reads it when its own loop comes round.
    socket.write(line);
    const bool written = socket.waitForBytesWritten(timeoutMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    return written;
}
