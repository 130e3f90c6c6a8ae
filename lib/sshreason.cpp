/*
 * sshreason.cpp - the one sentence that says why ssh failed, picked out of what ssh wrote to
 * its standard error.
 *
 * ssh frames its loudest warnings in a banner of '@' lines followed by a paragraph of advice;
 * the sentence that decides the failure comes after them ("Host key for X has changed and you
 * have requested strict checking."). A message box has room for one line, so the programs
 * show that sentence, never the banner.
 */
#include "orviklib.h"

#include <sstream>
#include <string>

namespace {

constexpr std::string_view sChangedBanner = "REMOTE HOST IDENTIFICATION HAS CHANGED";

/* A line without its trailing blanks and carriage return. */
std::string Trimmed(const std::string &sLine) {
    std::string::size_type nEnd = sLine.find_last_not_of(" \t\r");
    return nEnd == std::string::npos ? std::string() : sLine.substr(0, nEnd + 1);
}

/* ssh's own sentence for a host key that differs from the one known, "" when there is none:
   the strict-checking line, else the banner's heading without its frame. */
std::string ChangedSentence(std::string_view sStderr) {
    std::istringstream sLines{std::string(sStderr)};
    std::string sBanner;
    for (std::string sLine; std::getline(sLines, sLine);) {
        sLine = Trimmed(sLine);
        if (sLine.rfind("Host key for ", 0) == 0 &&
            sLine.find(" has changed and you have requested strict checking.") !=
                std::string::npos) {
            return sLine;
        }
        if (sBanner.empty() && sLine.find(sChangedBanner) != std::string::npos) {
            std::string::size_type nFirst = sLine.find_first_not_of("@ \t");
            std::string::size_type nLast = sLine.find_last_not_of("@ \t");
            sBanner = sLine.substr(nFirst, nLast - nFirst + 1);
        }
    }
    return sBanner;
}

} // namespace

bool OVSshHostKeyChanged(std::string_view sStderr) {
    return !ChangedSentence(sStderr).empty();
}

std::string OVSshReason(std::string_view sStderr) {
    std::string sChanged = ChangedSentence(sStderr);
    if (!sChanged.empty()) return sChanged;
    std::istringstream sLines{std::string(sStderr)};
    for (std::string sLine; std::getline(sLines, sLine);) {
        sLine = Trimmed(sLine);
        if (sLine.empty() || sLine[0] == '@') continue;  /* a banner's frame */
        if (sLine.rfind("ssh: ", 0) == 0) sLine.erase(0, 5);
        return sLine;
    }
    return "";
}
