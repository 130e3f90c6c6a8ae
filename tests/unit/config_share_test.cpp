// config.ini shared by several open programs: a save applies only what this program changed
// to the file as another program may have left it, under a lock, and keeps every other line.
#include "services_fixture.h"

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ConfigShareTest = ServicesTest;

int IndexOf(const char *pszName) {
    for (int i = 0; i < nRemoteSystems; i++)
        if (strcmp(asRemoteSystem[i].szSystemName, pszName) == 0) return i;
    return -1;
}

void AddSystem(const char *pszIP, const char *pszName) {
    REMOTESYSTEM &sSystem = asRemoteSystem[nRemoteSystems++];
    sSystem = REMOTESYSTEM{};
    OVCopyText(sSystem.szIP, sizeof sSystem.szIP, pszIP);
    OVCopyText(sSystem.szPort, sizeof sSystem.szPort, "22");
    OVCopyText(sSystem.szSystemName, sizeof sSystem.szSystemName, pszName);
    OVCopyText(sSystem.szUser, sizeof sSystem.szUser, "root");
}

void RemoveSystem(const char *pszName) {
    int n = IndexOf(pszName);
    ASSERT_GE(n, 0) << pszName;
    for (int i = n; i + 1 < nRemoteSystems; i++) asRemoteSystem[i] = asRemoteSystem[i + 1];
    nRemoteSystems--;
}

struct SHARECASE {
    const char *pszWhat;
    std::string sLoaded;                 // the file when this program loads it
    std::function<void()> fnChange;      // what this program changes in its tables
    std::string sMeanwhile;              // the file another program saved meanwhile
    std::string sExpected;               // the file after this program's save
};

} // namespace

TEST_F(ConfigShareTest, ASaveKeepsWhatAnotherProgramSavedMeanwhile) {
    const std::string sAB = "RemoteSystem 10.0.0.1 22 alpha root\n"
                            "RemoteSystem 10.0.0.2 22 bravo root\n"
                            "RemoteSystem 10.0.0.3 22 charlie root\n";
    const SHARECASE asCase[] = {
        {"a colour changed while another program added a system",
         "# colours\nPanelForegroundColor is White\n", [] {
             asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
         },
         "RemoteSystem 10.0.0.9 22 web1 root\n# colours\nPanelForegroundColor is White\n",
         "RemoteSystem 10.0.0.9 22 web1 root\n# colours\nPanelForegroundColor      is Green\n"},
        {"a connection made while another program set a colour",
         "RemoteSystem 10.0.0.9 22 web1 root\nPanelForegroundColor is Black\n",
         [] { psConnectedSystem = &asRemoteSystem[0]; },
         "RemoteSystem 10.0.0.9 22 web1 root\nPanelForegroundColor is Red\n",
         "RemoteSystem 10.0.0.9 22 web1 root Connected\nPanelForegroundColor is Red\n"},
        {"nothing changed: the other program's system and comment stay",
         sAB, [] {}, "# mine\n" + sAB + "RemoteSystem 10.0.0.4 22 delta root\n",
         "# mine\n" + sAB + "RemoteSystem 10.0.0.4 22 delta root\n"},
        {"an edit of bravo while another program deleted alpha",
         sAB, [] { OVCopyText(asRemoteSystem[IndexOf("bravo")].szUser, 17, "admin"); },
         "RemoteSystem 10.0.0.2 22 bravo root\nRemoteSystem 10.0.0.3 22 charlie root\n",
         "RemoteSystem 10.0.0.2 22 bravo admin\nRemoteSystem 10.0.0.3 22 charlie root\n"},
        {"the same value changed by both: the later save wins",
         "PanelForegroundColor is White\n", [] {
             asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 2;
         },
         "PanelForegroundColor is Red\n", "PanelForegroundColor      is Green\n"},
        {"a ping stamp set here keeps the trust stamp set there",
         sAB, [] { OVCopyText(asRemoteSystem[IndexOf("charlie")].szLastPing, 17, "p2"); },
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.2 22 bravo root\n"
         "RemoteSystem 10.0.0.3 22 charlie root LastTrust t1 LastPing p1\n",
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.2 22 bravo root\n"
         "RemoteSystem 10.0.0.3 22 charlie root LastPing p2 LastTrust t1\n"},
        {"a stamp for a system another program removed does not bring it back",
         sAB, [] { OVCopyText(asRemoteSystem[IndexOf("alpha")].szLastPing, 17, "p"); },
         "RemoteSystem 10.0.0.2 22 bravo root\nRemoteSystem 10.0.0.3 22 charlie root\n",
         "RemoteSystem 10.0.0.2 22 bravo root\nRemoteSystem 10.0.0.3 22 charlie root\n"},
        {"a system removed here that another program stamped is removed",
         sAB, [] { RemoveSystem("bravo"); },
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.2 22 bravo root LastPing x\n"
         "RemoteSystem 10.0.0.3 22 charlie root\n",
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.3 22 charlie root\n"},
        {"a renamed system keeps its place; an added one follows the one before it",
         sAB + "PanelAttribute is Dim\n", [] {
             OVCopyText(asRemoteSystem[IndexOf("bravo")].szSystemName, 17, "beta");
             AddSystem("10.0.0.4", "delta");
         },
         sAB + "PanelAttribute is Dim\n# the end\n",
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.2 22 beta root\n"
         "RemoteSystem 10.0.0.3 22 charlie root\nRemoteSystem 10.0.0.4 22 delta root\n"
         "PanelAttribute is Dim\n# the end\n"},
        {"a system both programs added is there once",
         "", [] { AddSystem("10.0.0.7", "web"); }, "RemoteSystem 10.0.0.7 22 web root LastPing p\n",
         "RemoteSystem 10.0.0.7 22 web root\n"},
        {"another connection chosen here clears the one the file marked",
         sAB, [] { psConnectedSystem = &asRemoteSystem[IndexOf("alpha")]; },
         "RemoteSystem 10.0.0.1 22 alpha root\nRemoteSystem 10.0.0.2 22 bravo root Connected\n"
         "RemoteSystem 10.0.0.3 22 charlie root\n",
         "RemoteSystem 10.0.0.1 22 alpha root Connected\nRemoteSystem 10.0.0.2 22 bravo root\n"
         "RemoteSystem 10.0.0.3 22 charlie root\n"},
        {"a last line without its newline gets one when a line follows it",
         "PanelAttribute is Dim", [] { asOVDisplayAttributes[OVDG_BUTTON].nAttribute = 3; },
         "PanelAttribute is Dim", "PanelAttribute is Dim\nButtonAttribute           is Underline\n"},
    };
    for (const SHARECASE &sCase : asCase) {
        SCOPED_TRACE(sCase.pszWhat);
        memcpy(asOVDisplayAttributes, asSavedGroups, sizeof(asSavedGroups));
        WriteFile(ConfigPath(), sCase.sLoaded);
        ASSERT_EQ(LoadConfigurationValues(), 0);
        sCase.fnChange();
        WriteFile(ConfigPath(), sCase.sMeanwhile);
        struct stat sBefore, sAfter;
        ASSERT_EQ(stat(ConfigPath().c_str(), &sBefore), 0);
        EXPECT_EQ(SaveConfigurationValues(), 0);
        EXPECT_EQ(ReadFile(ConfigPath()), sCase.sExpected);
        /* A program that changed nothing does not even replace the file. */
        ASSERT_EQ(stat(ConfigPath().c_str(), &sAfter), 0);
        if (sCase.sMeanwhile == sCase.sExpected) {
            EXPECT_EQ(sAfter.st_ino, sBefore.st_ino);
        }
        /* What was saved is the new starting point: saving again changes nothing. */
        EXPECT_EQ(SaveConfigurationValues(), 0);
        EXPECT_EQ(ReadFile(ConfigPath()), sCase.sExpected);
    }
}

TEST_F(ConfigShareTest, ALinkedConfigStaysALinkAndItsTargetIsReplaced) {
    const std::string sDotfiles = sDir + "/dotfiles";
    std::filesystem::create_directory(sDotfiles);
    WriteFile(sDotfiles + "/orvik.ini", "# kept in git\nPanelForegroundColor is White\n");
    chmod((sDotfiles + "/orvik.ini").c_str(), 0640);
    ASSERT_EQ(symlink("dotfiles/orvik.ini", ConfigPath().c_str()), 0);

    ASSERT_EQ(LoadConfigurationValues(), 0);
    asOVDisplayAttributes[OVDG_PANEL].nForegroundColor = 1;
    EXPECT_EQ(SaveConfigurationValues(), 0);

    struct stat sLink, sTarget;
    ASSERT_EQ(lstat(ConfigPath().c_str(), &sLink), 0);
    EXPECT_TRUE(S_ISLNK(sLink.st_mode));
    EXPECT_EQ(ReadFile(sDotfiles + "/orvik.ini"), "# kept in git\nPanelForegroundColor      is Red\n");
    ASSERT_EQ(stat((sDotfiles + "/orvik.ini").c_str(), &sTarget), 0);
    EXPECT_EQ(sTarget.st_mode & 07777, 0640u);
    /* Nothing is left beside the target but the target. */
    size_t nEntries = 0;
    for (const auto &sEntry : std::filesystem::directory_iterator(sDotfiles)) {
        (void)sEntry;
        nEntries++;
    }
    EXPECT_EQ(nEntries, 1u);
}

TEST_F(ConfigShareTest, TwoProcessesSavingTwoHundredTimesEachLoseNothing) {
    /* Each process first adds 50 systems of its own, one per save, then stamps them over
       and over, one per save: 400 saves, each of which must survive or be followed by the
       same process's own later stamp of that system. */
    constexpr int nSaves = 200, nSystems = 50;
    WriteFile(ConfigPath(), "# shared\n");
    pid_t anChild[2];
    for (int p = 0; p < 2; p++) {
        anChild[p] = fork();
        ASSERT_GE(anChild[p], 0);
        if (anChild[p] != 0) continue;
        for (int i = 0; i < nSaves; i++) {
            if (LoadConfigurationValues() != 0) _exit(10);
            std::string sName = std::string(1, static_cast<char>('a' + p)) + std::to_string(i % nSystems);
            if (i < nSystems) {
                std::string sIP = "10." + std::to_string(p) + ".0." + std::to_string(i);
                AddSystem(sIP.c_str(), sName.c_str());
            } else {
                int n = IndexOf(sName.c_str());
                if (n < 0) _exit(11); /* its own system was lost */
                OVCopyText(asRemoteSystem[n].szLastPing, 17, ("s" + std::to_string(i)).c_str());
            }
            if (SaveConfigurationValues() != 0) _exit(12);
        }
        _exit(0);
    }
    for (pid_t nChild : anChild) {
        int nStatus = 0;
        waitpid(nChild, &nStatus, 0);
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    }
    ASSERT_EQ(LoadConfigurationValues(), 0);
    EXPECT_EQ(nRemoteSystems, 2 * nSystems);
    for (int p = 0; p < 2; p++)
        for (int k = 0; k < nSystems; k++) {
            std::string sName = std::string(1, static_cast<char>('a' + p)) + std::to_string(k);
            int n = IndexOf(sName.c_str());
            ASSERT_GE(n, 0) << sName;
            EXPECT_STREQ(asRemoteSystem[n].szLastPing,
                         ("s" + std::to_string(nSaves - nSystems + k)).c_str()) << sName;
        }
    std::string sFinal = ReadFile(ConfigPath());
    EXPECT_NE(sFinal.find("\n# shared\n"), std::string::npos);
    EXPECT_EQ(sFinal.find("# shared"), sFinal.rfind("# shared"));
}

TEST_F(ConfigShareTest, AnAdditionPastOneHundredSystemsIsRefusedOnce) {
    std::string sFull;
    for (int i = 1; i <= 100; i++)
        sFull += "RemoteSystem 10.0.1." + std::to_string(i) + " 22 s" + std::to_string(i) + " root\n";
    WriteFile(ConfigPath(), sFull.substr(0, sFull.rfind("Remote")));
    ASSERT_EQ(LoadConfigurationValues(), 0);
    AddSystem("10.9.9.9", "mine");
    WriteFile(ConfigPath(), sFull); /* another program added the hundredth meanwhile */
    EXPECT_EQ(SaveConfigurationValues(), 8);
    EXPECT_EQ(ReadFile(ConfigPath()), sFull);
    bool bFull = false;
    EXPECT_EQ(OVConfigurationSaveFailure(&bFull), ConfigPath() + " holds 100 remote systems "
              "already, the most it may; mine (10.9.9.9) is not added.");
    EXPECT_TRUE(bFull);
    EXPECT_EQ(SaveConfigurationValues(), 0); /* not tried again */
}

TEST_F(ConfigShareTest, ALockHeldTooLongIsGivenUpOnAndItsHolderNamed) {
    WriteFile(ConfigPath(), "PanelForegroundColor is Red\n"); /* a save would write it whole */
    int afd[2];
    ASSERT_EQ(pipe(afd), 0);
    pid_t nHolder = fork();
    if (nHolder == 0) { /* takes the lock as a save does, and keeps it */
        int fd = open((ConfigPath() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
        struct flock sLock {F_WRLCK, SEEK_SET, 0, 0, 0};
        if (fcntl(fd, F_SETLKW, &sLock) == 0 && write(afd[1], "x", 1) == 1) pause();
        _exit(1);
    }
    char c;
    ASSERT_EQ(read(afd[0], &c, 1), 1);
    const std::string sWhy = "Gave up after 3 seconds waiting for " + ConfigPath() +
                             ".lock, locked by process " + std::to_string(nHolder) + " (unit_config_sha).";
    EXPECT_EQ(SaveConfigurationValues(), 8);
    EXPECT_EQ(OVConfigurationSaveFailure(), sWhy);
    EXPECT_EQ(LoadConfigurationValues(), 8);
    EXPECT_EQ(OVConfigurationFailure(), "Configuration " + ConfigPath() + " not loaded: " + sWhy);
    kill(nHolder, SIGKILL);
    waitpid(nHolder, nullptr, 0);
    EXPECT_EQ(ReadFile(ConfigPath()), "PanelForegroundColor is Red\n");
}
