/*
 * pages.cpp - what the listing and both detail pages share: text made safe and fitted for the
 * screen, the browser's panel, and the wait for a detail page's push buttons.
 */
#include "orvikfsys.h"

namespace {

/* Is there a selectable field of that name on the panel? */
bool HasTabField(const PABI *psPanel, const std::string &sName)
{
    for (const FIELDTAB *psFieldTab = psPanel->psFieldTabFirst; psFieldTab != nullptr;
         psFieldTab = psFieldTab->psFieldTabNext)
        if (psFieldTab->psField != nullptr && sName == psFieldTab->psField->szName) return true;
    return false;
}

}  // namespace

std::string ScreenText(std::string_view sText, int nWidth, bool bPad)
{
    const std::string sShown = OVPrintableText(sText);
    return bPad ? OVPadColumns(sShown, nWidth) : OVFitColumns(sShown, nWidth);
}

PABI *CreateBrowserPanel(const char *pszWho)
{
    return OVCreateGroupPanel(pszWho, "", OVDG_PANEL);
}

std::string CurrentFieldName(const PABI *psPanel)
{
    if (psPanel == nullptr || psPanel->psFieldTab_Current == nullptr ||
        psPanel->psFieldTab_Current->psField == nullptr)
        return std::string();
    return psPanel->psFieldTab_Current->psField->szName;
}

int AwaitDetailChoice(int nTitleColumn, unsigned long ulStyle, char *pszResponseID,
                      int *pnResponse, std::string *psCursor)
{
    int nRc = OVCreateActionBari(psPabi, psPabi->nRows - 1, nTitleColumn, psPabi->nColumns - 4,
                                 ulStyle, pnResponse);
    /* A button that this page does not offer (any more) leaves the cursor on Return. */
    if (nRc == OVRC_OK)
        nRc = SetCursori(psPabi, HasTabField(psPabi, *psCursor) ? psCursor->c_str() : "Return ");
    if (nRc == OVRC_OK) nRc = OVGetUserResponsei(psPabi, pszResponseID, pnResponse);
    if (nRc == OVRC_OK && *pnResponse == OVRESPONSE_RESIZE &&
        OVTerminalFits(psPabi->nRows, psPabi->nColumns)) {
        const std::string sName = CurrentFieldName(psPabi);
        if (!sName.empty()) *psCursor = sName;
    }
    OVDeletePanel(psPabi);
    psPabi = nullptr;
    return nRc;
}
