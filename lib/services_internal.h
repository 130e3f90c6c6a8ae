/*
 * services_internal.h - helpers shared by the runtime service sources; programs never
 * include it.
 */
#ifndef ORVIK_SERVICES_INTERNAL_H
#define ORVIK_SERVICES_INTERNAL_H

#include "orviklib.h"

#include <csignal>
#include <initializer_list>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <utility>
#include <vector>

/* Checks the named pointers in order; the first NULL one is logged at level 8 as
   "<function>: <name> NULL pointer: %p." and gives 8, else 0. */
int OVCheckPointers(const char *pszFunction,
                    std::initializer_list<std::pair<const char *, const void *>> asArgument);

/* screen.cpp: leaves curses while it lives, when a screen is active, and comes back afterwards; with
   bRepaint the screen is drawn whole again, as something else has drawn over it. */
class OVCursesSuspension {
  public:
    explicit OVCursesSuspension(bool bRepaintAfter = false);
    ~OVCursesSuspension();
    OVCursesSuspension(const OVCursesSuspension &) = delete;
    OVCursesSuspension &operator=(const OVCursesSuspension &) = delete;

  private:
    bool bActive;
    bool bRepaint;
};

/* The wait line of the current remote step on a system (see OVRemoteStepName). */
std::string RemoteWaitLine(const REMOTESYSTEM *psSystem);

/* log.cpp: the process group of the remote step that now runs, 0 once it is over. An ending
   signal ends that group at once (also one that came before it was set), so that the wait
   for it returns. Set it with the ending signals held. */
void OVSetStepGroup(pid_t nGroup);
/* Gives the terminal's foreground to a process group, when there is a terminal; SIGTTOU
   would stop a caller that is not in the foreground itself. */
void OVGiveTerminal(pid_t nGroup);
/* Asks ssh -G about many systems at once, ahead of the builder's lines for them. */
void OVResolveSystems(const std::vector<const REMOTESYSTEM *> &apsSystems);
/* Blocks the ending signals; *psBefore gets the mask to set again. */
void OVHoldEndingSignals(sigset_t *psBefore);

/* Writes the whole text to fd, going on after interruptions; 0, or errno. */
int OVWriteAll(int fd, std::string_view sContent);

#endif /* ORVIK_SERVICES_INTERNAL_H */
