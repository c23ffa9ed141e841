// Plain stand-ins for what the windows give the data classes: message boxes
// that record what they were asked to show, an application that records the
// request to end, a main window that records its status bar, a fixed clock.
#pragma once

#include "board/Seams.h"
#include "board/Session.h"
#include "platform/Clock.h"

#include <string>
#include <vector>

struct TShownBox {
    std::string Text;
    TMsgIcon Icon;
    TMsgButtons Buttons;
};

class TFakePrompter : public IPrompter {
public:
    TMsgAnswer Show(const std::string &text, TMsgIcon icon, TMsgButtons buttons) override
    {
        Shown.push_back({text, icon, buttons});
        return buttons == TMsgButtons::Ok ? TMsgAnswer::Ok : Answer;
    }
    std::vector<TShownBox> Shown;
    TMsgAnswer Answer = TMsgAnswer::No;
};

class TFakeApp : public IAppControl {
public:
    void Terminate() override { ++Terminations; }
    int Terminations = 0;
};

class TFakeHost : public IMainHost {
public:
    void SetStatusText(const std::string &text) override { StatusTexts.push_back(text); }
    void SetSkipSignOff() override { SkipSignOff = true; }
    void SetTrayStatusImage(int imageIndex) override { TrayImage = imageIndex; }
    std::vector<std::string> StatusTexts;
    bool SkipSignOff = false;
    int TrayImage = -1;
};

class TFixedClock : public IClock {
public:
    std::time_t Now() const override { return Moment; }
    std::time_t Moment = 1733650000; // a Sunday in December 2024
};

/// One workstation's worth of fakes, and the context made of them.
struct TFakeBoard {
    TSession Session;
    TFakePrompter Prompter;
    TFakeApp App;
    TFakeHost Host;
    TFixedClock Clock;
    TBoardContext Ctx{Session, Prompter, App, Host, Clock};
};
