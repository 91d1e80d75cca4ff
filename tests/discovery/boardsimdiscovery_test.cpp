// A board simulator started here is offered by discovery while it runs, and no longer
// once it has ended, cleanly or killed; a registration whose lock nobody holds is a leftover.
#include "serial/portdiscovery.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

struct CSimulatorRoots
{
    CSimulatorRoots() : runtime("kelvora-runtime")
    {
        roots.m_strSysfs = runtime.Path();   // an empty sysfs, so only simulators are listed
        roots.m_strSimulatorDir = roots.m_strSysfs + "/kelvora/ports";
        fs::create_directories(roots.m_strSysfs + "/class/tty");
        fs::create_directories(roots.m_strSimulatorDir);
    }
    std::vector<SerialPortInfo> Enumerate() const
    {
        std::vector<SerialPortInfo> ports;
        EnumerateSerialPorts(ports, roots);
        return ports;
    }
    bool DirectoryIsEmpty() const { return fs::is_empty(roots.m_strSimulatorDir); }

    const CTempDir runtime;
    SerialDiscoveryRoots roots;
};

TEST(BoardSimDiscovery, StartedSimulatorIsFoundAndGoneAfterItEnds)
{
    for (const int nSignal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(nSignal == SIGTERM ? "ended cleanly" : "killed");
        const CSimulatorRoots sim;
        EXPECT_TRUE(sim.Enumerate().empty());

        int fds[2];
        ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG,
                  SIGTERM);                // ends with this program should an assertion stop the test early
            dup2(fds[1], STDOUT_FILENO);   // dup2 clears close-on-exec
            setenv("XDG_RUNTIME_DIR", sim.runtime.Path().c_str(), 1);   // where the simulator registers
            execl(KELVORA_BOARDSIM_EXE, "kelvora-boardsim", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Its first line, the pty, comes in one write once it has registered.
        pollfd pfd = {fds[0], POLLIN, 0};
        char szLine[256] = {};
        const bool bAnnounced = poll(&pfd, 1, 10000) == 1 && read(fds[0], szLine, sizeof(szLine) - 1) > 0;
        close(fds[0]);
        ASSERT_TRUE(bAnnounced) << "the simulator announced no pty";
        const std::string strPty(szLine, std::strcspn(szLine, "\n"));

        const std::vector<SerialPortInfo> running = sim.Enumerate();
        ASSERT_EQ(running.size(), 1u);
        const SerialPortInfo& info = running[0];
        EXPECT_EQ(info.m_strFriendlyName, "Simulated KC167 board (" + info.m_strPortName + ")");
        EXPECT_EQ(info.m_strDevicePath, sim.roots.m_strSimulatorDir + "/" + info.m_strPortName);
        EXPECT_EQ(fs::canonical(info.m_strDevicePath), fs::canonical(strPty));

        ASSERT_EQ(kill(pid, nSignal), 0);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(sim.Enumerate().empty());
        EXPECT_TRUE(sim.DirectoryIsEmpty());   // a killed simulator's leftovers are gone too
    }
}

// Registrations made by hand, each pointing to a live pty as a reused pty number would.
TEST(BoardSimDiscovery, OnlyARegistrationWhoseLockIsHeldIsOffered)
{
    const int hPty = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(hPty, 0);
    ASSERT_EQ(0, grantpt(hPty));
    ASSERT_EQ(0, unlockpt(hPty));
    const std::string strPty = ptsname(hPty);
    const struct
    {
        const char* pszName;
        bool bLockFile;
        bool bHeld;
    } cases[] = {{"live", true, true}, {"dead", true, false}, {"no-lock", false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const CSimulatorRoots sim;
        const std::string strLink = sim.roots.m_strSimulatorDir + "/board";
        fs::create_symlink(strPty, strLink);
        int hLock = -1;
        if (c.bLockFile) {
            hLock = open((strLink + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_GE(hLock, 0);
            ASSERT_EQ(0, c.bHeld ? flock(hLock, LOCK_EX) : 0);
        }
        const std::vector<SerialPortInfo> ports = sim.Enumerate();
        EXPECT_EQ(c.bHeld ? 1u : 0u, ports.size());
        EXPECT_EQ(c.bHeld, fs::is_symlink(strLink));   // leftovers are removed
        EXPECT_EQ(c.bHeld, fs::exists(strLink + ".lock"));
        if (hLock >= 0)
            close(hLock);
    }
    close(hPty);
}

}   // namespace
