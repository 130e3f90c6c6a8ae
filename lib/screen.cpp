/*
 * screen.cpp - curses set-up, colour pairs, attributes, cursor positions and text.
 *
 * Everything is drawn on stdscr and nothing here refreshes: the next key read brings the
 * screen up to date, so a whole panel appears at once. Rows and columns are 1-based
 * except in PrintBlock, which takes curses coordinates.
 *
 * Curses is started once per process. Each later panel, after an endwin, re-applies the
 * settings and starts from a cleared stdscr in the normal attribute; the next key read
 * brings the terminal back into curses mode.
 */
#include "toolkit_internal.h"
#include "services_internal.h"

#include <clocale>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

OVCOLORPAIR asColor[OVMAXCOLORPAIRS];
int nColorPair = 0;
int nBackColor = -1;
int nForeColor = -1;

namespace {

/* Pair numbers above 32 come from this extension of asColor, up to what curses offers
   (and what COLOR_PAIR can carry). */
constexpr int OVPAIRLIMIT = 255;
OVCOLORPAIR asColorMore[OVPAIRLIMIT - OVMAXCOLORPAIRS];

OVCOLORPAIR &ColorEntry(int nIndex) {
    return nIndex < OVMAXCOLORPAIRS ? asColor[nIndex] : asColorMore[nIndex - OVMAXCOLORPAIRS];
}

/* Highest pair number this terminal can define (0 without colour). */
int PairLimit() {
    int nLimit = COLOR_PAIRS - 1;
    return nLimit < OVPAIRLIMIT ? nLimit : OVPAIRLIMIT;
}

constexpr struct {
    int nAttribute;
    attr_t nCurses;
} asAttributeMap[] = {
    {1, A_BOLD},
    {2, A_DIM},
    {3, A_UNDERLINE},
    {7, A_REVERSE},
};

/* Writes sText at a 0-based position; nothing when the position is off the screen. */
void WriteAt(int nRow, int nColumn, std::string_view sText) {
    if (wmove(stdscr, nRow, nColumn) == ERR) return;
    waddnstr(stdscr, sText.data(), static_cast<int>(sText.size()));
}

} // namespace

attr_t OVCursesAttribute(int nAttribute) {
    for (const auto &sEntry : asAttributeMap)
        if (sEntry.nAttribute == nAttribute) return sEntry.nCurses;
    return A_NORMAL;
}

bool OVNullArgument(const void *p, const char *pszWhat) {
    if (p != nullptr) return false;
    OVLog(OVLOG_ERROR, "%s NULL pointer: %p.", pszWhat, p);
    return true;
}

void OVApplyPanelCursesSettings(int nHalfDelayTenths) {
    // UTF-8 text shows as characters only when curses starts in the user's character set.
    // Only the character type is taken from the environment: numbers, dates and messages
    // keep their fixed forms in logs, reports and config.ini.
    if (stdscr == nullptr) setlocale(LC_CTYPE, "");
    initscr();
    start_color();
    cbreak();
    noecho();
    halfdelay(nHalfDelayTenths);
    keypad(stdscr, TRUE);
    // Escape is a key of its own (back, or away from a filter): answered within 50 ms, not
    // the second curses waits by default for the rest of a sequence.
    set_escdelay(50);
    mousemask(OVMOUSEMASK, nullptr);
    // Curses neither waits to merge a press and its release into a click nor drops quick
    // presses: each press is reported at once, and GetKBM skips the releases.
    mouseinterval(0);
    wattrset(stdscr, A_NORMAL);
    wclear(stdscr);
}

int InitializeCurses() {
    OVTraceStart("InitializeCurses", "nHalfDelay: %d.", OVMENUHALFDELAY);
    OVApplyPanelCursesSettings(OVMENUHALFDELAY);
    return OVTraceEnd("InitializeCurses", OVRC_OK);
}

int EndCurses() {
    OVTraceStart("EndCurses", "%s", "no arguments.");
    wclear(stdscr);
    endwin();
    return OVTraceEnd("EndCurses", OVRC_OK);
}

int OVSetColor(int nForegroundColor, int nBackgroundColor) {
    OVTraceStart("OVSetColor", "nForegroundColor: %d, nBackgroundColor: %d.", nForegroundColor,
                 nBackgroundColor);
    int nPair = 0;
    for (int i = 0; i < nColorPair; ++i) {
        const OVCOLORPAIR &sEntry = ColorEntry(i);
        if (sEntry.nForeground == nForegroundColor && sEntry.nBackground == nBackgroundColor) {
            nPair = i + 1;
            break;
        }
    }
    int nLimit = PairLimit();
    if (nPair == 0 && nLimit > 0) {
        if (nColorPair < nLimit) {
            nPair = ++nColorPair;
        } else {
            // Every pair is taken: the last one is redefined, so cells drawn in it before
            // change colour. Only a terminal with very few pairs gets here.
            nPair = nLimit;
            OVLog(OVLOG_WARNING, "OVSetColor: No free colour pair, pair %d redefined.", nPair);
        }
        ColorEntry(nPair - 1) = {nForegroundColor, nBackgroundColor};
        init_pair(static_cast<short>(nPair), static_cast<short>(nForegroundColor),
                  static_cast<short>(nBackgroundColor));
    }
    // The new pair replaces the old one; the other attributes stay.
    wattr_off(stdscr, A_COLOR, nullptr);
    wattr_on(stdscr, COLOR_PAIR(nPair), nullptr);
    return OVTraceEnd("OVSetColor", OVRC_OK);
}

int OVSetAttribute(int nAttribute) {
    OVTraceStart("OVSetAttribute", "nAttribute: %d.", nAttribute);
    wattrset(stdscr, OVCursesAttribute(nAttribute));
    return OVTraceEnd("OVSetAttribute", OVRC_OK);
}

int SetPosition(int nRow, int nColumn) {
    OVTraceStart("SetPosition", "nRow: %d, nColumn: %d.", nRow, nColumn);
    if (nRow < 1 || nColumn < 1) return OVTraceEnd("SetPosition", OVRC_ERROR);
    wmove(stdscr, nRow - 1, nColumn - 1);
    return OVTraceEnd("SetPosition", OVRC_OK);
}

int WriteString(const char *pszString) {
    OVTraceStart("WriteString", "pszString: %s.", pszString != nullptr ? pszString : "(null)");
    if (OVNullArgument(pszString, "WriteString: pszString"))
        return OVTraceEnd("WriteString", OVRC_ERROR);
    const std::string sShown = OVScreenText(pszString);
    waddstr(stdscr, sShown.c_str());
    return OVTraceEnd("WriteString", OVRC_OK);
}

int OVClearScreenHunk(PABI *psPabi, int nRow, int nColumn, int nRows, int nLength,
                      int nBackground, int nForeground) {
    OVTraceStart("OVClearScreenHunk",
                 "psPabi: %p, nRow: %d, nColumn: %d, nRows: %d, nLength: %d, nBackground: %d, "
                 "nForeground: %d.", static_cast<void *>(psPabi), nRow, nColumn, nRows, nLength,
                 nBackground, nForeground);
    nBackColor = nBackground;
    nForeColor = nForeground;
    OVSetColor(nForeground, nBackground);
    constexpr int OVMAXBLANKS = 256;
    int nBlanks = nLength < 0 ? 0 : (nLength > OVMAXBLANKS ? OVMAXBLANKS : nLength);
    std::string sBlanks(static_cast<std::size_t>(nBlanks), ' ');
    // Every row is painted from the left edge; nColumn is not used.
    for (int k = 0; k < nRows; ++k) WriteAt(nRow - 1 + k, 0, sBlanks);
    return OVTraceEnd("OVClearScreenHunk", OVRC_OK);
}

int PrintBlock(PABI *psPabi, int nRow, int nColumn, const char *pszMessage) {
    OVTraceStart("PrintBlock", "psPabi: %p, nRow: %d, nColumn: %d, pszMessage: %s.",
                 static_cast<void *>(psPabi), nRow, nColumn,
                 pszMessage != nullptr ? pszMessage : "(null)");
    if (OVNullArgument(psPabi, "PrintBlock: psPabi") ||
        OVNullArgument(pszMessage, "PrintBlock: pszMessage"))
        return OVTraceEnd("PrintBlock", OVRC_ERROR);

    // Each line is measured and written as the terminal is given it: its newlines break it.
    std::vector<std::string> asLine;
    std::string_view sMessage(pszMessage);
    int nWidth = 0;
    for (std::size_t nStart = 0; nStart <= sMessage.size();) {
        std::size_t nEnd = sMessage.find('\n', nStart);
        if (nEnd == std::string_view::npos) nEnd = sMessage.size();
        asLine.push_back(OVScreenText(sMessage.substr(nStart, nEnd - nStart)));
        int nLine = static_cast<int>(asLine.back().size());
        if (nLine > nWidth) nWidth = nLine;
        nStart = nEnd + 1;
    }
    int nStartColumn = nColumn;
    if (psPabi->nColumns > 80) nStartColumn += (psPabi->nColumns - nWidth) / 2;
    // A block wider than the panel would start left of the screen and not be drawn at all;
    // it starts at the left edge instead and wraps.
    if (nStartColumn < 0) nStartColumn = 0;

    // Empty pieces (blank lines, a trailing newline) take no row.
    int nWritten = 0;
    for (const std::string &sLine : asLine)
        if (!sLine.empty()) WriteAt(nRow + nWritten++, nStartColumn, sLine);
    return OVTraceEnd("PrintBlock", OVRC_OK);
}

OVCursesSuspension::OVCursesSuspension(bool bRepaintAfter)
    : bActive(stdscr != nullptr && !isendwin()), bRepaint(bRepaintAfter) {
    if (bActive) {
        def_prog_mode();
        endwin();
    }
}

OVCursesSuspension::~OVCursesSuspension() {
    if (!bActive) return;
    if (bRepaint) clearok(stdscr, TRUE);
    wrefresh(stdscr);
}
