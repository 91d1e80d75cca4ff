// The command-line tool's pure pieces: argument checks, port choice, texts, files, the console.
#include <gtest/gtest.h>

#include "hex/hexdump.h"
#include "hex/hexfile.h"
#include "job/imagewriter.h"
#include "job/portchoice.h"
#include "link/linktestsupport.h"
#include "support/namedcase.h"
#include "tools/boardprogress.h"
#include "tools/clihelpers.h"
#include "tools/clioptions.h"
#include "tools/commandline.h"
#include "tools/console.h"
#include "tools/terminal.h"

namespace
{
struct CSectorCase : CNamedCase
{
    std::vector<std::string> vecArgs;
    std::vector<int> vecExpected;   // empty: refused
    const char* pszError;
};

// gtest names a failing case by this.
class SectorList : public ::testing::TestWithParam<CSectorCase>
{};

TEST_P(SectorList, ParsesStrictly)
{
    std::vector<int> vecSectors;
    std::string strError;
    const int nResult = ParseSectorList(GetParam().vecArgs, vecSectors, strError);
    if (GetParam().vecExpected.empty()) {
        EXPECT_EQ(-1, nResult);
        EXPECT_EQ(GetParam().pszError, strError);
    } else {
        EXPECT_EQ(0, nResult) << strError;
        EXPECT_EQ(GetParam().vecExpected, vecSectors);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SectorList,
    ::testing::Values(CSectorCase{"Single", {"3"}, {3}, ""},
                      CSectorCase{"ListsAndArgsSortedOnce", {"5,1", "3", "1"}, {1, 3, 5}, ""},
                      CSectorCase{"Highest", {"255"}, {255}, ""},
                      CSectorCase{"Letters", {"a,b"}, {}, "'a' is no sector number (0..255)"},
                      CSectorCase{"EmptyBetween", {"1,,2"}, {}, "empty sector number in '1,,2'"},
                      CSectorCase{"CommaOnly", {","}, {}, "empty sector number in ','"},
                      CSectorCase{"EmptyText", {""}, {}, "empty sector number in ''"},
                      CSectorCase{"Negative", {"-1"}, {}, "'-1' is no sector number (0..255)"},
                      CSectorCase{"TooHigh", {"256"}, {}, "'256' is no sector number (0..255)"},
                      CSectorCase{"TrailingGarbage", {"2x"}, {}, "'2x' is no sector number (0..255)"}),
    CCaseName());

TEST(CliHelpers, AddressesAreWholeNumbers)
{
    uint32_t dw = 0;
    EXPECT_EQ(0, ParseAddress("0x1F", 0xFFFFFF, dw));
    EXPECT_EQ(0x1Fu, dw);
    EXPECT_EQ(0, ParseAddress("4096", 0xFFFFFF, dw));
    EXPECT_EQ(4096u, dw);
    EXPECT_EQ(0, ParseAddress("0xFFFFFF", 0xFFFFFF, dw));
    for (const char* psz : {"", "0x", "0x1000000", "12a", "-1", " 1", "1 ", "0x-1", "99999999999"})
        EXPECT_EQ(-1, ParseAddress(psz, 0xFFFFFF, dw)) << psz;
}

TEST(CliHelpers, Texts)
{
    EXPECT_EQ("0x012345 \t: 0xAB", FormatDumpLine(0x12345, 0xAB));
    EXPECT_EQ("0x1000000 \t: 0x05", FormatDumpLine(0x1000000, 5));
    EXPECT_EQ("Programming      [#####-----]  50%  16.0 KiB/32.0 KiB  4.0 KiB/s  0:04 left",
              FormatProgressLine("Programming", 50, 32768, 4.0, 10));
    EXPECT_EQ("Connection test  100%  255 B/255 B  255 B/s",
              FormatProgressLine("Connection test", 200, 255, 1.0, 0));
    EXPECT_EQ("Reading            0%  0 B/1.0 KiB", FormatProgressLine("Reading", 0, 1024, 3.0, 0));
    EXPECT_EQ("1:02:05", FormatDuration(3725));
    EXPECT_EQ("0:02", FormatDuration(1.2));
    SerialPortInfo info;
    info.m_strFriendlyName = "Odd name ()";   // no shown name: the friendly name as it stands
    EXPECT_EQ("Odd name ()", GetPortName(info));
    EXPECT_EQ("dump-ttyUSB1.hex", GetBoardOutputPath("dump.hex", "/dev/ttyUSB1"));
    EXPECT_EQ("out/dump-pts_3", GetBoardOutputPath("out/dump", "pts:3"));
    EXPECT_EQ("a.b/dump-x.bin", GetBoardOutputPath("a.b/dump.bin", "x"));
    // Boards on ports of one name in different folders get files of their own.
    EXPECT_EQ("b-slotA_tty.hex", GetBoardOutputPath("b.hex", "slotA/tty"));
    EXPECT_EQ("b-slotB_tty.hex", GetBoardOutputPath("b.hex", "slotB/tty"));
    EXPECT_EQ("b-pts_3.hex", GetBoardOutputPath("b.hex", "/dev/pts/3"));
    EXPECT_EQ("b-COM12.hex", GetBoardOutputPath("b.hex", "\\\\.\\COM12"));
}

TEST(CliHelpers, ChoosePorts)
{
    const std::vector<SerialPortInfo> vecFound = {
        {"/dev/ttyS0", "ttyS0", "ttyS0", false, "ttyS0"},
        {"/tmp/p/sim-1", "sim-1", "Simulated KC167 board (sim-1)", false, "Simulated KC167 board"}};
    std::vector<CBoardPort> vecChosen;
    std::string strError;
    ASSERT_EQ(0, ChoosePorts({"sim-1", "/dev/ttyS0", "/dev/pts/9"}, vecFound, vecChosen, strError));
    ASSERT_EQ(3u, vecChosen.size());
    EXPECT_EQ("/tmp/p/sim-1", vecChosen[0].strDevicePath);
    EXPECT_EQ("/dev/ttyS0", vecChosen[1].strDevicePath);
    EXPECT_EQ("/dev/pts/9", vecChosen[2].strDevicePath);
    EXPECT_EQ(2, ChoosePorts({"COM9"}, vecFound, vecChosen, strError));
    EXPECT_EQ("--port: unknown port 'COM9' ('kelvora-cli ports' lists them; a device path works too)",
              strError);
    EXPECT_EQ(2, ChoosePorts({}, vecFound, vecChosen, strError));
    EXPECT_EQ(
        "several serial ports found; choose one with --port:\n  ttyS0\t/dev/ttyS0\n  sim-1\t/tmp/p/sim-1",
        strError);
    EXPECT_EQ(0, ChoosePorts({}, {vecFound[1]}, vecChosen, strError));
    EXPECT_EQ("sim-1", vecChosen.at(0).strName);
    EXPECT_EQ(1, ChoosePorts({}, {}, vecChosen, strError));
}

TEST(CliHelpers, ReadBackFilesLoadAsTheSameBytes)
{
    CTempDir dir;
    // Across a 64 KiB page: the records split there and an extended address record follows.
    const std::vector<uint8_t> vecData = Pattern(40);
    std::string strError;
    ASSERT_EQ(0, WriteImageFile(dir.Path("out.hex"), 0xFFF0, vecData, strError)) << strError;
    CHexFile file(dir.Path("out.hex").c_str());
    ASSERT_EQ(0, file.Verify());
    ASSERT_EQ(0, file.Load());
    ASSERT_EQ(40, file.m_nByteCount);
    EXPECT_EQ(0xFFF0u, file.m_pFirst->dwAddress);
    EXPECT_EQ(0x10017u, file.GetEndAddress());
    std::vector<uint8_t> vecLoaded(40);
    file.GetData(vecLoaded.data(), 40);
    EXPECT_EQ(vecData, vecLoaded);

    ASSERT_EQ(0, WriteImageFile(dir.Path("out.BIN"), 0x100, vecData, strError));
    FILE* pFile = std::fopen(dir.Path("out.BIN").c_str(), "rb");
    std::vector<uint8_t> vecRaw(64);
    vecRaw.resize(std::fread(vecRaw.data(), 1, vecRaw.size(), pFile));
    std::fclose(pFile);
    EXPECT_EQ(vecData, vecRaw);

    EXPECT_EQ(-1, WriteImageFile(dir.Path("missing/out.hex"), 0, vecData, strError));
    EXPECT_EQ(-1, CheckWritablePath(dir.Path("missing/out.hex"), strError));
    EXPECT_EQ(-1, CheckWritablePath(dir.Path(), strError));
}

struct CProgressCase : CNamedCase
{
    int64_t nTotalBytes;
    int nFirstPos;
    // The positions reported; none: those of the link reading nTotalBytes from 0x8001 on the board
    std::vector<int> vecPositions;
    std::vector<std::string> vecLines;   // the plain lines, without rate and time left
    int nPercent;                        // at the end
};

// gtest names a failing case by this.
class ProgressLines : public CBoardFixture, public ::testing::WithParamInterface<CProgressCase>
{};

// What a step's progress shows without a terminal: a line at every tenth reached, the bytes done
// of the step's total, from the position its bar starts at.
TEST_P(ProgressLines, AreThePercentOfTheStepsBytes)
{
    const CProgressCase& c = GetParam();
    FILE* pOut = std::tmpfile();
    ASSERT_NE(nullptr, pOut);
    CConsole console(pOut, pOut, EVerbosity::Normal, false);
    int nPercent = -1;
    {
        CBoardProgress progress(console, "", "Reading", c.nTotalBytes, c.nFirstPos);
        if (c.vecPositions.empty()) {
            ASSERT_EQ(0, Boot(m_link));
            ASSERT_EQ(0, m_link.SelectFlashGroup());
            std::vector<uint8_t> vecData(static_cast<size_t>(c.nTotalBytes));
            ASSERT_EQ(
                0, m_link.ReadFlash(&progress, 0x8001, static_cast<uint32_t>(c.nTotalBytes), vecData.data()));
        }
        for (int nPos : c.vecPositions)
            progress.SetProgress(nPos);
        nPercent = progress.GetPercent();
    }
    std::rewind(pOut);
    std::vector<std::string> vecLines;
    char szLine[256];
    while (std::fgets(szLine, sizeof szLine, pOut) != nullptr) {
        std::string strLine(szLine);
        strLine.erase(strLine.find_last_not_of('\n') + 1);
        const size_t nRate = strLine.find(" B/s");
        vecLines.push_back(nRate == std::string::npos ? strLine
                                                      : strLine.substr(0, strLine.rfind("  ", nRate)));
    }
    std::fclose(pOut);
    EXPECT_EQ(c.vecLines, vecLines);
    EXPECT_EQ(c.nPercent, nPercent);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ProgressLines,
    ::testing::Values(
        CProgressCase{"ReadBackOfAnOddLength",
                      101,
                      0,
                      {},
                      {"Reading           10%  10 B/101 B", "Reading           20%  20 B/101 B",
                       "Reading           30%  30 B/101 B", "Reading           40%  40 B/101 B",
                       "Reading           50%  50 B/101 B", "Reading           60%  61 B/101 B",
                       "Reading           70%  71 B/101 B", "Reading           80%  81 B/101 B",
                       "Reading           90%  91 B/101 B", "Reading          100%  101 B/101 B"},
                      100},
        CProgressCase{"ReadBackOfOneByte", 1, 0, {}, {"Reading          100%  1 B/1 B"}, 100},
        CProgressCase{"BarStartingHalfWay",
                      4608,
                      50,
                      {50, 54, 55, 74, 75, 99},
                      {"Reading           10%  461 B/4.5 KiB", "Reading           40%  1.8 KiB/4.5 KiB",
                       "Reading           50%  2.2 KiB/4.5 KiB", "Reading           90%  4.0 KiB/4.5 KiB"},
                      98},
        CProgressCase{"BarStartingHalfWayOddTotal",
                      255,
                      50,
                      {51, 56, 100},
                      {"Reading           10%  26 B/255 B", "Reading          100%  255 B/255 B"},
                      100}),
    CCaseName());

TEST(CliHelpers, RowsUpClearCode)
{
    EXPECT_EQ("\r\033[1A\033[J", GetRowsUpClearCode(1));
    EXPECT_EQ("\r\033[12A\033[J", GetRowsUpClearCode(12));
}

// A console output handle: its mode, whether it takes a new one and keeps the escape-code bit.
class CFakeConsoleMode : public CConsoleModeApi
{
public:
    bool bConsole = true;
    uint32_t dwMode = 0;
    bool bTakes = true;
    bool bKeepsEscapeCodes = true;
    std::vector<uint32_t> vecSet;

    bool GetMode(uint32_t& dwOut) override
    {
        dwOut = dwMode;
        return bConsole;
    }
    bool SetMode(uint32_t dwNew) override
    {
        vecSet.push_back(dwNew);
        if (bTakes)
            dwMode = bKeepsEscapeCodes ? dwNew : dwNew & ~kEscapeCodes;
        return bTakes;
    }
};

TEST(CliHelpers, EscapeCodesOnlyWhereTheConsoleTakesThem)
{
    constexpr uint32_t kOn = CConsoleModeApi::kEscapeCodes;
    const struct
    {
        const char* pszName;
        bool bConsole;
        uint32_t dwMode;
        bool bTakes;
        bool bKeeps;
        int nExpected;                  // 0: bars, -1: plain lines
        std::vector<uint32_t> vecSet;   // the modes asked for
    } aCases[] = {
        {"PipeOrFile", false, 0, true, true, -1, {}},
        {"AlreadyOn", true, 0x3 | kOn, true, true, 0, {}},
        {"SwitchedOnOtherBitsKept", true, 0x3, true, true, 0, {0x3 | kOn}},
        {"ClassicConsoleRefuses", true, 0x3, false, true, -1, {0x3 | kOn}},
        {"ClassicConsoleDropsTheBit", true, 0x3, true, false, -1, {0x3 | kOn}},
    };
    for (const auto& testCase : aCases) {
        SCOPED_TRACE(testCase.pszName);
        CFakeConsoleMode console;
        console.bConsole = testCase.bConsole;
        console.dwMode = testCase.dwMode;
        console.bTakes = testCase.bTakes;
        console.bKeepsEscapeCodes = testCase.bKeeps;
        EXPECT_EQ(testCase.nExpected, SwitchOnEscapeCodes(console));
        EXPECT_EQ(testCase.vecSet, console.vecSet);
    }
}
}   // namespace
