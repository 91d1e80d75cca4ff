#include "pcside.h"

#include "sim/payloadformat.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
int MsLeft(std::chrono::steady_clock::time_point tDeadline)
{
    const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
        tDeadline - std::chrono::steady_clock::now()).count();
    return nLeft < 0 ? 0 : static_cast<int>(nLeft);
}
}  // namespace


const std::vector<uint8_t>& TestFirstLoader()
{
    static const std::vector<uint8_t> vec = CPayloadFormat::BuildFirstLoader(224);
    return vec;
}

const std::vector<uint8_t>& TestBootstrapCode()
{
    static const std::vector<uint8_t> vec = CPayloadFormat::BuildBootstrapCode(TestFirstLoader());
    return vec;
}

const std::vector<uint8_t>& TestFlasher()
{
    static const std::vector<uint8_t> vec = CPayloadFormat::BuildFlasher(1024, 8, kTestInfo);
    return vec;
}

bool CPcSide::Open(const std::string& strPath)
{
    Close();
    m_hPort = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct termios tio {};
    if (m_hPort < 0 || tcgetattr(m_hPort, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    return tcsetattr(m_hPort, TCSANOW, &tio) == 0;
}

void CPcSide::Close()
{
    if (m_hPort >= 0)
        close(m_hPort);
    m_hPort = -1;
}

bool CPcSide::Send(const std::vector<uint8_t>& vecBytes)
{
    size_t nDone = 0;
    while (nDone < vecBytes.size()) {
        const ssize_t n = write(m_hPort, vecBytes.data() + nDone, vecBytes.size() - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        struct pollfd pfd = {m_hPort, POLLOUT, 0};
        if (n == 0 || errno != EAGAIN || poll(&pfd, 1, 5000) <= 0)
            return false;
    }
    return true;
}

std::vector<uint8_t> CPcSide::Receive(size_t nCount, int nTimeoutMs)
{
    std::vector<uint8_t> vecIn;
    const auto tDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (vecIn.size() < nCount) {
        uint8_t abyBuffer[512];
        const size_t nWant = std::min(sizeof abyBuffer, nCount - vecIn.size());
        const ssize_t n = read(m_hPort, abyBuffer, nWant);
        if (n > 0) {
            vecIn.insert(vecIn.end(), abyBuffer, abyBuffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            break;
        struct pollfd pfd = {m_hPort, POLLIN, 0};
        if (poll(&pfd, 1, MsLeft(tDeadline)) <= 0 || (pfd.revents & POLLIN) == 0)
            break;
    }
    return vecIn;
}

bool CPcSide::WaitHangUp(int nTimeoutMs)
{
    struct pollfd pfd = {m_hPort, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) <= 0)
        return false;
    uint8_t by;
    return (pfd.revents & POLLHUP) != 0 || read(m_hPort, &by, 1) < 0;
}

::testing::AssertionResult CPcSide::Exchange(const std::vector<uint8_t>& vecSend, size_t nAnswer,
                                             std::vector<uint8_t>* pAnswer, int nAnswerTimeoutMs)
{
    for (size_t i = 0; i < vecSend.size(); ++i) {
        if (!Send({vecSend[i]}))
            return ::testing::AssertionFailure() << "write failed at byte " << i;
        const std::vector<uint8_t> vecEcho = Receive(1, 1000);
        if (vecEcho.size() != 1 || vecEcho[0] != vecSend[i])
            return ::testing::AssertionFailure() << "no echo of byte " << i << " (" << int(vecSend[i]) << ")";
    }
    const std::vector<uint8_t> vecAnswer = Receive(nAnswer, nAnswerTimeoutMs);
    if (pAnswer != nullptr)
        *pAnswer = vecAnswer;
    if (vecAnswer.size() != nAnswer)
        return ::testing::AssertionFailure() << "got " << vecAnswer.size() << " of " << nAnswer << " answer bytes";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CPcSide::Boot(const std::vector<uint8_t>& vecFlasher)
{
    if (!Send({0x00}) || Receive(1) != std::vector<uint8_t>{0xC5})
        return ::testing::AssertionFailure() << "no 0xC5 from the bootstrap loader";
    const size_t nLength = vecFlasher.size() - 1;
    std::vector<uint8_t> vecChain = TestBootstrapCode();
    vecChain.insert(vecChain.end(), TestFirstLoader().begin(), TestFirstLoader().end());
    vecChain.push_back(static_cast<uint8_t>(nLength >> 8));
    vecChain.push_back(static_cast<uint8_t>(nLength));
    vecChain.insert(vecChain.end(), vecFlasher.begin(), vecFlasher.end());
    if (!Send(vecChain) || Receive(1) != std::vector<uint8_t>{0xC5})
        return ::testing::AssertionFailure() << "no 0xC5 from the flasher program";
    std::vector<uint8_t> vecTest;
    for (int v = 0; v <= 0xFE; ++v)
        vecTest.push_back(static_cast<uint8_t>(v));
    return Exchange(vecTest, 0);
}

namespace {
std::vector<uint8_t> Address(uint32_t dwAddress)
{
    return {static_cast<uint8_t>(dwAddress >> 16), static_cast<uint8_t>(dwAddress >> 8), static_cast<uint8_t>(dwAddress)};
}
}  // namespace

::testing::AssertionResult CPcSide::Program(uint32_t dwAddress, const std::vector<uint8_t>& vecData)
{
    std::vector<uint8_t> vecSend = {0x46, 0x58, 0x4E};
    for (uint8_t by : Address(dwAddress))
        vecSend.push_back(by);
    vecSend.push_back(static_cast<uint8_t>(vecData.size()));
    uint8_t bySum = 0;
    for (uint8_t by : vecData) {
        vecSend.push_back(by);
        bySum = static_cast<uint8_t>(bySum + by);
    }
    std::vector<uint8_t> vecAnswer;
    ::testing::AssertionResult result = Exchange(vecSend, 1, &vecAnswer);
    if (result && vecAnswer[0] != static_cast<uint8_t>(0x100 - bySum))
        return ::testing::AssertionFailure() << "checksum " << int(vecAnswer[0]);
    return result ? Exchange({0x42}, 0) : result;
}

std::vector<uint8_t> CPcSide::ReadPair(uint32_t dwAddress)
{
    std::vector<uint8_t> vecSend = {0x46, 0x56};
    for (uint8_t by : Address(dwAddress))
        vecSend.push_back(by);
    std::vector<uint8_t> vecAnswer;
    EXPECT_TRUE(Exchange(vecSend, 2, &vecAnswer));
    EXPECT_TRUE(Exchange({0x42}, 0));
    return vecAnswer;
}
