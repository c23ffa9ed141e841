// Loading the settings block, which the program does at every start, every
// settings command, every holiday or out-of-office command and every
// department catalogue operation. The baseline reads and parses the same
// file and does nothing else: the least any load must do.
#include "config/KivCB.h"
#include "platform/SettingsStore.h"

#include "bench/BenchRatios.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using namespace benchsupport;

constexpr int kLoads = 100;

// A configuration folder of the run's own, holding the settings file as the
// first load on a workstation leaves it: every value at its default.
class TBenchHome {
public:
    TBenchHome()
    {
        setenv("XDG_CONFIG_HOME", Own.Path.c_str(), 1);
        TKivSettings settings;
        TKivCB().ReadSettings(settings);
    }
    TBenchFolder Own;
    std::string SettingsFile() const { return Own.Path + "/Brackwater/Kiv.conf"; }
};

TBenchHome &Home()
{
    static TBenchHome home;
    return home;
}

void BM_Kiv_Load100(benchmark::State &state)
{
    Home();
    TKivSettings settings;
    for (auto _ : state) {
        for (int i = 0; i < kLoads; ++i)
            TKivCB().ReadSettings(settings);
        benchmark::DoNotOptimize(settings.MainHeight);
    }
}
BENCHMARK(BM_Kiv_Load100)->Unit(benchmark::kMicrosecond);

void BM_Raw_Load100(benchmark::State &state)
{
    const std::string path = Home().SettingsFile();
    std::string bytes;
    for (auto _ : state) {
        for (int i = 0; i < kLoads; ++i) {
            bytes.clear();
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) {
                state.SkipWithError("cannot open the settings file");
                return;
            }
            char buffer[4096];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0)
                bytes.append(buffer, std::size_t(n));
            close(fd);
            const TStoreContent content = ParseStoreText(bytes);
            benchmark::DoNotOptimize(content.Values.data());
        }
    }
}
BENCHMARK(BM_Raw_Load100)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return benchsupport::RunWithRatios(argc, argv);
}
