// The string table of the operator interface.
#pragma once

// The string with this ID (UTF-8), or "" for an unknown one.
const char* ResourceString(int nId);
