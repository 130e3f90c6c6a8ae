/*
 * tmpfile.cpp - files of fixed, guessable names in shared folders such as /tmp.
 *
 * A command that writes into "/tmp/<fixed pattern>" through a shell redirection or scp
 * follows whatever sits at that name. So the program makes the file itself first, in a way
 * that never follows a link, and only then lets a command write into it. Once the file is
 * ours, the sticky bit of /tmp keeps other users from replacing it.
 *
 * The program's own scratch files are also listed while they exist, so that an abnormal
 * end (a signal, the fatal path) can remove them. The list is a fixed table that the signal
 * path only reads and unlinks from.
 */
#include "orviklib.h"
#include "services_internal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int OVMAXOWNTEMPFILES = 16;
constexpr std::size_t OVOWNTEMPPATHSIZE = 1024; /* a save file beside a long config path */

/* One scratch file to remove on an abnormal end. The path is complete before bInUse is
   set and bInUse is cleared before the path changes, so the signal path never reads a
   half-written name. */
struct OWNTEMPFILE {
    volatile sig_atomic_t bInUse;
    char szPath[OVOWNTEMPPATHSIZE];
};

OWNTEMPFILE asOwnTempFile[OVMAXOWNTEMPFILES];

void SetInUse(OWNTEMPFILE &sEntry, bool bInUse) {
    std::atomic_signal_fence(std::memory_order_seq_cst);
    sEntry.bInUse = bInUse ? 1 : 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

} // namespace

const char *OVRefusedEntry(const struct stat &sTaken) {
    if (S_ISLNK(sTaken.st_mode)) return "a symbolic link";
    if (!S_ISREG(sTaken.st_mode)) return "not a regular file";
    if (sTaken.st_uid != geteuid()) return "another user's file";
    if (sTaken.st_nlink != 1) return "a file with more than one link";
    return nullptr;
}

int OVRegisterTempFile(const char *pszPath) {
    if (OVCheckPointers("OVRegisterTempFile", {{"pszPath", pszPath}}) != OVRC_OK)
        return OVRC_ERROR;
    if (strlen(pszPath) >= OVOWNTEMPPATHSIZE) {
        OVLog(OVLOG_ERROR, "OVRegisterTempFile: Path longer than %d characters is not kept "
              "for removal: %.64s...", static_cast<int>(OVOWNTEMPPATHSIZE - 1), pszPath);
        return OVRC_ERROR;
    }
    OWNTEMPFILE *psFree = nullptr;
    for (OWNTEMPFILE &sEntry : asOwnTempFile) {
        if (sEntry.bInUse && strcmp(sEntry.szPath, pszPath) == 0) return OVRC_OK;
        if (!sEntry.bInUse && psFree == nullptr) psFree = &sEntry;
    }
    if (psFree == nullptr) {
        OVLog(OVLOG_ERROR, "OVRegisterTempFile: No room to keep %s for removal; %d files are "
              "kept already.", pszPath, OVMAXOWNTEMPFILES);
        return OVRC_ERROR;
    }
    memcpy(psFree->szPath, pszPath, strlen(pszPath) + 1);
    SetInUse(*psFree, true);
    return OVRC_OK;
}

void OVForgetTempFile(const char *pszPath) {
    if (pszPath == nullptr) return;
    for (OWNTEMPFILE &sEntry : asOwnTempFile)
        if (sEntry.bInUse && strcmp(sEntry.szPath, pszPath) == 0) SetInUse(sEntry, false);
}

void OVRemoveTempFiles() {
    for (OWNTEMPFILE &sEntry : asOwnTempFile) {
        if (!sEntry.bInUse) continue;
        unlink(sEntry.szPath);
        sEntry.bInUse = 0;
    }
}

OVTempFileGuard::OVTempFileGuard(const char *pszPath) {
    if (pszPath == nullptr) return;
    /* A name the table has no room for is still removed here, only not by a signal. */
    sPath = pszPath;
    OVRegisterTempFile(pszPath);
}

OVTempFileGuard::~OVTempFileGuard() {
    if (sPath.empty()) return;
    /* Unlinked before it is forgotten, so that an ending in between finds it listed. */
    unlink(sPath.c_str());
    OVForgetTempFile(sPath.c_str());
}

void OVTempFileGuard::Release() {
    if (!sPath.empty()) OVForgetTempFile(sPath.c_str());
    sPath.clear();
}

int OVClaimTempFile(const char *pszPath) {
    OVTraceStart("OVClaimTempFile", "pszPath: %s.", pszPath ? pszPath : "(null)");
    if (OVCheckPointers("OVClaimTempFile", {{"pszPath", pszPath}}) != OVRC_OK)
        return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);

    int fd = open(pszPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        /* Taken: only a plain file of our own with a single link is emptied and reused. */
        struct stat sTaken;
        const char *pszReason = lstat(pszPath, &sTaken) != 0 ? strerror(errno)
                                                              : OVRefusedEntry(sTaken);
        if (pszReason != nullptr) {
            OVLog(OVLOG_ERROR, "OVClaimTempFile: Refusing to write %s: it is %s.", pszPath,
                  pszReason);
            return OVTraceEnd("OVClaimTempFile", OVRC_ERROR);
        }
        fd = open(pszPath, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat sOpened;
        /* The file may have been swapped between the look and the open. */
        if (fd >= 0 && (fstat(fd, &sOpened) != 0 || sOpened.st_ino != sTaken.st_ino ||
                        sOpened.st_dev != sTaken.st_dev || OVRefusedEntry(sOpened) != nullptr)) {
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
