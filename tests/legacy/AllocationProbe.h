// Makes the legacy tests' heap requests observable: the test program replaces the
// global operator new, and a probe, while it lives, records the largest single
// request and refuses every request above its limit (the nothrow forms return null,
// the others throw std::bad_alloc), so a test can show how much memory a run asks
// for without ever getting gigabytes. Without a probe the requests go to malloc
// unchanged.
#pragma once

#include <cstddef>

class CAllocationProbe
{
public:
    explicit CAllocationProbe(size_t nLimit);
    ~CAllocationProbe();
    CAllocationProbe(const CAllocationProbe&) = delete;
    CAllocationProbe& operator=(const CAllocationProbe&) = delete;

    // The largest request made while the probe lives, refused or not.
    size_t Largest() const;
    // Requests refused for exceeding the limit.
    int Refused() const;
};
