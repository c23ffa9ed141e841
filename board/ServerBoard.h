// A board on a PostgreSQL server: its schema "kiv", and what the folder of a
// folder board holds besides the datasets, as tables:
//   kiv.meta(key, value)            'schema_version' tells which Kiv made it
//   kiv.changes(dataset, counter)   bumped by every write to a dataset (and
//                                   to 'Kiv.cfg' and 'shutdown'), which also
//                                   sends NOTIFY kiv_changes, '<dataset>'
//   kiv.config                      the one row of the board-wide switches
//   kiv.activity_log                one row per logged status change
//   kiv.shutdown                    a row there: the board is being shut down
#pragma once

#include "ServerSchema.h"

#include <string>

namespace ServerBoard {
/// The schema version this Kiv makes and reads.
inline constexpr int SchemaVersion = kivserver::kSchemaVersion;
/// The channel every change is notified on, its payload the dataset's name.
inline constexpr const char *Channel = kivserver::kChangesChannel;
/// The names the board-wide switches and the shutdown flag are counted under.
inline constexpr const char *ConfigName = "Kiv.cfg";
inline constexpr const char *ShutdownName = "shutdown";
} // namespace ServerBoard

/// Creates the schema of a board on the server at uri, or completes it;
/// harmless when run again, and safe when two run at once. Answers true when
/// the database held no board before. Raises EKivError when the server
/// cannot be reached or refuses, and when the database holds a board of a
/// newer Kiv, which is left as it is.
bool InitServerBoard(const std::string &uri);

class TServerConnection;
/// Raises EKivError unless the database of connection holds a board this Kiv
/// can work on: a schema of its version.
void RequireServerBoard(TServerConnection &connection);

/// What a workstation would meet on the board server at uri, asked for the
/// setup wizard: empty when the database holds a board this Kiv can work on,
/// else in plain words what failed (a URI libpq cannot read or one holding a
/// password, a server that cannot be reached, a refusal of the user or the
/// password, no such database, no board schema, a board of a newer Kiv),
/// followed by the server's own words. Takes at most the connect time-out
/// and one statement's.
std::string CheckServerBoard(const std::string &uri);
