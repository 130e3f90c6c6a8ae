// The message log: line format, labels, the message limit, the log path, memory dumps and
// the signal handler and the ending it asks for.
#include "services_fixture.h"

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

using LogTest = ServicesTest;

std::string Address(const void *p) {
    char sz[32];
    snprintf(sz, sizeof(sz), "%p", p);
    return sz;
}

TEST_F(LogTest, LineHasDateTimeLabelAndMessage) {
    time_t nBefore = time(nullptr);
    EXPECT_EQ(OVWriteMessage(OVLOG_DEBUG, "OVDump: ending: nRc: 0."), 0);
    std::string sLog = ReadLog();
    std::smatch m;
    ASSERT_TRUE(std::regex_match(sLog, m,
                                 std::regex(R"((\d\d/\d\d/\d{4})(\d\d:\d\d:\d\d)Debug   OVDump: ending: nRc: 0\.\n)")))
        << sLog;
    /* The stamp is the local time of the call (either side of a second boundary). */
    bool bMatched = false;
    for (time_t t = nBefore; t <= time(nullptr); t++) {
        struct tm sTm;
        localtime_r(&t, &sTm);
        char szStamp[32];
        strftime(szStamp, sizeof(szStamp), "%m/%d/%Y%H:%M:%S", &sTm);
        bMatched = bMatched || sLog.compare(0, 18, szStamp) == 0;
    }
    EXPECT_TRUE(bMatched) << sLog;
}

TEST_F(LogTest, EachLevelHasItsLabel) {
    const std::pair<int, const char *> asLevel[] = {{0, "Info    "},    {1, "Debug   "},
                                                    {4, "Warning "},    {8, "Error   "},
                                                    {2, "Unknown "},    {-1, "Unknown "}};
    for (const auto &[nLevel, pszLabel] : asLevel) OVWriteMessage(nLevel, "x");
    std::istringstream in(ReadLog());
    std::string sLine;
    for (const auto &[nLevel, pszLabel] : asLevel) {
        ASSERT_TRUE(std::getline(in, sLine));
        EXPECT_EQ(sLine.substr(18), std::string(pszLabel) + "x") << "level " << nLevel;
    }
}

TEST_F(LogTest, MessagesAreCutAtTheLimit) {
    OVWriteMessage(OVLOG_INFO, std::string(20000, 'a').c_str());
    OVWriteMessage(OVLOG_INFO, std::string(OVMAXMESSAGE, 'b').c_str());
    OVWriteMessage(OVLOG_INFO, std::string(OVMAXMESSAGE + 1, 'c').c_str());
    /* A character that would be split at the limit is left out whole. */
    OVWriteMessage(OVLOG_INFO, (std::string(OVMAXMESSAGE - 1, 'd') + "\xC3\xA9").c_str());
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 4u);
    EXPECT_EQ(asMessage[0], std::string(16197, 'a'));
    EXPECT_EQ(asMessage[1], std::string(16197, 'b'));
    EXPECT_EQ(asMessage[2], std::string(16197, 'c'));
    EXPECT_EQ(asMessage[3], std::string(16196, 'd'));
}

TEST_F(LogTest, LeadingNewlineLeavesTheStampAlone) {
    OVWriteMessage(OVLOG_DEBUG, "\nsecond line");
    std::string sLog = ReadLog();
    ASSERT_EQ(sLog.size(), 26u + 1 + 11 + 1);
    EXPECT_EQ(sLog.substr(18), "Debug   \nsecond line\n");
}

TEST_F(LogTest, NullMessageIsAnErrorLine) {
    EXPECT_EQ(OVWriteMessage(OVLOG_DEBUG, nullptr), 8);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"OVWriteMessage: pszMessage NULL pointer: (nil)."});
    EXPECT_EQ(ReadLog().substr(18, 8), "Error   ");
}

TEST_F(LogTest, UnopenableLogSaysSoOnStandardOutput) {
    setenv("ORVIKLOGFILE", (sDir + "/missing/dir/log.txt").c_str(), 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(OVWriteMessage(OVLOG_ERROR, "lost"), 0);
    EXPECT_EQ(OVLog(OVLOG_ERROR, "lost %d", 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Orvik Unable to create or update Message Log file.\n"
              "Orvik Unable to create or update Message Log file.\n");
}

/* Names at which the log may not be written, and the user's own place it moves to. */
class OwnLogTest : public LogTest {
  protected:
    void SetUp() override {
        LogTest::SetUp();
        setenv("XDG_STATE_HOME", (sDir + "/state").c_str(), 1);
        sOwnLog = sDir + "/state/orvik/OrvikLog.txt";
        const char *pszHome = getenv("HOME");
        sSavedHome = pszHome != nullptr ? pszHome : "";
        WriteFile(Victim(), "precious\n");
    }
    void TearDown() override {
        unsetenv("XDG_STATE_HOME");
        if (!sSavedHome.empty()) setenv("HOME", sSavedHome.c_str(), 1);
        LogTest::TearDown();
    }
    std::string Victim() const { return sDir + "/victim"; }
    static mode_t Mode(const std::string &sPath) {
        struct stat sStat;
        return lstat(sPath.c_str(), &sStat) == 0 ? sStat.st_mode : 0;
    }
    std::string sOwnLog, sSavedHome;
};

TEST_F(OwnLogTest, ATakenNameIsLeftAloneAndTheLogMovesToTheUsersOwnPlace) {
    struct TAKEN {
        std::string sName;
        const char *pszWhy;
    };
    const std::string sForeign = sDir + "/foreign.txt", sHard = sDir + "/hard.txt",
                      sLink = sDir + "/link.txt", sFifo = sDir + "/fifo.txt";
    WriteFile(sForeign, "theirs\n");
    ASSERT_EQ(chown(sForeign.c_str(), 65534, 65534), 0);
    ASSERT_EQ(link(Victim().c_str(), sHard.c_str()), 0);
    ASSERT_EQ(symlink(Victim().c_str(), sLink.c_str()), 0);
    ASSERT_EQ(mkfifo(sFifo.c_str(), 0600), 0);
    const TAKEN asTaken[] = {{sForeign, "another user's file"},
                             {sHard, "a file with more than one link"},
                             {sLink, "a symbolic link"},
                             {sFifo, "not a regular file"}};
    int nCase = 0;
    for (const TAKEN &sTaken : asTaken) {
        SCOPED_TRACE(sTaken.sName);
        setenv("ORVIKLOGFILE", sTaken.sName.c_str(), 1);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        /* At start the refusal is said before any message, once for all that follow. */
        OVChooseLogFile();
        std::string sSaid = testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        OVWriteMessage(OVLOG_ERROR, ("first " + std::to_string(nCase)).c_str());
        OVLog(OVLOG_ERROR, "second %d", nCase);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(sSaid, "Orvik: The log file " + sTaken.sName + " is not used: it is " +
                             sTaken.pszWhy + ". The log is written to " + sOwnLog + ".\n");
        EXPECT_EQ(std::string(szLogFile), sOwnLog);
        EXPECT_EQ(std::string(getenv("ORVIKLOGFILE")), sOwnLog); /* for the programs it starts */
        nCase++;
    }
    EXPECT_EQ(ReadFile(Victim()), "precious\n");
    EXPECT_EQ(ReadFile(sForeign), "theirs\n");
    sLogFile = sOwnLog;
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 8u) << ReadLog();
    EXPECT_EQ(asMessage[6], "first 3");
    EXPECT_EQ(asMessage[7], "second 3");
    EXPECT_EQ(Mode(sOwnLog), S_IFREG | 0600);
    EXPECT_EQ(Mode(sDir + "/state/orvik"), S_IFDIR | 0700);
}

TEST_F(OwnLogTest, NewLogsAreMadePrivateAndTheHomeFolderIsTheDefaultPlace) {
    umask(0);
    OVWriteMessage(OVLOG_INFO, "fresh");
    EXPECT_EQ(Mode(sLogFile), S_IFREG | 0600);
    /* The character device chosen to throw the log away stays usable. */
    setenv("ORVIKLOGFILE", "/dev/null", 1);
    testing::internal::CaptureStderr();
    OVWriteMessage(OVLOG_INFO, "nowhere");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    unsetenv("XDG_STATE_HOME");
    std::string sHome = sDir + "/home";
    mkdir(sHome.c_str(), 0755);
    setenv("HOME", sHome.c_str(), 1);
    std::string sTaken = sDir + "/taken.txt";
    ASSERT_EQ(symlink(Victim().c_str(), sTaken.c_str()), 0);
    setenv("ORVIKLOGFILE", sTaken.c_str(), 1);
    testing::internal::CaptureStderr();
    OVWriteMessage(OVLOG_INFO, "moved");
    testing::internal::GetCapturedStderr();
    for (const char *pszFolder : {"/.local", "/.local/state", "/.local/state/orvik"})
        EXPECT_EQ(Mode(sHome + pszFolder), S_IFDIR | 0700) << pszFolder;
    EXPECT_EQ(Mode(sHome + "/.local/state/orvik/OrvikLog.txt"), S_IFREG | 0600);
    EXPECT_NE(ReadFile(sHome + "/.local/state/orvik/OrvikLog.txt").find("Info    moved\n"),
              std::string::npos);
}

TEST_F(OwnLogTest, WithoutAnyUsablePlaceMessagesAreDroppedAfterOneLine) {
    mkdir((sDir + "/state").c_str(), 0700);
    mkdir((sDir + "/state/orvik").c_str(), 0700);
    ASSERT_EQ(symlink(Victim().c_str(), sOwnLog.c_str()), 0);
    ASSERT_EQ(symlink(Victim().c_str(), sLogFile.c_str()), 0);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; i++) OVWriteMessage(OVLOG_ERROR, "dropped");
    std::string sSaid = testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(sSaid, "Orvik: The log file " + sLogFile + " is not used: it is a symbolic link; " +
                         sOwnLog + " cannot be used either (a symbolic link). No log is "
                         "written.\n");
    EXPECT_EQ(ReadFile(Victim()), "precious\n");
}

TEST_F(LogTest, LogPathComesFromTheEnvironmentAndStays) {
    OVWriteMessage(OVLOG_INFO, "first");
    EXPECT_EQ(std::string(szLogFile), sLogFile);
    unsetenv("ORVIKLOGFILE");
    OVWriteMessage(OVLOG_INFO, "second");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"first", "second"}));
}

TEST_F(LogTest, OverlongLogPathIsRefusedOnce) {
    OVWriteMessage(OVLOG_INFO, "before");
    setenv("ORVIKLOGFILE", (sDir + "/" + std::string(300, 'L')).c_str(), 1);
    OVWriteMessage(OVLOG_INFO, "after");
    OVWriteMessage(OVLOG_INFO, "again");
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 4u) << ReadLog();
    EXPECT_EQ(asMessage[0], "before");
    EXPECT_EQ(asMessage[1].rfind("OVWriteMessage: ORVIKLOGFILE is longer than 255 characters", 0), 0u);
    EXPECT_EQ(asMessage[2], "after");
    EXPECT_EQ(asMessage[3], "again");
    EXPECT_EQ(std::string(szLogFile), sLogFile);
}

TEST_F(LogTest, LogFormatsAndTracesOnlyWhileDebugging) {
    OVLog(OVLOG_ERROR, "%s: %d.", "value", 42);
    OVTraceStart("Quiet", "n: %d.", 1);
    EXPECT_EQ(OVTraceEnd("Quiet", 7), 7);
    bDebug = 1;
    OVTraceStart("Loud", "n: %d.", 2);
    EXPECT_EQ(OVTraceEnd("Loud", 8), 8);
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{"value: 42.", "Loud: starting: n: 2.", "Loud: ending: nRc: 8."}));
}

TEST_F(LogTest, DumpOfTwentyBytes) {
    const char achBytes[] = "ABCDEFGHIJKLMNOPQRST";
    EXPECT_EQ(OVDump("Title line", achBytes, 20), 0);
    std::vector<std::string> asMessage = LogMessages();
    /* The empty-line message shows as the bare stamp followed by an empty line. */
    ASSERT_EQ(asMessage.size(), 5u) << ReadLog();
    EXPECT_EQ(asMessage[0], "");
    EXPECT_EQ(asMessage[1], "");
    EXPECT_EQ(asMessage[2], "Title line");
    EXPECT_EQ(asMessage[3], Address(achBytes) + "   44434241 48474645 4C4B4A49 504F4E4D   ABCDEFGHIJKLMNOP ");
    EXPECT_EQ(asMessage[4], Address(achBytes + 16) + "   54535251" + std::string(27, ' ') + "   QRST ");
}

TEST_F(LogTest, DumpLineBoundaries) {
    unsigned char achBytes[17];
    for (int i = 0; i < 17; i++) achBytes[i] = static_cast<unsigned char>('a' + i);
    achBytes[1] = 0x20;
    achBytes[2] = 0xE9;
    achBytes[3] = '7';
    OVDump(nullptr, achBytes, 16);
    OVDump(nullptr, achBytes, 17);
    std::vector<std::string> asMessage = LogMessages();
    std::string sFull = Address(achBytes) + "   37E92061 68676665 6C6B6A69 706F6E6D   a..7efghijklmnop ";
    ASSERT_EQ(asMessage.size(), 7u) << ReadLog();
    EXPECT_EQ(asMessage[2], sFull);
    EXPECT_EQ(asMessage[3], "");
    EXPECT_EQ(asMessage[5], sFull);
    EXPECT_EQ(asMessage[6], Address(achBytes + 16) + "   71" + std::string(33, ' ') + "   q ");
}

TEST_F(LogTest, PartialGroupsKeepStorageOrder) {
    const char achBytes[] = "0123456";
    OVDump(nullptr, achBytes, 7);
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 3u);
    EXPECT_EQ(asMessage[2], Address(achBytes) + "   33323130 343536" + std::string(20, ' ') + "   0123456 ");
}

TEST_F(LogTest, DumpOfNothingAndRefusedDumps) {
    bDebug = 1;
    EXPECT_EQ(OVDump("Empty", nullptr, 0), 0);
    EXPECT_EQ(OVDump("Negative", "abc", -1), 8);
    EXPECT_EQ(OVDump("Nowhere", nullptr, 4), 8);
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_EQ(asMessage.size(), 11u) << ReadLog();
    EXPECT_EQ(asMessage[0], "OVDump: starting, pszTitle: Empty, pMemoryPtr: (nil), nMemorySize: 0.");
    EXPECT_EQ(asMessage[1], "");
    EXPECT_EQ(asMessage[2], "");
    EXPECT_EQ(asMessage[3], "Empty");
    EXPECT_EQ(asMessage[4], "OVDump: ending: nRc: 0.");
    EXPECT_EQ(asMessage[6], "OVDump: nMemorySize: -1 is negative.");
    EXPECT_EQ(asMessage[7], "OVDump: ending: nRc: 8.");
    EXPECT_EQ(asMessage[9], "OVDump: pMemoryPtr NULL pointer: (nil).");
    EXPECT_EQ(ReadLog().find("Nowhere\n"), std::string::npos);
}

/* Sends the signal to a child whose standard input is a pseudo-terminal with echo and
   canonical input off: the handler only notes it, the child goes on and ends at its next
   wake-up. Returns the exit status, what it printed and the terminal's modes. */
struct HandlerRun {
    int nStatus;
    std::string sOutput;
    tcflag_t nLocalModes;
};

HandlerRun RunHandler(int nSignal, const std::string &sDir,
                      const OVSIGNALENDING *psEnding = nullptr) {
    int nMaster, nSlave;
    EXPECT_EQ(openpty(&nMaster, &nSlave, nullptr, nullptr, nullptr), 0);
    struct termios sTerm;
    tcgetattr(nSlave, &sTerm);
    sTerm.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    tcsetattr(nSlave, TCSANOW, &sTerm);
    std::string sOut = sDir + "/stdout.txt";
    pid_t nChild = fork();
    if (nChild == 0) {
        dup2(nSlave, STDIN_FILENO);
        int fd = open(sOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        OVSetSignalEnding(psEnding);
        OVInstallSignalHandlers();
        raise(nSignal);
        if (OVPendingSignal() == nSignal) OVWriteMessage(OVLOG_DEBUG, "still running");
        OVEndIfSignalled();
        _exit(98);
    }
    int nStatus = 0;
    waitpid(nChild, &nStatus, 0);
    tcgetattr(nSlave, &sTerm);
    close(nSlave);
    close(nMaster);
    return {nStatus, ServicesTest::ReadFile(sOut), sTerm.c_lflag};
}

TEST_F(LogTest, InterruptRestoresTerminalLogsAndExits) {
    HandlerRun sRun = RunHandler(SIGINT, sDir);
    ASSERT_TRUE(WIFEXITED(sRun.nStatus));
    EXPECT_EQ(WEXITSTATUS(sRun.nStatus), 2);
    EXPECT_EQ(sRun.sOutput, "\nTermination due to User Interrupt (Ctrl-c).");
    EXPECT_TRUE(sRun.nLocalModes & ECHO);
    EXPECT_TRUE(sRun.nLocalModes & ICANON);
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{"still running", "Abnormal Exit: nSignal: 2."}));
    EXPECT_EQ(ReadLog().substr(ReadLog().find('\n') + 1 + 18, 8), "Error   ");
}

TEST_F(LogTest, OtherSignalsEndWithTheirNumber) {
    HandlerRun sRun = RunHandler(SIGTERM, sDir);
    ASSERT_TRUE(WIFEXITED(sRun.nStatus));
    EXPECT_EQ(WEXITSTATUS(sRun.nStatus), 15);
    EXPECT_EQ(sRun.sOutput, "\nError Termination.  Return Code: 15.");
    EXPECT_EQ(LogMessages(),
              (std::vector<std::string>{"still running", "Abnormal Exit: nSignal: 15."}));
}

int LeaveScreenForTest() { return OVWriteMessage(OVLOG_DEBUG, "screen left"); }
int FinishForTest() { return OVWriteMessage(OVLOG_DEBUG, "finished"); }

TEST_F(LogTest, ProgramEndingHasItsWordingAndRunsItsFinish) {
    static const OVSIGNALENDING sEnding = {"prog ", "Orvik prog ", true, LeaveScreenForTest,
                                           FinishForTest};
    HandlerRun sRun = RunHandler(SIGINT, sDir, &sEnding);
    EXPECT_EQ(WEXITSTATUS(sRun.nStatus), 2);
    EXPECT_EQ(sRun.sOutput, "\nOrvik prog Termination due to User Interrupt (Ctrl-c).\n");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"still running", "screen left",
                                                       "prog Abnormal Exit: nSignal: 2.",
                                                       "finished"}));
}

TEST_F(LogTest, FatalExitEndsWithTheStatus) {
    EXPECT_EXIT(OVFatalExit(12), testing::ExitedWithCode(12), "");
}

} // namespace
