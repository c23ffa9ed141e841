// The per-user folders of the program: configuration, data, runtime, and the
// folders derived from them. Every call reads the environment afresh, so a
// change of $HOME or an $XDG_* variable takes effect at the next call.
#pragma once

#include <string>
#include <sys/types.h>

/// The user's home folder: $HOME, else the password entry's; empty when neither is known.
std::string HomeFolder();

/// The per-user configuration folder: $XDG_CONFIG_HOME, else ~/.config; empty without a home.
std::string ConfigFolder();

/// The per-user data folder: $XDG_DATA_HOME, else ~/.local/share; empty without a home.
std::string DataFolder();

/// The program's own data folder, DataFolder()/Kiv, created when missing (the path is
/// returned even when it cannot be created, so a later file operation names it).
std::string KivDataFolder();

/// The folder of the alert files: the program's own data folder.
std::string AlertFolder();

/// The per-user runtime folder: $XDG_RUNTIME_DIR when it is a folder of ours, else
/// $TMPDIR (or /tmp) /kiv-<uid> with mode 0700, else the program's data folder.
std::string RuntimeFolder();

/// The folder whose desktop entries the session starts at logon: ConfigFolder()/autostart.
std::string AutostartFolder();

/// Creates path and every missing folder above it with the given mode; true when it
/// exists as a folder afterwards.
bool MakeFolders(const std::string &path, mode_t mode = 0700);

/// The full path of the running program; empty when it cannot be read.
std::string ProgramPath();
