#include "sim/targetfiles.h"

#include "hex/hexwriter.h"
#include "sim/payloadformat.h"

#include <cstring>

const CFlasherSpec CTargetFiles::kStandardFlashers[3] = {
    {"main.h86", 4608, 8, "Kelvora simulated flasher 1.0, AUTO: 8 sectors x 32 KiB"},
    {"mainnex.h86", 3584, 4, "Kelvora simulated flasher 1.0, NexFlash: 4 sectors x 32 KiB"},
    {"mainamd.h86", 5632, 16, "Kelvora simulated flasher 1.0, AMD 29F: 16 sectors x 32 KiB"},
};

namespace
{
int WritePlain(const std::string& strPath, uint32_t dwAddress, const std::vector<uint8_t>& vecData,
               const CHexStyle& style)
{
    if (vecData.empty())
        return -1;
    CHexWriter writer(EHexAddressing::Plain, style.nRecordSize, style.bCrLf);
    if (writer.AddData(dwAddress, vecData) != 0)
        return -1;
    return writer.WriteFile(strPath);
}
}   // namespace

int CTargetFiles::WriteBootstrapCode(const std::string& strPath, const std::vector<uint8_t>& vecFirstLoader,
                                     const CHexStyle& style)
{
    return WritePlain(strPath, kBootstrapAddress, CPayloadFormat::BuildBootstrapCode(vecFirstLoader), style);
}

int CTargetFiles::WriteFirstLoader(const std::string& strPath, const std::vector<uint8_t>& vecFirstLoader,
                                   const CHexStyle& style)
{
    // Large test loaders do not fit below 0x10000 at the usual place: start them at 0.
    const uint32_t dwAddress =
        vecFirstLoader.size() <= 0x10000 - kFirstLoaderAddress ? kFirstLoaderAddress : 0;
    return WritePlain(strPath, dwAddress, vecFirstLoader, style);
}

int CTargetFiles::WriteLoaderFiles(const std::string& strPrel1, const std::string& strPrel2,
                                   size_t nFirstLoaderSize, const CHexStyle& style)
{
    const std::vector<uint8_t> vecFirstLoader = CPayloadFormat::BuildFirstLoader(nFirstLoaderSize);
    if (vecFirstLoader.empty() || WriteFirstLoader(strPrel2, vecFirstLoader, style) != 0)
        return -1;
    return WriteBootstrapCode(strPrel1, vecFirstLoader, style);
}

int CTargetFiles::WriteFlasher(const std::string& strPath, size_t nSize, int nSectorCount,
                               const std::string& strInfo, const CHexStyle& style)
{
    return WriteFlasherBytes(strPath, CPayloadFormat::BuildFlasher(nSize, nSectorCount, strInfo), style);
}

int CTargetFiles::WriteFlasherBytes(const std::string& strPath, const std::vector<uint8_t>& vecCode,
                                    const CHexStyle& style)
{
    if (vecCode.empty())
        return -1;
    CHexWriter writer(EHexAddressing::Segment, style.nRecordSize, style.bCrLf, kFlasherSegment);
    if (writer.AddData(static_cast<uint32_t>(kFlasherSegment) << 4, vecCode) != 0)
        return -1;
    return writer.WriteFile(strPath);
}

std::vector<CTargetFiles::CChunk> CTargetFiles::BuildSampleImage()
{
    // 20 KiB from 0 and 12 KiB from 0x10000: even runs at even addresses, within 4 sectors.
    std::vector<CChunk> vecChunks = {{0x000000, std::vector<uint8_t>(0x5000)},
                                     {0x010000, std::vector<uint8_t>(0x3000)}};
    uint32_t dwState = 0x5A3C;
    for (CChunk& chunk : vecChunks) {
        for (uint8_t& by : chunk.vecData) {
            dwState = dwState * 1664525u + 1013904223u;
            by = static_cast<uint8_t>(dwState >> 24);
        }
    }
    const char szBanner[] = "Kelvora sample image for the simulated board";
    std::memcpy(vecChunks[0].vecData.data(), szBanner, sizeof szBanner);
    return vecChunks;
}

int CTargetFiles::WriteSampleImage(const std::string& strPath, const CHexStyle& style)
{
    CHexWriter writer(EHexAddressing::Linear, style.nRecordSize, style.bCrLf);
    for (const CChunk& chunk : BuildSampleImage())
        if (writer.AddData(chunk.dwAddress, chunk.vecData) != 0)
            return -1;
    return writer.WriteFile(strPath);
}

int CTargetFiles::WriteStandardSet(const std::string& strDirectory)
{
    const std::string strDir =
        strDirectory.empty() || strDirectory.back() == '/' ? strDirectory : strDirectory + "/";
    if (WriteLoaderFiles(strDir + "prel1.hex", strDir + "prel2.hex", kStandardFirstLoaderSize) != 0)
        return -1;
    for (const CFlasherSpec& spec : kStandardFlashers)
        if (WriteFlasher(strDir + spec.pszFileName, spec.nSize, spec.nSectorCount, spec.pszInfo) != 0)
            return -1;
    return WriteSampleImage(strDir + "sample.hex");
}
