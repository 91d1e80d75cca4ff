// Intel hex file: a validating pass that counts the image bytes, a loading pass that stores
// them in one array of exactly that many items, then a sort by address.
#include "hex/hexfile.h"

#include "hex/bigarray.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>

namespace
{

// Lines are read as through a 300-character buffer: one read takes at most 299 characters,
// the line end included. A record that does not fit one read is split and thus invalid.
constexpr size_t kMaxRead = 299;
// The file is read in chunks of this size; reads are cut out of the chunk.
constexpr size_t kChunkSize = 64u << 10;
// Shortest record: start code, count, address, type, checksum.
constexpr size_t kMinRecord = 11;
// Item arrays from this size on are placed on transparent huge pages and faulted in by a
// helper while they are filled: first touching fresh memory costs more than parsing the file.
constexpr size_t kHugePageSize = 2u << 20;
constexpr size_t kHugeArrayMin = 4u << 20;

constexpr unsigned char kNoDigit = 0xFF;

// Value of each upper-case hexadecimal digit; kNoDigit for every other character.
constexpr std::array<unsigned char, 256> MakeDigitTable()
{
    std::array<unsigned char, 256> aby{};
    for (auto& by : aby)
        by = kNoDigit;
    for (int i = 0; i < 10; ++i)
        aby['0' + i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 6; ++i)
        aby['A' + i] = static_cast<unsigned char>(10 + i);
    return aby;
}
constexpr std::array<unsigned char, 256> kDigit = MakeDigitTable();

inline unsigned PairValue(const unsigned char* p)
{
    return (static_cast<unsigned>(kDigit[p[0]]) << 4) | kDigit[p[1]];
}

// The rules a line breaks, in the order they are checked.
enum class ERecordFault
{
    None,
    Blank,
    NoStartCode,
    TooShort,
    NoDigit,
    Count,
    Type,
    Checksum
};

// Length of the record in one read: without the LF that closes the read and the CR
// characters before it.
inline size_t RecordLength(const unsigned char* p, size_t nRead)
{
    if (nRead > 0 && p[nRead - 1] == '\n')
        --nRead;
    while (nRead > 0 && p[nRead - 1] == '\r')
        --nRead;
    return nRead;
}

// Checks one read of the file as one record. Every character up to the record's line end
// must be a digit: a lone CR or a NUL inside a line would otherwise hide the rest unchecked.
ERecordFault CheckRecord(const unsigned char* p, size_t nRead)
{
    const size_t nLength = RecordLength(p, nRead);
    if (nLength == 0)
        return ERecordFault::Blank;
    if (p[0] != ':')
        return ERecordFault::NoStartCode;
    if (nLength < kMinRecord)
        return ERecordFault::TooShort;
    size_t i = 1;
    unsigned nSum = 0;
    while (i + 1 < nLength && kDigit[p[i]] != kNoDigit && kDigit[p[i + 1]] != kNoDigit) {
        nSum += PairValue(p + i);
        i += 2;
    }
    // Stopped early at a pair that is no digits, or at a last single character that is none.
    if (i < nLength && (i + 1 < nLength || kDigit[p[i]] == kNoDigit))
        return ERecordFault::NoDigit;
    if (nLength != 2 * PairValue(p + 1) + kMinRecord)
        return ERecordFault::Count;
    // The type is compared as two characters: "00", "01", "02" or "04".
    if (p[7] != '0' || (p[8] != '0' && p[8] != '1' && p[8] != '2' && p[8] != '4'))
        return ERecordFault::Type;
    // Count, address, type, data and checksum add up to 0 in 8 bits.
    if ((nSum & 0xFF) != 0)
        return ERecordFault::Checksum;
    return ERecordFault::None;
}

std::string Hex2(unsigned nValue)
{
    char sz[8];
    std::snprintf(sz, sizeof sz, "0x%02X", nValue & 0xFFu);
    return sz;
}

std::string ShowChar(unsigned char by)
{
    if (by >= 0x21 && by < 0x7F)
        return std::string("'") + static_cast<char>(by) + "'";
    if (by == ' ')
        return "a blank";
    if (by == '\t')
        return "a tab";
    return "the byte " + Hex2(by);
}

// The rule a single-read line breaks, in words.
std::string DescribeRecordFault(const unsigned char* p, size_t nRead)
{
    const size_t nLength = RecordLength(p, nRead);
    switch (CheckRecord(p, nRead)) {
    case ERecordFault::None:
        return "";
    case ERecordFault::Blank:
        return "blank line";
    case ERecordFault::NoStartCode:
        return "does not begin with ':' but with " + ShowChar(p[0]);
    case ERecordFault::TooShort:
        return "too short for a record (" + std::to_string(nLength) + " characters, at least 11)";
    case ERecordFault::NoDigit: {
        size_t i = 1;
        while (kDigit[p[i]] != kNoDigit)
            ++i;
        return "column " + std::to_string(i + 1) + ": " + ShowChar(p[i]) +
               " is no upper-case hexadecimal digit";
    }
    case ERecordFault::Count:
        return "byte count " + Hex2(PairValue(p + 1)) + " needs " +
               std::to_string(2 * PairValue(p + 1) + kMinRecord) + " characters, the line has " +
               std::to_string(nLength);
    case ERecordFault::Type:
        return "record type " + std::string(reinterpret_cast<const char*>(p) + 7, 2) +
               " is not one of 00, 01, 02, 04";
    case ERecordFault::Checksum: {
        const unsigned nGiven = PairValue(p + nLength - 2);
        unsigned nSum = 0;
        for (size_t i = 1; i + 2 < nLength; i += 2)
            nSum += PairValue(p + i);
        return "checksum is " + Hex2(nGiven) + ", the record needs " + Hex2(0x100 - (nSum & 0xFF));
    }
    }
    return "";
}

// Finds the first faulty line of a file whose read at nFaultAt failed the record check:
// lines before it passed, unless one was longer than a read and cut into reads that each
// passed. Reads the file again from its start through pBuf (kChunkSize bytes).
std::string DescribeFault(std::FILE* pFile, uint64_t nFaultAt, unsigned char* pBuf)
{
    if (std::fseek(pFile, 0, SEEK_SET) != 0)
        return "";
    unsigned char abyLine[kMaxRead];   // the line's first characters, as one read takes them
    uint64_t nLine = 1;
    uint64_t nLineAt = 0;      // file offset of the line's start
    uint64_t nLineChars = 0;   // characters of the line so far, its LF included
    uint64_t nChunkAt = 0;
    size_t nGot = 0;
    do {
        nGot = std::fread(pBuf, 1, kChunkSize, pFile);
        size_t nPos = 0;
        while (nPos < nGot || (nGot == 0 && nLineChars > 0)) {
            const void* pLf = std::memchr(pBuf + nPos, '\n', nGot - nPos);
            const size_t nTake =
                pLf ? static_cast<size_t>(static_cast<const unsigned char*>(pLf) - pBuf) + 1 - nPos
                    : nGot - nPos;
            if (nLineChars < kMaxRead)
                std::memcpy(abyLine + nLineChars, pBuf + nPos,
                            std::min<uint64_t>(nTake, kMaxRead - nLineChars));
            nLineChars += nTake;
            nPos += nTake;
            if (pLf == nullptr && nGot != 0)
                break;   // the line goes on in the next chunk
            const std::string strWhere = "line " + std::to_string(nLine) + ": ";
            if (nLineChars > kMaxRead)
                return strWhere + "longer than a record may be (" +
                       std::to_string(nLineChars - (pLf ? 1 : 0)) +
                       " characters; at most 297, or 299 on a last line without line end)";
            if (nLineAt >= nFaultAt)
                return strWhere + DescribeRecordFault(abyLine, static_cast<size_t>(nLineChars));
            ++nLine;
            nLineAt = nChunkAt + nPos;
            nLineChars = 0;
        }
        nChunkAt += nGot;
    } while (nGot != 0);
    return "";
}

// Value of a whole data field, all of its digits, in 32 bits.
uint32_t FieldValue(const unsigned char* pDigits, int nBytes)
{
    uint32_t dwValue = 0;
    for (int i = 0; i < nBytes; ++i)
        dwValue = (dwValue << 8) | PairValue(pDigits + 2 * i);
    return dwValue;
}

HexItem* AllocateItems(size_t nItems)
{
    const size_t nBytes = nItems * sizeof(HexItem);
    const size_t nAlign = nBytes < kHugeArrayMin ? alignof(std::max_align_t) : kHugePageSize;
    return static_cast<HexItem*>(AllocateBigArray(nBytes, nAlign));
}

// Faults the array in from its end downwards, a huge page at a time, while the loading pass
// writes it from the front; the two meet somewhere and each page is faulted once.
void PrefaultBackwards(char* pArray, size_t nBytes, const std::atomic<bool>* pbStop)
{
    size_t nEnd = nBytes & ~(kHugePageSize - 1);
    while (nEnd > 0 && !pbStop->load(std::memory_order_relaxed)) {
        nEnd -= kHugePageSize;
        if (!PopulateBigArray(pArray + nEnd, kHugePageSize))
            return;   // not offered by this kernel: the loading pass faults the pages itself
    }
}

std::thread StartPrefault(HexItem* pItems, size_t nItems, const std::atomic<bool>* pbStop)
{
    const size_t nBytes = nItems * sizeof(HexItem);
    if (nBytes < kHugeArrayMin)
        return {};
    try {
        return std::thread(PrefaultBackwards, reinterpret_cast<char*>(pItems), nBytes, pbStop);
    } catch (const std::system_error&) {
        return {};   // without the helper the pass only takes longer
    }
}

}   // namespace

CHexFile::CHexFile(const char* pszFileName)
    : m_szFileName{}, m_pFirst(nullptr), m_nByteCount(0), m_bPathTooLong(false), m_pItems(nullptr),
      m_pLastStored(nullptr), m_nStored(0)
{
    if (pszFileName == nullptr)
        return;
    const size_t nLength = strnlen(pszFileName, sizeof(m_szFileName));
    m_bPathTooLong = nLength >= sizeof(m_szFileName);
    const size_t nCopy = std::min(nLength, sizeof(m_szFileName) - 1);
    std::memcpy(m_szFileName, pszFileName, nCopy);
    m_szFileName[nCopy] = '\0';
}

CHexFile::~CHexFile()
{
    ReleaseItems();
}

void CHexFile::ReleaseItems()
{
    FreeBigArray(m_pItems);
    m_pItems = nullptr;
    m_pFirst = nullptr;
    m_pLastStored = nullptr;
    m_nStored = 0;
}

int CHexFile::Verify()
{
    ReleaseItems();
    m_nByteCount = 0;
    m_strFault.clear();
    return ReadPass(false);
}

int CHexFile::Load()
{
    ReleaseItems();
    if (m_nByteCount <= 0)
        return -1;
    m_pItems = AllocateItems(static_cast<size_t>(m_nByteCount));
    if (m_pItems == nullptr)
        return -1;
    std::atomic<bool> bStop(false);
    std::thread prefault = StartPrefault(m_pItems, static_cast<size_t>(m_nByteCount), &bStop);
    const int nResult = ReadPass(true);
    bStop = true;
    if (prefault.joinable())
        prefault.join();
    // Fewer bytes than Verify counted means the file changed in between: the image is incomplete.
    if (nResult != 0 || m_nStored != m_nByteCount) {
        ReleaseItems();
        return -1;
    }
    Sort();
    return 0;
}

int CHexFile::SetBytes(uint32_t dwStart, const uint8_t* pData, int32_t nLength)
{
    ReleaseItems();
    m_strFault.clear();
    m_nByteCount = 0;
    if (pData == nullptr || nLength <= 0 ||
        static_cast<uint64_t>(dwStart) + static_cast<uint64_t>(nLength) > 1ull << 32)
        return -1;
    m_pItems = AllocateItems(static_cast<size_t>(nLength));
    if (m_pItems == nullptr)
        return -1;
    m_nByteCount = nLength;
    for (int32_t i = 0; i < nLength; ++i)
        m_pItems[i] = {dwStart + static_cast<uint32_t>(i), pData[i],
                       i + 1 < nLength ? m_pItems + i + 1 : nullptr};
    m_pFirst = m_pItems;
    m_nStored = nLength;
    return 0;
}

int CHexFile::ReadPass(bool bLoad)
{
    // Only Verify says why it failed: Load fails on a good file only when it changed meanwhile.
    if (m_bPathTooLong) {
        if (!bLoad)
            m_strFault = std::string("cannot be opened: ") + std::strerror(ENAMETOOLONG);
        return -1;
    }
    std::FILE* pFile = std::fopen(m_szFileName, "rb");
    if (pFile == nullptr) {
        if (!bLoad)
            m_strFault = std::string("cannot be opened: ") + std::strerror(errno);
        return -1;
    }
    // Chunks are read straight into our own buffer.
    std::setvbuf(pFile, nullptr, _IONBF, 0);
    std::unique_ptr<unsigned char[]> pChunk(new (std::nothrow) unsigned char[kChunkSize]);

    int nResult = pChunk ? 0 : -1;
    int64_t nCount = 0;
    bool bEndRecord = false;
    uint32_t dwLinearBase = 0;
    uint32_t dwSegmentBase = 0;
    size_t nPos = 0;
    size_t nEnd = 0;
    uint64_t nChunkAt = 0;   // file offset of pBuf[0]
    bool bFileEnd = false;
    unsigned char* const pBuf = pChunk.get();

    while (nResult == 0) {
        if (nEnd - nPos < kMaxRead && !bFileEnd) {
            std::memmove(pBuf, pBuf + nPos, nEnd - nPos);
            nChunkAt += nPos;
            nEnd -= nPos;
            nPos = 0;
            const size_t nWant = kChunkSize - nEnd;
            const size_t nGot = std::fread(pBuf + nEnd, 1, nWant, pFile);
            nEnd += nGot;
            bFileEnd = nGot < nWant;
        }
        if (nPos == nEnd)
            break;

        // One read: through the first LF, at most kMaxRead characters.
        const unsigned char* pRead = pBuf + nPos;
        const size_t nAvail = std::min(nEnd - nPos, kMaxRead);
        const void* pLf = std::memchr(pRead, '\n', nAvail);
        const size_t nRead =
            pLf ? static_cast<size_t>(static_cast<const unsigned char*>(pLf) - pRead) + 1 : nAvail;
        nPos += nRead;

        if (CheckRecord(pRead, nRead) != ERecordFault::None) {
            if (!bLoad)
                m_strFault = DescribeFault(pFile, nChunkAt + static_cast<uint64_t>(pRead - pBuf), pBuf);
            nResult = -1;
            break;
        }
        const int nBytes = static_cast<int>(PairValue(pRead + 1));
        const uint32_t dwAddress = (PairValue(pRead + 3) << 8) | PairValue(pRead + 5);
        const unsigned char* pData = pRead + 9;
        const char chType = static_cast<char>(pRead[8]);
        // Data records and type "02" records with a non-zero address field carry image bytes.
        const bool bCarries = chType == '0' || (chType == '2' && dwAddress != 0);

        if (!bLoad) {
            if (chType == '1')
                bEndRecord = true;
            else if (bCarries && !bEndRecord) {
                nCount += nBytes;
                if (nCount > std::numeric_limits<int32_t>::max()) {
                    m_strFault = "holds more than " + std::to_string(std::numeric_limits<int32_t>::max()) +
                                 " data bytes";
                    nResult = -1;
                }
            }
            continue;
        }

        if (chType == '1')
            break;   // nothing after the first end-of-file record is loaded
        if (chType == '4')
            dwLinearBase = FieldValue(pData, nBytes) << 16;
        else if (chType == '2' && dwAddress == 0)
            dwSegmentBase = FieldValue(pData, nBytes) << 4;
        else if (bCarries)
            nResult = StoreBytes(dwLinearBase + dwSegmentBase + dwAddress, pData, nBytes);
    }

    if (std::ferror(pFile)) {
        if (!bLoad && m_strFault.empty())
            m_strFault = std::string("cannot be read: ") + std::strerror(errno);
        nResult = -1;
    }
    std::fclose(pFile);
    if (nResult == 0 && !bLoad)
        m_nByteCount = static_cast<int32_t>(nCount);
    return nResult;
}

int CHexFile::StoreBytes(uint32_t dwAddress, const unsigned char* pDigits, int nCount)
{
    if (nCount == 0)
        return 0;
    // The file may have changed since Verify counted it: never write past the array.
    if (nCount > m_nByteCount - m_nStored)
        return -1;
    if (m_pFirst == nullptr)
        m_pFirst = m_pItems;
    HexItem* pItem = m_pItems + m_nStored;
    if (m_pLastStored != nullptr)
        m_pLastStored->pNext = pItem;
    for (int i = 0; i < nCount; ++i, ++pItem) {
        pItem->dwAddress = dwAddress + static_cast<uint32_t>(i);
        pItem->byValue = static_cast<uint8_t>(PairValue(pDigits + 2 * i));
        pItem->pNext = i + 1 < nCount ? pItem + 1 : nullptr;
    }
    m_pLastStored = pItem - 1;
    m_nStored += nCount;
    return 0;
}

int CHexFile::CompareAddresses(const HexItem* pFirst, const HexItem* pSecond)
{
    if (pFirst->dwAddress < pSecond->dwAddress)
        return -1;
    return pFirst->dwAddress > pSecond->dwAddress ? 1 : 0;
}

void CHexFile::Sort()
{
    if (m_pFirst == nullptr || m_nByteCount <= 0)
        return;
    HexItem* const pBegin = m_pFirst;
    HexItem* const pLast = m_pFirst + (m_nByteCount - 1);
    // Files mostly come in address order and already linked in array order: one look
    // over the array then spares both the sort and the relinking.
    bool bOrdered = true;
    bool bLinked = pLast->pNext == nullptr;
    for (HexItem* p = pBegin; p != pLast; ++p) {
        if (p[1].dwAddress < p->dwAddress) {
            bOrdered = false;
            break;
        }
        bLinked = bLinked && p->pNext == p + 1;
    }
    if (bOrdered && bLinked)
        return;
    if (!bOrdered)
        std::sort(pBegin, pLast + 1,
                  [](const HexItem& a, const HexItem& b) { return CompareAddresses(&a, &b) < 0; });
    for (HexItem* p = pBegin; p != pLast; ++p)
        p->pNext = p + 1;
    pLast->pNext = nullptr;
}

int CHexFile::GetData(uint8_t* pBuffer, int nMax)
{
    if (pBuffer == nullptr || nMax < 0)
        nMax = 0;
    int nCopied = 0;
    for (const HexItem* p = m_pFirst; p != nullptr; p = p->pNext) {
        if (nCopied == nMax)
            return nMax + 1;
        pBuffer[nCopied++] = p->byValue;
    }
    return nCopied;
}

uint32_t CHexFile::GetEndAddress() const
{
    const HexItem* p = m_pFirst;
    if (p == nullptr)
        return 0;
    while (p->pNext != nullptr)
        p = p->pNext;
    return p->dwAddress;
}
