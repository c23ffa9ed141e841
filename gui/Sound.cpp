#include "gui/Sound.h"

#include <QApplication>
#include <QSoundEffect>
#include <QUrl>

namespace {

// Sounds are asked for from the user-interface thread only.
std::function<void(const QString &)> TestSink;

} // namespace

TKivSound::TKivSound(QObject *parent) : QObject(parent) {}

void TKivSound::SetTestSink(std::function<void(const QString &)> sink)
{
    TestSink = std::move(sink);
}

void TKivSound::Ring()
{
    if (TestSink)
        TestSink(QString());
    else
        QApplication::beep();
}

void TKivSound::Play(const QString &path)
{
    if (path.isEmpty()) {
        Ring();
        return;
    }
    if (TestSink) {
        TestSink(path);
        return;
    }
    // Made at the first file played: the audio back end is only started for
    // a sound that needs it.
    if (FEffect == nullptr) {
        FEffect = new QSoundEffect(this);
        connect(FEffect, &QSoundEffect::statusChanged, this, &TKivSound::StatusChanged);
    }
    const QUrl source = QUrl::fromLocalFile(path);
    if (FEffect->source() == source && FEffect->status() == QSoundEffect::Ready) {
        FEffect->play();
        return;
    }
    // The file loads in the background; it plays, or the bell rings, once
    // its loading has ended one way or the other.
    FWaiting = true;
    FEffect->setSource(source);
    if (FEffect->status() == QSoundEffect::Error)
        StatusChanged();
}

void TKivSound::StatusChanged()
{
    if (!FWaiting)
        return;
    switch (FEffect->status()) {
    case QSoundEffect::Ready:
        FWaiting = false;
        FEffect->play();
        break;
    case QSoundEffect::Error:
        FWaiting = false;
        Ring();
        break;
    default:
        break;
    }
}
