/* selection.cpp - starts what a chosen menu item names, or shows one of the menu's boxes,
 * and says so in a box when what it started failed without saying why. */
#include "orvikmenu.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr const char *NOHELP = "No Help is available";
constexpr int MENUSTATUSNOTFOUND = 127;           /* the shell found no such command */
constexpr int MENUSTATUSINTERRUPT = 128 + SIGINT; /* the shell's word for Ctrl-c */
constexpr std::size_t MENUERRORLINEMAX = 300;     /* characters kept of the first line */

/* While it lives, the standard error of the menu, and so of every child it starts, goes
   through a pipe to a thread that passes every byte on to where it went before (the
   terminal) and keeps the first line that is not blank. Children still see a terminal on
   standard input and output, so interactive programs work as before. */
class ErrorCopy {
  public:
    ErrorCopy()
    {
        int afd[2];
        if (pipe2(afd, O_CLOEXEC) != 0)
            return;
        fdSaved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        if (fdSaved < 0 || dup2(afd[1], STDERR_FILENO) < 0) {
            if (fdSaved >= 0)
                close(fdSaved);
            fdSaved = -1;
            close(afd[0]);
            close(afd[1]);
            return;
        }
        close(afd[1]);
        fdRead = afd[0];
        sThread = std::thread(&ErrorCopy::Pass, this);
    }
    ~ErrorCopy() { Finish(); }
    ErrorCopy(const ErrorCopy &) = delete;
    ErrorCopy &operator=(const ErrorCopy &) = delete;

    /* Passes on what is still waiting, puts standard error back and gives the first line. */
    std::string Finish()
    {
        if (fdSaved < 0)
            return sFirstLine;
        std::fflush(stderr);
        bStop = true;
        sThread.join();
        dup2(fdSaved, STDERR_FILENO);
        close(fdSaved);
        close(fdRead);
        fdSaved = fdRead = -1;
        if (sFirstLine.empty())
            Keep(sPending);
        return sFirstLine;
    }

  private:
    /* A child that left a process behind keeps the pipe open: once told to stop, the
       thread takes only what is already there. */
    void Pass()
    {
        char achBuffer[4096];
        for (;;) {
            struct pollfd sPoll {fdRead, POLLIN, 0};
            int nReady = poll(&sPoll, 1, bStop ? 0 : 100);
            if (nReady < 0 && errno == EINTR)
                continue;
            if (nReady <= 0) {
                if (bStop)
                    return;
                continue;
            }
            ssize_t nRead = read(fdRead, achBuffer, sizeof achBuffer);
            if (nRead < 0 && errno == EINTR)
                continue;
            if (nRead <= 0)
                return;
            for (ssize_t nDone = 0; nDone < nRead;) {
                ssize_t nWritten = write(fdSaved, achBuffer + nDone,
                                         static_cast<std::size_t>(nRead - nDone));
                if (nWritten < 0 && errno == EINTR)
                    continue;
                if (nWritten <= 0)
                    break;
                nDone += nWritten;
            }
            Look(std::string_view(achBuffer, static_cast<std::size_t>(nRead)));
        }
    }
    void Look(std::string_view sBytes)
    {
        for (char c : sBytes) {
            if (!sFirstLine.empty())
                return;
            if (c == '\n') {
                Keep(sPending);
                sPending.clear();
            } else if (sPending.size() < MENUERRORLINEMAX) {
                sPending += c;
            }
        }
    }
    void Keep(const std::string &sLine)
    {
        std::string sText = sLine;
        while (!sText.empty() && (sText.back() == '\r' || sText.back() == ' '))
            sText.pop_back();
        if (sText.find_first_not_of(' ') != std::string::npos)
            sFirstLine = sText;
    }

    int fdSaved = -1;
    int fdRead = -1;
    std::atomic<bool> bStop{false};
    std::thread sThread;
    std::string sPending;
    std::string sFirstLine;
};

/* The command word of an action: the first word, or the first word inside the parentheses
   of a Shell action. */
std::string CommandName(const char *pszAction)
{
    std::string_view sAction(pszAction);
    if (sAction.compare(0, 5, "Shell") == 0) {
        std::size_t nOpen = sAction.find('(');
        sAction = nOpen == std::string_view::npos ? std::string_view() : sAction.substr(nOpen + 1);
    }
    std::size_t nStart = sAction.find_first_not_of(' ');
    if (nStart == std::string_view::npos)
        return "";
    sAction.remove_prefix(nStart);
    return std::string(sAction.substr(0, sAction.find_first_of(" )")));
}

bool IsShellAction(const char *pszAction)
{
    return std::strlen(pszAction) >= 5 && std::strncmp(pszAction, "Shell", 5) == 0;
}

} // namespace

std::string BuildSelectionCommand(const MENUITEM *psMenuItem)
{
    std::string sCommand = psMenuItem->szAction;
    if (std::strcmp(psMenuItem->szAction, "htop") == 0 ||
        std::strcmp(psMenuItem->szAction, "Shell") == 0)
        return sCommand + " ";
    // The child must receive the help text as one argument exactly as written, so the
    // characters that mean something between double quotes are escaped.
    std::string_view sHelp = psMenuItem->pszHelpText != nullptr ? psMenuItem->pszHelpText : NOHELP;
    sHelp = sHelp.substr(0, OVUtf8Prefix(sHelp, MENUHELPMAX));
    return sCommand + " -help \"" + OVShellEscapeDoubleQuoted(sHelp) + "\" ";
}

std::string SelectionFailureText(const MENUITEM *psMenuItem, int nStatus,
                                 const std::string &sErrorLine)
{
    /* An interactive shell ends with the status of the last command typed into it. */
    if (std::strcmp(psMenuItem->szAction, "Shell") == 0)
        return "";
    if (nStatus == -1)
        return std::string(psMenuItem->szName) + ": the command could not be started.";
    if (WIFSIGNALED(nStatus))
        return WTERMSIG(nStatus) == SIGINT
                   ? ""
                   : std::string(psMenuItem->szName) + " ended by signal " +
                         std::to_string(WTERMSIG(nStatus)) + ".";
    const int nExit = WEXITSTATUS(nStatus);
    switch (nExit) {
    case OVRC_OK:
    case OVRC_RETURN:
    case OVRC_EXIT:
    case OVEXIT_SHOWN:         /* the program has shown why */
    case SIGINT:               /* an Orvik program ended by Ctrl-c */
    case MENUSTATUSINTERRUPT:  /* any other program ended by Ctrl-c */
        return "";
    case MENUSTATUSNOTFOUND:
        return std::string(psMenuItem->szName) + ": command not found: " +
               CommandName(psMenuItem->szAction);
    default: {
        std::string sText = std::string(psMenuItem->szName) + " ended with status " +
                            std::to_string(nExit);
        return sErrorLine.empty() ? sText + "." : sText + ": " + sErrorLine;
    }
    }
}

int Process_Selection(MENUITEM *psMenuItem)
{
    OVTraceStart("Process_Selection", "psMenuItem: %p, szName: %s, szAction: %s.",
                 static_cast<void *>(psMenuItem), psMenuItem->szName, psMenuItem->szAction);
    const char *pszHelpText = psMenuItem->pszHelpText != nullptr ? psMenuItem->pszHelpText : NOHELP;

    if (std::strcmp(psMenuItem->szName, "Help") == 0) {
        CreateHelpBoxi(psPabOrvik, pszHelpText, 0, 0, 80);
        return OVTraceEnd("Process_Selection", OVRC_OK);
    }
    if (std::strcmp(psMenuItem->szName, "Product Information") == 0) {
        ProductInfo(psPabOrvik);
        return OVTraceEnd("Process_Selection", OVRC_OK);
    }

    const std::string sCommand = BuildSelectionCommand(psMenuItem);
    if (bDebug)
        OVLog(OVLOG_DEBUG, "Orvik Process_Selection: About to execute system call: %-64.64s.\n",
              sCommand.c_str());
    const bool bShell = IsShellAction(psMenuItem->szAction);
    std::string sErrorLine;
    int nStatus;
    if (bShell) {
        /* A shell's prompt and line editing use its standard error: it keeps the terminal. */
        nStatus = RunShell(psMenuItem->szAction);
    } else {
        ErrorCopy sErrorCopy;
        nStatus = std::system(sCommand.c_str());
        sErrorLine = sErrorCopy.Finish();
    }
    OVEndIfSignalled();
    int nRc = nStatus;
    if (nRc != 0)
        nRc >>= 8;   // the child's exit status
    if (bDebug)
        OVLog(OVLOG_DEBUG,
              "Orvik Process_Selection: Return from execute system call: %-64.64s, nRc: %d.\n",
              sCommand.c_str(), nRc);

    if (nRc == OVRC_OK || nRc == OVRC_EXIT || nRc == OVRC_RETURN)
        return OVTraceEnd("Process_Selection", nRc);
    OVLog(OVLOG_ERROR, "Orvik Process_Selection: Failure in call to %.32s, nRc: %d.",
          sCommand.c_str(), nRc);
    const std::string sBox = SelectionFailureText(psMenuItem, nStatus, sErrorLine);
    if (!sBox.empty()) {
        EndCurses();   /* the child's screen is gone: the box comes on a screen of its own */
        OVShowFailure(sBox.c_str(), false);
    }
    return OVTraceEnd("Process_Selection", OVRC_OK);
}
