// A board simulator started here is offered by discovery while it runs, and neither it nor its
// files are left once it has been killed. The registration's rules are simportregistry_test's;
// the clean end is the simulator's own test (tests/sim).
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

TEST(BoardSimDiscovery, StartedSimulatorIsFoundAndGoneAfterItIsKilled)
{
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

    ASSERT_EQ(kill(pid, SIGKILL), 0);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(sim.Enumerate().empty());
    EXPECT_TRUE(sim.DirectoryIsEmpty());   // its leftovers are gone too
}

}   // namespace
