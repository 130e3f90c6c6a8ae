/*
 * report.cpp - the report panel of orvikdsys: the entries page by page, each title right-
 * justified in its column and each data text beside it, section headings in the Field
 * colours swapped, and an action bar with Forward (while entries remain), Help, Save,
 * Print, Return and Exit. Save and Print end the program after their message box.
 */
#include "orvikdsys.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int DSYSLAYOUTWIDTH = 80;      /* wider terminals get a margin of half the rest */
constexpr int DSYSFIRSTROW = 3;
constexpr int DSYSHEADINGEND = 27;       /* headings end at column 26, like every title */
constexpr int DSYSDATACOLUMN = 28;
constexpr int DSYSNUMBERCOLUMN = 42;
constexpr int DSYSNUMBERLENGTH = 13;
constexpr int DSYSTABSTOP = 8;
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
    DSYSHELPSHOWN = 10
};

int Margin(int nColumns)
{
    return nColumns > DSYSLAYOUTWIDTH ? (nColumns - DSYSLAYOUTWIDTH) / 2 : 0;
}

/* Tabs of the command's output become blanks up to the next stop of eight, so the width
   on the screen is the length of the text. */
std::string ExpandTabs(std::string_view sText)
{
    std::string sExpanded;
    sExpanded.reserve(sText.size());
    for (char c : sText) {
        if (c == '\t')
            sExpanded.append(DSYSTABSTOP - sExpanded.size() % DSYSTABSTOP, ' ');
        else
            sExpanded += c;
    }
    return sExpanded;
}

/* A field never runs past the right edge, where curses would carry it onto the next row. */
int FitLength(int nColumn, int nLength, int nColumns)
{
    int nRoom = nColumns - (nColumn < 1 ? 1 : nColumn);
    return nLength < nRoom ? nLength : (nRoom > 0 ? nRoom : 0);
}

/* Draws the texts of one page into the data fields of the pages drawn before, making new
   ones only when this page has more texts than any before it; fields left over keep an
   empty value. 0, or the code of the field that could not be made. */
int DrawPage(const DSYSPAGE &sPage, std::vector<FIELD *> &apsDataField)
{
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    std::size_t nField = 0;
    for (const DSYSPLACED &sPlaced : sPage.asPlaced) {
        int nBackground = sPlaced.bHeading ? sField.nForegroundColor : sField.nBackgroundColor;
        int nForeground = sPlaced.bHeading ? sField.nBackgroundColor : sField.nForegroundColor;
        int nRc;
        if (nField < apsDataField.size()) {
            nRc = OVUpdateFieldi(psPabi, apsDataField[nField], sPlaced.nRow, sPlaced.nColumn,
                                 sPlaced.nLength, sPlaced.sText.c_str(), sPlaced.ulStyle,
                                 sField.nAttribute, nBackground, nForeground);
        } else {
            nRc = OVCreateFieldi(psPabi, sPlaced.nRow, sPlaced.nColumn, sPlaced.nLength, "Data",
                                 sPlaced.sText.c_str(), sPlaced.ulStyle, sField.nAttribute,
                                 nBackground, nForeground);
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

/* The message box of Save and Print: row 3, as wide as the text and its frame, centred. */
int ShowMessage(const std::string &sMessage, int nType = OVLOG_INFO)
{
    int nWidth = static_cast<int>(sMessage.size()) + 2;
    int nColumn = psPabi->nColumns < nWidth ? 2 : (psPabi->nColumns - nWidth) / 2;
    return CreateMessageBoxi(psPabi, sMessage.c_str(), nType, DSYSFIRSTROW, nColumn, nWidth);
}

int SaveReport()
{
    std::string sFile = ReportFileName();
    const char *pszData = pszSystemInfo != nullptr ? pszSystemInfo : "";
    std::string sWhy;
    int nRc = SaveTempDataFile(sFile.c_str(), szTitle, pszData, &sWhy);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikdsys Process_Request: Get_Hardware_Info: Unable to save temporary data file, "
                  "nRc: %d.", nRc);
        /* The reason first: a narrow box cuts the end of the file name rather than it. */
        ShowMessage("Not saved, " + sWhy + ": " + sFile, OVLOG_ERROR);
        return OVEXIT_SHOWN;
    }
    ShowMessage("Report saved in file: " + sFile + ".");
    return OVRC_OK;
}

int PrintReport()
{
    std::string sWhy;
    int nRc = PrintData(szTitle, pszSystemInfo != nullptr ? pszSystemInfo : "", &sWhy);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikdsys Process_Request: Get_Hardware_Info: Print data, nRc: %d.", nRc);
        OVShowFailure(("Not printed: " + (sWhy.empty() ? std::string("see the log") : sWhy)).c_str(),
                      false);
        return OVEXIT_SHOWN;
    }
    ShowMessage("Report printed.");
    return OVRC_OK;
}

/* The pages until the user leaves; the code to end with. */
int ShowPages(const std::vector<std::pair<std::string, std::string>> &asEntries)
{
    const DSYSREPORT &sReport = CurrentReport();
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    const int nRows = psPabi->nRows, nColumns = psPabi->nColumns;
    const int nCount = static_cast<int>(asEntries.size());
    int nFirst = 0;
    std::vector<FIELD *> apsDataField;   /* reused by every page of the panel */
    for (;;) {
        DSYSPAGE sPage = PlanPage(sReport, asEntries, nFirst, nRows, nColumns);
        if (int nRc = DrawPage(sPage, apsDataField); nRc != OVRC_OK)
            return nRc;
        unsigned long ulStyle = DSYSBARSTYLE | (sPage.nNext < nCount ? OVAB_FORWARD : 0);
        int nResponse = 0;
        int nRc = OVCreateActionBari(psPabi, nRows - 1, sPage.nBarColumn,
                                     nColumns - sPage.nBarColumn - 4, ulStyle, &nResponse);
        if (nRc != OVRC_OK)
            return nRc;
        switch (nResponse) {
        case DSYSFORWARD:
            nFirst = sPage.nNext;
            [[fallthrough]];
        case DSYSHELPSHOWN:
            OVClearScreenHunk(psPabi, DSYSFIRSTROW, 1, nRows - DSYSFIRSTROW, nColumns - 1,
                              sPanel.nBackgroundColor, sPanel.nForegroundColor);
            continue;
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
    }
}

}  // namespace

DSYSPAGE PlanPage(const DSYSREPORT &sReport,
                  const std::vector<std::pair<std::string, std::string>> &asEntries, int nFirst,
                  int nRows, int nColumns)
{
    const int nMargin = Margin(nColumns);
    /* Data texts start at column 28, or after a fixed-length title field that reaches it,
       so that no title is overwritten; they end where they always end. */
    const int nDataColumn =
        std::max(DSYSDATACOLUMN, sReport.nTitleColumn + sReport.nTitleLength + 1);
    const int nDataWidth =
        std::max(nColumns - 30 - nMargin - (nDataColumn - DSYSDATACOLUMN), 1);
    const int nEndRow = nRows - 3;   /* the first row that belongs to the action bar area */
    const int nCount = static_cast<int>(asEntries.size());

    DSYSPAGE sPage;
    sPage.nBarColumn = sReport.nTitleColumn + nMargin;
    int nRow = DSYSFIRSTROW;
    int nEntry = nFirst;
    /* A page takes at least one entry, so paging always moves on. */
    for (; nEntry < nCount && (nRow < nEndRow || nEntry == nFirst); nEntry++) {
        const std::string &sData = asEntries[static_cast<std::size_t>(nEntry)].second;
        char szTitle[256];
        const std::string &sRawTitle = asEntries[static_cast<std::size_t>(nEntry)].first;
        OVCopyText(szTitle, sizeof szTitle, sRawTitle.c_str());
        if (sReport.bLabelTitles)
            CheckTitle(szTitle);
        bool bHeading = (sData == " " || sData.empty()) && CheckTitle(szTitle) != 0;
        if (bHeading && nRow > DSYSFIRSTROW) {
            /* The empty row before a heading; a heading that would not fit opens the next page. */
            if (nRow + 1 >= nEndRow)
                break;
            nRow++;
        }

        std::string sTitle = ExpandTabs(szTitle);
        int nLength = sReport.nTitleLength;
        if (nLength == 0)
            nLength = static_cast<int>(sTitle.size());
        int nColumn = sReport.nTitleColumn;
        if (bHeading && !sReport.bHeadingKeepsColumn) {
            nLength = static_cast<int>(sTitle.size());
            nColumn = DSYSHEADINGEND - nLength;
        }
        nColumn += nMargin;
        sPage.asPlaced.push_back({nRow, nColumn, FitLength(nColumn, nLength, nColumns), sTitle,
                                  OVSTYLE_RIGHT, true, bHeading});

        if (sReport.eData == DSYS_DATA_NUMBER) {
            sPage.asPlaced.push_back({nRow, DSYSNUMBERCOLUMN + nMargin, DSYSNUMBERLENGTH,
                                      ExpandTabs(sData), OVSTYLE_RIGHT, false, false});
        } else if (sReport.eData == DSYS_DATA_WRAPPED && !bHeading) {
            std::string sText = ExpandTabs(sData);
            std::string_view sRest(sText);
            while (!sRest.empty()) {
                std::size_t nPiece = OVUtf8Prefix(sRest, static_cast<std::size_t>(nDataWidth));
                if (nPiece == 0)
                    nPiece = 1;   /* a byte that starts no character is shown on its own */
                sPage.asPlaced.push_back({nRow, nDataColumn + nMargin, nDataWidth,
                                          std::string(sRest.substr(0, nPiece)), 0, false, false});
                sRest.remove_prefix(nPiece);
                if (sRest.empty() || nRow + 1 >= nEndRow)
                    break;   /* the rest of a text longer than the page is cut */
                nRow++;
            }
        }
        nRow++;
    }
    sPage.nNext = nEntry;
    return sPage;
}

std::string ReportFileName()
{
    return std::string("/tmp/OrvikDsys.") + szClass + "." + szDate + "." + szTime + ".txt";
}

int Process_Request()
{
    OVTraceStart("orvikdsys Process_Request", "szClass: %s, szTitle: %s.", szClass, szTitle);
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, sPanelSize.nRows, sPanelSize.nColumns,
                            sPanel.nAttribute, sPanel.nBackgroundColor, sPanel.nForegroundColor);
    if (psPabi == nullptr) {
        OVWriteMessage(OVLOG_ERROR, "orvikdsys Process_Request: Unable to Create Panel.");
        return OVTraceEnd("orvikdsys Process_Request", OVRC_ERROR);
    }

    int nTitleLength = static_cast<int>(std::strlen(szTitle));
    int nRc = OVCreateFieldi(psPabi, 1, (psPabi->nColumns - nTitleLength) / 2, nTitleLength,
                             "Title", szTitle, 0, sPanel.nAttribute, sPanel.nBackgroundColor,
                             sPanel.nForegroundColor);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikdsys Process_Request: Unable to Create Field Title, rc: %d.", nRc);
        return OVTraceEnd("orvikdsys Process_Request", nRc);
    }

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
    return OVTraceEnd("orvikdsys Process_Request", nRc);
}
