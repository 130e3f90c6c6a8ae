#include "pty_terminal.h"

#include <curses.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

/* What the drain thread has read from the master, and its lock. The detached thread runs
   until the process is gone, so both are never destroyed: exit handlers must not free them
   under its feet. */
std::mutex &mutexOutput = *new std::mutex;
std::string &sCollected = *new std::string;

/* Appends the UTF-8 form of one character. */
void AppendUtf8(std::string &sText, wchar_t wch) {
  auto nCode = static_cast<unsigned long>(wch);
  if (nCode < 0x80) {
    sText += static_cast<char>(nCode);
  } else if (nCode < 0x800) {
    sText += static_cast<char>(0xC0 | (nCode >> 6));
    sText += static_cast<char>(0x80 | (nCode & 0x3F));
  } else if (nCode < 0x10000) {
    sText += static_cast<char>(0xE0 | (nCode >> 12));
    sText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
    sText += static_cast<char>(0x80 | (nCode & 0x3F));
  } else {
    sText += static_cast<char>(0xF0 | (nCode >> 18));
    sText += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
    sText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
    sText += static_cast<char>(0x80 | (nCode & 0x3F));
  }
}

/* Reads one stdscr cell without moving the cursor. */
cchar_t ReadCell(int nRow, int nColumn) {
  int nCursorRow = 0;
  int nCursorColumn = 0;
  getyx(stdscr, nCursorRow, nCursorColumn);
  cchar_t sCell{};
  mvwin_wch(stdscr, nRow - 1, nColumn - 1, &sCell);
  wmove(stdscr, nCursorRow, nCursorColumn);
  return sCell;
}

void WriteAll(int nFd, std::string_view sBytes) {
  while (!sBytes.empty()) {
    ssize_t nWritten = write(nFd, sBytes.data(), sBytes.size());
    if (nWritten < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("pty write failed: ") + std::strerror(errno));
    }
    sBytes.remove_prefix(static_cast<std::size_t>(nWritten));
  }
}

}  // namespace

PtyTerminal &PtyTerminal::Open(int nRows, int nColumns) {
  static PtyTerminal terminal(nRows, nColumns);
  return terminal;
}

PtyTerminal::PtyTerminal(int nRowsIn, int nColumnsIn) : nRows(nRowsIn), nColumns(nColumnsIn) {
  winsize sSize{};
  sSize.ws_row = static_cast<unsigned short>(nRows);
  sSize.ws_col = static_cast<unsigned short>(nColumns);
  int nSlave = -1;
  if (openpty(&nMaster, &nSlave, nullptr, nullptr, &sSize) != 0) {
    throw std::runtime_error(std::string("openpty failed: ") + std::strerror(errno));
  }

  // Keep the original standard output for GoogleTest before the slave takes fd 1.
  fflush(stdout);
  int nOriginalOut = dup(STDOUT_FILENO);
  dup2(nSlave, STDIN_FILENO);
  dup2(nSlave, STDOUT_FILENO);
  close(nSlave);

  std::thread([this] { Drain(); }).detach();

  setenv("TERM", "xterm", 1);
  setenv("LC_ALL", "C.UTF-8", 1);
  setlocale(LC_ALL, "");
  // Curses binds itself to fd 1 here, once per process; the toolkit's own initscr calls
  // then find it started and only apply their settings.
  initscr();
  // xterm sends arrows as ESC O x in keypad mode; accept the ESC [ x form as well, so a
  // test may write either.
  define_key("\x1b[A", KEY_UP);
  define_key("\x1b[B", KEY_DOWN);
  define_key("\x1b[C", KEY_RIGHT);
  define_key("\x1b[D", KEY_LEFT);
  endwin();

  // From now on stdio output goes to the original standard output again.
  FILE *pOriginal = fdopen(nOriginalOut, "w");
  if (pOriginal != nullptr) {
    setvbuf(pOriginal, nullptr, _IOLBF, 0);
    stdout = pOriginal;
  }
}

void PtyTerminal::Drain() {
  char achBuffer[4096];
  for (;;) {
    ssize_t nRead = read(nMaster, achBuffer, sizeof achBuffer);
    if (nRead < 0 && errno == EINTR) continue;
    if (nRead <= 0) {
      // EIO while no slave is open; keep draining until the process ends.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    std::lock_guard<std::mutex> lock(mutexOutput);
    sCollected.append(achBuffer, static_cast<std::size_t>(nRead));
  }
}

void PtyTerminal::SendKeys(std::string_view sBytes) { WriteAll(nMaster, sBytes); }

void PtyTerminal::Resize(int nNewRows, int nNewColumns) {
  winsize sSize{};
  sSize.ws_row = static_cast<unsigned short>(nNewRows);
  sSize.ws_col = static_cast<unsigned short>(nNewColumns);
  if (ioctl(nMaster, TIOCSWINSZ, &sSize) != 0)
    throw std::runtime_error(std::string("pty resize failed: ") + std::strerror(errno));
  resizeterm(nNewRows, nNewColumns);
  ungetch(KEY_RESIZE);
  nRows = nNewRows;
  nColumns = nNewColumns;
}

void PtyTerminal::SendClick(int nRow, int nColumn) {
  std::string sPosition = std::to_string(nColumn) + ";" + std::to_string(nRow);
  SendKeys("\x1b[<0;" + sPosition + "M" + "\x1b[<0;" + sPosition + "m");
}

std::string PtyTerminal::Text(int nRow, int nColumn, int nLength) const {
  std::string sText;
  for (int i = 0; i < nLength; ++i) {
    cchar_t sCell = ReadCell(nRow, nColumn + i);
    wchar_t awch[CCHARW_MAX + 1] = {};
    attr_t nAttributes = 0;
    short nPair = 0;
    getcchar(&sCell, awch, &nAttributes, &nPair, nullptr);
    if (awch[0] == L'\0') continue;   // the right half of a double-width character
    for (int k = 0; k < CCHARW_MAX && awch[k] != L'\0'; ++k) AppendUtf8(sText, awch[k]);
  }
  return sText;
}

PtyTerminal::Cell PtyTerminal::At(int nRow, int nColumn) const {
  cchar_t sCell = ReadCell(nRow, nColumn);
  wchar_t awch[CCHARW_MAX + 1] = {};
  attr_t nAttributes = 0;
  short nPair = 0;
  getcchar(&sCell, awch, &nAttributes, &nPair, nullptr);
  Cell cell{};
  cell.ch = (awch[0] >= 0 && awch[0] < 0x80) ? static_cast<char>(awch[0]) : '?';
  cell.nPair = nPair;
  cell.nForeground = -1;
  cell.nBackground = -1;
  pair_content(nPair, &cell.nForeground, &cell.nBackground);
  cell.bBold = (nAttributes & A_BOLD) != 0;
  cell.bDim = (nAttributes & A_DIM) != 0;
  cell.bUnderline = (nAttributes & A_UNDERLINE) != 0;
  cell.bReverse = (nAttributes & A_REVERSE) != 0;
  return cell;
}

std::pair<int, int> PtyTerminal::Cursor() const {
  int nRow = 0;
  int nColumn = 0;
  getyx(stdscr, nRow, nColumn);
  return {nRow + 1, nColumn + 1};
}

std::string PtyTerminal::Output() const {
  std::lock_guard<std::mutex> lock(mutexOutput);
  return sCollected;
}

void PtyTerminal::ClearOutput() {
  std::lock_guard<std::mutex> lock(mutexOutput);
  sCollected.clear();
}

bool PtyTerminal::WaitForOutput(std::string_view sText, int nMillis) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMillis);
  for (;;) {
    if (Output().find(sText) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

PtyTestHome::PtyTestHome() {
  char szTemplate[] = "/tmp/orvik-pty-XXXXXX";
  if (mkdtemp(szTemplate) == nullptr)
    throw std::runtime_error(std::string("mkdtemp failed: ") + std::strerror(errno));
  sDir = szTemplate;
  sLogFile = sDir + "/OrvikLog.txt";
  setenv("ORVIKDIR", sDir.c_str(), 1);
  setenv("ORVIKLOGFILE", sLogFile.c_str(), 1);
}

PtyTestHome::~PtyTestHome() {
  std::error_code error;
  std::filesystem::remove_all(sDir, error);
}

std::string PtyTestHome::ReadLog() const {
  std::ifstream file(sLogFile);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
