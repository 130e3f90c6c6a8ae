// Every program, every way to end it: the exit status each ending gives, and nothing of the
// program left in /tmp or running afterwards.
#include "session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
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
  setup.sBefore = "sleep 60 & touch " + sFile + "; ";
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor("Orvik Preferences"));
  ASSERT_TRUE(run.Press("Return"));
  const ::testing::AssertionResult result = run.Ends(0);
  std::remove(sFile.c_str());
  ASSERT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find(sFile), std::string::npos) << result.message();
  EXPECT_NE(std::string(result.message()).find(" process "), std::string::npos) << result.message();
}
