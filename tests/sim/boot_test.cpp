// What only the board side shows of the boot chain and the flasher program: each stage refusing
// what it cannot run, the payload format's boundaries, and the edges of the chip.
#include "pcside.h"
#include <ostream>

#include "sim/boardsim.h"
#include "sim/payloadformat.h"
#include "support/namedcase.h"

#include <gtest/gtest.h>

namespace
{

class BoardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sim.SetEraseTimes(20, 40);
        ASSERT_EQ(0, m_sim.Start());
        ASSERT_TRUE(m_pc.Open(m_sim.GetDevicePath()));
    }

    CBoardSim m_sim;
    CPcSide m_pc{""};
};

std::vector<uint8_t> operator+(std::vector<uint8_t> vecA, const std::vector<uint8_t>& vecB)
{
    vecA.insert(vecA.end(), vecB.begin(), vecB.end());
    return vecA;
}

// Something a stage cannot run makes the board fall silent, and it stays so until a reset.
struct CSilentCase : CNamedCase
{
    bool bBooted;                   // sent after a whole boot, else after the bootstrap loader's ID
    std::vector<uint8_t> vecSend;   // the last byte is the one the board must refuse
    size_t nAnswers;                // what the bytes before it still get
};

class SilentTest : public BoardTest, public ::testing::WithParamInterface<CSilentCase>
{};

TEST_P(SilentTest, BoardFallsSilentUntilReset)
{
    const CSilentCase& c = GetParam();
    if (c.bBooted)
        ASSERT_TRUE(m_pc.Boot(TestFlasher()));
    else
        ASSERT_TRUE(m_pc.Send({0x00}) && m_pc.Receive(1) == std::vector<uint8_t>{0xC5});
    ASSERT_TRUE(m_pc.Send(c.vecSend));
    EXPECT_EQ(c.nAnswers, m_pc.Receive(c.nAnswers).size());
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Silent, 2000));
    ASSERT_TRUE(m_pc.Send({0x00, 0x44, 0x53}));
    EXPECT_TRUE(m_pc.Receive(1, 100).empty());
}

const std::vector<uint8_t> kMinimalForeign = {CPayloadFormat::kFlasherMark, 0x5B};

INSTANTIATE_TEST_SUITE_P(
    Stages, SilentTest,
    ::testing::Values(
        CSilentCase{"BootstrapMagic", false, BootChain(TestFlasher(), 0, 0), 0},
        CSilentCase{"BootstrapChecksum", false, BootChain(TestFlasher(), 0, 31), 0},
        CSilentCase{"FirstLoaderMagic", false, BootChain(TestFlasher(), 1, 0), 0},
        CSilentCase{"FirstLoaderCrc", false, BootChain(TestFlasher(), 1, 100), 0},
        CSilentCase{"FlasherMark", false, BootChain(TestFlasher(), 2, 0), 0},
        CSilentCase{"FlasherCrc", false, BootChain(TestFlasher(), 2, 700), 0},
        CSilentCase{"MinimalFlasherForeignByte", false, BootChain(kMinimalForeign), 0},
        CSilentCase{"EchoTestOutOfOrder", false, BootChain(TestFlasher()) + std::vector<uint8_t>{0, 2}, 2},
        CSilentCase{"CommandGroup", true, {0x41}, 0}, CSilentCase{"EraseCommand", true, {0x44, 0x58}, 1},
        CSilentCase{"InfoCommand", true, {0x49, 0x48}, 1}, CSilentCase{"FlashCommand", true, {0x46, 0x4E}, 1},
        CSilentCase{"ProgrammingCommand", true, {0x46, 0x58, 0x56}, 2},
        CSilentCase{"BlockLengthZero", true, {0x46, 0x58, 0x4E, 0, 0, 0, 0}, 6},
        CSilentCase{"ReadBackCommand", true, {0x46, 0x56, 0, 0, 0, 0x4E}, 7}),
    CCaseName());

// Flasher programs below the header size are minimal ones and run with the default chip facts.
struct CSizeCase
{
    size_t nSize;
    const char* pszInfo;
    int nSectors;
    const char* pszExpectedInfo;
};

// gtest names a case by this in its listings.
void PrintTo(const CSizeCase& c, std::ostream* pStream)
{
    *pStream << "flasher of " << c.nSize << " bytes, " << c.nSectors << " sectors";
}

class FlasherSizeTest : public BoardTest, public ::testing::WithParamInterface<CSizeCase>
{};

TEST_P(FlasherSizeTest, BootsWithItsChipFacts)
{
    const CSizeCase& c = GetParam();
    ASSERT_TRUE(m_pc.Boot(CPayloadFormat::BuildFlasher(c.nSize, 3, c.pszInfo)));
    EXPECT_EQ(c.nSectors, m_sim.GetSectorCount());
    EXPECT_EQ(c.pszExpectedInfo, m_sim.GetInfoText());
    EXPECT_EQ(c.nSectors * 32768u, m_sim.GetFlash().size());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlasherSizeTest,
                         ::testing::Values(CSizeCase{1, "", 8, CPayloadFormat::kDefaultInfo},
                                           CSizeCase{9, "", 8, CPayloadFormat::kDefaultInfo},
                                           CSizeCase{10, "", 3, ""}, CSizeCase{65536, "big", 3, "big"}));

// Answers the PC never asks for in a job: beyond the sector count and beyond the flash.
TEST_F(BoardTest, EdgesOfTheChip)
{
    ASSERT_TRUE(m_pc.Boot(TestFlasher()));
    const struct
    {
        std::vector<uint8_t> vecSend, vecAnswer;   // each byte sent is echoed, then the answer comes
    } aSteps[] = {
        {{0x44, 0x44, 0x08}, {0x45}},                              // sector 8 of 8: 'E'
        {{0x46, 0x58, 0x4E, 0x00, 0x00, 0x00, 1, 0x00}, {0x00}},   // a byte in sector 0
        {{0x4E, 0x00, 0x00, 0x01, 1, 0xF0}, {0x10}},               // programming only clears bits: 0xF0 and
        {{0x4E, 0x00, 0x00, 0x01, 1, 0x3C}, {0xC4}},               // then 0x3C leave 0x30
        {{0x4E, 0x03, 0xFF, 0xFF, 2, 0x11, 0x22}, {0xCD}},   // the checksum counts the byte beyond the flash
        {{0x42, 0x46, 0x56, 0x03, 0xFF, 0xFF}, {0x11, 0xFF}},   // which is dropped and reads erased
        {{0x42, 0x44, 0x44, 0x07}, {0x4F}},
        {{0x46, 0x56, 0x03, 0xFF, 0xFF}, {0xFF, 0xFF}},   // sector 7 is erased up to its last byte
        {{0x56, 0x00, 0x00, 0x00}, {0x00, 0x30}},         // sector 0 is not
        {{0x42, 0x44, 0x53}, {8}},
    };
    for (const auto& step : aSteps) {
        std::vector<uint8_t> vecAnswer;
        ASSERT_TRUE(m_pc.Exchange(step.vecSend, step.vecAnswer.size(), &vecAnswer));
        EXPECT_EQ(step.vecAnswer, vecAnswer);
    }
    EXPECT_EQ(8u * 32768u, m_sim.GetFlash().size());
}

}   // namespace
