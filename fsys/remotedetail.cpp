/*
 * remotedetail.cpp - the detail page of a file on the connected system, taken from that
 * system's stat output and written straight onto the screen; Copy brings a regular file to
 * /tmp and opens the copy in vi. A file already at that name is replaced only after a Yes,
 * and only once the copy has arrived whole.
 */
#include "orvikfsys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

const char szDetailTitle[] = "Orvik File Details";
constexpr int nCommandOutputSize = 32767;
constexpr std::size_t nMaxStatError = 512;  /* characters of the remote error text logged */
constexpr std::size_t nMaxCopyName = 252;

/* Where the value after a label ends. */
enum STATEND {
    END_NEXTBLANK,       /* at the next blank after the label                          */
    END_SECONDBLANK,     /* at the next blank after the label's following blank        */
    END_BEFORE,          /* one character before the following pszBefore label         */
    END_LINE,            /* at the end of the label's line                             */
    END_LINE_TRIMMED,    /* the same, trailing blanks dropped                          */
    END_TIME             /* date and time to the second after an 8-character label     */
};

struct STATLABEL {
    const char *pszLabel;
    STATEND eEnd;
    const char *pszBefore;  /* END_BEFORE only */
    int nRow;
    int nColumn;            /* from the margin */
    const char *pszShown;   /* END_TIME: the label written instead */
};

/* Every label but "File: " is searched below the first line, which holds the file name
   and so may hold any text at all. "Access: 20" is the access time, not the permissions. */
constexpr STATLABEL asStatLabel[] = {
    {"Size: ", END_NEXTBLANK, nullptr, 7, 17, nullptr},
    {"Blocks: ", END_NEXTBLANK, nullptr, 7, 41, nullptr},
    {"IO Block:", END_SECONDBLANK, nullptr, 7, 60, nullptr},
    {"Device: ", END_BEFORE, "Inode:", 9, 15, nullptr},
    {"Inode: ", END_NEXTBLANK, nullptr, 9, 42, nullptr},
    {"Links: ", END_LINE, nullptr, 5, 63, nullptr},
    {"Access: ", END_NEXTBLANK, nullptr, 11, 15, nullptr},
    {"Uid: ", END_BEFORE, "Gid:", 11, 44, nullptr},
    {"Gid: ", END_LINE, nullptr, 12, 44, nullptr},
    {"Context:", END_LINE_TRIMMED, nullptr, 14, 14, nullptr},
    {"Access: 20", END_TIME, nullptr, 16, 14, "Last Access: "},
    {"Modify: ", END_TIME, nullptr, 17, 14, "Last Modify: "},
    {"Change:", END_TIME, nullptr, 18, 14, "Last Change: "},
};
constexpr int nFileRow = 3, nFileColumn = 17, nFileValueStep = 6;
constexpr int nTypeRow = 5, nTypeColumn = 17;
constexpr std::size_t nTimeLabel = 8, nTimeValue = 19;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t LineEnd(std::string_view sText, std::size_t nFrom)
{
    std::size_t nEnd = sText.find('\n', nFrom);
    return nEnd == std::string_view::npos ? sText.size() : nEnd;
}

std::size_t NextBlank(std::string_view sText, std::size_t nFrom)
{
    while (nFrom < sText.size() && !IsBlank(sText[nFrom]) && sText[nFrom] != '\n') ++nFrom;
    return nFrom;
}

std::string_view TrimmedRight(std::string_view sText)
{
    while (!sText.empty() && IsBlank(sText.back())) sText.remove_suffix(1);
    return sText;
}

/* The file name of the first line: a quote is dropped only where stat put one. */
std::string_view FileNameValue(std::string_view sValue)
{
    if (sValue.size() >= 2 && sValue.front() == '\'' && sValue.back() == '\'')
        return sValue.substr(1, sValue.size() - 2);
    return sValue;
}

const DISPLAYATTRIBUTES &Group(int nGroup) { return asOVDisplayAttributes[nGroup]; }

/* Writes text at a place of the page in a group's colours, cut with "~" at the panel's right
   edge; control characters show as "?". */
void WriteAt(int nRow, int nColumn, std::string_view sText, int nGroup)
{
    if (nRow < 1 || nColumn < 1 || nColumn > psPabi->nColumns) return;
    const std::string sShown = ScreenText(sText, psPabi->nColumns - nColumn + 1, false);
    const DISPLAYATTRIBUTES &sGroup = Group(nGroup);
    OVSetAttribute(sGroup.nAttribute);
    OVSetColor(sGroup.nForegroundColor, sGroup.nBackgroundColor);
    SetPosition(nRow, nColumn);
    WriteString(sShown.c_str());
}

struct StatFiles {
    char szOut[FSPATHSIZE];
    char szErr[FSPATHSIZE];
    StatFiles()
    {
        std::snprintf(szOut, sizeof szOut, "/tmp/Orvikfsys.%d.%d.Stat.txt", nMyPid, nFileSequence);
        std::snprintf(szErr, sizeof szErr, "/tmp/Orvikfsys.%d.%d.StatError.txt", nMyPid,
                      nFileSequence);
        OVRegisterTempFile(szOut); /* removed by an abnormal end meanwhile too */
        OVRegisterTempFile(szErr);
    }
    ~StatFiles()
    {
        OVForgetTempFile(szOut);
        OVForgetTempFile(szErr);
        unlink(szOut);
        unlink(szErr);
    }
};

std::string ReadText(const char *pszPath, std::size_t nMax)
{
    std::ifstream sFile(pszPath, std::ios::binary);
    std::string sText;
    std::istreambuf_iterator<char> it(sFile), end;
    for (; it != end && sText.size() < nMax; ++it) sText += *it;
    return sText;
}

/* Runs stat on the connected system. Its standard output and error come back into files
   of our own, so that a failing stat can be told apart and its reason logged. */
int RunRemoteStat(const char *pszPath, std::string *psOutput)
{
    StatFiles sFiles;
    std::unique_ptr<char[]> pOutput(new char[nCommandOutputSize]());
    const std::string sCommand = "stat " + OVShellWord(pszPath);
    const std::string sStep = "Reading the details of " + std::string(pszPath);
    OVRemoteStepName sName(sStep.c_str());
    std::string sReason;
    int nRc = ExecuteRemoteCommand(psConnectedSystem, sCommand.c_str(), pOutput.get(),
                                   nCommandOutputSize, sFiles.szOut, sFiles.szErr, &sReason);
    /* Cancelled, or the link failed (which the library has logged): nothing to read. */
    if (nRc == OVRC_CMDFAILED)
        OVShowFailure(OVRemoteFailureText(psConnectedSystem, sReason).c_str(), false);
    if (nRc == OVRC_CANCELLED || nRc == OVRC_CMDFAILED) return nRc;
    *psOutput = ReadText(sFiles.szOut, nCommandOutputSize - 1);
    if (nRc == OVRC_OK && psOutput->empty()) nRc = OVRC_CMDFAILED;
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR,
              "orvikfsys Do_Remote_Detail_Values: Unable to execute Remote stat command, "
              "return: %d.",
              nRc);
        std::string sError = ReadText(sFiles.szErr, nMaxStatError);
        OVLog(OVLOG_ERROR, "orvikfsys Do_Remote_Detail_Values: Remote stat of %.300s: %s",
              pszPath, sError.empty() ? "no output came back from the remote system" : sError.c_str());
        std::string sFirst = sError.substr(0, sError.find('\n'));
        if (sFirst.empty()) sFirst = "No details came back for " + std::string(pszPath) + ".";
        *psOutput = sFirst;
    }
    return nRc;
}

/* The message and confirmation boxes of Copy: the detail panel is gone by then, so a
   plain panel is made for them and deleted again. Names show as ScreenText shows them. */
class CopyBoxes {
  public:
    CopyBoxes() : psPanel(CreateBrowserPanel("orvikfsys DoCopyFile")) {}
    ~CopyBoxes()
    {
        if (psPanel != nullptr) OVDeletePanel(psPanel);
    }
    CopyBoxes(const CopyBoxes &) = delete;
    CopyBoxes &operator=(const CopyBoxes &) = delete;
    void Show(int nType, const std::string &sMessage)
    {
        if (psPanel != nullptr) OVShowBox(psPanel, nType, sMessage);
    }
    /* "<name> exists. Replace it?", the name cut so that the question stays whole. */
    bool ConfirmReplace(const std::string &sName)
    {
        if (psPanel == nullptr) return false;
        const std::string sQuestion = " exists. Replace it?";
        const int nNameRoom = std::max(Room() - static_cast<int>(sQuestion.size()), 1);
        const std::string sShown = ScreenText(sName, nNameRoom, false) + sQuestion;
        int bYes = 0;
        return CreateConfirmBoxi(psPanel, sShown.c_str(), Row(), 3, Width(), &bYes) == OVRC_OK &&
               bYes != 0;
    }

  private:
    int Row() const { return psPanel->nRows > 16 ? psPanel->nRows / 2 - 4 : 1; }
    int Width() const { return psPanel->nColumns - 4; }
    int Room() const { return std::max(Width() - 5, 1); } /* inside the frame, as the box cuts */
    PABI *psPanel;
};

/* Says in a box that Copy was refused or failed, after logging it unless the library
   already has (a failed or refused link); the page's code stays 0. */
void CopyFailed(const char *pszPath, const std::string &sWhy, bool bLogged = false)
{
    if (!bLogged)
        OVLog(OVLOG_ERROR, "orvikfsys DoCopyFile: Unable to copy %.300s: %s.", pszPath,
              sWhy.c_str());
    CopyBoxes().Show(OVLOG_ERROR, "Not copied, " + sWhy);
}

/* What the remote fetch ends with when the file is no longer a regular file of its own. */
constexpr int nNotRegularStatus = 3;

}  // namespace

/* Fetches the remote file into the local file pszInto through ssh: the remote shell checks
   right before reading that the name is still a regular file and not a link, so a file
   swapped after its page was shown is not read. The exit code of the fetch, or -1 when it
   was cancelled or its link failed (*pnStep tells which, and *psReason ssh's reason). */
int FetchRemoteFile(const char *pszPath, const std::string &sInto, int *pnStep,
                    std::string *psReason)
{
    const REMOTESYSTEM &sSystem = *psConnectedSystem;
    const std::string sWord = OVShellWord(pszPath);
    const std::string sRemote = "test -f " + sWord + " && test ! -L " + sWord + " || exit " +
                                std::to_string(nNotRegularStatus) + "; exec cat " + sWord;
    OVSSHCALL sCall;
    sCall.pszStep = "orvikfsys DoCopyFile";
    sCall.bQuiet = true;
    sCall.bNoInput = true;
    std::string sLine;
    if (OVSshLine(&sSystem, sCall, OVShellQuote(sRemote), &sLine, psReason) != OVRC_OK) {
        *pnStep = OVRC_ERROR;
        return -1;
    }
    sLine += " > " + OVShellWord(sInto) + "; exit $?";
    if (bDebug) OVLog(OVLOG_DEBUG, "orvikfsys DoCopyFile: Command line: %s.", sLine.c_str());
    const std::string sStep = "Copying " + std::string(pszPath);
    OVRemoteStepName sName(sStep.c_str());
    int nExit = -1;
    *pnStep = OVRunRemoteStep(&sSystem, sLine, psReason, &nExit);
    return *pnStep == OVRC_OK ? nExit : -1;
}

std::vector<STATTEXT> ParseRemoteStat(std::string_view sOutput, int nMargin, int *pbRegular)
{
    std::vector<STATTEXT> asText;
    *pbRegular = 0;
    std::size_t nBody = 0;
    std::size_t nFile = sOutput.find("File: ");
    if (nFile != std::string_view::npos) {
        std::size_t nEnd = LineEnd(sOutput, nFile);
        std::string_view sValue = TrimmedRight(sOutput.substr(nFile + 6, nEnd - nFile - 6));
        asText.push_back({nFileRow, nMargin + nFileColumn, std::string(FileNameValue(sValue)),
                          true});
        nBody = nEnd;
    } else {
        nBody = LineEnd(sOutput, 0);
    }

    for (const STATLABEL &sLabel : asStatLabel) {
        std::size_t nAt = sOutput.find(sLabel.pszLabel, nBody);
        if (nAt == std::string_view::npos) continue;
        const std::size_t nAfter = nAt + std::strlen(sLabel.pszLabel);
        const std::size_t nLineEnd = LineEnd(sOutput, nAt);
        std::size_t nEnd = nLineEnd;
        switch (sLabel.eEnd) {
        case END_NEXTBLANK:
            nEnd = NextBlank(sOutput, nAfter);
            break;
        case END_SECONDBLANK:
            nEnd = NextBlank(sOutput, nAfter < nLineEnd ? nAfter + 1 : nAfter);
            break;
        case END_BEFORE: {
            std::size_t nNext = sOutput.substr(0, nLineEnd).find(sLabel.pszBefore, nAfter);
            if (nNext != std::string_view::npos) nEnd = nNext > nAfter ? nNext - 1 : nAfter;
            break;
        }
        case END_LINE:
            break;
        case END_LINE_TRIMMED:
            nEnd = nAt + TrimmedRight(sOutput.substr(nAt, nLineEnd - nAt)).size();
            break;
        case END_TIME:
            nEnd = std::min(nAt + nTimeLabel + nTimeValue, nLineEnd);
            break;
        }
        if (nEnd < nAt) nEnd = nAt;
        std::string sText;
        if (sLabel.eEnd == END_TIME) {
            std::size_t nValue = std::min(nAt + nTimeLabel, nEnd);
            sText = std::string(sLabel.pszShown) + std::string(sOutput.substr(nValue, nEnd - nValue));
        } else {
            sText = std::string(sOutput.substr(nAt, nEnd - nAt));
        }
        asText.push_back({sLabel.nRow, nMargin + sLabel.nColumn, sText, false});

        if (sLabel.eEnd == END_SECONDBLANK) {
            /* The file type is the rest of the "IO Block:" line. */
            std::size_t nType = nEnd;
            while (nType < nLineEnd && IsBlank(sOutput[nType])) ++nType;
            std::string_view sType = TrimmedRight(sOutput.substr(nType, nLineEnd - nType));
            asText.push_back({nTypeRow, nMargin + nTypeColumn, "Type: " + std::string(sType),
                              false});
            if (sType == "regular file") *pbRegular = 1;
        }
    }
    return asText;
}

int Reformat_Detail_Field(const char *pszText, int nRow, int nColumn)
{
    OVTraceStart("orvikfsys Reformat_Detail_Field", "pszText: %s, nRow: %d, nColumn: %d.",
                 pszText, nRow, nColumn);
    std::string_view sText(pszText);
    std::size_t nColon = sText.find(':');
    if (nColon == std::string_view::npos) {
        WriteAt(nRow, nColumn, sText, OVDG_PANEL);
        return OVTraceEnd("orvikfsys Reformat_Detail_Field", OVRC_OK);
    }
    std::string_view sLabel = sText.substr(0, nColon + 1);
    WriteAt(nRow, nColumn, sLabel, OVDG_PANEL);
    if (nColon + 2 < sText.size())
        WriteAt(nRow, nColumn + static_cast<int>(sLabel.size()) + 1, sText.substr(nColon + 2),
                OVDG_FIELD);
    return OVTraceEnd("orvikfsys Reformat_Detail_Field", OVRC_OK);
}

int Do_Remote_Detail_Fields(const char *pszOutput, int *pbRegular)
{
    OVTraceStart("orvikfsys Do_Remote_Detail_Fields", "pbRegular: %p.",
                 static_cast<void *>(pbRegular));
    for (const STATTEXT &sText : ParseRemoteStat(pszOutput, OVLayoutMargin(psPabi), pbRegular)) {
        if (sText.bFileName) {
            WriteAt(sText.nRow, sText.nColumn, "File:", OVDG_PANEL);
            WriteAt(sText.nRow, sText.nColumn + nFileValueStep, sText.sText, OVDG_FIELD);
        } else {
            Reformat_Detail_Field(sText.sText.c_str(), sText.nRow, sText.nColumn);
        }
    }
    return OVTraceEnd("orvikfsys Do_Remote_Detail_Fields", OVRC_OK);
}

int DoCopyFile(const char *pszPath)
{
    OVTraceStart("orvikfsys DoCopyFile", "pszPath: %s.", pszPath);
    std::string_view sPath(pszPath);
    std::string_view sName = sPath.substr(sPath.rfind('/') + 1);
    sName = sName.substr(0, OVUtf8Prefix(sName, nMaxCopyName));
    const REMOTESYSTEM &sSystem = *psConnectedSystem;
    if (sName.empty() || sSystem.szUser[0] == '-' || sSystem.szIP[0] == '-' ||
        sSystem.szPort[0] == '-') {
        OVLog(OVLOG_ERROR, "orvikfsys DoCopyFile: Unable to copy %.300s from %.32s.", pszPath,
              sSystem.szIP);
        return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
    }
    const std::string sLocal = "/tmp/" + std::string(sName);

    /* Whatever sits at the name is left alone unless it is a file of the user's own and the
       user says it may be replaced. */
    struct stat sTaken {};
    const bool bTaken = lstat(sLocal.c_str(), &sTaken) == 0;
    if (!bTaken && errno != ENOENT) {
        CopyFailed(pszPath, std::string(std::strerror(errno)) + ": " + sLocal);
        return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
    }
    if (bTaken) {
        if (const char *pszRefused = OVRefusedEntry(sTaken)) {
            OVLog(OVLOG_ERROR, "orvikfsys DoCopyFile: Refusing to copy %.300s to %.300s: it is %s.",
                  pszPath, sLocal.c_str(), pszRefused);
            CopyBoxes().Show(OVLOG_ERROR, "Not copied, " + std::string(pszRefused) + ": " + sLocal);
            return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
        }
        if (!CopyBoxes().ConfirmReplace(sLocal)) {
            if (bDebug) OVLog(OVLOG_DEBUG, "orvikfsys DoCopyFile: %s kept.", sLocal.c_str());
            return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
        }
    }

    /* The copy arrives in a private file of its own and takes the name only once whole: a
       failed copy removes that file and nothing else. */
    std::string sTemp = "/tmp/Orvikfsys." + std::to_string(nMyPid) + ".Copy.XXXXXX";
    int fd = mkostemp(sTemp.data(), O_CLOEXEC);
    if (fd < 0) {
        CopyFailed(pszPath, std::string(std::strerror(errno)) + ": " + sTemp);
        return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
    }
    close(fd);
    OVTempFileGuard sTempGuard(sTemp.c_str()); /* an abnormal end meanwhile removes it too */
    int nStep = OVRC_OK;
    std::string sReason;
    const int nFetch = FetchRemoteFile(pszPath, sTemp, &nStep, &sReason);
    if (bDebug) OVLog(OVLOG_DEBUG, "orvikfsys DoCopyFile: fetch return: %d.", nFetch);

    std::string sWhy;
    const bool bLinkFailed = nStep != OVRC_OK && nStep != OVRC_CANCELLED;
    bool bRenamed = false;
    struct stat sNow {};
    if (nStep == OVRC_CANCELLED) {
        unlink(sTemp.c_str());
        CopyBoxes().Show(OVLOG_INFO, "Cancelled.");
        return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
    } else if (nStep != OVRC_OK) {
        sWhy = OVRemoteFailureText(psConnectedSystem, sReason.empty() ? "the copy did not start"
                                                                      : sReason);
    } else if (nFetch == nNotRegularStatus) {
        sWhy = "no longer a regular file: " + std::string(pszPath);
    } else if (nFetch != 0) {
        sWhy = "the copy failed, return " + std::to_string(nFetch) + ": " + std::string(pszPath);
    } else if (!bTaken) {
        /* A name taken meanwhile is not replaced without asking. */
        if (link(sTemp.c_str(), sLocal.c_str()) != 0)
            sWhy = (errno == EEXIST ? std::string("made meanwhile") : std::strerror(errno)) +
                   (": " + sLocal);
    } else if (lstat(sLocal.c_str(), &sNow) != 0 || sNow.st_dev != sTaken.st_dev ||
               sNow.st_ino != sTaken.st_ino || OVRefusedEntry(sNow) != nullptr) {
        sWhy = "changed meanwhile: " + sLocal;
    } else {
        /* The replaced file's permissions stay what the user gave it. */
        bRenamed = chmod(sTemp.c_str(), sTaken.st_mode & 0777) == 0 &&
                   rename(sTemp.c_str(), sLocal.c_str()) == 0;
        if (!bRenamed) sWhy = std::string(std::strerror(errno)) + ": " + sLocal;
    }
    if (!bRenamed) unlink(sTemp.c_str());
    if (!sWhy.empty()) {
        CopyFailed(pszPath, sWhy, bLinkFailed);
        return OVTraceEnd("orvikfsys DoCopyFile", OVRC_OK);
    }
    const std::string sVi = "vi " + OVShellWord(sLocal);
    return OVTraceEnd("orvikfsys DoCopyFile", CommandExitCode(PerformSystemCommand(sVi.c_str())));
}

int Do_Remote_Detail_Page(const char *pszPath)
{
    OVTraceStart("orvikfsys Do_Remote_Detail_Page", "pszPath: %s.", pszPath);
    const std::string sTitle = std::string(szDetailTitle) + ": " + psConnectedSystem->szIP;
    std::string sOutput;
    int nResponse = OVRESPONSE_RESIZE;
    char szResponseID[40] = "";
    std::string sCursor = "Return ";
    int nRc = OVRC_OK;
    bool bRead = false;
    /* stat runs once; the page is built again from its output after every change of size. */
    while (nRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
        psPabi = CreateBrowserPanel("orvikfsys Do_Remote_Detail_Page");
        if (psPabi == nullptr) return OVTraceEnd("orvikfsys Do_Remote_Detail_Page", OVRC_ERROR);
        const int nTitleColumn = OVCentredColumn(psPabi, OVDisplayWidth(sTitle));
        WriteAt(1, nTitleColumn, sTitle, OVDG_PANEL);

        if (!bRead) {
            int nStatRc = RunRemoteStat(pszPath, &sOutput);
            if (nStatRc != OVRC_OK) {
                /* Back to the listing: a cancel is said here, a failed link the library has
                   said, and stat's own complaint is shown. */
                OVDeletePanel(psPabi);
                psPabi = nullptr;
                if (nStatRc == OVRC_CANCELLED)
                    OVShowMessage(OVLOG_INFO, "Cancelled.");
                else if (!sOutput.empty())
                    OVShowMessage(OVLOG_ERROR, ScreenText(sOutput, 200, false).c_str());
                return OVTraceEnd("orvikfsys Do_Remote_Detail_Page", OVRC_OK);
            }
            bRead = true;
        }
        int bRegular = 0;
        Do_Remote_Detail_Fields(sOutput.c_str(), &bRegular);

        unsigned long ulStyle = OVAB_RETURN | OVAB_HELP | OVAB_EXIT;
        if (bRegular) ulStyle |= OVAB_COPY;
        nResponse = 0;
        nRc = AwaitDetailChoice(nTitleColumn, ulStyle, szResponseID, &nResponse, &sCursor);
    }

    if (nRc == OVRC_OK && nResponse == OVRESPONSE_FIELD && std::strcmp(szResponseID, "Copy ") == 0)
        nRc = DoCopyFile(pszPath);
    if (nRc == OVRC_RETURN) nRc = OVRC_OK;
    return OVTraceEnd("orvikfsys Do_Remote_Detail_Page", nRc);
}
