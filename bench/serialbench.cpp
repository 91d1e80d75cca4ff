// Cost of one byte exchange through CRS232Port (Write of one byte, ReadChar through the
// reader thread) against a direct poll/read loop on the same pseudo-terminal, both in this
// run. A board thread on the master side echoes every byte. Target: ratio <= 1.5.

#include "serial/rs232port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kExchanges = 4000;   // per round
constexpr int kRounds = 15;        // alternating direct / port, so both see the same machine load
constexpr int kBaudRate =
    4000000;   // the port keeps the line's pace: at its fastest, only the hand-over is timed

// The board: echoes every byte that arrives on the master side until told to stop.
class CEchoBoard
{
public:
    explicit CEchoBoard(int hMaster) : m_hMaster(hMaster), m_hStop(eventfd(0, EFD_CLOEXEC))
    {
        m_thread = std::thread([this] { Run(); });
    }
    ~CEchoBoard()
    {
        const std::uint64_t nOne = 1;
        (void)!write(m_hStop, &nOne, sizeof nOne);
        m_thread.join();
        close(m_hStop);
    }

private:
    void Run()
    {
        pollfd pfd[2] = {{m_hMaster, POLLIN, 0}, {m_hStop, POLLIN, 0}};
        char buf[256];
        for (;;) {
            if (poll(pfd, 2, -1) < 0)
                continue;
            if (pfd[1].revents != 0)
                return;
            if ((pfd[0].revents & POLLIN) == 0)
                continue;
            const ssize_t n = read(m_hMaster, buf, sizeof buf);
            if (n > 0)
                (void)!write(m_hMaster, buf, static_cast<std::size_t>(n));
        }
    }

    int m_hMaster;
    int m_hStop;
    std::thread m_thread;
};

double SecondsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
}

// Seconds for kExchanges exchanges on our own descriptor, or a negative value on failure.
double RunDirect(const std::string& strSlave)
{
    const int hFile = open(strSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (hFile < 0)
        return -1;
    termios tio;
    tcgetattr(hFile, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(hFile, TCSANOW, &tio);
    double dSeconds = -1;
    const auto tpStart = std::chrono::steady_clock::now();
    int i = 0;
    for (; i < kExchanges; ++i) {
        const char chOut = static_cast<char>(i);
        if (write(hFile, &chOut, 1) != 1)
            break;
        pollfd pfd = {hFile, POLLIN, 0};
        if (poll(&pfd, 1, 500) != 1)
            break;
        char chIn;
        if (read(hFile, &chIn, 1) != 1 || chIn != chOut)
            break;
    }
    if (i == kExchanges)
        dSeconds = SecondsSince(tpStart);
    close(hFile);
    return dSeconds;
}

double RunPort(const std::string& strSlave)
{
    CRS232Port port;
    if (port.Open(strSlave.c_str(), kBaudRate) != 0)
        return -1;
    const auto tpStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kExchanges; ++i) {
        const char chOut = static_cast<char>(i);
        if (port.Write(&chOut, 1) != 1)
            return -1;
        char chIn;
        int nCount;
        if (port.ReadChar(&chIn, &nCount) != 0 || nCount != 1 || chIn != chOut)
            return -1;
    }
    const double dSeconds = SecondsSince(tpStart);
    port.Close();
    return dSeconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
}   // namespace

int main()
{
    const int hMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (hMaster < 0 || grantpt(hMaster) != 0 || unlockpt(hMaster) != 0) {
        std::fprintf(stderr, "serialbench: no pseudo-terminal\n");
        return 1;
    }
    const std::string strSlave = ptsname(hMaster);
    // Keeps the slave side's settings alive between the two openers of each round.
    const int hKeep = open(strSlave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio;
    tcgetattr(hKeep, &tio);
    cfmakeraw(&tio);
    tcsetattr(hKeep, TCSANOW, &tio);

    std::vector<double> direct, port, ratio;
    {
        CEchoBoard board(hMaster);
        for (int nRound = 0; nRound < kRounds; ++nRound) {
            const double dDirect = RunDirect(strSlave);
            const double dPort = RunPort(strSlave);
            if (dDirect <= 0 || dPort <= 0) {
                std::fprintf(stderr, "serialbench: exchange failed in round %d\n", nRound);
                return 1;
            }
            direct.push_back(dDirect);
            port.push_back(dPort);
            ratio.push_back(dPort / dDirect);
        }
    }
    close(hKeep);
    close(hMaster);

    const double dDirectUs = Median(direct) * 1e6 / kExchanges;
    const double dPortUs = Median(port) * 1e6 / kExchanges;
    std::printf("serialbench: %d exchanges x %d rounds on a pseudo-terminal (median round)\n", kExchanges,
                kRounds);
    std::printf("  direct poll/read loop: %8.1f us/exchange  %9.0f exchanges/s\n", dDirectUs,
                1e6 / dDirectUs);
    std::printf("  CRS232Port (reader):   %8.1f us/exchange  %9.0f exchanges/s\n", dPortUs, 1e6 / dPortUs);
    const double dRatio = Median(ratio);
    std::printf("  ratio port/direct:     %8.2f  (median of the rounds' ratios; target <= 1.50)  %s\n",
                dRatio, dRatio <= 1.5 ? "ok" : "OVER");
    return 0;
}
