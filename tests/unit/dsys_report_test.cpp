// orvikdsys: the layout of report pages (columns, headings, wrapping, paging, the margin of
// wide terminals), checked without a screen.
#include "orvikdsys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

const DSYSREPORT &Report(const char *pszOption) {
  const DSYSREPORT *psReport = FindReportOption(pszOption);
  EXPECT_NE(psReport, nullptr) << pszOption;
  OVCopyText(szClass, sizeof szClass, pszOption);
  return *psReport;
}

// The placed texts of one row.
std::vector<DSYSPLACED> OnRow(const DSYSPAGE &sPage, int nRow) {
  std::vector<DSYSPLACED> asRow;
  for (const DSYSPLACED &sPlaced : sPage.asPlaced)
    if (sPlaced.nRow == nRow) asRow.push_back(sPlaced);
  return asRow;
}

}  // namespace

TEST(DsysPage, TitlesAndDataTextsFollowTheReportAndTheMargin) {
  const Entries asEntries = {{"Architecture:", "x86_64"}, {"Flags:", std::string(120, 'f')}};
  // 80 columns: titles at 2 for 25, data from 28 in pieces of 50.
  DSYSPAGE sPage = PlanPage(Report("-cpu"), asEntries, 0, 24, 80);
  std::vector<DSYSPLACED> asRow3 = OnRow(sPage, 3);
  ASSERT_EQ(asRow3.size(), 2u);
  EXPECT_EQ(asRow3[0].nColumn, 2);
  EXPECT_EQ(asRow3[0].nLength, 25);
  EXPECT_EQ(asRow3[0].ulStyle, OVSTYLE_RIGHT);
  EXPECT_TRUE(asRow3[0].bTitle);
  EXPECT_EQ(asRow3[1].nColumn, 28);
  EXPECT_EQ(asRow3[1].sText, "x86_64");
  for (int nRow : {4, 5, 6}) {
    ASSERT_FALSE(OnRow(sPage, nRow).empty()) << nRow;
    EXPECT_EQ(OnRow(sPage, nRow).back().nColumn, 28);
  }
  EXPECT_EQ(OnRow(sPage, 4).back().sText, std::string(50, 'f'));
  EXPECT_EQ(OnRow(sPage, 6).back().sText, std::string(20, 'f'));
  EXPECT_EQ(sPage.nNext, 2);
  EXPECT_EQ(sPage.nBarColumn, 2);

  // 120 columns: everything 20 to the right, the data width 20 narrower.
  sPage = PlanPage(Report("-cpu"), asEntries, 0, 40, 120);
  EXPECT_EQ(OnRow(sPage, 3)[0].nColumn, 22);
  EXPECT_EQ(OnRow(sPage, 3)[1].nColumn, 48);
  EXPECT_EQ(OnRow(sPage, 4).back().sText, std::string(70, 'f'));
  EXPECT_EQ(OnRow(sPage, 5).back().sText, std::string(50, 'f'));
  EXPECT_EQ(sPage.nBarColumn, 22);

  // -ememory: the key's label in 25 columns from 15, the number right-justified at 42.
  sPage = PlanPage(Report("-ememory"), {{"totalmemory:", "24683772 K"}}, 0, 24, 80);
  ASSERT_EQ(sPage.asPlaced.size(), 2u);
  EXPECT_EQ(sPage.asPlaced[0].sText, "Total Memory:");
  EXPECT_EQ(sPage.asPlaced[0].nColumn, 15);
  EXPECT_EQ(sPage.asPlaced[0].nLength, 25);
  EXPECT_EQ(sPage.asPlaced[1].nColumn, 42);
  EXPECT_EQ(sPage.asPlaced[1].nLength, 13);
  EXPECT_EQ(sPage.asPlaced[1].ulStyle, OVSTYLE_RIGHT);

  // -blkdevices: the title field of 25 from column 8 reaches past 28, so its data texts
  // start after it and end where the others end.
  sPage = PlanPage(Report("-blkdevices"), {{"loop0   7", std::string(60, 'b')}}, 0, 24, 80);
  ASSERT_EQ(sPage.asPlaced.size(), 3u);
  EXPECT_EQ(sPage.asPlaced[0].nColumn + sPage.asPlaced[0].nLength - 1, 32);
  EXPECT_EQ(sPage.asPlaced[1].nColumn, 34);
  EXPECT_EQ(sPage.asPlaced[1].sText, std::string(44, 'b'));

  // Whole-line reports show no data, their titles as long as the line and tabs as blanks.
  sPage = PlanPage(Report("-slot"), {{"\tType: x16 PCI Express", " "}}, 0, 24, 80);
  ASSERT_EQ(sPage.asPlaced.size(), 1u);
  EXPECT_EQ(sPage.asPlaced[0].nColumn, 24);
  EXPECT_EQ(sPage.asPlaced[0].sText, "        Type: x16 PCI Express");
  EXPECT_EQ(sPage.asPlaced[0].nLength, 29);
  // A line longer than the row is cut at the right edge instead of running onto the next.
  sPage = PlanPage(Report("-network"), {{std::string(100, 'n'), " "}}, 0, 24, 80);
  EXPECT_EQ(sPage.asPlaced[0].nLength, 78);
}

TEST(DsysPage, HeadingsAreSwappedEndAtColumn26AndFollowAnEmptyRow) {
  OVCopyText(szClass, sizeof szClass, "disk");
  const DSYSREPORT &sClassReport = CurrentReport();
  const Entries asEntries = {{"*-disk", " "}, {"product", "SSD"}, {"*-cdrom", " "}, {"vendor", ""}};
  DSYSPAGE sPage = PlanPage(sClassReport, asEntries, 0, 24, 80);
  ASSERT_EQ(sPage.asPlaced.size(), 5u);
  const DSYSPLACED &sFirst = sPage.asPlaced[0];
  EXPECT_TRUE(sFirst.bHeading);
  EXPECT_EQ(sFirst.sText, "Hard Drive");
  EXPECT_EQ(sFirst.nRow, 3) << "no empty row at the top of a page";
  EXPECT_EQ(sFirst.nColumn, 17);
  EXPECT_EQ(sFirst.nLength, 10);
  EXPECT_EQ(sPage.asPlaced[1].nRow, 4);
  EXPECT_FALSE(sPage.asPlaced[1].bHeading);
  const DSYSPLACED &sSecond = sPage.asPlaced[3];
  EXPECT_EQ(sSecond.sText, "CD-Rom");
  EXPECT_EQ(sSecond.nRow, 6) << "one empty row before a heading";
  EXPECT_EQ(sSecond.nColumn, 21);
  // An empty data text of an unrecognised title is no heading.
  EXPECT_FALSE(sPage.asPlaced[4].bHeading);
  EXPECT_EQ(sPage.asPlaced[4].nRow, 7);

  // The DMI whole-line reports keep their headings at the title column.
  sPage = PlanPage(Report("-bios"), {{"BIOS Information", " "}}, 0, 24, 120);
  EXPECT_TRUE(sPage.asPlaced[0].bHeading);
  EXPECT_EQ(sPage.asPlaced[0].nColumn, 22);
  EXPECT_EQ(sPage.asPlaced[0].nLength, 16);
}

TEST(DsysPage, PagesTakeTheRowsAboveTheBarAndMoveOn) {
  Entries asEntries;
  for (int i = 0; i < 40; i++) asEntries.push_back({"key" + std::to_string(i), "v"});
  const DSYSREPORT &sReport = Report("-mdmi");
  // 24 rows: rows 3 to 20 are the page's 18 rows.
  DSYSPAGE sPage = PlanPage(sReport, asEntries, 0, 24, 80);
  EXPECT_EQ(sPage.nNext, 18);
  EXPECT_EQ(sPage.asPlaced.back().nRow, 20);
  sPage = PlanPage(sReport, asEntries, 36, 24, 80);
  EXPECT_EQ(sPage.nNext, 40) << "the last page shows only the rest";
  EXPECT_EQ(sPage.asPlaced.size(), 8u);

  // A data text longer than the page is cut there, and the entry counts as shown.
  Entries asLong = {{"Flags", std::string(5000, 'x')}, {"next", "y"}};
  sPage = PlanPage(sReport, asLong, 0, 24, 80);
  EXPECT_EQ(sPage.nNext, 1);
  EXPECT_EQ(sPage.asPlaced.back().nRow, 20);
  EXPECT_EQ(sPage.asPlaced.size(), 19u);

  // A heading whose empty row would fill the page opens the next page instead.
  Entries asHeadingLast;
  for (int i = 0; i < 17; i++) asHeadingLast.push_back({"key", "v"});
  asHeadingLast.push_back({"*-cpu", " "});
  OVCopyText(szClass, sizeof szClass, "processor");
  sPage = PlanPage(CurrentReport(), asHeadingLast, 0, 24, 80);
  EXPECT_EQ(sPage.nNext, 17);
  sPage = PlanPage(CurrentReport(), asHeadingLast, 17, 24, 80);
  EXPECT_EQ(sPage.asPlaced[0].nRow, 3);
  EXPECT_EQ(sPage.asPlaced[0].sText, "CPU");
}

TEST(DsysPage, ReportFileNameFollowsClassDateAndTime) {
  OVCopyText(szClass, sizeof szClass, "-cpu");
  OVCopyText(szDate, sizeof szDate, "20261207");
  OVCopyText(szTime, sizeof szTime, "031100");
  EXPECT_EQ(ReportFileName(), "/tmp/OrvikDsys.-cpu.20261207.031100.txt");
}
