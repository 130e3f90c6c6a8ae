/*
 * input.cpp - keyboard and mouse.
 *
 * GetKBM polls stdscr in half-delay mode until a key or a mouse event arrives and lets
 * through at most one mouse event per second of the clock. GetInputChar turns a click on
 * a selectable field into Enter on that field. A terminal that has gone away (end of
 * file, hang-up) ends the program as Exit does, instead of being polled for ever.
 */
#include "toolkit_internal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <ctime>

int nTimeMouse = -1;

namespace {

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

} // namespace

int GetKBM(CHARINPUT *psCharInput) {
    OVTraceStart("GetKBM", "psCharInput: %p.", static_cast<void *>(psCharInput));
    if (OVNullArgument(psCharInput, "GetKBM: psCharInput")) return OVTraceEnd("GetKBM", OVRC_ERROR);
    psCharInput->nChar = 0;
    psCharInput->nRow = 0;
    psCharInput->nColumn = 0;
    for (;;) {
        int nChar = wgetch(stdscr);
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
        MEVENT sEvent{};
        int nNow = CurrentSecond();
        if (nTimeMouse > 0 && nNow < nTimeMouse) {
            getmouse(&sEvent);        // take the dropped event out of curses' queue
            continue;
        }
        nTimeMouse = nNow + 1;
        if (getmouse(&sEvent) != OK) continue;
        psCharInput->nChar = KEY_MOUSE;
        psCharInput->nRow = sEvent.y + 1;
        psCharInput->nColumn = sEvent.x + 1;
        return OVTraceEnd("GetKBM", OVRC_OK);
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
