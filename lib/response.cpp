/*
 * response.cpp - the user response loop, the field editor and the pulldown pop-up.
 *
 * OVGetUserResponsei walks the panel's tab chain until Enter (or a click) chooses a field,
 * showing the current entry in reverse of its colours; OVUREnteri decides what the choice
 * means from the field's value; DoEditField applies one key to an editable field;
 * OVURPullDowni lets the user pick one of a pulldown's choices, the current one in reverse.
 */
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "toolkit_internal.h"

namespace {

constexpr int OVMAXVALUE = 255;       /* characters a field value holds */
constexpr int OVMAXPULLDOWNLINE = 254; /* widest pop-up line drawn */

bool StartsWith(const char *pszText, const char *pszPrefix)
{
    return std::strncmp(pszText, pszPrefix, std::strlen(pszPrefix)) == 0;
}

bool IsNextKey(int nKey)
{
    return nKey == OVKEY_TAB || nKey == OVKEY_RIGHT || nKey == OVKEY_DOWN;
}

bool IsPreviousKey(int nKey)
{
    return nKey == OVKEY_BTAB || nKey == OVKEY_LEFT || nKey == OVKEY_UP;
}

/* The bell goes straight to the terminal, outside curses. */
void RingBell()
{
    ssize_t nWritten = write(STDOUT_FILENO, "\a", 1);
    (void)nWritten;
}

bool IsBackspaceKey(int nKey)
{
    return nKey == OVKEY_BACKSPACE || nKey == 127 || nKey == 8;
}

/* The entry last drawn in reverse, and its panel: it stays so after the loop returns, until
   the focus is drawn elsewhere. */
const PABI *psFocusPanel = nullptr;
const FIELDTAB *psFocusEntry = nullptr;

bool InTabChain(const PABI *psPabi, const FIELDTAB *psFieldTab);

/* Does the panel ask for this key back (ulKeys), given whether the current field takes text? */
bool HandsBack(unsigned long ulKeys, int nKey, bool bEditable)
{
    const bool bByte = nKey >= ' ' && nKey <= 255 && nKey != 127;
    if ((ulKeys & OVKEYS_TAB) != 0 && nKey == OVKEY_TAB) return true;
    if ((ulKeys & OVKEYS_TEXT) != 0 &&
        (bByte || IsBackspaceKey(nKey) || nKey == OVKEY_DELETE || nKey == OVKEY_LEFT ||
         nKey == OVKEY_RIGHT || nKey == OVKEY_ESCAPE || nKey == OVKEY_ENTER))
        return true;
    if (bEditable) return false;
    if ((ulKeys & OVKEYS_ESCAPE) != 0 && nKey == OVKEY_ESCAPE) return true;
    if ((ulKeys & OVKEYS_LETTERS) != 0 && bByte) return true;
    return (ulKeys & OVKEYS_PAGING) != 0 &&
           (nKey == OVKEY_NPAGE || nKey == OVKEY_PPAGE || nKey == OVKEY_HOME || nKey == OVKEY_END);
}

/* Has the panel a Return push button? */
bool OffersReturn(const PABI *psPabi)
{
    for (const FIELDTAB *psFieldTab = psPabi->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext)
        if (psFieldTab->psField != nullptr && StartsWith(psFieldTab->psField->szValue, "Return "))
            return true;
    return false;
}

/* The focus leaves psOld (drawn normally again) for psNew (drawn in reverse). */
void MoveFocus(const PABI *psPabi, const FIELDTAB *psOld, const FIELDTAB *psNew)
{
    if (psOld == psNew)
        return;
    OVDrawEntryFocus(psPabi, psOld, false);
    OVDrawEntryFocus(psPabi, psNew, true);
    psFocusPanel = psPabi;
    psFocusEntry = psNew;
}

/* At the start of the loop: the current entry in reverse, and an entry of the same panel
   left in reverse by an earlier loop (before the program moved the cursor) drawn normally. */
void ShowFocus(const PABI *psPabi)
{
    const FIELDTAB *psCurrent = psPabi->psFieldTab_Current;
    if (psFocusPanel == psPabi && psFocusEntry != psCurrent && InTabChain(psPabi, psFocusEntry))
        OVDrawEntryFocus(psPabi, psFocusEntry, false);
    OVDrawEntryFocus(psPabi, psCurrent, true);
    psFocusPanel = psPabi;
    psFocusEntry = psCurrent;
}

void MoveToEntry(PABI *psPabi, const FIELDTAB *psFieldTab)
{
    psPabi->nRowCurrent = psFieldTab->nRow;
    psPabi->nColumnCurrent = psFieldTab->nColumn;
    SetPosition(psFieldTab->nRow, psFieldTab->nColumn);
}

/* Writes a value so that no character takes more cells than its width: curses would draw a
   control character as two ("^T") and a broken sequence as several, so they show as '?'. */
void WriteValueCells(const char *pszValue)
{
    waddstr(stdscr, OVPrintableText(pszValue).c_str());
}

/* Writes characters nFrom to nTo - 1 of an edited value at their cells: those inside the
   field's length in the focus look, those typed past it in the normal one. */
void WriteEditedCells(const FIELDTAB *psFieldTab, int nFrom, int nTo)
{
    const FIELD *psField = psFieldTab->psField;
    const std::string sValue(psField->szValue);
    nTo = std::min(nTo, static_cast<int>(sValue.size()));
    if (nFrom < 0 || nFrom >= nTo)
        return;
    const int nSplit = std::clamp(psField->nLength, nFrom, nTo);
    if (nSplit > nFrom) {
        OVUseFieldLook(psField, true);
        SetPosition(psFieldTab->nRow, psFieldTab->nColumn + nFrom);
        WriteValueCells(sValue.substr(static_cast<std::size_t>(nFrom),
                                      static_cast<std::size_t>(nSplit - nFrom)).c_str());
    }
    if (nTo > nSplit) {
        OVUseFieldLook(psField, false);
        SetPosition(psFieldTab->nRow, psFieldTab->nColumn + nSplit);
        WriteValueCells(sValue.substr(static_cast<std::size_t>(nSplit),
                                      static_cast<std::size_t>(nTo - nSplit)).c_str());
    }
}

/* Blanks the old text of an edited field in its normal look and draws its new value from
   the first column. */
void RedrawValue(const FIELDTAB *psFieldTab, int nOldLength)
{
    OVUseFieldLook(psFieldTab->psField, false);
    SetPosition(psFieldTab->nRow, psFieldTab->nColumn);
    WriteString(std::string(static_cast<std::size_t>(nOldLength), ' ').c_str());
    WriteEditedCells(psFieldTab, 0, OVMAXVALUE);
}

/* Is psFieldTab an entry of the panel's tab chain? */
bool InTabChain(const PABI *psPabi, const FIELDTAB *psFieldTab)
{
    for (const FIELDTAB *psEntry = psPabi->psFieldTabFirst; psEntry != nullptr;
         psEntry = psEntry->psFieldTabNext) {
        if (psEntry == psFieldTab)
            return true;
    }
    return false;
}

/* The cells of a rectangle of the screen, kept to be put back as they were. Rows and
   columns 1-based; the part off the screen is left out. */
class SCREENAREA {
  public:
    SCREENAREA(int nRow, int nColumn, int nRows, int nColumns)
    {
        const int nTop = std::max(nRow, 1), nLeft = std::max(nColumn, 1);
        const int nBottom = std::min(nRow + nRows - 1, LINES);
        const int nRight = std::min(nColumn + nColumns - 1, COLS);
        if (nBottom < nTop || nRight < nLeft)
            return;
        nFirstRow = nTop;
        nFirstColumn = nLeft;
        nWidth = nRight - nLeft + 1;
        for (int r = nTop; r <= nBottom; r++) {
            std::vector<cchar_t> asRow(static_cast<std::size_t>(nWidth) + 1);
            mvwin_wchnstr(stdscr, r - 1, nLeft - 1, asRow.data(), nWidth);
            aasRows.push_back(std::move(asRow));
        }
    }
    void Restore() const
    {
        for (std::size_t i = 0; i < aasRows.size(); i++)
            mvwadd_wchnstr(stdscr, nFirstRow - 1 + static_cast<int>(i), nFirstColumn - 1,
                           aasRows[i].data(), nWidth);
    }

  private:
    int nFirstRow = 0, nFirstColumn = 0, nWidth = 0;
    std::vector<std::vector<cchar_t>> aasRows;
};

/* A line frame around a pop-up in the pulldown colours; the sides that fall off the screen
   are left out. */
void DrawPopupFrame(int nRow, int nColumn, int nRows, int nColumns)
{
    const DISPLAYATTRIBUTES &sPulldown = asOVDisplayAttributes[OVDG_PULLDOWN];
    OVSetAttribute(0);
    OVSetColor(sPulldown.nForegroundColor, sPulldown.nBackgroundColor);
    const int nBottom = nRow + nRows - 1, nRight = nColumn + nColumns - 1;
    auto Put = [](int r, int c, chtype ch) {
        if (r >= 1 && c >= 1 && r <= LINES && c <= COLS)
            mvwaddch(stdscr, r - 1, c - 1, ch);
    };
    for (int c = nColumn + 1; c < nRight; c++) {
        Put(nRow, c, ACS_HLINE);
        Put(nBottom, c, ACS_HLINE);
    }
    for (int r = nRow + 1; r < nBottom; r++) {
        Put(r, nColumn, ACS_VLINE);
        Put(r, nRight, ACS_VLINE);
    }
    Put(nRow, nColumn, ACS_ULCORNER);
    Put(nRow, nRight, ACS_URCORNER);
    Put(nBottom, nColumn, ACS_LLCORNER);
    Put(nBottom, nRight, ACS_LRCORNER);
}

} // namespace

/* The public form of the response loop: checks its arguments first. */
bool OVTakeResize()
{
    const bool bPending = bOVResizePending;
    bOVResizePending = false;
    return bPending;
}

int OVGetUserResponse(PAB *psPab, char *pszResponseID, int *pnResponse)
{
    OVTraceStart("OVGetUserResponse", "psPab: %p, pszResponseID: %p, pnResponse: %p.",
                 static_cast<void *>(psPab), static_cast<void *>(pszResponseID),
                 static_cast<void *>(pnResponse));
    if (OVNullArgument(psPab, "OVGetUserResponse: psPab") ||
        OVNullArgument(pszResponseID, "OVGetUserResponse: pszResponseID") ||
        OVNullArgument(pnResponse, "OVGetUserResponse: pnResponse"))
        return OVTraceEnd("OVGetUserResponse", OVRC_ERROR);
    return OVTraceEnd("OVGetUserResponse",
                      OVGetUserResponsei(psPab, pszResponseID, pnResponse));
}

/* Moves between the selectable fields until Enter or a click chooses one. Returns 0 (with
   *pnResponse 2 or 5, or unchanged after help or a pulldown), 3 Return, 9 Exit, 8 error. */
int OVGetUserResponsei(PABI *psPabi, char *pszResponseID, int *pnResponse)
{
    OVTraceStart("OVGetUserResponsei", "psPabi: %p, pszResponseID: %p, pnResponse: %p.",
                 static_cast<void *>(psPabi), static_cast<void *>(pszResponseID),
                 static_cast<void *>(pnResponse));
    if (OVNullArgument(psPabi, "OVGetUserResponsei: psPabi"))
        return OVTraceEnd("OVGetUserResponsei", OVRC_ERROR);
    if (OVNullArgument(pnResponse, "OVGetUserResponsei: pnResponse"))
        return OVTraceEnd("OVGetUserResponsei", OVRC_ERROR);
    if (pszResponseID != nullptr)
        pszResponseID[0] = '\0';

    if (psPabi->psFieldTab_Current == nullptr)
        psPabi->psFieldTab_Current = psPabi->psFieldTabFirst;
    if (psPabi->psFieldTab_Current == nullptr) {
        *pnResponse = OVRESPONSE_NOFIELD;
        return OVTraceEnd("OVGetUserResponsei", OVRC_OK);
    }

    // A size that changed while the screen was being built, or under a box, is answered
    // before anything else: the program builds its screen for the new size.
    if (OVTakeResize()) {
        *pnResponse = OVRESPONSE_RESIZE;
        return OVTraceEnd("OVGetUserResponsei", OVRC_OK);
    }

    // The cursor stays where building the panel or OVSetCursor left it; the current entry
    // shows in reverse.
    ShowFocus(psPabi);
    for (;;) {
        FIELDTAB *psBefore = psPabi->psFieldTab_Current;
        int nKey = GetInputChar(psPabi);
        MoveFocus(psPabi, psBefore, psPabi->psFieldTab_Current); // a click moves the focus
        if (nKey == OVKEY_RESIZE) {
            OVTakeResize();
            *pnResponse = OVRESPONSE_RESIZE;
            return OVTraceEnd("OVGetUserResponsei", OVRC_OK);
        }
        FIELDTAB *psCurrent = psPabi->psFieldTab_Current;
        if (psCurrent == nullptr || psCurrent->psField == nullptr) {
            OVLog(OVLOG_ERROR, "OVGetUserResponsei: Unable to Locate FieldTab: %p.",
                  static_cast<void *>(psCurrent));
            return OVTraceEnd("OVGetUserResponsei", OVRC_ERROR);
        }
        bool bEditable = (psCurrent->psField->ulStyle & OVSTYLE_EDIT) != 0;
        if (HandsBack(psPabi->ulKeys, nKey, bEditable)) {
            psPabi->nKey = nKey;
            *pnResponse = OVRESPONSE_KEY;
            return OVTraceEnd("OVGetUserResponsei", OVRC_OK);
        }
        // Escape leaves the screen as Return does, where no text is being typed into it.
        if (nKey == OVKEY_ESCAPE && !bEditable && OffersReturn(psPabi))
            return OVTraceEnd("OVGetUserResponsei", OVRC_RETURN);
        if (bEditable && nKey != OVKEY_TAB && nKey != OVKEY_DOWN && nKey != OVKEY_BTAB &&
            nKey != OVKEY_UP) {
            DoEditField(psCurrent, nKey);
        } else if (IsNextKey(nKey)) {
            psPabi->psFieldTab_Current = psCurrent->psFieldTabNext != nullptr
                                             ? psCurrent->psFieldTabNext
                                             : psPabi->psFieldTabFirst;
            MoveFocus(psPabi, psCurrent, psPabi->psFieldTab_Current);
            MoveToEntry(psPabi, psPabi->psFieldTab_Current);
        } else if (IsPreviousKey(nKey)) {
            psPabi->psFieldTab_Current = psCurrent->psFieldTabPrev != nullptr
                                             ? psCurrent->psFieldTabPrev
                                             : psPabi->psFieldTabLast;
            MoveFocus(psPabi, psCurrent, psPabi->psFieldTab_Current);
            MoveToEntry(psPabi, psPabi->psFieldTab_Current);
        } else if (nKey == OVKEY_ENTER) {
            int nRc = OVUREnteri(psPabi, pszResponseID, pnResponse);
            // The help box or a pulldown that a change of size closed: the screen behind is
            // laid out again, once.
            if (nRc == OVRC_OK && OVTakeResize())
                *pnResponse = OVRESPONSE_RESIZE;
            return OVTraceEnd("OVGetUserResponsei", nRc);
        } else {
            RingBell();
        }
    }
}

/* What Enter means on the current entry, decided by the field's value first: Return 3,
   Exit 9, Help shows the help box (0), a pulldown opens, anything else is response 5. */
int OVUREnteri(PABI *psPabi, char *pszResponseID, int *pnResponse)
{
    OVTraceStart("OVUREnteri", "psPabi: %p, pszResponseID: %p, pnResponse: %p.",
                 static_cast<void *>(psPabi), static_cast<void *>(pszResponseID),
                 static_cast<void *>(pnResponse));
    if (OVNullArgument(psPabi, "OVUREnteri: psPabi"))
        return OVTraceEnd("OVUREnteri", OVRC_ERROR);
    FIELDTAB *psCurrent = psPabi->psFieldTab_Current;
    if (!InTabChain(psPabi, psCurrent) || psCurrent->psField == nullptr) {
        OVLog(OVLOG_ERROR, "OVUREnteri: Unable to Locate FieldTab: %p.",
              static_cast<void *>(psCurrent));
        return OVTraceEnd("OVUREnteri", OVRC_ERROR);
    }
    FIELD *psField = psCurrent->psField;

    int nRc = OVRC_OK;
    if (StartsWith(psField->szValue, "Return ")) {
        nRc = OVRC_RETURN;
    } else if (StartsWith(psField->szValue, "Exit ")) {
        nRc = OVRC_EXIT;
    } else if (StartsWith(psField->szValue, "Help ")) {
        OVShowProgramHelp(psPabi);
    } else if ((psField->ulStyle & OVSTYLE_PULLDOWN) != 0) {
        nRc = OVURPullDowni(psPabi, pszResponseID, pnResponse, psField, psCurrent);
    } else if (OVNullArgument(pnResponse, "OVUREnteri: pnResponse")) {
        nRc = OVRC_ERROR;
    } else {
        if (pszResponseID != nullptr)
            OVCopyText(pszResponseID, sizeof psField->szName, psField->szName);
        *pnResponse = OVRESPONSE_FIELD;
    }
    return OVTraceEnd("OVUREnteri", nRc);
}

/* Applies one key to an editable field: printable characters overwrite or extend the value at
   nOffset, Left and Right move, Home and End go to the start and just after the end,
   Backspace removes the character before the cursor, Delete the one under it. The value is
   drawn in the focus look. Always 0. */
int DoEditField(FIELDTAB *psFieldTab, int nWorkchar)
{
    OVTraceStart("DoEditField", "psFieldTab: %p, nWorkchar: %d.",
                 static_cast<void *>(psFieldTab), nWorkchar);
    if (OVNullArgument(psFieldTab, "DoEditField: psFieldTab") ||
        OVNullArgument(psFieldTab->psField, "DoEditField: psField"))
        return OVTraceEnd("DoEditField", OVRC_OK);
    char *pszValue = psFieldTab->psField->szValue;
    const int nLength = static_cast<int>(std::strlen(pszValue));
    int &nOffset = psFieldTab->nOffset;
    const int nRow = psFieldTab->nRow;
    const int nColumn = psFieldTab->nColumn;

    /* Printable characters only: ESC and the other control codes would reach the screen
       and every command line the value goes into. */
    if (nWorkchar > ' ' && nWorkchar <= 126) {
        // An offset past the end (never set by the editor itself) types at the end, so the
        // value never gets a hole.
        if (nOffset > nLength)
            nOffset = nLength;
        if (nOffset < OVMAXVALUE) {
            pszValue[nOffset] = static_cast<char>(nWorkchar);
            if (nOffset == nLength)
                pszValue[nOffset + 1] = '\0';
            WriteEditedCells(psFieldTab, nOffset, nOffset + 1);
            nOffset++;
            SetPosition(nRow, nColumn + nOffset);
        }
    } else if (nWorkchar == OVKEY_RIGHT) {
        if (nOffset < nLength) {
            nOffset++;
            SetPosition(nRow, nColumn + nOffset);
        }
    } else if (nWorkchar == OVKEY_LEFT) {
        if (nOffset > 0) {
            nOffset--;
            SetPosition(nRow, nColumn + nOffset);
        }
    } else if (nWorkchar == OVKEY_HOME) {
        nOffset = 0;
        SetPosition(nRow, nColumn);
    } else if (nWorkchar == OVKEY_END) {
        nOffset = nLength;
        SetPosition(nRow, nColumn + nOffset);
    } else if (IsBackspaceKey(nWorkchar)) {
        if (nOffset > nLength)
            nOffset = nLength;
        if (nOffset > 0) {
            // The terminating NUL moves along with the rest of the value.
            std::memmove(pszValue + nOffset - 1, pszValue + nOffset,
                         static_cast<std::size_t>(nLength - nOffset + 1));
            nOffset--;
            RedrawValue(psFieldTab, nLength);
        }
        SetPosition(nRow, nColumn + nOffset);
    } else if (nWorkchar == OVKEY_DELETE) {
        if (nOffset < nLength && nLength >= 2) {
            std::memmove(pszValue + nOffset, pszValue + nOffset + 1,
                         static_cast<std::size_t>(nLength - nOffset));
            RedrawValue(psFieldTab, nLength);
            SetPosition(nRow, nColumn + nOffset);
        } else if (nOffset == nLength && nLength > 0) {
            // Just after the last character: that character goes and the cursor stays just
            // after the shortened value.
            pszValue[nLength - 1] = '\0';
            RedrawValue(psFieldTab, nLength);
            nOffset = nLength - 1;
            SetPosition(nRow, nColumn + nOffset);
        }
    }
    return OVTraceEnd("DoEditField", OVRC_OK);
}

/* Opens the choice list of a pulldown over the field and makes the chosen text its value;
   Escape closes it without a choice. Neither *pnResponse nor pszResponseID is touched. 0, or 8 for a NULL panel or field. */
int OVURPullDowni(PABI *psPabi, char *pszResponseID, int *pnResponse, FIELD *psField,
                  FIELDTAB *psFieldTab)
{
    OVTraceStart("OVURPullDowni",
                 "psPabi: %p, pszResponseID: %p, pnResponse: %p, psField: %p, psFieldTab: %p.",
                 static_cast<void *>(psPabi), static_cast<void *>(pszResponseID),
                 static_cast<void *>(pnResponse), static_cast<void *>(psField),
                 static_cast<void *>(psFieldTab));
    if (OVNullArgument(psPabi, "OVURPullDowni: psPabi"))
        return OVTraceEnd("OVURPullDowni", OVRC_ERROR);
    if (OVNullArgument(psField, "OVURPullDowni: psField"))
        return OVTraceEnd("OVURPullDowni", OVRC_ERROR);

    const DISPLAYATTRIBUTES &sPulldown = asOVDisplayAttributes[OVDG_PULLDOWN];
    OVSetAttribute(0);
    OVSetColor(sPulldown.nForegroundColor, sPulldown.nBackgroundColor);

    const int nWidth = std::clamp(psField->nLength - 1, 1, OVMAXPULLDOWNLINE);
    // A value padded with blanks to its field still names its choice.
    std::size_t nValueLength = std::strlen(psField->szValue);
    while (nValueLength > 0 && psField->szValue[nValueLength - 1] == ' ')
        nValueLength--;
    const int nRowFirst = psField->nRow;
    int nShownChoices = 0;
    for (int i = 0; psField->pszChoices != nullptr && i < psField->nChoices; i++)
        if (psField->pszChoices[i] != nullptr && psField->pszChoices[i][0] != '\0')
            nShownChoices++;
    // What the pop-up and its frame cover comes back when it closes.
    const SCREENAREA sCovered(nRowFirst - 1, psField->nColumn - 1, std::max(nShownChoices, 1) + 2,
                              nWidth + 2);
    const std::string sValueBefore = psField->szValue;
    DrawPopupFrame(nRowFirst - 1, psField->nColumn - 1, std::max(nShownChoices, 1) + 2, nWidth + 2);
    OVSetAttribute(0);
    OVSetColor(sPulldown.nForegroundColor, sPulldown.nBackgroundColor);
    int nShown = 0;
    int nChoice = 0;
    std::vector<std::string> asLine; // the shown lines, redrawn as the current one moves
    for (int i = 0; psField->pszChoices != nullptr && i < psField->nChoices; i++) {
        const char *pszText = psField->pszChoices[i];
        if (pszText == nullptr || pszText[0] == '\0')
            continue;
        std::string sLine(pszText, OVColumnsPrefix(pszText, nWidth));
        sLine.append(static_cast<std::size_t>(std::max(nWidth - OVDisplayWidth(sLine), 0)), ' ');
        SetPosition(nRowFirst + nShown, psField->nColumn);
        WriteString(sLine.c_str());
        if (sLine.compare(0, nValueLength, psField->szValue, nValueLength) == 0)
            nChoice = nShown; // the last matching line wins
        asLine.push_back(std::move(sLine));
        nShown++;
    }

    // The current choice shows in reverse of the pulldown colours; the cursor starts its row.
    auto ShowChoice = [&](int nLine, bool bCurrent) {
        if (nLine < 0 || nLine >= nShown)
            return;
        OVSetAttribute(bCurrent ? 7 : 0);
        OVSetColor(sPulldown.nForegroundColor, sPulldown.nBackgroundColor);
        SetPosition(nRowFirst + nLine, psField->nColumn);
        WriteString(asLine[static_cast<std::size_t>(nLine)].c_str());
        SetPosition(nRowFirst + nLine, psField->nColumn);
    };
    auto MoveChoice = [&](int nNew) {
        ShowChoice(nChoice, false);
        nChoice = nNew;
        ShowChoice(nChoice, true);
        SetPosition(nRowFirst + nChoice, psField->nColumn);
    };

    // From now on the field offers only the choices that were shown, in their rows.
    if (nShown > 0) {
        auto **ppszShown = static_cast<const char **>(
            GetHunkofHeap(psPabi, nShown * static_cast<int>(sizeof(const char *))));
        int nNext = 0;
        for (int i = 0; i < psField->nChoices; i++) {
            const char *pszText = psField->pszChoices[i];
            if (pszText != nullptr && pszText[0] != '\0')
                ppszShown[nNext++] = pszText;
        }
        psField->pszChoices = ppszShown;
    }
    psField->nChoices = nShown;

    const int nRowLast = nRowFirst + std::max(nShown - 1, 0);
    ShowChoice(nChoice, true);
    SetPosition(nRowFirst + nChoice, psField->nColumn);

    for (;;) {
        CHARINPUT sCharInput{};
        GetKBM(&sCharInput);
        int nKey = sCharInput.nChar;
        if (nKey == OVKEY_RESIZE)
            break; // nothing chosen; the screen behind is built again for the new size
        if (nKey == OVKEY_ESCAPE)
            break; // closed without a choice: the value stays as it was
        if (nKey == OVKEY_MOUSE) {
            int nHit = sCharInput.nRow - nRowFirst;
            if (nHit >= 0 && nHit < nShown && sCharInput.nColumn >= psField->nColumn &&
                sCharInput.nColumn <= psField->nColumn + psField->nLength - 1) {
                MoveChoice(nHit);
                nKey = OVKEY_ENTER;
            }
        }
        if (IsNextKey(nKey)) {
            MoveChoice(nRowFirst + nChoice < nRowLast ? nChoice + 1 : 0);
        } else if (IsPreviousKey(nKey)) {
            MoveChoice(nRowFirst + nChoice > nRowFirst ? nChoice - 1 : std::max(nShown - 1, 0));
        } else if (nKey == OVKEY_ENTER) {
            // With no choice shown there is nothing to pick: the value stays as it was.
            if (nShown > 0) {
                const int nKeep = std::clamp(psField->nLength, 0, OVMAXVALUE);
                const char *pszChosen = psField->pszChoices[nChoice];
                /* The field's columns, and never more bytes than its value holds. */
                std::size_t nCut = std::min(OVColumnsPrefix(pszChosen, nKeep),
                                            OVUtf8Prefix(pszChosen, OVMAXVALUE));
                std::memcpy(psField->szValue, pszChosen, nCut);
                psField->szValue[nCut] = '\0';
            }
            break;
        }
    }
    sCovered.Restore();
    // The field shows its value afresh, over whatever its old one left.
    if (sValueBefore != psField->szValue) {
        OVUseFieldLook(psField, false);
        SetPosition(psField->nRow, psField->nColumn);
        WriteString(std::string(static_cast<std::size_t>(OVDisplayWidth(sValueBefore)), ' ').c_str());
    }
    OVDrawEntryFocus(psPabi, psFieldTab, true);
    SetPosition(psField->nRow, psField->nColumn);
    return OVTraceEnd("OVURPullDowni", OVRC_OK);
}
