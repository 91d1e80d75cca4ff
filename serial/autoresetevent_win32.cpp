#include "serial/autoresetevent.h"

#include <windows.h>

CAutoResetEvent::CAutoResetEvent(const char* pszName)
    : m_strName(pszName != nullptr ? pszName : ""), m_hEvent(nullptr)
{}

CAutoResetEvent::~CAutoResetEvent()
{
    Close();
}

int CAutoResetEvent::Create()
{
    if (m_hEvent != nullptr)
        return -1;
    // Unnamed: a named event lives in the session's namespace, and a second open port (another
    // board, another program) would get the same object and take this port's signals.
    m_hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return m_hEvent != nullptr ? 0 : -1;
}

bool CAutoResetEvent::IsCreated() const
{
    return m_hEvent != nullptr;
}

void CAutoResetEvent::Close()
{
    if (m_hEvent == nullptr)
        return;
    CloseHandle(m_hEvent);
    m_hEvent = nullptr;
}

int CAutoResetEvent::Set()
{
    if (m_hEvent == nullptr)
        return -1;
    return SetEvent(m_hEvent) ? 0 : -1;
}

int CAutoResetEvent::Wait(int nTimeoutMs)
{
    if (m_hEvent == nullptr)
        return -1;
    const DWORD dwLimit = nTimeoutMs < 0 ? INFINITE : static_cast<DWORD>(nTimeoutMs);
    switch (WaitForSingleObject(m_hEvent, dwLimit)) {
    case WAIT_OBJECT_0:
        return 0;
    case WAIT_TIMEOUT:
        return 1;
    default:
        return -1;
    }
}
