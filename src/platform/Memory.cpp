// Memory from the system, over mmap and sysconf.
#include "platform/Memory.h"

#include <sys/mman.h>
#include <unistd.h>

TDoubleArray::TDoubleArray(std::size_t count) : bytes(count * sizeof(double))
{
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory != MAP_FAILED)
        data = static_cast<double*>(memory);
}

TDoubleArray::~TDoubleArray()
{
    if (data)
        munmap(data, bytes);
}

std::uint64_t PhysicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return UINT64_MAX;
    return std::uint64_t(pages) * std::uint64_t(pageSize);
}
