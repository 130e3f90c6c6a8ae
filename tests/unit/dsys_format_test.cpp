// orvikdsys: report options, the section recogniser and the formatters over real command
// outputs (tests/fixtures) and over the awkward cases those outputs do not show.
#include "orvikdsys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

std::string ReadFixture(const std::string &sName) {
  std::ifstream in(std::string(ORVIK_FIXTURE_DIR) + "/" + sName, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The lines of a text the way a reader sees them: a last line without a newline counts.
std::vector<std::string> Lines(const std::string &sText) {
  std::vector<std::string> asLines;
  std::istringstream in(sText);
  for (std::string sLine; std::getline(in, sLine);) asLines.push_back(sLine);
  return asLines;
}

// Chooses the report as the command line would: "-cpu", or "-class disk".
int ChooseReport(const std::string &sReport) {
  std::vector<std::string> asArgs = {"orvikdsys"};
  std::istringstream words(sReport);
  for (std::string sWord; words >> sWord;) asArgs.push_back(sWord);
  std::vector<char *> apszArgv;
  for (std::string &sArg : asArgs) apszArgv.push_back(sArg.data());
  szClass[0] = szTitle[0] = '\0';
  return ReadReportOptions(static_cast<int>(apszArgv.size()), apszArgv.data());
}

// Formats the text as the report would and checks that the two lists stay in step.
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
  EXPECT_EQ(nTitles, sInfo.sTitles.nUsed) << "titles list out of step";
  EXPECT_EQ(nData, sInfo.sData.nUsed) << "data list out of step";
  FreeWinTextInfoStorage(&sInfo);
  FreeWinTextInfoStorage(&sInfo);  // twice is harmless
  EXPECT_EQ(sInfo.sTitles.pachText, nullptr);
  return asEntries;
}

bool Has(const Entries &asEntries, const std::string &sTitle, const std::string &sData) {
  return std::find(asEntries.begin(), asEntries.end(), std::make_pair(sTitle, sData)) !=
         asEntries.end();
}

std::string Recognised(const std::string &sText) {
  char szBuffer[256] = {};
  std::snprintf(szBuffer, sizeof szBuffer, "%s", sText.c_str());
  return CheckTitle(szBuffer) ? std::string(szBuffer) : "(not recognised)";
}

std::size_t CountNonBlankLines(const std::vector<std::string> &asLines) {
  return std::count_if(asLines.begin(), asLines.end(), [](const std::string &sLine) {
    return sLine.find_first_not_of(" \t") != std::string::npos;
  });
}

// Which report formats the fixtures of a kind, and what must hold for every one of them.
struct FixtureKind {
  const char *pszPattern;
  const char *pszReport;
  void (*pfnCheck)(const std::vector<std::string> &asLines, const Entries &asEntries);
};

void CheckWholeLines(const std::vector<std::string> &asLines, const Entries &asEntries) {
  ASSERT_EQ(asEntries.size(), asLines.size());
  for (std::size_t i = 0; i < asLines.size(); i++) {
    EXPECT_EQ(asEntries[i].first, asLines[i]) << "line " << i + 1;
    EXPECT_EQ(asEntries[i].second, " ");
  }
}

void CheckKeyValues(const std::vector<std::string> &asLines, const Entries &asEntries) {
  ASSERT_EQ(asEntries.size(), CountNonBlankLines(asLines));
  for (const auto &[sTitle, sData] : asEntries) {
    EXPECT_FALSE(sTitle.empty());
    EXPECT_NE(sTitle.front(), ' ');
    EXPECT_NE(sTitle.front(), '\t');
    EXPECT_EQ(sTitle.find(':'), std::string::npos) << sTitle;
  }
}

void CheckCpu(const std::vector<std::string> &asLines, const Entries &asEntries) {
  ASSERT_EQ(asEntries.size(), asLines.size());
  for (std::size_t i = 0; i < asLines.size(); i++) {
    const auto &[sTitle, sData] = asEntries[i];
    bool bColon = asLines[i].find(':') != std::string::npos;
    EXPECT_EQ(!sTitle.empty() && sTitle.back() == ':', bColon) << asLines[i];
    EXPECT_TRUE(sData.empty() || sData.front() != ' ' || sData == " ") << asLines[i];
  }
}

void CheckEventCounts(const std::vector<std::string> &asLines, const Entries &asEntries) {
  ASSERT_EQ(asEntries.size(), asLines.size());
  const std::regex number("[0-9]+( K)?");
  for (const auto &[sTitle, sData] : asEntries) {
    EXPECT_TRUE(std::regex_match(sData, number)) << sData;
    ASSERT_FALSE(sTitle.empty());
    EXPECT_EQ(sTitle.back(), ':');
    EXPECT_EQ(sTitle.find(' '), std::string::npos) << sTitle;
  }
}

void CheckShort(const std::vector<std::string> &asLines, const Entries &asEntries) {
  ASSERT_EQ(asEntries.size(), asLines.size() - 2);   // header and rule give none
  for (const auto &[sTitle, sData] : asEntries)
    EXPECT_EQ(!sTitle.empty() && sTitle.back() == ':', sData != " ") << sTitle;
}

constexpr FixtureKind asKinds[] = {
    {"lscpu", "-cpu", CheckCpu},
    {"vmstat-s", "-ememory", CheckEventCounts},
    {"lshw-short", "-short", CheckShort},
    {"lshw", "-class disk", CheckKeyValues},
    {"dmidecode-t-17-q", "-mdmi", CheckKeyValues},
    {"dmidecode-t-16-q", "-pmarray", CheckKeyValues},
    {"dmidecode-t-2-q", "-mboard", CheckKeyValues},
    {"dmidecode-t-2-16-17-q", "-dmemory", CheckWholeLines},
    {"dmidecode-t-bios-q", "-bios", CheckWholeLines},
    {"dmidecode-t-slot-q", "-slot", CheckWholeLines},
    {"dmidecode-t-cache-q", "-cache", CheckWholeLines},
    {"dmidecode-t-connector-q", "-connector", CheckWholeLines},
    {"dmidecode-t-baseboard-q", "-baseboard", CheckWholeLines},
    {"meminfo", "-umemory", CheckWholeLines},
    {"ifconfig", "-network", CheckWholeLines},
    {"free", "-fmemory", CheckKeyValues},
    {"lsblk", "-blkdevices", CheckKeyValues},
};

}  // namespace

TEST(DsysFormat, EveryFixtureOfEachKindKeepsEveryLineInStep) {
  int nWalked = 0;
  for (const auto &entry : std::filesystem::directory_iterator(ORVIK_FIXTURE_DIR)) {
    std::string sName = entry.path().filename().string();
    if (sName == "README.md") continue;
    const FixtureKind *psKind = nullptr;
    for (const FixtureKind &sKind : asKinds)
      if (sName.find(sKind.pszPattern) != std::string::npos) {
        psKind = &sKind;
        break;
      }
    if (psKind == nullptr) continue;   // fdisk output is empty here; see the fallback test
    SCOPED_TRACE(sName + " as " + psKind->pszReport);
    std::string sText = ReadFixture(sName);
    std::vector<std::string> asLines = Lines(sText);
    if (asLines.empty()) continue;
    psKind->pfnCheck(asLines, Format(psKind->pszReport, sText));
    // The same output without its final newline loses nothing.
    if (!sText.empty() && sText.back() == '\n') {
      sText.pop_back();
      psKind->pfnCheck(Lines(sText), Format(psKind->pszReport, sText));
    }
    nWalked++;
  }
  EXPECT_GE(nWalked, 70) << "fixtures missing from " << ORVIK_FIXTURE_DIR;
}

TEST(DsysFormat, RealOutputsGiveTheirTitlesAndValues) {
  struct Fact {
    const char *pszReport, *pszFile, *pszTitle, *pszData;
  };
  const Fact asFacts[] = {
      {"-cpu", "local-lscpu.txt", "Architecture:", "x86_64"},
      {"-cpu", "linuxhw-cortex-a55-lscpu.txt", "Architecture:", "aarch64"},
      {"-ememory", "local-vmstat-s.txt", "totalmemory:", "24683772 K"},
      {"-ememory", "local-vmstat-s.txt", "forks:", "16312"},   // the last line
      {"-ememory", "local-vmstat-s.txt", "pagesswappedin:", "0"},
      {"-short", "cwage-thinkpad-t580-lshw-short.txt", "memory:", "32GiB System Memory"},
      {"-short", "cwage-thinkpad-t580-lshw-short.txt", "system:",
       "20L9CTO1WW (LENOVO_MT_20L9_BU_Think_FM_ThinkPad T580)"},
      {"-short", "local-lshw-short.txt", "system:", "Computer"},
      {"-class disk", "local-lshw-c-disk.txt", "logical name", "/dev/vda"},
      {"-class disk", "local-lshw-c-disk.txt", "*-virtio1", " "},
      {"-class memory", "glutamat42-toshiba-wt8-lshw.txt", "*-cpu", " "},
      {"-mdmi", "fusioninventory-dell-r640-dmidecode-t-17-q.txt", "Memory Device", " "},
      {"-mdmi", "fusioninventory-dell-r640-dmidecode-t-17-q.txt", "Size", "32 GB"},
      {"-bios", "fusioninventory-dell-r640-dmidecode-t-bios-q.txt", "\tVendor: Dell Inc.", " "},
      {"-fmemory", "local-free-l-h.txt", "Mem",
       "           23Gi       350Mi        23Gi        10Mi       275Mi        23Gi"},
      {"-umemory", "local-proc-meminfo.txt", "MemTotal:       24683772 kB", " "},
      {"-network", "local-ifconfig-a-v.txt", "        inet 192.0.2.2  netmask 255.255.255.0  "
                                             "broadcast 192.0.2.255", " "},
  };
  for (const Fact &sFact : asFacts) {
    Entries asEntries = Format(sFact.pszReport, ReadFixture(sFact.pszFile));
    EXPECT_TRUE(Has(asEntries, sFact.pszTitle, sFact.pszData))
        << sFact.pszFile << ": no entry \"" << sFact.pszTitle << "\" / \"" << sFact.pszData << "\"";
  }
}

TEST(DsysFormat, EdgesOfTheLineRules) {
  // The lshw -short columns come from the header; a missing word keeps its default.
  auto Pad = [](std::string sText, std::size_t nWidth) {
    sText.resize(std::max(nWidth, sText.size()), ' ');
    return sText;
  };
  std::string sShort = Pad("H/W path", 10) + Pad("Device", 20) + Pad("Class", 10) + "Description\n" +
                       std::string(50, '=') + "\n" + Pad("/0/1", 10) + Pad("eth0", 20) +
                       Pad("network", 10) + "Ethernet\n" + Pad("/0/2", 10) +
                       "averyveryverylongname network x\n" + Pad("/0/3", 30) + "bridge\n";
  Entries asShort = Format("-short", sShort);
  ASSERT_EQ(asShort.size(), 3u);
  EXPECT_EQ(asShort[0], std::make_pair(std::string("eth0-network:"), std::string("Ethernet")));
  // A device word of 16 characters without a blank gets no "-".
  EXPECT_EQ(asShort[1].first.substr(0, 17), "averyveryverylone");
  EXPECT_EQ(asShort[2], std::make_pair(std::string("bridge"), std::string(" ")));

  std::string sNoDescription = Pad("H/W path", 12) + Pad("Device", 12) + "Class\n=====\n" +
                               Pad("", 12) + Pad("sda", 12) + Pad("disk", 22) + "Samsung SSD\n";
  EXPECT_EQ(Format("-short", sNoDescription),
            (Entries{{"sda-disk:", "Samsung SSD"}})) << "description from column 46";

  // vmstat -s: an empty last line is an entry of an empty title and data text.
  Entries asEvents = Format("-ememory", "   12 K total memory\n\n");
  ASSERT_EQ(asEvents.size(), 2u);
  EXPECT_EQ(asEvents[1], std::make_pair(std::string(), std::string()));

  // lscpu: a line without a colon still has a data text; one trailing blank goes.
  Entries asCpu = Format("-cpu", "Caches (sum of all):\nno colon here\nModel:   x  \n");
  EXPECT_EQ(asCpu[0], std::make_pair(std::string("Caches (sum of all):"), std::string()));
  EXPECT_EQ(asCpu[1], std::make_pair(std::string("no colon here"), std::string(" ")));
  EXPECT_EQ(asCpu[2], std::make_pair(std::string("Model:"), std::string("x ")));

  // Key and value: a line that ends at its colon has an empty value.
  Entries asKeys = Format("-class disk", "  *-disk:0\n    capabilities:\n   \n");
  ASSERT_EQ(asKeys.size(), 2u);
  EXPECT_EQ(asKeys[0], std::make_pair(std::string("*-disk"), std::string()));
  EXPECT_EQ(asKeys[1], std::make_pair(std::string("capabilities"), std::string()));
}

TEST(DsysFormat, EmptyOutputGivesTheFallbackEntryWhereThereIsOne) {
  struct Fallback {
    const char *pszReport;
    Entries asExpected;
  };
  const Fallback asFallbacks[] = {
      {"-cpu", {{" ", "No cpu information found."}}},
      {"-ememory", {{" ", "No ememory information found."}}},
      {"-bios", {{"No bios information found.", " "}}},
      {"-partitions", {{"No partitions information found.", " "}}},
      {"-network", {}},
      {"-short", {}},
      {"-class disk", {}},
      {"-mdmi", {}},
  };
  for (const Fallback &sCase : asFallbacks)
    EXPECT_EQ(Format(sCase.pszReport, ""), sCase.asExpected) << sCase.pszReport;
  // The real, empty fdisk output of this machine.
  EXPECT_EQ(Format("-partitions", ReadFixture("local-fdisk-l.txt")),
            (Entries{{"No partitions information found.", " "}}));
}

TEST(DsysFormat, ListsGrowWithTheLargestOutputTheDisplayAccepts) {
  // lshw-like text of 131071 characters, far beyond the first 4096 bytes of each list,
  // whose last line has no newline.
  const std::size_t nLimit = DSYSOUTPUTSIZE - 1;
  std::string sText;
  int nLines = 0;
  while (sText.size() + 120 < nLimit) {
    sText += nLines % 10 == 0 ? "  *-network:" + std::to_string(nLines) + "\n"
                              : "       configuration: driver=e1000e latency=" +
                                    std::to_string(nLines) + "\n";
    nLines++;
  }
  const std::string sLastValue(nLimit - sText.size() - 11, 'x');
  sText += "  product: " + sLastValue;
  ASSERT_EQ(sText.size(), nLimit);
  Entries asEntries = Format("-class network", sText);
  ASSERT_EQ(asEntries.size(), static_cast<std::size_t>(nLines) + 1);
  EXPECT_EQ(asEntries[0], std::make_pair(std::string("*-network"), std::string()));
  EXPECT_EQ(asEntries.back(), std::make_pair(std::string("product"), sLastValue));
}

TEST(DsysRecogniser, KeysBecomeLabelsOnlyOnAnExactMatch) {
  const std::pair<const char *, const char *> asCases[] = {
      {"*-usb", "Universal Serial Bus (USB)"},   // longer than its key
      {"*-usbhost", "Universal Serial Bus Host"},
      {"*-cdrom", "CD-Rom"},
      {"Base Board Information", "Mother Board Information"},
      {"BIOS Information", "BIOS Information"},
      {"MemTotal:", "Total Memory:"},
      {"totalmemory:", "Total Memory:"},
      {"IO-waitcputicks:", "IO Wait CPU Ticks:"},
      {"DirectMap2M:", "Mapped to 2MB Pages:"},
      {"*-disk:0", "(not recognised)"},
      {"*-disk ", "(not recognised)"},
      {"*-DISK", "(not recognised)"},
      {"memtotal:", "(not recognised)"},
      {"", "(not recognised)"},
  };
  ASSERT_EQ(ChooseReport("-class disk"), OVRC_OK);
  for (const auto &[pszText, pszExpected] : asCases)
    EXPECT_EQ(Recognised(pszText), pszExpected) << '"' << pszText << '"';
  // For -short every text is a section title, left as it is.
  ASSERT_EQ(ChooseReport("-short"), OVRC_OK);
  EXPECT_EQ(Recognised("eth0-network"), "eth0-network");
  EXPECT_EQ(Recognised("*-usb"), "*-usb");
}

TEST(DsysOptions, TheLastReportWinsAndClassesComeOnlyFromTheList) {
  ASSERT_EQ(ChooseReport("-CPU"), OVRC_OK);
  EXPECT_STREQ(szClass, "-cpu");
  EXPECT_STREQ(szClass2, "cpu");
  EXPECT_STREQ(szTitle, "Display CPU Information");
  EXPECT_EQ(ReportCommand(), "lscpu");

  ASSERT_EQ(ChooseReport("-cpu -class disk -bios"), OVRC_OK);
  EXPECT_STREQ(szClass, "-bios");
  EXPECT_EQ(ReportCommand(), "sudo dmidecode -t bios -q");

  ASSERT_EQ(ChooseReport("-short -class storage"), OVRC_OK);
  EXPECT_STREQ(szClass, "storage");
  EXPECT_STREQ(szClass2, "storage");
  EXPECT_STREQ(szTitle, "Display Storage Interfaces");
  EXPECT_EQ(ReportCommand(), "sudo lshw -c storage");

  ASSERT_EQ(ChooseReport("-short"), OVRC_OK);
  EXPECT_EQ(ReportCommand(), "sudo lshw -short");

  ASSERT_EQ(ChooseReport("-help -cpu"), OVRC_OK) << "the help text is not an option";
  EXPECT_STREQ(szClass, "");
  EXPECT_STREQ(szTitle, "");
  EXPECT_EQ(ReportCommand(), "sudo lshw -c ");

  char szLog[] = "/tmp/orvik-dsys-options-XXXXXX";
  int fd = mkstemp(szLog);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("ORVIKLOGFILE", szLog, 1);
  EXPECT_EQ(ChooseReport("-class Disk"), OVRC_ERROR);
  EXPECT_EQ(ChooseReport("-cpu -class"), OVRC_ERROR);
  EXPECT_EQ(ChooseReport("-class disk;id"), OVRC_ERROR);
  EXPECT_EQ(ChooseReport("-class $(id)"), OVRC_ERROR);
  std::ifstream in(szLog);
  std::string sLog((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(sLog.find("orvikdsys Initialize: Invalid class specified: Disk."), std::string::npos)
      << sLog;
  EXPECT_NE(sLog.find("orvikdsys Initialize: class argument is missing."), std::string::npos);
  unsetenv("ORVIKLOGFILE");
  unlink(szLog);
}
