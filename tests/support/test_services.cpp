// test_services.cpp - finds and checks the test OpenSSH server and CUPS queue.
#include "test_services.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <map>
#include <sstream>
#include <vector>

#include "tmux_driver.h"

namespace {

constexpr const char *kHowToStart =
    "\nStart the services with `ORVIK_TEST_STATE=/tmp/orvik-svc-$USER bash "
    "scripts/test-services.sh start` and `source /tmp/orvik-svc-$USER/env` "
    "(scripts/test.sh does both).";

std::string Env(const char *pszName) {
  const char *pszValue = std::getenv(pszName);
  return pszValue == nullptr ? "" : pszValue;
}

std::string MissingVariables(const std::vector<const char *> &names) {
  std::string sMissing;
  for (const char *pszName : names)
    if (Env(pszName).empty()) sMissing += std::string(sMissing.empty() ? "" : ", ") + pszName;
  return sMissing.empty() ? "" : "not set: " + sMissing;
}

std::string CheckSsh() {
  std::string sProblem = MissingVariables(
      {"ORVIK_TEST_SSH_HOST", "ORVIK_TEST_SSH_PORT", "ORVIK_TEST_SSH_USER"});
  if (!sProblem.empty()) return sProblem;
  std::string sOutput;
  int nRc = RunProgram({"ssh", "-n", "-o", "BatchMode=yes", "-o", "ConnectTimeout=5", "-p",
                        SshPort(), SshUser() + "@" + SshHost(), "echo orvik-ssh-ok"},
                       &sOutput);
  if (nRc != 0 || sOutput.find("orvik-ssh-ok") == std::string::npos)
    return "ssh -p " + SshPort() + " " + SshUser() + "@" + SshHost() +
           " does not answer without a prompt (exit " + std::to_string(nRc) + "): " + sOutput;
  return "";
}

std::string CheckPrint() {
  std::string sProblem = MissingVariables({"CUPS_SERVER", "ORVIK_TEST_PRINT_OUTPUT"});
  if (!sProblem.empty()) return sProblem;
  struct stat info;
  if (stat(CupsServer().c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
    return "CUPS_SERVER=" + CupsServer() + " is not a socket";
  if (access(PrintOutputFile().c_str(), R_OK) != 0)
    return "ORVIK_TEST_PRINT_OUTPUT=" + PrintOutputFile() + " cannot be read";
  std::string sOutput;
  int nRc = RunProgram({"lpstat", "-d"}, &sOutput);
  if (nRc != 0 || sOutput.find("system default destination:") == std::string::npos)
    return "the cupsd at " + CupsServer() + " has no default queue (lpstat -d exit " +
           std::to_string(nRc) + "): " + sOutput;
  return "";
}

// ssh -p PORT USER@HOST COMMAND without a prompt; its exit status as text.
std::string Ssh(const std::string &sPort, const std::string &sHost, const std::string &sCommand,
                std::string *psOutput) {
  return std::to_string(RunProgram({"ssh", "-n", "-o", "BatchMode=yes", "-o", "ConnectTimeout=5",
                                    "-p", sPort, SshUser() + "@" + sHost, sCommand},
                                   psOutput));
}

std::string CheckIpv6() {
  std::string sProblem =
      MissingVariables({"ORVIK_TEST_SSH_HOST6", "ORVIK_TEST_SSH_PORT", "ORVIK_TEST_SSH_USER"});
  if (!sProblem.empty()) return sProblem;
  std::string sOutput;
  std::string sRc = Ssh(SshPort(), SshHost6(), "echo orvik-ssh-ok", &sOutput);
  if (sRc != "0" || sOutput.find("orvik-ssh-ok") == std::string::npos)
    return "ssh -p " + SshPort() + " " + SshUser() + "@" + SshHost6() +
           " does not answer without a prompt (exit " + sRc + "): " + sOutput;
  return "";
}

std::string ReadFrom(const std::string &sPath, size_t nFrom, bool *pbRead) {
  std::ifstream in(sPath, std::ios::binary);
  *pbRead = static_cast<bool>(in);
  if (!in) return "";
  in.seekg(static_cast<std::streamoff>(nFrom));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "Accepted publickey for ..." (or password, keyboard-interactive): one a login. At LogLevel
// VERBOSE sshd also writes "Accepted key ... found at" twice a login, which are not counted.
int CountLogins(const std::string &sLog) {
  int nLogins = 0;
  std::istringstream lines(sLog);
  for (std::string sLine; std::getline(lines, sLine);) {
    std::istringstream words(sLine);
    std::string sAccepted, sMethod, sFor;
    if (words >> sAccepted >> sMethod >> sFor && sAccepted == "Accepted" && sFor == "for")
      nLogins++;
  }
  return nLogins;
}

std::string CheckLoginLog() {
  std::string sProblem = MissingVariables({"ORVIK_TEST_SSHD_LOG"});
  if (!sProblem.empty()) return sProblem;
  bool bRead = false;
  std::string sLog = ReadFrom(SshdLog(), 0, &bRead);
  if (!bRead) return "ORVIK_TEST_SSHD_LOG=" + SshdLog() + " cannot be read";
  // the services' start logged in to check the server
  if (CountLogins(sLog) == 0) return SshdLog() + " holds no login line (\"Accepted ... for\")";
  return "";
}

std::string CheckChangedKey() {
  std::string sProblem = MissingVariables(
      {"ORVIK_TEST_SSH_CHANGED_HOST", "ORVIK_TEST_SSH_CHANGED_PORT", "ORVIK_TEST_SSH_USER"});
  if (!sProblem.empty()) return sProblem;
  std::string sOutput;
  std::string sRc = Ssh(ChangedKeyPort(), ChangedKeyHost(), "true", &sOutput);
  if (sRc == "0") return "ssh to " + ChangedKeyHost() + " logs in: its host key is the known one";
  if (sOutput.find("has changed and you have requested strict checking") == std::string::npos)
    return "ssh to " + ChangedKeyHost() + " is not refused for a changed host key (exit " + sRc +
           "): " + sOutput;
  return "";
}

std::string CheckSlowLink() {
  std::string sProblem =
      MissingVariables({"ORVIK_TEST_SSH_SLOW_HOST", "ORVIK_TEST_SSH_SLOW_SECONDS"});
  if (!sProblem.empty()) return sProblem;
  if (SlowSeconds() <= 0) return "ORVIK_TEST_SSH_SLOW_SECONDS is no number of seconds";
  // a login through it costs its seconds: the test that needs it pays them, the check
  // looks at the server behind it and at the ProxyCommand only
  sProblem = SshServiceProblem();
  if (!sProblem.empty()) return "the server behind it: " + sProblem;
  std::string sOutput;
  RunProgram({"ssh", "-G", "-p", SshPort(), SlowHost()}, &sOutput);
  std::istringstream lines(sOutput);
  for (std::string sLine; std::getline(lines, sLine);)
    if (sLine.rfind("proxycommand ", 0) == 0 &&
        sLine.find("sleep " + std::to_string(SlowSeconds())) != std::string::npos)
      return "";
  return "ssh -G " + SlowHost() + " shows no ProxyCommand that sleeps " +
         std::to_string(SlowSeconds()) + " s";
}

// A connect that is neither taken nor refused within nMillis: "", else what happened.
std::string ConnectStaysUnanswered(const std::string &sHost, const std::string &sPort,
                                   int nMillis) {
  struct addrinfo hints {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  struct addrinfo *psAddress = nullptr;
  int nGai = getaddrinfo(sHost.c_str(), sPort.c_str(), &hints, &psAddress);
  if (nGai != 0) return sHost + " port " + sPort + ": " + gai_strerror(nGai);
  std::string sResult;
  int fd = socket(psAddress->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    sResult = std::string("socket: ") + std::strerror(errno);
  } else if (connect(fd, psAddress->ai_addr, psAddress->ai_addrlen) == 0) {
    sResult = "it takes connections";
  } else if (errno != EINPROGRESS) {
    sResult = std::string("connect: ") + std::strerror(errno);
  } else {
    struct pollfd sPoll {fd, POLLOUT, 0};
    int nReady = poll(&sPoll, 1, nMillis);
    int nError = 0;
    socklen_t nLength = sizeof nError;
    if (nReady > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &nError, &nLength) == 0)
      sResult = nError == 0 ? "it takes connections"
                            : std::string("connect: ") + std::strerror(nError);
  }
  if (fd >= 0) close(fd);
  freeaddrinfo(psAddress);
  return sResult;
}

std::string CheckDeadLink() {
  std::string sProblem = MissingVariables({"ORVIK_TEST_DEAD_HOST", "ORVIK_TEST_DEAD_PORT"});
  if (!sProblem.empty()) return sProblem;
  std::string sAnswer = ConnectStaysUnanswered(DeadHost(), DeadPort(), 300);
  if (!sAnswer.empty())
    return DeadHost() + " port " + DeadPort() + " should never answer, but " + sAnswer;
  return "";
}

// The third server answers and its /tmp is not the first one's.
std::string CheckPrivateTmp() {
  std::string sProblem =
      MissingVariables({"ORVIK_TEST_SSH_TMP_HOST", "ORVIK_TEST_SSH_TMP_PORT", "ORVIK_TEST_TMP_MARK"});
  if (!sProblem.empty()) return sProblem;
  std::string sMarks;
  for (const std::string &sHost : {SshHost(), TmpHost()}) {
    std::string sLine = "ssh -n " + sHost + " cat " + TmpMark() + " 2>&1";
    if (FILE *pPipe = popen(sLine.c_str(), "r")) {
      char szLine[256];
      if (fgets(szLine, sizeof szLine, pPipe) != nullptr) sMarks += szLine;
      pclose(pPipe);
    }
  }
  if (sMarks != "first\nsecond\n")
    return TmpMark() + " should read first on " + SshHost() + " and second on " + TmpHost() +
           ", not: " + sMarks;
  return "";
}

std::string Fail(const char *pszService, const std::string &sProblem) {
  return std::string("the test ") + pszService + " is missing: " + sProblem + kHowToStart;
}

}  // namespace

std::string SshHost() { return Env("ORVIK_TEST_SSH_HOST"); }
std::string SshPort() { return Env("ORVIK_TEST_SSH_PORT"); }
std::string SshUser() { return Env("ORVIK_TEST_SSH_USER"); }
std::string PrintOutputFile() { return Env("ORVIK_TEST_PRINT_OUTPUT"); }
std::string CupsServer() { return Env("CUPS_SERVER"); }
std::string SshHost6() { return Env("ORVIK_TEST_SSH_HOST6"); }
std::string SshdLog() { return Env("ORVIK_TEST_SSHD_LOG"); }
std::string ChangedKeyHost() { return Env("ORVIK_TEST_SSH_CHANGED_HOST"); }
std::string ChangedKeyPort() { return Env("ORVIK_TEST_SSH_CHANGED_PORT"); }
std::string SlowHost() { return Env("ORVIK_TEST_SSH_SLOW_HOST"); }
int SlowSeconds() { return std::atoi(Env("ORVIK_TEST_SSH_SLOW_SECONDS").c_str()); }
std::string DeadHost() { return Env("ORVIK_TEST_DEAD_HOST"); }
std::string DeadPort() { return Env("ORVIK_TEST_DEAD_PORT"); }
std::string TmpHost() { return Env("ORVIK_TEST_SSH_TMP_HOST"); }
std::string TmpPort() { return Env("ORVIK_TEST_SSH_TMP_PORT"); }
std::string TmpMark() { return Env("ORVIK_TEST_TMP_MARK"); }

// The checks run once per process for the same environment: ssh takes a moment.
std::string SshServiceProblem() {
  static std::map<std::string, std::string> checked;
  std::string sKey = SshHost() + "|" + SshPort() + "|" + SshUser();
  auto it = checked.find(sKey);
  if (it == checked.end()) it = checked.emplace(sKey, CheckSsh()).first;
  return it->second;
}

std::string PrintServiceProblem() {
  static std::map<std::string, std::string> checked;
  std::string sKey = CupsServer() + "|" + PrintOutputFile();
  auto it = checked.find(sKey);
  if (it == checked.end()) it = checked.emplace(sKey, CheckPrint()).first;
  return it->second;
}

std::string SshExtraProblem(SshExtra eExtra) {
  static std::map<std::string, std::string> checked;
  std::string sKey = std::to_string(static_cast<int>(eExtra)) + "|" + SshHost() + "|" + SshPort() +
                     "|" + SshUser() + "|" + SshHost6() + "|" + SshdLog() + "|" +
                     ChangedKeyHost() + "|" + ChangedKeyPort() + "|" + SlowHost() + "|" +
                     Env("ORVIK_TEST_SSH_SLOW_SECONDS") + "|" + DeadHost() + "|" + DeadPort() + "|" +
                     TmpHost() + "|" + TmpPort();
  auto it = checked.find(sKey);
  if (it != checked.end()) return it->second;
  std::string sProblem;
  switch (eExtra) {
    case SshExtra::kIpv6: sProblem = CheckIpv6(); break;
    case SshExtra::kLoginLog: sProblem = CheckLoginLog(); break;
    case SshExtra::kChangedKey: sProblem = CheckChangedKey(); break;
    case SshExtra::kSlowLink: sProblem = CheckSlowLink(); break;
    case SshExtra::kDeadLink: sProblem = CheckDeadLink(); break;
    case SshExtra::kPrivateTmp: sProblem = CheckPrivateTmp(); break;
  }
  return checked.emplace(sKey, sProblem).first->second;
}

void RequireSshService() {
  std::string sProblem = SshServiceProblem();
  if (!sProblem.empty()) GTEST_FAIL() << Fail("OpenSSH server", sProblem);
}

void RequirePrintService() {
  std::string sProblem = PrintServiceProblem();
  if (!sProblem.empty()) GTEST_FAIL() << Fail("print queue", sProblem);
}

void RequireSshExtra(SshExtra eExtra) {
  static const char *const apszName[] = {"OpenSSH server on IPv6", "OpenSSH server log",
                                         "OpenSSH server with a changed key", "slow ssh link",
                                         "address that never answers"};
  std::string sProblem = SshExtraProblem(eExtra);
  if (!sProblem.empty()) GTEST_FAIL() << Fail(apszName[static_cast<int>(eExtra)], sProblem);
}

size_t SshdLogSize() {
  struct stat info;
  if (stat(SshdLog().c_str(), &info) != 0) return 0;
  return static_cast<size_t>(info.st_size);
}

int SshLoginsSince(size_t nFrom) {
  bool bRead = false;
  std::string sLog = ReadFrom(SshdLog(), nFrom, &bRead);
  if (!bRead) {
    ADD_FAILURE() << "the test sshd's log cannot be read: ORVIK_TEST_SSHD_LOG=" << SshdLog();
    return -1;
  }
  return CountLogins(sLog);
}

size_t PrintOutputSize() {
  struct stat info;
  if (stat(PrintOutputFile().c_str(), &info) != 0) return 0;
  return static_cast<size_t>(info.st_size);
}

bool WaitForPrinted(const std::string &sText, size_t nFrom, int nMillis, std::string *psPrinted) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMillis);
  std::string sPrinted;
  for (;;) {
    std::ifstream in(PrintOutputFile(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(nFrom));
    sPrinted.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (sPrinted.find(sText) != std::string::npos) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      if (psPrinted != nullptr) *psPrinted = sPrinted;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (psPrinted != nullptr) *psPrinted = sPrinted;
  return true;
}

std::string SshConfigValue(const std::string &sHost, const std::string &sKeyword) {
  std::string sOutput;
  if (RunProgram({"ssh", "-G", sHost}, &sOutput) != 0) return "";
  std::istringstream lines(sOutput);
  for (std::string sLine; std::getline(lines, sLine);) {
    std::istringstream words(sLine);
    std::string sKey, sValue;
    if (words >> sKey >> sValue && sKey == sKeyword) return sValue;
  }
  return "";
}

SshClientBlock::SshClientBlock(const std::string &sHost, const std::vector<std::string> &asLines)
    : m_sPath("/etc/ssh/ssh_config.d/orvik-test-" + sHost + ".conf") {
  std::string sText = "# Written by an Orvik test for its own host name; removed after it.\nHost " +
                      sHost + "\n";
  for (const std::string &sLine : asLines) sText += "    " + sLine + "\n";
  int fd = open(m_sPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    m_sProblem = "cannot create " + m_sPath + ": " + std::strerror(errno) +
                 " (the tests that change ssh's configuration run as root)";
    m_sPath.clear();
    return;
  }
  if (write(fd, sText.data(), sText.size()) != static_cast<ssize_t>(sText.size()))
    m_sProblem = "cannot write " + m_sPath + ": " + std::strerror(errno);
  close(fd);
}

SshClientBlock::~SshClientBlock() {
  if (!m_sPath.empty()) unlink(m_sPath.c_str());
}
