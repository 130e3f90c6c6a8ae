/*
 * main.cpp - the frame of orvikpref: interrupt handler, start-up, the request loop, clean-up.
 * The exit status is the code of the last step that ran: 0 after Return, 9 after Exit, 1 after
 * the help text, 8 or another code after a failure.
 */
#include "orvikpref.h"

#include <csignal>
#include <cstdlib>

namespace {

const char *const apszHelpLines[] = {
    "",
    "orvikpref provides the following runtime options:",
    "",
    "         help:        Will provide this help information.",
    "         debug:       Will provide diagnosic information",
    "",
    nullptr};

const OVTOOLSTARTUP sStartup = {
    "orvikpref",
    "\nDebugging has been set by ORVIKDEBUG environment variable.\n",
    "\nDumping has been set by ORVIKDUMP environment variable.\n",
    "Debugging has been set.\n",
    "Dump processsing has been set.\n",
    "Error: orvikpref Initialize: Invalid help parameter specified: %s.",
    apszHelpLines,
    0,  /* the help text is kept at exactly its own length */
    0};

}  // namespace

int Initialize(int argc, char **argv)
{
    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc != OVRC_OK) {
        return nRc;
    }
    OVLogArguments("Input Arguments follow:\n", argc, argv);
    return OVRC_OK;
}

int Finish()
{
    OVTraceStart("orvikpref Finish", "pszHelpInfo: %p.", static_cast<void *>(pszHelpInfo));
    std::free(pszHelpInfo);
    pszHelpInfo = nullptr;
    return OVTraceEnd("orvikpref Finish", OVRC_OK);
}

int main(int argc, char **argv)
{
    OVInstallSignalHandlers(OVSignalHandler);
    int nRc = Initialize(argc, argv);
    if (nRc == OVRC_OK) {
        nRc = Process_Request();
    }
    OVShowFailureBeforeEnd(nRc);
    Finish();
    return nRc;
}
