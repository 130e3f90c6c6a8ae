// Each way a step can fail, end to end: the user sees one red box, and the log holds one
// error line for it.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include "test_services.h"
#include "session.h"

namespace {

struct FAILURE {
  const char *pszName;
  std::function<bool()> fnRequired;                   // the services the row needs, checked
  std::string sProgram;                               // below ORVIK_BIN_DIR
  std::string sArgs;
  std::function<std::string()> fnConfig;              // config.ini, "" for none
  std::map<std::string, std::string> standIns;        // commands first in PATH: name, shell text
  std::map<std::string, std::string> env;
  std::string sReady;                                 // on screen before the keys are sent
  std::string sKeys;                                  // what leads to the failure
  std::string sBox;                                   // the box's text, or its start
  int nStatus;                                        // the exit after the box; -1: carries on
  std::string sAfter;                                 // on screen again when it carries on
};

// A failing row is named by its name, not by the bytes of its record.
void PrintTo(const FAILURE &sCase, std::ostream *pOut) { *pOut << sCase.pszName; }

int ErrorLines(const std::string &sLog) {
  int nLines = 0;
  std::istringstream in(sLog);
  for (std::string sLine; std::getline(in, sLine);)
    if (sLine.size() >= 26 && sLine.compare(18, 8, "Error   ") == 0) nLines++;
  return nLines;
}

bool NeedsDeadLink() {
  RequireSshExtra(SshExtra::kDeadLink);
  return !::testing::Test::HasFatalFailure();
}

// sudo as root needs no password; the stand-in spares the test the real one's prompts.
const std::pair<const std::string, std::string> sSudo = {
    "sudo", "[ \"$1\" = -n ] && shift\nexec \"$@\""};

const FAILURE asFailure[] = {
    {"UnreachableSystemPing", NeedsDeadLink, "orvikconn", "-help Connections",
     [] { return "RemoteSystem " + DeadHost() + " " + DeadPort() + " dead " + SshUser() + "\n"; },
     {}, {}, "> dead", "Tab Tab Enter", "No answer: ", -1, "Last ping"},
    {"FailedReportCommand", nullptr, "orvikdsys", "-help CPU -cpu", [] { return std::string(); },
     {sSudo, {"lscpu", "echo 'lscpu: cannot read /proc/cpuinfo' >&2\nexit 3"}}, {}, "", "",
     "lscpu: cannot read /proc/cpuinfo", 8, ""},
    {"FailedPrint", nullptr, "orvikdsys", "-help BIOS -bios", [] { return std::string(); },
     {sSudo, {"dmidecode", "echo 'BIOS Information'\necho '        Vendor: Orvik'"}},
     {{"CUPS_SERVER", "/nonexistent/cups.sock"}}, "Return   Exit", "Tab Enter",
     "Not printed: lpr: Error - No default destination.", 8, ""},
    {"BadConfigIni", nullptr, "orvikpref", "-help Preferences",
     [] { return std::string("PanelAttribute is Sparkling\n"); }, {}, {}, "", "",
     "invalid attribute specified: Sparkling", 8, ""},
};

class FailureTest : public ::testing::TestWithParam<FAILURE> {};

TEST_P(FailureTest, ShowsOneBoxAndLogsOneErrorLine) {
  const FAILURE &sCase = GetParam();
  if (sCase.fnRequired && !sCase.fnRequired()) return;
  TestHome home;
  ProgramSetup setup;
  setup.sProgram = sCase.sProgram;
  setup.sArgs = sCase.sArgs;
  if (const std::string sConfig = sCase.fnConfig(); !sConfig.empty()) setup.config = sConfig;
  setup.standIns = sCase.standIns;
  setup.env = sCase.env;
  ProgramSession run(home, setup);
  TmuxSession &session = run.Screen();

  if (!sCase.sReady.empty()) {
    ASSERT_TRUE(session.WaitFor(sCase.sReady, 10000)) << session.Capture();
  }
  if (!sCase.sKeys.empty()) session.SendKeys(sCase.sKeys);
  // A dead link answers once ssh gives up connecting.
  ASSERT_TRUE(session.WaitFor(sCase.sBox, 40000)) << session.Capture();
  int nRow = 1, nColumn = 0;
  for (; nRow <= run.Rows() && nColumn == 0; nRow++) nColumn = ColumnOf(session, nRow, sCase.sBox);
  nRow--;
  // Left of its text on that row stands the box's side, in red.
  int nFrame = 0;
  const std::vector<CellStyle> asCell = session.Row(nRow);
  for (int i = 0; i + 1 < nColumn && nFrame == 0; i++)
    if (asCell[i].nBackground == 1) nFrame = i + 1;
  ASSERT_GT(nFrame, 0) << session.Capture();

  // One key closes it, and no other box comes after it.
  session.SendKeys("Enter");
  if (sCase.nStatus >= 0) {
    EXPECT_TRUE(run.Ends(sCase.nStatus));
  } else {
    ASSERT_TRUE(session.WaitForGone(sCase.sBox)) << session.Capture();
    ASSERT_TRUE(session.WaitFor(sCase.sAfter)) << session.Capture();
    EXPECT_TRUE(WaitForCell(session, nRow, nFrame,
                            [](const CellStyle &sCell) { return sCell.nBackground != 1; }))
        << session.Capture();
  }
  EXPECT_EQ(ErrorLines(home.ReadLog()), 1) << home.ReadLog();
}

INSTANTIATE_TEST_SUITE_P(Failures, FailureTest, ::testing::ValuesIn(asFailure),
                         [](const ::testing::TestParamInfo<FAILURE> &info) {
                           return std::string(info.param.pszName);
                         });

}  // namespace
