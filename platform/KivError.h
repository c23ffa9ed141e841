// The one exception type of the system: a failed operation raises it with the
// text the user is shown, and the windows put that text in an error box.
#pragma once

#include <stdexcept>
#include <string>

class EKivError : public std::runtime_error {
public:
    explicit EKivError(const std::string &message) : std::runtime_error(message) {}
};
