/*
 * orvikmenu.h - the main menu program: its records, its program-wide state and its steps.
 *
 * Contract in brief:
 *  - main (main.cpp) installs the library's signal handler with the menu's own ending,
 *    calls Initialize, then Process_Menu while it returns 0, then Finish, and exits with 0
 *    in every ordinary ending; a start that fails (no menu, no configuration) prints one
 *    line on standard error and exits with 8. A signal ends the menu at its next key wait.
 *  - The menu tree is a chain of MENUITEMs read once from the menu file (menufile.cpp) into
 *    the heap of the program's own anchor block psPabOrvik (menustate.cpp); nothing in it is
 *    freed before Finish releases the heap chunks in one pass.
 *  - Process_Menu (menupanel.cpp) draws one level with the screen primitives and acts on one
 *    choice; Process_Selection (selection.cpp) starts the item's program through the shell.
 *    A level longer than the screen scrolls (menuwindow.cpp); each level's current entry and
 *    scroll position survive the choice, so the next Process_Menu shows them again.
 *  - Functions return OVRC_* codes and pass a callee's non-zero code upward.
 */
#ifndef ORVIKMENU_H
#define ORVIKMENU_H

#include "orviklib.h"

#include <string>

struct _xmlTextReader;

/* One MenuItem element of the menu file, in file order. */
struct MENUITEM {
    char szEyeCatcher[8];        /* "MITEMBLK", not NUL-terminated */
    MENUITEM *psMenuItemNext;
    int nLevel;                  /* depth of the element: 1 for the main menu's items */
    char szName[128];            /* Title, at most 127 characters */
    char szAction[128];          /* Invoke, at most 127 characters */
    char szSavedSubMenu[128];    /* the submenu the item belongs to */
    char *pszHelpText;           /* Help, on the program heap; NULL when the item has none */
};

/* One entry of the drawn bottom line, in Tab order. */
struct MENUTAB {
    char szEyeCatcher[8];        /* "TITEMBLK" */
    int nRow;
    int nColumn;
    int nLength;                 /* clickable width */
    MENUITEM *psMenuItem;
};

constexpr int MENUMAXITEMS = 1000;   /* items gathered for one level */
constexpr int MENUTEXTMAX = 127;     /* characters kept of a Title or Invoke text */
constexpr int MENUHELPMAX = 15999;   /* characters of a help text passed to a child */

/* ---- menustate.cpp - program-wide state and the program's anchor block ---- */

extern char szXMLFile[256];      /* "./orvik.xml" unless "-f" names another */
extern char szDirectory[256];    /* "-d": exported as ORVIKDIR */
extern PABI *psPabOrvik;         /* owns the heap that holds the menu tree */
extern char *pszUserID;          /* login name, not owned; NULL when there is none */
extern char szKernelName[256];
extern char szNodeName[256];
extern char szKernelRelease[256];
extern int nMenuLevel;           /* level shown, 1 = main menu */
extern char szSavedSubMenu[128]; /* submenu shown; while reading, the current submenu */

/* Builds psPabOrvik: one zeroed 131072-byte block holding the anchor block and the header
   of its first heap chunk. 0, or 8 when the block cannot be allocated. */
int BuildAnchorBlock();
/* Frees every heap chunk of psPabOrvik (and with the first one the anchor block). */
void ReleaseAnchorBlock();
/* Reads the terminal size of standard output into psPabOrvik; keeps the old one on a
   terminal that cannot tell (24 x 80 when there is none yet). */
void RefreshTerminalSize();

/* ---- menufile.cpp - the menu file reader ---- */

extern MENUITEM sMenuItemWork;   /* the pending item while its element is read */
extern int bHaveMenuItem;
extern char szSavedName[32];     /* last Title, Invoke or Help start tag */
extern MENUITEM *psMenuItem_First;
extern MENUITEM *psMenuItem_Last;

/* Clears the reader state and forgets the chain (its storage stays in the heap). */
void ResetMenuReader();
/* Reads the menu file into the chain; logs a file that cannot be opened or parsed and keeps
   the items read until then. Returns the number of items in the chain. */
int ReadMenuFile(const char *pszFile);
/* "Menu file <file>, line <n>: <parser message>" for the first complaint of the parser
   during the last ReadMenuFile; "" when the file was read whole. */
const std::string &MenuFileFailure();
/* The sentence, already logged, that names the first menu of the last ReadMenuFile with more
   items than MENUMAXITEMS; "" when every menu can show all its items. */
const std::string &MenuFileNotice();
/* Handles the node the text reader stands on; 0, or the result of Add_MenuItem. */
int ProcessXMLNode(_xmlTextReader *psReader);
/* Appends a copy of the pending item to the chain; 0. */
int Add_MenuItem();
/* Writes the menu structure table into the log. */
void LogMenuStructure();

/* ---- menuwindow.cpp - which items of a level are shown, and where the cursor goes ---- */

/* The entries of one level in Tab order: the listed items 0..nItems-1, then the entries
   of the bottom line. Items nTop..nTop+nVisible-1 are shown; when bMarkers is set the level
   is longer than its rows, and the first and last of them say whether more lie above or
   below instead of holding items. */
struct MENUWINDOW {
    int nItems = 0;
    int nBottom = 0;
    int nVisible = 0;
    int nTop = 0;
    int nCurrent = 0;
    bool bMarkers = false;
};

/* Rows between the title area and the instruction line of a terminal nRows high. */
int MenuItemRows(int nRows);
/* Lays the window out for nItemRows rows, keeping the current entry and showing it. */
void MenuWindowFit(MENUWINDOW &sWindow, int nItemRows);
/* Moves the current entry for a key (Tab, arrows, Page Up/Down, Home, End) and scrolls to
   show it; false for any other key. */
bool MenuWindowMove(MENUWINDOW &sWindow, int nKey);
/* Makes entry nEntry current (kept within the entries) and scrolls to show it. */
void MenuWindowGoTo(MENUWINDOW &sWindow, int nEntry);
/* Scrolls by nDelta items (negative: up); a current item that leaves the window is replaced
   by the nearest one shown. */
void MenuWindowScroll(MENUWINDOW &sWindow, int nDelta);

/* ---- menupanel.cpp - the menu screen ---- */

/* Collects the items of the current level in chain order (at most nMaxItems): same level,
   same submenu below the main menu, no "htop" while a system is connected. */
int GatherMenuItems(MENUITEM **apsItems, int nMaxItems);
/* Draws the current level and acts on one choice: 0 to draw again, 9 for Exit, or the
   code that ends the program. */
int Process_Menu();

/* ---- selection.cpp - what a chosen item starts ---- */

/* The shell command line that starts the item's action with its help text. */
std::string BuildSelectionCommand(const MENUITEM *psMenuItem);
/* What the menu's red box says after an item's command ended with the system() status
   nStatus, "" when nothing is to be said: 0, 3 and 9, 8 (the program said why itself), an
   interrupt (2, 130, SIGINT) and an interactive shell pass quietly; 127 says that the
   command was not found; any other status is said with the first line the command wrote
   to its standard error (sErrorLine, when there was one). */
std::string SelectionFailureText(const MENUITEM *psMenuItem, int nStatus,
                                 const std::string &sErrorLine);
/* Shows a box or runs the item's action: 0 to go on, 9 or 3 when the child asks the menu
   to end. A failure is said in a red box (SelectionFailureText). */
int Process_Selection(MENUITEM *psMenuItem);

/* ---- main.cpp - the frame ---- */

int Initialize(int argc, char **argv);
int Finish();

#endif /* ORVIKMENU_H */
