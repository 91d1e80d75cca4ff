// The USB adapter in front of the board and the board's one-byte receive register.
#include "pcside.h"

#include "sim/boardsim.h"
#include "sim/payloadformat.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>

namespace
{
using Clock = std::chrono::steady_clock;

// An answer waits out the latency unless a USB packet's worth piled up: the info text's 102 bytes.
TEST(BoardAdapter, HoldsAnswersForItsLatencyOr62Bytes)
{
    constexpr int kLatencyMs =
        150;   // long enough that 62 unheld bytes come well before it, also under a sanitizer
    const std::chrono::milliseconds tLatency(kLatencyMs);
    CBoardSim sim;
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(CPayloadFormat::BuildFlasher(1024, 8, std::string(100, 'i'))));
    sim.SetAdapterLatency(kLatencyMs);
    auto tStart = Clock::now();
    ASSERT_TRUE(pc.Exchange({0x49}, 0));   // info group
    EXPECT_GE(Clock::now() - tStart, tLatency);
    tStart = Clock::now();
    ASSERT_TRUE(pc.Send({0x47}));   // get info: echo, length and 100 bytes of text
    EXPECT_EQ(62u, pc.Receive(62).size());
    EXPECT_LT(Clock::now() - tStart, tLatency);
    EXPECT_EQ(40u, pc.Receive(40).size());
    EXPECT_GE(Clock::now() - tStart, tLatency);
}

// Bytes written back to back arrive one character time apart (173 us at 57600 bit/s); a flasher
// program slower than that loses bytes, one sent in lock-step never does. Boot stages keep up.
struct COverrunCase
{
    int nByteTimeUs;
    bool bLockStep;
    int nLost;
    size_t nAnswers;   // received after the read-back: echoes and flash bytes the PC still waits for
};

class BoardReceiver : public ::testing::TestWithParam<COverrunCase>
{};

TEST_P(BoardReceiver, LosesBytesThatComeBeforeTheLastIsTaken)
{
    const COverrunCase& c = GetParam();
    CBoardSim sim;
    std::mutex mutex;
    int nLogged = 0;
    sim.SetEventLog([&](const std::string& strEvent) {
        std::lock_guard<std::mutex> lock(mutex);
        nLogged += strEvent.rfind("overrun: byte ", 0) == 0 ? 1 : 0;
    });
    sim.SetBaudRate(57600);
    sim.SetByteTime(c.nByteTimeUs);
    ASSERT_EQ(0, sim.Start());
    CPcSide pc(sim.GetDevicePath());
    ASSERT_TRUE(pc.Boot(TestFlasher()));
    ASSERT_TRUE(pc.Exchange({0x46}, 0));                    // flash group
    const std::vector<uint8_t> vecRead = {0x56, 0, 0, 0};   // read-back of 0x000000: 4 echoes, 2 bytes
    // Of 4 bytes back to back, the 2nd and 3rd come before the 1st is taken: no read-back then.
    if (c.bLockStep)
        ASSERT_TRUE(pc.Exchange(vecRead, 2));
    else
        ASSERT_TRUE(pc.Send(vecRead));
    EXPECT_EQ(c.nAnswers, pc.Receive(6, 200).size());
    EXPECT_EQ(c.nLost, sim.GetOverrunCount());
    sim.Stop();
    EXPECT_EQ(c.nLost, nLogged);
}

INSTANTIATE_TEST_SUITE_P(ByteTimes, BoardReceiver,
                         ::testing::Values(COverrunCase{400, false, 2, 2}, COverrunCase{400, true, 0, 0},
                                           COverrunCase{20, false, 0, 6}));
}   // namespace
