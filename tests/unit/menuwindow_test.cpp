// The window of a menu level: which items are shown and where each key leaves the cursor.
#include "orvikmenu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A level of nItems items and two bottom entries, laid out for nItemRows rows.
MENUWINDOW Window(int nItems, int nItemRows, int nCurrent = 0, int nTop = 0)
{
    MENUWINDOW sWindow;
    sWindow.nItems = nItems;
    sWindow.nBottom = 2;
    sWindow.nCurrent = nCurrent;
    sWindow.nTop = nTop;
    MenuWindowFit(sWindow, nItemRows);
    return sWindow;
}

TEST(MenuWindow, ALevelThatFitsHasNoMarkersAndNeverScrolls)
{
    EXPECT_EQ(MenuItemRows(24), 16);   // rows 4-19 of 80x24
    MENUWINDOW sWindow = Window(16, MenuItemRows(24));
    EXPECT_FALSE(sWindow.bMarkers);
    EXPECT_EQ(sWindow.nVisible, 16);
    for (int nKey : {OVKEY_END, OVKEY_NPAGE, OVKEY_PPAGE, OVKEY_BTAB, OVKEY_HOME}) {
        EXPECT_TRUE(MenuWindowMove(sWindow, nKey));
        EXPECT_EQ(sWindow.nTop, 0) << nKey;
    }
    // One item more and two rows go to the markers.
    sWindow = Window(17, 16);
    EXPECT_TRUE(sWindow.bMarkers);
    EXPECT_EQ(sWindow.nVisible, 14);
}

struct MOVECASE {
    const char *pszWhat;
    int nCurrent, nTop, nKey;
    bool bTaken;
    int nWantCurrent, nWantTop;
};

// 60 items and 2 bottom entries (60, 61) in 16 rows: 14 items shown.
constexpr MOVECASE asMoves[] = {
    {"End shows the last item in the last row", 0, 0, OVKEY_END, true, 59, 46},
    {"Home from the end", 59, 46, OVKEY_HOME, true, 0, 0},
    {"Down past the window scrolls one row", 13, 0, OVKEY_DOWN, true, 14, 1},
    {"Up past the window scrolls one row", 14, 14, OVKEY_UP, true, 13, 13},
    {"Down within the window does not scroll", 3, 0, OVKEY_DOWN, true, 4, 0},
    {"Tab from the last item to the bottom line keeps the window", 59, 46, OVKEY_TAB, true, 60, 46},
    {"Tab from the last entry wraps to the first item", 61, 46, OVKEY_TAB, true, 0, 0},
    {"Shift-Tab from the first item goes to the last entry", 0, 0, OVKEY_BTAB, true, 61, 0},
    {"Left from the bottom line to the last item", 60, 0, OVKEY_LEFT, true, 59, 46},
    {"Page Down moves window and cursor together", 1, 0, OVKEY_NPAGE, true, 15, 14},
    {"Page Down stops at the last item", 50, 46, OVKEY_NPAGE, true, 59, 46},
    {"Page Down near the end keeps the window full", 40, 30, OVKEY_NPAGE, true, 54, 44},
    {"Page Up moves window and cursor together", 20, 15, OVKEY_PPAGE, true, 6, 1},
    {"Page Up stops at the first item", 5, 2, OVKEY_PPAGE, true, 0, 0},
    {"Page Up from the bottom line goes to the last item", 61, 0, OVKEY_PPAGE, true, 59, 46},
    {"Page Down from the bottom line is refused", 60, 46, OVKEY_NPAGE, false, 60, 46},
    {"Any other key is refused", 7, 0, 'x', false, 7, 0},
};

TEST(MenuWindow, KeysMoveTheCurrentEntryAndKeepItShown)
{
    for (const MOVECASE &sCase : asMoves) {
        MENUWINDOW sWindow = Window(60, 16, sCase.nCurrent, sCase.nTop);
        ASSERT_EQ(sWindow.nCurrent, sCase.nCurrent) << sCase.pszWhat;
        ASSERT_EQ(sWindow.nTop, sCase.nTop) << sCase.pszWhat;
        EXPECT_EQ(MenuWindowMove(sWindow, sCase.nKey), sCase.bTaken) << sCase.pszWhat;
        EXPECT_EQ(sWindow.nCurrent, sCase.nWantCurrent) << sCase.pszWhat;
        EXPECT_EQ(sWindow.nTop, sCase.nWantTop) << sCase.pszWhat;
    }
}

TEST(MenuWindow, ScrollingByAMarkerTakesTheCurrentItemAlongOnlyWhenItLeaves)
{
    MENUWINDOW sWindow = Window(60, 16, 59, 46);
    MenuWindowScroll(sWindow, -sWindow.nVisible);
    EXPECT_EQ(sWindow.nTop, 32);
    EXPECT_EQ(sWindow.nCurrent, 45);   // the last item shown
    MenuWindowScroll(sWindow, -sWindow.nVisible);
    MenuWindowScroll(sWindow, -sWindow.nVisible);
    MenuWindowScroll(sWindow, -sWindow.nVisible);
    EXPECT_EQ(sWindow.nTop, 0);
    EXPECT_EQ(sWindow.nCurrent, 13);
    MenuWindowScroll(sWindow, 5);
    EXPECT_EQ(sWindow.nTop, 5);
    EXPECT_EQ(sWindow.nCurrent, 13);   // still shown: it stays
    MenuWindowScroll(sWindow, 1000);
    EXPECT_EQ(sWindow.nTop, 46);
    EXPECT_EQ(sWindow.nCurrent, 46);

    // A bottom-line entry stays current whatever the window does.
    sWindow = Window(60, 16, 61, 0);
    MenuWindowScroll(sWindow, 20);
    EXPECT_EQ(sWindow.nCurrent, 61);
    EXPECT_EQ(sWindow.nTop, 20);
}

TEST(MenuWindow, ANewSizeKeepsTheCurrentEntryShown)
{
    MENUWINDOW sWindow = Window(60, 16, 58, 45);   // Item 59 in the last row but one
    MenuWindowFit(sWindow, 35);                    // 132x43
    EXPECT_EQ(sWindow.nVisible, 33);
    EXPECT_EQ(sWindow.nTop, 27);                   // the window cannot pass the end
    EXPECT_EQ(sWindow.nCurrent, 58);
    MenuWindowFit(sWindow, 16);
    EXPECT_EQ(sWindow.nTop, 45);
    MenuWindowFit(sWindow, 60);                    // everything fits: from the top
    EXPECT_FALSE(sWindow.bMarkers);
    EXPECT_EQ(sWindow.nTop, 0);
    EXPECT_EQ(sWindow.nCurrent, 58);

    // Rows too few for markers and an item still show the current item.
    MenuWindowFit(sWindow, 1);
    EXPECT_EQ(sWindow.nVisible, 1);
    EXPECT_EQ(sWindow.nTop, 58);

    // A remembered entry beyond a shorter bottom line (Disconnect gone) is the last one.
    sWindow = Window(60, 16, 63, 0);
    EXPECT_EQ(sWindow.nCurrent, 61);
}

} // namespace
