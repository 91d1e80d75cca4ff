// The echoed protocol through a USB serial adapter in front of the simulated board.
#include <chrono>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
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

// --pipeline without a depth: the connection test times the round trip one byte at a time, then
// the job sends as far ahead as that round trip needs.
class PipelinedBoot : public CBoardFixture
{};

TEST_F(PipelinedBoot, DeepensToTheRoundTrip)
{
    m_board.SetAdapterLatency(16);
    CBootSettings settings;
    settings.strPort = m_board.GetDevicePath();
    settings.nBaudRate = kLinkBaudRate;
    settings.strLoaderDir = m_dir.Path();
    settings.nPipelineDepth = 16;
    settings.bDepthFromLine = true;
    CLineSink sink;
    ASSERT_EQ(0, RunBootChain(m_link, settings, sink)) << m_link.GetErrorText();
    const double dRoundTripMs = m_link.GetRoundTripMs();
    EXPECT_GE(dRoundTripMs, 16.0);
    EXPECT_EQ(GetDepthForRoundTrip(dRoundTripMs, kLinkBaudRate, 16), m_link.GetPipelineDepth());
    EXPECT_GT(m_link.GetPipelineDepth(), 16);
}

INSTANTIATE_TEST_SUITE_P(Latencies, AdapterLink,
                         ::testing::Values(CAdapterCase{0, 0}, CAdapterCase{1, 1}, CAdapterCase{16, 1}),
                         [](const ::testing::TestParamInfo<CAdapterCase>& param) {
                             return std::to_string(param.param.nLatencyMs) + "ms";
                         });
}   // namespace
