// test_services.cpp - finds and checks the test OpenSSH server and CUPS queue.
#include "test_services.h"

#include <fcntl.h>
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

std::string Fail(const char *pszService, const std::string &sProblem) {
  return std::string("the test ") + pszService + " is missing: " + sProblem + kHowToStart;
}

}  // namespace

std::string SshHost() { return Env("ORVIK_TEST_SSH_HOST"); }
std::string SshPort() { return Env("ORVIK_TEST_SSH_PORT"); }
std::string SshUser() { return Env("ORVIK_TEST_SSH_USER"); }
std::string PrintOutputFile() { return Env("ORVIK_TEST_PRINT_OUTPUT"); }
std::string CupsServer() { return Env("CUPS_SERVER"); }

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

void RequireSshService() {
  std::string sProblem = SshServiceProblem();
  if (!sProblem.empty()) GTEST_FAIL() << Fail("OpenSSH server", sProblem);
}

void RequirePrintService() {
  std::string sProblem = PrintServiceProblem();
  if (!sProblem.empty()) GTEST_FAIL() << Fail("print queue", sProblem);
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
