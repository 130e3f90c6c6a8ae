/*
 * config.cpp - reading and rewriting config.ini: the display group values and the table of
 * known remote systems, one of which may be the connected system.
 *
 * The reader is forgiving about form ("is" and "=" are noise words, keywords in any case)
 * and strict about content: a bad value stops the load with a logged error.
 *
 * Several programs keep the file open in their tables at once (the menu, the program it
 * started, a second terminal). So a save never writes the tables back whole: under a lock
 * beside the file it reads the file as it is now and applies only what this program changed
 * since its last load or save - a display value it set, a system it added, changed or removed,
 * the connected system it chose. Systems are known by address and name, never by position.
 * Every other line stays byte for byte, and a program that changed nothing writes nothing.
 * Only a new file (or one saved under another path than it was loaded from) gets the whole
 * normal form.
 */
#include "orviklib.h"

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <strings.h>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

REMOTESYSTEM asRemoteSystem[OVMAXREMOTESYSTEMS];
int nRemoteSystems = 0;
REMOTESYSTEM *psConnectedSystem = nullptr;
char szOrvikConfFile[256] = "./config.ini";

namespace {

constexpr int OVCONFLINE = 1022;     /* characters of the longest line that is read */
constexpr long OVCONFMAXBYTES = 4L << 20; /* a larger file is refused, not read */
constexpr int OVCONFWORDS = 20;      /* words of a line that are considered */
constexpr std::size_t OVMAXORVIKDIR = 244;
constexpr int OVKEYWORDWIDTH = 26;   /* display keywords are padded to this width */
constexpr int OVCONFLOCKWAIT = 3;    /* seconds a load or save waits for another's lock */

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

/* Set while a save reads lines for what they state: a spoiled line is reported by the loads,
   not again by every save. */
bool bQuiet = false;

/* The sentence of the latest error this file logged, kept for the screen. */
std::string sLastError;

/* Logs an error of the configuration at level 8 and keeps its sentence; always 8. */
__attribute__((format(printf, 1, 0))) int ConfigErrorV(const char *pszFormat, va_list args) {
    char szMessage[OVMAXMESSAGE + 16];
    if (vsnprintf(szMessage, sizeof(szMessage), pszFormat, args) < 0) szMessage[0] = '\0';
    sLastError = szMessage;
    OVWriteMessage(OVLOG_ERROR, szMessage);
    return OVRC_ERROR;
}

__attribute__((format(printf, 1, 2))) int ConfigError(const char *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    ConfigErrorV(pszFormat, args);
    va_end(args);
    return OVRC_ERROR;
}

/* ConfigError for a statement of the file, unless quiet; always 8. */
__attribute__((format(printf, 1, 2))) int ReadError(const char *pszFormat, ...) {
    if (bQuiet) return OVRC_ERROR;
    va_list args;
    va_start(args, pszFormat);
    ConfigErrorV(pszFormat, args);
    va_end(args);
    return OVRC_ERROR;
}

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
        ConfigError("%s: ORVIKDIR is longer than %d characters: %.64s...", pszCaller,
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

WORDS SplitLine(const std::string &sWholeLine) {
    /* Text stops at a NUL byte, as it always has for this reader. */
    const std::string sLine = sWholeLine.substr(0, sWholeLine.find('\0'));
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
        ReadError(
              "LoadConfigurationValues: Invalid %s value in %s command, longer than %d "
              "characters: %s.",
              pszWhat, "RemoteSystem", static_cast<int>(nSize - 1), sValue.c_str());
        return OVRC_ERROR;
    }
    memcpy(pszField, sValue.c_str(), sValue.size() + 1);
    return OVRC_OK;
}

/* Reads a remote system statement of at least five words into sSystem (zero-filled first);
   *pbConnected tells whether it carries "Connected". Touches no table. 0, or 8 after logging. */
int ParseRemoteSystem(const WORDS &sWords, REMOTESYSTEM &sSystem, bool *pbConnected) {
    const std::vector<std::string> &asWord = sWords.asWord;
    int nWords = static_cast<int>(asWord.size());
    memset(&sSystem, 0, sizeof(sSystem));
    *pbConnected = false;
    if (StoreValue(sSystem.szIP, sizeof(sSystem.szIP), "IP", asWord[1]) != OVRC_OK ||
        StoreValue(sSystem.szPort, sizeof(sSystem.szPort), "Port", asWord[2]) != OVRC_OK ||
        StoreValue(sSystem.szSystemName, sizeof(sSystem.szSystemName), "Name", asWord[3]) !=
            OVRC_OK ||
        StoreValue(sSystem.szUser, sizeof(sSystem.szUser), "User", asWord[4]) != OVRC_OK)
        return OVRC_ERROR;

    for (int i = 5; i < nWords;) {
        const std::string &sWord = asWord[i];
        int nClause = -1;
        for (int c = 0; c < static_cast<int>(std::size(asStampClause)); c++)
            if (strcasecmp(sWord.c_str(), asStampClause[c].pszKeyword) == 0) nClause = c;
        if (nClause >= 0) {
            if (i + 1 >= nWords) {
                ReadError("LoadConfigurationValues: Invalid %s clause in %s command: %s.\n",
                      sWord.c_str(), "RemoteSystem", sWords.sCut.c_str());
                return OVRC_ERROR;
            }
            const STAMPCLAUSE &sClause = asStampClause[nClause];
            if (StoreValue(sSystem.*sClause.pField, sizeof(sSystem.*sClause.pField),
                           sClause.pszKeyword, asWord[i + 1]) != OVRC_OK)
                return OVRC_ERROR;
            i += 2;
        } else if (strcasecmp(sWord.c_str(), "Connected") == 0) {
            *pbConnected = true;
            i++;
        } else {
            ReadError("LoadConfigurationValues: Invalid %s keyword in %s command: %s.\n",
                  sWord.c_str(), "RemoteSystem", sWords.sCut.c_str());
            return OVRC_ERROR;
        }
    }
    return OVRC_OK;
}

int LoadRemoteSystem(const WORDS &sWords) {
    int nWords = static_cast<int>(sWords.asWord.size());
    if (nWords < 5) {
        ReadError(
              "LoadConfigurationValues: Invalid %s command, Tokens should be > 4 and instead is "
              "%d, command: %s.\n",
              "RemoteSystem", nWords, sWords.sCut.c_str());
        return OVRC_ERROR;
    }
    if (nRemoteSystems >= OVMAXREMOTESYSTEMS) {
        ReadError(
              "LoadConfigurationValues: Too many %s commands, at most %d are kept, command: "
              "%s.",
              "RemoteSystem", OVMAXREMOTESYSTEMS, sWords.sCut.c_str());
        return OVRC_ERROR;
    }
    REMOTESYSTEM &sSystem = asRemoteSystem[nRemoteSystems];
    bool bConnected = false;
    if (ParseRemoteSystem(sWords, sSystem, &bConnected) != OVRC_OK) {
        memset(&sSystem, 0, sizeof(sSystem));
        return OVRC_ERROR;
    }
    /* The record becomes the connected system only once the whole statement is good. */
    if (bConnected) psConnectedSystem = &sSystem;
    nRemoteSystems++;
    return OVRC_OK;
}

int LoadDisplayValue(const DISPLAYKEYWORD &sKeyword, const WORDS &sWords) {
    std::string sValue = sWords.asWord.size() > 1 ? sWords.asWord[1] : "";
    bool bAttribute = sKeyword.eValue == Value::Attribute;
    int nValue = bAttribute ? OVGetAttribute(sValue.c_str()) : OVGetColor(sValue.c_str());
    if (nValue < 0) {
        ReadError(
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
    ConfigError("SaveConfigurationValues: %s value %d is not a colour, written as %s.",
          pszKeyword, nColor, pszFallback);
    return pszFallback;
}

/* The written form of one remote system statement, without its newline. */
std::string SystemLine(const REMOTESYSTEM &sSystem, bool bConnected) {
    std::string sLine = "RemoteSystem ";
    sLine += sSystem.szIP;
    sLine += ' ';
    sLine += sSystem.szPort;
    sLine += ' ';
    sLine += sSystem.szSystemName;
    sLine += ' ';
    sLine += sSystem.szUser;
    for (const STAMPCLAUSE &sClause : asStampClause) {
        const char *pszStamp = sSystem.*sClause.pField;
        if (*pszStamp == '\0') continue;
        sLine += ' ';
        sLine += sClause.pszKeyword;
        sLine += ' ';
        sLine += pszStamp;
    }
    if (bConnected) sLine += " Connected";
    return sLine;
}

/* The written form of one display statement, without its newline. */
std::string DisplayLine(const DISPLAYKEYWORD &sKeyword, int nValue) {
    const char *pszName;
    if (sKeyword.eValue == Value::Attribute)
        pszName = OVATTRIBUTELIT[nValue >= 0 && nValue < 8 ? OVATTRIBUTESUB[nValue] : 0];
    else
        pszName = ColorName(sKeyword.pszKeyword, nValue,
                            sKeyword.eValue == Value::Foreground ? "White" : "Black");
    char szLine[96];
    snprintf(szLine, sizeof(szLine), "%-*sis %s", OVKEYWORDWIDTH, sKeyword.pszKeyword, pszName);
    return szLine;
}

/* The whole file in its normal form: every system, then the eighteen display lines. */
std::string ConfigurationText() {
    std::string sText;
    for (int i = 0; i < nRemoteSystems; i++) {
        const REMOTESYSTEM &sSystem = asRemoteSystem[i];
        bool bConnected =
            psConnectedSystem != nullptr && strcmp(sSystem.szIP, psConnectedSystem->szIP) == 0;
        sText += SystemLine(sSystem, bConnected);
        sText += '\n';
    }
    for (const DISPLAYKEYWORD &sKeyword : asDisplayKeyword) {
        sText += DisplayLine(sKeyword, GroupValue(sKeyword));
        sText += '\n';
    }
    return sText;
}

/* ---- what this program has, and what it had at its last load or save ---------------- */

/* The tables as they stood at one moment; systems in table order. */
struct TABLES {
    int anDisplay[std::size(asDisplayKeyword)] = {};
    std::vector<REMOTESYSTEM> asSystem;
    int nConnected = -1;                 /* index into asSystem, -1: none */
};

TABLES TablesNow() {
    TABLES sTables;
    for (std::size_t k = 0; k < std::size(asDisplayKeyword); k++) {
        /* Values are compared as they are written: an attribute of 0 is written as Bright. */
        int nValue = GroupValue(asDisplayKeyword[k]);
        if (asDisplayKeyword[k].eValue == Value::Attribute && nValue >= 0 && nValue < 8)
            nValue = OVATTRIBUTEID[OVATTRIBUTESUB[nValue]];
        sTables.anDisplay[k] = nValue;
    }
    sTables.asSystem.assign(asRemoteSystem, asRemoteSystem + nRemoteSystems);
    for (int i = 0; i < nRemoteSystems; i++)
        if (psConnectedSystem == &asRemoteSystem[i]) sTables.nConnected = i;
    return sTables;
}

/* The baseline the next save compares with, the path it belongs to, and whether the load
   that made it stopped half way. */
struct BASELINE {
    bool bValid = false;
    bool bIncomplete = false;
    std::string sPath;
    TABLES sTables;
};
BASELINE sBaseline;

void TakeBaseline() {
    sBaseline.bValid = true;
    sBaseline.bIncomplete = false;
    sBaseline.sPath = szOrvikConfFile;
    sBaseline.sTables = TablesNow();
}

bool SameSystem(const REMOTESYSTEM &sOne, const REMOTESYSTEM &sOther) {
    return strcmp(sOne.szIP, sOther.szIP) == 0 &&
           strcmp(sOne.szSystemName, sOther.szSystemName) == 0;
}

/* Which occurrence of its address and name record i is (0 for the first): two records of
   the same address and name are told apart by their order, and by nothing else. */
int Occurrence(const std::vector<REMOTESYSTEM> &asSystem, std::size_t i) {
    int nSeen = 0;
    for (std::size_t j = 0; j < i; j++)
        if (SameSystem(asSystem[j], asSystem[i])) nSeen++;
    return nSeen;
}

int FindSystem(const std::vector<REMOTESYSTEM> &asSystem, const REMOTESYSTEM &sSystem,
               int nOccurrence) {
    for (std::size_t j = 0; j < asSystem.size(); j++)
        if (SameSystem(asSystem[j], sSystem) && nOccurrence-- == 0) return static_cast<int>(j);
    return -1;
}

bool SameRecord(const REMOTESYSTEM &sOne, const REMOTESYSTEM &sOther) {
    return memcmp(&sOne, &sOther, sizeof(sOne)) == 0;
}

/* ---- the file as lines ---------------------------------------------------------------- */

/* A file cut at its newlines. Lines longer than the reader takes are kept but never read. */
struct CONFFILE {
    std::vector<std::string> asLine;     /* without their newlines */
    bool bFinalNewline = true;           /* the last line ends with a newline */
    bool bChanged = false;
};

CONFFILE SplitFile(const std::string &sText) {
    CONFFILE sFile;
    std::size_t nPos = 0;
    while (nPos < sText.size()) {
        std::size_t nEnd = sText.find('\n', nPos);
        if (nEnd == std::string::npos) {
            sFile.asLine.push_back(sText.substr(nPos));
            sFile.bFinalNewline = false;
            break;
        }
        sFile.asLine.push_back(sText.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
    }
    return sFile;
}

std::string JoinFile(const CONFFILE &sFile) {
    std::string sText;
    for (std::size_t i = 0; i < sFile.asLine.size(); i++) {
        sText += sFile.asLine[i];
        if (i + 1 < sFile.asLine.size() || sFile.bFinalNewline) sText += '\n';
    }
    return sText;
}

bool ReadableLine(const std::string &sLine) {
    return sLine.size() <= static_cast<std::size_t>(OVCONFLINE);
}

/* The remote system a line states, when it is a whole and valid statement. Any other line
   is left exactly as it is. */
bool LineSystem(const std::string &sLine, REMOTESYSTEM *psSystem, bool *pbConnected) {
    if (!ReadableLine(sLine)) return false;
    WORDS sWords = SplitLine(sLine);
    if (sWords.asWord.size() < 5 || strcasecmp(sWords.asWord[0].c_str(), "RemoteSystem") != 0)
        return false;
    /* A line some other writer spoiled is reported by the next load, not by every save. */
    bQuiet = true;
    int nRc = ParseRemoteSystem(sWords, *psSystem, pbConnected);
    bQuiet = false;
    return nRc == OVRC_OK;
}

/* Index of the display keyword a line states, or -1. */
int LineKeyword(const std::string &sLine) {
    if (!ReadableLine(sLine)) return -1;
    WORDS sWords = SplitLine(sLine);
    if (sWords.asWord.empty()) return -1;
    for (std::size_t k = 0; k < std::size(asDisplayKeyword); k++)
        if (strcasecmp(sWords.asWord[0].c_str(), asDisplayKeyword[k].pszKeyword) == 0)
            return static_cast<int>(k);
    return -1;
}

/* Line of the file that states the given occurrence of a system, or -1. */
int FindSystemLine(const CONFFILE &sFile, const REMOTESYSTEM &sSystem, int nOccurrence) {
    for (std::size_t i = 0; i < sFile.asLine.size(); i++) {
        REMOTESYSTEM sLineSystem;
        bool bConnected;
        if (LineSystem(sFile.asLine[i], &sLineSystem, &bConnected) &&
            SameSystem(sLineSystem, sSystem) && nOccurrence-- == 0)
            return static_cast<int>(i);
    }
    return -1;
}

void SetLine(CONFFILE &sFile, std::size_t nLine, std::string sText) {
    if (sFile.asLine[nLine] == sText) return;
    sFile.asLine[nLine] = std::move(sText);
    sFile.bChanged = true;
}

void InsertLine(CONFFILE &sFile, std::size_t nLine, std::string sText) {
    /* A last line without its newline gets one when something follows it. */
    if (nLine >= sFile.asLine.size()) {
        nLine = sFile.asLine.size();
        sFile.bFinalNewline = true;
    }
    sFile.asLine.insert(sFile.asLine.begin() + static_cast<std::ptrdiff_t>(nLine),
                        std::move(sText));
    sFile.bChanged = true;
}

/* Where a system new to the file goes: after the one before it in the table, else before
   the first system of the file, else at the top, where the normal form has its systems. */
std::size_t NewSystemPlace(const CONFFILE &sFile, const std::vector<REMOTESYSTEM> &asSystem,
                           std::size_t nIndex) {
    for (std::size_t j = nIndex; j-- > 0;) {
        int nLine = FindSystemLine(sFile, asSystem[j], Occurrence(asSystem, j));
        if (nLine >= 0) return static_cast<std::size_t>(nLine) + 1;
    }
    for (std::size_t i = 0; i < sFile.asLine.size(); i++) {
        REMOTESYSTEM sLineSystem;
        bool bConnected;
        if (LineSystem(sFile.asLine[i], &sLineSystem, &bConnected)) return i;
    }
    return 0;
}

int SystemLines(const CONFFILE &sFile) {
    int nLines = 0;
    REMOTESYSTEM sLineSystem;
    bool bConnected;
    for (const std::string &sLine : sFile.asLine)
        if (LineSystem(sLine, &sLineSystem, &bConnected)) nLines++;
    return nLines;
}

/* Applies to the file what the program changed between sBefore and sNow. A system that
   would make the file hold more than the table can load is left out, into *pasLeftOut. */
void ApplyChanges(CONFFILE &sFile, const TABLES &sBefore, const TABLES &sNow,
                  std::vector<REMOTESYSTEM> *pasLeftOut) {
    const std::vector<REMOTESYSTEM> &asBefore = sBefore.asSystem;
    const std::vector<REMOTESYSTEM> &asNow = sNow.asSystem;

    /* Systems removed: their lines go, the last occurrence first. */
    for (std::size_t i = asBefore.size(); i-- > 0;) {
        int nOccurrence = Occurrence(asBefore, i);
        if (FindSystem(asNow, asBefore[i], nOccurrence) >= 0) continue;
        int nLine = FindSystemLine(sFile, asBefore[i], nOccurrence);
        if (nLine < 0) continue; /* gone already */
        sFile.asLine.erase(sFile.asLine.begin() + nLine);
        sFile.bChanged = true;
    }

    /* Systems changed: only the values this program changed are put into the line as the
       file has it now, so a stamp another program set meanwhile stays. Systems added: a
       line of their own, or the line of the same system another program added meanwhile. */
    for (std::size_t j = 0; j < asNow.size(); j++) {
        const REMOTESYSTEM &sSystem = asNow[j];
        int nOccurrence = Occurrence(asNow, j);
        int nBefore = FindSystem(asBefore, sSystem, nOccurrence);
        if (nBefore >= 0 && SameRecord(asBefore[nBefore], sSystem)) continue;
        int nLine = FindSystemLine(sFile, sSystem, nOccurrence);
        REMOTESYSTEM sFileSystem;
        bool bConnected = false;
        if (nLine >= 0) LineSystem(sFile.asLine[nLine], &sFileSystem, &bConnected);
        if (nBefore >= 0) {
            if (nLine < 0) continue; /* another program removed it: that stands */
            const REMOTESYSTEM &sOld = asBefore[nBefore];
            auto Take = [&](auto pField) {
                if (strcmp(sOld.*pField, sSystem.*pField) != 0)
                    memcpy(sFileSystem.*pField, sSystem.*pField, sizeof(sSystem.*pField));
            };
            Take(&REMOTESYSTEM::szPort);
            Take(&REMOTESYSTEM::szUser);
            for (const STAMPCLAUSE &sClause : asStampClause) Take(sClause.pField);
            SetLine(sFile, static_cast<std::size_t>(nLine), SystemLine(sFileSystem, bConnected));
        } else if (nLine >= 0) {
            SetLine(sFile, static_cast<std::size_t>(nLine), SystemLine(sSystem, bConnected));
        } else if (SystemLines(sFile) >= OVMAXREMOTESYSTEMS) {
            pasLeftOut->push_back(sSystem);
        } else {
            InsertLine(sFile, NewSystemPlace(sFile, asNow, j), SystemLine(sSystem, false));
        }
    }

    /* The connected system: when this program chose another one (or none), it is the only
       line marked, whatever the file marked before. */
    auto ConnectedOf = [](const TABLES &sTables, int *pnOccurrence) -> const REMOTESYSTEM * {
        if (sTables.nConnected < 0) return nullptr;
        std::size_t n = static_cast<std::size_t>(sTables.nConnected);
        *pnOccurrence = Occurrence(sTables.asSystem, n);
        return &sTables.asSystem[n];
    };
    int nOccurrenceBefore = 0, nOccurrenceNow = 0;
    const REMOTESYSTEM *psBefore = ConnectedOf(sBefore, &nOccurrenceBefore);
    const REMOTESYSTEM *psNow = ConnectedOf(sNow, &nOccurrenceNow);
    bool bSame = psBefore == nullptr
                     ? psNow == nullptr
                     : psNow != nullptr && SameSystem(*psBefore, *psNow) &&
                           nOccurrenceBefore == nOccurrenceNow;
    if (!bSame) {
        int nTarget = psNow != nullptr ? FindSystemLine(sFile, *psNow, nOccurrenceNow) : -1;
        for (std::size_t i = 0; i < sFile.asLine.size(); i++) {
            REMOTESYSTEM sLineSystem;
            bool bConnected;
            if (!LineSystem(sFile.asLine[i], &sLineSystem, &bConnected)) continue;
            bool bWanted = static_cast<int>(i) == nTarget;
            if (bConnected != bWanted) SetLine(sFile, i, SystemLine(sLineSystem, bWanted));
        }
    }

    /* Display values: the line that decides (the last one) is rewritten, or one is added. */
    for (std::size_t k = 0; k < std::size(asDisplayKeyword); k++) {
        if (sBefore.anDisplay[k] == sNow.anDisplay[k]) continue;
        int nLast = -1;
        for (std::size_t i = 0; i < sFile.asLine.size(); i++)
            if (LineKeyword(sFile.asLine[i]) == static_cast<int>(k)) nLast = static_cast<int>(i);
        std::string sLine = DisplayLine(asDisplayKeyword[k], sNow.anDisplay[k]);
        if (nLast >= 0)
            SetLine(sFile, static_cast<std::size_t>(nLast), std::move(sLine));
        else
            InsertLine(sFile, sFile.asLine.size(), std::move(sLine));
    }
}

/* ---- the file on disk ------------------------------------------------------------------ */

/* The file a save replaces: config.ini itself, or, when it is a symbolic link (dotfiles kept
   elsewhere), the file it leads to, so that the link stays. */
std::string FileToReplace(const char *pszPath) {
    std::string sPath = pszPath;
    for (int nHops = 0; nHops < 40; nHops++) {
        struct stat sLink;
        if (lstat(sPath.c_str(), &sLink) != 0 || !S_ISLNK(sLink.st_mode)) return sPath;
        char szTarget[PATH_MAX];
        ssize_t n = readlink(sPath.c_str(), szTarget, sizeof(szTarget) - 1);
        if (n < 0) return sPath;
        szTarget[n] = '\0';
        if (szTarget[0] == '/') {
            sPath = szTarget;
        } else {
            std::size_t nSlash = sPath.rfind('/');
            sPath = (nSlash == std::string::npos ? std::string() : sPath.substr(0, nSlash + 1)) +
                    szTarget;
        }
    }
    return sPath;
}

/* Reads the whole file into *psText: only a regular file of this user's (or root's), opened
   without blocking, so a FIFO or a device at the name is refused, never waited on. A link is
   followed to its target, as a save does. 0; ENOENT when there is none; EFBIG for a file too
   large to be a configuration; EPERM with *ppszRefusal set for what may not be read; another
   errno value. */
int ReadWholeFile(const char *pszPath, std::string *psText, const char **ppszRefusal) {
    psText->clear();
    *ppszRefusal = nullptr;
    const std::string sTarget = FileToReplace(pszPath);
    int fd = open(sTarget.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) *ppszRefusal = "a symbolic link";
    if (fd < 0) return *ppszRefusal != nullptr ? EPERM : errno;
    struct stat sFile;
    if (fstat(fd, &sFile) != 0) {
        int nError = errno;
        close(fd);
        return nError;
    }
    if (S_ISDIR(sFile.st_mode)) {
        close(fd);
        return EISDIR;
    }
    if (!S_ISREG(sFile.st_mode))
        *ppszRefusal = "not a regular file";
    else if (sFile.st_uid != geteuid() && sFile.st_uid != 0)
        *ppszRefusal = "another user's file";
    if (*ppszRefusal != nullptr) {
        close(fd);
        return EPERM;
    }
    char achBuffer[8192];
    for (;;) {
        ssize_t n = read(fd, achBuffer, sizeof(achBuffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int nError = errno;
            close(fd);
            return nError;
        }
        if (n == 0) break;
        psText->append(achBuffer, static_cast<std::size_t>(n));
        if (static_cast<long>(psText->size()) > OVCONFMAXBYTES) {
            close(fd);
            return EFBIG;
        }
    }
    close(fd);
    return 0;
}

/* Logs why the file could not be read; always 8. */
int UnreadableFile(const char *pszCaller, int nError, const char *pszRefusal,
                   const char *pszAfter) {
    if (pszRefusal != nullptr)
        return ConfigError("%s: Unable to read configuration file: %s: it is %s%s.", pszCaller,
                           szOrvikConfFile, pszRefusal, pszAfter);
    return ConfigError("%s: Unable to read configuration file: %s, errno: %d%s.", pszCaller,
                       szOrvikConfFile, nError, pszAfter);
}

/* A POSIX record lock on "<config.ini>.lock", held while the object lives: exclusive for a
   save, which makes the lock file; shared for a load, which only uses one that is there, so
   that a program that only reads leaves nothing behind. Without a usable lock file (a folder
   that is not ours to write) the work goes on unlocked: the file is still replaced
   atomically. A lock another program keeps longer than OVCONFLOCKWAIT seconds is not waited
   for: the caller fails with a sentence that names the holder, which the kernel reports for
   record locks. */
class ConfigLock {
  public:
    ConfigLock(const char *pszConfigFile, bool bExclusive, const char *pszCaller) {
        std::string sLock = std::string(pszConfigFile) + ".lock";
        /* Never blocking on the open: a FIFO at the name must not stop the program. */
        if (bExclusive)
            fd = open(sLock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      0600);
        else
            fd = open(sLock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat sFound;
        if (fd >= 0 && (fstat(fd, &sFound) != 0 || !S_ISREG(sFound.st_mode))) {
            close(fd);
            fd = -1;
            errno = EINVAL;
        }
        if (fd < 0) {
            if (bDebug && bExclusive)
                OVLog(OVLOG_DEBUG, "%s: Saving without the lock file %s: %s.", pszCaller,
                      sLock.c_str(), strerror(errno));
            return;
        }
        struct flock sWanted {};
        sWanted.l_type = bExclusive ? F_WRLCK : F_RDLCK;
        sWanted.l_whence = SEEK_SET;
        struct timespec sStart;
        clock_gettime(CLOCK_MONOTONIC, &sStart);
        for (;;) {
            if (fcntl(fd, F_SETLK, &sWanted) == 0) {
                bHeld = true;
                clock_gettime(CLOCK_REALTIME, &sTaken);
                return;
            }
            if (errno != EACCES && errno != EAGAIN && errno != EINTR) return; /* unlocked */
            struct timespec sNow;
            clock_gettime(CLOCK_MONOTONIC, &sNow);
            if (sNow.tv_sec - sStart.tv_sec >= OVCONFLOCKWAIT) break;
            struct timespec sPause = {0, 20 * 1000 * 1000};
            nanosleep(&sPause, nullptr);
        }
        bTimedOut = true;
        struct flock sHolder = sWanted;
        std::string sWho = "another program";
        if (fcntl(fd, F_GETLK, &sHolder) == 0 && sHolder.l_type != F_UNLCK && sHolder.l_pid > 0)
            sWho = "process " + std::to_string(sHolder.l_pid) + " (" +
                   ProgramOf(sHolder.l_pid) + ")";
        ConfigError("%s: Gave up after %d seconds waiting for %s, locked by %s.", pszCaller,
                    OVCONFLOCKWAIT, sLock.c_str(), sWho.c_str());
    }
    ~ConfigLock() {
        if (fd >= 0) close(fd); /* closing gives the lock up */
    }
    ConfigLock(const ConfigLock &) = delete;
    ConfigLock &operator=(const ConfigLock &) = delete;

    bool Held() const { return bHeld; }
    bool TimedOut() const { return bTimedOut; }
    /* When the lock was taken, by the clock files are stamped with. */
    const struct timespec &Taken() const { return sTaken; }

  private:
    /* The name a process runs under, or "unknown" once it has gone. */
    static std::string ProgramOf(pid_t nPid) {
        std::string sComm;
        std::string sPath = "/proc/" + std::to_string(nPid) + "/comm";
        int fdComm = open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fdComm >= 0) {
            char szName[64];
            ssize_t n = read(fdComm, szName, sizeof(szName) - 1);
            close(fdComm);
            if (n > 0) sComm.assign(szName, static_cast<std::size_t>(n));
        }
        while (!sComm.empty() && sComm.back() == '\n') sComm.pop_back();
        return sComm.empty() ? "unknown" : sComm;
    }

    int fd = -1;
    bool bHeld = false;
    bool bTimedOut = false;
    struct timespec sTaken {};
};

/* Removes what saves that never ended left beside sTarget: "<name>.XXXXXX", a plain file of
   this user's, last written before this save took the lock. Every save writes its file only
   while it holds the lock, so such a file belongs to no save that is still running. */
void RemoveLeftovers(const std::string &sTarget, const struct timespec &sLockTaken) {
    std::size_t nSlash = sTarget.rfind('/');
    const std::string sFolder = nSlash == std::string::npos ? "." : sTarget.substr(0, nSlash);
    const std::string sPrefix = sTarget.substr(nSlash == std::string::npos ? 0 : nSlash + 1) + ".";
    std::unique_ptr<DIR, int (*)(DIR *)> pFolder(opendir(sFolder.c_str()), closedir);
    if (pFolder == nullptr) return;
    while (const struct dirent *psEntry = readdir(pFolder.get())) {
        const std::string sName = psEntry->d_name;
        if (sName.size() != sPrefix.size() + 6 || sName.compare(0, sPrefix.size(), sPrefix) != 0)
            continue;
        bool bTemplate = true;
        for (std::size_t i = sPrefix.size(); i < sName.size(); i++)
            if (!isalnum(static_cast<unsigned char>(sName[i]))) bTemplate = false;
        struct stat sFound;
        if (!bTemplate ||
            fstatat(dirfd(pFolder.get()), sName.c_str(), &sFound, AT_SYMLINK_NOFOLLOW) != 0 ||
            OVRefusedEntry(sFound) != nullptr)
            continue;
        const struct timespec &sWritten = sFound.st_mtim;
        if (sWritten.tv_sec > sLockTaken.tv_sec ||
            (sWritten.tv_sec == sLockTaken.tv_sec && sWritten.tv_nsec >= sLockTaken.tv_nsec))
            continue;
        if (unlinkat(dirfd(pFolder.get()), sName.c_str(), 0) == 0)
            OVLog(OVLOG_WARNING, "SaveConfigurationValues: Removed %s/%s, left by a save that "
                  "did not end.", sFolder.c_str(), sName.c_str());
    }
}

/* The sentence the last failed save logged, and whether it failed only for want of room for
   the systems it would add. */
std::string sSaveFailure;
bool bSaveFull = false;

/* The sentence the last failed load logged; empty after a good one. */
std::string sLoadFailure;

int FailLoad() {
    sLoadFailure = !sLastError.empty() ? sLastError : "the file cannot be read.";
    sBaseline.bValid = false;
    sBaseline.bIncomplete = true;
    sBaseline.sPath = szOrvikConfFile;
    return OVTraceEnd("LoadConfigurationValues", OVRC_ERROR);
}

/* Writes the text over the file (its target when it is a link); 0 or 8 after logging. */
int WriteConfigFile(const std::string &sText) {
    std::string sTarget = FileToReplace(szOrvikConfFile);
    int nError = OVReplaceFile(sTarget.c_str(), sText, 0600);
    if (nError != 0) {
        ConfigError(
              "SaveConfigurationValues: Unable to create or update configuration file: %s.\n",
              szOrvikConfFile);
        return OVRC_ERROR;
    }
    return OVRC_OK;
}

} // namespace

int LoadConfigurationValues() {
    OVTraceStart("LoadConfigurationValues", "ORVIKDIR: %s.",
                 getenv("ORVIKDIR") ? getenv("ORVIKDIR") : "(not set)");
    nRemoteSystems = 0;
    psConnectedSystem = nullptr; /* only a "Connected" clause of this file sets it again */
    sLoadFailure.clear();
    sLastError.clear();
    if (WorkOutPath("LoadConfigurationValues") != OVRC_OK) return FailLoad();

    std::string sText;
    int nError;
    const char *pszRefusal = nullptr;
    {
        ConfigLock sLock(szOrvikConfFile, false, "LoadConfigurationValues");
        if (sLock.TimedOut()) return FailLoad();
        nError = ReadWholeFile(szOrvikConfFile, &sText, &pszRefusal);
    }
    if (nError == ENOENT) {
        OVLog(OVLOG_DEBUG,
              "LoadConfigurationValues: Orvik Configuration: %s not found at startup. Setting "
              "to initial load.\n",
              szOrvikConfFile);
        /* Nothing was read: the save that follows finds no file and writes the values in
           memory, or, if another program has just made one, leaves that alone. */
        TakeBaseline();
        int nRc = SaveConfigurationValues();
        if (nRc != OVRC_OK) sLoadFailure = sLastError;
        return OVTraceEnd("LoadConfigurationValues", nRc);
    }
    if (nError != 0) {
        /* A file that exists but cannot be read must not be replaced by the values in memory. */
        UnreadableFile("LoadConfigurationValues", nError, pszRefusal, "");
        return FailLoad();
    }

    CONFFILE sFile = SplitFile(sText);
    for (std::size_t i = 0; i < sFile.asLine.size(); i++) {
        const std::string &sLine = sFile.asLine[i];
        if (!ReadableLine(sLine)) {
            /* Cut into pieces, its tail would read as a line of its own. */
            ConfigError("LoadConfigurationValues: Line %zu of %s is longer than %d "
                  "characters and is ignored: %.40s...", i + 1, szOrvikConfFile, OVCONFLINE,
                  sLine.c_str());
            continue;
        }
        WORDS sWords = SplitLine(sLine);
        if (sWords.asWord.empty()) continue;
        if (LoadStatement(sWords) != OVRC_OK) return FailLoad();
    }
    TakeBaseline();
    return OVTraceEnd("LoadConfigurationValues", OVRC_OK);
}

int SaveConfigurationValues() {
    OVTraceStart("SaveConfigurationValues", "nRemoteSystems: %d.", nRemoteSystems);
    if (WorkOutPath("SaveConfigurationValues") != OVRC_OK)
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    /* Tables that a failed load left half filled would drop whatever followed the bad line. */
    if (sBaseline.bIncomplete && sBaseline.sPath == szOrvikConfFile) {
        /* The load said what is wrong with the file; keeping it is no new error. */
        OVLog(OVLOG_DEBUG, "SaveConfigurationValues: The last load of the configuration file "
              "failed; %s is left as it is.", szOrvikConfFile);
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    }

    TABLES sNow = TablesNow();
    sSaveFailure.clear();
    bSaveFull = false;
    sLastError.clear();
    ConfigLock sLock(szOrvikConfFile, true, "SaveConfigurationValues");
    if (sLock.TimedOut()) {
        sSaveFailure = sLastError;
        return OVTraceEnd("SaveConfigurationValues", OVRC_ERROR);
    }
    if (sLock.Held()) RemoveLeftovers(FileToReplace(szOrvikConfFile), sLock.Taken());
    std::string sText;
    const char *pszRefusal = nullptr;
    int nError = ReadWholeFile(szOrvikConfFile, &sText, &pszRefusal);
    int nRc = OVRC_OK;
    std::vector<REMOTESYSTEM> asLeftOut;
    if (nError != 0 && nError != ENOENT) {
        /* Whatever is there and cannot be read is not replaced. */
        nRc = UnreadableFile("SaveConfigurationValues", nError, pszRefusal,
                             "; it is left as it is");
    } else if (nError == ENOENT || !sBaseline.bValid || sBaseline.sPath != szOrvikConfFile) {
        /* A new file, or tables that were not read from this one: the whole normal form. */
        nRc = WriteConfigFile(ConfigurationText());
    } else {
        CONFFILE sFile = SplitFile(sText);
        ApplyChanges(sFile, sBaseline.sTables, sNow, &asLeftOut);
        if (sFile.bChanged)
            nRc = WriteConfigFile(JoinFile(sFile));
        else if (bDebug)
            OVLog(OVLOG_DEBUG, "SaveConfigurationValues: Nothing changed since the last load, "
                  "%s is not rewritten.", szOrvikConfFile);
    }
    if (nRc == OVRC_OK && !asLeftOut.empty()) {
        /* Another program filled the file meanwhile. The systems left out count as saved, so
           that no later save tries them again; the next load shows the file as it is. */
        const REMOTESYSTEM &sFirst = asLeftOut.front();
        ConfigError("SaveConfigurationValues: %s holds %d remote systems already, the most it "
                    "may; %s (%s) is not added.", szOrvikConfFile, OVMAXREMOTESYSTEMS,
                    sFirst.szSystemName, sFirst.szIP);
        TakeBaseline();
        bSaveFull = true;
        nRc = OVRC_ERROR;
    } else if (nRc == OVRC_OK) {
        TakeBaseline();
    }
    if (nRc != OVRC_OK) sSaveFailure = sLastError;
    return OVTraceEnd("SaveConfigurationValues", nRc);
}

namespace {

/* A logged sentence as a box says it: without the function's name and the line's end. */
std::string WithoutPrefix(std::string_view sSentence) {
    for (std::string_view sPrefix : {"LoadConfigurationValues: ", "SaveConfigurationValues: ",
                                     "apachWorksub[0]: "})
        if (sSentence.substr(0, sPrefix.size()) == sPrefix) sSentence.remove_prefix(sPrefix.size());
    while (!sSentence.empty() && (sSentence.back() == '\n' || sSentence.back() == ' '))
        sSentence.remove_suffix(1);
    return std::string(sSentence);
}

} // namespace

std::string OVConfigurationFailure() {
    if (sLoadFailure.empty()) return "";
    return std::string("Configuration ") + szOrvikConfFile + " not loaded: " +
           WithoutPrefix(sLoadFailure);
}

std::string OVConfigurationSaveFailure(bool *pbFull) {
    if (pbFull != nullptr) *pbFull = bSaveFull;
    return WithoutPrefix(sSaveFailure);
}
