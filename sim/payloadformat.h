// Payload format of OUR simulator target programs (not C167 code): what the simulated board
// accepts as bootstrap code, first stage loader and flasher program, and builders for each.
//
// Bootstrap code, exactly 32 bytes:
//   0..3   "KVBS"
//   4..5   byte count of the first stage loader that follows, most significant first (>= 4)
//   6..7   CRC-16 of those first stage loader bytes, most significant first
//   8..30  filler
//   31     checksum: all 32 bytes add up to 0 modulo 256
// First stage loader, n bytes (n >= 4, n as announced by the bootstrap code):
//   0..3   "KVL2", then filler; guarded by the CRC in the bootstrap code
// Flasher program, n bytes (1..65536):
//   n < 10 (minimal program): every byte is 0x5A; runs with the default chip facts
//   n >= 10:
//     0      0x5A
//     1..3   "KVF"
//     4      sector count (0..255)
//     5      info text length L (0..127)
//     6..7   n - 1, most significant first (what the first stage loader was told)
//     8..9   CRC-16 over every byte of the program except these two, most significant first
//     10..   L info text bytes, then filler up to n bytes
// CRC-16: polynomial 0x1021, initial value 0xFFFF, no reflection, no final xor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a started flasher program tells the board about its chip.
struct CFlasherFacts
{
    int nSectorCount = 0;
    std::string strInfo;
};

class CPayloadFormat
{
public:
    static constexpr size_t kBootstrapSize = 32;           // the bootstrap loader takes exactly this many
    static constexpr size_t kFirstLoaderMinSize = 4;       // the magic alone
    static constexpr size_t kFirstLoaderMaxSize = 65535;   // the bootstrap code counts in 16 bits
    static constexpr size_t kFlasherHeaderSize = 10;       // smaller flasher programs are minimal ones
    static constexpr size_t kFlasherMaxSize = 65536;       // the first stage loader counts n - 1 in 16 bits
    static constexpr size_t kInfoMaxLength = 127;          // the PC reads the length byte as signed
    static constexpr uint8_t kFlasherMark = 0x5A;          // first byte of every flasher program
    static constexpr int kDefaultSectorCount = 8;          // facts of a minimal flasher program
    static const char* const kDefaultInfo;

    static uint16_t Crc16(const uint8_t* pData, size_t nLength, uint16_t wCrc = 0xFFFF);

    // Builders: an empty vector for parameters the format cannot hold.
    static std::vector<uint8_t> BuildBootstrapCode(const std::vector<uint8_t>& vecFirstLoader);
    static std::vector<uint8_t> BuildFirstLoader(size_t nSize);
    // nSize < kFlasherHeaderSize builds a minimal program (sector count and info are then not carried).
    static std::vector<uint8_t> BuildFlasher(size_t nSize, int nSectorCount, const std::string& strInfo);

    // Checks, as the board's stages make them: 0 / -1.
    // On success, nFirstLoaderSize and wFirstLoaderCrc tell what the bootstrap code waits for.
    static int CheckBootstrapCode(const std::vector<uint8_t>& vecCode, size_t& nFirstLoaderSize,
                                  uint16_t& wFirstLoaderCrc);
    static int CheckFirstLoader(const std::vector<uint8_t>& vecCode, uint16_t wExpectedCrc);
    static int CheckFlasher(const std::vector<uint8_t>& vecCode, CFlasherFacts& facts);

private:
    static void FillCode(std::vector<uint8_t>& vecCode, size_t nFrom, uint32_t dwSeed);
};
