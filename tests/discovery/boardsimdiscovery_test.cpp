// A board simulator started here is offered by discovery while it runs, and no longer
// once it has ended.
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
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

TEST(BoardSimDiscovery, StartedSimulatorIsFoundAndGoneAfterItEnds)
{
    const CTempDir runtime("kelvora-runtime");
    const char* szRuntimeDir = runtime.Path().c_str();
    SerialDiscoveryRoots roots;   // an empty sysfs, so only simulators are listed
    roots.m_strSysfs = szRuntimeDir;
    roots.m_strSimulatorDir = roots.m_strSysfs + "/kelvora/ports";
    fs::create_directories(roots.m_strSysfs + "/class/tty");
    auto enumerate = [&roots]() {
        std::vector<SerialPortInfo> ports;
        EnumerateSerialPorts(ports, roots);
        return ports;
    };
    EXPECT_TRUE(enumerate().empty());

    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);   // ends with this program should an assertion stop the test early
        dup2(fds[1], STDOUT_FILENO);        // dup2 clears close-on-exec
        setenv("XDG_RUNTIME_DIR", szRuntimeDir, 1);   // where the simulator registers
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

    const std::vector<SerialPortInfo> running = enumerate();
    ASSERT_EQ(running.size(), 1u);
    const SerialPortInfo& info = running[0];
    EXPECT_EQ(info.m_strFriendlyName, "Simulated KC167 board (" + info.m_strPortName + ")");
    EXPECT_EQ(info.m_strDevicePath, roots.m_strSimulatorDir + "/" + info.m_strPortName);
    EXPECT_EQ(fs::canonical(info.m_strDevicePath), fs::canonical(strPty));

    ASSERT_EQ(kill(pid, SIGTERM), 0);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(enumerate().empty());
}

}   // namespace
