/*
 * orviklib.h - the Orvik panel toolkit and runtime services.
 *
 * One header for everything the four programs link: records, style bits, globals and
 * functions, in the global namespace under their own names, sectioned by the file that
 * defines them.
 *
 * Contract in brief:
 *  - Every function returns an int return code (OVRC_*) unless its section says otherwise,
 *    and passes a callee's non-zero code upward.
 *  - Public functions (prefix OV) check their pointers, log "<name>: <arg> NULL pointer: %p."
 *    at level 8 and return 8; their internal twins (trailing i) take the same panel handle.
 *  - A panel (PABI) owns a bump heap of 131072-byte chunks; every FIELD and FIELDTAB of the
 *    panel lives there until OVDeletePanel frees the chunks in one pass.
 *  - Screen coordinates are 1-based rows and columns, except PrintBlock (curses coordinates).
 *  - Errors always reach the log (level 8); trace lines only while bDebug is set.
 *  - Only the drawing and input sources include curses; this header does not.
 */
#ifndef ORVIKLIB_H
#define ORVIKLIB_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

struct stat;

/* ------------------------------------------------------------------------------------ */
/* Return codes and log levels shared by every program                                  */
/* ------------------------------------------------------------------------------------ */

enum : int {
    OVRC_OK = 0,          /* success                                                   */
    OVRC_HELP = 1,        /* help text printed                                         */
    OVRC_RETURN = 3,      /* Return chosen in the response loop                        */
    OVRC_CANCELLED = 4,   /* a remote step cancelled by the user with Ctrl-c           */
    OVRC_ERROR = 8,       /* bad argument or failed operation                          */
    OVRC_EXIT = 9,        /* Exit chosen                                               */
    OVRC_NOMEMORY = 12,   /* exit status when a heap chunk cannot be allocated         */
    OVRC_OVERFLOW = 100,  /* command output does not fit the caller's buffer           */
    OVRC_CMDFAILED = 101  /* command could not run, failed, or left no output file     */
};

/* Exit status of a program that has already shown the user why it failed, in a red message
   box (or, without a terminal, only in the log). Whoever started it shows nothing more for
   it: a failure is said once. Every program that ends after a failure ends with it. */
constexpr int OVEXIT_SHOWN = OVRC_ERROR;

enum : int {
    OVLOG_INFO = 0,
    OVLOG_DEBUG = 1,
    OVLOG_WARNING = 4,
    OVLOG_ERROR = 8
};

/* ------------------------------------------------------------------------------------ */
/* panel.cpp - panel anchor block, heap chunks, fields and tab entries                  */
/* ------------------------------------------------------------------------------------ */

constexpr int OVHEAPCHUNKSIZE = 131072; /* size of the panel block and of every chunk */

struct FIELD;
struct FIELDTAB;

/* Header at the start of each heap chunk (the first one follows the PABI directly). */
struct HEAP {
    char szEyeCatcher[8];        /* "PHEAPBLK", not NUL-terminated */
    HEAP *psHeapNext;
    HEAP *psHeapPrev;
    unsigned char *pHeap;        /* start of the chunk's memory: the address freed */
    unsigned char *pHeapFree;    /* first free byte */
    int nHeapSize;
};

/* Panel anchor block; PAB is the same object under the name the public functions use. */
struct PABI {
    char szEyeCatcher[8];        /* "PANELBLK" */
    int nRows;
    int nColumns;
    int nRowCurrent;
    int nColumnCurrent;
    HEAP *psHeapFirst;
    HEAP *psHeapCurrent;
    FIELD *psFieldFirst;
    FIELD *psFieldLast;
    FIELDTAB *psFieldTabFirst;
    FIELDTAB *psFieldTabLast;
    FIELDTAB *psFieldTab_Current;
    unsigned long ulKeys;        /* keys the response loop hands back (OVKEYS_*), 0: none     */
    int nKey;                    /* the key of an OVRESPONSE_KEY response                    */
    int nButtonChosen;           /* response code of the modal bar's last choice, 0: none    */
                                 /* (the block stays 96 bytes: 130928 bytes of room follow)  */
};
typedef PABI PAB;

/* One field of a panel: text, label, data line, push button or pulldown. */
struct FIELD {
    char szEyeCatcher[8];        /* "FIELDBLK" */
    FIELD *psFieldNext;
    FIELD *psFieldPrev;
    int nRow;
    int nColumn;
    int nLength;
    char szName[40];             /* at most 32 characters are copied in */
    char szValue[256];           /* at most 255 characters */
    int nChoices;
    const char *const *pszChoices; /* pulldowns: the caller's array, not copied */
    unsigned long ulStyle;
    int nAttribute;
    int nBackground;
    int nForeground;
};

/* One entry of the panel's tab order. */
struct FIELDTAB {
    char szEyeCatcher[8];        /* "TABFLBLK" */
    FIELDTAB *psFieldTabNext;
    FIELDTAB *psFieldTabPrev;
    int nRow;
    int nColumn;
    int nOffset;                 /* cursor offset inside the value while it is edited */
    FIELD *psField;
};

static_assert(sizeof(unsigned long) == 8, "style bits are 64-bit");
static_assert(sizeof(HEAP) == 48 && sizeof(PABI) == 96, "room of the first chunk is 130928 bytes");
static_assert(sizeof(HEAP) % alignof(std::max_align_t) == 0 &&
                  (sizeof(PABI) + sizeof(HEAP)) % alignof(std::max_align_t) == 0,
              "the room of every chunk starts aligned for any record");

extern int nPid;                 /* process id, stored at every panel creation */

/* Creates a panel (curses entered, configuration loaded) and draws its centred title. */
PAB *OVCreatePanel(const char *pszTitle, int nAttribute, int nBackground, int nForeground);
/* Creates a panel with a first chunk of nSize bytes; rows/columns <= 0 take the terminal's. */
PABI *OVCreatePaneli(int nSize, int nRows, int nColumns, int nAttribute, int nBackground,
                     int nForeground);
/* Saves the configuration, dumps the chunks when dumping, frees the panel, leaves curses. */
int OVDeletePanel(PAB *psPab);
/* nLength zero bytes from the panel heap; never NULL (ends the process with 12 instead).
   Blocks follow each other without rounding: a caller that stores text of any length asks
   for OVHeapAligned(length) so that the next record still lands aligned. */
void *GetHunkofHeap(PABI *psPabi, int nLength);
/* nLength rounded up to the strictest alignment a record may need. */
constexpr int OVHeapAligned(int nLength) {
    constexpr int nAlign = static_cast<int>(alignof(std::max_align_t));
    return (nLength + nAlign - 1) / nAlign * nAlign;
}
/* A new FIELD appended to the panel's field chain. */
FIELD *CreateFieldBlk(PABI *psPabi);
/* A new FIELDTAB appended to the tab chain; it becomes psFieldTab_Current. */
FIELDTAB *CreateFieldTabBlk(PABI *psPabi);

/* ------------------------------------------------------------------------------------ */
/* screen.cpp - curses set-up, colours, attributes, positions and text                  */
/* ------------------------------------------------------------------------------------ */

struct OVCOLORPAIR {
    int nForeground;
    int nBackground;
};

constexpr int OVMAXCOLORPAIRS = 32;
extern OVCOLORPAIR asColor[OVMAXCOLORPAIRS]; /* entry i defines curses colour pair i + 1 */
extern int nColorPair;           /* entries of asColor in use in the current panel */
extern int nBackColor;           /* colours last painted by OVClearScreenHunk, -1 at start */
extern int nForeColor;

/* Rows and columns of the terminal on standard output (TIOCGWINSZ). 0, or 8 when the
   request fails (both values are then 0). */
int OVTerminalSize(int *pnRows, int *pnColumns);
/* Curses set-up for drawing without a panel (half-delay of two tenths). */
int InitializeCurses();
/* Clears the screen and leaves curses mode. */
int EndCurses();
/* Makes the combination the current colour of stdscr (one pair per combination). */
int OVSetColor(int nForegroundColor, int nBackgroundColor);
/* Makes the mapped attribute (1 bold, 2 dim, 3 underline, 7 reverse) the whole attribute. */
int OVSetAttribute(int nAttribute);
/* Moves the cursor; 8 without moving when a coordinate is below 1. */
int SetPosition(int nRow, int nColumn);
/* Writes text literally at the cursor. */
int WriteString(const char *pszString);
/* Paints nRows rows of nLength blanks from column 1 of nRow in the given colours. */
int OVClearScreenHunk(PABI *psPabi, int nRow, int nColumn, int nRows, int nLength,
                      int nBackground, int nForeground);
/* Prints a multi-line text at curses (0-based) coordinates, centred on wide panels. */
int PrintBlock(PABI *psPabi, int nRow, int nColumn, const char *pszMessage);

/* ------------------------------------------------------------------------------------ */
/* field.cpp - fields, pulldowns, cursor and value lookup                               */
/* ------------------------------------------------------------------------------------ */

constexpr unsigned long OVSTYLE_TAB = 0x1;
constexpr unsigned long OVSTYLE_RIGHT = 0x2;
constexpr unsigned long OVSTYLE_CENTER = 0x4;
constexpr unsigned long OVSTYLE_EDIT = 0x8;
constexpr unsigned long OVSTYLE_PULLDOWN = 0x80000000UL;

int OVCreateField(PAB *psPab, int nRow, int nColumn, int nLength, const char *pszName,
                  const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                  int nForeground);
/* Creates and draws a field; with OVSTYLE_TAB it joins the tab order and becomes current. */
int OVCreateFieldi(PABI *psPabi, int nRow, int nColumn, int nLength, const char *pszName,
                   const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                   int nForeground);
/* Draws an existing field of the panel again with new place, value, style and colours,
   instead of creating another one in the panel heap; its name and tab entry stay. 8 when
   the field is not the panel's or its tab or pulldown style would change. */
int OVUpdateFieldi(PABI *psPabi, FIELD *psField, int nRow, int nColumn, int nLength,
                   const char *pszValue, unsigned long ulStyle, int nAttribute, int nBackground,
                   int nForeground);
/* A field whose Enter opens the list of choices; the choice array must outlive the panel. */
int OVCreatePullDown(PAB *psPab, int nRow, int nColumn, int nLength, const char *pszName,
                     const char *pszValue, int nChoices, const char *const *pszChoices,
                     unsigned long ulStyle, int nAttribute, int nBackground, int nForeground);
int OVSetCursor(PAB *psPab, const char *pszName);
/* Gives the named selectable field the cursor. */
int SetCursori(PABI *psPabi, const char *pszName);
int OVGetFieldValue(PAB *psPab, const char *pszFieldID, char **ppszFieldText);
/* Points *ppszFieldText at the named field's own value storage (valid until deletion). */
int GetFieldValuei(PABI *psPabi, const char *pszFieldID, char **ppszFieldText);

/* ------------------------------------------------------------------------------------ */
/* input.cpp - keyboard and mouse                                                       */
/* ------------------------------------------------------------------------------------ */

/* One keyboard or mouse event; rows and columns 1-based, 0 for keys. */
struct CHARINPUT {
    int nChar;
    int nRow;
    int nColumn;
};

constexpr int OVKEY_TAB = 9;
constexpr int OVKEY_ENTER = 10;
constexpr int OVKEY_DOWN = 258;
constexpr int OVKEY_UP = 259;
constexpr int OVKEY_LEFT = 260;
constexpr int OVKEY_RIGHT = 261;
constexpr int OVKEY_DELETE = 330;
constexpr int OVKEY_BTAB = 353;
constexpr int OVKEY_MOUSE = 409;
/* Keys beyond those of the panels' first design: editing, paging and a changed size. */
constexpr int OVKEY_BACKSPACE = 263;  /* KEY_BACKSPACE; 127 and 8 arrive from some terminals */
constexpr int OVKEY_HOME = 262;
constexpr int OVKEY_END = 360;
constexpr int OVKEY_NPAGE = 338;      /* Page Down */
constexpr int OVKEY_PPAGE = 339;      /* Page Up */
constexpr int OVKEY_RESIZE = 410;     /* KEY_RESIZE: the terminal has a new size */
constexpr int OVKEY_ESCAPE = 27;

/* Keys a panel may ask the response loop (and its modal action bar) to hand back as
   OVRESPONSE_KEY, the key in psPabi->nKey, set in psPabi->ulKeys before the loop runs.
   Without them those keys ring the bell as before. Escape on a field that takes no text
   chooses Return, on any panel that offers it, unless OVKEYS_TEXT or OVKEYS_ESCAPE
   hands it back. */
constexpr unsigned long OVKEYS_PAGING = 0x1;   /* PgDn, PgUp, Home, End                    */
constexpr unsigned long OVKEYS_LETTERS = 0x2;  /* a printable character, the blank and each */
                                               /* byte of a UTF-8 character included, on a  */
                                               /* field that takes no text                  */
constexpr unsigned long OVKEYS_TEXT = 0x4;     /* while a line is typed outside the fields: */
                                               /* printable bytes, Backspace, Delete, Left, */
                                               /* Right, Escape and Enter; Up, Down, Tab    */
                                               /* and the mouse still move between fields   */
constexpr unsigned long OVKEYS_ESCAPE = 0x8;   /* Escape on a field that takes no text, for */
                                               /* a panel whose way back is not Return      */
constexpr unsigned long OVKEYS_TAB = 0x10;     /* Tab, for a typed line that completes names */

extern int nTimeMouse;           /* the second after the last mouse event taken (kept for
                                    programs that read it; it no longer holds clicks back) */

/* Waits for one key or one mouse button press (releases and motion are skipped, the wheel
   arrives as OVKEY_UP and OVKEY_DOWN); returns 0.
   When standard input is at its end or hung up, the program ends through OVFatalExit with
   9, as after Exit. A terminal below 80x24 shows only "Terminal too small: WxH. Orvik needs
   at least 80x24." until it is large enough again; GetKBM then reports OVKEY_RESIZE, as
   after any change of size, and bOVResizePending stays set until a screen is laid out anew. */
int GetKBM(CHARINPUT *psCharInput);
/* The next key; a click on a selectable field makes it current and arrives as Enter. */
int GetInputChar(PABI *psPabi);

/* ------------------------------------------------------------------------------------ */
/* response.cpp - the user response loop, field editor and pulldown pop-up              */
/* ------------------------------------------------------------------------------------ */

/* Response codes written to *pnResponse. */
constexpr int OVRESPONSE_NOFIELD = 2;  /* the panel has no selectable field */
constexpr int OVRESPONSE_FIELD = 5;    /* a field was chosen; its name is the response ID */
constexpr int OVRESPONSE_RESIZE = 30;  /* the terminal changed size: build the screen again */
constexpr int OVRESPONSE_KEY = 31;     /* a key the panel asked for (ulKeys): psPabi->nKey */

int OVGetUserResponse(PAB *psPab, char *pszResponseID, int *pnResponse);
/* Takes a change of size that no screen has answered yet (bOVResizePending): true once, and
   the flag is cleared. The response loop and the modal action bar answer it with
   OVRESPONSE_RESIZE, also when it came under their help box or a pulldown; a screen drawn
   without them takes it as it lays itself out. Nothing else clears the flag. */
bool OVTakeResize();
/* Runs the loop until a choice: 0 with a response, 3 Return, 9 Exit, 8 error. */
int OVGetUserResponsei(PABI *psPabi, char *pszResponseID, int *pnResponse);
/* What Enter does on the current tab entry. */
int OVUREnteri(PABI *psPabi, char *pszResponseID, int *pnResponse);
/* Applies one key to an editable field; always 0. */
int DoEditField(FIELDTAB *psFieldTab, int nWorkchar);
/* The pop-up of a pulldown; the choice made becomes the field's value. */
int OVURPullDowni(PABI *psPabi, char *pszResponseID, int *pnResponse, FIELD *psField,
                  FIELDTAB *psFieldTab);

/* ------------------------------------------------------------------------------------ */
/* actionbar.cpp - push buttons                                                         */
/* ------------------------------------------------------------------------------------ */

constexpr unsigned long OVAB_FORWARD = 0x1;
constexpr unsigned long OVAB_RETURN = 0x2;
constexpr unsigned long OVAB_HELP = 0x4;
constexpr unsigned long OVAB_SAVE = 0x8;
constexpr unsigned long OVAB_BROWSE = 0x10;
constexpr unsigned long OVAB_EDIT = 0x20;
constexpr unsigned long OVAB_PRINT = 0x40;
constexpr unsigned long OVAB_MODAL = 0x80;
constexpr unsigned long OVAB_EXIT = 0x100;
constexpr unsigned long OVAB_PING = 0x400;
constexpr unsigned long OVAB_TRUST = 0x800;
constexpr unsigned long OVAB_CONNECT = 0x1000;
constexpr unsigned long OVAB_COPY = 0x2000;
constexpr unsigned long OVAB_DELETE = 0x4000;
constexpr unsigned long OVAB_BACKWARD = 0x8000;
constexpr unsigned long OVAB_DISCONNECT = 0x10000;
constexpr unsigned long OVAB_CANCEL = 0x20000;
constexpr unsigned long OVAB_NEW = 0x40000;
constexpr unsigned long OVAB_RUN = 0x80000;
/* A modal action bar answers a change of the terminal's size with *pnResponse
   OVRESPONSE_RESIZE (and return code 0), so that its program lays the screen out again:
   one that comes while it waits, while its help box is open, or before it starts. */

int OVCreateActionBar(PAB *psPab, int nRow, int nColumn, int nLength, unsigned long ulStyle,
                      int *pnResponse);
/* Draws the requested buttons in their fixed order; with OVAB_MODAL reads the choice too,
   starting on the button chosen last on the panel (psPabi->nButtonChosen), else the first;
   Escape there chooses Return, and the keys of psPabi->ulKeys' OVKEYS_PAGING come back as
   OVRESPONSE_KEY. */
int OVCreateActionBari(PABI *psPabi, int nRow, int nColumn, int nLength, unsigned long ulStyle,
                       int *pnResponse);

/* ------------------------------------------------------------------------------------ */
/* boxes.cpp - message, help and prompt boxes, product information                      */
/* ------------------------------------------------------------------------------------ */

/* Framed one-line message with a Return button; waits for one event. */
int CreateMessageBoxi(PABI *psPabi, const char *psMessage, int nMessageType, int nRow,
                      int nColumn, int nLength);
/* The same box framed in yellow with Yes and No (the cursor on No) for a question; *pbYes
   gets 1 for Yes, 0 for No (n, Escape). 0, or 8 for a NULL pointer. */
int CreateConfirmBoxi(PABI *psPabi, const char *psMessage, int nRow, int nColumn, int nLength,
                      int *pbYes);
int CreateHelpBox(PAB *psPab, const char *psMessage, int nRow, int nColumn, int nLength);
/* The help text over the whole panel below its title; waits for one key or click. */
int CreateHelpBoxi(PABI *psPabi, const char *psMessage, int nRow, int nColumn, int nLength);
/* An empty screen titled "Help Information"; always 0. */
int CreatePrompti(PABI *psPabi, const char *psPrompt, unsigned long ulStyle, int nRow,
                  int nColumn, int nLength);
/* Title, version, build, credits and disclaimer, with a modal Return button. */
int ProductInfo(PABI *psPabi);

extern char *pszHelpInfo;        /* the program's help text, shown by the Help button */

/* Shows pszHelpInfo in the help box at 4, 4, 60 (a notice when the program has none);
   the help box's result. Used by the Help button of the response loop and action bar. */
int OVShowProgramHelp(PABI *psPabi);

/* Tells the user how a step ended, in one message box that waits for a key or click: the
   one way a program shows a failure (nType 8, red), a warning (4) or a notice (0). It logs
   nothing: a failure was logged where it was found. On psPabi the box lies across the panel a
   little above its middle, the text cut to fit, or with nRow above 0 from that row, centred
   and as wide as the text. Without a panel (NULL) it lies across the middle of the screen in
   use while curses is active, else of a screen of its own that is left again afterwards, and
   a long text takes up to three lines. Control characters show as ^X. 0 once shown; 8 when
   there is no panel and standard input or output is no terminal (nothing is shown). */
int OVShowBox(PABI *psPabi, int nType, std::string_view sText, int nRow = 0);
/* OVShowBox without a panel, the text logged at level nType first when bLog. */
int OVShowMessage(int nType, const char *pszText, bool bLog = false);
/* OVShowMessage for a failure (type 8), logged first unless bLog is false. */
int OVShowFailure(const char *pszText, bool bLog = true);
/* Whether this process has shown a red message box (OVShowFailure or type 8). */
bool OVFailureShown();
/* At the end of a program: for a status of 8 when no red box was shown, the first error
   the log received is shown with OVShowFailure (not logged again). nRc unchanged. */
int OVShowFailureBeforeEnd(int nRc);

/* ------------------------------------------------------------------------------------ */
/* log.cpp - message log, memory dump, termination                                      */
/* ------------------------------------------------------------------------------------ */

constexpr int OVMAXMESSAGE = 16197; /* characters of a message that reach the log */

extern int bDebug;               /* trace lines are written */
extern int bDump;                /* panel heaps are dumped at deletion */
extern char szLogFile[256];      /* "/tmp/OrvikLog.txt" unless ORVIKLOGFILE says otherwise; */
                                 /* the user's own place once that file was refused      */

/* Appends one dated line to the log; 0 also when the log cannot be opened, 8 for NULL.
   Only a regular file of this user with one link (or a character device) is written, never
   through a link; otherwise the log moves to $XDG_STATE_HOME/orvik/OrvikLog.txt (else
   $HOME/.local/state/orvik/OrvikLog.txt), said once on standard error, and ORVIKLOGFILE
   names that place for the programs started later. */
int OVWriteMessage(int nLevel, const char *pszMessage);
/* The first and the latest message logged at level 8 by this process, "" when none. */
const char *OVFirstLoggedError();
const char *OVLastLoggedError();
/* Looks at an existing log file at start, before curses, so that a refusal is said on a
   readable terminal. A missing file is left to the first message. */
void OVChooseLogFile();
/* Hexadecimal dump of memory into the log, 16 bytes a line. */
int OVDump(const char *pszTitle, const void *pMemoryPtr, int nMemorySize);
/* How a program ends on a signal. The log line is "<pszLogPrefix>Abnormal Exit: nSignal: %d.",
   the line printed "\n<pszLinePrefix>Termination due to User Interrupt (Ctrl-c)." for SIGINT,
   else "\n<pszLinePrefix>Error Termination.  Return Code: %d.", followed by a line feed when
   bLineFeed. The library's own ending has empty prefixes, no line feed and no Finish. */
struct OVSIGNALENDING {
    const char *pszLogPrefix;     /* "orvikdsys "                                    */
    const char *pszLinePrefix;    /* "Orvik orvikdsys "                              */
    bool bLineFeed;
    int (*pfnLeaveScreen)();      /* run after curses is left, before the log line, or NULL */
    int (*pfnFinish)();           /* the program's Finish, run after the log line, or NULL */
};
/* The ending OVEndBySignal runs from now on; NULL: the library's. Not copied: the record
   must live as long as the program. */
void OVSetSignalEnding(const OVSIGNALENDING *psEnding);
/* The library's own ending, for programs that keep its wording. */
inline constexpr OVSIGNALENDING OVLIBRARYENDING = {"", "", false, nullptr, nullptr};
/* Signal handler, async-signal-safe: notes the signal for the program's next wake-up and
   returns. A second signal before the first was answered (the program is blocked in a child
   it waits for) ends the process at once: a remote step's group ended, the terminal taken
   back with its modes of the start, the program's own /tmp files unlinked, _exit with that
   signal's number. The first signal ends a remote step that runs, so that its wait returns. */
void OVSignalHandler(int nSignal);
/* Installs pfnHandler for every signal that ends a program (SIGINT, SIGHUP, SIGQUIT,
   SIGTERM, SIGPIPE), each blocking the others while it runs; interrupted reads and waits
   go on (SA_RESTART). The first call keeps the terminal's modes for every ending, and makes
   the signals that would end the program unhandled (SIGSEGV, SIGABRT, SIGBUS, ...) restore
   them and remove the program's /tmp files first, then end as the signal does. */
void OVInstallSignalHandlers(void (*pfnHandler)(int) = OVSignalHandler);
/* The signal noted and not yet answered, 0 when none. */
int OVPendingSignal();
/* Where a program wakes up (the key wait, after a command it waited for): runs
   OVEndBySignal when a signal is pending, else returns at once. */
void OVEndIfSignalled();
/* The ending on a signal, run from the program's flow: the /tmp files removed, echo and
   canonical input restored, curses left, the signal logged, the program's Finish, the
   termination line on standard output; exits with nSignal. */
[[noreturn]] void OVEndBySignal(int nSignal);

/* printf-style logging over OVWriteMessage. */
int OVLog(int nLevel, const char *pszFormat, ...) __attribute__((format(printf, 2, 3)));
/* "NAME: starting: <formatted arguments>" at level 1, only while debugging. */
void OVTraceStart(const char *pszFunction, const char *pszFormat, ...)
    __attribute__((format(printf, 2, 3)));
/* "NAME: ending: nRc: %d." at level 1 while debugging; returns nRc unchanged. */
int OVTraceEnd(const char *pszFunction, int nRc);
/* Gives the terminal the modes it had at the start (echo and canonical input on) and leaves
   curses if it is active. */
void OVRestoreTerminal();
/* First step of every abnormal end (signal handlers, OVFatalExit): the program's own /tmp
   files removed and the terminal restored. */
void OVAbnormalEnd();
/* The one fatal path: OVAbnormalEnd, then the process ends with nStatus. */
[[noreturn]] void OVFatalExit(int nStatus);

/* ------------------------------------------------------------------------------------ */
/* startup.cpp - frame and start-up shared by the tool programs                         */
/* ------------------------------------------------------------------------------------ */

/* What differs between the tool programs' start-up: the wording of their notices and
   errors, their help output and how much of a "-help" text they keep. */
struct OVTOOLSTARTUP {
    const char *pszProgram;              /* "orvikpref"                                  */
    const char *pszEnvDebugNotice;       /* logged when ORVIKDEBUG switches debugging on */
    const char *pszEnvDumpNotice;        /* logged when ORVIKDUMP switches dumping on    */
    const char *pszArgDebugNotice;       /* logged for the argument "debug"              */
    const char *pszArgDumpNotice;        /* logged for the argument "dump"               */
    const char *pszHelpMissingError;     /* logged when "-help" has no text, or none     */
    const char *const *apszHelpLines;    /* "help" output, one line each, NULL-ended     */
    std::size_t nHelpBlockSize;          /* bytes of the zeroed block kept for the text  */
                                         /* (0: the text's own length plus one)          */
    std::size_t nHelpTextMax;            /* characters of the text copied into it        */
                                         /* (0: as many as the block holds)              */
    bool bHelpTextSkipped = false;       /* the "-help" text is skipped over; when false */
                                         /* it is also compared with "help"              */
    const char *pszArgumentsHeading = nullptr; /* OVLogArguments' heading at the end of a */
                                         /* start-up that went well; NULL: not logged    */
};

/* Applies ORVIKDEBUG and ORVIKDUMP ("Yes" in any case switches on), then walks every
   argument from index 0: "debug", "dump", "-help" text and "help" (any case). The text that
   follows "-help" goes into pszHelpInfo; unless bHelpTextSkipped, it is itself compared
   with "help".
   Returns 0, 1 after printing the help lines, 8 when "-help" has no text. On 0, the
   arguments are logged under pszArgumentsHeading while debugging. */
int OVToolStartup(const OVTOOLSTARTUP *psStartup, int argc, char **argv);
/* The environment part alone. */
void OVApplyEnvironmentSwitches(const OVTOOLSTARTUP *psStartup);
/* Frees pszHelpInfo, the help text the start-up kept, and clears it. */
void OVFreeHelpText();
/* The Finish of a program that holds nothing but its help text: "<pszProgram> Finish"
   traced, OVFreeHelpText; 0. */
int OVFinishTool(const char *pszProgram);
/* Writes the help lines to standard output, one output call per line. */
void OVPrintHelpLines(const char *const *apszHelpLines);
/* Is "--help" or "-h" among the arguments? The text that follows "-help" (any case) is the
   Help button's text, never an option. */
bool OVUsageAsked(int argc, char **argv);
/* A tool program's frame: its usage text, its steps and how it ends on a signal. */
struct OVTOOLFRAME {
    const char *const *apszUsageLines;   /* what --help and -h print, NULL-ended         */
    int (*pfnInitialize)(int argc, char **argv);
    int (*apfnStep[2])();                /* run in turn while the codes are 0; NULL: none */
    int (*pfnFinish)();
    OVSIGNALENDING sEnding;
};
/* The whole life of a tool program. "--help" or "-h" prints the usage lines and returns 0
   (8 when standard output failed) before anything else. Otherwise: the signal ending and
   handlers installed, Initialize, the steps while the codes are 0; a signal noted meanwhile
   ends the program there (OVEndBySignal); the last-net failure box for a code of 8
   (OVShowFailureBeforeEnd); Finish. Returns the first non-zero code, the exit status. */
int OVRunTool(const OVTOOLFRAME *psFrame, int argc, char **argv);
constexpr int OVMAXARGUMENTLOG = 32767; /* characters of one argument that reach the log */
/* While debugging: the heading, each argument after the program name as a line of its own,
   and an empty line. */
void OVLogArguments(const char *pszHeading, int argc, char **argv);

/* ------------------------------------------------------------------------------------ */
/* layout.cpp - what every screen shares: the smallest terminal, the 80-column layout    */
/* centred on wider terminals, text in a display group's colours                        */
/* ------------------------------------------------------------------------------------ */

constexpr int OVMINROWS = 24;         /* no screen is drawn on a smaller terminal */
constexpr int OVMINCOLUMNS = 80;
constexpr int OVLAYOUTWIDTH = 80;     /* screens are laid out for 80 columns */

/* A change of size has arrived that no screen has been laid out for yet. GetKBM sets it;
   only OVTakeResize clears it. A box that was open during the change leaves it set, so the
   screen behind is built again once it closes. */
extern bool bOVResizePending;

/* Does a terminal of this size hold every screen? */
bool OVTerminalFits(int nRows, int nColumns);
/* Left margin of the 80-column layout: half of what a wider panel has beyond 80, else 0. */
int OVLayoutMargin(const PABI *psPabi);
/* First column of a text nWidth display columns wide centred on the panel; 1 at least. */
int OVCentredColumn(const PABI *psPabi, int nWidth);
/* A panel in the colours and attribute of a display group, titled when pszTitle is not
   empty; NULL (logged as "<pszWho>: Unable to Create Panel.") when it cannot be made. */
PAB *OVCreateGroupPanel(const char *pszWho, const char *pszTitle, unsigned long ulGroup);
/* A plain field showing pszText in the colours and attribute of a display group; its length
   is the text's display width when nLength is negative. */
int OVCreateGroupText(PABI *psPabi, int nRow, int nColumn, const char *pszName,
                      const char *pszText, unsigned long ulGroup, int nLength = -1,
                      unsigned long ulStyle = 0);

/* ------------------------------------------------------------------------------------ */
/* text.cpp - UTF-8 characters and their display widths, bounded copies                 */
/* ------------------------------------------------------------------------------------ */

/* Every screen, field and record reads UTF-8 through these, by one set of rules:
 *  - A character is a whole, shortest-form sequence of a code point up to U+10FFFF that is
 *    no surrogate. Any other byte (a stray continuation byte, a lead byte cut short, an
 *    overlong form, C0/C1 or F5-FF) is one byte of its own, OVNOTACHARACTER.
 *  - Widths are wcwidth's in the C.UTF-8 character type whatever the program's locale, so a
 *    text takes the same columns in a test, a log and on the screen: 2 for a wide
 *    character, 0 for a combining mark. A control character or a byte that is no character
 *    counts one column, as OVPrintableText shows it in one cell.
 *  - A cut never splits a character and keeps the combining marks that follow the last
 *    character kept. */

constexpr long OVNOTACHARACTER = -1;
/* One character read at a byte offset of a text: its code point, or OVNOTACHARACTER, and the
   bytes it takes (at least 1 while the offset is inside the text). */
struct OVUTF8CHARACTER {
    long nCode;
    std::size_t nBytes;
};
OVUTF8CHARACTER OVDecodeUtf8(std::string_view sText, std::size_t nAt);
/* Display columns of one decoded character (see above). */
int OVCharacterColumns(long nCode);
/* A C0 control, DEL or a C1 control: a character that moves or upsets a terminal. */
bool OVIsControlCharacter(long nCode);
/* The text with every control character and every byte that is no character replaced by
   cReplacement, so that each takes one cell and nothing reaches the terminal as a control. */
std::string OVPrintableText(std::string_view sText, char cReplacement = '?');
/* The text as the terminal is given it, wherever a program writes one: a C0 control or DEL
   as ^X in two cells (ESC as "^[", DEL as "^?"), a C1 control and a byte that is no
   character as "?", so that nothing written can move the cursor or start a sequence. */
std::string OVScreenText(std::string_view sText);
/* Display columns of UTF-8 text on the terminal. */
int OVDisplayWidth(std::string_view sText);
/* The longest prefix of the text that fits nColumns display columns; bytes. */
std::size_t OVColumnsPrefix(std::string_view sText, int nColumns);
/* Where the longest end of the text that fits nColumns display columns starts; bytes. The
   end never starts with a combining mark. */
std::size_t OVColumnsSuffix(std::string_view sText, int nColumns);
/* The text cut to nColumns display columns; a text that had to be cut ends with "~" so
   that the reader sees something is missing. */
std::string OVFitColumns(std::string_view sText, int nColumns);
/* The text padded with blanks, or cut with "~", to exactly nColumns display columns. */
std::string OVPadColumns(std::string_view sText, int nColumns);

/* One line of text typed outside the fields (a filter, a path): UTF-8 text, the cursor's byte
   offset in it, and the first bytes of a character whose other bytes are still to come. */
struct OVLINEEDIT {
    std::string sText;
    std::size_t nCursor = 0;
    std::string sPending;
};
/* Maximum bytes a typed line holds. */
constexpr std::size_t OVMAXLINEEDIT = 255;
/* Applies one key to a typed line: a printable character (a UTF-8 character arrives byte by
   byte and is inserted once whole; a broken one is dropped), the blank included, is inserted
   at the cursor; Backspace and Delete remove the character before and under the cursor;
   Left, Right, Home and End move. True when the text changed. */
bool OVEditLine(OVLINEEDIT *psLine, int nKey);
/* The text with every letter in lower case (towlower in C.UTF-8: accented, Greek and Cyrillic
   letters too); a byte that is no character stays as it is. */
std::string OVFoldCase(std::string_view sText);
/* Does sText contain sFoldedPart (already folded with OVFoldCase), ignoring case? An empty
   part is in every text. */
bool OVContainsFolded(std::string_view sText, std::string_view sFoldedPart);

/* Copies at most nDestSize - 1 bytes of pszSource into pszDest, never splitting a UTF-8
   sequence, always terminating. Returns the number of bytes copied. */
std::size_t OVCopyText(char *pszDest, std::size_t nDestSize, const char *pszSource);
/* Length of the longest prefix of at most nMaxBytes bytes that ends on a character
   boundary of the UTF-8 text. */
std::size_t OVUtf8Prefix(std::string_view sText, std::size_t nMaxBytes);
/* A FILE that is closed when its owner goes out of scope. */
struct OVFileCloser {
    void operator()(FILE *pFile) const { fclose(pFile); }
};
using OVFilePtr = std::unique_ptr<FILE, OVFileCloser>;
/* Replaces the file at pszPath with sContent: a temporary file beside it, then a rename, so
   the old file stays whole when anything fails. An existing file keeps its mode and owner (a
   symbolic link is replaced, not followed); a new one gets nNewMode less the umask. When
   the folder refuses the temporary file, an existing regular file is rewritten in place.
   0, or the errno value of the first failure. */
int OVReplaceFile(const char *pszPath, std::string_view sContent, unsigned int nNewMode);

/* ------------------------------------------------------------------------------------ */
/* tmpfile.cpp - files of fixed names in /tmp                                           */
/* ------------------------------------------------------------------------------------ */

/* Makes pszPath an empty file of this user, mode 0600, before any command writes into it:
   created exclusively without following a link. A name already taken is reused only when it
   is a regular file of this user with a single link (it is emptied); a link, another user's
   file or anything else is refused. 0, or 8 after logging why. */
int OVClaimTempFile(const char *pszPath);
/* Why an entry found by lstat may not be replaced by this user ("a symbolic link", "not a
   regular file", "another user's file", "a file with more than one link"), or NULL when it
   is a regular file of this user with a single link. */
const char *OVRefusedEntry(const struct stat &sEntry);
/* Keeps a scratch file of the program in /tmp for removal on an abnormal end (a signal,
   OVFatalExit). Never for the user's results: saved reports, copies of remote files.
   Registering a kept path again changes nothing. 0, or 8 (too long, table full) logged. */
int OVRegisterTempFile(const char *pszPath);
/* The file was removed by the program itself (or is not its scratch file any more). */
void OVForgetTempFile(const char *pszPath);
/* Unlinks every kept file and forgets it; async-signal-safe (unlink only). */
void OVRemoveTempFiles();
/* Owns the scratch file pszPath (when not NULL): kept for removal on an abnormal end while
   the guard lives, and removed when the guard goes, whatever happened to it meanwhile (a
   name renamed away or already removed is no failure). Release() hands the file back to
   the caller: forgotten, not removed. */
class OVTempFileGuard {
  public:
    explicit OVTempFileGuard(const char *pszPath);
    ~OVTempFileGuard();
    OVTempFileGuard(const OVTempFileGuard &) = delete;
    OVTempFileGuard &operator=(const OVTempFileGuard &) = delete;
    void Release();

  private:
    std::string sPath;
};

/* ------------------------------------------------------------------------------------ */
/* display.cpp - display attribute groups and colour/attribute names                    */
/* ------------------------------------------------------------------------------------ */

struct DISPLAYATTRIBUTES {
    char *pszTitle;              /* "Panel" */
    char *pszID;                 /* "PANEL" */
    int nForegroundColor;        /* 0..7 */
    int nBackgroundColor;        /* 0..7 */
    int nAttribute;              /* 0, 1, 2, 3 or 7 */
};

/* Group numbers of asOVDisplayAttributes. */
enum : unsigned long {
    OVDG_PANEL = 0,
    OVDG_MENUITEM = 1,
    OVDG_PULLDOWN = 2,
    OVDG_FIELD = 3,
    OVDG_MESSAGEBOX = 4,
    OVDG_BUTTON = 5
};
constexpr int OVDISPLAYGROUPS = 6;

extern DISPLAYATTRIBUTES asOVDisplayAttributes[OVDISPLAYGROUPS];
extern const char *const OVCOLORLIT[8];     /* "Black" .. "White", by curses colour number */
extern const char *const OVATTRIBUTELIT[4]; /* "Bright", "Dim", "Underline", "Reverse"     */
extern const int OVATTRIBUTEID[4];          /* 1, 2, 3, 7                                  */
extern const int OVATTRIBUTESUB[8];         /* attribute number -> OVATTRIBUTELIT index    */

/* Colour number 0..7 of a name (any case, cut at its first blank), or -1. */
int OVGetColor(const char *pszColor);
/* Attribute number 1, 2, 3 or 7 of a name, or -1. */
int OVGetAttribute(const char *pszAttribute);
int OVGetDisplayValues(PAB *psPab, unsigned long ulGroupType, char **ppszTitle, char **ppszID,
                       int *pnForegroundColor, int *pnBackgroundColor, int *pnAttribute);
int GetDisplayValuesi(PABI *psPabi, unsigned long ulGroupType, char **ppszTitle, char **ppszID,
                      int *pnForegroundColor, int *pnBackgroundColor, int *pnAttribute);
int OVSetDisplayValues(PAB *psPab, unsigned long ulGroupType, const char *pszTitle,
                       const char *pszID, int nForegroundColor, int nBackgroundColor,
                       int nAttribute);
int SetDisplayValuesi(PABI *psPabi, unsigned long ulGroupType, const char *pszTitle,
                      const char *pszID, int nForegroundColor, int nBackgroundColor,
                      int nAttribute);

/* ------------------------------------------------------------------------------------ */
/* config.cpp - config.ini: display values and remote systems                           */
/* ------------------------------------------------------------------------------------ */

struct REMOTESYSTEM {
    char szIP[33];
    char szPort[7];
    char szSystemName[17];
    char szUser[17];
    char szLastPing[17];
    char szLastTrust[17];
    char szLastConnect[17];
};

constexpr int OVMAXREMOTESYSTEMS = 100;
extern REMOTESYSTEM asRemoteSystem[OVMAXREMOTESYSTEMS];
extern int nRemoteSystems;
extern REMOTESYSTEM *psConnectedSystem; /* NULL: everything runs locally */
extern char szOrvikConfFile[256];      /* path worked out by every load and save */

/* Reads config.ini into the display groups and the remote system table (creating the file
   from the values in memory when it is missing). 0, or 8 on an error in the file. */
int LoadConfigurationValues();
/* Rewrites config.ini from the tables, atomically. 0, or 8 when it cannot be written. */
int SaveConfigurationValues();
/* Why the last LoadConfigurationValues failed, for the screen: "Configuration <path> not
   loaded: " and the sentence it logged. "" after a good load. */
std::string OVConfigurationFailure();
/* Why the last SaveConfigurationValues failed, for a box: the sentence it logged. "" after a
   good save. *pbFull, when given, tells whether it failed only because the file holds as many
   systems as it may: the systems it would add are left out, the rest is written. */
std::string OVConfigurationSaveFailure(bool *pbFull = nullptr);

/* ------------------------------------------------------------------------------------ */
/* command.cpp - local and remote commands, shells, quoting                             */
/* ------------------------------------------------------------------------------------ */

/* Runs a command and appends its standard output to pszCOutput (nOutputSize bytes).
   0, 8, 100 (output does not fit) or 101 (cannot start, or non-zero exit). */
int ExecuteCommand(const char *pszCommand, char *pszCOutput, int nOutputSize);
/* Runs a command on a remote system through ssh and brings its output back with scp.
   With both file names given the output stays in those files. 0, 8, 100 or 101; the wait
   shows what runs where (see OVRemoteStepName); 4 when the user cancelled with Ctrl-c.
   Nothing is shown: a failed link is logged once, with the system and ssh's reason, and 101
   is returned; the caller tells the user (OVRemoteFailureText). */
int ExecuteRemoteCommand(REMOTESYSTEM *psRemoteSystem, const char *pszCommand,
                         char *pszCOutput, int nOutputSize, const char *pszTempFile,
                         const char *pszErrorFile);
/* Bytes kept of a remote command's output, and of its error output: the remote side stops
   the command past them, the local copy keeps the whole lines within them, and with the
   caller's files 100 says so after a warning in the log. */
constexpr long long OVMAXREMOTEOUTPUT = 64LL << 20;
/* The same, with why it failed in *psReason ("" when it did not): ssh's reason for a failed
   link, the refusal of a system that may not be reached. */
int ExecuteRemoteCommand(REMOTESYSTEM *psRemoteSystem, const char *pszCommand,
                         char *pszCOutput, int nOutputSize, const char *pszTempFile,
                         const char *pszErrorFile, std::string *psReason);
/* Hands the terminal to a shell, locally or on the connected system; the system() status. */
int RunShell(const char *pszCommand);
/* Hands the terminal to one local command; the system() status. */
int PerformSystemCommand(const char *pszCommand);

/* Quoting for command lines. Plain text (letters, digits and / . _ - + , : @ % =) goes in
   as it is; anything else is single-quoted so that the shell sees one literal word. */
std::string OVShellWord(std::string_view sText);
/* Always single-quoted, whatever the text. */
std::string OVShellQuote(std::string_view sText);
/* For text placed between double quotes: " \ $ and ` are escaped with a backslash. */
std::string OVShellEscapeDoubleQuoted(std::string_view sText);

/* ------------------------------------------------------------------------------------ */
/* report.cpp - report save and print, private files of the user in shared folders      */
/* ------------------------------------------------------------------------------------ */

/* Writes "title:\n\n" and the data to a file of this user alone (OVWritePrivateFile); an
   existing file that is not the user's own is refused. 0, or 8 after logging why; *psWhy,
   when given, gets the reason in a few words for the screen. */
int SaveTempDataFile(const char *pszTempFile, const char *pszTitle, const char *pszData,
                     std::string *psWhy = nullptr);
/* Sends "title\n\n", the data and "\n" to lpr. 0, or 8 after logging why; *psWhy, when
   given, gets the reason for the screen (lpr's first error line when it refused the job). */
int PrintData(const char *pszTitle, const char *pszData, std::string *psWhy = nullptr);
/* Writes sContent into pszPath as a file of this user alone: created exclusively, mode 0600,
   never through a link. A name already taken is replaced only when OVRefusedEntry allows
   it, by a private temporary file beside it renamed over it once whole. 0; EEXIST when the
   name is refused; else the errno value of the first failure. Nothing is logged; *psWhy,
   when given, gets the reason in words. */
int OVWritePrivateFile(const char *pszPath, std::string_view sContent, std::string *psWhy);

/* ------------------------------------------------------------------------------------ */
/* sshreason.cpp - why ssh failed, in ssh's own words                                   */
/* ------------------------------------------------------------------------------------ */

/* The sentence of ssh's standard error that says why it failed: for a host key that differs
   from the known one, ssh's line "Host key for X has changed and you have requested strict
   checking." (or the heading of its warning banner when no such line came); otherwise the
   first line that is not part of a banner, without a leading "ssh: ". "" for no text. */
std::string OVSshReason(std::string_view sStderr);
/* Whether ssh refused or warned because the host key differs from the one it knows. */
bool OVSshHostKeyChanged(std::string_view sStderr);

/* ------------------------------------------------------------------------------------ */
/* remote.cpp - reaching a remote system: ssh and scp words, shared connection, waits   */
/* ------------------------------------------------------------------------------------ */

/* Every ssh and scp command line of every program is built here, from the system's record
   and what the one call needs. The user, address and port are checked first: one that begins
   with "-", holds a blank, a control character or a character that a shell or ssh's tokens
   would read ("%", "$", quotes, ...) is refused for every step. The options end with "--", so
   nothing after them is ever read as one. */
struct OVSSHCALL {
    const char *pszStep = nullptr;    /* the calling step, named in the refusal's log line   */
    bool bShared = true;              /* through the system's shared connection (ssh)       */
    bool bBatch = false;              /* never ask for anything; one connection attempt     */
    bool bQuiet = false;              /* ssh: LogLevel=ERROR (no banner); scp: -q            */
    bool bMessageFile = false;        /* ssh's own messages into the step's file (-E)       */
    bool bNoInput = false;            /* standard input from /dev/null (-n)                 */
    bool bTerminal = false;           /* a terminal for the command's password prompts (-t)*/
    bool bPrintConfig = false;        /* print the configuration, connect nowhere (-G)      */
    const char *pszControl = nullptr; /* a command for the shared connection (-O exit)      */
    int nConnectSeconds = 10;         /* to reach the system and shake hands                */
    int nAliveSeconds = 5;            /* between keep-alives on a quiet link                */
    int nAliveCount = 3;              /* keep-alives unanswered before the link is dead     */
};
/* "ssh OPTIONS -p PORT -- USER@HOST" and, when not empty, sRemote (the remote command,
   already quoted as the caller's shell should see it) into *psLine. Unless told otherwise
   every ssh carries the time limits and the system's shared connection (~/.orvik/ssh),
   except where the user's own ssh configuration shares connections its own way. 0; 8 for a
   refused system, after logging one error line that names the step (*psWhy, when given,
   gets the sentence without it). */
int OVSshLine(const REMOTESYSTEM *psSystem, const OVSSHCALL &sCall, std::string_view sRemote,
              std::string *psLine, std::string *psWhy = nullptr);
/* "scp OPTIONS -P PORT -- USER@HOST:REMOTE LOCAL" into *psLine (an IPv6 address in
   brackets); 0, or 8 as for OVSshLine. */
int OVScpLine(const REMOTESYSTEM *psSystem, const OVSSHCALL &sCall, std::string_view sRemotePath,
              std::string_view sLocalPath, std::string *psLine, std::string *psWhy = nullptr);
/* Starts the shared connection of a system (ssh asks a password here if it needs one).
   0; 101 with ssh's reason in *psReason; 4 when cancelled; 8 for a refused system (the
   refusal in *psReason). */
int OVStartConnection(REMOTESYSTEM *psSystem, std::string *psReason);
/* Ends the shared connection of a system, if there is one. 0 (also when none ran), 8. */
int OVEndConnection(const REMOTESYSTEM *psSystem);
/* Names what the remote steps do while the object lives, for their wait line, which joins
   the name, the word pszJoin and the system: "Listing /" gives "Listing / on web1
   (10.0.0.5)... Ctrl-c cancels", ("Connecting", "to") "Connecting to web1 (10.0.0.5)...". */
class OVRemoteStepName {
  public:
    explicit OVRemoteStepName(const char *pszName, const char *pszJoin = "on");
    ~OVRemoteStepName();
    OVRemoteStepName(const OVRemoteStepName &) = delete;
    OVRemoteStepName &operator=(const OVRemoteStepName &) = delete;

  private:
    std::string sSaved;
    std::string sSavedJoin;
};
/* Runs a command line of ssh and scp steps with the terminal (curses suspended) under the
   wait line, in a process group of its own, so that Ctrl-c ends that group only. 0 when ssh
   reached the system (whatever the remote command did); 4 when the user cancelled (nothing
   of the step is left running); 101 when a connection failed (status 255), with ssh's own
   reason in *psReason; 8 when it could not start. *pnExitStatus, when given, gets the exit
   status of the line. */
int OVRunRemoteStep(const REMOTESYSTEM *psSystem, const std::string &sLine,
                    std::string *psReason, int *pnExitStatus = nullptr);
/* "<name> (<address>): <reason>", how a failed link is told. */
std::string OVRemoteFailureText(const REMOTESYSTEM *psSystem, const std::string &sReason);

#endif /* ORVIKLIB_H */
#include "fanout.h"
