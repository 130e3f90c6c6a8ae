/*
 * orvikfsys.h - the file system browser: a folder listed page by page, folders walked into and
 * back up, a detail page per file (local, or taken from the connected system's stat), and
 * Browse, Edit and Copy from there.
 *
 * main (main.cpp) runs Initialize, then Process_Request (listing.cpp) while the codes are 0,
 * then Finish. Where the user stands is one FolderView (folderview.cpp), moved only by its
 * steps. Process_Request calls Do_Detail_Page (detail.cpp) for a local file and
 * Do_Remote_Detail_Page (remotedetail.cpp) while a remote system is connected. Every function
 * returns an OVRC_* code: 0 after Return, 9 after Exit, else the code of the failing step.
 *
 * The listing's rows and the remote stat text are taken apart by ParseListingRow and
 * ParseRemoteStat, which touch no screen and no global state.
 */
#ifndef ORVIKFSYS_H
#define ORVIKFSYS_H

#include "orviklib.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/* ------------------------------------------------------------------------------------ */
/* main.cpp - the frame                                                                 */
/* ------------------------------------------------------------------------------------ */

/* Switches, "-help" text, listing file names, configuration: 0, 1 (help printed) or 8. */
int Initialize(int argc, char **argv);
/* Frees the page block and the help text and removes the listing files. 0, or the code of
   a removal that failed. */
int Finish();

/* ------------------------------------------------------------------------------------ */
/* folderview.cpp - where the user stands                                               */
/* ------------------------------------------------------------------------------------ */

constexpr int FSMAXFOLDERS = 100;         /* entries of the folder chain                  */
constexpr int FSPATHSIZE = 256;           /* a folder path holds 255 characters           */
constexpr int FSMAXPAGEROWS = 1000;       /* rows of a page on the tallest terminal       */

struct FOLDER {
    char szPath[FSPATHSIZE];              /* ends in "/" */
    bool bThroughLink;                    /* entered through a symbolic link of its parent */
};

/* The orders `ls` lists in, as "s" cycles them. */
enum FSSORT : int { FSSORT_NAME = 0, FSSORT_TIME = 1, FSSORT_SIZE = 2 };
constexpr int FSSORTS = 3;

/* How one folder is looked at, kept while the browser runs: the filter as typed, the order,
   whether names starting with a dot are hidden, and the name to stand on when the folder is
   shown again ("" keeps the page and line as they are). */
struct FOLDERLOOK {
    std::string sFilter;
    int nSort = FSSORT_NAME;
    bool bHideDots = false;
    std::string sStandOn;
};

/* Where the user stands in the browser: the chain of folders entered, one per level, and the
   level shown; the level whose listing the listing file holds; the starts of that folder's
   pages as far as they were walked (page 1 starts at 0) and the page shown; the row of the
   page the cursor stands on; and whether the folder shown is to be listed (again) before a
   page of it is shown. Every move of the user is one of its steps. */
class FolderView {
  public:
    /* At pszRoot, level 0, nothing listed yet. */
    void Start(const char *pszRoot);

    const FOLDER &Folder() const { return asFolder[nLevel]; }
    int Level() const { return nLevel; }
    /* Is the folder shown to be listed before a page of it is shown? */
    bool MustList() const { return bListAgain || bJumped || nLevel != nListedLevel; }
    /* Has a folder been listed, and is it the one shown? */
    bool HasListing() const { return nListedLevel >= 0; }
    bool ShowsListed() const { return nLevel == nListedLevel && !bJumped; }
    /* The page shown (0 for page 1), where it starts in the listing file, and the row of it
       that the cursor stands on. */
    int Page() const { return nPage; }
    std::int64_t PageStart() const { return afPageStart[static_cast<std::size_t>(nPage)]; }
    int Line() const { return nLine; }

    /* One level down into sName (which ends in "/") of the folder shown, entered through a
       link when bThroughLink. NULL, or why it was refused: "too many folder levels", "path
       too long". The new folder is to be listed. */
    const char *Enter(std::string_view sName, bool bThroughLink);
    /* "../": a level back (none above the first), listed afresh, to stand on the folder
       just left. */
    void Up();
    /* Straight to the folder sPath (absolute, ends in "/"), its chain built from "/" so that
       "../" walks up; the chain before comes back if its listing fails. NULL, or why it was
       refused. */
    const char *GoTo(std::string_view sPath);
    /* How the folder shown is looked at; kept per folder path. */
    FOLDERLOOK &Look() { return mapLook[asFolder[nLevel].szPath]; }
    /* Has the user left for a folder whose listing may still fail, with a way back? */
    bool CanComeBack() const { return bJumped || (HasListing() && !ShowsListed()); }
    /* The pages starting at afStart (the first at 0), the last one shown, on its row nRow. */
    void Land(const std::vector<std::int64_t> &afStart, int nRow);
    /* The first page, on its first row. */
    void FirstPage();
    /* "./": the folder shown listed afresh, from its first page. */
    void ListAgain();
    /* To the page that starts at fNext (none when negative), on its first row. */
    void Forward(std::int64_t fNext);
    /* To the page before (none before the first), on its first row. */
    void Backward();
    /* The cursor stands on row nRow of the page (no move when negative). */
    void StandOn(int nRow);
    /* The folder shown has been listed: page 1, row 0, unless it is the folder come back to. */
    void Listed();
    /* The listing of the folder entered failed and took the listing file with it: back to the
       folder listed before, listed again, then on the page and row the user left. */
    void ComeBack();
    /* The listing was cancelled or its link failed, the listing before kept: back to the
       folder listed before, on its page and row. */
    void KeepListing();

  private:
    /* After a failed listing: the chain as it was before a jump, at the level listed. */
    void TakeChainBack();

    std::array<FOLDER, FSMAXFOLDERS> asFolder = {};
    std::array<FOLDER, FSMAXFOLDERS> asFolderBefore = {};   /* the chain before GoTo */
    std::map<std::string, FOLDERLOOK> mapLook;
    bool bJumped = false;
    int nLevelBefore = 0;
    int nLevel = 0;
    int nListedLevel = -1;
    bool bListAgain = true;
    bool bComingBack = false;
    std::vector<std::int64_t> afPageStart = {0};
    int nPage = 0;
    int nLine = 0;
};

/* ------------------------------------------------------------------------------------ */
/* globals.cpp - the state the screens share                                            */
/* ------------------------------------------------------------------------------------ */

/* A page of the listing file: the offset of its first row and that of the next page's,
   -1 when the page was not full (nothing can follow it). */
struct LISTPAGE {
    std::int64_t fStart = 0;
    std::int64_t fNext = -1;
};

extern int nMyPid;
extern int nFileSequence;
extern char szTempFile[FSPATHSIZE];
extern char szErrorFile[FSPATHSIZE];
extern char szViewFile[FSPATHSIZE];       /* the listing filtered, hidden entries left out */
extern FolderView sFolderView;
extern LISTPAGE sPage;            /* the page read last */
extern std::vector<std::string> asPageRow;   /* the page's rows of the listing, whole */
extern int nMaxPanelRows;
extern unsigned long ulABAttibute;
extern PABI *psPabi;

/* ------------------------------------------------------------------------------------ */
/* lsrow.cpp - the ls row parser                                                        */
/* ------------------------------------------------------------------------------------ */

/* One `ls -lpah --time-style=+%D-%H:%M` row taken apart; the views point into the row. */
struct LSROW {
    std::string_view sMode;               /* "-rw-r--r--", "drwxr-xr-x.", ...             */
    std::string_view sLinks;
    std::string_view sOwner;
    std::string_view sGroup;
    std::string_view sSize;               /* "4.0K"; "1, 3" for a device                  */
    std::string_view sDateTime;           /* "12/07/26-03:11"                             */
    std::string_view sName;               /* the whole name, blanks kept; "dir/" for a    */
                                          /* folder; a link's name without " -> target"   */
    std::string_view sTarget;             /* a link's target, else empty                  */
};

/* Takes a listing row apart. False for a row that is not an entry of `ls -l` (the "total"
   line, or the rest of a name that holds a newline). */
bool ParseListingRow(std::string_view sRow, LSROW *psRow);
/* ------------------------------------------------------------------------------------ */
/* view.cpp - the view of a listing file: filtered, hidden entries left out, paged        */
/* ------------------------------------------------------------------------------------ */

/* Reads a file line by line into one buffer of its own. */
struct LineBuffer {
    char *pszLine = nullptr;
    std::size_t nSize = 0;
    ~LineBuffer() { std::free(pszLine); }
    /* The next line without its newline, or false at the end of the file; *pnBytes (when
       given) gets the bytes it took in the file. */
    bool Read(std::FILE *pFile, std::string_view *psLine, std::size_t *pnBytes = nullptr);
};

/* Is the row the "total" line that `ls -l` writes first? */
bool IsTotalLine(std::string_view sLine);

/* Writes the view of the listing file pszFrom into pszInto (claimed first: never through a
   link): the entries whose name holds sFolded (folded by OVFoldCase) ignoring case, without
   the names starting with a dot when bHideDots; "./" and "../" always; a name of several
   rows whole; no "total" line. pszFrom may be an earlier view. The number of entries
   written besides "./" and "../", or -1 when a file could not be used (logged). */
long WriteView(const char *pszFrom, const char *pszInto, std::string_view sFolded,
               bool bHideDots);
/* The starts of the pages of nRows rows of the listing file from the first page up to the
   one that holds the entry sName (a folder's name with or without its "/"), and that
   entry's row in it (*pnRow); with an empty sName, up to the last page. False when the
   name is not there or the file cannot be read. */
bool FindPages(const char *pszFile, int nRows, std::string_view sName,
               std::vector<std::int64_t> *pafStart, int *pnRow);
/* The longest start that every entry of the listing file beginning with sPart shares (a
   folder's with its "/"); "" when no entry begins with it. */
std::string CompleteName(const char *pszFile, std::string_view sPart);

/* ------------------------------------------------------------------------------------ */
/* listing.cpp - the listing loop, the listing command, paging and the listing panel     */
/* ------------------------------------------------------------------------------------ */

/* The listing loop: one panel per pass until Return (0), Exit (9) or a failure. */
int Process_Request();
/* Runs the listing command for the folder shown into szTempFile. 0, or 8; for a remote
   listing also 4 (cancelled) or 101 (the link failed, told), the listing before kept. */
int Get_Directory_Data();
/* Reads the page shown (sFolderView.PageStart()) into asPageRow, at most nMaxPanelRows
   rows. 0, or 8. */
int Get_Panel_Data();
/* Builds the listing panel on psPabi from the rows of the page. */
int Present_Panel();
/* The listing's title for a panel nColumns wide: "Orvik Explore Filesystems: " and the
   folder (after the connected system's address and a colon, if any), or only the folder
   with its start cut to "~" when the whole does not fit; then sLook (the filter and order,
   "  [ssh]  by time") whole. */
std::string ListingTitle(const char *pszSystem, const char *pszFolder, int nColumns,
                         std::string_view sLook = {});
/* A typed path as a folder path: from sBase ("/usr/") when relative, "." and ".." taken
   away, repeated "/" made one, ending in "/"; "" for an empty text. */
std::string ResolveFolderPath(std::string_view sTyped, std::string_view sBase);

/* The data line of an entry, in display columns: the name (cut to 40 columns with "~") at 0,
   size at 40, date-time at 49, the first 10 mode characters at 64, 74 columns in all. */
std::string FormatListingLine(const LSROW &sRow);

/* ------------------------------------------------------------------------------------ */
/* detail.cpp - the local detail page                                                   */
/* ------------------------------------------------------------------------------------ */

extern char szFileOwner[33];
extern char szFileGroup[33];
extern char szUser[33];
extern char szMatch[33];
extern char cFileReadOwner, cFileWriteOwner, cFileExecOwner;
extern char cFileReadGroup, cFileWriteGroup, cFileExecGroup;
extern char cFileReadOthers, cFileWriteOthers, cFileExecOthers;
extern char cFileReadUser, cFileWriteUser, cFileExecUser;

/* The detail page of a local file: 0 after Return, Help or the page's action, 9 after
   Exit, 8 when no panel, else the exit status of vi. */
int Do_Detail_Page(const char *pszPath);
/* The fixed labels of the page. */
int Do_Detail_Literals();
/* Reads the file's status and creates the value fields. 8 when stat fails. */
int Do_Detail_Values(const char *pszPath);
/* Which class of the file's permissions applies to the effective user. */
int Get_User_Permissions();

/* The exit code of a system() status: the command's own code, 8 when it did not end
   normally. */
int CommandExitCode(int nStatus);

/* ------------------------------------------------------------------------------------ */
/* remotedetail.cpp - the remote detail page and Copy                                   */
/* ------------------------------------------------------------------------------------ */

/* One text of the remote page. With a label the text is "label: value" and goes through
   Reformat_Detail_Field; the file name is written as its label and value directly. */
struct STATTEXT {
    int nRow;
    int nColumn;
    std::string sText;
    bool bFileName;                       /* "File:" at nColumn, sText at nColumn + 6     */
};

/* Picks the values of GNU stat's default output apart by their labels, placed for the
   margin nMargin. *pbRegular is set when the type is "regular file". */
std::vector<STATTEXT> ParseRemoteStat(std::string_view sOutput, int nMargin, int *pbRegular);

/* The detail page of a file on the connected system: 0 after Return, Help or Copy, 9 after
   Exit, 8 when no panel or when stat failed, else the exit status of vi. */
int Do_Remote_Detail_Page(const char *pszPath);
/* Writes every value of the stat output; always 0. */
int Do_Remote_Detail_Fields(const char *pszOutput, int *pbRegular);
/* Writes "label:" in the Panel colours and the value after it in the Field colours. */
int Reformat_Detail_Field(const char *pszText, int nRow, int nColumn);
/* Copies the remote file to /tmp and opens the copy in vi. */
int DoCopyFile(const char *pszPath);
/* Copy's fetch of a file of the connected system into the local file sInto: the exit code
   of the remote side (3: no longer a regular file), or -1 when it did not run to its end;
   *pnStep then says why (4 cancelled, 101 link failed, 8 refused) and *psReason how. */
int FetchRemoteFile(const char *pszPath, const std::string &sInto, int *pnStep,
                    std::string *psReason);

/* ------------------------------------------------------------------------------------ */
/* pages.cpp - what the listing and both detail pages share                             */
/* ------------------------------------------------------------------------------------ */

/* Text for the screen: control characters and broken sequences shown as "?", then cut to
   nWidth display columns with "~", padded with blanks to nWidth when bPad. */
std::string ScreenText(std::string_view sText, int nWidth, bool bPad);
/* A panel of the terminal's size in the Panel group's colours, or NULL (logged). */
PABI *CreateBrowserPanel(const char *pszWho);
/* The push buttons of a detail page under its title, the cursor on the push button named
   *psCursor, the user's choice (szResponseID holds 40 characters); the panel is deleted
   afterwards. After a change of size *psCursor names the button the cursor stood on, so
   that the page built again puts it there. The code of the response loop. */
int AwaitDetailChoice(int nTitleColumn, unsigned long ulStyle, char *pszResponseID,
                      int *pnResponse, std::string *psCursor);
/* Name of the field the cursor stands on, "" when none. */
std::string CurrentFieldName(const PABI *psPanel);

#endif /* ORVIKFSYS_H */
