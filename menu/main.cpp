/* main.cpp - the main menu program's frame: start-up, the menu loop, clean-up, interrupt. */
#include "orvikmenu.h"

#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A command-line word: a value option copies the next argument into pszTarget (and the
// environment variable), a switch sets its flag and the variable to "Yes".
struct MENUOPTION {
    const char *pszWord;
    char *pszTarget;
    std::size_t nTargetSize;
    int *pbSwitch;
    const char *pszVariable;
    const char *pszNotice;
};

constexpr MENUOPTION asMenuOption[] = {
    {"-f", szXMLFile, sizeof szXMLFile, nullptr, nullptr, nullptr},
    {"-d", szDirectory, sizeof szDirectory, nullptr, "ORVIKDIR", nullptr},
    {"-l", szLogFile, sizeof szLogFile, nullptr, "ORVIKLOGFILE", nullptr},
    {"debug", nullptr, 0, &bDebug, "ORVIKDEBUG", "Debugging has been set."},
    {"dump", nullptr, 0, &bDump, "ORVIKDUMP", "Dump processing has been set."},
};

constexpr const char *apszHelpLines[] = {
    "",
    "Orvik  provides the following runtime options:",
    "",
    "       -f filename: Will use filename specified as XML File.",
    "       help:        Will provide this help information.",
    "       debug:       Will provide diagnosic information",
    "",
    nullptr,
};

constexpr const char *apszUsageLines[] = {
    "Usage: orvik [-f MENUFILE] [-d FOLDER] [-l LOGFILE] [debug] [dump] [help]",
    "Shows the menus of a menu file and starts the programs and commands they name.",
    "",
    "Options:",
    "  -f MENUFILE  read the menus from MENUFILE instead of ./orvik.xml",
    "  -d FOLDER    keep config.ini in FOLDER, exported as ORVIKDIR",
    "  -l LOGFILE   write the log to LOGFILE, exported as ORVIKLOGFILE",
    "  debug        log every step; the programs started do too (ORVIKDEBUG=Yes)",
    "  dump         dump panel storage into the log, also in the programs started",
    "  help         print the short list of runtime options",
    "  -h, --help   print this text",
    "Keys:",
    "  Tab, arrows  move between the entries  Enter, click  choose",
    "  PgUp, PgDn   scroll a page            Home, End     first and last item",
    "  a letter     jump to the next item    /             filter the items by title",
    "  Escape       remove the filter, else back one menu",
    "  Ctrl-d       debugging on or off      Ctrl-u        dumps on or off",
    "  Ctrl-c       end at once",
    "Files:",
    "  config.ini in the folder of -d, else in the current folder;",
    "  log /tmp/OrvikLog.txt unless -l names another;",
    "  menu ./orvik.xml, else " ORVIK_INSTALLED_MENU,
    "Manual: man orvik",
    nullptr,
};

constexpr const char *apszClearedVariables[] = {"ORVIKDEBUG", "ORVIKDUMP", "ORVIKDIR",
                                                "ORVIKLOGFILE"};

constexpr int UNAMEOUTPUTSIZE = 2560;

// Why the start failed, for the one line on standard error; empty while all is well.
std::string sStartFailure;

int StartFailure(std::string sCause)
{
    sStartFailure = std::move(sCause);
    return OVRC_ERROR;
}

// Whether "-f" named the menu file.
bool bMenuFileGiven = false;

// The folder of this program's executable, "" when the system cannot tell.
std::string OwnFolder()
{
    char szPath[4096];
    ssize_t nLength = readlink("/proc/self/exe", szPath, sizeof szPath - 1);
    if (nLength <= 0)
        return "";
    std::string sPath(szPath, static_cast<std::size_t>(nLength));
    std::size_t nSlash = sPath.rfind('/');
    return nSlash == std::string::npos ? "" : sPath.substr(0, nSlash);
}

// Without "-f" and without ./orvik.xml, the default menu installed with the program: beside
// it first (a relocated or unpacked installation), then where it was installed to.
void ChooseInstalledMenu(const std::string &sOwnFolder)
{
    if (bMenuFileGiven || access(szXMLFile, F_OK) == 0)
        return;
    std::vector<std::string> asCandidate;
    if (!sOwnFolder.empty())
        asCandidate.push_back(sOwnFolder + "/" ORVIK_MENU_FROM_BINDIR);
    asCandidate.push_back(ORVIK_INSTALLED_MENU);
    for (const std::string &sCandidate : asCandidate) {
        if (sCandidate.size() < sizeof szXMLFile && access(sCandidate.c_str(), R_OK) == 0) {
            OVCopyText(szXMLFile, sizeof szXMLFile, sCandidate.c_str());
            if (bDebug)
                OVLog(OVLOG_DEBUG, "Orvik: No ./orvik.xml, using the installed menu %s.", szXMLFile);
            return;
        }
    }
}

// The programs of the menu are started by name: the ones installed beside this program come
// first, so that an installation outside PATH still finds its own.
void PutOwnFolderOnPath(const std::string &sOwnFolder)
{
    if (sOwnFolder.empty())
        return;
    const char *pszPath = getenv("PATH");
    std::string sPath = pszPath != nullptr ? pszPath : "";
    if ((":" + sPath + ":").find(":" + sOwnFolder + ":") != std::string::npos)
        return;
    sPath = sPath.empty() ? sOwnFolder : sOwnFolder + ":" + sPath;
    setenv("PATH", sPath.c_str(), 1);
}

// Walks the arguments from index 0. An option moves on to its value before the later words
// are compared, so the value itself can also match them ("-f debug"). 1 after "help".
int ReadArguments(int argc, char **argv)
{
    for (int i = 0; i < argc; i++) {
        for (const MENUOPTION &sOption : asMenuOption) {
            if (strcasecmp(argv[i], sOption.pszWord) != 0)
                continue;
            if (sOption.pszTarget != nullptr) {
                if (i + 1 >= argc)
                    continue;
                i++;
                // A cut name would be another file: the log keeps its old path, a menu file
                // or folder that cannot be named ends the start.
                if (std::strlen(argv[i]) >= sOption.nTargetSize) {
                    OVLog(OVLOG_ERROR, "Orvik Initialize: %s value is longer than %d characters "
                          "and is ignored: %.64s...", sOption.pszWord,
                          static_cast<int>(sOption.nTargetSize - 1), argv[i]);
                    if (sOption.pszTarget == szLogFile)
                        continue;
                    return StartFailure(std::string(sOption.pszWord) + " value is longer than " +
                                        std::to_string(sOption.nTargetSize - 1) + " characters");
                }
                OVCopyText(sOption.pszTarget, sOption.nTargetSize, argv[i]);
                if (sOption.pszTarget == szXMLFile)
                    bMenuFileGiven = true;
                if (sOption.pszVariable != nullptr)
                    setenv(sOption.pszVariable, sOption.pszTarget, 1);
            } else {
                *sOption.pbSwitch = 1;
                setenv(sOption.pszVariable, "Yes", 1);
                OVWriteMessage(OVLOG_DEBUG, sOption.pszNotice);
            }
        }
        if (strcasecmp(argv[i], "help") == 0) {
            OVPrintHelpLines(apszHelpLines);
            return OVRC_HELP;
        }
    }
    return OVRC_OK;
}

// Kernel name and version word, node name and release from the words of "uname -a".
void SplitUnameOutput(std::string sOutput)
{
    while (!sOutput.empty() && sOutput.back() == '\n')
        sOutput.pop_back();
    std::vector<std::string> asWords;
    std::size_t nStart = 0;
    while (asWords.size() < 4 && nStart < sOutput.size()) {
        std::size_t nBlank = sOutput.find(' ', nStart);
        if (nBlank == std::string::npos)
            nBlank = sOutput.size();
        if (nBlank > nStart)
            asWords.push_back(sOutput.substr(nStart, nBlank - nStart));
        nStart = nBlank + 1;
    }
    asWords.resize(4);
    OVCopyText(szKernelName, sizeof szKernelName, asWords[0].c_str());
    OVCopyText(szNodeName, sizeof szNodeName, asWords[1].c_str());
    OVCopyText(szKernelRelease, sizeof szKernelRelease, asWords[2].c_str());
    OVCopyText(szKernelName, sizeof szKernelName, (asWords[0] + " " + asWords[3]).c_str());
}

/* The login name of the terminal; where the terminal has none (a container, su, a tmux
   started by a service) the name of the user id from the password database. NULL when
   neither is known. */
char *LoginName()
{
    char *pszLogin = getlogin();
    if (pszLogin != nullptr && *pszLogin != '\0')
        return pszLogin;
    static char szFromUid[64];
    const struct passwd *psUser = getpwuid(geteuid());
    if (psUser == nullptr || psUser->pw_name == nullptr)
        return nullptr;
    OVCopyText(szFromUid, sizeof szFromUid, psUser->pw_name);
    return szFromUid;
}

int InitializeSteps(int argc, char **argv)
{
    int nRc = BuildAnchorBlock();
    if (nRc != OVRC_OK)
        return StartFailure("no memory for the menu");
    for (const char *pszVariable : apszClearedVariables)
        unsetenv(pszVariable);

    nRc = ReadArguments(argc, argv);
    if (nRc != OVRC_OK)
        return nRc;
    OVChooseLogFile();
    if (bDebug) {
        OVWriteMessage(OVLOG_DEBUG, "Orvik: Input Arguments follow:");
        for (int i = 1; i < argc; i++)
            OVLog(OVLOG_DEBUG, "%.2559s", argv[i]);
        OVWriteMessage(OVLOG_DEBUG, "");
        OVLog(OVLOG_DEBUG, "Orvik: XML Filename set to %s.", szXMLFile);
    }

    const std::string sOwnFolder = OwnFolder();
    ChooseInstalledMenu(sOwnFolder);
    PutOwnFolderOnPath(sOwnFolder);

    ResetMenuReader();
    if (ReadMenuFile(szXMLFile) == 0) {
        OVLog(OVLOG_ERROR, "Orvik Initialize: No Menu Items found for XML File %s.", szXMLFile);
        return StartFailure(std::string("no menu items in ") + szXMLFile +
                            (MenuFileFailure().empty() ? "" : " (" + MenuFileFailure() + ")"));
    }
    // The items read before the fault are shown, but not without saying why some are missing.
    if (!MenuFileFailure().empty())
        OVShowFailure(MenuFileFailure().c_str(), false);
    // Nor without saying that a menu has more items than it shows.
    if (!MenuFileNotice().empty())
        OVShowMessage(OVLOG_WARNING, MenuFileNotice().c_str(), false);
    if (bDebug)
        LogMenuStructure();

    pszUserID = LoginName();

    std::vector<char> achOutput(UNAMEOUTPUTSIZE, '\0');
    nRc = ExecuteCommand("uname -a 2>/dev/null", achOutput.data(), UNAMEOUTPUTSIZE);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "Orvik Initialize: Unable to execute uname -a command, return: %d.",
              nRc);
        return StartFailure("uname -a failed");
    }
    if (bDebug)
        OVLog(OVLOG_DEBUG, "Orvik Initialize: uname: %s", achOutput.data());
    SplitUnameOutput(achOutput.data());
    if (bDebug) {
        OVLog(OVLOG_DEBUG, "Orvik Initialize: szKernelName:    %s.", szKernelName);
        OVLog(OVLOG_DEBUG, "Orvik Initialize: szKernelRelease: %s.", szKernelRelease);
        OVLog(OVLOG_DEBUG, "Orvik Initialize: szNodeName:      %s.", szNodeName);
    }

    nRc = LoadConfigurationValues();
    if (nRc != OVRC_OK)   // the loader has logged why
        return StartFailure(OVConfigurationFailure());
    if (bDebug)
        OVWriteMessage(OVLOG_DEBUG, "Orvik Initialize: Configuration values loaded.");
    return OVRC_OK;
}

} // namespace

int Initialize(int argc, char **argv)
{
    return OVTraceEnd("Initialize", InitializeSteps(argc, argv));
}

int Finish()
{
    OVTraceStart("Finish", "psPabOrvik: %p.", static_cast<void *>(psPabOrvik));
    xmlCleanupParser();
    if (bDebug)
        xmlMemoryDump();
    ResetMenuReader();   // the chain lives in the heap that goes next
    ReleaseAnchorBlock();
    if (pszHelpInfo != nullptr) {
        std::free(pszHelpInfo);
        pszHelpInfo = nullptr;
    }
    return OVTraceEnd("Finish", OVRC_OK);
}

namespace {

// The menu spends its life waiting for a key, which is where a signal is answered; a child
// that runs has the interrupt to itself (system ignores it here).
const OVSIGNALENDING sMenuEnding = {"Orvik ", "Orvik Terminal Manager ", true, EndCurses,
                                    Finish};

} // namespace

int main(int argc, char **argv)
{
    if (OVUsageAsked(argc, argv)) {
        OVPrintHelpLines(apszUsageLines);
        return 0;
    }
    OVSetSignalEnding(&sMenuEnding);
    OVInstallSignalHandlers(OVSignalHandler);
    int nRc = Initialize(argc, argv);
    // A start that fails says so where the user is looking; "help" is an ordinary ending.
    if (nRc != OVRC_OK && nRc != OVRC_HELP) {
        if (sStartFailure.empty())
            sStartFailure = "start-up failed";
        if (sStartFailure.back() == '.')
            sStartFailure.pop_back();
        std::fprintf(stderr, "orvik: %s; see the log %s\n", sStartFailure.c_str(), szLogFile);
        Finish();
        return OVRC_ERROR;
    }
    while (nRc == OVRC_OK) {
        OVEndIfSignalled();
        nRc = Process_Menu();
    }
    OVEndIfSignalled();
    Finish();
    return 0;
}
