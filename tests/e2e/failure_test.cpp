// Each way a step can fail, end to end: the user sees one red box, and the log holds one
// error line for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <utility>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "test_services.h"
#include "session.h"

namespace {

using UNDO = std::vector<std::function<void()>>;

struct FAILURE {
  const char *pszName;
  std::function<bool()> fnRequired;                   // the services the row needs, checked
  std::string sProgram;                               // below ORVIK_BIN_DIR
  std::string sArgs;
  std::function<std::string()> fnConfig;              // config.ini, "" for none
  std::map<std::string, std::string> standIns;        // commands first in PATH: name, shell text
  std::map<std::string, std::string> env;
  std::string sReady;                                 // on screen before the keys are sent
  // What keys alone cannot lead to, done after sReady; what it leaves outside the home it
  // undoes through the list, at the end.
  std::function<bool(ProgramSession &, UNDO *)> fnReach;
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

bool NeedsSsh() {
  RequireSshService();
  return !::testing::Test::HasFatalFailure();
}

std::string ConnectedSystem() {
  return "RemoteSystem " + SshHost() + " " + SshPort() + " test " + SshUser() + " Connected\n";
}

// Clicks each entry in turn from the browser's first folder, turning pages to find it; the
// last one is a file, whose detail page then offers Copy.
bool OpenRemoteFile(ProgramSession &run, const std::vector<std::string> &asEntry) {
  std::string sFolder = "/";
  for (const std::string &sEntry : asEntry) {
    for (int nPage = 2; !run.HasButton(sEntry); nPage++) {
      const std::string sBefore = run.Screen().Capture();
      if (nPage > 50 || !run.HasButton("Forward") || !run.Press("Forward") ||
          !run.WaitForChange(sBefore, "page " + std::to_string(nPage)))
        return false;
    }
    const std::string sBefore = run.Screen().Capture();
    sFolder += sEntry;
    const bool bFolder = sEntry.back() == '/';
    if (!run.Press(sEntry) ||
        !run.WaitForChange(sBefore, bFolder ? ":" + sFolder : "Copy   Help   Return   Exit"))
      return false;
  }
  return true;
}

// Runs a shell command on the test server.
bool RemoteShell(const std::string &sCommand) {
  return RunProgram({"ssh", "-n", "-p", SshPort(), SshUser() + "@" + SshHost(), sCommand},
                    nullptr) == 0;
}

// Walks to a file of the connected system and presses Copy; with bTaken another user's file
// stands at the copy's name in /tmp.
bool CopyRemoteFile(ProgramSession &run, UNDO *pafnUndo, bool bTaken) {
  const std::string sName =
      std::filesystem::path(run.Home().sRoot).filename().string() + ".txt";
  const std::string sPath = "/tmp/" + sName;
  pafnUndo->push_back([sPath] { RemoteShell("rm -f " + sPath); });
  if (bTaken) {
    pafnUndo->push_back([sPath] { std::filesystem::remove(sPath); });
    std::ofstream(sPath) << "theirs\n";
    if (chown(sPath.c_str(), 65534, 65534) != 0) return false;
  }
  return RemoteShell("echo remote text > " + sPath) && OpenRemoteFile(run, {"tmp/", sName}) &&
         run.Press("Copy");
}

// ssh as it ends when the link drops while the file comes: every other step gets the real one.
const std::pair<const std::string, std::string> sCopyLinkDrops = {
    "ssh", "case \"$*\" in *'exec cat'*) echo 'Connection closed by remote host' >&2; exit 255;;"
           " esac\nPATH=${PATH#*:} exec ssh \"$@\""};

// sudo as root needs no password; the stand-in spares the test the real one's prompts.
const std::pair<const std::string, std::string> sSudo = {
    "sudo", "[ \"$1\" = -n ] && shift\nexec \"$@\""};

const FAILURE asFailure[] = {
    {"UnreachableSystemPing", NeedsDeadLink, "orvikconn", "-help Connections",
     [] { return "RemoteSystem " + DeadHost() + " " + DeadPort() + " dead " + SshUser() + "\n"; },
     {}, {}, "> dead", nullptr, "Tab Tab Enter", "No answer: ", -1, "Last ping"},
    {"FailedReportCommand", nullptr, "orvikdsys", "-help CPU -cpu", [] { return std::string(); },
     {sSudo, {"lscpu", "echo 'lscpu: cannot read /proc/cpuinfo' >&2\nexit 3"}}, {}, "", nullptr,
     "", "lscpu: cannot read /proc/cpuinfo", 8, ""},
    {"FailedPrint", nullptr, "orvikdsys", "-help BIOS -bios", [] { return std::string(); },
     {sSudo, {"dmidecode", "echo 'BIOS Information'\necho '        Vendor: Orvik'"}},
     {{"CUPS_SERVER", "/nonexistent/cups.sock"}}, "Return   Exit", nullptr, "Tab Enter",
     "Not printed: lpr: Error - No default destination.", 8, ""},
    {"BadConfigIni", nullptr, "orvikpref", "-help Preferences",
     [] { return std::string("PanelAttribute is Sparkling\n"); }, {}, {}, "", nullptr, "",
     "invalid attribute specified: Sparkling", 8, ""},
    {"CopyOntoAnotherUsersFile", NeedsSsh, "orvikfsys", "-help Browse", ConnectedSystem, {}, {},
     "Directory/File Name",
     [](ProgramSession &run, UNDO *pafnUndo) { return CopyRemoteFile(run, pafnUndo, true); },
     "", "Not copied, another user's file: /tmp/", -1, "Directory/File Name"},
    {"CopyLinkDrops", NeedsSsh, "orvikfsys", "-help Browse", ConnectedSystem, {sCopyLinkDrops},
     {}, "Directory/File Name",
     [](ProgramSession &run, UNDO *pafnUndo) { return CopyRemoteFile(run, pafnUndo, false); },
     "", "): Connection closed by remote host", -1, "Directory/File Name"},
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
  UNDO afnUndo;
  struct Undoer {
    UNDO &afn;
    ~Undoer() { for (const auto &fnUndo : afn) fnUndo(); }
  } undoer{afnUndo};
  ProgramSession run(home, setup);
  TmuxSession &session = run.Screen();

  if (!sCase.sReady.empty()) {
    ASSERT_TRUE(session.WaitFor(sCase.sReady, 10000)) << session.Capture();
  }
  if (sCase.fnReach) {
    ASSERT_TRUE(sCase.fnReach(run, &afnUndo)) << session.Capture();
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
