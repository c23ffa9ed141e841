// Running one kivctl command on its board.
#pragma once

#include "ctl/CommandLine.h"

/// The exit statuses of kivctl.
enum TCtlExit { kExitSuccess = 0, kExitFailed = 1, kExitUsage = 2 };

/// Opens the request's board, signs the effective user in as the program
/// does and runs the command; answers the exit status. Failures are
/// printed on standard error.
int RunRequest(const TCtlRequest &request);
