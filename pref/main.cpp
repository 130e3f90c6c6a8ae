/*
 * main.cpp - orvikpref's own parts of the tool frame (OVRunTool): its texts, Initialize and
 * Finish. The exit status is the code of the last step that ran: 0 after Return or --help,
 * 9 after Exit, 1 after the help text, 8 or another code after a failure.
 */
#include "orvikpref.h"

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
    "Error: orvikpref Initialize: Invalid help parameter specified: .",
    apszHelpLines,
    0,  /* the help text is kept at exactly its own length */
    0,
    false,
    "Input Arguments follow:\n"};

/* What --help and -h print. */
const char *const apszUsageLines[] = {
    "Usage: orvikpref [debug] [dump] [help] [-help TEXT]",
    "Shows the colours and the attribute of every Orvik display group, and lets you change them.",
    "",
    "Options:",
    "  debug        log every step (also ORVIKDEBUG=Yes)",
    "  dump         dump panel storage into the log when a panel is deleted (also ORVIKDUMP=Yes)",
    "  help         print the short summary of the options and end with 1",
    "  -help TEXT   the text shown by the Help button",
    "  --help, -h   print this text and end with 0",
    "Keys:",
    "  Tab, arrows  move between fields and buttons     Enter, click  choose",
    "  Enter on a pulldown opens it; Tab, arrows and Enter take a choice, which is stored at once",
    "  Escape       closes an open pulldown without a choice; otherwise as Return",
    "  Ctrl-c       end at once",
    "Files:",
    "  config.ini in $ORVIKDIR (default ./config.ini), log /tmp/OrvikLog.txt (ORVIKLOGFILE),",
    "  or $XDG_STATE_HOME/orvik/OrvikLog.txt when that one is refused",
    "Manual: man orvikpref",
    nullptr};

}  // namespace

int Initialize(int argc, char **argv)
{
    return OVToolStartup(&sStartup, argc, argv);
}

int Finish()
{
    return OVFinishTool("orvikpref");
}

int main(int argc, char **argv)
{
    static const OVTOOLFRAME sFrame = {apszUsageLines, Initialize, {Process_Request, nullptr},
                                       Finish, OVLIBRARYENDING};
    return OVRunTool(&sFrame, argc, argv);
}
