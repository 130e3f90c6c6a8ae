/*
 * records.cpp - what the user may enter for a remote system, and the changes to the remote
 * system table: store, remove, find the connected one, stamp.
 *
 * config.ini splits its lines into words at blanks and drops the words "is" and "=", and
 * ssh and scp read a word beginning with "-" as an option; the checks keep every stored
 * value one plain word that reads back as it was written.
 */
#include "orvikconn.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace {

struct ENTRYRULE {
    const char *pszLabel;
    std::size_t nLimit;
    const char *pszExtra;   /* characters allowed besides letters and digits, NULL: any */
};

/* The name is only shown, so any visible character will do; address and user go on
   command lines and into "user@host" words, so they keep to host and login characters. */
constexpr ENTRYRULE asRule[EF_COUNT] = {
    {"Name", sizeof REMOTESYSTEM::szSystemName - 1, nullptr},
    {"Address", sizeof REMOTESYSTEM::szIP - 1, ".-_:"},
    {"Port", sizeof REMOTESYSTEM::szPort - 1, ""},
    {"User", sizeof REMOTESYSTEM::szUser - 1, ".-_"},
};

bool IsAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDigits(std::string_view sValue)
{
    for (char c : sValue) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

template <std::size_t N>
void Store(char (&szField)[N], const std::string &sValue)
{
    OVCopyText(szField, N, sValue.c_str());
}

}  // namespace

const char *EntryLabel(ENTRYFIELD eField) { return asRule[eField].pszLabel; }

std::size_t EntryLimit(ENTRYFIELD eField) { return asRule[eField].nLimit; }

std::string CheckEntryValue(ENTRYFIELD eField, std::string_view sValue)
{
    const ENTRYRULE &sRule = asRule[eField];
    const std::string sLabel = sRule.pszLabel;
    if (sValue.empty()) {
        return sLabel + " is empty.";
    }
    if (sValue.size() > sRule.nLimit) {
        return sLabel + " is longer than " + std::to_string(sRule.nLimit) + " characters.";
    }
    if (sValue.front() == '-') {
        return sLabel + " may not begin with '-'.";
    }
    if (strcasecmp(std::string(sValue).c_str(), "is") == 0 || sValue == "=") {
        return sLabel + " may not be the word '" + std::string(sValue) + "'.";
    }
    for (char c : sValue) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 127) {
            return sLabel + " may not contain blanks or control characters.";
        }
        if (sRule.pszExtra != nullptr && !IsAlnum(c) && std::strchr(sRule.pszExtra, c) == nullptr) {
            return sLabel + " may not contain '" + std::string(1, c) + "'.";
        }
    }
    if (eField == EF_PORT) {
        /* Up to six characters fit the record; ports end at 65535. */
        if (!IsDigits(sValue) || std::stol(std::string(sValue)) < 1 ||
            std::stol(std::string(sValue)) > 65535) {
            return sLabel + " must be a number from 1 to 65535.";
        }
    }
    return "";
}

std::string CheckEntry(const SYSTEMENTRY &sEntry, int nChanging)
{
    for (int nField = 0; nField < EF_COUNT; ++nField) {
        std::string sWhy = CheckEntryValue(static_cast<ENTRYFIELD>(nField), sEntry.asValue[nField]);
        if (!sWhy.empty()) return sWhy;
    }
    if (nChanging < 0 && nRemoteSystems >= OVMAXREMOTESYSTEMS) {
        return "The list is full: " + std::to_string(OVMAXREMOTESYSTEMS) + " systems.";
    }
    for (int i = 0; i < nRemoteSystems; ++i) {
        if (i != nChanging && sEntry.asValue[EF_ADDRESS] == asRemoteSystem[i].szIP) {
            return "Address " + sEntry.asValue[EF_ADDRESS] + " is already used by " +
                   asRemoteSystem[i].szSystemName + ".";
        }
    }
    return "";
}

SYSTEMENTRY EntryOf(const REMOTESYSTEM &sSystem)
{
    SYSTEMENTRY sEntry;
    sEntry.asValue[EF_NAME] = sSystem.szSystemName;
    sEntry.asValue[EF_ADDRESS] = sSystem.szIP;
    sEntry.asValue[EF_PORT] = sSystem.szPort;
    sEntry.asValue[EF_USER] = sSystem.szUser;
    return sEntry;
}

int StoreEntry(const SYSTEMENTRY &sEntry, int nChanging)
{
    int nIndex = nChanging;
    if (nChanging < 0) {
        if (nRemoteSystems >= OVMAXREMOTESYSTEMS) return -1;
        nIndex = nRemoteSystems++;
        asRemoteSystem[nIndex] = REMOTESYSTEM{};
    } else if (nChanging >= nRemoteSystems) {
        return -1;
    }
    REMOTESYSTEM &sSystem = asRemoteSystem[nIndex];
    const bool bOtherHost = sEntry.asValue[EF_ADDRESS] != sSystem.szIP ||
                            sEntry.asValue[EF_PORT] != sSystem.szPort;
    if (bOtherHost || sEntry.asValue[EF_USER] != sSystem.szUser) {
        sSystem.szLastPing[0] = '\0';
    }
    if (bOtherHost) {
        sSystem.szLastTrust[0] = '\0';
    }
    Store(sSystem.szSystemName, sEntry.asValue[EF_NAME]);
    Store(sSystem.szIP, sEntry.asValue[EF_ADDRESS]);
    Store(sSystem.szPort, sEntry.asValue[EF_PORT]);
    Store(sSystem.szUser, sEntry.asValue[EF_USER]);
    return nIndex;
}

int RemoveSystem(int nIndex)
{
    if (nIndex < 0 || nIndex >= nRemoteSystems) return OVRC_ERROR;
    REMOTESYSTEM *psRemoved = &asRemoteSystem[nIndex];
    if (psConnectedSystem == psRemoved) {
        psConnectedSystem = nullptr;
    } else if (psConnectedSystem > psRemoved &&
               psConnectedSystem < &asRemoteSystem[nRemoteSystems]) {
        --psConnectedSystem;  /* the same record, one place up */
    }
    for (int i = nIndex; i + 1 < nRemoteSystems; ++i) {
        asRemoteSystem[i] = asRemoteSystem[i + 1];
    }
    --nRemoteSystems;
    asRemoteSystem[nRemoteSystems] = REMOTESYSTEM{};
    return OVRC_OK;
}

int SharedAddress(int nIndex)
{
    for (int i = 0; i < nRemoteSystems; ++i) {
        if (i != nIndex && std::strcmp(asRemoteSystem[i].szIP, asRemoteSystem[nIndex].szIP) == 0)
            return i;
    }
    return -1;
}

int FindSystemIndex(const REMOTESYSTEM &sSystem)
{
    for (int i = 0; i < nRemoteSystems; ++i) {
        if (std::strcmp(asRemoteSystem[i].szIP, sSystem.szIP) == 0 &&
            std::strcmp(asRemoteSystem[i].szSystemName, sSystem.szSystemName) == 0)
            return i;
    }
    return -1;
}

int ConnectedIndex()
{
    for (int i = 0; i < nRemoteSystems; ++i) {
        if (psConnectedSystem == &asRemoteSystem[i]) return i;
    }
    return -1;
}

std::string SystemListLine(const REMOTESYSTEM &sSystem, bool bSelected)
{
    std::string sLine = bSelected ? "> " : "  ";
    sLine += OVPadColumns(sSystem.szSystemName, nAddressColumn - nNameColumn);
    sLine += OVPadColumns(sSystem.szIP, nPortColumn - nAddressColumn);
    sLine += OVPadColumns(sSystem.szPort, nUserColumn - nPortColumn);
    return sLine + OVFitColumns(sSystem.szUser, nListLineLength - (nUserColumn - 1));
}

const char *OrderWords(LISTORDER eOrder)
{
    constexpr const char *apszWords[LO_COUNT] = {"", ", by name", ", by last ping"};
    return apszWords[eOrder >= 0 && eOrder < LO_COUNT ? eOrder : LO_ENTERED];
}

std::vector<int> ShownSystems(std::string_view sFoldedFilter, LISTORDER eOrder)
{
    std::vector<int> anShown;
    for (int i = 0; i < nRemoteSystems; ++i) {
        if (OVContainsFolded(asRemoteSystem[i].szSystemName, sFoldedFilter) ||
            OVContainsFolded(asRemoteSystem[i].szIP, sFoldedFilter))
            anShown.push_back(i);
    }
    if (eOrder == LO_NAME) {
        std::vector<std::string> asFolded(static_cast<std::size_t>(nRemoteSystems));
        for (int i : anShown) asFolded[i] = OVFoldCase(asRemoteSystem[i].szSystemName);
        std::stable_sort(anShown.begin(), anShown.end(),
                         [&](int a, int b) { return asFolded[a] < asFolded[b]; });
    } else if (eOrder == LO_PING) {
        /* Stamps of one fixed form sort as text; an empty one (never pinged) goes last. */
        std::stable_sort(anShown.begin(), anShown.end(), [](int a, int b) {
            return std::strcmp(asRemoteSystem[a].szLastPing, asRemoteSystem[b].szLastPing) > 0;
        });
    }
    return anShown;
}

std::string MakeStamp(std::time_t nTime)
{
    struct tm sTime {};
    char szStamp[17] = "";
    if (gmtime_r(&nTime, &sTime) == nullptr ||
        std::strftime(szStamp, sizeof szStamp, "%Y%m%dT%H%M%SZ", &sTime) == 0) {
        return "";
    }
    return szStamp;
}

void SetStamp(char (&szStamp)[17])
{
    OVCopyText(szStamp, sizeof szStamp, MakeStamp(std::time(nullptr)).c_str());
}
