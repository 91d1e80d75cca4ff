#include "pcside.h"

#include "sim/payloadformat.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

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

std::vector<uint8_t> BootChain(const std::vector<uint8_t>& vecFlasher, int nFlipPart, size_t nFlipAt)
{
    const size_t nLength = vecFlasher.size() - 1;   // most significant first
    std::vector<uint8_t> aParts[] = {TestBootstrapCode(), TestFirstLoader(), vecFlasher};
    if (nFlipPart >= 0)
        aParts[nFlipPart][nFlipAt] ^= 0x01;
    aParts[1].push_back(static_cast<uint8_t>(nLength >> 8));
    aParts[1].push_back(static_cast<uint8_t>(nLength));
    std::vector<uint8_t> vecChain;
    for (const auto& vecPart : aParts)
        vecChain.insert(vecChain.end(), vecPart.begin(), vecPart.end());
    return vecChain;
}

bool CPcSide::Open(const std::string& strPath)
{
    Close();
    m_hPort = open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    struct termios tio
    {};
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
    for (size_t nDone = 0; nDone < vecBytes.size();) {
        const ssize_t n = write(m_hPort, vecBytes.data() + nDone, vecBytes.size() - nDone);
        struct pollfd pfd = {m_hPort, POLLOUT, 0};
        if (n > 0)
            nDone += static_cast<size_t>(n);
        else if (n == 0 || (errno != EINTR && (errno != EAGAIN || poll(&pfd, 1, 5000) <= 0)))
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
        const ssize_t n = read(m_hPort, abyBuffer, std::min(sizeof abyBuffer, nCount - vecIn.size()));
        if (n > 0) {
            vecIn.insert(vecIn.end(), abyBuffer, abyBuffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const auto nLeftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 tDeadline - std::chrono::steady_clock::now())
                                 .count();
        struct pollfd pfd = {m_hPort, POLLIN, 0};
        if (n == 0 || errno != EAGAIN ||
            poll(&pfd, 1, static_cast<int>(std::max<int64_t>(0, nLeftMs))) <= 0 ||
            (pfd.revents & POLLIN) == 0)
            break;
    }
    return vecIn;
}

::testing::AssertionResult CPcSide::Exchange(const std::vector<uint8_t>& vecSend, size_t nAnswer,
                                             std::vector<uint8_t>* pAnswer)
{
    for (size_t i = 0; i < vecSend.size(); ++i)
        if (!Send({vecSend[i]}) || Receive(1) != std::vector<uint8_t>{vecSend[i]})
            return ::testing::AssertionFailure() << "no echo of byte " << i << " (" << int(vecSend[i]) << ")";
    const std::vector<uint8_t> vecAnswer = Receive(nAnswer);
    if (pAnswer != nullptr)
        *pAnswer = vecAnswer;
    if (vecAnswer.size() != nAnswer)
        return ::testing::AssertionFailure()
               << "got " << vecAnswer.size() << " of " << nAnswer << " answer bytes";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CPcSide::Boot(const std::vector<uint8_t>& vecFlasher)
{
    if (!Send({0x00}) || Receive(1) != std::vector<uint8_t>{0xC5})
        return ::testing::AssertionFailure() << "no 0xC5 from the bootstrap loader";
    if (!Send(BootChain(vecFlasher)) || Receive(1) != std::vector<uint8_t>{0xC5})
        return ::testing::AssertionFailure() << "no 0xC5 from the flasher program";
    std::vector<uint8_t> vecTest(0xFF);
    for (size_t i = 0; i < vecTest.size(); ++i)
        vecTest[i] = static_cast<uint8_t>(i);
    return Exchange(vecTest, 0);
}
