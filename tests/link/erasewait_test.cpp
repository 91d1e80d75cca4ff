// The long waits of an erase, counted in read limits: up to 32 reads of about half a second
// for the status byte and for the echo of a sector number; in memory each empty read is one.
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
    long long nReads;   // timed reads of the erase command, its echoes included
};

class EraseWait : public CMemoryBoardFixture, public ::testing::WithParamInterface<CWaitCase>
{};

TEST_P(EraseWait, StatusWithinThirtyTwoReads)
{
    const CWaitCase& c = GetParam();
    m_board.SetEraseTimes(c.nEraseMs, c.nEraseMs);
    ASSERT_EQ(0, Boot(m_link)) << m_link.GetErrorText();
    m_link.SetErrorText("unchanged");
    ASSERT_EQ(0, m_link.SelectEraseGroup());
    const long long nReadsBefore = m_board.GetPort()->GetReadCount();
    EXPECT_EQ(c.nResult, c.bChip ? m_link.EraseChip() : m_link.EraseSector(1));
    EXPECT_EQ(c.pszError, m_link.GetErrorText());
    EXPECT_EQ(c.nReads, m_board.GetPort()->GetReadCount() - nReadsBefore);
}

// 31 empty reads take about 15.5 s: a status after them still counts, one that would come after
// 32 comes after the last read has given up.
INSTANTIATE_TEST_SUITE_P(
    Link, EraseWait,
    ::testing::Values(CWaitCase{"ChipAfter31EmptyReads", true, 15500, 0, "unchanged", 1 + 32},
                      CWaitCase{"ChipAfter32EmptyReads", true, 16000, -1,
                                "Error cannot read data from COM-Port", 1 + 32},
                      CWaitCase{"SectorAfter31EmptyReads", false, 15500, 0, "unchanged", 1 + 32 + 1},
                      CWaitCase{"SectorAfter32EmptyReads", false, 16000, -1,
                                "Error cannot read data from COM-Port", 1 + 32 + 1}),
    CCaseName());
}   // namespace
