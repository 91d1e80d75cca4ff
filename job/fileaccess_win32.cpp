#include "job/fileaccess.h"

#include <cerrno>
#include <io.h>
#include <windows.h>

unsigned long GetOwnProcessId()
{
    return GetCurrentProcessId();
}

bool IsFolder(const std::string& strPath)
{
    const DWORD dwAttributes = GetFileAttributesA(strPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int CheckFolderWritable(const std::string& strFolder)
{
    // Of a folder _access sees only that it exists (errno when not); Windows checks the right to
    // create a file when one is created, which WriteImageFile reports.
    return _access(strFolder.c_str(), 2) == 0 ? 0 : -1;
}
