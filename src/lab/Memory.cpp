// Large arrays on huge pages where the system offers them.
#include "lab/Memory.h"

#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lab {
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
// Below this the rounding up to whole huge pages would waste too large a share.
constexpr std::size_t Worthwhile = 2 * HugePage;

}  // namespace

std::size_t LargeBytes(std::size_t bytes)
{
    return bytes >= Worthwhile ? (bytes + HugePage - 1) / HugePage * HugePage : bytes;
}

void* AllocateLarge(std::size_t bytes)
{
    void* memory = nullptr;
    if (bytes >= Worthwhile) {
        const std::size_t rounded = LargeBytes(bytes);
        memory = std::aligned_alloc(HugePage, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Only advice: where it is refused the memory still works.
        if (memory)
            madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    } else {
        memory = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void FreeLarge(void* memory) noexcept { std::free(memory); }

}  // namespace lab
