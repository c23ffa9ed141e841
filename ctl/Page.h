// kivctl page: the board as a web page, once or on a period.
#pragma once

#include <string>

class TKivFile;
struct TPageLook;

/// Writes the page of kiv's board to path. With every 0 it writes once and
/// answers 1 when that failed; otherwise it writes whenever the board or the
/// minute shown changed, looking every every seconds, reports a failed
/// write on standard error and goes on, and answers 0 on SIGINT or SIGTERM.
int RunPage(TKivFile &kiv, const TPageLook &look, const std::string &path, int every);
