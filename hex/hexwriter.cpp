#include "hex/hexwriter.h"

#include <algorithm>
#include <cstdio>

namespace
{
constexpr uint8_t kRecordData = 0x00;
constexpr uint8_t kRecordEnd = 0x01;
constexpr uint8_t kRecordSegment = 0x02;
constexpr uint8_t kRecordLinear = 0x04;
}   // namespace

CHexWriter::CHexWriter(EHexAddressing eAddressing, int nRecordSize, bool bCrLf, uint16_t wSegment,
                       bool bAligned)
    : m_eAddressing(eAddressing), m_nRecordSize(nRecordSize < 1     ? 1
                                                : nRecordSize > 255 ? 255
                                                                    : static_cast<size_t>(nRecordSize)),
      m_pszLineEnd(bCrLf ? "\r\n" : "\n"), m_wSegment(wSegment), m_bAligned(bAligned)
{
    if (m_eAddressing == EHexAddressing::Segment) {
        const uint8_t abySegment[2] = {static_cast<uint8_t>(wSegment >> 8), static_cast<uint8_t>(wSegment)};
        AddRecord(kRecordSegment, 0, abySegment, 2);
    }
}

void CHexWriter::AddRecord(uint8_t byType, uint16_t wAddress, const uint8_t* pData, size_t nLength)
{
    char szByte[3];
    uint8_t bySum = static_cast<uint8_t>(nLength + (wAddress >> 8) + (wAddress & 0xFF) + byType);
    std::snprintf(szByte, sizeof szByte, "%02X", static_cast<unsigned>(nLength));
    m_strText += ':';
    m_strText += szByte;
    char szHead[7];
    std::snprintf(szHead, sizeof szHead, "%04X%02X", static_cast<unsigned>(wAddress),
                  static_cast<unsigned>(byType));
    m_strText += szHead;
    for (size_t i = 0; i < nLength; ++i) {
        std::snprintf(szByte, sizeof szByte, "%02X", static_cast<unsigned>(pData[i]));
        m_strText += szByte;
        bySum = static_cast<uint8_t>(bySum + pData[i]);
    }
    std::snprintf(szByte, sizeof szByte, "%02X", static_cast<unsigned>(static_cast<uint8_t>(0x100 - bySum)));
    m_strText += szByte;
    m_strText += m_pszLineEnd;
}

int CHexWriter::AddData(uint32_t dwAddress, const std::vector<uint8_t>& vecData)
{
    const uint64_t qwEnd = static_cast<uint64_t>(dwAddress) + vecData.size();
    uint32_t dwBase = 0;
    if (m_eAddressing == EHexAddressing::Segment)
        dwBase = static_cast<uint32_t>(m_wSegment) << 4;
    if (m_eAddressing != EHexAddressing::Linear && (dwAddress < dwBase || qwEnd - dwBase > 0x10000))
        return -1;
    if (qwEnd > 0x100000000ULL)
        return -1;
    size_t nDone = 0;
    while (nDone < vecData.size()) {
        const uint32_t dwAt = dwAddress + static_cast<uint32_t>(nDone);
        const uint32_t dwOffset = dwAt - dwBase;
        if (m_eAddressing == EHexAddressing::Linear && static_cast<long>(dwAt >> 16) != m_nUpperWord) {
            m_nUpperWord = static_cast<long>(dwAt >> 16);
            const uint8_t abyUpper[2] = {static_cast<uint8_t>(dwAt >> 24), static_cast<uint8_t>(dwAt >> 16)};
            AddRecord(kRecordLinear, 0, abyUpper, 2);
        }
        // A record never crosses a 64 KiB page: its address field has 16 bits.
        size_t nLength = m_bAligned ? m_nRecordSize - (dwOffset & 0xFFFF) % m_nRecordSize : m_nRecordSize;
        nLength = std::min<size_t>(nLength, 0x10000 - (dwOffset & 0xFFFF));
        nLength = std::min(nLength, vecData.size() - nDone);
        AddRecord(kRecordData, static_cast<uint16_t>(dwOffset), vecData.data() + nDone, nLength);
        nDone += nLength;
    }
    return 0;
}

std::string CHexWriter::GetText() const
{
    return m_strText + ":00000001FF" + m_pszLineEnd;
}

int CHexWriter::WriteFile(const std::string& strPath) const
{
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    if (pFile == nullptr)
        return -1;
    const std::string strText = GetText();
    const bool bOk = std::fwrite(strText.data(), 1, strText.size(), pFile) == strText.size();
    return std::fclose(pFile) == 0 && bOk ? 0 : -1;
}
