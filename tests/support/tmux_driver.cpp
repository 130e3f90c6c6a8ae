// tmux_driver.cpp - private tmux servers, screen capture and cell styles for e2e tests.
#include "tmux_driver.h"

#include "orviklib.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <locale.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(50);


std::string MakeTempDir(const char *pszPrefix) {
  std::string sTemplate = std::string("/tmp/") + pszPrefix + "XXXXXX";
  if (mkdtemp(sTemplate.data()) == nullptr)
    throw std::runtime_error("mkdtemp " + sTemplate + ": " + std::strerror(errno));
  return sTemplate;
}

std::vector<std::string> SplitLines(const std::string &sText) {
  std::vector<std::string> lines;
  std::string::size_type nStart = 0;
  while (nStart < sText.size()) {
    auto nEnd = sText.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = sText.size();
    lines.push_back(sText.substr(nStart, nEnd - nStart));
    nStart = nEnd + 1;
  }
  return lines;
}

// Width in cells and byte length of the UTF-8 character at the front of sText.
void NextCharacter(std::string_view sText, int *pnWidth, size_t *pnBytes) {
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  *pnWidth = 1;
  *pnBytes = 1;
  if (static_cast<unsigned char>(sText[0]) < 0x80 || utf8 == static_cast<locale_t>(0)) return;
  locale_t previous = uselocale(utf8);
  std::mbstate_t state{};
  wchar_t wc = 0;
  size_t nBytes = std::mbrtowc(&wc, sText.data(), sText.size(), &state);
  if (nBytes != static_cast<size_t>(-1) && nBytes != static_cast<size_t>(-2) && nBytes > 0) {
    *pnBytes = nBytes;
    int nWidth = wcwidth(wc);
    *pnWidth = nWidth < 0 ? 1 : nWidth;
  }
  uselocale(previous);
}

// Applies one SGR parameter list ("1;34;43", "" = reset) to a style.
void ApplySgr(const std::string &sParams, CellStyle *psStyle) {
  std::vector<int> codes;
  std::string sCode;
  for (char ch : sParams + ";") {
    if (ch == ';' || ch == ':') {
      codes.push_back(sCode.empty() ? 0 : std::atoi(sCode.c_str()));
      sCode.clear();
    } else {
      sCode += ch;
    }
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    int n = codes[i];
    if (n == 0) {
      *psStyle = CellStyle{};
    } else if (n == 1) {
      psStyle->bBold = true;
    } else if (n == 2) {
      psStyle->bDim = true;
    } else if (n == 4) {
      psStyle->bUnderline = true;
    } else if (n == 7) {
      psStyle->bReverse = true;
    } else if (n == 22) {
      psStyle->bBold = psStyle->bDim = false;
    } else if (n == 24) {
      psStyle->bUnderline = false;
    } else if (n == 27) {
      psStyle->bReverse = false;
    } else if (n >= 30 && n <= 37) {
      psStyle->nForeground = n - 30;
    } else if (n == 39) {
      psStyle->nForeground = -1;
    } else if (n >= 40 && n <= 47) {
      psStyle->nBackground = n - 40;
    } else if (n == 49) {
      psStyle->nBackground = -1;
    } else if (n >= 90 && n <= 97) {
      psStyle->nForeground = n - 90 + 8;
    } else if (n >= 100 && n <= 107) {
      psStyle->nBackground = n - 100 + 8;
    } else if ((n == 38 || n == 48) && i + 1 < codes.size()) {
      int *pnColour = n == 38 ? &psStyle->nForeground : &psStyle->nBackground;
      if (codes[i + 1] == 5 && i + 2 < codes.size()) {
        *pnColour = codes[i + 2];
        i += 2;
      } else if (codes[i + 1] == 2 && i + 4 < codes.size()) {
        *pnColour = -2;  // direct colour: not one of the palette's
        i += 4;
      }
    }
  }
}

// Splits one line of `capture-pane -p -e` output into cells of nColumns. tmux carries the
// style from one line to the next, so *psCurrent is the style in effect on entry and exit.
std::vector<CellStyle> ParseStyledLine(const std::string &sLine, int nColumns,
                                       CellStyle *psCurrent) {
  std::vector<CellStyle> cells;
  CellStyle &current = *psCurrent;
  size_t i = 0;
  while (i < sLine.size()) {
    if (sLine[i] == '\x1b') {
      if (i + 1 < sLine.size() && sLine[i + 1] == '[') {
        size_t nEnd = i + 2;
        while (nEnd < sLine.size() && !(sLine[nEnd] >= 0x40 && sLine[nEnd] <= 0x7e)) ++nEnd;
        if (nEnd < sLine.size() && sLine[nEnd] == 'm')
          ApplySgr(sLine.substr(i + 2, nEnd - i - 2), &current);
        i = nEnd + 1;
      } else if (i + 1 < sLine.size() && sLine[i + 1] == ']') {
        // hyperlinks and titles: skip up to ST or BEL
        size_t nEnd = sLine.find_first_of("\x07\x1b", i + 2);
        if (nEnd == std::string::npos) break;
        i = nEnd + (sLine[nEnd] == '\x1b' ? 2 : 1);
      } else {
        i += 2;
      }
      continue;
    }
    int nWidth = 1;
    size_t nBytes = 1;
    NextCharacter(std::string_view(sLine).substr(i), &nWidth, &nBytes);
    i += nBytes;
    if (static_cast<int>(cells.size()) >= nColumns) continue;  // keep reading the codes
    CellStyle cell = current;
    cell.sText = sLine.substr(i - nBytes, nBytes);
    cells.push_back(cell);
    // the second half of a wide character: same style, no text of its own
    for (int n = 1; n < nWidth && static_cast<int>(cells.size()) < nColumns; ++n) {
      CellStyle filler = current;
      filler.sText = "";
      cells.push_back(filler);
    }
  }
  // the capture leaves out cells never written (erased ones included, even with a colour)
  while (static_cast<int>(cells.size()) < nColumns) {
    CellStyle blank;
    blank.sText = " ";
    cells.push_back(blank);
  }
  return cells;
}

std::string Hex(unsigned char ch) {
  char szHex[4];
  std::snprintf(szHex, sizeof szHex, "%02x", ch);
  return szHex;
}

// ncurses reads SGR mouse reports when the terminal's kmous starts "\E[<", X10 otherwise.
bool TermUsesSgrMouse(const std::string &sTerm) {
  std::string sOutput;
  if (RunProgram({"infocmp", "-1", sTerm}, &sOutput) != 0)
    return sTerm.rfind("xterm", 0) == 0;
  return sOutput.find("kmous=\\E[<") != std::string::npos;
}

std::string UniqueSocketName() {
  static std::atomic<int> nCounter{0};
  return "orvik-test-" + std::to_string(getpid()) + "-" + std::to_string(++nCounter) + "-" +
         std::to_string(Clock::now().time_since_epoch().count() % 1000000);
}

}  // namespace

int RunProgram(const std::vector<std::string> &args, std::string *psOutput,
               const std::string &sInput) {
  if (args.empty()) return -1;
  int outPipe[2], inPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (pipe2(inPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return -1;
  }
  std::vector<char *> argv;
  for (const auto &sArg : args) argv.push_back(const_cast<char *>(sArg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid == 0) {
    dup2(inPipe[0], 0);
    dup2(outPipe[1], 1);
    dup2(outPipe[1], 2);
    // a test run inside tmux must not make the private server think it is nested
    unsetenv("TMUX");
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  if (pid < 0) {
    close(inPipe[1]);
    close(outPipe[0]);
    return -1;
  }

  // write the input and read the output together, so neither side can block the other
  size_t nWritten = 0;
  int nInFd = inPipe[1];
  if (sInput.empty()) {
    close(nInFd);
    nInFd = -1;
  }
  std::string sOutput;
  char buffer[4096];
  bool bOpen = true;
  while (bOpen) {
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {nInFd, POLLOUT, 0}};
    if (poll(fds, nInFd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (nInFd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(nInFd, sInput.data() + nWritten, sInput.size() - nWritten);
      if (n > 0) nWritten += static_cast<size_t>(n);
      if (n < 0 || nWritten == sInput.size()) {
        close(nInFd);
        nInFd = -1;
      }
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t n = read(outPipe[0], buffer, sizeof buffer);
      if (n > 0)
        sOutput.append(buffer, static_cast<size_t>(n));
      else if (n == 0 || errno != EINTR)
        bOpen = false;
    }
  }
  if (nInFd >= 0) close(nInFd);
  close(outPipe[0]);

  int nStatus = 0;
  while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
  }
  if (psOutput != nullptr) *psOutput = sOutput;
  if (WIFEXITED(nStatus)) return WEXITSTATUS(nStatus);
  if (WIFSIGNALED(nStatus)) return 128 + WTERMSIG(nStatus);
  return -1;
}

std::string ShellQuote(const std::string &sWord) {
  static const char kPlain[] = "/._-+,:@%=";
  bool bPlain = !sWord.empty();
  for (char ch : sWord)
    if (!std::isalnum(static_cast<unsigned char>(ch)) && std::strchr(kPlain, ch) == nullptr)
      bPlain = false;
  if (bPlain) return sWord;
  std::string sQuoted = "'";
  for (char ch : sWord) {
    if (ch == '\'')
      sQuoted += "'\\''";
    else
      sQuoted += ch;
  }
  return sQuoted + "'";
}

/* ------------------------------------------------------------------------------------ */
/* TestHome                                                                             */
/* ------------------------------------------------------------------------------------ */

TestHome::TestHome() {
  sRoot = MakeTempDir("orvik-test-");
  sHome = sRoot + "/home";
  sOrvikDir = sRoot + "/orvik";
  sLogFile = sRoot + "/OrvikLog.txt";
  std::filesystem::create_directory(sHome);
  std::filesystem::create_directory(sOrvikDir);
}

TestHome::~TestHome() {
  std::error_code error;
  std::filesystem::remove_all(sRoot, error);
}

std::string TestHome::ReadLog() const { return ReadTextFile(sLogFile); }

std::string TestHome::ReadFile(const std::string &sName) const {
  return ReadTextFile(sOrvikDir + "/" + sName);
}

void TestHome::WriteFile(const std::string &sName, const std::string &sText) const {
  std::filesystem::path path = std::filesystem::path(sOrvikDir) / sName;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << sText;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

std::map<std::string, std::string> TestHome::Env() const {
  return {{"HOME", sHome}, {"ORVIKDIR", sOrvikDir}, {"ORVIKLOGFILE", sLogFile}};
}

/* ------------------------------------------------------------------------------------ */
/* TmuxSession                                                                          */
/* ------------------------------------------------------------------------------------ */

TmuxSession::TmuxSession(const std::string &sCommand, const TmuxOptions &options)
    : m_options(options) {
  m_sSocketName = UniqueSocketName();
  m_sStateDir = MakeTempDir("orvik-tmux-");
  m_sStatusFile = m_sStateDir + "/status";
  m_bSgrMouse = TermUsesSgrMouse(options.sTerm);

  std::string sWorkDir = options.sWorkDir;
  if (sWorkDir.empty()) sWorkDir = std::filesystem::current_path().string();

  // The subshell keeps `exit N` in the command from skipping the status line, and gets the
  // default SIGINT action back, while the outer shell survives Ctrl-c through its trap.
  std::string sScript = "trap : INT\n(\n" + sCommand + "\n)\necho $? > " +
                        ShellQuote(m_sStatusFile + ".new") + " && mv " +
                        ShellQuote(m_sStatusFile + ".new") + " " + ShellQuote(m_sStatusFile) +
                        "\n" +
                        (options.bHoldAtEnd ? "tmux -L " + m_sSocketName + " wait-for " +
                                                  m_sSocketName + "-end\n"
                                            : "");

  std::string sSize = std::to_string(options.nColumns) + "x" + std::to_string(options.nRows);
  std::vector<std::string> args = {
      "set", "-g", "default-terminal", options.sTerm, ";",
      "set", "-g", "default-size", sSize, ";",
      "set", "-g", "status", "off", ";",
      "set", "-g", "remain-on-exit", "on", ";",
      "set", "-g", "remain-on-exit-format", "", ";",
      "set", "-g", "history-limit", "0", ";",
      "new-session", "-d", "-s", "orvik", "-x", std::to_string(options.nColumns),
      "-y", std::to_string(options.nRows), "-c", sWorkDir, "-P", "-F", "#{pane_id}", "--",
      "env", "TERM=" + options.sTerm};
  for (const auto &[sName, sValue] : options.env) args.push_back(sName + "=" + sValue);
  // window-size may only be set once a session exists (tmux 3.3 exits otherwise)
  args.insert(args.end(), {"sh", "-c", sScript, ";", "set", "-g", "window-size", "manual"});

  std::string sOutput;
  int nRc = Tmux(args, &sOutput);
  if (nRc != 0) {
    std::error_code error;
    std::filesystem::remove_all(m_sStateDir, error);
    throw std::runtime_error("tmux new-session failed (" + std::to_string(nRc) + "): " + sOutput);
  }
  m_sTarget = sOutput.substr(0, sOutput.find('\n'));
  PanePid();
}

namespace {

// Processes of the terminal session led by nSession (field 6 of /proc/<pid>/stat).
std::vector<pid_t> SessionMembers(pid_t nSession) {
  std::vector<pid_t> anMembers;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string sName = entry.path().filename();
    if (sName.empty() || !std::isdigit(static_cast<unsigned char>(sName[0]))) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string sStat;
    std::getline(stat, sStat);
    const std::size_t nClose = sStat.rfind(')');
    if (nClose == std::string::npos) continue;
    std::istringstream fields(sStat.substr(nClose + 2));
    std::string sState;
    long nParent = 0, nGroup = 0, nSid = 0;
    if (fields >> sState >> nParent >> nGroup >> nSid && nSid == nSession && sState != "Z")
      anMembers.push_back(static_cast<pid_t>(std::stol(sName)));
  }
  return anMembers;
}

}  // namespace

pid_t TmuxSession::PanePid() const {
  if (m_nPanePid <= 1) {
    std::string sPanePid;
    Tmux({"display", "-p", "-t", m_sTarget, "#{pane_pid}"}, &sPanePid);
    m_nPanePid = static_cast<pid_t>(std::atol(sPanePid.c_str()));
  }
  return m_nPanePid;
}

std::vector<pid_t> TmuxSession::Processes() const {
  const pid_t nSession = PanePid();
  return nSession > 1 ? SessionMembers(nSession) : std::vector<pid_t>{};
}

pid_t TmuxSession::ProgramPid(const std::string &sName) const {
  for (pid_t nPid : Processes()) {
    std::ifstream comm("/proc/" + std::to_string(nPid) + "/comm");
    std::string sComm;
    if (std::getline(comm, sComm) && sComm == sName) return nPid;
  }
  return 0;
}

TmuxSession::~TmuxSession() {
  std::string sSocket;
  Tmux({"display", "-p", "#{socket_path}"}, &sSocket);
  const pid_t nSession = PanePid();
  Tmux({"kill-server"});
  // The pane's programs see their terminal go and end; one that has not ended within a few
  // seconds (a sanitizer's exit check can hang when the hang-up reaches it) would go on
  // using the machine under the tests that follow, so it is ended here.
  if (nSession > 1) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!SessionMembers(nSession).empty() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (pid_t nPid : SessionMembers(nSession)) {
      std::cerr << "tmux driver: process " << nPid << " outlived its terminal; killed\n";
      kill(nPid, SIGKILL);
    }
  }
  sSocket = sSocket.substr(0, sSocket.find('\n'));
  std::error_code error;
  if (!sSocket.empty() && sSocket.find(m_sSocketName) != std::string::npos)
    std::filesystem::remove(sSocket, error);
  std::filesystem::remove_all(m_sStateDir, error);
}

int TmuxSession::Tmux(const std::vector<std::string> &args, std::string *psOutput) const {
  std::vector<std::string> argv = {"tmux", "-u", "-L", m_sSocketName, "-f", "/dev/null"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, psOutput);
}

void TmuxSession::SendKeys(const std::string &sKeys) {
  std::vector<std::string> args = {"send-keys", "-t", m_sTarget};
  std::istringstream words(sKeys);
  std::string sKey;
  while (words >> sKey) args.push_back(sKey);
  if (args.size() > 3) Tmux(args);
}

void TmuxSession::SendLiteral(const std::string &sText) {
  if (!sText.empty()) Tmux({"send-keys", "-t", m_sTarget, "-l", "--", sText});
}

void TmuxSession::SendBytes(const std::string &sBytes) {
  std::vector<std::string> args = {"send-keys", "-t", m_sTarget, "-H"};
  for (char ch : sBytes) args.push_back(Hex(static_cast<unsigned char>(ch)));
  if (args.size() > 4) Tmux(args);
}

void TmuxSession::Click(int nRow, int nColumn) {
  if (m_bSgrMouse) {
    std::string sCell = std::to_string(nColumn) + ";" + std::to_string(nRow);
    SendBytes("\x1b[<0;" + sCell + "M\x1b[<0;" + sCell + "m");
    return;
  }
  // X10: button 0 press (0x20) then release (0x23), column and row as 0x21 + 0-based value
  auto report = [&](unsigned char button) {
    return std::string("\x1b[M") + static_cast<char>(button) +
           static_cast<char>(0x21 + nColumn - 1) + static_cast<char>(0x21 + nRow - 1);
  };
  SendBytes(report(0x20) + report(0x23));
}

void TmuxSession::Resize(int nColumns, int nRows) {
  Tmux({"resize-window", "-t", m_sTarget, "-x", std::to_string(nColumns), "-y",
        std::to_string(nRows)});
  const std::string sWanted = std::to_string(nColumns) + "x" + std::to_string(nRows);
  for (int i = 0; i < 100 && PaneSize() != sWanted; i++) usleep(20000);
  m_options.nColumns = nColumns;
  m_options.nRows = nRows;
}

std::string TmuxSession::Capture() const {
  std::string sOutput;
  Tmux({"capture-pane", "-p", "-t", m_sTarget}, &sOutput);
  if (!sOutput.empty() && sOutput.back() == '\n') sOutput.pop_back();
  return sOutput;
}

std::string TmuxSession::CaptureEscaped() const {
  std::string sOutput;
  Tmux({"capture-pane", "-p", "-e", "-N", "-t", m_sTarget}, &sOutput);
  return sOutput;
}

std::string TmuxSession::Line(int nRow) const {
  auto lines = SplitLines(Capture());
  if (nRow < 1 || nRow > static_cast<int>(lines.size())) return "";
  return lines[nRow - 1];
}

std::vector<CellStyle> TmuxSession::Row(int nRow) const {
  auto lines = SplitLines(CaptureEscaped());
  CellStyle current;
  for (int n = 1; n <= static_cast<int>(lines.size()); ++n) {
    auto cells = ParseStyledLine(lines[n - 1], m_options.nColumns, &current);
    if (n == nRow) return cells;
  }
  CellStyle none;
  return ParseStyledLine("", m_options.nColumns, &none);
}

CellStyle TmuxSession::Cell(int nRow, int nColumn) const {
  if (nColumn < 1 || nColumn > m_options.nColumns) return CellStyle{};
  return Row(nRow)[nColumn - 1];
}

std::string TmuxSession::PaneSize() const {
  std::string sOutput;
  Tmux({"display", "-p", "-t", m_sTarget, "#{pane_width}x#{pane_height}"}, &sOutput);
  return sOutput.substr(0, sOutput.find('\n'));
}

std::string TmuxSession::Query(const std::string &sFormat) const {
  std::string sOutput;
  Tmux({"display", "-p", "-t", m_sTarget, sFormat}, &sOutput);
  return sOutput.substr(0, sOutput.find('\n'));
}

std::pair<int, int> TmuxSession::Cursor() const {
  std::istringstream words(Query("#{cursor_y} #{cursor_x}"));
  int nRow = -1, nColumn = -1;
  words >> nRow >> nColumn;
  return {nRow + 1, nColumn + 1};
}

bool TmuxSession::PaneDead(int *pnDeadStatus) const {
  std::string sOutput;
  if (Tmux({"display", "-p", "-t", m_sTarget, "#{pane_dead} #{pane_dead_status}"}, &sOutput) != 0)
    return true;  // the server is gone, so is the command
  if (sOutput.rfind("1", 0) != 0) return false;
  if (pnDeadStatus != nullptr) {
    auto nBlank = sOutput.find(' ');
    std::string sStatus = nBlank == std::string::npos ? "" : sOutput.substr(nBlank + 1);
    *pnDeadStatus = sStatus.empty() || sStatus[0] == '\n' ? -1 : std::atoi(sStatus.c_str());
  }
  return true;
}

bool TmuxSession::IsRunning() const { return ExitStatus() < 0 && !PaneDead(nullptr); }

void TmuxSession::DumpScreen(const char *pszWhat, const std::string &sText) const {
  std::cerr << "tmux driver: " << pszWhat << " \"" << sText << "\" timed out; screen "
            << m_options.nColumns << "x" << m_options.nRows << ":\n"
            << Capture() << "\n-- end of screen --\n";
}

bool TmuxSession::WaitFor(const std::string &sText, int nMillis) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(nMillis);
  for (;;) {
    if (Capture().find(sText) != std::string::npos) return true;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  DumpScreen("waiting for", sText);
  return false;
}

bool TmuxSession::WaitForGone(const std::string &sText, int nMillis) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(nMillis);
  for (;;) {
    if (Capture().find(sText) == std::string::npos) return true;
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  DumpScreen("waiting for the end of", sText);
  return false;
}

bool TmuxSession::WaitForExit(int nMillis) {
  auto deadline = Clock::now() + std::chrono::milliseconds(nMillis);
  for (;;) {
    // tmux marks the pane dead once it has read all its output, so the screen is complete
    int nDeadStatus = -1;
    if (m_options.bHoldAtEnd && ExitStatus() >= 0) return true;
    if (PaneDead(&nDeadStatus)) {
      // without a status file the shell was killed before it could write one
      if (ExitStatus() < 0) m_nExitStatus = nDeadStatus >= 0 ? nDeadStatus : 255;
      return true;
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  DumpScreen("waiting for the exit of", "the command");
  return false;
}

void TmuxSession::Release() { Tmux({"wait-for", "-S", m_sSocketName + "-end"}); }

int TmuxSession::ExitStatus() const {
  if (m_nExitStatus >= 0) return m_nExitStatus;
  std::string sStatus = ReadTextFile(m_sStatusFile);
  if (sStatus.empty()) return -1;
  m_nExitStatus = std::atoi(sStatus.c_str());
  return m_nExitStatus;
}

std::string ReadTextFile(const std::string &sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int CountOf(const std::string &sText, const std::string &sPart) {
  int nCount = 0;
  for (auto nAt = sText.find(sPart); nAt != std::string::npos; nAt = sText.find(sPart, nAt + 1))
    ++nCount;
  return nCount;
}

bool WaitForFileText(const std::string &sPath, const std::string &sText, int nMillis) {
  return PollUntil([&] { return ReadTextFile(sPath).find(sText) != std::string::npos; }, nMillis);
}

int ColumnOf(const TmuxSession &session, int nRow, const std::string &sText) {
  const std::string sLine = session.Line(nRow);
  const std::size_t nAt = sLine.find(sText);
  if (nAt == std::string::npos) return 0;
  return OVDisplayWidth(std::string_view(sLine).substr(0, nAt)) + 1;
}

bool TextAt(const TmuxSession &session, int nRow, int nColumn, const std::string &sText) {
  const std::string sLine = session.Line(nRow);
  const std::size_t nAt = OVColumnsPrefix(sLine, nColumn - 1);
  if (OVDisplayWidth(std::string_view(sLine).substr(0, nAt)) != nColumn - 1) return false;
  return sLine.compare(nAt, sText.size(), sText) == 0;
}

bool WaitForTextAt(const TmuxSession &session, int nRow, int nColumn, const std::string &sText,
                   int nMillis) {
  return PollUntil([&] { return TextAt(session, nRow, nColumn, sText); }, nMillis);
}

bool PollUntil(const std::function<bool()> &check, int nMillis) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMillis);
  while (!check()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

bool WaitForCell(const TmuxSession &session, int nRow, int nColumn,
                 const std::function<bool(const CellStyle &)> &test, int nMillis) {
  return PollUntil([&] { return test(session.Cell(nRow, nColumn)); }, nMillis);
}
