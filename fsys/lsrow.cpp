/*
 * lsrow.cpp - one row of `ls -lpah --time-style=+%D-%H:%M` taken apart: mode, links, owner,
 * group, size (two numbers for a device), date-time and the whole name, blanks kept, with a
 * link's target apart. It touches no screen and no global state.
 */
#include "orvikfsys.h"


namespace {

std::string_view NextWord(std::string_view sRow, std::size_t *pnAt)
{
    std::size_t nAt = *pnAt;
    while (nAt < sRow.size() && sRow[nAt] == ' ') ++nAt;
    const std::size_t nStart = nAt;
    while (nAt < sRow.size() && sRow[nAt] != ' ') ++nAt;
    *pnAt = nAt;
    return sRow.substr(nStart, nAt - nStart);
}

/* The sets of characters a mode word is made of, as tables: the filter reads every row of a
   folder's listing for each key typed, so this runs a hundred thousand times a key. */
struct CHARSET {
    bool ab[256] = {};
    constexpr explicit CHARSET(const char *psz)
    {
        for (; *psz != '\0'; ++psz) ab[static_cast<unsigned char>(*psz)] = true;
    }
    constexpr bool Has(char c) const { return ab[static_cast<unsigned char>(c)]; }
};
constexpr CHARSET sTypeChars("-dlcbpsD?");
constexpr CHARSET sPermissionChars("rwxsStT-?");
constexpr CHARSET sMarkChars(".+@");

/* "drwxr-xr-x", with an access-control or security-context mark after it at most. */
bool IsModeWord(std::string_view sWord)
{
    if (sWord.size() < 10 || sWord.size() > 11 || !sTypeChars.Has(sWord[0])) return false;
    for (std::size_t i = 1; i < 10; ++i)
        if (!sPermissionChars.Has(sWord[i])) return false;
    return sWord.size() == 10 || sMarkChars.Has(sWord[10]);
}

bool IsCountWord(std::string_view sWord)
{
    if (sWord.empty()) return false;
    if (sWord == "?") return true;
    for (char c : sWord)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

bool ParseListingRow(std::string_view sRow, LSROW *psRow)
{
    std::size_t nAt = 0;
    LSROW sRow7;
    sRow7.sMode = NextWord(sRow, &nAt);
    sRow7.sLinks = NextWord(sRow, &nAt);
    sRow7.sOwner = NextWord(sRow, &nAt);
    sRow7.sGroup = NextWord(sRow, &nAt);
    if (!IsModeWord(sRow7.sMode) || !IsCountWord(sRow7.sLinks) || sRow7.sGroup.empty())
        return false;
    std::size_t nSizeAt = nAt;
    std::string_view sSize = NextWord(sRow, &nAt);
    /* A device shows "major, minor" where the size stands. */
    if ((sRow7.sMode[0] == 'c' || sRow7.sMode[0] == 'b') && !sSize.empty() &&
        sSize.back() == ',') {
        std::string_view sMinor = NextWord(sRow, &nAt);
        if (sMinor.empty()) return false;
        nSizeAt = static_cast<std::size_t>(sSize.data() - sRow.data());
        sSize = sRow.substr(nSizeAt, nAt - nSizeAt);
    }
    sRow7.sSize = sSize;
    sRow7.sDateTime = NextWord(sRow, &nAt);
    /* The name is all that follows the one blank after the date-time, blanks included. */
    if (sRow7.sDateTime.empty() || nAt + 1 >= sRow.size()) return false;
    sRow7.sName = sRow.substr(nAt + 1);
    if (sRow7.sMode[0] == 'l') {
        std::size_t nArrow = sRow7.sName.find(" -> ");
        if (nArrow != std::string_view::npos && nArrow > 0) {
            sRow7.sTarget = sRow7.sName.substr(nArrow + 4);
            sRow7.sName = sRow7.sName.substr(0, nArrow);
        }
    }
    *psRow = sRow7;
    return true;
}
