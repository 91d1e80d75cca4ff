// Init and Close of the target link: the order of the checks and their texts.
#include <chrono>
#include <gtest/gtest.h>

#include "hex/hexfile.h"
#include "link/targetlink.h"
#include "linktestsupport.h"

namespace
{
using Clock = std::chrono::steady_clock;

enum class EFile { Good, Missing, Empty, Invalid, Bytes31, Bytes33 };

void MakeFile(const std::string& strPath, EFile file, size_t nGoodBytes)
{
    switch (file) {
    case EFile::Good:
        WriteHexFile(strPath, {{0x0000, Pattern(nGoodBytes)}});
        break;
    case EFile::Missing:
        break;
    case EFile::Empty:
        WriteEmptyHexFile(strPath);
        break;
    case EFile::Invalid:
        WriteHexFile(strPath, {{0x0000, Pattern(nGoodBytes)}});
        {
            FILE* pFile = std::fopen(strPath.c_str(), "a");
            std::fputs(":00000001ff\n", pFile);   // lower-case digits are not allowed
            std::fclose(pFile);
        }
        break;
    case EFile::Bytes31:
        WriteHexFile(strPath, {{0x0000, Pattern(31)}});
        break;
    case EFile::Bytes33:
        WriteHexFile(strPath, {{0x0000, Pattern(33)}});
        break;
    }
}

struct CInitCase
{
    const char* pszName;
    bool bPortOk;
    EFile bsl;
    EFile first;
    EFile second;
    const char* pszError;
};

class InitOrder : public ::testing::TestWithParam<CInitCase>
{
};

TEST_P(InitOrder, FirstFailingStepNamesItself)
{
    const CInitCase& c = GetParam();
    CTempDir dir;
    CPtyPair pty;
    MakeFile(dir.Path("prel1.hex"), c.bsl, 32);
    MakeFile(dir.Path("prel2.hex"), c.first, 100);
    MakeFile(dir.Path("main.h86"), c.second, 300);

    CTargetLink link;
    const std::string strPort = c.bPortOk ? pty.SlavePath() : dir.Path("no-such-tty");
    EXPECT_EQ(-1, link.Init(strPort.c_str(), 57600, dir.Path("prel1.hex").c_str(),
                            dir.Path("prel2.hex").c_str(), dir.Path("main.h86").c_str()));
    EXPECT_EQ(c.pszError, link.GetErrorText());
    EXPECT_EQ(0, link.m_bInitialized);
    // The objects stay in place until Close, also after a failure.
    EXPECT_NE(nullptr, link.m_pPort);
    EXPECT_NE(nullptr, link.m_pSecondLoader);
    link.Close();
    EXPECT_EQ(c.pszError, link.GetErrorText());
}

INSTANTIATE_TEST_SUITE_P(
    Link, InitOrder,
    ::testing::Values(
        CInitCase{"PortBeforeFiles", false, EFile::Missing, EFile::Missing, EFile::Missing,
                  "Error, cannot open serial port"},
        CInitCase{"BslMissing", true, EFile::Missing, EFile::Good, EFile::Good, "Error reading bsl"},
        CInitCase{"BslInvalid", true, EFile::Invalid, EFile::Good, EFile::Good, "Error reading bsl"},
        CInitCase{"FirstMissing", true, EFile::Good, EFile::Missing, EFile::Good,
                  "Error reading first stage loader"},
        CInitCase{"SecondMissing", true, EFile::Good, EFile::Good, EFile::Missing,
                  "Error reading second stage loader"},
        CInitCase{"VerifyBeforeSizeCheck", true, EFile::Bytes31, EFile::Good, EFile::Missing,
                  "Error reading second stage loader"},
        CInitCase{"Bsl31", true, EFile::Bytes31, EFile::Good, EFile::Good, "Error, bsl byte count size is not 32"},
        CInitCase{"Bsl33", true, EFile::Bytes33, EFile::Good, EFile::Good, "Error, bsl byte count size is not 32"},
        CInitCase{"SizeCheckBeforeLoad", true, EFile::Bytes33, EFile::Empty, EFile::Empty,
                  "Error, bsl byte count size is not 32"},
        CInitCase{"FirstEmpty", true, EFile::Good, EFile::Empty, EFile::Good,
                  "Error loading first stage loader code into pc memory"},
        CInitCase{"AllVerifiedBeforeLoad", true, EFile::Good, EFile::Empty, EFile::Invalid,
                  "Error reading second stage loader"},
        CInitCase{"SecondEmpty", true, EFile::Good, EFile::Good, EFile::Empty,
                  "Error loading second stage loader code into pc memory"}),
    [](const ::testing::TestParamInfo<CInitCase>& param) { return std::string(param.param.pszName); });

class InitClose : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteHexFile(m_dir.Path("prel1.hex"), {{0x0000, Pattern(32)}});
        WriteHexFile(m_dir.Path("prel2.hex"), {{0x0000, Pattern(64)}});
        WriteHexFile(m_dir.Path("main.h86"), {{0x0000, Pattern(500)}});
    }
    int Init(CTargetLink& link, const std::string& strPort)
    {
        return link.Init(strPort.c_str(), 57600, m_dir.Path("prel1.hex").c_str(), m_dir.Path("prel2.hex").c_str(),
                         m_dir.Path("main.h86").c_str());
    }
    CTempDir m_dir;
    CPtyPair m_pty;
};

TEST_F(InitClose, SuccessEmptiesTheTextAndCloseReleasesEverything)
{
    CTargetLink link;
    link.m_strError = "left over";
    ASSERT_EQ(0, Init(link, m_pty.SlavePath()));
    EXPECT_EQ("", link.GetErrorText());
    EXPECT_EQ(1, link.m_bInitialized);
    EXPECT_EQ(0, link.m_bConnected);
    EXPECT_EQ(32, link.m_pBsl->m_nByteCount);
    EXPECT_EQ(500, link.m_pSecondLoader->m_nByteCount);

    const auto start = Clock::now();
    link.Close();
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));   // the pause after an open link
    EXPECT_EQ(0, link.m_bInitialized);
    EXPECT_EQ(nullptr, link.m_pPort);
    EXPECT_EQ(nullptr, link.m_pBsl);
    EXPECT_EQ(nullptr, link.m_pFirstLoader);
    EXPECT_EQ(nullptr, link.m_pSecondLoader);
    link.Close();   // a second Close does nothing

    // The port is free again at once.
    CTargetLink again;
    EXPECT_EQ(0, Init(again, m_pty.SlavePath()));
    again.Close();
}

TEST_F(InitClose, CloseAfterFailedInitHasNoPauseAndKeepsTheText)
{
    CTargetLink link;
    ASSERT_EQ(-1, link.Init(m_pty.SlavePath().c_str(), 57600, m_dir.Path("missing.hex").c_str(),
                            m_dir.Path("prel2.hex").c_str(), m_dir.Path("main.h86").c_str()));
    const auto start = Clock::now();
    link.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(90));
    link.Close();
    EXPECT_EQ("Error reading bsl", link.GetErrorText());
    // The failed link released the port it had opened.
    CTargetLink again;
    EXPECT_EQ(0, Init(again, m_pty.SlavePath()));
    again.Close();
}

TEST_F(InitClose, PortHeldByAnotherLinkCannotBeOpened)
{
    CTargetLink first;
    ASSERT_EQ(0, Init(first, m_pty.SlavePath()));
    CTargetLink second;
    EXPECT_EQ(-1, Init(second, m_pty.SlavePath()));
    EXPECT_EQ("Error, cannot open serial port", second.GetErrorText());
    second.Close();
    first.Close();
}

TEST_F(InitClose, BootOperationsNeedInitFirst)
{
    CTargetLink link;
    CRecordingProgress progress;
    EXPECT_EQ(-1, link.Connect());
    EXPECT_EQ("Error call init first", link.GetErrorText());
    link.m_strError.clear();
    EXPECT_EQ(-1, link.SendBsl());
    EXPECT_EQ("Error call init first", link.GetErrorText());
    link.m_strError.clear();
    EXPECT_EQ(-1, link.SendFirstLoader());
    EXPECT_EQ("Error call init first", link.GetErrorText());
    link.m_strError.clear();
    EXPECT_EQ(-1, link.SendSecondLoader(&progress));
    EXPECT_EQ("Error call init first", link.GetErrorText());
    EXPECT_TRUE(progress.m_positions.empty());
}
}
