/* menupanel.cpp - draws one level of the main menu and acts on the entry chosen. */
#include "orvikmenu.h"

#include <curses.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int BOTTOMENTRIES = 4;   /* Exit/Return, Help, Disconnect, Exit */
constexpr int MENUNAMEWIDTH = 30;
constexpr int MENUFIRSTROW = 4;    /* first row below the title area */
constexpr int KEY_CTRL_D = 4;
constexpr int KEY_CTRL_U = 21;
constexpr const char *MOREABOVE = "  ^ more above";
constexpr const char *MOREBELOW = "  v more below";
constexpr const char *FILTERPROMPT = "Filter: ";
constexpr const char *FINDHINT = "A letter jumps to its item, / filter.";
constexpr int KEY_DEL = 127;       /* Backspace on terminals that send DEL */
constexpr int KEY_CTRL_H = 8;      /* and on those that send BS */

// Where a level stood when the menu last left it: its current entry and scroll position.
struct MENUPLACE {
    MENUITEM *psItem = nullptr;      /* the current item, or */
    int nBottomEntry = -1;           /* the current bottom-line entry */
    int nTop = 0;
    std::string sFilter;             /* the filter kept on the level, "" for none */
};

// One place per level, kept across Process_Menu calls; index 0 is unused.
std::vector<MENUPLACE> asPlaces;

// The name each open submenu's parent had, outermost first: leaving a submenu goes back to
// the menu it was opened from, however deep it lies.
std::vector<std::string> asParentSubMenu;

void EnterSubMenu(const char *pszName)
{
    asParentSubMenu.emplace_back(szSavedSubMenu);
    OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, pszName);
    nMenuLevel++;
}

void LeaveSubMenu()
{
    if (!asParentSubMenu.empty()) {
        OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, asParentSubMenu.back().c_str());
        asParentSubMenu.pop_back();
    }
    nMenuLevel--;
}

// Everything one drawing builds; discarded when Process_Menu returns.
struct MENUDRAWING {
    MENUITEM *apsLevel[MENUMAXITEMS];   /* every item of the level, before the filter */
    int nLevelItems = 0;
    MENUITEM *apsItems[MENUMAXITEMS];   /* the items listed, in Tab order */
    MENUWINDOW sWindow;
    MENUTAB asBottom[BOTTOMENTRIES];
    MENUITEM *psHelpItem = nullptr;
    MENUITEM sFirstBottom {};        /* "Exit " at level 1, "Return " deeper */
    MENUITEM sHelpMissing {};        /* the Help entry of a level without a help item */
    MENUITEM sDisconnect {};
    MENUITEM sExtraExit {};
    struct tm sNow {};
    // Finding an item: the filter line, and a letter typed to jump while its bytes arrive.
    OVLINEEDIT sFilter;              /* the items listed hold its text; "" lists them all */
    bool bTyping = false;            /* the filter line takes the keys */
    MENUITEM *psBeforeFilter = nullptr; /* the entry to go back to when the filter goes */
    OVLINEEDIT sLetter;
    // The layout of the current terminal size.
    bool bFits = false;              /* nothing is drawn on a terminal below the minimum */
    int nRows = 0;
    int nColumns = 0;
    int nMenuColumn = 1;
    int nFirstItemRow = MENUFIRSTROW; /* the row of item nTop */
};

void Bell()
{
    (void)!write(STDOUT_FILENO, "\a", 1);
}

void NameBuiltin(MENUITEM &sItem, const char *pszName)
{
    std::memcpy(sItem.szEyeCatcher, "MITEMBLK", 8);
    OVCopyText(sItem.szName, sizeof sItem.szName, pszName);
}

void WriteAt(int nRow, int nColumn, const char *pszText)
{
    SetPosition(nRow, nColumn);
    WriteString(pszText);
}

void WriteCentred(int nRow, const std::string &sText)
{
    WriteAt(nRow, OVCentredColumn(psPabOrvik, OVDisplayWidth(sText)), sText.c_str());
}

void SetGroupColours(unsigned long ulGroup)
{
    OVSetColor(asOVDisplayAttributes[ulGroup].nForegroundColor,
               asOVDisplayAttributes[ulGroup].nBackgroundColor);
}

// Items and the bottom line carry the Menu Item attribute; the current entry has its
// reverse bit turned over, so that it stands out whatever the attribute is.
void SetEntryStyle(unsigned long ulGroup, bool bCurrent)
{
    OVSetAttribute(asOVDisplayAttributes[OVDG_MENUITEM].nAttribute);
    if (bCurrent) {
        attr_t nAttributes = 0;
        short nPair = 0;
        wattr_get(stdscr, &nAttributes, &nPair, nullptr);
        if ((nAttributes & A_REVERSE) != 0)
            wattr_off(stdscr, A_REVERSE, nullptr);
        else
            wattr_on(stdscr, A_REVERSE, nullptr);
    }
    SetGroupColours(ulGroup);
}

// The items of the level and its help item; the first item is always listed, a later
// "help" item is reached from the bottom line instead.
void ListItems(MENUDRAWING &sDrawing, MENUITEM **apsGathered, int nGathered)
{
    int nItems = 0;
    for (int i = 0; i < nGathered; i++) {
        if (i > 0 && strcasecmp(apsGathered[i]->szName, "help") == 0)
            sDrawing.psHelpItem = apsGathered[i];
        else
            sDrawing.apsLevel[nItems++] = apsGathered[i];
    }
    sDrawing.nLevelItems = nItems;
}

// Lists the items of the level whose title holds the filter's text, in any case.
void ApplyFilter(MENUDRAWING &sDrawing)
{
    const std::string sFolded = OVFoldCase(sDrawing.sFilter.sText);
    int nItems = 0;
    for (int i = 0; i < sDrawing.nLevelItems; i++) {
        if (OVContainsFolded(sDrawing.apsLevel[i]->szName, sFolded))
            sDrawing.apsItems[nItems++] = sDrawing.apsLevel[i];
    }
    sDrawing.sWindow.nItems = nItems;
}

void PlaceBottomEntries(MENUDRAWING &sDrawing)
{
    NameBuiltin(sDrawing.sFirstBottom, nMenuLevel == 1 ? "Exit " : "Return ");
    NameBuiltin(sDrawing.sHelpMissing, "Help ");
    NameBuiltin(sDrawing.sDisconnect, "Disconnect ");
    NameBuiltin(sDrawing.sExtraExit, "Exit ");
    MENUITEM *apsBottom[BOTTOMENTRIES] = {
        &sDrawing.sFirstBottom,
        sDrawing.psHelpItem != nullptr ? sDrawing.psHelpItem : &sDrawing.sHelpMissing,
        psConnectedSystem != nullptr ? &sDrawing.sDisconnect : nullptr,
        nMenuLevel > 1 ? &sDrawing.sExtraExit : nullptr,
    };
    int nBottom = 0;
    for (MENUITEM *psItem : apsBottom) {
        if (psItem == nullptr)
            continue;
        MENUTAB &sEntry = sDrawing.asBottom[nBottom++];
        std::memcpy(sEntry.szEyeCatcher, "TITEMBLK", 8);
        sEntry.psMenuItem = psItem;
        // The help item is shown as "Help ", whatever its title.
        sEntry.nLength = psItem == sDrawing.psHelpItem
                             ? 5 : static_cast<int>(std::strlen(psItem->szName));
    }
    sDrawing.sWindow.nBottom = nBottom;
}

// Lays the screen out for the terminal's present size, keeping the current entry.
void LayOut(MENUDRAWING &sDrawing)
{
    RefreshTerminalSize();
    sDrawing.nRows = psPabOrvik->nRows;
    sDrawing.nColumns = psPabOrvik->nColumns;
    sDrawing.bFits = OVTerminalFits(sDrawing.nRows, sDrawing.nColumns);
    sDrawing.nMenuColumn = OVCentredColumn(psPabOrvik, MENUNAMEWIDTH);
    MENUWINDOW &sWindow = sDrawing.sWindow;
    MenuWindowFit(sWindow, MenuItemRows(sDrawing.nRows));
    sDrawing.nFirstItemRow = MENUFIRSTROW + (sWindow.bMarkers ? 1 : 0);
    int nColumn = sDrawing.nMenuColumn;
    for (int i = 0; i < sWindow.nBottom; i++) {
        MENUTAB &sEntry = sDrawing.asBottom[i];
        sEntry.nRow = sDrawing.nRows - 2;
        sEntry.nColumn = nColumn;
        nColumn += sEntry.nLength + 1;
    }
}

int BelowRow(const MENUDRAWING &sDrawing)
{
    return sDrawing.nFirstItemRow + sDrawing.sWindow.nVisible;
}

// Draws entry nEntry where it stands; an item outside the window is not drawn.
void DrawEntry(const MENUDRAWING &sDrawing, int nEntry)
{
    const MENUWINDOW &sWindow = sDrawing.sWindow;
    // While the filter is typed the first match is shown as the one Enter goes to; no entry
    // of the bottom line is current then.
    const bool bCurrent =
        nEntry == sWindow.nCurrent && !(sDrawing.bTyping && nEntry >= sWindow.nItems);
    if (nEntry >= sWindow.nItems) {
        const MENUTAB &sEntry = sDrawing.asBottom[nEntry - sWindow.nItems];
        SetEntryStyle(OVDG_BUTTON, bCurrent);
        WriteAt(sEntry.nRow, sEntry.nColumn,
                sEntry.psMenuItem == sDrawing.psHelpItem ? "Help " : sEntry.psMenuItem->szName);
        return;
    }
    if (nEntry < sWindow.nTop || nEntry >= sWindow.nTop + sWindow.nVisible)
        return;
    SetEntryStyle(OVDG_MENUITEM, bCurrent);
    WriteAt(sDrawing.nFirstItemRow + nEntry - sWindow.nTop, sDrawing.nMenuColumn,
            OVPadColumns(sDrawing.apsItems[nEntry]->szName, MENUNAMEWIDTH).c_str());
}

// The marker row says whether items lie beyond the window; blank when none do.
void DrawMarker(const MENUDRAWING &sDrawing, int nRow, bool bMore, const char *pszText)
{
    if (bMore) {
        SetEntryStyle(OVDG_MENUITEM, false);
        WriteAt(nRow, sDrawing.nMenuColumn, OVPadColumns(pszText, MENUNAMEWIDTH).c_str());
    } else {
        wattrset(stdscr, A_NORMAL);
        WriteAt(nRow, sDrawing.nMenuColumn, std::string(MENUNAMEWIDTH, ' ').c_str());
    }
}

void DrawItems(const MENUDRAWING &sDrawing)
{
    const MENUWINDOW &sWindow = sDrawing.sWindow;
    for (int i = sWindow.nTop; i < sWindow.nTop + sWindow.nVisible; i++)
        DrawEntry(sDrawing, i);
    if (sWindow.bMarkers) {
        DrawMarker(sDrawing, MENUFIRSTROW, sWindow.nTop > 0, MOREABOVE);
        DrawMarker(sDrawing, BelowRow(sDrawing), sWindow.nTop + sWindow.nVisible < sWindow.nItems,
                   MOREBELOW);
    }
}

int FilterRow(const MENUDRAWING &sDrawing)
{
    return sDrawing.nRows - 3;   /* between the instruction line and the bottom line */
}

// The filter's text as it fits after the prompt: its end when it is too long, so that what
// was typed last shows. The column of the cursor within it goes to pnCursorColumn.
std::string ShownFilter(const MENUDRAWING &sDrawing, int *pnCursorColumn)
{
    const std::string &sText = sDrawing.sFilter.sText;
    const int nRoom = sDrawing.nColumns - 2 - sDrawing.nMenuColumn -
                      static_cast<int>(std::strlen(FILTERPROMPT));
    const std::size_t nStart = OVDisplayWidth(sText) <= nRoom ? 0 : OVColumnsSuffix(sText, nRoom);
    const std::size_t nCursor = std::max(nStart, std::min(sDrawing.sFilter.nCursor, sText.size()));
    *pnCursorColumn = OVDisplayWidth(std::string_view(sText).substr(nStart, nCursor - nStart));
    return sText.substr(nStart);
}

// The row above the bottom line: the filter while there is one, else the hint that says how
// to find an item. A filter that lists nothing says so where the items stand.
void DrawFilterLine(const MENUDRAWING &sDrawing)
{
    const int nRow = FilterRow(sDrawing);
    wattrset(stdscr, A_NORMAL);
    WriteAt(nRow, 1, std::string(sDrawing.nColumns > 2 ? sDrawing.nColumns - 2 : 0, ' ').c_str());
    OVSetAttribute(asOVDisplayAttributes[OVDG_MENUITEM].nAttribute);
    if (!sDrawing.bTyping && sDrawing.sFilter.sText.empty()) {
        OVSetColor(COLOR_GREEN, asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor);
        WriteCentred(nRow, FINDHINT);
        return;
    }
    int nCursorColumn = 0;
    SetGroupColours(OVDG_PANEL);
    WriteAt(nRow, sDrawing.nMenuColumn,
            (FILTERPROMPT + ShownFilter(sDrawing, &nCursorColumn)).c_str());
    if (sDrawing.sWindow.nItems == 0) {
        const std::string sNone = "No entry matches " + sDrawing.sFilter.sText;
        WriteAt(MENUFIRSTROW, sDrawing.nMenuColumn,
                OVFitColumns(sNone, sDrawing.nColumns - 1 - sDrawing.nMenuColumn).c_str());
    }
}

void PlaceCursor(const MENUDRAWING &sDrawing)
{
    const MENUWINDOW &sWindow = sDrawing.sWindow;
    if (sDrawing.bTyping) {
        int nCursorColumn = 0;
        ShownFilter(sDrawing, &nCursorColumn);
        SetPosition(FilterRow(sDrawing), sDrawing.nMenuColumn +
                                             static_cast<int>(std::strlen(FILTERPROMPT)) +
                                             nCursorColumn);
    } else if (sWindow.nCurrent >= sWindow.nItems) {
        const MENUTAB &sEntry = sDrawing.asBottom[sWindow.nCurrent - sWindow.nItems];
        SetPosition(sEntry.nRow, sEntry.nColumn);
    } else {
        SetPosition(sDrawing.nFirstItemRow + sWindow.nCurrent - sWindow.nTop,
                    sDrawing.nMenuColumn);
    }
}

// Draws the whole screen at the size LayOut found; below the minimum size nothing, as
// GetKBM shows its notice there.
void DrawMenu(const MENUDRAWING &sDrawing)
{
    InitializeCurses();
    OVTakeResize(); // the screen is laid out for the size it has now
    if (!sDrawing.bFits)
        return;
    const int nRows = sDrawing.nRows;
    const int nColumns = sDrawing.nColumns;
    const struct tm &sNow = sDrawing.sNow;
    SetGroupColours(OVDG_PANEL);

    WriteCentred(1, "Orvik Terminal Manager");
    std::string sTitleVersion = nMenuLevel == 1 ? "Network Version" : szSavedSubMenu;
    if (psConnectedSystem != nullptr)
        sTitleVersion += std::string(": ") + psConnectedSystem->szIP;
    WriteCentred(2, sTitleVersion);

    char szText[64];
    std::snprintf(szText, sizeof szText, "ID: %-8s", pszUserID != nullptr ? pszUserID : "");
    WriteAt(1, nColumns - 12, szText);
    std::snprintf(szText, sizeof szText, "%.2d/%.2d/%.4d", sNow.tm_mon + 1, sNow.tm_mday,
                  sNow.tm_year + 1900);
    WriteAt(2, nColumns - 12, szText);
    std::snprintf(szText, sizeof szText, "%.2d:%.2d:%.2d", sNow.tm_hour, sNow.tm_min,
                  sNow.tm_sec);
    WriteAt(3, nColumns - 12, szText);
    WriteAt(1, 1, szKernelName);
    WriteAt(2, 1, szKernelRelease);
    WriteAt(3, 1, szNodeName);

    const std::string sBlankLine(nColumns > 2 ? nColumns - 2 : 0, ' ');
    WriteAt(nRows - 2, 1, sBlankLine.c_str());
    WriteAt(nRows - 4, 1, sBlankLine.c_str());

    DrawItems(sDrawing);
    for (int i = 0; i < sDrawing.sWindow.nBottom; i++)
        DrawEntry(sDrawing, sDrawing.sWindow.nItems + i);

    OVSetAttribute(asOVDisplayAttributes[OVDG_MENUITEM].nAttribute);
    OVSetColor(COLOR_GREEN, asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor);
    WriteCentred(nRows - 4, "Click selection or Tab and press Enter.");
    DrawFilterLine(sDrawing);
    PlaceCursor(sDrawing);
}

// The filter changed the items listed: the rows of the items are drawn afresh, and the
// bottom line, whose entries follow the last item in Tab order.
void RedrawList(MENUDRAWING &sDrawing)
{
    LayOut(sDrawing);
    if (!sDrawing.bFits)
        return;
    wattrset(stdscr, A_NORMAL);
    const std::string sBlankLine(sDrawing.nColumns > 2 ? sDrawing.nColumns - 2 : 0, ' ');
    for (int i = 0; i < MenuItemRows(sDrawing.nRows); i++)
        WriteAt(MENUFIRSTROW + i, 1, sBlankLine.c_str());
    DrawItems(sDrawing);
    for (int i = 0; i < sDrawing.sWindow.nBottom; i++)
        DrawEntry(sDrawing, sDrawing.sWindow.nItems + i);
    DrawFilterLine(sDrawing);
    PlaceCursor(sDrawing);
}

// Draws what a move or a scroll changed: the whole window when it scrolled, else the old
// and the new current entry.
void ShowMove(MENUDRAWING &sDrawing, int nOldCurrent, int nOldTop)
{
    if (!sDrawing.bFits)
        return;
    if (sDrawing.sWindow.nTop != nOldTop)
        DrawItems(sDrawing);
    DrawEntry(sDrawing, nOldCurrent);
    DrawEntry(sDrawing, sDrawing.sWindow.nCurrent);
    PlaceCursor(sDrawing);
}

MENUPLACE &PlaceOf(int nLevel)
{
    if (static_cast<int>(asPlaces.size()) <= nLevel)
        asPlaces.resize(static_cast<std::size_t>(nLevel) + 1);
    return asPlaces[static_cast<std::size_t>(nLevel)];
}

void RememberPlace(const MENUDRAWING &sDrawing)
{
    const MENUWINDOW &sWindow = sDrawing.sWindow;
    MENUPLACE &sPlace = PlaceOf(nMenuLevel);
    sPlace.nTop = sWindow.nTop;
    sPlace.sFilter = sDrawing.sFilter.sText;
    sPlace.psItem = sWindow.nCurrent < sWindow.nItems ? sDrawing.apsItems[sWindow.nCurrent] : nullptr;
    sPlace.nBottomEntry = sWindow.nCurrent < sWindow.nItems ? -1 : sWindow.nCurrent - sWindow.nItems;
}

// The entry the level had when the menu last left it; the first item for a level not seen
// yet, or whose item is no longer listed.
void RestorePlace(MENUDRAWING &sDrawing)
{
    MENUWINDOW &sWindow = sDrawing.sWindow;
    const MENUPLACE &sPlace = PlaceOf(nMenuLevel);
    // The level's filter stays while it still lists an item (a connection can hide one).
    sDrawing.sFilter.sText = sPlace.sFilter;
    sDrawing.sFilter.nCursor = sPlace.sFilter.size();
    ApplyFilter(sDrawing);
    if (sWindow.nItems == 0) {
        sDrawing.sFilter = OVLINEEDIT {};
        ApplyFilter(sDrawing);
    }
    if (sPlace.nBottomEntry >= 0) {
        sWindow.nCurrent = sWindow.nItems + std::min(sPlace.nBottomEntry, sWindow.nBottom - 1);
        sWindow.nTop = sPlace.nTop;
        return;
    }
    for (int i = 0; i < sWindow.nItems; i++) {
        if (sDrawing.apsItems[i] == sPlace.psItem) {
            sWindow.nCurrent = i;
            sWindow.nTop = sPlace.nTop;
            return;
        }
    }
}

// Ctrl-d and Ctrl-u: the switch flips and the children started next inherit it.
void ToggleSwitch(int &bSwitch, const char *pszVariable)
{
    bSwitch = !bSwitch;
    const char *pszValue = bSwitch ? "Yes" : "No";
    setenv(pszVariable, pszValue, 1);
    if (bDebug)
        OVLog(OVLOG_DEBUG, "Orvik Process_Menu. %s set to: %s.", pszVariable, pszValue);
}

int ActOnEntry(MENUDRAWING &sDrawing, MENUITEM *psItem)
{
    RememberPlace(sDrawing);
    int nRc = OVRC_OK;
    if (psItem == &sDrawing.sHelpMissing) {
        CreateHelpBoxi(psPabOrvik, "No Help is available", 0, 0, 80);
    } else if (strcasecmp(psItem->szName, "Exit ") == 0) {
        nRc = OVRC_EXIT;
    } else if (strcasecmp(psItem->szName, "Return ") == 0) {
        LeaveSubMenu();
        nRc = nMenuLevel < 1 ? OVRC_EXIT : OVRC_OK;
    } else if (strcasecmp(psItem->szName, "Disconnect ") == 0) {
        if (psConnectedSystem != nullptr) OVEndConnection(psConnectedSystem);
        psConnectedSystem = nullptr;
        SaveConfigurationValues();
    } else if (strcasecmp(psItem->szAction, "SubMenu") == 0) {
        EnterSubMenu(psItem->szName);
        PlaceOf(nMenuLevel) = MENUPLACE {};   // a submenu opens on its first item
    } else {
        nRc = Process_Selection(psItem);
    }
    EndCurses();
    return nRc;
}

// What a click landed on: an entry (>= 0), a marker (scrolls, -2), or nothing (-1).
int FindClickedEntry(MENUDRAWING &sDrawing, const CHARINPUT &sCharInput)
{
    MENUWINDOW &sWindow = sDrawing.sWindow;
    const int nColumn = sCharInput.nColumn;
    const int nRow = sCharInput.nRow;
    for (int i = 0; i < sWindow.nBottom; i++) {
        const MENUTAB &sEntry = sDrawing.asBottom[i];
        if (nRow == sEntry.nRow && nColumn >= sEntry.nColumn &&
            nColumn <= sEntry.nColumn + sEntry.nLength - 1)
            return sWindow.nItems + i;
    }
    if (!sDrawing.bFits || nColumn < sDrawing.nMenuColumn ||
        nColumn >= sDrawing.nMenuColumn + MENUNAMEWIDTH)
        return -1;
    const int nItem = sWindow.nTop + nRow - sDrawing.nFirstItemRow;
    if (nRow >= sDrawing.nFirstItemRow && nRow < sDrawing.nFirstItemRow + sWindow.nVisible &&
        nItem < sWindow.nItems)
        return nItem;
    if (!sWindow.bMarkers)
        return -1;
    if (nRow == MENUFIRSTROW && sWindow.nTop > 0) {
        MenuWindowScroll(sWindow, -sWindow.nVisible);
        return -2;
    }
    if (nRow == BelowRow(sDrawing) && sWindow.nTop + sWindow.nVisible < sWindow.nItems) {
        MenuWindowScroll(sWindow, sWindow.nVisible);
        return -2;
    }
    return -1;
}

MENUITEM *EntryItem(const MENUDRAWING &sDrawing, int nEntry)
{
    const MENUWINDOW &sWindow = sDrawing.sWindow;
    return nEntry < sWindow.nItems ? sDrawing.apsItems[nEntry]
                                   : sDrawing.asBottom[nEntry - sWindow.nItems].psMenuItem;
}

// "/": the filter line takes the keys, with the text kept from before; the first match is
// current while it is typed.
void OpenFilter(MENUDRAWING &sDrawing)
{
    if (!sDrawing.bTyping && sDrawing.sFilter.sText.empty())
        sDrawing.psBeforeFilter = EntryItem(sDrawing, sDrawing.sWindow.nCurrent);
    sDrawing.bTyping = true;
    sDrawing.sFilter.nCursor = sDrawing.sFilter.sText.size();
    sDrawing.sWindow.nCurrent = 0;
    RedrawList(sDrawing);
}

// Every item is listed again, with the cursor on the entry that was current before the
// filter (the first item when that is gone).
void RemoveFilter(MENUDRAWING &sDrawing)
{
    sDrawing.sFilter = OVLINEEDIT {};
    sDrawing.bTyping = false;
    ApplyFilter(sDrawing);
    MENUWINDOW &sWindow = sDrawing.sWindow;
    int nEntry = 0;
    for (int i = 0; i < sWindow.nItems + sWindow.nBottom; i++) {
        if (EntryItem(sDrawing, i) == sDrawing.psBeforeFilter)
            nEntry = i;
    }
    sWindow.nCurrent = nEntry;   // shown once laid out for the longer list
    RedrawList(sDrawing);
}

// A key while the filter line takes the keys: true when the line used it. Keys that move
// between entries (Tab, Up, Down, pages, a click) end the typing, keeping the filter, and
// are then the menu's.
bool TypeFilter(MENUDRAWING &sDrawing, int nKey)
{
    MENUWINDOW &sWindow = sDrawing.sWindow;
    switch (nKey) {
    case OVKEY_ESCAPE:
        RemoveFilter(sDrawing);
        return true;
    case OVKEY_ENTER:
        if (sDrawing.sFilter.sText.empty()) {
            RemoveFilter(sDrawing);
        } else if (sWindow.nItems == 0) {
            Bell();   // nothing to go to: the line stays open to be mended
        } else {
            sDrawing.bTyping = false;
            MenuWindowGoTo(sWindow, 0);
            RedrawList(sDrawing);
        }
        return true;
    case OVKEY_BACKSPACE:
    case KEY_DEL:
    case KEY_CTRL_H:
        if (sDrawing.sFilter.sText.empty()) {
            RemoveFilter(sDrawing);
            return true;
        }
        break;
    case OVKEY_TAB:
    case OVKEY_BTAB:
    case OVKEY_UP:
    case OVKEY_DOWN:
    case OVKEY_NPAGE:
    case OVKEY_PPAGE:
    case OVKEY_MOUSE:
        sDrawing.bTyping = false;
        RedrawList(sDrawing);
        return false;
    default:
        break;
    }
    const bool bPrintable = (nKey >= ' ' && nKey < KEY_DEL) || (nKey >= 0x80 && nKey <= 0xFF);
    const bool bEditing = nKey == OVKEY_BACKSPACE || nKey == KEY_DEL || nKey == KEY_CTRL_H ||
                          nKey == OVKEY_DELETE || nKey == OVKEY_LEFT || nKey == OVKEY_RIGHT ||
                          nKey == OVKEY_HOME || nKey == OVKEY_END;
    if (!bPrintable && !bEditing)
        return false;   // Ctrl-d, Ctrl-u and a new size keep their meaning
    if (OVEditLine(&sDrawing.sFilter, nKey)) {
        ApplyFilter(sDrawing);
        sWindow.nCurrent = 0;
        sWindow.nTop = 0;
        RedrawList(sDrawing);
    } else {
        PlaceCursor(sDrawing);   // the cursor moved within the line, or waits for a byte
    }
    return true;
}

// A letter moves to the next item whose title starts with it, in any case, going round from
// the last item to the first. 1 when the cursor moved, 0 while the bytes of a character are
// still arriving, -1 when no item starts with it.
int JumpToLetter(MENUDRAWING &sDrawing, int nKey)
{
    OVLINEEDIT &sLetter = sDrawing.sLetter;
    sLetter.sText.clear();
    sLetter.nCursor = 0;
    if (!OVEditLine(&sLetter, nKey))
        return sLetter.sPending.empty() ? -1 : 0;
    const std::string sFolded = OVFoldCase(sLetter.sText);
    MENUWINDOW &sWindow = sDrawing.sWindow;
    const int nStart = sWindow.nCurrent < sWindow.nItems ? sWindow.nCurrent + 1 : 0;
    for (int i = 0; i < sWindow.nItems; i++) {
        const int nItem = (nStart + i) % sWindow.nItems;
        if (OVFoldCase(sDrawing.apsItems[nItem]->szName).rfind(sFolded, 0) == 0) {
            MenuWindowGoTo(sWindow, nItem);
            return 1;
        }
    }
    return -1;
}

int RunInputLoop(MENUDRAWING &sDrawing)
{
    MENUWINDOW &sWindow = sDrawing.sWindow;
    for (;;) {
        CHARINPUT sCharInput {};
        int nRc = GetKBM(&sCharInput);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR, "orvik Process_Menu: DoProcessing failed, nRc: %d.", nRc);
            return nRc;
        }
        if (sDrawing.bTyping && TypeFilter(sDrawing, sCharInput.nChar))
            continue;
        const int nOldCurrent = sWindow.nCurrent;
        const int nOldTop = sWindow.nTop;
        switch (sCharInput.nChar) {
        case OVKEY_MOUSE: {
            int nFound = FindClickedEntry(sDrawing, sCharInput);
            if (nFound == -2) {
                ShowMove(sDrawing, nOldCurrent, nOldTop);
                continue;
            }
            if (nFound < 0) {
                OVLog(OVLOG_DEBUG,
                      "Orvik Process_Menu: Mouse Event. Did not find Selection.  "
                      "sCharInput.nRow: %d, sCharInput.nColumn: %d.",
                      sCharInput.nRow, sCharInput.nColumn);
                continue;
            }
            sWindow.nCurrent = nFound;
            ShowMove(sDrawing, nOldCurrent, nOldTop);
            return ActOnEntry(sDrawing, EntryItem(sDrawing, nFound));
        }
        case OVKEY_ENTER:
            return ActOnEntry(sDrawing, EntryItem(sDrawing, sWindow.nCurrent));
        case OVKEY_ESCAPE:
            // A kept filter goes first; then back one menu, as Return does.
            if (!sDrawing.sFilter.sText.empty()) {
                sDrawing.psBeforeFilter = EntryItem(sDrawing, sWindow.nCurrent);
                RemoveFilter(sDrawing);
            } else if (nMenuLevel > 1) {
                return ActOnEntry(sDrawing, &sDrawing.sFirstBottom);
            } else {
                Bell();
            }
            continue;
        case '/':
            OpenFilter(sDrawing);
            continue;
        case KEY_CTRL_D:
            ToggleSwitch(bDebug, "ORVIKDEBUG");
            continue;
        case KEY_CTRL_U:
            ToggleSwitch(bDump, "ORVIKDUMP");
            continue;
        case OVKEY_RESIZE:
            // Everything depends on the size: lay out and draw again, on the same entry.
            LayOut(sDrawing);
            DrawMenu(sDrawing);
            continue;
        default: {
            const int nChar = sCharInput.nChar;
            int nMoved = MenuWindowMove(sWindow, nChar) ? 1 : -1;
            if (nMoved < 0 && ((nChar > ' ' && nChar < KEY_DEL) || (nChar >= 0x80 && nChar <= 0xFF)))
                nMoved = JumpToLetter(sDrawing, nChar);
            if (nMoved < 0)
                Bell();
            else if (nMoved > 0)
                ShowMove(sDrawing, nOldCurrent, nOldTop);
        }
        }
    }
}

} // namespace

int GatherMenuItems(MENUITEM **apsItems, int nMaxItems)
{
    int nItems = 0;
    for (MENUITEM *psItem = psMenuItem_First; psItem != nullptr && nItems < nMaxItems;
         psItem = psItem->psMenuItemNext) {
        if (psItem->nLevel != nMenuLevel)
            continue;
        if (nMenuLevel > 1 && std::strcmp(psItem->szSavedSubMenu, szSavedSubMenu) != 0)
            continue;
        if (psConnectedSystem != nullptr && std::strcmp(psItem->szAction, "htop") == 0)
            continue;
        apsItems[nItems++] = psItem;
    }
    return nItems;
}

int Process_Menu()
{
    OVTraceStart("Process_Menu", "nMenuLevel: %d, szSavedSubMenu: %s.", nMenuLevel,
                 szSavedSubMenu);
    RefreshTerminalSize();
    int nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK) {
        /* The loader has logged why. */
        OVShowBox(nullptr, OVLOG_ERROR, OVConfigurationFailure());
        return OVTraceEnd("Process_Menu", nRc);
    }
    std::time_t nNow = std::time(nullptr);
    struct tm sNow {};
    localtime_r(&nNow, &sNow);

    auto psDrawing = std::make_unique<MENUDRAWING>();
    auto apsGathered = std::make_unique<MENUITEM *[]>(MENUMAXITEMS);
    const int nGathered = GatherMenuItems(apsGathered.get(), MENUMAXITEMS);
    if (nGathered == 0) {
        if (nMenuLevel <= 1) {
            // Falling below the main menu would loop for ever drawing nothing.
            OVLog(OVLOG_ERROR, "orvik Process_Menu: No Menu Items to show in the Main Menu.");
            return OVTraceEnd("Process_Menu", OVRC_ERROR);
        }
        LeaveSubMenu();
        return OVTraceEnd("Process_Menu", OVRC_OK);
    }

    ListItems(*psDrawing, apsGathered.get(), nGathered);
    PlaceBottomEntries(*psDrawing);
    RestorePlace(*psDrawing);
    psDrawing->sNow = sNow;
    LayOut(*psDrawing);
    DrawMenu(*psDrawing);
    return OVTraceEnd("Process_Menu", RunInputLoop(*psDrawing));
}
