/*
 * remote.cpp - how every program reaches a remote system: one builder for the ssh and scp
 * words, the time limits every connection carries, one shared connection per system, and
 * the wait of a remote step, which the user sees and may cancel.
 *
 * The shared connection: unless the user's own ssh configuration says how connections are
 * shared, every ssh and scp names a control socket in ~/.orvik/ssh (0700). Connect starts the
 * master connection there (the only time a password is asked), every later step rides on it,
 * and Disconnect ends it. A step that finds no master starts one itself.
 *
 * The wait: a step runs in a process group of its own that owns the terminal, under a line
 * that says what runs where and that Ctrl-c cancels. Ctrl-c reaches that group only; the
 * program then ends whatever of it is left and tells its caller. A signal that ends the
 * program ends the step's group first, so that the program is not left waiting for it.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int OVPERSISTSECONDS = 600;    /* the master outlives its last user this long */
/* A unix socket path holds 107 bytes; ssh puts a hash of 40 characters in the place of %C and
   first binds a name 17 characters longer, which it then renames. */
constexpr std::size_t OVMAXSOCKETFOLDER = 107 - 1 - 40 - 17;

std::string sStepName;                   /* what the next remote step does, for its wait line */
std::string sStepJoin = "on";            /* the word between that and the system */

/* A folder of this user alone, made 0700 when missing; false after logging why not. */
bool PrivateFolder(const std::string &sFolder) {
    mkdir(sFolder.c_str(), 0700);
    struct stat sInfo;
    if (lstat(sFolder.c_str(), &sInfo) == 0 && S_ISDIR(sInfo.st_mode) &&
        sInfo.st_uid == geteuid() && (sInfo.st_mode & 077) == 0)
        return true;
    OVLog(OVLOG_ERROR, "PrivateFolder: %s is not a private folder of this user.", sFolder.c_str());
    return false;
}

/* The folder of the control sockets: ~/.orvik/ssh, or, when that name is too long for a
   socket, /tmp/orvik-ssh-<uid>. "" when there is none we may use (then connections are
   not shared). */
std::string ControlFolder() {
    const char *pszHome = getenv("HOME");
    std::string sHome = pszHome != nullptr ? pszHome : "";
    if (sHome.empty()) {
        struct passwd *psUser = getpwuid(geteuid());
        if (psUser != nullptr && psUser->pw_dir != nullptr) sHome = psUser->pw_dir;
    }
    std::string sFolder = sHome + "/.orvik/ssh";
    if (!sHome.empty() && sFolder.size() <= OVMAXSOCKETFOLDER) {
        mkdir((sHome + "/.orvik").c_str(), 0700);
        return PrivateFolder(sFolder) ? sFolder : "";
    }
    sFolder = "/tmp/orvik-ssh-" + std::to_string(geteuid());
    return PrivateFolder(sFolder) ? sFolder : "";
}

bool IsIPv6(const char *pszAddress) { return strchr(pszAddress, ':') != nullptr; }

/* Characters that a shell or ssh's own tokens would read in a user, address or port. */
constexpr const char *OVSHELLCHARACTERS = "`$\\'\";&|<>(){}*?!#~%";

/* Why ssh may not be given a value: "" when it may. A value that begins with "-" is an
   option to ssh, whatever comes before it; a blank or a control character splits it or
   hides what it is; a shell character means something to the shell that runs ProxyCommand
   or LocalCommand, and "%" starts one of ssh's tokens. A user may not hold ":" (scp would
   read the host there), an address no "@" (ssh would read a user); an IPv6 address keeps
   its zone ("fe80::1%eth0"). */
const char *RefusedValue(std::string_view sValue, char cExtra, bool bZone) {
    if (sValue.empty()) return "is empty";
    if (sValue.front() == '-') return "begins with '-'";
    bool bColon = false;
    for (char c : sValue) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= ' ' || u == 127) return "holds a blank or a control character";
        if (c == ':') bColon = true;
        if (c == '%' && bZone && bColon) continue;
        if (c == cExtra || strchr(OVSHELLCHARACTERS, c) != nullptr) return "holds a shell character";
    }
    return nullptr;
}

/* A value as the log and the screen may show it: control characters as "?". */
std::string Shown(const char *pszValue) {
    std::string sShown = pszValue;
    for (char &c : sShown)
        if (static_cast<unsigned char>(c) < ' ' || c == 127) c = '?';
    return sShown;
}

/* The sentence that refuses a system, or "" when its user, address and port may go to ssh. */
std::string Refusal(const REMOTESYSTEM *psSystem) {
    const struct {
        const char *pszLabel;
        const char *pszValue;
        char cExtra;
        bool bZone;
    } asValue[] = {{"user", psSystem->szUser, ':', false},
                   {"address", psSystem->szIP, '@', true},
                   {"port", psSystem->szPort, ':', false}};
    for (const auto &sValue : asValue) {
        const char *pszWhy = RefusedValue(sValue.pszValue, sValue.cExtra, sValue.bZone);
        if (pszWhy == nullptr) continue;
        return std::string("The ") + sValue.pszLabel + " \"" + Shown(sValue.pszValue) + "\" " +
               pszWhy + "; a remote system's user, address or port may not begin with '-' or "
               "hold blanks, control or shell characters";
    }
    return "";
}

/* 0 when the system may be reached; else 8 after logging one line that names the step. */
int CheckSystem(const REMOTESYSTEM *psSystem, const char *pszStep, std::string *psWhy) {
    const std::string sWhy = Refusal(psSystem);
    if (psWhy != nullptr) *psWhy = sWhy;
    if (sWhy.empty()) return OVRC_OK;
    OVLog(OVLOG_ERROR, "%s: %s.", pszStep != nullptr ? pszStep : "OVSshLine", sWhy.c_str());
    return OVRC_ERROR;
}

/* "user@host" as one shell word, for ssh. */
std::string SshLogin(const REMOTESYSTEM *psSystem) {
    return OVShellWord(std::string(psSystem->szUser) + "@" + psSystem->szIP);
}

/* "user@host:path" as one shell word, for scp: an IPv6 address goes in brackets, as scp
   reads "user@fe80::1:path" at the first colon. */
std::string ScpSource(const REMOTESYSTEM *psSystem, std::string_view sPath) {
    std::string sHost = IsIPv6(psSystem->szIP) ? "[" + std::string(psSystem->szIP) + "]"
                                                : std::string(psSystem->szIP);
    return OVShellWord(std::string(psSystem->szUser) + "@" + sHost + ":" + std::string(sPath));
}

std::string ControlPath(const REMOTESYSTEM *psSystem);
std::string ResolvedConfig(const REMOTESYSTEM *psSystem);

/* The program and its options up to the end of the options, without the "--". */
std::string Options(const REMOTESYSTEM *psSystem, const OVSSHCALL &sCall, bool bScp) {
    std::string sWords = bScp ? "scp" : "ssh";
    if (sCall.bPrintConfig) sWords += " -G";
    if (sCall.pszControl != nullptr) {
        /* Only the master is spoken to: no connection is made, no limit applies. */
        sWords += " -o " + OVShellWord("ControlPath=" + ControlPath(psSystem)) + " -O " +
                  OVShellWord(sCall.pszControl);
    } else if (!sCall.bPrintConfig) {
        sWords += " -o ConnectTimeout=" + std::to_string(sCall.nConnectSeconds) +
                  " -o ServerAliveInterval=" + std::to_string(sCall.nAliveSeconds) +
                  " -o ServerAliveCountMax=" + std::to_string(sCall.nAliveCount);
        const std::string sControl = sCall.bShared ? ControlPath(psSystem) : "";
        if (!sControl.empty())
            sWords += " -o ControlMaster=auto -o " + OVShellWord("ControlPath=" + sControl) +
                      " -o ControlPersist=" + std::to_string(OVPERSISTSECONDS);
        if (sCall.bBatch) sWords += " -o BatchMode=yes -o ConnectionAttempts=1";
    }
    sWords += (bScp ? " -P " : " -p ") + OVShellWord(psSystem->szPort);
    if (sCall.bQuiet) sWords += bScp ? " -q" : " -o LogLevel=ERROR";
    if (sCall.bMessageFile && !bScp) sWords += " -E \"$OVSSHLOG\"";
    if (sCall.bNoInput && !bScp) sWords += " -n";
    if (sCall.bTerminal && !bScp) sWords += " -t";
    return sWords;
}

/* What ssh -G said for a system, and the control socket that follows from it. */
struct RESOLVED {
    std::string sControlPath;
    std::string sConfig;
};

std::map<std::string, RESOLVED> &KnownResolved() {
    static std::map<std::string, RESOLVED> mKnown;
    return mKnown;
}

std::string ResolveKey(const REMOTESYSTEM *psSystem) {
    return std::string(psSystem->szUser) + "@" + psSystem->szIP + ":" + psSystem->szPort;
}

/* The control socket that follows from what ssh -G said: "" when the user's own ssh
   configuration shares connections its own way (or not at all by choice), or when there is
   no folder for it. */
RESOLVED FromConfig(const std::string &sKey, const std::string &sConfig) {
    std::string sPath;
    /* ssh -G says "controlmaster false" and no control path (or "none") unless the user's
       configuration set them. */
    const std::string sAll = "\n" + sConfig;
    const bool bOwn = sAll.find("\ncontrolmaster false\n") == std::string::npos ||
                      (sAll.find("\ncontrolpath ") != std::string::npos &&
                       sAll.find("\ncontrolpath none\n") == std::string::npos);
    if (sConfig.empty() || !bOwn) {
        std::string sFolder = ControlFolder();
        if (!sFolder.empty()) sPath = sFolder + "/%C";
    } else if (bDebug) {
        OVLog(OVLOG_DEBUG, "OVSshLine: The ssh configuration for %s shares connections its "
              "own way.", sKey.c_str());
    }
    return RESOLVED{sPath, sConfig};
}

/* Asks ssh -G about every system not asked yet, at most nAtOnce at a time: each ssh -G is
   started before any is read (its few kilobytes fit the pipe), so that a hundred systems
   cost about as long as a few. The systems have been checked before. */
void ResolveAll(const std::vector<const REMOTESYSTEM *> &apsSystems) {
    constexpr std::size_t nAtOnce = 32;
    std::map<std::string, RESOLVED> &mKnown = KnownResolved();
    std::vector<std::pair<std::string, FILE *>> aAsked;
    auto Collect = [&] {
        for (auto &[sKey, pPipe] : aAsked) {
            std::string sConfig;
            char szLine[1024];
            while (fgets(szLine, sizeof szLine, pPipe) != nullptr) sConfig += szLine;
            pclose(pPipe);
            mKnown[sKey] = FromConfig(sKey, sConfig);
        }
        aAsked.clear();
    };
    for (const REMOTESYSTEM *psSystem : apsSystems) {
        const std::string sKey = ResolveKey(psSystem);
        if (mKnown.count(sKey) != 0 ||
            std::any_of(aAsked.begin(), aAsked.end(), [&](const auto &a) { return a.first == sKey; }))
            continue;
        /* A system the builder refuses is said once, by the step that uses it. */
        if (!Refusal(psSystem).empty()) continue;
        OVSSHCALL sCall;
        sCall.pszStep = "ControlPath";
        sCall.bPrintConfig = true;
        std::string sAsk;
        if (OVSshLine(psSystem, sCall, "", &sAsk) != OVRC_OK) continue;
        sAsk += " 2>/dev/null";
        if (FILE *pPipe = popen(sAsk.c_str(), "r")) aAsked.emplace_back(sKey, pPipe);
        if (aAsked.size() >= nAtOnce) Collect();
    }
    Collect();
}

/* What ssh -G says for a system, asked once per system and process. */
const RESOLVED &Resolve(const REMOTESYSTEM *psSystem) {
    static const RESOLVED sNone;
    ResolveAll({psSystem});
    auto it = KnownResolved().find(ResolveKey(psSystem));
    return it != KnownResolved().end() ? it->second : sNone;
}

std::string ControlPath(const REMOTESYSTEM *psSystem) { return Resolve(psSystem).sControlPath; }
std::string ResolvedConfig(const REMOTESYSTEM *psSystem) { return Resolve(psSystem).sConfig; }

/* ssh -G's lines by keyword, each keyword's values in their order. */
std::map<std::string, std::vector<std::string>> ConfigValues(const std::string &sConfig) {
    std::map<std::string, std::vector<std::string>> mValues;
    std::string::size_type nAt = 0;
    while (nAt < sConfig.size()) {
        std::string::size_type nEnd = sConfig.find('\n', nAt);
        if (nEnd == std::string::npos) nEnd = sConfig.size();
        const std::string sLine = sConfig.substr(nAt, nEnd - nAt);
        nAt = nEnd + 1;
        const std::string::size_type nBlank = sLine.find(' ');
        if (nBlank != std::string::npos && nBlank > 0)
            mValues[sLine.substr(0, nBlank)].push_back(sLine.substr(nBlank + 1));
    }
    return mValues;
}

/* What ssh -G gives with no configuration at all: the defaults a block may leave out. */
const std::map<std::string, std::vector<std::string>> &DefaultValues() {
    static std::map<std::string, std::vector<std::string>> mDefaults;
    if (!mDefaults.empty()) return mDefaults;
    if (FILE *pPipe = popen("ssh -G -F /dev/null -- orvik-default 2>/dev/null", "r")) {
        std::string sConfig;
        char szLine[1024];
        while (fgets(szLine, sizeof szLine, pPipe) != nullptr) sConfig += szLine;
        pclose(pPipe);
        mDefaults = ConfigValues(sConfig);
    }
    return mDefaults;
}

std::string ReadFileText(const std::string &sPath, std::size_t nMax) {
    std::string sText;
    if (FILE *pFile = fopen(sPath.c_str(), "r")) {
        char achBuffer[4096];
        std::size_t n;
        while (sText.size() < nMax && (n = fread(achBuffer, 1, sizeof achBuffer, pFile)) > 0)
            sText.append(achBuffer, n);
        fclose(pFile);
    }
    return sText.substr(0, nMax);
}

} // namespace

/* Gives the terminal's foreground to a process group; SIGTTOU would stop a caller that is
   not in the foreground itself. */
void OVGiveTerminal(pid_t nGroup) {
    if (!isatty(STDIN_FILENO)) return;
    struct sigaction sIgnore {}, sOld {};
    sIgnore.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &sIgnore, &sOld);
    tcsetpgrp(STDIN_FILENO, nGroup);
    sigaction(SIGTTOU, &sOld, nullptr);
}

void OVResolveSystems(const std::vector<const REMOTESYSTEM *> &apsSystems) {
    ResolveAll(apsSystems);
}

std::string OVSshFolder() { return ControlFolder(); }

int OVSshConfigBlock(const REMOTESYSTEM *psSystem, const std::string &sAlias, std::string *psBlock,
                     std::string *psWhy) {
    if (psBlock != nullptr) psBlock->clear();
    if (OVCheckPointers("OVSshConfigBlock", {{"psSystem", psSystem}, {"psBlock", psBlock}}) !=
        OVRC_OK)
        return OVRC_ERROR;
    if (CheckSystem(psSystem, "OVSshConfigBlock", psWhy) != OVRC_OK) return OVRC_ERROR;
    const std::string sConfig = ResolvedConfig(psSystem);
    if (sConfig.empty()) {
        if (psWhy != nullptr) *psWhy = "ssh -G gives no configuration for the system";
        OVLog(OVLOG_ERROR, "OVSshConfigBlock: ssh -G gives no configuration for %s@%s port %s.",
              psSystem->szUser, psSystem->szIP, psSystem->szPort);
        return OVRC_ERROR;
    }
    /* What the builder puts on every command line comes first, as the first value ssh reads
       is the one it keeps. The rest is what ssh -G says for the system, as far as it is not
       ssh's default: ssh resolves the host as the builder's line would, the user's Host
       blocks for the address included, which a block under another name cannot reach
       (HostName does not chain). */
    const OVSSHCALL sLimits;
    auto mValues = ConfigValues(sConfig);
    std::string sBlock = "Host " + sAlias + "\n";
    for (const char *pszKey : {"hostname", "port", "user"})
        if (!mValues[pszKey].empty()) {
            /* ssh expands "%" tokens in HostName: an IPv6 zone keeps its "%" as "%%". */
            std::string sValue;
            for (char c : mValues[pszKey][0]) sValue += c == '%' ? std::string("%%") : std::string(1, c);
            sBlock += std::string("    ") + pszKey + " " + sValue + "\n";
        }
    sBlock += "    ConnectTimeout " + std::to_string(sLimits.nConnectSeconds) +
              "\n    ServerAliveInterval " + std::to_string(sLimits.nAliveSeconds) +
              "\n    ServerAliveCountMax " + std::to_string(sLimits.nAliveCount) + "\n";
    const std::string sControl = ControlPath(psSystem);
    /* ssh reads a quoted value whole; a path holding a quote is not shared. */
    const bool bShared = !sControl.empty() && sControl.find('"') == std::string::npos;
    if (bShared)
        sBlock += "    ControlMaster auto\n    ControlPath \"" + sControl +
                  "\"\n    ControlPersist " + std::to_string(OVPERSISTSECONDS) + "\n";
    const auto &mDefaults = DefaultValues();
    for (const auto &[sKey, asValues] : mValues) {
        if (sKey == "host" || sKey == "hostname" || sKey == "port" || sKey == "user" ||
            sKey == "connecttimeout" || sKey == "serveraliveinterval" ||
            sKey == "serveralivecountmax" || (bShared && sKey.rfind("control", 0) == 0))
            continue;
        auto itDefault = mDefaults.find(sKey);
        if (itDefault != mDefaults.end() && itDefault->second == asValues) continue;
        for (const std::string &sValue : asValues) sBlock += "    " + sKey + " " + sValue + "\n";
    }
    *psBlock = sBlock;
    return OVRC_OK;
}

int OVSshLine(const REMOTESYSTEM *psSystem, const OVSSHCALL &sCall, std::string_view sRemote,
              std::string *psLine, std::string *psWhy) {
    if (psLine != nullptr) psLine->clear();
    if (OVCheckPointers(sCall.pszStep != nullptr ? sCall.pszStep : "OVSshLine",
                        {{"psSystem", psSystem}, {"psLine", psLine}}) != OVRC_OK)
        return OVRC_ERROR;
    if (CheckSystem(psSystem, sCall.pszStep, psWhy) != OVRC_OK) return OVRC_ERROR;
    *psLine = Options(psSystem, sCall, false) + " -- " + SshLogin(psSystem);
    if (!sRemote.empty()) *psLine += " " + std::string(sRemote);
    return OVRC_OK;
}

int OVScpLine(const REMOTESYSTEM *psSystem, const OVSSHCALL &sCall, std::string_view sRemotePath,
              std::string_view sLocalPath, std::string *psLine, std::string *psWhy) {
    if (psLine != nullptr) psLine->clear();
    if (OVCheckPointers(sCall.pszStep != nullptr ? sCall.pszStep : "OVScpLine",
                        {{"psSystem", psSystem}, {"psLine", psLine}}) != OVRC_OK)
        return OVRC_ERROR;
    if (CheckSystem(psSystem, sCall.pszStep, psWhy) != OVRC_OK) return OVRC_ERROR;
    *psLine = Options(psSystem, sCall, true) + " -- " + ScpSource(psSystem, sRemotePath) + " " +
              OVShellWord(sLocalPath);
    return OVRC_OK;
}

int OVStartConnection(REMOTESYSTEM *psSystem, std::string *psReason) {
    OVTraceStart("OVStartConnection", "szIP: %s.", psSystem ? psSystem->szIP : "(null)");
    if (psReason != nullptr) psReason->clear();
    if (OVCheckPointers("OVStartConnection", {{"psSystem", psSystem}}) != OVRC_OK)
        return OVTraceEnd("OVStartConnection", OVRC_ERROR);
    /* The master starts with this first login, where ssh may ask for a password, and stays
       when it ends. */
    OVSSHCALL sCall;
    sCall.pszStep = "OVStartConnection";
    sCall.bQuiet = true;
    std::string sLine;
    if (OVSshLine(psSystem, sCall, "true", &sLine, psReason) != OVRC_OK)
        return OVTraceEnd("OVStartConnection", OVRC_ERROR);
    OVRemoteStepName sName("Connecting", "to");
    return OVTraceEnd("OVStartConnection", OVRunRemoteStep(psSystem, sLine, psReason));
}

int OVEndConnection(const REMOTESYSTEM *psSystem) {
    OVTraceStart("OVEndConnection", "szIP: %s.", psSystem ? psSystem->szIP : "(null)");
    if (OVCheckPointers("OVEndConnection", {{"psSystem", psSystem}}) != OVRC_OK)
        return OVTraceEnd("OVEndConnection", OVRC_ERROR);
    /* Checked before ssh -G is asked for the control socket. */
    if (CheckSystem(psSystem, "OVEndConnection", nullptr) != OVRC_OK)
        return OVTraceEnd("OVEndConnection", OVRC_ERROR);
    if (ControlPath(psSystem).empty()) return OVTraceEnd("OVEndConnection", OVRC_OK);
    OVSSHCALL sCall;
    sCall.pszStep = "OVEndConnection";
    sCall.pszControl = "exit";
    std::string sLine;
    if (OVSshLine(psSystem, sCall, "", &sLine) != OVRC_OK)
        return OVTraceEnd("OVEndConnection", OVRC_ERROR);
    sLine += " >/dev/null 2>&1";
    /* No master is no failure: there is nothing to end. */
    int nStatus = system(sLine.c_str());
    if (bDebug) OVLog(OVLOG_DEBUG, "OVEndConnection: %s: status %d.", sLine.c_str(), nStatus);
    return OVTraceEnd("OVEndConnection", OVRC_OK);
}

OVRemoteStepName::OVRemoteStepName(const char *pszName, const char *pszJoin)
    : sSaved(sStepName), sSavedJoin(sStepJoin) {
    sStepName = pszName != nullptr ? pszName : "";
    sStepJoin = pszJoin != nullptr ? pszJoin : "on";
}

OVRemoteStepName::~OVRemoteStepName() {
    sStepName = sSaved;
    sStepJoin = sSavedJoin;
}

std::string RemoteWaitLine(const REMOTESYSTEM *psSystem) {
    /* Every step reads as a sentence: what it does, how that meets the system, the system. */
    const std::string sWhat = sStepName.empty() ? std::string("Working") : sStepName;
    const std::string sWhere = psSystem->szSystemName[0] != '\0'
                                   ? std::string(psSystem->szSystemName) + " (" + psSystem->szIP + ")"
                                   : std::string(psSystem->szIP);
    /* Folder and file names come from the remote system, the system's name from config.ini:
       the line goes to the terminal raw, so it is shown as every screen text is. */
    return OVScreenText(sWhat + " " + sStepJoin + " " + sWhere + "... Ctrl-c cancels");
}

int OVRunRemoteStep(const REMOTESYSTEM *psSystem, const std::string &sLine, std::string *psReason,
                    int *pnExitStatus) {
    OVTraceStart("OVRunRemoteStep", "sLine: %s.", sLine.c_str());
    if (psReason != nullptr) psReason->clear();
    if (pnExitStatus != nullptr) *pnExitStatus = -1;

    /* ssh's own messages go to a private file, so that a failure can be told in its words;
       a password prompt goes to the terminal, under the wait line. */
    char szReason[] = "/tmp/OrvikSsh.XXXXXX";
    int fdReason = mkostemp(szReason, O_CLOEXEC | O_APPEND);
    if (fdReason < 0) {
        OVLog(OVLOG_ERROR, "OVRunRemoteStep: Unable to create a file for ssh's messages: %s.",
              strerror(errno));
        return OVTraceEnd("OVRunRemoteStep", OVRC_ERROR);
    }
    OVTempFileGuard sReasonGuard(szReason);

    OVCursesSuspension sSuspension(true); /* the wait line and ssh draw over the screen */
    /* The screen says what runs where until the step is done. */
    std::string sWait = "\x1b[H\x1b[2J" + RemoteWaitLine(psSystem) + "\r\n\n";
    OVWriteAll(STDOUT_FILENO, sWait);
    fflush(nullptr);

    /* An ending signal ends the step's group, once that is known: until then the signals
       wait, and the child takes them with their default action. */
    sigset_t sSignalsBefore;
    OVHoldEndingSignals(&sSignalsBefore);
    pid_t nChild = fork();
    if (nChild == 0) {
        setpgid(0, 0);
        OVGiveTerminal(getpid());
        for (int nSignal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGTTOU, SIGTTIN})
            signal(nSignal, SIG_DFL);
        sigprocmask(SIG_SETMASK, &sSignalsBefore, nullptr);
        dup2(fdReason, STDERR_FILENO);
        setenv("OVSSHLOG", szReason, 1); /* for ssh -E where the line's stderr is the command's */
        execl("/bin/sh", "sh", "-c", sLine.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fdReason);
    int nStatus = 0;
    int nRc = OVRC_OK;
    if (nChild < 0) {
        OVLog(OVLOG_ERROR, "OVRunRemoteStep: Unable to start the step: %s.", strerror(errno));
        nRc = OVRC_CMDFAILED;
    } else {
        setpgid(nChild, nChild);
        OVSetStepGroup(nChild);
    }
    sigprocmask(SIG_SETMASK, &sSignalsBefore, nullptr);
    if (nChild > 0) {
        OVGiveTerminal(nChild);
        while (waitpid(nChild, &nStatus, 0) < 0 && errno == EINTR) {
        }
        OVSetStepGroup(0);
        /* Whatever of the step is still running (an scp after a cancelled ssh) ends too; a
           master connection has left the group and stays. */
        kill(-nChild, SIGTERM);
        OVGiveTerminal(getpgrp());
        OVEndIfSignalled();
        if (pnExitStatus != nullptr && WIFEXITED(nStatus)) *pnExitStatus = WEXITSTATUS(nStatus);
        const bool bCancelled = (WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGINT) ||
                                (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 128 + SIGINT);
        if (bCancelled) {
            OVLog(OVLOG_INFO, "OVRunRemoteStep: Cancelled on %s: %s.", psSystem->szIP,
                  sLine.c_str());
            nRc = OVRC_CANCELLED;
        } else if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) == 255) {
            /* ssh ends with 255 when the link failed, whatever the remote command did. */
            std::string sReason = OVSshReason(ReadFileText(szReason, 16384));
            if (sReason.empty()) sReason = "ssh failed without a message";
            OVLog(OVLOG_ERROR, "OVRunRemoteStep: %s (%s): %s", psSystem->szSystemName,
                  psSystem->szIP, sReason.c_str());
            if (psReason != nullptr) *psReason = sReason;
            nRc = OVRC_CMDFAILED;
        }
    }
    unlink(szReason);
    return OVTraceEnd("OVRunRemoteStep", nRc);
}

std::string OVRemoteFailureText(const REMOTESYSTEM *psSystem, const std::string &sReason) {
    return std::string(psSystem->szSystemName) + " (" + psSystem->szIP + "): " + sReason;
}
