/*
 * actionbar.cpp - the row of push buttons at the bottom of a panel.
 *
 * The buttons always appear in the order of the table below, whatever the order of the
 * style bits. Each button is a drawn display field plus an undrawn selectable twin that the
 * response loop walks; with OVAB_MODAL the bar reads the choice itself.
 */
#include <algorithm>
#include <string>
#include <string_view>

#include "toolkit_internal.h"

namespace {

struct OVBUTTON {
    unsigned long ulBit;
    std::string_view sLabel;   /* name and value of the button; ends with one blank */
    int nColumnStep;           /* distance to the next button's column */
    int nResponse;             /* response code in modal use */
};

constexpr OVBUTTON asButtons[] = {
    {OVAB_FORWARD, "Forward ", 10, 1},
    {OVAB_BACKWARD, "Backward ", 11, 25},
    {OVAB_NEW, "New ", 6, 28},
    {OVAB_PING, "Ping ", 7, 20},
    {OVAB_TRUST, "Trust ", 8, 21},
    {OVAB_CONNECT, "Connect ", 10, 22},
    {OVAB_DISCONNECT, "Disconnect ", 13, 26},
    {OVAB_RUN, "Run ", 6, 29},
    {OVAB_BROWSE, "Browse ", 9, 6},
    {OVAB_EDIT, "Edit ", 7, 7},
    {OVAB_COPY, "Copy ", 7, 23},
    {OVAB_SAVE, "Save ", 7, 4},
    {OVAB_CANCEL, "Cancel ", 9, 27},
    {OVAB_PRINT, "Print ", 8, 8},
    {OVAB_DELETE, "Delete ", 9, 24},
    {OVAB_HELP, "Help ", 7, 3},
    {OVAB_RETURN, "Return ", 9, 2},
    {OVAB_EXIT, "Exit ", 5, 9},
};
constexpr int OVBUTTONS = sizeof asButtons / sizeof asButtons[0];
static_assert(OVBUTTONS == 18, "one entry per button bit");

/* Every step is the label and two blanks of the bar, except the last button's. */
constexpr bool StepsFollowLabels()
{
    for (int i = 0; i < OVBUTTONS; i++) {
        int nLength = static_cast<int>(asButtons[i].sLabel.size());
        int nExpected = i == OVBUTTONS - 1 ? nLength : nLength + 2;
        if (asButtons[i].nColumnStep != nExpected || asButtons[i].sLabel.back() != ' ')
            return false;
    }
    return true;
}
static_assert(StepsFollowLabels(), "column steps follow the labels");

constexpr int OVRESPONSE_HELPBUTTON = 3;   /* the Help button's code in modal use */
constexpr int OVRESPONSE_RETURNBUTTON = 2; /* the Return button's */
constexpr int OVRESPONSE_HELPSHOWN = 10;   /* reported after the help box was shown */
constexpr int OVMAXBARBLANKS = 255;
constexpr std::size_t OVNAMESIZE = 33;       /* a field name keeps at most 32 characters */

/* One placed button of this call. */
struct OVSELECTION {
    int nColumn;
    int nResponse;
    int nLength;
    const FIELD *psField;   /* the drawn display field */
};

/* The selectable twin of a button: same place and text, style 0, not drawn. */
void CreateSelectableTwin(PABI *psPabi, int nRow, int nColumn, const std::string &sLabel)
{
    FIELD *psField = CreateFieldBlk(psPabi);
    psField->nRow = nRow;
    psField->nColumn = nColumn;
    psField->nLength = static_cast<int>(sLabel.size());
    OVCopyText(psField->szName, OVNAMESIZE, sLabel.c_str());
    OVCopyText(psField->szValue, sizeof psField->szValue, sLabel.c_str());
    psField->ulStyle = 0;
    psField->nAttribute = 1;
    psField->nBackground = 4;
    psField->nForeground = 4;

    FIELDTAB *psFieldTab = CreateFieldTabBlk(psPabi);
    psFieldTab->nRow = nRow;
    psFieldTab->nColumn = nColumn;
    psFieldTab->psField = psField;
}

/* A button placed on the panel before with this label at this place: its display field,
   followed by its selectable twin; nullptr when there is none. */
FIELD *PlacedButton(PABI *psPabi, int nRow, int nColumn, const std::string &sLabel)
{
    const int nPlaced = nColumn < 1 ? 1 : nColumn;
    for (FIELD *psField = psPabi->psFieldFirst; psField != nullptr;
         psField = psField->psFieldNext) {
        const FIELD *psTwin = psField->psFieldNext;
        if (psField->nRow == nRow && psField->nColumn == nPlaced && psField->ulStyle == 0 &&
            sLabel == psField->szName && psTwin != nullptr && psTwin->nRow == nRow &&
            psTwin->nColumn == nPlaced && sLabel == psTwin->szName)
            return psField;
    }
    return nullptr;
}

/* Makes the twin's tab entry current, as placing the button anew would. */
void MakeTwinCurrent(PABI *psPabi, const FIELD *psTwin)
{
    for (FIELDTAB *psFieldTab = psPabi->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext)
        if (psFieldTab->psField == psTwin)
            psPabi->psFieldTab_Current = psFieldTab;
}

/* The modal loop over the placed buttons, the current one in reverse of its colours; stores
   the chosen code in *pnResponse. */
int SelectButton(PABI *psPabi, int nRow, const OVSELECTION *asSelection, int nSelections,
                 int *pnResponse)
{
    // A change of size that came while the page was being built is answered first.
    if (OVTakeResize()) {
        *pnResponse = OVRESPONSE_RESIZE;
        return OVRC_OK;
    }
    // A bar shown again starts on the button chosen last, so that Forward pressed once can be
    // pressed again with Enter alone.
    int nCurrent = 0;
    for (int i = 0; i < nSelections; i++)
        if (psPabi->nButtonChosen != 0 && asSelection[i].nResponse == psPabi->nButtonChosen)
            nCurrent = i;
    auto MoveTo = [&](int nNew) {
        OVDrawFieldLook(asSelection[nCurrent].psField, false);
        nCurrent = nNew;
        OVDrawFieldLook(asSelection[nCurrent].psField, true);
    };
    OVDrawFieldLook(asSelection[nCurrent].psField, true);
    for (;;) {
        CHARINPUT sCharInput{};
        GetKBM(&sCharInput);
        int nKey = sCharInput.nChar;
        if (nKey == OVKEY_RESIZE) {
            OVTakeResize();
            *pnResponse = OVRESPONSE_RESIZE;
            return OVRC_OK;
        }
        if (nKey == OVKEY_MOUSE) {
            if (sCharInput.nRow != nRow)
                continue;
            // A button answers from one column left of its first letter to the letter
            // before its trailing blank.
            int nHit = -1;
            for (int i = 0; i < nSelections && nHit < 0; i++) {
                const OVSELECTION &sButton = asSelection[i];
                if (sCharInput.nColumn >= sButton.nColumn - 1 &&
                    sCharInput.nColumn <= sButton.nColumn + sButton.nLength - 2)
                    nHit = i;
            }
            if (nHit < 0)
                continue;
            MoveTo(nHit);
            *pnResponse = asSelection[nCurrent].nResponse;
            SetPosition(nRow, asSelection[nCurrent].nColumn - 1);
            nKey = OVKEY_ENTER;
        }
        if ((psPabi->ulKeys & OVKEYS_PAGING) != 0 &&
            (nKey == OVKEY_NPAGE || nKey == OVKEY_PPAGE || nKey == OVKEY_HOME || nKey == OVKEY_END)) {
            psPabi->nKey = nKey;
            *pnResponse = OVRESPONSE_KEY;
            return OVRC_OK;
        }
        if (nKey == OVKEY_ESCAPE) {
            // Escape is Return, where the bar offers it.
            for (int i = 0; i < nSelections; i++)
                if (asSelection[i].nResponse == OVRESPONSE_RETURNBUTTON) {
                    MoveTo(i);
                    nKey = OVKEY_ENTER;
                }
        }
        if (nKey == OVKEY_BTAB || nKey == OVKEY_LEFT) {
            MoveTo(nCurrent > 0 ? nCurrent - 1 : nSelections - 1);
            SetPosition(nRow, asSelection[nCurrent].nColumn);
        } else if (nKey == OVKEY_TAB || nKey == OVKEY_RIGHT) {
            MoveTo(nCurrent < nSelections - 1 ? nCurrent + 1 : 0);
            SetPosition(nRow, asSelection[nCurrent].nColumn);
        } else if (nKey == OVKEY_ENTER) {
            *pnResponse = asSelection[nCurrent].nResponse;
            psPabi->nButtonChosen = *pnResponse;
            if (*pnResponse == OVRESPONSE_HELPBUTTON) {
                OVShowProgramHelp(psPabi);
                *pnResponse = OVRESPONSE_HELPSHOWN;
                if (OVTakeResize())   // the size changed under the help box
                    *pnResponse = OVRESPONSE_RESIZE;
            }
            return OVRC_OK;
        }
    }
}

} // namespace

/* The public form: checks the panel and the response pointer first. */
int OVCreateActionBar(PAB *psPab, int nRow, int nColumn, int nLength, unsigned long ulStyle,
                      int *pnResponse)
{
    OVTraceStart("OVCreateActionBar",
                 "psPab: %p, nRow: %d, nColumn: %d, nLength: %d, ulStyle: 0x%lx, pnResponse: %p.",
                 static_cast<void *>(psPab), nRow, nColumn, nLength, ulStyle,
                 static_cast<void *>(pnResponse));
    if (OVNullArgument(psPab, "OVCreateActionBar: psPab") ||
        OVNullArgument(pnResponse, "OVCreateActionBar: pnResponse"))
        return OVTraceEnd("OVCreateActionBar", OVRC_ERROR);
    return OVTraceEnd("OVCreateActionBar",
                      OVCreateActionBari(psPab, nRow, nColumn, nLength, ulStyle, pnResponse));
}

/* Paints the bar in Panel colours and places the requested buttons from (nRow, nColumn);
   nLength is accepted and not used. With OVAB_MODAL waits for a choice and stores its
   response code (10 after Help). 0, 8 (arguments, no button) or a field creation's code. */
int OVCreateActionBari(PABI *psPabi, int nRow, int nColumn, int nLength, unsigned long ulStyle,
                       int *pnResponse)
{
    OVTraceStart("OVCreateActionBari",
                 "psPabi: %p, nRow: %d, nColumn: %d, nLength: %d, ulStyle: 0x%lx, pnResponse: %p.",
                 static_cast<void *>(psPabi), nRow, nColumn, nLength, ulStyle,
                 static_cast<void *>(pnResponse));
    if (OVNullArgument(psPabi, "OVCreateActionBari: psPabi"))
        return OVTraceEnd("OVCreateActionBari", OVRC_ERROR);
    if (OVNullArgument(pnResponse, "OVCreateActionBari: pnResponse"))
        return OVTraceEnd("OVCreateActionBari", OVRC_ERROR);

    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    const DISPLAYATTRIBUTES &sButton = asOVDisplayAttributes[OVDG_BUTTON];
    OVSetAttribute(0);
    OVSetColor(sPanel.nForegroundColor, sPanel.nBackgroundColor);
    int nBlanks = std::min(psPabi->nColumns - nColumn - 1, OVMAXBARBLANKS);
    if (nBlanks > 0 && SetPosition(nRow, nColumn) == OVRC_OK)
        WriteString(std::string(static_cast<std::size_t>(nBlanks), ' ').c_str());

    // Room for every button of the table, so any combination of bits fits.
    OVSELECTION asSelection[OVBUTTONS];
    int nSelections = 0;
    int nColumnNext = nColumn;
    for (const OVBUTTON &sEntry : asButtons) {
        if ((ulStyle & sEntry.ulBit) == 0)
            continue;
        const std::string sLabel(sEntry.sLabel);
        const int nLabelLength = static_cast<int>(sLabel.size());
        // A modal bar shown again (page after page) draws the buttons it placed before
        // instead of growing the panel heap; its own loop does not walk the tab order.
        FIELD *psPlaced = (ulStyle & OVAB_MODAL) != 0
                              ? PlacedButton(psPabi, nRow, nColumnNext, sLabel)
                              : nullptr;
        if (psPlaced != nullptr) {
            int nRc = OVUpdateFieldi(psPabi, psPlaced, nRow, nColumnNext, nLabelLength,
                                     sLabel.c_str(), 0, sButton.nAttribute,
                                     sButton.nBackgroundColor, sButton.nForegroundColor);
            if (nRc != OVRC_OK)
                return OVTraceEnd("OVCreateActionBari", nRc);
            MakeTwinCurrent(psPabi, psPlaced->psFieldNext);
            asSelection[nSelections++] = {psPlaced->nColumn, sEntry.nResponse, nLabelLength,
                                          psPlaced};
            nColumnNext += sEntry.nColumnStep;
            continue;
        }
        int nRc = OVCreateFieldi(psPabi, nRow, nColumnNext, nLabelLength, sLabel.c_str(),
                                 sLabel.c_str(), 0, sButton.nAttribute,
                                 sButton.nBackgroundColor, sButton.nForegroundColor);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR, "OVCreateActionBari: Unable to Create Field: %s, rc: %d.",
                  sLabel.c_str(), nRc);
            return OVTraceEnd("OVCreateActionBari", nRc);
        }
        // The display field stores a column below 1 as 1; the twin must sit on it.
        const FIELD *psDisplay = psPabi->psFieldLast;
        const int nPlaced = psDisplay->nColumn;
        CreateSelectableTwin(psPabi, nRow, nPlaced, sLabel);
        asSelection[nSelections++] = {nPlaced, sEntry.nResponse, nLabelLength, psDisplay};
        nColumnNext += sEntry.nColumnStep;
    }
    SetPosition(nRow, nColumn);

    if (nSelections == 0) {
        OVLog(OVLOG_ERROR, "OVCreateActionBari: No actions requested.");
        return OVTraceEnd("OVCreateActionBari", OVRC_ERROR);
    }
    if ((ulStyle & OVAB_MODAL) == 0)
        return OVTraceEnd("OVCreateActionBari", OVRC_OK);
    return OVTraceEnd("OVCreateActionBari",
                      SelectButton(psPabi, nRow, asSelection, nSelections, pnResponse));
}
