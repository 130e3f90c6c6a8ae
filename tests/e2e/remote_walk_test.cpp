// A new user's road to a remote system, all from the main menu and by mouse: Connections
// enters the test sshd, pings it, finds its key trusted and connects it; the file browser and a
// report then come from that system; Disconnect brings everything back home.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "test_services.h"
#include "tmux_driver.h"

namespace {

const std::string READY = "Click selection or Tab and press Enter.";

// Clicks the last place on the screen where the text stands (buttons sit at the bottom).
// The toolkit takes at most one mouse event a second, so every click waits that long first.
bool ClickText(TmuxSession &session, const std::string &sText)
{
    for (int nRow = 24; nRow >= 1; nRow--) {
        std::string::size_type nAt = session.Line(nRow).rfind(sText);
        if (nAt == std::string::npos) continue;
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        session.Click(nRow, static_cast<int>(nAt) + 2);
        return true;
    }
    ADD_FAILURE() << "not on the screen: " << sText << "\n" << session.Capture();
    return false;
}

// Closes a message box and waits until the text it showed is gone.
void Acknowledge(TmuxSession &session, const std::string &sMessage)
{
    ASSERT_TRUE(session.WaitFor(sMessage, 20000)) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitForGone(sMessage)) << session.Capture();
}

}  // namespace

TEST(RemoteWalk, ConnectBrowseReportDisconnectFromTheMainMenu)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    TmuxOptions options;
    options.env = home.Env();
    options.env["PATH"] = std::string(ORVIK_BIN_DIR) + ":" + std::getenv("PATH");
    options.sWorkDir = home.sRoot;
    TmuxSession session(ShellQuote(std::string(ORVIK_BIN_DIR) + "/orvik") + " -f " +
                            ShellQuote(std::string(ORVIK_SOURCE_DIR) + "/share/orvik.xml") +
                            " -d " + ShellQuote(home.sOrvikDir) + " -l " +
                            ShellQuote(home.sLogFile),
                        options);
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();
    EXPECT_EQ(session.Capture().find("Disconnect"), std::string::npos);

    // Connections: enter the system, ping it, look at its key, connect it.
    ASSERT_TRUE(ClickText(session, "Connections"));
    ASSERT_TRUE(session.WaitFor("No remote systems yet")) << session.Capture();
    session.SendKeys("Enter");  // New
    ASSERT_TRUE(session.WaitFor("Orvik Connections: New System")) << session.Capture();
    for (const std::string &sValue : {std::string("testbox"), SshHost(), SshPort(), SshUser()}) {
        session.SendLiteral(sValue);
        session.SendKeys("Tab");
    }
    session.SendKeys("Enter");  // Save
    ASSERT_TRUE(session.WaitFor("> testbox")) << session.Capture();
    ASSERT_TRUE(ClickText(session, "Ping"));
    Acknowledge(session, "testbox answered at");
    // The test server's key is known already in the file its Host block names, where ssh
    // looks it up: Trust adds nothing.
    ASSERT_TRUE(ClickText(session, "Trust"));
    Acknowledge(session, "Already trusted, in ");
    ASSERT_TRUE(ClickText(session, "Connect"));
    Acknowledge(session, "Connected: commands now run on " + SshUser() + "@" + SshHost());
    ASSERT_TRUE(ClickText(session, "Return"));

    // The main menu now offers Disconnect; the browser lists the connected system.
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();
    ASSERT_TRUE(session.WaitFor("Disconnect")) << session.Capture();
    ASSERT_TRUE(ClickText(session, "File System Browser"));
    ASSERT_TRUE(session.WaitFor("Orvik Explore Filesystems: " + SshHost(), 30000))
        << session.Capture();
    ASSERT_TRUE(session.WaitFor("Directory/File Name", 30000)) << session.Capture();
    ASSERT_TRUE(ClickText(session, "Return"));
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();

    // A report from the System Information submenu comes from there too.
    ASSERT_TRUE(ClickText(session, "System Information"));
    ASSERT_TRUE(session.WaitFor("Hardware Summary")) << session.Capture();
    ASSERT_TRUE(ClickText(session, "CPU"));
    ASSERT_TRUE(session.WaitFor("Display CPU Information: " + SshHost(), 30000))
        << session.Capture();
    ASSERT_TRUE(session.WaitFor("Architecture:", 30000)) << session.Capture();
    ASSERT_TRUE(ClickText(session, "Return"));
    ASSERT_TRUE(session.WaitFor(READY)) << session.Capture();

    // Disconnect: config.ini keeps the system and its stamps, without the mark.
    ASSERT_TRUE(ClickText(session, "Disconnect"));
    ASSERT_TRUE(session.WaitForGone("Disconnect")) << session.Capture();
    std::string sConfig = home.ReadFile("config.ini");
    EXPECT_NE(sConfig.find("RemoteSystem " + SshHost() + " " + SshPort() + " testbox " +
                           SshUser() + " LastPing "),
              std::string::npos)
        << sConfig;
    EXPECT_NE(sConfig.find(" LastConnect "), std::string::npos) << sConfig;
    EXPECT_EQ(sConfig.find("Connected"), std::string::npos) << sConfig;

    ASSERT_TRUE(ClickText(session, "Exit"));
    ASSERT_TRUE(session.WaitForExit()) << session.Capture();
    EXPECT_EQ(session.ExitStatus(), 0);
    EXPECT_EQ(home.ReadLog().find("Error"), std::string::npos) << home.ReadLog();
}
