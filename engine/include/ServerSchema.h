// A board on a PostgreSQL server: how its location is told from a folder, how
// a dataset of it is named, and the base of its schema. Shared by the engine
// (which serves the datasets) and the programs that set a server board up.
//
// A board location is a server when it starts with "postgresql://" or
// "postgres://" (any form libpq accepts, a Unix socket folder included:
// "postgresql:///db?host=/run/postgresql"). A dataset of a server board is
// named "<URI>#<DatasetName>"; a '#' never appears in a libpq URI. Anything
// else is a folder.
//
// Everything lives in the schema "kiv". Each write to a dataset is one
// transaction that also counts the dataset's row of kiv.changes on (adding it
// when missing) and sends NOTIFY kiv_changes with the dataset's name.
#pragma once

#include <string>
#include <string_view>

#include "vbis/Vbis4032.h"

namespace kivserver {

/// The schema version this Kiv knows. A database with a newer one is refused.
constexpr int kSchemaVersion = 1;

/// The channel every write notifies, with the dataset's name as payload.
constexpr const char *kChangesChannel = "kiv_changes";

/// The base schema, for a database that holds none yet; running it again
/// changes nothing. kiv.meta holds the schema version; kiv.changes a counter
/// per dataset that every write counts on; kiv.datasets what a dataset was
/// created with (key length and format string).
constexpr const char *kBaseSchemaSql =
    "CREATE SCHEMA IF NOT EXISTS kiv;"
    "CREATE TABLE IF NOT EXISTS kiv.meta(key text PRIMARY KEY, value text NOT NULL);"
    "INSERT INTO kiv.meta(key, value) VALUES ('schema_version', '1') ON CONFLICT (key) DO NOTHING;"
    "CREATE TABLE IF NOT EXISTS kiv.changes(dataset text PRIMARY KEY, counter bigint NOT NULL DEFAULT 0);"
    "CREATE TABLE IF NOT EXISTS kiv.datasets(name text PRIMARY KEY, key_length smallint NOT NULL,"
    " format text NOT NULL, created timestamptz NOT NULL DEFAULT now());";

/// Engine codes of a server dataset, each one of the contract's codes:
/// the server cannot be reached, refused the connection or was lost mid-call;
constexpr int kCodeUnreachable = VBIS_IO_ERROR;
/// the database holds no Kiv schema;
constexpr int kCodeNoSchema = VBIS_NOT_ISAM;
/// the database's schema is of a later Kiv;
constexpr int kCodeNewerSchema = VBIS_UNAVAILABLE;
/// the server stayed busy (serialization failures, lock or statement time-outs).
constexpr int kCodeBusy = VBIS_MULTI_USER;

/// True when location names a board on a server.
constexpr bool IsServerLocation(std::string_view location)
{
    return location.substr(0, 13) == "postgresql://" || location.substr(0, 11) == "postgres://";
}

/// The path of dataset name on the server board at uri.
inline std::string DatasetPath(std::string_view uri, std::string_view name)
{
    std::string path(uri);
    path += '#';
    path += name;
    return path;
}

/// Splits a server dataset path into the URI and the dataset name; false when
/// path has no '#'.
constexpr bool SplitDatasetPath(std::string_view path, std::string_view &uri, std::string_view &name)
{
    const std::size_t hash = path.rfind('#');
    if (hash == std::string_view::npos)
        return false;
    uri = path.substr(0, hash);
    name = path.substr(hash + 1);
    return true;
}

} // namespace kivserver
