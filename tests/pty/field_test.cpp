// Fields and pulldowns: drawing, justification, cuts, records, cursor and value lookup.
#include <gtest/gtest.h>

#include <curses.h>

#include <cstring>
#include <string>

#include "orviklib.h"
#include "pty_terminal.h"

namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    psPab = OVCreatePanel(nullptr, 0, 0, 7);
    ASSERT_NE(psPab, nullptr);
  }
  void TearDown() override { OVDeletePanel(psPab); }
  int Field(int nRow, int nColumn, int nLength, const char *pszName, const char *pszValue,
            unsigned long ulStyle = 0) {
    return OVCreateField(psPab, nRow, nColumn, nLength, pszName, pszValue, ulStyle, 0, 0, 7);
  }
  // Marks a row so that cells a field must not touch can be told apart.
  void Fill(int nRow) {
    SetPosition(nRow, 1);
    WriteString(std::string(40, '.').c_str());
  }
  std::string Value(const char *pszName) {
    char *pszValue = nullptr;
    if (OVGetFieldValue(psPab, pszName, &pszValue) != 0 || pszValue == nullptr) return "<none>";
    return pszValue;
  }

  PtyTestHome home;
  PtyTerminal &term = PtyTerminal::Open(24, 80);
  PAB *psPab = nullptr;
};

TEST_F(FieldTest, JustificationPadsOnlyInFrontOfTheValue) {
  Fill(2);
  Fill(3);
  Fill(4);
  ASSERT_EQ(Field(2, 5, 6, "R", "ab", OVSTYLE_RIGHT), 0);
  EXPECT_EQ(term.Text(2, 5, 7), "    ab.");
  EXPECT_EQ(psPab->nColumnCurrent, 11);
  ASSERT_EQ(Field(3, 5, 6, "C", "ab", OVSTYLE_CENTER), 0);
  EXPECT_EQ(term.Text(3, 5, 7), "  ab...");
  EXPECT_EQ(psPab->nRowCurrent, 3);
  EXPECT_EQ(psPab->nColumnCurrent, 9);
  // Right wins over centre; a left field shows exactly its text.
  ASSERT_EQ(Field(4, 5, 6, "RC", "ab", OVSTYLE_RIGHT | OVSTYLE_CENTER), 0);
  EXPECT_EQ(term.Text(4, 5, 7), "    ab.");
  Fill(5);
  ASSERT_EQ(Field(5, 5, 6, "L", "ab"), 0);
  EXPECT_EQ(term.Text(5, 5, 4), "ab..");
}

TEST_F(FieldTest, LongValueIsCutOnScreenButKeptWhole) {
  Fill(6);
  const std::string sValue = "abcdefghijklmnopqrstuvwxyz0123";
  ASSERT_EQ(Field(6, 3, 10, "LONG", sValue.c_str()), 0);
  EXPECT_EQ(term.Text(6, 3, 11), "abcdefghij.");
  EXPECT_EQ(Value("LONG"), sValue);

  const std::string sHuge(300, 'h');
  ASSERT_EQ(Field(7, 1, 5, "HUGE", sHuge.c_str()), 0);
  EXPECT_EQ(Value("HUGE"), std::string(255, 'h'));
  // Lengths above 254, and negative ones, draw at most 254 characters.
  ASSERT_EQ(Field(8, 1, -1, "NEG", sHuge.c_str()), 0);
  EXPECT_EQ(psPab->nColumnCurrent, 1 + 254);
  EXPECT_EQ(psPab->psFieldLast->nLength, -1);
}

TEST_F(FieldTest, LengthsCountDisplayColumnsAndCutsNeverSplitACharacter) {
  // Each case: a field of 5 columns on a dotted row, what its 7 first cells show and the
  // column after the drawn text. Two-byte characters take one column, CJK ones two.
  struct Case {
    const char *pszValue;
    unsigned long ulStyle;
    const char *pszShown;
    int nColumnAfter;
  };
  const Case aCases[] = {
      {"ééééééé", 0, "ééééé..", 6},           // cut after five columns, not five bytes
      {"éé", OVSTYLE_RIGHT, "   éé..", 6},     // padded by the columns the value takes
      {"éé", OVSTYLE_CENTER, " éé....", 4},
      {"日本語", 0, "日日本本...", 5},         // a third wide character would need column 6
      {"日本", OVSTYLE_RIGHT, " 日日本本..", 6},
      {"abcdefg", 0, "abcde..", 6},           // ASCII as always
      {"ab", OVSTYLE_CENTER, " ab....", 4},
      {"\x1b]2;T\a", 0, "^[]2;..", 6},     // a control shows as ^X and takes two columns
  };
  int nRow = 9;
  for (const Case &c : aCases) {
    Fill(nRow);
    ASSERT_EQ(Field(nRow, 1, 5, "U", c.pszValue, c.ulStyle), 0);
    // Text() reads a wide character in each of its two cells.
    EXPECT_EQ(term.Text(nRow, 1, 7), c.pszShown) << c.pszValue;
    EXPECT_EQ(psPab->nColumnCurrent, c.nColumnAfter) << c.pszValue;
    EXPECT_STREQ(psPab->psFieldLast->szValue, c.pszValue);
    nRow++;
  }
  // 31 ASCII bytes and a two-byte character: the name keeps the 31 bytes only.
  const std::string sName = std::string(31, 'n') + "é";
  ASSERT_EQ(Field(nRow, 1, 3, sName.c_str(), "x"), 0);
  EXPECT_EQ(std::string(psPab->psFieldLast->szName), std::string(31, 'n'));
}

TEST_F(FieldTest, ColumnBelowOneIsDrawnAndStoredAtOne) {
  Fill(11);
  ASSERT_EQ(Field(11, 0, 4, "ZERO", "zz", OVSTYLE_TAB), 0);
  EXPECT_EQ(term.Text(11, 1, 3), "zz.");
  EXPECT_EQ(psPab->psFieldLast->nColumn, 1);
  EXPECT_EQ(psPab->psFieldTab_Current->nColumn, 1);
  ASSERT_EQ(Field(12, -7, 4, "NEG", "n"), 0);
  EXPECT_EQ(psPab->psFieldLast->nColumn, 1);
}

TEST_F(FieldTest, FieldOffTheScreenDrawsNothingButIsStored) {
  Fill(12);
  ASSERT_EQ(Field(12, 1, 4, "ON", "on"), 0);
  // Neither a row below the screen nor row 0 may spill onto the row last written.
  ASSERT_EQ(Field(30, 1, 4, "BELOW", "XYZ", OVSTYLE_TAB), 0);
  ASSERT_EQ(Field(0, 5, 4, "ABOVE", "QRS"), 0);
  EXPECT_EQ(term.Text(12, 1, 8), "on......");
  EXPECT_EQ(Value("BELOW"), "XYZ");
  EXPECT_EQ(psPab->psFieldTab_Current->nRow, 30);
  EXPECT_EQ(psPab->nRowCurrent, 0);
  EXPECT_EQ(psPab->nColumnCurrent, 8);
}

TEST_F(FieldTest, NameIsCutAtThirtyTwoAndOnlyTheCutNameFindsIt) {
  const std::string sName(40, 'N');
  ASSERT_EQ(Field(13, 1, 5, sName.c_str(), "forty", OVSTYLE_TAB), 0);
  EXPECT_EQ(std::string(psPab->psFieldLast->szName), std::string(32, 'N'));
  EXPECT_EQ(Value(std::string(32, 'N').c_str()), "forty");
  EXPECT_EQ(Value(sName.c_str()), "<none>");
  EXPECT_NE(home.ReadLog().find("GetFieldValuei: Unable to Locate Field, ID: " + sName + "."),
            std::string::npos);
  EXPECT_EQ(OVSetCursor(psPab, sName.c_str()), 8);
  EXPECT_EQ(OVSetCursor(psPab, std::string(32, 'N').c_str()), 0);
}

TEST_F(FieldTest, AttributeIsDrawnThenDroppedWhileTheColourStays) {
  ASSERT_EQ(OVCreateField(psPab, 14, 2, 4, "A", "uuuu", 0, 3, 0, 2), 0);
  PtyTerminal::Cell cell = term.At(14, 2);
  EXPECT_TRUE(cell.bUnderline);
  EXPECT_EQ(cell.nForeground, 2);
  EXPECT_EQ(cell.nBackground, 0);
  WriteString("v");
  cell = term.At(14, 6);
  EXPECT_FALSE(cell.bUnderline);
  EXPECT_EQ(cell.nForeground, 2);
  // A negative background keeps the current colour.
  ASSERT_EQ(OVCreateField(psPab, 15, 2, 4, "B", "keep", 0, 1, -1, 5), 0);
  cell = term.At(15, 2);
  EXPECT_TRUE(cell.bBold);
  EXPECT_EQ(cell.nForeground, 2);

  const FIELD *psField = psPab->psFieldLast;
  EXPECT_EQ(0, memcmp(psField->szEyeCatcher, "FIELDBLK", 8));
  EXPECT_EQ(psField->nAttribute, 1);
  EXPECT_EQ(psField->nBackground, -1);
  EXPECT_EQ(psField->nForeground, 5);
  EXPECT_EQ(psField->nRow, 15);
  EXPECT_EQ(psField->nLength, 4);
}

TEST_F(FieldTest, TabEntriesFollowCreationAndTheCursorGoesToTheFirstOfAName) {
  ASSERT_EQ(Field(16, 1, 3, "LABEL", "lab"), 0);
  EXPECT_EQ(psPab->psFieldTabFirst, nullptr);
  ASSERT_EQ(Field(16, 10, 3, "SAME", "one", OVSTYLE_TAB), 0);
  FIELDTAB *psFirst = psPab->psFieldTab_Current;
  ASSERT_NE(psFirst, nullptr);
  EXPECT_EQ(psFirst->psField, psPab->psFieldLast);
  ASSERT_EQ(Field(17, 10, 3, "SAME", "two", OVSTYLE_TAB), 0);
  EXPECT_NE(psPab->psFieldTab_Current, psFirst);

  EXPECT_EQ(Value("SAME"), "one");
  EXPECT_EQ(OVSetCursor(psPab, "SAME"), 0);
  EXPECT_EQ(psPab->psFieldTab_Current, psFirst);
  EXPECT_EQ(psPab->nRowCurrent, 16);
  EXPECT_EQ(psPab->nColumnCurrent, 10);
  EXPECT_EQ(term.Cursor(), std::make_pair(16, 10));

  // A field without a tab entry is found by value but cannot take the cursor.
  EXPECT_EQ(Value("LABEL"), "lab");
  EXPECT_EQ(OVSetCursor(psPab, "LABEL"), 8);
  EXPECT_EQ(psPab->psFieldTab_Current, psFirst);
  EXPECT_NE(home.ReadLog().find("SetCursori: Unable to Locate FieldTab, name: LABEL."),
            std::string::npos);
  EXPECT_EQ(OVSetCursor(psPab, "same"), 8);
}

TEST_F(FieldTest, ValueLookupHandsOutTheFieldsOwnStorage) {
  ASSERT_EQ(Field(18, 1, 20, "PATH", "/usr/bin tail"), 0);
  char *pszValue = nullptr;
  ASSERT_EQ(GetFieldValuei(psPab, "PATH", &pszValue), 0);
  EXPECT_EQ(pszValue, psPab->psFieldLast->szValue);
  pszValue[8] = '\0';
  EXPECT_EQ(Value("PATH"), "/usr/bin");

  pszValue = psPab->psFieldLast->szValue;
  EXPECT_EQ(GetFieldValuei(psPab, "NONE", &pszValue), 8);
  EXPECT_EQ(pszValue, nullptr);
}

TEST_F(FieldTest, PulldownKeepsItsChoicesAndAFailedOneCreatesNothing) {
  static const char *const apszChoices[] = {"Red", "", "Green"};
  ASSERT_EQ(OVCreatePullDown(psPab, 19, 5, 8, "COLOR", "Green", 3, apszChoices, OVSTYLE_TAB, 0, 0, 7), 0);
  const FIELD *psField = psPab->psFieldLast;
  EXPECT_EQ(psField->nChoices, 3);
  EXPECT_EQ(psField->pszChoices, apszChoices);
  EXPECT_EQ(psField->ulStyle, OVSTYLE_TAB | OVSTYLE_PULLDOWN);
  EXPECT_EQ(term.Text(19, 5, 5), "Green");

  EXPECT_EQ(OVCreatePullDown(psPab, 20, 5, 8, "BAD", "x", 3, nullptr, OVSTYLE_TAB, 0, 0, 7), 8);
  EXPECT_EQ(OVCreatePullDown(psPab, 20, 5, 8, "NEG", "x", -2, apszChoices, OVSTYLE_TAB, 0, 0, 7), 8);
  EXPECT_EQ(psPab->psFieldLast, psField);
  EXPECT_EQ(Value("BAD"), "<none>");
  EXPECT_NE(home.ReadLog().find("OVCreatePullDown: pszChoices NULL pointer: (nil)."),
            std::string::npos);
}

TEST_F(FieldTest, NullArgumentsAreLoggedInOrderAndRefused) {
  EXPECT_EQ(OVCreateFieldi(nullptr, 1, 1, 1, nullptr, nullptr, 0, 0, 0, 0), 8);
  EXPECT_EQ(OVCreateFieldi(psPab, 1, 1, 1, "N", nullptr, 0, 0, 0, 0), 8);
  EXPECT_EQ(OVCreateField(nullptr, 1, 1, 1, "N", "V", 0, 0, 0, 0), 8);
  EXPECT_EQ(OVSetCursor(psPab, nullptr), 8);
  EXPECT_EQ(SetCursori(nullptr, "N"), 8);
  char *pszValue = nullptr;
  EXPECT_EQ(OVGetFieldValue(psPab, "N", nullptr), 8);
  EXPECT_EQ(GetFieldValuei(psPab, nullptr, &pszValue), 8);
  EXPECT_EQ(psPab->psFieldFirst, nullptr);

  const std::string sLog = home.ReadLog();
  const char *apszExpected[] = {
      "OVCreateFieldi: pszName NULL pointer: (nil).",
      "OVCreateFieldi: pszValue NULL pointer: (nil).",
      "OVCreateField: NULL pointer: (nil).",
      "OVSetCursor: pszName NULL pointer: (nil).",
      "OVSetCursori: psPabi NULL pointer: (nil).",
      "OVGetFieldValue: ppszFieldText NULL pointer: (nil).",
      "OVGetFieldValuei: pszFieldID NULL pointer: (nil).",
  };
  std::size_t nAt = 0;
  for (const char *pszExpected : apszExpected) {
    std::size_t nFound = sLog.find(pszExpected, nAt);
    EXPECT_NE(nFound, std::string::npos) << pszExpected << "\n" << sLog;
    if (nFound != std::string::npos) nAt = nFound;
  }
  EXPECT_EQ(sLog.find("OVCreateFieldi: psPabi NULL pointer"), std::string::npos);
}

}  // namespace
