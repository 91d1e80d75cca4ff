// Hex files of OUR simulator target programs (sim/payloadformat.h) and a sample image,
// as kelvora-boardsim expects them. Not C167 code: they only drive the simulated board.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a file is laid out as text.
struct CHexStyle
{
    int nRecordSize = 16;   // data bytes per record
    bool bCrLf = true;      // CR LF line ends, else LF
};

// One flasher program of the standard set.
struct CFlasherSpec
{
    const char* pszFileName;
    size_t nSize;
    int nSectorCount;
    const char* pszInfo;
};

class CTargetFiles
{
public:
    static constexpr uint32_t kBootstrapAddress = 0xFA40;   // where the 32 bytes sit in the file
    static constexpr uint32_t kFirstLoaderAddress = 0xF600;
    static constexpr uint16_t kFlasherSegment = 0x1000;   // flasher files are segment-addressed there
    static constexpr size_t kStandardFirstLoaderSize = 224;
    static const CFlasherSpec kStandardFlashers[3];   // main.h86, mainnex.h86, mainamd.h86

    // Plain records: the bootstrap code announcing vecFirstLoader, and the first stage loader itself.
    static int WriteBootstrapCode(const std::string& strPath, const std::vector<uint8_t>& vecFirstLoader,
                                  const CHexStyle& style = CHexStyle());
    static int WriteFirstLoader(const std::string& strPath, const std::vector<uint8_t>& vecFirstLoader,
                                const CHexStyle& style = CHexStyle());
    // Both loader files for a first stage loader of nFirstLoaderSize bytes (4..65535).
    static int WriteLoaderFiles(const std::string& strPrel1, const std::string& strPrel2,
                                size_t nFirstLoaderSize, const CHexStyle& style = CHexStyle());
    // A flasher program of nSize bytes (1..65536; below 10 bytes a minimal one), segment-addressed.
    static int WriteFlasher(const std::string& strPath, size_t nSize, int nSectorCount,
                            const std::string& strInfo, const CHexStyle& style = {32, true});
    // Any bytes as a flasher file, e.g. a deliberately broken program.
    static int WriteFlasherBytes(const std::string& strPath, const std::vector<uint8_t>& vecCode,
                                 const CHexStyle& style = {32, true});

    // The sample image to program: two runs of data with a gap, extended linear addressing.
    struct CChunk
    {
        uint32_t dwAddress;
        std::vector<uint8_t> vecData;
    };
    static std::vector<CChunk> BuildSampleImage();
    static int WriteSampleImage(const std::string& strPath, const CHexStyle& style = CHexStyle());

    // prel1.hex, prel2.hex, main.h86, mainnex.h86, mainamd.h86 and sample.hex into a directory.
    static int WriteStandardSet(const std::string& strDirectory);
};
