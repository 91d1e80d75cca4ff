// Ctrl-C: the handler only raises a flag; long operations look at it between two exchanges
// with the board and leave by throwing CJobStopped, so every link is closed by its owner.
#pragma once

// The first SIGINT raises the flag (blocking reads of the terminal return with EINTR); a
// second one ends the program as usual.
void InstallInterruptHandler();
// Raises the flag; the platform's handler (interrupt_posix.cpp, interrupt_win32.cpp) calls it,
// also from a signal handler.
void RaiseInterrupt();
bool IsInterrupted();
// Counts the erases under way (on several boards at once): while one is, the first Ctrl-C says at
// once that the run stops after the erase and that a second Ctrl-C quits now.
void SetEraseUnderWay(bool bUnderWay);
// What the first Ctrl-C says during an erase, when it should say it (null otherwise); for the
// platform's handler.
const char* GetInterruptNotice();
// A reader of the log that goes away must not end a programming run half-way (POSIX: SIGPIPE
// ignored; Windows has no such signal, the failed write is all there is).
void IgnoreBrokenPipe();
// Blocks until a line ends on standard input: 0 after Enter or at the end of the input (then
// *pbInputEnded is set), -1 once the flag is up (Ctrl-C).
int WaitForEnter(bool* pbInputEnded = nullptr);
// Throws CJobStopped when the flag is up. A link operation reports progress only between two
// complete exchanges, so the port is idle when this passes through.
void ThrowIfInterrupted();
