// The action bar: button placement, the selectable twins, the modal loop and its clicks.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "panel_fixture.h"

namespace {

using ActionBarTest = PanelFixture;

constexpr std::pair<int, int> PANEL = {7, 0};
constexpr std::pair<int, int> BUTTON = {0, 6};

TEST_F(ActionBarTest, HelpReturnExitAtColumn23AreDrawnInButtonColoursOnAPanelBar) {
  int nResponse = -1;
  ASSERT_EQ(OVCreateActionBari(psPabi, 22, 23, 50, OVAB_HELP | OVAB_RETURN | OVAB_EXIT,
                               &nResponse), 0);
  EXPECT_EQ(nResponse, -1);
  EXPECT_EQ(pTerminal->Text(22, 23, 5), "Help ");
  EXPECT_EQ(pTerminal->Text(22, 30, 7), "Return ");
  EXPECT_EQ(pTerminal->Text(22, 39, 5), "Exit ");
  // The trailing blank is part of the button; the two blanks after it belong to the bar.
  EXPECT_EQ(Colours(22, 23), BUTTON);
  EXPECT_EQ(Colours(22, 27), BUTTON);
  EXPECT_EQ(Colours(22, 28), PANEL);
  EXPECT_EQ(Colours(22, 29), PANEL);
  EXPECT_EQ(Colours(22, 43), BUTTON);
  // The bar runs nColumns - nColumn - 1 = 56 columns: 23 to 78.
  EXPECT_EQ(Colours(22, 78), PANEL);
  EXPECT_NE(pTerminal->At(22, 78).nPair, 0);
  EXPECT_EQ(pTerminal->At(22, 79).nPair, 0);  // never painted
  EXPECT_EQ(pTerminal->At(22, 22).nPair, 0);
}

TEST_F(ActionBarTest, EachButtonHasADisplayFieldAndASelectableTwin) {
  int nResponse = 0;
  ASSERT_EQ(OVCreateActionBari(psPabi, 22, 23, 50, OVAB_HELP | OVAB_RETURN | OVAB_EXIT,
                               &nResponse), 0);
  std::vector<FIELDTAB *> apsEntries;
  for (FIELDTAB *ps = psPabi->psFieldTabFirst; ps != nullptr; ps = ps->psFieldTabNext)
    apsEntries.push_back(ps);
  ASSERT_EQ(apsEntries.size(), 3u);
  EXPECT_EQ(psPabi->psFieldTab_Current, apsEntries[2]);
  const char *apszLabels[] = {"Help ", "Return ", "Exit "};
  const int anColumns[] = {23, 30, 39};
  for (int i = 0; i < 3; i++) {
    FIELD *psTwin = apsEntries[i]->psField;
    EXPECT_STREQ(psTwin->szName, apszLabels[i]);
    EXPECT_STREQ(psTwin->szValue, apszLabels[i]);
    EXPECT_EQ(apsEntries[i]->nRow, 22);
    EXPECT_EQ(apsEntries[i]->nColumn, anColumns[i]);
    EXPECT_EQ(psTwin->nLength, static_cast<int>(std::strlen(apszLabels[i])));
    EXPECT_EQ(psTwin->ulStyle, 0u);
    EXPECT_EQ(psTwin->nAttribute, 1);
    EXPECT_EQ(psTwin->nBackground, 4);
    EXPECT_EQ(psTwin->nForeground, 4);
    // The display field comes just before its twin and is found first by name.
    ASSERT_NE(psTwin->psFieldPrev, nullptr);
    EXPECT_STREQ(psTwin->psFieldPrev->szName, apszLabels[i]);
    EXPECT_EQ(psTwin->psFieldPrev->nBackground, BUTTON.second);
    char *pszValue = nullptr;
    ASSERT_EQ(GetFieldValuei(psPabi, apszLabels[i], &pszValue), 0);
    EXPECT_EQ(pszValue, psTwin->psFieldPrev->szValue);
  }
}

TEST_F(ActionBarTest, ButtonOrderFollowsTheTableNotTheBits) {
  int nResponse = 0;
  ASSERT_EQ(OVCreateActionBari(psPabi, 20, 1, 79, OVAB_PRINT | OVAB_SAVE | OVAB_COPY,
                               &nResponse), 0);
  EXPECT_EQ(pTerminal->Text(20, 1, 5), "Copy ");
  EXPECT_EQ(pTerminal->Text(20, 8, 5), "Save ");
  EXPECT_EQ(pTerminal->Text(20, 15, 6), "Print ");
}

TEST_F(ActionBarTest, AllSeventeenButtonsArePlacedInOrderWithoutOverflow) {
  psPabi->nColumns = 400;  // a wide panel holds them all
  int nResponse = 0;
  ASSERT_EQ(OVCreateActionBari(psPabi, 23, 1, 399, 0x7ffffUL & ~OVAB_MODAL, &nResponse), 0);
  const char *apszOrder[] = {"Forward ", "Backward ", "New ", "Ping ", "Trust ", "Connect ",
                             "Disconnect ", "Browse ", "Edit ", "Copy ", "Save ", "Cancel ",
                             "Print ", "Delete ", "Help ", "Return ", "Exit "};
  int i = 0;
  int nColumn = 1;
  for (FIELDTAB *ps = psPabi->psFieldTabFirst; ps != nullptr; ps = ps->psFieldTabNext, i++) {
    ASSERT_LT(i, 17);
    EXPECT_STREQ(ps->psField->szName, apszOrder[i]);
    EXPECT_EQ(ps->nColumn, nColumn);
    nColumn += static_cast<int>(std::strlen(apszOrder[i])) + 2;
  }
  EXPECT_EQ(i, 17);
}

TEST_F(ActionBarTest, ModalWithoutButtonsIsRefusedWithoutReadingInput) {
  int nResponse = -1;
  // No key is waiting: a read would block the test until its time-out.
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50, OVAB_MODAL, &nResponse), 8);
  EXPECT_EQ(nResponse, -1);
  EXPECT_EQ(psPabi->psFieldFirst, nullptr);
  EXPECT_NE(home.ReadLog().find("OVCreateActionBari: No actions requested."), std::string::npos);
}

TEST_F(ActionBarTest, NullArgumentsAreLoggedAndRefused) {
  int nResponse = 0;
  EXPECT_EQ(OVCreateActionBar(nullptr, 22, 1, 10, OVAB_RETURN, &nResponse), 8);
  EXPECT_EQ(OVCreateActionBar(psPabi, 22, 1, 10, OVAB_RETURN, nullptr), 8);
  std::string sLog = home.ReadLog();
  EXPECT_NE(sLog.find("OVCreateActionBar: psPab NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("OVCreateActionBar: pnResponse NULL pointer: "), std::string::npos);
  EXPECT_EQ(psPabi->psFieldFirst, nullptr);
}

TEST_F(ActionBarTest, ModalRightOnTheLastButtonWrapsToTheFirst) {
  // Help -> Return -> Exit -> Help -> Return; Down is ignored.
  pTerminal->SendKeys(std::string(KEY_BYTES_RIGHT) + KEY_BYTES_RIGHT + KEY_BYTES_RIGHT +
                      KEY_BYTES_DOWN + KEY_BYTES_RIGHT + "\n");
  int nResponse = -1;
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                               OVAB_MODAL | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  EXPECT_EQ(nResponse, 2);
}

TEST_F(ActionBarTest, ModalCurrentButtonIsReversedInButtonColoursAndOnlyIt) {
  // The same bar shown again for every answer, as page after page shows it; each time the
  // button chosen last is current at the start (the first one at first).
  struct Step {
    std::string sKeys;
    int nClickColumn;   /* 0: no click */
    int nResponse;
    int nReversed;      /* first column of the button shown in reverse */
  };
  const Step aSteps[] = {
      {"\n", 0, 27, 23},
      {std::string(KEY_BYTES_RIGHT) + "\n", 0, 2, 32},
      {std::string(KEY_BYTES_LEFT) + "\n", 0, 27, 23},
      {"", 33, 2, 32},
  };
  for (const Step &step : aSteps) {
    if (step.nClickColumn > 0) pTerminal->SendClick(22, step.nClickColumn);
    pTerminal->SendKeys(step.sKeys);
    int nResponse = -1;
    ASSERT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                                 OVAB_MODAL | OVAB_CANCEL | OVAB_RETURN | OVAB_EXIT, &nResponse),
              0);
    EXPECT_EQ(nResponse, step.nResponse) << step.sKeys;
    for (int nButton : {23, 32, 41}) {
      for (int nColumn = nButton; nColumn < nButton + 4; nColumn++) {
        PtyTerminal::Cell cell = pTerminal->At(22, nColumn);
        EXPECT_EQ(cell.bReverse, nButton == step.nReversed) << step.sKeys << " " << nColumn;
        EXPECT_EQ(Colours(22, nColumn), BUTTON) << nColumn;
      }
    }
    EXPECT_EQ(pTerminal->Text(22, 23, 23), "Cancel   Return   Exit ");
  }
}

TEST_F(ActionBarTest, ModalLeftOnTheFirstButtonWrapsToTheLast) {
  pTerminal->SendKeys(std::string(KEY_BYTES_LEFT) + KEY_BYTES_UP + "\n");
  int nResponse = -1;
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                               OVAB_MODAL | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  EXPECT_EQ(nResponse, 9);
}

TEST_F(ActionBarTest, ModalHelpShowsTheHelpBoxAndAnswers10) {
  char szHelp[] = "Help for the test program";
  pszHelpInfo = szHelp;
  pTerminal->SendKeys("\nq");  // Enter on Help, then any key closes the help box
  int nResponse = -1;
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                               OVAB_MODAL | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  EXPECT_EQ(nResponse, 10);
  EXPECT_EQ(pTerminal->Text(3, 3, 25), "Help for the test program");
  EXPECT_EQ(pTerminal->Text(23, 37, 7), "Return ");
}

TEST_F(ActionBarTest, ModalClickOneColumnLeftOfAButtonSelectsIt) {
  pTerminal->SendClick(22, 29);  // "Return " starts in column 30
  pTerminal->SendKeys("\t\t\n");  // would end on Exit if the click were missed
  int nResponse = -1;
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                               OVAB_MODAL | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  EXPECT_EQ(nResponse, 2);
}

TEST_F(ActionBarTest, ModalClickOnTheTrailingBlankSelectsNothing) {
  // Column 36 is the trailing blank of "Return ": the click is ignored, so the keys that
  // follow decide: Tab, Tab from Help reaches Exit.
  pTerminal->SendClick(22, 36);
  int nResponse = -1;
  pTerminal->SendKeys("\t\t\n");
  EXPECT_EQ(OVCreateActionBari(psPabi, 22, 23, 50,
                               OVAB_MODAL | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  EXPECT_EQ(nResponse, 9);
}

TEST_F(ActionBarTest, PlainEnterOnForwardGivesResponse5WithTheLabel) {
  int nResponse = -1;
  ASSERT_EQ(OVCreateActionBari(psPabi, 22, 1, 79, OVAB_FORWARD | OVAB_HELP | OVAB_RETURN,
                               &nResponse), 0);
  ASSERT_EQ(SetCursori(psPabi, "Forward "), 0);
  pTerminal->SendKeys("\n");
  char szResponseID[40] = "stale";
  EXPECT_EQ(OVGetUserResponse(psPabi, szResponseID, &nResponse), 0);
  EXPECT_EQ(nResponse, 5);
  EXPECT_STREQ(szResponseID, "Forward ");
}

TEST_F(ActionBarTest, PlainReturnAndExitButtonsEndTheResponseLoop) {
  int nResponse = -1;
  ASSERT_EQ(OVCreateActionBari(psPabi, 22, 1, 79, OVAB_RETURN | OVAB_EXIT, &nResponse), 0);
  char szResponseID[40];
  pTerminal->SendKeys("\n");  // the current entry is the last button, Exit
  EXPECT_EQ(OVGetUserResponse(psPabi, szResponseID, &nResponse), 9);
  pTerminal->SendKeys(std::string(KEY_BYTES_BTAB) + "\n");
  EXPECT_EQ(OVGetUserResponse(psPabi, szResponseID, &nResponse), 3);
  EXPECT_EQ(nResponse, -1);
  EXPECT_STREQ(szResponseID, "");
}

}  // namespace
