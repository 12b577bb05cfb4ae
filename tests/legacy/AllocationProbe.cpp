#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
// Only one probe lives at a time (the tests run one after the other).
std::atomic<bool> s_bArmed{false};
std::atomic<size_t> s_nLimit{0};
std::atomic<size_t> s_nLargest{0};
std::atomic<int> s_nRefused{0};

// Null when a live probe refuses the request, else the memory from malloc.
void* Allocate(size_t nSize) noexcept
{
    if (s_bArmed.load())
    {
        size_t nLargest = s_nLargest.load();
        while (nSize > nLargest && !s_nLargest.compare_exchange_weak(nLargest, nSize))
        {
        }
        if (nSize > s_nLimit.load())
        {
            ++s_nRefused;
            return nullptr;
        }
    }
    return std::malloc(nSize == 0 ? 1 : nSize);
}

void* AllocateOrThrow(size_t nSize)
{
    void* p = Allocate(nSize);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
}

CAllocationProbe::CAllocationProbe(size_t nLimit)
{
    s_nLimit = nLimit;
    s_nLargest = 0;
    s_nRefused = 0;
    s_bArmed = true;
}

CAllocationProbe::~CAllocationProbe()
{
    s_bArmed = false;
}

size_t CAllocationProbe::Largest() const
{
    return s_nLargest.load();
}

int CAllocationProbe::Refused() const
{
    return s_nRefused.load();
}

// The replaced global allocation functions of the legacy test program (the aligned
// forms keep their default, which pairs with its own deallocation).
void* operator new(size_t nSize)
{
    return AllocateOrThrow(nSize);
}

void* operator new[](size_t nSize)
{
    return AllocateOrThrow(nSize);
}

void* operator new(size_t nSize, const std::nothrow_t&) noexcept
{
    return Allocate(nSize);
}

void* operator new[](size_t nSize, const std::nothrow_t&) noexcept
{
    return Allocate(nSize);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
