#include "serial/memoryport.h"

int CMemoryPort::Write(const void* pBuffer, int n)
{
    if (m_bClosed || m_bLost || pBuffer == nullptr || n < 0)
        return -1;
    const uint8_t* pBytes = static_cast<const uint8_t*>(pBuffer);
    m_vecWritten.insert(m_vecWritten.end(), pBytes, pBytes + n);
    if (m_fnOnWrite) {
        // Byte by byte, so that each answer is owed for the byte that caused it.
        for (int i = 0; i < n && !m_bLost; ++i) {
            m_nCause = static_cast<long long>(m_vecWritten.size()) - n + i + 1;
            m_fnOnWrite(pBytes + i, 1);
        }
        m_nCause = 0;
        const int nInFlight = CountInFlight();
        if (nInFlight > m_nMaxInFlight)
            m_nMaxInFlight = nInFlight;
    }
    return n;
}

int CMemoryPort::ReadChar(char* pch, int* pnCount)
{
    if (pch == nullptr || pnCount == nullptr)
        return -1;
    *pnCount = 0;
    ++m_nReads;
    if (m_bClosed || m_bLost)
        return -1;
    if (m_dequeScript.empty())
        return 0;
    CEntry& entry = m_dequeScript.front();
    switch (entry.eKind) {
    case EEntry::Byte:
        *pch = static_cast<char>(entry.byValue);
        *pnCount = 1;
        m_dequeScript.pop_front();
        return 0;
    case EEntry::Empty:
        if (--entry.nReads == 0)
            m_dequeScript.pop_front();
        return 0;
    case EEntry::Lost:
        HangUp();
        return -1;
    }
    return -1;
}

int CMemoryPort::Flush()
{
    return m_bClosed || m_bLost ? -1 : 0;
}

void CMemoryPort::Close()
{
    m_bClosed = true;
}

void CMemoryPort::Send(uint8_t byValue)
{
    Queue(EEntry::Byte, byValue);
}

void CMemoryPort::Wait(int nReads)
{
    if (nReads > 0)
        Queue(EEntry::Empty, 0, nReads);
}

void CMemoryPort::LoseLine()
{
    Queue(EEntry::Lost, 0);
}

void CMemoryPort::HangUp()
{
    m_dequeScript.clear();
    m_bLost = true;
}

void CMemoryPort::Queue(EEntry eKind, uint8_t byValue, int nReads)
{
    m_dequeScript.push_back(CEntry{eKind, byValue, nReads, m_nCause});
}

int CMemoryPort::CountInFlight() const
{
    // Answers are queued in the order of the bytes they answer: count each cause once.
    int nCount = 0;
    long long nLast = 0;
    for (const CEntry& entry : m_dequeScript)
        if (entry.nCause != 0 && entry.nCause != nLast) {
            nLast = entry.nCause;
            ++nCount;
        }
    return nCount;
}
