// orvikfsys end to end: the real browser in tmux walks from "/" into a prepared folder tree,
// pages through it, opens detail pages and vi, locally and on the test OpenSSH server.
#include "test_services.h"
#include "orviklib.h"
#include "session.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string sBin = std::string(ORVIK_BIN_DIR) + "/orvikfsys";

void WriteText(const std::string &sPath, const std::string &sText)
{
    std::ofstream(sPath) << sText;
}

std::string TrimmedRight(std::string sText)
{
    while (!sText.empty() && sText.back() == ' ') sText.pop_back();
    return sText;
}

std::string UserName()
{
    struct passwd *psUser = getpwuid(geteuid());
    return psUser != nullptr ? psUser->pw_name : "";
}

// The text of nCount screen cells from a 1-based column, as tmux lays the row out: a wide
// character takes two cells, the second without text of its own.
std::string CellsText(const std::vector<CellStyle> &asCell, int nColumn, int nCount)
{
    std::string sText;
    for (int i = nColumn; i < nColumn + nCount && i >= 1 && i <= static_cast<int>(asCell.size()); ++i)
        sText += asCell[i - 1].sText;
    return sText;
}

// The browser in a pane of the given size, with the tree's owner's HOME, ORVIKDIR and log,
// and a UTF-8 character type.
class Browser {
  public:
    Browser(const TestHome &home, int nColumns, int nRows, const std::string &sExtra = "")
        : m_run(home, Setup(nColumns, nRows, sExtra))
    {
    }
    TmuxSession &Session() { return m_run.Screen(); }
    ProgramSession &Run() { return m_run; }
    int Margin() const
    {
        const int nColumns = m_run.Screen().Options().nColumns;
        return nColumns > 80 ? (nColumns - 80) / 2 : 0;
    }
    int BarRow() const { return m_run.Rows() - 1; }

    // The names on the page, one per data line from row 4, as the 40 cells of the name
    // column show them.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> asName;
        for (int nRow = 4; nRow < BarRow() - 1; ++nRow)
            asName.push_back(TrimmedRight(CellsText(m_run.Screen().Row(nRow), Margin() + 4, 40)));
        while (!asName.empty() && asName.back().empty()) asName.pop_back();
        return asName;
    }
    bool HasForward() const { return m_run.FindButton("Forward").nRow == BarRow(); }
    bool HasBackward() const { return m_run.FindButton("Backward").nRow == BarRow(); }
    // "page N" at the right end of row 2.
    std::string PageText() const
    {
        std::string sLine = m_run.Screen().Line(2);
        std::string::size_type nAt = sLine.find_first_not_of(' ');
        return nAt == std::string::npos ? "" : sLine.substr(nAt);
    }
    // The pane takes the new size; the screen built for it has settled. Until the browser has
    // drawn it the pane shows what it kept of the old screen: a title not centred for the
    // new width.
    bool Resize(int nColumns, int nRows)
    {
        m_run.Screen().Resize(nColumns, nRows);
        if (nColumns < 80 || nRows < 24)
            return m_run.WaitFor("Terminal too small: " + std::to_string(nColumns) + "x" +
                                 std::to_string(nRows) + ".");
        return m_run.WaitUntil([&] {
            const std::string sTitle = m_run.Screen().Line(1);
            const std::size_t nAt = sTitle.find_first_not_of(' ');
            return nAt != std::string::npos &&
                   static_cast<int>(nAt) == (nColumns - OVDisplayWidth(sTitle.substr(nAt))) / 2 - 1;
        }, "the title centred at the new width") && WaitChange("");
    }

    // Waits until the screen differs from sBefore (a new page, panel or program).
    bool WaitChange(const std::string &sBefore, int nMillis = 15000) const
    {
        return m_run.WaitForChange(sBefore, "Exit", nMillis);
    }
    // Keys, then the next settled screen.
    bool Press(const std::string &sKeys)
    {
        std::string sBefore = m_run.Screen().Capture();
        m_run.Screen().SendKeys(sKeys);
        return WaitChange(sBefore);
    }
    // A push button, then the next settled screen.
    bool Button(const std::string &sLabel)
    {
        std::string sBefore = m_run.Screen().Capture();
        return m_run.Press(sLabel) && WaitChange(sBefore);
    }
    // The data line the cursor stands on (0 for the first line of the page), -1 elsewhere.
    int CurrentLine() const
    {
        const int nRow = m_run.Screen().Cursor().first;
        return nRow >= 4 && nRow < BarRow() - 1 ? nRow - 4 : -1;
    }
    // The keys from the current line up to the page's first line.
    std::string ToFirstLine() const
    {
        std::string sKeys;
        for (int i = CurrentLine(); i > 0; --i) sKeys += "Up ";
        return sKeys;
    }
    bool Forward() { return Button("Forward"); }
    bool Backward() { return Button("Backward"); }

    // The keys from the current line (the first one when the cursor is on a button) to the
    // last entry shown as sName ("" if none).
    std::string KeysTo(const std::string &sName) const
    {
        std::vector<std::string> asName = Names();
        int nCurrent = std::max(CurrentLine(), 0);
        // On Forward or Backward (the cursor stays there after paging): Up leads back over
        // the buttons before it to the last line.
        std::string sUps;
        if (CurrentLine() < 0 && m_run.Screen().Cursor().first == BarRow() && !asName.empty()) {
            const ScreenText sForward = m_run.FindButton("Forward");
            const bool bPastForward =
                sForward.nRow != 0 && m_run.Screen().Cursor().second > sForward.nColumn + 4;
            sUps = bPastForward ? "Up Up " : "Up ";
            nCurrent = static_cast<int>(asName.size()) - 1;
        }
        for (std::size_t i = asName.size(); i-- > 0;) {
            std::string sShown = asName[i];
            if (sShown.rfind(" ", 0) == 0) sShown.erase(0, 1);  // a button word moved right
            // A name too long for its column ends in "~" where it was cut.
            const bool bCut = !sShown.empty() && sShown.back() == '~' && sShown.size() > 1 &&
                              sName.size() > sShown.size() &&
                              sName.compare(0, sShown.size() - 1, sShown, 0, sShown.size() - 1) == 0;
            if (sShown == sName || bCut) {
                std::string sKeys;
                for (int k = nCurrent; k < static_cast<int>(i); ++k) sKeys += "Down ";
                for (int k = nCurrent; k > static_cast<int>(i); --k) sKeys += "Up ";
                return sUps + sKeys + "Enter";
            }
        }
        return "";
    }
    // Chooses the entry shown as sName, paging forward to find it.
    bool Open(const std::string &sName)
    {
        for (int nPage = 0; nPage < 200; ++nPage) {
            std::string sKeys = KeysTo(sName);
            if (!sKeys.empty()) return Press(sKeys);
            if (!HasForward() || !Forward()) break;
        }
        ADD_FAILURE() << "no entry " << sName << " in\n" << m_run.Screen().Capture();
        return false;
    }
    // Down the path from "/", one folder a step: {"tmp/", "orvik-test-x/", ...}.
    bool Walk(const std::vector<std::string> &asFolder)
    {
        for (const std::string &sFolder : asFolder)
            if (!Open(sFolder)) return false;
        return true;
    }
    // The first page is on the screen and settled.
    bool Started() { return m_run.WaitFor("Orvik Explore Filesystems", 20000) && WaitChange(""); }
    // The listing file of this browser, "" unless there is exactly one.
    std::string ListingFile() const
    {
        const std::string sPrefix = "Orvikfsys." + std::to_string(m_run.Pid()) + ".";
        std::vector<std::string> asOwn;
        for (const std::string &sName : OrvikTempFiles())
            if (sName.rfind(sPrefix, 0) == 0 && sName.find(".Temp.txt") != std::string::npos)
                asOwn.push_back("/tmp/" + sName);
        return asOwn.size() == 1 ? asOwn.front() : "";
    }

  private:
    static ProgramSetup Setup(int nColumns, int nRows, const std::string &sExtra)
    {
        ProgramSetup setup;
        setup.sProgram = "orvikfsys";
        setup.sArgs = "-help 'Browse the files'" + sExtra;
        setup.nColumns = nColumns;
        setup.nRows = nRows;
        setup.env = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
        return setup;
    }
    ProgramSession m_run;
};

// The folders from "/" down to a path below /tmp.
std::vector<std::string> StepsTo(const std::string &sPath)
{
    std::vector<std::string> asStep;
    std::stringstream sParts(sPath);
    for (std::string sPart; std::getline(sParts, sPart, '/');)
        if (!sPart.empty()) asStep.push_back(sPart + "/");
    return asStep;
}

}  // namespace

TEST(FsysListing, FirstPageAndForwardToAPageBoundaryAt80x24)
{
    TestHome home;
    const std::string sTree = home.sRoot + "/tree";
    fs::create_directories(sTree + "/many");
    for (int i = 0; i < 286; ++i) {
        char szName[16];
        std::snprintf(szName, sizeof szName, "f%03d", i);
        WriteText(sTree + "/many/" + szName, "");
    }
    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();

    // The first page of "/": title with the folder, page number, headings, "./" first, white
    // on blue; no Backward before a page was turned.
    EXPECT_EQ(ColumnOf(session, 1, "Orvik Explore Filesystems: /"), (80 - 28) / 2);
    EXPECT_EQ(ColumnOf(session, 2, "page 1"), 72);
    EXPECT_FALSE(browser.HasBackward());
    EXPECT_EQ(ColumnOf(session, 3, "Directory/File Name"), 4);
    EXPECT_EQ(ColumnOf(session, 3, "Size"), 44);
    EXPECT_EQ(ColumnOf(session, 3, "Date Time"), 53);
    EXPECT_EQ(ColumnOf(session, 3, "Flags"), 68);
    std::vector<std::string> asRoot = browser.Names();
    ASSERT_GE(asRoot.size(), 2u);
    EXPECT_EQ(asRoot[0], "./");
    EXPECT_EQ(asRoot[1], "../");
    EXPECT_EQ(session.Cell(4, 4).nBackground, 4);
    EXPECT_EQ(session.Cell(4, 4).nForeground, 7);
    EXPECT_NE(session.Line(23).find("Help   Return   Exit"), std::string::npos);
    const std::string sOwn = browser.ListingFile();
    struct stat sListing {};
    ASSERT_EQ(lstat(sOwn.c_str(), &sListing), 0) << sOwn;
    EXPECT_EQ(sListing.st_mode & 0777, 0600u);

    ASSERT_TRUE(browser.Walk(StepsTo(sTree + "/many")));
    EXPECT_EQ(session.Line(1), std::string((80 - 28 - sTree.size() - 5) / 2 - 1, ' ') +
                                   "Orvik Explore Filesystems: " + sTree + "/many/");
    EXPECT_EQ(browser.PageText(), "page 1");
    // A data line stands under its headings.
    const std::string sFirst = session.Line(6);
    EXPECT_EQ(ColumnOf(session, 6, "f000"), 4) << sFirst;
    EXPECT_EQ(sFirst.substr(42, 3), " 0 ") << "size at column 44: " << sFirst;
    EXPECT_EQ(sFirst.substr(52, 2) + sFirst[54] + sFirst[60] + sFirst[63], "12/-:") << sFirst;
    EXPECT_EQ(ColumnOf(session, 6, "-rw-r--r--"), 68) << sFirst;

    // Help on page 2 shows the help text, then page 2 again.
    ASSERT_TRUE(browser.Forward());
    // After Forward or Backward the cursor stays on it: Enter turns the next page or the one
    // before.
    ASSERT_TRUE(browser.Press("Enter"));
    EXPECT_EQ(browser.PageText(), "page 3");
    ASSERT_TRUE(browser.Backward() && browser.Press("Enter"));
    EXPECT_EQ(browser.PageText(), "page 1");
    ASSERT_TRUE(browser.Forward());

    const std::vector<std::string> asPage2 = browser.Names();
    ASSERT_TRUE(browser.Run().Press("Help"));
    ASSERT_TRUE(session.WaitFor("Browse the files")) << session.Capture();
    ASSERT_TRUE(browser.Press("Enter"));
    EXPECT_EQ(browser.Names(), asPage2);

    // 288 rows (./, ../ and 286 files) fill 16 pages of 18 exactly: the 16th still offers
    // Forward, which leads to a page without lines and without Forward. Every name once.
    std::multiset<std::string> asSeen(asPage2.begin(), asPage2.end());
    int nPages = 2;
    while (browser.HasForward() && nPages < 30) {
        ASSERT_EQ(browser.Names().size(), 18u) << "only a full page offers Forward";
        ASSERT_TRUE(browser.Forward()) << session.Capture();
        ++nPages;
        for (const std::string &sName : browser.Names()) asSeen.insert(sName);
    }
    EXPECT_EQ(nPages, 17);
    EXPECT_EQ(browser.PageText(), "page 17");
    EXPECT_TRUE(browser.Names().empty()) << session.Capture();
    EXPECT_EQ(asSeen.size(), 286u - 16u);  // all but page 1: f016 .. f285
    for (int i = 16; i < 286; ++i) {
        char szName[16];
        std::snprintf(szName, sizeof szName, "f%03d", i);
        EXPECT_EQ(asSeen.count(szName), 1u) << szName;
    }
    // The cursor is on Return when the page has no lines; Finish removes the listing files.
    session.SendKeys("Enter");
    EXPECT_TRUE(browser.Run().Ends(0));
    EXPECT_FALSE(fs::exists(sOwn));
    EXPECT_EQ(home.ReadLog().find("Error   "), std::string::npos) << home.ReadLog();
}

// A config.ini that does not load (Windows line ends, more than 100 systems): the loader's
// sentence in a red box before any listing, then 8, and the file as it was.
TEST(FsysListing, ConfigThatDoesNotLoadIsSaidBeforeTheEnd)
{
    std::string sSystems;
    for (int i = 1; i <= 101; i++)
        sSystems += "RemoteSystem 10.0.1." + std::to_string(i) + " 22 s" + std::to_string(i) + " root\n";
    const std::pair<std::string, std::string> asCase[] = {
        {"RemoteSystem 10.0.0.5 22 web1 root\r\nPanelForegroundColor is White\r\n",
         "PanelForegroundColor statement has invalid color specified: White^M."},
        {sSystems, "Too many RemoteSystem commands, at most 100 are kept, command: RemoteSystem."}};
    for (const auto &[sConfig, sSentence] : asCase) {
        TestHome home;
        home.WriteFile("config.ini", sConfig);
        Browser browser(home, 160, 24);
        TmuxSession &session = browser.Session();
        ASSERT_TRUE(browser.Run().FailureBox("Configuration " + home.sOrvikDir +
                                             "/config.ini not loaded: " + sSentence))
            << session.Capture();
        EXPECT_EQ(session.Cell(8, 2).nBackground, 1) << session.Capture();
        EXPECT_EQ(session.Capture().find("Orvik Explore Filesystems"), std::string::npos);
        session.SendKeys("Enter");
        EXPECT_TRUE(browser.Run().Ends(8));
        EXPECT_EQ(home.ReadFile("config.ini"), sConfig);
        // The loader's one error line, and no second one from the browser.
        const std::string sLog = home.ReadLog();
        const std::string::size_type nError = sLog.find("Error   ");
        ASSERT_NE(nError, std::string::npos) << sLog;
        EXPECT_EQ(sLog.find("Error   ", nError + 1), std::string::npos) << sLog;
        EXPECT_EQ(sLog.find("orvikfsys Initialize: LoadConfigurationValues failed"),
                  std::string::npos) << sLog;
    }
}

TEST(FsysListing, FolderStepsAThousandTimesAndTheFolderTableLimit)
{
    TestHome home;
    const std::string sTree = home.sRoot + "/tree";
    std::string sDeep = sTree + "/deep";
    for (int i = 0; i < 100; ++i) sDeep += "/d";
    fs::create_directories(sDeep);
    fs::create_directories(sTree + "/sub");
    WriteText(sTree + "/sub/inner.txt", "inner");

    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();
    const std::string sOwn = browser.ListingFile();
    ASSERT_TRUE(browser.Walk(StepsTo(sTree)));
    const std::vector<std::string> asTree = {"./", "../", "deep/", "sub/"};
    ASSERT_EQ(browser.Names(), asTree);
    ASSERT_TRUE(browser.Open("sub/"));
    EXPECT_EQ(browser.Names(), (std::vector<std::string>{"./", "../", "inner.txt"}));
    ASSERT_TRUE(browser.Open("../"));
    ASSERT_EQ(browser.Names(), asTree);

    // "./" lists the folder afresh: the listing file is written again.
    struct stat sOld {}, sNew {};
    ASSERT_EQ(lstat(sOwn.c_str(), &sOld), 0) << sOwn;
    sNew = sOld;
    session.SendKeys("Enter");
    EXPECT_TRUE(PollUntil([&] {
        lstat(sOwn.c_str(), &sNew);
        return sNew.st_mtim.tv_nsec != sOld.st_mtim.tv_nsec;
    }));

    // Into sub/ and back up through ../ (which lands on sub/ again), a thousand times, then
    // into deep/: only then does a page show "d/".
    session.SendKeys("Down Down Down");
    for (int nBatch = 0; nBatch < 20; ++nBatch) {
        std::string sKeys;
        for (int i = 0; i < 50; ++i) sKeys += "Enter Down Enter ";
        session.SendKeys(sKeys);
    }
    session.SendKeys("Up Enter");
    const std::vector<std::string> asDeep = {"./", "../", "d/"};
    PollUntil([&] { return browser.Names() == asDeep; }, 150000);
    ASSERT_EQ(browser.Names(), asDeep) << session.Capture();

    // deep/ is level 4 (tmp/, orvik-test-x/, tree/ before it): the 96th d/ would be entry
    // 100 of the folder table and is refused with a logged error; the browser goes on, the
    // cursor still on the refused line, where Enter is refused once more.
    std::string sKeys;
    for (int i = 0; i < 96; ++i) sKeys += "Down Down Enter ";
    session.SendKeys(sKeys);
    std::string sRefused = sTree + "/deep";
    for (int i = 0; i < 96; ++i) sRefused += "/d";
    const std::string sError = "Error   orvikfsys Process_Request: Unable to enter folder " +
                               sRefused + "/: too many folder levels (level 100).";
    EXPECT_TRUE(browser.Run().WaitForLog(sError, 60000));
    std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find(sError), std::string::npos) << sLog;
    EXPECT_EQ(sLog.find("Error   "), sLog.find(sError)) << "no other error before it";
    ASSERT_TRUE(browser.WaitChange(""));
    EXPECT_EQ(browser.Names(), asDeep);
    EXPECT_EQ(browser.CurrentLine(), 2);
    session.SendKeys("Enter");
    EXPECT_TRUE(browser.Run().WaitForLog(sError, 60000, 2));
    sLog = home.ReadLog();
    EXPECT_NE(sLog.find(sError), sLog.rfind(sError)) << "refused twice";
    ASSERT_TRUE(browser.WaitChange(""));
    EXPECT_EQ(browser.Names(), asDeep);
    ASSERT_TRUE(browser.Run().Press("Exit"));
    EXPECT_TRUE(browser.Run().Ends(9, 30000));
}

TEST(FsysDetail, PermissionsLinkAndBrowseAt120x40)
{
    TestHome home;
    const std::string sTree = home.sRoot + "/tree";
    fs::create_directories(sTree + "/sub");
    WriteText(sTree + "/wonly.txt", "write only\n");
    chmod((sTree + "/wonly.txt").c_str(), 0200);
    WriteText(sTree + "/readme.txt", "hello from readme\n");
    fs::create_directory_symlink("sub", sTree + "/dirlink");
    fs::create_directories(sTree + "/vanished");

    Browser browser(home, 120, 40);
    TmuxSession &session = browser.Session();
    const int m = browser.Margin();
    ASSERT_EQ(m, 20);
    ASSERT_TRUE(browser.Started()) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 3, "Directory/File Name"), m + 4);
    EXPECT_EQ(ColumnOf(session, 3, "Flags"), m + 68);
    EXPECT_EQ(ColumnOf(session, 4, "drwxr-xr-x"), m + 68);
    ASSERT_TRUE(browser.Walk(StepsTo(sTree)));
    EXPECT_EQ(browser.Names().size(), 7u) << session.Capture();

    // A file the user owns with mode 0200: Edit but no Browse; row 14 names the class.
    ASSERT_TRUE(browser.Open("wonly.txt"));
    ASSERT_TRUE(session.WaitFor("Orvik File Details"));
    EXPECT_EQ(ColumnOf(session, 1, "Orvik File Details"), (120 - 18) / 2);
    EXPECT_EQ(ColumnOf(session, 3, "Name: " + sTree + "/wonly.txt"), m + 10);
    EXPECT_EQ(ColumnOf(session, 5, "Type: Regular File"), m + 10);
    EXPECT_EQ(ColumnOf(session, 7, "Owner: " + UserName()), m + 9);
    EXPECT_EQ(ColumnOf(session, 10, "Permissions: Read  Write  Exec"), m + 3);
    EXPECT_EQ(ColumnOf(session, 11, "Owner: No    Yes    No"), m + 9);
    EXPECT_EQ(ColumnOf(session, 13, "Others: No    No     No"), m + 8);
    char szUser[64];
    std::snprintf(szUser, sizeof szUser, "%13.13s:", UserName().c_str());
    EXPECT_EQ(session.Line(14).substr(m, 45),
              std::string(szUser) + " No    Yes    No  (Owner Match)");
    EXPECT_EQ(ColumnOf(session, 16, "Last Access:"), m + 3);
    EXPECT_EQ(ColumnOf(session, 16, "Bytes:       11"), m + 57);
    EXPECT_EQ(ColumnOf(session, 12, "Links:        1"), m + 57);
    const std::string sBar = session.Line(39);
    EXPECT_EQ(sBar.find("Browse"), std::string::npos) << sBar;
    EXPECT_NE(sBar.find("Edit   Help   Return   Exit"), std::string::npos) << sBar;
    ASSERT_TRUE(browser.Press("Enter"));  // Return: the same page of the listing

    // A link to a folder is entered as the folder, under the link's name; the folder's own
    // "./" row shows the link's detail page, and "../" goes back where the link was.
    ASSERT_TRUE(browser.Open("dirlink"));
    EXPECT_NE(session.Line(1).find(sTree + "/dirlink/"), std::string::npos) << session.Capture();
    EXPECT_EQ(browser.Names().size(), 2u) << session.Capture();
    ASSERT_TRUE(browser.Open("./"));
    EXPECT_EQ(ColumnOf(session, 3, "Name: " + sTree + "/dirlink"), m + 10);
    EXPECT_EQ(ColumnOf(session, 5, "Type: Directory"), m + 10);
    ASSERT_TRUE(browser.Press("Enter"));   // Return: the link's folder again
    ASSERT_TRUE(browser.Open("../"));
    EXPECT_EQ(browser.Names().size(), 7u) << session.Capture();

    // A folder that went away after it was listed: a box says why, and the user stays in the
    // folder they came from, listed afresh.
    fs::remove(sTree + "/vanished");
    session.SendKeys(browser.KeysTo("vanished/"));
    ASSERT_TRUE(session.WaitFor("Cannot list " + sTree + "/vanished/: No such file or directory"))
        << session.Capture();
    ASSERT_TRUE(browser.Press("Enter"));
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    EXPECT_NE(session.Line(1).find(sTree + "/"), std::string::npos) << session.Capture();
    EXPECT_EQ(browser.Names().size(), 6u) << session.Capture();

    // Browse opens vi read-only on the very file.
    ASSERT_TRUE(browser.Open("readme.txt"));
    EXPECT_NE(session.Line(39).find("Browse   Edit   Help   Return   Exit"), std::string::npos);
    ASSERT_TRUE(browser.Run().Press("Browse"));
    ASSERT_TRUE(session.WaitFor("hello from readme")) << session.Capture();
    ASSERT_TRUE(session.WaitFor("readonly")) << session.Capture();
    EXPECT_NE(session.Capture().find("readme.txt"), std::string::npos);
    ASSERT_TRUE(browser.Run().LeaveVi("Directory/File Name")) << session.Capture();
    EXPECT_EQ(browser.Names().size(), 6u) << "the page the user came from";
    EXPECT_EQ(browser.CurrentLine(), 3) << "the line of readme.txt";
    ASSERT_TRUE(browser.Run().Press("Exit"));
    EXPECT_TRUE(browser.Run().Ends(9));
}

// Names of accented and wide characters and one of 120 characters: size, date and flags stand
// at the same screen columns on every row, a name too wide for its column ends in "~", and
// every entry opens from its row. Pages turn both ways, and changes of size keep the folder,
// the page's first line and the current line, on the listing and on a detail page.
TEST(FsysLayout, WideNamesPagesAndChangesOfSize)
{
    TestHome home;
    const std::string sTree = home.sRoot + "/wide";
    fs::create_directories(sTree + "/zsub");
    const std::string sCafe = "caf\u00e9_r\u00e9sum\u00e9_na\u00efve.txt";
    const std::string sName9 = "\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb\u540d";  // 18 columns
    const std::string sJapanese = sName9 + ".txt";
    const std::string sLongJapanese = sName9 + sName9 + sName9 + "\u65e5\u672c\u8a9e.txt";
    // 120 characters in 235 bytes: its listing row is longer than 254 bytes.
    std::string sLong = "long-";
    for (int i = 0; i < 115; ++i) sLong += "\u00e9";
    ASSERT_EQ(sLong.size(), 235u);
    WriteText(sTree + "/" + sCafe, "cafe\n");
    WriteText(sTree + "/" + sJapanese, "nihongo\n");
    WriteText(sTree + "/" + sLongJapanese, "nagai\n");
    WriteText(sTree + "/" + sLong, "the long one\n");
    for (int i = 0; i < 40; ++i) WriteText(sTree + "/f" + std::to_string(10 + i), "");

    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();
    ASSERT_TRUE(browser.Walk(StepsTo(sTree)));

    // Every data line: size at 44, the date-time at 53, the flags at 68 from the margin.
    auto ExpectColumns = [&](const char *pszWhere) {
        const int m = browser.Margin();
        int nLines = 0;
        for (int nRow = 4; nRow < browser.BarRow() - 1; ++nRow) {
            const std::vector<CellStyle> asCell = session.Row(nRow);
            if (TrimmedRight(CellsText(asCell, m + 4, 40)).empty()) continue;
            ++nLines;
            const std::string sDate = CellsText(asCell, m + 53, 14);
            SCOPED_TRACE(std::string(pszWhere) + ", row " + std::to_string(nRow) + ": " +
                         session.Line(nRow));
            EXPECT_NE(CellsText(asCell, m + 44, 1), " ");
            EXPECT_EQ(CellsText(asCell, m + 43, 1) == " " || CellsText(asCell, m + 43, 1) == "~", true);
            EXPECT_EQ(std::string() + sDate[2] + sDate[5] + sDate[8] + sDate[11], "//-:") << sDate;
            EXPECT_EQ(CellsText(asCell, m + 52, 1), " ");
            const std::string sFlags = CellsText(asCell, m + 68, 10);
            EXPECT_TRUE(sFlags == "-rw-r--r--" || sFlags == "-rw-------" || sFlags.rfind("drwx", 0) == 0)
                << sFlags;
        }
        EXPECT_GT(nLines, 0) << pszWhere;
    };
    auto Contains = [](const std::vector<std::string> &asName, const std::string &sName) {
        return std::find(asName.begin(), asName.end(), sName) != asName.end();
    };

    // Page 1 shows the folder in the title; the accented name is whole.
    EXPECT_EQ(ColumnOf(session, 1, "Orvik Explore Filesystems: " + sTree + "/"),
              (80 - 28 - static_cast<int>(sTree.size())) / 2);
    EXPECT_EQ(browser.PageText(), "page 1");
    EXPECT_TRUE(Contains(browser.Names(), sCafe)) << session.Capture();
    ExpectColumns("page 1");
    const std::vector<std::string> asPage1 = browser.Names();

    // Forward, Backward, and Forward to the last page, which holds the wide names.
    ASSERT_TRUE(browser.Forward());
    EXPECT_EQ(browser.PageText(), "page 2");
    EXPECT_NE(session.Line(23).find("Forward   Backward   Help   Return   Exit"), std::string::npos);
    ExpectColumns("page 2");
    ASSERT_TRUE(browser.Backward());
    EXPECT_EQ(browser.PageText(), "page 1");
    EXPECT_EQ(browser.Names(), asPage1);
    ASSERT_TRUE(browser.Forward());
    ASSERT_TRUE(browser.Forward());
    EXPECT_EQ(browser.PageText(), "page 3");
    EXPECT_FALSE(browser.HasForward());
    const std::vector<std::string> asPage3 = browser.Names();
    EXPECT_TRUE(Contains(asPage3, sJapanese)) << session.Capture();
    EXPECT_TRUE(Contains(asPage3, sLongJapanese.substr(0, 19 * 3) + "~")) << session.Capture();
    EXPECT_TRUE(Contains(asPage3, sLong.substr(0, 5 + 34 * 2) + "~")) << session.Capture();
    ExpectColumns("page 3");

    // The 120-character name opens from its row: its own page, 13 bytes; the name goes on
    // over the row below. Return comes back to the same page and line.
    auto ExpectLongDetail = [&](const char *pszWhere) {
        SCOPED_TRACE(pszWhere);
        const int m = browser.Margin();
        ASSERT_TRUE(session.WaitFor("Orvik File Details")) << session.Capture();
        const std::string sPath = sTree + "/" + sLong;
        EXPECT_EQ(ColumnOf(session, 3, "Name: " + sPath.substr(0, 20)), m + 10) << session.Capture();
        EXPECT_EQ(ColumnOf(session, 5, "Type: Regular File"), m + 10);
        EXPECT_EQ(ColumnOf(session, 16, "Bytes:       13"), m + 57) << session.Capture();
        // Row 3 then row 4 read as the path, up to where the panel ends.
        const std::string sShown = session.Line(3).substr(m + 15) + session.Line(4).substr(m + 15);
        EXPECT_EQ(sShown.substr(0, sShown.size() - 1), sPath.substr(0, sShown.size() - 1));
    };
    ASSERT_TRUE(browser.Open(sLong));
    ExpectLongDetail("opened from its row");
    ASSERT_TRUE(browser.Press("Enter"));
    EXPECT_EQ(browser.PageText(), "page 3");
    EXPECT_EQ(browser.Names(), asPage3);
    ASSERT_TRUE(browser.Press("Enter"));  // the cursor is back on the long name's line
    ExpectLongDetail("the same line again");

    // A detail page built again at 132x43 and at 80x24 keeps its button: the cursor moved
    // to Help before the changes opens the help box.
    ASSERT_TRUE(browser.Resize(132, 43));
    EXPECT_EQ(ColumnOf(session, 1, "Orvik File Details"), (132 - 18) / 2);
    ExpectLongDetail("at 132x43");
    session.SendKeys("BTab");
    ASSERT_TRUE(browser.Resize(80, 24));
    ExpectLongDetail("at 80x24 again");
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Browse the files")) << session.Capture();
    ASSERT_TRUE(browser.Press("Enter"));
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    EXPECT_EQ(browser.PageText(), "page 3");

    // The listing at 132x43: the same folder, the page from the same first line, the columns
    // in place, and the current line still the long name's.
    ASSERT_TRUE(browser.Resize(132, 43));
    EXPECT_EQ(ColumnOf(session, 1, "Orvik Explore Filesystems: " + sTree + "/"),
              (132 - 28 - static_cast<int>(sTree.size())) / 2);
    EXPECT_EQ(browser.PageText(), "page 3");
    EXPECT_EQ(browser.Names(), asPage3);
    EXPECT_TRUE(browser.HasBackward());
    ExpectColumns("page 3 at 132x43");
    ASSERT_TRUE(browser.Press("Enter"));
    ExpectLongDetail("from 132x43");
    ASSERT_TRUE(browser.Press("Enter"));

    // Through the notice of a terminal too small and back: still page 3 and that line.
    ASSERT_TRUE(browser.Resize(40, 12));
    EXPECT_EQ(session.Capture().find("Directory/File Name"), std::string::npos);
    ASSERT_TRUE(browser.Resize(80, 24));
    EXPECT_EQ(browser.PageText(), "page 3");
    EXPECT_EQ(browser.Names(), asPage3);
    ExpectColumns("page 3 after the notice");
    ASSERT_TRUE(browser.Press("Enter"));
    ExpectLongDetail("after the notice");
    ASSERT_TRUE(browser.Press("Enter"));

    // A folder entered starts at its page 1; the folder gone back to shows the page and line
    // of the folder just left. The cursor is still on the long name's line, and zsub/ follows.
    ASSERT_TRUE(browser.Press("Down Enter"));
    EXPECT_EQ(browser.PageText(), "page 1");
    EXPECT_EQ(browser.Names(), (std::vector<std::string>{"./", "../"}));
    EXPECT_FALSE(browser.HasBackward());
    ASSERT_TRUE(browser.Open("../"));
    EXPECT_EQ(browser.PageText(), "page 3");
    EXPECT_EQ(browser.Names(), asPage3);
    ASSERT_GE(browser.CurrentLine(), 0);
    EXPECT_EQ(asPage3[static_cast<std::size_t>(browser.CurrentLine())], "zsub/");

    ASSERT_TRUE(browser.Run().Press("Exit"));
    EXPECT_TRUE(browser.Run().Ends(9));
    EXPECT_EQ(home.ReadLog().find("Error   "), std::string::npos) << home.ReadLog();
}

// --help and -h print the usage and end with 0 before anything is logged; the text after
// -help is the Help button's text, not an option.
TEST(FsysUsage, HelpOptionPrintsUsage)
{
    TestHome home;
    for (const char *pszOption : {"--help", "-h"}) {
        std::string sOutput;
        EXPECT_EQ(RunProgram({"env", "ORVIKLOGFILE=" + home.sLogFile, sBin, "debug", pszOption},
                             &sOutput),
                  0)
            << pszOption;
        EXPECT_EQ(sOutput.rfind("Usage: orvikfsys [debug] [dump] [help] [-help TEXT] [PATH]\n", 0), 0u)
            << sOutput;
        EXPECT_NE(sOutput.find("Return       on the listing: end the browser"), std::string::npos);
        EXPECT_NE(sOutput.find("Manual: man orvikfsys\n"), std::string::npos);
        EXPECT_FALSE(fs::exists(home.sLogFile)) << pszOption;
    }
    std::string sOutput;
    EXPECT_EQ(RunProgram({"env", "ORVIKLOGFILE=" + home.sLogFile, sBin, "-help", "--help", "help"},
                         &sOutput),
              1);
    EXPECT_NE(sOutput.find("orvikfsys provides the following runtime options:"), std::string::npos)
        << sOutput;
    EXPECT_EQ(sOutput.find("Usage:"), std::string::npos) << sOutput;
}

TEST(FsysHostileNames, OpenedAsThemselvesAndNothingRuns)
{
    TestHome home;
    const std::string sTree = home.sRoot + "/hostile";
    fs::create_directories(sTree);
    const std::string sLong = "a-name-of-forty-five-characters-for-the-list";  // 44
    const std::vector<std::string> asName = {"$(touch MARK)", "a;b",  "`touch MARK2`", "-rf",
                                             "q'u\"o",        "my file.txt", sLong + "X",
                                             "Exit now"};
    for (const std::string &sName : asName) WriteText(sTree + "/" + sName, "content of " + sName + "\n");
    WriteText(sTree + "/new\nline", "newline\n");
    WriteText(sTree + "/new", "a different file\n");

    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();
    ASSERT_TRUE(browser.Walk(StepsTo(sTree)));

    for (const std::string &sName : asName) {
        SCOPED_TRACE(sName);
        ASSERT_TRUE(browser.Open(sName));
        ASSERT_TRUE(session.WaitFor("Orvik File Details"));
        EXPECT_EQ(session.Line(3),
                  TrimmedRight((std::string(9, ' ') + "Name: " + sTree + "/" + sName).substr(0, 80)));
        EXPECT_EQ(ColumnOf(session, 5, "Type: Regular File"), 10);
        // Browse shows the file's own text in vi.
        ASSERT_TRUE(browser.Run().Press("Browse"));
        ASSERT_TRUE(session.WaitFor("content of " + sName)) << session.Capture();
        ASSERT_TRUE(browser.Run().LeaveVi("Directory/File Name")) << session.Capture();
    }

    // "new\nline" shows as "new" and the rest; its line is refused, never "new" opened.
    std::vector<std::string> asShown = browser.Names();
    int nNew = 0;
    for (std::size_t i = 0; i < asShown.size(); ++i) nNew += asShown[i] == "new";
    EXPECT_EQ(nNew, 2) << session.Capture();
    // The longer name sorts after its prefix, so the last "new" is "new\nline".
    session.SendKeys(browser.KeysTo("new"));
    EXPECT_TRUE(browser.Run().WaitForLog("Refusing to open new...: the name holds a newline."))
        << home.ReadLog();
    ASSERT_TRUE(session.WaitFor("Directory/File Name"));
    EXPECT_EQ(session.Capture().find("Orvik File Details"), std::string::npos);

    ASSERT_TRUE(browser.Run().Press("Exit"));
    EXPECT_TRUE(browser.Run().Ends(9));
    for (const std::string &sDir : {home.sRoot, sTree, home.sHome})
        for (const char *pszMark : {"/MARK", "/MARK2"})
            EXPECT_FALSE(fs::exists(sDir + pszMark)) << sDir + pszMark;
}

namespace {

// Output of a command on the test sshd through a plain ssh call.
std::string RemoteShell(const std::string &sCommand)
{
    std::string sOutput;
    RunProgram({"ssh", "-n", "-p", SshPort(), SshUser() + "@" + SshHost(), sCommand}, &sOutput);
    return sOutput;
}

}  // namespace

TEST(FsysRemote, ListingDetailCopyAndAFailedStat)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    const std::string sPid = std::to_string(getpid());
    const std::string sDir = "/tmp/orvik-fsys-" + sPid;
    const std::string sData = "data-" + sPid + ".txt";
    const std::string sHostile = "x$(touch MARK)y" + sPid;
    RemoteShell("rm -rf " + sDir + " && mkdir -p " + sDir + " && cd " + sDir +
                " && echo remote data here > " + sData + " && : > empty.txt && echo gone > gone.txt" +
                " && echo hostile copy > '" + sHostile + "' && mkdir sub && ln -s sub dirlink" +
                " && ln -s empty.txt filelink");
    home.WriteFile("config.ini", "RemoteSystem " + SshHost() + " " + SshPort() + " test " +
                                     SshUser() + " Connected\n");
    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();
    EXPECT_EQ(session.Line(1), std::string((80 - 29 - SshHost().size()) / 2 - 1, ' ') +
                                   "Orvik Explore Filesystems: " + SshHost() + ":/");
    ASSERT_TRUE(browser.Walk(StepsTo(sDir)));
    EXPECT_EQ(browser.Names(),
              (std::vector<std::string>{"./", "../", sData, "dirlink", "empty.txt", "filelink",
                                        "gone.txt", "sub/", sHostile}));

    // A link to a folder is entered under its own name; a link to a file shows its page.
    ASSERT_TRUE(browser.Open("dirlink"));
    ASSERT_TRUE(session.WaitFor(sDir + "/dirlink/")) << session.Capture();
    EXPECT_EQ(browser.Names(), (std::vector<std::string>{"./", "../"}));
    ASSERT_TRUE(browser.Open("../"));
    session.SendKeys(browser.KeysTo("filelink"));
    ASSERT_TRUE(session.WaitFor("File: " + sDir + "/filelink")) << session.Capture();
    ASSERT_TRUE(session.WaitFor("Help   Return   Exit")) << session.Capture();
    ASSERT_TRUE(browser.Press("Enter"));   // Return: the folder again, on the link's line
    ASSERT_TRUE(session.WaitFor("gone.txt")) << session.Capture();
    EXPECT_EQ(browser.CurrentLine(), 5) << session.Capture();

    // The remote detail page: each label at its place, the value one blank after it.
    ASSERT_TRUE(browser.Open(sData));
    ASSERT_TRUE(session.WaitFor("Orvik File Details: " + SshHost()));
    const std::vector<ScreenText> asPlace = {
        {5, 17, "Type: regular file"}, {5, 63, "Links: 1"},   {7, 17, "Size: 17"},
        {7, 41, "Blocks:"},            {7, 60, "IO Block:"},  {9, 15, "Device:"},
        {9, 42, "Inode:"},             {11, 15, "Access: (0644/-rw-r--r--)"},
        {11, 44, "Uid: ("},            {12, 44, "Gid: ("},    {16, 14, "Last Access: 20"},
        {17, 14, "Last Modify: 20"},   {18, 14, "Last Change: 20"}};
    // Built again from the same stat output at 132x43, and at 80x24 again below.
    ASSERT_TRUE(browser.Resize(132, 43));
    EXPECT_EQ(ColumnOf(session, 1, "Orvik File Details: " + SshHost()),
              (132 - 20 - static_cast<int>(SshHost().size())) / 2);
    EXPECT_EQ(ColumnOf(session, 3, "File: " + sDir + "/" + sData), 26 + 17) << session.Capture();
    EXPECT_EQ(ColumnOf(session, 7, "Size: 17"), 26 + 17);
    EXPECT_NE(session.Line(42).find("Copy   Help   Return   Exit"), std::string::npos);
    ASSERT_TRUE(browser.Resize(80, 24));
    EXPECT_EQ(ColumnOf(session, 3, "File: " + sDir + "/" + sData), 17) << session.Capture();
    EXPECT_TRUE(browser.Run().Shows(asPlace));
    EXPECT_EQ(session.Line(14), "") << "no security context on this system";
    EXPECT_EQ(session.Line(16).size(), 13u + 19u + 13u);
    EXPECT_NE(session.Line(23).find("Copy   Help   Return   Exit"), std::string::npos);

    // A link at the copy's name in /tmp is never written through: the copy is refused.
    const std::string sLocal = "/tmp/" + sData;
    const std::string sTarget = home.sRoot + "/link-target";
    std::remove(sLocal.c_str());
    fs::create_symlink(sTarget, sLocal);
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor("Not copied, a symbolic link: " + sLocal)) << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    EXPECT_FALSE(fs::exists(sTarget));
    EXPECT_NE(home.ReadLog().find("orvikfsys DoCopyFile: Refusing to copy " + sDir + "/" + sData),
              std::string::npos)
        << home.ReadLog();
    std::remove(sLocal.c_str());

    // Copy brings the file to /tmp and opens it.
    ASSERT_TRUE(browser.Open(sData));
    ASSERT_TRUE(session.WaitFor("Orvik File Details: " + SshHost()));
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor("remote data here", 20000)) << session.Capture();
    ASSERT_TRUE(browser.Run().LeaveVi("Directory/File Name")) << session.Capture();
    EXPECT_EQ(ReadTextFile(sLocal), "remote data here\n");
    struct stat sInfo {};
    EXPECT_EQ(lstat(sLocal.c_str(), &sInfo), 0);
    EXPECT_EQ(sInfo.st_uid, geteuid());
    std::remove(sLocal.c_str());

    // An empty file offers no Copy.
    ASSERT_TRUE(browser.Open("empty.txt"));
    ASSERT_TRUE(session.WaitFor("Type: regular empty file")) << session.Capture();
    EXPECT_EQ(session.Line(23).find("Copy"), std::string::npos) << session.Line(23);
    ASSERT_TRUE(browser.Press("Enter"));

    // A hostile name is shown and copied as itself; nothing runs on either side.
    const std::string sHostileLocal = "/tmp/" + sHostile;
    ASSERT_TRUE(browser.Open(sHostile));
    ASSERT_TRUE(session.WaitFor("File: " + sDir + "/" + sHostile)) << session.Capture();
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor("hostile copy", 20000)) << session.Capture();
    ASSERT_TRUE(browser.Run().LeaveVi("Directory/File Name")) << session.Capture();
    EXPECT_TRUE(fs::exists(sHostileLocal));
    std::remove(sHostileLocal.c_str());
    EXPECT_EQ(RemoteShell("ls " + sDir + " ~ | grep -c '^MARK$'"), "0\n");
    EXPECT_FALSE(fs::exists(home.sRoot + "/MARK"));
    EXPECT_FALSE(fs::exists(home.sHome + "/MARK"));

    // A file gone between listing and detail page: the remote stat fails, a box shows
    // stat's complaint, the log says why, and the browser is back on its listing.
    RemoteShell("rm -f " + sDir + "/gone.txt");
    session.SendKeys(browser.KeysTo("gone.txt"));
    ASSERT_TRUE(session.WaitFor("stat: cannot statx '" + sDir + "/gone.txt'", 20000))
        << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("gone.txt")) << session.Capture();
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    ASSERT_TRUE(browser.Run().Press("Return"));
    EXPECT_TRUE(browser.Run().Ends(0, 20000));
    const std::string sLog = home.ReadLog();
    EXPECT_NE(sLog.find("orvikfsys Do_Remote_Detail_Values: Unable to execute Remote stat "
                        "command, return: 101."),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("Remote stat of " + sDir + "/gone.txt: stat: cannot statx"),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("No such file or directory"), std::string::npos);
    RemoteShell("rm -rf " + sDir);
}

TEST(FsysRemote, CopyReplacesTheUsersFileOnlyAfterYesAndOnlyByAWholeCopy)
{
    ORVIK_REQUIRE_SSH();
    TestHome home;
    const std::string sPid = std::to_string(getpid());
    const std::string sDir = "/tmp/orvik-fsys-copy-" + sPid;
    const std::string sData = "data-" + sPid + ".txt";
    RemoteShell("rm -rf " + sDir + " && mkdir -p " + sDir + " && echo remote data here > " +
                sDir + "/" + sData);
    home.WriteFile("config.ini", "RemoteSystem " + SshHost() + " " + SshPort() + " test " +
                                     SshUser() + " Connected\n");
    Browser browser(home, 80, 24);
    TmuxSession &session = browser.Session();
    ASSERT_TRUE(browser.Started()) << session.Capture();
    ASSERT_TRUE(browser.Walk(StepsTo(sDir)));
    const std::string sLocal = "/tmp/" + sData;

    // The user's own file at the name is replaced only after a Yes, and only by a whole
    // copy: No keeps it, and so does a remote file swapped for a link after its page was
    // shown, which is not fetched.
    WriteText(sLocal, "mine\n");
    ASSERT_EQ(chmod(sLocal.c_str(), 0644), 0);
    auto ExpectMine = [&](const char *pszWhen) {
        struct stat sMine {};
        EXPECT_EQ(lstat(sLocal.c_str(), &sMine), 0) << pszWhen;
        EXPECT_EQ(sMine.st_mode & 07777, 0644u) << pszWhen;
        EXPECT_EQ(ReadTextFile(sLocal), "mine\n") << pszWhen;
    };
    ASSERT_TRUE(browser.Open(sData));
    ASSERT_TRUE(session.WaitFor("Orvik File Details: " + SshHost()));
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor(sLocal + " exists. Replace it?")) << session.Capture();
    EXPECT_NE(session.Capture().find("Yes   No"), std::string::npos) << session.Capture();
    session.SendKeys("Enter");  // the cursor waits on No
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    ExpectMine("after No");

    ASSERT_TRUE(browser.Open(sData));
    ASSERT_TRUE(session.WaitFor("Orvik File Details: " + SshHost()));
    RemoteShell("cd " + sDir + " && mv " + sData + " real.txt && echo secret > secret.txt && ln -s "
                "secret.txt " + sData);
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor(sLocal + " exists. Replace it?")) << session.Capture();
    session.SendLiteral("y");
    ASSERT_TRUE(session.WaitFor("Not copied, no longer a regular file: " + sDir + "/"))
        << session.Capture();
    session.SendKeys("Enter");
    ASSERT_TRUE(session.WaitFor("Directory/File Name")) << session.Capture();
    ExpectMine("after a link was fetched");
    RemoteShell("cd " + sDir + " && rm " + sData + " secret.txt && mv real.txt " + sData);
    // This browser's own copies only: other tests may be copying at the same time.
    const pid_t nBrowser = session.ProgramPid("orvikfsys");
    ASSERT_NE(nBrowser, 0);
    const std::string sOwnCopies = "Orvikfsys." + std::to_string(nBrowser) + ".Copy.";
    for (const auto &sEntry : fs::directory_iterator("/tmp"))
        EXPECT_NE(sEntry.path().filename().string().rfind(sOwnCopies, 0), 0u)
            << "a copy's temporary file is left: " << sEntry.path();

    // Yes (Tab to it, Enter) replaces it with the copy, which keeps the file's mode.
    ASSERT_TRUE(browser.Open(sData));
    ASSERT_TRUE(session.WaitFor("Orvik File Details: " + SshHost()));
    ASSERT_TRUE(browser.Run().Press("Copy"));
    ASSERT_TRUE(session.WaitFor(sLocal + " exists. Replace it?")) << session.Capture();
    session.SendKeys("Tab Enter");
    ASSERT_TRUE(session.WaitFor("remote data here", 20000)) << session.Capture();
    ASSERT_TRUE(browser.Run().LeaveVi("Directory/File Name")) << session.Capture();
    {
        struct stat sReplaced {};
        EXPECT_EQ(lstat(sLocal.c_str(), &sReplaced), 0);
        EXPECT_EQ(sReplaced.st_mode & 07777, 0644u);
        EXPECT_EQ(ReadTextFile(sLocal), "remote data here\n");
    }
    std::remove(sLocal.c_str());

    RemoteShell("rm -rf " + sDir);
}

namespace {

// Keys sent one by one and counted: a text costs a key per character.
struct CountedKeys {
    TmuxSession &session;
    int nKeys = 0;
    void Key(const std::string &sKey) { ++nKeys, session.SendKeys(sKey); }
    void Type(const std::string &sText)
    {
        for (unsigned char c : sText) nKeys += (c & 0xC0) != 0x80;
        session.SendLiteral(sText);
    }
};

}  // namespace

// /usr/bin/ssh-keygen's detail page in a few keys: from the first screen with "g", and from
// the first page of /usr/bin (orvikfsys PATH) with the filter alone; "../" then lands on bin/.
TEST(FsysFind, SshKeygenInAFewKeys)
{
    ASSERT_TRUE(fs::exists("/usr/bin/ssh-keygen"));
    TestHome home;
    for (const bool bFromRoot : {true, false}) {
        SCOPED_TRACE(bFromRoot ? "from /" : "from /usr/bin");
        Browser browser(home, 80, 24, bFromRoot ? "" : " /usr/bin");
        TmuxSession &session = browser.Session();
        ASSERT_TRUE(browser.Started()) << session.Capture();
        CountedKeys keys{session};
        if (bFromRoot) {
            keys.Key("g");
            keys.Type("/usr/bin");
            keys.Key("Enter");
            ASSERT_TRUE(session.WaitFor("Filesystems: /usr/bin/", 10000)) << session.Capture();
        }
        keys.Key("/");
        keys.Type("ssh-keyg");
        ASSERT_TRUE(session.WaitFor("Filesystems: /usr/bin/  [ssh-keyg]")) << session.Capture();
        ASSERT_TRUE(browser.WaitChange(""));
        EXPECT_EQ(browser.Names(), (std::vector<std::string>{"./", "../", "ssh-keygen"}));
        keys.Key("Enter");
        keys.Key("Enter");
        ASSERT_TRUE(session.WaitFor("Name: /usr/bin/ssh-keygen")) << session.Capture();
        EXPECT_LE(keys.nKeys, bFromRoot ? 25 : 12);
        ASSERT_TRUE(browser.Press("Enter"));   // Return: the filtered page, then up
        ASSERT_TRUE(browser.Press(browser.KeysTo("../")));
        const auto InUsr = [&] { return TrimmedRight(session.Line(1)).ends_with("Filesystems: /usr/"); };
        ASSERT_TRUE(browser.Run().WaitUntil(InUsr, "/usr/ listed")) << session.Capture();
        ASSERT_TRUE(browser.WaitChange(""));
        const int nLine = browser.CurrentLine();
        ASSERT_GE(nLine, 0) << session.Capture();
        EXPECT_EQ(browser.Names()[static_cast<std::size_t>(nLine)], "bin/") << session.Capture();
        // A path that cannot be listed says why; the user stays in /usr/.
        session.SendKeys("g");
        session.SendLiteral("/no/such");
        session.SendKeys("Enter");
        ASSERT_TRUE(session.WaitFor("Cannot list /no/such/: No such file or directory"));
        ASSERT_TRUE(browser.Press("Enter"));
        EXPECT_TRUE(browser.Run().WaitUntil(InUsr, "/usr/ listed again")) << session.Capture();
        ASSERT_TRUE(browser.Run().Press("Exit"));
        EXPECT_TRUE(browser.Run().Ends(9));
    }
}

// The filter, paging keys, sort and hidden toggle in a folder of 100,000 entries, locally and
// through the test sshd: names with blanks, accents, CJK and a newline, and no match.
TEST(FsysFind, FilterPagesSortAndHiddenInAHundredThousandEntries)
{
    const std::string sDir = "/tmp/orvik-fsys-big-" + std::to_string(getpid());
    const std::string sCafe = "Caf\u00e9 cr\u00e8me", sCjk = "\u65e5\u672c\u8a9e.txt";
    // The same tree here and on the sshd's side, which has a /tmp of its own.
    const std::string sMake =
        "python3 -c 'import os,sys,time\nd=sys.argv[1]\nos.makedirs(d)\nos.chdir(d)\n"
        "for i in range(99993): open(\"file-%06d\" % i, \"w\").close()\n"
        "for n in [\"Caf\\u00e9 cr\\u00e8me\", \"\\u65e5\\u672c\\u8a9e.txt\", \"new\\nline name\",\n"
        "          \".dot file\", \"newest\", \"large\"]: open(n, \"w\").close()\n"
        "os.truncate(\"large\", 64 << 20)\nt = time.time() + 86400\nos.utime(\"newest\", (t, t))\n"
        "os.utime(\".\", (t - 3600, t - 3600))\nos.chmod(\".\", 0o755)' " + sDir;
    ASSERT_EQ(RunProgram({"sh", "-c", sMake}), 0);

    for (const bool bRemote : {false, true}) {
        SCOPED_TRACE(bRemote ? "remote" : "local");
        TestHome home;
        if (bRemote) {
            ORVIK_REQUIRE_SSH();
            home.WriteFile("config.ini", "RemoteSystem " + SshHost() + " " + SshPort() + " test " +
                                             SshUser() + " Connected\n");
            RemoteShell(sMake);
        }
        Browser browser(home, 80, 24, " " + sDir);
        TmuxSession &session = browser.Session();
        ASSERT_TRUE(browser.Run().WaitFor("file-000000", 60000)) << session.Capture();
        ASSERT_TRUE(browser.Started());
        // bKeep: Enter keeps the filter first; Escape then removes the kept filter.
        auto Filter = [&](const std::string &sText, const std::vector<std::string> &asNames,
                          bool bKeep = false) {
            SCOPED_TRACE(sText);
            session.SendKeys("/");
            session.SendLiteral(sText);
            ASSERT_TRUE(session.WaitFor("/  [" + sText + "]")) << session.Capture();
            ASSERT_TRUE(browser.WaitChange(""));
            std::vector<std::string> asWanted = {"./", "../"};
            asWanted.insert(asWanted.end(), asNames.begin(), asNames.end());
            EXPECT_EQ(browser.Names(), asWanted) << session.Capture();
            if (bKeep) {
                ASSERT_TRUE(browser.Press("Enter"));
                EXPECT_NE(session.Line(1).find("[" + sText + "]"), std::string::npos);
            }
            ASSERT_TRUE(browser.Press("Escape"));
            // A kept filter goes with the cursor left on its first match, in the whole list.
            EXPECT_TRUE(session.WaitFor(bKeep ? asNames.back() : "file-000000")) << session.Capture();
            EXPECT_EQ(session.Line(1).find("["), std::string::npos);
        };
        Filter("CAF\u00c9", {sCafe});
        Filter("\u65e5\u672c", {sCjk});
        Filter("e nam", {"new"});   // the rest of the name is on the row below, not a line
        Filter("-09999", {"file-099990", "file-099991", "file-099992"}, true);
        // No match: said, and the filter stays open to mend; Backspace past it removes it.
        session.SendKeys("/");
        session.SendLiteral("zq");
        ASSERT_TRUE(session.WaitFor("No entry matches zq")) << session.Capture();
        session.SendKeys("Enter BSpace");
        ASSERT_TRUE(session.WaitFor("/  [z]")) << session.Capture();
        session.SendKeys("BSpace");
        ASSERT_TRUE(session.WaitFor("file-000000")) << session.Capture();
        EXPECT_EQ(session.Line(1).find("["), std::string::npos);

        // Pages by key: End, PgUp, Home, PgDn.
        const int nLast = (2 + 99999 + 1 + 17) / 18;   // ./, ../, the entries, the newline's rest
        ASSERT_TRUE(browser.Press("End"));
        EXPECT_EQ(browser.PageText(), "page " + std::to_string(nLast));
        EXPECT_EQ(browser.Names().back(), sCjk);
        ASSERT_TRUE(browser.Press("PPage"));
        EXPECT_EQ(browser.PageText(), "page " + std::to_string(nLast - 1));
        ASSERT_TRUE(browser.Press("NPage"));
        EXPECT_EQ(browser.PageText(), "page " + std::to_string(nLast));
        ASSERT_TRUE(browser.Press("Home"));
        EXPECT_EQ(browser.PageText(), "page 1");

        // Hidden entries off and on again.
        EXPECT_EQ(browser.Names()[2], ".dot file");
        ASSERT_TRUE(browser.Press("."));
        EXPECT_EQ(browser.Names()[2], sCafe) << session.Capture();
        ASSERT_TRUE(browser.Press("."));
        EXPECT_EQ(browser.Names()[2], ".dot file");

        // Sort: by time (newest first), by size (largest first), by name again.
        session.SendKeys("s");
        ASSERT_TRUE(session.WaitFor("/  by time", 60000)) << session.Capture();
        ASSERT_TRUE(browser.WaitChange(""));
        EXPECT_EQ(browser.Names()[0], "newest") << session.Capture();
        session.SendKeys("s");
        ASSERT_TRUE(session.WaitFor("/  by size", 60000)) << session.Capture();
        ASSERT_TRUE(browser.WaitChange(""));
        EXPECT_EQ(browser.Names()[0], "large") << session.Capture();
        session.SendKeys("s");
        ASSERT_TRUE(session.WaitFor("file-000000", 60000)) << session.Capture();
        EXPECT_EQ(session.Line(1).find(" by "), std::string::npos) << session.Line(1);
        ASSERT_TRUE(browser.Run().Press("Exit"));
        EXPECT_TRUE(browser.Run().Ends(9, 30000));
    }
    fs::remove_all(sDir);
    RemoteShell("rm -rf " + sDir);
}
