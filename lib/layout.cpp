/*
 * layout.cpp - what every screen shares: the smallest terminal it is drawn on, the 80-column
 * layout centred on wider terminals, and text in a display group's colours (its width in
 * terminal columns comes from text.cpp).
 */
#include "toolkit_internal.h"

bool bOVResizePending = false;

bool OVTerminalFits(int nRows, int nColumns)
{
    return nRows >= OVMINROWS && nColumns >= OVMINCOLUMNS;
}

int OVLayoutMargin(const PABI *psPabi)
{
    if (psPabi == nullptr || psPabi->nColumns <= OVLAYOUTWIDTH) return 0;
    return (psPabi->nColumns - OVLAYOUTWIDTH) / 2;
}

int OVCentredColumn(const PABI *psPabi, int nWidth)
{
    if (psPabi == nullptr) return 1;
    const int nColumn = (psPabi->nColumns - nWidth) / 2;
    return nColumn < 1 ? 1 : nColumn;
}

PAB *OVCreateGroupPanel(const char *pszWho, const char *pszTitle, unsigned long ulGroup)
{
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroup < OVDISPLAYGROUPS ? ulGroup : 0];
    PAB *psPab = OVCreatePanel(pszTitle, sGroup.nAttribute, sGroup.nBackgroundColor,
                               sGroup.nForegroundColor);
    if (psPab == nullptr)
        OVLog(OVLOG_ERROR, "%s: Unable to Create Panel.", pszWho != nullptr ? pszWho : "OVCreateGroupPanel");
    return psPab;
}

int OVCreateGroupText(PABI *psPabi, int nRow, int nColumn, const char *pszName,
                      const char *pszText, unsigned long ulGroup, int nLength,
                      unsigned long ulStyle)
{
    if (OVNullArgument(pszText, "OVCreateGroupText: pszText")) return OVRC_ERROR;
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroup < OVDISPLAYGROUPS ? ulGroup : 0];
    if (nLength < 0) nLength = OVDisplayWidth(pszText);
    return OVCreateFieldi(psPabi, nRow, nColumn, nLength, pszName, pszText, ulStyle,
                          sGroup.nAttribute, sGroup.nBackgroundColor, sGroup.nForegroundColor);
}
