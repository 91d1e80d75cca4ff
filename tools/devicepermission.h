// What the system's reason for a refused port says about permissions.
#pragma once

#include <string>

// POSIX: EACCES or EPERM. Windows refuses a COM port only when it is in use: never.
bool IsPermissionRefusal(int nSystemError);
// The group that owns the device and may open it; empty when it is root's or unknown.
std::string GetDeviceGroup(const std::string& strDevice);
