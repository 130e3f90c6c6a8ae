// The terminal is always given back: every program, ended by any signal that ends it, leaves
// echo and canonical input on and its own /tmp files removed; a terminal that goes away
// without a signal ends the program instead of leaving it polling for ever.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "session.h"

namespace {

struct PROGRAM {
  const char *pszName;
  const char *pszArguments;   // after the program, shell text (the menu has a setup of its own)
  const char *pszReady;       // on the screen once it waits for keys
  const char *pszLogPrefix;   // its own wording of the signal's log line and termination line
  const char *pszLinePrefix;
};

void PrintTo(const PROGRAM &sProgram, std::ostream *pOut) { *pOut << sProgram.pszName; }

const PROGRAM asPrograms[] = {
    {"orvik", "", "Click selection or Tab and press Enter.", "Orvik ", "Orvik Terminal Manager "},
    {"orvikfsys", "", "Orvik Explore Filesystems", "", ""},
    {"orvikdsys", "-cpu", "Return   Exit", "orvikdsys ", "Orvik orvikdsys "},
    {"orvikpref", "", "Exit", "", ""},
    {"orvikconn", "", "Exit", "", ""},
};

class TerminalTest : public ::testing::TestWithParam<PROGRAM> {
 protected:
  // The terminal's modes after the program are written by the pane's shell, on the same
  // terminal, into stty.txt.
  std::unique_ptr<ProgramSession> Start(const std::string &sBefore = "") {
    const PROGRAM &sProgram = GetParam();
    const bool bMenu = std::string(sProgram.pszName) == "orvik";
    ProgramSetup setup = bMenu ? MenuSetup(home) : ProgramSetup();
    setup.sProgram = sProgram.pszName;
    if (setup.sArgs.empty()) setup.sArgs = sProgram.pszArguments;
    setup.env["PATH"] = std::string(ORVIK_BIN_DIR) + ":" + std::getenv("PATH");
    setup.env["ASAN_OPTIONS"] = SanitizerOptions("handle_segv=0:handle_abort=0");
    setup.sBefore = sBefore;
    setup.sAfter = "stty -a > " + Path("stty.txt");
    auto pRun = std::make_unique<ProgramSession>(home, setup);
    EXPECT_TRUE(pRun->WaitFor(sProgram.pszReady, 20000));
    return pRun;
  }
  std::string Path(const std::string &sName) const { return home.sRoot + "/" + sName; }

  TestHome home;
};

// The signal lands while the program waits for a key; it is answered there, once, in the
// program's own words. One the program does not answer (a crash, an abort) still gives the
// terminal back and takes the program's /tmp files, then ends the program as it would.
TEST_P(TerminalTest, EveryEndingSignalRestoresTheTerminal) {
  for (int nSignal : {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGPIPE, SIGSEGV, SIGABRT}) {
    SCOPED_TRACE("signal " + std::to_string(nSignal));
    const bool bAnswered = nSignal != SIGSEGV && nSignal != SIGABRT;
    std::remove(Path("stty.txt").c_str());
    auto pRun = Start("ulimit -c 0; ");
    ASSERT_GT(pRun->Pid(), 1);
    pRun->Signal(nSignal);
    EXPECT_TRUE(pRun->Ends(nSignal + (bAnswered ? 0 : 128)));
    std::string sModes = ReadTextFile(Path("stty.txt"));
    EXPECT_NE(sModes.find(" icanon"), std::string::npos) << sModes;
    EXPECT_NE(sModes.find(" echo "), std::string::npos) << sModes;
    for (const char *pszMode : {"-icanon", "-icrnl", "-onlcr"})
      EXPECT_EQ(sModes.find(pszMode), std::string::npos) << sModes;
    if (!bAnswered) continue;
    const std::string sLog = home.ReadLog();
    const std::string sLogLine = std::string("Error   ") + GetParam().pszLogPrefix +
                                 "Abnormal Exit: nSignal: " + std::to_string(nSignal) + ".\n";
    EXPECT_EQ(CountOf(sLog, sLogLine), 1) << sLog;
    const std::string sLine =
        std::string(GetParam().pszLinePrefix) +
        (nSignal == SIGINT ? std::string("Termination due to User Interrupt (Ctrl-c).")
                           : "Error Termination.  Return Code: " + std::to_string(nSignal) + ".");
    EXPECT_TRUE(pRun->WaitFor(sLine));
  }
}

TEST_P(TerminalTest, ATerminalGoneWithoutHangupEndsTheProgram) {
  // In a session of its own the terminal is not its controlling one: closing it sends no
  // SIGHUP, and only the end of its input tells. Out of the pane's session, it tells its pid.
  auto pRun = Start("setsid sh -c 'echo $$ > " + Path("pid.txt") + "; exec \"$0\" \"$@\"' ");
  const pid_t nPid = std::atoi(ReadTextFile(Path("pid.txt")).c_str());
  ASSERT_GT(nPid, 1);
  pRun.reset();   // the tmux server goes, and the terminal with it
  // Gone, or a zombie nobody has reaped yet.
  const bool bEnded = PollUntil([&] {
    const std::string sStat = ReadTextFile("/proc/" + std::to_string(nPid) + "/stat");
    const std::string::size_type nParen = sStat.rfind(')');
    return sStat.empty() || (nParen != std::string::npos && sStat.compare(nParen + 2, 1, "Z") == 0);
  });
  if (!bEnded) kill(nPid, SIGKILL);
  ASSERT_TRUE(bEnded) << "still running after the terminal went away";
  EXPECT_NE(home.ReadLog().find("GetKBM: The terminal is gone"), std::string::npos)
      << home.ReadLog();
}

INSTANTIATE_TEST_SUITE_P(Programs, TerminalTest, ::testing::ValuesIn(asPrograms),
                         [](const ::testing::TestParamInfo<PROGRAM> &info) {
                           return std::string(info.param.pszName);
                         });

// Ctrl-c in the browser takes its listing files in /tmp with it.
TEST(TerminalScratchFiles, InterruptRemovesTheBrowsersListingFiles) {
  TestHome home;
  ProgramSetup setup;
  setup.sProgram = "orvikfsys";
  ProgramSession run(home, setup);
  ASSERT_TRUE(run.WaitFor("Orvik Explore Filesystems", 20000));
  const std::string sPid = std::to_string(run.Pid());
  const std::string asListing[] = {"/tmp/Orvikfsys." + sPid + ".0.Temp.txt",
                                   "/tmp/Orvikfsys." + sPid + ".0.Error.txt"};
  struct stat sInfo;
  for (const std::string &sFile : asListing) EXPECT_EQ(lstat(sFile.c_str(), &sInfo), 0) << sFile;
  run.Screen().SendKeys("C-c");
  EXPECT_TRUE(run.Ends(2));
  EXPECT_TRUE(run.WaitFor("Termination due to User Interrupt (Ctrl-c)."));
  for (const std::string &sFile : asListing) EXPECT_NE(lstat(sFile.c_str(), &sInfo), 0) << sFile;
}

}  // namespace
