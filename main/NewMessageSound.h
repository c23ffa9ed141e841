// The new-message sound: a wave file played without holding up the window,
// or the desktop's bell.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSoundEffect;

class TNewMessageSound final : public QObject {
    Q_OBJECT
public:
    using TBell = std::function<void()>;

    explicit TNewMessageSound(QObject *parent = nullptr);
    ~TNewMessageSound() override;

    /// Starts file playing and returns at once; the sound goes on while the
    /// window works. The desktop's bell sounds instead when file is empty, is
    /// not a readable regular file, there is no sound output, or the file
    /// turns out not to be a sound that can be played.
    void Play(const QString &file);

    /// Replaces the desktop's bell (tests count its rings).
    void SetBell(TBell bell) { FBell = std::move(bell); }

private:
    void Ring();
    void StatusChanged();

    TBell FBell;
    std::unique_ptr<QSoundEffect> FEffect;
    /// A play waits for its file to load; a failed load rings the bell.
    bool FWaiting = false;
};
