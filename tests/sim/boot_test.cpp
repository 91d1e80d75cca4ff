// The boot chain of the simulated board, byte by byte, and how each stage refuses what it cannot run.
#include "pcside.h"

#include "sim/boardsim.h"
#include "sim/payloadformat.h"

#include <gtest/gtest.h>

namespace {

class BootTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, m_sim.Start());
        ASSERT_TRUE(m_pc.Open(m_sim.GetDevicePath()));
    }
    // Everything up to the flasher program's bytes, which the case supplies.
    void SendChain(const std::vector<uint8_t>& vecBootstrap, const std::vector<uint8_t>& vecFirstLoader,
                   const std::vector<uint8_t>& vecLength, const std::vector<uint8_t>& vecFlasher)
    {
        ASSERT_TRUE(m_pc.Send({0x00}));
        ASSERT_EQ(std::vector<uint8_t>{0xC5}, m_pc.Receive(1));
        std::vector<uint8_t> vecAll = vecBootstrap;
        for (const auto* pPart : {&vecFirstLoader, &vecLength, &vecFlasher})
            vecAll.insert(vecAll.end(), pPart->begin(), pPart->end());
        ASSERT_TRUE(m_pc.Send(vecAll));
    }

    CBoardSim m_sim;
    CPcSide m_pc{""};
};

std::vector<uint8_t> LengthOf(size_t nSize)
{
    return {static_cast<uint8_t>((nSize - 1) >> 8), static_cast<uint8_t>(nSize - 1)};
}

TEST_F(BootTest, WholeBootIsExactlyTheseBytes)
{
    ASSERT_TRUE(m_pc.Boot(TestFlasher()));
    std::vector<CWireByte> vecExpected = {{true, 0x00}, {false, 0xC5}};
    for (const auto* pPart : {&TestBootstrapCode(), &TestFirstLoader()})
        for (uint8_t by : *pPart)
            vecExpected.push_back({true, by});
    vecExpected.push_back({true, 0x03});   // 1024 - 1, most significant first
    vecExpected.push_back({true, 0xFF});
    for (uint8_t by : TestFlasher())
        vecExpected.push_back({true, by});
    vecExpected.push_back({false, 0xC5});
    for (int v = 0; v <= 0xFE; ++v) {
        vecExpected.push_back({true, static_cast<uint8_t>(v)});
        vecExpected.push_back({false, static_cast<uint8_t>(v)});
    }
    const std::vector<CWireByte> vecLog = m_sim.GetWireLog();
    ASSERT_EQ(vecExpected.size(), vecLog.size());
    for (size_t i = 0; i < vecLog.size(); ++i) {
        ASSERT_EQ(vecExpected[i].bToBoard, vecLog[i].bToBoard) << "at " << i;
        ASSERT_EQ(vecExpected[i].byValue, vecLog[i].byValue) << "at " << i;
    }
    EXPECT_EQ(EBoardStage::Flasher, m_sim.GetStage());
    EXPECT_EQ(8, m_sim.GetSectorCount());
    EXPECT_EQ(kTestInfo, m_sim.GetInfoText());
    EXPECT_EQ(8u * 32768u, m_sim.GetFlash().size());
}

TEST_F(BootTest, BytesBeforeTheZeroAreIgnored)
{
    ASSERT_TRUE(m_pc.Send({0x55, 0xFF, 0x12}));
    EXPECT_TRUE(m_pc.Receive(1, 100).empty());
    ASSERT_TRUE(m_pc.Boot(TestFlasher()));
}

struct CSizeCase
{
    size_t nSize;
    int nSectors;        // expected: minimal programs run with the default facts
    uint8_t abyLength[2];
};

class FlasherSizeTest : public BootTest, public ::testing::WithParamInterface<CSizeCase>
{};

TEST_P(FlasherSizeTest, BootsAndReportsItsChip)
{
    const CSizeCase& c = GetParam();
    ASSERT_TRUE(m_pc.Boot(CPayloadFormat::BuildFlasher(c.nSize, 3, "x")));
    EXPECT_EQ(c.nSectors, m_sim.GetSectorCount());
    const std::vector<CWireByte> vecLog = m_sim.GetWireLog();
    const size_t nAt = 2 + TestBootstrapCode().size() + TestFirstLoader().size();
    EXPECT_EQ(c.abyLength[0], vecLog[nAt].byValue);
    EXPECT_EQ(c.abyLength[1], vecLog[nAt + 1].byValue);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlasherSizeTest,
                         ::testing::Values(CSizeCase{1, CPayloadFormat::kDefaultSectorCount, {0x00, 0x00}},
                                           CSizeCase{9, CPayloadFormat::kDefaultSectorCount, {0x00, 0x08}},
                                           CSizeCase{256, 3, {0x00, 0xFF}}, CSizeCase{4096, 3, {0x0F, 0xFF}},
                                           CSizeCase{65536, 3, {0xFF, 0xFF}}));

// A stage that gets something it cannot run falls silent: no flasher ID ever comes.
struct CBrokenCase
{
    const char* pszName;
    int nBootstrapAt;      // byte to damage, -1 none
    int nFirstLoaderAt;
    int nFlasherAt;
    int nDropFlasherBytes; // bytes lost on the way (the length still announces them)
    int nShortenFlasher;   // sent and announced shorter than built
};

class BrokenPayloadTest : public BootTest, public ::testing::WithParamInterface<CBrokenCase>
{};

TEST_P(BrokenPayloadTest, BoardFallsSilent)
{
    const CBrokenCase& c = GetParam();
    std::vector<uint8_t> vecBootstrap = TestBootstrapCode();
    std::vector<uint8_t> vecFirstLoader = TestFirstLoader();
    std::vector<uint8_t> vecFlasher = TestFlasher();
    if (c.nBootstrapAt >= 0)
        vecBootstrap[c.nBootstrapAt] ^= 0x01;
    if (c.nFirstLoaderAt >= 0)
        vecFirstLoader[c.nFirstLoaderAt] ^= 0x10;
    if (c.nFlasherAt >= 0)
        vecFlasher[c.nFlasherAt] ^= 0x80;
    vecFlasher.resize(vecFlasher.size() - c.nShortenFlasher);
    const std::vector<uint8_t> vecLength = LengthOf(vecFlasher.size());
    vecFlasher.erase(vecFlasher.begin() + 500, vecFlasher.begin() + 500 + c.nDropFlasherBytes);
    SendChain(vecBootstrap, vecFirstLoader, vecLength, vecFlasher);
    if (c.nDropFlasherBytes > 0) {
        // The first stage loader still waits for the lost bytes; whatever comes next completes a bad program.
        EXPECT_TRUE(m_pc.Receive(1, 100).empty());
        ASSERT_TRUE(m_pc.Send(std::vector<uint8_t>(c.nDropFlasherBytes, 0x00)));
    }
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Silent, 2000));
    EXPECT_TRUE(m_pc.Receive(1, 0).empty());
    ASSERT_TRUE(m_pc.Send({0x00, 0x44, 0x53}));
    EXPECT_TRUE(m_pc.Receive(1, 100).empty());
    EXPECT_EQ(EBoardStage::Silent, m_sim.GetStage());
}

INSTANTIATE_TEST_SUITE_P(
    Stages, BrokenPayloadTest,
    ::testing::Values(CBrokenCase{"BootstrapMagic", 0, -1, -1, 0, 0},
                      CBrokenCase{"BootstrapChecksum", 31, -1, -1, 0, 0},
                      CBrokenCase{"FirstLoaderMagic", -1, 0, -1, 0, 0},
                      CBrokenCase{"FirstLoaderBody", -1, 100, -1, 0, 0},
                      CBrokenCase{"FlasherMark", -1, -1, 0, 0, 0},
                      CBrokenCase{"FlasherBody", -1, -1, 700, 0, 0},
                      CBrokenCase{"FlasherByteLost", -1, -1, -1, 1, 0},
                      CBrokenCase{"FlasherShortened", -1, -1, -1, 0, 1}),
    [](const ::testing::TestParamInfo<CBrokenCase>& caseInfo) { return std::string(caseInfo.param.pszName); });

TEST_F(BootTest, MinimalFlasherWithAForeignByteFallsSilent)
{
    SendChain(TestBootstrapCode(), TestFirstLoader(), LengthOf(2), {CPayloadFormat::kFlasherMark, 0x5B});
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Silent, 2000));
    EXPECT_TRUE(m_pc.Receive(1, 0).empty());
}

TEST_F(BootTest, EchoTestOutOfOrderFallsSilent)
{
    SendChain(TestBootstrapCode(), TestFirstLoader(), LengthOf(TestFlasher().size()), TestFlasher());
    ASSERT_EQ(std::vector<uint8_t>{0xC5}, m_pc.Receive(1));
    ASSERT_TRUE(m_pc.Exchange({0x00}, 0));
    ASSERT_TRUE(m_pc.Send({0x02}));
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Silent, 2000));
    EXPECT_TRUE(m_pc.Receive(1, 0).empty());
}

TEST_F(BootTest, StagesFollowTheChain)
{
    EXPECT_EQ(EBoardStage::BootstrapLoader, m_sim.GetStage());
    ASSERT_TRUE(m_pc.Send({0x00}));
    ASSERT_EQ(1u, m_pc.Receive(1).size());
    ASSERT_TRUE(m_pc.Send(TestBootstrapCode()));
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::BootstrapCode, 2000));
    ASSERT_TRUE(m_pc.Send(TestFirstLoader()));
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::FirstLoader, 2000));
    ASSERT_TRUE(m_pc.Send(LengthOf(1)));
    ASSERT_TRUE(m_pc.Send({CPayloadFormat::kFlasherMark}));
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Flasher, 2000));
    EXPECT_EQ(std::vector<uint8_t>{0xC5}, m_pc.Receive(1));
}

// Faults of the boot stages.
struct CBootFaultCase
{
    const char* pszName;
    CBoardFaults faults;
    std::vector<uint8_t> vecCpuAnswer;     // to the 0x00
    std::vector<uint8_t> vecFlasherId;     // when the flasher starts
    int nTestValue;                        // echo test value to look at
    uint8_t byTestEcho;
};

CBoardFaults Faults(void (*pfnSet)(CBoardFaults&))
{
    CBoardFaults faults;
    pfnSet(faults);
    return faults;
}

class BootFaultTest : public BootTest, public ::testing::WithParamInterface<CBootFaultCase>
{};

TEST_P(BootFaultTest, ShowsOnTheWire)
{
    const CBootFaultCase& c = GetParam();
    m_sim.SetFaults(c.faults);
    ASSERT_TRUE(m_pc.Send({0x00}));
    ASSERT_EQ(c.vecCpuAnswer, m_pc.Receive(1, c.vecCpuAnswer.empty() ? 100 : 2000));
    if (c.vecCpuAnswer.empty())
        return;
    std::vector<uint8_t> vecChain = TestBootstrapCode();
    vecChain.insert(vecChain.end(), TestFirstLoader().begin(), TestFirstLoader().end());
    vecChain.push_back(0x00);
    vecChain.push_back(0x00);
    vecChain.push_back(CPayloadFormat::kFlasherMark);
    ASSERT_TRUE(m_pc.Send(vecChain));
    ASSERT_EQ(c.vecFlasherId, m_pc.Receive(1));
    for (int v = 0; v < c.nTestValue; ++v)
        ASSERT_TRUE(m_pc.Exchange({static_cast<uint8_t>(v)}, 0));
    ASSERT_TRUE(m_pc.Send({static_cast<uint8_t>(c.nTestValue)}));
    EXPECT_EQ(std::vector<uint8_t>{c.byTestEcho}, m_pc.Receive(1));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BootFaultTest,
    ::testing::Values(
        CBootFaultCase{"NoAnswerToZero", Faults([](CBoardFaults& f) { f.bNoAnswerToZero = true; }), {}, {}, 0, 0},
        CBootFaultCase{"CpuId", Faults([](CBoardFaults& f) { f.nCpuId = 0x55; }), {0x55}, {0xC5}, 0, 0x00},
        CBootFaultCase{"FlasherId", Faults([](CBoardFaults& f) { f.nFlasherId = 0x33; }), {0xC5}, {0x33}, 0, 0x00},
        CBootFaultCase{"WrongTestEcho", Faults([](CBoardFaults& f) { f.nWrongTestEchoAt = 0xFE; }), {0xC5}, {0xC5},
                       0xFE, 0x01},
        // Received bytes: 0x00, 32 + 224 chain bytes, 2 length bytes, 1 flasher byte, then test 0x00 is byte 260.
        CBootFaultCase{"WrongEchoAtRx", Faults([](CBoardFaults& f) { f.nWrongEchoAtRx = 262; }), {0xC5}, {0xC5},
                       2, 0xFD}),
    [](const ::testing::TestParamInfo<CBootFaultCase>& caseInfo) { return std::string(caseInfo.param.pszName); });

}  // namespace
