// Keyboard and mouse through the pseudo-terminal: key codes, 1-based mouse positions, quick
// clicks and the wheel, and the hit test of GetInputChar.
#include <gtest/gtest.h>

#include <curses.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <utility>

#include "orviklib.h"
#include "pty_terminal.h"

// A death test's child is a fork of a process whose terminal reader thread it does not have;
// the leak check at the child's exit could not stop that thread and would report it. The
// child's memory is the parent's, which is checked when the parent ends.
static bool bDeathTestChild = false;
extern "C" int __lsan_is_turned_off() { return bDeathTestChild ? 1 : 0; }

namespace {

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    psPab = OVCreatePanel(nullptr, 0, 0, 7);
    ASSERT_NE(psPab, nullptr);
    nTimeMouse = -1;
  }
  void TearDown() override {
    flushinp();
    OVDeletePanel(psPab);
  }
  int Click(int nRow, int nColumn) {
    term.SendClick(nRow, nColumn);
    return GetInputChar(psPab);
  }
  static int Now() { return static_cast<int>(time(nullptr)); }

  PtyTestHome home;
  PtyTerminal &term = PtyTerminal::Open(24, 80);
  PAB *psPab = nullptr;
};

TEST_F(InputTest, KeysArriveAsCursesCodesWithoutPosition) {
  term.SendKeys("\t\x1bOB\x1bOA\x1b[Z\x1b[3~x\n");
  const int anExpected[] = {OVKEY_TAB, OVKEY_DOWN, OVKEY_UP, OVKEY_BTAB, OVKEY_DELETE, 'x', OVKEY_ENTER};
  for (int nExpected : anExpected) {
    CHARINPUT sInput{-1, -1, -1};
    EXPECT_EQ(GetKBM(&sInput), 0);
    EXPECT_EQ(sInput.nChar, nExpected);
    EXPECT_EQ(sInput.nRow, 0);
    EXPECT_EQ(sInput.nColumn, 0);
  }
}

TEST_F(InputTest, MouseEventsAreReportedOneBasedAndStampNTimeMouse) {
  term.SendClick(7, 12);
  CHARINPUT sInput;
  int nBefore = Now();
  EXPECT_EQ(GetKBM(&sInput), 0);
  EXPECT_EQ(sInput.nChar, OVKEY_MOUSE);
  EXPECT_EQ(sInput.nRow, 7);
  EXPECT_EQ(sInput.nColumn, 12);
  EXPECT_GE(nTimeMouse, nBefore + 1);
  EXPECT_LE(nTimeMouse, Now() + 1);
}

TEST_F(InputTest, QuickClicksAreEachOneEventInOrderAndReleasesAreDropped) {
  // Three clicks and a key sent at once, as a quick user or a busy program's typeahead
  // makes them: each press is one event, none is held back by the clock, the key follows.
  nTimeMouse = Now() + 60;
  term.SendClick(3, 3);
  term.SendClick(4, 6);
  term.SendClick(5, 9);
  term.SendKeys("k");
  const std::pair<int, int> aExpected[] = {{3, 3}, {4, 6}, {5, 9}};
  for (const auto &expected : aExpected) {
    CHARINPUT sInput{-1, -1, -1};
    EXPECT_EQ(GetKBM(&sInput), 0);
    EXPECT_EQ(sInput.nChar, OVKEY_MOUSE);
    EXPECT_EQ(std::make_pair(sInput.nRow, sInput.nColumn), expected);
  }
  CHARINPUT sInput{};
  GetKBM(&sInput);
  EXPECT_EQ(sInput.nChar, 'k');

  // A lone release (SGR "m") and a motion report give nothing; the key behind them comes.
  term.SendKeys("\x1b[<0;7;7m\x1b[<35;8;8Mz");
  GetKBM(&sInput);
  EXPECT_EQ(sInput.nChar, 'z');
}

TEST_F(InputTest, TheWheelArrivesAsUpAndDown) {
  // SGR buttons 64 and 65: wheel up and wheel down, with no release.
  term.SendKeys("\x1b[<64;10;5M\x1b[<65;10;5M\x1b[<65;10;5M\x1b[<0;2;2M\x1b[<0;2;2m");
  const int anExpected[] = {OVKEY_UP, OVKEY_DOWN, OVKEY_DOWN, OVKEY_MOUSE};
  for (int nExpected : anExpected) {
    CHARINPUT sInput{};
    EXPECT_EQ(GetKBM(&sInput), 0);
    EXPECT_EQ(sInput.nChar, nExpected);
  }
  // Through GetInputChar too, so that a list's Up and Down keys scroll with the wheel.
  term.SendKeys("\x1b[<65;10;5M");
  EXPECT_EQ(GetInputChar(psPab), OVKEY_DOWN);
}

TEST_F(InputTest, ClickOnTheLastColumnSelectsTheFieldOneFurtherDoesNot) {
  ASSERT_EQ(OVCreateField(psPab, 5, 10, 5, "FIRST", "first", OVSTYLE_TAB, 0, 0, 7), 0);
  FIELDTAB *psFirst = psPab->psFieldTab_Current;
  ASSERT_EQ(OVCreateField(psPab, 8, 1, 6, "OTHER", "other", OVSTYLE_TAB, 0, 0, 7), 0);
  ASSERT_NE(psPab->psFieldTab_Current, psFirst);

  EXPECT_EQ(Click(5, 15), OVKEY_MOUSE);
  EXPECT_NE(psPab->psFieldTab_Current, psFirst);
  EXPECT_EQ(Click(5, 9), OVKEY_MOUSE);
  EXPECT_EQ(Click(4, 12), OVKEY_MOUSE);

  EXPECT_EQ(Click(5, 14), OVKEY_ENTER);
  EXPECT_EQ(psPab->psFieldTab_Current, psFirst);
  EXPECT_EQ(psPab->nRowCurrent, 5);
  EXPECT_EQ(psPab->nColumnCurrent, 10);
  EXPECT_EQ(term.Cursor(), std::make_pair(5, 10));
}

TEST_F(InputTest, HugeFieldLengthStillCoversTheRestOfItsRow) {
  ASSERT_EQ(OVCreateField(psPab, 20, 3, INT_MAX, "HUGE", "huge", OVSTYLE_TAB, 0, 0, 7), 0);
  FIELDTAB *psHuge = psPab->psFieldTab_Current;
  ASSERT_EQ(OVCreateField(psPab, 21, 1, 4, "NEXT", "next", OVSTYLE_TAB, 0, 0, 7), 0);
  EXPECT_EQ(Click(20, 70), OVKEY_ENTER);
  EXPECT_EQ(psPab->psFieldTab_Current, psHuge);
  EXPECT_EQ(Click(20, 2), OVKEY_MOUSE);
}

TEST_F(InputTest, OnlySelectableFieldsTakeClicksAndTheFirstCreatedWins) {
  ASSERT_EQ(OVCreateField(psPab, 10, 1, 10, "LABEL", "label text", 0, 0, 0, 7), 0);
  EXPECT_EQ(Click(10, 3), OVKEY_MOUSE);
  EXPECT_EQ(psPab->psFieldTab_Current, nullptr);

  ASSERT_EQ(OVCreateField(psPab, 12, 1, 10, "WIDE", "wide", OVSTYLE_TAB, 0, 0, 7), 0);
  FIELDTAB *psWide = psPab->psFieldTab_Current;
  ASSERT_EQ(OVCreateField(psPab, 12, 5, 3, "INSIDE", "in", OVSTYLE_TAB, 0, 0, 7), 0);
  EXPECT_EQ(Click(12, 6), OVKEY_ENTER);
  EXPECT_EQ(psPab->psFieldTab_Current, psWide);
}

TEST_F(InputTest, KeysPassThroughGetInputChar) {
  ASSERT_EQ(OVCreateField(psPab, 5, 10, 5, "F", "field", OVSTYLE_TAB, 0, 0, 7), 0);
  FIELDTAB *psCurrent = psPab->psFieldTab_Current;
  term.SendKeys("\x1bOC\n");
  EXPECT_EQ(GetInputChar(psPab), OVKEY_RIGHT);
  EXPECT_EQ(GetInputChar(psPab), OVKEY_ENTER);
  EXPECT_EQ(psPab->psFieldTab_Current, psCurrent);
}

TEST_F(InputTest, InputAtItsEndEndsTheProgramAsExitDoes) {
  // Standard input that only gives end of file, as a terminal that went away does: the wait
  // for a key ends the program with 9 and says why, instead of polling for ever.
  EXPECT_EXIT(
      {
        bDeathTestChild = true;
        int fd = open("/dev/null", O_RDONLY);
        dup2(fd, STDIN_FILENO);
        CHARINPUT sInput;
        GetKBM(&sInput);
      },
      testing::ExitedWithCode(9), "");
  EXPECT_NE(home.ReadLog().find("GetKBM: The terminal is gone"), std::string::npos)
      << home.ReadLog();
  // A live terminal without keys is only waited on.
  term.SendKeys("q");
  CHARINPUT sInput;
  EXPECT_EQ(GetKBM(&sInput), 0);
  EXPECT_EQ(sInput.nChar, 'q');
}

}  // namespace
