// The PC's end of a simulated board for tests: plain POSIX calls on the pty slave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class CPcSide
{
public:
    explicit CPcSide(const std::string& strPath) { Open(strPath); }
    ~CPcSide() { Close(); }
    CPcSide(const CPcSide&) = delete;
    CPcSide& operator=(const CPcSide&) = delete;

    bool Open(const std::string& strPath);      // O_NOCTTY | O_NONBLOCK, raw, as the tool opens a port
    void Close();
    bool IsOpen() const { return m_hPort >= 0; }

    bool Send(const std::vector<uint8_t>& vecBytes);
    // Up to nCount bytes, waiting at most nTimeoutMs for all of them; fewer when time runs out.
    std::vector<uint8_t> Receive(size_t nCount, int nTimeoutMs = 2000);
    // The port reports a hang-up (the board closed its side) within the time.
    bool WaitHangUp(int nTimeoutMs);

    // Sends each byte and expects its echo, then reads nAnswer bytes.
    ::testing::AssertionResult Exchange(const std::vector<uint8_t>& vecSend, size_t nAnswer,
                                        std::vector<uint8_t>* pAnswer = nullptr, int nAnswerTimeoutMs = 2000);
    // One programming run of one block (checksum checked) and one read-back run of one pair.
    ::testing::AssertionResult Program(uint32_t dwAddress, const std::vector<uint8_t>& vecData);
    std::vector<uint8_t> ReadPair(uint32_t dwAddress);
    // The whole boot: 0x00 / ID, bootstrap code, first stage loader, length, flasher, ID, echo test.
    ::testing::AssertionResult Boot(const std::vector<uint8_t>& vecFlasher);

private:
    int m_hPort = -1;
};

// Payloads of the boot chain used by the tests.
const std::vector<uint8_t>& TestFirstLoader();
const std::vector<uint8_t>& TestBootstrapCode();
const std::vector<uint8_t>& TestFlasher();   // 1024 bytes, 8 sectors, kTestInfo
inline constexpr char kTestInfo[] = "Test flasher: 8 x 32 KiB";
