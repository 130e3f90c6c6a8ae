/*
 * boxes.cpp - pop-up screens drawn straight onto the standard screen: the message box, the
 * help box, the help prompt screen and the product information panel.
 *
 * None of them creates fields (the product panel's Return button excepted); each waits for
 * the user once and leaves its drawing on the screen for the caller to replace. The
 * confirmation box is the message box with Yes and No in place of Return.
 */
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit_internal.h"

#include <unistd.h>

char *pszHelpInfo = nullptr;

namespace {

constexpr unsigned int OVMAXBOXWIDTH = 1027;
constexpr const char *OVNOHELPTEXT = "No Help is available for this program.";
constexpr const char *OVVERSION = "V1R0M0";
constexpr const char *OVPRODUCTTITLE = "Orvik Terminal Manager Product Information";
constexpr const char *OVNCURSESCREDIT =
    "Copyright 1998-2018 Free Software Foundation, Inc., 1996-2021 Thomas E. Dickey";
constexpr int OVCOLORBLACK = 0;
constexpr int OVCOLORRED = 1;
constexpr int OVCOLORGREEN = 2;
constexpr int OVCOLORYELLOW = 3;
constexpr int OVCOLORCYAN = 6;

/* Set by every red message box: the program has said why it failed. */
bool bFailureShown = false;

/* The MIT-style warranty disclaimer in the wording of the ncurses licence, in the lines the
   panel shows. The wording "THE AUTHORS OR COPYRIGHT HOLDERS" is five characters longer and
   cannot be broken into these lengths; "THE ABOVE COPYRIGHT HOLDERS" can, with the fourth
   line keeping its trailing blank. */
constexpr std::string_view asDisclaimer[] = {
    "THE SOFTWARE IS PROVIDED \"AS IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS",
    "OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF",
    "MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT.",
    "IN NO EVENT SHALL THE ABOVE COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, ",
    "DAMAGES OR OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR",
    "OTHERWISE, ARISING FROM, OUT OF OR IN CONNECTION WITH THE SOFTWARE OR",
    "THE USE OR OTHER DEALINGS IN THE SOFTWARE.",
};
constexpr std::size_t anDisclaimerLength[] = {71, 58, 70, 71, 69, 69, 42};
static_assert(std::size(asDisclaimer) == std::size(anDisclaimerLength));
constexpr bool DisclaimerLinesFit()
{
    for (std::size_t i = 0; i < std::size(asDisclaimer); i++) {
        if (asDisclaimer[i].size() != anDisclaimerLength[i])
            return false;
    }
    return true;
}
static_assert(DisclaimerLinesFit(), "disclaimer lines keep their lengths");

void UseGroupColours(unsigned long ulGroup)
{
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroup];
    OVSetAttribute(0);
    OVSetColor(sGroup.nForegroundColor, sGroup.nBackgroundColor);
}

void WriteAt(int nRow, int nColumn, const char *pszText)
{
    if (SetPosition(nRow, nColumn) == OVRC_OK)
        WriteString(pszText);
}

void WriteBlanks(int nRow, int nColumn, int nCount)
{
    if (nCount > 0)
        WriteAt(nRow, nColumn, std::string(static_cast<std::size_t>(nCount), ' ').c_str());
}

/* Centred on the panel's width; a text wider than the panel starts at column 1. */
void WriteCentred(const PABI *psPabi, int nRow, const char *pszRaw)
{
    const std::string sShown = OVScreenText(pszRaw);
    const char *pszText = sShown.c_str();
    int nLength = OVDisplayWidth(sShown);
    int nColumn = psPabi->nColumns / 2 - nLength / 2 + 1;
    WriteAt(nRow, nColumn < 1 ? 1 : nColumn, pszText);
}

/* Every row of the panel from nRowFirst, columns 1 to nColumns - 1, blank in Panel colours. */
void PaintPanelRows(PABI *psPabi, int nRowFirst)
{
    const DISPLAYATTRIBUTES &sPanel = asOVDisplayAttributes[OVDG_PANEL];
    OVSetAttribute(0);
    OVClearScreenHunk(psPabi, nRowFirst, 1, psPabi->nRows - nRowFirst + 1,
                      psPabi->nColumns - 1, sPanel.nBackgroundColor, sPanel.nForegroundColor);
}

int FrameColour(int nMessageType)
{
    if (nMessageType == OVLOG_ERROR)
        return OVCOLORRED;
    if (nMessageType == OVLOG_WARNING)
        return OVCOLORYELLOW;
    return OVCOLORGREEN;
}

/* The frame and the message of a box at (nRow, nColumn), eight rows high, sized as the
   message box is; the width of the frame. */
int DrawFramedMessage(PABI *psPabi, const char *pszRaw, int nMessageType, int nRow,
                      int nColumn, int nLength)
{
    // The box is sized for the message as it is shown.
    const std::string sShown = OVScreenText(pszRaw);
    const char *psMessage = sShown.c_str();
    // A negative width counts as a very large one.
    unsigned int nRequested = static_cast<unsigned int>(nLength);
    long nWidth = nRequested > OVMAXBOXWIDTH ? OVMAXBOXWIDTH : nRequested;
    const long nScreenWidth = psPabi->nColumns - 2;
    const long nMessageLength = OVDisplayWidth(psMessage);
    if (nWidth > nScreenWidth) {
        nWidth = nScreenWidth;
    } else if (nWidth < nMessageLength + 6) {
        nWidth = nMessageLength + 6;
        // A box grown for a long message that would pass the panel's right edge is limited
        // like a large request instead, and the text is cut; one that fits keeps its width.
        if (nColumn + nWidth - 2 > psPabi->nColumns)
            nWidth = nScreenWidth;
    }
    const int nBoxWidth = static_cast<int>(nWidth) - 1;

    UseGroupColours(OVDG_PANEL);
    for (int i = 0; i <= 6; i++)
        WriteBlanks(nRow + i, nColumn, nBoxWidth);

    const int nFrame = FrameColour(nMessageType);
    OVSetColor(nFrame, nFrame);
    WriteBlanks(nRow + 7, nColumn, nBoxWidth);
    WriteBlanks(nRow, nColumn, nBoxWidth);
    for (int i = 1; i <= 7; i++) {
        WriteBlanks(nRow + i, nColumn, 1);
        WriteBlanks(nRow + i, nColumn + nBoxWidth - 1, 1);
    }

    // The message keeps one blank on each side inside the frame.
    const long nRoom = nBoxWidth - 4 > 0 ? nBoxWidth - 4 : 0;
    const std::string sMessage(psMessage, OVColumnsPrefix(psMessage, static_cast<int>(nRoom)));
    UseGroupColours(OVDG_PANEL);
    WriteAt(nRow + 3, nColumn + 2, sMessage.c_str());
    return nBoxWidth;
}

/* The message box without its wait: frame, message and Return button, the cursor on it. */
void DrawMessageBox(PABI *psPabi, const char *psMessage, int nMessageType, int nRow, int nColumn,
                    int nLength)
{
    DrawFramedMessage(psPabi, psMessage, nMessageType, nRow, nColumn, nLength);
    UseGroupColours(OVDG_BUTTON);
    WriteAt(nRow + 5, nColumn + 2, "Return ");
    SetPosition(nRow + 5, nColumn + 2);
}

/* The text of a failure for one screen line: a line end and the blanks around the text go,
   and what is left is shown as every screen text is, so that nothing moves the cursor. */
std::string ScreenLine(std::string_view sText)
{
    while (!sText.empty() && (sText.back() == '\n' || sText.back() == ' '))
        sText.remove_suffix(1);
    while (!sText.empty() && sText.front() == '\n')
        sText.remove_prefix(1);
    return OVScreenText(sText);
}

/* At most nLines pieces of at most nWidth display columns, broken after a blank where there
   is one and never inside a character; the last piece is cut. */
std::vector<std::string> WrapLines(std::string_view sText, std::size_t nWidth, std::size_t nLines)
{
    std::vector<std::string> asLine;
    while (!sText.empty() && asLine.size() < nLines) {
        std::size_t nTake = OVColumnsPrefix(sText, static_cast<int>(nWidth));
        if (nTake < sText.size() && asLine.size() + 1 < nLines) {
            std::size_t nBlank = sText.substr(0, nTake + 1).rfind(' ');
            if (nBlank != std::string_view::npos &&
                static_cast<std::size_t>(OVDisplayWidth(sText.substr(0, nBlank))) > nWidth / 2)
                nTake = nBlank + 1;
        }
        if (nTake == 0)
            break;
        asLine.emplace_back(sText.substr(0, nTake));
        sText.remove_prefix(nTake);
    }
    return asLine;
}

/* The two buttons of a Yes/No box, the current one in reverse of the button colours. */
void DrawYesNo(int nRow, int nYesColumn, int nNoColumn, bool bYes)
{
    const DISPLAYATTRIBUTES &sButton = asOVDisplayAttributes[OVDG_BUTTON];
    auto Button = [&](int nColumn, const char *pszLabel, bool bCurrent) {
        OVSetAttribute(bCurrent ? 7 : 0);
        OVSetColor(sButton.nForegroundColor, sButton.nBackgroundColor);
        WriteAt(nRow, nColumn, pszLabel);
    };
    Button(nYesColumn, "Yes ", bYes);
    Button(nNoColumn, "No ", !bYes);
    UseGroupColours(OVDG_BUTTON);
}

/* The size of the terminal now, or the panel's when it cannot be read. */
void TerminalSizeOr(const PABI *psPabi, int *pnRows, int *pnColumns)
{
    if (OVTerminalSize(pnRows, pnColumns) != OVRC_OK || *pnRows == 0 || *pnColumns == 0) {
        *pnRows = psPabi->nRows;
        *pnColumns = psPabi->nColumns;
    }
}

/* Where a box drawn at (nRow, nColumn) on the panel goes on a terminal of a new size: moved by
   half the change, so that a box centred on the panel is centred on the terminal, and never
   above or left of the screen. psScreen gets the new size for the drawing. */
void PlaceOnNewSize(const PABI *psPabi, PABI *psScreen, int *pnRow, int *pnColumn)
{
    *psScreen = *psPabi;
    TerminalSizeOr(psPabi, &psScreen->nRows, &psScreen->nColumns);
    *pnRow = std::max(1, *pnRow + (psScreen->nRows - psPabi->nRows) / 2);
    *pnColumn = std::max(1, *pnColumn + (psScreen->nColumns - psPabi->nColumns) / 2);
}

/* A new terminal size under a box: the screen is cleared in Panel colours for the box to be
   drawn again. */
void ClearForRedraw(PABI *psScreen)
{
    wattrset(stdscr, A_NORMAL);
    werase(stdscr);
    PaintPanelRows(psScreen, 1);
}

/* The answer of a Yes/No box: keys move between the two buttons and Enter takes the one
   under the cursor; y and n answer at once, Escape is No; a click on a button takes it. A new
   terminal size draws the box again through fnRedraw, which gives the buttons' new row and
   columns. */
template <typename REDRAW>
bool ReadYesNo(int nRow, int nYesColumn, int nNoColumn, REDRAW fnRedraw)
{
    constexpr int OVKEY_ESCAPE = 27;
    bool bYes = false; // the cursor starts on No
    for (;;) {
        DrawYesNo(nRow, nYesColumn, nNoColumn, bYes);
        SetPosition(nRow, bYes ? nYesColumn : nNoColumn);
        CHARINPUT sCharInput{};
        GetKBM(&sCharInput);
        switch (sCharInput.nChar) {
        case 'y':
        case 'Y':
            return true;
        case 'n':
        case 'N':
        case OVKEY_ESCAPE:
            return false;
        case OVKEY_ENTER:
            return bYes;
        case OVKEY_TAB:
        case OVKEY_BTAB:
        case OVKEY_LEFT:
        case OVKEY_RIGHT:
        case OVKEY_UP:
        case OVKEY_DOWN:
            bYes = !bYes;
            break;
        case OVKEY_RESIZE:
            fnRedraw(&nRow, &nYesColumn, &nNoColumn);
            break;
        case OVKEY_MOUSE:
            if (sCharInput.nRow != nRow)
                break;
            if (sCharInput.nColumn >= nYesColumn && sCharInput.nColumn < nYesColumn + 3)
                return true;
            if (sCharInput.nColumn >= nNoColumn && sCharInput.nColumn < nNoColumn + 2)
                return false;
            break;
        default:
            break;
        }
    }
}

/* Waits for the key or click that closes a box; a new terminal size (the resize stays
   pending for the screen behind) draws the box again through fnRedraw instead. */
template <typename REDRAW>
void WaitToClose(PABI *psPabi, REDRAW fnRedraw)
{
    for (;;) {
        int nKey = OVKEY_RESIZE;
        if (psPabi != nullptr) {
            nKey = GetInputChar(psPabi);
        } else {
            CHARINPUT sCharInput{};
            GetKBM(&sCharInput);
            nKey = sCharInput.nChar;
        }
        if (nKey != OVKEY_RESIZE)
            return;
        fnRedraw();
    }
}

} // namespace

/* A framed message with a Return button at (nRow, nColumn); the frame is red for type 8,
   yellow for 4, green otherwise. Waits for one key or click. 0, or 8 for a NULL pointer. */
int CreateMessageBoxi(PABI *psPabi, const char *psMessage, int nMessageType, int nRow,
                      int nColumn, int nLength)
{
    OVTraceStart("CreateMessageBoxi",
                 "psPabi: %p, psMessage: %s, nMessageType: %d, nRow: %d, nColumn: %d, "
                 "nLength: %d.",
                 static_cast<const void *>(psPabi), psMessage != nullptr ? psMessage : "(null)",
                 nMessageType, nRow, nColumn, nLength);
    if (OVNullArgument(psPabi, "CreateMessageBoxi: psPabi"))
        return OVTraceEnd("CreateMessageBoxi", OVRC_ERROR);
    if (OVNullArgument(psMessage, "CreateMessageBoxi: psMessage"))
        return OVTraceEnd("CreateMessageBoxi", OVRC_ERROR);

    auto Draw = [&](PABI *psOn, int nAtRow, int nAtColumn) {
        DrawMessageBox(psOn, psMessage, nMessageType, nAtRow, nAtColumn, nLength);
    };
    Draw(psPabi, nRow, nColumn);
    if (nMessageType == OVLOG_ERROR)
        bFailureShown = true;

    psPabi->nRowCurrent = 1;
    psPabi->nColumnCurrent = 1;
    WaitToClose(nullptr, [&]() {
        PABI sScreen{};
        int nNewRow = nRow, nNewColumn = nColumn;
        PlaceOnNewSize(psPabi, &sScreen, &nNewRow, &nNewColumn);
        ClearForRedraw(&sScreen);
        Draw(&sScreen, nNewRow, nNewColumn);
    });
    return OVTraceEnd("CreateMessageBoxi", OVRC_OK);
}

/* A question in a yellow frame, placed and sized as the message box, with Yes and No
   buttons; waits for the answer (see ReadYesNo) and stores it in *pbYes. 0, or 8 for a
   NULL pointer. */
int CreateConfirmBoxi(PABI *psPabi, const char *psMessage, int nRow, int nColumn, int nLength,
                      int *pbYes)
{
    OVTraceStart("CreateConfirmBoxi",
                 "psPabi: %p, psMessage: %s, nRow: %d, nColumn: %d, nLength: %d.",
                 static_cast<const void *>(psPabi), psMessage != nullptr ? psMessage : "(null)",
                 nRow, nColumn, nLength);
    if (OVNullArgument(psPabi, "CreateConfirmBoxi: psPabi") ||
        OVNullArgument(psMessage, "CreateConfirmBoxi: psMessage") ||
        OVNullArgument(pbYes, "CreateConfirmBoxi: pbYes"))
        return OVTraceEnd("CreateConfirmBoxi", OVRC_ERROR);

    *pbYes = 0;
    DrawFramedMessage(psPabi, psMessage, OVLOG_WARNING, nRow, nColumn, nLength);
    psPabi->nRowCurrent = 1;
    psPabi->nColumnCurrent = 1;
    auto Redraw = [&](int *pnButtonRow, int *pnYesColumn, int *pnNoColumn) {
        PABI sScreen{};
        int nNewRow = nRow, nNewColumn = nColumn;
        PlaceOnNewSize(psPabi, &sScreen, &nNewRow, &nNewColumn);
        ClearForRedraw(&sScreen);
        DrawFramedMessage(&sScreen, psMessage, OVLOG_WARNING, nNewRow, nNewColumn, nLength);
        *pnButtonRow = nNewRow + 5;
        *pnYesColumn = nNewColumn + 2;
        *pnNoColumn = nNewColumn + 8;
    };
    *pbYes = ReadYesNo(nRow + 5, nColumn + 2, nColumn + 8, Redraw) ? 1 : 0;
    if (bDebug)
        OVLog(OVLOG_DEBUG, "CreateConfirmBoxi: answer: %s.", *pbYes ? "Yes" : "No");
    return OVTraceEnd("CreateConfirmBoxi", OVRC_OK);
}

/* The public form of the help box: checks its pointers first. */
int CreateHelpBox(PAB *psPab, const char *psMessage, int nRow, int nColumn, int nLength)
{
    OVTraceStart("CreateHelpBox", "psPab: %p, psMessage: %p, nRow: %d, nColumn: %d, nLength: %d.",
                 static_cast<void *>(psPab), static_cast<const void *>(psMessage), nRow, nColumn,
                 nLength);
    // The public form names the panel psPabi in its message, like the internal one.
    if (OVNullArgument(psPab, "CreateHelpBox: psPabi") ||
        OVNullArgument(psMessage, "CreateHelpBox: psMessage"))
        return OVTraceEnd("CreateHelpBox", OVRC_ERROR);
    return OVTraceEnd("CreateHelpBox", CreateHelpBoxi(psPab, psMessage, nRow, nColumn, nLength));
}

/* The help text over the whole panel below its title row, with a Return button; the row,
   column and length only reach the trace. Waits for one key or click. The result of
   printing the text, or 8 for a NULL pointer. */
int CreateHelpBoxi(PABI *psPabi, const char *psMessage, int nRow, int nColumn, int nLength)
{
    OVTraceStart("CreateHelpBoxi",
                 "psPabi: %p, psMessage: %p, nRow: %d, nColumn: %d, nLength: %d.",
                 static_cast<void *>(psPabi), static_cast<const void *>(psMessage), nRow,
                 nColumn, nLength);
    if (OVNullArgument(psPabi, "CreateHelpBoxi: psPabi"))
        return OVTraceEnd("CreateHelpBoxi", OVRC_ERROR);
    if (OVNullArgument(psMessage, "CreateHelpBoxi: psMessage"))
        return OVTraceEnd("CreateHelpBoxi", OVRC_ERROR);

    auto Draw = [&](PABI *psOn) {
        PaintPanelRows(psOn, 2);
        int nPrinted = PrintBlock(psOn, 2, 2, psMessage);
        const int nButtonColumn = psOn->nColumns / 2 - 3;
        UseGroupColours(OVDG_BUTTON);
        WriteAt(psOn->nRows - 1, nButtonColumn, "Return ");
        SetPosition(psOn->nRows - 1, nButtonColumn);
        return nPrinted;
    };
    int nRc = Draw(psPabi);
    psPabi->nRowCurrent = psPabi->nRows - 2;
    psPabi->nColumnCurrent = psPabi->nColumns / 2 - 3;
    WaitToClose(psPabi, [&]() {
        PABI sScreen{};
        int nRow0 = 1, nColumn0 = 1;
        PlaceOnNewSize(psPabi, &sScreen, &nRow0, &nColumn0);
        ClearForRedraw(&sScreen);
        Draw(&sScreen);
    });
    return OVTraceEnd("CreateHelpBoxi", nRc);
}

/* The program's help text in the help box; a plain notice when the program has none. */
int OVShowProgramHelp(PABI *psPabi)
{
    OVTraceStart("OVShowProgramHelp", "psPabi: %p.", static_cast<void *>(psPabi));
    if (pszHelpInfo == nullptr)
        OVLog(OVLOG_WARNING, "OVShowProgramHelp: No help text, showing: %s", OVNOHELPTEXT);
    const char *pszText = pszHelpInfo != nullptr ? pszHelpInfo : OVNOHELPTEXT;
    return OVTraceEnd("OVShowProgramHelp", CreateHelpBoxi(psPabi, pszText, 4, 4, 60));
}

/* A blank screen titled "Help Information"; the prompt and position only reach the trace.
   0, or 8 for a NULL panel. */
int CreatePrompti(PABI *psPabi, const char *psPrompt, unsigned long ulStyle, int nRow,
                  int nColumn, int nLength)
{
    OVTraceStart("CreatePrompti",
                 "psPabi: %p, psPrompt: %s, ulStyle: 0x%lx, nRow: %d, nColumn: %d, nLength: %d.",
                 static_cast<void *>(psPabi), psPrompt != nullptr ? psPrompt : "(null)", ulStyle,
                 nRow, nColumn, nLength);
    if (OVNullArgument(psPabi, "CreatePrompti: psPabi"))
        return OVTraceEnd("CreatePrompti", OVRC_ERROR);
    PaintPanelRows(psPabi, 1);
    WriteAt(1, psPabi->nColumns / 2 - 7, "Help Information");
    return OVTraceEnd("CreatePrompti", OVRC_OK);
}

/* Title, version, build stamp, credits and the warranty disclaimer, closed by a modal
   Return button. The action bar's result, or 8 for a NULL panel. */
int ProductInfo(PABI *psPabi)
{
    OVTraceStart("ProductInfo", "psPabi: %p.", static_cast<void *>(psPabi));
    if (OVNullArgument(psPabi, "ProductInfo: psPabi"))
        return OVTraceEnd("ProductInfo", OVRC_ERROR);
    const int nRows = psPabi->nRows;
    const int nColumns = psPabi->nColumns;

    PaintPanelRows(psPabi, 1);
    WriteCentred(psPabi, 1, OVPRODUCTTITLE);

    OVSetColor(OVCOLORCYAN, OVCOLORBLACK);
    char szLine[128];
    std::snprintf(szLine, sizeof szLine, "Version: %s", OVVERSION);
    WriteCentred(psPabi, 4, szLine);
    std::snprintf(szLine, sizeof szLine, "Build: %s %s", __DATE__, __TIME__);
    WriteCentred(psPabi, 6, szLine);
    WriteCentred(psPabi, nRows - 13, "Developed using ncurses");
    WriteCentred(psPabi, nRows - 12, OVNCURSESCREDIT);

    // All lines start where the third one is centred.
    const int nDisclaimerColumn = nColumns / 2 - 35 + 1;
    int nRow = nRows - 10;
    for (std::string_view sLine : asDisclaimer)
        WriteAt(nRow++, nDisclaimerColumn, std::string(sLine).c_str());

    UseGroupColours(OVDG_BUTTON);
    const int nBarColumn = (nColumns - 7) / 2;
    int nResponse = 0;
    int nRc = OVCreateActionBari(psPabi, nRows - 2, nBarColumn, nColumns - nBarColumn,
                                 OVAB_MODAL | OVAB_RETURN, &nResponse);
    if (bDebug)
        OVLog(OVLOG_DEBUG, "ProductInfo: nResponse: %d.", nResponse);
    return OVTraceEnd("ProductInfo", nRc);
}

namespace {

/* The box across the middle of the whole screen, for a step that has no panel (or whose panel
   is gone): over the screen in use while curses is active, else on a screen of its own that
   is left again afterwards. A long text takes the rows above and below the message row. */
int ShowScreenBox(int nType, const std::string &sLine)
{
    /* A panel's screen may wait for its first refresh after an earlier one was left. */
    const bool bActive = stdscr != nullptr && (nOVLivePanels > 0 || !isendwin());
    if (!bActive && (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)))
        return OVRC_ERROR;

    if (bActive) {
        /* What a child program left on the terminal is not what curses believes is there. */
        clearok(stdscr, TRUE);
    } else {
        OVApplyPanelCursesSettings(OVPANELHALFDELAY);
    }
    /* The box needs no fields: an anchor block of the screen's size is enough. */
    PABI sScreen{};
    std::memcpy(sScreen.szEyeCatcher, "PANELBLK", sizeof sScreen.szEyeCatcher);
    auto ReadSize = [&]() {
        if (OVTerminalSize(&sScreen.nRows, &sScreen.nColumns) != OVRC_OK || sScreen.nRows == 0 ||
            sScreen.nColumns == 0) {
            sScreen.nRows = LINES;
            sScreen.nColumns = COLS;
        }
    };
    auto Draw = [&]() {
        const int nRow = sScreen.nRows > 16 ? sScreen.nRows / 2 - 4 : 1;
        const int nRoom = sScreen.nColumns - 7;   /* inside the frame of the widest box */
        if (OVDisplayWidth(sLine) <= nRoom || nRoom < 10) {
            DrawMessageBox(&sScreen, sLine.c_str(), nType, nRow, 2, sScreen.nColumns - 2);
            return;
        }
        const std::vector<std::string> asLine = WrapLines(sLine, static_cast<std::size_t>(nRoom), 3);
        DrawFramedMessage(&sScreen, "", nType, nRow, 2, sScreen.nColumns - 2);
        UseGroupColours(OVDG_PANEL);
        for (std::size_t i = 0; i < asLine.size(); i++)
            WriteAt(nRow + 2 + static_cast<int>(i), 4, asLine[i].c_str());
        UseGroupColours(OVDG_BUTTON);
        WriteAt(nRow + 5, 4, "Return ");
        SetPosition(nRow + 5, 4);
    };
    ReadSize();
    if (!bActive)
        PaintPanelRows(&sScreen, 1);
    Draw();
    if (nType == OVLOG_ERROR) bFailureShown = true;
    WaitToClose(nullptr, [&]() {
        ReadSize();
        ClearForRedraw(&sScreen);
        Draw();
    });
    if (!bActive) {
        EndCurses();
        nColorPair = 0;
    }
    return OVRC_OK;
}

} // namespace

int OVShowBox(PABI *psPabi, int nType, std::string_view sText, int nRow)
{
    const std::string sLine = ScreenLine(sText);
    OVTraceStart("OVShowBox", "psPabi: %p, nType: %d, sText: %s, nRow: %d.",
                 static_cast<void *>(psPabi), nType, sLine.c_str(), nRow);
    if (psPabi == nullptr)
        return OVTraceEnd("OVShowBox", ShowScreenBox(nType, sLine));
    if (nRow > 0) {
        /* As wide as the text and its frame, centred on the panel. */
        const int nWidth = OVDisplayWidth(sLine) + 2;
        return OVTraceEnd("OVShowBox",
                          CreateMessageBoxi(psPabi, sLine.c_str(), nType, nRow,
                                            OVCentredColumn(psPabi, nWidth), nWidth));
    }
    /* Across the panel a little above its middle; the text is cut to what the frame holds. */
    const int nColumns = psPabi->nColumns;
    const std::string sShown = OVFitColumns(sLine, std::max(nColumns - 9, 1));
    const int nBoxRow = psPabi->nRows > 16 ? psPabi->nRows / 2 - 4 : 1;
    return OVTraceEnd("OVShowBox",
                      CreateMessageBoxi(psPabi, sShown.c_str(), nType, nBoxRow, 3, nColumns - 4));
}

int OVShowMessage(int nType, const char *pszText, bool bLog)
{
    if (OVNullArgument(pszText, "OVShowMessage: pszText"))
        return OVRC_ERROR;
    if (bLog)
        OVWriteMessage(nType, pszText);
    return OVShowBox(nullptr, nType, pszText);
}

int OVShowFailure(const char *pszText, bool bLog)
{
    return OVShowMessage(OVLOG_ERROR, pszText, bLog);
}

bool OVFailureShown()
{
    return bFailureShown;
}

int OVShowFailureBeforeEnd(int nRc)
{
    if (nRc != OVRC_ERROR || bFailureShown)
        return nRc;
    std::string sText = OVFirstLoggedError();
    if (sText.empty())
        sText = std::string("Ended after an error; see the log ") + szLogFile + ".";
    OVShowFailure(sText.c_str(), false);
    return nRc;
}
