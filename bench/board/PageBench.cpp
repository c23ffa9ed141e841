// The board page of a reception screen, on a board of 1,000 users: writing it
// after the minute shown moved on (a refill, the page made, a new file put in
// place) beside the board fill alone, which every refresh pays anyway; and a
// tick with nothing new, which must write nothing. The ratio printed is the
// page's time over the fill's.
#include "board/BoardPage.h"
#include "board/KivFile.h"
#include "platform/Clock.h"

#include "bench/board/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <sys/stat.h>

namespace {

using namespace benchsupport;

constexpr int kUsers = 1000;

/// A clock the benchmark moves on by a minute at a time.
class TStepClock : public IClock {
public:
    std::time_t Now() const override { return Moment; }
    std::time_t Moment = std::time(nullptr);
};

/// One workstation on a board of kUsers, with the page's place beside it.
struct TPageBoard {
    TPageBoard()
    {
        FillUsersDataset(Folder.Path, kUsers, [](int n) { return StaffRecord(n, "USER" + std::to_string(n)); });
    }
    TBenchFolder Folder;
    TBenchFolder Out;
    TQuietWindows Ws;
    TStepClock Clock;
    TBoardContext Ctx{Ws.Session, Ws.Prompter, Ws.App, Ws.Host, Clock};
    std::string Page = Out.Path + "/board.html";
};

// The page written anew: the minute shown has moved on.
void BM_Page_Written(benchmark::State &state)
{
    TPageBoard board;
    TKivFile kiv(board.Folder.Path, board.Ctx, "VIEWER");
    TPagePublisher publisher;
    const TPageLook look;
    TTripMeter meter;
    for (auto _ : state) {
        board.Clock.Moment += 60;
        if (!publisher.Publish(kiv, look, board.Page))
            state.SkipWithError("the page was not written");
    }
    meter.Report(state);
    struct stat st {};
    stat(board.Page.c_str(), &st);
    state.counters["page_bytes"] = double(st.st_size);
}
BENCHMARK(BM_Page_Written)->Unit(benchmark::kMicrosecond);

// The fill alone, every user read, as the page's fill reads them.
void BM_Fill_Written(benchmark::State &state)
{
    TPageBoard board;
    TKivFile kiv(board.Folder.Path, board.Ctx, "VIEWER");
    board.Ws.Session.ShowOffline = true;
    TNoOpBoardList rows;
    TTripMeter meter;
    for (auto _ : state)
        kiv.FillBoard(rows);
    meter.Report(state);
    if (rows.Rows != kUsers)
        state.SkipWithError("the fill did not list every user");
}
BENCHMARK(BM_Fill_Written)->Unit(benchmark::kMicrosecond);

// A tick with nothing new: one file age, and the page is left alone.
void BM_Page_Unchanged(benchmark::State &state)
{
    TPageBoard board;
    TKivFile kiv(board.Folder.Path, board.Ctx, "VIEWER");
    TPagePublisher publisher;
    const TPageLook look;
    publisher.Publish(kiv, look, board.Page);
    struct stat before {};
    stat(board.Page.c_str(), &before);
    TTripMeter meter;
    for (auto _ : state)
        if (publisher.Publish(kiv, look, board.Page))
            state.SkipWithError("the page was written with nothing new");
    meter.Report(state);
    struct stat after {};
    stat(board.Page.c_str(), &after);
    if (after.st_ino != before.st_ino)
        state.SkipWithError("the page file was replaced with nothing new");
}
BENCHMARK(BM_Page_Unchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return benchsupport::RunWithRatios(argc, argv, "BM_Page_", "BM_Fill_");
}
