/*
 * input.cpp - keyboard and mouse.
 *
 * GetKBM polls stdscr in half-delay mode until a key or a mouse event arrives. Every button
 * press (or click) is one event, however quickly they follow each other; releases and
 * motion are dropped, and the wheel arrives as Up and Down. GetInputChar turns a click on
 * a selectable field into Enter on that field. A terminal that has gone away (end of
 * file, hang-up) ends the program as Exit does, instead of being polled for ever.
 */
#include "toolkit_internal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

int nTimeMouse = -1;

namespace {

/* Button presses and clicks; a release or a motion report carries none of these bits. */
constexpr mmask_t OVBUTTONPRESS =
    BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON1_DOUBLE_CLICKED | BUTTON1_TRIPLE_CLICKED |
    BUTTON2_PRESSED | BUTTON2_CLICKED | BUTTON2_DOUBLE_CLICKED | BUTTON2_TRIPLE_CLICKED |
    BUTTON3_PRESSED | BUTTON3_CLICKED | BUTTON3_DOUBLE_CLICKED | BUTTON3_TRIPLE_CLICKED;

/* Mouse events curses read in one go and not yet handed out, oldest first. */
std::deque<CHARINPUT> asMousePending;

/* Takes every event curses holds (it hands them out newest first) and keeps, in the order
   they came, the presses as clicks and the wheel as Up and Down. */
void TakeMouseEvents() {
    std::vector<MEVENT> asEvent;
    MEVENT sEvent{};
    while (getmouse(&sEvent) == OK) asEvent.push_back(sEvent);
    for (auto it = asEvent.rbegin(); it != asEvent.rend(); ++it) {
        CHARINPUT sInput{};
        if ((it->bstate & BUTTON4_PRESSED) != 0) {
            sInput.nChar = OVKEY_UP;
        } else if ((it->bstate & BUTTON5_PRESSED) != 0) {
            sInput.nChar = OVKEY_DOWN;
        } else if ((it->bstate & OVBUTTONPRESS) != 0) {
            sInput.nChar = KEY_MOUSE;
            sInput.nRow = it->y + 1;
            sInput.nColumn = it->x + 1;
        } else {
            continue;   // a release or a motion
        }
        asMousePending.push_back(sInput);
    }
}

/* One key within the half-delay, or ERR. A signal noted meanwhile is answered here, at
   the wake-up: the half-delay keeps that within a fraction of a second. */
int ReadKey() {
    OVEndIfSignalled();
    int nChar = wgetch(stdscr);
    OVEndIfSignalled();
    return nChar;
}

/* Whole seconds of the clock, low 32 bits. */
int CurrentSecond() {
    return static_cast<int>(static_cast<unsigned long long>(time(nullptr)) & 0xffffffffULL);
}

/* After curses found no key: is standard input at its end or hung up? A live terminal
   that polls readable has bytes waiting; one at its end polls readable with none. */
bool TerminalGone() {
    struct pollfd sPoll {STDIN_FILENO, POLLIN, 0};
    if (poll(&sPoll, 1, 0) <= 0) return false;
    if ((sPoll.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    int nWaiting = 0;
    return (sPoll.revents & POLLIN) != 0 &&
           (ioctl(STDIN_FILENO, FIONREAD, &nWaiting) != 0 || nWaiting == 0);
}

/* Shows, centred on a cleared screen, why nothing else is drawn: on one line, or on two
   when the terminal is narrower than that line. */
void DrawTooSmall(int nRows, int nColumns) {
    char szSize[48];
    char szNeed[48];
    snprintf(szSize, sizeof szSize, "Terminal too small: %dx%d.", nColumns, nRows);
    snprintf(szNeed, sizeof szNeed, "Orvik needs at least %dx%d.", OVMINCOLUMNS, OVMINROWS);
    const std::string sWhole = std::string(szSize) + " " + szNeed;
    std::vector<std::string> asLine;
    if (static_cast<int>(sWhole.size()) <= nColumns)
        asLine = {sWhole};
    else
        asLine = {szSize, szNeed};
    wattrset(stdscr, A_NORMAL);
    werase(stdscr);
    int nRow = nRows > static_cast<int>(asLine.size()) ? (nRows - static_cast<int>(asLine.size())) / 2 : 0;
    int nFirstRow = nRow;
    for (const std::string &sLine : asLine) {
        const int nLength = static_cast<int>(sLine.size());
        const int nColumn = nColumns > nLength ? (nColumns - nLength) / 2 : 0;
        if (wmove(stdscr, nRow++, nColumn) != ERR)
            waddnstr(stdscr, sLine.c_str(), nColumns > 0 ? nColumns : -1);
    }
    wmove(stdscr, nFirstRow, 0);
}

/* Is the terminal too small for any screen? A size that cannot be read is not. */
bool TooSmall(int *pnRows, int *pnColumns) {
    if (OVTerminalSize(pnRows, pnColumns) != OVRC_OK || *pnRows == 0 || *pnColumns == 0)
        return false;
    return !OVTerminalFits(*pnRows, *pnColumns);
}

/* While the terminal is too small, says so and waits (Ctrl-c still ends the program); true
   when it had to wait, so that the caller lays its screen out again. */
bool WaitForRoom() {
    int nRows = 0, nColumns = 0;
    if (!TooSmall(&nRows, &nColumns)) return false;
    OVLog(OVLOG_INFO, "GetKBM: Terminal too small: %dx%d, waiting for at least %dx%d.",
          nColumns, nRows, OVMINCOLUMNS, OVMINROWS);
    do {
        DrawTooSmall(nRows, nColumns);
        int nChar = ReadKey();
        if (nChar == ERR && TerminalGone()) {
            OVLog(OVLOG_ERROR, "GetKBM: The terminal is gone (end of file or hang-up on "
                  "standard input); ending as Exit does, status %d.", OVRC_EXIT);
            OVFatalExit(OVRC_EXIT);
        }
        if (nChar == KEY_MOUSE) {   // clicks on the notice mean nothing
            MEVENT sEvent{};
            while (getmouse(&sEvent) == OK) {}
        }
    } while (TooSmall(&nRows, &nColumns));
    werase(stdscr);
    return true;
}

} // namespace

int GetKBM(CHARINPUT *psCharInput) {
    OVTraceStart("GetKBM", "psCharInput: %p.", static_cast<void *>(psCharInput));
    if (OVNullArgument(psCharInput, "GetKBM: psCharInput")) return OVTraceEnd("GetKBM", OVRC_ERROR);
    psCharInput->nChar = 0;
    psCharInput->nRow = 0;
    psCharInput->nColumn = 0;
    if (WaitForRoom()) {
        bOVResizePending = true;
        psCharInput->nChar = OVKEY_RESIZE;
        return OVTraceEnd("GetKBM", OVRC_OK);
    }
    for (;;) {
        if (!asMousePending.empty()) {
            *psCharInput = asMousePending.front();
            asMousePending.pop_front();
            if (psCharInput->nChar == KEY_MOUSE) nTimeMouse = CurrentSecond() + 1;
            wrefresh(stdscr);   // as a key read would have
            return OVTraceEnd("GetKBM", OVRC_OK);
        }
        int nChar = ReadKey();
        if (nChar == KEY_RESIZE) {
            WaitForRoom();
            bOVResizePending = true;
            psCharInput->nChar = OVKEY_RESIZE;
            return OVTraceEnd("GetKBM", OVRC_OK);
        }
        if (nChar == ERR) {
            if (!TerminalGone()) continue;   // no key within the half-delay: wait on
            OVLog(OVLOG_ERROR, "GetKBM: The terminal is gone (end of file or hang-up on "
                  "standard input); ending as Exit does, status %d.", OVRC_EXIT);
            OVFatalExit(OVRC_EXIT);
        }
        if (nChar != KEY_MOUSE) {
            psCharInput->nChar = nChar;
            return OVTraceEnd("GetKBM", OVRC_OK);
        }
        TakeMouseEvents();
    }
}

int GetInputChar(PABI *psPabi) {
    OVTraceStart("GetInputChar", "psPabi: %p.", static_cast<void *>(psPabi));
    CHARINPUT sCharInput;
    int nRc = GetKBM(&sCharInput);
    if (nRc != OVRC_OK) return OVTraceEnd("GetInputChar", nRc);
    if (sCharInput.nChar != KEY_MOUSE || psPabi == nullptr)
        return OVTraceEnd("GetInputChar", sCharInput.nChar);

    for (FIELDTAB *psFieldTab = psPabi->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext) {
        const FIELD *psField = psFieldTab->psField;
        if (psField == nullptr || sCharInput.nRow != psField->nRow) continue;
        // Wide enough that no field length can overflow the last column of the hit area.
        long long nLastColumn = static_cast<long long>(psField->nColumn) + psField->nLength - 1;
        if (sCharInput.nColumn < psField->nColumn || sCharInput.nColumn > nLastColumn) continue;
        psPabi->psFieldTab_Current = psFieldTab;
        psPabi->nRowCurrent = psField->nRow;
        psPabi->nColumnCurrent = psField->nColumn;
        wmove(stdscr, psFieldTab->nRow - 1, psFieldTab->nColumn - 1);
        return OVTraceEnd("GetInputChar", OVKEY_ENTER);
    }
    return OVTraceEnd("GetInputChar", OVKEY_MOUSE);
}
