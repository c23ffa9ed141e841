// What the desktop knows the program by: its name, version, desktop entry and
// icon.
#pragma once

#include <QIcon>

/// The application icon, built into the program at every size from 16 to
/// 256 pixels, so each place (title bar, task switcher, dialogs) picks a
/// sharp one.
QIcon KivAppIcon();

/// Names the running application "Kiv" with the build's version, ties it to
/// the desktop entry kiv.desktop and gives every window the application icon.
/// No display name is set: Qt would add it to every title bar, and the
/// windows' captions are to read exactly as they are written.
void SetKivApplicationIdentity();
