// Every program, every way to end it: the exit status each ending gives, and nothing of the
// program left in /tmp or running afterwards.
#include "session.h"
#include "test_services.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/syscall.h>
#include <unistd.h>
#include <string>
#include <tuple>

namespace {

struct Program {
  const char *pszName;     // the test's name for it
  const char *pszProgram;  // in the build's bin folder
  const char *pszArgs;     // after the program (the menu has a setup of its own)
  const char *pszReady;    // on screen once it waits for the user
  int nExit, nReturn;      // the status after Exit and after Return
};

// The main menu ends with 0 however the user ends it; at its first level there is no Return,
// so Return is taken in a submenu, back to the first level, and the menu is left with Exit.
constexpr Program asProgram[] = {
    {"orvik", "orvik", "", "Click selection or Tab and press Enter.", 0, 0},
    {"orvikfsys", "orvikfsys", "-help 'Browse'", "Orvik Explore Filesystems", 9, 0},
    {"orvikdsys", "orvikdsys", "-fmemory -help 'Memory'", "Display Memory", 9, 0},
    {"orvikpref", "orvikpref", "-help 'Colours'", "Orvik Preferences", 9, 0},
    {"orvikconn", "orvikconn", "-help 'Connections'", "No remote systems yet", 9, 0},
};

enum class Ending { kExit, kReturn, kCtrlC, kTerm, kHup };
constexpr const char *apszEnding[] = {"Exit", "Return", "CtrlC", "SIGTERM", "SIGHUP"};

class EndingTable : public ::testing::TestWithParam<std::tuple<int, Ending>> {};

}  // namespace

TEST_P(EndingTable, StatusAndNothingLeftBehind) {
  const Program &program = asProgram[std::get<0>(GetParam())];
  const Ending eEnding = std::get<1>(GetParam());
  TestHome home;
  ProgramSetup setup;
  if (program.pszName == std::string("orvik")) setup = MenuSetup(home);
  setup.sProgram = program.pszProgram;
  if (setup.sArgs.empty()) setup.sArgs = program.pszArgs;
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor(program.pszReady, 20000));
  ASSERT_TRUE(run.WaitFor("Exit"));

  int nStatus = 0;
  switch (eEnding) {
    case Ending::kExit:
      ASSERT_TRUE(run.Press("Exit"));
      nStatus = program.nExit;
      break;
    case Ending::kReturn:
      if (program.pszName == std::string("orvik")) {
        ASSERT_TRUE(run.Press("System Information"));
        ASSERT_TRUE(run.WaitFor("Return  Help  Exit"));
        ASSERT_TRUE(run.Press("Return"));
        ASSERT_TRUE(run.WaitFor("Network Version"));
        ASSERT_TRUE(run.WaitFor("File System Browser"));
        ASSERT_TRUE(run.Press("Exit"));
      } else {
        ASSERT_TRUE(run.Press("Return"));
      }
      nStatus = program.nReturn;
      break;
    case Ending::kCtrlC:
      run.Screen().SendKeys("C-c");
      nStatus = SIGINT;
      break;
    case Ending::kTerm:
      run.Signal(SIGTERM);
      nStatus = SIGTERM;
      break;
    case Ending::kHup:
      run.Signal(SIGHUP);
      nStatus = SIGHUP;
      break;
  }
  EXPECT_TRUE(run.Ends(nStatus));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, EndingTable,
    ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(asProgram))),
                       ::testing::Values(Ending::kExit, Ending::kReturn, Ending::kCtrlC,
                                         Ending::kTerm, Ending::kHup)),
    [](const auto &info) {
      return std::string(asProgram[std::get<0>(info.param)].pszName) + "_" +
             apszEnding[static_cast<int>(std::get<1>(info.param))];
    });

// The end check itself: a child left running in the pane and a new file are both reported.
TEST(EndCheck, ReportsALeftChildAndALeftFile) {
  TestHome home;
  const std::string sFile = "/tmp/OrvikEndCheck-" + std::to_string(getpid()) + ".txt";
  ProgramSetup setup;
  setup.sProgram = "orvikpref";
  // The child holds the file open, so that sessions of other tests running beside this one
  // see it as not theirs.
  setup.sBefore = "sleep 60 3>" + sFile + " & ";
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor("Orvik Preferences"));
  ASSERT_TRUE(run.Press("Return"));
  const ::testing::AssertionResult result = run.Ends(0);
  std::remove(sFile.c_str());
  ASSERT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find(sFile), std::string::npos) << result.message();
  EXPECT_NE(std::string(result.message()).find(" process "), std::string::npos) << result.message();
}

// A signal while a remote step waits on a link that never answers ends the step at once: the
// program ends within moments, not after ssh's connect time, with nothing of the step left.
class RemoteStepSignal : public ::testing::TestWithParam<std::tuple<int, int>> {};
TEST_P(RemoteStepSignal, EndsTheStepAtOnce) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
  const auto [nProgram, nSignal] = GetParam();
  TestHome home;
  ProgramSetup setup;
  setup.sProgram = asProgram[nProgram].pszProgram;
  setup.sArgs = asProgram[nProgram].pszArgs;
  setup.config = "RemoteSystem " + DeadHost() + " " + DeadPort() + " box root Connected\n";
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor("... Ctrl-c cancels"));
  run.Signal(nSignal);
  EXPECT_TRUE(run.Ends(nSignal, 4000));
}
INSTANTIATE_TEST_SUITE_P(ListingAndReport, RemoteStepSignal,
                         ::testing::Combine(::testing::Values(1, 2),
                                            ::testing::Values(SIGHUP, SIGTERM, SIGQUIT)));

// A signal that lands inside the C library (here while localtime_r reads the time zone, its
// lock held) is answered from the program's flow: the program ends, it does not hang.
TEST(SignalInsideLibc, TermDuringTheFirstTimeZoneReadEnds) {
  TestHome home;
  ProgramSetup setup;
  setup.sProgram = "orvikconn";
  setup.config = "RemoteSystem 127.0.0.1 1 closed root\n";
  setup.env["ASAN_OPTIONS"] = SanitizerOptions("detect_leaks=0");
  setup.sBefore = "strace -f -o /dev/null -e trace=openat -P /etc/localtime "
                  "-e inject=openat:delay_enter=1500000:when=1 ";
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor("> closed", 20000));
  run.Screen().SendKeys("Tab Tab Enter");  // Ping logs a line first: the first time zone read
  const std::string sSyscall = "/proc/" + std::to_string(run.Pid()) + "/syscall";
  const std::string sOpenat = std::to_string(SYS_openat) + " ";
  ASSERT_TRUE(run.WaitUntil([&] { return ReadTextFile(sSyscall).rfind(sOpenat, 0) == 0; },
                            "the delayed openat", 3000));
  run.Signal(SIGTERM);
  EXPECT_TRUE(run.Ends(SIGTERM, 6000));
  EXPECT_EQ(CountOf(home.ReadLog(), "Abnormal Exit: nSignal: 15."), 1) << home.ReadLog();
}
