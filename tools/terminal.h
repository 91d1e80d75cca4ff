// The terminal under the progress rows: whether a stream is one that acts on escape codes, and
// the codes that redraw the rows in place. Without such a terminal progress goes as plain lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// POSIX: the stream is a terminal. Windows: the stream is a console whose escape-code mode is
// on or is switched on here; a classic console, a pipe or a file say no.
bool IsEscapeTerminal(FILE* pStream);

// From anywhere in the lowest row: to the start of the row nRows above, then clear to the end
// of the screen. nRows > 0.
std::string GetRowsUpClearCode(int nRows);

// The two mode calls of a Windows console output handle (GetConsoleMode, SetConsoleMode), so
// that the choice below is tested without a console.
class CConsoleModeApi
{
public:
    // ENABLE_VIRTUAL_TERMINAL_PROCESSING: the console acts on escape codes.
    static constexpr uint32_t kEscapeCodes = 0x0004;

    virtual ~CConsoleModeApi() = default;
    // False when the handle is no console.
    virtual bool GetMode(uint32_t& dwMode) = 0;
    // False when the console refuses the mode.
    virtual bool SetMode(uint32_t dwMode) = 0;
};

// 0 when the console acts on escape codes, switching them on if they are off; -1 when the
// handle is no console or the console cannot take them (it refuses the mode, or drops the bit).
int SwitchOnEscapeCodes(CConsoleModeApi& api);
