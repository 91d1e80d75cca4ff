// An auto-reset event shared by two threads: Set leaves it signalled until one Wait takes
// the signal. Set and the Wait that takes it are ordered (release / acquire), so what was
// written before Set is visible after Wait. On POSIX the signal itself is an atomic flag and
// the kernel object (an eventfd) is only touched when a waiter actually sleeps; on Windows it
// is an unnamed Win32 event, so two ports never share one.
#pragma once

#include <atomic>
#include <string>

class CAutoResetEvent
{
public:
    static constexpr int kInfinite = -1;

    // pszName is for debugging only; the events are never shared between processes.
    explicit CAutoResetEvent(const char* pszName);
    ~CAutoResetEvent();
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    // Creates the kernel object, not signalled. 0 / -1.
    int Create();
    void Close();
    bool IsCreated() const;
    const std::string& GetName() const { return m_strName; }

    // Signals the event (a second Set before a Wait changes nothing). 0 / -1.
    int Set();
    // 0 when the signal was taken, 1 when nTimeoutMs passed first, -1 on failure.
    int Wait(int nTimeoutMs = kInfinite);

private:
#ifdef _WIN32
    std::string m_strName;
    void* m_hEvent;   // the Win32 event, nullptr when not created
#else
    bool TryTake();

    std::string m_strName;
    int m_hEvent;   // eventfd, written only when a waiter may be asleep on it
    std::atomic<bool> m_bSignalled;
    std::atomic<int> m_nSleepers;   // waiters between announcing themselves and leaving Wait
#endif
};
