// Moving a folder board onto a board server: every dataset the folder has,
// record by record through the engine under its own key, then Kiv.cfg and
// both activity logs in one transaction. The folder is only read, through
// the readers every front end uses (regular files only, never a link).
//
// The server must hold a board schema already (kivctl server init) and no
// board yet: a dataset with records or a logged line refuses the import
// before anything is written. The engine writes each record in a
// transaction of its own, so a failure midway leaves what was copied until
// then; each part is reported as it is finished, the failure names the part
// it stopped in, and since the server then holds records, a second import
// refuses it instead of adding to it.
#pragma once

#include <functional>
#include <string>

/// Copies the board in folder to the empty board on the server at uri,
/// handing done a line for each part copied ("KivDB31: 12 records"). Raises
/// EKivError with a message for the user when the folder holds no board,
/// the server holds none or a non-empty one, or a part cannot be copied.
void ImportFolderBoard(const std::string &folder, const std::string &uri,
                       const std::function<void(const std::string &)> &done);
