// The tmux driver itself: pane size, waiting, cell styles, key and mouse bytes, exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tmux_driver.h"

namespace {

// Reads nBytes raw key bytes in the pane and prints them in hex after "got:".
std::string HexReader(int nBytes) {
  return "stty raw -echo; echo ready; x=$(head -c " + std::to_string(nBytes) +
         " | od -An -tx1 -v | tr -s ' \\n' '  '); stty sane; echo \"got:$x:end\"";
}

TmuxOptions Sized(int nColumns, int nRows) {
  TmuxOptions options;
  options.nColumns = nColumns;
  options.nRows = nRows;
  return options;
}

}  // namespace

TEST(TmuxDriver, PaneHasTheRequestedSize) {
  for (auto [nColumns, nRows] : {std::pair{80, 24}, std::pair{120, 40}}) {
    TmuxSession session("echo \"size:$(stty size):$(tput cols)x$(tput lines)\"; sleep 30",
                        Sized(nColumns, nRows));
    std::string sRows = std::to_string(nRows), sColumns = std::to_string(nColumns);
    EXPECT_EQ(session.PaneSize(), sColumns + "x" + sRows);
    EXPECT_TRUE(session.WaitFor("size:" + sRows + " " + sColumns + ":" + sColumns + "x" + sRows));
  }
}

TEST(TmuxDriver, WaitForSeesTextAndTimesOut) {
  TmuxSession session("echo first; sleep 0.3; echo second; sleep 30");
  EXPECT_TRUE(session.WaitFor("second", 5000));
  EXPECT_EQ(session.Line(1), "first");
  EXPECT_EQ(session.Line(2), "second");
  EXPECT_EQ(session.Line(0), "");
  EXPECT_EQ(session.Line(25), "");

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(session.WaitFor("never printed", 400));
  auto nWaited = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(nWaited, 400);
  EXPECT_LT(nWaited, 3000);
  EXPECT_FALSE(session.WaitForGone("first", 200));
}

TEST(TmuxDriver, WaitForGoneSeesTheScreenCleared) {
  TmuxSession session("echo transient; sleep 0.3; clear; echo after; sleep 30");
  EXPECT_TRUE(session.WaitFor("transient"));
  EXPECT_TRUE(session.WaitForGone("transient"));
  EXPECT_TRUE(session.WaitFor("after"));
}

TEST(TmuxDriver, CellReadsColoursAndAttributes) {
  TmuxSession session(
      "printf 'ab\\033[1;34;43mX\\033[0mY\\n'"
      "; printf '\\033[7mR\\033[0m\\033[4mU\\033[0m\\033[2mD\\033[0m\\033[38;5;2;48;5;1mG\\033[0m\\n'"
      "; printf '\\033[44mfirst\\nsecond\\033[0m\\n'"
      "; printf 'end\\n'; sleep 30");
  ASSERT_TRUE(session.WaitFor("end"));

  CellStyle plain = session.Cell(1, 1);
  EXPECT_EQ(plain.sText, "a");
  EXPECT_EQ(plain.nForeground, -1);
  EXPECT_EQ(plain.nBackground, -1);
  EXPECT_FALSE(plain.bBold);

  CellStyle coloured = session.Cell(1, 3);
  EXPECT_EQ(coloured.sText, "X");
  EXPECT_EQ(coloured.nForeground, 4);
  EXPECT_EQ(coloured.nBackground, 3);
  EXPECT_TRUE(coloured.bBold);
  EXPECT_FALSE(coloured.bReverse);

  CellStyle after = session.Cell(1, 4);
  EXPECT_EQ(after.sText, "Y");
  EXPECT_EQ(after.nForeground, -1);
  EXPECT_EQ(after.nBackground, -1);
  EXPECT_FALSE(after.bBold);

  EXPECT_TRUE(session.Cell(2, 1).bReverse);
  EXPECT_TRUE(session.Cell(2, 2).bUnderline);
  EXPECT_FALSE(session.Cell(2, 2).bReverse);
  EXPECT_TRUE(session.Cell(2, 3).bDim);
  EXPECT_EQ(session.Cell(2, 4).nForeground, 2);
  EXPECT_EQ(session.Cell(2, 4).nBackground, 1);

  // a colour still in effect at the end of one line carries on into the next
  EXPECT_EQ(session.Cell(3, 1).nBackground, 4);
  EXPECT_EQ(session.Cell(4, 1).sText, "s");
  EXPECT_EQ(session.Cell(4, 1).nBackground, 4);
  EXPECT_EQ(session.Cell(5, 1).nBackground, -1);

  // cells past the written text are blank, default style
  EXPECT_EQ(session.Cell(1, 80).sText, " ");
  EXPECT_EQ(session.Cell(1, 80).nBackground, -1);
}

TEST(TmuxDriver, CellCountsWideCharactersAsTwoColumns) {
  TmuxOptions options;
  options.env["LANG"] = "C.UTF-8";
  TmuxSession session("printf '\\346\\227\\245\\346\\234\\254\\033[31mx\\033[0m|\\n'; sleep 30",
                      options);
  ASSERT_TRUE(session.WaitFor("x|"));
  EXPECT_EQ(session.Cell(1, 1).sText, "\u65e5");
  EXPECT_EQ(session.Cell(1, 2).sText, "");
  EXPECT_EQ(session.Cell(1, 3).sText, "\u672c");
  EXPECT_EQ(session.Cell(1, 5).sText, "x");
  EXPECT_EQ(session.Cell(1, 5).nForeground, 1);
  EXPECT_EQ(session.Cell(1, 6).sText, "|");
  EXPECT_EQ(session.Cell(1, 6).nForeground, -1);
  EXPECT_EQ(session.Row(1).size(), 80u);
}

TEST(TmuxDriver, ClickSendsX10ReportsForScreen) {
  TmuxSession session(HexReader(12));
  ASSERT_TRUE(session.WaitFor("ready"));
  session.Click(3, 5);
  EXPECT_TRUE(session.WaitFor("got: 1b 5b 4d 20 25 23 1b 5b 4d 23 25 23 :end"));
}

TEST(TmuxDriver, ClickPastColumn95SendsRawBytes) {
  TmuxSession session(HexReader(12), Sized(120, 40));
  ASSERT_TRUE(session.WaitFor("ready"));
  session.Click(40, 120);  // 0x21 + 119 = 0x98, 0x21 + 39 = 0x48
  EXPECT_TRUE(session.WaitFor("got: 1b 5b 4d 20 98 48 1b 5b 4d 23 98 48 :end"));
}

TEST(TmuxDriver, ClickSendsSgrReportsForXterm) {
  TmuxOptions options;
  options.sTerm = "xterm-256color";
  TmuxSession session(HexReader(20), options);
  ASSERT_TRUE(session.WaitFor("ready"));
  session.Click(3, 15);
  // ESC [ < 0 ; 1 5 ; 3 M  ESC [ < 0 ; 1 5 ; 3 m
  EXPECT_TRUE(session.WaitFor(
      "got: 1b 5b 3c 30 3b 31 35 3b 33 4d 1b 5b 3c 30 3b 31 35 3b 33 6d :end"));
}

TEST(TmuxDriver, KeysLiteralTextAndBytesArriveUnchanged) {
  TmuxSession session(HexReader(13));
  ASSERT_TRUE(session.WaitFor("ready"));
  session.SendKeys("Tab Down");          // 09, 1b 5b 42 (normal cursor key mode)
  session.SendLiteral("a b;$");          // 61 20 62 3b 24
  session.SendBytes(std::string("\x01\x7f\x00", 3));
  session.SendKeys("C-d");               // 04
  EXPECT_TRUE(session.WaitFor("got: 09 1b 5b 42 61 20 62 3b 24 01 7f 00 04 :end"));
}

TEST(TmuxDriver, ExitStatusIsCollected) {
  TmuxSession session("echo bye; exit 7");
  EXPECT_TRUE(session.WaitForExit());
  EXPECT_EQ(session.ExitStatus(), 7);
  EXPECT_FALSE(session.IsRunning());
  // the pane stays after the command ended, without a notice of tmux's own
  EXPECT_EQ(session.Line(1), "bye");
  EXPECT_EQ(session.Line(24), "");

  TmuxSession running("sleep 30");
  EXPECT_EQ(running.ExitStatus(), -1);
  EXPECT_TRUE(running.IsRunning());
  EXPECT_FALSE(running.WaitForExit(200));
}

TEST(TmuxDriver, CtrlCReachesTheProgram) {
  TmuxSession trapping("trap 'echo caught-int; exit 3' INT; echo armed; while :; do sleep 0.1; done");
  ASSERT_TRUE(trapping.WaitFor("armed"));
  trapping.SendKeys("C-c");
  EXPECT_TRUE(trapping.WaitFor("caught-int"));
  EXPECT_TRUE(trapping.WaitForExit());
  EXPECT_EQ(trapping.ExitStatus(), 3);

  // a program that does not catch it dies of it, and its status is still collected
  TmuxSession plain("echo sleeping; sleep 30");
  ASSERT_TRUE(plain.WaitFor("sleeping"));
  plain.SendKeys("C-c");
  EXPECT_TRUE(plain.WaitForExit());
  EXPECT_EQ(plain.ExitStatus(), 130);
}

TEST(TmuxDriver, TermEnvironmentAndWorkDirReachTheCommand) {
  TestHome home;
  TmuxOptions options;
  options.sTerm = "tmux-256color";
  options.env = home.Env();
  options.env["ORVIK_ODD"] = "it's a $value; `x`";
  options.sWorkDir = home.sOrvikDir;
  TmuxSession session(
      "echo \"[$TERM][$ORVIK_ODD]\"; pwd; echo \"$HOME\"; echo 'quoted '\"'\"'ok'\"'\"", options);
  EXPECT_TRUE(session.WaitFor("[tmux-256color][it's a $value; `x`]"));
  EXPECT_EQ(session.Line(2), home.sOrvikDir);
  EXPECT_EQ(session.Line(3), home.sHome);
  EXPECT_TRUE(session.WaitFor("quoted 'ok'"));
  EXPECT_TRUE(session.WaitForExit());
  EXPECT_EQ(session.ExitStatus(), 0);
}

TEST(TmuxDriver, SessionRemovesItsServer) {
  std::string sSocket;
  {
    TmuxSession session("sleep 30");
    sSocket = "/tmp/tmux-" + std::to_string(getuid()) + "/" + session.SocketName();
    EXPECT_TRUE(std::filesystem::exists(sSocket)) << sSocket;
  }
  EXPECT_FALSE(std::filesystem::exists(sSocket)) << sSocket;
}

TEST(TestHomeTest, CreatesFilesAndRemovesThem) {
  std::string sRoot;
  {
    TestHome home;
    sRoot = home.sRoot;
    EXPECT_EQ(sRoot.rfind("/tmp/orvik-test-", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_directory(home.sHome));
    EXPECT_TRUE(std::filesystem::is_directory(home.sOrvikDir));
    EXPECT_EQ(home.sLogFile, sRoot + "/OrvikLog.txt");
    EXPECT_EQ(home.ReadLog(), "");
    EXPECT_EQ(home.ReadFile("config.ini"), "");

    home.WriteFile("menus/main.xml", "<menu/>\n");
    EXPECT_EQ(home.ReadFile("menus/main.xml"), "<menu/>\n");
    home.WriteFile("menus/main.xml", "x");
    EXPECT_EQ(home.ReadFile("menus/main.xml"), "x");

    auto env = home.Env();
    EXPECT_EQ(env.at("HOME"), home.sHome);
    EXPECT_EQ(env.at("ORVIKDIR"), home.sOrvikDir);
    EXPECT_EQ(env.at("ORVIKLOGFILE"), home.sLogFile);
  }
  EXPECT_FALSE(std::filesystem::exists(sRoot));
}

TEST(ShellQuoteTest, PlainWordsStayAndOthersBecomeOneWord) {
  EXPECT_EQ(ShellQuote("/usr/bin/ls"), "/usr/bin/ls");
  EXPECT_EQ(ShellQuote("a=b,c:d@e%f+g"), "a=b,c:d@e%f+g");
  EXPECT_EQ(ShellQuote(""), "''");
  EXPECT_EQ(ShellQuote("a b"), "'a b'");
  std::string sHostile = "x'; touch /tmp/x; echo '$(id)`id`\n";
  std::string sOutput;
  EXPECT_EQ(RunProgram({"sh", "-c", "printf %s " + ShellQuote(sHostile)}, &sOutput), 0);
  EXPECT_EQ(sOutput, sHostile);
}
