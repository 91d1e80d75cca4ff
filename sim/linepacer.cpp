#include "sim/linepacer.h"

#include <algorithm>

void CLinePacer::SetBaudRate(int nBaud)
{
    m_nBaud = nBaud > 0 ? nBaud : 0;
    m_nByteNs = m_nBaud > 0 ? (kBitsPerByte * 1000000000LL + m_nBaud / 2) / m_nBaud : 0;
}

void CLinePacer::Reset()
{
    m_nRxFreeNs = 0;
    m_nTxFreeNs = 0;
}

int64_t CLinePacer::ReceiveTime(int64_t nSeenNs)
{
    if (m_nByteNs == 0)
        return nSeenNs;
    return ReceiveFrom(nSeenNs - m_nInboundNs);
}

int64_t CLinePacer::ReceiveFrom(int64_t nStartNs)
{
    if (m_nByteNs == 0)
        return nStartNs;
    m_nRxFreeNs = std::max(nStartNs, m_nRxFreeNs) + m_nByteNs;
    return m_nRxFreeNs;
}

int64_t CLinePacer::SendTime(int64_t nReadyNs)
{
    if (m_nByteNs == 0)
        return nReadyNs;
    m_nTxFreeNs = std::max(nReadyNs, m_nTxFreeNs) + m_nByteNs;
    return m_nTxFreeNs;
}
