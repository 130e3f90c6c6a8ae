/*
 * remote.cpp - the command lines that ping a system and fetch its host keys, and the
 * known-hosts files that a trusted key is looked up in and added to.
 *
 * The ssh lines come from the library's builder, which refuses a user, address or port that
 * ssh or a shell could read as more than a name; every other word that comes from config.ini,
 * from ssh's configuration or from a scan goes through the library's quoting, after "--". The known-hosts files are the ones ssh itself reads for the
 * system, and keys are looked up and removed with ssh-keygen, which knows every form a line
 * may take there (hashed names, several names, patterns).
 */
#include "orvikconn.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* Seconds that ssh and ssh-keyscan wait for the system before they give up. */
constexpr int nTimeoutSeconds = 5;

/* The type and key of a key line, the words that tell two keys apart. */
struct KEYWORDS {
    std::string sType;
    std::string sKey;
    bool operator==(const KEYWORDS &) const = default;
};

KEYWORDS KeyWords(const std::string &sLine)
{
    std::istringstream sWords(sLine);
    std::string sHost;
    KEYWORDS sKey;
    sWords >> sHost >> sKey.sType >> sKey.sKey;
    return sKey;
}

/* Writes all of the text; false when the file refuses some of it. */
bool WriteAll(int nFile, const std::string &sText)
{
    std::size_t nDone = 0;
    while (nDone < sText.size()) {
        ssize_t nWritten = write(nFile, sText.data() + nDone, sText.size() - nDone);
        if (nWritten < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        nDone += static_cast<std::size_t>(nWritten);
    }
    return true;
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view sText)
{
    std::vector<std::string> asLines;
    std::istringstream sStream{std::string(sText)};
    std::string sLine;
    while (std::getline(sStream, sLine)) {
        asLines.push_back(sLine);
    }
    return asLines;
}

int PingCommand(const REMOTESYSTEM &sSystem, std::string *psCommand, std::string *psWhy)
{
    /* Its own connection, never the shared one: the answer is the system's, now. LogLevel
       ERROR keeps a login banner out of the output, which holds only the reason of a
       failure. */
    OVSSHCALL sCall;
    sCall.pszStep = "orvikconn Ping";
    sCall.bShared = false;
    sCall.bBatch = true;
    sCall.bQuiet = true;
    sCall.bNoInput = true;
    sCall.nConnectSeconds = nTimeoutSeconds;
    sCall.nAliveSeconds = nTimeoutSeconds;
    sCall.nAliveCount = 1;
    if (OVSshLine(&sSystem, sCall, "true", psCommand, psWhy) != OVRC_OK) return OVRC_ERROR;
    *psCommand += " 2>&1";
    return OVRC_OK;
}

int ResolveCommand(const REMOTESYSTEM &sSystem, std::string *psCommand, std::string *psWhy)
{
    OVSSHCALL sCall;
    sCall.pszStep = "orvikconn Trust";
    sCall.bPrintConfig = true;
    if (OVSshLine(&sSystem, sCall, "", psCommand, psWhy) != OVRC_OK) return OVRC_ERROR;
    *psCommand += " 2>/dev/null";
    return OVRC_OK;
}

SCANTARGET ScanTarget(const REMOTESYSTEM &sSystem, std::string_view sResolved)
{
    SCANTARGET sTarget{sSystem.szIP, sSystem.szPort, "", {KnownHostsPath()}};
    for (const std::string &sLine : SplitLines(sResolved)) {
        std::istringstream sWords(sLine);
        std::string sKey, sValue, sMore;
        if (!(sWords >> sKey >> sValue) || sValue[0] == '-') continue;
        if (sKey == "userknownhostsfile") {
            /* Several files, read in their order; "none" only as the one word. */
            sTarget.asKnownHostsFiles.clear();
            if (sValue == "none" && !(sWords >> sMore)) continue;
            sTarget.asKnownHostsFiles.push_back(ExpandHome(sValue));
            while (sWords >> sValue) sTarget.asKnownHostsFiles.push_back(ExpandHome(sValue));
            continue;
        }
        if (sWords >> sMore) continue;
        if (sKey == "hostname") sTarget.sHost = sValue;
        if (sKey == "port") sTarget.sPort = sValue;
        if (sKey == "hostkeyalias" && sValue != "none") sTarget.sKeyAlias = sValue;
    }
    return sTarget;
}

std::string KnownHostName(const SCANTARGET &sTarget)
{
    if (!sTarget.sKeyAlias.empty()) return sTarget.sKeyAlias;
    std::string sHost = sTarget.sHost;
    for (char &c : sHost) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return sTarget.sPort == "22" ? sHost : "[" + sHost + "]:" + sTarget.sPort;
}

std::string KeyscanCommand(const SCANTARGET &sTarget)
{
    return "ssh-keyscan -T " + std::to_string(nTimeoutSeconds) + " -p " + OVShellWord(sTarget.sPort) +
           " -- " + OVShellWord(sTarget.sHost) + " 2>/dev/null";
}

std::string FingerprintCommand(const std::vector<std::string> &asKeys)
{
    std::string sCommand = "printf " + OVShellQuote("%s\\n");
    for (const std::string &sKey : asKeys) {
        sCommand += " " + OVShellQuote(sKey);
    }
    return sCommand + " | ssh-keygen -lf - 2>&1";
}

std::string FingerprintText(const std::string &sLine)
{
    std::istringstream sWords(sLine);
    std::string sBits, sHash, sWord, sType;
    if (!(sWords >> sBits >> sHash)) return sLine;
    while (sWords >> sWord) sType = sWord;
    if (sType.size() < 3 || sType.front() != '(' || sType.back() != ')') return sLine;
    return sType.substr(1, sType.size() - 2) + " " + sBits + " bits  " + sHash;
}

std::vector<std::string> KeyLines(std::string_view sScan, const std::string &sName)
{
    std::vector<std::string> asKeys;
    for (const std::string &sLine : SplitLines(sScan)) {
        if (sLine.empty() || sLine[0] == '#') continue;
        std::istringstream sWords(sLine);
        std::string sHost, sType, sKey, sMore;
        bool bPrintable = true;
        for (char c : sLine) {
            unsigned char u = static_cast<unsigned char>(c);
            if ((u < ' ' && c != '\t') || u == 127) bPrintable = false;
        }
        if (bPrintable && (sWords >> sHost >> sType >> sKey) && !(sWords >> sMore)) {
            asKeys.push_back((sName.empty() ? sHost : sName) + " " + sType + " " + sKey);
        }
    }
    return asKeys;
}

std::string FirstLine(std::string_view sOutput)
{
    for (const std::string &sLine : SplitLines(sOutput)) {
        std::string::size_type nEnd = sLine.find_last_not_of(" \t\r");
        if (nEnd != std::string::npos) return sLine.substr(0, nEnd + 1);
    }
    return "";
}

std::string ExpandHome(const std::string &sPath)
{
    if (sPath != "~" && sPath.rfind("~/", 0) != 0) return sPath;
    /* ssh takes the home folder from the password entry, never from $HOME. */
    const struct passwd *psEntry = getpwuid(getuid());
    std::string sHome = psEntry != nullptr && psEntry->pw_dir != nullptr ? psEntry->pw_dir : "";
    if (sHome.empty()) {
        const char *pszHome = std::getenv("HOME");
        sHome = pszHome != nullptr ? pszHome : "";
    }
    return sHome + sPath.substr(1);
}

std::string KnownHostsPath() { return ExpandHome("~/.ssh/known_hosts"); }

std::string LookupCommand(const std::string &sName, const std::string &sFile)
{
    /* ssh-keygen -F ends with 1 when the name is not there, 255 when it cannot read. */
    return "ssh-keygen -F " + OVShellWord(sName) + " -f " + OVShellWord(sFile) +
           " 2>&1; test $? -le 1";
}

std::string RemoveCommand(const std::string &sName, const std::string &sFile)
{
    return "ssh-keygen -R " + OVShellWord(sName) + " -f " + OVShellWord(sFile) + " 2>&1";
}

std::vector<std::string> KnownKeyLines(std::string_view sFound, const std::string &sName)
{
    std::vector<std::string> asKeys;
    for (const std::string &sLine : SplitLines(sFound)) {
        std::istringstream sWords(sLine);
        std::string sHosts, sType, sKey;
        if (!(sWords >> sHosts >> sType >> sKey) || sHosts[0] == '#' || sHosts[0] == '@') {
            continue;
        }
        asKeys.push_back(sName + " " + sType + " " + sKey);
    }
    return asKeys;
}

TRUSTCHECK CompareKeys(const std::vector<std::string> &asKnown,
                       const std::vector<std::string> &asOffered)
{
    TRUSTCHECK sCheck{TS_NEW, {}, {}};
    std::vector<KEYWORDS> asKnownKeys, asOfferedKeys;
    for (const std::string &sLine : asKnown) asKnownKeys.push_back(KeyWords(sLine));
    for (const std::string &sLine : asOffered) asOfferedKeys.push_back(KeyWords(sLine));
    if (asKnown.empty()) {
        sCheck.asToAdd = asOffered;
        return sCheck;
    }

    bool bAnyMatch = false, bDiffers = false;
    for (std::size_t i = 0; i < asKnownKeys.size(); ++i) {
        bool bMatched = false, bTypeOffered = false;
        for (const KEYWORDS &sOffered : asOfferedKeys) {
            if (sOffered.sType == asKnownKeys[i].sType) bTypeOffered = true;
            if (sOffered == asKnownKeys[i]) bMatched = true;
        }
        bAnyMatch = bAnyMatch || bMatched;
        if (!bMatched && bTypeOffered) bDiffers = true;
        if (!bMatched) sCheck.asOld.push_back(asKnown[i]);
    }
    if (bDiffers || !bAnyMatch) {
        /* The old lines all go, so every offered key is added again. */
        sCheck.eState = TS_CHANGED;
        sCheck.asToAdd = asOffered;
        return sCheck;
    }
    sCheck.asOld.clear();
    for (std::size_t i = 0; i < asOfferedKeys.size(); ++i) {
        if (std::find(asKnownKeys.begin(), asKnownKeys.end(), asOfferedKeys[i]) ==
            asKnownKeys.end()) {
            sCheck.asToAdd.push_back(asOffered[i]);
        }
    }
    sCheck.eState = sCheck.asToAdd.empty() ? TS_KNOWN : TS_MORE;
    return sCheck;
}

std::string FindKnownKeys(TRUSTOFFER *psOffer)
{
    static char szFound[16384];
    psOffer->asKnown.clear();
    psOffer->asHolding.clear();
    for (const std::string &sFile : psOffer->sTarget.asKnownHostsFiles) {
        struct stat sInfo {};
        if (stat(sFile.c_str(), &sInfo) != 0 && errno == ENOENT) continue;
        szFound[0] = '\0';
        const std::string sCommand = LookupCommand(psOffer->sName, sFile);
        OVLog(OVLOG_INFO, "orvikconn Trust: %s", sCommand.c_str());
        if (ExecuteCommand(sCommand.c_str(), szFound, sizeof szFound) != OVRC_OK) {
            const std::string sWhy = FirstLine(szFound);
            return "Unable to read " + sFile + (sWhy.empty() ? "." : ": " + sWhy);
        }
        std::vector<std::string> asKeys = KnownKeyLines(szFound, psOffer->sName);
        if (!asKeys.empty()) {
            psOffer->asHolding.push_back(sFile);
            psOffer->asKnown.insert(psOffer->asKnown.end(), asKeys.begin(), asKeys.end());
        }
    }
    psOffer->sCheck = CompareKeys(psOffer->asKnown, psOffer->asOffered);
    return "";
}

std::string ReplaceKnownKeys(const TRUSTOFFER &sOffer)
{
    const std::vector<std::string> &asFiles = sOffer.sTarget.asKnownHostsFiles;
    if (asFiles.empty()) return "ssh reads no known-hosts file for this system.";
    /* ssh-keygen would put a plain file in the place of a link: nothing is changed then. */
    for (const std::string &sFile : sOffer.asHolding) {
        struct stat sInfo {};
        if (lstat(sFile.c_str(), &sInfo) == 0 && S_ISLNK(sInfo.st_mode)) {
            return sFile + " is a symbolic link: remove the old lines with ssh-keygen -R.";
        }
    }
    static char szOutput[4096];
    for (const std::string &sFile : sOffer.asHolding) {
        szOutput[0] = '\0';
        const std::string sCommand = RemoveCommand(sOffer.sName, sFile);
        OVLog(OVLOG_INFO, "orvikconn Trust: %s", sCommand.c_str());
        if (ExecuteCommand(sCommand.c_str(), szOutput, sizeof szOutput) != OVRC_OK) {
            const std::string sWhy = FirstLine(szOutput);
            return "Unable to remove the old keys from " + sFile +
                   (sWhy.empty() ? "." : ": " + sWhy);
        }
    }
    int nAdded = 0;
    const int nError = AppendKnownHosts(asFiles.front(), sOffer.sCheck.asToAdd, &nAdded);
    if (nError != 0) {
        std::string sKept;
        for (const std::string &sFile : sOffer.asHolding) sKept += " " + sFile + ".old";
        return "Unable to add the new keys to " + asFiles.front() + ": " +
               std::strerror(nError) + "; the old lines are kept in" + sKept + ".";
    }
    return "";
}

int AppendKnownHosts(const std::string &sPath, const std::vector<std::string> &asKeys,
                     int *pnAdded)
{
    *pnAdded = 0;
    std::string::size_type nSlash = sPath.rfind('/');
    if (nSlash != std::string::npos && nSlash > 0) {
        const std::string sFolder = sPath.substr(0, nSlash);
        if (mkdir(sFolder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }

    std::string sOld;
    {
        std::ifstream sFile(sPath, std::ios::binary);
        std::ostringstream sText;
        sText << sFile.rdbuf();
        sOld = sText.str();
    }
    std::vector<std::string> asKnown = SplitLines(sOld);
    std::string sNew;
    int nAdded = 0;
    for (const std::string &sKey : asKeys) {
        bool bKnown = false;
        for (const std::string &sLine : asKnown) {
            if (sLine == sKey) bKnown = true;
        }
        if (!bKnown) {
            sNew += sKey + "\n";
            asKnown.push_back(sKey);
            ++nAdded;
        }
    }
    if (nAdded == 0) return 0;
    if (!sOld.empty() && sOld.back() != '\n') sNew.insert(0, "\n");

    int nFile = open(sPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (nFile < 0) return errno;
    bool bWritten = WriteAll(nFile, sNew);
    int nError = bWritten ? 0 : errno;
    if (close(nFile) != 0 && nError == 0) nError = errno;
    if (nError == 0) *pnAdded = nAdded;
    return nError;
}
