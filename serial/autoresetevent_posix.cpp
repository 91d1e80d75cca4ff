#include "serial/autoresetevent.h"

#include "serial/deadline.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

CAutoResetEvent::CAutoResetEvent(const char* pszName)
    : m_strName(pszName != nullptr ? pszName : ""), m_hEvent(-1), m_bSignalled(false), m_nSleepers(0)
{}

CAutoResetEvent::~CAutoResetEvent()
{
    Close();
}

int CAutoResetEvent::Create()
{
    if (m_hEvent >= 0)
        return -1;
    m_hEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_hEvent < 0)
        return -1;
    m_bSignalled.store(false);
    return 0;
}

bool CAutoResetEvent::IsCreated() const
{
    return m_hEvent >= 0;
}

void CAutoResetEvent::Close()
{
    if (m_hEvent < 0)
        return;
    close(m_hEvent);
    m_hEvent = -1;
}

int CAutoResetEvent::Set()
{
    if (m_hEvent < 0)
        return -1;
    // Sequentially consistent with the waiter's fetch_add and exchange: either the waiter
    // sees the flag before it sleeps, or this sees the sleeper and wakes it.
    m_bSignalled.store(true, std::memory_order_seq_cst);
    if (m_nSleepers.load(std::memory_order_seq_cst) == 0)
        return 0;
    const std::uint64_t nOne = 1;
    for (;;) {
        if (write(m_hEvent, &nOne, sizeof nOne) == static_cast<ssize_t>(sizeof nOne))
            return 0;
        if (errno == EINTR)
            continue;
        // EAGAIN: the count is already near its maximum, the sleeper wakes anyway.
        return errno == EAGAIN ? 0 : -1;
    }
}

bool CAutoResetEvent::TryTake()
{
    return m_bSignalled.load(std::memory_order_relaxed) &&
           m_bSignalled.exchange(false, std::memory_order_seq_cst);
}

int CAutoResetEvent::Wait(int nTimeoutMs)
{
    if (m_hEvent < 0)
        return -1;
    if (TryTake())
        return 0;

    const CDeadline deadline(nTimeoutMs);
    m_nSleepers.fetch_add(1, std::memory_order_seq_cst);
    int nResult;
    for (;;) {
        if (TryTake()) {
            nResult = 0;
            break;
        }
        const int nLeftMs = deadline.RemainingMs();
        if (nLeftMs == 0) {
            nResult = 1;
            break;
        }
        pollfd pfd = {m_hEvent, POLLIN, 0};
        const int nReady = poll(&pfd, 1, nLeftMs);
        if (nReady < 0 && errno != EINTR) {
            nResult = -1;
            break;
        }
        if (nReady > 0) {
            // Clears the wake-up count; one left over from an earlier Set costs one extra turn.
            std::uint64_t nCount;
            (void)!read(m_hEvent, &nCount, sizeof nCount);
        }
    }
    m_nSleepers.fetch_sub(1, std::memory_order_seq_cst);
    return nResult;
}
