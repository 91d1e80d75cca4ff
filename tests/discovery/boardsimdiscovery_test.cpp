// A board simulator started here is offered by discovery while it runs, and no longer
// once it has ended.
#include "serial/portdiscovery.h"
#include "serial/simportdirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{

const int kStartLimitMs = 10000;  // only a simulator that hangs before announcing its pty reaches it
const char* const kRuntimeVariable = "XDG_RUNTIME_DIR";

// Sets an environment variable for this test and restores the old value afterwards.
class CEnvironmentOverride
{
public:
    CEnvironmentOverride(const char* pszName, const std::string& strValue) : m_pszName(pszName)
    {
        const char* pszOld = std::getenv(pszName);
        m_bHadOld = pszOld != nullptr;
        if (m_bHadOld)
            m_strOld = pszOld;
        setenv(pszName, strValue.c_str(), 1);
    }
    ~CEnvironmentOverride()
    {
        if (m_bHadOld)
            setenv(m_pszName, m_strOld.c_str(), 1);
        else
            unsetenv(m_pszName);
    }

private:
    const char* m_pszName;
    bool m_bHadOld = false;
    std::string m_strOld;
};

// The simulator as a child process with its stdout on a pipe; stopped by SIGTERM.
class CSimulatorProcess
{
public:
    ~CSimulatorProcess()
    {
        Stop();
        if (m_fdOut >= 0)
            close(m_fdOut);
    }

    bool Start(const std::string& strRuntimeDir)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        m_fdOut = fds[0];

        std::vector<std::string> env;
        for (char** ppsz = environ; *ppsz != nullptr; ++ppsz)
        {
            if (std::strncmp(*ppsz, "XDG_RUNTIME_DIR=", 16) != 0)
                env.push_back(*ppsz);
        }
        env.push_back(std::string(kRuntimeVariable) + "=" + strRuntimeDir);
        std::vector<char*> envp;
        for (std::string& str : env)
            envp.push_back(str.data());
        envp.push_back(nullptr);
        std::string strExe = KELVORA_BOARDSIM_EXE;
        char* argv[] = {strExe.data(), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);  // dup2 clears close-on-exec
        const int nResult = posix_spawn(&m_pid, strExe.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (nResult != 0)
            m_pid = -1;
        return nResult == 0;
    }

    // The first line of the simulator's stdout, within one deadline; false on end of file or time-out.
    bool ReadFirstLine(std::string& strLine) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartLimitMs);
        for (;;)
        {
            const auto nLeftMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (nLeftMs <= 0)
                return false;
            pollfd pfd = {m_fdOut, POLLIN, 0};
            const int nReady = poll(&pfd, 1, static_cast<int>(nLeftMs));
            if (nReady < 0 && errno == EINTR)
                continue;
            if (nReady <= 0)
                return false;
            char ch;
            const ssize_t nRead = read(m_fdOut, &ch, 1);
            if (nRead < 0 && errno == EINTR)
                continue;
            if (nRead <= 0)
                return false;
            if (ch == '\n')
                return true;
            strLine += ch;
        }
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        int nStatus = 0;
        while (waitpid(m_pid, &nStatus, 0) < 0 && errno == EINTR)
        {
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_fdOut = -1;
};

std::vector<SerialPortInfo> SimulatedPorts()
{
    std::vector<SerialPortInfo> ports;
    std::vector<SerialPortInfo> simulated;
    EnumerateSerialPorts(ports);
    for (const SerialPortInfo& info : ports)
    {
        if (info.m_strFriendlyName.rfind("Simulated KC167 board (", 0) == 0)
            simulated.push_back(info);
    }
    return simulated;
}

TEST(BoardSimDiscovery, StartedSimulatorIsFoundAndGoneAfterItEnds)
{
    char szTemplate[] = "/tmp/kelvora-runtime-XXXXXX";
    ASSERT_NE(mkdtemp(szTemplate), nullptr);
    const std::string strRuntimeDir = szTemplate;
    {
        const CEnvironmentOverride runtime(kRuntimeVariable, strRuntimeDir);
        ASSERT_EQ(GetSimulatorPortDirectory(), strRuntimeDir + "/kelvora/ports");
        EXPECT_TRUE(SimulatedPorts().empty());

        CSimulatorProcess simulator;
        ASSERT_TRUE(simulator.Start(strRuntimeDir));
        std::string strPty;
        ASSERT_TRUE(simulator.ReadFirstLine(strPty)) << "the simulator announced no pty";

        const std::vector<SerialPortInfo> running = SimulatedPorts();
        ASSERT_EQ(running.size(), 1u);
        const SerialPortInfo& info = running[0];
        EXPECT_EQ(info.m_strFriendlyName, "Simulated KC167 board (" + info.m_strPortName + ")");
        EXPECT_EQ(info.m_strDescription, "Simulated KC167 board");
        EXPECT_FALSE(info.m_bUsb);
        EXPECT_EQ(info.m_strDevicePath, GetSimulatorPortDirectory() + "/" + info.m_strPortName);
        EXPECT_EQ(std::filesystem::canonical(info.m_strDevicePath), std::filesystem::canonical(strPty));

        simulator.Stop();
        EXPECT_TRUE(SimulatedPorts().empty());
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(info.m_strDevicePath)));
    }
    std::filesystem::remove_all(strRuntimeDir);
}

}  // namespace
