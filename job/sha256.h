// SHA-256 of a byte stream, fed in pieces: what the record names an image file by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CSha256
{
public:
    CSha256();
    void Add(const void* pData, size_t nBytes);
    // 64 lower-case hex digits; the object is spent afterwards.
    std::string Finish();

    // Of a whole file, with its size: 0, or -1 when it cannot be read.
    static int HashFile(const std::string& strPath, std::string& strHex, int64_t& nSize);

private:
    void Compress(const uint8_t* pBlock);

    uint32_t m_dwState[8];
    uint8_t m_byBlock[64];
    size_t m_nInBlock = 0;
    uint64_t m_nTotal = 0;
};
