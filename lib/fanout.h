/*
 * fanout.h - one command on many systems at once, through ClusterShell's clush, and the
 * answers folded into groups of systems that answered alike.
 *
 * Contract in brief:
 *  - The targets are known systems (indices into asRemoteSystem) and/or a node set or group
 *    the user typed ("web[01-40]", "@web"), expanded by ClusterShell's nodeset. Every name
 *    that reaches clush is checked first; names of config.ini never do: each known system
 *    goes under a generated alias of ~/.orvik/ssh/config (see OVWriteSshConfig).
 *  - clush runs without a shell (an argument vector), in a process group of its own that
 *    owns the terminal while it runs: Ctrl-c reaches clush, which stops what is left; what
 *    came stays in the result, and the run returns 4. Draw the progress, read no key.
 *  - ssh never asks: a system that would need a password ends as OVFAN_PASSWORD.
 *  - Output and error output are kept whole up to OVFANSYSTEMMAX bytes a system and
 *    OVFANTOTALMAX in all; beyond that the system (and the result) say they were cut.
 *  - Functions return OVRC_* codes, log their failures once, and trace while debugging.
 */
#ifndef ORVIK_FANOUT_H
#define ORVIK_FANOUT_H

#include "orviklib.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/* ------------------------------------------------------------------------------------ */
/* remote.cpp - the generated ssh configuration is built by the same builder            */
/* ------------------------------------------------------------------------------------ */

/* The folder of the shared connections' sockets and of the generated configuration
   (~/.orvik/ssh, mode 0700); "" when there is none this user may use. */
std::string OVSshFolder();
/* The "Host ALIAS" block that reaches a system as the builder's ssh line does: its host,
   port and user as ssh resolves them (the user's own configuration included), the time
   limits and the shared connection of every Orvik ssh, then whatever else ssh -G says for
   the system beyond ssh's defaults. 0; 8 for a refused system (logged, *psWhy). */
int OVSshConfigBlock(const REMOTESYSTEM *psSystem, const std::string &sAlias, std::string *psBlock,
                     std::string *psWhy = nullptr);

/* ------------------------------------------------------------------------------------ */
/* fanout.cpp - the run, its result, folding, diff and save                             */
/* ------------------------------------------------------------------------------------ */

constexpr int OVFANOUTDEFAULT = 64;                    /* systems at once             */
constexpr std::size_t OVFANSYSTEMMAX = 1u << 20;       /* bytes kept a system, each of */
                                                       /* output and error output     */
constexpr std::size_t OVFANTOTALMAX = 16u << 20;       /* bytes kept in all           */

/* Where a system stands after a run. OVFAN_ANSWERED ran the command (its exit status
   counts); every other state is "not reached" and has a reason. */
enum OVFANSTATE : int {
    OVFAN_ANSWERED = 0,
    OVFAN_NOANSWER,      /* no answer within the connect time limit                */
    OVFAN_REFUSED,       /* the connection was refused                             */
    OVFAN_KEYCHANGED,    /* the host key differs from the one known                */
    OVFAN_KEYUNKNOWN,    /* no host key is known for the system                    */
    OVFAN_PASSWORD,      /* only a password would let in: Connect it first         */
    OVFAN_TIMEOUT,       /* the command ran past its time limit                    */
    OVFAN_FAILED,        /* ssh failed for another reason (in its own words)       */
    OVFAN_STOPPED,       /* the run was stopped before the system answered         */
    OVFAN_STATES
};
/* "answers", "no answer", "refused", "key changed", "key unknown", "needs a password",
   "timed out", "failed", "stopped". */
const char *OVFanStateText(int eState);

/* One system of a run. */
struct OVFANSYSTEM {
    int nSystem = -1;          /* index into asRemoteSystem; -1 for a typed node       */
    std::string sName;         /* the name in config.ini, or the node's name           */
    std::string sAddress;      /* as config.ini has them; the node's name and "" for a */
    std::string sPort;         /* typed node                                           */
    std::string sUser;
    std::string sNode;         /* the name clush was given                             */
    int eState = OVFAN_STOPPED;
    int nExitStatus = -1;      /* the command's, for OVFAN_ANSWERED                    */
    std::string sOutput;
    std::string sError;        /* the command's error output, or ssh's messages        */
    std::string sReason;       /* ssh's sentence for a system not reached              */
    bool bCut = false;         /* output or error output kept only in part             */
};

struct OVFANRESULT {
    std::string sCommand;
    std::vector<OVFANSYSTEM> asSystem;
    int nAnswered = 0;         /* systems that ran the command, whatever its status    */
    int nFailed = 0;           /* systems not reached                                  */
    bool bCut = false;         /* some output was not kept (a system's or the total)   */
    bool bStopped = false;     /* Ctrl-c (or the progress callback) stopped the run    */
};

/* Where a run stands, after each system that finished. */
struct OVFANPROGRESS {
    int nTotal;
    int nAnswered;             /* ran the command                                      */
    int nFailed;               /* not reached                                          */
    int nLast;                 /* index into the result's asSystem of the one that finished */
};
/* Called after each system that finished; a non-zero return stops the run as Ctrl-c does. */
using OVFANPROGRESSFN = int (*)(const OVFANPROGRESS &sProgress, void *pContext);

struct OVFANCALL {
    const char *pszCommand = nullptr;  /* the command line, as the remote shell reads it */
    std::vector<int> anSystems;        /* known systems                                  */
    std::string sNodeSet;              /* and/or a ClusterShell node set or group        */
    int nFanout = 0;                   /* systems at once; 0: $ORVIKFANOUT, else 64       */
    int nConnectSeconds = 10;
    int nCommandSeconds = 60;          /* 0: no limit                                    */
    std::size_t nSystemMax = OVFANSYSTEMMAX;
    std::size_t nTotalMax = OVFANTOTALMAX;
    OVFANPROGRESSFN pfnProgress = nullptr;
    void *pContext = nullptr;
};

/* Runs the command on every target through clush and fills *psResult, one OVFANSYSTEM per
   target in the order given (known systems first). 0; 4 when stopped (what came is kept);
   8 for a target or call refused, or clush missing (logged; *psWhy, when given, gets the
   sentence for the screen); 101 when clush failed on its own. */
int OVFanOut(const OVFANCALL &sCall, OVFANRESULT *psResult, std::string *psWhy = nullptr);
/* Takes clush's lines as they come ("node: line" on either output, clush's own lines on
   its error output) into a result whose systems carry their node names, and settles each
   system's state at the end. OVFanOut is its user; the fuzz harness feeds it too. */
class OVFanReader {
  public:
    OVFanReader(OVFANRESULT *psResult, std::string sMarker, std::size_t nSystemMax,
                std::size_t nTotalMax);
    /* Bytes of clush's output (bError false) or error output, in any pieces. */
    void Take(bool bError, std::string_view sBytes);
    /* The systems that finished since the last call, by index into the result. */
    std::vector<int> TakeFinished();
    /* Whether a finished system ran the command (else ssh did not get in). */
    bool Ran(int nSystem) const;
    /* Every system's state, exit status and reason once clush has ended; the counts. */
    void Settle(bool bStopped, int nCommandSeconds);
    const std::string &Marker() const { return sMarker; }
    const std::vector<std::string> &ClushLines() const { return asClush; }
    void Note(const std::string &sLine) { asClush.push_back(sLine); }
    bool NothingHeard() const;
    std::size_t Systems() const { return asSeen.size(); }

  private:
    struct SEEN {
        bool bFinished = false;
        bool bRan = false;        /* its done line came */
        int nExitStatus = -1;
    };
    void Finish();
    void Line(bool bError, std::string_view sLine);
    void Keep(int nSystem, bool bError, std::string_view sText);
    void Done(int nSystem, int nExitStatus, bool bRan);

    OVFANRESULT *psResult;
    std::string sMarker;
    std::size_t nSystemMax;
    std::size_t nTotalMax;
    std::size_t nKept = 0;
    std::vector<SEEN> asSeen;
    std::map<std::string, int> mNode;
    std::string asPending[2];
    std::vector<int> anNewlyFinished;
    std::vector<std::string> asClush;   /* clush's own lines that tell no system's end */
    bool bTimeout = false;
};

/* Ping on many: the same run with `true` and the command time limit of the connection. */
int OVFanPing(const OVFANCALL &sCall, OVFANRESULT *psResult, std::string *psWhy = nullptr);

/* Writes ~/.orvik/ssh/config (0600, replaced whole, never through a link) with a block per
   system of the list, when its text changed, and gives each system's alias (asAlias[i] for
   asRemoteSystem[i], "" for a system the builder refuses). Names of config.ini never reach
   it: an alias is "orvik-sys-" and letters drawn from the system's record. The end of the
   file reads the user's ~/.ssh/config and /etc/ssh/ssh_config for every other host, so
   that ssh -F reaches a typed node as a plain ssh would. 0, or 8 (logged). */
int OVWriteSshConfig(std::vector<std::string> *pasAlias, std::string *psPath);

/* A group of systems that answered alike: the same exit status and output, or the same
   state when not reached. */
struct OVFANGROUP {
    std::vector<int> anMember;   /* indices into the result's asSystem, in its order     */
    int eState = OVFAN_ANSWERED;
    int nExitStatus = -1;
    bool bCut = false;           /* some member's output was cut                         */
};
/* The groups of a result, largest first (answered before not reached on a tie). */
std::vector<OVFANGROUP> OVFoldResult(const OVFANRESULT &sResult);
/* The names of a group in ClusterShell's folded form ("web[01-40],db1"). A name that holds
   anything but letters, digits, ".", "_" and "-" is listed on its own in double quotes,
   with '"' and '\' escaped and control characters shown as ^X, so that it cannot break
   the set. */
std::string OVNodeSetText(const std::vector<std::string> &asNames);
/* The line of a group: "41 systems  exit 0  web[01-40],db1", "7 not reached  no answer  ...". */
std::string OVFanGroupLine(const OVFANRESULT &sResult, const OVFANGROUP &sGroup);
/* The unified diff (diff -u) of the largest group's output against sGroup's. 0 (an empty
   *psDiff when they are the same), or 8 (logged). */
int OVFanDiff(const OVFANRESULT &sResult, const OVFANGROUP &sLargest, const OVFANGROUP &sGroup,
              std::string *psDiff);
/* The folded result as text, and as JSON: an object per system (name, address, port, user,
   state, exit_status, output, error, reason, cut). */
std::string OVFanText(const OVFANRESULT &sResult);
std::string OVFanJson(const OVFANRESULT &sResult);
/* A JSON string literal of the text: quotes, backslashes and control characters escaped,
   every byte that is no UTF-8 character given as U+FFFD. */
std::string OVJsonString(std::string_view sText);
/* Saves the text form to pszTextPath and the JSON form to pszJsonPath (either may be
   NULL) as saved reports are: private, created exclusively, never through a link. 0, or 8
   (logged; *psWhy gets the reason for the screen). */
int OVFanSave(const OVFANRESULT &sResult, const char *pszTextPath, const char *pszJsonPath,
              std::string *psWhy = nullptr);

/* Trust on many: the host keys of many targets in one go. The caller gives where ssh really
   goes for each system (host and port, as conn's scan target has them) and the name the key
   is known by; one ssh-keyscan per port scans every host of it at once. */
struct OVFANKEYS {
    std::string sHost;
    std::string sPort;
    std::string sName;                    /* the known-hosts name of the offered keys     */
    std::vector<std::string> asOffered;   /* "name type key", as ssh-keyscan gave them    */
    std::vector<std::string> asFingerprint; /* "ED25519 256 bits  SHA256:...", by key     */
};
/* Fills asOffered and asFingerprint of every target (empty for one that did not answer
   within nTimeoutSeconds). Nothing is trusted here: the caller compares with the known
   keys and never adds a changed one in a batch. 0, or 8 (logged). */
int OVFanKeyScan(std::vector<OVFANKEYS> *pasTargets, int nTimeoutSeconds = 5);

#endif /* ORVIK_FANOUT_H */
