// The board page of the running window: every GenerateHTMLEvery seconds the
// page group's page is written to HTMLLocation, when the board or the minute
// shown changed. A tick with no news costs one file age; a failed write
// leaves a text in the status bar and is tried again at the next tick.
#pragma once

#include "board/BoardPage.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>

class TKivFile;
struct TKivSettings;

class TPageTimer : public QObject {
    Q_OBJECT
public:
    /// board answers the board to write the page of, or null while there is
    /// none (not yet open, or the program ending).
    explicit TPageTimer(std::function<TKivFile *()> board, QObject *parent = nullptr);

    /// Takes the page group of settings: the timer runs while HTMLLocation
    /// names a file, and the next tick writes the page afresh.
    void Apply(const TKivSettings &settings);
    void Stop() { FTimer.stop(); }
    /// One tick, as the timer runs it; answers whether the page was written.
    bool Tick();
    QTimer *Timer() { return &FTimer; }

private:
    std::function<TKivFile *()> FBoard;
    QTimer FTimer;
    TPageLook FLook;
    std::string FPath;
    TPagePublisher FPublisher;
};
