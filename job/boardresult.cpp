#include "job/boardresult.h"

#include <cstdio>

std::string JsonString(const std::string& strText)
{
    std::string strOut = "\"";
    for (unsigned char ch : strText) {
        if (ch == '"' || ch == '\\') {
            strOut += '\\';
            strOut += static_cast<char>(ch);
        } else if (ch < 0x20) {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\u%04x", ch);
            strOut += sz;
        } else {
            strOut += static_cast<char>(ch);
        }
    }
    return strOut + "\"";
}
