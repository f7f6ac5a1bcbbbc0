// Memory from the system, over mmap, /proc, the control group's files and
// the process's limits.
#include "platform/Memory.h"

#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <fstream>
#include <sstream>
#include <vector>

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

std::uint64_t TMemoryFigures::Least() const { return std::min({available, group, addressSpace}); }

namespace {

constexpr std::uint64_t Unlimited = UINT64_MAX;

// The first number of a file, or Unlimited when it holds none ("max").
std::uint64_t Number(const std::string& path)
{
    std::ifstream in(path);
    std::uint64_t value = 0;
    return in >> value ? value : Unlimited;
}

// The value of "key value" (or "key: value kB") in a file of such lines.
std::uint64_t Keyed(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        std::uint64_t value = 0;
        if (words >> name >> value && (name == key || name == key + ":"))
            return value;
    }
    return Unlimited;
}

std::uint64_t Less(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

// The group's folder and its ancestors up to the hierarchy's root.
std::vector<std::string> GroupAndAncestors(const std::string& root, std::string path)
{
    std::vector<std::string> folders;
    while (!path.empty() && path != "/") {
        folders.push_back(root + path);
        path.erase(path.find_last_of('/'));
    }
    folders.push_back(root);
    return folders;
}

// Room left in the memory control group of this process, cgroup v2 (a line
// "0::/path", the files memory.max and memory.current) or v1 (a line
// "N:memory:/path", memory.limit_in_bytes and memory.usage_in_bytes).
std::uint64_t GroupRoom(const std::string& procDir, const std::string& cgroupDir)
{
    std::ifstream in(procDir + "/self/cgroup");
    std::string line;
    std::uint64_t room = Unlimited;
    while (std::getline(in, line)) {
        const auto first = line.find(':');
        const auto second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        struct Files {
            std::string root, limit, usage;
        };
        std::vector<Files> layouts;
        if (controllers.empty()) {
            layouts.push_back({cgroupDir, "memory.max", "memory.current"});
            layouts.push_back({cgroupDir + "/unified", "memory.max", "memory.current"});
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            layouts.push_back({cgroupDir + "/memory", "memory.limit_in_bytes", "memory.usage_in_bytes"});
        }
        for (const Files& files : layouts)
            for (const std::string& folder : GroupAndAncestors(files.root, path)) {
                const std::uint64_t limit = Number(folder + "/" + files.limit);
                if (limit == Unlimited)
                    continue;
                const std::uint64_t usage = Number(folder + "/" + files.usage);
                if (usage == Unlimited)
                    continue;
                // v1 names it total_inactive_file, v2 inactive_file.
                std::uint64_t reclaimable = Keyed(folder + "/memory.stat", "inactive_file");
                if (reclaimable == Unlimited)
                    reclaimable = Keyed(folder + "/memory.stat", "total_inactive_file");
                if (reclaimable == Unlimited)
                    reclaimable = 0;
                room = std::min(room, Less(limit, Less(usage, reclaimable)));
            }
    }
    return room;
}

std::uint64_t AddressSpaceRoom(const std::string& procDir)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return Unlimited;
    const std::uint64_t pages = Number(procDir + "/self/statm");
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages == Unlimited || pageSize <= 0)
        return Unlimited;
    return Less(limit.rlim_cur, pages * std::uint64_t(pageSize));
}

}  // namespace

TMemoryFigures ReadMemoryFigures(const std::string& procDir, const std::string& cgroupDir)
{
    TMemoryFigures figures;
    const std::uint64_t kib = Keyed(procDir + "/meminfo", "MemAvailable");
    if (kib != Unlimited)
        figures.available = kib * 1024;
    figures.group = GroupRoom(procDir, cgroupDir);
    figures.addressSpace = AddressSpaceRoom(procDir);
    return figures;
}

TMemoryFigures CurrentMemoryFigures() { return ReadMemoryFigures("/proc", "/sys/fs/cgroup"); }

std::uint64_t AvailableMemory() { return CurrentMemoryFigures().Least(); }

std::uint64_t ThreadStackBytes()
{
    const std::uint64_t page = std::uint64_t(sysconf(_SC_PAGESIZE));
    std::uint64_t stack = 8 << 20;  // the C library's own default
    pthread_attr_t attributes;
    if (pthread_getattr_default_np(&attributes) == 0) {
        std::size_t size = 0;
        if (pthread_attr_getstacksize(&attributes, &size) == 0 && size > 0)
            stack = size;
        pthread_attr_destroy(&attributes);
    }
    return stack + page;
}

// Large arrays on huge pages where the system offers them.
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
