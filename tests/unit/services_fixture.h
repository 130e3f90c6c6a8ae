/*
 * services_fixture.h - a private ORVIKDIR and log file for one runtime-services test, the
 * library's globals put back afterwards, and small readers for what the test produced.
 */
#ifndef SERVICES_FIXTURE_H
#define SERVICES_FIXTURE_H

#include "orviklib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class ServicesTest : public ::testing::Test {
  public:
    void SetUp() override {
        char szTemplate[] = "/tmp/orvik-services-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        sDir = szTemplate;
        sLogFile = sDir + "/OrvikLog.txt";
        setenv("ORVIKDIR", sDir.c_str(), 1);
        setenv("ORVIKLOGFILE", sLogFile.c_str(), 1);
        /* Shared ssh connections keep their sockets below HOME. */
        const char *pszHome = getenv("HOME");
        sSavedHome = pszHome != nullptr ? pszHome : "";
        setenv("HOME", sDir.c_str(), 1);
        memcpy(asSavedGroups, asOVDisplayAttributes, sizeof(asSavedGroups));
        bDebug = 0;
        bDump = 0;
        nRemoteSystems = 0;
        psConnectedSystem = nullptr;
    }
    void TearDown() override {
        memcpy(asOVDisplayAttributes, asSavedGroups, sizeof(asSavedGroups));
        bDebug = 0;
        bDump = 0;
        nRemoteSystems = 0;
        psConnectedSystem = nullptr;
        unsetenv("ORVIKDIR");
        unsetenv("ORVIKLOGFILE");
        setenv("HOME", sSavedHome.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(sDir, ec);
    }

    static std::string ReadFile(const std::string &sPath) {
        std::ifstream in(sPath, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static void WriteFile(const std::string &sPath, const std::string &sText) {
        std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
        out << sText;
    }
    std::string ReadLog() const { return ReadFile(sLogFile); }
    /* The log lines with their date, time and label (26 characters) taken off; with a label
       ("Error"), only the lines that carry it. */
    std::vector<std::string> LogMessages(const std::string &sLabel = "") const {
        std::vector<std::string> asMessage;
        std::istringstream in(ReadLog());
        for (std::string sLine; std::getline(in, sLine);)
            if (sLabel.empty())
                asMessage.push_back(sLine.size() >= 26 ? sLine.substr(26) : sLine);
            else if (sLine.size() > 26 && sLine.compare(18, sLabel.size(), sLabel) == 0)
                asMessage.push_back(sLine.substr(26));
        return asMessage;
    }
    bool LogHas(const std::string &sText) const {
        return ReadLog().find(sText) != std::string::npos;
    }
    std::string ConfigPath() const { return sDir + "/config.ini"; }

    std::string sDir;
    std::string sLogFile;
    std::string sSavedHome;
    DISPLAYATTRIBUTES asSavedGroups[OVDISPLAYGROUPS];
};

/* A remote system record as config.ini would give it. */
inline REMOTESYSTEM System(const std::string &sUser, const std::string &sIP,
                           const std::string &sPort) {
    REMOTESYSTEM sSystem{};
    OVCopyText(sSystem.szUser, sizeof(sSystem.szUser), sUser.c_str());
    OVCopyText(sSystem.szIP, sizeof(sSystem.szIP), sIP.c_str());
    OVCopyText(sSystem.szPort, sizeof(sSystem.szPort), sPort.c_str());
    return sSystem;
}

#endif
