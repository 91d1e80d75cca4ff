// One open RS-232 port with a background reader thread: timed one-byte reads,
// blocking writes. Results are 0 / -1 (Write: the number of bytes written).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

class CAutoResetEvent;

class CRS232Port
{
public:
    CRS232Port();
    ~CRS232Port();
    CRS232Port(const CRS232Port&) = delete;
    CRS232Port& operator=(const CRS232Port&) = delete;

    // Opens and configures the device (raw 8N1, no flow control, DTR and RTS off) and
    // starts the reader thread. -1 at the first failing step; Close cleans up.
    int Open(const char* pszPort, int nBaudRate);
    // Writes n bytes and waits until they have left; the number written, or -1.
    int Write(const void* pBuffer, int n);
    // One byte within about 500 ms: 0 with *pnCount 1 (byte valid) or 0 (nothing came), or -1.
    int ReadChar(char* pch, int* pnCount);
    // Waits until everything written has been transmitted; discards nothing. 0 / -1.
    int Flush();
    // Stops the reader thread, closes both events and the device.
    void Close();

    static int ReadThreadProc(CRS232Port* pPort);

    // The system's code and text for the last failing system call of Open: errno and
    // strerror on POSIX, GetLastError and its message on Windows; 0 and empty when none.
    int GetLastSystemError() const;
    std::string GetLastSystemErrorText() const;

private:
#ifdef _WIN32
    // Windows: the device is opened for overlapped I/O; the reader thread is a Win32 thread
    // that ends by itself when Close asks it to.
    bool IsOpen() const;
    void ReadLoop();
    int ReadTimed(char* pch, std::uint32_t* pdwCount, int nLimitMs);
    int OpenDevice(int nBaudRate);
    int StartReadThread();
    void StopReadThread();
    int FailWithSystemError();   // keeps GetLastError for GetLastSystemError; -1

    char m_szPort[256];
    void* m_hComm;                                      // INVALID_HANDLE_VALUE when not open
    std::unique_ptr<CAutoResetEvent> m_hReadComplete;   // "RS232ReadComplete": reader -> foreground
    std::unique_ptr<CAutoResetEvent> m_hStartRead;      // "RS232StartRead": foreground -> reader
    void* m_hReadThread;                                // INVALID_HANDLE_VALUE when not running
    char m_chRead;
    std::uint32_t m_dwReadCount;
    int m_bReadError;

    void* m_hStopRead;                 // manual-reset event: ends the reader's device wait on Close
    std::atomic<bool> m_bStopRead;     // the reader thread leaves its loop at the next turn
    std::atomic<bool> m_bDeviceLost;   // a failed hand-over: reads and writes fail at once
    unsigned long m_dwSystemError;
#else
    bool IsOpen() const;
    void ReadLoop();
    int ReadTimed(char* pch, std::uint32_t* pdwCount, int nLimitMs);
    int OpenDevice(int nBaudRate);
    int StartReadThread();
    void StopReadThread();
    void CloseDevice();
    void NoteDeviceError(int nErrno);
    void WaitForLine(int nBytes);

    char m_szPort[256];
    int m_hComm;                                        // device descriptor, -1 when not open
    std::unique_ptr<CAutoResetEvent> m_hReadComplete;   // "RS232ReadComplete": reader -> foreground
    std::unique_ptr<CAutoResetEvent> m_hStartRead;      // "RS232StartRead": foreground -> reader
    std::thread m_hReadThread;
    // Mailbox of the last read request: written by the reader thread before it signals
    // m_hReadComplete, read by the foreground after its wait on it returned.
    char m_chRead;
    std::uint32_t m_dwReadCount;
    int m_bReadError;

    int m_hStopRead;                 // eventfd: wakes the reader thread out of a device wait on Close
    std::atomic<bool> m_bStopRead;   // the reader thread leaves its loop at the next turn
    std::atomic<bool>
        m_bDeviceLost;   // hang-up, device error or a failed hand-over: reads and writes fail at once
    bool m_bExclusive;   // TIOCEXCL is ours to clear on Close
    // Line time: the kernel takes bytes long before the line has sent them, so Write keeps
    // account of when the line will be free and returns only once its last byte is on the way.
    std::chrono::nanoseconds m_nsByteTime;                // ten bit times at the open speed
    std::chrono::steady_clock::time_point m_tpLineFree;   // when everything written has been sent
#endif
};
