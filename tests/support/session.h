/*
 * session.h - one program of the build, run in tmux for one end-to-end case.
 *
 * Contract in brief:
 *  - A ProgramSession starts a program of ORVIK_BIN_DIR in its own TmuxSession, with the HOME,
 *    ORVIKDIR and log of a TestHome the test owns, in the home's root folder, and config.ini
 *    written from a string when the setup gives one. Stand-in commands go into a folder of
 *    the home that comes first in PATH.
 *  - Waits poll about every 50 ms up to a deadline and say on stderr what they waited for.
 *    While they poll they note every process of the pane, so that files named after the pid
 *    of a child (a program the menu started) count as the session's too.
 *  - Press() clicks a push button at its label, found on screen by display columns from the
 *    bottom row up: the action bar before any text above it.
 *  - Ends() waits for the end, compares the exit status and checks what the end left: no
 *    /tmp/Orvik* file of the session's processes or new since it began, and no process of
 *    the pane's terminal session but its shell, which waits there until the check is done
 *    (a shell that ended would hang up what the program left running). A session destroyed
 *    without Ends() checks the files once tmux is gone.
 */
#ifndef ORVIK_SESSION_H
#define ORVIK_SESSION_H

#include "tmux_driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

// A text at a 1-based row and display column.
struct ScreenText {
  int nRow;
  int nColumn;
  std::string sText;
};

struct ProgramSetup {
  std::string sProgram;                          // file name in ORVIK_BIN_DIR: "orvikfsys"
  std::string sArgs;                             // shell words after it, quoted by the caller
  std::optional<std::string> config;             // config.ini below ORVIKDIR
  int nColumns = 80, nRows = 24;
  std::map<std::string, std::string> env;        // beside (or over) the home's variables
  std::map<std::string, std::string> standIns;   // commands first in PATH: name, sh script
  std::string sBefore;                           // shell text run in the pane first
  std::string sAfter;                            // and after it; the status stays the program's
  std::string sWorkDir;                          // "" = the home's root
};

// ASAN_OPTIONS of this run with more after them, for a program whose test needs the sanitizer
// out of its way: its own crash handler, or a tracer that leak checking cannot share.
std::string SanitizerOptions(const std::string &sMore);

class ProgramSession {
 public:
  ProgramSession(const TestHome &home, const ProgramSetup &setup);
  ~ProgramSession();
  ProgramSession(const ProgramSession &) = delete;
  ProgramSession &operator=(const ProgramSession &) = delete;

  TmuxSession &Screen() { return *m_pScreen; }
  const TmuxSession &Screen() const { return *m_pScreen; }
  const TestHome &Home() const { return m_home; }
  int Rows() const { return m_pScreen->Options().nRows; }
  // The program's pid, 0 once it has ended.
  pid_t Pid() const;

  // Polls until the check holds; on time-out the screen and sWhat go to stderr.
  bool WaitUntil(const std::function<bool()> &check, const std::string &sWhat,
                 int nMillis = 5000) const;
  bool WaitFor(const std::string &sText, int nMillis = 5000) const;
  // The log holds sText at least nTimes times.
  bool WaitForLog(const std::string &sText, int nMillis = 5000, int nTimes = 1) const;
  // The screen differs from sBefore, holds sHolds, and has stayed so for a moment.
  bool WaitForChange(const std::string &sBefore, const std::string &sHolds = "",
                     int nMillis = 15000) const;

  // Where a push button's label stands, searched from the bottom row up as a word of its own
  // (blanks or the row's ends around it); {0, 0, ""} when it is not on screen.
  ScreenText FindButton(const std::string &sLabel) const;
  bool HasButton(const std::string &sLabel) const { return FindButton(sLabel).nRow != 0; }
  // Clicks the label; false (and a test failure) when it is not on screen.
  bool Press(const std::string &sLabel);

  // Leaves vi without writing and waits for the program's screen, which shows sBack.
  bool LeaveVi(const std::string &sBack);
  // A failure box: sText in a box on red; Enter then closes it.
  ::testing::AssertionResult FailureBox(const std::string &sText, int nMillis = 10000) const;

  // Every text of the table stands where it says, nShift columns further right; each one that
  // does not is reported with where its row shows it, if anywhere.
  ::testing::AssertionResult Shows(const std::vector<ScreenText> &asTable, int nShift = 0) const;

  // Sends a signal to the program.
  void Signal(int nSignal);
  // Waits for the end, then: exit status nStatus, nothing left behind.
  ::testing::AssertionResult Ends(int nStatus, int nMillis = 15000);
  // What the ended program left behind, "" when nothing.
  std::string LeftBehind();

 private:
  void NoteProcesses() const;
  std::vector<std::string> OwnTempFiles() const;

  const TestHome &m_home;
  ProgramSetup m_setup;
  std::unique_ptr<TmuxSession> m_pScreen;
  std::set<std::string> m_asTempBefore;          // /tmp/Orvik* names at the start
  mutable std::set<pid_t> m_anSeen;              // every process the pane has shown
  mutable std::set<std::string> m_asTempOpened;  // /tmp/Orvik* names they were seen holding
  bool m_bChecked = false;
};

// The main menu with the test home's folder and log, reading sMenuFile (the shipped menu when
// empty); the menu takes both from its options only.
ProgramSetup MenuSetup(const TestHome &home, const std::string &sMenuFile = "");

// /tmp/Orvik* file names now (names only).
std::set<std::string> OrvikTempFiles();
// The pid that a /tmp/Orvik* name holds after its first dot ("Orvikfsys.123.0.Temp.txt"),
// 0 when it holds none.
pid_t PidInTempName(const std::string &sName);

#endif
