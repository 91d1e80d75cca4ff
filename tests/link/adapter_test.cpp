// The echoed protocol through a USB serial adapter in front of the simulated board.
#include <chrono>

#include "hex/hexfile.h"
#include "linktestsupport.h"

namespace
{
struct CAdapterCase
{
    int nLatencyMs;
    int nTestLatencyMs;   // during the echo test: its 255 round trips would take 4.3 s at 16 ms
};

class AdapterLink : public CBoardFixture, public ::testing::WithParamInterface<CAdapterCase>
{};

TEST_P(AdapterLink, BootsProgramsAndVerifies)
{
    const CAdapterCase& c = GetParam();
    m_board.SetAdapterLatency(c.nLatencyMs);
    ASSERT_EQ(0, Init(m_link));
    ASSERT_EQ(-59, m_link.Connect());   // 0xC5 as a signed char
    ASSERT_EQ(0, m_link.SendBsl());
    ASSERT_EQ(0, m_link.SendFirstLoader());
    CRecordingProgress progress;
    ASSERT_EQ(0, m_link.SendSecondLoader(&progress)) << m_link.GetErrorText();
    m_board.SetAdapterLatency(c.nTestLatencyMs);
    ASSERT_EQ(0, m_link.TestConnection(&progress)) << m_link.GetErrorText();
    m_board.SetAdapterLatency(c.nLatencyMs);

    WriteHexFile(m_dir.Path("image.hex"), {{0x100, Pattern(4)}});
    CHexFile image(m_dir.Path("image.hex").c_str());
    ASSERT_EQ(0, image.Verify());
    ASSERT_EQ(0, image.Load());
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    ASSERT_EQ(0, m_link.ProgramImage(&progress, &image)) << m_link.GetErrorText();
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    EXPECT_EQ(0, m_link.VerifyImage(&progress, &image)) << m_link.GetErrorText();
    EXPECT_EQ(0, m_board.GetOverrunCount());
}

INSTANTIATE_TEST_SUITE_P(Latencies, AdapterLink,
                         ::testing::Values(CAdapterCase{0, 0}, CAdapterCase{1, 1}, CAdapterCase{16, 1}),
                         [](const ::testing::TestParamInfo<CAdapterCase>& param) {
                             return std::to_string(param.param.nLatencyMs) + "ms";
                         });
}   // namespace
