/*
 * command.cpp - local commands through popen, remote commands (whose ssh and scp lines
 * come from remote.cpp), the shell runner, and the one quoting family every command line
 * is built with.
 *
 * Ordinary input (plain words, commands without quotation marks, $, ` or \) gives exactly
 * the classic command lines; anything else is quoted so that each shell on the way sees
 * the caller's text as it was written. Curses is suspended around every system() call
 * when a screen is active.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t OVMAXCOMMANDLINE = 1023; /* characters of a built command line */
/* A remote step's line: three connections, each with its time limits and shared connection,
   need more room than the classic line had. */
constexpr std::size_t OVMAXREMOTELINE = 4095;
constexpr int OVREADLINE = 32768;              /* lines of up to 32767 characters */
/* What the shell runners give for a line they refuse: the status of a shell that ended
   with 8, so that callers shifting the status right by 8 see a failure. */
constexpr int OVREFUSEDSTATUS = OVRC_ERROR << 8;
constexpr const char *OVREMOTEFAILURE =
    "Command failed. Refer to log file: OrvikLog.txt for more information.\n";

bool IsPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           strchr("/._-+,:@%=", c) != nullptr;
}

/* Double-quoted for the shell: ordinary text goes in as it is. */
std::string DoubleQuoted(std::string_view sText) {
    return "\"" + OVShellEscapeDoubleQuoted(sText) + "\"";
}

/* A pipe from popen whose Close() gives the pclose status; closed at scope end otherwise. */
class Pipe {
  public:
    Pipe(const char *pszCommand, const char *pszMode) : pFile(popen(pszCommand, pszMode)) {}
    ~Pipe() { Close(); }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    FILE *Get() const { return pFile; }
    int Close() {
        if (pFile == nullptr) return 0;
        int nStatus = pclose(pFile);
        pFile = nullptr;
        return nStatus;
    }

  private:
    FILE *pFile;
};

/* Runs a command line with system() while curses is suspended; the system() status. */
int RunWithoutCurses(const char *pszLine, bool bClearScreen) {
    OVCursesSuspension sSuspension;
    if (bClearScreen) fputs("\x1b[2J", stdout);
    fflush(nullptr); /* nothing buffered is written twice or out of order */
    int nStatus = system(pszLine);
    OVEndIfSignalled();
    return nStatus;
}

/* Appends the lines of a stream to the caller's buffer. Every line counts its length plus
   one; a line is refused when its length and the count reach the buffer size, or when it
   would not fit behind the text already there. 0, or 100 after logging the overflow. */
int CollectLines(FILE *pFile, char *pszCOutput, int nOutputSize, const char *pszFunction,
                 const char *pszCommand) {
    std::size_t nSize = nOutputSize > 0 ? static_cast<std::size_t>(nOutputSize) : 0;
    std::size_t nUsed = nSize > 0 ? strnlen(pszCOutput, nSize - 1) : 0;
    std::unique_ptr<char[]> pLine(new char[OVREADLINE]);
    int nCount = 0;
    while (fgets(pLine.get(), OVREADLINE, pFile) != nullptr) {
        int nLength = static_cast<int>(strlen(pLine.get()));
        if (nLength + nCount >= nOutputSize || nUsed + nLength + 1 > nSize) {
            OVLog(OVLOG_ERROR,
                  "%s: Return workarea exceeded. Command: %s, return workarea size: %d, "
                  "command size: %d.\n",
                  pszFunction, pszCommand, nLength + nCount, nOutputSize);
            return OVRC_OVERFLOW;
        }
        memcpy(pszCOutput + nUsed, pLine.get(), static_cast<std::size_t>(nLength) + 1);
        nUsed += static_cast<std::size_t>(nLength);
        nCount += nLength + 1;
    }
    return OVRC_OK;
}

/* Refuses a built line longer than a command line may be. */
bool FitsCommandLine(const std::string &sLine, const char *pszFunction,
                     std::size_t nLimit = OVMAXCOMMANDLINE) {
    if (sLine.size() <= nLimit) return true;
    OVLog(OVLOG_ERROR, "%s: Command line of %zu characters is longer than %zu: %.128s...\n",
          pszFunction, sLine.size(), nLimit, sLine.c_str());
    return false;
}

/* The remote command with what it writes on either output cut after one byte more than is
   kept, so that a cut can be told here; the remote head then ends, and the command with it
   at its next write. sOutTo and sErrTo are where the cut outputs go ("" and ">&2" for the
   session's own). The command's status is not given on. */
std::string CappedCommand(std::string_view sCommand, const std::string &sOutTo,
                          const std::string &sErrTo) {
    const std::string sHead = "head -c " + std::to_string(OVMAXREMOTEOUTPUT + 1);
    return "{ { " + std::string(sCommand) + "; } 2>&1 >&3 3>&- | " + sHead + " " + sErrTo +
           " 3>&-; } 3>&1 | " + sHead + (sOutTo.empty() ? "" : " " + sOutTo);
}

/* Cuts a local copy of a remote output that is longer than what is kept back to that
   size, after its last whole line when it has one; true when it had to. */
bool CutToKeptSize(const std::string &sPath) {
    struct stat sInfo;
    if (stat(sPath.c_str(), &sInfo) != 0 || !S_ISREG(sInfo.st_mode) ||
        sInfo.st_size <= static_cast<off_t>(OVMAXREMOTEOUTPUT))
        return false;
    off_t nKeep = static_cast<off_t>(OVMAXREMOTEOUTPUT);
    if (int fd = open(sPath.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        char achTail[65536];
        const off_t nFrom = nKeep - static_cast<off_t>(sizeof achTail);
        const ssize_t nRead = pread(fd, achTail, sizeof achTail, nFrom);
        close(fd);
        for (ssize_t i = nRead; i > 0; i--)
            if (achTail[i - 1] == '\n') {
                nKeep = nFrom + i;
                break;
            }
    }
    if (truncate(sPath.c_str(), nKeep) != 0)
        OVLog(OVLOG_ERROR, "ExecuteRemoteCommand: Unable to cut %s to %lld bytes: %s.",
              sPath.c_str(), static_cast<long long>(nKeep), strerror(errno));
    return true;
}

/* A folder name on the remote system that nobody can guess: the remote shell creates it
   with mkdir, which fails on anything already there, link or not. */
std::string RemoteFolderName() {
    std::random_device sRandom;
    char szName[64];
    snprintf(szName, sizeof(szName), "/tmp/Orvik.%d.%08x%08x", static_cast<int>(getpid()),
             sRandom(), sRandom());
    return szName;
}

/* The remote command line into *psLine, three connections:
     ssh -t    make the private folder DIR (mode 0700) and run the command with its output
               and error output in DIR/out and DIR/err; -t lets it ask for a password;
     scp       copy DIR/out back to OUT;
     ssh       write DIR/err to ERR and remove DIR (only when it is a folder of this user).
   The terminal is cleared before each step. 0, or 8 for a system that may not be reached. */
int RemoteCommandLine(const REMOTESYSTEM *psSystem, const char *pszCommand,
                      const std::string &sOut, const std::string &sErr, std::string *psLine,
                      std::string *psWhy) {
    OVSSHCALL sCall;
    sCall.pszStep = "ExecuteRemoteCommand";
    sCall.bQuiet = true;
    if (strstr(pszCommand, "sudo") == nullptr) {
        /* A command that asks for no password needs no terminal: one session brings its
           output and its errors straight into OUT and ERR, with nothing left on the remote
           side. ssh's own messages go to the step's file for them ($OVSSHLOG). */
        sCall.bMessageFile = true;
        sCall.bNoInput = true;
        if (OVSshLine(psSystem, sCall, DoubleQuoted(CappedCommand(pszCommand, "", ">&2")), psLine,
                      psWhy) != OVRC_OK)
            return OVRC_ERROR;
        *psLine += " > " + OVShellWord(sOut) + " 2> " + OVShellWord(sErr) +
                   "; [ $? = 255 ] && exit 255; exit 0";
        return OVRC_OK;
    }
    /* sudo may ask for a password on a terminal, which carries output and errors as one: the
       command writes them into a private folder on the remote side, and they come back from
       there. */
    const std::string sDir = RemoteFolderName();
    const std::string sRemoteOut = sDir + "/out", sRemoteErr = sDir + "/err";
    /* Double quotes, as in the classic line; escaping keeps any other text literal too and
       grows it less than nested single quotes would. */
    const std::string sRun = DoubleQuoted("mkdir -m 700 " + sDir + " || exit 1; " +
                                          CappedCommand(pszCommand, "> " + sRemoteOut,
                                                        "> " + sRemoteErr));
    const std::string sFinish = DoubleQuoted("test ! -L " + sDir + " && test -O " + sDir +
                                             " && { cat " + sRemoteErr + "; rm -rf " + sDir +
                                             "; }");
    std::string sRunLine, sCopyLine, sFinishLine;
    OVSSHCALL sRunCall = sCall, sFinishCall = sCall;
    sRunCall.bTerminal = true;
    sFinishCall.bNoInput = true;
    if (OVSshLine(psSystem, sRunCall, sRun, &sRunLine, psWhy) != OVRC_OK ||
        OVScpLine(psSystem, sCall, sRemoteOut, sOut, &sCopyLine, psWhy) != OVRC_OK ||
        OVSshLine(psSystem, sFinishCall, sFinish, &sFinishLine, psWhy) != OVRC_OK)
        return OVRC_ERROR;
    /* A connection that fails (ssh's 255) ends the line with 255, so that the failure is
       told; scp's own failures (a remote command that made no output) are not the link's. */
    *psLine = sRunLine + "; [ $? = 255 ] && exit 255; " + sCopyLine + "; " + sFinishLine + " > " +
              OVShellWord(sErr) + "; [ $? = 255 ] && exit 255; exit 0";
    return OVRC_OK;
}

/* Removes a local temporary file; one that is not there counts as removed. */
int RemoveTemporary(const std::string &sPath, const char *pszWhat) {
    int nRc = remove(sPath.c_str());
    if (nRc == 0 || errno == ENOENT) return OVRC_OK;
    OVLog(OVLOG_ERROR, "ExecuteRemoteCommand: Unable to remove temporary %s: %s, nRc: %d", pszWhat,
          sPath.c_str(), nRc);
    return OVRC_ERROR;
}

/* What tells a file we made apart from the same file after a writer opened it. */
struct FileStamp {
    bool bExists = false;
    dev_t nDevice = 0;
    ino_t nInode = 0;
    off_t nSize = 0;
    struct timespec sModified {};
    struct timespec sChanged {};
};

FileStamp Stamp(const std::string &sPath) {
    FileStamp sStamp;
    struct stat sInfo;
    if (lstat(sPath.c_str(), &sInfo) != 0) return sStamp;
    sStamp.bExists = true;
    sStamp.nDevice = sInfo.st_dev;
    sStamp.nInode = sInfo.st_ino;
    sStamp.nSize = sInfo.st_size;
    sStamp.sModified = sInfo.st_mtim;
    sStamp.sChanged = sInfo.st_ctim;
    return sStamp;
}

bool SameTime(const struct timespec &a, const struct timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

/* Removes the empty file we claimed when nothing has opened it for writing since. */
void RemoveOwnUntouched(const std::string &sPath, const FileStamp &sClaimed) {
    FileStamp sNow = Stamp(sPath);
    if (sClaimed.bExists && sNow.bExists && sNow.nSize == 0 && sNow.nInode == sClaimed.nInode &&
        sNow.nDevice == sClaimed.nDevice && SameTime(sNow.sModified, sClaimed.sModified) &&
        SameTime(sNow.sChanged, sClaimed.sChanged))
        unlink(sPath.c_str());
}

} // namespace

std::string OVShellQuote(std::string_view sText) {
    std::string sQuoted = "'";
    for (char c : sText) {
        if (c == '\'')
            sQuoted += "'\\''";
        else
            sQuoted += c;
    }
    sQuoted += '\'';
    return sQuoted;
}

std::string OVShellWord(std::string_view sText) {
    if (sText.empty()) return "''";
    for (char c : sText)
        if (!IsPlain(c)) return OVShellQuote(sText);
    return std::string(sText);
}

std::string OVShellEscapeDoubleQuoted(std::string_view sText) {
    std::string sEscaped;
    for (char c : sText) {
        if (c == '"' || c == '\\' || c == '$' || c == '`') sEscaped += '\\';
        sEscaped += c;
    }
    return sEscaped;
}

int ExecuteCommand(const char *pszCommand, char *pszCOutput, int nOutputSize) {
    OVTraceStart("ExecuteCommand", "pszCommand: %s, nOutputSize: %d.",
                 pszCommand ? pszCommand : "(null)", nOutputSize);
    if (OVCheckPointers("ExecuteCommand",
                        {{"pszCommand", pszCommand}, {"pszCOutput", pszCOutput}}) != OVRC_OK)
        return OVTraceEnd("ExecuteCommand", OVRC_ERROR);
    fflush(nullptr); /* nothing buffered is written twice by the child */
    Pipe sPipe(pszCommand, "r");
    if (sPipe.Get() == nullptr) {
        OVLog(OVLOG_ERROR, "ExecuteCommand: Unable to open popen file.  Command: %s.\n",
              pszCommand);
        return OVTraceEnd("ExecuteCommand", OVRC_CMDFAILED);
    }
    int nRc = CollectLines(sPipe.Get(), pszCOutput, nOutputSize, "ExecuteCommand", pszCommand);
    if (nRc != OVRC_OK) return OVTraceEnd("ExecuteCommand", nRc);
    int nStatus = sPipe.Close();
    OVEndIfSignalled();
    if (nStatus != 0) {
        OVLog(OVLOG_ERROR, "ExecuteCommand: Unable to close popen file.  Command: %s, rc: %d.\n",
              pszCommand, nStatus);
        return OVTraceEnd("ExecuteCommand", OVRC_CMDFAILED);
    }
    return OVTraceEnd("ExecuteCommand", OVRC_OK);
}

int ExecuteRemoteCommand(REMOTESYSTEM *psRemoteSystem, const char *pszCommand,
                         char *pszCOutput, int nOutputSize, const char *pszTempFile,
                         const char *pszErrorFile) {
    return ExecuteRemoteCommand(psRemoteSystem, pszCommand, pszCOutput, nOutputSize, pszTempFile,
                                pszErrorFile, nullptr);
}

int ExecuteRemoteCommand(REMOTESYSTEM *psRemoteSystem, const char *pszCommand,
                         char *pszCOutput, int nOutputSize, const char *pszTempFile,
                         const char *pszErrorFile, std::string *psReason) {
    if (psReason != nullptr) psReason->clear();
    OVTraceStart("ExecuteRemoteCommand",
                 "psRemoteSystem: %p, pszCommand: %s, nOutputSize: %d, pszTempFile: %s, "
                 "pszErrorFile: %s.",
                 static_cast<void *>(psRemoteSystem), pszCommand ? pszCommand : "(null)",
                 nOutputSize, pszTempFile ? pszTempFile : "(null)",
                 pszErrorFile ? pszErrorFile : "(null)");
    if (OVCheckPointers("ExecuteRemoteCommand", {{"psRemoteSystem", psRemoteSystem},
                                                 {"pszCommand", pszCommand},
                                                 {"pszCOutput", pszCOutput}}) != OVRC_OK)
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);
    if ((pszTempFile == nullptr) != (pszErrorFile == nullptr)) {
        OVLog(OVLOG_ERROR, "ExecuteRemoteCommand: pszTempFile and pszErrorFile must be given "
              "together: %p, %p.", static_cast<const void *>(pszTempFile),
              static_cast<const void *>(pszErrorFile));
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);
    }

    const bool bCallerFiles = pszTempFile != nullptr;
    std::string sOut, sErr;
    if (bCallerFiles) {
        sOut = pszTempFile;
        sErr = pszErrorFile;
    } else {
        char szName[96];
        int nPidNow = static_cast<int>(getpid());
        int nNow = static_cast<int>(time(nullptr));
        snprintf(szName, sizeof(szName), "/tmp/OrvikLibERC.%d.%d.Temp.txt", nPidNow, nNow);
        sOut = szName;
        snprintf(szName, sizeof(szName), "/tmp/OrvikLibERC.%d.%d.Error.txt", nPidNow, nNow);
        sErr = szName;
    }
    std::string sLine;
    if (RemoteCommandLine(psRemoteSystem, pszCommand, sOut, sErr, &sLine, psReason) != OVRC_OK)
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);
    if (!FitsCommandLine(sLine, "ExecuteRemoteCommand", OVMAXREMOTELINE))
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);

    /* scp and the redirection write the local copies through whatever sits at their names:
       make them ours first. Their stamps tell afterwards whether anything came back. */
    if (OVClaimTempFile(sOut.c_str()) != OVRC_OK)
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);
    if (OVClaimTempFile(sErr.c_str()) != OVRC_OK) {
        if (!bCallerFiles) unlink(sOut.c_str());
        return OVTraceEnd("ExecuteRemoteCommand", OVRC_ERROR);
    }
    const FileStamp sOutClaimed = Stamp(sOut), sErrClaimed = Stamp(sErr);
    /* Our own names are removed below, or by an abnormal end while the command runs. */
    OVTempFileGuard sOutGuard(bCallerFiles ? nullptr : sOut.c_str()),
        sErrGuard(bCallerFiles ? nullptr : sErr.c_str());

    std::string sReason;
    int nStep = OVRunRemoteStep(psRemoteSystem, sLine, &sReason);
    if (psReason != nullptr) *psReason = sReason;
    if (nStep == OVRC_CANCELLED || !sReason.empty()) {
        /* The link failed (logged with its reason) or the user cancelled: the caller, who
           knows what the user was doing, tells it. What came back of either is not output. */
        if (!bCallerFiles) {
            unlink(sOut.c_str());
            unlink(sErr.c_str());
        }
        if (nStep != OVRC_CANCELLED && !bCallerFiles)
            OVCopyText(pszCOutput, nOutputSize > 0 ? static_cast<std::size_t>(nOutputSize) : 0,
                       OVREMOTEFAILURE);
        return OVTraceEnd("ExecuteRemoteCommand", nStep);
    }
    /* An output without end was stopped at the size kept; what came of it stays. */
    bool bCut = false;
    for (const std::string *psPath : {&sOut, &sErr})
        bCut = CutToKeptSize(*psPath) || bCut;
    if (bCut) {
        OVLog(OVLOG_WARNING, "ExecuteRemoteCommand: The output of %.300s on %s passed %lld MiB; "
              "the command was stopped and its first %lld MiB kept.", pszCommand,
              psRemoteSystem->szIP, OVMAXREMOTEOUTPUT >> 20, OVMAXREMOTEOUTPUT >> 20);
        if (bCallerFiles) return OVTraceEnd("ExecuteRemoteCommand", OVRC_OVERFLOW);
    }
    if (bCallerFiles) return OVTraceEnd("ExecuteRemoteCommand", OVRC_OK);

    int nRc = OVRC_OK;
    /* A copy that scp never wrote is no output file: the remote system was not reached. */
    RemoveOwnUntouched(sOut, sOutClaimed);
    RemoveOwnUntouched(sErr, sErrClaimed);
    OVFilePtr pFile(fopen(sOut.c_str(), "r"));
    if (!pFile) {
        OVLog(OVLOG_ERROR, "ExecuteRemoteCommand: Unable to open open output file.  Command: "
              "%s.\n", sLine.c_str());
        OVCopyText(pszCOutput, nOutputSize > 0 ? static_cast<std::size_t>(nOutputSize) : 0,
                   OVREMOTEFAILURE);
        nRc = OVRC_CMDFAILED;
        pFile.reset(fopen(sErr.c_str(), "r"));
        if (!pFile) return OVTraceEnd("ExecuteRemoteCommand", nRc);
    }
    int nCollect = CollectLines(pFile.get(), pszCOutput, nOutputSize, "ExecuteRemoteCommand",
                                sLine.c_str());
    pFile.reset();
    /* The local copies go whatever the outcome; the first failure decides the code. */
    int nRemoveOut = RemoveTemporary(sOut, "file");
    int nRemoveErr = RemoveTemporary(sErr, "error file");
    for (int nStep : {nCollect, nRemoveOut, nRemoveErr})
        if (nRc == OVRC_OK) nRc = nStep;
    return OVTraceEnd("ExecuteRemoteCommand", nRc);
}

int RunShell(const char *pszCommand) {
    OVTraceStart("RunShell", "pszCommand: %s.", pszCommand ? pszCommand : "(null)");
    if (pszCommand == nullptr) {
        OVLog(OVLOG_ERROR, "RunShell: pszCommand NULL pointer: %p.",
              static_cast<const void *>(pszCommand));
        return OVTraceEnd("RunShell", OVREFUSEDSTATUS);
    }
    std::string_view sText(pszCommand);
    std::string_view sCommands;
    bool bCommands = false;
    std::size_t nOpen = sText.find('('), nClose = sText.find(')');
    if (nOpen != std::string_view::npos && nClose != std::string_view::npos && nOpen < nClose) {
        sCommands = sText.substr(nOpen + 1, nClose - nOpen - 1);
        bCommands = !sCommands.empty();
    }

    std::string sLine;
    const REMOTESYSTEM *psSystem = psConnectedSystem;
    if (psSystem != nullptr) {
        OVSSHCALL sCall;
        sCall.pszStep = "RunShell";
        std::string sSsh;
        if (OVSshLine(psSystem, sCall, bCommands ? OVShellQuote(sCommands) : "", &sSsh) != OVRC_OK)
            return OVTraceEnd("RunShell", OVREFUSEDSTATUS);
        sLine = bCommands ? "clear;" + sSsh : sSsh;
    } else {
        sLine = bCommands ? "sh -c " + OVShellQuote(sCommands) : "sh -i";
    }
    /* An interactive shell says first how to come back, as its prompt alone does not. */
    if (!bCommands) sLine = "echo 'Type exit to return to Orvik.'; " + sLine;
    if (!FitsCommandLine(sLine, "RunShell", psSystem != nullptr ? OVMAXREMOTELINE : OVMAXCOMMANDLINE))
        return OVTraceEnd("RunShell", OVREFUSEDSTATUS);
    if (bDebug) OVLog(OVLOG_DEBUG, "RunShell: Command line: %s.", sLine.c_str());

    return OVTraceEnd("RunShell", RunWithoutCurses(sLine.c_str(), false));
}

int PerformSystemCommand(const char *pszCommand) {
    OVTraceStart("PerformSystemCommand", "pszCommand: %s.", pszCommand ? pszCommand : "(null)");
    if (pszCommand == nullptr) {
        OVLog(OVLOG_ERROR, "PerformSystemCommand: pszCommand NULL pointer: %p.",
              static_cast<const void *>(pszCommand));
        return OVTraceEnd("PerformSystemCommand", OVREFUSEDSTATUS);
    }
    return OVTraceEnd("PerformSystemCommand", RunWithoutCurses(pszCommand, true));
}
