// Many systems at once through the real clush, against the test sshd: the plain server, the
// one with a /tmp of its own, the one whose key changed and the port that never answers.
#include "services_fixture.h"
#include "test_services.h"

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class FanOutTest : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        ORVIK_REQUIRE_SSH();
        ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kPrivateTmp);
        ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
        ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kChangedKey);
    }
    int Add(const std::string &sName, const std::string &sHost, const std::string &sPort) {
        REMOTESYSTEM &s = asRemoteSystem[nRemoteSystems];
        s = System(SshUser(), sHost, sPort);
        OVCopyText(s.szSystemName, sizeof s.szSystemName, sName.c_str());
        return nRemoteSystems++;
    }
    // web01..web08 on the first server, three on the one with its own /tmp (one of them with
    // a name no node set may hold as it is), and the mute one.
    std::vector<int> Twelve() {
        std::vector<int> an;
        for (int i = 1; i <= 8; i++) an.push_back(Add("web0" + std::to_string(i), SshHost(), SshPort()));
        for (const char *psz : {"db1", "db2", "db[3], x"}) an.push_back(Add(psz, TmpHost(), TmpPort()));
        an.push_back(Add("mute", DeadHost(), DeadPort()));
        return an;
    }
    std::vector<std::string> Lines(const OVFANRESULT &sResult) {
        std::vector<std::string> as;
        for (const OVFANGROUP &g : OVFoldResult(sResult)) as.push_back(OVFanGroupLine(sResult, g));
        return as;
    }
};

int CountProgress(const OVFANPROGRESS &sProgress, void *pContext) {
    static_cast<std::vector<OVFANPROGRESS> *>(pContext)->push_back(sProgress);
    return 0;
}

TEST_F(FanOutTest, FoldsElevenAndOneDiffsAndSaves) {
    std::vector<OVFANPROGRESS> asProgress;
    OVFANCALL sCall;
    sCall.anSystems = Twelve();
    sCall.pszCommand = "echo same";
    sCall.pfnProgress = CountProgress;
    sCall.pContext = &asProgress;
    OVFANRESULT sResult;
    const auto tStart = Clock::now();
    ASSERT_EQ(OVFanOut(sCall, &sResult), OVRC_OK) << ReadLog();
    const double dSeconds = std::chrono::duration<double>(Clock::now() - tStart).count();
    EXPECT_LT(dSeconds, sCall.nConnectSeconds + 8) << "the mute system holds the run up";
    EXPECT_EQ(Lines(sResult), (std::vector<std::string>{
                                  "11 systems  exit 0  db[1-2],web[01-08],\"db[3], x\"",
                                  "1 not reached  no answer  mute"}));
    EXPECT_EQ(sResult.asSystem[0].sOutput, "same\n");
    EXPECT_EQ(sResult.asSystem[11].sReason, "connect to host 127.0.0.1 port " + DeadPort() +
                                                ": Connection timed out");
    ASSERT_EQ(asProgress.size(), 12u);
    EXPECT_EQ(asProgress.back().nAnswered, 11);
    EXPECT_EQ(asProgress.back().nFailed, 1);

    // The generated configuration: private, aliases only, no name of config.ini.
    struct stat sInfo;
    const std::string sConfig = sDir + "/.orvik/ssh/config";
    ASSERT_EQ(lstat(sConfig.c_str(), &sInfo), 0);
    EXPECT_EQ(sInfo.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(sConfig).find("db[3]"), std::string::npos);
    // An alias reaches its system as the builder's ssh line does, with every option the ssh
    // configuration gives that system (the test server's key and known hosts among them);
    // only the limits and the shared connection are Orvik's.
    const std::string sAlias = sResult.asSystem[0].sNode;
    auto Resolved = [](const std::string &sArgs) {
        std::string sOut(1 << 16, '\0');
        ExecuteCommand(("ssh -G " + sArgs + " 2>/dev/null | grep -v -e '^host ' -e '^control' "
                        "-e '^serveralive' | sort").c_str(), sOut.data(), 1 << 16);
        return std::string(sOut.c_str());
    };
    EXPECT_EQ(Resolved("-F " + sConfig + " " + sAlias),
              Resolved("-p " + SshPort() + " " + SshUser() + "@" + SshHost()));

    // The same file differs on the server with its own /tmp: 8 + 3, and the diff says how.
    sCall.anSystems.pop_back();
    const std::string sCommand = "cat " + TmpMark() + "; exit 3";
    sCall.pszCommand = sCommand.c_str();
    ASSERT_EQ(OVFanOut(sCall, &sResult), OVRC_OK) << ReadLog();
    const std::vector<OVFANGROUP> asGroup = OVFoldResult(sResult);
    ASSERT_EQ(asGroup.size(), 2u);
    EXPECT_EQ(OVFanGroupLine(sResult, asGroup[1]), "3 systems  exit 3  db[1-2],\"db[3], x\"");
    std::string sDiff;
    ASSERT_EQ(OVFanDiff(sResult, asGroup[0], asGroup[1], &sDiff), OVRC_OK) << ReadLog();
    EXPECT_NE(sDiff.find("--- web[01-08]\n+++ db[1-2],\"db[3], x\"\n"), std::string::npos) << sDiff;
    EXPECT_NE(sDiff.find("\n-first\n+second\n"), std::string::npos) << sDiff;
    ASSERT_EQ(OVFanDiff(sResult, asGroup[0], asGroup[0], &sDiff), OVRC_OK);
    EXPECT_EQ(sDiff, "");

    // Saved as reports are: private, and never through a link.
    const std::string sText = sDir + "/fan.txt", sJson = sDir + "/fan.json";
    ASSERT_EQ(OVFanSave(sResult, sText.c_str(), sJson.c_str()), OVRC_OK) << ReadLog();
    EXPECT_EQ(ReadFile(sText).rfind("Command: " + sCommand + "\n11 systems: 11 answered", 0), 0u);
    EXPECT_NE(ReadFile(sJson).find("{\"name\": \"db[3], x\", \"address\": \"" + TmpHost() +
                                   "\", \"port\": \"" + TmpPort() + "\", \"user\": \"" + SshUser() +
                                   "\", \"state\": \"answers\", \"exit_status\": 3, \"output\": "
                                   "\"second\\n\""),
              std::string::npos);
    ASSERT_EQ(lstat(sJson.c_str(), &sInfo), 0);
    EXPECT_EQ(sInfo.st_mode & 0777, 0600u);
    ASSERT_EQ(symlink("/etc/passwd", (sDir + "/link.json").c_str()), 0);
    EXPECT_EQ(OVFanSave(sResult, nullptr, (sDir + "/link.json").c_str()), OVRC_ERROR);
}

// Ping on many: each way of not getting in ends in its own state, all within one time limit;
// a typed node reaches a host that only the system's ssh configuration knows.
TEST_F(FanOutTest, PingTellsEveryState) {
    const std::string sUnknown = "orvik-fan-unknown-" + std::to_string(getpid());
    const std::string sTyped = "orvik-fan-typed-" + std::to_string(getpid());
    const std::vector<std::string> asOwn = {
        "HostName 127.0.0.1", "Port " + SshPort(),
        "IdentityFile " + SshConfigValue(SshHost(), "identityfile"), "IdentitiesOnly yes",
        "UserKnownHostsFile " + SshConfigValue(SshHost(), "userknownhostsfile"),
        "GlobalKnownHostsFile /dev/null", "StrictHostKeyChecking yes"};
    std::vector<std::string> asUnknown = asOwn, asTyped = asOwn;
    asUnknown.push_back("HostKeyAlias " + sUnknown);
    asTyped.push_back("HostKeyAlias " + SshConfigValue(SshHost(), "hostkeyalias"));
    SshClientBlock sUnknownBlock(sUnknown, asUnknown), sTypedBlock(sTyped, asTyped);
    ASSERT_EQ(sUnknownBlock.Problem() + sTypedBlock.Problem(), "");
    OVFANCALL sCall;
    sCall.anSystems = {Add("good", SshHost(), SshPort()),
                       Add("changed", ChangedKeyHost(), ChangedKeyPort()),
                       Add("mute", DeadHost(), DeadPort()), Add("closed", "127.0.0.1", "1"),
                       Add("unknown", sUnknown, SshPort())};
    sCall.sNodeSet = sTyped;
    OVFANRESULT sResult;
    const auto tStart = Clock::now();
    ASSERT_EQ(OVFanPing(sCall, &sResult), OVRC_OK) << ReadLog();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - tStart).count(), sCall.nConnectSeconds + 8);
    std::vector<std::string> asState;
    for (const OVFANSYSTEM &s : sResult.asSystem) asState.push_back(s.sName + " " + OVFanStateText(s.eState));
    EXPECT_EQ(asState, (std::vector<std::string>{"good answers", "changed key changed",
                                                 "mute no answer", "closed refused",
                                                 "unknown key unknown", sTyped + " answers"}));
    EXPECT_EQ(sResult.asSystem[1].sReason.rfind("Host key for ", 0), 0u) << sResult.asSystem[1].sReason;
}

int StopAfterFirst(const OVFANPROGRESS &, void *) { return 1; }

// A stop (as Ctrl-c) keeps what came: the quick systems' answers stay, the slow ones stop.
TEST_F(FanOutTest, StopKeepsWhatCame) {
    OVFANCALL sCall;
    sCall.anSystems = {Add("quick", SshHost(), SshPort()), Add("slow", TmpHost(), TmpPort())};
    sCall.pszCommand = "grep -q second /tmp/orvik-test-tmp-mark && sleep 30; echo done";
    sCall.pfnProgress = StopAfterFirst;
    OVFANRESULT sResult;
    const auto tStart = Clock::now();
    EXPECT_EQ(OVFanOut(sCall, &sResult), OVRC_CANCELLED) << ReadLog();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - tStart).count(), 15);
    EXPECT_TRUE(sResult.bStopped);
    EXPECT_EQ(sResult.asSystem[0].sOutput, "done\n");
    EXPECT_EQ(sResult.asSystem[1].eState, OVFAN_STOPPED);
}

// Output is kept whole up to the limit of a system and of the run, and said cut beyond.
TEST_F(FanOutTest, OutputCaps) {
    OVFANCALL sCall;
    sCall.anSystems = {Add("exact", SshHost(), SshPort()), Add("over", TmpHost(), TmpPort())};
    // Lines of 1 KiB: clush takes some 50 us a line.
    sCall.pszCommand = "n=1048576; grep -q second /tmp/orvik-test-tmp-mark && n=1048578; "
                       "yes $(printf %01023d 0) | head -c $n; yes e | head -c 100 >&2";
    OVFANRESULT sResult;
    ASSERT_EQ(OVFanOut(sCall, &sResult), OVRC_OK) << ReadLog();
    EXPECT_EQ(sResult.asSystem[0].sOutput.size(), OVFANSYSTEMMAX);
    EXPECT_FALSE(sResult.asSystem[0].bCut);
    std::string sErrors;
    for (int i = 0; i < 50; i++) sErrors += "e\n";
    EXPECT_EQ(sResult.asSystem[0].sError, sErrors);
    EXPECT_EQ(sResult.asSystem[1].sOutput.size(), OVFANSYSTEMMAX);
    EXPECT_TRUE(sResult.asSystem[1].bCut);
    sCall.nTotalMax = OVFANSYSTEMMAX + 1000;
    ASSERT_EQ(OVFanOut(sCall, &sResult), OVRC_OK) << ReadLog();
    EXPECT_TRUE(sResult.bCut);
    EXPECT_EQ(sResult.asSystem[0].sOutput.size() + sResult.asSystem[1].sOutput.size() +
                  sResult.asSystem[0].sError.size() + sResult.asSystem[1].sError.size(),
              sCall.nTotalMax);
}

// Targets that could reach a shell, an option or a node set's syntax are refused whole.
TEST_F(FanOutTest, RefusesHostileTargets) {
    for (const char *psz : {"a;touch /tmp/x", "$(id)", "-oProxyCommand=id", "a b", "web[1",
                            "`id`", "a\nb", "clush", "orvik-sys-abc"}) {
        OVFANCALL sCall;
        sCall.pszCommand = "true";
        sCall.sNodeSet = psz;
        OVFANRESULT sResult;
        std::string sWhy;
        EXPECT_EQ(OVFanOut(sCall, &sResult, &sWhy), OVRC_ERROR) << psz;
        EXPECT_NE(sWhy, "") << psz;
    }
}

TEST_F(FanOutTest, KeyScanOfMany) {
    std::vector<OVFANKEYS> asTarget = {{"127.0.0.1", SshPort(), "one", {}, {}},
                                       {"127.0.0.1", TmpPort(), "two", {}, {}},
                                       {"127.0.0.1", DeadPort(), "mute", {}, {}}};
    ASSERT_EQ(OVFanKeyScan(&asTarget, 2), OVRC_OK) << ReadLog();
    ASSERT_EQ(asTarget[0].asOffered.size(), 1u);
    EXPECT_EQ(asTarget[0].asOffered[0].rfind("one ssh-ed25519 ", 0), 0u);
    // Both servers have the same key: the same fingerprint.
    ASSERT_EQ(asTarget[1].asFingerprint.size(), 1u);
    EXPECT_EQ(asTarget[1].asFingerprint[0].rfind("ED25519 256 bits  SHA256:", 0), 0u);
    EXPECT_EQ(asTarget[0].asFingerprint, asTarget[1].asFingerprint);
    EXPECT_TRUE(asTarget[2].asOffered.empty());
}

TEST(FanOutText, NodeSetsAndJson) {
    const std::pair<std::vector<std::string>, std::string> asSets[] = {
        {{"web01", "web02", "web03", "web10", "db1"}, "db1,web[01-03,10]"},
        {{"n1", "n10", "n2", "n9"}, "n[1-2,9-10]"},
        {{"r1n02", "r1n01", "r2n01"}, "r1n[01-02],r2n01"},
        {{"a", "b", "a"}, "a,b"},
        {{"a,b", "x[1]", "q\"\\", "t\x1b"}, "\"a,b\",\"x[1]\",\"q\\\"\\\\\",\"t^[\""},
    };
    for (const auto &[asNames, sText] : asSets) EXPECT_EQ(OVNodeSetText(asNames), sText);
    const std::pair<std::string, std::string> asJson[] = {
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {std::string("\n\t\x01\x7f", 4), "\"\\n\\t\\u0001\\u007f\""},
        {"\xc3\xa9\xff\xe2\x82", "\"\xc3\xa9\\ufffd\\ufffd\\ufffd\""},
        {std::string("\0", 1), "\"\\u0000\""},
    };
    for (const auto &[sIn, sOut] : asJson) EXPECT_EQ(OVJsonString(sIn), sOut);
}

}  // namespace
