// orvikconn without a screen: what an entry may hold, the table changes, the stamps, the
// scan output it trusts, how offered keys compare with known ones, the known-hosts files it
// looks up, appends to and replaces in, and ssh's reason for a failure. (A failing ping is
// tried end to end, against a closed port and against a changed key.)
#include "orvikconn.h"
#include "services_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ConnTest = ServicesTest;

SYSTEMENTRY Entry(const std::string &sName, const std::string &sAddress,
                  const std::string &sPort = "22", const std::string &sUser = "admin")
{
    SYSTEMENTRY sEntry;
    sEntry.asValue[EF_NAME] = sName;
    sEntry.asValue[EF_ADDRESS] = sAddress;
    sEntry.asValue[EF_PORT] = sPort;
    sEntry.asValue[EF_USER] = sUser;
    return sEntry;
}

struct VALUECASE {
    ENTRYFIELD eField;
    std::string sValue;
    const char *pszRefusal;  // part of the message, nullptr: accepted
};

TEST(ConnEntryValue, RecordSizesWordsAndOptionsDecide)
{
    const VALUECASE asCase[] = {
        {EF_NAME, std::string(16, 'n'), nullptr},
        {EF_NAME, std::string(17, 'n'), "Name is longer than 16 characters."},
        {EF_NAME, "web#1(test)", nullptr},
        {EF_NAME, "", "Name is empty."},
        {EF_NAME, "IS", "may not be the word"},
        {EF_NAME, "=", "may not be the word"},
        {EF_NAME, "a\x14" "b", "blanks or control"},
        {EF_ADDRESS, std::string(32, 'a'), nullptr},
        {EF_ADDRESS, std::string(33, 'a'), "Address is longer than 32 characters."},
        {EF_ADDRESS, "fe80::1", nullptr},
        {EF_ADDRESS, "-oProxyCommand=x", "Address may not begin with '-'."},
        {EF_ADDRESS, "host;reboot", "may not contain ';'"},
        {EF_ADDRESS, "a b", "blanks"},
        {EF_PORT, "65535", nullptr},
        {EF_PORT, "1", nullptr},
        {EF_PORT, "0", "Port must be a number from 1 to 65535."},
        {EF_PORT, "65536", "Port must be a number"},
        {EF_PORT, "22a", "Port must be a number"},
        {EF_PORT, "1234567", "Port is longer than 6 characters."},
        {EF_USER, "svc.backup-1_x", nullptr},
        {EF_USER, "root@evil", "may not contain '@'"},
        {EF_USER, "$(id)", "may not contain '$'"},
        {EF_USER, "-l", "User may not begin with '-'."},
    };
    for (const VALUECASE &sCase : asCase) {
        SCOPED_TRACE(sCase.sValue);
        std::string sWhy = CheckEntryValue(sCase.eField, sCase.sValue);
        if (sCase.pszRefusal == nullptr) {
            EXPECT_EQ(sWhy, "");
        } else {
            EXPECT_NE(sWhy.find(sCase.pszRefusal), std::string::npos) << sWhy;
        }
    }
}

TEST_F(ConnTest, EntryIsRefusedForASharedAddressOrAFullTable)
{
    ASSERT_EQ(StoreEntry(Entry("web", "10.0.0.5"), -1), 0);
    EXPECT_NE(CheckEntry(Entry("db", "10.0.0.5", "2222"), -1).find("already used by web"),
              std::string::npos);
    EXPECT_EQ(CheckEntry(Entry("web2", "10.0.0.5", "2222"), 0), "")
        << "the same record may keep it";
    EXPECT_NE(CheckEntry(Entry("x", "10.0.0.6", "22", "-x"), -1), "") << "fields first";

    nRemoteSystems = OVMAXREMOTESYSTEMS;
    EXPECT_NE(CheckEntry(Entry("n", "10.9.9.9"), -1).find("full"), std::string::npos);
    EXPECT_EQ(StoreEntry(Entry("n", "10.9.9.9"), -1), -1);
    EXPECT_EQ(StoreEntry(Entry("n", "10.9.9.9"), 0), 0) << "a change still fits";
}

TEST_F(ConnTest, ChangeClearsTheStampsThatNoLongerApply)
{
    ASSERT_EQ(StoreEntry(Entry("web", "10.0.0.5"), -1), 0);
    REMOTESYSTEM &sSystem = asRemoteSystem[0];
    auto Stamp = [&] {
        OVCopyText(sSystem.szLastPing, 17, "P");
        OVCopyText(sSystem.szLastTrust, 17, "T");
        OVCopyText(sSystem.szLastConnect, 17, "C");
    };
    Stamp();
    StoreEntry(Entry("renamed", "10.0.0.5"), 0);
    EXPECT_STREQ(sSystem.szLastPing, "P");
    EXPECT_STREQ(sSystem.szLastTrust, "T");
    StoreEntry(Entry("renamed", "10.0.0.5", "22", "other"), 0);
    EXPECT_STREQ(sSystem.szLastPing, "");
    EXPECT_STREQ(sSystem.szLastTrust, "T") << "the host key is the same host's";
    Stamp();
    StoreEntry(Entry("renamed", "10.0.0.5", "2222", "other"), 0);
    EXPECT_STREQ(sSystem.szLastPing, "");
    EXPECT_STREQ(sSystem.szLastTrust, "");
    EXPECT_STREQ(sSystem.szLastConnect, "C");
    EXPECT_STREQ(sSystem.szSystemName, "renamed");
}

TEST_F(ConnTest, RemovingKeepsTheConnectedRecord)
{
    for (const char *pszName : {"a", "b", "c", "d"}) {
        StoreEntry(Entry(pszName, std::string("10.0.0.") + pszName), -1);
    }
    psConnectedSystem = &asRemoteSystem[2];  // c
    EXPECT_EQ(RemoveSystem(0), 0);
    EXPECT_EQ(nRemoteSystems, 3);
    ASSERT_EQ(ConnectedIndex(), 1);
    EXPECT_STREQ(psConnectedSystem->szSystemName, "c");
    EXPECT_EQ(RemoveSystem(2), 0);
    EXPECT_STREQ(psConnectedSystem->szSystemName, "c") << "a later record does not move it";
    EXPECT_EQ(RemoveSystem(1), 0);
    EXPECT_EQ(psConnectedSystem, nullptr);
    EXPECT_EQ(RemoveSystem(1), OVRC_ERROR);
    EXPECT_STREQ(asRemoteSystem[1].szIP, "") << "the freed record is cleared";
}

TEST_F(ConnTest, StoredSystemReadsBackFromConfigIni)
{
    StoreEntry(Entry("web#1", "fe80::1", "65535", "svc.backup-1_x"), -1);
    StoreEntry(Entry("db", "db.example.org", "22", "root"), -1);
    SetStamp(asRemoteSystem[0].szLastPing);
    SetStamp(asRemoteSystem[0].szLastTrust);
    SetStamp(asRemoteSystem[1].szLastConnect);
    psConnectedSystem = &asRemoteSystem[1];
    REMOTESYSTEM asBefore[2] = {asRemoteSystem[0], asRemoteSystem[1]};
    ASSERT_EQ(SaveConfigurationValues(), 0);

    nRemoteSystems = 0;
    std::memset(asRemoteSystem, 0, 2 * sizeof(REMOTESYSTEM));
    ASSERT_EQ(LoadConfigurationValues(), 0);
    ASSERT_EQ(nRemoteSystems, 2);
    EXPECT_EQ(std::memcmp(asRemoteSystem, asBefore, sizeof asBefore), 0) << ReadFile(ConfigPath());
    EXPECT_EQ(ConnectedIndex(), 1);
}

// The list line keeps its columns in display columns whatever script the name is in: the
// address, port and user start where the headings stand.
TEST(ConnListLine, ColumnsStayInPlaceForNamesInAnyScript)
{
    struct LINECASE {
        const char *pszName;
        bool bSelected;
        int nNameColumns;  // columns the name takes on the screen
    };
    const LINECASE asCase[] = {
        {"web", false, 3},
        {"sixteen-chars-16", true, 16},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false, 6},      // three wide characters
        {"cafe\xCC\x81-\xC3\xA9t\xC3\xA9", true, 8},                 // combining acute, precomposed
        {"\xF0\x9F\x98\x80\xE5\xBA\xAB\xE5\xBA\xAB", false, 6},  // four-byte character first
    };
    for (const LINECASE &sCase : asCase) {
        SCOPED_TRACE(sCase.pszName);
        REMOTESYSTEM sSystem{};
        OVCopyText(sSystem.szSystemName, sizeof sSystem.szSystemName, sCase.pszName);
        OVCopyText(sSystem.szIP, sizeof sSystem.szIP, "192.0.2.10");
        OVCopyText(sSystem.szPort, sizeof sSystem.szPort, "2222");
        OVCopyText(sSystem.szUser, sizeof sSystem.szUser, "admin");
        const std::string sLine = SystemListLine(sSystem, sCase.bSelected);
        EXPECT_EQ(sLine.substr(0, 2), sCase.bSelected ? "> " : "  ");
        EXPECT_EQ(OVDisplayWidth(sCase.pszName), sCase.nNameColumns);
        // Column c (1-based) of the screen starts after the bytes of its first c-1 columns.
        auto ColumnText = [&](int nColumn) {
            return sLine.substr(OVColumnsPrefix(sLine, nColumn - 1));
        };
        EXPECT_EQ(ColumnText(nNameColumn).rfind(sCase.pszName, 0), 0u);
        EXPECT_EQ(ColumnText(nAddressColumn).rfind("192.0.2.10 ", 0), 0u) << sLine;
        EXPECT_EQ(ColumnText(nPortColumn).rfind("2222 ", 0), 0u) << sLine;
        EXPECT_EQ(ColumnText(nUserColumn), "admin") << sLine;
        EXPECT_EQ(OVDisplayWidth(sLine), nUserColumn - 1 + 5);
    }

    // Values at their records' limits fill their columns exactly; nothing is cut.
    REMOTESYSTEM sFull{};
    OVCopyText(sFull.szSystemName, sizeof sFull.szSystemName, std::string(16, 'n').c_str());
    OVCopyText(sFull.szIP, sizeof sFull.szIP, std::string(32, 'a').c_str());
    OVCopyText(sFull.szPort, sizeof sFull.szPort, "65535");
    OVCopyText(sFull.szUser, sizeof sFull.szUser, std::string(16, 'u').c_str());
    const std::string sLine = SystemListLine(sFull, false);
    EXPECT_EQ(sLine, "  " + std::string(16, 'n') + " " + std::string(32, 'a') + " 65535  " +
                         std::string(16, 'u'));
    EXPECT_EQ(static_cast<int>(sLine.size()), nListLineLength);
}

TEST(ConnStamp, CompactUtcWithinSixteenCharacters)
{
    EXPECT_EQ(MakeStamp(0), "19700101T000000Z");
    EXPECT_EQ(MakeStamp(1796739303), "20261208T141503Z");
    char szStamp[17];
    SetStamp(szStamp);
    EXPECT_EQ(std::strlen(szStamp), 16u);
    EXPECT_EQ(CheckEntryValue(EF_NAME, szStamp), "") << "one word of config.ini";
}

TEST(ConnScan, SshConfigurationDecidesWhatIsScannedAndHowItIsKnown)
{
    REMOTESYSTEM sSystem{};
    OVCopyText(sSystem.szIP, sizeof sSystem.szIP, "web");
    OVCopyText(sSystem.szPort, sizeof sSystem.szPort, "2222");
    SCANTARGET sTarget = ScanTarget(sSystem, "user root\nhostname 10.1.2.3\nport 2200\n"
                                             "hostkeyalias web-key\n");
    EXPECT_EQ(sTarget.sHost, "10.1.2.3");
    EXPECT_EQ(sTarget.sPort, "2200");
    EXPECT_EQ(sTarget.sKeyAlias, "web-key");
    EXPECT_EQ(KnownHostName(sTarget), "web-key");
    EXPECT_EQ(sTarget.asKnownHostsFiles, std::vector<std::string>{KnownHostsPath()})
        << "ssh's default file when -G names none";
    sTarget = ScanTarget(sSystem, "hostname -oProxyCommand=x\nhostkeyalias none\n");
    EXPECT_EQ(sTarget.sHost, "web") << "a value like an option is not taken";
    EXPECT_EQ(sTarget.sPort, "2222");
    EXPECT_EQ(KnownHostName(sTarget), "[web]:2222");
    EXPECT_EQ(sTarget.sKeyAlias, "");
    EXPECT_NE(KeyscanCommand(sTarget).find("-p 2222 -- web "), std::string::npos);
    sSystem.szPort[0] = '\0';
    sTarget = ScanTarget(sSystem, "hostname Web.Example.ORG\nport 22\n");
    EXPECT_EQ(KnownHostName(sTarget), "web.example.org") << "ssh looks names up in lower case";

    const std::string sScan = "# 10.1.2.3:2200 SSH-2.0-OpenSSH_9.2\n"
                              "[10.1.2.3]:2200 ssh-ed25519 AAAAkey1\n"
                              "[10.1.2.3]:2200 ssh-rsa AAAAkey2 extra\n"
                              "\n"
                              "[10.1.2.3]:2200 ecdsa-sha2-nistp256 AAAAkey3\r\n";
    EXPECT_EQ(KeyLines(sScan, ""),
              std::vector<std::string>{"[10.1.2.3]:2200 ssh-ed25519 AAAAkey1"});
    EXPECT_EQ(KeyLines(sScan, "web-key"), std::vector<std::string>{"web-key ssh-ed25519 AAAAkey1"});
    EXPECT_EQ(FingerprintText("256 SHA256:abc web-key (ED25519)"), "ED25519 256 bits  SHA256:abc");
    EXPECT_EQ(FingerprintText("(stdin) is not a public key file."),
              "(stdin) is not a public key file.");
}

// The files named by UserKnownHostsFile, in order, "~" from the password entry as ssh takes
// it (never from $HOME); "none" means none at all.
TEST(ConnScan, KnownHostsFilesAreTheOnesSshReads)
{
    const struct passwd *psEntry = getpwuid(getuid());
    ASSERT_NE(psEntry, nullptr);
    const std::string sHome = psEntry->pw_dir;
    REMOTESYSTEM sSystem{};
    setenv("HOME", "/nonexistent-test-home", 1);
    EXPECT_EQ(ScanTarget(sSystem, "userknownhostsfile ~/elsewhere/kh /etc/kh2\n").asKnownHostsFiles,
              (std::vector<std::string>{sHome + "/elsewhere/kh", "/etc/kh2"}));
    EXPECT_EQ(ScanTarget(sSystem, "userknownhostsfile none\n").asKnownHostsFiles.size(), 0u);
    EXPECT_EQ(ScanTarget(sSystem, "").asKnownHostsFiles,
              std::vector<std::string>{sHome + "/.ssh/known_hosts"});
    unsetenv("HOME");
}

// Keys compare by type and key; the host word may be hashed or another form of the name.
TEST(ConnTrustCheck, OfferedKeysAgainstKnownOnes)
{
    const std::string sEd = "h ssh-ed25519 E1", sEdNew = "h ssh-ed25519 E2",
                      sRsa = "h ssh-rsa R1", sHashedEd = "|1|salt|hash ssh-ed25519 E1";
    struct CHECKCASE {
        const char *pszWhat;
        std::vector<std::string> asKnown, asOffered;
        TRUSTSTATE eState;
        std::vector<std::string> asOld, asToAdd;
    };
    const CHECKCASE asCase[] = {
        {"first trust", {}, {sEd, sRsa}, TS_NEW, {}, {sEd, sRsa}},
        {"the same keys", {sEd, sRsa}, {sRsa, sEd}, TS_KNOWN, {}, {}},
        {"hashed name, same key", {sHashedEd}, {sEd}, TS_KNOWN, {}, {}},
        {"a type not offered any more", {sEd, sRsa}, {sEd}, TS_KNOWN, {}, {}},
        {"a new type beside the known key", {sEd}, {sEd, sRsa}, TS_MORE, {}, {sRsa}},
        {"another key of a known type", {sEd, sRsa}, {sEdNew, sRsa}, TS_CHANGED, {sEd},
         {sEdNew, sRsa}},
        {"old and new side by side", {sEd, sEdNew}, {sEdNew}, TS_CHANGED, {sEd}, {sEdNew}},
        {"nothing offered is known", {sRsa}, {sEdNew}, TS_CHANGED, {sRsa}, {sEdNew}},
    };
    for (const CHECKCASE &sCase : asCase) {
        SCOPED_TRACE(sCase.pszWhat);
        TRUSTCHECK sCheck = CompareKeys(sCase.asKnown, sCase.asOffered);
        EXPECT_EQ(sCheck.eState, sCase.eState);
        EXPECT_EQ(sCheck.asOld, sCase.asOld);
        EXPECT_EQ(sCheck.asToAdd, sCase.asToAdd);
    }

    const std::string sFound = "# Host [h]:2222 found: line 3 \n"
                               "|1|c2FsdA==|aGFzaA== ssh-ed25519 E1\n"
                               "a,[h]:2222 ssh-rsa R1 comment words\n"
                               "@revoked [h]:2222 ssh-ed25519 E9\n"
                               "@cert-authority [h]:2222 ssh-ed25519 CA\n";
    EXPECT_EQ(KnownKeyLines(sFound, "[h]:2222"),
              (std::vector<std::string>{"[h]:2222 ssh-ed25519 E1", "[h]:2222 ssh-rsa R1"}));
}

// Lookup and replacement by the real ssh-keygen: a hashed line is found, a missing file is
// none, the name never reaches the shell, the other lines stay, a link is refused whole.
TEST_F(ConnTest, KnownKeysAreFoundAndReplacedInTheFilesSshReads)
{
    auto MakeKey = [&](const std::string &sFile) {
        EXPECT_EQ(system(("ssh-keygen -q -t ed25519 -N '' -f " + sDir + "/" + sFile).c_str()), 0);
        std::istringstream sPublic(ReadFile(sDir + "/" + sFile + ".pub"));
        std::string sType, sKey;
        sPublic >> sType >> sKey;
        return sType + " " + sKey;
    };
    const std::string sOld = "[h.example]:2222 " + MakeKey("old");
    const std::string sNew = "[h.example]:2222 " + MakeKey("new");
    const std::string sOther = "other.example " + MakeKey("other");
    const std::string sFirst = sDir + "/first", sSecond = sDir + "/second";
    WriteFile(sSecond, "# mine\n" + sOld + "\n" + sOther + "\n");
    ASSERT_EQ(system(("ssh-keygen -q -H -f " + sSecond + " >/dev/null 2>&1").c_str()), 0);
    const std::string sHashed = ReadFile(sSecond);
    ASSERT_EQ(sHashed.find("h.example"), std::string::npos) << sHashed;

    TRUSTOFFER sOffer;
    sOffer.sTarget.asKnownHostsFiles = {sFirst, sSecond};  // the first is missing yet
    sOffer.sName = "[h.example]:2222";
    sOffer.asOffered = {sNew};
    ASSERT_EQ(FindKnownKeys(&sOffer), "");
    EXPECT_EQ(sOffer.asKnown, std::vector<std::string>{sOld});
    EXPECT_EQ(sOffer.asHolding, std::vector<std::string>{sSecond});
    ASSERT_EQ(sOffer.sCheck.eState, TS_CHANGED);

    // A symbolic link among the files: refused before anything changes.
    ASSERT_EQ(symlink(sSecond.c_str(), (sDir + "/link").c_str()), 0);
    TRUSTOFFER sLinked = sOffer;
    sLinked.asHolding = {sDir + "/link"};
    EXPECT_NE(ReplaceKnownKeys(sLinked).find("symbolic link"), std::string::npos);
    EXPECT_EQ(ReadFile(sSecond), sHashed);
    EXPECT_NE(access(sFirst.c_str(), F_OK), 0);

    ASSERT_EQ(ReplaceKnownKeys(sOffer), "");
    EXPECT_EQ(ReadFile(sFirst), sNew + "\n") << "new keys go to the first file ssh reads";
    const std::string sRest = ReadFile(sSecond);
    EXPECT_EQ(sRest.find("# mine\n"), 0u) << sRest;
    EXPECT_EQ(std::count(sRest.begin(), sRest.end(), '\n'), 2) << "the other host stays";

    // Names come from ssh's configuration and scans: quoted, never run.
    sOffer.sName = "$(touch " + sDir + "/ran)`touch " + sDir + "/ran`;touch " + sDir + "/ran";
    EXPECT_EQ(FindKnownKeys(&sOffer), "");
    EXPECT_TRUE(sOffer.asKnown.empty());
    EXPECT_NE(access((sDir + "/ran").c_str(), F_OK), 0);
}

// What a ping shows: ssh's own sentence, never the banner around it.
TEST(ConnSshReason, TheSentenceThatSaysWhy)
{
    const std::string sBanner = "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n"
                                "@    WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!     @\n"
                                "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n"
                                "IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!\n";
    const std::string sStrict =
        "Host key for [10.0.0.5]:2222 has changed and you have requested strict checking.";
    struct REASONCASE {
        std::string sStderr, sReason;
        bool bChanged;
    };
    const REASONCASE asCase[] = {
        {sBanner + sStrict + "\r\nHost key verification failed.\n", sStrict, true},
        {sBanner + "root@10.0.0.5: Permission denied (publickey).\n",  // no strict checking
         "WARNING: REMOTE HOST IDENTIFICATION HAS CHANGED!", true},
        {"\nssh: connect to host h port 1: Connection refused\n",
         "connect to host h port 1: Connection refused", false},
        {"", "", false},
    };
    for (const REASONCASE &sCase : asCase) {
        SCOPED_TRACE(sCase.sStderr);
        EXPECT_EQ(OVSshReason(sCase.sStderr), sCase.sReason);
        EXPECT_EQ(OVSshHostKeyChanged(sCase.sStderr), sCase.bChanged);
    }
}

TEST_F(ConnTest, KnownHostsGainsOnlyNewKeyLines)
{
    const std::string sPath = sDir + "/home/.ssh/known_hosts";
    ASSERT_EQ(mkdir((sDir + "/home").c_str(), 0755), 0);
    int nAdded = -1;
    ASSERT_EQ(AppendKnownHosts(sPath, {"h ssh-ed25519 K1", "h ssh-rsa K2"}, &nAdded), 0);
    EXPECT_EQ(nAdded, 2);
    struct stat sInfo {};
    ASSERT_EQ(stat((sDir + "/home/.ssh").c_str(), &sInfo), 0);
    EXPECT_EQ(sInfo.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(sPath.c_str(), &sInfo), 0);
    EXPECT_EQ(sInfo.st_mode & 0777, 0600u);

    WriteFile(sPath, ReadFile(sPath) + "other ssh-ed25519 K9");  // no final newline
    ASSERT_EQ(AppendKnownHosts(sPath, {"h ssh-rsa K2", "h ecdsa K3"}, &nAdded), 0);
    EXPECT_EQ(nAdded, 1);
    EXPECT_EQ(ReadFile(sPath),
              "h ssh-ed25519 K1\nh ssh-rsa K2\nother ssh-ed25519 K9\nh ecdsa K3\n");
    ASSERT_EQ(AppendKnownHosts(sPath, {"h ecdsa K3"}, &nAdded), 0);
    EXPECT_EQ(nAdded, 0);

    EXPECT_NE(AppendKnownHosts(sDir + "/missing/deeper/known_hosts", {"h t k"}, &nAdded), 0);
}

}  // namespace
