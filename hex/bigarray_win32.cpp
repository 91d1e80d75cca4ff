#include "hex/bigarray.h"

#include <malloc.h>

void* AllocateBigArray(std::size_t nBytes, std::size_t nAlign)
{
    return _aligned_malloc(nBytes, nAlign);
}

void FreeBigArray(void* p)
{
    _aligned_free(p);
}

bool PopulateBigArray(char*, std::size_t)
{
    return false;   // large pages need a privilege the operator doesn't have; the pass faults them
}
