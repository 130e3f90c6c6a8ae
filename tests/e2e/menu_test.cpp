// The main menu program driven in tmux: its screen, keys, mouse, children and endings.
#include "session.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string ORVIK = std::string(ORVIK_BIN_DIR) + "/orvik";
const std::string READY = "Click selection or Tab and press Enter.";
const std::string HINT = "A letter jumps to its item, / filter.";
// The item of the long menu's submenu: wider than the 30 columns of an item.
const std::string INNER = "Inner item whose title is wider than its column";

std::string Trimmed(std::string sText)
{
    while (!sText.empty() && (sText.back() == '\n' || sText.back() == ' '))
        sText.pop_back();
    return sText;
}

std::string Item(const std::string &sTitle, const std::string &sInvoke,
                 const std::string &sInner = "")
{
    return "<MenuItem><Title>" + sTitle + "</Title><Invoke>" + sInvoke + "</Invoke>" + sInner +
           "</MenuItem>\n";
}

std::string Help(const std::string &sText) { return "<Help>" + sText + "</Help>"; }

std::string EscapeXml(const std::string &sText)
{
    std::string sOut;
    for (char c : sText) {
        if (c == '&') sOut += "&amp;";
        else if (c == '<') sOut += "&lt;";
        else if (c == '>') sOut += "&gt;";
        else sOut += c;
    }
    return sOut;
}

class MenuE2E : public ::testing::Test {
protected:
    // The menu file of most tests: a submenu with its own help item, children that record
    // their environment (whole files only, by renaming) or exit with a chosen status, and an
    // htop item.
    std::string StandardMenu() const
    {
        return "<Menu>\n" +
               Item("Tools", "SubMenu",
                    Help("About tools") + Item("Disk", "true") +
                        Item("Help", "Help", Help("Tools help text"))) +
               Item("Environment", "sh -c 'env > " + home.sRoot + "/env.tmp; mv " + home.sRoot +
                                           "/env.tmp " + home.sRoot + "/env.txt' sh") +
               Item("Fail", "sh -c 'exit 1' sh") + Item("Quit", "sh -c 'exit 9' sh") +
               Item("Top", "htop") + "</Menu>\n";
    }

    std::string WriteMenu(const std::string &sXml, const std::string &sName = "menu.xml") const
    {
        std::string sPath = home.sRoot + "/" + sName;
        std::ofstream(sPath) << sXml;
        return sPath;
    }

    ProgramSetup Setup(const std::string &sMenuFile, int nColumns = 80, int nRows = 24) const
    {
        ProgramSetup sSetup;
        sSetup.sProgram = "orvik";
        sSetup.sArgs = "-f " + ShellQuote(sMenuFile) + " -d " + ShellQuote(home.sOrvikDir) +
                       " -l " + ShellQuote(home.sLogFile);
        sSetup.nColumns = nColumns;
        sSetup.nRows = nRows;
        return sSetup;
    }

    std::unique_ptr<ProgramSession> Start(const std::string &sXml, int nColumns = 80,
                                          int nRows = 24)
    {
        auto psMenu = std::make_unique<ProgramSession>(home, Setup(WriteMenu(sXml), nColumns, nRows));
        EXPECT_TRUE(psMenu->WaitFor(READY)) << home.ReadLog();
        return psMenu;
    }

    // Sixty items "Item 01" .. "Item 60"; each one run leaves the file ran-NN. Item 20 is a
    // submenu instead, with one item of its own.
    std::string LongMenu() const
    {
        std::string sXml = "<Menu>\n";
        for (int i = 1; i <= 60; i++) {
            char szNumber[8];
            std::snprintf(szNumber, sizeof szNumber, "%02d", i);
            if (i == 20)
                sXml += Item("Sub 20", "SubMenu", Item(INNER, "true"));
            else
                sXml += Item(std::string("Item ") + szNumber,
                             "sh -c 'touch " + home.sRoot + "/ran-" + szNumber + "' sh");
        }
        return sXml + "</Menu>\n";
    }

    // The names of the ran-NN files, in order.
    std::vector<std::string> ItemsRun() const
    {
        std::vector<std::string> asRun;
        for (const auto &sEntry : fs::directory_iterator(home.sRoot))
            if (sEntry.path().filename().string().rfind("ran-", 0) == 0)
                asRun.push_back(sEntry.path().filename().string());
        std::sort(asRun.begin(), asRun.end());
        return asRun;
    }

    // The cursor stands on the item drawn at nRow in the item column.
    static bool CursorOnItem(const TmuxSession &sMenu, int nRow, const std::string &sItem)
    {
        return PollUntil([&] { return sMenu.Cursor() == std::make_pair(nRow, 25); }) &&
               ColumnOf(sMenu, nRow, sItem) == 25;
    }

    TestHome home;
};

class MenuScreenSize : public MenuE2E, public ::testing::WithParamInterface<std::pair<int, int>> {};

} // namespace

TEST_P(MenuScreenSize, TitleAreaItemsAndBottomLineArePlacedByTheTerminalSize)
{
    auto [nColumns, nRows] = GetParam();
    auto psMenu = Start(StandardMenu(), nColumns, nRows);
    TmuxSession &sMenu = psMenu->Screen();

    EXPECT_EQ(ColumnOf(sMenu, 1, "Orvik Terminal Manager"), (nColumns - 22) / 2);
    EXPECT_EQ(ColumnOf(sMenu, 2, "Network Version"), (nColumns - 15) / 2);
    EXPECT_EQ(ColumnOf(sMenu, 1, "ID:"), nColumns - 12);   // "ID: %-8s", trailing blanks not captured
    // Where the terminal has no login name (this test's tmux has none), the user id's name.
    const char *pszLogin = getlogin();
    const std::string sUser = pszLogin != nullptr ? pszLogin : getpwuid(geteuid())->pw_name;
    EXPECT_EQ(ColumnOf(sMenu, 1, "ID: " + sUser), nColumns - 12) << sMenu.Line(1);

    std::time_t nNow = std::time(nullptr);
    char szDate[16];
    std::strftime(szDate, sizeof szDate, "%m/%d/%Y", std::localtime(&nNow));
    EXPECT_EQ(ColumnOf(sMenu, 2, szDate), nColumns - 12) << sMenu.Capture();
    std::string sTime = sMenu.Line(3).substr(nColumns - 13);
    EXPECT_EQ(sTime.size(), 8u);
    EXPECT_EQ(sTime[2], ':');
    EXPECT_EQ(sTime[5], ':');

    std::string sName, sNode, sRelease, sVersion;
    RunProgram({"uname", "-s"}, &sName);
    RunProgram({"uname", "-n"}, &sNode);
    RunProgram({"uname", "-r"}, &sRelease);
    RunProgram({"uname", "-v"}, &sVersion);
    std::string sKernel = Trimmed(sName) + " " + sVersion.substr(0, sVersion.find(' '));
    EXPECT_EQ(sMenu.Line(1).rfind(sKernel, 0), 0u) << sMenu.Line(1);
    EXPECT_EQ(sMenu.Line(2).rfind(Trimmed(sRelease), 0), 0u) << sMenu.Line(2);
    EXPECT_EQ(sMenu.Line(3).rfind(Trimmed(sNode), 0), 0u) << sMenu.Line(3);

    const int nMenuColumn = (nColumns - 30) / 2;
    const char *apszItems[] = {"Tools", "Environment", "Fail", "Quit", "Top"};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(ColumnOf(sMenu, 4 + i, apszItems[i]), nMenuColumn) << apszItems[i];
    EXPECT_EQ(ColumnOf(sMenu, nRows - 4, READY), (nColumns - 39) / 2);
    EXPECT_EQ(sMenu.Cell(nRows - 4, (nColumns - 39) / 2).nForeground, 2);
    EXPECT_EQ(ColumnOf(sMenu, nRows - 2, "Exit  Help"), nMenuColumn) << sMenu.Capture();
    EXPECT_EQ(sMenu.Cursor(), std::make_pair(4, nMenuColumn));
}

TEST_P(MenuScreenSize, ClickChoosesAnEntryIncludingItsTrailingBlankButNotTheGap)
{
    auto [nColumns, nRows] = GetParam();
    auto psMenu = Start(StandardMenu(), nColumns, nRows);
    TmuxSession &sMenu = psMenu->Screen();
    const int nMenuColumn = (nColumns - 30) / 2;

    sMenu.Click(nRows - 2, nMenuColumn + 5);   // between "Exit " and "Help "
    std::string sMissed = "Orvik Process_Menu: Mouse Event. Did not find Selection.  "
                          "sCharInput.nRow: " + std::to_string(nRows - 2) +
                          ", sCharInput.nColumn: " + std::to_string(nMenuColumn + 5) + ".";
    EXPECT_TRUE(psMenu->WaitForLog(sMissed)) << home.ReadLog();
    EXPECT_TRUE(sMenu.IsRunning());

    sMenu.Click(nRows - 2, nMenuColumn + 4);   // the blank that ends "Exit "
    EXPECT_TRUE(psMenu->Ends(0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, MenuScreenSize,
                         ::testing::Values(std::make_pair(80, 24), std::make_pair(120, 40)),
                         [](const auto &info) {
                             return std::to_string(info.param.first) + "x" +
                                    std::to_string(info.param.second);
                         });

TEST_F(MenuE2E, TabAndArrowsMoveThroughItemsAndBottomLineAndWrap)
{
    auto psMenu = Start(StandardMenu());
    TmuxSession &sMenu = psMenu->Screen();
    const int nMenuColumn = 25;
    auto Moved = [&](const char *pszKey, int nRow, int nColumn) {
        sMenu.SendKeys(pszKey);
        return PollUntil([&] { return sMenu.Cursor() == std::make_pair(nRow, nColumn); });
    };
    EXPECT_TRUE(Moved("Tab", 5, nMenuColumn));
    EXPECT_TRUE(Moved("Down", 6, nMenuColumn));
    EXPECT_TRUE(Moved("Right", 7, nMenuColumn));
    EXPECT_TRUE(Moved("Up", 6, nMenuColumn));
    EXPECT_TRUE(Moved("Left", 5, nMenuColumn));
    EXPECT_TRUE(Moved("BTab", 4, nMenuColumn));
    EXPECT_TRUE(Moved("BTab", 22, nMenuColumn + 6));   // from the first entry to "Help "
    EXPECT_TRUE(Moved("Up", 22, nMenuColumn));         // "Exit "
    EXPECT_TRUE(Moved("Tab", 22, nMenuColumn + 6));
    EXPECT_TRUE(Moved("Tab", 4, nMenuColumn));         // and round again
}

TEST_F(MenuE2E, SubmenuShowsItsItemsAndHelpAndReturnGoesBack)
{
    auto psMenu = Start(StandardMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 2, "Tools"), (80 - 5) / 2);
    EXPECT_EQ(ColumnOf(sMenu, 4, "Disk"), 25);
    EXPECT_EQ(sMenu.Capture().find("Environment"), std::string::npos);
    EXPECT_EQ(sMenu.Capture().find("Help  "), sMenu.Capture().find("Help  Exit"))
        << "the help item is not listed";

    sMenu.SendKeys("BTab BTab Enter");   // Disk -> Exit -> Help
    ASSERT_TRUE(sMenu.WaitFor("Tools help text")) << sMenu.Capture();
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitForGone("Tools help text"));
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit"));

    // The box leaves the cursor on Help, the entry that opened it.
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(22, 25 + 8); }));
    sMenu.SendKeys("BTab Enter");        // Return
    ASSERT_TRUE(sMenu.WaitFor("Network Version")) << sMenu.Capture();
    EXPECT_TRUE(sMenu.WaitFor("Environment"));
    EXPECT_TRUE(sMenu.WaitFor("Exit  Help"));

    sMenu.SendKeys("Enter");                     // into Tools, then its extra Exit
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    ASSERT_TRUE(psMenu->Press("Exit"));
    EXPECT_TRUE(psMenu->Ends(0));
    EXPECT_EQ(home.ReadLog().find("Error"), std::string::npos) << home.ReadLog();
}

TEST_F(MenuE2E, NestedSubmenusListEveryItemAndReturnToTheirParent)
{
    auto psMenu = Start("<Menu>\n" +
                        Item("System", "SubMenu",
                             Item("Hardware", "SubMenu", Item("Disks", "true") + Item("Memory", "true")) +
                                 Item("Uptime", "true")) +
                        Item("Clock", "true") + "</Menu>\n");
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendKeys("Enter");                       // System
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    // The item after the nested submenu is listed in the submenu that contains it.
    EXPECT_EQ(ColumnOf(sMenu, 4, "Hardware"), 25) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Uptime"), 25) << sMenu.Capture();
    sMenu.SendKeys("Enter");                       // Hardware
    ASSERT_TRUE(sMenu.WaitFor("Memory")) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 2, "Hardware"), (80 - 8) / 2);
    EXPECT_EQ(sMenu.Capture().find("Uptime"), std::string::npos);
    sMenu.SendKeys("BTab BTab BTab Enter");        // Disks -> Exit -> Help -> Return
    ASSERT_TRUE(sMenu.WaitFor("Uptime")) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 2, "System"), (80 - 6) / 2) << sMenu.Capture();
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(4, 25); }));
    sMenu.SendKeys("BTab BTab BTab Enter");        // Hardware -> Exit -> Help -> Return
    ASSERT_TRUE(sMenu.WaitFor("Network Version")) << sMenu.Capture();
    EXPECT_TRUE(sMenu.WaitFor("Clock"));
}

TEST_F(MenuE2E, HelpEntryWithoutHelpItemShowsTheNoHelpBox)
{
    auto psMenu = Start(StandardMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendKeys("BTab Enter");
    ASSERT_TRUE(sMenu.WaitFor("No Help is available")) << sMenu.Capture();
    sMenu.SendKeys("x");
    ASSERT_TRUE(sMenu.WaitFor(READY));
    EXPECT_TRUE(sMenu.WaitForGone("No Help is available"));
    EXPECT_TRUE(sMenu.IsRunning());
}

// No item starts with x; the main menu has no menu for Escape to go back to.
TEST_F(MenuE2E, KeyWithoutMeaningRingsTheBell)
{
    for (const char *pszKey : {"x", "Escape"}) {
        auto psMenu = Start(StandardMenu());
        TmuxSession &sMenu = psMenu->Screen();
        ASSERT_EQ(sMenu.Query("#{window_bell_flag}"), "0");
        sMenu.SendKeys(pszKey);
        EXPECT_TRUE(PollUntil([&] { return sMenu.Query("#{window_bell_flag}") == "1"; })) << pszKey;
        EXPECT_TRUE(sMenu.IsRunning());
    }
}

TEST_F(MenuE2E, ChildrenInheritTheSwitchesThatCtrlDAndCtrlUSet)
{
    // The caller's switches must not reach the children.
    ProgramSetup sSetup = Setup(WriteMenu(StandardMenu()));
    sSetup.env["ORVIKDEBUG"] = "Yes";
    sSetup.env["ORVIKDUMP"] = "Yes";
    ProgramSession sRun(home, sSetup);
    TmuxSession &sMenu = sRun.Screen();
    ASSERT_TRUE(sMenu.WaitFor(READY)) << home.ReadLog();
    const std::string sEnvFile = home.sRoot + "/env.txt";
    // The first run moves to the item; the menu keeps it current for the later runs.
    auto RunEnvironmentItem = [&](const char *pszKeys = "Enter") {
        fs::remove(sEnvFile);
        sMenu.SendKeys(pszKeys);
        EXPECT_TRUE(PollUntil([&] { return fs::exists(sEnvFile) && sMenu.WaitFor(READY, 100); }));
        return ReadTextFile(sEnvFile);
    };

    std::string sEnv = RunEnvironmentItem("Tab Enter");
    EXPECT_EQ(sEnv.find("ORVIKDEBUG"), std::string::npos) << sEnv;
    EXPECT_EQ(sEnv.find("ORVIKDUMP"), std::string::npos) << sEnv;
    EXPECT_NE(sEnv.find("ORVIKDIR=" + home.sOrvikDir + "\n"), std::string::npos) << sEnv;
    EXPECT_NE(sEnv.find("ORVIKLOGFILE=" + home.sLogFile + "\n"), std::string::npos) << sEnv;

    sMenu.SendKeys("C-d");
    sMenu.SendKeys("C-u");
    sEnv = RunEnvironmentItem();
    EXPECT_NE(sEnv.find("ORVIKDEBUG=Yes\n"), std::string::npos) << sEnv;
    EXPECT_NE(sEnv.find("ORVIKDUMP=Yes\n"), std::string::npos) << sEnv;
    std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find("Orvik Process_Menu. ORVIKDEBUG set to: Yes."), std::string::npos) << sLog;
    EXPECT_NE(sLog.find("Orvik Process_Menu. ORVIKDUMP set to: Yes."), std::string::npos) << sLog;

    sMenu.SendKeys("C-d");
    sEnv = RunEnvironmentItem();
    EXPECT_NE(sEnv.find("ORVIKDEBUG=No\n"), std::string::npos) << sEnv;
    EXPECT_NE(sEnv.find("ORVIKDUMP=Yes\n"), std::string::npos) << sEnv;
}

// A child that fails without saying why on the screen gets a red box from the menu, once; a
// child that ends with 8 (it said why itself), 2 or 130 (Ctrl-c) does not.
TEST_F(MenuE2E, FailingChildIsSaidInABoxOnceAndExitingChildEndsTheMenu)
{
    auto psMenu = Start("<Menu>\n" + Item("Fail", "sh -c 'exit 1' sh") +
                        Item("Missing", "orvik-no-such-command") +
                        Item("Says", EscapeXml("sh -c 'echo first complaint >&2; echo second >&2; exit 4' sh")) +
                        Item("Shown", "sh -c 'exit 8' sh") +
                        Item("Interrupted", "sh -c 'exit 130' sh") +
                        Item("Quit", "sh -c 'exit 9' sh") + "</Menu>\n");
    TmuxSession &sMenu = psMenu->Screen();
    // The box is red, on row 11 of a 24-row screen, and waits for a key.
    auto ExpectBox = [&](const std::string &sKeys, const std::string &sText) {
        sMenu.SendKeys(sKeys);
        ASSERT_TRUE(psMenu->FailureBox(sText));
        EXPECT_EQ(ColumnOf(sMenu, 11, sText), 4) << sMenu.Capture();
        EXPECT_EQ(sMenu.Cell(8, 3).nBackground, 1) << sMenu.Capture();
        EXPECT_FALSE(sMenu.WaitFor(READY, 300));
        sMenu.SendKeys("Enter");
        ASSERT_TRUE(sMenu.WaitFor(READY)) << sMenu.Capture();
    };
    ExpectBox("Enter", "Fail ended with status 1.");
    std::string sLog = home.ReadLog();
    EXPECT_EQ(CountOf(sLog, "Error   "), 1) << sLog;
    EXPECT_NE(sLog.find("Error   Orvik Process_Selection: Failure in call to "
                        "sh -c 'exit 1' sh -help \"No Help, nRc: 1.\n"),
              std::string::npos)
        << sLog;

    // The menu comes back on the item that ran: each Tab goes on to the next one.
    ExpectBox("Tab Enter", "Missing: command not found: orvik-no-such-command");
    ExpectBox("Tab Enter", "Says ended with status 4: first complaint");

    // Said already, or interrupted by the user: logged, back to the menu without a box.
    for (int i = 0; i < 2; i++) {
        const int nFailures = CountOf(home.ReadLog(), "Failure in call to");
        sMenu.SendKeys("Tab Enter");
        ASSERT_TRUE(PollUntil([&] {
            return CountOf(home.ReadLog(), "Failure in call to") == nFailures + 1;
        })) << home.ReadLog();
        ASSERT_TRUE(sMenu.WaitFor(READY)) << sMenu.Capture();
        EXPECT_EQ(sMenu.Capture().find("ended with status"), std::string::npos) << sMenu.Capture();
        EXPECT_TRUE(sMenu.IsRunning());
    }

    sMenu.SendKeys("Tab Enter");         // Quit
    EXPECT_TRUE(psMenu->Ends(0));
}

// A menu file that libxml2 cannot read to its end: the items before the fault are shown,
// after a red box naming the file and the line of the fault.
TEST_F(MenuE2E, MalformedMenuFileIsNamedWithItsLineInABox)
{
    const std::string sMenuFile =
        WriteMenu("<Menu>\n" + Item("Before", "true") + "<MenuItem>\n<Title>Files & more</Title>\n"
                  "</MenuItem>\n</Menu>\n", "broken.xml");
    ProgramSession sRun(home, Setup(sMenuFile, 120));
    TmuxSession &sMenu = sRun.Screen();
    const std::string sBox = "Menu file " + sMenuFile + ", line 4: xmlParseEntityRef: no name";
    ASSERT_TRUE(sMenu.WaitFor(sBox)) << sMenu.Capture();
    EXPECT_EQ(sMenu.Capture().find(READY), std::string::npos);
    EXPECT_NE(home.ReadLog().find("Orvik Initialize: XML File " + sMenuFile + ", line 4: "),
              std::string::npos) << home.ReadLog();
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor(READY)) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 4, "Before"), 45) << sMenu.Capture();
    ASSERT_TRUE(sRun.Press("Exit"));
    EXPECT_TRUE(sRun.Ends(0));
}

TEST_F(MenuE2E, HelpTextWithQuotesAndCommandsReachesTheChildIntact)
{
    const std::string sHelp = "Say \"hi\"; $(touch " + home.sRoot + "/ran1) `touch " +
                              home.sRoot + "/ran2` \\ $HOME & 'quoted'";
    const std::string sArgFile = home.sRoot + "/arg.txt";
    // Relative names keep the action within the 127 characters an Invoke text holds; the
    // session runs in the home's root.
    ProgramSession sRun(home, Setup(WriteMenu(
                                  "<Menu>" +
                                  Item("Record", "sh -c 'printf %s \"$2\" > arg.tmp; mv arg.tmp arg.txt' sh",
                                       Help(EscapeXml(sHelp))) +
                                  "</Menu>")));
    TmuxSession &sMenu = sRun.Screen();
    ASSERT_TRUE(sMenu.WaitFor(READY)) << home.ReadLog();
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(PollUntil([&] { return fs::exists(sArgFile) && sMenu.WaitFor(READY, 100); }));
    EXPECT_EQ(ReadTextFile(sArgFile), sHelp);
    EXPECT_FALSE(fs::exists(home.sRoot + "/ran1"));
    EXPECT_FALSE(fs::exists(home.sRoot + "/ran2"));
    EXPECT_EQ(home.ReadLog().find("Error"), std::string::npos) << home.ReadLog();
}

TEST_F(MenuE2E, DisconnectRewritesTheConfigurationAndShowsHtopAgain)
{
    home.WriteFile("config.ini", "RemoteSystem 10.1.2.3 22 web admin LastPing 20260101 Connected\n"
                                 "PanelForegroundColor is White\n");
    auto psMenu = Start(StandardMenu());
    TmuxSession &sMenu = psMenu->Screen();
    EXPECT_EQ(ColumnOf(sMenu, 2, "Network Version: 10.1.2.3"), (80 - 25) / 2) << sMenu.Capture();
    EXPECT_NE(sMenu.Line(22).find("Exit  Help  Disconnect"), std::string::npos) << sMenu.Capture();
    EXPECT_EQ(sMenu.Capture().find("Top"), std::string::npos) << "htop is hidden while connected";

    sMenu.SendKeys("BTab Enter");        // the last entry: Disconnect
    ASSERT_TRUE(sMenu.WaitForGone("10.1.2.3")) << sMenu.Capture();
    ASSERT_TRUE(sMenu.WaitFor("Top"));
    EXPECT_EQ(sMenu.Line(22).find("Disconnect"), std::string::npos);
    // Only the connected line changes; the line the menu did not touch stays as written.
    EXPECT_EQ(home.ReadFile("config.ini"), "RemoteSystem 10.1.2.3 22 web admin LastPing 20260101\n"
                                           "PanelForegroundColor is White\n");
}

TEST_F(MenuE2E, MainMenuWithNothingToShowEndsWithALoggedError)
{
    home.WriteFile("config.ini", "RemoteSystem 10.1.2.3 22 web admin Connected\n");
    ProgramSession sRun(home, Setup(WriteMenu("<Menu>" + Item("Top", "htop") + "</Menu>")));
    EXPECT_TRUE(sRun.Ends(0));
    EXPECT_NE(home.ReadLog().find("Error   orvik Process_Menu: No Menu Items to show"),
              std::string::npos)
        << home.ReadLog();
}

TEST_F(MenuE2E, CtrlCRestoresTheTerminalAndEndsWithStatusTwo)
{
    const std::string sStatus = home.sRoot + "/status.txt";
    const std::string sStty = home.sRoot + "/stty.txt";
    // The pane's shell records the menu's status and the terminal's modes after it.
    ProgramSetup sSetup = Setup(WriteMenu(StandardMenu()));
    sSetup.sBefore = "trap : INT; ";       // the shell outlives the interrupt
    sSetup.sArgs += "; echo $? > " + sStatus + "; stty -a > " + sStty;
    ProgramSession sRun(home, sSetup);
    TmuxSession &sMenu = sRun.Screen();
    ASSERT_TRUE(sMenu.WaitFor(READY)) << home.ReadLog();
    sMenu.SendKeys("C-c");
    EXPECT_TRUE(sRun.Ends(0)) << "stty's status";
    EXPECT_EQ(Trimmed(ReadTextFile(sStatus)), "2");
    EXPECT_TRUE(sMenu.WaitFor("Orvik Terminal Manager Termination due to User Interrupt (Ctrl-c)."));
    std::string sModes = ReadTextFile(sStty);
    EXPECT_NE(sModes.find(" icanon"), std::string::npos) << sModes;
    EXPECT_NE(sModes.find(" echo "), std::string::npos) << sModes;
    EXPECT_EQ(sModes.find("-icanon"), std::string::npos) << sModes;
    EXPECT_NE(home.ReadLog().find("Error   Orvik Abnormal Exit: nSignal: 2."), std::string::npos);
}

TEST_F(MenuE2E, OptionValueIsComparedWithTheLaterWordsToo)
{
    // "-f debug" names the menu file debug and switches debugging on as well.
    WriteMenu("<Menu>" + Item("FromDebugFile", "true") + "</Menu>", "debug");
    ProgramSetup sSetup = Setup("");
    sSetup.sArgs = "-D " + ShellQuote(home.sOrvikDir) + " -L " + ShellQuote(home.sLogFile) + " -F debug";
    ProgramSession sRun(home, sSetup);
    TmuxSession &sMenu = sRun.Screen();
    ASSERT_TRUE(sMenu.WaitFor("FromDebugFile")) << home.ReadLog();
    std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find("Debug   Debugging has been set."), std::string::npos) << sLog;
    EXPECT_NE(sLog.find("Orvik: XML Filename set to debug."), std::string::npos) << sLog;
    EXPECT_NE(sLog.find("Orvik: Menu Structure:"), std::string::npos) << sLog;
    ASSERT_TRUE(sRun.Press("Exit"));
    EXPECT_TRUE(sRun.Ends(0));
}

TEST_F(MenuE2E, HelpArgumentPrintsTheHelpTextAndEndsWithStatusZero)
{
    std::string sOutput;
    EXPECT_EQ(RunProgram({ORVIK, "-l", home.sLogFile, "HELP", "debug"}, &sOutput), 0);
    EXPECT_EQ(sOutput, "\nOrvik  provides the following runtime options:\n\n"
                       "       -f filename: Will use filename specified as XML File.\n"
                       "       help:        Will provide this help information.\n"
                       "       debug:       Will provide diagnosic information\n\n");
    EXPECT_EQ(home.ReadLog().find("Debugging has been set."), std::string::npos);
}

// Every way the start can fail says so on standard error, names the log and ends with 8;
// "help" stays an ordinary ending.
TEST_F(MenuE2E, FailedStartUpSaysWhyAndEndsWithEight)
{
    std::string sMissing = home.sRoot + "/missing.xml";
    std::string sOutput;
    EXPECT_EQ(RunProgram({ORVIK, "-f", sMissing, "-l", home.sLogFile}, &sOutput), 8);
    EXPECT_EQ(sOutput, "orvik: no menu items in " + sMissing + "; see the log " + home.sLogFile +
                           "\n");
    std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find("Orvik Initialize: Unable to open XML File " + sMissing + ".  Return: 0."),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("Orvik Initialize: No Menu Items found for XML File " + sMissing + "."),
              std::string::npos)
        << sLog;

    // A configuration that does not load, and a configuration folder that cannot be written.
    std::string sMenu = std::string(ORVIK_SOURCE_DIR) + "/share/orvik.xml";
    home.WriteFile("bad/config.ini", "PanelAttribute is Sparkling\n");
    EXPECT_EQ(RunProgram({ORVIK, "-f", sMenu, "-d", home.sOrvikDir + "/bad", "-l", home.sLogFile},
                         &sOutput),
              8);
    // The loader's own sentence, not a guess at the cause.
    EXPECT_EQ(sOutput, "orvik: Configuration " + home.sOrvikDir +
                           "/bad/config.ini not loaded: PanelAttribute statement has invalid "
                           "attribute specified: Sparkling; see the log " + home.sLogFile + "\n");
    EXPECT_EQ(RunProgram({ORVIK, "-f", sMenu, "-d", home.sOrvikDir + "/absent", "-l",
                          home.sLogFile},
                         &sOutput),
              8);
    EXPECT_NE(sOutput.find("orvik: Configuration " + home.sOrvikDir + "/absent/config.ini not "
                           "loaded: Unable to create or update configuration file"),
              std::string::npos) << sOutput;

    // A log path that would have to be cut is refused and the default kept.
    std::string sLongLog = "/tmp/" + std::string(300, 'l');
    EXPECT_EQ(RunProgram({"env", "-u", "ORVIKLOGFILE", ORVIK, "-f", sMissing, "-l", sLongLog},
                         &sOutput),
              8);
    EXPECT_EQ(sOutput, "orvik: no menu items in " + sMissing + "; see the log /tmp/OrvikLog.txt\n");

    EXPECT_EQ(RunProgram({ORVIK, "help"}, &sOutput), 0);
}

// A level longer than the screen scrolls between the title area and the instruction line;
// the bottom line stays where it is and a click acts only on what is drawn where it lands.
TEST_F(MenuE2E, LongMenuScrollsAndClicksActOnlyOnDrawnItems)
{
    auto psMenu = Start(LongMenu());
    TmuxSession &sMenu = psMenu->Screen();
    const int nMenuColumn = 25;
    auto CursorOn = [&](int nRow) {
        return PollUntil([&] { return sMenu.Cursor() == std::make_pair(nRow, nMenuColumn); });
    };
    auto ExpectFrame = [&] {
        EXPECT_EQ(ColumnOf(sMenu, 20, READY), 20) << sMenu.Capture();
        EXPECT_EQ(sMenu.Line(22), std::string(24, ' ') + "Exit  Help") << sMenu.Capture();
        EXPECT_EQ(sMenu.Line(21), std::string(20, ' ') + HINT);
        EXPECT_EQ(sMenu.Line(23), "");
    };

    // Fourteen items in rows 5-18, the markers in rows 4 and 19.
    EXPECT_EQ(sMenu.Line(4), "") << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Item 01"), nMenuColumn);
    EXPECT_EQ(ColumnOf(sMenu, 18, "Item 14"), nMenuColumn);
    EXPECT_EQ(ColumnOf(sMenu, 19, "  v more below"), nMenuColumn);
    EXPECT_EQ(sMenu.Capture().find("Item 15"), std::string::npos);
    ExpectFrame();
    EXPECT_TRUE(CursorOn(5));

    // The current item is in reverse of the Menu Item colours; moving draws the old one back.
    CellStyle sPlain = sMenu.Cell(6, nMenuColumn);
    EXPECT_TRUE(sMenu.Cell(5, nMenuColumn).bReverse);
    EXPECT_FALSE(sPlain.bReverse);
    EXPECT_EQ(sPlain.nForeground, 7);
    EXPECT_EQ(sPlain.nBackground, 4);
    sMenu.SendKeys("Down");
    ASSERT_TRUE(CursorOn(6));
    EXPECT_FALSE(sMenu.Cell(5, nMenuColumn).bReverse);
    EXPECT_TRUE(sMenu.Cell(6, nMenuColumn + 29).bReverse) << "the whole column is reversed";

    sMenu.SendKeys("End");
    ASSERT_TRUE(sMenu.WaitFor("Item 60")) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 18, "Item 60"), nMenuColumn) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Item 47"), nMenuColumn);
    EXPECT_EQ(ColumnOf(sMenu, 4, "  ^ more above"), nMenuColumn);
    EXPECT_EQ(sMenu.Line(19), "");
    EXPECT_TRUE(CursorOn(18));
    EXPECT_TRUE(sMenu.Cell(18, nMenuColumn).bReverse);
    ExpectFrame();

    // Tab from the last item goes to the bottom line without scrolling; Home goes to the top.
    sMenu.SendKeys("Tab");
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(22, nMenuColumn); }));
    EXPECT_TRUE(sMenu.Cell(22, nMenuColumn).bReverse);
    EXPECT_FALSE(sMenu.Cell(18, nMenuColumn).bReverse);
    sMenu.SendKeys("Home");
    ASSERT_TRUE(sMenu.WaitFor("Item 01"));
    EXPECT_TRUE(CursorOn(5));
    EXPECT_FALSE(sMenu.Cell(22, nMenuColumn).bReverse);
    sMenu.SendKeys("End");
    ASSERT_TRUE(sMenu.WaitFor("Item 60"));

    // A click on row 10 runs the item drawn there, Item 52, and nothing else; the menu comes
    // back on it, scrolled as it was.
    sMenu.Click(10, nMenuColumn + 3);
    ASSERT_TRUE(PollUntil([&] { return !ItemsRun().empty(); }));
    ASSERT_TRUE(sMenu.WaitFor(READY));
    EXPECT_EQ(ItemsRun(), std::vector<std::string>{"ran-52"});
    EXPECT_TRUE(CursorOn(10)) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 10, "Item 52"), nMenuColumn);
    EXPECT_TRUE(sMenu.Cell(10, nMenuColumn).bReverse);

    // A click on the upper marker scrolls a page up and runs nothing.
    sMenu.Click(4, nMenuColumn + 4);
    ASSERT_TRUE(PollUntil([&] { return ColumnOf(sMenu, 5, "Item 33") == nMenuColumn; }))
        << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 19, "  v more below"), nMenuColumn);
    EXPECT_EQ(ItemsRun(), std::vector<std::string>{"ran-52"});
    ExpectFrame();

    // The bottom line is clicked where it is drawn: Exit ends the menu.
    sMenu.Click(22, nMenuColumn + 1);
    EXPECT_TRUE(psMenu->Ends(0));
    EXPECT_EQ(ItemsRun(), std::vector<std::string>{"ran-52"});
}

// Every change of size lays the whole screen out again on the same current item, shown;
// below 80x24 there is only the notice, and clicks there choose nothing.
TEST_F(MenuE2E, ResizeKeepsTheCurrentItemShownAtEverySize)
{
    auto psMenu = Start(LongMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendKeys("End Up");
    ASSERT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(17, 25); }));

    // 132x43: 35 item rows, 33 items between the markers; the window moves no more than it
    // must, so Item 59 stays where the end of the list puts it.
    sMenu.Resize(132, 43);
    ASSERT_TRUE(PollUntil([&] { return ColumnOf(sMenu, 41, "Exit  Help") == 51; }))
        << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 39, READY), (132 - 39) / 2);
    EXPECT_EQ(ColumnOf(sMenu, 1, "ID:"), 132 - 12);
    EXPECT_EQ(ColumnOf(sMenu, 37, "Item 60"), 51) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Item 28"), 51);
    EXPECT_EQ(ColumnOf(sMenu, 4, "  ^ more above"), 51);
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(36, 51); }));
    EXPECT_TRUE(sMenu.Cell(36, 51).bReverse);
    EXPECT_EQ(sMenu.Capture().find("Item 27"), std::string::npos);

    // 40x12: the notice alone; a click where an entry was chooses nothing.
    sMenu.Resize(40, 12);
    ASSERT_TRUE(sMenu.WaitFor("Terminal too small: 40x12.")) << sMenu.Capture();
    EXPECT_EQ(sMenu.Capture().find("Item"), std::string::npos) << sMenu.Capture();
    sMenu.Click(10, 25);
    sMenu.Click(6, 15);
    EXPECT_FALSE(sMenu.WaitForGone("Terminal too small", 1500));

    // Back at 80x24 the window again moves only as far as it must: Item 59 in its last row.
    sMenu.Resize(80, 24);
    ASSERT_TRUE(sMenu.WaitFor(READY)) << sMenu.Capture();
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(18, 25); }))
        << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 18, "Item 59"), 25) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Item 46"), 25);
    EXPECT_EQ(ColumnOf(sMenu, 19, "  v more below"), 25);
    EXPECT_TRUE(sMenu.Cell(18, 25).bReverse);
    EXPECT_EQ(sMenu.Line(22), std::string(24, ' ') + "Exit  Help");
    EXPECT_TRUE(ItemsRun().empty());

    sMenu.SendKeys("Enter");
    ASSERT_TRUE(PollUntil([&] { return ItemsRun() == std::vector<std::string>{"ran-59"}; }));
    EXPECT_TRUE(sMenu.IsRunning());
}

// A level started at 40x12 shows the notice first, and the menu once there is room; a level
// that fits at the new size shows every item from row 4, without markers.
TEST_F(MenuE2E, MenuStartedTooSmallAppearsWhenTheTerminalGrows)
{
    ProgramSession sRun(home, Setup(WriteMenu(StandardMenu()), 40, 12));
    TmuxSession &sMenu = sRun.Screen();
    ASSERT_TRUE(sMenu.WaitFor("Terminal too small: 40x12.")) << sMenu.Capture();
    EXPECT_TRUE(sMenu.WaitFor("Orvik needs at least 80x24."));
    sMenu.Resize(132, 43);
    ASSERT_TRUE(sMenu.WaitFor(READY)) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 4, "Tools"), 51);
    EXPECT_EQ(ColumnOf(sMenu, 8, "Top"), 51);
    EXPECT_EQ(sMenu.Capture().find("more"), std::string::npos);
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(4, 51); }));
    EXPECT_TRUE(sMenu.Cell(4, 51).bReverse);
}

// Leaving a submenu puts the cursor back on the submenu's item, scrolled as before; the
// submenu itself opens on its first item each time.
TEST_F(MenuE2E, ReturnFromASubmenuComesBackToItsItem)
{
    auto psMenu = Start(LongMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendKeys("End");
    ASSERT_TRUE(sMenu.WaitFor("Item 60"));
    for (int i = 0; i < 40; i++)
        sMenu.SendKeys("Up");   // Item 60 -> Sub 20, the window follows the cursor
    ASSERT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(5, 25); }))
        << sMenu.Capture();
    ASSERT_EQ(ColumnOf(sMenu, 5, "Sub 20"), 25) << sMenu.Capture();

    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    // A title wider than the item column is cut to it, and says so.
    EXPECT_EQ(sMenu.Line(4), std::string(24, ' ') + INNER.substr(0, 29) + "~") << sMenu.Capture();
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(4, 25); }));
    sMenu.SendKeys("Tab");   // to Return, which the submenu must forget
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(22, 25); }));
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor("Network Version")) << sMenu.Capture();
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(5, 25); }))
        << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 5, "Sub 20"), 25) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 18, "Item 33"), 25);
    EXPECT_TRUE(sMenu.Cell(5, 25).bReverse);

    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    EXPECT_TRUE(PollUntil([&] { return sMenu.Cursor() == std::make_pair(4, 25); }));
    EXPECT_TRUE(sMenu.Cell(4, 25).bReverse);
}

TEST_F(MenuE2E, UsageOptionPrintsTheUsageBeforeAnythingElse)
{
    for (const char *pszOption : {"--help", "-h"}) {
        std::string sOutput;
        EXPECT_EQ(RunProgram({ORVIK, "-l", home.sLogFile, "debug", pszOption, "-f",
                              home.sRoot + "/missing.xml"},
                             &sOutput),
                  0);
        EXPECT_EQ(sOutput.rfind("Usage: orvik [-f MENUFILE]", 0), 0u) << sOutput;
        for (const char *pszPart : {"\nOptions:\n", "\nKeys:\n", "\nFiles:\n", "-d FOLDER",
                                    "PgUp, PgDn", "\nManual: man orvik\n"})
            EXPECT_NE(sOutput.find(pszPart), std::string::npos) << pszPart;
        EXPECT_EQ(home.ReadLog(), "") << "the log is not touched";
    }
}

// A letter goes to the next item that starts with it, in any case, and round from the last
// item to the first; Escape leaves a submenu as Return does, back on its item.
TEST_F(MenuE2E, LetterJumpsToTheNextItemRoundTheLevelAndEscapeGoesBack)
{
    auto psMenu = Start(LongMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendLiteral("S");
    EXPECT_TRUE(CursorOnItem(sMenu, 18, "Sub 20")) << sMenu.Capture();
    sMenu.SendLiteral("i");
    EXPECT_TRUE(CursorOnItem(sMenu, 18, "Item 21")) << sMenu.Capture();
    sMenu.SendKeys("End");
    ASSERT_TRUE(CursorOnItem(sMenu, 18, "Item 60"));
    sMenu.SendLiteral("I");
    EXPECT_TRUE(CursorOnItem(sMenu, 5, "Item 01")) << sMenu.Capture();

    sMenu.SendLiteral("s");
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(sMenu.WaitFor("Return  Help  Exit")) << sMenu.Capture();
    sMenu.SendKeys("Escape");
    ASSERT_TRUE(sMenu.WaitFor("Network Version")) << sMenu.Capture();
    EXPECT_TRUE(CursorOnItem(sMenu, 18, "Sub 20")) << sMenu.Capture();
    EXPECT_TRUE(ItemsRun().empty());
}

// "/" lists the titles that hold the text, in any case; Enter keeps the filter, on the first
// match, also after that item ran; Escape, or Backspace on an empty filter, lists every item
// again; a text that no title holds says so and the line stays open.
TEST_F(MenuE2E, FilterNarrowsTheLevelEnterKeepsItEscapeRemovesIt)
{
    auto psMenu = Start(LongMenu());
    TmuxSession &sMenu = psMenu->Screen();
    sMenu.SendLiteral("/eM 5");
    ASSERT_TRUE(PollUntil([&] { return ColumnOf(sMenu, 13, "Item 59") == 25; })) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 4, "Item 50"), 25) << "no markers: the ten fit";
    EXPECT_EQ(sMenu.Line(14), "");
    EXPECT_EQ(sMenu.Line(21), std::string(24, ' ') + "Filter: eM 5");
    EXPECT_EQ(sMenu.Cursor(), std::make_pair(21, 37));
    sMenu.SendLiteral("5");
    ASSERT_TRUE(PollUntil([&] { return sMenu.Line(5).empty(); })) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 4, "Item 55"), 25);

    sMenu.SendKeys("Enter");
    EXPECT_TRUE(CursorOnItem(sMenu, 4, "Item 55"));
    EXPECT_TRUE(sMenu.Cell(4, 25).bReverse);
    sMenu.SendKeys("Enter");
    ASSERT_TRUE(PollUntil([&] { return ItemsRun() == std::vector<std::string>{"ran-55"}; }));
    ASSERT_TRUE(sMenu.WaitFor(READY));
    EXPECT_TRUE(CursorOnItem(sMenu, 4, "Item 55")) << sMenu.Capture();
    EXPECT_TRUE(sMenu.WaitFor("Filter: eM 55"));

    sMenu.SendKeys("Escape");
    ASSERT_TRUE(sMenu.WaitFor(HINT)) << sMenu.Capture();
    EXPECT_TRUE(CursorOnItem(sMenu, 18, "Item 55")) << sMenu.Capture();

    sMenu.SendLiteral("/zz");
    ASSERT_TRUE(sMenu.WaitFor("No entry matches zz")) << sMenu.Capture();
    EXPECT_EQ(ColumnOf(sMenu, 4, "No entry matches zz"), 25);
    sMenu.SendKeys("Enter");
    sMenu.SendLiteral("z");
    EXPECT_TRUE(sMenu.WaitFor("Filter: zzz")) << "Enter left the line open";
    sMenu.SendKeys("BSpace BSpace BSpace BSpace");
    ASSERT_TRUE(sMenu.WaitFor(HINT)) << sMenu.Capture();
    EXPECT_TRUE(CursorOnItem(sMenu, 18, "Item 55")) << sMenu.Capture();
    EXPECT_EQ(ItemsRun(), std::vector<std::string>{"ran-55"});
}
