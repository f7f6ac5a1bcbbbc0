// Large uninitialised arrays for the lab, on huge pages where the system has them.
#pragma once

#include <cstddef>
#include <utility>

namespace lab {

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
class Array {
public:
    Array() = default;
    explicit Array(std::size_t n) : p(static_cast<T*>(AllocateLarge(n * sizeof(T)))), n(n) {}
    ~Array() { FreeLarge(p); }
    Array(Array&& other) noexcept
        : p(std::exchange(other.p, nullptr)), n(std::exchange(other.n, 0))
    {
    }
    Array& operator=(Array&& other) noexcept
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

}  // namespace lab
