// A --port argument that names a device directly rather than a discovered port, and the device a
// port's path stands for.
#pragma once

#include <string>

// POSIX: any path with a '/'. Windows: a device path ("\\.\COM12", "\\?\...") or a COM port
// name ("COM3", any letter case), which becomes "\\.\COM3". True with the path to open.
bool GetDirectDevicePath(const std::string& strAsked, std::string& strPath);

struct CPortDevice
{
    std::string strKey;    // equal for two paths of one device
    std::string strPath;   // the device's own path, for messages
};

// POSIX: the numbers of the character device the path leads to, else the path with every link
// resolved, else the path as given. Windows: the name upper-cased, without "\\.\".
CPortDevice ResolvePortDevice(const std::string& strDevicePath);
