// orvikfsys parsers over arbitrary text: every line taken as an `ls -l` row and laid out as a
// data line, and the whole text taken as `stat` output for three margins. The first byte
// chooses whether the row is cut short at 254 bytes, maybe inside a character.
#include "orvikfsys.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
  if (nSize == 0 || nSize > 32767) return 0;
  const bool bCut = (pData[0] & 1) != 0;
  std::string_view sText(reinterpret_cast<const char *>(pData) + 1, nSize - 1);

  for (std::size_t nStart = 0; nStart <= sText.size();) {
    std::size_t nEnd = sText.find('\n', nStart);
    if (nEnd == std::string_view::npos) nEnd = sText.size();
    std::string_view sRow = sText.substr(nStart, nEnd - nStart);
    if (bCut) sRow = sRow.substr(0, 254);
    LSROW sParsed;
    if (ParseListingRow(sRow, &sParsed)) {
      // The name is a non-empty part of the row, ending at the row's end or before " -> ".
      if (sParsed.sName.empty() || sParsed.sName.data() < sRow.data() ||
          sParsed.sName.data() + sParsed.sName.size() > sRow.data() + sRow.size())
        std::abort();
      // Whatever the name, the line takes exactly 74 display columns.
      std::string sLine = FormatListingLine(sParsed);
      if (sLine.size() < 74 || OVDisplayWidth(sLine) != 74) std::abort();
    }
    nStart = nEnd + 1;
  }

  for (int nMargin : {-5, 0, 20}) {
    int bRegular = -1;
    for (const STATTEXT &sItem : ParseRemoteStat(sText, nMargin, &bRegular))
      if (sItem.sText.size() > sText.size() + 13) std::abort();
    if (bRegular != 0 && bRegular != 1) std::abort();
  }
  return 0;
}
