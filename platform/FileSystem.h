// File and folder existence. Both look at the path only (stat), never open
// the file, so they never disturb the locks another part of the process holds.
#pragma once

#include <string>

/// True when path names something that exists and is not a folder.
bool FileExists(const std::string &path);

/// True when path names an existing folder (a link to one counts).
bool DirectoryExists(const std::string &path);
