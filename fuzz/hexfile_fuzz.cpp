// libFuzzer target: any bytes as a hex file. Runs Verify and Load, checks the image's
// invariants and, for inputs without NUL characters, compares verdict, count and image with
// a plain reference reader built on fgets with a 300-character buffer.
#include "hex/hexfile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace
{

// One file per process, on tmpfs where there is one: rewriting a file on disk costs milliseconds.
const std::string& ScratchPath()
{
    static const std::string str = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                   "/kelvora_hexfuzz_" + std::to_string(getpid()) + ".hex";
    return str;
}

void Check(bool bCondition, const char* pszWhat)
{
    if (!bCondition) {
        std::fprintf(stderr, "invariant broken: %s\n", pszWhat);
        std::abort();
    }
}

int Digit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

struct Reference
{
    bool bValid = true;
    long nCount = 0;
    std::vector<std::pair<uint32_t, uint8_t>> image;   // sorted
};

// The reader as the format describes it, plus: after a line's cut only CR and the closing LF
// may follow in the same read.
Reference ReadReference(const char* pszPath)
{
    Reference ref;
    std::FILE* pFile = std::fopen(pszPath, "r");
    if (pFile == nullptr)
        return Reference{false, 0, {}};
    char szLine[300];
    bool bEnd = false;
    uint32_t dwLinear = 0;
    uint32_t dwSegment = 0;
    while (ref.bValid && std::fgets(szLine, sizeof(szLine), pFile) != nullptr) {
        const size_t nRead = std::strlen(szLine);
        const size_t nLen = std::strcspn(szLine, "\r\n");
        const size_t nCr = std::strspn(szLine + nLen, "\r");
        const bool bLineEnd = nLen + nCr == nRead || (szLine[nLen + nCr] == '\n' && nLen + nCr + 1 == nRead);
        ref.bValid = bLineEnd && nLen >= 11 && szLine[0] == ':' && (nLen - 11) % 2 == 0;
        for (size_t i = 1; ref.bValid && i < nLen; ++i)
            ref.bValid = Digit(szLine[i]) >= 0;
        if (!ref.bValid)
            break;
        auto pair = [&szLine](size_t i) {
            return static_cast<uint32_t>(Digit(szLine[i]) * 16 + Digit(szLine[i + 1]));
        };
        const uint32_t nBytes = pair(1);
        const uint32_t dwAddress = pair(3) * 256 + pair(5);
        const std::string strType(szLine + 7, 2);
        unsigned nSum = 0;
        for (size_t i = 1; i + 1 < nLen; i += 2)
            nSum += pair(i);
        ref.bValid = nLen == 2 * nBytes + 11 && (nSum & 0xFF) == 0 &&
                     (strType == "00" || strType == "01" || strType == "02" || strType == "04");
        if (!ref.bValid || bEnd)
            continue;
        uint32_t dwField = 0;
        for (uint32_t i = 0; i < nBytes; ++i)
            dwField = (dwField << 8) | pair(9 + 2 * i);
        if (strType == "01")
            bEnd = true;
        else if (strType == "04")
            dwLinear = dwField << 16;
        else if (strType == "02" && dwAddress == 0)
            dwSegment = dwField << 4;
        else
            for (uint32_t i = 0; i < nBytes; ++i, ++ref.nCount)
                ref.image.emplace_back(dwLinear + dwSegment + dwAddress + i,
                                       static_cast<uint8_t>(pair(9 + 2 * i)));
    }
    std::fclose(pFile);
    std::sort(ref.image.begin(), ref.image.end());
    return ref;
}

void RunOne(const std::string& strPath, const uint8_t* pData, size_t nSize)
{
    CHexFile hex(strPath.c_str());
    const int nVerify = hex.Verify();
    const bool bCompare = std::memchr(pData, 0, nSize) == nullptr;
    const Reference ref = bCompare ? ReadReference(strPath.c_str()) : Reference{};
    if (bCompare)
        Check((nVerify == 0) == ref.bValid, "verdict agrees with the reference");
    Check((nVerify == 0) == hex.GetFaultText().empty(), "a fault text exactly when Verify fails");
    if (nVerify != 0)
        return;
    Check(hex.m_nByteCount >= 0 && static_cast<size_t>(hex.m_nByteCount) * 2 <= nSize, "byte count");
    if (bCompare)
        Check(hex.m_nByteCount == ref.nCount, "count agrees with the reference");

    const int nLoad = hex.Load();
    if (hex.m_nByteCount == 0) {
        Check(nLoad == -1 && hex.m_pFirst == nullptr, "empty image does not load");
        uint8_t by;
        Check(hex.GetData(&by, 1) == 0 && hex.GetEndAddress() == 0, "empty image results");
        return;
    }
    Check(nLoad == 0, "a verified, unchanged file loads");

    std::vector<std::pair<uint32_t, uint8_t>> image;
    for (const HexItem* p = hex.m_pFirst; p != nullptr; p = p->pNext) {
        Check(image.size() < static_cast<size_t>(hex.m_nByteCount), "no more items than counted");
        Check(p == hex.m_pFirst + image.size(), "entry k links to entry k + 1");
        Check(image.empty() || image.back().first <= p->dwAddress, "ascending addresses");
        image.emplace_back(p->dwAddress, p->byValue);
    }
    Check(image.size() == static_cast<size_t>(hex.m_nByteCount), "as many items as counted");
    Check(hex.GetStartAddress() == image.front().first, "start address");
    Check(hex.GetEndAddress() == image.back().first, "end address");
    if (bCompare) {
        std::sort(image.begin(), image.end());   // equal addresses stand in any order
        Check(image == ref.image, "image agrees with the reference");
    }

    uint8_t aby[32];
    const int nData = hex.GetData(aby, 32);
    Check(nData == (hex.m_nByteCount > 32 ? 33 : hex.m_nByteCount), "GetData result");
    for (int i = 0; i < std::min(nData, 32); ++i)
        Check(aby[i] == hex.m_pFirst[i].byValue, "GetData bytes in list order");
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string& strPath = ScratchPath();
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    Check(pFile != nullptr, "scratch file");
    Check(nSize == 0 || std::fwrite(pData, 1, nSize, pFile) == nSize, "scratch write");
    std::fclose(pFile);
    RunOne(strPath, pData, nSize);
    std::remove(strPath.c_str());   // the fuzzer may end at any input; leave nothing behind
    return 0;
}
