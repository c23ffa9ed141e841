#include "kit/Location.h"

#include <atomic>
#include <cstdlib>
#include <libpq-fe.h>
#include <unistd.h>

#include "ServerSchema.h"

namespace vbistest {

std::string LocationName(TLocationKind kind)
{
    return kind == TLocationKind::Server ? "Server" : "Folder";
}

std::string DatabaseUri(const std::string &baseUri, const std::string &database)
{
    const std::size_t scheme = baseUri.find("://");
    const std::size_t slash = baseUri.find('/', scheme + 3);
    const std::size_t query = baseUri.find('?', scheme + 3);
    const std::string head = baseUri.substr(0, slash == std::string::npos ? query : slash);
    return head + "/" + database + (query == std::string::npos ? "" : baseUri.substr(query));
}

std::string RunSql(const std::string &uri, const std::string &sql)
{
    PGconn *conn = PQconnectdb(uri.c_str());
    std::string answer;
    if (PQstatus(conn) != CONNECTION_OK) {
        answer = std::string("ERROR: ") + PQerrorMessage(conn);
    } else {
        PGresult *r = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
            answer = std::string("ERROR: ") + PQresultErrorMessage(r);
        else if (PQntuples(r) > 0 && PQnfields(r) > 0)
            answer = PQgetvalue(r, 0, 0);
        PQclear(r);
    }
    PQfinish(conn);
    return answer;
}

TLocation::TLocation(TLocationKind kind, bool withSchema) : FKind(kind)
{
    if (!IsServer()) {
        FFolder = new TTempFolder;
        return;
    }
    const char *base = std::getenv("KIV_TEST_PG_URI");
    if (base == nullptr || *base == 0) {
        std::fprintf(stderr, "KIV_TEST_PG_URI is not set: the test needs the pg_cluster fixture\n");
        std::abort();
    }
    static std::atomic<int> serial{0};
    FDatabase = "kivt_" + std::to_string(::getpid()) + "_" + std::to_string(++serial);
    const std::string made = RunSql(base, "CREATE DATABASE " + FDatabase);
    if (made.rfind("ERROR", 0) == 0) {
        std::fprintf(stderr, "%s\n", made.c_str());
        std::abort();
    }
    FUri = DatabaseUri(base, FDatabase);
    if (withSchema && !Sql(kivserver::kBaseSchemaSql).empty())
        std::abort();
}

TLocation::~TLocation()
{
    delete FFolder;
    if (IsServer()) {
        const char *base = std::getenv("KIV_TEST_PG_URI");
        RunSql(base, "DROP DATABASE IF EXISTS " + FDatabase + " WITH (FORCE)");
    }
}

std::string TLocation::operator/(std::string_view name) const
{
    return IsServer() ? kivserver::DatasetPath(FUri, name) : *FFolder / name;
}

std::string TLocation::Sql(const std::string &sql) const
{
    return RunSql(FUri, sql);
}

} // namespace vbistest
