/*
 * listing.cpp - the listing loop of orvikfsys: the `ls` command for the folder shown, the
 * page of its output read from the listing file, the panel of selectable lines, and the step
 * into a folder, back up, or to a file's detail page.
 *
 * The listing runs once per folder into szTempFile; paging only seeks in that file, so a
 * page costs the same wherever it lies and memory does not grow with the folder. Each page
 * knows where it starts and where the next one does; sFolderView keeps the starts walked,
 * so Backward, a detail page and a change of size come back to the very page. The entry a line
 * stands for is always taken from its own whole row of the page, never from the line's text,
 * which may have been cut to fit its column.
 */
#include "orvikfsys.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char paszHeading1[] = "Directory/File Name";
const char paszHeading2[] = "    Size     Date Time      Flags";
const char szListingTitle[] = "Orvik Explore Filesystems";
const char szListCommand[] = "ls -lpah --time-style=+%D-%H:%M";
const char szDatalinePrefix[] = "Dataline-";

constexpr int nCommandOutputSize = 32767;
constexpr int nShownText = 4096;            /* display columns of any text before it is fitted */

/* Columns of the data line and their widths. */
constexpr int nLineLength = 74;
constexpr int nNameWidth = 40;
constexpr int nSizeOffset = 40;
constexpr int nDateOffset = 49;
constexpr int nFlagsOffset = 64;
constexpr int nFlagsWidth = 10;
constexpr int nPageEnd = 78;                 /* "page N" ends where the data lines do */

/* The orders of "s": the option `ls` sorts by, and what the title says. */
struct SORTORDER {
    const char *pszOption;
    const char *pszTitle;
};
constexpr SORTORDER asSortOrder[] = {
    {"", ""}, {" -t", "  by time"}, {" -S", "  by size"}};
static_assert(sizeof asSortOrder / sizeof asSortOrder[0] == FSSORTS, "one order per FSSORT");

/* The keys named on the row above the action bar while no line is typed. */
const char szKeysHint[] = "/ filter  s sort  . hidden  g go to  PgDn/PgUp pages";
const char szGoToPrompt[] = "Go to: ";

/* The line typed on the row above the action bar, if any. */
enum TYPING { TYPING_NONE, TYPING_FILTER, TYPING_GOTO };
TYPING eTyping = TYPING_NONE;
OVLINEEDIT sTyped;

/* The view file: whether it is what the browser shows, the filter (folded) and hiding it
   was written with, and the entries it holds besides "./" and "../". */
struct VIEW {
    bool bShown = false;
    std::string sFolded;
    bool bHides = false;
    long nMatches = 0;
};
VIEW sView;

/* What the next panel does besides showing the page: the push button that keeps the
   cursor after Forward or Backward, the cursor on the first match after a filter's Enter,
   and when the key it answers came, for the debug log. */
const char *pszStayOn = nullptr;
bool bToFirstMatch = false;
std::chrono::steady_clock::time_point tKey;
int nKeyTimed = 0;   /* the key, 0 when none is timed */

/* Why an entry of the page may not be opened, besides what its row says. */
enum ROWSTATE : unsigned char {
    ROW_WHOLE = 0,
    ROW_CONTINUED = 2    /* the name holds a newline: the next lines are the rest of it */
};
std::vector<ROWSTATE> aeRowState;   /* one per row of asPageRow */

/* Push-button labels that the response loop recognises at the start of any field's value. */
constexpr const char *apszButtonWords[] = {"Return ", "Exit ", "Help "};

/* Logs the first line of the listing's error file, when it has one. */
void LogListingErrors()
{
    OVFilePtr pFile(std::fopen(szErrorFile, "r"));
    LineBuffer sBuffer;
    std::string_view sLine;
    if (pFile && sBuffer.Read(pFile.get(), &sLine) && !sLine.empty())
        OVLog(OVLOG_ERROR, "orvikfsys Get_Directory_Data: %.*s", static_cast<int>(sLine.size()),
              sLine.data());
}

bool HasListing()
{
    struct stat sInfo;
    return stat(szTempFile, &sInfo) == 0 && sInfo.st_size > 0;
}

/* The step into a folder of the listing: "../" goes back a level, "./" lists the same
   folder afresh, and a name goes one level down. A step beyond the folder table or the path
   size is refused and logged. */
void EnterFolder(std::string_view sName, bool bThroughLink = false)
{
    if (sName == "../") return sFolderView.Up();
    if (sName == "./") return sFolderView.ListAgain();
    const std::string sPath = sFolderView.Folder().szPath + std::string(sName);
    if (const char *pszWhy = sFolderView.Enter(sName, bThroughLink))
        OVLog(OVLOG_ERROR,
              "orvikfsys Process_Request: Unable to enter folder %.300s: %s (level %d).",
              sPath.c_str(), pszWhy, sFolderView.Level() + 1);
}

/* Is the local entry a folder, or a link that leads to one? */
bool LeadsToFolder(const std::string &sPath)
{
    struct stat sInfo;
    return stat(sPath.c_str(), &sInfo) == 0 && S_ISDIR(sInfo.st_mode);
}

/* The row of the page a data line's name stands for, -1 when it names none. */
int DatalineRow(const char *pszName)
{
    const std::size_t nPrefix = std::strlen(szDatalinePrefix);
    if (std::strncmp(pszName, szDatalinePrefix, nPrefix) != 0) return -1;
    char *pszEnd = nullptr;
    long nRow = std::strtol(pszName + nPrefix, &pszEnd, 10);
    if (pszEnd == pszName + nPrefix || *pszEnd != '\0' || nRow < 0 ||
        nRow >= static_cast<long>(asPageRow.size()))
        return -1;
    return static_cast<int>(nRow);
}

/* What choosing a data line does: a folder is entered at once, a file's full path is put
   into *psFile for its detail page. False when nothing more is to be done. */
bool ChooseEntry(const char *pszResponseID, std::string *psFile)
{
    const int nRow = DatalineRow(pszResponseID);
    LSROW sRow;
    if (nRow < 0 || !ParseListingRow(asPageRow[nRow], &sRow)) {
        OVLog(OVLOG_ERROR, "orvikfsys Process_Request: No entry for %.32s.", pszResponseID);
        return false;
    }
    sFolderView.StandOn(nRow);
    if (aeRowState[nRow] != ROW_WHOLE) {
        OVLog(OVLOG_ERROR,
              "orvikfsys Process_Request: Refusing to open %.*s...: the name holds a newline.",
              static_cast<int>(sRow.sName.size()), sRow.sName.data());
        return false;
    }
    const FOLDER &sFolder = sFolderView.Folder();
    /* In a folder entered through a link, "./" is the link: its detail page. */
    if (sRow.sName == "./" && sFolder.bThroughLink) {
        *psFile = std::string(sFolder.szPath, std::strlen(sFolder.szPath) - 1);
        return true;
    }
    if (sRow.sName.back() == '/') {
        EnterFolder(sRow.sName);
        return false;
    }
    *psFile = std::string(sFolder.szPath) + std::string(sRow.sName);
    /* A link to a folder is entered as the folder, under the link's own name, as `cd` does.
       On a remote system that is found out by listing it (see ListingFailed). */
    if (sRow.sMode[0] == 'l' && (psConnectedSystem != nullptr || LeadsToFolder(*psFile))) {
        EnterFolder(std::string(sRow.sName) + "/", true);
        return false;
    }
    return true;
}

/* Why the folder's listing did not come: the end of ls's first complaint ("Permission
   denied", "No such file or directory"). */
std::string ListingFailureReason()
{
    OVFilePtr pFile(std::fopen(szErrorFile, "r"));
    LineBuffer sBuffer;
    std::string_view sLine;
    if (!pFile || !sBuffer.Read(pFile.get(), &sLine) || sLine.empty())
        return "the folder could not be listed";
    const std::size_t nColon = sLine.rfind(": ");
    return std::string(nColon == std::string_view::npos ? sLine : sLine.substr(nColon + 2));
}

/* Text in the Panel group's colours, its field as wide as the text's columns. */
int CreatePanelText(int nRow, int nColumn, const char *pszName, const std::string &sText)
{
    return OVCreateGroupText(psPabi, nRow, nColumn, pszName, sText.c_str(), OVDG_PANEL);
}

/* The end of the text that fits nColumns display columns, its start cut to "~". */
std::string TailColumns(std::string_view sText, int nColumns)
{
    if (OVDisplayWidth(sText) <= nColumns) return std::string(sText);
    if (nColumns <= 0) return std::string();
    return "~" + std::string(sText.substr(OVColumnsSuffix(sText, nColumns - 1)));
}

/* The cursor's data line when the panel is built again at another size. Only a panel that
   the terminal held can tell: one built while the terminal was too small may have had too
   few rows for the line. */
void KeepCurrentLine(const PABI *psPanel)
{
    if (!OVTerminalFits(psPanel->nRows, psPanel->nColumns)) return;
    sFolderView.StandOn(DatalineRow(CurrentFieldName(psPanel).c_str()));
}

/* After the listing of the folder just entered failed: back to the folder listed before, on
   the same page and line once it is listed again. The user is told why in a box, except for
   a link that turned out not to lead to a folder, whose detail page is shown instead
   (*pbDetail, with its path in *psFile). */
void ListingFailed(std::string *psFile, bool *pbDetail)
{
    const FOLDER &sFailed = sFolderView.Folder();
    const std::string sPath(sFailed.szPath);
    const std::string sReason = ListingFailureReason();
    *pbDetail = sFailed.bThroughLink && sReason == "Not a directory";
    if (*pbDetail)
        *psFile = sPath.substr(0, sPath.size() - 1);
    sFolderView.ComeBack();
    if (!*pbDetail)
        OVShowMessage(OVLOG_ERROR, ("Cannot list " + sPath + ": " + sReason).c_str(), false);
}

/* The file the pages are read from: the view while a filter or hiding applies, else the
   listing itself. */
const char *ShownFile() { return sView.bShown ? szViewFile : szTempFile; }

/* The view of the folder shown written again for its look; bNarrow lets a filter that only
   grew read the view before instead of the whole listing. 0, or 8 (logged) with the whole
   listing shown. */
int RefreshView(bool bNarrow)
{
    const FOLDERLOOK &sLook = sFolderView.Look();
    if (sLook.sFilter.empty() && !sLook.bHideDots) {
        sView.bShown = false;
        return OVRC_OK;
    }
    const std::string sFolded = OVFoldCase(sLook.sFilter);
    const bool bFromView = bNarrow && sView.bShown && sView.bHides == sLook.bHideDots &&
                           sFolded.find(sView.sFolded) != std::string::npos;
    const std::string sNew = std::string(szViewFile) + ".New";
    OVTempFileGuard sNewGuard(sNew.c_str());
    const long nMatches =
        WriteView(bFromView ? szViewFile : szTempFile, sNew.c_str(), sFolded, sLook.bHideDots);
    OVRegisterTempFile(szViewFile);
    if (nMatches < 0 || rename(sNew.c_str(), szViewFile) != 0) {
        OVLog(OVLOG_ERROR, "orvikfsys RefreshView: Unable to write the view %.200s.", szViewFile);
        sView.bShown = false;
        return OVRC_ERROR;
    }
    sView = VIEW{true, sFolded, sLook.bHideDots, nMatches};
    return OVRC_OK;
}

/* The page and line of the name the folder shown is to stand on, when it has one. */
void LandOnStandOn()
{
    FOLDERLOOK &sLook = sFolderView.Look();
    if (sLook.sStandOn.empty()) return;
    std::vector<std::int64_t> afStart;
    int nRow = 0;
    if (FindPages(ShownFile(), nMaxPanelRows, sLook.sStandOn, &afStart, &nRow))
        sFolderView.Land(afStart, nRow);
    sLook.sStandOn.clear();
}

/* Notes the name the cursor stands on, for the folder to come back to it. */
void NoteStandOn()
{
    const int nLine = sFolderView.Line();
    LSROW sRow;
    if (nLine < static_cast<int>(asPageRow.size()) && ParseListingRow(asPageRow[nLine], &sRow))
        sFolderView.Look().sStandOn = std::string(sRow.sName);
}

/* Tab on the "Go to" line: the name typed last completed from the folder shown, when the
   folders typed before it lead there. */
void CompleteTyped()
{
    const std::string &sText = sTyped.sText;
    const std::size_t nSlash = sText.rfind('/');
    const std::string sFolder = nSlash == std::string::npos ? "" : sText.substr(0, nSlash + 1);
    const std::string sPart = sText.substr(sFolder.size());
    if (ResolveFolderPath(sFolder.empty() ? "." : sFolder, sFolderView.Folder().szPath) !=
        sFolderView.Folder().szPath)
        return;
    const std::string sName = CompleteName(szTempFile, sPart);
    if (sName.size() > sPart.size() && sFolder.size() + sName.size() <= OVMAXLINEEDIT) {
        sTyped.sText = sFolder + sName;
        sTyped.nCursor = sTyped.sText.size();
    }
}

/* Enter on the "Go to" line: the folder typed is listed next. */
void GoToTyped()
{
    const std::string sPath = ResolveFolderPath(sTyped.sText, sFolderView.Folder().szPath);
    if (sPath.empty()) return;
    NoteStandOn();
    if (const char *pszWhy = sFolderView.GoTo(sPath)) {
        OVLog(OVLOG_ERROR, "orvikfsys Process_Request: Unable to go to %.300s: %s.", sPath.c_str(),
              pszWhy);
        OVShowMessage(OVLOG_ERROR, ("Cannot list " + sPath + ": " + pszWhy).c_str(), false);
    }
}

bool IsBackspace(int nKey) { return nKey == OVKEY_BACKSPACE || nKey == 127 || nKey == 8; }

/* PgDn, PgUp, Home and End: another page of the folder shown. */
bool TurnPage(int nKey)
{
    if (nKey == OVKEY_NPAGE) {
        sFolderView.Forward(sPage.fNext);
    } else if (nKey == OVKEY_PPAGE) {
        sFolderView.Backward();
    } else if (nKey == OVKEY_HOME) {
        sFolderView.FirstPage();
    } else if (nKey == OVKEY_END) {
        std::vector<std::int64_t> afStart;
        int nRow = 0;
        if (FindPages(ShownFile(), nMaxPanelRows, "", &afStart, &nRow))
            sFolderView.Land(afStart, 0);
    } else {
        return false;
    }
    return true;
}

/* The filter removed: the whole listing again, on the entry the cursor stood on. */
void RemoveFilter()
{
    NoteStandOn();
    sFolderView.Look().sFilter.clear();
    eTyping = TYPING_NONE;
    RefreshView(false);
    LandOnStandOn();
}

/* A key the listing asked for: a typed line's editing, a page, or one of the letters. */
void TakeKey(int nKey)
{
    FOLDERLOOK &sLook = sFolderView.Look();
    if (eTyping != TYPING_NONE && nKey != OVKEY_HOME && nKey != OVKEY_END && TurnPage(nKey))
        return;
    if (eTyping == TYPING_FILTER) {
        if (nKey == OVKEY_ESCAPE || (IsBackspace(nKey) && sTyped.sText.empty())) {
            RemoveFilter();
        } else if (nKey == OVKEY_ENTER) {
            /* Without a match the filter stays open, to be mended. */
            if (sView.bShown && sView.nMatches == 0) return;
            eTyping = TYPING_NONE;
            sFolderView.FirstPage();
            bToFirstMatch = true;
        } else if (OVEditLine(&sTyped, nKey)) {
            sLook.sFilter = sTyped.sText;
            if (sLook.sFilter.empty()) return RemoveFilter();
            RefreshView(true);
            sFolderView.FirstPage();
        }
        return;
    }
    if (eTyping == TYPING_GOTO) {
        if (nKey == OVKEY_ESCAPE || (IsBackspace(nKey) && sTyped.sText.empty())) {
            eTyping = TYPING_NONE;
        } else if (nKey == OVKEY_ENTER) {
            eTyping = TYPING_NONE;
            GoToTyped();
        } else if (nKey == OVKEY_TAB) {
            CompleteTyped();
        } else {
            OVEditLine(&sTyped, nKey);
        }
        return;
    }
    if (TurnPage(nKey)) return;
    if (nKey == OVKEY_ESCAPE) {
        /* A kept filter goes before the browser does. */
        RemoveFilter();
    } else if (nKey == '/') {
        eTyping = TYPING_FILTER;
        sTyped = OVLINEEDIT{sLook.sFilter, sLook.sFilter.size(), ""};
    } else if (nKey == 'g') {
        eTyping = TYPING_GOTO;
        sTyped = OVLINEEDIT();
    } else if (nKey == 's') {
        NoteStandOn();
        sLook.nSort = (sLook.nSort + 1) % FSSORTS;
        sFolderView.ListAgain();
    } else if (nKey == '.') {
        NoteStandOn();
        sLook.bHideDots = !sLook.bHideDots;
        RefreshView(false);
        LandOnStandOn();
    }
}

/* The row above the action bar: the line being typed, else the keys when they fit. */
int CreateTypedLine(int nMargin)
{
    const int nRow = psPabi->nRows - 2;
    const int nRoom = psPabi->nColumns - nMargin - 5;
    if (eTyping == TYPING_NONE) {
        if (OVDisplayWidth(szKeysHint) > nRoom) return OVRC_OK;
        return CreatePanelText(nRow, nMargin + 4, "Keys", szKeysHint);
    }
    const std::string sPrompt = eTyping == TYPING_FILTER ? "/" : szGoToPrompt;
    const std::string sText = ScreenText(sTyped.sText, nShownText, false);
    const int nPrompt = OVDisplayWidth(sPrompt);
    return CreatePanelText(nRow, nMargin + 4, "Typed",
                           sPrompt + TailColumns(sText, nRoom - nPrompt - 1));
}

}  // namespace

std::string FormatListingLine(const LSROW &sRow)
{
    std::string sLine;
    std::string_view sName = sRow.sName;
    /* The response loop takes a line that begins with a push button's label for that
       button; such a name starts one column further right. */
    for (const char *pszWord : apszButtonWords) {
        if (sName.substr(0, std::strlen(pszWord)) == pszWord) {
            sLine += ' ';
            break;
        }
    }
    /* Columns are display columns: a name of wide or accented characters, or one too long
       for its column, leaves size, date and flags where the headings stand. */
    sLine += ScreenText(sName, nNameWidth - static_cast<int>(sLine.size()), true);
    sLine += ScreenText(sRow.sSize, nDateOffset - nSizeOffset - 1, true) + ' ';
    sLine += ScreenText(sRow.sDateTime, nFlagsOffset - nDateOffset - 1, true) + ' ';
    sLine += ScreenText(sRow.sMode.substr(0, nFlagsWidth), nLineLength - nFlagsOffset, true);
    return sLine;
}

std::string ListingTitle(const char *pszSystem, const char *pszFolder, int nColumns,
                         std::string_view sLook)
{
    /* The filter and order stay whole, in half the width at most; the rest fits before. */
    const std::string sAfter = ScreenText(sLook, std::max(nColumns / 2, 1), false);
    const int nRoom = std::max(nColumns - 2 - OVDisplayWidth(sAfter), 1);
    const std::string sFolder = ScreenText(pszFolder, nShownText, false);
    const std::string sSystem =
        pszSystem != nullptr ? ScreenText(pszSystem, nShownText, false) + ":" : std::string();
    const std::string sWhole = std::string(szListingTitle) + ": " + sSystem + sFolder;
    if (OVDisplayWidth(sWhole) <= nRoom) return sWhole + sAfter;
    /* Too narrow for all of it: where the folder lies matters more than the program's
       name, and its last folders more than its first ones. */
    const int nSystem = OVDisplayWidth(sSystem);
    if (nSystem + 2 <= nRoom) return sSystem + TailColumns(sFolder, nRoom - nSystem) + sAfter;
    return TailColumns(sSystem + sFolder, nRoom) + sAfter;
}

int Get_Directory_Data()
{
    const char *pszFolder = sFolderView.Folder().szPath;
    OVTraceStart("orvikfsys Get_Directory_Data", "szFolder: %s.", pszFolder);
    /* A remote listing may be cancelled or lose its link: the listing shown so far waits
       beside the new one until that has come, so the browser can go back to it. */
    const std::string sPrevious = std::string(szTempFile) + ".Previous";
    const bool bKeep = psConnectedSystem != nullptr && sFolderView.HasListing() &&
                       rename(szTempFile, sPrevious.c_str()) == 0;
    OVTempFileGuard sPreviousGuard(bKeep ? sPrevious.c_str() : nullptr);
    /* The listing files are made ours before any command writes through their names. */
    if (OVClaimTempFile(szTempFile) != OVRC_OK || OVClaimTempFile(szErrorFile) != OVRC_OK)
        return OVTraceEnd("orvikfsys Get_Directory_Data", OVRC_ERROR);
    /* They live until Finish; an abnormal end removes them too. */
    OVRegisterTempFile(szTempFile);
    OVRegisterTempFile(szErrorFile);

    std::unique_ptr<char[]> pOutput(new char[nCommandOutputSize]());
    const std::string sList = std::string(szListCommand) +
                              asSortOrder[sFolderView.Look().nSort].pszOption + " " +
                              OVShellWord(pszFolder);
    std::string sCommand;
    int nRc;
    if (psConnectedSystem != nullptr) {
        sCommand = sList;
        const std::string sStep = "Listing " + std::string(pszFolder);
        OVRemoteStepName sName(sStep.c_str());
        std::string sReason;
        nRc = ExecuteRemoteCommand(psConnectedSystem, sCommand.c_str(), pOutput.get(),
                                   nCommandOutputSize, szTempFile, szErrorFile, &sReason);
        if (nRc == OVRC_CMDFAILED)
            OVShowFailure(OVRemoteFailureText(psConnectedSystem, sReason).c_str(), false);
        if (nRc == OVRC_CANCELLED || nRc == OVRC_CMDFAILED) {
            /* Cancelled, or the link failed (now told): back to what was listed before,
               when there was something. */
            if (bKeep) rename(sPrevious.c_str(), szTempFile);
            return OVTraceEnd("orvikfsys Get_Directory_Data", nRc);
        }
        if (bKeep) unlink(sPrevious.c_str());
        if (nRc == OVRC_OVERFLOW) {
            /* A listing without end was stopped (and logged): what came is shown. */
            const std::string sCut = "The listing of " + std::string(pszFolder) + " passed " +
                                     std::to_string(OVMAXREMOTEOUTPUT >> 20) +
                                     " MiB and was stopped; only its first part is shown.";
            OVShowMessage(OVLOG_WARNING, sCut.c_str(), false);
            nRc = OVRC_OK;
        }
    } else {
        sCommand = sList + " > " + OVShellWord(szTempFile) + " 2>" + OVShellWord(szErrorFile);
        nRc = ExecuteCommand(sCommand.c_str(), pOutput.get(), nCommandOutputSize);
    }
    /* ls also ends non-zero when only some entries could not be read: what it listed is
       shown. A listing that did not come at all is a failure, whatever the status said. */
    if (nRc == OVRC_OK && !HasListing()) nRc = OVRC_CMDFAILED;
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR,
              "orvikfsys Get_Directory_Data: Unable to execute command %-.128s, return: %d.",
              sCommand.c_str(), nRc);
        LogListingErrors();
        if (!HasListing()) return OVTraceEnd("orvikfsys Get_Directory_Data", OVRC_ERROR);
    }
    return OVTraceEnd("orvikfsys Get_Directory_Data", OVRC_OK);
}

int Get_Panel_Data()
{
    sPage.fStart = sFolderView.PageStart();
    sPage.fNext = -1;
    asPageRow.clear();
    aeRowState.clear();
    OVTraceStart("orvikfsys Get_Panel_Data", "page: %d, fStart: %lld.", sFolderView.Page() + 1,
                 static_cast<long long>(sPage.fStart));
    const char *pszShown = ShownFile();
    OVFilePtr pFile(std::fopen(pszShown, "r"));
    if (!pFile) {
        OVLog(OVLOG_ERROR, "orvikfsys Get_Panel_Data: Temp file: %-.64ss is empty.\n",
              pszShown);
        return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
    }
    if (sPage.fStart != 0) {
        int nRc = fseeko(pFile.get(), static_cast<off_t>(sPage.fStart), SEEK_SET);
        if (nRc != 0) {
            OVLog(OVLOG_ERROR,
                  "orvikfsys Get_Panel_Data: fseek failed for Temp file: %-.64ss, nRc: %d.\n",
                  pszShown, nRc);
            return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
        }
    }

    LineBuffer sBuffer;
    std::string_view sLine;
    bool bHaveLine = sBuffer.Read(pFile.get(), &sLine);
    if (bHaveLine && sPage.fStart == 0 && IsTotalLine(sLine))
        bHaveLine = sBuffer.Read(pFile.get(), &sLine);

    int nLastEntry = -1;
    LSROW sRow;
    while (bHaveLine) {
        asPageRow.emplace_back(sLine);
        aeRowState.push_back(ROW_WHOLE);
        if (ParseListingRow(sLine, &sRow)) {
            nLastEntry = static_cast<int>(asPageRow.size()) - 1;
        } else if (nLastEntry >= 0) {
            aeRowState[nLastEntry] = ROW_CONTINUED;
        }
        if (static_cast<int>(asPageRow.size()) >= nMaxPanelRows) break;
        bHaveLine = sBuffer.Read(pFile.get(), &sLine);
    }

    if (static_cast<int>(asPageRow.size()) == nMaxPanelRows) {
        off_t nOffset = ftello(pFile.get());
        if (nOffset < 0) {
            OVLog(OVLOG_ERROR, "orvikfsys Get_Panel_Data: ftell failed for Temp file: %-.64s.\n",
                  pszShown);
            return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
        }
        sPage.fNext = nOffset;
        /* The first line of the next page may be the rest of this page's last name. */
        if (nLastEntry >= 0 && sBuffer.Read(pFile.get(), &sLine) && !ParseListingRow(sLine, &sRow))
            aeRowState[nLastEntry] = ROW_CONTINUED;
    }
    return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_OK);
}

int Present_Panel()
{
    OVTraceStart("orvikfsys Present_Panel", "rows: %zu.", asPageRow.size());
    const int nColumns = psPabi->nColumns;
    const int nMargin = OVLayoutMargin(psPabi);

    /* The push buttons stand where the program's name alone would be centred. */
    std::string sName = szListingTitle;
    if (psConnectedSystem != nullptr) sName += std::string(": ") + psConnectedSystem->szIP;
    const int nBarColumn = OVCentredColumn(psPabi, OVDisplayWidth(sName));
    const FOLDERLOOK &sLook = sFolderView.Look();
    std::string sLookText;
    if (!sLook.sFilter.empty()) sLookText = "  [" + sLook.sFilter + "]";
    sLookText += asSortOrder[sLook.nSort].pszTitle;
    const std::string sTitle =
        ListingTitle(psConnectedSystem != nullptr ? psConnectedSystem->szIP : nullptr,
                     sFolderView.Folder().szPath, nColumns, sLookText);
    int nRc = CreatePanelText(1, OVCentredColumn(psPabi, OVDisplayWidth(sTitle)), "Title", sTitle);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Panel Title, rc: %d.", nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }
    const std::string sPageText = "page " + std::to_string(sFolderView.Page() + 1);
    nRc = CreatePanelText(2, nMargin + nPageEnd - static_cast<int>(sPageText.size()), "Page",
                          sPageText);
    if (nRc == OVRC_OK) nRc = CreatePanelText(3, nMargin + 4, "PTHEAD1", paszHeading1);
    if (nRc == OVRC_OK) nRc = CreatePanelText(3, nMargin + 40, "PTHEAD2", paszHeading2);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Panel Heading, rc: %d.",
              nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }

    int nScreenRow = 4;
    int nFirstShown = -1;
    int nCursorRow = -1;  /* the current line, or the last line shown before it */
    for (int i = 0; i < static_cast<int>(asPageRow.size()); ++i) {
        LSROW sRow;
        if (!ParseListingRow(asPageRow[i], &sRow)) continue;
        char szDatalineID[40];
        std::snprintf(szDatalineID, sizeof szDatalineID, "%s%d", szDatalinePrefix, i);
        const std::string sLine = FormatListingLine(sRow);
        const int nLength = std::max(nColumns - 6, OVDisplayWidth(sLine));
        nRc = OVCreateFieldi(psPabi, nScreenRow++, nMargin + 4, nLength, szDatalineID,
                             sLine.c_str(), OVSTYLE_TAB, 0, 4, 7);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikfsys Present_Panel: Unable to Create Filesystem detail line: %d, "
                  "szDatalineID: %.32s, rc: %d.",
                  i, szDatalineID, nRc);
            return OVTraceEnd("orvikfsys Present_Panel", nRc);
        }
        if (nFirstShown < 0) nFirstShown = i;
        if (i <= sFolderView.Line()) nCursorRow = i;
    }

    if (nRc == OVRC_OK && sView.bShown && sView.nMatches == 0 && !sLook.sFilter.empty())
        nRc = CreatePanelText(nScreenRow, nMargin + 4, "NoMatch",
                              "No entry matches " + ScreenText(sLook.sFilter, nColumns / 2, false));
    if (nRc == OVRC_OK) nRc = CreateTypedLine(nMargin);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create the typed line, rc: %d.", nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }

    if (sPage.fNext >= 0) ulABAttibute |= OVAB_FORWARD;
    if (sFolderView.Page() > 0) ulABAttibute |= OVAB_BACKWARD;
    ulABAttibute |= OVAB_RETURN | OVAB_HELP | OVAB_EXIT;
    int nResponse = 0;
    nRc = OVCreateActionBari(psPabi, psPabi->nRows - 1, nBarColumn, nColumns - 4, ulABAttibute,
                             &nResponse);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Action Bar, rc: %d.", nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }
    if (nCursorRow < 0) nCursorRow = nFirstShown;
    std::string sCursor = "Return ";
    if (nCursorRow >= 0) sCursor = szDatalinePrefix + std::to_string(nCursorRow);
    /* After Forward or Backward the cursor stays on it, while the page offers it. */
    const std::string_view sStayOn = pszStayOn != nullptr ? pszStayOn : "";
    if ((sStayOn == "Forward " && (ulABAttibute & OVAB_FORWARD) != 0) ||
        (sStayOn == "Backward " && (ulABAttibute & OVAB_BACKWARD) != 0))
        sCursor = pszStayOn;
    psPabi->ulKeys = OVKEYS_PAGING | (eTyping == TYPING_NONE ? OVKEYS_LETTERS : OVKEYS_TEXT) |
                     (eTyping == TYPING_GOTO ? OVKEYS_TAB : 0) |
                     (eTyping == TYPING_NONE && !sFolderView.Look().sFilter.empty() ? OVKEYS_ESCAPE : 0);
    nRc = SetCursori(psPabi, sCursor.c_str());
    return OVTraceEnd("orvikfsys Present_Panel", nRc);
}

int Process_Request()
{
    OVTraceStart("orvikfsys Process_Request", "pszHelpInfo: %p.",
                 static_cast<void *>(pszHelpInfo));
    int nRc = OVRC_OK;
    int nUserRc = OVRC_OK;
    while (nRc == OVRC_OK && nUserRc == OVRC_OK) {
        psPabi = CreateBrowserPanel("orvikfsys Process_Request");
        if (psPabi == nullptr) {
            OVRestoreTerminal();
            return OVTraceEnd("orvikfsys Process_Request", OVRC_ERROR);
        }
        /* At least one row, so that Forward always moves on. The page follows the panel's
           height; its first row stays where it was, whatever the size. */
        nMaxPanelRows = std::clamp(psPabi->nRows - 6, 1, FSMAXPAGEROWS);
        ulABAttibute = 0;

        int nDataRc = OVRC_OK;
        std::string sFile;
        bool bDetail = false;
        if (sFolderView.MustList()) {
            nDataRc = Get_Directory_Data();
            if (nDataRc == OVRC_ERROR && sFolderView.CanComeBack()) {
                /* The folder could not be listed: the user stays where they came from, and
                   is told why; a link that does not lead to a folder shows its page. */
                OVDeletePanel(psPabi);
                psPabi = nullptr;
                ListingFailed(&sFile, &bDetail);
                if (bDetail) {
                    nRc = psConnectedSystem != nullptr ? Do_Remote_Detail_Page(sFile.c_str())
                                                       : Do_Detail_Page(sFile.c_str());
                }
                continue;
            }
            if (nDataRc == OVRC_CANCELLED || nDataRc == OVRC_CMDFAILED) {
                OVDeletePanel(psPabi);
                psPabi = nullptr;
                if (!sFolderView.HasListing()) {
                    /* No page to go back to: a cancel ends the browser as Ctrl-c does; a
                       failed link has been told, and ends it. */
                    if (nDataRc == OVRC_CANCELLED) raise(SIGINT);
                    return OVTraceEnd("orvikfsys Process_Request", OVRC_ERROR);
                }
                /* Back to the folder and the page listed before. */
                sFolderView.KeepListing();
                if (nDataRc == OVRC_CANCELLED) OVShowMessage(OVLOG_INFO, "Cancelled.");
                continue;
            }
            /* The folder's pages start afresh, whether or not its listing came; a folder
               come back to stands where it was left. */
            sFolderView.Listed();
            if (nDataRc == OVRC_OK) RefreshView(false);
            LandOnStandOn();
        }
        if (nDataRc == OVRC_OK) {
            Get_Panel_Data();
            if (bToFirstMatch) {
                bToFirstMatch = false;
                LSROW sRow;
                for (int i = 0; i < static_cast<int>(asPageRow.size()); ++i)
                    if (ParseListingRow(asPageRow[i], &sRow) && sRow.sName != "./" &&
                        sRow.sName != "../") {
                        sFolderView.StandOn(i);
                        break;
                    }
            }
        } else {
            asPageRow.clear();
            aeRowState.clear();
            sPage = LISTPAGE();
        }
        nRc = Present_Panel();

        if (nRc == OVRC_OK) {
            char szResponseID[40] = "";
            int nResponse = 0;
            if (nKeyTimed != 0 && bDebug)
                OVLog(OVLOG_DEBUG, "orvikfsys Process_Request: key %d to page %d in %.2f ms.",
                      nKeyTimed, sFolderView.Page() + 1,
                      std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - tKey).count());
            nKeyTimed = 0;
            nUserRc = OVGetUserResponsei(psPabi, szResponseID, &nResponse);
            const char *pszStayedOn = pszStayOn;
            pszStayOn = nullptr;
            if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
                KeepCurrentLine(psPabi);
                if (pszStayedOn != nullptr && CurrentFieldName(psPabi) == pszStayedOn)
                    pszStayOn = pszStayedOn;
            } else if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_KEY) {
                tKey = std::chrono::steady_clock::now();
                const int nKey = psPabi->nKey;
                nKeyTimed = nKey;
                sFolderView.StandOn(DatalineRow(CurrentFieldName(psPabi).c_str()));
                OVDeletePanel(psPabi);
                psPabi = nullptr;
                TakeKey(nKey);
                continue;
            } else if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_FIELD) {
                if (DatalineRow(szResponseID) >= 0) {
                    bDetail = ChooseEntry(szResponseID, &sFile);
                } else if (std::strcmp(szResponseID, "Forward ") == 0) {
                    sFolderView.Forward(sPage.fNext);
                    pszStayOn = "Forward ";
                } else if (std::strcmp(szResponseID, "Backward ") == 0) {
                    sFolderView.Backward();
                    pszStayOn = "Backward ";
                }
            }
            /* Anything else (the help box) shows the same page again. */
        }
        OVDeletePanel(psPabi);
        psPabi = nullptr;

        if (bDetail)
            nRc = psConnectedSystem != nullptr ? Do_Remote_Detail_Page(sFile.c_str())
                                               : Do_Detail_Page(sFile.c_str());
    }
    if (nRc == OVRC_OK) nRc = nUserRc == OVRC_RETURN ? OVRC_OK : nUserRc;
    return OVTraceEnd("orvikfsys Process_Request", nRc);
}
