// orvikdsys formatters, recogniser and page layout over arbitrary command output. The first
// byte chooses the report, the rest is the output; every entry is laid out on a page and its
// title put through the recogniser, as the report panel does.
#include "orvikdsys.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char *const apszReport[] = {"-short",     "-network",   "-mdmi",   "-mboard",
                                  "-pmarray",   "-dmemory",   "-umemory", "-ememory",
                                  "-fmemory",   "-bios",      "-blkdevices", "-partitions",
                                  "-slot",      "-baseboard", "-cache",  "-connector",
                                  "-cpu",       "disk",       ""};
constexpr std::size_t nReports = sizeof apszReport / sizeof apszReport[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize == 0 || nSize > static_cast<size_t>(DSYSOUTPUTSIZE)) return 0;
  OVCopyText(szClass, sizeof szClass, apszReport[pData[0] % nReports]);
  OVCopyText(szClass2, sizeof szClass2, szClass[0] == '-' ? szClass + 1 : szClass);
  // The output as the command would leave it: text up to its first zero byte.
  std::string sText(reinterpret_cast<const char *>(pData) + 1, nSize - 1);
  sText.resize(sText.find('\0') == std::string::npos ? sText.size() : sText.find('\0'));

  WINTEXTINFO sInfo{};
  sInfo.pszText = sText.c_str();
  if (FormatDataLines(&sInfo) != OVRC_OK) __builtin_trap();
  auto asEntries = WinTextEntries(sInfo);
  if (static_cast<int>(asEntries.size()) != sInfo.nEntries) __builtin_trap();
  for (const auto &[sTitle, sData] : asEntries) {
    char szTitle[256];
    OVCopyText(szTitle, sizeof szTitle, sTitle.c_str());
    CheckTitle(szTitle);
    (void)sData;
  }
  const DSYSREPORT &sReport = CurrentReport();
  const int nRows = 10 + pData[0] % 40, nColumns = 40 + pData[0] % 200;
  const std::vector<int> anStarts = PlanPageStarts(sReport, asEntries, nRows, nColumns);
  std::size_t nPage = 0;
  for (int nFirst = 0; nFirst < static_cast<int>(asEntries.size()); nPage++) {
    // The pages counted up front are the pages that paging arrives at.
    if (nPage >= anStarts.size() || anStarts[nPage] != nFirst) __builtin_trap();
    if (PageOfEntry(anStarts, nFirst) != static_cast<int>(nPage)) __builtin_trap();
    DSYSPAGE sPage = PlanPage(sReport, asEntries, nFirst, nRows, nColumns);
    if (sPage.nNext <= nFirst) __builtin_trap();   // paging must move on
    for (const DSYSPLACED &sPlaced : sPage.asPlaced) {
      if (sPlaced.nRow < 3 || sPlaced.nRow > nRows - 4) __builtin_trap();
      // Every text fits its field, its field the panel, and its bytes a field's value.
      if (OVDisplayWidth(sPlaced.sText) > sPlaced.nLength || sPlaced.sText.size() > 255)
        __builtin_trap();
      if (nColumns >= 80 && sPlaced.nColumn + sPlaced.nLength - 1 > nColumns) __builtin_trap();
    }
    nFirst = sPage.nNext;
  }
  if (!asEntries.empty() && nPage != anStarts.size()) __builtin_trap();
  FreeWinTextInfoStorage(&sInfo);
  return 0;
}
