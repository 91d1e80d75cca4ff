#include "sim/payloadformat.h"

#include <cstddef>
#include <cstring>

namespace
{
const uint8_t kBootstrapMagic[4] = {'K', 'V', 'B', 'S'};
const uint8_t kFirstLoaderMagic[4] = {'K', 'V', 'L', '2'};
const uint8_t kFlasherMagic[3] = {'K', 'V', 'F'};   // after kFlasherMark
constexpr size_t kBootstrapChecksumAt = 31;
constexpr size_t kFlasherSectorsAt = 4;
constexpr size_t kFlasherInfoLengthAt = 5;
constexpr size_t kFlasherSizeAt = 6;
constexpr size_t kFlasherCrcAt = 8;

uint16_t GetWord(const std::vector<uint8_t>& vec, size_t nAt)
{
    return static_cast<uint16_t>((vec[nAt] << 8) | vec[nAt + 1]);
}

void PutWord(std::vector<uint8_t>& vec, size_t nAt, uint32_t dwValue)
{
    vec[nAt] = static_cast<uint8_t>(dwValue >> 8);
    vec[nAt + 1] = static_cast<uint8_t>(dwValue);
}

// The flasher CRC skips its own two bytes.
uint16_t FlasherCrc(const std::vector<uint8_t>& vecCode)
{
    uint16_t wCrc = CPayloadFormat::Crc16(vecCode.data(), kFlasherCrcAt);
    return CPayloadFormat::Crc16(vecCode.data() + kFlasherCrcAt + 2, vecCode.size() - kFlasherCrcAt - 2,
                                 wCrc);
}
}   // namespace

const char* const CPayloadFormat::kDefaultInfo = "Kelvora simulated flasher, minimal program";

uint16_t CPayloadFormat::Crc16(const uint8_t* pData, size_t nLength, uint16_t wCrc)
{
    for (size_t i = 0; i < nLength; ++i) {
        wCrc = static_cast<uint16_t>(wCrc ^ (pData[i] << 8));
        for (int nBit = 0; nBit < 8; ++nBit)
            wCrc = static_cast<uint16_t>((wCrc & 0x8000) ? (wCrc << 1) ^ 0x1021 : wCrc << 1);
    }
    return wCrc;
}

void CPayloadFormat::FillCode(std::vector<uint8_t>& vecCode, size_t nFrom, uint32_t dwSeed)
{
    // Deterministic bytes that look like code, so files are reproducible.
    uint32_t dwState = dwSeed;
    for (size_t i = nFrom; i < vecCode.size(); ++i) {
        dwState = dwState * 1103515245u + 12345u;
        vecCode[i] = static_cast<uint8_t>(dwState >> 16);
    }
}

std::vector<uint8_t> CPayloadFormat::BuildBootstrapCode(const std::vector<uint8_t>& vecFirstLoader)
{
    if (vecFirstLoader.size() < kFirstLoaderMinSize || vecFirstLoader.size() > kFirstLoaderMaxSize)
        return {};
    std::vector<uint8_t> vecCode(kBootstrapSize);
    FillCode(vecCode, 8, 0xB5C0DE);
    std::memcpy(vecCode.data(), kBootstrapMagic, sizeof kBootstrapMagic);
    PutWord(vecCode, 4, static_cast<uint32_t>(vecFirstLoader.size()));
    PutWord(vecCode, 6, Crc16(vecFirstLoader.data(), vecFirstLoader.size()));
    uint8_t bySum = 0;
    for (size_t i = 0; i < kBootstrapChecksumAt; ++i)
        bySum = static_cast<uint8_t>(bySum + vecCode[i]);
    vecCode[kBootstrapChecksumAt] = static_cast<uint8_t>(0x100 - bySum);
    return vecCode;
}

std::vector<uint8_t> CPayloadFormat::BuildFirstLoader(size_t nSize)
{
    if (nSize < kFirstLoaderMinSize || nSize > kFirstLoaderMaxSize)
        return {};
    std::vector<uint8_t> vecCode(nSize);
    FillCode(vecCode, 0, 0x10AD2);
    std::memcpy(vecCode.data(), kFirstLoaderMagic, sizeof kFirstLoaderMagic);
    return vecCode;
}

std::vector<uint8_t> CPayloadFormat::BuildFlasher(size_t nSize, int nSectorCount, const std::string& strInfo)
{
    if (nSize == 0 || nSize > kFlasherMaxSize)
        return {};
    if (nSize < kFlasherHeaderSize)
        return std::vector<uint8_t>(nSize, kFlasherMark);
    if (nSectorCount < 0 || nSectorCount > 255 || strInfo.size() > kInfoMaxLength ||
        kFlasherHeaderSize + strInfo.size() > nSize)
        return {};
    std::vector<uint8_t> vecCode(nSize);
    FillCode(vecCode, kFlasherHeaderSize + strInfo.size(), 0xF1A5);
    vecCode[0] = kFlasherMark;
    std::memcpy(vecCode.data() + 1, kFlasherMagic, sizeof kFlasherMagic);
    vecCode[kFlasherSectorsAt] = static_cast<uint8_t>(nSectorCount);
    vecCode[kFlasherInfoLengthAt] = static_cast<uint8_t>(strInfo.size());
    PutWord(vecCode, kFlasherSizeAt, static_cast<uint32_t>(nSize - 1));
    std::memcpy(vecCode.data() + kFlasherHeaderSize, strInfo.data(), strInfo.size());
    PutWord(vecCode, kFlasherCrcAt, FlasherCrc(vecCode));
    return vecCode;
}

int CPayloadFormat::CheckBootstrapCode(const std::vector<uint8_t>& vecCode, size_t& nFirstLoaderSize,
                                       uint16_t& wFirstLoaderCrc)
{
    if (vecCode.size() != kBootstrapSize ||
        std::memcmp(vecCode.data(), kBootstrapMagic, sizeof kBootstrapMagic) != 0)
        return -1;
    uint8_t bySum = 0;
    for (uint8_t by : vecCode)
        bySum = static_cast<uint8_t>(bySum + by);
    const size_t nSize = GetWord(vecCode, 4);
    if (bySum != 0 || nSize < kFirstLoaderMinSize)
        return -1;
    nFirstLoaderSize = nSize;
    wFirstLoaderCrc = GetWord(vecCode, 6);
    return 0;
}

int CPayloadFormat::CheckFirstLoader(const std::vector<uint8_t>& vecCode, uint16_t wExpectedCrc)
{
    if (vecCode.size() < kFirstLoaderMinSize ||
        std::memcmp(vecCode.data(), kFirstLoaderMagic, sizeof kFirstLoaderMagic) != 0)
        return -1;
    return Crc16(vecCode.data(), vecCode.size()) == wExpectedCrc ? 0 : -1;
}

int CPayloadFormat::CheckFlasher(const std::vector<uint8_t>& vecCode, CFlasherFacts& facts)
{
    const size_t nSize = vecCode.size();
    if (nSize == 0 || nSize > kFlasherMaxSize)
        return -1;
    if (nSize < kFlasherHeaderSize) {
        for (uint8_t by : vecCode)
            if (by != kFlasherMark)
                return -1;
        facts.nSectorCount = kDefaultSectorCount;
        facts.strInfo = kDefaultInfo;
        return 0;
    }
    const size_t nInfoLength = vecCode[kFlasherInfoLengthAt];
    if (vecCode[0] != kFlasherMark ||
        std::memcmp(vecCode.data() + 1, kFlasherMagic, sizeof kFlasherMagic) != 0 ||
        nInfoLength > kInfoMaxLength || kFlasherHeaderSize + nInfoLength > nSize ||
        GetWord(vecCode, kFlasherSizeAt) != static_cast<uint16_t>(nSize - 1) ||
        GetWord(vecCode, kFlasherCrcAt) != FlasherCrc(vecCode))
        return -1;
    facts.nSectorCount = vecCode[kFlasherSectorsAt];
    facts.strInfo.assign(vecCode.begin() + kFlasherHeaderSize,
                         vecCode.begin() + static_cast<std::ptrdiff_t>(kFlasherHeaderSize + nInfoLength));
    return 0;
}
