#include "job/fileaccess.h"

#include <sys/stat.h>
#include <unistd.h>

unsigned long GetOwnProcessId()
{
    return static_cast<unsigned long>(getpid());
}

bool IsFolder(const std::string& strPath)
{
    struct stat st
    {};
    return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CheckFolderWritable(const std::string& strFolder)
{
    return access(strFolder.c_str(), W_OK) == 0 ? 0 : -1;
}
