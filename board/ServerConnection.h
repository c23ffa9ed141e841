// One connection to a board server, kept from one call to the next and made
// again when it broke. Nothing here waits without bound: connecting and
// every statement end within a time-out, after which the server counts as
// unreachable and the connection is dropped, to be made again at the next
// call. Texts travel as single bytes (the client encoding is LATIN1), so
// every byte a record holds comes back as it went.
#pragma once

#include "platform/KivError.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

/// What a connection waits for at most: connecting, and any one statement.
namespace ServerTimeout {
inline constexpr std::chrono::milliseconds Connect{3000};
inline constexpr std::chrono::milliseconds Statement{5000};
/// After a connection could not be made, how long calls fail at once with
/// the same message instead of trying again: a host that drops every packet
/// costs a front end the connect time-out once in this span, not at every
/// look.
inline constexpr std::chrono::milliseconds RetryAfter{15000};
} // namespace ServerTimeout

/// The server answered a statement with an error; SqlState is its code.
class EServerError : public EKivError {
public:
    EServerError(const std::string &message, std::string sqlState) : EKivError(message), SqlState(std::move(sqlState))
    {
    }
    std::string SqlState;
};

/// The rows a statement answered, as texts.
class TServerRows {
public:
    explicit TServerRows(pg_result *result);
    ~TServerRows();
    TServerRows(TServerRows &&other) noexcept;
    TServerRows(const TServerRows &) = delete;
    TServerRows &operator=(const TServerRows &) = delete;
    TServerRows &operator=(TServerRows &&) = delete;

    int Count() const;
    std::string Text(int row, int column) const;
    bool IsNull(int row, int column) const;

private:
    pg_result *FResult;
};

using TServerParams = std::vector<std::optional<std::string>>;

class TServerConnection {
public:
    /// A connection to uri, not made yet. onConnect runs on every new
    /// connection before its first statement (a LISTEN, a check of the
    /// schema); what it raises drops the connection and is raised.
    explicit TServerConnection(std::string uri, std::function<void(TServerConnection &)> onConnect = {},
                               std::chrono::milliseconds connectTimeout = ServerTimeout::Connect,
                               std::chrono::milliseconds statementTimeout = ServerTimeout::Statement);
    ~TServerConnection();
    TServerConnection(const TServerConnection &) = delete;
    TServerConnection &operator=(const TServerConnection &) = delete;

    /// Runs sql with params ($1, $2... as texts; nothing for NULL), making
    /// the connection first when there is none. Raises EKivError saying the
    /// server is unreachable when it cannot be reached or does not answer in
    /// time, and EServerError when it answers with an error.
    TServerRows Run(const std::string &sql, const TServerParams &params = {});
    /// Runs work between BEGIN and COMMIT; a failure rolls back and raises.
    void InTransaction(const std::function<void()> &work);

    /// Connects now when there is no connection; raises as Run does. Within
    /// ServerTimeout::RetryAfter of a failed attempt it raises that one's
    /// message again without trying.
    void Connect();
    bool Connected() const { return FConn != nullptr; }
    /// The connection's socket, to wait on for what the server pushes; -1
    /// while there is no connection.
    int Socket() const;
    /// Reads what the server has sent without waiting and answers the
    /// payloads of the notifications that came. A connection found broken
    /// is dropped (the socket then is -1).
    std::vector<std::string> TakeNotifications();
    /// Closes the connection; the next call makes a new one.
    void Drop();

    const std::string &Uri() const { return FUri; }

private:
    /// Makes the connection and runs onConnect, or raises.
    void Open();
    /// Waits until the socket is ready for events, or the deadline passes.
    bool WaitFor(short events, std::chrono::steady_clock::time_point deadline) const;
    [[noreturn]] void Unreachable(const std::string &why);
    TServerRows Send(const std::string &sql, const TServerParams &params);

    std::string FUri;
    std::function<void(TServerConnection &)> FOnConnect;
    std::chrono::milliseconds FConnectTimeout;
    std::chrono::milliseconds FStatementTimeout;
    pg_conn *FConn = nullptr;
    /// The last failed connect: when, and what it raised.
    std::chrono::steady_clock::time_point FFailedAt{};
    std::string FFailure;
};

/// The message a board server that cannot be reached gives, followed by why.
inline constexpr const char *kServerUnreachable = "Board server unreachable";
