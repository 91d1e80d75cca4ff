// Plain types shared by the simulated board's pieces and its users.
#pragma once

#include <cstdint>

// What runs on the simulated board right now.
enum class EBoardStage
{
    BootstrapLoader,   // on-chip loader after reset: waits for 0x00, then takes 32 bytes
    BootstrapCode,     // the 32 bytes run and take the first stage loader
    FirstLoader,       // takes a 16-bit length and the flasher program
    Flasher,           // the flasher program: ID, echo test, then the command protocol
    Silent             // something it did not recognise: reads and logs, answers nothing until reset
};

// One byte on the wire, in the order the board saw it.
struct CWireByte
{
    bool bToBoard;   // true: PC to board; false: board to PC
    uint8_t byValue;
};

// Faults the simulated board shows on demand; -1 / false switch a fault off.
// Received and sent bytes are counted from 0 since the last reset.
struct CBoardFaults
{
    bool bNoAnswerToZero = false;    // bootstrap loader ignores the 0x00 (board not reset)
    int nCpuId = 0xC5;               // identification byte the bootstrap loader answers
    int nFlasherId = 0xC5;           // identification byte the flasher program sends when it starts
    int nWrongTestEchoAt = -1;       // echo test: this value (0..254) is echoed with its bits flipped
    long long nSilentAfterRx = -1;   // bytes 0..N-1 are served, byte N and later only logged
    long long nSilentAfterTx = -1;   // the board sends N bytes, then falls silent
    long long nHangUpAfterRx = -1;   // bytes 0..N-1 are served; byte N makes the board close its pty
                                     // (answers the PC has not read yet are lost with the line)
    long long nWrongEchoAtRx = -1;   // the echo of received byte N comes back with its bits flipped
    bool bEraseStatusE = false;      // chip and sector erase answer 'E' after the erase time, erasing nothing
    int nWrongChecksumBlock =
        -1;   // flash block K (0-based since the flasher started) gets a flipped checksum
    long long nFlipReadAddress = -1;   // read-back of this flash address answers its bits flipped
};
