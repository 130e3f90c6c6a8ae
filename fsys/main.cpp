/*
 * main.cpp - the frame of orvikfsys: interrupt handler, start-up, the listing loop, clean-up.
 * The exit status is the code of Initialize when it fails, else that of Process_Request; a
 * status of 8 comes after a red box that said why.
 */
#include "orvikfsys.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char *const apszHelpLines[] = {
    "",
    "orvikfsys provides the following runtime options:",
    "         help:        Will provide this help information.",
    "         debug:       Will provide diagnosic information.",
    nullptr};

const OVTOOLSTARTUP sStartup = {
    "orvikfsys",
    "\nDebugging has been set by ORVIKDEBUG environment variable.\n",
    "\nDumping has been set by ORVIKDUMP environment variable.\n",
    "Debugging has been set.\n",
    "Dump processsing has been set.\n",
    "orvikfsys Initialize: No help information provided for -help parameter.%s",
    apszHelpLines,
    131072, /* a zeroed block ... */
    16000,  /* ... of which at most this much is filled */
    true};

/* Removes one listing file and clears its name; a file that is not there counts as removed. */
int RemoveListingFile(char *pszFile)
{
    if (pszFile[0] == '\0') return OVRC_OK;
    OVForgetTempFile(pszFile);
    int nRc = std::remove(pszFile);
    if (nRc != 0 && errno != ENOENT) {
        OVLog(OVLOG_ERROR, "orvikfsys Finish: Unable to remove temporary file: %-.44s, nRc: %d.",
              pszFile, nRc);
        return nRc;
    }
    pszFile[0] = '\0';
    return OVRC_OK;
}

}  // namespace

int Initialize(int argc, char **argv)
{
    nMyPid = static_cast<int>(getpid());
    std::snprintf(szTempFile, sizeof szTempFile, "/tmp/Orvikfsys.%d.%d.Temp.txt", nMyPid,
                  nFileSequence);
    std::snprintf(szErrorFile, sizeof szErrorFile, "/tmp/Orvikfsys.%d.%d.Error.txt", nMyPid,
                  nFileSequence);

    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc != OVRC_OK) return nRc;
    OVLogArguments("Input Arguments follow:\n", argc, argv);
    nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Initialize: LoadConfigurationValues failed, nRc: %d.", nRc);
        OVShowFailure(OVConfigurationFailure().c_str(), false);
        return OVEXIT_SHOWN;
    }
    nFolderLevel = 0;
    OVCopyText(asFolder[0].szPath, sizeof asFolder[0].szPath, "/");
    return OVRC_OK;
}

int Finish()
{
    OVTraceStart("orvikfsys Finish", "pFileData: %p.", static_cast<void *>(pFileData));
    std::free(pFileData);
    pFileData = nullptr;
    int nRc = RemoveListingFile(szTempFile);
    if (nRc == OVRC_OK) nRc = RemoveListingFile(szErrorFile);
    std::free(pszHelpInfo);
    pszHelpInfo = nullptr;
    return OVTraceEnd("orvikfsys Finish", nRc);
}

int main(int argc, char **argv)
{
    OVInstallSignalHandlers(OVSignalHandler);
    int nRc = Initialize(argc, argv);
    if (nRc == OVRC_OK) nRc = Process_Request();
    OVShowFailureBeforeEnd(nRc);
    Finish();
    return nRc;
}
