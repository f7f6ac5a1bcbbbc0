// The memory a transform may take: the figures read from a fake /proc and a
// fake control-group tree, one row per layout.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/Memory.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t None = UINT64_MAX;
constexpr std::uint64_t MiB = 1 << 20;

struct Layout {
    const char* name;
    std::map<std::string, std::string> files;  // path under the fake root: content
    std::uint64_t available, group;
};

void PrintTo(const Layout& c, std::ostream* os) { *os << c.name; }

class MemoryFigures : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("korvanith-memory-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const auto& [path, content] : GetParam().files) {
            fs::create_directories((root / path).parent_path());
            std::ofstream(root / path) << content;
        }
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_P(MemoryFigures, AreReadFromTheSystemsFiles)
{
    const TMemoryFigures figures = ReadMemoryFigures((root / "proc").string(), (root / "cg").string());
    EXPECT_EQ(figures.available, GetParam().available);
    EXPECT_EQ(figures.group, GetParam().group);
}

const std::string Meminfo = "MemTotal:       24683716 kB\nMemFree:  1000 kB\nMemAvailable:    2048 kB\n";

INSTANTIATE_TEST_SUITE_P(
    Layouts, MemoryFigures,
    ::testing::Values(
        Layout{"nothing_readable", {}, None, None},
        Layout{"meminfo_only", {{"proc/meminfo", Meminfo}}, 2 * MiB, None},
        Layout{"v2_unlimited",
               {{"proc/self/cgroup", "0::/app\n"}, {"cg/app/memory.max", "max\n"},
                {"cg/app/memory.current", "5000\n"}},
               None, None},
        Layout{"v2_limit_less_use",
               {{"proc/self/cgroup", "0::/app\n"}, {"cg/app/memory.max", "1000000\n"},
                {"cg/app/memory.current", "300000\n"}},
               None, 700000},
        Layout{"v2_inactive_files_count_as_free",
               {{"proc/self/cgroup", "0::/app\n"}, {"cg/app/memory.max", "1000000\n"},
                {"cg/app/memory.current", "300000\n"},
                {"cg/app/memory.stat", "anon 100000\nfile 200000\ninactive_file 150000\n"}},
               None, 850000},
        Layout{"v2_tighter_ancestor",
               {{"proc/self/cgroup", "0::/outer/inner\n"}, {"cg/outer/inner/memory.max", "1000000\n"},
                {"cg/outer/inner/memory.current", "100000\n"}, {"cg/outer/memory.max", "400000\n"},
                {"cg/outer/memory.current", "150000\n"}},
               None, 250000},
        Layout{"v2_use_beyond_limit",
               {{"proc/self/cgroup", "0::/app\n"}, {"cg/app/memory.max", "1000\n"},
                {"cg/app/memory.current", "5000\n"}},
               None, 0},
        Layout{"v1_memory_controller",
               {{"proc/self/cgroup", "5:cpu,cpuacct:/\n4:memory:/jobs/one\n0::/\n"},
                {"cg/memory/jobs/one/memory.limit_in_bytes", "2000000\n"},
                {"cg/memory/jobs/one/memory.usage_in_bytes", "500000\n"},
                {"cg/memory/jobs/one/memory.stat", "cache 400000\ntotal_inactive_file 100000\n"},
                {"cg/memory/memory.limit_in_bytes", "9223372036854771712\n"},
                {"cg/memory/memory.usage_in_bytes", "9000000\n"}},
               None, 1600000},
        Layout{"hybrid_unified_without_memory",
               {{"proc/self/cgroup", "4:memory:/job\n0::/job\n"},
                {"cg/unified/job/cgroup.procs", "1\n"},
                {"cg/memory/job/memory.limit_in_bytes", "3000000\n"},
                {"cg/memory/job/memory.usage_in_bytes", "1000000\n"},
                {"proc/meminfo", Meminfo}},
               2 * MiB, 2000000}),
    [](const auto& info) { return std::string(info.param.name); });

// Work that needs bytes and helper threads' stacks: the stacks count against
// the address space only, since they take no memory until used.
struct Need {
    const char* name;
    TMemoryFigures figures;
    TMemoryNeed need;
    bool fits;
    std::uint64_t shownMiB;
};

void PrintTo(const Need& c, std::ostream* os) { *os << c.name; }

class MemoryNeed : public ::testing::TestWithParam<Need> {};

TEST_P(MemoryNeed, FitsTheFiguresAndSaysWhatItNeeds)
{
    const Need& c = GetParam();
    EXPECT_EQ(c.need.Fits(c.figures), c.fits);
    EXPECT_EQ(c.need.ShownMiB(c.figures), c.shownMiB);
}

INSTANTIATE_TEST_SUITE_P(
    Needs, MemoryNeed,
    ::testing::Values(
        Need{"nothing_limits", {None, None, None}, {33 * MiB, 16 * MiB}, true, 49},
        Need{"available_memory_holds_bytes_not_stacks", {40 * MiB, None, None}, {33 * MiB, 16 * MiB}, true, 49},
        Need{"available_memory_too_small", {32 * MiB, None, None}, {33 * MiB, 16 * MiB}, false, 33},
        Need{"group_too_small", {None, 20 * MiB, None}, {33 * MiB, 16 * MiB}, false, 33},
        Need{"address_space_holds_bytes_and_stacks", {None, None, 49 * MiB}, {33 * MiB, 16 * MiB}, true, 49},
        Need{"address_space_holds_bytes_only", {None, None, 40 * MiB}, {33 * MiB, 16 * MiB}, false, 49},
        Need{"no_stacks", {None, None, 33 * MiB}, {33 * MiB, 0}, true, 33},
        Need{"rounded_up_to_a_MiB", {None, None, None}, {MiB + 1, 0}, true, 2},
        Need{"nothing_needed", {0, 0, 0}, {0, 0}, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The real limits of this process: the address-space figure follows its own
// limit; the least of the figures is what a transform may take.
TEST(MemoryFigures, AddressSpaceLimitLeavesRoomForWhatIsMapped)
{
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
    EXPECT_EQ(before.rlim_cur == RLIM_INFINITY, ReadMemoryFigures("/proc", "/sys/fs/cgroup").addressSpace == None);

    const auto mapped = [] {
        std::uint64_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        return pages * std::uint64_t(sysconf(_SC_PAGESIZE));
    };
    rlimit limited = before;
    limited.rlim_cur = mapped() + (std::uint64_t(64) << 40);  // 64 TiB more than is mapped
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    const TMemoryFigures figures = ReadMemoryFigures("/proc", "/sys/fs/cgroup");
    const std::uint64_t expected = limited.rlim_cur - mapped();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &before), 0);
    EXPECT_NEAR(double(figures.addressSpace), double(expected), double(64 * MiB));
    EXPECT_LE(figures.Least(), figures.addressSpace);
    EXPECT_NE(figures.available, None) << "this machine has /proc/meminfo";
}

}  // namespace
