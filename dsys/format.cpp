/*
 * format.cpp - cuts the command's output into entries of a title and a data text.
 *
 * Every formatter walks the output line by line and appends one entry per line it keeps to
 * the two lists of the WINTEXTINFO record; a data text of one blank marks an entry without
 * data, which the panel may show as a section heading. The lists grow with the output, and
 * a last line without a newline is a line like any other.
 */
#include "orvikdsys.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t DSYSLISTSTART = 4096;   /* first size of each list */
constexpr const char *DSYSNOINFO = "No %s information found.";

/* lshw -short column starts when its header does not name them. */
constexpr std::size_t DSYSDEVICECOLUMN = 17;
constexpr std::size_t DSYSCLASSCOLUMN = 34;
constexpr std::size_t DSYSDESCRIPTIONCOLUMN = 46;
constexpr std::size_t DSYSSHORTWORD = 16;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view SkipBlanks(std::string_view sText)
{
    std::size_t nStart = 0;
    while (nStart < sText.size() && IsBlank(sText[nStart]))
        nStart++;
    return sText.substr(nStart);
}

/* Calls fLine for every line of the output; a last line without a newline counts too. */
template <typename LINEFUNCTION>
int ForEachLine(const char *pszText, LINEFUNCTION fLine)
{
    std::string_view sText(pszText != nullptr ? pszText : "");
    std::size_t nStart = 0;
    int nIndex = 0;
    while (nStart < sText.size()) {
        std::size_t nEnd = sText.find('\n', nStart);
        if (nEnd == std::string_view::npos)
            nEnd = sText.size();
        if (int nRc = fLine(sText.substr(nStart, nEnd - nStart), nIndex++); nRc != OVRC_OK)
            return nRc;
        nStart = nEnd + 1;
    }
    return OVRC_OK;
}

int AppendText(WINTEXTLIST *psList, std::string_view sText)
{
    std::size_t nNeeded = psList->nUsed + sText.size() + 1;
    if (nNeeded > psList->nSize) {
        std::size_t nSize = psList->nSize != 0 ? psList->nSize : DSYSLISTSTART;
        while (nSize < nNeeded)
            nSize *= 2;
        char *pachGrown = static_cast<char *>(std::realloc(psList->pachText, nSize));
        if (pachGrown == nullptr) {
            OVLog(OVLOG_ERROR, "orvikdsys FormatDataLines: Unable to allocate list storage, "
                  "size: %zu.", nSize);
            return OVRC_ERROR;
        }
        std::memset(pachGrown + psList->nUsed, 0, nSize - psList->nUsed);
        psList->pachText = pachGrown;
        psList->nSize = nSize;
    }
    std::memcpy(psList->pachText + psList->nUsed, sText.data(), sText.size());
    psList->pachText[psList->nUsed + sText.size()] = '\0';
    psList->nUsed += sText.size() + 1;
    return OVRC_OK;
}

/* The debug listing of the entries; bCut gives the CPU report's columns, cut to width. */
void LogEntries(const WINTEXTINFO &sInfo, bool bCut)
{
    OVWriteMessage(OVLOG_DEBUG, "\n___________Title______________ _________Data_____________________"
                                "________________");
    for (const auto &[sTitle, sData] : WinTextEntries(sInfo))
        if (bCut)
            OVLog(OVLOG_DEBUG, "%-30.30s %-50.50s", sTitle.c_str(), sData.c_str());
        else
            OVLog(OVLOG_DEBUG, "%30s %-50s", sTitle.c_str(), sData.c_str());
}

/* Ends a formatter: the fallback entry when nothing was kept, the debug listing. */
int FinishEntries(WINTEXTINFO *psInfo, int nRc, const char *pszFallbackTitle,
                  const char *pszFallbackData, bool bCutLog = false)
{
    if (nRc == OVRC_OK && psInfo->nEntries == 0 && pszFallbackTitle != nullptr) {
        std::string sNoInfo = NoInformationText();
        nRc = AddWinTextEntry(psInfo, pszFallbackTitle[0] != '\0' ? pszFallbackTitle : sNoInfo,
                              pszFallbackData[0] != '\0' ? pszFallbackData : sNoInfo);
    }
    if (nRc == OVRC_OK && bDebug)
        LogEntries(*psInfo, bCutLog);
    return nRc;
}

/* Key and value lines: "key: value", leading blanks dropped, blank lines skipped. */
int FormatKeyValueLines(WINTEXTINFO *psInfo)
{
    int nRc = ForEachLine(psInfo->pszText, [psInfo](std::string_view sLine, int) -> int {
        sLine = SkipBlanks(sLine);
        if (sLine.empty())
            return OVRC_OK;
        std::size_t nColon = sLine.find(':');
        if (nColon == std::string_view::npos)
            return AddWinTextEntry(psInfo, sLine, " ");
        /* The character after the colon, normally a blank, is not part of the value. */
        std::string_view sData = nColon + 2 <= sLine.size() ? sLine.substr(nColon + 2) : "";
        return AddWinTextEntry(psInfo, sLine.substr(0, nColon), sData);
    });
    return FinishEntries(psInfo, nRc, nullptr, nullptr);
}

/* Whole lines, leading blanks and empty lines kept. */
int FormatWholeLines(WINTEXTINFO *psInfo)
{
    return ForEachLine(psInfo->pszText, [psInfo](std::string_view sLine, int) -> int {
        return AddWinTextEntry(psInfo, sLine, " ");
    });
}

/* Column of a header word of lshw -short, or the default. */
std::size_t HeaderColumn(std::string_view sHeader, std::string_view sWord, std::size_t nDefault)
{
    std::size_t nAt = sHeader.find(sWord);
    return nAt != std::string_view::npos ? nAt : nDefault;
}

/* Up to 16 characters from nColumn, ending at the first blank; *pbBlankEnded tells whether a
   blank ended it. */
std::string_view ColumnWord(std::string_view sLine, std::size_t nColumn, bool *pbBlankEnded)
{
    *pbBlankEnded = false;
    if (nColumn >= sLine.size())
        return {};
    std::string_view sRest = sLine.substr(nColumn, DSYSSHORTWORD);
    std::size_t nBlank = sRest.find(' ');
    if (nBlank == std::string_view::npos)
        return sRest;
    *pbBlankEnded = true;
    return sRest.substr(0, nBlank);
}

}  // namespace

std::string NoInformationText()
{
    char szText[96];
    std::snprintf(szText, sizeof szText, DSYSNOINFO, szClass2);
    return szText;
}

int AddWinTextEntry(WINTEXTINFO *psWinTextInfo, std::string_view sTitle, std::string_view sData)
{
    int nRc = AppendText(&psWinTextInfo->sTitles, sTitle);
    if (nRc == OVRC_OK)
        nRc = AppendText(&psWinTextInfo->sData, sData);
    if (nRc == OVRC_OK)
        psWinTextInfo->nEntries++;
    return nRc;
}

std::vector<std::pair<std::string, std::string>> WinTextEntries(const WINTEXTINFO &sWinTextInfo)
{
    std::vector<std::pair<std::string, std::string>> asEntries;
    asEntries.reserve(static_cast<std::size_t>(sWinTextInfo.nEntries));
    std::size_t nTitle = 0, nData = 0;
    for (int i = 0; i < sWinTextInfo.nEntries; i++) {
        const char *pszTitle = sWinTextInfo.sTitles.pachText + nTitle;
        const char *pszData = sWinTextInfo.sData.pachText + nData;
        asEntries.emplace_back(pszTitle, pszData);
        nTitle += asEntries.back().first.size() + 1;
        nData += asEntries.back().second.size() + 1;
    }
    return asEntries;
}

/* The formatter of each DSYSFORMATTER, in its order. */
using FORMATTER = int (*)(WINTEXTINFO *);
constexpr FORMATTER asFormatter[] = {FormatKeyValueLines,    FormatShortDataLines,
                                     FormatNetworkDataLines, FormatCPUDataLines,
                                     FormatEMemoryDataLines, FormatBasicDataLines};
static_assert(sizeof asFormatter / sizeof asFormatter[0] == DSYS_BASIC + 1, "one per formatter");

int FormatDataLines(WINTEXTINFO *psWinTextInfo)
{
    OVTraceStart("orvikdsys FormatDataLines", "psWinTextInfo: %p, szClass: %s.",
                 static_cast<void *>(psWinTextInfo), szClass);
    if (psWinTextInfo == nullptr) {
        OVLog(OVLOG_ERROR, "orvikdsys FormatDataLines: psWinTextInfo NULL pointer: %p.",
              static_cast<void *>(psWinTextInfo));
        return OVTraceEnd("orvikdsys FormatDataLines", OVRC_ERROR);
    }
    FreeWinTextInfoStorage(psWinTextInfo);
    psWinTextInfo->nEntries = 0;
    int nRc = AppendText(&psWinTextInfo->sTitles, "");
    if (nRc == OVRC_OK)
        nRc = AppendText(&psWinTextInfo->sData, "");
    if (nRc != OVRC_OK)
        return OVTraceEnd("orvikdsys FormatDataLines", nRc);
    /* Both lists exist from here on, empty. */
    psWinTextInfo->sTitles.nUsed = psWinTextInfo->sData.nUsed = 0;

    nRc = asFormatter[CurrentReport().eFormatter](psWinTextInfo);
    return OVTraceEnd("orvikdsys FormatDataLines", nRc);
}

int FormatBasicDataLines(WINTEXTINFO *psWinTextInfo)
{
    return FinishEntries(psWinTextInfo, FormatWholeLines(psWinTextInfo), "", " ");
}

int FormatNetworkDataLines(WINTEXTINFO *psWinTextInfo)
{
    return FinishEntries(psWinTextInfo, FormatWholeLines(psWinTextInfo), nullptr, nullptr);
}

int FormatCPUDataLines(WINTEXTINFO *psWinTextInfo)
{
    int nRc = ForEachLine(psWinTextInfo->pszText, [psWinTextInfo](std::string_view sLine, int) -> int {
        std::size_t nColon = sLine.find(':');
        if (nColon == std::string_view::npos)
            return AddWinTextEntry(psWinTextInfo, sLine, " ");
        std::string_view sData = SkipBlanks(sLine.substr(nColon + 1));
        if (!sData.empty() && sData.back() == ' ')
            sData.remove_suffix(1);
        return AddWinTextEntry(psWinTextInfo, sLine.substr(0, nColon + 1), sData);
    });
    return FinishEntries(psWinTextInfo, nRc, " ", "", true);
}

int FormatEMemoryDataLines(WINTEXTINFO *psWinTextInfo)
{
    int nRc = ForEachLine(psWinTextInfo->pszText, [psWinTextInfo](std::string_view sLine, int) -> int {
        std::vector<std::string_view> asWords;
        for (sLine = SkipBlanks(sLine); !sLine.empty(); sLine = SkipBlanks(sLine)) {
            std::size_t nEnd = 0;
            while (nEnd < sLine.size() && !IsBlank(sLine[nEnd]))
                nEnd++;
            asWords.push_back(sLine.substr(0, nEnd));
            sLine.remove_prefix(nEnd);
        }
        std::string sTitle, sData;
        std::size_t nFirstTitleWord = 1;
        if (!asWords.empty()) {
            sData = asWords[0];
            if (asWords.size() > 1 && asWords[1] == "K") {
                sData += " K";
                nFirstTitleWord = 2;
            }
        }
        for (std::size_t i = nFirstTitleWord; i < asWords.size(); i++)
            sTitle += asWords[i];
        if (!sTitle.empty())
            sTitle += ':';
        return AddWinTextEntry(psWinTextInfo, sTitle, sData);
    });
    return FinishEntries(psWinTextInfo, nRc, " ", "");
}

int FormatShortDataLines(WINTEXTINFO *psWinTextInfo)
{
    std::size_t nDevice = DSYSDEVICECOLUMN, nClass = DSYSCLASSCOLUMN;
    std::size_t nDescription = DSYSDESCRIPTIONCOLUMN;
    int nRc = ForEachLine(psWinTextInfo->pszText, [&](std::string_view sLine, int nIndex) -> int {
        if (nIndex == 0) {
            /* Each word of the header that is there moves its column. */
            nDevice = HeaderColumn(sLine, "Device", nDevice);
            nClass = HeaderColumn(sLine, "Class", nClass);
            nDescription = HeaderColumn(sLine, "Description", nDescription);
            return OVRC_OK;
        }
        if (nIndex == 1)
            return OVRC_OK;   /* the rule under the header */
        bool bBlankEnded = false;
        std::string sTitle(ColumnWord(sLine, nDevice, &bBlankEnded));
        if (!sTitle.empty() && bBlankEnded)
            sTitle += '-';
        sTitle += ColumnWord(sLine, nClass, &bBlankEnded);
        std::string_view sData = " ";
        if (nDescription < sLine.size() &&
            sLine.find_first_not_of(' ', nDescription) != std::string_view::npos) {
            sTitle += ':';
            sData = sLine.substr(nDescription);
        }
        return AddWinTextEntry(psWinTextInfo, sTitle, sData);
    });
    return FinishEntries(psWinTextInfo, nRc, nullptr, nullptr);
}
