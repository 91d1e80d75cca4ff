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

    bool Open(const std::string& strPath);   // O_NOCTTY | O_NONBLOCK, raw, as the tool opens a port
    void Close();

    bool Send(const std::vector<uint8_t>& vecBytes);
    // Up to nCount bytes, waiting at most nTimeoutMs for all of them; fewer when time runs out.
    std::vector<uint8_t> Receive(size_t nCount, int nTimeoutMs = 2000);
    // Sends each byte and expects its echo, then reads nAnswer bytes.
    ::testing::AssertionResult Exchange(const std::vector<uint8_t>& vecSend, size_t nAnswer,
                                        std::vector<uint8_t>* pAnswer = nullptr);
    // The whole boot: 0x00 / ID, BootChain(vecFlasher), flasher ID, echo test.
    ::testing::AssertionResult Boot(const std::vector<uint8_t>& vecFlasher);

private:
    int m_hPort = -1;
};

// Payloads of the boot chain used by the tests.
const std::vector<uint8_t>& TestFirstLoader();
const std::vector<uint8_t>& TestBootstrapCode();
const std::vector<uint8_t>& TestFlasher();   // 1024 bytes, 8 sectors, kTestInfo
inline constexpr char kTestInfo[] = "Test flasher: 8 x 32 KiB";
// What follows the bootstrap loader's ID: bootstrap code, first stage loader, length, flasher.
// nFlipPart 0..2 damages byte nFlipAt of the bootstrap code, first stage loader or flasher.
std::vector<uint8_t> BootChain(const std::vector<uint8_t>& vecFlasher, int nFlipPart = -1,
                               size_t nFlipAt = 0);
