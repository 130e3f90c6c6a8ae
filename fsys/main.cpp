/*
 * main.cpp - orvikfsys's own parts of the tool frame (OVRunTool): its texts, Initialize and
 * Finish. The exit status is the code of Initialize when it fails, else that of
 * Process_Request; a status of 8 comes after a red box that said why.
 */
#include "orvikfsys.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
    true,
    "Input Arguments follow:\n"};

/* What --help and -h print: the options, the keys as the screens really use them, the files. */
const char *const apszUsageLines[] = {
    "Usage: orvikfsys [debug] [dump] [help] [-help TEXT] [PATH]",
    "Lists the folders of this system, or of the connected remote system, page by page,",
    "and shows a detail page for each file. It starts in PATH when given, else in /.",
    "",
    "Options:",
    "  debug        log every step (also ORVIKDEBUG=Yes)",
    "  dump         dump panel storage into the log when a panel is deleted (also ORVIKDUMP=Yes)",
    "  help         print the short list of runtime options and end with 1",
    "  -help TEXT   the text the Help push button shows (orvik passes its menu item's help)",
    "  --help, -h   print this text and end with 0",
    "Keys:",
    "  Tab, arrows  move between lines and buttons       Enter, click  choose",
    "  a folder     enter it; ../ goes up one folder, ./ lists it afresh",
    "  a file       show its detail page: Browse and Edit open vi, Copy (remote) brings it to /tmp",
    "  Forward      the next page of the folder          Backward  the page before",
    "  PgDn, PgUp   the next page, the page before       Home, End  the first, the last page",
    "  /            filter: type part of a name (any case); Enter keeps it, Escape removes it",
    "  s            sort by name, by time (newest first), by size (largest first)",
    "  .            hide or show the names that start with a dot",
    "  g            go to a folder: type its path, Tab completes a name, Enter lists it",
    "  Help         the help text given with -help",
    "  Return       on the listing: end the browser (back to the menu);",
    "               on a detail page: back to the same page and line of the listing",
    "  Exit         end the browser and, when started from the menu, orvik as well",
    "  Ctrl-c       end at once",
    "Files:",
    "  config.ini in $ORVIKDIR (./config.ini when ORVIKDIR is not set), log",
    "  /tmp/OrvikLog.txt (ORVIKLOGFILE), listing /tmp/Orvikfsys.<pid>.0.Temp.txt,",
    "  /tmp/Orvikfsys.<pid>.0.Error.txt and /tmp/Orvikfsys.<pid>.0.View.txt, removed at the end",
    "Manual: man orvikfsys",
    nullptr};

/* What the Help push button adds to the -help text, or shows without one. */
const char szKeysHelp[] =
    "Keys: / filters the names as you type (Enter keeps the filter, Escape removes it); "
    "s sorts by name, time or size; . hides or shows dot names; g goes to a folder (Tab "
    "completes); PgDn, PgUp, Home and End turn pages.";

/* The help text with the keys after it. */
void AddKeysHelp()
{
    std::string sHelp = pszHelpInfo != nullptr ? std::string(pszHelpInfo) + " " : std::string();
    sHelp += szKeysHelp;
    if (char *pszNew = strdup(sHelp.c_str())) {
        std::free(pszHelpInfo);
        pszHelpInfo = pszNew;
    }
}

/* The PATH word of the command line: the first that is no option (nor -help's text). */
const char *StartPath(int argc, char **argv)
{
    for (int i = 1; i < argc && argv[i] != nullptr; i++) {
        if (strcasecmp(argv[i], "-help") == 0) {
            ++i;
        } else if (strcasecmp(argv[i], "debug") != 0 && strcasecmp(argv[i], "dump") != 0 &&
                   strcasecmp(argv[i], "help") != 0) {
            return argv[i];
        }
    }
    return nullptr;
}

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
    std::snprintf(szViewFile, sizeof szViewFile, "/tmp/Orvikfsys.%d.%d.View.txt", nMyPid,
                  nFileSequence);

    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc != OVRC_OK) return nRc;
    nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK) {
        /* The loader has logged why; the box says it. */
        OVShowFailure(OVConfigurationFailure().c_str(), false);
        return OVEXIT_SHOWN;
    }
    AddKeysHelp();
    sFolderView.Start("/");
    if (const char *pszStart = StartPath(argc, argv)) {
        /* A relative path starts from the working folder here, from / on a remote system. */
        char szHere[FSPATHSIZE] = "/";
        if (psConnectedSystem == nullptr && getcwd(szHere, sizeof szHere) == nullptr)
            OVCopyText(szHere, sizeof szHere, "/");
        const std::string sPath = ResolveFolderPath(pszStart, szHere);
        if (const char *pszWhy = sFolderView.GoTo(sPath))
            OVLog(OVLOG_ERROR, "orvikfsys Initialize: Unable to start in %.300s: %s.",
                  sPath.c_str(), pszWhy);
    }
    return OVRC_OK;
}

int Finish()
{
    OVTraceStart("orvikfsys Finish", "szTempFile: %s.", szTempFile);
    int nRc = RemoveListingFile(szTempFile);
    if (nRc == OVRC_OK) nRc = RemoveListingFile(szErrorFile);
    if (nRc == OVRC_OK) nRc = RemoveListingFile(szViewFile);
    OVFreeHelpText();
    return OVTraceEnd("orvikfsys Finish", nRc);
}

int main(int argc, char **argv)
{
    /* The library's own ending on a signal: no Finish; the listing files are in the table
       of scratch files, which the ending empties. */
    static const OVTOOLFRAME sFrame = {apszUsageLines, Initialize, {Process_Request, nullptr},
                                       Finish, OVLIBRARYENDING};
    return OVRunTool(&sFrame, argc, argv);
}
