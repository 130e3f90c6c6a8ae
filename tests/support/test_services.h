/*
 * test_services.h - the OpenSSH server and the CUPS queue that scripts/test-services.sh
 * starts for the tests, found through the environment it exports:
 *   ORVIK_TEST_SSH_HOST, ORVIK_TEST_SSH_PORT, ORVIK_TEST_SSH_USER  - `ssh -p PORT USER@HOST`
 *   CUPS_SERVER                                                    - the private cupsd socket
 *   ORVIK_TEST_PRINT_OUTPUT                                        - every job is appended here
 *
 * A test that needs a service starts with ORVIK_REQUIRE_SSH() or ORVIK_REQUIRE_PRINT(): a
 * missing variable or a service that does not answer fails the test with a message saying
 * what is wrong and how to start the services. Nothing is ever skipped.
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

// "" when the service is there and answers, else what is wrong. Checked once per process and
// environment.
std::string SshServiceProblem();
std::string PrintServiceProblem();

// Fail the current test (fatally) when the service is missing.
void RequireSshService();
void RequirePrintService();

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

#endif
