// config.ini shared by programs that are open at the same time, each in its own tmux pane
// with the same HOME and ORVIKDIR: each change reaches the file, none undoes another.
#include <gtest/gtest.h>

#include <string>

#include "session.h"
#include "test_services.h"

namespace {

ProgramSetup Program(const std::string &sName, const std::string &sHelp)
{
    ProgramSetup setup;
    setup.sProgram = sName;
    setup.sArgs = "-help " + ShellQuote(sHelp);
    return setup;
}

}  // namespace

TEST(ConfigShare, BrowserPreferencesAndConnectionsOpenTogetherKeepEveryChange)
{
    ORVIK_REQUIRE_SSH();  // Connect logs in to the system it connects
    TestHome home;
    home.WriteFile("config.ini", "# my settings\n");
    const std::string sConfig = home.sOrvikDir + "/config.ini";

    ProgramSession browser(home, Program("orvikfsys", "Browse"));
    ASSERT_TRUE(browser.WaitFor("Exit"));
    ProgramSession pref(home, Program("orvikpref", "Colours"));
    ASSERT_TRUE(pref.WaitFor("Exit"));
    ProgramSession conn(home, Program("orvikconn", "Connections"));
    ASSERT_TRUE(conn.WaitFor("No remote systems yet"));

    // Connections adds a system while Preferences is open.
    conn.Screen().SendKeys("Enter");
    ASSERT_TRUE(conn.WaitFor("Orvik Connections: New System"));
    for (const std::string &sValue : {std::string("web1"), SshHost(), SshPort(), SshUser()}) {
        conn.Screen().SendLiteral(sValue);
        conn.Screen().SendKeys("Tab");
    }
    conn.Screen().SendKeys("Enter");
    ASSERT_TRUE(conn.WaitFor("> web1"));
    const std::string sWeb1 = "RemoteSystem " + SshHost() + " " + SshPort() + " web1 " + SshUser();
    ASSERT_EQ(home.ReadFile("config.ini"), sWeb1 + "\n# my settings\n");

    // Preferences, which read the file before web1 was there, chooses a colour: web1 stays.
    pref.Screen().SendKeys("Tab Tab Enter");
    ASSERT_TRUE(pref.WaitFor("Magenta"));
    pref.Screen().SendKeys("Down Down Down Down Enter");
    ASSERT_TRUE(WaitForFileText(sConfig, "PanelBackgroundColor      is Blue\n"))
        << home.ReadFile("config.ini");
    EXPECT_EQ(home.ReadFile("config.ini"),
              sWeb1 + "\n# my settings\nPanelBackgroundColor      is Blue\n");

    // The browser, open since before all of it, lists "./" again and returns: it changed
    // nothing, so it writes nothing. (It goes first: once web1 is connected it lists there.)
    const std::string sBlue = home.ReadFile("config.ini");
    browser.Screen().SendKeys("Enter");
    ASSERT_TRUE(browser.WaitFor("Exit"));
    ASSERT_TRUE(browser.Press("Return"));
    EXPECT_TRUE(browser.Ends(0));
    EXPECT_EQ(home.ReadFile("config.ini"), sBlue);

    // Connections, which read the file before the colour was chosen, connects: Blue stays.
    ASSERT_TRUE(conn.Press("Connect"));
    ASSERT_TRUE(
        conn.WaitFor("Connected: commands now run on " + SshUser() + "@" + SshHost(), 20000));
    conn.Screen().SendKeys("Enter");
    ASSERT_TRUE(WaitForFileText(sConfig, " Connected\n")) << home.ReadFile("config.ini");
    const std::string sConnected = home.ReadFile("config.ini");
    EXPECT_EQ(sConnected.rfind(sWeb1 + " LastConnect ", 0), 0u) << sConnected;
    EXPECT_NE(sConnected.find(" Connected\n# my settings\nPanelBackgroundColor      is Blue\n"),
              std::string::npos)
        << sConnected;

    ASSERT_TRUE(pref.Press("Return"));
    EXPECT_TRUE(pref.Ends(0));
    EXPECT_EQ(home.ReadFile("config.ini"), sConnected);
}
