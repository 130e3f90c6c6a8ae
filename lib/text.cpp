/*
 * text.cpp - UTF-8 text: its characters, their display widths on the terminal, cuts that never
 * split a character; bounded copies into fixed-size record fields, and whole-file replacement.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <clocale>
#include <cwchar>
#include <cwctype>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* The UTF-8 character type used for widths; (locale_t)0 when the system has none. */
locale_t Utf8Locale()
{
    static locale_t sLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return sLocale;
}

bool IsCombiningMark(long nCode)
{
    return nCode >= 0x300 && OVCharacterColumns(nCode) == 0;
}

} // namespace

OVUTF8CHARACTER OVDecodeUtf8(std::string_view sText, std::size_t nAt)
{
    if (nAt >= sText.size()) return {OVNOTACHARACTER, 0};
    const auto c = static_cast<unsigned char>(sText[nAt]);
    if (c < 0x80) return {c, 1};
    /* The lead byte gives the length and the range its first continuation byte may take,
       which rules out overlong forms, surrogates and codes above U+10FFFF. */
    std::size_t nLength = 0;
    unsigned char cLow = 0x80, cHigh = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        nLength = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        nLength = 3;
        if (c == 0xE0) cLow = 0xA0;
        if (c == 0xED) cHigh = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        nLength = 4;
        if (c == 0xF0) cLow = 0x90;
        if (c == 0xF4) cHigh = 0x8F;
    }
    if (nLength == 0 || nAt + nLength > sText.size()) return {OVNOTACHARACTER, 1};
    const auto cSecond = static_cast<unsigned char>(sText[nAt + 1]);
    if (cSecond < cLow || cSecond > cHigh) return {OVNOTACHARACTER, 1};
    long nCode = c & (0x7F >> nLength);
    for (std::size_t i = 1; i < nLength; i++) {
        const auto cNext = static_cast<unsigned char>(sText[nAt + i]);
        if ((cNext & 0xC0) != 0x80) return {OVNOTACHARACTER, 1};
        nCode = (nCode << 6) | (cNext & 0x3F);
    }
    return {nCode, nLength};
}

bool OVIsControlCharacter(long nCode)
{
    return (nCode >= 0 && nCode < 0x20) || (nCode >= 0x7F && nCode < 0xA0);
}

int OVCharacterColumns(long nCode)
{
    if (nCode < 0x20 || OVIsControlCharacter(nCode)) return 1;
    if (nCode < 0x7F) return 1;
    locale_t sUtf8 = Utf8Locale();
    int nWidth = -1;
    if (sUtf8 != static_cast<locale_t>(0)) {
        locale_t sOld = uselocale(sUtf8);
        nWidth = wcwidth(static_cast<wchar_t>(nCode));
        uselocale(sOld);
    }
    return nWidth < 0 ? 1 : nWidth;
}

std::string OVPrintableText(std::string_view sText, char cReplacement)
{
    std::string sShown;
    sShown.reserve(sText.size());
    for (std::size_t nAt = 0; nAt < sText.size();) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        if (sChar.nCode == OVNOTACHARACTER || OVIsControlCharacter(sChar.nCode))
            sShown += cReplacement;
        else
            sShown.append(sText.substr(nAt, sChar.nBytes));
        nAt += sChar.nBytes;
    }
    return sShown;
}

std::string OVScreenText(std::string_view sText)
{
    std::string sShown;
    sShown.reserve(sText.size());
    for (std::size_t nAt = 0; nAt < sText.size();) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        /* ESC, BEL and the rest of C0 are what start a terminal's sequences; written as two
           plain characters they say what was there and do nothing. */
        if (sChar.nCode >= 0 && sChar.nCode < 0x20) {
            sShown += '^';
            sShown += static_cast<char>(sChar.nCode + '@');
        } else if (sChar.nCode == 0x7F) {
            sShown += "^?";
        } else if (sChar.nCode == OVNOTACHARACTER || OVIsControlCharacter(sChar.nCode)) {
            sShown += '?';
        } else {
            sShown.append(sText.substr(nAt, sChar.nBytes));
        }
        nAt += sChar.nBytes;
    }
    return sShown;
}

int OVDisplayWidth(std::string_view sText)
{
    int nColumns = 0;
    for (std::size_t nAt = 0; nAt < sText.size();) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        nColumns += OVCharacterColumns(sChar.nCode);
        nAt += sChar.nBytes;
    }
    return nColumns;
}

std::size_t OVColumnsPrefix(std::string_view sText, int nColumns)
{
    int nUsed = 0;
    std::size_t nAt = 0;
    while (nAt < sText.size()) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        const int nWidth = OVCharacterColumns(sChar.nCode);
        /* Combining marks after the last character kept belong to it. */
        if (nUsed + nWidth > nColumns) break;
        nUsed += nWidth;
        nAt += sChar.nBytes;
    }
    return nAt;
}

std::size_t OVColumnsSuffix(std::string_view sText, int nColumns)
{
    int nLeft = OVDisplayWidth(sText);
    std::size_t nAt = 0;
    while (nAt < sText.size()) {
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        if (nLeft <= nColumns && !IsCombiningMark(sChar.nCode)) break;
        nLeft -= OVCharacterColumns(sChar.nCode);
        nAt += sChar.nBytes;
    }
    return nAt;
}

std::string OVFitColumns(std::string_view sText, int nColumns)
{
    if (nColumns <= 0) return std::string();
    if (OVDisplayWidth(sText) <= nColumns) return std::string(sText);
    std::string sCut(sText.substr(0, OVColumnsPrefix(sText, nColumns - 1)));
    sCut += '~';
    return sCut;
}

std::string OVPadColumns(std::string_view sText, int nColumns)
{
    std::string sFitted = OVFitColumns(sText, nColumns);
    const int nWidth = OVDisplayWidth(sFitted);
    if (nWidth < nColumns) sFitted.append(static_cast<std::size_t>(nColumns - nWidth), ' ');
    return sFitted;
}

std::size_t OVUtf8Prefix(std::string_view sText, std::size_t nMaxBytes)
{
    if (sText.size() <= nMaxBytes) return sText.size();
    /* A character that would be split is left out whole; a byte that is no character is
       cut like a character of one byte. */
    std::size_t nAt = 0;
    while (nAt < nMaxBytes) {
        const std::size_t nBytes = OVDecodeUtf8(sText, nAt).nBytes;
        if (nAt + nBytes > nMaxBytes) break;
        nAt += nBytes;
    }
    return nAt;
}

std::size_t OVCopyText(char *pszDest, std::size_t nDestSize, const char *pszSource) {
    if (pszDest == nullptr || nDestSize == 0) return 0;
    if (pszSource == nullptr) {
        pszDest[0] = '\0';
        return 0;
    }
    /* strnlen keeps a huge source from being scanned beyond what can matter. */
    std::string_view sSource(pszSource, strnlen(pszSource, nDestSize + 3));
    std::size_t nCopy = OVUtf8Prefix(sSource, nDestSize - 1);
    memmove(pszDest, pszSource, nCopy);
    pszDest[nCopy] = '\0';
    return nCopy;
}

namespace {

/* Rewrites an existing regular file in place: the way left when its folder does not let a
   temporary file be made beside it, but the file itself may be written. The old text is
   overwritten from the start and cut to the new length only once every byte is down; room
   for a longer text is reserved first, so a full disk fails before anything is touched.
   0, or errno. */
int RewriteInPlace(const char *pszPath, std::string_view sContent) {
    int fd = open(pszPath, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat sOld;
    if (fstat(fd, &sOld) != 0 || !S_ISREG(sOld.st_mode)) {
        int nError = errno != 0 ? errno : EINVAL;
        close(fd);
        return nError;
    }
    const off_t nNewSize = static_cast<off_t>(sContent.size());
    if (nNewSize > sOld.st_size) {
        int nError = posix_fallocate(fd, 0, nNewSize);
        if (nError != 0) {
            /* Whatever was reserved before the failure goes again; the text is untouched. */
            if (ftruncate(fd, sOld.st_size) != 0) { /* the old text is whole either way */ }
            close(fd);
            return nError;
        }
    }
    int nError = 0;
    const char *p = sContent.data();
    std::size_t nLeft = sContent.size();
    off_t nOffset = 0;
    while (nLeft > 0 && nError == 0) {
        ssize_t n = pwrite(fd, p, nLeft, nOffset);
        if (n < 0) {
            if (errno != EINTR) nError = errno;
            continue;
        }
        p += n;
        nOffset += n;
        nLeft -= static_cast<std::size_t>(n);
    }
    if (nError == 0 && ftruncate(fd, nNewSize) != 0) nError = errno;
    if (nError == 0 && fsync(fd) != 0 && errno != EINVAL) nError = errno;
    if (close(fd) != 0 && nError == 0) nError = errno;
    return nError;
}

} // namespace

int OVReplaceFile(const char *pszPath, std::string_view sContent, unsigned int nNewMode) {
    if (pszPath == nullptr || *pszPath == '\0') return EINVAL;
    std::string sTemp = std::string(pszPath) + ".XXXXXX";
    int fd = mkstemp(sTemp.data());
    if (fd >= 0) OVRegisterTempFile(sTemp.c_str()); /* removed by an ending on a signal */
    if (fd < 0) {
        int nError = errno;
        struct stat sOld;
        if ((nError == EACCES || nError == EPERM) && lstat(pszPath, &sOld) == 0 &&
            S_ISREG(sOld.st_mode))
            return RewriteInPlace(pszPath, sContent);
        return nError;
    }

    /* An existing file keeps its mode and owner; a new one gets nNewMode less the umask. */
    struct stat sOld;
    if (lstat(pszPath, &sOld) == 0 && S_ISREG(sOld.st_mode)) {
        if (sOld.st_uid != geteuid() || sOld.st_gid != getegid())
            if (fchown(fd, sOld.st_uid, sOld.st_gid) != 0) { /* best effort */ }
        fchmod(fd, sOld.st_mode & 07777);
    } else {
        mode_t nMask = umask(0);
        umask(nMask);
        fchmod(fd, nNewMode & ~nMask & 07777);
    }

    FILE *pFile = fdopen(fd, "w");
    if (pFile == nullptr) {
        int nError = errno;
        close(fd);
        unlink(sTemp.c_str());
        OVForgetTempFile(sTemp.c_str());
        return nError;
    }
    /* The first failure of write, flush, sync and close decides. */
    int nError = 0;
    auto Fail = [&nError](bool bFailed) {
        if (bFailed && nError == 0) nError = errno != 0 ? errno : EIO;
    };
    errno = 0;
    Fail(fwrite(sContent.data(), 1, sContent.size(), pFile) != sContent.size());
    Fail(fflush(pFile) != 0);
    Fail(fsync(fileno(pFile)) != 0 && errno != EINVAL);
    Fail(fclose(pFile) != 0);
    if (nError == 0) Fail(rename(sTemp.c_str(), pszPath) != 0);
    if (nError != 0) unlink(sTemp.c_str());
    OVForgetTempFile(sTemp.c_str());
    return nError;
}

int OVWriteAll(int fd, std::string_view sContent) {
    const char *p = sContent.data();
    std::size_t nLeft = sContent.size();
    while (nLeft > 0) {
        ssize_t n = write(fd, p, nLeft);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        nLeft -= static_cast<std::size_t>(n);
    }
    return 0;
}

namespace {

void AppendUtf8(std::string *psText, long nCode)
{
    if (nCode < 0x80) {
        *psText += static_cast<char>(nCode);
    } else if (nCode < 0x800) {
        *psText += static_cast<char>(0xC0 | (nCode >> 6));
        *psText += static_cast<char>(0x80 | (nCode & 0x3F));
    } else if (nCode < 0x10000) {
        *psText += static_cast<char>(0xE0 | (nCode >> 12));
        *psText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        *psText += static_cast<char>(0x80 | (nCode & 0x3F));
    } else {
        *psText += static_cast<char>(0xF0 | (nCode >> 18));
        *psText += static_cast<char>(0x80 | ((nCode >> 12) & 0x3F));
        *psText += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
        *psText += static_cast<char>(0x80 | (nCode & 0x3F));
    }
}

/* Bytes of the UTF-8 character a lead byte starts, 0 for a byte that starts none. */
std::size_t SequenceLength(unsigned char cLead)
{
    if (cLead < 0x80) return 1;
    if (cLead >= 0xC2 && cLead <= 0xDF) return 2;
    if (cLead >= 0xE0 && cLead <= 0xEF) return 3;
    if (cLead >= 0xF0 && cLead <= 0xF4) return 4;
    return 0;
}

} // namespace

std::string OVFoldCase(std::string_view sText)
{
    std::string sFolded;
    sFolded.reserve(sText.size());
    locale_t sUtf8 = Utf8Locale();
    for (std::size_t nAt = 0; nAt < sText.size();) {
        const unsigned char c = static_cast<unsigned char>(sText[nAt]);
        if (c < 0x80) {   // the common case, without a decode
            sFolded += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            ++nAt;
            continue;
        }
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sText, nAt);
        if (sChar.nCode == OVNOTACHARACTER || sUtf8 == static_cast<locale_t>(0)) {
            sFolded.append(sText.substr(nAt, sChar.nBytes));
        } else {
            const long nLower = static_cast<long>(towlower_l(static_cast<wint_t>(sChar.nCode), sUtf8));
            AppendUtf8(&sFolded, nLower);
        }
        nAt += sChar.nBytes;
    }
    return sFolded;
}

bool OVContainsFolded(std::string_view sText, std::string_view sFoldedPart)
{
    if (sFoldedPart.empty()) return true;
    if (sText.size() < sFoldedPart.size() / 2) return false;   // folding never halves a text
    return OVFoldCase(sText).find(sFoldedPart) != std::string::npos;
}

bool OVEditLine(OVLINEEDIT *psLine, int nKey)
{
    std::string &sText = psLine->sText;
    psLine->nCursor = std::min(psLine->nCursor, sText.size());
    std::size_t &nCursor = psLine->nCursor;
    // The start of the character before the cursor, and the end of the one under it.
    auto Before = [&] {
        std::size_t n = nCursor;
        while (n > 0 && (static_cast<unsigned char>(sText[--n]) & 0xC0) == 0x80) {}
        return n;
    };
    auto After = [&] { return nCursor + OVDecodeUtf8(sText, nCursor).nBytes; };

    if (nKey >= 0x80 && nKey <= 0xFF) {
        const unsigned char c = static_cast<unsigned char>(nKey);
        if ((c & 0xC0) != 0x80) psLine->sPending.clear();   // a new lead byte starts afresh
        if ((c & 0xC0) == 0x80 && psLine->sPending.empty()) return false;   // a stray byte
        psLine->sPending += static_cast<char>(c);
        const std::size_t nNeeded = SequenceLength(static_cast<unsigned char>(psLine->sPending[0]));
        if (nNeeded == 0) {
            psLine->sPending.clear();
            return false;
        }
        if (psLine->sPending.size() < nNeeded) return false;
        const std::string sCharacter = std::move(psLine->sPending);
        psLine->sPending.clear();
        const OVUTF8CHARACTER sChar = OVDecodeUtf8(sCharacter, 0);
        if (sChar.nCode == OVNOTACHARACTER || sChar.nBytes != sCharacter.size() ||
            OVIsControlCharacter(sChar.nCode) || sText.size() + sCharacter.size() > OVMAXLINEEDIT)
            return false;
        sText.insert(nCursor, sCharacter);
        nCursor += sCharacter.size();
        return true;
    }
    psLine->sPending.clear();
    if (nKey >= ' ' && nKey < 127) {
        if (sText.size() >= OVMAXLINEEDIT) return false;
        sText.insert(nCursor++, 1, static_cast<char>(nKey));
        return true;
    }
    if (nKey == OVKEY_BACKSPACE || nKey == 127 || nKey == 8) {
        if (nCursor == 0) return false;
        const std::size_t nFrom = Before();
        sText.erase(nFrom, nCursor - nFrom);
        nCursor = nFrom;
        return true;
    }
    if (nKey == OVKEY_DELETE) {
        if (nCursor >= sText.size()) return false;
        sText.erase(nCursor, After() - nCursor);
        return true;
    }
    if (nKey == OVKEY_LEFT) nCursor = Before();
    else if (nKey == OVKEY_RIGHT && nCursor < sText.size()) nCursor = After();
    else if (nKey == OVKEY_HOME) nCursor = 0;
    else if (nKey == OVKEY_END) nCursor = sText.size();
    return false;
}
