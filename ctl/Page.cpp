#include "ctl/Page.h"

#include "board/BoardPage.h"
#include "board/KivFile.h"
#include "ctl/StopSignal.h"
#include "ctl/Terminal.h"
#include "platform/KivError.h"

int RunPage(TKivFile &kiv, const TPageLook &look, const std::string &path, int every)
{
    TPagePublisher publisher;
    if (every == 0) {
        try {
            publisher.Publish(kiv, look, path);
        } catch (const EKivError &error) {
            PrintError(error.what());
            return 1;
        }
        return 0;
    }
    CatchStopSignals();
    // The page tells the period it is really written at.
    TPageLook periodic = look;
    periodic.GenerateHTMLEvery = every;
    do {
        try {
            publisher.Publish(kiv, periodic, path);
        } catch (const EKivError &error) {
            PrintError(error.what());
        }
    } while (WaitUnlessStopped(every));
    return 0;
}
