// Reset on close, line pacing, flash files, the kelvora-boardsim executable and the target files.
#include "pcside.h"

#include "serial/simportdirectory.h"
#include "sim/boardsim.h"
#include "sim/payloadformat.h"
#include "sim/targetfiles.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class CTempDir
{
public:
    CTempDir()
    {
        char szTemplate[] = "/tmp/kelvora-simtest-XXXXXX";
        m_path = mkdtemp(szTemplate);
    }
    ~CTempDir() { fs::remove_all(m_path); }
    std::string operator/(const char* pszName) const { return (m_path / pszName).string(); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

TEST(BoardReset, CloseResetsTheBoardAndTheFlashSurvives)
{
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    ASSERT_TRUE(pc.Program(0x2000, {0x12, 0x34}));
    pc.Close();
    ASSERT_TRUE(sim.WaitForResetCount(1, 2000));
    EXPECT_EQ(EBoardStage::BootstrapLoader, sim.GetStage());
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x34}), pc.ReadPair(0x2000));
    EXPECT_EQ(1, sim.GetResetCount());
}

TEST(BoardReset, ImmediateReopenIsStillAReset)
{
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    for (int nRound = 1; nRound <= 3; ++nRound) {
        ASSERT_TRUE(pc.Send({0x00}));
        ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1)) << "round " << nRound;
        ASSERT_TRUE(pc.Open(sim.GetDevicePath()));   // closes and reopens at once
    }
    ASSERT_TRUE(sim.WaitForResetCount(3, 2000));
    ASSERT_TRUE(pc.Boot(TestFlasher()));
}

TEST(BoardReset, AnswersPendingAtCloseAreDropped)
{
    CBoardSim sim;
    sim.SetEraseTimes(20, 300);
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    ASSERT_TRUE(pc.Exchange({0x44, 0x43}, 0));   // chip erase: status due in 300 ms
    pc.Close();
    ASSERT_TRUE(sim.WaitForResetCount(1, 2000));
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    ASSERT_TRUE(pc.Send({0x00}));
    EXPECT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1));
    EXPECT_TRUE(pc.Receive(1, 400).empty());
    // An answer the PC never read goes with the closed port.
    pc.Close();
    ASSERT_TRUE(sim.WaitForResetCount(2, 2000));
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    ASSERT_TRUE(pc.Send({0x00}));
    pc.Close();
    ASSERT_TRUE(sim.WaitForResetCount(3, 2000));
    ASSERT_TRUE(pc.Open(sim.GetDevicePath()));
    EXPECT_TRUE(pc.Receive(1, 50).empty());
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

TEST(BoardPacing, BytesTakeTenBitTimesEachWay)
{
    CBoardSim sim;
    sim.SetBaudRate(57600);
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Send({0x00}));
    ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1));
    std::vector<uint8_t> vecChain = TestBootstrapCode();
    vecChain.insert(vecChain.end(), TestFirstLoader().begin(), TestFirstLoader().end());
    vecChain.insert(vecChain.end(), {0x00, 0x00, CPayloadFormat::kFlasherMark});
    auto tStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(pc.Send(vecChain));
    ASSERT_EQ(std::vector<uint8_t>{0xC5}, pc.Receive(1));
    const double dByteS = 10.0 / 57600;
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count(),
              (vecChain.size() + 1) * dByteS);
    tStart = std::chrono::steady_clock::now();
    for (int v = 0; v <= 0xFE; ++v)
        ASSERT_TRUE(pc.Exchange({static_cast<uint8_t>(v)}, 0));
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count(), 255 * 2 * dByteS);
}

TEST(BoardFlash, SaveAndLoadRoundTripAndSurviveAMatchingFlasher)
{
    CTempDir dir;
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    ASSERT_TRUE(pc.Program(0x3FFFE, {0xA5, 0x5A}));
    ASSERT_EQ(0, sim.SaveFlash(dir / "flash.bin"));

    CBoardSim other;
    EXPECT_TRUE(other.GetFlash().empty());
    ASSERT_EQ(0, other.LoadFlash(dir / "flash.bin"));
    EXPECT_EQ(sim.GetFlash(), other.GetFlash());
    ASSERT_EQ(0, other.Start());
    CPcSide pcOther(other.GetDevicePath());
    ASSERT_TRUE(pcOther.Boot(TestFlasher()));   // same sector count: contents stay
    EXPECT_EQ(sim.GetFlash(), other.GetFlash());
    pcOther.Close();
    ASSERT_TRUE(other.WaitForResetCount(1, 2000));
    ASSERT_TRUE(pcOther.Open(other.GetDevicePath()));
    ASSERT_TRUE(pcOther.Boot(CPayloadFormat::BuildFlasher(64, 2, "two")));   // another chip: erased
    EXPECT_EQ(std::vector<uint8_t>(2 * 32768, 0xFF), other.GetFlash());

    std::ofstream(dir / "odd.bin") << "not a whole sector";
    EXPECT_EQ(-1, other.LoadFlash(dir / "odd.bin"));
    EXPECT_EQ(-1, other.LoadFlash(dir / "missing.bin"));
}

// The executable: path first, registration, a working board, clean end on SIGTERM.
TEST(BoardSimExecutable, PrintsRegistersServesAndCleansUp)
{
    CTempDir dir;
    ASSERT_EQ(0, setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1));
    int aPipe[2];
    ASSERT_EQ(0, pipe(aPipe));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(aPipe[1], STDOUT_FILENO);
        close(aPipe[0]);
        close(aPipe[1]);
        execl(KELVORA_BOARDSIM_PATH, "kelvora-boardsim", "--name", "simtest", "--chip-erase-ms", "10",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(aPipe[1]);
    std::string strLine;
    struct pollfd pfd = {aPipe[0], POLLIN, 0};
    char ch = 0;
    while (strLine.find('\n') == std::string::npos && poll(&pfd, 1, 5000) > 0 && read(aPipe[0], &ch, 1) == 1)
        strLine += ch;
    close(aPipe[0]);
    ASSERT_EQ(0u, strLine.rfind("/dev/pts/", 0)) << strLine;
    strLine.pop_back();

    const fs::path pathLink = fs::path(GetSimulatorPortDirectory()) / "simtest";
    EXPECT_EQ(fs::path(strLine), fs::read_symlink(pathLink));
    {
        CPcSide pc(pathLink.string());
        EXPECT_TRUE(pc.Boot(TestFlasher()));
    }
    ASSERT_EQ(0, kill(pid, SIGTERM));
    int nStatus = 0;
    ASSERT_EQ(pid, waitpid(pid, &nStatus, 0));
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << nStatus;
    EXPECT_FALSE(fs::exists(fs::symlink_status(pathLink)));
    unsetenv("XDG_RUNTIME_DIR");
}

// Minimal reader of what CTargetFiles writes: checks every record, collects the data bytes.
bool ReadHex(const std::string& strPath, std::vector<uint8_t>& vecData, uint32_t& dwFirst)
{
    std::ifstream file(strPath, std::ios::binary);
    uint32_t dwBase = 0;
    dwFirst = UINT32_MAX;
    for (std::string strLine; std::getline(file, strLine);) {
        if (strLine.back() == '\r')
            strLine.pop_back();
        if (strLine[0] != ':' || strLine.find_first_not_of("0123456789ABCDEF", 1) != std::string::npos)
            return false;
        std::vector<uint8_t> vecRecord;
        uint8_t bySum = 0;
        for (size_t i = 1; i + 1 < strLine.size(); i += 2) {
            vecRecord.push_back(static_cast<uint8_t>(std::stoi(strLine.substr(i, 2), nullptr, 16)));
            bySum = static_cast<uint8_t>(bySum + vecRecord.back());
        }
        if (bySum != 0 || vecRecord.size() != vecRecord[0] + 5u)
            return false;
        const uint32_t dwValue = vecRecord.size() == 7 ? (vecRecord[4] << 8) | vecRecord[5] : 0;
        if (vecRecord[3] == 0x02 || vecRecord[3] == 0x04)
            dwBase = dwValue << (vecRecord[3] == 0x02 ? 4 : 16);
        if (vecRecord[3] == 0x00 && dwFirst == UINT32_MAX)
            dwFirst = dwBase + ((vecRecord[1] << 8) | vecRecord[2]);
        if (vecRecord[3] == 0x00)
            vecData.insert(vecData.end(), vecRecord.begin() + 4, vecRecord.end() - 1);
    }
    return !vecData.empty();
}

TEST(TargetFiles, StandardSetHoldsValidPayloads)
{
    CTempDir dir;
    ASSERT_EQ(0, CTargetFiles::WriteStandardSet(dir.Path().string()));
    std::vector<uint8_t> vecBootstrap, vecFirstLoader;
    uint32_t dwFirst = 0;
    ASSERT_TRUE(ReadHex(dir / "prel1.hex", vecBootstrap, dwFirst));
    ASSERT_TRUE(ReadHex(dir / "prel2.hex", vecFirstLoader, dwFirst));
    ASSERT_EQ(32u, vecBootstrap.size());
    size_t nSize = 0;
    uint16_t wCrc = 0;
    ASSERT_EQ(0, CPayloadFormat::CheckBootstrapCode(vecBootstrap, nSize, wCrc));
    EXPECT_EQ(vecFirstLoader.size(), nSize);
    EXPECT_EQ(0, CPayloadFormat::CheckFirstLoader(vecFirstLoader, wCrc));
    for (const CFlasherSpec& spec : CTargetFiles::kStandardFlashers) {
        std::vector<uint8_t> vecFlasher;
        ASSERT_TRUE(ReadHex(dir / spec.pszFileName, vecFlasher, dwFirst));
        EXPECT_EQ(0x10000u, dwFirst);
        CFlasherFacts facts;
        ASSERT_EQ(0, CPayloadFormat::CheckFlasher(vecFlasher, facts)) << spec.pszFileName;
        EXPECT_EQ(spec.nSize, vecFlasher.size());
        EXPECT_EQ(spec.nSectorCount, facts.nSectorCount);
        EXPECT_EQ(spec.pszInfo, facts.strInfo);
        EXPECT_LE(facts.strInfo.size(), 127u);
    }
    std::vector<uint8_t> vecSample;
    ASSERT_TRUE(ReadHex(dir / "sample.hex", vecSample, dwFirst));
    EXPECT_EQ(0x8000u, vecSample.size());
}

TEST(TargetFiles, BuildersRefuseWhatTheFormatCannotHold)
{
    EXPECT_TRUE(CPayloadFormat::BuildFlasher(0, 8, "").empty());
    EXPECT_TRUE(CPayloadFormat::BuildFlasher(65537, 8, "").empty());
    EXPECT_TRUE(CPayloadFormat::BuildFlasher(20, 8, std::string(11, 'x')).empty());
    EXPECT_TRUE(CPayloadFormat::BuildFlasher(4096, 8, std::string(128, 'x')).empty());
    EXPECT_EQ(21u, CPayloadFormat::BuildFlasher(21, 255, std::string(11, 'x')).size());
    EXPECT_TRUE(CPayloadFormat::BuildFirstLoader(3).empty());
}

}  // namespace
