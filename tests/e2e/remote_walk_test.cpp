// A new user's road to a remote system, all from the main menu and by mouse: Connections
// enters the test sshd, pings it, finds its key trusted and connects it; the file browser and a
// report then come from that system; Disconnect brings everything back home.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "session.h"
#include "test_services.h"

namespace {

const std::string READY = "Click selection or Tab and press Enter.";

// Presses a button whose answer is a message box, closes the box and waits until the text it
// showed is gone.
void Answers(ProgramSession &run, const std::string &sButton, const std::string &sMessage)
{
    ASSERT_TRUE(run.Press(sButton));
    ASSERT_TRUE(run.WaitFor(sMessage, 20000));
    run.Screen().SendKeys("Enter");
    ASSERT_TRUE(run.Screen().WaitForGone(sMessage)) << run.Screen().Capture();
}

// A menu item whose program works on the connected system: its title names the system and
// its page shows sContent; Return goes back to the menu.
void RunsThere(ProgramSession &run, const std::string &sItem, const std::string &sTitle,
               const std::string &sContent)
{
    ASSERT_TRUE(run.Press(sItem));
    ASSERT_TRUE(run.WaitFor(sTitle + ": " + SshHost(), 30000));
    ASSERT_TRUE(run.WaitFor(sContent, 30000));
    ASSERT_TRUE(run.Press("Return"));
    ASSERT_TRUE(run.WaitFor(READY));
}

}  // namespace

TEST(RemoteWalk, ConnectBrowseReportDisconnectFromTheMainMenu)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    ProgramSetup setup = MenuSetup(home);
    setup.env["PATH"] = std::string(ORVIK_BIN_DIR) + ":" + std::getenv("PATH");
    ProgramSession run(home, setup);
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(run.WaitFor(READY));
    EXPECT_EQ(session.Capture().find("Disconnect"), std::string::npos);

    // Connections: enter the system, ping it, look at its key, connect it.
    ASSERT_TRUE(run.Press("Connections"));
    ASSERT_TRUE(run.WaitFor("No remote systems yet"));
    session.SendKeys("Enter");  // New
    ASSERT_TRUE(run.WaitFor("Orvik Connections: New System"));
    for (const std::string &sValue : {std::string("testbox"), SshHost(), SshPort(), SshUser()}) {
        session.SendLiteral(sValue);
        session.SendKeys("Tab");
    }
    session.SendKeys("Enter");  // Save
    ASSERT_TRUE(run.WaitFor("> testbox"));
    ASSERT_NO_FATAL_FAILURE(Answers(run, "Ping", "testbox answered at"));
    // The test server's key is known already in the file its Host block names, where ssh
    // looks it up: Trust adds nothing.
    ASSERT_NO_FATAL_FAILURE(Answers(run, "Trust", "Already trusted, in "));
    ASSERT_NO_FATAL_FAILURE(
        Answers(run, "Connect", "Connected: commands now run on " + SshUser() + "@" + SshHost()));
    ASSERT_TRUE(run.Press("Return"));

    // The main menu now offers Disconnect; the browser lists the connected system.
    ASSERT_TRUE(run.WaitFor(READY));
    ASSERT_TRUE(run.WaitFor("Disconnect"));
    ASSERT_NO_FATAL_FAILURE(
        RunsThere(run, "File System Browser", "Orvik Explore Filesystems", "Directory/File Name"));

    // A report from the System Information submenu comes from there too.
    ASSERT_TRUE(run.Press("System Information"));
    ASSERT_TRUE(run.WaitFor("Hardware Summary"));
    ASSERT_NO_FATAL_FAILURE(RunsThere(run, "CPU", "Display CPU Information", "Architecture:"));

    // Disconnect: config.ini keeps the system and its stamps, without the mark.
    ASSERT_TRUE(run.Press("Disconnect"));
    ASSERT_TRUE(session.WaitForGone("Disconnect")) << session.Capture();
    std::string sConfig = home.ReadFile("config.ini");
    EXPECT_NE(sConfig.find("RemoteSystem " + SshHost() + " " + SshPort() + " testbox " +
                           SshUser() + " LastPing "),
              std::string::npos)
        << sConfig;
    EXPECT_NE(sConfig.find(" LastConnect "), std::string::npos) << sConfig;
    EXPECT_EQ(sConfig.find("Connected"), std::string::npos) << sConfig;

    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(0));
    EXPECT_EQ(home.ReadLog().find("Error"), std::string::npos) << home.ReadLog();
}
