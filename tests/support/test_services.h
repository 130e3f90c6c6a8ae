/*
 * test_services.h - the OpenSSH server and the CUPS queue that scripts/test-services.sh
 * starts for the tests, found through the environment it exports:
 *   ORVIK_TEST_SSH_HOST, ORVIK_TEST_SSH_PORT, ORVIK_TEST_SSH_USER  - `ssh -p PORT USER@HOST`
 *   CUPS_SERVER                                                    - the private cupsd socket
 *   ORVIK_TEST_PRINT_OUTPUT                                        - every job is appended here
 * and beside the server, the ways to reach it and the links that go wrong:
 *   ORVIK_TEST_SSH_HOST6          - "::1": the same server, port, keys and known host name
 *   ORVIK_TEST_SSHD_LOG           - the server's log, one "Accepted publickey" line per login
 *   ORVIK_TEST_SSH_CHANGED_HOST, ORVIK_TEST_SSH_CHANGED_PORT
 *                                 - a second server that ssh looks up under the first one's
 *                                   name: it refuses it for a changed host key
 *   ORVIK_TEST_SSH_SLOW_HOST, ORVIK_TEST_SSH_SLOW_SECONDS
 *                                 - the first server (ORVIK_TEST_SSH_PORT) through a
 *                                   ProxyCommand that sleeps that long before each connection
 *   ORVIK_TEST_SSH_TMP_HOST, ORVIK_TEST_SSH_TMP_PORT, ORVIK_TEST_TMP_MARK
 *                                 - a third server, plain like the first, whose /tmp is its
 *                                   own: the mark file reads "first" there, "second" here
 *   ORVIK_TEST_DEAD_HOST, ORVIK_TEST_DEAD_PORT
 *                                 - takes no connection and refuses none: ssh's connect waits
 *                                   until its ConnectTimeout ("Connection timed out")
 *
 * A test that needs a service starts with ORVIK_REQUIRE_SSH(), ORVIK_REQUIRE_PRINT() or
 * ORVIK_REQUIRE_SSH_EXTRA(SshExtra::...): a missing variable or a service that does not behave
 * fails the test with a message saying what is wrong and how to start the services. Nothing
 * is ever skipped.
 */
#ifndef ORVIK_TEST_SERVICES_H
#define ORVIK_TEST_SERVICES_H

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

// The values of the environment ("" when unset).
std::string SshHost();
std::string SshPort();
std::string SshUser();
std::string PrintOutputFile();
std::string CupsServer();
std::string SshHost6();
std::string SshdLog();
std::string ChangedKeyHost();
std::string ChangedKeyPort();
std::string SlowHost();       // on SshPort()
int SlowSeconds();            // 0 when unset
std::string DeadHost();
std::string DeadPort();
std::string TmpHost();
std::string TmpPort();
std::string TmpMark();

// What a test needs beside the plain server.
enum class SshExtra {
  kIpv6,        // ssh -p SshPort() user@SshHost6() logs in without a prompt
  kLoginLog,    // SshdLog() is readable and holds the logins so far
  kChangedKey,  // ssh to ChangedKeyHost() is refused for a changed host key
  kSlowLink,    // SlowHost() goes through a ProxyCommand that sleeps, to the working server
  kDeadLink,    // a connect to DeadHost():DeadPort() is neither taken nor refused
  kPrivateTmp,  // TmpHost() logs in; TmpMark() reads "first" on SshHost(), "second" there
};

// "" when the service is there and answers, else what is wrong. Checked once per process and
// environment.
std::string SshServiceProblem();
std::string PrintServiceProblem();
std::string SshExtraProblem(SshExtra eExtra);

// Fail the current test (fatally) when the service is missing.
void RequireSshService();
void RequirePrintService();
void RequireSshExtra(SshExtra eExtra);

// Logins on the test server: its log's size now, and the "Accepted" lines it logged after
// byte nFrom (-1 with a test failure when the log cannot be read). Tests that run at the same
// time log in to the same server, so a count is exact only while no other test runs.
size_t SshdLogSize();
int SshLoginsSince(size_t nFrom);

// Size of the print output file now: jobs of other tests may land in it at the same time, so
// a test remembers the size before it prints and looks only at what comes after.
size_t PrintOutputSize();
// Waits until sText appears in the print output after byte nFrom; *psPrinted gets all that
// came after nFrom. False when the deadline passes first.
bool WaitForPrinted(const std::string &sText, size_t nFrom, int nMillis = 10000,
                    std::string *psPrinted = nullptr);

// The value `ssh -G HOST` gives a keyword ("identityfile", "userknownhostsfile"), "" when
// it gives none. Only the first value of a keyword that ssh prints several times.
std::string SshConfigValue(const std::string &sHost, const std::string &sKeyword);

// A Host block of the ssh client configuration for one test. ssh takes its configuration from
// the password entry's home, never from $HOME, so a test HOME cannot hold it: the block goes
// into /etc/ssh/ssh_config.d (which /etc/ssh/ssh_config includes; the tests run as root) and
// is removed again by the destructor. It applies to every ssh on the machine, so its host
// name must be the test's own. Problem() is "" when the block was written, else why not.
class SshClientBlock {
 public:
  SshClientBlock(const std::string &sHost, const std::vector<std::string> &asLines);
  ~SshClientBlock();
  SshClientBlock(const SshClientBlock &) = delete;
  SshClientBlock &operator=(const SshClientBlock &) = delete;
  const std::string &Problem() const { return m_sProblem; }

 private:
  std::string m_sPath;
  std::string m_sProblem;
};

// Fail and leave the test body when the service is missing.
#define ORVIK_REQUIRE_SSH()                                  \
  do {                                                       \
    RequireSshService();                                     \
    if (::testing::Test::HasFatalFailure()) return;          \
  } while (0)
#define ORVIK_REQUIRE_PRINT()                                \
  do {                                                       \
    RequirePrintService();                                   \
    if (::testing::Test::HasFatalFailure()) return;          \
  } while (0)
#define ORVIK_REQUIRE_SSH_EXTRA(extra)                       \
  do {                                                       \
    RequireSshExtra(extra);                                  \
    if (::testing::Test::HasFatalFailure()) return;          \
  } while (0)

#endif
