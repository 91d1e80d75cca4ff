// The flasher program's command protocol and the NOR flash behind it.
#include "pcside.h"

#include "sim/boardsim.h"

#include <chrono>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr long long kBootRx = 1 + 32 + 224 + 2 + 1024 + 255;   // bytes the board received during the boot
constexpr long long kBootTx = 1 + 1 + 255;                      // bytes it sent

class CommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sim.SetEraseTimes(20, 40);
        ASSERT_EQ(0, m_sim.Start());
        ASSERT_TRUE(m_pc.Open(m_sim.GetDevicePath()));
        ASSERT_TRUE(m_pc.Boot(TestFlasher()));
    }

    CBoardSim m_sim;
    CPcSide m_pc{""};
};

struct CCommandCase
{
    const char* pszName;
    std::vector<uint8_t> vecSend;     // each byte echoed
    std::vector<uint8_t> vecAnswer;
};

class CommandAnswerTest : public CommandTest, public ::testing::WithParamInterface<CCommandCase>
{};

TEST_P(CommandAnswerTest, EchoesThenAnswers)
{
    std::vector<uint8_t> vecAnswer;
    ASSERT_TRUE(m_pc.Exchange(GetParam().vecSend, GetParam().vecAnswer.size(), &vecAnswer));
    EXPECT_EQ(GetParam().vecAnswer, vecAnswer);
    EXPECT_TRUE(m_pc.Receive(1, 50).empty());
    EXPECT_EQ(EBoardStage::Flasher, m_sim.GetStage());
}

std::vector<uint8_t> InfoAnswer()
{
    std::vector<uint8_t> vec = {static_cast<uint8_t>(sizeof kTestInfo - 1)};
    vec.insert(vec.end(), kTestInfo, kTestInfo + sizeof kTestInfo - 1);
    return vec;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandAnswerTest,
    ::testing::Values(CCommandCase{"SectorCount", {0x44, 0x53}, {8}},
                      CCommandCase{"InfoText", {0x49, 0x47}, InfoAnswer()},
                      CCommandCase{"EraseChip", {0x44, 0x43}, {0x4F}},
                      CCommandCase{"EraseLastSector", {0x44, 0x44, 0x07}, {0x4F}},
                      CCommandCase{"EraseSectorBeyondCount", {0x44, 0x44, 0x08}, {0x45}},
                      CCommandCase{"BlockChecksum010203", {0x46, 0x58, 0x4E, 0, 0x10, 0, 3, 1, 2, 3}, {0xFA}},
                      CCommandCase{"BlockChecksum80", {0x46, 0x58, 0x4E, 0, 0x10, 0, 1, 0x80}, {0x80}},
                      CCommandCase{"BlockChecksumWraps", {0x46, 0x58, 0x4E, 0, 0x10, 0, 2, 0x80, 0x80}, {0x00}},
                      CCommandCase{"ReadBackErased", {0x46, 0x56, 0, 0, 0}, {0xFF, 0xFF}},
                      CCommandCase{"ReadBackBeyondFlash", {0x46, 0x56, 0x04, 0x00, 0x00}, {0xFF, 0xFF}},
                      CCommandCase{"ProgramThenEnd", {0x46, 0x58, 0x42, 0x44, 0x53}, {8}}),
    [](const ::testing::TestParamInfo<CCommandCase>& caseInfo) { return std::string(caseInfo.param.pszName); });

TEST_F(CommandTest, ProgrammedBlocksReadBackInPairs)
{
    std::vector<uint8_t> vecData(255);
    for (size_t i = 0; i < vecData.size(); ++i)
        vecData[i] = static_cast<uint8_t>(i * 7 + 1);
    ASSERT_TRUE(m_pc.Program(0x1000, std::vector<uint8_t>(vecData.begin(), vecData.begin() + 254)));
    ASSERT_TRUE(m_pc.Program(0x10FE, {vecData[254]}));
    // One read-back run with many pairs, as a verification walks an image.
    ASSERT_TRUE(m_pc.Exchange({0x46}, 0));
    for (uint32_t dwAt = 0x1000; dwAt < 0x1000 + 256; dwAt += 2) {
        std::vector<uint8_t> vecPair;
        ASSERT_TRUE(m_pc.Exchange({0x56, 0x00, static_cast<uint8_t>(dwAt >> 8), static_cast<uint8_t>(dwAt)}, 2,
                                  &vecPair));
        const size_t i = dwAt - 0x1000;
        EXPECT_EQ(vecData[i], vecPair[0]);
        EXPECT_EQ(i + 1 < vecData.size() ? vecData[i + 1] : 0xFF, vecPair[1]);
    }
    ASSERT_TRUE(m_pc.Exchange({0x42}, 0));
    const std::vector<uint8_t> vecFlash = m_sim.GetFlash();
    EXPECT_TRUE(std::equal(vecData.begin(), vecData.end(), vecFlash.begin() + 0x1000));
}

TEST_F(CommandTest, FlashBehavesLikeNor)
{
    ASSERT_TRUE(m_pc.Program(0x8020, {0xF0, 0x0F}));
    ASSERT_TRUE(m_pc.Program(0x8020, {0x3C, 0xFF}));   // programming only clears bits
    EXPECT_EQ((std::vector<uint8_t>{0x30, 0x0F}), m_pc.ReadPair(0x8020));
    ASSERT_TRUE(m_pc.Program(0x0000, {0x00}));
    std::vector<uint8_t> vecStatus;
    ASSERT_TRUE(m_pc.Exchange({0x44, 0x44, 0x01}, 1, &vecStatus));   // sector 1: 0x8000..0xFFFF
    EXPECT_EQ(std::vector<uint8_t>{0x4F}, vecStatus);
    EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF}), m_pc.ReadPair(0x8020));
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0xFF}), m_pc.ReadPair(0x0000));  // other sectors keep their data
    ASSERT_TRUE(m_pc.Exchange({0x44, 0x43}, 1, &vecStatus));
    const std::vector<uint8_t> vecFlash = m_sim.GetFlash();
    EXPECT_EQ(std::vector<uint8_t>(8 * 32768, 0xFF), vecFlash);
}

TEST_F(CommandTest, BytesBeyondTheFlashAreDropped)
{
    ASSERT_TRUE(m_pc.Program(0x03FFFF, {0x11, 0x22}));   // checksum still covers both bytes
    const std::vector<uint8_t> vecFlash = m_sim.GetFlash();
    ASSERT_EQ(8u * 32768u, vecFlash.size());
    EXPECT_EQ(0x11, vecFlash.back());
}

TEST_F(CommandTest, EraseAnswersAfterTheEraseTime)
{
    m_sim.SetEraseTimes(80, 150);
    struct CCase
    {
        std::vector<uint8_t> vecLead;   // echoed before the clock starts
        uint8_t byLast;                 // starts the erase
        int nMs;
    };
    for (const CCase& c : {CCase{{0x44}, 0x43, 150}, CCase{{0x44, 0x44}, 0x02, 80}}) {
        ASSERT_TRUE(m_pc.Exchange(c.vecLead, 0));
        const auto tStart = std::chrono::steady_clock::now();
        ASSERT_TRUE(m_pc.Send({c.byLast}));
        EXPECT_EQ((std::vector<uint8_t>{c.byLast, 0x4F}), m_pc.Receive(2, 5000));
        EXPECT_GE(std::chrono::steady_clock::now() - tStart, std::chrono::milliseconds(c.nMs));
    }
}

// Garbage in any command state: not echoed, and the board answers nothing from then on.
struct CGarbageCase
{
    const char* pszName;
    std::vector<uint8_t> vecGood;   // echoed
    size_t nAnswers;                // further answers to the good bytes
    uint8_t byBad;
};

class GarbageTest : public CommandTest, public ::testing::WithParamInterface<CGarbageCase>
{};

TEST_P(GarbageTest, FallsSilent)
{
    ASSERT_TRUE(m_pc.Exchange(GetParam().vecGood, GetParam().nAnswers));
    ASSERT_TRUE(m_pc.Send({GetParam().byBad}));
    ASSERT_TRUE(m_sim.WaitForStage(EBoardStage::Silent, 2000));
    EXPECT_TRUE(m_pc.Receive(1, 0).empty());
    ASSERT_TRUE(m_pc.Send({0x44, 0x53}));
    EXPECT_TRUE(m_pc.Receive(1, 100).empty());
}

INSTANTIATE_TEST_SUITE_P(
    States, GarbageTest,
    ::testing::Values(CGarbageCase{"TopLevel", {}, 0, 0x41}, CGarbageCase{"EraseGroup", {0x44}, 0, 0x58},
                      CGarbageCase{"InfoGroup", {0x49}, 0, 0x48}, CGarbageCase{"FlashGroup", {0x46}, 0, 0x4E},
                      CGarbageCase{"Programming", {0x46, 0x58}, 0, 0x56},
                      CGarbageCase{"BlockLengthZero", {0x46, 0x58, 0x4E, 0, 0, 0}, 0, 0x00},
                      CGarbageCase{"ReadBack", {0x46, 0x56, 0, 0, 0}, 2, 0x4E}),
    [](const ::testing::TestParamInfo<CGarbageCase>& caseInfo) { return std::string(caseInfo.param.pszName); });

struct CFaultCase
{
    const char* pszName;
    std::function<void(CBoardFaults&)> fnSet;
    std::vector<uint8_t> vecSend;     // sent at once
    std::vector<uint8_t> vecReply;    // everything the board sends back
};

class CommandFaultTest : public CommandTest, public ::testing::WithParamInterface<CFaultCase>
{};

TEST_P(CommandFaultTest, ShowsOnTheWire)
{
    CBoardFaults faults;
    GetParam().fnSet(faults);
    m_sim.SetFaults(faults);
    ASSERT_TRUE(m_pc.Send(GetParam().vecSend));
    EXPECT_EQ(GetParam().vecReply, m_pc.Receive(GetParam().vecReply.size()));
    EXPECT_TRUE(m_pc.Receive(1, 100).empty());
}

TEST_F(CommandTest, HangUpClosesTheLineAtTheGivenByte)
{
    CBoardFaults faults;
    faults.nHangUpAfterRx = kBootRx + 1;
    m_sim.SetFaults(faults);
    ASSERT_TRUE(m_pc.Exchange({0x44}, 0));
    ASSERT_TRUE(m_pc.Send({0x53}));
    EXPECT_TRUE(m_pc.WaitHangUp(2000));
    EXPECT_TRUE(m_sim.IsHungUp());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CommandFaultTest,
    ::testing::Values(
        CFaultCase{"ChipEraseFails", [](CBoardFaults& f) { f.bEraseStatusE = true; }, {0x44, 0x43},
                   {0x44, 0x43, 0x45}},
        CFaultCase{"SectorEraseFails", [](CBoardFaults& f) { f.bEraseStatusE = true; }, {0x44, 0x44, 0x01},
                   {0x44, 0x44, 0x01, 0x45}},
        CFaultCase{"WrongChecksumOfSecondBlock", [](CBoardFaults& f) { f.nWrongChecksumBlock = 1; },
                   {0x46, 0x58, 0x4E, 0, 0, 0, 1, 1, 0x4E, 0, 0, 1, 1, 1},
                   {0x46, 0x58, 0x4E, 0, 0, 0, 1, 1, 0xFF, 0x4E, 0, 0, 1, 1, 1, 0x00}},
        CFaultCase{"FlipReadAddress", [](CBoardFaults& f) { f.nFlipReadAddress = 0x11; }, {0x46, 0x56, 0, 0, 0x10},
                   {0x46, 0x56, 0, 0, 0x10, 0xFF, 0x00}},
        CFaultCase{"SilentAfterTx", [](CBoardFaults& f) { f.nSilentAfterTx = kBootTx + 2; }, {0x44, 0x53},
                   {0x44, 0x53}},
        CFaultCase{"SilentAfterRx", [](CBoardFaults& f) { f.nSilentAfterRx = kBootRx + 1; }, {0x44, 0x53},
                   {0x44}},
        CFaultCase{"WrongEchoAtRx", [](CBoardFaults& f) { f.nWrongEchoAtRx = kBootRx + 1; }, {0x44, 0x53},
                   {0x44, 0xAC, 0x08}}),
    [](const ::testing::TestParamInfo<CFaultCase>& caseInfo) { return std::string(caseInfo.param.pszName); });

}  // namespace
