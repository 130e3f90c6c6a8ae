/*
 * tmux_driver.h - drives a real program in a private tmux server for end-to-end tests.
 *
 * Contract in brief:
 *  - Every TmuxSession starts its own tmux server (`tmux -L <unique name> -f /dev/null`) with
 *    one detached pane of exactly the requested size and TERM, and kills it in its destructor.
 *  - The command is shell text; it runs as `sh -c 'trap : INT; (<command>); echo $? > <file>'`,
 *    so Ctrl-c reaches the program, `exit N` inside the command is collected as status N and
 *    the pane stays on screen after the command has ended (remain-on-exit).
 *  - The pane inherits the test process's environment, plus TmuxOptions::env.
 *  - Rows and columns are 1-based everywhere. Captured lines lose their trailing blanks.
 *  - Nothing sleeps for a fixed time: every wait polls the pane about every 50 ms up to a
 *    deadline and reports the screen on stderr when it gives up.
 *  - TestHome gives one test a temporary HOME, ORVIKDIR and log file and removes them again.
 */
#ifndef ORVIK_TMUX_DRIVER_H
#define ORVIK_TMUX_DRIVER_H

#include <functional>
#include <sys/types.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct TmuxOptions {
  int nColumns = 80, nRows = 24;
  std::string sTerm = "screen";                  // TERM inside the pane
  std::map<std::string, std::string> env;        // extra environment for the command
  std::string sWorkDir;                          // working directory ("" = the test's current one)
  // After the command the pane's shell stays, the terminal's session with it, until Release():
  // what the command left running is still there to be seen.
  bool bHoldAtEnd = false;
};

// A temporary HOME, ORVIKDIR and log file for one test; removed in the destructor.
struct TestHome {
  TestHome();                                    // creates /tmp/orvik-test-XXXXXX/{home,orvik}
  ~TestHome();
  TestHome(const TestHome &) = delete;
  TestHome &operator=(const TestHome &) = delete;

  std::string sRoot, sHome, sOrvikDir, sLogFile; // sLogFile = sRoot + "/OrvikLog.txt"
  std::string ReadLog() const;                   // whole log file, "" when missing
  std::string ReadFile(const std::string &sName) const; // a file below sOrvikDir, "" when missing
  // Writes a file below sOrvikDir, creating the folders on its path.
  void WriteFile(const std::string &sName, const std::string &sText) const;
  std::map<std::string, std::string> Env() const; // HOME, ORVIKDIR, ORVIKLOGFILE set
};

struct CellStyle {
  std::string sText;                             // the cell's character (UTF-8), " " when blank
  int nForeground = -1, nBackground = -1;        // 0-7; 8-15 bright, 8..255 palette; -1 default
  bool bBold = false, bDim = false, bUnderline = false, bReverse = false;
};

class TmuxSession {
 public:
  TmuxSession(const std::string &sCommand, const TmuxOptions &options = {}); // own socket
  ~TmuxSession();                                // kills the server, removes its files
  TmuxSession(const TmuxSession &) = delete;
  TmuxSession &operator=(const TmuxSession &) = delete;

  // tmux key names, several separated by blanks: "Tab", "Enter", "C-d", "Down Down Enter".
  void SendKeys(const std::string &sKeys);
  void SendLiteral(const std::string &sText);    // text typed as is
  void SendBytes(const std::string &sBytes);     // raw bytes (send-keys -H)
  void Click(int nRow, int nColumn);             // 1-based cell; press + release in the form
                                                 // ncurses expects for the pane's TERM
  std::string Capture() const;                   // capture-pane -p, lines joined with '\n'
  std::string Line(int nRow) const;              // one 1-based row, "" outside the pane
  CellStyle Cell(int nRow, int nColumn) const;   // from capture-pane -e; colours 0-7, -1 default
  bool WaitFor(const std::string &sText, int nMillis = 5000) const;      // text on screen
  bool WaitForGone(const std::string &sText, int nMillis = 5000) const;
  bool WaitForExit(int nMillis = 10000);         // the command has ended (its status is known)
  void Release();                                // a held pane ends
  int ExitStatus() const;                        // its exit status (-1 while running)

  // Additions beyond the common API.
  std::vector<CellStyle> Row(int nRow) const;    // every cell of one row, nColumns long
  std::string PaneSize() const;                  // "<columns>x<rows>" as tmux reports it
  std::pair<int, int> Cursor() const;            // the cursor's 1-based {row, column}
  std::string Query(const std::string &sFormat) const; // a display-message format of the pane
  // The pid of the pane's process (in its terminal session) whose name is sName, 0 if none.
  pid_t ProgramPid(const std::string &sName) const;
  // Every live process of the pane's terminal session, the pane's shell included while it runs.
  std::vector<pid_t> Processes() const;
  pid_t PanePid() const;                         // the pane's shell, which leads that session
  // Gives the pane a new size, as a user dragging the terminal's corner; the program gets
  // SIGWINCH. Returns once tmux reports the new size.
  void Resize(int nColumns, int nRows);
  bool IsRunning() const;                        // the pane's command has not ended yet
  const std::string &SocketName() const { return m_sSocketName; }
  const TmuxOptions &Options() const { return m_options; }

 private:
  // Runs tmux on this session's socket; returns its exit status, output in *psOutput.
  int Tmux(const std::vector<std::string> &args, std::string *psOutput = nullptr) const;
  std::string CaptureEscaped() const;
  bool PaneDead(int *pnDeadStatus) const;
  void DumpScreen(const char *pszWhat, const std::string &sText) const;

  TmuxOptions m_options;
  std::string m_sSocketName;
  std::string m_sStateDir;                       // status file and scratch files
  std::string m_sStatusFile;
  std::string m_sTarget;                         // pane id, e.g. "%0"
  mutable pid_t m_nPanePid = 0;                  // leads the pane's terminal session
  bool m_bSgrMouse = false;
  mutable int m_nExitStatus = -1;
};

// Reading a pane by screen columns (a wide character takes two, a frame line one): the
// 1-based column at which a text starts on a row, 0 when it is not there.
int ColumnOf(const TmuxSession &session, int nRow, const std::string &sText);
// Does the text stand at the 1-based column of the row?
bool TextAt(const TmuxSession &session, int nRow, int nColumn, const std::string &sText);
// Polls until the text stands at that place: after a new size the pane may show what the
// terminal kept of the old screen until the program has drawn its new one.
bool WaitForTextAt(const TmuxSession &session, int nRow, int nColumn, const std::string &sText,
                   int nMillis = 5000);
// Polls until the check holds; false when the deadline passes first.
bool PollUntil(const std::function<bool()> &check, int nMillis = 5000);
// Polls one cell until it satisfies the test.
bool WaitForCell(const TmuxSession &session, int nRow, int nColumn,
                 const std::function<bool(const CellStyle &)> &test, int nMillis = 5000);

// Runs a program (no shell) and collects its standard output and error; returns the wait
// status decoded: the exit code, 128 + signal when killed, -1 when it could not start.
int RunProgram(const std::vector<std::string> &args, std::string *psOutput = nullptr,
               const std::string &sInput = "");

// The whole of a file, "" when it cannot be read.
std::string ReadTextFile(const std::string &sPath);
// How often sPart occurs in sText.
int CountOf(const std::string &sText, const std::string &sPart);
// Polls a file until it holds sText; false when the deadline passes first.
bool WaitForFileText(const std::string &sPath, const std::string &sText, int nMillis = 5000);

// Quotes a word for sh: plain words stay as they are, anything else goes in single quotes.
std::string ShellQuote(const std::string &sWord);

#endif
