// The terminal is always given back: every program, ended by any signal that ends it, leaves
// echo and canonical input on and its own /tmp files removed; a terminal that goes away
// without a signal ends the program instead of leaving it polling for ever.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "session.h"

namespace {

std::string ReadWhole(const std::string &sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct PROGRAM {
  const char *pszName;
  const char *pszArguments;   // after the program, shell text
  const char *pszReady;       // on the screen once it waits for keys
  const char *pszLogPrefix;   // its own wording of the signal's log line and termination line
  const char *pszLinePrefix;
};

void PrintTo(const PROGRAM &sProgram, std::ostream *pOut) { *pOut << sProgram.pszName; }

const PROGRAM asPrograms[] = {
    {"orvik", "-f " ORVIK_SOURCE_DIR "/share/orvik.xml", "Click selection or Tab and press Enter.",
     "Orvik ", "Orvik Terminal Manager "},
    {"orvikfsys", "", "Orvik Explore Filesystems", "", ""},
    {"orvikdsys", "-cpu", "Return   Exit", "orvikdsys ", "Orvik orvikdsys "},
    {"orvikpref", "", "Exit", "", ""},
    {"orvikconn", "", "Exit", "", ""},
};

class TerminalTest : public ::testing::TestWithParam<PROGRAM> {
 protected:
  // The program runs as the process of pid.txt; the status and the terminal's modes after it
  // are written by the shell that started it, on the same terminal.
  std::unique_ptr<TmuxSession> Start(const std::string &sWrapper = "") {
    unlink(Path("pid.txt").c_str());
    const PROGRAM &sProgram = GetParam();
    std::string sProgramLine = ShellQuote(std::string(ORVIK_BIN_DIR) + "/" + sProgram.pszName) +
                               " " + sProgram.pszArguments;
    // The menu takes its folder and log from its options only.
    if (std::string(sProgram.pszName) == "orvik")
      sProgramLine += " -d " + ShellQuote(home.sOrvikDir) + " -l " + ShellQuote(home.sLogFile);
    std::string sCommand = sWrapper + "sh -c " + ShellQuote("echo $$ > " + Path("pid.txt") +
                                                            "; exec " + sProgramLine) +
                           "; echo $? > " + Path("status.txt") + "; stty -a > " +
                           Path("stty.txt");
    TmuxOptions options;
    options.env = home.Env();
    options.env["PATH"] = std::string(ORVIK_BIN_DIR) + ":" + std::getenv("PATH");
    options.sWorkDir = home.sRoot;
    auto pSession = std::make_unique<TmuxSession>(sCommand, options);
    EXPECT_TRUE(pSession->WaitFor(sProgram.pszReady, 20000)) << pSession->Capture();
    nPid = std::atoi(ReadWhole(Path("pid.txt")).c_str());
    EXPECT_GT(nPid, 1);
    return pSession;
  }
  std::string Path(const std::string &sName) const { return home.sRoot + "/" + sName; }
  // Gone, or a zombie nobody has reaped yet, within the time.
  bool Ends(int nMillis) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMillis);
    for (;;) {
      std::string sStat = ReadWhole("/proc/" + std::to_string(nPid) + "/stat");
      std::string::size_type nParen = sStat.rfind(')');
      if (sStat.empty() || (nParen != std::string::npos && sStat.compare(nParen + 2, 1, "Z") == 0))
        return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  TestHome home;
  pid_t nPid = 0;
};

// The signal lands while the program waits for a key; it is answered there, once, in the
// program's own words. One the program does not answer (a crash, an abort) still gives the
// terminal back and takes the program's /tmp files, then ends the program as it would.
TEST_P(TerminalTest, EveryEndingSignalRestoresTheTerminal) {
  for (int nSignal : {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGPIPE, SIGSEGV, SIGABRT}) {
    SCOPED_TRACE("signal " + std::to_string(nSignal));
    const bool bAnswered = nSignal != SIGSEGV && nSignal != SIGABRT;
    unlink(Path("stty.txt").c_str());
    auto pSession = Start("ulimit -c 0; ");
    ASSERT_EQ(kill(nPid, nSignal), 0);
    ASSERT_TRUE(pSession->WaitForExit()) << pSession->Capture();
    EXPECT_EQ(std::atoi(ReadWhole(Path("status.txt")).c_str()), nSignal + (bAnswered ? 0 : 128));
    std::string sModes = ReadWhole(Path("stty.txt"));
    EXPECT_NE(sModes.find(" icanon"), std::string::npos) << sModes;
    EXPECT_NE(sModes.find(" echo "), std::string::npos) << sModes;
    for (const char *pszMode : {"-icanon", "-icrnl", "-onlcr"})
      EXPECT_EQ(sModes.find(pszMode), std::string::npos) << sModes;
    for (const std::string &sName : OrvikTempFiles())
      EXPECT_NE(PidInTempName(sName), nPid) << sName;
    if (!bAnswered) continue;
    const std::string sLog = home.ReadLog();
    const std::string sLogLine = std::string("Error   ") + GetParam().pszLogPrefix +
                                 "Abnormal Exit: nSignal: " + std::to_string(nSignal) + ".\n";
    const std::string::size_type nAt = sLog.find(sLogLine);
    EXPECT_NE(nAt, std::string::npos) << sLog;
    EXPECT_EQ(sLog.find(sLogLine, nAt + 1), std::string::npos) << sLog;
    const std::string sLine =
        std::string(GetParam().pszLinePrefix) +
        (nSignal == SIGINT ? std::string("Termination due to User Interrupt (Ctrl-c).")
                           : "Error Termination.  Return Code: " + std::to_string(nSignal) + ".");
    EXPECT_TRUE(pSession->WaitFor(sLine)) << pSession->Capture();
  }
}

TEST_P(TerminalTest, ATerminalGoneWithoutHangupEndsTheProgram) {
  // In a session of its own the terminal is not its controlling one: closing it sends no
  // SIGHUP, and only the end of its input tells.
  auto pSession = Start("setsid ");
  pSession.reset();   // the tmux server goes, and the terminal with it
  bool bEnded = Ends(5000);
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
  TmuxOptions options;
  options.env = home.Env();
  options.sWorkDir = home.sRoot;
  const std::string sPidFile = home.sRoot + "/pid.txt";
  TmuxSession session("sh -c " + ShellQuote("echo $$ > " + sPidFile + "; exec " +
                                            ShellQuote(std::string(ORVIK_BIN_DIR) + "/orvikfsys")),
                      options);
  ASSERT_TRUE(session.WaitFor("Orvik Explore Filesystems", 20000)) << session.Capture();
  const std::string sPid = std::to_string(std::atoi(ReadWhole(sPidFile).c_str()));
  const std::string asListing[] = {"/tmp/Orvikfsys." + sPid + ".0.Temp.txt",
                                   "/tmp/Orvikfsys." + sPid + ".0.Error.txt"};
  struct stat sInfo;
  for (const std::string &sFile : asListing) EXPECT_EQ(lstat(sFile.c_str(), &sInfo), 0) << sFile;
  session.SendKeys("C-c");
  ASSERT_TRUE(session.WaitForExit()) << session.Capture();
  EXPECT_EQ(session.ExitStatus(), 2);
  EXPECT_TRUE(session.WaitFor("Termination due to User Interrupt (Ctrl-c).")) << session.Capture();
  for (const std::string &sFile : asListing) EXPECT_NE(lstat(sFile.c_str(), &sInfo), 0) << sFile;
}

}  // namespace
