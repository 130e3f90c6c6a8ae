/*
 * many.cpp - the marked systems, and what acts on all of them at once: Ping on many, Run of a
 * command or a report with the answers folded into groups, Trust on many. The runs go through
 * the fan-out engine (fanout.h); this file draws their progress and their results.
 *
 * A mark names a system by its name and address, so it follows the system when config.ini is
 * read anew; marks live while the program runs and never reach config.ini. So do the states
 * of the last Ping on many, shown in the Status column.
 */
#include "orvikconn.h"
#include "fanout.h"
#include "orvikdsys.h"

/* The progress of a run is drawn while clush owns the keyboard: no key read follows that would
   bring it to the terminal, so this file refreshes the screen itself. */
#include <curses.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

namespace {

std::set<std::string> setMarked;
std::map<std::string, std::string> mPingState;

std::string MarkKey(const REMOTESYSTEM &sSystem)
{
    return std::string(sSystem.szSystemName) + '\n' + sSystem.szIP;
}

/* Text at a place of the current panel, in the Panel group's colours, padded to nWidth. */
void DrawLive(int nRow, int nColumn, int nWidth, const std::string &sText)
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    OVSetColor(sPanel.nForegroundColor, sPanel.nBackgroundColor);
    OVSetAttribute(sPanel.nAttribute);
    SetPosition(nRow, nColumn);
    WriteString(OVPadColumns(OVScreenText(sText), nWidth).c_str());
    wrefresh(stdscr);
}

/* What the Status row says while a run goes on. */
std::string ProgressLine(const char *pszVerb, const OVFANPROGRESS &sProgress)
{
    return std::string(pszVerb) + " " + std::to_string(sProgress.nTotal) + " systems: " +
           std::to_string(sProgress.nAnswered) + " answered, " +
           std::to_string(sProgress.nFailed) + " failed ... Ctrl-c stops";
}

struct PINGWATCH {
    const LISTPLACES *psPlaces;
    const std::vector<int> *panSystems;
    int nAnsweredBefore = 0;
};

/* A system finished: its line shows it at once; the exact state of one not reached is known
   only when clush has ended, so it reads "failed" until then. */
int PingProgress(const OVFANPROGRESS &sProgress, void *pContext)
{
    PINGWATCH &sWatch = *static_cast<PINGWATCH *>(pContext);
    const LISTPLACES &sPlaces = *sWatch.psPlaces;
    const bool bAnswered = sProgress.nAnswered > sWatch.nAnsweredBefore;
    sWatch.nAnsweredBefore = sProgress.nAnswered;
    if (sProgress.nLast >= 0 && sProgress.nLast < static_cast<int>(sWatch.panSystems->size())) {
        const int nSystem = (*sWatch.panSystems)[static_cast<std::size_t>(sProgress.nLast)];
        REMOTESYSTEM &sSystem = asRemoteSystem[nSystem];
        if (bAnswered) SetStamp(sSystem.szLastPing);
        for (std::size_t i = 0; i < sPlaces.anSystem.size(); ++i) {
            if (sPlaces.anSystem[i] != nSystem) continue;
            const int nRow = sPlaces.nFirstRow + 2 * static_cast<int>(i) + 1;
            if (bAnswered) DrawLive(nRow, sPlaces.nPingColumn, 16, sSystem.szLastPing);
            DrawLive(nRow, sPlaces.nStateColumn, 16, bAnswered ? "answers" : "failed");
        }
    }
    DrawLive(sPlaces.nStatusRow, sPlaces.nStatusColumn, nListLineLength,
             ProgressLine("Pinging", sProgress));
    return 0;
}

/* ---- Run: the command line, the targets, the folded result ------------------------- */

/* The reports of System Information that the Run screen names (every option of orvikdsys is
   taken); their titles and command lines come from orvikdsys's own table. */
constexpr const char *apszReportWords[] = {"-cpu", "-umemory", "-fmemory", "-ememory",
                                           "-blkdevices", "-partitions", "-network", "..."};

/* What Run was asked to do. */
struct RUNREQUEST {
    OVLINEEDIT sCommand;
    OVLINEEDIT sTarget;
    bool bOnTarget = false;   /* the keys go to the target line */
};
RUNREQUEST sRequest;

/* A typed line without the blanks around it. */
std::string Trimmed(const std::string &sText)
{
    const std::size_t nFirst = sText.find_first_not_of(' ');
    if (nFirst == std::string::npos) return "";
    return sText.substr(nFirst, sText.find_last_not_of(' ') - nFirst + 1);
}

std::string TypedLine(const OVLINEEDIT &sLine, bool bCursor)
{
    const std::size_t nCursor = std::min(sLine.nCursor, sLine.sText.size());
    if (!bCursor) return sLine.sText;
    return sLine.sText.substr(0, nCursor) + "_" + sLine.sText.substr(nCursor);
}

std::string TargetWords(const std::vector<int> &anSystems, const std::string &sNodeSet)
{
    std::string sWords;
    if (anSystems.size() == 1) sWords = asRemoteSystem[anSystems.front()].szSystemName;
    if (anSystems.size() > 1) sWords = std::to_string(anSystems.size()) + " marked systems";
    if (!sNodeSet.empty()) sWords += (sWords.empty() ? "" : " and ") + sNodeSet;
    return sWords.empty() ? std::string("nothing yet: mark systems or type a target") : sWords;
}

int PresentRun(const std::vector<int> &anSystems, const std::string &sCursor)
{
    const int nMargin = OVLayoutMargin(psPab);
    const int nWidth = 60;
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    const std::string sTitle = "Orvik Connections: Run on Many";
    int nRc = CreatePanelText(1, OVCentredColumn(psPab, OVDisplayWidth(sTitle)), 0, "Title",
                              sTitle, 0);
    if (nRc == OVRC_OK)
        nRc = CreatePanelText(3, nMargin + 3, 0, "On",
                              OVFitColumns("Runs on: " + TargetWords(anSystems,
                                                                     sRequest.sTarget.sText),
                                           74), 0);
    const struct {
        int nRow;
        const char *pszLabel;
        const char *pszName;
        const OVLINEEDIT *psLine;
        bool bOn;
    } asLine[] = {{5, "Command:", "CMDLINE", &sRequest.sCommand, !sRequest.bOnTarget},
                  {7, "Target:", "TARGETLINE", &sRequest.sTarget, sRequest.bOnTarget}};
    for (const auto &sLine : asLine) {
        if (nRc == OVRC_OK)
            nRc = CreatePanelText(sLine.nRow, nMargin + 3, 9, "Label", sLine.pszLabel, 0);
        if (nRc == OVRC_OK) {
            const std::string sShown =
                OVFitColumns(OVScreenText(TypedLine(*sLine.psLine, sLine.bOn)), nWidth);
            nRc = OVCreateField(psPab, sLine.nRow, nMargin + 13, nWidth, sLine.pszName,
                                (" " + sShown).c_str(), OVSTYLE_TAB, sField.nAttribute,
                                sField.nBackgroundColor, sField.nForegroundColor);
        }
    }
    std::string sReports = "Reports:";
    for (const char *pszWord : apszReportWords) sReports += std::string(" ") + pszWord;
    const char *const apszText[] = {
        "Target: a node set or group (web[01-40], @web) besides the marked systems.",
        "A report option as the command (-cpu) runs that System Information report.",
        sReports.c_str(),
        "Tab moves between the lines and the buttons; Enter runs, Escape cancels."};
    for (int i = 0; nRc == OVRC_OK && i < 4; ++i)
        nRc = CreatePanelText(9 + i, nMargin + 3, 0, "Hint", OVFitColumns(apszText[i], 76), 0);
    int nResponse = 0;
    if (nRc == OVRC_OK)
        nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 23, psPab->nColumns - 4,
                                OVAB_RUN | OVAB_CANCEL | OVAB_HELP | OVAB_EXIT, &nResponse);
    if (nRc == OVRC_OK)
        nRc = OVSetCursor(psPab, sCursor.empty() ? (sRequest.bOnTarget ? "TARGETLINE" : "CMDLINE")
                                                 : sCursor.c_str());
    psPab->ulKeys = OVKEYS_TEXT;
    if (nRc != OVRC_OK)
        OVLog(OVLOG_ERROR, "orvikconn Run_Many: Unable to Create Run Panel, rc: %d.", nRc);
    return nRc;
}

/* The command line of a typed request: a report's own, or the text as typed. *ppsReport
   gets the report, NULL for a command. "" for an unknown option, and for "-class", which
   needs a class name that a report option on its own does not give. */
std::string RequestCommand(const std::string &sTyped, const DSYSREPORT **ppsReport)
{
    *ppsReport = nullptr;
    const std::string sWord = Trimmed(sTyped);
    if (sWord.empty() || sWord[0] != '-') return sWord;
    const DSYSREPORT *psReport = FindReportOption(sWord.c_str());
    if (psReport == nullptr || std::strcmp(psReport->pszOption, "-class") == 0) return "";
    *ppsReport = psReport;
    return psReport->pszCommand;
}

struct RUNWATCH {
    int nStatusRow;
    int nColumn;
};

int RunProgress(const OVFANPROGRESS &sProgress, void *pContext)
{
    const RUNWATCH &sWatch = *static_cast<RUNWATCH *>(pContext);
    DrawLive(sWatch.nStatusRow, sWatch.nColumn, nListLineLength,
             ProgressLine("Running on", sProgress));
    return 0;
}

/* A line of output as the screen shows it: tabs to the next stop of eight, controls as ^X. */
std::string PageLine(const std::string &sLine)
{
    std::string sOut;
    for (char c : sLine) {
        if (c == '\t')
            sOut.append(8 - sOut.size() % 8, ' ');
        else
            sOut += c;
    }
    return OVScreenText(sOut);
}

/* A paged text: the lines of an output, a diff or a group's reasons. 0 back, 9 Exit. */
int ShowPages(const std::string &sTitle, const std::string &sText)
{
    std::vector<std::string> asLine = SplitLines(sText);
    if (asLine.empty()) asLine.push_back("(no output)");
    int nFirst = 0;
    for (;;) {
        psPab = OVCreateGroupPanel("orvikconn ShowPages", nullptr, OVDG_PANEL);
        if (psPab == nullptr) {
            OVRestoreTerminal();
            return OVRC_ERROR;
        }
        const int nMargin = OVLayoutMargin(psPab);
        const int nPerPage = std::max(psPab->nRows - 6, 1);
        const int nLines = static_cast<int>(asLine.size());
        nFirst = std::clamp(nFirst, 0, std::max(nLines - 1, 0));
        const std::string sHead = OVFitColumns(sTitle, psPab->nColumns - 2);
        int nRc = CreatePanelText(1, OVCentredColumn(psPab, OVDisplayWidth(sHead)), 0, "Title",
                                  sHead, 0);
        for (int i = 0; nRc == OVRC_OK && i < nPerPage && nFirst + i < nLines; ++i) {
            nRc = CreatePanelText(3 + i, nMargin + 2, 0, "Line",
                                  OVFitColumns(PageLine(asLine[static_cast<std::size_t>(nFirst + i)]),
                                               psPab->nColumns - nMargin - 3),
                                  0);
        }
        if (nRc == OVRC_OK) {
            const int nLast = std::min(nFirst + nPerPage, nLines);
            nRc = CreatePanelText(psPab->nRows - 2, nMargin + 3, 0, "Status",
                                  "Lines " + std::to_string(nFirst + 1) + "-" +
                                      std::to_string(nLast) + " of " + std::to_string(nLines) +
                                      ".",
                                  0);
        }
        unsigned long ulButtons = OVAB_HELP | OVAB_RETURN | OVAB_EXIT;
        if (nFirst + nPerPage < nLines) ulButtons |= OVAB_FORWARD;
        if (nFirst > 0) ulButtons |= OVAB_BACKWARD;
        int nResponse = 0;
        if (nRc == OVRC_OK)
            nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 3, psPab->nColumns - 4,
                                    ulButtons, &nResponse);
        if (nRc == OVRC_OK) nRc = OVSetCursor(psPab, "Return ");
        psPab->ulKeys = OVKEYS_PAGING;
        char szResponseID[40] = "";
        if (nRc == OVRC_OK) nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        const int nKey = psPab->nKey;
        OVDeletePanel(psPab);
        psPab = nullptr;
        if (nRc == OVRC_RETURN) return OVRC_OK;
        if (nRc != OVRC_OK) return nRc;
        if (std::strcmp(szResponseID, "Forward ") == 0 ||
            (nResponse == OVRESPONSE_KEY && nKey == OVKEY_NPAGE))
            nFirst += nPerPage;
        else if (std::strcmp(szResponseID, "Backward ") == 0 ||
                 (nResponse == OVRESPONSE_KEY && nKey == OVKEY_PPAGE))
            nFirst = std::max(nFirst - nPerPage, 0);
        else if (nResponse == OVRESPONSE_KEY && nKey == OVKEY_HOME)
            nFirst = 0;
        else if (nResponse == OVRESPONSE_KEY && nKey == OVKEY_END)
            nFirst = nLines - 1 - (nLines - 1) % nPerPage;
    }
}

/* What Enter on a group shows: the output the group shares, or why each member was not
   reached. */
std::string GroupText(const OVFANRESULT &sResult, const OVFANGROUP &sGroup)
{
    if (sGroup.eState != OVFAN_ANSWERED) {
        std::string sText;
        for (int n : sGroup.anMember) {
            const OVFANSYSTEM &s = sResult.asSystem[static_cast<std::size_t>(n)];
            sText += s.sName + ": " + (s.sReason.empty() ? OVFanStateText(s.eState) : s.sReason);
            if (s.eState == OVFAN_PASSWORD) sText += " (needs a password: Connect it first)";
            sText += "\n";
        }
        return sText;
    }
    const OVFANSYSTEM &s = sResult.asSystem[static_cast<std::size_t>(sGroup.anMember.front())];
    std::string sText = s.sOutput;
    if (!s.sError.empty()) {
        if (!sText.empty() && sText.back() != '\n') sText += "\n";
        sText += "--- error output ---\n" + s.sError;
    }
    return sText;
}

/* The line of a group on the result screen; a password group says what to do. */
std::string ResultLine(const OVFANRESULT &sResult, const OVFANGROUP &sGroup)
{
    std::string sLine = OVFanGroupLine(sResult, sGroup);
    if (sGroup.eState == OVFAN_PASSWORD) {
        const std::string sWords = OVFanStateText(OVFAN_PASSWORD);
        if (const std::size_t nAt = sLine.find(sWords); nAt != std::string::npos)
            sLine.insert(nAt + sWords.size(), ": Connect it first");
    }
    return sLine;
}

/* Enter on a group of a report run: the output the group shares, as orvikdsys shows the
   report, titled with the systems it came from. A group that failed or was not reached has
   no report: its output or reasons come as plain pages. 0 back, 9 Exit. */
int ShowGroup(const OVFANRESULT &sResult, const OVFANGROUP &sGroup, const DSYSREPORT *psReport)
{
    if (psReport == nullptr || sGroup.eState != OVFAN_ANSWERED || sGroup.nExitStatus != 0)
        return ShowPages(ResultLine(sResult, sGroup), GroupText(sResult, sGroup));
    std::vector<std::string> asNames;
    for (int n : sGroup.anMember)
        asNames.push_back(sResult.asSystem[static_cast<std::size_t>(n)].sName);
    /* The title is the panel's top line and the first line of a saved file: it fits 80
       columns, the smallest terminal. */
    const std::string sTitle =
        OVFitColumns(std::string(psReport->pszTitle) + ": " + OVNodeSetText(asNames), 78);
    const OVFANSYSTEM &s = sResult.asSystem[static_cast<std::size_t>(sGroup.anMember.front())];
    const int nRc = ShowReportText(psReport, sTitle.c_str(), s.sOutput);
    /* A Save or Print that failed has said so in its box; the result screen comes back. */
    return nRc == OVRC_EXIT ? nRc : OVRC_OK;
}

/* Saves the folded result as text and as JSON, named as saved reports are. */
void SaveResult(const OVFANRESULT &sResult)
{
    char szStamp[32];
    const std::time_t nNow = std::time(nullptr);
    struct tm sNow {};
    localtime_r(&nNow, &sNow);
    std::strftime(szStamp, sizeof szStamp, "%Y%m%d.%H%M%S", &sNow);
    const std::string sBase = std::string("/tmp/OrvikConn.Run.") + szStamp;
    const std::string sText = sBase + ".txt", sJson = sBase + ".json";
    std::string sWhy;
    if (OVFanSave(sResult, sText.c_str(), sJson.c_str(), &sWhy) != OVRC_OK) {
        OVShowBox(psPab, OVLOG_ERROR, "Not saved: " + sWhy);
        return;
    }
    OVShowBox(psPab, OVLOG_INFO, "Saved: " + sText + " and .json");
}

/* The folded result: one line per group, largest first; psReport is the report that ran,
   NULL for a command. 0 back to the list, 9 Exit. */
int ShowResult(const OVFANRESULT &sResult, const std::string &sWhat, const DSYSREPORT *psReport)
{
    const std::vector<OVFANGROUP> asGroup = OVFoldResult(sResult);
    std::string sCursor = asGroup.empty() ? "Return " : "GRP0";
    for (;;) {
        psPab = OVCreateGroupPanel("orvikconn ShowResult", nullptr, OVDG_PANEL);
        if (psPab == nullptr) {
            OVRestoreTerminal();
            return OVRC_ERROR;
        }
        const int nMargin = OVLayoutMargin(psPab);
        const std::string sTitle = OVFitColumns("Run: " + sWhat, psPab->nColumns - 2);
        int nRc = CreatePanelText(1, OVCentredColumn(psPab, OVDisplayWidth(sTitle)), 0, "Title",
                                  sTitle, 0);
        std::string sSummary = std::to_string(sResult.asSystem.size()) + " systems: " +
                               std::to_string(sResult.nAnswered) + " answered, " +
                               std::to_string(sResult.nFailed) + " not reached" +
                               (sResult.bStopped ? "; stopped before the end" : "") +
                               (sResult.bCut ? "; some output was cut" : "") + ".";
        if (nRc == OVRC_OK) nRc = CreatePanelText(3, nMargin + 3, 0, "Summary", sSummary, 0);
        const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
        const int nRoom = std::max(psPab->nRows - 9, 1);
        for (int i = 0; nRc == OVRC_OK && i < static_cast<int>(asGroup.size()) && i < nRoom; ++i) {
            char szName[40];
            std::snprintf(szName, sizeof szName, "GRP%d", i);
            /* A blank first: the line never begins with a button's word. */
            const OVFANGROUP &sGroup = asGroup[static_cast<std::size_t>(i)];
            const std::string sLine =
                " " + OVFitColumns(OVScreenText(ResultLine(sResult, sGroup)), 74);
            nRc = OVCreateField(psPab, 5 + i, nMargin + 2, 75, szName, sLine.c_str(),
                                OVSTYLE_TAB, sField.nAttribute, sField.nBackgroundColor,
                                sField.nForegroundColor);
        }
        if (nRc == OVRC_OK && static_cast<int>(asGroup.size()) > nRoom)
            nRc = CreatePanelText(5 + nRoom, nMargin + 3, 0, "More",
                                  std::to_string(asGroup.size() - nRoom) +
                                      " more groups: Save keeps them all.", 0);
        if (nRc == OVRC_OK)
            nRc = CreatePanelText(psPab->nRows - 3, nMargin + 3, 0, "Status",
                                  "Enter shows a group's output, d its diff against the largest.",
                                  0);
        int nResponse = 0;
        if (nRc == OVRC_OK)
            nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 3, psPab->nColumns - 4,
                                    OVAB_SAVE | OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse);
        if (nRc == OVRC_OK) nRc = OVSetCursor(psPab, sCursor.c_str());
        psPab->ulKeys = OVKEYS_LETTERS;
        char szResponseID[40] = "";
        if (nRc == OVRC_OK) nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        sCursor = CurrentFieldName();
        int nGroup = -1;
        std::sscanf(sCursor.c_str(), "GRP%d", &nGroup);
        const int nKey = psPab->nKey;
        if (nRc == OVRC_OK && std::strcmp(szResponseID, "Save ") == 0) SaveResult(sResult);
        OVDeletePanel(psPab);
        psPab = nullptr;
        if (nRc == OVRC_RETURN) return OVRC_OK;
        if (nRc != OVRC_OK) return nRc;
        if (nGroup < 0 || nGroup >= static_cast<int>(asGroup.size())) continue;
        const OVFANGROUP &sGroup = asGroup[static_cast<std::size_t>(nGroup)];
        int nShown = OVRC_OK;
        if (nResponse == OVRESPONSE_FIELD && szResponseID[0] == 'G') {
            nShown = ShowGroup(sResult, sGroup, psReport);
        } else if (nResponse == OVRESPONSE_KEY && nKey == 'd') {
            std::string sDiff;
            if (OVFanDiff(sResult, asGroup.front(), sGroup, &sDiff) != OVRC_OK)
                sDiff = "diff could not compare them: see the log.";
            else if (sDiff.empty())
                sDiff = "The same output as the largest group.";
            nShown = ShowPages("Diff: " + OVFanGroupLine(sResult, sGroup), sDiff);
        }
        if (nShown != OVRC_OK) return nShown;
    }
}

/* ---- Trust on many ----------------------------------------------------------------- */

/* Where ssh goes for a system, as the single Trust finds it. */
SCANTARGET TargetOf(const REMOTESYSTEM &sSystem)
{
    static char szOutput[16384];
    szOutput[0] = '\0';
    std::string sResolve, sRefusal;
    if (ResolveCommand(sSystem, &sResolve, &sRefusal) == OVRC_OK)
        ExecuteCommand(sResolve.c_str(), szOutput, sizeof szOutput);
    return ScanTarget(sSystem, szOutput);
}

}  // namespace

bool IsMarked(int nIndex)
{
    return nIndex >= 0 && nIndex < nRemoteSystems &&
           setMarked.count(MarkKey(asRemoteSystem[nIndex])) != 0;
}

void ToggleMark(int nIndex)
{
    if (nIndex < 0 || nIndex >= nRemoteSystems) return;
    const std::string sKey = MarkKey(asRemoteSystem[nIndex]);
    if (!setMarked.erase(sKey)) setMarked.insert(sKey);
}

void MarkAll(const std::vector<int> &anShown)
{
    const bool bAll = std::all_of(anShown.begin(), anShown.end(), IsMarked);
    for (int n : anShown) {
        if (bAll)
            setMarked.erase(MarkKey(asRemoteSystem[n]));
        else
            setMarked.insert(MarkKey(asRemoteSystem[n]));
    }
}

std::vector<int> MarkedSystems()
{
    std::vector<int> an;
    for (int i = 0; i < nRemoteSystems; ++i)
        if (IsMarked(i)) an.push_back(i);
    return an;
}

void NotePingState(int nIndex, const char *pszState)
{
    if (nIndex < 0 || nIndex >= nRemoteSystems) return;
    if (pszState == nullptr)
        mPingState.erase(MarkKey(asRemoteSystem[nIndex]));
    else
        mPingState[MarkKey(asRemoteSystem[nIndex])] = pszState;
}

std::string PingStateOf(int nIndex)
{
    if (nIndex < 0 || nIndex >= nRemoteSystems) return "";
    auto it = mPingState.find(MarkKey(asRemoteSystem[nIndex]));
    return it == mPingState.end() ? "" : it->second;
}

void Ping_Many(const std::vector<int> &anSystems, const LISTPLACES &sPlaces)
{
    OVTraceStart("orvikconn Ping_Many", "systems: %zu.", anSystems.size());
    PINGWATCH sWatch{&sPlaces, &anSystems};
    OVFANCALL sCall;
    sCall.anSystems = anSystems;
    sCall.pfnProgress = PingProgress;
    sCall.pContext = &sWatch;
    DrawLive(sPlaces.nStatusRow, sPlaces.nStatusColumn, nListLineLength,
             "Pinging " + std::to_string(anSystems.size()) + " systems ... Ctrl-c stops");
    OVFANRESULT sResult;
    std::string sWhy;
    const int nRc = OVFanPing(sCall, &sResult, &sWhy);
    if (nRc == OVRC_ERROR) {
        OVShowBox(psPab, OVLOG_ERROR, "Not pinged: " + sWhy);
        OVTraceEnd("orvikconn Ping_Many", nRc);
        return;
    }
    for (const OVFANSYSTEM &s : sResult.asSystem) {
        if (s.nSystem < 0 || s.nSystem >= nRemoteSystems) continue;
        mPingState[MarkKey(asRemoteSystem[s.nSystem])] = OVFanStateText(s.eState);
    }
    const std::string sCounts = std::to_string(sResult.nAnswered) + " answered, " +
                                std::to_string(sResult.nFailed) + " failed";
    if (SaveTable() == OVRC_OK) {
        if (nRc == OVRC_CANCELLED)
            OVShowBox(psPab, OVLOG_WARNING, "Stopped: " + sCounts + "; the rest were not pinged.");
        else if (nRc != OVRC_OK)
            OVShowBox(psPab, OVLOG_ERROR, "Ping failed: " + sWhy);
        else
            OVShowBox(psPab, sResult.nFailed > 0 ? OVLOG_WARNING : OVLOG_INFO,
                      "Pinged " + std::to_string(anSystems.size()) + " systems: " + sCounts + ".");
    }
    OVTraceEnd("orvikconn Ping_Many", nRc);
}

int Run_Many(const std::vector<int> &anSystems)
{
    OVTraceStart("orvikconn Run_Many", "systems: %zu.", anSystems.size());
    std::string sCursor;
    for (;;) {
        psPab = OVCreateGroupPanel("orvikconn Run_Many", nullptr, OVDG_PANEL);
        if (psPab == nullptr) {
            OVRestoreTerminal();
            return OVTraceEnd("orvikconn Run_Many", OVRC_ERROR);
        }
        int nRc = PresentRun(anSystems, sCursor);
        char szResponseID[40] = "";
        int nResponse = 0;
        if (nRc == OVRC_OK) nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        if (nRc != OVRC_OK) {
            OVDeletePanel(psPab);
            psPab = nullptr;
            return OVTraceEnd("orvikconn Run_Many", nRc == OVRC_RETURN ? OVRC_OK : nRc);
        }
        sCursor = CurrentFieldName();
        const int nKey = psPab->nKey;
        bool bRun = false;
        /* The lines take every key (OVKEYS_TEXT): Enter, and a click, which comes as Enter
           on the field clicked, act on the line or button under the cursor here. */
        if (nResponse == OVRESPONSE_KEY) {
            if (nKey == OVKEY_ESCAPE) sCursor = "Cancel ";
            if (nKey == OVKEY_ESCAPE || nKey == OVKEY_ENTER) {
                if (sCursor == "Cancel ") {
                    OVDeletePanel(psPab);
                    psPab = nullptr;
                    return OVTraceEnd("orvikconn Run_Many", OVRC_OK);
                }
                if (sCursor == "Exit ") {
                    OVDeletePanel(psPab);
                    psPab = nullptr;
                    return OVTraceEnd("orvikconn Run_Many", OVRC_EXIT);
                }
                if (sCursor == "Help ") OVShowProgramHelp(psPab);
                bRun = sCursor != "Help ";
            } else if (sCursor == "CMDLINE" || sCursor == "TARGETLINE") {
                sRequest.bOnTarget = sCursor == "TARGETLINE";
                OVEditLine(sRequest.bOnTarget ? &sRequest.sTarget : &sRequest.sCommand, nKey);
            }
        }
        if (sCursor == "CMDLINE" || sCursor == "TARGETLINE")
            sRequest.bOnTarget = sCursor == "TARGETLINE";
        if (!bRun) {
            OVDeletePanel(psPab);
            psPab = nullptr;
            continue;
        }
        const DSYSREPORT *psReport = nullptr;
        const std::string sCommand = RequestCommand(sRequest.sCommand.sText, &psReport);
        const std::string sNodeSet = Trimmed(sRequest.sTarget.sText);
        std::string sRefusal;
        if (sCommand.empty())
            sRefusal = sRequest.sCommand.sText.empty() ? "Type a command, or a report option."
                                                       : "No such report option: " +
                                                             sRequest.sCommand.sText;
        else if (anSystems.empty() && sNodeSet.empty())
            sRefusal = "No target: mark systems, or type a node set.";
        if (!sRefusal.empty()) {
            Refuse(sRefusal);
            OVDeletePanel(psPab);
            psPab = nullptr;
            continue;
        }
        OVFANCALL sCall;
        sCall.pszCommand = sCommand.c_str();
        sCall.anSystems = anSystems;
        sCall.sNodeSet = sNodeSet;
        RUNWATCH sWatch{psPab->nRows - 3, OVLayoutMargin(psPab) + 3};
        sCall.pfnProgress = RunProgress;
        sCall.pContext = &sWatch;
        DrawLive(sWatch.nStatusRow, sWatch.nColumn, nListLineLength,
                 "Running " + OVFitColumns(sCommand, 40) + " ... Ctrl-c stops");
        OVFANRESULT sResult;
        std::string sWhy;
        const int nRun = OVFanOut(sCall, &sResult, &sWhy);
            if (nRun == OVRC_ERROR || (nRun == OVRC_CMDFAILED && sResult.nAnswered == 0)) {
            OVShowBox(psPab, OVLOG_ERROR, "Not run: " + sWhy);
            OVDeletePanel(psPab);
            psPab = nullptr;
            continue;
        }
        OVDeletePanel(psPab);
        psPab = nullptr;
        nRc = ShowResult(sResult, psReport != nullptr ? psReport->pszTitle : sCommand, psReport);
        if (nRc != OVRC_OK) return OVTraceEnd("orvikconn Run_Many", nRc);
    }
}

int Prepare_Trust_Many(const std::vector<int> &anSystems, TRUSTBATCH *psBatch)
{
    OVTraceStart("orvikconn Prepare_Trust_Many", "systems: %zu.", anSystems.size());
    *psBatch = TRUSTBATCH{};
    std::vector<OVFANKEYS> asKeys;
    std::vector<TRUSTOFFER> asOffer;
    std::vector<REMOTESYSTEM> asChosen;
    DrawLive(psPab->nRows - 3, OVLayoutMargin(psPab) + 3, nListLineLength,
             "Scanning the host keys of " + std::to_string(anSystems.size()) + " systems...");
    for (int n : anSystems) {
        asChosen.push_back(asRemoteSystem[n]);
        TRUSTOFFER sOffer{};  /* zeroed: it is copied before FindKnownKeys sets its check */
        sOffer.sTarget = TargetOf(asRemoteSystem[n]);
        sOffer.sName = KnownHostName(sOffer.sTarget);
        asKeys.push_back({sOffer.sTarget.sHost, sOffer.sTarget.sPort, sOffer.sName, {}, {}});
        asOffer.push_back(sOffer);
    }
    if (OVFanKeyScan(&asKeys) != OVRC_OK) {
        OVShowBox(psPab, OVLOG_ERROR, "The host keys could not be scanned: see the log.");
        return OVTraceEnd("orvikconn Prepare_Trust_Many", OVRC_ERROR);
    }
    /* Systems that offer the same key share its line, so that many systems behind one key
       (or one host) take two lines; the others are grouped by why they are left out. */
    std::map<std::string, std::vector<std::string>> mPrint, mRest;
    for (std::size_t i = 0; i < asOffer.size(); ++i) {
        TRUSTOFFER &sOffer = asOffer[i];
        const std::string sName = asChosen[i].szSystemName;
        sOffer.asOffered = asKeys[i].asOffered;
        std::string sWhy;
        if (sOffer.asOffered.empty()) {
            sWhy = "no host key came";
        } else if (sOffer.sTarget.asKnownHostsFiles.empty()) {
            sWhy = "ssh reads no known-hosts file for it";
        } else if (sWhy = FindKnownKeys(&sOffer); sWhy.empty()) {
            if (sOffer.sCheck.eState == TS_KNOWN) sWhy = "already trusted";
            /* A changed key is never replaced in a batch: it has its own confirmation. */
            if (sOffer.sCheck.eState == TS_CHANGED)
                sWhy = "KEY CHANGED, select it alone and Trust";
        }
        if (!sWhy.empty()) {
            mRest[sWhy].push_back(sName);
            continue;
        }
        /* "ED25519 SHA256:...": a whole fingerprint fits the line. */
        for (const std::string &sLine : asKeys[i].asFingerprint)
            mPrint[sLine.substr(0, sLine.find(' ')) + " " + sLine.substr(sLine.rfind(' ') + 1)]
                .push_back(sName);
        psBatch->asSystem.push_back(asChosen[i]);
        psBatch->asOffer.push_back(sOffer);
    }
    if (psBatch->asOffer.empty()) {
        std::string sCounts;
        for (const auto &[sWhy, asNames] : mRest)
            sCounts += (sCounts.empty() ? "" : ", ") + std::to_string(asNames.size()) + " " + sWhy;
        OVShowBox(psPab, OVLOG_INFO, "Nothing to trust of " + std::to_string(anSystems.size()) +
                                         " systems: " + sCounts + ".");
        return OVTraceEnd("orvikconn Prepare_Trust_Many", OVRC_ERROR);
    }
    std::vector<std::string> &asLine = psBatch->asLine;
    asLine.push_back("Trust the new host keys of " + std::to_string(psBatch->asOffer.size()) +
                     " systems? Their fingerprints:");
    for (const auto &[sPrint, asNames] : mPrint) {
        asLine.push_back(" " + sPrint);
        asLine.push_back("     " + OVNodeSetText(asNames));
    }
    if (!mRest.empty()) asLine.push_back("Left as they are:");
    for (const auto &[sWhy, asNames] : mRest)
        asLine.push_back(" " + sWhy + ": " + OVNodeSetText(asNames));
    /* What is confirmed must be seen whole: the confirmation shows nRows - 6 lines. */
    if (static_cast<int>(asLine.size()) > psPab->nRows - 6) {
        OVShowBox(psPab, OVLOG_WARNING, "Too many different keys for one screen (" +
                                            std::to_string(mPrint.size()) +
                                            "): mark fewer systems.");
        return OVTraceEnd("orvikconn Prepare_Trust_Many", OVRC_ERROR);
    }
    return OVTraceEnd("orvikconn Prepare_Trust_Many", OVRC_OK);
}

int Confirm_Trust_Many(const TRUSTBATCH &sBatch)
{
    OVTraceStart("orvikconn Confirm_Trust_Many", "systems: %zu.", sBatch.asOffer.size());
    bool bConfirmed = false;
    int nRc = ConfirmScreen("Orvik Connections: Trust Many", sBatch.asLine, OVAB_TRUST, "Trust ",
                            &bConfirmed);
    if (nRc != OVRC_OK || psPab == nullptr) return OVTraceEnd("orvikconn Confirm_Trust_Many", nRc);
    int nTrusted = 0;
    std::string sFailed;
    for (std::size_t i = 0; bConfirmed && i < sBatch.asOffer.size(); ++i) {
        const TRUSTOFFER &sOffer = sBatch.asOffer[i];
        const std::string &sFile = sOffer.sTarget.asKnownHostsFiles.front();
        int nAdded = 0;
        if (const int nErr = AppendKnownHosts(sFile, sOffer.sCheck.asToAdd, &nAdded); nErr != 0) {
            OVLog(OVLOG_ERROR, "orvikconn Confirm_Trust_Many: Unable to add to %s: %s.",
                  sFile.c_str(), std::strerror(nErr));
            sFailed = sFile + ": " + std::strerror(nErr);
            continue;
        }
        /* The confirmation's panel read config.ini anew: the system is found again there. */
        if (const int nNow = FindSystemIndex(sBatch.asSystem[i]); nNow >= 0)
            SetStamp(asRemoteSystem[nNow].szLastTrust);
        ++nTrusted;
    }
    if (bConfirmed && SaveTable() == OVRC_OK) {
        if (!sFailed.empty())
            OVShowBox(psPab, OVLOG_ERROR, "Not all trusted: " + sFailed);
        else
            OVShowBox(psPab, OVLOG_INFO,
                      "Trusted the keys of " + std::to_string(nTrusted) + " systems.");
    }
    OVDeletePanel(psPab);
    psPab = nullptr;
    return OVTraceEnd("orvikconn Confirm_Trust_Many", OVRC_OK);
}
