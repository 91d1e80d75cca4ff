#include "serial/rs232port.h"

#include "serial/autoresetevent.h"
#include "serial/deadline.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace
{
constexpr long long kWriteMsPerByte = 10;      // write limit: 10 ms per byte ...
constexpr long long kWriteConstantMs = 1000;   // ... plus 1000 ms
constexpr long long kBitsPerByte = 10;         // start bit, 8 data bits, stop bit

struct BaudRateEntry
{
    int nRate;
    speed_t nSpeed;
};

constexpr BaudRateEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool LookUpSpeed(int nRate, speed_t* pSpeed)
{
    for (const BaudRateEntry& entry : kBaudRates) {
        if (entry.nRate == nRate) {
            *pSpeed = entry.nSpeed;
            return true;
        }
    }
    return false;
}

// Errors that mean the device itself is gone (unplugged adapter, hung-up line).
bool IsDeviceGone(int nErrno)
{
    return nErrno == EIO || nErrno == ENODEV || nErrno == ENXIO;
}

// A pseudo-terminal and some adapters have no modem lines or serial driver settings.
bool IsUnsupportedIoctl(int nErrno)
{
    return nErrno == ENOTTY || nErrno == EINVAL;
}

int IoctlRetry(int hFile, unsigned long nRequest, void* pArg)
{
    int nResult;
    do
        nResult = ioctl(hFile, nRequest, pArg);
    while (nResult < 0 && errno == EINTR);
    return nResult;
}
}   // namespace

struct CRS232Port::SavedLineSettings
{
    termios tio;
};

namespace
{
int RealModemLineCall(int hComm, unsigned long nRequest, int* pnLines)
{
    return ioctl(hComm, nRequest, pnLines);
}

std::atomic<CRS232Port::ModemLineCall> g_pfnModemLineCall(&RealModemLineCall);

int ModemLineCallRetry(int hComm, unsigned long nRequest, int* pnLines)
{
    const CRS232Port::ModemLineCall pfnCall = g_pfnModemLineCall.load();
    int nResult;
    do
        nResult = pfnCall(hComm, nRequest, pnLines);
    while (nResult < 0 && errno == EINTR);
    return nResult;
}

int TcSetAttrRetry(int hFile, const termios* pTio)
{
    int nResult;
    do
        nResult = tcsetattr(hFile, TCSANOW, pTio);
    while (nResult != 0 && errno == EINTR);
    return nResult;
}

const char kPortInUse[] = "the port is in use by another program";
const char kNotSerialPort[] = "not a serial port";
}   // namespace

void CRS232Port::SetModemLineCall(ModemLineCall pfnCall)
{
    g_pfnModemLineCall.store(pfnCall != nullptr ? pfnCall : &RealModemLineCall);
}

CRS232Port::CRS232Port()
    : m_hComm(-1), m_chRead(0), m_dwReadCount(0), m_bReadError(0), m_hStopRead(-1), m_bStopRead(false),
      m_bDeviceLost(false), m_nLastError(0), m_bExclusive(false), m_nsByteTime(0), m_tpLineFree()
{}

CRS232Port::~CRS232Port()
{
    Close();
}

int CRS232Port::FailOpen(int nErrno, const std::string& strText)
{
    m_nLastError = nErrno;
    m_strLastError = strText.empty() ? std::generic_category().message(nErrno) : strText;
    return -1;
}

int CRS232Port::Open(const char* pszPort, int nBaudRate)
{
    if (m_hReadThread.joinable())
        return FailOpen(EBUSY, "the port is already open");
    Close();   // what a failed Open left behind
    m_nLastError = 0;
    m_strLastError.clear();
    m_latency = CLatencyTimer();
    m_bDeviceLost.store(false);

    if (pszPort == nullptr)
        return FailOpen(EINVAL);
    const std::size_t nLength = strnlen(pszPort, sizeof m_szPort);
    if (nLength == sizeof m_szPort)
        return FailOpen(
            ENAMETOOLONG);   // no room for the terminator: refuse rather than open a truncated name
    std::memcpy(m_szPort, pszPort, nLength + 1);

    m_hReadComplete = std::make_unique<CAutoResetEvent>("RS232ReadComplete");
    if (m_hReadComplete->Create() != 0)
        return FailOpen(errno);
    m_hStartRead = std::make_unique<CAutoResetEvent>("RS232StartRead");
    if (m_hStartRead->Create() != 0)
        return FailOpen(errno);

    m_hComm = open(m_szPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_hComm < 0)   // EBUSY: someone else holds the terminal in exclusive mode
        return errno == EBUSY ? FailOpen(EBUSY, kPortInUse) : FailOpen(errno);
    if (isatty(m_hComm) == 0)   // a file or /dev/null opens as well, and fails only later
        return FailOpen(ENOTTY, kNotSerialPort);
    if (OpenDevice(nBaudRate) != 0)
        return -1;
    if (StartReadThread() != 0)
        return -1;
    m_latency = LowerLatencyTimer(m_szPort);
    return 0;
}

int CRS232Port::OpenDevice(int nBaudRate)
{
    // TIOCEXCL doesn't stop root, so the lock is what keeps a second program off the port.
    if (flock(m_hComm, LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? FailOpen(EBUSY, kPortInUse) : FailOpen(errno);
    if (IoctlRetry(m_hComm, TIOCEXCL, nullptr) != 0)
        return FailOpen(errno);
    m_bExclusive = true;

    // Saved only now that the device is ours: a refused opener must not reset the holder's line.
    termios tio;
    if (tcgetattr(m_hComm, &tio) != 0)
        return FailOpen(errno);
    m_pSavedLine = std::make_unique<SavedLineSettings>(SavedLineSettings{tio});

    const std::string strBadSpeed = "unsupported speed " + std::to_string(nBaudRate);
    speed_t nSpeed;
    if (!LookUpSpeed(nBaudRate, &nSpeed))
        return FailOpen(EINVAL, strBadSpeed);
    m_nsByteTime = std::chrono::nanoseconds(kBitsPerByte * 1000000000LL / nBaudRate);
    m_tpLineFree = std::chrono::steady_clock::now();
    cfmakeraw(&tio);
    // cfmakeraw leaves flow control, stop bits, hang-up on close and parity checking alone.
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, nSpeed) != 0 || cfsetospeed(&tio, nSpeed) != 0)
        return FailOpen(EINVAL, strBadSpeed);
    if (TcSetAttrRetry(m_hComm, &tio) != 0)
        return FailOpen(errno);
    // tcsetattr succeeds when any part was taken: a driver that can't do the rate keeps its old one.
    termios tioSet;
    if (tcgetattr(m_hComm, &tioSet) != 0)
        return FailOpen(errno);
    if (cfgetospeed(&tioSet) != nSpeed)
        return FailOpen(EINVAL, strBadSpeed);
    if ((tioSet.c_cflag & (CSIZE | PARENB)) != CS8)
        return FailOpen(EINVAL, "the port cannot do 8 data bits without parity");

    int nLines = TIOCM_DTR | TIOCM_RTS;
    if (ModemLineCallRetry(m_hComm, TIOCMBIC, &nLines) != 0 && !IsUnsupportedIoctl(errno))
        return FailOpen(errno);

    // Low-latency mode hands each received byte on at once instead of after the driver's
    // batching delay; it matters with one-byte exchanges. Drivers without it, or without
    // the right to change it, are fine as they are.
    serial_struct serial;
    if (IoctlRetry(m_hComm, TIOCGSERIAL, &serial) == 0) {
        if ((serial.flags & ASYNC_LOW_LATENCY) == 0) {
            serial.flags |= ASYNC_LOW_LATENCY;
            if (IoctlRetry(m_hComm, TIOCSSERIAL, &serial) != 0 && !IsUnsupportedIoctl(errno) &&
                errno != EPERM)
                return FailOpen(errno);
        }
    } else if (!IsUnsupportedIoctl(errno) && errno != EPERM)
        return FailOpen(errno);
    return 0;
}

int CRS232Port::StartReadThread()
{
    m_hStopRead = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_hStopRead < 0)
        return FailOpen(errno);
    m_bStopRead.store(false);
    try {
        m_hReadThread = std::thread(&CRS232Port::ReadThreadProc, this);
    } catch (const std::system_error& error) {
        return FailOpen(error.code().value());
    }
    return 0;
}

int CRS232Port::Write(const void* pBuffer, int n)
{
    if (!IsOpen() || n < 0 || (pBuffer == nullptr && n > 0))
        return -1;
    const CDeadline deadline(kWriteMsPerByte * n + kWriteConstantMs);
    const char* pBytes = static_cast<const char*>(pBuffer);
    int nWritten = 0;
    bool bFailed = false;
    while (nWritten < n) {
        const ssize_t nDone = write(m_hComm, pBytes + nWritten, static_cast<std::size_t>(n - nWritten));
        if (nDone > 0) {
            nWritten += static_cast<int>(nDone);
            continue;
        }
        if (nDone < 0 && errno == EINTR)
            continue;
        if (nDone < 0 && errno != EAGAIN) {
            NoteDeviceError(errno);
            bFailed = true;
            break;
        }
        const int nLeftMs = deadline.RemainingMs();
        if (nLeftMs == 0)
            break;   // the line didn't take the rest in time
        pollfd pfd = {m_hComm, POLLOUT, 0};
        const int nReady = poll(&pfd, 1, nLeftMs);
        if (nReady < 0 && errno != EINTR) {
            bFailed = true;
            break;
        }
        if (nReady > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // The line refused the bytes and reports a hang-up: waiting on would only spin.
            m_bDeviceLost.store(true);
            bFailed = true;
            break;
        }
    }
    if (bFailed && nWritten == 0)
        return -1;
    WaitForLine(nWritten);
    return nWritten;
}

void CRS232Port::WaitForLine(int nBytes)
{
    // Callers time their next read from the moment Write returns, as the board can only answer
    // what it has received: a loader streamed into the kernel's buffer would otherwise still be
    // on the line when the read limit runs out. Returning as the last byte starts keeps the
    // line busy while bytes are streamed one Write at a time.
    const auto tpNow = std::chrono::steady_clock::now();
    const auto tpStart = std::max(tpNow, m_tpLineFree);
    m_tpLineFree = tpStart + m_nsByteTime * nBytes;
    const auto tpLastByte = m_tpLineFree - m_nsByteTime;
    if (tpLastByte > tpNow)
        std::this_thread::sleep_until(tpLastByte);
}

int CRS232Port::Flush()
{
    if (!IsOpen())
        return -1;
    int nResult;
    do
        nResult = tcdrain(m_hComm);
    while (nResult != 0 && errno == EINTR);
    if (nResult != 0) {
        NoteDeviceError(errno);
        return -1;
    }
    return 0;
}

bool CRS232Port::IsOpen() const
{
    // Only a fully opened port serves: a failed Open may have left the device half set up.
    return m_hComm >= 0 && m_hReadThread.joinable() && !m_bDeviceLost.load();
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

void CRS232Port::StopReadThread()
{
    if (m_hReadThread.joinable()) {
        m_bStopRead.store(true);
        const std::uint64_t nOne = 1;
        (void)!write(m_hStopRead, &nOne, sizeof nOne);   // out of a device wait
        m_hStartRead->Set();                             // out of the wait for a request
        m_hReadThread.join();
    }
    if (m_hStopRead >= 0) {
        close(m_hStopRead);
        m_hStopRead = -1;
    }
}

void CRS232Port::CloseDevice()
{
    if (m_hComm < 0)
        return;
    // Put back what Open found, so that a terminal used as the port isn't left raw. Not
    // waiting for output to drain: a line that stopped would hold Close forever.
    if (m_pSavedLine != nullptr)
        (void)TcSetAttrRetry(m_hComm, &m_pSavedLine->tio);
    m_pSavedLine.reset();
    // The exclusive flag belongs to the terminal, not to this descriptor: left set it would
    // keep the port busy for everyone but root after we are gone.
    if (m_bExclusive)
        (void)IoctlRetry(m_hComm, TIOCNXCL, nullptr);
    m_bExclusive = false;
    close(m_hComm);   // also drops the lock; not retried on EINTR, the descriptor is gone either way
    m_hComm = -1;
}

void CRS232Port::NoteDeviceError(int nErrno)
{
    if (IsDeviceGone(nErrno))
        m_bDeviceLost.store(true);
}

int CRS232Port::ReadTimed(char* pch, std::uint32_t* pdwCount, int nLimitMs)
{
    *pdwCount = 0;
    if (m_hComm < 0 || m_bDeviceLost.load())
        return -1;
    const CDeadline deadline(nLimitMs);
    pollfd pfd[2] = {{m_hComm, POLLIN, 0}, {m_hStopRead, POLLIN, 0}};
    for (;;) {
        const int nReady = poll(pfd, 2, deadline.RemainingMs());
        if (nReady < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (nReady == 0)
            return 0;   // nothing in time; a byte that comes later waits for the next request
        if (pfd[1].revents != 0)
            return 0;   // Close is stopping the thread; nobody waits for this answer
        const short nEvents = pfd[0].revents;
        const bool bHungUp = (nEvents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        if ((nEvents & POLLIN) != 0) {
            const ssize_t nDone = read(m_hComm, pch, 1);
            if (nDone == 1) {
                *pdwCount = 1;
                return 0;
            }
            if (nDone == 0) {
                m_bDeviceLost.store(true);   // end of file on a terminal: the line hung up
                return -1;
            }
            if (errno == EINTR || (errno == EAGAIN && !bHungUp))
                continue;
            if (errno != EAGAIN) {
                NoteDeviceError(errno);
                return -1;
            }
        }
        if (bHungUp) {
            m_bDeviceLost.store(true);
            return -1;
        }
    }
}
