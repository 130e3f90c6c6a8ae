// Which items a menu level lists, and the command lines that chosen items run.
#include "orvikmenu.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

MENUITEM MakeItem(int nLevel, const char *pszName, const char *pszAction,
                  const char *pszSubMenu, char *pszHelp = nullptr)
{
    MENUITEM sItem {};
    std::memcpy(sItem.szEyeCatcher, "MITEMBLK", 8);
    sItem.nLevel = nLevel;
    OVCopyText(sItem.szName, sizeof sItem.szName, pszName);
    OVCopyText(sItem.szAction, sizeof sItem.szAction, pszAction);
    OVCopyText(sItem.szSavedSubMenu, sizeof sItem.szSavedSubMenu, pszSubMenu);
    sItem.pszHelpText = pszHelp;
    return sItem;
}

class MenuGatherTest : public ::testing::Test {
protected:
    void Chain()
    {
        psMenuItem_First = asItems.empty() ? nullptr : &asItems[0];
        for (std::size_t i = 0; i + 1 < asItems.size(); i++)
            asItems[i].psMenuItemNext = &asItems[i + 1];
        psMenuItem_Last = asItems.empty() ? nullptr : &asItems.back();
    }
    std::vector<std::string> Names(int nMax = MENUMAXITEMS)
    {
        std::vector<MENUITEM *> apsItems(MENUMAXITEMS);
        int nItems = GatherMenuItems(apsItems.data(), nMax);
        std::vector<std::string> asNames;
        for (int i = 0; i < nItems; i++)
            asNames.push_back(apsItems[i]->szName);
        return asNames;
    }
    void TearDown() override
    {
        ResetMenuReader();
        psConnectedSystem = nullptr;
        nMenuLevel = 1;
    }
    std::vector<MENUITEM> asItems;
};

} // namespace

TEST_F(MenuGatherTest, LevelsAndSubmenusSelectTheirItems)
{
    asItems = {MakeItem(1, "Browser", "orvikfsys", "Main Menu"),
               MakeItem(1, "Tools", "SubMenu", "Main Menu"),
               MakeItem(2, "Disk", "df", "Tools"),
               MakeItem(2, "Other", "true", "Tool"),
               MakeItem(1, "Monitor", "htop", "Tools"),
               MakeItem(2, "Top", "htop", "Tools")};
    Chain();
    nMenuLevel = 1;
    EXPECT_EQ(Names(), (std::vector<std::string> {"Browser", "Tools", "Monitor"}));
    nMenuLevel = 2;
    OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, "Tools");
    EXPECT_EQ(Names(), (std::vector<std::string> {"Disk", "Top"}));

    REMOTESYSTEM sRemote {};
    OVCopyText(sRemote.szIP, sizeof sRemote.szIP, "10.0.0.5");
    psConnectedSystem = &sRemote;
    EXPECT_EQ(Names(), (std::vector<std::string> {"Disk"}));
    nMenuLevel = 1;
    EXPECT_EQ(Names(), (std::vector<std::string> {"Browser", "Tools"}));
    nMenuLevel = 3;
    EXPECT_TRUE(Names().empty());
}

TEST_F(MenuGatherTest, StopsAtTheRequestedNumberOfItems)
{
    for (int i = 0; i < 1005; i++)
        asItems.push_back(MakeItem(1, std::to_string(i).c_str(), "true", "Main Menu"));
    Chain();
    nMenuLevel = 1;
    auto asNames = Names();
    ASSERT_EQ(asNames.size(), static_cast<std::size_t>(MENUMAXITEMS));
    EXPECT_EQ(asNames.back(), "999");
    EXPECT_EQ(Names(3).size(), 3u);
}

TEST(MenuCommandLine, OrdinaryItemsGetTheirHelpTextAsArgument)
{
    char szHelp[] = "Browse the file system";
    MENUITEM sBrowser = MakeItem(1, "Files", "orvikfsys", "Main Menu", szHelp);
    EXPECT_EQ(BuildSelectionCommand(&sBrowser), "orvikfsys -help \"Browse the file system\" ");
    MENUITEM sNoHelp = MakeItem(1, "Prefs", "orvikpref", "Main Menu");
    EXPECT_EQ(BuildSelectionCommand(&sNoHelp), "orvikpref -help \"No Help is available\" ");
    MENUITEM sTop = MakeItem(1, "Top", "htop", "Main Menu", szHelp);
    EXPECT_EQ(BuildSelectionCommand(&sTop), "htop ");
    MENUITEM sShell = MakeItem(1, "Shell", "Shell", "Main Menu", szHelp);
    EXPECT_EQ(BuildSelectionCommand(&sShell), "Shell ");
    MENUITEM sUpperTop = MakeItem(1, "Top", "HTOP", "Main Menu");
    EXPECT_EQ(BuildSelectionCommand(&sUpperTop), "HTOP -help \"No Help is available\" ");
}

TEST(MenuCommandLine, HelpTextIsCutAt15999Characters)
{
    std::string sHelp(20000, 'h');
    MENUITEM sItem = MakeItem(1, "Long", "orvikpref", "Main Menu", sHelp.data());
    EXPECT_EQ(BuildSelectionCommand(&sItem),
              "orvikpref -help \"" + std::string(MENUHELPMAX, 'h') + "\" ");
}

// The child must see the help text as one argument, exactly, and nothing in it may run.
TEST(MenuCommandLine, HostileHelpTextReachesTheChildIntactAndRunsNothing)
{
    char szTemplate[] = "/tmp/orvik-menucmd-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    std::string sDir = szTemplate;
    std::string sHelp = "He said \"hi\"; $(touch " + sDir + "/ran1) `touch " + sDir +
                        "/ran2` back\\slash \\\" $HOME 'single'\nsecond line & | ; > <";
    std::string sAction = "sh -c 'printf %s \"$2\" > " + sDir + "/arg' sh";
    MENUITEM sItem = MakeItem(1, "Echo", sAction.c_str(), "Main Menu", sHelp.data());
    ASSERT_EQ(std::system(BuildSelectionCommand(&sItem).c_str()), 0);
    std::ifstream sFile(sDir + "/arg");
    std::stringstream sText;
    sText << sFile.rdbuf();
    EXPECT_EQ(sText.str(), sHelp);
    EXPECT_FALSE(fs::exists(sDir + "/ran1"));
    EXPECT_FALSE(fs::exists(sDir + "/ran2"));
    fs::remove_all(sDir);
}

class MenuSelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/orvik-menusel-XXXXXX";
        ASSERT_NE(mkdtemp(szTemplate), nullptr);
        sDir = szTemplate;
        setenv("ORVIKLOGFILE", (sDir + "/OrvikLog.txt").c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("ORVIKLOGFILE");
        fs::remove_all(sDir);
    }
    std::string ReadLog() const
    {
        std::ifstream sFile(sDir + "/OrvikLog.txt");
        std::stringstream sText;
        sText << sFile.rdbuf();
        return sText.str();
    }
    int Run(const std::string &sAction)
    {
        MENUITEM sItem = MakeItem(1, "Child", sAction.c_str(), "Main Menu");
        return Process_Selection(&sItem);
    }
    std::string sDir;
};

TEST_F(MenuSelectionTest, ExitStatusNineOrThreeEndsTheMenuOthersAreLogged)
{
    EXPECT_EQ(Run("sh -c 'exit 9' sh"), OVRC_EXIT);
    EXPECT_EQ(Run("sh -c 'exit 3' sh"), OVRC_RETURN);
    EXPECT_EQ(Run("sh -c 'exit 0' sh"), OVRC_OK);
    EXPECT_EQ(ReadLog().find("Error"), std::string::npos) << ReadLog();

    EXPECT_EQ(Run("sh -c 'exit 1' sh"), OVRC_OK);
    EXPECT_NE(ReadLog().find("Error   Orvik Process_Selection: Failure in call to "
                             "sh -c 'exit 1' sh -help \"No Help, nRc: 1.\n"),
              std::string::npos)
        << ReadLog();
    EXPECT_EQ(Run("orvik-no-such-program-here"), OVRC_OK);
    EXPECT_NE(ReadLog().find("Failure in call to orvik-no-such-program-here -help, nRc: 127."),
              std::string::npos)
        << ReadLog();
}

// What the menu says after an item's command ended: nothing for the statuses that mean "fine",
// "end", "said already" or "interrupted", the command's name when the shell did not find it,
// else the status with the command's first error line.
TEST(MenuSelectionFailure, StatusesThatAreSaidAndStatusesThatPassQuietly)
{
    MENUITEM sItem = MakeItem(1, "Disk Report", "orvikdsys -disk", "Main Menu");
    const struct {
        int nStatus;
        const char *pszErrorLine;
        const char *pszShown;
    } asCase[] = {
        {0, "", ""},
        {3 << 8, "", ""},
        {9 << 8, "", ""},
        {OVEXIT_SHOWN << 8, "ignored", ""},
        {2 << 8, "", ""},
        {130 << 8, "", ""},
        {SIGINT, "", ""},
        {127 << 8, "sh: 1: orvikdsys: not found", "Disk Report: command not found: orvikdsys"},
        {1 << 8, "", "Disk Report ended with status 1."},
        {101 << 8, "lshw: not enough memory", "Disk Report ended with status 101: lshw: not enough memory"},
        {SIGSEGV, "", "Disk Report ended by signal 11."},
        {-1, "", "Disk Report: the command could not be started."},
    };
    for (const auto &sCase : asCase)
        EXPECT_EQ(SelectionFailureText(&sItem, sCase.nStatus, sCase.pszErrorLine), sCase.pszShown)
            << sCase.nStatus;

    MENUITEM sShell = MakeItem(1, "Shell", "Shell", "Main Menu");
    EXPECT_EQ(SelectionFailureText(&sShell, 1 << 8, ""), "") << "the user saw the shell's status";
    MENUITEM sCommands = MakeItem(1, "Probe", "Shell (  nosuch -x; true)", "Main Menu");
    EXPECT_EQ(SelectionFailureText(&sCommands, 127 << 8, ""), "Probe: command not found: nosuch");
}

