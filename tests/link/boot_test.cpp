// The boot sequence against the simulated board in memory: bytes, progress, failures.
#include <ostream>

#include "hex/hexfile.h"
#include "linktestsupport.h"
#include "sim/targetfiles.h"
#include "support/namedcase.h"

namespace
{
constexpr int kId = 0xC5;

// The data bytes of a hex file in address order, as the link sends them.
std::vector<uint8_t> ImageBytes(const std::string& strPath)
{
    CHexFile file(strPath.c_str());
    EXPECT_EQ(0, file.Verify());
    EXPECT_EQ(0, file.Load());
    std::vector<uint8_t> bytes;
    for (const HexItem* pItem = file.m_pFirst; pItem != nullptr; pItem = pItem->pNext)
        bytes.push_back(pItem->byValue);
    return bytes;
}

using BootSequence = CMemoryBoardFixture;

TEST_F(BootSequence, WholeBootPutsExactlyTheseBytesOnTheWireWithItsProgress)
{
    ASSERT_EQ(0, Init(m_link));
    ASSERT_EQ(-59, m_link.Connect());   // 0xC5 as a signed char
    EXPECT_TRUE(m_link.IsConnected());
    ASSERT_EQ(0, m_link.SendBsl());
    ASSERT_EQ(0, m_link.SendFirstLoader());
    CRecordingProgress loader;
    ASSERT_EQ(0, m_link.SendSecondLoader(&loader));
    CRecordingProgress test;
    ASSERT_EQ(0, m_link.TestConnection(&test)) << m_link.GetErrorText();
    EXPECT_EQ("", m_link.GetErrorText());

    std::vector<std::pair<bool, int>> expected;
    auto out = [&](const std::vector<uint8_t>& bytes) {
        for (uint8_t by : bytes)
            expected.emplace_back(true, by);
    };
    expected.emplace_back(true, 0x00);
    expected.emplace_back(false, kId);
    out(ImageBytes(m_dir.Path("prel1.hex")));
    out(ImageBytes(m_dir.Path("prel2.hex")));
    out({(kFlasherSize - 1) >> 8, (kFlasherSize - 1) & 0xFF});
    out(ImageBytes(m_dir.Path("main.h86")));
    expected.emplace_back(false, kId);
    for (int v = 0; v <= 0xFE; ++v) {
        expected.emplace_back(true, v);
        expected.emplace_back(false, v);
    }
    EXPECT_EQ(expected, Entries(m_board.GetWireLog()));
    EXPECT_EQ(EBoardStage::Flasher, m_board.GetStage());

    // The flasher program goes out in one Write: one step, 50 + 50(n-1)/n, where its last byte is.
    EXPECT_EQ(std::vector<int>{50 + 50 * (kFlasherSize - 1) / kFlasherSize}, loader.m_positions);
    // One step per echo: (i + 1) * 100 / 255, ending at 100.
    ASSERT_EQ(255u, test.m_positions.size());
    for (size_t i = 0; i < test.m_positions.size(); ++i)
        EXPECT_EQ(static_cast<int>((i + 1) * 100 / 255), test.m_positions[i]) << i;
}

struct CLengthCase
{
    size_t nFlasherSize;
    uint8_t byHigh;
    uint8_t byLow;
    size_t nSteps;
};

// gtest names a case by this in its listings.
void PrintTo(const CLengthCase& c, std::ostream* pStream)
{
    *pStream << "flasher of " << c.nFlasherSize << " bytes";
}

class FlasherLength : public CMemoryBoardFixture, public ::testing::WithParamInterface<CLengthCase>
{};

TEST_P(FlasherLength, LengthInfoIsCountMinusOneMostSignificantFirst)
{
    const CLengthCase& c = GetParam();
    WriteTargets(c.nFlasherSize);
    ASSERT_EQ(0, Init(m_link));
    ASSERT_NE(-1, m_link.Connect());
    ASSERT_EQ(0, m_link.SendBsl());
    ASSERT_EQ(0, m_link.SendFirstLoader());
    CRecordingProgress progress;
    ASSERT_EQ(0, m_link.SendSecondLoader(&progress));
    EXPECT_EQ(c.nSteps, progress.m_positions.size());
    // The board takes exactly that many bytes and starts the flasher program, whose answer
    // also tells that every byte before it has arrived.
    ASSERT_EQ(0, m_link.TestConnection(nullptr)) << m_link.GetErrorText();
    const size_t nLengthAt = 1 + 32 + CTargetFiles::kStandardFirstLoaderSize;
    const std::vector<uint8_t> sent = ToBoard();
    ASSERT_EQ(nLengthAt + 2 + c.nFlasherSize + 255, sent.size());
    EXPECT_EQ(c.byHigh, sent[nLengthAt]);
    EXPECT_EQ(c.byLow, sent[nLengthAt + 1]);
}

INSTANTIATE_TEST_SUITE_P(Link, FlasherLength,
                         ::testing::Values(CLengthCase{1, 0x00, 0x00, 0}, CLengthCase{256, 0x00, 0xFF, 1},
                                           CLengthCase{4096, 0x0F, 0xFF, 1}));

// Which boot step a fault breaks, and the text it leaves.
enum class EStep
{
    Connect,
    SendBsl,
    SendFirstLoader,
    SendSecondLoader,
    TestConnection
};

struct CFaultCase : CNamedCase
{
    void (*pfnSetFault)(CBoardFaults&, long long nBootRx);
    EStep eFailingStep;
    const char* pszError;
};

class BootFault : public CMemoryBoardFixture, public ::testing::WithParamInterface<CFaultCase>
{};

TEST_P(BootFault, FailsAtItsStepWithItsText)
{
    const CFaultCase& c = GetParam();
    CBoardFaults faults;
    c.pfnSetFault(faults, kBootRx);
    m_board.SetFaults(faults);
    ASSERT_EQ(0, Init(m_link));
    CRecordingProgress progress;
    EStep eFailed = EStep::Connect;
    if (m_link.Connect() != -1) {
        eFailed = EStep::SendBsl;
        if (m_link.SendBsl() == 0) {
            eFailed = EStep::SendFirstLoader;
            if (m_link.SendFirstLoader() == 0) {
                eFailed = EStep::SendSecondLoader;
                if (m_link.SendSecondLoader(&progress) == 0) {
                    eFailed = EStep::TestConnection;
                    ASSERT_EQ(-1, m_link.TestConnection(&progress)) << "the fault went unnoticed";
                }
            }
        }
    }
    EXPECT_EQ(c.eFailingStep, eFailed);
    EXPECT_EQ(c.pszError, m_link.GetErrorText());
    // A failed connect waits one read limit, sends nothing after the request, and what comes
    // later knows it.
    if (eFailed == EStep::Connect) {
        EXPECT_EQ(1, m_board.GetPort()->GetReadCount());
        EXPECT_FALSE(m_link.IsConnected());
        EXPECT_EQ(-1, m_link.SendBsl());
        EXPECT_EQ("Error not Connected", m_link.GetErrorText());
        EXPECT_EQ(std::vector<uint8_t>{0x00}, ToBoard());
    }
    // A foreign flasher ID stops before any test byte goes out; a wrong last echo comes after
    // 254 good ones.
    if (faults.nFlasherId != 0xC5) {
        EXPECT_EQ(static_cast<size_t>(kBootRx), ToBoard().size());
    }
    if (faults.nWrongTestEchoAt == 0xFE) {
        EXPECT_EQ(2u + 255u, FromBoard().size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, BootFault,
    ::testing::Values(
        CFaultCase{"BoardNotReset", [](CBoardFaults& f, long long) { f.bNoAnswerToZero = true; },
                   EStep::Connect, "Error setting up communcation with C167"},
        CFaultCase{"OtherCpuId", [](CBoardFaults& f, long long) { f.nCpuId = 0xC4; }, EStep::Connect,
                   "Error setting up communcation with C167"},
        CFaultCase{"CableOffAtZero", [](CBoardFaults& f, long long) { f.nHangUpAfterRx = 0; }, EStep::Connect,
                   "Error cannot read data from COM-Port"},
        CFaultCase{"OtherFlasherId", [](CBoardFaults& f, long long) { f.nFlasherId = 0x5C; },
                   EStep::TestConnection, "Error duvuvever sent wrong ID"},
        CFaultCase{"WrongEchoOfLastTestByte", [](CBoardFaults& f, long long) { f.nWrongTestEchoAt = 0xFE; },
                   EStep::TestConnection, "Error duvuvever sent wrong ID"},
        CFaultCase{"WrongEchoOfFirstTestByte", [](CBoardFaults& f, long long) { f.nWrongTestEchoAt = 0x00; },
                   EStep::TestConnection, "Error duvuvever sent wrong ID"},
        CFaultCase{"SilentInEchoTest", [](CBoardFaults& f, long long n) { f.nSilentAfterRx = n + 100; },
                   EStep::TestConnection, "Error setting up communcation with flash program"},
        CFaultCase{"ByteLostInFlasherProgram",
                   [](CBoardFaults& f, long long n) { f.nSilentAfterRx = n - 10; }, EStep::TestConnection,
                   "Error setting up communcation with flash program"},
        CFaultCase{"CableOffInEchoTest", [](CBoardFaults& f, long long n) { f.nHangUpAfterRx = n + 3; },
                   EStep::TestConnection, "Error cannot read data from COM-Port"}),
    CCaseName());

}   // namespace
