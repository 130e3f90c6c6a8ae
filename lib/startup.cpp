/*
 * startup.cpp - the frame and the start-up steps that the tool programs (orvikfsys,
 * orvikdsys, orvikpref, orvikconn) share: --help and -h, the signal ending, the debug and
 * dump switches from the environment and the arguments, the "-help" text and the help
 * output, the run of their steps and the exit status. Each program passes descriptors with
 * its own wording and its own steps.
 */
#include "orviklib.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

/* Switches one flag on: the variable is set to "Yes" so that started programs follow. */
void SwitchOn(int *pbFlag, const char *pszVariable, const char *pszNotice) {
    *pbFlag = 1;
    setenv(pszVariable, "Yes", 1);
    if (pszNotice != nullptr) OVWriteMessage(OVLOG_DEBUG, pszNotice);
}

/* "Yes" in any case switches on; "No", any other value or no variable leaves it off. */
bool EnvironmentSaysYes(const char *pszVariable) {
    const char *pszValue = getenv(pszVariable);
    return pszValue != nullptr && strcasecmp(pszValue, "Yes") == 0;
}

/* Keeps the text in a fresh zeroed block; a block size of 0 means the text's own length,
   a text maximum of 0 no limit but the block. */
int KeepHelpText(const OVTOOLSTARTUP *psStartup, const char *pszText) {
    std::size_t nLength = strlen(pszText);
    std::size_t nBlock = psStartup->nHelpBlockSize != 0 ? psStartup->nHelpBlockSize : nLength + 1;
    std::size_t nCopy = nBlock;
    if (psStartup->nHelpTextMax != 0 && psStartup->nHelpTextMax + 1 < nCopy)
        nCopy = psStartup->nHelpTextMax + 1;
    char *pszBlock = static_cast<char *>(calloc(nBlock, 1));
    if (pszBlock == nullptr) {
        OVLog(OVLOG_ERROR, "%s Initialize: Unable to allocate help text, size: %zu.",
              psStartup->pszProgram, nBlock);
        return OVRC_ERROR;
    }
    OVCopyText(pszBlock, nCopy, pszText);
    free(pszHelpInfo);
    pszHelpInfo = pszBlock;
    if (bDebug) OVLog(OVLOG_DEBUG, "%s Initialize: Help text: %s.", psStartup->pszProgram, pszBlock);
    return OVRC_OK;
}

} // namespace

void OVApplyEnvironmentSwitches(const OVTOOLSTARTUP *psStartup) {
    if (psStartup == nullptr) {
        OVLog(OVLOG_ERROR, "OVApplyEnvironmentSwitches: psStartup NULL pointer: %p.",
              static_cast<const void *>(psStartup));
        return;
    }
    if (EnvironmentSaysYes("ORVIKDEBUG"))
        SwitchOn(&bDebug, "ORVIKDEBUG", psStartup->pszEnvDebugNotice);
    if (EnvironmentSaysYes("ORVIKDUMP"))
        SwitchOn(&bDump, "ORVIKDUMP", psStartup->pszEnvDumpNotice);
}

void OVPrintHelpLines(const char *const *apszHelpLines) {
    if (apszHelpLines == nullptr) return;
    for (const char *const *ppszLine = apszHelpLines; *ppszLine != nullptr; ppszLine++)
        printf("%s\n", *ppszLine);
    fflush(stdout);
}

bool OVUsageAsked(int argc, char **argv) {
    for (int i = 1; i < argc && argv[i] != nullptr; i++) {
        if (strcasecmp(argv[i], "-help") == 0) {
            i++;
        } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

int OVToolStartup(const OVTOOLSTARTUP *psStartup, int argc, char **argv) {
    if (psStartup == nullptr) {
        OVLog(OVLOG_ERROR, "OVToolStartup: psStartup NULL pointer: %p.",
              static_cast<const void *>(psStartup));
        return OVRC_ERROR;
    }
    OVChooseLogFile();
    OVApplyEnvironmentSwitches(psStartup);
    if (argv == nullptr) return OVRC_OK;

    for (int i = 0; i < argc && argv[i] != nullptr; i++) {
        if (strcasecmp(argv[i], "debug") == 0) {
            SwitchOn(&bDebug, "ORVIKDEBUG", psStartup->pszArgDebugNotice);
        } else if (strcasecmp(argv[i], "dump") == 0) {
            SwitchOn(&bDump, "ORVIKDUMP", psStartup->pszArgDumpNotice);
        } else if (strcasecmp(argv[i], "-help") == 0) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                if (psStartup->pszHelpMissingError != nullptr)
                    OVWriteMessage(OVLOG_ERROR, psStartup->pszHelpMissingError);
                return OVRC_ERROR;
            }
            i++;
            if (int nRc = KeepHelpText(psStartup, argv[i]); nRc != OVRC_OK) return nRc;
            if (psStartup->bHelpTextSkipped) continue;
        }
        /* Unless the program skips it, the text taken by "-help" is compared with "help"
           as well. */
        if (strcasecmp(argv[i], "help") == 0) {
            OVPrintHelpLines(psStartup->apszHelpLines);
            return OVRC_HELP;
        }
    }
    if (psStartup->pszArgumentsHeading != nullptr)
        OVLogArguments(psStartup->pszArgumentsHeading, argc, argv);
    return OVRC_OK;
}

void OVFreeHelpText() {
    free(pszHelpInfo);
    pszHelpInfo = nullptr;
}

int OVFinishTool(const char *pszProgram) {
    const std::string sFunction = std::string(pszProgram != nullptr ? pszProgram : "") + " Finish";
    OVTraceStart(sFunction.c_str(), "pszHelpInfo: %p.", static_cast<void *>(pszHelpInfo));
    OVFreeHelpText();
    return OVTraceEnd(sFunction.c_str(), OVRC_OK);
}

void OVLogArguments(const char *pszHeading, int argc, char **argv) {
    if (!bDebug || argv == nullptr) return;
    OVWriteMessage(OVLOG_DEBUG, pszHeading != nullptr ? pszHeading : "Input Arguments follow:\n");
    for (int i = 1; i < argc && argv[i] != nullptr; i++)
        OVLog(OVLOG_DEBUG, "%.*s", OVMAXARGUMENTLOG, argv[i]);
    OVWriteMessage(OVLOG_DEBUG, "");
}

int OVRunTool(const OVTOOLFRAME *psFrame, int argc, char **argv) {
    if (psFrame == nullptr || psFrame->pfnInitialize == nullptr) {
        OVLog(OVLOG_ERROR, "OVRunTool: psFrame NULL pointer: %p.",
              static_cast<const void *>(psFrame));
        return OVRC_ERROR;
    }
    /* Before the log, the configuration or the terminal are touched. */
    if (OVUsageAsked(argc, argv)) {
        OVPrintHelpLines(psFrame->apszUsageLines);
        return ferror(stdout) ? OVRC_ERROR : OVRC_OK;
    }
    OVSetSignalEnding(&psFrame->sEnding);
    OVInstallSignalHandlers(OVSignalHandler);
    int nRc = psFrame->pfnInitialize(argc, argv);
    for (int (*pfnStep)() : psFrame->apfnStep) {
        if (nRc != OVRC_OK || pfnStep == nullptr) break;
        OVEndIfSignalled();
        nRc = pfnStep();
    }
    /* A step that gave up on a signal (a cancelled remote step raises one) ends as the signal
       does, before any box about its code. */
    OVEndIfSignalled();
    OVShowFailureBeforeEnd(nRc);
    if (psFrame->pfnFinish != nullptr) psFrame->pfnFinish();
    return nRc;
}
