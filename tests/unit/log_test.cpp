// The message log: line format, labels, the message limit, the log path, memory dumps and
// the interrupt handler.
#include "services_fixture.h"

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pty.h>
#include <regex>
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

/* Runs the handler in a child whose standard input is a pseudo-terminal with echo and
   canonical input off; returns the exit status, what it printed and the terminal's modes. */
struct HandlerRun {
    int nStatus;
    std::string sOutput;
    tcflag_t nLocalModes;
};

HandlerRun RunHandler(int nSignal, const std::string &sDir) {
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
        OVSignalHandler(nSignal);
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
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"Abnormal Exit: nSignal: 2."});
    EXPECT_EQ(ReadLog().substr(18, 8), "Error   ");
}

TEST_F(LogTest, OtherSignalsEndWithTheirNumber) {
    HandlerRun sRun = RunHandler(SIGTERM, sDir);
    ASSERT_TRUE(WIFEXITED(sRun.nStatus));
    EXPECT_EQ(WEXITSTATUS(sRun.nStatus), 15);
    EXPECT_EQ(sRun.sOutput, "\nError Termination.  Return Code: 15.");
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"Abnormal Exit: nSignal: 15."});
}

TEST_F(LogTest, FatalExitEndsWithTheStatus) {
    EXPECT_EXIT(OVFatalExit(12), testing::ExitedWithCode(12), "");
}

} // namespace
