// A board simulator started here is offered by discovery while it runs, and neither it nor its
// files are left once it has been killed. The registration's rules are simportregistry_test's;
// the clean end is the simulator's own test (tests/sim).
#include "serial/portdiscovery.h"
#include "support/childprocess.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <signal.h>

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

    CChildProcess board;   // registers where the roots look
    ASSERT_EQ(0, board.Start(KELVORA_BOARDSIM_EXE, {}, {"XDG_RUNTIME_DIR=" + sim.runtime.Path()}));
    // Its first line, the pty, comes once it has registered.
    const std::string strPty = board.ReadFirstLine();
    ASSERT_NE("", strPty) << "the simulator announced no pty";

    const std::vector<SerialPortInfo> running = sim.Enumerate();
    ASSERT_EQ(running.size(), 1u);
    const SerialPortInfo& info = running[0];
    EXPECT_EQ(info.m_strFriendlyName, "Simulated KC167 board (" + info.m_strPortName + ")");
    EXPECT_EQ(info.m_strDevicePath, sim.roots.m_strSimulatorDir + "/" + info.m_strPortName);
    EXPECT_EQ(fs::canonical(info.m_strDevicePath), fs::canonical(strPty));

    board.Signal(SIGKILL);
    EXPECT_EQ(128 + SIGKILL, board.Wait());
    EXPECT_TRUE(sim.Enumerate().empty());
    EXPECT_TRUE(sim.DirectoryIsEmpty());   // its leftovers are gone too
}

}   // namespace
