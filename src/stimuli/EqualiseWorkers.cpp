// Threads over a set's pictures, and turns in picture order.
#include "stimuli/EqualiseWorkers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

#include "fourier/FourierTransform.h"

namespace stimuli {

void TakeTurnsDft(double* grid, const std::uint32_t* dims, std::int32_t count, std::int32_t sign)
{
    bool powers = true;
    for (std::int32_t d = 1; d <= count; ++d)
        powers = powers && dims[d] != 0 && (dims[d] & (dims[d] - 1)) == 0;
    if (!powers)
        return fourier::Dft(grid, dims, count, sign);
    static std::mutex one;
    const std::lock_guard<std::mutex> lock(one);
    fourier::Dft(grid, dims, count, sign);
}

void ForEachPicture(std::size_t count, int jobs,
                    const std::function<void(std::size_t k, int worker)>& work)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::exception_ptr first;
    const auto run = [&](int worker) {
        try {
            for (std::size_t k = next++; k < count && !failed; k = next++)
                work(k, worker);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!first)
                first = std::current_exception();
            failed = true;
        }
    };
    const int threads = int(std::max<std::size_t>(1, std::min<std::size_t>(std::size_t(std::max(jobs, 1)), count)));
    std::vector<std::thread> others;
    try {
        for (int t = 1; t < threads; ++t)
            others.emplace_back(run, t);
    } catch (...) {
        // Fewer threads than asked: the ones that started share the work.
    }
    run(0);
    for (std::thread& t : others)
        t.join();
    if (first)
        std::rethrow_exception(first);
}

bool Turns::Wait(std::size_t k)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return abandoned || next == k; });
    return !abandoned;
}

void Turns::Done(std::size_t k)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        next = k + 1;
    }
    changed.notify_all();
}

void Turns::Abandon()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        abandoned = true;
    }
    changed.notify_all();
}

}  // namespace stimuli
