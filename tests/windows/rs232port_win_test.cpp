// The Win32 serial port against simulated boards on COM ports: the bootstrap loader answers
// 0x00 with the board's identification byte and closing the port resets the board.
#include "serial/rs232port.h"
#include "wintestenv.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace
{
constexpr int kBaudRate = 57600;
constexpr char kZero = 0x00;   // the bootstrap loader's wake-up byte

class Rs232PortWin : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_ports = TestPorts();
        if (m_ports.empty())
            GTEST_SKIP() << "KELVORA_TEST_PORTS not set";
    }

    // Sends 0x00 and returns what the board answers in one read (-1: nothing).
    static int AskId(CRS232Port& port)
    {
        char ch = 0;
        int nCount = 0;
        if (port.Write(&kZero, 1) != 1 || port.Flush() != 0 || port.ReadChar(&ch, &nCount) != 0 ||
            nCount != 1)
            return -1;
        return static_cast<unsigned char>(ch);
    }

    std::vector<std::string> m_ports;
};

TEST_F(Rs232PortWin, BoardAnswersAndIdleReadEndsEmptyAndCloseResetsTheBoard)
{
    for (int nRound = 0; nRound < 2; ++nRound) {
        SCOPED_TRACE(nRound);
        CRS232Port port;
        ASSERT_EQ(port.Open(m_ports[0].c_str(), kBaudRate), 0) << port.GetLastSystemErrorText();
        EXPECT_EQ(AskId(port), kFirstBoardId);
        char ch = 'x';
        int nCount = -1;
        EXPECT_EQ(port.ReadChar(&ch, &nCount), 0);   // the board waits for its 32 bytes
        EXPECT_EQ(nCount, 0);
        port.Close();
        EXPECT_EQ(port.ReadChar(&ch, &nCount), -1);
    }
}

TEST_F(Rs232PortWin, PortNotOpenOrFailedToOpenRefusesEverything)
{
    CRS232Port port;
    char ch = 0;
    int nCount = 0;
    EXPECT_EQ(port.Write(&kZero, 1), -1);
    EXPECT_EQ(port.ReadChar(&ch, &nCount), -1);
    EXPECT_EQ(port.Flush(), -1);
    EXPECT_EQ(port.Open("\\\\.\\COM199", kBaudRate), -1);
    EXPECT_EQ(port.Write(&kZero, 1), -1);
    // A file given as the port opens, but is refused as what it is.
    char szFolder[MAX_PATH];
    char szPath[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof szFolder, szFolder), 0u);
    ASSERT_NE(GetTempFileNameA(szFolder, "kel", 0, szPath), 0u);   // creates it, empty
    EXPECT_EQ(port.Open(szPath, kBaudRate), -1);
    EXPECT_EQ("not a serial port", port.GetLastSystemErrorText());
    port.Close();
    DeleteFileA(szPath);
}

TEST_F(Rs232PortWin, TwoPortsOpenAtOnceEachGetTheirOwnBoardsAnswers)
{
    if (m_ports.size() < 2)
        GTEST_SKIP() << "needs two boards";
    CRS232Port first;
    CRS232Port second;
    ASSERT_EQ(first.Open(m_ports[0].c_str(), kBaudRate), 0);
    ASSERT_EQ(second.Open(m_ports[1].c_str(), kBaudRate), 0);
    // Both answers waiting before either is read: events shared by name between the two ports
    // (or two programs) would let one port's reader answer the other's request.
    ASSERT_EQ(first.Write(&kZero, 1), 1);
    ASSERT_EQ(second.Write(&kZero, 1), 1);
    char ch = 0;
    int nCount = 0;
    ASSERT_EQ(second.ReadChar(&ch, &nCount), 0);
    EXPECT_EQ(nCount, 1);
    EXPECT_EQ(static_cast<unsigned char>(ch), kSecondBoardId);
    ASSERT_EQ(first.ReadChar(&ch, &nCount), 0);
    EXPECT_EQ(nCount, 1);
    EXPECT_EQ(static_cast<unsigned char>(ch), kFirstBoardId);
    // Idle on both: neither reader answers for the other.
    EXPECT_EQ(first.ReadChar(&ch, &nCount), 0);
    EXPECT_EQ(nCount, 0);
    EXPECT_EQ(second.ReadChar(&ch, &nCount), 0);
    EXPECT_EQ(nCount, 0);
}

}   // namespace
