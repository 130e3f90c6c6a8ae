/*
 * view.cpp - what the browser shows of a listing file: a view written beside it with the
 * entries a filter keeps and the hidden ones left out, and where pages of it start.
 *
 * A view is a listing file of its own, read by the same paging code. It is written again for
 * each change of filter, from the view before when the filter only grew (every entry it
 * keeps was kept before), so that memory holds one entry at a time whatever the folder's
 * size. An entry whose name holds a newline spans several rows and is kept or left whole.
 */
#include "orvikfsys.h"

#include <algorithm>
#include <cstring>

namespace {

/* A folder's name without the "/" that `ls -p` adds. */
std::string_view Bare(std::string_view sName)
{
    return !sName.empty() && sName.back() == '/' ? sName.substr(0, sName.size() - 1) : sName;
}

/* OVContainsFolded without folding a copy of a plain ASCII name, the common case, so that a
   folder of a hundred thousand names is filtered well within a key's time. */
bool HoldsFolded(std::string_view sName, std::string_view sFolded)
{
    for (char c : sName)
        if (static_cast<unsigned char>(c) >= 0x80) return OVContainsFolded(sName, sFolded);
    const auto Lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return std::search(sName.begin(), sName.end(), sFolded.begin(), sFolded.end(),
                       [&](char a, char b) { return Lower(a) == b; }) != sName.end() ||
           sFolded.empty();
}

}  // namespace

bool LineBuffer::Read(std::FILE *pFile, std::string_view *psLine, std::size_t *pnBytes)
{
    ssize_t nRead = getline(&pszLine, &nSize, pFile);
    if (nRead < 0) return false;
    std::size_t nLength = static_cast<std::size_t>(nRead);
    if (pnBytes != nullptr) *pnBytes = nLength;
    if (nLength > 0 && pszLine[nLength - 1] == '\n') --nLength;
    *psLine = std::string_view(pszLine, nLength);
    return true;
}

bool IsTotalLine(std::string_view sLine) { return sLine.substr(0, 6) == "total "; }

long WriteView(const char *pszFrom, const char *pszInto, std::string_view sFolded,
               bool bHideDots)
{
    OVTraceStart("orvikfsys WriteView", "pszFrom: %s, filter: %.*s.", pszFrom,
                 static_cast<int>(sFolded.size()), sFolded.data());
    OVFilePtr pFrom(std::fopen(pszFrom, "r"));
    if (!pFrom) {
        OVLog(OVLOG_ERROR, "orvikfsys WriteView: Unable to read %.200s.", pszFrom);
        return OVTraceEnd("orvikfsys WriteView", -1);
    }
    if (OVClaimTempFile(pszInto) != OVRC_OK) return OVTraceEnd("orvikfsys WriteView", -1);
    OVFilePtr pInto(std::fopen(pszInto, "w"));
    if (!pInto) {
        OVLog(OVLOG_ERROR, "orvikfsys WriteView: Unable to write %.200s.", pszInto);
        return OVTraceEnd("orvikfsys WriteView", -1);
    }
    long nKept = 0;
    std::string sRows;   /* the rows of the entry read last */
    std::string sName;   /* its whole name, rows joined by newlines */
    auto Flush = [&] {
        if (sRows.empty()) return;
        const bool bOwn = sName == "." || sName == "..";
        if (bOwn || ((!bHideDots || sName[0] != '.') && HoldsFolded(sName, sFolded))) {
            std::fwrite(sRows.data(), 1, sRows.size(), pInto.get());
            if (!bOwn) ++nKept;
        }
        sRows.clear();
    };
    LineBuffer sBuffer;
    std::string_view sLine;
    bool bFirst = true;
    LSROW sRow;
    while (sBuffer.Read(pFrom.get(), &sLine)) {
        if (bFirst && IsTotalLine(sLine)) continue;
        bFirst = false;
        if (ParseListingRow(sLine, &sRow)) {
            Flush();
            sName.assign(Bare(sRow.sName));
        } else if (sRows.empty()) {
            continue;   /* nothing before it to belong to */
        } else {
            sName.append(1, '\n').append(sLine);
        }
        sRows.append(sLine).append(1, '\n');
    }
    Flush();
    if (std::fflush(pInto.get()) != 0 || std::ferror(pInto.get())) {
        OVLog(OVLOG_ERROR, "orvikfsys WriteView: Unable to write %.200s.", pszInto);
        return OVTraceEnd("orvikfsys WriteView", -1);
    }
    OVTraceEnd("orvikfsys WriteView", OVRC_OK);
    return nKept;
}

bool FindPages(const char *pszFile, int nRows, std::string_view sName,
               std::vector<std::int64_t> *pafStart, int *pnRow)
{
    pafStart->assign(1, 0);
    *pnRow = 0;
    OVFilePtr pFile(std::fopen(pszFile, "r"));
    if (!pFile || nRows <= 0) return false;
    LineBuffer sBuffer;
    std::string_view sLine;
    std::size_t nBytes = 0;
    std::int64_t fAt = 0;
    int nRow = 0;
    LSROW sRow;
    while (sBuffer.Read(pFile.get(), &sLine, &nBytes)) {
        /* Page 1 holds the "total" line and nRows rows after it, as Get_Panel_Data reads it. */
        if (fAt == 0 && nRow == 0 && IsTotalLine(sLine)) {
            fAt += static_cast<std::int64_t>(nBytes);
            continue;
        }
        if (nRow == nRows) {
            pafStart->push_back(fAt);
            nRow = 0;
        }
        if (!sName.empty() && ParseListingRow(sLine, &sRow) && Bare(sRow.sName) == Bare(sName)) {
            *pnRow = nRow;
            return true;
        }
        ++nRow;
        fAt += static_cast<std::int64_t>(nBytes);
    }
    return sName.empty();
}

std::string CompleteName(const char *pszFile, std::string_view sPart)
{
    OVFilePtr pFile(std::fopen(pszFile, "r"));
    if (!pFile) return std::string();
    LineBuffer sBuffer;
    std::string_view sLine;
    std::string sCommon;
    bool bFound = false;
    LSROW sRow;
    while (sBuffer.Read(pFile.get(), &sLine)) {
        if (!ParseListingRow(sLine, &sRow) || sRow.sName == "./" || sRow.sName == "../" ||
            sRow.sName.substr(0, sPart.size()) != sPart)
            continue;
        if (!bFound) {
            sCommon.assign(sRow.sName);
            bFound = true;
            continue;
        }
        std::size_t n = 0;
        while (n < sCommon.size() && n < sRow.sName.size() && sCommon[n] == sRow.sName[n]) ++n;
        sCommon.resize(n);
    }
    /* A common start never ends inside a character. */
    sCommon.resize(OVUtf8Prefix(sCommon, sCommon.size()));
    return sCommon;
}
