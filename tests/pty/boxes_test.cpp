// The message box, the help box, the help prompt screen and the product information panel.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "panel_fixture.h"

namespace {

using BoxesTest = PanelFixture;

constexpr std::pair<int, int> PANEL = {7, 0};
constexpr std::pair<int, int> BUTTON = {0, 6};

/* The columns of a row painted in colours (fg, bg), as the first and last such column. */
std::pair<int, int> ColourRun(PtyTerminal &terminal, int nRow,
                              std::pair<int, int> colours) {
  int nFirst = 0;
  int nLast = 0;
  for (int nColumn = 1; nColumn <= terminal.Columns(); nColumn++) {
    PtyTerminal::Cell cell = terminal.At(nRow, nColumn);
    if (cell.nPair != 0 && std::pair<int, int>{cell.nForeground, cell.nBackground} == colours) {
      if (nFirst == 0) nFirst = nColumn;
      nLast = nColumn;
    }
  }
  return {nFirst, nLast};
}

TEST_F(BoxesTest, MessageBoxGrowsToTheMessageAndHasARedFrameForErrors) {
  pTerminal->SendKeys("x");
  const char *pszMessage = "Report saved: 100% !";  // 20 characters, "%" taken literally
  ASSERT_EQ(std::strlen(pszMessage), 20u);
  EXPECT_EQ(CreateMessageBoxi(psPabi, pszMessage, 8, 5, 5, 10), 0);
  // Width value 26: the box is 25 columns, 5 to 29, rows 5 to 12.
  EXPECT_EQ(ColourRun(*pTerminal, 5, {1, 1}), (std::pair<int, int>{5, 29}));
  EXPECT_EQ(ColourRun(*pTerminal, 12, {1, 1}), (std::pair<int, int>{5, 29}));
  for (int nRow = 6; nRow <= 11; nRow++) {
    EXPECT_EQ(Colours(nRow, 5), (std::pair<int, int>{1, 1})) << nRow;
    EXPECT_EQ(Colours(nRow, 29), (std::pair<int, int>{1, 1})) << nRow;
    EXPECT_EQ(Colours(nRow, 6), PANEL) << nRow;
    EXPECT_EQ(Colours(nRow, 28), PANEL) << nRow;
    EXPECT_EQ(pTerminal->At(nRow, 30).nPair, 0) << nRow;
  }
  EXPECT_EQ(pTerminal->Text(8, 7, 20), pszMessage);
  EXPECT_EQ(pTerminal->Text(10, 7, 7), "Return ");
  EXPECT_EQ(Colours(10, 7), BUTTON);
  EXPECT_EQ(psPabi->nRowCurrent, 1);
  EXPECT_EQ(psPabi->nColumnCurrent, 1);
}

TEST_F(BoxesTest, MessageBoxWiderThanThePanelIsLimitedAndYellowForWarnings) {
  pTerminal->SendKeys("x");
  EXPECT_EQ(CreateMessageBoxi(psPabi, "short", 4, 2, 2, 200), 0);
  EXPECT_EQ(ColourRun(*pTerminal, 2, {3, 3}), (std::pair<int, int>{2, 78}));  // 77 wide
}

TEST_F(BoxesTest, MessageBoxWithANegativeLengthIsLimitedLikeALargeOneAndGreen) {
  pTerminal->SendKeys("x");
  EXPECT_EQ(CreateMessageBoxi(psPabi, "short", 0, 2, 2, -5), 0);
  EXPECT_EQ(ColourRun(*pTerminal, 9, {2, 2}), (std::pair<int, int>{2, 78}));
  EXPECT_EQ(Colours(5, 2), (std::pair<int, int>{2, 2}));
}

TEST_F(BoxesTest, AMessageLongerThanTheBoxIsCutInsideTheFrame) {
  pTerminal->SendKeys("x");
  std::string sMessage(120, 'm');
  EXPECT_EQ(CreateMessageBoxi(psPabi, sMessage.c_str(), 0, 2, 2, 10), 0);
  // The box keeps to the panel (77 columns) and the message to its inside.
  EXPECT_EQ(ColourRun(*pTerminal, 2, {2, 2}), (std::pair<int, int>{2, 78}));
  EXPECT_EQ(Colours(5, 78), (std::pair<int, int>{2, 2}));
  EXPECT_EQ(pTerminal->Text(5, 4, 74), std::string(73, 'm') + " ");
}

TEST_F(BoxesTest, ALongMessageWhoseBoxFitsThePanelIsShownWhole) {
  pTerminal->SendKeys("x");
  std::string sMessage = std::string(73, 'm') + "!";
  // Width value 80 from column 1: the box is 79 columns, 1 to 79, wider than a large request.
  EXPECT_EQ(CreateMessageBoxi(psPabi, sMessage.c_str(), 0, 2, 1, 10), 0);
  EXPECT_EQ(ColourRun(*pTerminal, 2, {2, 2}), (std::pair<int, int>{1, 79}));
  EXPECT_EQ(Colours(5, 79), (std::pair<int, int>{2, 2}));
  EXPECT_EQ(pTerminal->Text(5, 3, 75), sMessage + " ");
}

TEST_F(BoxesTest, MessageBoxRefusesNullPointers) {
  EXPECT_EQ(CreateMessageBoxi(nullptr, "text", 0, 2, 2, 10), 8);
  EXPECT_EQ(CreateMessageBoxi(psPabi, nullptr, 0, 2, 2, 10), 8);
  std::string sLog = home.ReadLog();
  EXPECT_NE(sLog.find("CreateMessageBoxi: psPabi NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("CreateMessageBoxi: psMessage NULL pointer: "), std::string::npos);
}

/* Text and colour pair of every cell. */
std::vector<std::pair<std::string, std::vector<short>>> Snapshot(PtyTerminal &terminal) {
  std::vector<std::pair<std::string, std::vector<short>>> asRows;
  for (int nRow = 1; nRow <= 24; nRow++) {
    std::vector<short> anPairs;
    for (int nColumn = 1; nColumn <= 80; nColumn++)
      anPairs.push_back(terminal.At(nRow, nColumn).nPair);
    asRows.emplace_back(terminal.Text(nRow, 1, 80), anPairs);
  }
  return asRows;
}

TEST_F(BoxesTest, HelpBoxShowsEachLineOnItsOwnRowBelowTheTitle) {
  ASSERT_EQ(OVCreateFieldi(psPabi, 1, 30, 10, "TITLE", "Test Title", 0, 0, 0, 7), 0);
  pTerminal->SendKeys("q");
  EXPECT_EQ(CreateHelpBox(psPabi, "first line\n\nsecond line\n\nthird line\n", 4, 4, 60), 0);
  EXPECT_EQ(pTerminal->Text(1, 30, 10), "Test Title");
  EXPECT_EQ(pTerminal->Text(3, 3, 10), "first line");
  EXPECT_EQ(pTerminal->Text(4, 3, 11), "second line");
  EXPECT_EQ(pTerminal->Text(5, 3, 10), "third line");
  EXPECT_EQ(pTerminal->Text(23, 37, 7), "Return ");
  EXPECT_EQ(Colours(23, 37), BUTTON);
  for (int nRow = 2; nRow <= 24; nRow++)
    EXPECT_EQ(Colours(nRow, 1), PANEL) << nRow;
  EXPECT_EQ(Colours(24, 79), PANEL);
  EXPECT_EQ(pTerminal->At(24, 80).nPair, 0);
  EXPECT_EQ(psPabi->nRowCurrent, 22);
  EXPECT_EQ(psPabi->nColumnCurrent, 37);
}

TEST_F(BoxesTest, HelpBoxIgnoresItsPositionAndLength) {
  const char *pszHelp = "Line one\nLine two";
  pTerminal->SendKeys("q");
  ASSERT_EQ(CreateHelpBoxi(psPabi, pszHelp, 4, 4, 60), 0);
  auto asFirst = Snapshot(*pTerminal);
  SetPosition(10, 10);
  WriteString("something else on the screen");
  pTerminal->SendKeys("q");
  ASSERT_EQ(CreateHelpBoxi(psPabi, pszHelp, 0, 0, 80), 0);
  EXPECT_EQ(Snapshot(*pTerminal), asFirst);
}

TEST_F(BoxesTest, HelpBoxRefusesNullPointers) {
  EXPECT_EQ(CreateHelpBox(nullptr, "text", 4, 4, 60), 8);
  EXPECT_EQ(CreateHelpBox(psPabi, nullptr, 4, 4, 60), 8);
  EXPECT_EQ(CreateHelpBoxi(psPabi, nullptr, 4, 4, 60), 8);
  std::string sLog = home.ReadLog();
  EXPECT_NE(sLog.find("CreateHelpBox: psPabi NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("CreateHelpBox: psMessage NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("CreateHelpBoxi: psMessage NULL pointer: "), std::string::npos);
}

TEST_F(BoxesTest, PromptScreenIsBlankWithItsTitle) {
  EXPECT_EQ(CreatePrompti(psPabi, "ignored", 0, 5, 5, 20), 0);
  EXPECT_EQ(pTerminal->Text(1, 33, 16), "Help Information");
  EXPECT_EQ(pTerminal->Text(12, 1, 79), std::string(79, ' '));
  EXPECT_EQ(Colours(24, 1), PANEL);
  EXPECT_EQ(CreatePrompti(nullptr, "ignored", 0, 5, 5, 20), 8);
}

/* The text of a row from column nColumn over the cells painted cyan on black. */
std::string CyanRun(PtyTerminal &terminal, int nRow, int nColumn) {
  std::string sText;
  while (nColumn <= 80) {
    PtyTerminal::Cell cell = terminal.At(nRow, nColumn);
    if (cell.nPair == 0 || cell.nForeground != 6 || cell.nBackground != 0) break;
    sText += cell.ch;
    nColumn++;
  }
  return sText;
}

TEST_F(BoxesTest, ProductInfoLaysOutItsLinesAndWaitsForReturn) {
  pTerminal->SendKeys("\n");
  EXPECT_EQ(ProductInfo(psPabi), 0);
  EXPECT_EQ(pTerminal->Text(1, 20, 42), "Orvik Terminal Manager Product Information");
  EXPECT_EQ(Colours(1, 20), PANEL);
  EXPECT_EQ(CyanRun(*pTerminal, 4, 34), "Version: V1R0M0");
  std::string sBuild = CyanRun(*pTerminal, 6, 34 - 6);
  EXPECT_EQ(sBuild.size(), 27u) << sBuild;  // "Build: Mmm dd yyyy hh:mm:ss"
  EXPECT_EQ(sBuild.rfind("Build: ", 0), 0u) << sBuild;
  EXPECT_EQ(CyanRun(*pTerminal, 11, 30), "Developed using ncurses");
  // The credit line fits the panel, centred.
  std::string sCredit = pTerminal->Text(12, 1, 80);
  std::size_t nStart = sCredit.find_first_not_of(' ');
  std::size_t nEnd = sCredit.find_last_not_of(' ');
  ASSERT_NE(nStart, std::string::npos);
  EXPECT_NE(sCredit.find("Free Software Foundation"), std::string::npos);
  EXPECT_NE(sCredit.find("Thomas E. Dickey"), std::string::npos);
  EXPECT_LE(static_cast<int>(nEnd), 78);
  EXPECT_LE(std::abs(static_cast<int>(nStart) - (79 - static_cast<int>(nEnd))), 1);

  // Seven disclaimer lines from column 6, of fixed lengths, together the whole paragraph.
  const std::size_t anLengths[] = {71, 58, 70, 71, 69, 69, 42};
  std::string sParagraph;
  for (int i = 0; i < 7; i++) {
    std::string sLine = CyanRun(*pTerminal, 14 + i, 6);
    EXPECT_EQ(sLine.size(), anLengths[i]) << i;
    EXPECT_EQ(pTerminal->At(14 + i, 5).ch, ' ');
    EXPECT_TRUE(std::none_of(sLine.begin(), sLine.end(), ::islower)) << sLine;
    if (!sParagraph.empty() && sParagraph.back() != ' ') sParagraph += ' ';
    sParagraph += sLine;
  }
  EXPECT_EQ(sParagraph.rfind("THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY", 0), 0u);
  EXPECT_NE(sParagraph.find("FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT."),
            std::string::npos);
  EXPECT_EQ(sParagraph.substr(sParagraph.size() - 31), "OTHER DEALINGS IN THE SOFTWARE.");

  // The modal Return button at row 22, column (80 - 7) / 2.
  EXPECT_EQ(pTerminal->Text(22, 36, 7), "Return ");
  EXPECT_EQ(Colours(22, 36), BUTTON);
  EXPECT_EQ(ProductInfo(nullptr), 8);
  EXPECT_NE(home.ReadLog().find("ProductInfo: psPabi NULL pointer: "), std::string::npos);
}

}  // namespace

// The failure box: across the screen in red, a reason longer than one row on up to three
// rows broken at blanks, control characters made visible, logged when asked, and said once.
TEST_F(BoxesTest, FailureBoxWrapsLongReasonsShowsControlsAndIsSaidOnce) {
  pTerminal->SendKeys("x");
  EXPECT_EQ(OVShowFailure("lpr: Error - No default destination.\r\n"), 0);
  EXPECT_TRUE(OVFailureShown());
  EXPECT_EQ(ColourRun(*pTerminal, 8, {1, 1}), (std::pair<int, int>{2, 78}));
  EXPECT_EQ(ColourRun(*pTerminal, 15, {1, 1}), (std::pair<int, int>{2, 78}));
  EXPECT_EQ(pTerminal->Text(11, 4, 39), "lpr: Error - No default destination.^M ");
  EXPECT_EQ(pTerminal->Text(13, 4, 7), "Return ");
  EXPECT_NE(home.ReadLog().find("Error   lpr: Error - No default destination.\r\n"), std::string::npos)
      << home.ReadLog();

  std::string sLong;
  for (int i = 0; i < 30; i++) sLong += "word" + std::to_string(10 + i) + " ";
  pTerminal->SendKeys("x");
  EXPECT_EQ(OVShowFailure(sLong.c_str(), false), 0);
  EXPECT_EQ(home.ReadLog().find("word10"), std::string::npos) << "not logged when told not to";
  // 73 columns inside the frame: ten words of seven a row, the last row cut.
  EXPECT_EQ(pTerminal->Text(10, 4, 74), sLong.substr(0, 70) + "    ");
  EXPECT_EQ(pTerminal->Text(11, 4, 71), sLong.substr(70, 70) + " ");
  EXPECT_EQ(pTerminal->Text(12, 4, 6), "word30");
  EXPECT_EQ(pTerminal->Text(13, 4, 7), "Return ");
  EXPECT_EQ(ColourRun(*pTerminal, 15, {1, 1}), (std::pair<int, int>{2, 78}));

  // A failure already shown is not shown again at the end: no key is waited for.
  EXPECT_EQ(OVShowFailureBeforeEnd(OVRC_ERROR), OVEXIT_SHOWN);
  EXPECT_EQ(OVShowFailureBeforeEnd(OVRC_EXIT), OVRC_EXIT);
}

namespace {

/* The terminal at 30x100 for one test, back at 24x80 afterwards whatever happened. */
struct LargerTerminal {
  explicit LargerTerminal(PtyTerminal &terminalIn) : terminal(terminalIn) {
    terminal.Resize(30, 100);
  }
  ~LargerTerminal() {
    terminal.Resize(24, 80);
    flushinp();   // the resize that Resize queued
    bOVResizePending = false;
  }
  PtyTerminal &terminal;
};

TEST_F(BoxesTest, ABoxStaysOpenOverANewSizeAndIsDrawnAgainCentredForIt) {
  // Each box opens on the 24x80 panel, the terminal grows to 30x100 before the first key;
  // the box is drawn again on a cleared screen, moved by half the growth (OVShowMessage:
  // placed for the new size as it always is), and the key after the resize closes it.
  struct Case {
    const char *pszKind;
    int nFrameRow, nFrameFirst, nFrameLast;
    std::pair<int, int> frame;
    int nButtonColumn;
  };
  const Case aCases[] = {
      {"message", 11, 31, 69, {2, 2}, 33},
      {"confirm", 11, 31, 69, {3, 3}, 33},
      {"show", 11, 2, 98, {2, 2}, 4},
  };
  for (const Case &c : aCases) {
    const std::string sKind = c.pszKind;
    int bYes = -1;
    {
      LargerTerminal larger(*pTerminal);
      pTerminal->SendKeys(sKind == "confirm" ? "\t\n" : "x");
      if (sKind == "message") {
        EXPECT_EQ(CreateMessageBoxi(psPabi, "Saved.", OVLOG_INFO, 8, 21, 40), 0);
      } else if (sKind == "confirm") {
        EXPECT_EQ(CreateConfirmBoxi(psPabi, "Replace it?", 8, 21, 40, &bYes), 0);
      } else {
        EXPECT_EQ(OVShowMessage(OVLOG_INFO, "Cancelled."), 0);
      }
      // The resize stays pending, for the screen behind the box to be built anew.
      EXPECT_TRUE(bOVResizePending) << sKind;
      EXPECT_EQ(ColourRun(*pTerminal, c.nFrameRow, c.frame),
                (std::pair<int, int>{c.nFrameFirst, c.nFrameLast})) << sKind;
      EXPECT_EQ(ColourRun(*pTerminal, c.nFrameRow + 7, c.frame),
                (std::pair<int, int>{c.nFrameFirst, c.nFrameLast})) << sKind;
      EXPECT_EQ(Colours(8, 21), PANEL) << sKind << ": the first drawing is cleared";
      const int nTextRow = c.nFrameRow + 3, nButtonRow = c.nFrameRow + 5;
      if (sKind == "message") {
        EXPECT_EQ(pTerminal->Text(nTextRow, 33, 6), "Saved.");
        EXPECT_EQ(pTerminal->Text(nButtonRow, 33, 7), "Return ");
      } else if (sKind == "confirm") {
        EXPECT_EQ(bYes, 1);
        EXPECT_EQ(pTerminal->Text(nTextRow, 33, 11), "Replace it?");
        EXPECT_EQ(pTerminal->Text(nButtonRow, 33, 9), "Yes   No ");
        // Tab took the cursor to Yes: it is the button in reverse.
        EXPECT_TRUE(pTerminal->At(nButtonRow, 33).bReverse);
        EXPECT_FALSE(pTerminal->At(nButtonRow, 39).bReverse);
        EXPECT_EQ(Colours(nButtonRow, 33), BUTTON);
      } else {
        EXPECT_EQ(pTerminal->Text(nTextRow, 4, 10), "Cancelled.");
        EXPECT_EQ(pTerminal->Text(nButtonRow, 4, 7), "Return ");
      }
      EXPECT_EQ(Colours(nButtonRow, c.nButtonColumn), BUTTON) << sKind;
    }
  }
}

TEST_F(BoxesTest, YesNoShowsTheCurrentButtonInReverse) {
  // The cursor starts on No; Enter takes it, and it is the one in reverse.
  pTerminal->SendKeys("\n");
  int bYes = -1;
  EXPECT_EQ(CreateConfirmBoxi(psPabi, "Delete it?", 5, 5, 30, &bYes), 0);
  EXPECT_EQ(bYes, 0);
  EXPECT_EQ(pTerminal->Text(10, 7, 9), "Yes   No ");
  EXPECT_FALSE(pTerminal->At(10, 7).bReverse);
  EXPECT_TRUE(pTerminal->At(10, 13).bReverse);
  EXPECT_TRUE(pTerminal->At(10, 15).bReverse);
  EXPECT_EQ(Colours(10, 13), BUTTON);
}

TEST_F(BoxesTest, BoxesMeasureTheirTextInColumnsAndShowNoForeignControls) {
  // Twenty two-byte letters are twenty columns: the same 25-column box as for ASCII.
  std::string sMessage;
  for (int i = 0; i < 20; i++) sMessage += "\xc3\xa9";
  pTerminal->SendKeys("x");
  EXPECT_EQ(CreateMessageBoxi(psPabi, sMessage.c_str(), 8, 5, 5, 10), 0);
  EXPECT_EQ(ColourRun(*pTerminal, 5, {1, 1}), (std::pair<int, int>{5, 29}));
  EXPECT_EQ(pTerminal->Text(8, 7, 20), sMessage);

  // A long reason wraps at 73 columns, not 73 bytes; a C1 control and a broken sequence
  // show as "?" like any byte that is no printable character.
  std::string sLong = "\xc2\x9b" "2J\xe0\x80 ";
  for (int i = 0; i < 29; i++) sLong += "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9" + std::to_string(10 + i) + " ";
  pTerminal->SendKeys("x");
  EXPECT_EQ(OVShowFailure(sLong.c_str(), false), 0);
  EXPECT_EQ(pTerminal->Text(10, 4, 6), "?2J?? ");
  // Then eight words of eight columns on that row, nine on the next.
  std::string sSecond;
  for (int i = 8; i < 17; i++) sSecond += "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9" + std::to_string(10 + i) + " ";
  EXPECT_EQ(pTerminal->Text(11, 4, 72), sSecond);
}

}  // namespace
