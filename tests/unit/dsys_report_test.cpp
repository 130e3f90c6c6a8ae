// orvikdsys: the layout of report pages (columns, headings, wrapping, paging, the margin of
// wide terminals), checked without a screen.
#include "orvikdsys.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <map>
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

// The lines of a captured command output, as FormatDataLines would make them for a
// whole-line report.
Entries FixtureLines(const std::string &sName) {
  std::ifstream in(std::string(ORVIK_FIXTURE_DIR) + "/" + sName);
  Entries asEntries;
  for (std::string sLine; std::getline(in, sLine);) asEntries.push_back({sLine, " "});
  return asEntries;
}

// The report's text on the screen, row by row, as the fields place it: every field's text
// padded on the left to its column (right-justified in its length when it is so styled).
std::map<int, std::string> Screen(const DSYSPAGE &sPage) {
  std::map<int, std::string> asRows;
  for (const DSYSPLACED &s : sPage.asPlaced) {
    std::string &sRow = asRows[s.nRow];
    int nWidth = OVDisplayWidth(sRow);
    int nColumn = s.nColumn;
    if (s.ulStyle & OVSTYLE_RIGHT) nColumn += s.nLength - OVDisplayWidth(s.sText);
    if (nColumn - 1 > nWidth) sRow.append(static_cast<std::size_t>(nColumn - 1 - nWidth), ' ');
    sRow += s.sText;
  }
  return asRows;
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
  // Whole-line reports: no data, tabs as blanks, a line longer than the room goes on over
  // the next row, up to the right edge, and the next entry follows below it.
  EXPECT_EQ(Fields(Plan("-slot", {{"\tType: x16", " "}})),
            (decltype(Fields({})){{3, 24, 17, "        Type: x16", false}}));
  EXPECT_EQ(Fields(Plan("-network", {{std::string(100, 'n'), " "}, {"lo", " "}})),
            (decltype(Fields({})){{3, 2, 79, std::string(79, 'n'), false},
                                  {4, 2, 21, std::string(21, 'n'), false},
                                  {5, 2, 2, "lo", false}}));
  // A key longer than its title field is marked where it is cut; a heading too long to end
  // at column 26 starts at the left edge; a number wider than 13 columns grows to the right.
  EXPECT_EQ(Fields(Plan("-cpu", {{"Vulnerability Spec store bypass:", "Mitigation"}}))[0],
            std::make_tuple(3, 2, 25, std::string("Vulnerability Spec store~"), false));
  EXPECT_EQ(Fields(Plan("-short", {{"averyveryverylongname-averylongclassname", " "}}))[0],
            std::make_tuple(3, 1, 40, std::string("averyveryverylongname-averylongclassname"),
                            true));
  EXPECT_EQ(Fields(Plan("-ememory", {{"forks:", "12345678901234567"}}))[1],
            std::make_tuple(3, 42, 17, std::string("12345678901234567"), false));
}

TEST(DsysPage, FreeLinesAreShownWholeUnderTheirHeader) {
  // free's table is 80 columns wide: from column 1 every line fits an 80-column terminal on
  // one row, so "10Mi" and the columns after it stay on the row of their header.
  for (const char *pszFixture : {"local-free-l-h.txt", "cwage-thinkpad-t580-free-h.txt",
                                 "stockfishbaseline-free-h.txt"}) {
    SCOPED_TRACE(pszFixture);
    const Entries asLines = FixtureLines(pszFixture);
    ASSERT_GE(asLines.size(), 3u);
    for (int nColumns : {80, 132}) {
      const int nMargin = (nColumns - 80) / 2;
      DSYSPAGE sPage = Plan("-fmemory", asLines, 0, 24, nColumns);
      EXPECT_EQ(sPage.nNext, static_cast<int>(asLines.size()));
      ASSERT_EQ(sPage.asPlaced.size(), asLines.size()) << "one field a line";
      for (std::size_t i = 0; i < asLines.size(); i++) {
        const DSYSPLACED &s = sPage.asPlaced[i];
        EXPECT_EQ(std::make_tuple(s.nRow, s.nColumn, s.sText),
                  std::make_tuple(3 + static_cast<int>(i), 1 + nMargin, asLines[i].first));
        EXPECT_EQ(s.nLength, static_cast<int>(asLines[i].first.size()));
      }
      EXPECT_EQ(sPage.nBarColumn, 2 + nMargin) << "the bar stays where it was";
    }
  }
}

TEST(DsysPage, Utf8TextIsMeasuredInDisplayColumns) {
  // lsblk's tree drawing: every line whole from column 8, as long as it is wide.
  const Entries asTree = FixtureLines("ctclbregis-lattepanda-mu-lsblk.txt");
  DSYSPAGE sTree = Plan("-blkdevices", asTree, 0, 43, 132);
  int nMultibyte = 0;
  for (const DSYSPLACED &s : sTree.asPlaced) {
    EXPECT_EQ(s.nLength, OVDisplayWidth(s.sText)) << s.sText;
    nMultibyte += s.sText.size() > static_cast<std::size_t>(s.nLength);
  }
  EXPECT_GT(nMultibyte, 0) << "the fixture draws its tree in UTF-8";
  EXPECT_EQ(sTree.asPlaced.size(), static_cast<std::size_t>(sTree.nNext));

  // A title right-justified to column 26 and a value wrapped after 50 columns, whatever the
  // bytes: "é" is two bytes, "日" two columns; a tab stops at a column, not a byte.
  std::string sValue;
  for (int i = 0; i < 60; i++) sValue += "é";
  std::string sWide;
  for (int i = 0; i < 30; i++) sWide += "日";
  const std::map<int, std::string> asRows =
      Screen(Plan("-cpu", {{"Modèle:", sValue}, {"Nom:", sWide}, {"é\tx", " "}}));
  std::string sFifty;
  for (int i = 0; i < 50; i++) sFifty += "é";
  EXPECT_EQ(asRows.at(3), std::string(19, ' ') + "Modèle: " + sFifty);
  EXPECT_EQ(asRows.at(4), std::string(27, ' ') + "éééééééééé");
  EXPECT_EQ(OVDisplayWidth(asRows.at(5)), 77) << asRows.at(5);
  EXPECT_EQ(OVDisplayWidth(asRows.at(6)), 37) << "30 wide characters: 25 on the row above";
  EXPECT_EQ(asRows.at(7), std::string(17, ' ') + "é       x  ");
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
  // A data text longer than the rows left opens the next page rather than being cut; only
  // one longer than a whole page is cut, at its end, with "~", and counts as shown.
  Entries asLong(17, {"key", "v"});
  asLong.push_back({"Flags", std::string(150, 'x')});
  EXPECT_EQ(Plan("-mdmi", asLong).nNext, 17);
  EXPECT_EQ(Fields(Plan("-mdmi", asLong, 17)).size(), 4u);
  sPage = Plan("-mdmi", {{"Flags", std::string(5000, 'x')}, {"next", "y"}});
  EXPECT_EQ(sPage.nNext, 1);
  EXPECT_EQ(sPage.asPlaced.back().nRow, 20);
  EXPECT_EQ(sPage.asPlaced.back().sText, std::string(49, 'x') + "~");
  // The same for a whole line.
  sPage = Plan("-network", {{std::string(79 * 20, 'n'), " "}});
  EXPECT_EQ(sPage.asPlaced.size(), 18u);
  EXPECT_EQ(sPage.asPlaced.back().sText, std::string(78, 'n') + "~");

  OVCopyText(szDate, sizeof szDate, "20261207");
  OVCopyText(szTime, sizeof szTime, "031100");
  OVCopyText(szClass, sizeof szClass, "-cpu");
  EXPECT_EQ(ReportFileName(), "/tmp/OrvikDsys.-cpu.20261207.031100.txt");
}

TEST(DsysPage, PagesOfTheWholeReportAndTheEntryKeptOverAResize) {
  OVCopyText(szClass, sizeof szClass, "-mdmi");
  const DSYSREPORT &sReport = CurrentReport();
  Entries asEntries;
  for (int i = 0; i < 60; i++) asEntries.push_back({"Key " + std::to_string(i), "v"});
  // 18 rows a page at 80x24, 37 at 132x43; a 40x12 terminal is never laid out (the notice).
  EXPECT_EQ(PlanPageStarts(sReport, asEntries, 24, 80), (std::vector<int>{0, 18, 36, 54}));
  EXPECT_EQ(PlanPageStarts(sReport, asEntries, 43, 132), (std::vector<int>{0, 37}));
  EXPECT_EQ(PlanPageStarts(sReport, {{" ", "No mdmi information found."}}, 24, 80),
            std::vector<int>{0});

  // 80x24 on page 4 -> 132x43 -> 80x24: each time the page shown holds the first entry of
  // the page read before.
  struct Step {
    int nRows, nColumns, nPageShown;
  } const asWalk[] = {{24, 80, 3}, {43, 132, 1}, {24, 80, 2}};
  int nTop = 54;
  for (const Step &sStep : asWalk) {
    std::vector<int> anStarts = PlanPageStarts(sReport, asEntries, sStep.nRows, sStep.nColumns);
    const int nPage = PageOfEntry(anStarts, nTop);
    EXPECT_EQ(nPage, sStep.nPageShown) << sStep.nColumns << "x" << sStep.nRows;
    const DSYSPAGE sPage = PlanPage(sReport, asEntries, anStarts[nPage], sStep.nRows, sStep.nColumns);
    EXPECT_TRUE(anStarts[nPage] <= nTop && nTop < sPage.nNext);
    nTop = anStarts[nPage];
  }
  EXPECT_EQ(PageOfEntry({0, 18, 36}, 0), 0);
  EXPECT_EQ(PageOfEntry({0, 18, 36}, 17), 0);
  EXPECT_EQ(PageOfEntry({0, 18, 36}, 18), 1);
  EXPECT_EQ(PageOfEntry({0, 18, 36}, 99), 2);
}
