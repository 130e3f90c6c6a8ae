// orvikdsys: report options, the section recogniser and the formatters over real command
// outputs (tests/fixtures) and over the awkward cases those outputs do not show.
#include "orvikdsys.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string ReadFile(const std::string &sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string ReadFixture(const std::string &sName) { return ReadFile(std::string(ORVIK_FIXTURE_DIR) + "/" + sName); }

// The lines of a text as a reader sees them: a last line without a newline counts.
std::vector<std::string> Lines(const std::string &sText) {
  std::vector<std::string> asLines;
  std::istringstream in(sText);
  for (std::string sLine; std::getline(in, sLine);) asLines.push_back(sLine);
  return asLines;
}

// Chooses the report as the command line would ("-cpu", "-class disk"); the option code.
int ChooseReport(const std::string &sReport) {
  std::vector<std::string> asArgs = {"orvikdsys"};
  std::istringstream words(sReport);
  for (std::string sWord; words >> sWord;) asArgs.push_back(sWord);
  std::vector<char *> apszArgv;
  for (std::string &sArg : asArgs) apszArgv.push_back(sArg.data());
  szClass[0] = szTitle[0] = '\0';
  return ReadReportOptions(static_cast<int>(apszArgv.size()), apszArgv.data());
}

// Formats the text as the report would; the two lists must stay in step.
Entries Format(const std::string &sReport, const std::string &sText) {
  EXPECT_EQ(ChooseReport(sReport), OVRC_OK) << sReport;
  WINTEXTINFO sInfo{};
  sInfo.pszText = sText.c_str();
  EXPECT_EQ(FormatDataLines(&sInfo), OVRC_OK);
  Entries asEntries = WinTextEntries(sInfo);
  std::size_t nTitles = 0, nData = 0;
  for (const auto &[sTitle, sData] : asEntries) {
    nTitles += sTitle.size() + 1;
    nData += sData.size() + 1;
  }
  EXPECT_EQ(nTitles, sInfo.sTitles.nUsed);
  EXPECT_EQ(nData, sInfo.sData.nUsed);
  FreeWinTextInfoStorage(&sInfo);
  FreeWinTextInfoStorage(&sInfo);  // twice is harmless
  return asEntries;
}

std::string Recognised(const std::string &sText) {
  char szBuffer[256] = {};
  OVCopyText(szBuffer, sizeof szBuffer, sText.c_str());
  return CheckTitle(szBuffer) ? std::string(szBuffer) : "(not recognised)";
}

// Which lines of an output become entries.
enum class Kept { kEveryLine, kWholeLines, kNonBlankLines, kBelowHeader };

struct FixtureKind {
  const char *pszPattern;   // part of the fixture's file name
  const char *pszReport;
  Kept eKept;
};

// In this order: the first pattern found in a name decides.
constexpr FixtureKind asKinds[] = {
    {"lscpu", "-cpu", Kept::kEveryLine},
    {"vmstat-s", "-ememory", Kept::kEveryLine},
    {"lshw-short", "-short", Kept::kBelowHeader},
    {"lshw", "-class disk", Kept::kNonBlankLines},
    {"dmidecode-t-17-q", "-mdmi", Kept::kNonBlankLines},
    {"dmidecode-t-16-q", "-pmarray", Kept::kNonBlankLines},
    {"dmidecode-t-2-q", "-mboard", Kept::kNonBlankLines},
    {"dmidecode-t-2-16-17-q", "-dmemory", Kept::kWholeLines},
    {"dmidecode-t-bios-q", "-bios", Kept::kWholeLines},
    {"dmidecode-t-slot-q", "-slot", Kept::kWholeLines},
    {"dmidecode-t-cache-q", "-cache", Kept::kWholeLines},
    {"dmidecode-t-connector-q", "-connector", Kept::kWholeLines},
    {"dmidecode-t-baseboard-q", "-baseboard", Kept::kWholeLines},
    {"meminfo", "-umemory", Kept::kWholeLines},
    {"ifconfig", "-network", Kept::kWholeLines},
    {"free", "-fmemory", Kept::kWholeLines},   // a table: "10Mi" stays beside "23Gi"
    {"lsblk", "-blkdevices", Kept::kWholeLines},
};

void CheckKept(const FixtureKind &sKind, const std::string &sText) {
  std::vector<std::string> asLines = Lines(sText);
  Entries asEntries = Format(sKind.pszReport, sText);
  std::size_t nExpected = asLines.size();
  if (sKind.eKept == Kept::kBelowHeader) nExpected -= 2;
  if (sKind.eKept == Kept::kNonBlankLines)
    nExpected = std::count_if(asLines.begin(), asLines.end(), [](const std::string &sLine) {
      return sLine.find_first_not_of(" \t") != std::string::npos;
    });
  ASSERT_EQ(asEntries.size(), nExpected);
  if (sKind.eKept != Kept::kWholeLines) return;
  for (std::size_t i = 0; i < asLines.size(); i++)
    EXPECT_EQ(asEntries[i], std::make_pair(asLines[i], std::string(" "))) << "line " << i + 1;
}

}  // namespace

TEST(DsysFormat, EveryFixtureOfEachKindKeepsEveryLineInStep) {
  int nWalked = 0;
  for (const auto &entry : std::filesystem::directory_iterator(ORVIK_FIXTURE_DIR)) {
    std::string sName = entry.path().filename().string();
    auto psKind = std::find_if(std::begin(asKinds), std::end(asKinds), [&](const FixtureKind &k) {
      return sName.find(k.pszPattern) != std::string::npos;
    });
    std::string sText = ReadFixture(sName);
    if (psKind == std::end(asKinds) || sText.empty()) continue;   // README, empty fdisk
    SCOPED_TRACE(sName + " as " + psKind->pszReport);
    CheckKept(*psKind, sText);
    if (sText.back() == '\n') CheckKept(*psKind, sText.substr(0, sText.size() - 1));
    nWalked++;
  }
  EXPECT_GE(nWalked, 70) << "fixtures missing from " << ORVIK_FIXTURE_DIR;
}

TEST(DsysFormat, RealOutputsGiveTheirTitlesAndValues) {
  struct Fact {
    const char *pszReport, *pszFile, *pszTitle, *pszData;
  } const asFacts[] = {
      {"-cpu", "local-lscpu.txt", "Architecture:", "x86_64"},
      {"-ememory", "local-vmstat-s.txt", "totalmemory:", "24683772 K"},
      {"-ememory", "local-vmstat-s.txt", "forks:", "16312"},   // the last line
      {"-short", "cwage-thinkpad-t580-lshw-short.txt", "memory:", "32GiB System Memory"},
      {"-short", "local-lshw-short.txt", "/dev/vda-disk:", "Virtual I/O device"},
      {"-class memory", "glutamat42-toshiba-wt8-lshw.txt", "*-usbhost", ""},
      {"-mdmi", "fusioninventory-dell-r640-dmidecode-t-17-q.txt", "Size", "32 GB"},
      {"-fmemory", "local-free-l-h.txt",
       "Mem:            23Gi       350Mi        23Gi        10Mi       275Mi        23Gi", " "},
      {"-fmemory", "cwage-thinkpad-t580-free-h.txt",
       "               total        used        free      shared  buff/cache   available", " "},
      {"-fmemory", "stockfishbaseline-free-h.txt",
       "Swap:          976Mi       942Mi        34Mi", " "},
  };
  for (const Fact &sFact : asFacts) {
    Entries asEntries = Format(sFact.pszReport, ReadFixture(sFact.pszFile));
    EXPECT_NE(std::find(asEntries.begin(), asEntries.end(),
                        std::make_pair(std::string(sFact.pszTitle), std::string(sFact.pszData))),
              asEntries.end())
        << sFact.pszFile << ": no entry \"" << sFact.pszTitle << "\" / \"" << sFact.pszData << "\"";
  }
}

TEST(DsysFormat, EdgesOfTheLineRules) {
  auto Pad = [](std::string sText, std::size_t nWidth) {
    sText.resize(std::max(nWidth, sText.size()), ' ');
    return sText;
  };
  // lshw -short: the columns come from the header; a device word of 16 characters without a
  // blank gets no "-"; a line without a description is all title.
  std::string sShort = Pad("H/W path", 10) + Pad("Device", 20) + Pad("Class", 10) +
                       "Description\n=====\n" + Pad("/0/1", 10) + Pad("eth0", 20) +
                       Pad("network", 10) + "Ethernet\n" + Pad("/0/2", 10) +
                       "averyveryverylongname network x\n" + Pad("/0/3", 30) + "bridge\n";
  EXPECT_EQ(Format("-short", sShort), (Entries{{"eth0-network:", "Ethernet"},
                                               {"averyveryverylone:", "x"},
                                               {"bridge", " "}}));
  // A header without "Description" leaves the description at column 46.
  std::string sNoDescription = Pad("H/W path", 12) + Pad("Device", 12) + "Class\n=====\n" +
                               Pad("", 12) + Pad("sda", 12) + Pad("disk", 22) + "Samsung SSD\n";
  EXPECT_EQ(Format("-short", sNoDescription), (Entries{{"sda-disk:", "Samsung SSD"}}));

  // vmstat -s: an empty last line is an entry of an empty title and data text.
  EXPECT_EQ(Format("-ememory", "   12 K total memory\n\n"),
            (Entries{{"totalmemory:", "12 K"}, {"", ""}}));
  // lscpu: a line without a colon has the data text " "; one trailing blank goes.
  EXPECT_EQ(Format("-cpu", "Caches (sum of all):\nno colon here\nModel:   x  \n"),
            (Entries{{"Caches (sum of all):", ""}, {"no colon here", " "}, {"Model:", "x "}}));
  // Key and value: the character after the colon is skipped; blank lines give nothing.
  EXPECT_EQ(Format("-class disk", "  *-disk:0\n\t\tcapabilities:\n   \n  size: 4GiB"),
            (Entries{{"*-disk", ""}, {"capabilities", ""}, {"size", "4GiB"}}));

  // Empty output: the fallback entry where the report has one, else none.
  EXPECT_EQ(Format("-cpu", ""), (Entries{{" ", "No cpu information found."}}));
  EXPECT_EQ(Format("-ememory", ""), (Entries{{" ", "No ememory information found."}}));
  EXPECT_EQ(Format("-partitions", ReadFixture("local-fdisk-l.txt")),
            (Entries{{"No partitions information found.", " "}}));
  for (const char *pszReport : {"-network", "-short", "-class disk", "-mdmi"})
    EXPECT_EQ(Format(pszReport, ""), Entries{}) << pszReport;
}

TEST(DsysFormat, ListsGrowWithTheLargestOutputTheDisplayAccepts) {
  // 131071 characters of lshw-like text, far beyond the first 4096 bytes of each list,
  // whose last line has no newline.
  const std::size_t nLimit = DSYSOUTPUTSIZE - 1;
  std::string sText;
  int nLines = 0;
  for (; sText.size() + 120 < nLimit; nLines++)
    sText += "       configuration: driver=e1000e latency=" + std::to_string(nLines) + "\n";
  const std::string sLastValue(nLimit - sText.size() - 11, 'x');
  sText += "  product: " + sLastValue;
  Entries asEntries = Format("-class network", sText);
  ASSERT_EQ(asEntries.size(), static_cast<std::size_t>(nLines) + 1);
  EXPECT_EQ(asEntries[nLines - 1].second, "driver=e1000e latency=" + std::to_string(nLines - 1));
  EXPECT_EQ(asEntries.back(), std::make_pair(std::string("product"), sLastValue));
}

TEST(DsysRecogniser, KeysBecomeLabelsOnlyOnAnExactMatch) {
  const std::pair<const char *, const char *> asCases[] = {
      {"*-usb", "Universal Serial Bus (USB)"},   // longer than its key
      {"Base Board Information", "Mother Board Information"},
      {"MemTotal:", "Total Memory:"},
      {"totalmemory:", "Total Memory:"},
      {"IO-waitcputicks:", "IO Wait CPU Ticks:"},
      {"*-disk:0", "(not recognised)"},
      {"*-disk ", "(not recognised)"},
      {"*-DISK", "(not recognised)"},
      {"", "(not recognised)"},
  };
  ASSERT_EQ(ChooseReport("-class disk"), OVRC_OK);
  for (const auto &[pszText, pszExpected] : asCases)
    EXPECT_EQ(Recognised(pszText), pszExpected) << '"' << pszText << '"';
  // For -short every text is a section title, left as it is.
  ASSERT_EQ(ChooseReport("-short"), OVRC_OK);
  EXPECT_EQ(Recognised("*-usb"), "*-usb");
}

TEST(DsysOptions, TheLastReportWinsAndClassesComeOnlyFromTheList) {
  char szLog[] = "/tmp/orvik-dsys-options-XXXXXX";
  ASSERT_EQ(close(mkstemp(szLog)), 0);
  setenv("ORVIKLOGFILE", szLog, 1);
  struct Case {
    const char *pszArgs;
    int nRc;
    const char *pszClass = "", *pszClass2 = "", *pszTitle = "", *pszCommand = "";
  } const asCases[] = {
      {"-CPU", OVRC_OK, "-cpu", "cpu", "Display CPU Information", "lscpu"},
      {"-cpu -class disk -bios", OVRC_OK, "-bios", "bios",
       "Display Basic Input Output System (BIOS) Information", "sudo dmidecode -t bios -q"},
      {"-short -class storage", OVRC_OK, "storage", "storage", "Display Storage Interfaces",
       "sudo lshw -c storage"},
      {"-short", OVRC_OK, "-short", "short", "Display System Hardware Summary Information",
       "sudo lshw -short"},
      {"-help -cpu", OVRC_OK, "", "", "", "sudo lshw -c "},   // the help text is no option
      {"-class Disk", OVRC_ERROR, "", "", "", ""},
      {"-cpu -class", OVRC_ERROR, "", "", "", ""},
      {"-class disk;id", OVRC_ERROR, "", "", "", ""},
      {"-class $(id)", OVRC_ERROR, "", "", "", ""},
  };
  for (const Case &sCase : asCases) {
    ASSERT_EQ(ChooseReport(sCase.pszArgs), sCase.nRc) << sCase.pszArgs;
    if (sCase.nRc != OVRC_OK) continue;
    EXPECT_STREQ(szClass, sCase.pszClass);
    EXPECT_STREQ(szClass2, sCase.pszClass2);
    EXPECT_STREQ(szTitle, sCase.pszTitle);
    EXPECT_EQ(ReportCommand(), sCase.pszCommand);
  }
  // "--help" and "-h" anywhere ask for the usage text, except as the text of "-help".
  const std::pair<std::vector<std::string>, bool> asUsage[] = {
      {{"orvikdsys", "--help"}, true},       {{"orvikdsys", "-cpu", "-h"}, true},
      {{"orvikdsys", "-help", "-h"}, false}, {{"orvikdsys", "-HELP", "--help", "-cpu"}, false},
      {{"orvikdsys", "help"}, false},        {{"orvikdsys", "-help", "x", "--help"}, true},
      {{"orvikdsys", "-help"}, false},       {{"-h"}, false},   // the program's own name
  };
  for (const auto &[asArgs, bUsage] : asUsage) {
    std::vector<std::string> asCopy = asArgs;
    std::vector<char *> apszArgv;
    for (std::string &sArg : asCopy) apszArgv.push_back(sArg.data());
    EXPECT_EQ(OVUsageAsked(static_cast<int>(apszArgv.size()), apszArgv.data()), bUsage)
        << asArgs.back();
  }

  std::string sLog = ReadFile(szLog);
  EXPECT_NE(sLog.find("orvikdsys Initialize: Invalid class specified: Disk."), std::string::npos);
  EXPECT_NE(sLog.find("orvikdsys Initialize: class argument is missing."), std::string::npos);
  unsetenv("ORVIKLOGFILE");
  unlink(szLog);
}
