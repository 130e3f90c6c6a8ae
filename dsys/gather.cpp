/*
 * gather.cpp - runs the report's command once, locally or on the connected system, and
 * keeps its whole output (or one gathered elsewhere, handed in as text); the section
 * recogniser that tells headings and terse keys from ordinary lines; the release of the
 * entry lists.
 */
#include "orvikdsys.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

struct DSYSLABEL {
    std::string_view sKey;
    std::string_view sLabel;
};

/* Compared whole and with regard to case, in this order: node names of the hardware lister,
   headings of the DMI decoder, keys of the memory and event statistics. */
constexpr DSYSLABEL asLabel[] = {
    {"*-disk", "Hard Drive"},
    {"*-pci", "PCI"},
    {"*-core", "Core"},
    {"*-usb", "Universal Serial Bus (USB)"},
    {"*-usbhost", "Universal Serial Bus Host"},
    {"*-display", "Display"},
    {"*-memory", "Memory"},
    {"*-multimedia", "Multimedia"},
    {"*-network", "Network"},
    {"*-cpu", "CPU"},
    {"*-ide", "IDE"},
    {"*-volume", "Volume"},
    {"*-cdrom", "CD-Rom"},
    {"Memory Device", "Memory Device"},
    {"Physical Memory Array", "Physical Memory Array"},
    {"System Slot Information", "System Slot Information"},
    {"On Board Device Information", "On Board Device Information"},
    {"Cache Information", "Cache Information"},
    {"Port Connector Information", "Port Connector Information"},
    {"BIOS Information", "BIOS Information"},
    {"BIOS Language Information", "BIOS Language Information"},
    {"Base Board Information", "Mother Board Information"},
    {"totalmemory:", "Total Memory:"},
    {"MemTotal:", "Total Memory:"},
    {"usedmemory:", "Used Memory:"},
    {"activememory:", "Active Memory:"},
    {"inactivememory:", "Inactive Memory:"},
    {"freememory:", "Free Memory:"},
    {"MemFree:", "Free Memory:"},
    {"MemAvailable:", "Available Memory:"},
    {"buffermemory:", "Buffer Memory:"},
    {"swapcache:", "Swap Cache:"},
    {"SwapCached:", "Swap Cache:"},
    {"totalswap:", "Total Swap:"},
    {"SwapTotal:", "Total Swap:"},
    {"usedswap:", "Used Swap:"},
    {"freeswap:", "Free Swap:"},
    {"SwapFree:", "Free Swap:"},
    {"non-niceusercputicks:", "Non-nice User CPU Ticks:"},
    {"niceusercputicks:", "Nice User CPU Ticks:"},
    {"systemcputicks:", "System CPU Ticks:"},
    {"idlecputicks:", "Idle CPU Ticks:"},
    {"IO-waitcputicks:", "IO Wait CPU Ticks:"},
    {"IRQcputicks:", "IRQ CPU Ticks:"},
    {"softirqcputicks:", "Soft IRQ CPU Ticks:"},
    {"stolencputicks:", "Stolen CPU Ticks:"},
    {"pagedin:", "Paged In:"},
    {"pagedout:", "Paged Out:"},
    {"swappedin:", "Swapped In:"},
    {"swappedout:", "Swapped Out:"},
    {"interrupts:", "Interrupts:"},
    {"contextswitches:", "Context Switches:"},
    {"time:", "Time:"},
    {"forks:", "Forks:"},
    {"KernelStack:", "Kernel Stack:"},
    {"PageTables:", "Page Tables:"},
    {"CommitLimit:", "Commit Limit:"},
    {"HardwareCorrupted:", "Hardware Corrupted:"},
    {"HugePages_Total:", "Total Huge Pages:"},
    {"HugePages_Free:", "Free Huge Pages:"},
    {"HugePages_Rsvd:", "Reserved Huge Pages:"},
    {"HugePages_Surp:", "Surplus Huge Pages:"},
    {"Hugepagesize:", "Huge Page Size:"},
    {"CmaTotal:", "Cma Total:"},
    {"CmaFree:", "Cma Free:"},
    {"DirectMap4k:", "Mapped to 4K Pages:"},
    {"DirectMap2M:", "Mapped to 2MB Pages:"},
};
static_assert(sizeof asLabel / sizeof asLabel[0] == 67, "13 node names, 9 headings, 45 keys");

constexpr bool LabelsFitTheBuffer()
{
    for (const DSYSLABEL &sEntry : asLabel) {
        if (sEntry.sLabel.size() > 255)
            return false;
    }
    return true;
}
static_assert(LabelsFitTheBuffer(), "a label fits any 256-byte title buffer");

/* While it lives, the terminal of standard input reads whole lines with echo, returns a
   typed Enter as a newline and writes newlines as such, whatever a program that started us
   left it in (a menu in curses mode reads single keys with a time-out and without echo). A
   password prompt of sudo then works as it does in a shell. The old settings come back at
   the end. */
class CookedTerminal {
  public:
    CookedTerminal() : bSaved(isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &sOld) == 0)
    {
        if (!bSaved)
            return;
        struct termios sCooked = sOld;
        sCooked.c_lflag |= ECHO | ECHOE | ICANON | ISIG;
        sCooked.c_iflag |= ICRNL;
        sCooked.c_iflag &= ~static_cast<tcflag_t>(INLCR | IGNCR);
        sCooked.c_oflag |= OPOST | ONLCR;
        tcsetattr(STDIN_FILENO, TCSANOW, &sCooked);
    }
    ~CookedTerminal()
    {
        if (bSaved)
            tcsetattr(STDIN_FILENO, TCSANOW, &sOld);
    }
    CookedTerminal(const CookedTerminal &) = delete;
    CookedTerminal &operator=(const CookedTerminal &) = delete;

  private:
    struct termios sOld {};
    bool bSaved;
};

/* sudo asks for a password on the terminal, not on the error output that the command line
   discards. When it is going to ask, the screen is cleared first so that the prompt stands
   on its own at the top and not somewhere in a screen left behind by the caller. */
void PrepareForPasswordPrompt(const std::string &sCommand)
{
    if (sCommand.compare(0, 5, "sudo ") != 0 || !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        return;
    std::fflush(nullptr);
    if (std::system("sudo -n true >/dev/null 2>&1") == 0)
        return;   /* no password needed, nothing to show */
    static const char szClear[] = "\x1b[H\x1b[2J";
    if (write(STDOUT_FILENO, szClear, sizeof szClear - 1) < 0) { /* the prompt still comes */ }
}

/* The first line of a file that is not empty, without its line end; "" for none. */
std::string FirstLineOf(const char *pszPath)
{
    OVFilePtr pFile(pszPath[0] != '\0' ? std::fopen(pszPath, "r") : nullptr);
    char szLine[512];
    while (pFile && std::fgets(szLine, sizeof szLine, pFile.get()) != nullptr) {
        std::string sLine = szLine;
        while (!sLine.empty() && (sLine.back() == '\n' || sLine.back() == '\r'))
            sLine.pop_back();
        if (sLine.find_first_not_of(' ') != std::string::npos)
            return sLine;
    }
    return "";
}

/* What the screen says about a report whose command failed. */
std::string FailureText(const std::string &sCommand, int nRc, const char *pszErrorFile)
{
    std::string sShown = sCommand;
    while (!sShown.empty() && sShown.back() == ' ')
        sShown.pop_back();
    if (psConnectedSystem != nullptr)
        sShown += std::string(" on ") + psConnectedSystem->szIP;
    if (nRc == OVRC_OVERFLOW)
        return "The output of " + sShown + " is longer than " +
               std::to_string(DSYSOUTPUTMAX >> 20) + " MiB.";
    const std::string sError = FirstLineOf(pszErrorFile);
    if (!sError.empty())
        return sShown + " failed: " + sError;
    return sShown + " failed; see the log " + szLogFile + ".";
}

void LogAllocationFailure(std::size_t nSize)
{
    OVLog(OVLOG_ERROR, "orvikdsys Get_Hardware_Info: Unable to allocate working storage, size: %d.",
          static_cast<int>(nSize));
}

}  // namespace

int Get_Hardware_Info()
{
    OVTraceStart("orvikdsys Get_Hardware_Info", "szClass: %s.", szClass);
    const std::string sCommand = ReportCommand();
    std::string sLine = sCommand;
    std::string sPlace = "Local";
    if (psConnectedSystem != nullptr)
        sPlace = std::string("Remote(") + psConnectedSystem->szIP + ")";

    /* The local command's error output goes into a file of ours, so that a failure can be
       said in the command's own words. */
    char szErrorFile[96] = "";
    if (psConnectedSystem == nullptr) {
        std::snprintf(szErrorFile, sizeof szErrorFile, "/tmp/OrvikDsys.%d.Error.txt",
                      static_cast<int>(getpid()));
        if (OVClaimTempFile(szErrorFile) == OVRC_OK)
            sLine += " 2>" + OVShellWord(szErrorFile);
        else {
            szErrorFile[0] = '\0';
            sLine += " 2>/dev/null";
        }
    }
    OVTempFileGuard sErrorGuard(szErrorFile[0] != '\0' ? szErrorFile : nullptr);

    /* An output that does not fit is asked for again with a buffer four times as large. */
    std::unique_ptr<char[]> pachOutput;
    std::size_t nSize = DSYSOUTPUTSIZE;
    int nRc = OVRC_OK;
    std::string sLinkReason; /* why the remote system could not be reached, when it could not */
    for (;;) {
        pachOutput.reset(new (std::nothrow) char[nSize]());
        if (!pachOutput) {
            LogAllocationFailure(nSize);
            OVShowFailure("orvikdsys: no memory for the report.", false);
            return OVTraceEnd("orvikdsys Get_Hardware_Info", OVEXIT_SHOWN);
        }
        {
            CookedTerminal sTerminal;
            if (psConnectedSystem == nullptr) {
                PrepareForPasswordPrompt(sCommand);
                nRc = ExecuteCommand(sLine.c_str(), pachOutput.get(), static_cast<int>(nSize));
            } else {
                const std::string sStep = "Running " + sCommand;
                OVRemoteStepName sName(sStep.c_str());
                nRc = ExecuteRemoteCommand(psConnectedSystem, sLine.c_str(), pachOutput.get(),
                                           static_cast<int>(nSize), nullptr, nullptr,
                                           &sLinkReason);
            }
        }
        /* No report shows yet: a cancel ends the program as Ctrl-c does. */
        if (nRc == OVRC_CANCELLED) OVEndBySignal(SIGINT);
        if (nRc != OVRC_OVERFLOW || nSize >= DSYSOUTPUTMAX)
            break;
        const std::size_t nLarger = std::min(nSize * 4, DSYSOUTPUTMAX);
        if (bDebug)
            OVLog(OVLOG_DEBUG, "orvikdsys Get_Hardware_Info: Output longer than %zu bytes, "
                  "asking again with %zu.", nSize, nLarger);
        nSize = nLarger;
    }
    if (nRc != OVRC_OK) {
        /* The command runner has logged the failure in its own words; this step adds only
           the box, and where it ran to the trace. */
        if (bDebug)
            OVLog(OVLOG_DEBUG, "orvikdsys Get_Hardware_Info: Unable to execute %s command: "
                  "%-.128s, return: %d.", sPlace.c_str(), sLine.c_str(), nRc);
        /* A link that failed is told in ssh's words, any other failure in the command's. */
        const std::string sText = !sLinkReason.empty()
                                      ? OVRemoteFailureText(psConnectedSystem, sLinkReason)
                                      : FailureText(sCommand, nRc, szErrorFile);
        OVShowFailure(sText.c_str(), false);
        return OVTraceEnd("orvikdsys Get_Hardware_Info", OVEXIT_SHOWN);
    }

    nRc = KeepSystemInfo(pachOutput.get(), nSize - 1);
    if (nRc != OVRC_OK)
        return OVTraceEnd("orvikdsys Get_Hardware_Info", nRc);
    if (bDebug)
        OVLog(OVLOG_DEBUG, "orvikdsys Get_Hardware_Info: %s command: %s, output: %zu characters.",
              sPlace.c_str(), sLine.c_str(), std::strlen(pszSystemInfo));
    return OVTraceEnd("orvikdsys Get_Hardware_Info", OVRC_OK);
}

int KeepSystemInfo(const char *pachOutput, std::size_t nLength)
{
    /* What a command printed ends at its first zero byte, as the formatters read it. */
    nLength = pachOutput != nullptr ? strnlen(pachOutput, nLength) : 0;
    char *pszOutput = static_cast<char *>(std::malloc(nLength + 1));
    if (pszOutput == nullptr) {
        LogAllocationFailure(nLength + 1);
        OVShowFailure("orvikdsys: no memory for the report.", false);
        return OVEXIT_SHOWN;
    }
    if (nLength > 0)
        std::memcpy(pszOutput, pachOutput, nLength);
    pszOutput[nLength] = '\0';
    std::free(pszSystemInfo);
    pszSystemInfo = pszOutput;
    return OVRC_OK;
}

int CheckTitle(char *pszText)
{
    if (pszText == nullptr) {
        OVLog(OVLOG_ERROR, "orvikdsys CheckTitle: pszText NULL pointer: %p.",
              static_cast<void *>(pszText));
        return 0;
    }
    if (std::strcmp(szClass, "-short") == 0)
        return 1;
    std::string_view sText(pszText);
    for (const DSYSLABEL &sEntry : asLabel) {
        if (sText == sEntry.sKey) {
            std::memcpy(pszText, sEntry.sLabel.data(), sEntry.sLabel.size());
            pszText[sEntry.sLabel.size()] = '\0';
            return 1;
        }
    }
    return 0;
}

int FreeWinTextInfoStorage(WINTEXTINFO *psWinTextInfo)
{
    if (psWinTextInfo == nullptr)
        return OVRC_OK;
    for (WINTEXTLIST *psList : {&psWinTextInfo->sTitles, &psWinTextInfo->sData}) {
        std::free(psList->pachText);
        *psList = {nullptr, 0, 0};
    }
    return OVRC_OK;
}
