#include "engine/server/ServerLink.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <libpq-fe.h>
#include <map>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "ServerSchema.h"
#include "vbis/Vbis4032.h"

namespace vbis::server {

namespace {

using TClock = std::chrono::steady_clock;

struct TLinks {
    std::mutex Lock;
    std::map<std::string, std::shared_ptr<TLink>> ByUri;
};

// Never destroyed: the engine's unload hook empties it.
TLinks &Links()
{
    static TLinks *links = new TLinks;
    return *links;
}

bool BusyState(std::string_view state)
{
    return state == "40001" || state == "40P01";
}

// Waits until the socket is ready for events or the deadline passes.
bool WaitFor(int socket, short events, TClock::time_point deadline)
{
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{socket, events, 0};
        const int n = ::poll(&p, 1, int(left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

TResult::~TResult()
{
    PQclear(FResult);
}

TResult &TResult::operator=(TResult &&other) noexcept
{
    if (this != &other) {
        PQclear(FResult);
        FResult = other.FResult;
        other.FResult = nullptr;
    }
    return *this;
}

int TResult::Rows() const
{
    return FResult == nullptr ? 0 : PQntuples(FResult);
}

std::string_view TResult::Bytes(int row, int column) const
{
    return std::string_view(PQgetvalue(FResult, row, column), std::size_t(PQgetlength(FResult, row, column)));
}

int64_t TResult::Integer(int row, int column) const
{
    const std::string_view bytes = Bytes(row, column);
    int64_t value = 0;
    for (unsigned char c : bytes)
        value = (value << 8) | c;
    // Sign-extend from the width the server sent.
    const int bits = int(bytes.size()) * 8;
    if (bits > 0 && bits < 64 && (value >> (bits - 1)) & 1)
        value -= int64_t(1) << bits;
    return value;
}

TParams &TParams::Bytes(std::string_view bytes)
{
    FValues.emplace_back(bytes);
    FLengths.push_back(int(bytes.size()));
    FFormats.push_back(1);
    return *this;
}

TParams &TParams::Int2(int64_t value)
{
    const uint16_t network = htons(uint16_t(int16_t(value)));
    return Bytes(std::string_view(reinterpret_cast<const char *>(&network), sizeof network));
}

std::vector<const char *> TParams::Values() const
{
    std::vector<const char *> values;
    for (const std::string &v : FValues)
        values.push_back(v.data());
    return values;
}

int16_t CodeOfState(std::string_view state)
{
    if (BusyState(state) || state == "55P03" || state == "57014")
        return int16_t(kivserver::kCodeBusy);
    if (state == "23505")
        return VBIS_UPDATE_MODE;
    if (state == "53100")
        return VBIS_DISK_FULL;
    if (state == "53200")
        return VBIS_NO_MEMORY;
    if (state == "53300")
        return VBIS_NO_HANDLES;
    if (state == "42501")
        return VBIS_UPDATE_MODE; // not allowed to change it
    if (state == "3F000")
        return int16_t(kivserver::kCodeNoSchema);
    // A dataset whose table or columns are not what its definition says.
    if (state.substr(0, 2) == "42" || state.substr(0, 2) == "22" || state.substr(0, 2) == "XX")
        return VBIS_CORRUPTED;
    return int16_t(kivserver::kCodeUnreachable); // the connection, the server's own failures
}

std::shared_ptr<TLink> TLink::For(const std::string &uri)
{
    TLinks &links = Links();
    std::lock_guard<std::mutex> guard(links.Lock);
    std::shared_ptr<TLink> &link = links.ByUri[uri];
    if (!link)
        link.reset(new TLink(uri));
    return link;
}

void TLink::CloseAll()
{
    TLinks &links = Links();
    std::map<std::string, std::shared_ptr<TLink>> all;
    {
        std::lock_guard<std::mutex> guard(links.Lock);
        all.swap(links.ByUri);
    }
}

TLink::TLink(std::string uri) : FUri(std::move(uri)) {}

TLink::~TLink()
{
    Drop();
}

void TLink::Drop()
{
    // A child process leaves its parent's connection alone: closing it would
    // end the parent's session on the server.
    if (FConn != nullptr && FPid == int(::getpid()))
        PQfinish(FConn);
    FConn = nullptr;
    FSchemaGood = false;
}

int16_t TLink::Connect()
{
    // Kiv's bounds first: whatever the URI says itself overrides them.
    const std::string timeout = std::to_string(kConnectTimeoutSeconds);
    const std::string options = "-c statement_timeout=" + std::to_string(kStatementTimeoutMillis) + " -c lock_timeout="
                                + std::to_string(kLockTimeoutMillis) + " -c idle_in_transaction_session_timeout="
                                + std::to_string(kCallTimeoutMillis)
                                // A board's tables are small and stay in the
                                // server's cache: a walk's seek from its place
                                // is an index scan, not a sort of the rest.
                                + " -c random_page_cost=1.1";
    const std::string userTimeout = std::to_string(kCallTimeoutMillis);
    const char *keywords[] = {"connect_timeout",  "keepalives",
                              "keepalives_idle",  "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout",
                              "options",          "fallback_application_name",
                              "dbname",           nullptr};
    const char *values[] = {timeout.c_str(), "1",   "10",         "5",    "2", userTimeout.c_str(),
                            options.c_str(), "kiv", FUri.c_str(), nullptr};
    FConn = PQconnectdbParams(keywords, values, 1);
    FPid = int(::getpid());
    if (FConn == nullptr)
        return VBIS_NO_MEMORY;
    if (PQstatus(FConn) != CONNECTION_OK || PQsetnonblocking(FConn, 1) != 0) {
        Drop();
        return int16_t(kivserver::kCodeUnreachable);
    }
    return VBIS_OK;
}

int16_t TLink::CheckSchema()
{
    TResult result;
    std::string state;
    const int16_t code = Send("SELECT value FROM kiv.meta WHERE key = 'schema_version'", nullptr, result, &state);
    if (code != VBIS_OK)
        return state == "42P01" || state == "3F000" ? int16_t(kivserver::kCodeNoSchema) : code;
    if (result.Rows() != 1)
        return int16_t(kivserver::kCodeNoSchema);
    const std::string version(result.Bytes(0, 0));
    if (version.empty() || version.size() > 9 || version.find_first_not_of("0123456789") != std::string::npos)
        return int16_t(kivserver::kCodeNoSchema);
    if (std::stoi(version) > kivserver::kSchemaVersion)
        return int16_t(kivserver::kCodeNewerSchema);
    FSchemaGood = true;
    return VBIS_OK;
}

int16_t TLink::Ready(bool &fresh)
{
    for (bool again = false;; again = true) {
        if (FConn != nullptr && FPid != int(::getpid()))
            Drop();
        if (FConn != nullptr) {
            // A connection the server closed between calls (a restart, an idle
            // cut) has something to read while nothing was asked (the server's
            // farewell, then the end): it is made again before anything is sent
            // on it.
            bool stale = PQstatus(FConn) != CONNECTION_OK || PQtransactionStatus(FConn) != PQTRANS_IDLE;
            for (int reads = 0; !stale && reads < 16; ++reads) {
                pollfd p{PQsocket(FConn), POLLIN, 0};
                if (::poll(&p, 1, 0) <= 0)
                    break;
                stale = PQconsumeInput(FConn) == 0 || PQstatus(FConn) != CONNECTION_OK;
            }
            if (stale)
                Drop();
        }
        fresh = FConn == nullptr;
        if (FConn == nullptr) {
            if (TClock::now() < FConnectAgain)
                return int16_t(kivserver::kCodeUnreachable);
            const int16_t code = Connect();
            if (code != VBIS_OK) {
                FConnectAgain = TClock::now() + std::chrono::milliseconds(kReconnectPauseMillis);
                return code;
            }
        }
        // Checked once per connection; a database that had no schema is asked
        // again at each call, so that setting it up needs no restart of Kiv.
        if (FSchemaGood)
            return VBIS_OK;
        const int16_t code = CheckSchema();
        // A kept connection whose server was ending it as the check began
        // (its farewell on the way, its end not yet seen) was dropped by the
        // check: the check is asked once of a new connection.
        if (code != kivserver::kCodeUnreachable || fresh || FConn != nullptr || again)
            return code;
    }
}

int16_t TLink::Await(TResult &out, std::string *state)
{
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(kCallTimeoutMillis);
    const int socket = PQsocket(FConn);
    // The statement out first (the connection does not block), then its answer.
    int flushed;
    while ((flushed = PQflush(FConn)) == 1)
        if (!WaitFor(socket, POLLIN | POLLOUT, deadline) || PQconsumeInput(FConn) == 0)
            return -1;
    if (flushed < 0)
        return -1;
    while (PQisBusy(FConn)) {
        if (!WaitFor(socket, POLLIN, deadline) || PQconsumeInput(FConn) == 0)
            return -1;
    }
    // Every result up to the end: the first failure counts, else the last result.
    int16_t code = VBIS_OK;
    while (PGresult *r = PQgetResult(FConn)) {
        TResult result(r);
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            if (code == VBIS_OK)
                out = std::move(result);
        } else if (code == VBIS_OK) {
            const char *sqlstate = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            const std::string_view s = sqlstate == nullptr ? std::string_view() : std::string_view(sqlstate);
            if (state != nullptr)
                *state = std::string(s);
            code = s.empty() ? int16_t(kivserver::kCodeUnreachable) : CodeOfState(s);
        }
        while (PQisBusy(FConn))
            if (!WaitFor(socket, POLLIN, deadline) || PQconsumeInput(FConn) == 0)
                return -1;
    }
    return code;
}

int16_t TLink::Send(const std::string &sql, const TParams *params, TResult &out, std::string *state)
{
    int sent;
    if (params == nullptr) {
        sent = PQsendQueryParams(FConn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 1);
    } else {
        const std::vector<const char *> values = params->Values();
        sent = PQsendQueryParams(FConn, sql.c_str(), params->Count(), nullptr, values.data(), params->Lengths(),
                                 params->Formats(), 1);
    }
    const int16_t code = sent == 1 ? Await(out, state) : int16_t(-1);
    if (code == -1 || PQstatus(FConn) != CONNECTION_OK) {
        // Lost, or no answer in time: the connection is given up; the server
        // ends the statement itself at its own time-out.
        Drop();
        return int16_t(kivserver::kCodeUnreachable);
    }
    return code;
}

int16_t TLink::Run(const std::string &sql, const TParams &params, TResult &out, std::string *state, bool repeatable)
{
    std::lock_guard<std::mutex> guard(FLock);
    bool repeated = false;
    for (int attempt = 1;; ++attempt) {
        bool fresh = false;
        int16_t code = Ready(fresh);
        if (code != VBIS_OK)
            return code;
        std::string failed;
        code = Send(sql, &params, out, &failed);
        if (state != nullptr)
            *state = failed;
        // A kept connection that died just as the call began: a read is
        // asked again of a new one (a write is not: it may have committed).
        const bool lost = failed.empty() || failed.substr(0, 3) == "57P" || failed.substr(0, 2) == "08";
        if (code == kivserver::kCodeUnreachable && lost && repeatable && !fresh && !repeated) {
            repeated = true;
            continue;
        }
        if (!BusyState(failed) || attempt >= kBusyAttempts)
            return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(5 << attempt));
    }
}

int16_t TLink::RunScript(const std::string &sql, std::string *state)
{
    std::lock_guard<std::mutex> guard(FLock);
    bool fresh = false;
    int16_t code = Ready(fresh);
    if (code != VBIS_OK)
        return code;
    if (PQsendQuery(FConn, sql.c_str()) != 1) {
        Drop();
        return int16_t(kivserver::kCodeUnreachable);
    }
    TResult last;
    code = Await(last, state);
    if (code == -1 || PQstatus(FConn) != CONNECTION_OK) {
        Drop();
        return int16_t(kivserver::kCodeUnreachable);
    }
    return code;
}

} // namespace vbis::server
