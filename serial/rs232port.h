// One open RS-232 port with a background reader thread: timed one-byte reads,
// blocking writes. Results are 0 / -1 (Write: the number of bytes written).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "serial/byteport.h"
#include "serial/latencytimer.h"

class CAutoResetEvent;

class CRS232Port : public CBytePort
{
public:
    CRS232Port();
    ~CRS232Port() override;
    CRS232Port(const CRS232Port&) = delete;
    CRS232Port& operator=(const CRS232Port&) = delete;

    // Opens and configures the device (raw 8N1, no flow control, DTR and RTS off) and
    // starts the reader thread. -1 at the first failing step; Close cleans up.
    int Open(const char* pszPort, int nBaudRate);
    // Writes n bytes and waits until they have left; the number written, or -1.
    int Write(const void* pBuffer, int n) override;
    // One byte within about 500 ms: 0 with *pnCount 1 (byte valid) or 0 (nothing came), or -1.
    int ReadChar(char* pch, int* pnCount) override;
    // Waits until everything written has been transmitted; discards nothing. 0 / -1.
    int Flush() override;
    // Stops the reader thread, closes both events and the device.
    void Close() override;
    // A board still sending has stopped by then.
    std::chrono::milliseconds GetSettleTime() const override;

    // The system's reason for the last failed Open: the error number of the step that failed
    // (errno on POSIX, GetLastError on Windows) and its text; 0 and empty after a successful
    // Open. Kept until the next Open, also across Close. A port held by someone else gives the
    // busy code (EBUSY; ERROR_ACCESS_DENIED on Windows) and "the port is in use by another
    // program"; a rate the port can't run gives the invalid-argument code (EINVAL;
    // ERROR_INVALID_PARAMETER) and "unsupported speed N".
    int GetLastSystemError() const;
    std::string GetLastSystemErrorText() const;
    // The USB adapter's latency timer as the last Open found it (see serial/latencytimer.h).
    const CLatencyTimer& GetLatencyTimer() const override { return m_latency; }

    static int ReadThreadProc(CRS232Port* pPort);

#ifndef _WIN32
    // The one call through which Open drives the modem control lines, shaped like the
    // platform's (POSIX: ioctl with TIOCMBIC / TIOCMBIS and the TIOCM_ line bits): 0, or -1
    // with errno set. A pseudo-terminal has no modem lines, so tests watch the request here.
    // Null puts the real call back. Affects every port of the process. (Windows sets the lines
    // through the device control block of Open.)
    using ModemLineCall = int (*)(int hComm, unsigned long nRequest, int* pnLines);
    static void SetModemLineCall(ModemLineCall pfnCall);
#endif

private:
    // The platform's handles: rs232port_posix.cpp and rs232port_win32.cpp.
#ifdef _WIN32
    using DeviceHandle = void*;   // HANDLE, INVALID_HANDLE_VALUE when not open
    using ThreadHandle = void*;   // HANDLE of the reader thread, INVALID_HANDLE_VALUE when none
    using WakeHandle = void*;     // manual-reset event, nullptr when none
#else
    using DeviceHandle = int;   // descriptor, -1 when not open
    using ThreadHandle = std::thread;
    using WakeHandle = int;   // eventfd, -1 when none
#endif

    bool IsOpen() const;
    void ReadLoop();
    int ReadTimed(char* pch, std::uint32_t* pdwCount, int nLimitMs);
    int OpenDevice(int nBaudRate);
    int StartReadThread();
    void StopReadThread();
    void CloseDevice();
    int FailOpen(int nError, const std::string& strText = std::string());   // notes the reason; -1

    char m_szPort[256];
    DeviceHandle m_hComm;
    std::unique_ptr<CAutoResetEvent> m_hReadComplete;   // "RS232ReadComplete": reader -> foreground
    std::unique_ptr<CAutoResetEvent> m_hStartRead;      // "RS232StartRead": foreground -> reader
    ThreadHandle m_hReadThread;
    // Mailbox of the last read request: written by the reader thread before it signals
    // m_hReadComplete, read by the foreground after its wait on it returned.
    char m_chRead;
    std::uint32_t m_dwReadCount;
    int m_bReadError;

    WakeHandle m_hStopRead;          // wakes the reader thread out of a device wait on Close
    std::atomic<bool> m_bStopRead;   // the reader thread leaves its loop at the next turn
    std::atomic<bool>
        m_bDeviceLost;   // hang-up, device error or a failed hand-over: reads and writes fail at once
    int m_nLastError;    // reason of the last failed Open
    CLatencyTimer m_latency;
    std::string m_strLastError;

#ifndef _WIN32
    struct SavedLineSettings;   // the device's settings as Open found them, put back by Close

    void NoteDeviceError(int nErrno);
    void WaitForLine(int nBytes);

    bool m_bExclusive;                                 // TIOCEXCL is ours to clear on Close
    std::unique_ptr<SavedLineSettings> m_pSavedLine;   // set once the device is ours, until Close
    // Line time: the kernel takes bytes long before the line has sent them, so Write keeps
    // account of when the line will be free and returns only once its last byte is on the way.
    std::chrono::nanoseconds m_nsByteTime;                // ten bit times at the open speed
    std::chrono::steady_clock::time_point m_tpLineFree;   // when everything written has been sent
#endif
};
