/*
 * config.cpp - reading and rewriting config.ini: the display group values and the table of
 * known remote systems, one of which may be the connected system.
 *
 * The reader is forgiving about form ("is" and "=" are noise words, keywords in any case)
 * and strict about content: a bad value stops the load with a logged error. The writer
 * always produces the normal form and replaces the file atomically.
 */
#include "orviklib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

REMOTESYSTEM asRemoteSystem[OVMAXREMOTESYSTEMS];
int nRemoteSystems = 0;
REMOTESYSTEM *psConnectedSystem = nullptr;
char szOrvikConfFile[256] = "./config.ini";

namespace {

constexpr int OVCONFLINE = 1022;     /* characters read as one line */
constexpr int OVCONFWORDS = 20;      /* words of a line that are considered */
constexpr std::size_t OVMAXORVIKDIR = 244;
constexpr int OVKEYWORDWIDTH = 26;   /* display keywords are padded to this width */

enum class Value { Foreground, Background, Attribute };

struct DISPLAYKEYWORD {
    const char *pszKeyword;
    unsigned long ulGroup;
    Value eValue;
};

/* In the order of the written file. */
constexpr DISPLAYKEYWORD asDisplayKeyword[] = {
    {"PanelForegroundColor", OVDG_PANEL, Value::Foreground},
    {"PanelBackgroundColor", OVDG_PANEL, Value::Background},
    {"PanelAttribute", OVDG_PANEL, Value::Attribute},
    {"MenuItemForegroundColor", OVDG_MENUITEM, Value::Foreground},
    {"MenuItemBackgroundColor", OVDG_MENUITEM, Value::Background},
    {"MenuItemAttribute", OVDG_MENUITEM, Value::Attribute},
    {"PulldownForegroundColor", OVDG_PULLDOWN, Value::Foreground},
    {"PulldownBackgroundColor", OVDG_PULLDOWN, Value::Background},
    {"PulldownAttribute", OVDG_PULLDOWN, Value::Attribute},
    {"FieldForegroundColor", OVDG_FIELD, Value::Foreground},
    {"FieldBackgroundColor", OVDG_FIELD, Value::Background},
    {"FieldAttribute", OVDG_FIELD, Value::Attribute},
    {"MessageBoxForegroundColor", OVDG_MESSAGEBOX, Value::Foreground},
    {"MessageBoxBackgroundColor", OVDG_MESSAGEBOX, Value::Background},
    {"MessageBoxAttribute", OVDG_MESSAGEBOX, Value::Attribute},
    {"ButtonForegroundColor", OVDG_BUTTON, Value::Foreground},
    {"ButtonBackgroundColor", OVDG_BUTTON, Value::Background},
    {"ButtonAttribute", OVDG_BUTTON, Value::Attribute},
};
static_assert(std::size(asDisplayKeyword) == 3 * OVDISPLAYGROUPS);

/* The stamp clauses of a remote system statement and the fields they set. */
struct STAMPCLAUSE {
    const char *pszKeyword;
    char (REMOTESYSTEM::*pField)[17];
};
constexpr STAMPCLAUSE asStampClause[] = {
    {"LastPing", &REMOTESYSTEM::szLastPing},
    {"LastTrust", &REMOTESYSTEM::szLastTrust},
    {"LastConnect", &REMOTESYSTEM::szLastConnect},
};

int &GroupValue(const DISPLAYKEYWORD &sKeyword) {
    DISPLAYATTRIBUTES &sGroup = asOVDisplayAttributes[sKeyword.ulGroup];
    switch (sKeyword.eValue) {
    case Value::Foreground: return sGroup.nForegroundColor;
    case Value::Background: return sGroup.nBackgroundColor;
    default: return sGroup.nAttribute;
    }
}

/* Works out szOrvikConfFile from ORVIKDIR; 8 when the directory name is too long. */
int WorkOutPath(const char *pszCaller) {
    const char *pszDir = getenv("ORVIKDIR");
    if (pszDir == nullptr) {
        OVCopyText(szOrvikConfFile, sizeof(szOrvikConfFile), "./config.ini");
        return OVRC_OK;
    }
    if (strlen(pszDir) > OVMAXORVIKDIR) {
        OVLog(OVLOG_ERROR, "%s: ORVIKDIR is longer than %d characters: %.64s...\n", pszCaller,
              static_cast<int>(OVMAXORVIKDIR), pszDir);
        return OVRC_ERROR;
    }
    snprintf(szOrvikConfFile, sizeof(szOrvikConfFile), "%s/config.ini", pszDir);
    return OVRC_OK;
}

/* One line split into words: blanks separate, "is" and "=" are dropped, 20 words at most.
   sCut is the line as far as its first word, which is how error messages quote a line. */
struct WORDS {
    std::vector<std::string> asWord;
    std::string sCut;
};

WORDS SplitLine(const std::string &sLine) {
    WORDS sWords;
    std::size_t nPos = 0;
    bool bFirst = true;
    while (nPos < sLine.size() && static_cast<int>(sWords.asWord.size()) < OVCONFWORDS) {
        std::size_t nStart = sLine.find_first_not_of(' ', nPos);
        if (nStart == std::string::npos) break;
        std::size_t nEnd = sLine.find(' ', nStart);
        if (nEnd == std::string::npos) nEnd = sLine.size();
        std::string sWord = sLine.substr(nStart, nEnd - nStart);
        if (bFirst) {
            sWords.sCut = sLine.substr(0, nEnd);
            bFirst = false;
        }
        if (strcasecmp(sWord.c_str(), "is") != 0 && sWord != "=")
            sWords.asWord.push_back(std::move(sWord));
        nPos = nEnd;
    }
    return sWords;
}

/* Copies a value into a record field; 8 with a logged error when it does not fit. */
int StoreValue(char *pszField, std::size_t nSize, const char *pszWhat, const std::string &sValue) {
    if (sValue.size() >= nSize) {
        OVLog(OVLOG_ERROR,
              "LoadConfigurationValues: Invalid %s value in %s command, longer than %d "
              "characters: %s.\n",
              pszWhat, "RemoteSystem", static_cast<int>(nSize - 1), sValue.c_str());
        return OVRC_ERROR;
    }
    memcpy(pszField, sValue.c_str(), sValue.size() + 1);
    return OVRC_OK;
}

int LoadRemoteSystem(const WORDS &sWords) {
    const std::vector<std::string> &asWord = sWords.asWord;
    int nWords = static_cast<int>(asWord.size());
    if (nWords < 5) {
        OVLog(OVLOG_ERROR,
              "LoadConfigurationValues: Invalid %s command, Tokens should be > 4 and instead is "
              "%d, command: %s.\n",
              "RemoteSystem", nWords, sWords.sCut.c_str());
        return OVRC_ERROR;
    }
    if (nRemoteSystems >= OVMAXREMOTESYSTEMS) {
        OVLog(OVLOG_ERROR,
              "LoadConfigurationValues: Too many %s commands, at most %d are kept, command: "
              "%s.\n",
              "RemoteSystem", OVMAXREMOTESYSTEMS, sWords.sCut.c_str());
        return OVRC_ERROR;
    }
    REMOTESYSTEM &sSystem = asRemoteSystem[nRemoteSystems];
    memset(&sSystem, 0, sizeof(sSystem));
    if (StoreValue(sSystem.szIP, sizeof(sSystem.szIP), "IP", asWord[1]) != OVRC_OK ||
        StoreValue(sSystem.szPort, sizeof(sSystem.szPort), "Port", asWord[2]) != OVRC_OK ||
        StoreValue(sSystem.szSystemName, sizeof(sSystem.szSystemName), "Name", asWord[3]) !=
            OVRC_OK ||
        StoreValue(sSystem.szUser, sizeof(sSystem.szUser), "User", asWord[4]) != OVRC_OK)
        return OVRC_ERROR;

    /* The record becomes the connected system only once the whole statement is good. */
    bool bConnected = false;
    for (int i = 5; i < nWords;) {
        const std::string &sWord = asWord[i];
        int nClause = -1;
        for (int c = 0; c < static_cast<int>(std::size(asStampClause)); c++)
            if (strcasecmp(sWord.c_str(), asStampClause[c].pszKeyword) == 0) nClause = c;
        if (nClause >= 0) {
            if (i + 1 >= nWords) {
                OVLog(OVLOG_ERROR, "LoadConfigurationValues: Invalid %s clause in %s command: %s.\n",
                      sWord.c_str(), "RemoteSystem", sWords.sCut.c_str());
                return OVRC_ERROR;
            }
            const STAMPCLAUSE &sClause = asStampClause[nClause];
            if (StoreValue(sSystem.*sClause.pField, sizeof(sSystem.*sClause.pField),
                           sClause.pszKeyword, asWord[i + 1]) != OVRC_OK)
                return OVRC_ERROR;
            i += 2;
        } else if (strcasecmp(sWord.c_str(), "Connected") == 0) {
            bConnected = true;
            i++;
        } else {
            OVLog(OVLOG_ERROR, "LoadConfigurationValues: Invalid %s keyword in %s command: %s.\n",
                  sWord.c_str(), "RemoteSystem", sWords.sCut.c_str());
            return OVRC_ERROR;
        }
    }
    if (bConnected) psConnectedSystem = &sSystem;
    nRemoteSystems++;
    return OVRC_OK;
}

int LoadDisplayValue(const DISPLAYKEYWORD &sKeyword, const WORDS &sWords) {
    std::string sValue = sWords.asWord.size() > 1 ? sWords.asWord[1] : "";
    bool bAttribute = sKeyword.eValue == Value::Attribute;
    int nValue = bAttribute ? OVGetAttribute(sValue.c_str()) : OVGetColor(sValue.c_str());
    if (nValue < 0) {
        OVLog(OVLOG_ERROR,
              "LoadConfigurationValues: apachWorksub[0]: %s statement has invalid %s "
              "specified: %s.\n",
              sWords.asWord[0].c_str(), bAttribute ? "attribute" : "color", sValue.c_str());
        return OVRC_ERROR;
    }
    GroupValue(sKeyword) = nValue;
    return OVRC_OK;
}

int LoadStatement(const WORDS &sWords) {
    const char *pszKeyword = sWords.asWord[0].c_str();
    if (strcasecmp(pszKeyword, "RemoteSystem") == 0) return LoadRemoteSystem(sWords);
    for (const DISPLAYKEYWORD &sKeyword : asDisplayKeyword)
        if (strcasecmp(pszKeyword, sKeyword.pszKeyword) == 0)
            return LoadDisplayValue(sKeyword, sWords);
    return OVRC_OK; /* any other keyword is a comment */
}

/* Name written for a colour; a number outside the table is logged and written as the
   fallback so that the file stays readable. */
const char *ColorName(const char *pszKeyword, int nColor, const char *pszFallback) {
    if (nColor >= 0 && nColor < 8) return OVCOLORLIT[nColor];
    OVLog(OVLOG_ERROR, "SaveConfigurationValues: %s value %d is not a colour, written as %s.\n",
          pszKeyword, nColor, pszFallback);
    return pszFallback;
}

std::string ConfigurationText() {
    std::string sText;
    for (int i = 0; i < nRemoteSystems; i++) {
        const REMOTESYSTEM &sSystem = asRemoteSystem[i];
        sText += "RemoteSystem ";
        sText += sSystem.szIP;
        sText += ' ';
        sText += sSystem.szPort;
        sText += ' ';
        sText += sSystem.szSystemName;
        sText += ' ';
        sText += sSystem.szUser;
        for (const STAMPCLAUSE &sClause : asStampClause) {
            const char *pszStamp = sSystem.*sClause.pField;
            if (*pszStamp == '\0') continue;
            sText += ' ';
            sText += sClause.pszKeyword;
            sText += ' ';
            sText += pszStamp;
        }
        if (psConnectedSystem != nullptr && strcmp(sSystem.szIP, psConnectedSystem->szIP) == 0)
            sText += " Connected";
        sText += '\n';
    }
    for (const DISPLAYKEYWORD &sKeyword : asDisplayKeyword) {
        int nValue = GroupValue(sKeyword);
        const char *pszName;
        if (sKeyword.eValue == Value::Attribute)
            pszName = OVATTRIBUTELIT[nValue >= 0 && nValue < 8 ? OVATTRIBUTESUB[nValue] : 0];
        else
            pszName = ColorName(sKeyword.pszKeyword, nValue,
                                sKeyword.eValue == Value::Foreground ? "White" : "Black");
        char szLine[96];
        snprintf(szLine, sizeof(szLine), "%-*sis %s\n", OVKEYWORDWIDTH, sKeyword.pszKeyword,
                 pszName);
        sText += szLine;
    }
    return sText;
}

/* What the last load left: whether its tables are whole, and the text it read (or the last
   save wrote), so that a save that would write back exactly that leaves the file, and a
   change another program made meanwhile, alone. */
struct LOADSTATE {
    bool bIncomplete = false;
    bool bHaveText = false;
    std::string sPath;
    std::string sText;
};
LOADSTATE sLoadState;

void RememberText(std::string sText) {
    sLoadState.bHaveText = true;
    sLoadState.sPath = szOrvikConfFile;
    sLoadState.sText = std::move(sText);
}

int FailLoad() {
    sLoadState.bIncomplete = true;
    sLoadState.bHaveText = false;
    return OVTraceEnd("LoadConfigurationValues", OVRC_ERROR);
}

} // namespace

int LoadConfigurationValues() {
    OVTraceStart("LoadConfigurationValues", "ORVIKDIR: %s.",
                 getenv("ORVIKDIR") ? getenv("ORVIKDIR") : "(not set)");
    nRemoteSystems = 0;
    psConnectedSystem = nullptr; /* only a "Connected" clause of this file sets it again */
    if (WorkOutPath("LoadConfigurationValues") != OVRC_OK) return FailLoad();

    OVFilePtr pFile(fopen(szOrvikConfFile, "r"));
    if (!pFile) {
        /* Only a missing file is created afresh; one that exists but cannot be read must
           not be replaced by the values in memory. */
        if (errno != ENOENT) {
            OVLog(OVLOG_ERROR, "LoadConfigurationValues: Unable to read configuration file: %s, "
                  "errno: %d.\n", szOrvikConfFile, errno);
            return FailLoad();
        }
        OVLog(OVLOG_DEBUG,
              "LoadConfigurationValues: Orvik Configuration: %s not found at startup. Setting "
              "to initial load.\n",
              szOrvikConfFile);
        sLoadState.bIncomplete = false;
        sLoadState.bHaveText = false;
        return OVTraceEnd("LoadConfigurationValues", SaveConfigurationValues());
    }

    char szLine[OVCONFLINE + 1];
    std::string sRead;
    while (fgets(szLine, sizeof(szLine), pFile.get()) != nullptr) {
        std::string sLine(szLine);
        sRead += sLine;
        if (!sLine.empty() && sLine.back() == '\n') sLine.pop_back();
        WORDS sWords = SplitLine(sLine);
        if (sWords.asWord.empty()) continue;
        if (LoadStatement(sWords) != OVRC_OK) return FailLoad();
    }
    if (ferror(pFile.get())) {
        OVLog(OVLOG_ERROR, "LoadConfigurationValues: Unable to read configuration file: %s, "
              "errno: %d.\n", szOrvikConfFile, errno);
        return FailLoad();
    }
    sLoadState.bIncomplete = false;
    RememberText(std::move(sRead));
    return OVTraceEnd("LoadConfigurationValues", OVRC_OK);
}

int SaveConfigurationValues() {
    OVTraceStart("SaveConfigurationValues", "nRemoteSystems: %d.", nRemoteSystems);
    if (WorkOutPath("SaveConfigurationValues") != OVRC_OK)
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    /* Tables that a failed load left half filled would drop whatever followed the bad line. */
    if (sLoadState.bIncomplete) {
        OVLog(OVLOG_ERROR, "SaveConfigurationValues: The last load of the configuration file "
              "failed; %s is left as it is.\n", szOrvikConfFile);
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    }
    std::string sText = ConfigurationText();
    if (sLoadState.bHaveText && sLoadState.sPath == szOrvikConfFile && sLoadState.sText == sText) {
        if (bDebug)
            OVLog(OVLOG_DEBUG, "SaveConfigurationValues: Nothing changed since the last load, "
                  "%s is not rewritten.", szOrvikConfFile);
        return OVTraceEnd("SaveConfigurationValues", OVRC_OK);
    }
    if (OVReplaceFile(szOrvikConfFile, sText, 0666) != 0) {
        OVLog(OVLOG_ERROR,
              "SaveConfigurationValues: Unable to create or update configuration file: %s.\n",
              szOrvikConfFile);
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    }
    RememberText(std::move(sText));
    return OVTraceEnd("SaveConfigurationValues", OVRC_OK);
}
