// A USB serial adapter between the PC and the board's line, as FTDI-style chips behave.
// Towards the PC it holds bytes until its latency timer runs out (counted from the first byte
// held) or a USB packet's worth has piled up; towards the board a byte waits for the next USB
// frame. Times are absolute CLOCK_MONOTONIC nanoseconds; latency 0 means no adapter at all.
#pragma once

#include <cstddef>
#include <cstdint>

class CUsbAdapter
{
public:
    static constexpr int64_t kFrameNs = 1000000;   // full-speed USB: one frame per millisecond
    static constexpr size_t kPacketBytes = 62;     // a 64-byte packet less the chip's 2 status bytes

    void SetLatency(int nMs);   // 0: no adapter, bytes pass at once
    int GetLatency() const { return m_nLatencyMs; }
    void Reset();   // nothing held

    // A byte the PC wrote at nWrittenNs goes on the board's line from the returned time on.
    int64_t ToBoard(int64_t nWrittenNs) const;
    // A byte that fully arrived from the board's line at nLineNs reaches the PC at the returned
    // time. nUnsent: bytes towards the PC not handed over yet, this one excluded (a batch already
    // handed over is never joined). nRetime: that many bytes just before it leave with it now.
    int64_t ToPc(int64_t nLineNs, size_t nUnsent, size_t& nRetime);

private:
    int m_nLatencyMs = 0;
    int64_t m_nHandOverNs = 0;   // when the batch being held goes to the PC
    size_t m_nHeld = 0;          // bytes in that batch
};
