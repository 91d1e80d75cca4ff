// kelvora-cli run as a user runs it, against simulated boards on pseudo-terminals: its lines on
// standard output and error, its exit status, and what the board's flash holds afterwards.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

#include "hex/hexfile.h"
#include "job/boardfacts.h"
#include "job/sha256.h"
#include "link/linktestsupport.h"
#include "serial/rs232port.h"
#include "support/childprocess.h"
#include "support/connectlog.h"
#include "support/namedcase.h"

namespace
{
constexpr int kSectors = 8;

// The lines of strText in this order, each a whole line, others may stand between.
::testing::AssertionResult HasLinesInOrder(const std::string& strText,
                                           const std::vector<std::string>& vecLines)
{
    size_t nPos = 0;
    for (const std::string& strLine : vecLines) {
        size_t nAt = nPos;
        while ((nAt = strText.find(strLine, nAt)) != std::string::npos) {
            const bool bStart = nAt == 0 || strText[nAt - 1] == '\n';
            const size_t nEnd = nAt + strLine.size();
            if (bStart && (nEnd == strText.size() || strText[nEnd] == '\n'))
                break;
            ++nAt;
        }
        if (nAt == std::string::npos)
            return ::testing::AssertionFailure() << "no line \"" << strLine << "\" in order in:\n" << strText;
        nPos = nAt + strLine.size();
    }
    return ::testing::AssertionSuccess();
}

const std::vector<std::string> kConnectLines = [] {
    std::vector<std::string> lines = {"please reset the board", "Trying to connect"};
    lines.insert(lines.end(), ConnectedLogLines().begin(), ConnectedLogLines().end());
    return lines;
}();
const std::vector<std::string> kCloseLines = {"Connection closed", "Serial port closed"};

// The lines of a text of records, each with its times and durations blanked: "T" and S.
std::vector<std::string> BlankedLines(const std::string& strText)
{
    static const std::regex times("\"(started|ended)\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\"");
    static const std::regex durations("\"(seconds|round_trip_ms)\":\\d+\\.\\d{3}");
    std::vector<std::string> vecLines;
    std::istringstream lines(strText);
    std::string strLine;
    while (std::getline(lines, strLine))
        vecLines.push_back(
            std::regex_replace(std::regex_replace(strLine, times, "\"$1\":\"T\""), durations, "\"$1\":S"));
    return vecLines;
}

std::string ReadFile(const std::string& strPath)
{
    std::ostringstream text;
    text << std::ifstream(strPath).rdbuf();
    return text.str();
}

// A blanked record up to "sectors_erased"; strImage "" for a command without one, else the image
// file and its erase mode.
std::string RecordHead(const std::string& strOperation, const std::string& strPort,
                       const std::string& strImage = "", const std::string& strErase = "image")
{
    std::string strImageKeys = "\"image\":null,\"image_size\":null,\"image_sha256\":null,\"erase\":null";
    std::string strSha;
    int64_t nSize = 0;
    if (!strImage.empty())
        strImageKeys = "\"image\":\"" + strImage + "\",\"image_size\":" +
                       (CSha256::HashFile(strImage, strSha, nSize) == 0
                            ? std::to_string(nSize) + ",\"image_sha256\":\"" + strSha + "\""
                            : "null,\"image_sha256\":null") +
                       ",\"erase\":\"" + strErase + "\"";
    return "{\"started\":\"T\",\"ended\":\"T\",\"version\":\"" KELVORA_VERSION "\",\"operation\":\"" +
           strOperation + "\",\"port\":\"" + strPort + "\",\"serial\":null," + strImageKeys;
}

std::vector<std::string> Join(std::vector<std::string> vecFirst, const std::vector<std::string>& vecSecond)
{
    vecFirst.insert(vecFirst.end(), vecSecond.begin(), vecSecond.end());
    return vecFirst;
}

// The link fixture's folder and board; its link stays unused, kelvora-cli brings its own.
class CliBoard : public CBoardFixture
{
protected:
    void SetUp() override
    {
        WriteTargets(300, kSectors);
        m_board.SetEraseTimes(5, 20);
        ASSERT_EQ(0, m_board.Start());
        WriteHexFile(m_dir.Path("image.hex"), {{0x100, Pattern(300)}, {0x10000, Pattern(201, 9)}});
    }

    // A connecting command on the board; the simulated board needs no reset.
    std::vector<std::string> Args(const std::vector<std::string>& vecArgs,
                                  const CBoardSim* pBoard = nullptr) const
    {
        std::vector<std::string> vecAll = {"--port", (pBoard ? pBoard : &m_board)->GetDevicePath(),
                                           "--no-prompt", "--dir", m_dir.Path()};
        vecAll.insert(vecAll.begin(), vecArgs.begin(), vecArgs.end());
        return vecAll;
    }
    // Discovery sees only the simulators of this test.
    std::vector<std::string> Env() const { return {"XDG_RUNTIME_DIR=" + m_dir.Path()}; }
    // Runs kelvora-cli to its end: its exit status, its output in m_strOut and m_strErr.
    int Run(const std::vector<std::string>& vecArgs)
    {
        CChildProcess cli;
        if (cli.Start(KELVORA_CLI_PATH, vecArgs, Env()) != 0)
            return -1;
        const int nStatus = cli.Wait();
        m_strOut = cli.m_strOut;
        m_strErr = cli.m_strErr;
        return nStatus;
    }
    // The flash, sector by sector filled with its number, so erased sectors stand out.
    void FillFlash(CBoardSim& board)
    {
        std::vector<uint8_t> vecFlash(kSectors * kSectorSize);
        for (size_t i = 0; i < vecFlash.size(); ++i)
            vecFlash[i] = static_cast<uint8_t>(i / kSectorSize);
        ASSERT_TRUE(LoadFlashBytes(board, m_dir, vecFlash));
    }
    // Whether the board's flash holds the image's bytes.
    ::testing::AssertionResult FlashHolds(const CBoardSim& board, const std::string& strImage) const
    {
        CHexFile image(strImage.c_str());
        if (image.Verify() != 0 || image.Load() != 0)
            return ::testing::AssertionFailure() << "image unreadable";
        const std::vector<uint8_t> vecFlash = board.GetFlash();
        for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext)
            if (p->dwAddress >= vecFlash.size() || vecFlash[p->dwAddress] != p->byValue)
                return ::testing::AssertionFailure() << "differs at " << p->dwAddress;
        return ::testing::AssertionSuccess();
    }

    std::string m_strOut;
    std::string m_strErr;
};

// ---- each command: its lines and its status ----------------------------------------------

struct CCommandCase : CNamedCase
{
    std::vector<std::string> vecArgs;
    std::vector<std::string> vecOut;   // lines of standard output, in order, after the connection
};

// gtest names a failing case by this.
class CliCommand : public CliBoard, public ::testing::WithParamInterface<CCommandCase>
{};

TEST_P(CliCommand, ReportsLikeTheWindowAndSucceeds)
{
    std::vector<std::string> vecArgs = GetParam().vecArgs;
    for (std::string& strArg : vecArgs)
        if (strArg == "IMAGE")
            strArg = m_dir.Path("image.hex");
        else if (strArg == "OUT")
            strArg = m_dir.Path("out.hex");
    EXPECT_EQ(0, Run(Args(vecArgs))) << m_strErr;
    EXPECT_TRUE(HasLinesInOrder(m_strOut, Join(Join(kConnectLines, GetParam().vecOut), kCloseLines)));
    EXPECT_EQ("", m_strErr);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliCommand,
    ::testing::Values(
        CCommandCase{"Info", {"info"}, {CBoardFixture::kInfo}},
        CCommandCase{"Sectors",
                     {"sectors"},
                     {"Sector\tRange", "Sector #0\t0x000000 - 0x007FFF", "Sector #7\t0x038000 - 0x03FFFF"}},
        CCommandCase{"EraseChip", {"erase", "--chip"}, {"Erasing flash chip", "Flash chip erased"}},
        CCommandCase{"EraseSectors",
                     {"erase", "--sector", "3,1"},
                     {"Erasing sector 1 (0x008000 - 0x00FFFF)", "Erasing sector 3 (0x018000 - 0x01FFFF)",
                      "2 sectors erased"}},
        CCommandCase{"Flash",
                     {"flash", "IMAGE"},
                     {"Erasing sector 0 (0x000000 - 0x007FFF)", "Erasing sector 2 (0x010000 - 0x017FFF)",
                      "Hexfile flashed and verified successfully"}},
        CCommandCase{"FlashOptionsBeforeTheImage",
                     {"flash", "--no-verify", "--erase", "none", "IMAGE"},
                     {"Hexfile flashed successfully"}},
        CCommandCase{"Read",
                     {"read", "--start", "0x8000", "--length", "100", "-o", "OUT"},
                     {"Reading 0x008000 - 0x008063, 100 bytes"}}),
    CCaseName());

TEST_F(CliBoard, PipedProgressIsOneLineEveryTenth)
{
    WriteHexFile(m_dir.Path("long.hex"), {{0, Pattern(0x1000)}});
    ASSERT_EQ(0, Run(Args({"flash", m_dir.Path("long.hex"), "--erase", "none"}))) << m_strErr;
    // The flasher program goes out in one Write: its bar steps once, to full.
    EXPECT_NE(std::string::npos, m_strOut.find("\nFlasher program  100%  ")) << m_strOut;
    for (const char* pszLabel : {"Connection test", "Programming", "Verifying"})
        for (int nPercent = 10; nPercent <= 100; nPercent += 10) {
            char szStart[40];
            std::snprintf(szStart, sizeof szStart, "%-16s %3d%%  ", pszLabel, nPercent);
            EXPECT_NE(std::string::npos, m_strOut.find("\n" + std::string(szStart))) << szStart << m_strOut;
        }
}

TEST_F(CliBoard, HexInfoAndPortsNeedNoBoard)
{
    EXPECT_EQ(0, Run({"hexinfo", m_dir.Path("image.hex"), "--dump"}));
    EXPECT_TRUE(
        HasLinesInOrder(m_strOut, {"Verifying hexfile...please wait", "Loading hexfile...please wait",
                                   m_dir.Path("image.hex") + " successfully loaded", "Startaddress: 0x100",
                                   "Endaddress: 0x100c8", "Bytecount: 501", "Runs: 2", "Address \t\t: Data",
                                   "0x000100 \t: 0x00", "0x000101 \t: 0x07", "0x0100C8 \t: 0x81"}));
    EXPECT_TRUE(m_board.GetWireLog().empty());
    std::ofstream(m_dir.Path("broken.hex")) << ":0100000041BE\n:01000100GGBB\n";
    EXPECT_EQ(1, Run({"hexinfo", m_dir.Path("broken.hex")}));
    EXPECT_EQ(m_dir.Path("broken.hex") +
                  " is not a valid intel hex file\nline 2: column 10: 'G' is no upper-case "
                  "hexadecimal digit\n",
              m_strErr);
    EXPECT_EQ(0, Run({"flash", "--help"}));
    EXPECT_NE(std::string::npos, m_strOut.find("--no-verify")) << m_strOut;
    for (const char* pszCommand : {"hexinfo", "ports"}) {
        EXPECT_EQ(0, Run({pszCommand, "--help"}));
        EXPECT_EQ(std::string::npos, m_strOut.find("per board")) << m_strOut;
    }

    CChildProcess sim;
    ASSERT_EQ(0, sim.Start(KELVORA_BOARDSIM_PATH, {"--name", "bench-board"}, Env()));
    const std::string strDevice = sim.ReadFirstLine();
    EXPECT_EQ(0, Run({"ports"}));
    EXPECT_TRUE(HasLinesInOrder(m_strOut, {"Name\tDevice\tUSB\tDescription\tVID\tPID\tSerial\tDriver\tBy-id",
                                           "bench-board\t" + m_dir.Path("kelvora/ports/bench-board") +
                                               "\tno\tSimulated KC167 board\t-\t-\t-\t-\t-"}))
        << strDevice;
    EXPECT_EQ(0, Run({"ports", "--json"}));
    EXPECT_TRUE(HasLinesInOrder(
        m_strOut, {"{\"name\":\"bench-board\",\"device\":\"" + m_dir.Path("kelvora/ports/bench-board") +
                   "\",\"usb\":false,\"description\":\"Simulated KC167 board\",\"vid\":\"\","
                   "\"pid\":\"\",\"serial\":\"\",\"driver\":\"\",\"by_id\":\"\"}"}));
}

TEST_F(CliBoard, FlashLeavesTheImageAndEraseImageOnlyItsSectors)
{
    FillFlash(m_board);
    ASSERT_EQ(0, Run(Args({"erase", "--image", m_dir.Path("image.hex")}))) << m_strErr;
    EXPECT_EQ((std::vector<int>{0, 2}), ErasedSectors(m_board.GetFlash()));
    EXPECT_EQ(3, m_board.GetFlash().at(3 * kSectorSize));

    ASSERT_EQ(0, Run(Args({"flash", m_dir.Path("image.hex")}))) << m_strErr;
    EXPECT_TRUE(FlashHolds(m_board, m_dir.Path("image.hex")));
    EXPECT_EQ(1, m_board.GetFlash().at(kSectorSize));

    // read fetches the flash's bytes over the wire and hands the file writer their address; the
    // writer's own files are checked in clihelpers_test.
    ASSERT_EQ(0, Run(Args({"read", "--start", "65536", "--length", "201", "-o", m_dir.Path("back.hex")})));
    CHexFile back(m_dir.Path("back.hex").c_str());
    ASSERT_TRUE(back.Verify() == 0 && back.Load() == 0);
    std::vector<uint8_t> vecBack(201);
    ASSERT_EQ(201, back.GetData(vecBack.data(), 201));
    EXPECT_EQ(Pattern(201, 9), vecBack);
    EXPECT_EQ(0x10000u, back.m_pFirst->dwAddress);
}

// A backup read into a .bin goes back with --start, and verify compares without erasing or writing.
TEST_F(CliBoard, ABinBackupIsPutBackAndVerified)
{
    FillFlash(m_board);
    const std::string strBackup = m_dir.Path("backup.bin");
    ASSERT_EQ(0, Run(Args({"read", "--start", "0x7F00", "--length", "512", "-o", strBackup}))) << m_strErr;
    ASSERT_EQ(0, Run(Args({"erase", "--chip"}))) << m_strErr;
    ASSERT_EQ(0, Run(Args({"flash", strBackup, "--start", "0x7F00"}))) << m_strErr;
    EXPECT_TRUE(HasLinesInOrder(m_strOut, {"Erasing sector 0 (0x000000 - 0x007FFF)",
                                           "Erasing sector 1 (0x008000 - 0x00FFFF)",
                                           "Programming " + strBackup + ": 0x007F00 - 0x0080FF, 512 bytes",
                                           "Hexfile flashed and verified successfully"}));
    const std::vector<uint8_t> vecFlash = m_board.GetFlash();
    EXPECT_EQ(std::vector<uint8_t>(256, 0), std::vector<uint8_t>(&vecFlash[0x7F00], &vecFlash[0x8000]));
    EXPECT_EQ(std::vector<uint8_t>(256, 1), std::vector<uint8_t>(&vecFlash[0x8000], &vecFlash[0x8100]));
    EXPECT_EQ(0xFF, vecFlash[0x7EFF]);

    m_board.ClearWireLog();
    ASSERT_EQ(0, Run(Args({"verify", strBackup, "--start", "0x7F00"}))) << m_strErr;
    EXPECT_TRUE(HasLinesInOrder(m_strOut, {"Verifying " + strBackup + ": 0x007F00 - 0x0080FF, 512 bytes",
                                           "Hexfile flashed and verified successfully"}));
    EXPECT_EQ(vecFlash, m_board.GetFlash());
    EXPECT_EQ(1, Run(Args({"verify", strBackup, "--start", "0x7F01"})));
    EXPECT_TRUE(
        HasLinesInOrder(m_strErr, {"Verify failed: first difference at 0x008000, expected 0x00, read 0x01"}))
        << m_strErr;
    EXPECT_EQ(vecFlash, m_board.GetFlash());
}

// --pipeline: the same flash and the same bytes to the board as lock-step; -v promises the time
// of the mode in use.
TEST_F(CliBoard, PipelinedFlashLeavesTheImageWithTheSameBytes)
{
    std::vector<uint8_t> vecLockStep;
    for (const std::vector<std::string>& vecExtra :
         {std::vector<std::string>{"-v"}, std::vector<std::string>{"--pipeline", "-v"}}) {
        FillFlash(m_board);
        m_board.ClearWireLog();
        std::vector<std::string> vecArgs = {"flash", m_dir.Path("image.hex")};
        vecArgs.insert(vecArgs.end(), vecExtra.begin(), vecExtra.end());
        ASSERT_EQ(0, Run(Args(vecArgs))) << m_strErr;
        EXPECT_TRUE(FlashHolds(m_board, m_dir.Path("image.hex")));
        std::vector<uint8_t> vecSent;
        for (const CWireByte& wire : m_board.GetWireLog())
            if (wire.bToBoard)
                vecSent.push_back(wire.byValue);
        // The round trip is measured: only the words around it are fixed.
        const size_t nLine = m_strOut.find("Line round trip ");
        ASSERT_NE(std::string::npos, nLine) << m_strOut;
        const std::string strLine = m_strOut.substr(nLine, m_strOut.find('\n', nLine) - nLine);
        if (vecExtra.size() == 1) {
            vecLockStep = vecSent;
            EXPECT_EQ(std::string::npos, strLine.find("sent ahead")) << strLine;
        } else {
            EXPECT_EQ(vecLockStep, vecSent);
            EXPECT_NE(std::string::npos, strLine.find(" bytes sent ahead: about ")) << strLine;
        }
    }
}

// A board whose flasher program takes a byte slower than the line brings the next loses bytes
// sent ahead: the pipelined connection test already fails, with the link's text, before anything is
// erased, and the flash is never said to be good.
TEST_F(CliBoard, PipelinedRunOnATooSlowBoardFailsWithTheLinksText)
{
    m_board.SetBaudRate(57600);
    m_board.SetByteTime(400);   // one character time at 57600 bit/s is 174 us
    EXPECT_EQ(1, Run(Args({"flash", m_dir.Path("image.hex"), "--pipeline"})));
    EXPECT_EQ(std::string::npos, m_strOut.find("successfully")) << m_strOut;
    EXPECT_TRUE(
        HasLinesInOrder(m_strErr, {"The board did not keep up with bytes sent ahead of their echoes: run "
                                   "without --pipeline, or with a smaller depth"}))
        << m_strErr;
    EXPECT_TRUE(HasLinesInOrder(
        m_strErr, {"Error setting up communcation with flash program", "Cannot connect to target"}))
        << m_strErr;
    EXPECT_GT(m_board.GetOverrunCount(), 0);
}

// ---- failures: the text, status 1 -------------------------------------------------------

struct CFailureCase : CNamedCase
{
    std::function<void(CBoardFaults&)> fnFault;
    std::vector<std::string> vecArgs;   // IMAGE, BIG, TWICE, BROKEN stand for files of the test
    std::vector<std::string> vecErr;    // lines of standard error in order
    bool bNothingErased;                // the flash is as it was
};

// gtest names a failing case by this.
class CliFailure : public CliBoard, public ::testing::WithParamInterface<CFailureCase>
{};

TEST_P(CliFailure, SaysWhatFailedWithStatusOne)
{
    FillFlash(m_board);
    CBoardFaults faults;
    if (GetParam().fnFault)
        GetParam().fnFault(faults);
    m_board.SetFaults(faults);
    WriteHexFile(m_dir.Path("big.hex"), {{0x100, {1}}, {kSectors * kSectorSize, {2}}});
    WriteHexFile(m_dir.Path("twice.hex"), {{0x100, {1, 2}}, {0x101, {3}}});
    std::ofstream(m_dir.Path("broken.hex")) << ":0100000041BE\n:0100010042BB\n";
    std::ofstream(m_dir.Path("empty.hex")) << ":00000001FF\n";
    std::vector<std::string> vecArgs = GetParam().vecArgs;
    for (std::string& strArg : vecArgs)
        if (strArg == "IMAGE" || strArg == "BIG" || strArg == "TWICE" || strArg == "BROKEN" ||
            strArg == "EMPTY") {
            std::string strName = strArg;
            std::transform(strName.begin(), strName.end(), strName.begin(), ::tolower);
            strArg = m_dir.Path((strName == "image" ? "image" : strName) + ".hex");
        } else if (strArg == "DIR") {
            strArg = m_dir.Path("nowhere");
        } else if (strArg == "FOLDER") {
            strArg = m_dir.Path();
        }
    const std::vector<uint8_t> vecBefore = m_board.GetFlash();
    EXPECT_EQ(1, Run(Args(vecArgs))) << m_strOut;
    std::vector<std::string> vecErr = GetParam().vecErr;
    for (std::string& strLine : vecErr)
        if (strLine.find("DIR/") != std::string::npos)
            strLine.replace(strLine.find("DIR/"), 4, m_dir.Path() + "/");
        else if (strLine.rfind("FOLDER", 0) == 0)
            strLine = m_dir.Path() + strLine.substr(6);
        else if (strLine.find("BOARD") != std::string::npos)
            strLine.replace(strLine.find("BOARD"), 5, m_board.GetDevicePath());
    EXPECT_TRUE(HasLinesInOrder(m_strErr, vecErr));
    if (GetParam().bNothingErased) {
        EXPECT_EQ(vecBefore, m_board.GetFlash());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliFailure,
    ::testing::Values(
        CFailureCase{
            "BoardNotReset",
            [](CBoardFaults& f) { f.bNoAnswerToZero = true; },
            {"info"},
            {"Error setting up communcation with C167",
             "The board did not answer on BOARD at 57600 bit/s: reset it just before connecting, check "
             "its power and the cable, that this is its port, and try a lower speed",
             "Cannot connect to target"},
            true},
        CFailureCase{"EraseFails",
                     [](CBoardFaults& f) { f.bEraseStatusE = true; },
                     {"erase", "--chip"},
                     {"Error cannot delete flash chip", "Lost connection to target"},
                     true},
        CFailureCase{"WrongChecksum",
                     [](CBoardFaults& f) { f.nWrongChecksumBlock = 1; },
                     {"flash", "IMAGE"},
                     {"Flash failed",
                      "Block 0x0001FE - 0x00022B (46 bytes): the board answered checksum 0xF4, expected 0x0B",
                      "Error during flash process",
                      "Programming stopped at 0x0001FE: 254 of 501 bytes were programmed",
                      "Lost connection to target"},
                     false},
        CFailureCase{
            "FlasherProgramMissing",
            nullptr,
            {"info", "--flash-chip", "AMD"},
            {"Error reading second stage loader: flasher program DIR/mainamd.h86: cannot be opened: No "
             "such file or directory",
             "Cannot connect to target"},
            true},
        CFailureCase{"VerifyDifference",
                     [](CBoardFaults& f) { f.nFlipReadAddress = 0x10005; },
                     {"flash", "IMAGE"},
                     {"Verify failed: first difference at 0x010005, expected 0x2C, read 0xD3"},
                     false},
        CFailureCase{
            "ImageBeyondTheChip",
            nullptr,
            {"flash", "BIG"},
            {"DIR/big.hex: the image writes address 0x040000, beyond the flash (8 sectors of 32 KiB, up to "
             "0x03FFFF); nothing was erased or programmed"},
            true},
        CFailureCase{
            "EraseImageBeyondTheChip",
            nullptr,
            {"erase", "--image", "BIG"},
            {"DIR/big.hex: the image writes address 0x040000, beyond the flash (8 sectors of 32 KiB, up to "
             "0x03FFFF); nothing was erased"},
            true},
        CFailureCase{"SectorBeyondTheChip",
                     nullptr,
                     {"erase", "--sector", "1", "8"},
                     {"sector 8 does not exist: the board has 8 sectors (0..7); nothing was erased"},
                     true},
        CFailureCase{
            "ReadBeyondTheChip",
            nullptr,
            {"read", "--start", "0x3FF00", "--length", "0x101", "-o", "x.hex"},
            {"the range 0x03FF00 - 0x040000 reaches beyond the flash (8 sectors of 32 KiB, up to 0x03FFFF); "
             "nothing was read"},
            true},
        CFailureCase{"AddressTwice",
                     nullptr,
                     {"flash", "TWICE"},
                     {"DIR/twice.hex: the image writes address 0x000101 twice"},
                     true},
        CFailureCase{"InvalidImage",
                     nullptr,
                     {"flash", "BROKEN"},
                     {"DIR/broken.hex is not a valid intel hex file",
                      "line 2: checksum is 0xBB, the record needs 0xBC"},
                     true},
        CFailureCase{"ImageIsAFolder",
                     nullptr,
                     {"flash", "FOLDER"},
                     {"FOLDER is not a valid intel hex file", "cannot be read: Is a directory"},
                     true},
        CFailureCase{"ImageWithoutData",
                     nullptr,
                     {"flash", "EMPTY"},
                     {"DIR/empty.hex cannot be loaded into memory", "the file holds no data bytes"},
                     true},
        CFailureCase{"VerifyFindsADifference",
                     nullptr,
                     {"verify", "IMAGE"},
                     {"Verify failed: first difference at 0x000101, expected 0x07, read 0x00"},
                     true}),
    CCaseName());

// What would fail before the board answers fails before the operator is asked to reset it, and
// names the port or file; a port that never opened is not said to be closed.
TEST_F(CliBoard, PortAndLoaderFilesAreCheckedBeforeTheReset)
{
    const std::string strNoTty = m_dir.Path("no-such-tty");
    EXPECT_EQ(1, Run({"info", "--no-prompt", "--dir", m_dir.Path(), "--port", strNoTty}));
    EXPECT_EQ("", m_strOut);
    EXPECT_EQ("Error, cannot open serial port: " + strNoTty +
                  ": No such file or directory\nCannot connect to target\n",
              m_strErr);
    EXPECT_EQ(1, Run({"info", "--no-prompt", "--dir", m_dir.Path(), "--port", "/dev/null"}));
    EXPECT_EQ("Error, cannot open serial port: /dev/null: not a serial port\nCannot connect to target\n",
              m_strErr);
    {
        CRS232Port holder;   // another program has the board's port
        ASSERT_EQ(0, holder.Open(m_board.GetDevicePath().c_str(), 57600));
        EXPECT_EQ(1, Run(Args({"info"})));
        EXPECT_TRUE(HasLinesInOrder(m_strErr, {"Error, cannot open serial port: " + m_board.GetDevicePath() +
                                               ": the port is in use by another program"}))
            << m_strErr;
        holder.Close();
    }
    std::remove(m_dir.Path("prel1.hex").c_str());
    EXPECT_EQ(1, Run(Args({"info"})));
    EXPECT_EQ("", m_strOut);
    EXPECT_EQ("Error reading bsl: bootstrap loader " + m_dir.Path("prel1.hex") +
                  ": cannot be opened: No such file or directory\nCannot connect to target\n",
              m_strErr);
    EXPECT_TRUE(m_board.GetWireLog().empty());
}

// ---- usage errors: status 2, the bad argument named, nothing sent -------------------------

struct CUsageCase : CNamedCase
{
    // BOARD stands for the board's device path, LINK for a link to it, RECORD for a record file
    std::vector<std::string> vecArgs;
    const char* pszErr;   // a part of standard error; BOARD as in the arguments
    // With --json or --record: the error each --port's record carries (the command's image, if
    // any, unread and erased by image); null: no records asked for
    const char* pszRecordError = nullptr;
};

// gtest names a failing case by this.
class CliUsage : public CliBoard, public ::testing::WithParamInterface<CUsageCase>
{};

TEST_P(CliUsage, RefusedBeforeTheBoardIsTouched)
{
    std::vector<std::string> vecArgs = GetParam().vecArgs;
    std::vector<std::string> vecRecords;
    for (size_t i = 0; i < vecArgs.size(); ++i) {
        std::string& strArg = vecArgs[i];
        if (strArg == "BOARD")
            strArg = m_board.GetDevicePath();
        else if (strArg == "LINK") {
            std::filesystem::create_symlink(m_board.GetDevicePath(), m_dir.Path("link"));
            strArg = m_dir.Path("link");
        } else if (strArg == "RECORD") {
            strArg = m_dir.Path("record.jsonl");
        }
        const std::string& strCommand = vecArgs[0];
        if (GetParam().pszRecordError != nullptr && i > 0 && vecArgs[i - 1] == "--port")
            vecRecords.push_back(
                RecordHead(strCommand, strArg,
                           strCommand == "flash" || strCommand == "verify" ? vecArgs[1] : "") +
                ",\"sectors_erased\":[],\"verified\":false,\"result\":\"failed\",\"error\":\"" +
                GetParam().pszRecordError +
                "\",\"first_difference\":null,\"seconds\":S,\"bytes\":0,\"round_trip_ms\":S}");
    }
    std::string strErr = GetParam().pszErr;
    if (strErr.find("BOARD") != std::string::npos)
        strErr.replace(strErr.find("BOARD"), 5, m_board.GetDevicePath());
    EXPECT_EQ(2, Run(vecArgs));
    EXPECT_NE(std::string::npos, m_strErr.find(strErr)) << m_strErr;
    const bool bJson = std::find(vecArgs.begin(), vecArgs.end(), "--json") != vecArgs.end();
    EXPECT_EQ(bJson ? vecRecords : std::vector<std::string>(), BlankedLines(m_strOut));
    if (std::find(GetParam().vecArgs.begin(), GetParam().vecArgs.end(), "RECORD") !=
        GetParam().vecArgs.end()) {
        EXPECT_EQ(vecRecords, BlankedLines(ReadFile(m_dir.Path("record.jsonl"))));
    }
    EXPECT_TRUE(m_board.GetWireLog().empty());
    EXPECT_EQ(0, m_board.GetResetCount());   // the port was not even opened
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliUsage,
    ::testing::Values(
        CUsageCase{"NoCommand", {}, "A subcommand is required"},
        CUsageCase{
            "UnknownCommand",
            {"flsh", "x.hex"},
            "kelvora-cli: 'flsh' is no command; the commands are ports, hexinfo, info, sectors, erase, "
            "flash, read, verify\n"},
        CUsageCase{"BinWithoutStart",
                   {"flash", "x.bin", "--port", "BOARD"},
                   "kelvora-cli flash: x.bin holds raw bytes without addresses: give --start ADDR, where its "
                   "first byte goes\n"},
        CUsageCase{"StartForHex",
                   {"verify", "x.hex", "--start", "0", "--port", "BOARD"},
                   "kelvora-cli verify: --start places a raw .bin image; x.hex is Intel hex"},
        CUsageCase{"UnknownOption", {"info", "--port", "BOARD", "--bogus"}, "--bogus"},
        CUsageCase{
            "BaudZero", {"info", "--port", "BOARD", "--baud", "0"}, "'0' is not one of the rates 1200, 2400"},
        CUsageCase{"BaudTrailing",
                   {"info", "--port", "BOARD", "--baud", "9600x"},
                   "'9600x' is not one of the rates"},
        CUsageCase{"FlashChip", {"info", "--port", "BOARD", "--flash-chip", "bogus"}, "bogus"},
        CUsageCase{"EmptyPort", {"info", "--port", ""}, "--port: the port name is empty"},
        CUsageCase{"UnknownPort", {"info", "--port", "COM9"}, "--port: unknown port 'COM9'"},
        CUsageCase{
            "TwoPortsForInfo", {"info", "--port", "BOARD", "--port", "/dev/null"}, "info works on one board"},
        CUsageCase{"OneBoardUnderTwoNames",
                   {"erase", "--chip", "--port", "BOARD", "--port", "LINK"},
                   "' are the same port ("},
        CUsageCase{"SectorLetters",
                   {"erase", "--port", "BOARD", "--sector", "a,b"},
                   "--sector: 'a' is no sector number"},
        CUsageCase{"EraseWhat",
                   {"erase", "--port", "BOARD"},
                   "kelvora-cli erase: give exactly one of --chip, --sector N... and --image"},
        CUsageCase{
            "EraseTwoWays", {"erase", "--port", "BOARD", "--chip", "--sector", "1"}, "give exactly one of"},
        CUsageCase{"FlashEraseMode", {"flash", "x.hex", "--port", "BOARD", "--erase", "1,2"}, "--erase"},
        CUsageCase{"FlashNoImage", {"flash", "--port", "BOARD"}, "FILE is required"},
        CUsageCase{"ReadStart",
                   {"read", "--port", "BOARD", "--start", "0x1000000", "--length", "1", "-o", "x.hex"},
                   "--start: '0x1000000' is no address below 0x1000000"},
        CUsageCase{"ReadLength",
                   {"read", "--port", "BOARD", "--start", "0", "--length", "0", "-o", "x.hex"},
                   "--length: '0' is no length"},
        CUsageCase{
            "ReadTwoBoardsIntoOneFile",
            {"read", "--port", "x/y", "--port", "./x_y", "--start", "0", "--length", "1", "-o", "d.hex"},
            "x/y and ./x_y would both be read into d-x_y.hex"},
        CUsageCase{"ReadPastTheLine",
                   {"read", "--port", "BOARD", "--start", "0xFFFFFF", "--length", "2", "-o", "x"},
                   "reach beyond 0xFFFFFF"},
        CUsageCase{
            "PipelineDepth", {"info", "--port", "BOARD", "--pipeline", "1"}, "--pipeline: '1' is no depth"},
        CUsageCase{
            "QuietAndVerbose", {"info", "--port", "BOARD", "-q", "-v"}, "-q and -v exclude each other"},
        CUsageCase{"PortTwice",
                   {"erase", "--chip", "--port", "BOARD", "--port", "BOARD"},
                   "kelvora-cli erase: --port: BOARD is given twice\n"},
        // Refused while the options are read, yet every board asked for has its record.
        CUsageCase{"NoFolderRecordedForEachPort",
                   {"flash", "x.hex", "--port", "a", "--port", "b", "-d", "/does/not/exist", "--json",
                    "--record", "RECORD"},
                   "kelvora-cli: --dir: Directory does not exist: /does/not/exist\n",
                   "--dir: Directory does not exist: /does/not/exist"},
        CUsageCase{"EraseModeRecorded",
                   {"flash", "x.hex", "--port", "a", "--erase", "bogus", "--json"},
                   "kelvora-cli: --erase: bogus not in {chip,image,none}\n",
                   "--erase: bogus not in {chip,image,none}"},
        CUsageCase{"UnknownOptionRecorded",
                   {"info", "--record", "RECORD", "--port", "a", "--bogus"},
                   "kelvora-cli: The following argument was not expected: --bogus\n",
                   "The following argument was not expected: --bogus"},
        CUsageCase{"PortTwiceRecorded",
                   {"flash", "x.hex", "--port", "a", "--port", "a", "--json"},
                   "kelvora-cli flash: --port: a is given twice\n",
                   "--port: a is given twice"}),
    CCaseName());

// A child that hangs fails the test's waits by their deadlines (the simulator runs until it is
// stopped, as a hung kelvora-cli would), and is killed when waited for.
TEST_F(CliBoard, AHungChildFailsTheWaitsInTime)
{
    CChildProcess sim;
    ASSERT_EQ(0, sim.Start(KELVORA_BOARDSIM_PATH, {"--name", "hung"}, Env()));
    const auto tpStart = std::chrono::steady_clock::now();
    EXPECT_NE("", sim.ReadFirstLine(5000));
    EXPECT_FALSE(sim.WaitForOutput("never said", 100));
    EXPECT_FALSE(sim.WaitForError("never said", 100));
    EXPECT_EQ(128 + SIGKILL, sim.Wait(100));
    EXPECT_NE(std::string::npos, sim.m_strErr.find("[test: the child had not ended after 100 ms; killed]"))
        << sim.m_strErr;
    EXPECT_LT(std::chrono::steady_clock::now() - tpStart, std::chrono::seconds(5));
}

TEST_F(CliBoard, SeveralPortsFoundAreListedNotGuessed)
{
    CChildProcess simA;
    CChildProcess simB;
    ASSERT_EQ(0, simA.Start(KELVORA_BOARDSIM_PATH, {"--name", "board-a"}, Env()));
    ASSERT_EQ(0, simB.Start(KELVORA_BOARDSIM_PATH, {"--name", "board-b"}, Env()));
    ASSERT_NE("", simA.ReadFirstLine());
    ASSERT_NE("", simB.ReadFirstLine());
    EXPECT_EQ(2, Run({"info", "--no-prompt", "--dir", m_dir.Path()}));
    EXPECT_TRUE(
        HasLinesInOrder(m_strErr, {"kelvora-cli info: several serial ports found; choose one with --port:",
                                   "  board-a\t" + m_dir.Path("kelvora/ports/board-a"),
                                   "  board-b\t" + m_dir.Path("kelvora/ports/board-b")}));
    // By its shown name.
    EXPECT_EQ(0, Run({"info", "--no-prompt", "--dir", m_dir.Path(), "--port", "board-b", "-q"})) << m_strErr;
    EXPECT_EQ(std::string(kInfo) + "\n", m_strOut);
}

// ---- several boards at once ---------------------------------------------------------------

TEST_F(CliBoard, SeveralBoardsOneFailingTheOthersFlashed)
{
    CBoardSim boards[3];
    for (CBoardSim& board : boards) {
        board.SetEraseTimes(5, 20);
        ASSERT_EQ(0, board.Start());
    }
    CBoardFaults faults;
    faults.nFlipReadAddress = 0x10005;
    boards[1].SetFaults(faults);
    std::vector<std::string> vecArgs = {
        "flash", m_dir.Path("image.hex"), "--no-prompt", "--dir", m_dir.Path(), "--json"};
    for (CBoardSim& board : boards)
        vecArgs.insert(vecArgs.end(), {"--port", board.GetDevicePath()});
    EXPECT_EQ(1, Run(vecArgs));
    EXPECT_TRUE(FlashHolds(boards[0], m_dir.Path("image.hex")));
    EXPECT_TRUE(FlashHolds(boards[2], m_dir.Path("image.hex")));
    // Each board's lines carry its name; the failure is only the failing board's.
    const std::string strFailing = "[" + boards[1].GetDevicePath() + "] ";
    const std::string strDifference = "Verify failed: first difference at 0x010005, expected 0x2C, read 0xD3";
    EXPECT_TRUE(HasLinesInOrder(m_strErr, {strFailing + strDifference}));
    for (const CBoardSim* pBoard : {&boards[0], &boards[2]}) {
        const std::string strPrefix = "[" + pBoard->GetDevicePath() + "] ";
        EXPECT_FALSE(HasLinesInOrder(m_strErr, {strPrefix + strDifference}));
        EXPECT_TRUE(HasLinesInOrder(m_strErr, {strPrefix + "Hexfile flashed and verified successfully"}));
    }
    // Standard output holds only the records, one per board, in the order of the ports.
    std::vector<std::string> vecJson;
    for (size_t i = 0; i < 3; ++i)
        vecJson.push_back(
            RecordHead("flash", boards[i].GetDevicePath(), m_dir.Path("image.hex")) +
            ",\"sectors_erased\":[0,2]," +
            (i != 1 ? "\"verified\":true,\"result\":\"ok\",\"error\":\"\",\"first_difference\":null"
                    : "\"verified\":false,\"result\":\"failed\",\"error\":\"" + strDifference +
                          "\",\"first_difference\":65541") +
            ",\"seconds\":S,\"bytes\":501,\"round_trip_ms\":S}");
    EXPECT_EQ(vecJson, BlankedLines(m_strOut));
}

// The answers of info and sectors are in their records.
TEST_F(CliBoard, JsonHoldsTheInfoTextAndTheSectors)
{
    const std::string strRest = ",\"sectors_erased\":[],\"verified\":false,\"result\":\"ok\",\"error\":\"\","
                                "\"first_difference\":null,\"seconds\":S,\"bytes\":0,\"round_trip_ms\":S";
    ASSERT_EQ(0, Run(Args({"info", "--json"}))) << m_strErr;
    EXPECT_EQ(std::vector<std::string>{RecordHead("info", m_board.GetDevicePath()) + strRest +
                                       ",\"info\":\"" + kInfo + "\"}"},
              BlankedLines(m_strOut));
    std::string strSectors;
    for (int i = 0; i < kSectors; ++i)
        strSectors += std::string(i > 0 ? "," : "") + "{\"number\":" + std::to_string(i) +
                      ",\"start\":" + std::to_string(i * 32768) +
                      ",\"end\":" + std::to_string(i * 32768 + 32767) + ",\"status\":\"unknown\"}";
    ASSERT_EQ(0, Run(Args({"sectors", "--json"}))) << m_strErr;
    EXPECT_EQ(std::vector<std::string>{RecordHead("sectors", m_board.GetDevicePath()) + strRest +
                                       ",\"info\":\"" + kInfo + "\",\"sectors\":[" + strSectors + "]}"},
              BlankedLines(m_strOut));
}

// A run that fails before any board still gives each board asked for its record, on standard
// output and in the file; processes appending to one file at once lose no line and tear none.
TEST_F(CliBoard, RecordsOfRunsFailingBeforeAnyBoardFromProcessesAtOnce)
{
    constexpr int kProcesses = 8;
    const std::string strRecord = m_dir.Path("record.jsonl");
    const std::string strImage = m_dir.Path("missing.hex");
    CChildProcess clis[kProcesses];
    for (int i = 0; i < kProcesses; ++i)
        ASSERT_EQ(0, clis[i].Start(KELVORA_CLI_PATH,
                                   {"flash", strImage, "--json", "--record", strRecord, "--port",
                                    "a" + std::to_string(i), "--port", "b" + std::to_string(i)},
                                   Env()));
    std::vector<std::string> vecAll;
    for (int i = 0; i < kProcesses; ++i) {
        std::vector<std::string> vecOwn;
        for (const char* pszBoard : {"a", "b"})
            vecOwn.push_back(RecordHead("flash", pszBoard + std::to_string(i), strImage) +
                             ",\"sectors_erased\":[],\"verified\":false,\"result\":\"failed\",\"error\":\"" +
                             strImage +
                             " is not a valid intel hex file; cannot be opened: No such file or directory\","
                             "\"first_difference\":null,\"seconds\":S,\"bytes\":0,\"round_trip_ms\":S}");
        EXPECT_EQ(1, clis[i].Wait());
        EXPECT_EQ(vecOwn, BlankedLines(clis[i].m_strOut));
        vecAll.insert(vecAll.end(), vecOwn.begin(), vecOwn.end());
    }
    std::vector<std::string> vecRecorded = BlankedLines(ReadFile(strRecord));
    std::sort(vecAll.begin(), vecAll.end());
    std::sort(vecRecorded.begin(), vecRecorded.end());
    EXPECT_EQ(vecAll, vecRecorded);
}

// ---- the station --------------------------------------------------------------------------

// Three boards through one port, the second failing; Ctrl-C between boards ends it with the count.
TEST_F(CliBoard, StationFlashesBoardAfterBoardCountsAndRecordsEach)
{
    CChildProcess sim;
    ASSERT_EQ(0, sim.Start(KELVORA_BOARDSIM_PATH,
                           {"--name", "station", "--sector-erase-ms", "5", "--faulty-board", "2",
                            "--wrong-checksum-block", "0"},
                           Env()));
    ASSERT_NE("", sim.ReadFirstLine());
    const std::string strImage = m_dir.Path("image.hex");
    const std::string strRecord = m_dir.Path("record.jsonl");
    CChildProcess cli;
    ASSERT_EQ(0, cli.Start(KELVORA_CLI_PATH,
                           {"flash", strImage, "--repeat", "--no-prompt", "--dir", m_dir.Path(), "--port",
                            "station", "--record", strRecord},
                           Env()));
    const std::string strNext =
        "\nNext board: waiting for station to go and come back (unplug and plug in; Ctrl-C to stop)\n";
    for (const char* pszBoard :
         {"Board 1: passed (1 passed, 0 failed)", "Board 2: failed (1 passed, 1 failed)",
          "Board 3: passed (2 passed, 1 failed)"}) {
        ASSERT_TRUE(cli.WaitForOutput(pszBoard + strNext)) << cli.m_strOut << cli.m_strErr;
        if (pszBoard[6] != '3')
            sim.Signal(SIGUSR1);   // the next board
    }
    cli.Signal(SIGINT);
    EXPECT_EQ(1, cli.Wait());
    EXPECT_EQ(0u, cli.m_strOut.rfind("please reset the board\n", 0)) << cli.m_strOut;
    const std::string strEnd = strNext + "Station: 3 boards, 2 passed, 1 failed\n";
    EXPECT_EQ(strEnd,
              cli.m_strOut.substr(cli.m_strOut.size() - std::min(cli.m_strOut.size(), strEnd.size())));
    EXPECT_TRUE(HasLinesInOrder(cli.m_strErr,
                                {"Flash failed", "Error during flash process", "Lost connection to target"}));
    const std::string strHead = RecordHead("flash", "station", strImage) + ",\"sectors_erased\":[0,2],";
    const std::string strPassed =
        strHead + "\"verified\":true,\"result\":\"ok\",\"error\":\"\",\"first_difference\":null,"
                  "\"seconds\":S,\"bytes\":501,\"round_trip_ms\":S}";
    EXPECT_EQ(
        (std::vector<std::string>{
            strPassed,
            strHead + "\"verified\":false,\"result\":\"failed\",\"error\":\"Flash failed; Block 0x000100 - "
                      "0x0001FD (254 bytes): the board answered checksum 0x94, expected 0x6B; Error during "
                      "flash process; Programming stopped at 0x000100: 0 of 501 bytes were programmed; Lost "
                      "connection to target\","
                      "\"first_difference\":null,\"seconds\":S,\"bytes\":0,\"round_trip_ms\":S}",
            strPassed}),
        BlankedLines(ReadFile(strRecord)));
}

// ---- Ctrl-C --------------------------------------------------------------------------------

// An erase cannot be cut short: the first Ctrl-C says so at once, the second one quits.
TEST_F(CliBoard, CtrlCDuringAnEraseSaysItWaitsAndASecondOneQuits)
{
    m_board.SetEraseTimes(5, 8000);
    CChildProcess cli;
    ASSERT_EQ(0, cli.Start(KELVORA_CLI_PATH, Args({"erase", "--chip"}), Env()));
    ASSERT_TRUE(cli.WaitForOutput("Erasing flash chip\n")) << cli.m_strOut;
    cli.Signal(SIGINT);
    EXPECT_TRUE(cli.WaitForError("Ctrl-C: the erase under way cannot be cut short; stopping once it is over "
                                 "(Ctrl-C again quits now)\n"))
        << cli.m_strErr;
    cli.Signal(SIGINT);
    EXPECT_EQ(128 + SIGINT, cli.Wait());
    EXPECT_EQ(std::string::npos, cli.m_strOut.find("Flash chip erased")) << cli.m_strOut;
}

// In a station too: the board under way is reported and recorded as interrupted, then the station ends.
TEST_F(CliBoard, CtrlCWhileProgrammingClosesThePortForTheNextRun)
{
    // Paced like a cable, so that programming lasts long enough to be interrupted.
    m_board.SetBaudRate(57600);
    WriteHexFile(m_dir.Path("long.hex"), {{0, Pattern(0x4000)}});
    CChildProcess cli;
    ASSERT_EQ(0, cli.Start(KELVORA_CLI_PATH,
                           Args({"flash", m_dir.Path("long.hex"), "--erase", "none", "--repeat", "--record",
                                 m_dir.Path("record.jsonl")}),
                           Env()));
    ASSERT_TRUE(cli.WaitForOutput("\nProgramming  ")) << cli.m_strOut;
    cli.Signal(SIGINT);
    EXPECT_EQ(130, cli.Wait());
    EXPECT_NE(std::string::npos, cli.m_strErr.find("Interrupted: stopped while programming at "))
        << cli.m_strErr;
    EXPECT_TRUE(HasLinesInOrder(cli.m_strOut, Join(kCloseLines, {"Board 1: interrupted (0 passed, 1 failed)",
                                                                 "Station: 1 board, 0 passed, 1 failed"})));
    EXPECT_FALSE(FlashHolds(m_board, m_dir.Path("long.hex")));
    const std::vector<std::string> vecRecord = BlankedLines(ReadFile(m_dir.Path("record.jsonl")));
    ASSERT_EQ(1u, vecRecord.size());
    EXPECT_EQ(
        0u, vecRecord[0].rfind(RecordHead("flash", m_board.GetDevicePath(), m_dir.Path("long.hex"), "none") +
                                   ",\"sectors_erased\":[],\"verified\":false,\"result\":\"interrupted\","
                                   "\"error\":\"Interrupted: stopped while programming at ",
                               0))
        << vecRecord[0];

    m_board.SetBaudRate(0);
    EXPECT_EQ(0, Run(Args({"info", "-q"}))) << m_strErr;
    EXPECT_EQ(std::string(kInfo) + "\n", m_strOut);
}
}   // namespace
