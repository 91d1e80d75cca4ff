// The parts of the serial port that both platforms share: the read request and the reader
// thread's loop, which serve one read at a time through the two auto-reset events, and the
// reason of a failed Open.
#include "serial/rs232port.h"

#include "serial/autoresetevent.h"

namespace
{
constexpr int kReadLimitMs = 500;   // one read request waits this long for its byte
// After Close, so that a board still sending has stopped before the same device is opened again.
constexpr std::chrono::milliseconds kSettleTime(100);
}   // namespace

std::chrono::milliseconds CRS232Port::GetSettleTime() const
{
    return kSettleTime;
}

int CRS232Port::GetLastSystemError() const
{
    return m_nLastError;
}

std::string CRS232Port::GetLastSystemErrorText() const
{
    return m_strLastError;
}

// One request to the reader thread and its answer.
int CRS232Port::ReadChar(char* pch, int* pnCount)
{
    if (pch == nullptr || pnCount == nullptr)
        return -1;
    *pnCount = 0;
    if (!IsOpen())
        return -1;
    if (m_hStartRead->Set() != 0)
        return -1;
    if (m_hReadComplete->Wait() != 0) {
        // An answer still to come would be taken for the next request's: serve no more.
        m_bDeviceLost.store(true);
        return -1;
    }
    *pch = m_chRead;
    *pnCount = static_cast<int>(m_dwReadCount);
    return m_bReadError != 0 ? -1 : 0;
}

int CRS232Port::ReadThreadProc(CRS232Port* pPort)
{
    if (pPort != nullptr)
        pPort->ReadLoop();
    return 0;
}

void CRS232Port::ReadLoop()
{
    for (;;) {
        const int nWait = m_hStartRead->Wait();
        if (m_bStopRead.load())
            return;
        if (nWait != 0) {
            // A failing wait would fail again: answer with an error once and serve no more,
            // rather than answer requests nobody made.
            m_bDeviceLost.store(true);
            m_dwReadCount = 0;
            m_bReadError = 1;
            m_hReadComplete->Set();
            return;
        }
        m_bReadError = ReadTimed(&m_chRead, &m_dwReadCount, kReadLimitMs) != 0 ? 1 : 0;
        m_hReadComplete->Set();
    }
}
