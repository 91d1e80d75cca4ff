#include "ui/loaderfolder.h"

#include "job/bootchain.h"

const char* const kChooseLoaderFolderQuestion = "Choose the folder of the loader files?";
const char* const kLoaderFilesTitle = "Loader files";

std::string ChooseStartLoaderDir(CBootSettings settings, const std::string& strWorkDir,
                                 const std::string& strSavedDir)
{
    settings.strLoaderDir = strWorkDir;
    if (strSavedDir.empty() || FindMissingLoaderFile(settings).empty())
        return strWorkDir;
    settings.strLoaderDir = strSavedDir;
    return FindMissingLoaderFile(settings).empty() ? strSavedDir : strWorkDir;
}

std::string MissingLoaderText(const std::string& strFile, const std::string& strDir)
{
    return "Loader file " + strFile + " not found in " + strDir;
}

std::string LoaderFolderLine(const std::string& strDir)
{
    return "Loader files from " + strDir;
}
