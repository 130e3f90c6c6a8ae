/* menufile.cpp - reads the menu file into the chain of MENUITEMs. */
#include "orvikmenu.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

MENUITEM sMenuItemWork;
int bHaveMenuItem = 0;
char szSavedName[32];
MENUITEM *psMenuItem_First = nullptr;
MENUITEM *psMenuItem_Last = nullptr;

namespace {

constexpr int XMLNODE_ELEMENT = XML_READER_TYPE_ELEMENT;
constexpr int XMLNODE_TEXT = XML_READER_TYPE_TEXT;

const char *XmlText(const xmlChar *pszText)
{
    return pszText != nullptr ? reinterpret_cast<const char *>(pszText) : "";
}

// The first complaint of the parser during the last read, for the screen.
std::string sMenuFileFailure;

// What the last read leaves unshown (a menu of more items than one level gathers), for
// the screen; "" when every item can be shown.
std::string sMenuFileNotice;

// Logs once, and keeps for the screen, the first menu of the chain that has more items
// than a menu shows. A level's items are those GatherMenuItems takes: every item of the
// main menu, or of one submenu name below it.
void NoteItemsBeyondTheLimit(const char *pszFile)
{
    std::map<std::pair<int, std::string>, int> anItems;
    const std::pair<int, std::string> *psFirstOver = nullptr;
    for (const MENUITEM *psItem = psMenuItem_First; psItem != nullptr;
         psItem = psItem->psMenuItemNext) {
        const std::string sMenu = psItem->nLevel > 1 ? psItem->szSavedSubMenu : "Main Menu";
        const auto sEntry = anItems.try_emplace({psItem->nLevel, sMenu}, 0).first;
        if (++sEntry->second == MENUMAXITEMS + 1 && psFirstOver == nullptr)
            psFirstOver = &sEntry->first;
    }
    if (psFirstOver == nullptr)
        return;
    sMenuFileNotice = std::string("Menu file ") + pszFile + ": \"" + psFirstOver->second +
                      "\" has " + std::to_string(anItems[*psFirstOver]) +
                      " items; only the first " + std::to_string(MENUMAXITEMS) +
                      " of a menu are shown";
    OVLog(OVLOG_WARNING, "Orvik Initialize: %s.", sMenuFileNotice.c_str());
}

// The parser's own complaints go into the log instead of onto the terminal.
void LogParserError(void *, xmlErrorPtr psError)
{
    if (psError == nullptr)
        return;
    std::string sMessage = psError->message != nullptr ? psError->message : "";
    while (!sMessage.empty() && sMessage.back() == '\n')
        sMessage.pop_back();
    const char *pszFile = psError->file != nullptr ? psError->file : szXMLFile;
    OVLog(OVLOG_ERROR, "Orvik Initialize: XML File %s, line %d: %s", pszFile, psError->line,
          sMessage.c_str());
    if (sMenuFileFailure.empty())
        sMenuFileFailure = std::string("Menu file ") + pszFile + ", line " +
                           std::to_string(psError->line) + ": " + sMessage;
}

// Submenu items whose elements are still open, innermost last, with their depths. An item
// at depth d closes every open submenu item at depth d or deeper: end tags play no part.
struct OPENSUBMENU {
    int nLevel;
    std::string sName;
};
std::vector<OPENSUBMENU> asOpenSubMenu;

// The pending item takes the name of the submenu whose element contains it. An item that no
// submenu element contains (a main-menu item, or one in a wrapper element) takes the name of
// the latest submenu, as it always has. A SubMenu item then opens its own submenu.
void CompletePendingItem()
{
    while (!asOpenSubMenu.empty() && asOpenSubMenu.back().nLevel >= sMenuItemWork.nLevel)
        asOpenSubMenu.pop_back();
    const char *pszParent =
        asOpenSubMenu.empty() ? szSavedSubMenu : asOpenSubMenu.back().sName.c_str();
    OVCopyText(sMenuItemWork.szSavedSubMenu, sizeof sMenuItemWork.szSavedSubMenu, pszParent);
    if (std::strcmp(sMenuItemWork.szAction, "SubMenu") == 0) {
        OVCopyText(szSavedSubMenu, MENUTEXTMAX + 1, sMenuItemWork.szName);
        asOpenSubMenu.push_back({sMenuItemWork.nLevel, szSavedSubMenu});
    }
}

char *CopyToHeap(const char *pszText)
{
    std::size_t nLength = std::strlen(pszText);
    auto *pszCopy = static_cast<char *>(GetHunkofHeap(psPabOrvik, OVHeapAligned(static_cast<int>(nLength + 1))));
    std::memcpy(pszCopy, pszText, nLength + 1);
    return pszCopy;
}

} // namespace

void ResetMenuReader()
{
    std::memset(&sMenuItemWork, 0, sizeof sMenuItemWork);
    bHaveMenuItem = 0;
    std::memset(szSavedName, 0, sizeof szSavedName);
    OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, "Main Menu");
    psMenuItem_First = nullptr;
    psMenuItem_Last = nullptr;
    asOpenSubMenu.clear();
}

int ProcessXMLNode(_xmlTextReader *psReader)
{
    const xmlChar *pszXMLName = xmlTextReaderConstName(psReader);
    const char *pszName = pszXMLName != nullptr ? XmlText(pszXMLName) : "--";
    const char *pszValue = XmlText(xmlTextReaderConstValue(psReader));
    int nNodeDepth = xmlTextReaderDepth(psReader);
    int nNodeType = xmlTextReaderNodeType(psReader);
    int nRc = OVRC_OK;

    if (bDebug && (nNodeType == XMLNODE_ELEMENT || nNodeType == XMLNODE_TEXT))
        OVLog(OVLOG_DEBUG,
              "ProcessXMLNode: nLevel: %d,psXMLName: %s, nNodeDepth: %d, nNodeType: %d, "
              "psXMLValue: %-.40s",
              sMenuItemWork.nLevel, pszName, nNodeDepth, nNodeType, pszValue);

    if (nNodeType == XMLNODE_ELEMENT) {
        if (std::strcmp(pszName, "MenuItem") == 0) {
            if (bHaveMenuItem) {
                CompletePendingItem();
                nRc = Add_MenuItem();
                std::memset(&sMenuItemWork, 0, sizeof sMenuItemWork);
            }
            bHaveMenuItem = 1;
            sMenuItemWork.nLevel = nNodeDepth;
        } else if (std::strcmp(pszName, "Title") == 0 || std::strcmp(pszName, "Invoke") == 0 ||
                   std::strcmp(pszName, "Help") == 0) {
            OVCopyText(szSavedName, sizeof szSavedName, pszName);
        }
        return nRc;
    }

    if (nNodeType != XMLNODE_TEXT || std::strcmp(pszName, "#text") != 0 || !bHaveMenuItem ||
        xmlTextReaderIsEmptyElement(psReader) == 1 || xmlTextReaderHasValue(psReader) != 1)
        return nRc;

    if (std::strcmp(szSavedName, "Title") == 0) {
        OVCopyText(sMenuItemWork.szName, MENUTEXTMAX + 1, pszValue);
    } else if (std::strcmp(szSavedName, "Invoke") == 0) {
        OVCopyText(sMenuItemWork.szAction, MENUTEXTMAX + 1, pszValue);
    } else if (std::strcmp(szSavedName, "Help") == 0) {
        sMenuItemWork.pszHelpText = CopyToHeap(pszValue);
        if (bDebug) {
            OVLog(OVLOG_DEBUG,
                  "ProcessXMLNode: sMenuItemWork.pszHelpText: %p, strlen((char *)psXMLValue): %d",
                  static_cast<void *>(sMenuItemWork.pszHelpText),
                  static_cast<int>(std::strlen(pszValue)));
            OVLog(OVLOG_DEBUG, "ProcessXMLNode: Help Text: %-.50s", sMenuItemWork.pszHelpText);
        }
    }
    return nRc;
}

int Add_MenuItem()
{
    auto *psMenuItem = static_cast<MENUITEM *>(GetHunkofHeap(psPabOrvik, sizeof(MENUITEM)));
    std::memcpy(psMenuItem, &sMenuItemWork, sizeof(MENUITEM));
    std::memcpy(psMenuItem->szEyeCatcher, "MITEMBLK", 8);
    psMenuItem->psMenuItemNext = nullptr;
    if (psMenuItem_First == nullptr)
        psMenuItem_First = psMenuItem;
    else
        psMenuItem_Last->psMenuItemNext = psMenuItem;
    psMenuItem_Last = psMenuItem;
    if (bDebug)
        OVLog(OVLOG_DEBUG,
              "Orvik Add_MenuItem: psMenuItem_First: %p, psMenuItem_Last: %p, psMenuItem: %p, "
              "psMenuItem->szName: %s, psMenuItem->: %s.",
              static_cast<void *>(psMenuItem_First), static_cast<void *>(psMenuItem_Last),
              static_cast<void *>(psMenuItem), psMenuItem->szName, psMenuItem->szSavedSubMenu);
    return OVRC_OK;
}

int ReadMenuFile(const char *pszFile)
{
    std::memset(&sMenuItemWork, 0, sizeof sMenuItemWork);
    OVCopyText(szSavedSubMenu, sizeof szSavedSubMenu, "Main Menu");
    asOpenSubMenu.clear();
    sMenuFileFailure.clear();
    sMenuFileNotice.clear();
    xmlSetStructuredErrorFunc(nullptr, LogParserError);

    xmlTextReaderPtr psReader = xmlReaderForFile(pszFile, nullptr, 0);
    if (psReader == nullptr) {
        OVLog(OVLOG_ERROR, "Orvik Initialize: Unable to open XML File %s.  Return: %d.", pszFile,
              0);
    } else {
        int nRc;
        while ((nRc = xmlTextReaderRead(psReader)) == 1)
            ProcessXMLNode(psReader);
        xmlFreeTextReader(psReader);
        if (nRc != 0)
            OVLog(OVLOG_ERROR, "Orvik Initialize: Unable to parse XML File %s.  Return: %d.",
                  pszFile, nRc);
    }
    xmlSetStructuredErrorFunc(nullptr, nullptr);

    if (bHaveMenuItem) {
        CompletePendingItem();
        Add_MenuItem();
        std::memset(&sMenuItemWork, 0, sizeof sMenuItemWork);
    }
    bHaveMenuItem = 0;

    NoteItemsBeyondTheLimit(pszFile);
    int nItems = 0;
    for (const MENUITEM *psItem = psMenuItem_First; psItem != nullptr; psItem = psItem->psMenuItemNext)
        nItems++;
    return nItems;
}

const std::string &MenuFileFailure()
{
    return sMenuFileFailure;
}

const std::string &MenuFileNotice()
{
    return sMenuFileNotice;
}

void LogMenuStructure()
{
    if (psMenuItem_First == nullptr)
        return;
    OVWriteMessage(OVLOG_DEBUG, "\nOrvik: Menu Structure:");
    OVWriteMessage(OVLOG_DEBUG,
                   "Orvik: Level  Name                             Action                     "
                   "      SubMenu                          Help Text");
    OVWriteMessage(OVLOG_DEBUG,
                   "Orvik: -----  -------------------------------  ---------------------------"
                   "----- -------------------------------- ---------------------------------"
                   "--------");
    for (const MENUITEM *psItem = psMenuItem_First; psItem != nullptr; psItem = psItem->psMenuItemNext)
        OVLog(OVLOG_DEBUG, "      %3d    %-32.32s %-32.32s %-32.32s %-40.40s", psItem->nLevel,
              psItem->szName, psItem->szAction, psItem->szSavedSubMenu,
              psItem->pszHelpText != nullptr ? psItem->pszHelpText : "");
}
