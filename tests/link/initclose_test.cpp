// Init and Close of the target link: the order of the checks and their texts.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iterator>

#include "hex/hexfile.h"
#include "linktestsupport.h"
#include "support/namedcase.h"

namespace
{
using Clock = std::chrono::steady_clock;

enum class EFile
{
    Good,
    Missing,
    Empty,
    Invalid,
    Bytes31,
    Bytes33
};

void MakeFile(const std::string& strPath, EFile file, size_t nGoodBytes)
{
    const size_t anBytes[] = {nGoodBytes, 0, 0, nGoodBytes, 31, 33};
    if (file == EFile::Missing)
        return;
    WriteHexFile(strPath, file == EFile::Empty ? std::vector<CSegment>{}
                                               : std::vector<CSegment>{{0, Pattern(anBytes[int(file)])}});
    if (file == EFile::Invalid) {
        FILE* pFile = std::fopen(strPath.c_str(), "a");
        std::fputs(":00000001ff\n", pFile);   // lower-case digits are not allowed
        std::fclose(pFile);
    }
}

struct CInitCase : CNamedCase
{
    bool bPortOk;
    EFile bsl, first, second;
    const char* pszError;
};

class InitOrder : public CBoardFixture, public ::testing::WithParamInterface<CInitCase>
{};

TEST_P(InitOrder, FirstFailingStepNamesItself)
{
    const CInitCase& c = GetParam();
    MakeFile(m_dir.Path("a.hex"), c.bsl, 32);
    MakeFile(m_dir.Path("b.hex"), c.first, 100);
    MakeFile(m_dir.Path("c.h86"), c.second, 300);
    const std::string strPort = c.bPortOk ? m_board.GetDevicePath() : m_dir.Path("no-such-tty");
    EXPECT_EQ(-1, m_link.Init(strPort.c_str(), 57600, m_dir.Path("a.hex").c_str(),
                              m_dir.Path("b.hex").c_str(), m_dir.Path("c.h86").c_str()));
    EXPECT_EQ(c.pszError, m_link.GetErrorText());
    EXPECT_FALSE(m_link.IsInitialized());
    const auto start = Clock::now();
    m_link.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));   // no pause after a failed Init
    m_link.Close();
    EXPECT_EQ(c.pszError, m_link.GetErrorText());
    // The system's reason only for the port, and kept after Close like the text.
    EXPECT_EQ(c.bPortOk ? 0 : ENOENT, m_link.GetSystemError());
    EXPECT_EQ(c.bPortOk ? "" : "No such file or directory", m_link.GetSystemErrorText());
    // The failed link released the port it had opened.
    EXPECT_EQ(0, Init(m_link)) << m_link.GetErrorText();
    EXPECT_EQ(0, m_link.GetSystemError());
    EXPECT_EQ("", m_link.GetSystemErrorText());
}

INSTANTIATE_TEST_SUITE_P(
    Link, InitOrder,
    ::testing::Values(CInitCase{"PortBeforeFiles", false, EFile::Missing, EFile::Missing, EFile::Missing,
                                "Error, cannot open serial port"},
                      CInitCase{"BslInvalid", true, EFile::Invalid, EFile::Good, EFile::Good,
                                "Error reading bsl"},
                      CInitCase{"FirstMissing", true, EFile::Good, EFile::Missing, EFile::Good,
                                "Error reading first stage loader"},
                      CInitCase{"VerifyBeforeSizeCheck", true, EFile::Bytes31, EFile::Good, EFile::Missing,
                                "Error reading second stage loader"},
                      CInitCase{"Bsl31", true, EFile::Bytes31, EFile::Good, EFile::Good,
                                "Error, bsl byte count size is not 32"},
                      CInitCase{"SizeCheckBeforeLoad", true, EFile::Bytes33, EFile::Empty, EFile::Empty,
                                "Error, bsl byte count size is not 32"},
                      CInitCase{"FirstEmpty", true, EFile::Good, EFile::Empty, EFile::Good,
                                "Error loading first stage loader code into pc memory"},
                      CInitCase{"AllVerifiedBeforeLoad", true, EFile::Good, EFile::Empty, EFile::Invalid,
                                "Error reading second stage loader"},
                      CInitCase{"SecondEmpty", true, EFile::Good, EFile::Good, EFile::Empty,
                                "Error loading second stage loader code into pc memory"}),
    CCaseName());

using InitClose = CBoardFixture;

TEST_F(InitClose, SuccessEmptiesTheTextAndCloseReleasesEverything)
{
    m_link.SetErrorText("left over");
    ASSERT_EQ(0, Init(m_link));
    EXPECT_EQ("", m_link.GetErrorText());
    EXPECT_TRUE(m_link.IsInitialized());
    EXPECT_FALSE(m_link.IsConnected());
    EXPECT_EQ(kFlasherSize, m_link.GetFlasherByteCount());
    // A second link can't have the port while this one holds it.
    CTargetLink second;
    EXPECT_EQ(-1, Init(second));
    EXPECT_EQ("Error, cannot open serial port", second.GetErrorText());
    EXPECT_EQ(EBUSY, second.GetSystemError());
    EXPECT_EQ("the port is in use by another program", second.GetSystemErrorText());
    second.Close();

    const auto start = Clock::now();
    m_link.Close();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));   // the pause after an open link
    EXPECT_FALSE(m_link.IsInitialized());
    EXPECT_EQ(0, m_link.GetFlasherByteCount());
    m_link.Close();
    EXPECT_EQ(0, Init(second));   // free again at once
}

// A link used again starts from scratch: the first port is closed and the board must be
// connected anew before anything is sent.
TEST_F(InitClose, InitAgainStartsFromScratch)
{
    for (const bool bCloseFirst : {false, true}) {
        SCOPED_TRACE(bCloseFirst ? "Close, then Init" : "Init twice");
        ASSERT_EQ(0, Init(m_link));
        ASSERT_EQ(static_cast<signed char>(0xC5), m_link.Connect());
        if (bCloseFirst)
            m_link.Close();
        ASSERT_EQ(0, Init(m_link)) << m_link.GetErrorText();
        m_board.ClearWireLog();
        EXPECT_EQ(-1, m_link.SendBsl());
        EXPECT_EQ("Error not Connected", m_link.GetErrorText());
        // The board, reset by the new open, answers the bootstrap request as the first byte.
        EXPECT_EQ(static_cast<signed char>(0xC5), m_link.Connect());
        EXPECT_EQ(std::vector<uint8_t>{0x00}, ToBoard());
        m_link.Close();
        CTargetLink other;
        EXPECT_EQ(0, Init(other)) << other.GetErrorText();
        other.Close();
    }
}

using InitOrderInMemory = CMemoryBoardFixture;

// Before Init each boot step refuses, and so do the loaders before Connect; none sends a byte.
TEST_F(InitOrderInMemory, BootOperationsNeedInitAndTheLoadersAConnection)
{
    CRecordingProgress progress;
    const std::function<int()> operations[] = {
        [&] { return m_link.Connect(); }, [&] { return m_link.SendBsl(); },
        [&] { return m_link.SendFirstLoader(); }, [&] { return m_link.SendSecondLoader(&progress); }};
    const struct
    {
        const char* pszError;
        size_t nFirst;   // Connect makes the connection: only Init comes before it
    } stages[] = {{"Error call init first", 0}, {"Error not Connected", 1}};
    for (const auto& stage : stages) {
        for (size_t i = stage.nFirst; i < std::size(operations); ++i) {
            m_link.SetErrorText("");
            EXPECT_EQ(-1, operations[i]());
            EXPECT_EQ(stage.pszError, m_link.GetErrorText());
        }
        ASSERT_EQ(0, Init(m_link));
    }
    EXPECT_TRUE(progress.m_positions.empty());
    EXPECT_TRUE(m_board.GetWireLog().empty());
}

// A port handed over open: no opening, the same checks of the files, and Close frees it at once.
TEST_F(InitOrderInMemory, InitOnAnOpenPort)
{
    MakeFile(m_dir.Path("a.hex"), EFile::Bytes33, 0);
    EXPECT_EQ(-1, m_link.Init(m_board.Open(), m_dir.Path("a.hex").c_str(), m_dir.Path("prel2.hex").c_str(),
                              m_dir.Path("main.h86").c_str()));
    EXPECT_EQ("Error, bsl byte count size is not 32", m_link.GetErrorText());
    EXPECT_EQ(-1, m_link.Init(nullptr, m_dir.Path("prel1.hex").c_str(), m_dir.Path("prel2.hex").c_str(),
                              m_dir.Path("main.h86").c_str()));
    EXPECT_EQ("Error, cannot open serial port", m_link.GetErrorText());
    ASSERT_EQ(0, Init(m_link)) << m_link.GetErrorText();
    EXPECT_EQ(-1, m_link.GetLatencyTimer().nFoundMs);
    const auto start = Clock::now();
    m_link.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));   // nothing to let settle in memory
}
}   // namespace
