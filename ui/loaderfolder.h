// Where the window takes the loader files from: the working folder (home for a start from the
// desktop menu) when they are there, else the folder the operator chose last.
#pragma once

#include <string>

struct CBootSettings;

// strWorkDir when the loader files of settings are there, else strSavedDir when they are there,
// else strWorkDir. settings.strLoaderDir is not read.
std::string ChooseStartLoaderDir(CBootSettings settings, const std::string& strWorkDir,
                                 const std::string& strSavedDir);

// "Loader file <file> not found in <folder>"
std::string MissingLoaderText(const std::string& strFile, const std::string& strDir);
// The question after it: whether to choose the folder of the loader files.
extern const char* const kChooseLoaderFolderQuestion;
// The title of that question box and of the folder dialog.
extern const char* const kLoaderFilesTitle;
// "Loader files from <folder>"
std::string LoaderFolderLine(const std::string& strDir);
