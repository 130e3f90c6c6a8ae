// orvikdsys: the layout of report pages (columns, headings, wrapping, paging, the margin of
// wide terminals), checked without a screen.
#include "orvikdsys.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Chooses the report by its word (an option, or a class) and lays out one page.
DSYSPAGE Plan(const char *pszReport, const Entries &asEntries, int nFirst = 0, int nRows = 24,
              int nColumns = 80) {
  OVCopyText(szClass, sizeof szClass, pszReport);
  return PlanPage(CurrentReport(), asEntries, nFirst, nRows, nColumns);
}

// Row, column, length and text of every placed field, and whether it is a heading.
std::vector<std::tuple<int, int, int, std::string, bool>> Fields(const DSYSPAGE &sPage) {
  std::vector<std::tuple<int, int, int, std::string, bool>> asFields;
  for (const DSYSPLACED &s : sPage.asPlaced)
    asFields.emplace_back(s.nRow, s.nColumn, s.nLength, s.sText, s.bHeading);
  return asFields;
}

}  // namespace

TEST(DsysPage, ColumnsFollowTheReportAndTheMargin) {
  const Entries asCpu = {{"Architecture:", "x86_64"}, {"Flags:", std::string(120, 'f')}};
  EXPECT_EQ(Fields(Plan("-cpu", asCpu)),
            (decltype(Fields({})){{3, 2, 25, "Architecture:", false},
                                  {3, 28, 50, "x86_64", false},
                                  {4, 2, 25, "Flags:", false},
                                  {4, 28, 50, std::string(50, 'f'), false},
                                  {5, 28, 50, std::string(50, 'f'), false},
                                  {6, 28, 50, std::string(20, 'f'), false}}));
  // 120 columns: everything 20 to the right, the data width 20 narrower.
  DSYSPAGE sWide = Plan("-cpu", asCpu, 0, 40, 120);
  EXPECT_EQ(Fields(sWide)[1], std::make_tuple(3, 48, 70, std::string("x86_64"), false));
  EXPECT_EQ(sWide.nBarColumn, 22);
  // -ememory: the key's label from 15 in 25, the number right-justified at 42 in 13.
  EXPECT_EQ(Fields(Plan("-ememory", {{"totalmemory:", "24683772 K"}})),
            (decltype(Fields({})){{3, 15, 25, "Total Memory:", false},
                                  {3, 42, 13, "24683772 K", false}}));
  // -blkdevices: whole lines from column 8, the device numbers kept.
  EXPECT_EQ(Fields(Plan("-blkdevices", {{"loop0   7:0    0    0B  0 loop", " "}})),
            (decltype(Fields({})){{3, 8, 30, "loop0   7:0    0    0B  0 loop", false}}));
  // Whole-line reports: no data, tabs as blanks, a long line cut at the right edge.
  EXPECT_EQ(Fields(Plan("-slot", {{"\tType: x16", " "}})),
            (decltype(Fields({})){{3, 24, 17, "        Type: x16", false}}));
  EXPECT_EQ(std::get<2>(Fields(Plan("-network", {{std::string(100, 'n'), " "}}))[0]), 78);
}

TEST(DsysPage, HeadingsEndAtColumn26AfterAnEmptyRowAndMoveToTheNextPageAtTheEnd) {
  EXPECT_EQ(Fields(Plan("disk", {{"*-disk", " "}, {"product", "SSD"}, {"*-cdrom", " "},
                                 {"vendor", ""}})),
            (decltype(Fields({})){{3, 17, 10, "Hard Drive", true},
                                  {4, 2, 25, "product", false},
                                  {4, 28, 50, "SSD", false},
                                  {6, 21, 6, "CD-Rom", true},
                                  {7, 2, 25, "vendor", false}}));
  // The DMI whole-line reports keep their headings at the title column.
  EXPECT_EQ(Fields(Plan("-bios", {{"BIOS Information", " "}}, 0, 24, 120))[0],
            std::make_tuple(3, 22, 16, std::string("BIOS Information"), true));

  // 24 rows: rows 3 to 20 are a page; a heading whose empty row would fill it opens the next.
  Entries asEntries(17, {"key", "v"});
  asEntries.push_back({"*-cpu", " "});
  EXPECT_EQ(Plan("processor", asEntries).nNext, 17);
  EXPECT_EQ(Fields(Plan("processor", asEntries, 17))[0],
            std::make_tuple(3, 24, 3, std::string("CPU"), true));
}

TEST(DsysPage, PagesTakeTheRowsAboveTheBarAndMoveOn) {
  Entries asEntries(40, {"key", "v"});
  DSYSPAGE sPage = Plan("-mdmi", asEntries);
  EXPECT_EQ(sPage.nNext, 18);
  EXPECT_EQ(sPage.asPlaced.back().nRow, 20);
  sPage = Plan("-mdmi", asEntries, 36);
  EXPECT_EQ(sPage.nNext, 40) << "the last page shows only the rest";
  EXPECT_EQ(sPage.asPlaced.size(), 8u);
  // A data text longer than the page is cut at its end, and the entry counts as shown.
  sPage = Plan("-mdmi", {{"Flags", std::string(5000, 'x')}, {"next", "y"}});
  EXPECT_EQ(sPage.nNext, 1);
  EXPECT_EQ(sPage.asPlaced.back().nRow, 20);

  OVCopyText(szDate, sizeof szDate, "20261207");
  OVCopyText(szTime, sizeof szTime, "031100");
  OVCopyText(szClass, sizeof szClass, "-cpu");
  EXPECT_EQ(ReportFileName(), "/tmp/OrvikDsys.-cpu.20261207.031100.txt");
}
