// Round trip against hex files written by srec_cat and objcopy: the loaded image must equal
// the binary that the same tool makes of its own hex file, byte for byte.
#include "hextestutil.h"

#include <iterator>
#include <random>

namespace
{

bool HaveTool(const char* pszTool)
{
    return std::system((std::string("command -v ") + pszTool + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunQuiet(const std::string& strCommand)
{
    return std::system((strCommand + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> ReadFile(const std::string& strPath)
{
    std::ifstream file(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// True when some record of the file has the given type.
bool HasRecordType(const std::string& strPath, const char* pszType)
{
    std::ifstream file(strPath);
    for (std::string strLine; std::getline(file, strLine);)
        if (strLine.size() >= 9 && strLine.compare(7, 2, pszType) == 0)
            return true;
    return false;
}

struct Block
{
    uint32_t dwAddress;
    size_t nSize;
};

struct RoundTripCase
{
    const char* pszName;
    const char* pszTool;
    Block first;
    Block second;
    bool bSegment;   // the tool writes extended segment address records
    bool bLinear;    // the tool writes extended linear address records
};

void PrintTo(const RoundTripCase& c, std::ostream* pStream)
{
    *pStream << c.pszName;
}

class HexRoundTripTest : public testing::TestWithParam<RoundTripCase>
{
};

TEST_P(HexRoundTripTest, ImageEqualsToolBinary)
{
    const RoundTripCase& c = GetParam();
    if (!HaveTool(c.pszTool))
        GTEST_SKIP() << c.pszTool << " is not installed (packages srecord / binutils)";

    CScratchDir dir;
    std::mt19937 random(0x4B656C76);
    std::vector<uint8_t> blocks[2];
    const Block layout[2] = {c.first, c.second};
    for (int i = 0; i < 2; ++i)
    {
        blocks[i].resize(layout[i].nSize);
        for (auto& by : blocks[i])
            by = static_cast<uint8_t>(random());
        WriteFile(dir.Path("in" + std::to_string(i) + ".bin"), std::string(blocks[i].begin(), blocks[i].end()));
    }

    const std::string strHex = dir.Path("out.hex");
    const std::string strBack = dir.Path("back.bin");
    const uint32_t dwStart = std::min(c.first.dwAddress, c.second.dwAddress);
    char szFirst[16], szSecond[16], szStart[16];
    std::snprintf(szFirst, sizeof(szFirst), "0x%X", c.first.dwAddress);
    std::snprintf(szSecond, sizeof(szSecond), "0x%X", c.second.dwAddress);
    std::snprintf(szStart, sizeof(szStart), "0x%X", dwStart);
    if (std::string(c.pszTool) == "srec_cat")
    {
        ASSERT_TRUE(RunQuiet("srec_cat " + dir.Path("in0.bin") + " -Binary -offset " + szFirst + " " + dir.Path("in1.bin") +
                        " -Binary -offset " + szSecond + " -o " + strHex + " -Intel" +
                        (c.bSegment ? " -address-length=3" : "")));
        ASSERT_TRUE(RunQuiet("srec_cat " + strHex + " -Intel -offset -" + szStart + " -o " + strBack + " -Binary"));
    }
    else
    {
        // objcopy has no switch for the kind of base record: below 1 MiB it writes segment
        // records, above it linear ones. Section addresses move, the start address stays 0,
        // so it writes no start address record (types 03 and 05 are not accepted).
        ASSERT_TRUE(RunQuiet("objcopy -I binary -O ihex --change-section-address .data+" + std::string(szFirst) +
                        " --add-section .more=" + dir.Path("in1.bin") +
                        " --set-section-flags .more=alloc,load,contents --change-section-address .more+" +
                        szSecond + " " + dir.Path("in0.bin") + " " + strHex));
        ASSERT_TRUE(RunQuiet("objcopy -I ihex -O binary " + strHex + " " + strBack));
    }
    EXPECT_EQ(HasRecordType(strHex, "02"), c.bSegment);
    EXPECT_EQ(HasRecordType(strHex, "04"), c.bLinear);

    CHexFile hex(strHex.c_str());
    ASSERT_EQ(hex.Verify(), 0);
    ASSERT_EQ(hex.m_nByteCount, static_cast<int32_t>(c.first.nSize + c.second.nSize));
    ASSERT_EQ(hex.Load(), 0);
    const auto image = Walk(hex);

    // The tool's binary starts at the lowest address and fills gaps with zero.
    const std::vector<uint8_t> back = ReadFile(strBack);
    EXPECT_EQ(hex.m_pFirst->dwAddress, dwStart);
    ASSERT_EQ(back.size(), hex.GetEndAddress() - dwStart + 1);
    std::vector<uint8_t> dense(back.size(), 0);
    for (size_t i = 0; i < image.size(); ++i)
    {
        ASSERT_TRUE(i == 0 || image[i - 1].first < image[i].first) << "address twice or out of order: " << i;
        dense[image[i].first - dwStart] = image[i].second;
    }
    EXPECT_TRUE(dense == back);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(std::equal(blocks[i].begin(), blocks[i].end(), dense.begin() + (layout[i].dwAddress - dwStart)));
}

// Blocks of 70000 bytes cross 64 KiB pages; all addresses lie above 64 KiB.
INSTANTIATE_TEST_SUITE_P(
    Tools, HexRoundTripTest,
    testing::Values(RoundTripCase{"SrecCatLinear", "srec_cat", {0x12340, 70000}, {0x2A0000, 3000}, false, true},
                    RoundTripCase{"SrecCatSegment", "srec_cat", {0x12340, 70000}, {0x9F000, 3000}, true, false},
                    RoundTripCase{"ObjcopyLinear", "objcopy", {0x123450, 70000}, {0x2A0000, 3000}, false, true},
                    RoundTripCase{"ObjcopySegment", "objcopy", {0x12340, 70000}, {0x9F000, 3000}, true, false},
                    RoundTripCase{"ObjcopyMixed", "objcopy", {0x12340, 70000}, {0x2A0000, 3000}, true, true}),
    [](const testing::TestParamInfo<RoundTripCase>& param) { return param.param.pszName; });

} // namespace
