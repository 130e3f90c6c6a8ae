/*
 * remote.cpp - the command lines that ping a system and fetch its host keys, and the
 * user's known_hosts file that a trusted key is added to.
 *
 * Every word that comes from config.ini or from a scan goes through the library's quoting;
 * the address and user are preceded by "--" so that ssh never takes them for options.
 */
#include "orvikconn.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* Seconds that ssh and ssh-keyscan wait for the system before they give up. */
constexpr const char *pszTimeout = "5";

std::string Word(const char *pszText) { return OVShellWord(pszText); }

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

std::string PingCommand(const REMOTESYSTEM &sSystem)
{
    /* LogLevel=ERROR keeps a login banner out of the output, which holds only the reason
       of a failure. */
    return std::string("ssh -n -o BatchMode=yes -o LogLevel=ERROR -o ConnectTimeout=") +
           pszTimeout +
           " -o ConnectionAttempts=1 -o ServerAliveInterval=" + pszTimeout +
           " -o ServerAliveCountMax=1 -p " + Word(sSystem.szPort) + " -- " +
           Word(sSystem.szUser) + "@" + Word(sSystem.szIP) + " true 2>&1";
}

std::string ResolveCommand(const REMOTESYSTEM &sSystem)
{
    return "ssh -G -p " + Word(sSystem.szPort) + " -- " + Word(sSystem.szUser) + "@" +
           Word(sSystem.szIP) + " 2>/dev/null";
}

SCANTARGET ScanTarget(const REMOTESYSTEM &sSystem, std::string_view sResolved)
{
    SCANTARGET sTarget{sSystem.szIP, sSystem.szPort, ""};
    for (const std::string &sLine : SplitLines(sResolved)) {
        std::istringstream sWords(sLine);
        std::string sKey, sValue, sMore;
        if (!(sWords >> sKey >> sValue) || (sWords >> sMore) || sValue[0] == '-') continue;
        if (sKey == "hostname") sTarget.sHost = sValue;
        if (sKey == "port") sTarget.sPort = sValue;
        if (sKey == "hostkeyalias" && sValue != "none") sTarget.sKeyAlias = sValue;
    }
    return sTarget;
}

std::string KeyscanCommand(const SCANTARGET &sTarget)
{
    return std::string("ssh-keyscan -T ") + pszTimeout + " -p " + OVShellWord(sTarget.sPort) +
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

std::vector<std::string> KeyLines(std::string_view sScan, const std::string &sKeyAlias)
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
            asKeys.push_back((sKeyAlias.empty() ? sHost : sKeyAlias) + " " + sType + " " + sKey);
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

std::string KnownHostsPath()
{
    const char *pszHome = std::getenv("HOME");
    std::string sHome = pszHome != nullptr ? pszHome : "";
    if (sHome.empty()) {
        const struct passwd *psEntry = getpwuid(getuid());
        if (psEntry != nullptr && psEntry->pw_dir != nullptr) sHome = psEntry->pw_dir;
    }
    return sHome + "/.ssh/known_hosts";
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
