/*
 * text.cpp - bounded copies into fixed-size record fields, and whole-file replacement.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

/* Bytes of the sequence a lead byte opens; 1 for ASCII and stray bytes. */
std::size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0) return 4;
    if (c >= 0xE0) return 3;
    if (c >= 0xC0) return 2;
    return 1;
}

} // namespace

std::size_t OVUtf8Prefix(std::string_view sText, std::size_t nMaxBytes) {
    if (sText.size() <= nMaxBytes) return sText.size();
    /* Find where the character holding the first excluded byte starts; a sequence that
       would be split is left out whole. Invalid bytes are cut like single bytes. */
    std::size_t nStart = nMaxBytes;
    while (nStart > 0 && nMaxBytes - nStart < 3 &&
           IsContinuationByte(static_cast<unsigned char>(sText[nStart])))
        nStart--;
    unsigned char cLead = static_cast<unsigned char>(sText[nStart]);
    if (nStart < nMaxBytes && cLead >= 0xC0 && nStart + SequenceLength(cLead) > nMaxBytes)
        return nStart;
    return nMaxBytes;
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
