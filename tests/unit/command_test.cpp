// Local commands, the output limit, the quoting helpers against a real /bin/sh, the shell
// runner's command lines and the remote command line for an unreachable system.
#include "services_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>


namespace {

using CommandTest = ServicesTest;

/* A loopback port on which nothing listens. */
std::string ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sAddress{};
    sAddress.sin_family = AF_INET;
    sAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&sAddress), sizeof(sAddress));
    socklen_t nLength = sizeof(sAddress);
    getsockname(fd, reinterpret_cast<sockaddr *>(&sAddress), &nLength);
    close(fd);
    return std::to_string(ntohs(sAddress.sin_port));
}

TEST_F(CommandTest, FailingCommandKeepsItsOutput) {
    char szOutput[256] = "";
    const char *pszCommand = "printf 'one\\ntwo\\nthree\\n'; exit 1";
    EXPECT_EQ(ExecuteCommand(pszCommand, szOutput, sizeof(szOutput)), 101);
    EXPECT_STREQ(szOutput, "one\ntwo\nthree\n");
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{
                                 "ExecuteCommand: Unable to close popen file.  Command: " +
                                     std::string(pszCommand) + ", rc: 256.", ""}));
}

TEST_F(CommandTest, OutputLimitCountsEachLinePlusOne) {
    char szOutput[32] = "";
    EXPECT_EQ(ExecuteCommand("printf 'abcdefghi\\n'", szOutput, 10), 100);
    EXPECT_STREQ(szOutput, "");
    EXPECT_EQ(LogMessages().at(0), "ExecuteCommand: Return workarea exceeded. Command: printf "
                                   "'abcdefghi\\n', return workarea size: 10, command size: 10.");
    EXPECT_EQ(ExecuteCommand("printf 'abc\\ndef\\n'", szOutput, 10), 0);
    EXPECT_STREQ(szOutput, "abc\ndef\n");
    szOutput[0] = '\0';
    EXPECT_EQ(ExecuteCommand("printf 'abc\\ndef\\n'", szOutput, 9), 100);
    EXPECT_STREQ(szOutput, "abc\n");
    EXPECT_NE(LogMessages().at(2).find("return workarea size: 9, command size: 9."), std::string::npos);
}

TEST_F(CommandTest, OutputIsAppendedButNeverOverflows) {
    char szOutput[16] = "12345678";
    szOutput[12] = 'G'; /* guard byte behind the room that may be used */
    EXPECT_EQ(ExecuteCommand("printf 'ab\\n'", szOutput, 12), 0);
    EXPECT_STREQ(szOutput, "12345678ab\n");
    /* The count starts at zero, but the text already there is not overwritten or overrun. */
    EXPECT_EQ(ExecuteCommand("printf 'x\\n'", szOutput, 12), 100);
    EXPECT_STREQ(szOutput, "12345678ab\n");
    EXPECT_EQ(szOutput[12], 'G');
}

TEST_F(CommandTest, NullArgumentsAndUnstartableCommands) {
    char szOutput[8] = "";
    EXPECT_EQ(ExecuteCommand(nullptr, szOutput, 8), 8);
    EXPECT_EQ(ExecuteCommand("true", nullptr, 8), 8);
    EXPECT_EQ(ExecuteCommand("/nonexistent/command 2>/dev/null", szOutput, 8), 101);
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_GE(asMessage.size(), 3u);
    EXPECT_EQ(asMessage[0], "ExecuteCommand: pszCommand NULL pointer: (nil).");
    EXPECT_EQ(asMessage[1], "ExecuteCommand: pszCOutput NULL pointer: (nil).");
    EXPECT_EQ(asMessage[2], "ExecuteCommand: Unable to close popen file.  Command: "
                            "/nonexistent/command 2>/dev/null, rc: 32512.");
}

TEST_F(CommandTest, PlainWordsStayAsTheyAre) {
    EXPECT_EQ(OVShellWord("/tmp/OrvikLibERC.12.34.Temp.txt"), "/tmp/OrvikLibERC.12.34.Temp.txt");
    EXPECT_EQ(OVShellWord("user@host:a,b+c%d=e_f-g"), "user@host:a,b+c%d=e_f-g");
    EXPECT_EQ(OVShellWord("two words"), "'two words'");
    EXPECT_EQ(OVShellWord(""), "''");
    EXPECT_EQ(OVShellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(OVShellEscapeDoubleQuoted("a\"b\\c$d`e'f"), "a\\\"b\\\\c\\$d\\`e'f");
}

TEST_F(CommandTest, HostileTextsReachTheShellIntact) {
    std::string sMarker = sDir + "/marker";
    const std::string asText[] = {
        "two  words", "it's", "say \"hi\"", "$(touch " + sMarker + ")", "`touch " + sMarker + "`",
        "a;touch " + sMarker, "a|touch " + sMarker, "first\nsecond", "back\\slash\\", "*", "~",
        "$HOME", "", "-n", "tab\there", "!bang", "'", "''", "\\'\"", "a&&b>c<d", "${x:-y}"};
    for (const std::string &sText : asText) {
        for (int nForm = 0; nForm < 3; nForm++) {
            std::string sWord = nForm == 0   ? OVShellWord(sText)
                                : nForm == 1 ? OVShellQuote(sText)
                                             : "\"" + OVShellEscapeDoubleQuoted(sText) + "\"";
            char szOutput[256] = "";
            EXPECT_EQ(ExecuteCommand(("printf %s " + sWord).c_str(), szOutput, sizeof(szOutput)), 0)
                << sWord;
            EXPECT_EQ(std::string(szOutput), sText) << "form " << nForm << ": " << sWord;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(sMarker));
}

TEST_F(CommandTest, ShellRunnerLocalLines) {
    bDebug = 1;
    std::string sFile = sDir + "/out.txt";
    int nStatus = RunShell(("Shell(printf '%s' \"it's\" > " + sFile + ")").c_str());
    EXPECT_EQ(nStatus, 0);
    EXPECT_EQ(ReadFile(sFile), "it's");
    RunShell("Shell(exit 4) and more");
    EXPECT_TRUE(LogHas("RunShell: Command line: sh -c 'exit 4'."));
    EXPECT_EQ(RunShell("Shell(exit 4)"), 4 << 8);
    /* Refused lines look like a shell that ended with 8. */
    EXPECT_EQ(RunShell(nullptr), 8 << 8);
    EXPECT_EQ(RunShell(("Shell(" + std::string(1100, 'x') + ")").c_str()), 8 << 8);
    EXPECT_EQ(PerformSystemCommand(nullptr), 8 << 8);
    EXPECT_TRUE(LogHas("RunShell: pszCommand NULL pointer: (nil)."));
    EXPECT_TRUE(LogHas("PerformSystemCommand: pszCommand NULL pointer: (nil)."));
}

TEST_F(CommandTest, ShellRunnerInteractiveWhenNoCommandsAreGiven) {
    bDebug = 1;
    std::string sInput = sDir + "/input.txt";
    WriteFile(sInput, "exit 3\n");
    std::string sOutput = sDir + "/output.txt";
    int nSavedStdin = dup(STDIN_FILENO);
    int nSavedStdout = dup(STDOUT_FILENO);
    fflush(stdout);
    int fdOut = open(sOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fdOut, STDOUT_FILENO);
    close(fdOut);
    for (const char *pszText : {"Shell", "Shell)x(", "Shell()"}) {
        int fd = open(sInput.c_str(), O_RDONLY);
        dup2(fd, STDIN_FILENO);
        close(fd);
        EXPECT_EQ(RunShell(pszText), 3 << 8) << pszText;
    }
    fflush(stdout);
    dup2(nSavedStdin, STDIN_FILENO);
    close(nSavedStdin);
    dup2(nSavedStdout, STDOUT_FILENO);
    close(nSavedStdout);
    auto Count = [](const std::string &sText, const std::string &sWanted) {
        std::size_t nCount = 0;
        for (std::size_t n = sText.find(sWanted); n != std::string::npos;
             n = sText.find(sWanted, n + 1))
            nCount++;
        return nCount;
    };
    const std::string sLine = "echo 'Type exit to return to Orvik.'; sh -i";
    EXPECT_EQ(Count(ReadLog(), "RunShell: Command line: " + sLine + "."), 3u);
    /* The user sees how to come back before the first prompt. */
    EXPECT_EQ(Count(ReadFile(sOutput), "Type exit to return to Orvik.\n"), 3u);
}

TEST_F(CommandTest, ShellRunnerRemoteLines) {
    bDebug = 1;
    std::string sPort = ClosedPort();
    REMOTESYSTEM sSystem = System("tester", "127.0.0.1", sPort);
    psConnectedSystem = &sSystem;
    EXPECT_NE(RunShell("Shell(uptime; echo 'x')"), 0);
    EXPECT_NE(RunShell("Shell"), 0);
    /* Both carry the time limits and the shared connection below HOME. */
    const std::string sOptions = "ssh -o ConnectTimeout=10 -o ServerAliveInterval=5 "
                                 "-o ServerAliveCountMax=3 -o ControlMaster=auto -o ControlPath=" +
                                 sDir + "/.orvik/ssh/%C -o ControlPersist=600 -p " + sPort;
    EXPECT_TRUE(LogHas("RunShell: Command line: clear;" + sOptions +
                       " -- tester@127.0.0.1 'uptime; echo '\\''x'\\'''."))
        << ReadLog();
    EXPECT_TRUE(LogHas("RunShell: Command line: echo 'Type exit to return to Orvik.'; " +
                       sOptions + " -- tester@127.0.0.1."));

    /* A HOME too deep for a socket name (ssh binds the path plus 17 characters first) keeps
       its sockets in a private folder of the user's in /tmp instead. */
    const std::string sDeep = sDir + "/" + std::string(40, 'h');
    std::filesystem::create_directory(sDeep);
    setenv("HOME", sDeep.c_str(), 1);
    REMOTESYSTEM sOther = System("deep", "127.0.0.1", sPort);
    psConnectedSystem = &sOther;
    EXPECT_NE(RunShell("Shell"), 0);
    const std::string sTmpFolder = "/tmp/orvik-ssh-" + std::to_string(geteuid());
    EXPECT_TRUE(LogHas("-o ControlPath=" + sTmpFolder + "/%C -o ControlPersist=600 -p " + sPort +
                       " -- deep@127.0.0.1."))
        << ReadLog();
    struct stat sFolder;
    ASSERT_EQ(lstat(sTmpFolder.c_str(), &sFolder), 0);
    EXPECT_EQ(sFolder.st_mode & 07777, 0700u);
}

TEST_F(CommandTest, SystemCommandClearsTheScreenFirst) {
    testing::internal::CaptureStdout();
    int nStatus = PerformSystemCommand("printf done; exit 3");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\x1b[2Jdone");
    EXPECT_EQ(nStatus, 3 << 8);
}

TEST_F(CommandTest, RemoteLineForOrdinaryInputAndUnreachableSystem) {
    bDebug = 1;
    std::string sPort = ClosedPort();
    REMOTESYSTEM sSystem = System("tester", "127.0.0.1", sPort);
    char szOutput[512] = "previous text";
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "sudo ls -l /tmp", szOutput, sizeof(szOutput), nullptr,
                                   nullptr),
              101);
    EXPECT_STREQ(szOutput, "Command failed. Refer to log file: OrvikLog.txt for more information.\n");
    std::string sLog = ReadLog();
    /* ssh's own reason is logged (and shown in a box on a terminal). */
    EXPECT_NE(sLog.find("OVRunRemoteStep:  (127.0.0.1): connect to host 127.0.0.1 port " +
                        sPort + ": Connection refused"),
              std::string::npos)
        << sLog;
    /* The line: the command into a private folder, its output back by scp, its errors and
       the folder's removal by a last ssh; each connection with its time limits and the
       shared connection; a failed link ends it with ssh's 255. */
    const std::string sPrefix = "/tmp/Orvik." + std::to_string(getpid()) + ".";
    const std::string::size_type nFolder = sLog.find(sPrefix);
    ASSERT_NE(nFolder, std::string::npos) << sLog;
    const std::string D = sLog.substr(nFolder, sPrefix.size() + 16);
    EXPECT_EQ(D.find_first_not_of("0123456789abcdef", sPrefix.size()), std::string::npos) << D;
    const std::string sOptions = " -o ConnectTimeout=10 -o ServerAliveInterval=5 "
                                 "-o ServerAliveCountMax=3 -o ControlMaster=auto -o ControlPath=" +
                                 sDir + "/.orvik/ssh/%C -o ControlPersist=600";
    const std::string sSsh = "ssh" + sOptions + " -p " + sPort;
    const std::string sScp = "scp" + sOptions + " -P " + sPort;
    const std::string sLine =
        sSsh + " -o LogLevel=ERROR -t -- tester@127.0.0.1 \"mkdir -m 700 " + D + " || exit 1; { { sudo ls -l /tmp; } " +
        "2>&1 >&3 3>&- | head -c 67108865 > " + D + "/err 3>&-; } 3>&1 | head -c 67108865 > " + D +
        "/out\"; [ $? = 255 ] && exit 255; " + sScp +
        " -q -- tester@127.0.0.1:" + D + "/out ";
    EXPECT_NE(sLog.find("OVRunRemoteStep: starting: sLine: " + sLine), std::string::npos) << sLog;
    EXPECT_NE(sLog.find(sSsh + " -o LogLevel=ERROR -n -- tester@127.0.0.1 \"test ! -L " + D +
                        " && test -O " + D + " && { cat " + D + "/err; rm -rf " + D + "; }\" > "),
              std::string::npos)
        << sLog;

    /* A command that asks no password: one session, ssh's messages in the step's file. */
    WriteFile(sLogFile, "");
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "ls -l /tmp", szOutput, sizeof(szOutput), nullptr,
                                   nullptr),
              101);
    sLog = ReadLog();
    EXPECT_NE(sLog.find("OVRunRemoteStep: starting: sLine: " + sSsh + " -o LogLevel=ERROR -E "
                        "\"$OVSSHLOG\" -n -- tester@127.0.0.1 \"{ { ls -l /tmp; } 2>&1 >&3 3>&- | head -c "
                        "67108865 >&2 3>&-; } 3>&1 | head -c 67108865\" > /tmp/OrvikLibERC."),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("Connection refused"), std::string::npos) << sLog;
}

TEST_F(CommandTest, RemoteCallerFilesAreLeftToTheCaller) {
    REMOTESYSTEM sSystem = System("tester", "127.0.0.1", ClosedPort());
    char szOutput[64] = "";
    std::string sOut = sDir + "/out.txt", sErr = sDir + "/err.txt";
    /* The link failed: said, and not passed off as success. */
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "ls", szOutput, sizeof(szOutput), sOut.c_str(),
                                   sErr.c_str()),
              101);
    EXPECT_STREQ(szOutput, "");
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "ls", szOutput, sizeof(szOutput), sOut.c_str(), nullptr), 8);
}

TEST_F(CommandTest, RemoteRefusals) {
    char szOutput[64] = "";
    REMOTESYSTEM sSystem = System("tester", "127.0.0.1", "22");
    EXPECT_EQ(ExecuteRemoteCommand(nullptr, "ls", szOutput, 64, nullptr, nullptr), 8);
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, nullptr, szOutput, 64, nullptr, nullptr), 8);
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, "ls", nullptr, 64, nullptr, nullptr), 8);
    EXPECT_EQ(ExecuteRemoteCommand(&sSystem, std::string(4000, 'x').c_str(), szOutput, 64, nullptr,
                                   nullptr),
              8);
    REMOTESYSTEM sOption = System("-oProxyCommand=x", "127.0.0.1", "22");
    EXPECT_EQ(ExecuteRemoteCommand(&sOption, "ls", szOutput, 64, nullptr, nullptr), 8);
    std::vector<std::string> asMessage = LogMessages();
    ASSERT_GE(asMessage.size(), 5u);
    EXPECT_EQ(asMessage[0], "ExecuteRemoteCommand: psRemoteSystem NULL pointer: (nil).");
    EXPECT_EQ(asMessage[1], "ExecuteRemoteCommand: pszCommand NULL pointer: (nil).");
    EXPECT_EQ(asMessage[2], "ExecuteRemoteCommand: pszCOutput NULL pointer: (nil).");
    EXPECT_EQ(asMessage[3].rfind("ExecuteRemoteCommand: Command line of ", 0), 0u);
    EXPECT_NE(asMessage[3].find("is longer than 4095"), std::string::npos);
    EXPECT_TRUE(LogHas("may not begin with '-'"));
}

} // namespace
