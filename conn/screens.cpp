/*
 * screens.cpp - the screens that follow a choice on the list: the entry screen of a new or
 * changed system, and the confirmations of Trust and Delete. Each builds its own panel and
 * changes the table only after the user's choice, before that panel is deleted.
 */
#include "orvikconn.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int nLabelLength = 15;
constexpr int nValueColumn = 20;   /* entry fields and their hints, from the margin */
constexpr int nHintColumn = 55;

const char *const apszEntryField[EF_COUNT] = {"NAME", "ADDRESS", "PORT", "USER"};
const char *const apszEntryLabel[EF_COUNT] = {"System name:", "Address:", "Port:", "User:"};
const char *const apszEntryHint[EF_COUNT] = {"1 to 16 characters", "host name or IP address",
                                             "1 to 65535", "login on that system"};

std::string SystemWords(const REMOTESYSTEM &sSystem)
{
    return std::string(sSystem.szSystemName) + " (" + sSystem.szUser + "@" + sSystem.szIP +
           " port " + sSystem.szPort + ")";
}

/* The screen's panel has loaded config.ini again: is the system the user chose still there,
   at the same port? nSystem becomes its place now, which other programs may have moved. */
bool StillThere(int &nSystem, const REMOTESYSTEM &sChosen)
{
    nSystem = FindSystemIndex(sChosen);
    return nSystem >= 0 && std::strcmp(asRemoteSystem[nSystem].szPort, sChosen.szPort) == 0;
}

PAB *CreateScreenPanel(const char *pszWho)
{
    PAB *psNew = OVCreateGroupPanel((std::string("orvikconn ") + pszWho).c_str(), nullptr,
                                    OVDG_PANEL);
    if (psNew == nullptr) OVRestoreTerminal();
    return psNew;
}

void DeleteScreenPanel()
{
    OVDeletePanel(psPab);
    psPab = nullptr;
}

/* A title centred by its display width (a system's name may be in any script). */
int CreateTitle(const std::string &sTitle)
{
    return CreatePanelText(1, OVCentredColumn(psPab, OVDisplayWidth(sTitle)),
                           static_cast<int>(sTitle.size()), "Title", sTitle, 0);
}

/* The cursor on the named field, or on pszOtherwise when the panel has no such field. */
int PlaceCursor(const std::string &sName, const char *pszOtherwise)
{
    if (!sName.empty() && sName != pszOtherwise) {
        for (const FIELDTAB *psEntry = psPab->psFieldTabFirst; psEntry != nullptr;
             psEntry = psEntry->psFieldTabNext) {
            if (psEntry->psField != nullptr && sName == psEntry->psField->szName)
                return OVSetCursor(psPab, sName.c_str());
        }
    }
    return OVSetCursor(psPab, pszOtherwise);
}

/* The confirming button, Cancel, Help and Exit, with the cursor on sCursor (Cancel when the
   bar has no such button). */
int CreateConfirmBar(unsigned long ulButton, const std::string &sCursor)
{
    int nResponse = 0;
    int nRc = OVCreateActionBar(psPab, psPab->nRows - 1, OVLayoutMargin(psPab) + 23,
                                psPab->nColumns - 4,
                                ulButton | OVAB_CANCEL | OVAB_HELP | OVAB_EXIT, &nResponse);
    if (nRc == OVRC_OK) nRc = PlaceCursor(sCursor, "Cancel ");
    return nRc;
}

/* Did the last response ask for the screen at a new size (also one that closed the help
   box)? */
bool NewSize(int nRc, int nResponse)
{
    return nRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE;
}

/* The fingerprints of key lines, two blanks in, appended to *pasLines; false when ssh-keygen
   could not show them (its message is appended instead). */
bool FingerprintLines(const std::vector<std::string> &asKeys, std::vector<std::string> *pasLines)
{
    static char szFingerprints[8192];
    szFingerprints[0] = '\0';
    if (ExecuteCommand(FingerprintCommand(asKeys).c_str(), szFingerprints,
                       sizeof szFingerprints) != OVRC_OK) {
        pasLines->push_back("  ssh-keygen could not show the fingerprints: " +
                            FirstLine(szFingerprints));
        return false;
    }
    for (const std::string &sLine : SplitLines(szFingerprints)) {
        pasLines->push_back("  " + FingerprintText(sLine));
    }
    return true;
}

std::string FileList(const std::vector<std::string> &asFiles)
{
    std::string sList;
    for (const std::string &sFile : asFiles) sList += (sList.empty() ? "" : ", ") + sFile;
    return sList;
}

/* Where the cursor of the entry screen goes: a field or button, and the place inside an
   entry field's value. */
struct ENTRYCURSOR {
    std::string sField = apszEntryField[EF_NAME];
    int nOffset = 0;
};

int PresentEntry(const SYSTEMENTRY &sEntry, bool bNew, const ENTRYCURSOR &sCursor)
{
    const int nMargin = OVLayoutMargin(psPab);
    const DISPLAYATTRIBUTES &sField = asOVDisplayAttributes[OVDG_FIELD];
    int nRc = CreateTitle(bNew ? "Orvik Connections: New System"
                               : "Orvik Connections: Change System");
    for (int i = 0; nRc == OVRC_OK && i < EF_COUNT; ++i) {
        const int nRow = 4 + 2 * i;
        const ENTRYFIELD eField = static_cast<ENTRYFIELD>(i);
        nRc = CreatePanelText(nRow, nMargin + 3, nLabelLength, apszEntryLabel[i],
                              apszEntryLabel[i], OVSTYLE_RIGHT);
        if (nRc == OVRC_OK) {
            nRc = OVCreateField(psPab, nRow, nMargin + nValueColumn,
                                static_cast<int>(EntryLimit(eField)) + 1, apszEntryField[i],
                                sEntry.asValue[i].c_str(), OVSTYLE_TAB | OVSTYLE_EDIT,
                                sField.nAttribute, sField.nBackgroundColor,
                                sField.nForegroundColor);
        }
        if (nRc == OVRC_OK) {
            nRc = CreatePanelText(nRow, nMargin + nHintColumn, 24, "Hint", apszEntryHint[i], 0);
        }
    }
    if (nRc == OVRC_OK) {
        nRc = CreatePanelText(13, nMargin + 3, 74, "Rule",
                              "No blanks, and no value may begin with '-'. Delete erases a "
                              "character.", 0);
    }
    /* No Return here, so Escape leaves nothing: what was typed is lost only to Cancel. */
    int nResponse = 0;
    if (nRc == OVRC_OK) {
        nRc = OVCreateActionBar(psPab, psPab->nRows - 1, nMargin + 23, psPab->nColumns - 4,
                                OVAB_SAVE | OVAB_CANCEL | OVAB_HELP | OVAB_EXIT, &nResponse);
    }
    if (nRc == OVRC_OK) nRc = PlaceCursor(sCursor.sField, apszEntryField[EF_NAME]);
    /* Typing goes on where it stopped, within what the field holds. */
    FIELDTAB *psCurrent = psPab->psFieldTab_Current;
    if (nRc == OVRC_OK && psCurrent != nullptr && psCurrent->psField != nullptr &&
        (psCurrent->psField->ulStyle & OVSTYLE_EDIT) != 0 && sCursor.nOffset > 0) {
        psCurrent->nOffset = std::min(sCursor.nOffset,
                                      static_cast<int>(std::strlen(psCurrent->psField->szValue)));
        psPab->nColumnCurrent = psCurrent->nColumn + psCurrent->nOffset;
        SetPosition(psCurrent->nRow, psPab->nColumnCurrent);
    }
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikconn Enter_System: Unable to Create Entry Panel, rc: %d.", nRc);
    }
    return nRc;
}

/* What the user has typed so far; a field that cannot be read keeps its earlier value. */
void ReadEntry(SYSTEMENTRY *psEntry)
{
    for (int i = 0; i < EF_COUNT; ++i) {
        char *pszValue = nullptr;
        if (OVGetFieldValue(psPab, apszEntryField[i], &pszValue) == OVRC_OK &&
            pszValue != nullptr) {
            psEntry->asValue[i] = pszValue;
        }
    }
}

/* The first field whose value is refused, so that the cursor waits there. */
ENTRYFIELD FirstRefused(const SYSTEMENTRY &sEntry)
{
    for (int i = 0; i < EF_COUNT; ++i) {
        if (!CheckEntryValue(static_cast<ENTRYFIELD>(i), sEntry.asValue[i]).empty())
            return static_cast<ENTRYFIELD>(i);
    }
    return EF_ADDRESS;  /* the table refused it: the address is shared */
}

}  // namespace

int ConfirmScreen(const std::string &sTitle, const std::vector<std::string> &asLines,
                  unsigned long ulButton, const char *pszButton, bool *pbConfirmed)
{
    *pbConfirmed = false;
    std::string sCursor = "Cancel ";
    for (;;) {
        psPab = CreateScreenPanel("ConfirmScreen");
        if (psPab == nullptr) return OVRC_ERROR;
        const int nMargin = OVLayoutMargin(psPab);
        const int nWidth = psPab->nColumns - nMargin - 4;
        int nRc = CreateTitle(sTitle);
        /* Lines that would reach the buttons are left out. */
        const std::size_t nRoom =
            psPab->nRows > 6 ? static_cast<std::size_t>(psPab->nRows - 6) : 0;
        for (std::size_t i = 0; nRc == OVRC_OK && i < asLines.size() && i < nRoom; ++i) {
            nRc = CreatePanelText(4 + static_cast<int>(i), nMargin + 3, nWidth, "Line",
                                  OVFitColumns(asLines[i], nWidth), 0);
        }
        if (nRc == OVRC_OK) nRc = CreateConfirmBar(ulButton, sCursor);
        /* Escape goes back as Cancel does: the way back of a screen without Return. */
        psPab->ulKeys = OVKEYS_ESCAPE;
        char szResponseID[40] = "";
        int nResponse = 0;
        if (nRc == OVRC_OK) nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        if (nRc == OVRC_OK && szResponseID[0] == '\0' && nResponse == OVRESPONSE_KEY)
            return nRc;
        if (nRc == OVRC_OK && szResponseID[0] == '\0') {
            /* The help box was shown, or the terminal has a new size: draw the screen again,
               at a new size with the cursor where it was. */
            sCursor = NewSize(nRc, nResponse) ? CurrentFieldName() : "Cancel ";
            DeleteScreenPanel();
            continue;
        }
        if (nRc == OVRC_OK) {
            *pbConfirmed = std::strcmp(szResponseID, pszButton) == 0;
        } else {
            DeleteScreenPanel();
        }
        return nRc;
    }
}

int SaveTable()
{
    int nRc = SaveConfigurationValues();
    if (nRc != OVRC_OK) {
        bool bFull = false;
        OVConfigurationSaveFailure(&bFull);
        /* A full file is said by the step that added to it. */
        if (!bFull) {
            OVShowBox(psPab, OVLOG_ERROR, std::string("Unable to write ") + szOrvikConfFile + ".");
        }
    }
    return nRc;
}

int CreatePanelText(int nRow, int nColumn, int nLength, const char *pszName,
                    const std::string &sValue, unsigned long ulStyle)
{
    return OVCreateGroupText(psPab, nRow, nColumn, pszName, sValue.c_str(), OVDG_PANEL,
                             std::max(nLength, OVDisplayWidth(sValue)), ulStyle);
}

std::string CurrentFieldName()
{
    const FIELDTAB *psCurrent = psPab != nullptr ? psPab->psFieldTab_Current : nullptr;
    return psCurrent != nullptr && psCurrent->psField != nullptr ? psCurrent->psField->szName
                                                                 : "";
}

void Refuse(const std::string &sMessage)
{
    OVLog(OVLOG_ERROR, "orvikconn: %s", sMessage.c_str());
    OVShowBox(psPab, OVLOG_ERROR, sMessage);
}

int Enter_System(int nChanging)
{
    OVTraceStart("orvikconn Enter_System", "nChanging: %d.", nChanging);
    const bool bNew = nChanging < 0;
    SYSTEMENTRY sEntry;
    /* Every screen reloads config.ini, where another program may have added or removed
       systems meanwhile: the system being changed is found again by address and name. */
    REMOTESYSTEM sChanging{};
    if (!bNew && nChanging < nRemoteSystems) {
        sChanging = asRemoteSystem[nChanging];
        sEntry = EntryOf(sChanging);
    }
    ENTRYCURSOR sCursor;
    for (;;) {
        psPab = CreateScreenPanel("Enter_System");
        if (psPab == nullptr) return OVTraceEnd("orvikconn Enter_System", OVRC_ERROR);
        if (!bNew) nChanging = FindSystemIndex(sChanging);
        if (!bNew && nChanging < 0) {
            Refuse("That system is no longer in config.ini.");
            DeleteScreenPanel();
            return OVTraceEnd("orvikconn Enter_System", OVRC_OK);
        }
        int nRc = PresentEntry(sEntry, bNew, sCursor);
        char szResponseID[40] = "";
        int nResponse = 0;
        if (nRc == OVRC_OK) nRc = OVGetUserResponse(psPab, szResponseID, &nResponse);
        ReadEntry(&sEntry);
        if (szResponseID[0] == '\0' && NewSize(nRc, nResponse)) {
            /* Laid out again at the new size with what was typed, nothing stored, the
               cursor where it was. */
            sCursor.sField = CurrentFieldName();
            const FIELDTAB *psCurrent = psPab->psFieldTab_Current;
            sCursor.nOffset = psCurrent != nullptr ? psCurrent->nOffset : 0;
        } else if (nRc == OVRC_OK && std::strcmp(szResponseID, "Save ") == 0) {
            const std::string sWhy = CheckEntry(sEntry, nChanging);
            if (sWhy.empty()) {
                int nIndex = StoreEntry(sEntry, nChanging);
                nRc = nIndex < 0 ? OVRC_ERROR : SaveTable();
                bool bFull = false;
                OVConfigurationSaveFailure(&bFull);
                if (nRc == OVRC_OK) {
                    SelectSystem(nIndex, true);
                } else if (bFull) {
                    /* Another program filled the file meanwhile; the list, read again,
                       shows the file as it is. */
                    OVShowBox(psPab, OVLOG_ERROR, "The list is full: " +
                              std::to_string(OVMAXREMOTESYSTEMS) + " systems; " +
                              sEntry.asValue[EF_NAME] + " was not added.");
                    nRc = OVRC_OK;
                }
                DeleteScreenPanel();
                return OVTraceEnd("orvikconn Enter_System", nRc);
            }
            /* Nothing is stored: the screen comes back with what was typed. */
            Refuse(sWhy);
            sCursor = ENTRYCURSOR{apszEntryField[FirstRefused(sEntry)], 0};
        } else if (nRc == OVRC_OK && szResponseID[0] != '\0') {
            DeleteScreenPanel();  /* Cancel */
            return OVTraceEnd("orvikconn Enter_System", OVRC_OK);
        }
        DeleteScreenPanel();
        if (nRc != OVRC_OK) return OVTraceEnd("orvikconn Enter_System", nRc);
    }
}

int Confirm_Trust(int nSystem, const TRUSTOFFER &sOffer)
{
    OVTraceStart("orvikconn Confirm_Trust", "nSystem: %d, keys: %zu, state: %d.", nSystem,
                 sOffer.asOffered.size(), static_cast<int>(sOffer.sCheck.eState));
    const REMOTESYSTEM sSystem = asRemoteSystem[nSystem];
    const std::string sName = sSystem.szSystemName;
    const std::string sPath = sOffer.sTarget.asKnownHostsFiles.front();
    const bool bChanged = sOffer.sCheck.eState == TS_CHANGED;
    std::vector<std::string> asLines;
    bool bShown = false;
    if (bChanged) {
        asLines = {"The host key of " + SystemWords(sSystem) + " has CHANGED.", "",
                   "Trusted before, in " + FileList(sOffer.asHolding) + ":"};
        bShown = FingerprintLines(sOffer.sCheck.asOld, &asLines);
        asLines.push_back("Offered now:");
        bShown = FingerprintLines(sOffer.asOffered, &asLines) && bShown;
        if (bShown) {
            asLines.insert(asLines.end(),
                           {"", "Someone may be posing as the system. Replace the old keys only",
                            "when its administrator confirms the new fingerprints; Trust asks",
                            "once more."});
        }
    } else {
        asLines = {std::string(sOffer.sCheck.eState == TS_MORE ? "Host keys not trusted yet"
                                                              : "Host keys") +
                       " offered by " + SystemWords(sSystem) + ":",
                   ""};
        bShown = FingerprintLines(sOffer.sCheck.asToAdd, &asLines);
        if (bShown) {
            asLines.insert(asLines.end(),
                           {"", "Trust adds them to " + sPath + " if they match",
                            "what the system's administrator gives you. Cancel adds nothing."});
        }
    }

    bool bConfirmed = false;
    /* Keys the user cannot compare are not offered. */
    int nRc = ConfirmScreen("Orvik Connections: Trust " + sName, asLines,
                            bShown ? OVAB_TRUST : 0, "Trust ", &bConfirmed);
    if (nRc != OVRC_OK) return OVTraceEnd("orvikconn Confirm_Trust", nRc);
    if (bConfirmed && bChanged) {
        /* Replacing keys is asked on a screen of its own, which starts on Cancel again. */
        DeleteScreenPanel();
        asLines = {"Replace the trusted host keys of " + SystemWords(sSystem) + "?", "",
                   "Every line of " + sOffer.sName + " is removed from:"};
        for (const std::string &sFile : sOffer.asHolding) asLines.push_back("  " + sFile);
        asLines.push_back("and the " + std::to_string(sOffer.sCheck.asToAdd.size()) +
                          " key(s) offered now are added to:");
        asLines.push_back("  " + sPath);
        asLines.push_back("");
        asLines.push_back("ssh-keygen keeps each file as it was in a copy ending in .old.");
        nRc = ConfirmScreen("Orvik Connections: Replace the keys of " + sName, asLines,
                            OVAB_TRUST, "Trust ", &bConfirmed);
        if (nRc != OVRC_OK) return OVTraceEnd("orvikconn Confirm_Trust", nRc);
    }
    if (bConfirmed) {
        if (!StillThere(nSystem, sSystem)) {
            Refuse("The system changed in config.ini meanwhile: nothing added.");
        } else if (bChanged) {
            const std::string sWhy = ReplaceKnownKeys(sOffer);
            if (!sWhy.empty()) {
                Refuse(sWhy);
            } else {
                SetStamp(asRemoteSystem[nSystem].szLastTrust);
                nRc = SaveTable();
                OVShowBox(psPab, OVLOG_INFO, "Keys replaced in " + sPath + ".");
            }
        } else {
            int nAdded = 0;
            int nError = AppendKnownHosts(sPath, sOffer.sCheck.asToAdd, &nAdded);
            if (nError != 0) {
                Refuse("Unable to add the keys to " + sPath + ": " +
                                             std::strerror(nError) + ".");
            } else {
                SetStamp(asRemoteSystem[nSystem].szLastTrust);
                nRc = SaveTable();
                OVShowBox(psPab, OVLOG_INFO, nAdded == 0 ? "The keys were already in " + sPath + "."
                                                    : std::to_string(nAdded) +
                                                          " key(s) added to " + sPath + ".");
            }
        }
    }
    DeleteScreenPanel();
    return OVTraceEnd("orvikconn Confirm_Trust", nRc);
}

int Confirm_Delete(int nSystem)
{
    OVTraceStart("orvikconn Confirm_Delete", "nSystem: %d.", nSystem);
    const REMOTESYSTEM sSystem = asRemoteSystem[nSystem];
    std::vector<std::string> asLines = {"Remove " + SystemWords(sSystem) + " from the list?"};
    if (ConnectedIndex() == nSystem) {
        asLines.push_back("It is the connected system: everything runs locally afterwards.");
    }
    bool bConfirmed = false;
    int nRc = ConfirmScreen("Orvik Connections: Delete " + std::string(sSystem.szSystemName),
                            asLines, OVAB_DELETE, "Delete ", &bConfirmed);
    if (nRc != OVRC_OK) return OVTraceEnd("orvikconn Confirm_Delete", nRc);
    if (bConfirmed && StillThere(nSystem, sSystem)) {
        RemoveSystem(nSystem);
        nRc = SaveTable();
        SelectSystem(nSystem < nRemoteSystems ? nSystem : nRemoteSystems - 1, false);
    }
    DeleteScreenPanel();
    return OVTraceEnd("orvikconn Confirm_Delete", nRc);
}
