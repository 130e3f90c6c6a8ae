/* selection.cpp - starts what a chosen menu item names, or shows one of the menu's boxes. */
#include "orvikmenu.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char *NOHELP = "No Help is available";

bool IsShellAction(const char *pszAction)
{
    return std::strlen(pszAction) >= 5 && std::strncmp(pszAction, "Shell", 5) == 0;
}

} // namespace

std::string BuildSelectionCommand(const MENUITEM *psMenuItem)
{
    std::string sCommand = psMenuItem->szAction;
    if (std::strcmp(psMenuItem->szAction, "htop") == 0 ||
        std::strcmp(psMenuItem->szAction, "Shell") == 0)
        return sCommand + " ";
    // The child must receive the help text as one argument exactly as written, so the
    // characters that mean something between double quotes are escaped.
    std::string_view sHelp = psMenuItem->pszHelpText != nullptr ? psMenuItem->pszHelpText : NOHELP;
    sHelp = sHelp.substr(0, OVUtf8Prefix(sHelp, MENUHELPMAX));
    return sCommand + " -help \"" + OVShellEscapeDoubleQuoted(sHelp) + "\" ";
}

int Process_Selection(MENUITEM *psMenuItem)
{
    OVTraceStart("Process_Selection", "psMenuItem: %p, szName: %s, szAction: %s.",
                 static_cast<void *>(psMenuItem), psMenuItem->szName, psMenuItem->szAction);
    const char *pszHelpText = psMenuItem->pszHelpText != nullptr ? psMenuItem->pszHelpText : NOHELP;

    if (std::strcmp(psMenuItem->szName, "Help") == 0) {
        CreateHelpBoxi(psPabOrvik, pszHelpText, 0, 0, 80);
        return OVTraceEnd("Process_Selection", OVRC_OK);
    }
    if (std::strcmp(psMenuItem->szName, "Product Information") == 0) {
        ProductInfo(psPabOrvik);
        return OVTraceEnd("Process_Selection", OVRC_OK);
    }

    const std::string sCommand = BuildSelectionCommand(psMenuItem);
    if (bDebug)
        OVLog(OVLOG_DEBUG, "Orvik Process_Selection: About to execute system call: %-64.64s.\n",
              sCommand.c_str());
    int nRc = IsShellAction(psMenuItem->szAction) ? RunShell(psMenuItem->szAction)
                                                  : std::system(sCommand.c_str());
    if (nRc != 0)
        nRc >>= 8;   // the child's exit status
    if (bDebug)
        OVLog(OVLOG_DEBUG,
              "Orvik Process_Selection: Return from execute system call: %-64.64s, nRc: %d.\n",
              sCommand.c_str(), nRc);

    if (nRc == OVRC_OK || nRc == OVRC_EXIT || nRc == OVRC_RETURN)
        return OVTraceEnd("Process_Selection", nRc);
    OVLog(OVLOG_ERROR, "Orvik Process_Selection: Failure in call to %.32s, nRc: %d.",
          sCommand.c_str(), nRc);
    return OVTraceEnd("Process_Selection", OVRC_OK);
}
