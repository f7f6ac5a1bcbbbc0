// Two workers sharing lists of tasks, over a thread that waits between lists.
#include "lab/Team.h"

#include <system_error>

namespace lab {

Team::Team()
{
    try {
        helper = std::thread([this] { Serve(); });
    } catch (const std::system_error&) {
        // Alone: Run does every task on the calling thread.
    }
}

Team::~Team()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    if (helper.joinable())
        helper.join();
}

void Team::Run(std::size_t n, const Task& work)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        task = &work;
        count = n;
        next.store(0, std::memory_order_relaxed);
        failure = nullptr;
        helping = helper.joinable();
        ++list;
    }
    wake.notify_one();
    Work(0);
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [this] { return !helping; });
    task = nullptr;
    if (failure)
        std::rethrow_exception(std::exchange(failure, nullptr));
}

// Takes tasks of the current list until none is left.
void Team::Work(int worker)
{
    for (;;) {
        const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= count)
            return;
        try {
            (*task)(i, worker);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!failure)
                failure = std::current_exception();
        }
    }
}

// The second worker: each list once, until the team ends.
void Team::Serve()
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return stopping || list != seen; });
        if (stopping)
            return;
        seen = list;
        lock.unlock();
        Work(1);
        lock.lock();
        helping = false;
        finished.notify_one();
    }
}

}  // namespace lab
