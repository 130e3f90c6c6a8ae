// Where the user stands in the browser, through the turns that the walks in tmux reach only
// by luck: a failed listing on a later page, a cancel while coming back, pages walked again
// at another height.
#include <gtest/gtest.h>

#include "orvikfsys.h"

namespace {

/* Listed at /, on page 3 (starts 0, 100, 250), row 5. */
FolderView OnThirdPage()
{
    FolderView sView;
    sView.Start("/");
    EXPECT_TRUE(sView.MustList());
    sView.Listed();
    sView.Forward(100);
    sView.Forward(250);
    sView.StandOn(5);
    return sView;
}

TEST(FsysFolderView, AFailedListingComesBackToThePageAndRowLeft)
{
    FolderView sView = OnThirdPage();
    EXPECT_FALSE(sView.MustList());
    ASSERT_EQ(sView.Enter("etc/", false), nullptr);
    EXPECT_STREQ(sView.Folder().szPath, "/etc/");
    EXPECT_TRUE(sView.MustList());
    EXPECT_FALSE(sView.ShowsListed());

    sView.ComeBack();
    EXPECT_STREQ(sView.Folder().szPath, "/");
    EXPECT_TRUE(sView.MustList()) << "the attempt took the listing file";
    sView.Listed();
    EXPECT_EQ(sView.Page(), 2);
    EXPECT_EQ(sView.PageStart(), 250);
    EXPECT_EQ(sView.Line(), 5);

    // Only once: the next folder listed starts at its first page.
    ASSERT_EQ(sView.Enter("usr/", false), nullptr);
    sView.Listed();
    EXPECT_EQ(sView.Page(), 0);
    EXPECT_EQ(sView.PageStart(), 0);
    EXPECT_EQ(sView.Line(), 0);
}

TEST(FsysFolderView, ACancelWhileComingBackKeepsTheListingAndForgetsTheComeBack)
{
    FolderView sView = OnThirdPage();
    ASSERT_EQ(sView.Enter("etc/", false), nullptr);
    sView.ComeBack();
    sView.KeepListing();  // the listing again of / was cancelled
    EXPECT_FALSE(sView.MustList());
    EXPECT_EQ(sView.Page(), 2);
    EXPECT_EQ(sView.Line(), 5);
    ASSERT_EQ(sView.Enter("usr/", false), nullptr);
    sView.Listed();
    EXPECT_EQ(sView.Page(), 0) << "a folder entered later is not taken for the one come back to";
}

TEST(FsysFolderView, PagesWalkedAgainAtAnotherHeightAndARefusedStep)
{
    FolderView sView = OnThirdPage();
    // Back one page, then Forward at another height: the old start beyond is not used again.
    sView.Backward();
    EXPECT_EQ(sView.PageStart(), 100);
    EXPECT_EQ(sView.Line(), 0);
    sView.Forward(180);
    EXPECT_EQ(sView.PageStart(), 180);
    sView.Forward(-1);
    EXPECT_EQ(sView.Page(), 2) << "no page follows a page that was not full";

    // A path that would not fit its 255 characters is refused and nothing moves.
    EXPECT_STREQ(sView.Enter(std::string(260, 'x') + "/", false), "path too long");
    EXPECT_STREQ(sView.Folder().szPath, "/");
    EXPECT_FALSE(sView.MustList());
    EXPECT_EQ(sView.PageStart(), 180);
}

}  // namespace

TEST(FsysFolderView, GoToBuildsTheChainAndAFailedJumpComesBack)
{
    const std::pair<const char *, const char *> asPath[] = {
        {"bin", "/usr/bin/"}, {"../etc//ssh/.", "/etc/ssh/"}, {"/a/../../b/", "/b/"}, {"", ""}};
    for (const auto &[pszTyped, pszWanted] : asPath)
        EXPECT_EQ(ResolveFolderPath(pszTyped, "/usr/"), pszWanted) << pszTyped;

    FolderView sView = OnThirdPage();
    ASSERT_EQ(sView.GoTo("/usr/share/doc/"), nullptr);
    EXPECT_EQ(sView.Level(), 3);
    EXPECT_TRUE(sView.MustList());
    EXPECT_TRUE(sView.CanComeBack());
    sView.ComeBack();
    EXPECT_STREQ(sView.Folder().szPath, "/");
    sView.Listed();
    EXPECT_EQ(sView.Page(), 2) << "back on the page left";

    ASSERT_EQ(sView.GoTo("/usr/share/"), nullptr);
    sView.Listed();
    sView.Up();
    EXPECT_STREQ(sView.Folder().szPath, "/usr/");
    EXPECT_EQ(sView.Look().sStandOn, "share/") << "../ lands on the folder just left";
}
