// The simulated board's processor behind an in-memory port: each byte the link writes reaches it
// at once, its answers wait in the port's script, and an answer the processor delays comes after
// the empty reads that the serial port's read limit gives such a delay. No pty, no thread, no clock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "serial/memoryport.h"
#include "sim/boardcpu.h"

class CMemoryBoard
{
public:
    static constexpr int kReadLimitMs = 500;   // what one empty read stands for

    // A port for a new session, handed to the link's Init; the board is reset first, as a
    // serial port closed and opened again resets it. The board answers through the last port
    // opened, while its link holds it.
    std::unique_ptr<CMemoryPort> Open();
    CMemoryPort* GetPort() const { return m_pPort; }

    void SetFaults(const CBoardFaults& faults) { m_cpu.SetFaults(faults); }
    void SetEraseTimes(int nSectorMs, int nChipMs) { m_cpu.SetEraseTimes(nSectorMs, nChipMs); }
    const std::vector<CWireByte>& GetWireLog() const { return m_vecWireLog; }
    void ClearWireLog() { m_vecWireLog.clear(); }
    // Bytes that crossed the wire in one direction since the log was cleared.
    std::vector<uint8_t> GetWireBytes(bool bToBoard) const;
    EBoardStage GetStage() const { return m_cpu.GetStage(); }
    const std::vector<uint8_t>& GetFlash() const { return m_cpu.GetFlash().GetBytes(); }

private:
    void OnByte(uint8_t byValue);

    CBoardCpu m_cpu;
    CMemoryPort* m_pPort = nullptr;
    std::vector<CWireByte> m_vecWireLog;
};
