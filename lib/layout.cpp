/*
 * layout.cpp - what every screen shares: the smallest terminal it is drawn on, the 80-column
 * layout centred on wider terminals, text in a display group's colours, and the width of
 * text in terminal columns.
 *
 * Widths are measured in the C.UTF-8 character type whatever the program's own locale, so
 * that a name takes the same columns in a test, a log and on the screen.
 */
#include "toolkit_internal.h"

#include <clocale>
#include <cwchar>
#include <locale.h>

bool bOVResizePending = false;

namespace {

/* The UTF-8 character type used for widths; (locale_t)0 when the system has none. */
locale_t Utf8Locale()
{
    static locale_t sLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return sLocale;
}

/* Decodes the character at sText[nAt]; its bytes go to *pnBytes. A byte that does not start
   a whole, valid sequence is one byte of its own, reported as -1. */
long DecodeAt(std::string_view sText, std::size_t nAt, std::size_t *pnBytes)
{
    const auto c = static_cast<unsigned char>(sText[nAt]);
    *pnBytes = 1;
    if (c < 0x80) return c;
    std::size_t nLength = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (nLength == 0 || nAt + nLength > sText.size()) return -1;
    long nCode = c & (0x3F >> (nLength - 1));
    for (std::size_t i = 1; i < nLength; i++) {
        const auto cNext = static_cast<unsigned char>(sText[nAt + i]);
        if ((cNext & 0xC0) != 0x80) return -1;
        nCode = (nCode << 6) | (cNext & 0x3F);
    }
    *pnBytes = nLength;
    return nCode;
}

/* Columns of one decoded character: wcwidth's, except that a character without a width of
   its own (a control, a stray byte) takes one column, as the screen shows it as one cell. */
int CharacterColumns(long nCode)
{
    if (nCode < 0) return 1;
    if (nCode >= 0x20 && nCode < 0x7F) return 1;
    locale_t sUtf8 = Utf8Locale();
    int nWidth = -1;
    if (sUtf8 != static_cast<locale_t>(0)) {
        locale_t sOld = uselocale(sUtf8);
        nWidth = wcwidth(static_cast<wchar_t>(nCode));
        uselocale(sOld);
    }
    return nWidth < 0 ? 1 : nWidth;
}

} // namespace

bool OVTerminalFits(int nRows, int nColumns)
{
    return nRows >= OVMINROWS && nColumns >= OVMINCOLUMNS;
}

int OVLayoutMargin(const PABI *psPabi)
{
    if (psPabi == nullptr || psPabi->nColumns <= OVLAYOUTWIDTH) return 0;
    return (psPabi->nColumns - OVLAYOUTWIDTH) / 2;
}

int OVCentredColumn(const PABI *psPabi, int nWidth)
{
    if (psPabi == nullptr) return 1;
    const int nColumn = (psPabi->nColumns - nWidth) / 2;
    return nColumn < 1 ? 1 : nColumn;
}

PAB *OVCreateGroupPanel(const char *pszWho, const char *pszTitle, unsigned long ulGroup)
{
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroup < OVDISPLAYGROUPS ? ulGroup : 0];
    PAB *psPab = OVCreatePanel(pszTitle, sGroup.nAttribute, sGroup.nBackgroundColor,
                               sGroup.nForegroundColor);
    if (psPab == nullptr)
        OVLog(OVLOG_ERROR, "%s: Unable to Create Panel.", pszWho != nullptr ? pszWho : "OVCreateGroupPanel");
    return psPab;
}

int OVCreateGroupText(PABI *psPabi, int nRow, int nColumn, const char *pszName,
                      const char *pszText, unsigned long ulGroup, int nLength,
                      unsigned long ulStyle)
{
    if (OVNullArgument(pszText, "OVCreateGroupText: pszText")) return OVRC_ERROR;
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroup < OVDISPLAYGROUPS ? ulGroup : 0];
    if (nLength < 0) nLength = OVDisplayWidth(pszText);
    return OVCreateFieldi(psPabi, nRow, nColumn, nLength, pszName, pszText, ulStyle,
                          sGroup.nAttribute, sGroup.nBackgroundColor, sGroup.nForegroundColor);
}

int OVDisplayWidth(std::string_view sText)
{
    int nColumns = 0;
    for (std::size_t nAt = 0; nAt < sText.size();) {
        std::size_t nBytes = 1;
        nColumns += CharacterColumns(DecodeAt(sText, nAt, &nBytes));
        nAt += nBytes;
    }
    return nColumns;
}

std::size_t OVColumnsPrefix(std::string_view sText, int nColumns)
{
    int nUsed = 0;
    std::size_t nAt = 0;
    while (nAt < sText.size()) {
        std::size_t nBytes = 1;
        const long nCode = DecodeAt(sText, nAt, &nBytes);
        const int nWidth = CharacterColumns(nCode);
        if (nUsed + nWidth > nColumns) break;
        nUsed += nWidth;
        nAt += nBytes;
    }
    /* Combining marks after the last character kept belong to it. */
    while (nAt < sText.size()) {
        std::size_t nBytes = 1;
        const long nCode = DecodeAt(sText, nAt, &nBytes);
        if (nCode < 0x300 || CharacterColumns(nCode) != 0) break;
        nAt += nBytes;
    }
    return nAt;
}

std::string OVFitColumns(std::string_view sText, int nColumns)
{
    if (nColumns <= 0) return std::string();
    if (OVDisplayWidth(sText) <= nColumns) return std::string(sText);
    std::string sCut(sText.substr(0, OVColumnsPrefix(sText, nColumns - 1)));
    sCut += '~';
    return sCut;
}

std::string OVPadColumns(std::string_view sText, int nColumns)
{
    std::string sFitted = OVFitColumns(sText, nColumns);
    const int nWidth = OVDisplayWidth(sFitted);
    if (nWidth < nColumns) sFitted.append(static_cast<std::size_t>(nColumns - nWidth), ' ');
    return sFitted;
}
