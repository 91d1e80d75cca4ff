// CHexWriter: the exact text of each addressing, record split and line end, and what it refuses.
#include "hex/hexwriter.h"
#include "support/namedcase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Bytes 01 02 03 ... at dwAddress; strLines: the whole text, "\n" standing for the line end.
struct WriterCase : CNamedCase
{
    EHexAddressing eAddressing;
    int nRecordSize;
    bool bCrLf;
    uint16_t wSegment;
    bool bAligned;
    uint32_t dwAddress;
    size_t nBytes;
    int nResult;
    std::string strLines;
};

class HexWriterTest : public testing::TestWithParam<WriterCase>
{};

TEST_P(HexWriterTest, WritesExactText)
{
    const WriterCase& c = GetParam();
    std::vector<uint8_t> data(c.nBytes);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i + 1);
    CHexWriter writer(c.eAddressing, c.nRecordSize, c.bCrLf, c.wSegment, c.bAligned);
    EXPECT_EQ(writer.AddData(c.dwAddress, data), c.nResult);
    std::string strExpected;
    for (char ch : c.strLines)
        strExpected += ch == '\n' && c.bCrLf ? "\r\n" : std::string(1, ch);
    EXPECT_EQ(writer.GetText(), strExpected);
}

constexpr auto kLinear = EHexAddressing::Linear;
constexpr auto kSegment = EHexAddressing::Segment;
constexpr auto kPlain = EHexAddressing::Plain;

INSTANTIATE_TEST_SUITE_P(
    Texts, HexWriterTest,
    testing::Values(
        // The read-back image: records from the start address on, split at the 64 KiB page.
        WriterCase{"FromStartAcrossPage", kLinear, 16, true, 0, false, 0xFFF4, 20, 0,
                   ":020000040000FA\n:0CFFF4000102030405060708090A0B0CB3\n:020000040001F9\n"
                   ":080000000D0E0F101112131474\n:00000001FF\n"},
        WriterCase{"FromStart", kLinear, 16, true, 0, false, 0x0004, 20, 0,
                   ":020000040000FA\n:100004000102030405060708090A0B0C0D0E0F1064\n:04001400111213149E\n"
                   ":00000001FF\n"},
        WriterCase{"Aligned", kLinear, 16, false, 0, true, 0x0004, 20, 0,
                   ":020000040000FA\n:0C0004000102030405060708090A0B0CA2\n:080010000D0E0F101112131464\n"
                   ":00000001FF\n"},
        WriterCase{"HighestByte", kLinear, 16, true, 0, true, 0xFFFFFFFF, 1, 0,
                   ":02000004FFFFFC\n:01FFFF000100\n:00000001FF\n"},
        WriterCase{"Segment", kSegment, 4, false, 0x1000, true, 0x10002, 5, 0,
                   ":020000021000EC\n:020002000102F9\n:03000400030405ED\n:00000001FF\n"},
        WriterCase{"Plain", kPlain, 16, true, 0, true, 0xFFFE, 2, 0, ":02FFFE000102FE\n:00000001FF\n"},
        WriterCase{"Empty", kLinear, 16, true, 0, false, 0, 0, 0, ":00000001FF\n"},
        // Refused bytes leave the text as it was.
        WriterCase{"PlainPast64KiB", kPlain, 16, true, 0, true, 0xFFFF, 2, -1, ":00000001FF\n"},
        WriterCase{"BelowSegment", kSegment, 16, true, 0x1000, true, 0xFFFF, 1, -1,
                   ":020000021000EC\n:00000001FF\n"},
        WriterCase{"SegmentPast64KiB", kSegment, 16, true, 0x1000, true, 0x1FFFF, 2, -1,
                   ":020000021000EC\n:00000001FF\n"},
        WriterCase{"LinearPast4GiB", kLinear, 16, true, 0, true, 0xFFFFFFFF, 2, -1, ":00000001FF\n"}),
    CCaseName());

}   // namespace
