/*
 * fanfold.cpp - the answers of a run folded into groups of systems that answered alike, the
 * names of a group in ClusterShell's folded form, and the result as text and as JSON.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

bool FoldableName(std::string_view sName) {
    if (sName.empty()) return false;
    for (char c : sName)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-'))
            return false;
    return true;
}

/* A name that may not go into a set as it is, in double quotes: '"' and '\' escaped,
   control characters as ^X. */
std::string QuotedName(std::string_view sName) {
    std::string sQuoted = "\"";
    for (char c : OVScreenText(sName)) {
        if (c == '"' || c == '\\') sQuoted += '\\';
        sQuoted += c;
    }
    return sQuoted + "\"";
}

/* The numbers of one prefix and suffix as ranges: "01-03,07". */
std::string Ranges(std::vector<unsigned long long> anNumber, std::size_t nWidth) {
    std::sort(anNumber.begin(), anNumber.end());
    anNumber.erase(std::unique(anNumber.begin(), anNumber.end()), anNumber.end());
    auto Shown = [nWidth](unsigned long long n) {
        std::string s = std::to_string(n);
        return s.size() < nWidth ? std::string(nWidth - s.size(), '0') + s : s;
    };
    std::string sRanges;
    for (std::size_t i = 0; i < anNumber.size();) {
        std::size_t j = i;
        while (j + 1 < anNumber.size() && anNumber[j + 1] == anNumber[j] + 1) j++;
        sRanges += (sRanges.empty() ? "" : ",") + Shown(anNumber[i]) +
                   (j > i ? "-" + Shown(anNumber[j]) : "");
        i = j + 1;
    }
    return sRanges;
}

} // namespace

std::string OVNodeSetText(const std::vector<std::string> &asNames) {
    /* Folded on the last run of digits: prefix, suffix and the width of a zero-padded number
       make a key; a number without a leading zero joins the padded numbers of its width. */
    struct KEY {
        std::string sPrefix, sSuffix;
        std::size_t nWidth;
        bool operator<(const KEY &o) const {
            return std::tie(sPrefix, sSuffix, nWidth) < std::tie(o.sPrefix, o.sSuffix, o.nWidth);
        }
    };
    std::map<KEY, std::vector<unsigned long long>> mFolds;
    std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> mPadded;
    std::vector<std::string> asPlain, asQuoted;
    struct NUMBERED {
        std::string sPrefix, sDigits, sSuffix;
    };
    std::vector<NUMBERED> asNumbered;
    for (const std::string &sName : asNames) {
        if (!FoldableName(sName)) {
            asQuoted.push_back(QuotedName(sName));
            continue;
        }
        const std::string::size_type nLast = sName.find_last_of("0123456789");
        if (nLast == std::string::npos) {
            asPlain.push_back(sName);
            continue;
        }
        std::string::size_type nFirst = sName.find_last_not_of("0123456789", nLast);
        nFirst = nFirst == std::string::npos ? 0 : nFirst + 1;
        if (nLast - nFirst + 1 > 18) {  /* too long a number to count with */
            asPlain.push_back(sName);
            continue;
        }
        NUMBERED sNumbered{sName.substr(0, nFirst), sName.substr(nFirst, nLast - nFirst + 1),
                           sName.substr(nLast + 1)};
        if (sNumbered.sDigits.size() > 1 && sNumbered.sDigits[0] == '0')
            mPadded[{sNumbered.sPrefix, sNumbered.sSuffix}].push_back(sNumbered.sDigits.size());
        asNumbered.push_back(sNumbered);
    }
    for (const NUMBERED &sNumbered : asNumbered) {
        std::size_t nWidth = 0;
        const auto &anPadded = mPadded[{sNumbered.sPrefix, sNumbered.sSuffix}];
        if (std::find(anPadded.begin(), anPadded.end(), sNumbered.sDigits.size()) != anPadded.end())
            nWidth = sNumbered.sDigits.size();
        mFolds[{sNumbered.sPrefix, sNumbered.sSuffix, nWidth}].push_back(
            std::stoull(sNumbered.sDigits));
    }
    std::vector<std::string> asParts;
    for (const auto &[sKey, anNumber] : mFolds) {
        const std::string sRanges = Ranges(anNumber, sKey.nWidth);
        const bool bOne = sRanges.find_first_of(",-") == std::string::npos;
        asParts.push_back(sKey.sPrefix + (bOne ? sRanges : "[" + sRanges + "]") + sKey.sSuffix);
    }
    std::sort(asPlain.begin(), asPlain.end());
    asPlain.erase(std::unique(asPlain.begin(), asPlain.end()), asPlain.end());
    asParts.insert(asParts.end(), asPlain.begin(), asPlain.end());
    std::sort(asParts.begin(), asParts.end());
    asParts.insert(asParts.end(), asQuoted.begin(), asQuoted.end());
    std::string sText;
    for (const std::string &sPart : asParts) sText += (sText.empty() ? "" : ",") + sPart;
    return sText;
}

std::vector<OVFANGROUP> OVFoldResult(const OVFANRESULT &sResult) {
    std::vector<OVFANGROUP> asGroup;
    std::map<std::tuple<int, int, std::string>, std::size_t> mGroup;
    for (std::size_t i = 0; i < sResult.asSystem.size(); i++) {
        const OVFANSYSTEM &sSystem = sResult.asSystem[i];
        const bool bAnswered = sSystem.eState == OVFAN_ANSWERED;
        /* Answers alike: the same exit status and output; not reached: the same state. */
        const auto sKey = std::make_tuple(sSystem.eState, bAnswered ? sSystem.nExitStatus : -1,
                                          bAnswered ? sSystem.sOutput : std::string());
        auto it = mGroup.find(sKey);
        if (it == mGroup.end()) {
            it = mGroup.emplace(sKey, asGroup.size()).first;
            OVFANGROUP sGroup;
            sGroup.eState = sSystem.eState;
            sGroup.nExitStatus = bAnswered ? sSystem.nExitStatus : -1;
            asGroup.push_back(sGroup);
        }
        asGroup[it->second].anMember.push_back(static_cast<int>(i));
        asGroup[it->second].bCut = asGroup[it->second].bCut || sSystem.bCut;
    }
    std::stable_sort(asGroup.begin(), asGroup.end(), [](const OVFANGROUP &a, const OVFANGROUP &b) {
        if (a.anMember.size() != b.anMember.size()) return a.anMember.size() > b.anMember.size();
        return (a.eState == OVFAN_ANSWERED) > (b.eState == OVFAN_ANSWERED);
    });
    return asGroup;
}

std::string OVFanGroupLine(const OVFANRESULT &sResult, const OVFANGROUP &sGroup) {
    std::vector<std::string> asNames;
    for (int n : sGroup.anMember) asNames.push_back(sResult.asSystem[n].sName);
    const std::size_t nCount = sGroup.anMember.size();
    std::string sLine = std::to_string(nCount);
    if (sGroup.eState == OVFAN_ANSWERED)
        sLine += (nCount == 1 ? " system  exit " : " systems  exit ") +
                 std::to_string(sGroup.nExitStatus);
    else
        sLine += std::string(" not reached  ") + OVFanStateText(sGroup.eState);
    if (sGroup.bCut) sLine += "  (output cut)";
    return sLine + "  " + OVNodeSetText(asNames);
}

std::string OVFanText(const OVFANRESULT &sResult) {
    std::string sText = "Command: " + sResult.sCommand + "\n" +
                        std::to_string(sResult.asSystem.size()) + " systems: " +
                        std::to_string(sResult.nAnswered) + " answered, " +
                        std::to_string(sResult.nFailed) + " not reached" +
                        (sResult.bStopped ? "; stopped before the end" : "") +
                        (sResult.bCut ? "; some output was cut" : "") + "\n";
    for (const OVFANGROUP &sGroup : OVFoldResult(sResult)) {
        sText += "\n" + OVFanGroupLine(sResult, sGroup) + "\n";
        if (sGroup.eState == OVFAN_ANSWERED) {
            sText += sResult.asSystem[sGroup.anMember[0]].sOutput;
            continue;
        }
        for (int n : sGroup.anMember)
            sText += "  " + sResult.asSystem[n].sName + ": " + sResult.asSystem[n].sReason + "\n";
    }
    return sText;
}

std::string OVJsonString(std::string_view sText) {
    std::string sJson = "\"";
    for (std::size_t nAt = 0; nAt < sText.size();) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        const std::string_view sBytes = sText.substr(nAt, sChar.nBytes);
        nAt += sChar.nBytes;
        const long n = sChar.nCode;
        char szEscape[8];
        if (n == OVNOTACHARACTER) {
            sJson += "\\ufffd";
        } else if (n == '"' || n == '\\') {
            sJson += '\\';
            sJson += static_cast<char>(n);
        } else if (n == '\n') {
            sJson += "\\n";
        } else if (n == '\t') {
            sJson += "\\t";
        } else if (n < 0x20 || n == 0x7f || n == 0x2028 || n == 0x2029) {
            snprintf(szEscape, sizeof szEscape, "\\u%04lx", n);
            sJson += szEscape;
        } else {
            sJson += sBytes;
        }
    }
    return sJson + "\"";
}

std::string OVFanJson(const OVFANRESULT &sResult) {
    std::string sJson = "{\n  \"command\": " + OVJsonString(sResult.sCommand) +
                        ",\n  \"stopped\": " + (sResult.bStopped ? "true" : "false") +
                        ",\n  \"cut\": " + (sResult.bCut ? "true" : "false") +
                        ",\n  \"systems\": [";
    for (std::size_t i = 0; i < sResult.asSystem.size(); i++) {
        const OVFANSYSTEM &s = sResult.asSystem[i];
        sJson += std::string(i == 0 ? "\n" : ",\n") + "    {\"name\": " + OVJsonString(s.sName) +
                 ", \"address\": " + OVJsonString(s.sAddress) + ", \"port\": " +
                 OVJsonString(s.sPort) + ", \"user\": " + OVJsonString(s.sUser) +
                 ", \"state\": " + OVJsonString(OVFanStateText(s.eState)) + ", \"exit_status\": " +
                 (s.eState == OVFAN_ANSWERED ? std::to_string(s.nExitStatus) : "null") +
                 ", \"output\": " + OVJsonString(s.sOutput) + ", \"error\": " +
                 OVJsonString(s.sError) + ", \"reason\": " + OVJsonString(s.sReason) +
                 ", \"cut\": " + (s.bCut ? "true" : "false") + "}";
    }
    return sJson + "\n  ]\n}\n";
}

int OVFanSave(const OVFANRESULT &sResult, const char *pszTextPath, const char *pszJsonPath,
              std::string *psWhy) {
    OVTraceStart("OVFanSave", "pszTextPath: %s, pszJsonPath: %s.",
                 pszTextPath ? pszTextPath : "(null)", pszJsonPath ? pszJsonPath : "(null)");
    if (psWhy != nullptr) psWhy->clear();
    const std::pair<const char *, std::string> asFile[] = {
        {pszTextPath, pszTextPath ? OVFanText(sResult) : ""},
        {pszJsonPath, pszJsonPath ? OVFanJson(sResult) : ""}};
    for (const auto &[pszPath, sContent] : asFile) {
        if (pszPath == nullptr) continue;
        std::string sWhy;
        if (OVWritePrivateFile(pszPath, sContent, &sWhy) != 0) {
            OVLog(OVLOG_ERROR, "OVFanSave: Refusing to write %s: %s.", pszPath, sWhy.c_str());
            if (psWhy != nullptr) *psWhy = std::string(pszPath) + ": " + sWhy;
            return OVTraceEnd("OVFanSave", OVRC_ERROR);
        }
    }
    return OVTraceEnd("OVFanSave", OVRC_OK);
}
