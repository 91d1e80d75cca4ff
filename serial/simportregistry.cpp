#include "serial/simportregistry.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
const char kLockSuffix[] = ".lock";

// mkdir -p, new directories private; then the directory must be ours and closed to others.
bool MakePrivateDirectory(const std::string& strPath)
{
    for (size_t nAt = 1; nAt <= strPath.size(); ++nAt) {
        if (nAt < strPath.size() && strPath[nAt] != '/')
            continue;
        const std::string strPart = strPath.substr(0, nAt);
        if (mkdir(strPart.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st
    {};
    return lstat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

int FlockRetry(int hFile, int nOperation)
{
    int nResult;
    do
        nResult = flock(hFile, nOperation);
    while (nResult != 0 && errno == EINTR);
    return nResult;
}

// Holds the lock of the directory itself, waiting for it or only when it is free at once.
// Registering holds it for a few file operations only.
class CDirectoryLock
{
public:
    CDirectoryLock(const std::string& strDirectory, bool bWait)
        : m_hDirectory(open(strDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_hDirectory >= 0 && FlockRetry(m_hDirectory, bWait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
            close(m_hDirectory);
            m_hDirectory = -1;
        }
    }
    ~CDirectoryLock()
    {
        if (m_hDirectory >= 0)
            close(m_hDirectory);   // drops the lock
    }
    CDirectoryLock(const CDirectoryLock&) = delete;
    CDirectoryLock& operator=(const CDirectoryLock&) = delete;
    bool IsHeld() const { return m_hDirectory >= 0; }

private:
    int m_hDirectory;
};

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsSameFile(int hFile, const std::string& strPath)
{
    struct stat stFile
    {};
    struct stat stPath
    {};
    return fstat(hFile, &stFile) == 0 && lstat(strPath.c_str(), &stPath) == 0 && SameFile(stFile, stPath);
}

// Removes a registration whose lock nobody holds (hLock: its lock file, open; -1: none) when
// the directory lock is free at once. Under it a simulator can't be halfway through taking the
// name: the files are still those looked at, unless one finished taking it just before.
void RemoveLeftover(const std::string& strDirectory, const std::string& strLink, const std::string& strLock,
                    int hLock)
{
    const CDirectoryLock directoryLock(strDirectory, false);
    if (!directoryLock.IsHeld())
        return;
    struct stat stLocked
    {};
    struct stat stNow
    {};
    const bool bLockUnchanged =
        hLock >= 0
            ? fstat(hLock, &stLocked) == 0 && stat(strLock.c_str(), &stNow) == 0 && SameFile(stLocked, stNow)
            : lstat(strLock.c_str(), &stNow) != 0 && errno == ENOENT;
    if (bLockUnchanged) {
        unlink(strLink.c_str());
        if (hLock >= 0)
            unlink(strLock.c_str());
    }
}

}   // namespace

std::string CSimPortRegistry::GetDefaultDirectory()
{
    const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pszRuntime != nullptr && pszRuntime[0] == '/')
        return std::string(pszRuntime) + "/kelvora/ports";
    return "/tmp/kelvora-" + std::to_string(static_cast<unsigned long>(getuid())) + "/ports";
}

CSimPortRegistry::CSimPortRegistry(std::string strDirectory) : m_strDirectory(std::move(strDirectory)) {}

std::string CSimPortRegistry::GetLinkPath(const std::string& strName) const
{
    return m_strDirectory + "/" + strName;
}

std::string CSimPortRegistry::GetLockPath(const std::string& strName) const
{
    return GetLinkPath(strName) + kLockSuffix;
}

int CSimPortRegistry::Register(const std::string& strName, const std::string& strDevice, int& hLock) const
{
    hLock = -1;
    if (!MakePrivateDirectory(m_strDirectory))
        return -1;
    const CDirectoryLock directoryLock(m_strDirectory, true);
    if (!directoryLock.IsHeld())
        return -1;
    const std::string strLink = GetLinkPath(strName);
    const std::string strLock = GetLockPath(strName);
    // Dotted, so discovery skips them while they are made.
    const std::string strSuffix = ".tmp" + std::to_string(getpid());
    const std::string strTempLink = m_strDirectory + "/." + strName + strSuffix;
    const std::string strTempLock = m_strDirectory + "/." + strName + kLockSuffix + strSuffix;
    unlink(strTempLink.c_str());
    unlink(strTempLock.c_str());

    const int hNewLock = open(strTempLock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (hNewLock < 0)
        return -1;
    // A file nobody else has opened yet: the lock is free.
    if (FlockRetry(hNewLock, LOCK_EX | LOCK_NB) != 0 || rename(strTempLock.c_str(), strLock.c_str()) != 0) {
        unlink(strTempLock.c_str());
        close(hNewLock);
        return -1;
    }
    if (symlink(strDevice.c_str(), strTempLink.c_str()) != 0 ||
        rename(strTempLink.c_str(), strLink.c_str()) != 0) {
        unlink(strTempLink.c_str());
        unlink(strLock.c_str());
        close(hNewLock);
        return -1;
    }
    hLock = hNewLock;
    return 0;
}

void CSimPortRegistry::Unregister(const std::string& strName, const std::string& strDevice, int hLock) const
{
    if (hLock < 0)
        return;
    {
        const CDirectoryLock directoryLock(m_strDirectory, true);
        const std::string strLink = GetLinkPath(strName);
        const std::string strLock = GetLockPath(strName);
        char szTarget[4096];
        const ssize_t n = readlink(strLink.c_str(), szTarget, sizeof szTarget - 1);
        if (n >= 0 && strDevice == std::string(szTarget, static_cast<size_t>(n)))
            unlink(strLink.c_str());
        if (IsSameFile(hLock, strLock))
            unlink(strLock.c_str());
    }
    close(hLock);
}

bool CSimPortRegistry::IsLive(const std::string& strName) const
{
    const std::string strLink = GetLinkPath(strName);
    struct stat st
    {};
    // Only links count: the lock files and other files beside them are never a registration.
    if (strName.empty() || strName[0] == '.' || lstat(strLink.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return false;
    const std::string strLock = GetLockPath(strName);
    const int hLock = open(strLock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (hLock < 0 && errno != ENOENT)
        return false;   // can't tell: not offered, not touched
    if (hLock >= 0 && flock(hLock, LOCK_SH | LOCK_NB) != 0) {
        const bool bHeld = errno == EWOULDBLOCK;   // its simulator runs
        close(hLock);
        return bHeld && stat(strLink.c_str(), &st) == 0;
    }
    RemoveLeftover(m_strDirectory, strLink, strLock, hLock);
    if (hLock >= 0)
        close(hLock);
    return false;
}
