// A --port argument that names a device directly rather than a discovered port.
#pragma once

#include <string>

// POSIX: any path with a '/'. Windows: a device path ("\\.\COM12", "\\?\...") or a COM port
// name ("COM3", any letter case), which becomes "\\.\COM3". True with the path to open.
bool GetDirectDevicePath(const std::string& strAsked, std::string& strPath);
