// Shared pieces of the link tests: a target link talking to a simulated board, on a pty or in
// memory, and progress recording.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "job/jobsink.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "memoryboard.h"
#include "sim/boardsim.h"
#include "support/boardfiles.h"
#include "support/tempdir.h"

// Records every position a link operation reports.
class CRecordingProgress : public CProgressSink
{
public:
    void SetProgress(int nPos) override { m_positions.push_back(nPos); }
    std::vector<int> m_positions;
};

using CWireEntries = std::vector<std::pair<bool, int>>;   // (to board, byte)
CWireEntries Entries(const std::vector<CWireByte>& log);

// The target files of a simulated board in a folder of their own.
class CTargetFilesFixture : public ::testing::Test
{
public:
    static constexpr int kFlasherSize = 2000;
    static constexpr int kSectorCount = 8;
    static constexpr const char* kInfo = "Kelvora test flasher";
    // Bytes the board receives and sends in a boot before the echo test's bytes.
    static constexpr long long kBootRx = 1 + 32 + 224 + 2 + kFlasherSize;

protected:
    void SetUp() override;
    void WriteTargets(size_t nFlasherSize = kFlasherSize, int nSectors = kSectorCount,
                      const std::string& strInfo = kInfo);

    CTempDir m_dir;
};

// The simulated board on a pty, for what needs the serial port itself: opening and closing it,
// the line's timing, an adapter.
class CBoardFixture : public CTargetFilesFixture
{
public:
    // The simulated board is unpaced; a fast port keeps the link's own line pacing short.
    static constexpr int kLinkBaudRate = 921600;

protected:
    void SetUp() override;
    void TearDown() override;

    int Init(CTargetLink& link);
    // Init and the whole boot sequence, reported to pSink; -1 at the first failure. nPipelineDepth
    // as the boot chain sets it on the link.
    int Boot(CTargetLink& link, CJobSink* pSink = nullptr, const std::string& strBoardName = "",
             int nPipelineDepth = 0);
    // Bytes that crossed the wire in one direction since the log was cleared.
    std::vector<uint8_t> ToBoard() const { return WireBytes(m_board, true); }
    std::vector<uint8_t> FromBoard() const { return WireBytes(m_board, false); }

    CBoardSim m_board;
    CTargetLink m_link;
};

// The simulated board in memory, for everything the link does with the board's answers.
class CMemoryBoardFixture : public CTargetFilesFixture
{
protected:
    void TearDown() override;

    // Init on a fresh session with the board.
    int Init(CTargetLink& link);
    // Init and the whole boot sequence at this depth; -1 at the first failure.
    int Boot(CTargetLink& link, int nPipelineDepth = 0);
    std::vector<uint8_t> ToBoard() const { return m_board.GetWireBytes(true); }
    std::vector<uint8_t> FromBoard() const { return m_board.GetWireBytes(false); }

    CMemoryBoard m_board;
    CTargetLink m_link;
};
