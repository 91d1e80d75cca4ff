// Why an Intel hex file is not valid: the first line that breaks a record rule, and the rule.
// The checks and their order are those of CHexFile::Verify; this only finds words for them.
#pragma once

#include <string>

// "line 3: checksum is 0x3A, the record needs 0x3B"; "" when every line is a valid record.
std::string DiagnoseHexFile(const std::string& strPath);
