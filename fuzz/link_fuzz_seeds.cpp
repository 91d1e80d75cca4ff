// Writes the link fuzzer's seed corpus: the board's side of a good job in several modes, and of
// the job under each fault the board simulator can show. Usage: link_fuzz_seeds DIR
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "linkjob.h"

namespace
{
// The board's side as a stream: byte values, and these marks.
constexpr int kWaitMark = 0x1000;   // plus the number of reads that find nothing
constexpr int kLostMark = 0x2000;   // the line is lost
constexpr int kSectorCount = 8;
constexpr int kStatusOk = 'O';
constexpr int kStatusFailed = 'E';

struct CSeed
{
    const char* pszName;
    CJobHeader header;
    std::function<void(std::vector<int>&, const CLinkJob&)> fnFault;   // null: the good job
};

std::vector<int> GoodStream(const CLinkJob& job)
{
    std::vector<int> vecStream;
    for (const CJobStep& step : job.steps)
        for (int nItem : step.vecBoard)
            vecStream.push_back(nItem == kAnyStatus ? kStatusOk
                                : nItem == kAnyByte
                                    ? (step.eOp == EJobOp::GetSectorCount ? kSectorCount : 0xFF)
                                    : nItem);
    return vecStream;
}

// Where a step's answers begin in the stream.
size_t StepStart(const CLinkJob& job, EJobOp eOp)
{
    size_t nAt = 0;
    for (const CJobStep& step : job.steps) {
        if (step.eOp == eOp)
            return nAt;
        nAt += step.vecBoard.size();
    }
    return nAt;
}

std::vector<uint8_t> Encode(const CJobHeader& header, const std::vector<int>& vecStream)
{
    std::vector<uint8_t> vecInput = {header.byDepth, header.byVariant};
    for (int nItem : vecStream) {
        if (nItem == kLostMark) {
            vecInput.insert(vecInput.end(), {kEscape, kEscapeLost});
        } else if (nItem >= kWaitMark) {
            vecInput.insert(vecInput.end(), {kEscape, static_cast<uint8_t>(nItem - kWaitMark)});
        } else if (nItem == kEscape) {
            vecInput.insert(vecInput.end(), {kEscape, 0});
        } else {
            vecInput.push_back(static_cast<uint8_t>(nItem));
        }
    }
    return vecInput;
}

void Cut(std::vector<int>& vecStream, size_t nAt)
{
    vecStream.resize(nAt < vecStream.size() ? nAt : vecStream.size());
}

void Flip(std::vector<int>& vecStream, size_t nAt)
{
    vecStream.at(nAt) ^= 0xFF;
}

// In the stream of a step: the answer k places after its start.
std::function<void(std::vector<int>&, const CLinkJob&)> FlipIn(EJobOp eOp, size_t nOffset)
{
    return [eOp, nOffset](std::vector<int>& vecStream, const CLinkJob& job) {
        Flip(vecStream, StepStart(job, eOp) + nOffset);
    };
}

std::function<void(std::vector<int>&, const CLinkJob&)> CutIn(EJobOp eOp, size_t nOffset, bool bLost = false)
{
    return [eOp, nOffset, bLost](std::vector<int>& vecStream, const CLinkJob& job) {
        Cut(vecStream, StepStart(job, eOp) + nOffset);
        if (bLost)
            vecStream.push_back(kLostMark);
    };
}

std::function<void(std::vector<int>&, const CLinkJob&)> EraseAfter(int nEmptyReads, int nStatus)
{
    return [nEmptyReads, nStatus](std::vector<int>& vecStream, const CLinkJob& job) {
        const EJobOp eErase = job.bSectorErase ? EJobOp::EraseSector : EJobOp::EraseChip;
        const size_t nStatusAt = StepStart(job, eErase) + (job.bSectorErase ? 2 : 1);
        vecStream.at(nStatusAt) = nStatus;
        if (nEmptyReads > 0)
            vecStream.insert(vecStream.begin() + static_cast<long>(nStatusAt), kWaitMark + nEmptyReads);
    };
}

constexpr CJobHeader kLockStep = {0, 0};                  // chip erase, even image
constexpr CJobHeader kDepth16 = {16, 2 | 1 | (3 << 2)};   // sector 3, odd image
}   // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: link_fuzz_seeds DIR\n");
        return 2;
    }
    const CSeed seeds[] = {
        {"good_lockstep_chip_even", kLockStep, nullptr},
        {"good_depth2_sector0_odd", {2, 2 | 1}, nullptr},
        {"good_depth16_sector3_odd", kDepth16, nullptr},
        {"good_depth255_chip_even", {255, 0}, nullptr},
        {"board_not_reset", kLockStep, CutIn(EJobOp::Connect, 0)},
        {"other_cpu_id", kLockStep, [](std::vector<int>& s, const CLinkJob&) { s = {0xC4}; }},
        {"other_flasher_id", kLockStep,
         [](std::vector<int>& s, const CLinkJob&) {
             s = {0xC5, 0x5C};
         }},
        {"wrong_echo_first_test_byte", kLockStep, FlipIn(EJobOp::TestConnection, 1)},
        {"wrong_echo_last_test_byte", kDepth16, FlipIn(EJobOp::TestConnection, 255)},
        {"silent_in_echo_test", kDepth16, CutIn(EJobOp::TestConnection, 100)},
        {"cable_off_at_zero", kLockStep, CutIn(EJobOp::Connect, 0, true)},
        {"cable_off_at_selector", kLockStep, CutIn(EJobOp::SelectFlashGroup, 0, true)},
        {"no_sector_count", kLockStep, CutIn(EJobOp::GetSectorCount, 1)},
        {"wrong_selector_echo", kLockStep, FlipIn(EJobOp::SelectEraseGroup, 0)},
        {"erase_answers_e", kLockStep, EraseAfter(3, kStatusFailed)},
        {"sector_erase_answers_e", kDepth16, EraseAfter(0, kStatusFailed)},
        {"erase_after_31_empty_reads", kLockStep, EraseAfter(31, kStatusOk)},
        {"erase_after_32_empty_reads", kDepth16, EraseAfter(32, kStatusOk)},
        {"wrong_data_echo", kLockStep, FlipIn(EJobOp::ProgramImage, 1 + 5 + 3)},
        {"wrong_data_echo_pipelined", kDepth16, FlipIn(EJobOp::ProgramImage, 1 + 5 + 3)},
        {"silent_mid_block", kDepth16, CutIn(EJobOp::ProgramImage, 1 + 5 + 3)},
        {"wrong_checksum", kLockStep, FlipIn(EJobOp::ProgramImage, 1 + 5 + 6)},
        {"wrong_checksum_pipelined", kDepth16, FlipIn(EJobOp::ProgramImage, 1 + 5 + 6 + 1 + 5 + 4)},
        {"no_end_echo", kLockStep,
         [](std::vector<int>& s, const CLinkJob& job) {
             Cut(s, StepStart(job, EJobOp::SelectFlashGroup) - 1);
         }},
        {"flipped_first_read_back", kLockStep, FlipIn(EJobOp::VerifyImage, 4)},
        {"flipped_last_read_back_byte", kLockStep,
         [](std::vector<int>& s, const CLinkJob&) { Flip(s, s.size() - 2); }},   // before the end's echo
        {"flipped_read_back_pipelined", kDepth16, FlipIn(EJobOp::VerifyImage, 6 + 5)},
        {"silent_in_read_back", kDepth16, CutIn(EJobOp::VerifyImage, 6 + 2)},
    };
    for (const CSeed& seed : seeds) {
        const CLinkJob job = MakeLinkJob(seed.header.byVariant);
        std::vector<int> vecStream = GoodStream(job);
        if (seed.fnFault)
            seed.fnFault(vecStream, job);
        const std::vector<uint8_t> vecInput = Encode(seed.header, vecStream);
        const std::string strPath = std::string(argv[1]) + "/" + seed.pszName;
        std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
        if (pFile == nullptr || std::fwrite(vecInput.data(), 1, vecInput.size(), pFile) != vecInput.size()) {
            std::fprintf(stderr, "link_fuzz_seeds: cannot write %s\n", strPath.c_str());
            return 1;
        }
        std::fclose(pFile);
    }
    return 0;
}
