#include "ptyboard.h"
#include "serial/rs232port.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kBaudRate = 57600;

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point tpStart)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tpStart).count();
}

struct ReadResult
{
    int nResult;
    char ch;
    int nCount;
};

ReadResult Read(CRS232Port& port)
{
    ReadResult r = {0, 0, -1};
    r.nResult = port.ReadChar(&r.ch, &r.nCount);
    return r;
}

// Each operation on a port that can't serve must answer -1 at once.
void ExpectAllFailAtOnce(CRS232Port& port)
{
    char ch;
    int nCount;
    const std::function<int()> operations[] = {
        [&] { return port.ReadChar(&ch, &nCount); },
        [&] { return port.Write("x", 1); },
        [&] { return port.Flush(); },
    };
    for (const auto& operation : operations) {
        const auto tpStart = Clock::now();
        EXPECT_EQ(-1, operation());
        EXPECT_LT(MsSince(tpStart), 50);
    }
}
}   // namespace

TEST(RS232Port, OpenRefusesBadNamesAndRatesWithTheSystemsReason)
{
    CPtyBoard board;
    CPtyBoard held;
    CRS232Port holder;
    ASSERT_EQ(0, holder.Open(held.GetPath().c_str(), kBaudRate));
    // Leading slashes pad the path to an exact length; cutting the longer name down to
    // 255 characters would open the terminal.
    const auto padded = [&](std::size_t nLength, const char* pszTail) {
        const std::string strTail = board.GetPath() + pszTail;
        return std::string(nLength - strTail.size(), '/') + strTail;
    };
    const struct
    {
        std::string strName;
        int nBaudRate;
        int nExpected;
        int nErrno;
        const char* pszReason;
    } cases[] = {
        {padded(255, ""), kBaudRate, 0, 0, ""},
        {padded(256, "x"), kBaudRate, -1, ENAMETOOLONG, "File name too long"},
        {board.GetPath(), 12345, -1, EINVAL, "unsupported speed 12345"},
        {board.GetPath(), 0, -1, EINVAL, "unsupported speed 0"},
        {board.GetPath(), -9600, -1, EINVAL, "unsupported speed -9600"},
        {"/dev/null", kBaudRate, -1, ENOTTY, "not a serial port"},
        {"/nonexistent/tty", kBaudRate, -1, ENOENT, "No such file or directory"},
        {held.GetPath(), kBaudRate, -1, EBUSY, "the port is in use by another program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strName + " @ " + std::to_string(c.nBaudRate));
        const int nFds = CountProcEntries("fd");
        const int nThreads = CountProcEntries("task");
        {
            CRS232Port port;
            EXPECT_EQ(c.nExpected, port.Open(c.strName.c_str(), c.nBaudRate));
            if (c.nExpected != 0) {
                // threads that ended earlier may still be leaving
                EXPECT_LE(CountProcEntries("task"), nThreads);
            }
            port.Close();   // the reason outlives Close
            EXPECT_EQ(c.nErrno, port.GetLastSystemError());
            EXPECT_EQ(c.pszReason, port.GetLastSystemErrorText());
            if (c.nExpected != 0)
                ExpectAllFailAtOnce(port);   // a half set-up device is not open
        }
        EXPECT_EQ(nFds, CountProcEntries("fd"));
    }
    // Root opens any file; anyone else can check the refusal.
    if (geteuid() != 0) {
        const CTempDir dir;
        const int hFile = open(dir.Path("closed").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0);
        ASSERT_GE(hFile, 0);
        close(hFile);
        CRS232Port port;
        EXPECT_EQ(-1, port.Open(dir.Path("closed").c_str(), kBaudRate));
        EXPECT_EQ(EACCES, port.GetLastSystemError());
    }
    CRS232Port port;
    EXPECT_EQ(-1, port.Open(nullptr, kBaudRate));
    EXPECT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));   // the next Open starts clean
    EXPECT_EQ(0, port.GetLastSystemError());
    EXPECT_EQ("", port.GetLastSystemErrorText());
}

namespace
{
bool SameLine(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b) && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}
}   // namespace

// The pty's two ends share one set of line settings, so the board's end shows what the port
// asked for: the driver of a real port would run at the speed set here, whatever the port
// believes.
TEST(RS232Port, OpenSetsTheExactLineAndCloseGivesTheOldOneBack)
{
    const struct
    {
        int nRate;
        speed_t nSpeed;
    } rates[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                 {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (const auto& rate : rates) {
        SCOPED_TRACE(rate.nRate);
        CPtyBoard board;
        // A cooked terminal with every setting the port must undo.
        termios tioBefore;
        ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tioBefore));
        tioBefore.c_cflag |= CSTOPB | CRTSCTS | HUPCL;
        tioBefore.c_iflag |= IXON | IXOFF | INPCK | ICRNL;
        tioBefore.c_lflag |= ICANON | ECHO | ISIG;
        tioBefore.c_oflag |= OPOST;
        cfsetspeed(&tioBefore, B300);
        ASSERT_EQ(0, tcsetattr(board.GetMaster(), TCSANOW, &tioBefore));
        ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tioBefore));

        CRS232Port port;
        ASSERT_EQ(0, port.Open(board.GetPath().c_str(), rate.nRate));
        termios tio;
        ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tio));
        EXPECT_EQ(rate.nSpeed, cfgetospeed(&tio));
        EXPECT_EQ(rate.nSpeed, cfgetispeed(&tio));
        EXPECT_EQ(CS8 | CREAD | CLOCAL, tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL));
        EXPECT_EQ(0u, tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR | BRKINT));
        EXPECT_EQ(0u, tio.c_oflag & OPOST);
        EXPECT_EQ(0u, tio.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN));
        EXPECT_EQ(1, tio.c_cc[VMIN]);
        EXPECT_EQ(0, tio.c_cc[VTIME]);

        port.Close();
        termios tioAfter;
        ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tioAfter));
        EXPECT_TRUE(SameLine(tioBefore, tioAfter));
    }
}

namespace
{
struct CModemLineRequest
{
    unsigned long nRequest;
    int nLines;
    bool operator==(const CModemLineRequest& other) const
    {
        return nRequest == other.nRequest && nLines == other.nLines;
    }
};
std::vector<CModemLineRequest> g_modemLineRequests;
int g_nModemLineErrno = 0;

int RecordModemLineRequest(int, unsigned long nRequest, int* pnLines)
{
    g_modemLineRequests.push_back({nRequest, *pnLines});
    errno = g_nModemLineErrno;
    return g_nModemLineErrno != 0 ? -1 : 0;
}
}   // namespace

// A pty refuses modem-line requests; a real port must see DTR and RTS asked to go low.
TEST(RS232Port, OpenAsksForDtrAndRtsLowAndToleratesARefusal)
{
    const struct
    {
        int nErrno;   // of the modem-line call
        int nExpected;
    } cases[] = {{0, 0}, {ENOTTY, 0}, {EINVAL, 0}, {EIO, -1}};
    CRS232Port::SetModemLineCall(&RecordModemLineRequest);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nErrno);
        g_modemLineRequests.clear();
        g_nModemLineErrno = c.nErrno;
        CPtyBoard board;
        CRS232Port port;
        EXPECT_EQ(c.nExpected, port.Open(board.GetPath().c_str(), kBaudRate));
        EXPECT_EQ(c.nExpected == 0 ? 0 : c.nErrno, port.GetLastSystemError());
        const std::vector<CModemLineRequest> expected = {{TIOCMBIC, TIOCM_DTR | TIOCM_RTS}};
        EXPECT_EQ(expected, g_modemLineRequests);
    }
    CRS232Port::SetModemLineCall(nullptr);
}

TEST(RS232Port, CloseReleasesEachHandleExactlyOnce)
{
    CPtyBoard board;
    const int nFds = CountProcEntries("fd");
    int hOther = -1;
    {
        CRS232Port port;
        ExpectAllFailAtOnce(port);   // never opened
        ASSERT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));
        port.Close();
        EXPECT_EQ(nFds, CountProcEntries("fd"));   // and the thread is joined, or its destructor would abort
        ExpectAllFailAtOnce(port);
        // Takes one of the numbers just freed: a second close would hit it.
        hOther = open("/dev/null", O_RDONLY | O_CLOEXEC);
        port.Close();
    }
    EXPECT_EQ(0, fcntl(hOther, F_GETFD) & ~FD_CLOEXEC);
    close(hOther);
}

TEST(RS232Port, EmptyReadTimesOutAndALateByteComesWithTheNextRequest)
{
    CPtyBoard board;
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));

    const auto tpStart = Clock::now();
    ReadResult r = Read(port);
    const long long nMs = MsSince(tpStart);
    EXPECT_EQ(0, r.nResult);
    EXPECT_EQ(0, r.nCount);
    EXPECT_GE(nMs, 400);
    EXPECT_LE(nMs, 1500);

    board.Send("Z");
    r = Read(port);
    EXPECT_EQ(0, r.nResult);
    EXPECT_EQ(1, r.nCount);
    EXPECT_EQ('Z', r.ch);
    r = Read(port);   // reported once, not twice
    EXPECT_EQ(0, r.nResult);
    EXPECT_EQ(0, r.nCount);
}

// NUL, CR, LF, XON and XOFF pass untouched both ways; bytes read come one per request, in
// order, and survive a Flush.
TEST(RS232Port, BytesPassExactlyBothWays)
{
    CPtyBoard board;
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));
    const std::string strSent("\x00\xC5\xFF\x0D\x0A\x11\x13", 7);
    board.Send(strSent);
    EXPECT_EQ(7, port.Write(strSent.data(), 7));
    EXPECT_EQ(0, port.Write(strSent.data(), 0));
    EXPECT_EQ(0, port.Flush());
    EXPECT_EQ(strSent, board.Receive(8, 200));   // and nothing more
    for (char chExpected : strSent) {
        const ReadResult r = Read(port);
        ASSERT_EQ(0, r.nResult);
        ASSERT_EQ(1, r.nCount);
        EXPECT_EQ(chExpected, r.ch);
    }
}

// Write keeps the line's own pace, so that a read started after it times the board's answer,
// not the bytes still on their way: 1200 bit/s is 8.3 ms per byte.
TEST(RS232Port, WriteReturnsAsItsLastByteGoesOnTheLine)
{
    CPtyBoard board;
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), 1200));
    const char bytes[60] = {};
    auto tpStart = Clock::now();
    ASSERT_EQ(1, port.Write(bytes, 1));
    EXPECT_LT(MsSince(tpStart), 8);   // an idle line takes the first byte at once

    tpStart = Clock::now();
    ASSERT_EQ(60, port.Write(bytes, 60));
    EXPECT_GE(MsSince(tpStart), 59 * 25 / 3);   // behind the first byte, then 59 byte times

    tpStart = Clock::now();
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(1, port.Write(bytes, 1));
    EXPECT_GE(MsSince(tpStart), 29 * 25 / 3);   // streamed one Write at a time at the same pace
    EXPECT_EQ(std::string(91, 0), board.Receive(91, 1000));
}

TEST(RS232Port, WriteReturnsWhatLeftWhenTheLineStops)
{
    CPtyBoard board;   // never reads: the line fills up
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), 4000000));   // fill it fast
    constexpr int kChunk = 16;                                   // limit 10 ms per byte + 1000 ms = 1160 ms
    const char chunk[kChunk] = {};
    int nWritten = kChunk;
    long long nMs = 0;
    for (int nTotal = 0; nWritten == kChunk && nTotal < (64 << 20); nTotal += nWritten) {
        const auto tpStart = Clock::now();
        nWritten = port.Write(chunk, kChunk);
        nMs = MsSince(tpStart);
    }
    EXPECT_GE(nWritten, 0);
    EXPECT_LT(nWritten, kChunk);
    EXPECT_GE(nMs, 1100);
    EXPECT_LE(nMs, 2500);
}

TEST(RS232Port, SecondOpenOfAHeldPortFailsUntilClose)
{
    CPtyBoard board;
    CRS232Port first;
    ASSERT_EQ(0, first.Open(board.GetPath().c_str(), kBaudRate));
    termios tio;
    {
        CRS232Port second;
        EXPECT_EQ(-1, second.Open(board.GetPath().c_str(), kBaudRate));
        // The holder changes its speed meanwhile.
        ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tio));
        cfsetspeed(&tio, B9600);
        ASSERT_EQ(0, tcsetattr(board.GetMaster(), TCSANOW, &tio));
    }
    // The refused opener must not have cleared the holder's exclusive mode or put back the
    // line settings it saw on its way out.
    EXPECT_EQ(1, ProbeExclusive(board.GetPath()));
    ASSERT_EQ(0, tcgetattr(board.GetMaster(), &tio));
    EXPECT_EQ(B9600, cfgetospeed(&tio));
    first.Close();
    EXPECT_EQ(0, ProbeExclusive(board.GetPath()));
    CRS232Port second;
    EXPECT_EQ(0, second.Open(board.GetPath().c_str(), kBaudRate));
}

TEST(RS232Port, PulledCableFailsTheReadInFlightAndEverythingAfter)
{
    CPtyBoard board;
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));
    // The board hangs up as soon as the request byte reaches it, while the answer is awaited.
    std::thread boardThread([&] {
        board.Receive(1, 5000);
        board.Hangup();
    });
    ASSERT_EQ(1, port.Write("?", 1));
    const auto tpStart = Clock::now();
    const ReadResult r = Read(port);
    const long long nMs = MsSince(tpStart);
    boardThread.join();
    EXPECT_EQ(-1, r.nResult);
    EXPECT_LT(nMs, 450);

    ExpectAllFailAtOnce(port);
    const auto tpClose = Clock::now();
    port.Close();
    EXPECT_LT(MsSince(tpClose), 100);
}

TEST(RS232Port, ThousandsOfEchoedHandOversRunClean)
{
    CPtyBoard board;
    CRS232Port port;
    ASSERT_EQ(0, port.Open(board.GetPath().c_str(), kBaudRate));
    constexpr int kExchanges = 3000;
    std::thread echo([&] {
        for (int i = 0; i < kExchanges; ++i)
            board.Send(board.Receive(1, 5000));
    });
    int nGood = 0;
    for (int i = 0; i < kExchanges; ++i) {
        const char chOut = static_cast<char>(i * 7);
        ReadResult r = {-1, 0, 0};
        if (port.Write(&chOut, 1) == 1)
            r = Read(port);
        nGood += r.nResult == 0 && r.nCount == 1 && r.ch == chOut;
    }
    echo.join();
    EXPECT_EQ(kExchanges, nGood);
}
