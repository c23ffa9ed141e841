// A database of its own on the tests' PostgreSQL cluster (KIV_TEST_PG_URI),
// made for one test and dropped after it, so that tests run side by side.
#pragma once

#include "board/ServerBoard.h"
#include "board/ServerConnection.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>

class TTestDatabase {
public:
    /// Makes the database; with board, also the board schema in it.
    explicit TTestDatabase(bool board = true)
        : FName("kiv_t" + std::to_string(getpid()) + "_" + std::to_string(Counter()++)), FAdmin(ClusterUri())
    {
        FAdmin.Run("CREATE DATABASE " + FName);
        Uri = OtherDatabase(FName);
        if (board)
            InitServerBoard(Uri);
    }
    ~TTestDatabase()
    {
        try {
            FAdmin.Run("DROP DATABASE IF EXISTS " + FName + " WITH (FORCE)");
        } catch (const std::exception &) {
            // The cluster goes when the tests end.
        }
    }
    TTestDatabase(const TTestDatabase &) = delete;
    TTestDatabase &operator=(const TTestDatabase &) = delete;

    /// Runs sql in the test's database, as its owner.
    TServerRows Sql(const std::string &sql, const TServerParams &params = {})
    {
        TServerConnection connection(Uri);
        return connection.Run(sql, params);
    }
    /// Ends every other session on the test's database: a server restart, as
    /// its clients see it.
    void DropSessions()
    {
        FAdmin.Run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = $1"
                   " AND pid <> pg_backend_pid()",
                   {FName});
    }

    /// The cluster's URI with another database in it.
    static std::string OtherDatabase(const std::string &name)
    {
        std::string uri = ClusterUri();
        const std::size_t at = uri.find("/kiv?");
        if (at == std::string::npos)
            throw std::runtime_error("KIV_TEST_PG_URI does not name the database kiv");
        return uri.replace(at + 1, 3, name);
    }
    static std::string ClusterUri()
    {
        const char *uri = std::getenv("KIV_TEST_PG_URI");
        if (uri == nullptr || *uri == '\0')
            throw std::runtime_error("KIV_TEST_PG_URI is not set: run the test through ctest");
        return uri;
    }

    std::string Uri;

private:
    static std::atomic<int> &Counter()
    {
        static std::atomic<int> counter{0};
        return counter;
    }
    std::string FName;
    TServerConnection FAdmin;
};
