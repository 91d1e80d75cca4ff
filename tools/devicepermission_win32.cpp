#include "tools/devicepermission.h"

bool IsPermissionRefusal(int)
{
    return false;
}

std::string GetDeviceGroup(const std::string&)
{
    return std::string();
}
