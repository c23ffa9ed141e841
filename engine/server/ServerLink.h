// The connection of a process to one board server: one kept PGconn per URI,
// made again when it broke, and statements run with a bounded wait.
//
// A call never waits longer than kConnectTimeoutSeconds to connect and
// kCallTimeoutMillis for an answer; a server that is gone, stopped or
// restarted gives a code, never a hang or a crash, and the next call connects
// afresh. A kept connection that the server closed between two calls (a
// restart) is noticed before anything is sent on it, so no statement is ever
// sent twice.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace vbis::server {

constexpr int kConnectTimeoutSeconds = 5;
/// The longest a call waits for the server's answer to one statement.
constexpr int kCallTimeoutMillis = 10000;
/// What the server itself allows a statement, and a lock wait, before it
/// gives up: within the call's own wait.
constexpr int kStatementTimeoutMillis = 8000;
constexpr int kLockTimeoutMillis = 5000;
/// After a failed connect, calls answer "unreachable" at once for this long,
/// so that the calls of one refresh wait for one connect time-out at most.
constexpr int kReconnectPauseMillis = 1000;
/// How many times a statement that met a serialization failure or a deadlock
/// runs before the call answers busy.
constexpr int kBusyAttempts = 4;

/// A statement's result, freed when it goes.
class TResult {
public:
    TResult() = default;
    explicit TResult(pg_result *r) : FResult(r) {}
    ~TResult();
    TResult(TResult &&other) noexcept : FResult(other.FResult) { other.FResult = nullptr; }
    TResult &operator=(TResult &&other) noexcept;
    TResult(const TResult &) = delete;
    TResult &operator=(const TResult &) = delete;

    int Rows() const;
    /// The bytes of a column in a row (binary results).
    std::string_view Bytes(int row, int column) const;
    /// A 16-bit, 32-bit or 64-bit integer column, read from its binary form.
    int64_t Integer(int row, int column) const;
    pg_result *Get() const { return FResult; }

private:
    pg_result *FResult = nullptr;
};

/// The parameters of one statement, all sent in binary form.
class TParams {
public:
    /// A bytea or text value: its bytes.
    TParams &Bytes(std::string_view bytes);
    /// A smallint value.
    TParams &Int2(int64_t value);

    int Count() const { return int(FValues.size()); }
    std::vector<const char *> Values() const;
    const int *Lengths() const { return FLengths.data(); }
    const int *Formats() const { return FFormats.data(); }

private:
    std::vector<std::string> FValues;
    std::vector<int> FLengths;
    std::vector<int> FFormats;
};

class TLink {
public:
    /// The process's link to the server at uri, made at its first use.
    static std::shared_ptr<TLink> For(const std::string &uri);
    /// Closes every link (when the engine is unloaded).
    static void CloseAll();

    ~TLink();
    TLink(const TLink &) = delete;
    TLink &operator=(const TLink &) = delete;

    /// Runs one statement (with binary results), connecting first when
    /// needed; a serialization failure or deadlock runs it again, up to
    /// kBusyAttempts times. An engine code; on success out holds the result.
    /// The SQLSTATE of a failed statement goes to state when given. A read
    /// (repeatable) lost with a connection kept from before runs once more
    /// on a new one.
    int16_t Run(const std::string &sql, const TParams &params, TResult &out, std::string *state = nullptr,
                bool repeatable = false);
    /// Runs a text of several statements without parameters, as one
    /// transaction; an engine code and the SQLSTATE of a failure.
    int16_t RunScript(const std::string &sql, std::string *state = nullptr);

private:
    explicit TLink(std::string uri);

    int16_t Ready(bool &fresh);
    int16_t Connect();
    int16_t CheckSchema();
    void Drop();
    int16_t Send(const std::string &sql, const TParams *params, TResult &out, std::string *state);
    int16_t Await(TResult &out, std::string *state);

    std::string FUri;
    pg_conn *FConn = nullptr;
    int FPid = 0; ///< the process that connected: a child never uses its parent's
    bool FSchemaGood = false;
    std::chrono::steady_clock::time_point FConnectAgain{}; ///< no connect before then
    std::mutex FLock;                                      ///< one call at a time on the connection
};

/// The engine code for a failed statement's SQLSTATE.
int16_t CodeOfState(std::string_view state);

} // namespace vbis::server
