#include "sim/portregistration.h"

#include "serial/simportdirectory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
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

// Holds the lock of the directory itself: the registrations change only under it, so that
// discovery, which removes leftovers under it too, never sees a name half taken. Its holders
// keep it for a few file operations only.
class CDirectoryLock
{
public:
    explicit CDirectoryLock(const std::string& strDirectory)
        : m_hDirectory(open(strDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (m_hDirectory >= 0 && FlockRetry(m_hDirectory, LOCK_EX) != 0) {
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

bool IsSameFile(int hFile, const std::string& strPath)
{
    struct stat stFile
    {};
    struct stat stPath
    {};
    return fstat(hFile, &stFile) == 0 && lstat(strPath.c_str(), &stPath) == 0 &&
           stFile.st_dev == stPath.st_dev && stFile.st_ino == stPath.st_ino;
}

}   // namespace

CPortRegistration::~CPortRegistration()
{
    Unregister();
}

// Takes the name, replacing a leftover or another simulator's registration of it. Both files
// come into place by rename, the held lock before the link. False on failure, nothing left.
bool CPortRegistration::Register(const std::string& strName, const std::string& strDevice)
{
    Unregister();
    const std::string strDirectory = GetSimulatorPortDirectory();
    if (!MakePrivateDirectory(strDirectory))
        return false;
    const CDirectoryLock directoryLock(strDirectory);
    if (!directoryLock.IsHeld())
        return false;
    const std::string strLink = strDirectory + "/" + strName;
    const std::string strLock = strLink + ".lock";
    const std::string strSuffix = ".tmp" + std::to_string(getpid());
    const std::string strTempLink = strDirectory + "/." + strName + strSuffix;
    const std::string strTempLock = strDirectory + "/." + strName + ".lock" + strSuffix;
    unlink(strTempLink.c_str());
    unlink(strTempLock.c_str());

    const int hLock = open(strTempLock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (hLock < 0)
        return false;
    // A file nobody else has opened yet: the lock is free.
    if (FlockRetry(hLock, LOCK_EX | LOCK_NB) != 0 || rename(strTempLock.c_str(), strLock.c_str()) != 0) {
        unlink(strTempLock.c_str());
        close(hLock);
        return false;
    }
    if (symlink(strDevice.c_str(), strTempLink.c_str()) != 0 ||
        rename(strTempLink.c_str(), strLink.c_str()) != 0) {
        unlink(strTempLink.c_str());
        unlink(strLock.c_str());
        close(hLock);
        return false;
    }
    m_strLink = strLink;
    m_strLock = strLock;
    m_strDevice = strDevice;
    m_hLock = hLock;
    return true;
}

// Removes the link and the lock file only while they are still ours (another simulator may
// have taken the name), then lets the lock go.
void CPortRegistration::Unregister()
{
    if (m_hLock < 0)
        return;
    {
        const CDirectoryLock directoryLock(GetSimulatorPortDirectory());
        char szTarget[4096];
        const ssize_t n = readlink(m_strLink.c_str(), szTarget, sizeof szTarget - 1);
        if (n >= 0 && m_strDevice == std::string(szTarget, static_cast<size_t>(n)))
            unlink(m_strLink.c_str());
        if (IsSameFile(m_hLock, m_strLock))
            unlink(m_strLock.c_str());
    }
    close(m_hLock);
    m_hLock = -1;
}
