// What the output file's checks and temporary name ask of the file system.
#pragma once

#include <string>

// This process's id: two runs writing the same file use different temporary names.
unsigned long GetOwnProcessId();
// True when strPath names an existing folder.
bool IsFolder(const std::string& strPath);
// 0 when files can be created in strFolder; -1 with errno telling why not.
int CheckFolderWritable(const std::string& strFolder);
