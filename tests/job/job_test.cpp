// The workflow both faces stand on: board facts, port names, image checks, and the boot chain
// as a sink sees it against the simulated board.
#include <cstring>
#include <gtest/gtest.h>

#include "hex/hexfile.h"
#include "job/boardfacts.h"
#include "job/boardrecord.h"
#include "job/boardresult.h"
#include "job/bootchain.h"
#include "job/imagecheck.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "job/portlist.h"
#include "job/sha256.h"
#include "link/linktestsupport.h"
#include "support/connectlog.h"
#include "support/namedcase.h"

namespace
{
TEST(BoardFacts, Texts)
{
    EXPECT_EQ("Sector #3\t0x018000 - 0x01FFFF\tunknown", FormatSectorLine(3, false));
    EXPECT_EQ("Sector #126\t0x3F0000 - 0x3F7FFF\tdeleted", FormatSectorLine(126, true));
    EXPECT_EQ("Sector #600\t0x12C0000 - 0x12C7FFF\tdeleted", FormatSectorLine(600, true));
    // A base near the top wraps at 32 bits as the board's addresses do.
    EXPECT_EQ("Sector #1\t0x000000 - 0x007FFF\tunknown", FormatSectorLine(1, false, 0x8000, 0xFFFF8000u));
    EXPECT_EQ("CPU returned ID: C5", FormatCpuIdLine(-59));   // 0xC5 as a signed char
    EXPECT_EQ("CPU returned ID:  A", FormatCpuIdLine(0x0A));
    EXPECT_EQ("CPU returned ID: FF", FormatCpuIdLine(0x1FF));
    EXPECT_STREQ("mainnex.h86", FindFlashChip("NexFlash")->pszFlasherFile);
    EXPECT_EQ(nullptr, FindFlashChip("nexflash"));
    EXPECT_EQ(57600, kSpeeds[kDefaultSpeedIndex]);
    EXPECT_EQ("\"a\\\"b\\\\c\\u000a\"", JsonString("a\"b\\c\n"));
}

// One block, and two: the length goes into a block of its own.
TEST(BoardRecord, Sha256AndUtcTime)
{
    for (const auto& vector :
         {std::make_pair("abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
          std::make_pair("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1")}) {
        CSha256 sha;
        sha.Add(vector.first, std::strlen(vector.first));
        EXPECT_EQ(vector.second, sha.Finish()) << vector.first;
    }
    EXPECT_EQ("2026-12-07T17:03:12Z", FormatUtcTime(1796662992));
    EXPECT_EQ("2024-02-29T23:59:59Z", FormatUtcTime(1709251199));
}

// Friendly names in discovery order, and what the Port list offers of them.
struct CPortNamesCase : CNamedCase
{
    std::vector<std::string> vecFriendly;
    std::vector<std::string> vecOffered;
};

class PortNames : public ::testing::TestWithParam<CPortNamesCase>
{};

TEST_P(PortNames, OfferedAndLookedUp)
{
    std::vector<SerialPortInfo> ports;
    for (const std::string& strFriendly : GetParam().vecFriendly) {
        SerialPortInfo info;
        info.m_strFriendlyName = strFriendly;
        info.m_strDevicePath = "/dev/" + strFriendly;
        ports.push_back(info);
    }
    const std::vector<std::string> names = MakePortNames(ports);
    EXPECT_EQ(GetParam().vecOffered, names);
    // The offered names replace the friendly names, so that the lookup finds them.
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ("/dev/" + GetParam().vecFriendly[i], FindPortPath(ports, names[i]));
}

INSTANTIATE_TEST_SUITE_P(
    Job, PortNames,
    ::testing::Values(CPortNamesCase{"InsideParentheses", {"USB Serial (COM1)"}, {"COM1"}},
                      CPortNamesCase{"SixCharactersStay", {"COM10A", "ttyS0"}, {"COM10A", "ttyS0"}},
                      CPortNamesCase{
                          "SevenWithoutParenthesesEndTheList", {"COM1", "COM10AB", "COM3"}, {"COM1"}},
                      CPortNamesCase{"LastPairOfTwo", {"USB (FTDI) Port (COM7)"}, {"COM7"}},
                      CPortNamesCase{"EmptyPairEndsTheList", {"COM2", "Modem ()", "COM4"}, {"COM2"}},
                      CPortNamesCase{"CloseBeforeOpenEndsTheList", {"Port) x (COM5"}, {}},
                      CPortNamesCase{"OneCharacterInside", {"Port (7)"}, {"7"}}),
    CCaseName());

TEST(PortList, SortedWithoutCaseAndLookedUpWithIt)
{
    EXPECT_EQ((std::vector<std::string>{"com1", "Com1", "COM10", "COM2", "ttyS0"}),
              SortPortNames({"COM2", "com1", "COM10", "ttyS0", "Com1"}));
    std::vector<SerialPortInfo> ports(3);
    ports[0].m_strFriendlyName = "COM1";
    ports[0].m_strDevicePath = "/dev/a";
    ports[1].m_strFriendlyName = "com1";
    ports[1].m_strDevicePath = "/dev/b";
    ports[2] = ports[0];
    ports[2].m_strDevicePath = "/dev/c";
    EXPECT_EQ("/dev/a", FindPortPath(ports, "COM1"));   // the first, letter case included
    EXPECT_EQ("/dev/b", FindPortPath(ports, "com1"));
    EXPECT_EQ("", FindPortPath(ports, "COM"));
}

class ImageChecks : public ::testing::Test
{
protected:
    CHexFile& Image(const std::vector<CSegment>& segments)
    {
        const std::string strPath = m_dir.Path("image" + std::to_string(m_vecImages.size()) + ".hex");
        WriteHexFile(strPath, segments);
        m_vecImages.push_back(std::make_unique<CHexFile>(strPath.c_str()));
        EXPECT_EQ(EImageLoad::Loaded, LoadHexImage(*m_vecImages.back(), nullptr));
        return *m_vecImages.back();
    }
    CTempDir m_dir;
    std::vector<std::unique_ptr<CHexFile>> m_vecImages;
};

TEST_F(ImageChecks, AgainstTheChipAndTheLine)
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
    EXPECT_EQ(0, CheckImageAgainstLine(Image({{0xFFFFFF, {1}}}), strError));
    EXPECT_EQ(-1, CheckImageAgainstLine(Image({{0xFFFFFF, {1, 2}}}), strError));
    EXPECT_EQ("the image writes address 0x1000000, beyond the flash (512 sectors of 32 KiB, up to 0xFFFFFF)",
              strError);
}

TEST_F(ImageChecks, SectorsTouchedAndRuns)
{
    CHexFile& image = Image({{0x7FFF, {1, 2}}, {0x20000, Pattern(0x8001)}, {0x40000, {9}}});
    EXPECT_EQ((std::vector<int>{0, 1, 4, 5, 8}), GetSectorsTouched(image));
    EXPECT_EQ(3, CountRuns(image));
    EXPECT_EQ(1, CountRuns(Image({{0x100, Pattern(600)}})));
}

// Every report of a job as one text, in order; progress positions only at the step's end.
class CRecordingSink : public CJobSink
{
public:
    void Log(const std::string& strLine) override { m_vecEvents.push_back(strLine); }
    void Detail(const std::string& strLine) override { m_vecEvents.push_back("detail " + strLine); }
    void Error(const std::string& strText) override { m_vecEvents.push_back("error " + strText); }
    CProgressSink* BeginStep(const CJobStep& step) override
    {
        m_vecEvents.push_back(std::string("begin ") + step.pszLabel + " " + std::to_string(step.nFirstPos));
        m_progress.m_positions.clear();
        return &m_progress;
    }
    void EndStep(bool bStopped) override
    {
        m_vecEvents.push_back("end " + std::to_string(m_progress.m_positions.back()) +
                              (bStopped ? " stopped" : ""));
    }
    void SetMark(EJobBar eBar, int nPos) override
    {
        m_vecEvents.push_back("mark " + std::to_string(static_cast<int>(eBar)) + " " + std::to_string(nPos));
    }

    std::vector<std::string> m_vecEvents;
    CRecordingProgress m_progress;
};

using BootChain = CBoardFixture;

TEST_F(BootChain, ReportsEveryStepWithItsMarks)
{
    CRecordingSink sink;
    ASSERT_EQ(0, Boot(m_link, &sink, "Phytec KC167CR"));
    const std::vector<std::string>& lines = ConnectedLogLines();
    const std::vector<std::string> expected = {"Trying to connect",
                                               "detail Port " + m_board.GetDevicePath() +
                                                   " at 921600 bit/s, flasher program " +
                                                   m_dir.Path("main.h86"),
                                               lines[0],
                                               lines[1],
                                               lines[2],
                                               lines[3],
                                               lines[4],
                                               "mark 0 20",
                                               lines[5],
                                               lines[6],
                                               "mark 0 50",
                                               lines[7],
                                               "begin Flasher program 50",
                                               "end 100",
                                               lines[8],
                                               "mark 0 100",
                                               lines[9],
                                               "begin Connection test 0",
                                               "end 100",
                                               lines[10],
                                               "detail Line round trip",
                                               "mark 1 100"};
    // The round trip is measured: only its words are fixed.
    ASSERT_EQ(expected.size(), sink.m_vecEvents.size());
    std::string& strRoundTrip = sink.m_vecEvents.end()[-2];
    EXPECT_EQ(0u, strRoundTrip.rfind("detail Line round trip ", 0)) << strRoundTrip;
    EXPECT_NE(std::string::npos, strRoundTrip.find(" ms per byte")) << strRoundTrip;
    strRoundTrip = "detail Line round trip";
    EXPECT_EQ(expected, sink.m_vecEvents);
    EXPECT_EQ("", sink.GetErrors());
}

// A failing step closes the link, reports its text and the closing line of that step.
struct CBootFailureCase : CNamedCase
{
    CBoardFaults faults;
    const char* pszError;
    const char* pszClosedLine;
};

CBoardFaults Faults(void (*fnSet)(CBoardFaults&))
{
    CBoardFaults faults;
    fnSet(faults);
    return faults;
}

class BootChainFailure : public BootChain, public ::testing::WithParamInterface<CBootFailureCase>
{};

TEST_P(BootChainFailure, ClosesAndSaysWhere)
{
    m_board.SetFaults(GetParam().faults);
    CRecordingSink sink;
    EXPECT_EQ(-1, Boot(m_link, &sink, "Phytec KC167CR"));
    ASSERT_GE(sink.m_vecEvents.size(), 2u);
    EXPECT_EQ(std::string("error ") + GetParam().pszError, sink.m_vecEvents.end()[-2]);
    EXPECT_EQ(GetParam().pszClosedLine, sink.m_vecEvents.back());
    EXPECT_EQ(GetParam().pszError, sink.GetErrors());
    EXPECT_FALSE(m_link.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    Job, BootChainFailure,
    ::testing::Values(CBootFailureCase{"BoardNotReset",
                                       Faults([](CBoardFaults& f) { f.bNoAnswerToZero = true; }),
                                       "Error setting up communcation with C167", "Serial Port closed"},
                      CBootFailureCase{"WrongEcho", Faults([](CBoardFaults& f) { f.nWrongTestEchoAt = 7; }),
                                       "Error duvuvever sent wrong ID", "Serial port closed"}),
    CCaseName());
}   // namespace
