// Files of fixed names in /tmp: claimed by the program before anything writes into them,
// never written through a link planted at the name.
#include "services_fixture.h"

#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TmpFileTest : public ServicesTest {
  protected:
    void TearDown() override {
        for (const std::string &sPath : asPlanted) remove(sPath.c_str());
        ServicesTest::TearDown();
    }
    /* A victim file of the test's own and a link to it at sName. */
    void PlantLink(const std::string &sName) {
        ASSERT_EQ(symlink(Victim().c_str(), sName.c_str()), 0) << sName;
        asPlanted.push_back(sName);
    }
    std::string Victim() const { return sDir + "/victim"; }
    static mode_t Mode(const std::string &sPath) {
        struct stat sStat;
        return lstat(sPath.c_str(), &sStat) == 0 ? sStat.st_mode : 0;
    }
    std::vector<std::string> asPlanted;
};

TEST_F(TmpFileTest, ClaimCreatesOrReusesOnlyAPlainFileOfOurOwn) {
    std::string sNew = sDir + "/new.txt";
    EXPECT_EQ(OVClaimTempFile(sNew.c_str()), 0);
    EXPECT_EQ(Mode(sNew), S_IFREG | 0600);
    EXPECT_EQ(ReadFile(sNew), "");

    /* Our own file from an earlier run is emptied and reused. */
    WriteFile(sNew, "old listing");
    chmod(sNew.c_str(), 0644);
    EXPECT_EQ(OVClaimTempFile(sNew.c_str()), 0);
    EXPECT_EQ(ReadFile(sNew), "");
    EXPECT_EQ(Mode(sNew), S_IFREG | 0600);

    WriteFile(Victim(), "precious");
    std::string sLink = sDir + "/link.txt";
    ASSERT_EQ(symlink(Victim().c_str(), sLink.c_str()), 0);
    std::string sDangling = sDir + "/dangling.txt";
    ASSERT_EQ(symlink((sDir + "/not-yet").c_str(), sDangling.c_str()), 0);
    std::string sHard = sDir + "/hard.txt";
    ASSERT_EQ(link(Victim().c_str(), sHard.c_str()), 0);
    std::string sFolder = sDir + "/folder.txt";
    std::filesystem::create_directory(sFolder);
    std::string sForeign = sDir + "/foreign.txt";
    WriteFile(sForeign, "theirs");
    ASSERT_EQ(chown(sForeign.c_str(), 65534, 65534), 0);

    for (const std::string &sTaken : {sLink, sDangling, sHard, sFolder, sForeign})
        EXPECT_EQ(OVClaimTempFile(sTaken.c_str()), 8) << sTaken;
    EXPECT_EQ(ReadFile(Victim()), "precious");
    EXPECT_FALSE(std::filesystem::exists(sDir + "/not-yet"));
    EXPECT_EQ(ReadFile(sForeign), "theirs");
    EXPECT_TRUE(LogHas("OVClaimTempFile: Refusing to write " + sLink + ": it is a symbolic link."));
    EXPECT_TRUE(LogHas("OVClaimTempFile: Refusing to write " + sHard +
                       ": it is a file with more than one link."));
    EXPECT_TRUE(LogHas("OVClaimTempFile: Refusing to write " + sForeign +
                       ": it is another user's file."));
    EXPECT_TRUE(LogHas("OVClaimTempFile: Refusing to write " + sFolder +
                       ": it is not a regular file."));
}

TEST_F(TmpFileTest, PrintErrorFileIsNeverWrittenThroughALink) {
    WriteFile(Victim(), "precious");
    PlantLink("/tmp/OrvikError." + std::to_string(nPid ? nPid : getpid()) + ".Print.txt");
    EXPECT_EQ(PrintData("Memory", "a\n"), 8);
    EXPECT_EQ(ReadFile(Victim()), "precious");
    EXPECT_TRUE(LogHas("PrintData: Unable to print data.  Title: Memory."));
}

TEST_F(TmpFileTest, RemoteOutputIsNeverWrittenThroughALink) {
    /* The names hold the process id and the second: plant links for the next few seconds.
       Nothing has to answer at the address, since nothing may run at all. */
    WriteFile(Victim(), "precious");
    std::time_t nNow = std::time(nullptr);
    for (std::time_t t = nNow; t < nNow + 4; t++)
        PlantLink("/tmp/OrvikLibERC." + std::to_string(getpid()) + "." + std::to_string(t) +
                  ".Temp.txt");
    REMOTESYSTEM sSystem{};
    OVCopyText(sSystem.szIP, sizeof(sSystem.szIP), "127.0.0.1");
    OVCopyText(sSystem.szPort, sizeof(sSystem.szPort), "1");
    OVCopyText(sSystem.szUser, sizeof(sSystem.szUser), "nobody");
    char szOutput[256] = "";
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "echo owned", szOutput, sizeof(szOutput), nullptr,
                                   nullptr),
              8);
    EXPECT_EQ(ReadFile(Victim()), "precious");
    EXPECT_TRUE(LogHas("OVClaimTempFile: Refusing to write /tmp/OrvikLibERC."));
    /* The error file claimed beside it is not left behind either. */
    for (const auto &sEntry : std::filesystem::directory_iterator("/tmp")) {
        std::string sName = sEntry.path().filename().string();
        EXPECT_FALSE(sName.rfind("OrvikLibERC." + std::to_string(getpid()) + ".", 0) == 0 &&
                     sName.find(".Error.txt") != std::string::npos)
            << sName;
    }
}

} // namespace

namespace {

TEST_F(TmpFileTest, LogInTmpIsNeverAppendedThroughALink) {
    WriteFile(Victim(), "precious");
    std::string sLog = "/tmp/OrvikLog." + std::to_string(getpid()) + ".link.txt";
    PlantLink(sLog);
    setenv("ORVIKLOGFILE", sLog.c_str(), 1);
    setenv("XDG_STATE_HOME", (sDir + "/state").c_str(), 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(OVWriteMessage(OVLOG_ERROR, "into the victim?"), 0);
    std::string sSaid = testing::internal::GetCapturedStderr();
    /* Nothing over the screen: the one line goes to standard error, the log elsewhere. */
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(sSaid.find(sLog + " is not used: it is a symbolic link"), std::string::npos)
        << sSaid;
    EXPECT_EQ(ReadFile(Victim()), "precious");
    EXPECT_NE(ReadFile(sDir + "/state/orvik/OrvikLog.txt").find("into the victim?"),
              std::string::npos);
    unsetenv("XDG_STATE_HOME");
}

TEST_F(TmpFileTest, KeptScratchFilesGoOnAnAbnormalEndForgottenOnesStay) {
    const std::string sKept = sDir + "/kept.txt", sForgotten = sDir + "/forgotten.txt",
                      sGuarded = sDir + "/guarded.txt";
    for (const std::string &sFile : {sKept, sForgotten, sGuarded}) {
        WriteFile(sFile, "scratch");
        EXPECT_EQ(OVRegisterTempFile(sFile.c_str()), 0);
    }
    EXPECT_EQ(OVRegisterTempFile(sKept.c_str()), 0); /* again: still one entry */
    OVForgetTempFile(sForgotten.c_str());
    OVForgetTempFile(sGuarded.c_str());
    { OVTempFileGuard sGuard(sGuarded.c_str()); } /* kept only while the guard lives */
    EXPECT_FALSE(std::filesystem::exists(sGuarded)); /* and removed when it goes */
    WriteFile(sGuarded, "a later file of the same name");

    /* The fatal path, the ending on a signal and a second signal that cannot wait for it
       all take the kept file with them. */
    EXPECT_EXIT(OVFatalExit(12), testing::ExitedWithCode(12), "");
    EXPECT_FALSE(std::filesystem::exists(sKept));
    WriteFile(sKept, "scratch");
    EXPECT_EXIT(
        {
            OVInstallSignalHandlers(OVSignalHandler);
            raise(SIGTERM);
            OVEndIfSignalled();
        },
        testing::ExitedWithCode(SIGTERM), "");
    EXPECT_FALSE(std::filesystem::exists(sKept));
    WriteFile(sKept, "scratch");
    EXPECT_EXIT(
        {
            OVInstallSignalHandlers(OVSignalHandler);
            raise(SIGTERM);
            raise(SIGHUP);
        },
        testing::ExitedWithCode(SIGHUP), "");
    EXPECT_FALSE(std::filesystem::exists(sKept));
    EXPECT_FALSE(LogHas("Abnormal Exit: nSignal: 1.")); /* the second one ends without it */
    EXPECT_TRUE(std::filesystem::exists(sForgotten));
    EXPECT_TRUE(std::filesystem::exists(sGuarded));

    /* The table is fixed: a name it has no room for is refused and logged. */
    int nKept = 0;
    for (int i = 0; i < 40; i++)
        if (OVRegisterTempFile((sDir + "/many." + std::to_string(i)).c_str()) == 0) nKept++;
    EXPECT_EQ(nKept, 16 - 1);
    EXPECT_TRUE(LogHas("OVRegisterTempFile: No room to keep " + sDir + "/many.15"));
    EXPECT_EQ(OVRegisterTempFile(std::string(300, 'x').c_str()), 8);
}

/* A guard owns its file: removed when it goes, also when the table had no room for it;
   released, it stays the caller's and an abnormal end leaves it. */
TEST_F(TmpFileTest, GuardRemovesItsFileUnlessReleased) {
    const std::string sRemoved = sDir + "/removed.txt", sReleased = sDir + "/released.txt";
    WriteFile(sRemoved, "scratch");
    WriteFile(sReleased, "result");
    {
        OVTempFileGuard sRemove(sRemoved.c_str()), sRelease(sReleased.c_str()), sNone(nullptr);
        sRelease.Release();
    }
    OVRemoveTempFiles();
    EXPECT_FALSE(std::filesystem::exists(sRemoved));
    EXPECT_EQ(ReadFile(sReleased), "result");
    for (int i = 0; OVRegisterTempFile((sDir + "/fill." + std::to_string(i)).c_str()) == 0; i++) {}
    WriteFile(sRemoved, "no room in the table");
    { OVTempFileGuard sGuard(sRemoved.c_str()); }
    EXPECT_FALSE(std::filesystem::exists(sRemoved));
}

} // namespace
