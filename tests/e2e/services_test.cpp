// The test services: ssh and scp log in without a prompt (by host alias and on ::1), every
// login is a line in the server's log, the links that go wrong fail as ssh says they do, and
// lpr lands byte for byte in the file.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "test_services.h"
#include "tmux_driver.h"

namespace {

std::string UniqueToken() {
  return std::to_string(getpid()) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char *pszName, const char *pszValue) : m_pszName(pszName) {
    const char *pszOld = std::getenv(pszName);
    m_bHadValue = pszOld != nullptr;
    if (m_bHadValue) m_sOld = pszOld;
    if (pszValue == nullptr)
      unsetenv(pszName);
    else
      setenv(pszName, pszValue, 1);
  }
  ~ScopedEnv() {
    if (m_bHadValue)
      setenv(m_pszName, m_sOld.c_str(), 1);
    else
      unsetenv(m_pszName);
  }

 private:
  const char *m_pszName;
  std::string m_sOld;
  bool m_bHadValue = false;
};

std::string SshTarget() { return SshUser() + "@" + SshHost(); }

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(SshService, RunsACommandAndReturnsItsOutput) {
  ORVIK_REQUIRE_SSH();
  std::string sOutput;
  // the form the programs use: ssh user@host -p port command
  int nRc = RunProgram({"ssh", SshTarget(), "-p", SshPort(), "echo remote-$((6 * 7)); id -un"},
                       &sOutput);
  EXPECT_EQ(nRc, 0) << sOutput;
  EXPECT_EQ(sOutput, "remote-42\n" + SshUser() + "\n");
}

TEST(SshService, LogsInWithoutAPromptInATerminal) {
  ORVIK_REQUIRE_SSH();
  TmuxSession session("ssh -q -t " + ShellQuote(SshTarget()) + " -p " + ShellQuote(SshPort()) +
                      " 'echo remote-$((6 * 7)); tty'");
  // a password or host key question would keep the command waiting
  ASSERT_TRUE(session.WaitForExit(20000)) << session.Capture();
  EXPECT_EQ(session.ExitStatus(), 0);
  EXPECT_EQ(session.Line(1), "remote-42");
  EXPECT_NE(session.Line(2).find("/dev/pts/"), std::string::npos) << session.Capture();
}

TEST(SshService, ScpCopiesAFileBackByteForByte) {
  ORVIK_REQUIRE_SSH();
  TestHome home;
  // the remote side has a /tmp of its own, so the file is made and removed over ssh
  std::string sRemote = "/tmp/orvik-scp-" + UniqueToken() + ".bin";
  std::string sLocal = home.sOrvikDir + "/copy.bin";
  std::string sBytes = "first line\n" + UniqueToken() + std::string("\0\r\n\xff\x7f end", 10);
  std::string sOutput;
  ASSERT_EQ(RunProgram({"ssh", SshTarget(), "-p", SshPort(), "cat > " + ShellQuote(sRemote)},
                       &sOutput, sBytes),
            0)
      << sOutput;

  ASSERT_EQ(RunProgram({"scp", "-q", "-P", SshPort(), SshTarget() + ":" + sRemote,
                        sLocal},
                       &sOutput),
            0)
      << sOutput;
  EXPECT_EQ(home.ReadFile("copy.bin"), sBytes);
  RunProgram({"ssh", SshTarget(), "-p", SshPort(), "rm -f " + ShellQuote(sRemote)}, &sOutput);
}

TEST(SshService, Ipv6ReachesTheSameServerUnderTheSameKnownName) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kIpv6);
  const std::string sTarget = SshUser() + "@" + SshHost6();
  std::string sOutput;
  // the programs' form; the server sees the client coming from ::1 to its own port
  ASSERT_EQ(RunProgram({"ssh", sTarget, "-p", SshPort(), "echo $SSH_CONNECTION"}, &sOutput), 0)
      << sOutput;
  EXPECT_EQ(sOutput.rfind("::1 ", 0), 0u) << sOutput;
  EXPECT_NE(sOutput.find(" ::1 " + SshPort() + "\n"), std::string::npos) << sOutput;
  // where the connections program looks the key up: the name and file of the host alias
  std::string sResolved;
  ASSERT_EQ(RunProgram({"ssh", "-G", "-p", SshPort(), "--", sTarget}, &sResolved), 0);
  EXPECT_NE(sResolved.find("\nhostkeyalias " + SshHost() + "\n"), std::string::npos) << sResolved;
  EXPECT_NE(sResolved.find("\nuserknownhostsfile " +
                           SshConfigValue(SshHost(), "userknownhostsfile") + "\n"),
            std::string::npos)
      << sResolved;

  // scp wants the address in brackets, both ways
  const std::string sBracketed = SshUser() + "@[" + SshHost6() + "]";
  TestHome home;
  std::string sRemote = "/tmp/orvik-scp6-" + UniqueToken() + ".txt";
  std::string sBytes = "over ::1 " + UniqueToken() + "\n";
  home.WriteFile("out.txt", sBytes);
  ASSERT_EQ(RunProgram({"scp", "-q", "-P", SshPort(), home.sOrvikDir + "/out.txt",
                        sBracketed + ":" + sRemote},
                       &sOutput),
            0)
      << sOutput;
  ASSERT_EQ(RunProgram({"scp", "-q", "-P", SshPort(), sBracketed + ":" + sRemote,
                        home.sOrvikDir + "/back.txt"},
                       &sOutput),
            0)
      << sOutput;
  EXPECT_EQ(home.ReadFile("back.txt"), sBytes);
  RunProgram({"ssh", sTarget, "-p", SshPort(), "rm -f " + ShellQuote(sRemote)}, &sOutput);
}

TEST(SshService, EachLoginIsOneLineInTheServersLog) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kLoginLog);
  ORVIK_REQUIRE_SSH();
  size_t nFrom = SshdLogSize();
  std::string sOutput;
  for (int i = 0; i < 2; i++)
    ASSERT_EQ(RunProgram({"ssh", "-n", "-p", SshPort(), SshTarget(), "true"}, &sOutput), 0)
        << sOutput;
  // sshd writes the line before it runs the command; other tests may log in meanwhile, so
  // only the lower bound is exact
  EXPECT_GE(SshLoginsSince(nFrom), 2);
  EXPECT_EQ(SshLoginsSince(SshdLogSize()), 0);
}

TEST(SshService, ChangedKeyServerIsRefusedByTheKeyAlone) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kChangedKey);
  const std::string sTarget = SshUser() + "@" + ChangedKeyHost();
  std::string sOutput;
  EXPECT_EQ(RunProgram({"ssh", "-n", sTarget, "-p", ChangedKeyPort(), "true"}, &sOutput), 255);
  EXPECT_NE(sOutput.find("Host key for " + SshHost() +
                         " has changed and you have requested strict checking."),
            std::string::npos)
      << sOutput;
  // a working server otherwise: with no key known for it, it lets the same user in
  EXPECT_EQ(RunProgram({"ssh", "-n", "-o", "StrictHostKeyChecking=no", "-o",
                        "UserKnownHostsFile=/dev/null", "-o", "LogLevel=ERROR", sTarget, "-p",
                        ChangedKeyPort(), "echo changed-ok"},
                       &sOutput),
            0);
  EXPECT_EQ(sOutput, "changed-ok\n");
}

TEST(SshService, SlowLinkTakesItsSecondsForEachConnection) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kSlowLink);
  std::string sOutput;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunProgram({"ssh", "-n", SshUser() + "@" + SlowHost(), "-p", SshPort(), "echo slow-ok"},
                       &sOutput),
            0)
      << sOutput;
  double nSeconds = SecondsSince(start);
  EXPECT_EQ(sOutput, "slow-ok\n");
  EXPECT_GE(nSeconds, SlowSeconds());
  EXPECT_LT(nSeconds, SlowSeconds() + 10);
}

TEST(SshService, DeadLinkEndsOnlyByTheConnectTimeout) {
  ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
  // two at once: the address keeps never answering, it is not used up by the first
  struct Attempt {
    int nRc = 0;
    double nSeconds = 0;
    std::string sOutput;
  } asAttempt[2];
  auto Try = [](Attempt *psAttempt) {
    auto start = std::chrono::steady_clock::now();
    psAttempt->nRc = RunProgram({"ssh", "-n", "-o", "BatchMode=yes", "-o", "ConnectTimeout=2",
                                 SshUser() + "@" + DeadHost(), "-p", DeadPort(), "true"},
                                &psAttempt->sOutput);
    psAttempt->nSeconds = SecondsSince(start);
  };
  std::thread other(Try, &asAttempt[1]);
  Try(&asAttempt[0]);
  other.join();
  for (const Attempt &sAttempt : asAttempt) {
    EXPECT_EQ(sAttempt.nRc, 255) << sAttempt.sOutput;
    EXPECT_NE(sAttempt.sOutput.find("port " + DeadPort() + ": Connection timed out"),
              std::string::npos)
        << sAttempt.sOutput;
    EXPECT_GE(sAttempt.nSeconds, 1.9);
    EXPECT_LT(sAttempt.nSeconds, 4.5);
  }
}

TEST(PrintService, LprDeliversAJobByteForByte) {
  ORVIK_REQUIRE_PRINT();
  size_t nFrom = PrintOutputSize();
  // other tests print into the same file, so each job carries a token of its own
  std::string sJob = "Memory " + UniqueToken() + "\n\na\nb\n\n";
  std::string sOutput;
  ASSERT_EQ(RunProgram({"lpr"}, &sOutput, sJob), 0) << sOutput;
  std::string sPrinted;
  EXPECT_TRUE(WaitForPrinted(sJob, nFrom, 15000, &sPrinted)) << "printed so far: " << sPrinted;
}

TEST(PrintService, LprOfAFileKeepsEveryByte) {
  ORVIK_REQUIRE_PRINT();
  TestHome home;
  std::string sJob = "token " + UniqueToken() + std::string("\n\0\x1b[1m\xff\r\n\f", 10) + "end\n";
  home.WriteFile("job.txt", sJob);
  size_t nFrom = PrintOutputSize();
  std::string sOutput;
  ASSERT_EQ(RunProgram({"lpr", home.sOrvikDir + "/job.txt"}, &sOutput), 0) << sOutput;
  std::string sPrinted;
  EXPECT_TRUE(WaitForPrinted(sJob, nFrom, 15000, &sPrinted)) << "printed so far: " << sPrinted;
}

TEST(ServiceChecks, MissingOrDeadServicesFailWithAClearMessage) {
  {
    ScopedEnv host("ORVIK_TEST_SSH_HOST", nullptr);
    ScopedEnv user("ORVIK_TEST_SSH_USER", nullptr);
    EXPECT_NE(SshServiceProblem().find("ORVIK_TEST_SSH_HOST, ORVIK_TEST_SSH_USER"),
              std::string::npos) << SshServiceProblem();
    EXPECT_FATAL_FAILURE(RequireSshService(), "not set: ORVIK_TEST_SSH_HOST");
  }
  {
    // a port where nothing listens
    ScopedEnv host("ORVIK_TEST_SSH_HOST", "127.0.0.1");
    ScopedEnv port("ORVIK_TEST_SSH_PORT", "1");
    ScopedEnv user("ORVIK_TEST_SSH_USER", "nobody");
    EXPECT_FATAL_FAILURE(RequireSshService(), "does not answer without a prompt");
  }
  {
    ScopedEnv server("CUPS_SERVER", "/nonexistent/cups.sock");
    ScopedEnv output("ORVIK_TEST_PRINT_OUTPUT", "/nonexistent/output");
    EXPECT_FATAL_FAILURE(RequirePrintService(), "is not a socket");
  }
  {
    ScopedEnv output("ORVIK_TEST_PRINT_OUTPUT", nullptr);
    EXPECT_FATAL_FAILURE(RequirePrintService(), "not set: ORVIK_TEST_PRINT_OUTPUT");
  }
}

TEST(ServiceChecks, ExtrasThatDoNotBehaveFailWithAClearMessage) {
  {
    ScopedEnv host6("ORVIK_TEST_SSH_HOST6", nullptr);
    ScopedEnv changed("ORVIK_TEST_SSH_CHANGED_PORT", nullptr);
    ScopedEnv slow("ORVIK_TEST_SSH_SLOW_SECONDS", nullptr);
    ScopedEnv dead("ORVIK_TEST_DEAD_HOST", nullptr);
    ScopedEnv log("ORVIK_TEST_SSHD_LOG", nullptr);
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kIpv6), "not set: ORVIK_TEST_SSH_HOST6");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kChangedKey),
                         "not set: ORVIK_TEST_SSH_CHANGED_PORT");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kSlowLink),
                         "not set: ORVIK_TEST_SSH_SLOW_SECONDS");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kDeadLink), "not set: ORVIK_TEST_DEAD_HOST");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kLoginLog), "not set: ORVIK_TEST_SSHD_LOG");
  }
  ORVIK_REQUIRE_SSH();
  {
    // the first server in the place of the second: its key is the known one
    ScopedEnv host("ORVIK_TEST_SSH_CHANGED_HOST", SshHost().c_str());
    ScopedEnv port("ORVIK_TEST_SSH_CHANGED_PORT", SshPort().c_str());
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kChangedKey), "its host key is the known one");
  }
  {
    ScopedEnv host("ORVIK_TEST_SSH_SLOW_HOST", SshHost().c_str());
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kSlowLink), "shows no ProxyCommand that sleeps");
  }
  {
    // a port that refuses, and one that answers, are no dead link
    ScopedEnv host("ORVIK_TEST_DEAD_HOST", "127.0.0.1");
    ScopedEnv port("ORVIK_TEST_DEAD_PORT", "1");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kDeadLink), "Connection refused");
  }
  {
    std::string sSshPort = SshPort();
    ScopedEnv host("ORVIK_TEST_DEAD_HOST", "127.0.0.1");
    ScopedEnv port("ORVIK_TEST_DEAD_PORT", sSshPort.c_str());
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kDeadLink), "it takes connections");
  }
  {
    ScopedEnv log("ORVIK_TEST_SSHD_LOG", "/nonexistent/sshd.log");
    EXPECT_FATAL_FAILURE(RequireSshExtra(SshExtra::kLoginLog), "cannot be read");
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(SshLoginsSince(0), -1), "cannot be read");
  }
}
