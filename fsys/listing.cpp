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

/* Why an entry of the page may not be opened, besides what its row says. */
enum ROWSTATE : unsigned char {
    ROW_WHOLE = 0,
    ROW_CONTINUED = 2    /* the name holds a newline: the next lines are the rest of it */
};
std::vector<ROWSTATE> aeRowState;   /* one per row of asPageRow */

/* Push-button labels that the response loop recognises at the start of any field's value. */
constexpr const char *apszButtonWords[] = {"Return ", "Exit ", "Help "};

struct LineBuffer {
    char *pszLine = nullptr;
    std::size_t nSize = 0;
    ~LineBuffer() { std::free(pszLine); }
    /* The next line without its newline, or false at the end of the file. */
    bool Read(std::FILE *pFile, std::string_view *psLine)
    {
        ssize_t nRead = getline(&pszLine, &nSize, pFile);
        if (nRead < 0) return false;
        std::size_t nLength = static_cast<std::size_t>(nRead);
        if (nLength > 0 && pszLine[nLength - 1] == '\n') --nLength;
        *psLine = std::string_view(pszLine, nLength);
        return true;
    }
};

bool IsTotalLine(std::string_view sLine) { return sLine.substr(0, 6) == "total "; }

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

std::string ListingTitle(const char *pszSystem, const char *pszFolder, int nColumns)
{
    const int nRoom = nColumns > 3 ? nColumns - 2 : 1;
    const std::string sFolder = ScreenText(pszFolder, nShownText, false);
    const std::string sSystem =
        pszSystem != nullptr ? ScreenText(pszSystem, nShownText, false) + ":" : std::string();
    const std::string sWhole = std::string(szListingTitle) + ": " + sSystem + sFolder;
    if (OVDisplayWidth(sWhole) <= nRoom) return sWhole;
    /* Too narrow for all of it: where the folder lies matters more than the program's
       name, and its last folders more than its first ones. */
    const int nSystem = OVDisplayWidth(sSystem);
    if (nSystem + 2 <= nRoom) return sSystem + TailColumns(sFolder, nRoom - nSystem);
    return TailColumns(sSystem + sFolder, nRoom);
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
    const std::string sList = std::string(szListCommand) + " " + OVShellWord(pszFolder);
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
    OVFilePtr pFile(std::fopen(szTempFile, "r"));
    if (!pFile) {
        OVLog(OVLOG_ERROR, "orvikfsys Get_Panel_Data: Temp file: %-.64ss is empty.\n",
              szTempFile);
        return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
    }
    if (sPage.fStart != 0) {
        int nRc = fseeko(pFile.get(), static_cast<off_t>(sPage.fStart), SEEK_SET);
        if (nRc != 0) {
            OVLog(OVLOG_ERROR,
                  "orvikfsys Get_Panel_Data: fseek failed for Temp file: %-.64ss, nRc: %d.\n",
                  szTempFile, nRc);
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
                  szTempFile);
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
    const std::string sTitle =
        ListingTitle(psConnectedSystem != nullptr ? psConnectedSystem->szIP : nullptr,
                     sFolderView.Folder().szPath, nColumns);
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
            if (nDataRc == OVRC_ERROR && sFolderView.HasListing() && !sFolderView.ShowsListed()) {
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
            /* The folder's pages start afresh, whether or not its listing came. */
            sFolderView.Listed();
        }
        if (nDataRc == OVRC_OK) {
            Get_Panel_Data();
        } else {
            asPageRow.clear();
            aeRowState.clear();
            sPage = LISTPAGE();
        }
        nRc = Present_Panel();

        if (nRc == OVRC_OK) {
            char szResponseID[40] = "";
            int nResponse = 0;
            nUserRc = OVGetUserResponsei(psPabi, szResponseID, &nResponse);
            if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
                KeepCurrentLine(psPabi);
            } else if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_FIELD) {
                if (DatalineRow(szResponseID) >= 0) {
                    bDetail = ChooseEntry(szResponseID, &sFile);
                } else if (std::strcmp(szResponseID, "Forward ") == 0) {
                    sFolderView.Forward(sPage.fNext);
                } else if (std::strcmp(szResponseID, "Backward ") == 0) {
                    sFolderView.Backward();
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
