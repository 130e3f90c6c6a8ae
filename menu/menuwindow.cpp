/* menuwindow.cpp - which items of a menu level are shown, and where the cursor moves. No
 * drawing here: menupanel.cpp draws what the window says. */
#include "orvikmenu.h"

#include <algorithm>

namespace {

constexpr int MENUTITLEROWS = 3;   /* the title area above the items */
constexpr int MENUFOOTROWS = 5;    /* instruction line, gap, bottom line, two rows below */

int LastEntry(const MENUWINDOW &sWindow)
{
    return sWindow.nItems + sWindow.nBottom - 1;
}

// Keeps nTop within the list and, when the current entry is an item, shows it.
void Show(MENUWINDOW &sWindow)
{
    if (sWindow.nCurrent < sWindow.nItems) {
        if (sWindow.nCurrent < sWindow.nTop)
            sWindow.nTop = sWindow.nCurrent;
        else if (sWindow.nCurrent >= sWindow.nTop + sWindow.nVisible)
            sWindow.nTop = sWindow.nCurrent - sWindow.nVisible + 1;
    }
    sWindow.nTop = std::clamp(sWindow.nTop, 0, std::max(0, sWindow.nItems - sWindow.nVisible));
}

} // namespace

int MenuItemRows(int nRows)
{
    return std::max(0, nRows - MENUTITLEROWS - MENUFOOTROWS);
}

void MenuWindowFit(MENUWINDOW &sWindow, int nItemRows)
{
    sWindow.bMarkers = sWindow.nItems > nItemRows;
    sWindow.nVisible = sWindow.bMarkers ? std::max(1, nItemRows - 2) : sWindow.nItems;
    sWindow.nCurrent = std::clamp(sWindow.nCurrent, 0, std::max(0, LastEntry(sWindow)));
    Show(sWindow);
}

bool MenuWindowMove(MENUWINDOW &sWindow, int nKey)
{
    const int nLast = LastEntry(sWindow);
    const int nPage = std::max(1, sWindow.nVisible);
    const int nLastItem = sWindow.nItems - 1;
    int &nCurrent = sWindow.nCurrent;
    switch (nKey) {
    case OVKEY_TAB:
    case OVKEY_DOWN:
    case OVKEY_RIGHT:
        nCurrent = nCurrent >= nLast ? 0 : nCurrent + 1;
        break;
    case OVKEY_BTAB:
    case OVKEY_UP:
    case OVKEY_LEFT:
        nCurrent = nCurrent <= 0 ? nLast : nCurrent - 1;
        break;
    // A page moves the window and the cursor together, so the cursor keeps its row.
    case OVKEY_NPAGE:
        if (nCurrent > nLastItem)
            return false;   // nothing lies below the bottom line
        sWindow.nTop += std::min(nLastItem, nCurrent + nPage) - nCurrent;
        nCurrent = std::min(nLastItem, nCurrent + nPage);
        break;
    case OVKEY_PPAGE:
        if (nCurrent > nLastItem) {
            nCurrent = nLastItem;
            break;
        }
        sWindow.nTop -= nCurrent - std::max(0, nCurrent - nPage);
        nCurrent = std::max(0, nCurrent - nPage);
        break;
    case OVKEY_HOME:
        nCurrent = 0;
        break;
    case OVKEY_END:
        nCurrent = std::max(0, nLastItem);
        break;
    default:
        return false;
    }
    Show(sWindow);
    return true;
}

void MenuWindowGoTo(MENUWINDOW &sWindow, int nEntry)
{
    sWindow.nCurrent = std::clamp(nEntry, 0, std::max(0, LastEntry(sWindow)));
    Show(sWindow);
}

void MenuWindowScroll(MENUWINDOW &sWindow, int nDelta)
{
    sWindow.nTop = std::clamp(sWindow.nTop + nDelta, 0,
                              std::max(0, sWindow.nItems - sWindow.nVisible));
    if (sWindow.nCurrent < sWindow.nItems)
        sWindow.nCurrent = std::clamp(sWindow.nCurrent, sWindow.nTop,
                                      std::min(sWindow.nItems, sWindow.nTop + sWindow.nVisible) - 1);
}
