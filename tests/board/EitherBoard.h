// A board of either kind for one test: a folder of its own, or a database of
// its own on the tests' PostgreSQL cluster. Tests that must hold on both are
// value-parametrized on TBoardKind and instantiated with BothBoardKinds.
#pragma once

#include "board/BoardLocation.h"
#include "tests/board/ServerTesting.h"
#include "tests/storage/TestFolder.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

enum class TBoardKind { Folder, Server };

class TEitherBoard {
public:
    explicit TEitherBoard(TBoardKind kind)
    {
        if (kind == TBoardKind::Server)
            FDatabase = std::make_unique<TTestDatabase>();
        Location = FDatabase ? FDatabase->Uri : FFolder.Path();
    }
    /// The lines of an activity log as the board holds them; none when it
    /// was never written.
    std::vector<std::string> Log(TActivityLog log) const
    {
        std::vector<std::string> lines;
        MakeBoardLocation(Location)->ReadLog(log, [&](const std::string &line) { lines.push_back(line); });
        return lines;
    }
    /// The folder of a folder board (a scratch folder beside a server board).
    const TTestFolder &Folder() const { return FFolder; }

    std::string Location; ///< the folder's path or the database's URI

private:
    TTestFolder FFolder;
    std::unique_ptr<TTestDatabase> FDatabase;
};

/// How a test's parameter is named in ctest's listing.
inline void PrintTo(TBoardKind kind, std::ostream *out)
{
    *out << (kind == TBoardKind::Folder ? "a folder board" : "a server board");
}

inline std::string BoardKindName(const ::testing::TestParamInfo<TBoardKind> &info)
{
    return info.param == TBoardKind::Folder ? "Folder" : "Server";
}

#define KIV_ON_BOTH_BOARD_KINDS(suite)                                                                                 \
    INSTANTIATE_TEST_SUITE_P(On, suite, ::testing::Values(TBoardKind::Folder, TBoardKind::Server), BoardKindName)
