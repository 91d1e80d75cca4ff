#include "support/boardfiles.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "hex/hexwriter.h"
#include "sim/flashmemory.h"
#include "sim/targetfiles.h"

bool WriteTargetFiles(const CTempDir& dir, size_t nFlasherSize, int nSectors, const std::string& strInfo,
                      const char* pszFlasher)
{
    return CTargetFiles::WriteLoaderFiles(dir.Path(kBslFile), dir.Path(kFirstLoaderFile),
                                          CTargetFiles::kStandardFirstLoaderSize) == 0 &&
           CTargetFiles::WriteFlasher(dir.Path(pszFlasher), nFlasherSize, nSectors, strInfo) == 0;
}

void WriteHexFile(const std::string& strPath, const std::vector<CSegment>& segments)
{
    CHexWriter writer(EHexAddressing::Linear);
    bool bOk = true;
    for (const CSegment& segment : segments)
        bOk = writer.AddData(segment.first, segment.second) == 0 && bOk;
    if (!bOk || writer.WriteFile(strPath) != 0)
        throw std::runtime_error("cannot write " + strPath);
}

std::vector<uint8_t> Pattern(size_t nBytes, uint8_t bySeed)
{
    std::vector<uint8_t> bytes(nBytes);
    for (size_t i = 0; i < nBytes; ++i)
        bytes[i] = static_cast<uint8_t>(bySeed + i * 7 + (i >> 8));
    return bytes;
}

bool LoadFlashBytes(CBoardSim& board, const CTempDir& dir, const std::vector<uint8_t>& vecFlash)
{
    std::ofstream(dir.Path("flash.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(vecFlash.data()), static_cast<std::streamsize>(vecFlash.size()));
    return board.LoadFlash(dir.Path("flash.bin")) == 0;
}

std::vector<int> ErasedSectors(const std::vector<uint8_t>& vecFlash, const std::vector<uint8_t>& vecBefore)
{
    const size_t nSize = CFlashMemory::kSectorSize;
    std::vector<int> vecErased;
    for (size_t nAt = 0; nAt + nSize <= vecFlash.size(); nAt += nSize) {
        const auto itBegin = vecFlash.begin() + static_cast<std::ptrdiff_t>(nAt);
        const int nSector = static_cast<int>(nAt / nSize);
        if (std::all_of(itBegin, itBegin + nSize, [](uint8_t by) { return by == 0xFF; }))
            vecErased.push_back(nSector);
        else if (!vecBefore.empty() && (vecBefore.size() < nAt + nSize ||
                                        !std::equal(itBegin, itBegin + nSize, vecBefore.begin() + nAt)))
            vecErased.push_back(-1 - nSector);
    }
    return vecErased;
}

std::vector<uint8_t> WireBytes(const CBoardSim& board, bool bToBoard)
{
    std::vector<uint8_t> bytes;
    for (const CWireByte& wire : board.GetWireLog())
        if (wire.bToBoard == bToBoard)
            bytes.push_back(wire.byValue);
    return bytes;
}
