// Ctrl-C: the handler only raises a flag; long operations look at it between two exchanges
// with the board and leave by throwing CInterrupted, so every link is closed by its owner.
#pragma once

// Thrown by the tool's progress sinks when Ctrl-C was pressed. A link operation reports
// progress only between two complete exchanges, so the port is idle when this passes through.
struct CInterrupted
{};

// The first SIGINT raises the flag (blocking reads of the terminal return with EINTR); a
// second one ends the program as usual.
void InstallInterruptHandler();
bool IsInterrupted();
// Throws CInterrupted when the flag is up.
void ThrowIfInterrupted();
