/*
 * report.cpp - a report (a title and a block of text) saved to a file or sent to lpr, and
 * the private files that hold a user's results in a shared folder such as /tmp.
 *
 * A file the user keeps in /tmp is created exclusively, mode 0600, never through a link.
 * A name already taken is replaced only when it is the user's own regular file with a
 * single link, by a temporary file written beside it and renamed over it once whole.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {


/* Writes the text and closes the descriptor; the first failure decides. 0, or errno. */
int WriteAndClose(int fd, std::string_view sContent) {
    int nError = OVWriteAll(fd, sContent);
    if (close(fd) != 0 && nError == 0) nError = errno;
    return nError;
}

bool SameEntry(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}


/* Ignores SIGPIPE while it lives, so an lpr that ends early cannot end the program. */
class IgnoreBrokenPipe {
  public:
    IgnoreBrokenPipe() {
        struct sigaction sIgnore {};
        sIgnore.sa_handler = SIG_IGN;
        sigemptyset(&sIgnore.sa_mask);
        sigaction(SIGPIPE, &sIgnore, &sOld);
    }
    ~IgnoreBrokenPipe() { sigaction(SIGPIPE, &sOld, nullptr); }
    IgnoreBrokenPipe(const IgnoreBrokenPipe &) = delete;
    IgnoreBrokenPipe &operator=(const IgnoreBrokenPipe &) = delete;

  private:
    struct sigaction sOld {};
};

/* The first line lpr wrote to its error file, for the log. */
std::string FirstLine(const char *pszPath) {
    std::string sLine;
    if (FILE *pFile = fopen(pszPath, "r")) {
        char szLine[512];
        if (fgets(szLine, sizeof(szLine), pFile) != nullptr) sLine = szLine;
        fclose(pFile);
    }
    if (!sLine.empty() && sLine.back() == '\n') sLine.pop_back();
    return sLine;
}

} // namespace

int OVWritePrivateFile(const char *pszPath, std::string_view sContent, std::string *psWhy) {
    if (psWhy != nullptr) psWhy->clear();
    if (pszPath == nullptr || *pszPath == '\0') return EINVAL;
    std::string sWhy;
    int nError = 0;
    int fd = open(pszPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        nError = WriteAndClose(fd, sContent);
        if (nError != 0) unlink(pszPath); /* made by this call: no half file is left */
    } else if (errno != EEXIST) {
        nError = errno;
    } else {
        struct stat sTaken;
        const char *pszRefused = nullptr;
        if (lstat(pszPath, &sTaken) != 0) {
            nError = errno;
        } else if ((pszRefused = OVRefusedEntry(sTaken)) != nullptr) {
            nError = EEXIST;
            sWhy = pszRefused;
        } else {
            std::string sTemp = std::string(pszPath) + ".XXXXXX";
            fd = mkostemp(sTemp.data(), O_CLOEXEC);
            nError = fd < 0 ? errno : WriteAndClose(fd, sContent);
            /* Only the file looked at is replaced: in a sticky folder nobody else can swap
               it, but another program of this user might have. */
            struct stat sNow;
            if (nError == 0 && (lstat(pszPath, &sNow) != 0 || !SameEntry(sNow, sTaken) ||
                                OVRefusedEntry(sNow) != nullptr)) {
                nError = EEXIST;
                sWhy = "changed while it was written";
            }
            if (nError == 0 && rename(sTemp.c_str(), pszPath) != 0) nError = errno;
            if (nError != 0 && fd >= 0) unlink(sTemp.c_str());
        }
    }
    if (nError != 0 && sWhy.empty()) sWhy = strerror(nError);
    if (psWhy != nullptr && nError != 0) *psWhy = sWhy;
    return nError;
}

int SaveTempDataFile(const char *pszTempFile, const char *pszTitle, const char *pszData,
                     std::string *psWhy) {
    OVTraceStart("SaveTempDataFile", "pszTempFile: %s, pszTitle: %s.",
                 pszTempFile ? pszTempFile : "(null)", pszTitle ? pszTitle : "(null)");
    if (OVCheckPointers("SaveTempDataFile", {{"pszTempFile", pszTempFile},
                                           {"pszTitle", pszTitle},
                                           {"pszData", pszData}}) != OVRC_OK)
        return OVTraceEnd("SaveTempDataFile", OVRC_ERROR);
    std::string sReport = std::string(pszTitle) + ":\n\n" + pszData;
    std::string sWhy;
    int nError = OVWritePrivateFile(pszTempFile, sReport, &sWhy);
    if (psWhy != nullptr) *psWhy = sWhy;
    if (nError == EEXIST) {
        OVLog(OVLOG_ERROR, "SaveTempDataFile: Refusing to replace file: %s: %s.", pszTempFile,
              sWhy.c_str());
        return OVTraceEnd("SaveTempDataFile", OVRC_ERROR);
    }
    if (nError != 0) {
        OVLog(OVLOG_ERROR, "SaveTempDataFile: Unable to create file: %s.\n", pszTempFile);
        return OVTraceEnd("SaveTempDataFile", OVRC_ERROR);
    }
    return OVTraceEnd("SaveTempDataFile", OVRC_OK);
}

int PrintData(const char *pszTitle, const char *pszData, std::string *psWhy) {
    OVTraceStart("PrintData", "pszTitle: %s.", pszTitle ? pszTitle : "(null)");
    std::string sWhy;
    /* Whatever way the function leaves, the caller gets the reason in words. */
    struct WhyOut {
        std::string *psOut;
        const std::string &sText;
        ~WhyOut() {
            if (psOut != nullptr) *psOut = sText;
        }
    } sWhyOut{psWhy, sWhy};
    if (OVCheckPointers("PrintData", {{"pszTitle", pszTitle}, {"pszData", pszData}}) != OVRC_OK)
        return OVTraceEnd("PrintData", OVRC_ERROR);

    char szErrorFile[64];
    snprintf(szErrorFile, sizeof(szErrorFile), "/tmp/OrvikError.%d.Print.txt",
             nPid != 0 ? nPid : static_cast<int>(getpid()));
    std::string sCommand = "lpr 2>" + OVShellWord(szErrorFile);

    /* lpr's error output goes into a file of ours, never through a link planted there. */
    if (OVClaimTempFile(szErrorFile) != OVRC_OK) {
        sWhy = std::string("the error file ") + szErrorFile + " cannot be made";
        OVLog(OVLOG_ERROR, "PrintData: Unable to print data.  Title: %s.\n", pszTitle);
        return OVTraceEnd("PrintData", OVRC_ERROR);
    }
    OVTempFileGuard sErrorGuard(szErrorFile);
    IgnoreBrokenPipe sIgnore;
    fflush(nullptr);
    FILE *pPipe = popen(sCommand.c_str(), "w");
    if (pPipe == nullptr) {
        sWhy = std::string("lpr cannot be started: ") + strerror(errno);
        OVLog(OVLOG_ERROR, "PrintData: Unable to print data.  Title: %s.\n", pszTitle);
        return OVTraceEnd("PrintData", OVRC_ERROR);
    }
    std::size_t nLength = strlen(pszData);
    fputs(pszTitle, pPipe);
    fputs("\n\n", pPipe);
    std::size_t nWritten = fwrite(pszData, 1, nLength, pPipe);
    const bool bShort = nWritten != nLength;
    int nFlushError = 0;
    if (!bShort) {
        fputs("\n", pPipe);
        if (fflush(pPipe) != 0) nFlushError = errno;
    }
    /* The pipe is closed in every case, so lpr is waited for and nothing is left behind;
       only then is the reason known, and the one line logged carries it. */
    int nStatus = pclose(pPipe);
    OVEndIfSignalled();
    const std::string sError = nStatus != 0 ? FirstLine(szErrorFile) : "";
    int nRc = OVRC_OK;
    if (bShort) {
        OVLog(OVLOG_ERROR, "PrintData: Print count: %d does not match print data: %d.  Title: "
              "%s.\n", static_cast<int>(nWritten), static_cast<int>(nLength), pszTitle);
        nRc = OVRC_ERROR;
        /* lpr's own words say more than a short write that its ending caused. */
        sWhy = !sError.empty() ? sError
                               : "lpr took " + std::to_string(nWritten) + " of " +
                                     std::to_string(nLength) + " bytes";
    } else if (nStatus != 0) {
        /* lpr's sentence may bring its own full stop. */
        std::string_view sSaid = sError;
        if (!sSaid.empty() && sSaid.back() == '.') sSaid.remove_suffix(1);
        OVLog(OVLOG_ERROR, "PrintData: lpr refused the job, status: %d, error: %.*s.  Title: %s.",
              nStatus, static_cast<int>(sSaid.size()), sSaid.data(), pszTitle);
        nRc = OVRC_ERROR;
        sWhy = !sError.empty() ? sError : "lpr refused the job, status " + std::to_string(nStatus);
    } else if (nFlushError != 0) {
        sWhy = std::string("lpr did not take the report: ") + strerror(nFlushError);
        OVLog(OVLOG_ERROR, "PrintData: Unable to print data: %s.  Title: %s.", sWhy.c_str(),
              pszTitle);
        nRc = OVRC_ERROR;
    }
    int nRemove = remove(szErrorFile);
    if (nRemove != 0 && errno != ENOENT) {
        OVLog(OVLOG_ERROR, "PrintData: Unable to delete Print Error file: %s, nRc: %d.",
              szErrorFile, nRemove);
        if (nRc == OVRC_OK) {
            nRc = OVRC_ERROR;
            sWhy = std::string("the error file ") + szErrorFile + " cannot be removed";
        }
    }
    return OVTraceEnd("PrintData", nRc);
}
