// Intel hex file and its in-memory image: one item per data byte, sorted by address.
#pragma once

#include <cstdint>
#include <string>

struct HexItem
{
    uint32_t dwAddress;   // target address of the byte
    uint8_t byValue;      // the data byte
    HexItem* pNext;       // following item of the image; null at the last
};

class CHexFile
{
public:
    explicit CHexFile(const char* pszFileName);
    ~CHexFile();
    CHexFile(const CHexFile&) = delete;
    CHexFile& operator=(const CHexFile&) = delete;

    // Validating pass: 0 when every line is a valid record, -1 otherwise. Sets m_nByteCount,
    // and the fault text when it fails.
    int Verify();
    // Why the last Verify failed: the first line that breaks a record rule, and the rule, as in
    // "line 3: checksum is 0x3A, the record needs 0x3B"; or why the file could not be read.
    // "" after a successful Verify.
    const std::string& GetFaultText() const { return m_strFault; }
    // Loading pass: needs a successful Verify; stores m_nByteCount items and sorts them. 0 / -1.
    int Load();
    // In place of Verify and Load: the image of nLength raw bytes placed from dwStart on, as a
    // raw binary file holds them. 0, or -1 when there is nothing to place, the bytes would pass
    // the 32-bit address space, or memory is short.
    int SetBytes(uint32_t dwStart, const uint8_t* pData, int32_t nLength);
    // Sorts the items by address and relinks them in array order.
    void Sort();
    // -1, 0 or +1 as the first item's address is lower, equal or higher (unsigned).
    static int CompareAddresses(const HexItem* pFirst, const HexItem* pSecond);

    // Copies up to nMax values in list order from m_pFirst. Returns 0 for an empty image,
    // the number copied when everything fit, nMax + 1 when bytes were left over.
    int GetData(uint8_t* pBuffer, int nMax);
    // Address of the first item; 0 for an empty image.
    uint32_t GetStartAddress() const { return m_pFirst != nullptr ? m_pFirst->dwAddress : 0; }
    // Address of the last item; 0 for an empty image.
    uint32_t GetEndAddress() const;

    char m_szFileName[512];
    HexItem* m_pFirst;
    int32_t m_nByteCount;

private:
    // One pass over the file: counts the image bytes (Verify) or stores them (Load). 0 / -1.
    int ReadPass(bool bLoad);
    // Stores nCount bytes of one record at consecutive addresses from dwAddress. 0 / -1.
    int StoreBytes(uint32_t dwAddress, const unsigned char* pDigits, int nCount);
    // Frees the item array and forgets the image.
    void ReleaseItems();

    bool m_bPathTooLong;      // the constructor's path did not fit m_szFileName; nothing is opened then
    HexItem* m_pItems;        // the item array, freed here; m_pFirst points to it once Load stored a byte
    HexItem* m_pLastStored;   // Load's last item so far, linked to the next record's first
    int32_t m_nStored;        // items Load has stored so far
    std::string m_strFault;   // see GetFaultText
};
