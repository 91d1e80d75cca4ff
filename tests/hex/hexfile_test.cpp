// CHexFile: record format, address arithmetic, the sorted item array, and round trips
// against hex files written by srec_cat and objcopy.
#include "hex/hexfile.h"
#include "support/namedcase.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Image = std::vector<std::pair<uint32_t, uint8_t>>;

const std::string kEof = ":00000001FF";
const std::string kData4 = ":0401000001020304F1";   // 01 02 03 04 at 0x0100

void WriteFile(const std::string& strPath, const std::string& strContent)
{
    std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strContent;
}

bool RunQuiet(const std::string& strCommand)
{
    return std::system((strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

// One record with a correct checksum, moved by nChecksumDelta.
std::string Record(unsigned nType, uint16_t wAddress, Bytes data, int nChecksumDelta = 0)
{
    data.insert(data.begin(), {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(wAddress >> 8),
                               static_cast<uint8_t>(wAddress), static_cast<uint8_t>(nType)});
    const unsigned nSum = std::accumulate(data.begin(), data.end(), 0u);
    data.push_back(static_cast<uint8_t>(0x100 - (nSum & 0xFF) + nChecksumDelta));
    const char* const pszDigits = "0123456789ABCDEF";
    std::string str = ":";
    for (uint8_t by : data)
        str += {pszDigits[by >> 4], pszDigits[by & 0xF]};
    return str;
}

Bytes Seq(size_t nCount, uint8_t bySeed = 0)
{
    Bytes data(nCount);
    for (size_t i = 0; i < nCount; ++i)
        data[i] = static_cast<uint8_t>(bySeed + 7 * i);
    return data;
}

void Append(Image& image, uint32_t dwAddress, const Bytes& data)
{
    for (uint8_t by : data)
        image.emplace_back(dwAddress++, by);
}

// The image in list order; checks on the way that item k links to item k + 1, the last to
// null, that the count matches and that the addresses ascend.
Image Walk(const CHexFile& hex)
{
    Image image;
    for (const HexItem* p = hex.m_pFirst; p != nullptr; p = p->pNext) {
        EXPECT_TRUE(p->pNext == nullptr || p->pNext == p + 1) << "item " << image.size();
        image.emplace_back(p->dwAddress, p->byValue);
    }
    EXPECT_EQ(image.size(), static_cast<size_t>(hex.m_nByteCount));
    EXPECT_TRUE(
        std::is_sorted(image.begin(), image.end(), [](auto& a, auto& b) { return a.first < b.first; }));
    return image;
}

// Each test works in a fresh directory, removed with everything in it.
class HexFileTest : public testing::Test
{
protected:
    int Verify(const std::string& strContent)
    {
        WriteFile(m_strPath, strContent);
        m_pHex = std::make_unique<CHexFile>(m_strPath.c_str());
        return m_pHex->Verify();
    }
    // Lines each closed by LF, verified and loaded.
    Image LoadLines(const std::vector<std::string>& lines)
    {
        std::string strContent;
        for (const auto& strLine : lines)
            strContent += strLine + "\n";
        EXPECT_EQ(Verify(strContent), 0);
        return Load();
    }
    Image Load()
    {
        EXPECT_EQ(m_pHex->Load(), 0);
        return Walk(*m_pHex);
    }

    CTempDir m_dir{"kelvora-hex"};
    const std::string m_strRoot = m_dir.Path();
    const std::string m_strPath = m_dir.Path("img.hex");
    std::unique_ptr<CHexFile> m_pHex;
};

// nCount: the bytes Verify counts; -1 when it fails. strFault: the fault text it gives then.
struct FormatCase : CNamedCase
{
    std::string strContent;
    int nCount;
    std::string strFault;
};

std::string TooLong(int nLine, int nCharacters)
{
    return "line " + std::to_string(nLine) + ": longer than a record may be (" + std::to_string(nCharacters) +
           " characters; at most 297, or 299 on a last line without line end)";
}

std::vector<FormatCase> FormatCases()
{
    // ':' follows '9' in ASCII: a careless digit decoder reads ":0" as 10, and each of these
    // records would then be consistent.
    auto colon = [](std::string str, size_t nPos) {
        str[nPos] = ':';
        return str + "\n";
    };
    const std::string d = kData4;
    const std::string s143 = Record(0, 0, Seq(143)), s144 = Record(0, 0, Seq(144)),
                      s145 = Record(0, 0, Seq(145));
    return {
        {"Empty", "", 0, ""},
        {"NoLineEndAtEnd", d + "\n" + kEof, 4, ""},
        {"LoneCrAtEnd", d + "\r", 4, ""},
        {"ZeroLengthFirst", Record(0, 0x10, {}) + "\n" + d + "\n", 4, ""},
        {"AfterEofNotCounted", d + "\n" + kEof + "\n" + d + "\n", 4, ""},
        {"AfterEofStillChecked", kEof + "\n" + d + "x\n", -1,
         "line 2: column 20: 'x' is no upper-case hexadecimal digit"},
        {"UpperCase", ":01ABCD00EF98\n", 1, ""},
        {"LowerCase", ":01abcd00ef98\n", -1, "line 1: column 4: 'a' is no upper-case hexadecimal digit"},
        {"BlankBefore", " " + d + "\n", -1, "line 1: does not begin with ':' but with a blank"},
        {"BlankAfter", d + " \n", -1, "line 1: column 20: a blank is no upper-case hexadecimal digit"},
        {"TabBefore", "\t" + d + "\n", -1, "line 1: does not begin with ':' but with a tab"},
        {"TabAfter", d + "\t\n", -1, "line 1: column 20: a tab is no upper-case hexadecimal digit"},
        {"BlankLineFirst", "\n" + d + "\n", -1, "line 1: blank line"},
        {"BlankLineBetween", d + "\n\n" + kEof + "\n", -1, "line 2: blank line"},
        {"TwoLfAtEnd", d + "\n\n", -1, "line 2: blank line"},
        {"TwoCrLfAtEnd", d + "\r\n\r\n", -1, "line 2: blank line"},
        {"NoStartCode", d.substr(1) + "\n", -1, "line 1: does not begin with ':' but with '0'"},
        {"TooShort", ":000000010\n", -1, "line 1: too short for a record (10 characters, at least 11)"},
        {"OddLength", d + "0\n", -1, "line 1: byte count 0x04 needs 19 characters, the line has 20"},
        {"Type03", Record(3, 0, {0, 0, 0, 0}) + "\n", -1,
         "line 1: record type 03 is not one of 00, 01, 02, 04"},
        {"Type05", Record(5, 0, {0, 0, 0, 0}) + "\n", -1,
         "line 1: record type 05 is not one of 00, 01, 02, 04"},
        {"Type10", Record(0x10, 0, {}) + "\n", -1, "line 1: record type 10 is not one of 00, 01, 02, 04"},
        {"ChecksumPlusOne", Record(0, 0, {1, 2}, 1) + "\n", -1,
         "line 1: checksum is 0xFC, the record needs 0xFB"},
        {"ChecksumMinusOne", Record(0, 0, {1, 2}, -1) + "\n", -1,
         "line 1: checksum is 0xFA, the record needs 0xFB"},
        {"CountTooHigh", ":0500000001020304F1\n", -1,
         "line 1: byte count 0x05 needs 21 characters, the line has 19"},   // checksums fit the count
        {"CountTooLow", ":0300000001020304F3\n", -1,
         "line 1: byte count 0x03 needs 17 characters, the line has 19"},
        {"ColonInCount", colon(Record(0, 0, Seq(10)), 2), -1,
         "line 1: column 3: ':' is no upper-case hexadecimal digit"},
        {"ColonInAddress", colon(Record(0, 0x00A0, {1}), 5), -1,
         "line 1: column 6: ':' is no upper-case hexadecimal digit"},
        {"ColonInData", colon(Record(0, 0, {0xA5}), 9), -1,
         "line 1: column 10: ':' is no upper-case hexadecimal digit"},
        {"ColonInChecksum", colon(Record(0, 0, {0x5F}), 11), -1,
         "line 1: column 12: ':' is no upper-case hexadecimal digit"},
        // Content after a CR or NUL in the same line is never passed over unchecked.
        {"CrOnlyLineEnds", d + "\r" + kEof + "\r", -1,
         "line 1: column 20: the byte 0x0D is no upper-case hexadecimal digit"},
        {"NulAfterRecord", d + '\0' + "\n", -1,
         "line 1: column 20: the byte 0x00 is no upper-case hexadecimal digit"},
        // One read takes at most 299 characters, the line end included.
        {"Data143Lf", s143 + "\n" + d + "\n", 147, ""},
        {"Data143CrLf", s143 + "\r\n" + d + "\r\n", 147, ""},
        {"Data143CrCrLf", s143 + "\r\r\n" + d + "\n", -1, TooLong(1, 299)},
        {"Data143NoLineEnd", d + "\n" + s143, 147, ""},
        {"Data144NoLineEnd", d + "\n" + s144, 148, ""},
        {"Data144Lf", d + "\n" + s144 + "\n", -1, TooLong(2, 299)},
        {"Data144CrLf", d + "\n" + s144 + "\r\n", -1, TooLong(2, 300)},
        {"Data145NoLineEnd", s145, -1, TooLong(1, 301)},
        // Cut into two reads that each pass: Verify goes on, yet that line is the first fault.
        {"Data144RunsOnAndLaterFault", s144 + kEof + "\n" + d + "x\n", -1, TooLong(1, 310)},
    };
}

class HexFormatTest : public HexFileTest, public testing::WithParamInterface<FormatCase>
{};

TEST_P(HexFormatTest, CountsAndLoads)
{
    const FormatCase& c = GetParam();
    ASSERT_EQ(Verify(c.strContent), c.nCount < 0 ? -1 : 0);
    EXPECT_EQ(m_pHex->GetFaultText(), c.strFault);
    if (c.nCount < 0)
        return;
    EXPECT_EQ(m_pHex->m_nByteCount, c.nCount);
    EXPECT_EQ(m_pHex->Load(), c.nCount > 0 ? 0 : -1);   // an image without bytes cannot be loaded
    Walk(*m_pHex);
}

INSTANTIATE_TEST_SUITE_P(Records, HexFormatTest, testing::ValuesIn(FormatCases()), CCaseName());

TEST_F(HexFileTest, RecordsOutOfOrderComeOutAscending)
{
    EXPECT_EQ(
        LoadLines({Record(0, 0x200, {0xC0, 0xC1}), Record(0, 0x100, {0xB0, 0xB1}), Record(0, 0x10, {0xA0}),
                   Record(0, 0x300, {0xD0})}),
        (Image{{0x10, 0xA0}, {0x100, 0xB0}, {0x101, 0xB1}, {0x200, 0xC0}, {0x201, 0xC1}, {0x300, 0xD0}}));
    EXPECT_EQ(m_pHex->GetStartAddress(), 0x10u);
    EXPECT_EQ(m_pHex->GetEndAddress(), 0x300u);
}

TEST_F(HexFileTest, DuplicateAddressesStayAdjacent)
{
    Image image =
        LoadLines({Record(0, 0x20, {0x11, 0x12}), Record(0, 0x10, {0x01}), Record(0, 0x20, {0x21, 0x22})});
    std::sort(image.begin(),
              image.end());   // Walk saw the addresses ascend; equal ones may come in any order
    EXPECT_EQ(image, (Image{{0x10, 0x01}, {0x20, 0x11}, {0x20, 0x21}, {0x21, 0x12}, {0x21, 0x22}}));
}

// Records already in order take the path that neither sorts nor relinks.
TEST_F(HexFileTest, InOrderRecordRunsPast64KiB)
{
    Image expected;
    Append(expected, 0xFFF0, Seq(32));
    EXPECT_EQ(LoadLines({Record(0, 0xFFF0, Seq(32)), kEof}), expected);
    EXPECT_EQ(m_pHex->GetEndAddress(), 0x1000Fu);
}

TEST_F(HexFileTest, AddressBases)
{
    const Image image =
        LoadLines({Record(4, 0, {0x00, 0x01}), Record(0, 0x0000, {0xA1}),   // linear 0x10000
                   Record(2, 0, {0x12, 0x34}), Record(0, 0x0005, {0xA2}),   // + segment 0x12340
                   Record(2, 0x0007, {0xA3}),   // a "02" record that carries a byte
                   Record(4, 0, {0x00, 0x00}), Record(2, 0, {0x00, 0x00}), Record(0, 0x0003, {0xA4}),
                   Record(4, 0, {0xFF, 0xFF}), Record(0, 0xFFFF, {0xA5, 0xA6}),   // wraps in 32 bits
                   kEof, Record(0, 0x0000, {0xEE})});                             // after EOF: not loaded
    EXPECT_EQ(image, (Image{{0x00000000, 0xA6},
                            {0x00000003, 0xA4},
                            {0x00010000, 0xA1},
                            {0x00022345, 0xA2},
                            {0x00022347, 0xA3},
                            {0xFFFFFFFF, 0xA5}}));
    EXPECT_EQ(m_pHex->GetEndAddress(), 0xFFFFFFFFu);
}

TEST_F(HexFileTest, GetDataIntoBufferOf32)
{
    for (size_t nImage : {31u, 32u, 33u}) {
        LoadLines({Record(0, 0, Seq(nImage, 5))});
        Bytes buffer(40, 0xEE), expected = Seq(std::min<size_t>(nImage, 32), 5);
        EXPECT_EQ(m_pHex->GetData(buffer.data(), 32), static_cast<int>(nImage))
            << nImage;   // 33: more than fit
        expected.resize(40, 0xEE);
        EXPECT_EQ(buffer, expected) << nImage;
    }
}

TEST_F(HexFileTest, EmptyImageAndLoadWithoutVerify)
{
    WriteFile(m_strPath, kData4 + "\n");
    EXPECT_EQ(CHexFile(m_strPath.c_str()).Load(), -1);   // nothing counted yet
    ASSERT_EQ(Verify(kEof + "\n"), 0);
    EXPECT_EQ(m_pHex->Load(), -1);
    uint8_t by = 0;
    EXPECT_EQ(m_pHex->GetData(&by, 1), 0);
    EXPECT_EQ(m_pHex->GetStartAddress(), 0u);
    EXPECT_EQ(m_pHex->GetEndAddress(), 0u);
}

// A raw binary file's bytes, placed from an address: the image flash and verify take.
TEST(HexFileRaw, SetBytesPlacesThemFromTheAddressUpToTheTopOfTheSpace)
{
    CHexFile image(nullptr);
    const Bytes data = Seq(300, 3);
    ASSERT_EQ(image.SetBytes(0xFFFFFED4u, data.data(), 300), 0);
    EXPECT_EQ(image.m_nByteCount, 300);
    EXPECT_EQ(image.GetStartAddress(), 0xFFFFFED4u);
    EXPECT_EQ(image.GetEndAddress(), 0xFFFFFFFFu);
    Bytes back(300);
    EXPECT_EQ(image.GetData(back.data(), 300), 300);
    EXPECT_EQ(back, data);
    EXPECT_EQ(image.SetBytes(0xFFFFFED5u, data.data(), 300), -1);
    EXPECT_EQ(image.SetBytes(0, data.data(), 0), -1);
    EXPECT_EQ(image.m_pFirst, nullptr);
}

TEST_F(HexFileTest, FileChangedBetweenVerifyAndLoad)
{
    const struct
    {
        const char* pszName;
        std::string strNew;
        int nLoad;
    } cases[] = {
        {"grown", kData4 + "\n" + kData4 + "\n", -1},
        {"grown by one byte", Record(0, 0, Seq(5)) + "\n", -1},
        {"shrunk", Record(0, 0, Seq(3)) + "\n", -1},
        {"emptied", "", -1},
        {"same count", Record(0, 0x40, {9, 9, 9, 9}) + "\n", 0},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Verify(kData4 + "\n"), 0);
        WriteFile(m_strPath, c.strNew);
        EXPECT_EQ(m_pHex->Load(), c.nLoad) << c.pszName;
        EXPECT_EQ(m_pHex->GetEndAddress(), c.nLoad == 0 ? 0x43u : 0u)
            << c.pszName;   // nothing kept of a failed load
    }
}

// An 8 MiB item array: huge pages and the helper thread that faults the array in while it is filled.
TEST_F(HexFileTest, LargeImage)
{
    std::string strContent;
    Image expected;
    for (uint32_t n = 0; n < 32768; ++n) {
        if (n % 4096 == 0)
            strContent += Record(4, 0, {0x00, static_cast<uint8_t>(n / 4096)}) + "\n";
        strContent += Record(0, static_cast<uint16_t>(16 * n), Seq(16, static_cast<uint8_t>(n))) + "\n";
        Append(expected, 16 * n, Seq(16, static_cast<uint8_t>(n)));
    }
    ASSERT_EQ(Verify(strContent), 0);
    EXPECT_TRUE(Load() == expected);

    ASSERT_EQ(Verify(strContent), 0);   // then cut to half its records
    WriteFile(m_strPath, strContent.substr(0, strContent.find('\n', strContent.size() / 2) + 1));
    EXPECT_EQ(m_pHex->Load(), -1);
}

TEST_F(HexFileTest, PathLengthAndUnreadableFiles)
{
    // Nested directories bring the path to 511 and 512 characters within the file name limit.
    const fs::path sub = fs::path(m_strRoot) / std::string(200, 'd') / std::string(200, 'e');
    fs::create_directories(sub);
    const std::string str511 = (sub / std::string(510 - sub.string().size(), 'f')).string();
    ASSERT_EQ(str511.size(), 511u);
    WriteFile(str511, kData4 + "\n");
    WriteFile(str511 + "f", kData4 + "\n");
    const struct
    {
        std::string strPath;
        int nResult;
        const char* pszFault;
    } cases[] = {{str511, 0, ""},
                 {str511 + "f", -1, "cannot be opened: File name too long"},
                 {m_strRoot + "/none.hex", -1, "cannot be opened: No such file or directory"},
                 {m_strRoot, -1, "cannot be read: Is a directory"}};   // a directory opens, reading fails
    for (const auto& [strPath, nResult, pszFault] : cases) {
        CHexFile hex(strPath.c_str());
        EXPECT_EQ(hex.Verify(), nResult) << strPath.size();
        EXPECT_EQ(hex.GetFaultText(), pszFault) << strPath.size();
        EXPECT_EQ(hex.Load(), nResult) << strPath.size();
    }
}

// dwAddress: of a 70000-byte block that crosses 64 KiB pages and of a 3000-byte one above it;
// bSegment, bLinear: the tool writes extended segment / linear address records.
struct RoundTripCase : CNamedCase
{
    const char* pszTool;
    uint32_t dwAddress[2];
    bool bSegment, bLinear;
};

class HexRoundTripTest : public HexFileTest, public testing::WithParamInterface<RoundTripCase>
{};

// The tool writes random blocks as a hex file; the loaded image holds exactly those blocks and
// equals the tool's own binary output.
TEST_P(HexRoundTripTest, ToolHexLoadsToItsInput)
{
    const RoundTripCase& c = GetParam();
    if (!RunQuiet(std::string("command -v ") + c.pszTool))
        GTEST_SKIP() << c.pszTool << " is not installed (packages srecord / binutils)";
    const std::string strIn[2] = {m_strRoot + "/in0.bin", m_strRoot + "/in1.bin"};
    const std::string strAddress[2] = {std::to_string(c.dwAddress[0]), std::to_string(c.dwAddress[1])};
    std::mt19937 random(0x4B656C76);
    Image expected;
    for (int i = 0; i < 2; ++i) {
        Bytes data(i == 0 ? 70000 : 3000);
        for (auto& by : data)
            by = static_cast<uint8_t>(random());
        WriteFile(strIn[i], std::string(data.begin(), data.end()));
        Append(expected, c.dwAddress[i], data);
    }
    if (std::string(c.pszTool) == "srec_cat")
        ASSERT_TRUE(RunQuiet("srec_cat " + strIn[0] + " -Binary -offset " + strAddress[0] + " " + strIn[1] +
                             " -Binary -offset " + strAddress[1] + " -o " + m_strPath + " -Intel" +
                             (c.bSegment ? " -address-length=3" : "")));
    else   // below 1 MiB objcopy writes segment records, above it linear ones; no 03/05 record with start
           // address 0
        ASSERT_TRUE(
            RunQuiet("objcopy -I binary -O ihex --change-section-address .data+" + strAddress[0] +
                     " --add-section .more=" + strIn[1] +
                     " --set-section-flags .more=alloc,load,contents --change-section-address .more+" +
                     strAddress[1] + " " + strIn[0] + " " + m_strPath));
    EXPECT_EQ(RunQuiet("grep -q '^:02000002' " + m_strPath),
              c.bSegment);   // the base records this case is about
    EXPECT_EQ(RunQuiet("grep -q '^:02000004' " + m_strPath), c.bLinear);

    m_pHex = std::make_unique<CHexFile>(m_strPath.c_str());
    ASSERT_EQ(m_pHex->Verify(), 0);
    const Image loaded = Load();
    ASSERT_TRUE(loaded == expected);

    // The tool's own binary of the same hex file (gaps filled with zeros) equals the image.
    const bool bSrecCat = std::string(c.pszTool) == "srec_cat";
    const std::string strBin = m_strRoot + "/back.bin";
    ASSERT_TRUE(RunQuiet(bSrecCat ? "srec_cat " + m_strPath + " -Intel -o " + strBin + " -Binary"
                                  : "objcopy -I ihex -O binary " + m_strPath + " " + strBin));
    std::ifstream file(strBin, std::ios::binary);
    const Bytes tool((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const uint32_t dwBase = bSrecCat ? 0 : loaded.front().first;   // srec_cat's binary starts at address 0
    Bytes mine(loaded.back().first + 1 - dwBase, 0);
    for (const auto& item : loaded)
        mine[item.first - dwBase] = item.second;
    EXPECT_TRUE(tool == mine);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, HexRoundTripTest,
    testing::Values(RoundTripCase{"SrecCatLinear", "srec_cat", {0x12340, 0x2A0000}, false, true},
                    RoundTripCase{"SrecCatSegment", "srec_cat", {0x12340, 0x9F000}, true, false},
                    RoundTripCase{"ObjcopyMixed", "objcopy", {0x12340, 0x2A0000}, true, true}),
    CCaseName());

}   // namespace
