// Memory from the system: large zero-filled arrays of doubles, and how much
// memory the machine has.
#pragma once

#include <cstddef>
#include <cstdint>

// An array of doubles straight from the system, zero-filled as the system
// hands out fresh pages, which are all mapped at once: one call instead of a
// page fault for every 4 KiB touched. get() is null when the system refused.
class TDoubleArray {
public:
    explicit TDoubleArray(std::size_t count);
    ~TDoubleArray();
    TDoubleArray(const TDoubleArray&) = delete;
    TDoubleArray& operator=(const TDoubleArray&) = delete;

    double* get() const { return data; }

private:
    std::size_t bytes;
    double* data = nullptr;
};

// The machine's physical memory in bytes; UINT64_MAX when it cannot be told.
std::uint64_t PhysicalMemory();
