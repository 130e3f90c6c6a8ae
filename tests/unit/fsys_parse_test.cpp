// The two parsers of orvikfsys on outputs captured from GNU coreutils 9.1: rows of
// `ls -lpah --time-style=+%D-%H:%M` and the default layout of `stat`.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

#include "orvikfsys.h"

namespace {

LSROW Parsed(std::string_view sRow)
{
    LSROW sParsed;
    EXPECT_TRUE(ParseListingRow(sRow, &sParsed)) << sRow;
    return sParsed;
}

// Where a text stands in the data line, or npos.
std::size_t At(const std::string &sLine, const std::string &sText) { return sLine.find(sText); }

}  // namespace

TEST(FsysListingRow, TakesTheWholeNameOfEveryKindOfEntry)
{
    struct CASE {
        const char *pszRow;
        const char *pszName;
        const char *pszSize;
        const char *pszTarget;
    };
    const CASE asCase[] = {
        {"drwxr-xr-x  3 root root 4.0K 12/08/26-14:26 ./", "./", "4.0K", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:19 my file", "my file", "0", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:26   lead", "  lead", "0", ""},
        {"drwxr-xr-x  2 root root 4.0K 12/08/26-14:26 dir x/", "dir x/", "4.0K", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:19 a'b\"c", "a'b\"c", "0", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:19 $(touch x)", "$(touch x)", "0", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:19 -rf", "-rf", "0", ""},
        {"lrwxrwxrwx  1 root root    4 12/08/26-14:26 ulink -> /usr", "ulink", "4", "/usr"},
        {"lrwxrwxrwx   1 root root    7 05/20/25-00:00 bin -> usr/bin", "bin", "7", "usr/bin"},
        {"crw-rw-rw- 1 root root 1, 3 12/06/26-04:00 null", "null", "1, 3", ""},
        {"brw-rw---- 1 root disk 259,   0 12/06/26-04:00 nvme0n1", "nvme0n1", "259,   0", ""},
        {"-rw-r--r--. 1 root root 1.2M 12/06/26-04:00 selinux file", "selinux file", "1.2M", ""},
        {"-rw-r--r--  1 root root    0 12/08/26-14:26 "
         "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL",
         "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL", "0", ""},
    };
    for (const CASE &sCase : asCase) {
        LSROW sRow = Parsed(sCase.pszRow);
        EXPECT_EQ(sRow.sName, sCase.pszName) << sCase.pszRow;
        EXPECT_EQ(sRow.sSize, sCase.pszSize) << sCase.pszRow;
        EXPECT_EQ(sRow.sTarget, sCase.pszTarget) << sCase.pszRow;
    }
    LSROW sRow = Parsed("-rwxr-xr-x   1 root root    0 10/15/26-22:25 .dockerenv");
    EXPECT_EQ(sRow.sMode, "-rwxr-xr-x");
    EXPECT_EQ(sRow.sLinks, "1");
    EXPECT_EQ(sRow.sOwner, "root");
    EXPECT_EQ(sRow.sGroup, "root");
    EXPECT_EQ(sRow.sDateTime, "10/15/26-22:25");
}

TEST(FsysListingRow, RefusesWhatIsNoEntry)
{
    // The total line, the rest of a name that holds a newline ("new\nline"), a row cut
    // short, and text that only looks like a mode.
    for (const char *pszRow : {"total 12K", "line", "", "-rw-r--r--  1 root root    0",
                               "-rw-r--r--  1 root root    0 12/08/26-14:19",
                               "-rw-r--r--  1 root root    0 12/08/26-14:19 ",
                               "hello world this has seven words or more",
                               "-rw-r--r--x 1 root root 0 12/08/26-14:19 eleven",
                               "crw-rw-rw- 1 root root 1, "}) {
        LSROW sRow;
        EXPECT_FALSE(ParseListingRow(pszRow, &sRow)) << pszRow;
    }
}

TEST(FsysListingRow, LineStandsUnderTheHeadings)
{
    // Offsets of "Size", "Date Time" and "Flags" below the heading placed at +36 from the
    // line: 40, 49, 64.
    std::string sLine = FormatListingLine(Parsed("drwxr-xr-x  2 root root 4.0K 12/08/26-14:26 dir x/"));
    EXPECT_EQ(sLine.size(), 74u);
    EXPECT_EQ(sLine.substr(0, 7), "dir x/ ");
    EXPECT_EQ(At(sLine, "4.0K"), 40u);
    EXPECT_EQ(At(sLine, "12/08/26-14:26"), 49u);
    EXPECT_EQ(At(sLine, "drwxr-xr-x"), 64u);

    // A long name is cut to 40 columns, its last one "~", and still leaves the other columns
    // in place; the security mark after the mode is dropped.
    std::string sLong(45, 'L');
    sLine = FormatListingLine(Parsed("-rw-r--r--. 1 root root 0 12/08/26-14:26 " + sLong));
    EXPECT_EQ(sLine.substr(0, 41), std::string(39, 'L') + "~0");
    EXPECT_EQ(sLine.substr(64), "-rw-r--r--");

    // A device shows both numbers; a name with UTF-8 counts characters, not bytes.
    sLine = FormatListingLine(Parsed("crw-rw-rw- 1 root root 1, 3 12/06/26-04:00 n\xc3\xa4me"));
    EXPECT_EQ(sLine.substr(0, 5), "n\xc3\xa4me");
    EXPECT_EQ(At(sLine, "1, 3"), 41u);  // one byte further: the name has a two-byte letter

    // Control characters cannot reach the terminal, and a name that begins with a push
    // button's label is moved off the start of the line.
    sLine = FormatListingLine(Parsed("-rw-r--r-- 1 root root 0 12/06/26-04:00 a\x1b[2Jb"));
    EXPECT_EQ(sLine.substr(0, 6), "a?[2Jb");
    // Stray continuation bytes take a column each, so the columns stay in place.
    sLine = FormatListingLine(Parsed("-rw-r--r-- 1 root root \x8b\x8b\x8b 12/06/26-04:00 x"));
    EXPECT_EQ(sLine.substr(40, 24), "???      12/06/26-04:00 ");
    for (const char *pszName : {"Return x", "Exit now", "Help me"}) {
        sLine = FormatListingLine(Parsed(std::string("-rw-r--r-- 1 u g 0 12/06/26-04:00 ") + pszName));
        EXPECT_EQ(sLine, " " + std::string(pszName) + std::string(39 - std::strlen(pszName), ' ') +
                             "0        12/06/26-04:00 -rw-r--r--");
    }
}

// Names are measured in display columns: accented letters take one column in two bytes, CJK
// characters two columns in three bytes. Size, date and flags start at the same display
// column whatever the name, and a name too wide is cut with "~" without splitting a
// character (a wide one that would straddle the cut leaves a blank after the "~").
TEST(FsysListingRow, ColumnsStayInPlaceForWideAndLongNames)
{
    const std::string s120(120, 'N');
    const std::string sCjk = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // 3 characters, 6 columns
    std::string sLongCjk;
    for (int i = 0; i < 25; ++i) sLongCjk += "\xe5\x90\x8d";        // 25 characters, 50 columns
    struct CASE {
        std::string sName;
        std::string sShown;  // the name column, blanks dropped
    };
    const CASE asCase[] = {
        {"caf\xc3\xa9_r\xc3\xa9sum\xc3\xa9_na\xc3\xafve.txt", "caf\xc3\xa9_r\xc3\xa9sum\xc3\xa9_na\xc3\xafve.txt"},
        {sCjk + ".txt", sCjk + ".txt"},
        {sLongCjk + ".txt", sLongCjk.substr(0, 19 * 3) + "~"},
        {s120, std::string(39, 'N') + "~"},
        {"e\xcc\x81t\xc3\xa9", "e\xcc\x81t\xc3\xa9"},  // a combining accent takes no column
        // Bytes that are no character, and controls beyond ASCII, show as one "?" each.
        {"a\xc3" "b", "a?b"},                           // a lead byte cut short
        {"\xc0\xaf.x", "??.x"},                          // an overlong "/"
        {"n\xe0\x80\x80ul", "n???ul"},                   // an overlong NUL took no column
        {"s\xed\xa0\x80g", "s???g"},                     // a surrogate
        {"\xf4\x90\x80\x80hi", "????hi"},               // beyond U+10FFFF
        {"c\xc2\x9b" "2J", "c?2J"},                      // the one-character CSI
        {std::string(38, 'N') + "e\xcc\x81xyz", std::string(38, 'N') + "e\xcc\x81~"},
    };
    for (const CASE &sCase : asCase) {
        const std::string sLine =
            FormatListingLine(Parsed("-rw-r--r-- 1 root root 12K 12/08/26-14:26 " + sCase.sName));
        SCOPED_TRACE(sCase.sName);
        EXPECT_EQ(OVDisplayWidth(sLine), 74);
        const std::size_t nSize = sLine.find("12K");
        ASSERT_NE(nSize, std::string::npos);
        EXPECT_EQ(OVDisplayWidth(std::string_view(sLine).substr(0, nSize)), 40);
        EXPECT_EQ(OVDisplayWidth(std::string_view(sLine).substr(0, sLine.find("12/08/26"))), 49);
        EXPECT_EQ(OVDisplayWidth(std::string_view(sLine).substr(0, sLine.find("-rw-r--r--"))), 64);
        std::string sShown = sLine.substr(0, nSize);
        while (!sShown.empty() && sShown.back() == ' ') sShown.pop_back();
        EXPECT_EQ(sShown, sCase.sShown);
    }
}

// The title names the folder after the program's name while both fit; a narrow panel keeps
// the end of the folder, its start cut to "~", and a connected system's address before it.
TEST(FsysListingTitle, FolderAfterTheNameOrItsEndAlone)
{
    EXPECT_EQ(ListingTitle(nullptr, "/", 80), "Orvik Explore Filesystems: /");
    EXPECT_EQ(ListingTitle("10.0.0.5", "/tmp/x/", 80), "Orvik Explore Filesystems: 10.0.0.5:/tmp/x/");
    const std::string sDeep = "/tmp/" + std::string(90, 'd') + "/leaf/";
    std::string sTitle = ListingTitle(nullptr, sDeep.c_str(), 80);
    EXPECT_EQ(OVDisplayWidth(sTitle), 78);
    EXPECT_EQ(sTitle, "~" + sDeep.substr(sDeep.size() - 77));
    // Exactly as wide as the room: whole.
    const std::string sFits = "/" + std::string(78 - 28 - 1, 'f') + "/";
    EXPECT_EQ(ListingTitle(nullptr, sFits.c_str(), 80), "Orvik Explore Filesystems: " + sFits);
    // One column more: the folder alone, whole.
    EXPECT_EQ(ListingTitle(nullptr, (sFits + "g/").c_str(), 80), sFits + "g/");
    sTitle = ListingTitle("10.0.0.5", sDeep.c_str(), 80);
    EXPECT_EQ(sTitle.substr(0, 10), "10.0.0.5:~");
    EXPECT_EQ(OVDisplayWidth(sTitle), 78);
    // Wide characters are never split: the cut leaves at most the room.
    std::string sWide = "/";
    for (int i = 0; i < 50; ++i) sWide += "\xe5\x90\x8d";
    sTitle = ListingTitle(nullptr, (sWide + "/").c_str(), 80);
    EXPECT_LE(OVDisplayWidth(sTitle), 78);
    EXPECT_GE(OVDisplayWidth(sTitle), 77);
    EXPECT_EQ(sTitle.substr(0, 1), "~");
    EXPECT_EQ((sTitle.size() - 2) % 3, 0u) << "whole characters after the ~";
    // A control character in a folder name cannot reach the terminal.
    EXPECT_EQ(ListingTitle(nullptr, "/a\x1b[2J/", 80), "Orvik Explore Filesystems: /a?[2J/");
}

namespace {

// stat /tmp/qq/my file (coreutils 9.1, no security context).
const char szStatRegular[] =
    "  File: /tmp/rt/my file.txt\n"
    "  Size: 13        \tBlocks: 8          IO Block: 4096   regular file\n"
    "Device: 254,0\tInode: 10953788    Links: 1\n"
    "Access: (0644/-rw-r--r--)  Uid: (    0/    root)   Gid: (    0/    root)\n"
    "Access: 2026-12-08 14:25:03.118374211 +0000\n"
    "Modify: 2026-12-08 14:25:03.118374211 +0000\n"
    "Change: 2026-12-08 14:25:03.122374211 +0000\n"
    " Birth: 2026-12-08 14:25:03.118374211 +0000\n";

const char szStatDevice[] =
    "  File: /dev/null\n"
    "  Size: 0         \tBlocks: 0          IO Block: 4096   character special file\n"
    "Device: 0,6\tInode: 3           Links: 1     Device type: 1,3\n"
    "Access: (0666/crw-rw-rw-)  Uid: (    0/    root)   Gid: (    0/    root)\n"
    "Access: 2026-12-06 04:00:22.361807547 +0000\n"
    "Modify: 2026-12-06 04:00:22.361807547 +0000\n"
    "Change: 2026-12-06 04:00:22.361807547 +0000\n"
    " Birth: 2026-12-06 04:00:22.361807547 +0000\n";

// The older layout with a quoted name, hexadecimal device and a security context line.
const char szStatQuotedContext[] =
    "  File: '/etc/passwd'\n"
    "  Size: 2329      \tBlocks: 8          IO Block: 4096   regular file\n"
    "Device: fd00h/64768d\tInode: 33575641    Links: 1\n"
    "Access: (0644/-rw-r--r--)  Uid: (    0/    root)   Gid: (    0/    root)\n"
    "Context: system_u:object_r:passwd_file_t:s0   \n"
    "Access: 2019-03-01 10:12:01.123456789 +0100\n"
    "Modify: 2019-02-28 09:00:00.000000000 +0100\n"
    "Change: 2019-02-28 09:00:00.000000000 +0100\n"
    " Birth: -\n";

struct PLACED {
    int nRow, nColumn;
    const char *pszText;
};

void ExpectPlaced(std::string_view sOutput, int nMargin, const std::vector<PLACED> &asWanted,
                  int bRegularWanted)
{
    int bRegular = -1;
    std::vector<STATTEXT> asText = ParseRemoteStat(sOutput, nMargin, &bRegular);
    EXPECT_EQ(bRegular, bRegularWanted);
    ASSERT_EQ(asText.size(), asWanted.size());
    for (std::size_t i = 0; i < asWanted.size(); ++i) {
        EXPECT_EQ(asText[i].nRow, asWanted[i].nRow) << asWanted[i].pszText;
        EXPECT_EQ(asText[i].nColumn, asWanted[i].nColumn) << asWanted[i].pszText;
        EXPECT_EQ(asText[i].sText, asWanted[i].pszText);
        EXPECT_EQ(asText[i].bFileName, i == 0);
    }
}

}  // namespace

TEST(FsysStatLabels, CurrentLayoutPlacedForEveryMargin)
{
    for (int nMargin : {0, 20, -5}) {
        SCOPED_TRACE(nMargin);
        ExpectPlaced(szStatRegular, nMargin,
                     {{3, nMargin + 17, "/tmp/rt/my file.txt"},
                      {7, nMargin + 17, "Size: 13"},
                      {7, nMargin + 41, "Blocks: 8"},
                      {7, nMargin + 60, "IO Block: 4096"},
                      {5, nMargin + 17, "Type: regular file"},
                      {9, nMargin + 15, "Device: 254,0"},
                      {9, nMargin + 42, "Inode: 10953788"},
                      {5, nMargin + 63, "Links: 1"},
                      {11, nMargin + 15, "Access: (0644/-rw-r--r--)"},
                      {11, nMargin + 44, "Uid: (    0/    root)  "},
                      {12, nMargin + 44, "Gid: (    0/    root)"},
                      {16, nMargin + 14, "Last Access: 2026-12-08 14:25:03"},
                      {17, nMargin + 14, "Last Modify: 2026-12-08 14:25:03"},
                      {18, nMargin + 14, "Last Change: 2026-12-08 14:25:03"}},
                     1);
    }
}

TEST(FsysStatLabels, OtherTypesQuotesContextAndNamesThatLookLikeLabels)
{
    // An empty file is "regular empty file": no Copy.
    std::string sEmpty = szStatRegular;
    sEmpty.replace(sEmpty.find("regular file"), 12, "regular empty file");
    int bRegular = -1;
    std::vector<STATTEXT> asText = ParseRemoteStat(sEmpty, 0, &bRegular);
    EXPECT_EQ(bRegular, 0);
    EXPECT_EQ(asText[4].sText, "Type: regular empty file");

    asText = ParseRemoteStat(szStatDevice, 0, &bRegular);
    EXPECT_EQ(bRegular, 0);
    EXPECT_EQ(asText[0].sText, "/dev/null") << "an unquoted name keeps its first character";
    EXPECT_EQ(asText[4].sText, "Type: character special file");
    EXPECT_EQ(asText[5].sText, "Device: 0,6");
    EXPECT_EQ(asText[7].sText, "Links: 1     Device type: 1,3");

    asText = ParseRemoteStat(szStatQuotedContext, 0, &bRegular);
    EXPECT_EQ(bRegular, 1);
    EXPECT_EQ(asText[0].sText, "/etc/passwd");
    EXPECT_EQ(asText[5].sText, "Device: fd00h/64768d");
    ASSERT_EQ(asText.size(), 15u);
    EXPECT_EQ(asText[11].nRow, 14);
    EXPECT_EQ(asText[11].sText, "Context: system_u:object_r:passwd_file_t:s0");
    EXPECT_EQ(asText[12].sText, "Last Access: 2019-03-01 10:12:01");

    // A name that holds label words changes nothing below the first line.
    std::string sTricky = szStatRegular;
    sTricky.replace(sTricky.find("/tmp/rt/my file.txt"), 19, "/tmp/Size: 99 Access: 2099 Links: 7");
    asText = ParseRemoteStat(sTricky, 0, &bRegular);
    EXPECT_EQ(asText[0].sText, "/tmp/Size: 99 Access: 2099 Links: 7");
    EXPECT_EQ(asText[1].sText, "Size: 13");
    EXPECT_EQ(asText[7].sText, "Links: 1");
    EXPECT_EQ(asText[11].sText, "Last Access: 2026-12-08 14:25:03");

    // Missing labels leave their places empty; text cut short stays within the output.
    asText = ParseRemoteStat("  File: /x\n  Size: 1", 0, &bRegular);
    ASSERT_EQ(asText.size(), 2u);
    EXPECT_EQ(asText[1].sText, "Size: 1");
    asText = ParseRemoteStat("stat: cannot statx '/x': No such file or directory\n", 0, &bRegular);
    EXPECT_TRUE(asText.empty());
    asText = ParseRemoteStat("a\nModify: 2026", 0, &bRegular);
    ASSERT_EQ(asText.size(), 1u);
    EXPECT_EQ(asText[0].sText, "Last Modify: 2026");
}

// The view of a listing: the filter ignores case and accents' case, keeps "./" and "../" and a
// name of two rows whole, hides dot names on request; pages are found by name.
TEST(FsysView, FilterHiddenAndPagesOfAListing)
{
    char szFrom[] = "/tmp/orvik-view-XXXXXX";
    ASSERT_GE(mkstemp(szFrom), 0);
    const std::string sInto = std::string(szFrom) + ".view";
    std::string sListing = "total 8\n";
    for (const char *pszName : {"./", "../", ".Hidden", "CAF\xc3\x89 x", "new", "line tail", "zeta/"})
        sListing += std::string("-rw-r--r-- 1 u g 0 12/06/26-04:00 ") + pszName + "\n";
    sListing.replace(sListing.find("-rw-r--r-- 1 u g 0 12/06/26-04:00 line"), 34, "");
    OVReplaceFile(szFrom, sListing, 0600);
    auto View = [&](const char *pszPart, bool bHide) {
        EXPECT_GE(WriteView(szFrom, sInto.c_str(), OVFoldCase(pszPart), bHide), 0);
        std::string sOut;
        std::ifstream sFile(sInto);
        for (std::string sRow; std::getline(sFile, sRow);) sOut += sRow.substr(sRow.rfind(' ') + 1) + ",";
        return sOut;
    };
    EXPECT_EQ(View("caf\xc3\xa9", false), "./,../,x,");
    EXPECT_EQ(View("TAIL", false), "./,../,new,tail,");
    EXPECT_EQ(View("", true), "./,../,x,new,tail,zeta/,");
    EXPECT_EQ(View("", false), "./,../,.Hidden,x,new,tail,zeta/,");
    std::vector<std::int64_t> afStart;
    int nRow = -1;
    ASSERT_TRUE(FindPages(szFrom, 2, "zeta", &afStart, &nRow));
    EXPECT_EQ(afStart.size(), 4u);
    EXPECT_EQ(nRow, 0);
    EXPECT_FALSE(FindPages(szFrom, 2, "nothing", &afStart, &nRow));
    EXPECT_EQ(CompleteName(szFrom, "ze"), "zeta/");
    unlink(szFrom);
    unlink(sInto.c_str());
}
