// The test services: ssh and scp log in without a prompt, lpr lands byte for byte in the file.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

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
