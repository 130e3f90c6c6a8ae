// Menu file reader: any bytes give a chain of items or a logged refusal, never a crash, and
// every item in the chain is well formed and belongs to a menu that exists.
#include "orvikmenu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    static std::string sPath;
    if (sPath.empty()) {
        char szDir[] = "/tmp/orvik-fuzz-menu-XXXXXX";
        if (mkdtemp(szDir) == nullptr) abort();
        sPath = std::string(szDir) + "/menu.xml";
        setenv("ORVIKLOGFILE", "/dev/null", 1);
    }
    std::ofstream(sPath, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(pData), static_cast<std::streamsize>(nSize));

    if (BuildAnchorBlock() != OVRC_OK) abort();
    ResetMenuReader();
    int nItems = ReadMenuFile(sPath.c_str());
    int nCounted = 0;
    // Every item names "Main Menu" or a submenu item read before it, whatever the nesting.
    std::set<std::string> asSubMenus = {"Main Menu"};
    for (MENUITEM *psItem = psMenuItem_First; psItem != nullptr; psItem = psItem->psMenuItemNext) {
        nCounted++;
        if (asSubMenus.count(psItem->szSavedSubMenu) == 0) abort();
        if (std::strcmp(psItem->szAction, "SubMenu") == 0) asSubMenus.insert(psItem->szName);
        if (std::memcmp(psItem->szEyeCatcher, "MITEMBLK", 8) != 0) abort();
        if (std::strlen(psItem->szName) > MENUTEXTMAX || std::strlen(psItem->szAction) > MENUTEXTMAX)
            abort();
        if (psItem->pszHelpText != nullptr) (void)std::strlen(psItem->pszHelpText);
    }
    if (nCounted != nItems) abort();
    ResetMenuReader();
    ReleaseAnchorBlock();
    return 0;
}
