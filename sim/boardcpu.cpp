#include "sim/boardcpu.h"

#include <cstdio>

namespace
{
std::string Hex2(int nValue)
{
    char szText[8];
    std::snprintf(szText, sizeof szText, "0x%02X", nValue & 0xFF);
    return szText;
}
}   // namespace

CBoardCpu::CBoardCpu()
{
    Reset();
}

void CBoardCpu::SetEraseTimes(int nSectorMs, int nChipMs)
{
    m_nSectorEraseMs = nSectorMs < 0 ? 0 : nSectorMs;
    m_nChipEraseMs = nChipMs < 0 ? 0 : nChipMs;
}

void CBoardCpu::Reset()
{
    m_eState = EState::WaitBootRequest;
    m_nRxCount = 0;
    m_nTxCount = 0;
    m_vecLoading.clear();
    m_vecLoading.shrink_to_fit();
    m_nLoadSize = 0;
}

EBoardStage CBoardCpu::GetStage() const
{
    switch (m_eState) {
    case EState::WaitBootRequest:
    case EState::TakeBootstrap:
        return EBoardStage::BootstrapLoader;
    case EState::TakeFirstLoader:
        return EBoardStage::BootstrapCode;
    case EState::TakeLengthHigh:
    case EState::TakeLengthLow:
    case EState::TakeFlasher:
        return EBoardStage::FirstLoader;
    case EState::Silent:
        return EBoardStage::Silent;
    default:
        return EBoardStage::Flasher;
    }
}

// Every answer goes through here, so a silent board stays silent and the send-count fault applies.
void CBoardCpu::Send(uint8_t byValue, CCpuActions& actions)
{
    if (m_eState == EState::Silent)
        return;
    if (m_faults.nSilentAfterTx >= 0 && m_nTxCount >= m_faults.nSilentAfterTx) {
        FallSilent("fault: silent after " + std::to_string(m_faults.nSilentAfterTx) + " sent bytes", actions);
        return;
    }
    actions.vecAnswer.push_back(byValue);
    ++m_nTxCount;
}

void CBoardCpu::Echo(uint8_t byValue, CCpuActions& actions)
{
    const bool bWrong = m_faults.nWrongEchoAtRx >= 0 && m_nRxCount - 1 == m_faults.nWrongEchoAtRx;
    Send(bWrong ? static_cast<uint8_t>(~byValue) : byValue, actions);
}

void CBoardCpu::SendDelayed(uint8_t byValue, int nDelayMs, CCpuActions& actions)
{
    if (m_eState == EState::Silent)
        return;
    if (m_faults.nSilentAfterTx >= 0 && m_nTxCount >= m_faults.nSilentAfterTx) {
        FallSilent("fault: silent after " + std::to_string(m_faults.nSilentAfterTx) + " sent bytes", actions);
        return;
    }
    actions.bDelayed = true;
    actions.nDelayMs = nDelayMs;
    actions.byDelayed = byValue;
    ++m_nTxCount;
}

void CBoardCpu::FallSilent(const std::string& strWhy, CCpuActions& actions)
{
    m_eState = EState::Silent;
    m_vecLoading.clear();
    actions.vecEvents.push_back("falls silent: " + strWhy);
}

void CBoardCpu::OnByte(uint8_t byValue, CCpuActions& actions)
{
    const long long nIndex = m_nRxCount++;
    if (m_faults.nHangUpAfterRx >= 0 && nIndex >= m_faults.nHangUpAfterRx) {
        actions.bHangUp = true;
        FallSilent("fault: line hung up at received byte " + std::to_string(nIndex), actions);
        return;
    }
    if (m_eState == EState::Silent)
        return;
    if (m_faults.nSilentAfterRx >= 0 && nIndex >= m_faults.nSilentAfterRx) {
        FallSilent("fault: silent after " + std::to_string(m_faults.nSilentAfterRx) + " received bytes",
                   actions);
        return;
    }
    if (GetStage() == EBoardStage::Flasher)
        OnFlasherByte(byValue, actions);
    else
        OnBootByte(byValue, actions);
}

void CBoardCpu::OnBootByte(uint8_t byValue, CCpuActions& actions)
{
    switch (m_eState) {
    case EState::WaitBootRequest:
        // Anything before the 0x00 is line noise to the bootstrap loader.
        if (byValue != kBootRequest || m_faults.bNoAnswerToZero)
            return;
        m_eState = EState::TakeBootstrap;
        m_vecLoading.clear();
        actions.vecEvents.push_back("bootstrap loader: answers " + Hex2(m_faults.nCpuId));
        Send(static_cast<uint8_t>(m_faults.nCpuId), actions);
        return;
    case EState::TakeBootstrap:
        m_vecLoading.push_back(byValue);
        if (m_vecLoading.size() < CPayloadFormat::kBootstrapSize)
            return;
        if (CPayloadFormat::CheckBootstrapCode(m_vecLoading, m_nLoadSize, m_wFirstLoaderCrc) != 0) {
            FallSilent("the 32 bytes are no bootstrap code", actions);
            return;
        }
        m_eState = EState::TakeFirstLoader;
        m_vecLoading.clear();
        actions.vecEvents.push_back("bootstrap code started: takes " + std::to_string(m_nLoadSize) +
                                    " first stage loader bytes");
        return;
    case EState::TakeFirstLoader:
        m_vecLoading.push_back(byValue);
        if (m_vecLoading.size() < m_nLoadSize)
            return;
        if (CPayloadFormat::CheckFirstLoader(m_vecLoading, m_wFirstLoaderCrc) != 0) {
            FallSilent("the bytes received are no first stage loader", actions);
            return;
        }
        m_eState = EState::TakeLengthHigh;
        m_vecLoading.clear();
        actions.vecEvents.push_back("first stage loader started");
        return;
    case EState::TakeLengthHigh:
        m_nLoadSize = static_cast<size_t>(byValue) << 8;
        m_eState = EState::TakeLengthLow;
        return;
    case EState::TakeLengthLow:
        m_nLoadSize = (m_nLoadSize | byValue) + 1;
        m_vecLoading.clear();
        m_vecLoading.reserve(m_nLoadSize);
        m_eState = EState::TakeFlasher;
        actions.vecEvents.push_back("first stage loader: takes " + std::to_string(m_nLoadSize) +
                                    " flasher bytes");
        return;
    case EState::TakeFlasher:
        m_vecLoading.push_back(byValue);
        if (m_vecLoading.size() == m_nLoadSize)
            StartFlasher(actions);
        return;
    default:
        return;
    }
}

void CBoardCpu::StartFlasher(CCpuActions& actions)
{
    CFlasherFacts facts;
    if (CPayloadFormat::CheckFlasher(m_vecLoading, facts) != 0) {
        FallSilent("the bytes received are no flasher program", actions);
        return;
    }
    m_vecLoading.clear();
    m_vecLoading.shrink_to_fit();
    m_facts = facts;
    if (m_flash.GetSectorCount() != facts.nSectorCount || m_flash.GetSize() == 0)
        m_flash.Create(facts.nSectorCount);
    m_nBlockIndex = 0;
    m_nTestNext = 0;
    m_eState = EState::EchoTest;
    actions.vecEvents.push_back("flasher program started: " + std::to_string(facts.nSectorCount) +
                                " sectors, info \"" + facts.strInfo + "\"");
    Send(static_cast<uint8_t>(m_faults.nFlasherId), actions);
}

void CBoardCpu::OnFlasherByte(uint8_t byValue, CCpuActions& actions)
{
    switch (m_eState) {
    case EState::EchoTest: {
        if (byValue != m_nTestNext) {
            FallSilent("echo test expected " + Hex2(m_nTestNext) + ", got " + Hex2(byValue), actions);
            return;
        }
        if (m_nTestNext++ == kLastTestValue) {
            m_eState = EState::Top;
            actions.vecEvents.push_back("flasher program: echo test done");
        }
        if (byValue == m_faults.nWrongTestEchoAt)
            Send(static_cast<uint8_t>(~byValue), actions);
        else
            Echo(byValue, actions);
        return;
    }
    case EState::Top:
        if (byValue == kCmdEraseGroup)
            m_eState = EState::EraseGroup;
        else if (byValue == kCmdInfoGroup)
            m_eState = EState::InfoGroup;
        else if (byValue == kCmdFlashGroup)
            m_eState = EState::FlashGroup;
        else {
            FallSilent("unknown command group " + Hex2(byValue), actions);
            return;
        }
        Echo(byValue, actions);
        return;
    case EState::InfoGroup: {
        if (byValue != kCmdGetInfo) {
            FallSilent("unknown info command " + Hex2(byValue), actions);
            return;
        }
        m_eState = EState::Top;
        actions.vecEvents.push_back("command: info text");
        Echo(byValue, actions);
        Send(static_cast<uint8_t>(m_facts.strInfo.size()), actions);
        for (char ch : m_facts.strInfo)
            Send(static_cast<uint8_t>(ch), actions);
        return;
    }
    case EState::EraseGroup:
    case EState::EraseSectorNumber:
        OnEraseByte(byValue, actions);
        return;
    default:
        OnFlashGroupByte(byValue, actions);
        return;
    }
}

void CBoardCpu::OnEraseByte(uint8_t byValue, CCpuActions& actions)
{
    if (m_eState == EState::EraseSectorNumber) {
        m_eState = EState::Top;
        Echo(byValue, actions);
        actions.bFlashChanged = true;
        if (byValue >= m_facts.nSectorCount) {
            actions.vecEvents.push_back("command: erase sector " + std::to_string(byValue) +
                                        ", beyond the count");
            Send(kStatusFailed, actions);
            return;
        }
        actions.vecEvents.push_back("command: erase sector " + std::to_string(byValue));
        // The erase starts at once; the status comes when the chip is done.
        const bool bErased = !m_faults.bEraseStatusE && m_flash.EraseSector(byValue) == 0;
        SendDelayed(bErased ? kStatusOk : kStatusFailed, m_nSectorEraseMs, actions);
        return;
    }
    switch (byValue) {
    case kCmdSectorCount:
        m_eState = EState::Top;
        actions.vecEvents.push_back("command: sector count " + std::to_string(m_facts.nSectorCount));
        Echo(byValue, actions);
        Send(static_cast<uint8_t>(m_facts.nSectorCount), actions);
        return;
    case kCmdEraseChip:
        m_eState = EState::Top;
        actions.vecEvents.push_back("command: erase chip");
        Echo(byValue, actions);
        actions.bFlashChanged = true;
        if (!m_faults.bEraseStatusE)
            m_flash.EraseChip();
        SendDelayed(m_faults.bEraseStatusE ? kStatusFailed : kStatusOk, m_nChipEraseMs, actions);
        return;
    case kCmdEraseSector:
        m_eState = EState::EraseSectorNumber;
        Echo(byValue, actions);
        return;
    default:
        FallSilent("unknown erase command " + Hex2(byValue), actions);
        return;
    }
}

void CBoardCpu::OnFlashGroupByte(uint8_t byValue, CCpuActions& actions)
{
    switch (m_eState) {
    case EState::FlashGroup:
        m_dwAddress = 0;
        m_nAddressBytes = 0;
        m_nCommandCount = 0;
        m_nCommandBytes = 0;
        if (byValue == kCmdProgram) {
            m_eState = EState::Programming;
            actions.vecEvents.push_back("command: programming started");
        } else if (byValue == kCmdReadBack) {
            m_eState = EState::ReadBackAddress;
            actions.vecEvents.push_back("command: read-back started");
        } else {
            FallSilent("unknown flash command " + Hex2(byValue), actions);
            return;
        }
        Echo(byValue, actions);
        return;
    case EState::Programming:
        if (byValue == kCmdBlock) {
            m_eState = EState::BlockAddress;
            m_dwAddress = 0;
            m_nAddressBytes = 0;
        } else if (byValue == kCmdEnd) {
            m_eState = EState::Top;
            actions.bFlashChanged = true;
            actions.vecEvents.push_back("command: programming ended, " + std::to_string(m_nCommandCount) +
                                        " blocks, " + std::to_string(m_nCommandBytes) + " bytes");
        } else {
            FallSilent("unknown programming command " + Hex2(byValue), actions);
            return;
        }
        Echo(byValue, actions);
        return;
    case EState::BlockAddress:
    case EState::ReadBackAddress: {
        m_dwAddress = (m_dwAddress << 8) | byValue;
        const bool bComplete = ++m_nAddressBytes == 3;
        if (bComplete && m_eState == EState::BlockAddress)
            m_eState = EState::BlockLength;
        else if (bComplete)
            m_eState = EState::ReadBack;
        Echo(byValue, actions);
        if (bComplete && m_eState == EState::ReadBack) {
            ++m_nCommandCount;
            for (uint32_t dwAt = m_dwAddress; dwAt <= m_dwAddress + 1; ++dwAt) {
                const uint8_t byRead = m_flash.Read(dwAt);
                Send(static_cast<long long>(dwAt) == m_faults.nFlipReadAddress ? static_cast<uint8_t>(~byRead)
                                                                               : byRead,
                     actions);
            }
        }
        return;
    }
    case EState::BlockLength:
        if (byValue == 0) {
            FallSilent("flash block of length 0", actions);
            return;
        }
        m_eState = EState::BlockData;
        m_nBlockLength = byValue;
        m_nBlockDone = 0;
        m_bySum = 0;
        Echo(byValue, actions);
        return;
    case EState::BlockData: {
        m_flash.Program(m_dwAddress + static_cast<uint32_t>(m_nBlockDone), byValue);
        m_bySum = static_cast<uint8_t>(m_bySum + byValue);
        const bool bLast = ++m_nBlockDone == m_nBlockLength;
        if (bLast)
            m_eState = EState::Programming;
        Echo(byValue, actions);
        if (!bLast)
            return;
        uint8_t byChecksum = static_cast<uint8_t>(0x100 - m_bySum);
        if (m_nBlockIndex == m_faults.nWrongChecksumBlock)
            byChecksum = static_cast<uint8_t>(~byChecksum);
        ++m_nBlockIndex;
        ++m_nCommandCount;
        m_nCommandBytes += m_nBlockLength;
        Send(byChecksum, actions);
        return;
    }
    case EState::ReadBack:
        if (byValue == kCmdReadBack) {
            m_eState = EState::ReadBackAddress;
            m_dwAddress = 0;
            m_nAddressBytes = 0;
        } else if (byValue == kCmdEnd) {
            m_eState = EState::Top;
            actions.vecEvents.push_back("command: read-back ended, " + std::to_string(m_nCommandCount) +
                                        " reads");
        } else {
            FallSilent("unknown read-back command " + Hex2(byValue), actions);
            return;
        }
        Echo(byValue, actions);
        return;
    default:
        return;
    }
}
