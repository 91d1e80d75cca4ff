#include "job/sha256.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace
{
constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t dw, int nBits)
{
    return (dw >> nBits) | (dw << (32 - nBits));
}
}   // namespace

CSha256::CSha256()
    : m_dwState{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      m_byBlock{}
{}

void CSha256::Compress(const uint8_t* pBlock)
{
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = static_cast<uint32_t>(pBlock[4 * i]) << 24 | static_cast<uint32_t>(pBlock[4 * i + 1]) << 16 |
               static_cast<uint32_t>(pBlock[4 * i + 2]) << 8 | pBlock[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = m_dwState[0], b = m_dwState[1], c = m_dwState[2], d = m_dwState[3];
    uint32_t e = m_dwState[4], f = m_dwState[5], g = m_dwState[6], h = m_dwState[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 =
            h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const uint32_t dwAdd[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        m_dwState[i] += dwAdd[i];
}

void CSha256::Add(const void* pData, size_t nBytes)
{
    const uint8_t* p = static_cast<const uint8_t*>(pData);
    m_nTotal += nBytes;
    while (nBytes > 0) {
        const size_t nTake = std::min(nBytes, sizeof m_byBlock - m_nInBlock);
        std::memcpy(m_byBlock + m_nInBlock, p, nTake);
        m_nInBlock += nTake;
        p += nTake;
        nBytes -= nTake;
        if (m_nInBlock == sizeof m_byBlock) {
            Compress(m_byBlock);
            m_nInBlock = 0;
        }
    }
}

std::string CSha256::Finish()
{
    const uint64_t nBits = m_nTotal * 8;
    const uint8_t byEnd = 0x80;
    Add(&byEnd, 1);
    const uint8_t byZero = 0;
    while (m_nInBlock != 56)
        Add(&byZero, 1);
    uint8_t byLength[8];
    for (int i = 0; i < 8; ++i)
        byLength[i] = static_cast<uint8_t>(nBits >> (56 - 8 * i));
    Add(byLength, sizeof byLength);
    std::string strHex;
    char sz[9];
    for (uint32_t dw : m_dwState) {
        std::snprintf(sz, sizeof sz, "%08x", static_cast<unsigned>(dw));
        strHex += sz;
    }
    return strHex;
}

int CSha256::HashFile(const std::string& strPath, std::string& strHex, int64_t& nSize)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(strPath.c_str(), "rb"), std::fclose);
    if (!pFile)
        return -1;
    CSha256 sha;
    uint8_t byBuffer[65536];
    size_t n;
    while ((n = std::fread(byBuffer, 1, sizeof byBuffer, pFile.get())) > 0)
        sha.Add(byBuffer, n);
    if (std::ferror(pFile.get()))
        return -1;
    nSize = static_cast<int64_t>(sha.m_nTotal);
    strHex = sha.Finish();
    return 0;
}
