// The board session both faces call: each operation against each fault the simulated board can
// give, with the outcome, the words reported, and whether the link may still be used.
#include <gtest/gtest.h>

#include <functional>

#include "hex/hexfile.h"
#include "job/boardsession.h"
#include "job/jobsink.h"
#include "link/linktestsupport.h"
#include "support/namedcase.h"

namespace
{
enum class EOp
{
    Info,
    Count,
    EraseChip,
    EraseSectors,
    Program,
    Verify,
    Read
};

// Bytes the board took and gave up to the connection, so that a fault can be placed after it.
struct CWireCount
{
    long long nRx;
    long long nTx;
};

struct CSessionCase : CNamedCase
{
    EOp eOp;
    std::function<void(CBoardFaults&, const CWireCount&)> fnFault;
    ESessionOutcome eOutcome;
    bool bUsable;              // the link may be used afterwards
    const char* pszLinkText;   // the link's error text afterwards
    std::string strErrors;     // what the sink kept, "; " between; kBlockFault: begins with it
    bool bEraseOnAfterFailure = false;
    int nDepth = 0;                    // bytes sent ahead of their echoes
    int nStopAtProgress = -1;          // the sink stops the run at this progress report
    std::vector<int> vecErased = {};   // EraseSectors of sectors 1 and 3
};

// A sink that keeps its errors and step lines, and stops a run when told to.
class CSessionSink : public CJobSink
{
public:
    class CProgress : public CProgressSink
    {
    public:
        explicit CProgress(CSessionSink& sink) : m_sink(sink) {}
        void SetProgress(int nPos) override
        {
            m_sink.m_nLastPos = nPos;
            if (m_sink.m_nStopAt >= 0 && m_sink.m_nReports++ == m_sink.m_nStopAt)
                throw CJobStopped();
        }

    private:
        CSessionSink& m_sink;
    };

    void Log(const std::string& strLine) override { m_vecLines.push_back(strLine); }
    void Error(const std::string&) override {}
    CProgressSink* BeginStep(const CJobStep&) override { return &m_progress; }
    void EndStep(bool bStopped) override { m_nStopPercent = bStopped ? m_nLastPos : -1; }
    int GetStopPercent() const override { return m_nStopPercent; }

    std::vector<std::string> m_vecLines;
    int m_nStopAt = -1;
    int m_nReports = 0;
    int m_nLastPos = -1;
    int m_nStopPercent = -1;
    CProgress m_progress{*this};
};

class BoardSession : public CBoardFixture, public ::testing::WithParamInterface<CSessionCase>
{
protected:
    ESessionOutcome Connect(CBoardSession& session, int nDepth)
    {
        CBootSettings settings;
        settings.strPort = m_board.GetDevicePath();
        settings.nBaudRate = kLinkBaudRate;
        settings.strLoaderDir = m_dir.Path();
        settings.nPipelineDepth = nDepth;
        return session.Connect(settings);
    }
};

const std::vector<uint8_t> kImageBytes = Pattern(600, 5);   // three blocks from 0x100
// Block 1 runs from 0x1FE; the flasher answers a flipped sum.
const std::string kBlockFault =
    "Flash failed; Block 0x0001FE - 0x0002FB (254 bytes): the board answered checksum ";
const std::string kBlockFaultMark = "block fault";
constexpr uint32_t kImageStart = 0x100;

TEST_P(BoardSession, OutcomeTextsAndLink)
{
    const CSessionCase& c = GetParam();
    const std::string strImage = m_dir.Path("image.hex");
    WriteHexFile(strImage, {{kImageStart, kImageBytes}});
    CHexFile image(strImage.c_str());
    ASSERT_EQ(0, image.Verify());
    ASSERT_EQ(0, image.Load());
    m_board.SetEraseTimes(1, 1);

    CSessionSink sink;
    CSessionOptions options;
    options.bEraseOnAfterFailure = c.bEraseOnAfterFailure;
    CBoardSession session(sink, options);
    ASSERT_EQ(ESessionOutcome::Done, Connect(session, c.nDepth));
    ASSERT_TRUE(session.IsConnected());
    if (c.eOp == EOp::Verify || c.eOp == EOp::Read) {
        ASSERT_EQ(ESessionOutcome::Done, session.Program(image));
    }
    const CWireCount wire{static_cast<long long>(ToBoard().size()),
                          static_cast<long long>(FromBoard().size())};
    CBoardFaults faults;
    if (c.fnFault)
        c.fnFault(faults, wire);
    m_board.SetFaults(faults);
    sink.m_nStopAt = c.nStopAtProgress;
    sink.ClearErrors();

    ESessionOutcome eOutcome = ESessionOutcome::Done;
    std::string strText;
    int nCount = 0;
    std::vector<int> vecErased;
    std::vector<uint8_t> vecRead;
    switch (c.eOp) {
    case EOp::Info:
        eOutcome = session.ReadInfo(&strText);
        break;
    case EOp::Count:
        eOutcome = session.CountSectors(&nCount);
        break;
    case EOp::EraseChip:
        eOutcome = session.EraseChip();
        break;
    case EOp::EraseSectors:
        eOutcome = session.EraseSectors({1, 3}, &vecErased);
        EXPECT_EQ(c.vecErased, vecErased);
        break;
    case EOp::Program:
        eOutcome = session.Program(image);
        break;
    case EOp::Verify:
        eOutcome = session.Verify(image);
        break;
    case EOp::Read:
        eOutcome = session.Read(kImageStart, 600, &vecRead);
        break;
    }
    EXPECT_EQ(c.eOutcome, eOutcome);
    EXPECT_EQ(c.bUsable, session.IsConnected());
    EXPECT_EQ(c.pszLinkText, session.GetErrorText());
    if (c.strErrors == kBlockFaultMark) {
        EXPECT_EQ(0u, sink.GetErrors().rfind(kBlockFault, 0)) << sink.GetErrors();
    } else {
        EXPECT_EQ(c.strErrors, sink.GetErrors());
    }
    if (eOutcome == ESessionOutcome::Done && c.eOp == EOp::Info) {
        EXPECT_EQ(kInfo, strText);
    }
    if (eOutcome == ESessionOutcome::Done && c.eOp == EOp::Count) {
        EXPECT_EQ(kSectorCount, nCount);
    }
    if (eOutcome == ESessionOutcome::Done && c.eOp == EOp::Read) {
        EXPECT_EQ(kImageBytes, vecRead);
    }

    // A link that is not to be used again sends nothing more.
    if (!c.bUsable) {
        const size_t nSent = ToBoard().size();
        EXPECT_EQ(ESessionOutcome::LinkLost, session.CountSectors(&nCount));
        EXPECT_EQ(nSent, ToBoard().size());
    }
}

auto SilentAfterRx(long long nMore)
{
    return [nMore](CBoardFaults& f, const CWireCount& wire) { f.nSilentAfterRx = wire.nRx + nMore; };
}
auto SilentAfterTx(long long nMore)
{
    return [nMore](CBoardFaults& f, const CWireCount& wire) { f.nSilentAfterTx = wire.nTx + nMore; };
}
void EraseFails(CBoardFaults& f, const CWireCount&)
{
    f.bEraseStatusE = true;
}
void WrongChecksum(CBoardFaults& f, const CWireCount&)
{
    f.nWrongChecksumBlock = 1;
}
void FlipRead(CBoardFaults& f, const CWireCount&)
{
    f.nFlipReadAddress = kImageStart + 301;
}

using S = ESessionOutcome;
constexpr const char* kLost = "Error connection lost";
constexpr const char* kNoRead = "Error cannot read data from COM-Port";
constexpr const char* kFlashError = "Error during flash process";

INSTANTIATE_TEST_SUITE_P(
    Job, BoardSession,
    ::testing::Values(
        CSessionCase{"InfoDone", EOp::Info, nullptr, S::Done, true, "", ""},
        // The text does not come: the board is still there, the window keeps the connection.
        CSessionCase{"InfoTextUnanswered", EOp::Info, SilentAfterTx(2), S::Refused, true, kNoRead, ""},
        CSessionCase{"InfoSelectorUnanswered", EOp::Info, SilentAfterRx(0), S::LinkLost, false, kLost, ""},
        CSessionCase{"CountDone", EOp::Count, nullptr, S::Done, true, "", ""},
        // A count that does not come loses the link, where it once read as a chip of 0 sectors.
        CSessionCase{"CountUnanswered", EOp::Count, SilentAfterTx(2), S::LinkLost, false, kNoRead, ""},
        CSessionCase{"CountEchoWrong", EOp::Count,
                     [](CBoardFaults& f, const CWireCount& wire) { f.nWrongEchoAtRx = wire.nRx + 1; },
                     S::LinkLost, false, kLost, ""},
        CSessionCase{"EraseChipRefused", EOp::EraseChip, EraseFails, S::LinkLost, false, "",
                     "Error cannot delete flash chip"},
        CSessionCase{"EraseChipEchoLost", EOp::EraseChip, SilentAfterTx(1), S::LinkLost, false, kLost,
                     "Error cannot delete flash chip"},
        CSessionCase{
            "EraseSectorsDone", EOp::EraseSectors, nullptr, S::Done, true, "", "", false, 0, -1, {1, 3}},
        // The command line stops at the first sector that fails; the window tries the next one too.
        CSessionCase{"EraseSectorsStop", EOp::EraseSectors, EraseFails, S::LinkLost, false, "",
                     "Error deleting sector"},
        CSessionCase{"EraseSectorsGoOn", EOp::EraseSectors, EraseFails, S::LinkLost, false, "",
                     "Error deleting sector; Error deleting sector", true},
        CSessionCase{"ProgramDone", EOp::Program, nullptr, S::Done, true, "", ""},
        CSessionCase{"ProgramWrongChecksum", EOp::Program, WrongChecksum, S::LinkLost, false, kFlashError,
                     kBlockFaultMark},
        CSessionCase{"ProgramWrongChecksumPipelined", EOp::Program, WrongChecksum, S::LinkLost, false,
                     kFlashError, kBlockFaultMark, false, 16},
        CSessionCase{"ProgramEchoLost", EOp::Program, SilentAfterRx(100), S::LinkLost, false, kFlashError,
                     "Flash failed"},
        CSessionCase{"ProgramStopped", EOp::Program, nullptr, S::Stopped, false, "", "", false, 0, 2},
        CSessionCase{"VerifyDone", EOp::Verify, nullptr, S::Done, true, "", ""},
        // A byte that differs leaves the flasher program waiting for the next command.
        CSessionCase{"VerifyDifference", EOp::Verify, FlipRead, S::Refused, true, "", ""},
        CSessionCase{"VerifyDifferencePipelined", EOp::Verify, FlipRead, S::Refused, true, "", "", false, 16},
        // The seventh exchange: its address's last echo, or its first answer, does not come. A missing
        // answer leaves the text as it was.
        CSessionCase{"VerifyEchoLost", EOp::Verify, SilentAfterTx(1 + 6 * 6 + 3), S::LinkLost, false, kLost,
                     ""},
        CSessionCase{"VerifyAnswerLost", EOp::Verify, SilentAfterTx(1 + 6 * 6 + 4), S::LinkLost, false, "",
                     ""},
        CSessionCase{"ReadDone", EOp::Read, nullptr, S::Done, true, "", ""},
        CSessionCase{"ReadHangUp", EOp::Read,
                     [](CBoardFaults& f, const CWireCount& wire) { f.nHangUpAfterRx = wire.nRx + 30; },
                     S::LinkLost, false, kNoRead, "Read failed"}),
    CCaseName());

// What the tables above leave open: the block fault's words, the stop's words, the difference.
TEST_F(BoardSession, SaysWhereItFailedOrStopped)
{
    const std::string strImage = m_dir.Path("image.hex");
    WriteHexFile(strImage, {{kImageStart, kImageBytes}});
    CHexFile image(strImage.c_str());
    ASSERT_EQ(0, image.Verify());
    ASSERT_EQ(0, image.Load());

    CSessionSink sink;
    CBoardSession session(sink);
    ASSERT_EQ(ESessionOutcome::Done, Connect(session, 0));
    m_board.SetFaults([] {
        CBoardFaults f;
        f.nWrongChecksumBlock = 1;
        return f;
    }());
    EXPECT_EQ(ESessionOutcome::LinkLost, session.Program(image));
    EXPECT_EQ(0u, sink.GetErrors().rfind(kBlockFault, 0)) << sink.GetErrors();
    EXPECT_EQ("Programming stopped at 0x0001FE: 254 of 600 bytes were programmed",
              session.GetFailureDetail());
    session.Close();

    CSessionSink stopSink;
    CBoardSession stopped(stopSink);
    m_board.SetFaults({});
    ASSERT_EQ(ESessionOutcome::Done, Connect(stopped, 0));
    stopSink.m_nStopAt = 2;
    EXPECT_EQ(ESessionOutcome::Stopped, stopped.Program(image));
    EXPECT_EQ("stopped while programming at 85%", stopped.GetStopText());
}
}   // namespace
