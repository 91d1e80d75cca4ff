// A port in memory: the board's side comes from a script, what the PC writes is kept. No threads
// and no clock: a read that finds nothing scripted returns at once as an empty read, as the
// serial port's does once its read limit has passed. For tests and fuzzing of the link.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "serial/byteport.h"
#include "serial/latencytimer.h"

class CMemoryPort : public CBytePort
{
public:
    // Called with the bytes of every Write, once they count as written: the board's answers to
    // them, queued through Send, Wait and LoseLine, count as owed for those bytes.
    using WriteHandler = std::function<void(const uint8_t* pBytes, int n)>;

    CMemoryPort() = default;
    CMemoryPort(const CMemoryPort&) = delete;
    CMemoryPort& operator=(const CMemoryPort&) = delete;

    int Write(const void* pBuffer, int n) override;
    int ReadChar(char* pch, int* pnCount) override;
    int Flush() override;
    void Close() override;
    const CLatencyTimer& GetLatencyTimer() const override { return m_latency; }
    std::chrono::milliseconds GetSettleTime() const override { return std::chrono::milliseconds(0); }

    // The script, read in order: a byte the board sends, reads that find nothing, and the line
    // lost (that read and everything after it fail, writes too).
    void Send(uint8_t byValue);
    void Wait(int nReads);
    void LoseLine();
    // The line goes at once: what was not read yet is lost, reads and writes fail from now on.
    void HangUp();
    void SetWriteHandler(WriteHandler fnHandler) { m_fnOnWrite = std::move(fnHandler); }

    const std::vector<uint8_t>& GetWritten() const { return m_vecWritten; }
    long long GetReadCount() const { return m_nReads; }   // failed ones too
    // The most bytes ever written whose answers had not all been read: measured after each Write.
    int GetMaxInFlight() const { return m_nMaxInFlight; }
    bool IsClosed() const { return m_bClosed; }
    bool IsLineLost() const { return m_bLost; }

private:
    enum class EEntry
    {
        Byte,
        Empty,
        Lost
    };
    struct CEntry
    {
        EEntry eKind;
        uint8_t byValue;
        int nReads;         // Empty: the reads it stands for
        long long nCause;   // the written byte (counted from 1) it answers; 0: scripted ahead
    };

    void Queue(EEntry eKind, uint8_t byValue, int nReads = 1);
    int CountInFlight() const;

    std::deque<CEntry> m_dequeScript;
    std::vector<uint8_t> m_vecWritten;
    WriteHandler m_fnOnWrite;
    CLatencyTimer m_latency;   // a plain line: no adapter
    long long m_nReads = 0;
    long long m_nCause = 0;   // answers queued now answer this written byte
    int m_nMaxInFlight = 0;
    bool m_bClosed = false;
    bool m_bLost = false;
};
