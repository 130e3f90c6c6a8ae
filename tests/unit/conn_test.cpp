// orvikconn without a screen: what an entry may hold, the table changes, the stamps, the
// scan output it trusts and the known_hosts file it appends to. (A failing ping is tried end to
// end, against a closed port.)
#include "orvikconn.h"
#include "services_fixture.h"

#include <sys/stat.h>

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
    sTarget = ScanTarget(sSystem, "hostname -oProxyCommand=x\nhostkeyalias none\n");
    EXPECT_EQ(sTarget.sHost, "web") << "a value like an option is not taken";
    EXPECT_EQ(sTarget.sPort, "2222");
    EXPECT_EQ(sTarget.sKeyAlias, "");
    EXPECT_NE(KeyscanCommand(sTarget).find("-p 2222 -- web "), std::string::npos);

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
