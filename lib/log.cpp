/*
 * log.cpp - the message log shared by every program, memory dumps, the signal handler, the
 * ending on a signal and the one fatal path.
 *
 * The signal handler only notes the signal. The ending it asks for (curses left, the signal
 * logged, the program's Finish, the termination line, the exit status) runs from the
 * program's own flow, at the key wait or after a command it waited for, since a signal can
 * land inside malloc, stdio or curses.
 *
 * Each message is one line appended with a single write to a file opened in append mode,
 * so a parent and its children can log into the same file in turn without a lock.
 *
 * The log is written only into a regular file of this user with a single link (or a
 * character device such as /dev/null), opened without following a link: a name in /tmp
 * may have been made by somebody else first. When the named file is refused, the log goes
 * to the user's own state folder instead, said once on standard error.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <curses.h>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

int bDebug = 0;
int bDump = 0;
char szLogFile[256] = "/tmp/OrvikLog.txt";

namespace {

constexpr int OVFORMATBUFFER = OVMAXMESSAGE + 16; /* room to cut a formatted message */

const char *LevelLabel(int nLevel) {
    switch (nLevel) {
    case OVLOG_INFO: return "Info    ";
    case OVLOG_DEBUG: return "Debug   ";
    case OVLOG_WARNING: return "Warning ";
    case OVLOG_ERROR: return "Error   ";
    default: return "Unknown ";
    }
}

/* Takes ORVIKLOGFILE into szLogFile. A value that does not fit is refused: the old path is
   kept and the refusal is logged there once per process. */
void TakeLogFileFromEnvironment() {
    static bool bRefusalLogged = false;
    const char *pszValue = getenv("ORVIKLOGFILE");
    if (pszValue == nullptr) return;
    if (strlen(pszValue) < sizeof(szLogFile)) {
        memcpy(szLogFile, pszValue, strlen(pszValue) + 1);
        return;
    }
    if (!bRefusalLogged) {
        bRefusalLogged = true;
        OVLog(OVLOG_ERROR, "OVWriteMessage: ORVIKLOGFILE is longer than %d characters and is "
              "ignored: %.64s...", static_cast<int>(sizeof(szLogFile) - 1), pszValue);
    }
}

constexpr int OVLOGMISSING = -1; /* the file cannot be created: the message is lost */
constexpr int OVLOGOFF = -2;     /* no usable place at all: messages are dropped quietly */

/* szLogFile value for which neither it nor the user's own place could be used. */
std::string sNoLogFor;

/* The first and the latest error of this process, as logged, for the screen. */
std::string sFirstError;
std::string sLastError;

/* Opens a log file for appending, never through a link. A descriptor, or -1 with
   *ppszRefusal set when something that may not be written is at the name, or -1 with it
   NULL when nothing could be created there. */
int OpenOwnLog(const char *pszPath, const char **ppszRefusal) {
    *ppszRefusal = nullptr;
    /* Non-blocking, so a FIFO without a reader is refused rather than waited for. */
    int fd = open(pszPath, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK |
                               O_CLOEXEC, 0600);
    struct stat sFound;
    if (fd < 0) {
        int nError = errno;
        if (nError == ELOOP) {
            *ppszRefusal = "a symbolic link";
        } else if (lstat(pszPath, &sFound) == 0) {
            *ppszRefusal = OVRefusedEntry(sFound);
            if (*ppszRefusal == nullptr) *ppszRefusal = strerror(nError);
        }
        return -1;
    }
    if (fstat(fd, &sFound) != 0) {
        *ppszRefusal = strerror(errno);
    } else if (!S_ISCHR(sFound.st_mode)) {
        *ppszRefusal = OVRefusedEntry(sFound);
    }
    if (*ppszRefusal != nullptr) {
        close(fd);
        return -1;
    }
    return fd;
}

/* $XDG_STATE_HOME/orvik/OrvikLog.txt, else $HOME/.local/state/orvik/OrvikLog.txt. */
std::string OwnLogPlace() {
    const char *pszState = getenv("XDG_STATE_HOME");
    if (pszState != nullptr && pszState[0] == '/') return std::string(pszState) + "/orvik/OrvikLog.txt";
    const char *pszHome = getenv("HOME");
    if (pszHome == nullptr || pszHome[0] != '/') {
        const struct passwd *psUser = getpwuid(geteuid());
        pszHome = psUser != nullptr ? psUser->pw_dir : nullptr;
    }
    if (pszHome == nullptr || pszHome[0] != '/') return "";
    return std::string(pszHome) + "/.local/state/orvik/OrvikLog.txt";
}

/* Makes the folders of a file's path that are missing, each 0700. */
void MakeFolders(const std::string &sFile) {
    for (std::size_t nSlash = sFile.find('/', 1); nSlash != std::string::npos;
         nSlash = sFile.find('/', nSlash + 1))
        mkdir(sFile.substr(0, nSlash).c_str(), 0700);
}

/* szLogFile was refused: the log moves to the user's own place for the rest of the process
   and for the programs it starts. Said once on standard error either way. */
int MoveToOwnPlace(const char *pszRefusal) {
    const std::string sRefused = szLogFile;
    const std::string sOwn = OwnLogPlace();
    const char *pszOwnRefusal = "no home folder is known";
    int fd = -1;
    if (sOwn.size() >= sizeof(szLogFile)) {
        pszOwnRefusal = "the name is too long";
    } else if (!sOwn.empty()) {
        MakeFolders(sOwn);
        fd = OpenOwnLog(sOwn.c_str(), &pszOwnRefusal);
        if (fd < 0 && pszOwnRefusal == nullptr) pszOwnRefusal = strerror(errno);
    }
    if (fd < 0) {
        fprintf(stderr, "Orvik: The log file %s is not used: it is %s; %s cannot be used either "
                "(%s). No log is written.\n", sRefused.c_str(), pszRefusal,
                sOwn.empty() ? "the user's own log" : sOwn.c_str(), pszOwnRefusal);
        sNoLogFor = sRefused;
        return OVLOGOFF;
    }
    fprintf(stderr, "Orvik: The log file %s is not used: it is %s. The log is written to %s.\n",
            sRefused.c_str(), pszRefusal, sOwn.c_str());
    memcpy(szLogFile, sOwn.c_str(), sOwn.size() + 1);
    setenv("ORVIKLOGFILE", szLogFile, 1);
    return fd;
}

/* The log opened for one message: a descriptor, OVLOGMISSING or OVLOGOFF. */
int OpenLog() {
    if (!sNoLogFor.empty() && sNoLogFor == szLogFile) return OVLOGOFF;
    const char *pszRefusal = nullptr;
    int fd = OpenOwnLog(szLogFile, &pszRefusal);
    if (fd >= 0) return fd;
    return pszRefusal == nullptr ? OVLOGMISSING : MoveToOwnPlace(pszRefusal);
}

__attribute__((format(printf, 3, 0)))
void FormatInto(char *pszBuffer, std::size_t nSize, const char *pszFormat, va_list args) {
    if (vsnprintf(pszBuffer, nSize, pszFormat, args) < 0) pszBuffer[0] = '\0';
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

int OVWriteMessage(int nLevel, const char *pszMessage) {
    if (pszMessage == nullptr) {
        OVLog(OVLOG_ERROR, "OVWriteMessage: pszMessage NULL pointer: %p.",
              static_cast<const void *>(pszMessage));
        return OVRC_ERROR;
    }

    time_t nNow = time(nullptr);
    struct tm sNow {};
    localtime_r(&nNow, &sNow);
    char szStamp[64];
    snprintf(szStamp, sizeof(szStamp), "%.2d/%.2d/%.4d%.2d:%.2d:%.2d", sNow.tm_mon + 1,
             sNow.tm_mday, sNow.tm_year + 1900, sNow.tm_hour, sNow.tm_min, sNow.tm_sec);

    TakeLogFileFromEnvironment();

    std::string_view sMessage(pszMessage, strnlen(pszMessage, OVMAXMESSAGE + 4));
    if (nLevel == OVLOG_ERROR) {
        sLastError.assign(sMessage.substr(0, OVUtf8Prefix(sMessage, OVMAXMESSAGE)));
        if (sFirstError.empty()) sFirstError = sLastError;
    }
    std::string sLine = szStamp;
    sLine += LevelLabel(nLevel);
    sLine.append(sMessage.substr(0, OVUtf8Prefix(sMessage, OVMAXMESSAGE)));
    sLine += '\n';

    int fd = OpenLog();
    if (fd == OVLOGMISSING) {
        fputs("Orvik Unable to create or update Message Log file.\n", stdout);
        fflush(stdout);
        return OVRC_OK;
    }
    if (fd < 0) return OVRC_OK;
    OVWriteAll(fd, sLine);
    close(fd);
    return OVRC_OK;
}

const char *OVFirstLoggedError() { return sFirstError.c_str(); }

const char *OVLastLoggedError() { return sLastError.c_str(); }

void OVChooseLogFile() {
    TakeLogFileFromEnvironment();
    struct stat sFound;
    if (lstat(szLogFile, &sFound) != 0) return; /* made, as the user's own, by the first message */
    int fd = OpenLog();
    if (fd >= 0) close(fd);
}

int OVLog(int nLevel, const char *pszFormat, ...) {
    if (pszFormat == nullptr) return OVWriteMessage(nLevel, nullptr);
    char szMessage[OVFORMATBUFFER];
    va_list args;
    va_start(args, pszFormat);
    FormatInto(szMessage, sizeof(szMessage), pszFormat, args);
    va_end(args);
    return OVWriteMessage(nLevel, szMessage);
}

void OVTraceStart(const char *pszFunction, const char *pszFormat, ...) {
    if (!bDebug) return;
    char szArguments[OVFORMATBUFFER];
    va_list args;
    va_start(args, pszFormat);
    if (pszFormat != nullptr)
        FormatInto(szArguments, sizeof(szArguments), pszFormat, args);
    else
        szArguments[0] = '\0';
    va_end(args);
    OVLog(OVLOG_DEBUG, "%s: starting: %s", pszFunction != nullptr ? pszFunction : "",
          szArguments);
}

int OVTraceEnd(const char *pszFunction, int nRc) {
    if (bDebug)
        OVLog(OVLOG_DEBUG, "%s: ending: nRc: %d.", pszFunction != nullptr ? pszFunction : "",
              nRc);
    return nRc;
}

int OVDump(const char *pszTitle, const void *pMemoryPtr, int nMemorySize) {
    if (bDebug)
        OVLog(OVLOG_DEBUG, "OVDump: starting, pszTitle: %s, pMemoryPtr: %p, nMemorySize: %d.",
              pszTitle != nullptr ? pszTitle : "(null)", pMemoryPtr, nMemorySize);
    if (nMemorySize < 0) {
        OVLog(OVLOG_ERROR, "OVDump: nMemorySize: %d is negative.", nMemorySize);
        return OVTraceEnd("OVDump", OVRC_ERROR);
    }
    if (pMemoryPtr == nullptr && nMemorySize > 0) {
        OVLog(OVLOG_ERROR, "OVDump: pMemoryPtr NULL pointer: %p.", pMemoryPtr);
        return OVTraceEnd("OVDump", OVRC_ERROR);
    }

    int nRc = OVWriteMessage(OVLOG_DEBUG, "\n");
    if (pszTitle != nullptr) nRc = OVWriteMessage(OVLOG_DEBUG, pszTitle);

    static const char achHex[] = "0123456789ABCDEF";
    const unsigned char *pBytes = static_cast<const unsigned char *>(pMemoryPtr);
    std::string sHex, sChars;
    const unsigned char *pLineStart = pBytes;
    for (int i = 0; i < nMemorySize; i++) {
        unsigned char c = pBytes[i];
        sHex += achHex[c >> 4];
        sHex += achHex[c & 0x0F];
        sChars += IsAsciiAlnum(c) ? static_cast<char>(c) : '.';
        if (i % 4 == 3) {
            /* A complete group reads as a little-endian 32-bit word. */
            std::string sGroup = sHex.substr(sHex.size() - 8);
            sHex.resize(sHex.size() - 8);
            for (int nPair = 3; nPair >= 0; nPair--) sHex.append(sGroup, nPair * 2, 2);
            sHex += ' ';
        }
        if (i % 16 == 15) {
            nRc = OVLog(OVLOG_DEBUG, "%p   %s  %s ", static_cast<const void *>(pLineStart),
                        sHex.c_str(), sChars.c_str());
            sHex.clear();
            sChars.clear();
            pLineStart = pBytes + i + 1;
        }
    }
    if (!sChars.empty())
        nRc = OVLog(OVLOG_DEBUG, "%p   %-35s   %s ", static_cast<const void *>(pLineStart),
                    sHex.c_str(), sChars.c_str());
    return OVTraceEnd("OVDump", nRc);
}

namespace {

constexpr int anEndingSignal[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGPIPE};

/* Signals that end a program without a word from it. Their usual ending (a core dump for
   most) is kept; only the terminal and the program's own files are put right first. */
constexpr int anFatalSignal[] = {SIGSEGV, SIGABRT, SIGBUS,    SIGFPE,  SIGILL,
                                 SIGSYS,  SIGTRAP, SIGXCPU,   SIGXFSZ, SIGALRM,
                                 SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGIO,
                                 SIGPWR,  SIGSTKFLT};

/* The signal that came and has not been answered yet, 0 when none. */
volatile sig_atomic_t nPendingSignal = 0;

/* The process group of the remote step that runs, 0 when none. */
volatile sig_atomic_t nStepGroup = 0;

/* The terminal's modes when the program started, echo and canonical input on; what every
   ending gives back. Set once, before any handler may read it. */
struct termios sStartModes;
volatile sig_atomic_t bStartModesKept = 0;

/* Room for the fatal handler when the stack itself is what ran out. */
alignas(16) char achSignalStack[64 * 1024];

/* How this program ends on a signal; the library's own wording until a program says. */
const OVSIGNALENDING *psSignalEnding = &OVLIBRARYENDING;

sigset_t EndingSignals() {
    sigset_t sEnding;
    sigemptyset(&sEnding);
    for (int nSignal : anEndingSignal) sigaddset(&sEnding, nSignal);
    return sEnding;
}

void BlockEndingSignals() {
    const sigset_t sEnding = EndingSignals();
    sigprocmask(SIG_BLOCK, &sEnding, nullptr);
}

/* Runs a terminal call with SIGTTOU ignored, which would stop a program that is not in the
   terminal's foreground (a step still holds it, or the program runs in the background). */
template <typename CALL> void WithoutTtou(CALL call) {
    struct sigaction sIgnore {}, sOld {};
    sIgnore.sa_handler = SIG_IGN;
    sigaction(SIGTTOU, &sIgnore, &sOld);
    call();
    sigaction(SIGTTOU, &sOld, nullptr);
}

/* Only calls that a signal handler may make, here and below. The remote step's group ends
   (a stopped one is woken to take its signal). */
void EndStepGroup() {
    const pid_t nGroup = nStepGroup;
    if (nGroup <= 0) return;
    kill(-nGroup, SIGTERM);
    kill(-nGroup, SIGCONT);
}

/* The terminal's foreground comes back from the step's group, when that has it. */
void TakeTerminalBack() {
    const pid_t nGroup = nStepGroup;
    if (nGroup > 0 && tcgetpgrp(STDIN_FILENO) == nGroup)
        WithoutTtou([] { tcsetpgrp(STDIN_FILENO, getpgrp()); });
}

/* The modes of the start, or at least echo and canonical input on again. */
void RestoreTerminalModes() {
    WithoutTtou([] {
        if (bStartModesKept) {
            tcsetattr(STDIN_FILENO, TCSANOW, &sStartModes);
            return;
        }
        struct termios sTerm;
        if (tcgetattr(STDIN_FILENO, &sTerm) == 0) {
            sTerm.c_lflag |= ECHO | ICANON;
            tcsetattr(STDIN_FILENO, TCSANOW, &sTerm);
        }
    });
}

/* The ending that cannot wait for the program: the step, the terminal, the files. */
void EndAtOnce() {
    EndStepGroup();
    TakeTerminalBack();
    RestoreTerminalModes();
    OVRemoveTempFiles();
}

/* A fatal signal: put right what can be, then the signal's own ending, as if unhandled. */
void FatalSignalHandler(int nSignal) {
    EndAtOnce();
    signal(nSignal, SIG_DFL);
    raise(nSignal);
}

void KeepStartModes() {
    if (bStartModesKept) return;
    struct termios sModes;
    if (tcgetattr(STDIN_FILENO, &sModes) != 0) return;
    sModes.c_lflag |= ECHO | ICANON;
    sStartModes = sModes;
    bStartModesKept = 1;
}

void InstallFatalHandlers() {
    static bool bInstalled = false;
    if (bInstalled) return;
    bInstalled = true;
    stack_t sStack {};
    sStack.ss_sp = achSignalStack;
    sStack.ss_size = sizeof(achSignalStack);
    sigaltstack(&sStack, nullptr);
    struct sigaction sAction {};
    sAction.sa_handler = FatalSignalHandler;
    sAction.sa_flags = SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    sAction.sa_mask = EndingSignals();
    for (int nSignal : anFatalSignal) {
        struct sigaction sOld {};
        /* A signal ignored by whoever started us stays ignored, and one already handled
           (a sanitizer's report, a profiler's clock) keeps its handler. */
        if (sigaction(nSignal, nullptr, &sOld) != 0 || (sOld.sa_flags & SA_SIGINFO) != 0 ||
            sOld.sa_handler != SIG_DFL)
            continue;
        sigaction(nSignal, &sAction, nullptr);
    }
}

} // namespace

void OVSetStepGroup(pid_t nGroup) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    nStepGroup = nGroup;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    /* A signal that came before the group was known ends it now. */
    if (nGroup > 0 && nPendingSignal != 0) EndStepGroup();
}

void OVHoldEndingSignals(sigset_t *psBefore) {
    const sigset_t sEnding = EndingSignals();
    sigprocmask(SIG_BLOCK, &sEnding, psBefore);
}

void OVRestoreTerminal() {
    RestoreTerminalModes();
    if (stdscr != nullptr && !isendwin()) endwin();
}

void OVAbnormalEnd() {
    OVRemoveTempFiles();
    OVRestoreTerminal();
}

void OVFatalExit(int nStatus) {
    /* From here on this is the end: an ending signal that came while the exit handlers take
       the process apart would run its handler over objects already destroyed. */
    BlockEndingSignals();
    OVAbnormalEnd();
    fflush(stdout);
    exit(nStatus);
}

void OVSetSignalEnding(const OVSIGNALENDING *psEnding) {
    psSignalEnding = psEnding != nullptr ? psEnding : &OVLIBRARYENDING;
}

void OVSignalHandler(int nSignal) {
    if (nPendingSignal == 0) {
        nPendingSignal = nSignal;
        /* A remote step may wait on a link that never answers: it ends now, so that the
           program wakes from its wait and ends as it would at a key wait. */
        EndStepGroup();
        return;
    }
    /* The first one has not been answered: the program is blocked, most likely in a child
       it waits for. It ends now, with what a handler may do. */
    EndAtOnce();
    _exit(nSignal);
}

int OVPendingSignal() { return nPendingSignal; }

void OVEndIfSignalled() {
    if (nPendingSignal != 0) OVEndBySignal(nPendingSignal);
}

void OVEndBySignal(int nSignal) {
    BlockEndingSignals();
    const OVSIGNALENDING &sEnding = *psSignalEnding;
    OVAbnormalEnd();
    if (sEnding.pfnLeaveScreen != nullptr) sEnding.pfnLeaveScreen();
    OVLog(OVLOG_ERROR, "%sAbnormal Exit: nSignal: %d.", sEnding.pszLogPrefix, nSignal);
    if (sEnding.pfnFinish != nullptr) sEnding.pfnFinish();
    const char *pszLineEnd = sEnding.bLineFeed ? "\n" : "";
    if (nSignal == SIGINT)
        printf("\n%sTermination due to User Interrupt (Ctrl-c).%s", sEnding.pszLinePrefix,
               pszLineEnd);
    else
        printf("\n%sError Termination.  Return Code: %d.%s", sEnding.pszLinePrefix, nSignal,
               pszLineEnd);
    OVFatalExit(nSignal);
}

void OVInstallSignalHandlers(void (*pfnHandler)(int)) {
    KeepStartModes();
    InstallFatalHandlers();
    struct sigaction sAction {};
    sAction.sa_handler = pfnHandler;
    /* The recording handler returns: what the program was reading or waiting for goes on,
       and the program answers the signal at its next wake-up. */
    sAction.sa_flags = SA_RESTART;
    sigemptyset(&sAction.sa_mask);
    for (int nSignal : anEndingSignal) sigaddset(&sAction.sa_mask, nSignal);
    for (int nSignal : anEndingSignal) sigaction(nSignal, &sAction, nullptr);
}

int OVCheckPointers(const char *pszFunction,
                    std::initializer_list<std::pair<const char *, const void *>> asArgument) {
    for (const auto &sArgument : asArgument)
        if (sArgument.second == nullptr) {
            OVLog(OVLOG_ERROR, "%s: %s NULL pointer: %p.", pszFunction, sArgument.first,
                  sArgument.second);
            return OVRC_ERROR;
        }
    return OVRC_OK;
}
