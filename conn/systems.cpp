/*
 * systems.cpp - the list of remote systems and the request loop.
 *
 * Each system takes two rows: a selectable line with its name, address, port and user, and
 * below it the three stamps and whether it is the connected system. Enter (or a click) on a
 * line selects that system; the buttons of the first action bar act on the selected one.
 * Every pass builds the panel, takes one response, acts on it and deletes the panel, so the
 * list always shows the table as config.ini holds it.
 *
 * Space, or a click in the mark column (the two cells before the name), marks a system; "a"
 * marks every system shown, or none. With systems marked, Ping, Trust and Run act on all of
 * them at once (many.cpp); with none, on the selected one.
 *
 * "/" opens a filter line on the status row: each character typed narrows the list to the
 * systems whose name or address holds the text. "s" steps the order through as entered, by
 * name and by last ping. Both stay while the program runs; the list is built from them anew
 * in every pass, since config.ini may have changed in between.
 */
#include "orvikconn.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

PAB *psPab = nullptr;

namespace {

const char szTitleText[] = "Orvik Connections";
const char szKeyHint[] = "Space/a mark  / filter  s sort";
constexpr int nFirstSystemRow = 6;
constexpr int nLineLength = nListLineLength;
/* Columns of the stamps and the status, from the margin (those of the first row are in
   orvikconn.h, beside the line that fills them). */
constexpr int aStampColumn[4] = {5, 23, 41, 59};
constexpr unsigned long ulSystemButtons =
    OVAB_NEW | OVAB_PING | OVAB_TRUST | OVAB_CONNECT | OVAB_DISCONNECT | OVAB_RUN | OVAB_EDIT |
    OVAB_DELETE;

int nSelected = -1;         /* the system the buttons act on (its index in the table) */
int nFirstShown = 0;        /* the first place of the page in anShown */
char szCursor[40] = "";     /* the field that gets the cursor when the list is rebuilt */

/* What the list shows of the table, kept from pass to pass. */
struct LISTVIEW {
    OVLINEEDIT sFilter;            /* "" shows every system */
    bool bTyping = false;          /* the filter line takes the keys */
    LISTORDER eOrder = LO_ENTERED;
    bool bReveal = false;          /* SelectSystem asked for the page of nSelected */
    bool bUnhide = false;          /* and for the filter to go if it hides that system */
};
LISTVIEW sView;
std::vector<int> anShown;   /* the table indexes of the systems listed, in their order */

/* A line of a system starts with the selection mark, so its value never begins with the
   word of a button ("Help ", "Return ", "Exit ") that the response loop acts on by value. */
void SystemFieldName(char (&szName)[40], int nIndex)
{
    std::snprintf(szName, sizeof szName, "SYS%d", nIndex);
}

int SystemsPerPage()
{
    const int nRows = psPab->nRows - 4 - nFirstSystemRow + 1;
    return nRows >= 2 ? nRows / 2 : 1;
}

int ShownCount()
{
    return static_cast<int>(anShown.size());
}

/* The place of a system in the list, -1 when the filter hides it. */
int ShownPlace(int nIndex)
{
    auto it = std::find(anShown.begin(), anShown.end(), nIndex);
    return it == anShown.end() ? -1 : static_cast<int>(it - anShown.begin());
}

void ListShown()
{
    anShown = ShownSystems(OVFoldCase(sView.sFilter.sText), sView.eOrder);
}

/* The page of a place in the list. */
int PageStart(int nPlace)
{
    return nPlace - nPlace % SystemsPerPage();
}

int CreateSystemRows(int nMargin)
{
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    const int nLast = std::min(ShownCount(), nFirstShown + SystemsPerPage());
    const int nConnected = ConnectedIndex();
    int nRc = OVRC_OK;
    if (anShown.empty() && nRemoteSystems > 0) {
        nRc = CreatePanelText(nFirstSystemRow, nMargin + nNameColumn, 0, "NoMatch",
                              "No entry matches " + sView.sFilter.sText, 0);
    }
    for (int nPlace = nFirstShown; nRc == OVRC_OK && nPlace < nLast; ++nPlace) {
        const int i = anShown[static_cast<std::size_t>(nPlace)];
        const int nRow = nFirstSystemRow + 2 * (nPlace - nFirstShown);
        char szName[40];
        SystemFieldName(szName, i);
        /* The selected line in reverse, the others in the Field group's own attribute. The
           mark shows beside the selection mark, before the name. */
        std::string sLine = SystemListLine(asRemoteSystem[i], i == nSelected);
        if (IsMarked(i)) sLine[1] = '*';
        nRc = OVCreateField(psPab, nRow, nMargin + 1,
                            std::max(nLineLength, OVDisplayWidth(sLine)), szName,
                            sLine.c_str(), OVSTYLE_TAB, i == nSelected ? 7 : sField.nAttribute,
                            sField.nBackgroundColor, sField.nForegroundColor);
        const REMOTESYSTEM &sSystem = asRemoteSystem[i];
        const char *apszStamp[4] = {sSystem.szLastPing, sSystem.szLastTrust,
                                    sSystem.szLastConnect, ""};
        const std::string sState = i == nConnected ? "Connected" : PingStateOf(i);
        apszStamp[3] = sState.c_str();
        for (int j = 0; nRc == OVRC_OK && j < 4; ++j) {
            nRc = CreatePanelText(nRow + 1, nMargin + aStampColumn[j], 16, "Stamp",
                                  apszStamp[j][0] != '\0' ? apszStamp[j] : "-", 0);
        }
    }
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikconn Present_Panel: Unable to Create System Line, rc: %d.", nRc);
    }
    return nRc;
}

/* The mark column: a field over the first two cells of each line, so that a click there
   marks instead of selecting. The fields are made last and moved to the front of the tab
   chain, where a click finds them before the line under them; Tab and the arrows still go
   from line to line and on to the buttons (only Shift-Tab from the first line, or Tab from
   the last button, passes through the mark fields). */
int CreateMarkFields(int nMargin)
{
    FIELDTAB *psBefore = psPab->psFieldTabLast;
    const int nLast = std::min(ShownCount(), nFirstShown + SystemsPerPage());
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    int nRc = OVRC_OK;
    for (int nPlace = nFirstShown; nRc == OVRC_OK && nPlace < nLast; ++nPlace) {
        const int i = anShown[static_cast<std::size_t>(nPlace)];
        char szName[40];
        std::snprintf(szName, sizeof szName, "MARK%d", i);
        const char szMark[3] = {i == nSelected ? '>' : ' ', IsMarked(i) ? '*' : ' ', '\0'};
        nRc = OVCreateField(psPab, nFirstSystemRow + 2 * (nPlace - nFirstShown), nMargin + 1, 2,
                            szName, szMark, OVSTYLE_TAB, i == nSelected ? 7 : sField.nAttribute,
                            sField.nBackgroundColor, sField.nForegroundColor);
    }
    if (nRc != OVRC_OK || psBefore == nullptr || psBefore->psFieldTabNext == nullptr) return nRc;
    FIELDTAB *psMarkFirst = psBefore->psFieldTabNext;
    FIELDTAB *psMarkLast = psPab->psFieldTabLast;
    psBefore->psFieldTabNext = nullptr;
    psPab->psFieldTabLast = psBefore;
    psMarkLast->psFieldTabNext = psPab->psFieldTabFirst;
    psPab->psFieldTabFirst->psFieldTabPrev = psMarkLast;
    psMarkFirst->psFieldTabPrev = nullptr;
    psPab->psFieldTabFirst = psMarkFirst;
    return nRc;
}

struct HEADING {
    int nRow;
    int nColumn;
    const char *pszText;
};
constexpr HEADING asHeading[] = {
    {3, nNameColumn, "Name"},         {3, nAddressColumn, "Address"},
    {3, nPortColumn, "Port"},         {3, nUserColumn, "User"},
    {4, aStampColumn[0], "Last ping"}, {4, aStampColumn[1], "Last trust"},
    {4, aStampColumn[2], "Last connect"}, {4, aStampColumn[3], "Status"},
    {5, 1, "---------------------------------------------------------------------------"}};

/* The title names the order and the filter: "Orvik Connections, by name  [web]". */
std::string TitleText()
{
    std::string sTitle = std::string(szTitleText) + OrderWords(sView.eOrder);
    if (!sView.sFilter.sText.empty()) sTitle += "  [" + sView.sFilter.sText + "]";
    return OVFitColumns(sTitle, std::max(psPab->nColumns - 2, 1));
}

/* The filter line, the cursor shown as "_" where the next character goes. */
std::string FilterLine()
{
    const std::string &sText = sView.sFilter.sText;
    const std::size_t nCursor = std::min(sView.sFilter.nCursor, sText.size());
    return OVFitColumns("Filter: " + sText.substr(0, nCursor) + "_" + sText.substr(nCursor) +
                            "   Enter keeps it, Escape removes it",
                        nLineLength);
}

std::string StatusText()
{
    if (sView.bTyping) return FilterLine();
    const int nConnected = ConnectedIndex();
    std::string sText;
    if (nRemoteSystems == 0) {
        sText = "No remote systems yet: New enters one.";
    } else if (anShown.empty()) {
        sText = "Systems: none of " + std::to_string(nRemoteSystems) + ".";
    } else {
        const int nLast = std::min(ShownCount(), nFirstShown + SystemsPerPage());
        sText = "Systems " + std::to_string(nFirstShown + 1) + "-" + std::to_string(nLast) +
                " of " + std::to_string(ShownCount()) + ".";
        if (ShownCount() < nRemoteSystems)
            sText.insert(sText.size() - 1, " (" + std::to_string(nRemoteSystems) + " in all)");
    }
    if (const std::size_t nMarked = MarkedSystems().size(); nMarked > 0)
        sText += " " + std::to_string(nMarked) + " of " + std::to_string(nRemoteSystems) +
                 " marked.";
    sText += "  Connected: ";
    sText += nConnected >= 0 ? asRemoteSystem[nConnected].szSystemName : "none";
    /* The keys of the list at the row's end, where the status leaves room for them. */
    const int nHint = static_cast<int>(sizeof szKeyHint) - 1;
    const int nWidth = OVDisplayWidth(sText);
    if (nWidth + 3 + nHint <= nLineLength - 3)
        sText += std::string(static_cast<std::size_t>(nLineLength - 3 - nWidth - nHint), ' ') +
                 szKeyHint;
    return sText;
}

bool IsShownField(const char *pszName)
{
    int nIndex = -1;
    if (std::sscanf(pszName, "SYS%d", &nIndex) == 1 ||
        std::sscanf(pszName, "MARK%d", &nIndex) == 1) {
        const int nPlace = ShownPlace(nIndex);
        return nPlace >= nFirstShown && nPlace < nFirstShown + SystemsPerPage();
    }
    if (std::strcmp(pszName, "Forward ") == 0)
        return nFirstShown + SystemsPerPage() < ShownCount();
    if (std::strcmp(pszName, "Backward ") == 0) return nFirstShown > 0;
    return pszName[0] != '\0';
}

/* The cursor goes back where the user was: the chosen line or button. */
int PlaceCursor()
{
    if (nRemoteSystems == 0) {
        OVCopyText(szCursor, sizeof szCursor, "New ");
    } else if (!IsShownField(szCursor)) {
        const int nPlace = ShownPlace(nSelected);
        if (nPlace >= nFirstShown && nPlace < nFirstShown + SystemsPerPage()) {
            SystemFieldName(szCursor, nSelected);
        } else {
            OVCopyText(szCursor, sizeof szCursor, "Return ");
        }
    }
    return OVSetCursor(psPab, szCursor);
}

int Present_Panel()
{
    OVTraceStart("orvikconn Present_Panel", "psPab: %p.", static_cast<void *>(psPab));
    const int nMargin = OVLayoutMargin(psPab);
    const std::string sTitle = TitleText();
    const int nTitleLength = OVDisplayWidth(sTitle);
    int nRc = CreatePanelText(1, OVCentredColumn(psPab, nTitleLength), nTitleLength, "Title",
                              sTitle, 0);
    for (const HEADING &sHeading : asHeading) {
        if (nRc != OVRC_OK) break;
        nRc = CreatePanelText(sHeading.nRow, nMargin + sHeading.nColumn,
                              static_cast<int>(std::strlen(sHeading.pszText)), "Heading",
                              sHeading.pszText, 0);
    }
    if (nRc == OVRC_OK) nRc = CreateSystemRows(nMargin);
    if (nRc == OVRC_OK) {
        nRc = CreatePanelText(psPab->nRows - 3, nMargin + 3, nLineLength, "Status",
                              StatusText(), 0);
    }
    int nResponse = 0;
    if (nRc == OVRC_OK) {
        nRc = OVCreateActionBar(psPab, psPab->nRows - 2, nMargin + 3, psPab->nColumns - 4,
                                ulSystemButtons, &nResponse);
    }
    if (nRc == OVRC_OK) {
        unsigned long ulPaging = 0;
        if (nFirstShown + SystemsPerPage() < ShownCount()) ulPaging |= OVAB_FORWARD;
        if (nFirstShown > 0) ulPaging |= OVAB_BACKWARD;
        nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 3, psPab->nColumns - 4,
                                ulPaging | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse);
    }
    if (nRc == OVRC_OK) nRc = CreateMarkFields(nMargin);
    if (nRc == OVRC_OK) nRc = PlaceCursor();
    /* Typing a filter takes the printable keys; otherwise only "/", "s", Space and "a" are
       used of them, and never while the cursor is in a field that takes text (this panel has
       none). Escape removes a kept filter before it leaves. */
    psPab->ulKeys = OVKEYS_PAGING | (sView.bTyping ? OVKEYS_TEXT : OVKEYS_LETTERS) |
                    (!sView.bTyping && !sView.sFilter.sText.empty() ? OVKEYS_ESCAPE : 0);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikconn Present_Panel: Unable to Create Panel Fields, rc: %d.", nRc);
    }
    return OVTraceEnd("orvikconn Present_Panel", nRc);
}

/* A new page shows from place nFirst and selects its first system, so that the buttons
   never act on one unseen. False when there is no such page. */
bool TurnPage(int nFirst)
{
    nFirst = std::max(nFirst, 0);
    if (nFirst >= ShownCount() || nFirst == nFirstShown) return false;
    nFirstShown = nFirst;
    nSelected = anShown[static_cast<std::size_t>(nFirst)];
    return true;
}

/* PgDn, PgUp, Home and End; false when the page stays. */
bool PageKey(int nKey)
{
    const int nPerPage = SystemsPerPage();
    switch (nKey) {
    case OVKEY_NPAGE:
        return TurnPage(nFirstShown + nPerPage);
    case OVKEY_PPAGE:
        return TurnPage(nFirstShown - nPerPage);
    case OVKEY_HOME:
        return TurnPage(0);
    case OVKEY_END:
        return TurnPage(ShownCount() > 0 ? PageStart(ShownCount() - 1) : 0);
    default:
        return false;
    }
}

/* The filter changed: the list starts again on its first match, selected. */
void FilterChanged()
{
    ListShown();
    nFirstShown = 0;
    nSelected = anShown.empty() ? -1 : anShown.front();
}

/* A key of the filter line. Enter keeps the filter, the cursor on the first match (with no
   match the line stays open); Escape, or Backspace on an empty line, removes it. */
bool FilterKey(int nKey)
{
    OVLINEEDIT &sFilter = sView.sFilter;
    const bool bBackspace = nKey == OVKEY_BACKSPACE || nKey == 127 || nKey == 8;
    if (nKey == OVKEY_ENTER) {
        if (anShown.empty()) return false;
        sView.bTyping = false;
        FilterChanged();
        SystemFieldName(szCursor, nSelected);
    } else if (nKey == OVKEY_ESCAPE || (bBackspace && sFilter.sText.empty())) {
        sView.bTyping = false;
        sFilter = OVLINEEDIT{};
        ListShown();
        /* The selected system stays selected, on its page of the whole list. */
        const int nPlace = ShownPlace(nSelected);
        nFirstShown = nPlace >= 0 ? PageStart(nPlace) : 0;
    } else if (OVEditLine(&sFilter, nKey)) {
        FilterChanged();
    }
    /* The line is drawn again after every key: a move of its cursor shows too. */
    return true;
}

/* A key the panel asked for (ulKeys); true when the list is to be built again. */
bool TakeKey(int nKey)
{
    if (PageKey(nKey)) return true;
    /* Escape removes a kept filter before it leaves the list, as on the filter line. */
    if (sView.bTyping || nKey == OVKEY_ESCAPE) return FilterKey(nKey);
    if (nKey == '/') {
        sView.bTyping = true;
        sView.sFilter.nCursor = sView.sFilter.sText.size();
        return true;
    }
    if (nKey == 's') {
        sView.eOrder = static_cast<LISTORDER>((sView.eOrder + 1) % LO_COUNT);
        ListShown();
        const int nPlace = ShownPlace(nSelected);
        nFirstShown = nPlace >= 0 ? PageStart(nPlace) : 0;
        return true;
    }
    if (nKey == ' ') {
        /* The line under the cursor, else the selected one. */
        int nIndex = nSelected;
        const std::string sField = CurrentFieldName();
        if (std::sscanf(sField.c_str(), "SYS%d", &nIndex) != 1)
            std::sscanf(sField.c_str(), "MARK%d", &nIndex);
        ToggleMark(nIndex);
        return true;
    }
    if (nKey == 'a') {
        MarkAll(anShown);
        return true;
    }
    return false;  /* other letters are not this list's */
}

/* ssh's reason for a message box. A changed host key is said in ssh's own sentence; when the
   box has no room for all of it, its closing clause about strict checking is left out (the
   log keeps the whole sentence). */
std::string BoxReason(const std::string &sPrefix, const std::string &sReason)
{
    static const std::string sClause = " and you have requested strict checking";
    std::string sText = sPrefix + sReason;
    const std::size_t nRoom = psPab->nColumns > 12 ? psPab->nColumns - 10 : 1;
    std::string::size_type nClause = sText.find(sClause);
    if (sText.size() > nRoom && nClause != std::string::npos) sText.erase(nClause, sClause.size());
    return sText;
}

/* Runs the ping command; 0 when the system answered, else *psOutput holds what ssh wrote. */
int RunPing(const REMOTESYSTEM &sSystem, std::string *psOutput)
{
    static char szOutput[4096];
    szOutput[0] = '\0';
    std::string sCommand;
    if (PingCommand(sSystem, &sCommand, psOutput) != OVRC_OK) return OVRC_ERROR;
    OVLog(OVLOG_INFO, "orvikconn Ping: %s", sCommand.c_str());
    int nRc = ExecuteCommand(sCommand.c_str(), szOutput, sizeof szOutput);
    *psOutput = szOutput;
    return nRc;
}

void Ping(REMOTESYSTEM &sSystem)
{
    std::string sOutput;
    int nRc = RunPing(sSystem, &sOutput);
    NotePingState(static_cast<int>(&sSystem - asRemoteSystem),
                  nRc == OVRC_OK ? "answers" : nullptr);
    const std::string sName = sSystem.szSystemName;
    if (nRc == OVRC_OK) {
        SetStamp(sSystem.szLastPing);
        if (SaveTable() == OVRC_OK) {
            OVShowBox(psPab, OVLOG_INFO, sName + " answered at " + sSystem.szLastPing + ".");
        }
        return;
    }
    /* The reason alone, so that a long one still fits the box: the red frame and the
       selected line tell the rest. */
    const std::string sWhy = OVSshReason(sOutput);
    if (OVSshHostKeyChanged(sOutput)) {
        OVShowBox(psPab, OVLOG_ERROR, BoxReason("", sWhy));
        return;
    }
    OVShowBox(psPab, OVLOG_ERROR,
              "No answer: " + (sWhy.empty() ? "ssh failed without a message." : sWhy));
}

/* Scans the host keys and looks them up where ssh would; false after telling the user why
   there is nothing to confirm (no key came, the keys are trusted already, or the files
   cannot be read). */
bool PrepareTrust(const REMOTESYSTEM &sSystem, TRUSTOFFER *psOffer)
{
    static char szOutput[16384];
    szOutput[0] = '\0';
    std::string sResolve, sRefusal;
    if (ResolveCommand(sSystem, &sResolve, &sRefusal) != OVRC_OK) {
        OVShowBox(psPab, OVLOG_ERROR, sRefusal);
        return false;
    }
    /* Without an answer from ssh -G the address and port are scanned as they stand. */
    ExecuteCommand(sResolve.c_str(), szOutput, sizeof szOutput);
    psOffer->sTarget = ScanTarget(sSystem, szOutput);
    const SCANTARGET &sTarget = psOffer->sTarget;
    psOffer->sName = KnownHostName(sTarget);
    szOutput[0] = '\0';
    const std::string sCommand = KeyscanCommand(sTarget);
    OVLog(OVLOG_INFO, "orvikconn Trust: %s", sCommand.c_str());
    ExecuteCommand(sCommand.c_str(), szOutput, sizeof szOutput);
    psOffer->asOffered = KeyLines(szOutput, psOffer->sName);
    if (psOffer->asOffered.empty()) {
        Refuse("No host key came from " + sTarget.sHost + " port " +
                                     sTarget.sPort + ".");
        return false;
    }
    if (sTarget.asKnownHostsFiles.empty()) {
        Refuse("ssh reads no known-hosts file for " + psOffer->sName +
                                     " (UserKnownHostsFile none).");
        return false;
    }
    const std::string sWhy = FindKnownKeys(psOffer);
    if (!sWhy.empty()) {
        Refuse(sWhy);
        return false;
    }
    if (psOffer->sCheck.eState == TS_KNOWN) {
        OVShowBox(psPab, OVLOG_INFO, "Already trusted, in " + psOffer->asHolding.front() + ".");
        return false;
    }
    return true;
}

void Connect(int nIndex)
{
    REMOTESYSTEM &sSystem = asRemoteSystem[nIndex];
    int nShared = SharedAddress(nIndex);
    if (nShared >= 0) {
        Refuse(std::string(asRemoteSystem[nShared].szSystemName) +
                                     " has the same address; change one of them first.");
        return;
    }
    /* The shared connection starts here: a password is typed once, now, and every later
       command of every program rides on it. A system that cannot be reached is not
       connected. */
    std::string sReason;
    const int nStart = OVStartConnection(&sSystem, &sReason);
    if (nStart == OVRC_CANCELLED) {
        OVShowBox(psPab, OVLOG_INFO, "Cancelled.");
        return;
    }
    if (nStart != OVRC_OK) {
        OVShowBox(psPab, OVLOG_ERROR, BoxReason("Not connected: ", sReason.empty()
                                                                  ? "ssh could not start."
                                                                  : sReason));
        return;
    }
    psConnectedSystem = &sSystem;
    SetStamp(sSystem.szLastConnect);
    if (SaveTable() == OVRC_OK) {
        OVShowBox(psPab, OVLOG_INFO, std::string("Connected: commands now run on ") + sSystem.szUser +
                                    "@" + sSystem.szIP + " port " + sSystem.szPort + ".");
    }
}

void Disconnect()
{
    if (psConnectedSystem == nullptr) {
        OVShowBox(psPab, OVLOG_INFO, "No system is connected.");
        return;
    }
    OVEndConnection(psConnectedSystem);
    psConnectedSystem = nullptr;
    if (SaveTable() == OVRC_OK) {
        OVShowBox(psPab, OVLOG_INFO, "Disconnected: everything runs locally.");
    }
}

/* The screen that follows a response on the list. */
enum NEXTSCREEN { NS_LIST, NS_NEW, NS_CHANGE, NS_TRUST, NS_DELETE, NS_RUN, NS_TRUSTMANY };

/* Where a running Ping draws on the list. */
LISTPLACES ListPlaces()
{
    const int nMargin = OVLayoutMargin(psPab);
    LISTPLACES sPlaces{{}, nFirstSystemRow, nMargin + aStampColumn[0], nMargin + aStampColumn[3],
                       psPab->nRows - 3, nMargin + 3};
    const int nLast = std::min(ShownCount(), nFirstShown + SystemsPerPage());
    for (int nPlace = nFirstShown; nPlace < nLast; ++nPlace)
        sPlaces.anSystem.push_back(anShown[static_cast<std::size_t>(nPlace)]);
    return sPlaces;
}

/* Acts on one response of the list; a screen of its own comes after the list's panel. */
NEXTSCREEN Respond(const char *pszResponseID, TRUSTOFFER *psOffer, TRUSTBATCH *psBatch)
{
    int nIndex = -1;
    if (std::sscanf(pszResponseID, "MARK%d", &nIndex) == 1) {
        ToggleMark(nIndex);
        return NS_LIST;
    }
    /* With systems marked, Ping, Trust and Run act on all of them. */
    const std::vector<int> anMarked = MarkedSystems();
    if (!anMarked.empty() && std::strcmp(pszResponseID, "Ping ") == 0) {
        Ping_Many(anMarked, ListPlaces());
        return NS_LIST;
    }
    if (!anMarked.empty() && std::strcmp(pszResponseID, "Trust ") == 0)
        return Prepare_Trust_Many(anMarked, psBatch) == OVRC_OK ? NS_TRUSTMANY : NS_LIST;
    if (std::strcmp(pszResponseID, "Run ") == 0) return NS_RUN;
    if (std::sscanf(pszResponseID, "SYS%d", &nIndex) == 1) {
        if (nIndex >= 0 && nIndex < nRemoteSystems) nSelected = nIndex;
        return NS_LIST;
    }
    if (std::strcmp(pszResponseID, "Forward ") == 0) {
        TurnPage(nFirstShown + SystemsPerPage());
        return NS_LIST;
    }
    if (std::strcmp(pszResponseID, "Backward ") == 0) {
        TurnPage(nFirstShown - SystemsPerPage());
        return NS_LIST;
    }
    if (std::strcmp(pszResponseID, "New ") == 0) {
        if (nRemoteSystems < OVMAXREMOTESYSTEMS) return NS_NEW;
        Refuse("The list is full: remove a system first.");
        return NS_LIST;
    }
    if (std::strcmp(pszResponseID, "Disconnect ") == 0) {
        Disconnect();
        return NS_LIST;
    }
    if (nSelected < 0 || nSelected >= nRemoteSystems) {
        Refuse("No system is selected: New enters one.");
        return NS_LIST;
    }
    REMOTESYSTEM &sSystem = asRemoteSystem[nSelected];
    if (std::strcmp(pszResponseID, "Ping ") == 0) {
        Ping(sSystem);
    } else if (std::strcmp(pszResponseID, "Trust ") == 0) {
        if (PrepareTrust(sSystem, psOffer)) return NS_TRUST;
    } else if (std::strcmp(pszResponseID, "Connect ") == 0) {
        Connect(nSelected);
    } else if (std::strcmp(pszResponseID, "Edit ") == 0) {
        return NS_CHANGE;
    } else if (std::strcmp(pszResponseID, "Delete ") == 0) {
        return NS_DELETE;
    }
    return NS_LIST;
}

/* One pass of the list: 0 to show it again, 3 after Return, 9 after Exit, or a failure. */
int List_Systems()
{
    psPab = OVCreateGroupPanel("orvikconn Process_Request", nullptr, OVDG_PANEL);
    if (psPab == nullptr) {
        OVRestoreTerminal();
        return OVRC_ERROR;
    }
    /* The panel has loaded config.ini; one that did not load would refuse every change. */
    if (const std::string sWhy = OVConfigurationFailure(); !sWhy.empty()) {
        OVShowFailure(sWhy.c_str(), false);
        OVDeletePanel(psPab);
        psPab = nullptr;
        return OVEXIT_SHOWN;
    }
    ListShown();
    if (sView.bReveal) {
        sView.bReveal = false;
        if (sView.bUnhide && ShownPlace(nSelected) < 0 && !sView.sFilter.sText.empty()) {
            sView.sFilter = OVLINEEDIT{};
            sView.bTyping = false;
            ListShown();
        }
        if (const int nPlace = ShownPlace(nSelected); nPlace >= 0) nFirstShown = PageStart(nPlace);
    }
    if (nFirstShown >= ShownCount()) nFirstShown = 0;
    if (ShownPlace(nSelected) < 0) {
        const int nConnected = ConnectedIndex();
        nSelected = anShown.empty()                 ? -1
                    : ShownPlace(nConnected) >= 0 ? nConnected
                                                  : anShown[static_cast<std::size_t>(nFirstShown)];
    }

    int nRc = Present_Panel();
    char szResponseID[40] = "";
    int nResponse = 0;
    /* Keys that do not change the list are answered on the same panel. */
    for (bool bAgain = nRc == OVRC_OK; bAgain;) {
        nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        bAgain = false;
        if (nRc == OVRC_OK && szResponseID[0] == '\0' && nResponse == OVRESPONSE_KEY) {
            /* The cursor stays on its field, unless the key puts it elsewhere. */
            OVCopyText(szCursor, sizeof szCursor, CurrentFieldName().c_str());
            bAgain = !TakeKey(psPab->nKey);
        }
    }
    NEXTSCREEN eNext = NS_LIST;
    TRUSTOFFER sOffer;
    TRUSTBATCH sBatch;
    const int nActedOn = nSelected;
    if (nRc == OVRC_OK && szResponseID[0] != '\0') {
        OVCopyText(szCursor, sizeof szCursor, szResponseID);
        eNext = Respond(szResponseID, &sOffer, &sBatch);
    } else if (nRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
        /* A new size (also one that closed the help box) lays the same list out again: the
           same first system, the cursor on the same line or button. */
        OVCopyText(szCursor, sizeof szCursor, CurrentFieldName().c_str());
    }
    OVDeletePanel(psPab);
    psPab = nullptr;
    if (nRc != OVRC_OK) return nRc;

    switch (eNext) {
    case NS_NEW:
        return Enter_System(-1);
    case NS_CHANGE:
        return Enter_System(nActedOn);
    case NS_TRUST:
        return Confirm_Trust(nActedOn, sOffer);
    case NS_DELETE:
        return Confirm_Delete(nActedOn);
    case NS_TRUSTMANY:
        return Confirm_Trust_Many(sBatch);
    case NS_RUN: {
        /* The marked systems, else the selected one; the Run screen may add a target. */
        std::vector<int> anSystems = MarkedSystems();
        if (anSystems.empty() && nActedOn >= 0 && nActedOn < nRemoteSystems)
            anSystems.push_back(nActedOn);
        return Run_Many(anSystems);
    }
    case NS_LIST:
        break;
    }
    return OVRC_OK;
}

}  // namespace

void SelectSystem(int nIndex, bool bUnhide)
{
    nSelected = nIndex;
    if (nIndex >= 0) {
        /* Its page is found when the list is built again, from the table as it is then. */
        sView.bReveal = true;
        sView.bUnhide = bUnhide;
        SystemFieldName(szCursor, nIndex);
    }
}

int Process_Request()
{
    OVTraceStart("orvikconn Process_Request", "pszHelpInfo: %p.",
                 static_cast<void *>(pszHelpInfo));
    int nRc = OVRC_OK;
    while (nRc == OVRC_OK) {
        nRc = List_Systems();
    }
    if (nRc == OVRC_RETURN) nRc = OVRC_OK;
    return OVTraceEnd("orvikconn Process_Request", nRc);
}
