// orvikpref end to end: the real program in tmux with its own HOME, ORVIKDIR and log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace {

const std::string sBin = std::string(ORVIK_BIN_DIR) + "/orvikpref";
const std::string sHelpText = "Choose the colours of every display group";

// Tab order: the eighteen pulldowns row by row, then Help, Return and Exit. The cursor
// starts on Return, so Tab Tab reaches the Panel background pulldown.
const std::string sToPanelBackground = "Tab Tab";

ProgramSetup Pref(const std::string &sExtra = "", int nColumns = 80)
{
    ProgramSetup setup;
    setup.sProgram = "orvikpref";
    setup.sArgs = "-help " + ShellQuote(sHelpText) + sExtra;
    setup.nColumns = nColumns;
    return setup;
}

bool IsBlueBackground(const CellStyle &cell) { return cell.nBackground == 4; }

// After a choice the panel is rebuilt in the stored colours.
void ExpectPanelBlue(const TmuxSession &session, const TestHome &home)
{
    ASSERT_TRUE(WaitForCell(session, 1, 31, IsBlueBackground)) << session.Capture();
    EXPECT_EQ(session.Cell(7, 17).sText, ":");
    EXPECT_EQ(session.Cell(7, 17).nBackground, 4) << "label in the Panel colours";
    EXPECT_EQ(session.Cell(7, 17).nForeground, 7);
    EXPECT_EQ(session.Cell(7, 23).sText, "B");
    EXPECT_EQ(session.Cell(7, 23).nBackground, 4) << "background pulldown in the group's colours";
    EXPECT_EQ(session.Cell(7, 43).nBackground, 7) << "foreground pulldown with colours exchanged";
    EXPECT_EQ(session.Cell(7, 43).nForeground, 4);
    EXPECT_EQ(ColumnOf(session, 7, "Blue"), 23);
    EXPECT_NE(home.ReadFile("config.ini").find("PanelBackgroundColor      is Blue\n"),
              std::string::npos)
        << home.ReadFile("config.ini");
}

// The cursor of every (re)built panel is on Return: Enter ends the program with 0.
void ExpectReturnEnds(ProgramSession &run)
{
    run.Screen().SendKeys("Enter");
    EXPECT_TRUE(run.Ends(0));
}

}  // namespace

TEST(PrefStartup, HelpWordsAndMissingHelpText)
{
    TestHome home;
    std::string sOutput;
    const std::string sLog = "ORVIKLOGFILE=" + home.sLogFile;
    EXPECT_EQ(RunProgram({"env", sLog, sBin, "HELP"}, &sOutput), 1);
    EXPECT_EQ(sOutput,
              "\norvikpref provides the following runtime options:\n\n"
              "         help:        Will provide this help information.\n"
              "         debug:       Will provide diagnosic information\n\n");

    // The text taken by -help is itself compared with the word help.
    EXPECT_EQ(RunProgram({"env", sLog, sBin, "-help", "help"}, &sOutput), 1);
    EXPECT_NE(sOutput.find("orvikpref provides the following runtime options:"),
              std::string::npos);

    EXPECT_EQ(RunProgram({"env", sLog, sBin, "debug", "-help"}, &sOutput), 8);
    std::string sLogText = home.ReadLog();
    EXPECT_NE(sLogText.find("Error   Error: orvikpref Initialize: Invalid help parameter "
                            "specified: ."),
              std::string::npos)
        << sLogText;
    EXPECT_NE(sLogText.find("Debugging has been set.\n"), std::string::npos);
}

// --help and -h print the usage and end with 0 before anything else, wherever they stand;
// the text taken by -help is no option.
TEST(PrefStartup, UsageOnDashDashHelpAndDashH)
{
    for (const std::vector<std::string> &asArgs :
         std::vector<std::vector<std::string>>{{"--help"}, {"debug", "-h"}, {"-help", "x", "--help"}}) {
        TestHome home;
        std::vector<std::string> asCommand = {"env", "ORVIKLOGFILE=" + home.sLogFile,
                                              "ORVIKDIR=" + home.sOrvikDir, sBin};
        asCommand.insert(asCommand.end(), asArgs.begin(), asArgs.end());
        std::string sOutput;
        EXPECT_EQ(RunProgram(asCommand, &sOutput), 0) << asArgs.back();
        EXPECT_EQ(sOutput.rfind("Usage: orvikpref [debug] [dump] [help] [-help TEXT]\n", 0), 0u)
            << sOutput;
        EXPECT_NE(sOutput.find("\nManual: man orvikpref\n"), std::string::npos) << sOutput;
        EXPECT_EQ(home.ReadFile("config.ini"), "") << "no panel was built";
    }
    // "-h" as the text of -help is that text, not a request for the usage.
    TestHome home;
    std::string sOutput;
    EXPECT_EQ(RunProgram({"env", "ORVIKLOGFILE=" + home.sLogFile, sBin, "-help", "-h", "help"},
                         &sOutput), 1);
    EXPECT_EQ(sOutput.find("Usage:"), std::string::npos) << sOutput;
}

TEST(PrefStartup, DebugLogsArgumentsAndHelpText)
{
    TestHome home;
    // "debug" before "-help", so the help text is logged when it is taken.
    ProgramSetup setup = Pref();
    setup.sArgs = "debug " + setup.sArgs;
    ProgramSession run(home, setup);
    ASSERT_TRUE(run.WaitFor("Exit"));
    ExpectReturnEnds(run);
    std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find("orvikpref Initialize: Help text: " + sHelpText + "."),
              std::string::npos);
    std::string::size_type nArgs = sLog.find("Input Arguments follow:\n");
    ASSERT_NE(nArgs, std::string::npos) << sLog;
    EXPECT_LT(sLog.find("Debug   debug\n", nArgs), sLog.find("Debug   -help\n", nArgs));
    EXPECT_LT(sLog.find("Debug   -help\n", nArgs), sLog.find("Debug   " + sHelpText + "\n", nArgs));
    EXPECT_NE(sLog.find("orvikpref Default Color and Attribute settings:"), std::string::npos);
    EXPECT_NE(sLog.find("       Panel         PANEL     7           0           1"),
              std::string::npos)
        << sLog;
}

// Where each text starts, counted from the margin M of the 80-column layout.
const std::vector<ScreenText> asLayout = {
    {4, 11, "Display"},     {4, 23, "Background"}, {5, 23, "Color"},    {4, 63, "Attribute"},
    {6, 6, "------------"}, {7, 12, "Panel:"},     {8, 8, "Menu Item:"}, {12, 11, "Button:"},
    {7, 23, "Black"},       {7, 43, "White"},      {7, 63, "Bright"},   {10, 43, "Cyan"},
    {23, 23, "Help"},       {23, 30, "Return"},    {23, 39, "Exit"}};

TEST(PrefPanel, LayoutAt80And120Columns)
{
    for (int nColumns : {80, 120}) {
        SCOPED_TRACE(nColumns);
        TestHome home;
        ProgramSession run(home, Pref("", nColumns));
        TmuxSession &session = run.Screen();
        ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
        const int nMargin = (nColumns - 80) / 2;
        EXPECT_EQ(ColumnOf(session, 1, "Orvik Preferences"), (nColumns - 17) / 2);
        EXPECT_TRUE(run.Shows(asLayout, nMargin));
        // Attribute pulldowns in the Field group's colours (Cyan on Black).
        EXPECT_EQ(session.Cell(9, nMargin + 63).nForeground, 6);
        ExpectReturnEnds(run);
        EXPECT_NE(home.ReadFile("config.ini").find("PanelBackgroundColor      is Black\n"),
                  std::string::npos);
    }
}

TEST(PrefPanel, EnterOnPanelBackgroundChoosesBlue)
{
    TestHome home;
    ProgramSession run(home, Pref());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
    session.SendKeys(sToPanelBackground + " Enter");
    // The pop-up opens over the field with the eight colours, Black first, in a frame, on
    // the field's value (Black), which is shown in reverse.
    ASSERT_TRUE(session.WaitFor("Magenta")) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 11, "Blue"), 23);
    EXPECT_TRUE(TextAt(session, 6, 22, "┌─")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 15, 22, "└─")) << session.Capture();
    EXPECT_TRUE(session.Cell(7, 23).bReverse);
    EXPECT_FALSE(session.Cell(8, 23).bReverse);
    session.SendKeys("Down Down Down Down");
    ASSERT_TRUE(WaitForCell(session, 11, 23, [](const CellStyle &c) { return c.bReverse; }))
        << session.Capture();
    EXPECT_FALSE(session.Cell(7, 23).bReverse);
    session.SendKeys("Enter");
    ExpectPanelBlue(session, home);
    ExpectReturnEnds(run);
}

TEST(PrefPanel, MouseClickOnPanelBackgroundChoosesBlue)
{
    TestHome home;
    ProgramSession run(home, Pref());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
    session.Click(7, 25);
    ASSERT_TRUE(session.WaitFor("Magenta")) << session.Capture();
    session.Click(11, 24);
    ExpectPanelBlue(session, home);
    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(9));
}

TEST(PrefPanel, ExitEndsWith9AndStoresNothingOfItsPass)
{
    TestHome home;
    home.WriteFile("config.ini", "PanelBackgroundColor is Green\n");
    ProgramSession run(home, Pref(" debug"));
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
    EXPECT_EQ(session.Cell(7, 17).nBackground, 2);
    // Open the pulldown and choose Blue: that pass stores it and rebuilds the panel.
    session.SendKeys(sToPanelBackground + " Enter Down Down Enter");
    ASSERT_TRUE(WaitForCell(session, 7, 17, IsBlueBackground)) << session.Capture();
    const std::string sStored = home.ReadFile("config.ini");
    EXPECT_NE(sStored.find("PanelBackgroundColor      is Blue\n"), std::string::npos);

    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(9));
    EXPECT_TRUE(session.WaitForGone("Orvik Preferences")) << "curses left, screen cleared";
    EXPECT_EQ(home.ReadFile("config.ini"), sStored);
    std::string sLog = home.ReadLog();
    std::string::size_type nFirst = sLog.find("orvikpref SetColorandAttributeValues: starting");
    ASSERT_NE(nFirst, std::string::npos);
    EXPECT_EQ(sLog.find("orvikpref SetColorandAttributeValues: starting", nFirst + 1),
              std::string::npos)
        << "only the pass with the choice stores";
}

TEST(PrefPanel, AttributeZeroShowsBrightAndIsStoredAsBright)
{
    TestHome home;  // no config.ini: the compiled-in groups, Menu Item and Field with 0
    ProgramSession run(home, Pref());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 8, "Bright"), 63);
    EXPECT_FALSE(session.Cell(8, 63).bBold) << "Field group attribute 0 draws plain";

    // Help shows the text given with -help; closing it rebuilds the panel and stores every
    // group, which turns the unnamed attribute 0 into Bright.
    ASSERT_TRUE(run.Press("Help"));
    ASSERT_TRUE(session.WaitFor(sHelpText)) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(WaitForCell(session, 8, 63, [](const CellStyle &cell) { return cell.bBold; }))
        << session.Capture();
    EXPECT_NE(home.ReadFile("config.ini").find("FieldAttribute            is Bright\n"),
              std::string::npos);
    ExpectReturnEnds(run);
}

TEST(PrefPanel, InterruptEndsWithSignalNumber)
{
    TestHome home;
    ProgramSession run(home, Pref());
    ASSERT_TRUE(run.WaitFor("Exit"));
    run.Screen().SendKeys("C-c");
    EXPECT_TRUE(run.Ends(2));
    EXPECT_TRUE(run.WaitFor("Termination due to User Interrupt (Ctrl-c)."));
}

TEST(PrefFromMenu, ExitInPreferencesEndsTheMainMenu)
{
    TestHome home;
    ProgramSetup setup;
    setup.sProgram = "orvik";
    setup.sArgs = "-f " + ShellQuote(std::string(ORVIK_SOURCE_DIR) + "/share/orvik.xml") +
                  " -d " + ShellQuote(home.sOrvikDir) + " -l " + ShellQuote(home.sLogFile);
    setup.env["PATH"] = std::string(ORVIK_BIN_DIR) + ":" + std::getenv("PATH");
    ProgramSession run(home, setup);
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Preferences")) << session.Capture();
    ASSERT_TRUE(run.Press("Preferences"));
    ASSERT_TRUE(session.WaitFor("Orvik Preferences")) << session.Capture();

    // The menu item's help text reached the program through -help.
    ASSERT_TRUE(run.Press("Help"));
    ASSERT_TRUE(session.WaitFor("Choose the foreground colour")) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitForGone("Choose the foreground colour")) << session.Capture();
    ASSERT_TRUE(session.WaitFor("Orvik Preferences")) << session.Capture();

    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(0)) << "the main menu ends normally";
    EXPECT_EQ(home.ReadLog().find("Failure in call to"), std::string::npos) << home.ReadLog();
}

// A config.ini that does not load (too many systems, a bad line half way) is left byte for
// byte as it was, whatever is chosen: its tables are only part of the file.
// A config.ini that does not load is said in a red box with the loader's own sentence, the
// program ends with 8 before its panel can take a choice, and the file stays as it was.
TEST(PrefPanel, ConfigThatDoesNotLoadIsSaidAndNeverWrittenBack)
{
    std::string sSystems;
    for (int i = 1; i <= 101; i++)
        sSystems += "RemoteSystem 10.0.1." + std::to_string(i) + " 22 s" + std::to_string(i) +
                    " admin\n";
    const std::pair<std::string, std::string> asCase[] = {
        {sSystems, "Too many RemoteSystem commands, at most 100 are kept"},
        {"RemoteSystem a 22 a u\nPanelAttribute is Sparkling\nRemoteSystem b 22 b u\n"
         "ButtonForegroundColor is Red\n",
         "PanelAttribute statement has invalid attribute specified: Sparkling."},
        {"PanelForegroundColor is Pink\n",
         "PanelForegroundColor statement has invalid color specified: Pink."},
        {"PanelForegroundColor is White\r\nPanelBackgroundColor is Blue\r\n",
         "PanelForegroundColor statement has invalid color specified: White^M."}};
    for (const auto &[sFile, sSentence] : asCase) {
        TestHome home;
        home.WriteFile("config.ini", sFile);
        ProgramSession run(home, Pref("", 160));
        TmuxSession &session = run.Screen();
        ASSERT_TRUE(run.FailureBox("Configuration " + home.sOrvikDir + "/config.ini not loaded: " +
                                   sSentence))
            << session.Capture();
        EXPECT_EQ(session.Capture().find("Magenta"), std::string::npos);
        EXPECT_EQ(session.Cell(8, 2).nBackground, 1) << session.Capture();
        session.SendKeys("Enter");
        EXPECT_TRUE(run.Ends(8));
        EXPECT_EQ(home.ReadFile("config.ini"), sFile);
        EXPECT_NE(home.ReadLog().find("SaveConfigurationValues: The last load of the "
                                      "configuration file failed;"),
                  std::string::npos);
    }
}

// A new terminal size lays the panel out again for that size, with the choices made and the
// cursor on the field it was on, and stores nothing; a pulldown open at that moment closes
// without a choice. Below 80x24 only the notice is drawn.
TEST(PrefPanel, NewTerminalSizeKeepsChoicesAndCursorAndStoresNothing)
{
    TestHome home;
    home.WriteFile("config.ini", "PanelBackgroundColor is Green\n");
    ProgramSession run(home, Pref(" debug"));
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("Exit")) << session.Capture();
    session.SendKeys(sToPanelBackground + " Enter Down Down Enter");  // Blue, stored at once
    ASSERT_TRUE(WaitForCell(session, 7, 17, IsBlueBackground)) << session.Capture();
    const std::string sStored = home.ReadFile("config.ini");
    ASSERT_NE(sStored.find("PanelBackgroundColor      is Blue\n"), std::string::npos);
    const std::string sStoring = "orvikpref SetColorandAttributeValues: starting";
    const int nStores = CountOf(home.ReadLog(), sStoring);

    // From Return past Exit and the Panel row to the Menu Item foreground, White; its
    // pulldown is open when the terminal grows.
    session.SendKeys("Tab Tab Tab Tab Tab Tab Enter");
    ASSERT_TRUE(session.WaitFor("Magenta")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 12, 43, "Blue")) << session.Capture();
    session.Resize(132, 43);
    const int nMargin = (132 - 80) / 2;
    ASSERT_TRUE(WaitForTextAt(session, 42, nMargin + 23, "Help")) << session.Capture();
    ASSERT_TRUE(session.WaitForGone("Magenta")) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 1, "Orvik Preferences"), (132 - 17) / 2);
    EXPECT_EQ(ColumnOf(session, 7, "Blue"), nMargin + 23) << session.Capture();
    EXPECT_TRUE(TextAt(session, 8, nMargin + 43, "White")) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 42, "Exit"), nMargin + 39) << session.Capture();
    EXPECT_EQ(session.Cell(7, 17 + nMargin).nBackground, 4) << "the stored colours";

    session.Resize(40, 12);
    ASSERT_TRUE(session.WaitFor("Terminal too small: 40x12.")) << session.Capture();
    EXPECT_EQ(session.Capture().find("Orvik Preferences"), std::string::npos);
    session.Resize(80, 24);
    ASSERT_TRUE(WaitForTextAt(session, 4, 11, "Display")) << session.Capture();
    ASSERT_TRUE(WaitForTextAt(session, 23, 23, "Help")) << session.Capture();
    std::vector<ScreenText> asBlue = asLayout;  // the Panel background is Blue
    std::erase_if(asBlue, [](const ScreenText &text) { return text.sText == "Black"; });
    EXPECT_TRUE(run.Shows(asBlue));
    EXPECT_EQ(ColumnOf(session, 7, "Blue"), 23);
    EXPECT_EQ(home.ReadFile("config.ini"), sStored);
    EXPECT_EQ(CountOf(home.ReadLog(), sStoring), nStores) << "no pass stored at a new size";

    // The cursor is still on the Menu Item foreground: Enter opens its pulldown again, and
    // Enter there keeps White.
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Magenta")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 12, 43, "Blue")) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitForGone("Magenta")) << session.Capture();
    ExpectReturnEnds(run);
    EXPECT_EQ(home.ReadFile("config.ini"), sStored);
}
