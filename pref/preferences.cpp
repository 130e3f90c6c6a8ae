/*
 * preferences.cpp - the preferences panel: a title, three heading rows, one row per display
 * group with a background, a foreground and an attribute pulldown, and Help, Return and Exit.
 * Every pass builds the panel in the current colours, takes one response, stores what changed
 * and deletes the panel, so a choice shows at once in the rebuilt panel.
 */
#include "orvikpref.h"

#include <cstdio>
#include <cstring>
#include <string>

PAB *psPab = nullptr;

namespace {

constexpr int nFieldLength = 15;
constexpr int nFirstGroupRow = 7;
constexpr int aColumnStep[4] = {3, 23, 43, 63};  /* label, BG, FG and AT columns from M */

const char *const paszHeading1[4] = {"Display", "Background", "Foreground", "Attribute"};
const char *const paszHeading2[4] = {"Type", "Color", "Color", "Type"};
const char *const paszHeading3[4] = {"------------", "------------", "------------",
                                     "------------"};

struct HEADINGROW {
    const char *pszName;
    const char *const *paszTexts;
};
constexpr HEADINGROW asHeadingRow[3] = {
    {"PTHEAD1", paszHeading1}, {"PTHEAD2", paszHeading2}, {"PTHEAD3", paszHeading3}};

const char szTitleText[] = "Orvik Preferences";
const char szTableHeader2[] = "      Title         ID     Color       Color       Attribute";
const char szTableHeader3[] = " -----------    ---------- ----------  ----------  ---------";

/* The three pulldowns of a group row, in column order. */
enum PULLDOWNKIND { PD_BACKGROUND, PD_FOREGROUND, PD_ATTRIBUTE };
/* The suffix of each pulldown's field name, by kind. */
constexpr const char *apszPulldownSuffix[3] = {"BG", "FG", "AT"};

/* Colour name of a colour number; a number out of range shows as the first name. */
const char *ColorName(int nColor)
{
    return OVCOLORLIT[(nColor >= 0 && nColor < 8) ? nColor : 0];
}

/* Attribute name of an attribute number; numbers without a name (0 above all) give "Bright". */
const char *AttributeName(int nAttribute)
{
    return OVATTRIBUTELIT[OVATTRIBUTESUB[(nAttribute >= 0 && nAttribute < 8) ? nAttribute : 0]];
}

void PulldownName(char (&szName)[40], PULLDOWNKIND eKind, int nGroup)
{
    std::snprintf(szName, sizeof szName, "%s%d%s", asOVDisplayAttributes[nGroup].pszID, nGroup,
                  apszPulldownSuffix[eKind]);
}

void LogTableLine(int nGroup)
{
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[nGroup];
    OVLog(OVLOG_DEBUG, "%12.12s  %12.12s     %d           %d           %d%41s", sGroup.pszTitle,
          sGroup.pszID, sGroup.nForegroundColor, sGroup.nBackgroundColor, sGroup.nAttribute,
          "");
}

void LogTableHeader(const char *pszHeading, const char *pszFirstHeader)
{
    OVWriteMessage(OVLOG_DEBUG, pszHeading);
    OVWriteMessage(OVLOG_DEBUG, pszFirstHeader);
    OVWriteMessage(OVLOG_DEBUG, szTableHeader2);
    OVWriteMessage(OVLOG_DEBUG, szTableHeader3);
}

/* The settings table of the debug log: heading, three header lines, one line per group. */
void LogSettingsTable(const char *pszHeading)
{
    LogTableHeader(pszHeading, "                           Foreground  Background");
    for (int nGroup = 0; nGroup < OVDISPLAYGROUPS; ++nGroup) {
        LogTableLine(nGroup);
    }
}

/* One pulldown of group nGroup: its value padded to 12 characters, its choices, its colours. */
int CreateGroupPulldown(PULLDOWNKIND eKind, int nGroup, int nColumn)
{
    const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[nGroup];
    const DISPLAYATTRIBUTES &sPulldown = asOVDisplayAttributes[OVDG_PULLDOWN];
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    const char *pszValue = nullptr;
    int nAttribute = sField.nAttribute, nBackground = sField.nBackgroundColor;
    int nForeground = sField.nForegroundColor;
    /* The name tables are static, so they outlive every panel that refers to them. */
    const char *const *pszChoices = OVCOLORLIT;
    int nChoices = 8;

    switch (eKind) {
    case PD_BACKGROUND:
        pszValue = ColorName(sGroup.nBackgroundColor);
        nAttribute = sPulldown.nAttribute;
        nBackground = sGroup.nBackgroundColor;
        nForeground = sGroup.nForegroundColor;
        break;
    case PD_FOREGROUND:
        /* The group's colours exchanged, so the chosen foreground fills the field. */
        pszValue = ColorName(sGroup.nForegroundColor);
        nBackground = sGroup.nForegroundColor;
        nForeground = sGroup.nBackgroundColor;
        break;
    case PD_ATTRIBUTE:
        pszValue = AttributeName(sGroup.nAttribute);
        pszChoices = OVATTRIBUTELIT;
        nChoices = 4;
        break;
    }

    char szName[40];
    char szValue[16];
    PulldownName(szName, eKind, nGroup);
    std::snprintf(szValue, sizeof szValue, "%-12s", pszValue);
    return OVCreatePullDown(psPab, nFirstGroupRow + nGroup, nColumn, nFieldLength, szName,
                            szValue, nChoices, pszChoices, OVSTYLE_TAB, nAttribute, nBackground,
                            nForeground);
}

int CreateGroupRows(int nMargin)
{
    int nRc = OVRC_OK;
    for (int nGroup = 0; nGroup < OVDISPLAYGROUPS; ++nGroup) {
        char szLabel[64];
        std::snprintf(szLabel, sizeof szLabel, "%s:", asOVDisplayAttributes[nGroup].pszTitle);
        nRc = OVCreateGroupText(psPab, nFirstGroupRow + nGroup, nMargin + aColumnStep[0],
                                asOVDisplayAttributes[nGroup].pszID, szLabel, OVDG_PANEL,
                                nFieldLength, OVSTYLE_RIGHT);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikpref Present_Panel: Unable to Create Preference Types Label(%d), rc: %d.",
                  nGroup, nRc);
            return nRc;
        }
    }

    for (int nGroup = 0; nGroup < OVDISPLAYGROUPS; ++nGroup) {
        for (PULLDOWNKIND eKind : {PD_BACKGROUND, PD_FOREGROUND, PD_ATTRIBUTE}) {
            nRc = CreateGroupPulldown(eKind, nGroup, nMargin + aColumnStep[eKind + 1]);
            if (nRc != OVRC_OK) {
                if (eKind == PD_BACKGROUND)
                    OVLog(OVLOG_ERROR, "orvikpref Present_Panel: Unable to Create Background "
                          "Color Pulldown(%d), rc: %d.", nGroup, nRc);
                else if (eKind == PD_FOREGROUND)
                    OVLog(OVLOG_ERROR, "orvikpref Present_Panel: Unable to Create Foreground "
                          "Color Pulldown(%d), rc: %d.", nGroup, nRc);
                else
                    OVLog(OVLOG_ERROR, "Error. Unable to Create Attribute Pulldown(%d), rc: %d.",
                          nGroup, nRc);
                return nRc;
            }
        }
    }
    return nRc;
}

}  // namespace

int GetColorandAttributeValues()
{
    OVTraceStart("orvikpref GetColorandAttributeValues", "psPab: %p.", static_cast<void *>(psPab));
    if (bDebug) {
        LogTableHeader("\norvikpref.GetColorandAttributeValues:\n",
                       "                           Foreground  Background\n");
    }
    int nRc = OVRC_OK;
    for (int nGroup = 0; nGroup < OVDISPLAYGROUPS; ++nGroup) {
        DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[nGroup];
        nRc = OVGetDisplayValues(psPab, static_cast<unsigned long>(nGroup), &sGroup.pszTitle,
                                 &sGroup.pszID, &sGroup.nForegroundColor,
                                 &sGroup.nBackgroundColor, &sGroup.nAttribute);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikpref GetColorandAttributeValues: OVGetDisplayValues failed. rc: %d.", nRc);
            break;
        }
        if (bDebug) {
            LogTableLine(nGroup);
        }
    }
    return OVTraceEnd("orvikpref GetColorandAttributeValues", nRc);
}

int Present_Panel(const char *pszCursor)
{
    OVTraceStart("orvikpref Present_Panel", "psPab: %p.", static_cast<void *>(psPab));
    if (psPab == nullptr) {
        OVLog(OVLOG_ERROR, "orvikpref Present_Panel: psPab NULL pointer: %p.",
              static_cast<void *>(psPab));
        return OVTraceEnd("orvikpref Present_Panel", OVRC_ERROR);
    }
    const int nMargin = OVLayoutMargin(psPab);

    const int nTitleLength = static_cast<int>(std::strlen(szTitleText));
    int nRc = OVCreateGroupText(psPab, 1, OVCentredColumn(psPab, nTitleLength), "Title",
                                szTitleText, OVDG_PANEL, nTitleLength);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikpref Present_Panel: Unable to Create Preference Title, rc: %d.",
              nRc);
        return OVTraceEnd("orvikpref Present_Panel", nRc);
    }

    for (int nHeading = 0; nHeading < 3; ++nHeading) {
        for (int nColumn = 0; nColumn < 4; ++nColumn) {
            nRc = OVCreateGroupText(psPab, 4 + nHeading, nMargin + aColumnStep[nColumn],
                                    asHeadingRow[nHeading].pszName,
                                    asHeadingRow[nHeading].paszTexts[nColumn], OVDG_PANEL,
                                    nFieldLength, nColumn == 0 ? OVSTYLE_RIGHT : 0);
            if (nRc != OVRC_OK) {
                OVLog(OVLOG_ERROR,
                      "orvikpref Present_Panel: Unable to Create Preference Heading %d, rc: %d.",
                      nHeading + 1, nRc);
                return OVTraceEnd("orvikpref Present_Panel", nRc);
            }
        }
    }

    nRc = CreateGroupRows(nMargin);
    if (nRc != OVRC_OK) {
        return OVTraceEnd("orvikpref Present_Panel", nRc);
    }

    int nResponse = 0;
    nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 23, psPab->nColumns - 4,
                            OVAB_HELP | OVAB_RETURN | OVAB_EXIT, &nResponse);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikpref Present_Panel: Unable to Create Action Bar, rc: %d.", nRc);
        return OVTraceEnd("orvikpref Present_Panel", nRc);
    }
    /* A field that is not there (a stale name) leaves the cursor on Return. */
    if (pszCursor == nullptr || OVSetCursor(psPab, pszCursor) != OVRC_OK) {
        nRc = OVSetCursor(psPab, "Return ");
    }
    return OVTraceEnd("orvikpref Present_Panel", nRc);
}

int SetColorandAttributeValues()
{
    OVTraceStart("orvikpref SetColorandAttributeValues", "psPab: %p.",
                 static_cast<void *>(psPab));
    if (bDebug) {
        LogSettingsTable("\norvikpref.SetColorandAttributeValues:\n");
    }
    int nRc = OVRC_OK;
    bool bChanged = false;
    bool bFailed = false;
    for (int nGroup = 0; nGroup < OVDISPLAYGROUPS && !bFailed; ++nGroup) {
        char *apszValue[3] = {nullptr, nullptr, nullptr};
        bool bRead = true;
        for (PULLDOWNKIND eKind : {PD_BACKGROUND, PD_FOREGROUND, PD_ATTRIBUTE}) {
            char szName[40];
            PulldownName(szName, eKind, nGroup);
            int nGetRc = OVGetFieldValue(psPab, szName, &apszValue[eKind]);
            if (nGetRc != OVRC_OK || apszValue[eKind] == nullptr) {
                nRc = nGetRc != OVRC_OK ? nGetRc : OVRC_ERROR;
                bRead = false;
            }
        }
        if (!bRead) {
            continue;  /* the lookup has logged the missing field; the group stays as it is */
        }

        const DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[nGroup];
        int nForeground = OVGetColor(apszValue[PD_FOREGROUND]);
        int nBackground = OVGetColor(apszValue[PD_BACKGROUND]);
        int nAttribute = OVGetAttribute(apszValue[PD_ATTRIBUTE]);
        /* A text the lookup does not know keeps the group's value rather than storing -1. */
        if (nForeground < 0) nForeground = sGroup.nForegroundColor;
        if (nBackground < 0) nBackground = sGroup.nBackgroundColor;
        if (nAttribute < 0) nAttribute = sGroup.nAttribute;

        if (bDebug) {
            OVLog(OVLOG_DEBUG,
                  "orvikpref.SetColorandAttributeValues- Old values: nForegroundColor: %d, "
                  "nBackgroundColor: %d, nAttribute: %d.",
                  sGroup.nForegroundColor, sGroup.nBackgroundColor, sGroup.nAttribute);
            OVLog(OVLOG_DEBUG,
                  "orvikpref GetColorandAttributeValues:  New values: nForegroundColor: %d, "
                  "nBackgroundColor: %d, nAttribute: %d, Value: %s.",
                  nForeground, nBackground, nAttribute, apszValue[PD_ATTRIBUTE]);
        }
        if (nForeground == sGroup.nForegroundColor && nBackground == sGroup.nBackgroundColor &&
            nAttribute == sGroup.nAttribute) {
            continue;
        }
        int nSetRc = OVSetDisplayValues(psPab, static_cast<unsigned long>(nGroup), nullptr,
                                        nullptr, nForeground, nBackground, nAttribute);
        if (nSetRc != OVRC_OK) {
            OVLog(OVLOG_ERROR,
                  "orvikpref GetColorandAttributeValues: OVSetDisplayValues failed. rc: %d.",
                  nSetRc);
            nRc = nSetRc;
            bFailed = true;
            break;
        }
        bChanged = true;
        if (bDebug) {
            OVLog(OVLOG_DEBUG,
                  "orvikpref GetColorandAttributeValues:  Set values: nForegroundColor: %d, "
                  "nBackgroundColor: %d, nAttribute: %d, Value: %s.",
                  sGroup.nForegroundColor, sGroup.nBackgroundColor, sGroup.nAttribute,
                  AttributeName(sGroup.nAttribute));
        }
    }
    /* All changed groups go to the file in one write; after a failure the program ends and
       the panel's deletion writes what was stored. */
    if (bChanged && !bFailed) {
        nRc = SaveConfigurationValues();
    }
    return OVTraceEnd("orvikpref SetColorandAttributeValues", nRc);
}

int Process_Request()
{
    OVTraceStart("orvikpref Process_Request", "pszHelpInfo: %p.",
                 static_cast<void *>(pszHelpInfo));
    int nRc = OVRC_OK;
    int nUserRc = OVRC_OK;
    /* Where the cursor goes on the next panel: Return after a choice, the field the user
       was on after a change of the terminal's size. */
    char szCursor[40] = "Return ";
    while (nRc == OVRC_OK && nUserRc == OVRC_OK) {
        psPab = OVCreateGroupPanel("orvikpref Process_Request", nullptr, OVDG_PANEL);
        if (psPab == nullptr) {
            OVRestoreTerminal();
            return OVTraceEnd("orvikpref Process_Request", OVRC_ERROR);
        }
        /* The panel has loaded config.ini; one that did not load would refuse every save. */
        if (const std::string sWhy = OVConfigurationFailure(); !sWhy.empty()) {
            OVShowFailure(sWhy.c_str(), false);
            OVDeletePanel(psPab);
            psPab = nullptr;
            return OVTraceEnd("orvikpref Process_Request", OVEXIT_SHOWN);
        }
        GetColorandAttributeValues();
        if (bDebug) {
            LogSettingsTable("\norvikpref Default Color and Attribute settings:\n");
        }
        nRc = Present_Panel(szCursor);
        if (nRc == OVRC_OK) {
            char szResponseID[40] = "";
            int nResponse = 0;
            nUserRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
            if (nUserRc == OVRC_EXIT) {
                /* Nothing of this pass is stored: the choices live only in the fields, and
                   deleting the panel writes the groups in memory, which do not hold them. It
                   also leaves curses, so the terminal is sane when the program ends. */
                OVDeletePanel(psPab);
                psPab = nullptr;
                return OVTraceEnd("orvikpref Process_Request", OVRC_EXIT);
            }
            /* A new size (also one that closed an open pulldown or the help box) lays the
               same panel out again: nothing is stored and the cursor stays on its field.
               Every choice has been stored in its own pass, so the fields hold nothing the
               groups do not. */
            if (nUserRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
                const FIELDTAB *psCurrent = psPab->psFieldTab_Current;
                if (psCurrent != nullptr && psCurrent->psField != nullptr) {
                    OVCopyText(szCursor, sizeof szCursor, psCurrent->psField->szName);
                }
                OVLog(OVLOG_INFO, "orvikpref Process_Request: New terminal size, %dx%d laid "
                      "out again, cursor on %s.", psPab->nColumns, psPab->nRows, szCursor);
                OVDeletePanel(psPab);
                psPab = nullptr;
                continue;
            }
            OVCopyText(szCursor, sizeof szCursor, "Return ");
            nRc = SetColorandAttributeValues();
        }
        OVDeletePanel(psPab);
        psPab = nullptr;
    }
    /* A failing response loop must not end the program as if Return had been chosen. */
    if (nRc == OVRC_OK && nUserRc != OVRC_RETURN) {
        nRc = nUserRc;
    }
    return OVTraceEnd("orvikpref Process_Request", nRc);
}
