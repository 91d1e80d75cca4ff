// The echoed protocol through a USB serial adapter in front of the simulated board.
#include <chrono>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
#include "linktestsupport.h"
#include "support/namedcase.h"

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
// the job sends as far ahead as that round trip needs. The bounds are wide for a busy machine,
// yet a round trip taken in another unit (1000 times off) and the depth chosen from it fall out.
struct CRoundTripCase : CNamedCase
{
    int nAdapterMs;   // 0: no adapter
    int nBaudRate;    // the link's; the board's line is paced at it unless an adapter sits between
    int nDepth;       // asked for: the least the line's depth may be
    double dMinMs, dMaxMs;
    int nMinDepth, nMaxDepth;
};

class PipelinedBoot : public CBoardFixture, public ::testing::WithParamInterface<CRoundTripCase>
{};

TEST_P(PipelinedBoot, DeepensToTheRoundTrip)
{
    const CRoundTripCase& c = GetParam();
    WriteTargets(64);   // a short boot on a slow line
    m_board.SetAdapterLatency(c.nAdapterMs);
    if (c.nAdapterMs == 0)
        m_board.SetBaudRate(c.nBaudRate);
    CBootSettings settings;
    settings.strPort = m_board.GetDevicePath();
    settings.nBaudRate = c.nBaudRate;
    settings.strLoaderDir = m_dir.Path();
    settings.nPipelineDepth = c.nDepth;
    settings.bDepthFromLine = true;
    CLineSink sink;
    ASSERT_EQ(0, RunBootChain(m_link, settings, sink)) << m_link.GetErrorText();
    const double dRoundTripMs = m_link.GetRoundTripMs();
    EXPECT_GE(dRoundTripMs, c.dMinMs);
    EXPECT_LT(dRoundTripMs, c.dMaxMs);
    EXPECT_EQ(GetDepthForRoundTrip(dRoundTripMs, c.nBaudRate, c.nDepth), m_link.GetPipelineDepth());
    EXPECT_GE(m_link.GetPipelineDepth(), c.nMinDepth);
    EXPECT_LE(m_link.GetPipelineDepth(), c.nMaxDepth);
}

// 9600 bit/s: an echo takes at least its answer's byte time, 1.04 ms, and 200 ms is the line's
// 192 bytes; 921600 bit/s carries more than the deepest pipeline within 16 ms.
INSTANTIATE_TEST_SUITE_P(Link, PipelinedBoot,
                         ::testing::Values(CRoundTripCase{"PacedLine", 0, 9600, 2, 1.0, 200.0, 3, 194},
                                           CRoundTripCase{"Adapter16ms", 16, 921600, 16, 16.0, 200.0, 255,
                                                          255}),
                         CCaseName());

INSTANTIATE_TEST_SUITE_P(Latencies, AdapterLink,
                         ::testing::Values(CAdapterCase{0, 0}, CAdapterCase{1, 1}, CAdapterCase{16, 1}),
                         [](const ::testing::TestParamInfo<CAdapterCase>& param) {
                             return std::to_string(param.param.nLatencyMs) + "ms";
                         });
}   // namespace
