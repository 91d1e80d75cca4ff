// Boot sequence: from the C167's bootstrap loader up to the flasher program.
#include <cstdint>

#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "serial/rs232port.h"

namespace
{
constexpr uint8_t kBootstrapRequest = 0x00;        // a zero byte starts the on-chip bootstrap loader
constexpr uint8_t kIdentification = 0xC5;          // answered by the bootstrap loader and by the flasher
constexpr int kLastTestByte = 0xFE;                // echo test runs 0x00..0xFE; 0xFF is never sent
constexpr float kTestProgressStep = 0.39215687f;   // 100 / 255 in single precision

void Report(CProgressSink* pProgress, int nPos)
{
    if (pProgress != nullptr)
        pProgress->SetProgress(nPos);
}
}   // namespace

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

    // No length and no framing: the bootstrap code knows how many bytes to expect.
    m_pFirstLoader->m_pCurrent = m_pFirstLoader->m_pFirst;
    if (m_pFirstLoader->m_pCurrent == nullptr)
        return Fail("Error sending first loader code");
    if (WriteByte(m_pFirstLoader->m_pCurrent->byValue) != 1)
        return Fail("Error sending first loader code");
    while (m_pFirstLoader->m_pCurrent->pNext != nullptr) {
        m_pFirstLoader->m_pCurrent = m_pFirstLoader->m_pCurrent->pNext;
        if (WriteByte(m_pFirstLoader->m_pCurrent->byValue) != 1)
            return Fail("Error sending first loader code");
    }
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
    if (WriteByte(static_cast<uint8_t>(nLengthInfo >> 8)) != 1)
        return Fail("Error sending lenght info");
    if (WriteByte(static_cast<uint8_t>(nLengthInfo & 0xFFu)) != 1)
        return Fail("Error sending lengh info");

    pImage->m_pCurrent = pImage->m_pFirst;
    if (pImage->m_pCurrent == nullptr)
        return Fail("Error sending second loader code");
    if (WriteByte(pImage->m_pCurrent->byValue) != 1)
        return Fail("Error sending second loader code");

    // The bar goes on from 50, where the first stage loader left it.
    int nSent = 0;
    while (pImage->m_pCurrent->pNext != nullptr) {
        pImage->m_pCurrent = pImage->m_pCurrent->pNext;
        ++nSent;
        Report(pProgress, static_cast<int>(static_cast<double>(nSent) * 50.0 / nBytes + 50.0));
        if (WriteByte(pImage->m_pCurrent->byValue) != 1)
            return Fail("Error sending second loader code");
    }
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
    return 0;
}
