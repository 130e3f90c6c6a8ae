/*
 * tmpfile.cpp - files of fixed, guessable names in shared folders such as /tmp.
 *
 * A command that writes into "/tmp/<fixed pattern>" through a shell redirection or scp
 * follows whatever sits at that name. So the program makes the file itself first, in a way
 * that never follows a link, and only then lets a command write into it. Once the file is
 * ours, the sticky bit of /tmp keeps other users from replacing it.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/* Why the thing at a taken name may not be used, or nullptr when it may. */
const char *RefusalReason(const struct stat &sTaken) {
    if (S_ISLNK(sTaken.st_mode)) return "a symbolic link";
    if (!S_ISREG(sTaken.st_mode)) return "not a regular file";
    if (sTaken.st_uid != geteuid()) return "owned by another user";
    if (sTaken.st_nlink != 1) return "a file with more than one link";
    return nullptr;
}

} // namespace

int OVClaimTempFile(const char *pszPath) {
    OVTraceStart("OVClaimTempFile", "pszPath: %s.", pszPath ? pszPath : "(null)");
    if (OVCheckPointers("OVClaimTempFile", {{"pszPath", pszPath}}) != OVRC_OK)
        return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);

    int fd = open(pszPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        /* Taken: only a plain file of our own with a single link is emptied and reused. */
        struct stat sTaken;
        const char *pszReason = lstat(pszPath, &sTaken) != 0 ? strerror(errno)
                                                              : RefusalReason(sTaken);
        if (pszReason != nullptr) {
            OVLog(OVLOG_ERROR, "OVClaimTempFile: Refusing to write %s: it is %s.", pszPath,
                  pszReason);
            return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);
        }
        fd = open(pszPath, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat sOpened;
        /* The file may have been swapped between the look and the open. */
        if (fd >= 0 && (fstat(fd, &sOpened) != 0 || sOpened.st_ino != sTaken.st_ino ||
                        sOpened.st_dev != sTaken.st_dev || RefusalReason(sOpened) != nullptr)) {
            close(fd);
            OVLog(OVLOG_ERROR, "OVClaimTempFile: Refusing to write %s: it changed while it "
                  "was opened.", pszPath);
            return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);
        }
        if (fd >= 0 && (ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0)) {
            int nError = errno;
            close(fd);
            errno = nError;
            fd = -1;
        }
    }
    if (fd < 0) {
        OVLog(OVLOG_ERROR, "OVClaimTempFile: Unable to create %s: %s.", pszPath,
              strerror(errno));
        return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);
    }
    close(fd);
    return OVTraceEnd("OVClaimTempFile", OVRC_OK);
}
