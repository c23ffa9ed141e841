// Starting with the logon: a freedesktop autostart entry "Kiv.desktop" in the
// user's autostart folder, which the desktop session runs at each logon.
#pragma once

#include <string>

/// The file name of the autostart entry.
inline constexpr const char *kAutostartFileName = "Kiv.desktop";

/// The path of the autostart entry: AutostartFolder()/Kiv.desktop.
std::string AutostartEntryPath();

/// The text of an autostart entry "Kiv" that starts programPath, with iconPath as its icon when one is given; the session skips it while
/// programPath is not there.
std::string AutostartEntryText(const std::string &programPath, const std::string &iconPath = {});

/// Creates or replaces the autostart entry for programPath, atomically; raises
/// EKivError with the reason when it cannot be written.
void CreateAutostartEntry(const std::string &programPath, const std::string &iconPath = {});
