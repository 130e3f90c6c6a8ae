/*
 * orvikconn.h - the connection program: one panel listing the remote systems of config.ini,
 * where the user enters, changes and removes systems, pings them, trusts their host keys and
 * marks one of them as the connected system (or none).
 *
 * main (main.cpp) runs Initialize, then Process_Request (systems.cpp), then Finish.
 * Every screen is one panel: created (which loads config.ini), shown for one response, and
 * deleted (which writes config.ini). The table is changed only between a panel's creation
 * and its deletion, so every change reaches the file through the library's save.
 *
 * records.cpp and remote.cpp hold what needs no screen; they are linked by the unit tests.
 * many.cpp keeps the marks and runs Ping, Run and Trust on many systems through the fan-out
 * engine (fanout.h).
 */
#ifndef ORVIKCONN_H
#define ORVIKCONN_H

#include "orviklib.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

extern PAB *psPab;               /* the panel of the current screen, NULL between screens */

/* main.cpp: switches, "-help" text and help output. 0, 1 (help printed) or 8 (bad "-help"). */
int Initialize(int argc, char **argv);
/* Frees the help text. Always 0. */
int Finish();

/* systems.cpp: shows screen after screen until Return (0) or Exit (9), or a failure code. */
int Process_Request();

/* The screens after the list, each one panel and one response (screens.cpp). They return
   0 to go back to the list, 9 after Exit, or a failure code. */
int Enter_System(int nChanging);     /* -1: a new system; else the index being changed */
struct TRUSTOFFER;
int Confirm_Trust(int nSystem, const TRUSTOFFER &sOffer);
int Confirm_Delete(int nSystem);
/* Builds the panel of a confirmation: title, lines (those that would reach the buttons are
   left out), the confirming button, Cancel, Help and Exit; waits for one choice other than
   Help. *pbConfirmed tells whether pszButton was chosen; the panel stays in psPab for the
   caller, who changes the table and deletes it. 0, 9 after Exit, or a failure code. */
int ConfirmScreen(const std::string &sTitle, const std::vector<std::string> &asLines,
                  unsigned long ulButton, const char *pszButton, bool *pbConfirmed);

/* systems.cpp: the system the list shows as selected (-1: none), on its page. A filter
   that hides it is removed with bUnhide (a system just saved), else the first system of
   the page is selected instead (the neighbour of one just deleted). */
void SelectSystem(int nIndex, bool bUnhide);

/* A request this program turns down itself (nothing below it logged why): the sentence is
   logged and shown in a red box over the current panel. */
void Refuse(const std::string &sMessage);
/* Writes config.ini now, so that a failure can still be shown on the current panel. */
int SaveTable();
/* A plain text field in the Panel group's colours, never cut inside a character: its length
   is nLength or the text's bytes, whichever is more. */
int CreatePanelText(int nRow, int nColumn, int nLength, const char *pszName,
                    const std::string &sValue, unsigned long ulStyle);
/* The name of the field that has the cursor, "" when there is none. */
std::string CurrentFieldName();

/* ------------------------------------------------------------------------------------ */
/* records.cpp - the entered values, their checks, table changes, stamps                */
/* ------------------------------------------------------------------------------------ */

enum ENTRYFIELD { EF_NAME, EF_ADDRESS, EF_PORT, EF_USER, EF_COUNT };

/* What the entry screen holds, field by field, as the user typed it. */
struct SYSTEMENTRY {
    std::string asValue[EF_COUNT];
};

/* Label of a field as the messages name it ("Name", "Address", "Port", "User"). */
const char *EntryLabel(ENTRYFIELD eField);
/* Characters a field's record holds: 16, 32, 6, 16. */
std::size_t EntryLimit(ENTRYFIELD eField);
/* "" when the value may be stored in that field, else the message that refuses it. */
std::string CheckEntryValue(ENTRYFIELD eField, std::string_view sValue);
/* Every field checked, then the table: the address of another system (nChanging is the
   index being changed, -1 for a new one) and, for a new one, a full table. "" or why not. */
std::string CheckEntry(const SYSTEMENTRY &sEntry, int nChanging);
/* The entry of a stored system. */
SYSTEMENTRY EntryOf(const REMOTESYSTEM &sSystem);
/* Stores a checked entry: a new record at the end, or the changed one (whose ping and trust
   stamps are cleared when the address or port changes, the ping stamp when the user does).
   The index stored, or -1 when the table is full or nChanging is out of range. */
int StoreEntry(const SYSTEMENTRY &sEntry, int nChanging);
/* Removes a record; the connected system stays the same record, or none when it is the one
   removed. 0, or 8 for an index out of range. */
int RemoveSystem(int nIndex);
/* Index of the record that shares the address of record nIndex, or -1. The file marks the
   connected system by its address, so such records cannot be told apart when connected. */
int SharedAddress(int nIndex);
/* Index of the record with the address and name of sSystem, or -1: how a system is found
   again after config.ini was read anew, whatever other programs changed in it meanwhile. */
int FindSystemIndex(const REMOTESYSTEM &sSystem);
/* Index of the connected system, or -1. */
int ConnectedIndex();
/* Columns of the list, from the margin: name, address, port and user on the first row of a
   system; the three stamps and the status on the second. A line starts at column 1 with
   the selection mark ("> " or two blanks) and is nListLineLength columns wide. */
constexpr int nNameColumn = 3, nAddressColumn = 20, nPortColumn = 53, nUserColumn = 60;
constexpr int nListLineLength = 75;
/* The list line of a system: every value padded, or cut with "~", to its column's display
   width (names may be in any script), so that the columns line up whatever the text. */
std::string SystemListLine(const REMOTESYSTEM &sSystem, bool bSelected);
/* The order the list shows the systems in; "s" steps through them. */
enum LISTORDER { LO_ENTERED, LO_NAME, LO_PING, LO_COUNT };
/* How the title names an order: "" (as entered), ", by name", ", by last ping". */
const char *OrderWords(LISTORDER eOrder);
/* The indexes of the systems whose name or address contains sFoldedFilter (folded with
   OVFoldCase; "" keeps every one), in the order asked for: as entered, by name ignoring
   case, or newest ping first with the never pinged last. Ties keep the entered order. */
std::vector<int> ShownSystems(std::string_view sFoldedFilter, LISTORDER eOrder);
/* The stamp of a moment: UTC in the compact ISO 8601 form "20261208T141503Z". */
std::string MakeStamp(std::time_t nTime);
/* Writes the stamp of now into a stamp field. */
void SetStamp(char (&szStamp)[17]);

/* ------------------------------------------------------------------------------------ */
/* remote.cpp - the command lines of ping and trust, and the known-hosts files          */
/* ------------------------------------------------------------------------------------ */

/* ssh, without input and without prompts, running `true` on the system; stderr joined. 0, or
   8 for a system the builder refuses (logged; the sentence in *psWhy). */
int PingCommand(const REMOTESYSTEM &sSystem, std::string *psCommand, std::string *psWhy);
/* Where ssh really goes for a system: its configuration may turn the address into another
   host name and port, name the key under an alias (HostKeyAlias) and read other known-hosts
   files (UserKnownHostsFile). */
struct SCANTARGET {
    std::string sHost;
    std::string sPort;
    std::string sKeyAlias;   /* "" when the key is known under the host and port */
    /* The user's known-hosts files in the order ssh reads them, "~" expanded; none when ssh
       is told to read none ("UserKnownHostsFile none"). */
    std::vector<std::string> asKnownHostsFiles;
};
/* `ssh -G`, which prints the configuration ssh would use for the system; 0 or 8 as above. */
int ResolveCommand(const REMOTESYSTEM &sSystem, std::string *psCommand, std::string *psWhy);
/* The target from that output; what it does not say comes from the record, and the
   known-hosts file is then ssh's default one. */
SCANTARGET ScanTarget(const REMOTESYSTEM &sSystem, std::string_view sResolved);
/* The name ssh looks the host key up by: the alias, else the host (in lower case) for port
   22 and "[host]:port" for another port. */
std::string KnownHostName(const SCANTARGET &sTarget);
/* ssh-keyscan of the target's host and port; its own messages dropped. */
std::string KeyscanCommand(const SCANTARGET &sTarget);
/* ssh-keygen -lf - fed with the key lines: one fingerprint line per key. */
std::string FingerprintCommand(const std::vector<std::string> &asKeys);
/* A line of ssh-keygen -l, "256 SHA256:... host (ED25519)", as "ED25519 256 bits  SHA256:...";
   a line of another form as it is. */
std::string FingerprintText(const std::string &sLine);
/* The key lines of ssh-keyscan output: "host type key", comments and odd lines dropped.
   With a name given, the host word becomes that name, the one ssh looks the key up by. */
std::vector<std::string> KeyLines(std::string_view sScan, const std::string &sName);
/* The lines of a text, without their newlines. */
std::vector<std::string> SplitLines(std::string_view sText);
/* The first line of a command's output that is not empty, "" when there is none. */
std::string FirstLine(std::string_view sOutput);
/* A path with a leading "~/" (or "~" alone) taken from the home folder of the user's
   password entry, as ssh takes it; any other path as it is. */
std::string ExpandHome(const std::string &sPath);
/* ssh's default known-hosts file: ~/.ssh/known_hosts of the password entry's home. */
std::string KnownHostsPath();

/* `ssh-keygen -F`: the lines of one known-hosts file known for a name. Not finding the name
   is no failure; a file that cannot be read is. */
std::string LookupCommand(const std::string &sName, const std::string &sFile);
/* `ssh-keygen -R`: removes every line known for a name from one file (ssh-keygen keeps the
   old file as FILE.old). */
std::string RemoveCommand(const std::string &sName, const std::string &sFile);
/* The keys of ssh-keygen -F output as key lines of the name ("name type key"), whatever form
   (hashed, several names) the file holds them in. Comments and lines with a marker
   (@revoked, @cert-authority) are left out. */
std::vector<std::string> KnownKeyLines(std::string_view sFound, const std::string &sName);

/* How the keys a system offers stand to those already known for it. */
enum TRUSTSTATE {
    TS_NEW,      /* no key is known for the name                                         */
    TS_KNOWN,    /* every offered key is known already: nothing to add                   */
    TS_MORE,     /* the known keys are offered, with keys of other types besides         */
    TS_CHANGED   /* a known key of an offered type differs, or no offered key is known   */
};
struct TRUSTCHECK {
    TRUSTSTATE eState;
    std::vector<std::string> asOld;    /* TS_CHANGED: the known keys not offered any more */
    std::vector<std::string> asToAdd;  /* the offered keys that go into the file          */
};
/* Compares key lines by their type and key; the host words do not matter. */
TRUSTCHECK CompareKeys(const std::vector<std::string> &asKnown,
                       const std::vector<std::string> &asOffered);

/* What Trust found for a system before it asks the user. */
struct TRUSTOFFER {
    SCANTARGET sTarget;
    std::string sName;                   /* the name ssh looks the keys up by             */
    std::vector<std::string> asOffered;  /* the keys the system offers, under sName       */
    std::vector<std::string> asKnown;    /* the keys known for sName, in all the files    */
    std::vector<std::string> asHolding;  /* the files that hold lines for sName           */
    TRUSTCHECK sCheck;
};
/* Looks sName up in every known-hosts file of the target and compares (psOffer's target,
   name and offered keys set by the caller). "" or why the files could not be read. */
std::string FindKnownKeys(TRUSTOFFER *psOffer);
/* Replaces the keys of a changed host: removes the lines of the name from every file that
   holds them, then appends the offered keys to the first file ssh reads. A file that is a
   symbolic link is refused before anything changes. "" or why not. */
std::string ReplaceKnownKeys(const TRUSTOFFER &sOffer);
/* Appends the key lines that the file does not hold yet, creating the folder (0700) and the
   file (0600) when they are missing. *pnAdded gets the number of lines appended.
   0, or the errno value of the failure. */
int AppendKnownHosts(const std::string &sPath, const std::vector<std::string> &asKeys,
                     int *pnAdded);

/* ------------------------------------------------------------------------------------ */
/* many.cpp - marks, and Ping, Run and Trust on every marked system at once             */
/* ------------------------------------------------------------------------------------ */

/* Marks name a system by its name and address and live while the program runs. */
bool IsMarked(int nIndex);
void ToggleMark(int nIndex);
/* "a": marks every system of anShown, or, when every one of them is marked, none of them. */
void MarkAll(const std::vector<int> &anShown);
/* The marked systems of the table, in its order. */
std::vector<int> MarkedSystems();
/* The state the last Ping on many found for a system ("answers", "no answer", ...), or "". */
std::string PingStateOf(int nIndex);
/* Ping of one system: "answers", or NULL to forget the state (its box tells why not). */
void NotePingState(int nIndex, const char *pszState);

/* Where the list draws what a running Ping changes: the systems of the page in their order
   (each takes two rows from nFirstRow), the stamp and state columns of their second row,
   and the status row. */
struct LISTPLACES {
    std::vector<int> anSystem;
    int nFirstRow;
    int nPingColumn;
    int nStateColumn;
    int nStatusRow;
    int nStatusColumn;
};
/* Pings the systems at once over the list's panel: each line fills in as its system ends,
   the status row counts; Ctrl-c stops what is left. The stamps of those that answered are
   saved; a box tells the end. */
void Ping_Many(const std::vector<int> &anSystems, const LISTPLACES &sPlaces);
/* The Run screen (command or report option, and a typed target besides the systems given),
   then the folded result with its groups, their output, diffs and Save. 0 back to the list,
   9 after Exit, or a failure code. */
int Run_Many(const std::vector<int> &anSystems);
/* What Trust on many found: the systems whose new keys confirming adds, and the lines of
   the confirmation (fingerprints, and why the others are left as they are). */
struct TRUSTBATCH {
    std::vector<REMOTESYSTEM> asSystem;
    std::vector<TRUSTOFFER> asOffer;
    std::vector<std::string> asLine;
};
/* Scans every system's keys at once over the list's panel. 0 when something can be
   trusted; 8 after a box said why not. */
int Prepare_Trust_Many(const std::vector<int> &anSystems, TRUSTBATCH *psBatch);
/* One confirmation for them all; 0 back to the list, 9 after Exit, or a failure code. */
int Confirm_Trust_Many(const TRUSTBATCH &sBatch);

#endif /* ORVIKCONN_H */
