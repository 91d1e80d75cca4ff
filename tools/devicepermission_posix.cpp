#include "tools/devicepermission.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>

bool IsPermissionRefusal(int nSystemError)
{
    return nSystemError == EACCES || nSystemError == EPERM;
}

std::string GetDeviceGroup(const std::string& strDevice)
{
    struct stat st
    {};
    if (stat(strDevice.c_str(), &st) != 0 || st.st_gid == 0)
        return std::string();
    const struct group* pGroup = getgrgid(st.st_gid);
    return pGroup != nullptr ? pGroup->gr_name : std::string();
}
