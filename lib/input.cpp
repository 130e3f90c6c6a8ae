/*
 * input.cpp - keyboard and mouse.
 *
 * GetKBM polls stdscr in half-delay mode until a key or a mouse event arrives and lets
 * through at most one mouse event per second of the clock. GetInputChar turns a click on
 * a selectable field into Enter on that field.
 */
#include "toolkit_internal.h"

#include <ctime>

int nTimeMouse = -1;

namespace {

/* Whole seconds of the clock, low 32 bits. */
int CurrentSecond() {
    return static_cast<int>(static_cast<unsigned long long>(time(nullptr)) & 0xffffffffULL);
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
        if (nChar == ERR) continue;   // no key within the half-delay: wait on
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
