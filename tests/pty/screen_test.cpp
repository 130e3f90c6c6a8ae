// Screen primitives on stdscr of an 80-column pseudo-terminal: colour pairs, attributes,
// positions, text, painted areas and text blocks.
#include <gtest/gtest.h>

#include <curses.h>

#include <string>

#include "orviklib.h"
#include "pty_terminal.h"

namespace {

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, 0, 0, 0);
    ASSERT_NE(psPabi, nullptr);
  }
  void TearDown() override {
    if (psPabi != nullptr) OVDeletePanel(psPabi);
  }
  void WriteAt(int nRow, int nColumn, const char *pszText) {
    ASSERT_EQ(SetPosition(nRow, nColumn), 0);
    ASSERT_EQ(WriteString(pszText), 0);
  }

  PtyTestHome home;
  PtyTerminal &term = PtyTerminal::Open(24, 80);
  PABI *psPabi = nullptr;
};

TEST_F(ScreenTest, SameCombinationReusesItsPairAndDeletionRenumbers) {
  OVSetColor(1, 4);
  WriteAt(2, 1, "A");
  OVSetColor(2, 0);
  WriteAt(2, 2, "B");
  OVSetColor(1, 4);
  WriteAt(2, 3, "C");
  EXPECT_EQ(nColorPair, 2);
  EXPECT_EQ(term.At(2, 1).nPair, 1);
  EXPECT_EQ(term.At(2, 2).nPair, 2);
  EXPECT_EQ(term.At(2, 3).nPair, 1);
  EXPECT_EQ(term.At(2, 3).nForeground, 1);
  EXPECT_EQ(term.At(2, 3).nBackground, 4);
  EXPECT_EQ(asColor[1].nForeground, 2);

  ASSERT_EQ(OVDeletePanel(psPabi), 0);
  psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, 0, 0, 0);
  ASSERT_NE(psPabi, nullptr);
  OVSetColor(3, 5);
  WriteAt(2, 1, "D");
  EXPECT_EQ(nColorPair, 1);
  PtyTerminal::Cell cell = term.At(2, 1);
  EXPECT_EQ(cell.nPair, 1);
  EXPECT_EQ(cell.nForeground, 3);
  EXPECT_EQ(cell.nBackground, 5);
}

TEST_F(ScreenTest, MoreThanThirtyTwoCombinationsAllDrawInTheirOwnColours) {
  // 48 distinct combinations, one cell each, then every cell is checked.
  int nCell = 0;
  for (int nBack = 0; nBack < 6; ++nBack)
    for (int nFore = 0; nFore < 8; ++nFore, ++nCell) {
      OVSetColor(nFore, nBack);
      WriteAt(3 + nCell / 40, 1 + nCell % 40, "#");
    }
  EXPECT_EQ(nColorPair, 48);
  int nWrong = 0;
  nCell = 0;
  for (int nBack = 0; nBack < 6; ++nBack)
    for (int nFore = 0; nFore < 8; ++nFore, ++nCell) {
      PtyTerminal::Cell cell = term.At(3 + nCell / 40, 1 + nCell % 40);
      if (cell.nForeground != nFore || cell.nBackground != nBack || cell.nPair != nCell + 1) {
        ++nWrong;
        ADD_FAILURE() << "cell " << nCell << ": pair " << cell.nPair << " " << cell.nForeground
                      << "/" << cell.nBackground << ", wanted " << nFore << "/" << nBack;
      }
    }
  EXPECT_EQ(nWrong, 0);
  // The first 32 combinations are the public table.
  EXPECT_EQ(asColor[31].nForeground, 7);
  EXPECT_EQ(asColor[31].nBackground, 3);
}

TEST_F(ScreenTest, WhenEveryPairIsTakenTheLastOneIsRedefined) {
  // xterm offers pairs 1 to 63: the 64th combination takes over pair 63.
  ASSERT_EQ(COLOR_PAIRS, 64);
  for (int nCombination = 0; nCombination < 64; ++nCombination)
    OVSetColor(nCombination % 8, nCombination / 8);
  EXPECT_EQ(nColorPair, 63);
  WriteAt(6, 1, "z");
  PtyTerminal::Cell cell = term.At(6, 1);
  EXPECT_EQ(cell.nPair, 63);
  EXPECT_EQ(cell.nForeground, 7);
  EXPECT_EQ(cell.nBackground, 7);
  EXPECT_NE(home.ReadLog().find("OVSetColor: No free colour pair, pair 63 redefined."),
            std::string::npos);
}

TEST_F(ScreenTest, SetColorReplacesThePairAndKeepsTheAttribute) {
  OVSetAttribute(1);
  OVSetColor(1, 0);
  OVSetColor(2, 0);
  WriteAt(4, 1, "x");
  PtyTerminal::Cell cell = term.At(4, 1);
  EXPECT_TRUE(cell.bBold);
  EXPECT_EQ(cell.nPair, 2);
  EXPECT_EQ(cell.nForeground, 2);
}

TEST_F(ScreenTest, AttributeNumbersMapToCursesAttributesAndDropTheColour) {
  struct {
    int nAttribute;
    bool bBold, bDim, bUnderline, bReverse;
  } const aCases[] = {
      {1, true, false, false, false}, {2, false, true, false, false},
      {3, false, false, true, false}, {7, false, false, false, true},
      {0, false, false, false, false}, {5, false, false, false, false},
  };
  int nColumn = 1;
  for (const auto &c : aCases) {
    OVSetColor(6, 1);
    OVSetAttribute(c.nAttribute);
    WriteAt(5, nColumn, "a");
    PtyTerminal::Cell cell = term.At(5, nColumn++);
    SCOPED_TRACE("attribute " + std::to_string(c.nAttribute));
    EXPECT_EQ(cell.bBold, c.bBold);
    EXPECT_EQ(cell.bDim, c.bDim);
    EXPECT_EQ(cell.bUnderline, c.bUnderline);
    EXPECT_EQ(cell.bReverse, c.bReverse);
    EXPECT_EQ(cell.nPair, 0);
  }
}

TEST_F(ScreenTest, PositionsBelowOneAreRefusedWithoutMoving) {
  ASSERT_EQ(SetPosition(3, 4), 0);
  EXPECT_EQ(term.Cursor(), std::make_pair(3, 4));
  EXPECT_EQ(SetPosition(0, 5), 8);
  EXPECT_EQ(SetPosition(5, 0), 8);
  EXPECT_EQ(SetPosition(-1, -1), 8);
  EXPECT_EQ(term.Cursor(), std::make_pair(3, 4));
}

TEST_F(ScreenTest, WriteStringIsLiteralAndRefusesNull) {
  WriteAt(6, 2, "100% %d %s");
  EXPECT_EQ(term.Text(6, 2, 10), "100% %d %s");
  WriteAt(7, 1, "grüße");
  EXPECT_EQ(term.Text(7, 1, 5), "grüße");
  // Nothing written reaches the terminal as a control: it would clear the screen here.
  WriteAt(8, 1, "a\x1b[2J\x7f");
  EXPECT_EQ(term.Text(8, 1, 8), "a^[[2J^?");
  EXPECT_EQ(WriteString(nullptr), 8);
  EXPECT_NE(home.ReadLog().find("WriteString: pszString NULL pointer: (nil)."), std::string::npos);
}

TEST_F(ScreenTest, ClearScreenHunkPaintsFromTheLeftEdgeWhateverTheColumn) {
  for (int nRow = 8; nRow <= 10; ++nRow) WriteAt(nRow, 1, "xxxxxxxxxxxxxxxxxxxxxxxxx");
  EXPECT_EQ(OVClearScreenHunk(psPabi, 8, 10, 2, 20, 4, 3), 0);
  EXPECT_EQ(nBackColor, 4);
  EXPECT_EQ(nForeColor, 3);
  for (int nRow = 8; nRow <= 9; ++nRow) {
    EXPECT_EQ(term.Text(nRow, 1, 25), std::string(20, ' ') + "xxxxx");
    EXPECT_EQ(term.At(nRow, 1).nBackground, 4);
    EXPECT_EQ(term.At(nRow, 20).nForeground, 3);
  }
  EXPECT_EQ(term.Text(10, 1, 3), "xxx");
  // The colour stays current.
  WriteAt(11, 1, "y");
  EXPECT_EQ(term.At(11, 1).nBackground, 4);
}

TEST_F(ScreenTest, PrintBlockSkipsBlankLinesAndUsesCursesCoordinates) {
  const char *pszText = "a\n\nb\n";
  EXPECT_EQ(PrintBlock(psPabi, 5, 3, pszText), 0);
  EXPECT_EQ(term.At(6, 4).ch, 'a');
  EXPECT_EQ(term.At(7, 4).ch, 'b');
  EXPECT_EQ(term.At(8, 4).ch, ' ');
  EXPECT_STREQ(pszText, "a\n\nb\n");
  EXPECT_EQ(PrintBlock(nullptr, 1, 1, "x"), 8);
  EXPECT_EQ(PrintBlock(psPabi, 1, 1, nullptr), 8);
}

TEST_F(ScreenTest, PrintBlockIsCentredOnlyOnPanelsWiderThanEighty) {
  const std::string sLine(20, 'w');
  EXPECT_EQ(PrintBlock(psPabi, 10, 2, sLine.c_str()), 0);
  EXPECT_EQ(term.Text(11, 3, 20), sLine);
  EXPECT_EQ(term.At(11, 2).ch, ' ');

  PABI *psWide = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 120, 0, 0, 0);
  ASSERT_NE(psWide, nullptr);
  // The widest line decides: (120 - 20) / 2 = 50 columns to the right.
  EXPECT_EQ(PrintBlock(psWide, 12, 2, "wwwwwwwwwwwwwwwwwwww\nshort"), 0);
  EXPECT_EQ(term.Text(13, 53, 20), sLine);
  EXPECT_EQ(term.Text(14, 53, 5), "short");
  EXPECT_EQ(term.At(13, 52).ch, ' ');

  // A line wider than the panel would start left of the screen: it starts at the left
  // edge and wraps instead of vanishing.
  const std::string sLong = std::string(80, 'L') + std::string(120, 'M');
  EXPECT_EQ(PrintBlock(psWide, 16, 3, sLong.c_str()), 0);
  EXPECT_EQ(term.Text(17, 1, 80), std::string(80, 'L'));
  EXPECT_EQ(term.Text(18, 1, 80), std::string(80, 'M'));
  OVDeletePanel(psWide);
}

}  // namespace
