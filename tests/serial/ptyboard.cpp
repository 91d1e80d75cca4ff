#include "ptyboard.h"

#include "serial/deadline.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

CPtyBoard::CPtyBoard() : m_hMaster(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
{
    if (m_hMaster < 0 || grantpt(m_hMaster) != 0 || unlockpt(m_hMaster) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_strPath = ptsname(m_hMaster);
}

CPtyBoard::~CPtyBoard()
{
    Hangup();
}

void CPtyBoard::Send(const std::string& strBytes)
{
    if (write(m_hMaster, strBytes.data(), strBytes.size()) != static_cast<ssize_t>(strBytes.size()))
        throw std::runtime_error("board write failed");
}

std::string CPtyBoard::Receive(int n, int nLimitMs)
{
    const CDeadline deadline(nLimitMs);
    std::string strBytes;
    while (static_cast<int>(strBytes.size()) < n) {
        pollfd pfd = {m_hMaster, POLLIN, 0};
        const int nReady = poll(&pfd, 1, deadline.RemainingMs());
        if (nReady == 0 || (nReady < 0 && errno != EINTR))
            break;
        char buf[256];
        const ssize_t nGot = read(m_hMaster, buf, std::min<std::size_t>(sizeof buf, n - strBytes.size()));
        if (nGot > 0)
            strBytes.append(buf, static_cast<std::size_t>(nGot));
    }
    return strBytes;
}

void CPtyBoard::Hangup()
{
    if (m_hMaster >= 0)
        close(m_hMaster);
    m_hMaster = -1;
}

int ProbeExclusive(const std::string& strPath)
{
    // Root passes TIOCEXCL at open and must ask; anyone else is turned away with EBUSY.
    const int hFile = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (hFile < 0)
        return errno == EBUSY ? 1 : -1;
    int nExclusive = 0;
    const int nResult = ioctl(hFile, TIOCGEXCL, &nExclusive);
    close(hFile);
    return nResult != 0 ? -1 : (nExclusive != 0 ? 1 : 0);
}

int CountProcEntries(const char* pszDir)
{
    DIR* pDir = opendir((std::string("/proc/self/") + pszDir).c_str());
    if (pDir == nullptr)
        return -1;
    int nCount = 0;
    while (const dirent* pEntry = readdir(pDir))
        nCount += pEntry->d_name[0] != '.';
    closedir(pDir);
    return nCount - (std::string(pszDir) == "fd");   // the directory stream's own descriptor
}
