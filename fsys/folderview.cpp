/*
 * folderview.cpp - where the user stands in the browser, and the steps that move them: into a
 * folder, up, the same folder listed again, a page forward or back, and back to the folder
 * listed before when the listing of a new one fails.
 */
#include "orvikfsys.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

std::string ResolveFolderPath(std::string_view sTyped, std::string_view sBase)
{
    if (sTyped.empty()) return std::string();
    std::string sWhole = sTyped.front() == '/' ? std::string(sTyped)
                                               : std::string(sBase) + "/" + std::string(sTyped);
    std::vector<std::string_view> asPart;
    std::string_view sRest = sWhole;
    while (!sRest.empty()) {
        const std::size_t nSlash = sRest.find('/');
        const std::string_view sPart = sRest.substr(0, nSlash);
        sRest = nSlash == std::string_view::npos ? std::string_view() : sRest.substr(nSlash + 1);
        if (sPart.empty() || sPart == ".") continue;
        if (sPart == "..") {
            if (!asPart.empty()) asPart.pop_back();
            continue;
        }
        asPart.push_back(sPart);
    }
    std::string sPath = "/";
    for (std::string_view sPart : asPart) sPath.append(sPart).append(1, '/');
    return sPath;
}

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
    if (nLevel == 0) {
        bListAgain = true;
        return;
    }
    /* The parent comes back on the line of the folder just left. */
    const std::string sPath = asFolder[nLevel].szPath;
    const std::size_t nStart = sPath.rfind('/', sPath.size() - 2) + 1;
    --nLevel;
    Look().sStandOn = sPath.substr(nStart);
    bListAgain = true;
}

const char *FolderView::GoTo(std::string_view sPath)
{
    if (sPath.size() >= FSPATHSIZE) return "path too long";
    if (sPath.empty() || sPath.front() != '/' || sPath.back() != '/') return "not a folder path";
    std::array<FOLDER, FSMAXFOLDERS> asChain = {};
    int nTo = 0;
    OVCopyText(asChain[0].szPath, FSPATHSIZE, "/");
    for (std::size_t nAt = 1; nAt < sPath.size(); nAt = sPath.find('/', nAt) + 1) {
        if (++nTo >= FSMAXFOLDERS) return "too many folder levels";
        const std::string sUpTo(sPath.substr(0, sPath.find('/', nAt) + 1));
        OVCopyText(asChain[nTo].szPath, FSPATHSIZE, sUpTo.c_str());
    }
    /* A second jump before the first was listed keeps the chain of the folder listed. */
    if (!bJumped) {
        asFolderBefore = asFolder;
        nLevelBefore = nLevel;
    }
    asFolder = asChain;
    nLevel = nTo;
    bJumped = true;
    return nullptr;
}

void FolderView::Land(const std::vector<std::int64_t> &afStart, int nRow)
{
    if (afStart.empty()) return FirstPage();
    afPageStart = afStart;
    nPage = static_cast<int>(afStart.size()) - 1;
    nLine = std::max(nRow, 0);
}

void FolderView::FirstPage()
{
    nPage = 0;
    nLine = 0;
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
    bJumped = false;
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
    TakeChainBack();
    /* The attempt took the listing file with it; the pages and the line stay as they were,
       for the folder once it is listed again. */
    bListAgain = true;
    bComingBack = true;
}

void FolderView::KeepListing()
{
    TakeChainBack();
    bListAgain = false;
    bComingBack = false;
}

void FolderView::TakeChainBack()
{
    if (bJumped) {
        asFolder = asFolderBefore;
        bJumped = false;
    }
    nLevel = nListedLevel >= 0 ? nListedLevel : nLevelBefore;
}
