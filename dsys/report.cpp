/*
 * report.cpp - the report panel of orvikdsys: the entries page by page, each title right-
 * justified in its column and each data text beside it, section headings in the Field
 * colours swapped, "page N of M" above an action bar with Forward (while pages follow),
 * Backward (after the first page), Help, Save, Print, Return and Exit; PgDn, PgUp, Home and
 * End turn pages too. The bar starts on the button chosen last, so Enter repeats Forward.
 * Save and Print end the report after their message box (orvikdsys ends with it; orvikconn,
 * which shows a group's output through ShowReportText, goes back to its result). All widths
 * are display columns: a text is never cut without a "~", a long one goes on over the next
 * rows.
 */
#include "orvikdsys.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int DSYSFIRSTROW = 3;
constexpr int DSYSHEADINGEND = 27;       /* headings end at column 26, like every title */
constexpr int DSYSDATACOLUMN = 28;
constexpr int DSYSNUMBERCOLUMN = 42;
constexpr int DSYSNUMBERLENGTH = 13;
constexpr int DSYSTABSTOP = 8;
constexpr int DSYSPIECEBYTES = 255;      /* the most a field's value holds */
constexpr unsigned long DSYSBARSTYLE =
    OVAB_RETURN | OVAB_HELP | OVAB_SAVE | OVAB_MODAL | OVAB_PRINT | OVAB_EXIT;
static_assert(DSYSBARSTYLE == 0x1ce, "the report's push buttons");

/* Response codes of the action bar. */
enum : int {
    DSYSFORWARD = 1,
    DSYSRETURN = 2,
    DSYSSAVE = 4,
    DSYSPRINT = 8,
    DSYSEXIT = 9,
    DSYSHELPSHOWN = 10,
    DSYSBACKWARD = 25
};

/* Tabs of the command's output become blanks up to the next stop of eight display columns,
   so that the columns of the output stay where the command put them. */
std::string ExpandTabs(std::string_view sText)
{
    std::string sExpanded;
    sExpanded.reserve(sText.size());
    int nColumn = 0;
    std::size_t nCounted = 0;   /* bytes of sExpanded already in nColumn */
    for (char c : sText) {
        if (c == '\t') {
            nColumn += OVDisplayWidth(std::string_view(sExpanded).substr(nCounted));
            const int nBlanks = DSYSTABSTOP - nColumn % DSYSTABSTOP;
            sExpanded.append(static_cast<std::size_t>(nBlanks), ' ');
            nColumn += nBlanks;
            nCounted = sExpanded.size();
        } else {
            sExpanded += c;
        }
    }
    return sExpanded;
}

/* Display columns from nColumn to the panel's right edge. */
int Room(int nColumn, int nColumns)
{
    int nRoom = nColumns - (nColumn < 1 ? 1 : nColumn) + 1;
    return nRoom > 0 ? nRoom : 0;
}

/* Bytes of the longest prefix that fits nColumns display columns and nBytes bytes. */
std::size_t PrefixBytes(std::string_view sText, int nColumns, std::size_t nBytes)
{
    return OVUtf8Prefix(sText.substr(0, OVColumnsPrefix(sText, nColumns)), nBytes);
}

/* The pieces, each at most nWidth display columns (and what a field holds), that a text
   takes on consecutive rows; at most nMaxPieces of them, the last one ending with "~" when
   the text goes on beyond it. An empty text is one empty piece. */
std::vector<std::string> Pieces(std::string_view sText, int nWidth, int nMaxPieces)
{
    std::vector<std::string> asPieces;
    if (nWidth <= 0)
        return {std::string()};   /* no room at all: nothing is shown */
    for (;;) {
        std::size_t nPiece = PrefixBytes(sText, nWidth, DSYSPIECEBYTES);
        if (nPiece == 0 && !sText.empty())
            nPiece = OVColumnsPrefix(sText, 2);   /* a wide character in one column */
        if (nPiece < sText.size() && static_cast<int>(asPieces.size()) + 1 >= nMaxPieces) {
            asPieces.push_back(
                std::string(sText.substr(0, PrefixBytes(sText, nWidth - 1, DSYSPIECEBYTES - 1))) +
                "~");
            break;
        }
        asPieces.emplace_back(sText.substr(0, nPiece));
        sText.remove_prefix(nPiece);
        if (sText.empty())
            break;
    }
    return asPieces;
}

/* The blank-padded text that a right-justified field shows in nLength display columns. */
std::string RightJustified(const std::string &sText, int nLength)
{
    const int nWidth = OVDisplayWidth(sText);
    if (nWidth >= nLength)
        return sText;
    return std::string(static_cast<std::size_t>(nLength - nWidth), ' ') + sText;
}

/* Draws the texts of one page into the data fields of the pages drawn before, making new
   ones only when this page has more texts than any before it; fields left over keep an
   empty value. A text is handed over already padded to its display columns. 0, or the code
   of the field that could not be made. */
int DrawPage(const DSYSPAGE &sPage, std::vector<FIELD *> &apsDataField)
{
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    std::size_t nField = 0;
    for (const DSYSPLACED &sPlaced : sPage.asPlaced) {
        int nBackground = sPlaced.bHeading ? sField.nForegroundColor : sField.nBackgroundColor;
        int nForeground = sPlaced.bHeading ? sField.nBackgroundColor : sField.nForegroundColor;
        const std::string sShown = (sPlaced.ulStyle & OVSTYLE_RIGHT)
                                       ? RightJustified(sPlaced.sText, sPlaced.nLength)
                                       : sPlaced.sText;
        const int nWidth = OVDisplayWidth(sShown);
        const unsigned long ulStyle = sPlaced.ulStyle & ~OVSTYLE_RIGHT;
        int nRc;
        if (nField < apsDataField.size()) {
            nRc = OVUpdateFieldi(psPabi, apsDataField[nField], sPlaced.nRow, sPlaced.nColumn,
                                 nWidth, sShown.c_str(), ulStyle, sField.nAttribute, nBackground,
                                 nForeground);
        } else {
            nRc = OVCreateFieldi(psPabi, sPlaced.nRow, sPlaced.nColumn, nWidth, "Data",
                                 sShown.c_str(), ulStyle, sField.nAttribute, nBackground,
                                 nForeground);
            if (nRc == OVRC_OK)
                apsDataField.push_back(psPabi->psFieldLast);
        }
        nField++;
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikdsys Process_Request: Unable to Create %s Hand Detail Field, rc: %d.",
                  sPlaced.bTitle ? "Left" : "Right", nRc);
            return nRc;
        }
    }
    for (; nField < apsDataField.size(); nField++)
        apsDataField[nField]->szValue[0] = '\0';
    return OVRC_OK;
}

/* "page N of M" on the row above the action bar, ending where the layout ends; made on the
   first page of a panel, drawn over on the others. */
int DrawPageNumber(int nPage, int nPages, FIELD **ppsField)
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    const std::string sText =
        "page " + std::to_string(nPage + 1) + " of " + std::to_string(nPages);
    const int nLength = static_cast<int>(sText.size());
    const int nRow = psPabi->nRows - 2;
    const int nColumn = std::max(OVLayoutMargin(psPabi) + OVLAYOUTWIDTH - nLength, 1);
    if (*ppsField != nullptr)
        return OVUpdateFieldi(psPabi, *ppsField, nRow, nColumn, nLength, sText.c_str(), 0,
                              sPanel.nAttribute, sPanel.nBackgroundColor, sPanel.nForegroundColor);
    int nRc = OVCreateGroupText(psPabi, nRow, nColumn, "Page", sText.c_str(), OVDG_PANEL);
    if (nRc == OVRC_OK)
        *ppsField = psPabi->psFieldLast;
    else
        OVLog(OVLOG_ERROR, "orvikdsys Process_Request: Unable to Create Field Page, rc: %d.", nRc);
    return nRc;
}

int SaveReport()
{
    std::string sFile = ReportFileName();
    const char *pszData = pszSystemInfo != nullptr ? pszSystemInfo : "";
    std::string sWhy;
    int nRc = SaveTempDataFile(sFile.c_str(), szTitle, pszData, &sWhy);
    /* SaveTempDataFile has logged why; the boxes lie on row 3, centred, as wide as their text. */
    if (nRc != OVRC_OK) {
        /* The reason first: a narrow box cuts the end of the file name rather than it. */
        OVShowBox(psPabi, OVLOG_ERROR, "Not saved, " + sWhy + ": " + sFile, DSYSFIRSTROW);
        return OVEXIT_SHOWN;
    }
    OVShowBox(psPabi, OVLOG_INFO, "Report saved in file: " + sFile + ".", DSYSFIRSTROW);
    return OVRC_OK;
}

int PrintReport()
{
    std::string sWhy;
    int nRc = PrintData(szTitle, pszSystemInfo != nullptr ? pszSystemInfo : "", &sWhy);
    /* PrintData has logged why, with the reason it hands back. */
    if (nRc != OVRC_OK) {
        OVShowBox(nullptr, OVLOG_ERROR,
                  "Not printed: " + (sWhy.empty() ? std::string("see the log") : sWhy));
        return OVEXIT_SHOWN;
    }
    OVShowBox(psPabi, OVLOG_INFO, "Report printed.", DSYSFIRSTROW);
    return OVRC_OK;
}

/* The report panel at the terminal's size with the report title centred on row 1. 0, or
   the code of what could not be made (logged). */
int BuildPanel()
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, sPanelSize.nRows, sPanelSize.nColumns,
                            sPanel.nAttribute, sPanel.nBackgroundColor, sPanel.nForegroundColor);
    if (psPabi == nullptr) {
        OVWriteMessage(OVLOG_ERROR, "orvikdsys Process_Request: Unable to Create Panel.");
        return OVRC_ERROR;
    }
    int nRc = OVCreateGroupText(psPabi, 1, OVCentredColumn(psPabi, OVDisplayWidth(szTitle)),
                                "Title", szTitle, OVDG_PANEL,
                                static_cast<int>(std::strlen(szTitle)));
    if (nRc != OVRC_OK)
        OVLog(OVLOG_ERROR, "orvikdsys Process_Request: Unable to Create Field Title, rc: %d.", nRc);
    return nRc;
}

/* The page that PgDn, PgUp, Home or End turns to from nPage; nPage when there is none. */
int PageOfKey(int nKey, int nPage, int nPages)
{
    switch (nKey) {
    case OVKEY_NPAGE:
        return std::min(nPage + 1, nPages - 1);
    case OVKEY_PPAGE:
        return std::max(nPage - 1, 0);
    case OVKEY_HOME:
        return 0;
    case OVKEY_END:
        return nPages - 1;
    default:
        return nPage;
    }
}

/* The pages until the user leaves; the code to end with. A change of the terminal's size
   builds the panel again at the new size, on the page that holds the first entry of the
   page read before. */
int ShowPages(const std::vector<std::pair<std::string, std::string>> &asEntries)
{
    const DSYSREPORT &sReport = CurrentReport();
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    int nTopEntry = 0;   /* the first entry of the page being read */
    for (;;) {
        const int nRows = psPabi->nRows, nColumns = psPabi->nColumns;
        const std::vector<int> anStarts = PlanPageStarts(sReport, asEntries, nRows, nColumns);
        const int nPages = static_cast<int>(anStarts.size());
        int nPage = PageOfEntry(anStarts, nTopEntry);
        std::vector<FIELD *> apsDataField;   /* reused by every page of the panel */
        FIELD *psPageField = nullptr;
        bool bResized = false;
        while (!bResized) {
            DSYSPAGE sPage = PlanPage(sReport, asEntries, anStarts[static_cast<std::size_t>(nPage)],
                                      nRows, nColumns);
            if (int nRc = DrawPage(sPage, apsDataField); nRc != OVRC_OK)
                return nRc;
            if (int nRc = DrawPageNumber(nPage, nPages, &psPageField); nRc != OVRC_OK)
                return nRc;
            unsigned long ulStyle = DSYSBARSTYLE | (nPage + 1 < nPages ? OVAB_FORWARD : 0) |
                                    (nPage > 0 ? OVAB_BACKWARD : 0);
            int nResponse = 0;
            psPabi->ulKeys = OVKEYS_PAGING;
            int nRc = OVCreateActionBari(psPabi, nRows - 1, sPage.nBarColumn,
                                         nColumns - sPage.nBarColumn - 4, ulStyle, &nResponse);
            if (nRc != OVRC_OK)
                return nRc;
            if (nResponse == OVRESPONSE_KEY) {
                const int nTurned = PageOfKey(psPabi->nKey, nPage, nPages);
                if (nTurned == nPage)
                    continue;   /* no page that way: the same page stays */
                nPage = nTurned;
            }
            switch (nResponse) {
            case DSYSFORWARD:
                nPage = std::min(nPage + 1, nPages - 1);
                break;
            case DSYSBACKWARD:
                nPage = std::max(nPage - 1, 0);
                break;
            case DSYSHELPSHOWN:
            case OVRESPONSE_KEY:
                break;
            case OVRESPONSE_RESIZE:
                bResized = true;
                break;
            case DSYSSAVE:
                return SaveReport();
            case DSYSPRINT:
                return PrintReport();
            case DSYSEXIT:
                return OVRC_EXIT;
            case DSYSRETURN:
            default:
                return nRc;
            }
            if (!bResized)
                OVClearScreenHunk(psPabi, DSYSFIRSTROW, 1, nRows - DSYSFIRSTROW, nColumns,
                                  sPanel.nBackgroundColor, sPanel.nForegroundColor);
        }
        nTopEntry = anStarts[static_cast<std::size_t>(nPage)];
        /* The new panel's bar starts on the button chosen last, as this one's would. */
        const int nButtonChosen = psPabi->nButtonChosen;
        PABI *psOld = psPabi;
        psPabi = nullptr;
        OVDeletePanel(psOld);
        TakePanelSize();
        if (bDebug)
            OVLog(OVLOG_DEBUG, "orvikdsys Process_Request: Terminal size now %dx%d, laying out "
                  "again from entry %d.", sPanelSize.nColumns, sPanelSize.nRows, nTopEntry);
        if (int nRc = BuildPanel(); nRc != OVRC_OK)
            return nRc;
        psPabi->nButtonChosen = nButtonChosen;
    }
}

}  // namespace

DSYSPAGE PlanPage(const DSYSREPORT &sReport,
                  const std::vector<std::pair<std::string, std::string>> &asEntries, int nFirst,
                  int nRows, int nColumns)
{
    PABI sLayout{};   /* a panel of this size, as the layout helpers see one */
    sLayout.nRows = nRows;
    sLayout.nColumns = nColumns;
    const int nMargin = OVLayoutMargin(&sLayout);
    /* Data texts start at column 28, or after a fixed-length title field that reaches it,
       so that no title is overwritten; they end where they always end. */
    const int nDataColumn =
        std::max(DSYSDATACOLUMN, sReport.nTitleColumn + sReport.nTitleLength + 1);
    const int nDataWidth =
        std::max(nColumns - 30 - nMargin - (nDataColumn - DSYSDATACOLUMN), 1);
    const int nEndRow = nRows - 3;   /* the first row that belongs to the action bar area */
    const int nCount = static_cast<int>(asEntries.size());

    DSYSPAGE sPage;
    sPage.nBarColumn = std::max(sReport.nTitleColumn, 2) + nMargin;
    int nRow = DSYSFIRSTROW;
    int nEntry = nFirst;
    /* A page takes at least one entry, so paging always moves on. */
    for (; nEntry < nCount && (nRow < nEndRow || nEntry == nFirst); nEntry++) {
        const std::string &sData = asEntries[static_cast<std::size_t>(nEntry)].second;
        /* The recogniser wants 256 bytes at least; a longer line is kept whole. */
        const std::string &sRawTitle = asEntries[static_cast<std::size_t>(nEntry)].first;
        std::string sBuffer(sRawTitle);
        sBuffer.resize(std::max<std::size_t>(sRawTitle.size(), 255) + 1, '\0');
        char *pszTitle = sBuffer.data();
        if (sReport.bLabelTitles)
            CheckTitle(pszTitle);
        bool bHeading = (sData == " " || sData.empty()) && CheckTitle(pszTitle) != 0;
        if (bHeading && nRow > DSYSFIRSTROW) {
            /* The empty row before a heading; a heading that would not fit opens the next page. */
            if (nRow + 1 >= nEndRow)
                break;
            nRow++;
        }
        /* Rows this entry may take; an entry that needs more opens the next page, and only
           one taller than a whole page is cut, with "~" at the end of what is shown. */
        const int nRowsLeft = std::max(nEndRow - nRow, 1);
        const bool bMayMove = nEntry != nFirst;
        std::vector<DSYSPLACED> asPlaced;

        const std::string sTitle = ExpandTabs(pszTitle);
        const int nTitleWidth = OVDisplayWidth(sTitle);
        if (bHeading && !sReport.bHeadingKeepsColumn) {
            /* A heading too long to end at column 26 starts at the left edge instead. */
            const int nColumn = std::max(DSYSHEADINGEND - nTitleWidth, 1) + nMargin;
            const int nLength = std::min(nTitleWidth, Room(nColumn, nColumns));
            asPlaced.push_back({nRow, nColumn, nLength, Pieces(sTitle, nLength, 1)[0],
                                OVSTYLE_RIGHT, true, true});
        } else if (sReport.nTitleLength > 0) {
            const int nColumn = sReport.nTitleColumn + nMargin;
            const int nLength = std::min(sReport.nTitleLength, Room(nColumn, nColumns));
            asPlaced.push_back({nRow, nColumn, nLength, Pieces(sTitle, nLength, 1)[0],
                                OVSTYLE_RIGHT, true, bHeading});
        } else {
            /* A whole line goes on over the next rows rather than past the right edge. */
            const int nColumn = sReport.nTitleColumn + nMargin;
            std::vector<std::string> asPieces =
                Pieces(sTitle, Room(nColumn, nColumns), nRowsLeft + 1);
            if (static_cast<int>(asPieces.size()) > nRowsLeft) {
                if (bMayMove)
                    break;
                asPieces = Pieces(sTitle, Room(nColumn, nColumns), nRowsLeft);
            }
            for (std::size_t i = 0; i < asPieces.size(); i++)
                asPlaced.push_back({nRow + static_cast<int>(i), nColumn,
                                    OVDisplayWidth(asPieces[i]), asPieces[i], OVSTYLE_RIGHT, true,
                                    bHeading});
        }

        int nEntryRows = 1;
        if (sReport.eData == DSYS_DATA_NUMBER) {
            /* A number wider than its field grows to the right rather than losing digits. */
            const std::string sNumber = ExpandTabs(sData);
            const int nColumn = DSYSNUMBERCOLUMN + nMargin;
            const int nLength = std::min(std::max(DSYSNUMBERLENGTH, OVDisplayWidth(sNumber)),
                                         Room(nColumn, nColumns));
            asPlaced.push_back({nRow, nColumn, nLength, Pieces(sNumber, nLength, 1)[0],
                                OVSTYLE_RIGHT, false, false});
        } else if (sReport.eData == DSYS_DATA_WRAPPED && !bHeading && !sData.empty()) {
            const std::string sText = ExpandTabs(sData);
            std::vector<std::string> asPieces = Pieces(sText, nDataWidth, nRowsLeft + 1);
            if (static_cast<int>(asPieces.size()) > nRowsLeft) {
                if (bMayMove)
                    break;
                asPieces = Pieces(sText, nDataWidth, nRowsLeft);
            }
            for (std::size_t i = 0; i < asPieces.size(); i++)
                asPlaced.push_back({nRow + static_cast<int>(i), nDataColumn + nMargin, nDataWidth,
                                    asPieces[i], 0, false, false});
            nEntryRows = static_cast<int>(asPieces.size());
        }
        for (const DSYSPLACED &sPlaced : asPlaced)
            nEntryRows = std::max(nEntryRows, sPlaced.nRow - nRow + 1);
        sPage.asPlaced.insert(sPage.asPlaced.end(), asPlaced.begin(), asPlaced.end());
        nRow += nEntryRows;
    }
    sPage.nNext = nEntry;
    return sPage;
}

std::vector<int> PlanPageStarts(const DSYSREPORT &sReport,
                                const std::vector<std::pair<std::string, std::string>> &asEntries,
                                int nRows, int nColumns)
{
    std::vector<int> anStarts = {0};
    const int nCount = static_cast<int>(asEntries.size());
    for (int nFirst = 0;;) {
        nFirst = PlanPage(sReport, asEntries, nFirst, nRows, nColumns).nNext;
        if (nFirst >= nCount)
            break;
        anStarts.push_back(nFirst);
    }
    return anStarts;
}

int PageOfEntry(const std::vector<int> &anStarts, int nEntry)
{
    auto it = std::upper_bound(anStarts.begin(), anStarts.end(), nEntry);
    return it == anStarts.begin() ? 0 : static_cast<int>(it - anStarts.begin()) - 1;
}

std::string ReportFileName()
{
    return std::string("/tmp/OrvikDsys.") + szClass + "." + szDate + "." + szTime + ".txt";
}

int ShowReport()
{
    int nRc = BuildPanel();
    if (nRc != OVRC_OK)
        return nRc;

    WINTEXTINFO sWinTextInfo{};
    std::memcpy(sWinTextInfo.szEyeCatcher, "WTEXTBLK", sizeof sWinTextInfo.szEyeCatcher);
    sWinTextInfo.nMaxRows = psPabi->nRows - 6;
    sWinTextInfo.nWidth = psPabi->nColumns - 2;
    sWinTextInfo.pszText = pszSystemInfo;
    nRc = FormatDataLines(&sWinTextInfo);
    if (nRc == OVRC_OK && sWinTextInfo.nEntries == 0) {
        nRc = AddWinTextEntry(&sWinTextInfo, " ", NoInformationText());
    }
    if (nRc == OVRC_OK)
        nRc = ShowPages(WinTextEntries(sWinTextInfo));
    FreeWinTextInfoStorage(&sWinTextInfo);
    return nRc;
}

int ShowReportText(const DSYSREPORT *psReport, const char *pszTitle, std::string_view sText)
{
    if (psReport == nullptr || pszTitle == nullptr) {
        OVLog(OVLOG_ERROR, "orvikdsys ShowReportText: psReport or pszTitle NULL pointer: %p, %p.",
              static_cast<const void *>(psReport), static_cast<const void *>(pszTitle));
        return OVRC_ERROR;
    }
    OVTraceStart("orvikdsys ShowReportText", "option: %s, text: %zu bytes.", psReport->pszOption,
                 sText.size());
    /* The formatters, the recogniser and the file name read the report from szClass, as
       orvikdsys's own options set it. */
    OVCopyText(szClass, sizeof szClass, psReport->pszOption);
    OVCopyText(szClass2, sizeof szClass2, szClass[0] == '-' ? szClass + 1 : szClass);
    OVCopyText(szTitle, sizeof szTitle, pszTitle);
    TakeDateAndTime();
    TakePanelSize();
    int nRc = KeepSystemInfo(sText.data(), sText.size());
    if (nRc == OVRC_OK)
        nRc = ShowReport();
    std::free(pszSystemInfo);
    pszSystemInfo = nullptr;
    if (psPabi != nullptr) {
        PABI *psPanel = psPabi;
        psPabi = nullptr;
        OVDeletePanel(psPanel);
    }
    return OVTraceEnd("orvikdsys ShowReportText", nRc);
}
