/*
 * pty_terminal.h - a pseudo-terminal for the toolkit tests.
 *
 * Open() makes a pseudo-terminal of the given size the test process's terminal: its slave
 * side becomes standard input and standard output, TERM is xterm and the locale UTF-8.
 * A thread drains the master side continuously (so curses never blocks on output) and
 * keeps what it read. Curses is started once on the pseudo-terminal and left again at
 * once, so the toolkit under test finds it ready; afterwards the stdio stream `stdout` is
 * the original standard output again, so GoogleTest's messages still reach the test log.
 * Curses itself keeps writing to the pseudo-terminal.
 *
 * Keys written with SendKeys() sit in the terminal's input queue until the code under
 * test reads them. Text() and At() read the curses standard screen (what has been drawn,
 * refreshed or not); they leave the cursor where it was.
 */
#ifndef ORVIK_PTY_TERMINAL_H
#define ORVIK_PTY_TERMINAL_H

#include <string>
#include <string_view>
#include <utility>

class PtyTerminal {
 public:
  /* Once per test process; later calls return the same terminal. */
  static PtyTerminal &Open(int nRows = 24, int nColumns = 80);

  /* Raw key bytes, e.g. "\t", "\x1b[B", "x". */
  void SendKeys(std::string_view sBytes);
  /* Left button press and release at a 1-based cell, as xterm reports them (SGR form). */
  void SendClick(int nRow, int nColumn);

  /* A new terminal size as curses reports it after SIGWINCH: the pseudo-terminal takes the
     size, curses resizes its screens and KEY_RESIZE becomes the next key, ahead of keys
     already sent. */
  void Resize(int nNewRows, int nNewColumns);

  /* nLength cells of stdscr from a 1-based position, as UTF-8 text. */
  std::string Text(int nRow, int nColumn, int nLength) const;

  struct Cell {
    char ch;                     /* the character, '?' when it is not ASCII */
    short nPair;
    short nForeground, nBackground;
    bool bBold, bDim, bUnderline, bReverse;
  };
  /* One stdscr cell (1-based), its colour pair resolved with pair_content. */
  Cell At(int nRow, int nColumn) const;

  /* The stdscr cursor, 1-based: {row, column}. */
  std::pair<int, int> Cursor() const;

  /* Everything written to the terminal so far (curses output and raw writes). */
  std::string Output() const;
  /* Forgets the output collected so far. */
  void ClearOutput();
  /* Waits until the collected output contains sText; false after nMillis. */
  bool WaitForOutput(std::string_view sText, int nMillis = 2000) const;

  int Rows() const { return nRows; }
  int Columns() const { return nColumns; }

 private:
  PtyTerminal(int nRows, int nColumns);
  void Drain();

  int nMaster = -1;
  int nRows;
  int nColumns;
};

/* A temporary folder for one test process: it becomes ORVIKDIR, and ORVIKLOGFILE names
   OrvikLog.txt inside it, so config.ini and the log stay out of the real places. Removed
   with its contents by the destructor. */
struct PtyTestHome {
  PtyTestHome();
  ~PtyTestHome();
  PtyTestHome(const PtyTestHome &) = delete;
  PtyTestHome &operator=(const PtyTestHome &) = delete;
  std::string ReadLog() const;   /* the whole log, "" when there is none */
  std::string sDir;
  std::string sLogFile;
};

#endif /* ORVIK_PTY_TERMINAL_H */
