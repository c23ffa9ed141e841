#include "ctl/StopSignal.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <signal.h>
#include <thread>

namespace {

volatile std::sig_atomic_t gStopAsked = 0;

extern "C" void AskToStop(int)
{
    gStopAsked = 1;
}

} // namespace

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool WaitUnlessStopped(int seconds, int wake)
{
    using namespace std::chrono;
    const steady_clock::time_point end = steady_clock::now() + duration<int>(seconds);
    while (gStopAsked == 0) {
        const steady_clock::time_point now = steady_clock::now();
        if (now >= end)
            return true;
        const auto step = duration_cast<milliseconds>(std::min<steady_clock::duration>(milliseconds(100), end - now));
        if (wake < 0) {
            std::this_thread::sleep_for(step);
            continue;
        }
        // A stop signal ends the poll early; it is looked at above.
        pollfd watched{wake, POLLIN, 0};
        if (poll(&watched, 1, int(step.count()) + 1) > 0)
            return true;
    }
    return false;
}
