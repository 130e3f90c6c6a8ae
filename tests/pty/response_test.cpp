// The response loop, the field editor and the pulldown pop-up.
#include <curses.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "panel_fixture.h"

namespace {

using ResponseTest = PanelFixture;

struct Answer {
  int nRc;
  int nResponse;
  std::string sID;
};

/* Writes the keys, then runs the loop once. */
Answer Respond(PABI *psPabi, PtyTerminal &terminal, const std::string &sKeys) {
  terminal.SendKeys(sKeys);
  char szResponseID[40] = "stale";
  int nResponse = -1;
  int nRc = OVGetUserResponsei(psPabi, szResponseID, &nResponse);
  return {nRc, nResponse, szResponseID};
}

TEST_F(ResponseTest, APanelWithoutSelectableFieldsAnswers2AtOnce) {
  ASSERT_EQ(OVCreateFieldi(psPabi, 2, 1, 10, "LABEL", "Label", 0, 0, 0, 7), 0);
  Answer answer = Respond(psPabi, *pTerminal, "");
  EXPECT_EQ(answer.nRc, 0);
  EXPECT_EQ(answer.nResponse, 2);
  EXPECT_EQ(answer.sID, "");
}

TEST_F(ResponseTest, TabShiftTabAndArrowsWrapAroundTheTabOrder) {
  AddTabField(3, 5, 5, "A", "one");
  AddTabField(4, 5, 5, "B", "two");
  AddTabField(5, 5, 5, "C", "three");  // current: the last one created
  EXPECT_EQ(Respond(psPabi, *pTerminal, "\t\n").sID, "A");
  EXPECT_EQ(Respond(psPabi, *pTerminal, std::string(KEY_BYTES_BTAB) + "\n").sID, "C");
  EXPECT_EQ(Respond(psPabi, *pTerminal, std::string(KEY_BYTES_DOWN) + "\n").sID, "A");
  EXPECT_EQ(Respond(psPabi, *pTerminal, std::string(KEY_BYTES_UP) + "\n").sID, "C");
  EXPECT_EQ(Respond(psPabi, *pTerminal, std::string(KEY_BYTES_RIGHT) + KEY_BYTES_RIGHT + "\n").sID,
            "B");
  Answer answer = Respond(psPabi, *pTerminal, std::string(KEY_BYTES_LEFT) + "\n");
  EXPECT_EQ(answer.nRc, 0);
  EXPECT_EQ(answer.nResponse, 5);
  EXPECT_EQ(answer.sID, "A");
  EXPECT_EQ(psPabi->nRowCurrent, 3);
  EXPECT_EQ(psPabi->nColumnCurrent, 5);
}

/* Is the cell drawn in reverse, in colours (fg, bg)? */
struct Look {
  bool bReverse;
  std::pair<int, int> colours;
  bool operator==(const Look &) const = default;
};
Look LookAt(PtyTerminal &terminal, int nRow, int nColumn) {
  PtyTerminal::Cell cell = terminal.At(nRow, nColumn);
  return {cell.bReverse, {cell.nForeground, cell.nBackground}};
}

TEST_F(ResponseTest, TheCurrentEntryIsReversedInItsOwnColoursAndTheFocusFollowsTabAndClicks) {
  // An entry field, a plain selectable label and the action bar's Forward and Save: the
  // buttons' undrawn twins (4 on 4, bold) are in the tab order, their drawn fields show.
  FIELDTAB *psEntry = AddTabField(5, 10, 10, "ENTRY", "abc", OVSTYLE_TAB | OVSTYLE_EDIT);
  ASSERT_EQ(OVCreateFieldi(psPabi, 7, 10, 6, "BOLD", "bold", OVSTYLE_TAB, 1, 2, 3), 0);
  int nResponse = -1;
  ASSERT_EQ(OVCreateActionBari(psPabi, 22, 1, 79, OVAB_FORWARD | OVAB_SAVE, &nResponse), 0);
  const Look ENTRY{false, {7, 0}}, ENTRY_FOCUS{true, {7, 0}};
  const Look LABEL{false, {3, 2}}, LABEL_FOCUS{true, {3, 2}};
  const Look BUTTON{false, {0, 6}}, BUTTON_FOCUS{true, {0, 6}};
  // Each step: keys and the entry they choose, or (pszSetCursor) the cursor set there by the
  // program and a resize that ends the loop at once; then the look of the entry value, the
  // label, Forward (columns 1 to 8) and Save (column 11).
  struct Step {
    const char *pszSetCursor;
    std::string sKeys;
    const char *pszID;
    Look entry, label, forward, back;
  };
  const Step aSteps[] = {
      {nullptr, "\n", "Save ", ENTRY, LABEL, BUTTON, BUTTON_FOCUS},            // the last one
      {nullptr, "\t\t\t\n", "Forward ", ENTRY, LABEL, BUTTON_FOCUS, BUTTON},   // wraps around
      {"ENTRY", "", "", ENTRY_FOCUS, LABEL, BUTTON, BUTTON},                    // Forward let go
      {nullptr, "x\t\n", "BOLD", ENTRY, LABEL_FOCUS, BUTTON, BUTTON},           // typed, left
      {nullptr, std::string(KEY_BYTES_UP) + KEY_BYTES_BTAB + "\n", "Save ", ENTRY, LABEL,
       BUTTON, BUTTON_FOCUS},
  };
  for (const Step &step : aSteps) {
    if (step.pszSetCursor != nullptr) {
      ASSERT_EQ(OVSetCursor(psPabi, step.pszSetCursor), 0);
      ungetch(KEY_RESIZE);
    }
    Answer answer = Respond(psPabi, *pTerminal, step.sKeys);
    EXPECT_EQ(answer.nRc, 0) << step.sKeys;
    EXPECT_EQ(answer.nResponse, step.pszSetCursor != nullptr ? OVRESPONSE_RESIZE : 5);
    EXPECT_EQ(answer.sID, step.pszID) << step.sKeys;
    for (int nColumn = 10; nColumn <= 12; nColumn++)
      EXPECT_EQ(LookAt(*pTerminal, 5, nColumn), step.entry) << step.sKeys << " " << nColumn;
    EXPECT_EQ(LookAt(*pTerminal, 7, 10), step.label) << step.sKeys;
    EXPECT_TRUE(pTerminal->At(7, 10).bBold);  // its own attribute stays
    EXPECT_EQ(LookAt(*pTerminal, 22, 1), step.forward) << step.sKeys;
    EXPECT_EQ(LookAt(*pTerminal, 22, 8), step.forward) << step.sKeys;
    EXPECT_EQ(LookAt(*pTerminal, 22, 11), step.back) << step.sKeys;
  }
  // The entry's cursor stays inside its value; a click moves the focus as Tab does.
  ASSERT_EQ(OVSetCursor(psPabi, "ENTRY"), 0);
  pTerminal->SendKeys(std::string("\t") + KEY_BYTES_BTAB + KEY_BYTES_RIGHT);
  pTerminal->SendClick(22, 3);
  Answer answer = Respond(psPabi, *pTerminal, "");
  EXPECT_EQ(answer.sID, "Forward ");
  EXPECT_EQ(LookAt(*pTerminal, 5, 10), ENTRY);
  EXPECT_EQ(LookAt(*pTerminal, 22, 1), BUTTON_FOCUS);
  EXPECT_EQ(psEntry->nOffset, 2);
  EXPECT_STREQ(psEntry->psField->szValue, "xbc");
  // Texts and places are those drawn at creation.
  EXPECT_EQ(pTerminal->Text(5, 10, 4), "xbc ");
  EXPECT_EQ(pTerminal->Text(22, 1, 15), "Forward   Save ");
  EXPECT_EQ(pTerminal->Text(7, 10, 4), "bold");
}

TEST_F(ResponseTest, AKeyWithoutMeaningRingsTheBell) {
  AddTabField(3, 5, 5, "A", "one");
  pTerminal->ClearOutput();
  Answer answer = Respond(psPabi, *pTerminal, "z\n");
  EXPECT_EQ(answer.sID, "A");
  EXPECT_TRUE(pTerminal->WaitForOutput("\a"));
}

TEST_F(ResponseTest, KeysThePanelAsksForComeBackAndEscapeIsReturn) {
  AddTabField(3, 5, 5, "A", "one");
  FIELDTAB *psEdit = AddTabField(4, 5, 5, "E", "");
  psEdit->psField->ulStyle |= OVSTYLE_EDIT;
  FIELDTAB *psLine = AddTabField(5, 5, 5, "L", "two");
  // Not asked for: the bell, and Escape does nothing without a Return button.
  Answer answer = Respond(psPabi, *pTerminal, std::string(KEY_BYTES_NPAGE) + "\x1b" + "\n");
  EXPECT_EQ(answer.sID, "L");
  psPabi->ulKeys = OVKEYS_PAGING | OVKEYS_LETTERS;
  answer = Respond(psPabi, *pTerminal, KEY_BYTES_NPAGE);
  EXPECT_EQ(answer.nResponse, OVRESPONSE_KEY);
  EXPECT_EQ(psPabi->nKey, KEY_NPAGE);
  EXPECT_EQ(Respond(psPabi, *pTerminal, "/").nResponse, OVRESPONSE_KEY);
  EXPECT_EQ(psPabi->nKey, '/');
  // On a field that takes text, letters are typed into it.
  psPabi->psFieldTab_Current = psEdit;
  EXPECT_EQ(Respond(psPabi, *pTerminal, "s\t\n").sID, "L");
  EXPECT_STREQ(psEdit->psField->szValue, "s");
  // A typed line takes every text key, Enter and Escape, while Down still moves.
  psPabi->ulKeys = OVKEYS_TEXT;
  psPabi->psFieldTab_Current = psLine;
  for (const auto &[sKeys, nKey] : std::vector<std::pair<std::string, int>>{
           {" ", ' '}, {"\xc3", 0xc3}, {"\x1b", 27}, {"\n", 10}, {KEY_BYTES_LEFT, KEY_LEFT}}) {
    EXPECT_EQ(Respond(psPabi, *pTerminal, sKeys).nResponse, OVRESPONSE_KEY) << nKey;
    EXPECT_EQ(psPabi->nKey, nKey);
  }
  // Escape on a panel with Return is Return.
  psPabi->ulKeys = 0;
  AddTabField(6, 5, 7, "Return ", "Return ");
  psPabi->psFieldTab_Current = psLine;
  EXPECT_EQ(Respond(psPabi, *pTerminal, "\x1b").nRc, OVRC_RETURN);
}

TEST_F(ResponseTest, ValuesBeginningWithReturnExitOrHelpActLikeThoseButtons) {
  FIELDTAB *psReturn = AddTabField(3, 5, 12, "R", "Return to menu");
  FIELDTAB *psExit = AddTabField(4, 5, 5, "E", "Exit ");
  AddTabField(5, 5, 5, "H", "Help ");
  Answer answer = Respond(psPabi, *pTerminal, "\nq");  // Help, then a key closes the box
  EXPECT_EQ(answer.nRc, 0);
  EXPECT_EQ(answer.nResponse, -1);
  EXPECT_EQ(answer.sID, "");
  // No program help text: the box says so instead of failing.
  EXPECT_EQ(pTerminal->Text(3, 3, 21), "No Help is available ");
  psPabi->psFieldTab_Current = psExit;
  EXPECT_EQ(Respond(psPabi, *pTerminal, "\n").nRc, 9);
  psPabi->psFieldTab_Current = psReturn;
  answer = Respond(psPabi, *pTerminal, "\n");
  EXPECT_EQ(answer.nRc, 3);
  EXPECT_EQ(answer.nResponse, -1);
}

TEST_F(ResponseTest, ACurrentEntryOutsideTheTabChainIsAnError) {
  AddTabField(3, 5, 5, "A", "one");
  FIELDTAB sStray{};
  sStray.psField = psPabi->psFieldFirst;
  psPabi->psFieldTab_Current = &sStray;
  EXPECT_EQ(OVUREnteri(psPabi, nullptr, nullptr), 8);
  EXPECT_NE(home.ReadLog().find("OVUREnteri: Unable to Locate FieldTab: "), std::string::npos);
}

TEST_F(ResponseTest, NullArgumentsAreLoggedInOrder) {
  char szID[40];
  int nResponse = 0;
  EXPECT_EQ(OVGetUserResponse(nullptr, szID, &nResponse), 8);
  EXPECT_EQ(OVGetUserResponse(psPabi, nullptr, &nResponse), 8);
  EXPECT_EQ(OVGetUserResponse(psPabi, szID, nullptr), 8);
  std::string sLog = home.ReadLog();
  EXPECT_NE(sLog.find("OVGetUserResponse: psPab NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("OVGetUserResponse: pszResponseID NULL pointer: "), std::string::npos);
  EXPECT_NE(sLog.find("OVGetUserResponse: pnResponse NULL pointer: "), std::string::npos);
}

/* An editable field followed by a "Done" field that ends the loop. */
class EditTest : public PanelFixture {
 protected:
  void SetUp() override {
    PanelFixture::SetUp();
    psEdit = AddTabField(5, 10, 10, "ENTRY", "abc", OVSTYLE_TAB | OVSTYLE_EDIT);
    AddTabField(7, 10, 4, "DONE", "Done");
  }
  /* Tab into the entry (from Done, wrapping), the keys, then Tab to Done and Enter. */
  Answer Edit(const std::string &sKeys) {
    return Respond(psPabi, *pTerminal, "\t" + sKeys + "\t\n");
  }
  const char *Value() const { return psEdit->psField->szValue; }
  FIELDTAB *psEdit = nullptr;
};

TEST_F(EditTest, TypingOverwritesAtTheOffsetAndMovesRight) {
  Answer answer = Edit("x");
  EXPECT_EQ(answer.sID, "DONE");
  EXPECT_STREQ(Value(), "xbc");
  EXPECT_EQ(psEdit->nOffset, 1);
  EXPECT_EQ(pTerminal->Text(5, 10, 3), "xbc");
  Edit("y");  // the offset is kept when the field is entered again
  EXPECT_STREQ(Value(), "xyc");
}

TEST_F(EditTest, TypingPastTheEndExtendsTheValueBeyondTheFieldLength) {
  Edit(std::string(KEY_BYTES_RIGHT) + KEY_BYTES_RIGHT + KEY_BYTES_RIGHT + KEY_BYTES_RIGHT +
       "defghijklmn");
  EXPECT_STREQ(Value(), "abcdefghijklmn");
  EXPECT_EQ(pTerminal->Text(5, 10, 14), "abcdefghijklmn");
  EXPECT_EQ(psEdit->nOffset, 14);
}

TEST_F(EditTest, LeftRightMoveInsideTheValueAndEnterDoesNothing) {
  Answer answer = Edit(std::string(KEY_BYTES_LEFT) + KEY_BYTES_RIGHT + KEY_BYTES_RIGHT + "\n" +
                       KEY_BYTES_LEFT + "Z");
  EXPECT_EQ(answer.nResponse, 5);
  EXPECT_EQ(answer.sID, "DONE");
  EXPECT_STREQ(Value(), "aZc");
  EXPECT_EQ(psEdit->nOffset, 2);
}

TEST_F(EditTest, OnlyPrintableCharactersAreStored) {
  // ESC and the other control codes never reach the value, nor the blank, DEL or a byte above.
  for (int nKey : {1, 19, 20, 27, 31, int(' '), 127, 0xC3, 0xA9}) DoEditField(psEdit, nKey);
  EXPECT_STREQ(Value(), "abc");
  EXPECT_EQ(psEdit->nOffset, 0);
  DoEditField(psEdit, '!');
  DoEditField(psEdit, '~');
  EXPECT_STREQ(Value(), "!~c");
  EXPECT_EQ(psEdit->nOffset, 2);
  // An ESC typed on the terminal is not taken into the field either.
  Edit("\x1b");
  EXPECT_STREQ(Value(), "!~c");
  EXPECT_EQ(pTerminal->Text(5, 10, 4), "!~c ");
}

TEST_F(EditTest, TypingStopsAt255Characters) {
  for (int i = 0; i < 300; i++) DoEditField(psEdit, 'a' + i % 26);
  EXPECT_EQ(std::strlen(Value()), 255u);
  EXPECT_EQ(psEdit->nOffset, 255);
}

TEST_F(EditTest, BackspaceHomeAndEndFromTheTerminal) {
  const std::string sHome = "\x1bOH", sEnd = "\x1bOF";
  struct Case {
    int nOffset;
    std::string sKeys;
    const char *pszValue;
    int nOffsetAfter;
  };
  const Case aCases[] = {
      {3, "\x7f", "abdef", 2},                  // DEL as most terminals send Backspace
      {3, "\b\b", "adef", 1},                   // Ctrl-H as others do
      {0, "\x7f", "abcdef", 0},                 // nothing before the cursor
      {6, "\x7f", "abcde", 5},                  // just after the value
      {9, "\x7f", "abcde", 5},                  // an offset past the end counts as the end
      {3, sHome + "X", "Xbcdef", 1},            // typing still overwrites
      {1, sEnd + "gh", "abcdefgh", 8},
      {2, sEnd + "\x7f" + sHome + "\x7f", "abcde", 0},
  };
  for (const Case &c : aCases) {
    std::strcpy(psEdit->psField->szValue, "abcdef");
    psEdit->nOffset = c.nOffset;
    SetPosition(5, 10);
    WriteString("abcdef    ");
    Answer answer = Edit(c.sKeys);
    EXPECT_EQ(answer.sID, "DONE") << c.sKeys;
    EXPECT_STREQ(Value(), c.pszValue) << c.sKeys;
    EXPECT_EQ(psEdit->nOffset, c.nOffsetAfter) << c.sKeys;
    // The value is redrawn from the field's start, the freed cells blank.
    EXPECT_EQ(pTerminal->Text(5, 10, 8), (std::string(c.pszValue) + "        ").substr(0, 8))
        << c.sKeys;
  }
}

TEST_F(EditTest, BackspaceCodesMoveTheCursorAndKeepTheValueInTheFocusLook) {
  for (int nKey : {OVKEY_BACKSPACE, 127, 8}) {
    std::strcpy(psEdit->psField->szValue, "wxyz");
    psEdit->nOffset = 2;
    DoEditField(psEdit, nKey);
    EXPECT_STREQ(Value(), "wyz") << nKey;
    EXPECT_EQ(psEdit->nOffset, 1) << nKey;
    EXPECT_EQ(pTerminal->Cursor(), std::make_pair(5, 11)) << nKey;
    EXPECT_TRUE(pTerminal->At(5, 12).bReverse) << nKey;   // the value of the edited field
    EXPECT_FALSE(pTerminal->At(5, 13).bReverse) << nKey;  // the freed cell
    EXPECT_EQ(Colours(5, 13), (std::pair<int, int>{7, 0})) << nKey;
  }
  DoEditField(psEdit, OVKEY_END);
  EXPECT_EQ(pTerminal->Cursor(), std::make_pair(5, 13));
  DoEditField(psEdit, OVKEY_HOME);
  EXPECT_EQ(pTerminal->Cursor(), std::make_pair(5, 10));
  EXPECT_EQ(psEdit->nOffset, 0);
}

TEST_F(EditTest, DeleteRemovesTheCharacterUnderTheCursorAndRedraws) {
  Edit(std::string(KEY_BYTES_RIGHT) + KEY_BYTES_DELETE);
  EXPECT_STREQ(Value(), "ac");
  EXPECT_EQ(psEdit->nOffset, 1);
  EXPECT_EQ(pTerminal->Text(5, 10, 4), "ac  ");
}

TEST_F(EditTest, DeleteJustAfterTheLastCharacterRemovesIt) {
  psEdit->nOffset = 3;
  DoEditField(psEdit, OVKEY_DELETE);
  EXPECT_STREQ(Value(), "ab");
  EXPECT_EQ(psEdit->nOffset, 2);  // still just after the value
  EXPECT_EQ(pTerminal->Text(5, 10, 3), "ab ");
  Edit("x");
  EXPECT_STREQ(Value(), "abx");
  EXPECT_EQ(psEdit->nOffset, 3);
  EXPECT_EQ(pTerminal->Text(5, 10, 4), "abx ");
}

TEST_F(EditTest, DeleteOnASingleCharacterOrPastTheEndDoesNothing) {
  std::strcpy(psEdit->psField->szValue, "a");
  DoEditField(psEdit, OVKEY_DELETE);
  EXPECT_STREQ(Value(), "a");
  psEdit->nOffset = 5;
  DoEditField(psEdit, OVKEY_DELETE);
  EXPECT_STREQ(Value(), "a");
  EXPECT_EQ(psEdit->nOffset, 5);
  std::strcpy(psEdit->psField->szValue, "");
  psEdit->nOffset = 0;
  DoEditField(psEdit, OVKEY_DELETE);
  EXPECT_STREQ(Value(), "");
}

/* A pulldown at row 5, column 20, length 10 as the only selectable field. */
class PullDownTest : public PanelFixture {
 protected:
  FIELD *AddPullDown(const char *pszValue, int nChoices, const char *const *apszChoices,
                     int nLength = 10) {
    EXPECT_EQ(OVCreatePullDown(psPabi, 5, 20, nLength, "CHOICE", pszValue, nChoices, apszChoices,
                               OVSTYLE_TAB, 0, 0, 7), 0);
    return psPabi->psFieldLast;
  }
  static constexpr const char *apszGreek[] = {"Alpha", "", "Beta", "Gamma", "Delta"};
};

TEST_F(PullDownTest, OpensOnTheMatchingChoiceInPulldownColoursAndWrapsDown) {
  FIELD *psField = AddPullDown("Gamma", 5, apszGreek);
  // Enter opens on Gamma (the third row shown), Down reaches Delta, Down wraps to Alpha.
  pTerminal->SendKeys(std::string("\n") + KEY_BYTES_DOWN + KEY_BYTES_DOWN + "\n");
  char szID[40] = "stale";
  int nResponse = -1;
  EXPECT_EQ(OVGetUserResponsei(psPabi, szID, &nResponse), 0);
  EXPECT_STREQ(psField->szValue, "Alpha");
  EXPECT_EQ(nResponse, -1);
  EXPECT_STREQ(szID, "");
  // The pop-up and its frame are gone: what they covered is back, and the field shows its
  // new value in its own colours, as the current entry.
  EXPECT_EQ(pTerminal->Text(5, 20, 10), "Alpha     ");
  for (int nRow = 4; nRow <= 10; nRow++)
    EXPECT_EQ(pTerminal->Text(nRow, 19, 11), nRow == 5 ? " Alpha     " : std::string(11, ' '))
        << nRow;
  EXPECT_EQ(Colours(5, 20), (std::pair<int, int>{7, 0}));
  EXPECT_TRUE(pTerminal->At(5, 20).bReverse);
  // The field now offers the shown choices only, kept in the panel heap.
  EXPECT_EQ(psField->nChoices, 4);
  auto *pFirst = reinterpret_cast<const unsigned char *>(psPabi->psHeapFirst->pHeap);
  auto *pChoices = reinterpret_cast<const unsigned char *>(psField->pszChoices);
  EXPECT_TRUE(pChoices > pFirst && pChoices < psPabi->psHeapFirst->pHeapFree);
  EXPECT_STREQ(psField->pszChoices[1], "Beta");
}

TEST_F(PullDownTest, UpOnTheFirstChoiceWrapsToTheLast) {
  FIELD *psField = AddPullDown("Alpha", 5, apszGreek);
  pTerminal->SendKeys(std::string(KEY_BYTES_UP) + "\n");
  EXPECT_EQ(OVURPullDowni(psPabi, nullptr, nullptr, psField, psPabi->psFieldTabLast), 0);
  EXPECT_STREQ(psField->szValue, "Delta");
}

TEST_F(PullDownTest, AnEmptyValueMatchesEveryLineAndTheLastMatchWins) {
  FIELD *psField = AddPullDown("", 5, apszGreek);
  pTerminal->SendKeys("\n\n");
  char szID[40];
  int nResponse = -1;
  EXPECT_EQ(OVGetUserResponsei(psPabi, szID, &nResponse), 0);
  EXPECT_STREQ(psField->szValue, "Delta");
}

TEST_F(PullDownTest, AChoiceCanBeClicked) {
  FIELD *psField = AddPullDown("Alpha", 5, apszGreek);
  pTerminal->SendKeys("\n");
  pTerminal->SendClick(6, 29);  // Beta's row, the last column of the field length
  pTerminal->SendKeys("\n");    // would choose Alpha if the click were missed
  char szID[40];
  int nResponse = -1;
  EXPECT_EQ(OVGetUserResponsei(psPabi, szID, &nResponse), 0);
  EXPECT_STREQ(psField->szValue, "Beta");
}

TEST_F(PullDownTest, TheChosenTextIsCutToTheFieldLength) {
  static constexpr const char *apszLong[] = {"Short", "A rather long choice"};
  FIELD *psField = AddPullDown("Short", 2, apszLong, 6);
  pTerminal->SendKeys(std::string("\n") + KEY_BYTES_DOWN + "\n");
  char szID[40];
  int nResponse = -1;
  EXPECT_EQ(OVGetUserResponsei(psPabi, szID, &nResponse), 0);
  EXPECT_STREQ(psField->szValue, "A rath");
  EXPECT_EQ(pTerminal->Text(5, 20, 6), "A rath");   // the field, after the pop-up went
}

TEST_F(PullDownTest, EnterOnAPulldownWithOnlyEmptyChoicesKeepsTheValue) {
  static constexpr const char *apszEmpty[] = {"", ""};
  FIELD *psField = AddPullDown("Keep", 2, apszEmpty);
  pTerminal->SendKeys(std::string("\n") + KEY_BYTES_DOWN + KEY_BYTES_UP + "\n");
  char szID[40];
  int nResponse = -1;
  EXPECT_EQ(OVGetUserResponsei(psPabi, szID, &nResponse), 0);
  EXPECT_STREQ(psField->szValue, "Keep");
  EXPECT_EQ(psField->nChoices, 0);
}

}  // namespace
