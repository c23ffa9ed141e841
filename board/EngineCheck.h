// What every dataset class does when the engine could not be loaded: it says
// so in an error box, asks the program to end, and goes no further.
#pragma once

#include <exception>

class TIsamFile;
struct TBoardContext;

/// Raised once the program has been asked to end because the engine is
/// missing. It is not an EKivError: the box has been shown already, and the
/// general error display must not show a second one.
class EKivEngineMissing : public std::exception {
public:
    const char *what() const noexcept override;
};

/// The text of the engine-missing box.
extern const char *const EngineMissingText;

/// When isam has no engine: shows the engine-missing error box, calls
/// ctx.App.Terminate() and raises EKivEngineMissing, so that the constructor
/// calling it touches no dataset.
void RequireEngine(const TIsamFile &isam, TBoardContext &ctx);
