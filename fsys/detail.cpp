/*
 * detail.cpp - the detail page of a local file: name, type, owner and group, the permissions
 * of owner, group and others, those of the effective user with the class that gave them,
 * device, inode, links, sizes and the three dates; Browse and Edit open the file in vi when
 * the user's class may read or write it.
 */
#include "orvikfsys.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

char szFileOwner[33] = "";
char szFileGroup[33] = "";
char szUser[33] = "";
char szMatch[33] = "";
char cFileReadOwner = 'n', cFileWriteOwner = 'n', cFileExecOwner = 'n';
char cFileReadGroup = 'n', cFileWriteGroup = 'n', cFileExecGroup = 'n';
char cFileReadOthers = 'n', cFileWriteOthers = 'n', cFileExecOthers = 'n';
char cFileReadUser = 'n', cFileWriteUser = 'n', cFileExecUser = 'n';

namespace {

const char szDetailTitle[] = "Orvik File Details";

/* One fixed label: its row, its column from the margin, its field name, its text and the
   word that names it in an error. */
struct DETAILLABEL {
    int nRow;
    int nColumn;
    const char *pszName;
    const char *pszText;
    const char *pszWord;
};

constexpr DETAILLABEL asDetailLabel[] = {
    {3, 10, "Name", "Name:", "Name"},
    {5, 10, "Type", "Type:", "Type"},
    {7, 9, "Owner", "Owner:", "Owner"},
    {8, 9, "Group", "Group:", "Group"},
    {10, 3, "Permissions", "Permissions: Read  Write  Exec", "Permissions"},
    {10, 56, "Device", "Device:", "Device"},
    {11, 9, "LITOwnerPer", "Owner:", "OwnerPer"},
    {11, 57, "INode", "INode:", "INode"},
    {12, 9, "LITGroupPer", "Group:", "GroupPer"},
    {12, 57, "Links", "Links:", "Links"},
    {13, 8, "LITOthers", "Others:", "Others"},
    {16, 3, "LITDate1", "Last Access:", "Date1"},
    {16, 57, "LITSize1", "Bytes:", "Size1"},
    {17, 3, "LITDate2", "Last Change:", "Date2"},
    {17, 56, "LITSize2", "Blocks:", "Size2"},
    {18, 3, "LITDate3", "Last Status:", "Date3"},
    {18, 52, "LITSize3", "Block Size:", "Size3"},
};

/* The value fields in the order they are created. */
enum DETAILVALUE {
    DV_NAME, DV_TYPE, DV_OWNER, DV_DEVICE, DV_LINKS, DV_GROUP, DV_PERMISS1, DV_INODE,
    DV_PERMISS2, DV_PERMISS3, DV_USERID, DV_USERPERMISS, DV_SIZE1, DV_SIZE2, DV_SIZE3,
    DV_DATE1, DV_DATE2, DV_DATE3, DV_COUNT
};

struct DETAILFIELD {
    int nRow;
    int nColumn;
    const char *pszName;
    const char *pszWord;          /* what the error message calls it */
    bool bPanelColours;           /* the user name stands in the Panel group's colours */
};

constexpr DETAILFIELD asDetailField[] = {
    {3, 16, "FileName", "File Name", false},
    {5, 16, "FileType", "File Type", false},
    {7, 16, "FileOwner", "File Owner", false},
    {10, 67, "FileDevice", "File Device", false},
    {12, 64, "FileLinks", "File Links", false},
    {8, 16, "FileGroup", "File Group", false},
    {11, 16, "FilePermiss1", "Owner Permissions", false},
    {11, 64, "FileINode", "File INode", false},
    {12, 16, "FilePermiss2", "Group Permissions", false},
    {13, 16, "FilePermiss3", "Other Permissions", false},
    {14, 1, "Userid", "User Name", true},
    {14, 16, "UserPermiss", "User Permissions", false},
    {16, 64, "FileSize1", "File Size", false},
    {17, 64, "FileSize2", "File Blocks", false},
    {18, 64, "FileSize3", "File Block Size", false},
    {16, 16, "FileDate1", "Access Date", false},
    {17, 16, "FileDate2", "Modify Date", false},
    {18, 16, "FileDate3", "Change Date", false},
};
static_assert(sizeof asDetailField / sizeof asDetailField[0] == DV_COUNT,
              "one field description per value");

struct FILETYPE {
    mode_t nType;
    const char *pszText;
};
constexpr FILETYPE asFileType[] = {
    {S_IFIFO, "FIFO/Pipe"},   {S_IFCHR, "Character Device"}, {S_IFDIR, "Directory"},
    {S_IFBLK, "Block Device"}, {S_IFREG, "Regular File"},    {S_IFSOCK, "Socket"},
};

/* One class's mode bits and the flags they set. */
struct PERMCLASS {
    mode_t nRead, nWrite, nExec;
    char *pcRead, *pcWrite, *pcExec;
};
const PERMCLASS asPermClass[3] = {
    {S_IRUSR, S_IWUSR, S_IXUSR, &cFileReadOwner, &cFileWriteOwner, &cFileExecOwner},
    {S_IRGRP, S_IWGRP, S_IXGRP, &cFileReadGroup, &cFileWriteGroup, &cFileExecGroup},
    {S_IROTH, S_IWOTH, S_IXOTH, &cFileReadOthers, &cFileWriteOthers, &cFileExecOthers},
};

const char *FileTypeText(mode_t nMode)
{
    for (const FILETYPE &sType : asFileType)
        if ((nMode & S_IFMT) == sType.nType) return sType.pszText;
    return "Unknown";
}

/* The class's flags from the mode, and its text: each part under Read, Write and Exec. */
std::string ClassPermissions(const PERMCLASS &sClass, mode_t nMode)
{
    *sClass.pcRead = (nMode & sClass.nRead) ? 'y' : 'n';
    *sClass.pcWrite = (nMode & sClass.nWrite) ? 'y' : 'n';
    *sClass.pcExec = (nMode & sClass.nExec) ? 'y' : 'n';
    return std::string(*sClass.pcRead == 'y' ? "Yes   " : "No    ") +
           (*sClass.pcWrite == 'y' ? "Yes    " : "No     ") +
           (*sClass.pcExec == 'y' ? "Yes" : "No");
}

std::string UserPermissions()
{
    return std::string(cFileReadUser == 'y' ? "Yes   " : "No    ") +
           (cFileWriteUser == 'y' ? "Yes    " : "No     ") +
           (cFileExecUser == 'y' ? "Yes " : "No  ") + "(" + szMatch + " Match)";
}

/* A count right-aligned in eight columns. */
std::string Count8(long long nValue)
{
    char szText[64];
    std::snprintf(szText, sizeof szText, "%8lld", nValue);
    return szText;
}

std::string DateText(const struct timespec &sTime)
{
    char szText[32] = "";
    struct tm sLocal;
    if (localtime_r(&sTime.tv_sec, &sLocal) != nullptr)
        std::strftime(szText, sizeof szText, "%m/%d/%Y %H:%M", &sLocal);
    return szText;
}

void CopyFlags(char cRead, char cWrite, char cExec, const char *pszMatch)
{
    cFileReadUser = cRead;
    cFileWriteUser = cWrite;
    cFileExecUser = cExec;
    OVCopyText(szMatch, sizeof szMatch, pszMatch);
}

/* The field is as long as the text's bytes, so that wide or accented characters are drawn
   whole. */
int CreateDetailField(int nRow, int nColumn, const char *pszName, const std::string &sText,
                      unsigned long ulGroup)
{
    return OVCreateGroupText(psPabi, nRow, nColumn, pszName, sText.c_str(), ulGroup,
                             static_cast<int>(sText.size()));
}

/* The full name on its row and, when it is wider than the panel, on the empty row below it
   from the same column; what does not fit there either is cut with "~". */
int CreateNameFields(int nRow, int nColumn, const std::string &sPath)
{
    const int nRoom = std::max(psPabi->nColumns - nColumn + 1, 1);
    const std::string sShown = ScreenText(sPath, 2 * nRoom, false);
    const std::size_t nFirst = OVColumnsPrefix(sShown, nRoom);
    int nRc = CreateDetailField(nRow, nColumn, "FileName", sShown.substr(0, nFirst), OVDG_FIELD);
    if (nRc == OVRC_OK && nFirst < sShown.size())
        nRc = CreateDetailField(nRow + 1, nColumn, "FileName2",
                                OVFitColumns(sShown.substr(nFirst), nRoom), OVDG_FIELD);
    return nRc;
}

}  // namespace

int CommandExitCode(int nStatus)
{
    if (nStatus == 0) return OVRC_OK;
    if (nStatus > 0 && WIFEXITED(nStatus)) return WEXITSTATUS(nStatus);
    return OVRC_ERROR;
}

int Get_User_Permissions()
{
    OVTraceStart("orvikfsys Get_User_Permissions", "szFileOwner: %s, szFileGroup: %s.",
                 szFileOwner, szFileGroup);
    CopyFlags(cFileReadOthers, cFileWriteOthers, cFileExecOthers, "Others");
    errno = 0;
    struct passwd *psUser = getpwuid(geteuid());
    if (psUser == nullptr) {
        OVLog(OVLOG_ERROR, "orvikfsys Get_User_Permissions: getpwuid failed, nRc: %d.", errno);
        return OVTraceEnd("orvikfsys Get_User_Permissions", OVRC_ERROR);
    }
    OVCopyText(szUser, sizeof szUser, psUser->pw_name);
    const gid_t nPrimary = psUser->pw_gid;
    if (std::strcmp(szUser, szFileOwner) == 0) {
        CopyFlags(cFileReadOwner, cFileWriteOwner, cFileExecOwner, "Owner");
        return OVTraceEnd("orvikfsys Get_User_Permissions", OVRC_OK);
    }
    static gid_t anGroups[1000];
    int nGroups = 1000;
    /* Too many groups: the first 1000 are looked at. */
    if (getgrouplist(szUser, nPrimary, anGroups, &nGroups) < 0 || nGroups > 1000) nGroups = 1000;
    for (int i = 0; i < nGroups; ++i) {
        struct group *psGroup = getgrgid(anGroups[i]);
        if (psGroup != nullptr && std::strcmp(psGroup->gr_name, szFileGroup) == 0) {
            CopyFlags(cFileReadGroup, cFileWriteGroup, cFileExecGroup, "Group");
            break;
        }
    }
    return OVTraceEnd("orvikfsys Get_User_Permissions", OVRC_OK);
}

int Do_Detail_Literals()
{
    OVTraceStart("orvikfsys Do_Detail_Literals", "psPabi: %p.", static_cast<void *>(psPabi));
    const int nMargin = OVLayoutMargin(psPabi);
    int nRc = CreateDetailField(1, OVCentredColumn(psPabi, OVDisplayWidth(szDetailTitle)), "Title",
                                szDetailTitle, OVDG_PANEL);
    if (nRc != OVRC_OK) {
        OVLog(OVLOG_ERROR, "orvikfsys Do_Detail_Literals: Unable to Create Panel Title, nRc: %d.",
              nRc);
        return OVTraceEnd("orvikfsys Do_Detail_Literals", nRc);
    }
    for (const DETAILLABEL &sLabel : asDetailLabel) {
        nRc = CreateDetailField(sLabel.nRow, nMargin + sLabel.nColumn, sLabel.pszName,
                                sLabel.pszText, OVDG_PANEL);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR, "orvikfsys Do_Detail_Literals: Unable to Create %s Literal, nRc: %d.",
                  sLabel.pszWord, nRc);
            break;
        }
    }
    return OVTraceEnd("orvikfsys Do_Detail_Literals", nRc);
}

int Do_Detail_Values(const char *pszPath)
{
    OVTraceStart("orvikfsys Do_Detail_Values", "pszPath: %s.", pszPath);
    for (const PERMCLASS &sClass : asPermClass)
        *sClass.pcRead = *sClass.pcWrite = *sClass.pcExec = 'n';
    CopyFlags('n', 'n', 'n', "");
    struct stat sInfo;
    if (stat(pszPath, &sInfo) != 0) {
        OVLog(OVLOG_ERROR, "orvikfsys Do_Detail_Fields: Stat failed for file: %-.44s, nRc: %d.",
              pszPath, errno);
        return OVTraceEnd("orvikfsys Do_Detail_Values", OVRC_ERROR);
    }
    struct passwd *psOwner = getpwuid(sInfo.st_uid);
    OVCopyText(szFileOwner, sizeof szFileOwner, psOwner != nullptr ? psOwner->pw_name : "Unknown");
    struct group *psGroup = getgrgid(sInfo.st_gid);
    OVCopyText(szFileGroup, sizeof szFileGroup, psGroup != nullptr ? psGroup->gr_name : "Unknown");

    std::string asValue[DV_COUNT];
    asValue[DV_NAME] = pszPath;
    asValue[DV_TYPE] = FileTypeText(sInfo.st_mode);
    asValue[DV_OWNER] = szFileOwner;
    char szDevice[64];
    std::snprintf(szDevice, sizeof szDevice, "[%lx,%lx]",
                  static_cast<unsigned long>(major(sInfo.st_dev)),
                  static_cast<unsigned long>(minor(sInfo.st_dev)));
    asValue[DV_DEVICE] = szDevice;
    asValue[DV_LINKS] = Count8(static_cast<long long>(sInfo.st_nlink));
    asValue[DV_GROUP] = szFileGroup;
    asValue[DV_PERMISS1] = ClassPermissions(asPermClass[0], sInfo.st_mode);
    asValue[DV_INODE] = Count8(static_cast<long long>(sInfo.st_ino));
    asValue[DV_PERMISS2] = ClassPermissions(asPermClass[1], sInfo.st_mode);
    asValue[DV_PERMISS3] = ClassPermissions(asPermClass[2], sInfo.st_mode);
    Get_User_Permissions();
    char szUserText[40];
    std::snprintf(szUserText, sizeof szUserText, "%13.13s:", szUser);
    asValue[DV_USERID] = szUserText;
    asValue[DV_USERPERMISS] = UserPermissions();
    asValue[DV_SIZE1] = Count8(static_cast<long long>(sInfo.st_size));
    asValue[DV_SIZE2] = Count8(static_cast<long long>(sInfo.st_blocks));
    asValue[DV_SIZE3] = Count8(static_cast<long long>(sInfo.st_blksize));
    asValue[DV_DATE1] = DateText(sInfo.st_atim);
    asValue[DV_DATE2] = DateText(sInfo.st_mtim);
    asValue[DV_DATE3] = DateText(sInfo.st_ctim);

    const int nMargin = OVLayoutMargin(psPabi);
    int nRc = OVRC_OK;
    for (int i = 0; i < DV_COUNT; ++i) {
        const DETAILFIELD &sField = asDetailField[i];
        if (i == DV_NAME)
            nRc = CreateNameFields(sField.nRow, nMargin + sField.nColumn, asValue[i]);
        else
            nRc = CreateDetailField(sField.nRow, nMargin + sField.nColumn, sField.pszName,
                                    asValue[i], sField.bPanelColours ? OVDG_PANEL : OVDG_FIELD);
        if (nRc != OVRC_OK) {
            OVLog(OVLOG_ERROR, "orvikfsys Do_Detail_Fields: Unable to Create %s: %-16s, nRc: %d.",
                  sField.pszWord, asValue[i].c_str(), nRc);
            break;
        }
    }
    return OVTraceEnd("orvikfsys Do_Detail_Values", nRc);
}

int Do_Detail_Page(const char *pszPath)
{
    OVTraceStart("orvikfsys Do_Detail_Page", "pszPath: %s.", pszPath);
    int nRc = OVRC_OK;
    int nResponse = OVRESPONSE_RESIZE;
    char szResponseID[40] = "";
    std::string sCursor = "Return ";
    /* Built again at the new size after every change of size, the cursor on its button. */
    while (nRc == OVRC_OK && nResponse == OVRESPONSE_RESIZE) {
        psPabi = CreateBrowserPanel("orvikfsys Do_Detail_Page");
        if (psPabi == nullptr) return OVTraceEnd("orvikfsys Do_Detail_Page", OVRC_ERROR);
        const int nTitleColumn = OVCentredColumn(psPabi, OVDisplayWidth(szDetailTitle));
        nRc = Do_Detail_Literals();
        if (bDebug) OVLog(OVLOG_DEBUG, "orvikfsys Do_Detail_Page: Do_Detail_Literals, nRc: %d.", nRc);
        /* Without a status nothing may be offered: the flags stay 'n'. */
        nRc = Do_Detail_Values(pszPath);
        if (bDebug) OVLog(OVLOG_DEBUG, "orvikfsys Do_Detail_Page: Do_Detail_Values, nRc: %d.", nRc);

        unsigned long ulStyle = OVAB_RETURN | OVAB_HELP | OVAB_EXIT;
        if (cFileReadUser == 'y') ulStyle |= OVAB_BROWSE;
        if (cFileWriteUser == 'y') ulStyle |= OVAB_EDIT;
        nResponse = 0;
        nRc = AwaitDetailChoice(nTitleColumn, ulStyle, szResponseID, &nResponse, &sCursor);
    }

    if (nRc == OVRC_OK && nResponse == OVRESPONSE_FIELD &&
        (std::strcmp(szResponseID, "Browse ") == 0 || std::strcmp(szResponseID, "Edit ") == 0)) {
        std::string sCommand = "vi ";
        if (szResponseID[0] == 'B') sCommand += " -R ";
        sCommand += OVShellWord(pszPath);
        nRc = CommandExitCode(PerformSystemCommand(sCommand.c_str()));
    }
    if (nRc == OVRC_RETURN) nRc = OVRC_OK;
    return OVTraceEnd("orvikfsys Do_Detail_Page", nRc);
}
