// Reset on close, line pacing, flash files, the kelvora-boardsim executable and the target files.
#include "pcside.h"

#include "hex/hexfile.h"
#include "serial/simportregistry.h"
#include "sim/boardsim.h"
#include "sim/payloadformat.h"
#include "sim/targetfiles.h"
#include "support/childprocess.h"
#include "support/tempdir.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

const std::vector<uint8_t> kReadBackAt0 = {0x46, 0x56, 0x00, 0x00, 0x00};   // read-back of 0x000000

// Closing the port resets the board: what it had not delivered is gone, its flash stays.
TEST(BoardReset, DropsPendingBytesAndKeepsTheFlash)
{
    CBoardSim sim;
    sim.SetEraseTimes(200, 200);
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    ASSERT_TRUE(pc.Exchange({0x46, 0x58, 0x4E, 0x00, 0x00, 0x00, 2, 0x12, 0x34}, 1));
    ASSERT_TRUE(pc.Exchange({0x42, 0x44, 0x44, 0x07}, 0));   // sector 7 erase: status due in 200 ms
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));               // closes and reopens at once
    ASSERT_TRUE(sim.WaitForResetCount(1, 2000));
    ASSERT_TRUE(pc.Send({0x00}));
    EXPECT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(2, 300));
    for (int nReset = 2; nReset <= 4; ++nReset) {   // however quickly the PC comes back
        ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
        ASSERT_TRUE(pc.Send({0x00}));
        ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1)) << "reset " << nReset;
    }
    // An answer already on the line but never read goes with the closed port.
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    std::vector<uint8_t> vecStart = TestBootstrapCode();
    vecStart.insert(vecStart.begin(), 0x00);
    ASSERT_TRUE(pc.Send(vecStart));
    ASSERT_TRUE(sim.WaitForStage(EBoardStage::BootstrapCode, 2000));
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    ASSERT_TRUE(sim.WaitForResetCount(6, 2000));
    EXPECT_TRUE(pc.Receive(1, 50).empty());
    ASSERT_TRUE(pc.Send({0x55, 0xFF}));   // line noise before the 0x00 is no boot request
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    std::vector<uint8_t> vecPair;
    ASSERT_TRUE(pc.Exchange(kReadBackAt0, 2, &vecPair));
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x34}), vecPair);
    EXPECT_EQ(6, sim.GetResetCount());
}

// An unprivileged PC locks the port with TIOCEXCL; after it closed, it must get the port again.
TEST(BoardReset, ExclusiveUseEndsWithTheSession)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the pty to an unprivileged user";
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    const std::string strPath = sim.GetDevicePath();
    ASSERT_EQ(0, chown(strPath.c_str(), 65534, 65534));
    auto fnRunAsNobody = [&](bool bLock) {
        const pid_t pid = fork();
        if (pid == 0) {   // only async-signal-safe calls here
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(2);
            const int hPort = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            _exit(hPort < 0 ? 1 : (bLock && ioctl(hPort, TIOCEXCL) != 0) ? 3 : 0);
        }
        int nStatus = -1;
        waitpid(pid, &nStatus, 0);
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    };
    ASSERT_EQ(0, fnRunAsNobody(true));
    ASSERT_TRUE(sim.WaitForResetCount(1, 2000));
    EXPECT_EQ(0, fnRunAsNobody(false));
}

// A lower bound only: an unpaced board would answer at once.
TEST(BoardPacing, BytesTakeTenBitTimesEachWay)
{
    CBoardSim sim;
    sim.SetBaudRate(57600);
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    const std::chrono::duration<double> dByte(10.0 / 57600);
    ASSERT_TRUE(pc.Send({0x00}));
    ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1));
    const std::vector<uint8_t> vecChain = BootChain({CPayloadFormat::kFlasherMark});
    auto tStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(pc.Send(vecChain));
    ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1));
    EXPECT_GE(std::chrono::steady_clock::now() - tStart, static_cast<double>(vecChain.size() + 1) * dByte);
    tStart = std::chrono::steady_clock::now();
    for (int v = 0; v <= 0xFE; ++v)
        ASSERT_TRUE(pc.Exchange({static_cast<uint8_t>(v)}, 0));
    EXPECT_GE(std::chrono::steady_clock::now() - tStart, 255 * 2 * dByte);
}

TEST(BoardFlash, LoadAndSaveRoundTripAndAFlasherOfOtherSizeErases)
{
    CTempDir dir;
    std::vector<uint8_t> vecImage(2 * 32768, 0xFF);
    vecImage[0] = 0xA5;
    vecImage.back() = 0x5A;
    std::ofstream(dir.Path("in.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(vecImage.data()), static_cast<std::streamsize>(vecImage.size()));
    CBoardSim sim;
    EXPECT_TRUE(sim.GetFlash().empty());
    ASSERT_EQ(0, sim.LoadFlash(dir.Path("in.bin")));
    ASSERT_EQ(0, sim.SaveFlash(dir.Path("out.bin")));
    EXPECT_EQ(vecImage, sim.GetFlash());
    EXPECT_EQ(fs::file_size(dir.Path("in.bin")), fs::file_size(dir.Path("out.bin")));
    std::ofstream(dir.Path("odd.bin")) << "not a whole sector";
    EXPECT_EQ(-1, sim.LoadFlash(dir.Path("odd.bin")));
    EXPECT_EQ(-1, sim.LoadFlash(dir.Path("missing.bin")));

    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(CPayloadFormat::BuildFlasher(64, 2, "two")));   // the loaded chip: contents stay
    std::vector<uint8_t> vecPair;
    ASSERT_TRUE(pc.Exchange(kReadBackAt0, 2, &vecPair));
    EXPECT_EQ((std::vector<uint8_t>{0xA5, 0xFF}), vecPair);
    pc.Close();
    ASSERT_TRUE(sim.WaitForResetCount(1, 2000));
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    ASSERT_TRUE(pc.Boot(TestFlasher()));   // another chip: a fresh, erased one
    EXPECT_EQ(std::vector<uint8_t>(8 * 32768, 0xFF), sim.GetFlash());
}

// The executable: path first, registration, a working board, clean end on SIGTERM.
TEST(BoardSimExecutable, PrintsRegistersServesAndCleansUp)
{
    CTempDir dir;
    ASSERT_EQ(0, setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1));   // where this test looks
    CChildProcess sim;
    ASSERT_EQ(0, sim.Start(KELVORA_BOARDSIM_PATH, {"--name", "simtest"}));
    const std::string strLine = sim.ReadFirstLine();
    ASSERT_EQ(0u, strLine.rfind("/dev/pts/", 0)) << strLine;
    const fs::path pathLink = fs::path(CSimPortRegistry::GetDefaultDirectory()) / "simtest";
    EXPECT_EQ(fs::path(strLine), fs::read_symlink(pathLink));
    {
        CPcSide pc(pathLink.string());
        EXPECT_TRUE(pc.Boot(TestFlasher()));
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(0, sim.Wait());
    EXPECT_TRUE(fs::is_empty(pathLink.parent_path()));   // the link and its lock file
    unsetenv("XDG_RUNTIME_DIR");
}

// Usage errors end with status 2 before a board starts, --help with 0 and the options on stdout.
TEST(BoardSimExecutable, OptionsItRefusesAndHelp)
{
    const struct
    {
        std::vector<std::string> args;
        int nStatus;
    } cases[] = {
        {{"--help"}, 0},
        {{"--baud", "fast"}, 2},
        {{"--sector-erase-ms", "3600001"}, 2},
        {{"--cpu-id", "1C5"}, 2},
        {{"--adapter-latency", "256"}, 2},
        {{"--name", "a/b"}, 2},
        {{"--name", ".hidden"}, 2},
        {{"--flip-read-address"}, 2},   // its value missing
        {{"--no-such-option"}, 2},
        {{"extra"}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        CChildProcess sim;   // ends a board that started after all
        ASSERT_EQ(0, sim.Start(KELVORA_BOARDSIM_PATH, c.args));
        EXPECT_EQ(c.nStatus, sim.Wait());
        // Both list every option; an error names what was wrong first, all of it on standard error.
        const std::string strOutput = c.nStatus == 0 ? sim.m_strOut : sim.m_strErr;
        EXPECT_NE(std::string::npos, strOutput.find("--flip-read-address ADDR")) << strOutput;
        EXPECT_NE(std::string::npos, strOutput.find("--adapter-latency MS")) << strOutput;
        if (c.nStatus != 0) {
            EXPECT_EQ(0u, strOutput.rfind("kelvora-boardsim: ", 0)) << strOutput;
            EXPECT_EQ("", sim.m_strOut);
        }
    }
}

// The data bytes of a hex file in address order, and where they start.
std::vector<uint8_t> HexBytes(const std::string& strPath, uint32_t* pdwFirst = nullptr)
{
    CHexFile file(strPath.c_str());
    std::vector<uint8_t> vecBytes;
    if (file.Verify() != 0 || file.Load() != 0)
        return vecBytes;
    for (const HexItem* pItem = file.m_pFirst; pItem != nullptr; pItem = pItem->pNext)
        vecBytes.push_back(pItem->byValue);
    if (pdwFirst != nullptr && file.m_pFirst != nullptr)
        *pdwFirst = file.m_pFirst->dwAddress;
    return vecBytes;
}

// The files kelvora-mktargets writes boot the board as the chips they name.
TEST(TargetFiles, StandardSetBootsTheBoard)
{
    CTempDir dir;
    ASSERT_EQ(0, CTargetFiles::WriteStandardSet(dir.Path()));
    EXPECT_EQ(TestBootstrapCode(), HexBytes(dir.Path("prel1.hex")));
    EXPECT_EQ(TestFirstLoader(), HexBytes(dir.Path("prel2.hex")));
    EXPECT_EQ(0x8000u, HexBytes(dir.Path("sample.hex")).size());
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    for (const CFlasherSpec& spec : CTargetFiles::kStandardFlashers) {
        uint32_t dwFirst = 0;
        const std::vector<uint8_t> vecFlasher = HexBytes(dir.Path(spec.pszFileName), &dwFirst);
        EXPECT_EQ(0x10000u, dwFirst);
        EXPECT_EQ(spec.nSize, vecFlasher.size());
        ASSERT_TRUE(pc.Boot(vecFlasher)) << spec.pszFileName;
        EXPECT_EQ(spec.nSectorCount, sim.GetSectorCount());
        EXPECT_EQ(spec.pszInfo, sim.GetInfoText());
        ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    }
}

}   // namespace
