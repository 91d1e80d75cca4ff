#include "res/strings.h"

#include "res/resource.h"

const char* ResourceString(int nId)
{
    switch (nId) {
    case IDS_ABOUTBOX:
        return "Inf&o \xC3\xBC"
               "ber kelvora...";
    default:
        return "";
    }
}
