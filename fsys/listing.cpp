/*
 * listing.cpp - the listing loop of orvikfsys: the `ls` command for the folder shown, the
 * page of its output read from the listing file, the panel of selectable lines, and the step
 * into a folder, back up, or to a file's detail page.
 *
 * The listing runs once per folder into szTempFile; paging only seeks in that file, so a
 * page costs the same wherever it lies and memory does not grow with the folder. The entry
 * a line stands for is always taken from its own row of the page, never from the line's text.
 */
#include "orvikfsys.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int nMyPid = 0;
int nFileSequence = 0;
char szTempFile[FSPATHSIZE] = "";
char szErrorFile[FSPATHSIZE] = "";
FOLDER asFolder[FSMAXFOLDERS] = {};
int nFolderLevel = 0;
int nListedLevel = -1;
char szFolderSave[FSPATHSIZE] = "";
std::int64_t fPosition = 0;
std::int64_t fPositionSave = 0;
char *pFileData = nullptr;
int nFileDataRows = 0;
int nMaxPanelRows = 0;
unsigned long ulABAttibute = 0;
PABI *psPabi = nullptr;

namespace {

const char paszHeading1[] = "Directory/File Name";
const char paszHeading2[] = "    Size     Date Time      Flags";
const char szListingTitle[] = "Orvik Explore Filesystems";
const char szListCommand[] = "ls -lpah --time-style=+%D-%H:%M";
const char szDatalinePrefix[] = "Dataline-";

constexpr int nCommandOutputSize = 32767;
constexpr int nRowText = FSROWSIZE - 2;     /* characters of a line kept in a row */

/* Columns of the data line and their widths. */
constexpr int nLineLength = 74;
constexpr int nNameWidth = 40;
constexpr int nSizeOffset = 40;
constexpr int nDateOffset = 49;
constexpr int nFlagsOffset = 64;
constexpr int nFlagsWidth = 10;

/* Why an entry of the page may not be opened, besides what its row says. */
enum ROWSTATE : unsigned char {
    ROW_WHOLE = 0,
    ROW_CUT = 1,         /* the line was longer than a row: the name is not all there */
    ROW_CONTINUED = 2    /* the name holds a newline: the next lines are the rest of it */
};
ROWSTATE aeRowState[FSMAXROWS];

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

std::string_view NextWord(std::string_view sRow, std::size_t *pnAt)
{
    std::size_t nAt = *pnAt;
    while (nAt < sRow.size() && sRow[nAt] == ' ') ++nAt;
    std::size_t nStart = nAt;
    while (nAt < sRow.size() && sRow[nAt] != ' ') ++nAt;
    *pnAt = nAt;
    return sRow.substr(nStart, nAt - nStart);
}

bool OneOf(char c, const char *pszSet) { return c != '\0' && std::strchr(pszSet, c) != nullptr; }

/* "drwxr-xr-x", with an access-control or security-context mark after it at most. */
bool IsModeWord(std::string_view sWord)
{
    if (sWord.size() < 10 || sWord.size() > 11 || !OneOf(sWord[0], "-dlcbpsD?")) return false;
    for (std::size_t i = 1; i < 10; ++i)
        if (!OneOf(sWord[i], "rwxsStT-?")) return false;
    return sWord.size() == 10 || OneOf(sWord[10], ".+@");
}

bool IsCountWord(std::string_view sWord)
{
    if (sWord.empty()) return false;
    if (sWord == "?") return true;
    for (char c : sWord)
        if (c < '0' || c > '9') return false;
    return true;
}

const char *RowAt(int nRow) { return pFileData + static_cast<std::ptrdiff_t>(nRow) * FSROWSIZE; }

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

/* The step into a folder of the listing. asFolder stays a chain of real folders, one per
   level: "../" goes back a level, "./" lists the same folder afresh, and a name goes one
   level down. A step beyond the table or the path size is refused and logged. */
void EnterFolder(std::string_view sName)
{
    if (sName == "./" || sName == "../") {
        if (sName == "../" && nFolderLevel > 0) --nFolderLevel;
        szFolderSave[0] = '\0';  /* listed afresh from its first page */
        return;
    }
    const char *pszFolder = asFolder[nFolderLevel].szPath;
    std::string sPath = std::string(pszFolder) + std::string(sName);
    if (nFolderLevel + 1 >= FSMAXFOLDERS || sPath.size() >= FSPATHSIZE) {
        OVLog(OVLOG_ERROR,
              "orvikfsys Process_Request: Unable to enter folder %.300s: %s (level %d).",
              sPath.c_str(),
              nFolderLevel + 1 >= FSMAXFOLDERS ? "too many folder levels" : "path too long",
              nFolderLevel + 1);
        fPosition = fPositionSave;
        return;
    }
    ++nFolderLevel;
    OVCopyText(asFolder[nFolderLevel].szPath, FSPATHSIZE, sPath.c_str());
}

/* What choosing a data line does: a folder is entered at once, a file's full path is put
   into *psFile for its detail page. False when nothing more is to be done. */
bool ChooseEntry(const char *pszResponseID, std::string *psFile)
{
    char *pszEnd = nullptr;
    long nRow = std::strtol(pszResponseID + std::strlen(szDatalinePrefix), &pszEnd, 10);
    LSROW sRow;
    if (pszEnd == nullptr || *pszEnd != '\0' || nRow < 0 || nRow >= nFileDataRows ||
        !ParseListingRow(RowAt(static_cast<int>(nRow)), &sRow)) {
        OVLog(OVLOG_ERROR, "orvikfsys Process_Request: No entry for %.32s.", pszResponseID);
        fPosition = fPositionSave;
        return false;
    }
    if (aeRowState[nRow] != ROW_WHOLE) {
        OVLog(OVLOG_ERROR, "orvikfsys Process_Request: Refusing to open %.*s...: %s.",
              static_cast<int>(sRow.sName.size()), sRow.sName.data(),
              aeRowState[nRow] == ROW_CUT ? "its listing line is cut"
                                          : "the name holds a newline");
        fPosition = fPositionSave;
        return false;
    }
    if (sRow.sName.back() == '/') {
        EnterFolder(sRow.sName);
        return false;
    }
    *psFile = std::string(asFolder[nFolderLevel].szPath) + std::string(sRow.sName);
    return true;
}

int CreatePanelText(int nRow, int nColumn, const char *pszName, const char *pszText)
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    return OVCreateFieldi(psPabi, nRow, nColumn, static_cast<int>(std::strlen(pszText)), pszName,
                          pszText, 0, sPanel.nAttribute, sPanel.nBackgroundColor,
                          sPanel.nForegroundColor);
}

}  // namespace

bool ParseListingRow(std::string_view sRow, LSROW *psRow)
{
    std::size_t nAt = 0;
    LSROW sRow7;
    sRow7.sMode = NextWord(sRow, &nAt);
    sRow7.sLinks = NextWord(sRow, &nAt);
    sRow7.sOwner = NextWord(sRow, &nAt);
    sRow7.sGroup = NextWord(sRow, &nAt);
    if (!IsModeWord(sRow7.sMode) || !IsCountWord(sRow7.sLinks) || sRow7.sGroup.empty())
        return false;
    std::size_t nSizeAt = nAt;
    std::string_view sSize = NextWord(sRow, &nAt);
    /* A device shows "major, minor" where the size stands. */
    if ((sRow7.sMode[0] == 'c' || sRow7.sMode[0] == 'b') && !sSize.empty() &&
        sSize.back() == ',') {
        std::string_view sMinor = NextWord(sRow, &nAt);
        if (sMinor.empty()) return false;
        nSizeAt = static_cast<std::size_t>(sSize.data() - sRow.data());
        sSize = sRow.substr(nSizeAt, nAt - nSizeAt);
    }
    sRow7.sSize = sSize;
    sRow7.sDateTime = NextWord(sRow, &nAt);
    /* The name is all that follows the one blank after the date-time, blanks included. */
    if (sRow7.sDateTime.empty() || nAt + 1 >= sRow.size()) return false;
    sRow7.sName = sRow.substr(nAt + 1);
    if (sRow7.sMode[0] == 'l') {
        std::size_t nArrow = sRow7.sName.find(" -> ");
        if (nArrow != std::string_view::npos && nArrow > 0) {
            sRow7.sTarget = sRow7.sName.substr(nArrow + 4);
            sRow7.sName = sRow7.sName.substr(0, nArrow);
        }
    }
    *psRow = sRow7;
    return true;
}

std::string FormatListingLine(const LSROW &sRow)
{
    std::string sLine;
    sLine.reserve(FSROWSIZE);
    std::string_view sName = sRow.sName;
    /* The response loop takes a line that begins with a push button's label for that
       button; such a name starts one column further right. */
    for (const char *pszWord : apszButtonWords) {
        if (sName.substr(0, std::strlen(pszWord)) == pszWord) {
            sLine += ' ';
            break;
        }
    }
    sLine += ScreenText(sName, nNameWidth - static_cast<int>(sLine.size()), true);
    sLine += ScreenText(sRow.sSize, nDateOffset - nSizeOffset - 1, true) + ' ';
    sLine += ScreenText(sRow.sDateTime, nFlagsOffset - nDateOffset - 1, true) + ' ';
    sLine += ScreenText(sRow.sMode.substr(0, nFlagsWidth), nLineLength - nFlagsOffset, true);
    return sLine;
}

std::string ScreenText(std::string_view sText, int nWidth, bool bPad)
{
    std::string sShown;
    int nUsed = 0;
    int nPending = 0;  /* continuation bytes still due to the character being copied */
    for (char c : sText) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u & 0xC0) == 0x80 && nPending > 0) {
            --nPending;
            sShown += c;
            continue;
        }
        if (nUsed == nWidth) break;
        ++nUsed;
        nPending = u >= 0xF0 ? 3 : u >= 0xE0 ? 2 : u >= 0xC0 ? 1 : 0;
        /* Control characters and stray continuation bytes would move or upset the screen. */
        bool bShown = u >= 0x20 && u != 0x7f && (u & 0xC0) != 0x80;
        sShown += bShown ? c : '?';
    }
    if (bPad && nUsed < nWidth) sShown.append(static_cast<std::size_t>(nWidth - nUsed), ' ');
    return sShown;
}

int LayoutMargin(const PABI *psPanel)
{
    return psPanel->nColumns > 80 ? (psPanel->nColumns - 80) / 2 : 0;
}

PABI *CreateBrowserPanel()
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    return OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, sPanel.nAttribute, sPanel.nBackgroundColor,
                          sPanel.nForegroundColor);
}

int AwaitDetailChoice(int nTitleColumn, unsigned long ulStyle, char *pszResponseID,
                      int *pnResponse)
{
    int nRc = OVCreateActionBari(psPabi, psPabi->nRows - 1, nTitleColumn, psPabi->nColumns - 4,
                                 ulStyle, pnResponse);
    if (nRc == OVRC_OK) nRc = SetCursori(psPabi, "Return ");
    if (nRc == OVRC_OK) nRc = OVGetUserResponsei(psPabi, pszResponseID, pnResponse);
    OVDeletePanel(psPabi);
    psPabi = nullptr;
    return nRc;
}

int Get_Directory_Data()
{
    const char *pszFolder = asFolder[nFolderLevel].szPath;
    OVTraceStart("orvikfsys Get_Directory_Data", "szFolder: %s.", pszFolder);
    /* A remote listing may be cancelled or lose its link: the listing shown so far waits
       beside the new one until that has come, so the browser can go back to it. */
    const std::string sPrevious = std::string(szTempFile) + ".Previous";
    const bool bKeep = psConnectedSystem != nullptr && nListedLevel >= 0 &&
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
        nRc = ExecuteRemoteCommand(psConnectedSystem, sCommand.c_str(), pOutput.get(),
                                   nCommandOutputSize, szTempFile, szErrorFile);
        if (nRc == OVRC_CANCELLED || nRc == OVRC_CMDFAILED) {
            /* Cancelled, or the link failed (the library has said so): back to what was
               listed before, when there was something. */
            if (bKeep) rename(sPrevious.c_str(), szTempFile);
            return OVTraceEnd("orvikfsys Get_Directory_Data", nRc);
        }
        if (bKeep) unlink(sPrevious.c_str());
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
    fPosition = 0;
    return OVTraceEnd("orvikfsys Get_Directory_Data", OVRC_OK);
}

int Get_Panel_Data()
{
    OVTraceStart("orvikfsys Get_Panel_Data", "fPosition: %lld.",
                 static_cast<long long>(fPosition));
    OVFilePtr pFile(std::fopen(szTempFile, "r"));
    if (!pFile) {
        OVLog(OVLOG_ERROR, "orvikfsys Get_Panel_Data: Temp file: %-.64ss is empty.\n",
              szTempFile);
        return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
    }
    fPositionSave = fPosition;
    if (fPosition != 0) {
        int nRc = fseeko(pFile.get(), static_cast<off_t>(fPosition), SEEK_SET);
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
    if (bHaveLine && fPosition == 0 && IsTotalLine(sLine))
        bHaveLine = sBuffer.Read(pFile.get(), &sLine);

    nFileDataRows = 0;
    int nLastEntry = -1;
    LSROW sRow;
    while (bHaveLine) {
        char *pszRow = pFileData + static_cast<std::ptrdiff_t>(nFileDataRows) * FSROWSIZE;
        OVCopyText(pszRow, nRowText + 1, std::string(sLine).c_str());
        aeRowState[nFileDataRows] = sLine.size() > nRowText ? ROW_CUT : ROW_WHOLE;
        if (ParseListingRow(sLine, &sRow)) {
            nLastEntry = nFileDataRows;
        } else if (nLastEntry >= 0) {
            aeRowState[nLastEntry] = ROW_CONTINUED;
        }
        ++nFileDataRows;
        if (nFileDataRows >= nMaxPanelRows) break;
        bHaveLine = sBuffer.Read(pFile.get(), &sLine);
    }

    if (nFileDataRows == nMaxPanelRows) {
        ulABAttibute |= OVAB_FORWARD;
        off_t nOffset = ftello(pFile.get());
        if (nOffset < 0) {
            OVLog(OVLOG_ERROR, "orvikfsys Get_Panel_Data: ftell failed for Temp file: %-.64s.\n",
                  szTempFile);
            return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_ERROR);
        }
        fPosition = nOffset;
        /* The first line of the next page may be the rest of this page's last name. */
        if (nLastEntry >= 0 && sBuffer.Read(pFile.get(), &sLine) && !ParseListingRow(sLine, &sRow))
            aeRowState[nLastEntry] = ROW_CONTINUED;
    }
    return OVTraceEnd("orvikfsys Get_Panel_Data", OVRC_OK);
}

int Present_Panel()
{
    OVTraceStart("orvikfsys Present_Panel", "nFileDataRows: %d.", nFileDataRows);
    const int nColumns = psPabi->nColumns;
    const int nMargin = LayoutMargin(psPabi);

    std::string sTitle = szListingTitle;
    if (psConnectedSystem != nullptr) sTitle += std::string(": ") + psConnectedSystem->szIP;
    const int nTitleColumn = (nColumns - static_cast<int>(sTitle.size())) / 2;
    int nRc = CreatePanelText(1, nTitleColumn, "Title", sTitle.c_str());
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Panel Title, rc: %d.", nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }
    nRc = CreatePanelText(3, nMargin + 4, "PTHEAD1", paszHeading1);
    if (nRc == OVRC_OK) nRc = CreatePanelText(3, nMargin + 40, "PTHEAD2", paszHeading2);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Panel Heading, rc: %d.",
              nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }

    int nScreenRow = 4;
    bool bFirstLine = false;
    for (int i = 0; i < nFileDataRows; ++i) {
        LSROW sRow;
        if (!ParseListingRow(RowAt(i), &sRow)) continue;
        char szDatalineID[40];
        std::snprintf(szDatalineID, sizeof szDatalineID, "%s%d", szDatalinePrefix, i);
        nRc = OVCreateFieldi(psPabi, nScreenRow++, nMargin + 4, nColumns - 6, szDatalineID,
                             FormatListingLine(sRow).c_str(), OVSTYLE_TAB, 0, 4, 7);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikfsys Present_Panel: Unable to Create Filesystem detail line: %d, "
                  "szDatalineID: %.32s, rc: %d.",
                  i, szDatalineID, nRc);
            return OVTraceEnd("orvikfsys Present_Panel", nRc);
        }
        if (i == 0) bFirstLine = true;
    }

    ulABAttibute |= OVAB_RETURN | OVAB_HELP | OVAB_EXIT;
    int nResponse = 0;
    nRc = OVCreateActionBari(psPabi, psPabi->nRows - 1, nTitleColumn, nColumns - 4, ulABAttibute,
                             &nResponse);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Present_Panel: Unable to Create Action Bar, rc: %d.", nRc);
        return OVTraceEnd("orvikfsys Present_Panel", nRc);
    }
    nRc = SetCursori(psPabi, bFirstLine ? "Dataline-0" : "Return ");
    return OVTraceEnd("orvikfsys Present_Panel", nRc);
}

int Process_Request()
{
    OVTraceStart("orvikfsys Process_Request", "pszHelpInfo: %p.",
                 static_cast<void *>(pszHelpInfo));
    int nRc = OVRC_OK;
    int nUserRc = OVRC_OK;
    while (nRc == OVRC_OK && nUserRc == OVRC_OK) {
        psPabi = CreateBrowserPanel();
        if (psPabi == nullptr) {
            OVWriteMessage(OVLOG_ERROR, "orvikfsys Process_Request: Unable to Create Panel.");
            OVRestoreTerminal();
            return OVTraceEnd("orvikfsys Process_Request", OVRC_ERROR);
        }
        /* At least one row, so that Forward always moves on; at most what the block holds. */
        nMaxPanelRows = psPabi->nRows - 6;
        if (nMaxPanelRows < 1) nMaxPanelRows = 1;
        if (nMaxPanelRows > FSMAXROWS) nMaxPanelRows = FSMAXROWS;
        std::free(pFileData);
        pFileData = static_cast<char *>(std::calloc(FSDATASIZE, 1));
        if (pFileData == nullptr) {
            OVLog(OVLOG_ERROR, "orvikfsys Process_Request: Unable to allocate %d bytes.",
                  FSDATASIZE);
            OVDeletePanel(psPabi);
            psPabi = nullptr;
            return OVTraceEnd("orvikfsys Process_Request", OVRC_ERROR);
        }
        nFileDataRows = 0;
        ulABAttibute = 0;

        int nDataRc = OVRC_OK;
        const char *pszFolder = asFolder[nFolderLevel].szPath;
        if (std::strcmp(pszFolder, szFolderSave) != 0) {
            nDataRc = Get_Directory_Data();
            if (nDataRc == OVRC_CANCELLED || nDataRc == OVRC_CMDFAILED) {
                OVDeletePanel(psPabi);
                psPabi = nullptr;
                if (nListedLevel < 0) {
                    /* No page to go back to: a cancel ends the browser as Ctrl-c does; a
                       failed link has been told, and ends it. */
                    if (nDataRc == OVRC_CANCELLED) raise(SIGINT);
                    return OVTraceEnd("orvikfsys Process_Request", OVRC_ERROR);
                }
                nFolderLevel = nListedLevel;
                OVCopyText(szFolderSave, sizeof szFolderSave, asFolder[nFolderLevel].szPath);
                fPosition = fPositionSave;
                if (nDataRc == OVRC_CANCELLED) OVShowMessage(OVLOG_INFO, "Cancelled.");
                continue;
            }
            nListedLevel = nFolderLevel;
            OVCopyText(szFolderSave, sizeof szFolderSave, pszFolder);
        }
        if (nDataRc == OVRC_OK) Get_Panel_Data();
        nRc = Present_Panel();

        std::string sFile;
        bool bDetail = false;
        if (nRc == OVRC_OK) {
            char szResponseID[40] = "";
            int nResponse = 0;
            nUserRc = OVGetUserResponsei(psPabi, szResponseID, &nResponse);
            if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_FIELD &&
                std::strlen(szResponseID) > 7 &&
                std::strncmp(szResponseID, "Dataline", 8) == 0) {
                bDetail = ChooseEntry(szResponseID, &sFile);
            } else if (nUserRc == OVRC_OK && nResponse != OVRESPONSE_FIELD) {
                fPosition = fPositionSave;  /* after the help box, the same page again */
            }
        }
        OVDeletePanel(psPabi);
        psPabi = nullptr;

        if (bDetail) {
            nRc = psConnectedSystem != nullptr ? Do_Remote_Detail_Page(sFile.c_str())
                                               : Do_Detail_Page(sFile.c_str());
            fPosition = fPositionSave;
        }
    }
    if (nRc == OVRC_OK) nRc = nUserRc == OVRC_RETURN ? OVRC_OK : nUserRc;
    return OVTraceEnd("orvikfsys Process_Request", nRc);
}
