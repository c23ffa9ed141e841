// The JSON documents of kivctl, for other programs. Their shape is described
// in man kivctl and only ever grows: a member is never renamed or dropped.
#pragma once

#include "board/Seams.h"

#include <string>
#include <vector>

/// The board: {"version":1,"users":[{"user","status","updated","ext",
/// "department","login","comments"}, ...]}.
std::string BoardJson(const std::vector<TBoardRow> &rows);

/// The status catalogue: {"version":1,"statuses":["...", ...]}.
std::string StatusesJson(const std::vector<std::string> &statuses);

/// The in-box: {"version":1,"messages":[{"from","subject","type","key",
/// "received"}, ...]}.
std::string InBoxJson(const std::vector<TInBoxRow> &rows);
