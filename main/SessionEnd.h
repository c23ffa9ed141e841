// The end of the desktop session as the program sees it. SIGTERM and SIGHUP
// (from the session at log-out and shutdown, from systemd when the session's
// scope stops, from a terminal that closes) and the session manager's own
// request to quit each close the main window for real, so the user is signed
// off. The session's request to save its clients' data is only that: a
// log-out the user then cancels leaves them signed in.
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;
class TfrmMain;

class TSessionEnd final : public QObject {
public:
    /// Watches for the session's end on behalf of main for as long as it
    /// lives; only one may live at a time. The signals are handed from their
    /// handler to the event loop through a pipe, the one safe way out of a
    /// signal handler.
    explicit TSessionEnd(TfrmMain &main);
    /// Gives SIGTERM and SIGHUP back their earlier handling.
    ~TSessionEnd() override;
    TSessionEnd(const TSessionEnd &) = delete;
    TSessionEnd &operator=(const TSessionEnd &) = delete;

    /// The signals could be watched: their handlers are in place.
    bool Watching() const { return FNotifier != nullptr; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SignalArrived();

    TfrmMain &FMain;
    std::unique_ptr<QSocketNotifier> FNotifier;
};
