/*
 * field.cpp - creating and drawing fields and pulldowns, giving a field the cursor and
 * looking up a field's value by name.
 *
 * A field is drawn at creation, and again by the response loop when it gains or loses the
 * focus. Lengths and positions count display columns, so a wide character takes two; a cut
 * never splits a UTF-8 character.
 */
#include "toolkit_internal.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int OVMAXDISPLAYWIDTH = 254;
constexpr std::size_t OVMAXNAME = 32;   /* bytes of a name that are kept */

/* The leading blanks and the part of the value that fits the display width, in columns. */
std::string DisplayedText(std::string_view sRaw, int nLength, unsigned long ulStyle) {
    int nWidth = (nLength >= 0 && nLength <= OVMAXDISPLAYWIDTH) ? nLength : OVMAXDISPLAYWIDTH;
    const std::string sShown = OVScreenText(sRaw);
    std::string_view sValue(sShown);
    sValue = sValue.substr(0, OVColumnsPrefix(sValue, nWidth));
    int nValue = OVDisplayWidth(sValue);
    int nBlanks = 0;
    if (nValue < nWidth) {
        if (ulStyle & OVSTYLE_RIGHT)
            nBlanks = nWidth - nValue;
        else if (ulStyle & OVSTYLE_CENTER)
            nBlanks = (nWidth - nValue) / 2;
    }
    std::string sText(static_cast<std::size_t>(nBlanks), ' ');
    sText.append(sValue);
    return sText;
}

/* Draws a field's text at its place in its colours; the column, 1 at least, is returned. */
int DrawFieldText(PABI *psPabi, int nRow, int nColumn, int nLength, const char *pszValue,
                  unsigned long ulStyle, int nAttribute, int nBackground, int nForeground) {
    attr_t nCurses = OVCursesAttribute(nAttribute);
    wattr_on(stdscr, nCurses, nullptr);
    if (nBackground >= 0) OVSetColor(nForeground, nBackground);

    std::string sText = DisplayedText(pszValue, nLength, ulStyle);
    if (nColumn < 1) nColumn = 1;
    // A position off the screen draws nothing; the text must not land at the old cursor.
    if (wmove(stdscr, nRow - 1, nColumn - 1) != ERR)
        waddnstr(stdscr, sText.data(), static_cast<int>(sText.size()));
    wattr_off(stdscr, nCurses, nullptr);
    psPabi->nRowCurrent = nRow;
    psPabi->nColumnCurrent = nColumn + OVDisplayWidth(sText);
    return nColumn;
}

/* The colour pair a field is drawn in: its own, or for a field without colours of its own
   (background below 0) the pair its first cell shows now. */
short FieldPair(const FIELD *psField) {
    if (psField->nBackground >= 0) {
        OVSetColor(psField->nForeground, psField->nBackground);
    } else {
        chtype nCell = mvwinch(stdscr, psField->nRow - 1, psField->nColumn - 1);
        wattr_off(stdscr, A_COLOR, nullptr);
        wattr_on(stdscr, nCell & A_COLOR, nullptr);
    }
    attr_t nAttributes = 0;
    short nPair = 0;
    wattr_get(stdscr, &nAttributes, &nPair, nullptr);
    return nPair;
}

/* Display fields share a row, column and name with their tab entry's field; the first one
   in the chain is the one drawn (an action bar button's twin is never drawn itself). */
const FIELD *DisplayField(const PABI *psPabi, const FIELD *psField) {
    for (const FIELD *psEach = psPabi->psFieldFirst; psEach != nullptr; psEach = psEach->psFieldNext)
        if (psEach->nRow == psField->nRow && psEach->nColumn == psField->nColumn &&
            std::strcmp(psEach->szName, psField->szName) == 0)
            return psEach;
    return psField;
}

void StoreFieldValues(FIELD *psField, int nRow, int nColumn, int nLength, const char *pszValue,
                      unsigned long ulStyle, int nAttribute, int nBackground, int nForeground) {
    psField->nRow = nRow;
    psField->nColumn = nColumn;
    psField->nLength = nLength;
    OVCopyText(psField->szValue, sizeof psField->szValue, pszValue);
    psField->ulStyle = ulStyle;
    psField->nAttribute = nAttribute;
    psField->nBackground = nBackground;
    psField->nForeground = nForeground;
}

} // namespace

void OVUseFieldLook(const FIELD *psField, bool bFocus) {
    if (psField == nullptr) return;
    attr_t nCurses = OVCursesAttribute(psField->nAttribute);
    if (bFocus) nCurses ^= A_REVERSE;
    short nPair = FieldPair(psField);
    wattr_set(stdscr, nCurses, nPair, nullptr);
}

void OVDrawFieldLook(const FIELD *psField, bool bFocus) {
    if (psField == nullptr) return;
    int nRowSaved = 0, nColumnSaved = 0;
    getyx(stdscr, nRowSaved, nColumnSaved);
    attr_t nAttributesSaved = 0;
    short nPairSaved = 0;
    wattr_get(stdscr, &nAttributesSaved, &nPairSaved, nullptr);

    OVUseFieldLook(psField, bFocus);
    std::string sText = DisplayedText(psField->szValue, psField->nLength, psField->ulStyle);
    if (!sText.empty() && wmove(stdscr, psField->nRow - 1, psField->nColumn - 1) != ERR)
        waddnstr(stdscr, sText.data(), static_cast<int>(sText.size()));

    wattr_set(stdscr, nAttributesSaved, nPairSaved, nullptr);
    wmove(stdscr, nRowSaved, nColumnSaved);
}

void OVDrawEntryFocus(const PABI *psPabi, const FIELDTAB *psFieldTab, bool bFocus) {
    if (psPabi == nullptr || psFieldTab == nullptr || psFieldTab->psField == nullptr) return;
    OVDrawFieldLook(DisplayField(psPabi, psFieldTab->psField), bFocus);
}

int OVCreateField(PAB *psPab, int nRow, int nColumn, int nLength, const char *pszName,
                  const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                  int nForeground) {
    OVTraceStart("OVCreateField", "psPab: %p, nRow: %d, nColumn: %d, nLength: %d.",
                 static_cast<void *>(psPab), nRow, nColumn, nLength);
    if (OVNullArgument(psPab, "OVCreateField:")) return OVTraceEnd("OVCreateField", OVRC_ERROR);
    int nRc = OVCreateFieldi(psPab, nRow, nColumn, nLength, pszName, pszValue, ulStyle,
                             nAttribute, nBackground, nForeground);
    return OVTraceEnd("OVCreateField", nRc);
}

int OVCreateFieldi(PABI *psPabi, int nRow, int nColumn, int nLength, const char *pszName,
                   const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                   int nForeground) {
    OVTraceStart("OVCreateFieldi",
                 "nRow: %d, nColumn: %d, nLength: %d, pszName: %s, pszValue: %s, ulStyle: %lx, "
                 "nAttribute: %d, nBackground: %d, nForeground: %d.", nRow, nColumn, nLength,
                 pszName != nullptr ? pszName : "(null)", pszValue != nullptr ? pszValue : "(null)",
                 ulStyle, nAttribute, nBackground, nForeground);
    if (OVNullArgument(pszName, "OVCreateFieldi: pszName") ||
        OVNullArgument(pszValue, "OVCreateFieldi: pszValue") ||
        OVNullArgument(psPabi, "OVCreateFieldi: psPabi"))
        return OVTraceEnd("OVCreateFieldi", OVRC_ERROR);

    nColumn = DrawFieldText(psPabi, nRow, nColumn, nLength, pszValue, ulStyle, nAttribute,
                            nBackground, nForeground);
    FIELD *psField = CreateFieldBlk(psPabi);
    OVCopyText(psField->szName, OVMAXNAME + 1, pszName);
    StoreFieldValues(psField, nRow, nColumn, nLength, pszValue, ulStyle, nAttribute, nBackground,
                     nForeground);

    if (ulStyle & OVSTYLE_TAB) {
        FIELDTAB *psFieldTab = CreateFieldTabBlk(psPabi);
        psFieldTab->nRow = nRow;
        psFieldTab->nColumn = nColumn;
        psFieldTab->psField = psField;
    }
    return OVTraceEnd("OVCreateFieldi", OVRC_OK);
}

int OVUpdateFieldi(PABI *psPabi, FIELD *psField, int nRow, int nColumn, int nLength,
                   const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                   int nForeground) {
    OVTraceStart("OVUpdateFieldi",
                 "psField: %p, nRow: %d, nColumn: %d, nLength: %d, pszValue: %s, ulStyle: %lx.",
                 static_cast<void *>(psField), nRow, nColumn, nLength,
                 pszValue != nullptr ? pszValue : "(null)", ulStyle);
    if (OVNullArgument(psPabi, "OVUpdateFieldi: psPabi") ||
        OVNullArgument(psField, "OVUpdateFieldi: psField") ||
        OVNullArgument(pszValue, "OVUpdateFieldi: pszValue"))
        return OVTraceEnd("OVUpdateFieldi", OVRC_ERROR);
    const FIELD *psOwn = psPabi->psFieldFirst;
    while (psOwn != nullptr && psOwn != psField) psOwn = psOwn->psFieldNext;
    if (psOwn == nullptr || ((ulStyle ^ psField->ulStyle) & (OVSTYLE_TAB | OVSTYLE_PULLDOWN))) {
        OVLog(OVLOG_ERROR, "OVUpdateFieldi: Field %p is not one of the panel's, or its tab or "
              "pulldown style would change: %lx to %lx.", static_cast<void *>(psField),
              psOwn != nullptr ? psField->ulStyle : 0UL, ulStyle);
        return OVTraceEnd("OVUpdateFieldi", OVRC_ERROR);
    }
    nColumn = DrawFieldText(psPabi, nRow, nColumn, nLength, pszValue, ulStyle, nAttribute,
                            nBackground, nForeground);
    StoreFieldValues(psField, nRow, nColumn, nLength, pszValue, ulStyle, nAttribute, nBackground,
                     nForeground);
    for (FIELDTAB *psFieldTab = psPabi->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext) {
        if (psFieldTab->psField != psField) continue;
        psFieldTab->nRow = nRow;
        psFieldTab->nColumn = nColumn;
    }
    return OVTraceEnd("OVUpdateFieldi", OVRC_OK);
}

int OVCreatePullDown(PAB *psPab, int nRow, int nColumn, int nLength, const char *pszName,
                     const char *pszValue, int nChoices, const char *const *pszChoices,
                     unsigned long ulStyle, int nAttribute, int nBackground, int nForeground) {
    OVTraceStart("OVCreatePullDown", "psPab: %p, nRow: %d, nColumn: %d, nLength: %d, nChoices: %d.",
                 static_cast<void *>(psPab), nRow, nColumn, nLength, nChoices);
    if (OVNullArgument(pszName, "OVCreatePullDown: pszName") ||
        OVNullArgument(pszValue, "OVCreatePullDown: pszValue") ||
        OVNullArgument(psPab, "OVCreatePullDown: psPabi") ||
        OVNullArgument(pszChoices, "OVCreatePullDown: pszChoices"))
        return OVTraceEnd("OVCreatePullDown", OVRC_ERROR);
    // A negative count would make the pop-up walk outside the caller's array.
    if (nChoices < 0) {
        OVLog(OVLOG_ERROR, "OVCreatePullDown: Invalid number of choices, nChoices: %d.", nChoices);
        return OVTraceEnd("OVCreatePullDown", OVRC_ERROR);
    }
    int nRc = OVCreateFieldi(psPab, nRow, nColumn, nLength, pszName, pszValue,
                             ulStyle | OVSTYLE_PULLDOWN, nAttribute, nBackground, nForeground);
    if (nRc == OVRC_OK) {
        psPab->psFieldLast->nChoices = nChoices;
        psPab->psFieldLast->pszChoices = pszChoices;
    }
    return OVTraceEnd("OVCreatePullDown", nRc);
}

int OVSetCursor(PAB *psPab, const char *pszName) {
    OVTraceStart("OVSetCursor", "psPab: %p, pszName: %s.", static_cast<void *>(psPab),
                 pszName != nullptr ? pszName : "(null)");
    if (OVNullArgument(psPab, "OVSetCursor: psPab") ||
        OVNullArgument(pszName, "OVSetCursor: pszName"))
        return OVTraceEnd("OVSetCursor", OVRC_ERROR);
    return OVTraceEnd("OVSetCursor", SetCursori(psPab, pszName));
}

int SetCursori(PABI *psPabi, const char *pszName) {
    OVTraceStart("SetCursori", "psPabi: %p, pszName: %s.", static_cast<void *>(psPabi),
                 pszName != nullptr ? pszName : "(null)");
    if (OVNullArgument(psPabi, "OVSetCursori: psPabi") ||
        OVNullArgument(pszName, "OVSetCursori: pszName"))
        return OVTraceEnd("SetCursori", OVRC_ERROR);
    for (FIELDTAB *psFieldTab = psPabi->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext) {
        FIELD *psField = psFieldTab->psField;
        if (psField == nullptr || strcmp(psField->szName, pszName) != 0) continue;
        psPabi->psFieldTab_Current = psFieldTab;
        wmove(stdscr, psField->nRow - 1, psField->nColumn - 1);
        psPabi->nRowCurrent = psField->nRow;
        psPabi->nColumnCurrent = psField->nColumn;
        return OVTraceEnd("SetCursori", OVRC_OK);
    }
    OVLog(OVLOG_ERROR, "SetCursori: Unable to Locate FieldTab, name: %s.", pszName);
    return OVTraceEnd("SetCursori", OVRC_ERROR);
}

int OVGetFieldValue(PAB *psPab, const char *pszFieldID, char **ppszFieldText) {
    OVTraceStart("OVGetFieldValue", "psPab: %p, pszFieldID: %s.", static_cast<void *>(psPab),
                 pszFieldID != nullptr ? pszFieldID : "(null)");
    if (OVNullArgument(psPab, "OVGetFieldValue: psPab") ||
        OVNullArgument(pszFieldID, "OVGetFieldValue: pszFieldID") ||
        OVNullArgument(ppszFieldText, "OVGetFieldValue: ppszFieldText"))
        return OVTraceEnd("OVGetFieldValue", OVRC_ERROR);
    return OVTraceEnd("OVGetFieldValue", GetFieldValuei(psPab, pszFieldID, ppszFieldText));
}

int GetFieldValuei(PABI *psPabi, const char *pszFieldID, char **ppszFieldText) {
    OVTraceStart("GetFieldValuei", "psPabi: %p, pszFieldID: %s.", static_cast<void *>(psPabi),
                 pszFieldID != nullptr ? pszFieldID : "(null)");
    if (OVNullArgument(psPabi, "OVGetFieldValuei: psPabi") ||
        OVNullArgument(pszFieldID, "OVGetFieldValuei: pszFieldID") ||
        OVNullArgument(ppszFieldText, "OVGetFieldValuei: ppszFieldText"))
        return OVTraceEnd("GetFieldValuei", OVRC_ERROR);
    *ppszFieldText = nullptr;
    for (FIELD *psField = psPabi->psFieldFirst; psField != nullptr; psField = psField->psFieldNext) {
        if (strcmp(psField->szName, pszFieldID) == 0) {
            *ppszFieldText = psField->szValue;
            return OVTraceEnd("GetFieldValuei", OVRC_OK);
        }
    }
    OVLog(OVLOG_ERROR, "GetFieldValuei: Unable to Locate Field, ID: %s.", pszFieldID);
    return OVTraceEnd("GetFieldValuei", OVRC_ERROR);
}
