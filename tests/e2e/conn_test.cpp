// orvikconn end to end: the real program in tmux with its own HOME, ORVIKDIR and log, against
// the test sshd. The test HOME starts without ~/.ssh.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "test_services.h"
#include "session.h"

namespace {

const std::string sBin = std::string(ORVIK_BIN_DIR) + "/orvikconn";
const std::string sListReady = "Last ping";   // the list panel is up

ProgramSetup Conn()
{
    ProgramSetup setup;
    setup.sProgram = "orvikconn";
    setup.sArgs = "-help " + ShellQuote("Connections");
    return setup;
}

std::string RemoteLine(const TestHome &home)
{
    std::istringstream sFile(home.ReadFile("config.ini"));
    std::string sLine;
    while (std::getline(sFile, sLine)) {
        if (sLine.rfind("RemoteSystem ", 0) == 0) return sLine;
    }
    return "";
}

// The word after a clause of a RemoteSystem line, "" when the clause is not there.
std::string ClauseValue(const std::string &sLine, const std::string &sClause)
{
    std::istringstream sWords(sLine);
    for (std::string sWord; sWords >> sWord;) {
        if (sWord == sClause && sWords >> sWord) return sWord;
    }
    return "";
}

// A stamp as orvikconn writes it: UTC, "20261208T141503Z".
bool IsStamp(const std::string &sWord)
{
    if (sWord.size() != 16 || sWord[8] != 'T' || sWord[15] != 'Z') return false;
    for (std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14}) {
        if (sWord[i] < '0' || sWord[i] > '9') return false;
    }
    return true;
}

// The fingerprint ssh-keygen gives a key line, "SHA256:...".
std::string FingerprintOf(const std::string &sKeyLine)
{
    std::string sOutput;
    RunProgram({"sh", "-c", "printf '%s\\n' " + ShellQuote(sKeyLine) +
                                " | ssh-keygen -lf - | cut -d' ' -f2"}, &sOutput);
    return sOutput.substr(0, sOutput.find('\n'));
}

mode_t ModeOf(const std::string &sPath)
{
    struct stat sInfo {};
    return stat(sPath.c_str(), &sInfo) == 0 ? sInfo.st_mode & 07777 : 0;
}

// Closes the message box that a choice showed and waits for the list again.
void CloseMessage(TmuxSession &session, const std::string &sMessage)
{
    ASSERT_TRUE(session.WaitFor(sMessage, 15000)) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitForGone(sMessage)) << session.Capture();
    ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
}

// Fills the entry screen field by field (the cursor starts on the name) and chooses Save.
void FillEntry(TmuxSession &session, const std::vector<std::string> &asValues)
{
    ASSERT_TRUE(session.WaitFor("Orvik Connections: New System")) << session.Capture();
    for (const std::string &sValue : asValues) {
        if (!sValue.empty()) session.SendLiteral(sValue);
        session.SendKeys("Tab");
    }
    session.SendKeys("Enter");
}

// The names of the list, top to bottom, one blank between them.
std::string ListedNames(const TmuxSession &session)
{
    std::string sNames;
    for (int nRow = 6; nRow < 20; nRow += 2) {
        std::istringstream sLine(session.Line(nRow));
        std::string sWord;
        if (sLine >> sWord && sWord == ">") sLine >> sWord;
        if (!sWord.empty()) sNames += (sNames.empty() ? "" : " ") + sWord;
    }
    return sNames;
}

}  // namespace

TEST(ConnStartup, HelpAndMissingHelpText)
{
    TestHome home;
    const std::string sLog = "ORVIKLOGFILE=" + home.sLogFile;
    std::string sOutput;
    EXPECT_EQ(RunProgram({"env", sLog, sBin, "help"}, &sOutput), 1);
    EXPECT_NE(sOutput.find("orvikconn provides the following runtime options:"),
              std::string::npos) << sOutput;
    EXPECT_EQ(RunProgram({"env", sLog, sBin, "-help"}, &sOutput), 8);
    EXPECT_NE(home.ReadLog().find("orvikconn Initialize: Invalid help parameter"),
              std::string::npos) << home.ReadLog();
    for (const char *pszFanout : {"0", "1025", "8x", "-3"}) {
        EXPECT_EQ(RunProgram({"env", sLog, sBin, "-fanout", pszFanout}, &sOutput), 8) << pszFanout;
        EXPECT_NE(home.ReadLog().find("-fanout takes a number of systems from 1 to 1024, not \"" +
                                      std::string(pszFanout) + "\"."),
                  std::string::npos) << home.ReadLog();
    }

    // --help and -h print the usage and end with 0 wherever they stand, before the log or
    // config.ini is touched; "-h" taken as the text of -help is that text.
    for (const char *pszAsk : {"--help", "-h"}) {
        TestHome fresh;
        EXPECT_EQ(RunProgram({"env", "ORVIKLOGFILE=" + fresh.sLogFile,
                              "ORVIKDIR=" + fresh.sOrvikDir, sBin, "debug", pszAsk}, &sOutput), 0);
        EXPECT_EQ(sOutput.rfind("Usage: orvikconn [debug] [dump] [help] [-help TEXT] [-fanout N]\n", 0), 0u)
            << sOutput;
        EXPECT_NE(sOutput.find("\nManual: man orvikconn\n"), std::string::npos) << sOutput;
        EXPECT_EQ(fresh.ReadLog(), "");
        EXPECT_EQ(fresh.ReadFile("config.ini"), "");
    }
    EXPECT_EQ(RunProgram({"env", sLog, sBin, "-help", "-h", "help"}, &sOutput), 1);
    EXPECT_EQ(sOutput.find("Usage:"), std::string::npos) << sOutput;
}

// One system through its whole life: entered, pinged, trusted (after a cancelled try),
// connected and disconnected, each visible in config.ini as the other programs read it.
TEST(ConnPanel, EnterPingTrustConnectDisconnect)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("No remote systems yet")) << session.Capture();

    session.SendKeys("Enter");  // the cursor starts on New when the list is empty
    FillEntry(session, {"testbox", SshHost(), SshPort(), SshUser()});
    ASSERT_TRUE(session.WaitFor("> testbox")) << session.Capture();
    const std::string sEntered =
        "RemoteSystem " + SshHost() + " " + SshPort() + " testbox " + SshUser();
    EXPECT_EQ(RemoteLine(home), sEntered);

    // The entered line keeps the cursor: Tab Tab is Ping.
    session.SendKeys("Tab Tab Enter");
    CloseMessage(session, "testbox answered at");
    std::string sLine = RemoteLine(home);
    const std::string sPinged = ClauseValue(sLine, "LastPing");
    ASSERT_TRUE(IsStamp(sPinged)) << sLine;
    EXPECT_EQ(sLine, sEntered + " LastPing " + sPinged);
    EXPECT_NE(session.Line(7).find(sPinged), std::string::npos) << session.Capture();

    // The test host's key is known already, under its alias, in the file that its Host block
    // names: Trust says so and writes nothing, neither there nor below $HOME.
    const std::string sKnownHosts = SshConfigValue(SshHost(), "userknownhostsfile");
    ASSERT_NE(sKnownHosts, "");
    const std::string sKnownBefore = ReadTextFile(sKnownHosts);
    session.SendKeys("Tab Enter");
    CloseMessage(session, "Already trusted, in " + sKnownHosts + ".");
    EXPECT_EQ(ReadTextFile(sKnownHosts), sKnownBefore);
    EXPECT_NE(access((home.sHome + "/.ssh").c_str(), F_OK), 0);
    EXPECT_EQ(RemoteLine(home).find("LastTrust"), std::string::npos);

    session.SendKeys("Tab Enter");  // Connect
    CloseMessage(session, "Connected: commands now run on " + SshUser() + "@" + SshHost());
    sLine = RemoteLine(home);
    EXPECT_TRUE(IsStamp(ClauseValue(sLine, "LastConnect"))) << sLine;
    EXPECT_EQ(sLine.substr(sLine.size() - 10), " Connected") << sLine;
    EXPECT_NE(session.Line(7).find("Connected"), std::string::npos) << session.Capture();

    session.SendKeys("Tab Enter");  // Disconnect
    CloseMessage(session, "Disconnected: everything runs locally.");
    sLine = RemoteLine(home);
    EXPECT_EQ(sLine.find("Connected"), std::string::npos) << sLine;
    EXPECT_NE(sLine.find(" LastConnect "), std::string::npos) << "the stamp stays";
    EXPECT_NE(session.Line(21).find("Connected: none"), std::string::npos) << session.Capture();

    ASSERT_TRUE(run.Press("Return"));
    EXPECT_TRUE(run.Ends(0));
}

// Entries that do not fit their records, begin with "-" or clash are refused one after the
// other; config.ini stays byte for byte as it was. Delete then removes the connected system.
TEST(ConnPanel, RefusedEntriesLeaveConfigIniAsItWas)
{
    TestHome home;
    home.WriteFile("config.ini", "RemoteSystem 10.0.0.5 22 web admin LastPing 20261208T141503Z "
                                 "Connected\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("> web")) << session.Capture();
    session.SendKeys("Enter");  // select again: one pass, which changes nothing and writes nothing
    const std::string sBefore = home.ReadFile("config.ini");
    ASSERT_EQ(sBefore, "RemoteSystem 10.0.0.5 22 web admin LastPing 20261208T141503Z Connected\n");
    ASSERT_TRUE(session.WaitFor("> web")) << session.Capture();

    struct REFUSED {
        std::vector<std::string> asValues;
        std::string sMessage;
        int nField;  // where the cursor waits afterwards
    };
    const REFUSED asRefused[] = {
        {{"-web", "10.0.0.6", "22", "admin"}, "Name may not begin with '-'.", 0},
        {{"seventeen-chars-x", "10.0.0.6", "22", "admin"}, "Name is longer than 16", 0},
        {{"db", std::string(33, 'a'), "22", "admin"}, "Address is longer than 32", 1},
        {{"db", "-oProxyCommand=x", "22", "admin"}, "Address may not begin with '-'.", 1},
        {{"db", "10.0.0.6", "99999", "admin"}, "Port must be a number from 1 to 65535.", 2},
        {{"db", "10.0.0.6", "22", ""}, "User is empty.", 3},
        {{"db", "10.0.0.6", "22", "a;b"}, "User may not contain ';'.", 3},
        {{"db", "10.0.0.5", "22", "admin"}, "Address 10.0.0.5 is already used by web.", 1},
    };
    session.SendKeys("Tab");  // from the line to New
    for (const REFUSED &sCase : asRefused) {
        SCOPED_TRACE(sCase.sMessage);
        session.SendKeys("Enter");
        FillEntry(session, sCase.asValues);
        ASSERT_TRUE(session.WaitFor(sCase.sMessage)) << session.Capture();
        session.SendKeys("Enter");
        ASSERT_TRUE(session.WaitForGone(sCase.sMessage)) << session.Capture();
        // Back on the entry screen with what was typed, the cursor on the refused field.
        ASSERT_TRUE(session.WaitFor("New System")) << session.Capture();
        if (!sCase.asValues[0].empty()) {
            EXPECT_NE(session.Line(4).find(sCase.asValues[0]), std::string::npos);
        }
        EXPECT_EQ(home.ReadFile("config.ini"), sBefore);
        std::string sToCancel;
        for (int i = sCase.nField; i <= 4; ++i) sToCancel += "Tab ";
        session.SendKeys(sToCancel + "Enter");
        ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
    }
    EXPECT_EQ(home.ReadFile("config.ini"), sBefore);

    // Delete asks first and names the connection; confirming removes the system and with it
    // the connection.
    ASSERT_TRUE(run.Press("Delete"));
    ASSERT_TRUE(session.WaitFor("It is the connected system")) << session.Capture();
    session.SendKeys("Tab Enter");  // the bar reads Cancel, Delete, Help, Exit
    ASSERT_TRUE(session.WaitFor("No remote systems yet")) << session.Capture();
    EXPECT_EQ(home.ReadFile("config.ini").find("RemoteSystem"), std::string::npos);

    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(9));
}

// A new terminal size lays every screen out again at that size and keeps its place: the list
// its first system and the cursor's line, the entry screen what was typed and where typing
// stopped, a confirmation the button under the cursor. Nothing is stored until Save. Names
// in any script keep the list's columns in place.
TEST(ConnPanel, NewTerminalSizeKeepsPlaceAndTypedValues)
{
    TestHome home;
    home.WriteFile("config.ini", "RemoteSystem 10.0.0.5 22 web admin\n"
                                 "RemoteSystem 10.0.0.7 2222 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E "
                                 "ops\n");
    ProgramSetup setup = Conn();
    setup.env["LC_ALL"] = "C.UTF-8";
    ProgramSession run(home, setup);
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("> web")) << session.Capture();
    const std::string sBefore = home.ReadFile("config.ini");
    // Three characters of two columns each: the address, port and user stay in their columns.
    const std::vector<CellStyle> asRow = session.Row(8);
    EXPECT_EQ(asRow[2].sText, "\xE6\x97\xA5") << session.Capture();
    EXPECT_EQ(asRow[19].sText, "1") << session.Capture();
    EXPECT_EQ(asRow[52].sText, "2") << session.Capture();
    EXPECT_EQ(asRow[59].sText, "o") << session.Capture();

    const int nMargin = (132 - 80) / 2;
    session.Resize(132, 43);
    ASSERT_TRUE(WaitForTextAt(session, 42, nMargin + 3, "Help")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 6, nMargin + 1, "> web")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 41, nMargin + 3, "New")) << session.Capture();
    EXPECT_NE(session.Line(40).find("Systems 1-2 of 2."), std::string::npos) << session.Capture();

    // The cursor stayed on the first line: the second line, then New.
    session.SendKeys("Tab Tab Enter");
    ASSERT_TRUE(session.WaitFor("Orvik Connections: New System")) << session.Capture();
    session.SendLiteral("db");
    session.SendKeys("Tab");
    session.SendLiteral("10.0.0.6");
    ASSERT_TRUE(WaitForTextAt(session, 6, nMargin + 20, "10.0.0.6")) << session.Capture();

    session.Resize(80, 24);
    ASSERT_TRUE(WaitForTextAt(session, 6, 20, "10.0.0.6")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 4, 20, "db")) << session.Capture();
    EXPECT_NE(session.Line(23).find("Save"), std::string::npos) << session.Capture();
    session.Resize(40, 12);
    ASSERT_TRUE(session.WaitFor("Terminal too small: 40x12.")) << session.Capture();
    session.Resize(80, 24);
    ASSERT_TRUE(WaitForTextAt(session, 6, 20, "10.0.0.6")) << session.Capture();
    EXPECT_TRUE(TextAt(session, 4, 20, "db")) << session.Capture();
    EXPECT_EQ(home.ReadFile("config.ini"), sBefore);

    // Typing goes on at the end of the address.
    session.SendLiteral("7");
    session.SendKeys("Tab");
    session.SendLiteral("22");
    session.SendKeys("Tab");
    session.SendLiteral("root");
    session.SendKeys("Tab Enter");  // Save
    ASSERT_TRUE(session.WaitFor("> db")) << session.Capture();
    EXPECT_NE(home.ReadFile("config.ini").find("RemoteSystem 10.0.0.67 22 db root"),
              std::string::npos) << home.ReadFile("config.ini");

    // Delete of db, its confirmation with the cursor moved from Cancel to Delete: the new
    // size keeps it there, so Enter deletes.
    ASSERT_TRUE(run.Press("Delete"));
    ASSERT_TRUE(session.WaitFor("Remove db (root@10.0.0.67 port 22) from the list?"))
        << session.Capture();
    session.SendKeys("Tab");
    session.Resize(132, 43);
    ASSERT_TRUE(WaitForTextAt(session, 4, nMargin + 3, "Remove db")) << session.Capture();
    ASSERT_TRUE(WaitForTextAt(session, 42, nMargin + 23, "Cancel")) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(WaitForTextAt(session, 40, nMargin + 3, "Systems 1-2 of 2.")) << session.Capture();
    EXPECT_EQ(home.ReadFile("config.ini").find("10.0.0.67"), std::string::npos);

    session.Resize(80, 24);
    ASSERT_TRUE(WaitForTextAt(session, 23, 3, "Help")) << session.Capture();
    ASSERT_TRUE(run.Press("Return"));
    EXPECT_TRUE(run.Ends(0));
}

// A system that does not answer gets neither a ping nor a trust stamp, and no key.
TEST(ConnPanel, UnreachableSystemGetsNoStamps)
{
    TestHome home;
    home.WriteFile("config.ini", "RemoteSystem 127.0.0.1 1 closed root\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("> closed")) << session.Capture();
    session.SendKeys("Tab Tab Enter");  // Ping
    CloseMessage(session, "No answer: connect to host 127.0.0.1 port 1: Connection refused");
    session.SendKeys("Tab Enter");  // Trust
    CloseMessage(session, "No host key came from 127.0.0.1 port 1.");
    EXPECT_EQ(RemoteLine(home), "RemoteSystem 127.0.0.1 1 closed root");
    EXPECT_EQ(ReadTextFile(home.sHome + "/.ssh/known_hosts"), "");

    ASSERT_TRUE(run.Press("Return"));
    EXPECT_TRUE(run.Ends(0));
}

// A key that differs from the one trusted before. The test's own Host block sends ssh to the
// test server under another name and to a known-hosts file in the test HOME, where ssh names
// the key "[127.0.0.1]:port". Trust writes there; a changed key is shown as such by Ping,
// Connect and Trust, and is replaced only after a second confirmation.
TEST(ConnTrust, ChangedKeyIsShownAndReplacedOnlyOnItsOwnConfirmation)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    const std::string sHostName = "orvik-trust-" + std::to_string(getpid());
    const std::string sKnownHosts = home.sHome + "/elsewhere/kh";
    SshClientBlock block(sHostName, {"HostName 127.0.0.1",
                                     "UserKnownHostsFile " + sKnownHosts,
                                     "GlobalKnownHostsFile /dev/null",
                                     "IdentityFile " + SshConfigValue(SshHost(), "identityfile"),
                                     "IdentitiesOnly yes", "StrictHostKeyChecking yes",
                                     "CheckHostIP no", "BatchMode yes"});
    ASSERT_EQ(block.Problem(), "");
    const std::string sName = "[127.0.0.1]:" + SshPort();
    std::string sScan;
    ASSERT_EQ(RunProgram({"sh", "-c", "ssh-keyscan -p " + SshPort() + " 127.0.0.1 2>/dev/null"},
                         &sScan), 0);
    const std::string sRealLine = sScan.substr(0, sScan.find('\n'));
    ASSERT_EQ(sRealLine.rfind(sName + " ssh-ed25519 ", 0), 0u) << sScan;

    home.WriteFile("config.ini", "RemoteSystem " + sHostName + " " + SshPort() + " trusty " +
                                     SshUser() + "\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("> trusty")) << session.Capture();

    // First trust: the folder and file are made private; ssh then logs in with that key.
    session.SendKeys("Tab Tab Tab Enter");  // Trust
    ASSERT_TRUE(session.WaitFor("Orvik Connections: Trust trusty", 15000)) << session.Capture();
    EXPECT_TRUE(session.WaitFor(FingerprintOf(sRealLine))) << session.Capture();
    session.SendKeys("BTab Enter");
    CloseMessage(session, "1 key(s) added to " + sKnownHosts + ".");
    EXPECT_EQ(ReadTextFile(sKnownHosts), sRealLine + "\n");
    EXPECT_EQ(ModeOf(home.sHome + "/elsewhere"), 0700u);
    EXPECT_EQ(ModeOf(sKnownHosts), 0600u);
    EXPECT_NE(access((home.sHome + "/.ssh").c_str(), F_OK), 0);
    session.SendKeys("BTab Enter");  // Ping
    CloseMessage(session, "trusty answered at");

    // The same key again is no new trust.
    session.SendKeys("Tab Enter");
    CloseMessage(session, "Already trusted, in " + sKnownHosts + ".");
    EXPECT_EQ(ReadTextFile(sKnownHosts), sRealLine + "\n");

    // The file now holds another key for the same name, beside lines of other hosts.
    ASSERT_EQ(RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f",
                          home.sRoot + "/other"}), 0);
    std::istringstream sPublic(ReadTextFile(home.sRoot + "/other.pub"));
    std::string sType, sKey;
    sPublic >> sType >> sKey;
    const std::string sOldLine = sName + " " + sType + " " + sKey;
    const std::string sOthers = "# kept\nother.example " + sType + " " + sKey + "\n";
    const std::string sChanged = sOthers + sOldLine + "\n";
    std::ofstream(sKnownHosts, std::ios::binary | std::ios::trunc) << sChanged;
    ASSERT_EQ(ReadTextFile(sKnownHosts), sChanged);
    const std::string sStampLine = RemoteLine(home);

    // Ping and Connect say what ssh says; nothing is stamped or connected.
    session.SendKeys("BTab Enter");  // Ping
    CloseMessage(session, "Host key for " + sName + " has changed.");
    session.SendKeys("Tab Tab Enter");  // Connect
    CloseMessage(session, "Not connected: Host key for " + sName + " has changed.");
    EXPECT_EQ(RemoteLine(home), sStampLine);
    EXPECT_NE(home.ReadLog().find("Host key for " + sName +
                                  " has changed and you have requested strict checking."),
              std::string::npos) << home.ReadLog();

    // Trust shows the change with both fingerprints; Cancel on either screen changes nothing.
    session.SendKeys("BTab");  // Trust, where the cursor comes back to
    const std::vector<std::string> asCancel = {"Enter", "BTab Enter"};
    for (const std::string &sToCancel : asCancel) {
        SCOPED_TRACE(sToCancel);
        session.SendKeys("Enter");
        ASSERT_TRUE(session.WaitFor("has CHANGED", 15000)) << session.Capture();
        EXPECT_TRUE(session.WaitFor(FingerprintOf(sOldLine))) << session.Capture();
        EXPECT_TRUE(session.WaitFor(FingerprintOf(sRealLine))) << session.Capture();
        session.SendKeys(sToCancel);
        if (sToCancel != "Enter") {
            ASSERT_TRUE(session.WaitFor("Replace the trusted host keys of trusty")) <<
                session.Capture();
            session.SendKeys("Enter");  // it starts on Cancel too
        }
        ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
        EXPECT_EQ(ReadTextFile(sKnownHosts), sChanged);
    }

    // Confirmed twice: the old line is gone, the other lines stay, the real key is trusted.
    session.SendKeys("Enter");  // Trust
    ASSERT_TRUE(session.WaitFor("has CHANGED", 15000)) << session.Capture();
    session.SendKeys("BTab Enter");
    ASSERT_TRUE(session.WaitFor("Replace the trusted host keys of trusty")) << session.Capture();
    session.SendKeys("BTab Enter");
    CloseMessage(session, "Keys replaced in " + sKnownHosts + ".");
    EXPECT_EQ(ReadTextFile(sKnownHosts), sOthers + sRealLine + "\n");
    EXPECT_TRUE(IsStamp(ClauseValue(RemoteLine(home), "LastTrust"))) << RemoteLine(home);
    session.SendKeys("BTab Enter");  // Ping
    CloseMessage(session, "trusty answered at");

    ASSERT_TRUE(run.Press("Exit"));
    EXPECT_TRUE(run.Ends(9));
}

// "/" narrows the list by name or address as each key is typed, "s" steps the order; Escape
// leaves the filter line, a confirmation and the list, and keeps what the entry screen holds.
TEST(ConnPanel, FilterAndSortFindASystem)
{
    TestHome home;
    home.WriteFile("config.ini", "RemoteSystem 10.0.0.5 22 web admin LastPing 20261201T000000Z\n"
                                 "RemoteSystem 10.0.1.9 22 db admin LastPing 20261207T000000Z\n"
                                 "RemoteSystem 10.0.0.7 22 Webmail admin\n"
                                 "RemoteSystem 192.168.1.2 22 backup admin LastPing "
                                 "20261205T000000Z\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor("/ filter  s sort")) << session.Capture();
    const std::string sBefore = home.ReadFile("config.ini");
    auto Lists = [&](const std::string &sNames) {
        return run.WaitUntil([&] { return ListedNames(session) == sNames; }, sNames);
    };

    session.SendLiteral("/WEB");
    ASSERT_TRUE(session.WaitFor("Filter: WEB_")) << session.Capture();
    EXPECT_TRUE(Lists("web Webmail"));
    EXPECT_NE(session.Line(1).find("Orvik Connections  [WEB]"), std::string::npos);
    session.SendLiteral("x");
    ASSERT_TRUE(session.WaitFor("No entry matches WEBx")) << session.Capture();
    session.SendKeys("Enter BSpace BSpace BSpace BSpace");  // no match: the line stays open
    ASSERT_TRUE(session.WaitFor("Filter: _")) << session.Capture();
    session.SendLiteral("10.0.0");
    ASSERT_TRUE(Lists("web Webmail"));
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Systems 1-2 of 2 (4 in all).")) << session.Capture();
    EXPECT_NE(session.Line(1).find("[10.0.0]"), std::string::npos) << session.Capture();

    // Enter put the cursor on the first match; Down, Enter selects the second, which Delete
    // names. Escape there is Cancel.
    session.SendKeys("Down Enter");
    ASSERT_TRUE(session.WaitFor("> Webmail")) << session.Capture();
    ASSERT_TRUE(run.Press("Delete"));
    ASSERT_TRUE(session.WaitFor("Remove Webmail (admin@10.0.0.7")) << session.Capture();
    session.SendKeys("Escape");
    ASSERT_TRUE(session.WaitFor("Systems 1-2 of 2 (4 in all).")) << session.Capture();

    // Escape removes a kept filter (before it would leave), and so does Backspace on an empty
    // filter line; the selected system stays.
    session.SendKeys("Escape");
    ASSERT_TRUE(Lists("web db Webmail backup"));
    EXPECT_TRUE(session.WaitFor("> Webmail")) << session.Capture();
    session.SendLiteral("/d");
    ASSERT_TRUE(Lists("db"));
    session.SendKeys("BSpace BSpace");
    ASSERT_TRUE(session.WaitFor("Systems 1-4 of 4.")) << session.Capture();

    session.SendLiteral("s");
    ASSERT_TRUE(Lists("backup db web Webmail"));
    EXPECT_NE(session.Line(1).find("Orvik Connections, by name"), std::string::npos);
    session.SendLiteral("s");  // newest ping first, never pinged last
    ASSERT_TRUE(Lists("db backup web Webmail"));
    EXPECT_NE(session.Line(1).find("Orvik Connections, by last ping"), std::string::npos);
    session.SendLiteral("s");
    ASSERT_TRUE(Lists("web db Webmail backup"));

    // In an entry field "s" and "/" are typed, and Escape keeps what was typed.
    ASSERT_TRUE(run.Press("New"));
    ASSERT_TRUE(session.WaitFor("Orvik Connections: New System")) << session.Capture();
    session.SendLiteral("s/");
    session.SendKeys("Escape");
    session.SendLiteral("x");
    ASSERT_TRUE(WaitForTextAt(session, 4, 20, "s/x ")) << session.Capture();
    ASSERT_TRUE(run.Press("Cancel"));
    ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
    EXPECT_EQ(home.ReadFile("config.ini"), sBefore);

    session.SendKeys("Escape");
    EXPECT_TRUE(run.Ends(0));
}

// A config.ini that does not load (CRLF line ends) is said at once, before any change could
// be refused: the loader's sentence in a box, then the program ends with 8.
TEST(ConnPanel, ConfigThatDoesNotLoadIsSaidFirst)
{
    TestHome home;
    home.WriteFile("config.ini", "PanelForegroundColor is White\r\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(run.FailureBox("PanelForegroundColor statement has invalid color specified: White^M."))
        << session.Capture();
    session.SendKeys("Enter");
    EXPECT_TRUE(run.Ends(8));
    EXPECT_EQ(home.ReadFile("config.ini"), "PanelForegroundColor is White\r\n");
}

// Twelve systems: web01-08 on the test sshd, db1-3 on the one whose /tmp holds another file,
// and mute, a port that takes connections and never answers. Marks, Ping on all within about
// one time limit, Run folded 8 + 3 + 1, a group's output and its diff, Save, and Ctrl-c.
TEST(ConnMany, MarkPingRunDiffSaveStop)
{
    ORVIK_REQUIRE_SSH();
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kPrivateTmp);
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
    TestHome home;
    std::string sConfig;
    for (int i = 1; i <= 12; ++i) {
        const bool bDb = i > 8 && i < 12;
        const std::string sName = i <= 8 ? "web0" + std::to_string(i)
                                  : bDb  ? "db" + std::to_string(i - 8) : std::string("mute");
        sConfig += "RemoteSystem " + (i == 12 ? DeadHost() : bDb ? TmpHost() : SshHost()) + " " +
                   (i == 12 ? DeadPort() : bDb ? TmpPort() : SshPort()) + " " + sName + " " +
                   SshUser() + "\n";
    }
    ProgramSetup setup = Conn();
    setup.config = sConfig;
    ProgramSession run(home, setup);
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();

    // Space marks the line under the cursor, a click in the mark column another; "a" marks the
    // systems the filter shows, again none of them; then all twelve.
    const struct {
        const char *pszKeys;
        int nClickRow;
        const char *pszCount;
    } asStep[] = {{"Space", 0, "1 of 12 marked"}, {"", 10, "2 of 12 marked"},
                  {"/ d b Enter a", 0, "5 of 12 marked"}, {"a", 0, "2 of 12 marked"},
                  {"/ Escape a", 0, "12 of 12 marked"}};
    for (const auto &sStep : asStep) {
        if (sStep.nClickRow > 0) session.Click(sStep.nClickRow, 2);
        if (sStep.pszKeys[0] != '\0') session.SendKeys(sStep.pszKeys);
        ASSERT_TRUE(session.WaitFor(sStep.pszCount)) << sStep.pszCount << session.Capture();
        if (sStep.nClickRow > 0) {
            EXPECT_EQ(session.Line(10).substr(0, 7), " *web03");
        }
    }

    // Ping fills in live and ends within the connect time limit of the mute system.
    const auto tStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.Press("Ping"));
    EXPECT_TRUE(session.WaitFor("Pinging 12 systems: 11 answered, 0 failed ... Ctrl-c stops",
                                10000)) << session.Capture();
    EXPECT_NE(session.Line(7).find("answers"), std::string::npos) << session.Capture();
    CloseMessage(session, "Pinged 12 systems: 11 answered, 1 failed.");
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(18));
    int nStamped = 0;
    for (std::istringstream sFile(home.ReadFile("config.ini")); std::getline(sFile, sConfig);)
        nStamped += IsStamp(ClauseValue(sConfig, "LastPing")) ? 1 : 0;
    EXPECT_EQ(nStamped, 11);

    // Run: one line per group, largest first; a group's output; its diff against the largest.
    ASSERT_TRUE(run.Press("Run"));
    ASSERT_TRUE(session.WaitFor("Run on Many")) << session.Capture();
    session.SendLiteral("cat " + TmpMark());
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("12 systems: 11 answered, 1 not reached.", 25000))
        << session.Capture();
    EXPECT_TRUE(run.Shows({{5, 3, "8 systems  exit 0  web[01-08]"},
                           {6, 3, "3 systems  exit 0  db[1-3]"},
                           {7, 3, "1 not reached  no answer  mute"}}));
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Lines 1-1 of 1.")) << session.Capture();
    EXPECT_EQ(session.Line(3), " first");
    session.SendKeys("Escape Down d");
    ASSERT_TRUE(session.WaitFor("+++ db[1-3]")) << session.Capture();
    EXPECT_TRUE(run.Shows({{3, 2, "--- web[01-08]"}, {6, 2, "-first"}, {7, 2, "+second"}}));
    session.SendKeys("Escape");

    // Save: text and JSON, the paths in the box; the files go before the end's check.
    ASSERT_TRUE(session.WaitFor("Save")) << session.Capture();
    ASSERT_TRUE(run.Press("Save"));
    ASSERT_TRUE(session.WaitFor(" and .json")) << session.Capture();
    const std::string sBox = session.Capture();
    const std::size_t nAt = sBox.find("/tmp/OrvikConn.Run.");
    ASSERT_NE(nAt, std::string::npos) << sBox;
    const std::string sText = sBox.substr(nAt, sBox.find(".txt", nAt) + 4 - nAt);
    const std::string sJson = sText.substr(0, sText.size() - 4) + ".json";
    EXPECT_NE(ReadTextFile(sText).find("\n8 systems  exit 0  web[01-08]\n"), std::string::npos);
    EXPECT_NE(ReadTextFile(sJson).find("{\"name\": \"mute\", \"address\": \"" + DeadHost()),
              std::string::npos) << ReadTextFile(sJson);
    EXPECT_EQ(ModeOf(sJson), 0600u);
    unlink(sText.c_str());
    unlink(sJson.c_str());
    session.SendKeys("Enter");

    // A node set typed as the target is reached besides the marked systems.
    ASSERT_TRUE(run.Press("Return"));
    ASSERT_TRUE(session.WaitFor("Run on Many")) << session.Capture();
    session.SendKeys("Tab");
    session.SendLiteral(SshHost());
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("13 systems: 12 answered, 1 not reached.", 25000))
        << session.Capture();
    EXPECT_NE(session.Line(5).find("9 systems  exit 0  "), std::string::npos) << session.Capture();
    EXPECT_NE(session.Line(5).find(SshHost()), std::string::npos) << session.Capture();

    // A report option as the command: Enter on its largest group shows the report as orvikdsys
    // does, cut into its titles, titled with the group's systems; Save writes that report.
    ASSERT_TRUE(run.Press("Return"));
    ASSERT_TRUE(session.WaitFor("Run on Many")) << session.Capture();
    session.SendKeys("BTab");
    for (int i = 0; i < 30; ++i) session.SendKeys("BSpace");
    session.SendLiteral("-cpu");
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("13 systems: 12 answered, 1 not reached.", 25000))
        << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Display CPU Information: ")) << session.Capture();
    EXPECT_TRUE(run.Shows({{3, 14, "Architecture:"}}));
    ASSERT_TRUE(run.Press("Save"));
    ASSERT_TRUE(session.WaitFor("Report saved in file: /tmp/OrvikDsys.-cpu.")) << session.Capture();
    const std::string sScreen = session.Capture();
    const std::size_t nFile = sScreen.find("/tmp/OrvikDsys");
    const std::string sSaved = sScreen.substr(nFile, sScreen.find(".txt", nFile) + 4 - nFile);
    EXPECT_EQ(ReadTextFile(sSaved).rfind("Display CPU Information: db[1-3],", 0), 0u) << sSaved;
    EXPECT_NE(ReadTextFile(sSaved).find("Architecture:"), std::string::npos);
    unlink(sSaved.c_str());
    session.SendKeys("Enter");

    // Ctrl-c stops a run; what came stays, the rest say they were stopped.
    ASSERT_TRUE(run.Press("Return"));
    ASSERT_TRUE(session.WaitFor("Run on Many")) << session.Capture();
    for (int i = 0; i < 30; ++i) session.SendKeys("BSpace");
    session.SendLiteral("sleep 20");
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Running sleep 20")) << session.Capture();
    // The line is drawn just before clush starts and takes the terminal: Ctrl-c goes to
    // clush only from then on.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    session.SendKeys("C-c");
    ASSERT_TRUE(session.WaitFor("stopped before the end", 8000)) << session.Capture();
    EXPECT_NE(session.Capture().find("13 not reached  stopped"), std::string::npos)
        << session.Capture();
    ASSERT_TRUE(run.Press("Return"));
    ASSERT_TRUE(run.Press("Cancel"));
    ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
    ASSERT_TRUE(run.Press("Return"));
    EXPECT_TRUE(run.Ends(0));
}

// Trust on many: one screen for the new keys of all marked systems, grouped by key; a known
// key, a changed key and a system that offers none are left as they are, and the changed one
// is never trusted in the batch. New keys go to the test HOME, under the test's Host block.
TEST(ConnMany, TrustAddsOnlyNewKeysAfterOneConfirmation)
{
    ORVIK_REQUIRE_SSH();
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kChangedKey);
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kDeadLink);
    ORVIK_REQUIRE_SSH_EXTRA(SshExtra::kPrivateTmp);
    TestHome home;
    const std::string sHostName = "orvik-many-" + std::to_string(getpid());
    const std::string sKnownHosts = home.sHome + "/kh";
    SshClientBlock block(sHostName, {"HostName 127.0.0.1", "UserKnownHostsFile " + sKnownHosts,
                                     "GlobalKnownHostsFile /dev/null", "CheckHostIP no"});
    ASSERT_EQ(block.Problem(), "");
    const std::string sChangedFile = SshConfigValue(ChangedKeyHost(), "userknownhostsfile");
    const std::string sChangedBefore = ReadTextFile(sChangedFile);
    home.WriteFile("config.ini",
                   "RemoteSystem " + sHostName + " " + SshPort() + " new1 " + SshUser() + "\n" +
                   "RemoteSystem " + sHostName + " " + TmpPort() + " new2 " + SshUser() + "\n" +
                   "RemoteSystem " + SshHost() + " " + SshPort() + " known " + SshUser() + "\n" +
                   "RemoteSystem " + ChangedKeyHost() + " " + ChangedKeyPort() + " changed " +
                   SshUser() + "\n" + "RemoteSystem " + DeadHost() + " " + DeadPort() +
                   " mute " + SshUser() + "\n");
    ProgramSession run(home, Conn());
    TmuxSession &session = run.Screen();
    ASSERT_TRUE(session.WaitFor(sListReady)) << session.Capture();
    session.SendKeys("a");
    ASSERT_TRUE(session.WaitFor("5 of 5 marked")) << session.Capture();
    ASSERT_TRUE(run.Press("Trust"));
    ASSERT_TRUE(session.WaitFor("Trust the new host keys of 2 systems?", 20000))
        << session.Capture();
    std::string sScan;
    ASSERT_EQ(RunProgram({"sh", "-c", "ssh-keyscan -t ed25519 -p " + SshPort() +
                                          " 127.0.0.1 2>/dev/null"}, &sScan), 0);
    const std::string sScreen = session.Capture();
    for (const std::string &sText :
         {FingerprintOf(sScan.substr(0, sScan.find('\n'))), std::string("new[1-2]"),
          std::string("already trusted: known"), std::string("no host key came: mute"),
          std::string("KEY CHANGED, select it alone and Trust: changed")})
        EXPECT_NE(sScreen.find(sText), std::string::npos) << sText << "\n" << sScreen;
    ASSERT_TRUE(run.Press("Trust"));
    CloseMessage(session, "Trusted the keys of 2 systems.");
    const std::string sKnown = ReadTextFile(sKnownHosts);
    for (const std::string &sPort : {SshPort(), TmpPort()}) {
        EXPECT_NE(sKnown.find("[127.0.0.1]:" + sPort + " ssh-ed25519 "), std::string::npos)
            << sKnown;
    }
    EXPECT_EQ(ReadTextFile(sChangedFile), sChangedBefore);
    // Stamped: the two trusted, by their names.
    std::istringstream sFile(home.ReadFile("config.ini"));
    std::string sTrusted;
    for (std::string sLine; std::getline(sFile, sLine);) {
        std::istringstream sWords(sLine);
        std::string sWord, sName;
        sWords >> sWord >> sWord >> sWord >> sName;
        if (IsStamp(ClauseValue(sLine, "LastTrust"))) sTrusted += sName + " ";
    }
    EXPECT_EQ(sTrusted, "new1 new2 ");
    ASSERT_TRUE(run.Press("Return"));
    EXPECT_TRUE(run.Ends(0));
}
