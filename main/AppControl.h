// The running program as the data classes may end it.
#pragma once

#include "board/Seams.h"

/// Ends the Qt program: the event loop stops as soon as it runs, so a call
/// made before the loop has started ends the program at its first turn.
class TQtAppControl final : public IAppControl {
public:
    /// Asks the program to end.
    void Terminate() override;
    /// True once Terminate has been called; the program entry checks it
    /// before it enters the event loop.
    bool Terminated() const { return FTerminated; }

private:
    bool FTerminated = false;
};
