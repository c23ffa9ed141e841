// Where a test's datasets live: a temporary folder of its own, or a database
// of its own on the tests' PostgreSQL cluster (KIV_TEST_PG_URI), set up with
// the base schema and dropped at the end. The engine's tests run against both.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "kit/EngineApi.h"

namespace vbistest {

enum class TLocationKind { Folder, Server };

/// "Folder" or "Server", for the names of parametrized tests.
std::string LocationName(TLocationKind kind);
/// How GoogleTest prints the parameter (in the tests' names, too).
inline void PrintTo(TLocationKind kind, std::ostream *out)
{
    *out << LocationName(kind);
}

/// The URI of database on the server of the tests' base URI.
std::string DatabaseUri(const std::string &baseUri, const std::string &database);

class TLocation {
public:
    explicit TLocation(TLocationKind kind, bool withSchema = true);
    ~TLocation();
    TLocation(const TLocation &) = delete;
    TLocation &operator=(const TLocation &) = delete;

    bool IsServer() const { return FKind == TLocationKind::Server; }
    /// The folder, or the database's URI.
    const std::string &Path() const { return IsServer() ? FUri : FFolder->Path(); }
    /// The path of the dataset name: "folder/name" or "URI#name".
    std::string operator/(std::string_view name) const;
    /// Runs SQL on the database; its first value, or "ERROR: ..." (server only).
    std::string Sql(const std::string &sql) const;

private:
    TLocationKind FKind;
    TTempFolder *FFolder = nullptr;
    std::string FDatabase;
    std::string FUri;
};

/// Runs SQL on the database at uri with a connection of its own; the first
/// value of its last result, or "ERROR: " and the server's message.
std::string RunSql(const std::string &uri, const std::string &sql);

} // namespace vbistest
