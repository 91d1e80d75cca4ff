// The pipelined link against the simulated board in memory: the same bytes each way, flash, results and
// progress as lock-step, and lock-step's texts when an echo goes wrong or the board falls silent.
#include <memory>
#include <ostream>

#include "hex/hexfile.h"
#include "linktestsupport.h"
#include "support/namedcase.h"

namespace
{
constexpr int kDepths[] = {2, 16, 255};   // a pair, a typical depth and a whole window of blocks

// Everything one session did, per direction: what a pipelined session must repeat exactly.
struct CSession
{
    std::vector<uint8_t> toBoard;
    std::vector<uint8_t> fromBoard;
    std::vector<uint8_t> flash;
    std::vector<uint8_t> read;
    std::vector<std::vector<int>> progress;   // test, program, verify, read
    int nMaxInFlight = 0;                     // bytes written ahead of their answers at most
};

class Pipeline : public CMemoryBoardFixture
{
protected:
    void SetUp() override
    {
        CMemoryBoardFixture::SetUp();
        // Runs across a 64 KiB page, a gap and an odd last byte.
        const std::string strPath = m_dir.Path("image.hex");
        WriteHexFile(strPath, {{0xFF80, Pattern(300, 1)}, {0x10200, Pattern(41, 2)}});
        m_pImage = std::make_unique<CHexFile>(strPath.c_str());
        ASSERT_EQ(0, m_pImage->Verify());
        ASSERT_EQ(0, m_pImage->Load());
    }

    // Boot, erase, program, verify and read back on a fresh link and session.
    CSession RunSession(int nDepth)
    {
        CSession session;
        CTargetLink link;
        m_board.ClearWireLog();
        CRecordingProgress test;
        [&] {
            ASSERT_EQ(0, Init(link));
            link.SetPipelineDepth(nDepth);
            ASSERT_NE(-1, link.Connect());
            ASSERT_EQ(0, link.SendBsl());
            ASSERT_EQ(0, link.SendFirstLoader());
            ASSERT_EQ(0, link.SendSecondLoader(nullptr));
            ASSERT_EQ(0, link.TestConnection(&test)) << link.GetErrorText();
            ASSERT_EQ(0, link.SelectEraseGroup());
            ASSERT_EQ(0, link.EraseChip());
            CRecordingProgress program;
            ASSERT_EQ(0, link.SelectFlashGroup());
            ASSERT_EQ(0, link.ProgramImage(&program, m_pImage.get())) << link.GetErrorText();
            CRecordingProgress verify;
            ASSERT_EQ(0, link.SelectFlashGroup());
            ASSERT_EQ(0, link.VerifyImage(&verify, m_pImage.get())) << link.GetErrorText();
            EXPECT_TRUE(link.IsFlasherReady());
            session.read.resize(301);
            CRecordingProgress read;
            ASSERT_EQ(0, link.SelectFlashGroup());
            ASSERT_EQ(0, link.ReadFlash(&read, 0xFF81, 301, session.read.data())) << link.GetErrorText();
            session.progress = {test.m_positions, program.m_positions, verify.m_positions, read.m_positions};
        }();
        session.toBoard = ToBoard();
        session.fromBoard = FromBoard();
        session.flash = m_board.GetFlash();
        session.nMaxInFlight = m_board.GetPort()->GetMaxInFlight();
        link.Close();
        return session;
    }

    std::unique_ptr<CHexFile> m_pImage;
};

TEST_F(Pipeline, SameBytesFlashAndResultsAsLockStep)
{
    const CSession lockStep = RunSession(0);
    ASSERT_FALSE(lockStep.toBoard.empty());
    EXPECT_EQ(1, lockStep.nMaxInFlight);
    for (int nDepth : kDepths) {
        const CSession pipelined = RunSession(nDepth);
        EXPECT_EQ(lockStep.toBoard, pipelined.toBoard) << nDepth;
        EXPECT_EQ(lockStep.fromBoard, pipelined.fromBoard) << nDepth;
        EXPECT_TRUE(lockStep.flash == pipelined.flash) << nDepth;
        EXPECT_EQ(lockStep.read, pipelined.read) << nDepth;
        EXPECT_EQ(lockStep.progress, pipelined.progress) << nDepth;
        // Exactly the depth: a block of 254 bytes and its header is longer than any depth here.
        EXPECT_EQ(nDepth, pipelined.nMaxInFlight);
    }
}

// A failure with a fault set on a booted board; the same result and text in both modes.
struct CPipeFailCase : CNamedCase
{
    // nRx, nTx: bytes received and sent since the reset before the operation's first byte.
    void (*pfnSetFault)(CBoardFaults&, long long nRx, long long nTx);
    int (*pfnRun)(CTargetLink&, CHexFile*);
    const char* pszError;   // null: the text stays as it was
};

class PipelineFailure : public Pipeline, public ::testing::WithParamInterface<CPipeFailCase>
{};

int ProgramRun(CTargetLink& link, CHexFile* pImage)
{
    return link.SelectFlashGroup() != 0 ? -1 : link.ProgramImage(nullptr, pImage);
}

int ReadRun(CTargetLink& link, CHexFile*)
{
    uint8_t abyRead[40];
    return link.SelectFlashGroup() != 0 ? -1 : link.ReadFlash(nullptr, 0x100, sizeof abyRead, abyRead);
}

TEST_P(PipelineFailure, LockStepTextsAndNoSuccess)
{
    const CPipeFailCase& c = GetParam();
    for (int nDepth : {0, 16}) {
        CTargetLink link;
        m_board.SetFaults(CBoardFaults());
        ASSERT_EQ(0, Boot(link, nDepth)) << link.GetErrorText();
        CBoardFaults faults;
        c.pfnSetFault(faults, kBootRx + 255, 2 + 255);
        m_board.SetFaults(faults);
        link.SetErrorText("unchanged");
        EXPECT_EQ(-1, c.pfnRun(link, m_pImage.get())) << nDepth;
        EXPECT_EQ(c.pszError != nullptr ? c.pszError : "unchanged", link.GetErrorText()) << nDepth;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Link, PipelineFailure,
    ::testing::Values(
        // F X, then the first block's 'N', 3 address bytes, length, data: the 4th data byte's echo.
        CPipeFailCase{"WrongEchoMidBlock",
                      [](CBoardFaults& f, long long n, long long) { f.nWrongEchoAtRx = n + 2 + 5 + 3; },
                      ProgramRun, "Error during flash process"},
        CPipeFailCase{"SilentMidBlock",
                      [](CBoardFaults& f, long long n, long long) { f.nSilentAfterRx = n + 2 + 5 + 3; },
                      ProgramRun, "Error during flash process"},
        CPipeFailCase{"WrongChecksum",
                      [](CBoardFaults& f, long long, long long) { f.nWrongChecksumBlock = 1; }, ProgramRun,
                      "Error during flash process"},
        // F, one exchange, then the middle address byte of the second.
        CPipeFailCase{"WrongEchoInReadBack",
                      [](CBoardFaults& f, long long n, long long) { f.nWrongEchoAtRx = n + 1 + 6; }, ReadRun,
                      "Error connection lost"},
        CPipeFailCase{"SilentInReadBack",
                      [](CBoardFaults& f, long long n, long long) { f.nSilentAfterRx = n + 1 + 9; }, ReadRun,
                      "Error connection lost"},
        // F's echo, an exchange, then the second exchange's echoes and one answer.
        CPipeFailCase{"AnswerMissing",
                      [](CBoardFaults& f, long long, long long n) { f.nSilentAfterTx = n + 1 + 6 + 5; },
                      ReadRun, nullptr}),
    CCaseName());

// The connection test's failures, pipelined: lock-step's texts, and the boot goes no further.
TEST_F(Pipeline, ConnectionTestFailsWithLockStepTexts)
{
    const std::pair<CBoardFaults, const char*> cases[] = {
        {[] {
             CBoardFaults f;
             f.nWrongTestEchoAt = 100;
             return f;
         }(),
         "Error duvuvever sent wrong ID"},
        {[] {
             CBoardFaults f;
             f.nSilentAfterRx = kBootRx + 200;
             return f;
         }(),
         "Error setting up communcation with flash program"},
    };
    for (const auto& c : cases) {
        m_board.SetFaults(c.first);
        CTargetLink link;
        ASSERT_EQ(0, Init(link));
        link.SetPipelineDepth(16);
        ASSERT_NE(-1, link.Connect());
        ASSERT_EQ(0, link.SendBsl());
        ASSERT_EQ(0, link.SendFirstLoader());
        ASSERT_EQ(0, link.SendSecondLoader(nullptr));
        CRecordingProgress progress;
        EXPECT_EQ(-1, link.TestConnection(&progress));
        EXPECT_EQ(c.second, link.GetErrorText());
        EXPECT_FALSE(progress.m_positions.empty() || progress.m_positions.back() >= 100);
    }
}

// A difference found with exchanges in flight: those are taken, then 'B' ends the read-back;
// the first difference is kept and the flasher waits for the next command.
TEST_F(Pipeline, VerifyMismatchTakesWhatIsInFlightThenEnds)
{
    ASSERT_EQ(0, Boot(m_link, 16)) << m_link.GetErrorText();
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    ASSERT_EQ(0, m_link.ProgramImage(nullptr, m_pImage.get())) << m_link.GetErrorText();
    CBoardFaults faults;
    faults.nFlipReadAddress = 0xFF85;
    m_board.SetFaults(faults);
    m_board.ClearWireLog();
    m_link.SetErrorText("unchanged");
    ASSERT_EQ(0, m_link.SelectFlashGroup());
    EXPECT_EQ(-1, m_link.VerifyImage(nullptr, m_pImage.get()));
    EXPECT_EQ("unchanged", m_link.GetErrorText());
    ASSERT_NE(nullptr, m_link.GetVerifyMismatch());
    EXPECT_EQ(0xFF85u, m_link.GetVerifyMismatch()->dwAddress);
    EXPECT_EQ(Pattern(300, 1)[5], m_link.GetVerifyMismatch()->byExpected);
    EXPECT_EQ(static_cast<uint8_t>(~Pattern(300, 1)[5]), m_link.GetVerifyMismatch()->byRead);
    EXPECT_EQ(0x42, ToBoard().back());   // 'B'
    EXPECT_TRUE(m_link.IsFlasherReady());
    ASSERT_EQ(0, m_link.SelectEraseGroup()) << m_link.GetErrorText();
    EXPECT_EQ(kSectorCount, m_link.GetSectorCount());
}
}   // namespace
