// Panel creation and deletion in a 24x79 pseudo-terminal: title, records, configuration,
// dump, trace lines and repeated use in one process.
#include <gtest/gtest.h>

#include <curses.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "orviklib.h"
#include "pty_terminal.h"

namespace {

class PanelTest : public ::testing::Test {
 protected:
  PtyTestHome home;
  PtyTerminal &term = PtyTerminal::Open(24, 79);
};

int CountOf(const std::string &sText, const std::string &sWhat) {
  int n = 0;
  for (auto nAt = sText.find(sWhat); nAt != std::string::npos; nAt = sText.find(sWhat, nAt + 1)) ++n;
  return n;
}

TEST_F(PanelTest, TitleIsCentredWithIntegerDivisionInItsColours) {
  PAB *psPab = OVCreatePanel("0123456789", 1, 4, 7);
  ASSERT_NE(psPab, nullptr);
  EXPECT_EQ(psPab->nColumns, 79);
  EXPECT_EQ(psPab->nRows, 24);
  EXPECT_EQ(term.Text(1, 34, 10), "0123456789");
  EXPECT_EQ(term.At(1, 33).ch, ' ');
  PtyTerminal::Cell cell = term.At(1, 34);
  EXPECT_TRUE(cell.bBold);
  EXPECT_EQ(cell.nForeground, 7);
  EXPECT_EQ(cell.nBackground, 4);

  FIELD *psTitle = psPab->psFieldFirst;
  ASSERT_NE(psTitle, nullptr);
  EXPECT_STREQ(psTitle->szName, "TITLE");
  EXPECT_EQ(psTitle->nColumn, 34);
  EXPECT_EQ(psTitle->nLength, 10);
  EXPECT_EQ(psTitle->ulStyle, 0UL);
  EXPECT_EQ(psPab->psFieldTabFirst, nullptr);
  EXPECT_EQ(OVDeletePanel(psPab), 0);
}

TEST_F(PanelTest, NullOrEmptyTitleCreatesNoField) {
  for (const char *pszTitle : {static_cast<const char *>(nullptr), ""}) {
    PAB *psPab = OVCreatePanel(pszTitle, 0, 0, 7);
    ASSERT_NE(psPab, nullptr);
    EXPECT_EQ(psPab->psFieldFirst, nullptr);
    EXPECT_EQ(psPab->nRowCurrent, 1);
    EXPECT_EQ(psPab->nColumnCurrent, 1);
    EXPECT_EQ(OVDeletePanel(psPab), 0);
  }
}

TEST_F(PanelTest, AnchorBlockAndFirstHeapHeaderAreLaidOut) {
  PABI *psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, 0, 0, 0);
  ASSERT_NE(psPabi, nullptr);
  EXPECT_EQ(0, memcmp(psPabi->szEyeCatcher, "PANELBLK", 8));
  HEAP *psHeap = psPabi->psHeapFirst;
  EXPECT_EQ(reinterpret_cast<unsigned char *>(psHeap), reinterpret_cast<unsigned char *>(psPabi) + sizeof(PABI));
  EXPECT_EQ(0, memcmp(psHeap->szEyeCatcher, "PHEAPBLK", 8));
  EXPECT_EQ(psHeap->pHeap, reinterpret_cast<unsigned char *>(psPabi));
  EXPECT_EQ(psHeap->pHeapFree, reinterpret_cast<unsigned char *>(psHeap + 1));
  EXPECT_EQ(psHeap->nHeapSize, OVHEAPCHUNKSIZE);
  EXPECT_EQ(psPabi->psHeapCurrent, psHeap);
  EXPECT_EQ(nPid, static_cast<int>(getpid()));
  EXPECT_EQ(OVDeletePanel(psPabi), 0);

  // Positive sizes override the terminal's; zero and negative ones take it.
  psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 30, 120, 0, 0, 0);
  ASSERT_NE(psPabi, nullptr);
  EXPECT_EQ(psPabi->nRows, 30);
  EXPECT_EQ(psPabi->nColumns, 120);
  EXPECT_EQ(OVDeletePanel(psPabi), 0);
  psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, -3, 0, 0, 0, 0);
  ASSERT_NE(psPabi, nullptr);
  EXPECT_EQ(psPabi->nRows, 24);
  EXPECT_EQ(psPabi->nColumns, 79);
  EXPECT_EQ(OVDeletePanel(psPabi), 0);
}

TEST_F(PanelTest, TooSmallFirstChunkIsRefused) {
  EXPECT_EQ(OVCreatePaneli(100, 0, 0, 0, 0, 0), nullptr);
  EXPECT_NE(home.ReadLog().find("OVCreatePaneli: Unable to allocate memory, size: 100."),
            std::string::npos);
  // Curses was entered all the same, as with any failed allocation.
  EXPECT_NE(stdscr, nullptr);
  endwin();
}

TEST_F(PanelTest, DeletionSavesConfigurationClearsTerminalAndResetsPairs) {
  PAB *psPab = OVCreatePanel("Delete", 0, 0, 7);
  ASSERT_NE(psPab, nullptr);
  OVSetColor(2, 0);
  EXPECT_EQ(nColorPair, 2);
  term.ClearOutput();
  EXPECT_EQ(OVDeletePanel(psPab), 0);
  EXPECT_EQ(nColorPair, 0);
  EXPECT_TRUE(std::filesystem::exists(home.sDir + "/config.ini"));
  EXPECT_TRUE(term.WaitForOutput("\x1b[2J"));
  EXPECT_TRUE(isendwin());

  EXPECT_EQ(OVDeletePanel(nullptr), 8);
  EXPECT_NE(home.ReadLog().find("OVDeletePanel. NULL psPabi pointer: (nil)."), std::string::npos)
      << home.ReadLog();
}

TEST_F(PanelTest, DumpListsEveryChunkOfAPanelThatOutgrewItsFirst) {
  PAB *psPab = OVCreatePanel("Dump", 0, 0, 7);
  ASSERT_NE(psPab, nullptr);
  for (int i = 0; i < 400; ++i) ASSERT_EQ(OVCreateField(psPab, 3, 1, 5, "F", "value", 0, 0, -1, 0), 0);
  HEAP *psSecond = psPab->psHeapFirst->psHeapNext;
  ASSERT_NE(psSecond, nullptr);
  EXPECT_EQ(psPab->psHeapCurrent, psSecond);
  int nCount = 0;
  for (FIELD *ps = psPab->psFieldFirst; ps != nullptr; ps = ps->psFieldNext) ++nCount;
  EXPECT_EQ(nCount, 401);

  bDump = 1;
  EXPECT_EQ(OVDeletePanel(psPab), 0);
  bDump = 0;
  std::string sLog = home.ReadLog();
  EXPECT_EQ(CountOf(sLog, "OVDeletePanel: psHeap Address: "), 2) << sLog;
  EXPECT_NE(sLog.find("PANELBLK"), std::string::npos);
}

TEST_F(PanelTest, DebugTraceLinesNameTheFunctionAndItsArguments) {
  bDebug = 1;
  PAB *psPab = OVCreatePanel("Hello", 1, 4, 7);
  ASSERT_NE(psPab, nullptr);
  EXPECT_EQ(OVDeletePanel(psPab), 0);
  bDebug = 0;
  std::string sLog = home.ReadLog();
  EXPECT_NE(sLog.find("OVCreatePanel: starting: pszTitle: Hello, nAttribute: 1, nBackground: 4, "
                      "nForeground: 7."), std::string::npos) << sLog;
  EXPECT_NE(sLog.find("OVCreatePanel: ending: nRc: 0."), std::string::npos);
  EXPECT_NE(sLog.find("OVDeletePanel: ending: nRc: 0."), std::string::npos);
}

TEST_F(PanelTest, RepeatedPanelsKeepTheirSettingsAndNumberPairsFromOne) {
  // Keys are read from a terminal of at least 80 columns only (a narrower one shows the
  // notice and waits): this test widens it by one column, and narrows it again at its end.
  struct Widened {
    explicit Widened(PtyTerminal &terminalIn) : terminal(terminalIn) { Set(80); }
    ~Widened() { Set(79); }
    void Set(int nColumns) {
      terminal.Resize(24, nColumns);
      flushinp();   // the resize is not what this test reads
    }
    PtyTerminal &terminal;
  } widened(term);
  for (int nRound = 0; nRound < 4; ++nRound) {
    SCOPED_TRACE("round " + std::to_string(nRound));
    PAB *psPab = OVCreatePanel("Again", 0, nRound, 7);
    ASSERT_NE(psPab, nullptr);
    // A cleared screen: nothing of the previous round's field remains.
    EXPECT_EQ(term.Text(5, 1, 6), "      ");
    PtyTerminal::Cell title = term.At(1, 37);
    EXPECT_EQ(title.nPair, 1);
    EXPECT_EQ(title.nBackground, nRound);
    EXPECT_EQ(OVCreateField(psPab, 5, 1, 6, "F", "field", 0, 0, 6, 3), 0);
    EXPECT_EQ(term.At(5, 1).nPair, 2);
    EXPECT_EQ(term.At(5, 1).nForeground, 3);

    // Keys arrive at once, unechoed, with keypad codes; the mouse is reported.
    term.SendKeys("q\x1bOB");
    CHARINPUT sInput;
    GetKBM(&sInput);
    EXPECT_EQ(sInput.nChar, 'q');
    GetKBM(&sInput);
    EXPECT_EQ(sInput.nChar, OVKEY_DOWN);
    nTimeMouse = -1;
    term.SendClick(4, 9);
    GetKBM(&sInput);
    EXPECT_EQ(sInput.nChar, OVKEY_MOUSE);
    EXPECT_EQ(sInput.nRow, 4);
    EXPECT_EQ(sInput.nColumn, 9);
    EXPECT_EQ(OVDeletePanel(psPab), 0);
  }
}

}  // namespace
