/*
 * display.cpp - the six display groups with their compiled-in defaults, the colour and
 * attribute name tables, and the lookups between names and numbers.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cstring>
#include <strings.h>

namespace {

constexpr std::size_t OVGROUPTEXTSIZE = 64; /* room for a group's title or identifier */

/* The group texts live here so that OVSetDisplayValues can copy the caller's texts in. */
char aszTitle[OVDISPLAYGROUPS][OVGROUPTEXTSIZE] = {"Panel", "Menu Item", "Pulldown", "Field",
                                                   "Message Box", "Button"};
char aszID[OVDISPLAYGROUPS][OVGROUPTEXTSIZE] = {"PANEL", "MENUITEM", "PULLDOWN", "FIELD",
                                                "MESSAGEBOX", "BUTTON"};

/* Index of the name in the table (any case, cut at its first blank), or -1. */
int FindName(const char *pszName, const char *const *apszNames, int nNames) {
    char szWord[32];
    OVCopyText(szWord, sizeof(szWord), pszName);
    if (char *pBlank = strchr(szWord, ' ')) *pBlank = '\0';
    for (int i = 0; i < nNames; i++)
        if (strcasecmp(szWord, apszNames[i]) == 0) return i;
    return -1;
}

/* Copies a group text unless it is NULL or already the stored text itself. */
void ReplaceGroupText(char *pszStored, const char *pszNew) {
    if (pszNew != nullptr && pszNew != pszStored) OVCopyText(pszStored, OVGROUPTEXTSIZE, pszNew);
}

} // namespace

DISPLAYATTRIBUTES asOVDisplayAttributes[OVDISPLAYGROUPS] = {
    {aszTitle[OVDG_PANEL], aszID[OVDG_PANEL], 7, 0, 1},
    {aszTitle[OVDG_MENUITEM], aszID[OVDG_MENUITEM], 7, 4, 0},
    {aszTitle[OVDG_PULLDOWN], aszID[OVDG_PULLDOWN], 7, 4, 0},
    {aszTitle[OVDG_FIELD], aszID[OVDG_FIELD], 6, 0, 0},
    {aszTitle[OVDG_MESSAGEBOX], aszID[OVDG_MESSAGEBOX], 0, 6, 0},
    {aszTitle[OVDG_BUTTON], aszID[OVDG_BUTTON], 7, 4, 0},
};

const char *const OVCOLORLIT[8] = {"Black", "Red",     "Green", "Yellow",
                                   "Blue",  "Magenta", "Cyan",  "White"};
const char *const OVATTRIBUTELIT[4] = {"Bright", "Dim", "Underline", "Reverse"};
const int OVATTRIBUTEID[4] = {1, 2, 3, 7};
const int OVATTRIBUTESUB[8] = {0, 0, 1, 2, 0, 0, 0, 3};

static_assert(sizeof(OVATTRIBUTELIT) / sizeof(OVATTRIBUTELIT[0]) ==
              sizeof(OVATTRIBUTEID) / sizeof(OVATTRIBUTEID[0]));

int OVGetColor(const char *pszColor) {
    if (pszColor == nullptr) {
        OVLog(OVLOG_ERROR, "OVGetColor: pszColor NULL pointer: %p.",
              static_cast<const void *>(pszColor));
        return -1;
    }
    return FindName(pszColor, OVCOLORLIT, 8);
}

int OVGetAttribute(const char *pszAttribute) {
    if (pszAttribute == nullptr) {
        OVLog(OVLOG_ERROR, "OVGetAttribute: pszAttribute NULL pointer: %p.",
              static_cast<const void *>(pszAttribute));
        return -1;
    }
    int nIndex = FindName(pszAttribute, OVATTRIBUTELIT, 4);
    return nIndex < 0 ? -1 : OVATTRIBUTEID[nIndex];
}

namespace {

/* The pointer checks shared by the public function and its twin, under the caller's names. */
int CheckGetPointers(const char *pszFunction, const char *pszPanelName, const void *pPanel,
                     char **ppszTitle, char **ppszID, int *pnForegroundColor,
                     int *pnBackgroundColor, int *pnAttribute) {
    return OVCheckPointers(pszFunction, {{pszPanelName, pPanel},
                                         {"ppszTitle", ppszTitle},
                                         {"ppszID", ppszID},
                                         {"pnForegroundColor", pnForegroundColor},
                                         {"pnBackgroundColor", pnBackgroundColor},
                                         {"pnAttribute", pnAttribute}});
}

} // namespace

int GetDisplayValuesi(PABI *psPabi, unsigned long ulGroupType, char **ppszTitle, char **ppszID,
                      int *pnForegroundColor, int *pnBackgroundColor, int *pnAttribute) {
    OVTraceStart("OVGetDisplayValuesi", "psPabi: %p, ulGroupType: %lu.",
                 static_cast<void *>(psPabi), ulGroupType);
    if (CheckGetPointers("OVGetDisplayValuesi", "psPabi", psPabi, ppszTitle, ppszID,
                         pnForegroundColor, pnBackgroundColor, pnAttribute) != OVRC_OK)
        return OVTraceEnd("OVGetDisplayValuesi", OVRC_ERROR);
    if (ulGroupType >= static_cast<unsigned long>(OVDISPLAYGROUPS))
        return OVTraceEnd("OVGetDisplayValuesi", OVRC_ERROR);
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroupType];
    *ppszTitle = sGroup.pszTitle;
    *ppszID = sGroup.pszID;
    *pnForegroundColor = sGroup.nForegroundColor;
    *pnBackgroundColor = sGroup.nBackgroundColor;
    *pnAttribute = sGroup.nAttribute;
    return OVTraceEnd("OVGetDisplayValuesi", OVRC_OK);
}

int OVGetDisplayValues(PAB *psPab, unsigned long ulGroupType, char **ppszTitle, char **ppszID,
                       int *pnForegroundColor, int *pnBackgroundColor, int *pnAttribute) {
    OVTraceStart("OVGetDisplayValues", "psPab: %p, ulGroupType: %lu.", static_cast<void *>(psPab),
                 ulGroupType);
    if (CheckGetPointers("OVGetDisplayValues", "psPab", psPab, ppszTitle, ppszID,
                         pnForegroundColor, pnBackgroundColor, pnAttribute) != OVRC_OK)
        return OVTraceEnd("OVGetDisplayValues", OVRC_ERROR);
    return OVTraceEnd("OVGetDisplayValues",
                      GetDisplayValuesi(psPab, ulGroupType, ppszTitle, ppszID, pnForegroundColor,
                                        pnBackgroundColor, pnAttribute));
}

int SetDisplayValuesi(PABI *psPabi, unsigned long ulGroupType, const char *pszTitle,
                      const char *pszID, int nForegroundColor, int nBackgroundColor,
                      int nAttribute) {
    OVTraceStart("OVSetDisplayValuesi",
                 "psPabi: %p, ulGroupType: %lu, pszTitle: %s, pszID: %s, nForegroundColor: %d, "
                 "nBackgroundColor: %d, nAttribute: %d.",
                 static_cast<void *>(psPabi), ulGroupType, pszTitle ? pszTitle : "(null)",
                 pszID ? pszID : "(null)", nForegroundColor, nBackgroundColor, nAttribute);
    if (psPabi == nullptr) {
        OVLog(OVLOG_ERROR, "OVSetDisplayValuesi: psPabi NULL pointer: %p.",
              static_cast<void *>(psPabi));
        return OVTraceEnd("OVSetDisplayValuesi", OVRC_ERROR);
    }
    if (ulGroupType >= static_cast<unsigned long>(OVDISPLAYGROUPS)) {
        OVLog(OVLOG_ERROR, "SetDisplayValues: GroupType: %d is invalid.",
              static_cast<int>(ulGroupType));
        return OVTraceEnd("OVSetDisplayValuesi", OVRC_ERROR);
    }
    DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[ulGroupType];
    ReplaceGroupText(aszTitle[ulGroupType], pszTitle);
    ReplaceGroupText(aszID[ulGroupType], pszID);
    sGroup.pszTitle = aszTitle[ulGroupType];
    sGroup.pszID = aszID[ulGroupType];
    sGroup.nForegroundColor = nForegroundColor;
    sGroup.nBackgroundColor = nBackgroundColor;
    sGroup.nAttribute = nAttribute;
    return OVTraceEnd("OVSetDisplayValuesi", OVRC_OK);
}

int OVSetDisplayValues(PAB *psPab, unsigned long ulGroupType, const char *pszTitle,
                       const char *pszID, int nForegroundColor, int nBackgroundColor,
                       int nAttribute) {
    OVTraceStart("OVSetDisplayValues", "psPab: %p, ulGroupType: %lu.", static_cast<void *>(psPab),
                 ulGroupType);
    if (psPab == nullptr) {
        OVLog(OVLOG_ERROR, "OVSetDisplayValues: psPab NULL pointer: %p.",
              static_cast<void *>(psPab));
        return OVTraceEnd("OVSetDisplayValues", OVRC_ERROR);
    }
    return OVTraceEnd("OVSetDisplayValues",
                      SetDisplayValuesi(psPab, ulGroupType, pszTitle, pszID, nForegroundColor,
                                        nBackgroundColor, nAttribute));
}
