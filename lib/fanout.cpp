/*
 * fanout.cpp - one command on many systems through clush, and what came back: who answered
 * what, folded into groups of systems that answered alike.
 *
 * The run: every known system goes to clush under an alias of the generated ssh
 * configuration (~/.orvik/ssh/config), which carries its host, port, user, the time limits
 * and the shared connection; clush's ssh reads it with -F. A typed node set is expanded by
 * nodeset first, so that every name is checked before clush sees it. clush starts from an
 * argument vector, never through a shell, and prints each system's lines as "node: line"
 * on its output and error output as they come, which is how they are gathered here (its
 * --outdir stops the whole run at the first byte that is no UTF-8).
 *
 * Each remote command is wrapped so that it says when it is done, with its exit status, in a
 * line of its error output that carries a word drawn for this run alone: the command's own
 * output cannot pass for it. Both outputs are cut on the remote side one byte past what is
 * kept, so that a command without end neither fills the memory here nor goes unnoticed.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *OVALIASPREFIX = "orvik-sys-";
constexpr const char *OVCONFIGHEAD =
    "# Written by Orvik for the systems of config.ini: every system under an alias of its\n"
    "# own, for clush and ssh -F. Rewritten whenever the list of systems changes.\n";
/* Every other host is reached as a plain ssh would reach it. */
constexpr const char *OVCONFIGTAIL = "Host * !orvik-sys-*\n"
                                     "    Include ~/.ssh/config\n"
                                     "    Include /etc/ssh/ssh_config\n";
constexpr int OVSTOPGRACESECONDS = 5;   /* clush gets this long to stop after Ctrl-c */

constexpr const char *OVSTATETEXT[] = {"answers",   "no answer",        "refused",
                                       "key changed", "key unknown",    "needs a password",
                                       "timed out", "failed",           "stopped"};
static_assert(sizeof(OVSTATETEXT) / sizeof(OVSTATETEXT[0]) == OVFAN_STATES,
              "a text for every state");

/* How ssh says why it did not get in, in its own words, and the state that follows. The
   first match decides: a changed key is told before the verification that failed on it. */
constexpr struct {
    const char *pszWords;
    int eState;
} asSshWords[] = {
    {"has changed and you have requested strict checking", OVFAN_KEYCHANGED},
    {"REMOTE HOST IDENTIFICATION HAS CHANGED", OVFAN_KEYCHANGED},
    {"host key is known for", OVFAN_KEYUNKNOWN},
    {"Host key verification failed", OVFAN_KEYUNKNOWN},
    {"Permission denied (", OVFAN_PASSWORD},  /* only when a password would do: see below */
    {"Connection refused", OVFAN_REFUSED},
    {"timed out", OVFAN_NOANSWER},
    {"No route to host", OVFAN_NOANSWER},
};

/* The state of a system that ssh did not get into, from its messages. */
int SshState(const std::string &sError) {
    for (const auto &sWords : asSshWords) {
        const std::string::size_type nAt = sError.find(sWords.pszWords);
        if (nAt == std::string::npos) continue;
        if (sWords.eState != OVFAN_PASSWORD) return sWords.eState;
        /* "Permission denied (publickey,password)": a password would let in. */
        const std::string sMethods = sError.substr(nAt, sError.find(')', nAt) - nAt);
        if (sMethods.find("password") != std::string::npos ||
            sMethods.find("keyboard-interactive") != std::string::npos)
            return OVFAN_PASSWORD;
        return OVFAN_FAILED;
    }
    return OVFAN_FAILED;
}

/* A name clush and ssh may be given as it is: letters, digits, ".", "_", "-", not first a
   "-" (ssh would read an option), and none that clush's own lines or our aliases use. */
bool PlainNodeName(std::string_view sName) {
    if (sName.empty() || sName.size() > 255 || sName.front() == '-' || sName == "clush")
        return false;
    for (char c : sName)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

/* A node set as typed: names, ranges in brackets, groups with "@" (and a group source
   "@source:group"), joined by ","; nothing a shell or an option could read. */
bool PlainNodeSet(std::string_view sSet) {
    if (sSet.empty() || sSet.size() > 4096 || sSet.front() == '-') return false;
    int nDepth = 0;
    for (char c : sSet) {
        if (c == '[') nDepth++;
        if (c == ']' && --nDepth < 0) return false;
        if (!(PlainNodeName(std::string(1, c)) || c == '-' || strchr("[],@:", c) != nullptr))
            return false;
    }
    return nDepth == 0;
}

/* Runs a program from an argument vector, without a shell, feeding it sInput; its outputs
   into *psOut and *psErr (either may be NULL) and its wait status into *pnStatus. 0, or 8
   when it could not start (logged). */
int RunProgram(const std::vector<std::string> &asArgv, const std::string &sInput,
               std::string *psOut, std::string *psErr, int *pnStatus) {
    int afdIn[2], afdOut[2], afdErr[2];
    if (pipe2(afdIn, O_CLOEXEC) != 0) return OVRC_ERROR;
    if (pipe2(afdOut, O_CLOEXEC) != 0) {
        close(afdIn[0]), close(afdIn[1]);
        return OVRC_ERROR;
    }
    if (pipe2(afdErr, O_CLOEXEC) != 0) {
        for (int fd : {afdIn[0], afdIn[1], afdOut[0], afdOut[1]}) close(fd);
        return OVRC_ERROR;
    }
    std::vector<char *> apszArgv;
    for (const std::string &sArg : asArgv) apszArgv.push_back(const_cast<char *>(sArg.c_str()));
    apszArgv.push_back(nullptr);
    fflush(nullptr);
    const pid_t nChild = fork();
    if (nChild == 0) {
        dup2(afdIn[0], STDIN_FILENO);
        dup2(afdOut[1], STDOUT_FILENO);
        dup2(afdErr[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        execvp(apszArgv[0], apszArgv.data());
        _exit(127);
    }
    for (int fd : {afdIn[0], afdOut[1], afdErr[1]}) close(fd);
    if (nChild < 0) {
        OVLog(OVLOG_ERROR, "RunProgram: Unable to start %s: %s.", asArgv[0].c_str(),
              strerror(errno));
        for (int fd : {afdIn[1], afdOut[0], afdErr[0]}) close(fd);
        return OVRC_ERROR;
    }
    /* A reader that stops early must not end this program with SIGPIPE. */
    struct sigaction sIgnore {}, sOld {};
    sIgnore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sIgnore, &sOld);
    std::size_t nWritten = 0;
    int fdIn = afdIn[1];
    if (sInput.empty()) close(fdIn), fdIn = -1;
    std::string *apsTo[2] = {psOut, psErr};
    int afdRead[2] = {afdOut[0], afdErr[0]};
    while (afdRead[0] >= 0 || afdRead[1] >= 0 || fdIn >= 0) {
        struct pollfd asPoll[3] = {{afdRead[0], POLLIN, 0}, {afdRead[1], POLLIN, 0},
                                   {fdIn, POLLOUT, 0}};
        if (poll(asPoll, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; i++) {
            if (afdRead[i] < 0 || asPoll[i].revents == 0) continue;
            char achBuffer[65536];
            const ssize_t nRead = read(afdRead[i], achBuffer, sizeof achBuffer);
            if (nRead > 0 && apsTo[i] != nullptr) apsTo[i]->append(achBuffer, nRead);
            if (nRead == 0 || (nRead < 0 && errno != EINTR && errno != EAGAIN))
                close(afdRead[i]), afdRead[i] = -1;
        }
        if (fdIn >= 0 && asPoll[2].revents != 0) {
            const ssize_t nDone = write(fdIn, sInput.data() + nWritten, sInput.size() - nWritten);
            if (nDone > 0) nWritten += static_cast<std::size_t>(nDone);
            if ((nDone < 0 && errno != EINTR) || nWritten == sInput.size()) close(fdIn), fdIn = -1;
        }
    }
    sigaction(SIGPIPE, &sOld, nullptr);
    int nStatus = 0;
    while (waitpid(nChild, &nStatus, 0) < 0 && errno == EINTR) {
    }
    if (pnStatus != nullptr) *pnStatus = nStatus;
    return OVRC_OK;
}


/* The alias of a system: letters only, drawn from its whole record, so that it stays the
   same while the record does and ClusterShell never folds it into a range. */
std::string AliasOf(const REMOTESYSTEM &sSystem, int nTry) {
    std::uint64_t nHash = 14695981039346656037ULL;
    const std::string sKey = std::string(sSystem.szSystemName) + '\n' + sSystem.szIP + '\n' +
                             sSystem.szPort + '\n' + sSystem.szUser + '\n' + std::to_string(nTry);
    for (unsigned char c : sKey) nHash = (nHash ^ c) * 1099511628211ULL;
    std::string sAlias = OVALIASPREFIX;
    for (int i = 0; i < 10; i++, nHash /= 26) sAlias += static_cast<char>('a' + nHash % 26);
    return sAlias;
}

/* The names of a typed node set, from ClusterShell's nodeset. 0, or 8 with *psWhy. */
int ExpandNodeSet(const std::string &sSet, std::vector<std::string> *pasNames, std::string *psWhy) {
    if (!PlainNodeSet(sSet)) {
        *psWhy = "The node set \"" + OVScreenText(sSet) + "\" may hold only names, ranges in "
                 "brackets, @groups and commas";
        return OVRC_ERROR;
    }
    std::string sOut, sErr;
    int nStatus = 0;
    if (RunProgram({"nodeset", "-e", "-S", "\n", "--", sSet}, "", &sOut, &sErr, &nStatus) !=
            OVRC_OK ||
        !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0) {
        const std::string sSaid = OVSshReason(sErr);
        *psWhy = "The node set \"" + sSet + "\" cannot be read" +
                 (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 127
                      ? std::string(": nodeset is missing (install clustershell)")
                      : sSaid.empty() ? std::string() : ": " + OVScreenText(sSaid));
        return OVRC_ERROR;
    }
    std::string::size_type nAt = 0;
    while (nAt < sOut.size()) {
        std::string::size_type nEnd = sOut.find('\n', nAt);
        if (nEnd == std::string::npos) nEnd = sOut.size();
        const std::string sName = sOut.substr(nAt, nEnd - nAt);
        nAt = nEnd + 1;
        if (sName.empty()) continue;
        if (!PlainNodeName(sName) || sName.rfind(OVALIASPREFIX, 0) == 0) {
            *psWhy = "The node set \"" + sSet + "\" gives the name \"" + OVScreenText(sName) +
                     "\", which ssh may not be given";
            return OVRC_ERROR;
        }
        pasNames->push_back(sName);
    }
    return OVRC_OK;
}

/* The remote command line: the command in a subshell of its own (an "exit" in it ends only
   that), both outputs cut one byte past nMax, and once both are through, the done line with
   its exit status on the output, after a line feed of its own: the line that ends the
   output, whole or not, is told apart from the done line, and nothing of the output can
   come after it. */
std::string WrappedCommand(const char *pszCommand, const std::string &sMarker, std::size_t nMax) {
    const std::string sHead = "head -c " + std::to_string(nMax + 1);
    /* The command's own lines end with a line feed of their own: "&" or a comment at its end
       stays the command's. fd 4 carries the status out; the heads hold it, so that the done
       line waits for them. */
    return "exec 5>&1; ovrc=$( { { { ( " + std::string(pszCommand) +
           "\n) 4>&- 5>&-; echo $? >&4; } 2>&1 >&3 3>&- | " + sHead + " >&2 3>&-; } 3>&1 | " +
           sHead + "; } 4>&1 1>&5 5>&- ); printf '\\n%s %s\\n' " + sMarker + " \"$ovrc\"";
}

/* A word nobody can guess, for this run's done lines. */
std::string NewMarker() {
    std::random_device sRandom;
    char szMarker[48];
    snprintf(szMarker, sizeof szMarker, "ORVIK-DONE-%08x%08x", sRandom(), sRandom());
    return szMarker;
}

/* ssh's note that another connection is the master for now: not the command's. */
bool MultiplexNote(std::string_view sLine) {
    return sLine.rfind("ControlSocket ", 0) == 0 &&
           sLine.find("already exists, disabling multiplexing") != std::string_view::npos;
}

} // namespace

/* ------------------------------------------------------------------------------------ */
/* Reading clush's lines                                                                 */
/* ------------------------------------------------------------------------------------ */

OVFanReader::OVFanReader(OVFANRESULT *psResult, std::string sMarker, std::size_t nSystemMax,
                         std::size_t nTotalMax)
    : psResult(psResult), sMarker(std::move(sMarker)), nSystemMax(nSystemMax),
      nTotalMax(nTotalMax), asSeen(psResult->asSystem.size()) {
    for (std::size_t i = 0; i < psResult->asSystem.size(); i++)
        if (!psResult->asSystem[i].sNode.empty()) mNode[psResult->asSystem[i].sNode] = static_cast<int>(i);
}

void OVFanReader::Take(bool bError, std::string_view sBytes) {
    std::string &sPending = asPending[bError ? 1 : 0];
    sPending.append(sBytes);
    std::string::size_type nStart = 0, nEnd;
    while ((nEnd = sPending.find('\n', nStart)) != std::string::npos) {
        Line(bError, std::string_view(sPending).substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    sPending.erase(0, nStart);
    /* A line longer than anything kept is taken in pieces. */
    if (sPending.size() > 2 * nSystemMax + 65536) {
        Line(bError, sPending);
        sPending.clear();
    }
}

void OVFanReader::Finish() {
    for (int i = 0; i < 2; i++)
        if (!asPending[i].empty()) Line(i == 1, asPending[i]), asPending[i].clear();
}

bool OVFanReader::Ran(int nSystem) const {
    const SEEN &sSeen = asSeen[nSystem];
    return sSeen.bRan || (sSeen.nExitStatus >= 0 && sSeen.nExitStatus != 255);
}

bool OVFanReader::NothingHeard() const {
    if (nKept != 0) return false;
    for (const SEEN &sSeen : asSeen)
        if (sSeen.bFinished) return false;
    return true;
}

std::vector<int> OVFanReader::TakeFinished() {
    std::vector<int> anFinished;
    anFinished.swap(anNewlyFinished);
    return anFinished;
}

void OVFanReader::Keep(int nSystem, bool bError, std::string_view sText) {
    OVFANSYSTEM &sSystem = psResult->asSystem[nSystem];
    std::string &sTo = bError ? sSystem.sError : sSystem.sOutput;
    /* The output has room for the line feed that comes before the done line. */
    const std::size_t nMax = bError ? nSystemMax : nSystemMax + 1;
    std::size_t nRoom = nMax > sTo.size() ? nMax - sTo.size() : 0;
    const bool bTotal = nTotalMax - std::min(nTotalMax, nKept) < nRoom;
    if (bTotal) nRoom = nTotalMax - std::min(nTotalMax, nKept);
    std::string sLine(sText);
    sLine += '\n';
    if (sLine.size() > nRoom) {
        sLine.resize(OVUtf8Prefix(sLine, nRoom));
        sSystem.bCut = true;
        psResult->bCut = true;
    }
    sTo += sLine;
    nKept += sLine.size();
}

void OVFanReader::Done(int nSystem, int nExitStatus, bool bRan) {
    SEEN &sSeen = asSeen[nSystem];
    if (bRan) sSeen.bRan = true;
    if (nExitStatus >= 0 && (bRan || sSeen.nExitStatus < 0)) sSeen.nExitStatus = nExitStatus;
    if (sSeen.bFinished) return;
    sSeen.bFinished = true;
    anNewlyFinished.push_back(nSystem);
}

void OVFanReader::Line(bool bError, std::string_view sLine) {
    if (bError && sLine.rfind("clush: ", 0) == 0) {
        /* clush's own: "clush: NODE: exited with exit code N", "clush: SET: command timeout". */
        std::string_view sRest = sLine.substr(7);
        const std::string_view sExited = ": exited with exit code ";
        std::string::size_type nAt = sRest.find(sExited);
        if (nAt != std::string_view::npos) {
            auto it = mNode.find(std::string(sRest.substr(0, nAt)));
            const std::string_view sCode = sRest.substr(nAt + sExited.size());
            if (it != mNode.end() && !sCode.empty() && sCode.size() <= 3 &&
                sCode.find_first_not_of("0123456789") == std::string_view::npos) {
                Done(it->second, atoi(std::string(sCode).c_str()), false);
                return;
            }
        }
        if (sLine.size() >= 17 && sLine.substr(sLine.size() - 17) == ": command timeout") {
            bTimeout = true;
            return;
        }
        asClush.emplace_back(sLine.substr(0, 1024));
        return;
    }
    const std::string_view::size_type nColon = sLine.find(": ");
    auto it = nColon == std::string_view::npos ? mNode.end()
                                               : mNode.find(std::string(sLine.substr(0, nColon)));
    if (it == mNode.end()) {
        if (bError) asClush.emplace_back(sLine.substr(0, 1024));
        return;
    }
    const std::string_view sText = sLine.substr(nColon + 2);
    if (!bError && sText.size() > sMarker.size() + 1 && sText.rfind(sMarker + " ", 0) == 0) {
        const std::string_view sCode = sText.substr(sMarker.size() + 1);
        if (sCode.size() <= 3 && sCode.find_first_not_of("0123456789") == std::string_view::npos) {
            /* The line feed before the done line is ours: the output is as it was sent. */
            OVFANSYSTEM &sSystem = psResult->asSystem[it->second];
            if (!sSystem.sOutput.empty() && sSystem.sOutput.back() == '\n') {
                sSystem.sOutput.pop_back();
                nKept--;
            }
            if (sSystem.sOutput.size() > nSystemMax) {
                nKept -= sSystem.sOutput.size() - OVUtf8Prefix(sSystem.sOutput, nSystemMax);
                sSystem.sOutput.resize(OVUtf8Prefix(sSystem.sOutput, nSystemMax));
                sSystem.bCut = psResult->bCut = true;
            }
            Done(it->second, atoi(std::string(sCode).c_str()), true);
            return;
        }
    }
    if (bError && MultiplexNote(sText)) return;
    Keep(it->second, bError, sText);
}

void OVFanReader::Settle(bool bStopped, int nCommandSeconds) {
    Finish();
    psResult->nAnswered = psResult->nFailed = 0;
    for (std::size_t i = 0; i < psResult->asSystem.size(); i++) {
        OVFANSYSTEM &sSystem = psResult->asSystem[i];
        const SEEN &sSeen = asSeen[i];
        /* Without a done line the room kept for its line feed is not the output's. */
        if (sSystem.sOutput.size() > nSystemMax) {
            sSystem.sOutput.resize(OVUtf8Prefix(sSystem.sOutput, nSystemMax));
            sSystem.bCut = psResult->bCut = true;
        }
        if (sSystem.sNode.empty()) {
            /* Refused before the run: its state and reason are set. */
        } else if (sSeen.bRan || (sSeen.nExitStatus >= 0 && sSeen.nExitStatus != 255)) {
            /* Without its done line a command still ended with its own status (a shell that
               could not read the wrapping ends with 1 or 2). */
            sSystem.eState = OVFAN_ANSWERED;
            sSystem.nExitStatus = sSeen.nExitStatus;
        } else if (sSeen.nExitStatus == 255 &&
                   (!bStopped || SshState(sSystem.sError) != OVFAN_FAILED)) {
            /* A stop ends the ssh of every system still running with 255 as well: only ssh's
               own words tell a link that failed from one that was stopped. */
            sSystem.eState = SshState(sSystem.sError);
            sSystem.sReason = OVSshReason(sSystem.sError);
        } else if (bStopped) {
            sSystem.eState = OVFAN_STOPPED;
            sSystem.sReason = "stopped before it answered";
        } else if (bTimeout) {
            sSystem.eState = OVFAN_TIMEOUT;
            sSystem.sReason = "no end within " + std::to_string(nCommandSeconds) + " s";
        } else {
            sSystem.eState = OVFAN_FAILED;
            sSystem.sReason = "clush gave no answer for it";
        }
        if (sSystem.eState == OVFAN_ANSWERED)
            psResult->nAnswered++;
        else
            psResult->nFailed++;
    }
}

/* ------------------------------------------------------------------------------------ */

const char *OVFanStateText(int eState) {
    return eState >= 0 && eState < OVFAN_STATES ? OVSTATETEXT[eState] : "unknown";
}

int OVWriteSshConfig(std::vector<std::string> *pasAlias, std::string *psPath) {
    OVTraceStart("OVWriteSshConfig", "nRemoteSystems: %d.", nRemoteSystems);
    if (OVCheckPointers("OVWriteSshConfig", {{"pasAlias", pasAlias}, {"psPath", psPath}}) !=
        OVRC_OK)
        return OVTraceEnd("OVWriteSshConfig", OVRC_ERROR);
    pasAlias->assign(std::max(nRemoteSystems, 0), "");
    const std::string sFolder = OVSshFolder();
    if (sFolder.empty()) return OVTraceEnd("OVWriteSshConfig", OVRC_ERROR); /* logged there */
    *psPath = sFolder + "/config";
    std::string sText = OVCONFIGHEAD;
    std::map<std::string, int> mTaken;
    std::vector<const REMOTESYSTEM *> apsSystems;
    for (int i = 0; i < nRemoteSystems; i++) apsSystems.push_back(&asRemoteSystem[i]);
    OVResolveSystems(apsSystems);
    for (int i = 0; i < nRemoteSystems; i++) {
        std::string sAlias;
        for (int nTry = 0; sAlias.empty() || mTaken.count(sAlias) != 0; nTry++)
            sAlias = AliasOf(asRemoteSystem[i], nTry);
        std::string sBlock;
        /* A refused system is logged by the builder and left out: it is not run on. */
        if (OVSshConfigBlock(&asRemoteSystem[i], sAlias, &sBlock) != OVRC_OK) continue;
        mTaken[sAlias] = i;
        (*pasAlias)[i] = sAlias;
        sText += sBlock;
    }
    sText += OVCONFIGTAIL;
    std::string sOld;
    if (FILE *pFile = fopen(psPath->c_str(), "r")) {
        char achBuffer[65536];
        std::size_t n;
        while ((n = fread(achBuffer, 1, sizeof achBuffer, pFile)) > 0) sOld.append(achBuffer, n);
        fclose(pFile);
    }
    struct stat sInfo;
    const bool bPrivate = lstat(psPath->c_str(), &sInfo) == 0 && S_ISREG(sInfo.st_mode) &&
                          (sInfo.st_mode & 0777) == 0600 && sInfo.st_uid == geteuid();
    if (sOld == sText && bPrivate) return OVTraceEnd("OVWriteSshConfig", OVRC_OK);
    /* Replaced whole: a link at the name is replaced, not followed, and the file is this
       user's alone whatever mode an older one had. */
    int nError = OVReplaceFile(psPath->c_str(), sText, 0600);
    if (nError == 0 && chmod(psPath->c_str(), 0600) != 0) nError = errno;
    if (nError != 0) {
        OVLog(OVLOG_ERROR, "OVWriteSshConfig: Unable to write %s: %s.", psPath->c_str(),
              strerror(nError));
        return OVTraceEnd("OVWriteSshConfig", OVRC_ERROR);
    }
    return OVTraceEnd("OVWriteSshConfig", OVRC_OK);
}

namespace {

/* The targets of a call in *psResult, with the node names for clush. 0, or 8 with *psWhy. */
int Targets(const OVFANCALL &sCall, OVFANRESULT *psResult, std::string *psConfig,
            std::vector<std::string> *pasNodes, std::string *psWhy) {
    std::vector<std::string> asAlias;
    if (OVWriteSshConfig(&asAlias, psConfig) != OVRC_OK) {
        *psWhy = "The ssh configuration for the systems cannot be written; see the log";
        return OVRC_ERROR;
    }
    for (int nIndex : sCall.anSystems) {
        if (nIndex < 0 || nIndex >= nRemoteSystems) {
            *psWhy = "There is no system " + std::to_string(nIndex);
            return OVRC_ERROR;
        }
        const REMOTESYSTEM &sRecord = asRemoteSystem[nIndex];
        OVFANSYSTEM sSystem;
        sSystem.nSystem = nIndex;
        sSystem.sName = sRecord.szSystemName;
        sSystem.sAddress = sRecord.szIP;
        sSystem.sPort = sRecord.szPort;
        sSystem.sUser = sRecord.szUser;
        sSystem.sNode = asAlias[nIndex];
        if (sSystem.sNode.empty()) {
            sSystem.eState = OVFAN_FAILED;
            sSystem.sReason = "its user, address or port may not be given to ssh";
        } else {
            pasNodes->push_back(sSystem.sNode);
        }
        psResult->asSystem.push_back(sSystem);
    }
    if (!sCall.sNodeSet.empty()) {
        std::vector<std::string> asNames;
        if (ExpandNodeSet(sCall.sNodeSet, &asNames, psWhy) != OVRC_OK) return OVRC_ERROR;
        for (const std::string &sName : asNames) {
            OVFANSYSTEM sSystem;
            sSystem.sName = sSystem.sAddress = sSystem.sNode = sName;
            pasNodes->push_back(sName);
            psResult->asSystem.push_back(sSystem);
        }
    }
    if (psResult->asSystem.empty()) {
        *psWhy = "No system to run on";
        return OVRC_ERROR;
    }
    return OVRC_OK;
}

int RunClush(const std::vector<std::string> &asArgv, OVFanReader *psReader,
               const OVFANCALL &sCall) {
    int afdOut[2], afdErr[2];
    if (pipe2(afdOut, O_CLOEXEC) != 0) return OVRC_ERROR;
    if (pipe2(afdErr, O_CLOEXEC) != 0) {
        close(afdOut[0]), close(afdOut[1]);
        return OVRC_ERROR;
    }
    std::vector<char *> apszArgv;
    for (const std::string &sArg : asArgv) apszArgv.push_back(const_cast<char *>(sArg.c_str()));
    apszArgv.push_back(nullptr);
    fflush(nullptr);
    /* As a remote step: an ending signal ends clush's group once it is known. */
    sigset_t sSignalsBefore;
    OVHoldEndingSignals(&sSignalsBefore);
    const pid_t nChild = fork();
    if (nChild == 0) {
        setpgid(0, 0);
        OVGiveTerminal(getpid());
        for (int nSignal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGTTOU, SIGTTIN})
            signal(nSignal, SIG_DFL);
        sigprocmask(SIG_SETMASK, &sSignalsBefore, nullptr);
        const int fdNull = open("/dev/null", O_RDONLY);
        dup2(fdNull, STDIN_FILENO);
        dup2(afdOut[1], STDOUT_FILENO);
        dup2(afdErr[1], STDERR_FILENO);
        /* Each line as clush has it, so that progress is seen as it comes. */
        setenv("PYTHONUNBUFFERED", "1", 1);
        execvp("clush", apszArgv.data());
        _exit(127);
    }
    close(afdOut[1]);
    close(afdErr[1]);
    if (nChild < 0) {
        OVLog(OVLOG_ERROR, "OVFanOut: Unable to start clush: %s.", strerror(errno));
        sigprocmask(SIG_SETMASK, &sSignalsBefore, nullptr);
        close(afdOut[0]), close(afdErr[0]);
        return OVRC_CMDFAILED;
    }
    setpgid(nChild, nChild);
    OVSetStepGroup(nChild);
    sigprocmask(SIG_SETMASK, &sSignalsBefore, nullptr);
    OVGiveTerminal(nChild);

    OVFANPROGRESS sProgress{static_cast<int>(psReader->Systems()), 0, 0, -1};
    int afdRead[2] = {afdOut[0], afdErr[0]};
    bool bStopAsked = false;
    time_t nStopAt = 0;
    while (afdRead[0] >= 0 || afdRead[1] >= 0) {
        struct pollfd asPoll[2] = {{afdRead[0], POLLIN, 0}, {afdRead[1], POLLIN, 0}};
        const int nReady = poll(asPoll, 2, 200);
        if (nReady < 0 && errno != EINTR) break;
        for (int i = 0; i < 2 && nReady > 0; i++) {
            if (afdRead[i] < 0 || asPoll[i].revents == 0) continue;
            char achBuffer[65536];
            const ssize_t nRead = read(afdRead[i], achBuffer, sizeof achBuffer);
            if (nRead > 0) psReader->Take(i == 1, std::string_view(achBuffer, nRead));
            if (nRead == 0 || (nRead < 0 && errno != EINTR && errno != EAGAIN))
                close(afdRead[i]), afdRead[i] = -1;
        }
        for (int nSystem : psReader->TakeFinished()) {
            (psReader->Ran(nSystem) ? sProgress.nAnswered : sProgress.nFailed)++;
            sProgress.nLast = nSystem;
            if (sCall.pfnProgress != nullptr && sCall.pfnProgress(sProgress, sCall.pContext) != 0 &&
                !bStopAsked) {
                /* As Ctrl-c would: clush stops its ssh and says what did not complete. */
                bStopAsked = true;
                nStopAt = time(nullptr);
                kill(-nChild, SIGINT);
            }
        }
        if (bStopAsked && time(nullptr) - nStopAt > OVSTOPGRACESECONDS) {
            kill(-nChild, SIGKILL);
            nStopAt = time(nullptr) + 3600;
        }
    }
    for (int fd : afdRead)
        if (fd >= 0) close(fd);
    int nStatus = 0;
    while (waitpid(nChild, &nStatus, 0) < 0 && errno == EINTR) {
    }
    OVSetStepGroup(0);
    /* After a stop, whatever of clush's ssh is left. A clush that ended by itself has waited
       for its ssh; what stays in its group then is the proxy commands of the shared
       connections it started, which must live on with them. */
    if (bStopAsked || !WIFEXITED(nStatus)) kill(-nChild, SIGTERM);
    OVGiveTerminal(getpgrp());
    OVEndIfSignalled();
    const int nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    if (bDebug) OVLog(OVLOG_DEBUG, "OVFanOut: clush ended with %d.", nExit);
    if (bStopAsked || nExit == 128 + SIGINT) {
        OVLog(OVLOG_INFO, "OVFanOut: Stopped; what came is kept.");
        return OVRC_CANCELLED;
    }
    if (nExit == 127 && psReader->ClushLines().empty()) {
        OVLog(OVLOG_ERROR, "OVFanOut: clush is missing (install clustershell).");
        psReader->Note("clush is missing (install clustershell)");
        return OVRC_CMDFAILED;
    }
    if (nExit != 0 && psReader->NothingHeard()) {
        for (const std::string &sLine : psReader->ClushLines())
            OVLog(OVLOG_ERROR, "OVFanOut: %s", OVScreenText(sLine).c_str());
        OVLog(OVLOG_ERROR, "OVFanOut: clush ended with %d and no system answered.", nExit);
        return OVRC_CMDFAILED;
    }
    return OVRC_OK;
}

/* A word of clush's ssh options, quoted as clush splits them (shlex). */
std::string ShlexWord(const std::string &sWord) { return OVShellQuote(sWord); }

} // namespace

int OVFanOut(const OVFANCALL &sCall, OVFANRESULT *psResult, std::string *psWhy) {
    OVTraceStart("OVFanOut", "pszCommand: %s, systems: %zu, sNodeSet: %s.",
                 sCall.pszCommand ? sCall.pszCommand : "(null)", sCall.anSystems.size(),
                 sCall.sNodeSet.c_str());
    std::string sWhy;
    if (psWhy != nullptr) psWhy->clear();
    if (OVCheckPointers("OVFanOut", {{"pszCommand", sCall.pszCommand}, {"psResult", psResult}}) !=
        OVRC_OK)
        return OVTraceEnd("OVFanOut", OVRC_ERROR);
    *psResult = OVFANRESULT();
    psResult->sCommand = sCall.pszCommand;
    int nFanout = sCall.nFanout;
    if (nFanout == 0) {
        const char *pszFanout = getenv("ORVIKFANOUT");
        nFanout = pszFanout != nullptr ? atoi(pszFanout) : OVFANOUTDEFAULT;
    }
    std::string sConfig;
    std::vector<std::string> asNodes;
    if (*sCall.pszCommand == '\0')
        sWhy = "No command to run";
    else if (nFanout < 1 || nFanout > 1024)
        sWhy = "The fan-out must be 1 to 1024 systems at once, not " + std::to_string(nFanout);
    else if (sCall.nConnectSeconds < 1 || sCall.nCommandSeconds < 0 || sCall.nSystemMax == 0)
        sWhy = "The time limits and sizes of a run must be above 0";
    else
        Targets(sCall, psResult, &sConfig, &asNodes, &sWhy);
    if (!sWhy.empty()) {
        OVLog(OVLOG_ERROR, "OVFanOut: %s.", sWhy.c_str());
        if (psWhy != nullptr) *psWhy = sWhy;
        return OVTraceEnd("OVFanOut", OVRC_ERROR);
    }

    OVFanReader sReader(psResult, NewMarker(), sCall.nSystemMax, sCall.nTotalMax);
    std::string sNodes;
    for (const std::string &sNode : asNodes) sNodes += (sNodes.empty() ? "" : ",") + sNode;
    std::vector<std::string> asArgv = {
        "clush", "-n", "--color=never", "-O", "ssh_user=", "-f", std::to_string(nFanout),
        "-t", std::to_string(sCall.nConnectSeconds),
        "-o", "-F " + ShlexWord(sConfig) + " -oLogLevel=ERROR"};
    if (sCall.nCommandSeconds > 0) asArgv.insert(asArgv.end(), {"-u", std::to_string(sCall.nCommandSeconds)});
    asArgv.insert(asArgv.end(), {"-w", sNodes, "--",
                                 WrappedCommand(sCall.pszCommand, sReader.Marker(), sCall.nSystemMax)});
    if (bDebug) OVLog(OVLOG_DEBUG, "OVFanOut: clush on %zu systems, fan-out %d.", asNodes.size(), nFanout);
    int nRc = asNodes.empty() ? OVRC_OK : RunClush(asArgv, &sReader, sCall);
    if (nRc == OVRC_CMDFAILED) {
        sWhy = "clush could not run" +
               (sReader.ClushLines().empty() ? std::string("; see the log")
                                             : ": " + OVScreenText(sReader.ClushLines().front()));
        if (psWhy != nullptr) *psWhy = sWhy;
    }
    psResult->bStopped = nRc == OVRC_CANCELLED;
    sReader.Settle(psResult->bStopped, sCall.nCommandSeconds);
    return OVTraceEnd("OVFanOut", nRc);
}

int OVFanPing(const OVFANCALL &sCall, OVFANRESULT *psResult, std::string *psWhy) {
    OVFANCALL sPing = sCall;
    sPing.pszCommand = "true";
    /* A system that takes the connection and then says nothing ends within the connection's
       limit as well. */
    sPing.nCommandSeconds = sCall.nConnectSeconds + 5;
    return OVFanOut(sPing, psResult, psWhy);
}

int OVFanDiff(const OVFANRESULT &sResult, const OVFANGROUP &sLargest, const OVFANGROUP &sGroup,
              std::string *psDiff) {
    OVTraceStart("OVFanDiff", "groups of %zu and %zu.", sLargest.anMember.size(),
                 sGroup.anMember.size());
    if (OVCheckPointers("OVFanDiff", {{"psDiff", psDiff}}) != OVRC_OK)
        return OVTraceEnd("OVFanDiff", OVRC_ERROR);
    psDiff->clear();
    if (sLargest.anMember.empty() || sGroup.anMember.empty()) {
        OVLog(OVLOG_ERROR, "OVFanDiff: A group without systems has no output to compare.");
        return OVTraceEnd("OVFanDiff", OVRC_ERROR);
    }
    const OVFANGROUP *apsGroup[2] = {&sLargest, &sGroup};
    std::vector<std::string> asArgv = {"diff", "-u"};
    std::vector<std::string> asPath;
    std::vector<std::unique_ptr<OVTempFileGuard>> apsGuard;
    for (const OVFANGROUP *psGroup : apsGroup) {
        std::vector<std::string> asNames;
        for (int n : psGroup->anMember) asNames.push_back(sResult.asSystem[n].sName);
        /* Private files of our own, created exclusively: nothing is written through a link. */
        char szPath[] = "/tmp/OrvikDiff.XXXXXX";
        const int fd = mkostemp(szPath, O_CLOEXEC);
        if (fd < 0) {
            OVLog(OVLOG_ERROR, "OVFanDiff: Unable to create a file for diff: %s.", strerror(errno));
            return OVTraceEnd("OVFanDiff", OVRC_ERROR);
        }
        apsGuard.push_back(std::make_unique<OVTempFileGuard>(szPath));
        const int nError = OVWriteAll(fd, sResult.asSystem[psGroup->anMember[0]].sOutput);
        close(fd);
        if (nError != 0) {
            OVLog(OVLOG_ERROR, "OVFanDiff: Unable to write %s: %s.", szPath, strerror(nError));
            return OVTraceEnd("OVFanDiff", OVRC_ERROR);
        }
        asArgv.insert(asArgv.end(), {"--label", OVPrintableText(OVNodeSetText(asNames))});
        asPath.push_back(szPath);
    }
    asArgv.push_back("--");
    asArgv.insert(asArgv.end(), asPath.begin(), asPath.end());
    int nStatus = 0;
    std::string sErr;
    if (RunProgram(asArgv, "", psDiff, &sErr, &nStatus) != OVRC_OK)
        return OVTraceEnd("OVFanDiff", OVRC_ERROR);
    /* diff ends with 0 for the same text, 1 for a difference, 2 for trouble. */
    if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) > 1) {
        OVLog(OVLOG_ERROR, "OVFanDiff: diff -u failed (status %d): %s", nStatus,
              OVScreenText(OVSshReason(sErr)).c_str());
        psDiff->clear();
        return OVTraceEnd("OVFanDiff", OVRC_ERROR);
    }
    return OVTraceEnd("OVFanDiff", OVRC_OK);
}

int OVFanKeyScan(std::vector<OVFANKEYS> *pasTargets, int nTimeoutSeconds) {
    OVTraceStart("OVFanKeyScan", "targets: %zu.", pasTargets ? pasTargets->size() : 0);
    if (OVCheckPointers("OVFanKeyScan", {{"pasTargets", pasTargets}}) != OVRC_OK)
        return OVTraceEnd("OVFanKeyScan", OVRC_ERROR);
    /* One ssh-keyscan a port, every host of it on its standard input, scanned at once. */
    std::map<std::string, std::vector<std::size_t>> mByPort;
    for (std::size_t i = 0; i < pasTargets->size(); i++) {
        OVFANKEYS &sTarget = (*pasTargets)[i];
        sTarget.asOffered.clear();
        sTarget.asFingerprint.clear();
        const bool bPort = !sTarget.sPort.empty() && sTarget.sPort.size() <= 5 &&
                           sTarget.sPort.find_first_not_of("0123456789") == std::string::npos;
        /* A host ssh-keyscan reads from a line: a plain name or address, no blank, no "-". */
        const bool bHost = !sTarget.sHost.empty() && sTarget.sHost.front() != '-' &&
                           sTarget.sHost.find_first_of(" \t\r\n,#") == std::string::npos;
        if (!bPort || !bHost) {
            OVLog(OVLOG_ERROR, "OVFanKeyScan: Not scanned: host \"%s\", port \"%s\".",
                  OVScreenText(sTarget.sHost).c_str(), OVScreenText(sTarget.sPort).c_str());
            continue;
        }
        mByPort[sTarget.sPort].push_back(i);
    }
    std::map<std::string, std::vector<std::string>> mKeys; /* "host port" -> "type key" */
    for (const auto &[sPort, anTargets] : mByPort) {
        std::string sHosts;
        for (std::size_t i : anTargets) sHosts += (*pasTargets)[i].sHost + "\n";
        std::string sOut;
        int nStatus = 0;
        if (RunProgram({"ssh-keyscan", "-T", std::to_string(nTimeoutSeconds), "-p", sPort, "-f",
                        "-"},
                       sHosts, &sOut, nullptr, &nStatus) != OVRC_OK)
            return OVTraceEnd("OVFanKeyScan", OVRC_ERROR);
        std::string::size_type nAt = 0;
        while (nAt < sOut.size()) {
            std::string::size_type nEnd = sOut.find('\n', nAt);
            if (nEnd == std::string::npos) nEnd = sOut.size();
            std::string sLine = sOut.substr(nAt, nEnd - nAt);
            nAt = nEnd + 1;
            const std::string::size_type nBlank = sLine.find(' ');
            if (sLine.empty() || sLine[0] == '#' || nBlank == std::string::npos) continue;
            /* "host type key" for port 22, "[host]:port type key" for another. */
            std::string sHost = sLine.substr(0, nBlank);
            const std::string sSuffix = "]:" + sPort;
            if (sHost.size() > sSuffix.size() + 1 && sHost[0] == '[' &&
                sHost.compare(sHost.size() - sSuffix.size(), sSuffix.size(), sSuffix) == 0)
                sHost = sHost.substr(1, sHost.size() - sSuffix.size() - 1);
            mKeys[sHost + " " + sPort].push_back(sLine.substr(nBlank + 1));
        }
    }
    /* Every offered key under its known-hosts name, fingerprinted in one ssh-keygen. */
    std::string sAllKeys;
    std::vector<std::pair<std::size_t, std::size_t>> anOwner;
    for (std::size_t i = 0; i < pasTargets->size(); i++) {
        OVFANKEYS &sTarget = (*pasTargets)[i];
        auto it = mKeys.find(sTarget.sHost + " " + sTarget.sPort);
        if (it == mKeys.end()) continue;
        for (const std::string &sKey : it->second) {
            bool bPrintable = true;
            for (char c : sKey)
                if (static_cast<unsigned char>(c) < ' ' || c == 127) bPrintable = false;
            if (!bPrintable) continue;
            const std::string sName = sTarget.sName.empty() ? sTarget.sHost : sTarget.sName;
            sTarget.asOffered.push_back(sName + " " + sKey);
            anOwner.emplace_back(i, sTarget.asOffered.size() - 1);
            sAllKeys += "x " + sKey + "\n";
        }
    }
    if (sAllKeys.empty()) return OVTraceEnd("OVFanKeyScan", OVRC_OK);
    std::string sPrints;
    int nStatus = 0;
    if (RunProgram({"ssh-keygen", "-l", "-f", "-"}, sAllKeys, &sPrints, nullptr, &nStatus) != OVRC_OK)
        return OVTraceEnd("OVFanKeyScan", OVRC_ERROR);
    std::size_t nKey = 0;
    std::string::size_type nAt = 0;
    while (nAt < sPrints.size() && nKey < anOwner.size()) {
        std::string::size_type nEnd = sPrints.find('\n', nAt);
        if (nEnd == std::string::npos) nEnd = sPrints.size();
        const std::string sLine = sPrints.substr(nAt, nEnd - nAt);
        nAt = nEnd + 1;
        /* "256 SHA256:... x (ED25519)" as "ED25519 256 bits  SHA256:..." */
        const std::string::size_type nBits = sLine.find(' ');
        const std::string::size_type nHash = sLine.find(' ', nBits + 1);
        const std::string::size_type nType = sLine.rfind(" (");
        if (nBits == std::string::npos || nHash == std::string::npos || nType == std::string::npos ||
            sLine.back() != ')')
            continue;
        OVFANKEYS &sTarget = (*pasTargets)[anOwner[nKey].first];
        sTarget.asFingerprint.resize(sTarget.asOffered.size());
        sTarget.asFingerprint[anOwner[nKey].second] =
            sLine.substr(nType + 2, sLine.size() - nType - 3) + " " + sLine.substr(0, nBits) +
            " bits  " + sLine.substr(nBits + 1, nHash - nBits - 1);
        nKey++;
    }
    return OVTraceEnd("OVFanKeyScan", OVRC_OK);
}
