// The response loop, the field editor and the pulldown pop-up.
#include <cstring>
#include <string>
#include <utility>

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

TEST_F(ResponseTest, AKeyWithoutMeaningRingsTheBell) {
  AddTabField(3, 5, 5, "A", "one");
  pTerminal->ClearOutput();
  Answer answer = Respond(psPabi, *pTerminal, "z\n");
  EXPECT_EQ(answer.sID, "A");
  EXPECT_TRUE(pTerminal->WaitForOutput("\a"));
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
  EXPECT_EQ(pTerminal->Text(5, 20, 10), "Alpha     ");
  EXPECT_EQ(pTerminal->Text(6, 20, 9), "Beta     ");
  EXPECT_EQ(pTerminal->Text(7, 20, 9), "Gamma    ");
  EXPECT_EQ(pTerminal->Text(8, 20, 9), "Delta    ");
  EXPECT_EQ(Colours(8, 28), (std::pair<int, int>{3, 5}));
  EXPECT_NE(Colours(8, 29), (std::pair<int, int>{3, 5}));  // the line is nLength - 1 wide
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
  EXPECT_EQ(pTerminal->Text(6, 20, 5), "A rat");
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
