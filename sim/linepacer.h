// Serial line timing of the simulated board: 10 bit times per byte (start, 8 data, stop),
// each direction its own line. Times are absolute CLOCK_MONOTONIC nanoseconds, so the
// simulator's late wake-ups never push later bytes back.
#pragma once

#include <cstdint>

class CLinePacer
{
public:
    static constexpr int kBitsPerByte = 10;   // 8N1

    void SetBaudRate(int nBaud);   // 0: unpaced, bytes take no time
    int GetBaudRate() const { return m_nBaud; }
    void Reset();   // both lines idle
    // How long a byte the PC writes takes through the pseudo-terminal until the board sees it.
    // A cable has no such hop; it is taken off the time seen so that it isn't charged to the PC.
    void SetInboundLatency(int64_t nLatencyNs) { m_nInboundNs = nLatencyNs > 0 ? nLatencyNs : 0; }
    int64_t GetInboundLatency() const { return m_nInboundNs; }

    // A byte the PC wrote, seen by the board at nSeenNs, has fully arrived at the returned time.
    int64_t ReceiveTime(int64_t nSeenNs);
    // A byte that may start on the line at nStartNs (already line time, no pty hop in it) has fully
    // arrived at the returned time.
    int64_t ReceiveFrom(int64_t nStartNs);
    // An answer ready at nReadyNs has fully gone out (its last bit reached the PC) at the returned time.
    int64_t SendTime(int64_t nReadyNs);

private:
    int m_nBaud = 0;
    int64_t m_nByteNs = 0;
    int64_t m_nRxFreeNs = 0;
    int64_t m_nTxFreeNs = 0;
    int64_t m_nInboundNs = 0;
};
