/*
 * fanout_run.cpp - one Ping all or one Run on every system of config.ini, the way
 * orvikconn's screens call the engine, timed: for bench/fanout_speed.sh.
 *
 *   fanout_run ping|run [debug] [command]      (the command of run defaults to "uname -r")
 *
 * config.ini comes from $ORVIKDIR as for every program, the log from ORVIKLOGFILE. Prints
 * one line: the systems, how many answered and failed, the groups of the folded result, the
 * time of the call and when the first and the last system finished (seconds from the call).
 * The generated ssh configuration is written first and timed on its own ("config"): it asks
 * ssh -G once per system and process, so the call itself then costs what a second Ping
 * all of the same orvikconn costs.
 * Ends with 0 when every system answered with exit status 0, else 1 (the group lines go to
 * standard error), 8 when the engine refused the call.
 */
#include "fanout.h"
#include "orviklib.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const OVTOOLSTARTUP sStartup = {
    "fanout_run", "fanout_run: Debug switched on by ORVIKDEBUG.",
    "fanout_run: Dump switched on by ORVIKDUMP.", "fanout_run: Debug switched on.",
    "fanout_run: Dump switched on.", "fanout_run: -help needs a text.", nullptr, 0, 0, false,
    nullptr};

struct TIMES {
    Clock::time_point tStart;
    double dFirst = -1;      /* seconds from the call to the first system that finished */
    double dLast = -1;
};

/* Notes when systems finish; never stops the run. */
int Progress(const OVFANPROGRESS &sProgress, void *pContext) {
    TIMES *psTimes = static_cast<TIMES *>(pContext);
    const double dNow = std::chrono::duration<double>(Clock::now() - psTimes->tStart).count();
    if (psTimes->dFirst < 0) psTimes->dFirst = dNow;
    psTimes->dLast = dNow;
    (void)sProgress;
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const bool bPing = argc > 1 && strcmp(argv[1], "ping") == 0;
    if (argc < 2 || (!bPing && strcmp(argv[1], "run") != 0)) {
        fprintf(stderr, "usage: fanout_run ping|run [debug] [command]\n");
        return OVRC_ERROR;
    }
    if (OVToolStartup(&sStartup, argc, argv) != OVRC_OK) return OVRC_ERROR;
    std::string sCommand = "uname -r";
    for (int i = 2; i < argc; i++)
        if (strcasecmp(argv[i], "debug") != 0) sCommand = argv[i];
    OVTraceStart("fanout_run", "%s: %s.", argv[1], sCommand.c_str());
    if (LoadConfigurationValues() != OVRC_OK) {
        fprintf(stderr, "fanout_run: %s\n", OVConfigurationFailure().c_str());
        return OVTraceEnd("fanout_run", OVRC_ERROR);
    }

    std::vector<std::string> asAlias;
    std::string sPath;
    const Clock::time_point tConfig = Clock::now();
    if (OVWriteSshConfig(&asAlias, &sPath) != OVRC_OK) {
        fprintf(stderr, "fanout_run: the ssh configuration cannot be written; see the log\n");
        return OVTraceEnd("fanout_run", OVRC_ERROR);
    }
    const double dConfig = std::chrono::duration<double>(Clock::now() - tConfig).count();

    TIMES sTimes;
    OVFANCALL sCall;
    for (int i = 0; i < nRemoteSystems; i++) sCall.anSystems.push_back(i);
    sCall.pszCommand = sCommand.c_str();
    sCall.pfnProgress = Progress;
    sCall.pContext = &sTimes;
    OVFANRESULT sResult;
    std::string sWhy;
    sTimes.tStart = Clock::now();
    const int nRc = bPing ? OVFanPing(sCall, &sResult, &sWhy) : OVFanOut(sCall, &sResult, &sWhy);
    const double dCall = std::chrono::duration<double>(Clock::now() - sTimes.tStart).count();
    if (nRc == OVRC_ERROR) {
        fprintf(stderr, "fanout_run: %s\n", sWhy.c_str());
        return OVTraceEnd("fanout_run", OVRC_ERROR);
    }

    const std::vector<OVFANGROUP> asGroup = OVFoldResult(sResult);
    printf("%s %zu systems: %d answered, %d failed, %zu groups; config %.3f s, call %.3f s "
           "(first %.3f s, last %.3f s)\n",
           argv[1], sResult.asSystem.size(), sResult.nAnswered, sResult.nFailed, asGroup.size(),
           dConfig, dCall, sTimes.dFirst, sTimes.dLast);
    /* A run counts only when every system gave the same good answer. */
    const bool bAll = nRc == OVRC_OK && asGroup.size() == 1 && sResult.nFailed == 0 &&
                      asGroup[0].nExitStatus == 0;
    if (!bAll)
        for (const OVFANGROUP &sGroup : asGroup)
            fprintf(stderr, "fanout_run: %s\n", OVFanGroupLine(sResult, sGroup).c_str());
    return OVTraceEnd("fanout_run", bAll ? OVRC_OK : 1);
}
