/*
 * orvikdsys.h - the system information display: one report about the system per run.
 *
 * main (main.cpp) runs Initialize, then Get_Hardware_Info (gather.cpp), which runs the
 * report's command once, locally or on the connected system, and keeps its output in
 * pszSystemInfo; then Process_Request, whose ShowReport (report.cpp) has FormatDataLines
 * (format.cpp) cut the output into title and data entries and shows them page by page;
 * then Finish.
 * The report chosen on the command line (options.cpp) decides the command, the title, the
 * formatter and the page layout, all in one row of the report table. Another program that
 * has the output already (orvikconn, from many systems) hands it to ShowReportText, which
 * takes the same path from KeepSystemInfo on.
 *
 * Every function returns an OVRC_* code. Process_Request gives 0 after Return, 9 after Exit,
 * 8 after a failed Save or Print. A change of the terminal's size makes Process_Request
 * build its panel again at the new size (TakePanelSize) on the page of the same entry.
 */
#ifndef ORVIKDSYS_H
#define ORVIKDSYS_H

#include "orviklib.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/* ---- options.cpp: the report options and the classes of "-class" ------------------- */

/* Which formatter cuts a report's output into entries. */
enum DSYSFORMATTER { DSYS_KEYVALUE, DSYS_SHORT, DSYS_NETWORK, DSYS_CPU, DSYS_EMEMORY, DSYS_BASIC };

/* Where a report's data texts go on the page. */
enum DSYSDATA {
    DSYS_DATA_NONE,     /* titles are whole output lines; no data column          */
    DSYS_DATA_WRAPPED,  /* from column 28 in pieces of the data width             */
    DSYS_DATA_NUMBER    /* at column 42, right-justified in 13 columns            */
};

struct DSYSREPORT {
    const char *pszOption;      /* "-cpu"; "" for the "-class" reports                   */
    const char *pszTitle;       /* the report title                                      */
    const char *pszCommand;     /* run as it is; "-class" appends the class name         */
    int nTitleColumn;           /* column of the title fields (before the margin)        */
    int nTitleLength;           /* length of the title fields; 0: the title's own length */
    DSYSFORMATTER eFormatter;
    DSYSDATA eData;
    bool bHeadingKeepsColumn;   /* headings stay at the title column, not end at 26      */
    bool bLabelTitles;          /* every title is shown as its recognised label          */
};

struct DSYSCLASS {
    const char *pszName;        /* "disk" */
    const char *pszTitle;       /* "Display Disk Storage Information" */
};

/* The report of an option word (any case), or NULL. */
const DSYSREPORT *FindReportOption(const char *pszWord);
/* The class of a "-class" name (exact case), or NULL. */
const DSYSCLASS *FindClass(const char *pszName);
/* The report in force: the one of szClass ("-class" reports and no option share a row). */
const DSYSREPORT &CurrentReport();
/* The command line of the report in force, built only from the tables. */
std::string ReportCommand();
/* Walks the arguments for report options; the last one wins. Sets szClass, szClass2 and
   szTitle. 0, or 8 after logging a missing or unknown class. */
int ReadReportOptions(int argc, char **argv);

/* ---- program state (main.cpp owns the frame; the values live in options.cpp) -------- */

struct PANELSIZE {
    int nRows;
    int nColumns;
};

extern char szClass[32];         /* option word with its "-", or the "-class" name       */
extern char szClass2[32];        /* szClass without a leading "-"                       */
extern char szTitle[128];        /* report title, ": <host>" added when connected        */
extern char szDate[40];          /* "%.4d%.2d%.2d" at start-up                          */
extern char szTime[40];          /* "%.2d%.2d%.2d" at start-up                          */
extern PANELSIZE sPanelSize;     /* terminal rows and columns, read again after a resize */
extern char *pszSystemInfo;      /* the command's output, owned                         */
extern PABI *psPabi;             /* the report panel, owned                             */

int Initialize(int argc, char **argv);
/* Sets szDate and szTime to the local date and time now. */
void TakeDateAndTime();
/* Reads the terminal's size into sPanelSize (0 x 0 when standard output is none). */
void TakePanelSize();
/* Releases the output and the help text, deletes the panel when there is one. Always 0. */
int Finish();

/* ---- gather.cpp: the command and the section recogniser ----------------------------- */

constexpr int DSYSOUTPUTSIZE = 131072;   /* first output area; grown four times at a time */
constexpr std::size_t DSYSOUTPUTMAX = 16u << 20; /* the largest output area: 16 MiB */

/* One growing list of texts, each followed by a zero byte. */
struct WINTEXTLIST {
    char *pachText;             /* NULL while absent */
    std::size_t nSize;          /* bytes allocated   */
    std::size_t nUsed;          /* bytes filled      */
};

struct WINTEXTINFO {
    char szEyeCatcher[8];       /* "WTEXTBLK", not NUL-terminated */
    int nMaxRows;               /* terminal rows - 6: the rows a page may use */
    int nWidth;                 /* terminal columns - 2 */
    int nEntries;
    const char *pszText;        /* pszSystemInfo */
    WINTEXTLIST sTitles;
    WINTEXTLIST sData;
};

/* Runs the report's command and keeps its output in pszSystemInfo, asking again with a
   larger area while the output does not fit (up to DSYSOUTPUTMAX). 0, or 8 after a red box
   that names the command and its first error line. */
int Get_Hardware_Info();
/* Keeps a copy of the output in pachOutput (nLength bytes, or up to a zero byte before) in
   pszSystemInfo, releasing the one kept before. 0, or 8 after a red box when there is no
   memory for it. */
int KeepSystemInfo(const char *pachOutput, std::size_t nLength);
/* 1 when the text (a buffer of at least 256 bytes) is a section title or known key; a key
   is replaced by its label. 0 otherwise, the text unchanged. */
int CheckTitle(char *pszText);
/* Releases both lists; harmless twice. Always 0. */
int FreeWinTextInfoStorage(WINTEXTINFO *psWinTextInfo);

/* ---- format.cpp: entries from the output --------------------------------------------- */

/* Sets up the lists and hands the output to the report's formatter. 0, or 8 when the lists
   cannot grow. */
int FormatDataLines(WINTEXTINFO *psWinTextInfo);
int FormatShortDataLines(WINTEXTINFO *psWinTextInfo);
int FormatNetworkDataLines(WINTEXTINFO *psWinTextInfo);
int FormatCPUDataLines(WINTEXTINFO *psWinTextInfo);
int FormatEMemoryDataLines(WINTEXTINFO *psWinTextInfo);
int FormatBasicDataLines(WINTEXTINFO *psWinTextInfo);
/* Appends one entry to both lists. 0, or 8 when they cannot grow. */
int AddWinTextEntry(WINTEXTINFO *psWinTextInfo, std::string_view sTitle, std::string_view sData);
/* "No <report word> information found." */
std::string NoInformationText();
/* Every entry in order, for readers that want them at once. */
std::vector<std::pair<std::string, std::string>> WinTextEntries(const WINTEXTINFO &sWinTextInfo);

/* ---- report.cpp: the report panel ----------------------------------------------------- */

/* One text the page puts on the screen. */
struct DSYSPLACED {
    int nRow;
    int nColumn;
    int nLength;
    std::string sText;
    unsigned long ulStyle;
    bool bTitle;                /* a title (left hand) field, else a data field */
    bool bHeading;              /* shown with the Field colours swapped */
};

/* The layout of one page from entry nFirst: what goes where, and the first entry of the next
   page (nEntries when none remains). */
struct DSYSPAGE {
    std::vector<DSYSPLACED> asPlaced;
    int nNext;
    int nBarColumn;
};

/* Lays out one page of the entries for a terminal of nRows x nColumns. Lengths and columns
   count display columns; a text that is cut ends with "~". */
DSYSPAGE PlanPage(const DSYSREPORT &sReport,
                  const std::vector<std::pair<std::string, std::string>> &asEntries, int nFirst,
                  int nRows, int nColumns);
/* The first entry of every page of the whole report at this size, in order; one page at
   least. */
std::vector<int> PlanPageStarts(const DSYSREPORT &sReport,
                                const std::vector<std::pair<std::string, std::string>> &asEntries,
                                int nRows, int nColumns);
/* The page (index into anStarts) that shows entry nEntry. */
int PageOfEntry(const std::vector<int> &anStarts, int nEntry);
/* The report file name: /tmp/OrvikDsys.<class>.<date>.<time>.txt */
std::string ReportFileName();
/* The report panel of pszSystemInfo until Return, Exit, Save or Print (orvikdsys's step
   Process_Request). */
int ShowReport();
/* Shows sText, the output of psReport's command gathered elsewhere (on many systems at
   once), as orvikdsys shows that report: the same entries, pages and buttons, titled
   pszTitle; Save and Print take pszTitle and the text. Sets the program state above for the
   report and releases the text and the panel again before it returns. 0 after Return, Save
   or Print, 9 after Exit, 8 after a failure (shown or logged). */
int ShowReportText(const DSYSREPORT *psReport, const char *pszTitle, std::string_view sText);

#endif /* ORVIKDSYS_H */
