#include "job/imagecheck.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "hex/hexfile.h"
#include "job/boardfacts.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "link/targetlink.h"

EImageLoad LoadHexImage(CHexFile& image, CJobSink* pSink)
{
    if (pSink != nullptr)
        pSink->Log(kTextVerifyingHexFile);
    if (image.Verify() != 0)
        return EImageLoad::NotValid;
    if (pSink != nullptr)
        pSink->Log(kTextLoadingHexFile);
    return image.Load() == 0 ? EImageLoad::Loaded : EImageLoad::NotLoaded;
}

void ReportImageLoadFailure(EImageLoad eLoad, const std::string& strPath, const CHexFile& image,
                            CJobSink& sink)
{
    if (eLoad == EImageLoad::NotValid) {
        sink.Fail(NotValidHexText(strPath));
        if (!image.GetFaultText().empty())
            sink.Fail(image.GetFaultText());
    } else if (eLoad == EImageLoad::NotLoaded) {
        sink.Fail(NotLoadedHexText(strPath));
        if (image.m_nByteCount == 0)
            sink.Fail("the file holds no data bytes");
    }
}

int LoadJobImage(CHexFile& image, const std::string& strPath, bool bRaw, uint32_t dwRawStart, CJobSink& sink)
{
    if (!bRaw) {
        const EImageLoad eLoad = LoadHexImage(image, nullptr);
        ReportImageLoadFailure(eLoad, strPath, image, sink);
        return eLoad == EImageLoad::Loaded ? 0 : -1;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pFile(std::fopen(strPath.c_str(), "rb"), std::fclose);
    std::vector<uint8_t> vecData;
    uint8_t abyChunk[65536];
    size_t nGot = 0;
    while (pFile && (nGot = std::fread(abyChunk, 1, sizeof abyChunk, pFile.get())) > 0 &&
           vecData.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        vecData.insert(vecData.end(), abyChunk, abyChunk + nGot);
    if (!pFile || std::ferror(pFile.get())) {
        sink.Fail(strPath + " cannot be read: " + std::strerror(errno));
        return -1;
    }
    if (vecData.empty()) {
        sink.Fail(strPath + " holds no bytes");
        return -1;
    }
    if (vecData.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
        image.SetBytes(dwRawStart, vecData.data(), static_cast<int32_t>(vecData.size())) != 0) {
        sink.Fail(NotLoadedHexText(strPath));
        return -1;
    }
    return 0;
}

int64_t FindDuplicateAddress(const CHexFile& image)
{
    for (const HexItem* p = image.m_pFirst; p != nullptr && p->pNext != nullptr; p = p->pNext)
        if (p->pNext->dwAddress == p->dwAddress)
            return p->dwAddress;
    return -1;
}

int CheckImageAgainstChip(const CHexFile& image, int nSectors, std::string& strError)
{
    const uint64_t nChipEnd = static_cast<uint64_t>(std::max(nSectors, 0)) * kSectorSize;
    for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext) {
        if (p->dwAddress >= nChipEnd) {
            strError = "the image writes address " + FormatAddress(p->dwAddress) + ", beyond the flash (" +
                       std::to_string(nSectors) + " sectors of 32 KiB" +
                       (nChipEnd > 0 ? ", up to " + FormatAddress(static_cast<uint32_t>(nChipEnd - 1)) : "") +
                       ")";
            return -1;
        }
    }
    const int64_t nDuplicate = FindDuplicateAddress(image);
    if (nDuplicate >= 0) {
        strError = "the image writes address " + FormatAddress(static_cast<uint32_t>(nDuplicate)) + " twice";
        return -1;
    }
    return 0;
}

int CheckImageAgainstLine(const CHexFile& image, std::string& strError)
{
    if (FindDuplicateAddress(image) < 0 && image.GetEndAddress() < CTargetLink::kAddressLimit)
        return 0;
    return CheckImageAgainstChip(image, static_cast<int>(CTargetLink::kAddressLimit / kSectorSize), strError);
}

std::vector<int> GetSectorsTouched(const CHexFile& image)
{
    std::vector<int> vecSectors;
    for (const HexItem* p = image.m_pFirst; p != nullptr; p = p->pNext) {
        const int nSector = static_cast<int>(p->dwAddress / kSectorSize);
        if (vecSectors.empty() || vecSectors.back() != nSector)
            vecSectors.push_back(nSector);
    }
    return vecSectors;
}

int CountRuns(const CHexFile& image)
{
    int nRuns = 0;
    const HexItem* pPrevious = nullptr;
    for (const HexItem* p = image.m_pFirst; p != nullptr; pPrevious = p, p = p->pNext)
        if (pPrevious == nullptr || p->dwAddress != pPrevious->dwAddress + 1)
            ++nRuns;
    return nRuns;
}
