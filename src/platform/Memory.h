// Memory from the system: large arrays, zero-filled or on huge pages, and how
// much memory this process can still take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

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

// What limits a new allocation of this process, in bytes; UINT64_MAX where
// nothing limits it or the figure cannot be read.
struct TMemoryFigures {
    std::uint64_t available = UINT64_MAX;  // the kernel's MemAvailable
    std::uint64_t group = UINT64_MAX;      // the control group's limit less its use, lowest up the tree
    std::uint64_t addressSpace = UINT64_MAX;  // the address-space limit less what is mapped

    std::uint64_t Least() const;
};

// The figures as the files under procDir ("/proc") and cgroupDir
// ("/sys/fs/cgroup") give them, cgroup v2 or v1; the address-space figure
// from this process's own limit. Memory that the system can take back at
// once (the page cache's inactive files) counts as free.
TMemoryFigures ReadMemoryFigures(const std::string& procDir, const std::string& cgroupDir);

// The memory this process can take now: the least of the figures above.
// Mapping more than this meets the out-of-memory killer, not an error.
std::uint64_t AvailableMemory();

// The address space a new thread takes for its stack: the default the C
// library gives new threads (from the stack limit), and a guard page.
std::uint64_t ThreadStackBytes();

// The memory a piece of work takes: the bytes it fills, and the stacks of
// the helper threads it starts, which take address space alone until used.
// A thread that cannot start for want of address space is not an error the
// toolkit reports: it waits for that thread for ever.
struct TMemoryNeed {
    std::uint64_t bytes = 0;
    std::uint64_t stacks = 0;

    // Whether the figures leave room for it.
    bool Fits(const TMemoryFigures& figures) const
    {
        return bytes <= figures.Least() && bytes + stacks <= figures.addressSpace;
    }
    // What the user is told it needs: with the stacks where the address
    // space is what lacks, in MiB rounded up.
    std::uint64_t ShownMiB(const TMemoryFigures& figures) const
    {
        const std::uint64_t shown = bytes <= figures.Least() ? bytes + stacks : bytes;
        return (shown + (std::uint64_t(1) << 20) - 1) >> 20;
    }
};

// The figures of this process now, as AvailableMemory reads them.
TMemoryFigures CurrentMemoryFigures();

// Fresh memory costs a page fault on the first touch of every page, and here a
// fault costs far more than filling the page; on 2 MiB pages there are 512
// times fewer. Arrays of at least a few MiB are therefore aligned to 2 MiB and
// marked for huge pages (Linux); smaller ones, and systems without them, get
// ordinary memory. Throws std::bad_alloc.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* memory) noexcept;

// The bytes AllocateLarge(bytes) takes from the system, rounding included.
std::size_t LargeBytes(std::size_t bytes);

// n elements of a trivial type, not initialised; moves, does not copy.
template <class T>
class TLargeArray {
public:
    TLargeArray() = default;
    explicit TLargeArray(std::size_t n) : p(static_cast<T*>(AllocateLarge(n * sizeof(T)))), n(n) {}
    ~TLargeArray() { FreeLarge(p); }
    TLargeArray(TLargeArray&& other) noexcept
        : p(std::exchange(other.p, nullptr)), n(std::exchange(other.n, 0))
    {
    }
    TLargeArray& operator=(TLargeArray&& other) noexcept
    {
        std::swap(p, other.p);
        std::swap(n, other.n);
        return *this;
    }
    T* data() { return p; }
    const T* data() const { return p; }
    std::size_t size() const { return n; }

private:
    T* p = nullptr;
    std::size_t n = 0;
};
