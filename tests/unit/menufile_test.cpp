// The menu file reader: the chain it builds from small menu files, and the program heap.
#include "orvikmenu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class MenuFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/orvik-menufile-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        sDir = szTemplate;
        sLog = sDir + "/OrvikLog.txt";
        setenv("ORVIKLOGFILE", sLog.c_str(), 1);
        bDebug = 0;
        ASSERT_EQ(BuildAnchorBlock(), OVRC_OK);
        ResetMenuReader();
    }
    void TearDown() override
    {
        ResetMenuReader();
        ReleaseAnchorBlock();
        unsetenv("ORVIKLOGFILE");
        bDebug = 0;
        fs::remove_all(sDir);
    }

    std::string WriteMenu(const std::string &sXml, const std::string &sName = "menu.xml")
    {
        std::string sPath = sDir + "/" + sName;
        std::ofstream(sPath) << sXml;
        return sPath;
    }

    // Reads the text as a menu file and returns the chain.
    std::vector<MENUITEM *> Read(const std::string &sXml)
    {
        sPath = WriteMenu(sXml);
        int nItems = ReadMenuFile(sPath.c_str());
        std::vector<MENUITEM *> apsItems;
        for (MENUITEM *psItem = psMenuItem_First; psItem != nullptr; psItem = psItem->psMenuItemNext)
            apsItems.push_back(psItem);
        EXPECT_EQ(nItems, static_cast<int>(apsItems.size()));
        EXPECT_EQ(apsItems.empty() ? nullptr : apsItems.back(), psMenuItem_Last);
        return apsItems;
    }

    std::string ReadLog() const
    {
        std::ifstream sFile(sLog);
        std::stringstream sText;
        sText << sFile.rdbuf();
        return sText.str();
    }

    std::string sDir, sLog, sPath;
};

std::string Item(const std::string &sTitle, const std::string &sInvoke,
                 const std::string &sInner = "")
{
    return "<MenuItem><Title>" + sTitle + "</Title><Invoke>" + sInvoke + "</Invoke>" + sInner +
           "</MenuItem>\n";
}

} // namespace

TEST(MenuAnchorBlock, IsLaidOutLikeAPanelWithItsFirstChunkInside)
{
    ASSERT_EQ(BuildAnchorBlock(), OVRC_OK);
    auto *pBlock = reinterpret_cast<unsigned char *>(psPabOrvik);
    HEAP *psHeap = psPabOrvik->psHeapFirst;
    EXPECT_EQ(std::memcmp(psPabOrvik->szEyeCatcher, "PANELBLK", 8), 0);
    EXPECT_EQ(reinterpret_cast<unsigned char *>(psHeap), pBlock + sizeof(PABI));
    EXPECT_EQ(psPabOrvik->psHeapCurrent, psHeap);
    EXPECT_EQ(std::memcmp(psHeap->szEyeCatcher, "PHEAPBLK", 8), 0);
    EXPECT_EQ(psHeap->pHeap, pBlock);
    EXPECT_EQ(psHeap->pHeapFree, pBlock + sizeof(PABI) + sizeof(HEAP));
    EXPECT_EQ(psHeap->nHeapSize, OVHEAPCHUNKSIZE);
    EXPECT_EQ(psHeap->psHeapNext, nullptr);
    EXPECT_GT(psPabOrvik->nRows, 0);
    EXPECT_GT(psPabOrvik->nColumns, 0);
    ReleaseAnchorBlock();
    EXPECT_EQ(psPabOrvik, nullptr);
}

TEST_F(MenuFileTest, ItemsTakeTheirDepthAndTheNameOfTheLatestSubmenu)
{
    auto apsItems = Read("<Menu>\n" + Item("Browser", "orvikfsys", "<Help>Browse</Help>") +
                         "<MenuItem><Title>Tools</Title><Invoke>SubMenu</Invoke>\n" +
                         Item("Disk", "df") + Item("Memory", "free") + "</MenuItem>\n" +
                         Item("Shell", "Shell") +
                         "<MenuItem><Title>Last</Title><Invoke>SubMenu</Invoke>" +
                         Item("Inner", "true") + "</MenuItem></Menu>\n");
    ASSERT_EQ(apsItems.size(), 7u);
    struct Expected { int nLevel; const char *pszName, *pszAction, *pszSubMenu; };
    const Expected asExpected[] = {
        {1, "Browser", "orvikfsys", "Main Menu"}, {1, "Tools", "SubMenu", "Main Menu"},
        {2, "Disk", "df", "Tools"},               {2, "Memory", "free", "Tools"},
        // nesting does not bring the outer name back
        {1, "Shell", "Shell", "Tools"},           {1, "Last", "SubMenu", "Tools"},
        {2, "Inner", "true", "Last"},
    };
    for (std::size_t i = 0; i < apsItems.size(); i++) {
        SCOPED_TRACE(asExpected[i].pszName);
        EXPECT_EQ(std::memcmp(apsItems[i]->szEyeCatcher, "MITEMBLK", 8), 0);
        EXPECT_EQ(apsItems[i]->nLevel, asExpected[i].nLevel);
        EXPECT_STREQ(apsItems[i]->szName, asExpected[i].pszName);
        EXPECT_STREQ(apsItems[i]->szAction, asExpected[i].pszAction);
        EXPECT_STREQ(apsItems[i]->szSavedSubMenu, asExpected[i].pszSubMenu);
    }
    ASSERT_NE(apsItems[0]->pszHelpText, nullptr);
    EXPECT_STREQ(apsItems[0]->pszHelpText, "Browse");
    EXPECT_EQ(apsItems[1]->pszHelpText, nullptr);
    EXPECT_EQ(bHaveMenuItem, 0);
}

TEST_F(MenuFileTest, ItemsAfterANestedSubmenuBelongToTheSubmenuThatContainsThem)
{
    // System > Hardware > (Disks, Memory), then Uptime back in System, then a second nested
    // submenu, then a main-menu item and a wrapped one, which keep the latest name as before.
    auto apsItems = Read(
        "<Menu><MenuItem><Title>System</Title><Invoke>SubMenu</Invoke>" +
        std::string("<MenuItem><Title>Hardware</Title><Invoke>SubMenu</Invoke>") +
        Item("Disks", "lsblk") + Item("Memory", "free") + "</MenuItem>" + Item("Uptime", "uptime") +
        "<MenuItem><Title>Network</Title><Invoke>SubMenu</Invoke>" + Item("Links", "ip") +
        "</MenuItem>" + Item("Clock", "date") + "</MenuItem>" + Item("Shell", "Shell") +
        "<Group>" + Item("Wrapped", "true") + "</Group></Menu>");
    struct Expected { const char *pszName; int nLevel; const char *pszSubMenu; };
    const Expected asExpected[] = {
        {"System", 1, "Main Menu"}, {"Hardware", 2, "System"}, {"Disks", 3, "Hardware"},
        {"Memory", 3, "Hardware"},  {"Uptime", 2, "System"},   {"Network", 2, "System"},
        {"Links", 3, "Network"},    {"Clock", 2, "System"},    {"Shell", 1, "Network"},
        {"Wrapped", 2, "Network"},
    };
    ASSERT_EQ(apsItems.size(), std::size(asExpected));
    for (std::size_t i = 0; i < apsItems.size(); i++) {
        SCOPED_TRACE(asExpected[i].pszName);
        EXPECT_STREQ(apsItems[i]->szName, asExpected[i].pszName);
        EXPECT_EQ(apsItems[i]->nLevel, asExpected[i].nLevel);
        EXPECT_STREQ(apsItems[i]->szSavedSubMenu, asExpected[i].pszSubMenu);
    }
}

TEST_F(MenuFileTest, SubmenuWordIsCaseSensitiveAndWrapperElementsDeepenTheLevel)
{
    auto apsItems = Read("<Menu>" + Item("Tools", "SubMenu") + Item("Lower", "submenu") +
                         Item("After", "ls") + "<Group>" + Item("Wrapped", "true") +
                         "</Group></Menu>");
    ASSERT_EQ(apsItems.size(), 4u);
    EXPECT_STREQ(apsItems[2]->szSavedSubMenu, "Tools");
    EXPECT_STREQ(apsItems[3]->szSavedSubMenu, "Tools");
    EXPECT_EQ(apsItems[3]->nLevel, 2);
}

TEST_F(MenuFileTest, TextIsVerbatimCutAt127AndLaterTextReplacesEarlier)
{
    std::string sLong(200, 'T');
    std::string sLongAction(130, 'a');
    auto apsItems = Read("<Menu><MenuItem><Title>" + sLong + "</Title><Invoke>" + sLongAction +
                         "</Invoke></MenuItem>"
                         "<MenuItem><Title>  padded &amp; more\n</Title><Invoke>first</Invoke>"
                         "<Invoke>second</Invoke><Help>one</Help><Help>two</Help></MenuItem>"
                         "<MenuItem><Help>only help</Help></MenuItem></Menu>");
    ASSERT_EQ(apsItems.size(), 3u);
    EXPECT_EQ(std::string(apsItems[0]->szName), sLong.substr(0, 127));
    EXPECT_EQ(std::string(apsItems[0]->szAction), sLongAction.substr(0, 127));
    EXPECT_STREQ(apsItems[1]->szName, "  padded & more\n");
    EXPECT_STREQ(apsItems[1]->szAction, "second");
    EXPECT_STREQ(apsItems[1]->pszHelpText, "two");
    EXPECT_STREQ(apsItems[2]->szName, "");
    EXPECT_STREQ(apsItems[2]->szAction, "");
}

TEST_F(MenuFileTest, HelpTextLongerThanAHeapChunkIsKeptWhole)
{
    std::string sHelp;
    for (int i = 0; sHelp.size() < 200000; i++)
        sHelp += "line " + std::to_string(i) + " of the help text\n";
    sHelp.resize(200000);
    auto apsItems = Read("<Menu>" + Item("Big", "true", "<Help>" + sHelp + "</Help>") +
                         Item("After", "true", "<Help>small</Help>") + "</Menu>");
    ASSERT_EQ(apsItems.size(), 2u);
    ASSERT_NE(apsItems[0]->pszHelpText, nullptr);
    EXPECT_EQ(std::strlen(apsItems[0]->pszHelpText), sHelp.size());
    EXPECT_EQ(std::string(apsItems[0]->pszHelpText), sHelp);
    EXPECT_STREQ(apsItems[1]->pszHelpText, "small");
    EXPECT_STREQ(apsItems[1]->szName, "After");
    EXPECT_NE(psPabOrvik->psHeapFirst->psHeapNext, nullptr);
}

TEST_F(MenuFileTest, CdataSectionsAndTextOutsideItemsAreIgnored)
{
    auto apsItems = Read("<Menu>stray text<Title>Stray</Title>"
                         "<MenuItem><Title><![CDATA[Hidden]]></Title><Invoke>ls</Invoke>"
                         "<Help><![CDATA[hidden help]]></Help></MenuItem></Menu>");
    ASSERT_EQ(apsItems.size(), 1u);
    EXPECT_STREQ(apsItems[0]->szName, "");
    EXPECT_STREQ(apsItems[0]->szAction, "ls");
    EXPECT_EQ(apsItems[0]->pszHelpText, nullptr);
}

TEST_F(MenuFileTest, MissingFileIsLoggedAndLeavesTheChainEmpty)
{
    std::string sMissing = sDir + "/nothing.xml";
    EXPECT_EQ(ReadMenuFile(sMissing.c_str()), 0);
    EXPECT_EQ(psMenuItem_First, nullptr);
    EXPECT_NE(ReadLog().find("Error   Orvik Initialize: Unable to open XML File " + sMissing +
                             ".  Return: 0."),
              std::string::npos)
        << ReadLog();
}

TEST_F(MenuFileTest, MalformedFileKeepsTheItemsReadBeforeTheError)
{
    // The text reader hands out nodes a stretch behind its parser, so the error is placed
    // well into the file for items to have been read before it.
    std::string sXml = "<Menu>";
    for (int i = 0; i < 300; i++)
        sXml += Item("I" + std::to_string(i), "true");
    sXml += "<MenuItem><Title>Broken</Title></Oops>" + Item("Never", "true") + "</Menu>";
    auto apsItems = Read(sXml);
    ASSERT_GE(apsItems.size(), 200u);
    for (std::size_t i = 0; i < apsItems.size(); i++)
        ASSERT_EQ(std::string(apsItems[i]->szName), "I" + std::to_string(i));
    std::string sLog = ReadLog();
    EXPECT_NE(sLog.find("Error   Orvik Initialize: Unable to parse XML File " + sPath +
                        ".  Return: -1."),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("Opening and ending tag mismatch"), std::string::npos) << sLog;
}

TEST_F(MenuFileTest, AMenuOfMoreItemsThanShownIsNamedOnceWithTheFileAndTheLimit)
{
    // 1000 items in the main menu fit; a submenu of 1001 does not, however its items mix.
    std::string sMain, sTools;
    for (int i = 0; i < 1001; i++) {
        sTools += Item("T" + std::to_string(i), "true");
        sMain += i < 999 ? Item("M", "true") : "";
    }
    Read("<Menu>" + sMain + "<MenuItem><Title>Tools</Title><Invoke>SubMenu</Invoke>" + sTools +
         "</MenuItem></Menu>");
    const std::string sNotice =
        "Menu file " + sPath + ": \"Tools\" has 1001 items; only the first 1000 of a menu are shown";
    EXPECT_EQ(MenuFileNotice(), sNotice);
    const std::string sLog = ReadLog();
    const std::size_t nAt = sLog.find("Warning Orvik Initialize: " + sNotice + ".");
    ASSERT_NE(nAt, std::string::npos) << sLog;
    EXPECT_EQ(sLog.find("Menu file", nAt + sNotice.size()), std::string::npos) << "once";
}

TEST_F(MenuFileTest, StructureTableListsEveryItem)
{
    std::string sHelp(60, 'h');
    Read("<Menu>" + Item("Browser", "orvikfsys", "<Help>" + sHelp + "</Help>") +
         Item("Plain", "ls") + "</Menu>");
    LogMenuStructure();
    std::string sLog = ReadLog();
    auto Pad = [](std::string s) { s.resize(32, ' '); return s; };
    EXPECT_NE(sLog.find("\nOrvik: Menu Structure:\n"), std::string::npos) << sLog;
    EXPECT_NE(sLog.find("Orvik: Level  Name"), std::string::npos);
    EXPECT_NE(sLog.find("        1    " + Pad("Browser") + " " + Pad("orvikfsys") + " " +
                        Pad("Main Menu") + " " + sHelp.substr(0, 40) + "\n"),
              std::string::npos)
        << sLog;
    EXPECT_NE(sLog.find("        1    " + Pad("Plain") + " " + Pad("ls") + " " +
                        Pad("Main Menu") + " " + std::string(40, ' ') + "\n"),
              std::string::npos)
        << sLog;
}

TEST_F(MenuFileTest, ResetForgetsTheChainAndThePendingState)
{
    Read("<Menu>" + Item("Tools", "SubMenu") + Item("Inner", "true") + "</Menu>");
    ASSERT_NE(psMenuItem_First, nullptr);
    ResetMenuReader();
    EXPECT_EQ(psMenuItem_First, nullptr);
    EXPECT_EQ(psMenuItem_Last, nullptr);
    EXPECT_STREQ(szSavedSubMenu, "Main Menu");
    auto apsItems = Read("<Menu>" + Item("Fresh", "true") + "</Menu>");
    ASSERT_EQ(apsItems.size(), 1u);
    EXPECT_STREQ(apsItems[0]->szSavedSubMenu, "Main Menu");
}

// The menu that ships with the programs: every report of the system information display is
// offered, every level has its help item, and every help text fits the help box, which
// starts its lines at column 3 of an 80-column screen.
TEST_F(MenuFileTest, ShippedMenuOffersEveryReportAndHelpThatFitsTheScreen)
{
    const std::string sShipped = std::string(ORVIK_SOURCE_DIR) + "/share/orvik.xml";
    ASSERT_GT(ReadMenuFile(sShipped.c_str()), 0);
    EXPECT_EQ(ReadLog().find("Error"), std::string::npos) << ReadLog();

    const char *apszReports[] = {"-short", "-network", "-mdmi", "-mboard", "-pmarray",
                                 "-dmemory", "-umemory", "-ememory", "-fmemory", "-bios",
                                 "-blkdevices", "-partitions", "-slot", "-baseboard", "-cache",
                                 "-connector", "-cpu", "-class"};
    std::vector<std::string> asSubMenus = {"Main Menu"};
    std::vector<std::string> asWithHelpItem;
    bool bProductInformation = false;
    std::string sActions;
    for (const MENUITEM *psItem = psMenuItem_First; psItem != nullptr;
         psItem = psItem->psMenuItemNext) {
        SCOPED_TRACE(psItem->szName);
        sActions += std::string(psItem->szAction) + "\n";
        if (std::strcmp(psItem->szAction, "SubMenu") == 0)
            asSubMenus.push_back(psItem->szName);
        if (std::strcmp(psItem->szName, "Help") == 0)
            asWithHelpItem.push_back(psItem->nLevel == 1 ? "Main Menu" : psItem->szSavedSubMenu);
        if (std::strcmp(psItem->szName, "Product Information") == 0)
            bProductInformation = true;
        ASSERT_NE(psItem->pszHelpText, nullptr);
        std::istringstream sHelp(psItem->pszHelpText);
        for (std::string sLine; std::getline(sHelp, sLine);)
            EXPECT_LE(sLine.size(), 78u) << sLine;
    }
    for (const char *pszReport : apszReports) {
        // "-class" takes a class name; every other option is the whole action
        const char *pszEnd = std::strcmp(pszReport, "-class") == 0 ? " " : "\n";
        EXPECT_NE(sActions.find(std::string("orvikdsys ") + pszReport + pszEnd),
                  std::string::npos)
            << pszReport;
    }
    for (const std::string &sSubMenu : asSubMenus)
        EXPECT_EQ(std::count(asWithHelpItem.begin(), asWithHelpItem.end(), sSubMenu), 1)
            << sSubMenu;
    EXPECT_TRUE(bProductInformation);
}

// Help texts of any length sit in the heap between the items: every item must still land
// where its type may be read.
TEST_F(MenuFileTest, ItemsAfterHelpTextsOfAnyLengthAreAligned)
{
    std::string sXml = "<m>";
    for (int i = 1; i <= 17; i++)
        sXml += "<MenuItem><Help>" + std::string(static_cast<std::size_t>(i), 'h') +
                "</Help></MenuItem><MenuItem/>";
    sXml += "</m>";
    std::vector<MENUITEM *> apsItems = Read(sXml);
    ASSERT_EQ(apsItems.size(), 34u);
    for (MENUITEM *psItem : apsItems)
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(psItem) % alignof(MENUITEM), 0u);
    EXPECT_STREQ(apsItems[32]->pszHelpText, std::string(17, 'h').c_str());
}
