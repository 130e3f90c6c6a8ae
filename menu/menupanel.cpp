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

namespace {

constexpr int BOTTOMENTRIES = 4;   /* Exit/Return, Help, Disconnect, Exit */
constexpr int MENUNAMEWIDTH = 30;
constexpr int KEY_CTRL_D = 4;
constexpr int KEY_CTRL_U = 21;

// Everything one drawing builds; discarded when Process_Menu returns.
struct MENUDRAWING {
    MENUITEM *apsItems[MENUMAXITEMS];
    int nItems = 0;
    MENUTAB asEntries[MENUMAXENTRIES];
    int nEntries = 0;
    int nCurrent = 0;
    int nUnselectable = 0;           /* items drawn without an entry: the table was full */
    MENUITEM *psHelpItem = nullptr;
    MENUITEM sFirstBottom {};        /* "Exit " at level 1, "Return " deeper */
    MENUITEM sHelpMissing {};        /* the Help entry of a level without a help item */
    MENUITEM sDisconnect {};
    MENUITEM sExtraExit {};
};

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

void WriteCentred(int nRow, int nWidth, const std::string &sText)
{
    WriteAt(nRow, (nWidth - static_cast<int>(sText.size())) / 2, sText.c_str());
}

void SetGroupColours(unsigned long ulGroup)
{
    OVSetColor(asOVDisplayAttributes[ulGroup].nForegroundColor,
               asOVDisplayAttributes[ulGroup].nBackgroundColor);
}

// The bottom-line entries always find room: items stop taking entries BOTTOMENTRIES early.
bool AddEntry(MENUDRAWING &sDrawing, int nRow, int nColumn, int nLength, MENUITEM *psItem,
              bool bBottomLine)
{
    int nRoom = bBottomLine ? MENUMAXENTRIES : MENUMAXENTRIES - BOTTOMENTRIES;
    if (sDrawing.nEntries >= nRoom) {
        sDrawing.nUnselectable++;
        return false;
    }
    MENUTAB &sEntry = sDrawing.asEntries[sDrawing.nEntries++];
    std::memcpy(sEntry.szEyeCatcher, "TITEMBLK", 8);
    sEntry.nRow = nRow;
    sEntry.nColumn = nColumn;
    sEntry.nLength = nLength;
    sEntry.psMenuItem = psItem;
    return true;
}

// Writes the bottom entry at nColumn and returns the column of the next one.
int AddBottomEntry(MENUDRAWING &sDrawing, int nRow, int nColumn, MENUITEM *psItem,
                   const char *pszText)
{
    int nLength = static_cast<int>(std::strlen(pszText));
    WriteAt(nRow, nColumn, pszText);
    AddEntry(sDrawing, nRow, nColumn, nLength, psItem, true);
    return nColumn + nLength + 1;
}

void DrawMenu(MENUDRAWING &sDrawing, const struct tm &sNow)
{
    RefreshTerminalSize();
    const int nRows = psPabOrvik->nRows;
    const int nColumns = psPabOrvik->nColumns;
    InitializeCurses();
    SetGroupColours(OVDG_PANEL);

    WriteCentred(1, nColumns, "Orvik Terminal Manager");
    std::string sTitleVersion = nMenuLevel == 1 ? "Network Version" : szSavedSubMenu;
    if (psConnectedSystem != nullptr)
        sTitleVersion += std::string(": ") + psConnectedSystem->szIP;
    WriteCentred(2, nColumns, sTitleVersion);

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

    const int nMenuColumn = std::max(1, (nColumns - MENUNAMEWIDTH) / 2);
    const std::string sBlankLine(nColumns > 2 ? nColumns - 2 : 0, ' ');
    WriteAt(nRows - 2, 1, sBlankLine.c_str());
    WriteAt(nRows - 4, 1, sBlankLine.c_str());

    OVSetAttribute(asOVDisplayAttributes[OVDG_MENUITEM].nAttribute);
    SetGroupColours(OVDG_MENUITEM);
    int nRow = 4;
    for (int i = 0; i < sDrawing.nItems; i++) {
        MENUITEM *psItem = sDrawing.apsItems[i];
        // The first item is always listed; a later "help" item is reached from the bottom line.
        if (i > 0 && strcasecmp(psItem->szName, "help") == 0) {
            sDrawing.psHelpItem = psItem;
            continue;
        }
        std::string sName = psItem->szName;
        if (sName.size() < MENUNAMEWIDTH)
            sName.resize(MENUNAMEWIDTH, ' ');
        WriteAt(nRow, nMenuColumn, sName.c_str());
        AddEntry(sDrawing, nRow, nMenuColumn, MENUNAMEWIDTH, psItem, false);
        nRow++;
    }
    if (sDrawing.nUnselectable > 0)
        OVLog(OVLOG_DEBUG,
              "orvik Process_Menu: Entry table full, %d items are shown but cannot be chosen.",
              sDrawing.nUnselectable);

    SetGroupColours(OVDG_BUTTON);
    NameBuiltin(sDrawing.sFirstBottom, nMenuLevel == 1 ? "Exit " : "Return ");
    NameBuiltin(sDrawing.sHelpMissing, "Help ");
    NameBuiltin(sDrawing.sDisconnect, "Disconnect ");
    NameBuiltin(sDrawing.sExtraExit, "Exit ");
    int nColumn = AddBottomEntry(sDrawing, nRows - 2, nMenuColumn, &sDrawing.sFirstBottom,
                                 sDrawing.sFirstBottom.szName);
    MENUITEM *psHelp = sDrawing.psHelpItem != nullptr ? sDrawing.psHelpItem : &sDrawing.sHelpMissing;
    nColumn = AddBottomEntry(sDrawing, nRows - 2, nColumn, psHelp, "Help ");
    if (psConnectedSystem != nullptr)
        nColumn = AddBottomEntry(sDrawing, nRows - 2, nColumn, &sDrawing.sDisconnect,
                                 "Disconnect ");
    if (nMenuLevel > 1)
        AddBottomEntry(sDrawing, nRows - 2, nColumn, &sDrawing.sExtraExit, "Exit ");

    OVSetColor(COLOR_GREEN, asOVDisplayAttributes[OVDG_PANEL].nBackgroundColor);
    WriteCentred(nRows - 4, nColumns, "Click selection or Tab and press Enter.");
    SetPosition(sDrawing.asEntries[0].nRow, sDrawing.asEntries[0].nColumn);
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

int ActOnEntry(MENUDRAWING &sDrawing, const MENUTAB &sEntry)
{
    MENUITEM *psItem = sEntry.psMenuItem;
    int nRc = OVRC_OK;
    if (psItem == &sDrawing.sHelpMissing) {
        CreateHelpBoxi(psPabOrvik, "No Help is available", 0, 0, 80);
    } else if (strcasecmp(psItem->szName, "Exit ") == 0) {
        nRc = OVRC_EXIT;
    } else if (strcasecmp(psItem->szName, "Return ") == 0) {
        nMenuLevel--;
        nRc = nMenuLevel < 1 ? OVRC_EXIT : OVRC_OK;
    } else if (strcasecmp(psItem->szName, "Disconnect ") == 0) {
        if (psConnectedSystem != nullptr) OVEndConnection(psConnectedSystem);
        psConnectedSystem = nullptr;
        SaveConfigurationValues();
    } else if (strcasecmp(psItem->szAction, "SubMenu") == 0) {
        OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, psItem->szName);
        nMenuLevel++;
    } else {
        nRc = Process_Selection(psItem);
    }
    EndCurses();
    return nRc;
}

int FindClickedEntry(const MENUDRAWING &sDrawing, const CHARINPUT &sCharInput)
{
    for (int i = 0; i < sDrawing.nEntries; i++) {
        const MENUTAB &sEntry = sDrawing.asEntries[i];
        if (sCharInput.nRow == sEntry.nRow && sCharInput.nColumn >= sEntry.nColumn &&
            sCharInput.nColumn <= sEntry.nColumn + sEntry.nLength - 1)
            return i;
    }
    return -1;
}

int RunInputLoop(MENUDRAWING &sDrawing)
{
    for (;;) {
        CHARINPUT sCharInput {};
        int nRc = GetKBM(&sCharInput);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR, "orvik Process_Menu: DoProcessing failed, nRc: %d.", nRc);
            return nRc;
        }
        const int nLast = sDrawing.nEntries - 1;
        switch (sCharInput.nChar) {
        case OVKEY_MOUSE: {
            int nFound = FindClickedEntry(sDrawing, sCharInput);
            if (nFound < 0) {
                OVLog(OVLOG_DEBUG,
                      "Orvik Process_Menu: Mouse Event. Did not find Selection.  "
                      "sCharInput.nRow: %d, sCharInput.nColumn: %d.",
                      sCharInput.nRow, sCharInput.nColumn);
                continue;
            }
            sDrawing.nCurrent = nFound;
            SetPosition(sDrawing.asEntries[nFound].nRow, sDrawing.asEntries[nFound].nColumn);
            return ActOnEntry(sDrawing, sDrawing.asEntries[nFound]);
        }
        case OVKEY_TAB:
        case OVKEY_DOWN:
        case OVKEY_RIGHT:
            sDrawing.nCurrent = sDrawing.nCurrent >= nLast ? 0 : sDrawing.nCurrent + 1;
            break;
        case OVKEY_BTAB:
        case OVKEY_UP:
        case OVKEY_LEFT:
            sDrawing.nCurrent = sDrawing.nCurrent <= 0 ? nLast : sDrawing.nCurrent - 1;
            break;
        case OVKEY_ENTER:
            return ActOnEntry(sDrawing, sDrawing.asEntries[sDrawing.nCurrent]);
        case KEY_CTRL_D:
            ToggleSwitch(bDebug, "ORVIKDEBUG");
            continue;
        case KEY_CTRL_U:
            ToggleSwitch(bDump, "ORVIKDUMP");
            continue;
        case KEY_RESIZE:
            // The layout depends on the size: draw again at the new one.
            EndCurses();
            return OVRC_OK;
        default:
            (void)!write(STDOUT_FILENO, "\a", 1);
            continue;
        }
        SetPosition(sDrawing.asEntries[sDrawing.nCurrent].nRow,
                    sDrawing.asEntries[sDrawing.nCurrent].nColumn);
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
        OVLog(OVLOG_ERROR, "orvik Process_Menu: LoadConfigurationValues failed, nRc: %d.", nRc);
        OVShowFailure(OVConfigurationFailure().c_str(), false);
        return OVTraceEnd("Process_Menu", nRc);
    }
    std::time_t nNow = std::time(nullptr);
    struct tm sNow {};
    localtime_r(&nNow, &sNow);

    auto psDrawing = std::make_unique<MENUDRAWING>();
    psDrawing->nItems = GatherMenuItems(psDrawing->apsItems, MENUMAXITEMS);
    if (psDrawing->nItems == 0) {
        if (nMenuLevel <= 1) {
            // Falling below the main menu would loop for ever drawing nothing.
            OVLog(OVLOG_ERROR, "orvik Process_Menu: No Menu Items to show in the Main Menu.");
            return OVTraceEnd("Process_Menu", OVRC_ERROR);
        }
        nMenuLevel--;
        return OVTraceEnd("Process_Menu", OVRC_OK);
    }

    DrawMenu(*psDrawing, sNow);
    return OVTraceEnd("Process_Menu", RunInputLoop(*psDrawing));
}
