#include "board/ServerBoard.h"

#include "board/ServerConnection.h"

#include "ServerSchema.h"

#include <libpq-fe.h>

#include <string>

namespace {

// What a board folder holds besides its datasets. A write to the switches
// or the shutdown flag, also one an administrator makes in SQL, is counted
// and notified in its own transaction, as a dataset's write is.
constexpr const char *kBoardSchema = R"sql(
CREATE TABLE IF NOT EXISTS kiv.config (
    only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
    logging_type smallint NOT NULL DEFAULT 0 CHECK (logging_type BETWEEN 0 AND 255),
    allow_messages smallint NOT NULL DEFAULT 1 CHECK (allow_messages BETWEEN 0 AND 255),
    reserved bytea NOT NULL DEFAULT decode(repeat('00', 31), 'hex') CHECK (length(reserved) = 31));
CREATE TABLE IF NOT EXISTS kiv.activity_log (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    log smallint NOT NULL CHECK (log IN (1, 2)),
    written text NOT NULL,
    name text NOT NULL,
    login text NOT NULL,
    old_status text NOT NULL,
    new_status text NOT NULL,
    logged_at timestamptz NOT NULL DEFAULT now());
CREATE TABLE IF NOT EXISTS kiv.shutdown (
    only_row boolean PRIMARY KEY DEFAULT true CHECK (only_row),
    since timestamptz NOT NULL DEFAULT now(),
    set_by text NOT NULL DEFAULT session_user);
CREATE OR REPLACE FUNCTION kiv.note_change() RETURNS trigger LANGUAGE plpgsql AS $body$
BEGIN
    INSERT INTO kiv.changes AS c (dataset, counter) VALUES (TG_ARGV[0], 1)
        ON CONFLICT (dataset) DO UPDATE SET counter = c.counter + 1;
    PERFORM pg_notify('kiv_changes', TG_ARGV[0]);
    RETURN NULL;
END
$body$;
CREATE OR REPLACE TRIGGER config_changed AFTER INSERT OR UPDATE OR DELETE ON kiv.config
    FOR EACH STATEMENT EXECUTE FUNCTION kiv.note_change('Kiv.cfg');
CREATE OR REPLACE TRIGGER shutdown_changed AFTER INSERT OR UPDATE OR DELETE ON kiv.shutdown
    FOR EACH STATEMENT EXECUTE FUNCTION kiv.note_change('shutdown');
)sql";

/// The schema version the database holds; 0 when it holds no board. Asked
/// without an error for a missing table, which would end a transaction.
int SchemaVersionOf(TServerConnection &connection)
{
    const TServerRows there = connection.Run("SELECT to_regclass('kiv.meta') IS NOT NULL");
    if (there.Count() == 0 || there.Text(0, 0) != "t")
        return 0;
    const TServerRows rows = connection.Run("SELECT value FROM kiv.meta WHERE key = 'schema_version'");
    if (rows.Count() == 0 || rows.IsNull(0, 0))
        return 0;
    const std::string text = rows.Text(0, 0);
    // A version this Kiv cannot read as a number is not one it made.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
        return ServerBoard::SchemaVersion + 1;
    return std::stoi(text);
}

[[noreturn]] void Newer(int version)
{
    throw EKivError("The board on the server was made by a newer Kiv (schema version " + std::to_string(version)
                    + "); this Kiv knows version " + std::to_string(ServerBoard::SchemaVersion)
                    + " only. Please install the newer Kiv.");
}

} // namespace

void RequireServerBoard(TServerConnection &connection)
{
    const int version = SchemaVersionOf(connection);
    if (version == 0)
        throw EKivError("The database holds no Kiv board. An administrator makes one with \"kivctl server init\".");
    if (version > ServerBoard::SchemaVersion)
        Newer(version);
}

bool InitServerBoard(const std::string &uri)
{
    TServerConnection connection(uri);
    bool created = false;
    connection.InTransaction([&] {
        // Two administrators starting it at once do it one after the other.
        connection.Run("SELECT pg_advisory_xact_lock(hashtext('kiv schema'))");
        const int version = SchemaVersionOf(connection);
        if (version > ServerBoard::SchemaVersion)
            Newer(version);
        created = version == 0;
        // The tables every board has (the engine's), then the board's own.
        connection.Run(kivserver::kBaseSchemaSql);
        connection.Run(kBoardSchema);
    });
    return created;
}

std::string CheckServerBoard(const std::string &uri)
{
    char *parseError = nullptr;
    PQconninfoOption *options = PQconninfoParse(uri.c_str(), &parseError);
    if (options == nullptr) {
        const std::string why = parseError ? parseError : "out of memory";
        PQfreemem(parseError);
        return "This is not a connection URI Kiv can read: " + why.substr(0, why.find('\n'));
    }
    bool password = false;
    for (const PQconninfoOption *option = options; option->keyword != nullptr; ++option)
        if (std::string(option->keyword) == "password" && option->val != nullptr && *option->val != '\0')
            password = true;
    PQconninfoFree(options);
    if (password)
        return "The URI holds a password, and Kiv keeps none in its settings. Give the URI without it, and put "
               "the password in the password file (~/.pgpass) or in PGPASSWORD.";
    TServerConnection connection(uri);
    try {
        RequireServerBoard(connection);
        return std::string();
    } catch (const EKivError &error) {
        const std::string why = error.what();
        if (why.find("no password supplied") != std::string::npos)
            return "The board server asks for a password, and none was found: put it in the password file "
                   "(~/.pgpass) or in PGPASSWORD.\n"
                   + why;
        if (why.rfind(kServerUnreachable, 0) == 0)
            return "Kiv cannot reach the board server: check the host name and port, and that the server is "
                   "running and lets this workstation through.\n"
                   + why;
        if (why.find("refused the connection") != std::string::npos) {
            if (why.find("database \"") != std::string::npos && why.find("does not exist") != std::string::npos)
                return "The board server has no database of that name.\n" + why;
            return "The board server refused the connection: the user name or the password is wrong, or the "
                   "server does not let this user in from this workstation.\n"
                   + why;
        }
        // No board schema, or a newer one: said plainly already.
        return why;
    }
}
