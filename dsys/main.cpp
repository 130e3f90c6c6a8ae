/*
 * main.cpp - the frame of orvikdsys: interrupt handler, start-up, the command, the report
 * panel, clean-up. The exit status is the first non-zero code of Initialize,
 * Get_Hardware_Info and Process_Request: 1 after the help text, 8 after a failure (said in
 * a red box first), 9 after Exit, else 0. "--help" and "-h" print the usage text and end
 * with 0 before anything else.
 */
#include "orvikdsys.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

const char *const apszHelpLines[] = {
    "",
    "orvikdsys provides the following runtime options:",
    "         help:        Will provide this help information.",
    "         debug:       Will provide diagnosic information.",
    nullptr};

const OVTOOLSTARTUP sStartup = {
    "orvikdsys",
    "\nDebugging has been set by ORVIKDEBUG environment variable.\n",
    "\nDumping has been set by ORVIKDUMP environment variable.\n",
    "Debugging has been set.\n",
    "Dump processsing has been set.\n",
    "orvikdsys Initialize: Invalid help parameter specified: .",
    apszHelpLines,
    16384,   /* a zeroed block of 16384 bytes */
    16000,   /* of which at most 16000 characters are filled */
    true};   /* the text after "-help" is never an option itself */

void TakeDateAndTime()
{
    std::time_t nNow = std::time(nullptr);
    std::tm sNow{};
    localtime_r(&nNow, &sNow);
    std::snprintf(szDate, sizeof szDate, "%.4d%.2d%.2d", sNow.tm_year + 1900, sNow.tm_mon + 1,
                  sNow.tm_mday);
    std::snprintf(szTime, sizeof szTime, "%.2d%.2d%.2d", sNow.tm_hour, sNow.tm_min, sNow.tm_sec);
}

const char szUsage[] =
    "Usage: orvikdsys REPORT|-class CLASS [debug] [dump] [help] [-help TEXT]\n"
    "Shows one report about this system (or the connected one) page by page.\n"
    "\n"
    "Options:\n"
    "  REPORT       -short -network -mdmi -mboard -pmarray -dmemory -umemory -ememory\n"
    "               -fmemory -bios -blkdevices -partitions -slot -baseboard -cache\n"
    "               -connector -cpu (any case; the last one given counts)\n"
    "  -class CLASS the devices of one lshw class: address bridge bus communication\n"
    "               disk display generic input memory multimedia network power\n"
    "               printer processor storage system tape volume\n"
    "  debug        log every step (also ORVIKDEBUG=Yes)\n"
    "  dump         dump panel storage into the log (also ORVIKDUMP=Yes)\n"
    "  help         print a short summary of the options and end with 1\n"
    "  -help TEXT   the text of the Help button (at most 16000 characters)\n"
    "  --help, -h   print this text and end with 0\n"
    "Keys:\n"
    "  Tab, arrows  move between buttons                Enter, click  choose\n"
    "  Forward      next page                           Backward  previous page\n"
    "  Save, Print  write the report to /tmp or print it, then end\n"
    "  Return       end with 0                          Exit  end with 9, and the menu\n"
    "  Ctrl-c       end at once\n"
    "Files:\n"
    "  config.ini in $ORVIKDIR (./config.ini without it), log /tmp/OrvikLog.txt\n"
    "  (ORVIKLOGFILE), saved report /tmp/OrvikDsys.OPTION.YYYYMMDD.HHMMSS.txt\n"
    "Manual: man orvikdsys\n";

}  // namespace


int Initialize(int argc, char **argv)
{
    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc != OVRC_OK)
        return nRc;
    TakeDateAndTime();
    OVLogArguments("orvikdsys Initialize: Input Arguments follow:", argc, argv);
    nRc = ReadReportOptions(argc, argv);
    if (nRc != OVRC_OK)
        return nRc;
    TakePanelSize();

    nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikdsys Initialize: LoadConfigurationValues failed, nRc: %d.", nRc);
        OVShowFailure(OVConfigurationFailure().c_str(), false);
        return OVEXIT_SHOWN;
    }
    if (psConnectedSystem != nullptr && szTitle[0] != '\0') {
        std::string sTitle = std::string(szTitle) + ": " + psConnectedSystem->szIP;
        OVCopyText(szTitle, sizeof szTitle, sTitle.c_str());
    }
    if (bDebug)
        OVLog(OVLOG_DEBUG, "orvikdsys Initialize: szClass: %s, szTitle: %s, size: %dx%d.",
              szClass, szTitle, sPanelSize.nRows, sPanelSize.nColumns);
    return OVRC_OK;
}

int Finish()
{
    OVTraceStart("orvikdsys Finish", "psPabi: %p.", static_cast<void *>(psPabi));
    std::free(pszSystemInfo);
    pszSystemInfo = nullptr;
    std::free(pszHelpInfo);
    pszHelpInfo = nullptr;
    if (psPabi != nullptr) {
        PABI *psPanel = psPabi;
        psPabi = nullptr;
        OVDeletePanel(psPanel);
    }
    return OVTraceEnd("orvikdsys Finish", OVRC_OK);
}

namespace {

/* Any ending signal waits while this runs; the last line is written past stdio. */
void SignalHandler(int nSignal)
{
    OVAbnormalEnd();
    OVLog(OVLOG_ERROR, "orvikdsys Abnormal Exit: nSignal: %d.", nSignal);
    Finish();
    char szLine[96];
    int nLength = nSignal == SIGINT
                      ? std::snprintf(szLine, sizeof szLine,
                                      "\nOrvik orvikdsys Termination due to User Interrupt (Ctrl-c).\n")
                      : std::snprintf(szLine, sizeof szLine,
                                      "\nOrvik orvikdsys Error Termination.  Return Code: %d.\n",
                                      nSignal);
    (void)!write(STDOUT_FILENO, szLine, static_cast<std::size_t>(nLength));
    _exit(nSignal);
}

}  // namespace

int main(int argc, char **argv)
{
    if (OVUsageAsked(argc, argv)) {
        std::fputs(szUsage, stdout);
        return std::fflush(stdout) == 0 ? OVRC_OK : OVRC_ERROR;
    }
    OVInstallSignalHandlers(SignalHandler);
    int nRc = Initialize(argc, argv);
    if (nRc == OVRC_OK)
        nRc = Get_Hardware_Info();
    if (nRc == OVRC_OK)
        nRc = Process_Request();
    OVShowFailureBeforeEnd(nRc);
    Finish();
    return nRc;
}
