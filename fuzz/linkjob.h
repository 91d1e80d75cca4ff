// The job the link fuzzer runs, as the board sees it: for every step, the bytes the PC must send
// and the answers the board gives, taken from the board's side of the protocol (nothing of the
// link's code). A fuzz input is the board's side of one such job: two header bytes, then the
// answers, with the escape byte for reads that find nothing and for a lost line.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What one step of the job calls on the link.
enum class EJobOp
{
    Connect,
    SendBsl,
    SendFirstLoader,
    SendSecondLoader,
    TestConnection,
    SelectEraseGroup,
    GetSectorCount,
    EraseChip,
    EraseSector,
    SelectFlashGroup,
    ProgramImage,
    VerifyImage
};

constexpr int kAnyByte = 0x100;     // an answer the board may give with any value
constexpr int kAnyStatus = 0x101;   // an erase status: any value but the failure 'E'

struct CJobStep
{
    EJobOp eOp;
    std::vector<uint8_t> vecPc;   // what the PC sends, in order
    std::vector<int> vecBound;    // per PC byte: the most reads in a row that may find nothing after it
    std::vector<int> vecBoard;    // the board's answers: a byte value, kAnyByte or kAnyStatus
};

using CImage = std::vector<std::pair<uint32_t, uint8_t>>;   // ascending addresses

struct CLinkJob
{
    bool bSectorErase = false;
    int nSector = 0;
    bool bOddImage = false;
    std::vector<CJobStep> steps;
};

// The two header bytes of an input: the pipeline depth, then the job's variant.
struct CJobHeader
{
    uint8_t byDepth;     // the link's pipeline depth: 0 and 1 lock-step
    uint8_t byVariant;   // bit 0: erase a sector (number: bits 7..2), else the chip; bit 1: odd image
};

// The board's side of one job as the fuzz input carries it.
constexpr uint8_t kEscape = 0xFF;       // then 0x00: the byte 0xFF; 0x01..0xFE: that many empty reads;
constexpr uint8_t kEscapeLost = 0xFF;   // after the escape: the line is lost here

const std::vector<uint8_t>& BslBytes();
const std::vector<uint8_t>& FirstLoaderBytes();
const std::vector<uint8_t>& FlasherBytes();
const CImage& JobImage(bool bOdd);

CLinkJob MakeLinkJob(uint8_t byVariant);

// The loader files and both images as Intel hex in strDir: prel1.hex, prel2.hex, main.h86,
// even.hex, odd.hex. 0 / -1.
int WriteJobFiles(const std::string& strDir);
