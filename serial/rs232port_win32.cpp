#include "serial/rs232port.h"

#include "serial/autoresetevent.h"

#include <cstring>
#include <string>
#include <windows.h>

namespace
{
constexpr DWORD kReadIntervalMs = 500;          // device limits: a one-byte read ends by itself
constexpr DWORD kReadMsPerByte = 1;             // after 500 + 1 ms
constexpr DWORD kReadConstantMs = 500;          //
constexpr DWORD kWriteMsPerByte = 10;           // a write of n bytes gives up after
constexpr DWORD kWriteConstantMs = 1000;        // 10 * n + 1000 ms
constexpr DWORD kReaderStackSize = 64 * 1024;   // the loop needs next to nothing

// One manual-reset event for one overlapped transfer, closed on every way out.
class COverlapped
{
public:
    COverlapped()
    {
        std::memset(&m_ov, 0, sizeof m_ov);
        m_ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~COverlapped()
    {
        if (m_ov.hEvent != nullptr)
            CloseHandle(m_ov.hEvent);
    }
    COverlapped(const COverlapped&) = delete;
    COverlapped& operator=(const COverlapped&) = delete;

    bool IsCreated() const { return m_ov.hEvent != nullptr; }
    OVERLAPPED* Get() { return &m_ov; }

private:
    OVERLAPPED m_ov;
};

// A transfer ended by the device's own time limit: Windows completes it with the bytes moved so
// far, Wine reports ERROR_TIMEOUT beside them. Either way the count is the result, not a failure
// (for a read, the device's 501 ms can end it just before our 500 ms wait does).
bool IsDeviceTimeout(DWORD dwError)
{
    return dwError == ERROR_TIMEOUT || dwError == WAIT_TIMEOUT;
}

std::string UnsupportedSpeedText(int nBaudRate)
{
    return "unsupported speed " + std::to_string(nBaudRate);
}

// The system's English text for an error code, without its final full stop and line end.
std::string SystemMessage(DWORD dwError)
{
    char szText[512];
    const DWORD dwFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD dwLength = FormatMessageA(dwFlags, nullptr, dwError, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                    szText, sizeof szText, nullptr);
    if (dwLength == 0)   // no English messages installed: the user's language
        dwLength = FormatMessageA(dwFlags, nullptr, dwError, 0, szText, sizeof szText, nullptr);
    std::string strText(szText, dwLength);
    while (!strText.empty() && (strText.back() == '\r' || strText.back() == '\n' || strText.back() == ' ' ||
                                strText.back() == '.'))
        strText.pop_back();
    return strText.empty() ? "error " + std::to_string(dwError) : strText;
}

DWORD WINAPI ReadThreadEntry(LPVOID pParam)
{
    return static_cast<DWORD>(CRS232Port::ReadThreadProc(static_cast<CRS232Port*>(pParam)));
}
}   // namespace

CRS232Port::CRS232Port()
    : m_szPort{}, m_hComm(INVALID_HANDLE_VALUE), m_hReadThread(INVALID_HANDLE_VALUE), m_chRead(0),
      m_dwReadCount(0), m_bReadError(0), m_hStopRead(nullptr), m_bStopRead(false), m_bDeviceLost(false),
      m_nLastError(0)
{}

CRS232Port::~CRS232Port()
{
    Close();
}

int CRS232Port::Open(const char* pszPort, int nBaudRate)
{
    if (m_hReadThread != INVALID_HANDLE_VALUE)
        return FailOpen(ERROR_BUSY, "the port is already open");
    Close();   // what a failed Open left behind
    m_nLastError = 0;
    m_strLastError.clear();
    m_latency = CLatencyTimer();
    m_bDeviceLost.store(false);

    if (pszPort == nullptr)
        return FailOpen(ERROR_INVALID_PARAMETER);
    if (nBaudRate <= 0)
        return FailOpen(ERROR_INVALID_PARAMETER, UnsupportedSpeedText(nBaudRate));
    const std::size_t nLength = strnlen(pszPort, sizeof m_szPort);
    if (nLength == sizeof m_szPort)
        return FailOpen(ERROR_FILENAME_EXCED_RANGE);   // no room for the terminator: refuse to truncate
    std::memcpy(m_szPort, pszPort, nLength + 1);

    m_hReadComplete = std::make_unique<CAutoResetEvent>("RS232ReadComplete");
    if (m_hReadComplete->Create() != 0)
        return FailOpen(static_cast<int>(GetLastError()));
    m_hStartRead = std::make_unique<CAutoResetEvent>("RS232StartRead");
    if (m_hStartRead->Create() != 0)
        return FailOpen(static_cast<int>(GetLastError()));

    m_hComm = CreateFileA(m_szPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (m_hComm == INVALID_HANDLE_VALUE) {
        const DWORD dwError = GetLastError();
        // A COM port is opened by one program at a time; the others are refused access.
        return dwError == ERROR_ACCESS_DENIED || dwError == ERROR_SHARING_VIOLATION
                   ? FailOpen(static_cast<int>(dwError), "the port is in use by another program")
                   : FailOpen(static_cast<int>(dwError));
    }
    // A file or NUL opens as well; only a communications device has a line state.
    DCB dcbProbe;
    std::memset(&dcbProbe, 0, sizeof dcbProbe);
    dcbProbe.DCBlength = sizeof dcbProbe;
    if (!GetCommState(m_hComm, &dcbProbe))
        return FailOpen(static_cast<int>(GetLastError()), "not a serial port");
    if (OpenDevice(nBaudRate) != 0)
        return -1;
    if (StartReadThread() != 0)
        return -1;
    m_latency = LowerLatencyTimer(m_szPort);
    return 0;
}

int CRS232Port::OpenDevice(int nBaudRate)
{
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    GetCommState(m_hComm, &dcb);   // the fields not set below keep the driver's values
    dcb.BaudRate = static_cast<DWORD>(nBaudRate);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(m_hComm, &dcb)) {
        const DWORD dwError = GetLastError();
        return dwError == ERROR_INVALID_PARAMETER
                   ? FailOpen(static_cast<int>(dwError), UnsupportedSpeedText(nBaudRate))
                   : FailOpen(static_cast<int>(dwError));
    }

    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    GetCommTimeouts(m_hComm, &timeouts);
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = kReadMsPerByte;
    timeouts.ReadTotalTimeoutConstant = kReadConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kWriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = kWriteConstantMs;
    if (!SetCommTimeouts(m_hComm, &timeouts))
        return FailOpen(static_cast<int>(GetLastError()));
    return 0;
}

int CRS232Port::StartReadThread()
{
    m_hStopRead = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_hStopRead == nullptr)
        return FailOpen(static_cast<int>(GetLastError()));
    m_bStopRead.store(false);
    HANDLE hThread = CreateThread(nullptr, kReaderStackSize, ReadThreadEntry, this, 0, nullptr);
    if (hThread == nullptr)
        return FailOpen(static_cast<int>(GetLastError()));
    m_hReadThread = hThread;
    return 0;
}

int CRS232Port::Write(const void* pBuffer, int n)
{
    if (!IsOpen() || n < 0 || (pBuffer == nullptr && n > 0))
        return -1;
    COverlapped ov;
    if (!ov.IsCreated())
        return -1;
    DWORD dwWritten = 0;
    if (WriteFile(m_hComm, pBuffer, static_cast<DWORD>(n), &dwWritten, ov.Get()))
        return static_cast<int>(dwWritten);
    if (GetLastError() != ERROR_IO_PENDING)
        return -1;
    // The device's write limit (10 ms per byte plus 1000 ms) ends the transfer, so no limit here.
    if (WaitForSingleObject(ov.Get()->hEvent, INFINITE) != WAIT_OBJECT_0)
        return -1;
    if (!GetOverlappedResult(m_hComm, ov.Get(), &dwWritten, FALSE) && !IsDeviceTimeout(GetLastError()))
        return -1;
    return static_cast<int>(dwWritten);
}

int CRS232Port::Flush()
{
    if (!IsOpen())
        return -1;
    return FlushFileBuffers(m_hComm) ? 0 : -1;
}

bool CRS232Port::IsOpen() const
{
    // Only a fully opened port serves: a failed Open may have left the device half set up.
    return m_hComm != INVALID_HANDLE_VALUE && m_hReadThread != INVALID_HANDLE_VALUE && !m_bDeviceLost.load();
}

void CRS232Port::Close()
{
    RestoreLatencyTimer(m_latency);
    m_latency.bLowered = false;
    StopReadThread();
    m_hReadComplete.reset();
    m_hStartRead.reset();
    CloseDevice();
}

void CRS232Port::CloseDevice()
{
    if (m_hComm == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(m_hComm);
    m_hComm = INVALID_HANDLE_VALUE;
}

void CRS232Port::StopReadThread()
{
    // The thread is asked to end instead of being terminated: a thread killed inside ReadFile
    // leaves its read outstanding on the device and its event never closed.
    if (m_hReadThread != INVALID_HANDLE_VALUE) {
        m_bStopRead.store(true);
        SetEvent(m_hStopRead);   // out of a device wait
        m_hStartRead->Set();     // out of the wait for a request
        WaitForSingleObject(m_hReadThread, INFINITE);
        CloseHandle(m_hReadThread);
        m_hReadThread = INVALID_HANDLE_VALUE;
    }
    if (m_hStopRead != nullptr) {
        CloseHandle(m_hStopRead);
        m_hStopRead = nullptr;
    }
}

int CRS232Port::FailOpen(int nError, const std::string& strText)
{
    m_nLastError = nError;
    m_strLastError = strText.empty() ? SystemMessage(static_cast<DWORD>(nError)) : strText;
    return -1;
}

int CRS232Port::ReadTimed(char* pch, std::uint32_t* pdwCount, int nLimitMs)
{
    *pdwCount = 0;
    if (m_hComm == INVALID_HANDLE_VALUE)
        return -1;
    COverlapped ov;
    if (!ov.IsCreated())
        return -1;
    DWORD dwRead = 0;
    if (ReadFile(m_hComm, pch, 1, &dwRead, ov.Get())) {
        *pdwCount = dwRead;
        return 0;
    }
    if (GetLastError() != ERROR_IO_PENDING)
        return -1;
    const HANDLE waits[2] = {ov.Get()->hEvent, m_hStopRead};
    const DWORD dwWait = WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(nLimitMs));
    if (dwWait != WAIT_OBJECT_0) {
        // Limit reached, or Close: the read must be settled before its event and buffer go.
        // A byte that came in meanwhile is delivered now, so none is lost or reported twice.
        CancelIo(m_hComm);
        if (GetOverlappedResult(m_hComm, ov.Get(), &dwRead, TRUE))
            *pdwCount = dwRead;
        return dwWait == WAIT_TIMEOUT || dwWait == WAIT_OBJECT_0 + 1 ? 0 : -1;
    }
    if (!GetOverlappedResult(m_hComm, ov.Get(), &dwRead, FALSE) && !IsDeviceTimeout(GetLastError()))
        return -1;
    *pdwCount = dwRead;
    return 0;
}
