#include "hex/bigarray.h"

#include <cstdlib>
#include <sys/mman.h>

void* AllocateBigArray(std::size_t nBytes, std::size_t nAlign)
{
    void* p = nullptr;
    if (posix_memalign(&p, nAlign, nBytes) != 0)
        return nullptr;
    madvise(p, nBytes, MADV_HUGEPAGE);   // only advice; the array works without it
    return p;
}

void FreeBigArray(void* p)
{
    std::free(p);
}

bool PopulateBigArray(char* p, std::size_t nBytes)
{
    return madvise(p, nBytes, MADV_POPULATE_WRITE) == 0;
}
