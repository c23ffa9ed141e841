// Sounds of the program: a wave file played through Qt Multimedia, or the
// desktop's bell when there is no file or it cannot be played.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSoundEffect;

class TKivSound : public QObject {
    Q_OBJECT
public:
    explicit TKivSound(QObject *parent = nullptr);

    /// Starts playing the wave file at path and returns at once; the bell
    /// rings instead when path is empty or the file turns out not to be a
    /// wave file that can be played.
    void Play(const QString &path);

    /// Test hook: sounds are not played but handed to sink, the file's path
    /// for a wave file and an empty text for the bell. An empty sink plays
    /// them again.
    static void SetTestSink(std::function<void(const QString &)> sink);

private:
    void Ring();
    void StatusChanged();

    QSoundEffect *FEffect = nullptr;
    bool FWaiting = false;
};
