#include "benchsupport.h"

#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

double DirectEchoSeconds(int nExchanges)
{
    const int hMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (hMaster < 0 || grantpt(hMaster) != 0 || unlockpt(hMaster) != 0)
        return -1;
    const int hSlave = open(ptsname(hMaster), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int hStop = eventfd(0, EFD_CLOEXEC);
    if (hSlave < 0 || hStop < 0)
        return -1;
    termios tio;
    tcgetattr(hSlave, &tio);
    cfmakeraw(&tio);
    tcsetattr(hSlave, TCSANOW, &tio);

    std::thread board([&] {
        pollfd pfd[2] = {{hMaster, POLLIN, 0}, {hStop, POLLIN, 0}};
        char buf[256];
        while (poll(pfd, 2, -1) >= 0 && pfd[1].revents == 0) {
            const ssize_t n = read(hMaster, buf, sizeof buf);
            if (n > 0)
                (void)!write(hMaster, buf, static_cast<size_t>(n));
        }
    });

    double dSeconds = -1;
    const auto tpStart = std::chrono::steady_clock::now();
    int i = 0;
    for (; i < nExchanges; ++i) {
        const char chOut = static_cast<char>(i);
        if (write(hSlave, &chOut, 1) != 1)
            break;
        pollfd pfd = {hSlave, POLLIN, 0};
        char chIn = 0;
        if (poll(&pfd, 1, 500) != 1 || read(hSlave, &chIn, 1) != 1 || chIn != chOut)
            break;
    }
    if (i == nExchanges)
        dSeconds = SecondsSince(tpStart);

    const uint64_t nOne = 1;
    (void)!write(hStop, &nOne, sizeof nOne);
    board.join();
    close(hStop);
    close(hSlave);
    close(hMaster);
    return dSeconds;
}
