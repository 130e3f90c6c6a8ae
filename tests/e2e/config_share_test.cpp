// config.ini shared by programs that are open at the same time, each in its own tmux pane
// with the same HOME and ORVIKDIR: each change reaches the file, none undoes another.
#include <gtest/gtest.h>

#include <string>

#include "test_services.h"
#include "tmux_driver.h"

namespace {

const std::string sBinDir = ORVIK_BIN_DIR;

TmuxOptions SharedOptions(const TestHome &home)
{
    TmuxOptions options;
    options.env = home.Env();
    options.sWorkDir = home.sRoot;
    return options;
}

std::string Program(const std::string &sName, const std::string &sHelp)
{
    return ShellQuote(sBinDir + "/" + sName) + " -help " + ShellQuote(sHelp);
}

}  // namespace

TEST(ConfigShare, BrowserPreferencesAndConnectionsOpenTogetherKeepEveryChange)
{
    ORVIK_REQUIRE_SSH();  // Connect logs in to the system it connects
    TestHome home;
    home.WriteFile("config.ini", "# my settings\n");
    const std::string sConfig = home.sOrvikDir + "/config.ini";

    TmuxSession browser(Program("orvikfsys", "Browse"), SharedOptions(home));
    ASSERT_TRUE(browser.WaitFor("Exit")) << browser.Capture();
    TmuxSession pref(Program("orvikpref", "Colours"), SharedOptions(home));
    ASSERT_TRUE(pref.WaitFor("Exit")) << pref.Capture();
    TmuxSession conn(Program("orvikconn", "Connections"), SharedOptions(home));
    ASSERT_TRUE(conn.WaitFor("No remote systems yet")) << conn.Capture();

    // Connections adds a system while Preferences is open.
    conn.SendKeys("Enter");
    ASSERT_TRUE(conn.WaitFor("Orvik Connections: New System")) << conn.Capture();
    for (const std::string &sValue : {std::string("web1"), SshHost(), SshPort(), SshUser()}) {
        conn.SendLiteral(sValue);
        conn.SendKeys("Tab");
    }
    conn.SendKeys("Enter");
    ASSERT_TRUE(conn.WaitFor("> web1")) << conn.Capture();
    const std::string sWeb1 = "RemoteSystem " + SshHost() + " " + SshPort() + " web1 " + SshUser();
    ASSERT_EQ(home.ReadFile("config.ini"), sWeb1 + "\n# my settings\n");

    // Preferences, which read the file before web1 was there, chooses a colour: web1 stays.
    pref.SendKeys("Tab Tab Enter");
    ASSERT_TRUE(pref.WaitFor("Magenta")) << pref.Capture();
    pref.SendKeys("Down Down Down Down Enter");
    ASSERT_TRUE(WaitForFileText(sConfig, "PanelBackgroundColor      is Blue\n"))
        << home.ReadFile("config.ini");
    EXPECT_EQ(home.ReadFile("config.ini"),
              sWeb1 + "\n# my settings\nPanelBackgroundColor      is Blue\n");

    // The browser, open since before all of it, lists "./" again and returns: it changed
    // nothing, so it writes nothing. (It goes first: once web1 is connected it lists there.)
    const std::string sBlue = home.ReadFile("config.ini");
    browser.SendKeys("Enter");
    ASSERT_TRUE(browser.WaitFor("Exit")) << browser.Capture();
    browser.SendKeys("BTab BTab Enter");
    ASSERT_TRUE(browser.WaitForExit()) << browser.Capture();
    EXPECT_EQ(browser.ExitStatus(), 0);
    EXPECT_EQ(home.ReadFile("config.ini"), sBlue);

    // Connections, which read the file before the colour was chosen, connects: Blue stays.
    conn.SendKeys("Tab Tab Tab Tab Enter");
    ASSERT_TRUE(conn.WaitFor("Connected: commands now run on " + SshUser() + "@" + SshHost(), 20000))
        << conn.Capture();
    conn.SendKeys("Enter");
    ASSERT_TRUE(WaitForFileText(sConfig, " Connected\n")) << home.ReadFile("config.ini");
    const std::string sConnected = home.ReadFile("config.ini");
    EXPECT_EQ(sConnected.rfind(sWeb1 + " LastConnect ", 0), 0u) << sConnected;
    EXPECT_NE(sConnected.find(" Connected\n# my settings\nPanelBackgroundColor      is Blue\n"),
              std::string::npos)
        << sConnected;

    pref.SendKeys("Enter");  // Return
    ASSERT_TRUE(pref.WaitForExit()) << pref.Capture();
    EXPECT_EQ(home.ReadFile("config.ini"), sConnected);
}
