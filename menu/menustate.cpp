/* menustate.cpp - the main menu's program-wide state and its own anchor block. */
#include "orvikmenu.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

char szXMLFile[256] = "./orvik.xml";
char szDirectory[256] = "./";
PABI *psPabOrvik = nullptr;
char *pszUserID = nullptr;
char szKernelName[256];
char szNodeName[256];
char szKernelRelease[256];
int nMenuLevel = 1;
char szSavedSubMenu[128];

int BuildAnchorBlock()
{
    auto *pBlock = static_cast<unsigned char *>(std::calloc(1, OVHEAPCHUNKSIZE));
    if (pBlock == nullptr) {
        OVLog(OVLOG_ERROR, "Orvik Initialize: Unable to allocate global heap, size: %d.",
              OVHEAPCHUNKSIZE);
        return OVRC_ERROR;
    }
    // The block is laid out like a panel: the anchor block, then the first chunk's header,
    // then the free room, so that GetHunkofHeap serves the menu tree from it.
    auto *psPabi = reinterpret_cast<PABI *>(pBlock);
    auto *psHeap = reinterpret_cast<HEAP *>(pBlock + sizeof(PABI));
    std::memcpy(psPabi->szEyeCatcher, "PANELBLK", 8);
    std::memcpy(psHeap->szEyeCatcher, "PHEAPBLK", 8);
    psHeap->pHeap = pBlock;
    psHeap->pHeapFree = pBlock + sizeof(PABI) + sizeof(HEAP);
    psHeap->nHeapSize = OVHEAPCHUNKSIZE;
    psPabi->psHeapFirst = psHeap;
    psPabi->psHeapCurrent = psHeap;
    psPabi->nRowCurrent = 1;
    psPabi->nColumnCurrent = 1;
    psPabOrvik = psPabi;
    RefreshTerminalSize();
    return OVRC_OK;
}

void ReleaseAnchorBlock()
{
    if (psPabOrvik == nullptr)
        return;
    HEAP *psHeap = psPabOrvik->psHeapFirst;
    while (psHeap != nullptr) {
        HEAP *psNext = psHeap->psHeapNext;   // read before the chunk goes
        std::free(psHeap->pHeap);
        psHeap = psNext;
    }
    psPabOrvik = nullptr;
}

void RefreshTerminalSize()
{
    if (psPabOrvik == nullptr)
        return;
    struct winsize sSize {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &sSize) == 0 && sSize.ws_row > 0 && sSize.ws_col > 0) {
        psPabOrvik->nRows = sSize.ws_row;
        psPabOrvik->nColumns = sSize.ws_col;
    } else if (psPabOrvik->nRows <= 0 || psPabOrvik->nColumns <= 0) {
        psPabOrvik->nRows = 24;
        psPabOrvik->nColumns = 80;
    }
}
