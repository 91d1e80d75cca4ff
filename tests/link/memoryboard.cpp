#include "memoryboard.h"

std::unique_ptr<CMemoryPort> CMemoryBoard::Open()
{
    m_cpu.Reset();
    auto pPort = std::make_unique<CMemoryPort>();
    m_pPort = pPort.get();
    pPort->SetWriteHandler([this](const uint8_t* pBytes, int n) {
        for (int i = 0; i < n; ++i)
            OnByte(pBytes[i]);
    });
    return pPort;
}

std::vector<uint8_t> CMemoryBoard::GetWireBytes(bool bToBoard) const
{
    std::vector<uint8_t> vecBytes;
    for (const CWireByte& wire : m_vecWireLog)
        if (wire.bToBoard == bToBoard)
            vecBytes.push_back(wire.byValue);
    return vecBytes;
}

void CMemoryBoard::OnByte(uint8_t byValue)
{
    m_vecWireLog.push_back({true, byValue});
    CCpuActions actions;
    m_cpu.OnByte(byValue, actions);
    for (uint8_t byAnswer : actions.vecAnswer) {
        m_vecWireLog.push_back({false, byAnswer});
        m_pPort->Send(byAnswer);
    }
    if (actions.bDelayed) {
        m_vecWireLog.push_back({false, actions.byDelayed});
        m_pPort->Wait(actions.nDelayMs / kReadLimitMs);
        m_pPort->Send(actions.byDelayed);
    }
    // As a pulled cable: what the link has not read yet is lost with the line.
    if (actions.bHangUp)
        m_pPort->HangUp();
}
