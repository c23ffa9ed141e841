#include "board/ServerConnection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace {

using TClock = std::chrono::steady_clock;

/// The first line of a libpq message, without "FATAL:" and trailing blanks.
std::string FirstLine(const char *message)
{
    std::string text = message ? message : "";
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string Seconds(std::chrono::milliseconds span)
{
    const auto tenths = (span.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " seconds";
}

} // namespace

TServerRows::TServerRows(pg_result *result) : FResult(result) {}

TServerRows::~TServerRows()
{
    PQclear(FResult);
}

TServerRows::TServerRows(TServerRows &&other) noexcept : FResult(other.FResult)
{
    other.FResult = nullptr;
}

int TServerRows::Count() const
{
    return FResult ? PQntuples(FResult) : 0;
}

std::string TServerRows::Text(int row, int column) const
{
    return std::string(PQgetvalue(FResult, row, column), std::size_t(PQgetlength(FResult, row, column)));
}

bool TServerRows::IsNull(int row, int column) const
{
    return PQgetisnull(FResult, row, column) != 0;
}

TServerConnection::TServerConnection(std::string uri, std::function<void(TServerConnection &)> onConnect,
                                     std::chrono::milliseconds connectTimeout,
                                     std::chrono::milliseconds statementTimeout)
    : FUri(std::move(uri)), FOnConnect(std::move(onConnect)), FConnectTimeout(connectTimeout),
      FStatementTimeout(statementTimeout)
{
}

TServerConnection::~TServerConnection()
{
    Drop();
}

void TServerConnection::Drop()
{
    if (FConn)
        PQfinish(FConn);
    FConn = nullptr;
}

int TServerConnection::Socket() const
{
    return FConn ? PQsocket(FConn) : -1;
}

bool TServerConnection::WaitFor(short events, TClock::time_point deadline) const
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0)
            return false;
        pollfd watched{PQsocket(FConn), events, 0};
        const int ready = poll(&watched, 1, int(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

void TServerConnection::Unreachable(const std::string &why)
{
    Drop();
    throw EKivError(std::string(kServerUnreachable) + " - " + why);
}

void TServerConnection::Connect()
{
    if (FConn && PQstatus(FConn) == CONNECTION_OK)
        return;
    Drop();
    if (!FFailure.empty() && TClock::now() - FFailedAt < ServerTimeout::RetryAfter)
        throw EKivError(FFailure);
    try {
        Open();
        FFailure.clear();
    } catch (const EKivError &error) {
        FFailure = error.what();
        FFailedAt = TClock::now();
        throw;
    }
}

void TServerConnection::Open()
{
    // Ours come after the location's own, so that they hold: the location
    // cannot make Kiv wait without bound. Passwords come from libpq's own
    // password file or environment.
    const std::string connectSeconds = std::to_string(std::max<long>(1, long(FConnectTimeout.count() / 1000)));
    const std::string options = "-c statement_timeout=" + std::to_string(FStatementTimeout.count());
    const char *keys[] = {"dbname", "connect_timeout", "client_encoding", "options", "application_name", nullptr};
    const char *values[] = {FUri.c_str(), connectSeconds.c_str(), "LATIN1", options.c_str(), "kiv", nullptr};
    FConn = PQconnectStartParams(keys, values, 1);
    if (!FConn)
        Unreachable("out of memory");
    const TClock::time_point deadline = TClock::now() + FConnectTimeout;
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED || PQstatus(FConn) == CONNECTION_BAD) {
            const std::string why = FirstLine(PQerrorMessage(FConn));
            Drop();
            // A server that answered with a refusal was reached.
            if (why.find("FATAL:") != std::string::npos)
                throw EKivError("The board server refused the connection - " + why);
            throw EKivError(std::string(kServerUnreachable) + " - " + why);
        }
        if (!WaitFor(state == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline))
            Unreachable("no answer within " + Seconds(FConnectTimeout));
        state = PQconnectPoll(FConn);
    }
    if (FOnConnect) {
        try {
            FOnConnect(*this);
        } catch (...) {
            Drop();
            throw;
        }
    }
}

TServerRows TServerConnection::Run(const std::string &sql, const TServerParams &params)
{
    // A connection that broke since the last call is made again first.
    if (FConn && PQstatus(FConn) != CONNECTION_OK)
        Drop();
    Connect();
    return Send(sql, params);
}

TServerRows TServerConnection::Send(const std::string &sql, const TServerParams &params)
{
    std::vector<const char *> values;
    for (const std::optional<std::string> &param : params)
        values.push_back(param ? param->c_str() : nullptr);
    // Without parameters several statements may go in one text.
    const int sent = values.empty() ? PQsendQuery(FConn, sql.c_str())
                                    : PQsendQueryParams(FConn, sql.c_str(), int(values.size()), nullptr, values.data(),
                                                        nullptr, nullptr, 0);
    if (sent == 0)
        Unreachable(FirstLine(PQerrorMessage(FConn)));
    // The server's own statement time-out ends a slow statement; this one
    // ends the wait for a server that no longer answers at all.
    const TClock::time_point deadline = TClock::now() + FStatementTimeout + FConnectTimeout;
    int flushed;
    while ((flushed = PQflush(FConn)) == 1)
        if (!WaitFor(POLLOUT | POLLIN, deadline) || PQconsumeInput(FConn) == 0)
            Unreachable("no answer within " + Seconds(FStatementTimeout));
    if (flushed < 0)
        Unreachable(FirstLine(PQerrorMessage(FConn)));
    pg_result *kept = nullptr;
    pg_result *failed = nullptr;
    for (;;) {
        while (PQisBusy(FConn) != 0) {
            if (!WaitFor(POLLIN, deadline)) {
                PQclear(kept);
                PQclear(failed);
                Unreachable("no answer within " + Seconds(FStatementTimeout));
            }
            if (PQconsumeInput(FConn) == 0) {
                PQclear(kept);
                PQclear(failed);
                Unreachable(FirstLine(PQerrorMessage(FConn)));
            }
        }
        pg_result *result = PQgetResult(FConn);
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
            if (failed)
                PQclear(result);
            else
                failed = result;
        } else {
            PQclear(kept);
            kept = result;
        }
    }
    if (failed) {
        PQclear(kept);
        if (PQstatus(FConn) != CONNECTION_OK) {
            PQclear(failed);
            Unreachable(FirstLine(PQerrorMessage(FConn)));
        }
        const char *state = PQresultErrorField(failed, PG_DIAG_SQLSTATE);
        const std::string why = FirstLine(PQresultErrorField(failed, PG_DIAG_MESSAGE_PRIMARY));
        const std::string code = state ? state : "";
        PQclear(failed);
        throw EServerError("The board server refused - " + why, code);
    }
    return TServerRows(kept);
}

void TServerConnection::InTransaction(const std::function<void()> &work)
{
    Run("BEGIN");
    try {
        work();
        Run("COMMIT");
    } catch (...) {
        // A connection that broke has ended the transaction with it.
        if (Connected()) {
            try {
                Send("ROLLBACK", {});
            } catch (const EKivError &) {
                Drop();
            }
        }
        throw;
    }
}

std::vector<std::string> TServerConnection::TakeNotifications()
{
    std::vector<std::string> payloads;
    if (!FConn)
        return payloads;
    if (PQconsumeInput(FConn) == 0 || PQstatus(FConn) != CONNECTION_OK) {
        Drop();
        return payloads;
    }
    while (PGnotify *note = PQnotifies(FConn)) {
        payloads.emplace_back(note->extra ? note->extra : "");
        PQfreemem(note);
    }
    return payloads;
}
