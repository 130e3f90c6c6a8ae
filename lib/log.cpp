/*
 * log.cpp - the message log shared by every program, memory dumps, the interrupt handler
 * and the one fatal path.
 *
 * Each message is one line appended with a single write to a file opened in append mode,
 * so a parent and its children can log into the same file in turn without a lock.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <curses.h>
#include <fcntl.h>
#include <string>
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

bool WriteAll(int fd, const std::string &sLine) {
    const char *p = sLine.data();
    std::size_t nLeft = sLine.size();
    while (nLeft > 0) {
        ssize_t n = write(fd, p, nLeft);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        nLeft -= static_cast<std::size_t>(n);
    }
    return true;
}

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
    std::string sLine = szStamp;
    sLine += LevelLabel(nLevel);
    sLine.append(sMessage.substr(0, OVUtf8Prefix(sMessage, OVMAXMESSAGE)));
    sLine += '\n';

    /* In the shared /tmp a link at the log's name is somebody else's trap, never followed. */
    int nFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    if (strncmp(szLogFile, "/tmp/", 5) == 0) nFlags |= O_NOFOLLOW;
    int fd = open(szLogFile, nFlags, 0666);
    if (fd < 0) {
        fputs("Orvik Unable to create or update Message Log file.\n", stdout);
        fflush(stdout);
        return OVRC_OK;
    }
    WriteAll(fd, sLine);
    close(fd);
    return OVRC_OK;
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
    FormatInto(szArguments, sizeof(szArguments), pszFormat != nullptr ? pszFormat : "", args);
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

void OVRestoreTerminal() {
    struct termios sTerm;
    if (tcgetattr(STDIN_FILENO, &sTerm) == 0) {
        sTerm.c_lflag |= ECHO | ICANON;
        tcsetattr(STDIN_FILENO, TCSANOW, &sTerm);
    }
    if (stdscr != nullptr && !isendwin()) endwin();
}

void OVFatalExit(int nStatus) {
    OVRestoreTerminal();
    fflush(stdout);
    exit(nStatus);
}

void OVSignalHandler(int nSignal) {
    OVRestoreTerminal();
    OVLog(OVLOG_ERROR, "Abnormal Exit: nSignal: %d.", nSignal);
    if (nSignal == SIGINT)
        fputs("\nTermination due to User Interrupt (Ctrl-c).", stdout);
    else
        printf("\nError Termination.  Return Code: %d.", nSignal);
    fflush(stdout);
    exit(nSignal);
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
