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
#include <cstring>
#include <strings.h>
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
    "orvikfsys Initialize: No help information provided for -help parameter.",
    apszHelpLines,
    131072, /* a zeroed block ... */
    16000,  /* ... of which at most this much is filled */
    true};

/* What --help prints: the options, the keys as the screens really use them, the files. */
const char szUsage[] =
    "Usage: orvikfsys [debug] [dump] [help] [-help TEXT]\n"
    "Lists the folders of this system, or of the connected remote system, page by page,\n"
    "and shows a detail page for each file.\n"
    "\n"
    "Options:\n"
    "  debug        log every step (also ORVIKDEBUG=Yes)\n"
    "  dump         dump panel storage into the log when a panel is deleted (also ORVIKDUMP=Yes)\n"
    "  help         print the short list of runtime options and end with 1\n"
    "  -help TEXT   the text the Help push button shows (orvik passes its menu item's help)\n"
    "  --help, -h   print this text and end with 0\n"
    "Keys:\n"
    "  Tab, arrows  move between lines and buttons       Enter, click  choose\n"
    "  a folder     enter it; ../ goes up one folder, ./ lists it afresh\n"
    "  a file       show its detail page: Browse and Edit open vi, Copy (remote) brings it to /tmp\n"
    "  Forward      the next page of the folder          Backward  the page before\n"
    "  Help         the help text given with -help\n"
    "  Return       on the listing: end the browser (back to the menu);\n"
    "               on a detail page: back to the same page and line of the listing\n"
    "  Exit         end the browser and, when started from the menu, orvik as well\n"
    "  Ctrl-c       end at once\n"
    "Files:\n"
    "  config.ini in $ORVIKDIR (./config.ini when ORVIKDIR is not set), log\n"
    "  /tmp/OrvikLog.txt (ORVIKLOGFILE), listing /tmp/Orvikfsys.<pid>.0.Temp.txt and\n"
    "  /tmp/Orvikfsys.<pid>.0.Error.txt, removed at the end\n"
    "Manual: man orvikfsys\n";

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
    if (OVUsageAsked(argc, argv)) {
        std::fputs(szUsage, stdout);
        std::fflush(stdout);
        return FSRC_USAGE;
    }
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
    sFolderView.Start("/");
    return OVRC_OK;
}

int Finish()
{
    OVTraceStart("orvikfsys Finish", "szTempFile: %s.", szTempFile);
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
    if (nRc == FSRC_USAGE) return OVRC_OK;
    if (nRc == OVRC_OK) nRc = Process_Request();
    OVShowFailureBeforeEnd(nRc);
    Finish();
    return nRc;
}
