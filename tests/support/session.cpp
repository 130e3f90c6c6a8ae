// session.cpp - one program in tmux with its own home: waits, buttons, boxes, layout, ending.
#include "session.h"

#include "orviklib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

// The log is not one of the files a program must take away at its end.
const std::string kDefaultLog = "OrvikLog.txt";

std::vector<std::string> ScreenRows(const std::string &sScreen) {
  std::vector<std::string> asRow;
  std::istringstream lines(sScreen);
  for (std::string sLine; std::getline(lines, sLine);) asRow.push_back(sLine);
  return asRow;
}

int ColumnAt(const std::string &sLine, std::size_t nByte) {
  return OVDisplayWidth(std::string_view(sLine).substr(0, nByte)) + 1;
}

bool Alive(pid_t nPid) { return nPid > 0 && (kill(nPid, 0) == 0 || errno == EPERM); }

// The /tmp/Orvik* files (names only) that the process holds open.
void AddOpenTempFiles(const std::string &sPid, std::set<std::string> *pasName) {
  std::error_code error;
  for (const auto &fd : std::filesystem::directory_iterator("/proc/" + sPid + "/fd", error)) {
    const std::string sTarget = std::filesystem::read_symlink(fd.path(), error).string();
    if (sTarget.rfind("/tmp/Orvik", 0) == 0) pasName->insert(sTarget.substr(5));
  }
}

// The /tmp/Orvik* files that processes outside anSkip hold open.
std::set<std::string> HeldByOthers(const std::set<pid_t> &anSkip) {
  std::set<std::string> asName;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string sPid = entry.path().filename().string();
    if (sPid.empty() || !std::isdigit(static_cast<unsigned char>(sPid[0]))) continue;
    if (anSkip.count(static_cast<pid_t>(std::stol(sPid))) == 0) AddOpenTempFiles(sPid, &asName);
  }
  return asName;
}

}  // namespace

std::set<std::string> OrvikTempFiles() {
  std::set<std::string> asName;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/tmp", error)) {
    std::string sName = entry.path().filename().string();
    if (sName.rfind("Orvik", 0) == 0 && sName != kDefaultLog) asName.insert(sName);
  }
  return asName;
}

ProgramSetup MenuSetup(const TestHome &home, const std::string &sMenuFile) {
  ProgramSetup setup;
  setup.sProgram = "orvik";
  setup.sArgs = "-f " +
                ShellQuote(sMenuFile.empty() ? std::string(ORVIK_SOURCE_DIR) + "/share/orvik.xml"
                                             : sMenuFile) +
                " -d " + ShellQuote(home.sOrvikDir) + " -l " + ShellQuote(home.sLogFile);
  return setup;
}

pid_t PidInTempName(const std::string &sName) {
  const auto nDot = sName.find('.');
  if (nDot == std::string::npos) return 0;
  std::size_t nEnd = nDot + 1;
  while (nEnd < sName.size() && std::isdigit(static_cast<unsigned char>(sName[nEnd]))) ++nEnd;
  if (nEnd == nDot + 1 || nEnd >= sName.size() || sName[nEnd] != '.') return 0;
  return static_cast<pid_t>(std::stol(sName.substr(nDot + 1, nEnd - nDot - 1)));
}

std::string SanitizerOptions(const std::string &sMore) {
  const char *pszOptions = std::getenv("ASAN_OPTIONS");
  return pszOptions != nullptr && *pszOptions != '\0' ? std::string(pszOptions) + ":" + sMore
                                                      : sMore;
}

ProgramSession::ProgramSession(const TestHome &home, const ProgramSetup &setup)
    : m_home(home), m_setup(setup) {
  if (setup.config) home.WriteFile("config.ini", *setup.config);
  TmuxOptions options;
  options.nColumns = setup.nColumns;
  options.nRows = setup.nRows;
  options.env = home.Env();
  for (const auto &[sName, sValue] : setup.env) options.env[sName] = sValue;
  options.sWorkDir = setup.sWorkDir.empty() ? home.sRoot : setup.sWorkDir;
  options.bHoldAtEnd = true;
  if (!setup.standIns.empty()) {
    const std::string sFolder = home.sRoot + "/bin";
    std::filesystem::create_directories(sFolder);
    for (const auto &[sName, sScript] : setup.standIns) {
      std::ofstream(sFolder + "/" + sName) << "#!/bin/sh\n" << sScript << "\n";
      std::filesystem::permissions(sFolder + "/" + sName, std::filesystem::perms::owner_all);
    }
    const char *pszPath = std::getenv("PATH");
    options.env["PATH"] = sFolder + ":" + (options.env.count("PATH") ? options.env["PATH"]
                                           : pszPath != nullptr ? pszPath : "");
  }
  m_asTempBefore = OrvikTempFiles();
  const std::string sCommand = setup.sBefore +
                               ShellQuote(std::string(ORVIK_BIN_DIR) + "/" + setup.sProgram) +
                               (setup.sArgs.empty() ? "" : " " + setup.sArgs) +
                               (setup.sAfter.empty() ? "" : "; nOrvikStatus=$?; " + setup.sAfter +
                                                                "; exit $nOrvikStatus");
  m_pScreen = std::make_unique<TmuxSession>(sCommand, options);
  NoteProcesses();
}

ProgramSession::~ProgramSession() {
  if (m_bChecked) return;
  // Ending tmux hangs the pane's programs up, an ending like any other.
  NoteProcesses();
  m_pScreen.reset();
  const std::vector<std::string> asLeft = OwnTempFiles();
  std::string sLeft;
  for (const std::string &sName : asLeft) sLeft += " /tmp/" + sName;
  if (!sLeft.empty()) ADD_FAILURE() << m_setup.sProgram << " left behind:" << sLeft;
}

pid_t ProgramSession::Pid() const { return m_pScreen->ProgramPid(m_setup.sProgram); }

void ProgramSession::NoteProcesses() const {
  for (pid_t nPid : m_pScreen->Processes()) {
    m_anSeen.insert(nPid);
    AddOpenTempFiles(std::to_string(nPid), &m_asTempOpened);
  }
}

bool ProgramSession::WaitUntil(const std::function<bool()> &check, const std::string &sWhat,
                               int nMillis) const {
  if (PollUntil([&] { NoteProcesses(); return check(); }, nMillis)) return true;
  std::cerr << "session: waiting for " << sWhat << " timed out; screen:\n"
            << m_pScreen->Capture() << "\n-- end of screen --\n";
  return false;
}

bool ProgramSession::WaitFor(const std::string &sText, int nMillis) const {
  return WaitUntil([&] { return m_pScreen->Capture().find(sText) != std::string::npos; },
                   "\"" + sText + "\"", nMillis);
}

bool ProgramSession::WaitForLog(const std::string &sText, int nMillis, int nTimes) const {
  return WaitUntil([&] { return CountOf(m_home.ReadLog(), sText) >= nTimes; },
                   "the log line \"" + sText + "\"", nMillis);
}

bool ProgramSession::WaitForChange(const std::string &sBefore, const std::string &sHolds,
                                   int nMillis) const {
  return WaitUntil(
      [&] {
        const std::string sNow = m_pScreen->Capture();
        if (sNow == sBefore || sNow.find(sHolds) == std::string::npos) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return m_pScreen->Capture() == sNow;
      },
      "a new screen holding \"" + sHolds + "\"", nMillis);
}

ScreenText ProgramSession::FindButton(const std::string &sLabel) const {
  const std::vector<std::string> asRow = ScreenRows(m_pScreen->Capture());
  for (int nRow = static_cast<int>(asRow.size()); nRow >= 1; --nRow) {
    const std::string &sLine = asRow[nRow - 1];
    for (auto nAt = sLine.find(sLabel); nAt != std::string::npos;
         nAt = sLine.find(sLabel, nAt + 1)) {
      const auto nEnd = nAt + sLabel.size();
      if ((nAt == 0 || sLine[nAt - 1] == ' ') && (nEnd == sLine.size() || sLine[nEnd] == ' '))
        return {nRow, ColumnAt(sLine, nAt), sLabel};
    }
  }
  return {0, 0, ""};
}

bool ProgramSession::Press(const std::string &sLabel) {
  // The screen may be in the middle of being drawn again: the button is waited for.
  ScreenText place{0, 0, ""};
  PollUntil([&] { place = FindButton(sLabel); return place.nRow != 0; }, 5000);
  if (place.nRow == 0) {
    ADD_FAILURE() << "no button \"" << sLabel << "\" on\n" << m_pScreen->Capture();
    return false;
  }
  m_pScreen->Click(place.nRow, place.nColumn);
  return true;
}

bool ProgramSession::LeaveVi(const std::string &sBack) {
  m_pScreen->SendKeys("Escape");
  m_pScreen->SendLiteral(":q!");
  m_pScreen->SendKeys("Enter");
  return WaitFor(sBack, 10000);
}

::testing::AssertionResult ProgramSession::FailureBox(const std::string &sText,
                                                      int nMillis) const {
  if (!WaitFor(sText, nMillis))
    return ::testing::AssertionFailure() << "no box says \"" << sText << "\"";
  const std::vector<std::string> asRow = ScreenRows(m_pScreen->Capture());
  for (int nRow = 1; nRow <= static_cast<int>(asRow.size()); ++nRow) {
    const auto nAt = asRow[nRow - 1].find(sText);
    if (nAt == std::string::npos) continue;
    // The frame beside the text is red.
    const std::vector<CellStyle> asCell = m_pScreen->Row(nRow);
    for (int nColumn = ColumnAt(asRow[nRow - 1], nAt) - 1; nColumn >= 1; --nColumn)
      if (asCell[nColumn - 1].nBackground == 1) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << sText << "\" is in no red frame:\n"
                                         << m_pScreen->Capture();
  }
  return ::testing::AssertionFailure() << "\"" << sText << "\" went before it was read";
}

::testing::AssertionResult ProgramSession::Shows(const std::vector<ScreenText> &asTable,
                                                 int nShift) const {
  const std::vector<std::string> asRow = ScreenRows(m_pScreen->Capture());
  std::ostringstream sMisses;
  for (ScreenText text : asTable) {
    text.nColumn += nShift;
    const std::string sLine =
        text.nRow >= 1 && text.nRow <= static_cast<int>(asRow.size()) ? asRow[text.nRow - 1] : "";
    const std::size_t nAt = OVColumnsPrefix(sLine, text.nColumn - 1);
    if (ColumnAt(sLine, nAt) == text.nColumn && sLine.compare(nAt, text.sText.size(), text.sText) == 0)
      continue;
    const auto nFound = sLine.find(text.sText);
    sMisses << "\n  row " << text.nRow << ", column " << text.nColumn << ": \"" << text.sText
            << "\" "
            << (nFound == std::string::npos ? std::string("not on the row")
                                            : "at column " + std::to_string(ColumnAt(sLine, nFound)))
            << "; the row: \"" << sLine << "\"";
  }
  if (sMisses.str().empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the screen differs:" << sMisses.str();
}

void ProgramSession::Signal(int nSignal) {
  NoteProcesses();
  const pid_t nPid = Pid();
  if (nPid > 0) kill(nPid, nSignal);
}

::testing::AssertionResult ProgramSession::Ends(int nStatus, int nMillis) {
  NoteProcesses();
  if (!m_pScreen->WaitForExit(nMillis))
    return ::testing::AssertionFailure() << m_setup.sProgram << " did not end:\n"
                                         << m_pScreen->Capture();
  const int nGot = m_pScreen->ExitStatus();
  const std::string sLeft = LeftBehind();
  if (nGot == nStatus && sLeft.empty()) return ::testing::AssertionSuccess();
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  if (nGot != nStatus) result << m_setup.sProgram << " ended with " << nGot << ", not " << nStatus << ". ";
  if (!sLeft.empty()) result << m_setup.sProgram << " left behind:" << sLeft;
  return result << "\n" << m_pScreen->Capture();
}

std::vector<std::string> ProgramSession::OwnTempFiles() const {
  // Only files that were not there at the start count. A name with a pid is the session's
  // when the pid is. A name without one is, when one of the session's processes was seen
  // holding it, or when no other process holds it and it stays: tests that run beside this
  // one make such files of their own.
  auto Own = [&](const std::string &sName, const std::set<std::string> &asHeld) {
    const pid_t nPid = PidInTempName(sName);
    if (m_asTempBefore.count(sName) != 0) return false;  // older, of a pid used again
    if (nPid != 0) return m_anSeen.count(nPid) != 0;
    return m_asTempOpened.count(sName) != 0 || asHeld.count(sName) == 0;
  };
  auto Collect = [&] {
    const std::set<std::string> asHeld = HeldByOthers(m_anSeen);
    std::vector<std::string> asOwn;
    for (const std::string &sName : OrvikTempFiles())
      if (Own(sName, asHeld)) asOwn.push_back(sName);
    return asOwn;
  };
  std::vector<std::string> asOwn = Collect();
  auto Unnamed = [](const std::vector<std::string> &asName) {
    return std::any_of(asName.begin(), asName.end(),
                       [](const std::string &s) { return PidInTempName(s) == 0; });
  };
  if (Unnamed(asOwn))
    PollUntil([&] { asOwn = Collect(); return !Unnamed(asOwn); }, 2000);
  return asOwn;
}

std::string ProgramSession::LeftBehind() {
  m_bChecked = true;
  // The pane's shell holds the terminal's session until the check is done: anything in it but
  // the shell and the wait it runs is what the program left running.
  const pid_t nShell = m_pScreen->PanePid();
  auto Parent = [](pid_t nPid) {
    const std::string sStat = ReadTextFile("/proc/" + std::to_string(nPid) + "/stat");
    std::istringstream fields(sStat.substr(sStat.rfind(')') + 1));
    std::string sState;
    long nParent = 0;
    fields >> sState >> nParent;
    return static_cast<pid_t>(nParent);
  };
  std::vector<pid_t> anLeft;
  auto Left = [&] {
    anLeft.clear();
    for (pid_t nPid : m_pScreen->Processes())
      if (nPid != nShell && Parent(nPid) != nShell && Alive(nPid)) anLeft.push_back(nPid);
    return anLeft.empty();
  };
  PollUntil(Left, 3000);
  m_pScreen->Release();
  std::string sLeft;
  for (pid_t nPid : anLeft) {
    std::string sArgs = ReadTextFile("/proc/" + std::to_string(nPid) + "/cmdline");
    std::replace(sArgs.begin(), sArgs.end(), '\0', ' ');
    sLeft += " process " + std::to_string(nPid) + " (" + sArgs.substr(0, 60) + ")";
  }
  for (const std::string &sName : OwnTempFiles()) sLeft += " /tmp/" + sName;
  return sLeft;
}
