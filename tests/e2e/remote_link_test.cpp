// Remote steps on links that are slow, dead, or lead to a changed host key, and the one shared
// connection: the browser and the reports in tmux against the test sshd and its companions.
// Every wait says what it does and where, Ctrl-c cancels it, and a failed link is told in
// ssh's words.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "session.h"
#include "test_services.h"

namespace {

using Clock = std::chrono::steady_clock;

// A program of the bin folder whose config.ini has one connected system.
class RemoteProgram : public ProgramSession {
  public:
    RemoteProgram(const TestHome &home, const std::string &sHost, const std::string &sPort,
                  const std::string &sProgram, const std::string &sArguments)
        : ProgramSession(home, Setup(sHost, sPort, sProgram, sArguments)), m_sHost(sHost),
          m_sPort(sPort)
    {
    }
    // The wait line of a step: "<what> on box (<host>)... Ctrl-c cancels".
    std::string Wait(const std::string &sWhat) const
    {
        return sWhat + " on box (" + m_sHost + ")... Ctrl-c cancels";
    }
    // ssh and scp of this pane's steps still running (the master's title has no "%C").
    std::string StepsRunning() const
    {
        std::string sOut;
        RunProgram({"pgrep", "-af", "ControlPath=" + Home().sHome + "/.orvik/ssh/%C"}, &sOut);
        return sOut;
    }
    // Ends the shared connection behind the program's back, so that its next step logs in.
    void EndMaster() const
    {
        RunProgram({"ssh", "-o", "ControlPath=" + Home().sHome + "/.orvik/ssh/%C", "-O", "exit",
                    "-p", m_sPort, SshUser() + "@" + m_sHost});
    }

  private:
    static ProgramSetup Setup(const std::string &sHost, const std::string &sPort,
                              const std::string &sProgram, const std::string &sArguments)
    {
        ProgramSetup setup;
        setup.sProgram = sProgram;
        setup.sArgs = sArguments;
        setup.config = "RemoteSystem " + sHost + " " + sPort + " box " + SshUser() + " Connected\n";
        return setup;
    }

    std::string m_sHost, m_sPort;
};

const std::string sBrowser = "orvikfsys", sBrowse = "-help Browse";

}  // namespace

// The first listing waits on the slow link under its line; once the browser has a page, a
// folder listed through a new (slow) connection is cancelled with Ctrl-c: "Cancelled.", and
// the page before is back, with nothing of the step left running.
TEST(RemoteLink, SlowLinkShowsTheWaitAndCtrlCGoesBack)
{
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kSlowLink);
    TestHome home;
    RemoteProgram program(home, SlowHost(), SshPort(), sBrowser, sBrowse);
    TmuxSession &session = program.Screen();
    ASSERT_TRUE(program.WaitFor(program.Wait("Listing /"), 1500));
    ASSERT_TRUE(program.WaitFor("Directory/File Name", 30000));

    program.EndMaster();
    session.SendKeys("Down Down Down Down Enter");  // a line below ../, whatever it is
    ASSERT_TRUE(program.WaitFor("... Ctrl-c cancels"));
    session.SendKeys("C-c");
    ASSERT_TRUE(program.WaitFor("Cancelled."));
    EXPECT_EQ(program.StepsRunning(), "");
    session.SendKeys("Enter");
    ASSERT_TRUE(program.WaitFor("Directory/File Name"));
    EXPECT_NE(session.Line(4).find("./"), std::string::npos) << session.Capture();
    EXPECT_TRUE(session.IsRunning());

    // Ctrl-c on the first listing, with no page to go back to, ends the browser as Ctrl-c does.
    TestHome second;
    RemoteProgram first(second, SlowHost(), SshPort(), sBrowser, sBrowse);
    ASSERT_TRUE(first.WaitFor(first.Wait("Listing /"), 1500));
    first.Screen().SendKeys("C-c");
    EXPECT_TRUE(first.Ends(2));
    EXPECT_EQ(first.StepsRunning(), "");
}

// A system that never answers: the report's wait is given up within the connect time limit
// and a box names the system and ssh's reason; a changed host key is told in ssh's sentence.
TEST(RemoteLink, DeadLinkAndChangedKeyAreToldInSshsWords)
{
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kChangedKey);
    TestHome home;
    const auto tStart = Clock::now();
    RemoteProgram dead(home, DeadHost(), DeadPort(), "orvikdsys", "-cpu -help CPU");
    ASSERT_TRUE(dead.WaitFor(dead.Wait("Running lscpu"), 1500));
    ASSERT_TRUE(dead.WaitFor("box (" + DeadHost() + "): ", 30000));
    const auto nSeconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - tStart);
    EXPECT_GE(nSeconds.count(), 9);
    EXPECT_LE(nSeconds.count(), 20);
    EXPECT_NE(dead.Screen().Capture().find("Connection timed"), std::string::npos)
        << dead.Screen().Capture();
    dead.Screen().SendKeys("Enter");
    EXPECT_TRUE(dead.Ends(8));

    TestHome changedHome;
    RemoteProgram changed(changedHome, ChangedKeyHost(), ChangedKeyPort(), sBrowser, sBrowse);
    ASSERT_TRUE(changed.WaitFor("has changed", 20000));
    EXPECT_NE(changed.Screen().Capture().find("box (" + ChangedKeyHost() + "): Host key for"),
              std::string::npos)
        << changed.Screen().Capture();
    changed.Screen().SendKeys("Enter");
    EXPECT_TRUE(changed.Ends(8));
}

// Over IPv6 (scp needs the address in brackets), the first listing logs in once and every
// later step rides on that connection: listing "./" again and a detail page log in no more.
TEST(RemoteLink, OneLoginServesEveryStepOverIPv6)
{
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kIpv6);
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kLoginLog);
    TestHome home;
    const size_t nFrom = SshdLogSize();
    RemoteProgram program(home, SshHost6(), SshPort(), sBrowser, sBrowse);
    TmuxSession &session = program.Screen();
    ASSERT_TRUE(program.WaitFor("Directory/File Name", 20000));
    ASSERT_TRUE(program.WaitFor("../"));
    session.SendKeys("Enter");  // "./": listed again
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(program.WaitFor("Directory/File Name", 20000));
    session.SendKeys("Down Down Enter");  // the first entry after ../: its detail page
    ASSERT_TRUE(program.WaitFor("Return", 20000));
    ASSERT_TRUE(session.WaitForGone("Ctrl-c cancels", 20000)) << session.Capture();

// Only this test logs in from ::1; the others come from 127.0.0.1. sshd writes one
    // "Accepted <method> for <user> from <address>" line per login.
    std::istringstream sLog(ReadTextFile(SshdLog()).substr(nFrom));
    size_t nLogins = 0;
    for (std::string sLine; std::getline(sLog, sLine);)
        if (std::regex_search(sLine, std::regex("Accepted [a-z-]+ for \\S+ from ::1 ")))
            nLogins++;
    EXPECT_EQ(nLogins, 1u) << ReadTextFile(SshdLog()).substr(nFrom);
}
