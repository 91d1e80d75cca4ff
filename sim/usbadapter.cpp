#include "sim/usbadapter.h"

namespace
{
constexpr int64_t kNsPerMs = 1000000;
}

void CUsbAdapter::SetLatency(int nMs)
{
    m_nLatencyMs = nMs > 0 ? nMs : 0;
}

void CUsbAdapter::Reset()
{
    m_nHandOverNs = 0;
    m_nHeld = 0;
}

int64_t CUsbAdapter::ToBoard(int64_t nWrittenNs) const
{
    if (m_nLatencyMs == 0)
        return nWrittenNs;
    return (nWrittenNs / kFrameNs + 1) * kFrameNs;
}

int64_t CUsbAdapter::ToPc(int64_t nLineNs, size_t nUnsent, size_t& nRetime)
{
    nRetime = 0;
    if (m_nLatencyMs == 0)
        return nLineNs;
    // A batch whose timer ran out, that is full or that the PC has partly read is gone: start anew.
    if (m_nHeld == 0 || m_nHeld >= kPacketBytes || nLineNs >= m_nHandOverNs || nUnsent < m_nHeld) {
        m_nHeld = 1;
        m_nHandOverNs = nLineNs + m_nLatencyMs * kNsPerMs;
        return m_nHandOverNs;
    }
    if (++m_nHeld == kPacketBytes) {
        // A full packet leaves at once, with everything held before it.
        m_nHandOverNs = nLineNs;
        nRetime = m_nHeld - 1;
    }
    return m_nHandOverNs;
}
