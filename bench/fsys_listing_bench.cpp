// orvikfsys listing costs, beside the bare `ls` command line the browser runs: the listing of
// a folder and its first page (also measured in turns with ls), Forward on page 2 and on page 1000 (a seek into the listing
// file, not a re-read), and the browser's own peak memory (the ls child not counted).
//
// The folders are made once under $ORVIK_BENCH_DIR (default /tmp/orvik-fsys-bench).
#include "orvikfsys.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int nPageRows = 18;  /* an 80x24 terminal */

std::string BenchDir()
{
    const char *pszDir = std::getenv("ORVIK_BENCH_DIR");
    return pszDir != nullptr ? pszDir : "/tmp/orvik-fsys-bench";
}

/* "<dir>/<n>/" holding n empty files. */
std::string Folder(int nEntries)
{
    std::string sFolder = BenchDir() + "/" + std::to_string(nEntries) + "/";
    std::filesystem::create_directories(sFolder);
    std::string sLast = sFolder + "entry-" + std::to_string(nEntries - 1);
    if (access(sLast.c_str(), F_OK) != 0) {
        for (int i = 0; i < nEntries; ++i) {
            int fd = open((sFolder + "entry-" + std::to_string(i)).c_str(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0) close(fd);
        }
    }
    return sFolder;
}

void SetUpBrowser(const std::string &sFolder)
{
    nMyPid = static_cast<int>(getpid());
    std::snprintf(szTempFile, sizeof szTempFile, "/tmp/Orvikfsys.%d.%d.Temp.txt", nMyPid, 0);
    std::snprintf(szErrorFile, sizeof szErrorFile, "/tmp/Orvikfsys.%d.%d.Error.txt", nMyPid, 0);
    nMaxPanelRows = nPageRows;
    sFolderView.Start(sFolder.c_str());
}

void CleanUp()
{
    std::remove(szTempFile);
    std::remove(szErrorFile);
}

long PeakKilobytes(int nWho)
{
    struct rusage sUsage {};
    getrusage(nWho, &sUsage);
    return sUsage.ru_maxrss;
}

void BareLs(benchmark::State &state)
{
    const std::string sFolder = Folder(static_cast<int>(state.range(0)));
    const std::string sLine = "ls -lpah --time-style=+%D-%H:%M " + sFolder +
                              " > /tmp/orvik-fsys-bench.out 2>/tmp/orvik-fsys-bench.err";
    for (auto _ : state)
        if (std::system(sLine.c_str()) != 0) state.SkipWithError("ls failed");
    state.counters["ls_peak_kB"] = static_cast<double>(PeakKilobytes(RUSAGE_CHILDREN));
    std::remove("/tmp/orvik-fsys-bench.out");
    std::remove("/tmp/orvik-fsys-bench.err");
}

/* The listing command and the first page, as a new folder's first pass does them. */
void FirstPage(benchmark::State &state)
{
    SetUpBrowser(Folder(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        ulABAttibute = 0;
        if (Get_Directory_Data() != OVRC_OK || Get_Panel_Data() != OVRC_OK)
            state.SkipWithError("listing failed");
        benchmark::DoNotOptimize(asPageRow.size());
    }
    state.counters["self_peak_kB"] = static_cast<double>(PeakKilobytes(RUSAGE_SELF));
    CleanUp();
}

double Median(std::vector<double> adValue)
{
    std::sort(adValue.begin(), adValue.end());
    return adValue.empty() ? 0 : adValue[adValue.size() / 2];
}

/* The bare ls and the browser's first page in turns, so that both meet the same load on a
   shared machine; the ratio is that of the medians. The time shown is the browser's. */
void FirstPageBesideLs(benchmark::State &state)
{
    const std::string sFolder = Folder(static_cast<int>(state.range(0)));
    SetUpBrowser(sFolder);
    const std::string sLine = "ls -lpah --time-style=+%D-%H:%M " + sFolder +
                              " > /tmp/orvik-fsys-bench.out 2>/tmp/orvik-fsys-bench.err";
    std::vector<double> adLs, adBrowser;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        auto tStart = Clock::now();
        if (std::system(sLine.c_str()) != 0) state.SkipWithError("ls failed");
        auto tLs = Clock::now();
        ulABAttibute = 0;
        if (Get_Directory_Data() != OVRC_OK || Get_Panel_Data() != OVRC_OK)
            state.SkipWithError("listing failed");
        auto tBrowser = Clock::now();
        adLs.push_back(std::chrono::duration<double, std::milli>(tLs - tStart).count());
        adBrowser.push_back(std::chrono::duration<double, std::milli>(tBrowser - tLs).count());
        state.SetIterationTime(std::chrono::duration<double>(tBrowser - tLs).count());
    }
    state.counters["ls_ms"] = Median(adLs);
    state.counters["browser_ms"] = Median(adBrowser);
    state.counters["ratio"] = Median(adBrowser) / Median(adLs);
    std::remove("/tmp/orvik-fsys-bench.out");
    std::remove("/tmp/orvik-fsys-bench.err");
    CleanUp();
}

/* Forward onto page n of the 100,000-entry folder. */
void Forward(benchmark::State &state)
{
    SetUpBrowser(Folder(100000));
    if (Get_Directory_Data() != OVRC_OK) state.SkipWithError("listing failed");
    for (int nPage = 1; nPage < state.range(0); ++nPage) {
        Get_Panel_Data();
        sFolderView.Forward(sPage.fNext);
    }
    const std::int64_t fPage = sFolderView.PageStart();
    for (auto _ : state) {
        if (Get_Panel_Data() != OVRC_OK || static_cast<int>(asPageRow.size()) != nPageRows)
            state.SkipWithError("page failed");
    }
    state.counters["offset_bytes"] = static_cast<double>(fPage);
    CleanUp();
}

}  // namespace

BENCHMARK(BareLs)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(FirstPage)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(FirstPageBesideLs)->Arg(1000)->Arg(100000)->Iterations(15)->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Forward)->Arg(2)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
