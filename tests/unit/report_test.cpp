// Saving a report to a file and handing it to lpr.
#include "services_fixture.h"
#include "test_services.h"

#include <chrono>
#include <thread>

#include <sys/stat.h>

namespace {

using ReportTest = ServicesTest;

TEST_F(ReportTest, SavedFileHoldsTitleColonEmptyLineAndData) {
    std::string sFile = sDir + "/report.txt";
    EXPECT_EQ(SaveTempDataFile(sFile.c_str(), "Memory", "a\nb\n"), 0);
    EXPECT_EQ(ReadFile(sFile), "Memory:\n\na\nb\n");
    EXPECT_EQ(SaveTempDataFile(sFile.c_str(), "Empty", ""), 0);
    EXPECT_EQ(ReadFile(sFile), "Empty:\n\n");
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(ReportTest, SavedFileIsTheUsersAloneAndReplacesOnlyItsOwnFile) {
    std::string sNew = sDir + "/new.txt", sOld = sDir + "/old.txt";
    mode_t nMask = umask(022);
    EXPECT_EQ(SaveTempDataFile(sNew.c_str(), "T", "d"), 0);
    WriteFile(sOld, "old");
    chmod(sOld.c_str(), 0644);
    EXPECT_EQ(SaveTempDataFile(sOld.c_str(), "T", "d"), 0);
    umask(nMask);
    for (const std::string &sFile : {sNew, sOld}) {
        struct stat sStat;
        ASSERT_EQ(lstat(sFile.c_str(), &sStat), 0);
        EXPECT_EQ(sStat.st_mode & 07777, 0600u) << sFile;
        EXPECT_EQ(sStat.st_uid, geteuid()) << sFile;
        EXPECT_EQ(ReadFile(sFile), "T:\n\nd") << sFile;
    }

    /* Anything else at the name stays as it was, and the reason reaches the log and the
       caller. */
    const std::string sTarget = sDir + "/target", sOwn = sDir + "/own";
    WriteFile(sTarget, "target");
    WriteFile(sOwn, "own");
    struct CASE {
        const char *pszName;
        const char *pszWhy;
    };
    const CASE asCase[] = {{"link", "a symbolic link"},
                           {"dangling", "a symbolic link"},
                           {"foreign", "another user's file"},
                           {"hardlink", "a file with more than one link"},
                           {"folder", "not a regular file"}};
    ASSERT_EQ(symlink(sTarget.c_str(), (sDir + "/link").c_str()), 0);
    ASSERT_EQ(symlink((sDir + "/absent").c_str(), (sDir + "/dangling").c_str()), 0);
    WriteFile(sDir + "/foreign", "foreign");
    ASSERT_EQ(chown((sDir + "/foreign").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((sDir + "/foreign").c_str(), 0666), 0);
    ASSERT_EQ(link(sOwn.c_str(), (sDir + "/hardlink").c_str()), 0);
    std::filesystem::create_directory(sDir + "/folder");
    for (const CASE &sCase : asCase) {
        const std::string sFile = sDir + "/" + sCase.pszName;
        struct stat sBefore, sAfter;
        ASSERT_EQ(lstat(sFile.c_str(), &sBefore), 0);
        std::string sWhy;
        EXPECT_EQ(SaveTempDataFile(sFile.c_str(), "T", "report", &sWhy), 8) << sFile;
        EXPECT_EQ(sWhy, sCase.pszWhy);
        EXPECT_TRUE(LogHas("SaveTempDataFile: Refusing to replace file: " + sFile + ": " +
                           sCase.pszWhy + "."))
            << ReadLog();
        ASSERT_EQ(lstat(sFile.c_str(), &sAfter), 0);
        EXPECT_EQ(sAfter.st_ino, sBefore.st_ino) << sFile;
        EXPECT_EQ(sAfter.st_uid, sBefore.st_uid) << sFile;
        EXPECT_EQ(sAfter.st_mode, sBefore.st_mode) << sFile;
    }
    EXPECT_EQ(ReadFile(sTarget), "target");
    EXPECT_FALSE(std::filesystem::exists(sDir + "/absent"));
    EXPECT_EQ(ReadFile(sDir + "/foreign"), "foreign");
    EXPECT_EQ(ReadFile(sOwn), "own");
    std::size_t nEntries = 0;
    for (const auto &sEntry : std::filesystem::directory_iterator(sDir)) {
        (void)sEntry;
        nEntries++;
    }
    EXPECT_EQ(nEntries, 10u) << "no temporary file is left beside them";
}

TEST_F(ReportTest, UncreatableFileLeavesNothingBehind) {
    std::string sFile = sDir + "/absent/report.txt";
    EXPECT_EQ(SaveTempDataFile(sFile.c_str(), "Memory", "a\n"), 8);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "SaveTempDataFile: Unable to create file: " + sFile + ".", ""}));
    /* A directory in the way stays as it was, and no temporary file is left beside it. */
    std::string sFolder = sDir + "/folder";
    std::filesystem::create_directory(sFolder);
    EXPECT_EQ(SaveTempDataFile(sFolder.c_str(), "Memory", "a\n"), 8);
    EXPECT_TRUE(std::filesystem::is_directory(sFolder));
    std::size_t nEntries = 0;
    for (const auto &sEntry : std::filesystem::directory_iterator(sDir)) {
        (void)sEntry;
        nEntries++;
    }
    EXPECT_EQ(nEntries, 2u); /* the folder and the log */
}

TEST_F(ReportTest, NullArgumentsAreNamed) {
    EXPECT_EQ(SaveTempDataFile(nullptr, "t", "d"), 8);
    EXPECT_EQ(SaveTempDataFile("/tmp/x", nullptr, "d"), 8);
    EXPECT_EQ(SaveTempDataFile("/tmp/x", "t", nullptr), 8);
    EXPECT_EQ(PrintData(nullptr, "d"), 8);
    EXPECT_EQ(PrintData("t", nullptr), 8);
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "SaveTempDataFile: pszTempFile NULL pointer: (nil).",
                                 "SaveTempDataFile: pszTitle NULL pointer: (nil).",
                                 "SaveTempDataFile: pszData NULL pointer: (nil).",
                                 "PrintData: pszTitle NULL pointer: (nil).",
                                 "PrintData: pszData NULL pointer: (nil)."}));
}

/* A stand-in lpr first in PATH: it keeps what it was given and ends with the given status. */
class FakePrinterTest : public ServicesTest {
  protected:
    void SetUp() override {
        ServicesTest::SetUp();
        sOldPath = getenv("PATH") ? getenv("PATH") : "";
        std::filesystem::create_directory(sDir + "/bin");
        setenv("PATH", (sDir + "/bin:" + sOldPath).c_str(), 1);
    }
    void TearDown() override {
        setenv("PATH", sOldPath.c_str(), 1);
        ServicesTest::TearDown();
    }
    void FakeLpr(int nStatus) {
        std::string sScript = sDir + "/bin/lpr";
        WriteFile(sScript, "#!/bin/sh\ncat > '" + sDir + "/job.txt'\necho 'lpr: no default destination' >&2\nexit " +
                               std::to_string(nStatus) + "\n");
        chmod(sScript.c_str(), 0755);
    }
    std::string ErrorFile() const { return "/tmp/OrvikError." + std::to_string(nPid ? nPid : getpid()) + ".Print.txt"; }
    std::string sOldPath;
};

TEST_F(FakePrinterTest, JobGetsTitleEmptyLineDataAndNewline) {
    FakeLpr(0);
    std::string sWhy = "stale";
    EXPECT_EQ(PrintData("Memory", "a\nb\n", &sWhy), 0);
    EXPECT_EQ(sWhy, "");
    EXPECT_EQ(ReadFile(sDir + "/job.txt"), "Memory\n\na\nb\n\n");
    EXPECT_FALSE(std::filesystem::exists(ErrorFile()));
}

TEST_F(FakePrinterTest, RefusedJobIsReported) {
    FakeLpr(1);
    std::string sWhy = "stale";
    EXPECT_EQ(PrintData("Memory", "a\n", &sWhy), 8);
    EXPECT_EQ(sWhy, "lpr: no default destination");  /* lpr's own words for the screen */
    /* One line, and it carries lpr's reason. */
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"PrintData: lpr refused the job, status: "
                                                       "256, error: lpr: no default destination.  "
                                                       "Title: Memory."}));
    EXPECT_FALSE(std::filesystem::exists(ErrorFile()));
}

/* Waits until the print output file holds the text past nFrom, or the deadline passes. */
bool WaitForJob(const std::string &sFile, std::size_t nFrom, const std::string &sJob) {
    auto nDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < nDeadline) {
        std::string sText = ServicesTest::ReadFile(sFile);
        if (sText.size() > nFrom && sText.find(sJob, nFrom) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST_F(ReportTest, JobReachesTheQueueByteForByte) {
    ORVIK_REQUIRE_PRINT();
    std::string sOutput = PrintOutputFile();
    std::size_t nFrom = ReadFile(sOutput).size();
    std::string sTitle = "Memory " + std::to_string(getpid());
    EXPECT_EQ(PrintData(sTitle.c_str(), "a\nb\n"), 0) << ReadLog();
    EXPECT_TRUE(WaitForJob(sOutput, nFrom, sTitle + "\n\na\nb\n\n"))
        << "new print output: " << ReadFile(sOutput).substr(nFrom);
    nFrom = ReadFile(sOutput).size();
    EXPECT_EQ(PrintData("Memory", "a\nb\n"), 0) << ReadLog();
    EXPECT_TRUE(WaitForJob(sOutput, nFrom, "Memory\n\na\nb\n\n"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/OrvikError." + std::to_string(getpid()) + ".Print.txt"));
}

} // namespace
