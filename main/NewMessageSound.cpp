#include "main/NewMessageSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// file can be read as a regular file. A fifo or a device chosen by mistake
/// would hold up the loading; the open itself never waits.
bool PlayableFile(const QString &file)
{
    const QByteArray path = file.toLocal8Bit();
    const int fd = open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return regular;
}

} // namespace

TNewMessageSound::TNewMessageSound(QObject *parent) : QObject(parent), FBell([] { QApplication::beep(); }) {}

TNewMessageSound::~TNewMessageSound() = default;

void TNewMessageSound::Ring()
{
    if (FBell)
        FBell();
}

void TNewMessageSound::Play(const QString &file)
{
    if (file.isEmpty() || !PlayableFile(file) || QMediaDevices::defaultAudioOutput().isNull()) {
        Ring();
        return;
    }
    if (!FEffect) {
        FEffect = std::make_unique<QSoundEffect>();
        connect(FEffect.get(), &QSoundEffect::statusChanged, this, &TNewMessageSound::StatusChanged);
    }
    // The file is loaded again when it is another one, or when it failed
    // last time (it may have been mended since).
    const QUrl source = QUrl::fromLocalFile(file);
    if (FEffect->source() != source || FEffect->status() == QSoundEffect::Error) {
        FEffect->setSource(QUrl());
        FEffect->setSource(source);
    }
    // Loading goes on in the background and the sound starts once it is
    // done; play() only asks for it.
    FWaiting = FEffect->status() != QSoundEffect::Ready;
    FEffect->play();
}

void TNewMessageSound::StatusChanged()
{
    const QSoundEffect::Status status = FEffect->status();
    if (status == QSoundEffect::Error && FWaiting) {
        FWaiting = false;
        Ring();
    } else if (status == QSoundEffect::Ready) {
        FWaiting = false;
    }
}
