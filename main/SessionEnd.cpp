#include "main/SessionEnd.h"

#include "main/MainWindow.h"
#include "platform/Autostart.h"
#include "platform/Files.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 2> kEndSignals{SIGTERM, SIGHUP};

// The pipe from the signal handler to the event loop, and the handlers that
// were in place before ours.
int SignalPipe[2] = {-1, -1};
struct sigaction Previous[kEndSignals.size()];

extern "C" void OnEndSignal(int signo)
{
    // Only async-signal-safe calls here: one byte into a non-blocking pipe.
    // A full pipe already holds a request to end, so a lost byte loses nothing.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t written = write(SignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TSessionEnd::TSessionEnd(TfrmMain &main) : FMain(main)
{
    if (pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        FNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
        connect(FNotifier.get(), &QSocketNotifier::activated, this, &TSessionEnd::SignalArrived);
        struct sigaction action {};
        action.sa_handler = OnEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kEndSignals.size(); ++i)
            sigaction(kEndSignals[i], &action, &Previous[i]);
    } else {
        std::perror("kiv: the end of the session cannot be watched");
    }

    QCoreApplication *app = QCoreApplication::instance();
    app->installEventFilter(this);
    if (auto *gui = qobject_cast<QGuiApplication *>(app)) {
        // Started again by the session after the next log-on, the program
        // would find the copy its autostart entry started and say so in a box.
        connect(gui, &QGuiApplication::saveStateRequest, this, [](QSessionManager &manager) {
            if (FileExists(AutostartEntryPath()))
                manager.setRestartHint(QSessionManager::RestartNever);
        });
    }
}

TSessionEnd::~TSessionEnd()
{
    if (FNotifier) {
        for (std::size_t i = 0; i < kEndSignals.size(); ++i)
            sigaction(kEndSignals[i], &Previous[i], nullptr);
        FNotifier.reset();
        close(SignalPipe[0]);
        close(SignalPipe[1]);
        SignalPipe[0] = SignalPipe[1] = -1;
    }
}

void TSessionEnd::SignalArrived()
{
    unsigned char bytes[16];
    while (read(SignalPipe[0], bytes, sizeof bytes) > 0) {
    }
    FMain.EndSession();
}

bool TSessionEnd::eventFilter(QObject *watched, QEvent *event)
{
    // The session manager's word that the session now ends comes as a request
    // to quit. The program's own quit follows the main window's close query,
    // so it passes.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit && !FMain.CloseAllowed()) {
        FMain.EndSession();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
