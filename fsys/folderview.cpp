/*
 * folderview.cpp - where the user stands in the browser, and the steps that move them: into a
 * folder, up, the same folder listed again, a page forward or back, and back to the folder
 * listed before when the listing of a new one fails.
 */
#include "orvikfsys.h"

#include <algorithm>
#include <cstring>
#include <string>

void FolderView::Start(const char *pszRoot)
{
    *this = FolderView();
    OVCopyText(asFolder[0].szPath, FSPATHSIZE, pszRoot);
}

const char *FolderView::Enter(std::string_view sName, bool bThroughLink)
{
    if (nLevel + 1 >= FSMAXFOLDERS) return "too many folder levels";
    if (std::strlen(asFolder[nLevel].szPath) + sName.size() >= FSPATHSIZE) return "path too long";
    const std::string sPath = std::string(asFolder[nLevel].szPath) + std::string(sName);
    ++nLevel;
    OVCopyText(asFolder[nLevel].szPath, FSPATHSIZE, sPath.c_str());
    asFolder[nLevel].bThroughLink = bThroughLink;
    return nullptr;
}

void FolderView::Up()
{
    if (nLevel > 0) --nLevel;
    bListAgain = true;
}

void FolderView::ListAgain()
{
    bListAgain = true;
}

void FolderView::Forward(std::int64_t fNext)
{
    if (fNext < 0) return;
    /* Starts beyond this page were walked at another page height: they are found again. */
    afPageStart.resize(static_cast<std::size_t>(nPage) + 1);
    afPageStart.push_back(fNext);
    ++nPage;
    nLine = 0;
}

void FolderView::Backward()
{
    if (nPage == 0) return;
    --nPage;
    nLine = 0;
}

void FolderView::StandOn(int nRow)
{
    if (nRow >= 0) nLine = nRow;
}

void FolderView::Listed()
{
    nListedLevel = nLevel;
    bListAgain = false;
    if (bComingBack) {
        bComingBack = false;
        nPage = std::min(nPage, static_cast<int>(afPageStart.size()) - 1);
        return;
    }
    afPageStart.assign(1, 0);
    nPage = 0;
    nLine = 0;
}

void FolderView::ComeBack()
{
    nLevel = nListedLevel;
    /* The attempt took the listing file with it; the pages and the line stay as they were,
       for the folder once it is listed again. */
    bListAgain = true;
    bComingBack = true;
}

void FolderView::KeepListing()
{
    nLevel = nListedLevel;
    bListAgain = false;
    bComingBack = false;
}
