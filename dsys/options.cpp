/*
 * options.cpp - the report options of orvikdsys: one row per report holds everything that
 * differs between reports (title, command, layout of the page, formatter), and the classes
 * that "-class" accepts. The command of a report is built from these tables only, never from
 * the text of an argument.
 */
#include "orvikdsys.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <ctime>

char szClass[32] = "";
char szClass2[32] = "";
char szTitle[128] = "";
char szDate[40] = "";
char szTime[40] = "";
PANELSIZE sPanelSize = {0, 0};
char *pszSystemInfo = nullptr;
PABI *psPabi = nullptr;

namespace {

/* Option, title, command, title column, title length (0: its own), formatter, data texts,
   headings keep their column, titles shown as labels. The last row serves "-class" and a
   command line without a report option. */
constexpr DSYSREPORT asReport[] = {
    {"-short", "Display System Hardware Summary Information", "sudo lshw -short", 2, 25,
     DSYS_SHORT, DSYS_DATA_WRAPPED, false, false},
    {"-network", "Display Network Configuration", "ifconfig -a -v", 2, 0, DSYS_NETWORK,
     DSYS_DATA_NONE, false, false},
    {"-mdmi", "Display Memory DMI (Desktop Management Interface) Information",
     "sudo dmidecode -t 17 -q ", 2, 25, DSYS_KEYVALUE, DSYS_DATA_WRAPPED, false, false},
    {"-mboard", "Display Motherboard Information", "sudo dmidecode -t 2 -q ", 2, 25,
     DSYS_KEYVALUE, DSYS_DATA_WRAPPED, false, false},
    {"-pmarray", "Display Physical Memory Array Information", "sudo dmidecode -t 16 -q ", 2, 25,
     DSYS_KEYVALUE, DSYS_DATA_WRAPPED, false, false},
    {"-dmemory", "Display Memory Setup Information", "sudo dmidecode -t 2,16,17 -q ", 17, 0,
     DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-umemory", "Display Memory Detail Usage Information", "cat /proc/meminfo ", 20, 0,
     DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-ememory", "Display Memory Events Information", "vmstat -s ", 15, 25, DSYS_EMEMORY,
     DSYS_DATA_NUMBER, false, true},
    /* free prints a table of 80 columns: its lines are shown whole, from column 1 so that
       one fits an 80-column terminal, and its columns stay under their header. */
    {"-fmemory", "Display Memory Summary Usage Information", "free -l -h ", 1, 0, DSYS_BASIC,
     DSYS_DATA_NONE, true, false},
    {"-bios", "Display Basic Input Output System (BIOS) Information",
     "sudo dmidecode -t bios -q", 2, 0, DSYS_BASIC, DSYS_DATA_NONE, true, false},
    /* lsblk prints columns, not keys and values: cut at the colon of MAJ:MIN, every minor
       number would be lost. Its lines are shown whole. */
    {"-blkdevices", "Display Block Devices Information", "lsblk -ia", 8, 0, DSYS_BASIC,
     DSYS_DATA_NONE, true, false},
    {"-partitions", "Display Disk Partition Information", "sudo fdisk -l", 4, 0, DSYS_BASIC,
     DSYS_DATA_NONE, true, false},
    {"-slot", "Display Expansion Slot Information", "sudo dmidecode -t slot -q ", 24, 0,
     DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-baseboard", "Display System Motherboard Information", "sudo dmidecode -t baseboard -q ",
     17, 0, DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-cache", "Display System Cache Information", "sudo dmidecode -t cache -q ", 17, 0,
     DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-connector", "Display System Port Connectors Information",
     "sudo dmidecode -t connector -q ", 17, 0, DSYS_BASIC, DSYS_DATA_NONE, true, false},
    {"-cpu", "Display CPU Information", "lscpu", 2, 25, DSYS_CPU, DSYS_DATA_WRAPPED, false,
     false},
    {"-class", "", "sudo lshw -c ", 2, 25, DSYS_KEYVALUE, DSYS_DATA_WRAPPED, false, false},
};
constexpr std::size_t nReports = sizeof asReport / sizeof asReport[0];
static_assert(nReports == 18, "seventeen report options and the class reports");
constexpr const DSYSREPORT &sClassReport = asReport[nReports - 1];

constexpr DSYSCLASS asClass[] = {
    {"address", "Display System Address Information"},
    {"bridge", "Display System Bridge Information"},
    {"bus", "Display System Bus Information"},
    {"communication", "Display System Communication Information"},
    {"disk", "Display Disk Storage Information"},
    {"display", "Display System Display Information"},
    {"generic", "Display System Generic Information"},
    {"input", "Display System Input Information"},
    {"memory", "Display Memory Information"},
    {"multimedia", "Display MultiMedia Information"},
    {"network", "Display Network Interfaces"},
    {"power", "Display Power Information"},
    {"printer", "Display Printer Information"},
    {"processor", "Display Processor Information"},
    {"storage", "Display Storage Interfaces"},
    {"system", "Display System Name Information"},
    {"tape", "Display Tape Devices Information"},
    {"volume", "Display System Volume Information"},
};
static_assert(sizeof asClass / sizeof asClass[0] == 18, "eighteen classes");

}  // namespace

const DSYSREPORT *FindReportOption(const char *pszWord)
{
    for (const DSYSREPORT &sReport : asReport) {
        if (strcasecmp(pszWord, sReport.pszOption) == 0)
            return &sReport;
    }
    return nullptr;
}

const DSYSCLASS *FindClass(const char *pszName)
{
    for (const DSYSCLASS &sClass : asClass) {
        if (std::strcmp(pszName, sClass.pszName) == 0)
            return &sClass;
    }
    return nullptr;
}

const DSYSREPORT &CurrentReport()
{
    const DSYSREPORT *psReport = szClass[0] == '-' ? FindReportOption(szClass) : nullptr;
    return psReport != nullptr ? *psReport : sClassReport;
}

std::string ReportCommand()
{
    const DSYSREPORT &sReport = CurrentReport();
    std::string sCommand = sReport.pszCommand;
    if (&sReport == &sClassReport) {
        /* The name comes from the class table, so it is a plain word. */
        if (const DSYSCLASS *psClass = FindClass(szClass))
            sCommand += psClass->pszName;
    }
    return sCommand;
}

int ReadReportOptions(int argc, char **argv)
{
    for (int i = 0; i < argc && argv[i] != nullptr; i++) {
        if (strcasecmp(argv[i], "-help") == 0) {
            i++;   /* the help text is not an option */
            continue;
        }
        const DSYSREPORT *psReport = FindReportOption(argv[i]);
        if (psReport == nullptr)
            continue;
        if (psReport == &sClassReport) {
            if (i + 1 >= argc || argv[i + 1] == nullptr) {
                OVWriteMessage(OVLOG_ERROR, "orvikdsys Initialize: class argument is missing.");
                return OVRC_ERROR;
            }
            const DSYSCLASS *psClass = FindClass(argv[++i]);
            if (psClass == nullptr) {
                OVLog(OVLOG_ERROR, "orvikdsys Initialize: Invalid class specified: %s.", argv[i]);
                return OVRC_ERROR;
            }
            OVCopyText(szClass, sizeof szClass, psClass->pszName);
            OVCopyText(szTitle, sizeof szTitle, psClass->pszTitle);
        } else {
            OVCopyText(szClass, sizeof szClass, psReport->pszOption);
            OVCopyText(szTitle, sizeof szTitle, psReport->pszTitle);
        }
    }
    OVCopyText(szClass2, sizeof szClass2, szClass[0] == '-' ? szClass + 1 : szClass);
    return OVRC_OK;
}

void TakeDateAndTime()
{
    std::time_t nNow = std::time(nullptr);
    std::tm sNow{};
    localtime_r(&nNow, &sNow);
    std::snprintf(szDate, sizeof szDate, "%.4d%.2d%.2d", sNow.tm_year + 1900, sNow.tm_mon + 1,
                  sNow.tm_mday);
    std::snprintf(szTime, sizeof szTime, "%.2d%.2d%.2d", sNow.tm_hour, sNow.tm_min, sNow.tm_sec);
}

void TakePanelSize()
{
    /* 0 x 0 when standard output is no terminal; the panel then asks curses. */
    int nRows = 0, nColumns = 0;
    OVTerminalSize(&nRows, &nColumns);
    sPanelSize = {nRows, nColumns};
}

