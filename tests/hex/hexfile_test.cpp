// Record format, line reading, address arithmetic and the image of CHexFile.
#include "hextestutil.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <set>

namespace
{

const std::string kEof = ":00000001FF";
const std::string kData4 = Record("00", 0x0100, {1, 2, 3, 4});   // ":0401000001020304F1"

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(), [](unsigned char c) { return std::tolower(c); });
    return str;
}

std::string WithColonAt(std::string str, size_t nPos)
{
    str[nPos] = ':';   // ':' follows '9' in ASCII: a careless digit decoder reads it as 10
    return str;
}

struct FormatCase
{
    const char* pszName;
    std::string strContent;
    int nVerify;      // expected Verify result
    int nByteCount;   // expected m_nByteCount when valid
};

std::vector<FormatCase> FormatCases()
{
    const std::string s143 = Record("00", 0, Bytes(143));
    const std::string s144 = Record("00", 0x1000, Bytes(144));
    const std::string s145 = Record("00", 0x2000, Bytes(145));
    return {
        {"Empty", "", 0, 0},
        {"OnlyEof", kEof + "\n", 0, 0},
        {"RecordLf", kData4 + "\n" + kEof + "\n", 0, 4},
        {"RecordCrLf", kData4 + "\r\n" + kEof + "\r\n", 0, 4},
        {"NoLineEndAtEnd", kData4 + "\n" + kEof, 0, 4},
        {"LoneCrAtEnd", kData4 + "\r", 0, 4},
        {"NoEofRecord", kData4 + "\n" + kData4 + "\n", 0, 8},
        {"ZeroLengthData", Record("00", 0x10, {}) + "\n", 0, 0},
        {"SegmentRecordWithAddressCarries", Record("02", 0x0010, {9, 8}) + "\n", 0, 2},
        {"BaseRecordsCarryNothing", Record("02", 0, {0x10, 0}) + "\n" + Record("04", 0, {0, 1}) + "\n", 0, 0},
        {"AfterEofValidNotCounted", kData4 + "\n" + kEof + "\n" + kData4 + "\n", 0, 4},
        {"AfterEofInvalid", kEof + "\n" + kData4 + "x\n", -1, 0},
        {"LowerCase", Lower(Record("00", 0xABCD, {0xEF})) + "\n", -1, 0},
        {"BlankBefore", " " + kData4 + "\n", -1, 0},
        {"BlankAfter", kData4 + " \n", -1, 0},
        {"TabBefore", "\t" + kData4 + "\n", -1, 0},
        {"TabAfter", kData4 + "\t\n", -1, 0},
        {"BlankLineFirst", "\n" + kData4 + "\n", -1, 0},
        {"BlankLineBetween", kData4 + "\n\n" + kEof + "\n", -1, 0},
        {"TwoLineEndsAtEnd", kData4 + "\n\n", -1, 0},
        {"TwoCrLfAtEnd", kData4 + "\r\n\r\n", -1, 0},
        {"NoStartCode", kData4.substr(1) + "\n", -1, 0},
        {"TooShort", ":000000010\n", -1, 0},
        {"Type03", Record("03", 0, {0, 0, 0, 0}) + "\n", -1, 0},
        {"Type05", Record("05", 0, {0, 0, 0, 0}) + "\n", -1, 0},
        {"Type10", Record("10", 0, {}) + "\n", -1, 0},
        {"ChecksumPlusOne", Record("00", 0, {1, 2}, 1) + "\n", -1, 0},
        {"ChecksumMinusOne", Record("00", 0, {1, 2}, -1) + "\n", -1, 0},
        {"CountTooHigh", ":0500000001020304F1\n", -1, 0},
        {"CountTooLow", ":0300000001020304F3\n", -1, 0},
        {"OddLength", kData4 + "0\n", -1, 0},
        {"ColonInCount", WithColonAt(Record("00", 0, Bytes(10)), 2) + "\n", -1, 0},
        {"ColonInAddress", WithColonAt(Record("00", 0x00A0, {1}), 5) + "\n", -1, 0},
        {"ColonInData", WithColonAt(Record("00", 0, {0xA5}), 9) + "\n", -1, 0},
        {"ColonInChecksum", WithColonAt(Record("00", 0, {0x5F}), 11) + "\n", -1, 0},
        // Content after a CR or NUL in the same line is never passed over unchecked.
        {"CrOnlyLineEnds", kData4 + "\r" + kEof + "\r", -1, 0},
        {"NulAfterRecord", kData4 + std::string(1, '\0') + "\n", -1, 0},
        {"NulLine", std::string(1, '\0') + kData4 + "\n", -1, 0},
        // 299 characters per read, line end included.
        {"Data143Lf", s143 + "\n" + kData4 + "\n", 0, 147},
        {"Data143CrLf", s143 + "\r\n" + kData4 + "\r\n", 0, 147},
        {"Data143CrCrLf", s143 + "\r\r\n" + kData4 + "\n", -1, 0},
        {"Data143LastNoLineEnd", kData4 + "\n" + s143, 0, 147},
        {"Data144LastNoLineEnd", kData4 + "\n" + s144, 0, 148},
        {"Data144LastLf", kData4 + "\n" + s144 + "\n", -1, 0},
        {"Data144LastCrLf", kData4 + "\n" + s144 + "\r\n", -1, 0},
        {"Data144NotLast", s144 + "\n" + kEof + "\n", -1, 0},
        {"Data145NoLineEnd", s145, -1, 0},
        {"Data145Lf", s145 + "\n", -1, 0},
        {"Data145CrLf", s145 + "\r\n", -1, 0},
    };
}

void PrintTo(const FormatCase& c, std::ostream* pStream)
{
    *pStream << c.pszName;
}

class HexFormatTest : public testing::TestWithParam<FormatCase>
{
};

TEST_P(HexFormatTest, VerifiesAsExpected)
{
    CScratchDir dir;
    const std::string strPath = dir.Path("a.hex");
    WriteFile(strPath, GetParam().strContent);
    CHexFile hex(strPath.c_str());
    EXPECT_EQ(hex.Verify(), GetParam().nVerify);
    if (GetParam().nVerify != 0)
        return;
    EXPECT_EQ(hex.m_nByteCount, GetParam().nByteCount);
    // Load agrees with the count; an image without bytes cannot be loaded.
    EXPECT_EQ(hex.Load(), GetParam().nByteCount > 0 ? 0 : -1);
    if (GetParam().nByteCount > 0)
    {
        EXPECT_EQ(Walk(hex).size(), static_cast<size_t>(GetParam().nByteCount));
    }
}

INSTANTIATE_TEST_SUITE_P(Records, HexFormatTest, testing::ValuesIn(FormatCases()),
                         [](const testing::TestParamInfo<FormatCase>& param) { return param.param.pszName; });

using Image = std::vector<std::pair<uint32_t, uint8_t>>;

class HexFileTest : public testing::Test
{
protected:
    // Writes the lines (each closed by LF), verifies and loads them; returns the walked image.
    Image LoadLines(const std::vector<std::string>& lines)
    {
        std::string strContent;
        for (const auto& str : lines)
            strContent += str + "\n";
        WriteFile(m_strPath, strContent);
        m_pHex = std::make_unique<CHexFile>(m_strPath.c_str());
        EXPECT_EQ(m_pHex->Verify(), 0);
        EXPECT_EQ(m_pHex->Load(), 0);
        return Walk(*m_pHex);
    }

    CScratchDir m_dir;
    std::string m_strPath = m_dir.Path("img.hex");
    std::unique_ptr<CHexFile> m_pHex;
};

TEST_F(HexFileTest, DescendingRecordsComeOutAscending)
{
    const Image image = LoadLines({Record("00", 0x0200, {0xC0, 0xC1}), Record("00", 0x0100, {0xB0, 0xB1}),
                                   Record("00", 0x0010, {0xA0})});
    EXPECT_EQ(image, (Image{{0x10, 0xA0}, {0x100, 0xB0}, {0x101, 0xB1}, {0x200, 0xC0}, {0x201, 0xC1}}));
    EXPECT_EQ(m_pHex->m_pFirst->dwAddress, 0x10u);
    EXPECT_EQ(m_pHex->GetEndAddress(), 0x201u);
}

TEST_F(HexFileTest, DuplicateAddressesStayNextToEachOther)
{
    const Image image = LoadLines({Record("00", 0x0020, {0x11, 0x12}), Record("00", 0x0010, {0x01}),
                                   Record("00", 0x0020, {0x21, 0x22})});
    ASSERT_EQ(image.size(), 5u);
    EXPECT_EQ(image[0], (std::pair<uint32_t, uint8_t>{0x10, 0x01}));
    EXPECT_EQ(image[1].first, 0x20u);
    EXPECT_EQ(image[2].first, 0x20u);
    EXPECT_EQ((std::set<uint8_t>{image[1].second, image[2].second}), (std::set<uint8_t>{0x11, 0x21}));
    EXPECT_EQ(image[3].first, 0x21u);
    EXPECT_EQ(image[4].first, 0x21u);
    EXPECT_EQ((std::set<uint8_t>{image[3].second, image[4].second}), (std::set<uint8_t>{0x12, 0x22}));
}

TEST_F(HexFileTest, RecordRunsPastPageEnd)
{
    const Image image = LoadLines({Record("00", 0xFFF0, Bytes(32)), kEof});
    ASSERT_EQ(image.size(), 32u);
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(image[i], (std::pair<uint32_t, uint8_t>{0xFFF0u + i, Bytes(32)[i]}));
    EXPECT_EQ(m_pHex->GetEndAddress(), 0x1000Fu);
}

TEST_F(HexFileTest, AddressBases)
{
    const Image image = LoadLines({
        Record("04", 0, {0x00, 0x01}), Record("00", 0x0000, {0xA1}),    // linear 0x10000
        Record("02", 0, {0x12, 0x34}), Record("00", 0x0005, {0xA2}),    // + segment 0x12340
        Record("02", 0x0007, {0xA3}),                                   // a "02" record that carries a byte
        Record("04", 0, {0x00, 0x00}), Record("02", 0, {0x00, 0x00}), Record("00", 0x0003, {0xA4}),
        Record("04", 0, {0xFF, 0xFF}), Record("00", 0xFFFF, {0xA5, 0xA6}),   // wraps in 32 bits
        kEof, Record("00", 0x0000, {0xEE})});                              // after EOF: not loaded
    EXPECT_EQ(image, (Image{{0x00000000, 0xA6}, {0x00000003, 0xA4}, {0x00010000, 0xA1},
                            {0x00022345, 0xA2}, {0x00022347, 0xA3}, {0xFFFFFFFF, 0xA5}}));
    EXPECT_EQ(m_pHex->GetEndAddress(), 0xFFFFFFFFu);
}

TEST_F(HexFileTest, GetDataAgainstBufferSize)
{
    struct
    {
        size_t nImage;
        int nResult;
    } const cases[] = {{32, 32}, {31, 31}, {33, 33}};
    for (const auto& c : cases)
    {
        LoadLines({Record("00", 0x0000, Bytes(c.nImage, 5))});
        uint8_t aby[40];
        std::fill(std::begin(aby), std::end(aby), 0xEE);
        EXPECT_EQ(m_pHex->GetData(aby, 32), c.nResult) << c.nImage;
        const std::vector<uint8_t> expected = Bytes(std::min<size_t>(c.nImage, 32), 5);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), aby)) << c.nImage;
        EXPECT_TRUE(std::all_of(aby + expected.size(), std::end(aby), [](uint8_t by) { return by == 0xEE; }));
    }
}

TEST_F(HexFileTest, EmptyImage)
{
    WriteFile(m_strPath, kEof + "\n");
    CHexFile hex(m_strPath.c_str());
    EXPECT_EQ(hex.Load(), -1);   // not verified: nothing counted
    EXPECT_EQ(hex.Verify(), 0);
    EXPECT_EQ(hex.Load(), -1);
    uint8_t aby[32];
    EXPECT_EQ(hex.GetData(aby, 32), 0);
    EXPECT_EQ(hex.GetEndAddress(), 0u);
    EXPECT_EQ(hex.m_pFirst, nullptr);
}

TEST_F(HexFileTest, FileChangedBetweenVerifyAndLoad)
{
    const std::string strOriginal = kData4 + "\n" + kEof + "\n";
    struct
    {
        const char* pszName;
        std::string strNew;
        int nLoad;
    } const cases[] = {
        {"grown", kData4 + "\n" + kData4 + "\n", -1},
        {"grown by one byte", Record("00", 0, Bytes(5)) + "\n", -1},
        {"shrunk", Record("00", 0, Bytes(3)) + "\n", -1},
        {"emptied", "", -1},
        {"now invalid", kData4 + " \n", -1},
        {"removed", "", -1},
        {"same count", Record("00", 0x40, {9, 9, 9, 9}) + "\n", 0},
    };
    for (const auto& c : cases)
    {
        WriteFile(m_strPath, strOriginal);
        CHexFile hex(m_strPath.c_str());
        ASSERT_EQ(hex.Verify(), 0);
        WriteFile(m_strPath, c.strNew);
        if (std::string(c.pszName) == "removed")
            std::filesystem::remove(m_strPath);
        EXPECT_EQ(hex.Load(), c.nLoad) << c.pszName;
        if (c.nLoad != 0)
        {
            EXPECT_EQ(hex.m_pFirst, nullptr) << c.pszName;
        }
        else
        {
            EXPECT_EQ(hex.GetEndAddress(), 0x43u);
        }
    }
}

// Big enough for huge pages and the helper that faults the array in while it is filled.
TEST_F(HexFileTest, LargeImage)
{
    const uint32_t nRecords = 32768;   // 512 KiB of data, an 8 MiB item array
    std::string strContent;
    for (uint32_t n = 0; n < nRecords; ++n)
    {
        if (n % 4096 == 0)
            strContent += Record("04", 0, {0x00, static_cast<uint8_t>(n / 4096)}) + "\n";
        strContent += Record("00", static_cast<uint16_t>(16 * n), Bytes(16, static_cast<uint8_t>(n))) + "\n";
    }
    WriteFile(m_strPath, strContent);
    CHexFile hex(m_strPath.c_str());
    ASSERT_EQ(hex.Verify(), 0);
    ASSERT_EQ(hex.Load(), 0);
    const Image image = Walk(hex);
    ASSERT_EQ(image.size(), 16u * nRecords);
    for (uint32_t i = 0; i < image.size(); ++i)
        ASSERT_EQ(image[i], (std::pair<uint32_t, uint8_t>{i, Bytes(16, static_cast<uint8_t>(i / 16))[i % 16]}));

    CHexFile shrunk(m_strPath.c_str());
    ASSERT_EQ(shrunk.Verify(), 0);
    WriteFile(m_strPath, strContent.substr(0, strContent.find('\n', strContent.size() / 2) + 1));   // whole records
    EXPECT_EQ(shrunk.Load(), -1);
    EXPECT_EQ(shrunk.m_pFirst, nullptr);
}

TEST_F(HexFileTest, UnreadableOrMissing)
{
    CHexFile missing(m_dir.Path("none.hex").c_str());
    EXPECT_EQ(missing.Verify(), -1);
    CHexFile directory(m_dir.Root().c_str());   // opens, but reading fails
    EXPECT_EQ(directory.Verify(), -1);
}

TEST_F(HexFileTest, PathOf511And512Characters)
{
    // Nested directories bring the path to the wanted length within the file name limit.
    const std::filesystem::path sub = m_dir.Root() / std::string(200, 'd') / std::string(200, 'e');
    std::filesystem::create_directories(sub);
    for (size_t nLength : {511u, 512u})
    {
        const std::string strPath = (sub / std::string(nLength - sub.string().size() - 1, 'f')).string();
        ASSERT_EQ(strPath.size(), nLength);
        WriteFile(strPath, kData4 + "\n");
        CHexFile hex(strPath.c_str());
        EXPECT_EQ(hex.Verify(), nLength == 511 ? 0 : -1) << nLength;
        EXPECT_EQ(hex.Load(), nLength == 511 ? 0 : -1) << nLength;
        EXPECT_EQ(std::string(hex.m_szFileName), strPath.substr(0, 511));
    }
}

} // namespace
