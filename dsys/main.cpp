/*
 * main.cpp - orvikdsys's own parts of the tool frame (OVRunTool): its texts, Initialize,
 * Finish and its wording on a signal, whose ending runs Finish too. The exit status is the
 * first non-zero code of Initialize, Get_Hardware_Info and Process_Request: 1 after the help
 * text, 8 after a failure (said in a red box first), 9 after Exit, else 0. "--help" and "-h"
 * print the usage text and end with 0 before anything else.
 */
#include "orvikdsys.h"

#include <cstdio>
#include <cstdlib>

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
    true,    /* the text after "-help" is never an option itself */
    "orvikdsys Initialize: Input Arguments follow:"};

/* The step after Get_Hardware_Info: the report panel. It lives here, not in the core
   library, because orvikconn links that library and has a step of the same name. */
int Process_Request()
{
    OVTraceStart("orvikdsys Process_Request", "szClass: %s, szTitle: %s.", szClass, szTitle);
    return OVTraceEnd("orvikdsys Process_Request", ShowReport());
}

/* What --help and -h print. */
const char *const apszUsageLines[] = {
    "Usage: orvikdsys REPORT|-class CLASS [debug] [dump] [help] [-help TEXT]",
    "Shows one report about this system (or the connected one) page by page.",
    "",
    "Options:",
    "  REPORT       -short -network -mdmi -mboard -pmarray -dmemory -umemory -ememory",
    "               -fmemory -bios -blkdevices -partitions -slot -baseboard -cache",
    "               -connector -cpu (any case; the last one given counts)",
    "  -class CLASS the devices of one lshw class: address bridge bus communication",
    "               disk display generic input memory multimedia network power",
    "               printer processor storage system tape volume",
    "  debug        log every step (also ORVIKDEBUG=Yes)",
    "  dump         dump panel storage into the log (also ORVIKDUMP=Yes)",
    "  help         print a short summary of the options and end with 1",
    "  -help TEXT   the text of the Help button (at most 16000 characters)",
    "  --help, -h   print this text and end with 0",
    "Keys:",
    "  Tab, arrows  move between buttons                Enter, click  choose",
    "  Forward      next page                           Backward  previous page",
    "  PgDn, PgUp   next, previous page                 Home, End  first, last page",
    "  Enter        after Forward or Backward, turns the next page the same way",
    "  Save, Print  write the report to /tmp or print it, then end",
    "  Return, Esc  end with 0                          Exit  end with 9, and the menu",
    "  Ctrl-c       end at once",
    "Files:",
    "  config.ini in $ORVIKDIR (./config.ini without it), log /tmp/OrvikLog.txt",
    "  (ORVIKLOGFILE), saved report /tmp/OrvikDsys.OPTION.YYYYMMDD.HHMMSS.txt",
    "Manual: man orvikdsys",
    nullptr};

}  // namespace


int Initialize(int argc, char **argv)
{
    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc != OVRC_OK)
        return nRc;
    TakeDateAndTime();
    nRc = ReadReportOptions(argc, argv);
    if (nRc != OVRC_OK)
        return nRc;
    TakePanelSize();

    nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK) {
        /* The loader has logged why; the box says it. */
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
    OVFreeHelpText();
    if (psPabi != nullptr) {
        PABI *psPanel = psPabi;
        psPabi = nullptr;
        OVDeletePanel(psPanel);
    }
    return OVTraceEnd("orvikdsys Finish", OVRC_OK);
}

int main(int argc, char **argv)
{
    static const OVTOOLFRAME sFrame = {
        apszUsageLines, Initialize, {Get_Hardware_Info, Process_Request}, Finish,
        {"orvikdsys ", "Orvik orvikdsys ", true, nullptr, Finish}};
    return OVRunTool(&sFrame, argc, argv);
}
