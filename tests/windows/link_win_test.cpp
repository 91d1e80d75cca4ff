// The target link built for Windows against a simulated board on a COM port: the whole boot
// sequence, the flasher program's commands, and the sample image programmed and verified.
// The runner then compares the simulator's flash with the image.
#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "wintestenv.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
constexpr int kBaudRate = 57600;
constexpr int kStandardSectors = 8;   // the sector count main.h86 reports

class CLastProgress : public CProgressSink
{
public:
    void SetProgress(int nPos) override { m_nLast = nPos; }
    int m_nLast = -1;
};

class LinkWin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::vector<std::string> ports = TestPorts();
        m_strTargets = TestEnvironment("KELVORA_TEST_TARGETS");
        if (ports.empty() || m_strTargets.empty())
            GTEST_SKIP() << "KELVORA_TEST_PORTS or KELVORA_TEST_TARGETS not set";
        m_strPort = ports[0];
    }
    void TearDown() override { m_link.Close(); }

    int Boot()
    {
        const std::string strBsl = m_strTargets + "\\prel1.hex";
        const std::string strFirst = m_strTargets + "\\prel2.hex";
        const std::string strSecond = m_strTargets + "\\main.h86";
        if (m_link.Init(m_strPort.c_str(), kBaudRate, strBsl.c_str(), strFirst.c_str(), strSecond.c_str()) !=
            0)
            return -1;
        CLastProgress progress;
        if (m_link.Connect() != static_cast<signed char>(kFirstBoardId) || m_link.SendBsl() != 0 ||
            m_link.SendFirstLoader() != 0 || m_link.SendSecondLoader(&progress) != 0 ||
            m_link.TestConnection(&progress) != 0)
            return -1;
        return progress.m_nLast >= 100 ? 0 : -1;
    }

    std::string m_strPort;
    std::string m_strTargets;
    CTargetLink m_link;
};

TEST_F(LinkWin, BootsTheBoardAndTalksToItsFlasherProgram)
{
    ASSERT_EQ(Boot(), 0) << m_link.GetErrorText();
    ASSERT_EQ(m_link.SelectInfoGroup(), 0) << m_link.GetErrorText();
    const std::unique_ptr<std::string> pInfo = m_link.GetInfoText();
    ASSERT_NE(pInfo, nullptr) << m_link.GetErrorText();
    EXPECT_FALSE(pInfo->empty());
    ASSERT_EQ(m_link.SelectEraseGroup(), 0) << m_link.GetErrorText();
    EXPECT_EQ(m_link.GetSectorCount(), kStandardSectors) << m_link.GetErrorText();
}

TEST_F(LinkWin, ProgramsAndVerifiesTheImage)
{
    const std::string strImage = TestEnvironment("KELVORA_TEST_IMAGE");
    if (strImage.empty())
        GTEST_SKIP() << "KELVORA_TEST_IMAGE not set";
    CHexFile image(strImage.c_str());
    ASSERT_EQ(image.Verify(), 0);
    ASSERT_EQ(image.Load(), 0);
    ASSERT_EQ(Boot(), 0) << m_link.GetErrorText();
    ASSERT_EQ(m_link.SelectEraseGroup(), 0) << m_link.GetErrorText();
    ASSERT_EQ(m_link.EraseChip(), 0) << m_link.GetErrorText();
    CLastProgress progress;
    ASSERT_EQ(m_link.SelectFlashGroup(), 0) << m_link.GetErrorText();
    ASSERT_EQ(m_link.ProgramImage(&progress, &image), 0) << m_link.GetErrorText();
    ASSERT_EQ(m_link.SelectFlashGroup(), 0) << m_link.GetErrorText();
    EXPECT_EQ(m_link.VerifyImage(&progress, &image), 0) << m_link.GetErrorText();
    EXPECT_EQ(m_link.m_bVerifyMismatch, 0);
}

TEST(LinkWinNoBoard, MissingPortGivesTheLinkTextAndTheSystemsReason)
{
    CTargetLink link;
    EXPECT_EQ(link.Init("\\\\.\\COM198", kBaudRate, "prel1.hex", "prel2.hex", "main.h86"), -1);
    EXPECT_EQ(link.GetErrorText(), "Error, cannot open serial port");
    EXPECT_EQ(link.m_nSystemError, 2);   // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(link.m_strSystemError.empty());
    link.Close();
}

}   // namespace
