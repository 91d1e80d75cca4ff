// The target link built for Windows against a simulated board on a COM port: the whole boot
// sequence, the flasher program's commands, and the sample image programmed and verified.
// The runner then compares the simulator's flash with the image.
#include "hex/hexfile.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "wintestenv.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The boot chain's lines, and the last position of its steps' progress.
class CLogSink : public CJobSink
{
public:
    void Log(const std::string& strLine) override { m_vecLines.push_back(strLine); }
    void Error(const std::string& strText) override { m_vecLines.push_back(strText); }
    CProgressSink* BeginStep(const CJobStep&) override { return &m_progress; }
    void EndStep(bool) override {}
    std::vector<std::string> m_vecLines;
    CLastProgress m_progress;
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
        CBootSettings settings;
        settings.strPort = m_strPort;
        settings.nBaudRate = kBaudRate;
        settings.strLoaderDir = m_strTargets;
        CLogSink sink;
        if (RunBootChain(m_link, settings, sink) != 0)
            return -1;
        const bool bIdSeen = std::find(sink.m_vecLines.begin(), sink.m_vecLines.end(),
                                       FormatCpuIdLine(kFirstBoardId)) != sink.m_vecLines.end();
        return bIdSeen && sink.m_progress.m_nLast >= 100 ? 0 : -1;
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
    EXPECT_EQ(m_link.GetVerifyMismatch(), nullptr);
}

TEST(LinkWinNoBoard, MissingPortGivesTheLinkTextAndTheSystemsReason)
{
    CTargetLink link;
    EXPECT_EQ(link.Init("\\\\.\\COM198", kBaudRate, "prel1.hex", "prel2.hex", "main.h86"), -1);
    EXPECT_EQ(link.GetErrorText(), "Error, cannot open serial port");
    EXPECT_EQ(link.GetSystemError(), 2);   // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(link.GetSystemErrorText().empty());
    link.Close();
}

}   // namespace
