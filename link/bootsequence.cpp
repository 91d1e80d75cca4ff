// Boot sequence: from the C167's bootstrap loader up to the flasher program.
#include <chrono>
#include <cstdint>
#include <vector>

#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "serial/byteport.h"

namespace
{
constexpr uint8_t kBootstrapRequest = 0x00;        // a zero byte starts the on-chip bootstrap loader
constexpr uint8_t kIdentification = 0xC5;          // answered by the bootstrap loader and by the flasher
constexpr int kLengthInfoSize = 2;                 // the flasher program's byte count minus one, 16 bits
constexpr int kLastTestByte = 0xFE;                // echo test runs 0x00..0xFE; 0xFF is never sent
constexpr float kTestProgressStep = 0.39215687f;   // 100 / 255 in single precision
constexpr int kTimedTestBytes = 8;                 // pipelined, these go one by one to time the round trip

double MillisecondsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tpStart).count();
}

void Report(CProgressSink* pProgress, int nPos)
{
    if (pProgress != nullptr)
        pProgress->SetProgress(nPos);
}
}   // namespace

// As the lock-step test gives them.
const CTargetLink::CPipeTexts CTargetLink::kTestTexts = {
    "Error sending data to COM-Port", "Error cannot read data from COM-Port",
    "Error setting up communcation with flash program", "Error duvuvever sent wrong ID", nullptr};

int CTargetLink::Connect()
{
    if (m_bInitialized == 0)
        return Fail("Error call init first");
    if (m_pPort->Flush() != 0)
        return Fail("Error cannot flush serial input buffer");
    if (WriteByte(kBootstrapRequest) != 1)
        return Fail("Error cannot send data over COM-Port");

    uint8_t byId = 0;
    int nCount = 0;
    if (ReadByte(&byId, &nCount) != 0)
        return Fail("Error cannot read data from COM-Port");
    if (nCount != 1 || byId != kIdentification)
        return Fail("Error setting up communcation with C167");

    m_bConnected = 1;
    return static_cast<signed char>(byId);
}

int CTargetLink::SendBsl()
{
    if (m_bInitialized == 0)
        return Fail("Error call init first");
    if (m_bConnected == 0)
        return Fail("Error not Connected");

    uint8_t abyCode[kBslSize];
    if (m_pBsl->GetData(abyCode, kBslSize) != kBslSize)
        return Fail("Error fetching bsl code");
    if (m_pPort->Write(abyCode, kBslSize) != kBslSize)
        return Fail("Error sending bsl to c167");
    return 0;
}

int CTargetLink::SendFirstLoader()
{
    if (m_bInitialized == 0)
        return Fail("Error call init first");
    if (m_bConnected == 0)
        return Fail("Error not Connected");

    // No length and no framing: the bootstrap code knows how many bytes to expect. One Write,
    // back to back as a transmit buffer sends them: the bootstrap code takes them that way.
    std::vector<uint8_t> vecCode;
    for (const HexItem* pItem = m_pFirstLoader->m_pFirst; pItem != nullptr; pItem = pItem->pNext)
        vecCode.push_back(pItem->byValue);
    if (vecCode.empty())
        return Fail("Error sending first loader code");
    if (m_pPort->Write(vecCode.data(), static_cast<int>(vecCode.size())) != static_cast<int>(vecCode.size()))
        return Fail("Error sending first loader code");
    return 0;
}

int CTargetLink::SendSecondLoader(CProgressSink* pProgress)
{
    if (m_bInitialized == 0)
        return Fail("Error call init first");
    if (m_bConnected == 0)
        return Fail("Error not Connected");

    CHexFile* pImage = m_pSecondLoader;
    const int nBytes = pImage->m_nByteCount;
    // The first stage loader takes the count minus one, 16 bits, most significant first;
    // larger images are not refused, only the low 16 bits go out.
    const unsigned nLengthInfo = static_cast<unsigned>(nBytes - 1) & 0xFFFFu;
    const uint8_t abyLength[kLengthInfoSize] = {static_cast<uint8_t>(nLengthInfo >> 8),
                                                static_cast<uint8_t>(nLengthInfo & 0xFFu)};
    const int nLengthWritten = m_pPort->Write(abyLength, kLengthInfoSize);
    if (nLengthWritten < 1)
        return Fail("Error sending lenght info");
    if (nLengthWritten < kLengthInfoSize)
        return Fail("Error sending lengh info");

    std::vector<uint8_t> vecCode;
    for (const HexItem* pItem = pImage->m_pFirst; pItem != nullptr; pItem = pItem->pNext)
        vecCode.push_back(pItem->byValue);
    if (vecCode.empty())
        return Fail("Error sending second loader code");
    // One Write right after the length: the first stage loader takes the bytes back to back.
    if (m_pPort->Write(vecCode.data(), static_cast<int>(vecCode.size())) != static_cast<int>(vecCode.size()))
        return Fail("Error sending second loader code");
    // The bar goes on from 50, where the first stage loader left it, to where the last byte is.
    if (vecCode.size() > 1)
        Report(pProgress, static_cast<int>(static_cast<double>(nBytes - 1) * 50.0 / nBytes + 50.0));
    return 0;
}

int CTargetLink::TestConnection(CProgressSink* pProgress)
{
    // The flasher program announces itself; the PC sends nothing first.
    uint8_t byAnswer = 0;
    int nCount = 0;
    if (ReadByte(&byAnswer, &nCount) != 0)
        return Fail("Error cannot read data from COM-Port");
    if (nCount != 1)
        return Fail("Error setting up communcation with flash program");
    if (byAnswer != kIdentification)
        return Fail("Error duvuvever sent wrong ID");

    if (IsPipelined()) {
        // Only echoes follow: the values go ahead and the bar moves as their echoes come in.
        m_dequeOwed.clear();
        int nReported = 0;
        auto fnReportConfirmed = [&](int nSent) {
            while (nReported < nSent - static_cast<int>(m_dequeOwed.size())) {
                ++nReported;
                Report(pProgress, static_cast<int>(static_cast<float>(nReported) * kTestProgressStep));
            }
        };
        const auto tpStart = std::chrono::steady_clock::now();
        for (int nValue = 0; nValue <= kLastTestByte; ++nValue) {
            if (SendAhead(static_cast<uint8_t>(nValue), 0, nullptr) != 0 ||
                (nValue < kTimedTestBytes && TakeAllReplies() != 0))
                return FailPipe(kTestTexts);
            if (nValue + 1 == kTimedTestBytes)
                m_dRoundTripMs = MillisecondsSince(tpStart) / kTimedTestBytes;
            fnReportConfirmed(nValue + 1);
        }
        while (!m_dequeOwed.empty()) {
            if (TakeReply() != 0)
                return FailPipe(kTestTexts);
            fnReportConfirmed(kLastTestByte + 1);
        }
        return 0;
    }

    const auto tpStart = std::chrono::steady_clock::now();
    for (int nValue = 0; nValue <= kLastTestByte; ++nValue) {
        Report(pProgress, static_cast<int>(static_cast<float>(nValue + 1) * kTestProgressStep));
        if (WriteByte(static_cast<uint8_t>(nValue)) != 1)
            return Fail("Error sending data to COM-Port");
        if (ReadByte(&byAnswer, &nCount) != 0)
            return Fail("Error cannot read data from COM-Port");
        if (nCount != 1)
            return Fail("Error setting up communcation with flash program");
        if (byAnswer != nValue)
            return Fail("Error duvuvever sent wrong ID");
    }
    m_dRoundTripMs = MillisecondsSince(tpStart) / (kLastTestByte + 1);
    return 0;
}
