/*
 * panel.cpp - the panel anchor block, its heap of chunks, and the field and tab records.
 *
 * The first chunk is the panel's own allocation: PABI, then the first HEAP header, then
 * records. Later chunks begin with their own header. Records are bump-allocated and all
 * go at once when the panel is deleted. GetHunkofHeap touches no curses state: the menu
 * program uses it on an anchor block of its own.
 */
#include "toolkit_internal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int nPid = 0;
int nOVLivePanels = 0;

namespace {

constexpr int OVFIRSTCHUNKHEADERS = static_cast<int>(sizeof(PABI) + sizeof(HEAP));
static_assert(OVHEAPCHUNKSIZE - OVFIRSTCHUNKHEADERS == 130928, "room of the first chunk");
static_assert(OVHEAPCHUNKSIZE - static_cast<int>(sizeof(HEAP)) == 131024, "room of later chunks");

void SetEyeCatcher(char *pchEyeCatcher, const char *pszText) {
    memcpy(pchEyeCatcher, pszText, 8);
}

/* Fills in the header of a chunk whose records start right after psHeap. */
void InitializeHeap(HEAP *psHeap, unsigned char *pChunk, int nSize) {
    SetEyeCatcher(psHeap->szEyeCatcher, "PHEAPBLK");
    psHeap->pHeap = pChunk;
    psHeap->pHeapFree = reinterpret_cast<unsigned char *>(psHeap + 1);
    psHeap->nHeapSize = nSize;
}

/* Appends a new chunk after the current one; a request bigger than a standard chunk's
   room gets a chunk sized to hold it. Ends the process with 12 when memory runs out. */
HEAP *AddHeapChunk(PABI *psPabi, int nLength) {
    long long nWanted = static_cast<long long>(sizeof(HEAP)) + nLength;
    int nSize = OVHEAPCHUNKSIZE;
    if (nWanted > OVHEAPCHUNKSIZE) nSize = nWanted > INT_MAX ? INT_MAX : static_cast<int>(nWanted);
    void *pChunk = nWanted > INT_MAX ? nullptr : calloc(1, static_cast<std::size_t>(nSize));
    if (pChunk == nullptr) {
        OVLog(OVLOG_ERROR, "GetHunkofHeap: Unable to allocate memory, size: %d.", nSize);
        OVFatalExit(OVRC_NOMEMORY);
    }
    HEAP *psHeap = static_cast<HEAP *>(pChunk);
    InitializeHeap(psHeap, static_cast<unsigned char *>(pChunk), nSize);
    HEAP *psOld = psPabi->psHeapCurrent;
    psOld->psHeapNext = psHeap;
    psHeap->psHeapPrev = psOld;
    psPabi->psHeapCurrent = psHeap;
    if (bDebug)
        OVLog(OVLOG_DEBUG, "GetHunkofHeap: Allocated new sHeap block, address: %p, length: %d.",
              pChunk, nSize);
    return psHeap;
}

/* A zeroed record from the panel heap, marked and appended to its chain. */
template <typename RECORD, RECORD *RECORD::*pNext, RECORD *RECORD::*pPrev>
RECORD *NewRecord(PABI *psPabi, const char *pszEyeCatcher, RECORD *&psFirst, RECORD *&psLast) {
    RECORD *psRecord = static_cast<RECORD *>(GetHunkofHeap(psPabi, sizeof(RECORD)));
    SetEyeCatcher(psRecord->szEyeCatcher, pszEyeCatcher);
    if (psFirst == nullptr) {
        psFirst = psRecord;
    } else {
        psLast->*pNext = psRecord;
        psRecord->*pPrev = psLast;
    }
    psLast = psRecord;
    return psRecord;
}

} // namespace

int OVTerminalSize(int *pnRows, int *pnColumns) {
    struct winsize sSize {};
    int nRc = ioctl(STDOUT_FILENO, TIOCGWINSZ, &sSize) == 0 ? OVRC_OK : OVRC_ERROR;
    if (nRc != OVRC_OK) sSize = {};
    if (pnRows != nullptr) *pnRows = static_cast<unsigned short>(sSize.ws_row);
    if (pnColumns != nullptr) *pnColumns = static_cast<unsigned short>(sSize.ws_col);
    return nRc;
}

PAB *OVCreatePanel(const char *pszTitle, int nAttribute, int nBackground, int nForeground) {
    OVTraceStart("OVCreatePanel", "pszTitle: %s, nAttribute: %d, nBackground: %d, nForeground: %d.",
                 pszTitle != nullptr ? pszTitle : "(null)", nAttribute, nBackground, nForeground);
    PABI *psPabi = OVCreatePaneli(OVHEAPCHUNKSIZE, 0, 0, nAttribute, nBackground, nForeground);
    if (psPabi == nullptr) {
        OVTraceEnd("OVCreatePanel", OVRC_ERROR);
        return nullptr;
    }
    if (pszTitle != nullptr && *pszTitle != '\0') {
        int nLength = static_cast<int>(strlen(pszTitle));
        int nRc = OVCreateFieldi(psPabi, 1, (psPabi->nColumns - nLength) / 2, nLength, "TITLE",
                                 pszTitle, 0, nAttribute, nBackground, nForeground);
        if (nRc != OVRC_OK) OVLog(OVLOG_ERROR, "OVCreatePanel: Unable to Create Title, rc: %d.", nRc);
    }
    OVTraceEnd("OVCreatePanel", OVRC_OK);
    return psPabi;
}

PABI *OVCreatePaneli(int nSize, int nRows, int nColumns, int nAttribute, int nBackground,
                     int nForeground) {
    OVTraceStart("OVCreatePaneli",
                 "nSize: %d, nRows: %d, nColumns: %d, nAttribute: %d, nBackground: %d, "
                 "nForeground: %d.", nSize, nRows, nColumns, nAttribute, nBackground, nForeground);
    OVApplyPanelCursesSettings(OVPANELHALFDELAY);
    nPid = static_cast<int>(getpid());

    // A first chunk must at least hold the anchor block and its heap header.
    void *pBlock = nSize >= OVFIRSTCHUNKHEADERS ? calloc(1, static_cast<std::size_t>(nSize)) : nullptr;
    if (pBlock == nullptr) {
        OVLog(OVLOG_ERROR, "OVCreatePaneli: Unable to allocate memory, size: %d.", nSize);
        OVTraceEnd("OVCreatePaneli", OVRC_ERROR);
        return nullptr;
    }
    PABI *psPabi = static_cast<PABI *>(pBlock);
    SetEyeCatcher(psPabi->szEyeCatcher, "PANELBLK");
    HEAP *psHeap = reinterpret_cast<HEAP *>(psPabi + 1);
    InitializeHeap(psHeap, static_cast<unsigned char *>(pBlock), nSize);
    psPabi->psHeapFirst = psHeap;
    psPabi->psHeapCurrent = psHeap;

    int nTermRows = 0;
    int nTermColumns = 0;
    if (OVTerminalSize(&nTermRows, &nTermColumns) != OVRC_OK || nTermRows == 0 || nTermColumns == 0) {
        // Not a terminal we can ask: take what curses found.
        nTermRows = LINES;
        nTermColumns = COLS;
    }
    psPabi->nRows = nRows > 0 ? nRows : nTermRows;
    psPabi->nColumns = nColumns > 0 ? nColumns : nTermColumns;

    /* The loader has logged why; the panel carries on with the values in memory. */
    int nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK && bDebug)
        OVLog(OVLOG_DEBUG, "OVCreatePaneli: LoadConfigurationValues failed, nRc: %d.", nRc);

    psPabi->nRowCurrent = 1;
    psPabi->nColumnCurrent = 1;
    nOVLivePanels++;
    if (bDebug && psConnectedSystem != nullptr)
        OVLog(OVLOG_DEBUG, "OVCreatePaneli: Connected to System: %s.", psConnectedSystem->szIP);
    OVTraceEnd("OVCreatePaneli", OVRC_OK);
    return psPabi;
}

int OVDeletePanel(PAB *psPab) {
    OVTraceStart("OVDeletePanel", "psPab: %p.", static_cast<void *>(psPab));
    if (psPab == nullptr) {
        OVLog(OVLOG_ERROR, "OVDeletePanel. NULL psPabi pointer: %p.", static_cast<void *>(psPab));
        return OVTraceEnd("OVDeletePanel", OVRC_ERROR);
    }
    int nRc = SaveConfigurationValues();
    if (nOVLivePanels > 0) nOVLivePanels--;

    if (bDump) {
        for (HEAP *psHeap = psPab->psHeapFirst; psHeap != nullptr; psHeap = psHeap->psHeapNext) {
            int nUsed = static_cast<int>(psHeap->pHeapFree - psHeap->pHeap);
            char szTitle[160];
            snprintf(szTitle, sizeof szTitle,
                     "\nOVDeletePanel: psHeap Address: %p, Heap: %p, Heap Length: %d.",
                     static_cast<void *>(psHeap), static_cast<void *>(psHeap->pHeap), nUsed);
            OVDump(szTitle, psHeap->pHeap, nUsed);
        }
    }

    // The anchor block lives in the first chunk, so nothing of it is read after that free.
    HEAP *psHeap = psPab->psHeapFirst;
    while (psHeap != nullptr) {
        HEAP *psNext = psHeap->psHeapNext;
        free(psHeap->pHeap);
        psHeap = psNext;
    }

    wclear(stdscr);
    endwin();
    nColorPair = 0;
    // Straight to the terminal, past stdio buffering, after curses has let it go.
    fflush(stdout);
    if (write(STDOUT_FILENO, "\x1b[2J", 4) != 4) { /* nothing to do about a lost clear */ }
    return OVTraceEnd("OVDeletePanel", nRc);
}

void *GetHunkofHeap(PABI *psPabi, int nLength) {
    OVTraceStart("GetHunkofHeap", "psPabi: %p, nLength: %d.", static_cast<void *>(psPabi), nLength);
    if (nLength < 0) {
        OVLog(OVLOG_ERROR, "GetHunkofHeap: Negative length, nLength: %d.", nLength);
        nLength = 0;
    }
    HEAP *psHeap = psPabi->psHeapCurrent;
    long long nFree = psHeap->nHeapSize - (psHeap->pHeapFree - psHeap->pHeap);
    if (nFree < nLength) psHeap = AddHeapChunk(psPabi, nLength);
    unsigned char *pHunk = psHeap->pHeapFree;
    psHeap->pHeapFree += nLength;
    OVTraceEnd("GetHunkofHeap", OVRC_OK);
    return pHunk;
}

FIELD *CreateFieldBlk(PABI *psPabi) {
    OVTraceStart("CreateFieldBlk", "psPabi: %p.", static_cast<void *>(psPabi));
    FIELD *psField = NewRecord<FIELD, &FIELD::psFieldNext, &FIELD::psFieldPrev>(
        psPabi, "FIELDBLK", psPabi->psFieldFirst, psPabi->psFieldLast);
    OVTraceEnd("CreateFieldBlk", OVRC_OK);
    return psField;
}

FIELDTAB *CreateFieldTabBlk(PABI *psPabi) {
    OVTraceStart("CreateFieldTabBlk", "psPabi: %p.", static_cast<void *>(psPabi));
    FIELDTAB *psFieldTab = NewRecord<FIELDTAB, &FIELDTAB::psFieldTabNext, &FIELDTAB::psFieldTabPrev>(
        psPabi, "TABFLBLK", psPabi->psFieldTabFirst, psPabi->psFieldTabLast);
    psPabi->psFieldTab_Current = psFieldTab;
    OVTraceEnd("CreateFieldTabBlk", OVRC_OK);
    return psFieldTab;
}
