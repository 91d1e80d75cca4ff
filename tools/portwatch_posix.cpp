#include "tools/portwatch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "tools/interrupt.h"

namespace
{
std::string FolderOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? "." : nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

std::string NameOf(const std::string& strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

// There, and may be opened (a new device node gets its group from udev a moment after it appears).
bool IsThere(const std::string& strPath)
{
    return access(strPath.c_str(), R_OK | W_OK) == 0;
}
}   // namespace

CPortWatch::~CPortWatch()
{
    Close();
}

void CPortWatch::Close()
{
    if (m_hEvents >= 0)
        close(m_hEvents);
    m_hEvents = -1;
    m_mapFolders.clear();
}

void CPortWatch::AddWatches()
{
    // A folder that went with its last port (/dev/serial/by-id) is watched again once it is back:
    // its parent tells when.
    constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
    for (const std::string& strPath : m_vecPaths)
        for (const std::string& strFolder : {FolderOf(strPath), FolderOf(FolderOf(strPath))}) {
            const int nWatch = inotify_add_watch(m_hEvents, strFolder.c_str(), kEvents);
            if (nWatch >= 0)
                m_mapFolders[nWatch] = strFolder;
        }
}

int CPortWatch::Watch(const std::vector<std::string>& vecPaths, std::string& strError)
{
    Close();
    m_hEvents = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_hEvents < 0) {
        strError = std::string("cannot watch the ports: ") + std::strerror(errno);
        return -1;
    }
    m_vecPaths = vecPaths;
    m_vecGone.assign(vecPaths.size(), false);
    AddWatches();
    return 0;
}

int CPortWatch::WaitGoneAndBack(std::string& strError)
{
    // Ctrl-C is let in only while ppoll waits, so it cannot come between the look at the flag and the wait.
    sigset_t setInterrupt;
    sigset_t setBefore;
    sigemptyset(&setInterrupt);
    sigaddset(&setInterrupt, SIGINT);
    pthread_sigmask(SIG_BLOCK, &setInterrupt, &setBefore);
    sigset_t setWait = setBefore;
    sigdelset(&setWait, SIGINT);
    int nResult = 0;
    while (true) {
        if (IsInterrupted()) {
            nResult = -1;
            break;
        }
        bool bAllBack = true;
        for (size_t i = 0; i < m_vecPaths.size(); ++i) {
            const bool bThere = IsThere(m_vecPaths[i]);
            if (!bThere)
                m_vecGone[i] = true;
            bAllBack = bAllBack && m_vecGone[i] && bThere;
        }
        if (bAllBack)
            break;
        struct pollfd pfd = {m_hEvents, POLLIN, 0};
        if (ppoll(&pfd, 1, nullptr, &setWait) < 0) {
            if (errno == EINTR)
                continue;
            strError = std::string("cannot watch the ports: ") + std::strerror(errno);
            nResult = -1;
            break;
        }
        // A port removed and made again between two looks still went: its events say so.
        alignas(struct inotify_event) char byEvents[4096];
        ssize_t n;
        while ((n = read(m_hEvents, byEvents, sizeof byEvents)) > 0) {
            for (ssize_t nAt = 0; nAt < n;) {
                const auto* pEvent = reinterpret_cast<const struct inotify_event*>(byEvents + nAt);
                nAt += static_cast<ssize_t>(sizeof(struct inotify_event) + pEvent->len);
                if (pEvent->len == 0 || (pEvent->mask & (IN_DELETE | IN_MOVED_FROM)) == 0)
                    continue;
                const auto it = m_mapFolders.find(pEvent->wd);
                for (size_t i = 0; i < m_vecPaths.size(); ++i)
                    if (it != m_mapFolders.end() && it->second == FolderOf(m_vecPaths[i]) &&
                        NameOf(m_vecPaths[i]) == pEvent->name)
                        m_vecGone[i] = true;
            }
        }
        AddWatches();
    }
    pthread_sigmask(SIG_SETMASK, &setBefore, nullptr);
    return nResult;
}
