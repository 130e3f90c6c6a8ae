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
    bool Marked() const { return std::filesystem::exists(sMarkers + "/m"); }
    std::string sMarkers;
    char szSavedCwd[4096] = "";
};

TEST_F(RemoteHostileTest, NoStepRunsAnythingAHostileRecordHolds) {
    /* The attack itself works here: ssh given the user as an option runs ProxyCommand. */
    char szOut[4096] = "";
    const std::string sAttack = "ssh -o ConnectTimeout=2 -p 1 -F" + sMarkers + "/x@127.0.0.1 t";
    ExecuteCommand((sAttack + " 2>&1").c_str(), szOut, sizeof szOut);
    ASSERT_TRUE(Marked()) << szOut;
    std::filesystem::remove(sMarkers + "/m");

    std::vector<REMOTESYSTEM> asHostile;
    /* Each value as user, address and port, cut to what the field holds. */
    for (const std::string &sBad : std::vector<std::string>{
             "-F" + sMarkers + "/x", "-Fx", "$(touch m)", "$(touch${IFS}m)", "`touch m`",
             ";touch m", "%d", "a b", "root\ntouch m", "-oProxyCommand=touch${IFS}m"}) {
        asHostile.push_back(System(sBad, "127.0.0.1", "22"));
        asHostile.push_back(System("root", sBad, "22"));
        asHostile.push_back(System("root", "127.0.0.1", sBad));
    }
    const std::string sOut = sDir + "/out", sErr = sDir + "/err";
    using RUN = std::function<int(REMOTESYSTEM &, std::string *)>;
    auto Listed = [&](const char *pszCommand, const char *pszOut, const char *pszErr) -> RUN {
        return [=, &szOut](REMOTESYSTEM &s, std::string *psWhy) {
            return ExecuteRemoteCommand(&s, pszCommand, szOut, sizeof szOut, pszOut, pszErr, psWhy);
        };
    };
    /* The step, how its one error line begins, what it gives, whether its caller learns why. */
    const struct {
        const char *pszLogged;
        int nFailure;
        bool bTellsWhy;
        RUN fRun;
    } asStep[] = {
        {"OVStartConnection: ", 8, true,
         [](REMOTESYSTEM &s, std::string *p) { return OVStartConnection(&s, p); }},
        {"OVEndConnection: ", 8, false,
         [](REMOTESYSTEM &s, std::string *) { return OVEndConnection(&s); }},
        {"orvikconn Ping: ", 8, true,
         [](REMOTESYSTEM &s, std::string *p) { std::string l; return PingCommand(s, &l, p); }},
        {"orvikconn Trust: ", 8, true,
         [](REMOTESYSTEM &s, std::string *p) { std::string l; return ResolveCommand(s, &l, p); }},
        {"ExecuteRemoteCommand: ", 8, true, Listed("ls -la /", sOut.c_str(), sErr.c_str())},
        {"ExecuteRemoteCommand: ", 8, true, Listed("stat /etc/hostname", sOut.c_str(), sErr.c_str())},
        {"ExecuteRemoteCommand: ", 8, true, Listed("sudo lshw", nullptr, nullptr)},
        {"orvikfsys DoCopyFile: ", 8, true, [&](REMOTESYSTEM &s, std::string *p) {
             int nStep = OVRC_OK;
             psConnectedSystem = &s;
             return FetchRemoteFile("/etc/hostname", sOut, &nStep, p) == -1 ? nStep : 0;
         }},
        {"RunShell: ", 8 << 8, false, [](REMOTESYSTEM &s, std::string *) {
             psConnectedSystem = &s;
             return RunShell("Shell(true)");
         }},
    };
    for (REMOTESYSTEM &sSystem : asHostile) {
        for (const auto &sStep : asStep) {
            SCOPED_TRACE(std::string(sStep.pszLogged) + sSystem.szUser + "@" + sSystem.szIP +
                         " port " + sSystem.szPort);
            WriteFile(sLogFile, "");
            std::string sWhy;
            EXPECT_EQ(sStep.fRun(sSystem, &sWhy), sStep.nFailure);
            psConnectedSystem = nullptr;
            EXPECT_EQ(sWhy.empty(), !sStep.bTellsWhy) << "the caller's box says why";
            const std::vector<std::string> asError = LogMessages("Error");
            ASSERT_EQ(asError.size(), 1u) << ReadLog();
            EXPECT_EQ(asError[0].rfind(sStep.pszLogged, 0), 0u) << asError[0];
            EXPECT_NE(asError[0].find("may not begin with '-'"), std::string::npos);
            EXPECT_FALSE(Marked());
        }
    }
}

TEST(RemoteLine, OrdinaryValuesPassAndWaitLinesReadAsSentences) {
    std::string sLine;
    for (const auto &[sUser, sIP] : {std::pair{"svc.backup-1_x", "db.example.org"},
                                     std::pair{"jdoe@corp", "10.0.0.5"},
                                     std::pair{"root", "fe80::1%eth0"}}) {
        const REMOTESYSTEM sSystem = System(sUser, sIP, "22");
        EXPECT_EQ(OVSshLine(&sSystem, OVSSHCALL{}, "true", &sLine), 0) << sUser << "@" << sIP;
    }
    REMOTESYSTEM sNamed = System("root", "127.0.0.1", "2299"), sNameless = sNamed;
    OVCopyText(sNamed.szSystemName, sizeof sNamed.szSystemName, "local2299");
    sNameless.szSystemName[0] = '\0';
    OVRemoteStepName sOuter("Listing /usr");
    {
        OVRemoteStepName sInner("Connecting", "to");
        EXPECT_EQ(RemoteWaitLine(&sNamed), "Connecting to local2299 (127.0.0.1)... Ctrl-c cancels");
        EXPECT_EQ(RemoteWaitLine(&sNameless), "Connecting to 127.0.0.1... Ctrl-c cancels");
    }
    EXPECT_EQ(RemoteWaitLine(&sNamed), "Listing /usr on local2299 (127.0.0.1)... Ctrl-c cancels");
    OVCopyText(sNamed.szSystemName, sizeof sNamed.szSystemName, "\x1b]2;PWNED\a");
    OVRemoteStepName sHostile("Listing /tmp/\x1b]2;DIRPWN\a");
    EXPECT_EQ(RemoteWaitLine(&sNamed),
              "Listing /tmp/^[]2;DIRPWN^G on ^[]2;PWNED^G (127.0.0.1)... Ctrl-c cancels");
}

} // namespace
