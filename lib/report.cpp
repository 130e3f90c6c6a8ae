/*
 * report.cpp - a report (a title and a block of text) saved to a file or sent to lpr.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {


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

int SaveTempDataFile(const char *pszTempFile, const char *pszTitle, const char *pszData) {
    OVTraceStart("SaveTempDataFile", "pszTempFile: %s, pszTitle: %s.",
                 pszTempFile ? pszTempFile : "(null)", pszTitle ? pszTitle : "(null)");
    if (OVCheckPointers("SaveTempDataFile", {{"pszTempFile", pszTempFile},
                                           {"pszTitle", pszTitle},
                                           {"pszData", pszData}}) != OVRC_OK)
        return OVTraceEnd("SaveTempDataFile", OVRC_ERROR);
    std::string sReport = std::string(pszTitle) + ":\n\n" + pszData;
    if (OVReplaceFile(pszTempFile, sReport, 0666) != 0) {
        OVLog(OVLOG_ERROR, "SaveTempDataFile: Unable to create file: %s.\n", pszTempFile);
        return OVTraceEnd("SaveTempDataFile", OVRC_ERROR);
    }
    return OVTraceEnd("SaveTempDataFile", OVRC_OK);
}

int PrintData(const char *pszTitle, const char *pszData) {
    OVTraceStart("PrintData", "pszTitle: %s.", pszTitle ? pszTitle : "(null)");
    if (OVCheckPointers("PrintData", {{"pszTitle", pszTitle}, {"pszData", pszData}}) != OVRC_OK)
        return OVTraceEnd("PrintData", OVRC_ERROR);

    char szErrorFile[64];
    snprintf(szErrorFile, sizeof(szErrorFile), "/tmp/OrvikError.%d.Print.txt",
             nPid != 0 ? nPid : static_cast<int>(getpid()));
    std::string sCommand = "lpr 2>" + OVShellWord(szErrorFile);

    /* lpr's error output goes into a file of ours, never through a link planted there. */
    if (OVClaimTempFile(szErrorFile) != OVRC_OK) {
        OVLog(OVLOG_ERROR, "PrintData: Unable to print data.  Title: %s.\n", pszTitle);
        return OVTraceEnd("PrintData", OVRC_ERROR);
    }
    OVTempFileGuard sErrorGuard(szErrorFile);
    IgnoreBrokenPipe sIgnore;
    fflush(nullptr);
    FILE *pPipe = popen(sCommand.c_str(), "w");
    if (pPipe == nullptr) {
        OVLog(OVLOG_ERROR, "PrintData: Unable to print data.  Title: %s.\n", pszTitle);
        return OVTraceEnd("PrintData", OVRC_ERROR);
    }
    std::size_t nLength = strlen(pszData);
    fputs(pszTitle, pPipe);
    fputs("\n\n", pPipe);
    std::size_t nWritten = fwrite(pszData, 1, nLength, pPipe);
    int nRc = OVRC_OK;
    if (nWritten != nLength) {
        OVLog(OVLOG_ERROR, "PrintData: Print count: %d does not match print data: %d.  Title: "
              "%s.\n", static_cast<int>(nWritten), static_cast<int>(nLength), pszTitle);
        nRc = OVRC_ERROR;
    } else {
        fputs("\n", pPipe);
        if (fflush(pPipe) != 0) {
            OVLog(OVLOG_ERROR, "PrintData: Unable to print data.  Title: %s.\n", pszTitle);
            nRc = OVRC_ERROR;
        }
    }
    /* The pipe is closed in every case, so lpr is waited for and nothing is left behind. */
    int nStatus = pclose(pPipe);
    if (nRc == OVRC_OK && nStatus != 0) {
        OVLog(OVLOG_ERROR, "PrintData: lpr refused the job, status: %d, error: %s.  Title: %s.\n",
              nStatus, FirstLine(szErrorFile).c_str(), pszTitle);
        nRc = OVRC_ERROR;
    }
    int nRemove = remove(szErrorFile);
    if (nRemove != 0 && errno != ENOENT) {
        OVLog(OVLOG_ERROR, "PrintData: Unable to delete Print Error file: %s, nRc: %d.",
              szErrorFile, nRemove);
        if (nRc == OVRC_OK) nRc = OVRC_ERROR;
    }
    return OVTraceEnd("PrintData", nRc);
}
