// The command-line tool's pure pieces: argument checks, image against chip, texts, files.
#include <gtest/gtest.h>

#include "hex/hexdump.h"
#include "hex/hexfile.h"
#include "link/linktestsupport.h"
#include "tools/clihelpers.h"
#include "tools/clioptions.h"
#include "tools/commandline.h"
#include "tools/imagewriter.h"
#include "tools/portchoice.h"

namespace
{
struct CSectorCase
{
    const char* pszName;
    std::vector<std::string> vecArgs;
    std::vector<int> vecExpected;   // empty: refused
    const char* pszError;
};

// gtest names a failing case by this.
void PrintTo(const CSectorCase& testCase, std::ostream* pStream)
{
    *pStream << testCase.pszName;
}

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
    [](const ::testing::TestParamInfo<CSectorCase>& caseInfo) {
        return std::string(caseInfo.param.pszName);
    });

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

class ImageChecks : public ::testing::Test
{
protected:
    CHexFile& Image(const std::vector<CSegment>& segments)
    {
        const std::string strPath = m_dir.Path("image" + std::to_string(m_vecImages.size()) + ".hex");
        WriteHexFile(strPath, segments);
        m_vecImages.push_back(std::make_unique<CHexFile>(strPath.c_str()));
        EXPECT_EQ(0, m_vecImages.back()->Verify());
        EXPECT_EQ(0, m_vecImages.back()->Load());
        return *m_vecImages.back();
    }
    CTempDir m_dir;
    std::vector<std::unique_ptr<CHexFile>> m_vecImages;
};

TEST_F(ImageChecks, AgainstTheChip)
{
    std::string strError;
    EXPECT_EQ(0, CheckImageAgainstChip(Image({{0x7FFE, {1, 2}}}), 1, strError));
    EXPECT_EQ(-1, CheckImageAgainstChip(Image({{0x7FFF, {1, 2}}}), 1, strError));
    EXPECT_EQ("the image writes address 0x008000, beyond the flash (1 sectors of 32 KiB, up to 0x007FFF)",
              strError);
    EXPECT_EQ(-1, CheckImageAgainstChip(Image({{0x10, {1, 2}}, {0x11, {3}}}), 8, strError));
    EXPECT_EQ("the image writes address 0x000011 twice", strError);
    EXPECT_EQ(-1, CheckImageAgainstChip(Image({{0, {1}}}), 0, strError));
    EXPECT_EQ("the image writes address 0x000000, beyond the flash (0 sectors of 32 KiB)", strError);
}

TEST_F(ImageChecks, SectorsTouchedAndRuns)
{
    CHexFile& image = Image({{0x7FFF, {1, 2}}, {0x20000, Pattern(0x8001)}, {0x40000, {9}}});
    EXPECT_EQ((std::vector<int>{0, 1, 4, 5, 8}), GetSectorsTouched(image));
    EXPECT_EQ(3, CountRuns(image));
    EXPECT_EQ(1, CountRuns(Image({{0x100, Pattern(600)}})));
}

TEST(CliHelpers, Texts)
{
    EXPECT_EQ("0x012345 \t: 0xAB", FormatDumpLine(0x12345, 0xAB));
    EXPECT_EQ("0x1000000 \t: 0x05", FormatDumpLine(0x1000000, 5));
    EXPECT_EQ("Sector #3\t0x018000 - 0x01FFFF\tunknown", FormatSectorLine(3, false));
    EXPECT_EQ("Sector #126\t0x3F0000 - 0x3F7FFF\tdeleted", FormatSectorLine(126, true));
    EXPECT_EQ("Programming      [#####-----]  50%  16.0 KiB/32.0 KiB  4.0 KiB/s  0:04 left",
              FormatProgressLine("Programming", 50, 32768, 4.0, 10));
    EXPECT_EQ("Connection test  100%  255 B/255 B  255 B/s",
              FormatProgressLine("Connection test", 200, 255, 1.0, 0));
    EXPECT_EQ("Reading            0%  0 B/1.0 KiB", FormatProgressLine("Reading", 0, 1024, 3.0, 0));
    EXPECT_EQ("1:02:05", FormatDuration(3725));
    EXPECT_EQ("0:02", FormatDuration(1.2));
    EXPECT_EQ("COM3", GetShownPortName("USB Serial (COM3)"));
    EXPECT_EQ("kelvora-sim-7", GetShownPortName("Simulated KC167 board (kelvora-sim-7)"));
    EXPECT_EQ("ttyS0", GetShownPortName("ttyS0"));
    EXPECT_EQ("Odd name ()", GetShownPortName("Odd name ()"));
    EXPECT_EQ("dump-ttyUSB1.hex", GetBoardOutputPath("dump.hex", "/dev/ttyUSB1"));
    EXPECT_EQ("out/dump-pts_3", GetBoardOutputPath("out/dump", "pts:3"));
    EXPECT_EQ("a.b/dump-x.bin", GetBoardOutputPath("a.b/dump.bin", "x"));
    EXPECT_EQ("\"a\\\"b\\\\c\\u000a\"", JsonString("a\"b\\c\n"));
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
}   // namespace
