// UTF-8 as every screen reads it: which bytes are characters, how many columns they take, and
// where a cut by bytes or by columns falls.
#include <gtest/gtest.h>

#include <string>

#include "orviklib.h"

namespace {

TEST(Utf8Text, CharactersBrokenBytesAndTheirColumns)
{
    struct CASE {
        std::string sText;
        long nCode;          // of the first character
        std::size_t nBytes;
        const char *pszShown; // OVPrintableText
        int nColumns;         // OVDisplayWidth
        const char *pszScreen = nullptr; // OVScreenText, when it differs from pszShown
    };
    const CASE asCase[] = {
        {"a", 'a', 1, "a", 1},
        {"\xc3\xa9", 0xE9, 2, "\xc3\xa9", 1},
        {"\xe5\x90\x8d", 0x540D, 3, "\xe5\x90\x8d", 2},         // wide
        {"\xf0\x9f\x98\x80", 0x1F600, 4, "\xf0\x9f\x98\x80", 2}, // wide, four bytes
        {"e\xcc\x81", 'e', 1, "e\xcc\x81", 1},                  // a combining accent: no column
        {"\xc3", OVNOTACHARACTER, 1, "?", 1},                   // cut short at the end
        {"\xc3" "b", OVNOTACHARACTER, 1, "?b", 2},              // cut short before ASCII
        {"\x8b\x8b", OVNOTACHARACTER, 1, "??", 2},              // stray continuation bytes
        {"\xc0\xaf", OVNOTACHARACTER, 1, "??", 2},              // overlong "/"
        {"\xe0\x80\x80", OVNOTACHARACTER, 1, "???", 3},         // overlong NUL
        {"\xed\xa0\x80", OVNOTACHARACTER, 1, "???", 3},         // a surrogate
        {"\xf4\x90\x80\x80", OVNOTACHARACTER, 1, "????", 4},    // beyond U+10FFFF
        {"\xf8\x88\x80\x80\x80", OVNOTACHARACTER, 1, "?????", 5},
        {"\x1b[2J", 0x1B, 1, "?[2J", 4, "^[[2J"},               // C0 control
        {"\x7f", 0x7F, 1, "?", 1, "^?"},                        // DEL
        {"\xc2\x9b" "2J", 0x9B, 2, "?2J", 3},                   // C1 control: one cell
        {"\xc2\xa0", 0xA0, 2, "\xc2\xa0", 1},                   // no-break space is printable
        {"\x1f\n\a", 0x1F, 1, "???", 3, "^_^J^G"},
    };
    for (const CASE &sCase : asCase) {
        SCOPED_TRACE(testing::PrintToString(sCase.sText));
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sCase.sText, 0);
        EXPECT_EQ(sChar.nCode, sCase.nCode);
        EXPECT_EQ(sChar.nBytes, sCase.nBytes);
        EXPECT_EQ(OVPrintableText(sCase.sText), sCase.pszShown);
        EXPECT_EQ(OVDisplayWidth(sCase.sText), sCase.nColumns);
        // What is shown takes the columns the text was measured at.
        EXPECT_EQ(OVDisplayWidth(OVPrintableText(sCase.sText)), sCase.nColumns);
        // What the terminal is given: C0 and DEL as ^X, the rest as OVPrintableText shows it.
        EXPECT_EQ(OVScreenText(sCase.sText), sCase.pszScreen ? sCase.pszScreen : sCase.pszShown);
    }
    EXPECT_EQ(OVDecodeUtf8("ab", 2).nBytes, 0u) << "nothing past the end";
}

TEST(Utf8Text, CutsByBytesAndByColumnsNeverSplitACharacter)
{
    const std::string sWide = "\xe5\x90\x8d\xe5\x90\x8d";  // 2 characters, 4 columns
    // Bytes: a character that would be split is left out whole; a broken byte is one byte.
    EXPECT_EQ(OVUtf8Prefix(sWide, 5), 3u);
    EXPECT_EQ(OVUtf8Prefix(sWide, 6), 6u);
    EXPECT_EQ(OVUtf8Prefix("ab\xc0\xaf", 3), 3u);
    EXPECT_EQ(OVUtf8Prefix("a\xf0\x9f\x98\x80", 4), 1u);
    char szField[5];
    EXPECT_EQ(OVCopyText(szField, sizeof szField, "ab\xc3\xa9\xc3\xa9"), 4u);
    EXPECT_STREQ(szField, "ab\xc3\xa9");

    // Columns: a wide character that would straddle the cut stays out; combining marks stay
    // with the character before them, at either end.
    EXPECT_EQ(OVColumnsPrefix(sWide, 3), 3u);
    EXPECT_EQ(OVColumnsPrefix("e\xcc\x81x", 1), 3u);
    EXPECT_EQ(OVColumnsSuffix(sWide, 3), 3u);
    EXPECT_EQ(OVColumnsSuffix("ae\xcc\x81", 1), 1u);
    EXPECT_EQ(OVColumnsSuffix("e\xcc\x81x", 1), 3u) << "the end does not start with a mark";
    EXPECT_EQ(OVFitColumns("abcdef", 4), "abc~");
    EXPECT_EQ(OVFitColumns(sWide, 3), "\xe5\x90\x8d~");
    EXPECT_EQ(OVPadColumns(sWide, 5), sWide + " ");
}


TEST(Utf8Text, TypedLineTakesWholeCharactersAndCaseFoldsForFilters)
{
    // Bytes arrive one key at a time, as curses hands them over; a broken sequence is dropped.
    OVLINEEDIT sLine;
    for (int nKey : std::initializer_list<int>{'a', ' ', 0xc3, 0xa9, 0xe5, 0x90, 0x8d, 0xff, 0x80, 0xe5, 'x', 'b'})
        OVEditLine(&sLine, nKey);
    EXPECT_EQ(sLine.sText, "a \xc3\xa9\xe5\x90\x8d" "xb");
    // Left steps over a whole character; Backspace and Delete remove whole characters.
    for (int nKey : std::initializer_list<int>{OVKEY_LEFT, OVKEY_LEFT, OVKEY_LEFT, OVKEY_BACKSPACE, OVKEY_DELETE})
        OVEditLine(&sLine, nKey);
    EXPECT_EQ(sLine.sText, "a xb");
    EXPECT_EQ(sLine.nCursor, 2u);
    EXPECT_FALSE(OVEditLine(&sLine, OVKEY_ESCAPE)) << "no control character is typed";
    sLine = OVLINEEDIT{std::string(OVMAXLINEEDIT, 'x'), OVMAXLINEEDIT, ""};
    EXPECT_FALSE(OVEditLine(&sLine, 'y'));

    EXPECT_EQ(OVFoldCase("SSH-Keygen \xc3\x89T\xc3\x89 \xce\xa3 \xe5\x90\x8d \xff"),
              "ssh-keygen \xc3\xa9t\xc3\xa9 \xcf\x83 \xe5\x90\x8d \xff");
    EXPECT_TRUE(OVContainsFolded("/usr/bin/SSH-KEYGEN", OVFoldCase("sSh-K")));
    EXPECT_TRUE(OVContainsFolded("caf\xc3\x89 noir", OVFoldCase("\xc3\xa9 N")));
    EXPECT_FALSE(OVContainsFolded("ssh", OVFoldCase("sshd")));
    EXPECT_TRUE(OVContainsFolded("", ""));
}

}  // namespace
