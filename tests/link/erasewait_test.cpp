// The long waits of an erase, counted in read limits: up to 32 reads of about half a second
// for the status byte and for the echo of a sector number.
#include "linktestsupport.h"
#include "support/namedcase.h"

namespace
{
struct CWaitCase : CNamedCase
{
    bool bChip;
    int nEraseMs;
    int nResult;
    const char* pszError;
};

class EraseWait : public CBoardFixture, public ::testing::WithParamInterface<CWaitCase>
{};

TEST_P(EraseWait, StatusWithinThirtyTwoReads)
{
    const CWaitCase& c = GetParam();
    m_board.SetEraseTimes(c.nEraseMs, c.nEraseMs);
    ASSERT_EQ(0, Boot(m_link)) << m_link.GetErrorText();
    m_link.SetErrorText("unchanged");
    ASSERT_EQ(0, m_link.SelectEraseGroup());
    EXPECT_EQ(c.nResult, c.bChip ? m_link.EraseChip() : m_link.EraseSector(1));
    EXPECT_EQ(c.pszError, m_link.GetErrorText());
}

// 31 empty reads take about 15.5 s: a status after 15 s still counts, one after 16.6 s
// comes after the 32nd read has given up.
INSTANTIATE_TEST_SUITE_P(
    Link, EraseWait,
    ::testing::Values(CWaitCase{"ChipAfter15s", true, 15000, 0, "unchanged"},
                      CWaitCase{"ChipAfter17s", true, 17000, -1, "Error cannot read data from COM-Port"},
                      CWaitCase{"SectorAfter15s", false, 15000, 0, "unchanged"},
                      CWaitCase{"SectorAfter17s", false, 17000, -1, "Error cannot read data from COM-Port"}),
    CCaseName());
}   // namespace
