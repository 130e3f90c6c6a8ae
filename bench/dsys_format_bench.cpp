// orvikdsys: formatting the largest output the display accepts, and the time from start to
// the first page of -cpu beside lscpu alone and beside the program's own part (the first
// page of -umemory less its cat /proc/meminfo).
//
// The program is taken from the folder of this benchmark (build/bin). It runs in a pseudo-
// terminal of 80x24 with a private ORVIKDIR and log file; the first page counts as shown
// when the action bar's last button has been written.
#include "orvikdsys.h"

#include <benchmark/benchmark.h>

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// lshw-like text of exactly nSize characters: node lines and key-value lines.
std::string LshwLikeText(std::size_t nSize) {
  std::string sText;
  for (int i = 0; sText.size() < nSize; i++) {
    sText += i % 12 == 0 ? "  *-network:" + std::to_string(i / 12) + "\n"
                         : "       configuration: autonegotiation=on broadcast=yes driver=e1000e "
                           "latency=" + std::to_string(i) + "\n";
  }
  sText.resize(nSize);
  return sText;
}

void BM_FormatLargestOutput(benchmark::State &state) {
  const std::string sText = LshwLikeText(DSYSOUTPUTSIZE - 1);
  OVCopyText(szClass, sizeof szClass, "network");
  int nEntries = 0;
  for (auto _ : state) {
    WINTEXTINFO sInfo{};
    sInfo.pszText = sText.c_str();
    FormatDataLines(&sInfo);
    nEntries = sInfo.nEntries;
    benchmark::DoNotOptimize(sInfo.sTitles.pachText);
    FreeWinTextInfoStorage(&sInfo);
  }
  state.counters["entries"] = nEntries;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(sText.size()));
}
BENCHMARK(BM_FormatLargestOutput)->Unit(benchmark::kMillisecond);

std::string ProgramPath(const char *pszName) {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / pszName).string();
}

// One private folder for every run of the process, made by the parent before any fork and
// removed when the benchmark ends.
struct PrivateFolder {
  std::string sDir;
  PrivateFolder() {
    char szTemplate[] = "/tmp/orvik-dsys-bench-XXXXXX";
    if (mkdtemp(szTemplate) == nullptr) std::abort();
    sDir = szTemplate;
  }
  ~PrivateFolder() {
    std::error_code ec;
    std::filesystem::remove_all(sDir, ec);
  }
};

const std::string &PrivateDirectory() {
  static PrivateFolder sFolder;
  return sFolder.sDir;
}

// Starts the program in an 80x24 pseudo-terminal and reads its screen output until sUntil
// appears (or, with sUntil empty, until it ends). False when it could not run.
bool RunInTerminal(const std::vector<std::string> &asArgs, const std::string &sUntil) {
  struct winsize sSize {};
  sSize.ws_row = 24;
  sSize.ws_col = 80;
  const std::string sDir = PrivateDirectory();
  int nMaster = -1;
  pid_t nPid = forkpty(&nMaster, nullptr, nullptr, &sSize);
  if (nPid < 0) return false;
  if (nPid == 0) {
    setenv("TERM", "xterm", 1);
    setenv("ORVIKDIR", sDir.c_str(), 1);
    setenv("ORVIKLOGFILE", (sDir + "/OrvikLog.txt").c_str(), 1);
    std::vector<char *> apszArgv;
    for (const std::string &sArg : asArgs) apszArgv.push_back(const_cast<char *>(sArg.c_str()));
    apszArgv.push_back(nullptr);
    execv(apszArgv[0], apszArgv.data());
    _exit(127);
  }
  std::string sScreen;
  char achBuffer[4096];
  bool bSeen = false;
  for (;;) {
    ssize_t nRead = read(nMaster, achBuffer, sizeof achBuffer);
    if (nRead <= 0) break;
    sScreen.append(achBuffer, static_cast<std::size_t>(nRead));
    if (!sUntil.empty() && sScreen.find(sUntil) != std::string::npos) {
      bSeen = true;
      kill(nPid, SIGKILL);
      break;
    }
  }
  close(nMaster);
  int nStatus = 0;
  waitpid(nPid, &nStatus, 0);
  return sUntil.empty() ? WIFEXITED(nStatus) : bSeen;
}

// Start to the first page of a report: the action bar's last button is on the screen.
void BM_FirstPage(benchmark::State &state, const char *pszReport) {
  const std::string sProgram = ProgramPath("orvikdsys");
  for (auto _ : state) {
    if (!RunInTerminal({sProgram, pszReport}, "Exit")) state.SkipWithError("no first page");
  }
}
BENCHMARK_CAPTURE(BM_FirstPage, cpu, "-cpu")->Unit(benchmark::kMillisecond)->UseRealTime();
// -umemory runs "cat /proc/meminfo": its first page less cat alone is the program's own part.
BENCHMARK_CAPTURE(BM_FirstPage, umemory, "-umemory")->Unit(benchmark::kMillisecond)->UseRealTime();

// A command alone, in the same kind of terminal, to its end.
void BM_CommandAlone(benchmark::State &state, std::vector<std::string> asCommand) {
  for (auto _ : state) {
    if (!RunInTerminal(asCommand, "")) state.SkipWithError("the command did not run");
  }
}
BENCHMARK_CAPTURE(BM_CommandAlone, lscpu, std::vector<std::string>{"/usr/bin/lscpu"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_CommandAlone, cat_meminfo,
                  std::vector<std::string>{"/bin/cat", "/proc/meminfo"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
