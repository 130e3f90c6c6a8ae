// Every step that reaches a remote system, given a config.ini record that an attacker wrote:
// nothing runs, the step fails and the log holds one error line that names it. The wait line
// of a step reads as a sentence, and ordinary values still give ordinary lines.
#include "orvikconn.h"
#include "orvikfsys.h"
#include "services_fixture.h"
#include "services_internal.h"

#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {

class RemoteHostileTest : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        /* Short enough for "-F<folder>/x" to fit a user's 16 characters. */
        char szTemplate[] = "/tmp/oXXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        sMarkers = szTemplate;
        /* Markers named without a folder land here too: ssh runs ProxyCommand in our folder. */
        ASSERT_EQ(getcwd(szSavedCwd, sizeof szSavedCwd), szSavedCwd);
        ASSERT_EQ(chdir(sMarkers.c_str()), 0);
        const std::string sConfig = "Host *\n  ProxyCommand touch " + sMarkers + "/m\n";
        WriteFile(sMarkers + "/x@127.0.0.1", sConfig);
        WriteFile(sMarkers + "/x", sConfig);
    }
    void TearDown() override {
        if (chdir(szSavedCwd) != 0) ADD_FAILURE() << "cannot go back to " << szSavedCwd;
        std::error_code ec;
        std::filesystem::remove_all(sMarkers, ec);
        ServicesTest::TearDown();
    }
    /* What the steps left in the marker folder beside the two ssh configurations. */
    std::vector<std::string> Markers() const {
        std::vector<std::string> asFound;
        for (const auto &sEntry : std::filesystem::directory_iterator(sMarkers)) {
            const std::string sName = sEntry.path().filename().string();
            if (sName != "x" && sName != "x@127.0.0.1") asFound.push_back(sName);
        }
        return asFound;
    }
    std::vector<std::string> ErrorLines() const {
        std::vector<std::string> asError;
        std::istringstream in(ReadLog());
        for (std::string sLine; std::getline(in, sLine);)
            if (sLine.size() >= 26 && sLine.compare(18, 5, "Error") == 0)
                asError.push_back(sLine.substr(26));
        return asError;
    }
    std::string sMarkers;
    char szSavedCwd[4096] = "";
};

REMOTESYSTEM System(const std::string &sUser, const std::string &sIP, const std::string &sPort) {
    REMOTESYSTEM sSystem{};
    OVCopyText(sSystem.szSystemName, sizeof(sSystem.szSystemName), "box");
    OVCopyText(sSystem.szUser, sizeof(sSystem.szUser), sUser.c_str());
    OVCopyText(sSystem.szIP, sizeof(sSystem.szIP), sIP.c_str());
    OVCopyText(sSystem.szPort, sizeof(sSystem.szPort), sPort.c_str());
    return sSystem;
}

TEST_F(RemoteHostileTest, NoStepRunsAnythingAHostileRecordHolds) {
    /* The attack itself works here: ssh given the user as an option runs ProxyCommand. */
    char szOutput[4096] = "";
    ExecuteCommand(("ssh -o ConnectTimeout=2 -p 1 -F" + sMarkers + "/x@127.0.0.1 true 2>&1")
                       .c_str(),
                   szOutput, sizeof szOutput);
    ASSERT_EQ(Markers(), std::vector<std::string>{"m"}) << szOutput;
    std::filesystem::remove(sMarkers + "/m");

    std::vector<REMOTESYSTEM> asHostile = {
        System("-F" + sMarkers + "/x", "127.0.0.1", "22"),
        System("-Fx", "127.0.0.1", "22"),
        System("$(touch m)", "127.0.0.1", "22"),
        System("$(touch${IFS}m)", "127.0.0.1", "22"),
        System("`touch m`", "127.0.0.1", "22"),
        System(";touch m", "127.0.0.1", "22"),
        System("%d", "127.0.0.1", "22"),
        System("a b", "127.0.0.1", "22"),
        System("root\ntouch m", "127.0.0.1", "22"),
        System("root", "-oProxyCommand=touch m", "22"),
        System("root", "-oProxyCommand=touch${IFS}m", "22"),
        System("root", "$(touch m)", "22"),
        System("root", "`touch m`", "22"),
        System("root", "h;touch m", "22"),
        System("root", "%h", "22"),
        System("root", "evil@127.0.0.1", "22"),
        System("root", "127.0.0.1", "-Fx"),
        System("root", "127.0.0.1", "$(id)"),
        System("root", "127.0.0.1", "`id`"),
        System("root", "127.0.0.1", "22;id"),
        System("root", "127.0.0.1", "%p"),
        System("root", "127.0.0.1", "2 2"),
    };
    const std::string sOut = sDir + "/out", sErr = sDir + "/err";
    struct STEP {
        const char *pszName;
        const char *pszLogged; /* how the one error line begins */
        int nFailure;          /* what the step gives for a refused system */
        bool bTellsWhy;        /* whether its caller gets the sentence for a box */
        std::function<int(REMOTESYSTEM &, std::string *)> fRun;
    };
    const STEP asStep[] = {
        {"Connect", "OVStartConnection: ", OVRC_ERROR, true,
         [](REMOTESYSTEM &s, std::string *psWhy) { return OVStartConnection(&s, psWhy); }},
        {"Disconnect", "OVEndConnection: ", OVRC_ERROR, false,
         [](REMOTESYSTEM &s, std::string *) { return OVEndConnection(&s); }},
        {"Ping", "orvikconn Ping: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             std::string sLine;
             int nRc = PingCommand(s, &sLine, psWhy);
             return nRc != OVRC_OK ? nRc : ExecuteCommand(sLine.c_str(), szOutput, sizeof szOutput);
         }},
        {"Trust", "orvikconn Trust: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             std::string sLine;
             int nRc = ResolveCommand(s, &sLine, psWhy);
             return nRc != OVRC_OK ? nRc : ExecuteCommand(sLine.c_str(), szOutput, sizeof szOutput);
         }},
        {"listing", "ExecuteRemoteCommand: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             return ExecuteRemoteCommand(&s, "ls -la /", szOutput, sizeof szOutput, sOut.c_str(),
                                         sErr.c_str(), psWhy);
         }},
        {"detail page", "ExecuteRemoteCommand: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             return ExecuteRemoteCommand(&s, "stat /etc/hostname", szOutput, sizeof szOutput,
                                         sOut.c_str(), sErr.c_str(), psWhy);
         }},
        {"report", "ExecuteRemoteCommand: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             return ExecuteRemoteCommand(&s, "sudo lshw", szOutput, sizeof szOutput, nullptr,
                                         nullptr, psWhy);
         }},
        {"Copy", "orvikfsys DoCopyFile: ", OVRC_ERROR, true,
         [&](REMOTESYSTEM &s, std::string *psWhy) {
             psConnectedSystem = &s;
             int nStep = OVRC_OK;
             int nExit = FetchRemoteFile("/etc/hostname", sOut, &nStep, psWhy);
             psConnectedSystem = nullptr;
             return nExit == -1 ? nStep : nExit;
         }},
        {"shell", "RunShell: ", OVRC_ERROR << 8, false,
         [](REMOTESYSTEM &s, std::string *) {
             psConnectedSystem = &s;
             int nStatus = RunShell("Shell(true)");
             psConnectedSystem = nullptr;
             return nStatus;
         }},
    };
    for (REMOTESYSTEM &sSystem : asHostile) {
        for (const STEP &sStep : asStep) {
            SCOPED_TRACE(std::string(sStep.pszName) + " with " + sSystem.szUser + "@" +
                         sSystem.szIP + " port " + sSystem.szPort);
            WriteFile(sLogFile, "");
            std::string sWhy;
            EXPECT_EQ(sStep.fRun(sSystem, &sWhy), sStep.nFailure);
            if (sStep.bTellsWhy) {
                EXPECT_NE(sWhy, "") << "the caller learns why, for its box";
            }
            const std::vector<std::string> asError = ErrorLines();
            ASSERT_EQ(asError.size(), 1u) << ReadLog();
            EXPECT_EQ(asError[0].rfind(sStep.pszLogged, 0), 0u) << asError[0];
            EXPECT_NE(asError[0].find("may not begin with '-'"), std::string::npos);
            EXPECT_EQ(asError[0].find('\n'), std::string::npos);
            EXPECT_EQ(Markers(), std::vector<std::string>{});
        }
    }
}

TEST(RemoteLine, OrdinaryValuesGoToSshAfterTheEndOfItsOptions) {
    struct LINECASE {
        REMOTESYSTEM sSystem;
        const char *pszLogin;
    };
    const LINECASE asCase[] = {
        {System("svc.backup-1_x", "db.example.org", "2222"), "svc.backup-1_x@db.example.org"},
        {System("jdoe@corp", "10.0.0.5", "22"), "jdoe@corp@10.0.0.5"},
        {System("root", "fe80::1%eth0", "22"), "root@fe80::1%eth0"},
    };
    OVSSHCALL sCall;
    sCall.bShared = false;
    sCall.bBatch = true;
    sCall.bNoInput = true;
    for (const LINECASE &sCase : asCase) {
        std::string sLine;
        ASSERT_EQ(OVSshLine(&sCase.sSystem, sCall, "true", &sLine), OVRC_OK) << sCase.pszLogin;
        EXPECT_EQ(sLine, std::string("ssh -o ConnectTimeout=10 -o ServerAliveInterval=5 "
                                     "-o ServerAliveCountMax=3 -o BatchMode=yes "
                                     "-o ConnectionAttempts=1 -p ") +
                             sCase.sSystem.szPort + " -n -- " + sCase.pszLogin + " true");
    }
    /* scp: its options end before the source, an IPv6 address in brackets. */
    std::string sLine;
    sCall = OVSSHCALL{};
    sCall.bShared = false;
    sCall.bQuiet = true;
    ASSERT_EQ(OVScpLine(&asCase[2].sSystem, sCall, "/tmp/a b", "/tmp/c", &sLine), OVRC_OK);
    EXPECT_EQ(sLine, "scp -o ConnectTimeout=10 -o ServerAliveInterval=5 -o ServerAliveCountMax=3 "
                     "-P 22 -q -- 'root@[fe80::1%eth0]:/tmp/a b' /tmp/c");
}

TEST(RemoteLine, EveryWaitLineReadsAsASentence) {
    const REMOTESYSTEM sNamed = [] {
        REMOTESYSTEM s = System("root", "127.0.0.1", "2299");
        OVCopyText(s.szSystemName, sizeof(s.szSystemName), "local2299");
        return s;
    }();
    REMOTESYSTEM sNameless = System("root", "10.0.0.5", "22");
    sNameless.szSystemName[0] = '\0';
    struct WAITCASE {
        const char *pszName;
        const char *pszJoin;
        const REMOTESYSTEM *psSystem;
        const char *pszLine;
    };
    const WAITCASE asCase[] = {
        {"Connecting", "to", &sNamed, "Connecting to local2299 (127.0.0.1)... Ctrl-c cancels"},
        {"Listing /usr", nullptr, &sNamed, "Listing /usr on local2299 (127.0.0.1)... Ctrl-c cancels"},
        {"Running lscpu", nullptr, &sNameless, "Running lscpu on 10.0.0.5... Ctrl-c cancels"},
        {nullptr, nullptr, &sNamed, "Working on local2299 (127.0.0.1)... Ctrl-c cancels"},
    };
    for (const WAITCASE &sCase : asCase) {
        if (sCase.pszName == nullptr) {
            EXPECT_EQ(RemoteWaitLine(sCase.psSystem), sCase.pszLine);
            continue;
        }
        OVRemoteStepName sName(sCase.pszName, sCase.pszJoin != nullptr ? sCase.pszJoin : "on");
        EXPECT_EQ(RemoteWaitLine(sCase.psSystem), sCase.pszLine);
    }
    {
        OVRemoteStepName sOuter("Listing /", "on");
        { OVRemoteStepName sInner("Connecting", "to"); }
        EXPECT_EQ(RemoteWaitLine(&sNamed), "Listing / on local2299 (127.0.0.1)... Ctrl-c cancels")
            << "a step's name comes back after an inner one";
    }
}

} // namespace
