// The log of a connection attempt in which every step passes, from the line after
// "Trying to connect": the window and the command-line tool both write exactly these.
#pragma once

#include <string>
#include <vector>

inline const std::vector<std::string>& ConnectedLogLines()
{
    static const std::vector<std::string> lines = {"Serial port opened",
                                                   "Connected to target Phytec KC167CR",
                                                   "CPU returned ID: C5",
                                                   "Sending bootstraploader",
                                                   "BSL loaded",
                                                   "Sending second stage BSL",
                                                   "Second stage BSL loaded",
                                                   "Sending flasher program",
                                                   "Flasher program loaded",
                                                   "Testing connection",
                                                   "Connection tested"};
    return lines;
}
