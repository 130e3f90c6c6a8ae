/*
 * main.cpp - orvikconn's own parts of the tool frame (OVRunTool): its texts, Initialize and
 * Finish. The exit status is the code of the last step that ran: 0 after Return or --help,
 * 9 after Exit, 1 after the help text, 8 or another code after a failure.
 */
#include "orvikconn.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *const apszHelpLines[] = {
    "",
    "orvikconn provides the following runtime options:",
    "",
    "         help:        Will provide this help information.",
    "         debug:       Will provide diagnostic information",
    "         dump:        Will dump the panel storage into the log",
    "         -help text:  The text shown by the Help button",
    "",
    nullptr};

const OVTOOLSTARTUP sStartup = {
    "orvikconn",
    "\nDebugging has been set by ORVIKDEBUG environment variable.\n",
    "\nDumping has been set by ORVIKDUMP environment variable.\n",
    "Debugging has been set.\n",
    "Dump processing has been set.\n",
    "Error: orvikconn Initialize: Invalid help parameter specified: .",
    apszHelpLines,
    0,  /* the help text is kept at exactly its own length */
    0,
    false,
    "Input Arguments follow:\n"};

/* What Help shows when no "-help" text was given, as when the program is started alone. */
const char szDefaultHelp[] =
    "Enter or a click on a line selects that system; the buttons act on it.\n"
    "New enters a system, Edit changes the selected one, Delete removes it.\n"
    "Ping runs true on it through ssh, without prompts, and stamps LastPing.\n"
    "Trust shows its host key fingerprints; only when you confirm are the keys\n"
    "added to the known-hosts file ssh reads, and LastTrust stamped. A key that\n"
    "differs from the one trusted before shows as CHANGED, and is replaced only\n"
    "after a second confirmation.\n"
    "Connect makes it the system that the other programs run their commands on;\n"
    "Disconnect makes everything run locally again.\n"
    "/ filters the list by name or address as you type: Enter keeps the filter,\n"
    "Escape or Backspace on an empty filter removes it. s sorts the list by name,\n"
    "by last ping or as entered. PgDn, PgUp, Home and End turn pages. Escape removes\n"
    "a kept filter first, then goes back as Return does (Cancel on a confirmation).\n"
    "Space or a click left of a name marks it; a marks all shown, again none.\n"
    "Marked, Ping and Trust act on all at once (a changed key is never trusted\n"
    "in a batch), and Run runs a command or a report option (-cpu) on them or a\n"
    "typed node set; Enter shows a group, d its diff, Save writes text and JSON.\n"
    "Stamps are UTC: 20261208T141503Z is 8 December 2026, 14:15:03.";

/* What --help and -h print. */
const char *const apszUsageLines[] = {
    "Usage: orvikconn [debug] [dump] [help] [-help TEXT] [-fanout N]",
    "Shows the remote systems of config.ini; enters, changes, pings, trusts and connects them.",
    "",
    "Options:",
    "  debug        log every step (also ORVIKDEBUG=Yes)",
    "  dump         dump panel storage into the log when a panel is deleted (also ORVIKDUMP=Yes)",
    "  help         print the short summary of the options and end with 1",
    "  -help TEXT   the text shown by the Help button",
    "  -fanout N    Ping, Trust and Run reach at most N systems at once (1 to 1024; default",
    "               64, or ORVIKFANOUT)",
    "  --help, -h   print this text and end with 0",
    "Keys:",
    "  Tab, arrows  move between lines, fields and buttons     Enter, click  choose",
    "  typing       edits an entry field; Left, Right, Home, End move in it; Backspace and",
    "               Delete erase a character",
    "  /            filter the list by name or address: Enter keeps it, Escape removes it",
    "  s            sort the list by name, by last ping, or as entered",
    "  PgDn, PgUp   next, previous page                        Home, End  first, last page",
    "  Escape       back, as Return (Cancel on a confirmation; not on the entry screen)",
    "  any key      closes a message box                       Ctrl-c  end at once",
    "Files:",
    "  config.ini in $ORVIKDIR (default ./config.ini), log /tmp/OrvikLog.txt (ORVIKLOGFILE),",
    "  or $XDG_STATE_HOME/orvik/OrvikLog.txt when that one is refused; ~/.ssh/known_hosts",
    "  (or the files UserKnownHostsFile names) receives trusted host keys",
    "Manual: man orvikconn",
    nullptr};

}  // namespace

/* "-fanout N": the systems a run on many reaches at once, handed to the fan-out engine
   through ORVIKFANOUT, which it reads. 0, or 8 for a number out of range (logged). */
int TakeFanout(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcasecmp(argv[i], "-help") == 0) {
            ++i;   /* the Help button's text, never an option */
            continue;
        }
        if (strcasecmp(argv[i], "-fanout") != 0) continue;
        const char *pszValue = i + 1 < argc ? argv[i + 1] : "";
        char *pszEnd = nullptr;
        const long nFanout = std::strtol(pszValue, &pszEnd, 10);
        if (*pszValue == '\0' || *pszEnd != '\0' || nFanout < 1 || nFanout > 1024) {
            OVLog(OVLOG_ERROR,
                  "orvikconn Initialize: -fanout takes a number of systems from 1 to 1024, not "
                  "\"%.40s\".", pszValue);
            return OVRC_ERROR;
        }
        setenv("ORVIKFANOUT", std::to_string(nFanout).c_str(), 1);
        ++i;
    }
    return OVRC_OK;
}

int Initialize(int argc, char **argv)
{
    int nRc = OVToolStartup(&sStartup, argc, argv);
    if (nRc == OVRC_OK) nRc = TakeFanout(argc, argv);
    if (nRc != OVRC_OK) {
        return nRc;
    }
    if (pszHelpInfo == nullptr) {
        pszHelpInfo = strdup(szDefaultHelp);  /* freed by Finish like a given text */
    }
    return OVRC_OK;
}

int Finish()
{
    return OVFinishTool("orvikconn");
}

int main(int argc, char **argv)
{
    static const OVTOOLFRAME sFrame = {apszUsageLines, Initialize, {Process_Request, nullptr},
                                       Finish, OVLIBRARYENDING};
    return OVRunTool(&sFrame, argc, argv);
}
