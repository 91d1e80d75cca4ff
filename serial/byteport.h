// The byte traffic the target link needs from a port: write, a timed read of one byte, flush,
// close, and the adapter's latency timer. CRS232Port is the serial device behind it;
// CMemoryPort answers from a script, for tests and fuzzing.
#pragma once

#include <chrono>

struct CLatencyTimer;

class CBytePort
{
public:
    virtual ~CBytePort();

    // Writes n bytes and waits until they have left; the number written, or -1.
    virtual int Write(const void* pBuffer, int n) = 0;
    // One byte within the port's read limit: 0 with *pnCount 1 (byte valid) or 0 (nothing came), or -1.
    virtual int ReadChar(char* pch, int* pnCount) = 0;
    // Waits until everything written has been transmitted; discards nothing. 0 / -1.
    virtual int Flush() = 0;
    virtual void Close() = 0;
    virtual const CLatencyTimer& GetLatencyTimer() const = 0;
    // How long a closed port needs before the same line may be opened again.
    virtual std::chrono::milliseconds GetSettleTime() const = 0;
};
