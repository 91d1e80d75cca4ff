// Writes data as Intel hex text: upper-case digits, data records of up to the record size that
// never cross a 64 KiB page, then an end-of-file record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class EHexAddressing
{
    Plain,     // data records only: every address below 0x10000
    Segment,   // one extended segment address record (type 02) first, data records as offsets in it
    Linear     // extended linear address records (type 04) wherever the upper 16 bits change
};

class CHexWriter
{
public:
    // nRecordSize: data bytes per record (1..255); bCrLf: CR LF line ends, else LF; wSegment: the
    // segment of EHexAddressing::Segment; bAligned: records end at multiples of the record size,
    // else each takes the next nRecordSize bytes from where AddData starts.
    CHexWriter(EHexAddressing eAddressing, int nRecordSize = 16, bool bCrLf = true, uint16_t wSegment = 0,
               bool bAligned = true);

    // Adds bytes at a target address (physical: segment * 16 + offset in Segment mode).
    // -1 when the addressing cannot reach them.
    int AddData(uint32_t dwAddress, const std::vector<uint8_t>& vecData);
    // The whole text, ending with the end-of-file record.
    std::string GetText() const;
    int WriteFile(const std::string& strPath) const;

private:
    void AddRecord(uint8_t byType, uint16_t wAddress, const uint8_t* pData, size_t nLength);

    EHexAddressing m_eAddressing;
    size_t m_nRecordSize;
    const char* m_pszLineEnd;
    uint16_t m_wSegment;
    bool m_bAligned;
    long m_nUpperWord = -1;   // last extended linear address written
    std::string m_strText;
};
