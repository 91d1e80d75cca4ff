// Commands of the flasher program: every byte the PC sends comes back as an echo; in lock-step
// before the next one goes out, pipelined (SetPipelineDepth) up to the depth ahead within a
// block and across read-back exchanges. Answers are read one byte at a time.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"

namespace
{
// Group selectors.
constexpr uint8_t kSelectErase = 0x44;   // 'D': erase group follows
constexpr uint8_t kSelectInfo = 0x49;    // 'I': info group follows
constexpr uint8_t kSelectFlash = 0x46;   // 'F': programming or verifying follows
// Erase group.
constexpr uint8_t kSectorCount = 0x53;   // 'S': answer one count byte
constexpr uint8_t kEraseChip = 0x43;     // 'C': answer one status byte
constexpr uint8_t kEraseSector = 0x44;   // 'D': sector number follows, then a status byte
// Info group.
constexpr uint8_t kInfoText = 0x47;   // 'G': answer a length byte and that many text bytes
// Flash group.
constexpr uint8_t kProgram = 0x58;    // 'X': start programming
constexpr uint8_t kBlock = 0x4E;      // 'N': address, length, data; answer the block checksum
constexpr uint8_t kReadBack = 0x56;   // 'V': address; answer the bytes at it and the next one
constexpr uint8_t kEnd = 0x42;        // 'B': end of programming or verifying

constexpr uint8_t kStatusError = 0x45;   // 'E': erase failed; any other status is success

constexpr int kMaxBlockLength = 254;
constexpr int kEraseReads = 32;                             // about 16 s for an erase status or a sector echo
constexpr int kChecksumReads = 4;                           // about 2 s for a block checksum
constexpr int kReadBackAnswers = 2;                         // the byte at the address and the next one
constexpr size_t kReadBackReplies = 4 + kReadBackAnswers;   // echoes of 'V' and 3 address bytes, answers

void Report(CProgressSink* pProgress, int nPos)
{
    if (pProgress != nullptr)
        pProgress->SetProgress(nPos);
}

// Division first, then times 100, truncated: a counter that runs ahead of the byte count
// gives values above 100, which the bar shows as full.
int Percent(int nCounter, int nTotal)
{
    return static_cast<int>(static_cast<double>(nCounter) / nTotal * 100.0);
}
}   // namespace

// As SendEchoedByte and ReadBackPair give them; a missing read-back answer leaves the text.
const CTargetLink::CPipeTexts CTargetLink::kCommandTexts = {
    "Error sending data to COM-Port", "Error cannot read data from COM-Port", "Error connection lost",
    "Error connection lost", nullptr};

int CTargetLink::SendEchoedByte(int nByte)
{
    const uint8_t byValue = static_cast<uint8_t>(nByte & 0xFF);
    if (WriteByte(byValue) != 1)
        return Fail("Error sending data to COM-Port");
    uint8_t byEcho = 0;
    int nCount = 0;
    if (ReadByte(&byEcho, &nCount) != 0)
        return Fail("Error cannot read data from COM-Port");
    if (nCount != 1 || byEcho != byValue)
        return Fail("Error connection lost");
    return 0;
}

int CTargetLink::SelectEraseGroup()
{
    return SendEchoedByte(kSelectErase);
}

int CTargetLink::SelectInfoGroup()
{
    return SendEchoedByte(kSelectInfo);
}

int CTargetLink::SelectFlashGroup()
{
    return SendEchoedByte(kSelectFlash);
}

int CTargetLink::GetSectorCount()
{
    if (SendEchoedByte(kSectorCount) != 0)
        return 0;
    uint8_t byCount = 0;
    int nCount = 0;
    if (ReadByte(&byCount, &nCount) != 0 || nCount != 1) {
        Fail("Error cannot read data from COM-Port");
        return 0;
    }
    return static_cast<signed char>(byCount);
}

int CTargetLink::EraseChip()
{
    if (SendEchoedByte(kEraseChip) != 0)
        return -1;
    uint8_t byStatus = 0;
    if (ReadWithin(kEraseReads, &byStatus) != 1)
        return Fail("Error cannot read data from COM-Port");
    return byStatus == kStatusError ? -1 : 0;
}

int CTargetLink::EraseSector(int nSector)
{
    // Checked before the selector goes out: the flasher would otherwise wait for a sector
    // number and take the next command byte as one. Only one byte goes out, so a number above
    // 255 would erase another sector than asked for.
    if (nSector < 0 || nSector > 0xFF)
        return -1;
    if (SendEchoedByte(kEraseSector) != 0)
        return -1;
    const uint8_t bySector = static_cast<uint8_t>(nSector);
    if (WriteByte(bySector) != 1)
        return Fail("Error sending data to COM-Port");

    // The echo of the number may come late: the flasher may start erasing first.
    uint8_t byEcho = 0;
    if (ReadWithin(kEraseReads, &byEcho) != 1)
        return Fail("Error cannot read data from COM-Port");
    if (byEcho != bySector)
        return -1;

    uint8_t byStatus = 0;
    if (ReadWithin(kEraseReads, &byStatus) != 1)
        return Fail("Error cannot read data from COM-Port");
    return byStatus == kStatusError ? -1 : 0;
}

std::unique_ptr<std::string> CTargetLink::GetInfoText()
{
    if (SendEchoedByte(kInfoText) != 0)
        return nullptr;
    uint8_t byLength = 0;
    int nCount = 0;
    if (ReadByte(&byLength, &nCount) != 0 || nCount != 1) {
        Fail("Error cannot read data from COM-Port");
        return nullptr;
    }
    // The length is signed: 0 and negative lengths give an empty text.
    const int nLength = static_cast<signed char>(byLength);
    auto pText = std::make_unique<std::string>();
    for (int i = 0; i < nLength; ++i) {
        uint8_t byChar = 0;
        if (ReadByte(&byChar, &nCount) != 0 || nCount != 1) {
            Fail("Error cannot read data from COM-Port");
            return nullptr;
        }
        pText->push_back(static_cast<char>(byChar));
    }
    return pText;
}

int CTargetLink::ProgramImage(CProgressSink* pProgress, const CHexFile* pImage)
{
    m_bBlockFault = 0;
    if (pImage == nullptr || pImage->m_pFirst == nullptr || pImage->m_nByteCount <= 0)
        return Fail("Error during flash process");

    m_nProgrammedBytes = 0;
    m_dwProgramAddress = pImage->m_pFirst->dwAddress;
    Report(pProgress, 0);
    if (SendEchoedByte(kProgram) != 0)
        return -1;

    uint8_t abyBlock[kMaxBlockLength];
    int nCounter = 0;
    // The send position is ours: the image stays as it is, for other boards sending it too.
    const HexItem* pItem = pImage->m_pFirst;
    while (pItem != nullptr) {
        // One block: a run of consecutive addresses, at most 254 bytes.
        const uint32_t dwStart = pItem->dwAddress;
        int nLength = 0;
        abyBlock[nLength++] = pItem->byValue;
        pItem = pItem->pNext;
        while (pItem != nullptr && nLength < kMaxBlockLength &&
               pItem->dwAddress == dwStart + static_cast<uint32_t>(nLength)) {
            abyBlock[nLength++] = pItem->byValue;
            pItem = pItem->pNext;
        }

        m_dwProgramAddress = dwStart;
        if (SendBlock(abyBlock, nLength, dwStart) != 0)
            return Fail("Error during flash process");
        m_nProgrammedBytes += nLength;

        nCounter += nLength + 1;
        Report(pProgress, Percent(nCounter, pImage->m_nByteCount));
    }

    if (SendEchoedByte(kEnd) != 0)
        return -1;
    Report(pProgress, 100);
    return 0;
}

int CTargetLink::SendBlock(const uint8_t* pData, int nLength, uint32_t dwAddress)
{
    if (pData == nullptr || nLength < 1 || nLength > kMaxBlockLength)
        return -1;
    uint8_t bySum = 0;
    if (IsPipelined()) {
        // The flasher only echoes up to the checksum: everything goes ahead, and every echo is
        // in before the checksum is read, so a lost byte fails the block instead of shifting it.
        m_dequeOwed.clear();
        const uint8_t abyHeader[] = {kBlock, static_cast<uint8_t>(dwAddress >> 16),
                                     static_cast<uint8_t>(dwAddress >> 8), static_cast<uint8_t>(dwAddress),
                                     static_cast<uint8_t>(nLength)};
        for (uint8_t byHeader : abyHeader)
            if (SendAhead(byHeader, 0, nullptr) != 0)
                return FailPipe(kCommandTexts);
        for (int i = 0; i < nLength; ++i) {
            bySum = static_cast<uint8_t>(bySum + pData[i]);
            if (SendAhead(pData[i], 0, nullptr) != 0)
                return FailPipe(kCommandTexts);
        }
        if (TakeAllReplies() != 0)
            return FailPipe(kCommandTexts);
    } else {
        if (SendEchoedByte(kBlock) != 0 || SendEchoedByte(static_cast<int>(dwAddress >> 16)) != 0 ||
            SendEchoedByte(static_cast<int>(dwAddress >> 8)) != 0 ||
            SendEchoedByte(static_cast<int>(dwAddress)) != 0 || SendEchoedByte(nLength) != 0)
            return -1;
        for (int i = 0; i < nLength; ++i) {
            bySum = static_cast<uint8_t>(bySum + pData[i]);
            if (SendEchoedByte(pData[i]) != 0)
                return -1;
        }
    }

    // The flasher answers the two's complement of the data bytes' sum.
    const uint8_t byExpected = static_cast<uint8_t>(0x100 - bySum);
    uint8_t byAnswer = 0;
    const int nResult = ReadWithin(kChecksumReads, &byAnswer);
    if (nResult < 0)
        return Fail("Error cannot read data from COM-Port");
    if (nResult == 0 || byAnswer != byExpected) {
        m_bBlockFault = 1;
        m_blockFault = CBlockFault{dwAddress, nLength, byExpected, nResult == 0 ? -1 : byAnswer};
        return -1;
    }
    return 0;
}

int CTargetLink::ReadBackPair(uint32_t dwAddress, uint8_t* pbyFirst, uint8_t* pbySecond)
{
    if (SendEchoedByte(kReadBack) != 0 || SendEchoedByte(static_cast<int>(dwAddress >> 16)) != 0 ||
        SendEchoedByte(static_cast<int>(dwAddress >> 8)) != 0 ||
        SendEchoedByte(static_cast<int>(dwAddress)) != 0)
        return -1;
    // The flasher always answers two bytes: the one at the address and the next one.
    int nCount = 0;
    if (ReadByte(pbyFirst, &nCount) != 0)
        return Fail("Error cannot read data from COM-Port");
    if (nCount != 1)
        return -1;
    if (ReadByte(pbySecond, &nCount) != 0)
        return Fail("Error cannot read data from COM-Port");
    if (nCount != 1)
        return -1;
    return 0;
}

int CTargetLink::RunReadBacks(const std::function<bool(uint32_t*)>& fnNext,
                              const std::function<int(uint32_t, uint8_t, uint8_t)>& fnCheck)
{
    uint32_t dwAddress = 0;
    if (!IsPipelined()) {
        while (fnNext(&dwAddress)) {
            uint8_t byFirst = 0;
            uint8_t bySecond = 0;
            if (ReadBackPair(dwAddress, &byFirst, &bySecond) != 0)
                return -1;
            if (fnCheck(dwAddress, byFirst, bySecond) != 0)
                return 1;
        }
        return 0;
    }

    // The flasher only echoes and answers here, so exchanges follow each other ahead of their
    // replies; each is checked, in order, once its answers are in.
    struct CExchange
    {
        uint32_t dwAddress;
        uint8_t abyAnswer[kReadBackAnswers];
    };
    std::deque<CExchange> dequeIssued;   // references stay valid at both ends
    m_dequeOwed.clear();
    bool bMore = true;
    bool bStopped = false;
    for (;;) {
        while (!dequeIssued.empty() && m_dequeOwed.size() <= kReadBackReplies * (dequeIssued.size() - 1)) {
            const CExchange& done = dequeIssued.front();
            if (!bStopped && fnCheck(done.dwAddress, done.abyAnswer[0], done.abyAnswer[1]) != 0) {
                bStopped = true;
                bMore = false;
            }
            dequeIssued.pop_front();
        }
        if (bMore && fnNext(&dwAddress)) {
            dequeIssued.push_back(CExchange{dwAddress, {0, 0}});
            if (SendAhead(kReadBack, 0, nullptr) != 0 ||
                SendAhead(static_cast<uint8_t>(dwAddress >> 16), 0, nullptr) != 0 ||
                SendAhead(static_cast<uint8_t>(dwAddress >> 8), 0, nullptr) != 0 ||
                SendAhead(static_cast<uint8_t>(dwAddress), kReadBackAnswers, dequeIssued.back().abyAnswer) !=
                    0)
                return FailPipe(kCommandTexts);
            continue;
        }
        bMore = false;
        // After a stop the exchanges in flight are still taken: 'B' must not meet them.
        if (dequeIssued.empty())
            return bStopped ? 1 : 0;
        if (TakeReply() != 0)
            return FailPipe(kCommandTexts);
    }
}

int CTargetLink::VerifyImage(CProgressSink* pProgress, const CHexFile* pImage)
{
    m_bVerifyMismatch = 0;
    m_bFlasherReady = 0;
    if (pImage == nullptr || pImage->m_pFirst == nullptr || pImage->m_nByteCount <= 0)
        return -1;

    // An entry's exchange also checks the next entry when that is its neighbour; a gap or a
    // second byte at the same address gets an exchange of its own.
    auto fnAfter = [](const HexItem* pEntry) {
        const HexItem* pNext = pEntry->pNext;
        return pNext != nullptr && pNext->dwAddress == pEntry->dwAddress + 1 ? pNext->pNext : pNext;
    };
    const HexItem* pIssue = pImage->m_pFirst;
    auto fnNext = [&](uint32_t* pdwAddress) {
        if (pIssue == nullptr)
            return false;
        *pdwAddress = pIssue->dwAddress;
        pIssue = fnAfter(pIssue);
        return true;
    };
    int nCounter = 0;
    const HexItem* pChecked = pImage->m_pFirst;   // the entry the next answers belong to
    auto fnCheck = [&](uint32_t dwAddress, uint8_t byFirst, uint8_t bySecond) {
        const HexItem* pEntry = pChecked;
        if (byFirst != pEntry->byValue) {
            NoteVerifyMismatch(dwAddress, pEntry->byValue, byFirst);
            return 1;
        }
        const HexItem* pNext = pEntry->pNext;
        if (pNext == nullptr) {
            // Last entry of an image with an odd count: the second byte belongs to no entry.
            pChecked = nullptr;
            return 0;
        }
        if (pNext->dwAddress == dwAddress + 1) {
            if (bySecond != pNext->byValue) {
                NoteVerifyMismatch(pNext->dwAddress, pNext->byValue, bySecond);
                return 1;
            }
            nCounter += 2;
        } else {
            nCounter += 1;
        }
        pChecked = fnAfter(pEntry);
        Report(pProgress, Percent(nCounter, pImage->m_nByteCount));
        return 0;
    };

    const int nResult = RunReadBacks(fnNext, fnCheck);
    if (nResult < 0)
        return -1;
    if (nResult > 0)
        return EndVerifyMismatch(m_mismatch.dwAddress, m_mismatch.byExpected, m_mismatch.byRead);
    if (SendEchoedByte(kEnd) != 0)
        return -1;
    m_bFlasherReady = 1;
    Report(pProgress, 100);
    return 0;
}

void CTargetLink::NoteVerifyMismatch(uint32_t dwAddress, uint8_t byExpected, uint8_t byRead)
{
    m_bVerifyMismatch = 1;
    m_mismatch = CByteDifference{dwAddress, byExpected, byRead};
}

int CTargetLink::EndVerifyMismatch(uint32_t dwAddress, uint8_t byExpected, uint8_t byRead)
{
    NoteVerifyMismatch(dwAddress, byExpected, byRead);
    // The read-back is ended as after a good verification, so the flasher program waits for
    // the next command; the error text stays as it was unless ending fails.
    m_bFlasherReady = SendEchoedByte(kEnd) == 0 ? 1 : 0;
    return -1;
}

int CTargetLink::ReadFlash(CProgressSink* pProgress, uint32_t dwStart, uint32_t nLength, uint8_t* pBuffer)
{
    if (pBuffer == nullptr || nLength == 0 || dwStart > kAddressLimit || nLength > kAddressLimit - dwStart)
        return Fail("Error invalid read range");

    Report(pProgress, 0);
    uint32_t nIssued = 0;
    auto fnNext = [&](uint32_t* pdwAddress) {
        if (nIssued >= nLength)
            return false;
        *pdwAddress = dwStart + nIssued;
        nIssued += kReadBackAnswers;
        return true;
    };
    uint32_t nDone = 0;
    auto fnCheck = [&](uint32_t, uint8_t byFirst, uint8_t bySecond) {
        pBuffer[nDone++] = byFirst;
        if (nDone < nLength)
            pBuffer[nDone++] = bySecond;
        Report(pProgress, static_cast<int>(static_cast<double>(nDone) / nLength * 100.0));
        return 0;
    };
    if (RunReadBacks(fnNext, fnCheck) != 0)
        return -1;
    if (SendEchoedByte(kEnd) != 0)
        return -1;
    Report(pProgress, 100);
    return 0;
}
