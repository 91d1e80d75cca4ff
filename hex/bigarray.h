// Memory for the large item arrays of a loaded image: aligned to the system's huge pages where
// it has them, so the sort and the loading pass take fewer page faults.
#pragma once

#include <cstddef>

// nBytes aligned to nAlign (a power of two); nullptr when out of memory. Free with FreeBigArray.
void* AllocateBigArray(std::size_t nBytes, std::size_t nAlign);
void FreeBigArray(void* p);
// Faults one aligned run of pages in; false when the system can't, and the caller stops asking.
bool PopulateBigArray(char* p, std::size_t nBytes);
