#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Follows the symbolic links at the end of sPath to the file they lead to
// (which need not exist). False with errno set when the links cannot be read
// or form a loop.
bool FollowLinks(std::string& sPath) {
    for (int nHops = 0; nHops < 40; ++nHops) {
        struct stat st;
        if (lstat(sPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true; // no such file yet, or not a link: this is the file
        char target[PATH_MAX];
        const ssize_t nLength = readlink(sPath.c_str(), target, sizeof target);
        if (nLength < 0)
            return false;
        if (static_cast<size_t>(nLength) == sizeof target) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::string sTarget(target, static_cast<size_t>(nLength));
        // A relative link is relative to the folder that holds it.
        const size_t nSlash = sPath.rfind('/');
        if (sTarget[0] != '/' && nSlash != std::string::npos)
            sTarget = sPath.substr(0, nSlash + 1) + sTarget;
        sPath = sTarget;
    }
    errno = ELOOP;
    return false;
}

// Creates a new file beside sPath that did not exist before, open for writing;
// -1 (errno set) when none can be made. Its name is returned in sTempPath.
int CreateTempBeside(const std::string& sPath, mode_t nMode, std::string& sTempPath) {
    static std::atomic<unsigned> s_nCounter{0};
    for (int nAttempt = 0; nAttempt < 100; ++nAttempt) {
        sTempPath = sPath + ".tmp-" + std::to_string(static_cast<long>(getpid())) + "-" +
                    std::to_string(s_nCounter++);
        const int nFile = open(sTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, nMode);
        if (nFile >= 0 || errno != EEXIST)
            return nFile;
    }
    return -1;
}

int Failed(int nError) {
    errno = nError;
    return nError;
}

} // namespace

int WriteFileAtomically(const std::string& sPath, const std::function<bool(std::FILE*)>& write) {
    std::string sTarget = sPath;
    if (!FollowLinks(sTarget))
        return Failed(errno);
    struct stat target;
    const bool bExists = stat(sTarget.c_str(), &target) == 0;
    if (bExists && !S_ISREG(target.st_mode))
        return Failed(S_ISDIR(target.st_mode) ? EISDIR : EINVAL);

    // A file that replaces an existing one is private until it has the old
    // file's mode; a new one gets the mode fopen would give it.
    std::string sTempPath;
    const int nFile = CreateTempBeside(sTarget, bExists ? 0600 : 0666, sTempPath);
    if (nFile < 0)
        return Failed(errno);
    bool bOk = true;
    if (bExists) {
        if (fchown(nFile, target.st_uid, target.st_gid) != 0) {
            // Only a privileged process may give a file away: the new file
            // stays ours then, with the old file's mode all the same.
        }
        bOk = fchmod(nFile, target.st_mode & 07777) == 0;
    }
    std::FILE* pFile = bOk ? fdopen(nFile, "wb") : nullptr;
    int nError = 0;
    if (!pFile) {
        nError = errno;
        close(nFile);
    } else {
        errno = 0;
        bOk = write(pFile) && std::fflush(pFile) == 0 && fsync(fileno(pFile)) == 0;
        nError = bOk ? 0 : (errno != 0 ? errno : EIO);
        if (std::fclose(pFile) != 0 && nError == 0)
            nError = errno != 0 ? errno : EIO;
        if (nError == 0 && std::rename(sTempPath.c_str(), sTarget.c_str()) != 0)
            nError = errno;
    }
    if (nError == 0)
        return 0;
    unlink(sTempPath.c_str());
    return Failed(nError);
}

int WriteFileAtomically(const std::string& sPath, const void* pBytes, size_t nBytes) {
    return WriteFileAtomically(sPath, [&](std::FILE* pFile) {
        return nBytes == 0 || std::fwrite(pBytes, 1, nBytes, pFile) == nBytes;
    });
}
