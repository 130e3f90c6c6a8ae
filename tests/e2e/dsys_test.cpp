// orvikdsys end to end: the real program in tmux, on the real commands of this machine and,
// for the DMI reports this machine cannot give, on stand-ins that print captured outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_services.h"
#include "session.h"

namespace {

const std::string sHelpText = "Reports on the hardware of this system";

// Stand-ins first in PATH. dmidecode prints the captured output of DSYS_DMI_SOURCE, or fails
// as on a machine without DMI tables; sudo runs its command, first asking on the terminal
// for DSYS_SUDO_PASSWORD when that is set (and then "sudo -n" fails, as a real one would).
// A setup's own stand-ins (lscpu, free) come beside them.
const std::map<std::string, std::string> asStandIns = {
    {"dmidecode",
     "[ -n \"$DSYS_DMI_SOURCE\" ] || { echo '/dev/mem: No such file' >&2; exit 1; }\n"
     "exec cat \"$DSYS_FIXTURES/$DSYS_DMI_SOURCE-dmidecode-t-$(echo \"$2\" | tr , -)-q.txt\""},
    {"sudo",
     "if [ -n \"$DSYS_SUDO_PASSWORD\" ]; then\n  [ \"$1\" = -n ] && exit 1\n"
     "  printf '[sudo] password for tester: ' > /dev/tty\n"
     "  IFS= read -r sAnswer < /dev/tty && [ \"$sAnswer\" = \"$DSYS_SUDO_PASSWORD\" ] || exit 1\n"
     "fi\n[ \"$1\" = -n ] && shift\nexec \"$@\""}};

using DsysSetup = ProgramSetup;

struct DsysRun {
  TestHome home;
  std::unique_ptr<ProgramSession> pRun;

  explicit DsysRun(const std::string &sArgs, DsysSetup setup = {}) {
    setup.sProgram = "orvikdsys";
    setup.sArgs = "-help " + ShellQuote(sHelpText) + " " + sArgs;
    setup.standIns.insert(asStandIns.begin(), asStandIns.end());
    setup.env["DSYS_FIXTURES"] = ORVIK_FIXTURE_DIR;
    pRun = std::make_unique<ProgramSession>(home, setup);
  }
  TmuxSession &S() { return pRun->Screen(); }
  int BarRow() const { return pRun->Rows() - 1; }
  bool HasButton(const std::string &sButton) const { return pRun->FindButton(sButton).nRow == BarRow(); }
  bool HasForward() const { return HasButton("Forward"); }
  bool WaitForBar() { return pRun->WaitFor("Return   Exit", 10000); }
  int ColumnOf(int nRow, const std::string &sText) const { return ::ColumnOf(pRun->Screen(), nRow, sText); }
  void Press(const std::string &sButton) { pRun->Press(sButton); }
  // Forward and wait for the next page.
  bool Forward() {
    const std::string sRow3 = S().Line(3);
    Press("Forward");
    return pRun->WaitUntil([&] { return S().Line(3) != sRow3 && !S().Line(3).empty(); }, "the next page") &&
           WaitForBar();
  }
  // Forward to the last page; the number of pages.
  int PageToTheEnd() {
    int nPages = 1;
    while (HasForward() && nPages < 60 && Forward()) nPages++;
    EXPECT_FALSE(HasForward()) << S().Capture();
    return nPages;
  }
  void ExpectEnds(int nStatus) { EXPECT_TRUE(pRun->Ends(nStatus)); }
};

}  // namespace

TEST(DsysE2E, CpuPagesToTheEndRedrawsAfterHelpAndReturnsZero) {
  std::string sLscpu;
  ASSERT_EQ(RunProgram({"lscpu"}, &sLscpu), 0);
  DsysRun run("-CPU");
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  EXPECT_EQ(run.ColumnOf(1, "Display CPU Information"), 28);
  // lscpu's first key ends at column 26, its value starts at 28, both in Field colours.
  std::string sFirst = sLscpu.substr(0, sLscpu.find('\n'));
  std::string sKey = sFirst.substr(0, sFirst.find(':') + 1);
  EXPECT_EQ(run.ColumnOf(3, sKey) + static_cast<int>(sKey.size()) - 1, 26) << run.S().Capture();
  EXPECT_EQ(run.ColumnOf(3, sFirst.substr(sFirst.find_first_not_of(' ', sKey.size()))), 28);
  EXPECT_EQ(run.S().Cell(3, 28).nBackground, run.S().Cell(3, 26).nBackground);

  // Page 2, then Help and back to the same page.
  ASSERT_TRUE(run.HasForward() && run.Forward()) << run.S().Capture();
  std::string sPage2 = run.S().Capture();
  run.Press("Help");
  ASSERT_TRUE(run.S().WaitFor(sHelpText)) << run.S().Capture();
  run.S().SendKeys("Enter");
  ASSERT_TRUE(run.S().WaitForGone(sHelpText) && run.WaitForBar());
  EXPECT_EQ(run.S().Capture(), sPage2);

  run.PageToTheEnd();
  // lscpu's last line is on the last page, a key longer than the title length of 25 cut
  // with a "~" at its end.
  sLscpu.erase(sLscpu.find_last_not_of('\n') + 1);
  std::string sLast = sLscpu.substr(sLscpu.rfind('\n') + 1);
  std::string sLastKey = sLast.substr(0, sLast.find(':') + 1);
  if (sLastKey.size() > 25) sLastKey = sLastKey.substr(0, 24) + "~";
  EXPECT_NE(run.S().Capture().find(sLastKey), std::string::npos) << run.S().Capture();
  run.Press("Return");
  run.ExpectEnds(0);
}

TEST(DsysE2E, EventsShortAndClassReportsOnTheRealCommands) {
  {
    DsysRun run("-ememory");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    // vmstat's first key as its label right-justified to column 39, the number to 54.
    EXPECT_EQ(run.ColumnOf(3, "Total Memory:"), 27) << run.S().Capture();
    EXPECT_EQ(run.S().Line(3).size(), 54u);
    EXPECT_EQ(run.ColumnOf(run.BarRow(), "Forward"), 15) << "the bar starts at the title column";
    run.PageToTheEnd();
    EXPECT_NE(run.S().Capture().find("Forks:"), std::string::npos) << "vmstat's last line";
    run.Press("Exit");
    run.ExpectEnds(9);
  }
  {
    DsysRun run("-short");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    EXPECT_EQ(run.ColumnOf(3, "system:"), 20) << run.S().Capture();
    EXPECT_NE(run.S().Capture().find("processor:"), std::string::npos);
    run.PageToTheEnd();
    run.Press("Return");
    run.ExpectEnds(0);
  }
  {
    DsysRun run("-class processor");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    TmuxSession &s = run.S();
    EXPECT_EQ(run.ColumnOf(1, "Display Processor Information"), 25);
    // lshw's "*-cpu" node is the heading "CPU" ending at column 26, in swapped colours; the
    // next key ends at 26 and its value starts at 28.
    EXPECT_EQ(run.ColumnOf(3, "CPU"), 24) << s.Capture();
    EXPECT_EQ(s.Cell(3, 24).nForeground, s.Cell(4, 28).nBackground);
    EXPECT_EQ(s.Cell(3, 24).nBackground, s.Cell(4, 28).nForeground);
    EXPECT_EQ(s.Cell(4, 26).sText != " " && s.Cell(4, 27).sText == " " && s.Cell(4, 28).sText != " ",
              true) << s.Line(4);
    run.Press("Exit");
    run.ExpectEnds(9);
  }
}

TEST(DsysE2E, LineReportsOnTheRealCommandsShowTheirFirstLine) {
  // What the first line of each command's output becomes on row 3: its column and text.
  struct Case {
    const char *pszReport;
    std::vector<std::string> asCommand;
    int nColumn;
    std::string (*pfnShown)(const std::string &sFirstLine);
  } const asCases[] = {
      {"-umemory", {"cat", "/proc/meminfo"}, 20, [](const std::string &s) { return s.substr(0, 9); }},
      {"-network", {"ifconfig", "-a", "-v"}, 2, [](const std::string &s) { return s.substr(0, 30); }},
      // A table of 80 columns: its header line whole, from column 1.
      {"-fmemory", {"free", "-l", "-h"}, 1, [](const std::string &s) { return s; }},
      // Columns, not keys: the whole line, MAJ:MIN and all, from column 8.
      {"-blkdevices", {"lsblk", "-ia"}, 8, [](const std::string &s) { return s; }},
  };
  for (const Case &sCase : asCases) {
    std::string sOutput;
    ASSERT_EQ(RunProgram(sCase.asCommand, &sOutput), 0) << sCase.pszReport;
    std::string sShown = sCase.pfnShown(sOutput.substr(0, sOutput.find('\n')));
    sShown.erase(sShown.find_last_not_of(' ') + 1);   // the screen keeps no trailing blanks
    DsysRun run(sCase.pszReport);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    EXPECT_EQ(run.ColumnOf(3, sShown), sCase.nColumn) << sCase.pszReport << "\n" << run.S().Capture();
    run.Press("Exit");
    run.ExpectEnds(9);
  }
}

TEST(DsysE2E, FreeRowsStayWholeUnderTheirHeader) {
  // A captured free, as the live one's numbers change while the test runs.
  const std::string sFixture = "cwage-thinkpad-t580-free-h.txt";
  const std::string sFree = ReadTextFile(std::string(ORVIK_FIXTURE_DIR) + "/" + sFixture);
  DsysSetup setup;
  setup.standIns = {{"free", "exec cat \"$DSYS_FIXTURES/" + sFixture + "\""}};
  DsysRun run("-fmemory", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  // Each of free's lines on a row of its own: the header's words above their numbers.
  std::istringstream lines(sFree);
  int nRow = 3;
  for (std::string sLine; std::getline(lines, sLine); nRow++) {
    sLine.erase(sLine.find_last_not_of(' ') + 1);
    EXPECT_EQ(run.S().Line(nRow), sLine) << run.S().Capture();
  }
  EXPECT_EQ(nRow, 6);
  EXPECT_EQ(run.S().Line(nRow), "");
  EXPECT_EQ(run.ColumnOf(run.BarRow(), "Save"), 2);
  run.Press("Exit");
  run.ExpectEnds(9);
}

TEST(DsysE2E, PagesGoBackwardAndFollowTheTerminalsSize) {
  // 60 numbered keys: 18 a page at 80x24 (4 pages), 37 at 132x43 (2 pages).
  DsysSetup setup;
  setup.standIns["lscpu"] = "i=0; while [ $i -lt 60 ]; do i=$((i+1)); printf 'Key %02d: value %02d\\n' $i $i; done";
  DsysRun run("-cpu", setup);
  TmuxSession &s = run.S();
  ASSERT_TRUE(run.WaitForBar()) << s.Capture();
  // "page N of M" ends at column 79 on the row above the bar; Backward only after page 1.
  EXPECT_EQ(s.Line(22), std::string(68, ' ') + "page 1 of 4") << s.Capture();
  EXPECT_FALSE(run.HasButton("Backward"));
  ASSERT_TRUE(run.Forward()) << s.Capture();
  EXPECT_TRUE(s.WaitFor("page 2 of 4")) << s.Capture();
  EXPECT_NE(s.Line(3).find("Key 19: value 19"), std::string::npos) << s.Capture();
  EXPECT_EQ(run.ColumnOf(run.BarRow(), "Forward   Backward   Save"), 2) << s.Line(run.BarRow());
  run.Press("Backward");
  ASSERT_TRUE(s.WaitFor("page 1 of 4")) << s.Capture();
  EXPECT_NE(s.Line(3).find("Key 01: value 01"), std::string::npos) << s.Capture();
  EXPECT_FALSE(run.HasButton("Backward"));
  // PgDn, PgUp, End and Home turn pages; past the ends nothing moves.
  for (const auto &[sKey, sPage] : {std::pair{"NPage", "page 2"}, {"End", "page 4"}, {"NPage", "page 4"},
                                    {"PPage", "page 3"}, {"Home", "page 1"}, {"PPage", "page 1"}}) {
    s.SendKeys(sKey);
    ASSERT_TRUE(s.WaitFor(std::string(sPage) + " of 4")) << sKey << "\n" << s.Capture();
  }
  // After Forward the cursor stays on it: Enter alone turns the next pages.
  ASSERT_TRUE(run.Forward()) << s.Capture();
  s.SendKeys("Enter");
  ASSERT_TRUE(s.WaitFor("page 3 of 4")) << s.Capture();
  s.SendKeys("Enter");
  ASSERT_TRUE(s.WaitFor("page 4 of 4")) << s.Capture();
  EXPECT_FALSE(run.HasForward());
  EXPECT_EQ(run.ColumnOf(run.BarRow(), "Backward   Save"), 2) << s.Line(run.BarRow());
  EXPECT_EQ(run.ColumnOf(3, "Key 55:"), 20) << s.Capture();

  // Wider and taller: the page that holds key 55, everything 26 columns to the right.
  s.Resize(132, 43);
  ASSERT_TRUE(s.WaitFor("page 2 of 2")) << s.Capture();
  ASSERT_TRUE(run.WaitForBar());
  EXPECT_EQ(run.ColumnOf(1, "Display CPU Information"), 54) << s.Capture();
  EXPECT_EQ(run.ColumnOf(3, "Key 38: value 38"), 46) << s.Capture();
  EXPECT_NE(s.Capture().find("Key 55: value 55"), std::string::npos);
  EXPECT_EQ(run.ColumnOf(41, "page 2 of 2"), 95);
  EXPECT_EQ(run.ColumnOf(run.BarRow(), "Backward   Save"), 28);

  // Too small while the help box is open: only the notice; back to 80x24 the help box is
  // drawn again, and once it is closed the report shows the page of key 38, the first one
  // read.
  run.Press("Help");
  ASSERT_TRUE(s.WaitFor(sHelpText)) << s.Capture();
  s.Resize(40, 12);
  ASSERT_TRUE(s.WaitFor("Terminal too small: 40x12.")) << s.Capture();
  EXPECT_EQ(s.Capture().find("Key"), std::string::npos) << s.Capture();
  s.Resize(80, 24);
  ASSERT_TRUE(s.WaitFor(sHelpText)) << s.Capture();
  s.SendKeys("Enter");
  ASSERT_TRUE(s.WaitFor("page 3 of 4")) << s.Capture();
  ASSERT_TRUE(run.WaitForBar());
  EXPECT_EQ(run.ColumnOf(1, "Display CPU Information"), 28) << s.Capture();
  EXPECT_NE(s.Capture().find("Key 38: value 38"), std::string::npos) << s.Capture();
  EXPECT_EQ(run.ColumnOf(3, "Key 37: value 37"), 20) << s.Capture();
  EXPECT_TRUE(run.HasForward() && run.HasButton("Backward"));
  run.Press("Backward");
  ASSERT_TRUE(s.WaitFor("page 2 of 4")) << s.Capture();
  s.SendKeys("Escape");  // Return
  run.ExpectEnds(0);
}

TEST(DsysE2E, Utf8OutputKeepsItsColumns) {
  DsysSetup setup;
  setup.env = {{"LANG", "C.UTF-8"}};
  setup.standIns["lscpu"] = "printf 'Modèle:   Processeur à 日本\\nVendor:   x\\n'";
  DsysRun run("-cpu", setup);
  TmuxSession &s = run.S();
  ASSERT_TRUE(run.WaitForBar()) << s.Capture();
  // The key ends at column 26 as an ASCII one does, its value starts at 28.
  EXPECT_EQ(s.Cell(3, 23).sText, "è") << s.Capture();
  EXPECT_EQ(s.Cell(3, 26).sText, ":");
  EXPECT_EQ(s.Cell(4, 26).sText, ":");
  EXPECT_EQ(s.Cell(3, 28).sText, "P");
  EXPECT_EQ(s.Cell(3, 39).sText, "à");
  EXPECT_EQ(s.Cell(3, 41).sText, "日");
  run.Press("Exit");
  run.ExpectEnds(9);
}

TEST(DsysE2E, UsageOnDoubleDashHelpAndDashH) {
  for (const std::vector<std::string> &asArgs :
       {std::vector<std::string>{"--help"}, {"-cpu", "-h"}, {"-help", "text", "--help"}}) {
    std::vector<std::string> asCommand = {std::string(ORVIK_BIN_DIR) + "/orvikdsys"};
    asCommand.insert(asCommand.end(), asArgs.begin(), asArgs.end());
    std::string sOutput;
    EXPECT_EQ(RunProgram(asCommand, &sOutput), 0) << asArgs.back();
    EXPECT_EQ(sOutput.rfind("Usage: orvikdsys ", 0), 0u) << sOutput;
    EXPECT_NE(sOutput.find("\nOptions:\n"), std::string::npos);
    EXPECT_NE(sOutput.find("  --help, -h "), std::string::npos);
    EXPECT_NE(sOutput.find("\nManual: man orvikdsys\n"), std::string::npos);
  }
  // "help" keeps its summary and status 1; "-h" as the text of "-help" is no option.
  std::string sOutput;
  EXPECT_EQ(RunProgram({std::string(ORVIK_BIN_DIR) + "/orvikdsys", "-help", "-h", "help"}, &sOutput), 1);
  EXPECT_NE(sOutput.find("orvikdsys provides the following runtime options:"), std::string::npos)
      << sOutput;
  EXPECT_EQ(sOutput.find("Usage:"), std::string::npos);
}

TEST(DsysE2E, DmiReportOnA120x40TerminalMovesRightAndPages) {
  DsysSetup setup;
  setup.env = {{"DSYS_DMI_SOURCE", "linuxhw-ampere-altra"}};
  setup.nColumns = 120;
  setup.nRows = 40;
  DsysRun run("-mdmi", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  TmuxSession &s = run.S();
  // Everything 20 to the right: the heading ends at 46, the next key too, its value at 48.
  EXPECT_EQ(run.ColumnOf(3, "Memory Device"), 34) << s.Capture();
  EXPECT_EQ(s.Cell(3, 34).nBackground, s.Cell(4, 48).nForeground) << "colours swapped";
  EXPECT_EQ(run.ColumnOf(4, "Total Width"), 36) << s.Capture();
  EXPECT_EQ(run.ColumnOf(4, "72 bits"), 48);
  EXPECT_EQ(run.ColumnOf(run.BarRow(), "Forward"), 22);
  EXPECT_GE(run.PageToTheEnd(), 4) << "192 lines over 34 rows a page";
  run.Press("Exit");
  run.ExpectEnds(9);
}

TEST(DsysE2E, SaveWritesTheReportFileAndPrintReachesTheQueue) {
  const std::string sBios =
      ReadTextFile(std::string(ORVIK_FIXTURE_DIR) + "/fusioninventory-dell-r640-dmidecode-t-bios-q.txt");
  const std::string sTitle = "Display Basic Input Output System (BIOS) Information";
  DsysSetup setup;
  setup.env = {{"DSYS_DMI_SOURCE", "fusioninventory-dell-r640"}};
  {
    DsysRun run("-bios", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    EXPECT_EQ(run.ColumnOf(3, "BIOS Information"), 2) << "whole-line heading keeps column 2";
    EXPECT_EQ(run.ColumnOf(4, "Vendor: Dell Inc."), 10) << "tab expanded";
    run.Press("Save");
    ASSERT_TRUE(run.S().WaitFor("Report saved in file: ")) << run.S().Capture();
    std::smatch match;
    std::string sScreen = run.S().Capture();
    ASSERT_TRUE(std::regex_search(
        sScreen, match,
        std::regex("Report saved in file: (/tmp/OrvikDsys\\.-bios\\.[0-9]{8}\\.[0-9]{6}\\.txt)\\.")))
        << sScreen;
    EXPECT_EQ(ReadTextFile(match[1]), sTitle + ":\n\n" + sBios);
    struct stat sSaved {};
    EXPECT_EQ(lstat(std::string(match[1]).c_str(), &sSaved), 0);
    EXPECT_EQ(sSaved.st_mode & 07777, 0600u);
    std::remove(std::string(match[1]).c_str());
    run.S().SendKeys("Enter");
    run.ExpectEnds(0);
  }
  {
    // Another user made the report's name first (every second of the next half minute, in
    // the program's time zone): the report is refused on screen, that file stays as it was.
    std::vector<std::string> asPlanted;
    const std::time_t nNow = std::time(nullptr);
    for (std::time_t t = nNow - 2; t < nNow + 30; ++t) {
      std::tm sTime{};
      gmtime_r(&t, &sTime);
      char szName[80];
      std::strftime(szName, sizeof szName, "/tmp/OrvikDsys.-bios.%Y%m%d.%H%M%S.txt", &sTime);
      std::ofstream(szName) << "theirs\n";
      ASSERT_EQ(chown(szName, 65534, 65534), 0);
      ASSERT_EQ(chmod(szName, 0666), 0);
      asPlanted.push_back(szName);
    }
    DsysSetup foreign = setup;
    foreign.env["TZ"] = "UTC";
    DsysRun run("-bios", foreign);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    run.Press("Save");
    EXPECT_TRUE(run.S().WaitFor("Not saved, another user's file: /tmp/OrvikDsys.-bios.")) << run.S().Capture();
    run.S().SendKeys("Enter");
    run.ExpectEnds(8);
    EXPECT_NE(run.home.ReadLog().find("SaveTempDataFile: Refusing to replace file: /tmp/OrvikDsys.-bios."),
              std::string::npos) << run.home.ReadLog();
    for (const std::string &sName : asPlanted) {
      struct stat sInfo {};
      EXPECT_EQ(lstat(sName.c_str(), &sInfo), 0);
      EXPECT_EQ(sInfo.st_uid, 65534u) << sName;
      EXPECT_EQ(sInfo.st_mode & 07777, 0666u) << sName;
      EXPECT_EQ(ReadTextFile(sName), "theirs\n") << sName;
      std::remove(sName.c_str());
    }
  }
  {
    // A print service that cannot be reached: lpr's own words in a red box, then 8, logged.
    setup.env["CUPS_SERVER"] = "/nonexistent/cups.sock";
    DsysRun run("-bios", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    run.Press("Print");
    ASSERT_TRUE(run.pRun->FailureBox("Not printed: lpr: Error - No default destination."));
    EXPECT_EQ(run.S().Cell(8, 2).nBackground, 1) << run.S().Capture();
    EXPECT_TRUE(run.S().IsRunning());
    run.S().SendKeys("Enter");
    run.ExpectEnds(8);
    EXPECT_EQ(run.S().Capture().find("Report printed."), std::string::npos);
    EXPECT_NE(run.home.ReadLog().find("PrintData: lpr refused the job, status: 256, error: lpr: "
                                      "Error - No default destination.  Title: "),
              std::string::npos)
        << run.home.ReadLog();
  }
  ORVIK_REQUIRE_PRINT();
  std::size_t nFrom = PrintOutputSize();
  setup.env["CUPS_SERVER"] = CupsServer();
  DsysRun run("-bios", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  run.Press("Print");
  ASSERT_TRUE(run.S().WaitFor("Report printed.")) << run.S().Capture();
  std::string sPrinted;
  EXPECT_TRUE(WaitForPrinted(sTitle + "\n\n" + sBios + "\n", nFrom, 15000, &sPrinted)) << sPrinted;
  run.S().SendKeys("Enter");
  run.ExpectEnds(0);
}

TEST(DsysE2E, FailuresEmptyOutputAndInterrupt) {
  {
    // dmidecode fails as on a machine without DMI tables (the stand-in says what this
    // machine's says on its error output and ends with 1): its words in a red box, no
    // report panel, then 8.
    DsysRun run("-mdmi");
    ASSERT_TRUE(run.pRun->FailureBox("sudo dmidecode -t 17 -q failed: /dev/mem: No such file"));
    EXPECT_EQ(run.S().Cell(8, 2).nBackground, 1) << run.S().Capture();
    EXPECT_TRUE(run.S().IsRunning());
    run.S().SendKeys("Enter");
    run.ExpectEnds(8);
    EXPECT_EQ(run.S().Capture().find("Display Memory DMI"), std::string::npos);
    EXPECT_NE(run.home.ReadLog().find("ExecuteCommand: Unable to close popen file.  Command: "
                                      "sudo dmidecode -t 17 -q"),
              std::string::npos)
        << run.home.ReadLog();
  }
  {
    // Errors without a box of their own show the first logged error before the end.
    DsysRun run("-class Disk");
    ASSERT_TRUE(run.pRun->FailureBox("Invalid class specified: Disk."));
    run.S().SendKeys("Enter");
    run.ExpectEnds(8);
    EXPECT_NE(run.home.ReadLog().find("Invalid class specified: Disk."), std::string::npos);
  }
  // A config.ini that does not load: the loader's sentence in a red box, then 8.
  std::string sSystems;
  for (int i = 1; i <= 101; i++)
    sSystems += "RemoteSystem 10.0.1." + std::to_string(i) + " 22 s" + std::to_string(i) + " root\n";
  for (const auto &[sConfig, sSentence] :
       {std::pair<std::string, std::string>{sSystems, "Too many RemoteSystem commands"},
        {"RemoteSystem 10.0.0.5 22 web1 root\r\nPanelForegroundColor is White\r\n",
         "PanelForegroundColor statement has invalid color specified: White^M."}}) {
    DsysSetup bad;
    bad.config = sConfig;
    bad.nColumns = 160;
    DsysRun run("-cpu", bad);
    ASSERT_TRUE(run.pRun->FailureBox("Configuration " + run.home.sOrvikDir +
                                     "/config.ini not loaded: " + sSentence));
    EXPECT_EQ(run.S().Capture().find("Display CPU"), std::string::npos);
    run.S().SendKeys("Enter");
    run.ExpectEnds(8);
    EXPECT_EQ(ReadTextFile(run.home.sOrvikDir + "/config.ini"), sConfig);
  }
  DsysSetup setup;
  setup.standIns["lscpu"] = "exit 0";   // an lscpu without output
  DsysRun run("-cpu", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  EXPECT_EQ(run.ColumnOf(3, "No cpu information found."), 28) << run.S().Capture();
  EXPECT_FALSE(run.HasForward());
  run.S().SendKeys("C-c");
  run.ExpectEnds(2);
  EXPECT_TRUE(run.S().WaitFor("Orvik orvikdsys Termination due to User Interrupt (Ctrl-c)."));
}

// An output longer than the first 128 KiB area is asked for again with a larger one and kept
// whole; one longer than 16 MiB is said in a box.
TEST(DsysE2E, LongOutputIsKeptWholeAndTooLongOneIsSaid) {
  {
    DsysSetup setup;
    setup.standIns["lscpu"] = "i=0; while [ $i -lt 3000 ]; do i=$((i+1)); "
                   "printf 'Key %04d:  %070d\\n' $i $i; done";
    setup.env["TZ"] = "UTC";
    DsysRun run("-cpu", setup);
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
    EXPECT_NE(run.S().Line(3).find("Key 0001:"), std::string::npos) << run.S().Capture();
    EXPECT_TRUE(run.HasForward());
    run.Press("Save");
    ASSERT_TRUE(run.S().WaitFor("Report saved in file: ")) << run.S().Capture();
    std::smatch match;
    std::string sScreen = run.S().Capture();
    ASSERT_TRUE(std::regex_search(sScreen, match, std::regex("(/tmp/OrvikDsys\\.-cpu\\.[0-9.]+txt)")))
        << sScreen;
    const std::string sSaved = ReadTextFile(match[1]);
    std::remove(std::string(match[1]).c_str());
    EXPECT_GT(sSaved.size(), 3000u * 80u);
    EXPECT_NE(sSaved.find("Key 3000:  " + std::string(66, '0') + "3000\n"), std::string::npos);
    run.S().SendKeys("Enter");
    run.ExpectEnds(0);
  }
  DsysSetup setup;
  setup.standIns["lscpu"] = "head -c 17000000 /dev/zero | tr '\\0' 'x' | fold -w 99";
  DsysRun run("-cpu", setup);
  ASSERT_TRUE(run.pRun->FailureBox("The output of lscpu is longer than 16 MiB.", 30000));
  run.S().SendKeys("Enter");
  run.ExpectEnds(8);
}

TEST(DsysE2E, HelpAndForwardDrawIntoTheSameFields) {
  // Every page used to create its fields and buttons anew in the panel heap (about 17 KB a
  // time); twelve Help presses then filled a second 128 KB chunk, which the dump tells.
  DsysSetup setup;
  setup.env = {{"ORVIKDUMP", "Yes"}};
  DsysRun run("-cpu", setup);
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  for (int i = 0; i < 12; i++) {
    run.Press("Help");
    ASSERT_TRUE(run.S().WaitFor(sHelpText)) << run.S().Capture();
    run.S().SendKeys("Enter");
    ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  }
  run.PageToTheEnd();
  run.Press("Exit");
  run.ExpectEnds(9);
  std::string sLog = run.home.ReadLog();
  std::string::size_type nChunks = 0;
  for (std::string::size_type n = sLog.find("OVDeletePanel: psHeap Address"); n != std::string::npos;
       n = sLog.find("OVDeletePanel: psHeap Address", n + 1))
    nChunks++;
  EXPECT_EQ(nChunks, 1u);
}

TEST(DsysE2E, PasswordPromptIsReadableAndAnsweredAfterACursesParent) {
  // The terminal as a menu in curses mode leaves it: single keys with a time-out, no echo,
  // Enter not turned into a newline; and its screen still shows.
  DsysSetup setup;
  setup.env = {{"DSYS_DMI_SOURCE", "fusioninventory-dell-r640"}, {"DSYS_SUDO_PASSWORD", "s3cret"}};
  setup.sBefore = "printf 'left behind by the caller'; stty -icanon -icrnl -echo min 0 time 2; ";
  DsysRun run("-pmarray", setup);
  ASSERT_TRUE(run.S().WaitFor("[sudo] password for tester:")) << run.S().Capture();
  EXPECT_EQ(run.S().Line(1), "[sudo] password for tester:") << "alone on a clear screen";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // longer than the time-out
  run.S().SendLiteral("s3cret");
  run.S().SendKeys("Enter");
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  EXPECT_NE(run.S().Capture().find("Physical Memory Array"), std::string::npos);
  run.Press("Exit");
  run.ExpectEnds(9);
}

TEST(DsysE2E, ReportComesFromTheConnectedSystem) {
  ORVIK_REQUIRE_SSH();
  DsysSetup setup;
  setup.config = "RemoteSystem " + SshHost() + " " + SshPort() + " test " + SshUser() + " Connected\n";
  DsysRun run("-cpu", setup);
  ASSERT_TRUE(run.S().WaitFor("Display CPU Information: " + SshHost(), 30000)) << run.S().Capture();
  ASSERT_TRUE(run.WaitForBar()) << run.S().Capture();
  EXPECT_EQ(run.ColumnOf(3, "Architecture:"), 14) << run.S().Capture();
  run.Press("Return");
  run.ExpectEnds(0);
}
