// orvikdsys end to end: the real program in tmux, on the real commands of this machine and,
// for the DMI reports this machine cannot give, on stand-ins that print captured outputs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "test_services.h"
#include "tmux_driver.h"

namespace {

const std::string sBin = std::string(ORVIK_BIN_DIR) + "/orvikdsys";
const std::string sHelpText = "Reports on the hardware of this system";

std::string ReadWhole(const std::string &sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string Fixture(const std::string &sName) {
  return ReadWhole(std::string(ORVIK_FIXTURE_DIR) + "/" + sName);
}

// Stand-in commands, first in PATH. dmidecode prints the captured output of the machine
// named by DSYS_DMI_SOURCE, or fails as on a machine without DMI tables. sudo runs its
// command, asking for DSYS_SUDO_PASSWORD on the terminal first when that is set.
const char *const pszStandInDmidecode =
    "#!/bin/sh\n"
    "[ \"$1\" = -t ] || exit 2\n"
    "if [ -z \"$DSYS_DMI_SOURCE\" ]; then echo '/dev/mem: No such file or directory' >&2; "
    "exit 1; fi\n"
    "exec cat \"$DSYS_FIXTURES/$DSYS_DMI_SOURCE-dmidecode-t-$(echo \"$2\" | tr , -)-q.txt\"\n";
const char *const pszStandInSudo =
    "#!/bin/sh\n"
    "if [ -n \"$DSYS_SUDO_PASSWORD\" ]; then\n"
    "  [ \"$1\" = -n ] && exit 1\n"
    "  printf '[sudo] password for tester: ' > /dev/tty\n"
    "  IFS= read -r sAnswer < /dev/tty || exit 1\n"
    "  [ \"$sAnswer\" = \"$DSYS_SUDO_PASSWORD\" ] || exit 1\n"
    "fi\n"
    "[ \"$1\" = -n ] && shift\n"
    "exec \"$@\"\n";
const char *const pszEmptyLscpu = "#!/bin/sh\nexit 0\n";

void WriteScript(const std::string &sPath, const char *pszText) {
  std::ofstream(sPath) << pszText;
  chmod(sPath.c_str(), 0755);
}

// How one run is started.
struct DsysSetup {
  std::map<std::string, std::string> env;
  int nColumns = 80, nRows = 24;
  bool bEmptyLscpu = false;   // an lscpu without output first in PATH
  std::string sBefore;        // shell text run in the pane before the program
  std::string sConfig;        // config.ini, when the test needs one
};

struct DsysRun {
  TestHome home;
  std::string sStandIns;
  std::unique_ptr<TmuxSession> pSession;

  explicit DsysRun(const std::string &sArgs, const DsysSetup &setup = {}) {
    sStandIns = home.sRoot + "/bin";
    mkdir(sStandIns.c_str(), 0755);
    WriteScript(sStandIns + "/dmidecode", pszStandInDmidecode);
    WriteScript(sStandIns + "/sudo", pszStandInSudo);
    if (setup.bEmptyLscpu) WriteScript(sStandIns + "/lscpu", pszEmptyLscpu);
    if (!setup.sConfig.empty()) home.WriteFile("config.ini", setup.sConfig);
    TmuxOptions options;
    options.nColumns = setup.nColumns;
    options.nRows = setup.nRows;
    options.env = home.Env();
    options.env["PATH"] = sStandIns + ":" + std::getenv("PATH");
    options.env["DSYS_FIXTURES"] = ORVIK_FIXTURE_DIR;
    for (const auto &[sName, sValue] : setup.env) options.env[sName] = sValue;
    options.sWorkDir = home.sRoot;
    pSession = std::make_unique<TmuxSession>(
        setup.sBefore + ShellQuote(sBin) + " -help " + ShellQuote(sHelpText) + " " + sArgs,
        options);
  }
  TmuxSession &S() { return *pSession; }
  int BarRow() const { return pSession->Options().nRows - 1; }
  bool HasForward() const { return pSession->Line(BarRow()).find("Forward") != std::string::npos; }
  bool WaitForBar() { return pSession->WaitFor("Return   Exit", 10000); }
};

// 1-based column of the text on the row, 0 when it is not there.
int ColumnOf(const TmuxSession &session, int nRow, const std::string &sText) {
  std::string::size_type nAt = session.Line(nRow).find(sText);
  return nAt == std::string::npos ? 0 : static_cast<int>(nAt) + 1;
}

// Waits until the row shows something else than sBefore.
bool WaitForRowChange(const TmuxSession &session, int nRow, const std::string &sBefore) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    std::string sNow = session.Line(nRow);
    if (sNow != sBefore && !sNow.empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Forward (the first button while offered) until the last page; the pages seen.
int PageToTheEnd(DsysRun &run) {
  int nPages = 1;
  while (run.HasForward() && nPages < 60) {
    std::string sRow3 = run.S().Line(3);
    run.S().SendKeys("Enter");
    if (!WaitForRowChange(run.S(), 3, sRow3)) break;
    EXPECT_TRUE(run.WaitForBar()) << run.S().Capture();
    nPages++;
  }
  return nPages;
}

void ExpectEnds(DsysRun &run, int nStatus) {
  ASSERT_TRUE(run.S().WaitForExit()) << run.S().Capture();
  EXPECT_EQ(run.S().ExitStatus(), nStatus);
}

}  // namespace

TEST(DsysE2E, CpuPagesToTheEndRedrawsAfterHelpAndReturnsZero) {
  std::string sLscpu;
  ASSERT_EQ(RunProgram({"lscpu"}, &sLscpu), 0);
  DsysRun run("-CPU");
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  TmuxSession &s = run.S();
  EXPECT_EQ(ColumnOf(s, 1, "Display CPU Information"), 28);
  // The first line of lscpu: its key ends at column 26, its value starts at 28.
  std::string sFirst = sLscpu.substr(0, sLscpu.find('\n'));
  std::string sKey = sFirst.substr(0, sFirst.find(':') + 1);
  std::string sValue = sFirst.substr(sFirst.find_first_not_of(' ', sKey.size()));
  EXPECT_EQ(ColumnOf(s, 3, sKey) + static_cast<int>(sKey.size()) - 1, 26) << s.Capture();
  EXPECT_EQ(ColumnOf(s, 3, sValue), 28) << s.Capture();
  EXPECT_EQ(s.Cell(3, 28).nBackground, s.Cell(3, 26).nBackground) << "both in Field colours";
  ASSERT_TRUE(run.HasForward()) << "lscpu needs more than one 80x24 page";

  // Page 2, then Help (the fourth button) and back to the same page.
  std::string sRow3 = s.Line(3);
  s.SendKeys("Enter");
  ASSERT_TRUE(WaitForRowChange(s, 3, sRow3)) << s.Capture();
  ASSERT_TRUE(run.WaitForBar());
  std::string sPage2 = s.Capture();
  s.SendKeys("Tab Tab Tab Enter");
  ASSERT_TRUE(s.WaitFor(sHelpText)) << s.Capture();
  s.SendKeys("Enter");
  ASSERT_TRUE(s.WaitForGone(sHelpText)) << s.Capture();
  ASSERT_TRUE(run.WaitForBar());
  EXPECT_EQ(s.Capture(), sPage2) << "Help redraws the same page";

  int nPages = PageToTheEnd(run) + 1;
  EXPECT_GE(nPages, 2);
  EXPECT_FALSE(run.HasForward()) << s.Capture();
  EXPECT_NE(s.Line(run.BarRow()).find("Save   Print   Help   Return   Exit"), std::string::npos);
  // The last line of lscpu is on the last page, its key cut at the title length of 25.
  std::string sOutput = sLscpu;
  while (!sOutput.empty() && sOutput.back() == '\n') sOutput.pop_back();
  std::string sLast = sOutput.substr(sOutput.rfind('\n') + 1);
  EXPECT_NE(s.Capture().find(sLast.substr(0, std::min<std::size_t>(25, sLast.find(':') + 1))),
            std::string::npos)
      << s.Capture();
  s.SendKeys("BTab BTab Enter");  // Return
  ExpectEnds(run, 0);
}

TEST(DsysE2E, EventsShortAndClassReportsOnTheRealCommands) {
  {
    DsysRun run("-ememory");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    // The label of vmstat's first key, right-justified to column 39; the number to 54.
    int nLabel = ColumnOf(s, 3, "Total Memory:");
    EXPECT_EQ(nLabel + 12, 39) << s.Capture();
    std::string sRow = s.Line(3);
    EXPECT_EQ(sRow.size(), 54u) << sRow;
    EXPECT_NE(sRow.find(" K"), std::string::npos);
    EXPECT_EQ(ColumnOf(s, run.BarRow(), "Forward"), 15) << "the bar starts at the title column";
    PageToTheEnd(run);
    EXPECT_FALSE(run.HasForward());
    EXPECT_NE(s.Capture().find("Forks:"), std::string::npos) << "vmstat's last line";
    s.SendKeys("BTab Enter");  // Exit
    ExpectEnds(run, 9);
  }
  {
    DsysRun run("-short");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    EXPECT_NE(s.Capture().find("Display System Hardware Summary Information"), std::string::npos);
    // lshw's first line below the rule is the system: class "system" with its description.
    EXPECT_EQ(ColumnOf(s, 3, "system:"), 20) << s.Capture();
    EXPECT_NE(s.Capture().find("processor:"), std::string::npos) << s.Capture();
    PageToTheEnd(run);
    EXPECT_FALSE(run.HasForward());
    s.SendKeys("BTab BTab Enter");
    ExpectEnds(run, 0);
  }
  {
    DsysRun run("-class processor");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    EXPECT_NE(s.Capture().find("Display Processor Information"), std::string::npos);
    // lshw's "*-cpu" node is the heading "CPU", ending at column 26 in swapped colours.
    EXPECT_EQ(ColumnOf(s, 3, "CPU"), 24) << s.Capture();
    EXPECT_EQ(s.Cell(3, 24).nForeground, s.Cell(4, 28).nBackground) << s.Capture();
    EXPECT_EQ(s.Cell(3, 24).nBackground, s.Cell(4, 28).nForeground);
    // The key of the next line ends at column 26, its value starts at 28.
    EXPECT_NE(s.Cell(4, 26).sText, " ") << s.Line(4);
    EXPECT_EQ(s.Cell(4, 27).sText, " ");
    EXPECT_NE(s.Cell(4, 28).sText, " ");
    s.SendKeys("BTab Enter");
    ExpectEnds(run, 9);
  }
}

TEST(DsysE2E, DmiReportOnA120x40TerminalMovesRightAndPages) {
  DsysSetup setup;
  setup.env = {{"DSYS_DMI_SOURCE", "linuxhw-ampere-altra"}};
  setup.nColumns = 120;
  setup.nRows = 40;
  DsysRun run("-mdmi", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  TmuxSession &s = run.S();
  // "Memory Device" is a heading ending at column 26 + 20; its fields are beside it.
  EXPECT_EQ(ColumnOf(s, 3, "Memory Device"), 34) << s.Capture();
  EXPECT_EQ(s.Cell(3, 34).nBackground, s.Cell(4, 48).nForeground) << "colours swapped";
  EXPECT_EQ(s.Cell(3, 34).nForeground, s.Cell(4, 48).nBackground);
  EXPECT_EQ(ColumnOf(s, 4, "Total Width") + 10, 46) << s.Capture();
  EXPECT_EQ(s.Cell(4, 48).sText, "7") << s.Line(4);   // "72 bits" from column 28 + 20
  EXPECT_EQ(ColumnOf(s, run.BarRow(), "Forward"), 22);
  int nPages = PageToTheEnd(run);
  EXPECT_GE(nPages, 4) << "192 lines over 34 rows a page";
  EXPECT_FALSE(run.HasForward());
  s.SendKeys("BTab Enter");
  ExpectEnds(run, 9);
}

TEST(DsysE2E, SaveWritesTheReportFileAndPrintReachesTheQueue) {
  const std::string sBios = Fixture("fusioninventory-dell-r640-dmidecode-t-bios-q.txt");
  const std::string sTitle = "Display Basic Input Output System (BIOS) Information";
  {
    DsysSetup setup;
    setup.env = {{"DSYS_DMI_SOURCE", "fusioninventory-dell-r640"}};
    DsysRun run("-bios", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    EXPECT_EQ(ColumnOf(s, 3, "BIOS Information"), 2) << "whole-line heading keeps column 2";
    EXPECT_EQ(ColumnOf(s, 4, "Vendor: Dell Inc."), 10) << "tab expanded to column 10";
    s.SendKeys(run.HasForward() ? "Tab Enter" : "Enter");  // Save
    ASSERT_TRUE(s.WaitFor("Report saved in file: ")) << s.Capture();
    std::smatch match;
    std::string sScreen = s.Capture();
    ASSERT_TRUE(std::regex_search(sScreen, match,
                                  std::regex("Report saved in file: (/tmp/OrvikDsys\\.-bios\\."
                                             "[0-9]{8}\\.[0-9]{6}\\.txt)\\.")))
        << sScreen;
    std::string sFile = match[1];
    EXPECT_EQ(ReadWhole(sFile), sTitle + ":\n\n" + sBios);
    std::remove(sFile.c_str());
    s.SendKeys("Enter");
    ExpectEnds(run, 0);
  }
  {
    ORVIK_REQUIRE_PRINT();
    std::size_t nFrom = PrintOutputSize();
    DsysSetup setup;
    setup.env = {{"DSYS_DMI_SOURCE", "fusioninventory-dell-r640"}, {"CUPS_SERVER", CupsServer()}};
    DsysRun run("-bios", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    s.SendKeys(run.HasForward() ? "Tab Tab Enter" : "Tab Enter");  // Print
    ASSERT_TRUE(s.WaitFor("Report printed.")) << s.Capture();
    std::string sPrinted;
    EXPECT_TRUE(WaitForPrinted(sTitle + "\n\n" + sBios + "\n", nFrom, 15000, &sPrinted))
        << sPrinted;
    s.SendKeys("Enter");
    ExpectEnds(run, 0);
  }
}

TEST(DsysE2E, FailuresEmptyOutputAndInterrupt) {
  {
    // dmidecode fails as it does on this machine: 8, and no panel was ever shown.
    DsysRun run("-mdmi");
    ExpectEnds(run, 8);
    EXPECT_EQ(run.S().Capture().find("Display Memory DMI"), std::string::npos)
        << run.S().Capture();
    EXPECT_NE(run.home.ReadLog().find("orvikdsys Get_Hardware_Info: Unable to execute Local "
                                      "command: sudo dmidecode -t 17 -q"),
              std::string::npos)
        << run.home.ReadLog();
  }
  {
    DsysRun run("-class Disk");
    ExpectEnds(run, 8);
    EXPECT_NE(run.home.ReadLog().find("orvikdsys Initialize: Invalid class specified: Disk."),
              std::string::npos);
  }
  {
    DsysSetup setup;
    setup.bEmptyLscpu = true;
    DsysRun run("-cpu", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    EXPECT_EQ(ColumnOf(run.S(), 3, "No cpu information found."), 28) << run.S().Capture();
    EXPECT_FALSE(run.HasForward());
    run.S().SendKeys("C-c");
    ExpectEnds(run, 2);
    EXPECT_TRUE(run.S().WaitFor("Orvik orvikdsys Termination due to User Interrupt (Ctrl-c)."))
        << run.S().Capture();
  }
}

TEST(DsysE2E, PasswordPromptIsReadableAndAnsweredAfterACursesParent) {
  // The terminal as a menu in curses mode leaves it: single keys with a time-out, no echo,
  // Enter not turned into a newline.
  DsysSetup setup;
  setup.env = {{"DSYS_DMI_SOURCE", "fusioninventory-dell-r640"}, {"DSYS_SUDO_PASSWORD", "s3cret"}};
  setup.sBefore = "printf 'left behind by the caller'; stty -icanon -icrnl -echo min 0 time 2; ";
  DsysRun run("-pmarray", setup);
  TmuxSession &s = run.S();
  ASSERT_TRUE(s.WaitFor("[sudo] password for tester:")) << s.Capture();
  EXPECT_EQ(s.Line(1), "[sudo] password for tester:") << "the prompt stands alone on a clear screen";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // slower than the time-out
  s.SendLiteral("s3cret");
  s.SendKeys("Enter");
  ASSERT_TRUE(run.WaitForBar()) << s.Capture();
  EXPECT_NE(s.Capture().find("Physical Memory Array"), std::string::npos) << s.Capture();
  s.SendKeys("BTab Enter");
  ExpectEnds(run, 9);
}

TEST(DsysE2E, ReportComesFromTheConnectedSystem) {
  ORVIK_REQUIRE_SSH();
  DsysSetup setup;
  setup.sConfig = "RemoteSystem " + SshHost() + " " + SshPort() + " test " + SshUser() + " Connected\n";
  DsysRun remote("-cpu", setup);
  ASSERT_TRUE(remote.S().WaitFor("Display CPU Information: " + SshHost(), 30000))
      << remote.S().Capture();
  ASSERT_TRUE(remote.WaitForBar()) << remote.S().Capture();
  EXPECT_EQ(ColumnOf(remote.S(), 3, "Architecture:"), 14) << remote.S().Capture();
  remote.S().SendKeys("BTab BTab Enter");
  ExpectEnds(remote, 0);
}
